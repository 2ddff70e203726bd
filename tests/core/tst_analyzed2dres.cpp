#include "core/Analyzed2DRes.h"
#include "core/ColorScale.h"
#include "core/Globals.h"
#include "support/Files.h"

#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <memory>
#include <vector>

namespace {

AnalyzeCond gridOf(int w, int h, int xw, int yw, QRectF area)
{
    AnalyzeCond c;
    c.set(w, h, xw, yw, area, -1, -1);
    return c;
}

// A w x h map of single-pixel blocks over the whole image, value f(x, y).
template <typename F>
void fillPixels(Analyzed2DRes& m, int w, int h, F f)
{
    m.setCond(gridOf(w, h, 0, 0, QRectF(0, 0, w, h)));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) m.setData(x, y, 0, 0, f(x, y));
}

using ts::readLines;

void checkHeader(const QStringList& lines, const char* f1, const char* f2, int xn, int yn)
{
    QVERIFY(lines.size() >= 9);
    QCOMPARE(lines[0], QString("## 240301"));
    QCOMPARE(lines[1], QString("## Corvenlith Analyzed 2D Result"));
    QVERIFY2(QRegularExpression("^# Date    : \\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}$")
                 .match(lines[2])
                 .hasMatch(),
             qPrintable(lines[2]));
    QCOMPARE(lines[3], QString("## Energy : "));
    QCOMPARE(lines[4], QString("# Format1 : ") + f1);
    QCOMPARE(lines[5], QString("# Format2 : ") + f2);
    QCOMPARE(lines[6], QString("# X-NUM %1").arg(xn));
    QCOMPARE(lines[7], QString("# Y-NUM %1").arg(yn));
    QCOMPARE(lines[8], QString("## End of Header ##"));
}

}  // namespace

class TestAnalyzed2DRes : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initColorTables(); }
    void cleanup() { mainColorBar = nullptr; }
    void setDataBlocksAndRange();
    void exportPixelMode();
    void exportGridBeyondImage();
    void exportBlocks();
    void deglitchScores();
    void deglitchGridBeyondImage();
    void deglitch2Limit();
    void textVvvCsv();
    void textXyzSpace();
    void textFailures();
};

void TestAnalyzed2DRes::setDataBlocksAndRange()
{
    Analyzed2DRes m("m");
    m.setCond(gridOf(10, 10, 1, 1, QRectF(0, 0, 10, 10)));
    QVERIFY(m.data && m.proc);
    QCOMPARE(m.dataMin, 1e300);
    m.setData(5, 5, 1, 1, 2.0);
    m.setData(8, 5, -1, -1, -1.0);  // negative half-widths: their magnitude
    QCOMPARE(m.dataMax, 2.0);
    QCOMPARE(m.maxPos, QPoint(5, 5));
    QCOMPARE(m.dataMin, -1.0);
    QCOMPARE(m.minPos, QPoint(8, 5));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            double expect = 0;
            if (y >= 4 && y <= 6 && x >= 4 && x <= 6) expect = 2.0;
            if (y >= 4 && y <= 6 && x >= 7 && x <= 9) expect = -1.0;
            QCOMPARE(m.valueAt(x, y), expect);
        }
    QCOMPARE(m.fit.n, 2.0);
    // Equal values do not move the recorded positions.
    m.setData(1, 1, 0, 0, 2.0);
    QCOMPARE(m.maxPos, QPoint(5, 5));
    // A block at the corner is written only inside the map.
    m.setData(9, 9, 2, 2, 7.0);
    QCOMPARE(m.valueAt(9, 9), 7.0);
    QCOMPARE(m.valueAt(7, 7), 7.0);
    QCOMPARE(m.valueAt(6, 6), 2.0);
    m.setData(-1, 0, 0, 0, 9.0);  // entirely outside
    QCOMPARE(m.valueAt(0, 0), 0.0);
    QCOMPARE(m.valueAt(-1, 0), 0.0);

    // Reallocation clears values, range and fit but keeps the scale settings.
    m.fixedScale = true;
    m.setCond(gridOf(4, 3, 0, 0, QRectF(0, 0, 4, 3)));
    QCOMPARE(m.width(), 4);
    QCOMPARE(m.valueAt(1, 1), 0.0);
    QCOMPARE(m.dataMax, -1e300);
    QCOMPARE(m.fit.n, 0.0);
    QVERIFY(m.fixedScale);
    m.clear();
    QCOMPARE(m.width(), 0);
    QVERIFY(!m.data);
}

