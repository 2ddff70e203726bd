#include "ImageAlign.h"

#include "core/ColorScale.h"
#include "core/TiffData.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace ImageAlign
{
static bool validSize(int width, int height)
{
    return width > 0 && height > 0 && qint64(width) * height <= TiffData::maxPixels;
}

// pad holds the picture with a frame of one pixel around it, (width + 2) x
// (height + 2), row-major.
static BinImage edgeOfPadded(const QVector<double>& pad, int width, int height)
{
    BinImage e(width, height);
    const int pw = width + 2;
    const double* P = pad.constData();
    double* out = e.data.data();
    for (int y = 0; y < height; ++y) {
        const double* up = P + y * pw + 1;  // row y - 1, column x
        const double* mid = up + pw;
        const double* low = mid + pw;
        for (int x = 0; x < width; ++x) {
            const double a = low[x + 1] - up[x - 1];
            const double b = up[x + 1] - low[x - 1];
            const double c = mid[x + 1] - mid[x - 1];
            const double d = low[x] - up[x];
            const double gx = c + a + b;
            const double gy = a - b + d;
            out[y * width + x] = std::max(std::fabs(gx), std::fabs(gy));
        }
    }
    e.findMinMax();
    return e;
}

BinImage edgeImage(const TiffData& image, int width, int height)
{
    return edgeImage(image, width, height, image.shiftX, image.shiftY);
}

BinImage edgeImage(const TiffData& image, int width, int height, int sx, int sy)
{
    if (!validSize(width, height)) return BinImage();
    // The frame around is read through the shifted accessor too: with a shift
    // it may reach stored samples, and outside the stored image it reads 0.
    QVector<double> pad;
    pad.resize((width + 2) * (height + 2));
    double* d = pad.data();
    for (int y = -1; y <= height; ++y)
        for (int x = -1; x <= width; ++x) *d++ = image.pixelValue(x, y, sx, sy);
    return edgeOfPadded(pad, width, height);
}

BinImage binarize(const BinImage& edge, double threshold)
{
    BinImage b(edge.width, edge.height);
    const int n = std::min(b.data.size(), edge.data.size());
    for (int i = 0; i < n; ++i) b.data[i] = threshold < edge.data[i] ? 1.0 : 0.0;
    b.findMinMax();
    return b;
}

double thresholdFromSlider(double min, double max, int s)
{
    return (max - min) * (s / 1000.0) + min;
}

int sliderFromThreshold(double threshold, double min, double max)
{
    const double v = (threshold - min) / (max - min) * 1000.0;
    if (!(v > 0)) return 0;  // also NaN
    if (v >= 999) return 999;
    return int(v);
}

double ScoreSums::score() const
{
    const double w = rr * bb;
    return w > 0 ? br / std::sqrt(w) : 0.0;
}

// Columns x of the current picture for which x - s lies inside [1, n - 1),
// within [1, limit - 1): the half-open range [lo, hi), empty when lo >= hi.
// The outermost ring of a frame's edge image is its border against the
// outside, which reads 0: an edge that stays where the frame is, whatever
// the scene's drift, and that on a bright field outweighs the scene's own
// edges, so every comparison would favour no shift.
static void overlap(int s, int n, int limit, int& lo, int& hi)
{
    const qint64 l = std::clamp<qint64>(std::max<qint64>(1, qint64(s) + 1), 0, std::max(limit, 0));
    const qint64 h = std::min<qint64>(qint64(limit) - 1, qint64(s) + n - 1);
    lo = int(l);
    hi = int(std::max<qint64>(h, l));
}

ScoreSums compareSums(const BinImage& bin, const BinImage& ref, int width, int height, int sx,
                      int sy)
{
    ScoreSums s;
    int x0, x1, y0, y1;
    overlap(sx, bin.width, width, x0, x1);
    overlap(sy, bin.height, height, y0, y1);
    for (int y = y0; y < y1; ++y) {
        const double* brow = bin.data.constData() + qint64(y - sy) * bin.width;
        const bool refRow = y < ref.height - 1;
        for (int x = x0; x < x1; ++x) {
            const double b = brow[x - sx];
            const double r = refRow && x < ref.width - 1 ? ref.data[y * ref.width + x] : 0.0;
            s.bb += b * b;
            s.rr += r * r;
            s.br += b * r;
        }
    }
    return s;
}

double compareScore(const BinImage& bin, const BinImage& ref, int width, int height, int sx,
                    int sy)
{
    return compareSums(bin, ref, width, height, sx, sy).score();
}

static unsigned char byteOf(double v)
{
    const double c = 255.0 * v;
    if (!(c > 0)) return 0;
    return c >= 255 ? 255 : static_cast<unsigned char>(c);
}

QImage comparisonImage(const BinImage& bin, const BinImage& ref, int width, int height, int sx,
                       int sy, ScoreSums* sums)
{
    if (sums) *sums = compareSums(bin, ref, width, height, sx, sy);
    if (!validSize(width, height)) return QImage();
    QImage img(width, height, QImage::Format_RGB888);
    if (img.isNull()) return img;
    for (int y = 0; y < height; ++y) {
        unsigned char* p = img.scanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const qint64 bx = qint64(x) - sx;
            const qint64 by = qint64(y) - sy;
            if (!bin.contains(bx, by)) {
                p[0] = 0;
                p[1] = 0;
                p[2] = 255;
                continue;
            }
            const double b = bin.data[int(by) * bin.width + int(bx)];
            const double r = ref.contains(x, y) ? ref.at(x, y) : 0.0;
            p[0] = byteOf(r);
            p[1] = byteOf(b);
            p[2] = 0;
        }
    }
    return img;
}

