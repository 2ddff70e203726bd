#include <QtTest>
#include <cmath>

#include "core/XafsSpectrum.h"

namespace {

const double hc = 12398.424360387684;

struct Line {
    double c0, k;
    double operator()(double E) const { return c0 + k * E; }
};

// mu(E) blending two background lines through a tanh step at E0.
template <typename Pre, typename Post>
Spectrum edge(double from, double to, double step, double E0, double width, Pre pre, Post post,
              double noise = 0)
{
    Spectrum s;
    const int n = int(std::lround((to - from) / step));
    for (int i = 0; i <= n; ++i) {
        const double E = from + i * step;
        const double f = 0.5 * (1 + std::tanh((E - E0) / width));
        // Deterministic wiggle standing in for counting noise.
        const double wiggle = noise * std::sin(i * 2.3);
        s.append(E, (1 - f) * pre(E) + f * post(E) + wiggle);
    }
    return s;
}

SuggestElm windowAt(double edgeEnergy, double preOffset = -20, double postOffset = 20)
{
    SuggestElm s;
    s.useWindow = true;
    s.edgeEnergy = edgeEnergy;
    s.preOffset = preOffset;
    s.postOffset = postOffset;
    return s;
}

// E0 at a fraction, written straight from its definition with smoothedY.
double energyByDefinition(const XafsSpectrum& s, double f)
{
    auto target = [&](double E) { return f * s.post.value(E) + (1 - f) * s.pre.value(E); };
    const int n = s.size();
    int k = 0;
    double best = 0;
    for (int i = 1; i <= n - 2; ++i) {
        const double sa = s.smoothedY(s.xAt(i - 1)), sc = s.smoothedY(s.xAt(i + 1));
        const double t = target(s.xAt(i));
        if (sa < t && t < sc && sc - sa > best) {
            best = sc - sa;
            k = i;
        }
    }
    if (k == 0)
        return s.midx;
    const double E[3] = {s.xAt(k - 1), s.xAt(k), s.xAt(k + 1)};
    double d[3];
    for (int j = 0; j < 3; ++j)
        d[j] = target(E[j]) - s.smoothedY(E[j]);
    const double zab = E[0] + d[0] * (E[1] - E[0]) / (d[0] - d[1]);
    const double zbc = E[1] + d[1] * (E[2] - E[1]) / (d[1] - d[2]);
    const double zac = E[0] + d[0] * (E[2] - E[0]) / (d[0] - d[2]);
    return (zab + zbc + zac) / 3;
}
}  // namespace

class TestXafsSpectrum : public QObject
{
    Q_OBJECT

private slots:
    void straightLineEdge_data();
    void straightLineEdge();
    void victoreenEdge();
    void derivedCurves();
    void neverRising();
    void fewPoints();
    void crossingWithZeroDenominator();
    void energyAtFractionMatchesDefinition();
    void windowNoisy();
    void recalcIgnoresStaleCorrection();
    void postBelowPreIsSeparated();
};

void TestXafsSpectrum::straightLineEdge_data()
{
    QTest::addColumn<double>("E0");
    QTest::addColumn<double>("jump");
    QTest::newRow("on grid") << 9000.0 << 1.0;
    QTest::newRow("between points") << 8985.3 << 0.4;
    QTest::newRow("large jump") << 9012.7 << 25.0;
}

