#ifndef SUPPORT_EDGESPECTRA_H
#define SUPPORT_EDGESPECTRA_H

#include <cmath>

#include "core/Spectrum.h"
#include "support/Spectra.h"

// Absorption edges with a known answer: mu(E) blends a straight pre-edge line
// into a straight post-edge line through a tanh step centred on E0, so mu(E0)
// lies exactly half-way between the lines: the edge is at E0 and the jump is
// post(E0) - pre(E0).
namespace edges {

struct Edge {
    double E0 = 9000;
    double width = 1.5;
    double preC0 = 0.2, preK = 1e-5;
    double postC0 = 1.2, postK = 1e-5;

    double pre(double E) const { return preC0 + preK * E; }
    double post(double E) const { return postC0 + postK * E; }
    double jump() const { return post(E0) - pre(E0); }
    double mu(double E) const
    {
        const double f = 0.5 * (1 + std::tanh((E - E0) / width));
        return (1 - f) * pre(E) + f * post(E);
    }
    // Sampled from `from` to `to` (both included) every `step` eV.
    Spectrum sample(double from, double to, double step) const
    {
        return synth::sample(from, to, step, [this](double E) { return mu(E); });
    }
};

// An edge with structure above it, so that inner products depend on position.
inline double wiggly(double E, double E0 = 9000)
{
    const double f = 0.5 * (1 + std::tanh((E - E0) / 3));
    const double wiggle = E > E0 ? 0.05 * std::sin((E - E0) / 7) : 0;
    return (1 - f) * 0.2 + f * (1.2 + wiggle);
}

inline Spectrum constant(double from, double to, double step, double mu)
{
    return synth::sample(from, to, step, [mu](double) { return mu; });
}

}  // namespace edges

#endif
