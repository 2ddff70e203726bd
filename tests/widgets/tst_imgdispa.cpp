// The image view driven by real events: zoom, pan, selection, the mapping to
// image pixels and what it draws.
#include "widgets/WidgetEvents.h"

#include "widgets/ColorBar.h"
#include "widgets/ImgDispA.h"
#include "widgets/ViewWindow.h"

#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/TiffData.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace WidgetEvents;

// A frame of w x h 16-bit samples, value = column + 2 * row.
static std::unique_ptr<TiffData> makeFrame(int w, int h)
{
    auto t = std::make_unique<TiffData>();
    t->width = w;
    t->height = h;
    t->pixelType = TiffData::UInt16;
    for (int r = 0; r < h; ++r) {
        auto* row = new uint16_t[w];
        for (int c = 0; c < w; ++c) row[c] = uint16_t(c + 2 * r);
        t->rows.append(row);
    }
    t->min = 0;
    t->max = (w - 1) + 2 * (h - 1);
    return t;
}

class TstImgDispA : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nothingToShow();
    void imageSetsAndKeepsWindow();
    void clearingTheImageClearsBoth();
    void mouseMovesReportImagePixels();
    void wheelZoomAnchorsAtCursor();
    void wheelEdgeBandsAndSwitches();
    void shiftDragPans();
    void dragSelectsNormalisedAreaOnce();
    void ctrlDragZoomsToArea();
    void clickKeepsPreviousArea();
    void rightClickClears();
    void selectedAreaSlots();
    void viewedImageIsTheView();
    void drawsTheFrameThroughItsWindow();
    void followsRebuiltDisplayImage();
    void overlayMap();

private:
    static void prepare(ImgDispA& v)
    {
        v.setFrameShape(QFrame::NoFrame);
        v.resize(500, 400);
    }
};

void TstImgDispA::initTestCase()
{
    initGlobals();
}

void TstImgDispA::nothingToShow()
{
    ImgDispA v;
    prepare(v);
    v.resetImageViewWindow();  // before any load
    QCOMPARE(v.viewWindow, QRectF());
    QVERIFY(v.viewedImage().isNull());
    const QImage img = v.grab().toImage();
    QCOMPARE(QColor(img.pixel(250, 200)), QColor(Qt::white));
    // Dragging over an empty view selects nothing and keeps the state sane.
    QSignalSpy area(&v, SIGNAL(newAreaSelected()));
    drag(&v, QPointF(10, 10), QPointF(200, 200));
    QCOMPARE(area.count(), 0);
    QVERIFY(!v.areaValid);
    wheel(&v, QPointF(250, 200), QPoint(0, 120));
    QVERIFY(std::isfinite(v.viewWindow.x()));
}

void TstImgDispA::imageSetsAndKeepsWindow()
{
    auto a = makeFrame(100, 80);
    auto b = makeFrame(60, 30);
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    QCOMPARE(v.viewWindow, QRectF(0, 0, 100, 80));
    QVERIFY(a->image);
    QCOMPARE(v.baseImage, a->image);
    move(&v, QPointF(250, 200));
    wheel(&v, QPointF(250, 200), QPoint(0, 120));
    const QRectF zoomed = v.viewWindow;
    QVERIFY(zoomed.width() < 100);
    v.setImage(b.get());
    QCOMPARE(v.viewWindow, zoomed);
    v.resetImageViewWindow();
    QCOMPARE(v.viewWindow, QRectF(0, 0, 60, 30));
}

void TstImgDispA::clearingTheImageClearsBoth()
{
    auto a = makeFrame(100, 80);
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    v.setImage(nullptr);
    QVERIFY(!v.image);
    QVERIFY(!v.baseImage);
    a.reset();  // the stack is cleared
    const QImage img = v.grab().toImage();
    QCOMPARE(QColor(img.pixel(250, 200)), QColor(Qt::white));
    QVERIFY(v.viewedImage().isNull());
    v.resetImageViewWindow();
    QCOMPARE(v.viewWindow, QRectF(0, 0, 100, 80));  // unchanged
}

