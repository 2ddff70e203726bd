#include "CalibMath.h"

#include "core/AnalyzeCond.h"
#include "core/PointNoise.h"
#include "core/SuggestElm.h"
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

namespace {

// The standard's mu at the block's energies less shift, normalised as the
// block is, into on; false when it covers fewer than 3 of them or its
// normalisation is refused. Kept per thread, so a run allocates nothing once
// it has grown.
bool standardOnGrid(const XafsSpectrum& block, const XafsSpectrum& standard, double shift, XafsSpectrum& on)
{
    on.points.resize(0);
    on.resetMinMax();
    if (standard.points.size() < 2) return false;
    SpectrumSweep mu(standard);
    for (int i = 0; i < block.points.size(); ++i) {
        const double E = block.xAt(i), Es = E - shift;
        if (Es < standard.minX || Es > standard.maxX) continue;
        on.append(E, mu.y(Es));
    }
    if (on.points.size() < 3) return false;
    // E0 and the lines are all the rounds read of it.
    on.renewEdge(QStringLiteral("Calib-Std"), block.lineType, 0, block.suggest);
    return !on.refused() && std::isfinite(on.midx);
}

// The block's energies on the rise of the standard read on them: the run of
// points about its E0 between riseFraction and 1 - riseFraction.
int risePoints(const XafsSpectrum& on)
{
    // The double-normalised curve at the few points read.
    auto y = [&on](int i) {
        const double E = on.xAt(i), p = on.pre.value(E);
        return (on.yAt(i) - p) / (on.post.value(E) - p);
    };
    auto onRise = [&y](int i) {
        const double v = y(i);
        return v > riseFraction && v < 1 - riseFraction;
    };
    const int n = on.points.size();
    int j = 0;
    while (j < n && on.xAt(j) < on.midx) ++j;
    int count = 0;
    for (int i = j - 1; i >= 0 && onRise(i); --i) ++count;
    for (int i = j; i < n && onRise(i); ++i) ++count;
    return count;
}

// The standard's E0 on a block's energies at the shifts of a lattice. It
// depends on the energies, the standard and the normalisation alone, which
// the blocks of a stack share: a run reads each lattice shift once. Per
// thread, like the standard read on the grid.
class LatticeE0
{
public:
    // The table for block against standard, kept or made anew.
    static LatticeE0& of(const XafsSpectrum& block, const XafsSpectrum& standard)
    {
        constexpr int kept = 16;
        thread_local LatticeE0 cache[kept];
        thread_local int next = 0;
        for (LatticeE0& t : cache)
            if (t.serves(block, standard)) return t;
        LatticeE0& t = cache[next];
        next = (next + 1) % kept;
        t.energies.resize(block.points.size());
        for (int i = 0; i < block.points.size(); ++i) t.energies[i] = block.xAt(i);
        t.standardPoints = standard.points;
        t.lineType = block.lineType;
        t.suggest = block.suggest;
        t.base = 0;
        t.values.clear();
        return t;
    }

    // E0 at the shift k x shiftLattice; infinite when the standard cannot
    // be read there.
    double at(int k, const XafsSpectrum& block, const XafsSpectrum& standard, XafsSpectrum& on)
    {
        // Blocks far apart in E0 (no element, E0 on noise) would spread one
        // table over the whole scan: it starts anew instead.
        constexpr int widest = 1 << 16;
        if (values.isEmpty() || std::abs(k - base) > widest || std::abs(k - (base + values.size())) > widest) {
            values.clear();
            base = k;
        }
        if (k < base) {
            values.insert(0, base - k, kUnread);
            base = k;
        }
        if (k - base >= values.size()) {
            const int had = values.size();
            values.resize(k - base + 1);
            std::fill(values.begin() + had, values.end(), kUnread);
        }
        double& v = values[k - base];
        if (std::isnan(v))
            v = standardOnGrid(block, standard, k * shiftLattice, on) ? on.midx : std::numeric_limits<double>::infinity();
        return v;
    }

private:
    static constexpr double kUnread = std::numeric_limits<double>::quiet_NaN();

    bool serves(const XafsSpectrum& block, const XafsSpectrum& standard) const
    {
        if (energies.size() != block.points.size()
            || !XafsSpectrum::sameNormalisation(suggest, lineType, block.suggest, block.lineType))
            return false;
        for (int i = 0; i < energies.size(); ++i)
            if (energies[i] != block.xAt(i)) return false;
        return standardPoints == standard.points;
    }

