// Edge positions by mid point and by comparison with a reference, the
// generated step reference, and the residual absorption.
#include "analysis/EdgeShift.h"
#include "analysis/ResidualAbsorption.h"

#include "support/Spectra.h"

#include <QElapsedTimer>
#include <QtTest>

#include <cmath>

// The spectrum's edge lies `shift` after the reference's; searches that
// cannot end, or have nothing to compare with, give 0 at once.
struct Comparison
{
    QString ref;  // "edge", "step" or "none"
    double shift, range, step, minStep, expected, tolerance;
};
Q_DECLARE_METATYPE(Comparison)

struct Step
{
    double at, width, spacing;
    int count;
};
Q_DECLARE_METATYPE(Step)

namespace {

const double CuK = 8984.36029;

SuggestElm copperK()
{
    SuggestElm e;
    e.useWindow = false;
    e.Z = 29;
    e.edgeEnergy = CuK;
    return e;
}

// A symmetric edge on a sloping background, normalised.
XafsSpectrum edgeAt(double E0)
{
    return XafsSpectrum(synth::sample(8800, 9300, 0.5,
                                      [&](double E) { return 0.2 + 1e-4 * (E - 8800) + synth::sigmoid(E, E0, 2); }),
                        "edge", 1, 0, copperK());
}

}  // namespace

class TestEdgeShift : public QObject
{
    Q_OBJECT

private slots:
    void midPointAtTheNormalisationsFraction()
    {
        const double d = EdgeShift::dEdge(edgeAt(CuK + 5), copperK(), true, 0.5, XafsSpectrum(), 10, 1, 0.1);
        QVERIFY2(std::fabs(d - 5) < 0.05, qPrintable(QString::number(d)));
    }

    void comparisonFindsTheShift_data()
    {
        QTest::addColumn<Comparison>("c");
        QTest::newRow("later") << Comparison{"edge", 3.3, 10, 1, 0.1, 3.3, 0.11};
        QTest::newRow("earlier") << Comparison{"edge", -6, 10, 1, 0.1, -6, 0.11};
        QTest::newRow("same") << Comparison{"edge", 0, 10, 1, 0.1, 0, 0.11};
        QTest::newRow("against the generated step") << Comparison{"step", 4, 10, 1, 0.1, 4, 0.3};
        QTest::newRow("no reference") << Comparison{"none", 3, 10, 1, 0.1, 0, 0};
        QTest::newRow("range far too wide") << Comparison{"edge", 0, 1e9, 1, 0.1, 0, 0};
        QTest::newRow("step 0") << Comparison{"edge", 0, 10, 0, 0, 0, 0};
        QTest::newRow("negative step") << Comparison{"edge", 0, 10, -1, 0.1, 0, 0};
    }
    void comparisonFindsTheShift()
    {
        QFETCH(Comparison, c);
        XafsSpectrum ref;
        if (c.ref == "edge") ref = edgeAt(CuK);
        if (c.ref == "step") ref = EdgeShift::stepReference(9000, 300, 0.01);
        QElapsedTimer t;
        t.start();
        const double d = EdgeShift::compared(edgeAt((c.ref == "step" ? 9000 : CuK) + c.shift), ref, c.range, c.step,
                                             c.minStep);
        QVERIFY2(std::fabs(d - c.expected) <= c.tolerance, qPrintable(QString::number(d)));
        QVERIFY(t.elapsed() < 10000);
    }

    // A unit step from `at` on, points `spacing` apart over `width`.
    void stepSpectrum_data()
    {
        QTest::addColumn<Step>("s");
        QTest::newRow("four points") << Step{10, 1, 0.25, 4};
        QTest::newRow("spacing 0") << Step{9000, 300, 0, 0};
        QTest::newRow("NaN spacing") << Step{9000, 300, std::nan(""), 0};
        QTest::newRow("far too many points") << Step{9000, 1e12, 1e-3, 0};
        // The spacing vanishes against the energy: stops after the first point.
        QTest::newRow("spacing lost") << Step{1e20, 1e5, 1, 1};
    }
    void stepSpectrum()
    {
        QFETCH(Step, s);
        const Spectrum sp = EdgeShift::stepSpectrum(s.at, s.width, s.spacing);
        QCOMPARE(sp.points.size(), s.count);
        for (int i = 0; i < sp.points.size() && s.count > 1; ++i) {
            const double x = s.at - s.width / 2 + i * s.spacing;
            QCOMPARE(sp.points[i], QPointF(x, x >= s.at ? 1 : 0));
        }
        QCOMPARE(EdgeShift::stepReference(s.at, s.width, s.spacing).points.size(), s.count);
    }

    // Straight lines pre = 1 + 0.001 E, post = 2 + 0.001 E, read at E less
    // the spectrum's own x shift when that is on (never its energy offset).
    void residualAbsorption_data()
    {
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("E");
        QTest::addColumn<double>("xShift");  // 0: off
        QTest::addColumn<double>("rest");
        QTest::newRow("half") << 0.5 << 8200.0 << 0.0 << 0.5 + 8.2;
        QTest::newRow("none") << 0.0 << 9000.0 << 0.0 << 1 + 9.0;
        QTest::newRow("all") << 1.0 << 9000.0 << 0.0 << 9.0;
        QTest::newRow("at 0 eV") << 0.5 << 0.0 << 0.0 << 0.5;
        QTest::newRow("own x shift") << 0.0 << 8200.0 << 100.0 << 1 + 8.1;
    }
    void residualAbsorption()
    {
        QFETCH(double, factor);
        QFETCH(double, E);
        QFETCH(double, xShift);
        QFETCH(double, rest);
        XafsSpectrum s;
        s.pre.lineType = s.post.lineType = 1;
        s.pre.c0 = 1;
        s.post.c0 = 2;
        s.pre.k = s.post.k = 0.001;
        s.energyOffset = 50;
        s.xShiftOn = xShift != 0;
        s.xShift = xShift;
        const RaResult r = ResidualAbsorption::compute(s, factor, E);
        QCOMPARE(r.jump, 1.0);
        QCOMPARE(r.scaledJump, factor);
        QVERIFY(std::fabs(r.rest - rest) < 1e-9);
    }

    void residualAbsorptionOtherLines()
    {
        // A post line corrected above 9000 eV: by its line, then by its points.
        XafsSpectrum s;
        s.pre.c0 = 1;
        s.post.c0 = 2;
        s.post.correctionOn = s.post.correctionSide = true;
        s.post.fitTo = 9000;
        s.post.correctionType = 1;
        s.post.d = 7;
        s.post.c = 0.001;
        QCOMPARE(ResidualAbsorption::compute(s, 0, 9100).jump, 7 + 9.1 - 1);
        QCOMPARE(ResidualAbsorption::compute(s, 0, 8900).jump, 1.0);
        s.post.correctionType = 2;
        s.post.append(9000, 3);
        s.post.append(9200, 5);
        QCOMPARE(ResidualAbsorption::compute(s, 0, 9100).jump, 3.0);
        // Victoreen lines have no value at 0 eV: zeros, not infinities.
        XafsSpectrum v;
        v.pre.lineType = v.post.lineType = 0;
        v.pre.c1 = 1;
        v.post.c1 = 2;
        const RaResult r = ResidualAbsorption::compute(v, 1.0, 0);
        QVERIFY(r.jump == 0 && r.scaledJump == 0 && r.rest == 0);
        QVERIFY(std::isfinite(ResidualAbsorption::compute(v, 1.0, 8200).rest));
    }
};

QTEST_GUILESS_MAIN(TestEdgeShift)
#include "tst_edgeshift.moc"