QImage scaledImage(const BinImage& src, int width, int height, const ColorScale& scale)
{
    if (!validSize(width, height)) return QImage();
    QImage img(width, height, QImage::Format_RGB888);
    if (img.isNull()) return img;
    const double range = src.max - src.min;
    for (int y = 0; y < height; ++y) {
        unsigned char* p = img.scanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const double v = src.contains(x, y) ? src.at(x, y) : 0.0;
            const double f = range != 0 ? (v - src.min) / range : 0.0;
            scale.valueToPixel(f, p);
            if (scale.bytesPerPixel() == 1) p[1] = p[2] = p[0];  // a grey scale writes one byte
        }
    }
    return img;
}

int addClamped(int v, int d)
{
    return int(std::clamp<qint64>(qint64(v) + d, INT_MIN, INT_MAX));
}

const QPoint climbOffsets[8] = {{1, 1}, {1, 0}, {1, -1}, {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}, {0, 1}};

QPoint hillClimb(const BinImage& bin, const BinImage& ref, int width, int height, QPoint start,
                 double best)
{
    QPoint c = start;
    // Each move raises best strictly and only shifts that overlap score above
    // 0, so the climb visits finitely many shifts and ends.
    for (;;) {
        int found = -1;
        QPoint next;
        for (int k = 0; k < 8; ++k) {
            const QPoint n(addClamped(c.x(), climbOffsets[k].x()), addClamped(c.y(), climbOffsets[k].y()));
            const double s = compareScore(bin, ref, width, height, n.x(), n.y());
            if (s > best) {
                best = s;
                found = k;
                next = n;
            }
        }
        if (found < 0) return c;
        c = next;
    }
}

TiffData* imageAt(const QVector<TiffData*>& stack, int index)
{
    return index >= 0 && index < stack.size() ? stack[index] : nullptr;
}

bool setShiftAt(const QVector<TiffData*>& stack, int index, int dx, int dy)
{
    TiffData* d = imageAt(stack, index);
    if (!d) return false;
    d->shiftX = dx;
    d->shiftY = dy;
    return true;
}

void clearShifts(const QVector<TiffData*>& stack)
{
    for (TiffData* d : stack)
        if (d) {
            d->shiftX = 0;
            d->shiftY = 0;
        }
}
}
