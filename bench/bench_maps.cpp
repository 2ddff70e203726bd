#include "core/Analyzed2DRes.h"
#include "core/BPFit.h"
#include "core/Globals.h"

#include <benchmark/benchmark.h>

#include <memory>

// A map read from an energy-shift file records every pixel as a block.
static void BM_MapSetDataPixels1024(benchmark::State& state)
{
    const int n = 1024;
    AnalyzeCond g;
    g.set(n, n, 0, 0, QRectF(0, 0, n, n), -1, -1);
    Analyzed2DRes m("bench");
    for (auto _ : state) {
        m.setCond(g);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) m.setData(x, y, 0, 0, 0.001 * x - 0.002 * y);
        benchmark::DoNotOptimize(m.data);
    }
    state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(BM_MapSetDataPixels1024)->Unit(benchmark::kMillisecond);

// Rebuilding the display image happens on every colour-bar drag step.
static void BM_MapGenImg2048(benchmark::State& state)
{
    initColorTables();
    const int n = 2048;
    AnalyzeCond g;
    g.set(n, n, 2, 2, QRectF(0, 0, n, n), -1, -1);
    Analyzed2DRes m("bench");
    m.setCond(g);
    g.reset();
    do m.setData(g.curX, g.curY, g.xw, g.yw, g.curX * 0.5 + g.curY);
    while (g.next());
    for (auto _ : state) {
        m.genImg();
        benchmark::DoNotOptimize(m.img());
    }
    state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(BM_MapGenImg2048)->Unit(benchmark::kMillisecond);

static void BM_BPFitSolve(benchmark::State& state)
{
    BPFit fit;
    for (int y = 0; y < 2048; y += 16)
        for (int x = 0; x < 2048; x += 16) fit.addPoint(x, y, 1e-6 * x * y + 0.01 * x);
    for (auto _ : state) benchmark::DoNotOptimize(fit.solve());
}
BENCHMARK(BM_BPFitSolve);

static void BM_MapDeglitch2048(benchmark::State& state)
{
    const int n = 2048;
    AnalyzeCond g;
    g.set(n, n, 1, 1, QRectF(0, 0, n, n), -1, -1);
    Analyzed2DRes m("bench");
    m.setCond(g);
    g.reset();
    do m.setData(g.curX, g.curY, 1, 1, (g.curX * 7 + g.curY * 13) % 97 == 0 ? 100 : 1);
    while (g.next());
    for (auto _ : state) {
        m.deglitch();
        benchmark::DoNotOptimize(m.proc);
    }
}
BENCHMARK(BM_MapDeglitch2048)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
