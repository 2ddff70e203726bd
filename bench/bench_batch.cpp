#include "batch/CmdLine.h"

#include <benchmark/benchmark.h>

// A script line naming many files (a stack of tens of thousands of frames,
// or a line built by substitution): split into its items once per line.
static QString longLine(int kilobytes)
{
    QString line = QStringLiteral("load_I1_files NEW");
    for (int i = 0; line.size() < kilobytes * 1024; ++i)
        line += QStringLiteral(" d/f%1.tif \"d/a b%1.tif\"").arg(i, 6, 10, QLatin1Char('0'));
    return line;
}

static void BM_SplitLine(benchmark::State& state)
{
    const QString line = longLine(int(state.range(0)));
    for (auto _ : state) {
        CmdLine c;
        c.setLine(line);
        benchmark::DoNotOptimize(c.args.size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * line.size());
}
BENCHMARK(BM_SplitLine)->Arg(25)->Arg(100)->Arg(400)->Arg(800)->Unit(benchmark::kMillisecond);

// The most items a line of that length can hold: one character each.
static void BM_SplitLineOfShortItems(benchmark::State& state)
{
    QString line = QStringLiteral("seek_image");
    while (line.size() < state.range(0) * 1024) line += QStringLiteral(" x");
    for (auto _ : state) {
        CmdLine c;
        c.setLine(line);
        benchmark::DoNotOptimize(c.args.size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * line.size());
}
BENCHMARK(BM_SplitLineOfShortItems)->Arg(25)->Arg(100)->Arg(400)->Arg(800)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
