#include "LcfFit.h"

#include <QCoreApplication>
#include <QDebug>
#include <QVarLengthArray>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "core/MatrixUtil.h"
#include "core/PointNoise.h"

namespace {

// The normal equations and their solution, in one block of storage: on the
// stack for the few unknowns a fit has, on the heap beyond.
class NormalEquations
{
public:
    explicit NormalEquations(int n) : n(n)
    {
        if (n < 1)
            return;
        const size_t nn = size_t(n) * size_t(n);
        const size_t values = 3 * nn + 3 * size_t(n);
        double* store = smallStore;
        double** rows = smallRows;
        perm = smallPerm;
        if (n > Small) {
            bigStore.assign(values, 0.0);
            bigRows.assign(3 * size_t(n), nullptr);
            bigPerm.assign(size_t(n), 0);
            store = bigStore.data();
            rows = bigRows.data();
            perm = bigPerm.data();
        } else {
            std::fill(store, store + values, 0.0);
            std::fill(perm, perm + n, 0);
        }
        a = rows;
        l = rows + n;
        u = rows + 2 * n;
        for (int i = 0; i < 3 * n; ++i)
            rows[i] = store + size_t(i) * size_t(n);
        b = store + 3 * nn;
        y = b + n;
        x = y + n;
    }
    NormalEquations(const NormalEquations&) = delete;
    NormalEquations& operator=(const NormalEquations&) = delete;

    // True when a column is (nearly) a combination of the others, e.g. two
    // identical references: no unique fit exists. Judged on the Gram matrix
    // scaled to unit diagonal, so the scales of the columns do not matter.
    bool singular() const
    {
        if (n < 1)
            return true;
        for (int i = 0; i < n; ++i) {
            if (!(a[i][i] > 0) || !std::isfinite(a[i][i]))
                return true;
        }
        // Cholesky of the scaled matrix, in u (free until solve()).
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j <= i; ++j) {
                double v = a[i][j] / std::sqrt(a[i][i] * a[j][j]);
                for (int k = 0; k < j; ++k)
                    v -= u[i][k] * u[j][k];
                if (i == j) {
                    // sin^2 of the angle between column i and the earlier ones.
                    if (!(v > 1e-10))
                        return true;
                    u[i][i] = std::sqrt(v);
                } else {
                    u[i][j] = v / u[j][j];
                }
            }
        }
        return false;
    }

    // For every column, sin^2 of its angle to the span of the others: 1 /
    // (G^-1)_ii of the scaled Gram matrix G. Only right after singular()
    // returned false (its factor is in u) and before solve().
    void apart(double* out) const
    {
        // G = L L^T with L in u: (G^-1)_ii is the squared norm of column i of L^-1.
        std::vector<double> inv(size_t(n) * size_t(n), 0.0);
        for (int c = 0; c < n; ++c) {
            for (int i = c; i < n; ++i) {
                double v = i == c ? 1.0 : 0.0;
                for (int k = c; k < i; ++k)
                    v -= u[i][k] * inv[size_t(k) * size_t(n) + size_t(c)];
                inv[size_t(i) * size_t(n) + size_t(c)] = v / u[i][i];
            }
        }
        for (int c = 0; c < n; ++c) {
            double g = 0;
            for (int i = c; i < n; ++i)
                g += inv[size_t(i) * size_t(n) + size_t(c)] * inv[size_t(i) * size_t(n) + size_t(c)];
            out[c] = g > 0 ? 1.0 / g : 0.0;
        }
    }

    double diagonal(int i) const { return a[i][i]; }

    void add(const double* r, double t)
    {
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j)
                a[i][j] += r[i] * r[j];
            b[i] += t * r[i];
        }
    }
    // Unknown i after solving; a coefficient the solver could not make finite
    // (a degenerate set of references) counts as 0 rather than spreading.
    void solve()
    {
        if (n < 1)
            return;
        MatrixUtil::makeLU(n, a, l, u, perm);
        MatrixUtil::solveLV(n, l, b, y, perm);
        MatrixUtil::solveUV(n, u, y, x, perm);
    }
    double unknown(int i) const
    {
        const double v = x[perm[i]];
        if (!std::isfinite(v)) {
            qDebug() << "LcfFit: coefficient" << i << "is not finite, taken as 0";
            return 0.0;
        }
        return v;
    }

