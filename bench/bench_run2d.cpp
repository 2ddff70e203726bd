#include "SynthStack.h"

#include "analysis/Analysis2DDriver.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/BlockRun.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "mainwindow/SelectDataFiles.h"
#include "widgets/ImgDispA.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextStream>

#include <memory>

#include <sys/resource.h>

// The whole block-by-block 2-D run of the main window (driver, worker and
// recording into the maps) over a stack made in memory: LCF against two
// references plus the edge shift. Arguments: image side, block half width.
namespace {

QString writeMu(const QTemporaryDir& dir, const QString& name, double (*mu)(double))
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text)) return QString();
    QTextStream out(&f);
    out.setRealNumberPrecision(12);
    out << "# E mu\n";
    for (double E = 8800; E <= 9400; E += 1) out << E << " " << mu(E) << "\n";
    return path;
}

// Hands the stack to the window; the window deletes the frames.
void load(Body& b, int side, int frames)
{
    benchstack::Stack s(side, side, frames);
    for (int k = 0; k < s.i1.size(); ++k) {
        s.i1[k]->file = QString("i1-%1.tif").arg(k);
        s.i0[k]->file = QString("i0-%1.tif").arg(k);
        b.i1Images.append(s.i1[k]);
        b.i0Images.append(s.i0[k]);
        b.SelectI1Files->Selected->addItem(s.i1[k]->file);
        b.SelectI0Files->Selected->addItem(s.i0[k]->file);
    }
    s.i1.clear();
    s.i0.clear();
    b.imageWidth = side;
    b.imageHeight = side;
    b.SeekBar->setMaximum(frames - 1);
    b.showData(0);
    b.UseSuggestElm->setChecked(false);
}

double processCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
           + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

}  // namespace

static void BM_Run2D(benchmark::State& state)
{
    const int side = int(state.range(0)), hw = int(state.range(1)), frames = 150;
    QTemporaryDir dir;
    Body b;
    load(b, side, frames);
    b.HWidth->setText(QString::number(hw));
    b.VWidth->setText(QString::number(hw));
    Analyzer* a = AnalysisOnBody::of(b)->analyzer();
    a->Sel2DA->setChecked(true);
    a->Sel2DAMLCFA->setChecked(true);
    a->Sel2DADEdgeA->setChecked(true);
    a->Sel2DAElemA->setChecked(false);
    a->Sel2DARAA->setChecked(false);
    a->setLCFStd(0, true, 0, writeMu(dir, "r1.dat", benchstack::mu1), "0");
    a->setLCFStd(1, true, 0, writeMu(dir, "r2.dat", benchstack::mu2), "0");
    a->setLCFRange(8900, 9100);
    AnalyzeCond ac;
    b.fillAnalyzeCond(ac);
    // CPU time of every thread of the process over the runs: on a shared
    // machine the fair figure beside the wall time.
    const double cpu0 = processCpuSeconds();
    for (auto _ : state) {
        QEventLoop loop;
        QObject::connect(AnalysisOnBody::of(b)->driver(), &Analysis2DDriver::ended, &loop,
                         &QEventLoop::quit);
        emit a->askAnalyze();
        if (b.analysis2DRunning) loop.exec();
    }
    state.counters["run_cpu_s"] = (processCpuSeconds() - cpu0) / double(state.iterations());
    state.counters["blocks"] = double(ac.blockCount());
    state.counters["blocks_per_s"] =
        benchmark::Counter(double(ac.blockCount()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Run2D)
    ->Args({64, 0})
    ->Args({128, 0})
    ->Args({512, 2})
    ->Args({512, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// One block's work as a pool worker does it, without any hand-off: the
// floor under the run's time per block on one core.
static void BM_AnalyzeBlock(benchmark::State& state)
{
    const int side = 64;
    benchstack::Stack s(side, side, 150);
    auto in = std::make_shared<BlockRunInputs>();
    in->i1 = s.i1;
    in->i0 = s.i0;
    in->conds.imageWidth = side;
    in->conds.imageHeight = side;
    in->conds.useI0 = true;
    in->pointCondsHere(false, false, false);
    in->sElm.useWindow = false;
    in->sElm.edgeEnergy = 9000;
    in->lcf = true;
    Spectrum r1, r2;
    for (double E = 8800; E <= 9400; E += 1) {
        r1.append(E, benchstack::mu1(E));
        r2.append(E, benchstack::mu2(E));
    }
    const XafsSpectrum x1(r1, "r1", 1, 0, in->sElm), x2(r2, "r2", 1, 0, in->sElm);
    in->refs = {LcfRefSnapshot::of(x1, true, 0), LcfRefSnapshot::of(x2, true, 0), LcfRefSnapshot(),
                LcfRefSnapshot()};
    in->sE0 = 8900;
    in->eE0 = 9100;
    in->dEdge = true;
    in->prepare();
    BlockResult out;
    BlockScratch scratch;
    BlockJob job;
    int k = 0;
    for (auto _ : state) {
        job.x = k % side;
        job.y = (k / side) % side;
        ++k;
        analyzeBlock(*in, job, out, scratch);
        benchmark::DoNotOptimize(out.z);
    }
}
BENCHMARK(BM_AnalyzeBlock)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    initGlobals();
    initColorTables();
    installAnalysisOnBody();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
