#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "tools/EShiftMapFile.h"

#include <QFile>
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

// A map of mapW x mapH shifts on a grid of the image size.
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

QStringList linesOf(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromLatin1(f.readAll());
    QStringList l = text.split('\n');
    if (!l.isEmpty() && l.last().isEmpty()) l.removeLast();
    return l;
}

void writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

// A map whose every value is 42, to show a failed read left it alone.
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

}  // namespace

class TestEShiftMapFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initColorTables(); }

    void angles()
    {
        QCOMPARE(angleOf(8979, si111), bragg(8979, si111));
        QCOMPARE(angleOf(1000, si111), -1.0);  // below the crystal's reach
        QCOMPARE(angleOf(0, si111), -1.0);
        QVERIFY(hasAngle(8979, si111));
        QVERIFY(!hasAngle(0, si111));
        QVERIFY(!hasAngle(-8979, si111));
        QVERIFY(!hasAngle(8979, 0));
        QVERIFY(!hasAngle(1000, si111));
        // The shift rebuilt from its angle difference.
        const double t0 = angleOf(8979, si111);
        const double v = angleOf(8979 - 2.5, si111) - t0;
        QVERIFY(std::fabs(shiftOfAngle(v, t0, 8979, si111) - 2.5) < 1e-9);
        QVERIFY(std::fabs(shiftOfAngle(0, t0, 8979, si111)) < 1e-9);
    }

    // Every line of the file, then every value read back.
    void writeThenRead()
    {
        QTemporaryDir dir;
        Analyzed2DRes map("shift");
        makeMap(map, 7, 5);
        const int imgW = 9, imgH = 6;
        const double e0 = 8979.0;
        const EMPHeader h = headerFor(imgW, imgH, e0);
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7, 89));
        QVERIFY(write(dir.filePath("m"), map, h, "C:/std/cu.dat", imgW, imgH, when));

        const QStringList l = linesOf(dir.filePath("m.emp"));
        QCOMPARE(l.size(), 1 + 15 + 5 + 1 + imgH);
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
        for (int y = 0; y < imgH; y++) {
            QString row;
            for (int x = 0; x < imgW; x++) {
                const double s = (x < 7 && y < 5) ? map.valueAt(x, y) : 0.0;
                row += printfG(bragg(e0 - s, si111) - t0) + " ";
            }
            expect << row;
        }
        for (int i = 0; i < expect.size(); i++) QCOMPARE(l.at(i), expect.at(i));

        Analyzed2DRes back("back");
        AnalyzeCond grid;
        EMPHeader r;
        LoadSettings set;
        QCOMPARE(load(dir.filePath("m.emp"), back, r, grid, set), LoadResult::Loaded);
        QVERIFY(r.valid);
        QCOMPARE(r.xOffset, 12);
        QCOMPARE(r.yOffset, -7);
        QCOMPARE(r.width, 9);
        QCOMPARE(r.height, 6);
        QCOMPARE(r.binHalfWidth, 1);
        QCOMPARE(r.binHalfHeight, 2);
        QCOMPARE(r.areaX0, 1);
        QCOMPARE(r.areaX1, 8);
        QCOMPARE(r.areaY0, 2);
        QCOMPARE(r.areaY1, 5);
        QCOMPARE(r.stdEdgeEnergy, 8979.0);
        QCOMPARE(r.spacing, si111);
        QCOMPARE(back.width(), imgW);
        QCOMPARE(back.height(), imgH);
        QVERIFY(back.hasImage);
        for (int y = 0; y < imgH; y++)
            for (int x = 0; x < imgW; x++) {
                const double s = (x < 7 && y < 5) ? map.valueAt(x, y) : 0.0;
                QVERIFY2(std::fabs(back.valueAt(x, y) - s) < 1e-4,
                         qPrintable(QString("%1 %2: %3 vs %4").arg(x).arg(y).arg(back.valueAt(x, y)).arg(s)));
            }
        // The calibration grid is the file's.
        QCOMPARE(grid.width, 9);
        QCOMPARE(grid.x0, 1);
        QCOMPARE(grid.x1, 8);
        QCOMPARE(grid.y0, 2);
        QCOMPARE(grid.y1, 5);
        QCOMPARE(grid.stepX, 3);
        QCOMPARE(grid.stepY, 5);
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
        QCOMPARE(r.stdEdgeEnergy, 8979.0);
        const double t0 = bragg(9659, si111);
        const double v = bragg(8979 - map.valueAt(2, 1), si111) - bragg(8979, si111);
        const double expect = 9659 - 12398.424360387684 / (2 * std::sin((v + t0) / 180.0 * 3.1415926535) * si111);
        QVERIFY(std::fabs(back.valueAt(2, 1) - expect) < 1e-4);
        QVERIFY(std::fabs(back.valueAt(2, 1) - map.valueAt(2, 1)) > 0.01);  // not the same shift
    }

    void shortMagicKeysInAnyOrder()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("s.emp");
        writeText(p, "###KWOP old file\n"
                     "Height [pix]            : 2\n"
                     "something else\n"
                     "X Offset [pix]          : 5\n"
                     "Spacing [nm]            : 3.13553\n"
                     "Map Width               : 0 3\n"
                     "Width [pix]             : 3\n"
                     "Std Edge Energy [eV]    : 8979\n"
                     "##------------------- more\n"
                     "0 0.01 -0.01\n0 0\n0\n");
        Analyzed2DRes map;
        AnalyzeCond grid;
        EMPHeader h;
        LoadSettings set;
        QCOMPARE(load(p, map, h, grid, set), LoadResult::Loaded);
        QVERIFY(h.valid);
        QCOMPARE(h.xOffset, 5);
        QCOMPARE(h.areaX0, 0);
        QCOMPARE(h.areaX1, 0);
        QCOMPARE(h.binHalfWidth, 0);
        QCOMPARE(map.width(), 3);
        QVERIFY(std::fabs(map.valueAt(0, 0)) < 1e-9);
        QVERIFY(map.valueAt(1, 0) > 0);  // a larger angle: a lower energy, a positive shift
        QVERIFY(map.valueAt(2, 0) < 0);
        QVERIFY(std::fabs(map.valueAt(2, 1)) < 1e-9);
    }

    void headerReader()
    {
        {
            QString text = QString::fromLatin1(goodHeader) + "1 2 3\n";
            QTextStream in(&text);
            const EMPHeader h = readHeader(in);
            QVERIFY(h.valid);
            QCOMPARE(in.readLine(), QString("1 2 3"));  // left after the separator
        }
        {
            // Each required key missing in turn.
            const QStringList keys = {"Std Edge", "Spacing", "Width", "Height"};
            for (const QString& k : keys) {
                QString text;
                for (const QString& line : QString::fromLatin1(goodHeader).split('\n'))
                    if (!line.startsWith(k)) text += line + "\n";
                QTextStream in(&text);
                QVERIFY2(!readHeader(in).valid, qPrintable(k));
            }
        }
        {
            // A key without a value is not given.
            QString text = QString::fromLatin1(goodHeader).replace("Width [pix]             : 3",
                                                                 "Width [pix]             : ");
            QTextStream in(&text);
            QVERIFY(!readHeader(in).valid);
        }
        {
            // Keys are case-sensitive and need their padding.
            QString text = QString::fromLatin1(goodHeader).replace("Width [pix]             : 3",
                                                                 "Width [pix] : 3");
            QTextStream in(&text);
            QVERIFY(!readHeader(in).valid);
        }
        {
            QString text = QString::fromLatin1(goodHeader).replace("Height [pix]            : 2",
                                                                 "Height [pix]            : -2");
            QTextStream in(&text);
            QVERIFY(!readHeader(in).valid);
        }
        {
            QString text;
            QTextStream in(&text);
            QTest::ignoreMessage(QtDebugMsg, "Not a emp file.");
            QVERIFY(!readHeader(in).valid);
        }
    }

    // Damaged and foreign files fail with their message and leave the map,
    // its grid and (but for what was read) the header as they were.
    void damagedFilesKeepTheMap()
    {
        QTemporaryDir dir;
        Analyzed2DRes map;
        AnalyzeCond grid;
        prefill(map, grid);
        LoadSettings set;

        const QString text = dir.filePath("text.emp");
        writeText(text, "just some notes\nWidth [pix]             : 3\n");
        EMPHeader h;
        QTest::ignoreMessage(QtDebugMsg, "Not a emp file.");
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Invalid Energy Map Data File : " + text));
        QCOMPARE(load(text, map, h, grid, set), LoadResult::InvalidHeader);
        QVERIFY(!h.valid);
        checkUntouched(map, grid);

        const QString empty = dir.filePath("empty.emp");
        writeText(empty, "");
        QCOMPARE(load(empty, map, h, grid, set), LoadResult::InvalidHeader);
        checkUntouched(map, grid);

        // Cut inside the header: no separator.
        const QString cutHeader = dir.filePath("cuth.emp");
        writeText(cutHeader, goodHeader.left(goodHeader.indexOf("##-")));
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Invalid Energy Map Data File : " + cutHeader));
        QCOMPARE(load(cutHeader, map, h, grid, set), LoadResult::InvalidHeader);
        QVERIFY(!h.valid);
        QCOMPARE(h.width, 3);  // what was read is kept
        checkUntouched(map, grid);

        // Cut inside the data: 5 of 6 values.
        const QString cutData = dir.filePath("cutd.emp");
        writeText(cutData, goodHeader + "0 0 0 \n0 0 ");
        QCOMPARE(load(cutData, map, h, grid, set), LoadResult::DamagedData);
        QVERIFY(!h.valid);
        QVERIFY(headerWasRead(LoadResult::DamagedData));
        checkUntouched(map, grid);

        // Text among the values.
        const QString words = dir.filePath("words.emp");
        writeText(words, goodHeader + "0 0 zero\n0 0 0\n");
        QCOMPARE(load(words, map, h, grid, set), LoadResult::DamagedData);
        checkUntouched(map, grid);

        // No edge energy to turn the angles back into energies.
        const QString noEdge = dir.filePath("noedge.emp");
        writeText(noEdge, QByteArray(goodHeader).replace(": 8979", ": 0") + "0 0 0\n0 0 0\n");
        QCOMPARE(load(noEdge, map, h, grid, set), LoadResult::DamagedData);
        checkUntouched(map, grid);

        // An angle that gives no energy (the sine would be 0).
        const QString flat = dir.filePath("flat.emp");
        const QByteArray minusT0 = QByteArray::number(-angleOf(8979, si111), 'g', 17);
        writeText(flat, goodHeader + "0 0 0\n0 0 " + minusT0 + "\n");
        QCOMPARE(load(flat, map, h, grid, set), LoadResult::DamagedData);
        checkUntouched(map, grid);

        // Sizes no detector has make the header itself damaged: none of its
        // numbers is taken, nothing is allocated.
        const QString huge = dir.filePath("huge.emp");
        writeText(huge, QByteArray(goodHeader).replace(": 3\n", ": 2000000000\n").replace(": 2\n", ": 2000000000\n")
                            + "0 0 0\n");
        QCOMPARE(load(huge, map, h, grid, set), LoadResult::InvalidHeader);
        QVERIFY(!headerWasRead(LoadResult::InvalidHeader));
        checkUntouched(map, grid);

        const QString missing = dir.filePath("none.emp");
        h = EMPHeader();
        h.xOffset = 99;
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Can not open " + missing));
        QCOMPARE(load(missing, map, h, grid, set), LoadResult::CannotOpen);
        QCOMPARE(h.xOffset, 99);  // untouched
        checkUntouched(map, grid);
    }

    // A header of size 0 gives an empty map and reads no value.
    void emptyMap()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("z.emp");
        writeText(p, QByteArray(goodHeader).replace(": 3\n", ": 0\n"));
        Analyzed2DRes map;
        AnalyzeCond grid;
        prefill(map, grid);
        EMPHeader h;
        LoadSettings set;
        QCOMPARE(load(p, map, h, grid, set), LoadResult::Loaded);
        QVERIFY(h.valid);
        QCOMPARE(map.width(), 0);
        QCOMPARE(map.valueAt(0, 0), 0.0);
        QVERIFY(!map.hasImage);
    }

    void sizeCheck()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("s.emp");
        writeText(p, goodHeader + "0 0 0\n0 0 0\n");
        Analyzed2DRes map;
        AnalyzeCond grid;
        prefill(map, grid);
        EMPHeader h;

        LoadSettings set;
        set.checkSize = true;
        set.imageWidth = 4;
        set.imageHeight = 2;
        QTest::ignoreMessage(QtDebugMsg, "Loading Energy Map size : 3 x 2 : is not matched to the current image size : 4 x 2");
        QCOMPARE(load(p, map, h, grid, set), LoadResult::SizeMismatch);
        QVERIFY(!h.valid);
        QCOMPARE(h.width, 3);
        QCOMPARE(set.imageWidth, 4);
        checkUntouched(map, grid);

        // Unchecked: any size is taken.
        set.checkSize = false;
        QCOMPARE(load(p, map, h, grid, set), LoadResult::Loaded);
        QCOMPARE(set.imageWidth, 4);

        // No image yet: the file's size becomes the image size.
        set.checkSize = true;
        set.imageWidth = -1;
        set.imageHeight = -1;
        QCOMPARE(load(p, map, h, grid, set), LoadResult::Loaded);
        QCOMPARE(set.imageWidth, 3);
        QCOMPARE(set.imageHeight, 2);
    }

    void writerCases()
    {
        QTemporaryDir dir;
        Analyzed2DRes map("shift");
        makeMap(map, 3, 3);

        // No image loaded: header only.
        QVERIFY(write(dir.filePath("noimg"), map, headerFor(3, 3, 8979), "", -1, -1));
        const QStringList l = linesOf(dir.filePath("noimg.emp"));
        QCOMPARE(l.size(), 1 + 15 + 3 + 1);
        QCOMPARE(l.last(), QString("##-----------------"));

        // A suffix of its own is kept.
        QVERIFY(write(dir.filePath("other.map"), map, headerFor(3, 3, 8979), "", 3, 3));
        QVERIFY(QFile::exists(dir.filePath("other.map")));

        // No standard edge energy: nothing is written.
        QVERIFY(!write(dir.filePath("nostd"), map, headerFor(3, 3, 0), "", 3, 3));
        QVERIFY(!QFile::exists(dir.filePath("nostd.emp")));

        // A folder that does not exist.
        QVERIFY(!write(dir.filePath("no/such/dir/x"), map, headerFor(3, 3, 8979), "", 3, 3));

        // A failed write leaves an earlier file whole.
        const QString keep = dir.filePath("keep.emp");
        QVERIFY(write(keep, map, headerFor(3, 3, 8979), "", 3, 3));
        const QStringList before = linesOf(keep);
        QVERIFY(!write(keep, map, headerFor(3, 3, -5), "", 3, 3));
        QCOMPARE(linesOf(keep), before);

    }

    // A shift that is no number, or whose energy the crystal cannot reflect,
    // has no angle that reads back as itself: nothing is written. Non-finite
    // angles in a file are damage.
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

    void nonFiniteAnglesAreDamage_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("nan") << QByteArray("nan");
        QTest::newRow("inf") << QByteArray("inf");
        QTest::newRow("-inf") << QByteArray("-inf");
    }
    void nonFiniteAnglesAreDamage()
    {
        QFETCH(QByteArray, value);
        QTemporaryDir dir;
        Analyzed2DRes map;
        AnalyzeCond grid;
        prefill(map, grid);
        const QString p = dir.filePath("n.emp");
        writeText(p, goodHeader + "0 0 0\n0 " + value + " 0\n");
        EMPHeader h;
        LoadSettings set;
        QCOMPARE(load(p, map, h, grid, set), LoadResult::DamagedData);
        checkUntouched(map, grid);
    }
};

QTEST_GUILESS_MAIN(TestEShiftMapFile)
#include "tst_eshiftmapfile.moc"
