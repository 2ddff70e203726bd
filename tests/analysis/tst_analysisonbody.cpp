// The analysis panel on the main window: the wiring, the cursor spectrum
// handed to the panel, and the teardown with the panel's worker or a 2-D run
// busy.
#include <QDir>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "analysis/Analysis2DDriver.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/LCFReference.h"
#include "analysis/SumUpCtrl.h"
#include "core/Globals.h"
#include "widgets/SpecPane.h"
#include "widgets/XafsFileSelect.h"
#include "mainwindow/BodyHooks.h"
#include "support/RunStack.h"
#include "support/Spectra.h"

class TstAnalysisOnBody : public QObject
{
    Q_OBJECT

    ts::MuStack edges;  // edges that move with the column, so positions differ

private slots:
    void initTestCase()
    {
        initGlobals();
        initColorTables();
        installAnalysisOnBody();
        edges.mu = [](double E, int c, int r) { return 0.01 * r + synth::sigmoid(E, 9000 + c, 0.4); };
    }

    void wired()
    {
        const QString startDir = QDir::currentPath();
        QTemporaryDir out;
        QVERIFY(QDir::setCurrent(out.path()));
        Body b;
        AnalysisOnBody* a = AnalysisOnBody::of(b);
        QVERIFY(a && a->allConnected());
        Analyzer* p = a->analyzer();
        // A window of its own, shown by the window's button.
        QVERIFY(p && !p->parent());
        QTest::mouseClick(b.ShowAnalyzer, Qt::LeftButton);
        QVERIFY(p->isVisible());

        // A new I1 stack: the panel's spectrum view takes its energy range.
        p->specPane->autoRange = false;
        emit b.SelectI1Files->filesSelected(QStringList(), true);
        QVERIFY(p->specPane->autoRange);

        // The window's selected map is the panel's; the view follows its choice.
        p->lcfRefs[1]->Show->setChecked(true);
        QCOMPARE(b.selectedMap(), p->lcfRefs[1]->maps[0]);
        b.ShowResAnalysis->setChecked(true);
        QCOMPARE(b.dispA->overlayMap, p->lcfRefs[1]->maps[0]);
        p->ShowDEdge->setChecked(true);
        emit p->changedSelection();
        QCOMPARE(b.dispA->overlayMap, &p->dEdgeMap);

        // The panel asks for the grid and gets the window's current one.
        const ts::MuStack& st = edges;
        ts::loadMuStack(b, st);
        b.VWidth->setText("1");
        AnalyzeCond ac;
        emit p->askAnalyzeCond(ac);
        QCOMPARE(QVector<int>({ac.width, ac.height, ac.xw, ac.yw}), QVector<int>({st.w, st.h, 0, 1}));

        // The panel's sum-up works on the window's own stack and grid.
        p->SumUpC->SumUpFrom->setText("2");
        p->SumUpC->SumUpTo->setText("5");
        QTest::mouseClick(p->SumUpC->AddSumUp, Qt::LeftButton);
        QTest::mouseClick(p->AskSumUp, Qt::LeftButton);
        double want = 0;
        for (int r = 0; r < 3; ++r)
            for (int k = 2; k < 5; ++k) want += double(float(st.i0 * std::exp(-st.mu(st.energy(k), 3, r))));
        QVERIFY(std::abs(p->sumUpMap.valueAt(3, 1) - want) <= 1e-6 * want);
        QVERIFY(QFileInfo::exists(out.filePath(SumUpCtrl::imageFileName())));
        QDir::setCurrent(startDir);
    }

    // The spectrum under the cursor reaches the panel, not while a 2-D run is
    // on. Torn down while the panel is shown, its map is on the view and its
    // worker or a run is busy: the run and the panel go first, the view keeps
    // no pointer into them, and no late answer reaches freed objects.
    void cursorSpectrumAndTeardown_data()
    {
        QTest::addColumn<bool>("running");
        QTest::newRow("panel busy with cursor spectra") << false;
        QTest::newRow("2-D run under way") << true;
    }
    void cursorSpectrumAndTeardown()
    {
        QFETCH(bool, running);
        auto* b = new Body;
        ts::MuStack st = edges;
        // Large enough that the run is still on after its first block.
        if (running) {
            st.w = 40;
            st.h = 30;
        }
        ts::loadMuStack(*b, st);
        Analyzer* p = AnalysisOnBody::of(*b)->analyzer();
        QPointer<Analyzer> panel(p);
        QPointer<Analysis2DDriver> run(AnalysisOnBody::of(*b)->driver());
        QTest::mouseClick(b->ShowAnalyzer, Qt::LeftButton);
        p->Sel2DA->setChecked(true);
        p->Sel2DADEdgeA->setChecked(true);
        b->ShowResAnalysis->setChecked(true);
        QVERIFY(b->dispA->overlayMap);
        QSignalSpy asked(p, &Analyzer::analyzeSpectrumDEdge0);
        if (running) {
            run->setThreads(1);
            QSignalSpy recorded(run.data(), &Analysis2DDriver::blockRecorded);
            emit p->askAnalyze();
            QVERIFY(recorded.wait(30000));
            QVERIFY(b->analysis2DRunning);
        }
        for (int x = 0; x < st.w; ++x) b->showXafsSpectrum(x, 2);
        QCOMPARE(asked.count(), running ? 0 : st.w);
        if (!running) {
            // The pixel's own absorption, at the frames' energies.
            const auto sent = qvariant_cast<XafsSpectrum>(asked.at(1).first());
            QCOMPARE(sent.size(), st.n);
            QCOMPARE(sent.xAt(75), st.energy(75));
            QVERIFY(std::abs(sent.yAt(75) - st.stored(st.energy(75), 1, 2)) < 1e-9);
        }
        Body::hooks().beforeTeardown.value("analysis")(*b);
        QVERIFY(panel.isNull() && run.isNull());
        QVERIFY(!b->selectedMap());
        QVERIFY(!b->dispA->overlayMap);
        // The destructor tears down again: nothing left to do.
        delete b;
        QTest::qWait(100);
    }
};

QTEST_MAIN(TstAnalysisOnBody)
#include "tst_analysisonbody.moc"
