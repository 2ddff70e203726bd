#include "core/Analyzed2DRes.h"
#include "core/ColorScale.h"
#include "core/ErrPoints.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "core/TiffWriter.h"
#include "support/FileSizeLimit.h"
#include "support/Files.h"
#include "support/Frames.h"
#include "support/Maps.h"

#include <QtEndian>
#include <QtTest>

#include <sys/resource.h>
#include <tiffio.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

// What a file must load as: sample type, size, samples row by row, exposure
// and header offset.
struct Loaded {
    QByteArray bytes;
    int type;
    QSize size;
    QVector<double> values;
    double exposureMs;
    QPoint header;
    int pages = 1;
};
Q_DECLARE_METATYPE(Loaded)

// A bad-pixel repair: whether the list is in use, its points, the frame's
// sample type, header offset and shift, and the samples that change as
// (index, value).
struct Repair {
    bool use;
    QVector<QPoint> points;
    int type;
    QPoint header, shift;
    QVector<QPointF> changed;
};
Q_DECLARE_METATYPE(Repair)

// A pixel-mode export: fixed limits or not, the limits, whether the processed
// map is shown, and the samples expected.
struct Export {
    bool fixed;
    double lo, hi;
    bool processed;
    QVector<int> samples;
};
Q_DECLARE_METATYPE(Export)

namespace {

// A 16-bit grey TIFF written by libtiff itself, independently of TiffWriter,
// in strips of three rows (or one 16 x 16 tile); an EXIF exposure when
// seconds is not negative; pages - 1 further pages of other values and size
// after it. Its bytes, through a scratch file.
QByteArray tiffBytes(const QString& scratch, uint32_t w, uint32_t h, const std::vector<uint16_t>& v,
                     bool bigEndian = false, double seconds = -1, bool tiled = false, int pages = 1)
{
    TIFF* t = TIFFOpen(QFile::encodeName(scratch).constData(), bigEndian ? "wb" : "wl");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    if (seconds >= 0) TIFFSetField(t, TIFFTAG_EXIFIFD, uint64_t(0));
    if (tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
        std::vector<uint16_t> tile(256, 7);
        TIFFWriteEncodedTile(t, 0, tile.data(), 512);
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 3);
        for (uint32_t r = 0; r < h; ++r) {
            std::vector<uint16_t> row(v.begin() + r * w, v.begin() + (r + 1) * w);
            TIFFWriteScanline(t, row.data(), r, 0);
        }
    }
    if (seconds >= 0) {
        TIFFWriteDirectory(t);
        TIFFCreateEXIFDirectory(t);
        TIFFSetField(t, EXIFTAG_EXPOSURETIME, seconds);
        uint64_t exifOffset = 0;
        TIFFWriteCustomDirectory(t, &exifOffset);
        TIFFSetDirectory(t, 0);
        TIFFSetField(t, TIFFTAG_EXIFIFD, exifOffset);
        TIFFRewriteDirectory(t);
    }
    for (int p = 1; p < pages; ++p) {
        TIFFWriteDirectory(t);
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w + 1);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h);
        const std::vector<uint16_t> row(w + 1, uint16_t(60000 + p));
        for (uint32_t r = 0; r < h; ++r) TIFFWriteScanline(t, const_cast<uint16_t*>(row.data()), r, 0);
    }
    TIFFClose(t);
    return ts::readAll(scratch);
}

