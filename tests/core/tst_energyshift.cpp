#include <QtTest>
#include <cmath>

#include "core/XafsSpectrum.h"

namespace {

// A calculated spectrum on 0.5 eV steps with its edge at E0; every energy is
// an exact binary fraction, so shifting by whole or half eV is exact.
XafsSpectrum edgeAt(double E0, double from = 8800, double to = 9200)
{
    Spectrum raw;
    const int n = int((to - from) / 0.5);
    for (int i = 0; i <= n; ++i) {
        const double E = from + 0.5 * i;
        const double f = 0.5 * (1 + std::tanh((E - E0) / 3));
        // A little structure above the edge so that scores depend on position.
        const double wiggle = E > E0 ? 0.05 * std::sin((E - E0) / 7) : 0;
        raw.append(E, (1 - f) * 0.2 + f * (1.2 + wiggle));
    }
    return XafsSpectrum(raw, "edge", 1, 0, SuggestElm());
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
    double E = E0 - 150;
    while (E < E0 + 150) {
        const double f = 0.5 * (1 + std::tanh((E - E0) / 2));
        raw.append(E, 0.1 + f + 0.01 * (std::rand() % 100) / 100.0);
        E += 0.3 + 2.0 * (std::rand() % 100) / 100.0;
    }
    return XafsSpectrum(raw, "irregular", 1, 0, SuggestElm());
}

}  // namespace

class TestEnergyShift : public QObject
{
    Q_OBJECT

private slots:
    void correlationScores();
    void recoversShiftOnCoarseGrid();
    void finePassRefines();
    void fineBandStaysAroundCentre();
    void tiesKeepEarliestShift();
    void rangeZeroScoresCentreOnly();
    void stepRules();
    void scoresMatchDefinition();
};

void TestEnergyShift::correlationScores()
{
    const XafsSpectrum ref = edgeAt(9000);
    const XafsSpectrum s = edgeAt(9000);
    QVERIFY(qAbs(s.correlation(0, ref) - 1) < 1e-12);
    QVERIFY(s.correlation(5, ref) < 1);
    QVERIFY(s.correlation(5, ref) > 0);

    // The cosine of the two sampled curves, computed here independently.
    const double shift = 2.5;
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
    QVERIFY(qAbs(s.correlation(shift, ref) - sab / std::sqrt(saa * sbb)) < 1e-12);

    // No overlap, or no points: 0.
    QCOMPARE(s.correlation(1000, ref), 0.0);
    QCOMPARE(XafsSpectrum().correlation(0, ref), 0.0);
    QCOMPARE(s.correlation(0, XafsSpectrum()), 0.0);
}

// The true shift is on the first pass's grid but away from the centre that
// the two E0 values give: the coarse pass finds it and finer passes, which
// stay within range / 10 of the centre, cannot beat the exact match.
void TestEnergyShift::recoversShiftOnCoarseGrid()
{
    const XafsSpectrum ref = edgeAt(9000);
    XafsSpectrum s = edgeAt(9003, 8803, 9203);
    QVERIFY(qAbs(s.correlation(3, ref) - 1) < 1e-12);
    s.midx = ref.midx + 7;  // centre 7, true shift 3 = centre - 4
    QCOMPARE(s.findEnergyShift(ref, 10, 1, 0.01), 3.0);
    // Both spectra are left as they were.
    QCOMPARE(s.midx, ref.midx + 7);
    QCOMPARE(ref.size(), 801);
}

void TestEnergyShift::finePassRefines()
{
    const XafsSpectrum ref = edgeAt(9000);
    XafsSpectrum s = edgeAt(9003.5, 8803.5, 9203.5);
    s.midx = ref.midx + 3.2;  // true shift centre + 0.3: only the second pass has it
    const double found = s.findEnergyShift(ref, 10, 1, 0.1);
    QVERIFY2(qAbs(found - 3.5) < 1e-9, qPrintable(QString::number(found, 'g', 17)));
}

void TestEnergyShift::fineBandStaysAroundCentre()
{
    const XafsSpectrum ref = edgeAt(9000);
    XafsSpectrum s = edgeAt(9003.5, 8803.5, 9203.5);
    s.midx = ref.midx + 5.5;  // true shift 3.5 is 2 eV from the centre
    // Coarse pass: 3.5 on the grid (centre - 2). The fine pass (+-1 eV) does
    // not reach it and scores lower.
    QCOMPARE(s.findEnergyShift(ref, 10, 1, 0.1), 3.5);
    // With a first pass too short to reach it, the best stays at its edge.
    QCOMPARE(s.findEnergyShift(ref, 1, 1, 0.1), 4.5);
}

