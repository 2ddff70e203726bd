// References measured over longer scans than the stacks fitted to them, and
// when a reference is judged against the range of a run.

#include <QtTest>

#include <random>

#include "analysis/Analysis2DDriver.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/LcfFit.h"
#include "core/FailureLog.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "support/BodyStack.h"
#include "support/Files.h"
#include "support/Headless.h"
#include "support/LongRefs.h"
#include "support/Maps.h"
#include "support/MeasuredRefs.h"
#include "support/MixedStack.h"
#include "support/Spectra.h"

#include <QCheckBox>
#include <QDir>
#include <QRegularExpression>

namespace {

// A block of the sample with share fa of phase a at `energies`, 1e6 photons
// in, normalised as the program normalises blocks.
XafsSpectrum block(const measured::Mixer& m, double fa, const QVector<double>& energies, unsigned seed)
{
    std::mt19937 g(seed);
    Spectrum s;
    for (double E : energies) s.append(E, std::log(1e6 / m.i1(fa, E, 1e6, g)));
    return XafsSpectrum(s, "block", 1, 0, SuggestElm());
}

// The fractions and amounts of a least-squares fit of t on references taken
// as they are, over their own normalisation, where they all reach: LCF its
// double-normalised curve on theirs, MLCF its mu on 1, e and their post-base
// curves. Solved here by elimination, not by the program's solver.
void ownScanFit(bool mlcf, const XafsSpectrum& t, const QVector<const XafsSpectrum*>& refs,
                QVector<double>& fractions, QVector<double>& amounts)
{
    const int m = refs.size(), bg = mlcf ? 2 : 0, n = m + bg;
    QVector<QVector<double>> a(n, QVector<double>(n + 1, 0.0));
    double lo = 0, hi = 1e300;
    for (const XafsSpectrum* r : refs) {
        lo = std::max(lo, r->points.first().x());
        hi = std::min(hi, r->points.last().x());
    }
    QVector<double> row(n);
    for (int k = 0; k < t.points.size(); ++k) {
        const double e = t.xAt(k) - t.energyOffset;
        if (e < lo || e > hi) continue;
        if (mlcf) row[0] = 1, row[1] = e;
        for (int j = 0; j < m; ++j)
            row[j + bg] = (mlcf ? refs[j]->doubleNormalizedPostBaseCurve : refs[j]->doubleNormalizedPreBaseCurve).y(e);
        const double y = mlcf ? t.points[k].y() : t.doubleNormalizedPreBaseCurve.points[k].y();
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) a[i][j] += row[i] * row[j];
            a[i][n] += row[i] * y;
        }
    }
    for (int c = 0; c < n; ++c) {
        int p = c;
        for (int i = c + 1; i < n; ++i)
            if (std::fabs(a[i][c]) > std::fabs(a[p][c])) p = i;
        std::swap(a[c], a[p]);
        for (int i = c + 1; i < n; ++i) {
            const double f = a[i][c] / a[c][c];
            for (int j = c; j <= n; ++j) a[i][j] -= f * a[c][j];
        }
    }
    QVector<double> x(n);
    for (int i = n - 1; i >= 0; --i) {
        double v = a[i][n];
        for (int j = i + 1; j < n; ++j) v -= a[i][j] * x[j];
        x[i] = v / a[i][i];
    }
    fractions.clear();
    amounts.clear();
    double sum = 0;
    for (int j = 0; j < m; ++j) sum += x[j + bg];
    for (int j = 0; j < m; ++j) {
        const double c = x[j + bg];
        if (mlcf) {
            amounts << std::max(0.0, c);
            fractions << (sum > 0 ? std::max(0.0, c) / sum : 0.0);
        } else {
            fractions << c;
            amounts << c * t.dMut;
        }
    }
}

