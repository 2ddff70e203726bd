#ifndef SUPPORT_CALIBSTACKS_H
#define SUPPORT_CALIBSTACKS_H

// Calibration blocks built from the measured spectra of tests/data: a sample
// of one compound on a curved support, measured against a standard of
// another compound of the same element, on the grids users scan, with the
// photon noise of a given count; and blocks without the element.

#include <QString>
#include <QVector>

#include <cmath>

#include "core/XafsSpectrum.h"
#include "support/EnergyGrids.h"
#include "support/FeStack.h"
#include "support/MeasuredSpectra.h"
#include "tools/CalibMath.h"

namespace cstack {

struct Pair
{
    QString sample, standard;
    double edge;  // the standard's edge, roughly (eV)
};

// Sample and standard of different compounds; the first three choose the
// rule, the other two check it.
inline QVector<Pair> tuningPairs()
{
    return {{"cu2s_13K.dat", "cu_foil_rt.dat", 8979}, {"znso4_rt.dat", "zns_sphalerite_rt.dat", 9661},
            {"fe2o3_rt.dat", "fe_foil_rt.dat", 7112}};
}
inline QVector<Pair> checkingPairs()
{
    return {{"ni_oh2_rt.dat", "ni_metal_rt.dat", 8333}, {"mno2_rt.dat", "mno_rt.dat", 6547}};
}

inline XafsSpectrum normalised(const QString& name)
{
    return XafsSpectrum(measured::spectrum(measured::file(name)), name, 1, 0, SuggestElm());
}

// The grids: 2 eV and 1 eV steps, an uneven step scan, a XANES-only window.
inline QVector<grids::Grid> gridsAbout(double edge)
{
    QVector<double> uneven;
    for (double E = edge - 150; E <= edge + 300; E += E < edge - 30 ? 8 : E < edge - 10 ? 2 : E < edge + 20 ? 0.75 : 4) uneven << E;
    return {{"2 eV", grids::uniform(edge - 150, edge + 300, 2)},
            {"1 eV", grids::uniform(edge - 100, edge + 200, 1)},
            {"uneven", uneven},
            {"XANES-only", grids::uniform(edge - 25, edge + 55, 1)}};
}

// What lies under the sample: a support falling as E^-3.
inline double support(double E, double edge) { const double r = edge / E; return 0.8 + 0.25 * r * r * r; }

// mu at E with photon noise of `counts` through the sample (I1) and
// I0 = counts x exp(mu), from a key.
inline double noisy(double mu, double counts, quint64 key)
{
    return mu + std::sqrt(1 / counts + 1 / (counts * std::exp(mu))) * fe::normal(key);
}

// A block of the sample of edge step `jump`, moved by shift, on the support,
// read at the grid's energies the sample and the standard both cover.
inline Spectrum block(const XafsSpectrum& sample, const XafsSpectrum& standard, const QVector<double>& grid, double edge,
                      double jump, double shift, double counts, quint64 seed)
{
    Spectrum mu;
    const Spectrum& n = sample.doubleNormalizedPreBaseCurve;
    int i = 0;
    for (double E : grid) {
        const double Es = E - shift;
        if (Es < n.minX || Es > n.maxX || E < standard.minX || E > standard.maxX) continue;
        mu.append(E, noisy(support(E, edge) + jump * n.y(Es), counts, seed * 100000 + quint64(i++)));
    }
    return mu;
}

enum class Bare { Flat, Curved, Wiggles };

// A block without the element: flat, on the curved support, or on a flat
// field whose three sines of 25-80 eV periods have amplitude `wiggle`.
inline Spectrum bareBlock(const XafsSpectrum& standard, const QVector<double>& grid, double edge, Bare kind, double wiggle,
                          double counts, quint64 seed)
{
    Spectrum mu;
    double period[3], phase[3];
    for (int j = 0; j < 3; ++j) {
        period[j] = 25 + 55 * (0.5 + 0.5 * std::tanh(fe::normal(seed * 7 + 2 * j)));
        phase[j] = M_PI * fe::normal(seed * 7 + 2 * j + 1);
    }
    int i = 0;
    for (double E : grid) {
        if (E < standard.minX || E > standard.maxX) continue;
        double m = kind == Bare::Curved ? support(E, edge) : 1.0;
        if (kind == Bare::Wiggles)
            for (int j = 0; j < 3; ++j) m += wiggle * std::sin(2 * M_PI * E / period[j] + phase[j]);
        mu.append(E, noisy(m, counts, seed * 100000 + 50000 + quint64(i++)));
    }
    return mu;
}

// The chance that a block's noise lets the standard's curve over a quadratic, fitted at the
// block's true shift, stand `threshold` standard errors above 0: the step of the noiseless
// block (clean) over the error that point noise of `counts` gives it. The curve's part the
// quadratic cannot take is worked out here by Gram-Schmidt over the fit's window, apart from
// the calibration's own fit. What single pixels could keep were nothing else lost.
inline double keepChance(const XafsSpectrum& clean, const XafsSpectrum& standard, double shift, double counts, double threshold)
{
    const Spectrum& ref = standard.doubleNormalizedPreBaseCurve;
    const double edge = standard.midx + shift;
    QVector<double> col[4], mu;
    double variance = 0;
    for (int i = 0; i < clean.points.size(); ++i) {
        const double E = clean.xAt(i), Er = E - shift;
        if (E < edge - CalibMath::edgeWindowBelow || E > edge + CalibMath::edgeWindowAbove || Er < ref.minX || Er > ref.maxX) continue;
        const double u = (E - edge) / 100;
        col[0] << 1;
        col[1] << u;
        col[2] << u * u;
        col[3] << ref.y(Er);
        mu << clean.yAt(i);
        variance += 1 / counts + 1 / (counts * std::exp(clean.yAt(i)));
    }
    const int n = mu.size();
    if (n < 8) return 0;
    auto dot = [n](const QVector<double>& a, const QVector<double>& b) {
        double s = 0;
        for (int i = 0; i < n; ++i) s += a[i] * b[i];
        return s;
    };
    for (int a = 0; a < 4; ++a) {
        for (int pass = 0; pass < 2; ++pass)
            for (int c = 0; c < a; ++c) {
                const double d = dot(col[c], col[a]) / dot(col[c], col[c]);
                for (int i = 0; i < n; ++i) col[a][i] -= d * col[c][i];
            }
    }
    const double len = std::sqrt(dot(col[3], col[3]));
    if (!(len > 0)) return 0;
    const double step = dot(col[3], mu) / (len * len), sigma = std::sqrt(variance / n);
    return 0.5 * std::erfc(-(step * len / sigma - threshold) / std::sqrt(2.0));
}

}  // namespace cstack

#endif
