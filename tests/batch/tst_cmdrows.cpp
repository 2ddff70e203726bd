// The executor's commands on one real main window with every panel, one row
// per command: the ids it answers and what it changed (and, for the I1 / I0
// pairs, that the other side was left alone); loads on a window of their
// own, answering once the stack is full.
#include <QAbstractButton>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPointer>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/ElemCtrl.h"
#include "analysis/LCFReference.h"
#include "batch/BatchCmd.h"
#include "batch/BatchCtrl.h"
#include "batch/BatchOnBody.h"
#include "core/Analyzed2DRes.h"
#include "core/Elements.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/EOFSetup.h"
#include "mainwindow/SaveDataCfg.h"
#include "mainwindow/SelectDataFiles.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibOnBody.h"
#include "tools/StatsMath.h"
#include "tools/ToolsOnBody.h"
#include "widgets/ColorBar.h"
#include "widgets/ImgDispA.h"
#include "widgets/SpecPane.h"

#include "support/Batch.h"
#include "support/BodyStack.h"
#include "support/Files.h"
#include "support/Spectra.h"

namespace {

const int N = 6;
// Columns and rows 0 .. 2 are shaded: only the detector offset reaches them.
bool shaded(int c, int r) { return c < 3 && r < 3; }
double mu(int k) { return 0.2 + 0.1 * k; }
double i1Offset(int k) { return 50 + k; }
double i0Offset(int k) { return 300 + 10 * k; }
double i1At(int k, int c, int r) { return (shaded(c, r) ? 0 : 1000 * std::exp(-mu(k))) + i1Offset(k); }
double i0At(int k, int c, int r) { return (shaded(c, r) ? 0 : 4000) + i0Offset(k); }

double mapValue(int x, int y) { return -3.0 + 2.5 * x + 4.0 * y; }  // -3 .. 12.5

QString rectText(const QRectF& r)
{
    return QString("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// A widget state as text: a field's or label's text, a button's check, a
// list's index.
// "root:Name" looks for Name under root: B the main window, I1 / I0 that
// side's selector and its panels, A the analysis panel, ref<i> / elem<i> its
// reference and element rows, C the calibration window, T the statistics,
// S the save options, P the spectrum view. "view<i>" is the energy offset
// of the copy of reference row i the analysis panel's view draws;
// "file:<path>" the size of the picture saved there, "tiff:<path>" the
// samples of a map saved there; "darks" whether the I1 and I0 dark areas
// are set, "i0dark" the I0 dark values, "mu" the cursor spectrum at (8, 5).
QString probe(Body& b, const QString& key)
{
    Analyzer* a = AnalysisOnBody::of(b)->analyzer();
    if (key == "status") return b.statusBar()->currentMessage();
    if (key == "cbar") return QString("%1 %2").arg(b.CBar->valueMin).arg(b.CBar->valueMax);
    if (key == "area") return rectText(b.dispA->selectedArea);
    if (key == "window") return rectText(b.dispA->viewWindow);
    if (key == "stats") return ToolsOnBody::of(b)->stats.isVisible() ? "shown" : "hidden";
    if (key == "darks") return QString("%1 %2").arg(b.i1DarkAreaSet).arg(b.i0DarkAreaSet);
    if (key == "i0dark") {
        QStringList v;
        for (double d : b.i0DarkAreaValues) v << QString::number(d);
        return v.join(' ');
    }
    if (key == "mu") {
        QStringList v;
        for (const QPointF& p : b.makeXafsSpectrum(8, 5, 0, 0).points) v << QString::number(p.y(), 'f', 4);
        return v.join(' ');
    }
    if (key.startsWith("tiff:")) {
        TiffData t;
        if (!t.load(key.mid(5))) return "none";
        QStringList v;
        for (int y = 0; y < int(t.height); ++y)
            for (int x = 0; x < int(t.width); ++x) v << QString::number(t.pixelValue(x, y));
        return QString("%1x%2: %3").arg(t.width).arg(t.height).arg(v.join(' '));
    }
    if (key.startsWith("file:")) {
        const QImage i(key.mid(5));
        return i.isNull() ? "none" : QString("%1x%2").arg(i.width()).arg(i.height());
    }
    if (key.startsWith("view")) {
        const int k = key.mid(4).toInt() + 1;
        const QVector<XafsSpectrum>& o = a->specPane->others;
        return k < o.size() ? QString::number(o[k].energyOffset) : QString("none");
    }
    const QString root = key.section(':', 0, 0), name = key.section(':', 1);
    QList<QObject*> roots;
    if (root == "B") roots << &b;
    if (root == "I1" || root == "I0") {
        SelectDataFiles* s = root == "I1" ? b.SelectI1Files : b.SelectI0Files;
        roots << s << s->eofSetup() << &s->additionalSetup();
    }
    if (root == "A") roots << a;
    if (root.startsWith("ref") && root.mid(3).toInt() < a->lcfRefs.size()) roots << a->lcfRefs[root.mid(3).toInt()];
    if (root.startsWith("elem") && root.mid(4).toInt() < a->elemCtrls().size())
        roots << a->elemCtrls()[root.mid(4).toInt()];
    if (root == "C") roots << CalibOnBody::of(b)->calibCtrl;
    if (root == "T") roots << &ToolsOnBody::of(b)->stats;
    if (root == "S") roots << b.saveDataCfg;
    if (root == "P") roots << b.specWindow;
    QObject* w = nullptr;
    for (QObject* o : roots)
        if (!w) w = o->objectName() == name ? o : o->findChild<QObject*>(name);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<QAbstractButton*>(w)) return c->isChecked() ? "1" : "0";
    if (auto* c = qobject_cast<QComboBox*>(w)) return QString::number(c->currentIndex());
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    return "<no " + key + ">";
}

}  // namespace

class TstCmdRows : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    QString refFile;
    std::unique_ptr<Body> body;
    BatchCtrl* ctrl = nullptr;
    Analyzed2DRes map{"rows map"};
    std::unique_ptr<Body> loadBody;  // the load rows' window, empty at first

