#include "Analysis2DDriver.h"

#include "Analysis2DRecord.h"
#include "Analyzer.h"
#include "BlockRun.h"
#include "FieldText.h"
#include "ElemCtrl.h"
#include "ElemList.h"
#include "LCFReference.h"
#include "core/Analyzed2DRes.h"
#include "core/TiffData.h"
#include "core/XafsSpectrum.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/StackChecks.h"
#include "widgets/ImgDispA.h"

#include <QCheckBox>
#include <QDebug>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>
#include <cmath>

namespace {
const int finishedId = 112;
}

// An edge shift or residual of a spectrum without an edge means nothing;
// element steps are found apart from the spectrum's own edge. A spectrum
// without a point gives nothing to any of them.
bool Analysis2DDriver::edgeResult(const BlockResult& r)
{
    return !r.flagged && !r.noPoints;
}

bool Analysis2DDriver::elemsResult(const BlockResult& r)
{
    if (r.noPoints) return false;
    for (double step : r.elems.kinds[ElemKind0])
        if (step != 0) return true;
    return false;
}

int Analysis2DDriver::lineType() const
{
    const BodyHooks& h = Body::hooks();
    return h.bgLineType ? h.bgLineType(body) : 1;
}

Analysis2DDriver::Analysis2DDriver(Body& b, Analyzer& p, QObject* parent)
    : QObject(parent), body(b), panel(p), pool(new BlockRunPool(this))
{
    connect(&body, &Body::framesFreeing, this, &Analysis2DDriver::framesFreeing);
}

void Analysis2DDriver::framesFreeing(const QVector<TiffData*>& frames)
{
    if (frames.isEmpty() || !body.analysis2DRunning) return;
    body.report(tr("2-D run stopped: the image stack is being replaced"));
    endRun();
}

bool Analysis2DDriver::running() const
{
    return body.analysis2DRunning;
}

void Analysis2DDriver::start2DAnalysis()
{
    start(false);
}

void Analysis2DDriver::startFromBatch(const std::function<void(const QString&)>& refusal)
{
    if (start(true, refusal) != Start::Started) emit body.finishBatchExec(finishedId);
}

QString Analysis2DDriver::startProblem()
{
    if (body.i1Images.isEmpty()) return tr("no I1 image is loaded");
    if (!panel.Sel2DA->isChecked()) return tr("\"Process Maps\" is chosen, not \"2D Analysis\"");
    // Without a mode that answers, a run would wait for ever.
    const bool anyOn = panel.Sel2DAMLCFA->isChecked() || panel.Sel2DADEdgeA->isChecked()
                       || panel.Sel2DAElemA->isChecked() || panel.Sel2DARAA->isChecked();
    if (!anyOn) return tr("no analysis is checked");
    if (!body.fillAnalyzeCond(analyzeCond)) return tr("no analysis area");
    if (panel.Sel2DADEdgeA->isChecked()) {
        // A step that cannot be built must not leave an earlier reference in use.
        const bool stepWanted = panel.DEdgeCWStep->isChecked();
        const bool stepBuilt = stepWanted && panel.prepareDEdgeRef();
        if (panel.DEdgeCompWith->isChecked()) {
            if (stepWanted && !stepBuilt)
                return tr("the edge comparison's step (\"SW\" %1 eV, \"dE\" %2 eV) gives no reference")
                    .arg(panel.DEdgeCWStepWeV->text(), panel.DEdgeCWStepDEeV->text());
            // Compared with nothing, every block would read as the far end of the range.
            if (panel.dEdgeRef.points.isEmpty())
                return tr("the edge comparison has no reference; choose its file or \"Step at\"");
        }
    }
    // After the step is built: the comparison measures from its edge.
    return edgeOutsideStack();
}

