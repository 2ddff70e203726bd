#include <QtTest>

#include <QButtonGroup>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <memory>

#include "support/Files.h"
#include "support/Maps.h"
#include "support/Spectra.h"
#include "analysis/AnalyzeProc.h"
#include "analysis/Analyzer.h"
#include "analysis/ElemCtrl.h"
#include "analysis/ElemList.h"
#include "analysis/LCFReference.h"
#include "analysis/MapProcessing.h"
#include "core/EMPHeader.h"
#include "core/Globals.h"
#include "widgets/SpecPane.h"

using namespace synth;

namespace {

double pre(double E) { return 0.5 - 2e-4 * (E - 8800); }
double mu1(double E) { return pre(E) + sigmoid(E, 9000, 0.4); }
double mu2(double E) { return pre(E) + sigmoid(E, 9006, 0.4); }

// The four analyses of the main mode as given.
void enable(Analyzer& a, bool lcf, bool dEdge, bool elems, bool ra)
{
    a.Sel2DAMLCFA->setChecked(lcf);
    a.Sel2DADEdgeA->setChecked(dEdge);
    a.Sel2DAElemA->setChecked(elems);
    a.Sel2DARAA->setChecked(ra);
}

// The fit chosen on the panel and the spectrum sent after a good one.
struct Variant
{
    bool mlcf, old;
    double jump;
    bool empty;
    LcfResult::Status status;
};

}  // namespace

Q_DECLARE_METATYPE(Variant)

class TestAnalyzer : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    SuggestElm none;
    XafsSpectrum edge1;  // the first reference's own spectrum

