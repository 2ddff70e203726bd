#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "support/WidgetEvents.h"
#include "tools/Stats.h"
#include "tools/StatsMath.h"
#include "widgets/DispA.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>
#include <random>

using namespace StatsMath;

namespace {

const double nan_ = std::numeric_limits<double>::quiet_NaN();
const double inf_ = std::numeric_limits<double>::infinity();

AnalyzeCond pixelGrid(int w, int h)
{
    AnalyzeCond g;
    g.set(w, h, 0, 0, 0, 0, w, h, -1, -1);
    return g;
}

template <typename F>
void makeMap(Analyzed2DRes& map, int w, int h, F f)
{
    map.setCond(pixelGrid(w, h));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) map.data[y * w + x] = f(x, y);
}

}  // namespace

class TestStats : public QObject
{
    Q_OBJECT

private slots:
    // Values far from zero with a small spread, where the sum of squares less
    // the squared mean would lose every digit.
    void summaryAgainstDirect()
    {
        std::mt19937 rng(7);
        std::normal_distribution<double> d(8979.0, 0.003);
        QVector<double> v;
        for (int i = 0; i < 5000; i++) v << d(rng);
        long double sum = 0, dev = 0;
        for (double x : v) sum += x;
        const long double mean = sum / v.size();
        for (double x : v) dev += (x - mean) * (x - mean);
        const double sigma = double(std::sqrt(dev / v.size()));
        const Summary s = summarize(v);
        QCOMPARE(s.n, 5000);
        QVERIFY(std::fabs(s.mean - double(mean)) < 1e-9);
        QVERIFY(std::fabs(s.sigma - sigma) < 1e-6 * sigma);
        QCOMPARE(s.min, *std::min_element(v.begin(), v.end()));
        QCOMPARE(s.max, *std::max_element(v.begin(), v.end()));
    }

    // Values that are no numbers are left out.
    void summaryOfFewValues_data()
    {
        QTest::addColumn<QVector<double>>("values");
        QTest::addColumn<int>("n");
        QTest::addColumn<double>("mean");
        QTest::addColumn<double>("sigma");
        QTest::newRow("four") << QVector<double>{1, 2, 3, 4} << 4 << 2.5 << std::sqrt(1.25);
        QTest::newRow("none") << QVector<double>{} << 0 << 0.0 << 0.0;
        QTest::newRow("all nan") << QVector<double>{nan_, nan_} << 0 << 0.0 << 0.0;
        QTest::newRow("nan and inf among") << QVector<double>{nan_, 1, inf_, 3} << 2 << 2.0 << 1.0;
    }
    void summaryOfFewValues()
    {
        QFETCH(QVector<double>, values);
        QFETCH(int, n);
        QFETCH(double, mean);
        QFETCH(double, sigma);
        const Summary s = summarize(values);
        QCOMPARE(s.n, n);
        QCOMPARE(s.mean, mean);
        QCOMPARE(s.sigma, sigma);
    }

