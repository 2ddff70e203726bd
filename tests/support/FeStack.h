#ifndef SUPPORT_FESTACK_H
#define SUPPORT_FESTACK_H

#include <QVector>

#include <cmath>

#include "core/Spectrum.h"
#include "support/Spectra.h"

// An Fe K imaging scan: a step-scan grid, a decaying beam, photon noise, hot
// pixels, metal and oxide moved by a known shift growing across the image on a
// curved substrate; the right part has no iron: bare substrate, and a hole.
namespace fe {

const double E0 = 7112;

inline double rise(double x, double w) { return 0.5 + std::atan(x / w) / M_PI; }
inline double peak(double x, double w) { return std::exp(-(x / w) * (x / w)); }
// Metal: a shoulder before the rise, wiggles above.
inline double metal(double E)
{
    const double x = E - E0;
    return rise(x, 1.6) + 0.08 * peak(x + 3, 1.5) + (x > 0 ? 0.08 * std::sin(x / 9.0) * std::exp(-x / 150) : 0.0);
}
// Oxide: the rise 10 eV later, a white line, a pre-edge peak.
inline double oxide(double E)
{
    const double x = E - E0 - 10;
    return rise(x, 2.5) + 0.45 * peak(x - 8, 4) + 0.04 * peak(x + 8, 1.2) + (x > 15 ? 0.06 * std::sin((x - 15) / 12.0) : 0.0);
}
// The standard foil's mu.
inline double foil(double E) { return 0.3 + 1.2 * metal(E); }

// The standard: metal foil measured alone, finely and quietly.
inline Spectrum standard() { return synth::sample(6950, 7400, 0.5, foil); }
// Pure metal 1 eV below the standard, scanned in 2 eV steps from 7000 eV to top.
inline Spectrum shortScan(double top) { return synth::sample(7000, top, 2, [](double E) { return foil(E + 1.0); }); }

// The block of half width hw around (cx, cy) of stack s, as the main window sums it.
template <class S> Spectrum boxMu(const S& s, int cx, int cy, int hw)
{
    Spectrum mu;
    for (int k = 0; k < s.energies.size(); ++k) {
        double a = 0, b = 0;
        for (int y = cy - hw; y <= cy + hw; ++y)
            for (int x = cx - hw; x <= cx + hw; ++x) a += s.i0(k, x, y), b += s.i1(k, x, y);
        mu.append(s.energies[k], std::log(a / b));
    }
    return mu;
}

// Calls f(cx, cy) for the centre of every whole block of half width hw in a w x h image.
template <class F> void forBlockCentres(int w, int h, int hw, F f)
{
    for (int cy = hw; cy + hw < h; cy += 2 * hw + 1)
        for (int cx = hw; cx + hw < w; cx += 2 * hw + 1) f(cx, cy);
}

enum class Area { Metal, Oxide, Substrate, Hole };

struct Stack
{
    int w, h;
    QVector<double> energies;

