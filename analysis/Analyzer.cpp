#include "Analyzer.h"

#include "analysis/AElemsConds.h"
#include "analysis/AnalyzeProc.h"
#include "analysis/EdgeShift.h"
#include "analysis/ElemCtrl.h"
#include "analysis/ElemList.h"
#include "analysis/FieldText.h"
#include "analysis/LCFReference.h"
#include "widgets/EShiftMapDialog.h"
#include "widgets/FieldWidth.h"
#include "widgets/SpecPane.h"
#include "widgets/XafsFileSelect.h"

#include <QButtonGroup>
#include <QDebug>
#include <QGridLayout>
#include <QThread>

#include <cmath>

namespace
{
SuggestElm defaultSuggestion()
{
    SuggestElm s;
    s.useWindow = false;
    s.Z = 29;
    s.edge = 0;
    s.edgeEnergy = 8984.36029;
    s.preOffset = -20.0;
    s.postOffset = 20.0;
    s.noiseFactor = 1.0;
    return s;
}
}  // namespace

Analyzer::Analyzer(QWidget* parent)
    : QFrame(parent), sElm(defaultSuggestion()), eShiftMapDialog1(LazyFileDialog::Step(), [] { return new EShiftMapDialog(QString()); }),
      eShiftMapDialog2(LazyFileDialog::Step(), [] { return new EShiftMapDialog(QString()); })
{
    AnalyzeProc::registerTypes();
    setupUi(this);
    widenFields(this);
    updatingCor = false;
    sElm = defaultSuggestion();

    mainModeGroup = new QButtonGroup;
    mainModeGroup->addButton(Sel2DA);
    mainModeGroup->addButton(SelProcMaps);
    Sel2DA->setChecked(true);

    specPane = new SpecPane;
    specPane->setWindowTitle(tr("Analyzing Spectrum"));
    showOther(0, resSpectrum);
    specPane->pens.append(QPen(QColor(255, 128, 192), 2));

    refGroup = new QButtonGroup;
    refGroup->setExclusive(true);
    for (int i = 0; i < 4; ++i) addNewRef();

    analyzeThread = new QThread;
    analyzeProc = new AnalyzeProc;
    analyzeProc->moveToThread(analyzeThread);
    analyzeThread->start(QThread::InheritPriority);
    contAccess = false;

    const int n = lcfRefs.size();
    refGroup->addButton(ShowDEdge, n);
    refGroup->addButton(ShowZ, n + 1);
    refGroup->addButton(ShowResElemsA, n + 2);
    refGroup->addButton(ShowDMuT, n + 3);
    refGroup->addButton(ShowRest, n + 4);
    refGroup->addButton(ShowRatio, n + 5);
    refGroup->addButton(SelSumUp, n + 6);
    ShowDEdge->setChecked(true);
    // Messages name the maps as analyzer_select_image numbers them.
    const auto image = [](int id, const QString& what) {
        return tr("the map of image %1 (%2)").arg(QString::number(id), what);
    };
    dEdgeMap.title = image(n, tr("edge shift"));
    zansaMap.title = image(n + 1, tr("LCF residual"));
    dMutMap.title = image(n + 3, tr("residual-absorption jump"));
    restMap.title = image(n + 4, tr("rest"));
    ratiMap.title = image(n + 5, tr("ratio"));
    sumUpMap.title = image(n + 6, tr("sum-up image"));
    elemsCorMap.title = tr("the element correlation map (display mode 2)");
    elemsCorThMap.title = tr("the thresholded element correlation map (display mode 3)");
    map1.title = tr("Map1 of the map processing");
    map2.title = tr("Map2 of the map processing");
    processedMap.title = tr("the processed map");

    auto* imageTypeGroup = new QButtonGroup(this);
    imageTypeGroup->addButton(SelRatio);
    imageTypeGroup->addButton(SelDMut);

    connect(AddRef, SIGNAL(clicked()), this, SLOT(addNewRef()));
    connect(ShowView, &QPushButton::clicked, specPane, &SpecPane::show);
    connect(AskAnalyze, &QPushButton::clicked, this, &Analyzer::askAnalyze);
    connect(AskSumUp, &QPushButton::clicked, this, &Analyzer::askSumUp);
    connect(this, &Analyzer::analyzeSpectrum0, analyzeProc, &AnalyzeProc::analyzeSpectrum0);
    connect(this, &Analyzer::analyzeSpectrumDEdge0, analyzeProc,
            &AnalyzeProc::analyzeSpectrumDEdge0);
    connect(this, &Analyzer::analyzeSpectrumElems0, analyzeProc,
            &AnalyzeProc::analyzeSpectrumElems0);
    connect(this, &Analyzer::analyzeSpectrumRA, analyzeProc, &AnalyzeProc::analyzeSpectrumRA);
    // The value answers precede the plain ones they belong to, in one queue.
    connect(analyzeProc, &AnalyzeProc::newLcfResult, this, &Analyzer::takeLcfResult);
    connect(analyzeProc, &AnalyzeProc::newElemsResult, this, &Analyzer::takeElemsResult);
    connect(analyzeProc, &AnalyzeProc::newRaResult, this, &Analyzer::takeRaResult);
    connect(analyzeProc, &AnalyzeProc::finished, this, &Analyzer::analyze2DFinished);
    connect(analyzeProc, &AnalyzeProc::finishedAElems, this, &Analyzer::analyze2DElemsFinished);
    connect(analyzeProc, &AnalyzeProc::newZ, this, &Analyzer::noticedNewZ);
    connect(analyzeProc, &AnalyzeProc::newDEdge, this, &Analyzer::noticedNewDEdge);
    connect(refGroup, SIGNAL(buttonClicked(int)), this, SLOT(selectedNewRef(int)));
    connect(SelRatio, &QRadioButton::toggled, this, &Analyzer::selectedImgChanged);
    connect(FixedScale, &QCheckBox::toggled, this, &Analyzer::scalePolicyChanged);
    connect(DMutScaleMax, &QLineEdit::editingFinished, this, &Analyzer::scaleChanged);
    connect(DMutScaleMin, &QLineEdit::editingFinished, this, &Analyzer::scaleChanged);
    connect(RatioScaleMax, &QLineEdit::editingFinished, this, &Analyzer::scaleChanged);
    connect(RatioScaleMin, &QLineEdit::editingFinished, this, &Analyzer::scaleChanged);
    connect(AsOldLCF, &QCheckBox::toggled, analyzeProc, &AnalyzeProc::setLcfOld);

    auto* dEdgeModeGroup = new QButtonGroup(this);
    dEdgeModeGroup->addButton(DEdgeMidPoint);
    dEdgeModeGroup->addButton(DEdgeCompWith);
    DEdgeMidPoint->setChecked(true);
    DEdgeCWSelectBox->setEnabled(true);
    connect(DEdgeCompWith, &QRadioButton::toggled, this, &Analyzer::toggledDEdgeCompWith);

    takeDEdgeSearch();
    for (QLineEdit* e : {DEdgeCWFullRangeEV, DEdgeCWInitDEeV, DEdgeCWMinDEeV})
        connect(e, &QLineEdit::editingFinished, this, &Analyzer::takeDEdgeSearch);
    midRatio = numberOf(DEdgeMidRatio);

    auto* cwTargetGroup = new QButtonGroup(this);
    cwTargetGroup->addButton(DEdgeCWFile);
    cwTargetGroup->addButton(DEdgeCWStep);
    DEdgeCWFile->setChecked(true);
    connect(DEdgeCWFile, &QRadioButton::toggled, this, &Analyzer::toggledCWFile);
    connect(DEdgeCWFileSelect, &XafsFileSelect::newFile, this, &Analyzer::selectedNewDEdgeCWFile);
    connect(DEdgeCWFileSelect->Clear, &QPushButton::clicked, DEdgeCWFileSelect, &XafsFileSelect::clear);
    connect(DEdgeCWFileSelect, &XafsFileSelect::cleared, this, &Analyzer::clearedDEdgeCWFile);

    setupElemsConnections();
    setupProcessMapsUi();
}

