// Whole 2-D runs on a main window. Over a 4 x 3 stack of known mixtures, one
// row per mode and per thing a user does before or during a run, every block
// of the maps is checked against the truth of its own pixel, so a map shifted
// by one block, a value in the wrong map or a stale value cannot pass. On the
// pool of threads the maps hold, value for value, what the panel's own worker
// gives for each block's spectrum. Then the panel's wiring on the window and
// its teardown with a run under way.

#include "analysis/Analysis2DDriver.h"
#include "analysis/Analysis2DRecord.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/ElemCtrl.h"
#include "analysis/ElemList.h"
#include "analysis/LCFReference.h"
#include "analysis/SumUpCtrl.h"
#include "tools/EShiftMapFile.h"
#include "core/FailureLog.h"
#include "core/Globals.h"
#include "mainwindow/BodyHooks.h"
#include "support/Files.h"
#include "support/BodyStack.h"
#include "support/Headless.h"
#include "support/EdgeSpectra.h"
#include "support/Maps.h"
#include "support/MeasuredSpectra.h"
#include "support/MixedStack.h"
#include "support/RunStack.h"
#include "support/Spectra.h"
#include "widgets/ImgDispA.h"
#include "widgets/SpecPane.h"
#include "widgets/XafsFileSelect.h"

#include <QDir>
#include <QPointer>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <random>

