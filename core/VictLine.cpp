#include "VictLine.h"

#include <algorithm>
#include <cmath>

#include "DebugOnce.h"
#include "MatrixUtil.h"

namespace {

DebugOnce noWavelength("VictLine: Victoreen line refused on energies of 0 eV or below");

// Point access with the shift rule, inline for the per-point sums (i in range).
inline double pointX(const Spectrum& s, int i)
{
    const double x = s.points[i].x();
    return s.xShiftOn ? x - s.xShift : x;
}
inline double pointY(const Spectrum& s, int i) { return s.points[i].y(); }

// f(i, E) for each point of [from, to) (or [from, to] with withTo), in
// order; false, and no further point, where f returns false.
template <class F>
bool eachPointIn(const Spectrum& s, double from, double to, bool withTo, F f)
{
    for (int i = 0; i < s.points.size(); ++i) {
        const double E = pointX(s, i);
        if (withTo ? E > to : E >= to)
            break;
        if (!(E >= from))
            continue;
        if (!f(i, E))
            return false;
    }
    return true;
}

// The energies of the points a line is fitted to, for their mean and spread.
struct EnergySums
{
    double n = 0, sum = 0, squares = 0;
    void add(double E)
    {
        n += 1;
        sum += E;
        squares += E * E;
    }
};

// Solves the n x n normal equations (n <= 3) on the stack; the solution is
// returned in natural order. False when a pivot or diagonal was zero.
bool solveSmall(int n, double A[3][3], const double rhs[3], double out[3])
{
    double lStore[3][3], uStore[3][3];
    double* aRows[3] = {A[0], A[1], A[2]};
    double* lRows[3] = {lStore[0], lStore[1], lStore[2]};
    double* uRows[3] = {uStore[0], uStore[1], uStore[2]};
    double b[3] = {rhs[0], rhs[1], rhs[2]};
    double y[3] = {0, 0, 0};
    double x[3] = {0, 0, 0};
    int perm[3] = {0, 1, 2};
    const bool okLU = MatrixUtil::makeLU(n, aRows, lRows, uRows, perm);
    const bool okL = MatrixUtil::solveLV(n, lRows, b, y, perm);
    const bool okU = MatrixUtil::solveUV(n, uRows, y, x, perm);
    for (int j = 0; j < n; ++j)
        out[j] = x[perm[j]];
    return okLU && okL && okU;
}

// The energy point i stands for among the points of [from, to) (or
// [from, to]): half the way to each neighbour in the range, the whole way
// on the side that has one where the other has none (an end point of an
// even grid weighs as the rest).
double spanOf(const Spectrum& s, int i, double from, double to, bool withTo)
{
    auto inRange = [&](int j) {
        if (j < 0 || j >= s.points.size())
            return false;
        const double E = pointX(s, j);
        return E >= from && (withTo ? E <= to : E < to);
    };
    const double E = pointX(s, i);
    const bool before = inRange(i - 1), after = inRange(i + 1);
    if (before && after)
        return 0.5 * (pointX(s, i + 1) - pointX(s, i - 1));
    if (after)
        return pointX(s, i + 1) - E;
    if (before)
        return E - pointX(s, i - 1);
    return 1.0;
}

}  // namespace

void VictLine::spreadOfEnergies(double n, double sum, double sumSquares)
{
    fitMeanE = n > 0 ? sum / n : 0.0;
    fitSpreadE = n > 0 ? std::max(0.0, sumSquares - sum * fitMeanE) : 0.0;
}

bool VictLine::fit(const Spectrum& source, double from, double to, int type, bool withTo,
                   bool bySpan)
{
    // Too few points: refuse before touching anything, so the previous fit
    // stays whole.
    const int n = source.points.size();
    if (n < (type == 0 ? 4 : 3))
        return false;
    lineType = type;
    fitFrom = from;
    fitTo = to;
    fitted = (type == 0) ? fitVictoreen(source, from, to, withTo, bySpan)
                         : fitLinear(source, from, to, withTo, bySpan);
    return fitted;
}

