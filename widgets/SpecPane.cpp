#include "SpecPane.h"

#include "DispA.h"
#include "MouseC.h"
#include "SpecPaneMath.h"
#include "FieldWidth.h"
#include "LazyFileDialog.h"
#include "_FileDialog.h"

#include "core/Globals.h"
#include "core/SafeWrite.h"

#include <QDebug>

#include <cmath>

SpecPane::SpecPane(QWidget* parent) : QFrame(parent)
{
    ui.setupUi(this);
    showNumberStarts(this);

    // The view zooms and pans its own energy axis.
    ui.Xafs->zoomEnabled = false;
    ui.Xafs->panEnabled = false;
    connect(ui.Xafs, &DispA::drawImage1, this, &SpecPane::draw);

    const QStringList filters{tr("Data File (*.dat)"), tr("Any Files (* *.*)")};
    saveDialog = new LazyFileDialog([filters](_FileDialog& d) {
        d.setFileMode(QFileDialog::AnyFile);
        d.setAcceptMode(QFileDialog::AcceptSave);
        d.setNameFilters(filters);
    });

    connect(ui.Save, &QPushButton::clicked, saveDialog, &LazyFileDialog::show);
    connect(saveDialog, &LazyFileDialog::fileSelected, this, &SpecPane::saveData);
    mouse = &ui.Xafs->mouse;
    connect(ui.Xafs, &DispA::mouseMoved0, this, &SpecPane::onMouseMoved);
    connect(ui.Xafs, &DispA::wheelMoved0, this, &SpecPane::onWheelMoved);
    connect(ui.ResetXScale, &QPushButton::clicked, this, &SpecPane::resetXScale);
}

SpecPane::~SpecPane()
{
    // The dialog has no parent, so it would outlive the view.
    delete saveDialog;
}

double SpecPane::setXafsSpectrum(const XafsSpectrum& s)
{
    current = s;
    autoXRange();
    update();
    return current.midx - reference.midx;
}

void SpecPane::setRawSpectrum(const Spectrum& s)
{
    rawSpectrum = s;
    update();
}

void SpecPane::autoXRange()
{
    // An empty spectrum has no span (its extremes are the empty markers).
    if (!autoRange || current.isEmpty()) return;
    const double shift = current.xShiftOn ? current.xShift : 0.0;
    xMin = xMinDefault = current.minX - shift;
    xMax = xMaxDefault = current.maxX - shift;
}

void SpecPane::update()
{
    ui.Xafs->update();
    emit updated();
}

void SpecPane::resetXScale()
{
    xMin = xMinDefault;
    xMax = xMaxDefault;
    rawWinLo = 0;
    rawWinHi = 1.0;
    update();
}

void SpecPane::setNormalize(bool f) { ui.Normalized->setChecked(f); }

void SpecPane::setEnergyCorrection(bool f) { ui.ECorrect->setChecked(f); }

void SpecPane::setPlotArea()
{
    coord.setScreenArea(0, ui.Xafs->height(), ui.Xafs->width(), 0);
    coord.calcPlotArea();
}

void SpecPane::setEnergyFrame()
{
    const Spectrum& ys = ui.Normalized->isChecked() ? current.doubleNormalizedPreBaseCurve
                                                    : static_cast<const Spectrum&>(current);
    coord.setRealCoord(xMin, ys.minY, xMax, ys.maxY);
}

int SpecPane::setRawFrame(double* fullX0, double* fullX1)
{
    const int n = rawSpectrum.size();
    int count = n;
    double y0, y1;
    if (!ui.ShowFFT->isChecked()) {
        QVector<double> ys(n);
        for (int i = 0; i < n; ++i) ys[i] = rawSpectrum.points[i].y();
        SpecPaneMath::valueRange(ys.constData(), 0, n, y0, y1);
    } else {
        count = n / 10;
        fft.setSize(n);
        fft.forwardOfY(rawSpectrum);
        const double* mag = fft.magnitudes();
        // Bin 0 (the sum) would flatten the scale.
        if (n >= 30)
            SpecPaneMath::valueRange(mag, 1, count - 1, y0, y1);
        else
            SpecPaneMath::valueRange(nullptr, 0, 0, y0, y1);
        if (!mag) count = 0;
    }
    // Nothing measured leaves the starting values crossed: give the axis a
    // plain scale instead of one spanning the whole double line.
    if (y0 > y1) {
        y0 = 0;
        y1 = 1;
    }
    const double span = count;
    coord.setRealCoord(rawWinLo * span, y0, rawWinHi * span, y1);
    if (fullX0) *fullX0 = 0;
    if (fullX1) *fullX1 = span;
    return count;
}