namespace {

double pre(double E) { return 0.5 - 2e-4 * (E - 8800); }
double mu1(double E) { return pre(E) + synth::sigmoid(E, 9000, 0.4); }
double mu2(double E) { return pre(E) + synth::sigmoid(E, 9006, 0.4); }
const double refShift = 3;  // eV the shifted reference file is off by
double mu1Shifted(double E) { return mu1(E - refShift); }
// The share of the first reference: a step of at least 0.05 between blocks.
double share(int c, int r) { return 0.2 + 0.15 * c + 0.05 * r; }
// A background of its own per pixel, for the residual maps.
double background(int c, int r) { return 0.3 - 0.1 * c - 0.05 * r; }

// LCF runs up to ElemListEditMidRun, which runs elements too, as the next does alone.
enum Scenario { Plain, FirstRowUnused, DeltaEBeforeFile, SetStdTwice, DeltaEEditMidRun, StopRestart, ModeSwitchMidRun,
                AllUncheckedMidRun, UseToggledInFlight, RefAddedMidRun, NoLcfReference, ElemListEditMidRun,
                AbsentElement, EdgeShift, Residual, NoEdgeReference };

const double raAt = 9100, raFactor = 0.1;

// Every value a run of all four analyses records for a block: read from its
// maps at (x, y), or with x < 0 what the panel's worker answered last.
QVector<double> blockValues(Analyzer* a, Analysis2DDriver* run, int x = -1, int y = -1)
{
    QVector<double> v;
    auto add = [&](const Analyzed2DRes* m, double answer) { v << (x < 0 ? answer : m->valueAt(x, y)); };
    const int n = a->lcfRefs.size();
    const LcfResult& r = a->lastLcf;
    for (int i = 0; i < 2 * n; ++i) {
        const int j = r.rows.indexOf(i % n);
        add(run->lcfRefMaps.value(i), j < 0 ? 0.0 : (i < n ? r.amounts : r.fractions).value(j));
    }
    add(&a->zansaMap, r.status == LcfResult::Fitted ? r.z : 0.0);
    add(&a->dEdgeMap, a->lastDEdge);
    add(&a->dMutMap, a->lastRa.jump);
    add(&a->restMap, a->lastRa.rest);
    for (int kind = 0; kind < ElemKindCount; ++kind)
        for (int i = 0; i < a->elemCtrls().size(); ++i)
            add(a->elemCtrls()[i]->map(ElemKind(kind)), a->lastElems.kinds[kind].value(i));
    add(&a->elemsCorMap, a->cor);
    return v;
}

// Frames 0.5 eV apart at the edge, `coarse` apart away from it; I1 with photon noise at 1e6 counts.
QVector<double> loadEdgeStack(Body& b, int w, int h, double from, double coarse, double to,
                              const std::function<double(double E, int c, int r)>& mu)
{
    QVector<double> e;
    for (double E = from; E < 8960; E += coarse) e << E;
    for (double E = 8960; E < 9040; E += 0.5) e << E;
    for (double E = 9040; E <= to; E += coarse) e << E;
    auto i1 = [=](int k, int c, int r) {
        const double counts = 1e6 * std::exp(-mu(e[k], c, r));
        std::mt19937 g(1 + 7919 * k + 131 * c + r);
        return counts + std::sqrt(counts) * std::normal_distribution<double>()(g);
    };
    ts::loadStack(b, {w, h, int(e.size()), [e](int k) { return e[k]; }, i1, [](int, int, int) { return 1e6; }});
    b.HWidth->setText(QStringLiteral("0"));
    b.VWidth->setText(QStringLiteral("0"));
    return e;
}

bool runToEnd(Analyzer* a, Analysis2DDriver* run)
{
    QSignalSpy ended(run, &Analysis2DDriver::ended);
    emit a->askAnalyze();
    return ended.wait(60000);
}

// Per column of row 0, the fractions of reference rows 1 and 2: from the cursor's fits or a 2-D run's maps.
QVector<QPointF> fractions(Body& b, bool viaRun, int w)
{
    Analyzer* a = AnalysisOnBody::of(b)->analyzer();
    Analysis2DDriver* run = AnalysisOnBody::of(b)->driver();
    const LcfResult& r = a->lastLcf;
    auto of = [&r](int row) { return r.rows.contains(row) ? r.fractions.value(r.rows.indexOf(row)) : 0.0; };
    QVector<QPointF> f;
    if (viaRun && !runToEnd(a, run)) return f;
    const int n = run->lcfRefMaps.size() / 2;
    for (int c = 0; c < w; ++c) {
        if (!viaRun) {
            b.showXafsSpectrum(c, 0);
            if (!QTest::qWaitFor([a] { return a->pending == 0; }, 10000) || r.status != LcfResult::Fitted) break;
        }
        f << (viaRun ? QPointF(run->lcfRefMaps[n]->valueAt(c, 0), run->lcfRefMaps[n + 1]->valueAt(c, 0))
                     : QPointF(of(0), of(1)));
    }
    return f;
}

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
        // The sum-up writes its image into the working directory.
        QVERIFY(QDir::setCurrent(dir.path()));
        QVERIFY(ts::writeSpectrum(dir.filePath("r1.dat"), synth::sample(8800, 9400, 1, mu1)));
        QVERIFY(ts::writeSpectrum(dir.filePath("r2.dat"), synth::sample(8800, 9400, 1, mu2)));
        QVERIFY(ts::writeSpectrum(dir.filePath("r1s.dat"), synth::sample(8800, 9400, 1, mu1Shifted)));
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
        QTest::newRow("element list edited mid-run") << int(ElemListEditMidRun);
        QTest::newRow("elements, absent from some blocks") << int(AbsentElement);
        QTest::newRow("edge shift") << int(EdgeShift);
        QTest::newRow("residual absorption, ratio shown on time") << int(Residual);
        QTest::newRow("edge comparison without reference") << int(NoEdgeReference);
    }
    void scenario()
    {
        QFETCH(int, what);
        ts::MuStack st;
        st.mu = [what](double E, int c, int r) {
            if (what == EdgeShift) return pre(E) + synth::sigmoid(E, 9000 + 2 * c + r, 0.4);
            if (what == AbsentElement && c == 2) return pre(E);
            const double bg = what == Residual ? background(c, r) : 0.0;
            return bg + share(c, r) * mu1(E) + (1 - share(c, r)) * mu2(E);
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
        const int failures = FailureLog::count();
        emit a->askAnalyze();
        if (what == StopRestart) {
            emit a->askAnalyze();
            QVERIFY(!b.analysis2DRunning);
            emit a->askAnalyze();
        }
        QVERIFY(b.analysis2DRunning);
        QVERIFY(ended.wait(60000));
        QTest::qWait(20);
        QVERIFY(!b.analysis2DRunning && !a->contAccess);
        QVERIFY(inOrder);
        // Only a batch word's run releases the batch.
        QCOMPARE(done.count(), 0);
        // Fits without a reference give nothing; both element lists edited mid-run are refused.
        QCOMPARE(FailureLog::count() - failures, what == NoLcfReference ? 1 : what == ElemListEditMidRun ? 2 : 0);

        // Blocks recorded: all, or those before the switch that left nothing to ask for.
        const int recorded = (what == ModeSwitchMidRun || what == AllUncheckedMidRun) ? 3 : st.w * st.h;
        const int n = run->lcfRefMaps.size() / 2;
        // The background falls along rows and columns: the least rest is in the last block.
        const double minRest = background(st.w - 1, st.h - 1) + pre(raAt) - raFactor;
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
                    const double want = 9000 + 2 * c + r - b.suggestElmFromUi().edgeEnergy;
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

    void sameMapsAsOneBlockAtATime()
    {
        ts::MuStack st;
        st.w = 9;
        st.h = 7;
        st.mu = [](double E, int c, int r) {
            const double f = 0.1 + 0.09 * c + 0.03 * r;
            // Noise of its own per pixel, so that no two blocks give the same numbers.
            return f * mu1(E) + (1 - f) * mu2(E) + 2e-3 * std::sin(0.37 * E + 1.3 * c + 2.9 * r);
        };
        Body b;
        ts::loadMuStack(b, st);
        b.HWidth->setText("1");
        b.VWidth->setText("1");
        Analyzer* a = AnalysisOnBody::of(b)->analyzer();
        Analysis2DDriver* run = AnalysisOnBody::of(b)->driver();
        a->Sel2DA->setChecked(true);
        a->Sel2DAMLCFA->setChecked(true);
        a->MLCF->setChecked(true);
        a->Sel2DADEdgeA->setChecked(true);
        a->Sel2DAElemA->setChecked(true);
        a->Sel2DARAA->setChecked(true);
        a->setLCFStd(0, true, 0, dir.filePath("r1.dat"), "0");
        a->setLCFStd(1, true, 0.5, dir.filePath("r2.dat"), "0");
        a->setLCFRange(8950, 9050);
        a->setRaEnergy(9000);
        a->setRaFactor(0.3);
        a->setTargetElements(QStringLiteral("Cu Ni"));
        a->elems->setElemsDE(20);
        ts::fillMap(b.shiftMap, st.w, st.h, [](int x, int y) { return 0.7 * x - 0.4 * y; });
        QTest::qWait(50);  // the cursor spectrum's own answers

        // One block at a time through the panel's worker, as the cursor spectrum is.
        AnalyzeCond grid;
        QVERIFY(b.fillAnalyzeCond(grid));
        a->initAnalyzeSpectrum();
        QVector<QVector<double>> want;
        int tag = 1000;
        do {
            XafsSpectrum xs(b.makeXafsSpectrum(grid.curX, grid.curY, grid.xw, grid.yw), QStringLiteral("Body-AaP"), 1,
                            b.energyShiftAt(grid.curX, grid.curY), b.suggestElmFromUi());
            QSignalSpy finished(a, &Analyzer::finished);
            QVERIFY(a->analyzeSpectrum(xs, b.suggestElmFromUi(), ++tag) != 0);
            while (a->finishedTag != tag) QVERIFY(finished.wait(10000));
            want << blockValues(a, run);
        } while (grid.next());

        QSignalSpy ended(run, &Analysis2DDriver::ended);
        emit a->askAnalyze();
        QVERIFY(ended.wait(60000));
        grid.reset();
        for (const QVector<double>& e : qAsConst(want)) {
            const QVector<double> got = blockValues(a, run, grid.curX, grid.curY);
            QVERIFY2(got == e, qPrintable(QString("block %1,%2").arg(grid.curX).arg(grid.curY)));
            grid.next();
        }
    }

    // The edge map of a run against each pixel's own edge: at mid-point ratios where the pre- and post-edge lines
    // weigh unequally, and compared with a file or the step, under a shift map giving each block its own offset.
    void edgeMapAgainstTruth_data()
    {
        QTest::addColumn<QString>("how");  // "mid", "file" or "step"
        QTest::addColumn<double>("ratio");
        QTest::addColumn<bool>("mapped");  // an energy-shift map is loaded
        QTest::newRow("mid-point at 0.3") << "mid" << 0.3 << false;
        QTest::newRow("mid-point at 0.7, shift map") << "mid" << 0.7 << true;
        QTest::newRow("mid-point at 0.5, shift map") << "mid" << 0.5 << true;
        QTest::newRow("compared with a file, shift map") << "file" << 0.5 << true;
        QTest::newRow("compared with the step, shift map") << "step" << 0.5 << true;
    }
    void edgeMapAgainstTruth()
    {
        QFETCH(QString, how);
        QFETCH(double, ratio);
        QFETCH(bool, mapped);
        // eV: the tanh step's width, the references' edge (the step's own place); pixel (c, r)'s edge on the true
        // scale, and the offset the map says its energies read high by.
        const double width = 4, refEdge = 9000;
        auto edgeAt = [](int c, int r) { return 9000 + 1.5 * c - 0.8 * r + 0.13; };
        auto offset = [mapped](int c, int r) { return mapped ? 2.5 + 0.7 * c - 0.4 * r : 0.0; };
        // Lines of unlike slopes: mixing them up moves every crossing.
        auto mu = [width](double E, double E0) {
            const double s = 0.5 * (1 + std::tanh((E - E0) / width));
            return (1 - s) * (0.4 + 1e-4 * (E - 9000)) + s * (1.4 - 3e-4 * (E - 9000));
        };
        const int w = 4, h = 3;
        Body b;
        loadEdgeStack(b, w, h, 8800, 5, 9400, [=](double E, int c, int r) { return mu(E - offset(c, r), edgeAt(c, r)); });
        if (mapped) ts::fillMap(b.shiftMap, w, h, offset);
        Analyzer* a = AnalysisOnBody::of(b)->analyzer();
        a->Sel2DADEdgeA->setChecked(true);
        a->DEdgeMidRatio->setText(QString::number(ratio));
        a->DEdgeCompWith->setChecked(how != "mid");
        if (how == "file") {
            const QString ref = dir.filePath("edge-ref.dat");
            QVERIFY(ts::writeSpectrum(ref, synth::sample(8800, 9400, 0.5, [&](double E) { return mu(E, refEdge); })));
            a->DEdgeCWFileSelect->fileSelected(ref);
        }
        a->DEdgeCWStep->setChecked(how == "step");
        QVERIFY(runToEnd(a, AnalysisOnBody::of(b)->driver()));
        // Where the smooth step crosses the ratio between the lines.
        const double crossing = width * std::atanh(2 * ratio - 1), E0 = b.suggestElmFromUi().edgeEnergy;
        // Smoothing moves a crossing by hundredths of an eV, the comparison ends on a 0.1 eV step; a step
        // reference scores alike until it passes a measured point, 0.5 eV apart at the edge, and nearly
        // alike either side of the point nearest half height (the truth lies 0.13 eV past a point).
        const double tolerance = how == "step" ? 0.65 : 0.1;
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                const double want = how == "mid" ? edgeAt(c, r) + crossing - E0 : edgeAt(c, r) - refEdge;
                const double got = a->dEdgeMap.valueAt(c, r);
                QVERIFY2(std::fabs(got - want) <= tolerance, qPrintable(QString("%1,%2: %3").arg(c).arg(r).arg(got)));
            }
    }

    // References saved from the window's own cursor spectra of the pure regions are normalised as the
    // spectra fitted to them, whatever the suggestion or the rows' line box, in the cursor's fits as in the maps.
    void fractionsUnderSuggestion_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("how");  // suggestion on, off, off with the rows' Victreen box checked
        const char *kinds[] = {"LCF", "old LCF", "MLCF"}, *hows[] = {"suggestion on", "suggestion off", "Victreen box"};
        for (int i = 0; i < 9; ++i) QTest::addRow("%s, %s", kinds[i / 3], hows[i % 3]) << i / 3 << i % 3;
    }
    void fractionsUnderSuggestion()
    {
        QFETCH(int, kind);
        QFETCH(int, how);
        Body b;  // suggesting the Cu K edge
        const double E0 = b.suggestElmFromUi().edgeEnergy;
        // Columns 0-1 pure A (with a strong white line), 2-3 pure B 2.5 eV up, 4-5 half of each.
        auto fA = [](int c) { return c < 2 ? 1.0 : c < 4 ? 0.0 : 0.5; };
        ts::MuStack st{6, 1, std::floor(E0) - 50, 1, 151, [=](double E, int c, int) {
                           const double whiteLine = 0.9 * std::exp(-std::pow((E - E0 - 5) / 4.5, 2));
                           return 0.4 - 1e-4 * (E - E0) + (1 - fA(c)) * synth::sigmoid(E, E0 + 2.5, 1.5)
                                  + fA(c) * (synth::sigmoid(E, E0, 1) + whiteLine);
                       }};
        ts::loadMuStack(b, st);
        b.UseSuggestElm->setChecked(how == 0);
        Analyzer* a = AnalysisOnBody::of(b)->analyzer();
        Analysis2DDriver* run = AnalysisOnBody::of(b)->driver();
        a->Sel2DAMLCFA->setChecked(true);
        a->MLCF->setChecked(kind == 2);
        a->AsOldLCF->setChecked(kind == 1);
        a->setLCFRange(E0 - 40, E0 + 90);
        for (int i = 0; i < 2; ++i) {
            b.showXafsSpectrum(2 * i, 0);
            const QString f = dir.filePath(QString("pure%1.dat").arg(i));
            b.specWindow->saveData(f);
            a->setLCFStd(i, true, 0, fileNameWithSuffix(fileNameWithTag(f, "T"), "dat"), how == 2 ? "" : "0");
        }
        auto check = [&](const char* where, int c, double fracA, double fracB) {
            QVERIFY2(std::max(std::abs(fracA - fA(c)), std::abs(fracB - 1 + fA(c))) <= (c < 4 ? 0.01 : 0.02),
                     qPrintable(QString("%1, column %2: %3 A, %4 B").arg(where).arg(c).arg(fracA).arg(fracB)));
        };
        for (int c : {1, 3, 5}) {
            QTRY_COMPARE_WITH_TIMEOUT(a->pending, 0, 10000);  // the answers to spectra shown before go first
            b.showXafsSpectrum(c, 0);
            QTRY_COMPARE_WITH_TIMEOUT(a->pending, 0, 10000);
            check("cursor", c, a->lastLcf.fractions.value(0), a->lastLcf.fractions.value(1));
        }
        QSignalSpy ended(run, &Analysis2DDriver::ended);
        emit a->askAnalyze();
        QVERIFY(ended.wait(60000));
        const int n = run->lcfRefMaps.size() / 2;
        for (int c = 0; c < 6; ++c)
            check("map", c, run->lcfRefMaps[n]->valueAt(c, 0), run->lcfRefMaps[n + 1]->valueAt(c, 0));
    }

    // A reference row cleared by its button, or given an unreadable file in its selector or by the script's call:
    // the cursor's fit, redone at once, and the next run fit the pure B columns by the other row alone.
    void droppedReferenceLeavesTheFits_data()
    {
        QTest::addColumn<int>("how");  // 0 Clear clicked, 1 chosen in the selector, 2 set by call
        QTest::newRow("Clear clicked") << 0;
        QTest::newRow("unreadable file chosen in the selector") << 1;
        QTest::newRow("unreadable file set by the script's call") << 2;
    }
    void droppedReferenceLeavesTheFits()
    {
        QFETCH(int, how);
        Body b;  // columns 0-1 pure B, 2-3 half A and half B
        ts::loadMuStack(b, {4, 1, 8850, 2, 151,
                            [](double E, int c, int) { return c < 2 ? mu2(E) : (mu1(E) + mu2(E)) / 2; }});
        Analyzer* a = AnalysisOnBody::of(b)->analyzer();
        a->Sel2DAMLCFA->setChecked(true);
        a->setLCFRange(9003, 9100);
        for (int i : {0, 1}) QVERIFY(a->setLCFStd(i, true, 0, dir.filePath(QString("r%1.dat").arg(i + 1)), "0"));
        LCFReference* rowA = a->lcfRefs[0];
        QVERIFY(std::abs(fractions(b, false, 3).value(2).x() - 0.5) < 5e-3 && !rowA->R->text().isEmpty());

        const int failures = FailureLog::count();
        const QString missing = dir.filePath("gone/r1.dat");
        if (how == 0) QTest::mouseClick(rowA->XFS->Clear, Qt::LeftButton);
        if (how == 1) emit rowA->XFS->dialog->fileSelected(missing);
        if (how == 2) QVERIFY(!a->setLCFStd(0, true, 0, missing, "0"));
        // Only the unread file is a failure, said with its name.
        QCOMPARE(FailureLog::count() - failures, how == 0 ? 0 : 1);
        if (how > 0)
            QCOMPARE(b.statusBar()->currentMessage(),
                     QString("The LCF reference file \"%1\" could not be read: reference row 0 has no file now").arg(missing));
        QVERIFY(rowA->XFS->Selected->text().isEmpty() && rowA->R->text().isEmpty() && !rowA->inUse());
        QTRY_COMPARE_WITH_TIMEOUT(a->pending, 0, 10000);
        QCOMPARE(a->lastLcf.rows, QVector<int>({1}));
        for (bool viaRun : {false, true}) {
            const QVector<QPointF> f = fractions(b, viaRun, viaRun ? 4 : 2);
            QCOMPARE(f.size(), viaRun ? 4 : 2);
            for (int c = 0; c < f.size(); ++c)
                QVERIFY2(f[c].x() == 0 && (c > 1 || std::abs(f[c].y() - 1) < 5e-3), qPrintable(QString::number(c)));
        }
    }

    // A run in which no block gave any analysis a value (frames numbered 0 .. N, as when their names hold no
    // energy) is said and counted; a run with the sample in half the stack, or all of it, is not.
    void runWithoutResult_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("sample");  // 0 frames numbered, no edge where suggested; 1 left half; 2 all
        for (const char* m : {"LCF", "edge shift", "residual", "elements"}) {
            QTest::addRow("%s, frames numbered", m) << QString(m) << 0;
            QTest::addRow("%s, sample everywhere", m) << QString(m) << 2;
        }
        QTest::newRow("edge shift, sample in the left half") << "edge shift" << 1;
    }
    void runWithoutResult()
    {
        QFETCH(QString, mode);
        QFETCH(int, sample);
        Body b;  // suggesting the Cu K edge
        const double E0 = b.suggestElmFromUi().edgeEnergy;
        ts::loadMuStack(b, {4, 2, sample ? std::floor(E0) - 100 : 0, sample ? 2.0 : 1.0, 151, [=](double E, int c, int) {
            return sample == 1 && c >= 2 ? 0.4 : 0.4 - 1e-4 * E + synth::sigmoid(E, sample ? E0 : 75, 1);
        }});
        b.UseSuggestElm->setChecked(true);
        Analyzer* a = AnalysisOnBody::of(b)->analyzer();
        a->Sel2DAMLCFA->setChecked(mode == "LCF");
        a->Sel2DADEdgeA->setChecked(mode == "edge shift");
        a->Sel2DARAA->setChecked(mode == "residual");
        a->Sel2DAElemA->setChecked(mode == "elements");
        // References with the sample's edge and one 2 eV above it: normalised as its blocks are, a reference
        // whose edge lies tens of eV away gives no fraction.
        for (int i : {0, 1}) {
            const QString f = dir.filePath(QString("atEdge%1.dat").arg(i));
            QVERIFY(ts::writeSpectrum(f, synth::sample(8800, 9400, 1, [=](double E) {
                return 0.4 - 1e-4 * E + synth::sigmoid(E, E0 + 2 * i, 1);
            })));
            a->setLCFStd(i, true, 0, f, "0");
        }
        a->setLCFRange(8950, 9100);
        a->setRaEnergy(E0 + 50);
        a->setTargetElements(QStringLiteral("Cu"));
        const int failures = FailureLog::count();
        // An edge thousands of eV past the frames is refused before any block runs: no shift is that large.
        const bool refused = !sample && mode == "edge shift";
        if (refused) {
            QSignalSpy ended(AnalysisOnBody::of(b)->driver(), &Analysis2DDriver::ended);
            emit a->askAnalyze();
            QVERIFY(!b.analysis2DRunning && ended.isEmpty());
        } else {
            QVERIFY(runToEnd(a, AnalysisOnBody::of(b)->driver()));
        }
        QCOMPARE(FailureLog::count() - failures, sample ? 0 : 1);
        const QString said = b.statusBar()->currentMessage();
        // Each names its own cause.
        const QString none = "2-D run gave no result: in each of its 8 blocks ";
        const QString why = mode == "LCF"        ? "the LCF fit failed (no edge jump)"
                            : mode == "residual" ? "the spectrum was flagged (no edge found)"
                                                 : "no element showed a step";
        if (refused)
            QCOMPARE(said, QString("2-D run not started: the edge energy %1 eV (the suggested edge) lies %2 eV outside the "
                                   "stack's energies 0.00 - 150.00 eV, farther than any edge shift; the frames' energies "
                                   "or the edge energy are wrong")
                               .arg(E0, 0, 'f', 2).arg(E0 - 150, 0, 'f', 2));
        else
            QVERIFY2(sample ? !said.contains("2-D run gave no result") : said == none + why, qPrintable(said));
    }

    // A block whose spectrum shows no edge holds 0 in the edge-shift and residual maps, whatever its guessed edge
    // gave: in a scan ending 5 eV past the edge (no post-edge line) every block, and the run is said and counted
    // though the run of the full scan before it gave results; beside a sample whose edge is 3 eV up, blocks of
    // bare substrate on a curved background. The ratio map of the sample blocks takes its least rest over them.
    void blocksWithoutEdgeHoldZero_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("halfSample");
        for (const char* m : {"mid-point", "comparison", "residual"}) {
            QTest::addRow("%s, scan ending after the edge", m) << QString(m) << false;
            QTest::addRow("%s, substrate beside the sample", m) << QString(m) << true;
        }
    }
    void blocksWithoutEdgeHoldZero()
    {
        QFETCH(QString, mode);
        QFETCH(bool, halfSample);
        Body b;
        const double E0 = b.suggestElmFromUi().edgeEnergy, sampleShift = 3;
        ts::MuStack st;
        st.from = std::floor(E0) - 100;
        st.mu = [=](double E, int c, int r) {
            const double substrate = 0.4 + 0.02 * r - 1e-4 * (E - E0) + 2e-7 * (E - E0) * (E - E0);
            return halfSample && c >= 2 ? substrate : substrate + synth::sigmoid(E, E0 + sampleShift, 1);
        };
        Analyzer* a = AnalysisOnBody::of(b)->analyzer();
        for (int n : {151, 54}) {  // the last frame 200 or 5 eV past the edge
            st.n = n;
            b.clearI1Files();
            b.clearI0Files();
            ts::loadMuStack(b, st);
            // Without the suggestion's window a spectrum without a post-edge line keeps its guessed edge; with
            // it, the substrate shows no edge inside the window. The edge energy typed a little off the table's.
            b.UseSuggestElm->setChecked(halfSample);
            b.SuggestingEeV->setText(QString::number(E0 - 5.36));
            a->Sel2DA->setChecked(true);
            a->Sel2DADEdgeA->setChecked(mode != "residual");
            a->Sel2DARAA->setChecked(mode == "residual");
            a->setDEdgeMode(mode == "comparison" ? 1 : 0);
            a->setDEdgeCompTarget(1);
            a->DEdgeCWStepAt->setText(QString::number(E0));
            a->setRaEnergy(E0 + 2);
            a->setRaFactor(0.1);
            const int failures = FailureLog::count();
            QVERIFY(runToEnd(a, AnalysisOnBody::of(b)->driver()));
            QCOMPARE(FailureLog::count() - failures, n == 54 ? 1 : 0);
            QCOMPARE(b.statusBar()->currentMessage().startsWith("2-D run gave no result"), n == 54);
            if (halfSample) break;
        }
        double leastRest = 1e300;
        for (int r = 0; r < st.h; ++r)
            for (int c = 0; c < 2; ++c) leastRest = std::min(leastRest, a->restMap.valueAt(c, r));
        for (int r = 0; r < st.h; ++r)
            for (int c = 0; c < st.w; ++c) {
                const bool edge = halfSample && c < 2;
                const double d = a->dEdgeMap.valueAt(c, r), jump = a->dMutMap.valueAt(c, r);
                const double rest = a->restMap.valueAt(c, r), rr = rest - leastRest, ratio = a->ratiMap.valueAt(c, r);
                const QString at = QString("block %1,%2: %3 %4 %5 %6").arg(c).arg(r).arg(d).arg(jump).arg(rest).arg(ratio);
                // The step of the comparison is sharper than the edge: it finds it less closely.
                if (mode != "residual")
                    QVERIFY2(edge ? std::abs(d - sampleShift - (mode == "mid-point" ? 5.36 : 0)) < (mode == "comparison" ? 1.5 : 0.3)
                                  : d == 0, qPrintable(at));
                else if (!edge)
                    QVERIFY2(jump == 0 && rest == 0 && ratio == 0, qPrintable(at));
                else
                    QVERIFY2(std::abs(jump - 1) < 0.05 && std::abs(ratio - rr / (jump + rr)) < 1e-9, qPrintable(at));
            }
    }

    // A reference in keV against a stack in eV: said when it is set with a stack loaded, not counted (the LCF
    // range may still change); said and counted when the run starts, whenever it was set; the run that fits no
    // block is a failure although its edge-shift map has results. A reference in eV is neither.
    void referenceOutsideTheStack_data()
    {
        QTest::addColumn<bool>("keV");
        QTest::addColumn<bool>("before");  // the references set before the stack is loaded
        QTest::addColumn<int>("atSet");
        QTest::addColumn<int>("atRun");
        QTest::newRow("keV, stack loaded") << true << false << 0 << 2;
        QTest::newRow("keV, set before the stack") << true << true << 0 << 2;
        QTest::newRow("eV, stack loaded") << false << false << 0 << 0;
        QTest::newRow("eV, set before the stack") << false << true << 0 << 0;
    }
    void referenceOutsideTheStack()
    {
        QFETCH(bool, keV);
        QFETCH(bool, before);
        QFETCH(int, atSet);
        QFETCH(int, atRun);
        Spectrum k1 = synth::sample(8800, 9400, 1, mu1);
        for (QPointF& p : k1.points) p.setX(keV ? p.x() / 1000 : p.x());
        QVERIFY(ts::writeSpectrum(dir.filePath("k1.dat"), k1));
        Body b;
        const ts::MuStack st{4, 3, 8900, 2, 151, [](double E, int c, int r) { return share(c, r) * mu1(E) + (1 - share(c, r)) * mu2(E); }};
        Analyzer* a = AnalysisOnBody::of(b)->analyzer();
        a->Sel2DA->setChecked(true);
        a->Sel2DAMLCFA->setChecked(true);
        a->Sel2DADEdgeA->setChecked(true);
        a->setLCFRange(8950, 9100);
        int failures = FailureLog::count();
        if (!before) ts::loadMuStack(b, st);
        QCOMPARE(a->setLCFStd(0, true, 0, dir.filePath("k1.dat"), "0"), atSet == 0);
        QVERIFY(a->setLCFStd(1, true, 0, dir.filePath("r2.dat"), "0"));
        QCOMPARE(FailureLog::count() - failures, atSet);
        const QString notCovered = QString("The LCF reference \"%1\" of row 0 does not cover the fit: its energies less "
                                           "its dE reach 8.80 - 9.40 eV, the stack's energies in the LCF range 8950.00 "
                                           "- 9100.00 eV").arg(dir.filePath("k1.dat"));
        const QString atLoad = QString("The LCF reference \"%1\" of row 0 does not cover the LCF range set now: its "
                                       "energies less its dE reach 8.80 - 9.40 eV, the stack's energies in that range "
                                       "8950.00 - 9100.00 eV; a 2-D run judges it again when it starts")
                                   .arg(dir.filePath("k1.dat"));
        QCOMPARE(b.statusBar()->currentMessage() == atLoad, keV && !before);
        if (before) ts::loadMuStack(b, st);
        failures = FailureLog::count();
        QStringList said;
        connect(b.statusBar(), &QStatusBar::messageChanged, this, [&](const QString& m) { said << m; });
        QVERIFY(runToEnd(a, AnalysisOnBody::of(b)->driver()));
        QCOMPARE(FailureLog::count() - failures, atRun);
        QCOMPARE(said.contains(notCovered), keV);
        QCOMPARE(said.filter("2-D run: the LCF fitted none of its 12 blocks").size(), keV ? 1 : 0);
        // The edge-shift map has its results either way.
        const double d = a->dEdgeMap.valueAt(1, 1) + b.suggestElmFromUi().edgeEnergy;
        QVERIFY2(d > 9000 && d < 9006, qPrintable(QString::number(d)));
        const auto& maps = AnalysisOnBody::of(b)->driver()->lcfRefMaps;
        const double f = maps[maps.size() / 2]->valueAt(1, 1);
        QVERIFY2(keV ? f == 0 : std::abs(f - share(1, 1)) < 5e-3, qPrintable(QString::number(f)));
    }

    // Only the suggestion's edge energy changes: the window then takes a sharp pre-edge peak for the edge. The
    // references follow, in the cursor's fits as in a run, or a reference would no longer fit its own material.
    void referencesFollowTheEdgeEnergy_data()
    {
        QTest::addColumn<bool>("run");
        QTest::newRow("cursor spectrum") << false;
        QTest::newRow("2-D run") << true;
    }
    void referencesFollowTheEdgeEnergy()
    {
        QFETCH(bool, run);
        // A: an edge at 9000 eV, a white line, a sharp pre-edge peak at 8983 eV, structure above; B: a plain
        // edge 3 eV up. Columns 0-1 pure A, 2-3 pure B: mixtures normalise alike only roughly.
        auto muA = [](double E) {
            return 0.3 - 1e-4 * (E - 9000) + 0.5 + std::atan((E - 9000) / 2) / M_PI
                   + 0.5 * std::exp(-std::pow((E - 8983) / 1.2, 2)) + 0.5 * std::exp(-std::pow((E - 9008) / 4, 2))
                   + 0.06 * std::sin((E - 9000) / 9) * (E > 9000);
        };
        auto muB = [](double E) { return 0.3 - 1e-4 * (E - 9000) + 1.1 * (0.5 + std::atan((E - 9003) / 1.5) / M_PI); };
        Body b;
        const QVector<double> energies =
            loadEdgeStack(b, 4, 1, 8850, 4, 9300, [=](double E, int c, int) { return c < 2 ? muA(E) : muB(E); });
        b.UseSuggestElm->setChecked(true);
        b.DPreE->setText(QStringLiteral("-20"));
        b.DPostS->setText(QStringLiteral("20"));
        b.SuggestingEeV->setText(QStringLiteral("9010"));  // the window holds the edge, not the peak
        Analyzer* a = AnalysisOnBody::of(b)->analyzer();
        a->Sel2DAMLCFA->setChecked(true);
        a->setLCFRange(8960, 9060);
        auto onStack = [&energies](auto mu) {  // measured pure, on the stack's energies
            Spectrum s;
            for (double E : energies) s.append(E, mu(E));
            return s;
        };
        const Spectrum refs[2] = {onStack(muA), onStack(muB)};
        for (int i = 0; i < 2; ++i) {
            const QString f = dir.filePath(QString("follow%1.dat").arg(i));
            QVERIFY(ts::writeSpectrum(f, refs[i]) && a->setLCFStd(i, true, 0, f, "0"));
        }
        // The two windows do normalise the references apart: 8990 eV takes in the peak, and it is steeper.
        SuggestElm s = b.suggestElmFromUi();
        const XafsSpectrum x(refs[0], "x", 1, 0, s);
        s.edgeEnergy = 8990;
        const XafsSpectrum y(refs[0], "y", 1, 0, s);
        double apart = 0;
        for (int k = 0; k < energies.size(); ++k)
            apart = std::max(apart, std::fabs(x.doubleNormalizedPreBaseCurve.yAt(k) - y.doubleNormalizedPreBaseCurve.yAt(k)));
        QVERIFY(apart > 0.1);
        for (double E0 : {9010.0, 8990.0}) {
            b.SuggestingEeV->setText(QString::number(E0));
            const QVector<QPointF> f = fractions(b, run, 4);
            QCOMPARE(f.size(), 4);
            for (int c = 0; c < 4; ++c)
                QVERIFY2(std::max(std::fabs(f[c].x() - (c < 2)), std::fabs(f[c].y() - (c >= 2))) <= 2e-3,
                         qPrintable(QString("edge %1 eV, column %2: %3 A, %4 B").arg(E0).arg(c).arg(f[c].x()).arg(f[c].y())));
        }
    }

    // After a run, ended or stopped, the element rows and the correlation show the last block's values, not
    // the cursor spectrum's from before it, and Set STD takes those as the standards.
    void elementRowsAfterRun_data()
    {
        QTest::addColumn<int>("stopAt");  // blocks recorded before a stop; 0 none
        QTest::newRow("run ended") << 0;
        QTest::newRow("run stopped after its fifth block") << 5;
    }
    void elementRowsAfterRun()
    {
        QFETCH(int, stopAt);
        // 8850 to 9700 eV: Cu and Zn K edges whose steps differ per pixel and in ratio.
        ts::MuStack st{4, 3, 8850, 2, 426, [](double E, int c, int r) {
                           return pre(E) + (0.4 + 0.1 * c) * synth::sigmoid(E, 8979, 0.5)
                                  + (0.2 + 0.15 * r + 0.02 * c) * synth::sigmoid(E, 9659, 0.5);
                       }};
        Body b;
        ts::loadMuStack(b, st);
        Analyzer* a = AnalysisOnBody::of(b)->analyzer();
        Analysis2DDriver* run = AnalysisOnBody::of(b)->driver();
        a->Sel2DAElemA->setChecked(true);
        a->setTargetElements(QStringLiteral("Cu Zn"));
        a->elems->setElemsDE(15);
        b.showXafsSpectrum(0, 0);  // the cursor's values are what must go
        QTRY_COMPARE_WITH_TIMEOUT(a->pending, 0, 10000);
        QSignalSpy ended(run, &Analysis2DDriver::ended);
        connect(run, &Analysis2DDriver::blockRecorded, this, [&](qint64 k) { if (k == stopAt) run->stop2DAnalysis(); });
        emit a->askAnalyze();
        QVERIFY(ended.count() > 0 || ended.wait(30000));
        const int last = stopAt > 0 ? stopAt - 1 : st.w * st.h - 1, c = last % st.w, r = last / st.w;
        auto step = [&](int i) {
            const ElemRowSnapshot s = a->elemCtrls().at(i)->snapshot();
            return st.muOnGrid(s.e0 + s.dE, c, r) - st.muOnGrid(s.e0 - s.dE, c, r);
        };
        const double q = step(1) / step(0);
        ElemCtrl* zn = a->elemCtrls().at(1);
        QVERIFY(std::abs(zn->dmut - step(1)) < 1e-3 && std::abs(zn->ratio - q) < 1e-3);
        // The standards are still 1 and 1: the cosine of (1, q) with (1, 1).
        QVERIFY(std::abs(a->cor - (1 + q) / std::sqrt(2 * (1 + q * q))) < 1e-4);
        QTest::mouseClick(a->SetSTD, Qt::LeftButton);
        QVERIFY(std::abs(zn->stdRatio - q) < 1e-3);
        QVERIFY(std::abs(a->elemsCorMap.valueAt(c, r) - 1) < 1e-9);  // recalculated with them
    }

    // Workers read the frames: the run must be over before they are freed.
    // A run works from the alignment it took at its start: shifts stored
    // while it goes on neither mix into its maps nor race with its workers.
    void framesTouchedMidRun_data()
    {
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<bool>("i1");
        QTest::addColumn<int>("threads");
        QTest::newRow("I1 stack cleared") << true << true << 4;
        QTest::newRow("I0 stack cleared") << true << false << 4;
        QTest::newRow("I1 frames shifted, one thread") << false << true << 1;
        QTest::newRow("I0 frames shifted, two threads") << false << false << 2;
    }
    void framesTouchedMidRun()
    {
        QFETCH(bool, cleared);
        QFETCH(bool, i1);
        QFETCH(int, threads);
        ts::MuStack st;
        st.w = 40;
        st.h = 30;
        // Edges that move with the column and row, so that every block's position differs.
        st.mu = [](double E, int c, int r) { return mu1(E + 0.2 * c - 0.1 * r) + 0.01 * c; };
        Body b;
        ts::loadMuStack(b, st);
        Analyzer* a = AnalysisOnBody::of(b)->analyzer();
        Analysis2DDriver* run = AnalysisOnBody::of(b)->driver();
        run->setThreads(threads);
        a->Sel2DA->setChecked(true);
        a->Sel2DAMLCFA->setChecked(false);
        a->Sel2DADEdgeA->setChecked(true);
        QSignalSpy ended(run, &Analysis2DDriver::ended);
        auto runOnce = [&] {
            const int before = ended.count();
            emit a->askAnalyze();
            QVERIFY(ended.count() > before || ended.wait(30000));
        };
        const Analyzed2DRes& map = a->dEdgeMap;
        auto values = [&map] { return QVector<double>(map.data, map.data + map.width() * map.height()); };
        QVector<double> want;
        if (!cleared) {
            runOnce();
            want = values();
            // Blocks of another alignment would sit elsewhere on the edge.
            QVERIFY(std::fabs(want.first() - want.last()) > 1);
        }
        qint64 after = 0;
        connect(run, &Analysis2DDriver::blockRecorded, this, [&](qint64 k) {
            if (k == 1 && cleared) i1 ? b.clearI1Files() : b.clearI0Files();
            if (k == 1 && !cleared)
                for (TiffData* f : i1 ? b.i1Images : b.i0Images) f->shiftX = 3;
            if (k > 1 && after == 0) after = k;
        });
        runOnce();
        QTest::qWait(100);
        QVERIFY(!b.analysis2DRunning);
        if (cleared) QCOMPARE(after, qint64(0));
        else QCOMPARE(values(), want);
    }

    // Each block without a result has one cause: a flagged spectrum only where an edge-based analysis was asked
    // for (an LCF-only run of flagged blocks failed in its fit), else the fit, else the elements.
    void noResultCauses_data()
    {
        QTest::addColumn<QString>("blocks");  // per block: e edge asked, f flagged, o outside the window, l LCF asked
        QTest::addColumn<QString>("causes");
        QTest::addColumn<QString>("sole");
        QTest::newRow("edge shift, no edge") << "ef ef" << "2 flagged (no edge found)" << "the spectrum was flagged (no edge found)";
        QTest::newRow("edge shift, outside") << "efo" << "1 flagged (edge not inside the window)"
                                             << "the spectrum was flagged (edge not inside the window)";
        QTest::newRow("LCF only, flagged spectra") << "fl fol" << "2 where the LCF fit failed (no edge jump)"
                                                   << "the LCF fit failed (no edge jump)";
        QTest::newRow("mixed") << "efl efol l -" << "1 flagged (no edge found), 1 flagged (edge not inside the window), "
                                                       "1 where the LCF fit failed (no edge jump), 1 without an element step"
                               << "";
    }
    void noResultCauses()
    {
        QFETCH(QString, blocks);
        QFETCH(QString, causes);
        QFETCH(QString, sole);
        NoResultTally t;
        const QStringList each = blocks.split(' ');
        for (const QString& b : each) t.add(b.contains('e'), b.contains('f'), b.contains('o'), b.contains('l'));
        QCOMPARE(t.total(), qint64(each.size()));
        QCOMPARE(t.causes("no edge jump"), causes);
        QCOMPARE(t.soleCause("no edge jump"), sole);
        // A stack from 8939 to 9019 eV: the line lies 300 eV out on either side.
        QCOMPARE(distanceOutside(8979, 8939, 9019), 0.0);
        QCOMPARE(distanceOutside(8639, 8939, 9019), 300.0);
        QCOMPARE(distanceOutside(9320, 8939, 9019), 301.0);
    }