Analyzer::~Analyzer()
{
    // The form outlives this part of the panel: a field that loses its focus
    // while the form goes must not reach the slots here.
    for (QObject* c : findChildren<QObject*>()) c->disconnect(this);
    // The worker may be inside a request: let it end before it goes.
    analyzeThread->quit();
    analyzeThread->wait();
    delete analyzeProc;
    delete analyzeThread;
    delete specPane;
    delete refGroup;
    delete mainModeGroup;
}

QVector<ElemCtrl*> Analyzer::elemCtrls() const
{
    return elems->elemCtrls;
}

QButtonGroup* Analyzer::mainTargetGroup() const
{
    return elems->mainTargetGroup;
}

QButtonGroup* Analyzer::elemShowGroup() const
{
    return elems->elemShowGroup;
}

void Analyzer::showOther(int k, const XafsSpectrum& s)
{
    QVector<XafsSpectrum>& others = specPane->others;
    if (others.size() <= k) others.resize(k + 1);
    others[k] = s;
}

void Analyzer::addNewRef()
{
    auto* row = new LCFReference;
    lcfRefs.append(row);
    const int n = lcfRefs.size();
    row->XFS->Select->setText(tr("Select Ref%1").arg(n));
    row->XFS->setUse(n <= 2);
    row->use = n <= 2;
    if (auto* grid = qobject_cast<QGridLayout*>(RefBase->layout()))
        grid->addWidget(row, n - 1, 0);
    resize(width(), height() + 22);
    fdGroup.addDialog(row->XFS->dialog);
    refGroup->addButton(row->Show, n - 1);
    // Map 0 is the amount, shown by image type 1; map 1 the fraction, type 0.
    if (row->maps.size() > 1) {
        row->maps[0]->title = tr("the map of reference row %1, map type 1 (amount)").arg(n - 1);
        row->maps[1]->title = tr("the map of reference row %1, map type 0 (fraction)").arg(n - 1);
    }
    showOther(n, row->spectrum());
    // The view draws copies: each change of the row's curve is copied again.
    auto refresh = [this, row, n] {
        showOther(n, row->spectrum());
        specPane->update();
    };
    connect(row, &LCFReference::newFileSelected, this, refresh);
    connect(row, &LCFReference::newFileSelected, this, [this, n] {
        if (!settingStd) noteLcfCoverage(n - 1);
    });
    connect(row, &LCFReference::fileDropped, this, refresh);
    // The spectrum shown was fitted with the reference just dropped.
    connect(row, &LCFReference::fileDropped, this, &Analyzer::reAnalyzeSpectrum);
    connect(row, &LCFReference::loadFailed, this, [this, n](const QString& fname) {
        emit refused(tr("The LCF reference file \"%1\" could not be read: reference row %2 has no file now")
                         .arg(fname, QString::number(n - 1)));
    });
    connect(row->IsVictreen, &QCheckBox::toggled, this, refresh);
    connect(row, &LCFReference::newDeltaE, this, refresh);
    connect(row, &LCFReference::newDeltaE, this, &Analyzer::reAnalyzeSpectrum);
}

