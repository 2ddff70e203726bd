// Box spectra, profiles and dark areas, bare and through the main window's
// fields (the cursor spectrum, the dark image and dark areas, total I0,
// steps through the stacks). Every expected value is summed from the
// detector's formulas, not from the frames.
#include "batch/BatchOnBody.h"
#include "mainwindow/Body.h"
#include "mainwindow/BoxSpectrum.h"
#include "mainwindow/CrossSection.h"
#include "mainwindow/SelectDataFiles.h"
#include "widgets/SpecPane.h"

#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "support/Batch.h"
#include "support/BodyStack.h"
#include "support/Detector.h"
#include "support/Files.h"
#include "support/Maps.h"
#include "support/WidgetEvents.h"

#include <QtTest>

#include <memory>

namespace {

using namespace det;

double i1Energy(int k) { return 7080.0 + 3.0 * k; }

// I1 on 24 energies, I0 on a coarser grid given in descending order, both
// with the detector dark, and a dark image.
struct Stacks
{
    ts::Stack i1, i0;
    std::unique_ptr<TiffData> dark{darkFrame()};

    Stacks()
    {
        for (int k = 0; k < 24; ++k) i1.add(i1Frame(i1Energy(k)));
        for (int k = 14; k >= 0; --k) i0.add(i0Frame(7070.0 + 7.0 * k));
    }
    // The image size, the dark image and the three exposures.
    BoxSpectrumConds conds() const { return {W, H, dark.get(), TD, T1, T0}; }
};


// The detector's measurement, I0 in descending energies; the selectors
// list the files.
void load(Body& b)
{
    for (int k = 0; k < 12; ++k) {
        b.i1Images.append(i1Frame(7090.0 + 4.0 * k));
        b.SelectI1Files->Selected->addItem(b.i1Images.last()->file);
    }
    for (int k = 7; k >= 0; --k) {
        b.i0Images.append(i0Frame(7080.0 + 10.0 * k));
        b.SelectI0Files->Selected->addItem(b.i0Images.last()->file);
    }
    b.darkImage = darkFrame();
    b.DarkExpTime->setText(QString::number(TD));
    b.SelectI1Files->ExpTime->setText(QString::number(T1));
    b.SelectI0Files->ExpTime->setText(QString::number(T0));
    b.imageWidth = W;
    b.imageHeight = H;
    b.SeekBar->setMaximum(11);
}

// A 100 x 90 stack in a window of the given size, shown.
bool showStack(Body& b, const QSize& window)
{
    ts::StackSpec spec;
    spec.w = 100;
    spec.h = 90;
    spec.n = 3;
    ts::loadStack(b, spec);
    b.resize(window);
    b.show();
    return QTest::qWaitForWindowExposed(&b);
}

}  // namespace

