#ifndef BINIMAGE_H
#define BINIMAGE_H

#include <QVector>

#include <cfloat>

// A picture of doubles made by the alignment panel: an edge image or a binary
// (0 / 1) image. Row-major: column x of row y is data[y * width + x].
struct BinImage
{
    QVector<double> data;
    int width = 0;
    int height = 0;
    double min = DBL_MAX;
    double max = DBL_MIN;  // smallest positive double: an all-zero image keeps it

    BinImage() = default;
    // All values 0; a size below 1 gives an empty image.
    BinImage(int w, int h);

    bool contains(long long x, long long y) const
    {
        return x >= 0 && y >= 0 && x < width && y < height;
    }
    double at(int x, int y) const { return data[y * width + x]; }
    bool sameSize(const BinImage& o) const { return width == o.width && height == o.height; }

    // min and max afresh from the values, in one pass; a NaN replaces neither.
    void findMinMax();
};

#endif
