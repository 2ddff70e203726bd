#include <QtTest>

#include <QButtonGroup>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QPointer>
#include <QThread>

#include <cmath>
#include <memory>

#include "support/Files.h"
#include "support/Spectra.h"
#include "analysis/AElemsConds.h"
#include "analysis/AnalyzeProc.h"
#include "analysis/Analyzer.h"
#include "analysis/EdgeShift.h"
#include "analysis/ElemCtrl.h"
#include "analysis/ElemList.h"
#include "analysis/ElementAnalysis.h"
#include "analysis/FieldText.h"
#include "analysis/LCFReference.h"
#include "analysis/MapProcessing.h"
#include "analysis/ResidualAbsorption.h"
#include "core/Globals.h"
#include "core/EMPHeader.h"
#include "widgets/SpecPane.h"

using namespace synth;

namespace
{
SuggestElm noWindow()
{
    SuggestElm s;
    s.useWindow = false;
    return s;
}

double pre(double E) { return 0.5 - 2e-4 * (E - 8800); }
double mu1(double E) { return pre(E) + sigmoid(E, 9000, 0.4); }
double mu2(double E) { return pre(E) + sigmoid(E, 9006, 0.4); }

QString writeMu(const QTemporaryDir& dir, const QString& name, double (*mu)(double))
{
    const QString path = dir.filePath(name);
    return ts::writeSpectrum(path, sample(8800, 9400, 1, mu)) ? path : QString();
}


// A map of the given size whose value at (x, y) is f(x, y), with its image.
void fillMap(Analyzed2DRes& m, int w, int h, const std::function<double(int, int)>& f)
{
    AnalyzeCond c;
    c.set(w, h, 0, 0, QRectF(0, 0, w, h), 1, 1);
    m.setCond(c);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) m.setData(x, y, 0, 0, f(x, y));
    m.genImg();
}

void enableAll(Analyzer& a)
{
    a.Sel2DAMLCFA->setChecked(true);
    a.Sel2DADEdgeA->setChecked(true);
    a.Sel2DAElemA->setChecked(true);
    a.Sel2DARAA->setChecked(true);
}
}  // namespace

