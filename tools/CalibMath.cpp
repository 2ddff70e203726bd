#include "CalibMath.h"

#include "core/AnalyzeCond.h"
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

namespace {

// Orthonormal columns of a fixed length, added one after the other.
class Basis
{
public:
    explicit Basis(int rows) : rows(rows) {}
    int size() const { return count; }
    double dot(const double* a, const double* b) const
    {
        double s = 0;
        for (int i = 0; i < rows; ++i) s += a[i] * b[i];
        return s;
    }
    // v less its parts along the columns, one after the other, so that
    // what rounding left of an earlier part goes with the later ones; its
    // length after.
    double reduce(double* v) const
    {
        for (int j = 0; j < count; ++j) {
            const double* o = q.constData() + j * rows;
            const double d = dot(o, v);
            for (int i = 0; i < rows; ++i) v[i] -= d * o[i];
        }
        return std::sqrt(dot(v, v));
    }
    // Adds v, reduced; false (and v unchanged as a column) when the columns
    // already hold it: points bunched at few energies.
    bool add(double* v)
    {
        const double before = std::sqrt(dot(v, v));
        const double len = reduce(v);
        if (!(len > 1e-9 * before) || !std::isfinite(len)) return false;
        q.resize((count + 1) * rows);
        double* dst = q.data() + count * rows;
        for (int i = 0; i < rows; ++i) dst[i] = v[i] / len;
        ++count;
        return true;
    }

private:
    int rows;
    int count = 0;
    QVarLengthArray<double, 320 * 40> q;
};

}  // namespace

int wiggleFrequencies(double width)
{
    if (!(width > 0)) return 0;
    // Neighbouring periods part by a quarter turn over the window.
    return int(std::ceil((1 / shortestWigglePeriod - 1 / longestWigglePeriod) * width / 0.25)) + 1;
}

EdgeFit fitEdge(const XafsSpectrum& block, const XafsSpectrum& standard, double shift)
{
    EdgeFit f;
    const Spectrum& ref = standard.doubleNormalizedPreBaseCurve;
    const double edge = standard.midx + shift;
    if (!std::isfinite(edge) || ref.points.size() < 2) return f;
    // The window's points the standard covers.
    QVarLengthArray<double, 256> Es, mus, rs;
    for (int i = 0; i < block.points.size(); ++i) {
        const double E = block.xAt(i);
        if (!(E >= edge - edgeWindowBelow && E <= edge + edgeWindowAbove)) continue;
        const double Er = E - shift;
        if (Er < ref.minX || Er > ref.maxX) continue;
        const double mu = block.yAt(i), r = ref.y(Er);
        if (!std::isfinite(mu) || !std::isfinite(r)) return f;
        Es.append(E);
        mus.append(mu);
        rs.append(r);
        if (E < edge)
            ++f.below;
        else if (E > edge)
            ++f.above;
    }
    const int n = Es.size();
    constexpr int k = 4;  // 1, u, u^2, the standard's curve
    if (f.below < edgeMinPointsPerSide || f.above < edgeMinPointsPerSide || n <= k) return f;
    f.noise = pointNoise(Es.constData(), mus.constData(), n);
    const double width = Es[n - 1] - Es[0];
    const double half = 0.5 * (edgeWindowBelow + edgeWindowAbove);

    // mu = quadratic + wiggles + step x standard + noise, where the wiggles
    // are sines and cosines of flat-field periods whose amplitudes pay for
    // their size: each pair of columns gets a row of its own asking for 0
    // with the weight of the noise over the spread a flat field gives it.
    // Least squares over these rows is the fit under noise plus slow
    // wiggles; the step's error counts what wiggles of a flat field's size
    // could make of it, while an edge far above them stands out. Without
    // noise to weigh them against (a noiseless curve) there are none.
    const int F = f.noise > 0 ? wiggleFrequencies(width) : 0;
    const int rows = n + 2 * F;
    const double fLow = 1 / longestWigglePeriod, df = F > 1 ? (1 / shortestWigglePeriod - fLow) / (F - 1) : 0.0;
    // Spread of each wiggle coefficient: wiggleSines sines of a flat
    // field's amplitude, their variance shared among the frequencies.
    const double spread = F > 0 ? std::sqrt(0.5 * wiggleSines * flatFieldWiggle * flatFieldWiggle / F) : 0.0;
    const double weight = F > 0 ? f.noise / spread : 0.0;
    QVarLengthArray<double, 320> v(rows), y(rows);
    Basis basis(rows);
    auto column = [&](auto value) {
        for (int i = 0; i < rows; ++i) v[i] = 0;
        for (int i = 0; i < n; ++i) v[i] = value(i);
    };
    for (int p = 0; p < 3; ++p) {
        column([&](int i) {
            const double u = (Es[i] - edge) / half;
            return p == 0 ? 1.0 : p == 1 ? u : u * u;
        });
        basis.add(v.data());
    }
    // sin and cos of each frequency at each point, stepped from frequency
    // to frequency by one rotation per point rather than found afresh.
    QVarLengthArray<double, 256> c(n), sn(n), dc(n), ds(n);
    for (int i = 0; i < n; ++i) {
        const double x = 2 * M_PI * (Es[i] - Es[0]);
        c[i] = std::cos(fLow * x), sn[i] = std::sin(fLow * x);
        dc[i] = std::cos(df * x), ds[i] = std::sin(df * x);
    }
    for (int j = 0; j < F; ++j) {
        if (j > 0)
            for (int i = 0; i < n; ++i) {
                const double cc = c[i] * dc[i] - sn[i] * ds[i];
                sn[i] = sn[i] * dc[i] + c[i] * ds[i];
                c[i] = cc;
            }
        for (int part = 0; part < 2; ++part) {
            column([&](int i) { return part ? c[i] : sn[i]; });
            v[n + 2 * j + part] = weight;
            basis.add(v.data());
        }
    }
    // The standard's curve less what background and wiggles take of it; the
    // step is what of mu follows the rest, over its length.
    column([&](int i) { return rs[i]; });
    const double len = basis.reduce(v.data());
    if (!(len > 0) || !std::isfinite(len)) return f;
    for (int i = 0; i < rows; ++i) y[i] = i < n ? mus[i] : 0.0;
    basis.reduce(y.data());
    const double along = basis.dot(v.constData(), y.constData()) / len;
    f.step = along / len;
    double ssr = 0;
    for (int i = 0; i < n; ++i) {
        const double e = y[i] - along * v[i] / len;
        ssr += e * e;
    }
    // The shape of a sample's edge is never quite the standard's: the
    // residual grows with the step, and an SE made of it would hold a clean
    // edge's significance down. The noise is what could fake a step; never
    // more than the residual holds.
    const double scatter = std::sqrt(ssr / std::max(1, n - k));
    f.stepError = std::min(f.noise >= 0 ? f.noise : scatter, scatter) / len;
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
