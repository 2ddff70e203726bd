#include "CalibMath.h"

#include "core/AnalyzeCond.h"
#include "core/MatrixUtil.h"
#include "core/XafsSpectrum.h"

#include <QCoreApplication>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <limits>

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

double EdgeFit::significance() const
{
    if (!fitted) return 0.0;
    if (stepError > 0) return step / stepError;
    // A fit without residual: any rising step stands out of it.
    return step > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

double pointNoise(const double* E, const double* mu, int n)
{
    // Each point against the line through its two neighbours: a smooth curve
    // leaves almost nothing there, noise leaves sqrt(1 + a^2 + b^2) of itself.
    QVarLengthArray<double, 256> z;
    for (int i = 1; i + 1 < n; ++i) {
        const double span = E[i + 1] - E[i - 1];
        if (!(span > 0)) continue;
        const double b = (E[i] - E[i - 1]) / span, a = 1 - b;
        z.append(std::fabs(mu[i] - a * mu[i - 1] - b * mu[i + 1]) / std::sqrt(1 + a * a + b * b));
    }
    if (z.size() < edgeMinPointsPerSide) return -1;
    // The median keeps a flash or a dip, and the edge's own bend, out.
    const auto mid = z.begin() + z.size() / 2;
    std::nth_element(z.begin(), mid, z.end());
    return *mid / 0.6744897501960817;
}

EdgeFit fitEdge(const XafsSpectrum& block, const XafsSpectrum& standard, double shift)
{
    EdgeFit f;
    const Spectrum& ref = standard.doubleNormalizedPreBaseCurve;
    const double edge = standard.midx + shift;
    if (!std::isfinite(edge) || ref.points.size() < 2) return f;
    constexpr int k = 4;  // 1, u, u^2, the standard's curve
    const double half = 0.5 * (edgeWindowBelow + edgeWindowAbove);
    // Calls visit(E, mu, row) for every point of the window the standard
    // covers; false at a value that is no number.
    auto forWindow = [&](auto visit) {
        for (int i = 0; i < block.points.size(); ++i) {
            const double E = block.xAt(i);
            if (!(E >= edge - edgeWindowBelow && E <= edge + edgeWindowAbove)) continue;
            const double Er = E - shift;
            if (Er < ref.minX || Er > ref.maxX) continue;
            const double mu = block.yAt(i);
            const double r = ref.y(Er);
            if (!std::isfinite(mu) || !std::isfinite(r)) return false;
            const double u = (E - edge) / half;
            const double x[k] = {1.0, u, u * u, r};
            visit(E, mu, x);
        }
        return true;
    };
    double ata[k][k] = {}, atb[k] = {};
    int n = 0;
    QVarLengthArray<double, 256> Es, mus;
    const bool finite = forWindow([&](double E, double mu, const double (&x)[k]) {
        for (int a = 0; a < k; ++a) {
            for (int b = 0; b < k; ++b) ata[a][b] += x[a] * x[b];
            atb[a] += x[a] * mu;
        }
        ++n;
        Es.append(E);
        mus.append(mu);
        if (E < edge)
            ++f.below;
        else if (E > edge)
            ++f.above;
    });
    if (!finite || f.below < edgeMinPointsPerSide || f.above < edgeMinPointsPerSide || n <= k) return f;
    // The coefficients, and the last column of the inverse for the step's variance.
    double* rows[k] = {ata[0], ata[1], ata[2], ata[3]};
    double coef[k] = {atb[0], atb[1], atb[2], atb[3]};
    double last[k] = {0, 0, 0, 1};
    if (!MatrixUtil::solve(k, rows, coef) || !MatrixUtil::solve(k, rows, last)) return f;
    double ssr = 0;
    forWindow([&](double, double mu, const double (&x)[k]) {
        double model = 0;
        for (int a = 0; a < k; ++a) model += coef[a] * x[a];
        ssr += (mu - model) * (mu - model);
    });
    f.step = coef[k - 1];
    // The shape of a sample's edge is never quite the standard's: the residual
    // grows with the step, and an SE made of it would hold a clean edge's
    // significance down. The noise alone is what could fake a step; never
    // more than the residual holds.
    f.noise = pointNoise(Es.constData(), mus.constData(), n);
    const double scatter = std::sqrt(ssr / (n - k));
    f.stepError = std::min(f.noise >= 0 ? f.noise : scatter, scatter) * std::sqrt(std::max(0.0, last[k - 1]));
    f.residual = std::sqrt(ssr / n);
    f.fitted = std::isfinite(f.step) && std::isfinite(f.stepError) && std::isfinite(f.residual);
    return f;
}

BlockEdge edgeOf(const XafsSpectrum& block, const XafsSpectrum& standard, double shift, Method m,
                 const Search& p)
{
    BlockEdge e;
    e.flagged = block.noisy || block.outOfRange;
    // A line through exactly as many points as it has parameters is a fit;
    // only a line that could not be fitted at all leaves no edge.
    e.linesFitted = block.pre.fitted && block.post.fitted;
    e.jump = block.dMut;
    e.preResidual = block.pre.sigma;
    e.postResidual = block.post.sigma;
    e.searchAtLimit =
        m == Method::InnerProduct && atSearchLimit(shift - (block.midx - standard.midx), p);
    e.shift = shift;
    if (std::isfinite(shift)) e.fit = fitEdge(block, standard, shift);
    return e;
}

bool hasEdge(const BlockEdge& b, double noiseFactor)
{
    if (b.flagged || !b.linesFitted || b.searchAtLimit) return false;
    if (!std::isfinite(b.shift) || !std::isfinite(b.jump)) return false;
    const double f = noiseFactor > 0 ? noiseFactor : 0.0;
    if (!(b.jump > f * b.preResidual && b.jump > f * b.postResidual)) return false;
    // Th. Jmp. moves the edge's test as it moves the jump's.
    const EdgeFit& e = b.fit;
    return e.fitted && e.step > 0 && e.significance() >= f * minEdgeSignificance
           && e.step >= f * minStepOverResidual * e.residual;
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