    QVector<double> energies;
    QVector<QPointF> standardPoints;
    int lineType = 0;
    SuggestElm suggest;
    int base = 0;
    QVector<double> values;
};

// The widest step of the block's energies about its E0.
double stepAtEdge(const XafsSpectrum& block)
{
    const int n = block.points.size();
    int j = 0;
    while (j < n && block.xAt(j) < block.midx) ++j;
    double widest = 0;
    for (int i = std::max(1, j - 2); i <= std::min(n - 1, j + 1); ++i) widest = std::max(widest, block.xAt(i) - block.xAt(i - 1));
    return widest;
}

// The mid-point shift on the block's energies; the standard as last read on
// them in on, at the shift read.
Shift midShift(const XafsSpectrum& block, const XafsSpectrum& standard, XafsSpectrum& on, double& read)
{
    Shift r;
    r.value = r.centre = block.midx - standard.midx;
    if (block.refused() || !std::isfinite(r.value)) return r;
    LatticeE0& table = LatticeE0::of(block, standard);
    const ShiftRoot root = findShiftRoot(
        [&](int k) { return table.at(k, block, standard, on); },
        [&](double s) {
            const bool ok = standardOnGrid(block, standard, s, on);
            read = ok ? s : std::numeric_limits<double>::quiet_NaN();
            return ok ? on.midx : std::numeric_limits<double>::infinity();
        },
        block.midx, r.value, stepAtEdge(block));
    if (!root.readable) return r;
    r.onGrid = true;
    r.root = root.root;
    r.rounds = root.rounds;
    const double s = root.shift;
    // The standard as read at the shift given, for the inner product's lines
    // and the count of the rise's points.
    if (read != s || r.rounds == 0) {
        if (!standardOnGrid(block, standard, s, on)) {
            r.onGrid = false;
            return r;
        }
        read = s;
        ++r.rounds;
    }
    r.value = r.centre = s;
    r.risePoints = risePoints(on);
    return r;
}

}  // namespace

