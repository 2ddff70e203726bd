#include "batch/CmdLine.h"
#include "batch/KeySubst.h"

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

// Substitution of an argument of range(0) "$" against a table whose last key
// holds range(1) "$", beside a hundred ordinary keys, one of them used many
// times: time that must follow the argument's length, not the keys'.
static void BM_SubstituteDollarRich(benchmark::State& state)
{
    QStringList keys{QStringLiteral("$DataRoot$")}, values{QStringLiteral("/data")};
    for (int i = 0; i < 100; ++i) {
        keys << QStringLiteral("$v%1$").arg(i);
        values << QStringLiteral("value%1").arg(i);
    }
    keys << QString(int(state.range(1)), QLatin1Char('$'));
    values << QStringLiteral("v");
    QString arg(int(state.range(0)), QLatin1Char('$'));
    for (int i = 0; i < arg.size(); i += 997)
        arg.insert(i, QStringLiteral("$v7$"));
    KeyFinder finder;
    for (auto _ : state) {
        QString text = arg;
        benchmark::DoNotOptimize(substituteKeys(text, keys, values, finder, 1 << 22));
        benchmark::DoNotOptimize(text.size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * arg.size());
}
BENCHMARK(BM_SubstituteDollarRich)
    ->Args({8000, 8002})
    ->Args({20000, 20002})
    ->Args({200000, 1000})
    ->Unit(benchmark::kMillisecond);

// Thousands of different keys in one argument, each used once.
static void BM_SubstituteManyKeys(benchmark::State& state)
{
    QStringList keys{QStringLiteral("$DataRoot$")}, values{QStringLiteral("/data")};
    QString arg;
    for (int i = 1; i <= state.range(0); ++i) {
        keys << QStringLiteral("$v%1$").arg(i);
        values << QString::number(i % 10);
        arg.prepend(QStringLiteral("$v%1$").arg(i));
    }
    KeyFinder finder;
    for (auto _ : state) {
        QString text = arg;
        benchmark::DoNotOptimize(substituteKeys(text, keys, values, finder, 1 << 22));
        benchmark::DoNotOptimize(text.size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * arg.size());
}
BENCHMARK(BM_SubstituteManyKeys)->Arg(1000)->Arg(30000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