// ---- requests and answers ----

void Analyzer::initAnalyzeSpectrum()
{
    isMidPoint = DEdgeMidPoint->isChecked();
    midRatio = numberOf(DEdgeMidRatio);
    takeDEdgeSearch();
    raFactor = numberOf(RAFactor);
    raAtEV = numberOf(RAAtEV);
}

int Analyzer::analyzeSpectrum(XafsSpectrum& s, SuggestElm sElm, int tag)
{
    this->sElm = sElm;
    if (!Sel2DA->isChecked()) return 0;
    const int kinds = (Sel2DAMLCFA->isChecked() ? LcfKind : 0)
                      | (Sel2DADEdgeA->isChecked() ? DEdgeKind : 0)
                      | (Sel2DAElemA->isChecked() ? ElemsKind : 0)
                      | (Sel2DARAA->isChecked() ? RaKind : 0);
    const int n = int(Sel2DAMLCFA->isChecked()) + int(Sel2DADEdgeA->isChecked()) +
                  int(Sel2DAElemA->isChecked()) + int(Sel2DARAA->isChecked());
    if (n == 0) return 0;
    // Counted per spectrum, so answers still on their way for an earlier
    // spectrum finish that one and never count against this one.
    batches.enqueue({n, tag, kinds});
    pending += n;

    if (Sel2DAMLCFA->isChecked()) {
        const double eE0 = numberOf(LCFRange2);
        const double sE0 = numberOf(LCFRange1);
        QVector<LcfRefSnapshot> refs;
        refs.reserve(lcfRefs.size());
        for (LCFReference* r : qAsConst(lcfRefs)) refs.append(r->snapshotFor(s.suggest, s.lineType));
        emit analyzeSpectrum0(s, refs, MLCF->isChecked(), sE0, eE0, sElm);
    }
    if (Sel2DADEdgeA->isChecked())
        emit analyzeSpectrumDEdge0(s, sElm, isMidPoint, midRatio, dEdgeRef, 0.5 * cwRangeEV,
                                   cwInitDEeV, cwMinDEeV);
    if (Sel2DAElemA->isChecked()) {
        elemGens.enqueue(elems->generation());
        emit analyzeSpectrumElems0(s, elems->snapshots(), elems->mainTarget(),
                                   AElemsCds->background());
    }
    if (Sel2DARAA->isChecked()) emit analyzeSpectrumRA(s, raFactor, raAtEV);
    return kinds;
}

