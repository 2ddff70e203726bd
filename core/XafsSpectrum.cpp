#include "XafsSpectrum.h"

#include "IsolatedPoints.h"
#include "SafeWrite.h"

#include "DebugOnce.h"
#include "PhysConst.h"

#include <QDebug>
#include <QFile>
#include <QStringList>
#include <QTextStream>

#include "TextLine.h"
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Point access with the shift rule, inline for the per-point loops (i in range).
inline double pointX(const Spectrum& s, int i)
{
    const double x = s.points[i].x();
    return s.xShiftOn ? x - s.xShift : x;
}

bool strictlyRising(const Spectrum& s)
{
    const int n = s.points.size();
    for (int i = 1; i < n; ++i) {
        if (!(pointX(s, i) > pointX(s, i - 1)))
            return false;
    }
    return true;
}

constexpr int kWalk = 8;

// Spectrum::y of a curve with strictly rising energies (at least two points)
// and a non-NaN E; hint is the segment found last time and is updated.
double valueOnRising(const Spectrum& s, double E, int& hint)
{
    const int M = s.points.size();
    int lo;
    if (pointX(s, 0) >= E) {
        lo = 0;
    } else if (E >= pointX(s, M - 1)) {
        lo = M - 2;
    } else {
        // x_0 < E < x_{M-1}: the segment with x_lo <= E < x_lo+1.
        lo = qBound(0, hint, M - 2);
        if (!(pointX(s, lo) <= E && E < pointX(s, lo + 1))) {
            // Read at coarser steps than the curve's, a sweep passes a few
            // of its points at a time: walked on before bisecting afresh.
            for (int k = 0; k < kWalk && lo + 2 <= M - 1 && pointX(s, lo + 1) <= E; ++k)
                ++lo;
            if (!(pointX(s, lo) <= E && E < pointX(s, lo + 1))) {
                int a = 0, b = M - 1;
                while (b - a > 1) {
                    const int mid = (a + b) / 2;
                    if (pointX(s, mid) > E)
                        b = mid;
                    else
                        a = mid;
                }
                lo = a;
            }
        }
    }
    hint = lo;
    return lineAt(pointX(s, lo), s.points[lo].y(), pointX(s, lo + 1), s.points[lo + 1].y(), E);
}

// The sum and the largest of the steps from point to point.
void stepsOf(const Spectrum& s, double& travel, double& steep)
{
    const int N = s.points.size();
    double sum = 0, top = 0, last = N > 0 ? s.points[0].y() : 0.0;
    for (int i = 0; i < N; ++i) {
        const double mu = s.points[i].y();
        const double step = std::fabs(mu - last);
        sum += step;
        top = step > top ? step : top;
        last = mu;
    }
    travel = sum;
    steep = top;
}

// VictLine::value along rising energies. Where the correction curve applies
// its segment is followed on from the previous call instead of bisected anew;
// that is the same segment whenever the curve's energies strictly rise, as
// the Bezier samples do.
class LineSweep
{
public:
    explicit LineSweep(const VictLine& l)
        : line(l),
          sweep(l.correctionOn && l.correctionType == 2 && l.points.size() >= 2
                && strictlyRising(l))
    {
    }
    double operator()(double E)
    {
        if (sweep && (line.correctionSide ? E > line.fitTo : E < line.fitFrom))
            return valueOnRising(line, E, hint);
        return line.value(E);
    }

private:
    const VictLine& line;
    const bool sweep;
    int hint = 0;
};

// The steepest rise among offered candidates, by rise per eV. Steps that agree
// to a millionth count as equal and are ranked by the rise alone, so an evenly
// spaced scan, whose steps differ only in their last bits, ranks exactly as by
// the rise per point (the first of equal rises winning). A step of no energy
// has no slope. Per point, the coarse steps above an edge measured finely
// would outrank the edge itself.
class SteepestRise
{
public:
    void offer(int i, double rise, double step)
    {
        if (!(step > 0) || !std::isfinite(step) || !(rise > 0))
            return;
        const bool sameStep = std::fabs(step - bestStep) <= 1e-6 * std::max(step, bestStep);
        const bool better = index < 0
                            || (sameStep ? rise > bestRise : rise * bestStep > bestRise * step);
        if (better) {
            index = i;
            bestRise = rise;
            bestStep = step;
        }
    }
    // The winner, or -1 when nothing rose.
    int found() const { return index; }

private:
    int index = -1;
    double bestRise = 0;
    double bestStep = 0;
};

// Half width of the moving average the normalisation smooths with.
constexpr int kSmoothHalf = 2;

// How far apart, in eV, points may lie to be averaged with each other where
// the crossing is taken: well within a steep edge's rise (a few eV), so a
// repeated or near-duplicate energy is read as one with its twin, while
// points a grid step apart on 1 eV and coarser steps stand alone.
constexpr double kLocalReach = 0.75;
// Points either side of the chosen one among which the crossing's bracket
// is looked for: the five-point average spans two.
constexpr int kBracketReach = 3;

