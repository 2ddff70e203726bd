#ifndef SUPPORT_DETECTOR_H
#define SUPPORT_DETECTOR_H

#include "support/Frames.h"

#include <cmath>
#include <cstdlib>
#include <functional>

// A synthetic detector with a known answer: a beam profile b(x, y) that
// grows linearly with energy, a sample of absorption mu(E) uniform over the
// detector (an arctangent edge at 7112 eV) and a dark rate r(x, y) per ms.
// Frames are 40 x 30 floats, so 16-bit rounding does not limit a check.
namespace det {

const int W = 40;
const int H = 30;

inline double beam(double x, double y, double e) { return (200.0 + 3.0 * x + 2.0 * y) * (1.0 + 0.002 * (e - 7100.0)); }
inline double mu(double e) { return 0.4 + 1.2 * (0.5 + std::atan((e - 7112.0) / 4.0) / M_PI); }
inline double darkRate(double x, double y) { return 0.8 + 0.01 * x + 0.02 * y; }

inline TiffData* frame(double energy, const ts::PixelFn& px)
{
    return ts::floatFrame(W, H, px, energy, QString("f%1.tif").arg(energy));
}

// A measurement with it: I1 at T1 ms and I0 at T0 ms, each with the dark,
// and a dark image at TD ms.
const double T1 = 50;
const double T0 = 20;
const double TD = 100;

// I1 without the dark.
inline double i1Counts(double x, double y, double e) { return beam(x, y, e) * T1 * std::exp(-mu(e)); }
inline TiffData* i1Frame(double e)
{
    return frame(e, [=](int x, int y) { return i1Counts(x, y, e) + darkRate(x, y) * T1; });
}
inline TiffData* i0Frame(double e)
{
    return frame(e, [=](int x, int y) { return (beam(x, y, e) + darkRate(x, y)) * T0; });
}
inline TiffData* darkFrame() { return frame(0, [](int x, int y) { return darkRate(x, y) * TD; }); }

// Sums f over the box of half widths |dx|, |dy|; pixels outside count 0.
inline double boxSum(int x, int y, int dx, int dy, const std::function<double(int, int)>& f)
{
    double s = 0;
    for (int yy = y - std::abs(dy); yy <= y + std::abs(dy); ++yy)
        for (int xx = x - std::abs(dx); xx <= x + std::abs(dx); ++xx)
            if (xx >= 0 && xx < W && yy >= 0 && yy < H) s += f(xx, yy);
    return s;
}

}  // namespace det

#endif