void Analyzer::analyzeAndShowSpectrum(XafsSpectrum s, SuggestElm sElm)
{
    lastSpectrum = s;
    analyzeSpectrum(lastSpectrum, sElm);
    specPane->setXafsSpectrum(lastSpectrum);
}

void Analyzer::reAnalyzeSpectrum()
{
    // The worker is busy with the run's blocks; the cursor spectrum waits.
    if (contAccess) return;
    analyzeSpectrum(lastSpectrum, sElm);
}

void Analyzer::answered()
{
    if (batches.isEmpty()) {
        qDebug() << "analysis answer without a request";
        return;
    }
    --pending;
    if (--batches.head().left > 0) return;
    const Request done = batches.dequeue();
    finishedTag = done.tag;
    finishedKinds = done.kinds;
    emit finished();
}

void Analyzer::analyze2DFinished()
{
    if (!contAccess) specPane->update();
    answered();
}

void Analyzer::takeLcfResult(LcfResult r, bool reportToRows)
{
    lastLcf = r;
    // A fit withheld leaves no fraction of this spectrum: the rows' earlier
    // ones would pass for its own.
    if (r.status == LcfResult::Failed && !contAccess) {
        for (int i : qAsConst(r.rows)) {
            if (i < 0 || i >= lcfRefs.size()) continue;
            lcfRefs[i]->R->clear();
            lcfRefs[i]->T->clear();
        }
        emit said(tr("LCF: no fractions for this spectrum: %1").arg(r.failure));
    }
    if (r.status != LcfResult::Fitted) return;
    resSpectrum = r.fitted;
    showOther(0, resSpectrum);
    if (!reportToRows) return;
    const int n = std::min({r.rows.size(), r.fractions.size(), r.amounts.size()});
    for (int j = 0; j < n; ++j) {
        const int i = r.rows[j];
        // A row dropped since the request shows no values of a fit it left.
        if (i < 0 || i >= lcfRefs.size() || !lcfRefs[i]->inUse()) continue;
        lcfRefs[i]->setRatio(r.fractions[j]);
        lcfRefs[i]->setAmount(r.amounts[j]);
    }
}

void Analyzer::takeRaResult(RaResult r)
{
    lastRa = r;
}

void Analyzer::noticedNewZ(double z)
{
    lastZ = z;
    DispZansa->setText(FieldText::text(z));
}

void Analyzer::noticedNewDEdge(double dEdge)
{
    lastDEdge = dEdge;
    DispDEdge->setText(FieldText::text(dEdge));
}

void Analyzer::setContAccess(bool f)
{
    contAccess = f;
    analyzeProc->contAccess = f;
}

// ---- element rows ----

