#include <QtTest>
#include <cmath>

#include "support/Spectra.h"
#include "analysis/ElementAnalysis.h"
#include "core/Analyzed2DRes.h"

using namespace synth;

namespace {

// mu = 0 below E0 and 1 from E0 on, points 1 eV apart.
Spectrum unitStep(double E0, double from = 6900, double to = 7300)
{
    return sample(from, to, 1, [E0](double E) { return E >= E0 ? 1.0 : 0.0; });
}

ElemRowSnapshot row(double e0, double th = 0.1, double dE = 20)
{
    ElemRowSnapshot r;
    r.e0 = e0;
    r.dE = dE;
    r.thDMut = th;
    return r;
}

}  // namespace

class TestElementAnalysis : public QObject
{
    Q_OBJECT

private slots:
    void stepAboveItsThreshold()
    {
        ElemRowSnapshot r = row(7112);
        r.roiStart = 7200.2;
        r.roiEnd = 7204.7;
        const ElemsResult res = ElementAnalysis::analyze(unitStep(7112), {r}, 0, ElemBackground());
        QCOMPARE(res.rowCount(), 1);
        QCOMPARE(res.value(ElemKind0, 0), 1.0);
        QCOMPARE(res.value(ElemKindN, 0), 1.0);
        QCOMPARE(res.value(ElemKindMP, 0), 1.0);
        QCOMPARE(res.value(ElemKindMM, 0), 0.0);
        // The only rising crossing lies between 7111 and 7112.
        QCOMPARE(res.value(ElemKindDE, 0), -0.5);
        QCOMPARE(res.value(ElemKindROI, 0), 1.0);
        QCOMPARE(res.value(ElemKindNROI, 0), 1.0);
        QCOMPARE(res.dmut, QVector<double>{1.0});
    }

    void roiMeanOverItsWindow()
    {
        // mu rising 0.01 per eV with a step of 1 at 7000.
        const Spectrum s = sample(6900, 7300, 1, [](double E) {
            return 0.01 * (E - 6900) + (E >= 7000 ? 1.0 : 0.0);
        });
        ElemRowSnapshot r = row(7000);
        r.roiStart = 7100.2;
        r.roiEnd = 7104.7;
        const ElemsResult res = ElementAnalysis::analyze(s, {r}, 0, ElemBackground());
        const double muM = 0.01 * 80, muP = 0.01 * 120 + 1;
        QVERIFY(std::fabs(res.value(ElemKindMM, 0) - muM) < 1e-12);
        // Midpoints above 7100.2 start at 7100, the first above 7104.7 is at 7105.
        double sum = 0;
        for (int E = 7100; E <= 7104; ++E)
            sum += 0.01 * (E - 6900) + 1 - muM;
        QVERIFY(std::fabs(res.value(ElemKindROI, 0) - sum / 5) < 1e-12);
        QVERIFY(std::fabs(res.value(ElemKindNROI, 0) - sum / 5 / (muP - muM)) < 1e-12);
        int a, b;
        QVERIFY(ElementAnalysis::window(s, 7100.2, 7104.7, a, b));
        QCOMPARE(a, 200);
        QCOMPARE(b, 205);
    }

    void roiWindowsThatAreEmpty()
    {
        ElemRowSnapshot r = row(7112);
        r.roiStart = 6000;
        r.roiEnd = 6100;  // wholly below the first midpoint
        ElemsResult res = ElementAnalysis::analyze(unitStep(7112), {r}, 0, ElemBackground());
        QCOMPARE(res.value(ElemKindROI, 0), 0.0);
        QCOMPARE(res.value(ElemKindNROI, 0), 0.0);
        int a, b;
        QVERIFY(!ElementAnalysis::window(Spectrum(), 0, 1, a, b));
        Spectrum one;
        one.append(7000, 1);
        QVERIFY(!ElementAnalysis::window(one, 0, 1e4, a, b));
        // A spectrum of one point: the step is 0, which a negative threshold lets through.
        res = ElementAnalysis::analyze(one, {row(7000, -1)}, 0, ElemBackground());
        QCOMPARE(res.value(ElemKind0, 0), 0.0);
        QCOMPARE(res.value(ElemKindDE, 0), 0.0);
        QCOMPARE(res.value(ElemKindROI, 0), 0.0);
        QCOMPARE(res.value(ElemKindNROI, 0), 0.0);
        res = ElementAnalysis::analyze(Spectrum(), {row(7000, -1)}, 0, ElemBackground());
        QCOMPARE(res.rowCount(), 1);
    }