private:
    static constexpr int Small = 8;
    int n;
    double** a = nullptr;
    double** l = nullptr;
    double** u = nullptr;
    double* b = nullptr;
    double* y = nullptr;
    double* x = nullptr;
    int* perm = nullptr;
    double smallStore[3 * Small * Small + 3 * Small];
    double* smallRows[3 * Small];
    int smallPerm[Small];
    std::vector<double> bigStore;
    std::vector<double*> bigRows;
    std::vector<int> bigPerm;
};

// A curve at energy e as LcfFit::curveAt reads it, for rising e.
double curveAt(const Spectrum& c, SpectrumSweep& sweep, double e)
{
    return sweep.y(c.xShiftOn ? e + c.xShift : e);
}

// R_j at e + dE_j, less the shift its curves were built with.
double preBaseAt(const LcfRefSnapshot& r, SpectrumSweep& sweep, double e)
{
    const double E = e + r.dE - r.curveShift;
    if (std::isnan(E))
        qDebug() << "nan EeV in XafsSpectrum::doubleNormalizedPreBase";
    return curveAt(r.preBase, sweep, E);
}

bool allFinite(const double* v, int n)
{
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(v[i]))
            return false;
    }
    return true;
}

}  // namespace

double LcfFit::curveAt(const Spectrum& c, double e)
{
    return c.y(c.xShiftOn ? e + c.xShift : e);
}

double LcfFit::residual(const Spectrum& D, const Spectrum& fitted, double sE0, double eE0, int n,
                        double offset)
{
    const int nd = D.points.size();
    if (nd < 3 || n < 1)
        return 0.0;
    double sum = 0;
    int count = 0;
    SpectrumSweep fittedSweep(fitted);
    // The first and last points take no part.
    for (int i = 1; i <= nd - 2; ++i) {
        const double u = D.xAt(i) - offset;
        if (!std::isfinite(u) || u < sE0 || u > eE0)
            continue;
        const double w = D.points[i].y();
        double term;
        if (w == 0) {
            term = 1.0;
        } else {
            const double g = ::curveAt(fitted, fittedSweep, u);
            const double q = (g - w) / w;
            term = q * q;
        }
        if (!std::isfinite(term))
            continue;
        sum += term;
        ++count;
    }
    if (count == 0)
        return 0.0;
    return sum / count / n;
}

namespace {

// The energy a spectrum's lines were fitted about: the point of its first
// guess, found as the one both line ranges end and start at (bit for bit, so
// the same points fall in each range), less the spectrum's energy offset.
double lineAnchor(const XafsSpectrum& s)
{
    const double about = s.pre.fitTo - s.preEnd;
    for (int k = 0; k < s.points.size(); ++k) {
        const double x = s.xAt(k);
        if (x + s.preEnd == s.pre.fitTo && x + s.postStart == s.post.fitFrom)
            return x - s.energyOffset;
    }
    return about - s.energyOffset;
}

}  // namespace