QString Analysis2DDriver::edgeOutsideStack()
{
    if (!panel.Sel2DADEdgeA->isChecked() || body.i1Images.isEmpty()) return QString();
    // The mid-point measures from the suggested edge, the comparison from the
    // reference's edge: the step's position, or the edge found in the file.
    const bool mid = !panel.DEdgeCompWith->isChecked();
    const bool step = !mid && panel.DEdgeCWStep->isChecked();
    const XafsSpectrum& ref = panel.dEdgeRef;
    if (!mid && !step && (ref.points.isEmpty() || ref.outOfRange || ref.noisy)) return QString();
    const double edge = mid ? body.suggestElmFromUi().edgeEnergy
                            : step ? FieldText::number(panel.DEdgeCWStepAt->text()) : ref.midx;
    if (!std::isfinite(edge)) return QString();
    double lo = body.i1Images.first()->energy, hi = lo;
    for (const TiffData* f : qAsConst(body.i1Images)) {
        lo = std::min(lo, f->energy);
        hi = std::max(hi, f->energy);
    }
    const double d = distanceOutside(edge, lo, hi);
    if (d <= maxEdgeOutsideEV) return QString();
    return tr("the edge energy %1 eV (%2) lies %3 eV outside the stack's energies %4 - %5 eV, farther than any edge "
              "shift; the frames' energies or the edge energy are wrong")
        .arg(QString::number(edge, 'f', 2), mid ? tr("the suggested edge") : tr("the edge of the comparison's reference"),
             QString::number(d, 'f', 2), QString::number(lo, 'f', 2), QString::number(hi, 'f', 2));
}

QString Analysis2DDriver::shiftMapMisfit() const
{
    const Analyzed2DRes& m = body.shiftMap;
    if (!m.hasValues() || body.i1Images.isEmpty()) return QString();
    const int w = int(body.i1Images.first()->width), h = int(body.i1Images.first()->height);
    if (m.width() == w && m.height() == h) return QString();
    const QString mw = QString::number(m.width()), mh = QString::number(m.height());
    if (m.width() < w || m.height() < h)
        return tr("2-D run: the energy-shift map is %1 x %2 pixels, the images %3 x %4: its shifts reach only part of "
                  "the image, the rest is not corrected")
            .arg(mw, mh, QString::number(w), QString::number(h));
    // Larger: it covers the image, but was measured on other frames.
    return tr("2-D run: the energy-shift map is %1 x %2 pixels, larger than the images of %3 x %4: it was made for "
              "other frames, and its shifts may not belong to these pixels")
        .arg(mw, mh, QString::number(w), QString::number(h));
}

Analysis2DDriver::Start Analysis2DDriver::start(bool fromBatch,
                                                const std::function<void(const QString&)>& refusal)
{
    if (body.analysis2DRunning) {
        stop2DAnalysis();
        return Start::Stopped;
    }
    const QString why = startProblem();
    if (!why.isEmpty()) {
        body.reportFailure(tr("2-D run not started: %1").arg(why));
        return Start::Refused;
    }
    // The references are judged against the stack and LCF range the run
    // starts with, whatever was in force when they were set.
    if (panel.Sel2DAMLCFA->isChecked()) {
        for (const QString& why : panel.lcfCoverageProblems()) {
            if (refusal)
                refusal(why);
            else
                body.reportFailure(why);
        }
    }
    // A script cannot look at the map: there the run is a failure. The
    // calibration window's size check decides what a user may load.
    const QString misfit = shiftMapMisfit();
    // Every block beyond the I0 stack's ends is taken against another
    // energy's I0: the run goes on, counted in a script.
    const QString short0 = StackChecks::i0ShortOf(body.i0Images, body.i1Images, body.UseI0->isChecked());
    for (const QString& why : {misfit, short0}) {
        if (why.isEmpty()) continue;
        if (!fromBatch)
            body.report(why);
        else if (refusal)
            refusal(why);
        else
            body.reportFailure(why);
    }
    body.analysis2DRunning = true;
    batchRun = fromBatch;
    blocksDone = 0;
    lastElems = ElemsResult();
    lcfFailed = 0;
    lcfBlocks = 0;
    lcfFitted = 0;
    lcfWhy.clear();
    noResult = NoResultTally();
    perAnalysis = AnalysisTallies();
    raNoEdge.clear();
    blocksWithResult = 0;
    noteUnprepared = true;
    panel.setContAccess(true);
    panel.setProgress(0.0);
    panel.initAnalyzeSpectrum();
    prepareMaps();
    const std::shared_ptr<BlockRunInputs> in = takeInputs();
    Body* b = &body;
    pool->start(
        in, analyzeCond, [b](int x, int y) { return b->energyShiftAt(x, y); },
        [this](const BlockJob& j, const BlockResult& r) { record(j, r); }, [this] { finished(); },
        threads);
    return Start::Started;
}