// Point i averaged with those of its five-point neighbours within
// kLocalReach, and their mean energy.
void localValue(const Spectrum& s, int i, double& E, double& v)
{
    const int a = std::max(0, i - kSmoothHalf);
    const int b = std::min(int(s.points.size()) - 1, i + kSmoothHalf);
    const double xi = pointX(s, i);
    double sx = 0, sy = 0;
    int n = 0;
    for (int j = a; j <= b; ++j) {
        const double x = pointX(s, j);
        if (std::fabs(x - xi) <= kLocalReach) {
            sx += x;
            sy += s.points[j].y();
            ++n;
        }
    }
    E = sx / n;
    v = sy / n;
}

// The slope at the middle of three points of a monotone curve through them
// (the weighted harmonic mean of the two secants, 0 where they disagree).
double monotoneSlope(double h0, double s0, double h1, double s1)
{
    if (!(s0 * s1 > 0))
        return 0.0;
    return 3 * (h0 + h1) / ((2 * h1 + h0) / s0 + (h1 + 2 * h0) / s1);
}

// Where the monotone cubic through (e1, d1) and (e2, d2), d1 < 0 <= d2,
// with slopes from the neighbours before and after where there are any,
// crosses 0; always between e1 and e2.
double monotoneCrossing(double e0, double d0, bool before, double e1, double d1, double e2,
                        double d2, double e3, double d3, bool after)
{
    const double h = e2 - e1, secant = (d2 - d1) / h;
    const double m1 = h * (before ? monotoneSlope(e1 - e0, (d1 - d0) / (e1 - e0), h, secant) : secant);
    const double m2 = h * (after ? monotoneSlope(h, secant, e3 - e2, (d3 - d2) / (e3 - e2)) : secant);
    auto at = [&](double t) {
        const double t2 = t * t, t3 = t2 * t;
        return (2 * t3 - 3 * t2 + 1) * d1 + (t3 - 2 * t2 + t) * m1 + (3 * t2 - 2 * t3) * d2
               + (t3 - t2) * m2;
    };
    // Monotone between the ends: halving finds the one crossing, to a
    // sixteen-millionth of the step.
    double lo = 0, hi = 1;
    for (int i = 0; i < 24; ++i) {
        const double t = 0.5 * (lo + hi);
        (at(t) < 0 ? lo : hi) = t;
    }
    return e1 + 0.5 * (lo + hi) * h;
}

// The crossing at fraction f between the pre and post lines (read along
// preAt and postAt), taken from the points around the chosen point kBest
// given the smoothed estimate.
double crossingBetweenPoints(const Spectrum& s, LineSweep& preAt, LineSweep& postAt, double f,
                             int kBest, double estimate)
{
    // On coarse steps the five-point average reaches far and, across an
    // asymmetric edge, lifts the values below the target: the crossing comes
    // out low, even below a point still under it. It is taken between the
    // points themselves: of the rising brackets among the points around the
    // chosen one, the one nearest the estimate.
    const int N = s.points.size();
    auto target = [&](double E) { return f * postAt(E) + (1 - f) * preAt(E); };
    const int first = std::max(0, kBest - kBracketReach);
    const int last = std::min(N - 1, kBest + kBracketReach);
    double e[2 * kBracketReach + 1], d[2 * kBracketReach + 1];
    for (int j = first; j <= last; ++j) {
        double v;
        localValue(s, j, e[j - first], v);
        d[j - first] = v - target(e[j - first]);
    }
    int bracket = -1;
    double nearest = HUGE_VAL;
    for (int j = 0; j + first < last; ++j) {
        // Points averaged with the same neighbours stand for one energy.
        if (!(d[j] < 0 && d[j + 1] >= 0) || !(e[j + 1] > e[j]))
            continue;
        const double distance = std::max({0.0, e[j] - estimate, estimate - e[j + 1]});
        if (distance < nearest) {
            nearest = distance;
            bracket = j;
        }
    }
    if (bracket < 0)
        return estimate;
    const int j = bracket;
    const double h = e[j + 1] - e[j];
    if (h <= 2 * kLocalReach)
        return std::min(std::max(e[j] - d[j] * h / (d[j + 1] - d[j]), e[j]), e[j + 1]);
    // Points standing alone several eV apart: a straight line between them
    // cuts the edge's bend (below a white line it reads low), so the curve
    // through them is followed with its neighbours' slopes, never turning
    // back between the two.
    const bool before = j > 0 && e[j] > e[j - 1];
    const bool after = j + 2 + first <= last && e[j + 2] > e[j + 1];
    return monotoneCrossing(before ? e[j - 1] : 0, before ? d[j - 1] : 0, before, e[j], d[j],
                            e[j + 1], d[j + 1], after ? e[j + 2] : 0, after ? d[j + 2] : 0, after);
}

// The energy a smoothed value stands for: the point's own where the points it
// averages are evenly spaced, else their mean energy (an extra point close to
// a grid point pulls the average towards its side of the grid).
double smoothedEnergy(const Spectrum& s, int i)
{
    const int a = std::max(0, i - kSmoothHalf);
    const int b = std::min(int(s.points.size()) - 1, i + kSmoothHalf);
    double lo = HUGE_VAL, hi = -HUGE_VAL, sum = 0;
    for (int j = a; j <= b; ++j) {
        sum += pointX(s, j);
        if (j > a) {
            const double step = pointX(s, j) - pointX(s, j - 1);
            lo = std::min(lo, step);
            hi = std::max(hi, step);
        }
    }
    if (b == a || hi - lo <= 1e-6 * std::fabs(hi))
        return pointX(s, i);
    return sum / (b - a + 1);
}