void TestAnalyzed2DRes::exportPixelMode()
{
    Analyzed2DRes m("m");
    const double vals[4] = {-3, 5, 12, 10};
    fillPixels(m, 2, 2, [&](int x, int y) { return vals[y * 2 + x]; });
    std::unique_ptr<quint16[]> s(m.tiffDataForSave(true, 0, 10, false));
    QVERIFY(s);
    QCOMPARE(m.exportCount, 4);
    QCOMPARE(int(s[0]), 0);
    QCOMPARE(int(s[1]), 32767);
    QCOMPARE(int(s[2]), 65535);
    QCOMPARE(int(s[3]), 65535);
    // Automatic scale is the data range: its ends give 0 and 65535.
    s.reset(m.tiffDataForSave(false, 0, 10, false));
    QCOMPARE(int(s[0]), 0);
    QCOMPARE(int(s[2]), 65535);
    QCOMPARE(int(s[1]), int(std::trunc(8.0 / 15.0 * 65535)));
    // The map's own fixed scale is not consulted.
    m.fixedScale = true;
    m.fixedMin = 100;
    m.fixedMax = 200;
    s.reset(m.tiffDataForSave(false, 0, 10, false));
    QCOMPARE(int(s[2]), 65535);
    // Equal limits: all 0.
    s.reset(m.tiffDataForSave(true, 5, 5, false));
    for (int i = 0; i < 4; ++i) QCOMPARE(int(s[i]), 0);
    // Non-finite limits do not produce garbage.
    s.reset(m.tiffDataForSave(true, -qInf(), qInf(), false));
    for (int i = 0; i < 4; ++i) QCOMPARE(int(s[i]), 0);
    // With showProc the processed array and its range are used.
    m.showProc = true;
    m.procMin = 0;
    m.procMax = 4;
    m.proc[3] = 1;
    s.reset(m.tiffDataForSave(false, 0, 0, false));
    QCOMPARE(int(s[0]), 0);
    QCOMPARE(int(s[3]), 16383);
    delete[] m.proc;
    m.proc = nullptr;
    QVERIFY(m.tiffDataForSave(false, 0, 1, false) == nullptr);
}

void TestAnalyzed2DRes::exportGridBeyondImage()
{
    // Single-pixel blocks over an area four times the image: more blocks than
    // pixels, half of them centred outside the map.
    Analyzed2DRes m("m");
    m.setCond(gridOf(4, 4, 0, 0, QRectF(-2, -2, 8, 8)));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) m.setData(x, y, 0, 0, 1.0 + x);
    std::unique_ptr<quint16[]> s(m.tiffDataForSave(true, 0, 4, true));
    QVERIFY(s);
    QCOMPARE(m.exportCount, 64);
    for (int by = 0; by < 8; ++by)
        for (int bx = 0; bx < 8; ++bx) {
            const int x = bx - 2, y = by - 2;
            const bool in = x >= 0 && x < 4 && y >= 0 && y < 4;
            const int expect = in ? int(std::trunc((1.0 + x) / 4 * 65535)) : 0;
            QCOMPARE(int(s[by * 8 + bx]), expect);
        }
}