// A classic little-endian TIFF put together byte by byte, for headers that
// libtiff would not write: one strip of stripBytes bytes announced, data
// holding what is really there.
QByteArray rawTiff(uint32_t w, uint32_t h, uint32_t stripBytes, const QByteArray& data)
{
    // Tag, type (3 short, 4 long), value; a short sits in the first two bytes.
    // The data follows the nine entries at 8 + 2 + 9 * 12 + 4 = 122.
    const uint32_t entries[9][3] = {{256, 4, w},   {257, 4, h}, {258, 3, 16}, {259, 3, 1}, {262, 3, 1},
                                    {273, 4, 122}, {277, 3, 1}, {278, 4, h},    {279, 4, stripBytes}};
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

// Size, every sample and the range of a loaded frame.
template <typename Samples>
void compareSamples(const TiffData& d, uint32_t w, uint32_t h, const Samples& v)
{
    QCOMPARE(d.width, w);
    QCOMPARE(d.height, h);
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

// A frame of the given pixel type from row-major values.
TiffData* makeFrame(int type, int w, int h, const std::vector<double>& v)
{
    return ts::frame(type, w, h, [&](int c, int r) { return v[size_t(r * w + c)]; });
}

// The pixel rule written out independently of TiffData.
struct Reference {
    int w, h, sx, sy;
    std::vector<double> v;
    double at(long long x, long long y) const
    {
        const long long c = x - sx, r = y - sy;
        if (c < 0 || r < 0 || c >= w || r >= h) return 0;
        return v[size_t(r * w + c)];
    }
    double box(long long x, long long y, long long dx, long long dy) const
    {
        double s = 0;
        for (long long i = x - std::llabs(dx); i <= x + std::llabs(dx); ++i)
            for (long long j = y - std::llabs(dy); j <= y + std::llabs(dy); ++j) s += at(i, j);
        return s;
    }
};

AnalyzeCond gridOf(int w, int h, int xw, int yw, QRectF area)
{
    AnalyzeCond c;
    c.set(w, h, xw, yw, area, -1, -1);
    return c;
}

}  // namespace

// Image frames: the readers, the writer, pixel access, bad-pixel repair and
// the display buffer; and result maps: their values, exports and deglitching.
class TstFramesAndMaps : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase() { initColorTables(); }

    // Every reader against values written here: TIFF by libtiff in both byte
    // orders, with and without an EXIF exposure (stored as a float), samples
    // on both sides of the sign bit and all-zero images (which keep the tiny
    // positive maximum); "IM" files with header offsets, bytes per pixel and
    // exposure unit from the comment; text images at 500 per unit, negative
    // values and missing lines 0.
    void readsFiles_data()
    {
        QTest::addColumn<Loaded>("file");
        const int w = 37;
        // Empty set: the ramp; otherwise its values spread over the frame.
        auto tiff = [&](const char* name, bool big, double seconds, double ms, const QVector<int>& set, int pages = 1) {
            auto v = ramp(w, 5);
            for (size_t i = 0; !set.isEmpty() && i < v.size(); ++i) v[i] = uint16_t(set[int(i * 7 % set.size())]);
            QTest::newRow(name) << Loaded{tiffBytes(path("t.tif"), w, 5, v, big, seconds, false, pages),
                                          TiffData::TiffUInt16, QSize(w, 5), QVector<double>(v.begin(), v.end()), ms,
                                          QPoint(), pages};
        };
        tiff("tiff big endian, exposure", true, 2, 2000, {});
        tiff("tiff exposure", false, 0.123456789, 1000.0 * double(float(0.123456789)), {});
        tiff("tiff sign bit", false, -1, 100, {0x8000, 0x7fff, 0x8001});
        tiff("tiff all zero", false, -1, 100, {0});
        // The first page is the frame; the count lets the loader say so.
        tiff("tiff of three pages", false, -1, 100, {}, 3);
        tiff("tiff of two pages, big endian", true, -1, 100, {0x8000, 3}, 2);
        auto im = [&](const char* name, const QByteArray& comment, int bpp, int rows, double ms) {
            QVector<double> v(w * rows);
            for (int i = 0; i < v.size(); ++i) v[i] = bpp == 4 ? uint32_t(i) * 300000007u + 5 : (i * 5000 + 17) % 65536;
            const auto bytes = ts::imBytes(w, rows, [&](int x, int y) { return v[y * w + x]; }, bpp, comment, 7, 9);
            QTest::newRow(name) << Loaded{bytes, bpp == 4 ? TiffData::UInt32 : TiffData::UInt16, QSize(w, rows), v, ms,
                                          QPoint(7, 9)};
        };
        im("im us", "BytesPerPixel=2,ExposureTime=250 us", 2, 3, 0.25);
        im("im s first, 32-bit", "ExposureTime=0.25 s,BytesPerPixel=4", 4, 3, 250);
        im("im unknown unit", "ExposureTime=250 min,", 2, 3, 250);
        im("im no comment", "", 2, 3, 100);
        im("im no rows", "", 2, 0, 100);
        const int f32 = TiffData::Float32;
        const QByteArray text = "#QDRN-CTImg v1\n# range_x0 = 2\n# RANGE_X1 = 5.9\n# RANGE_Y0 = 1\n# RANGE_Y1 = 3\n"
                                "0 0 1\n1 0 -0.1\n2 0 0.002\n0 1 4.5\n1 1 2\n2 1 3\n";
        QTest::newRow("text") << Loaded{text, f32, QSize(3, 2), {500, 0, 1, 2250, 1000, 1500}, 100, QPoint()};
        QTest::newRow("text, lines missing")
            << Loaded{text.left(text.indexOf("2 0 0.002")), f32, QSize(3, 2), {500, 0, 0, 0, 0, 0}, 100, QPoint()};
    }
    void readsFiles()
    {
        QFETCH(Loaded, file);
        QVERIFY(ts::writeFile(path("frame"), file.bytes));
        TiffData d;
        QVERIFY(d.load(path("frame"), ErrPoints()));
        QCOMPARE(d.pixelType, file.type);
        QCOMPARE(d.exposureMs, file.exposureMs);
        QCOMPARE(QPoint(d.hdrX, d.hdrY), file.header);
        QCOMPARE(d.pages, file.pages);
        compareSamples(d, uint32_t(file.size.width()), uint32_t(file.size.height()), file.values);
    }

    // Strips of as many rows as the image is wide (here 2, 2 and 1), read
    // back through libtiff; names in other scripts go to the file system as
    // they are.
    void writerStripsAndFailures()
    {
        TiffWriter writer;
        const QString name = path(QString::fromUtf8("\xe7\x94\xbb-\xce\xa9.tif"));
        const auto v = ramp(2, 5);
        QVERIFY(writer.write16(name, 2, 5, v.data()));
        TIFF* t = TIFFOpen(QFile::encodeName(name).constData(), "r");
        QVERIFY(t);
        uint16_t photometric = 0;
        QVERIFY(TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric));
        QCOMPARE(photometric, uint16_t(PHOTOMETRIC_MINISBLACK));
        QCOMPARE(TIFFNumberOfStrips(t), 3u);
        TIFFClose(t);
        TiffData d;
        QVERIFY(d.load(name, ErrPoints()));
        compareSamples(d, 2, 5, v);

        QVERIFY(!writer.write16(path("none/x.tif"), 2, 2, ramp(2, 2).data()));
        QVERIFY(!writer.write16(path("neg.tif"), 2, -1, ramp(2, 2).data()));
        QVERIFY(!QFileInfo::exists(path("neg.tif")));

        // A disk that fills up after the samples: only the directory, written
        // at the last flush, is lost, and the write must say so.
        const qint64 room = 8 + 4 * 4 * 2 + 10;
        {
            ts::FileSizeLimit full(room);
            QVERIFY(!writer.write16(path("full.tif"), 4, 4, ramp(4, 4).data()));
        }
        QCOMPARE(QFileInfo(path("full.tif")).size(), room);
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
        QTest::newRow("tiff tiled") << tiffBytes(path("t.tif"), 16, 16, v, false, -1, true)
                                    << "Tiled TIFF is not supported";
        QTest::newRow("tiff no directory") << QByteArray("II*\0\xff\xff\xff\x00", 8) + data << "Can not open TIFF";

        // 4 x 3 samples, one byte short.
        QTest::newRow("im short") << ts::imBytes(4, 3, [](int, int) { return 1234; }, 4).chopped(1)
                                  << "Error on reading \\(2\\)";

        QTest::newRow("text no width")
            << QByteArray("#QDRN-CTImg\n# RANGE_X0 = 10\n# RANGE_X1 = 10\n# RANGE_Y0 = 0\n# RANGE_Y1 = 4\n1 1 1\n")
            << "No pixels in the range";
    }
    void damagedInput()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        const QString name = path("bad.bin");
        QFile::remove(name);
        if (!bytes.isNull()) QVERIFY(ts::writeFile(name, bytes));

        const auto v = ramp(3, 2);
        QVERIFY(ts::writeFile(path("good.tif"), tiffBytes(path("t.tif"), 3, 2, v)));
        TiffData d;
        QVERIFY(d.load(path("good.tif"), ErrPoints()));

        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(message));
        QVERIFY(!d.load(name, ErrPoints()));
        QCOMPARE(d.file, path("good.tif"));
        compareSamples(d, 3, 2, v);
    }

    // A header alone must not buy the 8192 x 8192 text image it declares, nor a few lines a 1024 x 65536 one,
    // whichever side is long: only both sides together outgrow the file. Refused, naming it, before anything is made.
    void textImageBoundByItsFile_data()
    {
        QTest::addColumn<QSize>("declared");
        QTest::addColumn<int>("bytes");  // of the whole file
        QTest::newRow("header only") << QSize(8192, 8192) << 0;
        QTest::newRow("tall") << QSize(1024, 65536) << 1126;
        QTest::newRow("wide") << QSize(65536, 1024) << 1126;
        QTest::newRow("narrow column") << QSize(24, 65536) << 1126;  // either side squared fits in the file
        QTest::newRow("narrow row") << QSize(65536, 24) << 1126;
    }
    void textImageBoundByItsFile()
    {
        QFETCH(QSize, declared);
        QFETCH(int, bytes);
        QByteArray text = QString("#QDRN-CTImg\n# RANGE_X1 = %1\n# RANGE_Y1 = %2\n").arg(declared.width()).arg(declared.height()).toLatin1();
        // The first row's pixels, in the order they come.
        for (int x = 0; text.size() < bytes; ++x) text += QString("%1 0 %2\n").arg(x).arg(0.25 * (x % 7)).toLatin1();
        QVERIFY(ts::writeFile(path("head.txt"), text));
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QString("^Text image %1 declares %2 x %3").arg(
                                             QRegularExpression::escape(path("head.txt"))).arg(declared.width()).arg(declared.height())));
        QVERIFY(!TiffData().load(path("head.txt"), ErrPoints()));
        getrusage(RUSAGE_SELF, &after);
        QVERIFY(after.ru_maxrss - before.ru_maxrss < 64 * 1024);  // kB
    }

    // Pixels, box sums and rectangle means of every sample type against the
    // rule written out here, with shifts that move the frame partly and
    // wholly out of view and rows announced beyond the stored ones (they
    // read 0).
    void pixelsAndBoxes_data()
    {
        QTest::addColumn<int>("type");
        for (int t = 0; t < 4; ++t) QTest::newRow(qPrintable(QString("type %1").arg(t))) << t;
    }
    void pixelsAndBoxes()
    {
        QFETCH(int, type);
        const int w = 7, h = 6;
        // 16-bit over the whole range, 32-bit beyond it, floats with fractions.
        std::vector<double> v;
        for (uint16_t x : ramp(w, h))
            v.push_back(type == TiffData::UInt32 ? x * 60000.0 + 3 : type == TiffData::Float32 ? float(x * 0.37) : x);
        std::unique_ptr<TiffData> d(makeFrame(type, w, h, v));
        d->height = uint32_t(h + 2);
        for (const QPoint shift : {QPoint(0, 0), QPoint(1, -2), QPoint(8, 3)}) {
            d->shiftX = shift.x();
            d->shiftY = shift.y();
            const Reference ref{w, h, shift.x(), shift.y(), v};
            for (int y = -3; y < h + 3; ++y)
                for (int x = -3; x < w + 3; ++x) {
                    QCOMPARE(d->pixelValue(x, y), ref.at(x, y));
                    for (int dx = -3; dx <= 3; dx += 2)
                        for (int dy = -2; dy <= 3; ++dy) QCOMPARE(d->sumBox(x, y, dx, dy), ref.box(x, y, dx, dy));
                }
        }
        // Extreme arguments neither overflow nor loop over the whole range.
        d->shiftX = d->shiftY = 0;
        QCOMPARE(d->sumBox(0, 0, INT_MIN, INT_MAX), std::accumulate(v.begin(), v.end(), 0.0));
        QCOMPARE(d->sumBox(INT_MAX, INT_MIN, 2, 2), 0.0);

        // Rectangles: corners are truncated, the right and bottom edges are
        // inside; empty or undefined ones have mean 0, never NaN.
        d->shiftX = -1;
        const Reference ref{w, h, -1, 0, v};
        QCOMPARE(d->rectMean(QRectF(1.7, 0.2, 2.9, 2.5)), ref.box(2, 1, 1, 1) / 9);
        QCOMPARE(d->rectMean(QRectF(-2, 3, 10, 4)), ref.box(3, 5, 5, 2) / 55);
        QCOMPARE(d->rectMean(QRectF(2, 2, 0, 0)), ref.at(2, 2));
        QCOMPARE(d->rectMean(QRectF(2, 2, -1, 3)), 0.0);
        QCOMPARE(d->rectMean(QRectF(2, 2, 3, -1.5)), 0.0);
        QCOMPARE(d->rectMean(QRectF(qQNaN(), 2, 3, 3)), 0.0);
        QCOMPARE(d->rectMean(QRectF(0, 0, 1e12, 1e12)),
                 d->sumBox(50, 50, 50, 50) / (double(INT_MAX) + 1) / (double(INT_MAX) + 1));
    }

    void areaValueInterpolates()
    {
        QCOMPARE(TiffData::areaValue({}, 5, 1, 1, 1, 1), 1.0);
        // Frame i is constant (i + 1) * 10, so a 3x3 box inside sums to 90 (i + 1).
        ts::Stack stack;
        const double energies[] = {100, 110, 130, 130};
        for (int i = 0; i < 4; ++i)
            stack.add(ts::frame(TiffData::UInt16, 4, 4, [i](int, int) { return (i + 1) * 10.0; }, energies[i]));
        auto at = [&](double e) { return TiffData::areaValue(stack.frames, e, 1, 1, 1, 1); };
        QCOMPARE(TiffData::areaValue(stack.frames.mid(0, 1), 42, 1, 1, 1, 1), 90.0);
        QCOMPARE(at(90), 90.0);
        QCOMPARE(at(105), 135.0);
        QCOMPARE(at(120), 225.0);
        // At and beyond the last energy the last frames hold; they share an
        // energy here, so their mean is the value.
        QCOMPARE(at(150), 315.0);
        stack[3]->energy = 140;
        QCOMPARE(at(160), 360.0);
    }

    // Listed pixels of a 4 x 4 frame holding i * i + 1 (i = 4 y + x) become
    // the mean of their good neighbours, truncated for integer samples. The
    // list holds detector positions (image position + header offset); its
    // points are looked up at their shifted place and repaired in list order,
    // so a later pixel sees the repaired value of an earlier one when the
    // list is switched off. Expected: changed samples as (index, value).
    void repairBadPixels_data()
    {
        QTest::addColumn<Repair>("repair");
        const int u16 = TiffData::UInt16;
        const QVector<QPoint> pair{{1, 1}, {2, 1}};
        QTest::newRow("list off, points outside")
            << Repair{false, pair + QVector<QPoint>{{40, 1}, {-1, 0}}, u16, {}, {}, {{5, 38}, {6, 51}}};
        QTest::newRow("float samples") << Repair{false, pair, TiffData::Float32, {}, {}, {{5, 38.75}, {6, 51.34375}}};
        QTest::newRow("no good neighbour")
            << Repair{true, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}, u16, {}, {}, {{0, 0}, {1, 21}, {4, 73}, {5, 58}}};
        QTest::newRow("header offset")
            << Repair{true, {{11, 21}, {12, 21}, {2, 1}}, u16, {10, 20}, {}, {{5, 39}, {6, 53}}};
        QTest::newRow("shifted") << Repair{false, {{2, 1}}, u16, {}, {1, 0}, {{5, 38}}};
    }
    void repairBadPixels()
    {
        QFETCH(Repair, repair);
        std::vector<double> v(16);
        for (int i = 0; i < 16; ++i) v[size_t(i)] = i * i + 1;
        std::unique_ptr<TiffData> d(makeFrame(repair.type, 4, 4, v));
        d->hdrX = repair.header.x();
        d->hdrY = repair.header.y();
        ErrPoints list{repair.use, QString(), repair.points};
        d->errPs = &list;
        d->shiftX = repair.shift.x();
        d->shiftY = repair.shift.y();
        d->fixErrPoints();
        d->shiftX = d->shiftY = 0;
        for (const QPointF& c : repair.changed) v[size_t(c.x())] = c.y();
        for (int i = 0; i < 16; ++i) QCOMPARE(d->pixelValue(i % 4, i / 4), v[size_t(i)]);
    }

    // Every byte of the display buffer against the scale written out here,
    // built over buffers left dirty (which the allocator tends to hand
    // back): padding at the end of each line, zeros shifted in, rows past
    // the stored ones blank, scale limits inside the range. A 16-bit frame
    // this wide takes the table path; under a colour scale a grey frame
    // takes one byte a pixel, not three.
    void displayBufferEveryByte()
    {
        const int w = 513, h = 512, line = bytesPerLineOfFormat(QImage::Format_Grayscale8, w);
        std::vector<double> v(size_t(w * h));
        for (int i = 0; i < w * h; ++i) v[size_t(i)] = double((int64_t(i) * 7919) % 60000 + 5);
        std::unique_ptr<TiffData> d(makeFrame(TiffData::TiffUInt16, w, h, v));
        d->height = uint32_t(h + 3);
        d->shiftX = -3;
        d->shiftY = 2;
        ColorScale scale;
        scale.imageFormat = QImage::Format_RGB888;
        scale.lowerLimit = 0.1;
        scale.upperLimit = 0.8;
        mainColorBar = &scale;
        for (int k = 0; k < 3; ++k) {
            d->makeQImage();
            if (k < 2) std::memset(d->buffer, 0xab, size_t(line * (h + 3)));
        }
        mainColorBar = nullptr;
        const Reference ref{w, h, -3, 2, v};
        std::vector<unsigned char> want(size_t(line * (h + 3)), 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double t = ((ref.at(x, y) - d->min) / (d->max - d->min) - 0.1) / (0.8 - 0.1);
                want[size_t(y * line + x)] = *colorPixelOf(int(766 * std::min(1.0, std::max(0.0, t))));
            }
        QVERIFY(std::equal(want.begin(), want.end(), d->buffer));
    }

    void setDataBlocksAndRange()
    {
        Analyzed2DRes m("m");
        m.setCond(gridOf(10, 10, 1, 1, QRectF(0, 0, 10, 10)));
        m.setData(5, 5, 1, 1, 2.0);
        m.setData(8, 5, -1, -1, -1.0);  // negative half-widths: their magnitude
        m.setData(1, 1, 0, 0, 2.0);     // equal to the maximum: its position stays
        m.setData(9, 9, 2, 2, 1.5);     // at the corner: only the part inside
        m.setData(-1, 0, 0, 0, 0.5);    // entirely outside
        QCOMPARE(m.dataMax, 2.0);
        QCOMPARE(m.maxPos, QPoint(5, 5));
        QCOMPARE(m.dataMin, -1.0);
        QCOMPARE(m.minPos, QPoint(8, 5));
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x) {
                double expect = 0;
                if (y >= 4 && y <= 6) expect = x >= 4 && x <= 6 ? 2.0 : x >= 7 ? -1.0 : 0.0;
                if (y >= 7 && x >= 7) expect = 1.5;
                if (x == 1 && y == 1) expect = 2.0;
                QCOMPARE(m.valueAt(x, y), expect);
            }
    }

    // Pixel mode: one sample per map pixel, scaled to 16 bits. The map's own
    // fixed scale (100 to 200) is never the export's.
    void exportScaling_data()
    {
        QTest::addColumn<Export>("e");
        QTest::newRow("given limits") << Export{true, 0, 10, false, {0, 32767, 65535, 65535}};
        QTest::newRow("data range") << Export{false, 0, 10, false, {0, 34952, 65535, 56797}};
        QTest::newRow("equal limits") << Export{true, 5, 5, false, {0, 0, 0, 0}};
        QTest::newRow("infinite limits") << Export{true, -qInf(), qInf(), false, {0, 0, 0, 0}};
        QTest::newRow("processed range") << Export{false, 0, 0, true, {0, 0, 0, 16383}};
    }
    void exportScaling()
    {
        QFETCH(Export, e);
        Analyzed2DRes m("m");
        const double vals[4] = {-3, 5, 12, 10};
        ts::fillMap(m, 2, 2, [&](int x, int y) { return vals[y * 2 + x]; });
        m.fixedScale = true;
        m.fixedMin = 100;
        m.fixedMax = 200;
        if (e.processed) {
            m.showProc = true;
            m.procMin = 0;
            m.procMax = 4;
            m.proc[3] = 1;
        }
        std::unique_ptr<quint16[]> s(m.tiffDataForSave(e.fixed, e.lo, e.hi, false));
        QCOMPARE((QVector<int>{s[0], s[1], s[2], s[3]}), e.samples);
    }

    // Block mode: one sample per block in walk order, 0 for a block centred
    // outside the map, also when there are more blocks than pixels.
    void exportBlocks()
    {
        Analyzed2DRes m("m");
        AnalyzeCond g = gridOf(4, 4, 0, 0, QRectF(-2, -2, 8, 8));
        m.setCond(g);
        g.reset();
        QVector<int> want;
        do {
            const double v = want.size() * 0.5;
            m.setData(g.curX, g.curY, g.xw, g.yw, v);
            want << (QRect(0, 0, 4, 4).contains(g.curX, g.curY) ? int(std::trunc(v / 40 * 65535)) : 0);
        } while (g.next());
        std::unique_ptr<quint16[]> s(m.tiffDataForSave(true, 0, 40, true));
        QCOMPARE(m.exportCount, 64);
        for (int k = 0; k < want.size(); ++k)
            QCOMPARE(int(s[k]), want[k]);
    }

    void deglitchScores()
    {
        // A plane x + y with a spike of 100 at (3, 3) and a bump of 6 at (1, 5),
        // single-pixel blocks. Scores: the spike 188, its four neighbours 47,
        // the bump 12, two of its neighbours 3, the rest 0; mean 394 / 49, so
        // the threshold (twice the mean) takes the spike and its neighbours
        // but leaves the bump. The spike becomes the mean of its neighbours
        // (6); each neighbour the mean of its own, which include the spike.
        Analyzed2DRes m("m");
        ts::fillMap(m, 7, 7, [](int x, int y) { return x == 3 && y == 3 ? 100.0 : x == 1 && y == 5 ? 12.0 : x + y; });
        m.deglitch();
        QCOMPARE(m.proc[3 * 7 + 3], 6.0);
        QCOMPARE(m.proc[3 * 7 + 2], (4 + 100 + 4 + 6) / 4.0);
        QCOMPARE(m.proc[2 * 7 + 3], (4 + 6 + 4 + 100) / 4.0);
        QCOMPARE(m.proc[3 * 7 + 4], (100 + 8 + 6 + 8) / 4.0);
        QCOMPARE(m.proc[5 * 7 + 1], 12.0);
        QCOMPARE(m.procMin, 0.0);
        QCOMPARE(m.procMax, 30.5);
        QCOMPARE(m.valueAt(3, 3), 100.0);  // data untouched
        // A quarter of the factor takes the bump too: its neighbours' mean.
        m.setDeglitchConds(0.5, 0.9);
        m.deglitch();
        QCOMPARE(m.proc[5 * 7 + 1], 6.0);
    }

    void deglitch2Limit()
    {
        // 5 x 5 of 1.0 with a 3 x 3 patch of 100 in the middle: the mean of
        // values under the limit is 1 (of all values it would be 36.64, and
        // the 1.0 pixels glitches too); the centre has only glitch
        // neighbours (0), the patch edge sees 1.0 neighbours.
        Analyzed2DRes m("m");
        ts::fillMap(m, 5, 5, [](int x, int y) { return std::abs(x - 2) <= 1 && std::abs(y - 2) <= 1 ? 100.0 : 1.0; });
        m.deglitch2(30);
        QCOMPARE(m.proc[2 * 5 + 2], 0.0);
        QCOMPARE(m.proc[1 * 5 + 1], 1.0);
        QCOMPARE(m.procMax, 1.0);

        // Neighbours a block-size step away on a grid of 3 x 3 blocks, inside
        // a grid that reaches far beyond the image (both passes skip those).
        Analyzed2DRes b("b");
        b.setCond(gridOf(9, 9, 1, 1, QRectF(-6, -6, 21, 21)));
        const double v[3][3] = {{2, 4, 6}, {8, 500, 10}, {12, 20, 16}};
        for (int by = 0; by < 3; ++by)
            for (int bx = 0; bx < 3; ++bx) b.setData(1 + 3 * bx, 1 + 3 * by, 1, 1, v[by][bx]);
        b.deglitch();
        b.deglitch2(100);
        for (int y = 3; y <= 5; ++y)
            for (int x = 3; x <= 5; ++x) QCOMPARE(b.proc[y * 9 + x], 78 / 8.0);
        QCOMPARE(b.proc[0], 2.0);
    }

    // 3 x 2 blocks of 3 x 3 pixels from (10, 4); each block holds x / 4 - y
    // of its centre. Written twice: the first walk must leave the grid ready
    // for the next. A folder that is not there, or a map without values:
    // nothing is written.
    void textExport()
    {
        Analyzed2DRes m("m");
        AnalyzeCond g = gridOf(20, 10, 1, 1, QRectF(10, 4, 9, 6));
        m.setCond(g);
        g.reset();
        do m.setData(g.curX, g.curY, 1, 1, g.curX * 0.25 - g.curY);
        while (g.next());
        const QString file = path("map.dat");
        for (const bool xyz : {false, true, true}) {
            QVERIFY(m.saveAsText(QFileInfo(file), false, !xyz, xyz));
            const QStringList lines = ts::readLines(file);
            QCOMPARE(lines.mid(0, 2), (QStringList{"## 240301", "## Corvenlith Analyzed 2D Result"}));
            QCOMPARE(lines.mid(3, 6), (QStringList{"## Energy : ", QString("# Format1 : ") + (xyz ? "XYZ" : "VVV"),
                                                   QString("# Format2 : ") + (xyz ? "SPACE-Separated" : "CSV"),
                                                   "# X-NUM 3", "# Y-NUM 2", "## End of Header ##"}));
            const QStringList body = xyz ? QStringList{"11 5 -2.25", "14 5 -1.5", "17 5 -0.75",
                                                       "11 8 -5.25", "14 8 -4.5", "17 8 -3.75"}
                                         : QStringList{"", "-2.25,-1.5,-0.75", "-5.25,-4.5,-3.75"};
            QCOMPARE(lines.mid(9), body);
            QVERIFY(ts::readAll(file).endsWith('\n'));
        }

        const QString bad = path("missing/sub/x.dat");
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Can't open " + bad));
        QVERIFY(!m.saveAsText(QFileInfo(bad), false, true, true));
        Analyzed2DRes empty("empty");
        QVERIFY(!empty.saveAsText(QFileInfo(path("empty.dat")), false, false, false));
        QVERIFY(!QFile::exists(path("empty.dat")));
    }
};

QTEST_GUILESS_MAIN(TstFramesAndMaps)
#include "tst_framesandmaps.moc"
