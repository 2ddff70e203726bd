#ifndef SUPPORT_FESTACK_H
#define SUPPORT_FESTACK_H

#include <QVector>

#include <cmath>

#include "core/Spectrum.h"

// An Fe K imaging scan as a new user would take one: a step-scan grid (coarse
// before the edge, fine across it, coarser above), a decaying beam, photon
// noise, a few hot pixels, and a substrate whose absorption curves smoothly
// with energy. Metal and oxide areas lie on the substrate, each moved by a
// known shift that grows across the image; the right part has no iron: bare
// substrate, and a hole where little but air absorbs.
namespace fe {

const double E0 = 7112;

// Metal: a shoulder before the rise, wiggles above.
inline double metal(double E)
{
    const double x = E - E0;
    const double step = 0.5 + std::atan(x / 1.6) / M_PI;
    const double shoulder = 0.08 * std::exp(-std::pow((x + 3) / 1.5, 2));
    const double wig = x > 0 ? 0.08 * std::sin(x / 9.0) * std::exp(-x / 150) : 0.0;
    return step + shoulder + wig;
}

// Oxide: the rise 10 eV later, a white line, a pre-edge peak.
inline double oxide(double E)
{
    const double x = E - E0 - 10;
    const double step = 0.5 + std::atan(x / 2.5) / M_PI;
    const double white = 0.45 * std::exp(-std::pow((x - 8) / 4.0, 2));
    const double pre = 0.04 * std::exp(-std::pow((x + 8) / 1.2, 2));
    const double wig = x > 15 ? 0.06 * std::sin((x - 15) / 12.0) : 0.0;
    return step + white + pre + wig;
}

// The substrate's absorption: a Victoreen-like fall with a gentle bend.
inline double substrate(double E, double thickness)
{
    const double l = 12398.4 / E;
    return thickness * (0.35 * l * l * l + 0.06 * std::tanh((E - 7130) / 80.0));
}

// Step scan: 10 eV to 7080, 2 eV to 7100, 0.4 eV to 7140, 3.5 eV to 7400.
inline QVector<double> grid(double top = 7400)
{
    QVector<double> e;
    for (double E = 6950; E < 7080; E += 10) e << E;
    for (double E = 7080; E < 7100; E += 2) e << E;
    for (double E = 7100; E < 7140 - 1e-9; E += 0.4) e << E;
    for (double E = 7140; E <= top + 1e-9; E += 3.5) e << E;
    return e;
}

enum class Area { Metal, Oxide, Substrate, Hole };

struct Stack
{
    int w = 60, h = 40;
    QVector<double> energies = grid();
    double photons = 20000;  // I0 counts per pixel at the start
    bool noise = true;

    // Columns: metal to a third, oxide to a half, then no iron; the hole is
    // the lower right quarter.
    Area area(int x, int y) const
    {
        if (x < w / 3) return Area::Metal;
        if (x < w / 2) return Area::Oxide;
        return x >= 3 * w / 4 && y >= h / 2 ? Area::Hole : Area::Substrate;
    }
    bool hasIron(int x, int y) const { return area(x, y) == Area::Metal || area(x, y) == Area::Oxide; }
    // Where the edge lies above the standard's, eV: 0 to 3 across the image.
    double shift(int x, int y) const { return 3.0 * (x + 0.5 * y) / (w + 0.5 * h); }
    // Iron thickness varies down the image; the substrate a little across it.
    double jump(int, int y) const { return 0.35 + 0.9 * y / h; }
    double mu(double E, int x, int y) const
    {
        const double bg = substrate(E, 1.0 + 0.3 * x / w);
        switch (area(x, y)) {
        case Area::Metal: return bg + jump(x, y) * metal(E - shift(x, y));
        case Area::Oxide: return bg + jump(x, y) * oxide(E - shift(x, y));
        case Area::Substrate: return bg;
        case Area::Hole: return 0.02;
        }
        return 0;
    }
    double beam(int k) const { return photons * (1 - 0.25 * k / energies.size()); }
    double counts(double n, int k, int x, int y, int which) const
    {
        if (!noise) return n;
        // Two uniform numbers hashed from the sample's place, the same in any order.
        quint64 z = ((quint64(k) * 4096u + quint64(x)) * 4096u + quint64(y)) * 2u + quint64(which);
        auto next = [&z] {
            quint64 r = (z += 0x9E3779B97F4A7C15ull);
            r = (r ^ (r >> 30)) * 0xBF58476D1CE4E5B9ull;
            r = (r ^ (r >> 27)) * 0x94D049BB133111EBull;
            return double((r ^ (r >> 31)) >> 11) * 0x1.0p-53;
        };
        const double u = 1 - next(), v = next();
        return n + std::sqrt(n) * std::sqrt(-2 * std::log(u)) * std::cos(2 * M_PI * v);
    }
    double i0(int k, int x, int y) const { return counts(beam(k), k, x, y, 0); }
    double i1(int k, int x, int y) const
    {
        // Now and then a pixel flashes in one frame.
        if (noise && (k * 131 + x * 17 + y * 7) % 49999 == 0) return 60000;
        return counts(beam(k) * std::exp(-mu(energies[k], x, y)), k, x, y, 1);
    }
    // The standard: metal foil measured alone, finely and quietly.
    Spectrum standard() const
    {
        Spectrum s;
        for (double E = 6950; E <= 7400; E += 0.5) s.append(E, 0.3 + 1.2 * metal(E));
        return s;
    }
};

}  // namespace fe

#endif
