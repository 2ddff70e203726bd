#ifndef ANALYSIS2DDRIVER_H
#define ANALYSIS2DDRIVER_H

#include <QObject>
#include <QVector>

#include "analysis/Analysis2DRecord.h"
#include "analysis/ElementAnalysis.h"
#include "core/AnalyzeCond.h"

#include <functional>
#include <memory>
#include <vector>

class Analyzed2DRes;
class Analyzer;
class Body;
class BlockRunPool;
struct BlockJob;
struct BlockResult;
struct BlockRunInputs;
class TiffData;

// Runs the enabled analyses of the panel block by block over the current
// view of the I1 stack. The blocks are computed on a pool of threads from
// what the panel, its rows and the window hold when the run starts (edits of
// references or of the frames' alignment during a run take effect at the
// next run); every block is
// recorded here, on the GUI thread, in the order of the walk. GUI thread only.
//
// Only the groups prepared at the start whose boxes are still checked when a
// block is recorded are written; a block recorded while the panel would ask
// for nothing (map processing chosen, every analysis unchecked) ends the run.
// LCF values go to the maps of the rows the fit itself used.
class Analysis2DDriver : public QObject
{
    Q_OBJECT

public:
    Analysis2DDriver(Body& body, Analyzer& panel, QObject* parent = nullptr);

    bool running() const;
    const AnalyzeCond& cond() const { return analyzeCond; }

    QVector<Analyzed2DRes*> lcfRefMaps;
    QVector<Analyzed2DRes*> elemMaps;
    Analyzed2DRes* raDMutMap = nullptr;
    Analyzed2DRes* raRestMap = nullptr;
    Analyzed2DRes* raRatiMap = nullptr;

public slots:
    // The button's start: a call during a run stops it. Sends no batch
    // completion.
    void start2DAnalysis();
    void stop2DAnalysis();
    void generateResImages();

public:
    // A batch command's start: completion 112 when its run ends (last block,
    // stop, or nothing left to send), or at once when no run starts or the
    // call stopped one. Reference rows that do not cover the run's range
    // are handed to refusal (counted there), when given.
    void startFromBatch(const std::function<void(const QString&)>& refusal = nullptr);
    // Threads of the pool; 0 (the default) uses every processor the program
    // may run on.
    void setThreads(int n) { threads = n; }

signals:
    // A run stopped or finished, however it ended.
    void ended();
    // Another block was written into the maps; blocks counts this run's.
    void blockRecorded(qint64 blocks);

private:
    enum class Start { Started, Stopped, Refused };
    Start start(bool fromBatch, const std::function<void(const QString&)>& refusal = nullptr);
    // Empty when a run can start now; otherwise why not. Builds the step
    // reference when the comparison asks for one.
    QString startProblem();
    // The edge energy the edge-shift analysis measures from, when it lies
    // farther outside the stack's energies than any shift can be; else empty.
    QString edgeOutsideStack();
    // A loaded energy-shift map of another size than the frames reaches only
    // part of the image; empty when it fits or none is loaded.
    QString shiftMapMisfit() const;
    std::shared_ptr<BlockRunInputs> takeInputs();
    void prepareMaps();
    void endRun();
    void record(const BlockJob& job, const BlockResult& res);
    void recordLcf(const BlockResult& res, const AnalyzeCond& ac);
    void finished();
    // The stacks are about to be freed: the workers must be done with them.
    void framesFreeing(const QVector<TiffData*>& frames);
    // Whether the block gave the edge shift and the residual absorption a
    // value, and the element analysis.
    static bool edgeResult(const BlockResult& r);
    static bool elemsResult(const BlockResult& r);
    // Background line of the block spectra: the calibration window's choice.
    int lineType() const;

    Body& body;
    Analyzer& panel;
    AnalyzeCond analyzeCond;
    // The groups whose maps this run prepared; only those are written.
    bool lcfOn = false, dEdgeOn = false, elemsOn = false, raOn = false;
    bool batchRun = false;
    BlockRunPool* pool = nullptr;
    int threads = 0;
    qint64 blocksDone = 0;
    double lastZ = 0, lastDEdge = 0;
    // The element values of the last block recorded, shown in the rows when
    // the run ends (empty: none recorded).
    ElemsResult lastElems;
    int lcfRows = 0;       // reference rows when the LCF maps were prepared
    int elemRows = 0;      // element rows when the element maps were prepared
    int elemGen = -1;      // their generation: other rows mean other maps
    int lcfFailed = 0;     // blocks of this run whose fit failed
    qint64 blocksWithResult = 0;  // blocks that gave any analysis a value
    qint64 lcfBlocks = 0;  // blocks whose LCF was recorded
    qint64 lcfFitted = 0;  // of them, fitted
    QString lcfWhy;        // why the first of the others was not
    NoResultTally noResult;  // why blocks gave no analysis a value
    AnalysisTallies perAnalysis;  // why blocks gave one analysis no value
    // Per block recorded, in the walk's order: its residual maps hold 0, as
    // its spectrum showed no edge.
    std::vector<bool> raNoEdge;
    bool noteUnprepared = true;
};

#endif
