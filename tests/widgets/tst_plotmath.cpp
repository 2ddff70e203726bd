// Pure arithmetic of the display widgets: plot frames, ticks, mouse modes,
// view-window zoom and pan, text fitting.
#include "widgets/ChCoord.h"
#include "widgets/DispA.h"
#include "widgets/DrawText.h"
#include "widgets/MouseC.h"
#include "widgets/ViewWindow.h"

#include <QtTest>

#include <cmath>
#include <limits>

class TstPlotMath : public QObject
{
    Q_OBJECT

private slots:
    void plotAreaMargins();
    void conversionsHitBothEnds_data();
    void conversionsHitBothEnds();
    void conversionsScaleFirst();
    void emptyRangesStayFinite();
    void autoTicksExamples_data();
    void autoTicksExamples();
    void ticksAlwaysEnd_data();
    void ticksAlwaysEnd();
    void pixClampsAnything();
    void modeOfTable();
    void roundingHalvesUpwards();
    void zoomFactorPerStep();
    void zoomKeepsPointUnderCursor_data();
    void zoomKeepsPointUnderCursor();
    void zoomEdgeBands();
    void panKeepsGrabbedPoint();
    void normalisedAndPixelRect();
    void fitPointSize();
    void rotatedBoxIsCentred();
};

void TstPlotMath::plotAreaMargins()
{
    ChCoord c;
    c.setScreenArea(0, 400, 600, 0);
    QCOMPARE(c.plotX0, 0.0);
    QCOMPARE(c.plotY0, 400.0);
    c.calcPlotArea();
    QCOMPARE(c.plotX0, 60.0);
    QCOMPARE(c.plotX1, 570.0);
    QCOMPARE(c.plotY0, 360.0);  // bottom of the flipped plot
    QCOMPARE(c.plotY1, 20.0);   // top
    c.setScreenArea(0, 400, 15, 0);
    c.calcPlotArea();
    QCOMPARE(c.plotX0, 1.0);   // trunc(1.5)
    QCOMPARE(c.plotX1, 15.0);  // trunc(0.75) = 0
}

void TstPlotMath::conversionsHitBothEnds_data()
{
    QTest::addColumn<double>("r0");
    QTest::addColumn<double>("r1");
    QTest::newRow("forwards") << 3.0 << 17.5;
    QTest::newRow("backwards") << 17.5 << 3.0;
    QTest::newRow("negative") << -1e-6 << -3e-6;
    QTest::newRow("energies") << 8900.0 << 9400.0;
}

void TstPlotMath::conversionsScaleFirst()
{
    // (plot span / real span) x (v - real start) + plot start, in that order:
    // on a 502-pixel plot 8900 .. 9100 eV, 9100 eV lands just short of 477
    // and is drawn in column 476.
    ChCoord c;
    c.setScreenArea(0, 400, 502, 0);
    c.calcPlotArea();
    QCOMPARE(c.plotX0, 50.0);
    QCOMPARE(c.plotX1, 477.0);
    c.setRealXRange(8900, 9100);
    const double expected = (477.0 - 50.0) / (9100.0 - 8900.0) * (9100.0 - 8900.0) + 50.0;
    QVERIFY(c.r2sx(9100) == expected);
    QCOMPARE(ChCoord::pix(c.r2sx(9100)), 476);
    c.setScreenArea(0, 400, 472, 0);
    c.calcPlotArea();
    QCOMPARE(ChCoord::pix(c.r2sx(9000)), 247);
    QCOMPARE(ChCoord::pix(c.r2sx(8900)), 47);
}

void TstPlotMath::conversionsHitBothEnds()
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
    QCOMPARE(c.s2rx(c.plotX0), r0);
    QCOMPARE(c.s2rx(c.plotX1), r1);
    QCOMPARE(c.s2ry(c.plotY1), r0);
    // The midpoint and lengths against the straight-line formula.
    const double mid = (r0 + r1) / 2;
    QVERIFY(qAbs(c.r2sx(mid) - (c.plotX0 + c.plotX1) / 2) < 1e-9);
    const double perUnit = (c.plotX1 - c.plotX0) / (r1 - r0);
    QVERIFY(qAbs(c.r2sdx(2.0) - 2 * perUnit) < 1e-9 * qAbs(perUnit) + 1e-12);
    QVERIFY(qAbs(c.s2rx(c.r2sx(mid)) - mid) < 1e-9 * qAbs(r1 - r0));
}

