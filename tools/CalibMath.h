#ifndef CALIBMATH_H
#define CALIBMATH_H

#include <QPoint>
#include <QRectF>
#include <QString>
#include <QVector>

class AnalyzeCond;
class XafsSpectrum;

// The arithmetic of the energy calibration, free of widgets: the shift of one
// block against the standard, the checks that keep a run finite, the progress
// of the block walk and the run's statistics.
namespace CalibMath {

enum class Method {
    MidPoint,     // E0 of the block less E0 of the standard
    InnerProduct  // best normalised inner product against the standard
};

struct Search
{
    double range = 0;    // half width of the first window, eV
    double step = 0;     // step of the first pass, eV
    double minStep = 0;  // the passes stop below this step, eV
};

// Most scores one search pass may take; beyond it a run would stall the
// program for minutes per block.
constexpr double maxScoresPerPass = 100000;

// Empty when a search with p ends and measures something; otherwise why not.
QString searchProblem(const Search& p);

// Empty when blocks can be cut from area of a width x height image;
// otherwise why not.
QString areaProblem(const QRectF& area, int width, int height);

// The shift (eV) of block against standard: where block's edge lies above
// the standard's.
double blockShift(const XafsSpectrum& block, const XafsSpectrum& standard, Method m,
                  const Search& p);

// Percent of the walk's rows done at its current block; 0 for an area
// without height.
double rowProgress(const AnalyzeCond& g);

struct ShiftStats
{
    double min = 1e300;
    double max = -1e300;
    double sum = 0;
    int count = 0;

    void add(double s);
    double mean() const { return count > 0 ? sum / count : 0.0; }
};

// Root mean square of values about mean; 0 for no values.
double sigmaAbout(const QVector<double>& values, double mean);

}  // namespace CalibMath

#endif
