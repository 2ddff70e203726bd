// The drawing surface and the colour bar driven by real events.
#include "widgets/WidgetEvents.h"

#include "widgets/ColorBar.h"
#include "widgets/DispA.h"

#include "core/Globals.h"

#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

using namespace WidgetEvents;

class TstDispA : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void altMoveChangesNothing();
    void pressThenDrag();
    void doubleClickKeepsCurrentPos();
    void positionsRoundHalvesUp();
    void wheelSteps();
    void paintSetsScreenAreaAndLayers();
    void realMousePosGoesThroughFrame();
    void barMapsThroughLimits_data();
    void barMapsThroughLimits();
    void barColourTable();
    void barEqualLimits();
    void dragMovesNearerLimit();
    void pressHalfwayTakesNeither();
    void grabbedBarRunsDarkToBright();
    void barPixmapRows();
};

void TstDispA::initTestCase()
{
    initGlobals();
}

void TstDispA::altMoveChangesNothing()
{
    DispA d;
    d.resize(300, 200);
    move(&d, QPointF(10, 20));
    QSignalSpy moved(&d, SIGNAL(mouseMoved0()));
    move(&d, QPointF(50, 60), Qt::NoButton, Qt::AltModifier);
    move(&d, QPointF(70, 80), Qt::LeftButton, Qt::AltModifier | Qt::ShiftModifier);
    QCOMPARE(moved.count(), 0);
    QCOMPARE(d.mouse.currentPos, QPoint(10, 20));
    QCOMPARE(d.mouse.previousPos, QPoint(0, 0));
    QCOMPARE(d.mouse.currentModifiers, Qt::KeyboardModifiers(Qt::NoModifier));
}

void TstDispA::pressThenDrag()
{
    DispA d;
    d.resize(300, 200);
    QSignalSpy moved(&d, SIGNAL(mouseMoved0()));
    QSignalSpy pressed(&d, SIGNAL(mousePressed0()));
    QSignalSpy released(&d, SIGNAL(mouseReleased0()));
    press(&d, QPointF(30, 40), Qt::RightButton, Qt::ControlModifier);
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(moved.count(), 0);
    QVERIFY(d.mouse.pressed);
    QCOMPARE(d.mouse.pressPos, QPoint(30, 40));
    QCOMPARE(MouseC::modeOf(d.mouse.pressButton, d.mouse.pressModifiers), 10);

    bool pressedDuringMove = false;
    connect(&d, &DispA::mouseMoved0, [&] { pressedDuringMove = d.mouse.pressed; });
    move(&d, QPointF(35, 47), Qt::RightButton, Qt::ControlModifier);
    QCOMPARE(moved.count(), 1);
    QVERIFY(pressedDuringMove);
    QCOMPARE(d.mouse.previousPos, QPoint(30, 40));
    QCOMPARE(d.mouse.currentPos, QPoint(35, 47));

    release(&d, QPointF(36, 48), Qt::RightButton);
    QCOMPARE(released.count(), 1);
    QVERIFY(!d.mouse.pressed);
    QCOMPARE(d.mouse.releasePos, QPoint(36, 48));
    QCOMPARE(d.mouse.releaseButton, Qt::RightButton);
    QCOMPARE(d.mouse.previousPos, QPoint(35, 47));
}

void TstDispA::doubleClickKeepsCurrentPos()
{
    DispA d;
    d.resize(100, 100);
    move(&d, QPointF(10, 10));
    QSignalSpy dbl(&d, SIGNAL(mouseDoubleClicked0()));
    mouse(&d, QEvent::MouseButtonDblClick, QPointF(40, 50), Qt::RightButton, Qt::RightButton, Qt::ShiftModifier);
    QCOMPARE(dbl.count(), 1);
    QCOMPARE(d.mouse.currentPos, QPoint(10, 10));
    QCOMPARE(d.mouse.doubleClickPos, QPoint(40, 50));
    QCOMPARE(d.mouse.currentButton, Qt::RightButton);
    QCOMPARE(d.mouse.doubleClickModifiers, Qt::KeyboardModifiers(Qt::ShiftModifier));
}

void TstDispA::positionsRoundHalvesUp()
{
    DispA d;
    d.resize(100, 100);
    move(&d, QPointF(-0.5, 2.5));
    QCOMPARE(d.mouse.currentPos, QPoint(0, 3));
    move(&d, QPointF(-2.5, 7.49));
    QCOMPARE(d.mouse.currentPos, QPoint(-2, 7));
}

void TstDispA::wheelSteps()
{
    DispA d;
    d.resize(100, 100);
    QSignalSpy wheeled(&d, SIGNAL(wheelMoved0()));
    wheel(&d, QPointF(50, 50), QPoint(0, 120));
    QCOMPARE(d.wheelSteps, 1.0);
    QCOMPARE(d.zoomFactor, 1 / 1.1);
    wheel(&d, QPointF(50, 50), QPoint(0, -120));
    QCOMPARE(d.wheelSteps, -1.0);
    QCOMPARE(d.zoomFactor, 1.1);
    // Turned only sideways: no zoom at all.
    wheel(&d, QPointF(50, 50), QPoint(120, 0));
    QCOMPARE(d.wheelSteps, 0.0);
    QCOMPARE(d.zoomFactor, 1.0);
    QCOMPARE(wheeled.count(), 3);
}