// The energy step between the smoothed values at points i and j > i: the
// mean step over all the points their averages span, so that a repeated or
// near-duplicate energy cannot make a rise steep per eV. On an even grid it
// is the grid step.
double smoothedStep(const Spectrum& s, int i, int j)
{
    const int a = std::max(0, i - kSmoothHalf);
    const int b = std::min(int(s.points.size()) - 1, j + kSmoothHalf);
    return (j - i) * (pointX(s, b) - pointX(s, a)) / (b - a);
}

DebugOnce noLineFit("XafsSpectrum: a pre- or post-edge line could not be fitted (too few "
                    "points, or Victoreen lines on energies of 0 or below): spectrum flagged "
                    "noisy, jump 0");
DebugOnce noCrossing("XafsSpectrum: no mid-line crossing inside the edge window: "
                     "spectrum flagged out of range, jump 0");
DebugOnce noMidCrossing("XafsSpectrum: the spectrum never crosses the middle between its lines: "
                        "spectrum flagged noisy, jump 0");
DebugOnce noStep("XafsSpectrum::findEnergyShift: step or minimum step not above 0, or step or "
                 "range not finite: no shift searched, 0 returned");
DebugOnce stepBelowMin("XafsSpectrum::findEnergyShift: step below the minimum step: "
                       "no shift searched, 0 returned");

}  // namespace

XafsSpectrum::XafsSpectrum()
{
    setParams(QStringLiteral("No Name"), SuggestElm());
}

XafsSpectrum::XafsSpectrum(const Spectrum& spectrum, const QString& name, int lineType,
                           double energyOffset, const SuggestElm& sElm)
    : Spectrum(spectrum)
{
    setParams(name, sElm);
    this->lineType = lineType;
    this->energyOffset = energyOffset;
    if (!points.isEmpty())
        calc(lineType);
}

void XafsSpectrum::setParams(const QString& name, const SuggestElm& sElm)
{
    fileKind = 1;
    this->name = name;
    lineType = 1;
    preStart = -1000;
    postEnd = 1000;
    takeSuggestion(sElm);
    energyOffset = 0;
    outOfRange = false;
    noisy = false;
    refusal = nullptr;
    midx = 0;
    dMut = 0;
}

namespace {

// A default curve that keeps the storage of its points.
void freshCurve(Spectrum& c)
{
    QVector<QPointF> keep;
    keep.swap(c.points);
    c = Spectrum();
    keep.resize(0);
    c.points.swap(keep);
}

void freshLine(VictLine& l)
{
    QVector<QPointF> keep, controls;
    keep.swap(l.points);
    controls.swap(l.controlPoints);
    l = VictLine();
    keep.resize(0);
    controls.resize(0);
    l.points.swap(keep);
    l.controlPoints.swap(controls);
}

}  // namespace

void XafsSpectrum::renew(const QString& name, int lineType, double energyOffset,
                         const SuggestElm& sElm)
{
    renewWith(name, lineType, energyOffset, sElm, true);
}

void XafsSpectrum::renewEdge(const QString& name, int lineType, double energyOffset,
                             const SuggestElm& sElm)
{
    renewWith(name, lineType, energyOffset, sElm, false);
}

void XafsSpectrum::renewWith(const QString& name, int lineType, double energyOffset,
                             const SuggestElm& sElm, bool curves)
{
    // What a copy of a fresh spectrum holds besides its points.
    kind = true;
    smoothed.resize(0);
    xShiftOn = false;
    xShift = 0;
    spare = 0;
    freshLine(pre);
    freshLine(post);
    for (Spectrum* c : {&i0Curve, &iCurve, &postBaseCurve, &doubleNormalizedPostBaseCurve,
                        &normalizedCurve, &doubleNormalizedPreBaseCurve})
        freshCurve(*c);
    fraction = 0.5;
    setParams(name, sElm);
    this->lineType = lineType;
    this->energyOffset = energyOffset;
    if (!points.isEmpty())
        normalise(lineType, true, curves);
}

void XafsSpectrum::recalc(int lineType)
{
    if (!points.isEmpty())
        calc(lineType);
}

void XafsSpectrum::takeSuggestion(const SuggestElm& sElm)
{
    suggest = sElm;
    preEnd = sElm.useWindow ? sElm.preOffset : -10;
    postStart = sElm.useWindow ? sElm.postOffset : 10;
}

void XafsSpectrum::normaliseUnder(const SuggestElm& sElm, int lineType)
{
    takeSuggestion(sElm);
    this->lineType = lineType;
    recalc(lineType);
}

bool XafsSpectrum::sameNormalisation(const SuggestElm& a, int lineA, const SuggestElm& b,
                                     int lineB)
{
    if ((lineA == 0) != (lineB == 0) || a.useWindow != b.useWindow)
        return false;
    // Without the window the suggestion takes no part.
    return !a.useWindow
           || (a.edgeEnergy == b.edgeEnergy && a.preOffset == b.preOffset
               && a.postOffset == b.postOffset && a.noiseFactor == b.noiseFactor);
}

