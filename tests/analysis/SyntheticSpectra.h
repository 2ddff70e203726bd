#ifndef SYNTHETICSPECTRA_H
#define SYNTHETICSPECTRA_H

#include <cmath>
#include <functional>

#include "analysis/AnalysisSnapshots.h"
#include "core/Spectrum.h"
#include "core/XafsSpectrum.h"

// Curves sampled on an even grid, for the analysis tests.
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
