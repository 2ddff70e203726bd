#include "mainwindow/BoxSpectrum.h"

#include "core/TiffData.h"

#include <benchmark/benchmark.h>

#include <tiffio.h>

#include <cstdint>
#include <random>

// The cursor spectrum is rebuilt on every mouse move: 150 frames of
// 1024 x 1024 in each stack, a 21 x 21 box, I0 interpolation and a dark image.
namespace {

TiffData* frame(int w, int h, double energy, std::mt19937& rng)
{
    std::uniform_int_distribution<int> u(100, 60000);
    auto* d = new TiffData;
    d->width = uint32_t(w);
    d->height = uint32_t(h);
    d->pixelType = TiffData::TiffUInt16;
    d->energy = energy;
    for (int r = 0; r < h; ++r) {
        auto* row = static_cast<uint16_t*>(_TIFFmalloc(tmsize_t(w) * 2));
        for (int c = 0; c < w; ++c) row[c] = uint16_t(u(rng));
        d->rows.append(row);
    }
    return d;
}

struct Stacks
{
    QVector<TiffData*> i1, i0;
    TiffData* dark = nullptr;
    Stacks()
    {
        std::mt19937 rng(7);
        for (int k = 0; k < 150; ++k) i1.append(frame(1024, 1024, 7000 + k, rng));
        for (int k = 0; k < 150; ++k) i0.append(frame(1024, 1024, 6999.5 + k, rng));
        dark = frame(1024, 1024, 0, rng);
    }
    ~Stacks()
    {
        deleteTiffDataList(i1);
        deleteTiffDataList(i0);
        delete dark;
    }
};

}  // namespace

static void BM_BoxSpectrum21x21x150WithI0AndDark(benchmark::State& state)
{
    static Stacks s;
    BoxSpectrumConds c;
    c.imageWidth = 1024;
    c.imageHeight = 1024;
    c.dark = s.dark;
    c.darkExpTime = 100;
    c.i1ExpTime = 50;
    c.i0ExpTime = 20;
    int x = 100;
    for (auto _ : state) {
        x = (x + 37) % 1000 + 10;  // a new position each time, as the mouse moves
        benchmark::DoNotOptimize(BoxSpectrum::xafs(s.i1, s.i0, x, 512, 10, 10, c));
    }
}
BENCHMARK(BM_BoxSpectrum21x21x150WithI0AndDark)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
