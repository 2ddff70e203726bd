#include <QtTest>
#include <cmath>
#include <memory>

#include "core/XafsSpectrum.h"
#include "support/EdgeSpectra.h"
#include "support/Files.h"
#include "support/Messages.h"

Q_DECLARE_METATYPE(Spectrum)

namespace {

const double hc = 12398.424360387684;

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

}  // namespace

class TestXafsSpectrum : public QObject
{
    Q_OBJECT

    std::unique_ptr<ts::MessageLog> log;

private slots:
    void initTestCase() { log.reset(new ts::MessageLog); }
    void cleanupTestCase()
    {
        // Many flagged spectra above, one line per cause.
        QCOMPARE(log->lines.filter("a pre- or post-edge line has too few points").size(), 1);
        QCOMPARE(log->lines.filter("no mid-line crossing inside the edge window").size(), 1);
        log.reset();
    }

    // E0 and jump against the analytic edge; spectra that cannot be
    // normalised say so and carry no jump.
    void normalisation_data()
    {
        QTest::addColumn<Spectrum>("raw");
        QTest::addColumn<int>("lineType");
        QTest::addColumn<SuggestElm>("window");
        QTest::addColumn<bool>("noisy");
        QTest::addColumn<bool>("outOfRange");
        QTest::addColumn<double>("E0");
        QTest::addColumn<double>("tolE0");
        QTest::addColumn<double>("jump");
        QTest::addColumn<double>("tolJump");

        const SuggestElm none;
        const SuggestElm at9000 = windowAt(9000);
        const double free = none.edgeEnergy;  // where flagged spectra put E0
        const edges::Edge e;  // E0 9000, jump 1
        QTest::newRow("straight lines") << e.sample(8800, 9200, 0.5) << 1 << none << false << false
                                        << 9000.0 << 0.02 << e.jump() << 1e-4;
        edges::Edge sloping = e;
        sloping.E0 = 8985.3;
        sloping.preK = 6e-4;
        sloping.preC0 = 0.2 - 6e-4 * 9000;
        sloping.postK = -3e-4;
        sloping.postC0 = 1.2 + 3e-4 * 9000;
        QTest::newRow("between points, lines apart") << sloping.sample(8800, 9200, 0.5) << 1 << none << false
                                                     << false << 8985.3 << 0.02 << sloping.jump() << 1e-4;
        edges::Edge large = e;
        large.E0 = 9012.7;
        large.postC0 = large.preC0 + 25;
        QTest::newRow("large jump") << large.sample(8800, 9200, 0.5) << 1 << none << false << false << 9012.7
                                    << 0.02 << large.jump() << 25e-5;
        QTest::newRow("3 eV grid") << e.sample(8700, 9300, 3) << 1 << none << false << false << 9000.0 << 0.1
                                   << e.jump() << 1e-3;
        auto vic = [](double a, double c1, double c2) {
            return [=](double E) { return a + (c1 + c2 * hc / E) * std::pow(hc / E, 3); };
        };
        const auto vicPre = vic(0.1, 0.08, -0.01), vicPost = vic(1.1, 0.05, -0.006);
        const Spectrum vicEdge = synth::sample(6000, 14000, 2, [&](double E) {
            const double f = synth::sigmoid(E, 9000, 2);
            return (1 - f) * vicPre(E) + f * vicPost(E);
        });
        QTest::newRow("Victoreen lines") << vicEdge << 0 << none << false << false << 9000.0 << 0.05
                                         << vicPost(9000) - vicPre(9000) << 1e-4;
        QTest::newRow("window") << e.sample(8800, 9200, 0.5) << 1 << at9000 << false << false << 9000.0 << 0.02
                                << e.jump() << 1e-4;
        edges::Edge off = e;
        off.E0 = 9010;
        QTest::newRow("edge 10 eV into the window") << off.sample(8800, 9200, 0.5) << 1 << at9000 << false
                                                     << false << 9010.0 << 0.02 << off.jump() << 1e-4;
        const Spectrum wiggly = synth::sample(8800, 9200, 0.5, [&](double E) {
            return e.mu(E) + 0.01 * std::sin(E * 4.6);
        });
        QTest::newRow("wiggles, window") << wiggly << 1 << windowAt(9003) << false << false << 9000.0 << 0.1
                                         << e.jump() << 1e-2;
        QTest::newRow("wiggles, window, strict noise test")
            << wiggly << 1 << windowAt(9003, 1000) << true << false << 9003.0 << 0.0 << 0.0 << 0.0;
        off.E0 = 9200;
        QTest::newRow("data above the window") << off.sample(9100, 9300, 1) << 1 << at9000 << true << true
                                               << 9000.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("starts 9 eV below the edge") << e.sample(8991, 9200, 0.5) << 1 << none << true << false
                                                    << free << 0.0 << 0.0 << 0.0;
        QTest::newRow("starts 9 eV below the edge, window")
            << e.sample(8991, 9200, 0.5) << 1 << at9000 << true << false << 9000.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("ends 9 eV above the edge") << e.sample(8800, 9009, 0.5) << 1 << none << true << false
                                                  << free << 0.0 << 0.0 << 0.0;
        QTest::newRow("constant (dead pixel)") << edges::constant(8800, 9200, 0.5, 1.0) << 1 << none << true
                                               << false << free << 0.0 << 0.0 << 0.0;
        QTest::newRow("two points") << e.sample(8999, 9001, 2) << 1 << none << true << false << free << 0.0
                                    << 0.0 << 0.0;
        QTest::newRow("one point, window") << e.sample(9000, 9000, 1) << 1 << at9000 << true << true << 9000.0
                                           << 0.0 << 0.0 << 0.0;
        QTest::newRow("rising step outside the window")
            << bumpAndStep(1.0) << 1 << at9000 << false << true << 9000.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("no crossing, window") << bumpAndStep(-1.0) << 1 << at9000 << false << true << 9000.0
                                             << 0.0 << 0.0 << 0.0;
        // Without the window the first guess stands, as it always has.
        QTest::newRow("no crossing, no window")
            << bumpAndStep(-1.0) << 1 << none << false << false << 8997.0 << 0.0 << 0.051028 << 1e-6;
    }
    void normalisation()
    {
        QFETCH(Spectrum, raw);
        QFETCH(int, lineType);
        QFETCH(SuggestElm, window);
        QFETCH(bool, noisy);
        QFETCH(bool, outOfRange);
        QFETCH(double, E0);
        QFETCH(double, tolE0);
        QFETCH(double, jump);
        QFETCH(double, tolJump);
        // Flagged spectra are flagged whatever the line type.
        const QVector<int> types = jump == 0 ? QVector<int>{1, 0} : QVector<int>{lineType};
        for (int type : types) {
            const XafsSpectrum s(raw, "s", type, 0, window);
            QCOMPARE(s.noisy, noisy);
            QCOMPARE(s.outOfRange, outOfRange);
            QVERIFY2(std::fabs(s.midx - E0) <= tolE0, qPrintable(QString::number(s.midx, 'g', 10)));
            QVERIFY2(std::fabs(s.dMut - jump) <= tolJump, qPrintable(QString::number(s.dMut, 'g', 10)));
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
        QCOMPARE(s.setFraction(0.5), 2.25);
        // d = (0.75, 0.75, -0.25): crossings at 2.75 and 2.5.
        QCOMPARE(s.setFraction(0.75), 2.625);
        QCOMPARE(s.fraction, 0.75);
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
        const Spectrum b = edges::Edge{9000, 1.5, 0, 0, 1, 0}.sample(8800, 9200, 0.5);
        XafsSpectrum reused(a, "a", 1, 0, SuggestElm());
        QVERIFY(reused.pre.correctionOn);
        static_cast<Spectrum&>(reused) = b;
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
        Spectrum plain;
        for (const QPointF& p : expected)
            plain.append(p);
        const XafsSpectrum direct(plain, "direct", read.lineType, 0, SuggestElm());
        QCOMPARE(read.midx, direct.midx);
        QCOMPARE(read.dMut, direct.dMut);
        QCOMPARE(read.minX, expected.first().x());
        QCOMPARE(read.maxX, expected.last().x());
    }

    // A monochromator scan recorded with the angle rising: energies fall.
    void angleFileDescending()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("scan.9809");
        QByteArray text = "9809 scan\nD= 3.13553\nOffset\n";
        // Angle, I0, I; one angle twice.
        for (const char* r : {"20 x 1000 500", "20.1 x 1100 400", "20.2 x 1200 300", "20.2 x 1300 350",
                              "20.3 x 1400 200"})
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
};

QTEST_GUILESS_MAIN(TestXafsSpectrum)
#include "tst_xafsspectrum.moc"