double XafsSpectrum::setFraction(double f)
{
    fraction = f;
    return energyAtFraction(f);
}

void XafsSpectrum::calc(int lineType)
{
    normalise(lineType, true);
}

void XafsSpectrum::calcAsMeasured(int lineType)
{
    normalise(lineType, false);
}

void XafsSpectrum::normalise(int lineType, bool passOverIsolated, bool curves)
{
    double guess, travel, steep;
    bool fitted, crossed;
    locateEdge(lineType, guess, fitted, crossed);
    if (curves)
        fillCurves(travel, steep);
    else
        stepsOf(*this, travel, steep);
    if (passOverIsolated && locateEdgeMended(lineType, travel, steep, guess, fitted, crossed)
        && curves)
        fillCurves(travel, steep);
    judge(guess, fitted, crossed);
}

// A dropout or a zinger, a few points that stand apart from both sides,
// would make its recovery the steepest rise or bend a line: the edge search
// and the line fits read those points as the line between their neighbours.
// The curves keep the points as measured. Searched for after the usual path
// (the steps come with the curves, at no cost), which is taken again on the
// mended points when there are any.
bool XafsSpectrum::locateEdgeMended(int lineType, double travel, double steep, double& guess,
                                    bool& fitted, bool& crossed)
{
    std::vector<unsigned char> marks;
    if (!isolated::markIsolated(*this, travel, steep, marks))
        return false;
    QVector<QPointF> measured = points;
    isolated::mendMarked(*this, marks, measured);
    locateEdge(lineType, guess, fitted, crossed);
    // A wider peak near the edge found may be its white line or a pre-edge
    // peak: read as measured, and the edge found again when there was one.
    bool left = false;
    if (isolated::keepPeaksNearEdge(*this, midx, marks, left)) {
        isolated::mendMarked(*this, marks, measured);
        locateEdge(lineType, guess, fitted, crossed);
    }
    points.swap(measured);
    if (left)
        isolated::notePassedOver();
    return true;
}

void XafsSpectrum::locateEdge(int lineType, double& guess, bool& fitted, bool& crossed)
{
    smooth(kSmoothHalf);
    const int N = points.size();

    // First E0 guess: the steepest rise per eV of the smoothed values, limited
    // to the suggested window when it is in use.
    int s = 0;
    int e = N - 1;
    bool search = true;
    const double lo = suggest.edgeEnergy + suggest.preOffset;
    const double hi = suggest.edgeEnergy + suggest.postOffset;
    if (suggest.useWindow) {
        if (N <= 1) {
            search = false;
        } else {
            auto mid = [this](int i) { return (pointX(*this, i) + pointX(*this, i + 1)) / 2; };
            if (mid(0) > lo) {
                s = 0;
            } else {
                s = N - 1;
                for (int i = 1; i <= N - 2; ++i) {
                    if (mid(i) > lo) {
                        s = i;
                        break;
                    }
                }
            }
            if (mid(0) > hi) {
                search = false;
            } else {
                e = N - 1;
                for (int i = 1; i <= N - 2; ++i) {
                    if (mid(i) > hi) {
                        e = i;
                        break;
                    }
                }
            }
        }
    }
    int guessIndex = 0;
    if (search && e > s) {
        SteepestRise steepest;
        for (int i = s; i < e; ++i)
            steepest.offer(i, smoothed[i + 1] - smoothed[i], smoothedStep(*this, i, i + 1));
        guessIndex = std::max(0, steepest.found());
    }
    guess = xAt(guessIndex);

    midx = guess;
    fitted = fitPrePost(guess, lineType);
    fraction = 0.5;
    double crossing = guess;
    crossed = crossingAt(0.5, crossing);
    midx = crossing;
    dMut = post.value(midx) - pre.value(midx);
}

void XafsSpectrum::fillCurves(double& travel, double& steep)
{
    const int N = points.size();
    Spectrum* curves[4] = {&normalizedCurve, &doubleNormalizedPreBaseCurve, &postBaseCurve,
                           &doubleNormalizedPostBaseCurve};
    for (Spectrum* c : curves) {
        c->clear();
        c->points.reserve(N);
    }
    LineSweep preAt(pre), postAt(post);
    for (int i = 0; i < N; ++i) {
        const double E = pointX(*this, i);
        const double mu = points[i].y();
        const double p = preAt(E);
        const double q = postAt(E);
        const double postBase = (mu - q) / dMut;
        normalizedCurve.append(E, postBase + 1);
        doubleNormalizedPreBaseCurve.append(E, (mu - p) / (q - p));
        postBaseCurve.append(E, postBase);
        doubleNormalizedPostBaseCurve.append(E, (mu - q) / (q - p));
    }
    stepsOf(*this, travel, steep);
}