void TstImgDispA::mouseMovesReportImagePixels()
{
    auto a = makeFrame(400, 300);
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    v.viewWindow = QRectF(100, 50, 200, 160);
    QSignalSpy moved(&v, SIGNAL(mouseMoved(double, double)));
    move(&v, QPointF(137, 90));
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved[0][0].toDouble(), 100 + 137 * 200.0 / 500);
    QCOMPARE(moved[0][1].toDouble(), 50 + 90 * 160.0 / 400);
    // Not while a button is held, and not with Alt.
    press(&v, QPointF(137, 90), Qt::RightButton);
    move(&v, QPointF(140, 95), Qt::RightButton);
    release(&v, QPointF(140, 95), Qt::RightButton);
    move(&v, QPointF(10, 10), Qt::NoButton, Qt::AltModifier);
    QCOMPARE(moved.count(), 1);
}

void TstImgDispA::wheelZoomAnchorsAtCursor()
{
    auto a = makeFrame(400, 300);
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    v.viewWindow = QRectF(100, 50, 200, 160);
    const QList<QPointF> spots = {QPointF(250, 200), QPointF(130, 310), QPointF(400, 60)};
    for (const QPointF& at : spots) {
        for (int delta : {120, -120, 240}) {
            move(&v, at);
            const QRectF before = v.viewWindow;
            const QPointF held = ViewWindow::toImage(before, at, v.size());
            wheel(&v, at, QPoint(0, delta));
            const QPointF now = ViewWindow::toImage(v.viewWindow, at, v.size());
            QVERIFY(qAbs(now.x() - held.x()) < 1e-9);
            QVERIFY(qAbs(now.y() - held.y()) < 1e-9);
            QVERIFY(qAbs(v.viewWindow.width() - before.width() * v.zoomFactor) < 1e-9);
            QVERIFY(qAbs(v.viewWindow.height() - before.height() * v.zoomFactor) < 1e-9);
        }
    }
}

void TstImgDispA::wheelEdgeBandsAndSwitches()
{
    auto a = makeFrame(100, 100);
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    const double f = 1 / 1.1;
    move(&v, QPointF(25, 200));  // mx = 0.05 W
    wheel(&v, QPointF(25, 200), QPoint(0, 120));
    QCOMPARE(v.viewWindow.width(), 100.0);
    QCOMPARE(v.viewWindow.height(), 100 * f);
    v.resetImageViewWindow();
    move(&v, QPointF(250, 380));  // my = 0.95 H
    wheel(&v, QPointF(250, 380), QPoint(0, 120));
    QCOMPARE(v.viewWindow.width(), 100 * f);
    QCOMPARE(v.viewWindow.height(), 100.0);
    // A sideways wheel does not zoom; nor does anything with zoom off.
    v.resetImageViewWindow();
    move(&v, QPointF(250, 200));
    wheel(&v, QPointF(250, 200), QPoint(120, 0));
    QCOMPARE(v.viewWindow, QRectF(0, 0, 100, 100));
    v.zoomEnabled = false;
    wheel(&v, QPointF(250, 200), QPoint(0, 120));
    QCOMPARE(v.viewWindow, QRectF(0, 0, 100, 100));
}

void TstImgDispA::shiftDragPans()
{
    auto a = makeFrame(200, 160);
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    v.viewWindow = QRectF(40, 30, 100, 80);
    const QPointF grab(300, 250);
    const QPointF held = ViewWindow::toImage(v.viewWindow, grab, v.size());
    QSignalSpy area(&v, SIGNAL(newAreaSelected()));
    press(&v, grab, Qt::LeftButton, Qt::ShiftModifier);
    for (const QPointF& at : {QPointF(280, 240), QPointF(210, 160), QPointF(120, 300)}) {
        move(&v, at, Qt::LeftButton, Qt::ShiftModifier);
        const QPointF under = ViewWindow::toImage(v.viewWindow, at, v.size());
        QVERIFY(qAbs(under.x() - held.x()) < 1e-9);
        QVERIFY(qAbs(under.y() - held.y()) < 1e-9);
    }
    release(&v, QPointF(120, 300), Qt::LeftButton, Qt::ShiftModifier);
    QCOMPARE(v.viewWindow.size(), QSizeF(100, 80));
    QCOMPARE(area.count(), 0);
    // Panning switched off: the window stays.
    v.panEnabled = false;
    const QRectF before = v.viewWindow;
    drag(&v, QPointF(100, 100), QPointF(300, 300), Qt::LeftButton, Qt::ShiftModifier);
    QCOMPARE(v.viewWindow, before);
}

