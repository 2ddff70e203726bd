// The analysis panel on the main window: the wiring, the selected map and
// reference row the window answers with, the cursor spectrum handed to the
// panel, the sum-up over the window's stack, and the teardown.
#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>

#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/LCFReference.h"
#include "analysis/SumUpCtrl.h"
#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "widgets/SpecPane.h"
#include "widgets/XafsFileSelect.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/SaveDataCfg.h"
#include "mainwindow/SelectDataFiles.h"
#include "support/BodyStack.h"

namespace {

const int W = 12;
const int H = 9;
const int N = 30;

double energyOf(int k) { return 8900 + 4.0 * k; }

// I1 of image k at column c, row r: an absorption edge at 8980 eV whose
// step grows with the column, so positions differ.
double i1At(int k, int c, int r)
{
    const double E = energyOf(k);
    const double mu = 0.2 + (E > 8980 ? 0.5 + 0.05 * c : 0.0) + 0.01 * r;
    return 20000.0 * std::exp(-mu);
}

void load(Body& b)
{
    ts::StackSpec s;
    s.w = W;
    s.h = H;
    s.n = N;
    s.energy = energyOf;
    s.i1 = i1At;
    ts::loadStack(b, s);
}

}  // namespace

class TstAnalysisOnBody : public QObject
{
    Q_OBJECT

    QString startDir;

private slots:
    void initTestCase()
    {
        initGlobals();
        initColorTables();
        installAnalysisOnBody();
        startDir = QDir::currentPath();
    }

    void cleanup() { QDir::setCurrent(startDir); }

    void wired()
    {
        Body b;
        AnalysisOnBody* a = AnalysisOnBody::of(b);
        QVERIFY(a);
        QCOMPARE(a->parent(), &b);
        QVERIFY(a->allConnected());
        Analyzer* p = a->analyzer();
        QVERIFY(p);
        // A window of its own, not a child of the main window.
        QVERIFY(!p->parent());
        QVERIFY(!b.analysis2DRunning);
        QVERIFY(!p->isVisible());
        QTest::mouseClick(b.ShowAnalyzer, Qt::LeftButton);
        QVERIFY(p->isVisible());
        QVERIFY(p->specPane->isVisible());

        // A new I1 stack: both spectrum views take its energy range.
        p->specPane->autoRange = false;
        b.specWindow->autoRange = false;
        emit b.SelectI1Files->filesSelected(QStringList(), false);
        QVERIFY(!p->specPane->autoRange);
        emit b.SelectI1Files->filesSelected(QStringList(), true);
        QVERIFY(p->specPane->autoRange);
        QVERIFY(b.specWindow->autoRange);
    }

    // The window's selected map is the panel's, followed as the panel's
    // choice changes; the view shows the new choice.
    void selectedMapIsThePanels()
    {
        Body b;
        Analyzer* p = AnalysisOnBody::of(b)->analyzer();
        QCOMPARE(b.selectedMap(), p->selectedMap());
        QVERIFY(b.selectedMap());
        p->ShowZ->setChecked(true);
        QCOMPARE(b.selectedMap(), &p->zansaMap);
        p->lcfRefs[1]->Show->setChecked(true);
        QCOMPARE(b.selectedMap(), p->lcfRefs[1]->maps[0]);

        b.ShowResAnalysis->setChecked(true);
        QCOMPARE(b.dispA->overlayMap, p->lcfRefs[1]->maps[0]);
        p->ShowDEdge->setChecked(true);
        emit p->changedSelection();
        QCOMPARE(b.dispA->overlayMap, &p->dEdgeMap);
    }

    // The panel asks for the grid and gets the window's current one.
    void panelRequestsAnsweredAtOnce()
    {
        Body b;
        Analyzer* p = AnalysisOnBody::of(b)->analyzer();
        AnalyzeCond ac;
        emit p->askAnalyzeCond(ac);
        QCOMPARE(ac.width, 0);
        load(b);
        b.HWidth->setText("1");
        b.VWidth->setText("2");
        emit p->askAnalyzeCond(ac);
        QCOMPARE(ac.width, W);
        QCOMPARE(ac.height, H);
        QCOMPARE(ac.xw, 1);
        QCOMPARE(ac.yw, 2);

    }

