// Whole 2-D runs on a main window over a 4 x 3 stack of known mixtures, one
// row per mode and per thing a user does before or during a run; every block
// of the maps is checked against the truth of its own pixel, so a map shifted
// by one block, a value in the wrong map or a stale value cannot pass.

#include "analysis/Analysis2DDriver.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/ElemCtrl.h"
#include "analysis/ElemList.h"
#include "analysis/LCFReference.h"
#include "core/Globals.h"
#include "support/Files.h"
#include "support/Maps.h"
#include "support/RunStack.h"
#include "support/Spectra.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

double pre(double E) { return 0.5 - 2e-4 * (E - 8800); }
double mu1(double E) { return pre(E) + synth::sigmoid(E, 9000, 0.4); }
double mu2(double E) { return pre(E) + synth::sigmoid(E, 9006, 0.4); }
// The share of the first reference: a step of at least 0.05 between blocks.
double share(int c, int r) { return 0.2 + 0.15 * c + 0.05 * r; }
// A background of its own per pixel, for the residual maps.
double background(int c, int r) { return 0.3 - 0.1 * c - 0.05 * r; }

// LCF runs up to ElemListEditMidRun, which runs elements too, as the next does alone.
enum Scenario { Plain, FirstRowUnused, DeltaEBeforeFile, SetStdTwice, DeltaEEditMidRun, StopRestart, ModeSwitchMidRun,
                AllUncheckedMidRun, UseToggledInFlight, RefAddedMidRun, NoLcfReference, OffsetMap, ElemListEditMidRun,
                AbsentElement, EdgeShift, Residual, NoEdgeReference };

const double refShift = 3;   // eV the shifted reference file is off by
const double mapOffset = 4;  // eV of the energy-shift map
const double raAt = 9100, raFactor = 0.1;

}  // namespace

class TestRunScenarios : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        initGlobals();
        initColorTables();
        installAnalysisOnBody();
        QVERIFY(ts::writeSpectrum(dir.filePath("r1.dat"), synth::sample(8800, 9400, 1, mu1)));
        QVERIFY(ts::writeSpectrum(dir.filePath("r2.dat"), synth::sample(8800, 9400, 1, mu2)));
        QVERIFY(ts::writeSpectrum(dir.filePath("r1s.dat"), synth::sample(8800, 9400, 1, [](double E) {
                                      return mu1(E - refShift);
                                  })));
    }

    void scenario_data()
    {
        QTest::addColumn<int>("what");
        QTest::newRow("LCF, plain run") << int(Plain);
        QTest::newRow("LCF, first row not in use") << int(FirstRowUnused);
        QTest::newRow("DeltaE typed before the file") << int(DeltaEBeforeFile);
        QTest::newRow("reference set twice") << int(SetStdTwice);
        QTest::newRow("DeltaE edited mid-run") << int(DeltaEEditMidRun);
        QTest::newRow("stop then immediate restart") << int(StopRestart);
        QTest::newRow("switch to processing mid-run") << int(ModeSwitchMidRun);
        QTest::newRow("every analysis unchecked mid-run") << int(AllUncheckedMidRun);
        QTest::newRow("Use toggled mid-run") << int(UseToggledInFlight);
        QTest::newRow("reference added mid-run") << int(RefAddedMidRun);
        QTest::newRow("LCF without references") << int(NoLcfReference);
        QTest::newRow("energy-shift map applied") << int(OffsetMap);
        QTest::newRow("element list edited mid-run") << int(ElemListEditMidRun);
        QTest::newRow("elements, absent from some blocks") << int(AbsentElement);
        QTest::newRow("edge shift") << int(EdgeShift);
        QTest::newRow("residual absorption, ratio shown on time") << int(Residual);
        QTest::newRow("edge comparison without reference") << int(NoEdgeReference);
    }

    void scenario();
};