void TstImgDispA::dragSelectsNormalisedAreaOnce()
{
    auto a = makeFrame(100, 80);  // 5 widget pixels per image pixel
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    QSignalSpy area(&v, SIGNAL(newAreaSelected()));
    bool selectingDuringDrag = false;
    connect(&v, &DispA::mouseMoved0, [&] { selectingDuringDrag |= v.selecting; });
    drag(&v, QPointF(250, 200), QPointF(50, 100));  // image (50, 40) to (10, 20)
    QVERIFY(selectingDuringDrag);
    QVERIFY(!v.selecting);
    QCOMPARE(area.count(), 1);
    QVERIFY(v.areaValid);
    QCOMPARE(v.selectedArea, QRectF(10, 20, 40, 20));
    QCOMPARE(v.viewWindow, QRectF(0, 0, 100, 80));  // a plain drag does not zoom
}

void TstImgDispA::ctrlDragZoomsToArea()
{
    auto a = makeFrame(100, 80);
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    QSignalSpy area(&v, SIGNAL(newAreaSelected()));
    drag(&v, QPointF(100, 50), QPointF(300, 250), Qt::LeftButton, Qt::ControlModifier);
    QCOMPARE(area.count(), 1);
    QCOMPARE(v.selectedArea, QRectF(20, 10, 40, 40));
    QCOMPARE(v.viewWindow, QRectF(20, 10, 40, 40));
}

void TstImgDispA::clickKeepsPreviousArea()
{
    auto a = makeFrame(100, 80);
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    drag(&v, QPointF(50, 50), QPointF(150, 100));
    const QRectF chosen = v.selectedArea;
    QVERIFY(v.areaValid);
    QSignalSpy area(&v, SIGNAL(newAreaSelected()));
    press(&v, QPointF(400, 300));
    release(&v, QPointF(400, 300));
    QCOMPARE(area.count(), 0);
    QVERIFY(v.areaValid);
    QCOMPARE(v.selectedArea, chosen);
    // A drag along one line only is no area either.
    drag(&v, QPointF(100, 300), QPointF(400, 300));
    QCOMPARE(area.count(), 0);
    QCOMPARE(v.selectedArea, chosen);
}

void TstImgDispA::rightClickClears()
{
    auto a = makeFrame(100, 80);
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    drag(&v, QPointF(50, 50), QPointF(150, 100));
    QVERIFY(v.areaValid);
    press(&v, QPointF(10, 10), Qt::RightButton);
    QVERIFY(!v.areaValid);
    QVERIFY(!v.selecting);
    QCOMPARE(v.selectedArea, QRectF(0, 0, 0, 0));
    release(&v, QPointF(10, 10), Qt::RightButton);
    QVERIFY(!v.areaValid);
    // Other modes do nothing to the area.
    drag(&v, QPointF(50, 50), QPointF(150, 100), Qt::LeftButton, Qt::AltModifier);
    QCOMPARE(v.selectedArea, QRectF(0, 0, 0, 0));
}

void TstImgDispA::selectedAreaSlots()
{
    auto a = makeFrame(100, 80);
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    QSignalSpy area(&v, SIGNAL(newAreaSelected()));
    v.setViewWAsSelectedArea();  // nothing valid yet
    QCOMPARE(v.viewWindow, QRectF(0, 0, 100, 80));
    v.setSelectedArea(50, 40, 10, 20);  // corners given the other way round
    QCOMPARE(v.selectedArea, QRectF(10, 20, 40, 20));
    QVERIFY(v.areaValid);
    QCOMPARE(area.count(), 0);
    v.setViewWAsSelectedArea();
    QCOMPARE(v.viewWindow, QRectF(10, 20, 40, 20));
    // The previous area is the one before the last drag began.
    v.resetImageViewWindow();
    drag(&v, QPointF(0, 0), QPointF(100, 100));
    QCOMPARE(v.selectedArea, QRectF(0, 0, 20, 20));
    v.recallOldSelectedArea();
    QCOMPARE(v.selectedArea, QRectF(10, 20, 40, 20));
}