void XafsSpectrum::judge(double guess, bool fitted, bool crossed)
{
    const double lo = suggest.edgeEnergy + suggest.preOffset;
    const double hi = suggest.edgeEnergy + suggest.postOffset;
    outOfRange = false;
    noisy = false;
    refusal = nullptr;
    if (suggest.useWindow) {
        const bool noiseTest = pre.sigma * suggest.noiseFactor > dMut
                               && post.sigma * suggest.noiseFactor > dMut;
        // Without a crossing midx is the first guess, which the window itself
        // chose: no evidence of an edge inside it.
        if (crossed && lo <= midx && midx <= hi) {
            if (noiseTest) {
                noisy = true;
                refusal = "the edge jump is below the line residuals times the noise factor";
                midx = suggest.edgeEnergy;
                dMut = 0;
            }
        } else {
            if (!crossed)
                noCrossing();
            outOfRange = true;
            noisy = noiseTest;
            refusal = "no mid-line crossing inside the suggested edge window";
            midx = suggest.edgeEnergy;
            dMut = 0;
        }
    }
    // Without the window nothing else places the edge: a spectrum that never
    // crosses the middle between its lines has no E0 to give.
    if (!suggest.useWindow && !crossed) {
        noMidCrossing();
        noisy = true;
        refusal = "the spectrum never crosses the middle between its lines";
        midx = guess;
        dMut = 0;
    }
    // A line fitted to no points reads 0 (or a single value), and the jump
    // would be the whole absorption level.
    if (!fitted) {
        noLineFit();
        noisy = true;
        refusal = "no pre- or post-edge line could be fitted";
        // A suggestion not in use is no evidence of where this edge is: the
        // guess at least is an energy of the spectrum.
        midx = suggest.useWindow ? suggest.edgeEnergy : guess;
        dMut = 0;
    }
}

namespace {

// The last point of a scan counts in the post-edge line (on a sparse list it
// may be one of two or three there) unless it is an outlier of the line
// fitted without it: further from it than kLastOutlier times the spread
// expected of a new point (the residuals' scatter, widened for the
// extrapolation), judged only where the points before it are enough to
// measure a scatter.
constexpr double kLastOutlier = 4.0;
constexpr int kLastJudgedDof = 4;

// A post-edge range of this many points or fewer is a short list's: its
// first points, dense through the edge, lie on the white line's tail and
// the few beyond come 15 eV or more apart. Weighed alike, the cluster
// would tilt the line; each point weighs the energy it stands for, as a
// finely sampled scan's do. Longer ranges keep every point alike.
constexpr int kFewPostPoints = 8;

// Judged from the line fitted with the point, by the identities of a least-
// squares fit left one point short: its distance from the line without it is
// its residual over 1 - h, h its leverage (that of a straight line in E, for
// a Victoreen line too), and the others' squared residuals sum to that of
// all less the point's squared over 1 - h.
bool lastPointIsOutlier(const VictLine& line, const Spectrum& s)
{
    const int N = s.points.size();
    const int n = line.fitCount;
    const int dof = n - 1 - (line.lineType == 0 ? 3 : 2);
    if (N == 0 || dof < kLastJudgedDof || !(line.fitSpreadE > 0))
        return false;
    const double xl = pointX(s, N - 1);
    const double h = 1.0 / n + (xl - line.fitMeanE) * (xl - line.fitMeanE) / line.fitSpreadE;
    if (!(h < 1))
        return false;
    const double r = s.points[N - 1].y() - line.baseValue(xl);
    const double rest = std::max(0.0, line.sigma * line.sigma * n - r * r / (1 - h));
    const double off = std::fabs(r) / (1 - h);
    const double expected = std::sqrt(rest / dof / (1 - h));
    // Exact lines (no scatter at all) have no outliers but rounding.
    return !(off <= kLastOutlier * expected + 1e-9 * std::fabs(line.baseValue(xl)));
}

}  // namespace

bool XafsSpectrum::fitPrePost(double E0, int lineType)
{
    // The gap below must compare the fresh fits, not a correction curve left
    // from the previous calc.
    pre.correctionOn = false;
    post.correctionOn = false;
    const int N = points.size();
    const bool okPre = pre.fit(*this, xAt(0), E0 + preEnd, lineType);
    const double postFrom = E0 + postStart, postTo = xAt(N - 1);
    bool okPost = post.fit(*this, postFrom, postTo, lineType, true);
    const bool withLast = !(okPost && lastPointIsOutlier(post, *this));
    if (!withLast)
        okPost = post.fit(*this, postFrom, postTo, lineType);
    if (okPost && post.fitCount <= kFewPostPoints)
        okPost = post.fit(*this, postFrom, postTo, lineType, withLast, true);
    // Two points, 15 eV apart on a short list's first oscillations, give any
    // slope those oscillations have (Cu foil: the jump a third off, E0
    // 3.5 eV high): the line keeps the pre-edge line's slope, flat once
    // normalised, at the two points' mean level.
    if (okPost && okPre && lineType != 0 && post.fitCount == 2)
        okPost = post.fitLevel(*this, postFrom, postTo, pre.k, withLast);

    // A post-edge line below the pre-edge line would give a negative jump:
    // move them apart so the post line ends a tenth of the gap above.
    const double gap = post.value(E0) - pre.value(E0);
    if (gap < 0) {
        const double m = 0.55 * std::fabs(gap);
        pre.c0 -= m;
        pre.d -= m;
        post.c0 += m;
        post.d += m;
    }
    pre.correctWithPost(post);
    post.correctWithPre(pre);
    return okPre && okPost;
}

