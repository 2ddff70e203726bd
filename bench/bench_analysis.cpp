#include "analysis/EdgeShift.h"
#include "analysis/ElementAnalysis.h"
#include "analysis/LcfFit.h"
#include "analysis/ResidualAbsorption.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

// What one block of a 2-D run costs in each analysis, on 200-point spectra.
namespace {

double sigmoid(double E, double E0, double w)
{
    return 0.5 * (1 + std::tanh((E - E0) / w));
}

Spectrum scan200(double E0, double whiteLine)
{
    Spectrum s;
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 0.003);
    double E = E0 - 200;
    for (int i = 0; i < 200; ++i) {
        const double f = sigmoid(E, E0, 3) + whiteLine * std::exp(-std::pow((E - E0 - 8) / 5, 2));
        s.append(E, 0.3 - 1e-4 * (E - E0) + f + noise(rng));
        E += (std::fabs(E - E0) < 25) ? 0.5 : 5.0;
    }
    return s;
}

SuggestElm noWindow()
{
    SuggestElm e;
    e.useWindow = false;
    return e;
}

struct Block
{
    XafsSpectrum a{scan200(9000, 0.0), "a", 1, 0, noWindow()};
    XafsSpectrum b{scan200(9004, 0.5), "b", 1, 0, noWindow()};
    XafsSpectrum s;
    QVector<LcfRefSnapshot> refs;
    Block()
    {
        Spectrum mix;
        const Spectrum ma = scan200(9000, 0.0), mb = scan200(9004, 0.5);
        for (int i = 0; i < ma.size(); ++i)
            mix.append(ma.points[i].x(), 0.4 * ma.points[i].y() + 0.6 * mb.y(ma.points[i].x()));
        s = XafsSpectrum(mix, "block", 1, 0, noWindow());
        refs = {LcfRefSnapshot::of(a, true, 0), LcfRefSnapshot::of(b, true, 0),
                LcfRefSnapshot(), LcfRefSnapshot()};
    }
};

}  // namespace

static void BM_LcfBlock(benchmark::State& state)
{
    const Block blk;
    const LcfFit::Kind kind = LcfFit::Kind(state.range(0));
    for (auto _ : state) {
        const LcfResult r = LcfFit::fit(kind, blk.s, blk.refs, 8900, 9150, noWindow());
        benchmark::DoNotOptimize(r.z);
    }
}
BENCHMARK(BM_LcfBlock)->Arg(LcfFit::LCF)->Arg(LcfFit::MLCF);

namespace {

// Blocks of one run: the same energies, each with noise of its own, so that
// their edges' first guesses and lines' ranges vary a little as a run's do.
struct Run
{
    std::vector<XafsSpectrum> blocks;
    QVector<LcfRefSnapshot> refs;
    Run()
    {
        const Block blk;
        refs = blk.refs;
        std::mt19937 rng(11);
        std::normal_distribution<double> noise(0, 0.01);
        for (int n = 0; n < 64; ++n) {
            Spectrum s = blk.s;
            for (QPointF& p : s.points) p.setY(p.y() + noise(rng));
            blocks.emplace_back(s, "block", 1, 0, noWindow());
        }
    }
};

}  // namespace

// The LCF of a run's blocks: the references normalised with each block's own
// lines (arg 0: LCF) or taken over their own scans as before (arg 1: the old
// LCF, whose path the LCF took then); arg 1 of the second pair: one
// workspace for the run (as a worker keeps it), or none.
static void BM_LcfRunBlocks(benchmark::State& state)
{
    const Run run;
    const LcfFit::Kind kind = state.range(0) == 0 ? LcfFit::LCF : LcfFit::LCFOld;
    const bool cached = state.range(1) != 0;
    LcfFit::Workspace ws;
    size_t n = 0;
    for (auto _ : state) {
        const XafsSpectrum& b = run.blocks[n++ % run.blocks.size()];
        const LcfResult r = LcfFit::fit(kind, b, run.refs, 8900, 9150, noWindow(), false, cached ? &ws : nullptr);
        benchmark::DoNotOptimize(r.z);
    }
}
BENCHMARK(BM_LcfRunBlocks)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1});

// What a block's own normalisation costs, for scale.
static void BM_BlockNormalised(benchmark::State& state)
{
    const Run run;
    XafsSpectrum x;
    size_t n = 0;
    for (auto _ : state) {
        x = run.blocks[n++ % run.blocks.size()];
        x.renew("block", 1, 0, noWindow());
        benchmark::DoNotOptimize(x.dMut);
    }
}
BENCHMARK(BM_BlockNormalised);

static void BM_EdgeShiftCompared(benchmark::State& state)
{
    const Block blk;
    for (auto _ : state)
        benchmark::DoNotOptimize(EdgeShift::compared(blk.s, blk.a, 10, 1, 0.1));
}
BENCHMARK(BM_EdgeShiftCompared);

static void BM_EdgeShiftAgainstStep(benchmark::State& state)
{
    const Block blk;
    const XafsSpectrum step = EdgeShift::stepReference(9000, 300, 0.01);
    for (auto _ : state)
        benchmark::DoNotOptimize(EdgeShift::compared(blk.s, step, 10, 1, 0.1));
}
BENCHMARK(BM_EdgeShiftAgainstStep);

static void BM_ElementRows(benchmark::State& state)
{
    const Block blk;
    QVector<ElemRowSnapshot> rows(int(state.range(0)));
    for (int i = 0; i < rows.size(); ++i) {
        rows[i].e0 = 8900 + 20 * i;
        rows[i].roiStart = 9050;
        rows[i].roiEnd = 9100;
    }
    for (auto _ : state) {
        const ElemsResult r = ElementAnalysis::analyze(blk.s, rows, 0, ElemBackground());
        benchmark::DoNotOptimize(r.dmut.data());
    }
}
BENCHMARK(BM_ElementRows)->Arg(1)->Arg(8);

static void BM_ResidualAbsorption(benchmark::State& state)
{
    const Block blk;
    for (auto _ : state)
        benchmark::DoNotOptimize(ResidualAbsorption::compute(blk.s, 1.0, 8800).rest);
}
BENCHMARK(BM_ResidualAbsorption);

BENCHMARK_MAIN();
