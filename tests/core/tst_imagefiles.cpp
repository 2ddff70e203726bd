#include "core/ErrPoints.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "core/TiffWriter.h"
#include "support/Files.h"

#include <QtEndian>
#include <QtTest>

#include <sys/resource.h>
#include <tiffio.h>

#include <csignal>
#include <vector>

namespace {

struct TiffOptions {
    bool bigEndian = false;
    double exposureSeconds = -1;  // no EXIF directory when negative
    int bitsPerSample = 16;
    bool tiled = false;
};

// Writes a grey TIFF with libtiff itself, independently of TiffWriter, in
// strips of three rows.
bool writeTiff(const QString& path, uint32_t w, uint32_t h, const std::vector<uint16_t>& v,
               const TiffOptions& o = {})
{
    TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), o.bigEndian ? "wb" : "wl");
    if (!t) return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, o.bitsPerSample);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (o.exposureSeconds >= 0) TIFFSetField(t, TIFFTAG_EXIFIFD, uint64_t(0));
    if (o.tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
        std::vector<uint16_t> tile(256, 7);
        TIFFWriteEncodedTile(t, 0, tile.data(), 512);
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 3);
        for (uint32_t r = 0; r < h; ++r) {
            std::vector<uint16_t> row(v.begin() + r * w, v.begin() + (r + 1) * w);
            std::vector<uint8_t> bytes(row.begin(), row.end());
            TIFFWriteScanline(t, o.bitsPerSample == 8 ? (void*)bytes.data() : (void*)row.data(), r, 0);
        }
    }
    if (o.exposureSeconds >= 0) {
        TIFFWriteDirectory(t);
        TIFFCreateEXIFDirectory(t);
        TIFFSetField(t, EXIFTAG_EXPOSURETIME, o.exposureSeconds);
        uint64_t exifOffset = 0;
        TIFFWriteCustomDirectory(t, &exifOffset);
        TIFFSetDirectory(t, 0);
        TIFFSetField(t, TIFFTAG_EXIFIFD, exifOffset);
        TIFFRewriteDirectory(t);
    }
    TIFFClose(t);
    return true;
}

// A classic little-endian TIFF put together byte by byte, for headers that
// libtiff would not write: one strip of stripBytes bytes announced, data
// holding what is really there.
QByteArray rawTiff(uint32_t w, uint32_t h, uint32_t stripBytes, const QByteArray& data)
{
    // Tag, type (3 short, 4 long), value; a short sits in the first two bytes.
    const uint32_t entries[9][3] = {{256, 4, w}, {257, 4, h},   {258, 3, 16},     {259, 3, 1},         {262, 3, 1},
                                    {273, 4, 8 + 2 + 9 * 12 + 4}, {277, 3, 1}, {278, 4, h}, {279, 4, stripBytes}};
    QByteArray t("II*\0\x08\0\0\0\x09\0", 10);
    for (const auto& e : entries) {
        char b[12];
        qToLittleEndian<quint16>(quint16(e[0]), b);
        qToLittleEndian<quint16>(quint16(e[1]), b + 2);
        qToLittleEndian<quint32>(1, b + 4);
        qToLittleEndian<quint32>(e[2], b + 8);
        t.append(b, 12);
    }
    return t + QByteArray(4, '\0') + data;
}

std::vector<uint16_t> ramp(uint32_t w, uint32_t h)
{
    std::vector<uint16_t> v(size_t(w) * h);
    for (size_t i = 0; i < v.size(); ++i) v[i] = uint16_t((i * 2654435761u) % 65536);
    return v;
}

template <typename T>
void compareSamples(const TiffData& d, uint32_t w, uint32_t h, const std::vector<T>& v)
{
    QCOMPARE(d.width, w);
    QCOMPARE(d.height, h);
    QCOMPARE(uint32_t(d.rows.size()), h);
    double lo = DBL_MAX, hi = DBL_MIN;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const double want = double(v[y * w + x]);
            QCOMPARE(d.pixelValue(int(x), int(y)), want);
            lo = std::min(lo, want);
            hi = std::max(hi, want);
        }
    QCOMPARE(d.min, lo);
    QCOMPARE(d.max, hi);
}

}  // namespace

class TstImageFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        initColorTables();
    }
    void init() { globalErrPoints = ErrPoints(); }

    // Written by libtiff itself: both byte orders, with and without an
    // exposure in an EXIF directory (stored as a float); samples on both
    // sides of the sign bit, the ends of the range, and all-zero images,
    // which keep the tiny positive maximum. Empty values: a ramp.
    void tiffFiles_data()
    {
        QTest::addColumn<bool>("big");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("exposureMs");
        QTest::addColumn<QVector<int>>("values");
        QTest::newRow("little endian") << false << -1.0 << 100.0 << QVector<int>{};
        QTest::newRow("big endian") << true << -1.0 << 100.0 << QVector<int>{};
        QTest::newRow("exposure") << false << 0.123456789 << 1000.0 * double(float(0.123456789)) << QVector<int>{};
        QTest::newRow("exposure, big endian") << true << 2.0 << 2000.0 << QVector<int>{};
        QTest::newRow("sign bit") << false << -1.0 << 100.0 << QVector<int>{0x8000, 0x7fff, 0x8001};
        QTest::newRow("full range") << true << -1.0 << 100.0 << QVector<int>{0, 65535};
        QTest::newRow("all zero") << false << -1.0 << 100.0 << QVector<int>{0};
        QTest::newRow("all 0x8000") << false << -1.0 << 100.0 << QVector<int>{0x8000};
    }
    void tiffFiles()
    {
        QFETCH(bool, big);
        QFETCH(double, seconds);
        QFETCH(double, exposureMs);
        QFETCH(QVector<int>, values);
        const uint32_t w = 37, h = 5;
        auto v = ramp(w, h);
        for (size_t i = 0; !values.isEmpty() && i < v.size(); ++i) v[i] = uint16_t(values[int(i * 7 % values.size())]);
        TiffOptions o;
        o.bigEndian = big;
        o.exposureSeconds = seconds;
        const QString name = path("t.tif");
        QVERIFY(writeTiff(name, w, h, v, o));
        QCOMPARE(ts::readAll(name).left(2), QByteArray(big ? "MM" : "II"));
        TiffData d;
        QVERIFY(d.load(name, ErrPoints()));
        QCOMPARE(d.pixelType, int(TiffData::TiffUInt16));
        QCOMPARE(d.exposureMs, exposureMs);
        compareSamples(d, w, h, v);
        QCOMPARE(d.image->size(), QSize(int(w), int(h)));
    }

    // "IM" files: header offsets, bytes per pixel and exposure (with its unit)
    // from the comment. Empty values: a pattern over the whole sample range.
    void imFiles_data()
    {
        QTest::addColumn<QByteArray>("comment");
        QTest::addColumn<int>("bpp");
        QTest::addColumn<int>("rows");
        QTest::addColumn<double>("exposureMs");
        QTest::addColumn<QVector<uint>>("values");
        QTest::newRow("us") << QByteArray("BytesPerPixel=2,ExposureTime=250 us") << 2 << 3 << 0.25 << QVector<uint>{};
        QTest::newRow("ms, 32-bit") << QByteArray("BytesPerPixel=4,ExposureTime=250 ms") << 4 << 3 << 250.0
                                    << QVector<uint>{};
        QTest::newRow("s first") << QByteArray("ExposureTime=0.25 s,BytesPerPixel=4") << 4 << 3 << 250.0
                                 << QVector<uint>{};
        QTest::newRow("unknown unit") << QByteArray("ExposureTime=250 min,") << 2 << 3 << 250.0 << QVector<uint>{};
        QTest::newRow("no comment") << QByteArray() << 2 << 3 << 100.0 << QVector<uint>{};
        // A comment of 71 bytes puts 'G' (71) in the low byte of its length.
        QTest::newRow("IMG") << QByteArray(71, ' ') << 2 << 3 << 100.0 << QVector<uint>{};
        QTest::newRow("sign bit") << QByteArray() << 2 << 3 << 100.0 << QVector<uint>{0x8000, 0x7fff, 0x8001};
        QTest::newRow("no rows") << QByteArray() << 2 << 0 << 100.0 << QVector<uint>{};
    }
    void imFiles()
    {
        QFETCH(QByteArray, comment);
        QFETCH(int, bpp);
        QFETCH(int, rows);
        QFETCH(double, exposureMs);
        QFETCH(QVector<uint>, values);
        const int w = 37;
        std::vector<uint32_t> v(size_t(w * rows));
        for (size_t i = 0; i < v.size(); ++i)
            v[i] = !values.isEmpty() ? values[int(i * 7 % values.size())]
                   : bpp == 4        ? uint32_t(i) * 300000007u + 5
                                     : uint32_t(i * 5000 + 17) % 65536;
        const QString name = path("a.img");
        QVERIFY(ts::writeFile(name, ts::imBytes(w, rows, [&](int x, int y) { return v[size_t(y * w + x)]; }, bpp,
                                                comment, 7, 9)));
        TiffData d;
        QVERIFY(d.load(name, ErrPoints()));
        QCOMPARE(d.pixelType, int(bpp == 4 ? TiffData::UInt32 : TiffData::UInt16));
        QCOMPARE(d.exposureMs, exposureMs);
        QCOMPARE(d.hdrX, 7);
        QCOMPARE(d.hdrY, 9);
        compareSamples(d, w, rows, v);
        QCOMPARE(d.image != nullptr, rows > 0);
    }

    // Strips of as many rows as the image is wide, read back raw and through
    // the reader; names in other scripts go to the file system as they are.
    void writerStripsAndFailures()
    {
        TiffWriter writer;
        struct Case {
            uint32_t w;
            int h;
            std::vector<int> stripRows;
            QString name;
        };
        for (const Case& k : {Case{3, 2, {2}, "w.tif"}, Case{2, 5, {2, 2, 1}, QString::fromUtf8("\xe7\x94\xbb-\xce\xa9.tif")}}) {
            const auto v = ramp(k.w, uint32_t(k.h));
            const QString name = path(k.name);
            QVERIFY(writer.write16(name, k.w, k.h, v.data()));

            TIFF* t = TIFFOpen(QFile::encodeName(name).constData(), "r");
            QVERIFY(t);
            uint16_t photometric = 0;
            QVERIFY(TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric));
            QCOMPARE(photometric, uint16_t(PHOTOMETRIC_MINISBLACK));
            QCOMPARE(int(TIFFNumberOfStrips(t)), int(k.stripRows.size()));
            size_t row = 0;
            for (size_t s = 0; s < k.stripRows.size(); ++s) {
                const size_t bytes = size_t(k.stripRows[s]) * k.w * 2;
                std::vector<uint16_t> raw(bytes / 2);
                QCOMPARE(TIFFReadRawStrip(t, uint32_t(s), raw.data(), tmsize_t(bytes)), tmsize_t(bytes));
                if (TIFFIsByteSwapped(t)) TIFFSwabArrayOfShort(raw.data(), tmsize_t(raw.size()));
                for (size_t i = 0; i < raw.size(); ++i) QCOMPARE(raw[i], v[row * k.w + i]);
                row += size_t(k.stripRows[s]);
            }
            TIFFClose(t);

            TiffData d;
            QVERIFY(d.load(name, ErrPoints()));
            compareSamples(d, k.w, uint32_t(k.h), v);
        }

        // No rows: the tags and no strip.
        QVERIFY(writer.write16(path("empty.tif"), 4, 0, nullptr));
        QVERIFY(QFileInfo(path("empty.tif")).size() > 8);
        QVERIFY(!writer.write16(path("none/x.tif"), 2, 2, ramp(2, 2).data()));
        QVERIFY(!writer.write16(path("neg.tif"), 2, -1, ramp(2, 2).data()));
        QVERIFY(!QFileInfo::exists(path("neg.tif")));

        // A disk that fills up after the samples: only the directory, written
        // at the last flush, is lost, and the write must say so.
        signal(SIGXFSZ, SIG_IGN);
        rlimit old;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit full = old;
        full.rlim_cur = 8 + 4 * 4 * 2 + 10;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &full), 0);
        const bool written = writer.write16(path("full.tif"), 4, 4, ramp(4, 4).data());
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, SIG_DFL);
        QVERIFY(!written);
        QCOMPARE(QFileInfo(path("full.tif")).size(), qint64(full.rlim_cur));
    }

    void textImages()
    {
        QByteArray t = "#QDRN-CTImg v1\n# range_x0 = 2\n# RANGE_X1 = 5.9\n# RANGE_Y0 = 1\n# RANGE_Y1 = 3\n"
                       "0 0 1\n1 0 -0.1\n2 0 0.002\n0 1 4.5\n1 1 2\n2 1 3\n";
        QVERIFY(ts::writeFile(path("t.txt"), t));
        TiffData d;
        QVERIFY(d.load(path("t.txt"), ErrPoints()));
        QCOMPARE(d.pixelType, int(TiffData::Float32));
        QCOMPARE(d.exposureMs, 100.0);
        // 500 per unit, negatives 0.
        compareSamples(d, 3, 2, std::vector<double>{500, 0, 1, 2250, 1000, 1500});

        // Missing pixel lines read 0.
        QVERIFY(ts::writeFile(path("s.txt"), t.left(t.indexOf("2 0 0.002"))));
        TiffData s;
        QVERIFY(s.load(path("s.txt"), ErrPoints()));
        QCOMPARE(s.pixelValue(1, 0), 0.0);
        QCOMPARE(s.pixelValue(0, 0), 500.0);
        QCOMPARE(s.pixelValue(2, 0), 0.0);
        QCOMPARE(s.pixelValue(2, 1), 0.0);
    }

    // A frame that holds an image keeps it whole after a failed load.
    void damagedInput_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");

        const auto v = ramp(20, 20);
        QByteArray data(reinterpret_cast<const char*>(v.data()), 128);
        QTest::newRow("missing") << QByteArray() << "Can not open \\(1\\)";
        QTest::newRow("14 bytes") << QByteArray("II*\0abcdefghij", 14) << "Error on reading file \\(1\\)";
        QTest::newRow("unknown") << QByteArray(20, 'x') << "Unknown image format";
        QTest::newRow("tiff cut in data") << rawTiff(8, 8, 128, data.left(50)) << "Error on reading TIFF row";
        QTest::newRow("tiff absurd size") << rawTiff(100000, 100000, 128, data) << "Image too large";
        QTest::newRow("tiff lying size") << rawTiff(4000, 4000, 32000000, data) << "TIFF file too short";
        QTest::newRow("tiff no directory") << QByteArray("II*\0\xff\xff\xff\x00", 8) + data << "Can not open TIFF";
        TiffOptions eight;
        eight.bitsPerSample = 8;
        writeTiff(path("eight.tif"), 20, 20, v, eight);
        QTest::newRow("tiff 8-bit") << ts::readAll(path("eight.tif")) << "Not a 16-bit grey TIFF";
        TiffOptions tiled;
        tiled.tiled = true;
        writeTiff(path("tiled.tif"), 16, 16, v, tiled);
        QTest::newRow("tiff tiled") << ts::readAll(path("tiled.tif")) << "Tiled TIFF is not supported";

        // 4 x 3 samples, one byte short; or announced as 65535 x 65535.
        auto im = [](int bpp, bool huge) {
            QByteArray b = ts::imBytes(4, 3, [](int, int) { return 1234; }, bpp, "BytesPerPixel=2");
            if (huge) b.replace(4, 4, QByteArray(4, '\xff'));
            return huge ? b : b.chopped(1);
        };
        QTest::newRow("im 16-bit short") << im(2, false) << "Error on reading \\(3\\)";
        QTest::newRow("im 32-bit short") << im(4, false) << "Error on reading \\(2\\)";
        QTest::newRow("im absurd size") << im(4, true) << "invalid file size";

        QTest::newRow("text no width")
            << QByteArray("#QDRN-CTImg\n# RANGE_X0 = 10\n# RANGE_X1 = 10\n# RANGE_Y0 = 0\n# RANGE_Y1 = 4\n1 1 1\n")
            << "No pixels in the range";
        QTest::newRow("text absurd size")
            << QByteArray("#QDRN-CTImg\n# RANGE_X1 = 1e9\n# RANGE_Y1 = 1e12\n") << "Image too large";
        QTest::newRow("text cut in header")
            << QByteArray("#QDRN-CTImg\n# RANGE_X1 = 5\n# RANGE") << "No pixels in the range";
    }
    void damagedInput()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        const QString name = path("bad.bin");
        QFile::remove(name);
        if (!bytes.isNull()) QVERIFY(ts::writeFile(name, bytes));

        const auto v = ramp(3, 2);
        QVERIFY(writeTiff(path("good.tif"), 3, 2, v));
        TiffData d;
        QVERIFY(d.load(path("good.tif"), ErrPoints()));
        const QVector<void*> rows = d.rows;
        const QImage* image = d.image;

        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(message));
        QVERIFY(!d.load(name, ErrPoints()));
        QCOMPARE(d.rows, rows);
        QCOMPARE(d.image, image);
        QCOMPARE(d.file, path("good.tif"));
        QCOMPARE(d.pixelType, int(TiffData::TiffUInt16));
        compareSamples(d, 3, 2, v);
        QCOMPARE(d.exposureMs, 100.0);
    }
};

QTEST_GUILESS_MAIN(TstImageFiles)
#include "tst_imagefiles.moc"
