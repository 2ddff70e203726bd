#include "ColorScale.h"

#include "Globals.h"

#include <cmath>

ColorScale* mainColorBar = nullptr;

ColorScale& currentColorScale()
{
    static ColorScale fallback;
    return mainColorBar ? *mainColorBar : fallback;
}

static double limitFraction(double f, double lower, double upper)
{
    double t = (f - lower) / (upper - lower);
    if (!(t >= 0)) t = 0;  // also NaN, from equal limits at the limit
    return std::min(1.0, t);
}

unsigned char* ColorScale::valueToPixel(double f, unsigned char* dst) const
{
    const double t = limitFraction(f, lowerLimit, upperLimit);
    if (imageFormat == QImage::Format_RGB888) {
        const unsigned char* c = colorPixel(t);
        dst[0] = c[0];
        dst[1] = c[1];
        dst[2] = c[2];
        return dst + 3;
    }
    *dst = *grayPixel(t);
    return dst + 1;
}

QColor ColorScale::colorOfV(double f) const
{
    unsigned char px[3];
    valueToPixel(f, px);
    if (imageFormat == QImage::Format_RGB888) return QColor(px[0], px[1], px[2]);
    return QColor(px[0], px[0], px[0]);
}
