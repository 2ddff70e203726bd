#include "AnalysisOnBody.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>

#include <climits>

#include "Analysis2DDriver.h"
#include "Analyzer.h"
#include "BlockFourier.h"
#include "LCFReference.h"
#include "SumUpCtrl.h"
#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/TiffData.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/BoundedField.h"
#include "mainwindow/SelectDataFiles.h"
#include "widgets/SpecPane.h"

namespace {

AnalysisOnBody* analysisOf(Body& body)
{
    if (AnalysisOnBody* a = AnalysisOnBody::of(body)) return a;
    return new AnalysisOnBody(body);
}

}  // namespace

void installAnalysisOnBody()
{
    BodyHooks& h = Body::hooks();
    h.setupAnalyzer = [](Body& body) { analysisOf(body)->setupAnalyzer(); };
    h.setupSumUp = [](Body& body) { analysisOf(body)->setupSumUp(); };
    h.setupFourier = [](Body& body) {
        Body* b = &body;
        QObject::connect(body.ExecFourierA, &QPushButton::clicked, &body, [b] {
            // The walk runs on this thread: the panel's progress field is
            // repainted directly, no events are taken meanwhile.
            Analyzer* panel = AnalysisOnBody::of(*b) ? AnalysisOnBody::of(*b)->analyzer() : nullptr;
            execFourierA(*b, [panel](double p) {
                if (panel) {
                    panel->setProgress(p);
                    panel->Progress->repaint();
                }
                return true;
            });
        });
    };
    h.selectedMap = [](const Body& body) -> Analyzed2DRes* {
        const AnalysisOnBody* a = AnalysisOnBody::of(body);
        return a ? a->selectedMap() : nullptr;
    };
    h.referenceIndex = [](const Body& body) {
        const AnalysisOnBody* a = AnalysisOnBody::of(body);
        return a ? a->referenceIndex() : 0;
    };
    h.referenceMaps = [](const Body& body) {
        const AnalysisOnBody* a = AnalysisOnBody::of(body);
        return a ? a->referenceMaps() : QVector<Analyzed2DRes*>();
    };
    h.beforeTeardown.insert(QStringLiteral("analysis"), [](Body& body) {
        if (AnalysisOnBody* a = AnalysisOnBody::of(body)) a->teardown();
    });
}

AnalysisOnBody::AnalysisOnBody(Body& b) : QObject(&b), body(b)
{
    setObjectName(QStringLiteral("AnalysisOnBody"));
}

AnalysisOnBody::~AnalysisOnBody()
{
    teardown();
}

AnalysisOnBody* AnalysisOnBody::of(const Body& body)
{
    return body.findChild<AnalysisOnBody*>(QStringLiteral("AnalysisOnBody"), Qt::FindDirectChildrenOnly);
}

bool AnalysisOnBody::allConnected() const
{
    for (const QMetaObject::Connection& c : connections)
        if (!c) return false;
    return !connections.isEmpty();
}

void AnalysisOnBody::setupAnalyzer()
{
    if (panel) return;
    panel = new Analyzer(nullptr);
    body.analysis2DRunning = false;
    connections << connect(body.ShowAnalyzer, &QPushButton::clicked, panel, &Analyzer::show);
    // The panel reads what it passed as soon as the emit returns.
    connections << connect(panel, &Analyzer::askAnalyzeCond, this, &AnalysisOnBody::askAnalyzeCond,
                           Qt::DirectConnection);
    connections << connect(panel, &Analyzer::loadMap, this, &AnalysisOnBody::loadMap, Qt::DirectConnection);
    connections << connect(panel, &Analyzer::changedSelection, &body, &Body::selectedNewRef);
    connections << connect(panel, &Analyzer::refused, &body, &Body::reportFailure);
    connections << connect(panel, &Analyzer::said, &body, &Body::report);
    connections << connect(&body, &Body::cursorSpectrumMade, panel, &Analyzer::analyzeAndShowSpectrum);
    connections << connect(&body, &Body::spectrumAutoRange, panel,
                           [this](bool on) { panel->specPane->autoRange = on; });
    connections << connect(panel->specPane, &SpecPane::reported, &body, &Body::report);
    Body* b = &body;
    panel->stackEnergies = [b] {
        QVector<double> e;
        e.reserve(b->i1Images.size());
        for (const TiffData* f : qAsConst(b->i1Images))
            if (f) e.append(f->energy);
        return e;
    };
    run = new Analysis2DDriver(body, *panel, this);
    connections << connect(panel, &Analyzer::askAnalyze, run, &Analysis2DDriver::start2DAnalysis);
}

