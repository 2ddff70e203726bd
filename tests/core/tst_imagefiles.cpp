#include "core/ErrPoints.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "core/TiffWriter.h"
#include "support/Files.h"

#include <QtEndian>
#include <QtTest>

#include <tiffio.h>

#include <memory>
#include <vector>

namespace {

struct TiffOptions {
    bool bigEndian = false;
    uint32_t rowsPerStrip = 3;
    double exposureSeconds = -1;  // no EXIF directory when negative
    int bitsPerSample = 16;
    bool tiled = false;
};

// Writes a grey TIFF with libtiff itself, independently of TiffWriter.
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
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, o.rowsPerStrip);
        std::vector<uint8_t> bytes;
        for (uint32_t r = 0; r < h; ++r) {
            if (o.bitsPerSample == 8) {
                std::vector<uint8_t> row(w);
                for (uint32_t c = 0; c < w; ++c) row[c] = uint8_t(v[r * w + c]);
                TIFFWriteScanline(t, row.data(), r, 0);
            } else {
                std::vector<uint16_t> row(v.begin() + r * w, v.begin() + (r + 1) * w);
                TIFFWriteScanline(t, row.data(), r, 0);
            }
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
    QByteArray t("II");
    auto u16 = [&t](uint16_t x) { t.append(char(x & 0xff)).append(char(x >> 8)); };
    auto u32 = [&](uint32_t x) { u16(uint16_t(x & 0xffff)); u16(uint16_t(x >> 16)); };
    u16(42);
    u32(8);
    const uint16_t n = 9;
    const uint32_t dataOffset = 8 + 2 + n * 12 + 4;
    u16(n);
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
        u16(tag);
        u16(type);
        u32(1);
        if (type == 3) {
            u16(uint16_t(value));
            u16(0);
        } else {
            u32(value);
        }
    };
    entry(256, 4, w);
    entry(257, 4, h);
    entry(258, 3, 16);
    entry(259, 3, 1);
    entry(262, 3, 1);
    entry(273, 4, dataOffset);
    entry(277, 3, 1);
    entry(278, 4, h);
    entry(279, 4, stripBytes);
    u32(0);
    return t + data;
}

QByteArray imFile(int w, int h, int hdrX, int hdrY, const QByteArray& comment, int bpp,
                  const std::vector<uint32_t>& v, int cut = 0)
{
    QByteArray b(64, '\0');
    b[0] = 'I';
    b[1] = 'M';
    qToLittleEndian<quint16>(quint16(comment.size()), b.data() + 2);
    qToLittleEndian<quint16>(quint16(w), b.data() + 4);
    qToLittleEndian<quint16>(quint16(h), b.data() + 6);
    qToLittleEndian<quint16>(quint16(hdrX), b.data() + 8);
    qToLittleEndian<quint16>(quint16(hdrY), b.data() + 10);
    b += comment;
    for (uint32_t x : v) {
        char s[4];
        qToLittleEndian<quint32>(x, s);
        b.append(s, bpp);
    }
    b.chop(cut);
    return b;
}

