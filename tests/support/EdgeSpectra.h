#ifndef SUPPORT_EDGESPECTRA_H
#define SUPPORT_EDGESPECTRA_H

#include <QVector>
#include <algorithm>
#include <cmath>
#include <random>

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

// Fe-like K edges as a step scan records them: 5 eV steps below, 0.5 eV
// through the edge, 2 eV and then 4 eV above. The metal-like edge has a
// shoulder on its rise and oscillations; the oxide-like one a pre-edge peak,
// a white line and slower oscillations. Photon noise when counts are given.
struct FeScan {
    bool oxide = false;
    double E0 = 7120;
    double jump = 1.0;
    double counts = 0;  // photons per point before the sample; 0: no noise
    unsigned seed = 1;
    double step = 0.5;  // through the edge, -20 .. +30 eV
    double last = 300;  // eV above E0 where the scan ends

    double mu(double E) const
    {
        const double u = E - E0;
        const double pre = 0.8 - 2e-4 * u;
        const double k = u > 0 ? std::sqrt(u / 3.81) : 0;
        const double fade = 1 - std::exp(-k * k);
        double edge, chi;
        if (oxide) {
            edge = synth::sigmoid(E, E0, 3) + 0.6 * std::exp(-std::pow((u - 10) / 4, 2))
                   + 0.04 * std::exp(-std::pow((u + 14) / 1.5, 2));
            chi = 0.06 * fade * std::sin(2 * k * 1.95 + 1) * std::exp(-0.01 * k * k);
        } else {
            edge = synth::sigmoid(E, E0, 2.5) + 0.1 * std::exp(-std::pow((u + 5) / 2, 2));
            chi = 0.08 * fade * std::sin(2 * k * 2.48) * std::exp(-0.01 * k * k);
        }
        return pre + jump * (1 - 1.5e-4 * u) * edge * (1 + chi);
    }
    QVector<double> grid() const
    {
        QVector<double> g;
        auto run = [&](double from, double to, double by) {
            for (double u = from; u < to - 1e-9; u += by) g.append(E0 + u);
        };
        run(-150, -20, 5);
        run(-20, 30, step);
        run(30, 100, 2);
        run(100, last + 1e-6, 4);
        while (!g.isEmpty() && g.last() > E0 + last + 1e-6) g.removeLast();
        return g;
    }
    Spectrum scan() const
    {
        std::mt19937 rng(seed);
        std::normal_distribution<double> unit(0, 1);
        Spectrum s;
        for (double E : grid()) {
            double m = mu(E);
            if (counts > 0) {
                const double I = counts * std::exp(-m);
                m = std::log(counts / std::max(1.0, I + std::sqrt(I) * unit(rng)));
            }
            s.append(E, m);
        }
        return s;
    }
};

// One or two neighbouring points of a scan read wrongly: a dropout reading 0,
// a dip by half the jump, or a spike up by the jump.
enum class Glitch { ToZero, HalfDown, Spike };

// The scan with `count` points from the first at or above `at` eV glitched.
inline Spectrum glitched(const Spectrum& s, double at, int count, Glitch kind, double jump)
{
    Spectrum out;
    int first = 0;
    while (first < s.size() && s.xAt(first) < at) ++first;
    for (int i = 0; i < s.size(); ++i) {
        double y = s.yAt(i);
        if (i >= first && i < first + count)
            y = kind == Glitch::ToZero ? 0 : kind == Glitch::HalfDown ? y - 0.5 * jump : y + jump;
        out.append(s.xAt(i), y);
    }
    return out;
}

// The spectrum read at other energies, straight between its points (and
// along its end segments beyond them), as a scan on that grid would be.
inline Spectrum resampled(const Spectrum& s, const QVector<double>& grid)
{
    Spectrum out;
    int k = 0;
    for (double E : grid) {
        while (k + 2 < s.size() && s.xAt(k + 1) < E) ++k;
        const double x0 = s.xAt(k), x1 = s.xAt(k + 1);
        out.append(E, s.yAt(k) + (s.yAt(k + 1) - s.yAt(k)) * (E - x0) / (x1 - x0));
    }
    return out;
}

// Every `step` eV from `from` to the spectrum's last energy.
inline Spectrum resampled(const Spectrum& s, double from, double step)
{
    QVector<double> g;
    for (int i = 0; from + i * step <= s.xAt(s.size() - 1) + 1e-9; ++i) g.append(from + i * step);
    return resampled(s, g);
}

// A quick scan over the spectrum's range: 2 eV steps up to 30 eV below E0,
// 0.3 eV through the edge to 60 eV above, 0.6 eV beyond.
inline Spectrum quickScan(const Spectrum& s, double E0)
{
    QVector<double> g;
    for (double E = s.xAt(0); E <= s.xAt(s.size() - 1); E += E < E0 - 30 ? 2 : E < E0 + 60 ? 0.3 : 0.6)
        g.append(E);
    return resampled(s, g);
}

}  // namespace edges

#endif