void TstPlotMath::emptyRangesStayFinite()
{
    ChCoord c;
    c.setScreenArea(0, 100, 200, 0);
    c.setRealCoord(5, 7, 5, 7);
    QCOMPARE(c.r2sx(5), 0.0);
    QCOMPARE(c.r2sx(9), 0.0);
    QCOMPARE(c.r2sy(1), 100.0);
    QCOMPARE(c.r2sdx(3), 0.0);
    c.setScreenArea(10, 10, 10, 10);
    QVERIFY(std::isfinite(c.s2rx(30)));
    QCOMPARE(ChCoord::fraction(0, 0), 0.0);
    QCOMPARE(ChCoord::fraction(1, 0), 0.0);
    QCOMPARE(ChCoord::fraction(3, 4), 0.75);
}

void TstPlotMath::autoTicksExamples_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("step");
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("last");
    QTest::newRow("0..1") << 0.0 << 1.0 << 0.2 << 0.0 << 1.0;
    QTest::newRow("0..7") << 0.0 << 7.0 << 1.0 << 0.0 << 7.0;
    QTest::newRow("3..12") << 3.0 << 12.0 << 2.0 << 4.0 << 12.0;
    QTest::newRow("-0.5..0.5") << -0.5 << 0.5 << 0.2 << -0.4 << 0.4;
    QTest::newRow("0..10") << 0.0 << 10.0 << 2.0 << 0.0 << 10.0;
    QTest::newRow("8950..9450") << 8950.0 << 9450.0 << 100.0 << 9000.0 << 9400.0;
    QTest::newRow("0..4") << 0.0 << 4.0 << 0.5 << 0.0 << 4.0;
}

void TstPlotMath::autoTicksExamples()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(double, step);
    QFETCH(double, first);
    QFETCH(double, last);
    double s, f, l;
    ChCoord::autoTicks(min, max, s, f, l);
    QVERIFY2(qAbs(s - step) < 1e-12 * step, qPrintable(QString::number(s)));
    QVERIFY(qAbs(f - first) < 1e-9 * step);
    QVERIFY(qAbs(l - last) < 1e-9 * step);
    const QVector<double> ticks = ChCoord::tickValues(min, max);
    QCOMPARE(ticks.size(), qRound((last - first) / step) + 1);
    QVERIFY(qAbs(ticks.first() - first) < 1e-9 * step);
    QVERIFY(qAbs(ticks.last() - last) < 1e-9 * step);
}

void TstPlotMath::ticksAlwaysEnd_data()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double big = std::numeric_limits<double>::max();
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<bool>("someTicks");
    QTest::newRow("zero range at 0") << 0.0 << 0.0 << true;
    QTest::newRow("zero range at 5") << 5.0 << 5.0 << true;
    QTest::newRow("nan") << nan << 1.0 << false;
    QTest::newRow("both nan") << nan << nan << false;
    QTest::newRow("infinite") << -inf << inf << false;
    QTest::newRow("whole double line") << -big << big << true;
    QTest::newRow("huge") << 0.0 << 1e300 << true;
    QTest::newRow("tiny") << 1e-310 << 3e-310 << true;
    // A few units in the last place: the step is below the spacing of the values.
    QTest::newRow("beyond precision") << 1e20 << std::nextafter(std::nextafter(1e20, 2e20), 2e20) << true;
    QTest::newRow("reversed") << 7.0 << 0.0 << true;
}

void TstPlotMath::ticksAlwaysEnd()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(bool, someTicks);
    double s, f, l;
    ChCoord::autoTicks(min, max, s, f, l);
    QVERIFY(std::isfinite(s) && s > 0);
    const QVector<double> ticks = ChCoord::tickValues(min, max, 50);
    QVERIFY(ticks.size() <= 50);
    QCOMPARE(!ticks.isEmpty(), someTicks);
    for (double t : ticks) QVERIFY(std::isfinite(t));
}