void TestXafsSpectrum::straightLineEdge()
{
    QFETCH(double, E0);
    QFETCH(double, jump);
    const Line pre{0.2 - 2e-5 * 8900, 2e-5};
    const Line post{pre.c0 + jump, 1e-5};
    const double postAtE0 = post(E0), preAtE0 = pre(E0);
    const Spectrum raw = edge(8800, 9200, 0.5, E0, 1.0, pre, post);

    const XafsSpectrum s(raw, "edge", 1, 0, SuggestElm());
    QVERIFY2(qAbs(s.midx - E0) < 0.02, qPrintable(QString::number(s.midx, 'f', 6)));
    QVERIFY(qAbs(s.pre.k - pre.k) < 1e-9);
    QVERIFY(qAbs(s.pre.c0 - pre.c0) < 1e-5);
    QVERIFY(qAbs(s.post.k - post.k) < 1e-9);
    QVERIFY(qAbs(s.post.c0 - post.c0) < 1e-5);
    QVERIFY(s.pre.fitted && s.post.fitted);
    QVERIFY(qAbs(s.dMut - (postAtE0 - preAtE0)) < 1e-5 * jump);
    QCOMPARE(s.fraction, 0.5);
    // Fit ranges: from the first point to E0 guess - 10, and from guess + 10
    // to the last point.
    QCOMPARE(s.pre.fitFrom, 8800.0);
    QCOMPARE(s.post.fitTo, 9200.0);
    QVERIFY(qAbs(s.pre.fitTo - (E0 - 10)) < 1);
    QVERIFY(qAbs(s.post.fitFrom - (E0 + 10)) < 1);
    // The extensions of these lines never meet near the edge: no correction.
    QVERIFY(!s.pre.correctionOn && !s.post.correctionOn);
}

void TestXafsSpectrum::victoreenEdge()
{
    auto vic = [](double a, double c1, double c2) {
        return [=](double E) {
            const double L = hc / E;
            return a + (c1 + c2 * L) * L * L * L;
        };
    };
    const auto pre = vic(0.1, 0.08, -0.01);
    const auto post = vic(1.1, 0.05, -0.006);
    const double E0 = 9000;
    const Spectrum raw = edge(6000, 14000, 2, E0, 2, pre, post);
    XafsSpectrum s(raw, "vic", 0, 0, SuggestElm());
    QVERIFY(qAbs(s.midx - E0) < 0.05);
    QCOMPARE(s.pre.lineType, 0);
    QVERIFY2(qAbs(s.pre.c0 - 0.1) < 1e-4, qPrintable(QString::number(s.pre.c0, 'g', 12)));
    QVERIFY(qAbs(s.pre.c1 - 0.08) < 1e-4);
    QVERIFY(qAbs(s.pre.c2 + 0.01) < 1e-4);
    QVERIFY(qAbs(s.post.c0 - 1.1) < 1e-4);
    QVERIFY(qAbs(s.post.c1 - 0.05) < 1e-4);
    QVERIFY(qAbs(s.post.c2 + 0.006) < 1e-4);
    QVERIFY(qAbs(s.dMut - (post(s.midx) - pre(s.midx))) < 1e-4);
    QVERIFY(!s.pre.correctionOn && !s.post.correctionOn);
}

void TestXafsSpectrum::derivedCurves()
{
    const Line pre{0.3, 0};
    const Line post{2.3, 0};
    const Spectrum raw = edge(8900, 9100, 1, 9000, 1, pre, post);
    const XafsSpectrum s(raw, "flat lines", 1, 0, SuggestElm());
    const int n = raw.size();
    QVERIFY(qAbs(s.dMut - 2.0) < 1e-7);
    // Far below the edge / far above it.
    const struct { const Spectrum* c; double below, above; } curves[] = {
        {&s.normalizedCurve, 0, 1}, {&s.doubleNormalizedPreBaseCurve, 0, 1},
        {&s.postBaseCurve, -1, 0}, {&s.doubleNormalizedPostBaseCurve, -1, 0}};
    for (const auto& k : curves) {
        QCOMPARE(k.c->size(), n);
        for (int i = 0; i < n; ++i)
            QCOMPARE(k.c->xAt(i), raw.xAt(i));
        QVERIFY(qAbs(k.c->yAt(5) - k.below) < 1e-7);
        QVERIFY(qAbs(k.c->yAt(n - 5) - k.above) < 1e-7);
    }
    // At the edge point itself mu = 1.3: half-way.
    const int mid = 100;
    QCOMPARE(raw.xAt(mid), 9000.0);
    QVERIFY(qAbs(s.doubleNormalizedPreBaseCurve.yAt(mid) - 0.5) < 1e-7);
    QVERIFY(qAbs(s.normalizedCurve.yAt(mid) - 0.5) < 1e-7);
    // The normalisation smooths with five points.
    QCOMPARE(s.smoothed.size(), n);
    QVERIFY(qAbs(s.smoothed[10] - (raw.yAt(8) + raw.yAt(9) + raw.yAt(10) + raw.yAt(11) + raw.yAt(12)) / 5)
            < 1e-12);
}