class TestAnalyzer : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() { initColorTables(); }

    // The unit step of the comparison mode; a spacing that is not positive
    // makes none, and one lost against the energy still ends the grid.
    void dEdgeStepReference()
    {
        Analyzer a;
        a.DEdgeCWStepAt->setText("10");
        a.DEdgeCWStepWeV->setText("1");
        a.DEdgeCWStepDEeV->setText("0.25");
        QVERIFY(a.prepareDEdgeRef());
        QCOMPARE(a.dEdgeRef.points.size(), 4);
        QCOMPARE(a.dEdgeRef.points[1], QPointF(9.75, 0.0));
        QCOMPARE(a.dEdgeRef.points[2], QPointF(10.0, 1.0));
        a.DEdgeCWStepDEeV->setText("0");
        QVERIFY(!a.prepareDEdgeRef());
        a.DEdgeCWStepAt->setText("1e17");
        a.DEdgeCWStepWeV->setText("100");
        a.DEdgeCWStepDEeV->setText("1");
        a.prepareDEdgeRef();
        QVERIFY(a.dEdgeRef.points.size() <= 101);
    }

    // Two references mixed 1:3, fitted on the worker thread; the other three
    // analyses answer too, and finished comes once, after the last answer.
    void analyzeRecoversFractions()
    {
        Analyzer a;
        a.setLCFStd(0, true, 0, writeMu(dir, "r1.dat", mu1), "0");
        a.setLCFStd(1, true, 0, writeMu(dir, "r2.dat", mu2), "0");
        a.setLCFRange(8900, 9300);
        a.setTargetElements(QStringLiteral("Cu Fe"));
        QCOMPARE(a.elemCtrls().size(), 2);
        enableAll(a);
        a.initAnalyzeSpectrum();
        const SuggestElm none = noWindow();
        const XafsSpectrum s(sample(8800, 9400, 1, [](double E) {
                                 return 0.25 * mu1(E) + 0.75 * mu2(E);
                             }),
                             "t", 1, 0, none);
        QSignalSpy done(&a, &Analyzer::finished);
        a.analyzeAndShowSpectrum(s, none);
        QCOMPARE(a.pending, 4);
        QVERIFY(done.wait(30000));
        QTest::qWait(100);
        QCOMPARE(done.count(), 1);
        QCOMPARE(a.pending, 0);

        QCOMPARE(a.lastLcf.status, LcfResult::Fitted);
        QVERIFY2(std::fabs(a.lcfRefs[0]->fraction - 0.25) < 2e-3,
                 qPrintable(QString::number(a.lcfRefs[0]->fraction)));
        QVERIFY2(std::fabs(a.lcfRefs[1]->fraction - 0.75) < 2e-3,
                 qPrintable(QString::number(a.lcfRefs[1]->fraction)));
        QCOMPARE(a.DispZansa->text(), FieldText::text(a.lastZ));
        QVERIFY(!a.resSpectrum.points.isEmpty());
        QCOMPARE(a.specPane->others[0].points, a.resSpectrum.points);
        QCOMPARE(a.specPane->others[1].points, a.lcfRefs[0]->spectrum().points);

        const double dEdge = EdgeShift::dEdge(s, none, true, 0.5, XafsSpectrum(), 10, 1, 0.1);
        QCOMPARE(a.lastDEdge, dEdge);
        QCOMPARE(a.DispDEdge->text(), FieldText::text(dEdge));
        const RaResult ra = ResidualAbsorption::compute(s, 1.0, 8200);
        QCOMPARE(a.lastRa.rest, ra.rest);
        QCOMPARE(a.lastRa.jump, ra.jump);
        const ElemsResult el = ElementAnalysis::analyze(s, a.elems->snapshots(), 0,
                                                        a.AElemsCds->background());
        QCOMPARE(a.elemRes, el.dmut);
        for (int k = 0; k < ElemKindCount; ++k) QCOMPARE(a.lastElems.kinds[k], el.kinds[k]);
        QCOMPARE(a.elemCtrls()[1]->dmut, el.value(ElemKind0, 1));
        QCOMPARE(a.sElm.useWindow, false);

        // Only the residual absorption: one request, finished right after it.
        a.Sel2DAMLCFA->setChecked(false);
        a.Sel2DADEdgeA->setChecked(false);
        a.Sel2DAElemA->setChecked(false);
        done.clear();
        a.analyzeAndShowSpectrum(s, none);
        QCOMPARE(a.pending, 1);
        QVERIFY(done.wait(30000));
        QCOMPARE(done.count(), 1);
    }

    // Spectra sent before the earlier ones are answered: every spectrum gets
    // its own finished, none early.
    void overlappingSpectraFinishEachOnce()
    {
        Analyzer a;
        enableAll(a);
        a.setTargetElements(QStringLiteral("Cu"));
        const SuggestElm none = noWindow();
        XafsSpectrum s(sample(8800, 9400, 1, mu1), "t", 1, 0, none);
        QSignalSpy done(&a, &Analyzer::finished);
        a.analyzeSpectrum(s, none);
        a.analyzeSpectrum(s, none);
        a.analyzeSpectrum(s, none);
        QCOMPARE(a.pending, 12);
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 3, 5000);
        QTest::qWait(100);
        QCOMPARE(done.count(), 3);
        QCOMPARE(a.pending, 0);
    }

    // Element rows rebuilt while their request is on its way: the answer
    // belongs to rows that are gone and is not shown on the new ones.
    void rowsRebuiltMeanwhile()
    {
        Analyzer a;
        a.Sel2DAElemA->setChecked(true);
        a.setTargetElements(QStringLiteral("Cu Fe"));
        const SuggestElm none = noWindow();
        XafsSpectrum s(sample(8800, 9400, 1, mu1), "t", 1, 0, none);
        QSignalSpy done(&a, &Analyzer::finished);
        a.analyzeSpectrum(s, none);
        a.setTargetElements(QStringLiteral("Ni"));
        const QString before = a.elemCtrls()[0]->DMuT->text();
        QVERIFY(done.wait(30000));
        QCOMPARE(a.elemCtrls().size(), 1);
        QCOMPARE(a.elemCtrls()[0]->DMuT->text(), before);
        QCOMPARE(a.lastElems.rowCount(), 0);
    }

    void degenerateInputs()
    {
        const SuggestElm none = noWindow();
        {
            // Main mode off: the suggestion is kept, nothing is sent.
            Analyzer a;
            enableAll(a);
            a.SelProcMaps->setChecked(true);
            SuggestElm z = none;
            z.Z = 26;
            QSignalSpy done(&a, &Analyzer::finished);
            XafsSpectrum s(sample(8800, 9400, 1, mu1), "t", 1, 0, none);
            a.analyzeSpectrum(s, z);
            QCOMPARE(a.sElm.Z, 26);
            QCOMPARE(a.pending, 0);
            QVERIFY(!done.wait(200));
        }
        {
            // No references loaded, no element rows, an empty spectrum.
            Analyzer a;
            enableAll(a);
            QSignalSpy done(&a, &Analyzer::finished);
            a.analyzeAndShowSpectrum(XafsSpectrum(), none);
            QVERIFY(done.wait(30000));
            QTest::qWait(50);
            QCOMPARE(done.count(), 1);
            QVERIFY(a.lastLcf.status != LcfResult::Fitted);
            QVERIFY(a.elemRes.isEmpty());
            a.reAnalyzeSpectrum();
            QVERIFY(done.wait(30000));
        }
        {
            // Deleted with requests in flight: the worker ends first.
            auto a = std::make_unique<Analyzer>();
            enableAll(*a);
            XafsSpectrum s(sample(8800, 9400, 1, mu1), "t", 1, 0, none);
            for (int i = 0; i < 5; ++i) a->analyzeSpectrum(s, none);
            QPointer<AnalyzeProc> proc(a->analyzeProc);
            QPointer<QThread> thread(a->analyzeThread);
            a.reset();
            QVERIFY(proc.isNull() && thread.isNull());
        }
    }

    void selectedMap()
    {
        Analyzer a;
        QCOMPARE(a.selectedMap(), &a.dEdgeMap);
        a.ShowZ->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.zansaMap);

        // Residual-absorption maps count only once they have an image.
        a.ShowDMuT->setChecked(true);
        QCOMPARE(a.selectedMap(), (Analyzed2DRes*)nullptr);
        a.ShowRatio->setChecked(true);
        QCOMPARE(a.selectedMap(), (Analyzed2DRes*)nullptr);
        fillMap(a.ratiMap, 4, 3, [](int x, int y) { return x + y; });
        QCOMPARE(a.selectedMap(), &a.ratiMap);

        a.lcfRefs[2]->Show->setChecked(true);
        QCOMPARE(a.selectedMap(), a.lcfRefs[2]->maps[0]);
        a.SelRatio->setChecked(true);
        QCOMPARE(a.selectedMap(), a.lcfRefs[2]->maps[1]);

        // Element maps: ignored without rows; the threshold map before the plain one.
        a.ShowResElemsA->setChecked(true);
        QCOMPARE(a.selectedMap(), (Analyzed2DRes*)nullptr);
        a.setTargetElements(QStringLiteral("Fe Cu"));
        QCOMPARE(a.selectedMap(), a.elemCtrls()[0]->map(ElemKind0));
        a.elemShowGroup()->button(1)->setChecked(true);
        a.ShowElemsROI->setChecked(true);
        QCOMPARE(a.selectedMap(), a.elemCtrls()[1]->map(ElemKindROI));
        a.ShowElemsCorrTh->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.elemsCorThMap);
        a.ShowElemsCorr->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.elemsCorMap);
        // No row shown: no row is indexed.
        a.ShowElemsDE->setChecked(true);
        a.elemShowGroup()->setExclusive(false);
        a.elemShowGroup()->button(1)->setChecked(false);
        QCOMPARE(a.elemShowGroup()->checkedId(), -1);
        QCOMPARE(a.selectedMap(), (Analyzed2DRes*)nullptr);

        a.SelSumUp->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.sumUpMap);

        // Map processing overrides everything, and only in its own mode.
        a.ShowMap2->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.sumUpMap);
        a.SelProcMaps->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.map2);
        a.lcfRefs[0]->Show->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.map2);
        a.ShowProcessedMap->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.processedMap);

        // The map-processing display group signals a new choice.
        QSignalSpy sel(&a, &Analyzer::changedSelection);
        QTest::mouseClick(a.ShowMap1, Qt::LeftButton);
        QCOMPARE(sel.count(), 1);
        QCOMPARE(a.selectedMap(), &a.map1);
    }

    void processedMaps()
    {
        Analyzer a;
        AnalyzeCond grid;
        grid.set(9, 7, 1, 1, QRectF(0, 0, 9, 7), 0, 0);
        int asked = 0;
        connect(&a, &Analyzer::askAnalyzeCond, &a, [&](AnalyzeCond& ac) {
            ac = grid;
            ++asked;
        }, Qt::DirectConnection);

        // Nothing to combine yet: the result stays as it was.
        QMetaObject::invokeMethod(&a, "processMaps");
        QCOMPARE(asked, 0);
        QVERIFY(!a.processedMap.data);

        // Different sizes; Map2 is zero in its left part and negative elsewhere.
        auto f1 = [](int x, int y) { return 1.0 + x + 10.0 * y; };
        auto f2 = [](int x, int y) { return x < 3 ? 0.0 : -0.25 * (1 + y); };
        fillMap(a.map1, 9, 7, f1);
        fillMap(a.map2, 8, 6, f2);
        auto blockSum = [](int w, int h, const std::function<double(int, int)>& f, int cx, int cy) {
            double s = 0;
            for (int y = cy - 1; y <= cy + 1; ++y)
                for (int x = cx - 1; x <= cx + 1; ++x)
                    if (x >= 0 && y >= 0 && x < w && y < h) s += f(x, y);
            return s;
        };
        struct Case { QRadioButton* button; MapProcessing::Op op; };
        for (const Case& c : {Case{a.ProcTypeSub, MapProcessing::Subtract},
                              Case{a.ProcTypeDiv, MapProcessing::Divide},
                              Case{a.ProcTypeMask, MapProcessing::Mask}}) {
            c.button->setChecked(true);
            QMetaObject::invokeMethod(&a, "processMaps");
            QVERIFY(a.processedMap.hasImage);
            QCOMPARE(a.processedMap.width(), 9);
            int blocks = 0;
            for (int cy = 1; cy < 7; cy += 3)
                for (int cx = 1; cx < 9; cx += 3) {
                    const double s1 = blockSum(9, 7, f1, cx, cy), s2 = blockSum(8, 6, f2, cx, cy);
                    double want = s1 - s2;
                    if (c.op == MapProcessing::Divide) want = s2 == 0 ? 1.0 : s1 / s2;
                    if (c.op == MapProcessing::Mask) want = s2 > 0 ? s1 : 0.0;
                    QCOMPARE(a.processedMap.valueAt(cx, cy), want);
                    QCOMPARE(a.processedMap.valueAt(cx + 1, cy - 1), want);
                    ++blocks;
                }
            QCOMPARE(blocks, 6);
        }
        QCOMPARE(asked, 3);
        QCOMPARE(MapProcessing::combine(4, -2, MapProcessing::Divide), -2.0);
        QCOMPARE(MapProcessing::combine(4, 0, MapProcessing::Divide), 1.0);
        QCOMPARE(MapProcessing::combine(4, 0, MapProcessing::Mask), 0.0);
        QCOMPARE(MapProcessing::combine(4, 0.5, MapProcessing::Mask), 4.0);

        // An empty grid from the owner: no block, no crash.
        grid = AnalyzeCond();
        QMetaObject::invokeMethod(&a, "processMaps");
        QVERIFY(!a.processedMap.hasImage);
    }

    void captureAndLoad()
    {
        Analyzer a;
        fillMap(a.dEdgeMap, 5, 4, [](int x, int y) { return x * y; });
        QTest::mouseClick(a.CaptureAsMap1, Qt::LeftButton);
        QCOMPARE(a.Map1Name->text(), QStringLiteral("a2d dEdge"));
        QCOMPARE(a.map1.name, QStringLiteral("a2d dEdge"));
        QCOMPARE(a.map1.valueAt(3, 2), 6.0);
        a.dEdgeMap.setData(3, 2, 0, 0, -1);
        QCOMPARE(a.map1.valueAt(3, 2), 6.0);

        // Nothing selected: the operand and its name stay.
        a.ShowDMuT->setChecked(true);
        QCOMPARE(a.selectedMap(), (Analyzed2DRes*)nullptr);
        a.Map1Name->setText(QStringLiteral("kept"));
        QMetaObject::invokeMethod(&a, "captureAsMap1");
        QCOMPARE(a.Map1Name->text(), QStringLiteral("a2d dEdge"));
        QCOMPARE(a.map1.valueAt(3, 2), 6.0);

        QString seen;
        connect(&a, &Analyzer::loadMap, &a, [&](QString f, Analyzed2DRes& m, EMPHeader& h) {
            seen = f;
            QVERIFY(!h.valid && h.width == 0);
            if (f.endsWith(QLatin1String("good.emp"))) {
                h.valid = true;
                fillMap(m, 2, 2, [](int, int) { return 5.0; });
            }
        }, Qt::DirectConnection);
        a.loadEShiftMap2(QStringLiteral("/x/bad.emp"));
        QCOMPARE(seen, QStringLiteral("/x/bad.emp"));
        QCOMPARE(a.Map2Name->text(), QString());
        a.loadEShiftMap2(QStringLiteral("/x/good.emp"));
        QCOMPARE(a.Map2Name->text(), QStringLiteral("/x/good.emp"));
        QCOMPARE(a.map2.valueAt(1, 1), 5.0);
        QCOMPARE(a.map1.valueAt(3, 2), 6.0);
    }

};

QTEST_MAIN(TestAnalyzer)
#include "tst_analyzer.moc"