void TstDispA::paintSetsScreenAreaAndLayers()
{
    DispA d;
    d.resize(300, 200);
    QStringList order;
    connect(&d, &DispA::drawImage1, [&](QPainter* p) {
        order << "1";
        QCOMPARE(d.coord.screenX1, 300.0);
        QCOMPARE(d.coord.screenY0, 200.0);
        QCOMPARE(d.coord.screenY1, 0.0);
        QCOMPARE(d.coord.plotY0, 200.0);
        p->fillRect(QRect(0, 0, 10, 10), Qt::black);
    });
    connect(&d, &DispA::drawImage2, [&](QPainter*) { order << "2"; });
    const QImage img = d.grab().toImage();
    QCOMPARE(order, QStringList({"1", "2"}));
    QCOMPARE(QColor(img.pixel(150, 100)), QColor(255, 255, 255));
    QCOMPARE(QColor(img.pixel(5, 5)), QColor(0, 0, 0));
    QCOMPARE(d.coord.screenX0, 0.0);
}

void TstDispA::realMousePosGoesThroughFrame()
{
    DispA d;
    d.resize(300, 200);
    d.coord.setScreenArea(0, 200, 300, 0);
    d.coord.setRealCoord(0, 0, 30, 20);
    move(&d, QPointF(7, 8));
    QSignalSpy moved(&d, SIGNAL(mouseMoved0()));
    d.setRealMousePos(10.5, 5);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(d.mouse.currentPos, QPoint(105, 150));
    QCOMPARE(d.mouse.previousPos, QPoint(7, 8));
    d.setScreenMousePos(3, 4);
    QCOMPARE(d.mouse.currentPos, QPoint(3, 4));
    QCOMPARE(d.mouse.previousPos, QPoint(105, 150));
    // A frame without a range still gives a position.
    d.coord.setRealCoord(1, 1, 1, 1);
    d.setRealMousePos(std::numeric_limits<double>::quiet_NaN(), 1e300);
    QCOMPARE(moved.count(), 3);
}

void TstDispA::barMapsThroughLimits_data()
{
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<double>("f");
    QTest::addColumn<int>("grey");
    QTest::newRow("mid") << 0.0 << 1.0 << 0.5 << 128;
    QTest::newRow("top") << 0.0 << 1.0 << 1.0 << 255;
    QTest::newRow("above") << 0.0 << 1.0 << 1.5 << 255;
    QTest::newRow("below") << 0.0 << 1.0 << -0.2 << 0;
    QTest::newRow("bottom") << 0.0 << 1.0 << 0.0 << 0;
    QTest::newRow("narrow mid") << 0.25 << 0.75 << 0.5 << 128;
    QTest::newRow("narrow above") << 0.25 << 0.75 << 0.8 << 255;
    QTest::newRow("narrow quarter") << 0.25 << 0.75 << 0.375 << 64;
    QTest::newRow("crossed") << 0.75 << 0.25 << 0.375 << 192;
}

void TstDispA::barMapsThroughLimits()
{
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(double, f);
    QFETCH(int, grey);
    ColorBar bar;
    QCOMPARE(bar.imageFormat, int(QImage::Format_Grayscale8));
    bar.lowerLimit = lower;
    bar.upperLimit = upper;
    unsigned char px[3] = {7, 7, 7};
    QCOMPARE(bar.valueToPixel(f, px), px + 1);
    QCOMPARE(int(px[0]), grey);
    QCOMPARE(px[1], (unsigned char)7);
    QCOMPARE(bar.colorOfV(f), QColor(grey, grey, grey));
    // The main bar is what core code renders through.
    mainColorBar = &bar;
    QCOMPARE(currentColorScale().colorOfV(f), QColor(grey, grey, grey));
    mainColorBar = nullptr;
}

void TstDispA::barColourTable()
{
    ColorBar bar;
    bar.imageFormat = QImage::Format_RGB888;
    unsigned char px[3];
    QCOMPARE(bar.valueToPixel(1.0, px), px + 3);
    QCOMPARE(QColor(px[0], px[1], px[2]), QColor(255, 255, 255));
    QCOMPARE(bar.colorOfV(0.5), QColor(255, 128, 0));  // entry 383
    QCOMPARE(bar.colorOfV(-3), QColor(0, 0, 0));
}

void TstDispA::barEqualLimits()
{
    ColorBar bar;
    bar.lowerLimit = bar.upperLimit = 0.4;
    QCOMPARE(bar.colorOfV(0.5), QColor(255, 255, 255));
    QCOMPARE(bar.colorOfV(0.3), QColor(0, 0, 0));
    QCOMPARE(bar.colorOfV(0.4), QColor(0, 0, 0));  // 0 / 0
    bar.resize(20, 300);
    bar.paintCBar();  // limit lines on the same row: no trouble
    QVERIFY(!bar.grab().isNull());
}

