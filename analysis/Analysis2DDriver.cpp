#include "Analysis2DDriver.h"

#include "Analysis2DRecord.h"
#include "Analyzer.h"
#include "ElemCtrl.h"
#include "ElemList.h"
#include "LCFReference.h"
#include "core/Analyzed2DRes.h"
#include "core/XafsSpectrum.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "widgets/ImgDispA.h"

#include <QCheckBox>
#include <QDebug>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace {
const int finishedId = 112;
}

int Analysis2DDriver::lineType() const
{
    const BodyHooks& h = Body::hooks();
    return h.bgLineType ? h.bgLineType(body) : 1;
}

Analysis2DDriver::Analysis2DDriver(Body& b, Analyzer& p, QObject* parent)
    : QObject(parent), body(b), panel(p)
{
}

bool Analysis2DDriver::running() const
{
    return body.analysis2DRunning;
}

void Analysis2DDriver::start2DAnalysis()
{
    start(false);
}

void Analysis2DDriver::startFromBatch()
{
    if (!start(true)) emit body.finishBatchExec(finishedId);
}

bool Analysis2DDriver::start(bool fromBatch)
{
    if (body.analysis2DRunning) {
        stop2DAnalysis();
        return false;
    }
    // Without a mode that answers, a run would wait for ever: refuse it.
    const bool anyOn = panel.Sel2DAMLCFA->isChecked() || panel.Sel2DADEdgeA->isChecked()
                       || panel.Sel2DAElemA->isChecked() || panel.Sel2DARAA->isChecked();
    if (body.i1Images.isEmpty() || !panel.Sel2DA->isChecked() || !anyOn
        || !body.fillAnalyzeCond(analyzeCond))
        return false;
    if (panel.Sel2DADEdgeA->isChecked()) {
        if (panel.DEdgeCWStep->isChecked()) panel.prepareDEdgeRef();
        // Compared with nothing, every block would read as the far end of the range.
        if (panel.DEdgeCompWith->isChecked() && panel.dEdgeRef.points.isEmpty()) {
            qDebug() << "2-D run refused: the edge shift compares with a reference, but none is loaded";
            return false;
        }
    }
    body.analysis2DRunning = true;
    batchRun = fromBatch;
    blocksDone = 0;
    lcfFailed = 0;
    noteUnprepared = true;
    panel.setContAccess(true);
    panel.setProgress(0.0);
    panel.initAnalyzeSpectrum();
    prepareMaps();
    if (!analyzeAPoint(analyzeCond)) {
        endRun();
        return false;
    }
    return true;
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

bool Analysis2DDriver::analyzeAPoint(const AnalyzeCond& ac)
{
    const double s = body.energyShiftAt(ac.curX, ac.curY);
    const SuggestElm sElm = body.suggestElmFromUi();
    XafsSpectrum xs(body.makeXafsSpectrum(ac.curX, ac.curY, ac.xw, ac.yw), QStringLiteral("Body-AaP"),
                    lineType(), s, sElm);
    expectedTag = ++tag;
    requestKinds = panel.analyzeSpectrum(xs, sElm, expectedTag);
    if (requestKinds == 0) {
        qDebug() << "2-D run ended: no analysis is enabled for block" << ac.curX << ac.curY;
        return false;
    }
    return true;
}

void Analysis2DDriver::analyzeASpectrumFinished()
{
    if (!body.analysis2DRunning || panel.finishedTag != expectedTag) return;
    requestKinds = panel.finishedKinds;
    recordResForAPoint();
    ++blocksDone;
    if (analyzeCond.next()) {
        if (analyzeCond.rowStart) {
            if (panel.DispOnTime->isChecked()) generateResImages();
            const double span = analyzeCond.y1 - analyzeCond.y0;
            panel.setProgress(span > 0 ? (analyzeCond.curY - analyzeCond.y0) / span * 100.0 : 0.0);
        }
        if (!analyzeAPoint(analyzeCond)) endRun();
        return;
    }
    generateResImages();
    if (body.dispA) body.dispA->update();
    panel.setProgress(100.0);
    endRun();
}

void Analysis2DDriver::recordLcf()
{
    const LcfResult& r = panel.lastLcf;
    const AnalyzeCond& ac = analyzeCond;
    if (r.status == LcfResult::Skipped) return;
    if (r.status == LcfResult::Failed) ++lcfFailed;
    const int missing = recordLcfBlock(lcfRefMaps, lcfRows, r.rows, r.amounts, r.fractions, ac);
    if (missing > 0 && noteUnprepared) {
        qDebug() << "2-D run: reference rows added during the run are not recorded;"
                 << "the rows present at its start still are";
        noteUnprepared = false;
    }
    recordBlockValue(&panel.zansaMap, ac, r.status == LcfResult::Fitted ? r.z : 0.0);
}

void Analysis2DDriver::recordResForAPoint()
{
    const AnalyzeCond& ac = analyzeCond;
    if (lcfOn && (requestKinds & Analyzer::LcfKind)) recordLcf();
    if (dEdgeOn && (requestKinds & Analyzer::DEdgeKind))
        recordBlockValue(&panel.dEdgeMap, ac, panel.lastDEdge);
    // Rows rebuilt since the start are not the ones whose maps were prepared.
    if (elemsOn && (requestKinds & Analyzer::ElemsKind) && elemGen == panel.elems->generation()) {
        QVector<QVector<double>> kinds;
        kinds.reserve(ElemCtrl::mapCount);
        for (int k = 0; k < ElemCtrl::mapCount; ++k) kinds << panel.lastElems.kinds[k];
        recordElemBlock(elemMaps, elemRows, kinds, panel.cor, panel.corTh, ac);
    }
    if (raOn && (requestKinds & Analyzer::RaKind)) {
        recordBlockValue(raDMutMap, ac, panel.lastRa.jump);
        recordBlockValue(raRestMap, ac, panel.lastRa.rest);
    }
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
        computeRatioMap(*raDMutMap, *raRestMap, *raRatiMap, analyzeCond, blocksDone);
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
    if (!body.analysis2DRunning) return;
    body.analysis2DRunning = false;
    panel.setContAccess(false);
    if (lcfFailed > 0)
        qDebug() << "2-D run: the LCF could not fit" << lcfFailed
                 << "blocks (singular references or no points in range); their maps hold 0";
    emit ended();
    if (batchRun) {
        batchRun = false;
        emit body.finishBatchExec(finishedId);
    }
}