    // 10 eV steps to 7080, 2 eV to 7100, 0.4 eV to 7140, 3.5 eV to 7400.
    Stack(int w = 60, int h = 40) : w(w), h(h)
    {
        for (double E = 6950; E < 7400 + 1e-9; E += E < 7080 ? 10 : E < 7100 ? 2 : E < 7140 - 1e-9 ? 0.4 : 3.5)
            energies << E;
    }
    // Metal to a third of the width, oxide to a half; the hole the lower right quarter.
    Area area(int x, int y) const
    {
        if (x < w / 3) return Area::Metal;
        if (x < w / 2) return Area::Oxide;
        return x >= 3 * w / 4 && y >= h / 2 ? Area::Hole : Area::Substrate;
    }
    bool hasIron(int x, int y) const { return area(x, y) == Area::Metal || area(x, y) == Area::Oxide; }
    // Where the edge lies above the standard's, eV: 0 to 3 across the image.
    double shift(int x, int y) const { return 3.0 * (x + 0.5 * y) / (w + 0.5 * h); }
    double mu(double E, int x, int y) const
    {
        // Substrate thicker to the right, iron thicker downwards.
        const double l = 12398.4 / E, bg = (1.0 + 0.3 * x / w) * (0.35 * l * l * l + 0.06 * std::tanh((E - 7130) / 80.0));
        const double iron = 0.35 + 0.9 * y / h;
        const Area a = area(x, y);
        if (a == Area::Hole) return 0.02;
        return a == Area::Substrate ? bg : bg + iron * (a == Area::Metal ? metal : oxide)(E - shift(x, y));
    }
    // Photon noise from two uniform numbers hashed from the sample's place, the same in any order.
    double counts(double n, int k, int x, int y, int which) const
    {
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
    double beam(int k) const { return 20000 * (1 - 0.25 * k / energies.size()); }
    double i0(int k, int x, int y) const { return counts(beam(k), k, x, y, 0); }
    double i1(int k, int x, int y) const
    {
        if ((k * 131 + x * 17 + y * 7) % 49999 == 0) return 60000;  // a pixel flashing in one frame
        return counts(beam(k) * std::exp(-mu(energies[k], x, y)), k, x, y, 1);
    }
    Spectrum block(int cx, int cy, int hw) const { return boxMu(*this, cx, cy, hw); }
    // Calls f(cx, cy) for the centre of every whole block of half width hw.
    template <class F> void forBlocks(int hw, F f) const { forBlockCentres(w, h, hw, f); }
};

// A standard normal number hashed from key: the same for the same key, in any order.
inline double normal(quint64 z)
{
    auto next = [&z] {
        quint64 r = (z += 0x9E3779B97F4A7C15ull);
        r = (r ^ (r >> 30)) * 0xBF58476D1CE4E5B9ull;
        r = (r ^ (r >> 27)) * 0x94D049BB133111EBull;
        return double((r ^ (r >> 31)) >> 11) * 0x1.0p-53;
    };
    const double u = 1 - next(), v = next();
    return std::sqrt(-2 * std::log(u)) * std::cos(2 * M_PI * v);
}

// A thin iron sample as a beamline measures it: edge step 0.12 on a curved
// substrate, metal and an oxide 3 eV above it, areas without iron (bare
// substrate, and a hole with no sample at all), a scan fine at the edge and
// coarse away from it with a repeated and a near-duplicate energy, a decaying
// beam and a pixel flashing now and then. The beam is set so that the blocks
// of half width hw with iron see a per-point noise of mu of step / ratio at the
// edge. Areas follow whole blocks, so every block is all iron or none.
struct Thin
{
    enum class Area { Metal, Oxide, Substrate, Hole };
    static constexpr double step = 0.12;

    double ratio;
    int hw, bw, bh;  // block half width, blocks across and down
    int w, h;
    double n0;       // beam per pixel at the first frame
    quint64 seed;
    QVector<double> energies;

    Thin(double ratio, int hw, int bw, int bh, quint64 seed = 1)
        : ratio(ratio), hw(hw), bw(bw), bh(bh), w(bw * (2 * hw + 1)), h(bh * (2 * hw + 1)), seed(seed)
    {
        // 8 eV steps to 7080, 2 eV to 7100, 0.75 eV to 7130, 4 eV to the top.
        for (double E = 6960; E < 7400 + 1e-9; E += E < 7080 - 1e-9 ? 8 : E < 7100 - 1e-9 ? 2 : E < 7130 - 1e-9 ? 0.75 : 4) {
            energies << E;
            if (E == 7106) energies << E;               // a frame taken twice
            if (E == 7121) energies << E + 0.02;       // and one the encoder put a hair higher
        }
        // mu of an iron block at the edge sets the noise: var(mu) = (1/I0 + 1/I1) / pixels.
        const double P = (2 * hw + 1) * (2 * hw + 1), sigma = step / ratio;
        n0 = (1 + std::exp(background(E0 + 20, 0) + step)) / (P * sigma * sigma) / (1 - 0.25 * 0.3);
    }
    Area area(int x, int) const
    {
        const double f = double(x / (2 * hw + 1)) / bw;
        return f < 0.3 ? Area::Metal : f < 0.5 ? Area::Oxide : f < 0.85 ? Area::Substrate : Area::Hole;
    }
    bool hasIron(int x, int y) const { return area(x, y) == Area::Metal || area(x, y) == Area::Oxide; }
    // Where the metal's edge lies above the standard's: 0 to 3 eV across the image.
    double shift(int x, int y) const { return 3.0 * (x + 0.5 * y) / (w + 0.5 * h); }
    // Substrate: falling as E^-3, a bend over the edge region, thicker to the right.
    double background(double E, int x) const
    {
        const double l = 12398.4 / E;
        return (1.0 + 0.4 * x / std::max(1, w)) * (0.06 * l * l * l + 0.02 * std::tanh((E - 7140) / 60.0));
    }
    // The sample's metal seen through the beamline's coarser resolution, its
    // shoulder smeared and its wiggles damped: not quite the foil's shape.
    static double thinMetal(double E)
    {
        const double x = E - E0;
        return rise(x, 3.0) + 0.04 * peak(x + 3, 3) + (x > 0 ? 0.05 * std::sin((x - 2) / 9.0) * std::exp(-x / 150) : 0.0);
    }
    // An oxide 3 eV above the metal: a strong white line, a pre-edge peak.
    static double thinOxide(double E)
    {
        const double x = E - E0 - 3;
        return rise(x, 2.5) + 0.5 * peak(x - 6, 4) + 0.06 * peak(x + 9, 1.5) + (x > 15 ? 0.06 * std::sin((x - 15) / 11.0) * std::exp(-(x - 15) / 120) : 0.0);
    }
    double mu(double E, int x, int y) const
    {
        switch (area(x, y)) {
        case Area::Hole: return 0;
        case Area::Substrate: return background(E, x);
        case Area::Metal: return background(E, x) + step * thinMetal(E - shift(x, y));
        case Area::Oxide: return background(E, x) + step * thinOxide(E - shift(x, y));
        }
        return 0;
    }
    double gauss(int k, int x, int y, int which) const
    {
        return normal((((seed * 1024u + quint64(k)) * 4096u + quint64(x)) * 4096u + quint64(y)) * 2u + quint64(which));
    }
    double beam(int k) const { return n0 * (1 - 0.25 * k / energies.size()); }
    double i0(int k, int x, int y) const { return beam(k) + std::sqrt(beam(k)) * gauss(k, x, y, 0); }
    double i1(int k, int x, int y) const
    {
        if ((k * 131 + x * 17 + y * 7 + int(seed)) % 19997 == 0) return 3 * beam(k);  // a flash: a one-point dip of mu
        const double n = beam(k) * std::exp(-mu(energies[k], x, y));
        return n + std::sqrt(n) * gauss(k, x, y, 1);
    }
    Spectrum block(int cx, int cy) const { return boxMu(*this, cx, cy, hw); }
    template <class F> void forBlocks(F f) const { forBlockCentres(w, h, hw, f); }
};


// A measured Fe foil beside an area without iron whose flat field does not
// quite cancel: Fe K from 7050 to 7250 eV in 2 eV steps, 40 x 20 pixels. The
// left half holds the foil scaled to a jump of 1; the right half mu = 1 plus
// three sines of periods 25 to 80 eV, periods and phases drawn for each 5 x 5
// block, each of amplitude `low` in rows 0-9 and `high` in rows 10-19. About
// 18,000 counts reach a pixel, with photon noise.
struct FlatField
{
    static constexpr int w = 40, h = 20, side = 5;
    Spectrum foil;   // the measured foil as scanned
    double jump;     // its edge jump
    double low, high;
    double n1 = 18000;  // counts through mu = 1
    quint64 seed;
    QVector<double> energies;