// The LCF by hand: each reference read at the block's energies (linearly
// between its points) and given lines through the points the block's own
// lines took; its curve (mu - pre) / (post - pre) fitted to the block's by
// elimination; then each curve (mu - pre) over its jump at the block's E0
// and over the mixture's jump shape, sum x_j J_j(E) / J_j(E0) / sum x_j
// from that first fit, fitted once more; each
// coefficient divided by the reference's jump there, at the block's E0, over
// its jump on its own scan; the fractions scaled to the coefficients' sum,
// the amounts in the block's jump.
void asBlockFit(const XafsSpectrum& t, const QVector<const XafsSpectrum*>& refs, QVector<double>& fractions,
                QVector<double>& amounts)
{
    const int m = refs.size();
    const int N = t.points.size();
    const double off = t.energyOffset;
    const double at = t.pre.fitTo - t.preEnd - off, E0 = t.midx - off;
    QVector<QVector<double>> Y(m, QVector<double>(N, qQNaN())), J(m, QVector<double>(N, qQNaN()));
    QVector<double> rho(m), J0(m);
    for (int j = 0; j < m; ++j) {
        Spectrum raw;
        raw.points = refs[j]->points;
        const double dE = refs[j]->xShiftOn ? refs[j]->xShift : 0.0;
        XafsSpectrum r;
        QVector<int> index;
        for (int k = 0; k < N; ++k) {
            const double e = t.xAt(k) - off;
            if (e + dE < raw.points.first().x() || e + dE > raw.points.last().x()) continue;
            r.append(e, raw.y(e + dE));
            index << k;
        }
        r.preEnd = t.preEnd;
        r.postStart = t.postStart;
        r.fitPrePost(at, t.lineType);
        J0[j] = r.post.value(E0) - r.pre.value(E0);
        rho[j] = J0[j] / refs[j]->dMut;
        for (int i = 0; i < index.size(); ++i) {
            const double e = r.xAt(i), p = r.pre.value(e), q = r.post.value(e);
            Y[j][index[i]] = r.points[i].y() - p;
            J[j][index[i]] = q - p;
        }
    }
    QVector<double> shape;  // empty: each curve over its own jump
    QVector<double> x(m);
    for (int pass = 0; pass < 2; ++pass) {
        QVector<QVector<double>> a(m, QVector<double>(m + 1, 0.0));
        for (int k = 0; k < N; ++k) {
            QVector<double> R(m);
            bool all = true;
            for (int j = 0; j < m; ++j) {
                R[j] = shape.isEmpty() ? Y[j][k] / J[j][k] : Y[j][k] / (J0[j] * shape[k]);
                all = all && std::isfinite(R[j]);
            }
            if (!all) continue;
            for (int i = 0; i < m; ++i) {
                for (int j = 0; j < m; ++j) a[i][j] += R[i] * R[j];
                a[i][m] += R[i] * t.doubleNormalizedPreBaseCurve.points[k].y();
            }
        }
        for (int c = 0; c < m; ++c)
            for (int i = c + 1; i < m; ++i) {
                const double f = a[i][c] / a[c][c];
                for (int j = c; j <= m; ++j) a[i][j] -= f * a[c][j];
            }
        for (int i = m - 1; i >= 0; --i) {
            double v = a[i][m];
            for (int j = i + 1; j < m; ++j) v -= a[i][j] * x[j];
            x[i] = v / a[i][i];
        }
        double sx = 0;
        for (int j = 0; j < m; ++j) sx += x[j];
        shape.fill(qQNaN(), N);
        for (int k = 0; k < N; ++k) {
            double g = 0;
            for (int j = 0; j < m; ++j) g += x[j] * J[j][k] / J0[j];
            shape[k] = g / sx;
        }
    }
    double sum = 0, scaled = 0;
    for (int j = 0; j < m; ++j) sum += x[j], scaled += x[j] / rho[j];
    fractions.clear();
    amounts.clear();
    for (int j = 0; j < m; ++j) {
        fractions << x[j] / rho[j] * sum / scaled;
        amounts << x[j] / rho[j] * t.dMut;
    }
}

