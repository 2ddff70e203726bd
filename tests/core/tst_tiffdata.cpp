#include "core/ColorScale.h"
#include "core/ErrPoints.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "core/TiffWriter.h"
#include "support/FileSizeLimit.h"
#include "support/Files.h"
#include "support/Frames.h"

#include <QtEndian>
#include <QtTest>

#include <tiffio.h>

#include <cmath>
#include <cstring>
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

// A display buffer: sample type, image format, whether the scale is in
// colour, width, shift and the scale's limits.
struct Display {
    int type, format;
    bool colourScale;
    int w;
    QPoint shift;
    double lower, upper;
};
Q_DECLARE_METATYPE(Display)

namespace {

// A 16-bit grey TIFF written by libtiff itself, independently of TiffWriter,
// in strips of three rows; an EXIF exposure when seconds is not negative.
// Its bytes, through a scratch file.
QByteArray tiffBytes(const QString& scratch, uint32_t w, uint32_t h, const std::vector<uint16_t>& v,
                     bool bigEndian = false, double seconds = -1)
{
    TIFF* t = TIFFOpen(QFile::encodeName(scratch).constData(), bigEndian ? "wb" : "wl");
    if (!t) return QByteArray();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (seconds >= 0) TIFFSetField(t, TIFFTAG_EXIFIFD, uint64_t(0));
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 3);
    for (uint32_t r = 0; r < h; ++r) {
        std::vector<uint16_t> row(v.begin() + r * w, v.begin() + (r + 1) * w);
        TIFFWriteScanline(t, row.data(), r, 0);
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
    TIFFClose(t);
    return ts::readAll(scratch);
}

// A classic little-endian TIFF put together byte by byte, for headers that
// libtiff would not write: one strip of stripBytes bytes announced, data
// holding what is really there.
QByteArray rawTiff(uint32_t w, uint32_t h, uint32_t stripBytes, const QByteArray& data, uint32_t bits = 16)
{
    // Tag, type (3 short, 4 long), value; a short sits in the first two bytes.
    // The data follows the nine entries at 8 + 2 + 9 * 12 + 4 = 122.
    const uint32_t entries[9][3] = {{256, 4, w},   {257, 4, h}, {258, 3, bits}, {259, 3, 1}, {262, 3, 1},
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

// Samples of every type: 16-bit over the whole range, 32-bit beyond it,
// floats with fractions.
std::vector<double> pattern(int w, int h, int type)
{
    std::vector<double> v;
    for (uint16_t x : ramp(uint32_t(w), uint32_t(h)))
        v.push_back(type == TiffData::UInt32 ? x * 60000.0 + 3 : type == TiffData::Float32 ? float(x * 0.37) : x);
    return v;
}

}  // namespace

class TstTiffData : public QObject
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
        auto tiff = [&](const char* name, bool big, double seconds, double ms, const QVector<int>& set) {
            auto v = ramp(w, 5);
            for (size_t i = 0; !set.isEmpty() && i < v.size(); ++i) v[i] = uint16_t(set[int(i * 7 % set.size())]);
            QTest::newRow(name) << Loaded{tiffBytes(path("t.tif"), w, 5, v, big, seconds), TiffData::TiffUInt16,
                                          QSize(w, 5), QVector<double>(v.begin(), v.end()), ms, QPoint()};
        };
        tiff("tiff", false, -1, 100, {});
        tiff("tiff big endian, exposure", true, 2, 2000, {});
        tiff("tiff exposure", false, 0.123456789, 1000.0 * double(float(0.123456789)), {});
        tiff("tiff sign bit", false, -1, 100, {0x8000, 0x7fff, 0x8001});
        tiff("tiff all zero", false, -1, 100, {0});
        auto im = [&](const char* name, const QByteArray& comment, int bpp, int rows, double ms) {
            QVector<double> v(w * rows);
            for (int i = 0; i < v.size(); ++i) v[i] = bpp == 4 ? uint32_t(i) * 300000007u + 5 : (i * 5000 + 17) % 65536;
            auto px = [&](int x, int y) { return v[y * w + x]; };
            const QByteArray bytes = ts::imBytes(w, rows, px, bpp, comment, 7, 9);
            QTest::newRow(name) << Loaded{bytes, bpp == 4 ? TiffData::UInt32 : TiffData::UInt16, QSize(w, rows), v, ms,
                                          QPoint(7, 9)};
        };
        im("im us", "BytesPerPixel=2,ExposureTime=250 us", 2, 3, 0.25);
        im("im s first, 32-bit", "ExposureTime=0.25 s,BytesPerPixel=4", 4, 3, 250);
        im("im unknown unit", "ExposureTime=250 min,", 2, 3, 250);
        im("im no comment", "", 2, 3, 100);
        // A comment of 71 bytes puts 'G' (71) in the low byte of its length.
        im("IMG", QByteArray(71, ' '), 2, 3, 100);
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
        compareSamples(d, uint32_t(file.size.width()), uint32_t(file.size.height()), file.values);
        QCOMPARE(d.image != nullptr, !file.values.isEmpty());
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

        // No rows: the tags and no strip.
        QVERIFY(writer.write16(path("empty.tif"), 4, 0, nullptr));
        QVERIFY(QFileInfo(path("empty.tif")).size() > 8);
        QVERIFY(!writer.write16(path("none/x.tif"), 2, 2, ramp(2, 2).data()));
        QVERIFY(!writer.write16(path("neg.tif"), 2, -1, ramp(2, 2).data()));
        QVERIFY(!QFileInfo::exists(path("neg.tif")));

        // A disk that fills up after the samples: only the directory, written
        // at the last flush, is lost, and the write must say so.
        const qint64 room = 8 + 4 * 4 * 2 + 10;
        bool written = true;
        {
            ts::FileSizeLimit full(room);
            written = writer.write16(path("full.tif"), 4, 4, ramp(4, 4).data());
        }
        QVERIFY(!written);
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
        QTest::newRow("tiff absurd size") << rawTiff(100000, 100000, 128, data) << "Image too large";
        QTest::newRow("tiff lying size") << rawTiff(4000, 4000, 32000000, data) << "TIFF file too short";
        QTest::newRow("tiff no directory") << QByteArray("II*\0\xff\xff\xff\x00", 8) + data << "Can not open TIFF";
        QTest::newRow("tiff 8-bit") << rawTiff(8, 8, 64, data.left(64), 8) << "Not a 16-bit grey TIFF";

        // 4 x 3 samples, one byte short; or announced as 65535 x 65535.
        const QByteArray im = ts::imBytes(4, 3, [](int, int) { return 1234; }, 4, "BytesPerPixel=2");
        QTest::newRow("im short") << im.chopped(1) << "Error on reading \\(2\\)";
        QTest::newRow("im absurd size") << QByteArray(im).replace(4, 4, QByteArray(4, '\xff')) << "invalid file size";

        QTest::newRow("text no width")
            << QByteArray("#QDRN-CTImg\n# RANGE_X0 = 10\n# RANGE_X1 = 10\n# RANGE_Y0 = 0\n# RANGE_Y1 = 4\n1 1 1\n")
            << "No pixels in the range";
        QTest::newRow("text absurd size")
            << QByteArray("#QDRN-CTImg\n# RANGE_X1 = 1e9\n# RANGE_Y1 = 1e12\n") << "Image too large";
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
        const QVector<void*> rows = d.rows;
        const QImage* image = d.image;

        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(message));
        QVERIFY(!d.load(name, ErrPoints()));
        QCOMPARE(d.rows, rows);
        QCOMPARE(d.image, image);
        QCOMPARE(d.file, path("good.tif"));
        compareSamples(d, 3, 2, v);
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
        const auto v = pattern(w, h, type);
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
        double all = 0;
        for (double x : v) all += x;
        QCOMPARE(d->sumBox(0, 0, INT_MIN, INT_MAX), all);
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
        QCOMPARE(at(130), 315.0);
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
        QTest::newRow("corners") << Repair{true, {{0, 0}, {3, 3}}, u16, {}, {}, {{0, 15}, {15, 140}}};
        QTest::newRow("listed neighbours left out") << Repair{true, pair, u16, {}, {}, {{5, 39}, {6, 53}}};
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
        ErrPoints list;
        list.use = repair.use;
        list.points = repair.points;
        d->errPs = &list;
        d->shiftX = repair.shift.x();
        d->shiftY = repair.shift.y();
        d->fixErrPoints();
        d->shiftX = d->shiftY = 0;
        for (const QPointF& c : repair.changed) v[size_t(c.x())] = c.y();
        for (int i = 0; i < 16; ++i) QCOMPARE(d->pixelValue(i % 4, i / 4), v[size_t(i)]);
    }

    // Every byte of the display buffer against the scale written out here:
    // widths that leave padding at the end of each line (wide 16-bit frames
    // take the table path), shifts that bring zeros in, rows past the stored
    // ones blank, scale limits inside the range, and a colour scale over a
    // grey frame (one byte a pixel, not three).
    void displayBufferEveryByte_data()
    {
        QTest::addColumn<Display>("display");
        const int grey = QImage::Format_Grayscale8, rgb = QImage::Format_RGB888;
        const int t16 = TiffData::TiffUInt16, t32 = TiffData::UInt32;
        QTest::newRow("grey, colour scale") << Display{t16, grey, true, 513, QPoint(-3, 2), 0.0, 1.0};
        QTest::newRow("rgb, limits") << Display{t16, rgb, true, 513, QPoint(3, -2), 0.1, 0.8};
        QTest::newRow("grey, shifted out right") << Display{t16, grey, false, 513, QPoint(518, 0), 0.0, 1.0};
        QTest::newRow("grey 32-bit, limits") << Display{t32, grey, false, 7, QPoint(-3, 2), 0.1, 0.8};
        QTest::newRow("rgb 32-bit") << Display{t32, rgb, true, 7, QPoint(3, -2), 0.0, 1.0};
    }
    void displayBufferEveryByte()
    {
        QFETCH(Display, display);
        const int w = display.w, h = 512, format = display.format;
        std::vector<double> v(size_t(w * h));
        for (int i = 0; i < w * h; ++i) v[size_t(i)] = double((int64_t(i) * 7919) % 60000 + 5);
        std::unique_ptr<TiffData> d(makeFrame(display.type, w, h, v));
        d->height = uint32_t(h + 3);
        d->shiftX = display.shift.x();
        d->shiftY = display.shift.y();
        d->format = format;
        ColorScale scale;
        scale.imageFormat = display.colourScale ? QImage::Format_RGB888 : format;
        scale.lowerLimit = display.lower;
        scale.upperLimit = display.upper;
        mainColorBar = &scale;
        const int line = bytesPerLineOfFormat(format, w);
        const size_t size = size_t(line) * size_t(h + 3);
        // Rebuilt over buffers left dirty, which the allocator tends to hand
        // back: no byte may be left as it was.
        for (int k = 0; k < 3; ++k) {
            d->makeQImage();
            QVERIFY(d->buffer);
            if (k < 2) std::memset(d->buffer, 0xab, size);
        }
        mainColorBar = nullptr;
        QCOMPARE(d->image->size(), QSize(w, h + 3));
        QCOMPARE(int(d->image->format()), format);

        const int bpp = format == QImage::Format_RGB888 ? 3 : 1;
        const Reference ref{w, h, display.shift.x(), display.shift.y(), v};
        std::vector<unsigned char> want(size, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double t = ((ref.at(x, y) - d->min) / (d->max - d->min) - display.lower)
                           / (display.upper - display.lower);
                t = std::min(1.0, std::max(0.0, t));
                const unsigned char grey = uchar(std::min(255, int(256 * t)));
                const unsigned char* c = display.colourScale ? colorPixelOf(int(766 * t)) : &grey;
                std::copy(c, c + bpp, &want[size_t(y * line + x * bpp)]);
            }
        for (size_t i = 0; i < size; ++i)
            if (d->buffer[i] != want[i])
                QFAIL(qPrintable(QString("byte %1 is %2, not %3").arg(i).arg(d->buffer[i]).arg(want[i])));
    }
};

QTEST_GUILESS_MAIN(TstTiffData)
#include "tst_tiffdata.moc"