// E0 at fraction f: the spectrum crossing f of the way from the pre line to
// the post line. The smoothed spectrum chooses the crossing (the qualifying
// point steepest per eV) and estimates it from the three pairwise zero
// crossings around that point; the crossing itself is then taken between the
// two measured points nearest that estimate whose values bracket the target,
// each averaged only with close neighbours (see localValue). Without a
// qualifying point (flat or noisy data, fewer than three points) the current
// midx stands; in calc that is the steepest-rise guess.
double XafsSpectrum::energyAtFraction(double f) const
{
    double E = midx;
    crossingAt(f, E);
    return E;
}

bool XafsSpectrum::crossingAt(double f, double& result) const
{
    const int N = points.size();
    if (smoothed.size() != N) {
        qDebug() << "XafsSpectrum::energyAtFraction: spectrum not smoothed";
        return false;
    }
    LineSweep preAt(pre), postAt(post);
    auto target = [&](double E) { return f * postAt(E) + (1 - f) * preAt(E); };

    // The smoothed value at a point's own energy. On strictly rising energies
    // the bisection of smoothedY always lands on the segment starting at that
    // point, so evaluate that segment directly; otherwise bisect.
    const bool rising = strictlyRising(*this);
    auto smoothedAtPoint = [&](int j) {
        if (!rising)
            return smoothedY(pointX(*this, j));
        if (N == 1)
            return smoothed[0];
        const int a = (j < N - 1) ? j : N - 2;
        return lineAt(pointX(*this, a), smoothed[a], pointX(*this, a + 1), smoothed[a + 1],
                      pointX(*this, j));
    };

    SteepestRise steepest;
    // Each smoothed value is worked out once and rolled along.
    double sa = N >= 3 ? smoothedAtPoint(0) : 0.0;
    double sb = N >= 3 ? smoothedAtPoint(1) : 0.0;
    for (int i = 1; i <= N - 2; ++i) {
        const double t = target(pointX(*this, i));
        const double sc = smoothedAtPoint(i + 1);
        if (sa < t && t < sc)
            steepest.offer(i, sc - sa, smoothedStep(*this, i - 1, i + 1));
        sa = sb;
        sb = sc;
    }
    const int kBest = steepest.found();
    if (kBest < 1)
        return false;

    double E[3];
    double dv[3];
    for (int j = 0; j < 3; ++j) {
        E[j] = smoothedEnergy(*this, kBest - 1 + j);
        dv[j] = target(E[j]) - smoothedAtPoint(kBest - 1 + j);
    }
    // The crossing lies between the neighbours on either side of the target
    // at the chosen point; the qualifying test makes a below and c above it.
    const double tb = target(E[1]);
    const double eb = tb - smoothedAtPoint(kBest);
    const int lo = eb > 0 ? 1 : 0;
    static const int pairs[3][2] = {{0, 1}, {1, 2}, {0, 2}};
    double sum = 0;
    int count = 0;
    for (const auto& pr : pairs) {
        const int p = pr[0], q = pr[1];
        const double den = dv[p] - dv[q];
        if (den == 0)
            continue;
        const double z = E[p] + dv[p] * (E[q] - E[p]) / den;
        if (!std::isfinite(z))
            continue;
        sum += z;
        ++count;
    }
    // The mean of the three crossings, unless a pair of nearly equal
    // distances (flat data) throws its crossing beyond the bracket: then the
    // bracketing pair's own crossing.
    const double mean = count > 0 ? sum / count : E[1];
    double estimate;
    if (E[lo] <= mean && mean <= E[lo + 1]) {
        estimate = mean;
    } else {
        const double p = tb - smoothedAtPoint(kBest - 1 + lo);
        const double q = tb - smoothedAtPoint(kBest + lo);
        const double z = (p - q != 0) ? E[lo] + p * (E[lo + 1] - E[lo]) / (p - q) : E[lo];
        estimate = std::min(std::max(z, E[lo]), E[lo + 1]);
    }

    result = crossingBetweenPoints(*this, preAt, postAt, f, kBest, estimate);
    return true;
}

double XafsSpectrum::doubleNormalizedPreBase(double E) const
{
    if (std::isnan(E))
        qDebug() << "nan EeV in XafsSpectrum::doubleNormalizedPreBase";
    return doubleNormalizedPreBaseCurve.y(E);
}

double XafsSpectrum::correlation(double shift, const XafsSpectrum& reference) const
{
    return correlationWith(shift, reference, strictlyRising(reference.doubleNormalizedPreBaseCurve));
}

// The score with the reference curve read in one sweep: this spectrum's
// energies rise, so each lookup starts from the previous segment. On strictly
// rising reference energies that segment is the one Spectrum::y bisects to,
// so the values are the same; otherwise every lookup bisects.
double XafsSpectrum::correlationWith(double shift, const XafsSpectrum& reference,
                                     bool referenceRising) const
{
    const int N = points.size();
    if (N == 0)
        return 0.0;
    const Spectrum& curve = reference.doubleNormalizedPreBaseCurve;
    const Spectrum& own = doubleNormalizedPreBaseCurve;
    const int M = curve.points.size();
    const int nOwn = own.points.size();
    const bool sweep = referenceRising && M >= 2;
    int hint = 0;
    double saa = 0, sbb = 0, sab = 0;
    for (int i = 0; i < N; ++i) {
        const double a = i < nOwn ? own.points[i].y() : 0.0;
        const double E = pointX(*this, i) - shift;
        if (E < reference.minX || E > reference.maxX)
            continue;
        const double b = (sweep && !std::isnan(E)) ? valueOnRising(curve, E, hint)
                                                   : reference.doubleNormalizedPreBase(E);
        saa += a * a;
        sbb += b * b;
        sab += a * b;
    }
    if (!(saa > 0) || !(sbb > 0))
        return 0.0;
    return sab / std::sqrt(saa * sbb);
}

