#include "core/Globals.h"
#include "support/Files.h"
#include "support/Maps.h"
#include "tools/EShiftMapFile.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

using namespace EShiftMapFile;

namespace {

const double si111 = 3.13553;

// Bragg angle written out independently of the code under test.
double bragg(double e, double d)
{
    return std::asin(12398.424360387684 / e / (2 * d)) / 3.1415926535 * 180.0;
}

double shiftAt(int x, int y) { return (x - 3) * 0.75 + y * 0.1 - 0.2; }

EMPHeader headerFor(int w, int h, double e0)
{
    AnalyzeCond g;
    g.set(w, h, 1, 2, 1, 2, w - 2, h - 3, -1, -1);
    return headerOf(g, 12, -7, e0, si111);
}

struct Read
{
    Analyzed2DRes map;
    AnalyzeCond grid;
    EMPHeader header;
    LoadSettings settings;

    LoadResult from(const QString& path) { return load(path, map, header, grid, settings); }
    // A 3 x 2 map of 42s, to show a failed read left it alone.
    void prefill()
    {
        grid = ts::fillMap(map, 3, 2, [](int, int) { return 42.0; });
    }
    void checkUntouched() const
    {
        QCOMPARE(QSize(map.width(), map.height()), QSize(3, 2));
        QCOMPARE(std::vector<double>(map.data, map.data + 6), std::vector<double>(6, 42.0));
        QCOMPARE(QSize(grid.width, grid.x1), QSize(3, 3));
    }
};

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

    // Every line of the file, then every value read back.
    void writeThenRead()
    {
        QTemporaryDir dir;
        Analyzed2DRes map("shift");
        ts::fillMap(map, 7, 5, shiftAt);
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
        auto written = [&](int x, int y) { return (x < 7 && y < 5) ? shiftAt(x, y) : 0.0; };
        for (int y = 0; y < imgH; y++) {
            QString row;
            for (int x = 0; x < imgW; x++) row += QString::asprintf("%g ", bragg(e0 - written(x, y), si111) - t0);
            expect << row;
        }
        QCOMPARE(ts::readLines(dir.filePath("m.emp")), expect);

        Read r;
        QCOMPARE(r.from(dir.filePath("m.emp")), LoadResult::Loaded);
        const EMPHeader& h = r.header;
        const QVector<int> got{h.xOffset, h.yOffset, h.width, h.height, h.binHalfWidth, h.binHalfHeight,
                               h.areaX0, h.areaX1, h.areaY0, h.areaY1, r.grid.stepX, r.grid.stepY};
        QCOMPARE(got, (QVector<int>{12, -7, 9, 6, 1, 2, 1, 8, 2, 5, 3, 5}));
        QCOMPARE(h.stdEdgeEnergy, 8979.0);
        QCOMPARE(h.spacing, si111);
        QCOMPARE(r.map.width(), imgW);
        QCOMPARE(r.map.height(), imgH);
        for (int y = 0; y < imgH; y++)
            for (int x = 0; x < imgW; x++) QVERIFY(std::fabs(r.map.valueAt(x, y) - written(x, y)) < 1e-4);

        // An edge energy given for reading wins over the file's; the shifts
        // are then measured from it.
        Read other;
        other.settings.edgeEV = 9659;
        QCOMPARE(other.from(dir.filePath("m.emp")), LoadResult::Loaded);
        const double v = bragg(e0 - shiftAt(2, 1), si111) - t0, t1 = bragg(9659, si111);
        const double want = 9659 - 12398.424360387684 / (2 * std::sin((v + t1) / 180.0 * 3.1415926535) * si111);
        QVERIFY(std::fabs(other.map.valueAt(2, 1) - want) < 1e-4);
        QVERIFY(std::fabs(other.map.valueAt(2, 1) - shiftAt(2, 1)) > 0.01);
    }

