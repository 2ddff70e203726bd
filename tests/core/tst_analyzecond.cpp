#include "core/AnalyzeCond.h"

#include <QtTest>
#include <vector>

namespace {

struct Visit {
    int x, y;
    bool rowStart;
};

// Walks the grid the way every client does, with a safety cap so that a
// broken walk fails instead of hanging.
std::vector<Visit> walk(AnalyzeCond& c, int cap = 100000)
{
    std::vector<Visit> v;
    c.reset();
    do {
        v.push_back({c.curX, c.curY, c.rowStart});
        if (int(v.size()) > cap) break;
    } while (c.next());
    return v;
}

}  // namespace

class TestAnalyzeCond : public QObject
{
    Q_OBJECT
private slots:
    void clearedState();
    void setTruncatesAndSwaps();
    void walkEvenSplit();
    void walkUnevenSplit();
    void walkNarrowerThanBlock();
    void walkSinglePixelBlocks();
    void walkPositiveSteps();
    void zeroAndNegativeSteps();
    void negativeHalfWidths();
    void hugeAndInvalidArea();
    void fillBlockClips();
};

void TestAnalyzeCond::clearedState()
{
    AnalyzeCond c;
    QCOMPARE(c.width, 0);
    QCOMPARE(c.stepX, 1);
    QCOMPARE(c.stepY, 1);
    QVERIFY(c.rowStart);
    c.set(50, 40, 2, 3, QRectF(1, 2, 30, 20), 4, 4);
    c.next();
    c.clear();
    QCOMPARE(c.width, 0);
    QCOMPARE(c.height, 0);
    QCOMPARE(c.xw, 0);
    QCOMPARE(c.x1, 0);
    QCOMPARE(c.curX, 0);
    QCOMPARE(c.curY, 0);
    QCOMPARE(c.stepX, 1);
    QVERIFY(c.rowStart);
    // A cleared grid still yields its one block.
    QCOMPARE(walk(c).size(), size_t(1));
}

void TestAnalyzeCond::setTruncatesAndSwaps()
{
    AnalyzeCond c;
    c.set(100, 100, 0, 0, QRectF(10.9, 3.2, 5.5, 4.9), -1, -1);
    QCOMPARE(c.x0, 10);
    QCOMPARE(c.x1, 16);  // trunc(16.4), not 10 + 5
    QCOMPARE(c.y0, 3);
    QCOMPARE(c.y1, 8);  // trunc(8.1)

    c.set(100, 100, 1, 1, QRectF(20, 0, -10, 5), -1, -1);
    QCOMPARE(c.x0, 10);
    QCOMPARE(c.x1, 20);
    QCOMPARE(c.curX, 11);
    QCOMPARE(c.curY, 1);

    c.set(100, 100, 0, 0, QRectF(-0.5, -1.7, 3, -1), -1, -1);
    QCOMPARE(c.x0, 0);   // toward zero
    QCOMPARE(c.y0, -2);  // trunc(-2.7), exchanged with
    QCOMPARE(c.y1, -1);  // trunc(-1.7)
    c.set(100, 100, 0, 0, 5, 6, 7, 8, -1, -1);
    QCOMPARE(c.x0, 5);
    QCOMPARE(c.x1, 12);
    QCOMPARE(c.y1, 14);
}

void TestAnalyzeCond::walkEvenSplit()
{
    AnalyzeCond c;
    c.set(200, 200, 2, 1, QRectF(0, 10, 100, 30), -1, -1);
    QCOMPARE(c.stepX, 5);
    QCOMPARE(c.stepY, 3);
    const auto v = walk(c);
    QCOMPARE(c.blocksPerRow(), 20);
    QCOMPARE(c.blockRows(), 10);
    QCOMPARE(int(v.size()), 200);
    QCOMPARE(c.blockCount(), qint64(200));
    for (int i = 0; i < int(v.size()); ++i) {
        QCOMPARE(v[i].x, 2 + 5 * (i % 20));
        QCOMPARE(v[i].y, 11 + 3 * (i / 20));
        QCOMPARE(v[i].rowStart, i % 20 == 0);
    }
    // After the walk the grid stands below the region until reset.
    QVERIFY(c.curY >= c.y1);
    c.reset();
    QCOMPARE(c.curX, 2);
    QCOMPARE(c.curY, 11);
    QVERIFY(c.rowStart);
}

void TestAnalyzeCond::walkUnevenSplit()
{
    AnalyzeCond c;
    c.set(20, 20, 2, 2, QRectF(0, 0, 8, 12), -1, -1);
    const auto v = walk(c);
    // Centres 2 and 7 across (the second block reaches column 9), 2 and 7 down,
    // and 12 is not below y1 = 12.
    QCOMPARE(c.blocksPerRow(), 2);
    QCOMPARE(c.blockRows(), 2);
    QCOMPARE(int(v.size()), 4);
    QCOMPARE(v[1].x, 7);
    QCOMPARE(v[3].y, 7);

    c.set(20, 20, 1, 0, QRectF(3, 0, 10, 1), 4, 1);  // centres 4, 8, 12
    QCOMPARE(int(walk(c).size()), 3);
    QCOMPARE(c.blocksPerRow(), 3);
}