ShiftRoot findShiftRoot(const std::function<double(int)>& onLattice, const std::function<double(double)>& at, double e0,
                        double c0, double step)
{
    ShiftRoot r;
    r.shift = c0;
    // E0s of no spectrum this program reads lie further apart.
    if (!(std::fabs(c0) < 1e6)) {
        r.root = Shift::Root::None;
        return r;
    }
    const double reach = std::min(maxShiftReach, std::max(minShiftReach, shiftReachSteps * step));
    const int kLo = int(std::floor((c0 - reach) / shiftLattice)), kHi = int(std::ceil((c0 + reach) / shiftLattice));

    // Where E0 crosses the block's between two shifts a and b > a, fa and fb
    // the differences there.
    struct Bracket
    {
        double a, fa, b, fb;
        bool touches = false;  // E0 turns back within jumpAcross of the block's at a, without crossing
        bool leaps() const { return std::fabs(fb - fa) > leapSlope * (b - a); }
        // A leap holds a root when one side meets the block's E0 to the
        // mid-point's precision, or when E0 rises across it by less than a
        // step: the crossing moving on to the next pair of points.
        bool holdsRoot(double step) const
        {
            return !leaps() || std::min(std::fabs(fa), std::fabs(fb)) <= jumpAcross || (fa < 0 && fb - fa <= step);
        }
        double crossing(double wa, double wb) const { return wa == wb ? a : a - wa * (b - a) / (wb - wa); }
        double nearer() const { return std::fabs(fa) <= std::fabs(fb) ? a : b; }
        // How surely the bracket places its root: a smooth crossing first.
        int rank() const { return touches ? 2 : leaps() ? 1 : 0; }
    };
    // E0 that comes within jumpAcross of the block's and turns back meets
    // it as well as the mid-point tells: the slightest change of either
    // spectrum makes it a crossing.
    QVarLengthArray<Bracket, 8> roots;
    bool readable = false, leapt = false;
    double sPrev = 0, fPrev = 0, fBefore = 0;
    int run = 0;  // readable lattice shifts in a row
    for (int k = kLo; k <= kHi; ++k) {
        const double e = onLattice(k);
        if (!std::isfinite(e)) {
            run = 0;
            continue;
        }
        readable = true;
        const double s = k * shiftLattice, f = e - e0;
        if (f == 0) {
            roots.append({s, f, s, f});
        } else if (run > 0 && fPrev != 0 && (f > 0) != (fPrev > 0)) {
            const Bracket q{sPrev, fPrev, s, f};
            if (q.holdsRoot(step))
                roots.append(q);
            else
                leapt = true;
        } else if (run > 1 && (f > 0) == (fPrev > 0) && (fPrev > 0) == (fBefore > 0) && fBefore != 0
                   && std::fabs(fPrev) <= jumpAcross && std::fabs(fPrev) < std::fabs(f) && std::fabs(fPrev) <= std::fabs(fBefore)) {
            roots.append({sPrev, fPrev, sPrev, fPrev, true});
        }
        fBefore = fPrev, sPrev = s, fPrev = f, ++run;
    }
    r.readable = readable;
    if (!readable) {
        r.root = Shift::Root::None;
        return r;
    }

    // At a root further from E0 less E0 than a step of the grid, the
    // standard's E0 on the grid lies that far from its own: it was read on
    // another feature (a shoulder for the rise), and yields to crossings
    // within the step; a touch counts beside crossings within the step, or
    // where there is no crossing. Of roots within rootsApart, one through which E0
    // moves smoothly is placed more surely than one at a leap, and that than
    // a touch; else the one nearest E0 less E0.
    bool anyNear = false, anyCrossing = false;
    for (const Bracket& q : roots) {
        anyCrossing = anyCrossing || !q.touches;
        anyNear = anyNear || (!q.touches && std::fabs(q.crossing(q.fa, q.fb) - c0) <= step);
    }
    int chosen = -1;
    double lo = HUGE_VAL, hi = -HUGE_VAL, s = c0;
    for (int i = 0; i < roots.size(); ++i) {
        const Bracket& q = roots[i];
        const double x = q.crossing(q.fa, q.fb);
        if (anyNear && std::fabs(x - c0) > step) continue;
        if (q.touches && anyCrossing && !anyNear) continue;
        lo = std::min(lo, x), hi = std::max(hi, x);
        const int rank = q.rank(), chosenRank = chosen < 0 ? 3 : roots[chosen].rank();
        const bool better = rank < chosenRank || (rank == chosenRank && std::fabs(x - c0) < std::fabs(s - c0));
        if (better) chosen = i, s = x;
    }
    if (chosen < 0)
        r.root = leapt ? Shift::Root::Jump : Shift::Root::None;
    else if (hi - lo > rootsApart)
        r.root = Shift::Root::Several;

    // The chosen bracket refined by false position, the end kept twice in a
    // row weighed half (so a bend cannot hold one end for good).
    if (r.root == Shift::Root::Found && roots[chosen].fa != 0 && !roots[chosen].touches) {
        Bracket q = roots[chosen];
        double wa = q.fa, wb = q.fb, f = q.fa, last = HUGE_VAL;
        int kept = 0;  // +1 the lower end kept twice, -1 the upper
        bool settled = false, lost = false;
        while (!settled && r.rounds < refineRounds) {
            s = q.crossing(wa, wb);
            const double e = at(s);
            ++r.rounds;
            if ((lost = !std::isfinite(e))) break;
            f = e - e0;
            settled = f == 0 || std::fabs(s - last) < shiftSettled || q.b - q.a < shiftSettled;
            last = s;
            if ((f > 0) == (q.fa > 0)) {
                q.a = s, q.fa = wa = f;
                if (kept == -1) wb *= 0.5;
                kept = -1;
            } else {
                q.b = s, q.fb = wb = f;
                if (kept == 1) wa *= 0.5;
                kept = 1;
            }
            // Narrowed onto a leap that holds the root: it is found, at
            // the leap, however long the bracket would take to close.
            settled = settled || (q.leaps() && q.holdsRoot(step));
        }
        // Narrowed onto a leap, the side nearer the block's E0 is the root if
        // the leap holds one; a bracket that narrows slowly about a side
        // meeting it holds the root as closely as the grid tells.
        const bool meets = std::min({std::fabs(q.fa), std::fabs(q.fb), std::fabs(f)}) <= jumpAcross;
        if (lost)
            r.root = Shift::Root::RanOut;
        else if (!meets && !(q.leaps() && q.holdsRoot(step)))
            r.root = settled || q.leaps() ? Shift::Root::Jump : Shift::Root::RanOut;
        else if (meets && !settled && q.b - q.a > rootsApart)
            r.root = Shift::Root::RanOut;
        if (r.root == Shift::Root::Found && std::fabs(f) > jumpAcross) s = q.nearer();
    }
    r.shift = s;
    return r;
}

