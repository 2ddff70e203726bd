#ifndef SUPPORT_MIXEDSTACK_H
#define SUPPORT_MIXEDSTACK_H

#include <QDir>
#include <QString>
#include <QVector>

#include <cmath>

#include "core/Spectrum.h"
#include "support/Files.h"
#include "support/Spectra.h"

// An imaging scan across one edge with a known answer in every region: each
// region's mu(E) is pre + jump x (f x ref1 + (1 - f) x ref2)(E - shift), where
// ref1 and ref2 are unit steps of two widths centred on the same E0, so the
// normalised mixture is exactly f : 1 - f and its half height lies at E0 +
// shift. Frames are 16-bit TIFF files named by their energy, I0 varies over
// the image and with energy, and every frame carries a dark offset; the
// bottom rows (the top rows with darkFirst) are dark (offset only) in both
// stacks.
namespace mixed {

struct Region
{
    int x0, x1;  // columns, both included
    double pre, jump, f1, shift;
};

struct Stack
{
    double E0 = 8979;
    double w1 = 1.5, w2 = 3.0;
    double from = 8939, to = 9019, step = 1;
    int width = 18, sampleRows = 12, darkRows = 3;
    bool darkFirst = false;
    double dark = 300;
    QVector<Region> regions;

    int height() const { return sampleRows + darkRows; }
    bool darkRow(int r) const { return darkFirst ? r < darkRows : r >= sampleRows; }
    double ref1(double E) const { return 0.5 * (1 + std::tanh((E - E0) / w1)); }
    double ref2(double E) const { return 0.5 * (1 + std::tanh((E - E0) / w2)); }
    const Region* regionAt(int x) const
    {
        for (const Region& r : regions)
            if (x >= r.x0 && x <= r.x1) return &r;
        return nullptr;
    }
    double mu(const Region& r, double E) const
    {
        const double e = E - r.shift;
        return r.pre + r.jump * (r.f1 * ref1(e) + (1 - r.f1) * ref2(e));
    }
    double i0(int x, int y, double E) const { return (8000 + 150 * x + 80 * y) * (1 - 0.002 * (E - from)); }
    int frames() const { return int(std::lround((to - from) / step)) + 1; }
    double energy(int k) const { return from + k * step; }

    // i1/ and i0/ under dir, one file per energy ("i1_08979_0000.tif").
    bool write(const QString& dir) const
    {
        for (int k = 0; k < frames(); ++k) {
            const double E = energy(k);
            auto i1 = [&](int c, int r) {
                const Region* g = regionAt(c);
                if (darkRow(r) || !g) return dark;
                return i0(c, r, E) * std::exp(-mu(*g, E)) + dark;
            };
            auto i0px = [&](int c, int r) { return darkRow(r) ? dark : i0(c, r, E) + dark; };
            if (!ts::writeTiff(dir + "/i1/" + ts::energyName("i1", E), width, height(), i1)) return false;
            if (!ts::writeTiff(dir + "/i0/" + ts::energyName("i0", E), width, height(), i0px)) return false;
        }
        return true;
    }

    // A reference as measured alone: the same background as the first region.
    bool writeRef(const QString& path, bool first) const
    {
        const Region& r = regions.first();
        return ts::writeSpectrum(path, synth::sample(from - 20, to + 20, 0.5, [&](double E) {
            return r.pre + r.jump * (first ? ref1(E) : ref2(E));
        }));
    }
    // A headless run's folder: the stacks, ref1.dat and ref2.dat, and out/ for its results.
    bool writeRun(const QString& dir) const
    {
        return write(dir) && writeRef(dir + "/ref1.dat", true) && writeRef(dir + "/ref2.dat", false)
               && QDir(dir).mkpath("out");
    }
};

}  // namespace mixed

#endif
