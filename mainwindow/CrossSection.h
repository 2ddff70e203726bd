#ifndef CROSSSECTION_H
#define CROSSSECTION_H

#include "core/Spectrum.h"

#include <QVector>

class TiffData;

// Profiles through one image: points (pixel index along the profile, value).
namespace CrossSection {

struct Conds
{
    int imageWidth = -1;
    int imageHeight = -1;
    bool mu = false;            // true: divide by the I0 stack at the image's energy
    bool fluorescence = false;  // with mu: s / I0 instead of ln(I0 / s)
};

// Along x at row y: for every column, the box sum with half widths dx, dy.
// i0 is used only with mu (any energy order). Empty when y is not a row.
Spectrum alongX(const TiffData* img, const QVector<TiffData*>& i0, int y, int dx, int dy,
                const Conds& c);
// Along y at column x, the same box convention.
Spectrum alongY(const TiffData* img, const QVector<TiffData*>& i0, int x, int dx, int dy,
                const Conds& c);

}  // namespace CrossSection

#endif