void TstPlotMath::pixClampsAnything()
{
    QCOMPARE(ChCoord::pix(12.9), 12);
    QCOMPARE(ChCoord::pix(-12.9), -12);
    QCOMPARE(ChCoord::pix(std::numeric_limits<double>::quiet_NaN()), 0);
    QVERIFY(ChCoord::pix(1e300) > 1000000);
    QVERIFY(ChCoord::pix(-std::numeric_limits<double>::infinity()) < -1000000);
}

void TstPlotMath::modeOfTable()
{
    const Qt::KeyboardModifier S = Qt::ShiftModifier, C = Qt::ControlModifier, A = Qt::AltModifier;
    const QList<Qt::KeyboardModifiers> held = {Qt::NoModifier, S, C, A, S | C, S | A, C | A, S | C | A};
    for (int i = 0; i < held.size(); ++i) {
        QCOMPARE(MouseC::modeOf(Qt::LeftButton, held[i]), i);
        QCOMPARE(MouseC::modeOf(Qt::RightButton, held[i]), 8 + i);
        // Meta and keypad bits change nothing.
        QCOMPARE(MouseC::modeOf(Qt::LeftButton, held[i] | Qt::MetaModifier | Qt::KeypadModifier), i);
        QCOMPARE(MouseC::modeOf(Qt::MiddleButton, held[i]), 16);
        QCOMPARE(MouseC::modeOf(Qt::NoButton, held[i]), 16);
        QCOMPARE(MouseC::modeOf(Qt::ExtraButton1, held[i]), 16);
    }
}

void TstPlotMath::roundingHalvesUpwards()
{
    QCOMPARE(MouseC::roundPos(2.5), 3);
    QCOMPARE(MouseC::roundPos(-2.5), -2);
    QCOMPARE(MouseC::roundPos(-0.5), 0);
    QCOMPARE(MouseC::roundPos(-0.51), -1);
    QCOMPARE(MouseC::roundPos(2.49), 2);
    QCOMPARE(MouseC::roundPos(QPointF(-0.5, 2.5)), QPoint(0, 3));
    QCOMPARE(MouseC::roundPos(std::numeric_limits<double>::quiet_NaN()), 0);
}

void TstPlotMath::zoomFactorPerStep()
{
    QCOMPARE(DispA::zoomFactorOf(1), 1 / 1.1);
    QCOMPARE(DispA::zoomFactorOf(-1), 1.1);
    QCOMPARE(DispA::zoomFactorOf(0), 1.0);
}

void TstPlotMath::zoomKeepsPointUnderCursor_data()
{
    QTest::addColumn<double>("mx");
    QTest::addColumn<double>("my");
    QTest::addColumn<double>("f");
    QTest::newRow("centre in") << 250.0 << 200.0 << 1 / 1.1;
    QTest::newRow("off centre out") << 130.0 << 310.0 << 1.1;
    QTest::newRow("corner-ish in") << 60.0 << 45.0 << 1 / 1.1;
}

void TstPlotMath::zoomKeepsPointUnderCursor()
{
    QFETCH(double, mx);
    QFETCH(double, my);
    QFETCH(double, f);
    const QSizeF widget(500, 400);
    const QRectF view(100, 50, 200, 160);
    const QPointF m(mx, my);
    const QPointF before = ViewWindow::toImage(view, m, widget);
    const QRectF z = ViewWindow::zoomed(view, m, widget, f, false);
    QVERIFY(qAbs(z.width() - f * 200) < 1e-9);
    QVERIFY(qAbs(z.height() - f * 160) < 1e-9);
    const QPointF after = ViewWindow::toImage(z, m, widget);
    QVERIFY(qAbs(after.x() - before.x()) < 1e-9);
    QVERIFY(qAbs(after.y() - before.y()) < 1e-9);
    // Factor 1 (a wheel turned only sideways) leaves the window alone.
    QCOMPARE(ViewWindow::zoomed(view, m, widget, 1.0, true), view);
}

