// Block-by-block recording of a 2-D run: every pixel of the maps checked
// against the value its block should hold, computed straight from the block
// geometry, plus the ratio map against the formula and short result vectors;
// and a main window closed while its run is under way. Whole runs against
// their truth are in the run-scenario test.

#include "support/RunStack.h"
#include "support/Spectra.h"
#include "analysis/Analysis2DDriver.h"
#include "analysis/Analysis2DRecord.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"

#include <QCheckBox>
#include <QPointer>
#include <QRadioButton>
#include <QtTest>

#include <algorithm>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// The block centre that covers pixel (x, y) of a grid starting at 0 with
// blocks of (2 xw + 1) x (2 yw + 1).
int centreOf(int p, int hw) { return (p / (2 * hw + 1)) * (2 * hw + 1) + hw; }

double fractionAt(int cx, int cy) { return 0.1 + 0.05 * cx + 0.02 * cy; }

}  // namespace

class TestAnalysis2D : public QObject
{
    Q_OBJECT

private slots:
    void lcfMapsTakeTheBlockValuesOfUsedRows();
    void elementMapsKindMajorAndCorrelation();
    void ratioMapFollowsTheFormula();
    void initTestCase();
    void bodyDestroyedMidRun();
};

void TestAnalysis2D::initTestCase()
{
    initGlobals();
    initColorTables();
    installAnalysisOnBody();
}

void TestAnalysis2D::bodyDestroyedMidRun()
{
    auto* b = new Body;
    ts::MuStack st;
    st.mu = [](double E, int c, int) { return synth::sigmoid(E, 9000 + c, 0.4); };
    ts::loadMuStack(*b, st);
    Analyzer* a = AnalysisOnBody::of(*b)->analyzer();
    a->Sel2DA->setChecked(true);
    a->Sel2DADEdgeA->setChecked(true);
    QSignalSpy recorded(AnalysisOnBody::of(*b)->driver(), &Analysis2DDriver::blockRecorded);
    emit a->askAnalyze();
    QVERIFY(b->analysis2DRunning);
    QVERIFY(recorded.wait(30000));
    QPointer<Analyzer> panel(a);
    QPointer<Analysis2DDriver> run(AnalysisOnBody::of(*b)->driver());
    delete b;
    QVERIFY(panel.isNull() && run.isNull());
    // No answer of the abandoned run arrives at freed objects.
    QTest::qWait(100);
}

void TestAnalysis2D::lcfMapsTakeTheBlockValuesOfUsedRows()
{
    const int W = 8, H = 9, xw = 1, yw = 1;
    AnalyzeCond ac;
    ac.set(W, H, xw, yw, 0, 0, W, H, -1, -1);

    // Three rows, the fit used the first and the last: the middle one's maps stay 0.
    const QVector<int> used{0, 2};
    std::vector<std::unique_ptr<Analyzed2DRes>> owned;
    QVector<Analyzed2DRes*> maps;
    for (int i = 0; i < 6; ++i) {
        owned.emplace_back(new Analyzed2DRes(QString("m%1").arg(i)));
        owned.back()->setCond(ac);
        maps << owned.back().get();
    }
    maps[4] = nullptr;  // a row without a second map must be skipped

    int blocks = 0;
    do {
        const double f = fractionAt(ac.curX, ac.curY);
        // Amounts of the two used rows, then their fractions.
        QCOMPARE(recordLcfBlock(maps, 3, used, {10 * f, 10 * (1 - f)}, {f, 1 - f}, ac), 0);
        ++blocks;
    } while (ac.next());
    QCOMPARE(blocks, 3 * 3);

    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const double f = fractionAt(centreOf(x, xw), centreOf(y, yw));
            QVERIFY(std::abs(maps[0]->valueAt(x, y) - 10 * f) < 1e-12);
            QVERIFY(std::abs(maps[2]->valueAt(x, y) - 10 * (1 - f)) < 1e-12);
            QVERIFY(std::abs(maps[3]->valueAt(x, y) - f) < 1e-12);
            QVERIFY(std::abs(maps[5]->valueAt(x, y) - (1 - f)) < 1e-12);
            QCOMPARE(maps[1]->valueAt(x, y), 0.0);
        }
    }
    QCOMPARE(owned[4]->valueAt(0, 0), 0.0);

    // Fewer answers than used rows: the rest is left alone, nothing read past.
    AnalyzeCond one;
    one.set(W, H, 0, 0, 0, 0, 1, 1, -1, -1);
    recordLcfBlock(maps, 3, used, {5.0}, {}, one);
    QCOMPARE(maps[0]->valueAt(0, 0), 5.0);
    QVERIFY(std::abs(maps[3]->valueAt(0, 0) - fractionAt(1, 1)) < 1e-12);
    QVERIFY(std::abs(maps[2]->valueAt(0, 0) - 10 * (1 - fractionAt(1, 1))) < 1e-12);
    // A row added after the maps were prepared has none: counted, not written.
    QCOMPARE(recordLcfBlock(maps, 3, {0, 3}, {7.0, 8.0}, {0.5, 0.5}, one), 1);
    QCOMPARE(maps[0]->valueAt(0, 0), 7.0);
}

