#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "support/Files.h"
#include "tools/EShiftMapFile.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <limits>

using namespace EShiftMapFile;

namespace {

const double si111 = 3.13553;

// Bragg angle written out independently of the code under test.
double bragg(double e, double d)
{
    return std::asin(12398.424360387684 / e / (2 * d)) / 3.1415926535 * 180.0;
}

QString printfG(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return QString::fromLatin1(buf);
}

void makeMap(Analyzed2DRes& map, int mapW, int mapH)
{
    AnalyzeCond g;
    g.set(mapW, mapH, 0, 0, 0, 0, mapW, mapH, -1, -1);
    map.setCond(g);
    for (int y = 0; y < mapH; y++)
        for (int x = 0; x < mapW; x++) map.setData(x, y, 0, 0, (x - 3) * 0.75 + y * 0.1 - 0.2);
}

EMPHeader headerFor(int w, int h, double e0)
{
    AnalyzeCond g;
    g.set(w, h, 1, 2, 1, 2, w - 2, h - 3, -1, -1);
    return headerOf(g, 12, -7, e0, si111);
}

// A 3 x 2 map of 42s, to show a failed read left it alone.
void prefill(Analyzed2DRes& map, AnalyzeCond& grid)
{
    grid.set(3, 2, 0, 0, 0, 0, 3, 2, -1, -1);
    map.setCond(grid);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++) map.setData(x, y, 0, 0, 42);
}

void checkUntouched(const Analyzed2DRes& map, const AnalyzeCond& grid)
{
    QCOMPARE(map.width(), 3);
    QCOMPARE(map.height(), 2);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++) QCOMPARE(map.valueAt(x, y), 42.0);
    QCOMPARE(grid.width, 3);
    QCOMPARE(grid.x1, 3);
}

const QByteArray goodHeader = "###Corvenlith::KWOP\n"
                              "Std Edge Energy [eV]    : 8979\n"
                              "Spacing [nm]            : 3.13553\n"
                              "Width [pix]             : 3\n"
                              "Height [pix]            : 2\n"
                              "##-----------------\n";

QByteArray headerWith(const char* from, const char* to) { return QByteArray(goodHeader).replace(from, to); }

}  // namespace

Q_DECLARE_METATYPE(LoadResult)

class TestEShiftMapFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initColorTables(); }

    void angles()
    {
        QCOMPARE(angleOf(8979, si111), bragg(8979, si111));
        QCOMPARE(angleOf(1000, si111), -1.0);  // below the crystal's reach
        QVERIFY(!hasAngle(-8979, si111));
        QVERIFY(!hasAngle(8979, 0));
        const double t0 = angleOf(8979, si111);
        QVERIFY(std::fabs(shiftOfAngle(angleOf(8979 - 2.5, si111) - t0, t0, 8979, si111) - 2.5) < 1e-9);
    }

    // Every line of the file, then every value read back.
    void writeThenRead()
    {
        QTemporaryDir dir;
        Analyzed2DRes map("shift");
        makeMap(map, 7, 5);
        const int imgW = 9, imgH = 6;
        const double e0 = 8979.0;
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7, 89));
        QVERIFY(write(dir.filePath("m"), map, headerFor(imgW, imgH, e0), "C:/std/cu.dat", imgW, imgH, when));

        QStringList expect = {
            "###Corvenlith::KWOP",
            "Record Date             : 26/03/04 05:06:07.089",
            "Std Edge Energy [eV]    : 8979",
            "Spacing [nm]            : 3.13553",
            "X Offset [pix]          : 12",
            "Y Offset [pix]          : -7",
            "Width [pix]             : 9",
            "Height [pix]            : 6",
            "Bin Half Width [pix]    : 1",
            "Bin Half Height [pix]   : 2",
            "Area X0                 : 1",
            "Area X1                 : 8",
            "Area Y0                 : 2",
            "Area Y1                 : 5",
            "Std File Name           : C:/std/cu.dat",
            "Map Height              : 5",
        };
        for (int i = 0; i < 5; i++) expect << QString("Map Width               : %1 7").arg(i);
        expect << "##-----------------";
        const double t0 = bragg(e0, si111);
        auto shiftAt = [&](int x, int y) { return (x < 7 && y < 5) ? map.valueAt(x, y) : 0.0; };
        for (int y = 0; y < imgH; y++) {
            QString row;
            for (int x = 0; x < imgW; x++) row += printfG(bragg(e0 - shiftAt(x, y), si111) - t0) + " ";
            expect << row;
        }
        QCOMPARE(ts::readLines(dir.filePath("m.emp")), expect);

        Analyzed2DRes back("back");
        AnalyzeCond grid;
        EMPHeader r;
        LoadSettings set;
        QCOMPARE(load(dir.filePath("m.emp"), back, r, grid, set), LoadResult::Loaded);
        QVERIFY(r.valid);
        const QVector<int> got{r.xOffset, r.yOffset, r.width, r.height, r.binHalfWidth, r.binHalfHeight,
                               r.areaX0, r.areaX1, r.areaY0, r.areaY1, grid.stepX, grid.stepY};
        QCOMPARE(got, (QVector<int>{12, -7, 9, 6, 1, 2, 1, 8, 2, 5, 3, 5}));
        QCOMPARE(r.stdEdgeEnergy, 8979.0);
        QCOMPARE(r.spacing, si111);
        QCOMPARE(back.width(), imgW);
        QCOMPARE(back.height(), imgH);
        for (int y = 0; y < imgH; y++)
            for (int x = 0; x < imgW; x++) QVERIFY(std::fabs(back.valueAt(x, y) - shiftAt(x, y)) < 1e-4);
    }

    // An edge energy given for reading wins over the file's; the shifts are
    // then measured from it.
    void edgeEnergyOverridesFile()
    {
        QTemporaryDir dir;
        Analyzed2DRes map("shift");
        makeMap(map, 4, 3);
        QVERIFY(write(dir.filePath("m.emp"), map, headerFor(4, 3, 8979), "", 4, 3));
        Analyzed2DRes back;
        AnalyzeCond grid;
        EMPHeader r;
        LoadSettings set;
        set.edgeEV = 9659;
        QCOMPARE(load(dir.filePath("m.emp"), back, r, grid, set), LoadResult::Loaded);
        const double t0 = bragg(9659, si111);
        const double v = bragg(8979 - map.valueAt(2, 1), si111) - bragg(8979, si111);
        const double expect = 9659 - 12398.424360387684 / (2 * std::sin((v + t0) / 180.0 * 3.1415926535) * si111);
        QVERIFY(std::fabs(back.valueAt(2, 1) - expect) < 1e-4);
        QVERIFY(std::fabs(back.valueAt(2, 1) - map.valueAt(2, 1)) > 0.01);
    }

    void shortMagicKeysInAnyOrder()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("s.emp");
        QVERIFY(ts::writeFile(p, "###KWOP old file\n"
                                 "Height [pix]            : 2\n"
                                 "something else\n"
                                 "X Offset [pix]          : 5\n"
                                 "Spacing [nm]            : 3.13553\n"
                                 "Width [pix]             : 3\n"
                                 "Std Edge Energy [eV]    : 8979\n"
                                 "##------------------- more\n"
                                 "0 0.01 -0.01\n0 0\n0\n"));
        Analyzed2DRes map;
        AnalyzeCond grid;
        EMPHeader h;
        LoadSettings set;
        QCOMPARE(load(p, map, h, grid, set), LoadResult::Loaded);
        QCOMPARE(h.xOffset, 5);
        QCOMPARE(map.width(), 3);
        QVERIFY(map.valueAt(1, 0) > 0);  // a larger angle: a lower energy, a positive shift
        QVERIFY(map.valueAt(2, 0) < 0);
        QVERIFY(std::fabs(map.valueAt(2, 1)) < 1e-9);
    }

    void headerReader_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("good") << goodHeader << true;
        for (const char* k : {"Std Edge", "Spacing", "Width", "Height"}) {
            QByteArray t;
            for (const QByteArray& l : goodHeader.split('\n'))
                if (!l.startsWith(k)) t += l + "\n";
            QTest::newRow(qPrintable(QString("no ") + k)) << t << false;
        }
        QTest::newRow("key without value") << headerWith(": 3\n", ": \n") << false;
        QTest::newRow("key without padding") << headerWith("Width [pix]             : 3", "Width [pix] : 3") << false;
        QTest::newRow("negative height") << headerWith(": 2\n", ": -2\n") << false;
    }
    void headerReader()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QString s = QString::fromLatin1(text) + "1 2 3\n";
        QTextStream in(&s);
        QCOMPARE(readHeader(in).valid, valid);
        if (valid) QCOMPARE(in.readLine(), QString("1 2 3"));  // left after the separator
    }

    // Damaged and foreign files fail with their verdict and leave the map and
    // its grid as they were.
    void damagedFilesKeepTheMap_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<LoadResult>("result");
        const QByteArray minusT0 = QByteArray::number(-angleOf(8979, si111), 'g', 17);
        QTest::newRow("text") << QByteArray("just some notes\nWidth [pix]             : 3\n")
                              << LoadResult::InvalidHeader;
        QTest::newRow("empty") << QByteArray() << LoadResult::InvalidHeader;
        QTest::newRow("cut in header") << goodHeader.left(goodHeader.indexOf("##-")) << LoadResult::InvalidHeader;
        QTest::newRow("cut in data") << goodHeader + "0 0 0 \n0 0 " << LoadResult::DamagedData;
        QTest::newRow("words among values") << goodHeader + "0 0 zero\n0 0 0\n" << LoadResult::DamagedData;
        QTest::newRow("no edge energy") << headerWith(": 8979", ": 0") + "0 0 0\n0 0 0\n" << LoadResult::DamagedData;
        QTest::newRow("angle of no energy") << goodHeader + "0 0 0\n0 0 " + minusT0 + "\n" << LoadResult::DamagedData;
        QTest::newRow("huge size")
            << headerWith(": 3\n", ": 2000000000\n").replace(": 2\n", ": 2000000000\n") + "0 0 0\n"
            << LoadResult::InvalidHeader;
        for (const char* v : {"nan", "inf", "-inf"})
            QTest::newRow(v) << goodHeader + "0 0 0\n0 " + v + " 0\n" << LoadResult::DamagedData;
    }
    void damagedFilesKeepTheMap()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(LoadResult, result);
        QTemporaryDir dir;
        const QString p = dir.filePath("bad.emp");
        QVERIFY(ts::writeFile(p, bytes));
        Analyzed2DRes map;
        AnalyzeCond grid;
        prefill(map, grid);
        EMPHeader h;
        LoadSettings set;
        QCOMPARE(load(p, map, h, grid, set), result);
        QVERIFY(!h.valid);
        checkUntouched(map, grid);
    }

    void missingFileKeepsTheHeader()
    {
        QTemporaryDir dir;
        Analyzed2DRes map;
        AnalyzeCond grid;
        prefill(map, grid);
        EMPHeader h;
        h.xOffset = 99;
        LoadSettings set;
        QCOMPARE(load(dir.filePath("none.emp"), map, h, grid, set), LoadResult::CannotOpen);
        QCOMPARE(h.xOffset, 99);
        checkUntouched(map, grid);
    }

    // A header of size 0 gives an empty map and reads no value.
    void emptyMap()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("z.emp");
        QVERIFY(ts::writeFile(p, headerWith(": 3\n", ": 0\n")));
        Analyzed2DRes map;
        AnalyzeCond grid;
        prefill(map, grid);
        EMPHeader h;
        LoadSettings set;
        QCOMPARE(load(p, map, h, grid, set), LoadResult::Loaded);
        QCOMPARE(map.width(), 0);
        QVERIFY(!map.hasImage);
    }

    void sizeCheck_data()
    {
        QTest::addColumn<bool>("check");
        QTest::addColumn<int>("imageW");
        QTest::addColumn<LoadResult>("result");
        QTest::addColumn<int>("imageWAfter");
        QTest::newRow("checked, other size") << true << 4 << LoadResult::SizeMismatch << 4;
        QTest::newRow("unchecked") << false << 4 << LoadResult::Loaded << 4;
        QTest::newRow("no image yet") << true << -1 << LoadResult::Loaded << 3;
    }
    void sizeCheck()
    {
        QFETCH(bool, check);
        QFETCH(int, imageW);
        QFETCH(LoadResult, result);
        QFETCH(int, imageWAfter);
        QTemporaryDir dir;
        const QString p = dir.filePath("s.emp");
        QVERIFY(ts::writeFile(p, goodHeader + "0 0 0\n0 0 0\n"));
        Analyzed2DRes map;
        AnalyzeCond grid;
        prefill(map, grid);
        EMPHeader h;
        LoadSettings set;
        set.checkSize = check;
        set.imageWidth = imageW;
        set.imageHeight = imageW < 0 ? -1 : 2;
        QCOMPARE(load(p, map, h, grid, set), result);
        QCOMPARE(set.imageWidth, imageWAfter);
        if (result != LoadResult::Loaded) checkUntouched(map, grid);
    }

    void writerCases()
    {
        QTemporaryDir dir;
        Analyzed2DRes map("shift");
        makeMap(map, 3, 3);
        // No image loaded: header only.
        QVERIFY(write(dir.filePath("noimg"), map, headerFor(3, 3, 8979), "", -1, -1));
        const QStringList l = ts::readLines(dir.filePath("noimg.emp"));
        QCOMPARE(l.size(), 1 + 15 + 3 + 1);
        QCOMPARE(l.last(), QString("##-----------------"));
        QVERIFY(write(dir.filePath("other.map"), map, headerFor(3, 3, 8979), "", 3, 3));
        QVERIFY(QFile::exists(dir.filePath("other.map")));
        QVERIFY(!write(dir.filePath("nostd"), map, headerFor(3, 3, 0), "", 3, 3));
        QVERIFY(!QFile::exists(dir.filePath("nostd.emp")));
        QVERIFY(!write(dir.filePath("no/such/dir/x"), map, headerFor(3, 3, 8979), "", 3, 3));
        // A failed write leaves an earlier file whole.
        const QString keep = dir.filePath("keep.emp");
        QVERIFY(write(keep, map, headerFor(3, 3, 8979), "", 3, 3));
        const QByteArray before = ts::readAll(keep);
        QVERIFY(!write(keep, map, headerFor(3, 3, -5), "", 3, 3));
        QCOMPARE(ts::readAll(keep), before);
    }

    // A shift that is no number, or whose energy the crystal cannot reflect,
    // has no angle that reads back as itself: nothing is written.
    void shiftsWithoutAngle_data()
    {
        QTest::addColumn<double>("shift");
        QTest::addColumn<bool>("written");
        const double lowest = hc / (2 * si111);  // energy at 90 degrees
        QTest::newRow("plain") << 1.5 << true;
        QTest::newRow("just reachable") << 8979 - lowest - 0.5 << true;
        QTest::newRow("below the crystal's range") << 8979 - lowest + 1.0 << false;
        QTest::newRow("nan") << std::nan("") << false;
        QTest::newRow("inf") << std::numeric_limits<double>::infinity() << false;
    }
    void shiftsWithoutAngle()
    {
        QFETCH(double, shift);
        QFETCH(bool, written);
        QTemporaryDir dir;
        Analyzed2DRes map;
        makeMap(map, 2, 1);
        map.data[1] = shift;
        const QString p = dir.filePath("s.emp");
        QCOMPARE(write(p, map, headerFor(2, 1, 8979), "", 2, 1), written);
        QCOMPARE(QFile::exists(p), written);
        if (!written) return;
        Analyzed2DRes back;
        AnalyzeCond grid;
        EMPHeader h;
        LoadSettings set;
        QCOMPARE(load(p, back, h, grid, set), LoadResult::Loaded);
        QVERIFY(std::fabs(back.valueAt(1, 0) - shift) < 1e-3 * std::max(1.0, std::fabs(shift)));
    }
};

QTEST_GUILESS_MAIN(TestEShiftMapFile)
#include "tst_eshiftmapfile.moc"