    // The spectrum under the cursor reaches the panel, its analyses are
    // asked for and answered; not while a block-by-block analysis runs.
    void cursorSpectrumReachesThePanel()
    {
        Body b;
        Analyzer* p = AnalysisOnBody::of(b)->analyzer();
        load(b);
        b.HWidth->setText("0");
        b.VWidth->setText("0");
        p->Sel2DA->setChecked(true);
        p->Sel2DAMLCFA->setChecked(false);
        p->Sel2DADEdgeA->setChecked(false);
        p->Sel2DAElemA->setChecked(false);
        p->Sel2DARAA->setChecked(true);
        QSignalSpy asked(p, &Analyzer::analyzeSpectrumRA);
        QSignalSpy done(p, &Analyzer::finished);

        b.showXafsSpectrum(3, 4);
        QCOMPARE(asked.count(), 1);
        QCOMPARE(p->lastSpectrum.size(), N);
        for (int k = 0; k < N; ++k) QCOMPARE(p->lastSpectrum.xAt(k), energyOf(k));
        // The raw absorption of the pixel, as the stack gives it.
        const auto sent = qvariant_cast<XafsSpectrum>(asked.first().first());
        QCOMPARE(sent.size(), N);
        QVERIFY(done.count() == 1 || done.wait(20000));

        const XafsSpectrum at3 = p->lastSpectrum;
        b.showXafsSpectrum(9, 4);
        QCOMPARE(asked.count(), 2);
        // The edge step grows with the column: the new position's spectrum
        // is not the old one.
        QVERIFY(p->lastSpectrum.size() == N);
        bool differs = false;
        for (int k = 0; k < N; ++k)
            if (std::abs(p->lastSpectrum.yAt(k) - at3.yAt(k)) > 1e-9) differs = true;
        QVERIFY(differs);
        QVERIFY(done.count() == 2 || done.wait(20000));

        b.analysis2DRunning = true;
        b.showXafsSpectrum(1, 1);
        QCOMPARE(asked.count(), 2);
        b.analysis2DRunning = false;
        b.showXafsSpectrum(1, 1);
        QCOMPARE(asked.count(), 3);
    }

    // The panel's button sums the window's own stack over its grid.
    void sumUpOverTheWindowsStack()
    {
        QTemporaryDir out;
        QVERIFY(out.isValid());
        QVERIFY(QDir::setCurrent(out.path()));
        Body b;
        Analyzer* p = AnalysisOnBody::of(b)->analyzer();
        load(b);
        b.HWidth->setText("0");
        b.VWidth->setText("0");
        SumUpCtrl* s = p->SumUpC;
        s->SumUpFrom->setText("2");
        s->SumUpTo->setText("5");
        QTest::mouseClick(s->AddSumUp, Qt::LeftButton);
        QTest::mouseClick(p->AskSumUp, Qt::LeftButton);
        QCOMPARE(p->sumUpMap.width(), W);
        QCOMPARE(p->sumUpMap.height(), H);
        for (int r = 0; r < H; r += 4)
            for (int c = 0; c < W; c += 5) {
                double want = 0;
                for (int k = 2; k < 5; ++k) want += double(float(i1At(k, c, r)));
                QVERIFY(std::abs(p->sumUpMap.valueAt(c, r) - want) <= 1e-6 * want);
            }
        QVERIFY(QFileInfo::exists(out.filePath(SumUpCtrl::imageFileName())));
    }

    // Destroyed while the panel is shown, its map is on the view and its
    // worker may still be busy: the panel goes first, the view keeps no
    // pointer into it.
    void destroyedCleanly()
    {
        QPointer<Analyzer> gone;
        {
            Body b;
            Analyzer* p = AnalysisOnBody::of(b)->analyzer();
            gone = p;
            load(b);
            QTest::mouseClick(b.ShowAnalyzer, Qt::LeftButton);
            p->Sel2DA->setChecked(true);
            p->Sel2DARAA->setChecked(true);
            b.ShowResAnalysis->setChecked(true);
            for (int x = 0; x < W; ++x) b.showXafsSpectrum(x, 2);
            Body::hooks().beforeTeardown.value("analysis")(b);
            QVERIFY(!gone);
            QVERIFY(!b.selectedMap());
            QVERIFY(!b.dispA->overlayMap);
            // A second teardown, as the destructor runs, does nothing.
        }
        QVERIFY(!gone);
        // A fresh window builds its own panel.
        Body again;
        QVERIFY(AnalysisOnBody::of(again)->analyzer());
    }
};

QTEST_MAIN(TstAnalysisOnBody)
#include "tst_analysisonbody.moc"