double VictLine::residual(const Spectrum& source, double from, double to, bool includeTo)
{
    const int n = source.points.size();
    double sum = 0;
    fitCount = 0;
    for (int i = 0; i < n; ++i) {
        const double E = pointX(source, i);
        if (!(E >= from && (includeTo ? E <= to : E < to)))
            continue;
        const double r = pointY(source, i) - baseValue(E);
        sum += r * r;
        ++fitCount;
    }
    sigma = fitCount > 0 ? std::sqrt(sum / fitCount) : 1.0;
    return sigma;
}

bool VictLine::fitVictoreen(const Spectrum& source, double from, double to, bool withTo,
                            bool bySpan)
{
    const int n = source.points.size();
    if (n < 4)
        return false;
    double s0 = 0, sy = 0, s3 = 0, s4 = 0, s6 = 0, s7 = 0, s8 = 0, s3y = 0, s4y = 0;
    EnergySums energies;
    fitCount = 0;
    const bool positive = eachPointIn(source, from, to, withTo, [&](int i, double E) {
        // Relative energies or a pixel axis: there is no wavelength at 0 eV or
        // below, and the sums would give an infinite or absurd line that
        // passes for fitted. Refused as a fit on no point.
        if (E <= 0)
            return false;
        const double yv = pointY(source, i);
        const double L = PhysConst::hc / E;
        const double L3 = L * L * L;
        const double L4 = L3 * L;
        const double w = bySpan ? spanOf(source, i, from, to, withTo) : 1.0;
        s0 += w;
        sy += w * yv;
        s3 += w * L3;
        s4 += w * L4;
        s6 += w * L3 * L3;
        s7 += w * L3 * L4;
        s8 += w * L4 * L4;
        s3y += w * L3 * yv;
        s4y += w * L4 * yv;
        energies.add(E);
        ++fitCount;
        return true;
    });
    if (!positive) {
        noWavelength();
        c0 = c1 = c2 = 0;
        fitCount = 0;
        sigma = 1.0;
        return false;
    }
    spreadOfEnergies(energies.n, energies.sum, energies.squares);
    double A[3][3] = {{s0, s3, s4}, {s3, s6, s7}, {s4, s7, s8}};
    const double rhs[3] = {sy, s3y, s4y};
    double sol[3];
    // Three coefficients need three points; fewer leave the sums singular,
    // which rounding may hide from the solver.
    const bool ok = solveSmall(3, A, rhs, sol) && energies.n >= 3 && s0 > 0;
    c0 = sol[0];
    c1 = sol[1];
    c2 = sol[2];
    residual(source, from, to, true);
    return ok;
}

bool VictLine::fitLinear(const Spectrum& source, double from, double to, bool withTo,
                         bool bySpan)
{
    const int n = source.points.size();
    if (n < 3)
        return false;
    double s0 = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    EnergySums energies;
    fitCount = 0;
    eachPointIn(source, from, to, withTo, [&](int i, double E) {
        const double yv = pointY(source, i);
        const double w = bySpan ? spanOf(source, i, from, to, withTo) : 1.0;
        s0 += w;
        sx += w * E;
        sy += w * yv;
        sxx += w * E * E;
        sxy += w * E * yv;
        energies.add(E);
        ++fitCount;
        return true;
    });
    spreadOfEnergies(energies.n, energies.sum, energies.squares);
    bool ok;
    if (energies.n < 2 || !(s0 > 0)) {
        k = 0;
        c0 = (energies.n == 1) ? sy / s0 : 0;
        ok = false;
    } else {
        double A[3][3] = {{sxx, sx, 0}, {sx, s0, 0}, {0, 0, 0}};
        const double rhs[3] = {sxy, sy, 0};
        double sol[3];
        ok = solveSmall(2, A, rhs, sol);
        k = sol[0];
        c0 = sol[1];
    }
    residual(source, from, to, withTo);
    return ok;
}