// What the figures of a fit must be: LCF, a pure phase within 0.01 and a
// mixture within 0.025 of its shares (measured: 0.005 and 0.017); the old
// LCF, whose fractions share one factor (the target's jump over the stack
// against the references' over their scans), the ratio of the two within
// 0.065 (Fe on the XANES alone: 0.557 of 0.5 without noise) and a pure phase
// a little under 1; MLCF, whose fractions sum to 1, a pure phase within
// 0.012 of 1 and a mixture within 0.05. Empty when they are.
QString offTruth(int kind, double fa, double f0, double f1)
{
    const QString got = QString("share %1: %2 %3").arg(fa).arg(f0).arg(f1);
    const bool pure = fa == 0 || fa == 1;
    const bool mlcf = kind == LcfFit::MLCF;
    if (kind == LcfFit::LCF) {
        const double tol = pure ? 0.01 : 0.025;
        return std::fabs(f0 - fa) < tol && std::fabs(f1 - (1 - fa)) < tol ? QString() : got;
    }
    if (mlcf) {
        const double tol = pure ? 0.012 : 0.05;
        return std::fabs(f0 - fa) < tol && std::fabs(f1 - (1 - fa)) < tol ? QString() : got;
    }
    const double sum = f0 + f1;
    if (!(std::fabs(f0 / sum - fa) < 0.065)) return got;
    if (pure && !(sum > 0.85 && sum < 1.02)) return got;
    return QString();
}

// Measured oxides alone on a stack shorter than their scans hold to no such
// figure in the old LCF and MLCF: the fall after the white line tilts the
// block's own post-edge line (pure Fe2O3 on the XANES: 0.34 / 0.53), as it
// always has; there only their mixtures and the metals are held to the
// truth. The LCF normalises the references with the block's lines and holds
// every sample to it.
bool heldToTruth(const QString& element, bool wide, int kind, double fa)
{
    const bool mlcf = kind == LcfFit::MLCF;
    return kind == LcfFit::LCF || fa != 0 || (element == "Cu" && wide) || (mlcf && !(element == "Fe" && wide));
}

// The reference sides past the synthetic stack: below, above or both.
struct Span
{
    double below, above;
};
Span spanOf(const QString& side)
{
    return {side == "above" ? 50.0 : 180.0, side == "below" ? 290.0 : 1060.0};
}

// A spectrum of the synthetic stack's energies with photon noise of about
// `counts` photons behind the sample, normalised as blocks are.
XafsSpectrum synthetic(double fa, const QVector<double>& energies, double counts = 1e5, unsigned seed = 1,
                       double offset = 0)
{
    std::mt19937 g(seed);
    std::normal_distribution<double> n(0, 1);
    Spectrum s;
    for (double E : energies) {
        const double m = longref::mu(fa, E - offset);
        const double i = counts * std::exp(-m);
        s.append(E, std::log(counts / (i + std::sqrt(i) * n(g))));
    }
    return XafsSpectrum(s, "block", 1, offset, SuggestElm());
}

// A reference read from its file and normalised as a reference row does.
XafsSpectrum loaded(const QString& file, double dE = 0)
{
    XafsSpectrum r;
    if (!r.load(file)) return r;
    r.xShiftOn = true;
    r.xShift = dE;
    r.energyOffset = dE;
    r.recalc(1);
    return r;
}

bool runToEnd(Analyzer* a, Analysis2DDriver* run)
{
    QSignalSpy ended(run, &Analysis2DDriver::ended);
    emit a->askAnalyze();
    return ended.wait(60000);
}

// Share of phase a per column: 0-1 pure a, 2-3 pure b, 4-5 half and half.
double shareOf(int c) { return c < 2 ? 1.0 : c < 4 ? 0.0 : 0.5; }
// The energy shift of column c where the stack is shifted.
double shiftOf(int c) { return 0.9 * c - 2.0; }

// Six pixels of the pair's phases on `e`, photon noise behind the sample;
// shifted by column when `shifted`, with the energy-shift map saying so.
void loadPhases(Body& b, const measured::Mixer& mix, const QVector<double>& e, bool shifted)
{
    auto i1 = [=, &mix](int k, int c, int r) {
        std::mt19937 g(11 + 7919 * k + 131 * c + r);
        return mix.i1(shareOf(c), e[k] - (shifted ? shiftOf(c) : 0), 1e6, g);
    };
    ts::loadStack(b, {6, 1, int(e.size()), [e](int k) { return e[k]; }, i1, [](int, int, int) { return 1e6; }});
    b.HWidth->setText(QStringLiteral("0"));
    b.VWidth->setText(QStringLiteral("0"));
    b.UseSuggestElm->setChecked(false);
    if (shifted) ts::fillMap(b.shiftMap, 6, 1, [](int x, int) { return shiftOf(x); });
}

}  // namespace

