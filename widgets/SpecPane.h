#ifndef SPECPANE_H
#define SPECPANE_H

#include "ChCoord.h"
#include "DrawText.h"
#include "ElemRowInfo.h"
#include "ui_SpecPane.h"

#include "core/FFT.h"
#include "core/Spectrum.h"
#include "core/XafsSpectrum.h"

#include <QFrame>
#include <QPainter>
#include <QPen>
#include <QVector>

class MouseC;
class LazyFileDialog;

// The spectrum view: one mu(E) spectrum with its pre-edge and post-edge lines
// and E0, a reference, further spectra and markers, or the raw intensities
// with their Fourier magnitudes. The energy axis zooms with the wheel and
// pans with a plain left drag.
class SpecPane : public QFrame
{
    Q_OBJECT

public:
    explicit SpecPane(QWidget* parent = nullptr);
    ~SpecPane() override;

    Ui_SpecPane ui;
    ChCoord coord;
    DrawText textFitter;
    MouseC* mouse = nullptr;  // the drawing surface's
    Spectrum rawSpectrum;
    XafsSpectrum current;
    double xMin = 0;
    double xMinDefault = 0;
    double xMax = 1.0;
    double xMaxDefault = 1.0;
    bool autoRange = true;
    XafsSpectrum reference;
    // Held by value: the view never paints a spectrum that another thread may
    // be writing. Owners assign the entries and call update().
    QVector<XafsSpectrum> others;
    double markerEnergy = -1.0;  // no marker unless above 0
    FFT fft;
    QVector<QPen> pens;  // pens[i] draws others[i]; missing pens use colorByIndex(i)
    LazyFileDialog* saveDialog = nullptr;
    ElemRowsProvider elemRows;  // empty: no element markers

    // Shows s; returns its E0 less the reference's.
    double setXafsSpectrum(const XafsSpectrum& s);
    void setRawSpectrum(const Spectrum& s);
    // With autoRange, shown and default ranges become current's energy span.
    void autoXRange();
    // Whether saveData has a spectrum with a point to write: the cursor
    // spectrum, the standard, or another spectrum shown.
    bool hasPoints() const;

signals:
    void updated();
    // What a save wrote, or which file failed and why, for the owner's status
    // line (a failure is in the debug output and the failure log already).
    void reported(const QString& text);

private slots:
    void draw(QPainter* p);
    void onMouseMoved();
    void onWheelMoved();
    void resetXScale();

public slots:
    void update();
    // The shown spectra as name-T.dat, name-std.dat and name-otherN.dat,
    // each written whole or not at all; false when one could not be.
    bool saveData(QString fname);
    void setNormalize(bool f);
    void setEnergyCorrection(bool f);

private:
    // The shown part of the raw (or Fourier) x axis, as fractions of its span.
    double rawWinLo = 0;
    double rawWinHi = 1.0;

    void setPlotArea();
    // Energy modes: x the shown range, y the scale of the current spectrum
    // (double-normalised when Normalized is checked).
    void setEnergyFrame();
    // Raw mode: sets the ranges and returns the number of values to draw;
    // Fourier magnitudes are left in fft.
    int setRawFrame(double* fullX0 = nullptr, double* fullX1 = nullptr);

    void drawPlain(QPainter* p, bool eCorrect);
    void drawNormalized(QPainter* p, bool eCorrect);
    void drawRaw(QPainter* p, int count);
    void drawMarkers(QPainter* p, const QVector<ElemRowInfo>& rows);
    void drawFrameAndAxes(QPainter* p);
    void drawElemLabels(QPainter* p, const QVector<ElemRowInfo>& rows);
    void drawWithLines(QPainter* p, const XafsSpectrum& s, const QPen& linePen, const QPen& curvePen);
    void drawCurve(QPainter* p, const Spectrum& xs, const Spectrum& ys, const QPen& pen);
    QPen penOf(int i) const;
};

#endif
