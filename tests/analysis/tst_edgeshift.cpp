#include <QElapsedTimer>
#include <QtTest>
#include <cmath>

#include "support/Spectra.h"
#include "analysis/EdgeShift.h"
#include "analysis/ResidualAbsorption.h"

using namespace synth;

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
XafsSpectrum edgeAt(double E0, double offset = 0)
{
    return XafsSpectrum(sample(8800, 9300, 0.5,
                               [&](double E) { return 0.2 + 1e-4 * (E - 8800) + sigmoid(E, E0, 2); }),
                        "edge", 1, offset, copperK());
}

}  // namespace

class TestEdgeShift : public QObject
{
    Q_OBJECT

private slots:
    void midPointAtTheNormalisationsFraction()
    {
        const XafsSpectrum s = edgeAt(CuK + 5);
        QCOMPARE(s.fraction, 0.5);
        const double d = EdgeShift::dEdge(s, copperK(), true, 0.5, XafsSpectrum(), 10, 1, 0.1);
        QCOMPARE(d, s.midx - CuK);
        QVERIFY2(std::fabs(d - 5) < 0.05, qPrintable(QString::number(d)));
    }

    void comparisonFindsTheShift()
    {
        const XafsSpectrum ref = edgeAt(CuK);
        for (double shift : {3.3, -6.0, 0.0}) {
            const double d = EdgeShift::compared(edgeAt(CuK + shift), ref, 10, 1, 0.1);
            QVERIFY2(std::fabs(d - shift) < 0.11, qPrintable(QString("%1 %2").arg(shift).arg(d)));
        }
        // Against the generated step.
        const XafsSpectrum step = EdgeShift::stepReference(9000, 300, 0.01);
        const double d = EdgeShift::compared(edgeAt(9004), step, 10, 1, 0.1);
        QVERIFY2(std::fabs(d - 4) < 0.3, qPrintable(QString::number(d)));
        // Nothing to compare with: 0, not the far end of the search range.
        QCOMPARE(EdgeShift::compared(edgeAt(CuK + 3), XafsSpectrum(), 10, 1, 0.1), 0.0);
    }

    void comparisonThatWouldNeverEnd()
    {
        QElapsedTimer t;
        t.start();
        const XafsSpectrum s = edgeAt(CuK);
        QCOMPARE(EdgeShift::compared(s, s, 1e9, 1, 0.1), 0.0);
        QCOMPARE(EdgeShift::compared(s, s, 10, 0, 0), 0.0);
        QCOMPARE(EdgeShift::compared(s, s, 10, -1, 0.1), 0.0);
        QVERIFY(t.elapsed() < 10000);
    }

    void stepSpectrum()
    {
        const Spectrum s = EdgeShift::stepSpectrum(10, 1, 0.25);
        QCOMPARE(s.points.size(), 4);
        const double x[4] = {9.5, 9.75, 10.0, 10.25};
        const double y[4] = {0, 0, 1, 1};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(s.points[i].x(), x[i]);
            QCOMPARE(s.points[i].y(), y[i]);
        }
        const XafsSpectrum ref = EdgeShift::stepReference(9000, 300, 0.01);
        QCOMPARE(ref.name, QStringLiteral("DEdge Step"));
        QVERIFY(std::abs(ref.points.size() - 30000) <= 1);
        QCOMPARE(ref.points.first().x(), 8850.0);
        QVERIFY(ref.points.last().x() < 9150);
        QVERIFY(std::fabs(ref.midx - 9000) < 0.05);
    }

    void stepSpacingsThatWouldNeverFinish()
    {
        QVERIFY(EdgeShift::stepSpectrum(9000, 300, 0).points.isEmpty());
        QVERIFY(EdgeShift::stepSpectrum(9000, 300, -0.01).points.isEmpty());
        QVERIFY(EdgeShift::stepSpectrum(9000, 300, std::nan("")).points.isEmpty());
        QVERIFY(EdgeShift::stepSpectrum(9000, 1e12, 1e-3).points.isEmpty());
        // The spacing vanishes against the energy: stops after the first point.
        QCOMPARE(EdgeShift::stepSpectrum(1e20, 1e5, 1).points.size(), 1);
        QVERIFY(EdgeShift::stepReference(9000, 300, 0).points.isEmpty());
    }

    void residualAbsorptionOnStraightLines()
    {
        XafsSpectrum s;
        s.pre.lineType = 1;
        s.pre.c0 = 1;
        s.pre.k = 0.001;
        s.post.lineType = 1;
        s.post.c0 = 2;
        s.post.k = 0.001;
        s.energyOffset = 50;  // not applied
        for (double E : {8200.0, 9000.0, 0.0}) {
            RaResult r = ResidualAbsorption::compute(s, 0.5, E);
            QVERIFY(std::fabs(r.jump - 1) < 1e-12);
            QVERIFY(std::fabs(r.scaledJump - 0.5) < 1e-12);
            QVERIFY(std::fabs(r.rest - (0.5 + 0.001 * E)) < 1e-9);
            r = ResidualAbsorption::compute(s, 0, E);
            QCOMPARE(r.scaledJump, 0.0);
            QCOMPARE(r.rest, 1 + 0.001 * E);
            r = ResidualAbsorption::compute(s, 1, E);
            QVERIFY(std::fabs(r.rest - (2 * (1 + 0.001 * E) - (2 + 0.001 * E))) < 1e-9);
        }
        // With its own x shift on, the lines are read at atEV less the shift.
        s.xShiftOn = true;
        s.xShift = 100;
        QVERIFY(std::fabs(ResidualAbsorption::compute(s, 0, 8200).rest - (1 + 8.1)) < 1e-9);
    }

    void residualAbsorptionWithCorrectedPostLine()
    {
        XafsSpectrum s;
        s.pre.c0 = 1;
        s.post.c0 = 2;
        s.post.correctionOn = true;
        s.post.correctionSide = true;
        s.post.fitTo = 9000;
        s.post.correctionType = 1;
        s.post.d = 7;
        s.post.c = 0.001;
        QVERIFY(std::fabs(ResidualAbsorption::compute(s, 0, 9100).jump - (7 + 9.1 - 1)) < 1e-9);
        QCOMPARE(ResidualAbsorption::compute(s, 0, 8900).jump, 1.0);
        s.post.correctionType = 2;
        s.post.append(9000, 3);
        s.post.append(9200, 5);
        QVERIFY(std::fabs(ResidualAbsorption::compute(s, 0, 9100).jump - 3) < 1e-12);
    }

    void residualAbsorptionAtZeroOnVictoreenLines()
    {
        XafsSpectrum s;
        s.pre.lineType = 0;
        s.pre.c1 = 1;
        s.post.lineType = 0;
        s.post.c1 = 2;
        const RaResult r = ResidualAbsorption::compute(s, 1.0, 0);
        QCOMPARE(r.jump, 0.0);
        QCOMPARE(r.scaledJump, 0.0);
        QCOMPARE(r.rest, 0.0);
        QVERIFY(std::isfinite(ResidualAbsorption::compute(s, 1.0, 8200).rest));
    }
};

QTEST_GUILESS_MAIN(TestEdgeShift)
#include "tst_edgeshift.moc"
