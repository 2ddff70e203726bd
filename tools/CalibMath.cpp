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

bool atSearchLimit(double offset, const Search& p)
{
    if (!(p.range > 0) || !(p.step > 0) || !std::isfinite(p.range) || !std::isfinite(offset))
        return false;
    // The first pass's scores, stepped as the search steps them.
    const double first = -p.range;
    double last = first;
    for (double d = first; d <= p.range;) {
        last = d;
        const double next = d + p.step;
        if (next == d) break;
        d = next;
    }
    // Finer passes stay within a tenth of the range of the centre, far from
    // these two; the tolerance only absorbs the rounding of centre + d.
    const double tol = 1e-9 * (std::fabs(offset) + p.range + p.step);
    return std::fabs(offset - first) <= tol || std::fabs(offset - last) <= tol;
}

BlockEdge edgeOf(const XafsSpectrum& block, const XafsSpectrum& standard, double shift, Method m,
                 const Search& p)
{
    // A line through as many points as it has parameters leaves no residual
    // to judge the jump by.
    auto fitted = [](const VictLine& l) { return l.fitted && l.fitCount > (l.lineType == 0 ? 3 : 2); };
    BlockEdge e;
    e.flagged = block.noisy || block.outOfRange;
    e.linesFitted = fitted(block.pre) && fitted(block.post);
    e.jump = block.dMut;
    e.preResidual = block.pre.sigma;
    e.postResidual = block.post.sigma;
    e.searchAtLimit =
        m == Method::InnerProduct && atSearchLimit(shift - (block.midx - standard.midx), p);
    e.shift = shift;
    return e;
}

bool hasEdge(const BlockEdge& b, double noiseFactor)
{
    if (b.flagged || !b.linesFitted || b.searchAtLimit) return false;
    if (!std::isfinite(b.shift) || !std::isfinite(b.jump)) return false;
    const double f = noiseFactor > 0 ? noiseFactor : 0.0;
    return b.jump > f * b.preResidual && b.jump > f * b.postResidual;
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