void TestAnalyzeCond::walkNarrowerThanBlock()
{
    AnalyzeCond c;
    c.set(50, 50, 5, 5, QRectF(10, 10, 3, 2), -1, -1);
    auto v = walk(c);
    QCOMPARE(int(v.size()), 1);
    QCOMPARE(v[0].x, 15);
    QCOMPARE(v[0].y, 15);
    QVERIFY(v[0].rowStart);
    QCOMPARE(c.blocksPerRow(), 1);
    QCOMPARE(c.blockRows(), 1);

    // Empty region: still one block.
    c.set(50, 50, 0, 0, QRectF(4, 4, 0, 0), -1, -1);
    QCOMPARE(int(walk(c).size()), 1);
    QCOMPARE(c.blockCount(), qint64(1));
}

void TestAnalyzeCond::walkSinglePixelBlocks()
{
    AnalyzeCond c;
    c.set(30, 30, 0, 0, QRectF(10, 4, 3, 2), -1, -1);
    const auto v = walk(c);
    QCOMPARE(int(v.size()), 6);
    const int expect[6][2] = {{10, 4}, {11, 4}, {12, 4}, {10, 5}, {11, 5}, {12, 5}};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(v[i].x, expect[i][0]);
        QCOMPARE(v[i].y, expect[i][1]);
    }
}

void TestAnalyzeCond::walkPositiveSteps()
{
    // Overlapping blocks: step smaller than the block.
    AnalyzeCond c;
    c.set(100, 100, 3, 3, QRectF(0, 0, 20, 10), 2, 5);
    QCOMPARE(c.stepX, 2);
    QCOMPARE(c.stepY, 5);
    const auto v = walk(c);
    // x centres 3, 5, ..., 19 (9), y centres 3, 8 (2)
    QCOMPARE(int(v.size()), 18);
    QCOMPARE(c.blocksPerRow(), 9);
    QCOMPARE(c.blockRows(), 2);
}

void TestAnalyzeCond::zeroAndNegativeSteps()
{
    AnalyzeCond c;
    c.set(100, 100, 2, 1, QRectF(0, 0, 20, 9), 0, 0);
    QCOMPARE(c.stepX, 5);
    QCOMPARE(c.stepY, 3);
    QCOMPARE(int(walk(c, 1000).size()), 4 * 3);

    c.set(100, 100, 0, 0, QRectF(0, 0, 4, 2), 0, -7);
    QCOMPARE(c.stepX, 1);
    QCOMPARE(c.stepY, 1);
    QCOMPARE(int(walk(c, 1000).size()), 8);

    // Fields written directly: the walk still ends.
    c.stepX = 0;
    c.stepY = -3;
    QCOMPARE(int(walk(c, 1000).size()), 8);
}

void TestAnalyzeCond::negativeHalfWidths()
{
    AnalyzeCond c;
    c.set(100, 100, -2, -1, QRectF(0, 0, 20, 9), -1, -1);
    QCOMPARE(c.xw, 2);
    QCOMPARE(c.yw, 1);
    QCOMPARE(c.stepX, 5);
    QCOMPARE(c.stepY, 3);
    QCOMPARE(int(walk(c, 1000).size()), 12);
}

void TestAnalyzeCond::hugeAndInvalidArea()
{
    AnalyzeCond c;
    c.set(10, 10, 0, 0, QRectF(qQNaN(), 0, 5, 1), -1, -1);
    QCOMPARE(c.x0, 0);
    c.set(10, 10, 1000, 0, QRectF(0, 0, 1e30, 1), 1000000000, -1);
    QVERIFY(c.x1 > 0);
    const auto v = walk(c, 10);
    QVERIFY(v.size() <= 3);  // no overflow, terminates quickly
}

void TestAnalyzeCond::fillBlockClips()
{
    const int w = 6, h = 5;
    std::vector<double> img(w * h + 2 * w, -1.0);  // one spare row each side
    double* base = img.data() + w;
    AnalyzeCond c;
    c.set(w, h, 1, 1, QRectF(0, 0, w, h), -1, -1);
    c.curX = 5;  // right border
    c.curY = 4;  // bottom border
    c.fillBlock(base, 7.0);
    for (int r = -1; r <= h; ++r)
        for (int col = 0; col < w; ++col) {
            const bool in = r >= 3 && r <= 4 && col >= 4 && col <= 5;
            QCOMPARE(base[r * w + col], in ? 7.0 : -1.0);
        }
    c.curX = 0;
    c.curY = 0;
    c.fillBlock(base, 3.0);
    QCOMPARE(base[0], 3.0);
    QCOMPARE(base[w + 1], 3.0);
    QCOMPARE(base[-1], -1.0);  // the spare row before the image
    QCOMPARE(base[2], -1.0);
    // Entirely outside: nothing written.
    c.curX = 100;
    c.fillBlock(base, 9.0);
    c.curX = -5;
    c.fillBlock(base, 9.0);
    for (double v : img) QVERIFY(v != 9.0);
    c.fillBlock(nullptr, 1.0);
}

QTEST_GUILESS_MAIN(TestAnalyzeCond)
#include "tst_analyzecond.moc"
