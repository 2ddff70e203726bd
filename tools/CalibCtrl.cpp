#include "CalibCtrl.h"

#include "core/XafsSpectrum.h"
#include "widgets/EShiftMapDialog.h"
#include "widgets/LazyFileDialog.h"
#include "widgets/FieldWidth.h"

#include <QButtonGroup>

namespace {

struct Crystal
{
    const char* name;
    double d;  // lattice spacing, angstrom
};

const Crystal crystals[] = {
    {"Si(111)", 3.1355316}, {"Si(311)", 1.637478},  {"Si(333)", 1.0451772},
    {"Ge(111)", 3.2663822}, {"Ge(333)", 1.0887941},
};

}  // namespace

CalibCtrl::CalibCtrl(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
    widenFields(this);

    for (const Crystal& c : crystals) SelCrystal->addItem(QString::fromLatin1(c.name), c.d);
    SelCrystal->setCurrentIndex(0);

    calibTypes = new QButtonGroup(nullptr);
    calibTypes->setExclusive(true);
    calibTypes->addButton(CalibTypeDMidX);
    calibTypes->addButton(CalibTypeInnerP);
    CalibTypeDMidX->setChecked(true);
    setInnerPCtrlVisible(true);

    const auto makeMapDialog = [] { return new EShiftMapDialog(); };
    saveDialog = new LazyFileDialog([](_FileDialog& d) {
        d.setFileMode(QFileDialog::AnyFile);
        d.setAcceptMode(QFileDialog::AcceptSave);
    }, makeMapDialog);
    loadDialog = new LazyFileDialog(LazyFileDialog::Step(), makeMapDialog);

    SelectStd->Select->setText(tr("Select Std."));

    connect(SelectStd, &XafsFileSelect::newFile, this, &CalibCtrl::newFile);
    connect(SelectStd->Clear, &QPushButton::clicked, this, &CalibCtrl::clearStd);
    connect(ExecCalib, &QPushButton::clicked, this, &CalibCtrl::execCalibration);
    connect(StdBGVictreen, &QRadioButton::toggled, this, &CalibCtrl::stdBGToggled);
    connect(ClearMap, &QPushButton::clicked, this, &CalibCtrl::clearMap);
    connect(LoadMap, &QPushButton::clicked, loadDialog, &LazyFileDialog::show);
    connect(loadDialog, &LazyFileDialog::fileSelected, this, &CalibCtrl::loadEMap);
    connect(SaveMap, &QPushButton::clicked, saveDialog, &LazyFileDialog::show);
    connect(saveDialog, &LazyFileDialog::fileSelected, this, &CalibCtrl::saveEMap);
}

CalibCtrl::~CalibCtrl()
{
    delete standard;
    delete saveDialog;
    delete loadDialog;
    delete calibTypes;
}

double CalibCtrl::crystalD() const
{
    return SelCrystal->currentData().toDouble();
}

QString CalibCtrl::crystalName() const
{
    return SelCrystal->currentText();
}

double CalibCtrl::edgeEV() const
{
    return EdgeEeV->text().toDouble();
}

void CalibCtrl::setInnerPCtrlVisible(bool f)
{
    InnerPCtrl->setVisible(f);
}

int CalibCtrl::targetLineType() const
{
    return TargetBGVictreen->isChecked() ? 0 : 1;
}

int CalibCtrl::stdLineType() const
{
    return StdBGVictreen->isChecked() ? 0 : 1;
}

void CalibCtrl::newFile(QString fname)
{
    delete standard;
    standard = new XafsSpectrum;
    if (!standard->load(fname)) {
        SelectStd->clear();
        emit stdNotLoaded(fname);
        return;
    }
    standard->lineType = stdLineType();
    standard->recalc(standard->lineType);
    if (standard->noteIfRefused(fname)) {
        SelectStd->clear();
        emit stdRefused(fname, standard->refusalText());
        return;
    }
    EdgeEeV->setText(QString::number(standard->midx, 'g', 6));
    emit newStdFileLoaded();
}

void CalibCtrl::clearStd()
{
    // The selector's own clear also follows a file that did not load, where
    // the calibration keeps its copy; only the button drops it.
    SelectStd->clear();
    delete standard;
    standard = nullptr;
    emit stdCleared();
}

void CalibCtrl::stdBGToggled(bool)
{
    // The main window's copy keeps the normalisation it was given.
    if (!standard) return;
    standard->lineType = stdLineType();
    standard->recalc(standard->lineType);
}

void CalibCtrl::loadStd(QString fname)
{
    SelectStd->load(fname);
}

void CalibCtrl::setEdgeEV(QString eV)
{
    EdgeEeV->setText(eV);
}

void CalibCtrl::loadEShiftMap(QString fname)
{
    emit loadEMap(fname);
}

void CalibCtrl::progress(double p)
{
    Progress->setText(QString("%1").arg(p, 5, 'f', 1));
}