class TstBoxSpectrum : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initGlobals(); }

    // The dark image is scaled to each stack's exposure, and I0 is
    // interpolated to each I1 energy although its stack is in descending
    // order. Outside the image the spectrum is empty.
    void xafs_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::addColumn<QString>("mode");
        QTest::newRow("box over the corner") << 1 << 2 << 4 << 6 << "I0 stack";
        QTest::newRow("single pixel") << 39 << 29 << 0 << 0 << "I0 stack";
        QTest::newRow("no I0: the box's pixel count") << 20 << 15 << -10 << 10 << "no I0";
        QTest::newRow("no I0 over the edge") << 38 << 15 << 3 << 1 << "no I0";
        QTest::newRow("fluorescence") << 12 << 9 << 3 << 2 << "fluorescence";
        QTest::newRow("total I0, shorter than the stack") << 20 << 15 << 1 << 1 << "total I0";
        QTest::newRow("empty total I0 is none") << 20 << 15 << 1 << 1 << "empty total I0";
        QTest::newRow("left of the image") << -1 << 5 << 1 << 1 << "outside";
        QTest::newRow("right of the image") << W << 5 << 1 << 1 << "outside";
        QTest::newRow("below the image") << 5 << H << 1 << 1 << "outside";
    }
    void xafs()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, dx);
        QFETCH(int, dy);
        QFETCH(QString, mode);
        Stacks s;
        BoxSpectrumConds c = s.conds();
        Spectrum total, empty;
        for (int k = 0; k < 20; ++k) total.append(7000 + k, 1e6 * (1 + 0.01 * k));
        c.useI0 = mode != "no I0";
        c.fluorescence = mode == "fluorescence";
        if (mode == "total I0") c.totalI0 = &total;
        if (mode == "empty total I0") c.totalI0 = &empty;

        const Spectrum sp = BoxSpectrum::xafs(s.i1.frames, s.i0.frames, x, y, dx, dy, c);
        QCOMPARE(sp.size(), mode == "outside" ? 0 : 24);
        for (int k = 0; k < sp.size(); ++k) {
            const double e = i1Energy(k);
            const double i1 = boxSum(x, y, dx, dy, [&](int xx, int yy) { return i1Counts(xx, yy, e); });
            double i0 = boxSum(x, y, dx, dy, [&](int xx, int yy) { return beam(xx, yy, e) * T0; });
            if (mode == "no I0") i0 = (2 * std::abs(dx) + 1) * (2 * std::abs(dy) + 1);
            // Past the file's points I0 is 0, which gives 1.0.
            if (mode == "total I0") i0 = k < 20 ? total.yAt(k) : 0.0;
            const double want = c.fluorescence ? i1 / i0 : (i0 > 0 ? std::log(i0 / i1) : 1.0);
            QCOMPARE(sp.xAt(k), e);
            QVERIFY2(std::abs(sp.yAt(k) - want) < 1e-4 * std::max(1.0, std::abs(want)), qPrintable(QString::number(e)));
        }
    }

    void unusableInputs()
    {
        // A dark exposure that cannot scale the dark leaves the dark out.
        Stacks s;
        BoxSpectrumConds c = s.conds();
        c.dark = nullptr;
        const Spectrum noDark = BoxSpectrum::xafs(s.i1.frames, s.i0.frames, 20, 15, 2, 2, c);
        c.dark = s.dark.get();
        for (double tD : {0.0, -5.0, qQNaN()}) {
            c.darkExpTime = tD;
            QCOMPARE(BoxSpectrum::xafs(s.i1.frames, s.i0.frames, 20, 15, 2, 2, c).points, noDark.points);
        }
        QVERIFY(BoxSpectrum::xafs({}, s.i0.frames, 5, 5, 1, 1, c).isEmpty());
        QVERIFY(BoxSpectrum::raw(s.i1.frames, 5, -1, 1, 1, W, H).isEmpty());

        // Zero I0: fluorescence gives 0, transmission 1.0.
        ts::Stack zero;
        for (int k = 0; k < 2; ++k) zero.add(frame(7080 + 40 * k, [](int, int) { return 0.0; }));
        for (bool fluorescence : {true, false}) {
            c.fluorescence = fluorescence;
            for (const QPointF& p : BoxSpectrum::xafs(s.i1.frames, zero.frames, 3, 3, 1, 1, c).points)
                QCOMPARE(p.y(), fluorescence ? 0.0 : 1.0);
        }
    }

    void darkAreas()
    {
        // No dark image: each stack's dark level comes from its dark area,
        // where the beam is blocked, and drifts from frame to frame. The I0
        // stack is shorter: past its end no I0 dark-area value exists.
        const QRect area(30, 0, 6, 4);  // 6 x 4 pixels from (30, 0)
        auto open = [&](int x, int y) { return area.contains(x, y) ? 0.0 : 1.0; };
        ts::Stack i1, i0;
        for (int k = 0; k < 24; ++k) {
            const double e = i1Energy(k);
            i1.add(frame(e, [=](int x, int y) { return open(x, y) * i1Counts(x, y, e) + 40 + 3.0 * k; }));
        }
        for (int k = 0; k < 10; ++k) {
            const double e = 7070.0 + 8.0 * k;
            i0.add(frame(e, [=](int x, int y) { return open(x, y) * beam(x, y, e) * T1 + 7; }));
        }
        QVector<double> v1, v0;
        BoxSpectrum::appendDarkAreaValues(v1, i1.frames, area, nullptr);
        BoxSpectrum::appendDarkAreaValues(v0, i0.frames, area, nullptr);
        BoxSpectrumConds c;
        c.imageWidth = W;
        c.imageHeight = H;
        c.i1DarkAreaValues = &v1;
        c.i0DarkAreaValues = &v0;
        const Spectrum sp = BoxSpectrum::xafs(i1.frames, i0.frames, 10, 12, 4, 4, c);
        QCOMPARE(sp.size(), 24);
        for (int k = 0; k < 24; ++k) {
            const double e = i1Energy(k);
            // Past the I0 stack's length its offset (7 in each of 81 pixels)
            // is no longer taken off; past its energies its last frame holds.
            const double i0 = boxSum(10, 12, 4, 4, [&](int xx, int yy) { return beam(xx, yy, std::min(e, 7142.0)) * T1; }) + 7 * 81;
            const double want = k < 10 ? mu(e) : std::log(i0 / boxSum(10, 12, 4, 4, [&](int xx, int yy) { return i1Counts(xx, yy, e); }));
            QVERIFY2(std::abs(sp.yAt(k) - want) < 1e-4, qPrintable(QString::number(k)));
        }

        // Values already there are kept; the rest are measured less the dark
        // image's mean over the area (10 + x + y there: 44).
        std::unique_ptr<TiffData> dark(frame(0, [](int x, int y) { return 10.0 + x + y; }));
        v1.resize(5);
        v1[0] = 1234;
        BoxSpectrum::appendDarkAreaValues(v1, i1.frames, area, dark.get());
        QCOMPARE(v1.size(), 24);
        QCOMPARE(v1[0], 1234.0);
        for (int k = 5; k < 24; ++k) QVERIFY(std::abs(v1[k] - (40 + 3.0 * k - 44)) < 1e-9);
        QVERIFY(!BoxSpectrum::appendDarkAreaValues(v0, i1.frames, QRect(), nullptr));
        QCOMPARE(v0.size(), 10);
    }

    void energyShiftFromTheMap()
    {
        Analyzed2DRes map("a2d esm");
        QCOMPARE(BoxSpectrum::energyShift(map, 0, 0, false), 0.0);  // no map
        ts::fillMap(map, 6, 4, [](int x, int y) { return x + 10.0 * y; });
        map.fit.a = 0.5;
        map.fit.e = -2;
        map.fit.f = 3;
        QCOMPARE(BoxSpectrum::energyShift(map, 5, 3, false), 35.0);
        QCOMPARE(BoxSpectrum::energyShift(map, 5, 3, true), 0.5 * 25 - 2 * 3 + 3);
        QCOMPARE(BoxSpectrum::energyShift(map, 6, 3, true), 0.0);
    }

    // Profiles take no dark off; I0 is linear in energy, so its
    // interpolation is exact. Off the image they are empty.
    void profiles_data()
    {
        QTest::addColumn<bool>("alongX");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::addColumn<QString>("kind");
        QTest::newRow("raw along y at the edge") << false << 38 << 1 << 4 << "raw";
        QTest::newRow("mu along x") << true << 10 << 1 << 1 << "mu";
        QTest::newRow("fluorescence along y") << false << 3 << 1 << 1 << "fluorescence";
        QTest::newRow("below the image") << true << H << 1 << 1 << "raw";
        QTest::newRow("right of the image") << false << W << 1 << 1 << "raw";
    }
    void profiles()
    {
        QFETCH(bool, alongX);
        QFETCH(int, line);
        QFETCH(int, dx);
        QFETCH(int, dy);
        QFETCH(QString, kind);
        Stacks s;
        const TiffData* img = s.i1[7];
        const double e = img->energy;
        const CrossSection::Conds c{W, H, kind != "raw", kind == "fluorescence"};
        QVERIFY(CrossSection::alongY(nullptr, s.i0.frames, 3, 1, 1, c).isEmpty());
        const Spectrum p = alongX ? CrossSection::alongX(img, s.i0.frames, line, dx, dy, c)
                                  : CrossSection::alongY(img, s.i0.frames, line, dx, dy, c);
        QCOMPARE(p.size(), line < 0 || line >= (alongX ? H : W) ? 0 : alongX ? W : H);
        for (int i = 0; i < p.size(); ++i) {
            const int x = alongX ? i : line;
            const int y = alongX ? line : i;
            const double i1 = boxSum(x, y, dx, dy, [&](int xx, int yy) { return i1Counts(xx, yy, e) + darkRate(xx, yy) * T1; });
            const double i0 = boxSum(x, y, dx, dy, [&](int xx, int yy) { return (beam(xx, yy, e) + darkRate(xx, yy)) * T0; });
            const double want = kind == "raw" ? i1 : c.fluorescence ? i1 / i0 : std::log(i0 / i1);
            QCOMPARE(p.xAt(i), double(i));
            QVERIFY2(std::abs(p.yAt(i) - want) < 1e-6 * std::max(1.0, std::abs(want)), qPrintable(QString::number(i)));
        }
    }

    void cursorSpectrumFollowsTheMouseAndTheFiles()
    {
        Body b;
        load(b);
        b.HWidth->setText("2");
        b.VWidth->setText("3");
        b.SelectI0Files->setShowLatest(false);
        b.SelectI1Files->setShowLatest(false);
        b.SelectI1Files->Selected->setCurrentIndex(6);
        b.showData(6);
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        b.dispA->repaint();  // sets the image-to-screen frame
        const ChCoord& cc = b.dispA->coord;
        WidgetEvents::move(b.dispA, QPoint(int(cc.r2sx(12.5)), int(cc.r2sy(7.5))));
        QCOMPARE(QPoint(b.cursorX, b.cursorY), QPoint(12, 7));
        QCOMPARE(b.specWindow->current.points, b.makeXafsSpectrum(12, 7, 2, 3).points);

        // Steps through either stack; past the I0 stack: no marker, nothing new shown.
        b.next();
        QCOMPARE(b.dispA->image, b.i1Images[7]);
        b.ShowI0->setChecked(true);
        b.SelectI0Files->Selected->setCurrentIndex(2);
        b.dispImgSelected(true);
        b.sliderMoved(10);
        QCOMPARE(b.specWindow->markerEnergy, -1.0);
        QCOMPARE(b.dispA->image, b.i0Images[2]);

        b.HWidth->setText("10");
        b.VWidth->setText("-10");
        b.showXafsSpectrum(20.9, 15.2);
        // Each stack's exposure, the dark and the I0 order come from the window.
        const XafsSpectrum& shown = b.specWindow->current;
        QCOMPARE(shown.size(), 12);
        for (int k = 0; k < shown.size(); ++k) {
            const double e = 7090.0 + 4.0 * k;
            QCOMPARE(shown.xAt(k), e);
            QVERIFY(std::abs(shown.yAt(k) - (mu(e) + std::log(T0 / T1))) < 1e-4);
        }
        QCOMPARE(b.makeXafsSpectrumInRect(2, 4, 7, 9).points, b.makeXafsSpectrum(4, 6, 3, 3).points);

        // Outside the image the spectrum is empty.
        b.showXafsSpectrum(-3, 4);
        QVERIFY(b.specWindow->current.isEmpty());
        b.showXafsSpectrum(qInf(), qQNaN());
        QCOMPARE(QPoint(b.cursorX, b.cursorY), QPoint(0, 0));

        // A monochromator-angle file carries I0: it replaces the I0 stack,
        // point by point of the I1 stack; clearing the selector forgets it.
        QTemporaryDir dir;
        const Spectrum before = b.makeXafsSpectrum(20, 15, 3, 3);
        QByteArray angles = "9809 test\nD= 3.13553\nOffset 0 0 0 0\n";
        for (int k = 0; k < 8; ++k) angles += "1 " + QByteArray::number(12.8 - 0.01 * k) + " 0 1000000 5000\n";
        QVERIFY(ts::writeFile(dir.filePath("i0.9809"), angles));
        b.newTotalI0ofI1File(dir.filePath("i0.9809"));
        const double i1 = boxSum(20, 15, 3, 3, [](int x, int y) { return i1Counts(x, y, 7090); });
        QVERIFY(std::abs(b.makeXafsSpectrum(20, 15, 3, 3).yAt(0) - std::log(1e6 / i1)) < 1e-6);
        b.TotalI0ofI1XAFS->cleared();
        QCOMPARE(b.makeXafsSpectrum(20, 15, 3, 3).points, before.points);
    }

    // A position given in image pixels selects that pixel at any scale and window
    // size, for the cursor and the profiles' markers; the profiles line up.
    void givenPositionSelectsThatPixel_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QRectF>("view");
        QTest::newRow("whole image") << QSize(1000, 900) << QRectF(0, 0, 100, 90);
        QTest::newRow("zoomed 1.7 off the origin") << QSize(1200, 1100) << QRectF(17.3, 28.9, 100 / 1.7, 90 / 1.7);
        QTest::newRow("zoomed out") << QSize(900, 800) << QRectF(-700.5, -600.25, 1700, 1500);
    }
    void givenPositionSelectsThatPixel()
    {
        QFETCH(QSize, window);
        QFETCH(QRectF, view);
        Body b;
        QVERIFY(showStack(b, window));
        b.dispA->viewWindow = view;
        b.dispA->repaint();
        for (const QPoint& at : {QPoint(60, 70), QPoint(0, 0), QPoint(99, 89), QPoint(33, 1)}) {
            b.dispA->setRealMousePos(at.x(), at.y());
            QCOMPARE(QPoint(b.cursorX, b.cursorY), at);
            QCOMPARE(QPoint(b.HCross->markerPos, b.VCross->markerPos), at);
        }
        // Not mirrored, not off under zoom: each row's middle beside it.
        b.HCross->repaint();
        b.VCross->repaint();
        const ChCoord& cc = b.dispA->coord;
        for (int i = 0; i < 90; ++i) {
            const QPoint s = b.dispA->mapToGlobal(QPointF(cc.r2sx(i + 0.5), cc.r2sy(i + 0.5)).toPoint());
            QVERIFY(std::abs(b.HCross->screenOfPosition(i) - b.HCross->mapFromGlobal(s).x()) <= 1.0);
            QVERIFY(std::abs(b.VCross->screenOfPosition(i) - b.VCross->mapFromGlobal(s).y()) <= 1.0);
        }
    }

    // The same through a script run, zoomed to a window no whole scale fits; a
    // wheel turn right after (no paint between) zooms about that position, not the pointer.
    void scriptedPositionSelectsThatPixel()
    {
        QTemporaryDir tmp;
        QVERIFY(ts::initBatchRun(tmp));
        installBatchOnBody();
        Body b;
        QVERIFY(showStack(b, QSize(1000, 1000)));
        WidgetEvents::move(b.dispA, QPointF(5, 5));
        QVERIFY(ts::runScript(BatchOnBody::of(b)->batchCtrl(), "select_region 13 17 71 61\nzoom_in\nmove_position 40 30"));
        const QRectF view(13, 17, 58, 44);
        QCOMPARE(b.dispA->viewWindow, view);
        QCOMPARE(QPoint(b.cursorX, b.cursorY), QPoint(40, 30));
        const QPointF at((40 - view.x()) / view.width(), (30 - view.y()) / view.height());  // as a share of the widget
        WidgetEvents::wheel(b.dispA, QPointF(5, 5), QPoint(0, 120));
        const QRectF& now = b.dispA->viewWindow;
        QVERIFY(std::fabs(now.width() * 1.1 - view.width()) < 1e-9 && std::fabs(now.height() * 1.1 - view.height()) < 1e-9);
        QVERIFY(QLineF(now.topLeft() + QPointF(at.x() * now.width(), at.y() * now.height()), QPointF(40, 30)).length() < 1e-9);
        QCOMPARE(QPoint(b.cursorX, b.cursorY), QPoint(40, 30));
    }

    // Typed with real keys: a minus or digit that cannot lead into the range is
    // refused, a number past an end brought to it on Enter and said; the box uses it.
    void typedExtremesAreBounded_data()
    {
        QTest::addColumn<QString>("field");  // "I1:" or "I0:" for the stack dialogs'
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("said");
        QTest::newRow("half width past the largest frame") << "HWidth" << "70000" << "65535"
                                                            << "xw: 70000 clipped to 65535 (-65535 to 65535)";
        QTest::newRow("half width of INT_MIN") << "HWidth" << "-2147483648" << "-21474" << "";
        QTest::newRow("half height") << "VWidth" << "99999" << "65535" << "yw: 99999 clipped to 65535 (-65535 to 65535)";
        QTest::newRow("within range") << "VWidth" << "7" << "7" << "";
        QTest::newRow("skip of 0") << "I1:Skip" << "0" << "1" << "I1 Data Skip: 0 clipped to 1 (1 to 2147483647)";
        QTest::newRow("negative cut") << "I0:CutFirst" << "-5" << "5" << "";
        QTest::newRow("cut past int") << "I1:CutLast" << "9999999999" << "2147483647"
                                      << "I1 Data Cut L.: 9999999999 clipped to 2147483647 (0 to 2147483647)";
    }
    void typedExtremesAreBounded()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        Body b;
        QVERIFY(showStack(b, QSize(800, 700)));
        QWidget* root = field.startsWith("I1:") ? b.SelectI1Files : field.startsWith("I0:") ? b.SelectI0Files : static_cast<QWidget*>(&b);
        auto* e = root->findChild<QLineEdit*>(field.section(':', -1));
        QVERIFY(e);
        e->clear();
        QTest::keyClicks(e, typed);
        QTest::keyClick(e, Qt::Key_Return);
        QTEST(e->text(), "kept");
        QTEST(b.statusBar()->currentMessage(), "said");
        // The drawn box and the cursor spectrum take the field's value (INT_MIN once overflowed both).
        b.dispA->setRealMousePos(50, 40);
        b.dispA->repaint();
        // A negative half width is its magnitude.
        const int hw = std::abs(b.HWidth->text().toInt()), vw = std::abs(b.VWidth->text().toInt());
        QCOMPARE(QPoint(b.boxHalfWidth(), b.boxHalfHeight()), QPoint(hw, vw));
        QCOMPARE(b.specWindow->current.points, b.makeXafsSpectrum(50, 40, hw, vw).points);
    }

    // Each Clear stops its file's use: the cursor spectrum takes the I0 stack again.
    void clearButtonsStopTheirFiles()
    {
        QTemporaryDir dir;
        Body b;
        load(b);
        QByteArray angles = "9809 test\nD= 3.13553\nOffset 0 0 0 0\n";
        for (int k = 0; k < 8; ++k) angles += "1 " + QByteArray::number(12.8 - 0.01 * k) + " 0 1000000 5000\n";
        QVERIFY(ts::writeFile(dir.filePath("i0.9809"), angles));
        b.showXafsSpectrum(20, 15);
        const QVector<QPointF> withStack = b.specWindow->current.points;
        for (XafsFileSelect* s : {b.TotalI0ofI1XAFS, b.TotalI0ofI0XAFS, &b.bgSelect}) s->load(dir.filePath("i0.9809"));
        b.showXafsSpectrum(20, 15);
        QVERIFY(b.totalI0OfI0Supplied && b.bgOn && b.specWindow->current.points != withStack);
        for (XafsFileSelect* s : {b.TotalI0ofI0XAFS, &b.bgSelect, b.TotalI0ofI1XAFS}) QTest::mouseClick(s->Clear, Qt::LeftButton);
        QVERIFY(!b.totalI0OfI0Supplied);
        QVERIFY(!b.bgOn);
        QCOMPARE(b.specWindow->current.points, withStack);
    }

    // A dark area is taken from the selection, which then goes back to the
    // one before; with none before, no selection is left to be taken for the
    // other stack's dark area by mistake.
    void darkAreasFromTheSelection_data()
    {
        QTest::addColumn<bool>("selectedBefore");
        QTest::addColumn<bool>("selectAgain");
        QTest::addColumn<bool>("i0Set");
        QTest::newRow("one selection, both dark areas") << false << false << false;
        QTest::newRow("selected again for I0") << false << true << true;
        QTest::newRow("an area before comes back") << true << false << true;
    }
    void darkAreasFromTheSelection()
    {
        QFETCH(bool, selectedBefore);
        QFETCH(bool, selectAgain);
        QFETCH(bool, i0Set);
        QTemporaryDir dir;
        Body b;
        ts::StackSpec spec;
        // Sample counts above, dark counts in the bottom three rows.
        spec.i1 = [](int, int, int r) { return r >= 6 ? 50.0 : 4000.0; };
        spec.i0 = [](int, int, int r) { return r >= 6 ? 60.0 : 9000.0; };
        ts::loadStack(b, spec);
        b.setI0DarkArea();
        QVERIFY(!b.i0DarkAreaSet);  // no selection yet
        if (selectedBefore) b.dispA->setSelectedArea(2, 1, 9, 4);
        b.dispA->setSelectedArea(0, 6, 11, 8);
        b.SelectI1Files->additionalSetup().SetDA->click();
        QCOMPARE(b.i1DarkAreaValues.value(0), 50.0);
        QCOMPARE(b.dispA->areaValid, selectedBefore);
        if (selectAgain) b.dispA->setSelectedArea(0, 6, 11, 8);
        b.SelectI0Files->additionalSetup().SetDA->click();
        QCOMPARE(b.i0DarkAreaSet, i0Set);
        if (i0Set) QCOMPARE(b.i0DarkAreaValues.value(0), selectAgain ? 60.0 : 9000.0);
        if (i0Set) QCOMPARE(b.SelectI0Files->additionalSetup().DarkArea->text(), QString(selectAgain ? "(0,6)-(11,8)" : "(2,1)-(9,4)"));

        // A dark image (7 counts at 250 ms) fills the exposure field and is
        // taken off the dark-area values; clearing it puts them back.
        const QString dark = dir.filePath("dark.img");
        QVERIFY(ts::writeFile(dark, ts::imBytes(12, 9, [](int, int) { return 7; }, 2, "BytesPerPixel=2,ExposureTime=250 ms")));
        b.selectedDark(dark);
        QCOMPARE(b.DarkExpTime->text(), QString("250"));
        QCOMPARE(b.i1DarkAreaValues.value(0), 43.0);
        b.clearDark();
        QCOMPARE(b.i1DarkAreaValues.value(0), 50.0);
        b.selectedDark(dir.filePath("missing.img"));
        QVERIFY(!b.darkImage);
        b.SelectI1Files->additionalSetup().ClearDA->click();
        QVERIFY(b.i1DarkAreaValues.isEmpty());
    }
};

QTEST_MAIN(TstBoxSpectrum)
#include "tst_boxspectrum.moc"