std::shared_ptr<BlockRunInputs> Analysis2DDriver::takeInputs()
{
    auto in = std::make_shared<BlockRunInputs>();
    in->i1 = body.i1Images;
    in->xw = analyzeCond.xw;
    in->yw = analyzeCond.yw;
    in->conds = body.boxSpectrumConds();
    // The I0 stack sorted once, not for every block.
    if (in->conds.useI0) in->i0 = BoxSpectrum::sortedByEnergy(body.i0Images);
    if (in->conds.dark) in->dark = copyFrame(*in->conds.dark);
    if (in->conds.i1DarkAreaValues) in->i1DarkAreaValues = *in->conds.i1DarkAreaValues;
    if (in->conds.i0DarkAreaValues) in->i0DarkAreaValues = *in->conds.i0DarkAreaValues;
    if (in->conds.totalI0) in->totalI0 = *in->conds.totalI0;
    in->pointCondsHere(in->conds.i1DarkAreaValues, in->conds.i0DarkAreaValues, in->conds.totalI0);
    in->lineType = lineType();
    in->sElm = body.suggestElmFromUi();
    panel.sElm = in->sElm;

    in->lcf = lcfOn;
    if (lcfOn) {
        in->lcfKind = panel.MLCF->isChecked()        ? LcfFit::MLCF
                      : panel.AsOldLCF->isChecked() ? LcfFit::LCFOld
                                                    : LcfFit::LCF;
        for (LCFReference* r : qAsConst(panel.lcfRefs))
            in->refs.append(r->snapshotFor(in->sElm, in->lineType));
        in->sE0 = FieldText::number(panel.LCFRange1->text());
        in->eE0 = FieldText::number(panel.LCFRange2->text());
    }
    in->dEdge = dEdgeOn;
    in->isMidPoint = panel.isMidPoint;
    in->midRatio = panel.midRatio;
    in->dEdgeRef = panel.dEdgeRef;
    in->cwRange = panel.cwRangeEV;
    in->cwInit = panel.cwInitDEeV;
    in->cwMin = panel.cwMinDEeV;
    in->elems = elemsOn;
    if (elemsOn) {
        in->elemRows = panel.elems->snapshots();
        in->mainT = panel.elems->mainTarget();
        in->elemBg = panel.AElemsCds->background();
        for (const ElemCtrl* row : panel.elemCtrls()) {
            in->stdRatios.append(row->stdRatio);
            in->elemUse.append(row->Use->isChecked());
        }
    }
    in->ra = raOn;
    in->raFactor = panel.raFactor;
    in->raAtEV = panel.raAtEV;
    in->prepare();
    return in;
}

void Analysis2DDriver::prepareMaps()
{
    lcfOn = panel.Sel2DAMLCFA->isChecked();
    dEdgeOn = panel.Sel2DADEdgeA->isChecked();
    elemsOn = panel.Sel2DAElemA->isChecked();
    raOn = panel.Sel2DARAA->isChecked();
    int no = 0;
    if (lcfOn) {
        lcfRefMaps.clear();
        lcfRows = panel.lcfRefs.size();
        for (int c = 0; c < panel.mapsPerRef; ++c) {
            for (LCFReference* r : qAsConst(panel.lcfRefs)) {
                if (r->maps.isEmpty()) {
                    lcfRefMaps << nullptr;
                    continue;
                }
                Analyzed2DRes* m = c < r->maps.size() ? r->maps[c] : r->maps[0];
                m->setCond(analyzeCond);
                m->setNo(no++);
                lcfRefMaps << m;
            }
        }
        panel.zansaMap.setCond(analyzeCond);
        panel.zansaMap.setNo(no++);
    }
    if (dEdgeOn) {
        panel.dEdgeMap.setCond(analyzeCond);
        panel.dEdgeMap.setNo(no++);
    }
    if (elemsOn) {
        elemMaps.clear();
        const QVector<ElemCtrl*> rows = panel.elemCtrls();
        elemRows = rows.size();
        elemGen = panel.elems->generation();
        for (int k = 0; k < ElemCtrl::mapCount; ++k)
            for (ElemCtrl* e : rows) {
                e->maps[k].setNo(no++);
                elemMaps << &e->maps[k];
            }
        panel.elemsCorMap.setNo(no++);
        elemMaps << &panel.elemsCorMap;
        panel.elemsCorThMap.setNo(no++);
        elemMaps << &panel.elemsCorThMap;
        for (Analyzed2DRes* m : qAsConst(elemMaps)) m->setCond(analyzeCond);
    }
    if (raOn) {
        raDMutMap = &panel.dMutMap;
        raRestMap = &panel.restMap;
        raRatiMap = &panel.ratiMap;
        for (Analyzed2DRes* m : {raDMutMap, raRestMap, raRatiMap}) {
            m->setCond(analyzeCond);
            m->setNo(no++);
        }
    }
}