void TstImgDispA::viewedImageIsTheView()
{
    auto a = makeFrame(100, 80);
    a->makeQImage();
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    QImage whole = v.viewedImage();
    QCOMPARE(whole.size(), QSize(100, 80));
    QCOMPARE(whole, *a->image);
    v.viewWindow = QRectF(10.6, 20.2, 30.5, 10.9);
    const QImage part = v.viewedImage();
    QCOMPARE(part.size(), QSize(31, 11));  // columns 10 .. 40, rows 20 .. 30
    QCOMPARE(part.pixel(0, 0), a->image->pixel(10, 20));
    QCOMPARE(part.pixel(30, 10), a->image->pixel(40, 30));
}

void TstImgDispA::drawsTheFrameThroughItsWindow()
{
    auto a = makeFrame(100, 80);
    ColorBar bar;
    a->cBar = &bar;
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    v.viewWindow = QRectF(50, 40, 50, 40);  // bottom-right quarter, 10 px per pixel
    QImage img = v.grab().toImage();
    QCOMPARE(bar.valueMin, a->min);
    QCOMPARE(bar.valueMax, a->max);
    // The frame is mapped for the overlays: image pixels to widget pixels.
    QCOMPARE(v.coord.r2sx(50), 0.0);
    QCOMPARE(v.coord.r2sx(100), 500.0);
    QCOMPARE(v.coord.r2sy(60), 200.0);
    // Brighter towards the bottom right, as the frame's values grow.
    const int near = qGray(img.pixel(5, 5)), far = qGray(img.pixel(495, 395));
    QVERIFY(far > near + 40);
    const int expected = qGray(a->image->pixel(75, 60));
    QVERIFY(qAbs(qGray(img.pixel(255, 205)) - expected) <= 3);
}

void TstImgDispA::followsRebuiltDisplayImage()
{
    auto a = makeFrame(100, 80);
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    // A colour-scale change rebuilds the frame's display image behind the
    // view's back; the view must draw the new one.
    ColorBar bar;
    bar.lowerLimit = 0.9;  // nearly everything black
    mainColorBar = &bar;
    a->makeQImage();
    mainColorBar = nullptr;
    const QImage img = v.grab().toImage();
    QCOMPARE(v.baseImage, a->image);
    QVERIFY(qGray(img.pixel(250, 200)) < 10);
    QCOMPARE(v.viewedImage(), *a->image);
}

void TstImgDispA::overlayMap()
{
    auto a = makeFrame(20, 10);
    ImgDispA v;
    prepare(v);
    v.setImage(a.get());
    Analyzed2DRes map("test map");
    v.overlayMap = &map;
    v.setShowOverLayer(true);
    // A map without an image: white, nothing to save.
    QImage img = v.grab().toImage();
    QCOMPARE(QColor(img.pixel(250, 200)), QColor(Qt::white));
    QVERIFY(v.viewedImage().isNull());
    v.overlayMap = nullptr;
    QCOMPARE(QColor(v.grab().toImage().pixel(250, 200)), QColor(Qt::white));

    // A map with an image: drawn through the view window, its range pushed
    // into the main bar.
    AnalyzeCond grid;
    grid.set(20, 10, 0, 0, QRectF(0, 0, 20, 10), 1, 1);
    map.setCond(grid);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) map.setData(x, y, 0, 0, x < 10 ? -5.0 : 15.0);
    ColorBar bar;
    mainColorBar = &bar;
    map.genImg();
    v.overlayMap = &map;
    img = v.grab().toImage();
    QCOMPARE(bar.valueMin, -5.0);
    QCOMPARE(bar.valueMax, 15.0);
    mainColorBar = nullptr;
    QVERIFY(qGray(img.pixel(100, 200)) < 10);   // left half: the minimum
    QVERIFY(qGray(img.pixel(400, 200)) > 245);  // right half: the maximum
    QCOMPARE(v.viewedImage().size(), QSize(20, 10));
    QCOMPARE(v.viewedImage(), *map.img());

    v.setShowOverLayer(false);
    img = v.grab().toImage();
    QVERIFY(qGray(img.pixel(5, 5)) < 20);  // the frame again: its zero corner
    QCOMPARE(v.viewedImage().size(), QSize(20, 10));
    QCOMPARE(v.viewedImage(), *a->image);
}

QTEST_MAIN(TstImgDispA)
#include "tst_imgdispa.moc"
