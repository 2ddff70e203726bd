#include "SelectDataFiles.h"
#include "widgets/_FileDialog.h"

#include <QDebug>

#include "EOFSetup.h"
#include "widgets/FieldWidth.h"
#include "widgets/LazyFileDialog.h"
#include "widgets/SelectImgDialog.h"

namespace {

QString numText(double v)
{
    return QString::number(v, 'g', 6);
}

}  // namespace

SelectDataFiles::SelectDataFiles(QWidget* parent)
    : QFrame(parent), addSetup(nullptr)
{
    setupUi(this);
    reserveWidth(ExpTime, "8888");
    for (QLineEdit* e : {CutFirst, Skip, CutLast}) reserveWidth(e, "888");
    reserveWidth(Count, "8888");
    newOrAdd.addButton(LoadNewFiles);
    newOrAdd.addButton(AddFiles);
    LoadNewFiles->setChecked(true);

    const QStringList filters{tr("QDRN Files, IMG Files, Tiff Files (*.dat *.img *.tif *.tiff)"), tr("Any Files (* *.*)")};
    dialog = new LazyFileDialog([filters](_FileDialog& d) {
        d.setFileMode(QFileDialog::ExistingFiles);
        d.setAcceptMode(QFileDialog::AcceptOpen);
        d.setNameFilters(filters);
        d.setModal(false);
    }, [] { return new SelectImgDialog(QString(), nullptr); });

    eof = new EOFSetup(nullptr);

    connect(Selected, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SelectDataFiles::newImageSelected);
    connect(Select, &QPushButton::clicked, dialog, &LazyFileDialog::show);
    connect(dialog, &LazyFileDialog::filesSelected, this, &SelectDataFiles::emitFilesSelected);
    connect(Clear, &QPushButton::clicked, this, &SelectDataFiles::clear);
    connect(EngOfFilesSetup, &QPushButton::clicked, eof, &QWidget::show);
    connect(AdditionalSetup, &QPushButton::clicked, &addSetup, &QWidget::show);
    connect(&addSetup, &SelectDataFilesAdditionalSetup::setDarkArea, this, &SelectDataFiles::setDarkArea);
    connect(&addSetup, &SelectDataFilesAdditionalSetup::updateDarkArea, this, &SelectDataFiles::updateDarkArea);
    connect(&addSetup, &SelectDataFilesAdditionalSetup::clearDarkArea, this, &SelectDataFiles::clearDarkArea);
}

SelectDataFiles::~SelectDataFiles()
{
    dialog->deleteLater();
    eof->deleteLater();
}

double SelectDataFiles::addFile(const QString& fileName, int fNo, int totalFiles)
{
    const double energy = eof->energyOf(fileName, fNo, totalFiles);
    Selected->addItem(fileName, energy);
    Count->setText(QString::number(Selected->count()));
    return energy;
}

void SelectDataFiles::emitFilesSelected(const QStringList& files)
{
    emit filesSelected(files, LoadNewFiles->isChecked());
}

void SelectDataFiles::newImageSelected(int i)
{
    if (addSetup.ShowLatest->isChecked())
        emit currentIndexChanged(i);
}

void SelectDataFiles::clearFiles()
{
    Selected->clear();
    Count->setText(QString::number(Selected->count()));
}

void SelectDataFiles::prev()
{
    if (Selected->currentIndex() > 0)
        Selected->setCurrentIndex(Selected->currentIndex() - 1);
}

void SelectDataFiles::next()
{
    if (Selected->currentIndex() < Selected->count() - 1)
        Selected->setCurrentIndex(Selected->currentIndex() + 1);
}

void SelectDataFiles::select(int idx)
{
    if (idx >= 0 && idx < Selected->count())
        Selected->setCurrentIndex(idx);
}

void SelectDataFiles::setSkip(int n)
{
    Skip->setText(QString::number(n));
}

void SelectDataFiles::setCutF(int n)
{
    CutFirst->setText(QString::number(n));
}

void SelectDataFiles::setCutL(int n)
{
    CutLast->setText(QString::number(n));
}

void SelectDataFiles::setShowLatest(bool f)
{
    addSetup.ShowLatest->setChecked(f);
}

void SelectDataFiles::setEngByName(bool f)
{
    eof->FromFileName->setChecked(f);
}

void SelectDataFiles::setEngByCalc(bool f)
{
    eof->FromFileNum->setChecked(f);
}

bool SelectDataFiles::setEngCalcStart(double v, QString* why)
{
    eof->Start->setText(numText(v));
    return eof->recompute(EnergyOfFiles::FieldStart, why);
}

bool SelectDataFiles::setEngCalcDelta(double v, QString* why)
{
    eof->Delta->setText(numText(v));
    return eof->recompute(EnergyOfFiles::FieldDelta, why);
}

bool SelectDataFiles::setEngCalcEnd(double v, QString* why)
{
    eof->End->setText(numText(v));
    return eof->recompute(EnergyOfFiles::FieldEnd, why);
}

bool SelectDataFiles::setEngCalcNum(int n, QString* why)
{
    eof->NumOfPoints->setText(QString::number(n));
    return eof->recompute(EnergyOfFiles::FieldNum, why);
}

void SelectDataFiles::setEvenInEng(bool f)
{
    eof->EvenInEnergy->setChecked(f);
}

void SelectDataFiles::setEvenInDeg(bool f)
{
    eof->EvenInAngle->setChecked(f);
}

void SelectDataFiles::setDispUnit(int idx)
{
    // A negative index would leave no unit chosen and silently change what
    // the calculation means.
    if (idx < 0 || idx >= eof->DisplayUnit->count()) {
        qDebug() << "No display unit" << idx << "- the unit stays" << eof->DisplayUnit->currentText();
        return;
    }
    eof->DisplayUnit->setCurrentIndex(idx);
}

void SelectDataFiles::setEngByNameRegExp(QString pattern)
{
    eof->Pattern->setText(pattern);
    eof->newPattern();
}

void SelectDataFiles::setEngByNameFactor(double factor)
{
    eof->Factor->setText(numText(factor));
}

void SelectDataFiles::setExpTimeMS(double ms, bool ok)
{
    ExpTime->setText(numText(ms));
    ExpTime->setStyleSheet(ok ? QStringLiteral("background-color: rgb(255, 255, 255);")
                              : QStringLiteral("background-color: rgb(255, 192, 192);"));
}

QString SelectDataFiles::setEngByRef(QString fname)
{
    eof->FromRefFile->setChecked(!fname.isEmpty());
    // The path field is set by a successful read. A script's list that
    // cannot be read leaves none: a later load must not take an earlier
    // list's energies for this one's.
    if (fname.isEmpty()) {
        eof->RefFilePath->clear();
        return QString();
    }
    const QString why = eof->readRefFile(fname);
    if (why.isEmpty()) return why;
    eof->forgetRefList();
    return why + EOFSetup::tr("; no energies come from a reference list until one is read");
}

void SelectDataFiles::darkArea(QRectF area)
{
    addSetup.DarkArea->setText(darkAreaText(area));
}