void TestRunScenarios::scenario()
{
    QFETCH(int, what);
    ts::MuStack st;
    st.mu = [what](double E, int c, int r) {
        if (what == EdgeShift) return pre(E) + synth::sigmoid(E, 9000 + 2 * c + r, 0.4);
        const double e = what == OffsetMap ? E - mapOffset : E;
        if (what == AbsentElement && c == 2) return pre(e);
        const double bg = what == Residual ? background(c, r) : 0.0;
        return bg + share(c, r) * mu1(e) + (1 - share(c, r)) * mu2(e);
    };
    Body b;
    ts::loadMuStack(b, st);
    Analyzer* a = AnalysisOnBody::of(b)->analyzer();
    Analysis2DDriver* run = AnalysisOnBody::of(b)->driver();
    const bool lcf = what <= ElemListEditMidRun;
    const bool elems = what == ElemListEditMidRun || what == AbsentElement;
    a->Sel2DA->setChecked(true);
    a->Sel2DAMLCFA->setChecked(lcf);
    a->Sel2DADEdgeA->setChecked(what == EdgeShift || what == NoEdgeReference);
    a->Sel2DAElemA->setChecked(elems);
    a->Sel2DARAA->setChecked(what == Residual);
    // From above both edges' feet the relative residual has no near-zero
    // values to divide by, so the block's own fit leaves z near 0; a shifted
    // reference needs its edge inside the range to show.
    const bool shifted = what == DeltaEBeforeFile || what == SetStdTwice;
    a->setLCFRange(shifted ? 8900 : 9003, 9100);
    const int first = what == FirstRowUnused ? 1 : 0;  // the row of the first reference
    LCFReference* row0 = a->lcfRefs[first];
    if (what == DeltaEBeforeFile) {
        // The natural order in the panel: the shift first, then the file.
        row0->DeltaE->setText(QString::number(refShift));
        emit row0->DeltaE->editingFinished();
        row0->XFS->load(dir.filePath("r1s.dat"));
    } else if (what == SetStdTwice) {
        a->setLCFStd(0, true, refShift, dir.filePath("r1s.dat"), "0");
        a->setLCFStd(0, true, refShift, dir.filePath("r1s.dat"), "0");
    } else if (what != NoLcfReference) {
        a->setLCFStd(first, true, 0, dir.filePath("r1.dat"), "0");
    }
    if (what != NoLcfReference) a->setLCFStd(first + 1, true, 0, dir.filePath("r2.dat"), "0");
    if (first) a->setLCFStd(0, false, 0, dir.filePath("r2.dat"), "0");
    if (what == OffsetMap) ts::fillMap(b.shiftMap, st.w, st.h, [](int, int) { return mapOffset; });
    if (elems) {
        a->setTargetElements(QStringLiteral("Cu"));
        a->elems->setElemsDE(30);
    }
    a->DEdgeCompWith->setChecked(what == NoEdgeReference);
    a->DEdgeCWFile->setChecked(what == NoEdgeReference);
    a->DispOnTime->setChecked(what == Residual);
    a->setRaEnergy(raAt);
    a->setRaFactor(raFactor);

    // What the user does while the run goes on, after its third block is in
    // the maps; later blocks may already be computed.
    bool inOrder = true;
    qint64 last = 0;
    connect(run, &Analysis2DDriver::blockRecorded, this, [&](qint64 answers) {
        // Recorded one by one, in the order of the walk, while the run is on.
        if (answers != last + 1 || !b.analysis2DRunning) inOrder = false;
        last = answers;
        if (what == UseToggledInFlight && answers <= 2) row0->XFS->Use->setChecked(answers == 2);
        if (answers != 3) return;
        if (what == DeltaEEditMidRun) emit row0->DeltaE->editingFinished();
        if (what == ModeSwitchMidRun) a->SelProcMaps->setChecked(true);
        if (what == AllUncheckedMidRun) a->Sel2DAMLCFA->setChecked(false);
        if (what == RefAddedMidRun) QTest::mouseClick(a->AddRef, Qt::LeftButton);
        if (what == ElemListEditMidRun) {
            a->setTargetElements(QStringLiteral("Fe Ni"));
            a->AElemNames->setText(QStringLiteral("Zn"));
            emit a->AElemNames->editingFinished();
        }
    });

    QSignalSpy ended(run, &Analysis2DDriver::ended);
    QSignalSpy done(&b, &Body::finishBatchExec);
    if (what == NoEdgeReference) {
        // Refused at the start: from the button nobody waits; a batch is told at once.
        emit a->askAnalyze();
        run->startFromBatch();
        QVERIFY(!b.analysis2DRunning);
        QCOMPARE(done.count(), 1);
        QCOMPARE(ended.count(), 0);
        return;
    }
    emit a->askAnalyze();
    if (what == StopRestart) {
        emit a->askAnalyze();
        QVERIFY(!b.analysis2DRunning);
        emit a->askAnalyze();
    }
    QVERIFY(b.analysis2DRunning);
    QVERIFY(ended.wait(60000));
    QTest::qWait(20);
    QVERIFY(!b.analysis2DRunning);
    QVERIFY(!a->contAccess);
    QVERIFY(inOrder);
    // Only a batch word's run releases the batch.
    QCOMPARE(done.count(), 0);

    // Blocks recorded: all, or those before the switch that left nothing to ask for.
    const int recorded = (what == ModeSwitchMidRun || what == AllUncheckedMidRun) ? 3 : st.w * st.h;
    const int n = run->lcfRefMaps.size() / 2;
    const double edgeEnergy = b.suggestElmFromUi().edgeEnergy;
    double minRest = 1e300;
    for (int r = 0; r < st.h; ++r)
        for (int c = 0; c < st.w; ++c) minRest = std::min(minRest, background(c, r) + pre(raAt) - raFactor);
    for (int r = 0; r < st.h; ++r) {
        for (int c = 0; c < st.w; ++c) {
            const QString at = QString("block %1,%2").arg(c).arg(r);
            if (lcf) {
                const double f0 = run->lcfRefMaps[n + first]->valueAt(c, r);
                const double f1 = run->lcfRefMaps[n + first + 1]->valueAt(c, r);
                const double z = a->zansaMap.valueAt(c, r);
                if (what == NoLcfReference || r * st.w + c >= recorded) {
                    QCOMPARE(f0, 0.0);
                    QCOMPARE(z, 0.0);
                } else {
                    // A run keeps the references it started with, Use toggles included.
                    QVERIFY2(std::abs(f0 - share(c, r)) < 5e-3, qPrintable(at + QString(": %1").arg(f0)));
                    QVERIFY2(std::abs(f1 - (1 - share(c, r))) < 5e-3, qPrintable(at + QString(": %1").arg(f1)));
                    // The residual of the block's own fit.
                    QVERIFY2(z >= 0 && (shifted || z < 1e-4), qPrintable(at + QString(": z %1").arg(z)));
                }
                // Rows without a reference or not in use keep their maps at 0.
                QCOMPARE(run->lcfRefMaps[n + (first ? 0 : 2)]->valueAt(c, r), 0.0);
            }
            if (elems) {
                QCOMPARE(a->AElemNames->text(), QStringLiteral("Cu"));
                ElemCtrl* cu = a->elemCtrls().at(0);
                const ElemRowSnapshot s = cu->snapshot();
                const double d = st.muOnGrid(s.e0 + s.dE, c, r) - st.muOnGrid(s.e0 - s.dE, c, r);
                const bool present = d > s.thDMut;
                QCOMPARE(present, !(what == AbsentElement && c == 2));
                QVERIFY2(std::abs(cu->map(ElemKind0)->valueAt(c, r) - (present ? d : 0.0)) < 1e-4, qPrintable(at));
                // One row, its own main target: correlation 1 where it has a step, else 0.
                QCOMPARE(a->elemsCorMap.valueAt(c, r), present ? 1.0 : 0.0);
            }
            if (what == EdgeShift) {
                const double want = 9000 + 2 * c + r - edgeEnergy;
                QVERIFY2(std::abs(a->dEdgeMap.valueAt(c, r) - want) < 0.05, qPrintable(at));
            }
            if (what == Residual) {
                // Both edges have stepped by 1 at the energy; the rest is the pre-edge line less 0.1 of it.
                const double rest = background(c, r) + pre(raAt) - raFactor;
                QVERIFY2(std::abs(a->dMutMap.valueAt(c, r) - 1) < 1e-3, qPrintable(at));
                QVERIFY2(std::abs(a->restMap.valueAt(c, r) - rest) < 1e-3, qPrintable(at));
                const double rr = rest - minRest;
                QVERIFY2(std::abs(a->ratiMap.valueAt(c, r) - rr / (1 + rr)) < 1e-3, qPrintable(at));
            }
        }
    }
}

QTEST_MAIN(TestRunScenarios)
#include "tst_runscenarios.moc"