    QString withPaths(QString text) const
    {
        return text.replace("REF", refFile).replace("TMP", tmp.path());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(ts::initBatchRun(tmp));
        installAnalysisOnBody();
        installBatchOnBody();
        installToolsOnBody();
        installCalibOnBody();
        refFile = tmp.filePath("ref.dat");
        QVERIFY(ts::writeSpectrum(refFile, synth::sample(8900, 9100, 1, [](double E) {
                                      return 0.2 + synth::sigmoid(E, 8980, 3);
                                  })));
        body = std::make_unique<Body>();
        ctrl = BatchOnBody::of(*body)->batchCtrl();
        ts::StackSpec s;
        s.n = N;
        s.i1 = i1At;
        s.i0 = i0At;
        ts::loadStack(*body, s);
        body->UseI0->setChecked(true);
        // The map every save of a map or of the reference maps takes.
        Body::hooks().selectedMap = [this](const Body& b) { return &b == body.get() ? &map : nullptr; };
        Body::hooks().referenceMaps = [this](const Body&) { return QVector<Analyzed2DRes*>{&map, nullptr}; };
        AnalyzeCond g;
        g.set(4, 3, 0, 0, QRectF(0, 0, 4, 3), -1, -1);
        map.setCond(g);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) map.setData(x, y, 0, 0, mapValue(x, y));
        map.genImg();
    }

    void cleanupTestCase()
    {
        Body::hooks().selectedMap = nullptr;
        Body::hooks().referenceMaps = nullptr;
        QPointer<BatchCtrl> c = ctrl;
        body.reset();
        loadBody.reset();
        QVERIFY(c.isNull());
    }

    void words_data()
    {
        QTest::addColumn<QString>("script");
        // Empty: one answer per line, none of them the no-command id.
        QTest::addColumn<QList<int>>("answers");
        // "key=value" after the script; "~key": the script left it as it was.
        QTest::addColumn<QStringList>("checks");
        auto row = [](const QString& script, const QStringList& checks, const QList<int>& answers = {}) {
            QTest::newRow(qPrintable(script)) << script << answers << checks;
        };
        // The I1 word changes the I1 side only, the I0 word the I0 side only.
        auto pair = [&row](const char* script, const char* field, const QString& value) {
            row(QString(script).arg("i1"), {QString("I1:%1=%2").arg(field, value), QString("~I0:") + field});
            row(QString(script).arg("i0"), {QString("I0:%1=%2").arg(field, value), QString("~I1:") + field});
        };
        pair("cut_f_%1 3", "CutFirst", "3");
        pair("cut_l_%1 5", "CutLast", "5");
        pair("skip_%1 2", "Skip", "2");
        pair("eng_calc_base_%1 8.95e3", "Start", "8950");
        pair("eng_calc_delta_%1 2.5", "Delta", "2.5");
        pair("eng_calc_end_%1 7400", "End", "7400");
        pair("eng_calc_num_%1 41", "NumOfPoints", "41");
        pair("eng_by_name_factor_%1 0.000012345678", "Factor", "1.23457e-05");
        pair("set_%1_energy_pattern _([0-9]+)_", "Pattern", "_([0-9]+)_");
        pair("eng_by_name_reg_exp_%1 e([0-9.]+)eV", "Pattern", "e([0-9.]+)eV");
        pair("show_latest_%1 1", "ShowLatest", "1");
        pair("eng_calc_disp_unit_%1 1\neng_calc_disp_unit_%1 99", "DisplayUnit", "1");
        pair("eng_calc_even_in_deg_%1 1", "EvenInAngle", "1");
        pair("eng_calc_even_in_eng_%1 1", "EvenInEnergy", "1");
        // A checked radio button of its set is only unchecked by another.
        pair("eng_by_calc_%1 1\neng_by_calc_%1 0", "FromFileNum", "1");
        pair("eng_by_name_%1", "FromFileName", "1");
        pair("eng_by_ref_%1 none.dat", "FromRefFile", "1");
        row("cut_f_i1 2.5", {"I1:CutFirst=0"});
        row("show_latest_i0 1\nshow_latest_i0 yes", {"I0:ShowLatest=0"});
        row("Use_I0", {"B:UseI0=0", "~B:FluoType"});  // a missing flag unchecks
        row("USE_I0 1", {"B:UseI0=1", "~B:FluoType"});
        row("set_fluo_type 1", {"B:FluoType=1", "~B:UseI0"});
        row("set_fluo_type 1.0", {"B:FluoType=0", "~B:UseI0"});  // only the integer 1 checks
        row("set_band_w 3\nset_band_w", {"B:HWidth=0", "~B:VWidth"});
        row("set_band_h 1", {"B:VWidth=1", "~B:HWidth"});
        row("Suggest_Elm 1", {"B:UseSuggestElm=1", "~B:FluoType"});
        row("Suggesting_Pre_End_eV -30", {"B:DPreE=-30", "~B:DPostS"});
        row("Suggesting_Post_Start_eV 55", {"B:DPostS=55", "~B:DPreE"});
        row("select_qs_fitted_eShift 1", {"B:QuadSurfFittedEShift=1", "~B:FluoType"});
        row("select_disp_image_i0\nselect_disp_image 7", {"B:ShowI0=1", "~B:UseI0"});
        row("select_disp_image 0", {"B:ShowData=1"});
        row("select_disp_image_eShift", {"B:ShowShiftMap=1"});
        row("select_disp_image_analyzed", {"B:ShowResAnalysis=1"});
        row("select_disp_image_i1", {"B:ShowData=1"});
        // The edge energy follows element and edge; the symbol's case is exact.
        const QString k = "B:SuggestingEeV=" + QString::number(edgeEnergyOf(29, 0), 'g', 6);
        const QString l1 = "B:SuggestingEeV=" + QString::number(edgeEnergyOf(29, 3), 'g', 6);
        row("Suggesting_Edge 0\nSuggesting_Elm Cu", {k, "~B:DPreE"});
        row("Suggesting_Edge 3", {l1});
        row("Suggesting_Elm cu", {l1});
        row("Suggesting_Edge_eV 1234.5", {"B:SuggestingEeV=1234.5"});
        row("cbar_set_range 2 1e3", {"cbar=2 1000"});
        row("select_region 6 5 2 1\nzoom_in", {"area=2 1 4 4", "window=2 1 4 4"});  // corners in any order
        row("specpane_normalize 1\nspecpane_enerugy_correction 2", {"P:Normalized=1", "P:ECorrect=0"});
        row("move_position 2.7 3\ncbar_set_all\nscale_reset", {});
        row("save_image TMP/none/view.png", {"status=Not saved: the folder TMP/none does not exist"});
        // The view and its colour bar; every reference map; the selected map
        // as the save options leave it.
        row("scale_reset\nsave_image TMP/view.tif", {"file:TMP/view.tif=12x9", "file:TMP/view-cBar.tif=20x600"});
        row("save_image_w_num TMP/view.png 7", {"file:TMP/view-7.png=12x9", "file:TMP/view-7-cBar.png=20x600"});
        row("save_all_images TMP/all.png", {"file:TMP/all-0-0.png=4x3", "file:TMP/all-0-1.png=none"});
        row("saveDataCfg_save_as_tiff\nsave_data TMP/data.tif",
            {"file:TMP/data-0.tif=4x3", "file:TMP/data-0--cBar.tif=20x600"});
        // A map as 16-bit samples, on a fixed scale or on its own range
        // (-3 .. 12.5), every block of it; beyond the scale a sample is clamped.
        const QString scale = "saveDataCfg_tiff_as_analyzed 0\nsaveDataCfg_tiff_fix_scale %1\n"
                              "saveDataCfg_tiff_scale_min %2\nsaveDataCfg_tiff_scale_max %3\n"
                              "save_data_as_tiff TMP/%4.tif";
        row(scale.arg(1).arg(0).arg(10).arg("m0"),
            {"tiff:TMP/m0-0.tif=4x3: 0 0 13107 29490 6553 22937 39321 55704 32767 49151 65535 65535"});
        row(scale.arg(1).arg(4).arg(6).arg("m4"),
            {"tiff:TMP/m4-0.tif=4x3: 0 0 0 16383 0 0 65535 65535 32767 65535 65535 65535"});
        row(scale.arg(0).arg(4).arg(6).arg("ma"),
            {"tiff:TMP/ma-0.tif=4x3: 0 10570 21140 31710 16912 27482 38052 48622 33824 44394 54964 65535"});

        // The analysis panel: which argument is read, what a missing one does.
        row("analyzer_sub_mode 0 0 1 0 1\nanalyzer_sub_mode 0 1 0 1 0",
            {"A:Sel2DADEdgeA=1", "A:Sel2DAMLCFA=0", "A:Sel2DAElemA=1", "A:Sel2DARAA=0"});
        row("analyzer_sub_mode 0", {"~A:Sel2DADEdgeA", "~A:Sel2DAElemA"});
        row("analyzer_sub_mode 1 0 0 0 0", {"~A:Sel2DADEdgeA", "~A:Sel2DAElemA"});
        row("analyzer_set_scale_max 2.5", {"A:DMutScaleMax=2.5", "A:RatioScaleMax=2.5"});
        row("analyzer_set_scale_min low", {"A:DMutScaleMin=0", "A:RatioScaleMin=0"});
        row("analyzer_set_LCF_std 4 1 3 REF 0\nanalyzer_set_LCF_std -1 1 3 REF 0", {"~ref0:DeltaE", "~ref3:DeltaE"});
        row("analyzer_set_LCF_std 1 1 0 REF 0\nanalyzer_set_LCF_std 1 1 2.5 REF",
            {"ref1:IsVictreen=1", "ref1:DeltaE=2.5", "ref1:Use=1", "view1=2.5", "~ref2:DeltaE"});
        row("analyzer_set_LCF_std 2 1 0 REF 0\nanalyzer_set_LCF_std 2 0 -1 REF vic",
            {"ref2:IsVictreen=1", "ref2:DeltaE=-1", "ref2:Use=0", "view2=-1"});
        row("analyzer_set_LCF_std 0 1 0 REF VIC\nanalyzer_set_LCF_std 0 1 0.125 REF 0",
            {"ref0:IsVictreen=0", "ref0:DeltaE=0.125", "view0=0.125"});
        row("analyzer_elems_bg_dMut Fe 3.5\nanalyzer_elems_bg_dMut 7", {"A:BGVDMut=0"});
        row("analyzer_elems_bg_NROI 9 1e-7", {"A:BGVNROI=1e-07"});
        row("analyzer_select_image 99", {"A:ShowDEdge=1"});  // no such button
        row("analyzer_elems_select_disp_mode 9", {"A:ShowElemsDMut0=1"});
        row("analyzer_elems_select_disp_mode 7", {"A:ShowElemsROI=1", "A:ShowElemsDMut0=0"});
        row("analyzer_elems_sort_by_an 0\nanalyzer_target_elements Cu,Fe",
            {"A:SortByANo=0", "elem0:Name=Cu-K", "elem1:Name=Fe-K"});
        row("analyzer_target_elements Fe,Cu,Zn\nanalyzer_elems_set_use 2 0", {"elem2:Use=0", "elem1:Use=1"});
        row("analyzer_target_elements Fe,Cu\nanalyzer_elems_roi Cu-K 8990 9000.5",
            {"elem1:ROIs=8990", "elem1:ROIe=9000.5", "elem0:ROIs=7000"});
        row("analyzer_elems_set_corr_th 0.95", {"A:CorTh=0.95"});
        row("analyzer_dEdge_comp_params 30 0.5",
            {"A:DEdgeCWFullRangeEV=30", "A:DEdgeCWInitDEeV=0.5", "A:DEdgeCWMinDEeV=0"});
        row("analyzer_select_main_mode_sumUp", {"A:Sel2DA=1", "A:SelSumUp=0"}, {not_ex_cmd});
        // Every run answers once, whichever way it ends.
        row("analyzer_sub_mode 0 0 0 0 0\nanalyzer_exec_2da", {}, {analyzer_sub_mode, analyzer_exec_LCF});
        row("analyzer_sub_mode 0 0 0 0 1\nanalyzer_exec_ra", {"A:Sel2DARAA=1"}, {analyzer_sub_mode, analyzer_exec_LCF});
        row("analyzer_sub_mode 0 1 0 0 0\nanalyzer_exec_LCF", {"A:Sel2DADEdgeA=1"},
            {analyzer_sub_mode, analyzer_exec_LCF});

        // Calibration, statistics and save options.
        row("calib_type 1", {"C:CalibTypeInnerP=1"});
        row("calib_type 2", {"C:CalibTypeInnerP=0", "C:CalibTypeDMidX=1"});
        row("calib_set_edge_eV 8979.0x", {"C:EdgeEeV=8979.0x"});
        row("calib_load_map nowhere.emp", {});  // answered once by the reader
        row("stats_show_window", {"stats=shown"});
        row("stats_show_window yes", {"stats=hidden"});
        row("stats_bins 12.5", {"T:Bins=0"});
        row("stats_bins 2000000000", {"T:Bins=" + QString::number(StatsMath::maxBins)});
        row("saveDataCfg_tiff_scale_max 65535", {"S:TiffScaleMax=65535"});
        row("saveDataCfg_tiff_scale_max 1234567", {"S:TiffScaleMax=1.23457e+06"});
        row("saveDataCfg_tiff_scale_min abc", {"S:TiffScaleMin=0"});
        row("saveDataCfg_tiff_fix_scale 1\nsaveDataCfg_tiff_fix_scale 2", {"S:TiffFixedScale=0"});
        row("saveDataCfg_save_as_text\nsaveDataCfg_text_as_ssv\nsaveDataCfg_text_as_vals",
            {"S:SaveAsTextData=1", "S:DataSpaceSeparated=1", "S:DataValValVal=1"});
        row("saveDataCfg_text_as_csv\nsaveDataCfg_text_as_xyz\nsaveDataCfg_save_as_tiff",
            {"S:SaveAsTextData=0", "S:DataSpaceSeparated=0", "S:DataValValVal=0"});

        // The I0 dark area is measured on the I0 stack and taken off I0 only.
        auto muAt = [](bool i0Dark) {
            QStringList v;
            for (int k = 0; k < N; ++k)
                v << QString::number(std::log((i0At(k, 8, 5) - (i0Dark ? i0Offset(k) : 0)) / i1At(k, 8, 5)), 'f', 4);
            return "mu=" + v.join(' ');
        };
        row("select_region 0 0 2 2\nset_i0_dark_area",
            {"darks=0 1", "i0dark=300 310 320 330 340 350", "I0:DarkArea=(0,0)-(2,2)", "~I1:DarkArea", muAt(true)});
        row("clear_i0_dark_area\nset_i1_dark_area\nclear_i1_dark_area", {"darks=0 0", muAt(false)});
    }
    void words()
    {
        QFETCH(QString, script);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, checks);
        QMap<QString, QString> before;
        for (const QString& c : checks)
            if (c.startsWith('~')) before[c] = probe(*body, c.mid(1));
        QSignalSpy done(body.get(), &Body::finishBatchExec);
        QVERIFY(ts::runScript(ctrl, withPaths(script)));
        // A run that answered twice would show as one more id.
        if (answers.contains(analyzer_exec_LCF)) QTest::qWait(50);
        const QList<int> ids = ts::idsOf(done);
        if (answers.isEmpty()) {
            QCOMPARE(ids.size(), script.count('\n') + 1);
            QVERIFY(!ids.contains(not_ex_cmd));
        } else {
            QCOMPARE(ids, answers);
        }
        QVERIFY(!body->analysis2DRunning);
        QCOMPARE(ts::logOf(ctrl).contains("Err:"), ids.contains(not_ex_cmd));
        for (const QString& c : checks) {
            if (c.startsWith('~')) {
                QVERIFY2(!before[c].startsWith("<no"), qPrintable(before[c]));
                QCOMPARE(c + "=" + probe(*body, c.mid(1)), c + "=" + before[c]);
            } else {
                const QString key = withPaths(c.section('=', 0, 0));
                QCOMPARE(key + "=" + probe(*body, key), withPaths(c));
            }
        }
    }

    // Loads answer once the loader is through: the stack is full by then.
    // The rows run in order on one window.
    void loads_data()
    {
        QTest::addColumn<QString>("script");  // DIR: a folder of three images
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QString>("sizes");  // I1 / I0 stack sizes at each answer
        QTest::addColumn<QString>("status");
        QTest::newRow("runs without images") << "analyzer_exec_elems\ncalib_exec"
                                             << QList<int>{analyzer_exec_LCF, calib_exec} << "0/0 0/0" << "";
        // The first word is the mode, never a file.
        QTest::newRow("mode word") << "load_I1_files DIR/img_0.tif DIR/img_1.tif" << QList<int>{load_I1_files} << "1/0"
                                   << "";
        QTest::newRow("new, none, add")
            << "load_I1_files new DIR/img_0.tif DIR/img_1.tif DIR/img_2.tif\nload_I1_files NEW\n"
               "load_I0_files add DIR/img_0.tif DIR/img_1.tif"
            << QList<int>{load_I1_files, load_I1_files, load_I0_files} << "3/0 3/0 3/2" << "";
        // The folder is joined to each name as written.
        QTest::newRow("pattern") << "load_I0_files_of_pattern NEW DIR *.tif\n"
                                    "load_I0_files_of_pattern NEW DIR/ *.tif *.tiff"
                                 << QList<int>{load_I0_files, load_I0_files} << "3/0 3/3" << "";
        QTest::newRow("seek, clear") << "seek_image 1\nclear_I0_files" << QList<int>{seek_image, clear_I0_files}
                                     << "3/3 3/0" << "";
        QTest::newRow("no match") << "load_I1_files_of_pattern NEW DIR/ *.none" << QList<int>{load_I1_files} << "0/0"
                                  << "No images loaded: no file in DIR/ matches *.none";
        QTest::newRow("no folder") << "load_I1_files_of_pattern NEW DIR/none/ *.tif" << QList<int>{load_I1_files}
                                   << "0/0" << "No images loaded: the folder DIR/none/ does not exist";
        QTest::newRow("clear") << "load_I1_files NEW DIR/img_0.tif\nclear_I1_files"
                               << QList<int>{load_I1_files, clear_I1_files} << "1/0 0/0" << "";
    }
    void loads()
    {
        QFETCH(QString, script);
        QFETCH(QList<int>, answers);
        QFETCH(QString, sizes);
        QFETCH(QString, status);
        const QString dir = tmp.filePath("stack");
        if (!loadBody) {
            for (int i = 0; i < 3; ++i)
                QVERIFY(ts::writeTiff(QString("%1/img_%2.tif").arg(dir).arg(i), 8, 6,
                                      [i](int x, int y) { return 100 + 10 * i + x + y; }));
            loadBody = std::make_unique<Body>();
        }
        Body& b = *loadBody;
        QList<int> ids;
        QStringList seen;
        auto c = connect(&b, &Body::finishBatchExec, &b, [&](int id) {
            ids << id;
            seen << QString("%1/%2").arg(b.i1Images.size()).arg(b.i0Images.size());
        });
        QVERIFY(ts::runScript(BatchOnBody::of(b)->batchCtrl(), script.replace("DIR", dir) + "\n"));
        disconnect(c);
        QCOMPARE(ids, answers);
        QCOMPARE(seen.join(' '), sizes);
        if (!status.isEmpty()) QCOMPARE(b.statusBar()->currentMessage(), status.replace("DIR", dir));
    }

    // Images the user loads from the file selectors answer no script.
    void handLoadsAnswerNothing()
    {
        Body& b = *loadBody;
        const QString file = tmp.filePath("stack/img_0.tif");
        QSignalSpy done(&b, &Body::finishBatchExec);
        emit b.SelectI1Files->filesSelected({file}, true);
        emit b.SelectI0Files->filesSelected({file}, true);
        QTRY_COMPARE_WITH_TIMEOUT(b.i1Images.size(), 1, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(b.i0Images.size(), 1, 30000);
        QTest::qWait(100);
        QCOMPARE(done.size(), 0);
    }
};

QTEST_MAIN(TstCmdRows)
#include "tst_cmdrows.moc"