#ifdef CORVENLITH_BIN
    // The program itself, headless. A scan ending 5 eV past the edge: both edge-shift modes and the residual
    // maps hold 0 in every block, read back from the saved maps, and both runs are failures. A reference in keV
    // against the stack in eV, set after the stack is loaded (an "Err:" line) or before it (said when the run
    // starts): said, and the run that fitted no block is a failure though its edge-shift map has results.
    void headlessRuns_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("failures");
        QTest::addColumn<QStringList>("said");
        const QStringList keV{"The LCF reference \"TMP/refkeV.dat\" of row 0 does not cover the fit: its energies less its "
                              "dE reach 8.92 - 9.04 eV, the stack's energies in the LCF range 8939.00 - 9019.00 eV",
                              "2-D run: the LCF fitted none of its 24 blocks"};
        QTest::newRow("scan ending after the edge") << "flagged" << 2 << QStringList{"2-D run gave no result: in each of its 24 blocks"};
        QTest::newRow("keV reference, stack loaded") << "keV" << 2 << keV;
        QTest::newRow("keV reference set before the stack") << "keV before" << 2 << keV;
        QTest::newRow("references in eV") << "eV" << 0 << QStringList{};
    }
    void headlessRuns()
    {
        QFETCH(QString, kind);
        QFETCH(int, failures);
        QFETCH(QStringList, said);
        QTemporaryDir tmp;
        mixed::Stack st;
        st.regions = {{0, 8, 0.3, 0.9, 0.3, 0.0}, {9, 17, 0.5, 0.6, 0.8, 1.0}};
        if (kind == "flagged") st.to = st.E0 + 5;
        QVERIFY(st.writeRun(tmp.path()));
        Spectrum k;
        for (const QPointF& p : synth::sample(st.from - 20, st.to + 20, 0.5, [&](double E) { return st.ref1(E); }).points)
            k.append(p.x() / 1000, p.y());
        QVERIFY(ts::writeSpectrum(tmp.filePath("refkeV.dat"), k));
        const QString load = "load_I1_files_of_pattern NEW TMP/i1/ *.tif\nload_I0_files_of_pattern NEW TMP/i0/ *.tif\n"
                             "Use_I0 1\nselect_region 0 0 18 12\nset_band_w 1\nset_band_h 1\nSuggesting_Edge_eV 8979\n";
        const QString refs = QString("analyzer_set_LCF_std 0 1 0 TMP/%1 0\nanalyzer_set_LCF_std 1 1 0 TMP/ref2.dat 0\n")
                                 .arg(kind == "eV" ? "ref1.dat" : "refkeV.dat");
        QString script = kind == "keV before" ? refs + load : kind == "flagged" ? load : load + refs;
        if (kind != "flagged") script += "analyzer_sub_mode 0 1 1 0 0\nanalyzer_exec_2da\n";
        else {
            script += "saveDataCfg_save_as_text\nsaveDataCfg_text_as_xyz\nanalyzer_sub_mode 0 1 0 0 1\n"
                      "analyzer_set_ra_energy 8981\nanalyzer_exec_2da\n";
            for (const char* m : {"4 mid", "7 jump", "8 rest", "9 ratio"})
                script += QString("analyzer_select_image %1\nsave_data TMP/out/%2\n").arg(QString(m).section(' ', 0, 0), QString(m).section(' ', 1));
            script += "analyzer_sub_mode 0 1 0 0 0\nanalyzer_dEdge_select_mode 1\nanalyzer_dEdge_comp_w_step\n"
                      "analyzer_dEdge_comp_step_params 8979 40 0.1\nanalyzer_exec_2da\nanalyzer_select_image 4\nsave_data TMP/out/comp\n";
        }
        auto paths = [&tmp](QString t) { return t.replace("TMP", tmp.path()); };
        QVERIFY(ts::writeText(tmp.filePath("run.bat"), paths(script) + "quit\n") && ts::writeText(tmp.filePath("none.cfg"), ""));
        const ts::ProgramRun r = ts::runProgram(
            CORVENLITH_BIN, {"-c", tmp.filePath("none.cfg"), "-e", "-b", tmp.filePath("run.bat"), "-x"}, 120000, tmp.path());
        const QString err = QString::fromUtf8(r.err);
        QVERIFY2(r.ended && r.status == QProcess::NormalExit && r.code == (failures ? 1 : 0), qPrintable(err.right(3000)));
        for (const QString& line : said) QVERIFY2(err.contains(paths(line)), qPrintable(paths(line) + "\nnot in\n" + err));
        if (failures)
            QVERIFY2(err.trimmed().section('\n', -1).startsWith(QString("Failures in this run: %1;").arg(failures)), qPrintable(err.right(1000)));
        // Every block of every map read back: 6 x 4 blocks of 3 x 3 pixels, each 0.
        for (const char* m : {"mid", "jump", "rest", "ratio", "comp"}) {
            if (kind != "flagged") break;
            const QString file = tmp.filePath(QString("out/%1-0.dat").arg(m));
            const QVector<ts::MapRow> rows = ts::readMapRows(file);
            QVERIFY2(rows.size() == 24, qPrintable(file + QString(": %1 blocks").arg(rows.size())));
            for (const ts::MapRow& r : rows) QVERIFY2(r.ok && r.v == 0, qPrintable(file + ": " + r.line));
        }
    }

    // Scripts of a user, the program headless. Saves under dotted names keep the dot (ratio0.3 and ratio0.5 both
    // wrote ratio0-0.dat); saves with nothing to save are failures and write nothing. An edge-shift run whose edge
    // energy lies farther outside the frames than any shift is refused before a block runs, one 239 eV outside
    // still runs; a run says, uncounted, how many blocks got no result and why; a run applying an energy-shift map
    // of another size than the frames is a failure.
    void scriptsSayWhatTheyDid_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("failures");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<QStringList>("notWritten");
        const QString edge = "Suggest_Elm 0\nSuggesting_Edge_eV %1\nanalyzer_sub_mode 0 1 0 0 0\nanalyzer_exec_2da\n";
        const QString saves = "saveDataCfg_save_as_text\nsaveDataCfg_text_as_xyz\nanalyzer_select_image 4\n"
                              "save_data TMP/out/ratio0.3\nsave_data TMP/out/ratio0.5\nsave_data TMP/out/m.xyz\n"
                              "save_image TMP/out/v0.3.png\nsave_image_w_num TMP/out/w0.3.png 7\n"
                              "move_position 4 4\nsave_spectra TMP/out/s0.3\nsave_spectra TMP/out/t.txt\n";
        QTest::newRow("dotted names") << "LOAD" + edge.arg(8979) + saves << 0 << QStringList{}
            << QStringList{"ratio0.3-0.dat", "ratio0.5-0.dat", "m-0.dat", "v0.3.png", "v0.3-cBar.png", "w0.3-7.png",
                           "w0.3-7-cBar.png", "s0.3-T.dat", "s0.3-std.dat", "t-T.txt"}
            << QStringList{"ratio0-0.dat", "m.xyz-0.dat", "s0-T.3"};
        QTest::newRow("nothing to save") << "save_spectra TMP/out/s0.3\nLOADsave_all_images TMP/out/all.png\n" << 2
            << QStringList{"Err: line 1: save_spectra TMP/out/s0.3: no image stack is loaded: no spectrum to save",
                           "No reference map has an image (no reference row in use, or no 2-D run since): TMP/out/all.png not saved"}
            << QStringList{} << QStringList{"s0.3-T.dat", "s0.3-std.dat", "all-0-0.png"};
        const QString far = "2-D run not started: the edge energy %1 eV (the suggested edge) lies %2 eV outside the stack's "
                            "energies %3 - %4 eV, farther than any edge shift; the frames' energies or the edge energy are wrong";
        QTest::newRow("edge 339 eV below the frames") << "LOAD" + edge.arg(8600) + "save_data TMP/out/far\n" << 2
            << QStringList{far.arg("8600.00", "339.00", "8939.00", "9019.00")} << QStringList{} << QStringList{"far-0.tif"};
        QTest::newRow("compared with a step 339 eV below the frames")
            << "LOADanalyzer_dEdge_select_mode 1\nanalyzer_dEdge_comp_w_step\nanalyzer_dEdge_comp_step_params 8600 40 0.1\n"
               + edge.arg(8979) << 1
            << QStringList{"2-D run not started: the edge energy 8600.00 eV (the edge of the comparison's reference) lies 339.00 eV"}
            << QStringList{} << QStringList{};
        QTest::newRow("compared with a step 239 eV below the frames")
            << "LOADanalyzer_dEdge_select_mode 1\nanalyzer_dEdge_comp_w_step\nanalyzer_dEdge_comp_step_params 8700 40 0.1\n"
               + edge.arg(8979) << 0 << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("frames read in keV") << "eng_by_name_factor_i1 0.001\neng_by_name_factor_i0 0.001\nLOAD" + edge.arg(8979) << 1
            << QStringList{far.arg("8979.00", "8969.98", "8.94", "9.02")} << QStringList{} << QStringList{};
        QTest::newRow("edge 239 eV below the frames")
            << "LOAD" + edge.arg(8700) + "saveDataCfg_save_as_text\nsaveDataCfg_text_as_xyz\nanalyzer_select_image 4\nsave_data TMP/out/near\n"
            << 0 << QStringList{} << QStringList{"near-0.dat"} << QStringList{};
        QTest::newRow("half the image bare") << "BARE" + edge.arg(8979) << 0
            << QStringList{"2-D run: edge shift: 12 of 24 blocks got no result: 12 flagged ("} << QStringList{} << QStringList{};
        const QString map = "calib_load_map TMP/%1.emp\n" + edge.arg(8979);
        QTest::newRow("energy-shift map of another size") << "LOAD" + map.arg("half") << 1
            << QStringList{"Err: line 11: analyzer_exec_2da: 2-D run: the energy-shift map is 9 x 7 pixels, the images 18 x "
                           "15: its shifts reach only part of the image, the rest is not corrected"}
            << QStringList{} << QStringList{};
        QTest::newRow("energy-shift map of the frames' size") << "LOAD" + map.arg("whole") << 0 << QStringList{}
            << QStringList{} << QStringList{};
    }
    void scriptsSayWhatTheyDid()
    {
        QFETCH(QString, script);
        QFETCH(int, failures);
        QFETCH(QStringList, said);
        QFETCH(QStringList, written);
        QFETCH(QStringList, notWritten);
        QTemporaryDir tmp;
        mixed::Stack st;
        st.regions = {{0, 8, 0.3, 0.9, 0.3, 0.0}, {9, 17, 0.5, 0.6, 0.8, 1.0}};
        const bool bare = script.startsWith("BARE");
        if (bare) st.regions.removeLast();
        QVERIFY(st.writeRun(tmp.path()));
        for (const int w : {9, 18}) {
            Analyzed2DRes m("shift");
            const AnalyzeCond g = ts::fillMap(m, w, w == 9 ? 7 : 15, [](int x, int) { return 0.01 * x; });
            QVERIFY(EShiftMapFile::write(tmp.filePath(w == 9 ? "half.emp" : "whole.emp"), m,
                                         EShiftMapFile::headerOf(g, 0, 0, 8979, 3.13553), "", w, w == 9 ? 7 : 15));
        }
        const QString load = "load_I1_files_of_pattern NEW TMP/i1/ *.tif\nload_I0_files_of_pattern NEW TMP/i0/ *.tif\n"
                             "Use_I0 1\nselect_region 0 0 18 12\nset_band_w 1\nset_band_h 1\n";
        script.replace("LOAD", load).replace("BARE", load);
        auto paths = [&tmp](QString t) { return t.replace("TMP", tmp.path()); };
        QVERIFY(ts::writeText(tmp.filePath("run.bat"), paths(script) + "quit\n") && ts::writeText(tmp.filePath("none.cfg"), ""));
        const ts::ProgramRun r = ts::runProgram(
            CORVENLITH_BIN, {"-c", tmp.filePath("none.cfg"), "-e", "-b", tmp.filePath("run.bat"), "-x"}, 120000, tmp.path());
        const QString err = QString::fromUtf8(r.err);
        QVERIFY2(r.endedWith(failures ? 1 : 0), qPrintable(err.right(3000)));
        for (const QString& line : said) QVERIFY2(err.contains(paths(line)), qPrintable(paths(line) + "\nnot in\n" + err.right(3000)));
        const QString last = err.trimmed().section('\n', -1);
        QVERIFY2(failures ? last.startsWith(QString("Failures in this run: %1;").arg(failures)) : last == "Failures in this run: 0",
                 qPrintable(last));
        // The blocks without a result are said, not counted.
        QCOMPARE(err.contains("blocks got no result"), bare);
        for (const QString& f : written) QVERIFY2(QFileInfo(tmp.filePath("out/" + f)).size() > 0, qPrintable(f));
        for (const QString& f : notWritten) QVERIFY2(!QFile::exists(tmp.filePath("out/" + f)), qPrintable(f));
        // Each map saved holds the map whole: 6 x 4 blocks, the sample's edge shifts 0 and 1 eV from the edge
        // energy; from one 279 eV below the frames' edge, 279 and 280 eV.
        for (const QString& f : written) {
            if (!f.endsWith("-0.dat") || f.startsWith("m-")) continue;
            const double from = f.startsWith("near") ? 279 : 0;
            const QVector<ts::MapRow> rows = ts::readMapRows(tmp.filePath("out/" + f));
            QCOMPARE(rows.size(), 24);
            for (const ts::MapRow& m : rows)
                QVERIFY2(m.ok && std::abs(m.v - from - (m.x < 9 ? 0.0 : 1.0)) < 0.3, qPrintable(f + ": " + m.line));
        }
    }

    // A measured S K scan read every 3 eV, its sulfate white line on one point: a real feature no coarse grid
    // can tell from a spike, so every block keeps its edge (E0 2470.92 eV on the clean scan) and the run
    // succeeds, with and without the edge window; the edge map read back block by block. In the window the
    // post-edge line starts 8 eV past E0, over the white line's fall, which moves the crossing by about 2 eV.
    void coarseWhiteLineStack_data()
    {
        QTest::addColumn<bool>("suggest");
        QTest::addColumn<double>("tolerance");
        QTest::newRow("whole spectrum searched") << false << 0.5;
        QTest::newRow("edge window") << true << 3.0;
    }
    void coarseWhiteLineStack()
    {
        QFETCH(bool, suggest);
        QFETCH(double, tolerance);
        QTemporaryDir tmp;
        const Spectrum sk = edges::resampled(measured::spectrum(measured::sulfideSulfate()), 2457.8, 3);
        QCOMPARE(sk.size(), 23);
        const int w = 20, h = 10;
        const double edgeEV = 2472;  // the window's edge energy; the map holds E0 less it
        std::mt19937 g(7);
        std::normal_distribution<double> n;
        for (int k = 0; k < sk.size(); ++k) {
            // Fluorescence scaled to a transmission jump of about 1.1 on a flat background; photon noise.
            const double mu = 0.5 + 20 * sk.yAt(k), i0 = 20000;
            auto i1 = [&](int, int) { const double i = i0 * std::exp(-mu); return i + std::sqrt(i) * n(g); };
            QVERIFY(ts::writeTiff(tmp.filePath("i1/" + ts::energyName("i1", sk.xAt(k))), w, h, i1));
            QVERIFY(ts::writeTiff(tmp.filePath("i0/" + ts::energyName("i0", sk.xAt(k))), w, h, [&](int, int) { return i0; }));
        }
        QVERIFY(QDir(tmp.path()).mkpath("out"));
        QString script = "load_I1_files_of_pattern NEW TMP/i1/ *.tif\nload_I0_files_of_pattern NEW TMP/i0/ *.tif\n"
                         "Use_I0 1\nselect_region 0 0 20 10\nset_band_w 1\nset_band_h 1\nSuggesting_Elm S\n";
        script += QString("Suggest_Elm %1\nSuggesting_Edge_eV %2\nSuggesting_Pre_End_eV -8\nSuggesting_Post_Start_eV 8\n").arg(suggest ? 1 : 0).arg(edgeEV);
        script += "saveDataCfg_save_as_text\nsaveDataCfg_text_as_xyz\nanalyzer_sub_mode 0 1 0 0 0\nanalyzer_exec_2da\n"
                  "analyzer_select_image 4\nsave_data TMP/out/mid\nquit\n";
        QVERIFY(ts::writeText(tmp.filePath("run.bat"), script.replace("TMP", tmp.path())) && ts::writeText(tmp.filePath("none.cfg"), ""));
        const ts::ProgramRun r = ts::runProgram(
            CORVENLITH_BIN, {"-c", tmp.filePath("none.cfg"), "-e", "-b", tmp.filePath("run.bat"), "-x"}, 120000, tmp.path());
        const QString err = QString::fromUtf8(r.err);
        QVERIFY2(r.ended && r.status == QProcess::NormalExit && r.code == 0, qPrintable(err.right(3000)));
        const QVector<ts::MapRow> rows = ts::readMapRows(tmp.filePath("out/mid-0.dat"));
        QVERIFY2(rows.size() >= 18, qPrintable(QString("%1 blocks").arg(rows.size())));
        for (const ts::MapRow& m : rows)
            QVERIFY2(m.ok && std::abs(m.v - (2470.92 - edgeEV)) < tolerance, qPrintable(m.line));
    }