double XafsSpectrum::findEnergyShift(const XafsSpectrum& reference, double range, double step,
                                     double minStep) const
{
    // A step that is zero (an empty form field), negative or not finite would
    // never finish the scan or the refinement; an endless range has no shift.
    if (!(step > 0) || !(minStep > 0) || !std::isfinite(step) || !std::isfinite(range)) {
        noStep();
        return 0.0;
    }
    if (step < minStep) {
        stepBelowMin();
        return 0.0;
    }
    const double centre = midx - reference.midx;
    const bool rising = strictlyRising(reference.doubleNormalizedPreBaseCurve);
    double best = -1e300;
    double result = 0;
    while (step >= minStep) {
        for (double d = -range; d <= range;) {
            const double c = correlationWith(centre + d, reference, rising);
            if (c > best) {
                best = c;
                result = centre + d;
            }
            const double next = d + step;
            if (next == d)  // the step is lost against a huge range
                break;
            d = next;
        }
        step *= 0.1;
        range *= 0.1;
    }
    return result;
}

// ---- Files ----------------------------------------------------------------

namespace {

// The readers take every field as a number; inf or nan would make a line
// unreadable (or a whole file, where the refused lines give them everywhere).
inline double finiteOr0(double v)
{
    return std::isfinite(v) ? v : 0.0;
}

// One line of a spectrum file: the energy and up to three values (mu, I0, I).
struct FileRow {
    double E;
    double v[3];
};

// The normalisation needs ascending energies; scans recorded downwards, swapped
// neighbours and repeated energies are put right here. Rows are sorted stably
// and rows of equal energy averaged. Rows already strictly ascending (the
// usual case) are left exactly as read. Returns false when nothing changed.
bool ascendingRows(QVector<FileRow>& rows, const QString& file)
{
    const int n = rows.size();
    bool ascending = true;
    for (int i = 1; i < n && ascending; ++i)
        ascending = rows[i].E > rows[i - 1].E;
    if (ascending)
        return false;
    std::stable_sort(rows.begin(), rows.end(),
                     [](const FileRow& a, const FileRow& b) { return a.E < b.E; });
    int out = 0;
    for (int i = 0; i < n;) {
        int j = i + 1;
        FileRow sum = rows[i];
        while (j < n && rows[j].E == rows[i].E) {
            for (int c = 0; c < 3; ++c)
                sum.v[c] += rows[j].v[c];
            ++j;
        }
        for (int c = 0; c < 3; ++c)
            sum.v[c] /= (j - i);
        rows[out++] = sum;
        i = j;
    }
    qDebug().noquote() << "Spectrum file" << file << "not in ascending energy: sorted,"
                       << n - out << "points of repeated energy averaged";
    rows.resize(out);
    return true;
}

}  // namespace

bool XafsSpectrum::load(const QString& file)
{
    qDebug().noquote() << "loading in xafs spectrum" << file;
    const int kind = isFile9809(file) ? 0 : 1;
    bool ok;
    if (kind == 1) {
        qDebug() << "mute";
        ok = readMuT(file);
    } else {
        qDebug() << "9809";
        ok = read9809(file);
    }
    if (ok)
        fileKind = kind;
    return ok;
}

bool XafsSpectrum::loadAndCalc(const QString& file)
{
    const bool ok = load(file);
    if (ok && !points.isEmpty()) {
        calc(lineType);
        noteIfRefused(file);
    }
    return ok;
}

bool XafsSpectrum::refused() const
{
    return noisy || outOfRange;
}

QString XafsSpectrum::refusalText() const
{
    if (!refused())
        return QString();
    if (refusal)
        return QString::fromLatin1(refusal);
    return QString::fromLatin1(outOfRange ? "out of range" : "noisy");
}

bool XafsSpectrum::noteIfRefused(const QString& file) const
{
    if (!refused())
        return false;
    qDebug().noquote() << "Spectrum file" << file << "refused:" << refusalText()
                       << "(E0 not found, jump 0)";
    return true;
}

bool XafsSpectrum::isFile9809(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream in(&f);
    return startsWith9809(in);
}

bool XafsSpectrum::startsWith9809(QTextStream& in)
{
    in.seek(0);
    QString first;
    return readTextLine(in, first) && first.simplified().left(4) == QLatin1String("9809");
}

