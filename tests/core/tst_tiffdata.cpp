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

    void emptyFrame()
    {
        TiffData d;
        d.width = 5;
        d.height = 3;
        QCOMPARE(d.pixelValue(1, 1), 0.0);
        QCOMPARE(d.sumBox(2, 1, 3, 3), 0.0);
        d.makeQImage();
        QVERIFY(d.image);
        QCOMPARE(d.image->size(), QSize(5, 3));
        for (int i = 0; i < bytesPerLineOfFormat(d.format, 5) * 3; ++i) QCOMPARE(int(d.buffer[i]), 0);

        TiffData none;
        none.makeQImage();
        QVERIFY(!none.image);
        QVERIFY(!none.buffer);
    }

    void pixelRuleWithShift_data()
    {
        QTest::addColumn<int>("type");
        for (int t = 0; t < 4; ++t) QTest::newRow(qPrintable(QString("type %1").arg(t))) << t;
    }
    void pixelRuleWithShift()
    {
        QFETCH(int, type);
        const int w = 5, h = 4;
        const auto v = pattern(w, h, type);
        std::unique_ptr<TiffData> d(makeFrame(type, w, h, v));
        const int shifts[][2] = {{0, 0}, {2, 0}, {-1, 3}, {7, -2}};
        for (const auto& s : shifts) {
            d->shiftX = s[0];
            d->shiftY = s[1];
            const Reference ref{w, h, s[0], s[1], v};
            for (int y = -6; y < h + 6; ++y)
                for (int x = -6; x < w + 6; ++x)
                    QCOMPARE(d->pixelValue(x, y), type == TiffData::Float32 ? double(float(ref.at(x, y))) : ref.at(x, y));
        }
        d->shiftX = 2;
        d->shiftY = 0;
        QCOMPARE(d->pixelValue(2, 0), type == TiffData::Float32 ? double(float(v[0])) : v[0]);
        QCOMPARE(d->pixelValue(0, 0), 0.0);
    }

    void sumBoxAcrossEdges_data() { pixelRuleWithShift_data(); }
    void sumBoxAcrossEdges()
    {
        QFETCH(int, type);
        const int w = 7, h = 6;
        auto v = pattern(w, h, type);
        if (type == TiffData::Float32)
            for (auto& x : v) x = double(float(x));
        std::unique_ptr<TiffData> d(makeFrame(type, w, h, v));
        d->shiftX = 1;
        d->shiftY = -2;
        const Reference ref{w, h, 1, -2, v};
        for (int y = -3; y < h + 3; ++y)
            for (int x = -3; x < w + 3; ++x)
                for (int dx = -3; dx <= 3; dx += 2)
                    for (int dy = -2; dy <= 3; ++dy) {
                        const double want = ref.box(x, y, dx, dy);
                        const double got = d->sumBox(x, y, dx, dy);
                        QVERIFY2(std::fabs(got - want) <= 1e-9 * std::max(1.0, std::fabs(want)),
                                 qPrintable(QString("%1 %2 %3 %4: %5 vs %6")
                                                .arg(x).arg(y).arg(dx).arg(dy).arg(got).arg(want)));
                    }
        QCOMPARE(d->sumBox(3, 3, 0, 0), ref.at(3, 3));
        // Extreme arguments neither overflow nor loop over the whole range.
        double all = 0;
        for (double x : v) all += x;
        QCOMPARE(d->sumBox(0, 0, INT_MIN, INT_MAX), all);
        QCOMPARE(d->sumBox(INT_MAX, INT_MIN, 2, 2), 0.0);
    }

    void areaValueInterpolates()
    {
        QCOMPARE(TiffData::areaValue({}, 5, 1, 1, 1, 1), 1.0);

        // Frame i is constant (i + 1) * 10, so a 3x3 box inside sums to 90 (i + 1).
        QVector<TiffData*> stack;
        const double energies[] = {100, 110, 130, 130};
        for (int i = 0; i < 4; ++i) {
            stack.append(makeFrame(TiffData::UInt16, 4, 4, std::vector<double>(16, (i + 1) * 10.0)));
            stack.last()->energy = energies[i];
        }
        auto s = [](int i) { return 90.0 * (i + 1); };
        auto line = [&](int a, int b, double e) {
            return s(a) + (s(b) - s(a)) / (energies[b] - energies[a]) * (e - energies[a]);
        };
        QCOMPARE(TiffData::areaValue(stack.mid(0, 1), 42, 1, 1, 1, 1), s(0));
        QCOMPARE(TiffData::areaValue(stack, 90, 1, 1, 1, 1), s(0));
        QCOMPARE(TiffData::areaValue(stack, 100, 1, 1, 1, 1), s(0));
        QCOMPARE(TiffData::areaValue(stack, 105, 1, 1, 1, 1), line(0, 1, 105));
        QCOMPARE(TiffData::areaValue(stack, 120, 1, 1, 1, 1), line(1, 2, 120));
        // At and beyond the last energy the last frames hold; they share an
        // energy here, so their mean is the value.
        QCOMPARE(TiffData::areaValue(stack, 130, 1, 1, 1, 1), (s(2) + s(3)) / 2);
        QCOMPARE(TiffData::areaValue(stack, 150, 1, 1, 1, 1), (s(2) + s(3)) / 2);
        stack[3]->energy = 140;
        QCOMPARE(TiffData::areaValue(stack, 140, 1, 1, 1, 1), s(3));
        QCOMPARE(TiffData::areaValue(stack, 160, 1, 1, 1, 1), s(3));
        deleteTiffDataList(stack);
        QVERIFY(stack.isEmpty());
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

    void repairCornerAndEnclosed()
    {
        const int w = 4, h = 4;
        std::vector<double> v(16);
        for (int i = 0; i < 16; ++i) v[size_t(i)] = 10 * i + 1;
        ErrPoints list;
        std::unique_ptr<TiffData> d(makeFrame(TiffData::UInt16, w, h, v));
        d->errPs = &list;
        auto at = [&](int x, int y) { return v[size_t(y * w + x)]; };

        list.use = true;
        list.points = {QPoint(0, 0)};
        QCOMPARE(d->fixErrPoint(0, 0), (at(1, 0) + at(0, 1) + at(1, 1)) / 3);
        QCOMPARE(d->fixErrPoint(3, 3), (at(2, 2) + at(3, 2) + at(2, 3)) / 3);

        // Every neighbour listed: no good neighbour, value 0. The same list
        // switched off is not consulted, so all eight count.
        list.points = {QPoint(1, 1)};
        for (int x = 0; x < 3; ++x)
            for (int y = 0; y < 3; ++y)
                if (x != 1 || y != 1) list.points.append(QPoint(x, y));
        QCOMPARE(d->fixErrPoint(1, 1), 0.0);
        list.use = false;
        double ring = 0;
        for (int x = 0; x < 3; ++x)
            for (int y = 0; y < 3; ++y)
                if (x != 1 || y != 1) ring += at(x, y);
        QCOMPARE(d->fixErrPoint(1, 1), ring / 8);
    }

    void repairFrameInListOrder_data() { pixelRuleWithShift_data(); }
    void repairFrameInListOrder()
    {
        QFETCH(int, type);
        const int w = 5, h = 4;
        const auto v = pattern(w, h, type);
        std::unique_ptr<TiffData> d(makeFrame(type, w, h, v));
        ErrPoints list;
        list.use = false;
        list.points = {QPoint(1, 1), QPoint(2, 1), QPoint(40, 1), QPoint(-1, 0)};
        d->errPs = &list;
        Reference ref{w, h, 0, 0, v};
        for (auto& x : ref.v) x = double(type == TiffData::Float32 ? float(x) : x);
        auto repaired = [&](int x, int y) {
            double s = 0;
            int n = 0;
            for (int i = x - 1; i <= x + 1; ++i)
                for (int j = y - 1; j <= y + 1; ++j)
                    if ((i != x || j != y) && i >= 0 && j >= 0 && i < w && j < h) {
                        s += ref.at(i, j);
                        ++n;
                    }
            double m = s / n;
            if (type == TiffData::Float32) m = double(float(m));
            else m = std::trunc(m);
            ref.v[size_t(y * w + x)] = m;
        };
        // (1, 1) first, then (2, 1) with the repaired (1, 1) among its neighbours.
        repaired(1, 1);
        repaired(2, 1);
        d->fixErrPoints();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) QCOMPARE(d->pixelValue(x, y), ref.at(x, y));
        QCOMPARE(d->min, *std::min_element(v.begin(), v.end()));
    }

    void repairWithHeaderOffsetAndShift()
    {
        // Points and the neighbour test are in detector coordinates: image
        // pixel (x, y) is detector pixel (x + hdrX, y + hdrY).
        const int w = 4, h = 3;
        std::vector<double> v(12);
        for (int i = 0; i < 12; ++i) v[size_t(i)] = i * 3 + 2;
        std::unique_ptr<TiffData> d(makeFrame(TiffData::UInt16, w, h, v));
        d->hdrX = 10;
        d->hdrY = 20;
        ErrPoints list;
        list.use = true;
        list.points = {QPoint(11, 21), QPoint(12, 21), QPoint(2, 1)};
        d->errPs = &list;
        auto at = [&](int x, int y) { return v[size_t(y * w + x)]; };
        // (2, 1) of the image is listed, as detector (12, 21): excluded. The
        // listed detector point (2, 1) is outside this image and changes nothing.
        const double m11 = std::trunc(
            (at(0, 0) + at(0, 1) + at(0, 2) + at(1, 0) + at(1, 2) + at(2, 0) + at(2, 2)) / 7);
        d->fixErrPoints();
        QCOMPARE(d->pixelValue(1, 1), m11);
        const double m21 =
            std::trunc((at(1, 0) + at(1, 2) + at(2, 0) + at(2, 2) + at(3, 0) + at(3, 1) + at(3, 2)) / 7);
        QCOMPARE(d->pixelValue(2, 1), m21);

        // With a shift the listed pixel is found at its shifted position.
        std::unique_ptr<TiffData> s(makeFrame(TiffData::UInt16, w, h, v));
        s->shiftX = 1;
        ErrPoints one;
        one.points = {QPoint(2, 1)};
        s->errPs = &one;
        s->fixErrPoints();
        // Display (2, 1) is sample (1, 1); its neighbours read through the shift.
        const double want = std::trunc(
            (at(0, 0) + at(0, 1) + at(0, 2) + at(1, 0) + at(1, 2) + at(2, 0) + at(2, 1) + at(2, 2)) / 8);
        QCOMPARE(s->pixelValue(2, 1), want);
        QCOMPARE(double(static_cast<uint16_t*>(s->rows[1])[1]), want);
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

    void deleteListWithNulls()
    {
        QVector<TiffData*> list{new TiffData, nullptr, makeFrame(TiffData::TiffUInt16, 2, 2, {1, 2, 3, 4})};
        deleteTiffDataList(list);
        QVERIFY(list.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstTiffData)
#include "tst_tiffdata.moc"
