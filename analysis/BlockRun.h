#ifndef BLOCKRUN_H
#define BLOCKRUN_H

#include "analysis/AnalysisSnapshots.h"
#include "analysis/ElementAnalysis.h"
#include "analysis/LcfFit.h"
#include "analysis/ResidualAbsorption.h"
#include "core/AnalyzeCond.h"
#include "core/SuggestElm.h"
#include "core/TiffData.h"
#include "core/XafsSpectrum.h"
#include "mainwindow/BoxSpectrum.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// Everything a block of a 2-D run is analysed with, taken on the GUI thread
// when the run starts; workers read it and nothing else. Not copyable: conds
// points into the copies held here.
struct BlockRunInputs
{
    BlockRunInputs() = default;
    BlockRunInputs(const BlockRunInputs&) = delete;
    BlockRunInputs& operator=(const BlockRunInputs&) = delete;

    // Frames of the stacks, not owned: the run is stopped before they go.
    QVector<TiffData*> i1, i0;
    int xw = 0, yw = 0;
    // The dark frame is the run's own copy: the window may drop its own.
    std::unique_ptr<TiffData> dark;
    QVector<double> i1DarkAreaValues, i0DarkAreaValues;
    Spectrum totalI0;
    BoxSpectrumConds conds;
    // Points conds at the copies above; call once they are filled.
    void pointCondsHere(bool i1DarkArea, bool i0DarkArea, bool useTotalI0);

    int lineType = 1;
    SuggestElm sElm;

    bool lcf = false;
    LcfFit::Kind lcfKind = LcfFit::LCF;
    QVector<LcfRefSnapshot> refs;
    double sE0 = 0, eE0 = 0;

    bool dEdge = false;
    bool isMidPoint = true;
    double midRatio = 0.5;
    XafsSpectrum dEdgeRef;
    double cwRange = 0, cwInit = 0, cwMin = 0;

    bool elems = false;
    QVector<ElemRowSnapshot> elemRows;
    int mainT = 0;
    ElemBackground elemBg;
    // Per element row, for the correlation of its ratio with its standard.
    QVector<double> stdRatios;
    QVector<bool> elemUse;

    bool ra = false;
    double raFactor = 1, raAtEV = 0;

    // Works out what every block's spectrum shares (the frames' order,
    // pairing and alignment shifts as they are now); call once everything
    // above is filled. Blocks read the stacks through it from then on.
    void prepare();
    BoxSpectrum::StackPlan plan;
};

// What a worker reuses from block to block: the spectrum's storage and the
// references read at the blocks' energies. One per worker; not shared.
struct BlockScratch
{
    XafsSpectrum xs;
    LcfFit::Workspace lcf;
};

// A copy of a frame's pixels, size, energy and alignment shift, rows of its
// own (16-bit rows kept as plain arrays: the same values).
std::unique_ptr<TiffData> copyFrame(const TiffData& f);

// One block to analyse: its centre, its energy shift, and whether it starts
// a row of the walk.
struct BlockJob
{
    int x = 0, y = 0;
    double shift = 0;
    bool rowStart = false;
};

// What one block gives, for the analyses the inputs switch on.
struct BlockResult
{
    // The block's spectrum was flagged (E0 outside the window, noise above
    // the jump, a line not fitted): it shows no edge.
    bool flagged = false;
    bool outsideWindow = false;  // flagged only as its edge is not inside the window
    // The spectrum has no point (a box centred outside the image): no
    // analysis has a value, whatever the others say.
    bool noPoints = false;
    // The LCF gave fractions; the fit's own checks decide.
    bool lcfResult = false;
    LcfResult::Status lcfStatus = LcfResult::Skipped;
    QString lcfFailure;  // why the fit failed (Failed)
    QVector<int> lcfRows;
    QVector<double> fractions, amounts;
    double z = 0;
    double dEdge = 0;
    ElemsResult elems;
    bool corFound = false;  // a correlation could be formed
    double cor = 0;
    RaResult ra;
};

// The block's spectrum and every analysis switched on, as the panel's worker
// computes them for one spectrum, with a worker's scratch; the inputs must be
// prepared. Pure: safe on any thread.
void analyzeBlock(const BlockRunInputs& in, const BlockJob& job, BlockResult& out,
                  BlockScratch& scratch);

// Blocks of a grid on a pool of threads, a bounded number of chunks ahead of
// the recording; every result is handed to record on the owner's thread in
// the order of the walk. GUI thread only.
class BlockRunPool : public QObject
{
    Q_OBJECT

public:
    using Record = std::function<void(const BlockJob&, const BlockResult&)>;
    using ShiftAt = std::function<double(int x, int y)>;

    explicit BlockRunPool(QObject* parent = nullptr);
    // Stops and waits for the workers.
    ~BlockRunPool() override;

    // threads <= 0: the processors this process may run on. ended is called
    // once every block was recorded, not after stop().
    void start(std::shared_ptr<const BlockRunInputs> in, const AnalyzeCond& grid,
               const ShiftAt& shiftAt, const Record& record, const std::function<void()>& ended,
               int threads = 0);
    // Nothing is recorded after this returns; workers are waited for.
    void stop();
    bool running() const { return active; }
    // Processors this process may run on.
    static int usableThreads();

private:
    struct Chunk
    {
        std::vector<BlockJob> jobs;
        std::vector<BlockResult> results;
        bool ready = false;
    };
    bool fill(Chunk& c);
    void submit(int slot);
    void chunkDone(int slot, quint64 gen);

    QThreadPool pool;
    std::shared_ptr<const BlockRunInputs> inputs;
    std::shared_ptr<std::atomic<bool>> cancel;
    std::vector<Chunk> chunks;
    int next = 0;     // slot recorded next
    int inFlight = 0;
    AnalyzeCond walker;
    bool walkMore = false;
    bool active = false;
    quint64 generation = 0;
    ShiftAt shiftAt;
    Record record;
    std::function<void()> ended;
};

#endif
