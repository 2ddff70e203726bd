// The correlation maps of a 2-D run's element answers, and the ratio map
// against its formula.

#include "analysis/Analysis2DRecord.h"
#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "support/Maps.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

class TestAnalysis2D : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initColorTables(); }

    // The thresholded correlation map keeps the correlation from the
    // threshold up; short vectors and a short map list are not read past.
    void correlationThreshold()
    {
        AnalyzeCond ac = ts::pixelGrid(5, 1);
        Analyzed2DRes maps[2];
        QVector<Analyzed2DRes*> list;
        for (Analyzed2DRes& m : maps) {
            m.setCond(ac);
            list << &m;
        }
        // No element rows: the two correlation maps come first.
        do {
            recordElemBlock(list, 0, {}, 0.25 * ac.curX, 0.5, ac);
        } while (ac.next());
        for (int x = 0; x < 5; ++x) {
            QCOMPARE(maps[0].valueAt(x, 0), 0.25 * x);
            QCOMPARE(maps[1].valueAt(x, 0), x >= 2 ? 0.25 * x : 0.0);
        }
        recordElemBlock(list.mid(0, 1), 2, {{1.0}}, 0, 0, ac);
        recordElemBlock({}, -1, {}, 0, 0, ac);
    }

    void ratioMapFollowsTheFormula()
    {
        const int W = 6, H = 4;
        const AnalyzeCond full = ts::pixelGrid(W, H);
        Analyzed2DRes dMut("a2d DMut"), rest("a2d Rest"), ratio("a2d Rati");
        // Rest above 0 everywhere: the unanalysed zeros must not become the minimum.
        auto restAt = [](int x, int y) { return 1.0 + 0.5 * y + 0.1 * x; };
        ts::fillMap(dMut, W, H, [](int x, int) { return 1.0 + x; });
        ts::fillMap(rest, W, H, restAt);
        // A first pass over the whole map, then one over its first 8 blocks: the
        // second keeps nothing of the first, not even its extremes.
        computeRatioMap(dMut, rest, ratio, full, W * H);
        const int done = 8;
        computeRatioMap(dMut, rest, ratio, full, done);
        const double m = restAt(0, 0);
        double lo = 1e300, hi = -1e300;
        for (int y = 0; y < H; ++y)
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
};

QTEST_MAIN(TestAnalysis2D)
#include "tst_analysis2d.moc"