bool LcfFit::normaliseAsBlock(const XafsSpectrum& s, const LcfRefSnapshot& ref, XafsSpectrum& out,
                              bool keepPoints)
{
    const int N = s.points.size();
    if (!keepPoints) {
        out.clear();
        out.xShiftOn = false;
        out.xShift = 0;
        out.points.reserve(N);
        const double lo = ref.mu.minX - ref.dE, hi = ref.mu.maxX - ref.dE;
        SpectrumSweep mu(ref.mu);
        for (int k = 0; k < N; ++k) {
            const double e = s.xAt(k) - s.energyOffset;
            if (!(e >= lo && e <= hi))
                continue;
            const double v = mu.y(e + ref.dE);
            if (std::isfinite(v))
                out.append(e, v);
        }
    }
    if (out.points.size() < 3)
        return false;
    // The block's own steps: its lines were fitted about the energy they end
    // and start at less the gaps (the first guess of its edge), so the same
    // points take part in each line; the jump is read at its E0.
    out.preEnd = s.preEnd;
    out.postStart = s.postStart;
    out.lineType = s.lineType;
    const double at = lineAnchor(s);
    const double E0 = s.midx - s.energyOffset;
    out.midx = E0;
    const bool ok = out.fitPrePost(at, s.lineType);
    out.dMut = out.post.value(E0) - out.pre.value(E0);
    return ok && std::isfinite(out.dMut);
}

