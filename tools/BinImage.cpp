#include "BinImage.h"

#include "core/TiffData.h"

BinImage::BinImage(int w, int h)
{
    // Never larger than an image the readers accept, so w * h fits an int.
    if (w < 1 || h < 1 || qint64(w) * h > TiffData::maxPixels) return;
    width = w;
    height = h;
    data.fill(0.0, w * h);
}

void BinImage::findMinMax()
{
    min = DBL_MAX;
    max = DBL_MIN;
    for (double v : data) {
        if (v < min) min = v;
        if (v > max) max = v;
    }
}