#endif

    // The spectrum under the cursor reaches the panel, not while a 2-D run is
    // on; the panel works on the window's map choice, grid and stack. Torn
    // down while the panel is shown, its map is on the view and its worker or
    // a run is busy: the run and the panel go first, the view keeps no
    // pointer into them, and no late answer reaches freed objects.
    void cursorSpectrumAndTeardown_data()
    {
        QTest::addColumn<bool>("running");
        QTest::newRow("wired panel busy with cursor spectra") << false;
        QTest::newRow("2-D run under way") << true;
    }
    void cursorSpectrumAndTeardown()
    {
        QFETCH(bool, running);
        auto* b = new Body;
        ts::MuStack st;
        st.mu = [](double E, int c, int r) { return 0.01 * r + synth::sigmoid(E, 9000 + c, 0.4); };
        // Large enough that the run is still on after its first block.
        st.w = running ? 40 : 4;
        st.h = running ? 30 : 3;
        ts::loadMuStack(*b, st);
        QPointer<Analyzer> p(AnalysisOnBody::of(*b)->analyzer());
        QPointer<Analysis2DDriver> run(AnalysisOnBody::of(*b)->driver());
        QTest::mouseClick(b->ShowAnalyzer, Qt::LeftButton);
        p->Sel2DA->setChecked(true);
        p->Sel2DADEdgeA->setChecked(true);
        b->ShowResAnalysis->setChecked(true);
        QVERIFY(b->dispA->overlayMap);
        if (running) {
            run->setThreads(1);
            QSignalSpy recorded(run.data(), &Analysis2DDriver::blockRecorded);
            emit p->askAnalyze();
            QVERIFY(recorded.wait(30000));
            QVERIFY(b->analysis2DRunning);
        } else {
                        // The window's selected map is the panel's.
            p->lcfRefs[1]->Show->setChecked(true);
            QCOMPARE(b->selectedMap(), p->lcfRefs[1]->maps[0]);
            // The panel asks for the grid and gets the window's current one.
            AnalyzeCond ac;
            emit p->askAnalyzeCond(ac);
            QCOMPARE(QVector<int>({ac.width, ac.height}), QVector<int>({st.w, st.h}));
            // The panel's sum-up works on the window's own stack and grid.
            p->SumUpC->SumUpFrom->setText("2");
            p->SumUpC->SumUpTo->setText("5");
            QTest::mouseClick(p->SumUpC->AddSumUp, Qt::LeftButton);
            QTest::mouseClick(p->AskSumUp, Qt::LeftButton);
            double want = 0;
            for (int k = 2; k < 5; ++k) want += double(float(st.i0 * std::exp(-st.mu(st.energy(k), 3, 1))));
            QVERIFY(std::abs(p->sumUpMap.valueAt(3, 1) - want) <= 1e-6 * want);
            QVERIFY(QFileInfo::exists(dir.filePath(SumUpCtrl::imageFileName())));
        }
        QSignalSpy asked(p, &Analyzer::analyzeSpectrumDEdge0);
        for (int x = 0; x < st.w; ++x) b->showXafsSpectrum(x, 2);
        QCOMPARE(asked.count(), running ? 0 : st.w);
        if (!running) {
            // The pixel's own absorption.
            const auto sent = qvariant_cast<XafsSpectrum>(asked.at(1).first());
            QVERIFY(std::abs(sent.yAt(75) - st.stored(st.energy(75), 1, 2)) < 1e-9);
        }
        Body::hooks().beforeTeardown.value("analysis")(*b);
        QVERIFY(p.isNull() && run.isNull());
        QVERIFY(!b->selectedMap() && !b->dispA->overlayMap);
        // The destructor tears down again: nothing left to do.
        delete b;
        QTest::qWait(100);
    }
};

QTEST_MAIN(TestRunScenarios)
#include "tst_runscenarios.moc"
