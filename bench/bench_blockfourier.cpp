#include "SynthStack.h"

#include "analysis/BlockFourier.h"
#include "core/AnalyzeCond.h"
#include "core/FFT.h"

#include <benchmark/benchmark.h>

// Fourier analysis of blocks over a whole 101-frame stack: every bin's sums.
// Arguments: image side, block half width.
static void BM_FourierBins(benchmark::State& state)
{
    const int w = int(state.range(0)), hw = int(state.range(1)), n = 101;
    benchstack::Stack s(w, w, n, false);
    AnalyzeCond grid;
    grid.set(w, w, hw, hw, 0, 0, w, w, -1, -1);
    FFT fft;
    for (auto _ : state) {
        const QVector<FourierBinRes> r = fourierBins(grid, *s.i1[0], s.i1, w, w, fft);
        benchmark::DoNotOptimize(r.data());
    }
    state.counters["blocks_per_s"] = benchmark::Counter(double(grid.blockCount()),
                                                        benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FourierBins)->Args({64, 0})->Args({512, 0})->Args({512, 2})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
