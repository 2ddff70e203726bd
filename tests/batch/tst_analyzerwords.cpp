// The analysis panel's batch words on a real main window: argument quirks of
// the vocabulary (which argument is read, what a missing one does), the
// widgets they leave behind, and the single answer of the run words.
#include <QAbstractButton>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "analysis/AElemsConds.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/ElemCtrl.h"
#include "analysis/LCFReference.h"
#include "batch/BatchCmd.h"
#include "batch/BatchOnBody.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "support/Batch.h"
#include "support/BodyStack.h"
#include "support/Files.h"
#include "support/Spectra.h"
#include "widgets/SpecPane.h"

namespace {

// An edge of 0.6 at 8980 eV over 40 frames.
ts::StackSpec edgeStack()
{
    ts::StackSpec s;
    s.w = 6;
    s.h = 4;
    s.n = 40;
    s.energy = [](int k) { return 8940 + 2.0 * k; };
    s.i1 = [](int k, int, int) { return 10000.0 * std::exp(-(0.3 + (8940 + 2.0 * k > 8980 ? 0.6 : 0.0))); };
    s.i0 = [](int, int, int) { return 10000.0; };
    return s;
}

// "name" is a widget of the panel; "ref<i>/name" of reference row i,
// "elem<i>/name" of element row i; "view<i>" is the energy offset of the
// copy of reference row i the spectrum view draws.
QString stateOf(Analyzer* p, const QString& path)
{
    QObject* base = p;
    QString name = path;
    if (path.startsWith("view")) {
        const int k = path.mid(4).toInt() + 1;
        const QVector<XafsSpectrum>& o = p->specPane->others;
        return k < o.size() ? QString::number(o[k].energyOffset) : QString("none");
    }
    const int slash = path.indexOf('/');
    if (slash > 0) {
        const QString head = path.left(slash);
        name = path.mid(slash + 1);
        if (head.startsWith("ref")) {
            const int i = head.mid(3).toInt();
            if (i >= p->lcfRefs.size()) return "no row";
            base = p->lcfRefs[i];
        } else {
            const int i = head.mid(4).toInt();
            const QVector<ElemCtrl*> rows = p->elemCtrls();
            if (i >= rows.size()) return "no row";
            base = rows[i];
        }
    }
    QObject* w = base->objectName() == name ? base : base->findChild<QObject*>(name);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->isChecked() ? "1" : "0";
    return "no widget " + name;
}

}  // namespace

class TstAnalyzerWords : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    QString refFile;

