#include "support/Maps.h"
#include "support/WidgetEvents.h"
#include "tools/Stats.h"
#include "tools/StatsMath.h"
#include "widgets/DispA.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <numeric>

using namespace StatsMath;

namespace {

const double nan_ = std::numeric_limits<double>::quiet_NaN();
const double inf_ = std::numeric_limits<double>::infinity();

double ramp(int x, int y) { return x + 10.0 * y; }

}  // namespace

class TestStats : public QObject
{
    Q_OBJECT

private slots:
    // Values that are no numbers are left out. Values far from zero with a
    // small spread lose every digit when the squared mean is taken from the
    // mean of the squares.
    void summary_data()
    {
        QTest::addColumn<QVector<double>>("values");
        QTest::addColumn<int>("n");
        QTest::addColumn<double>("mean");
        QTest::addColumn<double>("sigma");
        QTest::newRow("four") << QVector<double>{1, 2, 3, 4} << 4 << 2.5 << std::sqrt(1.25);
        QTest::newRow("far from zero") << QVector<double>{8979.001, 8979.002, 8979.003, 8979.004} << 4 << 8979.0025
                                       << std::sqrt(1.25) * 1e-3;
        QTest::newRow("none") << QVector<double>{} << 0 << 0.0 << 0.0;
        QTest::newRow("all nan") << QVector<double>{nan_, nan_} << 0 << 0.0 << 0.0;
        QTest::newRow("nan and inf among") << QVector<double>{nan_, 1, inf_, 3} << 2 << 2.0 << 1.0;
    }
    void summary()
    {
        QFETCH(QVector<double>, values);
        QFETCH(int, n);
        QFETCH(double, mean);
        QFETCH(double, sigma);
        const Summary s = summarize(values);
        QCOMPARE(s.n, n);
        QVERIFY(std::fabs(s.mean - mean) <= 1e-12 * std::fabs(mean));
        QVERIFY(std::fabs(s.sigma - sigma) <= 1e-9 * sigma);
    }

    // Bins of width 0.25 from 1, 4 of them: every edge is exact in binary.
    void binEdges()
    {
        const QVector<QPair<double, int>> cases{{1.0, 0}, {1.2499, 0}, {1.25, 1}, {2.0, 3},
                                                {0.5, 0}, {1e300, 3}, {-1e300, 0}, {nan_, 0}};
        for (const auto& c : cases) QCOMPARE(binOf(c.first, 1.0, 0.25, 4), c.second);
        QCOMPARE(binOf(5.0, 1.0, 0.0, 4), 0);  // zero width
        QCOMPARE(binOf(1.5, 1.0, 0.25, 0), 0);  // no bins
    }

    // Markers (before -> after) are kept inside the range [2, 5] of a new map.
    void markers()
    {
        const double cases[][4] = {{1e300, -1e300, 2, 5}, {3, 4, 3, 4}, {1, 9, 2, 5}, {0, 1, 2, 5}, {6, 7, 2, 5}};
        for (const auto& c : cases) {
            double lo = c[0], hi = c[1];
            clampMarkers(lo, hi, 2, 5);
            QCOMPARE(QPointF(lo, hi), QPointF(c[2], c[3]));
        }
    }

    void rangeAgainstDirect()
    {
        Histogram h = emptyHistogram(4, 0, 4);
        h.counts = {1, 2, 3, 4};
        const Range all = rangeOf(h, 0, 4);
        QCOMPARE(all.n, 10);
        // Bins counted at their lower edges 0, 1, 2, 3.
        const double mean = (0 * 1 + 1 * 2 + 2 * 3 + 3 * 4) / 10.0;
        const double var = (1 * mean * mean + 2 * (1 - mean) * (1 - mean) + 3 * (2 - mean) * (2 - mean)
                            + 4 * (3 - mean) * (3 - mean)) / 10.0;
        QVERIFY(std::fabs(all.mean - mean) < 1e-12);
        QVERIFY(std::fabs(all.sigma - std::sqrt(var)) < 1e-12);
        const Range mid = rangeOf(h, 0.5, 2.0);  // lower edges 1 and 2
        QCOMPARE(mid.n, 5);
        QVERIFY(std::fabs(mid.mean - 8.0 / 5) < 1e-12);
        QCOMPARE(rangeOf(h, 3, 1).n, 0);
        QCOMPARE(rangeOf(Histogram(), 0, 1).n, 0);
    }

    // Samples are taken at block centres, 0 where a centre lies below the
    // map; outlined are the blocks whose centre value lies in the range.
    void blockCentres()
    {
        Analyzed2DRes map;
        ts::fillMap(map, 9, 4, ramp);
        AnalyzeCond g;
        g.set(9, 4, 1, 1, 0, 0, 9, 5, -1, -1);  // 3 x 3 blocks centred on x 1, 4, 7 and y 1, 4
        QCOMPARE(blockSamples(map, g), QVector<double>({11, 14, 17, 0, 0, 0}));
        QCOMPARE(blocksInRange(map, g, 12, 17), (QVector<QRect>{QRect(3, 0, 2, 2), QRect(6, 0, 2, 2)}));
    }