// Smoothed values that never rise: the guess stays the first energy, and with
// no crossing E0 keeps that guess instead of a blend with energy 0.
void TestXafsSpectrum::neverRising()
{
    Spectrum raw;
    for (int i = 0; i < 50; ++i)
        raw.append(9000 + i, 5.0 - 0.01 * i);
    const XafsSpectrum s(raw, "falling", 1, 0, SuggestElm());
    QCOMPARE(s.pre.fitTo, 9000.0 - 10);  // guess = first energy
    // Nothing before the first energy to fit a pre-edge line to.
    QVERIFY(s.noisy);
    QCOMPARE(s.dMut, 0.0);

    Spectrum flat;
    for (int i = 0; i < 50; ++i)
        flat.append(9000 + i, 1.0);
    const XafsSpectrum f(flat, "flat", 1, 0, SuggestElm());
    QCOMPARE(f.pre.fitTo, 9000.0 - 10);
}

void TestXafsSpectrum::fewPoints()
{
    Spectrum two;
    two.append(9000, 1);
    two.append(9001, 2);
    const XafsSpectrum s(two, "two", 1, 0, SuggestElm());
    QVERIFY(s.noisy);  // too few points for either line
    QCOMPARE(s.normalizedCurve.size(), 2);

    Spectrum one;
    one.append(9000, 1);
    const XafsSpectrum o(one, "one", 1, 0, windowAt(9000));
    QVERIFY(std::isfinite(o.midx));
    QCOMPARE(o.doubleNormalizedPreBaseCurve.size(), 1);

    XafsSpectrum empty;
    empty.recalc(1);  // nothing to do
    QCOMPARE(empty.midx, 0.0);
    empty.calc(1);    // an empty spectrum must not trip the normalisation
    QCOMPARE(empty.normalizedCurve.size(), 0);
}

// A qualifying point whose neighbour has the same distance to the target:
// that pairwise crossing has no denominator and is left out of the mean.
void TestXafsSpectrum::crossingWithZeroDenominator()
{
    XafsSpectrum s;
    s.append(1, 0);
    s.append(2, 0);
    s.append(3, 1);
    s.smoothed = {0, 0, 1};
    s.pre.k = 0;
    s.pre.c0 = 0;
    s.post.k = 0;
    s.post.c0 = 1;
    // d = (0.5, 0.5, -0.5): crossings b-c at 2.5 and a-c at 2.
    QCOMPARE(s.energyAtFraction(0.5), 2.25);
    QCOMPARE(s.setFraction(0.5), 2.25);
    // Target 0.75 between the lines: d = (0.75, 0.75, -0.25).
    QCOMPARE(s.setFraction(0.75), (2.75 + (1 + 0.75 * 2 / 1.0)) / 2);
    QCOMPARE(s.fraction, 0.75);
}

