// The arithmetic of the display widgets: plot frames, ticks, view-window zoom
// and pan, and the spectrum view's range, curve pieces and nearest point.
#include "widgets/ChCoord.h"
#include "widgets/SpecPaneMath.h"
#include "widgets/ViewWindow.h"

#include <QtTest>

#include <cfloat>
#include <cmath>
#include <limits>

using namespace SpecPaneMath;

namespace {
const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
}  // namespace

class TstPlotMath : public QObject
{
    Q_OBJECT

private slots:
    void conversionsHitBothEnds_data()
    {
        QTest::addColumn<double>("r0");
        QTest::addColumn<double>("r1");
        QTest::newRow("forwards") << 3.0 << 17.5;
        QTest::newRow("backwards") << 17.5 << 3.0;
        QTest::newRow("negative") << -1e-6 << -3e-6;
        QTest::newRow("energies") << 8900.0 << 9400.0;
    }
    void conversionsHitBothEnds()
    {
        QFETCH(double, r0);
        QFETCH(double, r1);
        ChCoord c;
        c.setScreenArea(0, 400, 600, 0);
        c.calcPlotArea();
        c.setRealCoord(r0, r1, r1, r0);  // y runs the other way
        QCOMPARE(c.r2sx(r0), c.plotX0);
        QCOMPARE(c.r2sx(r1), c.plotX1);
        QCOMPARE(c.r2sy(r1), c.plotY0);
        QCOMPARE(c.r2sy(r0), c.plotY1);
        QCOMPARE(c.s2rx(c.plotX1), r1);
        const double mid = (r0 + r1) / 2;
        QVERIFY(qAbs(c.r2sx(mid) - (c.plotX0 + c.plotX1) / 2) < 1e-9);
        QVERIFY(qAbs(c.s2rx(c.r2sx(mid)) - mid) < 1e-9 * qAbs(r1 - r0));
    }

    // Scale first, then offset: the right end of 8900 .. 9100 eV on a
    // 502-pixel view lands just short of 477 and is drawn in column 476.
    void conversionsScaleFirst()
    {
        ChCoord c;
        c.setScreenArea(0, 400, 502, 0);
        c.calcPlotArea();
        c.setRealXRange(8900, 9100);
        QCOMPARE(ChCoord::pix(c.r2sx(9100)), 476);
        c.setScreenArea(0, 400, 472, 0);
        c.calcPlotArea();
        QCOMPARE(ChCoord::pix(c.r2sx(9000)), 247);
        QCOMPARE(ChCoord::pix(c.r2sx(8900)), 47);
        // Empty ranges and NaN stay finite instead of poisoning the painter.
        c.setRealCoord(5, 7, 5, 7);
        QCOMPARE(c.r2sdx(3), 0.0);
        QVERIFY(std::isfinite(c.r2sx(9)));
        QCOMPARE(ChCoord::pix(kNan), 0);
        QVERIFY(ChCoord::pix(-kInf) < -1000000);
    }

    void ticks_data()
    {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<double>("step");  // 0: only that it ends sanely
        QTest::addColumn<double>("first");
        QTest::addColumn<double>("last");
        QTest::addColumn<bool>("someTicks");
        QTest::newRow("0..1") << 0.0 << 1.0 << 0.2 << 0.0 << 1.0 << true;
        QTest::newRow("3..12") << 3.0 << 12.0 << 2.0 << 4.0 << 12.0 << true;
        QTest::newRow("-0.5..0.5") << -0.5 << 0.5 << 0.2 << -0.4 << 0.4 << true;
        QTest::newRow("8950..9450") << 8950.0 << 9450.0 << 100.0 << 9000.0 << 9400.0 << true;
        QTest::newRow("0..4") << 0.0 << 4.0 << 0.5 << 0.0 << 4.0 << true;
        QTest::newRow("zero range") << 5.0 << 5.0 << 0.0 << 0.0 << 0.0 << true;
        QTest::newRow("kNan") << kNan << 1.0 << 0.0 << 0.0 << 0.0 << false;
        QTest::newRow("infinite") << -kInf << kInf << 0.0 << 0.0 << 0.0 << false;
        QTest::newRow("whole double line") << -DBL_MAX << DBL_MAX << 0.0 << 0.0 << 0.0 << true;
        QTest::newRow("tiny") << 1e-310 << 3e-310 << 0.0 << 0.0 << 0.0 << true;
        QTest::newRow("beyond precision") << 1e20 << std::nextafter(std::nextafter(1e20, 2e20), 2e20) << 0.0
                                          << 0.0 << 0.0 << true;
        QTest::newRow("reversed") << 7.0 << 0.0 << 0.0 << 0.0 << 0.0 << true;
    }
    void ticks()
    {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(double, step);
        QFETCH(double, first);
        QFETCH(double, last);
        QFETCH(bool, someTicks);
        double s, f, l;
        ChCoord::autoTicks(min, max, s, f, l);
        QVERIFY(std::isfinite(s) && s > 0);
        const QVector<double> t = ChCoord::tickValues(min, max, 50);
        QVERIFY(t.size() <= 50);
        QCOMPARE(!t.isEmpty(), someTicks);
        for (double v : t) QVERIFY(std::isfinite(v));
        if (step == 0) return;
        QVERIFY2(qAbs(s - step) < 1e-12 * step, qPrintable(QString::number(s)));
        QVERIFY(qAbs(t.first() - first) < 1e-9 * step);
        QVERIFY(qAbs(t.last() - last) < 1e-9 * step);
        QCOMPARE(t.size(), qRound((last - first) / step) + 1);
    }

