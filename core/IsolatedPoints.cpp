#include "IsolatedPoints.h"

#include "DebugOnce.h"

#include <algorithm>
#include <cmath>

namespace isolated {

namespace {

// Point access with the shift rule (i in range).
inline double pointX(const Spectrum& s, int i)
{
    const double x = s.points[i].x();
    return s.xShiftOn ? x - s.xShift : x;
}

// The grid step below which a run standing apart is narrower than any
// absorption feature. No peak is narrower than the core hole's width and the
// monochromator's resolution together, 1.5 to 2.5 eV at half height: on
// finer steps it spans several points and bends the lines through the
// neighbours of any run of one to three, while on 1 eV steps it may stand
// on one to three points alone.
constexpr double kFeatureStep = 0.75;
// Dips are no features of absorption but the valleys between a peak and a
// rise, whose neighbours differ as much as the valley is deep: a dip whose
// neighbours are level counts as narrow on steps up to this too, as a
// dropout read every 1 eV does.
constexpr double kDipStep = 1.25;

// How far from their edge pre-edge peaks (below) and white lines, those of a
// second species in the sample too (above), lie, in eV: a chemical shift
// reaches 12 eV (sulfide to sulfate). A wider run further above is a glitch,
// as on a step scan's first coarse steps.
constexpr double kPeaksBelow = 16, kPeaksAbove = 15;

struct Limits {
    double narrow;  // least distance of a narrow run from its neighbours' lines
    double wide;    // of a wider one from its neighbours
    double level;   // most that each pair of neighbours may differ
    double slack;   // what comparisons of lines through noisy neighbours allow
};

// Points that stand apart from both sides: a run of one to three points,
// all beyond both neighbours on one side and on that side of the line
// through the two points before the run and of the line through the two
// after it, where those lines agree. A narrow run (on steps finer than
// kFeatureStep, or a dip between level neighbours on steps finer than
// kDipStep) stands further than its limit from both lines, which an edge's
// rise under it follows; a wider one from both neighbours, and each pair of
// neighbours is level besides; all compared give or take the slack (the
// noise). A feature of the spectrum bends its neighbours' lines or lifts its
// neighbours with it; a rise that stays up (an edge, however coarse the
// grid) has a neighbour as high as itself or leaves the two lines apart.
// Marks are set in `marks` when given; else the first find ends the search.
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
            const bool fine = xc - xb < (L + 1) * kFeatureStep;
            const bool narrow = fine || (!up && xc - xb < (L + 1) * kDipStep);
            const double least = narrow ? lim.narrow : lim.wide;
            if (!(std::fabs(first) > least))
                continue;
            // A narrow run is measured from its neighbours' lines, which an
            // edge's rise under it follows; a wider one from the neighbours.
            double m = HUGE_VAL, deepest = 0;
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
                else {
                    const double own = std::min(before ? std::fabs(yj - pl) : HUGE_VAL,
                                                after ? std::fabs(yj - pr) : HUGE_VAL);
                    m = std::min(m, own);
                    deepest = std::max(deepest, own);
                }
                if (before && after)
                    disagree = std::max(disagree, std::fabs(pl - pr));
            }
            const double rise = std::max(std::fabs(yb - ya), std::fabs(yd - yc));
            if (!apart || !(m > least) || !(disagree < kAgree * m + lim.slack)
                || !(narrow || rise < std::min(kAgree * m, lim.level) + lim.slack)
                || !(fine || !narrow || std::fabs(yb - yc) < kAgree * deepest + lim.slack))
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


DebugOnce isolatedPassedOver("XafsSpectrum: points standing apart from both neighbours (a "
                              "dropout, a zinger) read as the line between them for E0 and "
                              "the jump");

}  // namespace

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

bool keepPeaksNearEdge(const Spectrum& s, double e0, std::vector<unsigned char>& marks,
                       bool& left)
{
    bool kept = false;
    left = false;
    for (int j = 0; j < int(marks.size()); ++j) {
        const double u = pointX(s, j) - e0;
        if (marks[j] == kWidePeak && -kPeaksBelow <= u && u <= kPeaksAbove) {
            marks[j] = kNone;
            kept = true;
        }
        left = left || marks[j];
    }
    return kept;
}

void notePassedOver()
{
    isolatedPassedOver();
}

}  // namespace isolated
