#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "tools/Stats.h"
#include "tools/StatsMath.h"
#include "widgets/DispA.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include <cmath>
#include <limits>
#include <random>

using namespace StatsMath;

namespace {

const double notANumber = std::numeric_limits<double>::quiet_NaN();

// A w x h map whose pixel (x, y) holds f(x, y).
template <typename F>
void makeMap(Analyzed2DRes& map, int w, int h, F f)
{
    AnalyzeCond g;
    g.set(w, h, 0, 0, 0, 0, w, h, -1, -1);
    map.setCond(g);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) map.data[y * w + x] = f(x, y);
}

AnalyzeCond pixelGrid(int w, int h)
{
    AnalyzeCond g;
    g.set(w, h, 0, 0, 0, 0, w, h, -1, -1);
    return g;
}

void sendMouse(QWidget* w, QEvent::Type type, int x, int y)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(x, y), w->mapToGlobal(QPoint(x, y)), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

}  // namespace

class TestStats : public QObject
{
    Q_OBJECT

private slots:
    // Mean and sigma against a direct long-double computation, with values
    // far from zero and a small spread, where the sum of squares less the
    // squared mean would lose every digit.
    void summaryAgainstDirect()
    {
        std::mt19937 rng(7);
        std::normal_distribution<double> d(8979.0, 0.003);
        QVector<double> v;
        for (int i = 0; i < 5000; i++) v << d(rng);
        long double sum = 0;
        for (double x : v) sum += x;
        const long double mean = sum / v.size();
        long double dev = 0;
        for (double x : v) dev += (x - mean) * (x - mean);
        const double sigma = double(std::sqrt(dev / v.size()));
        const Summary s = summarize(v);
        QCOMPARE(s.n, 5000);
        QVERIFY(std::fabs(s.mean - double(mean)) < 1e-9);
        QVERIFY(std::fabs(s.sigma - sigma) < 1e-9 * sigma * 1e3);
        QCOMPARE(s.min, *std::min_element(v.begin(), v.end()));
        QCOMPARE(s.max, *std::max_element(v.begin(), v.end()));

        const Summary small = summarize({1, 2, 3, 4});
        QCOMPARE(small.mean, 2.5);
        QCOMPARE(small.variance, 1.25);
        QCOMPARE(small.sigma, std::sqrt(1.25));
    }

    void summaryOfNothingAndNaN()
    {
        const Summary e = summarize({});
        QCOMPARE(e.n, 0);
        QCOMPARE(e.mean, 0.0);
        QCOMPARE(e.sigma, 0.0);
        QCOMPARE(e.min, 0.0);
        QCOMPARE(e.max, 0.0);

        const Summary allNan = summarize({notANumber, notANumber});
        QCOMPARE(allNan.n, 0);
        QCOMPARE(allNan.mean, 0.0);

        const Summary some = summarize({notANumber, 1, std::numeric_limits<double>::infinity(), 3});
        QCOMPARE(some.n, 2);
        QCOMPARE(some.mean, 2.0);
        QCOMPARE(some.sigma, 1.0);
        QCOMPARE(some.max, 3.0);
    }

    void binsText()
    {
        QCOMPARE(binsOf("100"), 100);
        QCOMPARE(binsOf("7"), 7);
        QCOMPARE(binsOf("0"), 100);
        QCOMPARE(binsOf("-3"), 100);
        QCOMPARE(binsOf("abc"), 100);
        QCOMPARE(binsOf(""), 100);
    }

    // Bins of width 0.25 from 1: every edge is exact in binary.
    void binEdges()
    {
        QCOMPARE(binOf(1.0, 1.0, 0.25, 4), 0);
        QCOMPARE(binOf(1.2499, 1.0, 0.25, 4), 0);
        QCOMPARE(binOf(1.25, 1.0, 0.25, 4), 1);
        QCOMPARE(binOf(1.75, 1.0, 0.25, 4), 3);
        QCOMPARE(binOf(2.0, 1.0, 0.25, 4), 3);  // the top edge belongs to the last bin
        QCOMPARE(binOf(0.5, 1.0, 0.25, 4), 0);
        QCOMPARE(binOf(1e300, 1.0, 0.25, 4), 3);
        QCOMPARE(binOf(-1e300, 1.0, 0.25, 4), 0);
        QCOMPARE(binOf(notANumber, 1.0, 0.25, 4), 0);
        QCOMPARE(binOf(5.0, 5.0, 0.0, 4), 0);  // all samples equal
        QCOMPARE(binOf(1.5, 1.0, 0.25, 0), 0);
    }

