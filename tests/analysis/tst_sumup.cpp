// Image sum-up: range totals and maps against sums computed straight from the
// pixel formula of a stack the test writes, the written image read back, the
// range form, and input that must only give a debug line.

#include "analysis/Analyzer.h"
#include "analysis/ImageSum.h"
#include "analysis/SumUpCtrl.h"
#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "core/TiffWriter.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <climits>
#include <memory>
#include <vector>

namespace {

const int W = 11, H = 7, N = 20;

// Stored value of image k at column c, row r.
double pix(int k, int c, int r)
{
    return (k + 1) * 100 + c * 7 + r * 3;
}

// Box sum of image k straight from the formula; pixels outside count 0.
double directBox(int k, int x, int y, int xw, int yw, int w = W, int h = H)
{
    double s = 0;
    for (int r = y - yw; r <= y + yw; ++r)
        for (int c = x - xw; c <= x + xw; ++c)
            if (c >= 0 && c < w && r >= 0 && r < h) s += pix(k, c, r);
    return s;
}

// Images counted once per range that names them, within 0 .. N - 1.
double directTotal(const QList<SumUpRange>& ranges, int x, int y, int xw, int yw)
{
    double s = 0;
    for (const SumUpRange& rg : ranges)
        for (int k = 0; k < N; ++k)
            if (k >= rg.from && k < rg.to) s += directBox(k, x, y, xw, yw);
    return s;
}

bool writeFrame(const QString& path, int k, int w, int h)
{
    std::vector<uint16_t> s(size_t(w) * h);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) s[size_t(r) * w + c] = uint16_t(pix(k, c, r));
    return TiffWriter().write16(path, uint32_t(w), h, s.data());
}

AnalyzeCond gridOf(int xw, int yw, double x, double y, double w, double h)
{
    AnalyzeCond ac;
    ac.set(W, H, xw, yw, x, y, w, h, -1, -1);
    return ac;
}

}  // namespace

class TestSumUp : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::vector<std::unique_ptr<TiffData>> frames;
    QVector<TiffData*> stack;
    QString startDir;

    // Every block of the map's grid holds its direct total, and every pixel
    // outside all blocks is 0.
    void checkMap(const Analyzed2DRes& map, const AnalyzeCond& grid,
                  const QList<SumUpRange>& ranges)
    {
        QCOMPARE(map.width(), W);
        QCOMPARE(map.height(), H);
        QVector<bool> covered(W * H, false);
        AnalyzeCond ac = grid;
        ac.reset();
        int blocks = 0;
        do {
            const double want = directTotal(ranges, ac.curX, ac.curY, ac.xw, ac.yw);
            for (int r = ac.curY - ac.yw; r <= ac.curY + ac.yw; ++r)
                for (int c = ac.curX - ac.xw; c <= ac.curX + ac.xw; ++c) {
                    if (!map.inside(c, r)) continue;
                    QCOMPARE(map.valueAt(c, r), want);
                    covered[r * W + c] = true;
                }
            ++blocks;
        } while (ac.next());
        QCOMPARE(qint64(blocks), grid.blockCount());
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c)
                if (!covered[r * W + c]) QCOMPARE(map.valueAt(c, r), 0.0);
    }