Shift measureShift(const XafsSpectrum& block, const XafsSpectrum& standard, Method m, const Search& p)
{
    thread_local XafsSpectrum on;
    double read = 0;
    Shift r = midShift(block, standard, on, read);
    if (m != Method::InnerProduct) {
        // The mid-point's shift is its root: without a single one there is none.
        if (r.onGrid && r.root != Shift::Root::Found) {
            r.unplaced = true;
            r.value = std::numeric_limits<double>::quiet_NaN();
        }
        return r;
    }
    if (!r.onGrid) {
        r.value = block.findEnergyShift(standard, p.range, p.step, p.minStep);
        return r;
    }
    // The standard over its own scan with the lines found on the block's
    // energies, moved back by the shift they were read at; its E0 so that the
    // search is centred on the mid-point shift.
    thread_local XafsSpectrum ref;
    ref = standard;
    Spectrum& curve = ref.doubleNormalizedPreBaseCurve;
    curve = Spectrum();
    curve.points.reserve(standard.points.size());
    for (int i = 0; i < standard.points.size(); ++i) {
        const double E = standard.xAt(i), at = E + read;
        const double lo = on.pre.value(at), hi = on.post.value(at);
        curve.append(E, (standard.yAt(i) - lo) / (hi - lo));
    }
    ref.midx = block.midx - r.centre;
    r.value = block.findEnergyShift(ref, p.range, p.step, p.minStep);
    // The finer passes stay within a tenth of the range of the centre. On a
    // coarse grid the mid-point can settle on a second solution (E0 on a
    // shoulder near half height) more than that away from the best score:
    // the result is then the first pass's step or the edge of the finer
    // band, and the search goes on about it. One ended at its limit stays
    // there, to be flagged.
    const double band = 0.1 * p.range, fine = 0.1 * p.step;
    if (fine >= p.minStep && !atSearchLimit(r.value - r.centre, p)) {
        double at = r.centre;
        for (int k = 0; k < recentredSearches && std::fabs(r.value - at) > band - 0.5 * fine; ++k) {
            at = r.value;
            ref.midx = block.midx - at;
            r.value = block.findEnergyShift(ref, band, fine, p.minStep);
        }
    }
    return r;
}

double blockShift(const XafsSpectrum& block, const XafsSpectrum& standard, Method m,
                  const Search& p)
{
    return measureShift(block, standard, m, p).value;
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
    return ::pointNoise(E, mu, n, edgeMinPointsPerSide);
}

namespace {

double dot(const double* a, const double* b, int n)
{
    // Four sums apart, so that each addition need not wait for the last.
    double s[4] = {0, 0, 0, 0};
    int i = 0;
    for (; i + 4 <= n; i += 4)
        for (int k = 0; k < 4; ++k) s[k] += a[i + k] * b[i + k];
    for (; i < n; ++i) s[0] += a[i] * b[i];
    return (s[0] + s[1]) + (s[2] + s[3]);
}

// Orthonormal columns of a fixed length, added one after the other.
class Basis
{
public:
    void reset(int length)
    {
        rows = length;
        count = 0;
        q.resize(0);
    }
    int size() const { return count; }
    double dot(const double* a, const double* b) const { return CalibMath::dot(a, b, rows); }
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
    int rows = 0;
    int count = 0;
    QVector<double> q;
};

// The edge fit's background over one window: the quadratic and the flat
// field's wiggles less their quadratic part. It depends on the window's
// energies alone, which the blocks of a stack share, so it is worked out once
// per window; a block adds only its own noise, the wiggles' weight.
struct Background
{
    QVector<double> E;     // the window's energies: what it was worked out for
    Basis quadratic;
    int wiggles = 0;       // sines and cosines, 2 per frequency
    QVector<double> z;     // the wiggles' columns, one after the other
    QVector<double> gram;  // z'z, wiggles x wiggles
    double trace = 0;      // of gram