void TestAnalysis2D::elementMapsKindMajorAndCorrelation()
{
    const int W = 5, H = 3, rows = 2;
    AnalyzeCond ac;
    ac.set(W, H, 0, 0, 0, 0, W, H, -1, -1);
    std::vector<std::unique_ptr<Analyzed2DRes>> owned;
    QVector<Analyzed2DRes*> maps;
    for (int i = 0; i < 7 * rows + 2; ++i) {
        owned.emplace_back(new Analyzed2DRes);
        owned.back()->setCond(ac);
        maps << owned.back().get();
    }
    const double corTh = 0.5;
    do {
        QVector<QVector<double>> kinds(7);
        for (int k = 0; k < 7; ++k)
            for (int i = 0; i < rows; ++i) kinds[k] << 100 * k + 10 * i + ac.curX + 0.1 * ac.curY;
        const double cor = 0.2 * ac.curX;
        recordElemBlock(maps, rows, kinds, cor, corTh, ac);
    } while (ac.next());

    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            for (int k = 0; k < 7; ++k)
                for (int i = 0; i < rows; ++i)
                    QVERIFY(std::abs(maps[k * rows + i]->valueAt(x, y)
                                     - (100 * k + 10 * i + x + 0.1 * y)) < 1e-12);
            const double cor = 0.2 * x;
            QVERIFY(std::abs(maps[7 * rows]->valueAt(x, y) - cor) < 1e-12);
            QVERIFY(std::abs(maps[7 * rows + 1]->valueAt(x, y) - (cor >= corTh ? cor : 0.0)) < 1e-12);
        }
    }
    QCOMPARE(thresholdedCorrelation(0.5, 0.5), 0.5);
    QCOMPARE(thresholdedCorrelation(0.49, 0.5), 0.0);

    // Short vectors and a short map list must not be read past.
    recordElemBlock(maps.mid(0, 3), rows, {{1.0}}, 0, 0, ac);
    recordElemBlock({}, -1, {}, 0, 0, ac);
}

void TestAnalysis2D::ratioMapFollowsTheFormula()
{
    const int W = 6, H = 4;
    AnalyzeCond full;
    full.set(W, H, 0, 0, 0, 0, W, H, -1, -1);
    Analyzed2DRes dMut("a2d DMut"), rest("a2d Rest"), ratio("a2d Rati");
    dMut.setCond(full);
    rest.setCond(full);
    // Rest above 0 everywhere: the unanalysed zeros must not become the minimum.
    auto restAt = [](int x, int y) { return 1.0 + 0.5 * y + 0.1 * x; };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            dMut.setData(x, y, 0, 0, 1.0 + x);
            rest.setData(x, y, 0, 0, restAt(x, y));
        }
    // A first pass over the whole map, then one over its first 8 blocks: the
    // second keeps nothing of the first, not even its extremes.
    computeRatioMap(dMut, rest, ratio, full, W * H);
    const int done = 8;
    computeRatioMap(dMut, rest, ratio, full, done);
    double m = 1e300;
    for (int k = 0; k < done; ++k) m = std::min(m, restAt(k % W, k / W));
    double lo = 1e300, hi = -1e300;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            double want = 0;
            if (y * W + x < done) {
                const double r = restAt(x, y) - m;
                want = r / (1.0 + x + r);
                lo = std::min(lo, want);
                hi = std::max(hi, want);
            }
            QVERIFY2(std::abs(ratio.valueAt(x, y) - want) < 1e-12, qPrintable(QString("%1,%2").arg(x).arg(y)));
        }
    }
    QCOMPARE(ratio.dataMin, lo);
    QCOMPARE(ratio.dataMax, hi);

    // d + r = 0 gives 0, not NaN.
    Analyzed2DRes zeroD, flat("flat"), out;
    flat.setCond(full);
    computeRatioMap(zeroD, flat, out, full, W * H);
    QCOMPARE(out.valueAt(2, 2), 0.0);
    QVERIFY(std::isfinite(out.dataMax) && std::isfinite(out.dataMin));

    // No Rest data: nothing is written.
    Analyzed2DRes noData, untouched;
    untouched.setCond(full);
    computeRatioMap(dMut, noData, untouched, full, W * H);
    QCOMPARE(untouched.dataMax, -1e300);
}

QTEST_MAIN(TestAnalysis2D)
#include "tst_analysis2d.moc"
