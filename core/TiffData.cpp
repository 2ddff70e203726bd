#include "TiffData.h"

#include "ColorScale.h"
#include "Globals.h"

#include <QSet>

#include <tiffio.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

TiffData::~TiffData()
{
    freeRows();
    delete image;
    delete[] buffer;
}

void TiffData::freeRows()
{
    if (pixelBlock) {
        delete[] pixelBlock;
        pixelBlock = nullptr;
        rows.clear();
        return;
    }
    for (void* row : rows) {
        switch (pixelType) {
        case TiffUInt16: _TIFFfree(row); break;
        case UInt16: delete[] static_cast<uint16_t*>(row); break;
        case UInt32: delete[] static_cast<uint32_t*>(row); break;
        case Float32: delete[] static_cast<float*>(row); break;
        default: break;
        }
    }
    rows.clear();
}

void TiffData::resetRange()
{
    min = DBL_MAX;
    max = DBL_MIN;
}

void deleteTiffDataList(QVector<TiffData*>& list)
{
    for (TiffData* d : list) delete d;
    list.clear();
}

// Takes over what a successful read built into `loaded`; the alignment shift,
// energy and colour bar of this frame stay.
void TiffData::adopt(TiffData& loaded)
{
    freeRows();
    rows.swap(loaded.rows);
    pixelBlock = loaded.pixelBlock;
    loaded.pixelBlock = nullptr;
    pixelType = loaded.pixelType;
    loaded.pixelType = NoPixels;

    delete image;
    delete[] buffer;
    image = loaded.image;
    buffer = loaded.buffer;
    loaded.image = nullptr;
    loaded.buffer = nullptr;

    file = loaded.file;
    format = loaded.format;
    bytesPerPixel = loaded.bytesPerPixel;
    width = loaded.width;
    height = loaded.height;
    hdrX = loaded.hdrX;
    hdrY = loaded.hdrY;
    scanlineSize = loaded.scanlineSize;
    min = loaded.min;
    max = loaded.max;
    exposureMs = loaded.exposureMs;
    pages = loaded.pages;
    loadedErrPoints = loaded.loadedErrPoints;
    errPs = &loadedErrPoints;
}

bool TiffData::allocateRows(qint64 rowBytes, qint64 h)
{
    freeRows();
    if (rowBytes < 0 || h < 0 || h > maxSide) return false;
    // Rows of 0 bytes still get distinct, valid addresses.
    const qint64 stride = std::max<qint64>(rowBytes, 1);
    pixelBlock = new (std::nothrow) unsigned char[size_t(stride * std::max<qint64>(h, 1))];
    if (!pixelBlock) return false;
    try {
        rows.resize(int(h));
    } catch (const std::bad_alloc&) {
        delete[] pixelBlock;
        pixelBlock = nullptr;
        return false;
    }
    for (qint64 r = 0; r < h; ++r) rows[int(r)] = pixelBlock + r * stride;
    return true;
}

void TiffData::setSample(int64_t r, int64_t c, double v)
{
    void* row = rows[int(r)];
    switch (pixelType) {
    case TiffUInt16:
    case UInt16:
        static_cast<uint16_t*>(row)[c] = uint16_t(std::isnan(v) ? 0 : qBound(0.0, v, 65535.0));
        break;
    case UInt32:
        static_cast<uint32_t*>(row)[c] =
            uint32_t(std::isnan(v) ? 0 : qBound(0.0, v, 4294967295.0));
        break;
    case Float32:
        static_cast<float*>(row)[c] = float(qBound(-double(FLT_MAX), v, double(FLT_MAX)));
        break;
    default: break;
    }
}

namespace {

template <typename T>
uint64_t sumInts(const QVector<void*>& rows, int64_t c0, int64_t c1, int64_t r0, int64_t r1)
{
    uint64_t sum = 0;
    for (int64_t r = r0; r <= r1; ++r) {
        const T* row = static_cast<const T*>(rows[int(r)]);
        for (int64_t c = c0; c <= c1; ++c) sum += row[c];
    }
    return sum;
}

}  // namespace

double TiffData::sumArea(int64_t x0, int64_t x1, int64_t y0, int64_t y1, int sx, int sy) const
{
    // Pixels outside the image read 0, so only the part inside is visited.
    const int64_t c0 = std::max<int64_t>(x0 - sx, 0);
    const int64_t c1 = std::min<int64_t>(x1 - sx, int64_t(width) - 1);
    const int64_t r0 = std::max<int64_t>(y0 - sy, 0);
    const int64_t r1 = std::min<int64_t>(
        y1 - sy, std::min<int64_t>(int64_t(height), rows.size()) - 1);
    if (c0 > c1 || r0 > r1) return 0.0;

    switch (pixelType) {
    case TiffUInt16:
    case UInt16: return double(sumInts<uint16_t>(rows, c0, c1, r0, r1));
    case UInt32: return double(sumInts<uint32_t>(rows, c0, c1, r0, r1));
    case Float32: {
        // Columns outside, rows inside: float sums depend on the order.
        double sum = 0;
        for (int64_t c = c0; c <= c1; ++c)
            for (int64_t r = r0; r <= r1; ++r) sum += static_cast<const float*>(rows[int(r)])[c];
        return sum;
    }
    default: return 0.0;
    }
}

