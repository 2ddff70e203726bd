#include "CalibMath.h"

#include "core/AnalyzeCond.h"
#include "core/XafsSpectrum.h"

#include <QCoreApplication>

#include <cmath>

namespace CalibMath {

// The reasons reach the status bar.
struct Reason
{
    Q_DECLARE_TR_FUNCTIONS(CalibMath)
};

QString searchProblem(const Search& p)
{
    if (!std::isfinite(p.range) || !std::isfinite(p.step) || !std::isfinite(p.minStep))
        return Reason::tr("E-range and E-steps must be numbers");
    if (!(p.minStep > 0)) return Reason::tr("Min. E-step must be above 0");
    if (!(p.step >= p.minStep)) return Reason::tr("E-step must not be below Min. E-step");
    if (p.range < 0) return Reason::tr("Initial E-range must not be negative");
    if (2 * p.range / p.step + 1 > maxScoresPerPass)
        return Reason::tr("Initial E-range is too wide for its E-step");
    return QString();
}

QString areaProblem(const QRectF& area, int width, int height)
{
    if (width <= 0 || height <= 0) return Reason::tr("no image size");
    const double x = area.x(), y = area.y(), w = area.width(), h = area.height();
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h))
        return Reason::tr("area is not a number");
    // The walk covers whole pixels from trunc(x) to trunc(x + w).
    if (std::trunc(x) == std::trunc(x + w) || std::trunc(y) == std::trunc(y + h))
        return Reason::tr("empty area");
    const QRectF image(0, 0, width, height);
    if (!area.normalized().intersects(image)) return Reason::tr("the area lies outside the image");
    return QString();
}

double blockShift(const XafsSpectrum& block, const XafsSpectrum& standard, Method m,
                  const Search& p)
{
    if (m == Method::InnerProduct)
        return block.findEnergyShift(standard, p.range, p.step, p.minStep);
    return block.midx - standard.midx;
}

double rowProgress(const AnalyzeCond& g)
{
    if (g.y1 <= g.y0) return 0.0;
    return double(g.curY - g.y0) / double(g.y1 - g.y0) * 100.0;
}

void ShiftStats::add(double s)
{
    if (s < min) min = s;
    if (s > max) max = s;
    sum += s;
    ++count;
}

double sigmaAbout(const QVector<double>& values, double mean)
{
    if (values.isEmpty()) return 0.0;
    double sq = 0;
    for (double v : values) sq += (v - mean) * (v - mean);
    return std::sqrt(sq / values.size());
}

}  // namespace CalibMath
