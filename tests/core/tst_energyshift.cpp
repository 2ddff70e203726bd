#include <QtTest>
#include <cmath>
#include <memory>

#include "core/XafsSpectrum.h"
#include "support/Messages.h"
#include "support/Spectra.h"

namespace {

// A calculated spectrum on 0.5 eV steps from E0 - 200 to E0 + 200; every
// energy is an exact binary fraction, so shifting by whole or half eV is exact.
// A little structure above the edge makes scores depend on position.
XafsSpectrum edgeAt(double E0)
{
    return XafsSpectrum(synth::sample(E0 - 200, E0 + 200, 0.5, [E0](double E) {
                            const double f = 0.5 * (1 + std::tanh((E - E0) / 3));
                            const double wiggle = E > E0 ? 0.05 * std::sin((E - E0) / 7) : 0;
                            return (1 - f) * 0.2 + f * (1.2 + wiggle);
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

}  // namespace

class TestEnergyShift : public QObject
{
    Q_OBJECT

    std::unique_ptr<ts::MessageLog> log;

private slots:
    void initTestCase() { log.reset(new ts::MessageLog); }
    void cleanupTestCase()
    {
        // Several refused searches below, one line per cause.
        QCOMPARE(log->lines.filter("findEnergyShift: step or minimum step").size(), 1);
        QCOMPARE(log->lines.filter("findEnergyShift: step below the minimum").size(), 1);
        log.reset();
    }

    // The reference has its edge at 9000 (or far away); the spectrum's edge is
    // at E0 and the search centre (the difference of the two midx) is given.
    void search_data()
    {
        QTest::addColumn<double>("refE0");
        QTest::addColumn<double>("E0");
        QTest::addColumn<double>("centre");
        QTest::addColumn<double>("range");
        QTest::addColumn<double>("step");
        QTest::addColumn<double>("minStep");
        QTest::addColumn<double>("expected");
        const double inf = qInf();
        // Finer passes stay within range / 10 of the centre.
        QTest::newRow("on the coarse grid, away from the centre")
            << 9000.0 << 9003.0 << 7.0 << 10.0 << 1.0 << 0.01 << 3.0;
        QTest::newRow("only the fine pass has it") << 9000.0 << 9003.5 << 3.2 << 10.0 << 1.0 << 0.1 << 3.5;
        QTest::newRow("the fine band stays around the centre") << 9000.0 << 9003.5 << 5.2 << 10.0 << 1.0 << 0.1 << 3.2;
        QTest::newRow("first pass too short") << 9000.0 << 9003.5 << 5.5 << 1.0 << 1.0 << 0.1 << 4.5;
        QTest::newRow("equal step and smallest step") << 9000.0 << 9003.0 << 0.0 << 10.0 << 1.0 << 1.0 << 3.0;
        QTest::newRow("range 0 scores the centre only") << 9000.0 << 9003.0 << 1.25 << 0.0 << 1.0 << 0.001 << 1.25;
        // No overlap at any shift: every score is 0, the first shift scanned wins.
        QTest::newRow("ties keep the earliest") << 20000.0 << 9000.0 << 0.0 << 10.0 << 1.0 << 0.01 << -10.0;
        QTest::newRow("ties, half steps") << 20000.0 << 9000.0 << 0.0 << 3.0 << 0.5 << 0.5 << -3.0;
        QTest::newRow("step lost against the range") << 9000.0 << 9003.0 << 0.0 << 1e300 << 1.0 << 0.5 << -1e300;
        // Refused: 0. Empty form fields read 0; none may hang the search.
        QTest::newRow("negative range") << 9000.0 << 9003.0 << 0.0 << -1.0 << 1.0 << 0.01 << 0.0;
        QTest::newRow("step below the smallest") << 9000.0 << 9003.0 << 0.0 << 10.0 << 0.01 << 0.1 << 0.0;
        QTest::newRow("steps 0") << 9000.0 << 9003.0 << 0.0 << 10.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("smallest step 0") << 9000.0 << 9003.0 << 0.0 << 10.0 << 1.0 << 0.0 << 0.0;
        QTest::newRow("negative steps") << 9000.0 << 9003.0 << 0.0 << 10.0 << -1.0 << -2.0 << 0.0;
        QTest::newRow("infinite step") << 9000.0 << 9003.0 << 0.0 << 10.0 << inf << 1.0 << 0.0;
        QTest::newRow("step not a number") << 9000.0 << 9003.0 << 0.0 << 10.0 << qQNaN() << 0.1 << 0.0;
        QTest::newRow("infinite range") << 9000.0 << 9003.0 << 0.0 << inf << 1.0 << 0.5 << 0.0;
    }
    void search()
    {
        QFETCH(double, refE0);
        QFETCH(double, E0);
        QFETCH(double, centre);
        QFETCH(double, range);
        QFETCH(double, step);
        QFETCH(double, minStep);
        QFETCH(double, expected);
        const XafsSpectrum ref = edgeAt(refE0);
        XafsSpectrum s = edgeAt(E0);
        s.midx = ref.midx + centre;
        const double found = s.findEnergyShift(ref, range, step, minStep);
        QVERIFY2(qAbs(found - expected) <= 1e-9 * (1 + qAbs(expected)), qPrintable(QString::number(found, 'g', 17)));
    }

    // The score reads the reference in one sweep; it must give the very values
    // of point-by-point lookups, also on references whose energies repeat or run
    // backwards, and with x shifts switched on.
    void scores()
    {
        const XafsSpectrum ref = edgeAt(9000);
        QVERIFY(qAbs(edgeAt(9003).correlation(3, ref) - 1) < 1e-12);
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
};

QTEST_GUILESS_MAIN(TestEnergyShift)
#include "tst_energyshift.moc"