void AnalysisOnBody::setupSumUp()
{
    if (!panel) return;
    SumUpCtrl* s = panel->SumUpC;
    s->setI1Stack(&body.i1Images);
    Body* b = &body;
    s->setGridProvider([b](AnalyzeCond& ac) { return b->fillAnalyzeCond(ac); });
    s->setTargetMap(&panel->sumUpMap);
    // Frame numbers: from is the first summed, to the one after the last.
    connections << boundField(body, s->SumUpFrom, tr("Sum Up Img No. From"), 0, INT_MAX);
    connections << boundField(body, s->SumUpTo, tr("Sum Up Img No. To"), 0, INT_MAX);
    // The image goes to the current folder: the status bar says which file
    // and where, or why not (a failed write is counted where it failed).
    connections << connect(panel, &Analyzer::askSumUp, s, [b, s] {
        const QString file = QFileInfo(SumUpCtrl::imageFileName()).absoluteFilePath();
        QString why;
        if (s->doSumUp(&why))
            b->report(tr("Sum up: saved %1 in %2")
                          .arg(QFileInfo(file).fileName(), QDir::toNativeSeparators(QFileInfo(file).absolutePath())));
        else
            b->report(tr("Sum up: %1 could not be saved: %2").arg(QDir::toNativeSeparators(file), why));
    });
}

void AnalysisOnBody::teardown()
{
    BodyHooks::cut(connections);
    if (!panel) return;
    // The view and the saved-images list may point at the panel's maps.
    if (body.dispA && body.dispA->overlayMap != &body.shiftMap) {
        body.dispA->setShowOverLayer(false);
        body.dispA->overlayMap = nullptr;
    }
    body.referenceMaps.clear();
    // The run points at the panel's maps and rows: it goes first.
    if (run) {
        run->stop2DAnalysis();
        delete run;
        run = nullptr;
    }
    Analyzer* p = panel;
    panel = nullptr;
    delete p;
}

Analyzed2DRes* AnalysisOnBody::selectedMap() const
{
    return panel ? panel->selectedMap() : nullptr;
}

int AnalysisOnBody::referenceIndex() const
{
    if (!panel) return 0;
    for (int i = 0; i < panel->lcfRefs.size(); ++i)
        if (panel->lcfRefs[i]->Show->isChecked()) return i;
    return 0;
}

QVector<Analyzed2DRes*> AnalysisOnBody::referenceMaps() const
{
    QVector<Analyzed2DRes*> maps;
    if (!panel) return maps;
    for (const LCFReference* r : qAsConst(panel->lcfRefs)) {
        const bool used = r->inUse() && !r->loadedFile().isEmpty();
        for (int k = 0; k < 2; ++k) maps.append(used && k < r->maps.size() ? r->maps[k] : nullptr);
    }
    return maps;
}

void AnalysisOnBody::askAnalyzeCond(AnalyzeCond& ac)
{
    body.fillAnalyzeCond(ac);
}

void AnalysisOnBody::loadMap(QString fname, Analyzed2DRes& map, EMPHeader& empH)
{
    const BodyHooks& h = Body::hooks();
    if (!h.readMapFile) {
        qDebug().noquote() << "No reader of energy map files:" << fname;
        return;
    }
    if (h.readMapFile(body, fname, map, empH) && panel) emit panel->changedSelection();
}