private slots:
    void initTestCase()
    {
        initColorTables();
        none.useWindow = false;
        edge1 = XafsSpectrum(sample(8800, 9400, 1, mu1), "t", 1, 0, none);
        QVERIFY(ts::writeSpectrum(dir.filePath("r1.dat"), sample(8800, 9400, 1, mu1)));
        QVERIFY(ts::writeSpectrum(dir.filePath("r2.dat"), sample(8800, 9400, 1, mu2)));
    }

    // The unit step of the comparison mode from the panel's fields.
    void dEdgeStepReference()
    {
        Analyzer a;
        a.DEdgeCWStepAt->setText("10");
        a.DEdgeCWStepWeV->setText("1");
        a.DEdgeCWStepDEeV->setText("0.25");
        QVERIFY(a.prepareDEdgeRef());
        QCOMPARE(a.dEdgeRef.points.size(), 4);
        QCOMPARE(a.dEdgeRef.points[2], QPointF(10.0, 1.0));
        a.DEdgeCWStepDEeV->setText("0");
        QVERIFY(!a.prepareDEdgeRef());
    }

    // Two references mixed 1:3, normalised as measured, fitted on the worker
    // thread: the fractions shown on their rows, the fitted curve on the view.
    void analyzeRecoversFractions()
    {
        Analyzer a;
        a.setLCFStd(0, true, 0, dir.filePath("r1.dat"), "0");
        a.setLCFStd(1, true, 0, dir.filePath("r2.dat"), "0");
        a.setLCFRange(8900, 9300);
        enable(a, true, false, false, false);
        QSignalSpy done(&a, &Analyzer::finished);
        a.analyzeAndShowSpectrum(
            XafsSpectrum(sample(8800, 9400, 1, [](double E) { return 0.25 * mu1(E) + 0.75 * mu2(E); }), "t", 1, 0, none),
            none);
        QVERIFY(done.wait(30000));
        QCOMPARE(a.lastLcf.status, LcfResult::Fitted);
        QVERIFY2(std::fabs(a.lcfRefs[0]->fraction - 0.25) < 2e-3, qPrintable(QString::number(a.lcfRefs[0]->fraction)));
        QVERIFY2(std::fabs(a.lcfRefs[1]->fraction - 0.75) < 2e-3, qPrintable(QString::number(a.lcfRefs[1]->fraction)));
        QCOMPARE(a.specPane->others[0].points, a.lastLcf.fitted.points);
    }

    // The fit chosen on the panel runs on the worker, after a good fit of 0.3
    // and 0.7 of the rows' own curves still on its way; a request with nothing
    // to fit still answers, the results standing, and every spectrum gets one
    // finished once all its analyses have answered.
    void lcfVariants_data()
    {
        QTest::addColumn<Variant>("v");
        QTest::newRow("LCF") << Variant{false, false, 2.0, false, LcfResult::Fitted};
        QTest::newRow("LCF, zero jump") << Variant{false, false, 0.0, false, LcfResult::ZeroJump};
        QTest::newRow("the old LCF fits a zero jump") << Variant{false, true, 0.0, false, LcfResult::Fitted};
        QTest::newRow("MLCF over the old LCF") << Variant{true, true, 0.0, false, LcfResult::Fitted};
        QTest::newRow("empty spectrum") << Variant{false, false, 2.0, true, LcfResult::Skipped};
    }
    void lcfVariants()
    {
        QFETCH(Variant, v);
        Analyzer a;
        a.setLCFStd(0, true, 0, dir.filePath("r1.dat"), "0");
        a.setLCFStd(1, true, 0, dir.filePath("r2.dat"), "0");
        a.setTargetElements(QStringLiteral("Cu"));
        enable(a, true, false, true, true);
        Spectrum D = a.lcfRefs[0]->snapshot().preBase;
        const Spectrum P2 = a.lcfRefs[1]->snapshot().preBase;
        for (int k = 0; k < D.points.size(); ++k) D.points[k].setY(0.3 * D.points[k].y() + 0.7 * P2.points[k].y());
        XafsSpectrum good = target(D, D, 2.0);
        XafsSpectrum s = v.empty ? XafsSpectrum() : target(D, D, v.jump);
        QSignalSpy done(&a, &Analyzer::finished);
        QSignalSpy z(a.analyzeProc, &AnalyzeProc::newZ);
        a.analyzeSpectrum(good, none);
        a.MLCF->setChecked(v.mlcf);
        a.AsOldLCF->setChecked(v.old);
        a.analyzeSpectrum(s, none);
        QCOMPARE(a.pending, 6);
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 30000);
        QTest::qWait(100);
        QCOMPARE(done.count(), 2);
        QCOMPARE(a.pending, 0);
        QCOMPARE(a.lastLcf.status, v.status);
        QVERIFY(std::fabs(a.lastLcf.fractions.value(1, -1) - (v.status == LcfResult::ZeroJump ? 0.0 : 0.7)) < 1e-6);
        // Only a fit gives a new z.
        QCOMPARE(z.count(), v.status == LcfResult::Fitted ? 2 : 1);
        if (v.status == LcfResult::Fitted)
            QCOMPARE(a.lastLcf.fitted.name, v.mlcf ? QStringLiteral("anal-MLCF") : QStringLiteral("anal-LCF"));
    }

    // Outside the main mode nothing is sent and no finished comes.
    void nothingSentOutsideTheMainMode()
    {
        Analyzer a;
        enable(a, true, true, true, true);
        a.SelProcMaps->setChecked(true);
        QSignalSpy done(&a, &Analyzer::finished);
        QCOMPARE(a.analyzeSpectrum(edge1, none), 0);
        QVERIFY(!done.wait(200));
    }

    // Element rows rebuilt while their request is on its way: the answer
    // belongs to rows that are gone and is not shown on the new ones.
    void rowsRebuiltMeanwhile()
    {
        Analyzer a;
        enable(a, false, false, true, false);
        a.setTargetElements(QStringLiteral("Cu Fe"));
        QSignalSpy done(&a, &Analyzer::finished);
        a.analyzeSpectrum(edge1, none);
        a.setTargetElements(QStringLiteral("Ni"));
        const QString before = a.elemCtrls()[0]->DMuT->text();
        QVERIFY(done.wait(30000));
        QCOMPARE(a.elemCtrls()[0]->DMuT->text(), before);
        QCOMPARE(a.lastElems.rowCount(), 0);
    }

    // The worker lives on a thread of its own; deleted with requests in
    // flight, the worker and its thread end first.
    void deletedWithRequestsInFlight()
    {
        auto a = std::make_unique<Analyzer>();
        QVERIFY(a->analyzeProc->thread() == a->analyzeThread && a->analyzeThread->isRunning());
        enable(*a, true, true, true, true);
        for (int i = 0; i < 5; ++i) a->analyzeSpectrum(edge1, none);
        QPointer<AnalyzeProc> proc(a->analyzeProc);
        QPointer<QThread> thread(a->analyzeThread);
        a.reset();
        QVERIFY(proc.isNull() && thread.isNull());
    }

    // Each choice on the panel overrides the ones before it in this order.
    void selectedMap()
    {
        Analyzer a;
        a.ShowZ->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.zansaMap);
        // Residual-absorption maps count only once they have an image.
        a.ShowDMuT->setChecked(true);
        QCOMPARE(a.selectedMap(), (Analyzed2DRes*)nullptr);
        a.ShowRatio->setChecked(true);
        QCOMPARE(a.selectedMap(), (Analyzed2DRes*)nullptr);
        ts::fillMap(a.ratiMap, 4, 3, [](int x, int y) { return x + y; });
        a.ratiMap.genImg();
        QCOMPARE(a.selectedMap(), &a.ratiMap);
        a.lcfRefs[2]->Show->setChecked(true);
        QCOMPARE(a.selectedMap(), a.lcfRefs[2]->maps[0]);
        // Element maps: ignored without rows; the threshold map before the plain one.
        a.ShowResElemsA->setChecked(true);
        QCOMPARE(a.selectedMap(), (Analyzed2DRes*)nullptr);
        a.setTargetElements(QStringLiteral("Fe Cu"));
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
        QCOMPARE(a.selectedMap(), (Analyzed2DRes*)nullptr);
        a.SelSumUp->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.sumUpMap);
        // Map processing overrides everything, and only in its own mode.
        a.ShowProcessedMap->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.sumUpMap);
        a.SelProcMaps->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.processedMap);
    }

    // Map processing: the shown map captured as map 1 is a copy; a map file
    // that does not read leaves map 2 and its name as they were; the two maps,
    // of different sizes, are combined block by block over the owner's grid
    // (sums of 3 x 3 blocks, pixels outside a map count 0).
    void processedMaps_data()
    {
        QTest::addColumn<int>("op");
        QTest::newRow("subtract") << int(MapProcessing::Subtract);
        QTest::newRow("divide, 1 where map 2 is 0") << int(MapProcessing::Divide);
        QTest::newRow("mask by map 2 above 0") << int(MapProcessing::Mask);
    }
    void processedMaps()
    {
        QFETCH(int, op);
        Analyzer a;
        AnalyzeCond grid;
        grid.set(9, 7, 1, 1, QRectF(0, 0, 9, 7), 0, 0);
        connect(&a, &Analyzer::askAnalyzeCond, &a, [&](AnalyzeCond& ac) { ac = grid; }, Qt::DirectConnection);
        // Nothing to combine yet: no result.
        QMetaObject::invokeMethod(&a, "processMaps");
        QVERIFY(!a.processedMap.data);
        // Map 2 is 0 in its left part and negative elsewhere.
        auto f1 = [](int x, int y) { return 1.0 + x + 10.0 * y; };
        auto f2 = [](int x, int y) { return x < 3 ? 0.0 : -0.25 * (1 + y); };
        ts::fillMap(a.dEdgeMap, 9, 7, f1);
        a.dEdgeMap.genImg();
        QTest::mouseClick(a.CaptureAsMap1, Qt::LeftButton);
        QCOMPARE(a.Map1Name->text(), QStringLiteral("a2d dEdge"));
        ts::fillMap(a.dEdgeMap, 9, 7, [](int, int) { return -1.0; });
        connect(&a, &Analyzer::loadMap, &a, [&](QString f, Analyzed2DRes& m, EMPHeader& h) {
            if (f.endsWith(QLatin1String("good.emp"))) {
                h.valid = true;
                ts::fillMap(m, 8, 6, f2);
                m.genImg();
            }
        }, Qt::DirectConnection);
        a.loadEShiftMap2(QStringLiteral("/x/bad.emp"));
        QCOMPARE(a.Map2Name->text(), QString());
        a.loadEShiftMap2(QStringLiteral("/x/good.emp"));
        QCOMPARE(a.Map2Name->text(), QStringLiteral("/x/good.emp"));
        (op == MapProcessing::Divide ? a.ProcTypeDiv : op == MapProcessing::Mask ? a.ProcTypeMask : a.ProcTypeSub)
            ->setChecked(true);
        QMetaObject::invokeMethod(&a, "processMaps");
        for (int cy = 1; cy < 7; cy += 3)
            for (int cx = 1; cx < 9; cx += 3) {
                double s1 = 0, s2 = 0;
                for (int y = cy - 1; y <= cy + 1; ++y)
                    for (int x = cx - 1; x <= cx + 1; ++x) {
                        s1 += x < 9 && y < 7 ? f1(x, y) : 0.0;
                        s2 += x < 8 && y < 6 ? f2(x, y) : 0.0;
                    }
                const double want = op == MapProcessing::Subtract ? s1 - s2
                                    : op == MapProcessing::Divide ? (s2 == 0 ? 1.0 : s1 / s2)
                                                                  : (s2 > 0 ? s1 : 0.0);
                QCOMPARE(a.processedMap.valueAt(cx + 1, cy - 1), want);
            }
        // An empty grid from the owner: no block, no crash.
        grid = AnalyzeCond();
        QMetaObject::invokeMethod(&a, "processMaps");
        QVERIFY(!a.processedMap.hasImage);
    }
};

QTEST_MAIN(TestAnalyzer)
#include "tst_analyzer.moc"
