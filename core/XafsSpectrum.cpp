#include "XafsSpectrum.h"

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
            if (lo + 2 <= M - 1 && pointX(s, lo + 1) <= E && E < pointX(s, lo + 2)) {
                ++lo;
            } else {
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

// The grid step below which a run standing apart is narrower than any
// absorption feature: none is narrower than the core hole's width and the
// monochromator's resolution together, 1 to 2 eV, so on such steps a feature
// spans more points than a run of one to three, whose neighbours' lines then
// bend with it. On 1.5 eV steps one point may be a white line.
constexpr double kFeatureStep = 1.25;

// How far from their edge pre-edge peaks (below) and white lines, those of a
// second species in the sample too (above), lie, in eV.
constexpr double kPeaksBelow = 16, kPeaksAbove = 25;

// Marks of the search: a run narrower than any feature; a wider one below
// both neighbours (the narrow features of absorption are peaks, not dips); a
// wider one above them, which may be a white line or a pre-edge peak.
enum Mark : unsigned char { kNone, kNarrow, kWideDip, kWidePeak };

struct Limits {
    double narrow;  // least distance of a narrow run from its neighbours' lines
    double wide;    // of a wider one from its neighbours
    double level;   // most that each pair of neighbours may differ
    double slack;   // what comparisons of lines through noisy neighbours allow
};

// Points that stand apart from both sides: a run of one to three points on
// steps finer than kFeatureStep, or of one or two on coarser steps, all
// beyond both neighbours on one side and on that side of the line through
// the two points before the run and of the line through the two after it,
// where those lines agree. A narrow run stands further than its limit from
// both lines, which an edge's rise under it follows; a wider one from both
// neighbours, and each pair of neighbours is level besides; all compared
// give or take the slack (the noise). A feature of the spectrum bends its
// neighbours' lines or lifts its neighbours with it; a rise that stays up
// (an edge, however coarse the grid) has a neighbour as high as itself or
// leaves the two lines apart. Marks are set in `marks` when given; else the
// first find ends the search.
bool findIsolated(const Spectrum& s, const Limits& lim, unsigned char* marks)
{
    // How far the neighbours' lines may disagree, and each pair of neighbours
    // differ, as a fraction of the run's distance from them or their lines.
    constexpr double kAgree = 0.3;
    const int N = s.points.size();
    const QPointF* p = s.points.constData();
    const double lowest = std::min(lim.narrow, lim.wide);
    bool any = false;
    for (int i = 1; i + 1 <= N - 1; ++i) {
        // Apart from the neighbour before first: nearly every point ends here.
        const double first = p[i].y() - p[i - 1].y();
        if (!(std::fabs(first) > lowest))
            continue;
        const bool up = first > 0;
        for (int L = 1; L <= 3 && i + L <= N - 1; ++L) {
            // At either end of the spectrum one pair of neighbours is all
            // there is: the lone neighbour must lie on that pair's line.
            const int a = i - 2, b = i - 1, c = i + L, d = i + L + 1;
            const bool before = a >= 0, after = d <= N - 1;
            if (!before && !after)
                break;
            // The run's first point beyond the neighbour after it: on an
            // edge's rise nearly every run ends here.
            if ((p[i].y() - p[c].y() > 0) != up)
                continue;
            const double xb = pointX(s, b), yb = p[b].y(), xc = pointX(s, c), yc = p[c].y();
            const double xa = before ? pointX(s, a) : xb, ya = before ? p[a].y() : yb;
            const double xd = after ? pointX(s, d) : xc, yd = after ? p[d].y() : yc;
            const bool narrow = xc - xb < (L + 1) * kFeatureStep;
            if (!narrow && L == 3)
                break;
            const double least = narrow ? lim.narrow : lim.wide;
            if (!(std::fabs(first) > least))
                continue;
            // A narrow run is measured from its neighbours' lines, which an
            // edge's rise under it follows; a wider one from the neighbours.
            double m = HUGE_VAL;
            double disagree = before && after ? 0.0
                              : before        ? std::fabs(yc - lineAt(xa, ya, xb, yb, xc))
                                              : std::fabs(yb - lineAt(xc, yc, xd, yd, xb));
            bool apart = true;
            for (int j = i; j < i + L && apart; ++j) {
                const double xj = pointX(s, j), yj = p[j].y();
                const double nb = yj - yb, nc = yj - yc;
                apart = (nb > 0) == up && (nc > 0) == up;
                const double pl = before ? lineAt(xa, ya, xb, yb, xj) : 0.0;
                const double pr = after ? lineAt(xc, yc, xd, yd, xj) : 0.0;
                if (before)
                    apart = apart && (yj > pl) == up && yj != pl;
                if (after)
                    apart = apart && (yj > pr) == up && yj != pr;
                if (!narrow)
                    m = std::min({m, std::fabs(nb), std::fabs(nc)});
                else
                    m = std::min({m, before ? std::fabs(yj - pl) : HUGE_VAL,
                                  after ? std::fabs(yj - pr) : HUGE_VAL});
                if (before && after)
                    disagree = std::max(disagree, std::fabs(pl - pr));
            }
            const double rise = std::max(std::fabs(yb - ya), std::fabs(yd - yc));
            if (!apart || !(m > least) || !(disagree < kAgree * m + lim.slack)
                || !(narrow || rise < std::min(kAgree * m, lim.level) + lim.slack))
                continue;
            if (!marks)
                return true;
            any = true;
            const Mark mark = narrow ? kNarrow : up ? kWidePeak : kWideDip;
            for (int j = i; j < i + L; ++j)
                marks[j] = marks[j] == kNarrow ? kNarrow : mark;
        }
    }
    return any;
}

// The least distances at which points count as standing apart: well above
// the spectrum's own point-to-point noise (robust, from each inner point's
// distance to the line through its neighbours) and never below `floor`,
// which the caller's cheap first search used; a wider run besides beyond
// `wideFloor` and a good part of the spread (from the 5th to the 95th
// percentile, which a few points cannot move), as a single point of a coarse
// grid is told from the curve's own bends by its size alone. Neighbours
// differing by more than a sixth of the spread are on an edge; the slack is
// three times the noise.
Limits isolationLimits(const Spectrum& s, double floor, double wideFloor)
{
    const int N = s.points.size();
    std::vector<double> v;
    v.reserve(N);
    // Values that are not numbers have no order to take a median in.
    for (int i = 1; i + 1 < N; ++i) {
        const double y = s.points[i].y();
        const double r = std::fabs(y - lineAt(pointX(s, i - 1), s.points[i - 1].y(),
                                              pointX(s, i + 1), s.points[i + 1].y(), pointX(s, i)));
        if (std::isfinite(r))
            v.push_back(r);
    }
    double noise = 0;
    if (!v.empty()) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        // The median absolute residual of normal noise, per point: the line
        // through the neighbours adds half their variance.
        noise = 1.4826 * v[v.size() / 2] / std::sqrt(1.5);
    }
    v.clear();
    for (int i = 0; i < N; ++i) {
        if (std::isfinite(s.points[i].y()))
            v.push_back(s.points[i].y());
    }
    if (v.empty())
        return {HUGE_VAL, HUGE_VAL, 0, 0};
    const int n = int(v.size());
    const int lo = (n - 1) / 20, hi = n - 1 - lo;
    std::nth_element(v.begin(), v.begin() + lo, v.end());
    const double low = v[lo];
    std::nth_element(v.begin(), v.begin() + hi, v.end());
    const double spread = v[hi] - low;
    return {std::max(floor, 8 * noise), std::max({wideFloor, 8 * noise, 0.3 * spread}),
            spread / 6, 3 * noise};
}