using ts::writeFile;

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
    // exposure in an EXIF directory (stored as a float).
    void tiffFiles_data()
    {
        QTest::addColumn<bool>("big");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("exposureMs");
        QTest::newRow("little endian") << false << -1.0 << 100.0;
        QTest::newRow("big endian") << true << -1.0 << 100.0;
        QTest::newRow("exposure") << false << 0.123456789 << 1000.0 * double(float(0.123456789));
        QTest::newRow("exposure, big endian") << true << 2.0 << 2000.0;
    }
    void tiffFiles()
    {
        QFETCH(bool, big);
        QFETCH(double, seconds);
        QFETCH(double, exposureMs);
        const uint32_t w = 5, h = 7;
        const auto v = ramp(w, h);
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

    void sixteenBitRange()
    {
        // Values on both sides of the sign bit, the ends of the range, and
        // all-zero images, which keep the tiny positive maximum.
        const std::vector<std::vector<uint16_t>> sets = {{0x8000, 0x7fff, 0x8001}, {0, 65535}, {0}, {0x8000}};
        const uint32_t w = 37, h = 3;
        for (const auto& set : sets) {
            std::vector<uint16_t> v(w * h);
            for (size_t i = 0; i < v.size(); ++i) v[i] = set[(i * 7) % set.size()];
            QVERIFY(writeTiff(path("range.tif"), w, h, v));
            TiffData t;
            QVERIFY(t.load(path("range.tif"), ErrPoints()));
            compareSamples(t, w, h, v);

            const std::vector<uint32_t> v32(v.begin(), v.end());
            QVERIFY(writeFile(path("range.img"), imFile(int(w), int(h), 0, 0, "", 2, v32)));
            TiffData m;
            QVERIFY(m.load(path("range.img"), ErrPoints()));
            QCOMPARE(m.pixelType, int(TiffData::UInt16));
            compareSamples(m, w, h, v);
        }
    }

    void writerStripsAndTags()
    {
        TiffWriter writer;
        struct Case {
            uint32_t w;
            int h;
            std::vector<int> stripRows;
        };
        for (const Case& k : {Case{3, 2, {2}}, Case{2, 5, {2, 2, 1}}, Case{3, 7, {3, 3, 1}}}) {
            const auto v = ramp(k.w, uint32_t(k.h));
            const QString name = path(QString("w%1x%2.tif").arg(k.w).arg(k.h));
            QVERIFY(writer.write16(name, k.w, k.h, v.data()));

            TIFF* t = TIFFOpen(QFile::encodeName(name).constData(), "r");
            QVERIFY(t);
            uint16_t u16 = 0;
            QVERIFY(TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &u16));
            QCOMPARE(u16, uint16_t(PHOTOMETRIC_MINISBLACK));

            QCOMPARE(int(TIFFNumberOfStrips(t)), int(k.stripRows.size()));
            uint64_t* counts = nullptr;
            QVERIFY(TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts));
            size_t row = 0;
            for (size_t s = 0; s < k.stripRows.size(); ++s) {
                const size_t bytes = size_t(k.stripRows[s]) * k.w * 2;
                QCOMPARE(counts[s], uint64_t(bytes));
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
        const QString empty = path("empty.tif");
        QVERIFY(writer.write16(empty, 4, 0, nullptr));
        QVERIFY(QFileInfo(empty).size() > 8);
        QVERIFY(!writer.write16(path("none/x.tif"), 2, 2, ramp(2, 2).data()));
        QVERIFY(!writer.write16(path("neg.tif"), 2, -1, ramp(2, 2).data()));
        QVERIFY(!QFileInfo::exists(path("neg.tif")));
    }

    void masksAndForeignNames()
    {
        TiffWriter writer;
        writer.writeOnes(path("flat.dat"), 4, 4);
        writer.writeZeros(path("dark.dat"), 6, 3);
        TiffData flat, dark;
        QVERIFY(flat.load(path("flat.dat"), ErrPoints()));
        compareSamples(flat, 4, 4, std::vector<uint16_t>(16, 1));
        QVERIFY(dark.load(path("dark.dat"), ErrPoints()));
        QCOMPARE(dark.width, 6u);
        QCOMPARE(dark.height, 3u);
        QCOMPARE(dark.sumBox(3, 1, 5, 5), 0.0);
        QCOMPARE(dark.min, 0.0);
        QCOMPARE(dark.max, DBL_MIN);

        // Names in other scripts go to the file system as they are.
        const QString name = path(QString::fromUtf8("\xe7\x94\xbb\xe5\x83\x8f-\xce\xa9.tif"));
        const auto v = ramp(3, 3);
        QVERIFY(writer.write16(name, 3, 3, v.data()));
        QVERIFY(QFileInfo::exists(name));
        TiffData d;
        QVERIFY(d.load(name, ErrPoints()));
        compareSamples(d, 3, 3, v);
    }

    void imFiles()
    {
        const int w = 4, h = 3;
        std::vector<uint32_t> v16(w * h), v32(w * h);
        for (int i = 0; i < w * h; ++i) {
            v16[size_t(i)] = uint32_t(i * 5000 + 17) % 65536;
            v32[size_t(i)] = uint32_t(i) * 300000007u + 5;
        }
        struct Case {
            QByteArray comment;
            int bpp;
            double exposureMs;
        };
        const Case cases[] = {
            {"BytesPerPixel=2,ExposureTime=250 us", 2, 0.25},
            {"BytesPerPixel=4,ExposureTime=250 ms", 4, 250},
            {"ExposureTime=0.25 s,BytesPerPixel=4", 4, 250},
            {"ExposureTime=250 min,", 2, 250},
            {"", 2, 100},
        };
        for (const Case& k : cases) {
            const auto& v = k.bpp == 4 ? v32 : v16;
            const QString name = path("a.img");
            QVERIFY(writeFile(name, imFile(w, h, 7, 9, k.comment, k.bpp, v)));
            TiffData d;
            QVERIFY2(d.load(name, ErrPoints()), k.comment.constData());
            QCOMPARE(d.pixelType, int(k.bpp == 4 ? TiffData::UInt32 : TiffData::UInt16));
            QCOMPARE(d.exposureMs, k.exposureMs);
            QCOMPARE(d.hdrX, 7);
            QCOMPARE(d.hdrY, 9);
            compareSamples(d, w, h, v);
        }
        // "IMG..." is an IM file too.
        // A comment of 71 bytes puts 'G' (71) in the low byte of its length.
        const QByteArray img = imFile(w, h, 0, 0, QByteArray(71, ' '), 2, v16);
        QCOMPARE(img.left(3), QByteArray("IMG"));
        QVERIFY(writeFile(path("g.img"), img));
        TiffData g;
        QVERIFY(g.load(path("g.img"), ErrPoints()));
        compareSamples(g, w, h, v16);

        // No rows at all is a valid, empty image.
        QVERIFY(writeFile(path("empty.img"), imFile(5, 0, 0, 0, "", 2, {})));
        TiffData e;
        QVERIFY(e.load(path("empty.img"), ErrPoints()));
        QVERIFY(e.rows.isEmpty());
        QVERIFY(!e.image);
    }

    void textImages()
    {
        QByteArray t = "#QDRN-CTImg v1\n"
                       "# range_x0 = 2\n"
                       "# RANGE_X1 = 5.9\n"
                       "# RANGE_Y0 = 1\n"
                       "# RANGE_Y1 = 3\n";
        const double values[] = {1, -0.1, 0.002, 4.5, 2, 3};
        for (int i = 0; i < 6; ++i) t += QByteArray::number(i % 3) + " " + QByteArray::number(i / 3) + " " + QByteArray::number(values[i]) + "\n";
        QVERIFY(writeFile(path("t.txt"), t));
        TiffData d;
        QVERIFY(d.load(path("t.txt"), ErrPoints()));
        QCOMPARE(d.pixelType, int(TiffData::Float32));
        QCOMPARE(d.width, 3u);
        QCOMPARE(d.height, 2u);
        QCOMPARE(d.exposureMs, 100.0);
        const double want[] = {500, 0, 1, 2250, 1000, 1500};
        for (int i = 0; i < 6; ++i) QCOMPARE(d.pixelValue(i % 3, i / 3), want[i]);
        QCOMPARE(d.min, 0.0);
        QCOMPARE(d.max, 2250.0);

        // Missing pixel lines read 0.
        QByteArray shortText = t.left(t.indexOf("2 0 0.002"));
        QVERIFY(writeFile(path("s.txt"), shortText));
        TiffData s;
        QVERIFY(s.load(path("s.txt"), ErrPoints()));
        QCOMPARE(s.pixelValue(0, 0), 500.0);
        QCOMPARE(s.pixelValue(2, 0), 0.0);
        QCOMPARE(s.pixelValue(2, 1), 0.0);
    }

    void damagedInput_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");

        const auto v = ramp(8, 8);
        QByteArray data(reinterpret_cast<const char*>(v.data()), 128);
        QTest::newRow("14 bytes") << QByteArray("II*\0abcdefghij", 14) << "Error on reading file \\(1\\)";
        QTest::newRow("unknown") << QByteArray(20, 'x') << "Unknown image format";
        QTest::newRow("tiff cut in data") << rawTiff(8, 8, 128, data.left(50)) << "Error on reading TIFF row";
        QTest::newRow("tiff absurd size") << rawTiff(100000, 100000, 128, data) << "Image too large";
        QTest::newRow("tiff lying size") << rawTiff(4000, 4000, 32000000, data) << "TIFF file too short";
        QTest::newRow("tiff no directory") << QByteArray("II*\0\xff\xff\xff\x00", 8) + data << "Can not open TIFF";

        std::vector<uint32_t> im(12, 1234);
        QTest::newRow("im 16-bit short")
            << imFile(4, 3, 0, 0, "BytesPerPixel=2", 2, im, 1) << "Error on reading \\(3\\)";
        QTest::newRow("im 32-bit short")
            << imFile(4, 3, 0, 0, "BytesPerPixel=4", 4, im, 1) << "Error on reading \\(2\\)";
        QTest::newRow("im absurd size")
            << imFile(65535, 65535, 0, 0, "BytesPerPixel=4", 4, im) << "invalid file size";

        const QByteArray head = "#QDRN-CTImg\n# RANGE_X0 = 10\n# RANGE_X1 = 10\n# RANGE_Y0 = 0\n# RANGE_Y1 = 4\n1 1 1\n";
        QTest::newRow("text no width") << head << "No pixels in the range";
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
        QVERIFY(writeFile(name, bytes));

        // A frame that holds an image keeps it whole after a failed load.
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

    void unsupportedTiffs()
    {
        const auto v = ramp(20, 20);
        TiffOptions eight;
        eight.bitsPerSample = 8;
        QVERIFY(writeTiff(path("eight.tif"), 20, 20, v, eight));
        TiffOptions tiled;
        tiled.tiled = true;
        QVERIFY(writeTiff(path("tiled.tif"), 16, 16, v, tiled));
        TiffData d;
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Not a 16-bit grey TIFF"));
        QVERIFY(!d.load(path("eight.tif"), ErrPoints()));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Tiled TIFF is not supported"));
        QVERIFY(!d.load(path("tiled.tif"), ErrPoints()));
        QVERIFY(d.rows.isEmpty());
        QCOMPARE(d.pixelType, int(TiffData::NoPixels));
        QCOMPARE(d.width, 0u);

        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Can not open \\(1\\)"));
        QVERIFY(!d.load(path("missing.tif"), ErrPoints()));
    }
};

QTEST_GUILESS_MAIN(TstImageFiles)
#include "tst_imagefiles.moc"