bool VictLine::fitLevel(const Spectrum& source, double from, double to, double slope, bool withTo)
{
    double sy = 0;
    EnergySums energies;
    fitCount = 0;
    eachPointIn(source, from, to, withTo, [&](int i, double E) {
        sy += pointY(source, i);
        energies.add(E);
        ++fitCount;
        return true;
    });
    spreadOfEnergies(energies.n, energies.sum, energies.squares);
    lineType = 1;
    fitFrom = from;
    fitTo = to;
    k = slope;
    c0 = energies.n > 0 ? (sy - slope * energies.sum) / energies.n : 0.0;
    fitted = energies.n > 0 && std::isfinite(c0);
    residual(source, from, to, withTo);
    return fitted;
}

void VictLine::correctWithPost(const VictLine& post)
{
    if (correctionType == 2)
        genInterpolatedInPost(post);
}

void VictLine::correctWithPre(const VictLine& pre)
{
    if (correctionType == 2)
        genInterpolatedInPre(pre);
}

void VictLine::sampleBezier()
{
    const QPointF q0 = controlPoints[0], q1 = controlPoints[1];
    const QPointF q2 = controlPoints[2], q3 = controlPoints[3];
    clear();
    points.reserve(100);
    double t = 0;
    for (int i = 0; i < 100; ++i, t += 0.01) {
        const double s = 1 - t;
        const double w0 = s * s * s, w1 = 3 * s * s * t, w2 = 3 * s * t * t, w3 = t * t * t;
        append(w0 * q0.x() + w1 * q1.x() + w2 * q2.x() + w3 * q3.x(),
               w0 * q0.y() + w1 * q1.y() + w2 * q2.y() + w3 * q3.y());
    }
}

// The correction runs from this (pre-edge) line's end of range with its own
// slope to the post line's far end with the post line's slope. u is where the
// straight extensions meet, as a fraction of twice the distance; anything
// outside 0..1 (including NaN from coinciding range ends) means the lines do
// not run into each other within the post range, so no correction is made.
void VictLine::genInterpolatedInPost(const VictLine& P)
{
    correctionOn = false;
    if (lineType != 1 || !(P.k < k))
        return;
    const double h = fitTo;
    const double T = P.fitTo;
    const double A = k * h + c0;
    const double Bh = P.baseValue(h);
    const double BT = P.baseValue(T);
    const double gap = Bh - A;
    const double Ex = h - gap / (P.k - k);
    const double u = 0.5 * (Ex - h) / (T - h);
    if (!std::isfinite(u) || u < 0.0 || u > 1.0)
        return;
    const double delta = 0.1 * u * (T - h);
    const QPointF q0(h, A);
    const QPointF q1(h + delta, A + k * delta);
    const QPointF q3(T, BT - u * gap / 2);
    const QPointF q2(T - delta, q3.y() - P.k * delta);
    controlPoints = {q0, q1, q2, q3};
    sampleBezier();
    correctionOn = true;
    correctionSide = true;
}

// Mirror of the above for the post-edge line, bent below its range towards
// the pre line's start.
void VictLine::genInterpolatedInPre(const VictLine& R)
{
    correctionOn = false;
    if (lineType != 1 || !(R.k < k))
        return;
    const double F = R.fitFrom;
    const double f = fitFrom;
    const double AF = k * F + c0;
    const double Af = k * f + c0;
    const double BF = R.baseValue(F);
    const double Bf = R.baseValue(f);
    const double gap = BF - AF;
    const double Ex = F + gap / (k - R.k);
    const double u = 0.5 * (Ex - f) / (F - f);
    if (!std::isfinite(u) || u < 0.0 || u > 1.0)
        return;
    const double delta = 0.1 * u * (F - f);
    const QPointF q0(F, BF + u * (Af - Bf) / 2);
    const QPointF q1(F - delta, q0.y() - R.k * delta);
    const QPointF q2(f + delta, Af + k * delta);
    const QPointF q3(f, Af);
    controlPoints = {q0, q1, q2, q3};
    sampleBezier();
    correctionOn = true;
    correctionSide = false;
}
