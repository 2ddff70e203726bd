// The drawing surfaces: the plot frame and its ticks, the colour bar, and the
// image view driven by real events (zoom, pan, selection, pixels under the
// cursor, frames or maps that go away under it).
#include "support/Frames.h"
#include "support/Maps.h"
#include "support/WidgetEvents.h"

#include "widgets/ChCoord.h"
#include "widgets/ColorBar.h"
#include "widgets/ImgDispA.h"
#include "widgets/ViewWindow.h"

#include "core/Analyzed2DRes.h"
#include "core/Globals.h"

#include <QSignalSpy>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>

using namespace WidgetEvents;

struct Ticks
{
    double min, max;
    double step, first, last;  // step 0: only that it ends sanely
    bool some;
};
Q_DECLARE_METATYPE(Ticks)

struct Selection
{
    QPointF from, to;
    Qt::KeyboardModifiers mods;
    bool emitted;
    QRectF area, view;
};
Q_DECLARE_METATYPE(Selection)

namespace {
const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// value = column + 2 * row
std::unique_ptr<TiffData> gradient(int w, int h)
{
    return std::unique_ptr<TiffData>(ts::frame(TiffData::UInt16, w, h, [](int c, int r) { return c + 2 * r; }));
}

bool samePoint(const QPointF& a, const QPointF& b)
{
    return qAbs(a.x() - b.x()) < 1e-9 && qAbs(a.y() - b.y()) < 1e-9;
}

void prepare(ImgDispA& v)
{
    v.setFrameShape(QFrame::NoFrame);
    v.resize(500, 400);
}
}  // namespace

