#include "BlockRun.h"

#include "analysis/EdgeShift.h"

#include <QMetaObject>
#include <QThread>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <sched.h>
#endif

namespace {

// Enough blocks that a chunk's hand-off costs little against its work, few
// enough that progress and a stop follow quickly.
const int chunkBlocks = 128;

}  // namespace

void BlockRunInputs::pointCondsHere(bool i1DarkArea, bool i0DarkArea, bool useTotalI0)
{
    conds.dark = dark.get();
    conds.i1DarkAreaValues = i1DarkArea ? &i1DarkAreaValues : nullptr;
    conds.i0DarkAreaValues = i0DarkArea ? &i0DarkAreaValues : nullptr;
    conds.totalI0 = useTotalI0 ? &totalI0 : nullptr;
}

std::unique_ptr<TiffData> copyFrame(const TiffData& f)
{
    auto c = std::make_unique<TiffData>();
    c->width = f.width;
    c->height = f.height;
    c->energy = f.energy;
    c->shiftX = f.shiftX;
    c->shiftY = f.shiftY;
    c->exposureMs = f.exposureMs;
    c->min = f.min;
    c->max = f.max;
    c->pixelType = f.pixelType == TiffData::TiffUInt16 ? TiffData::UInt16 : f.pixelType;
    const size_t w = f.width;
    for (void* row : f.rows) {
        void* copy = nullptr;
        switch (f.pixelType) {
        case TiffData::TiffUInt16:
        case TiffData::UInt16: copy = std::copy_n(static_cast<const uint16_t*>(row), w, new uint16_t[w]) - w; break;
        case TiffData::UInt32: copy = std::copy_n(static_cast<const uint32_t*>(row), w, new uint32_t[w]) - w; break;
        case TiffData::Float32: copy = std::copy_n(static_cast<const float*>(row), w, new float[w]) - w; break;
        default: break;
        }
        if (copy) c->rows.append(copy);
    }
    if (c->rows.size() != f.rows.size()) c->rows.clear();
    return c;
}

void BlockRunInputs::prepare()
{
    plan = BoxSpectrum::StackPlan(i1, i0, conds);
}

void analyzeBlock(const BlockRunInputs& in, const BlockJob& job, BlockResult& out,
                  BlockScratch& scratch)
{
    XafsSpectrum& xs = scratch.xs;
    in.plan.xafs(job.x, job.y, in.xw, in.yw, xs);
    xs.renew(QStringLiteral("Body-AaP"), in.lineType, job.shift, in.sElm);
    out.flagged = xs.outOfRange || xs.noisy;
    out.outsideWindow = xs.outOfRange && !xs.noisy;
    out.noPoints = xs.points.isEmpty();
    if (in.lcf) {
        const LcfResult r =
            LcfFit::fit(in.lcfKind, xs, in.refs, in.sE0, in.eE0, in.sElm, false, &scratch.lcf);
        out.lcfStatus = r.status;
        out.lcfResult = r.status == LcfResult::Fitted && !out.noPoints;
        out.lcfFailure = r.failure;
        out.lcfRows = r.rows;
        out.fractions = r.fractions;
        out.amounts = r.amounts;
        out.z = r.z;
    }
    if (in.dEdge)
        out.dEdge = EdgeShift::dEdge(xs, in.sElm, in.isMidPoint, in.midRatio, in.dEdgeRef,
                                     0.5 * in.cwRange, in.cwInit, in.cwMin);
    if (in.elems) {
        out.elems = ElementAnalysis::analyze(xs, in.elemRows, in.mainT, in.elemBg);
        out.corFound = false;
        out.cor = 0;
        const QVector<double>& ratios = out.elems.kinds[ElemKindN];
        if (ratios.size() == in.stdRatios.size() && ratios.size() > 0) {
            double c = 0;
            out.corFound = ElementAnalysis::correlation(ratios, in.stdRatios, in.elemUse, c);
            if (out.corFound) out.cor = c;
        }
    }
    if (in.ra) out.ra = ResidualAbsorption::compute(xs, in.raFactor, in.raAtEV);
}

BlockRunPool::BlockRunPool(QObject* parent) : QObject(parent) {}

BlockRunPool::~BlockRunPool()
{
    stop();
}

int BlockRunPool::usableThreads()
{
#ifdef Q_OS_LINUX
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
#endif
    return std::max(1, QThread::idealThreadCount());
}

void BlockRunPool::start(std::shared_ptr<const BlockRunInputs> in, const AnalyzeCond& grid,
                         const ShiftAt& shift, const Record& rec, const std::function<void()>& end,
                         int threads)
{
    stop();
    inputs = std::move(in);
    shiftAt = shift;
    record = rec;
    ended = end;
    cancel = std::make_shared<std::atomic<bool>>(false);
    const int n = threads > 0 ? threads : usableThreads();
    pool.setMaxThreadCount(n);
    walker = grid;
    walker.rowStart = true;
    walkMore = true;
    active = true;
    next = 0;
    inFlight = 0;
    // Twice the threads: a worker finds the next chunk waiting while the
    // owner records the last one.
    chunks.assign(size_t(2 * n + 1), Chunk());
    for (int s = 0; s < int(chunks.size()) && fill(chunks[size_t(s)]); ++s) submit(s);
    if (inFlight == 0) {
        active = false;
        if (ended) ended();
    }
}

bool BlockRunPool::fill(Chunk& c)
{
    c.jobs.clear();
    c.ready = false;
    while (walkMore && int(c.jobs.size()) < chunkBlocks) {
        BlockJob j;
        j.x = walker.curX;
        j.y = walker.curY;
        j.rowStart = walker.rowStart;
        j.shift = shiftAt ? shiftAt(j.x, j.y) : 0.0;
        c.jobs.push_back(j);
        walkMore = walker.next();
    }
    c.results.resize(c.jobs.size());
    return !c.jobs.empty();
}

void BlockRunPool::submit(int slot)
{
    ++inFlight;
    Chunk* c = &chunks[size_t(slot)];
    const std::shared_ptr<const BlockRunInputs> in = inputs;
    const std::shared_ptr<std::atomic<bool>> stopFlag = cancel;
    const quint64 gen = generation;
    pool.start([this, c, in, stopFlag, slot, gen] {
        BlockScratch scratch;
        for (size_t k = 0; k < c->jobs.size(); ++k) {
            if (stopFlag->load(std::memory_order_relaxed)) return;
            analyzeBlock(*in, c->jobs[k], c->results[k], scratch);
        }
        QMetaObject::invokeMethod(this, [this, slot, gen] { chunkDone(slot, gen); },
                                  Qt::QueuedConnection);
    });
}

void BlockRunPool::chunkDone(int slot, quint64 gen)
{
    if (gen != generation || !active) return;
    chunks[size_t(slot)].ready = true;
    while (active && chunks[size_t(next)].ready) {
        Chunk& c = chunks[size_t(next)];
        --inFlight;
        for (size_t k = 0; k < c.jobs.size() && active; ++k) record(c.jobs[k], c.results[k]);
        if (!active) return;  // stopped from within record
        if (fill(c)) submit(next);
        next = (next + 1) % int(chunks.size());
    }
    if (active && inFlight == 0) {
        active = false;
        if (ended) ended();
    }
}

void BlockRunPool::stop()
{
    if (cancel) cancel->store(true);
    ++generation;
    active = false;
    pool.waitForDone();
}