void Analyzer::setupElemsConnections()
{
    elems = new ElemList(this);
    elems->baseLayout = qobject_cast<QGridLayout*>(AElemBaseFrame->layout());
    corAboveTh = false;
    CorTh->setText(QStringLiteral("0.999"));
    corTh = 0.999;
    recalcCorMap();
    connect(SetSTD, &QPushButton::clicked, this, &Analyzer::setElemsStd);
    connect(this, &Analyzer::setNewCorrelation, this, &Analyzer::setCorrelation,
            Qt::DirectConnection);
    connect(CorTh, &QLineEdit::editingFinished, this, &Analyzer::newCorTh);
    connect(ReCalcCor, &QPushButton::clicked, this, &Analyzer::recalcCorMap);
    specPane->elemRows = elems->rowInfoProvider();
    elemNamesText = AElemNames->text();
    connect(AElemNames, &QLineEdit::editingFinished, this, &Analyzer::newElems);
    elemDispGroup = new QButtonGroup(this);
    int id = 0;
    for (QRadioButton* b : {ShowElemsDMut0, ShowElemsDMutN, ShowElemsCorr, ShowElemsCorrTh,
                            ShowElemsMutPlus, ShowElemsMutMinus, ShowElemsDE, ShowElemsROI,
                            ShowElemsNROI})
        elemDispGroup->addButton(b, id++);
    ShowElemsDMut0->setChecked(true);
    connect(elemDispGroup, SIGNAL(buttonClicked(int)), this, SIGNAL(changedSelection()));
    connect(elems, &ElemList::changedSelection, this, &Analyzer::changedSelection);
}

void Analyzer::newElems()
{
    // A run records into the rows' maps until its last block.
    if (contAccess) {
        if (AElemNames->text() != elemNamesText) {
            emit refused(tr("Element list not changed during a 2-D run: %1").arg(AElemNames->text()));
            AElemNames->setText(elemNamesText);
        }
        return;
    }
    elemNamesText = AElemNames->text();
    elems->newElems(elemNamesText, SortByANo->isChecked());
}

void Analyzer::setTargetElements(QString elements)
{
    AElemNames->setText(elements);
    newElems();
}

void Analyzer::selectElemsDispMode(int id)
{
    if (QAbstractButton* b = elemDispGroup->button(id)) b->setChecked(true);
    emit changedSelection();
}

int Analyzer::elemsDispModes() const
{
    return elemDispGroup->buttons().size();
}

void Analyzer::setSortByAN(bool on)
{
    SortByANo->setChecked(on);
}

void Analyzer::setElemsDE(double dE)
{
    elems->setElemsDE(dE);
}

void Analyzer::setElemNoNeg(const QString& name, bool on)
{
    elems->setElemNoNeg(name, on);
}

void Analyzer::setElemThDMut(const QString& name, double th)
{
    elems->setElemThDMut(name, th);
}

void Analyzer::setElemROI(const QString& name, double from, double to)
{
    elems->setElemROI(name, from, to);
}

void Analyzer::setElemUse(const QString& key, bool on)
{
    elems->setElemUse(key, on);
}

void Analyzer::setElemShow(const QString& key)
{
    elems->setElemShow(key);
}

void Analyzer::setElemMainTarget(const QString& key)
{
    elems->setElemMainTarget(key);
}

void Analyzer::setCorrelationThreshold(double th)
{
    CorTh->setText(FieldText::text(th));
    corTh = th;
    recalcCorMap();
}

void Analyzer::setElemsStd()
{
    elems->setElemsStd();
    recalcCorMap();
}

void Analyzer::takeElemsResult(ElemsResult r)
{
    const int gen = elemGens.isEmpty() ? -1 : elemGens.dequeue();
    lastElems = r;
    elemRes = r.dmut;
    // Rows rebuilt since the request are not the rows these values belong to.
    if (gen != elems->generation()) lastElems = ElemsResult();
}

void Analyzer::analyze2DElemsFinished()
{
    showElemsAnswer(lastElems);
    analyze2DFinished();
}

void Analyzer::showElemsAnswer(const ElemsResult& r)
{
    if (r.rowCount() > 0) {
        elems->showResults(r);
        calcCorrelation();
    } else {
        setCorrelation(0.0);
    }
}

