// Block-by-block recording of a 2-D run: every pixel of the maps checked
// against the value its block should hold, computed straight from the block
// geometry, plus the ratio map against the formula and short result vectors.

#include "analysis/Analysis2DRecord.h"
#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"

#include <QtTest>

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
};

void TestAnalysis2D::lcfMapsTakeTheBlockValuesOfUsedRows()
{
    const int W = 8, H = 9, xw = 1, yw = 1;
    AnalyzeCond ac;
    ac.set(W, H, xw, yw, 0, 0, W, H, -1, -1);

    // Three rows, the middle one unused: its maps stay 0 and it takes no index.
    const QVector<bool> used{true, false, true};
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
        recordLcfBlock(maps, used, {10 * f, 10 * (1 - f)}, {f, 1 - f}, ac);
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
    recordLcfBlock(maps, used, {5.0}, {}, one);
    QCOMPARE(maps[0]->valueAt(0, 0), 5.0);
    QVERIFY(std::abs(maps[3]->valueAt(0, 0) - fractionAt(1, 1)) < 1e-12);
    QVERIFY(std::abs(maps[2]->valueAt(0, 0) - 10 * (1 - fractionAt(1, 1))) < 1e-12);
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
    AnalyzeCond small;  // the DMut map is smaller: outside it d counts 0
    small.set(4, 3, 0, 0, 0, 0, 4, 3, -1, -1);
    Analyzed2DRes dMut("a2d DMut"), rest("a2d Rest"), ratio("a2d Rati");
    dMut.setCond(small);
    rest.setCond(full);
    ratio.setCond(full);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) dMut.setData(x, y, 0, 0, 1.0 + x);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) rest.setData(x, y, 0, 0, x == 0 && y == 0 ? -2.0 : 0.5 * y);
    computeRatioMap(dMut, rest, ratio);

    const double m = -2.0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const double d = (x < 4 && y < 3) ? 1.0 + x : 0.0;
            const double r = (x == 0 && y == 0 ? -2.0 : 0.5 * y) - m;
            const double want = (d + r) != 0 ? r / (d + r) : 0.0;
            QVERIFY2(std::abs(ratio.valueAt(x, y) - want) < 1e-12, qPrintable(QString("%1,%2").arg(x).arg(y)));
            QVERIFY(std::isfinite(ratio.valueAt(x, y)));
        }
    }
    // (0, 0) has r = 0 but d = 1: ratio 0 by the formula; a pixel with d + r = 0
    // must come out as 0, not NaN.
    Analyzed2DRes zeroD, flat("flat"), out;
    flat.setCond(full);
    out.setCond(full);
    computeRatioMap(zeroD, flat, out);
    QCOMPARE(out.valueAt(2, 2), 0.0);
    QVERIFY(std::isfinite(out.dataMax) && std::isfinite(out.dataMin));

    // No Rest data: nothing is written.
    Analyzed2DRes noData, untouched;
    untouched.setCond(full);
    computeRatioMap(dMut, noData, untouched);
    QCOMPARE(untouched.dataMax, -1e300);
}

QTEST_GUILESS_MAIN(TestAnalysis2D)
#include "tst_analysis2d.moc"