private slots:
    void initTestCase()
    {
        initColorTables();
        QVERIFY(dir.isValid());
        startDir = QDir::currentPath();
        for (int k = 0; k < N; ++k) {
            const QString f = dir.filePath(QStringLiteral("i1-%1.tif").arg(k));
            QVERIFY(writeFrame(f, k, W, H));
            auto d = std::make_unique<TiffData>();
            QVERIFY(d->load(f));
            stack.append(d.get());
            frames.push_back(std::move(d));
        }
        // The stack as loaded holds the formula's values.
        QCOMPARE(stack[13]->sumBox(5, 3, 0, 0), pix(13, 5, 3));
    }

    void cleanup() { QDir::setCurrent(startDir); }

    void totalsOverRanges()
    {
        struct Case
        {
            const char* what;
            QList<SumUpRange> ranges;
        };
        const QList<Case> cases = {
            {"default range sums all 20", {{0, 1000, 0}}},
            {"3 to 7 sums 3, 4, 5, 6", {{3, 7, 0}}},
            {"first image", {{0, 1, 0}}},
            {"last image", {{19, 20, 0}}},
            {"beyond the end", {{18, 25, 0}}},
            {"wholly beyond", {{20, 40, 0}}},
            {"before the start", {{-5, 2, 0}}},
            {"reversed", {{7, 3, 0}}},
            {"empty", {{5, 5, 0}}},
            {"overlap counts twice", {{0, 5, 0}, {3, 8, 0}}},
            {"no ranges", {}},
        };
        for (const Case& c : cases) {
            for (const QPoint& p : {QPoint(5, 3), QPoint(0, 0), QPoint(10, 6)}) {
                const double got = ImageSum::rangeTotal(stack, c.ranges, p.x(), p.y(), 2, 1);
                QVERIFY2(got == directTotal(c.ranges, p.x(), p.y(), 2, 1), c.what);
            }
        }
        // The two named cases in plain numbers.
        double all = 0, some = 0;
        for (int k = 0; k < N; ++k) all += directBox(k, 5, 3, 0, 0);
        for (int k = 3; k < 7; ++k) some += directBox(k, 5, 3, 0, 0);
        QCOMPARE(ImageSum::rangeTotal(stack, {{0, 1000, 0}}, 5, 3, 0, 0), all);
        QCOMPARE(ImageSum::rangeTotal(stack, {{3, 7, 0}}, 5, 3, 0, 0), some);

        // An end near the int limit is clamped to the stack, not walked.
        QElapsedTimer t;
        t.start();
        QCOMPARE(ImageSum::rangeTotal(stack, {{INT_MIN, INT_MAX, 0}}, 5, 3, 1, 1),
                 directTotal({{0, N, 0}}, 5, 3, 1, 1));
        QVERIFY(t.elapsed() < 10000);

        // A missing frame is skipped.
        QVector<TiffData*> holes = stack;
        holes[4] = nullptr;
        QCOMPARE(ImageSum::rangeTotal(holes, {{3, 6, 0}}, 5, 3, 1, 1),
                 directBox(3, 5, 3, 1, 1) + directBox(5, 5, 3, 1, 1));
    }

    void mapOverGrid()
    {
        Analyzed2DRes map(QStringLiteral("Sum Up Img"));
        // Earlier content of another grid does not survive.
        map.setCond(gridOf(0, 0, 0, 0, W, H));
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c) map.setData(c, r, 0, 0, 999);

        const QList<SumUpRange> ranges = {{2, 9, 0}, {15, 30, 0}};
        const AnalyzeCond whole = gridOf(1, 1, 0, 0, W, H);
        ImageSum::fillMap(map, whole, stack, ranges);
        checkMap(map, whole, ranges);
        QCOMPARE(map.name, QStringLiteral("Sum Up Img"));

        const AnalyzeCond part = gridOf(2, 1, 3, 1, 5, 4);
        ImageSum::fillMap(map, part, stack, ranges);
        checkMap(map, part, ranges);
        QCOMPARE(map.valueAt(0, 0), 0.0);

        // Every range empty: a map of zeros.
        ImageSum::fillMap(map, whole, stack, {{9, 2, 0}});
        checkMap(map, whole, {});
        QCOMPARE(map.dataMax, 0.0);
    }

    void imageWrittenAndReadBack()
    {
        Analyzed2DRes map(QStringLiteral("Sum Up Img"));
        const AnalyzeCond grid = gridOf(1, 1, 0, 0, W, H);
        ImageSum::fillMap(map, grid, stack, {{0, 1000, 0}});
        const QString path = dir.filePath(QStringLiteral("sumUpImg.png"));
        QVERIFY(ImageSum::saveImage(map, path));
        QVERIFY(map.hasImage);

        QImage back(path);
        QVERIFY(!back.isNull());
        QCOMPARE(back.size(), QSize(W, H));
        const QImage want = *map.image;
        const QImage got = back.convertToFormat(want.format());
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c) QCOMPARE(got.pixel(c, r), want.pixel(c, r));
        // The largest block total is brighter than the smallest.
        QVERIFY(qGray(back.pixel(map.maxPos)) > qGray(back.pixel(map.minPos)));
        QVERIFY(map.maxPos != map.minPos);
    }

    void badInput()
    {
        QTemporaryDir out;
        QVERIFY(QDir::setCurrent(out.path()));
        SumUpCtrl s;
        s.add();

        // Nothing to fill.
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("no map to fill"));
        QVERIFY(!s.doSumUp());

        // No images: the grid is a single block at (0, 0) of an empty map.
        Analyzed2DRes map(QStringLiteral("Sum Up Img"));
        s.setTargetMap(&map);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("no I1 images"));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("has no image"));
        QVERIFY(!s.doSumUp());
        QCOMPARE(map.width(), 0);
        QVERIFY(!QFile::exists(out.filePath(SumUpCtrl::imageFileName())));

        const QVector<TiffData*> empty;
        s.setI1Stack(&empty);
        s.setGridProvider([](AnalyzeCond&) { return false; });
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("no I1 images"));
        QVERIFY(!s.doSumUp());

        // A frame of another size is summed over the pixels it has.
        const QString f = dir.filePath(QStringLiteral("small.tif"));
        QVERIFY(writeFrame(f, 50, 5, 4));
        TiffData small;
        QVERIFY(small.load(f));
        QVector<TiffData*> mixed = {stack[0], &small, stack[2]};
        const AnalyzeCond grid = gridOf(1, 1, 0, 0, W, H);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("1 I1 images differ in size"));
        ImageSum::fillMap(map, grid, mixed, {{0, 3, 0}});
        AnalyzeCond ac = grid;
        do {
            const double want = directBox(0, ac.curX, ac.curY, 1, 1) +
                                directBox(50, ac.curX, ac.curY, 1, 1, 5, 4) +
                                directBox(2, ac.curX, ac.curY, 1, 1);
            QCOMPARE(map.valueAt(ac.curX, ac.curY), want);
        } while (ac.next());

        // A folder that cannot take the file: the map is filled, the save
        // fails with a debug line, and nothing replaces what is there.
        QVERIFY(QDir(out.path()).mkdir(SumUpCtrl::imageFileName()));
        s.setI1Stack(&stack);
        s.setGridProvider([&](AnalyzeCond& a) {
            a = grid;
            return true;
        });
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("sumUpImg.png"));
        QVERIFY(!s.doSumUp());
        QVERIFY(QFileInfo(out.filePath(SumUpCtrl::imageFileName())).isDir());
        checkMap(map, grid, s.ranges());
        QVERIFY(!ImageSum::saveImage(map, out.filePath("no/such/folder/sumUpImg.png")));
    }
};

QTEST_MAIN(TestSumUp)
#include "tst_sumup.moc"