    void viewZoomKeepsPointUnderCursor_data()
    {
        QTest::addColumn<QPointF>("m");
        QTest::addColumn<double>("f");
        QTest::addColumn<bool>("bands");
        QTest::addColumn<QSizeF>("size");  // of the window after, as a fraction
        QTest::newRow("centre in") << QPointF(250, 200) << 1 / 1.1 << true << QSizeF(1 / 1.1, 1 / 1.1);
        QTest::newRow("off centre out") << QPointF(130, 310) << 1.1 << true << QSizeF(1.1, 1.1);
        QTest::newRow("left band: rows only") << QPointF(25, 200) << 1 / 1.1 << true << QSizeF(1, 1 / 1.1);
        QTest::newRow("right band beats top") << QPointF(480, 20) << 1 / 1.1 << true << QSizeF(1, 1 / 1.1);
        QTest::newRow("bottom band: columns only") << QPointF(250, 380) << 1 / 1.1 << true << QSizeF(1 / 1.1, 1);
        QTest::newRow("no bands") << QPointF(250, 380) << 1 / 1.1 << false << QSizeF(1 / 1.1, 1 / 1.1);
        QTest::newRow("sideways wheel") << QPointF(250, 200) << 1.0 << true << QSizeF(1, 1);
    }
    void viewZoomKeepsPointUnderCursor()
    {
        QFETCH(QPointF, m);
        QFETCH(double, f);
        QFETCH(bool, bands);
        QFETCH(QSizeF, size);
        const QSizeF widget(500, 400);
        const QRectF view(100, 50, 200, 160);
        const QRectF z = ViewWindow::zoomed(view, m, widget, f, bands);
        QVERIFY(qAbs(z.width() - size.width() * 200) < 1e-9);
        QVERIFY(qAbs(z.height() - size.height() * 160) < 1e-9);
        const QPointF before = ViewWindow::toImage(view, m, widget), after = ViewWindow::toImage(z, m, widget);
        QVERIFY(qAbs(after.x() - before.x()) < 1e-9);
        QVERIFY(qAbs(after.y() - before.y()) < 1e-9);
        // A widget without size does not turn the window into NaN.
        const QRectF e = ViewWindow::zoomed(view, m, QSizeF(0, 0), f, bands);
        QVERIFY(std::isfinite(e.x()) && std::isfinite(e.y()));
    }

    void viewPanAndPixels()
    {
        const QSizeF widget(500, 400);
        const QRectF view(100, 50, 200, 160);
        const QPointF grab(123, 321), now(201, 77);
        const QRectF moved = ViewWindow::panned(view, grab, now, widget);
        QCOMPARE(moved.size(), view.size());
        const QPointF held = ViewWindow::toImage(view, grab, widget), under = ViewWindow::toImage(moved, now, widget);
        QVERIFY(qAbs(under.x() - held.x()) < 1e-9 && qAbs(under.y() - held.y()) < 1e-9);
        QCOMPARE(ViewWindow::normalised(QRectF(50, 40, -40, -20)), QRectF(10, 20, 40, 20));
        // The whole image is exactly its pixels, no extra column or row.
        QCOMPARE(ViewWindow::pixelRect(QRectF(0, 0, 64, 48)), QRect(0, 0, 64, 48));
        QCOMPARE(ViewWindow::pixelRect(QRectF(10.7, 3.2, 20.1, 5.5)), QRect(10, 3, 20, 5));
    }