// LCF: each reference normalised as the block is, at the block's energies,
// so both sides of the fit share the lines' ranges; each coefficient then
// divided by the ratio of the reference's jump there to its jump on its own
// scan, which is the edge step the fractions count in.
LcfResult LcfFit::fitAsBlock(const XafsSpectrum& s, const QVector<LcfRefSnapshot>& refs,
                             const QVector<int>& used, double sE0, double eE0, double loAll, double hiAll,
                             const SuggestElm& sElm, bool drawCurve, Workspace* ws, LcfResult& res,
                             const std::function<LcfResult(const QString&)>& failed)
{
    const int N = s.points.size();
    const int m = used.size();
    // Where the block's lines were fitted about, and its E0, in the
    // energies less the block's offset.
    const double at = lineAnchor(s);
    const double E0 = s.midx - s.energyOffset;

    Workspace::RangeSet own;
    Workspace::RangeSet* set = &own;
    bool hit = false;
    std::vector<XafsSpectrum> ownRefs;
    std::vector<XafsSpectrum>* as = &ownRefs;
    bool keep = false;
    if (ws) {
        as = &ws->asBlock;
        keep = ws->asBlockFilled && int(as->size()) == m;
        if (!keep)
            ws->rangeSets.clear();
        ws->asBlockFilled = true;
        for (Workspace::RangeSet& r : ws->rangeSets) {
            if (std::memcmp(&r.at, &at, sizeof at) == 0 && r.lineType == s.lineType && r.preEnd == s.preEnd
                && r.postStart == s.postStart && int(r.values.size()) == m) {
                set = &r;
                hit = true;
                break;
            }
        }
        if (!hit) {
            if (int(ws->rangeSets.size()) < maxRangeSets) {
                ws->rangeSets.emplace_back();
                set = &ws->rangeSets.back();
            } else {
                set = &ws->rangeSets[ws->nextSet];
                ws->nextSet = (ws->nextSet + 1) % ws->rangeSets.size();
            }
        }
    }
    as->resize(size_t(m));
    if (!hit) {
        set->at = at;
        set->lineType = s.lineType;
        set->preEnd = s.preEnd;
        set->postStart = s.postStart;
        set->pre.resize(size_t(m));
        set->post.resize(size_t(m));
        set->fitted.assign(size_t(m), false);
        set->values.resize(size_t(m));
        set->jumps.resize(size_t(m));
        for (int j = 0; j < m; ++j) {
            const LcfRefSnapshot& ref = refs[used[j]];
            XafsSpectrum& rb = (*as)[size_t(j)];
            set->fitted[size_t(j)] = LcfFit::normaliseAsBlock(s, ref, rb, keep);
            set->pre[size_t(j)] = rb.pre;
            set->post[size_t(j)] = rb.post;
            // The points of rb are the block's that the reference reaches, in order.
            std::vector<double>& v = set->values[size_t(j)];
            v.assign(size_t(N), qQNaN());
            std::vector<double>& g = set->jumps[size_t(j)];
            g.assign(size_t(N), qQNaN());
            const double lo = ref.mu.minX - ref.dE, hi = ref.mu.maxX - ref.dE;
            int i = 0;
            for (int k = 0; k < N && i < rb.points.size(); ++k) {
                const double e = s.xAt(k) - s.energyOffset;
                if (!(e >= lo && e <= hi) || e != rb.points[i].x())
                    continue;
                const double p = rb.pre.value(e), q = rb.post.value(e);
                v[size_t(k)] = (rb.points[i].y() - p) / (q - p);
                g[size_t(k)] = q - p;
                ++i;
            }
        }
    }
    const std::vector<std::vector<double>>& values = set->values;
    const std::vector<std::vector<double>>& jumps = set->jumps;
    QVector<double> rho(m, 0.0);
    std::vector<double> J0(static_cast<size_t>(m));
    for (int j = 0; j < m; ++j) {
        const LcfRefSnapshot& ref = refs[used[j]];
        const double J = set->post[size_t(j)].value(E0) - set->pre[size_t(j)].value(E0);
        J0[size_t(j)] = J;
        rho[j] = set->fitted[size_t(j)] && ref.ownJump > 0 ? J / ref.ownJump : qQNaN();
        if (!(ref.ownJump > 0)) {
            LcfResult r = failed(QCoreApplication::translate(
                                     "LcfFit", "reference row %1 has no edge jump of its own under the block's conditions "
                                               "(its spectrum is refused there): its fraction has no edge step to count in")
                                     .arg(used[j]));
            r.jumpRatios = rho;
            return r;
        }
        if (!(rho[j] >= LcfFit::minJumpRatio && rho[j] <= LcfFit::maxJumpRatio)) {
            res.jumpRatios = rho;
            LcfResult r = failed(QCoreApplication::translate(
                                     "LcfFit", "reference row %1, normalised over the block's ranges, has an edge jump %2 "
                                               "times its own (outside %3 - %4): the block's energies do not measure its edge")
                                     .arg(used[j])
                                     .arg(QString::number(rho[j], 'g', 3))
                                     .arg(LcfFit::minJumpRatio)
                                     .arg(LcfFit::maxJumpRatio));
            r.jumpRatios = rho;
            return r;
        }
    }
    res.jumpRatios = rho;

    // A mixture's jump is the sum of its phases' jumps, but each phase's
    // lines run with their own slopes, so away from E0 a phase's share of
    // the block's jump is not its share at E0: counted over its own jump,
    // each reference is weighed wrongly there (on a short window Ni metal /
    // Ni(OH)2 50:50 read 0.443 / 0.556). So the fit is made twice: first
    // with each reference over its own jump, then with each, less its pre
    // line, over its jump at E0 and over the shape of the mixture's jump
    // that the first fit found, sum c_j J_j(E) / J_j(E0) / sum c_j. Not the
    // block's own lines: they carry the matrix's curvature too, which no
    // reference holds. Not repeated until it settles: on long scans the
    // shape then drifts with the misfit. A shape that is not a positive
    // number at every point keeps the first fit.
    std::vector<double> shape;  // per point; empty: each reference over its own jump
    auto regressor = [&](int j, int k) {
        const double v = values[size_t(j)][size_t(k)];
        if (shape.empty())
            return v;
        return v * jumps[size_t(j)][size_t(k)] / (J0[size_t(j)] * shape[size_t(k)]);
    };
    double rSmall[16];
    std::vector<double> rBig(m > 16 ? size_t(m) : 0);
    double* r = m > 16 ? rBig.data() : rSmall;
    const Spectrum& D = s.doubleNormalizedPreBaseCurve;
    QVector<double> c(m);
    std::vector<double> diag(static_cast<size_t>(m));
    int count = 0;
    for (int pass = 0; pass < 2; ++pass) {
        NormalEquations eq(m);
        count = 0;
        for (int k = 0; k < N; ++k) {
            const double e = s.xAt(k) - s.energyOffset;
            if (!(e >= sE0 && e <= eE0))
                continue;
            for (int j = 0; j < m; ++j)
                r[j] = regressor(j, k);
            const double t = D.yAt(k);
            if (!std::isfinite(t) || !allFinite(r, m))
                continue;
            eq.add(r, t);
            ++count;
        }
        if (count == 0)
            return failed(QStringLiteral("no point of the spectrum lies in the fit range and every reference"));
        if (eq.singular())
            return failed(QStringLiteral("the references in use are not independent over the fit range"));
        res.apart.resize(m);
        eq.apart(res.apart.data());
        for (int j = 0; j < m; ++j)
            diag[size_t(j)] = eq.diagonal(j);
        eq.solve();
        for (int j = 0; j < m; ++j)
            c[j] = eq.unknown(j);
        if (pass > 0)
            break;
        double sum = 0;
        for (int j = 0; j < m; ++j)
            sum += c[j];
        std::vector<double> next(static_cast<size_t>(N), qQNaN());
        bool ok = std::isfinite(sum) && sum != 0;
        for (int k = 0; k < N && ok; ++k) {
            double g = 0;
            bool all = true;
            for (int j = 0; j < m; ++j) {
                const double w = jumps[size_t(j)][size_t(k)];
                all = all && std::isfinite(w);
                g += c[j] * w / J0[size_t(j)];
            }
            if (!all)
                continue;  // a point some reference does not reach takes no part
            next[size_t(k)] = g / sum;
            ok = next[size_t(k)] > 0 && std::isfinite(next[size_t(k)]);
        }
        if (!ok)
            break;
        shape.swap(next);
    }

    double sumC = 0, sumScaled = 0;
    for (int j = 0; j < m; ++j) {
        sumC += c[j];
        sumScaled += c[j] / rho[j];
    }
    res.rows = used;
    res.fractions.resize(m);
    res.amounts.resize(m);
    // The fractions keep the fit's sum; with nothing to share out, the
    // scaled coefficients themselves.
    const double keepSum = sumScaled != 0 && std::isfinite(sumScaled) ? sumC / sumScaled : 1.0;
    for (int j = 0; j < m; ++j) {
        res.fractions[j] = c[j] / rho[j] * keepSum;
        res.amounts[j] = c[j] / rho[j] * s.dMut;
    }

    // Standard errors: the scatter of D about the fit, misfit included,
    // carried through (A^-1)_jj = (G^-1)_jj / A_jj. References that the
    // stack's energies barely tell apart turn a small misfit into a large
    // error of their fractions, which then mean nothing. Photon noise
    // widens the errors too, but there it is the measurement's own
    // uncertainty, not a fit naming a wrong species: a fraction is judged
    // on the misfit alone, the scatter beyond noiseAllowance times the
    // point noise of the residuals (a smooth misfit leaves next to none;
    // on sparse energies a misfit is not smooth from point to point, and
    // there the whole scatter counts as misfit),
    // unless its reference is so like the others that each unit of scatter
    // becomes more than maxNoiseGain units of its error: noise alone then
    // shares the block out between them at will.
    double rss = 0;
    QVarLengthArray<double, 256> fitE, fitR;
    for (int k = 0; k < N; ++k) {
        const double e = s.xAt(k) - s.energyOffset;
        if (!(e >= sE0 && e <= eE0))
            continue;
        double v = 0;
        for (int j = 0; j < m; ++j)
            v += c[j] * regressor(j, k);
        const double d = D.yAt(k) - v;
        if (std::isfinite(d)) {
            rss += d * d;
            fitE.append(e);
            fitR.append(d);
        }
    }
    const double s2 = count > m ? rss / (count - m) : qInf();
    res.errors.resize(m);
    QVarLengthArray<double, 16> perScatter(m);
    bool judged = true;  // no error over the limit: the misfit's part needs no reading
    for (int j = 0; j < m; ++j) {
        perScatter[j] = 1 / std::sqrt(res.apart[j] * diag[size_t(j)]) / std::fabs(rho[j]) * std::fabs(keepSum);
        res.errors[j] = std::sqrt(s2) * perScatter[j];
        judged = judged && res.errors[j] <= LcfFit::maxFractionError;
    }
    const double noise = judged ? -1
                                : pointNoise(fitE.constData(), fitR.constData(), fitE.size(),
                                             LcfFit::minNoisePoints, LcfFit::maxNoiseSpan);
    const double misfit2 = noise > 0 ? std::max(0.0, s2 - LcfFit::noiseAllowance * noise * noise) : s2;
    int widest = 0;
    double widestMisfit = 0;
    for (int j = 0; j < m; ++j) {
        const double fromMisfit = perScatter[j] > LcfFit::maxNoiseGain ? res.errors[j] : std::sqrt(misfit2) * perScatter[j];
        if (!(fromMisfit <= widestMisfit)) {
            widestMisfit = fromMisfit;
            widest = j;
        }
    }
    if (!(widestMisfit <= LcfFit::maxFractionError)) {
        const QVector<double> errors = res.errors, apart = res.apart;
        LcfResult f = failed(QCoreApplication::translate(
                                 "LcfFit", "the fraction of reference row %1 has a standard error of %2 (over %3): "
                                           "the references cannot be told apart at the stack's energies")
                                 .arg(used[widest])
                                 .arg(QString::number(widestMisfit, 'g', 2))
                                 .arg(LcfFit::maxFractionError));
        f.errors = errors;
        f.apart = apart;
        f.jumpRatios = rho;
        return f;
    }

    // The curve the fit found: the residual is of this spectrum.
    Spectrum F;
    F.points.reserve(N);
    for (int k = 0; k < N; ++k) {
        const double e = s.xAt(k) - s.energyOffset;
        if (!std::isfinite(e) || e < loAll || e > hiAll)
            continue;
        double v = 0;
        for (int j = 0; j < m; ++j)
            v += c[j] * regressor(j, k);
        if (!std::isfinite(v))
            continue;
        F.append(e, v);
    }
    res.z = LcfFit::residual(D, F, sE0, eE0, N, s.energyOffset);
    if (drawCurve)
        res.fitted = XafsSpectrum(F, QStringLiteral("anal-LCF"), 1, 0.0, sElm);
    res.sE0 = sE0;
    res.eE0 = eE0;
    res.status = LcfResult::Fitted;
    return res;
}

