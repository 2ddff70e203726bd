// Result files read back byte by byte or value by value, and writes that
// fail part way (the disk fills up): the writer says so, the user's earlier
// file is left as it was and no temporary file is left behind.
#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <vector>

#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "core/TiffWriter.h"
#include "core/XafsSpectrum.h"
#include "mainwindow/PerPointSpectra.h"
#include "mainwindow/SafeSave.h"
#include "support/FileSizeLimit.h"
#include "support/Files.h"

using Writer = std::function<bool(const QString& path)>;
using Check = std::function<void(const QString& path)>;
Q_DECLARE_METATYPE(Writer)
Q_DECLARE_METATYPE(Check)

namespace {

// A 300 x 240 map of 3 x 3 blocks, each block 10 x + y of its centre.
Analyzed2DRes& blockMap()
{
    static Analyzed2DRes map("m");
    if (map.width() > 0) return map;
    AnalyzeCond g;
    g.set(300, 240, 1, 1, QRectF(0, 0, 300, 240), -1, -1);
    map.setCond(g);
    map.allocData();
    g.reset();
    do {
        map.setData(g.curX, g.curY, 1, 1, g.curX * 10.0 + g.curY);
    } while (g.next());
    return map;
}

void sameTiff(const QString& path, const quint16* want, int w, int h)
{
    TiffData t;
    QVERIFY(t.load(path, ErrPoints()));
    QCOMPARE(int(t.width), w);
    QCOMPARE(int(t.height), h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) QCOMPARE(t.pixelValue(x, y), double(want[y * w + x]));
}

Check mapTiff(bool asAnalyzed)
{
    return [asAnalyzed](const QString& path) {
        quint16* want = blockMap().tiffDataForSave(true, 0, 3000, asAnalyzed);
        sameTiff(path, want, asAnalyzed ? 100 : 300, asAnalyzed ? 80 : 240);
        delete[] want;
    };
}

// The text with its one time stamp line replaced, when it has the stamp's form.
QByteArray undated(const QByteArray& text)
{
    const QRegularExpression date("^# Date    : \\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$",
                                  QRegularExpression::MultilineOption);
    return QString::fromLatin1(text).replace(date, "<date>").toLatin1();
}

}  // namespace

class TstSavedFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initColorTables(); }

    void keepsTheOldFile_data()
    {
        QTest::addColumn<Writer>("write");
        QTest::addColumn<Check>("check");
        QTest::addColumn<QString>("name");
        static std::vector<quint16> samples(300 * 200);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = quint16(i * 37 + 3);
        QTest::newRow("16-bit TIFF") << Writer([](const QString& p) { return SafeSave::tiff16(p, 300, 200, samples.data()); })
                                     << Check([](const QString& p) { sameTiff(p, samples.data(), 300, 200); })
                                     << QString("result.tif");
        QTest::newRow("map as TIFF") << Writer([](const QString& p) { return SafeSave::mapAsTiff(blockMap(), p, true, 0, 3000, false); })
                                     << mapTiff(false) << QString("result.tif");
        QTest::newRow("map as TIFF by block") << Writer([](const QString& p) { return SafeSave::mapAsTiff(blockMap(), p, true, 0, 3000, true); })
                                              << mapTiff(true) << QString("result.tif");
        // The text export is the map's own, written whole.
        QTest::newRow("map as text") << Writer([](const QString& p) { return SafeSave::mapAsText(blockMap(), p, false, true, true); })
                                     << Check([](const QString& p) {
                                            const QString direct = p + ".direct";
                                            QVERIFY(blockMap().saveAsText(QFileInfo(direct), false, true, true));
                                            const QByteArray text = undated(ts::readAll(p));
                                            QVERIFY(text.contains("\n<date>\n"));
                                            QCOMPARE(text, undated(ts::readAll(direct)));
                                            QFile::remove(direct);
                                        })
                                     << QString("result.dat");
        static QImage noise(400, 300, QImage::Format_RGB32);  // no compression saves it
        quint32 r = 12345;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x) noise.setPixel(x, y, (r = r * 1664525u + 1013904223u) >> 8);
        QTest::newRow("image") << Writer([](const QString& p) { return SafeSave::image(noise, p); })
                               << Check([](const QString& p) { QCOMPARE(QImage(p).convertToFormat(QImage::Format_RGB32), noise); })
                               << QString("result.png");
    }
    void keepsTheOldFile()
    {
        QFETCH(Writer, write);
        QFETCH(Check, check);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString target = dir.filePath(name);
        QVERIFY(ts::writeText(target, "the user's earlier result\n"));
        {
            ts::FileSizeLimit limit(4096);
            QVERIFY(!write(target));
        }
        QCOMPARE(ts::readAll(target), QByteArray("the user's earlier result\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({name}));
        // With room again the same writer replaces it whole, readable by all as before.
        QVERIFY(write(target));
        check(target);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({name}));
        QVERIFY(QFileInfo(target).permissions() & QFileDevice::ReadOther);
    }

    void refusedWrites()
    {
        QTemporaryDir dir;
        Analyzed2DRes empty("m");
        QVERIFY(!SafeSave::mapAsTiff(empty, dir.filePath("none.tif"), false, 0, 1, false));
        QVERIFY(!SafeSave::mapAsText(empty, dir.filePath("none.dat"), false, false, false));
        QVERIFY(ts::writeText(dir.filePath("file"), "x"));
        QVERIFY(!SafeSave::mapAsText(blockMap(), dir.filePath("file/m.dat"), false, true, true));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"file"}));

        // The plain writers report the failure (their partial file may stay).
        std::vector<uint16_t> samples(300 * 200, 7);
        XafsSpectrum s;
        for (int i = 0; i < 2000; ++i) s.append(7000 + i, 0.001 * i);
        ts::FileSizeLimit limit(4096);
        QVERIFY(!TiffWriter().write16(dir.filePath("a.tif"), 300, 200, samples.data()));
        QVERIFY(!s.save(dir.filePath("s.dat"), false));
    }

    void perPointSpectra()
    {
        QTemporaryDir dir;
        // Region 0..6 x 0..3 of a 10 x 8 image, 3 x 3 blocks: centres 1 and 4 on row 1.
        AnalyzeCond grid;
        grid.set(10, 8, 1, 1, QRectF(0, 0, 6, 3), -1, -1);
        QVector<QPoint> asked;
        auto source = [&](int x, int y) {
            asked.append(QPoint(x, y));
            PerPointSpectra::Block b;
            b.shift = x == 1 ? 1.5e-7 : -2.25;
            b.points = {QPointF(7100.5, 0.123456789), QPointF(7112, x == 1 ? 1234567.0 : -0.5)};
            return b;
        };
        const QString path = dir.filePath("s.dat");
        QVERIFY(PerPointSpectra::write(path, PerPointSpectra::RawXafs, grid, source));
        QCOMPARE(asked, QVector<QPoint>({QPoint(1, 1), QPoint(4, 1)}));
        const QByteArray want =
            "# Corvenlith Save Raw Xafs Spectra 1.0\n"
            "# X-Range (x0, x1), steps : 0 6 2\n"
            "# Y-Range (y0, y1), steps : 0 3 1\n"
            "# Full Width, Height      : 10 8\n"
            "# Bin Half Width, Height  : 1 1\n"
            "# Step dX, dY             : 3 3\n"
            "# End of Header\n"
            "1 1 1.5e-07 7100.5 0.123457 7112 1.23457e+06\n"
            "4 1 -2.25 7100.5 0.123457 7112 -0.5\n";
        QCOMPARE(ts::readAll(path), want);

        // Normalised files differ only in the title.
        QVERIFY(PerPointSpectra::write(path, PerPointSpectra::NormalizedXafs, grid, source));
        QByteArray norm = want;
        norm.replace("Raw Xafs", "Normalized Xafs");
        QCOMPARE(ts::readAll(path), norm);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"s.dat"}));
    }
};

QTEST_MAIN(TstSavedFiles)
#include "tst_savedfiles.moc"
