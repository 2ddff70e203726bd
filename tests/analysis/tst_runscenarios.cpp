// Whole 2-D runs on a main window over a 4 x 3 stack of known mixtures, one
// row per thing a user does before or during a run; every block of the maps
// is checked against the truth of its own pixel, so a map shifted by one
// block, a value in the wrong row or a stale value cannot pass.

#include "analysis/Analysis2DDriver.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/ElemCtrl.h"
#include "analysis/ElemList.h"
#include "analysis/LCFReference.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "support/Files.h"
#include "support/RunStack.h"
#include "support/Spectra.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

double sig(double E, double E0) { return 0.5 * (1 + std::tanh((E - E0) / 0.4)); }
double pre(double E) { return 0.5 - 2e-4 * (E - 8800); }
double mu1(double E) { return pre(E) + sig(E, 9000); }
double mu2(double E) { return pre(E) + sig(E, 9006); }
// The share of the first reference: a step of at least 0.05 between blocks.
double share(int c, int r) { return 0.2 + 0.15 * c + 0.05 * r; }

enum Scenario {
    Plain,
    BatchStart,
    DeltaEBeforeFile,
    SetStdTwice,
    DeltaEEditMidRun,
    StopRestart,
    ModeSwitchMidRun,
    AllUncheckedMidRun,
    UseToggledInFlight,
    RefAddedMidRun,
    NoLcfReference,
    OffsetMap,
    ElemListEditMidRun,
    AbsentElement,
    NoEdgeReference,
    NothingEnabled,
    RatioOnTime
};

const double refShift = 3;   // eV the shifted reference file is off by
const double mapOffset = 4;  // eV of the energy-shift map

}  // namespace

class TestRunScenarios : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void scenario_data();
    void scenario();

private:
    QTemporaryDir dir;
    QString r1, r2, r1Shifted;
};

void TestRunScenarios::initTestCase()
{
    initGlobals();
    initColorTables();
    installAnalysisOnBody();
    QVERIFY(dir.isValid());
    r1 = dir.filePath("r1.dat");
    r2 = dir.filePath("r2.dat");
    r1Shifted = dir.filePath("r1s.dat");
    QVERIFY(ts::writeSpectrum(r1, synth::sample(8800, 9400, 1, mu1)));
    QVERIFY(ts::writeSpectrum(r2, synth::sample(8800, 9400, 1, mu2)));
    QVERIFY(ts::writeSpectrum(r1Shifted, synth::sample(8800, 9400, 1, [](double E) { return mu1(E - refShift); })));
}

void TestRunScenarios::scenario_data()
{
    QTest::addColumn<int>("what");
    QTest::newRow("plain run") << int(Plain);
    QTest::newRow("started by a batch word") << int(BatchStart);
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
    QTest::newRow("element absent from some blocks") << int(AbsentElement);
    QTest::newRow("edge comparison without reference") << int(NoEdgeReference);
    QTest::newRow("nothing enabled") << int(NothingEnabled);
    QTest::newRow("ratio map shown on time") << int(RatioOnTime);
}