void SpecPane::onMouseMoved()
{
    const bool raw = ui.ShowRaw->isChecked();
    if (raw ? rawSpectrum.isEmpty() : current.isEmpty()) return;
    setPlotArea();
    double full0 = 0, full1 = 0;
    if (raw)
        setRawFrame(&full0, &full1);
    else
        setEnergyFrame();

    const double rx = coord.s2rx(mouse->currentPos.x());
    const double ry = coord.s2ry(mouse->currentPos.y());
    ui.XVal->setText(QString("%1").arg(rx, 0, 'f', 1));
    ui.YVal->setText(QString("%1").arg(ry, 0, 'f', 3));

    int index;
    if (raw) {
        // Raw values sit at whole x.
        const int last = qMax(0, int(full1) - 1);
        const double r = std::floor(rx + 0.5);
        index = r == r ? int(qBound(0.0, r, double(last))) : 0;
    } else {
        const double shift = current.xShiftOn ? current.xShift : 0.0;
        index = SpecPaneMath::nearestIndex(current.points, rx + shift);
    }
    ui.Position->setText(QString("%1").arg(index));

    if (mouse->pressed && MouseC::modeOf(mouse->pressButton, mouse->pressModifiers) == 0) {
        const double d = coord.s2rx(mouse->previousPos.x()) - coord.s2rx(mouse->currentPos.x());
        if (raw)
            SpecPaneMath::panRange(rawWinLo, rawWinHi, ChCoord::fraction(d, full1 - full0));
        else
            SpecPaneMath::panRange(xMin, xMax, d);
    }
}

void SpecPane::onWheelMoved()
{
    const bool raw = ui.ShowRaw->isChecked();
    if (raw ? rawSpectrum.isEmpty() : current.isEmpty()) return;
    setPlotArea();
    // The frame of the mode on show, so that a raw paint never leaves index
    // units to be taken for energies (or the reverse).
    double full0 = 0, full1 = 0;
    if (raw)
        setRawFrame(&full0, &full1);
    else
        setEnergyFrame();

    const double c = coord.s2rx(mouse->currentPos.x());
    const double f = ui.Xafs->zoomFactor;
    if (raw) {
        SpecPaneMath::zoomRange(rawWinLo, rawWinHi, ChCoord::fraction(c - full0, full1 - full0), f);
        coord.setRealXRange(full0 + rawWinLo * (full1 - full0), full0 + rawWinHi * (full1 - full0));
    } else {
        SpecPaneMath::zoomRange(xMin, xMax, c, f);
        coord.setRealXRange(xMin, xMax);
    }
    ui.XVal->setText(QString::number(c, 'g', 6));
    ui.YVal->setText(QString::number(coord.s2ry(mouse->currentPos.y()), 'g', 6));
    update();
}

bool SpecPane::hasPoints() const
{
    bool anyPoints = !current.points.isEmpty() || !reference.points.isEmpty();
    for (const XafsSpectrum& o : others) anyPoints = anyPoints || (o.kind && !o.points.isEmpty());
    return anyPoints;
}

bool SpecPane::saveData(QString fname)
{
    if (fname.isEmpty()) {
        qDebug() << "SpecPane::saveData: no file name";
        return false;
    }
    // "ratio0.3" is a name, not "ratio0" in a format "3".
    static const QStringList textSuffixes{"dat", "txt", "csv", "tsv", "asc", "xy"};
    const QString suffix = knownSuffix(fname, textSuffixes);
    auto path = [&](const QString& tag) {
        return nameLessSuffix(fname, textSuffixes) + "-" + tag + "." + (suffix.isEmpty() ? QStringLiteral("dat") : suffix);
    };
    SafeWrite::Outcome saved;
    // A file holding a header alone would pass for the spectrum; a standard
    // or another spectrum shown without a cursor spectrum is still saved.
    if (!hasPoints()) {
        const QString why = tr("the spectrum under the cursor has no points");
        SafeWrite::noteFailure(path("T"), why);
        emit reported(tr("Not saved: %1").arg(why));
        return false;
    }
    auto save = [&](const XafsSpectrum& s, const QString& file, bool subtractOffset) {
        saved.add(file, SafeWrite::toFile(file, [&](QIODevice& out) { return s.write(out, subtractOffset); }, true));
    };
    if (!current.points.isEmpty()) save(current, path("T"), true);
    save(reference, path("std"), false);
    // An entry switched off keeps its place, so the numbers follow positions.
    for (int i = 0; i < others.size(); ++i)
        if (others[i].kind) save(others[i], path(QString("other%1").arg(i)), false);

    if (!saved.ok()) SafeWrite::noteFailure(saved.failedFile, saved.reason);
    emit reported(saved.text());
    return saved.ok();
}
