#include "LCFReference.h"

#include "FieldText.h"
#include "widgets/FieldWidth.h"

#include <QDebug>

#include <cmath>

namespace
{
const char* const showStyle =
    "::indicator:unchecked { background-color: #ccddcc; border-radius: 5px; border: 2px solid "
    "#999999; }::indicator:checked   { background-color: #ffffaa; border-radius: 5px; border: 2px "
    "solid #ffaa00; }";
}

LCFReference::LCFReference(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
    widenFields(this);
    Show->setStyleSheet(QLatin1String(showStyle));
    maps << new Analyzed2DRes(QStringLiteral("LCF Ref 1"))
         << new Analyzed2DRes(QStringLiteral("LCF Ref 2"));
    XFS->showUse(true);
    XFS->setUse(use);
    xShiftOn = true;
    editedDeltaE();
    fraction = 0;
    connect(XFS, &XafsFileSelect::newFile, this, &LCFReference::newFile);
    connect(XFS, &XafsFileSelect::changedUse, this, &LCFReference::changedUse);
    connect(XFS->Clear, &QPushButton::clicked, XFS, &XafsFileSelect::clear);
    connect(XFS, &XafsFileSelect::cleared, this, &LCFReference::clearFile);
    connect(DeltaE, &QLineEdit::editingFinished, this, &LCFReference::editedDeltaE);
    connect(IsVictreen, &QCheckBox::toggled, this, &LCFReference::toggledIsVictreen);
}

LCFReference::~LCFReference()
{
    qDeleteAll(maps);
}

bool LCFReference::inUse() const
{
    return XFS->Use->isChecked() && XFS->fileChosen && !points.isEmpty();
}

LcfRefSnapshot LCFReference::snapshot() const
{
    return LcfRefSnapshot::of(*this, inUse(), fraction, curveShift);
}

int LCFReference::ownLineType() const
{
    return IsVictreen->isChecked() ? 0 : 1;
}

LcfRefSnapshot LCFReference::snapshotFor(const SuggestElm& sElm, int lineType)
{
    if (points.isEmpty() || XafsSpectrum::sameNormalisation(suggest, ownLineType(), sElm, lineType))
        return snapshot();
    const double shift = xShiftOn ? xShift : 0.0;
    const bool fresh = fitGen == curvesGen && fitShift == shift
                       && XafsSpectrum::sameNormalisation(fitSElm, fitLineType, sElm, lineType);
    if (!fresh) {
        fitCopy = spectrum();
        fitCopy.normaliseUnder(sElm, lineType);
        fitGen = curvesGen;
        fitSElm = sElm;
        fitLineType = lineType;
        fitShift = shift;
        const bool otherLines = (ownLineType() == 0) != (lineType == 0);
        if (otherLines && !lineTypeNoted)
            qDebug().noquote() << "LCF reference" << loaded << "is fitted with"
                               << (lineType == 0 ? "Victoreen" : "straight")
                               << "background lines, as the spectra fitted to it are normalised,"
                               << "not with the lines its Victoreen box chooses";
        lineTypeNoted = otherLines;
    }
    return LcfRefSnapshot::of(fitCopy, inUse(), fraction, fitShift);
}

bool LCFReference::newFile(QString fname)
{
    // The reference the user asked for is not there: going on with the one
    // held before would fit with a spectrum nobody chose now.
    // An angle file without data lines reads as success with no points.
    XafsSpectrum probe;
    if (!probe.load(fname) || probe.points.isEmpty() || !XafsSpectrum::load(fname)) {
        dropFile();
        emit loadFailed(fname);
        return false;
    }
    loaded = fname;
    rebuildCurves();
    noteIfRefused(fname);
    DMut->setText(FieldText::text(dMut));
    MidE->setText(FieldText::text(midx));
    emit newFileSelected();
    return true;
}

void LCFReference::clearFile()
{
    dropFile();
}

void LCFReference::dropFile()
{
    // The shift belongs to the row, not to the file.
    const double shift = xShift;
    static_cast<XafsSpectrum&>(*this) = XafsSpectrum();
    xShiftOn = true;
    setShift(shift);
    loaded.clear();
    ++curvesGen;
    fraction = 0;
    for (QLineEdit* e : {DMut, MidE, R, T}) e->clear();
    XFS->fileChosen = false;
    XFS->Selected->clear();
    emit fileDropped();
}

void LCFReference::changedUse(bool f)
{
    use = f;
}

void LCFReference::setShift(double dE)
{
    if (!std::isfinite(dE)) dE = 0;
    xShift = dE;
    energyOffset = dE;
}

void LCFReference::editedDeltaE()
{
    setShift(FieldText::number(DeltaE->text()));
    emit newDeltaE();
}

void LCFReference::toggledIsVictreen(bool)
{
    rebuildCurves();
}

void LCFReference::rebuildCurves()
{
    recalc(ownLineType());
    curveShift = xShiftOn ? xShift : 0.0;
    ++curvesGen;
}

bool LCFReference::setStd(bool use, double dE, QString fname, QString isVic)
{
    const bool vic = isVic.isEmpty() || isVic.toUpper() == QLatin1String("VIC") || isVic.toInt() > 0;
    IsVictreen->setChecked(vic);
    bool read = true;
    if (fname.isEmpty() && !use) {
        XFS->clear();
    } else {
        XFS->load(fname);
        read = !loaded.isEmpty() && loaded == fname;
    }
    XFS->setUse(use);
    this->use = use;
    setShift(dE);
    DeltaE->setText(FieldText::text(dE));
    return read;
}

void LCFReference::setRatio(double f)
{
    fraction = f;
    R->setText(QString::asprintf("%5.2f", 100 * f));
}

void LCFReference::setAmount(double a)
{
    T->setText(FieldText::text(a));
}
