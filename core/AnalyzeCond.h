#ifndef ANALYZECOND_H
#define ANALYZECOND_H

#include <QRectF>
#include <QtGlobal>

// A rectangular region cut into blocks of (2 xw + 1) x (2 yw + 1) pixels,
// walked block centre by block centre, row by row. Plain value: copy freely.
//
// Usage: set (or reset), handle (curX, curY), then repeat while next() is
// true. The first block is always handled, even when the region is narrower
// than one block.
class AnalyzeCond
{
public:
    AnalyzeCond();

    void clear();
    void set(int width, int height, int xw, int yw, const QRectF& area, int stepX, int stepY);
    void set(int width, int height, int xw, int yw, double x, double y, double w, double h,
             int stepX, int stepY)
    {
        set(width, height, xw, yw, QRectF(x, y, w, h), stepX, stepY);
    }
    void reset();
    bool next();

    // Writes value into the current block of a width x height image of
    // doubles, clipped to the image.
    void fillBlock(double* image, double value) const;

    // What a walk visits: blocks per row, rows, and their product.
    int blocksPerRow() const;
    int blockRows() const;
    qint64 blockCount() const { return qint64(blocksPerRow()) * blockRows(); }

    // True when the current block's centre pixel lies inside the image.
    bool centreInside() const { return curX >= 0 && curX < width && curY >= 0 && curY < height; }

    int width = 0, height = 0;
    int xw = 0, yw = 0;
    int x0 = 0, x1 = 0;
    int stepX = 1;
    int y0 = 0, y1 = 0;
    int stepY = 1;
    int curX = 0, curY = 0;
    bool rowStart = true;
};

#endif
