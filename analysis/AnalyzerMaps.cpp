// Which result map the main window shows, the fixed display scales, and the
// processing of two operand maps into "Processed Map".

#include "Analyzer.h"

#include "analysis/ElemCtrl.h"
#include "analysis/ElemList.h"
#include "analysis/FieldText.h"
#include "analysis/LCFReference.h"
#include "analysis/MapProcessing.h"
#include "core/EMPHeader.h"

#include <QButtonGroup>
#include <QDebug>

Analyzed2DRes* Analyzer::selectedMap()
{
    Analyzed2DRes* m = nullptr;
    const int id = refGroup->checkedId();
    if (id >= 0 && id < lcfRefs.size()) {
        const QVector<Analyzed2DRes*>& maps = lcfRefs[id]->maps;
        const int t = selectedImageType();
        if (t < maps.size()) m = maps[t];
        else if (!maps.isEmpty()) m = maps[0];
    }
    if (ShowZ->isChecked()) m = &zansaMap;
    if (ShowDEdge->isChecked()) m = &dEdgeMap;
    if (ShowDMuT->isChecked() && dMutMap.hasImage) m = &dMutMap;
    if (ShowRest->isChecked() && restMap.hasImage) m = &restMap;
    if (ShowRatio->isChecked() && ratiMap.hasImage) m = &ratiMap;
    const QVector<ElemCtrl*>& rows = elems->elemCtrls;
    if (ShowResElemsA->isChecked() && !rows.isEmpty()) {
        // No row shown: nothing to index, the earlier result stands.
        const int r = elems->elemShowGroup ? elems->elemShowGroup->checkedId() : -1;
        ElemCtrl* row = r >= 0 && r < rows.size() ? rows[r] : nullptr;
        if (ShowElemsDMut0->isChecked() && row) m = row->map(ElemKind0);
        if (ShowElemsDMutN->isChecked() && row) m = row->map(ElemKindN);
        if (ShowElemsCorrTh->isChecked()) m = &elemsCorThMap;
        else if (ShowElemsCorr->isChecked()) m = &elemsCorMap;
        if (ShowElemsMutPlus->isChecked() && row) m = row->map(ElemKindMP);
        if (ShowElemsMutMinus->isChecked() && row) m = row->map(ElemKindMM);
        if (ShowElemsDE->isChecked() && row) m = row->map(ElemKindDE);
        if (ShowElemsROI->isChecked() && row) m = row->map(ElemKindROI);
        if (ShowElemsNROI->isChecked() && row) m = row->map(ElemKindNROI);
    }
    if (SelSumUp->isChecked()) m = &sumUpMap;
    if (SelProcMaps->isChecked()) {
        if (ShowMap1->isChecked()) m = &map1;
        if (ShowMap2->isChecked()) m = &map2;
        if (ShowProcessedMap->isChecked()) m = &processedMap;
    }
    return m;
}

void Analyzer::limits(Analyzed2DRes* m, bool ratio)
{
    if (!m) return;
    if (ratio) m->setScale(numberOf(RatioScaleMin), numberOf(RatioScaleMax));
    else m->setScale(numberOf(DMutScaleMin), numberOf(DMutScaleMax));
}

double Analyzer::numberOf(const QLineEdit* e)
{
    return FieldText::number(e->text());
}

void Analyzer::scaleChanged()
{
    for (LCFReference* r : qAsConst(lcfRefs)) {
        if (r->maps.isEmpty()) continue;
        limits(r->maps[0], false);
        limits(r->maps.size() > 1 ? r->maps[1] : r->maps[0], true);
    }
    for (Analyzed2DRes* m : {&zansaMap, &dEdgeMap, &dMutMap, &restMap}) limits(m, false);
    limits(&ratiMap, true);
    for (ElemCtrl* row : qAsConst(elems->elemCtrls))
        for (int k = 0; k < ElemCtrl::mapCount; ++k) limits(row->map(k), false);
    emit changedSelection();
}