    void binsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("bins");
        QTest::newRow("7") << "7" << 7;
        QTest::newRow("0") << "0" << 100;
        QTest::newRow("negative") << "-3" << 100;
        QTest::newRow("words") << "abc" << 100;
    }
    void binsText()
    {
        QFETCH(QString, text);
        QFETCH(int, bins);
        QCOMPARE(binsOf(text), bins);
    }

    // Bins of width 0.25 from 1, 4 of them: every edge is exact in binary.
    void binEdges_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("width");
        QTest::addColumn<int>("bins");
        QTest::addColumn<int>("bin");
        QTest::newRow("low edge") << 1.0 << 0.25 << 4 << 0;
        QTest::newRow("below first edge") << 1.2499 << 0.25 << 4 << 0;
        QTest::newRow("second edge") << 1.25 << 0.25 << 4 << 1;
        QTest::newRow("last edge") << 1.75 << 0.25 << 4 << 3;
        QTest::newRow("top edge, last bin") << 2.0 << 0.25 << 4 << 3;
        QTest::newRow("below") << 0.5 << 0.25 << 4 << 0;
        QTest::newRow("far above") << 1e300 << 0.25 << 4 << 3;
        QTest::newRow("far below") << -1e300 << 0.25 << 4 << 0;
        QTest::newRow("nan") << nan_ << 0.25 << 4 << 0;
        QTest::newRow("zero width") << 5.0 << 0.0 << 4 << 0;
        QTest::newRow("no bins") << 1.5 << 0.25 << 0 << 0;
    }
    void binEdges()
    {
        QFETCH(double, x);
        QFETCH(double, width);
        QFETCH(int, bins);
        QFETCH(int, bin);
        QCOMPARE(binOf(x, 1.0, width, bins), bin);
    }

    void histogramCounts()
    {
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> d(-2.0, 3.0);
        QVector<double> v;
        for (int i = 0; i < 1000; i++) v << d(rng);
        v << nan_;
        const Summary s = summarize(v);
        Histogram h = emptyHistogram(13, s.min, s.max);
        fill(h, v);
        // A sample is in bin i when at or above its lower edge and below the
        // next; the maximum goes to the last bin.
        QVector<int> direct(13, 0);
        for (double x : v) {
            if (std::isnan(x)) continue;
            int b = 12;
            for (int i = 0; i < 13; i++)
                if (x < s.min + (i + 1) * (s.max - s.min) / 13) {
                    b = i;
                    break;
                }
            direct[b]++;
        }
        int total = 0;
        for (int i = 0; i < 13; i++) {
            QVERIFY(std::abs(h.counts[i] - direct[i]) <= 1);  // edge rounding
            total += h.counts[i];
        }
        QCOMPARE(total, 1000);
        QCOMPARE(h.maxCount, *std::max_element(h.counts.begin(), h.counts.end()));

        Histogram flat = emptyHistogram(10, 4.0, 4.0);
        fill(flat, {4, 4, 4});
        QCOMPARE(flat.counts[0], 3);
    }

    // Markers are kept inside the range [2, 5] of a new map.
    void markers_data()
    {
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::addColumn<double>("loAfter");
        QTest::addColumn<double>("hiAfter");
        QTest::newRow("fresh") << 1e300 << -1e300 << 2.0 << 5.0;
        QTest::newRow("inside") << 3.0 << 4.0 << 3.0 << 4.0;
        QTest::newRow("around") << 1.0 << 9.0 << 2.0 << 5.0;
        QTest::newRow("both below") << 0.0 << 1.0 << 2.0 << 5.0;
        QTest::newRow("both above") << 6.0 << 7.0 << 2.0 << 5.0;
    }
    void markers()
    {
        QFETCH(double, lo);
        QFETCH(double, hi);
        QFETCH(double, loAfter);
        QFETCH(double, hiAfter);
        clampMarkers(lo, hi, 2, 5);
        QCOMPARE(lo, loAfter);
        QCOMPARE(hi, hiAfter);
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

    void blockCentres()
    {
        Analyzed2DRes map;
        makeMap(map, 6, 4, [](int x, int y) { return x + 10.0 * y; });
        AnalyzeCond g;
        g.set(6, 4, 1, 1, 0, 0, 6, 5, -1, -1);  // 3 x 3 blocks centred on (1, 1), (4, 1), (1, 4), (4, 4)
        QCOMPARE(blockSamples(map, g), QVector<double>({11, 14, 0, 0}));  // the second row lies below the map
    }

    void calcOnAMap()
    {
        Analyzed2DRes map;
        makeMap(map, 10, 8, [](int x, int y) { return x * 0.5 + y; });
        Stats st;
        st.Bins->setText("abc");  // falls back to 100
        st.calc(&map, pixelGrid(10, 8));
        QCOMPARE(st.n, 80);
        QCOMPARE(st.bins, 100);
        double sum = 0, sq = 0;
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 10; x++) sum += x * 0.5 + y;
        const double mean = sum / 80;
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 10; x++) sq += (x * 0.5 + y - mean) * (x * 0.5 + y - mean);
        QVERIFY(std::fabs(st.mean - mean) < 1e-12);
        QVERIFY(std::fabs(st.sigma - std::sqrt(sq / 80)) < 1e-12);
        QCOMPARE(st.counts[99], 1);  // only the maximum sits in the last bin
        QCOMPARE(st.low, 0.0);
        QCOMPARE(st.high, 11.5);
        QCOMPARE(st.rangeN, 80);
        st.resize(600, 400);
        st.grab();
        QCOMPARE(st.Num->text(), QString("80"));
        QCOMPARE(st.Mean->text(), QString::number(mean, 'g', 6));

        Analyzed2DRes narrow;
        makeMap(narrow, 4, 1, [](int x, int) { return 20.0 + x; });
        st.calc(&narrow, pixelGrid(4, 1));
        QCOMPARE(st.low, 20.0);
        QCOMPARE(st.high, 23.0);
    }

    void equalValuesAndNaN()
    {
        Analyzed2DRes map;
        makeMap(map, 5, 5, [](int x, int y) { return (x == 2 && y == 2) ? nan_ : 7.0; });
        Stats st;
        st.calc(&map, pixelGrid(5, 5));
        QCOMPARE(st.n, 24);
        QCOMPARE(st.sigma, 0.0);
        QCOMPARE(st.counts[0], 24);
        st.resize(400, 300);
        st.grab();  // draws with width 1 instead of dividing by 0
        QCOMPARE(st.Num->text(), QString("24"));

        Analyzed2DRes allNan;
        makeMap(allNan, 2, 2, [](int, int) { return nan_; });
        st.calc(&allNan, pixelGrid(2, 2));
        QCOMPARE(st.n, 0);
        QCOMPARE(st.maxCount, 0);
        st.grab();

        AnalyzeCond far;  // its only block lies outside the map: samples 0
        far.set(5, 5, 0, 0, 100, 100, 0, 0, -1, -1);
        st.calc(&map, far);
        QCOMPARE(st.n, 1);
        QCOMPARE(st.mean, 0.0);
        st.calc(nullptr, pixelGrid(1, 1));
        QCOMPARE(st.map, &map);
    }

    void pointedAt_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<double>("value");
        QTest::newRow("inside") << 2.9 << 1.2 << 12.0;
        QTest::newRow("negative truncates to 0") << -0.5 << 0.5 << 0.0;
        QTest::newRow("right of the map") << 4.0 << 0.0 << 0.0;
        QTest::newRow("huge") << 1e300 << -1e300 << 0.0;
        QTest::newRow("nan") << nan_ << 1.0 << 0.0;
    }
    void pointedAt()
    {
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(double, value);
        Stats st;
        st.pointedAt(1, 1);  // no map yet
        QCOMPARE(st.pointedValue, 0.0);
        Analyzed2DRes map;
        makeMap(map, 4, 3, [](int x, int y) { return x + 10.0 * y; });
        st.calc(&map, pixelGrid(4, 3));
        st.pointedAt(1, 1);
        st.pointedAt(x, y);
        QCOMPARE(st.pointedValue, value);
        st.resize(400, 300);
        st.grab();
    }

    // Drag the high marker below the low one; on release the two swap and
    // the range handed on is the swapped one.
    void dragMarkers()
    {
        Analyzed2DRes map;
        makeMap(map, 10, 10, [](int x, int y) { return x + 10.0 * y; });  // 0 .. 99
        Stats st;
        st.Bins->setText("10");
        st.resize(600, 400);
        st.show();
        QVERIFY(QTest::qWaitForWindowExposed(&st));
        st.calc(&map, pixelGrid(10, 10));
        st.grab();
        DispA* da = st.DA;
        ChCoord* c = st.coord;
        auto at = [c](double v) { return QPointF(ChCoord::pix(c->r2sx(v)), 50); };

        QSignalSpy range(&st, &Stats::rangeSelected);
        WidgetEvents::press(da, at(99) + QPointF(5, 0));
        QCOMPARE(st.grabbed, &st.high);
        WidgetEvents::move(da, at(25), Qt::LeftButton);
        QVERIFY(std::fabs(st.high - c->s2rx(int(at(25).x()))) < 1e-9);
        QVERIFY(range.count() >= 1);
        QCOMPARE(st.rangeN, 30);  // low at 0, high near 25: bins at 0, 9.9, 19.8
        WidgetEvents::move(da, at(-10), Qt::LeftButton);
        QCOMPARE(st.rangeN, 0);
        WidgetEvents::release(da, at(-10));
        QVERIFY(!st.grabbed);
        QVERIFY(st.low < st.high);
        QCOMPARE(st.high, 0.0);
        QCOMPARE(st.rangeLow, st.low);
        QCOMPARE(st.rangeHigh, st.high);
        QCOMPARE(st.rangeN, 10);

        // Both markers within reach: the high one is taken.
        st.low = 50;
        st.high = 51;
        st.grab();
        WidgetEvents::press(da, at(50.5));
        QCOMPARE(st.grabbed, &st.high);
        WidgetEvents::release(da, at(50.5));
        // Far from both: nothing is taken, moving changes nothing.
        WidgetEvents::press(da, at(80));
        QVERIFY(!st.grabbed);
        WidgetEvents::move(da, at(90), Qt::LeftButton);
        QCOMPARE(st.low, 50.0);
        WidgetEvents::release(da, at(90));
        st.grab();
        QCOMPARE(st.Val->text(), QString("1"));
    }
};

QTEST_MAIN(TestStats)
#include "tst_stats.moc"
