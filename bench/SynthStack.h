#ifndef BENCH_SYNTHSTACK_H
#define BENCH_SYNTHSTACK_H

#include "core/TiffData.h"

#include <tiffio.h>

#include <QVector>

#include <cmath>
#include <cstdint>

// In-memory 16-bit stacks for the benchmarks: every pixel mixes two edges
// (at 9000 and 9006 eV) in a share that varies across the image, so a fit
// has real work to do.
namespace benchstack {

inline double edge(double E, double E0) { return 0.5 * (1 + std::tanh((E - E0) / 1.5)); }
inline double pre(double E) { return 0.5 - 2e-4 * (E - 8800); }
inline double mu1(double E) { return pre(E) + edge(E, 9000); }
inline double mu2(double E) { return pre(E) + edge(E, 9006); }

// Energies of n frames over 8850 .. 9150 eV, denser across the edge.
inline double energyAt(int k, int n)
{
    const double t = n > 1 ? double(k) / (n - 1) : 0.0;
    return 9003 + 150 * (2 * t - 1) * (0.35 + 0.65 * (2 * t - 1) * (2 * t - 1));
}

inline TiffData* frame(int w, int h, double E, bool i0)
{
    auto* d = new TiffData;
    d->width = uint32_t(w);
    d->height = uint32_t(h);
    d->pixelType = TiffData::TiffUInt16;
    d->energy = E;
    const double m1 = mu1(E), m2 = mu2(E);
    for (int r = 0; r < h; ++r) {
        auto* row = static_cast<uint16_t*>(_TIFFmalloc(tmsize_t(w) * 2));
        for (int c = 0; c < w; ++c) {
            const double f = 0.1 + 0.8 * (double(c) / w) * (0.5 + 0.5 * double(r) / h);
            const double v = i0 ? 40000.0 : 40000.0 * std::exp(-(f * m1 + (1 - f) * m2));
            row[c] = uint16_t(std::lround(v));
        }
        d->rows.append(row);
    }
    return d;
}

struct Stack
{
    QVector<TiffData*> i1, i0;
    Stack(int w, int h, int n, bool withI0 = true)
    {
        for (int k = 0; k < n; ++k) {
            i1.append(frame(w, h, energyAt(k, n), false));
            if (withI0) i0.append(frame(w, h, energyAt(k, n), true));
        }
    }
    ~Stack()
    {
        deleteTiffDataList(i1);
        deleteTiffDataList(i0);
    }
    Stack(const Stack&) = delete;
    Stack& operator=(const Stack&) = delete;
};

}  // namespace benchstack

#endif
