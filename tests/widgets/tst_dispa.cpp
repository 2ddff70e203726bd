// The drawing surface and the colour bar driven by real events.
#include "support/WidgetEvents.h"

#include "widgets/ColorBar.h"
#include "widgets/DispA.h"

#include "core/Globals.h"

#include <QSignalSpy>
#include <QtTest>

using namespace WidgetEvents;

class TstDispA : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initGlobals(); }

    // The press position and mode are what the drag handlers of every view
    // read; Alt moves are the user's way to leave the cursor where it is.
    void pressDragRelease()
    {
        DispA d;
        d.resize(300, 200);
        QSignalSpy moved(&d, SIGNAL(mouseMoved0()));
        QSignalSpy released(&d, SIGNAL(mouseReleased0()));
        bool pressedDuringMove = false;
        connect(&d, &DispA::mouseMoved0, [&] { pressedDuringMove = d.mouse.pressed; });
        press(&d, QPointF(30, 40), Qt::RightButton, Qt::ControlModifier);
        QCOMPARE(MouseC::modeOf(d.mouse.pressButton, d.mouse.pressModifiers), 10);
        move(&d, QPointF(35, 47), Qt::RightButton, Qt::ControlModifier);
        QVERIFY(pressedDuringMove);
        QCOMPARE(d.mouse.previousPos, QPoint(30, 40));
        release(&d, QPointF(36, 48), Qt::RightButton);
        QCOMPARE(released.count(), 1);
        QVERIFY(!d.mouse.pressed);
        move(&d, QPointF(-0.5, 2.5));  // halves round up
        QCOMPARE(d.mouse.currentPos, QPoint(0, 3));
        move(&d, QPointF(50, 60), Qt::NoButton, Qt::AltModifier);
        QCOMPARE(moved.count(), 2);
        QCOMPARE(d.mouse.currentPos, QPoint(0, 3));
    }

    void barMapsThroughLimits_data()
    {
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("upper");
        QTest::addColumn<double>("f");
        QTest::addColumn<int>("grey");
        QTest::newRow("mid") << 0.0 << 1.0 << 0.5 << 128;
        QTest::newRow("top") << 0.0 << 1.0 << 1.0 << 255;
        QTest::newRow("above") << 0.0 << 1.0 << 1.5 << 255;
        QTest::newRow("below") << 0.0 << 1.0 << -0.2 << 0;
        QTest::newRow("narrow mid") << 0.25 << 0.75 << 0.5 << 128;
        QTest::newRow("narrow above") << 0.25 << 0.75 << 0.8 << 255;
        QTest::newRow("narrow quarter") << 0.25 << 0.75 << 0.375 << 64;
        QTest::newRow("crossed") << 0.75 << 0.25 << 0.375 << 192;
        QTest::newRow("equal limits, above") << 0.4 << 0.4 << 0.5 << 255;
        QTest::newRow("equal limits, on") << 0.4 << 0.4 << 0.4 << 0;
    }
    void barMapsThroughLimits()
    {
        QFETCH(double, lower);
        QFETCH(double, upper);
        QFETCH(double, f);
        QFETCH(int, grey);
        ColorBar bar;
        bar.lowerLimit = lower;
        bar.upperLimit = upper;
        unsigned char px[3] = {7, 7, 7};
        QCOMPARE(bar.valueToPixel(f, px), px + 1);
        QCOMPARE(int(px[0]), grey);
        QCOMPARE(px[1], (unsigned char)7);
        // Core code renders through the main bar.
        mainColorBar = &bar;
        QCOMPARE(currentColorScale().colorOfV(f), QColor(grey, grey, grey));
        mainColorBar = nullptr;
        bar.imageFormat = QImage::Format_RGB888;
        QCOMPARE(bar.valueToPixel(f, px), px + 3);
    }

    void dragMovesNearerLimit()
    {
        ColorBar bar;
        bar.resize(20, 400);
        QSignalSpy updated(&bar, SIGNAL(cBarUpdated()));
        press(&bar, QPointF(10, 20));  // near the top: the upper limit
        move(&bar, QPointF(10, 100), Qt::LeftButton);
        QCOMPARE(bar.upperLimit, 0.75);
        QCOMPARE(bar.lowerLimit, 0.0);
        move(&bar, QPointF(10, -40), Qt::LeftButton);  // beyond the widget, unclamped
        QCOMPARE(bar.upperLimit, 1.1);
        release(&bar, QPointF(10, -40));
        press(&bar, QPointF(10, 390));  // near the bottom: the lower limit
        move(&bar, QPointF(10, 300), Qt::RightButton);
        release(&bar, QPointF(10, 300));
        QCOMPARE(bar.lowerLimit, 0.25);
        QCOMPARE(updated.count(), 2);
    }
};

QTEST_MAIN(TstDispA)
#include "tst_dispa.moc"