// Marks the points standing apart (see findIsolated) of a spectrum whose
// steps add up to `travel`, the largest `steep`; false, with nothing worked
// out, when no step is steep enough for a point to stand apart.
bool markIsolated(const Spectrum& s, double travel, double steep,
                  std::vector<unsigned char>& marks)
{
    const int N = s.points.size();
    if (N < 5)
        return false;
    // Seven mean steps: just under eight times the noise of a noisy
    // spectrum, whose steps are nearly all noise, and so below the least
    // distance the noise sets, but beyond what its steps reach. A run
    // standing apart needs a step into it beyond that, which few clean
    // spectra have; a wider run a step beyond a twentieth of the way the
    // spectrum travels up and down too.
    const double floor = travel * 7.0 / (N - 1);
    if (!(floor > 0) || !(steep > floor)
        || !findIsolated(s, {floor, floor, HUGE_VAL, HUGE_VAL}, nullptr))
        return false;
    const Limits lim = isolationLimits(s, floor, std::max(floor, 0.05 * travel));
    marks.assign(N, kNone);
    return findIsolated(s, lim, marks.data());
}

DebugOnce isolatedPassedOver("XafsSpectrum: points standing apart from both neighbours (a "
                              "dropout, a zinger) read as the line between them for E0 and "
                              "the jump");
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