void Analysis2DDriver::record(const BlockJob& job, const BlockResult& res)
{
    // What the panel would ask for now: nothing ends the run at this block.
    const bool asked = panel.Sel2DA->isChecked();
    const bool lcf = asked && panel.Sel2DAMLCFA->isChecked();
    const bool dEdge = asked && panel.Sel2DADEdgeA->isChecked();
    const bool elems = asked && panel.Sel2DAElemA->isChecked();
    const bool ra = asked && panel.Sel2DARAA->isChecked();
    if (!(lcf || dEdge || elems || ra)) {
        body.report(tr("2-D run ended at block %1, %2: no analysis is checked any more").arg(job.x).arg(job.y));
        endRun();
        return;
    }
    AnalyzeCond ac = analyzeCond;
    ac.curX = job.x;
    ac.curY = job.y;
    ac.rowStart = job.rowStart;
    if (job.rowStart && blocksDone > 0) {
        if (panel.DispOnTime->isChecked()) generateResImages();
        const double span = analyzeCond.y1 - analyzeCond.y0;
        panel.setProgress(span > 0 ? (job.y - analyzeCond.y0) / span * 100.0 : 0.0);
    }
    if (lcfOn && lcf) recordLcf(res, ac);
    // Without an edge the shift is the guessed edge's and the jump and rest
    // are lines through nothing: such a block holds 0, like any without a result.
    if (dEdgeOn && dEdge) {
        lastDEdge = res.flagged ? 0.0 : res.dEdge;
        recordBlockValue(&panel.dEdgeMap, ac, lastDEdge);
    }
    // Rows rebuilt since the start are not the ones whose maps were prepared.
    if (elemsOn && elems && elemGen == panel.elems->generation()) {
        QVector<QVector<double>> kinds;
        kinds.reserve(ElemCtrl::mapCount);
        for (int k = 0; k < ElemCtrl::mapCount; ++k) kinds << res.elems.kinds[k];
        recordElemBlock(elemMaps, elemRows, kinds, res.corFound ? res.cor : 0.0, panel.corTh, ac);
        lastElems = res.elems;
    }
    if (raOn && ra) {
        recordBlockValue(raDMutMap, ac, res.flagged ? 0.0 : res.ra.jump);
        recordBlockValue(raRestMap, ac, res.flagged ? 0.0 : res.ra.rest);
    }
    raNoEdge.push_back(raOn && ra && res.flagged);
    const bool edgeAsked = (dEdgeOn && dEdge) || (raOn && ra);
    const bool lcfAsked = lcfOn && lcf, elemsAsked = elemsOn && elems;
    const bool edgeGot = edgeResult(res), elemsGot = elemsResult(res);
    if (lcfAsked) perAnalysis.add(RunAnalysis::Lcf, res.lcfResult, res.flagged, res.outsideWindow, res.noPoints);
    if (dEdgeOn && dEdge) perAnalysis.add(RunAnalysis::EdgeShift, edgeGot, res.flagged, res.outsideWindow, res.noPoints);
    if (elemsAsked) perAnalysis.add(RunAnalysis::Elements, elemsGot, res.flagged, res.outsideWindow, res.noPoints);
    if (raOn && ra) perAnalysis.add(RunAnalysis::Residual, edgeGot, res.flagged, res.outsideWindow, res.noPoints);
    if ((lcfAsked && res.lcfResult) || (edgeAsked && edgeGot) || (elemsAsked && elemsGot))
        ++blocksWithResult;
    else
        noResult.add(edgeAsked, res.flagged, res.outsideWindow, lcfAsked, res.noPoints);
    ++blocksDone;
    emit blockRecorded(blocksDone);
}