void Analyzer::calcCorrelation()
{
    QVector<double> a, b;
    QVector<bool> use;
    for (const ElemCtrl* row : qAsConst(elems->elemCtrls)) {
        a.append(row->ratio);
        b.append(row->stdRatio);
        use.append(row->Use->isChecked());
    }
    double c = 0;
    // No correlation formed (no step, no standard): 0, as the recalculated map
    // has it, never the previous spectrum's value.
    if (!ElementAnalysis::correlation(a, b, use, c)) c = 0;
    emit setNewCorrelation(c);
}

void Analyzer::setCorrelation(double cor)
{
    this->cor = cor;
    if (updatingCor) return;
    updatingCor = true;
    ElemsCorrelation->setText(FieldText::text(cor));
    const bool above = cor > corTh;
    if (above != corAboveTh) {
        ElemsCorrelation->setStyleSheet(above ? QStringLiteral("background-color: rgb(211, 255, 241);")
                                              : QStringLiteral("background-color: rgb(176, 192, 192);"));
        corAboveTh = above;
    }
    updatingCor = false;
}

void Analyzer::newCorTh()
{
    const double v = numberOf(CorTh);
    CorTh->setText(FieldText::text(v));
    corTh = v;
    recalcCorMap();
}

void Analyzer::recalcCorMap()
{
    QVector<ElementAnalysis::CorRow> rows;
    for (ElemCtrl* row : qAsConst(elems->elemCtrls)) {
        ElementAnalysis::CorRow r;
        r.use = row->Use->isChecked();
        r.stdRatio = row->stdRatio;
        r.nMap = row->map(ElemKindN);
        rows.append(r);
    }
    // Before any run the maps have no blocks: the progress is not a run's.
    std::function<void(double)> progress;
    if (elemsCorMap.width() > 0) progress = [this](double p) { setProgress(p); };
    ElementAnalysis::fillCorrelationMaps(rows, corTh, &elemsCorMap, &elemsCorThMap, progress);
    elemsCorMap.genImg();
    elemsCorThMap.genImg();
    emit changedSelection();
}

// ---- edge shift ----

void Analyzer::toggledDEdgeCompWith(bool)
{
    DEdgeCWSelectBox->setEnabled(true);
}

void Analyzer::toggledCWFile(bool f)
{
    if (f) dEdgeRef = dEdgeFileRef;
}

void Analyzer::clearedDEdgeCWFile()
{
    dEdgeFileRef = XafsSpectrum();
    dEdgeRefFile.clear();
    // A step in use stays; a run with "File" is refused until a file is chosen.
    if (DEdgeCWFile->isChecked()) dEdgeRef = dEdgeFileRef;
}

void Analyzer::selectedNewDEdgeCWFile(QString fname)
{
    qDebug() << "loading" << fname;
    // Read into a copy: a file that gives no spectrum must not leave the
    // selector naming it while the previous reference is used.
    XafsSpectrum fresh = dEdgeRef;
    if (fresh.loadAndCalc(fname) && !fresh.isEmpty()) {
        dEdgeRef = fresh;
        dEdgeFileRef = fresh;
        dEdgeRefFile = fname;
        return;
    }
    emit refused(dEdgeRefFile.isEmpty()
                     ? tr("No spectrum in %1: the edge comparison has no reference file").arg(fname)
                     : tr("No spectrum in %1: the edge comparison keeps %2").arg(fname, dEdgeRefFile));
    DEdgeCWFileSelect->Selected->setText(dEdgeRefFile);
}