// Marked points read as the line between their nearest unmarked neighbours,
// from the points as measured.
void mendMarked(Spectrum& s, const std::vector<unsigned char>& marks,
                const QVector<QPointF>& measured)
{
    const int N = s.points.size();
    for (int j = 0; j < N; ++j) {
        if (!marks[j]) {
            s.points[j].setY(measured.at(j).y());
            continue;
        }
        int b = j - 1, c = j + 1;
        while (b >= 0 && marks[b])
            --b;
        while (c < N && marks[c])
            ++c;
        if (b < 0)
            b = c;
        if (c >= N)
            c = b;
        const QPointF l = measured.at(b), r = measured.at(c);
        s.points[j].setY(lineAt(pointX(s, b), l.y(), pointX(s, c), r.y(), pointX(s, j)));
    }
}

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
        calc(lineType);
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

void XafsSpectrum::normalise(int lineType, bool passOverIsolated)
{
    double guess, travel, steep;
    bool fitted, crossed;
    locateEdge(lineType, guess, fitted, crossed);
    fillCurves(travel, steep);
    if (passOverIsolated && locateEdgeMended(lineType, travel, steep, guess, fitted, crossed))
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
    if (!markIsolated(*this, travel, steep, marks))
        return false;
    QVector<QPointF> measured = points;
    mendMarked(*this, marks, measured);
    locateEdge(lineType, guess, fitted, crossed);
    // A wider peak near the edge found may be its white line or a pre-edge
    // peak: read as measured, and the edge found again when there was one.
    bool kept = false, left = false;
    for (int j = 0; j < int(marks.size()); ++j) {
        const double u = pointX(*this, j) - midx;
        if (marks[j] == kWidePeak && -kPeaksBelow <= u && u <= kPeaksAbove) {
            marks[j] = kNone;
            kept = true;
        }
        left = left || marks[j];
    }
    if (kept) {
        mendMarked(*this, marks, measured);
        locateEdge(lineType, guess, fitted, crossed);
    }
    points.swap(measured);
    if (left)
        isolatedPassedOver();
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
    // The steps from point to point ride along with the divisions.
    double sum = 0, top = 0, last = N > 0 ? points[0].y() : 0.0;
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
        const double step = std::fabs(mu - last);
        sum += step;
        top = step > top ? step : top;
        last = mu;
    }
    travel = sum;
    steep = top;
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

bool XafsSpectrum::fitPrePost(double E0, int lineType)
{
    // The gap below must compare the fresh fits, not a correction curve left
    // from the previous calc.
    pre.correctionOn = false;
    post.correctionOn = false;
    const int N = points.size();
    const bool okPre = pre.fit(*this, xAt(0), E0 + preEnd, lineType);
    const bool okPost = post.fit(*this, E0 + postStart, xAt(N - 1), lineType);

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

// E0 at fraction f: the smoothed spectrum crossing f of the way from the pre
// line to the post line, refined by the three pairwise zero crossings around
// the qualifying point steepest per eV. Without a qualifying point (flat or
// noisy data, fewer than three points) the current midx stands; in calc that
// is the steepest-rise guess.
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
    if (E[lo] <= mean && mean <= E[lo + 1]) {
        result = mean;
    } else {
        const double p = tb - smoothedAtPoint(kBest - 1 + lo);
        const double q = tb - smoothedAtPoint(kBest + lo);
        const double z = (p - q != 0) ? E[lo] + p * (E[lo + 1] - E[lo]) / (p - q) : E[lo];
        result = std::min(std::max(z, E[lo]), E[lo + 1]);
    }
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