    // Damaged and foreign files fail with their verdict and leave the map and
    // its grid as they were; a header of size 0 reads as an empty map, and an
    // old file's keys are found in any order among other lines.
    void damagedFilesKeepTheMap_data()
    {
        QTest::addColumn<QByteArray>("bytes");  // "-": no file
        QTest::addColumn<LoadResult>("result");
        const QByteArray minusT0 = QByteArray::number(-angleOf(8979, si111), 'g', 17);
        QTest::newRow("missing") << QByteArray("-") << LoadResult::CannotOpen;
        QTest::newRow("text") << QByteArray("just some notes\nWidth [pix]             : 3\n")
                              << LoadResult::InvalidHeader;
        QTest::newRow("empty") << QByteArray() << LoadResult::InvalidHeader;
        QTest::newRow("cut in header") << goodHeader.left(goodHeader.indexOf("##-")) << LoadResult::InvalidHeader;
        for (const char* k : {"Std Edge", "Spacing", "Width", "Height"}) {
            QByteArray t;
            for (const QByteArray& l : goodHeader.split('\n'))
                if (!l.startsWith(k)) t += l + "\n";
            QTest::newRow(qPrintable(QString("no ") + k)) << t + "0 0 0\n0 0 0\n" << LoadResult::InvalidHeader;
        }
        QTest::newRow("key without value") << headerWith(": 3\n", ": \n") << LoadResult::InvalidHeader;
        QTest::newRow("key without padding") << headerWith("Width [pix]             : 3", "Width [pix] : 3")
                                             << LoadResult::InvalidHeader;
        QTest::newRow("negative height") << headerWith(": 2\n", ": -2\n") << LoadResult::InvalidHeader;
        QTest::newRow("huge size")
            << headerWith(": 3\n", ": 2000000000\n").replace(": 2\n", ": 2000000000\n") + "0 0 0\n"
            << LoadResult::InvalidHeader;
        QTest::newRow("cut in data") << goodHeader + "0 0 0 \n0 0 " << LoadResult::DamagedData;
        QTest::newRow("words among values") << goodHeader + "0 0 zero\n0 0 0\n" << LoadResult::DamagedData;
        QTest::newRow("no edge energy") << headerWith(": 8979", ": 0") + "0 0 0\n0 0 0\n" << LoadResult::DamagedData;
        QTest::newRow("angle of no energy") << goodHeader + "0 0 0\n0 0 " + minusT0 + "\n" << LoadResult::DamagedData;
        for (const char* v : {"nan", "inf", "-inf"})
            QTest::newRow(v) << goodHeader + "0 0 0\n0 " + v + " 0\n" << LoadResult::DamagedData;
        QTest::newRow("size 0") << headerWith(": 3\n", ": 0\n") << LoadResult::Loaded;
        QTest::newRow("old file") << QByteArray("###KWOP old file\n"
                                                "Height [pix]            : 2\n"
                                                "something else\n"
                                                "X Offset [pix]          : 5\n"
                                                "Spacing [nm]            : 3.13553\n"
                                                "Width [pix]             : 3\n"
                                                "Std Edge Energy [eV]    : 8979\n"
                                                "##------------------- more\n"
                                                "0 0 0\n0 0\n0\n")
                                  << LoadResult::Loaded;
    }
    void damagedFilesKeepTheMap()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(LoadResult, result);
        QTemporaryDir dir;
        const QString p = dir.filePath("bad.emp");
        if (bytes != "-") QVERIFY(ts::writeFile(p, bytes));
        Read r;
        r.prefill();
        r.header.xOffset = 99;
        QCOMPARE(r.from(p), result);
        if (result == LoadResult::Loaded) {
            QCOMPARE(r.map.width(), r.header.xOffset == 5 ? 3 : 0);
            QCOMPARE(r.map.hasImage, r.map.width() > 0);
            return;
        }
        QVERIFY(!r.header.valid);
        if (result == LoadResult::CannotOpen) QCOMPARE(r.header.xOffset, 99);
        r.checkUntouched();
    }

    void writerCases()
    {
        QTemporaryDir dir;
        Analyzed2DRes map("shift");
        ts::fillMap(map, 3, 3, shiftAt);
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

        // A shift that is no number, or whose energy the crystal cannot
        // reflect, has no angle that reads back as itself: nothing is written.
        const double lowest = hc / (2 * si111);  // energy at 90 degrees
        for (double shift : {8979 - lowest + 1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
            map.setData(1, 0, 0, 0, shift);
            QVERIFY(!write(dir.filePath("none"), map, headerFor(3, 3, 8979), "", 3, 3));
            QVERIFY(!QFile::exists(dir.filePath("none.emp")));
        }
        map.setData(1, 0, 0, 0, 8979 - lowest - 0.5);
        QVERIFY(write(dir.filePath("far"), map, headerFor(3, 3, 8979), "", 3, 3));
        Read r;
        QCOMPARE(r.from(dir.filePath("far.emp")), LoadResult::Loaded);
        QVERIFY(std::fabs(r.map.valueAt(1, 0) - (8979 - lowest - 0.5)) < 1e-3 * (8979 - lowest));
    }
};

QTEST_GUILESS_MAIN(TestEShiftMapFile)
#include "tst_eshiftmapfile.moc"
