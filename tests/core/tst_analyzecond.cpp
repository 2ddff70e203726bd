#include "core/AnalyzeCond.h"

#include <QtTest>
#include <vector>

namespace {

struct Walk {
    int halfX, halfY, askX, askY, firstX, firstY, stepX, stepY, perRow, rows;
};

struct Visit {
    int x, y;
    bool rowStart;
};

// Walks the grid the way every client does, with a cap so that a broken walk
// fails instead of hanging.
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

Q_DECLARE_METATYPE(Walk)

class TestAnalyzeCond : public QObject
{
    Q_OBJECT
private slots:
    // Every block centre in order: half widths, asked steps (-1: whole blocks),
    // first centre, steps taken, blocks per row and rows.
    void walks_data()
    {
        QTest::addColumn<QRectF>("area");
        QTest::addColumn<Walk>("w");
        QTest::newRow("even split") << QRectF(0, 10, 100, 30) << Walk{2, 1, -1, -1, 2, 11, 5, 3, 20, 10};
        // The second block reaches column 9; 12 is not below y1 = 12.
        QTest::newRow("uneven split") << QRectF(0, 0, 8, 12) << Walk{2, 2, -1, -1, 2, 2, 5, 5, 2, 2};
        QTest::newRow("steps given") << QRectF(3, 0, 10, 1) << Walk{1, 0, 4, 1, 4, 0, 4, 1, 3, 1};
        QTest::newRow("narrower than a block") << QRectF(10, 10, 3, 2) << Walk{5, 5, -1, -1, 15, 15, 11, 11, 1, 1};
        QTest::newRow("empty area") << QRectF(4, 4, 0, 0) << Walk{0, 0, -1, -1, 4, 4, 1, 1, 1, 1};
        QTest::newRow("single pixels") << QRectF(10, 4, 3, 2) << Walk{0, 0, -1, -1, 10, 4, 1, 1, 3, 2};
        QTest::newRow("overlapping blocks") << QRectF(0, 0, 20, 10) << Walk{3, 3, 2, 5, 3, 3, 2, 5, 9, 2};
        QTest::newRow("zero steps") << QRectF(0, 0, 20, 9) << Walk{2, 1, 0, 0, 2, 1, 5, 3, 4, 3};
        QTest::newRow("negative step") << QRectF(0, 0, 4, 2) << Walk{0, 0, 0, -7, 0, 0, 1, 1, 4, 2};
        QTest::newRow("negative half widths") << QRectF(0, 0, 20, 9) << Walk{-2, -1, -1, -1, 2, 1, 5, 3, 4, 3};
        QTest::newRow("area drawn backwards") << QRectF(20, 0, -10, 5) << Walk{1, 1, -1, -1, 11, 1, 3, 3, 3, 2};
        // Corners truncated towards zero; a corner that is not a number reads 0.
        QTest::newRow("fractional area") << QRectF(10.9, 3.2, 5.5, 4.9) << Walk{0, 0, -1, -1, 10, 3, 1, 1, 6, 5};
        QTest::newRow("negative corners") << QRectF(-0.5, -1.7, 3, -1) << Walk{0, 0, -1, -1, 0, -2, 1, 1, 2, 1};
        QTest::newRow("corner not a number") << QRectF(qQNaN(), 0, 5, 1) << Walk{0, 0, -1, -1, 0, 0, 1, 1, 1, 1};
    }
    void walks()
    {
        QFETCH(QRectF, area);
        QFETCH(Walk, w);
        AnalyzeCond c;
        c.set(200, 200, w.halfX, w.halfY, area, w.askX, w.askY);
        QCOMPARE(QPoint(c.stepX, c.stepY), QPoint(w.stepX, w.stepY));
        const auto v = walk(c);
        QCOMPARE(QPoint(c.blocksPerRow(), c.blockRows()), QPoint(w.perRow, w.rows));
        QCOMPARE(int(v.size()), w.perRow * w.rows);
        QCOMPARE(c.blockCount(), qint64(v.size()));
        for (int i = 0; i < int(v.size()); ++i) {
            QCOMPARE(v[i].x, w.firstX + w.stepX * (i % w.perRow));
            QCOMPARE(v[i].y, w.firstY + w.stepY * (i / w.perRow));
            QCOMPARE(v[i].rowStart, i % w.perRow == 0);
        }
        // Steps written directly as 0 or below: the walk still ends.
        c.stepX = 0;
        c.stepY = -3;
        QVERIFY(walk(c).size() <= 100000);
    }

    void hugeAreaEndsQuickly()
    {
        AnalyzeCond c;
        c.set(10, 10, 1000, 0, QRectF(0, 0, 1e30, 1), 1000000000, -1);
        QVERIFY(c.x1 > 0);
        QVERIFY(walk(c, 10).size() <= 3);  // no overflow
        c.clear();
        QCOMPARE(walk(c).size(), size_t(1));  // a cleared grid still yields its one block
    }

    // A 3 x 3 block around the centre, clipped to the 6 x 5 image; one spare
    // row each side must stay untouched.
    void fillBlockClips_data()
    {
        QTest::addColumn<QPoint>("centre");
        QTest::addColumn<QRect>("filled");
        QTest::newRow("bottom right corner") << QPoint(5, 4) << QRect(QPoint(4, 3), QPoint(5, 4));
        QTest::newRow("top left corner") << QPoint(0, 0) << QRect(QPoint(0, 0), QPoint(1, 1));
        QTest::newRow("right of the image") << QPoint(100, 0) << QRect();
        QTest::newRow("left of the image") << QPoint(-5, 0) << QRect();
    }
    void fillBlockClips()
    {
        QFETCH(QPoint, centre);
        QFETCH(QRect, filled);
        const int w = 6, h = 5;
        std::vector<double> img(w * h + 2 * w, -1.0);
        double* base = img.data() + w;
        AnalyzeCond c;
        c.set(w, h, 1, 1, QRectF(0, 0, w, h), -1, -1);
        c.curX = centre.x();
        c.curY = centre.y();
        c.fillBlock(base, 7.0);
        for (int r = -1; r <= h; ++r)
            for (int col = 0; col < w; ++col)
                QCOMPARE(base[r * w + col], filled.contains(col, r) ? 7.0 : -1.0);
        c.fillBlock(nullptr, 1.0);
    }
};

QTEST_GUILESS_MAIN(TestAnalyzeCond)
#include "tst_analyzecond.moc"
