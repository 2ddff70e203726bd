#include "support/Files.h"
#include "support/Frames.h"

#include "core/ErrPoints.h"
#include "tools/DarkCheck.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <map>
#include <tuple>

using namespace DarkCheck;

namespace {

const int W = 6;
const int H = 5;
const double notANumber = std::numeric_limits<double>::quiet_NaN();

const QStringList allFiles{"dark-hg-all.dat", "dark-allDarkPoints.dat", "dark-allDarkPointNums.dat",
                           "dark-allDarkPoints-onlyInPs1.dat",
                           "dark-allDarkPoints-onlyInErrPs.dat"};

// The three frames as seen on screen (after their shifts): hot pixels over a
// plain background. The second frame is stored one column to the right, so
// its column 0 lies outside the stored image.
double view(int k, int x, int y)
{
    static const std::map<std::tuple<int, int, int>, double> hot{
        {{0, 0, 0}, 65535},   {{0, 1, 1}, 30000},   {{0, 4, 2}, 25000}, {{0, 2, 3}, 20001}, {{0, 5, 4}, 20000},
        {{1, 1, 1}, 31000},   {{1, 4, 2}, 20000},   {{1, 2, 3}, 40000}, {{2, 1, 1}, 29000.5},
        {{2, 2, 3}, 20000.5}, {{2, 3, 0}, 17400},   {{2, 4, 0}, 60000}, {{2, 5, 0}, 59999}, {{2, 0, 4}, -3},
        {{2, 1, 4}, notANumber}};
    if (k == 1 && x == 0) return 0;
    const auto it = hot.find({k, x, y});
    if (it != hot.end()) return it->second;
    return k == 0 ? 100 + x + 10 * y : k == 1 ? 50 : 0;
}

void buildStack(ts::Stack& s)
{
    s.add(ts::frame(TiffData::UInt16, W, H, [](int c, int r) { return view(0, c, r); }));
    s.add(ts::frame(TiffData::UInt32, W, H, [](int c, int r) { return view(1, c + 1, r); }, 0, QString(), 1, 0));
    s.add(ts::frame(TiffData::Float32, W, H, [](int c, int r) { return view(2, c, r); }));
}

// The histogram file of the three frames, 100 bins of 600 up to 60000: a
// value's counter is the last bin edge not above it; below 0 and NaN in 0.
QByteArray expectedHistogram()
{
    QVector<long> counts(101, 0);
    for (int k = 0; k < 3; k++)
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                const double v = view(k, x, y);
                int i = 0;
                while (v >= 0 && i < 100 && (i + 1) * 600.0 <= v) i++;
                counts[i]++;
            }
    QByteArray t = "# min, max = (0, 60000)  bins = 100\n";
    for (int i = 0; i <= 100; i++)
        t += QByteArray::number(i) + "\t" + QByteArray::number(i * 600) + "\t" + QByteArray::number(qlonglong(counts[i])) + "\n";
    return t;
}

}  // namespace

class TestDarkCheck : public QObject
{
    Q_OBJECT

private slots:
    // Every integer value against exact integer arithmetic, with bins that
    // do not divide the maximum, and the values (17400 of 60000 in 100 bins)
    // the float formula misplaces.
    void indexAgainstIntegerBins()
    {
        for (int bins : {100, 7, 1}) {
            for (long v = 0; v <= 70000; v++) {
                const long expected = std::min<long>(v * bins / 60000, bins);
                if (histogramIndex(double(v), 0, 60000, bins) != int(expected))
                    QFAIL(qPrintable(QString("v %1 bins %2").arg(v).arg(bins)));
            }
        }
        QCOMPARE(histogramIndex(4e9, 0, 60000, 100), 100);
        QCOMPARE(histogramIndex(std::numeric_limits<double>::infinity(), 0, 60000, 100), 100);
    }

    // Nothing lands outside the counters: negative values, NaN, a maximum of
    // 0, below 0 or NaN, no bins at all.
    void indexStaysInside()
    {
        const double inf = std::numeric_limits<double>::infinity();
        for (double max : {60000.0, 1.0, 0.0, -5.0, notANumber, inf}) {
            for (int bins : {0, 1, 100}) {
                for (double v : {-1e30, -inf, -3.0, -0.0, 0.0, 0.5, 1.0, 17400.0, 60000.0, 1e30, inf,
                                 notANumber}) {
                    const int i = histogramIndex(v, 0, max, bins);
                    QVERIFY2(i >= 0 && i <= bins, qPrintable(QString("v %1 max %2 bins %3 -> %4")
                                                                 .arg(v).arg(max).arg(bins).arg(i)));
                }
            }
        }
        // From the maximum upwards is the last counter, whatever the maximum.
        QCOMPARE(histogramIndex(0, 0, 0, 100), 100);
        QCOMPARE(histogramIndex(7, 0, -5, 100), 100);
        QCOMPARE(histogramIndex(-7, 0, -5, 100), 0);
    }