double TiffData::sumWideBox(int x, int y, int dx, int dy, int sx, int sy) const
{
    const int64_t ax = std::abs(int64_t(dx));
    const int64_t ay = std::abs(int64_t(dy));
    return sumArea(int64_t(x) - ax, int64_t(x) + ax, int64_t(y) - ay, int64_t(y) + ay, sx, sy);
}

double TiffData::areaValue(const QVector<TiffData*>& stack, double energy, int x, int y, int dx,
                           int dy)
{
    const int n = stack.size();
    if (n < 1) return 1.0;
    if (n == 1) return stack[0]->sumBox(x, y, dx, dy);

    int a, b;
    bracket(stack, energy, a, b);
    return lerp(energy, stack[a]->energy, stack[a]->sumBox(x, y, dx, dy), stack[b]->energy,
                stack[b]->sumBox(x, y, dx, dy));
}

void TiffData::bracket(const QVector<TiffData*>& stack, double& energy, int& a, int& b)
{
    const int n = stack.size();
    // Outside the stack's range the nearest frame holds: a straight line
    // through two noisy frames runs off to negative intensities.
    energy = qBound(stack[0]->energy, energy, stack[n - 1]->energy);
    if (energy >= stack[n - 1]->energy) {
        a = n - 2;
        b = n - 1;
        return;
    }
    a = 0;
    b = n - 1;
    while (a + 1 < b) {
        const int mid = (a + b) / 2;
        if (energy >= stack[mid]->energy)
            a = mid;
        else
            b = mid;
    }
}

static bool truncToInt(double v, int64_t& out)
{
    if (!std::isfinite(v)) return false;
    out = int64_t(qBound(double(INT_MIN), std::trunc(v), double(INT_MAX)));
    return true;
}

double TiffData::rectMean(const QRectF& r) const
{
    int64_t x0, y0, w, h;
    if (!truncToInt(r.x(), x0) || !truncToInt(r.y(), y0) || !truncToInt(r.width(), w)
        || !truncToInt(r.height(), h))
        return 0.0;
    // An empty rectangle has no mean; 0 keeps the dark values usable.
    if (w < 0 || h < 0) return 0.0;
    return sumArea(x0, x0 + w, y0, y0 + h, shiftX, shiftY) / (double(w + 1) * double(h + 1));
}

static qint64 pointKey(int64_t x, int64_t y)
{
    return qint64((uint64_t(uint32_t(x)) << 32) | uint32_t(y));
}

double TiffData::fixErrPoint(int x, int y) const
{
    return neighbourMean(x, y, nullptr);
}

double TiffData::neighbourMean(int x, int y, const QSet<qint64>* listed) const
{
    static const int neighbours[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1},
                                         {0, 1},   {1, -1}, {1, 0},  {1, 1}};
    const bool useList = errPs && errPs->use;
    double sum = 0;
    int count = 0;
    for (const auto& d : neighbours) {
        const int64_t nx = int64_t(x) + d[0];
        const int64_t ny = int64_t(y) + d[1];
        const int64_t c = nx - shiftX;
        const int64_t r = ny - shiftY;
        if (c < 0 || r < 0 || c >= int64_t(width) || r >= int64_t(height) || r >= rows.size())
            continue;
        // The list holds detector positions: test the neighbour there, not at
        // its position in the image, which differs by the header offset.
        const int64_t detX = nx + hdrX;
        const int64_t detY = ny + hdrY;
        if (useList && detX >= INT_MIN && detX <= INT_MAX && detY >= INT_MIN && detY <= INT_MAX
            && (listed ? listed->contains(pointKey(detX, detY))
                       : errPs->contains(int(detX), int(detY))))
            continue;
        sum += sample(r, c);
        ++count;
    }
    return count > 0 ? sum / count : 0.0;
}

void TiffData::fixErrPoints()
{
    if (!errPs) return;
    // Looked up once per neighbour of every listed pixel: a long list must
    // not make that quadratic.
    QSet<qint64> listed;
    if (errPs->use) {
        listed.reserve(errPs->points.size());
        for (const QPoint& p : errPs->points) listed.insert(pointKey(p.x(), p.y()));
    }
    for (const QPoint& p : errPs->points) {
        const int64_t x = int64_t(p.x()) - hdrX;
        const int64_t y = int64_t(p.y()) - hdrY;
        const int64_t c = x - shiftX;
        const int64_t r = y - shiftY;
        if (c < 0 || r < 0 || c >= int64_t(width) || r >= int64_t(height) || r >= rows.size())
            continue;
        setSample(r, c, neighbourMean(int(x), int(y), &listed));
    }
}