    void histogramCounts()
    {
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> d(-2.0, 3.0);
        QVector<double> v;
        for (int i = 0; i < 1000; i++) v << d(rng);
        v << notANumber;
        const Summary s = summarize(v);
        Histogram h = emptyHistogram(13, s.min, s.max);
        QCOMPARE(h.maxCount, 1);
        fill(h, v);
        // Direct count: a sample is in bin i when it is at or above the
        // lower edge and below the next; the maximum goes to the last bin.
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
            QVERIFY2(std::abs(h.counts[i] - direct[i]) <= 1, qPrintable(QString::number(i)));  // edge rounding
            total += h.counts[i];
        }
        QCOMPARE(total, 1000);
        QCOMPARE(h.maxCount, *std::max_element(h.counts.begin(), h.counts.end()));

        Histogram flat = emptyHistogram(10, 4.0, 4.0);
        QCOMPARE(flat.binWidth, 0.0);
        fill(flat, {4, 4, 4});
        QCOMPARE(flat.counts[0], 3);
        QCOMPARE(flat.maxCount, 3);

        Histogram none = emptyHistogram(10, 0, 1);
        fill(none, {});
        QCOMPARE(none.maxCount, 0);
    }

    void markers()
    {
        double lo = 1e300, hi = -1e300;
        clampMarkers(lo, hi, 2, 5);
        QCOMPARE(lo, 2.0);
        QCOMPARE(hi, 5.0);
        lo = 3;
        hi = 4;
        clampMarkers(lo, hi, 2, 5);
        QCOMPARE(lo, 3.0);
        QCOMPARE(hi, 4.0);
        lo = 1;
        hi = 9;
        clampMarkers(lo, hi, 2, 5);
        QCOMPARE(lo, 2.0);
        QCOMPARE(hi, 5.0);
        lo = 0;
        hi = 1;  // both below the new range
        clampMarkers(lo, hi, 2, 5);
        QCOMPARE(lo, 2.0);
        QCOMPARE(hi, 5.0);
        lo = 6;
        hi = 7;  // both above
        clampMarkers(lo, hi, 2, 5);
        QCOMPARE(lo, 2.0);
        QCOMPARE(hi, 5.0);
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
                            + 4 * (3 - mean) * (3 - mean))
                           / 10.0;
        QVERIFY(std::fabs(all.mean - mean) < 1e-12);
        QVERIFY(std::fabs(all.variance - var) < 1e-12);
        QVERIFY(std::fabs(all.sigma - std::sqrt(var)) < 1e-12);

        const Range mid = rangeOf(h, 0.5, 2.0);  // lower edges 1 and 2
        QCOMPARE(mid.n, 5);
        QVERIFY(std::fabs(mid.mean - 8.0 / 5) < 1e-12);
        QCOMPARE(mid.low, 0.5);
        QCOMPARE(mid.high, 2.0);

        const Range crossed = rangeOf(h, 3, 1);
        QCOMPARE(crossed.n, 0);
        QCOMPARE(crossed.mean, 0.0);
        QCOMPARE(crossed.sigma, 0.0);

        const Range empty = rangeOf(Histogram(), 0, 1);
        QCOMPARE(empty.n, 0);
    }

    void blockCentres()
    {
        Analyzed2DRes map;
        makeMap(map, 6, 4, [](int x, int y) { return x + 10.0 * y; });
        AnalyzeCond g;
        g.set(6, 4, 1, 1, 0, 0, 6, 5, -1, -1);  // blocks of 3 x 3 centred on (1, 1), (4, 1), (1, 4), (4, 4)
        const QVector<double> s = blockSamples(map, g);
        QCOMPARE(s, QVector<double>({11, 14, 0, 0}));  // the second row's centres lie below the map
    }

    void formAndDefaults()
    {
        Stats st;
        QCOMPARE(st.windowTitle(), QString("Statistics"));
        QCOMPARE(st.Bins->text(), QString("100"));
        QVERIFY(!st.Bins->isReadOnly());
        for (QLineEdit* e : {st.X, st.Val, st.Num, st.Mean, st.Sigma, st.SelMin, st.SelMax, st.SelMean, st.SelSigma}) {
            QCOMPARE(e->text(), QString("0"));
            QVERIFY(e->isReadOnly());
            QVERIFY(e->alignment() & Qt::AlignRight);
            QCOMPARE(e->styleSheet(), QString("background-color: rgb(255, 252, 200);"));
        }
        QCOMPARE(st.ShowOverImage->text(), QString("Show Over Image"));
        QVERIFY(!st.ShowOverImage->isChecked());
        QCOMPARE(st.ShowStatsInSelectedArea->text(), QString("Show Stats in Selected Area"));
        QVERIFY(st.findChild<DispA*>("DA"));
        QCOMPARE(st.bins, 100);
        QCOMPARE(st.binWidth, 0.01);
        QCOMPARE(st.low, 1e300);
        QCOMPARE(st.high, -1e300);
        QVERIFY(!st.map);
        QCOMPARE(st.pen.dashPattern(), QVector<qreal>({8.0, 2.0}));
        QStringList labels;
        for (QLabel* l : st.findChildren<QLabel*>()) labels << l->text();
        for (const char* t : {"Bins", "X", "Val/Max", "Num", "Mean", "Sigma", "Min.", "Max.", "Sigam", "In Selected Area:"})
            QVERIFY2(labels.contains(t), t);

        QSignalSpy range(&st, &Stats::rangeSelected);
        st.setOverImage(true);
        QVERIFY(st.ShowOverImage->isChecked());
        QCOMPARE(range.count(), 1);
        st.setCalcInSelectedRegion(true);
        QVERIFY(st.ShowStatsInSelectedArea->isChecked());
        st.setBins(25);
        QCOMPARE(st.Bins->text(), QString("25"));
    }

    void japaneseForm()
    {
        QTranslator t;
        QVERIFY(t.load(":Corvenlith_ja_JP"));
        QCoreApplication::installTranslator(&t);
        Stats st;
        QCoreApplication::removeTranslator(&t);
        QCOMPARE(st.windowTitle(), QString::fromUtf8("統計"));
        QCOMPARE(st.ShowOverImage->text(), QString::fromUtf8("画像上に表示"));
    }

    void calcOnAMap()
    {
        Analyzed2DRes map;
        makeMap(map, 10, 8, [](int x, int y) { return x * 0.5 + y; });
        Stats st;
        st.Bins->setText("abc");  // falls back to 100
        QSignalSpy range(&st, &Stats::rangeSelected);
        st.calc(&map, pixelGrid(10, 8));
        QCOMPARE(range.count(), 1);
        QCOMPARE(st.n, 80);
        QCOMPARE(st.bins, 100);
        QCOMPARE(st.min, 0.0);
        QCOMPARE(st.max, 11.5);
        double sum = 0, sq = 0;
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 10; x++) sum += x * 0.5 + y;
        const double mean = sum / 80;
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 10; x++) sq += (x * 0.5 + y - mean) * (x * 0.5 + y - mean);
        QVERIFY(std::fabs(st.mean - mean) < 1e-12);
        QVERIFY(std::fabs(st.sigma - std::sqrt(sq / 80)) < 1e-12);
        int total = 0;
        for (int c : st.counts) total += c;
        QCOMPARE(total, 80);
        QCOMPARE(st.counts[99], 1);  // only the maximum sits in the last bin
        // Fresh markers take the whole range.
        QCOMPARE(st.low, 0.0);
        QCOMPARE(st.high, 11.5);
        QCOMPARE(st.rangeN, 80);

        // The fields follow at the next repaint.
        st.resize(600, 400);
        st.grab();
        QCOMPARE(st.Num->text(), QString("80"));
        QCOMPARE(st.Mean->text(), QString::number(mean, 'g', 6));
        QCOMPARE(st.SelMax->text(), QString("11.5"));

        // Markers kept inside a narrower map's range.
        Analyzed2DRes narrow;
        makeMap(narrow, 4, 1, [](int x, int) { return 20.0 + x; });
        st.calc(&narrow, pixelGrid(4, 1));
        QCOMPARE(st.low, 20.0);
        QCOMPARE(st.high, 23.0);
    }

    void equalValuesAndNaN()
    {
        Analyzed2DRes map;
        makeMap(map, 5, 5, [](int x, int y) { return (x == 2 && y == 2) ? notANumber : 7.0; });
        Stats st;
        st.calc(&map, pixelGrid(5, 5));
        QCOMPARE(st.n, 24);
        QCOMPARE(st.mean, 7.0);
        QCOMPARE(st.sigma, 0.0);
        QCOMPARE(st.binWidth, 0.0);
        QCOMPARE(st.counts[0], 24);
        QCOMPARE(st.maxCount, 24);
        st.resize(400, 300);
        st.grab();  // draws with width 1 instead of dividing by 0
        QCOMPARE(st.Num->text(), QString("24"));

        Analyzed2DRes allNan;
        makeMap(allNan, 2, 2, [](int, int) { return notANumber; });
        st.calc(&allNan, pixelGrid(2, 2));
        QCOMPARE(st.n, 0);
        QCOMPARE(st.mean, 0.0);
        QCOMPARE(st.maxCount, 0);
        st.grab();
        QCOMPARE(st.Val->text(), QString("0"));

        // A grid whose only block lies outside the map samples 0.
        AnalyzeCond far;
        far.set(5, 5, 0, 0, 100, 100, 0, 0, -1, -1);
        st.calc(&map, far);
        QCOMPARE(st.n, 1);
        QCOMPARE(st.mean, 0.0);

        st.calc(nullptr, pixelGrid(1, 1));  // nothing happens
        QCOMPARE(st.map, &map);
    }

    void pointedAt()
    {
        Stats st;
        st.pointedAt(1, 1);  // no map yet
        QCOMPARE(st.pointedValue, 0.0);
        Analyzed2DRes map;
        makeMap(map, 4, 3, [](int x, int y) { return x + 10.0 * y; });
        st.calc(&map, pixelGrid(4, 3));
        st.pointedAt(2.9, 1.2);
        QCOMPARE(st.pointedValue, 12.0);
        st.pointedAt(-0.5, 0.5);  // truncates to 0
        QCOMPARE(st.pointedValue, 0.0);
        st.pointedAt(1, 1);
        st.pointedAt(4.0, 0);
        QCOMPARE(st.pointedValue, 0.0);
        st.pointedAt(1, 1);
        st.pointedAt(1e300, -1e300);
        QCOMPARE(st.pointedValue, 0.0);
        st.pointedAt(notANumber, 1);
        QCOMPARE(st.pointedValue, 0.0);
        st.resize(400, 300);
        st.pointedAt(3, 2);
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

        QSignalSpy range(&st, &Stats::rangeSelected);
        const int xHigh = ChCoord::pix(c->r2sx(99));
        sendMouse(da, QEvent::MouseButtonPress, xHigh + 5, 50);
        QCOMPARE(st.grabbed, &st.high);
        const int xTo = ChCoord::pix(c->r2sx(25));
        sendMouse(da, QEvent::MouseMove, xTo, 50);
        QVERIFY(std::fabs(st.high - c->s2rx(xTo)) < 1e-9);
        QVERIFY(range.count() >= 1);
        // Low at 0, high near 25: bins with lower edges 0, 9.9, 19.8.
        QCOMPARE(st.rangeN, 30);

        const int xBelow = ChCoord::pix(c->r2sx(-10));
        sendMouse(da, QEvent::MouseMove, xBelow, 50);
        QVERIFY(st.high < st.low);
        QCOMPARE(st.rangeN, 0);
        sendMouse(da, QEvent::MouseButtonRelease, xBelow, 50);
        QVERIFY(!st.grabbed);
        QVERIFY(st.low < st.high);
        QCOMPARE(st.high, 0.0);
        QCOMPARE(st.rangeLow, st.low);
        QCOMPARE(st.rangeHigh, st.high);
        QCOMPARE(st.rangeN, 10);  // the first bin, at its lower edge 0

        // Both markers within reach: the high one is taken.
        st.low = 50;
        st.high = 51;
        st.grab();
        sendMouse(da, QEvent::MouseButtonPress, ChCoord::pix(c->r2sx(50.5)), 50);
        QCOMPARE(st.grabbed, &st.high);
        sendMouse(da, QEvent::MouseButtonRelease, ChCoord::pix(c->r2sx(50.5)), 50);

        // Far from both: nothing is taken, moving changes nothing.
        sendMouse(da, QEvent::MouseButtonPress, ChCoord::pix(c->r2sx(80)), 50);
        QVERIFY(!st.grabbed);
        sendMouse(da, QEvent::MouseMove, ChCoord::pix(c->r2sx(90)), 50);
        QCOMPARE(st.low, 50.0);
        sendMouse(da, QEvent::MouseButtonRelease, ChCoord::pix(c->r2sx(90)), 50);

        // The cursor read-out: X at the mouse, Val the bin's share of the largest.
        st.grab();
        QVERIFY(std::fabs(st.X->text().toDouble() - c->s2rx(ChCoord::pix(c->r2sx(90)))) < 1e-3);
        QCOMPARE(st.Val->text(), QString("1"));
    }
};

QTEST_MAIN(TestStats)
#include "tst_stats.moc"