void TestAnalyzed2DRes::exportBlocks()
{
    // Block mode: one sample per block, in walk order.
    Analyzed2DRes m("m");
    AnalyzeCond g = gridOf(30, 20, 1, 2, QRectF(0, 0, 21, 15));  // 7 x 3 blocks
    m.setCond(g);
    g.reset();
    int k = 0;
    do m.setData(g.curX, g.curY, g.xw, g.yw, k++ * 0.5);
    while (g.next());
    std::unique_ptr<quint16[]> s(m.tiffDataForSave(true, 0, 10, true));
    QCOMPARE(m.grid.blocksPerRow(), 7);
    QCOMPARE(m.grid.blockRows(), 3);
    QCOMPARE(m.exportCount, 21);
    for (int i = 0; i < 21; ++i) QCOMPARE(int(s[i]), int(std::trunc(std::min(i * 0.5, 10.0) / 10.0 * 65535)));
}

void TestAnalyzed2DRes::deglitchScores()
{
    // A plane x + y with a spike of 100 at (3, 3), single-pixel blocks.
    Analyzed2DRes m("m");
    fillPixels(m, 7, 7, [](int x, int y) { return x == 3 && y == 3 ? 100.0 : x + y; });
    m.deglitch();
    // Scores: the spike 188, its four neighbours 47, the rest 0; threshold
    // 2 x 376 / 49. The spike becomes the mean of its neighbours (6); each
    // neighbour the mean of its own, which include the spike.
    QCOMPARE(m.proc[3 * 7 + 3], 6.0);
    QCOMPARE(m.proc[3 * 7 + 2], (4 + 100 + 4 + 6) / 4.0);
    QCOMPARE(m.proc[2 * 7 + 3], (4 + 6 + 4 + 100) / 4.0);
    QCOMPARE(m.proc[3 * 7 + 4], (100 + 8 + 6 + 8) / 4.0);
    QCOMPARE(m.proc[0], 0.0);
    QCOMPARE(m.proc[6 * 7 + 6], 12.0);
    QCOMPARE(m.procMin, 0.0);
    QCOMPARE(m.procMax, 30.5);
    QCOMPARE(m.valueAt(3, 3), 100.0);  // data untouched
    QVERIFY(!m.hasImage);              // not shown: no image built

    m.selectProcImg(true);
    m.deglitch();
    QVERIFY(m.hasImage);
}

void TestAnalyzed2DRes::deglitchGridBeyondImage()
{
    Analyzed2DRes m("m");
    m.setCond(gridOf(5, 5, 1, 1, QRectF(-6, -6, 20, 20)));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) m.setData(x, y, 0, 0, x == 2 && y == 2 ? 50.0 : 1.0);
    m.deglitch();
    m.deglitch2(10);
    QCOMPARE(m.procMin, 1.0);
    QCOMPARE(m.procMax, 1.0);
    std::unique_ptr<quint16[]> s(m.tiffDataForSave(false, 0, 1, true));
    QVERIFY(s);
}

void TestAnalyzed2DRes::deglitch2Limit()
{
    // 5 x 5 of 1.0 with a 3 x 3 patch of 100 in the middle.
    Analyzed2DRes m("m");
    fillPixels(m, 5, 5, [](int x, int y) { return std::abs(x - 2) <= 1 && std::abs(y - 2) <= 1 ? 100.0 : 1.0; });
    m.deglitch2(40);
    // m = 1; the centre has only glitch neighbours: 0. The patch edge sees
    // 1.0 neighbours: 1.
    QCOMPARE(m.proc[2 * 5 + 2], 0.0);
    QCOMPARE(m.proc[1 * 5 + 1], 1.0);
    QCOMPARE(m.proc[2 * 5 + 1], 1.0);
    QCOMPARE(m.proc[0], 1.0);
    QCOMPARE(m.procMin, 0.0);
    QCOMPARE(m.procMax, 1.0);

    // Neighbours a block-size step away on a grid of 3 x 3 blocks.
    Analyzed2DRes b("b");
    b.setCond(gridOf(9, 9, 1, 1, QRectF(0, 0, 9, 9)));
    const double v[3][3] = {{2, 4, 6}, {8, 500, 10}, {12, 14, 16}};
    for (int by = 0; by < 3; ++by)
        for (int bx = 0; bx < 3; ++bx) b.setData(1 + 3 * bx, 1 + 3 * by, 1, 1, v[by][bx]);
    b.deglitch2(100);
    const double mean = (2 + 4 + 6 + 8 + 10 + 12 + 14 + 16) / 8.0;
    for (int y = 3; y <= 5; ++y)
        for (int x = 3; x <= 5; ++x) QCOMPARE(b.proc[y * 9 + x], mean);
    QCOMPARE(b.proc[0], 2.0);
    QCOMPARE(b.procMax, 16.0);
}