private slots:
    void initTestCase()
    {
        initGlobals();
        initBatchCmdTables();
        installAnalysisOnBody();
        installBatchOnBody();
        QVERIFY(tmp.isValid());
        refFile = tmp.filePath("ref.dat");
        QVERIFY(ts::writeSpectrum(refFile, synth::sample(8900, 9100, 1, [](double E) {
                                      return 0.2 + synth::sigmoid(E, 8980, 3);
                                  })));
    }

    void words_data()
    {
        QTest::addColumn<bool>("stack");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("answers");
        QTest::addColumn<int>("selections");  // changedSelection count; -1 not counted
        QTest::addColumn<QStringList>("expect");

        const QStringList allOff = {"Sel2DADEdgeA=0", "Sel2DAMLCFA=0", "Sel2DAElemA=0", "Sel2DARAA=0"};
        QTest::newRow("sub modes 0 1 0 1 0") << false << "analyzer_sub_mode 0 0 1 0 1"
                                             << "analyzer_sub_mode 0 1 0 1 0" << "78" << -1
                                             << QStringList{"Sel2DADEdgeA=1", "Sel2DAMLCFA=0", "Sel2DAElemA=1",
                                                            "Sel2DARAA=0"};
        QTest::newRow("sub modes, mode alone") << false << "analyzer_sub_mode 0 0 0 0 0"
                                               << "analyzer_sub_mode 0" << "78" << -1 << allOff;
        QTest::newRow("sub modes of group 1") << false << "analyzer_sub_mode 0 0 0 0 0"
                                              << "analyzer_sub_mode 1 1 1 1 1" << "78" << -1 << allOff;
        QTest::newRow("scale max into both") << false << "" << "analyzer_set_scale_max 2.5" << "90" << 2
                                             << QStringList{"DMutScaleMax=2.5", "RatioScaleMax=2.5"};
        QTest::newRow("scale min, no number") << false << "" << "analyzer_set_scale_min low" << "91" << 2
                                              << QStringList{"DMutScaleMin=0", "RatioScaleMin=0"};
        QTest::newRow("reference, four arguments")
            << false << "analyzer_set_LCF_std 1 1 0 REF 0" << "analyzer_set_LCF_std 1 1 2.5 REF" << "107" << -1
            << QStringList{"ref1/IsVictreen=1", "ref1/DeltaE=2.5", "ref1/Use=1", "view1=2.5"};
        QTest::newRow("reference, vic in small letters")
            << false << "analyzer_set_LCF_std 2 1 0 REF 0" << "analyzer_set_LCF_std 2 0 -1 REF vic" << "107" << -1
            << QStringList{"ref2/IsVictreen=1", "ref2/DeltaE=-1", "ref2/Use=0", "view2=-1"};
        QTest::newRow("reference, Victoreen word 0")
            << false << "analyzer_set_LCF_std 0 1 0 REF VIC" << "analyzer_set_LCF_std 0 1 0.125 REF 0" << "107"
            << -1 << QStringList{"ref0/IsVictreen=0", "ref0/DeltaE=0.125", "view0=0.125"};
        QTest::newRow("reference row out of range")
            << false << "" << "analyzer_set_LCF_std 4 1 3 REF 0\nanalyzer_set_LCF_std -1 1 3 REF 0" << "107 107" << -1
            << QStringList{"ref3/DeltaE=0", "ref0/DeltaE=0", "view3=0"};
        QTest::newRow("background dmut, one argument") << false << "analyzer_elems_bg_dMut x 7"
                                                       << "analyzer_elems_bg_dMut 3.5" << "125" << -1
                                                       << QStringList{"BGVDMut=0"};
        QTest::newRow("background dmut, second argument") << false << ""
                                                          << "analyzer_elems_bg_dMut Fe 3.5" << "125" << -1
                                                          << QStringList{"BGVDMut=3.5"};
        QTest::newRow("background NROI, second argument") << false << "" << "analyzer_elems_bg_NROI 9 1e-7"
                                                          << "129" << -1 << QStringList{"BGVNROI=1e-07"};
        QTest::newRow("image id without a button") << false << "" << "analyzer_select_image 99" << "88" << 1
                                                   << QStringList{"ShowDEdge=1"};
        QTest::newRow("element map kind 9") << false << "" << "analyzer_elems_select_disp_mode 9" << "120" << 1
                                            << QStringList{"ShowElemsDMut0=1"};
        QTest::newRow("element map kind 7") << false << "" << "analyzer_elems_select_disp_mode 7" << "120" << 1
                                            << QStringList{"ShowElemsROI=1", "ShowElemsDMut0=0"};
        QTest::newRow("element order as typed") << false << "analyzer_elems_sort_by_an 0"
                                                << "analyzer_target_elements Cu,Fe" << "114" << -1
                                                << QStringList{"SortByANo=0", "elem0/Name=Cu-K", "elem1/Name=Fe-K"};
        QTest::newRow("element use by index") << false << "analyzer_target_elements Fe,Cu,Zn"
                                              << "analyzer_elems_set_use 2 0" << "121" << -1
                                              << QStringList{"elem2/Use=0", "elem1/Use=1"};
        QTest::newRow("element ROI by name") << false << "analyzer_target_elements Fe,Cu"
                                             << "analyzer_elems_roi Cu-K 8990 9000.5" << "122" << -1
                                             << QStringList{"elem1/ROIs=8990", "elem1/ROIe=9000.5", "elem0/ROIs=7000"};
        QTest::newRow("correlation threshold") << false << "" << "analyzer_elems_set_corr_th 0.95" << "119" << 1
                                               << QStringList{"CorTh=0.95"};
        QTest::newRow("comparison parameters") << false << "" << "analyzer_dEdge_comp_params 30 0.5"
                                               << "106" << -1
                                               << QStringList{"DEdgeCWFullRangeEV=30", "DEdgeCWInitDEeV=0.5",
                                                              "DEdgeCWMinDEeV=0"};
        QTest::newRow("sum-up main mode has no action") << false << "" << "analyzer_select_main_mode_sumUp"
                                                        << "158" << 0 << QStringList{"Sel2DA=1", "SelSumUp=0"};
        QTest::newRow("elements run, no images") << false << "analyzer_sub_mode 0 0 0 1 0"
                                                 << "analyzer_exec_elems" << "112" << -1 << QStringList();
        QTest::newRow("run, nothing enabled") << true << "analyzer_sub_mode 0 0 0 0 0"
                                              << "analyzer_exec_2da" << "112" << -1 << QStringList();
        QTest::newRow("residual run over a stack") << true << "analyzer_sub_mode 0 0 0 0 1\nset_band_w 1\nset_band_h 1"
                                                   << "analyzer_exec_ra" << "112" << -1
                                                   << QStringList{"Sel2DARAA=1"};
        QTest::newRow("edge run over a stack") << true << "analyzer_sub_mode 0 1 0 0 0\nset_band_w 1\nset_band_h 1"
                                               << "analyzer_exec_LCF" << "112" << -1
                                               << QStringList{"Sel2DADEdgeA=1"};
    }

    void words()
    {
        QFETCH(bool, stack);
        QFETCH(QString, setup);
        QFETCH(QString, script);
        QFETCH(QString, answers);
        QFETCH(int, selections);
        QFETCH(QStringList, expect);

        Body b;
        Analyzer* p = AnalysisOnBody::of(b)->analyzer();
        BatchCtrl* c = BatchOnBody::of(b)->batchCtrl();
        if (stack) ts::loadStack(b, edgeStack());
        if (!setup.isEmpty()) QVERIFY(ts::runScript(c, setup.replace("REF", refFile)));
        QSignalSpy done(&b, &Body::finishBatchExec);
        QSignalSpy changed(p, &Analyzer::changedSelection);
        QVERIFY(ts::runScript(c, script.replace("REF", refFile)));
        // A run that answered twice would show as one more id.
        QTest::qWait(50);
        QList<int> want;
        for (const QString& id : answers.split(' ')) want << id.toInt();
        QCOMPARE(ts::idsOf(done), want);
        QVERIFY(!b.analysis2DRunning);
        if (selections >= 0) QCOMPARE(changed.size(), selections);
        for (const QString& e : expect) {
            const QString path = e.section('=', 0, 0);
            QCOMPARE(path + "=" + stateOf(p, path), e);
        }
        const bool said = ts::logOf(c).contains("Err:");
        QCOMPARE(said, answers == "158");
    }
};

QTEST_MAIN(TstAnalyzerWords)
#include "tst_analyzerwords.moc"
