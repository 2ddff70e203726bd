#include "AnalyzeCond.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

// Coordinates are kept well inside int so that stepping past the region
// cannot overflow.
static const double coordLimit = 1 << 28;

static int truncCoord(double v)
{
    if (!(v == v)) return 0;  // NaN
    if (v > coordLimit) v = coordLimit;
    if (v < -coordLimit) v = -coordLimit;
    return int(std::trunc(v));
}

static int halfWidth(int w)
{
    // In 64 bits: the magnitude of INT_MIN has no int.
    const qint64 a = std::abs(qint64(w));
    return a > (1 << 26) ? (1 << 26) : int(a);
}

AnalyzeCond::AnalyzeCond()
{
    clear();
}

void AnalyzeCond::clear()
{
    width = height = 0;
    xw = yw = 0;
    x0 = x1 = y0 = y1 = 0;
    stepX = stepY = 1;
    curX = curY = 0;
    rowStart = true;
}

void AnalyzeCond::set(int width, int height, int xw, int yw, const QRectF& area, int stepX,
                      int stepY)
{
    this->width = width;
    this->height = height;
    // A negative half-width means the same block as its magnitude; kept signed
    // it would give a non-positive block-size step and an endless walk.
    this->xw = halfWidth(xw);
    this->yw = halfWidth(yw);
    x0 = truncCoord(area.x());
    x1 = truncCoord(area.x() + area.width());
    y0 = truncCoord(area.y());
    y1 = truncCoord(area.y() + area.height());
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    // A step of 0 would never leave the block: it means the block size, as a
    // negative step does.
    this->stepX = stepX > 0 ? stepX : 2 * this->xw + 1;
    this->stepY = stepY > 0 ? stepY : 2 * this->yw + 1;
    reset();
}

void AnalyzeCond::reset()
{
    curX = x0 + xw;
    curY = y0 + yw;
    rowStart = true;
}

bool AnalyzeCond::next()
{
    // Steps written directly into the fields must not stall a walk either.
    curX += std::max(1, stepX);
    rowStart = false;
    if (curX < x1) return true;
    curX = x0 + xw;
    curY += std::max(1, stepY);
    rowStart = true;
    return curY < y1;
}

void AnalyzeCond::fillBlock(double* image, double value) const
{
    if (!image) return;
    const int r0 = std::max(0, curY - yw), r1 = std::min(height - 1, curY + yw);
    const int c0 = std::max(0, curX - xw), c1 = std::min(width - 1, curX + xw);
    for (int r = r0; r <= r1; ++r) {
        double* row = image + qint64(r) * width;
        for (int c = c0; c <= c1; ++c) row[c] = value;
    }
}

static int countAlong(int lo, int hi, int half, int step)
{
    const qint64 span = qint64(hi) - lo - half;
    if (span <= 0 || step < 1) return 1;
    return int((span + step - 1) / step);
}

int AnalyzeCond::blocksPerRow() const
{
    return countAlong(x0, x1, xw, stepX);
}

int AnalyzeCond::blockRows() const
{
    return countAlong(y0, y1, yw, stepY);
}
