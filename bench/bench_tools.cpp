#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/XafsSpectrum.h"
#include "tools/CalibMath.h"
#include "tools/EShiftMapFile.h"
#include "tools/StatsMath.h"

#include <QTemporaryDir>

#include <cmath>
#include <functional>
#include <vector>

#include <benchmark/benchmark.h>

#include <functional>

namespace {

void fillMap(Analyzed2DRes& m, int n)
{
    AnalyzeCond g;
    g.set(n, n, 0, 0, QRectF(0, 0, n, n), -1, -1);
    m.setCond(g);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) m.data[y * n + x] = 0.001 * x - 0.002 * y + 0.5;
}

EMPHeader header(int n)
{
    AnalyzeCond g;
    g.set(n, n, 0, 0, QRectF(0, 0, n, n), -1, -1);
    return EShiftMapFile::headerOf(g, 0, 0, 8979, 3.13553);
}

}  // namespace

// Saving a calibrated map of a 1k detector.
static void BM_EmpWrite1024(benchmark::State& state)
{
    const int n = 1024;
    Analyzed2DRes m("bench");
    fillMap(m, n);
    QTemporaryDir dir;
    const QString f = dir.filePath("b.emp");
    for (auto _ : state) benchmark::DoNotOptimize(EShiftMapFile::write(f, m, header(n), "std", n, n));
    state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(BM_EmpWrite1024)->Unit(benchmark::kMillisecond);

// Reading it back, with the map image and surface fit.
static void BM_EmpRead1024(benchmark::State& state)
{
    initColorTables();
    const int n = 1024;
    Analyzed2DRes m("bench");
    fillMap(m, n);
    QTemporaryDir dir;
    const QString f = dir.filePath("b.emp");
    EShiftMapFile::write(f, m, header(n), "std", n, n);
    Analyzed2DRes back("back");
    AnalyzeCond grid;
    for (auto _ : state) {
        EMPHeader h;
        EShiftMapFile::LoadSettings s;
        benchmark::DoNotOptimize(EShiftMapFile::load(f, back, h, grid, s));
    }
    state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(BM_EmpRead1024)->Unit(benchmark::kMillisecond);

// Statistics and histogram of a 2k map sampled per pixel, as one repaint of
// the image view may ask for.
static void BM_StatsPerPixel2048(benchmark::State& state)
{
    const int n = 2048;
    Analyzed2DRes m("bench");
    fillMap(m, n);
    AnalyzeCond g;
    g.set(n, n, 0, 0, QRectF(0, 0, n, n), -1, -1);
    for (auto _ : state) {
        const QVector<double> v = StatsMath::blockSamples(m, g);
        const StatsMath::Summary s = StatsMath::summarize(v);
        StatsMath::Histogram h = StatsMath::emptyHistogram(100, s.min, s.max);
        StatsMath::fill(h, v);
        benchmark::DoNotOptimize(StatsMath::rangeOf(h, s.min, s.max));
    }
    state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(BM_StatsPerPixel2048)->Unit(benchmark::kMillisecond);

// An arctangent edge at 7112 eV, w eV wide.
static double edge(double E, double w) { return 0.5 + std::atan((E - 7112) / w) / M_PI; }

// The calibration benchmarks' standard: that edge sampled every 0.5 eV.
static XafsSpectrum feStandard()
{
    Spectrum fine;
    for (double E = 6950; E <= 7400; E += 0.5) fine.append(E, 0.3 + 1.2 * edge(E, 1.6));
    return XafsSpectrum(fine, "std", 1, 0, SuggestElm());
}

// The edge test of one calibration block: a thin Fe edge, 180 points, against
// a standard sampled every 0.5 eV.
static void BM_CalibEdgeFit(benchmark::State& state)
{
    Spectrum block;
    int i = 0;
    for (double E = 6960; E <= 7400; E += E < 7080 ? 8 : E < 7100 ? 2 : E < 7130 ? 0.75 : 4, ++i)
        block.append(E, 0.4 - 1e-4 * (E - 7100) + 0.12 * edge(E - 1, 3) + 0.02 * std::sin(i * 2.3999));
    const XafsSpectrum standard = feStandard(), b(block, "b", 1, 0, SuggestElm());
    for (auto _ : state) benchmark::DoNotOptimize(CalibMath::fitEdge(b, standard, 1.0));
}
BENCHMARK(BM_CalibEdgeFit)->Unit(benchmark::kMicrosecond);

// The same on blocks whose windows the fit has not seen lately: 24 grids a hundredth of an
// eV apart taken in turn, more than the fit keeps, so every block works its window out afresh.
static void BM_CalibEdgeFitNewWindow(benchmark::State& state)
{
    const XafsSpectrum standard = feStandard();
    std::vector<XafsSpectrum> blocks;
    for (int k = 0; k < 24; ++k) {
        Spectrum block;
        int i = 0;
        for (double E = 6960; E <= 7400; E += E < 7080 ? 8 : E < 7100 ? 2 : E < 7130 ? 0.75 : 4, ++i)
            block.append(E + 0.01 * k, 0.4 - 1e-4 * (E - 7100) + 0.12 * edge(E - 1, 3) + 0.02 * std::sin(i * 2.3999));
        blocks.emplace_back(block, "b", 1, 0, SuggestElm());
    }
    size_t k = 0;
    for (auto _ : state) benchmark::DoNotOptimize(CalibMath::fitEdge(blocks[k++ % blocks.size()], standard, 1.0));
}
BENCHMARK(BM_CalibEdgeFitNewWindow)->Unit(benchmark::kMicrosecond);

// A fine standard edge at 7112 eV, and a block on a quick 2 eV scan whose mu
// the caller gives by energy and point index.
static void calibBlockRun(benchmark::State& state, CalibMath::Method m,
                          const std::function<double(double, int)>& blockMu)
{
    Spectrum block;
    for (int i = 0; i <= 100; ++i) {
        const double E = 7050 + 2.0 * i;
        block.append(E, blockMu(E, i));
    }
    const XafsSpectrum standard = feStandard();
    const CalibMath::Search p{20, 1, 0.1};
    for (auto _ : state) {
        const XafsSpectrum b(block, "b", 1, 0, SuggestElm());
        const CalibMath::Shift s = CalibMath::measureShift(b, standard, m, p);
        benchmark::DoNotOptimize(CalibMath::edgeOf(b, standard, s, m, p));
    }
}

// A whole block as a calibration run takes it on a quick 2 eV scan: its
// normalisation, its mid-point shift and the edge test, for the edge test's
// share of a block's time.
static void BM_CalibBlock2eV(benchmark::State& state)
{
    calibBlockRun(state, CalibMath::Method::MidPoint,
                  [](double E, int i) { return 1 + 0.01 * std::sin(E / 7.0) + 0.003 * std::sin(i * 2.3999); });
}
BENCHMARK(BM_CalibBlock2eV)->Unit(benchmark::kMicrosecond);

// The same block of a thin edge, as a run takes it, by the inner product.
static void BM_CalibBlockInnerP(benchmark::State& state)
{
    calibBlockRun(state, CalibMath::Method::InnerProduct, [](double E, int i) {
        return 1 + 0.1 * (0.5 + std::atan((E - 1 - 7112) / 2) / M_PI) + 0.003 * std::sin(i * 2.3999);
    });
}
BENCHMARK(BM_CalibBlockInnerP)->Unit(benchmark::kMicrosecond);

// The mid-point on a real edge whose energies the rounds have not seen lately: 24 grids a
// hundredth of an eV apart taken in turn, more than the rounds keep, so each block reads the
// standard's E0 at every lattice shift within reach afresh: the first block of a stack.
static void BM_CalibBlockNewGrid(benchmark::State& state)
{
    const XafsSpectrum standard = feStandard();
    std::vector<XafsSpectrum> blocks;
    for (int k = 0; k < 24; ++k) {
        Spectrum block;
        for (int i = 0; i <= 100; ++i) {
            const double E = 7050 + 2.0 * i + 0.01 * k;
            block.append(E, 1 + 0.1 * edge(E - 1, 2) + 0.003 * std::sin(i * 2.3999));
        }
        blocks.emplace_back(block, "b", 1, 0, SuggestElm());
    }
    const CalibMath::Search p{20, 1, 0.1};
    size_t k = 0;
    for (auto _ : state) {
        const XafsSpectrum& b = blocks[k++ % blocks.size()];
        benchmark::DoNotOptimize(CalibMath::measureShift(b, standard, CalibMath::Method::MidPoint, p));
    }
}
BENCHMARK(BM_CalibBlockNewGrid)->Unit(benchmark::kMicrosecond);

// The same blocks' mid-point on one grid, as the blocks of a stack after the first.
static void BM_CalibBlockSameGrid(benchmark::State& state)
{
    Spectrum block;
    for (int i = 0; i <= 100; ++i) {
        const double E = 7050 + 2.0 * i;
        block.append(E, 1 + 0.1 * edge(E - 1, 2) + 0.003 * std::sin(i * 2.3999));
    }
    const XafsSpectrum standard = feStandard(), b(block, "b", 1, 0, SuggestElm());
    const CalibMath::Search p{20, 1, 0.1};
    for (auto _ : state) benchmark::DoNotOptimize(CalibMath::measureShift(b, standard, CalibMath::Method::MidPoint, p));
}
BENCHMARK(BM_CalibBlockSameGrid)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