    void negativeRoi()
    {
        // mu dips below the pre-edge value in the ROI.
        const Spectrum s = sample(6900, 7300, 1, [](double E) {
            if (E >= 7200 && E <= 7210)
                return -0.5;
            return E >= 7112 ? 1.0 : 0.0;
        });
        ElemRowSnapshot r = row(7112);
        r.roiStart = 7201;
        r.roiEnd = 7205;
        r.noNeg = false;
        ElemsResult res = ElementAnalysis::analyze(s, {r}, 0, ElemBackground());
        QCOMPARE(res.value(ElemKindROI, 0), -0.5);
        QCOMPARE(res.value(ElemKindNROI, 0), -0.5);
        r.noNeg = true;
        ElemBackground bg;
        bg.roi = -7;
        bg.nroi = -8;
        res = ElementAnalysis::analyze(s, {r}, 0, bg);
        QCOMPARE(res.value(ElemKindROI, 0), -7.0);
        QCOMPARE(res.value(ElemKindNROI, 0), -8.0);
    }

    void zeroStepGivesNoInfiniteRatio()
    {
        const Spectrum flat = sample(6900, 7300, 1, [](double) { return 0.3; });
        ElemRowSnapshot r = row(7100, -1);
        r.roiStart = 7150;
        r.roiEnd = 7160;
        r.noNeg = false;
        ElemBackground bg;
        bg.nroi = -3;
        const ElemsResult res = ElementAnalysis::analyze(flat, {r}, 0, bg);
        QCOMPARE(res.value(ElemKindROI, 0), 0.0);
        QCOMPARE(res.value(ElemKindNROI, 0), -3.0);
    }

    void ratiosToTheMainTarget()
    {
        // Steps of 2 at 7000 and 1 at 7200.
        const Spectrum s = sample(6900, 7300, 1, [](double E) {
            return (E >= 7000 ? 2.0 : 0.0) + (E >= 7200 ? 1.0 : 0.0);
        });
        const QVector<ElemRowSnapshot> rows = {row(7000), row(7200)};
        ElemsResult res = ElementAnalysis::analyze(s, rows, 0, ElemBackground());
        QCOMPARE(res.kinds[ElemKindN], (QVector<double>{1.0, 0.5}));
        res = ElementAnalysis::analyze(s, rows, 1, ElemBackground());
        QCOMPARE(res.kinds[ElemKindN], (QVector<double>{2.0, 1.0}));
        // No main target checked (-1) or one beyond the rows: divided by 1.
        for (int mainT : {-1, 2, 100}) {
            res = ElementAnalysis::analyze(s, rows, mainT, ElemBackground());
            QCOMPARE(res.kinds[ElemKindN], (QVector<double>{2.0, 1.0}));
        }
        // A main target below its threshold with bgDMut 0 divides by 1.
        res = ElementAnalysis::analyze(s, {row(7000, 5), row(7200)}, 0, ElemBackground());
        QCOMPARE(res.kinds[ElemKindN], (QVector<double>{0.0, 1.0}));
        QCOMPARE(ElementAnalysis::analyze(s, {}, 0, ElemBackground()).rowCount(), 0);
        QCOMPARE(res.value(ElemKindN, 5), 0.0);
        QCOMPARE(res.value(9, 0), 0.0);
    }

    void correlation()
    {
        double c = 42;
        QVERIFY(ElementAnalysis::correlation({1, 2, 3}, {2, 4, 6}, {true, true, true}, c));
        QVERIFY(std::fabs(c - 1) < 1e-15);
        QVERIFY(ElementAnalysis::correlation({-2}, {3}, {true}, c));
        QCOMPARE(c, -1.0);
        // Unused rows are left out: (1, 0) against (1, 5) with the second unused.
        QVERIFY(ElementAnalysis::correlation({1, 0}, {1, 5}, {true, false}, c));
        QCOMPARE(c, 1.0);
        QVERIFY(ElementAnalysis::correlation({1, 1}, {1, 0}, {true, true}, c));
        QVERIFY(std::fabs(c - 1 / std::sqrt(2.0)) < 1e-15);
        c = 42;
        QVERIFY(!ElementAnalysis::correlation({1, 2}, {1, 2}, {false, false}, c));
        QVERIFY(!ElementAnalysis::correlation({0, 0}, {1, 2}, {true, true}, c));
        QVERIFY(!ElementAnalysis::correlation({1}, {std::nan("")}, {true}, c));
        QCOMPARE(c, 42.0);
        // Vectors of different lengths: only the common rows count.
        QVERIFY(ElementAnalysis::correlation({1, 2}, {1}, {true, true, true}, c));
        QCOMPARE(c, 1.0);
    }

};

QTEST_GUILESS_MAIN(TestElementAnalysis)
#include "tst_elementanalysis.moc"
