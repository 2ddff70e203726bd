#ifndef SPECPANEMATH_H
#define SPECPANEMATH_H

#include <QPair>
#include <QPoint>
#include <QPointF>
#include <QString>
#include <QVector>

class ChCoord;

// The arithmetic of the spectrum view, kept apart from its widgets.
namespace SpecPaneMath
{
// Consecutive curve points further apart than this (eV) are not joined.
constexpr double maxEnergyGap = 50.0;

// Scales [lo, hi] by f about c, so that c stays where it is. A result that is
// empty or not finite leaves the range unchanged and returns false.
bool zoomRange(double& lo, double& hi, double c, double f);
// Moves [lo, hi] by d; a d or result that is not finite changes nothing.
bool panRange(double& lo, double& hi, double d);

// Index of the point nearest in energy to E: the first i < N - 1 whose
// midpoint with the next point lies above E, else N - 1 (-1 for no point).
int nearestIndex(const QVector<QPointF>& points, double E);

// Runs [from, to) of consecutive keys; a new run starts wherever two
// neighbours differ by more than maxGap.
QVector<QPair<int, int>> pieces(const QVector<double>& keys, double maxGap = maxEnergyGap);

// A real point on screen, truncated to whole pixels; safe for any value.
QPoint screenPoint(const ChCoord& c, double x, double y);

// Extremes of values[from .. to - 1], starting from the largest double for the
// minimum and the smallest normal double for the maximum, as they stand for
// an empty run; values that are not numbers are passed over.
void valueRange(const double* values, int from, int to, double& lo, double& hi);

// Text of an axis label.
QString tickLabel(double v);
// The message line under the plot.
QString messageLine(double dMut, double midx, bool outOfRange, bool noisy);
}  // namespace SpecPaneMath

#endif