void TestRunScenarios::scenario()
{
    QFETCH(int, what);
    ts::MuStack st;
    st.mu = [what](double E, int c, int r) {
        const double e = what == OffsetMap ? E - mapOffset : E;
        if (what == AbsentElement && c == 2) return pre(e);
        const double f = share(c, r);
        // A background of its own per pixel gives the residual maps something to show.
        const double bg = what == RatioOnTime ? 0.3 - 0.1 * c - 0.05 * r : 0.0;
        return bg + f * mu1(e) + (1 - f) * mu2(e);
    };
    Body b;
    ts::loadMuStack(b, st);
    Analyzer* a = AnalysisOnBody::of(b)->analyzer();
    Analysis2DDriver* run = AnalysisOnBody::of(b)->driver();
    QVERIFY(a && run);
    const bool lcf = what <= OffsetMap || what == ElemListEditMidRun;
    const bool elems = what == ElemListEditMidRun || what == AbsentElement;
    a->Sel2DA->setChecked(true);
    a->Sel2DAMLCFA->setChecked(lcf && what != NothingEnabled);
    a->Sel2DADEdgeA->setChecked(what == NoEdgeReference);
    a->Sel2DAElemA->setChecked(elems);
    a->Sel2DARAA->setChecked(what == RatioOnTime);
    // From above both edges' feet the relative residual has no near-zero
    // values to divide by, so the block's own fit leaves z near 0; a shifted
    // reference needs its edge inside the range to show.
    const bool shifted = what == DeltaEBeforeFile || what == SetStdTwice;
    a->setLCFRange(shifted ? 8900 : 9003, 9100);
    LCFReference* row0 = a->lcfRefs[0];
    if (what == DeltaEBeforeFile) {
        // The natural order in the panel: the shift first, then the file.
        row0->DeltaE->setText(QString::number(refShift));
        emit row0->DeltaE->editingFinished();
        row0->XFS->load(r1Shifted);
        QCOMPARE(row0->loadedFile(), r1Shifted);
    } else if (what == SetStdTwice) {
        a->setLCFStd(0, true, refShift, r1Shifted, "0");
        a->setLCFStd(0, true, refShift, r1Shifted, "0");
    } else if (what != NoLcfReference) {
        a->setLCFStd(0, true, 0, r1, "0");
    }
    if (what != NoLcfReference) a->setLCFStd(1, true, 0, r2, "0");
    if (what == OffsetMap) {
        AnalyzeCond whole;
        whole.set(st.w, st.h, 0, 0, 0, 0, st.w, st.h, -1, -1);
        b.shiftMap.setCond(whole);
        b.shiftMap.setData(0, 0, st.w, st.h, mapOffset);
    }
    if (elems) {
        a->setTargetElements(QStringLiteral("Cu"));
        a->elems->setElemsDE(30);
    }
    if (what == NoEdgeReference) {
        a->DEdgeCompWith->setChecked(true);
        a->DEdgeCWFile->setChecked(true);
    }
    if (what == RatioOnTime) {
        a->DispOnTime->setChecked(true);
        a->setRaEnergy(9100);
        // Rest above 0 everywhere: blocks not yet analysed (0) must not be its minimum.
        a->setRaFactor(0.1);
    }

    // What the user does while the run goes on, after its third block is in
    // the maps; later blocks may already be computed.
    bool inOrder = true;
    qint64 last = 0;
    connect(run, &Analysis2DDriver::blockRecorded, this, [&](qint64 answers) {
        // Recorded one by one, in the order of the walk, while the run is on.
        if (answers != last + 1 || !b.analysis2DRunning) inOrder = false;
        last = answers;
        if (answers == 1 && what == UseToggledInFlight) row0->XFS->Use->setChecked(false);
        if (answers == 2 && what == UseToggledInFlight) row0->XFS->Use->setChecked(true);
        if (answers != 3) return;
        switch (what) {
        case DeltaEEditMidRun: emit row0->DeltaE->editingFinished(); break;
        case ModeSwitchMidRun: a->SelProcMaps->setChecked(true); break;
        case AllUncheckedMidRun: a->Sel2DAMLCFA->setChecked(false); break;
        case RefAddedMidRun: QTest::mouseClick(a->AddRef, Qt::LeftButton); break;
        case ElemListEditMidRun:
            a->setTargetElements(QStringLiteral("Fe Ni"));
            a->AElemNames->setText(QStringLiteral("Zn"));
            emit a->AElemNames->editingFinished();
            break;
        default: break;
        }
    });

    QSignalSpy ended(run, &Analysis2DDriver::ended);
    QSignalSpy done(&b, &Body::finishBatchExec);
    if (what == NoEdgeReference || what == NothingEnabled) {
        // Refused at the start: from the button nobody waits; a batch is told at once.
        emit a->askAnalyze();
        QVERIFY(!b.analysis2DRunning);
        QCOMPARE(done.count(), 0);
        run->startFromBatch();
        QVERIFY(!b.analysis2DRunning);
        QCOMPARE(done.count(), 1);
        QCOMPARE(ended.count(), 0);
        for (int r = 0; r < st.h; ++r)
            for (int c = 0; c < st.w; ++c) QCOMPARE(a->dEdgeMap.valueAt(c, r), 0.0);
        return;
    }
    if (what == BatchStart)
        run->startFromBatch();
    else
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
    QCOMPARE(done.count(), what == BatchStart ? 1 : 0);
    if (what == BatchStart) QCOMPARE(done.at(0).at(0).toInt(), 112);

    // Blocks recorded: all, or those before the switch that left nothing to ask for.
    const int blocks = st.w * st.h;
    const int recorded = (what == ModeSwitchMidRun || what == AllUncheckedMidRun) ? 3 : blocks;
    if (recorded == blocks) QCOMPARE(a->Progress->text(), QString::asprintf("%5.2f", 100.0));
    const int n = run->lcfRefMaps.size() / 2;
    for (int r = 0; r < st.h; ++r) {
        for (int c = 0; c < st.w; ++c) {
            const int k = r * st.w + c;
            const QString at = QString("block %1,%2").arg(c).arg(r);
            if (lcf) {
                const double f0 = run->lcfRefMaps[n]->valueAt(c, r);
                const double f1 = run->lcfRefMaps[n + 1]->valueAt(c, r);
                const double z = a->zansaMap.valueAt(c, r);
                if (what == NoLcfReference || k >= recorded) {
                    QCOMPARE(f0, 0.0);
                    QCOMPARE(z, 0.0);
                } else {
                    // A run keeps the references it started with, Use toggles included.
                    const double f = share(c, r);
                    QVERIFY2(std::abs(f0 - f) < 5e-3, qPrintable(at + QString(": %1 vs %2").arg(f0).arg(f)));
                    QVERIFY2(std::abs(f1 - (1 - f)) < 5e-3, qPrintable(at + QString(": %1").arg(f1)));
                    // The residual of the block's own fit.
                    QVERIFY2(z >= 0 && (shifted || z < 1e-4), qPrintable(at + QString(": z %1").arg(z)));
                }
                // Rows without a reference keep their maps at 0.
                QCOMPARE(run->lcfRefMaps[n + 2]->valueAt(c, r), 0.0);
            }
            if (elems) {
                QCOMPARE(a->elems->names(), QStringList{"Cu-K"});
                QCOMPARE(a->AElemNames->text(), QStringLiteral("Cu"));
                ElemCtrl* cu = a->elemCtrls().at(0);
                const ElemRowSnapshot s = cu->snapshot();
                const double d = st.muOnGrid(s.e0 + s.dE, c, r) - st.muOnGrid(s.e0 - s.dE, c, r);
                const bool present = d > s.thDMut;
                QCOMPARE(present, !(what == AbsentElement && c == 2));
                QVERIFY2(std::abs(cu->map(ElemKind0)->valueAt(c, r) - (present ? d : 0.0)) < 1e-4,
                         qPrintable(at));
                // One row, its own main target: correlation 1 where it has a step, else 0.
                QCOMPARE(a->elemsCorMap.valueAt(c, r), present ? 1.0 : 0.0);
            }
        }
    }
    if (what == RatioOnTime) {
        double m = 1e300;
        for (int r = 0; r < st.h; ++r)
            for (int c = 0; c < st.w; ++c) m = std::min(m, a->restMap.valueAt(c, r));
        double lo = 1e300, hi = -1e300;
        for (int r = 0; r < st.h; ++r) {
            for (int c = 0; c < st.w; ++c) {
                const double rr = a->restMap.valueAt(c, r) - m;
                const double want = rr / (a->dMutMap.valueAt(c, r) + rr);
                QVERIFY(std::abs(a->ratiMap.valueAt(c, r) - want) < 1e-12);
                lo = std::min(lo, want);
                hi = std::max(hi, want);
            }
        }
        // The range is this run's last pass, not the extremes of earlier ones.
        QCOMPARE(a->ratiMap.dataMin, lo);
        QCOMPARE(a->ratiMap.dataMax, hi);
        QVERIFY(hi > lo);
    }
}

QTEST_MAIN(TestRunScenarios)
#include "tst_runscenarios.moc"
