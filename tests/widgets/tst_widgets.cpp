// The widgets on their own: plot ticks, the colour bar, the image view
// driven by real events (zoom, pan, selection, pixels under the cursor,
// frames or maps that go away under it), the spectrum view (Fourier scale,
// saved files, spectra that cannot be drawn) and the file dialogs that start
// in the data folder and follow each other.
#include "support/Files.h"
#include "support/Frames.h"
#include "support/Maps.h"
#include "support/ShownText.h"
#include "support/WidgetEvents.h"

#include "widgets/ChCoord.h"
#include "widgets/ColorBar.h"
#include "widgets/CrossSView.h"
#include "widgets/DispA.h"
#include "widgets/FieldWidth.h"
#include "widgets/FDGroup.h"
#include "widgets/LazyFileDialog.h"
#include "widgets/ImgDispA.h"
#include "widgets/SelectImgDialog.h"
#include "widgets/SpecPane.h"
#include "widgets/SpecPaneMath.h"
#include "widgets/ViewWindow.h"
#include "widgets/XafsFileSelect.h"
#include "widgets/_FileDialog.h"

#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/SuggestElm.h"
#include "core/XafsSpectrum.h"

#include "mainwindow/EOFSetup.h"
#include "mainwindow/SelectDataFiles.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <complex>
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

// A range scaled by f about c, or moved by pan; a result that is not a
// finite, non-empty range changes nothing.
struct Range
{
    double lo0, hi0, c, f, pan;
    bool changes;
    double lo, hi;
};
Q_DECLARE_METATYPE(Range)

namespace {

// value = column + 2 * row
std::unique_ptr<TiffData> gradient(int w, int h)
{
    return std::unique_ptr<TiffData>(ts::frame(TiffData::UInt16, w, h, [](int c, int r) { return c + 2 * r; }));
}

// A 500 x 400 view without frame, showing t.
void prepare(ImgDispA& v, TiffData* t)
{
    v.setFrameShape(QFrame::NoFrame);
    v.resize(500, 400);
    v.setImage(t);
}

// A 600 x 400 surface plots x 60 .. 570, y 360 .. 20.
const QPointF plotMiddle(315, 200);

QString canon(const QString& p) { return QFileInfo(p).canonicalFilePath(); }
QString dirOf(const QFileDialog* d) { return canon(d->directory().absolutePath()); }
}  // namespace

class TstWidgets : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    QString dirA, dirB, fileInB;

    // A shown view whose drawing surface is exactly 600 x 400.
    void showPane(SpecPane& pane)
    {
        pane.ui.Xafs->setFixedSize(600, 400);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
    }
    QImage paint(SpecPane& pane) { return pane.ui.Xafs->grab().toImage(); }