class TestLongRefs : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString refFile(bool a, const QString& side, double shift = 0)
    {
        const Span s = spanOf(side);
        Spectrum r = longref::reference(a, s.below, s.above, a ? 7 : 11);
        for (QPointF& p : r.points) p.setX(p.x() + shift);
        const QString f = dir.filePath(QString("%1-%2-%3.dat").arg(a ? "oxide" : "metal", side).arg(shift));
        return ts::writeSpectrum(f, r) ? f : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        initGlobals();
        initColorTables();
        installAnalysisOnBody();
    }

    // Measured references: the LCF's fractions and amounts are the fit of
    // the block on the references normalised with the block's lines, scaled
    // by their jumps there against their own (worked by hand here); the old
    // LCF's and the MLCF's the least-squares fit on their own curves. On a
    // stack over the XANES alone as on a wide one.
    void measuredMixtures_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<bool>("wide");
        QTest::addColumn<int>("kind");
        for (const char* el : {"Fe", "Cu"})
            for (bool wide : {false, true})
                for (int kind : {int(LcfFit::LCF), int(LcfFit::LCFOld), int(LcfFit::MLCF)}) {
                    const char* k = kind == LcfFit::LCF ? "LCF" : kind == LcfFit::MLCF ? "MLCF" : "old LCF";
                    QTest::addRow("%s, %s, %s", el, wide ? "wide stack" : "XANES only", k) << el << wide << kind;
                }
    }
    void measuredMixtures()
    {
        QFETCH(QString, element);
        QFETCH(bool, wide);
        QFETCH(int, kind);
        const measured::Pair p = element == "Fe" ? measured::fe() : measured::cu();
        const measured::Mixer mix(p);
        QVERIFY(mix.ok());
        const XafsSpectrum ra = measured::reference(measured::file(qPrintable(p.a)));
        const XafsSpectrum rb = measured::reference(measured::file(qPrintable(p.b)));
        const QVector<double> e = wide ? p.wide() : p.xanes();
        const bool mlcf = kind == LcfFit::MLCF;
        for (double fa : {1.0, 0.0, 0.5}) {
            const XafsSpectrum t = block(mix, fa, e, 5 + unsigned(10 * fa));
            const LcfResult r = LcfFit::fit(LcfFit::Kind(kind), t, {LcfRefSnapshot::of(ra, true, 0), LcfRefSnapshot::of(rb, true, 0)},
                                            0, 30000, SuggestElm());
            QCOMPARE(r.status, LcfResult::Fitted);
            QVector<double> f, am;
            if (kind == LcfFit::LCF)
                asBlockFit(t, {&ra, &rb}, f, am);
            else
                ownScanFit(mlcf, t, {&ra, &rb}, f, am);
            for (int j = 0; j < 2; ++j) {
                QVERIFY2(std::fabs(r.fractions[j] - f[j]) < 1e-9 && std::fabs(r.amounts[j] - am[j]) < 1e-9,
                         qPrintable(QString("%1: %2 %3, %4 %5").arg(fa).arg(r.fractions[j]).arg(f[j]).arg(r.amounts[j]).arg(am[j])));
            }
            if (!heldToTruth(element, wide, kind, fa)) continue;
            const QString off = offTruth(kind, fa, r.fractions[0], r.fractions[1]);
            QVERIFY2(off.isEmpty(), qPrintable(off));
        }
    }

    // Synthetic references reaching past the stack on either side or both: the
    // same figures, with a block's energy shift and references with a dE too.
    void pastTheStack_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("side");
        QTest::addColumn<double>("offset");  // the block's energy shift
        QTest::addColumn<double>("dE");      // the references' shift
        for (int kind : {int(LcfFit::LCF), int(LcfFit::MLCF)})
            for (const char* side : {"both", "below", "above"}) {
                const char* k = kind == LcfFit::LCF ? "LCF" : "MLCF";
                QTest::addRow("%s, references past the stack %s", k, side) << kind << side << 0.0 << 0.0;
            }
        QTest::newRow("LCF, block shifted 2.5 eV, references by -3 eV") << int(LcfFit::LCF) << "both" << 2.5 << -3.0;
        QTest::newRow("MLCF, block shifted -1.7 eV") << int(LcfFit::MLCF) << "both" << -1.7 << 0.0;
    }
    void pastTheStack()
    {
        QFETCH(int, kind);
        QFETCH(QString, side);
        QFETCH(double, offset);
        QFETCH(double, dE);
        const QVector<double> e = longref::stackEnergies();
        const XafsSpectrum a = loaded(refFile(true, side, dE), dE), b = loaded(refFile(false, side, dE), dE);
        QVERIFY(!a.isEmpty() && !b.isEmpty() && !a.refused() && !b.refused());
        for (double fa : {1.0, 0.0, 0.5}) {
            const XafsSpectrum t = synthetic(fa, e, 1e5, 3 + unsigned(10 * fa), offset);
            const LcfResult r = LcfFit::fit(LcfFit::Kind(kind), t, {LcfRefSnapshot::of(a, true, 0, dE), LcfRefSnapshot::of(b, true, 0, dE)},
                                            0, 30000, SuggestElm());
            QCOMPARE(r.status, LcfResult::Fitted);
            const QString off = offTruth(kind, fa, r.fractions[0], r.fractions[1]);
            QVERIFY2(off.isEmpty(), qPrintable(off));
        }
    }

    // Through the panel's reference rows and the measured references: the
    // cursor's fits are those worked by hand above, a 2-D run's
    // fraction maps hold the same, in LCF and MLCF, with and without an
    // energy-shift map, and with the references normalised under the edge
    // suggestion of the spectra fitted to them.
    void panelReads_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<bool>("mlcf");
        QTest::addColumn<bool>("shifted");
        QTest::addColumn<bool>("window");  // the edge suggestion's window in use
        for (bool mlcf : {false, true}) {
            const char* k = mlcf ? "MLCF" : "LCF";
            QTest::addRow("Fe, %s", k) << "Fe" << mlcf << false << false;
            QTest::addRow("Cu, %s", k) << "Cu" << mlcf << false << false;
            QTest::addRow("Cu, %s, energy-shift map", k) << "Cu" << mlcf << true << false;
        }
        QTest::newRow("Cu, LCF, edge suggestion") << "Cu" << false << false << true;
    }
    void panelReads()
    {
        QFETCH(QString, element);
        QFETCH(bool, mlcf);
        QFETCH(bool, shifted);
        QFETCH(bool, window);
        const measured::Pair p = element == "Fe" ? measured::fe() : measured::cu();
        const measured::Mixer mix(p);
        QVERIFY(mix.ok());
        Body b;
        loadPhases(b, mix, p.xanes(), shifted);
        b.UseSuggestElm->setChecked(window);
        b.SuggestingEeV->setText(QString::number(p.edge));
        b.DPreE->setText(QStringLiteral("-15"));
        b.DPostS->setText(QStringLiteral("15"));
        Analyzer* a = AnalysisOnBody::of(b)->analyzer();
        Analysis2DDriver* driver = AnalysisOnBody::of(b)->driver();
        a->Sel2DA->setChecked(true);
        a->Sel2DAMLCFA->setChecked(true);
        a->MLCF->setChecked(mlcf);
        const int failures = FailureLog::count();
        QVERIFY(a->setLCFStd(0, true, 0, measured::file(qPrintable(p.a)), "0"));
        QVERIFY(a->setLCFStd(1, true, 0, measured::file(qPrintable(p.b)), "0"));
        // The cursor's fits, each against a fit on the reference files read
        // here, normalised under the block's conditions.
        QVector<QPointF> f;
        const LcfResult& r = a->lastLcf;
        for (int c = 0; c < 6; ++c) {
            b.showXafsSpectrum(c, 0);
            QVERIFY(QTest::qWaitFor([a] { return a->pending == 0; }, 10000));
            QCOMPARE(r.status, LcfResult::Fitted);
            f << QPointF(r.fractions.value(r.rows.indexOf(0)), r.fractions.value(r.rows.indexOf(1)));
            const XafsSpectrum& t = a->lastSpectrum;
            XafsSpectrum ra = measured::reference(measured::file(qPrintable(p.a)));
            XafsSpectrum rb = measured::reference(measured::file(qPrintable(p.b)));
            ra.normaliseUnder(t.suggest, t.lineType);
            rb.normaliseUnder(t.suggest, t.lineType);
            QVector<double> want, amounts;
            if (mlcf)
                ownScanFit(mlcf, t, {&ra, &rb}, want, amounts);
            else
                asBlockFit(t, {&ra, &rb}, want, amounts);
            QVERIFY2(std::fabs(f[c].x() - want[0]) < 1e-9 && std::fabs(f[c].y() - want[1]) < 1e-9,
                     qPrintable(QString("column %1: %2 %3, by hand %4 %5").arg(c).arg(f[c].x()).arg(f[c].y()).arg(want[0]).arg(want[1])));
        }
        // A run's maps hold the same figures.
        QVERIFY(runToEnd(a, driver));
        const int n = driver->lcfRefMaps.size() / 2;
        for (int c = 0; c < 6; ++c) {
            const QPointF m(driver->lcfRefMaps[n]->valueAt(c, 0), driver->lcfRefMaps[n + 1]->valueAt(c, 0));
            QVERIFY2(std::fabs(m.x() - f[c].x()) < 1e-9 && std::fabs(m.y() - f[c].y()) < 1e-9,
                     qPrintable(QString("column %1: run %2 %3, cursor %4 %5").arg(c).arg(m.x()).arg(m.y()).arg(f[c].x()).arg(f[c].y())));
        }
        QCOMPARE(FailureLog::count(), failures);
        for (int c = 0; c < 6; ++c) {
            const int kind = mlcf ? LcfFit::MLCF : LcfFit::LCF;
            if (!heldToTruth(element, false, kind, shareOf(c))) continue;
            const QString off = offTruth(kind, shareOf(c), f[c].x(), f[c].y());
            QVERIFY2(off.isEmpty(), qPrintable(QString("column %1, %2").arg(c).arg(off)));
        }
    }

