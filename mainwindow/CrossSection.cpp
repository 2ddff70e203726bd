#include "CrossSection.h"

#include "BoxSpectrum.h"

#include "core/TiffData.h"

#include <cmath>

namespace CrossSection {

namespace {

double valueOf(double s, double i0, const Conds& c)
{
    if (!c.mu) return s;
    if (c.fluorescence) {
        const double v = s / i0;
        return std::isfinite(v) ? v : 0.0;
    }
    return s * i0 > 0 ? std::log(i0 / s) : 1.0;
}

}  // namespace

Spectrum alongX(const TiffData* img, const QVector<TiffData*>& i0, int y, int dx, int dy,
                const Conds& c)
{
    Spectrum prof;
    if (!img || y < 0 || y >= c.imageHeight || c.imageWidth < 1) return prof;
    const QVector<TiffData*> sorted = c.mu ? BoxSpectrum::sortedByEnergy(i0) : QVector<TiffData*>();
    for (int x = 0; x < c.imageWidth; ++x) {
        const double s = img->sumBox(x, y, dx, dy);
        const double vI0 = c.mu ? TiffData::areaValue(sorted, img->energy, x, y, dx, dy) : 0.0;
        prof.append(x, valueOf(s, vI0, c));
    }
    return prof;
}

Spectrum alongY(const TiffData* img, const QVector<TiffData*>& i0, int x, int dx, int dy,
                const Conds& c)
{
    Spectrum prof;
    if (!img || x < 0 || x >= c.imageWidth || c.imageHeight < 1) return prof;
    const QVector<TiffData*> sorted = c.mu ? BoxSpectrum::sortedByEnergy(i0) : QVector<TiffData*>();
    for (int y = 0; y < c.imageHeight; ++y) {
        const double s = img->sumBox(x, y, dx, dy);
        const double vI0 = c.mu ? TiffData::areaValue(sorted, img->energy, x, y, dx, dy) : 0.0;
        prof.append(y, valueOf(s, vI0, c));
    }
    return prof;
}

}  // namespace CrossSection
