#include "core/XafsSpectrum.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

// A noisy 200-point edge scan: 5 eV steps below and above, 0.5 eV across
// the edge, like a block spectrum of an imaging stack.
Spectrum scan200(double E0, double postSlope = -5e-5, double sigma = 0.003)
{
    Spectrum s;
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, sigma);
    double E = E0 - 200;
    for (int i = 0; i < 200; ++i) {
        const double f = 0.5 * (1 + std::tanh((E - E0) / 3));
        s.append(E, (1 - f) * (0.3 - 1e-4 * (E - E0)) + f * (1.3 + postSlope * (E - E0)) + noise(rng));
        E += (std::fabs(E - E0) < 25) ? 0.5 : 5.0;
    }
    return s;
}

}  // namespace

static void BM_XafsCalc200(benchmark::State& state)
{
    XafsSpectrum s(scan200(9000), "bench", 1, 0, SuggestElm());
    for (auto _ : state) {
        s.calc(1);
        benchmark::DoNotOptimize(s.midx);
    }
    state.counters["points"] = s.size();
}
BENCHMARK(BM_XafsCalc200);

static void BM_XafsCalc200Window(benchmark::State& state)
{
    SuggestElm w;
    w.useWindow = true;
    w.edgeEnergy = 9000;
    XafsSpectrum s(scan200(9000), "bench", 1, 0, w);
    for (auto _ : state) {
        s.calc(1);
        benchmark::DoNotOptimize(s.midx);
    }
}
BENCHMARK(BM_XafsCalc200Window);

static void BM_XafsCalc200Victoreen(benchmark::State& state)
{
    XafsSpectrum s(scan200(9000), "bench", 0, 0, SuggestElm());
    for (auto _ : state) {
        s.calc(0);
        benchmark::DoNotOptimize(s.midx);
    }
}
BENCHMARK(BM_XafsCalc200Victoreen);

// A post-edge line falling fast enough that both lines get their Bezier
// corrections, so line values beyond the ranges come from the sampled curves.
static void BM_XafsCalc200Corrected(benchmark::State& state)
{
    XafsSpectrum s(scan200(9000, -2e-3), "bench", 1, 0, SuggestElm());
    for (auto _ : state) {
        s.calc(1);
        benchmark::DoNotOptimize(s.midx);
    }
    state.counters["corrected"] = s.pre.correctionOn + s.post.correctionOn;
}
BENCHMARK(BM_XafsCalc200Corrected);

// Every point as measured: the normalisation without the search for points
// standing apart, for the cost of that search.
static void BM_XafsCalc200AsMeasured(benchmark::State& state)
{
    XafsSpectrum s(scan200(9000), "bench", 1, 0, SuggestElm());
    for (auto _ : state) {
        s.calcAsMeasured(1);
        benchmark::DoNotOptimize(s.midx);
    }
}
BENCHMARK(BM_XafsCalc200AsMeasured);

// A dropout of two points 40 eV above the edge: they are found and passed over.
static void BM_XafsCalc200Dropout(benchmark::State& state)
{
    Spectrum raw = scan200(9000);
    for (int i = 0; i < raw.size(); ++i)
        if (raw.points[i].x() >= 9040 && raw.points[i].x() < 9050) raw.points[i].setY(0);
    XafsSpectrum s(raw, "bench", 1, 0, SuggestElm());
    for (auto _ : state) {
        s.calc(1);
        benchmark::DoNotOptimize(s.midx);
    }
}
BENCHMARK(BM_XafsCalc200Dropout);

// One pixel of a thin sample at low counts: noise a tenth of the jump, where
// many points differ from their neighbours by much of the range.
static void BM_XafsCalc200LowCounts(benchmark::State& state)
{
    XafsSpectrum s(scan200(9000, -5e-5, 0.1), "bench", 1, 0, SuggestElm());
    const bool asMeasured = state.range(0) != 0;
    for (auto _ : state) {
        if (asMeasured)
            s.calcAsMeasured(1);
        else
            s.calc(1);
        benchmark::DoNotOptimize(s.midx);
    }
}
BENCHMARK(BM_XafsCalc200LowCounts)->Arg(0)->Arg(1);

// A quick scan: 0.3 eV steps from 150 eV below to 300 eV above the edge,
// 1,500 points, noise a five-hundredth of the jump; clean (0), with a frame
// a tenth of the jump high 8 eV above the edge (1), every point as measured (2).
static void BM_XafsCalcQuickScan(benchmark::State& state)
{
    Spectrum raw;
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 0.002);
    for (int i = 0; i < 1500; ++i) {
        const double E = 8850 + 0.3 * i;
        const double f = 0.5 * (1 + std::tanh((E - 9000) / 3));
        raw.append(E, (1 - f) * (0.3 - 1e-4 * (E - 9000)) + f * (1.3 - 5e-5 * (E - 9000)) + noise(rng)
                          + (state.range(0) == 1 && i == 527 ? 0.1 : 0.0));
    }
    XafsSpectrum s(raw, "bench", 1, 0, SuggestElm());
    for (auto _ : state) {
        if (state.range(0) == 2)
            s.calcAsMeasured(1);
        else
            s.calc(1);
        benchmark::DoNotOptimize(s.midx);
    }
}
BENCHMARK(BM_XafsCalcQuickScan)->Arg(0)->Arg(1)->Arg(2);

// A block of a stack on a 2 eV grid from 100 eV below to 300 eV above an
// edge with a white line, noise a two-hundredth of the jump: the crossing
// is taken between points standing alone. Straight (1) and Victoreen (0).
static void BM_XafsCalc2eVBlock(benchmark::State& state)
{
    Spectrum raw;
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0, 0.005);
    for (double E = 8900; E <= 9300; E += 2) {
        const double f = 0.5 * (1 + std::tanh((E - 9000) / 2.5));
        raw.append(E, (1 - f) * (0.3 - 1e-4 * (E - 9000)) + f * (1.3 - 5e-5 * (E - 9000))
                          + 0.5 * std::exp(-std::pow((E - 9008) / 4, 2)) + noise(rng));
    }
    const int type = int(state.range(0));
    XafsSpectrum s(raw, "bench", type, 0, SuggestElm());
    for (auto _ : state) {
        s.calc(type);
        benchmark::DoNotOptimize(s.midx);
    }
    state.counters["points"] = s.size();
}
BENCHMARK(BM_XafsCalc2eVBlock)->Arg(1)->Arg(0);

// As the 2-D analysis builds it: a fresh spectrum per block.
static void BM_XafsConstructAndCalc200(benchmark::State& state)
{
    const Spectrum raw = scan200(9000);
    for (auto _ : state) {
        XafsSpectrum s(raw, "bench", 1, 0, SuggestElm());
        benchmark::DoNotOptimize(s.midx);
    }
}
BENCHMARK(BM_XafsConstructAndCalc200);

static void BM_FindEnergyShift200(benchmark::State& state)
{
    const XafsSpectrum ref(scan200(9000), "ref", 1, 0, SuggestElm());
    const XafsSpectrum s(scan200(9002.3), "s", 1, 0, SuggestElm());
    for (auto _ : state)
        benchmark::DoNotOptimize(s.findEnergyShift(ref, 10, 1, 0.01));
}
BENCHMARK(BM_FindEnergyShift200);

BENCHMARK_MAIN();