    void build(const double* Es, int n)
    {
        E = QVector<double>(Es, Es + n);
        QVarLengthArray<double, 256> v(n);
        quadratic.reset(n);
        // Centred and scaled to the window, so its powers stay apart.
        const double mid = 0.5 * (Es[0] + Es[n - 1]), half = 0.5 * (edgeWindowBelow + edgeWindowAbove);
        for (int p = 0; p < 3; ++p) {
            for (int i = 0; i < n; ++i) {
                const double u = (Es[i] - mid) / half;
                v[i] = p == 0 ? 1.0 : p == 1 ? u : u * u;
            }
            quadratic.add(v.data());
        }
        const int F = wiggleFrequencies(Es[n - 1] - Es[0]);
        const double fLow = 1 / longestWigglePeriod, df = F > 1 ? (1 / shortestWigglePeriod - fLow) / (F - 1) : 0.0;
        wiggles = 2 * F;
        z.resize(wiggles * n);
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
            double* s = z.data() + 2 * j * n;
            for (int i = 0; i < n; ++i) s[i] = sn[i], s[n + i] = c[i];
            quadratic.reduce(s);
            quadratic.reduce(s + n);
        }
        gram.resize(wiggles * wiggles);
        double* g = gram.data();
        const double* zs = z.constData();
        for (int a = 0; a < wiggles; ++a)
            for (int b = 0; b <= a; ++b) g[a * wiggles + b] = g[b * wiggles + a] = dot(zs + a * n, zs + b * n, n);
        trace = 0;
        for (int a = 0; a < wiggles; ++a) trace += g[a * wiggles + a];
    }
};

// The background of the window at energies Es. Blocks whose shifts differ by
// a step or two of the grid cut a few windows in turn, so several are kept.
// Per thread: the calibration runs one block per turn of the GUI's event
// loop, but the edge test is free of widgets.
const Background& backgroundOf(const double* Es, int n)
{
    constexpr int kept = 16;
    thread_local Background cache[kept];
    thread_local int next = 0;
    for (const Background& b : cache)
        if (b.E.size() == n && std::equal(Es, Es + n, b.E.constData())) return b;
    Background& b = cache[next];
    next = (next + 1) % kept;
    b.build(Es, n);
    return b;
}

// a and b, n points and then a row per wiggle, less their wiggles: their
// coefficients c solve (z'z + lambda) c = z'v, by Cholesky. Per block only
// products with the window's columns and a factorisation of wiggles x wiggles.
void removeWiggles(const Background& bg, double lambda, double* a, double* b)
{
    const int n = bg.E.size(), m = bg.wiggles;
    const double* z = bg.z.constData();
    QVarLengthArray<double, 64 * 64> L(m * m);
    for (int j = 0; j < m; ++j)
        for (int i = j; i < m; ++i) {
            const double s = bg.gram[i * m + j] + (i == j ? lambda : 0.0) - dot(L.constData() + i * m, L.constData() + j * m, j);
            L[i * m + j] = i == j ? std::sqrt(s) : s / L[j * m + j];
        }
    const double weight = std::sqrt(lambda);
    QVarLengthArray<double, 64> c(m);
    for (double* v : {a, b}) {
        for (int j = 0; j < m; ++j)
            c[j] = (dot(z + j * n, v, n) - dot(L.constData() + j * m, c.constData(), j)) / L[j * m + j];
        for (int j = m - 1; j >= 0; --j) {
            for (int i = j + 1; i < m; ++i) c[j] -= L[i * m + j] * c[i];
            c[j] /= L[j * m + j];
        }
        for (int j = 0; j < m; ++j) {
            for (int i = 0; i < n; ++i) v[i] -= c[j] * z[j * n + i];
            v[n + j] = -weight * c[j];
        }
    }
}

// The same by adding the weighted columns one after the other, slower but
// sure however small the weight.
void removeWigglesSlowly(const Background& bg, double lambda, double* a, double* b)
{
    const int n = bg.E.size(), m = bg.wiggles;
    Basis basis;
    basis.reset(n + m);
    QVarLengthArray<double, 320> v(n + m);
    for (int j = 0; j < m; ++j) {
        for (int i = 0; i < n + m; ++i) v[i] = i < n ? bg.z[j * n + i] : i == n + j ? std::sqrt(lambda) : 0.0;
        basis.add(v.data());
    }
    basis.reduce(a);
    basis.reduce(b);
}

}  // namespace

int wiggleFrequencies(double width)
{
    if (!(width > 0)) return 0;
    // Neighbouring periods part by a quarter turn over the window.
    return int(std::ceil((1 / shortestWigglePeriod - 1 / longestWigglePeriod) * width / 0.25)) + 1;
}

