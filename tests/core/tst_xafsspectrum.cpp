#include <QtTest>
#include <cmath>
#include <memory>

#include "core/VictLine.h"
#include "core/XafsSpectrum.h"
#include "support/EdgeSpectra.h"
#include "support/Files.h"
#include "support/Messages.h"

namespace {

const double hc = 12398.424360387684;

// What calc must give: E0 and the jump within tolerances, or the flags and no jump.
struct Verdict {
    bool noisy, outOfRange;
    double E0, tolE0, jump, tolJump;
};

// An energy-shift search: the reference's edge, the spectrum's edge, the
// search centre (the difference of the two midx), the search and its answer.
struct Search {
    double refE0, E0, centre, range, step, minStep, expected;
};

// A fit asked of a line that held k 0.5, c0 7, sigma 0.25, nine points, 1 .. 2.
struct Refusal {
    double from, to;
    int type;
    bool ok;
    int count;
    double c0, k, sigma;
};

SuggestElm windowAt(double edgeEnergy, double noiseFactor = 1)
{
    SuggestElm s;
    s.useWindow = true;
    s.edgeEnergy = edgeEnergy;
    s.noiseFactor = noiseFactor;
    return s;
}

// A small bump inside the window and a step 80 eV above it: the bump is the
// steepest rise the window sees, the step decides the lines.
Spectrum bumpAndStep(double stepJump)
{
    edges::Edge e;
    e.E0 = 9080;
    e.postC0 = e.preC0 + stepJump;
    return synth::sample(8800, 9300, 1, [&](double E) {
        return e.mu(E) + 0.02 * std::exp(-std::pow((E - 9000) / 3, 2));
    });
}

// E0 at a fraction, written straight from its definition with smoothedY.
double energyByDefinition(const XafsSpectrum& s, double f)
{
    auto target = [&](double E) { return f * s.post.value(E) + (1 - f) * s.pre.value(E); };
    int k = 0;
    double best = 0;
    for (int i = 1; i <= s.size() - 2; ++i) {
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

// A calculated spectrum on 0.5 eV steps from E0 - 200 to E0 + 200; every
// energy is an exact binary fraction, so shifting by whole or half eV is exact.
// A little structure above the edge makes scores depend on position.
XafsSpectrum shiftEdgeAt(double E0)
{
    return XafsSpectrum(synth::sample(E0 - 200, E0 + 200, 0.5, [E0](double E) {
                            const double wiggle = E > E0 ? 0.05 * std::sin((E - E0) / 7) : 0;
                            return 0.2 + synth::sigmoid(E, E0, 3) * (1 + wiggle);
                        }),
                        "edge", 1, 0, SuggestElm());
}

// The score written straight from its definition, with Spectrum::y lookups.
double scoreByDefinition(const XafsSpectrum& s, double shift, const XafsSpectrum& ref)
{
    double saa = 0, sbb = 0, sab = 0;
    for (int i = 0; i < s.size(); ++i) {
        const double E = s.xAt(i) - shift;
        if (E < ref.minX || E > ref.maxX)
            continue;
        const double a = s.doubleNormalizedPreBaseCurve.yAt(i);
        const double b = ref.doubleNormalizedPreBaseCurve.y(E);
        saa += a * a;
        sbb += b * b;
        sab += a * b;
    }
    return (saa > 0 && sbb > 0) ? sab / std::sqrt(saa * sbb) : 0.0;
}

// An irregular noisy scan.
XafsSpectrum irregular(double E0, unsigned seed)
{
    std::srand(seed);
    Spectrum raw;
    for (double E = E0 - 150; E < E0 + 150; E += 0.3 + 2.0 * (std::rand() % 100) / 100.0)
        raw.append(E, 0.1 + synth::sigmoid(E, E0, 2) + 0.01 * (std::rand() % 100) / 100.0);
    return XafsSpectrum(raw, "irregular", 1, 0, SuggestElm());
}

// Cubic Bezier point at t, written out independently of the line's sampler.
QPointF bezier(const QPointF q[4], double t)
{
    QPointF a[4] = {q[0], q[1], q[2], q[3]};
    for (int level = 3; level > 0; --level)
        for (int i = 0; i < level; ++i)
            a[i] = a[i] * (1 - t) + a[i + 1] * t;
    return a[0];
}

VictLine straight(double k, double c0, double from, double to)
{
    VictLine l;
    l.lineType = 1;
    l.k = k;
    l.c0 = c0;
    l.fitFrom = from;
    l.fitTo = to;
    return l;
}

}  // namespace

Q_DECLARE_METATYPE(Spectrum)
Q_DECLARE_METATYPE(Verdict)
Q_DECLARE_METATYPE(Search)
Q_DECLARE_METATYPE(Refusal)

class TestXafsSpectrum : public QObject
{
    Q_OBJECT

    std::unique_ptr<ts::MessageLog> log;

private slots:
    void initTestCase() { log.reset(new ts::MessageLog); }
    void cleanupTestCase()
    {
        // Many flagged spectra and refused searches below, one line per cause.
        QCOMPARE(log->lines.filter("a pre- or post-edge line has too few points").size(), 1);
        QCOMPARE(log->lines.filter("no mid-line crossing inside the edge window").size(), 1);
        QCOMPARE(log->lines.filter("findEnergyShift: step or minimum step").size(), 1);
        QCOMPARE(log->lines.filter("findEnergyShift: step below the minimum").size(), 1);
        log.reset();
    }

    // E0 and jump against the analytic edge; spectra that cannot be
    // normalised say so and carry no jump.
    void normalisation_data()
    {
        QTest::addColumn<Spectrum>("raw");
        QTest::addColumn<int>("lineType");
        QTest::addColumn<SuggestElm>("window");
        QTest::addColumn<Verdict>("want");

        const SuggestElm none;
        const SuggestElm at9000 = windowAt(9000);
        // Flagged: E0 at the suggested edge energy (9000 with the window), no jump.
        const Verdict noisyHere{true, false, none.edgeEnergy, 0, 0, 0};
        const Verdict noisy9000{true, false, 9000, 0, 0, 0};
        const Verdict outside{false, true, 9000, 0, 0, 0};
        const Verdict noisyOutside{true, true, 9000, 0, 0, 0};
        const edges::Edge e;  // E0 9000, jump 1
        const Verdict edgeE{false, false, 9000, 0.02, e.jump(), 1e-4};
        QTest::newRow("straight lines") << e.sample(8800, 9200, 0.5) << 1 << none << edgeE;
        QTest::newRow("3 eV grid") << e.sample(8700, 9300, 3) << 1 << none << Verdict{false, false, 9000, 0.1, 1, 1e-3};
        // Lines far apart in slope: the jump must be taken at E0, not at the first guess.
        edges::Edge apart{8985.3, 1.5, 0.2 - 6e-4 * 9000, 6e-4, 1.2 + 3e-4 * 9000, -3e-4};
        QTest::newRow("between points, lines apart")
            << apart.sample(8800, 9200, 0.5) << 1 << none << Verdict{false, false, 8985.3, 0.02, apart.jump(), 1e-4};
        edges::Edge large{9012.7, 1.5, 0.2, 1e-5, 25.2, 1e-5};
        QTest::newRow("large jump") << large.sample(8800, 9200, 0.5) << 1 << none
                                    << Verdict{false, false, 9012.7, 0.02, 25, 25e-5};
        auto vic = [](double a, double c1, double c2) {
            return [=](double E) { return a + (c1 + c2 * hc / E) * std::pow(hc / E, 3); };
        };
        const auto vicPre = vic(0.1, 0.08, -0.01), vicPost = vic(1.1, 0.05, -0.006);
        const Spectrum vicEdge = synth::sample(6000, 14000, 2, [&](double E) {
            const double f = synth::sigmoid(E, 9000, 2);
            return (1 - f) * vicPre(E) + f * vicPost(E);
        });
        QTest::newRow("Victoreen lines") << vicEdge << 0 << none
                                         << Verdict{false, false, 9000, 0.05, vicPost(9000) - vicPre(9000), 1e-4};
        QTest::newRow("window") << e.sample(8800, 9200, 0.5) << 1 << at9000 << edgeE;
        edges::Edge off = e;
        off.E0 = 9010;
        QTest::newRow("edge 10 eV into the window")
            << off.sample(8800, 9200, 0.5) << 1 << at9000 << Verdict{false, false, 9010, 0.02, 1, 1e-4};
        const Spectrum wiggly =
            synth::sample(8800, 9200, 0.5, [&](double E) { return e.mu(E) + 0.01 * std::sin(E * 4.6); });
        QTest::newRow("wiggles, window")
            << wiggly << 1 << windowAt(9003) << Verdict{false, false, 9000, 0.1, 1, 1e-2};
        QTest::newRow("wiggles, window, strict noise test")
            << wiggly << 1 << windowAt(9003, 1000) << Verdict{true, false, 9003, 0, 0, 0};
        off.E0 = 9200;
        QTest::newRow("data above the window") << off.sample(9100, 9300, 1) << 1 << at9000 << noisyOutside;
        QTest::newRow("starts 9 eV below the edge") << e.sample(8991, 9200, 0.5) << 1 << none << noisyHere;
        QTest::newRow("starts 9 eV below the edge, window") << e.sample(8991, 9200, 0.5) << 1 << at9000 << noisy9000;
        QTest::newRow("ends 9 eV above the edge") << e.sample(8800, 9009, 0.5) << 1 << none << noisyHere;
        QTest::newRow("constant (dead pixel)") << edges::constant(8800, 9200, 0.5, 1.0) << 1 << none << noisyHere;
        QTest::newRow("two points") << e.sample(8999, 9001, 2) << 1 << none << noisyHere;
        QTest::newRow("one point, window") << e.sample(9000, 9000, 1) << 1 << at9000 << noisyOutside;
        QTest::newRow("rising step outside the window") << bumpAndStep(1.0) << 1 << at9000 << outside;
        QTest::newRow("no crossing, window") << bumpAndStep(-1.0) << 1 << at9000 << outside;
        // Without the window the first guess stands, as it always has.
        QTest::newRow("no crossing, no window")
            << bumpAndStep(-1.0) << 1 << none << Verdict{false, false, 8997, 0, 0.051028, 1e-6};
    }
    void normalisation()
    {
        QFETCH(Spectrum, raw);
        QFETCH(int, lineType);
        QFETCH(SuggestElm, window);
        QFETCH(Verdict, want);
        // Flagged spectra are flagged whatever the line type.
        const QVector<int> types = want.jump == 0 ? QVector<int>{1, 0} : QVector<int>{lineType};
        for (int type : types) {
            const XafsSpectrum s(raw, "s", type, 0, window);
            QCOMPARE(s.noisy, want.noisy);
            QCOMPARE(s.outOfRange, want.outOfRange);
            QVERIFY2(std::fabs(s.midx - want.E0) <= want.tolE0, qPrintable(QString::number(s.midx, 'g', 10)));
            QVERIFY2(std::fabs(s.dMut - want.jump) <= want.tolJump, qPrintable(QString::number(s.dMut, 'g', 10)));
        }
    }

    // Flat lines 0.3 and 2.3: every curve is known below, above and at the edge.
    void derivedCurves()
    {
        const Spectrum raw = edges::Edge{9000, 1, 0.3, 0, 2.3, 0}.sample(8900, 9100, 1);
        const XafsSpectrum s(raw, "flat lines", 1, 0, SuggestElm());
        const int n = raw.size();
        const int mid = 100;  // 9000 eV, mu 1.3
        const struct { const Spectrum* c; double below, edge, above; } curves[] = {
            {&s.normalizedCurve, 0, 0.5, 1}, {&s.doubleNormalizedPreBaseCurve, 0, 0.5, 1},
            {&s.postBaseCurve, -1, -0.5, 0}, {&s.doubleNormalizedPostBaseCurve, -1, -0.5, 0}};
        for (const auto& k : curves) {
            QCOMPARE(k.c->points.size(), n);
            for (int i = 0; i < n; ++i)
                QCOMPARE(k.c->xAt(i), raw.xAt(i));
            QVERIFY(qAbs(k.c->yAt(5) - k.below) < 1e-7);
            QVERIFY(qAbs(k.c->yAt(mid) - k.edge) < 1e-7);
            QVERIFY(qAbs(k.c->yAt(n - 5) - k.above) < 1e-7);
        }
        // The normalisation smooths with five points.
        double five = 0;
        for (int i = 8; i <= 12; ++i)
            five += raw.yAt(i) / 5;
        QVERIFY(qAbs(s.smoothed[10] - five) < 1e-12);

        XafsSpectrum empty;
        empty.recalc(1);
        empty.calc(1);  // an empty spectrum must not trip the normalisation
        QCOMPARE(empty.normalizedCurve.points.size(), 0);
    }

    // d = (0.5, 0.5, -0.5): the b-c crossing at 2.5 and a-c at 2; the a-b pair
    // has no denominator and is left out of the mean.
    void crossingWithZeroDenominator()
    {
        XafsSpectrum s;
        s.append(1, 0);
        s.append(2, 0);
        s.append(3, 1);
        s.smoothed = {0, 0, 1};
        s.post.c0 = 1;
        QCOMPARE(s.energyAtFraction(0.5), 2.25);
        // d = (0.75, 0.75, -0.25): crossings at 2.75 and 2.5.
        QCOMPARE(s.energyAtFraction(0.75), 2.625);
    }

    // The search reads smoothed values at the points' own energies without
    // bisecting; it must agree with smoothedY, also where energies repeat,
    // with the x shift on and along a corrected pre line.
    void energyAtFractionMatchesDefinition()
    {
        edges::Edge e{9003.3, 2, -0.7, 1e-4, 0.92, 2e-5};
        auto noisy = [&](double E) { return e.mu(E) + 0.004 * std::sin(E * 3.3); };
        XafsSpectrum plain(synth::sample(8900, 9100, 0.7, noisy), "plain", 1, 0, SuggestElm());
        XafsSpectrum repeated = plain;
        repeated.points[150].rx() = repeated.points[151].x();
        repeated.smooth(2);
        XafsSpectrum shifted = plain;
        shifted.xShiftOn = true;
        shifted.xShift = 0.35;
        // A post line falling fast enough that the pre line is bent towards it.
        e.postC0 = 46.1;
        e.postK = -5e-3;
        XafsSpectrum corrected(synth::sample(8900, 9100, 0.7, noisy), "corrected", 1, 0, SuggestElm());
        QVERIFY(corrected.pre.correctionOn);
        for (const XafsSpectrum* s : {&plain, &repeated, &shifted, &corrected})
            for (double f = 0.05; f < 1; f += 0.05)
                QCOMPARE(s->energyAtFraction(f) == energyByDefinition(*s, f), true);
    }

    // A second calc on new data must not measure the gap against the first
    // calc's correction curve.
    void recalcIgnoresStaleCorrection()
    {
        const Spectrum a = synth::sample(8800, 9200, 0.5, [](double E) {
            const double f = synth::sigmoid(E, 9000, 1.5);
            return (1 - f) * (10 + 0.05 * (E - 8990)) + f * 20;
        });
        XafsSpectrum reused(a, "a", 1, 0, SuggestElm());
        QVERIFY(reused.pre.correctionOn);
        static_cast<Spectrum&>(reused) = edges::Edge{9000, 1.5, 0, 0, 1, 0}.sample(8800, 9200, 0.5);
        reused.calc(1);
        QVERIFY(qAbs(reused.dMut - 1) < 1e-6);
        QVERIFY(qAbs(reused.midx - 9000) < 0.02);
        QVERIFY(!reused.pre.correctionOn);
    }

    // Post-edge data below the pre-edge data (gap -1 at 9050): the lines move
    // apart by 0.55 each, so the post line ends a tenth of the gap above.
    void postBelowPreIsSeparated()
    {
        XafsSpectrum s;
        for (int i = 0; i <= 100; ++i)
            s.append(9000 + i, i < 50 ? 2.0 : 1.0);
        s.smooth(2);
        QVERIFY(s.fitPrePost(9050, 1));
        QVERIFY(qAbs(s.pre.c0 - 1.45) < 1e-9);
        QVERIFY(qAbs(s.post.c0 - 1.55) < 1e-9);
    }

    // Files come in every order; the normalisation sees ascending energies.
    void fileOrder_data()
    {
        QTest::addColumn<QVector<QPointF>>("inFile");
        QTest::addColumn<QVector<QPointF>>("expected");

        const QVector<QPointF> up = edges::Edge().sample(8900, 9100, 1).points;
        QVector<QPointF> swapped = up;
        std::swap(swapped[100], swapped[101]);  // at the edge
        QVector<QPointF> repeated = up;
        repeated.insert(100, up[100]);
        QVector<QPointF> twoValues = up;
        twoValues.insert(101, QPointF(up[100].x(), up[100].y() + 0.5));
        QVector<QPointF> averaged = up;
        averaged[100].ry() += 0.25;

        QTest::newRow("ascending (control)") << up << up;
        QTest::newRow("descending") << QVector<QPointF>(up.rbegin(), up.rend()) << up;
        QTest::newRow("neighbours swapped at the edge") << swapped << up;
        QTest::newRow("point repeated") << repeated << up;
        QTest::newRow("one energy, two values") << twoValues << averaged;
    }
    void fileOrder()
    {
        QFETCH(QVector<QPointF>, inFile);
        QFETCH(QVector<QPointF>, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath("mu.dat");
        QVERIFY(ts::writeTwoColumns(path, inFile));
        XafsSpectrum read;
        QVERIFY(read.loadAndCalc(path));
        QCOMPARE(read.points, expected);
        QCOMPARE(read.minX, expected.first().x());
        QCOMPARE(read.maxX, expected.last().x());
        QVERIFY(qAbs(read.midx - 9000) < 1);  // normalised after the sort
    }

    // A monochromator scan recorded with the angle rising: energies fall.
    void angleFileDescending()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("scan.9809");
        QByteArray text = "9809 scan\nD= 3.13553\nOffset\n";
        // Angle, I0, I; one angle twice.
        for (const char* r :
             {"20 x 1000 500", "20.1 x 1100 400", "20.2 x 1200 300", "20.2 x 1300 350", "20.3 x 1400 200"})
            text += QByteArray("1 ") + r + "\n";
        QVERIFY(ts::writeFile(path, text));

        XafsSpectrum s;
        QVERIFY(s.load(path));
        auto energy = [](double deg) { return hc / (2 * 3.13553 * std::sin(deg * 3.1415926535 / 180)); };
        const struct { double deg, mu, i0, i; } want[] = {
            {20.3, std::log(1400.0 / 200), 1400, 200},
            {20.2, (std::log(1200.0 / 300) + std::log(1300.0 / 350)) / 2, 1250, 325},
            {20.1, std::log(1100.0 / 400), 1100, 400},
            {20.0, std::log(1000.0 / 500), 1000, 500}};
        QCOMPARE(s.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(s.xAt(i), energy(want[i].deg));
            QCOMPARE(s.yAt(i), want[i].mu);
            QCOMPARE(s.i0Curve.yAt(i), want[i].i0);
            QCOMPARE(s.iCurve.yAt(i), want[i].i);
        }
    }

    void shiftSearch_data()
    {
        QTest::addColumn<Search>("search");
        const double inf = qInf();
        // Finer passes stay within range / 10 of the centre.
        QTest::newRow("on the coarse grid, away from the centre") << Search{9000, 9003, 7, 10, 1, 0.01, 3};
        QTest::newRow("only the fine pass has it") << Search{9000, 9003.5, 3.2, 10, 1, 0.1, 3.5};
        QTest::newRow("the fine band stays around the centre") << Search{9000, 9003.5, 5.2, 10, 1, 0.1, 3.2};
        QTest::newRow("first pass too short") << Search{9000, 9003.5, 5.5, 1, 1, 0.1, 4.5};
        QTest::newRow("equal step and smallest step") << Search{9000, 9003, 0, 10, 1, 1, 3};
        QTest::newRow("range 0 scores the centre only") << Search{9000, 9003, 1.25, 0, 1, 0.001, 1.25};
        // No overlap at any shift: every score is 0, the first shift scanned wins.
        QTest::newRow("ties keep the earliest") << Search{20000, 9000, 0, 10, 1, 0.01, -10};
        QTest::newRow("ties, half steps") << Search{20000, 9000, 0, 3, 0.5, 0.5, -3};
        QTest::newRow("step lost against the range") << Search{9000, 9003, 0, 1e300, 1, 0.5, -1e300};
        // Refused: 0. Empty form fields read 0; none may hang the search.
        QTest::newRow("negative range") << Search{9000, 9003, 0, -1, 1, 0.01, 0};
        QTest::newRow("step below the smallest") << Search{9000, 9003, 0, 10, 0.01, 0.1, 0};
        QTest::newRow("steps 0") << Search{9000, 9003, 0, 10, 0, 0, 0};
        QTest::newRow("smallest step 0") << Search{9000, 9003, 0, 10, 1, 0, 0};
        QTest::newRow("negative steps") << Search{9000, 9003, 0, 10, -1, -2, 0};
        QTest::newRow("infinite step") << Search{9000, 9003, 0, 10, inf, 1, 0};
        QTest::newRow("step not a number") << Search{9000, 9003, 0, 10, qQNaN(), 0.1, 0};
        QTest::newRow("infinite range") << Search{9000, 9003, 0, inf, 1, 0.5, 0};
    }
    void shiftSearch()
    {
        QFETCH(Search, search);
        const XafsSpectrum ref = shiftEdgeAt(search.refE0);
        XafsSpectrum s = shiftEdgeAt(search.E0);
        s.midx = ref.midx + search.centre;
        const double found = s.findEnergyShift(ref, search.range, search.step, search.minStep);
        QVERIFY2(qAbs(found - search.expected) <= 1e-9 * (1 + qAbs(search.expected)),
                 qPrintable(QString::number(found, 'g', 17)));
    }

    // The score reads the reference in one sweep; it must give the very values
    // of point-by-point lookups, also on references whose energies repeat or
    // run backwards, and with x shifts switched on.
    void shiftScores()
    {
        const XafsSpectrum ref = shiftEdgeAt(9000);
        QVERIFY(qAbs(shiftEdgeAt(9003).correlation(3, ref) - 1) < 1e-12);
        QCOMPARE(XafsSpectrum().correlation(0, ref), 0.0);
        QCOMPARE(ref.correlation(0, XafsSpectrum()), 0.0);

        const XafsSpectrum a = irregular(9000, 1);
        const XafsSpectrum s = irregular(9002, 2);
        XafsSpectrum repeated = a;
        repeated.doubleNormalizedPreBaseCurve.points[40].rx() = repeated.doubleNormalizedPreBaseCurve.points[41].x();
        XafsSpectrum backwards = a;
        qSwap(backwards.doubleNormalizedPreBaseCurve.points[10], backwards.doubleNormalizedPreBaseCurve.points[60]);
        XafsSpectrum shiftedRef = a;
        shiftedRef.doubleNormalizedPreBaseCurve.xShiftOn = true;
        shiftedRef.doubleNormalizedPreBaseCurve.xShift = 1.7;
        XafsSpectrum shiftedOwn = s;
        shiftedOwn.xShiftOn = true;
        shiftedOwn.xShift = -0.9;
        const struct { const XafsSpectrum* own; const XafsSpectrum* ref; } pairs[] = {
            {&s, &a}, {&s, &repeated}, {&s, &backwards}, {&s, &shiftedRef}, {&shiftedOwn, &a}};
        // Far enough out on both sides that some shifts leave no overlap.
        for (double shift = -160; shift <= 160; shift += 0.37)
            for (const auto& p : pairs)
                QCOMPARE(p.own->correlation(shift, *p.ref) == scoreByDefinition(*p.own, shift, *p.ref), true);
    }

    // Exact lines come back exactly. The range end is left out of the sums (the
    // Victoreen residual counts it), and so is a point whose energy is not a
    // number (its value would wreck the fit).
    void lineFits_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("withNaN");
        QTest::addColumn<int>("count");
        QTest::newRow("straight") << 1 << false << 100;
        QTest::newRow("straight, energy not a number") << 1 << true << 100;
        QTest::newRow("Victoreen") << 0 << false << 101;
        QTest::newRow("Victoreen, energy not a number") << 0 << true << 101;
    }
    void lineFits()
    {
        QFETCH(int, type);
        QFETCH(bool, withNaN);
        QFETCH(int, count);
        const double c0 = 0.3, k = 2e-4, c1 = 0.05, c2 = -0.004;
        auto truth = [&](double E) {
            const double L = hc / E;
            return type == 1 ? c0 + k * E : c0 + c1 * L * L * L + c2 * L * L * L * L;
        };
        Spectrum s = synth::sample(5000, 15000, 50, truth);
        if (withNaN)
            s.points.insert(20, QPointF(qQNaN(), 1e6));
        VictLine l;
        QVERIFY(l.fit(s, 5000, 10000, type));
        QCOMPARE(l.fitCount, count);
        QVERIFY2(qAbs(l.c0 - c0) < 1e-6, qPrintable(QString::number(l.c0, 'g', 17)));
        QVERIFY(qAbs(type == 1 ? l.k - k : l.c1 - c1) < 1e-6);
        QVERIFY(type == 1 || qAbs(l.c2 - c2) < 1e-6);
        QVERIFY(l.sigma < 1e-8);
        for (double E : {6000.0, 9000.0, 14000.0})
            QVERIFY(qAbs(l.value(E) - truth(E)) < 1e-8);
    }

    // Too few points leave the previous line whole; nothing in range (or a
    // range that is not a number) gives sigma 1; three points make a line.
    void lineRefusals_data()
    {
        QTest::addColumn<Spectrum>("s");
        QTest::addColumn<Refusal>("want");
        const Spectrum ramp = synth::sample(0, 10, 1, [](double E) { return E; });
        const Spectrum three = synth::sample(1, 3, 1, [](double E) { return E; });
        const double nan = qQNaN();
        QTest::newRow("two points, straight") << synth::sample(1, 2, 1, [](double E) { return E; })
                                              << Refusal{0, 10, 1, false, 9, 7, 0.5, 0.25};
        QTest::newRow("three points, Victoreen") << three << Refusal{0, 10, 0, false, 9, 7, 0.5, 0.25};
        QTest::newRow("three points, straight") << three << Refusal{0, 10, 1, true, 3, 0, 1, 0};
        QTest::newRow("nothing in range, straight") << ramp << Refusal{100, 200, 1, false, 0, 0, 0, 1};
        QTest::newRow("nothing in range, Victoreen") << ramp << Refusal{100, 200, 0, false, 0, 0, 0.5, 1};
        QTest::newRow("start not a number, straight") << ramp << Refusal{nan, 8, 1, false, 0, 0, 0, 1};
        QTest::newRow("start not a number, Victoreen") << ramp << Refusal{nan, 8, 0, false, 0, 0, 0.5, 1};
        // A single point: no slope, the constant is that point.
        QTest::newRow("one point in range") << ramp << Refusal{4, 5, 1, false, 1, 4, 0, 0};
    }
    void lineRefusals()
    {
        QFETCH(Spectrum, s);
        QFETCH(Refusal, want);
        VictLine l = straight(0.5, 7, 1, 2);
        l.fitted = true;
        l.sigma = 0.25;
        l.fitCount = 9;
        const bool keeps = want.count == 9;
        QCOMPARE(l.fit(s, want.from, want.to, want.type), want.ok);
        QCOMPARE(l.fitted, want.ok || keeps);
        QCOMPARE(l.lineType, keeps ? 1 : want.type);
        QCOMPARE(l.fitCount, want.count);
        QVERIFY(qAbs(l.c0 - want.c0) < 1e-12);
        QVERIFY(qAbs(l.k - want.k) < 1e-12);
        QCOMPARE(l.sigma, want.sigma);
        QCOMPARE(l.fitTo, keeps ? 2.0 : want.to);
    }

    // Pre line 0.001 E - 7 fitted up to 9000, post line flat at 3 up to 10000:
    // the extensions meet at 10000, u = 0.5, delta = 50.
    void correctionAbovePreLine()
    {
        VictLine pre = straight(0.001, -7, 8000, 9000);
        VictLine post = straight(0, 3, 9050, 10000);
        pre.correctWithPost(post);
        QVERIFY(pre.correctionOn && pre.correctionSide);
        QVERIFY(!post.correctionOn);
        const QPointF q[4] = {{9000, 2}, {9050, 2.05}, {9950, 2.75}, {10000, 2.75}};
        QCOMPARE(pre.controlPoints.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QVERIFY(qAbs(pre.controlPoints[i].x() - q[i].x()) < 1e-9);
            QVERIFY(qAbs(pre.controlPoints[i].y() - q[i].y()) < 1e-12);
        }
        QCOMPARE(pre.points.size(), 100);
        QCOMPARE(pre.points.first(), QPointF(9000, 2));
        const QPointF last = bezier(q, 0.99);
        QVERIFY(qAbs(pre.points.last().x() - last.x()) < 1e-6);
        QVERIFY(qAbs(pre.points.last().y() - last.y()) < 1e-9);
        QVERIFY(qAbs(pre.value(9500) - 19.15 / 8) < 1e-6);  // t = 0.5
        QCOMPARE(pre.value(9000), 2.0);  // the line itself up to its end
        QCOMPARE(pre.value(8500), 1.5);
        // Past t = 0.99 the last segment carries on towards the end point.
        QVERIFY(qAbs(pre.value(10000) - 2.75) < 1e-3);
    }
};

QTEST_GUILESS_MAIN(TestXafsSpectrum)
#include "tst_xafsspectrum.moc"
