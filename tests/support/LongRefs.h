#ifndef SUPPORT_LONGREFS_H
#define SUPPORT_LONGREFS_H

#include <QVector>

#include <cmath>
#include <random>

#include "core/Spectrum.h"

// Two manganese-like phases across the K edge, as a stack measures them over
// the edge only and as references are measured: long scans, well past the
// stack on either side. Above the edge the absorption falls as the atom's
// does (not along a straight line) and carries EXAFS wiggles, so a post-edge
// line fitted over 900 eV is not the one fitted over 300 eV.
namespace longref {

constexpr double E0 = 6540;

inline double step(double E, double e0, double w) { return 0.5 * (1 + std::tanh((E - e0) / w)); }

// Normalised shape of phase a (oxide-like: edge 4 eV up, strong white line)
// or b (metal-like: broad edge, weak white line), before the backgrounds.
inline double shape(bool a, double E)
{
    const double e0 = a ? E0 + 3 : E0 - 1;
    const double s = step(E, e0, a ? 1.5 : 2.5);
    const double k = 0.5123 * std::sqrt(std::max(0.0, E - e0));  // 1/A
    const double chi = (a ? 0.10 : 0.07) * std::sin(2 * (a ? 2.2 : 2.6) * k + 0.4) * std::exp(-2 * 0.006 * k * k);
    const double white = a ? 0.5 * std::exp(-std::pow((E - (E0 + 7)) / 3, 2))
                           : 0.15 * std::exp(-std::pow((E - (E0 + 5)) / 4, 2));
    return s * (std::pow(E0 / E, 2.7) * (1 + chi) + white);
}

// mu of a sample holding share fa of phase a (the rest b) with edge jump J
// on a falling matrix background of level bg.
inline double mu(double fa, double E, double J = 1.0, double bg = 0.8)
{
    return bg * std::pow(E0 / E, 3) + J * (fa * shape(true, E) + (1 - fa) * shape(false, E));
}

// A stack's energies over the edge: 2 eV below, 0.5 eV across it, 5 eV above.
inline QVector<double> stackEnergies(double below = 60, double above = 300)
{
    QVector<double> e;
    for (double d = -below; d < -20; d += 2) e << E0 + d;
    for (double d = -20; d < 30; d += 0.5) e << E0 + d;
    for (double d = 30; d <= above + 1e-9; d += 5) e << E0 + d;
    return e;
}

// A reference as measured alone at energies e: its own background and jump,
// a little photon noise.
inline Spectrum referenceAt(bool a, const QVector<double>& e, unsigned seed = 7)
{
    std::mt19937 g(seed);
    std::normal_distribution<double> n(0, 3e-4);
    Spectrum s;
    for (double E : e) s.append(E, 2.0 * std::pow(E0 / E, 3) + shape(a, E) + n(g));
    return s;
}

// The same over [E0 - below, E0 + above], by a scan of the stack's kind but
// its own energies (a quarter step apart), one energy measured twice.
inline Spectrum reference(bool a, double below, double above, unsigned seed = 7)
{
    QVector<double> e;
    for (double d = -below + 0.5; d < -20; d += 2) e << E0 + d;
    for (double d = -19.875; d < 30; d += 0.5) e << E0 + d;
    for (double d = 31.25; d <= above + 1e-9; d += 5) e << E0 + d;
    e.insert(e.size() / 2, e[e.size() / 2]);
    return referenceAt(a, e, seed);
}

}  // namespace longref

#endif
