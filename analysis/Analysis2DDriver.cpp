#include "Analysis2DDriver.h"

#include "Analysis2DRecord.h"
#include "Analyzer.h"
#include "ElemCtrl.h"
#include "LCFReference.h"
#include "core/Analyzed2DRes.h"
#include "core/XafsSpectrum.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "widgets/ImgDispA.h"

#include <QCheckBox>
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
    if (body.analysis2DRunning) {
        stop2DAnalysis();
        emit body.finishBatchExec(finishedId);
        return;
    }
    // Without a mode that answers, a run would wait for ever: refuse it.
    const bool anyOn = panel.Sel2DAMLCFA->isChecked() || panel.Sel2DADEdgeA->isChecked()
                       || panel.Sel2DAElemA->isChecked() || panel.Sel2DARAA->isChecked();
    if (body.i1Images.isEmpty() || !panel.Sel2DA->isChecked() || !anyOn
        || !body.fillAnalyzeCond(analyzeCond)) {
        emit body.finishBatchExec(finishedId);
        return;
    }
    body.analysis2DRunning = true;
    panel.setContAccess(true);
    panel.setProgress(0.0);
    panel.initAnalyzeSpectrum();
    prepareMaps();
    analyzeAPoint(analyzeCond);
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
        if (panel.DEdgeCWStep->isChecked()) panel.prepareDEdgeRef();
        panel.dEdgeMap.setCond(analyzeCond);
        panel.dEdgeMap.setNo(no++);
    }
    if (elemsOn) {
        elemMaps.clear();
        const QVector<ElemCtrl*> rows = panel.elemCtrls();
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

void Analysis2DDriver::analyzeAPoint(const AnalyzeCond& ac)
{
    const double s = body.energyShiftAt(ac.curX, ac.curY);
    const SuggestElm sElm = body.suggestElmFromUi();
    XafsSpectrum xs(body.makeXafsSpectrum(ac.curX, ac.curY, ac.xw, ac.yw), QStringLiteral("Body-AaP"),
                    lineType(), s, sElm);
    panel.analyzeSpectrum(xs, sElm);
}

void Analysis2DDriver::analyzeASpectrumFinished()
{
    if (!body.analysis2DRunning) return;
    recordResForAPoint();
    if (analyzeCond.next()) {
        if (analyzeCond.rowStart) {
            if (panel.DispOnTime->isChecked()) generateResImages();
            const double span = analyzeCond.y1 - analyzeCond.y0;
            panel.setProgress(span > 0 ? (analyzeCond.curY - analyzeCond.y0) / span * 100.0 : 0.0);
        }
        analyzeAPoint(analyzeCond);
        return;
    }
    generateResImages();
    if (body.dispA) body.dispA->update();
    endRun();
    panel.setProgress(100.0);
    emit body.finishBatchExec(finishedId);
}

void Analysis2DDriver::recordResForAPoint()
{
    const AnalyzeCond& ac = analyzeCond;
    if (lcfOn && panel.Sel2DAMLCFA->isChecked()) {
        const int n = panel.lcfRefs.size();
        QVector<bool> used(n);
        for (int i = 0; i < n; ++i)
            used[i] = panel.lcfRefs[i]->inUse() && !panel.lcfRefs[i]->loadedFile().isEmpty();
        // Rows rebuilt since the start are not the ones whose maps were prepared.
        if (lcfRefMaps.size() == 2 * n)
            recordLcfBlock(lcfRefMaps, used, panel.lastLcf.amounts, panel.lastLcf.fractions, ac);
        recordBlockValue(&panel.zansaMap, ac, panel.lastZ);
    }
    if (dEdgeOn && panel.Sel2DADEdgeA->isChecked()) recordBlockValue(&panel.dEdgeMap, ac, panel.lastDEdge);
    if (elemsOn && panel.Sel2DAElemA->isChecked()) {
        const int rows = panel.elemCtrls().size();
        if (elemMaps.size() == ElemCtrl::mapCount * rows + 2) {
            QVector<QVector<double>> kinds;
            for (int k = 0; k < ElemCtrl::mapCount; ++k) kinds << panel.lastElems.kinds[k];
            recordElemBlock(elemMaps, rows, kinds, panel.cor, panel.corTh, ac);
        }
    }
    if (raOn && panel.Sel2DARAA->isChecked()) {
        recordBlockValue(raDMutMap, ac, panel.lastRa.jump);
        recordBlockValue(raRestMap, ac, panel.lastRa.rest);
    }
}

void Analysis2DDriver::generateResImages()
{
    if (lcfOn && panel.Sel2DAMLCFA->isChecked()) {
        for (Analyzed2DRes* m : qAsConst(lcfRefMaps))
            if (m) m->genImg();
        panel.zansaMap.genImg();
    }
    if (dEdgeOn && panel.Sel2DADEdgeA->isChecked()) panel.dEdgeMap.genImg();
    if (elemsOn && panel.Sel2DAElemA->isChecked())
        for (Analyzed2DRes* m : qAsConst(elemMaps)) m->genImg();
    if (raOn && panel.Sel2DARAA->isChecked() && raDMutMap && raRestMap && raRatiMap) {
        computeRatioMap(*raDMutMap, *raRestMap, *raRatiMap);
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
    body.analysis2DRunning = false;
    panel.setContAccess(false);
}
