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
    // A call during a run stops it. Whenever no run is under way on return,
    // the batch completion 112 is emitted at once.
    void start2DAnalysis();
    void stop2DAnalysis();
    void analyzeASpectrumFinished();
    void recordResForAPoint();
    void generateResImages();

private:
    void analyzeAPoint(const AnalyzeCond& ac);
    void prepareMaps();
    void endRun();
    // Background line of the block spectra: the calibration window's choice.
    int lineType() const;

    Body& body;
    Analyzer& panel;
    AnalyzeCond analyzeCond;
    // The groups whose maps this run prepared; only those are written.
    bool lcfOn = false, dEdgeOn = false, elemsOn = false, raOn = false;
};

#endif
