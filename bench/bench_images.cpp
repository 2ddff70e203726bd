#include "core/ErrPoints.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "core/TiffWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

const uint32_t side = 2048;

// One 2048 x 2048 16-bit TIFF, written once; read from the page cache after.
const QString& tiffFile()
{
    static QTemporaryDir dir;
    static QString name;
    if (name.isEmpty()) {
        initColorTables();
        name = dir.filePath("bench.tif");
        std::vector<uint16_t> v(size_t(side) * side);
        for (size_t i = 0; i < v.size(); ++i) v[i] = uint16_t((i * 2654435761u) >> 20);
        TiffWriter().write16(name, side, int32_t(side), v.data());
    }
    return name;
}

void BM_PlainRead(benchmark::State& state)
{
    const QString& name = tiffFile();
    for (auto _ : state) {
        QFile f(name);
        f.open(QIODevice::ReadOnly);
        std::vector<char> bytes(size_t(f.size()));
        f.read(bytes.data(), qint64(bytes.size()));
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(name).size());
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

void BM_LoadTiff(benchmark::State& state)
{
    const QString& name = tiffFile();
    const ErrPoints none;
    for (auto _ : state) {
        TiffData d;
        if (!d.load(name, none)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(d.image);
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(name).size());
}
BENCHMARK(BM_LoadTiff)->Unit(benchmark::kMillisecond);

// A 21 x 21 box over a 150-frame stack of 2048 x 2048 images. Arg 0: the box
// stays put (cursor at rest); 1: it moves a pixel a step (cursor moving);
// 2: it jumps to random places (every frame's rows come from memory).
void BM_SumBoxStack(benchmark::State& state)
{
    static std::vector<std::unique_ptr<TiffData>> stack;
    if (stack.empty()) {
        for (int i = 0; i < 150; ++i) {
            auto d = std::make_unique<TiffData>();
            d->width = d->height = side;
            d->pixelType = TiffData::UInt16;
            for (uint32_t r = 0; r < side; ++r) {
                auto* row = new uint16_t[side];
                for (uint32_t c = 0; c < side; ++c) row[c] = uint16_t(r * 7 + c * 3 + uint32_t(i));
                d->rows.append(row);
            }
            stack.push_back(std::move(d));
        }
    }
    const int mode = int(state.range(0));
    uint32_t seed = 1;
    int x = 1000, y = 1000;
    for (auto _ : state) {
        if (mode == 1) {
            x = 100 + (x - 99) % 1800;
            y = 100 + (y - 100 + (x == 100)) % 1800;
        } else if (mode == 2) {
            seed = seed * 1664525u + 1013904223u;
            x = int(seed >> 21);
            y = int((seed >> 10) & 2047);
        }
        double sum = 0;
        for (const auto& d : stack) sum += d->sumBox(x, y, 10, 10);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_SumBoxStack)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