void Analysis2DDriver::recordLcf(const BlockResult& r, const AnalyzeCond& ac)
{
    ++lcfBlocks;
    if (r.lcfResult) ++lcfFitted;
    if (r.lcfStatus != LcfResult::Fitted && lcfWhy.isEmpty())
        lcfWhy = r.lcfStatus == LcfResult::Skipped    ? tr("the block's spectrum has no points")
                 : r.lcfStatus == LcfResult::ZeroJump ? tr("no edge jump")
                                                      : r.lcfFailure;
    if (r.lcfStatus == LcfResult::Skipped) return;
    if (r.lcfStatus == LcfResult::Failed) ++lcfFailed;
    const int missing = recordLcfBlock(lcfRefMaps, lcfRows, r.lcfRows, r.amounts, r.fractions, ac);
    if (missing > 0 && noteUnprepared) {
        qDebug() << "2-D run: reference rows added during the run are not recorded;"
                 << "the rows present at its start still are";
        noteUnprepared = false;
    }
    lastZ = r.lcfStatus == LcfResult::Fitted ? r.z : 0.0;
    recordBlockValue(&panel.zansaMap, ac, lastZ);
}

void Analysis2DDriver::finished()
{
    generateResImages();
    if (body.dispA) body.dispA->update();
    panel.setProgress(100.0);
    // The fields show the last block's values once, not every block's.
    if (lcfOn) panel.DispZansa->setText(FieldText::text(lastZ));
    if (dEdgeOn) panel.DispDEdge->setText(FieldText::text(lastDEdge));
    // A pipeline reads how many blocks hold 0 in each analysis's maps and
    // why, without counting zeros: a block with element steps may have no
    // fraction.
    for (const QString& note : perAnalysis.notes(lcfWhy)) body.report(note);
    if (perAnalysis.none[int(RunAnalysis::Lcf)].fitFailed >= lcfFailed) lcfFailed = 0;  // said above
    // Maps holding nothing measured would pass for a finished run.
    if (blocksDone > 0 && blocksWithResult == 0) {
        const QString sole = noResult.soleCause(lcfWhy);
        body.reportFailure(!sole.isEmpty() ? tr("2-D run gave no result: in each of its %1 blocks %2")
                                                 .arg(QString::number(blocksDone), sole)
                                           : tr("2-D run gave no result in any of its %1 blocks: %2")
                                                 .arg(QString::number(blocksDone), noResult.causes(lcfWhy)));
        lcfFailed = 0;
    } else if (lcfBlocks > 0 && lcfFitted == 0) {
        // Fraction maps all 0 beside maps with results would pass for a finished LCF.
        body.reportFailure(tr("2-D run: the LCF fitted none of its %1 blocks (%2); its maps hold 0")
                               .arg(QString::number(lcfBlocks), lcfWhy));
        lcfFailed = 0;
    }
    endRun();
}

void Analysis2DDriver::generateResImages()
{
    if (lcfOn) {
        for (Analyzed2DRes* m : qAsConst(lcfRefMaps))
            if (m) m->genImg();
        panel.zansaMap.genImg();
    }
    if (dEdgeOn) panel.dEdgeMap.genImg();
    if (elemsOn && elemGen == panel.elems->generation())
        for (Analyzed2DRes* m : qAsConst(elemMaps)) m->genImg();
    if (raOn && raDMutMap && raRestMap && raRatiMap) {
        computeRatioMap(*raDMutMap, *raRestMap, *raRatiMap, analyzeCond, blocksDone, &raNoEdge);
        raDMutMap->genImg();
        raRestMap->genImg();
        raRatiMap->genImg();
    }
    if (body.dispA) body.dispA->overlayMap = panel.selectedMap();
}

void Analysis2DDriver::stop2DAnalysis()
{
    endRun();
}

void Analysis2DDriver::endRun()
{
    pool->stop();
    if (!body.analysis2DRunning) return;
    body.analysis2DRunning = false;
    panel.setContAccess(false);
    // The workers' answers never reached the rows: they show the last
    // block's values, not a cursor spectrum's from before the run, and Set
    // STD takes those.
    if (lastElems.rowCount() > 0 && elemGen == panel.elems->generation()) {
        panel.lastElems = lastElems;
        panel.elemRes = lastElems.dmut;
        panel.showElemsAnswer(lastElems);
    }
    if (lcfFailed > 0)
        body.report(tr("2-D run: the LCF could not fit %1 blocks (%2); their maps hold 0").arg(lcfFailed).arg(lcfWhy));
    emit ended();
    if (batchRun) {
        batchRun = false;
        emit body.finishBatchExec(finishedId);
    }
}