    void spectrumZoomAndPan_data()
    {
        QTest::addColumn<double>("c");
        QTest::addColumn<double>("f");
        QTest::addColumn<double>("pan");
        QTest::addColumn<bool>("changes");
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::newRow("in at centre") << 9000.0 << 1 / 1.1 << 0.0 << true << 9000 - 100 / 1.1 << 9000 + 100 / 1.1;
        QTest::newRow("out off centre") << 8950.0 << 1.1 << 0.0 << true << 8950 - 55.0 << 8950 + 165.0;
        QTest::newRow("pan") << 9000.0 << 1.0 << -20.0 << true << 8880.0 << 9080.0;
        QTest::newRow("factor 0") << 9000.0 << 0.0 << 0.0 << false << 8900.0 << 9100.0;
        QTest::newRow("kNan centre") << kNan << 1.1 << 0.0 << false << 8900.0 << 9100.0;
        QTest::newRow("infinite factor") << 9000.0 << kInf << 0.0 << false << 8900.0 << 9100.0;
        QTest::newRow("infinite pan") << 9000.0 << 1.0 << kInf << false << 8900.0 << 9100.0;
    }
    void spectrumZoomAndPan()
    {
        QFETCH(double, c);
        QFETCH(double, f);
        QFETCH(double, pan);
        QFETCH(bool, changes);
        QFETCH(double, lo);
        QFETCH(double, hi);
        double a = 8900, b = 9100;
        const bool changed = pan != 0 ? panRange(a, b, pan) : zoomRange(a, b, c, f);
        QCOMPARE(changed, changes);
        QVERIFY(qAbs(a - lo) < 1e-9 && qAbs(b - hi) < 1e-9);
        // One-point spectra and the whole double line cannot be zoomed.
        double p = 5, q = 5, big0 = -DBL_MAX, big1 = DBL_MAX;
        QVERIFY(!zoomRange(p, q, 5, 1.1));
        QVERIFY(!zoomRange(big0, big1, 0, 1.1));
        QCOMPARE(big1, DBL_MAX);
    }

    void curvePieces_data()
    {
        QTest::addColumn<QVector<double>>("keys");
        QTest::addColumn<QVector<int>>("starts");
        QTest::newRow("empty") << QVector<double>{} << QVector<int>{};
        QTest::newRow("one") << QVector<double>{7} << QVector<int>{0};
        QTest::newRow("50 eV joins, above breaks") << QVector<double>{8800, 8850, 8900, 8950.0001, 8960}
                                                   << QVector<int>{0, 3};
        QTest::newRow("every step too wide") << QVector<double>{0, 60, 120} << QVector<int>{0, 1, 2};
        QTest::newRow("backwards") << QVector<double>{9000, 8900, 8890} << QVector<int>{0, 1};
        QTest::newRow("kNan joins") << QVector<double>{0, kNan, 10} << QVector<int>{0};
    }
    void curvePieces()
    {
        QFETCH(QVector<double>, keys);
        QFETCH(QVector<int>, starts);
        const auto runs = pieces(keys);
        QCOMPARE(runs.size(), starts.size());
        for (int i = 0; i < runs.size(); ++i) {
            QCOMPARE(runs[i].first, starts[i]);
            QCOMPARE(runs[i].second, i + 1 < starts.size() ? starts[i + 1] : keys.size());
        }
    }

    void nearestPoint_data()
    {
        QTest::addColumn<double>("E");
        QTest::addColumn<int>("index");
        QTest::newRow("before") << -5.0 << 0;
        QTest::newRow("left of midpoint") << 4.9 << 0;
        QTest::newRow("midpoint goes right") << 5.0 << 1;
        QTest::newRow("near last") << 15.1 << 2;
        QTest::newRow("far beyond") << 1e300 << 2;
        QTest::newRow("kNan") << kNan << 2;
    }
    void nearestPoint()
    {
        QFETCH(double, E);
        QFETCH(int, index);
        QCOMPARE(nearestIndex({{0, 0}, {10, 0}, {20, 0}}, E), index);
        QCOMPARE(nearestIndex({}, E), -1);
    }
};

QTEST_GUILESS_MAIN(TstPlotMath)
#include "tst_plotmath.moc"