void TstPlotMath::zoomEdgeBands()
{
    const QSizeF widget(500, 400);
    const QRectF view(0, 0, 100, 100);
    const double f = 1 / 1.1;
    QRectF z = ViewWindow::zoomed(view, QPointF(25, 200), widget, f, true);  // left band
    QCOMPARE(z.width(), 100.0);
    QCOMPARE(z.height(), f * 100);
    z = ViewWindow::zoomed(view, QPointF(480, 20), widget, f, true);  // right band wins over the top
    QCOMPARE(z.width(), 100.0);
    z = ViewWindow::zoomed(view, QPointF(250, 380), widget, f, true);  // bottom band
    QCOMPARE(z.width(), f * 100);
    QCOMPARE(z.height(), 100.0);
    z = ViewWindow::zoomed(view, QPointF(250, 380), widget, f, false);  // no bands
    QCOMPARE(z.height(), f * 100);
    // A widget without size does not turn the window into NaN.
    z = ViewWindow::zoomed(view, QPointF(0, 0), QSizeF(0, 0), f, true);
    QVERIFY(std::isfinite(z.x()) && std::isfinite(z.y()));
}

void TstPlotMath::panKeepsGrabbedPoint()
{
    const QSizeF widget(500, 400);
    const QRectF view(100, 50, 200, 160);
    const QPointF grab(123, 321), now(201, 77);
    const QPointF held = ViewWindow::toImage(view, grab, widget);
    const QRectF moved = ViewWindow::panned(view, grab, now, widget);
    QCOMPARE(moved.size(), view.size());
    const QPointF under = ViewWindow::toImage(moved, now, widget);
    QVERIFY(qAbs(under.x() - held.x()) < 1e-9);
    QVERIFY(qAbs(under.y() - held.y()) < 1e-9);
}

void TstPlotMath::normalisedAndPixelRect()
{
    QCOMPARE(ViewWindow::normalised(QRectF(50, 40, -40, -20)), QRectF(10, 20, 40, 20));
    QCOMPARE(ViewWindow::normalised(QRectF(5, 6, 7, 8)), QRectF(5, 6, 7, 8));
    // Whole image: exactly its pixels, no extra column or row.
    QCOMPARE(ViewWindow::pixelRect(QRectF(0, 0, 64, 48)), QRect(0, 0, 64, 48));
    QCOMPARE(ViewWindow::pixelRect(QRectF(10.7, 3.2, 20.1, 5.5)), QRect(10, 3, 20, 5));
    QCOMPARE(ViewWindow::pixelRect(QRectF(3, 3, -2, 4)).width(), 0);
}

void TstPlotMath::fitPointSize()
{
    QVERIFY(qAbs(DrawText::fitPointSize(20, 12, 100, 20, 0) - 10 * 20.0 / 12) < 1e-12);
    QCOMPARE(DrawText::fitPointSize(20, 12, 100, 20, 12), 12.0);
    QCOMPARE(DrawText::fitPointSize(0, 0, 100, 20, 0), 10.0);
    QCOMPARE(DrawText::fitPointSize(0, 10, 100, 50, 0), 10.0);  // min(1, 5)
    QCOMPARE(DrawText::fitPointSize(0, 10, 100, 5, 0), 5.0);
    QCOMPARE(DrawText::fitPointSize(40, 0, 20, 5, 0), 5.0);
    QCOMPARE(DrawText::fitPointSize(40, 10, 400, 100, 0), 100.0);  // grows beyond 10
}

void TstPlotMath::rotatedBoxIsCentred()
{
    // Rotated by 90 degrees, the frame's (u, v) is the screen's (v, -u).
    const QRectF box = DrawText::rotatedBox(90, QRectF(10, 50, 95, 20));
    QCOMPARE(box.width(), 95.0);
    QCOMPARE(box.height(), 20.0);
    const QPointF c = box.center();
    QVERIFY(qAbs(c.x() - 50) < 1e-6);
    QVERIFY(qAbs(c.y() + 10) < 1e-6);
    // A negative width is the same box.
    QCOMPARE(DrawText::rotatedBox(0, QRectF(105, 70, -95, -20)), DrawText::rotatedBox(0, QRectF(10, 50, 95, 20)));
}

QTEST_GUILESS_MAIN(TstPlotMath)
#include "tst_plotmath.moc"
