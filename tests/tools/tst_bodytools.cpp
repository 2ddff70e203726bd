// The image-alignment panel, the statistics window and the energy-shift map
// files on the main window: the wiring, the frames the panel is given and let
// go of, the statistics glue, and map files saved and read through the window.
#include <QComboBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "core/Analyzed2DRes.h"
#include "core/ExCmdId.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "mainwindow/Body.h"
#include "mainwindow/SelectDataFiles.h"
#include "tools/ToolsOnBody.h"

#include "support/BodyStack.h"
#include "support/Files.h"

namespace {

const int W = 24;
const int H = 18;

// A bright square on every I1 frame, so the panel has edges to find.
void load(Body& b, int n)
{
    ts::StackSpec s;
    s.w = W;
    s.h = H;
    s.n = n;
    s.energy = [](int k) { return 7100.0 + k; };
    s.i1 = [](int k, int c, int r) { return 10 * k + ((c > 6 && c < 14 && r > 5 && r < 12) ? 1000 : 0); };
    s.i0 = [](int, int, int) { return 500.0; };
    ts::loadStack(b, s, false);
}

double shiftAt(int x, int y) { return 0.5 * x - 0.25 * y + 1.0; }

// Shifts in eV over a map of w x h pixels.
void fillMap(Analyzed2DRes& map, int w, int h)
{
    AnalyzeCond g;
    g.set(w, h, 0, 0, 0, 0, w, h, -1, -1);
    map.setCond(g);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) map.setData(x, y, 0, 0, shiftAt(x, y));
}

}  // namespace

class TstBodyTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initGlobals();
        initColorTables();
        installToolsOnBody();
    }

    void wired()
    {
        Body b;
        ToolsOnBody* t = ToolsOnBody::of(b);
        QVERIFY(t && t->allConnected());
        QVERIFY(!t->imgProc.isVisible());
        QTest::mouseClick(b.ShowImgProc, Qt::LeftButton);
        QVERIFY(t->imgProc.isVisible());
        QVERIFY(!t->stats.isVisible());
        QTest::mouseClick(b.ShowStatistics, Qt::LeftButton);
        QVERIFY(t->stats.isVisible());
    }

    // The panel follows the shown frame, of either stack, and is given none
    // before a stack's frames are freed, also while edge detection is off.
    void panelFollowsTheShownFrame()
    {
        Body b;
        ImgProc& p = ToolsOnBody::of(b)->imgProc;
        load(b, 5);
        p.EdgeDetect->setChecked(true);
        b.showData(3);
        QCOMPARE(p.image, b.i1Images[3]);
        QCOMPARE(p.width, W);
        QVERIFY(p.edge);
        b.showData(9);  // outside the stack: nothing changes
        QCOMPARE(p.image, b.i1Images[3]);

        b.ShowI0->setChecked(true);
        b.showData(1);
        QCOMPARE(p.image, b.i0Images[1]);
        b.clearI0Files();
        QCOMPARE(p.image, static_cast<TiffData*>(nullptr));
        QCOMPARE(p.width, 0);

        b.ShowData->setChecked(true);
        b.showData(2);
        QCOMPARE(p.image, b.i1Images[2]);
        p.EdgeDetect->setChecked(false);
        b.clearI1Files();
        QCOMPARE(p.image, static_cast<TiffData*>(nullptr));
        QVERIFY(b.i1Images.isEmpty());
    }

    // The main window's map written and read back; every read answers the
    // command with the map-load id, whatever its outcome.
    void mapFileRoundTrip()
    {
        QTemporaryDir dir;
        Body b;
        ToolsOnBody* t = ToolsOnBody::of(b);
        load(b, 2);
        fillMap(b.shiftMap, W - 4, H - 3);
        b.shiftMapOriginX = 7;
        b.shiftMapOriginY = -3;
        t->stdEdgeEnergy = 8979;
        t->crystalD = 3.13553;
        t->stdFileName = "cu.dat";
        // A grid of another size than the images (a stack loaded since the
        // calibration) would give a file whose rows do not match its header.
        t->calibGrid.set(W - 4, H - 3, 1, 1, 0, 0, W - 4, H - 3, -1, -1);
        QVERIFY(!t->saveEMap(dir.filePath("other")));
        QVERIFY(!QFile::exists(dir.filePath("other.emp")));
        t->calibGrid.set(W, H, 1, 1, 0, 0, W - 4, H - 3, -1, -1);

        // No angle without a spacing: nothing written.
        t->crystalD = 0;
        QVERIFY(!t->saveEMap(dir.filePath("none")));
        QVERIFY(!QFile::exists(dir.filePath("none.emp")));
        t->crystalD = 3.13553;
        QVERIFY(t->saveEMap(dir.filePath("map")));
        QCOMPARE(t->empFileName, dir.filePath("map"));
        const QString file = dir.filePath("map.emp");
        QVERIFY(QFile::exists(file));

        QSignalSpy done(&b, &Body::finishBatchExec);
        fillMap(b.shiftMap, 3, 3);
        b.shiftMapOriginX = b.shiftMapOriginY = 0;
        QVERIFY(t->loadEMap(file));
        QCOMPARE(b.shiftMapOriginX, 7);
        QCOMPARE(b.shiftMapOriginY, -3);
        // Written over the image size, pixels outside the map as 0.
        QCOMPARE(b.shiftMap.width(), W);
        QCOMPARE(b.shiftMap.height(), H);
        QVERIFY(b.shiftMap.hasImage);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const double s = (x < W - 4 && y < H - 3) ? shiftAt(x, y) : 0.0;
                QVERIFY2(std::fabs(b.shiftMap.valueAt(x, y) - s) < 1e-3,
                         qPrintable(QString("%1,%2: %3 vs %4").arg(x).arg(y).arg(b.shiftMap.valueAt(x, y)).arg(s)));
            }
        QCOMPARE(t->calibGrid.width, W);

        // A file that is not there, or not a map: map kept.
        QVERIFY(!t->loadEMap(dir.filePath("missing.emp")));
        QVERIFY(ts::writeFile(dir.filePath("junk.emp"), "hello\n"));
        QVERIFY(!t->loadEMap(dir.filePath("junk.emp")));
        QVERIFY(std::fabs(b.shiftMap.valueAt(2, 1) - shiftAt(2, 1)) < 1e-3);
        QCOMPARE(b.shiftMap.width(), W);

        // With the size check: another image size refuses the map, and the
        // map kept stays where it was; no image size yet adopts the file's.
        t->checkSize = true;
        b.imageWidth = W + 1;
        b.shiftMapOriginX = 2;
        b.shiftMapOriginY = 1;
        QVERIFY(!t->loadEMap(file));
        QCOMPARE(b.shiftMapOriginX, 2);
        QCOMPARE(b.shiftMapOriginY, 1);
        QCOMPARE(b.imageWidth, W + 1);
        b.imageWidth = b.imageHeight = -1;
        Analyzed2DRes other("other");
        EMPHeader h;
        QVERIFY(t->loadMap(file, other, h));
        QVERIFY(h.valid);
        QCOMPARE(b.imageWidth, W);
        QCOMPARE(b.imageHeight, H);
        QVERIFY(std::fabs(other.valueAt(3, 2) - shiftAt(3, 2)) < 1e-3);
        // Reads the user asks for answer no script.
        QCOMPARE(done.size(), 0);
    }

    // Torn down while the panel and the statistics window hold the main
    // window's frame and a map.
    void teardownLetsGo()
    {
        QPointer<ToolsOnBody> t;
        {
            Body b;
            t = ToolsOnBody::of(b);
            load(b, 3);
            t->imgProc.EdgeDetect->setChecked(true);
            b.showData(1);
            QCOMPARE(t->imgProc.image, b.i1Images[1]);
        }
        QVERIFY(t.isNull());
    }
};

QTEST_MAIN(TstBodyTools)
#include "tst_bodytools.moc"
