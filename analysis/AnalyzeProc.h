#ifndef ANALYZEPROC_H
#define ANALYZEPROC_H

#include <QObject>
#include <QVector>
#include <atomic>

#include "analysis/AnalysisSnapshots.h"
#include "analysis/ElementAnalysis.h"
#include "analysis/LcfFit.h"
#include "analysis/ResidualAbsorption.h"
#include "core/SuggestElm.h"
#include "core/XafsSpectrum.h"

// The per-spectrum analyses, run on a thread of their own. Requests arrive by
// queued signals carrying the spectrum and value snapshots of the rows and
// forms; every answer carries its results by value before the plain
// finished() / finishedAElems() that the panel counts. The member results
// below are the worker's own: the GUI thread takes the copies the answers
// carry, never these.
class AnalyzeProc : public QObject
{
    Q_OBJECT
public:
    explicit AnalyzeProc(QObject* parent = nullptr);

    // Makes the request and answer types known to queued connections.
    static void registerTypes();

    // A 2-D run is under way: the fits leave the rows' fractions alone. Set
    // from the GUI thread while the worker reads it.
    std::atomic<bool> contAccess{false};
    double z = 0;
    double dEdge = 0;
    QVector<double> fractions;
    QVector<double> amounts;
    ElemsResult elems;  // the seven per-row vectors and the raw edge steps
    bool lcfOld = false;
    double raJump = 0;
    double raScaledJump = 0;
    double raRest = 0;

signals:
    void finished();
    void finishedAElems();
    void newZ(double z);
    void newDEdge(double dEdge);
    // The fit's outcome, sent before its newZ / finished. With status Fitted
    // and reportToRows set, rows[i] shows fractions[i] and amounts[i] (the
    // rows' displays follow outside a 2-D run only); `fitted` is the curve
    // for the panel's resSpectrum. Skipped and ZeroJump carry the worker's
    // fractions and amounts as they now stand; Failed carries zeros and its
    // reason, without newZ.
    void newLcfResult(LcfResult result, bool reportToRows);
    void newElemsResult(ElemsResult result);
    void newRaResult(RaResult result);

public slots:
    void setContAccess(bool f);
    void analyzeSpectrum0(XafsSpectrum s, QVector<LcfRefSnapshot> refs, bool isMLCF, double sE0,
                          double eE0, SuggestElm sElm);
    void analyzeSpectrumByLCF(XafsSpectrum s, QVector<LcfRefSnapshot> refs, double sE0,
                              double eE0, SuggestElm sElm);
    void analyzeSpectrumByLCF_Old(XafsSpectrum s, QVector<LcfRefSnapshot> refs, double sE0,
                                  double eE0, SuggestElm sElm);
    void analyzeSpectrumByMLCF(XafsSpectrum s, QVector<LcfRefSnapshot> refs, double sE0,
                               double eE0, SuggestElm sElm);
    void analyzeSpectrumDEdge0(XafsSpectrum s, SuggestElm sElm, bool isMidPoint,
                               double midRatio, XafsSpectrum ref, double cwRangeEV,
                               double cwInitDEeV, double cwMinDEeV);
    void analyzeSpectrumElems0(XafsSpectrum s, QVector<ElemRowSnapshot> elems, int mainT,
                               ElemBackground bg);
    void analyzeSpectrumRA(XafsSpectrum s, double raFactor, double atEV);
    void setLcfOld(bool f);

private:
    void runFit(LcfFit::Kind kind, const XafsSpectrum& s, const QVector<LcfRefSnapshot>& refs,
                double sE0, double eE0, const SuggestElm& sElm);
};

#endif