void TiffData::makeQImage()
{
    delete image;
    image = nullptr;
    delete[] buffer;
    buffer = nullptr;
    if (width > uint32_t(INT_MAX) || height > uint32_t(INT_MAX)) return;
    const int w = int(width);
    const int h = int(height);
    // Every byte is written below, padding and rows without samples as 0, so
    // the buffer is not cleared first.
    buffer = newUnclearedImageBuffer(format, w, h);
    if (!buffer) return;

    const ColorScale& scale = currentColorScale();
    const bool rgb = bytesPerPixelOfFormat(format) == 3;
    const int bpp = rgb ? 3 : 1;
    const int line = bytesPerLineOfFormat(format, w);
    const int64_t pixelBytes = int64_t(w) * bpp;
    const double range = max - min;
    // The scale writes its own pixel size; copying through px keeps a scale
    // in another format from writing past the buffer's pixels.
    auto colour = [&](double v, unsigned char* dst) {
        unsigned char px[3] = {0, 0, 0};
        scale.valueToPixel((v - min) / range, px);
        dst[0] = px[0];
        if (rgb) {
            dst[1] = px[1];
            dst[2] = px[2];
        }
    };

    const int nRows = int(std::min<int64_t>(rows.size(), h));
    const bool shortSamples = pixelType == TiffUInt16 || pixelType == UInt16;
    if (shortSamples && int64_t(w) * nRows >= (int64_t(1) << 18)) {
        // Every 16-bit sample, and the 0 read outside, maps through one table.
        std::vector<unsigned char> lut(size_t(65536) * size_t(bpp));
        for (int v = 0; v < 65536; ++v) colour(v, &lut[size_t(v) * size_t(bpp)]);
        const unsigned char* table = lut.data();
        auto fillOutside = [&](unsigned char* dst, int64_t n) {
            if (!rgb) {
                std::memset(dst, table[0], size_t(n));
                return;
            }
            for (int64_t i = 0; i < n; ++i, dst += 3) {
                dst[0] = table[0];
                dst[1] = table[1];
                dst[2] = table[2];
            }
        };
        // Display columns xBegin .. xEnd - 1 show samples of a row inside.
        const int64_t xBegin = qBound<int64_t>(0, shiftX, w);
        const int64_t xEnd = qBound<int64_t>(0, int64_t(w) + shiftX, w);
        for (int y = 0; y < nRows; ++y) {
            unsigned char* dst = buffer + int64_t(y) * line;
            const int64_t r = int64_t(y) - shiftY;
            const bool inside = r >= 0 && r < nRows && xBegin < xEnd;
            const int64_t a = inside ? xBegin : w;
            const int64_t b = inside ? xEnd : w;
            fillOutside(dst, a);
            if (a < b) {
                const uint16_t* src = static_cast<const uint16_t*>(rows[int(r)]) + (a - shiftX);
                const int64_t n = b - a;
                unsigned char* out = dst + a * bpp;
                int64_t i = 0;
                if (!rgb) {
                    // Eight lookups, then one store: byte stores may alias
                    // the table, which would keep every lookup waiting
                    // behind the previous store.
                    for (; i + 8 <= n; i += 8) {
                        unsigned char p[8];
                        for (int k = 0; k < 8; ++k) p[k] = table[src[i + k]];
                        std::memcpy(out + i, p, 8);
                    }
                    for (; i < n; ++i) out[i] = table[src[i]];
                } else {
                    for (; i < n; ++i, out += 3) {
                        const unsigned char* c = table + 3 * size_t(src[i]);
                        out[0] = c[0];
                        out[1] = c[1];
                        out[2] = c[2];
                    }
                }
            }
            fillOutside(dst + b * bpp, w - b);
            std::memset(dst + pixelBytes, 0, size_t(line - pixelBytes));
        }
    } else {
        for (int y = 0; y < nRows; ++y) {
            unsigned char* dst = buffer + int64_t(y) * line;
            for (int x = 0; x < w; ++x) colour(pixelValue(x, y), dst + int64_t(x) * bpp);
            std::memset(dst + pixelBytes, 0, size_t(line - pixelBytes));
        }
    }
    if (nRows < h) std::memset(buffer + int64_t(nRows) * line, 0, size_t(int64_t(h - nRows) * line));
    image = newQImage(format, buffer, w, h);
}

void TiffData::applyRangeToColorBar()
{
    if (!cBar) return;
    cBar->valueMin = min;
    cBar->valueMax = max;
    cBar->paintCBar();
}
