#include "core/ColorScale.h"
#include "core/ErrPoints.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "support/Frames.h"

#include <QtTest>

#include <tiffio.h>

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

// A frame of the given pixel type from row-major values.
static TiffData* makeFrame(int type, int w, int h, const std::vector<double>& v)
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

static std::vector<double> pattern(int w, int h, int type)
{
    std::vector<double> v(size_t(w * h));
    for (int i = 0; i < w * h; ++i) {
        const double base = (i * 7919) % 1000 + 1;
        v[size_t(i)] = type == TiffData::UInt32 ? base * 100000.0 + 3
                       : type == TiffData::Float32 ? base * 0.37 : base;
    }
    return v;
}

class TstTiffData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initColorTables(); }

    // Frames without samples read 0 and show black; a list with holes is freed.
    void emptyFrames()
    {
        TiffData d;
        d.width = 5;
        d.height = 3;
        QCOMPARE(d.pixelValue(1, 1), 0.0);
        QCOMPARE(d.sumBox(2, 1, 3, 3), 0.0);
        d.makeQImage();
        QCOMPARE(d.image->size(), QSize(5, 3));
        for (int i = 0; i < bytesPerLineOfFormat(d.format, 5) * 3; ++i) QCOMPARE(int(d.buffer[i]), 0);
        TiffData none;
        none.makeQImage();
        QVERIFY(!none.image);

        QVector<TiffData*> list{new TiffData, nullptr, makeFrame(TiffData::TiffUInt16, 2, 2, {1, 2, 3, 4})};
        deleteTiffDataList(list);
        QVERIFY(list.isEmpty());
    }

    // Pixels and box sums of every sample type against the rule written out
    // here, with shifts that move the frame partly and wholly out of view.
    void pixelsAndBoxes_data()
    {
        QTest::addColumn<int>("type");
        for (int t = 0; t < 4; ++t) QTest::newRow(qPrintable(QString("type %1").arg(t))) << t;
    }
    void pixelsAndBoxes()
    {
        QFETCH(int, type);
        const int w = 7, h = 6;
        auto v = pattern(w, h, type);
        if (type == TiffData::Float32)
            for (auto& x : v) x = double(float(x));
        std::unique_ptr<TiffData> d(makeFrame(type, w, h, v));
        for (const QPoint shift : {QPoint(0, 0), QPoint(1, -2), QPoint(8, 3)}) {
            d->shiftX = shift.x();
            d->shiftY = shift.y();
            const Reference ref{w, h, shift.x(), shift.y(), v};
            for (int y = -3; y < h + 3; ++y)
                for (int x = -3; x < w + 3; ++x) {
                    QCOMPARE(d->pixelValue(x, y), ref.at(x, y));
                    for (int dx = -3; dx <= 3; dx += 2)
                        for (int dy = -2; dy <= 3; ++dy) {
                            const double want = ref.box(x, y, dx, dy);
                            const double got = d->sumBox(x, y, dx, dy);
                            QVERIFY2(std::fabs(got - want) <= 1e-9 * std::max(1.0, std::fabs(want)),
                                     qPrintable(QString("%1 %2 %3 %4: %5 vs %6")
                                                    .arg(x).arg(y).arg(dx).arg(dy).arg(got).arg(want)));
                        }
                }
        }
        // Extreme arguments neither overflow nor loop over the whole range.
        d->shiftX = d->shiftY = 0;
        double all = 0;
        for (double x : v) all += x;
        QCOMPARE(d->sumBox(0, 0, INT_MIN, INT_MAX), all);
        QCOMPARE(d->sumBox(INT_MAX, INT_MIN, 2, 2), 0.0);
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

    void rectMean()
    {
        const int w = 6, h = 5;
        const auto v = pattern(w, h, TiffData::UInt16);
        std::unique_ptr<TiffData> d(makeFrame(TiffData::UInt16, w, h, v));
        d->shiftX = -1;
        const Reference ref{w, h, -1, 0, v};
        auto mean = [&](int x0, int y0, int rw, int rh) {
            double s = 0;
            for (int x = x0; x <= x0 + rw; ++x)
                for (int y = y0; y <= y0 + rh; ++y) s += ref.at(x, y);
            return s / ((rw + 1) * (rh + 1));
        };
        QCOMPARE(d->rectMean(QRectF(1.7, 0.2, 2.9, 1.5)), mean(1, 0, 2, 1));
        QCOMPARE(d->rectMean(QRectF(-2, 3, 10, 4)), mean(-2, 3, 10, 4));
        QCOMPARE(d->rectMean(QRectF(2, 2, 0, 0)), ref.at(2, 2));
        // Empty or undefined rectangles have mean 0, never NaN.
        QCOMPARE(d->rectMean(QRectF(2, 2, -1, 3)), 0.0);
        QCOMPARE(d->rectMean(QRectF(2, 2, 3, -1.5)), 0.0);
        QCOMPARE(d->rectMean(QRectF(qQNaN(), 2, 3, 3)), 0.0);
        QCOMPARE(d->rectMean(QRectF(0, 0, 1e12, 1e12)),
                 d->sumBox(50, 50, 50, 50) / (double(INT_MAX) + 1) / (double(INT_MAX) + 1));
    }

    // Listed pixels of a 4 x 4 frame holding i * i + 1 (i = 4 y + x) become
    // the mean of their good neighbours, truncated for integer samples. The
    // list holds detector positions (image position + header offset); its
    // points are looked up at their shifted place and repaired in list order,
    // so a later pixel sees the repaired value of an earlier one when the
    // list is switched off. Expected: changed samples as (index, value).
    void repairBadPixels_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("use");
        QTest::addColumn<QPoint>("header");
        QTest::addColumn<QPoint>("shift");
        QTest::addColumn<QVector<QPoint>>("points");
        QTest::addColumn<QVector<QPointF>>("changed");
        using Points = QVector<QPoint>;
        using Changes = QVector<QPointF>;
        const int u16 = TiffData::UInt16;
        const Points pair{QPoint(1, 1), QPoint(2, 1)};
        QTest::newRow("corners") << u16 << true << QPoint() << QPoint() << Points{QPoint(0, 0), QPoint(3, 3)}
                                 << Changes{{0, 15}, {15, 140}};
        QTest::newRow("listed neighbours left out") << u16 << true << QPoint() << QPoint() << pair
                                                    << Changes{{5, 39}, {6, 53}};
        QTest::newRow("list off, points outside")
            << u16 << false << QPoint() << QPoint() << (Points(pair) << QPoint(40, 1) << QPoint(-1, 0))
            << Changes{{5, 38}, {6, 51}};
        QTest::newRow("float samples") << int(TiffData::Float32) << false << QPoint() << QPoint() << pair
                                       << Changes{{5, 38.75}, {6, 51.34375}};
        QTest::newRow("no good neighbour") << u16 << true << QPoint() << QPoint()
                                           << Points{QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)}
                                           << Changes{{0, 0}, {1, 21}, {4, 73}, {5, 58}};
        QTest::newRow("header offset") << u16 << true << QPoint(10, 20) << QPoint()
                                       << Points{QPoint(11, 21), QPoint(12, 21), QPoint(2, 1)}
                                       << Changes{{5, 39}, {6, 53}};
        QTest::newRow("shifted") << u16 << false << QPoint() << QPoint(1, 0) << Points{QPoint(2, 1)}
                                 << Changes{{5, 38}};
    }
    void repairBadPixels()
    {
        QFETCH(int, type);
        QFETCH(bool, use);
        QFETCH(QPoint, header);
        QFETCH(QPoint, shift);
        QFETCH(QVector<QPoint>, points);
        QFETCH(QVector<QPointF>, changed);
        std::vector<double> v(16);
        for (int i = 0; i < 16; ++i) v[size_t(i)] = i * i + 1;
        std::unique_ptr<TiffData> d(makeFrame(type, 4, 4, v));
        d->hdrX = header.x();
        d->hdrY = header.y();
        ErrPoints list;
        list.use = use;
        list.points = points;
        d->errPs = &list;
        d->shiftX = shift.x();
        d->shiftY = shift.y();
        d->fixErrPoints();
        d->shiftX = d->shiftY = 0;
        for (const QPointF& c : changed) v[size_t(c.x())] = c.y();
        for (int i = 0; i < 16; ++i) QCOMPARE(d->pixelValue(i % 4, i / 4), v[size_t(i)]);
    }

    void displayImageColourAndFlat()
    {
        std::unique_ptr<TiffData> d(makeFrame(TiffData::UInt16, 3, 2, {0, 383, 766, 5, 5, 5}));
        ColorScale colour;
        colour.imageFormat = QImage::Format_RGB888;
        mainColorBar = &colour;
        d->format = QImage::Format_RGB888;
        d->makeQImage();
        QCOMPARE(d->image->format(), QImage::Format_RGB888);
        QCOMPARE(d->image->pixelColor(0, 0), QColor(0, 0, 0));
        QCOMPARE(d->image->pixelColor(1, 0), QColor(255, 128, 0));
        QCOMPARE(d->image->pixelColor(2, 0), QColor(255, 255, 255));
        // A colour scale over a grey frame writes one byte a pixel, not three.
        d->format = QImage::Format_Grayscale8;
        d->makeQImage();
        QCOMPARE(d->image->format(), QImage::Format_Grayscale8);
        mainColorBar = nullptr;

        // min == max: every pixel takes the lowest colour.
        std::unique_ptr<TiffData> flat(makeFrame(TiffData::Float32, 3, 2, std::vector<double>(6, 7)));
        flat->makeQImage();
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) QCOMPARE(qGray(flat->image->pixel(x, y)), 0);
    }

    // Every byte of the display buffer against the scale written out here:
    // widths that leave padding at the end of each line (the larger one takes
    // the table path), shifts that bring zeros in, rows past the stored ones
    // blank, and scale limits inside the range.
    void displayBufferEveryByte_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("w");
        QTest::addColumn<QPoint>("shift");
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("upper");
        const int grey = QImage::Format_Grayscale8, rgb = QImage::Format_RGB888;
        const int t16 = TiffData::TiffUInt16;
        for (int format : {grey, rgb}) {
            const QString f = format == grey ? "grey" : "rgb";
            QTest::newRow(qPrintable(f + " narrow")) << t16 << format << 7 << QPoint(-3, 2) << 0.0 << 1.0;
            QTest::newRow(qPrintable(f + " wide")) << t16 << format << 513 << QPoint(-3, 2) << 0.0 << 1.0;
            QTest::newRow(qPrintable(f + " shifted out right")) << t16 << format << 513 << QPoint(518, 0) << 0.0 << 1.0;
            QTest::newRow(qPrintable(f + " shifted out up")) << t16 << format << 7 << QPoint(0, -600) << 0.0 << 1.0;
            QTest::newRow(qPrintable(f + " limits")) << t16 << format << 700 << QPoint(3, -2) << 0.1 << 0.8;
            QTest::newRow(qPrintable(f + " 32-bit limits")) << int(TiffData::UInt32) << format << 700 << QPoint(3, -2)
                                                            << 0.1 << 0.8;
        }
    }
    void displayBufferEveryByte()
    {
        QFETCH(int, type);
        QFETCH(int, format);
        QFETCH(int, w);
        QFETCH(QPoint, shift);
        QFETCH(double, lower);
        QFETCH(double, upper);
        const int h = 512;
        std::vector<double> v(size_t(w * h));
        for (int i = 0; i < w * h; ++i) v[size_t(i)] = double((int64_t(i) * 7919) % 60000 + 5);
        std::unique_ptr<TiffData> d(makeFrame(type, w, h, v));
        d->height = uint32_t(h + 3);
        d->shiftX = shift.x();
        d->shiftY = shift.y();
        d->format = format;
        ColorScale scale;
        scale.imageFormat = format;
        scale.lowerLimit = lower;
        scale.upperLimit = upper;
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
        const Reference ref{w, h, shift.x(), shift.y(), v};
        std::vector<unsigned char> want(size, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double t = ((ref.at(x, y) - d->min) / (d->max - d->min) - lower) / (upper - lower);
                t = std::min(1.0, std::max(0.0, t));
                unsigned char* p = &want[size_t(y * line + x * bpp)];
                if (bpp == 1) {
                    *p = uchar(std::min(255, int(256 * t)));
                } else {
                    const unsigned char* c = colorPixelOf(int(766 * t));
                    std::copy(c, c + 3, p);
                }
            }
        for (size_t i = 0; i < size; ++i)
            if (d->buffer[i] != want[i])
                QFAIL(qPrintable(QString("byte %1 is %2, not %3").arg(i).arg(d->buffer[i]).arg(want[i])));
    }

};

QTEST_GUILESS_MAIN(TstTiffData)
#include "tst_tiffdata.moc"