#ifdef CORVENLITH_BIN
    // The program itself, headless, in the README's order (references, then the LCF range) and the other way
    // round. A reference that starts 20 eV after the stack's first frame but covers the LCF range: status 0 and
    // the same maps either way, the load saying only that it does not cover the range then in force. A range it
    // does lack: the run's "Err:" line and status 1, in either order.
    void headlessOrder_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<int>("failures");
        QTest::newRow("range covered") << 8965.0 << 0;
        QTest::newRow("range reaching below the reference") << 8945.0 << 1;
    }
    void headlessOrder()
    {
        QFETCH(double, from);
        QFETCH(int, failures);
        QTemporaryDir tmp;
        mixed::Stack st;
        st.regions = {{0, 8, 0.3, 0.9, 1.0, 0.0}, {9, 17, 0.5, 0.6, 0.3, 0.0}};
        QVERIFY(st.write(tmp.path()) && st.writeRef(tmp.filePath("ref2.dat"), false));
        QVERIFY(ts::writeSpectrum(tmp.filePath("late.dat"), synth::sample(st.from + 20, st.to + 40, 0.5, [&](double E) {
                                      return 0.2 + 1.1 * st.ref1(E);
                                  })));
        const QString late = tmp.filePath("late.dat");
        const QString load = "load_I1_files_of_pattern NEW TMP/i1/ *.tif\nload_I0_files_of_pattern NEW TMP/i0/ *.tif\n"
                             "Use_I0 1\nselect_region 0 0 18 12\nset_band_w 1\nset_band_h 1\n";
        const QString refs = "analyzer_set_LCF_std 0 1 0 TMP/late.dat 0\nanalyzer_set_LCF_std 1 1 0 TMP/ref2.dat 0\n";
        const QString range = QString("analyzer_set_LCF_range %1 9010\n").arg(from);
        QVector<QVector<ts::MapRow>> maps;
        for (bool readmeOrder : {true, false}) {
            const QString out = readmeOrder ? "readme" : "other";
            QVERIFY(QDir(tmp.path()).mkpath("out/" + out));
            QString script = load + (readmeOrder ? refs + range : range + refs)
                             + "analyzer_sub_mode 0 0 1 0 0\nanalyzer_exec_2da\nsaveDataCfg_save_as_text\nsaveDataCfg_text_as_xyz\n"
                               "analyzer_select_image_type 0\nanalyzer_select_image 0\nsave_data TMP/out/" + out + "/f\n"
                               "analyzer_select_image 1\nsave_data TMP/out/" + out + "/f\nquit\n";
            script.replace("TMP", tmp.path());
            const ts::ProgramRun r = ts::runHeadless(tmp.path(), script, 120000);
            const QString err = QString::fromUtf8(r.err);
            QVERIFY2(r.endedWith(failures), qPrintable(err.right(3000)));
            const QString notCovered = QString("analyzer_exec_2da: The LCF reference \"%1\" of row 0 does not cover the fit").arg(late);
            const auto lines = [&err](const QString& re) {
                return err.count(QRegularExpression("^" + re, QRegularExpression::MultilineOption));
            };
            QCOMPARE(lines("Err: line \\d+: " + QRegularExpression::escape(notCovered)), failures);
            QCOMPARE(lines("Err: "), failures);
            // Said at the load, never counted, where the range then in force (the whole spectrum at start) is not covered.
            QCOMPARE(err.contains(QString("The LCF reference \"%1\" of row 0 does not cover the LCF range set now").arg(late)),
                     readmeOrder || failures > 0);
            for (int row : {0, 1}) {
                const QVector<ts::MapRow> m = ts::readMapRows(tmp.filePath(QString("out/%1/f-%2.dat").arg(out).arg(row)));
                QCOMPARE(m.size(), 6 * 4);
                maps << m;
            }
        }
        // Value for value the same maps, and the truth of each region: 1 and 0.3 of the first reference.
        for (int k = 0; k < 2; ++k)
            for (int i = 0; i < maps[k].size(); ++i) {
                const ts::MapRow &a = maps[k][i], &b = maps[k + 2][i];
                QVERIFY2(a.ok && b.ok && a.x == b.x && a.y == b.y && a.v == b.v, qPrintable(a.line + " / " + b.line));
                const double f1 = a.x < 9 ? 1.0 : 0.3;
                QVERIFY2(std::fabs(a.v - (k == 0 ? f1 : 1 - f1)) < 0.03, qPrintable(a.line));
            }
    }

    // The program itself, headless, as the README's script runs it: the measured Cu references with Victoreen
    // lines, a stack over the XANES alone in 3 x 3 blocks of foil, CuO and half of each, 60000 photons a pixel.
    // The saved fraction maps read the foil and the mixture as the fits in the program do, in LCF and MLCF.
    void headlessMeasured()
    {
        QTemporaryDir tmp;
        const measured::Pair p = measured::cu();
        const measured::Mixer mix(p);
        QVERIFY(mix.ok());
        const QVector<double> e = p.xanes();
        auto share = [](int c) { return c < 3 ? 1.0 : c < 6 ? 0.0 : 0.5; };
        for (int k = 0; k < e.size(); ++k) {
            QVERIFY(ts::writeTiff(tmp.filePath("i1/" + ts::energyName("i1", e[k])), 9, 3, [&](int c, int r) {
                std::mt19937 g(17 + 7919 * k + 131 * c + r);
                return mix.i1(share(c), e[k], 60000, g);
            }));
            QVERIFY(ts::writeTiff(tmp.filePath("i0/" + ts::energyName("i0", e[k])), 9, 3, [](int, int) { return 60000.0; }));
        }
        for (bool mlcf : {false, true}) {
            const QString out = mlcf ? "mlcf" : "lcf";
            QVERIFY(QDir(tmp.path()).mkpath("out/" + out));
            QString script = "load_I1_files_of_pattern NEW TMP/i1/ *.tif\nload_I0_files_of_pattern NEW TMP/i0/ *.tif\n"
                             "Use_I0 1\nselect_region 0 0 9 3\nset_band_w 1\nset_band_h 1\n"
                             "analyzer_set_LCF_std 0 1 0 " + measured::file(qPrintable(p.a)) + "\n"
                             "analyzer_set_LCF_std 1 1 0 " + measured::file(qPrintable(p.b)) + "\n"
                             "analyzer_set_MLCF " + (mlcf ? "1" : "0") + "\n"
                             "analyzer_sub_mode 0 0 1 0 0\nanalyzer_exec_2da\nsaveDataCfg_save_as_text\nsaveDataCfg_text_as_xyz\n"
                             "analyzer_select_image_type 0\nanalyzer_select_image 0\nsave_data TMP/out/" + out + "/f\n"
                             "analyzer_select_image 1\nsave_data TMP/out/" + out + "/f\nquit\n";
            script.replace("TMP", tmp.path());
            const ts::ProgramRun r = ts::runHeadless(tmp.path(), script, 120000);
            QVERIFY2(r.endedWith(0), qPrintable(QString::fromUtf8(r.err).right(3000)));
            const QVector<ts::MapRow> f0 = ts::readMapRows(tmp.filePath(QString("out/%1/f-0.dat").arg(out)));
            const QVector<ts::MapRow> f1 = ts::readMapRows(tmp.filePath(QString("out/%1/f-1.dat").arg(out)));
            QCOMPARE(f0.size(), 3);
            QCOMPARE(f1.size(), 3);
            for (int i = 0; i < 3; ++i) {
                QVERIFY(f0[i].ok && f1[i].ok && f0[i].x == f1[i].x);
                const double fa = share(f0[i].x);
                const int kind = mlcf ? LcfFit::MLCF : LcfFit::LCF;
                if (!heldToTruth(p.name, false, kind, fa)) continue;
                const QString off = offTruth(kind, fa, f0[i].v, f1[i].v);
                QVERIFY2(off.isEmpty(), qPrintable(off));
            }
        }
    }

    // The program itself, headless: a reference row shifted so that its edge lies 45 eV above the stack's
    // edge gives no fraction in any of the three blocks. The run says why, counted as its failure, and ends with status 1; its
    // fraction maps hold 0, not a plausible mixture.
    void headlessWithheld()
    {
        QTemporaryDir tmp;
        const measured::Pair p = measured::cu();
        const measured::Mixer mix(p);
        QVERIFY(mix.ok());
        const QVector<double> e = p.xanes();
        for (int k = 0; k < e.size(); ++k) {
            QVERIFY(ts::writeTiff(tmp.filePath("i1/" + ts::energyName("i1", e[k])), 9, 3, [&](int c, int r) {
                std::mt19937 g(23 + 7919 * k + 131 * c + r);
                return mix.i1(0.5, e[k], 60000, g);
            }));
            QVERIFY(ts::writeTiff(tmp.filePath("i0/" + ts::energyName("i0", e[k])), 9, 3, [](int, int) { return 60000.0; }));
        }
        QVERIFY(QDir(tmp.path()).mkpath("out"));
        QString script = "load_I1_files_of_pattern NEW TMP/i1/ *.tif\nload_I0_files_of_pattern NEW TMP/i0/ *.tif\n"
                         "Use_I0 1\nselect_region 0 0 9 3\nset_band_w 1\nset_band_h 1\n"
                         "analyzer_set_LCF_std 0 1 0 " + measured::file(qPrintable(p.a)) + "\n"
                         "analyzer_set_LCF_std 1 1 -45 " + measured::file(qPrintable(p.b)) + "\n"
                         "analyzer_set_LCF_range 8940 9040\n"
                         "analyzer_sub_mode 0 0 1 0 0\nanalyzer_exec_2da\nsaveDataCfg_save_as_text\nsaveDataCfg_text_as_xyz\n"
                         "analyzer_select_image_type 0\nanalyzer_select_image 2\nsave_data TMP/out/f\nquit\n";
        script.replace("TMP", tmp.path());
        const ts::ProgramRun r = ts::runHeadless(tmp.path(), script, 120000);
        const QString err = QString::fromUtf8(r.err);
        QVERIFY2(r.endedWith(1), qPrintable(err.right(3000)));
        QVERIFY2(err.contains("Failures in this run: 1; the first: 2-D run gave no result: in each of its 3 blocks the LCF fit "
                              "failed (reference row 1, normalised over the block's ranges, has an edge jump "),
                 qPrintable(err.right(3000)));
        const QVector<ts::MapRow> f = ts::readMapRows(tmp.filePath("out/f-2.dat"));
        QCOMPARE(f.size(), 3);
        for (const ts::MapRow& m : f) QVERIFY2(m.ok && m.v == 0, qPrintable(m.line));
    }
#endif
};

QTEST_MAIN(TestLongRefs)
#include "tst_longrefs.moc"