void Analyzer::scalePolicyChanged(bool f)
{
    for (LCFReference* r : qAsConst(lcfRefs)) {
        if (r->maps.isEmpty()) continue;
        r->maps[0]->setFixedScale(f);
        limits(r->maps[0], false);
        Analyzed2DRes* second = r->maps.size() > 1 ? r->maps[1] : r->maps[0];
        second->setFixedScale(f);
        limits(second, true);
    }
    for (Analyzed2DRes* m : {&zansaMap, &dEdgeMap, &dMutMap, &restMap}) {
        m->setFixedScale(f);
        limits(m, false);
    }
    ratiMap.setFixedScale(f);
    limits(&ratiMap, true);
    for (ElemCtrl* row : qAsConst(elems->elemCtrls))
        for (int k = 0; k < ElemCtrl::mapCount; ++k) row->map(k)->setFixedScale(f);
    emit changedSelection();
}

void Analyzer::setupProcessMapsUi()
{
    auto* showGroup = new QButtonGroup(this);
    showGroup->addButton(ShowMap1);
    showGroup->addButton(ShowMap2);
    showGroup->addButton(ShowProcessedMap);
    ShowProcessedMap->setChecked(true);
    connect(showGroup, SIGNAL(buttonClicked(int)), this, SIGNAL(changedSelection()));

    auto* typeGroup = new QButtonGroup(this);
    typeGroup->addButton(ProcTypeSub);
    typeGroup->addButton(ProcTypeDiv);
    typeGroup->addButton(ProcTypeMask);
    ProcTypeSub->setChecked(true);

    connect(SelMap1, &QPushButton::clicked, &eShiftMapDialog1, &LazyFileDialog::show);
    connect(SelMap2, &QPushButton::clicked, &eShiftMapDialog2, &LazyFileDialog::show);
    connect(&eShiftMapDialog1, &LazyFileDialog::fileSelected, this, &Analyzer::loadEShiftMap1);
    connect(&eShiftMapDialog2, &LazyFileDialog::fileSelected, this, &Analyzer::loadEShiftMap2);
    connect(CaptureAsMap1, &QPushButton::clicked, this, &Analyzer::captureAsMap1);
    connect(CaptureAsMap2, &QPushButton::clicked, this, &Analyzer::captureAsMap2);
    connect(AskProcessMaps, &QPushButton::clicked, this, &Analyzer::processMaps);
}

void Analyzer::loadEShiftMap(const QString& fname, Analyzed2DRes& map, QLineEdit* nameField)
{
    EMPHeader header;
    emit loadMap(fname, map, header);
    if (header.valid) nameField->setText(fname);
}

void Analyzer::loadEShiftMap1(QString fname)
{
    loadEShiftMap(fname, map1, Map1Name);
}

void Analyzer::loadEShiftMap2(QString fname)
{
    loadEShiftMap(fname, map2, Map2Name);
}

void Analyzer::captureAs(Analyzed2DRes& map, QLineEdit* nameField)
{
    map.copyFrom(selectedMap());
    nameField->setText(map.name);
}

void Analyzer::captureAsMap1()
{
    captureAs(map1, Map1Name);
}

void Analyzer::captureAsMap2()
{
    captureAs(map2, Map2Name);
}

void Analyzer::processMaps()
{
    if (!map1.hasImage || !map2.hasImage) return;
    AnalyzeCond ac;
    emit askAnalyzeCond(ac);
    MapProcessing::Op op = MapProcessing::Subtract;
    if (ProcTypeSub->isChecked()) op = MapProcessing::Subtract;
    else if (ProcTypeDiv->isChecked()) op = MapProcessing::Divide;
    else if (ProcTypeMask->isChecked()) op = MapProcessing::Mask;
    MapProcessing::process(map1, map2, ac, op, processedMap);
    processedMap.genImg();
}
