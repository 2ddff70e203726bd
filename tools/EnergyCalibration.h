#ifndef ENERGYCALIBRATION_H
#define ENERGYCALIBRATION_H

#include "CalibMath.h"

#include "core/AnalyzeCond.h"
#include "core/Spectrum.h"
#include "core/SuggestElm.h"
#include "core/XafsSpectrum.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRectF>
#include <QVector>

#include <functional>

class Analyzed2DRes;
class CalibCtrl;

// What the owner tells a calibration run about its images when it starts.
struct CalibRunInput
{
    int imageCount = 0;  // images of the I1 stack
    int imageWidth = -1;
    int imageHeight = -1;
    int xOffset = 0;  // header offsets of the first I1 image
    int yOffset = 0;
    QRectF area;      // analysis area, image pixels
    int xw = 0;       // block half widths
    int yw = 0;
};

// Calibrates the energy of every block of the analysis area against the
// standard spectrum into the energy-shift map: one block per turn of the
// event loop, a second start request stopping the run. Also deglitches and
// clears the map. Owned by the main window, which sets the providers, the
// map and the window; a run without them does not start.
class EnergyCalibration : public QObject
{
    Q_OBJECT

public:
    explicit EnergyCalibration(QObject* parent = nullptr);

    // Connects the window's requests to this object and the progress back to
    // it. ctrl is not owned; once it is gone no run starts.
    void setCtrl(CalibCtrl* ctrl);
    // The energy-shift map; not owned.
    void setMap(Analyzed2DRes* map) { this->map = map; }

    bool isRunning() const { return running; }

    // Providers set by the owner.
    std::function<CalibRunInput()> runInput;
    // mu(E) of the block of half widths (xw, yw) centred on (x, y).
    std::function<Spectrum(int x, int y, int xw, int yw)> blockSpectrum;
    std::function<SuggestElm()> suggestElm;
    // The map's fitted surface is wanted in place of its values.
    std::function<bool()> quadSurfaceFitted;
    // Tells the user why a start was refused or a run measured nothing
    // (failed), or that a run was cut short; a debug line when unset.
    std::function<void(const QString& text, bool failed)> tell;

    // The grid of the last run; the map file reader sets it and the writer
    // reads it.
    AnalyzeCond grid;
    // The main window's copy of the standard: E0 0 and no points until one
    // is loaded.
    XafsSpectrum standard;
    CalibMath::ShiftStats stats;
    double sigma = 0;
    // Blocks of the last run that gave no shift (no edge, or no spectrum),
    // of all it visited.
    int blocksWithoutEdge = 0;
    int blocksVisited = 0;
    // Of those without a shift, blocks whose grid could not place the edge.
    int blocksUnresolved = 0;
    // ... and, of the rest, blocks the mid-point found no single shift for.
    int blocksUnplaced = 0;

signals:
    void doCalibNextPoint();
    void doFinishCalib();
    void calibProgress(double p);
    // The map now belongs to images with these header offsets.
    void mapOffsetsChanged(int x, int y);
    // The map's image was rebuilt; the image view wants a repaint.
    void mapImageChanged();
    // A new standard was taken over (for the cursor-spectrum window).
    void standardChanged(const XafsSpectrum& standard);
    // A run that had started is over: finished (figures and map image
    // done), stopped, or cut short because its images or map went away.
    void runEnded();

public slots:
    void execCalibration();
    void calibNextPoint();
    void finishCalib();
    void normalizeEShift();
    void newStdFile();
    // The window's standard was cleared: no run starts until another is
    // loaded, and a running one stops.
    void stdCleared();
    void clearShiftMap();
    // Stops a running run with a debug line saying why; nothing without one.
    void stopRun(const QString& why);

private:
    // Empty when a run can start on in; otherwise why not.
    QString startProblem(const CalibRunInput& in) const;
    void say(const QString& text, bool failed);
    void requestNext();

    QPointer<CalibCtrl> ctrl;
    Analyzed2DRes* map = nullptr;
    bool running = false;
    // A block request is queued and not yet taken; a stop and restart in
    // between lets it serve the new run rather than start a second chain.
    bool nextPending = false;
    // Taken at the start so that a run is measured one way throughout.
    CalibMath::Method method = CalibMath::Method::MidPoint;
    CalibMath::Search search;
    int lineType = 1;
    // Centres of the blocks measured in this run, for the spread at the end.
    QVector<QPoint> measured;
};

#endif
