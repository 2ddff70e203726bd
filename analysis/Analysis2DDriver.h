#ifndef ANALYSIS2DDRIVER_H
#define ANALYSIS2DDRIVER_H

#include <QObject>
#include <QVector>

#include "core/AnalyzeCond.h"

class Analyzed2DRes;
class Analyzer;
class Body;

// Runs the enabled analyses of the panel block by block over the current
// view of the I1 stack: one block in flight, recorded after the panel's
// finished, then the next. GUI thread only.
//
// Every block request carries a tag of its own; an answer with another tag
// (a request from before the run, from a stopped run, a re-analysis) is not
// recorded. Only the groups prepared at the start and asked for in the
// block's request are written, and LCF values go to the maps of the rows the
// fit itself used.
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
    // A batch command's start: completion 112 when its run ends (last block,
    // stop, or nothing left to send), or at once when no run starts or the
    // call stopped one.
    void startFromBatch();
    void stop2DAnalysis();
    void analyzeASpectrumFinished();
    void recordResForAPoint();
    void generateResImages();

signals:
    // A run stopped or finished, however it ended.
    void ended();

private:
    bool start(bool fromBatch);
    // False when the panel sent nothing for the block.
    bool analyzeAPoint(const AnalyzeCond& ac);
    void prepareMaps();
    void endRun();
    void recordLcf();
    // Background line of the block spectra: the calibration window's choice.
    int lineType() const;

    Body& body;
    Analyzer& panel;
    AnalyzeCond analyzeCond;
    // The groups whose maps this run prepared; only those are written.
    bool lcfOn = false, dEdgeOn = false, elemsOn = false, raOn = false;
    bool batchRun = false;
    // Never reset, so a tag is never reused across runs.
    int tag = 0;
    int expectedTag = -1;
    int requestKinds = 0;
    qint64 blocksDone = 0;
    int lcfRows = 0;       // reference rows when the LCF maps were prepared
    int elemRows = 0;      // element rows when the element maps were prepared
    int elemGen = -1;      // their generation: other rows mean other maps
    int lcfFailed = 0;     // blocks of this run whose fit failed
    bool noteUnprepared = true;
};

#endif