// The comparison search cannot scan with a step or minimum step that is not
// above 0, nor refine when the step is below the minimum: such values are
// refused and the fields show the values in use again.
void Analyzer::takeDEdgeSearch()
{
    const double range = numberOf(DEdgeCWFullRangeEV);
    const double step = numberOf(DEdgeCWInitDEeV);
    const double minStep = numberOf(DEdgeCWMinDEeV);
    const bool sound = std::isfinite(range) && range >= 0 && std::isfinite(step) && step > 0
                       && minStep > 0 && step >= minStep
                       && 0.5 * range / step <= EdgeShift::MaxTrialsPerPass / 2;
    if (sound) {
        cwRangeEV = range;
        cwInitDEeV = step;
        cwMinDEeV = minStep;
        return;
    }
    emit refused(tr("Edge comparison settings refused (range %1, step %2, min. step %3: the steps must be "
                    "above 0, the step not below the min. step, the range not too wide for the step); "
                    "kept %4, %5, %6")
                     .arg(range)
                     .arg(step)
                     .arg(minStep)
                     .arg(cwRangeEV)
                     .arg(cwInitDEeV)
                     .arg(cwMinDEeV));
    DEdgeCWFullRangeEV->setText(FieldText::text(cwRangeEV));
    DEdgeCWInitDEeV->setText(FieldText::text(cwInitDEeV));
    DEdgeCWMinDEeV->setText(FieldText::text(cwMinDEeV));
}

bool Analyzer::prepareDEdgeRef()
{
    const XafsSpectrum step = EdgeShift::stepReference(
        numberOf(DEdgeCWStepAt), numberOf(DEdgeCWStepWeV), numberOf(DEdgeCWStepDEeV));
    if (step.points.isEmpty()) {
        qDebug() << "step reference: width" << numberOf(DEdgeCWStepWeV) << "and spacing"
                 << numberOf(DEdgeCWStepDEeV) << "give no grid";
        return false;
    }
    dEdgeRef = step;
    return true;
}

// ---- modes and batch setters ----

void Analyzer::selectedNewRef(int)
{
    emit changedSelection();
}

void Analyzer::selectedImgChanged(bool)
{
    emit changedSelection();
}

void Analyzer::show()
{
    QFrame::show();
    specPane->show();
}

void Analyzer::setLCFMode(int f)
{
    MLCF->setChecked(f == 1);
}

void Analyzer::setLCFAsOld(bool f)
{
    AsOldLCF->setChecked(f);
}

void Analyzer::setLCFRange(double fromEV, double toEV)
{
    LCFRange1->setText(FieldText::text(fromEV));
    LCFRange2->setText(FieldText::text(toEV));
}

void Analyzer::setProgress(double perCent)
{
    Progress->setText(QString::asprintf("%5.2f", perCent));
}

bool Analyzer::setLCFStd(int no, bool use, double dE, QString fname, QString isVic)
{
    if (no < 0 || no >= lcfRefs.size()) return true;
    LCFReference* row = lcfRefs[no];
    settingStd = true;
    const bool read = row->setStd(use, dE, fname, isVic);
    settingStd = false;
    // The row's new shift comes without newDeltaE: the view's copy is renewed here.
    showOther(no + 1, row->spectrum());
    specPane->update();
    if (read) noteLcfCoverage(no);
    return read;
}

QStringList Analyzer::lcfCoverageProblems() const
{
    QStringList all;
    for (int i = 0; i < lcfRefs.size(); ++i) {
        const QString why = lcfCoverageProblem(i);
        if (!why.isEmpty()) all << why;
    }
    return all;
}

namespace {
struct CoverageFigures
{
    QString file, lo, hi, needLo, needHi;
};

// The figures of a row that falls short, or false.
bool coverageShort(const LCFReference* row, double from, double to, const QVector<double>& energies,
                   CoverageFigures& f)
{
    const double dE = row->xShiftOn ? row->xShift : 0.0;
    const double lo = row->XafsSpectrum::minX - dE, hi = row->XafsSpectrum::maxX - dE;
    const LcfFit::Coverage c = LcfFit::coverage(lo, hi, from, to, energies);
    if (!c.known || c.covers) return false;
    auto eV = [](double e) { return QString::number(e, 'f', 2); };
    f = {row->loadedFile(), eV(lo), eV(hi), eV(c.needLo), eV(c.needHi)};
    return true;
}
}  // namespace

QString Analyzer::lcfCoverageProblem(int no) const
{
    const LCFReference* row = lcfRefs.value(no);
    if (!row || !row->inUse() || !stackEnergies) return QString();
    CoverageFigures f;
    if (!coverageShort(row, numberOf(LCFRange1), numberOf(LCFRange2), stackEnergies(), f))
        return QString();
    // Numbered as scripts number the rows.
    return tr("The LCF reference \"%1\" of row %2 does not cover the fit: its energies less its dE reach %3 - %4 "
              "eV, the stack's energies in the LCF range %5 - %6 eV")
        .arg(f.file, QString::number(no), f.lo, f.hi, f.needLo, f.needHi);
}

