#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "support/Files.h"
#include "support/Maps.h"

#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <memory>

// A pixel-mode export: fixed limits or not, the limits, whether the processed
// map is shown, and the samples expected.
struct Export {
    bool fixed;
    double lo, hi;
    bool processed;
    QVector<int> samples;
};
Q_DECLARE_METATYPE(Export)

namespace {

AnalyzeCond gridOf(int w, int h, int xw, int yw, QRectF area)
{
    AnalyzeCond c;
    c.set(w, h, xw, yw, area, -1, -1);
    return c;
}

}  // namespace

class TestAnalyzed2DRes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initColorTables(); }

    void setDataBlocksAndRange()
    {
        Analyzed2DRes m("m");
        m.setCond(gridOf(10, 10, 1, 1, QRectF(0, 0, 10, 10)));
        m.setData(5, 5, 1, 1, 2.0);
        m.setData(8, 5, -1, -1, -1.0);  // negative half-widths: their magnitude
        m.setData(1, 1, 0, 0, 2.0);     // equal to the maximum: its position stays
        m.setData(9, 9, 2, 2, 1.5);     // at the corner: only the part inside
        m.setData(-1, 0, 0, 0, 0.5);    // entirely outside
        QCOMPARE(m.dataMax, 2.0);
        QCOMPARE(m.maxPos, QPoint(5, 5));
        QCOMPARE(m.dataMin, -1.0);
        QCOMPARE(m.minPos, QPoint(8, 5));
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x) {
                double expect = 0;
                if (y >= 4 && y <= 6) expect = x >= 4 && x <= 6 ? 2.0 : x >= 7 ? -1.0 : 0.0;
                if (y >= 7 && x >= 7) expect = 1.5;
                if (x == 1 && y == 1) expect = 2.0;
                QCOMPARE(m.valueAt(x, y), expect);
            }

        // Reallocation leaves no value, range or fit of the old map behind.
        m.setCond(ts::pixelGrid(4, 3));
        QCOMPARE(m.valueAt(1, 1), 0.0);
        QCOMPARE(m.dataMax, -1e300);
        QCOMPARE(m.fit.n, 0.0);
    }

    // Pixel mode: one sample per map pixel, scaled to 16 bits. The map's own
    // fixed scale (100 to 200) is never the export's.
    void exportScaling_data()
    {
        QTest::addColumn<Export>("e");
        QTest::newRow("given limits") << Export{true, 0, 10, false, {0, 32767, 65535, 65535}};
        QTest::newRow("data range") << Export{false, 0, 10, false, {0, 34952, 65535, 56797}};
        QTest::newRow("equal limits") << Export{true, 5, 5, false, {0, 0, 0, 0}};
        QTest::newRow("infinite limits") << Export{true, -qInf(), qInf(), false, {0, 0, 0, 0}};
        QTest::newRow("processed range") << Export{false, 0, 0, true, {0, 0, 0, 16383}};
    }
    void exportScaling()
    {
        QFETCH(Export, e);
        Analyzed2DRes m("m");
        const double vals[4] = {-3, 5, 12, 10};
        ts::fillMap(m, 2, 2, [&](int x, int y) { return vals[y * 2 + x]; });
        m.fixedScale = true;
        m.fixedMin = 100;
        m.fixedMax = 200;
        if (e.processed) {
            m.showProc = true;
            m.procMin = 0;
            m.procMax = 4;
            m.proc[3] = 1;
        }
        std::unique_ptr<quint16[]> s(m.tiffDataForSave(e.fixed, e.lo, e.hi, false));
        QCOMPARE(m.exportCount, 4);
        QCOMPARE((QVector<int>{s[0], s[1], s[2], s[3]}), e.samples);
    }

    // Block mode: one sample per block in walk order, 0 for a block centred
    // outside the map, also when there are more blocks than pixels.
    void exportBlocks()
    {
        Analyzed2DRes m("m");
        AnalyzeCond g = gridOf(4, 4, 0, 0, QRectF(-2, -2, 8, 8));
        m.setCond(g);
        g.reset();
        int k = 0;
        do m.setData(g.curX, g.curY, g.xw, g.yw, k++ * 0.5);
        while (g.next());
        std::unique_ptr<quint16[]> s(m.tiffDataForSave(true, 0, 40, true));
        QCOMPARE(m.exportCount, 64);
        g.reset();
        k = 0;
        do {
            const bool in = QRect(0, 0, 4, 4).contains(g.curX, g.curY);
            QCOMPARE(int(s[k]), in ? int(std::trunc(k * 0.5 / 40 * 65535)) : 0);
            ++k;
        } while (g.next());
    }

    void deglitchScores()
    {
        // A plane x + y with a spike of 100 at (3, 3) and a bump of 6 at (1, 5),
        // single-pixel blocks. Scores: the spike 188, its four neighbours 47,
        // the bump 12, two of its neighbours 3, the rest 0; mean 394 / 49, so
        // the threshold (twice the mean) takes the spike and its neighbours
        // but leaves the bump. The spike becomes the mean of its neighbours
        // (6); each neighbour the mean of its own, which include the spike.
        Analyzed2DRes m("m");
        ts::fillMap(m, 7, 7, [](int x, int y) { return x == 3 && y == 3 ? 100.0 : x == 1 && y == 5 ? 12.0 : x + y; });
        m.deglitch();
        QCOMPARE(m.proc[3 * 7 + 3], 6.0);
        QCOMPARE(m.proc[3 * 7 + 2], (4 + 100 + 4 + 6) / 4.0);
        QCOMPARE(m.proc[2 * 7 + 3], (4 + 6 + 4 + 100) / 4.0);
        QCOMPARE(m.proc[3 * 7 + 4], (100 + 8 + 6 + 8) / 4.0);
        QCOMPARE(m.proc[5 * 7 + 1], 12.0);
        QCOMPARE(m.proc[6 * 7 + 6], 12.0);
        QCOMPARE(m.procMin, 0.0);
        QCOMPARE(m.procMax, 30.5);
        QCOMPARE(m.valueAt(3, 3), 100.0);  // data untouched
        // A quarter of the factor takes the bump too: its neighbours' mean.
        m.setDeglitchConds(0.5, 0.9);
        m.deglitch();
        QCOMPARE(m.proc[5 * 7 + 1], 6.0);
    }

    void deglitch2Limit()
    {
        // 5 x 5 of 1.0 with a 3 x 3 patch of 100 in the middle: the mean of
        // values under the limit is 1; the centre has only glitch neighbours
        // (0), the patch edge sees 1.0 neighbours.
        Analyzed2DRes m("m");
        ts::fillMap(m, 5, 5, [](int x, int y) { return std::abs(x - 2) <= 1 && std::abs(y - 2) <= 1 ? 100.0 : 1.0; });
        m.deglitch2(40);
        QCOMPARE(m.proc[2 * 5 + 2], 0.0);
        QCOMPARE(m.proc[1 * 5 + 1], 1.0);
        QCOMPARE(m.proc[2 * 5 + 1], 1.0);
        QCOMPARE(m.procMax, 1.0);

        // Neighbours a block-size step away on a grid of 3 x 3 blocks, inside
        // a grid that reaches far beyond the image (both passes skip those).
        Analyzed2DRes b("b");
        b.setCond(gridOf(9, 9, 1, 1, QRectF(-6, -6, 21, 21)));
        const double v[3][3] = {{2, 4, 6}, {8, 500, 10}, {12, 14, 16}};
        for (int by = 0; by < 3; ++by)
            for (int bx = 0; bx < 3; ++bx) b.setData(1 + 3 * bx, 1 + 3 * by, 1, 1, v[by][bx]);
        b.deglitch();
        b.deglitch2(100);
        for (int y = 3; y <= 5; ++y)
            for (int x = 3; x <= 5; ++x) QCOMPARE(b.proc[y * 9 + x], 72 / 8.0);
        QCOMPARE(b.proc[0], 2.0);
    }

    // 3 x 2 blocks of 3 x 3 pixels from (10, 4); each block holds x / 4 - y
    // of its centre. Written twice: the first walk must leave the grid ready
    // for the next. A folder that is not there, or a map without values:
    // nothing is written.
    void textExport()
    {
        QTemporaryDir dir;
        Analyzed2DRes m("m");
        AnalyzeCond g = gridOf(20, 10, 1, 1, QRectF(10, 4, 9, 6));
        m.setCond(g);
        g.reset();
        do m.setData(g.curX, g.curY, 1, 1, g.curX * 0.25 - g.curY);
        while (g.next());
        const QString path = dir.filePath("map.dat");
        const QRegularExpression date("^# Date    : \\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}$");
        for (const bool xyz : {false, true, true}) {
            const bool csv = !xyz;
            QVERIFY(m.saveAsText(QFileInfo(path), false, csv, xyz));
            const QStringList lines = ts::readLines(path);
            QCOMPARE(lines.mid(0, 2), (QStringList{"## 240301", "## Corvenlith Analyzed 2D Result"}));
            QVERIFY2(date.match(lines[2]).hasMatch(), qPrintable(lines[2]));
            QCOMPARE(lines.mid(3, 6), (QStringList{"## Energy : ", QString("# Format1 : ") + (xyz ? "XYZ" : "VVV"),
                                                   QString("# Format2 : ") + (csv ? "CSV" : "SPACE-Separated"),
                                                   "# X-NUM 3", "# Y-NUM 2", "## End of Header ##"}));
            const QStringList body = xyz ? QStringList{"11 5 -2.25", "14 5 -1.5", "17 5 -0.75",
                                                       "11 8 -5.25", "14 8 -4.5", "17 8 -3.75"}
                                         : QStringList{"", "-2.25,-1.5,-0.75", "-5.25,-4.5,-3.75"};
            QCOMPARE(lines.mid(9), body);
            QVERIFY(ts::readAll(path).endsWith('\n'));
        }

        const QString bad = dir.filePath("missing/sub/x.dat");
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Can't open " + bad));
        QVERIFY(!m.saveAsText(QFileInfo(bad), false, true, true));
        QVERIFY(!QFile::exists(bad));
        Analyzed2DRes empty("empty");
        QVERIFY(!empty.saveAsText(QFileInfo(dir.filePath("empty.dat")), false, false, false));
        QVERIFY(!QFile::exists(dir.filePath("empty.dat")));
    }
};

QTEST_GUILESS_MAIN(TestAnalyzed2DRes)
#include "tst_analyzed2dres.moc"