    FlatField(const Spectrum& foil, double jump, double low, double high, quint64 seed)
        : foil(foil), jump(jump), low(low), high(high), seed(seed)
    {
        for (int i = 0; i <= 100; ++i) energies << 7050 + 2.0 * i;
    }
    bool hasIron(int x, int) const { return x < w / 2; }
    double amplitude(int y) const { return y < h / 2 ? low : high; }
    // A uniform number in [0, 1) drawn for what of block (bx, by) key names.
    double uniform(int bx, int by, int key) const
    {
        quint64 z = ((seed * 64u + quint64(bx)) * 64u + quint64(by)) * 16u + quint64(key) + 0x5bd1e995ull;
        quint64 r = (z += 0x9E3779B97F4A7C15ull);
        r = (r ^ (r >> 30)) * 0xBF58476D1CE4E5B9ull;
        r = (r ^ (r >> 27)) * 0x94D049BB133111EBull;
        return double((r ^ (r >> 31)) >> 11) * 0x1.0p-53;
    }
    double mu(double E, int x, int y) const
    {
        if (hasIron(x, y)) return foil.y(E) / jump;
        const int bx = x / side, by = y / side;
        double m = 1;
        for (int j = 0; j < 3; ++j) {
            const double period = 25 + 55 * uniform(bx, by, 2 * j), phase = 2 * M_PI * uniform(bx, by, 2 * j + 1);
            m += amplitude(y) * std::sin(2 * M_PI * E / period + phase);
        }
        return m;
    }
    double gauss(int k, int x, int y, int which) const
    {
        return normal((((seed * 1024u + quint64(k)) * 4096u + quint64(x)) * 4096u + quint64(y)) * 2u + quint64(which) + 0x77u);
    }
    double beam() const { return n1 * std::exp(1.0); }
    double i0(int k, int x, int y) const { return beam() + std::sqrt(beam()) * gauss(k, x, y, 0); }
    double i1(int k, int x, int y) const
    {
        const double n = beam() * std::exp(-mu(energies[k], x, y));
        return n + std::sqrt(n) * gauss(k, x, y, 1);
    }
    Spectrum block(int cx, int cy, int hw) const { return boxMu(*this, cx, cy, hw); }
    template <class F> void forBlocks(int hw, F f) const { forBlockCentres(w, h, hw, f); }
};

}  // namespace fe

#endif