    // The five files of a three-image stack with a shifted frame, pixels at
    // the threshold, a float frame with NaN and a negative value, read back
    // against contents built here from the frames' definitions.
    void filesByteByByte()
    {
        ts::Stack s;
        buildStack(s);
        ErrPoints errPs;
        errPs.points = {{3, 3}, {2, 3}, {0, 0}};
        QTemporaryDir dir;
        QVERIFY(run(s.frames, errPs, 20000, 60000, 100, dir.path()));

        QCOMPARE(ts::readAll(dir.filePath("dark-hg-all.dat")), expectedHistogram());
        // (0,0) falls outside the shifted frame, (4,2) equals the threshold
        // in the second frame, (5,4) in the first.
        QCOMPARE(ts::readAll(dir.filePath("dark-allDarkPoints.dat")),
                 QByteArray("# Size 6\t5\n1\t1\t90000.5\n2\t3\t80001.5\n"));
        QCOMPARE(ts::readAll(dir.filePath("dark-allDarkPointNums.dat")), QByteArray("0\t4\n1\t2\n2\t2\n"));
        QCOMPARE(ts::readAll(dir.filePath("dark-allDarkPoints-onlyInPs1.dat")), QByteArray("1\t1\n"));
        QCOMPARE(ts::readAll(dir.filePath("dark-allDarkPoints-onlyInErrPs.dat")),
                 QByteArray("3\t3\n0\t0\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 5);  // no temporary file left
    }

    // Frames of different sizes: the smaller frame reads 0 outside itself,
    // which drops the points there; a debug line says so.
    void differentSizes()
    {
        ts::Stack s;
        s.add(ts::frame(TiffData::UInt16, W, H, [](int c, int r) { return view(0, c, r); }));
        s.add(ts::frame(TiffData::UInt16, 2, 2, [](int, int) { return 30000; }));
        QTemporaryDir dir;
        QTest::ignoreMessage(QtDebugMsg,
                             "Dark check: I1 images differ in size; pixels outside an image read 0 there");
        QVERIFY(run(s.frames, ErrPoints(), 20000, 60000, 100, dir.path()));
        QCOMPARE(ts::readAll(dir.filePath("dark-allDarkPoints.dat")),
                 QByteArray("# Size 6\t5\n0\t0\t95535\n1\t1\t60000\n"));
        QCOMPARE(ts::readAll(dir.filePath("dark-allDarkPointNums.dat")), QByteArray("0\t4\n1\t2\n"));
    }

    // Bad input writes nothing and says why.
    void badInputWritesNothing()
    {
        QTemporaryDir dir;
        QTest::ignoreMessage(QtDebugMsg, "Dark check: no I1 image");
        QVERIFY(!run({}, ErrPoints(), 20000, 60000, 100, dir.path()));

        ts::Stack s;
        buildStack(s);
        QVector<TiffData*> withHole = s.frames;
        withHole.insert(1, nullptr);
        QTest::ignoreMessage(QtDebugMsg, "Dark check: missing I1 image");
        QVERIFY(!run(withHole, ErrPoints(), 20000, 60000, 100, dir.path()));

        QTest::ignoreMessage(QtDebugMsg, "Dark check: histogram bins -1 out of 0 ... 16777216");
        QVERIFY(!run(s.frames, ErrPoints(), 20000, 60000, -1, dir.path()));
        QTest::ignoreMessage(QtDebugMsg, "Dark check: histogram bins 2147483647 out of 0 ... 16777216");
        QVERIFY(!run(s.frames, ErrPoints(), 20000, 60000, 2147483647, dir.path()));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    }

    // A folder that cannot be written, and one file that cannot be: no file
    // is created or replaced, no temporary file stays.
    void unwritableWritesNothing()
    {
        ts::Stack s;
        buildStack(s);
        QTemporaryDir dir;
        QVERIFY(ts::writeFile(dir.filePath("plain"), "x"));
        const QString notAFolder = dir.filePath("plain/sub");
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Can't write " + notAFolder + "/dark-hg-all.dat"));
        QVERIFY(!run(s.frames, ErrPoints(), 20000, 60000, 100, notAFolder));

        for (const QString& f : allFiles) QVERIFY(ts::writeFile(dir.filePath(f), "old\n"));
        QFile::remove(dir.filePath("dark-allDarkPointNums.dat"));
        QVERIFY(QDir(dir.path()).mkdir("dark-allDarkPointNums.dat"));
        QTest::ignoreMessage(QtDebugMsg,
                             qPrintable("Can't write " + dir.filePath("dark-allDarkPointNums.dat")));
        QVERIFY(!run(s.frames, ErrPoints(), 20000, 60000, 100, dir.path()));
        for (const QString& f : allFiles)
            if (f != "dark-allDarkPointNums.dat") QCOMPARE(ts::readAll(dir.filePath(f)), QByteArray("old\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).size(), 6);
    }
};

QTEST_GUILESS_MAIN(TestDarkCheck)
#include "tst_darkcheck.moc"
