#include "widgets/ChCoord.h"
#include "widgets/ColorBar.h"

#include "core/Globals.h"

#include <QApplication>

#include <benchmark/benchmark.h>

// Every redraw of an image pushes its range into the colour bar, which
// repaints its 600-row pixmap: this runs on each mouse move over the view.
static void BM_ColorBarRepaint(benchmark::State& state)
{
    ColorBar bar;
    bar.resize(20, 600);
    bar.lowerLimit = 0.2;
    bar.upperLimit = 0.8;
    double v = 0;
    for (auto _ : state) {
        bar.valueMax = ++v;
        bar.paintCBar();
    }
}
BENCHMARK(BM_ColorBarRepaint);

static void BM_TickValues(benchmark::State& state)
{
    double lo = 8900;
    for (auto _ : state) {
        lo += 0.37;
        benchmark::DoNotOptimize(ChCoord::tickValues(lo, lo + 513.7));
    }
}
BENCHMARK(BM_TickValues);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    initGlobals();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