LcfFit::Coverage LcfFit::coverage(double refLo, double refHi, double sE0, double eE0,
                                  QVector<double> energies)
{
    Coverage c;
    QVector<double> in;
    for (double e : qAsConst(energies))
        if (std::isfinite(e) && e >= sE0 && e <= eE0)
            in.append(e);
    if (in.isEmpty())
        return c;
    std::sort(in.begin(), in.end());
    in.erase(std::unique(in.begin(), in.end()), in.end());
    c.known = true;
    c.needLo = in.first();
    c.needHi = in.last();
    const int n = in.size();
    const double stepLo = n > 1 ? in[1] - in[0] : 0.0;
    const double stepHi = n > 1 ? in[n - 1] - in[n - 2] : 0.0;
    // Written so that a reference span that is not a number never covers.
    c.covers = refLo <= c.needLo + stepLo && refHi >= c.needHi - stepHi;
    return c;
}

LcfResult LcfFit::fit(Kind kind, const XafsSpectrum& s, const QVector<LcfRefSnapshot>& refs,
                      double sE0, double eE0, const SuggestElm& sElm, bool drawCurve,
                      Workspace* ws)
{
    const double askedS = sE0, askedE = eE0;
    LcfResult res;
    const int N = s.points.size();
    if (N == 0 || refs.size() < 2)
        return res;

    QVector<int> used;
    for (int j = 0; j < refs.size(); ++j) {
        if (refs[j].use)
            used.append(j);
    }
    const int m = used.size();

    // A jump that is not a positive number leaves nothing to scale by.
    const bool positiveJump = s.dMut > 0 && std::isfinite(s.dMut);
    if (kind == LCF && !positiveJump) {
        res.status = LcfResult::ZeroJump;
        res.rows = used;
        res.fractions = QVector<double>(refs.size(), 0.0);
        res.amounts = QVector<double>(refs.size(), 0.0);
        return res;
    }
    auto failed = [&](const QString& why) {
        res.status = LcfResult::Failed;
        res.failure = why;
        res.rows = used;
        res.fractions = QVector<double>(m, 0.0);
        res.amounts = QVector<double>(m, 0.0);
        res.z = 0;
        res.sE0 = sE0;
        res.eE0 = eE0;
        return res;
    };
    if (m == 0)
        return failed(QStringLiteral("no reference in use"));

    double loAll = 0, hiAll = 1e300;
    for (int j : used) {
        const double lo = refs[j].minX - refs[j].dE;
        const double hi = refs[j].maxX - refs[j].dE;
        sE0 = std::max(sE0, lo);
        eE0 = std::min(eE0, hi);
        loAll = std::max(loAll, lo);
        hiAll = std::min(hiAll, hi);
    }

    const bool mlcf = kind == MLCF;
    const int bg = mlcf ? 2 : 0;
    const int n = m + bg;
    NormalEquations eq(n);
    double rSmall[16];
    std::vector<double> rBig(n > 16 ? size_t(n) : 0);
    double* r = n > 16 ? rBig.data() : rSmall;

    // The references' values depend on the target only through its energies:
    // a workspace that read them at the same energies gives them back.
    bool replay = false, replayCurve = false;
    if (ws) {
        bool same = ws->refs == refs.constData() && ws->refCount == refs.size()
                    && ws->kind == int(kind) && ws->sE0 == askedS && ws->eE0 == askedE
                    && ws->energies.size() == N;
        ws->energies.resize(N);
        double* E = ws->energies.data();
        for (int k = 0; k < N; ++k) {
            const double e = s.xAt(k) - s.energyOffset;
            // Bit for bit: a NaN energy must match a NaN.
            if (same && std::memcmp(&E[k], &e, sizeof e) != 0)
                same = false;
            E[k] = e;
        }
        replay = same && ws->fitFilled;
        replayCurve = same && ws->curveFilled;
        if (!same) {
            ws->fitFilled = false;
            ws->curveFilled = false;
            ws->refs = refs.constData();
            ws->refCount = refs.size();
            ws->kind = int(kind);
            ws->sE0 = askedS;
            ws->eE0 = askedE;
            ws->fitValues.clear();
            ws->curveValues.clear();
            ws->asBlockFilled = false;
        }
    }
    // A block is normalised as its references are only when it was
    // normalised itself and each reference carries its measured points (every
    // row does); curves handed in alone are fitted as they are.
    bool asBlock = kind == LCF && s.pre.fitted && s.post.fitted;
    for (int j : used)
        asBlock = asBlock && refs[j].mu.points.size() >= 2;
    if (asBlock)
        return fitAsBlock(s, refs, used, sE0, eE0, loAll, hiAll, sElm, drawCurve, ws, res, failed);
    size_t fitAt = 0, curvePos = 0;

    // The target's energies rise: each reference is read by a sweep, not
    // searched at every point.
    std::vector<SpectrumSweep> sweeps;
    if (!replay) {
        sweeps.reserve(size_t(m));
        for (int j = 0; j < m; ++j)
            sweeps.emplace_back(mlcf ? refs[used[j]].postBase : refs[used[j]].preBase);
    }
    const Spectrum& D = s.doubleNormalizedPreBaseCurve;
    int count = 0;
    for (int k = 0; k < N; ++k) {
        const double e = s.xAt(k) - s.energyOffset;
        if (e < sE0 || e > eE0)
            continue;
        double t;
        if (replay) {
            if (mlcf) {
                r[0] = 1.0;
                r[1] = e;
            }
            for (int j = 0; j < m; ++j)
                r[j + bg] = ws->fitValues[fitAt++];
            t = mlcf ? s.points[k].y() : D.yAt(k);
        } else if (mlcf) {
            r[0] = 1.0;
            r[1] = e;
            for (int j = 0; j < m; ++j) {
                const LcfRefSnapshot& ref = refs[used[j]];
                r[j + 2] = ::curveAt(ref.postBase, sweeps[size_t(j)], e + ref.dE - ref.curveShift);
            }
            t = s.points[k].y();
        } else {
            for (int j = 0; j < m; ++j)
                r[j] = preBaseAt(refs[used[j]], sweeps[size_t(j)], e);
            t = D.yAt(k);
        }
        if (ws && !replay)
            ws->fitValues.insert(ws->fitValues.end(), r + bg, r + n);
        // One point that is not a number would spoil every coefficient.
        if (!std::isfinite(e) || !std::isfinite(t) || !allFinite(r, n))
            continue;
        eq.add(r, t);
        ++count;
    }
    if (ws)
        ws->fitFilled = true;
    if (count == 0)
        return failed(QStringLiteral("no point of the spectrum lies in the fit range and every reference"));
    if (eq.singular())
        return failed(QStringLiteral("the references in use are not independent over the fit range"));
    {
        std::vector<double> all(static_cast<size_t>(n));
        eq.apart(all.data());
        res.apart = QVector<double>(all.begin() + bg, all.end());
    }
    eq.solve();

    QVector<double> c(m);
    for (int j = 0; j < m; ++j)
        c[j] = eq.unknown(j + bg);

    res.rows = used;
    res.fractions.resize(m);
    res.amounts.resize(m);
    if (mlcf) {
        double S = 0;
        for (double v : c)
            S += v;
        for (double& v : c)
            v = std::max(0.0, v);
        S = std::max(0.0, S);
        for (int j = 0; j < m; ++j) {
            res.amounts[j] = c[j];
            // Nothing left to share out: no fraction rather than a division by 0.
            res.fractions[j] = S > 0 ? c[j] / S : 0.0;
        }
    } else {
        const double J = positiveJump ? s.dMut : 0.0;
        for (int j = 0; j < m; ++j) {
            res.fractions[j] = c[j];
            res.amounts[j] = c[j] * J;
        }
    }

    // Drawn with this fit's own fractions: the residual is of this spectrum.
    Spectrum F;
    F.points.reserve(N);
    std::vector<SpectrumSweep> curveSweeps;
    if (!replayCurve) {
        curveSweeps.reserve(size_t(m));
        for (int j = 0; j < m; ++j)
            curveSweeps.emplace_back(refs[used[j]].preBase);
    }
    for (int k = 0; k < N; ++k) {
        const double e = s.xAt(k) - s.energyOffset;
        if (!std::isfinite(e) || e < loAll || e > hiAll)
            continue;
        double v = 0;
        for (int j = 0; j < m; ++j) {
            double p;
            if (replayCurve) {
                p = ws->curveValues[curvePos++];
            } else {
                p = preBaseAt(refs[used[j]], curveSweeps[size_t(j)], e);
                if (ws)
                    ws->curveValues.push_back(p);
            }
            v += res.fractions[j] * p;
        }
        if (!std::isfinite(v))
            continue;
        F.append(e, v);
    }
    if (ws)
        ws->curveFilled = true;
    // The curve's own normalisation is for the view only; z needs its points.
    res.z = residual(D, F, sE0, eE0, N, s.energyOffset);
    if (drawCurve)
        res.fitted = XafsSpectrum(F, mlcf ? QStringLiteral("anal-MLCF") : QStringLiteral("anal-LCF"),
                                  1, 0.0, sElm);
    res.sE0 = sE0;
    res.eE0 = eE0;
    res.status = LcfResult::Fitted;
    return res;
}