void TestEnergyShift::tiesKeepEarliestShift()
{
    // No overlap at any shift: every score is 0, the first scanned shift wins.
    const XafsSpectrum ref = edgeAt(20000, 19800, 20200);
    XafsSpectrum s = edgeAt(9000);
    s.midx = 9000;
    XafsSpectrum r = ref;
    r.midx = 9000;  // centre 0, so shifts stay far from any overlap
    QCOMPARE(s.findEnergyShift(r, 10, 1, 0.01), -10.0);
    QCOMPARE(s.findEnergyShift(r, 3, 0.5, 0.5), -3.0);
}

void TestEnergyShift::rangeZeroScoresCentreOnly()
{
    const XafsSpectrum ref = edgeAt(9000);
    XafsSpectrum s = edgeAt(9003, 8803, 9203);
    s.midx = ref.midx + 1.25;
    QCOMPARE(s.findEnergyShift(ref, 0, 1, 0.001), 1.25);
    // A negative range scans nothing: the result stays 0.
    QCOMPARE(s.findEnergyShift(ref, -1, 1, 0.01), 0.0);
}

void TestEnergyShift::stepRules()
{
    const XafsSpectrum ref = edgeAt(9000);
    XafsSpectrum s = edgeAt(9003, 8803, 9203);
    // A step below the smallest step: no search.
    QCOMPARE(s.findEnergyShift(ref, 10, 0.01, 0.1), 0.0);
    // Empty form fields read 0: neither may hang the search.
    QCOMPARE(s.findEnergyShift(ref, 10, 0, 0), 0.0);
    QCOMPARE(s.findEnergyShift(ref, 10, 1, 0), 0.0);
    QCOMPARE(s.findEnergyShift(ref, 10, -1, -2), 0.0);
    QCOMPARE(s.findEnergyShift(ref, 10, qInf(), 1), 0.0);
    QCOMPARE(s.findEnergyShift(ref, 10, qQNaN(), 0.1), 0.0);
    QCOMPARE(s.findEnergyShift(ref, qInf(), 1, 0.5), 0.0);
    // A range so large that the step is lost against it still ends.
    QVERIFY(std::isfinite(s.findEnergyShift(ref, 1e300, 1, 0.5)));
    // Equal step and smallest step: one pass.
    QVERIFY(qAbs(s.findEnergyShift(ref, 10, 1, 1) - 3) < 1e-9);
}

// The score reads the reference in one sweep; it must give the very values
// of point-by-point lookups, also on references whose energies repeat or run
// backwards, and with x shifts switched on.
void TestEnergyShift::scoresMatchDefinition()
{
    XafsSpectrum ref = irregular(9000, 1);
    XafsSpectrum s = irregular(9002, 2);
    XafsSpectrum repeated = ref;
    repeated.doubleNormalizedPreBaseCurve.points[40].rx() =
        repeated.doubleNormalizedPreBaseCurve.points[41].x();
    XafsSpectrum backwards = ref;
    qSwap(backwards.doubleNormalizedPreBaseCurve.points[10],
          backwards.doubleNormalizedPreBaseCurve.points[60]);
    XafsSpectrum shiftedRef = ref;
    shiftedRef.doubleNormalizedPreBaseCurve.xShiftOn = true;
    shiftedRef.doubleNormalizedPreBaseCurve.xShift = 1.7;
    XafsSpectrum shiftedOwn = s;
    shiftedOwn.xShiftOn = true;
    shiftedOwn.xShift = -0.9;

    int compared = 0;
    for (double shift = -160; shift <= 160; shift += 0.37) {
        for (const XafsSpectrum* r : {&ref, &repeated, &backwards, &shiftedRef}) {
            QCOMPARE(s.correlation(shift, *r) == scoreByDefinition(s, shift, *r), true);
            ++compared;
        }
        QCOMPARE(shiftedOwn.correlation(shift, ref) == scoreByDefinition(shiftedOwn, shift, ref),
                 true);
    }
    QVERIFY(compared > 3000);
}

QTEST_GUILESS_MAIN(TestEnergyShift)
#include "tst_energyshift.moc"