bool XafsSpectrum::read9809(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug().noquote() << "Cannot open" << file;
        return false;
    }
    QTextStream in(&f);
    QVector<FileRow> rows;
    double D = PhysConst::defaultD;
    bool header = true;
    QString line;
    while (!in.atEnd()) {
        if (!readTextLine(in, line)) {
            qDebug().noquote() << "Spectrum file" << file << "refused: a line longer than" << maxTextLineChars << "characters";
            return false;
        }
        const QStringList items = line.simplified().split(QLatin1Char(' '));
        if (header) {
            for (int j = 0; j + 1 < items.size(); ++j) {
                if (items[j] != QLatin1String("D="))
                    continue;
                // A spacing of 0 or text would make every energy infinite.
                const double v = items[j + 1].toDouble();
                if (v > 0 && std::isfinite(v))
                    D = v;
            }
            if (items[0] == QLatin1String("Offset"))
                header = false;
            continue;
        }
        if (items.size() <= 4)
            continue;
        const double theta = items[1].toDouble();
        const double I0 = items[3].toDouble();
        const double I = items[4].toDouble();
        const double E = PhysConst::hc / (2 * D * std::sin(theta * PhysConst::pi / 180));
        const double m = (I0 * I > 0) ? std::log(I0 / I) : 1.0;
        if (!std::isfinite(E) || !std::isfinite(m))
            continue;
        rows.append(FileRow{E, {m, I0, I}});
    }
    ascendingRows(rows, file);
    Spectrum mu, i0, i1;
    for (const FileRow& r : qAsConst(rows)) {
        mu.append(r.E, r.v[0]);
        i0.append(r.E, r.v[1]);
        i1.append(r.E, r.v[2]);
    }
    takePoints(mu);
    i0Curve = i0;
    iCurve = i1;
    return true;
}

bool XafsSpectrum::readMuT(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug().noquote() << "Cannot open" << file;
        return false;
    }
    QTextStream in(&f);
    QVector<FileRow> rows;
    int worded = 0;
    QString line;
    while (!in.atEnd()) {
        if (!readTextLine(in, line)) {
            qDebug().noquote() << "Spectrum file" << file << "refused: a line longer than" << maxTextLineChars << "characters";
            return false;
        }
        const QStringList items = line.simplified().split(QLatin1Char(' '));
        if (items.size() <= 1 || items[0].startsWith(QLatin1Char('#')))
            continue;
        // A column title such as "Energy mu" would otherwise read as a point at 0 eV.
        bool okE = false, okM = false;
        const double E = items[0].toDouble(&okE);
        const double m = items[1].toDouble(&okM);
        if (!okE || !okM) {
            ++worded;
            continue;
        }
        if (!std::isfinite(E) || !std::isfinite(m))
            continue;
        rows.append(FileRow{E, {m, 0, 0}});
    }
    if (worded > 0)
        qDebug().noquote() << "Spectrum file" << file << ":" << worded
                           << "lines whose first two items are not numbers skipped";
    if (rows.isEmpty()) {
        qDebug().noquote() << "No spectrum points in" << file;
        return false;
    }
    ascendingRows(rows, file);
    Spectrum mu;
    mu.points.reserve(rows.size());
    for (const FileRow& r : qAsConst(rows))
        mu.append(r.E, r.v[0]);
    takePoints(mu);
    // Intensities of an earlier angle file do not belong to this spectrum.
    i0Curve = Spectrum();
    iCurve = Spectrum();
    return true;
}

bool XafsSpectrum::save(const QString& file, bool subtractOffset) const
{
    const QString why =
        SafeWrite::toFile(file, [&](QIODevice& out) { return write(out, subtractOffset); }, true);
    if (!why.isEmpty()) qDebug().noquote() << "Cannot write" << file << ":" << why;
    return why.isEmpty();
}

bool XafsSpectrum::write(QIODevice& device, bool subtractOffset) const
{
    QTextStream out(&device);
    out << "###Corvenlith::XafsSpectrum\n";
    out << "# midx    : " << finiteOr0(midx) << "\n";
    out << "# dMut    : " << finiteOr0(dMut) << "\n";
    out << "# pre   vic : " << finiteOr0(pre.c0) << " " << finiteOr0(pre.k) << " "
        << finiteOr0(pre.c1) << " " << finiteOr0(pre.c2) << "\n";
    out << "# poste vic : " << finiteOr0(post.c0) << " " << finiteOr0(post.k) << " "
        << finiteOr0(post.c1) << " " << finiteOr0(post.c2) << "\n";
    // A refused spectrum has no normalised curve: its column reads 0, and
    // the comment line says why.
    const bool refusedNow = refused();
    out << "#";
    if (refusedNow)
        out << " refused : " << refusalText();
    out << "\n";
    out << "# x  double-normalized-pre-base y pre post\n";
    const int N = points.size();
    const int nd = refusedNow ? 0 : doubleNormalizedPreBaseCurve.points.size();
    for (int i = 0; i < N; ++i) {
        const double E = xAt(i);
        out << (subtractOffset ? E - energyOffset : E) << "\t"
            << finiteOr0(i < nd ? doubleNormalizedPreBaseCurve.yAt(i) : 0.0) << "\t" << finiteOr0(yAt(i))
            << "\t" << finiteOr0(pre.value(E)) << "\t" << finiteOr0(post.value(E)) << "\n";
    }
    out.flush();
    return out.status() == QTextStream::Ok;
}