void TstDispA::dragMovesNearerLimit()
{
    ColorBar bar;
    bar.resize(20, 400);
    QSignalSpy updating(&bar, SIGNAL(cBarUpdating()));
    QSignalSpy updated(&bar, SIGNAL(cBarUpdated()));
    // Press near the top: the upper limit follows the mouse.
    press(&bar, QPointF(10, 20));
    QVERIFY(bar.dragging);
    QCOMPARE(bar.dragTarget, &bar.upperLimit);
    move(&bar, QPointF(10, 100), Qt::LeftButton);
    QCOMPARE(bar.upperLimit, 0.75);
    QCOMPARE(bar.lowerLimit, 0.0);
    QCOMPARE(updating.count(), 1);
    // Beyond the widget the limit goes on, unclamped.
    move(&bar, QPointF(10, -40), Qt::LeftButton);
    QCOMPARE(bar.upperLimit, 1.1);
    release(&bar, QPointF(10, -40));
    QCOMPARE(updated.count(), 1);
    QVERIFY(!bar.dragging);

    // Near the bottom: the lower limit.
    press(&bar, QPointF(10, 390));
    QCOMPARE(bar.dragTarget, &bar.lowerLimit);
    move(&bar, QPointF(10, 300), Qt::RightButton);
    QCOMPARE(bar.lowerLimit, 0.25);
    release(&bar, QPointF(10, 300));
    QCOMPARE(updated.count(), 2);

    // Moving without a button moves nothing and says nothing.
    move(&bar, QPointF(10, 200));
    QCOMPARE(bar.lowerLimit, 0.25);
    QCOMPARE(updating.count(), 3);
}

void TstDispA::pressHalfwayTakesNeither()
{
    ColorBar bar;
    bar.resize(20, 400);
    QSignalSpy updating(&bar, SIGNAL(cBarUpdating()));
    press(&bar, QPointF(10, 200));  // f = 0.5, as far from 0 as from 1
    QVERIFY(!bar.dragging);
    move(&bar, QPointF(10, 120), Qt::LeftButton);
    QCOMPARE(updating.count(), 1);
    QCOMPARE(bar.lowerLimit, 0.0);
    QCOMPARE(bar.upperLimit, 1.0);
    release(&bar, QPointF(10, 120));
}

static int greyAt(const QImage& img, int x, int y)
{
    return qGray(img.pixel(x, y));
}

void TstDispA::grabbedBarRunsDarkToBright()
{
    ColorBar bar;
    bar.resize(20, 300);
    bar.paintCBar();
    QImage img = bar.grab().toImage();
    const int x = 3;  // away from the rotated labels in the middle
    QVERIFY(greyAt(img, x, 295) < 40);
    QVERIFY(greyAt(img, x, 5) > 215);
    int dips = 0;
    for (int y = 290; y > 10; y -= 10)
        if (greyAt(img, x, y - 10) + 8 < greyAt(img, x, y)) ++dips;
    QCOMPARE(dips, 0);

    // With the limits at a quarter and three quarters the colour saturates
    // outside them.
    bar.lowerLimit = 0.25;
    bar.upperLimit = 0.75;
    bar.paintCBar();
    img = bar.grab().toImage();
    QVERIFY(greyAt(img, x, 260) < 20);  // below the lower limit
    QVERIFY(greyAt(img, x, 40) > 235);  // above the upper
    const int middle = greyAt(img, x, 150);
    QVERIFY(middle > 100 && middle < 156);
}

void TstDispA::barPixmapRows()
{
    // Row r of the pixmap shows the table at widget height trunc((599 - r) H / 600),
    // as a fraction of H; the limit lines sit at rows trunc((1 - limit) 600).
    ColorBar bar;
    bar.imageFormat = QImage::Format_Grayscale8;
    bar.resize(20, 300);
    bar.lowerLimit = 0.3;
    bar.upperLimit = 0.9;
    bar.paintCBar();
    QImage img = bar.barPixmap.toImage();
    QCOMPARE(img.size(), QSize(20, 600));
    for (int r : {101, 179, 250, 300, 419, 421, 480, 501}) {
        const int h = (599 - r) * 300 / 600;
        double t = (double(h) / 300 - 0.3) / 0.6;
        t = qBound(0.0, t, 1.0);
        const int g = qMin(255, int(256 * t));
        QCOMPARE(QColor(img.pixel(2, r)), QColor(g, g, g));
    }
    QCOMPARE(QColor(img.pixel(2, 420)), QColor(0, 192, 255));  // trunc(0.7 * 600)
    QCOMPARE(QColor(img.pixel(2, 59)), QColor(0, 192, 255));   // trunc(0.1 * 600) = 59
}

QTEST_MAIN(TstDispA)
#include "tst_dispa.moc"