void TestAnalyzed2DRes::textVvvCsv()
{
    QTemporaryDir dir;
    Analyzed2DRes m("m");
    // 3 x 2 blocks of 3 x 3 pixels on a 9 x 6 image.
    AnalyzeCond g = gridOf(9, 6, 1, 1, QRectF(0, 0, 9, 6));
    m.setCond(g);
    g.reset();
    double v = 0.5;
    do {
        m.setData(g.curX, g.curY, 1, 1, v);
        v *= 10;
    } while (g.next());
    const QString path = dir.filePath("vvv.dat");
    QVERIFY(m.saveAsText(QFileInfo(path), true, true, false));
    const QStringList lines = readLines(path);
    checkHeader(lines, "VVV", "CSV", 3, 2);
    QCOMPARE(lines.mid(9), QStringList({"", "0.5,5,50", "500,5000,50000"}));
    QVERIFY(ts::readAll(path).endsWith('\n'));
    // The walk leaves the grid reset-able; a second export is identical.
    QVERIFY(m.saveAsText(QFileInfo(path), false, true, false));
    QCOMPARE(readLines(path).mid(9), lines.mid(9));

    QVERIFY(m.saveAsText(QFileInfo(path), false, false, false));
    const QStringList sp = readLines(path);
    checkHeader(sp, "VVV", "SPACE-Separated", 3, 2);
    QCOMPARE(sp[11], QString("500 5000 50000"));
}

void TestAnalyzed2DRes::textXyzSpace()
{
    QTemporaryDir dir;
    Analyzed2DRes m("m");
    m.setCond(gridOf(20, 10, 0, 0, QRectF(10, 4, 3, 2)));
    for (int y = 4; y <= 5; ++y)
        for (int x = 10; x <= 12; ++x) m.setData(x, y, 0, 0, x * 0.25 - y);
    const QString path = dir.filePath("xyz.dat");
    QVERIFY(m.saveAsText(QFileInfo(path), false, false, true));
    const QStringList lines = readLines(path);
    checkHeader(lines, "XYZ", "SPACE-Separated", 3, 2);
    const QStringList expect = {"10 4 -1.5", "11 4 -1.25", "12 4 -1", "10 5 -2.5", "11 5 -2.25",
                                "12 5 -2"};
    QCOMPARE(lines.mid(9), expect);

    QVERIFY(m.saveAsText(QFileInfo(path), false, true, true));
    const QStringList csv = readLines(path);
    checkHeader(csv, "XYZ", "CSV", 3, 2);
    QCOMPARE(csv[9], QString("10,4,-1.5"));
    QCOMPARE(csv.size(), 15);
}

void TestAnalyzed2DRes::textFailures()
{
    QTemporaryDir dir;
    Analyzed2DRes m("m");
    fillPixels(m, 2, 2, [](int, int) { return 1.0; });
    const QString bad = dir.filePath("missing/sub/x.dat");
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Can't open " + bad));
    QVERIFY(!m.saveAsText(QFileInfo(bad), false, true, true));
    QVERIFY(!QFile::exists(bad));

    // A cleared map has no values: nothing is written.
    Analyzed2DRes empty("empty");
    const QString path = dir.filePath("empty.dat");
    QVERIFY(!empty.saveAsText(QFileInfo(path), false, false, false));
    QVERIFY(!QFile::exists(path));
}

QTEST_GUILESS_MAIN(TestAnalyzed2DRes)
#include "tst_analyzed2dres.moc"
