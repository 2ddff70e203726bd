#ifndef SUPPORT_SPECTRA_H
#define SUPPORT_SPECTRA_H

#include <cmath>
#include <functional>

#include "analysis/AnalysisSnapshots.h"
#include "core/Spectrum.h"
#include "core/XafsSpectrum.h"

// Curves sampled on an even grid, with edge shapes.
namespace synth {

inline Spectrum sample(double from, double to, double step, const std::function<double(double)>& f)
{
    Spectrum s;
    const int n = int(std::lround((to - from) / step));
    for (int i = 0; i <= n; ++i) {
        const double E = from + i * step;
        s.append(E, f(E));
    }
    return s;
}

inline double sigmoid(double E, double E0, double width)
{
    return 0.5 * (1 + std::tanh((E - E0) / width));
}

// An absorption edge: a sloping pre-edge line plus an arctangent step of the
// given jump centred on E0.
inline double edge(double E, double E0 = 7112, double jump = 1, double width = 3,
                   double base = 1.2, double slope = -1e-4)
{
    return base + slope * (E - E0) + jump * (0.5 + std::atan((E - E0) / width) / M_PI);
}

inline Spectrum edgeSpectrum(double from, double to, double step, double E0 = 7112,
                             double jump = 1, double width = 3)
{
    return sample(from, to, step, [=](double E) { return edge(E, E0, jump, width); });
}

// Two distinct reference shapes: a plain edge, and a later edge with a white line.
inline double shape1(double E) { return sigmoid(E, 9000, 2); }
inline double shape2(double E)
{
    return sigmoid(E, 9010, 3) + 0.6 * std::exp(-std::pow((E - 9020) / 6, 2));
}
inline double shape3(double E) { return 0.8 * sigmoid(E, 8990, 8) + 0.001 * (E - 9000); }

// A reference row whose curves are the given shapes themselves.
inline LcfRefSnapshot ref(const Spectrum& preBase, const Spectrum& postBase, bool use = true,
                          double dE = 0, double fraction = 0)
{
    LcfRefSnapshot r;
    r.use = use;
    r.minX = preBase.minX;
    r.maxX = preBase.maxX;
    r.dE = dE;
    r.preBase = preBase;
    r.postBase = postBase;
    r.fraction = fraction;
    return r;
}

// A target that only the fits read: points at the grid energies (mu as given),
// its double-normalised curve D and its jump set directly.
inline XafsSpectrum target(const Spectrum& mu, const Spectrum& D, double dMut)
{
    XafsSpectrum s;
    static_cast<Spectrum&>(s) = mu;
    s.doubleNormalizedPreBaseCurve = D;
    s.dMut = dMut;
    return s;
}

}  // namespace synth

#endif