private slots:
    void initTestCase()
    {
        initGlobals();
        QVERIFY(QDir(tmp.path()).mkpath("a") && QDir(tmp.path()).mkpath("b"));
        dirA = canon(tmp.filePath("a"));
        dirB = canon(tmp.filePath("b"));
        fileInB = dirB + "/mu.dat";
        QVERIFY(ts::writeFile(fileInB, "1 2\n"));
    }

    // Values that are no screen position at all still give one in reach; an
    // empty range maps onto its start instead of dividing by zero.
    void screenPositionsStayInReach()
    {
        QCOMPARE(ChCoord::pix(qQNaN()), 0);
        QCOMPARE(ChCoord::pix(-qInf()), -10000000);
        ChCoord c;
        c.setScreenArea(0, 400, 600, 0);
        c.calcPlotArea();
        c.setRealCoord(5, 5, 5, 5);
        QCOMPARE(ChCoord::pix(c.r2sx(9)), 60);
        QCOMPARE(ChCoord::pix(c.r2sy(9)), 360);
    }

    void ticks_data()
    {
        QTest::addColumn<Ticks>("t");
        QTest::newRow("3..12") << Ticks{3, 12, 2, 4, 12, true};
        QTest::newRow("8950..9450") << Ticks{8950, 9450, 100, 9000, 9400, true};
        QTest::newRow("0..4") << Ticks{0, 4, 0.5, 0, 4, true};
        QTest::newRow("zero range") << Ticks{5, 5, 0, 0, 0, true};
        QTest::newRow("NaN") << Ticks{qQNaN(), 1, 0, 0, 0, false};
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

    void barMapsThroughLimits_data()
    {
        QTest::addColumn<QPointF>("limits");
        QTest::addColumn<double>("f");
        QTest::addColumn<int>("grey");
        QTest::newRow("above") << QPointF(0, 1) << 1.5 << 255;
        QTest::newRow("below") << QPointF(0, 1) << -0.2 << 0;
        QTest::newRow("narrow quarter") << QPointF(0.25, 0.75) << 0.375 << 64;
        QTest::newRow("crossed") << QPointF(0.75, 0.25) << 0.375 << 192;
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

    // Grabbed near an end, the bar moves that limit, beyond the widget too.
    void barDragMovesNearerLimit()
    {
        ColorBar bar;
        bar.resize(20, 400);
        QSignalSpy updated(&bar, SIGNAL(cBarUpdated()));
        press(&bar, QPointF(10, 20));
        move(&bar, QPointF(10, 100), Qt::LeftButton);
        QCOMPARE(QPointF(bar.lowerLimit, bar.upperLimit), QPointF(0, 0.75));
        move(&bar, QPointF(10, -40), Qt::LeftButton);
        QCOMPARE(bar.upperLimit, 1.1);
        release(&bar, QPointF(10, -40));
        press(&bar, QPointF(10, 390));
        move(&bar, QPointF(10, 300), Qt::RightButton);
        release(&bar, QPointF(10, 300));
        QCOMPARE(bar.lowerLimit, 0.25);
        QCOMPARE(updated.count(), 2);
    }

    void spectrumZoomAndPan_data()
    {
        QTest::addColumn<Range>("r");
        QTest::newRow("out off centre") << Range{8900, 9100, 8950, 1.1, 0, true, 8895, 9115};
        QTest::newRow("pan") << Range{8900, 9100, 0, 1, -20, true, 8880, 9080};
        QTest::newRow("factor 0") << Range{8900, 9100, 9000, 0, 0, false, 8900, 9100};
        QTest::newRow("NaN centre") << Range{8900, 9100, qQNaN(), 1.1, 0, false, 8900, 9100};
        QTest::newRow("infinite pan") << Range{8900, 9100, 0, 1, qInf(), false, 8900, 9100};
        QTest::newRow("one point") << Range{5, 5, 5, 1.1, 0, false, 5, 5};
        QTest::newRow("whole double line") << Range{-DBL_MAX, DBL_MAX, 0, 1.1, 0, false, -DBL_MAX, DBL_MAX};
    }
    void spectrumZoomAndPan()
    {
        QFETCH(Range, r);
        double a = r.lo0, b = r.hi0;
        const bool changed = r.pan != 0 ? SpecPaneMath::panRange(a, b, r.pan) : SpecPaneMath::zoomRange(a, b, r.c, r.f);
        QCOMPARE(changed, r.changes);
        QCOMPARE(QPointF(a, b), QPointF(r.lo, r.hi));
    }

    // Where the plotted curve breaks (gaps over 50 eV, or going back), and
    // which point the Position field names (the midpoint goes right).
    void curvePiecesAndNearestPoint()
    {
        using SpecPaneMath::pieces;
        using Runs = QVector<QPair<int, int>>;
        QCOMPARE(pieces({8800, 8850, 8900, 8950.0001, 8960}), (Runs{{0, 3}, {3, 5}}));
        QCOMPARE(pieces({9000, 8900, 8890}), (Runs{{0, 1}, {1, 3}}));
        QCOMPARE(pieces({0, qQNaN(), 10}), (Runs{{0, 3}}));
        QCOMPARE(pieces({}), Runs{});
        const QVector<QPointF> pts{{0, 0}, {10, 0}, {20, 0}};
        QCOMPARE(SpecPaneMath::nearestIndex(pts, 4.9), 0);
        QCOMPARE(SpecPaneMath::nearestIndex(pts, 5.0), 1);
        QCOMPARE(SpecPaneMath::nearestIndex(pts, 1e300), 2);
        QCOMPARE(SpecPaneMath::nearestIndex(pts, qQNaN()), 2);
        QCOMPARE(SpecPaneMath::nearestIndex({}, 5.0), -1);
    }

    void emptyViewSurvivesEverything()
    {
        ImgDispA v;
        prepare(v, nullptr);
        v.resetImageViewWindow();
        QSignalSpy area(&v, SIGNAL(newAreaSelected()));
        drag(&v, QPointF(10, 10), QPointF(200, 200));
        wheel(&v, QPointF(250, 200), QPoint(0, 120));
        QCOMPARE(area.count(), 0);
        QVERIFY(std::isfinite(v.viewWindow.x()));
        // A widget without size does not turn the window into NaN.
        const QRectF e = ViewWindow::zoomed(QRectF(100, 50, 200, 160), QPointF(25, 200), QSizeF(0, 0), 1.1, true);
        QVERIFY(std::isfinite(e.x()) && std::isfinite(e.y()));
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
        prepare(v, a.get());
        v.viewWindow = QRectF(100, 50, 200, 160);
        QSignalSpy moved(&v, SIGNAL(mouseMoved(double, double)));
        move(&v, QPointF(137, 90));
        QCOMPARE(QPointF(moved[0][0].toDouble(), moved[0][1].toDouble()), QPointF(154.8, 86));
        // Alt moves are the user's way to leave the cursor where it is.
        move(&v, QPointF(50, 60), Qt::NoButton, Qt::AltModifier);
        QCOMPARE(moved.count(), 1);
        wheel(&v, QPointF(137, 90), QPoint(0, 120));
        QCOMPARE(v.viewWindow.width(), 200 / 1.1);
        QVERIFY((ViewWindow::toImage(v.viewWindow, QPointF(137, 90), v.size()) - QPointF(154.8, 86)).manhattanLength() < 1e-9);

        // Shift drags the image along under the cursor, selecting nothing.
        QSignalSpy area(&v, SIGNAL(newAreaSelected()));
        const QPointF grabbed = ViewWindow::toImage(v.viewWindow, QPointF(300, 250), v.size());
        drag(&v, QPointF(300, 250), QPointF(120, 300), Qt::LeftButton, Qt::ShiftModifier);
        QVERIFY((ViewWindow::toImage(v.viewWindow, QPointF(120, 300), v.size()) - grabbed).manhattanLength() < 1e-9);
        QCOMPARE(area.count(), 0);
    }

    // The wheel, or a trackpad's many small steps, zooms out only a few image
    // sizes (the statistics walk the view); zooming in works again.
    void zoomOutStops_data()
    {
        QTest::addColumn<QPointF>("at");
        QTest::addColumn<QPoint>("delta");
        QTest::newRow("wheel in the middle") << QPointF(250, 200) << QPoint(0, -120);
        QTest::newRow("trackpad in the middle") << QPointF(250, 200) << QPoint(0, -2);
        QTest::newRow("in the left band: height only") << QPointF(10, 200) << QPoint(0, -120);
        QTest::newRow("in the top band: width only") << QPointF(250, 5) << QPoint(0, -120);
    }
    void zoomOutStops()
    {
        QFETCH(QPointF, at);
        QFETCH(QPoint, delta);
        auto a = gradient(40, 30);
        ImgDispA v;
        prepare(v, a.get());
        v.resetImageViewWindow();
        move(&v, at);
        for (int i = 0; i < 500; ++i) wheel(&v, at, delta);
        const QRectF out = v.viewWindow;
        // Within the limit, and within one step of it in a zoomed direction.
        QVERIFY2(out.width() <= 160 && out.height() <= 120 && (out.width() * 1.1 > 160 || out.height() * 1.1 > 120),
                 qPrintable(QString("%1 x %2").arg(out.width()).arg(out.height())));
        wheel(&v, at, QPoint(0, 120));
        QVERIFY(v.viewWindow.width() * v.viewWindow.height() < out.width() * out.height());
    }

    // A position given in image pixels stays as given, not the screen pixel
    // holding it, until the pointer moves.
    void givenPositionPassesUnchanged()
    {
        auto a = gradient(400, 300);
        ImgDispA v;
        prepare(v, a.get());
        v.viewWindow = QRectF(100.3, 50.7, 213.1, 157.9);
        v.setRealMousePos(154, 86);
        QCOMPARE(v.cursorImagePos(), QPointF(154, 86));
        move(&v, QPointF(137, 90));
        QCOMPARE(v.cursorImagePos(), ViewWindow::toImage(v.viewWindow, QPointF(137, 90), v.size()));
    }

    // A wheel turn after a position given in image pixels keeps that very point
    // in its place on the screen: not the resting pointer's, nor the cursor's screen pixel.
    void wheelZoomsAboutGivenPosition_data()
    {
        QTest::addColumn<QRectF>("view");
        QTest::addColumn<QPoint>("given");
        QTest::addColumn<int>("delta");
        QTest::addColumn<bool>("drawn");  // false: a script zoomed, no paint since
        QTest::newRow("whole image, in") << QRectF(0, 0, 400, 300) << QPoint(154, 86) << 120 << true;
        QTest::newRow("zoomed off the origin, no whole scale, out")
            << QRectF(100.3, 50.7, 213.1, 157.9) << QPoint(250, 90) << -120 << true;
        QTest::newRow("zoomed out past the image, in") << QRectF(-300.5, -200.25, 1100, 900) << QPoint(31, 270) << 120 << true;
        QTest::newRow("window changed, not drawn yet") << QRectF(100.3, 50.7, 213.1, 157.9) << QPoint(250, 90) << 120 << false;
    }
    void wheelZoomsAboutGivenPosition()
    {
        QFETCH(QRectF, view);
        QFETCH(QPoint, given);
        QFETCH(int, delta);
        QFETCH(bool, drawn);
        auto a = gradient(400, 300);
        ImgDispA v;
        prepare(v, a.get());
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.repaint();
        v.viewWindow = view;
        if (drawn) v.repaint();
        move(&v, QPointF(60, 350));
        v.setRealMousePos(given.x(), given.y());
        // The given point's place on the screen, as a share of the widget.
        const QPointF at((given.x() - view.x()) / view.width(), (given.y() - view.y()) / view.height());
        wheel(&v, QPointF(60, 350), QPoint(0, delta));
        const QRectF& now = v.viewWindow;
        const double f = delta > 0 ? 1 / 1.1 : 1.1;
        QVERIFY(std::fabs(now.width() - f * view.width()) < 1e-9 && std::fabs(now.height() - f * view.height()) < 1e-9);
        const QPointF there = now.topLeft() + QPointF(at.x() * now.width(), at.y() * now.height());
        QVERIFY2(QLineF(there, given).length() < 1e-9, qPrintable(QString("%1, %2").arg(there.x()).arg(there.y())));
        QCOMPARE(v.cursorImagePos(), QPointF(given));
    }

    // A vertical profile runs down as image rows do, a horizontal one across
    // as columns do; peak and marker are drawn mid-pixel.
    void profileRunsAsTheImage()
    {
        CrossSView view;
        view.resize(200, 200);
        for (int i = 0; i < 10; ++i) view.profile.append(i, i == 2 ? 5.0 : 1.0);
        view.markerPos = 7;
        view.alignPositions(2, 6, 40, 140);  // positions 2 .. 6 on view pixels 40 .. 140
        for (const int vertical : {1, 0}) {
            view.orientation = vertical;
            const QImage img = view.grab().toImage();
            const QPoint peak = vertical ? QPoint(197, 52) : QPoint(52, 2);
            QCOMPARE(QColor(img.pixel(peak)), QColor(Qt::black));
            QCOMPARE(QColor(img.pixel(vertical ? QPoint(100, 177) : QPoint(177, 100))), QColor(192, 192, 0));  // the marker
        }
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
        prepare(v, a.get());
        v.setSelectedArea(50, 40, 10, 20);  // corners the other way round
        QSignalSpy spy(&v, SIGNAL(newAreaSelected()));
        drag(&v, s.from, s.to, Qt::LeftButton, s.mods);
        QCOMPARE(spy.count(), int(s.emitted));
        QCOMPARE(v.selectedArea, s.area);
        QCOMPARE(v.viewWindow, s.view);
        press(&v, QPointF(10, 10), Qt::RightButton);
        release(&v, QPointF(10, 10), Qt::RightButton);
        QVERIFY(!v.areaValid);
    }

    // What "save the view" writes: the whole pixels inside the window, and the
    // map instead of the frame while the map layer is on.
    void viewedImageAndOverlay()
    {
        auto a = gradient(20, 10);
        ImgDispA v;
        prepare(v, a.get());
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
        mainColorBar = nullptr;
        QCOMPARE(v.viewedImage(), *map.img());
    }

    void rawAndFourierPlots()
    {
        SpecPane pane;
        showPane(pane);
        Spectrum raw;
        for (int i = 0; i < 100; ++i) raw.append(8000 + i, 1000 + 10 * std::sin(i * 0.7) + i);
        pane.setRawSpectrum(raw);
        // The Fourier scale is that of bins 1 .. 8 of the magnitudes, by a plain DFT.
        pane.ui.ShowRaw->setChecked(true);
        pane.ui.ShowFFT->setChecked(true);
        paint(pane);
        QCOMPARE(QPointF(pane.coord.realX0, pane.coord.realX1), QPointF(0, 10));
        double lo = DBL_MAX, hi = -DBL_MAX;
        for (int k = 1; k <= 8; ++k) {
            std::complex<double> sum = 0;
            for (int j = 0; j < 100; ++j) sum += raw.points[j].y() * std::polar(1.0, -2 * M_PI * j * k / 100);
            lo = std::min(lo, std::abs(sum));
            hi = std::max(hi, std::abs(sum));
        }
        QVERIFY(std::fabs(pane.coord.realY0 - lo) < 1e-7 * hi);
        QVERIFY(std::fabs(pane.coord.realY1 - hi) < 1e-7 * hi);
        // Too few images for a scale: the axis keeps a plain 0 .. 1.
        Spectrum few;
        for (int i = 0; i < 25; ++i) few.append(i, i);
        pane.setRawSpectrum(few);
        paint(pane);
        QCOMPARE(QPointF(pane.coord.realX0, pane.coord.realX1), QPointF(0, 2));
        QCOMPARE(QPointF(pane.coord.realY0, pane.coord.realY1), QPointF(0, 1));
    }

    void saveDataFileLayout()
    {
        QTemporaryDir dir;
        SpecPane pane;
        XafsSpectrum cur;
        for (const QPointF& p : {QPointF(8990, 1.5), QPointF(9000, 2.25), QPointF(9010.5, 3)}) cur.append(p);
        cur.doubleNormalizedPreBaseCurve.append(8990, 0.1);
        cur.doubleNormalizedPreBaseCurve.append(9000, -0.25);
        cur.energyOffset = 0.5;
        cur.midx = 9000.25;
        cur.dMut = 0.123456789;
        cur.pre.c0 = 1;
        cur.pre.k = 0.0001;
        cur.post.c0 = 2;
        cur.post.k = -0.5;
        cur.post.c1 = 3;
        cur.post.c2 = 1e-7;
        pane.setXafsSpectrum(cur);
        XafsSpectrum other(cur);
        other.energyOffset = 100;
        // An entry switched off writes no file; the numbers follow positions.
        XafsSpectrum off(other);
        off.kind = false;
        pane.others = {off, other};
        pane.saveData(dir.filePath("s.dat"));

        const QByteArray header = "###Corvenlith::XafsSpectrum\n"
                                  "# midx    : 9000.25\n"
                                  "# dMut    : 0.123457\n"
                                  "# pre   vic : 1 0.0001 0 0\n"
                                  "# poste vic : 2 -0.5 3 1e-07\n"
                                  "#\n"
                                  "# x  double-normalized-pre-base y pre post\n";
        // x less the offset only in the current's file; a missing
        // double-normalised value is 0; the lines at the stored energies.
        QCOMPARE(ts::readAll(dir.filePath("s-T.dat")), header
                     + "8989.5\t0.1\t1.5\t1.899\t-4493\n"
                       "8999.5\t-0.25\t2.25\t1.9\t-4498\n"
                       "9010\t0\t3\t1.90105\t-4503.25\n");
        QCOMPARE(ts::readLines(dir.filePath("s-other1.dat")).value(7), QString("8990\t0.1\t1.5\t1.899\t-4493"));
        QVERIFY(!QFile::exists(dir.filePath("s-other0.dat")));
    }

    // Every plot mode painted and driven by the mouse, the same points as the
    // raw series too, with element rows that are not energies.
    void degenerateSpectraPaint_data()
    {
        QTest::addColumn<QVector<QPointF>>("points");
        QVector<QPointF> nine;  // no Fourier bin at all
        for (int i = 0; i < 9; ++i) nine << QPointF(8900 + i, i);
        QTest::newRow("empty") << QVector<QPointF>{};
        QTest::newRow("flat") << QVector<QPointF>{{8900, 1}, {9000, 1}, {9100, 1}};
        QTest::newRow("one energy") << QVector<QPointF>{{8900, 1}, {8900, 2}, {8900, 3}, {8900, 4}};
        QTest::newRow("not numbers") << QVector<QPointF>{{8900, qQNaN()}, {9000, 1}, {9100, qInf()}, {9200, -qInf()}};
        QTest::newRow("huge energies") << QVector<QPointF>{{-1e300, 0}, {0, 1}, {1e300, 2}};
        QTest::newRow("huge values") << QVector<QPointF>{{8900, 1e308}, {9000, -1e308}, {9100, 1e308}};
        QTest::newRow("nine") << nine;
    }
    void degenerateSpectraPaint()
    {
        QFETCH(QVector<QPointF>, points);
        SpecPane pane;
        showPane(pane);
        pane.markerEnergy = 1e300;
        pane.elemRows = [] { return QVector<ElemRowInfo>{{"abc", "X"}, {"1e308", "Y"}, {"nan", "Z"}, {"-inf", ""}}; };
        Spectrum s;
        for (const QPointF& p : points) s.append(p);
        pane.setXafsSpectrum(XafsSpectrum(s, "x", 1, 0, SuggestElm()));
        const XafsSpectrum other(s, "o", 0, 0, SuggestElm());
        pane.others = {other};
        pane.reference = other;
        pane.setRawSpectrum(s);
        DispA* xafs = pane.ui.Xafs;
        for (int mode = 0; mode < 4; ++mode) {
            pane.setNormalize(mode == 1);
            pane.ui.ShowRaw->setChecked(mode >= 2);
            pane.ui.ShowFFT->setChecked(mode == 3);
            QVERIFY(!paint(pane).isNull());
            move(xafs, plotMiddle);
            wheel(xafs, plotMiddle, QPoint(0, 120));
            wheel(xafs, plotMiddle, QPoint(0, -120));
            drag(xafs, plotMiddle, plotMiddle + QPointF(40, -100));
            QVERIFY(!paint(pane).isNull() && std::isfinite(pane.xMin) && std::isfinite(pane.xMax));
        }
        // Squeezed to nothing, it still paints and zooms to finite numbers.
        xafs->setFixedSize(1, 1);
        pane.ui.ShowRaw->setChecked(false);
        QVERIFY(!paint(pane).isNull());
        wheel(xafs, QPointF(0, 0), QPoint(0, 120));
        QVERIFY(std::isfinite(pane.xMin) && std::isfinite(pane.xMax));
        // A view never shown paints as well.
        SpecPane hidden;
        hidden.setXafsSpectrum(XafsSpectrum(s, "x", 1, 0, SuggestElm()));
        QVERIFY(!hidden.ui.Xafs->grab().isNull());
    }

    // Each dialog opens where the data root is when it is made.
    void groupMovesTheOthers()
    {
        DataRoot = dirA;
        FDGroup g;
        _FileDialog a, b;
        auto* gone = new _FileDialog;
        DataRoot = dirB;
        SelectImgDialog later;
        QCOMPARE(dirOf(&later), dirB);
        for (QFileDialog* d : std::initializer_list<QFileDialog*>{&a, gone, &b}) g.addDialog(d);
        g.addDialog(&a);  // twice: once only
        delete gone;      // a dialog closed for good
        emit a.directoryEntered(dirB);
        QCOMPARE(dirOf(&b), dirB);
        QCOMPARE(dirOf(&a), dirA);  // the sender is left alone
        QCOMPARE(g.dialogs.size(), 2);
        // An empty directory does not send them to the working directory.
        emit b.directoryEntered(QString());
        QCOMPARE(dirOf(&a), dirA);
        // A highlighted file moves the others to its real folder; one that
        // does not exist moves nothing.
        b.setDirectory(dirA);
        emit a.currentChanged(dirA + "/../b/mu.dat");
        QCOMPARE(b.directory().absolutePath(), dirB);
        emit b.currentChanged(tmp.filePath("missing/x.dat"));
        QCOMPARE(dirOf(&a), dirA);
    }

    // A dialog not shown is not built (each built one starts a folder-watching thread and rewrites the user's
    // dialog settings when it goes); what was set before, and where its group went, hold once it is shown.
    void lazyDialogKeepsWhatWasSet()
    {
        DataRoot = dirA;
        FDGroup g;
        _FileDialog shown;
        LazyFileDialog lazy([](_FileDialog& d) { d.setAcceptMode(QFileDialog::AcceptSave); },
                            [] { return new SelectImgDialog(QStringLiteral("images")); });
        QSignalSpy chosen(&lazy, SIGNAL(fileSelected(QString)));
        lazy.setNameFilters({"Maps (*.emp)", "Any Files (* *.*)"});
        g.addDialog(&shown);
        g.addDialog(&lazy);
        emit shown.directoryEntered(dirB);
        QVERIFY(!lazy.isBuilt());
        // Shown: as made, then shaped, then in the group's folder, and in the group from now on.
        lazy.show();
        QVERIFY(lazy.isBuilt());
        _FileDialog* d = lazy.dialog();
        QVERIFY(qobject_cast<SelectImgDialog*>(d));
        QCOMPARE(d->windowTitle(), QString("images"));
        QCOMPARE(d->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(d->nameFilters(), QStringList({"Maps (*.emp)", "Any Files (* *.*)"}));
        QCOMPARE(dirOf(d), dirB);
        emit d->directoryEntered(dirA);
        QCOMPARE(dirOf(&shown), dirA);
        emit d->fileSelected(fileInB);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen[0][0].toString(), fileInB);
        d->hide();
    }

    void selectorFollowsTheFile()
    {
        XafsFileSelect s;
        QSignalSpy files(&s, SIGNAL(newFile(QString)));
        const QString roundabout = dirA + "/../b/mu.dat";
        s.dialog->setDirectory(dirA);
        s.load(roundabout);
        QCOMPARE(files[0][0].toString(), roundabout);
        QVERIFY(!s.dialog->isBuilt());
        QCOMPARE(s.dialog->dialog()->directory().absolutePath(), dirB);
        // A name without a folder is passed on as given; the dialog stays.
        s.load(tmp.filePath("nowhere/none.dat"));
        QCOMPARE(files[1][0].toString(), tmp.filePath("nowhere/none.dat"));
        QCOMPARE(s.dialog->dialog()->directory().absolutePath(), dirB);
        // Chosen in the dialog, as its Open button does.
        s.dialog->show();
        s.dialog->dialog()->selectFile(fileInB);
        static_cast<QDialog*>(s.dialog->dialog())->accept();
        QCOMPARE(files.count(), 3);
        QCOMPARE(canon(s.Selected->text()), fileInB);
    }

    // A label or field that reserves room for its widest value is as wide at
    // the window's smallest whatever it shows, and shows that widest value
    // whole: the window does not change size as the cursor moves.
    void reservedWidthStays_data()
    {
        QTest::addColumn<bool>("field");
        QTest::addColumn<QString>("widest");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("value") << false << "-8.888e+08" << QStringList{"0", "-8.888e+08", "1.23e-05", "", "-8.888e+08"};
        QTest::newRow("position") << false << "(8888, 8888)" << QStringList{"(   3,    8)", "(8888, 8888)", "-"};
        QTest::newRow("count field") << true << "8888" << QStringList{"1", "8888", "", "8888"};
    }
    void reservedWidthStays()
    {
        QFETCH(bool, field);
        QFETCH(QString, widest);
        QFETCH(QStringList, values);
        QWidget w;
        auto* row = new QHBoxLayout(&w);
        auto* label = field ? nullptr : new QLabel;
        auto* edit = field ? new QLineEdit : nullptr;
        QWidget* v = field ? static_cast<QWidget*>(edit) : label;
        if (label) label->setFrameStyle(QFrame::Panel | QFrame::Sunken), label->setMargin(3);
        row->addWidget(new QLabel("Value:"));
        row->addWidget(v);
        reserveWidth(v, widest);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        int width = -1, windowWidth = -1;
        for (const QString& t : values) {
            label ? label->setText(t) : edit->setText(t);
            w.resize(w.minimumSizeHint());
            row->activate();
            if (width < 0) width = v->width(), windowWidth = w.width();
            QVERIFY2(v->width() == width && w.width() == windowWidth, qPrintable(t));
            if (label)
                QVERIFY2(label->fontMetrics().horizontalAdvance(t) <= label->contentsRect().width() - 2 * label->margin(), qPrintable(t));
            else
                QCOMPARE(ts::shownText(edit), t);
        }
    }

    // A field holding a file path keeps its end, the file name, in view (the
    // whole path its tip); a field holding a number shows its beginning (a
    // number cut at the front reads as another). Each narrower than its text.
    void fieldsShowTheRightEnd_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        const QString deep = "/beamtime/2024_0530/operando_cell_3/Cu_K_edge/references/measured_in_transmission/";
        QTest::newRow("spectrum file") << "selector" << deep + "Cu_foil_ref.dat";
        QTest::newRow("reference list") << "reference" << "angles_of_the_scan.dat";
        QTest::newRow("stack file") << "stack" << deep + "i1_08979_0000.tif";
        QTest::newRow("stack file, short") << "stack" << "/d/i1.tif";
        QTest::newRow("number") << "number" << "-0.000422222123456";
    }
    void fieldsShowTheRightEnd()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QString seen;
        bool fits = true;
        auto shown = [](QWidget* w) { w->show(); return QTest::qWaitForWindowExposed(w); };
        if (kind == "selector") {
            XafsFileSelect f;
            f.setFixedWidth(260);
            QVERIFY(shown(&f));
            f.load(text);
            seen = ts::shownText(f.Selected);
        } else if (kind == "reference") {
            // Named by the panel's own read of the file, in a folder deep enough to outrun the field.
            const QString sub = "a_folder_of_reference_lists_for_the_scan_of_the_night/";
            QVERIFY(QDir(tmp.path()).mkpath(sub + sub + sub));
            text = tmp.filePath(sub + sub + sub + text);
            QVERIFY(ts::writeText(text, "angles\n14.5\n14.6\n"));
            SelectDataFiles s;
            QVERIFY(shown(s.eofSetup()));
            s.setEngByRef(text);
            QCOMPARE(s.eofSetup()->RefFilePath->text(), text);
            seen = ts::shownText(s.eofSetup()->RefFilePath);
        } else if (kind == "stack") {
            SelectDataFiles s;
            s.resize(s.minimumSizeHint());  // the list as narrow as the main window has it
            QVERIFY(shown(&s));
            s.addFile("/d/first.tif", 0, 2);
            s.addFile(text, 1, 2);
            s.select(1);
            ts::ComboLabelSpy spy;
            seen = ts::shownText(s.Selected, spy, &fits);
            QCOMPARE(s.Selected->toolTip(), text);
            s.Selected->setStyle(nullptr);
        } else {
            QWidget w;
            auto* e = new QLineEdit(&w);
            e->setFixedWidth(80);
            auto* other = new QLineEdit(&w);  // a field being edited keeps its cursor: the focus is elsewhere
            other->move(0, 40);
            showNumberStarts(&w);
            QVERIFY(shown(&w));
            other->setFocus();
            e->setText(text);
            seen = ts::shownText(e);
        }
        QVERIFY2(fits, qPrintable(seen));
        if (seen.startsWith(QChar(0x2026))) seen = seen.mid(1);  // an ellipsis
        QVERIFY2(seen.size() >= std::min(int(text.size()), 6), qPrintable(seen));
        if (kind == "number")
            QVERIFY2(text.startsWith(seen) && seen != text, qPrintable(seen));
        else
            QVERIFY2(text.endsWith(seen) && (seen.size() == text.size() || seen.size() < text.size() - 10), qPrintable(seen));
    }
};

QTEST_MAIN(TstWidgets)
#include "tst_widgets.moc"