    // The window's own figures over a map: every sample counted once, bins
    // as asked within what the map can fill, markers around all of it.
    void calcOnAMap_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("used");
        QTest::newRow("batch word, huge") << "setter" << "2000000000" << 200 << 200;
        QTest::newRow("typed, huge") << "field" << "50000000" << 30000 << StatsMath::maxBins;
        QTest::newRow("typed, more than samples") << "field" << "5000" << 1200 << 1200;
        QTest::newRow("small map keeps the default") << "field" << "100" << 30 << 100;
        QTest::newRow("typed words") << "field" << "abc" << 300 << 100;
        QTest::newRow("typed 0") << "field" << "0" << 300 << 100;
        QTest::newRow("ordinary") << "setter" << "64" << 1200 << 64;
    }
    void calcOnAMap()
    {
        QFETCH(QString, how);
        QFETCH(QString, asked);
        QFETCH(int, samples);
        QFETCH(int, used);
        Stats st;
        if (how == "setter")
            st.setBins(asked.toInt());
        else
            st.Bins->setText(asked);
        Analyzed2DRes map;
        st.calc(&map, ts::fillMap(map, samples, 1, ramp));
        QCOMPARE(st.n, samples);
        QCOMPARE(st.counts.size(), used);
        QCOMPARE(std::accumulate(st.counts.begin(), st.counts.end(), 0), samples);
        QCOMPARE(QPointF(st.low, st.high), QPointF(0, samples - 1));  // fresh markers around all of it
        QCOMPARE(st.rangeN, samples);
    }

    // Maps that give nothing to divide by: equal values, no finite value, no
    // map at all. Drawing must not divide by 0.
    void degenerateMaps()
    {
        Analyzed2DRes map;
        ts::fillMap(map, 5, 5, [](int x, int y) { return (x == 2 && y == 2) ? nan_ : 7.0; });
        Stats st;
        st.resize(400, 300);
        st.calc(&map, ts::pixelGrid(5, 5));
        QCOMPARE(st.n, 24);
        QCOMPARE(st.sigma, 0.0);
        QCOMPARE(st.counts[0], 24);
        st.grab();

        Analyzed2DRes allNan;
        ts::fillMap(allNan, 2, 2, [](int, int) { return nan_; });
        st.calc(&allNan, ts::pixelGrid(2, 2));
        QCOMPARE(st.n, 0);
        QCOMPARE(st.maxCount, 0);
        st.grab();

        st.calc(nullptr, ts::pixelGrid(1, 1));
        QCOMPARE(st.map, &allNan);
    }

    // The value under the pointer, 0 off the map and before any map.
    void pointedAt()
    {
        Stats st;
        st.pointedAt(1, 1);
        QCOMPARE(st.pointedValue, 0.0);
        Analyzed2DRes map;
        st.calc(&map, ts::fillMap(map, 4, 3, ramp));
        const QVector<QPair<QPointF, double>> cases{{{2.9, 1.2}, 12.0}, {{-0.5, 0.5}, 0.0}, {{4.0, 0.0}, 0.0},
                                                    {{1e300, -1e300}, 0.0}, {{nan_, 1.0}, 0.0}};
        for (const auto& c : cases) {
            st.pointedAt(1, 1);
            st.pointedAt(c.first.x(), c.first.y());
            QCOMPARE(st.pointedValue, c.second);
            st.grab();
        }
    }

    // Drag the high marker below the low one; on release the two swap and
    // the range handed on is the swapped one.
    void dragMarkers()
    {
        Analyzed2DRes map;
        ts::fillMap(map, 10, 10, ramp);  // 0 .. 99
        Stats st;
        st.Bins->setText("10");
        st.resize(600, 400);
        st.show();
        QVERIFY(QTest::qWaitForWindowExposed(&st));
        st.calc(&map, ts::pixelGrid(10, 10));
        st.grab();
        DispA* da = st.DA;
        ChCoord* c = st.coord;
        auto at = [c](double v) { return QPointF(ChCoord::pix(c->r2sx(v)), 50); };

        WidgetEvents::press(da, at(99) + QPointF(5, 0));
        QCOMPARE(st.grabbed, &st.high);
        WidgetEvents::move(da, at(25), Qt::LeftButton);
        QCOMPARE(st.rangeN, 30);  // low at 0, high near 25: bins at 0, 9.9, 19.8
        WidgetEvents::move(da, at(-10), Qt::LeftButton);
        QCOMPARE(st.rangeN, 0);
        WidgetEvents::release(da, at(-10));
        QVERIFY(!st.grabbed);
        QCOMPARE(st.high, 0.0);
        QVERIFY(st.low < st.high);
        QCOMPARE(st.rangeLow, st.low);
        QCOMPARE(st.rangeHigh, st.high);
        QCOMPARE(st.rangeN, 10);
        WidgetEvents::press(da, at(80));  // far from both markers: nothing taken
        QVERIFY(!st.grabbed);
    }
};

QTEST_MAIN(TestStats)
#include "tst_stats.moc"