namespace {

// mu = quadratic + wiggles + step x r + noise over the window's n points
// (f counts those on each side of the edge at energy edge), the wiggles of
// amplitude wiggle.
EdgeFit fitCurve(const double* Es, const double* mus, const double* rs, int n, EdgeFit f, double wiggle, double edge)
{
    constexpr int k = 4;  // 1, u, u^2, the curve
    if (f.below < edgeMinPointsPerSide || f.above < edgeMinPointsPerSide || n <= k) return f;
    f.noise = pointNoise(Es, mus, n);

    // mu = quadratic + wiggles + step x standard + noise, where the wiggles
    // are sines and cosines of flat-field periods whose amplitudes pay for
    // their size: each coefficient is asked for 0 with the weight of the
    // noise over the spread a flat field gives it, as if by a row of its own
    // appended to the fit. Least squares so is the fit under noise plus slow
    // wiggles; the step's error counts what wiggles of a flat field's size
    // could make of it, while an edge far above them stands out. Without
    // noise to weigh them against (a noiseless curve) there are none.
    const Background& bg = backgroundOf(Es, n);
    const int m = f.noise > 0 && wiggle > 0 ? bg.wiggles : 0, F = m / 2;
    // Spread of each wiggle coefficient: wiggleSines sines of a flat
    // field's amplitude, their variance shared among the frequencies.
    const double spread = F > 0 ? std::sqrt(0.5 * wiggleSines * wiggle * wiggle / F) : 0.0;
    const double weight = F > 0 ? f.noise / spread : 0.0, lambda = weight * weight;

    // The standard's curve (a) and mu (b) less their quadratic parts, then
    // less their wiggles; each extended by the weighted rows, where what a
    // wiggle took of it shows as its coefficient times -weight.
    QVarLengthArray<double, 320> a(n + m), b(n + m);
    for (int i = 0; i < n + m; ++i) a[i] = i < n ? rs[i] : 0.0, b[i] = i < n ? mus[i] : 0.0;
    bg.quadratic.reduce(a.data());
    bg.quadratic.reduce(b.data());
    // The normal equations lose the rounding times the condition of
    // z'z + lambda, at most trace / lambda: up to 1e6 that stays below 1e-10
    // (mu's noise above about 1e-4), a nearly noiseless curve goes the sure way.
    if (m > 0 && lambda >= 1e-6 * bg.trace)
        removeWiggles(bg, lambda, a.data(), b.data());
    else if (m > 0)
        removeWigglesSlowly(bg, lambda, a.data(), b.data());
    double aa = 0, ab = 0;
    for (int i = 0; i < n + m; ++i) aa += a[i] * a[i], ab += a[i] * b[i];
    // The step is what of mu follows the rest of the standard's curve, over
    // its length.
    const double len = std::sqrt(aa);
    if (!(len > 0) || !std::isfinite(len)) return f;
    f.step = ab / aa;
    double ssr = 0, ssrBelow = 0;
    for (int i = 0; i < n; ++i) {
        const double e = b[i] - f.step * a[i];
        ssr += e * e;
        if (Es[i] < edge - wiggleBelowGap) ssrBelow += e * e, ++f.belowCount;
    }
    f.belowResidual = f.belowCount > 0 ? std::sqrt(ssrBelow / f.belowCount) : 0.0;
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

}  // namespace

EdgeFit fitEdge(const XafsSpectrum& block, const XafsSpectrum& standard, double shift)
{
    return fitEdge(block, standard, shift, flatFieldWiggle);
}

EdgeFit fitEdge(const XafsSpectrum& block, const XafsSpectrum& standard, double shift, double wiggle)
{
    EdgeFit f;
    const Spectrum& ref = standard.doubleNormalizedPreBaseCurve;
    const double edge = standard.midx + shift;
    if (!std::isfinite(edge) || ref.points.size() < 2) return f;
    // The window's points the standard covers.
    QVarLengthArray<double, 256> Es, mus, rs;
    SpectrumSweep refAt(ref);
    for (int i = 0; i < block.points.size(); ++i) {
        const double E = block.xAt(i);
        if (!(E >= edge - edgeWindowBelow && E <= edge + edgeWindowAbove)) continue;
        const double Er = E - shift;
        if (Er < ref.minX || Er > ref.maxX) continue;
        const double mu = block.yAt(i), r = refAt.y(Er);
        if (!std::isfinite(mu) || !std::isfinite(r)) return f;
        Es.append(E);
        mus.append(mu);
        rs.append(r);
        if (E < edge)
            ++f.below;
        else if (E > edge)
            ++f.above;
    }
    return fitCurve(Es.constData(), mus.constData(), rs.constData(), Es.size(), f, wiggle, edge);
}

EdgeFit fitRise(const XafsSpectrum& block, double wiggle)
{
    EdgeFit f;
    const double edge = block.midx;
    if (!std::isfinite(edge) || block.refused()) return f;
    QVarLengthArray<double, 256> Es, mus, rs;
    for (int i = 0; i < block.points.size(); ++i) {
        const double E = block.xAt(i);
        if (!(E >= edge - edgeWindowBelow && E <= edge + edgeWindowAbove)) continue;
        const double mu = block.yAt(i);
        if (!std::isfinite(mu)) return f;
        Es.append(E);
        mus.append(mu);
        rs.append(0.5 * (1 + std::erf((E - edge) / riseWidth)));
        if (E < edge)
            ++f.below;
        else if (E > edge)
            ++f.above;
    }
    return fitCurve(Es.constData(), mus.constData(), rs.constData(), Es.size(), f, wiggle, edge);
}

double riseWiggle(const EdgeFit& f)
{
    if (!f.fitted) return flatFieldWiggle;
    // Three sines of amplitude a leave an rms of a sqrt(3 / 2).
    const double noise = f.noise >= 0 ? f.noise : 0.0;
    const double left = std::max(0.0, f.residual * f.residual - noise * noise) / (0.5 * wiggleSines);
    const double a = std::min(maxRiseWiggle, std::sqrt(flatFieldWiggle * flatFieldWiggle + left));
    // Below the edge a thin sample of any compound is smooth and the fit
    // follows it: what is left there beyond the noise, when it stands out of
    // the scatter a variance of so few points has, is the flat field's.
    if (f.belowCount < wiggleBelowMinPoints) return a;
    const double excess = f.belowResidual * f.belowResidual - noise * noise;
    if (!(excess > wiggleBelowExcess * noise * noise * std::sqrt(2.0 / f.belowCount))) return a;
    return std::max(a, std::min(maxBelowWiggle, std::sqrt(flatFieldWiggle * flatFieldWiggle + excess / (0.5 * wiggleSines))));
}

BlockEdge edgeOf(const XafsSpectrum& block, const XafsSpectrum& standard, double shift, Method m,
                 const Search& p)
{
    Shift r = measureShift(block, standard, Method::MidPoint, p);
    r.value = shift;
    return edgeOf(block, standard, r, m, p);
}

BlockEdge edgeOf(const XafsSpectrum& block, const XafsSpectrum& standard, const Shift& shift, Method m,
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
    // Measured from where the search was centred.
    e.searchAtLimit = m == Method::InnerProduct && atSearchLimit(shift.value - shift.centre, p);
    e.unresolved = shift.unresolved();
    e.shift = shift.value;
    if (std::isfinite(shift.value)) {
        e.fit = fitEdge(block, standard, shift.value, 0.0);
        e.rise = fitRise(block, riseWiggle(e.fit));
    }
    return e;
}

bool hasEdge(const BlockEdge& b, double noiseFactor)
{
    if (b.flagged || !b.linesFitted || b.searchAtLimit || b.unresolved) return false;
    if (!std::isfinite(b.shift) || !std::isfinite(b.jump)) return false;
    const double f = noiseFactor > 0 ? noiseFactor : 0.0;
    if (!(b.jump > f * b.preResidual && b.jump > f * b.postResidual)) return false;
    // Th. Jmp. moves the edge's test as it moves the jump's.
    const EdgeFit& e = b.fit;
    const EdgeFit& r = b.rise;
    if (!(e.fitted && e.step > 0 && e.significance() >= f * minEdgeSignificance
          && e.step >= f * minStepOverResidual * e.residual))
        return false;
    // A flat field's wiggles rise no higher than this however many counts
    // there are; a taller step needs no rise test, whose wiggles would be
    // free beside it.
    if (e.step >= f * riseTestedBelow) return true;
    return r.fitted && r.step > 0 && r.significance() >= f * minRiseSignificance;
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
