#include "mainwindow/PerPointSpectra.h"
#include "mainwindow/SafeSave.h"

#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/TiffData.h"

#include "support/Files.h"

#include <QRegularExpression>
#include <QtTest>

#include <tiffio.h>

class TstPerPointFiles : public QObject
{
    Q_OBJECT

    static QStringList entries(const QString& dir)
    {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private slots:
    void initTestCase() { initColorTables(); }

    void twoBlocksOfXafs()
    {
        QTemporaryDir dir;
        // Region 0..6 x 0..3 of a 10 x 8 image, 3 x 3 blocks: centres 1 and 4
        // on row 1.
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
        QCOMPARE(entries(dir.path()), QStringList({"s.dat"}));
    }

    void imagesAndTiffsReadBack()
    {
        QTemporaryDir dir;
        QImage img(5, 4, QImage::Format_RGB32);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) img.setPixel(x, y, qRgb(10 * x, 20 * y, x * y));
        const QString png = dir.filePath("a.png");
        QVERIFY(SafeSave::image(img, png));
        QImage back(png);
        QCOMPARE(back.convertToFormat(QImage::Format_RGB32), img);

        const int w = 7, h = 5;
        QVector<uint16_t> samples(w * h);
        for (int i = 0; i < w * h; ++i) samples[i] = uint16_t(i * 1000 + 3);
        const QString tif = dir.filePath("m.tif");
        QVERIFY(SafeSave::tiff16(tif, w, h, samples.constData()));
        // Replacing an existing file works too.
        samples[0] = 65535;
        QVERIFY(SafeSave::tiff16(tif, w, h, samples.constData()));
        QVERIFY(QFileInfo(tif).permissions() & QFileDevice::ReadOther);
        TiffData t;
        QVERIFY(t.load(tif, ErrPoints()));
        QCOMPARE(int(t.width), w);
        QCOMPARE(int(t.height), h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) QCOMPARE(t.pixelValue(x, y), double(samples[y * w + x]));
        QCOMPARE(entries(dir.path()), QStringList({"a.png", "m.tif"}));
    }

    void resultMapsReadBack()
    {
        QTemporaryDir dir;
        Analyzed2DRes map("m");
        QVERIFY(!SafeSave::mapAsTiff(map, dir.filePath("none.tif"), false, 0, 1, false));
        QVERIFY(!SafeSave::mapAsText(map, dir.filePath("none.dat"), false, false, false));
        QVERIFY(entries(dir.path()).isEmpty());

        // 3 x 3 blocks on a 9 x 7 map: 3 blocks per row, 2 rows.
        AnalyzeCond g;
        g.set(9, 7, 1, 1, QRectF(0, 0, 9, 7), -1, -1);
        map.setCond(g);
        map.allocData();
        g.reset();
        do {
            map.setData(g.curX, g.curY, 1, 1, g.curX * 10.0 + g.curY);
        } while (g.next());

        for (bool asAnalyzed : {false, true}) {
            const QString path = dir.filePath(asAnalyzed ? "blocks.tif" : "pixels.tif");
            QVERIFY(SafeSave::mapAsTiff(map, path, true, 0, 80, asAnalyzed));
            quint16* want = map.tiffDataForSave(true, 0, 80, asAnalyzed);
            TiffData t;
            QVERIFY(t.load(path, ErrPoints()));
            const int w = asAnalyzed ? 3 : 9;
            const int h = asAnalyzed ? 2 : 7;
            QCOMPARE(int(t.width), w);
            QCOMPARE(int(t.height), h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) QCOMPARE(t.pixelValue(x, y), double(want[y * w + x]));
            delete[] want;
        }

        // The text export is the map's own, written whole.
        const QString direct = dir.filePath("direct.txt");
        QVERIFY(map.saveAsText(QFileInfo(direct), false, true, true));
        const QString safe = SafeSave::numberedName(dir.filePath("m.xyz"), 0, "dat");
        QCOMPARE(safe, QFileInfo(dir.filePath("m-0.dat")).absoluteFilePath());
        QVERIFY(SafeSave::mapAsText(map, safe, false, true, true));
        // The header's time stamp may differ by the time between the writes:
        // each date line must have the stamp's form, the rest match byte by byte.
        const QRegularExpression dateLine(
            "^# Date    : \\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$");
        auto checkedDate = [&dateLine](const QByteArray& text, int* dates) {
            QList<QByteArray> lines = text.split('\n');
            *dates = 0;
            for (QByteArray& line : lines) {
                if (!line.startsWith("# Date")) continue;
                ++*dates;
                line = dateLine.match(QString::fromLatin1(line)).hasMatch() ? "<date>" : "<bad date>";
            }
            return lines.join('\n');
        };
        int safeDates = 0, directDates = 0;
        const QByteArray safeText = checkedDate(ts::readAll(safe), &safeDates);
        const QByteArray directText = checkedDate(ts::readAll(direct), &directDates);
        QCOMPARE(safeDates, 1);
        QCOMPARE(directDates, 1);
        QVERIFY(safeText.contains("\n<date>\n"));
        QCOMPARE(safeText, directText);
        QVERIFY(!SafeSave::mapAsText(map, dir.filePath("direct.txt/m.dat"), false, true, true));
        QCOMPARE(entries(dir.path()), QStringList({"blocks.tif", "direct.txt", "m-0.dat", "pixels.tif"}));
    }
};

QTEST_MAIN(TstPerPointFiles)
#include "tst_perpointfiles.moc"
