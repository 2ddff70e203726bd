// The image view driven by real events: zoom, pan, selection, the mapping to
// image pixels, and frames or maps that go away under it.
#include "support/Frames.h"
#include "support/WidgetEvents.h"

#include "widgets/ColorBar.h"
#include "widgets/ImgDispA.h"
#include "widgets/ViewWindow.h"

#include "core/Analyzed2DRes.h"
#include "core/Globals.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace WidgetEvents;

namespace {
// value = column + 2 * row
std::unique_ptr<TiffData> gradient(int w, int h)
{
    return std::unique_ptr<TiffData>(ts::frame(TiffData::UInt16, w, h, [](int c, int r) { return c + 2 * r; }));
}
}  // namespace

class TstImgDispA : public QObject
{
    Q_OBJECT

    static void prepare(ImgDispA& v)
    {
        v.setFrameShape(QFrame::NoFrame);
        v.resize(500, 400);
    }

private slots:
    void initTestCase() { initGlobals(); }

    void emptyViewSurvivesEverything()
    {
        ImgDispA v;
        prepare(v);
        v.resetImageViewWindow();
        QSignalSpy area(&v, SIGNAL(newAreaSelected()));
        drag(&v, QPointF(10, 10), QPointF(200, 200));
        wheel(&v, QPointF(250, 200), QPoint(0, 120));
        QCOMPARE(area.count(), 0);
        QVERIFY(std::isfinite(v.viewWindow.x()));
        QCOMPARE(QColor(v.grab().toImage().pixel(250, 200)), QColor(Qt::white));

        // The stack is cleared while shown: nothing of it is touched again.
        auto a = gradient(100, 80);
        v.setImage(a.get());
        v.setImage(nullptr);
        a.reset();
        QCOMPARE(QColor(v.grab().toImage().pixel(250, 200)), QColor(Qt::white));
        QVERIFY(v.viewedImage().isNull());
    }

    void mouseReportsImagePixelsAndWheelAnchors()
    {
        auto a = gradient(400, 300);
        ImgDispA v;
        prepare(v);
        v.setImage(a.get());
        v.viewWindow = QRectF(100, 50, 200, 160);
        QSignalSpy moved(&v, SIGNAL(mouseMoved(double, double)));
        move(&v, QPointF(137, 90));
        QCOMPARE(moved[0][0].toDouble(), 100 + 137 * 200.0 / 500);
        QCOMPARE(moved[0][1].toDouble(), 50 + 90 * 160.0 / 400);
        for (const QPointF& at : {QPointF(250, 200), QPointF(130, 310), QPointF(400, 60)}) {
            move(&v, at);
            const QPointF held = ViewWindow::toImage(v.viewWindow, at, v.size());
            wheel(&v, at, QPoint(0, 120));
            const QPointF now = ViewWindow::toImage(v.viewWindow, at, v.size());
            QVERIFY(qAbs(now.x() - held.x()) < 1e-9 && qAbs(now.y() - held.y()) < 1e-9);
        }
        // A new frame keeps the window the user zoomed to.
        const QRectF zoomed = v.viewWindow;
        auto b = gradient(60, 30);
        v.setImage(b.get());
        QCOMPARE(v.viewWindow, zoomed);
        v.resetImageViewWindow();
        QCOMPARE(v.viewWindow, QRectF(0, 0, 60, 30));
    }

