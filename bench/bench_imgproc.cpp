#include "core/TiffData.h"
#include "tools/ImageAlign.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

const int side = 1024;

// A 1024 x 1024 16-bit frame of smooth blobs, shifted by (shx, shy).
std::unique_ptr<TiffData> frame(int shx, int shy)
{
    auto d = std::make_unique<TiffData>();
    d->width = side;
    d->height = side;
    d->pixelType = TiffData::UInt16;
    for (int r = 0; r < side; ++r) {
        auto* row = new uint16_t[side];
        for (int c = 0; c < side; ++c) {
            double v = 0;
            for (int k = 0; k < 8; ++k) {
                const double cx = 100 + 110 * k, cy = 150 + 90 * k, s = 30 + 5 * k;
                v += 4000 * std::exp(-((c - cx) * (c - cx) + (r - cy) * (r - cy)) / (2 * s * s));
            }
            row[c] = uint16_t(v);
        }
        d->rows.append(row);
    }
    d->shiftX = shx;
    d->shiftY = shy;
    return d;
}

BinImage binaryOf(const TiffData& f)
{
    const BinImage e = ImageAlign::edgeImage(f, side, side);
    return ImageAlign::binarize(e, ImageAlign::thresholdFromSlider(e.min, e.max, 100));
}

void BM_EdgeImage(benchmark::State& state)
{
    const auto f = frame(0, 0);
    for (auto _ : state) benchmark::DoNotOptimize(ImageAlign::edgeImage(*f, side, side));
}
BENCHMARK(BM_EdgeImage)->Unit(benchmark::kMillisecond);

void BM_CompareScore(benchmark::State& state)
{
    const BinImage r = binaryOf(*frame(0, 0));
    const BinImage b = binaryOf(*frame(-3, 2));
    for (auto _ : state) benchmark::DoNotOptimize(ImageAlign::compareScore(b, r, side, side, 3, -2));
}
BENCHMARK(BM_CompareScore)->Unit(benchmark::kMillisecond);

// The climb from (0, 0) to a displacement of (5, -4): five moves of eight scores.
void BM_HillClimb(benchmark::State& state)
{
    const BinImage r = binaryOf(*frame(0, 0));
    const BinImage b = binaryOf(*frame(-5, 4));
    for (auto _ : state)
        benchmark::DoNotOptimize(ImageAlign::hillClimb(b, r, side, side, QPoint(0, 0), 0.0));
}
BENCHMARK(BM_HillClimb)->Unit(benchmark::kMillisecond);

}

BENCHMARK_MAIN();