// The search reads smoothed values at the points' own energies without
// bisecting; it must agree with smoothedY, also where energies repeat and
// with the x shift on.
void TestXafsSpectrum::energyAtFractionMatchesDefinition()
{
    const Spectrum raw = edge(8900, 9100, 0.7, 9003.3, 2, Line{-0.7, 1e-4}, Line{0.92, 2e-5}, 0.004);
    XafsSpectrum plain(raw, "plain", 1, 0, SuggestElm());
    XafsSpectrum repeated = plain;
    repeated.points[150].rx() = repeated.points[151].x();
    repeated.smooth(2);
    XafsSpectrum shifted = plain;
    shifted.xShiftOn = true;
    shifted.xShift = 0.35;
    // A post line falling fast enough that the pre line is bent towards it.
    const Spectrum steep = edge(8900, 9100, 0.7, 9003.3, 2, Line{-0.7, 1e-4}, Line{46.1, -5e-3}, 0.004);
    XafsSpectrum corrected(steep, "corrected", 1, 0, SuggestElm());
    QVERIFY(corrected.pre.correctionOn);
    for (const XafsSpectrum* s : {&plain, &repeated, &shifted, &corrected}) {
        for (double f = 0.05; f < 1; f += 0.05) {
            const double want = energyByDefinition(*s, f);
            QCOMPARE(s->energyAtFraction(f) == want, true);
        }
    }
}

void TestXafsSpectrum::windowNoisy()
{
    const Line pre{0.2, 0};
    const Line post{1.2, 0};
    const Spectrum raw = edge(8800, 9200, 0.5, 9000, 1.5, pre, post, 0.01);
    SuggestElm w = windowAt(9003);
    w.noiseFactor = 1000;
    const XafsSpectrum s(raw, "noisy", 1, 0, w);
    QVERIFY(s.noisy);
    QVERIFY(!s.outOfRange);
    QCOMPARE(s.midx, 9003.0);
    QCOMPARE(s.dMut, 0.0);

    w.noiseFactor = 1;
    const XafsSpectrum quiet(raw, "quiet", 1, 0, w);
    QVERIFY(!quiet.noisy && !quiet.outOfRange);
    QVERIFY(qAbs(quiet.midx - 9000) < 0.1);
}

// A second calc on new data must not measure the gap against the first
// calc's correction curve.
void TestXafsSpectrum::recalcIgnoresStaleCorrection()
{
    auto steepPre = [](double E) { return 10 + 0.05 * (E - 8990); };
    const Line flatPost{20, 0};
    const Spectrum a = edge(8800, 9200, 0.5, 9000, 1.5, steepPre, flatPost);
    const Spectrum b = edge(8800, 9200, 0.5, 9000, 1.5, Line{0, 0}, Line{1, 0});

    XafsSpectrum reused(a, "a", 1, 0, SuggestElm());
    QVERIFY(reused.pre.correctionOn);
    static_cast<Spectrum&>(reused) = b;
    reused.calc(1);

    const XafsSpectrum fresh(b, "b", 1, 0, SuggestElm());
    QCOMPARE(reused.midx, fresh.midx);
    QCOMPARE(reused.dMut, fresh.dMut);
    QCOMPARE(reused.pre.c0, fresh.pre.c0);
    QCOMPARE(reused.post.c0, fresh.post.c0);
    QVERIFY(qAbs(fresh.dMut - 1) < 1e-6);
    QCOMPARE(reused.pre.correctionOn, fresh.pre.correctionOn);
}

// Post-edge data below the pre-edge data: the lines are moved apart so that
// the post line ends a tenth of the gap above the pre line at the guess.
void TestXafsSpectrum::postBelowPreIsSeparated()
{
    XafsSpectrum s;
    for (int i = 0; i <= 100; ++i)
        s.append(9000 + i, i < 50 ? 2.0 : 1.0);
    s.smooth(2);
    QVERIFY(s.fitPrePost(9050, 1));
    // Gap -1 at 9050: pre moves down and post up by 0.55 each.
    QVERIFY(qAbs(s.pre.c0 - (2.0 - 0.55)) < 1e-9);
    QVERIFY(qAbs(s.post.c0 - (1.0 + 0.55)) < 1e-9);
    QVERIFY(qAbs(s.post.value(9050) - s.pre.value(9050) - 0.1) < 1e-9);
}

QTEST_GUILESS_MAIN(TestXafsSpectrum)
#include "tst_xafsspectrum.moc"