    void shiftDragPans()
    {
        auto a = gradient(200, 160);
        ImgDispA v;
        prepare(v);
        v.setImage(a.get());
        v.viewWindow = QRectF(40, 30, 100, 80);
        const QPointF grab(300, 250);
        const QPointF held = ViewWindow::toImage(v.viewWindow, grab, v.size());
        QSignalSpy area(&v, SIGNAL(newAreaSelected()));
        press(&v, grab, Qt::LeftButton, Qt::ShiftModifier);
        move(&v, QPointF(120, 300), Qt::LeftButton, Qt::ShiftModifier);
        const QPointF under = ViewWindow::toImage(v.viewWindow, QPointF(120, 300), v.size());
        QVERIFY(qAbs(under.x() - held.x()) < 1e-9 && qAbs(under.y() - held.y()) < 1e-9);
        release(&v, QPointF(120, 300), Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(area.count(), 0);
    }

    void selection_data()
    {
        QTest::addColumn<QPointF>("from");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("emitted");
        QTest::addColumn<QRectF>("area");
        QTest::addColumn<QRectF>("view");
        // 5 widget pixels per image pixel; the first area is (10, 20, 40, 20).
        QTest::newRow("drag backwards") << QPointF(250, 200) << QPointF(150, 150) << int(Qt::NoModifier) << 1
                                        << QRectF(30, 30, 20, 10) << QRectF(0, 0, 100, 80);
        QTest::newRow("ctrl drag zooms") << QPointF(100, 50) << QPointF(300, 250) << int(Qt::ControlModifier) << 1
                                         << QRectF(20, 10, 40, 40) << QRectF(20, 10, 40, 40);
        QTest::newRow("click keeps") << QPointF(400, 300) << QPointF(400, 300) << int(Qt::NoModifier) << 0
                                     << QRectF(10, 20, 40, 20) << QRectF(0, 0, 100, 80);
        QTest::newRow("line keeps") << QPointF(100, 300) << QPointF(400, 300) << int(Qt::NoModifier) << 0
                                    << QRectF(10, 20, 40, 20) << QRectF(0, 0, 100, 80);
    }
    void selection()
    {
        QFETCH(QPointF, from);
        QFETCH(QPointF, to);
        QFETCH(int, modifiers);
        QFETCH(int, emitted);
        QFETCH(QRectF, area);
        QFETCH(QRectF, view);
        auto a = gradient(100, 80);
        ImgDispA v;
        prepare(v);
        v.setImage(a.get());
        v.setSelectedArea(50, 40, 10, 20);  // corners the other way round
        QSignalSpy spy(&v, SIGNAL(newAreaSelected()));
        drag(&v, from, to, Qt::LeftButton, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(spy.count(), emitted);
        QCOMPARE(v.selectedArea, area);
        QCOMPARE(v.viewWindow, view);
        v.recallOldSelectedArea();
        if (emitted) QCOMPARE(v.selectedArea, QRectF(10, 20, 40, 20));
        press(&v, QPointF(10, 10), Qt::RightButton);
        release(&v, QPointF(10, 10), Qt::RightButton);
        QVERIFY(!v.areaValid);
    }

    // What "save the view" writes: the pixels inside the window, and the map
    // instead of the frame while the map layer is on.
    void viewedImageAndOverlay()
    {
        auto a = gradient(20, 10);
        a->makeQImage();
        ImgDispA v;
        prepare(v);
        v.setImage(a.get());
        v.viewWindow = QRectF(2.6, 1.2, 10.5, 5.9);
        const QImage part = v.viewedImage();
        QCOMPARE(part.size(), QSize(11, 6));  // columns 2 .. 12, rows 1 .. 6
        QCOMPARE(part.pixel(10, 5), a->image->pixel(12, 6));
        v.resetImageViewWindow();

        Analyzed2DRes map("test map");
        AnalyzeCond grid;
        grid.set(20, 10, 0, 0, QRectF(0, 0, 20, 10), 1, 1);
        map.setCond(grid);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x) map.setData(x, y, 0, 0, x < 10 ? -5.0 : 15.0);
        ColorBar bar;
        mainColorBar = &bar;
        map.genImg();
        v.overlayMap = &map;
        v.setShowOverLayer(true);
        const QImage img = v.grab().toImage();
        mainColorBar = nullptr;
        QCOMPARE(bar.valueMin, -5.0);
        QCOMPARE(bar.valueMax, 15.0);
        QVERIFY(qGray(img.pixel(100, 200)) < 10);
        QVERIFY(qGray(img.pixel(400, 200)) > 245);
        QCOMPARE(v.viewedImage(), *map.img());
        v.setShowOverLayer(false);
        QCOMPARE(v.viewedImage(), *a->image);
    }
};

QTEST_MAIN(TstImgDispA)
#include "tst_imgdispa.moc"
