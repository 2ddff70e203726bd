#ifndef ANALYZER_H
#define ANALYZER_H

#include "analysis/AnalysisSnapshots.h"
#include "analysis/ElementAnalysis.h"
#include "analysis/LcfFit.h"
#include "analysis/ResidualAbsorption.h"
#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/SuggestElm.h"
#include "core/XafsSpectrum.h"
#include "widgets/LazyFileDialog.h"
#include "widgets/FDGroup.h"

#include "ui_Analyzer.h"

#include <QFrame>
#include <QQueue>
#include <QString>
#include <QVector>

#include <functional>

class AnalyzeProc;
class ElemCtrl;
class ElemList;
class LCFReference;
class QButtonGroup;
class QCloseEvent;
class QThread;
class SpecPane;
struct EMPHeader;

// The analysis panel: what a 2-D analysis computes and with which conditions,
// which result map the main window shows, and the map processing. Owns the
// reference rows, the element rows, its own result maps, the spectrum window
// and the worker with its thread. GUI thread only; the worker is reached by
// queued requests that carry value snapshots, and its answers carry their
// results by value.
//
// The owner must connect askAnalyzeCond and loadMap directly (same thread):
// the panel reads the object it passed as soon as the emit returns.
class Analyzer : public QFrame, public Ui_Analyzer
{
    Q_OBJECT

public:
    explicit Analyzer(QWidget* parent = nullptr);
    // Stops the worker's thread and waits for it before the worker is deleted.
    ~Analyzer() override;

    SpecPane* specPane = nullptr;
    SuggestElm sElm;
    QButtonGroup* refGroup = nullptr;
    QVector<LCFReference*> lcfRefs;
    FDGroup fdGroup;
    XafsSpectrum lastSpectrum;
    XafsSpectrum resSpectrum;
    Analyzed2DRes zansaMap{QStringLiteral("a2d Zansa")};
    Analyzed2DRes dEdgeMap{QStringLiteral("a2d dEdge")};
    bool contAccess = false;
    QThread* analyzeThread = nullptr;
    AnalyzeProc* analyzeProc = nullptr;
    // Answers still to come for every spectrum sent and not yet finished.
    int pending = 0;
    // The analyses a request can ask for, as bits of the mask analyzeSpectrum
    // returns and finishedKinds holds.
    enum Kind { LcfKind = 1, DEdgeKind = 2, ElemsKind = 4, RaKind = 8 };
    // Tag and analyses of the request whose answers are complete, valid while
    // finished() is being delivered: a 2-D run records only its own block.
    int finishedTag = 0;
    int finishedKinds = 0;
    Analyzed2DRes dMutMap{QStringLiteral("a2d DMut")};
    Analyzed2DRes restMap{QStringLiteral("a2d Rest")};
    Analyzed2DRes ratiMap{QStringLiteral("a2d Rati")};
    double raFactor = 1.0;
    double raAtEV = 8200;
    int mapsPerRef = 2;
    ElemList* elems = nullptr;  // the element rows and their two button groups
    QVector<double> elemRes;    // raw edge step of every element row, last answer
    double cor = 0;
    double corTh = 0.9;
    bool corAboveTh = false;
    Analyzed2DRes elemsCorMap{QStringLiteral("a2d ElemsCor")};
    Analyzed2DRes elemsCorThMap{QStringLiteral("a2d ElemsCorTh")};
    bool updatingCor = false;
    QButtonGroup* mainModeGroup = nullptr;
    Analyzed2DRes sumUpMap{QStringLiteral("Sum Up Img")};
    Analyzed2DRes processedMap{QStringLiteral("Processed Map")};
    Analyzed2DRes map1{QStringLiteral("E-Shift Map 1")};
    Analyzed2DRes map2{QStringLiteral("E-Shift Map 2")};
    LazyFileDialog eShiftMapDialog1;
    LazyFileDialog eShiftMapDialog2;
    XafsSpectrum dEdgeRef;
    QString dEdgeRefFile;  // the file dEdgeRef was last read from
    // The file's spectrum kept apart: a run with "Step at" puts its step into
    // dEdgeRef, and choosing "File" again must compare with the file.
    XafsSpectrum dEdgeFileRef;
    bool isMidPoint = true;
    double midRatio = 0.5, cwRangeEV = 20, cwInitDEeV = 1, cwMinDEeV = 0.1;

    // The last answer of each analysis, taken on the GUI thread when it
    // arrived; what a 2-D run records after finished().
    LcfResult lastLcf;
    double lastZ = 0;
    double lastDEdge = 0;
    ElemsResult lastElems;
    RaResult lastRa;

    QVector<ElemCtrl*> elemCtrls() const;
    // One element answer shown in the rows, and its correlation in the
    // panel; a 2-D run shows its last block's so.
    void showElemsAnswer(const ElemsResult& r);
    QButtonGroup* mainTargetGroup() const;
    QButtonGroup* elemShowGroup() const;

    void setDEdgeMode(int m);
    void setDEdgeCompTarget(int t);
    void selectAnalysisMode(int id);
    void setMainMode(int m);
    void setSubMode(int group, int kind, bool on);
    void selectImageType(int t);
    int selectedImageType() const;
    Analyzed2DRes* selectedMap();
    // The energies of the stack a 2-D run analyses; empty, or unset, when
    // none is loaded.
    std::function<QVector<double>()> stackEnergies;
    // Why reference row `row`, in use, does not reach over the stack's
    // energies in the LCF range in force now; empty when it does, or when
    // there is no stack to judge it by. A run judges its rows by this when it
    // starts: only that verdict counts.
    QString lcfCoverageProblem(int row) const;
    QStringList lcfCoverageProblems() const;
    // At a row's load: says (through said, not counted) that it does not
    // cover the range in force now; the LCF range may still change.
    void noteLcfCoverage(int row);

