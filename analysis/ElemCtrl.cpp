#include "ElemCtrl.h"

#include "FieldText.h"
#include "widgets/FieldWidth.h"

const char* const ElemCtrl::mapKindNames[ElemCtrl::mapCount] = {"0",  "N",   "MP",  "MM",
                                                                 "DE", "ROI", "NROI"};

ElemCtrl::ElemCtrl(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
    widenFields(this);
    for (int k = 0; k < mapCount; ++k)
        maps[k].name = QStringLiteral("Elem Ctrl %1").arg(QLatin1String(mapKindNames[k]));
    connect(StdRatio, &QLineEdit::editingFinished, this, &ElemCtrl::newStdRatio);
}

void ElemCtrl::setRowName(const QString& name)
{
    Name->setText(name);
    // Messages name each map as analyzer_elems_select_disp_mode numbers it.
    static const int modes[mapCount] = {0, 1, 4, 5, 6, 7, 8};
    const QString what[mapCount] = {tr("dMut"), tr("normalised dMut"), tr("Mut+"), tr("Mut-"),
                                    tr("dE"),   tr("ROI"),             tr("normalised ROI")};
    for (int k = 0; k < mapCount; ++k) {
        maps[k].name = QStringLiteral("%1 Elem Ctrl %2").arg(name, QLatin1String(mapKindNames[k]));
        maps[k].title = tr("the map of element %1, display mode %2 (%3)").arg(name, QString::number(modes[k]), what[k]);
    }
}

Analyzed2DRes* ElemCtrl::map(int kind)
{
    return kind >= 0 && kind < mapCount ? &maps[kind] : nullptr;
}

const Analyzed2DRes* ElemCtrl::map(int kind) const
{
    return kind >= 0 && kind < mapCount ? &maps[kind] : nullptr;
}

ElemRowSnapshot ElemCtrl::snapshot() const
{
    ElemRowSnapshot s;
    s.e0 = FieldText::number(Eng->text());
    s.dE = FieldText::number(PrePostDE->text());
    s.roiStart = FieldText::number(ROIs->text());
    s.roiEnd = FieldText::number(ROIe->text());
    s.thDMut = FieldText::number(ThDMut->text());
    s.noNeg = NoNeg->isChecked();
    return s;
}

ElemRowInfo ElemCtrl::rowInfo() const
{
    ElemRowInfo info;
    info.energyText = Eng->text();
    info.name = Name->text();
    return info;
}

void ElemCtrl::showResults(double d, double n, double muP, double muM, double de, double roi,
                           double nroi)
{
    dmut = d;
    ratio = n;
    muPlus = muP;
    muMinus = muM;
    DMuT->setText(FieldText::text(d));
    Ratio->setText(FieldText::text(n));
    DE->setText(FieldText::text(de));
    ROI->setText(FieldText::shortText(roi));
    NROI->setText(FieldText::shortText(nroi));
}

void ElemCtrl::newStdRatio()
{
    stdRatio = FieldText::number(StdRatio->text());
    StdRatio->setText(FieldText::text(stdRatio));
}
