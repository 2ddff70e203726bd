// Image sum-up: range totals and maps against sums computed straight from the
// pixel formula of the stack, the written image read back, and input that
// must only give a debug line.

#include "analysis/ImageSum.h"
#include "analysis/SumUpCtrl.h"
#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "support/Frames.h"

#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>

namespace {

const int W = 11, H = 7, N = 20;

// Stored value of image k at column c, row r.
double pix(int k, int c, int r) { return (k + 1) * 100 + c * 7 + r * 3; }

// Image 4 of the stack is missing and image 7 is smaller than the rest.
int widthOf(int k) { return k == 7 ? 5 : W; }
int heightOf(int k) { return k == 7 ? 4 : H; }

// Box sum of image k straight from the formula; pixels outside count 0.
double directBox(int k, int x, int y, int xw, int yw)
{
    if (k == 4) return 0;
    double s = 0;
    for (int r = std::max(0, y - yw); r <= std::min(heightOf(k) - 1, y + yw); ++r)
        for (int c = std::max(0, x - xw); c <= std::min(widthOf(k) - 1, x + xw); ++c) s += pix(k, c, r);
    return s;
}

// Images counted once per range that names them, within 0 .. N - 1.
double directTotal(const QList<SumUpRange>& ranges, int x, int y, int xw, int yw)
{
    double s = 0;
    for (const SumUpRange& rg : ranges)
        for (int k = std::max(0, rg.from); k < std::min(N, rg.to); ++k) s += directBox(k, x, y, xw, yw);
    return s;
}

AnalyzeCond gridOf(int xw, int yw, double x, double y, double w, double h)
{
    AnalyzeCond ac;
    ac.set(W, H, xw, yw, x, y, w, h, -1, -1);
    return ac;
}

}  // namespace

Q_DECLARE_METATYPE(QList<SumUpRange>)

class TestSumUp : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    ts::Stack frames;
    QVector<TiffData*> stack;

    // Image k of size w x h, rows allocated as the readers do.
    TiffData* image(int k, int w = W, int h = H)
    {
        return frames.add(ts::frame(TiffData::UInt16, w, h, [k](int c, int r) { return pix(k, c, r); }));
    }

    // Every pixel holds the direct total of the block that covers it, or 0
    // outside every block.
    void checkMap(const Analyzed2DRes& map, AnalyzeCond ac, const QList<SumUpRange>& ranges)
    {
        QVector<double> want(W * H, 0.0);
        ac.reset();
        do {
            for (int r = std::max(0, ac.curY - ac.yw); r <= std::min(H - 1, ac.curY + ac.yw); ++r)
                for (int c = std::max(0, ac.curX - ac.xw); c <= std::min(W - 1, ac.curX + ac.xw); ++c)
                    want[r * W + c] = directTotal(ranges, ac.curX, ac.curY, ac.xw, ac.yw);
        } while (ac.next());
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c) QCOMPARE(map.valueAt(c, r), want[r * W + c]);
    }

private slots:
    void initTestCase()
    {
        initColorTables();
        for (int k = 0; k < N; ++k) stack.append(k == 4 ? nullptr : image(k, widthOf(k), heightOf(k)));
    }

    void totalsOverRanges_data()
    {
        QTest::addColumn<QList<SumUpRange>>("ranges");
        QTest::newRow("3 to 7 sums 3, 4, 5, 6") << QList<SumUpRange>{{3, 7, 0}};
        QTest::newRow("last image") << QList<SumUpRange>{{19, 20, 0}};
        QTest::newRow("beyond the end") << QList<SumUpRange>{{18, 25, 0}};
        QTest::newRow("before the start") << QList<SumUpRange>{{-5, 2, 0}};
        QTest::newRow("reversed") << QList<SumUpRange>{{7, 3, 0}};
        QTest::newRow("overlap counts twice") << QList<SumUpRange>{{0, 5, 0}, {3, 8, 0}};
        QTest::newRow("no ranges") << QList<SumUpRange>{};
        // Clamped to the stack, not walked index by index.
        QTest::newRow("ends at the int limits") << QList<SumUpRange>{{INT_MIN, INT_MAX, 0}};
    }
    void totalsOverRanges()
    {
        QFETCH(QList<SumUpRange>, ranges);
        for (const QPoint& p : {QPoint(5, 3), QPoint(0, 0), QPoint(10, 6)})
            QCOMPARE(ImageSum::rangeTotal(stack, ranges, p.x(), p.y(), 2, 1), directTotal(ranges, p.x(), p.y(), 2, 1));
    }

    void mapOverGrid()
    {
        Analyzed2DRes map(QStringLiteral("Sum Up Img"));
        const QList<SumUpRange> ranges = {{2, 9, 0}, {15, 30, 0}};
        const AnalyzeCond whole = gridOf(1, 1, 0, 0, W, H);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("1 I1 images differ in size"));
        ImageSum::fillMap(map, whole, stack, ranges);
        checkMap(map, whole, ranges);
        // Nothing of the earlier grid survives outside the new one.
        const AnalyzeCond part = gridOf(2, 1, 3, 1, 5, 4);
        ImageSum::fillMap(map, part, stack, ranges);
        checkMap(map, part, ranges);

        // Written as an image and read back pixel by pixel.
        ImageSum::fillMap(map, whole, stack, ranges);
        const QString path = dir.filePath(QStringLiteral("sumUpImg.png"));
        QVERIFY(ImageSum::saveImage(map, path));
        const QImage want = *map.image;
        const QImage got = QImage(path).convertToFormat(want.format());
        QCOMPARE(got.size(), QSize(W, H));
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c) QCOMPARE(got.pixel(c, r), want.pixel(c, r));
        // The largest block total is brighter than the smallest.
        QVERIFY(qGray(got.pixel(map.maxPos)) > qGray(got.pixel(map.minPos)));
    }

    void badInput()
    {
        const QString startDir = QDir::currentPath();
        QTemporaryDir out;
        QVERIFY(QDir::setCurrent(out.path()));
        SumUpCtrl s;
        s.add();
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("no map to fill"));
        QVERIFY(!s.doSumUp());

        // No images: an empty map, no file.
        Analyzed2DRes map(QStringLiteral("Sum Up Img"));
        s.setTargetMap(&map);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("no I1 images"));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("has no image"));
        QVERIFY(!s.doSumUp());
        QCOMPARE(map.width(), 0);
        QVERIFY(!QFile::exists(out.filePath(SumUpCtrl::imageFileName())));

        // A folder that cannot take the file: the map is filled, the save
        // fails with a debug line, and nothing replaces what is there.
        QVERIFY(QDir(out.path()).mkdir(SumUpCtrl::imageFileName()));
        const AnalyzeCond grid = gridOf(1, 1, 0, 0, W, H);
        s.setI1Stack(&stack);
        s.setGridProvider([&](AnalyzeCond& a) {
            a = grid;
            return true;
        });
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("sumUpImg.png"));
        QVERIFY(!s.doSumUp());
        QVERIFY(QFileInfo(out.filePath(SumUpCtrl::imageFileName())).isDir());
        checkMap(map, grid, s.ranges());
        QDir::setCurrent(startDir);
    }
};

QTEST_MAIN(TestSumUp)
#include "tst_sumup.moc"