    // Builds the generated unit step of the comparison mode into dEdgeRef.
    // False (dEdgeRef kept) when the width or spacing gives no sound grid.
    bool prepareDEdgeRef();

signals:
    void askAnalyze();
    void analyzeSpectrum0(XafsSpectrum s, QVector<LcfRefSnapshot> refs, bool isMLCF, double sE0,
                          double eE0, SuggestElm sElm);
    void analyzeSpectrumDEdge0(XafsSpectrum s, SuggestElm sElm, bool isMidPoint, double midRatio,
                               XafsSpectrum ref, double cwRangeEV, double cwInitDEeV,
                               double cwMinDEeV);
    void finished();
    void analyzeSpectrumElems0(XafsSpectrum s, QVector<ElemRowSnapshot> elems, int mainT,
                               ElemBackground bg);
    void analyzeSpectrumRA(XafsSpectrum s, double raFactor, double atEV);
    void changedSelection();
    void setNewCorrelation(double cor);
    void askSumUp();
    void loadMap(QString fname, Analyzed2DRes& map, EMPHeader& empH);
    void askAnalyzeCond(AnalyzeCond& ac);
    // A file, a setting or a change the panel did not take, and why.
    void refused(const QString& why);
    // Worth the user's notice, but no failure.
    void said(const QString& text);

private slots:
    void addNewRef();
    void analyze2DFinished();
    void analyze2DElemsFinished();
    void selectedNewRef(int i);
    void scalePolicyChanged(bool f);
    void scaleChanged();
    void selectedImgChanged(bool);
    void newElems();
    void setElemsStd();
    void calcCorrelation();
    void recalcCorMap();
    void newCorTh();
    void setCorrelation(double cor);
    void processMaps();
    void captureAsMap1();
    void captureAsMap2();
    void noticedNewZ(double z);
    void noticedNewDEdge(double dEdge);
    void toggledDEdgeCompWith(bool f);
    void toggledCWFile(bool f);
    void selectedNewDEdgeCWFile(QString fname);
    void clearedDEdgeCWFile();
    void takeDEdgeSearch();
    void takeLcfResult(LcfResult r, bool reportToRows);
    void takeElemsResult(ElemsResult r);
    void takeRaResult(RaResult r);

public slots:
    void show();
    void setContAccess(bool f);
    void setLCFMode(int f);
    void setLCFAsOld(bool f);
    void setLCFRange(double fromEV, double toEV);
    void analyzeAndShowSpectrum(XafsSpectrum s, SuggestElm sElm);
    void initAnalyzeSpectrum();
    // Sends s to every enabled analysis; tag comes back as finishedTag with
    // the finished() of this request. Returns the analyses asked for, 0 when
    // none (no finished() will come).
    int analyzeSpectrum(XafsSpectrum& s, SuggestElm sElm, int tag = 0);
    void reAnalyzeSpectrum();
    void setProgress(double perCent);
    // False when the row's file could not be read, or its energies do not
    // reach over the stack's in the LCF range (either said through refused);
    // a row index out of range changes nothing.
    bool setLCFStd(int no, bool use, double dE, QString fname, QString isVic);
    void selectImage(int id);
    void setRaEnergy(double eng);
    void setRaFactor(double factor);
    void setFixedScale(bool f);
    void setDMutScaleMax(double max);
    void setDMutScaleMin(double min);
    void setRatioScaleMax(double max);
    void setRatioScaleMin(double min);
    void setNormalize(bool f);
    void setEnergyCorrection(bool f);
    void setTargetElements(QString elements);
    // The element-map kind shown: 0 dmut, 1 normalised dmut, 2 correlation,
    // 3 correlation over the threshold, 4 mu+, 5 mu-, 6 dE, 7 ROI, 8 NROI.
    // Any id answers with changedSelection.
    void selectElemsDispMode(int id);
    // The kinds above, numbered 0 .. elemsDispModes() - 1.
    int elemsDispModes() const;
    // Takes effect with the next element list.
    void setSortByAN(bool on);
    void setElemsDE(double dE);
    void setElemNoNeg(const QString& name, bool on);
    void setElemThDMut(const QString& name, double th);
    void setElemROI(const QString& name, double from, double to);
    void setElemUse(const QString& key, bool on);
    void setElemShow(const QString& key);
    void setElemMainTarget(const QString& key);
    void setCorrelationThreshold(double th);
    void loadEShiftMap1(QString fname);
    void loadEShiftMap2(QString fname);

protected:
    void closeEvent(QCloseEvent*) override {}

private:
    // Answers arrive in the order the requests left: one entry per analysed
    // spectrum with the answers it still waits for, oldest first.
    struct Request
    {
        int left;
        int tag;
        int kinds;
    };
    QQueue<Request> batches;
    // The element list as last built, put back when an edit is refused.
    QString elemNamesText;
    // Generation of the element rows each element request was made for.
    QQueue<int> elemGens;
    QButtonGroup* elemDispGroup = nullptr;
    // setLCFStd judges the row once its shift is set, not at its file's load.
    bool settingStd = false;

    // A field as a number; text that does not parse reads as 0.
    static double numberOf(const QLineEdit* e);
    void setupElemsConnections();
    void setupProcessMapsUi();
    void answered();
    // Puts a copy of s as further spectrum k of the view (0 the fit curve,
    // 1 + i reference row i).
    void showOther(int k, const XafsSpectrum& s);
    void limits(Analyzed2DRes* m, bool ratio);
    void loadEShiftMap(const QString& fname, Analyzed2DRes& map, QLineEdit* nameField);
    void captureAs(Analyzed2DRes& map, QLineEdit* nameField);
};

#endif