void Analyzer::noteLcfCoverage(int no)
{
    const LCFReference* row = lcfRefs.value(no);
    if (!row || !row->inUse() || !stackEnergies) return;
    CoverageFigures f;
    if (!coverageShort(row, numberOf(LCFRange1), numberOf(LCFRange2), stackEnergies(), f)) return;
    // A script may set the LCF range after its references: the run judges.
    emit said(tr("The LCF reference \"%1\" of row %2 does not cover the LCF range set now: its energies less its "
                 "dE reach %3 - %4 eV, the stack's energies in that range %5 - %6 eV; a 2-D run judges it again "
                 "when it starts")
                  .arg(f.file, QString::number(no), f.lo, f.hi, f.needLo, f.needHi));
}

void Analyzer::selectImage(int id)
{
    if (QAbstractButton* b = refGroup->button(id)) b->setChecked(true);
    emit changedSelection();
}

void Analyzer::setRaEnergy(double eng)
{
    RAAtEV->setText(FieldText::text(eng));
}

void Analyzer::setRaFactor(double factor)
{
    RAFactor->setText(FieldText::text(factor));
}

void Analyzer::setFixedScale(bool f)
{
    FixedScale->setChecked(f);
}

void Analyzer::setDMutScaleMax(double max)
{
    DMutScaleMax->setText(FieldText::text(max));
    scaleChanged();
}

void Analyzer::setDMutScaleMin(double min)
{
    DMutScaleMin->setText(FieldText::text(min));
    scaleChanged();
}

void Analyzer::setRatioScaleMax(double max)
{
    RatioScaleMax->setText(FieldText::text(max));
    scaleChanged();
}

void Analyzer::setRatioScaleMin(double min)
{
    RatioScaleMin->setText(FieldText::text(min));
    scaleChanged();
}

void Analyzer::setNormalize(bool f)
{
    if (specPane) specPane->setNormalize(f);
}

void Analyzer::setEnergyCorrection(bool f)
{
    if (specPane) specPane->setEnergyCorrection(f);
}

void Analyzer::setDEdgeMode(int m)
{
    if (m == 0) DEdgeMidPoint->setChecked(true);
    else if (m == 1) DEdgeCompWith->setChecked(true);
}

void Analyzer::setDEdgeCompTarget(int t)
{
    if (t == 0) DEdgeCWFile->setChecked(true);
    else if (t == 1) DEdgeCWStep->setChecked(true);
}

void Analyzer::selectAnalysisMode(int id)
{
    switch (id) {
    case 0: Sel2DA->setChecked(true); Sel2DAMLCFA->setChecked(true); break;
    case 1: Sel2DA->setChecked(true); Sel2DARAA->setChecked(true); break;
    case 2: Sel2DA->setChecked(true); Sel2DAElemA->setChecked(true); break;
    case 3: SelSumUp->setChecked(true); break;
    case 4: SelProcMaps->setChecked(true); break;
    case 5: Sel2DA->setChecked(true); Sel2DADEdgeA->setChecked(true); break;
    default: break;
    }
}

void Analyzer::setMainMode(int m)
{
    if (m == 0) Sel2DA->setChecked(true);
    else if (m == 1) SelProcMaps->setChecked(true);
}

void Analyzer::setSubMode(int group, int kind, bool on)
{
    if (group != 0) return;
    QCheckBox* const boxes[] = {Sel2DADEdgeA, Sel2DAMLCFA, Sel2DAElemA, Sel2DARAA};
    if (kind >= 0 && kind < 4) boxes[kind]->setChecked(on);
}

void Analyzer::selectImageType(int t)
{
    if (t == 0) SelRatio->setChecked(true);
    else if (t == 1) SelDMut->setChecked(true);
}

int Analyzer::selectedImageType() const
{
    if (SelDMut->isChecked()) return 0;
    if (SelRatio->isChecked()) return 1;
    return 0;
}