class TstImgDispA : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initGlobals(); }

    // Plot areas of a screen width by 400: x from a tenth of the width to a
    // twentieth short of it, y from 360 (bottom) up to 20.
    void screenColumns_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QPointF>("range");
        QTest::addColumn<double>("v");
        QTest::addColumn<int>("column");
        // Scale first, then offset: the right end lands just short of 477.
        QTest::newRow("right end") << 502 << QPointF(8900, 9100) << 9100.0 << 476;
        QTest::newRow("left end") << 472 << QPointF(8900, 9100) << 8900.0 << 47;
        QTest::newRow("backwards") << 600 << QPointF(17.5, 3) << 3.0 << 570;
        QTest::newRow("negative") << 600 << QPointF(-1e-6, -3e-6) << -2e-6 << 315;
        QTest::newRow("empty range: its start") << 600 << QPointF(5, 5) << 9.0 << 60;
        QTest::newRow("NaN") << 600 << QPointF(8900, 9100) << kNan << 0;
        QTest::newRow("minus infinity") << 600 << QPointF(8900, 9100) << -kInf << -10000000;
    }
    void screenColumns()
    {
        QFETCH(int, width);
        QFETCH(QPointF, range);
        QFETCH(double, v);
        QFETCH(int, column);
        ChCoord c;
        c.setScreenArea(0, 400, width, 0);
        c.calcPlotArea();
        c.setRealCoord(range.x(), range.x(), range.y(), range.y());
        QCOMPARE(ChCoord::pix(c.r2sx(v)), column);
        QVERIFY(std::isfinite(c.r2sdx(3)));
        if (range.x() != range.y())
            QCOMPARE(QPointF(c.r2sy(range.x()), c.r2sy(range.y())), QPointF(360, 20));
    }

    void ticks_data()
    {
        QTest::addColumn<Ticks>("t");
        QTest::newRow("0..1") << Ticks{0, 1, 0.2, 0, 1, true};
        QTest::newRow("3..12") << Ticks{3, 12, 2, 4, 12, true};
        QTest::newRow("-0.5..0.5") << Ticks{-0.5, 0.5, 0.2, -0.4, 0.4, true};
        QTest::newRow("8950..9450") << Ticks{8950, 9450, 100, 9000, 9400, true};
        QTest::newRow("0..4") << Ticks{0, 4, 0.5, 0, 4, true};
        QTest::newRow("zero range") << Ticks{5, 5, 0, 0, 0, true};
        QTest::newRow("NaN") << Ticks{kNan, 1, 0, 0, 0, false};
        QTest::newRow("whole double line") << Ticks{-DBL_MAX, DBL_MAX, 0, 0, 0, true};
        QTest::newRow("tiny") << Ticks{1e-310, 3e-310, 0, 0, 0, true};
        const double twoStepsOn = std::nextafter(std::nextafter(1e20, 2e20), 2e20);
        QTest::newRow("beyond precision") << Ticks{1e20, twoStepsOn, 0, 0, 0, true};
        QTest::newRow("reversed") << Ticks{7, 0, 0, 0, 0, true};
    }
    void ticks()
    {
        QFETCH(Ticks, t);
        double step, first, last;
        ChCoord::autoTicks(t.min, t.max, step, first, last);
        QVERIFY(std::isfinite(step) && step > 0);
        const QVector<double> v = ChCoord::tickValues(t.min, t.max, 50);
        QVERIFY(v.size() <= 50);
        QCOMPARE(!v.isEmpty(), t.some);
        for (double x : v) QVERIFY(std::isfinite(x));
        if (t.step == 0) return;
        QCOMPARE(step, t.step);
        QVERIFY(qAbs(v.first() - t.first) < 1e-9 * t.step && qAbs(v.last() - t.last) < 1e-9 * t.step);
        QCOMPARE(v.size(), qRound((t.last - t.first) / t.step) + 1);
    }

    // Alt moves are the user's way to leave the cursor where it is.
    void cursorPositions()
    {
        DispA d;
        d.resize(300, 200);
        QSignalSpy moved(&d, SIGNAL(mouseMoved0()));
        move(&d, QPointF(-0.5, 2.5));  // halves round up
        QCOMPARE(d.mouse.currentPos, QPoint(0, 3));
        move(&d, QPointF(50, 60), Qt::NoButton, Qt::AltModifier);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(d.mouse.currentPos, QPoint(0, 3));
    }

    void barMapsThroughLimits_data()
    {
        QTest::addColumn<QPointF>("limits");
        QTest::addColumn<double>("f");
        QTest::addColumn<int>("grey");
        QTest::newRow("mid") << QPointF(0, 1) << 0.5 << 128;
        QTest::newRow("top") << QPointF(0, 1) << 1.0 << 255;
        QTest::newRow("above") << QPointF(0, 1) << 1.5 << 255;
        QTest::newRow("below") << QPointF(0, 1) << -0.2 << 0;
        QTest::newRow("narrow quarter") << QPointF(0.25, 0.75) << 0.375 << 64;
        QTest::newRow("narrow above") << QPointF(0.25, 0.75) << 0.8 << 255;
        QTest::newRow("crossed") << QPointF(0.75, 0.25) << 0.375 << 192;
        QTest::newRow("equal limits, above") << QPointF(0.4, 0.4) << 0.5 << 255;
        QTest::newRow("equal limits, on") << QPointF(0.4, 0.4) << 0.4 << 0;
    }
    void barMapsThroughLimits()
    {
        QFETCH(QPointF, limits);
        QFETCH(double, f);
        QFETCH(int, grey);
        ColorBar bar;
        bar.lowerLimit = limits.x();
        bar.upperLimit = limits.y();
        unsigned char px[3] = {7, 7, 7};
        QCOMPARE(bar.valueToPixel(f, px), px + 1);
        QCOMPARE(int(px[0]), grey);
        QCOMPARE(px[1], (unsigned char)7);
        bar.imageFormat = QImage::Format_RGB888;
        QCOMPARE(bar.valueToPixel(f, px), px + 3);
    }

    void barDragMovesNearerLimit()
    {
        ColorBar bar;
        bar.resize(20, 400);
        QSignalSpy updated(&bar, SIGNAL(cBarUpdated()));
        press(&bar, QPointF(10, 20));  // near the top: the upper limit
        move(&bar, QPointF(10, 100), Qt::LeftButton);
        QCOMPARE(QPointF(bar.lowerLimit, bar.upperLimit), QPointF(0, 0.75));
        move(&bar, QPointF(10, -40), Qt::LeftButton);  // beyond the widget, unclamped
        QCOMPARE(bar.upperLimit, 1.1);
        release(&bar, QPointF(10, -40));
        press(&bar, QPointF(10, 390));  // near the bottom: the lower limit
        move(&bar, QPointF(10, 300), Qt::RightButton);
        release(&bar, QPointF(10, 300));
        QCOMPARE(bar.lowerLimit, 0.25);
        QCOMPARE(updated.count(), 2);
    }

    // A 200 x 160 window on a 500 x 400 widget; the outer tenths are bands.
    void zoomKeepsPointUnderCursor_data()
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
    }
    void zoomKeepsPointUnderCursor()
    {
        QFETCH(QPointF, m);
        QFETCH(double, f);
        QFETCH(bool, bands);
        QFETCH(QSizeF, size);
        const QSizeF widget(500, 400);
        const QRectF view(100, 50, 200, 160);
        const QRectF z = ViewWindow::zoomed(view, m, widget, f, bands);
        QCOMPARE(z.size(), QSizeF(size.width() * 200, size.height() * 160));
        QVERIFY(samePoint(ViewWindow::toImage(z, m, widget), ViewWindow::toImage(view, m, widget)));
        // A widget without size does not turn the window into NaN.
        const QRectF e = ViewWindow::zoomed(view, m, QSizeF(0, 0), f, bands);
        QVERIFY(std::isfinite(e.x()) && std::isfinite(e.y()));
    }

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

    void mousePixelsWheelAndPan()
    {
        auto a = gradient(400, 300);
        ImgDispA v;
        prepare(v);
        v.setImage(a.get());
        v.viewWindow = QRectF(100, 50, 200, 160);
        QSignalSpy moved(&v, SIGNAL(mouseMoved(double, double)));
        move(&v, QPointF(137, 90));
        QCOMPARE(QPointF(moved[0][0].toDouble(), moved[0][1].toDouble()), QPointF(154.8, 86));
        wheel(&v, QPointF(137, 90), QPoint(0, 120));
        QCOMPARE(v.viewWindow.width(), 200 / 1.1);
        QVERIFY(samePoint(ViewWindow::toImage(v.viewWindow, QPointF(137, 90), v.size()), QPointF(154.8, 86)));

        // Shift drags the image along under the cursor, selecting nothing.
        QSignalSpy area(&v, SIGNAL(newAreaSelected()));
        const QPointF grab(300, 250), to(120, 300);
        const QPointF grabbed = ViewWindow::toImage(v.viewWindow, grab, v.size());
        press(&v, grab, Qt::LeftButton, Qt::ShiftModifier);
        move(&v, to, Qt::LeftButton, Qt::ShiftModifier);
        QVERIFY(samePoint(ViewWindow::toImage(v.viewWindow, to, v.size()), grabbed));
        release(&v, to, Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(area.count(), 0);

        // A new frame keeps the window the user zoomed to.
        const QRectF zoomed = v.viewWindow;
        auto b = gradient(60, 30);
        v.setImage(b.get());
        QCOMPARE(v.viewWindow, zoomed);
        v.resetImageViewWindow();
        QCOMPARE(v.viewWindow, QRectF(0, 0, 60, 30));
    }

    // 5 widget pixels per image pixel; the area before is (10, 20, 40, 20).
    void selection_data()
    {
        QTest::addColumn<Selection>("s");
        const QRectF whole(0, 0, 100, 80), before(10, 20, 40, 20);
        QTest::newRow("drag backwards")
            << Selection{{250, 200}, {150, 150}, Qt::NoModifier, true, {30, 30, 20, 10}, whole};
        QTest::newRow("ctrl drag zooms")
            << Selection{{100, 50}, {300, 250}, Qt::ControlModifier, true, {20, 10, 40, 40}, {20, 10, 40, 40}};
        QTest::newRow("click keeps") << Selection{{400, 300}, {400, 300}, Qt::NoModifier, false, before, whole};
        QTest::newRow("line keeps") << Selection{{100, 300}, {400, 300}, Qt::NoModifier, false, before, whole};
    }
    void selection()
    {
        QFETCH(Selection, s);
        auto a = gradient(100, 80);
        ImgDispA v;
        prepare(v);
        v.setImage(a.get());
        v.setSelectedArea(50, 40, 10, 20);  // corners the other way round
        QSignalSpy spy(&v, SIGNAL(newAreaSelected()));
        drag(&v, s.from, s.to, Qt::LeftButton, s.mods);
        QCOMPARE(spy.count(), int(s.emitted));
        QCOMPARE(v.selectedArea, s.area);
        QCOMPARE(v.viewWindow, s.view);
        v.recallOldSelectedArea();
        QCOMPARE(v.selectedArea, QRectF(10, 20, 40, 20));
        press(&v, QPointF(10, 10), Qt::RightButton);
        release(&v, QPointF(10, 10), Qt::RightButton);
        QVERIFY(!v.areaValid);
    }

    // What "save the view" writes: the whole pixels inside the window, and the
    // map instead of the frame while the map layer is on.
    void viewedImageAndOverlay()
    {
        auto a = gradient(20, 10);
        a->makeQImage();
        ImgDispA v;
        prepare(v);
        v.setImage(a.get());
        QCOMPARE(v.viewedImage(), *a->image);
        v.viewWindow = QRectF(2.6, 1.2, 10.5, 5.9);
        const QImage part = v.viewedImage();
        QCOMPARE(part.size(), QSize(11, 6));  // columns 2 .. 12, rows 1 .. 6
        QCOMPARE(part.pixel(10, 5), a->image->pixel(12, 6));
        v.resetImageViewWindow();

        Analyzed2DRes map("test map");
        ts::fillMap(map, 20, 10, [](int x, int) { return x < 10 ? -5.0 : 15.0; });
        ColorBar bar;
        mainColorBar = &bar;
        map.genImg();
        v.overlayMap = &map;
        v.setShowOverLayer(true);
        const QImage img = v.grab().toImage();
        mainColorBar = nullptr;
        QCOMPARE(bar.valueMin, -5.0);
        QCOMPARE(bar.valueMax, 15.0);
        QVERIFY(qGray(img.pixel(100, 200)) < 10 && qGray(img.pixel(400, 200)) > 245);
        QCOMPARE(v.viewedImage(), *map.img());
    }
};

QTEST_MAIN(TstImgDispA)
#include "tst_imgdispa.moc"
