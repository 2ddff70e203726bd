// The batch window and its commands on real main windows: every command of
// the language in a row on one window with every panel (the ids it answers,
// what it changed and, for the I1 / I0 pairs, that the other side was left
// alone) or in one of the runs below;
// loads last, answering once the stack is full; script files saved and
// loaded; a calibration's answer coming only when its run is over; "quit";
// the teardown with the interpreter's thread still busy; and a night's
// processing run by the real program headless.
#include <QImage>
#include <QtTest>

#include <cmath>
#include <sys/resource.h>
#include <memory>

#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/ElemCtrl.h"
#include "analysis/LCFReference.h"
#include "batch/BatchDispatcher.h"
#include "batch/BatchOnBody.h"
#include "core/Elements.h"
#include "core/FailureLog.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/EOFSetup.h"
#include "mainwindow/SaveDataCfg.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibOnBody.h"
#include "tools/EShiftMapFile.h"
#include "tools/StatsMath.h"
#include "tools/ToolsOnBody.h"
#include "widgets/ImgDispA.h"

#include "support/Batch.h"
#include "support/BodyStack.h"
#include "support/EdgeSpectra.h"
#include "support/Files.h"
#include "support/Headless.h"
#include "support/Maps.h"
#include "support/MixedStack.h"

namespace {

const int N = 6;
// Columns and rows 0 .. 2 are shaded: only the detector offset reaches them.
bool shaded(int c, int r) { return c < 3 && r < 3; }
double i0Offset(int k) { return 300 + 10 * k; }
double i1At(int k, int c, int r) { return (shaded(c, r) ? 0 : 1000 * std::exp(-0.2 - 0.1 * k)) + 50 + k; }
double i0At(int k, int c, int r) { return (shaded(c, r) ? 0 : 4000) + i0Offset(k); }

// The calibration's stack: the left half's edge 3 eV above the standard's
// (at 8950 eV), the right half's 2 eV below.
double calibI1At(int k, int x)
{
    return 30000.0 * std::exp(-edges::Edge{8950 + (x < 15 ? 3.0 : -2.0), 3}.mu(8900 + k));
}

// The known value of a quantity of the headless run over a region; NAN
// where it has none.
double truth(const QString& q, const mixed::Region& r)
{
    // The fits know no shift: fractions are only known where there is none.
    if (q == "f1") return r.shift == 0 ? r.f1 : NAN;
    if (q == "f2") return r.shift == 0 ? 1 - r.f1 : NAN;
    if (q == "dedge") return r.shift;  // the edge is at E0 + shift, E0 suggested
    if (q == "jump") return r.jump;    // flat lines: the jump everywhere
    if (q == "rest") return r.pre - 0.5 * r.jump;  // taken at 9000 eV with factor 0.5
    return q == "corrected" ? 0 : NAN;  // the calibration took the shift away
}

// A widget state as text: a field's or label's text, a button's check, a
// list's index.
// "root:Name" looks for Name under root: B the main window, I1 / I0 that
// side's selector and its panels, A the analysis panel, ref<i> / elem<i> its
// reference and element rows, C the calibration window, T the statistics,
// S the save options, P the spectrum view, AP the analysis panel's spectrum view, ACW its edge comparison's file. "view<i>" is the energy offset
// of reference i's copy in the panel's spectrum view, "cbar" the colour
// bar's range, "stats" / "calibWindow" / "saveWindow" whether that window is shown. "file:<path>" is the size of the picture saved there,
// "tiff:<path>" the samples of a map saved there; "darks" whether the I1 and
// I0 dark areas are set, "mu" the cursor spectrum at (8, 5), "log" the batch
// window's log, "area" / "window" the selected area and the view.
QString probe(Body& b, const QString& key)
{
    Analyzer* a = AnalysisOnBody::of(b)->analyzer();
    if (key == "status") return b.statusBar()->currentMessage();
    if (key == "log") return ts::logOf(BatchOnBody::of(b)->batchCtrl());
    if (key == "area" || key == "window") {
        const QRectF r = key == "area" ? b.dispA->selectedArea : b.dispA->viewWindow;
        return QString("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }
    if (key == "cbar") return QString("%1 %2").arg(b.CBar->valueMin).arg(b.CBar->valueMax);
    if (key == "stats") return ToolsOnBody::of(b)->stats.isVisible() ? "shown" : "hidden";
    if (key == "calibWindow") return CalibOnBody::of(b)->calibCtrl->isVisible() ? "shown" : "hidden";
    if (key == "saveWindow") return b.saveDataCfg->isVisible() ? "shown" : "hidden";
    if (key.startsWith("view")) {
        const int k = key.mid(4).toInt() + 1;
        const QVector<XafsSpectrum>& o = a->specPane->others;
        return k < o.size() ? QString::number(o[k].energyOffset) : QString("none");
    }
    if (key == "darks") return QString("%1 %2").arg(b.i1DarkAreaSet).arg(b.i0DarkAreaSet);
    QStringList v;
    if (key == "mu") {
        for (const QPointF& p : b.makeXafsSpectrum(8, 5, 0, 0).points) v << QString::number(p.y(), 'f', 4);
        return v.join(' ');
    }
    if (key.startsWith("tiff:")) {
        TiffData t;
        if (!t.load(key.mid(5))) return "none";
        for (int y = 0; y < int(t.height); ++y)
            for (int x = 0; x < int(t.width); ++x) v << QString::number(t.pixelValue(x, y));
        return QString("%1x%2: %3").arg(t.width).arg(t.height).arg(v.join(' '));
    }
    if (key.startsWith("file:")) {
        const QImage i(key.mid(5));
        return i.isNull() ? "none" : QString("%1x%2").arg(i.width()).arg(i.height());
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
    if (root == "AP") roots << a->specPane;
    if (root == "ACW") roots << a->DEdgeCWFileSelect;
    QObject* w = nullptr;
    for (QObject* o : roots)
        if (!w) w = o->objectName() == name ? o : o->findChild<QObject*>(name);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<QAbstractButton*>(w)) return c->isChecked() ? "1" : "0";
    if (auto* c = qobject_cast<QComboBox*>(w)) return QString::number(c->currentIndex());
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    return "<no " + key + ">";
}

// A Cu K scan as measured: coarse below the edge, fine at it (two frames a hundredth of an eV apart), coarse above.
QVector<double> energyGrid()
{
    return {8900, 8950, 8970, 8975, 8977.5, 8978.5, 8978.51, 8979.5, 8981, 8990, 9020, 9100, 9250};
}

// Counts of a frame at energy e: an absorbing sample on the left, a bright hot pixel, photon noise of a
// fixed seed.
double frameCounts(const edges::Edge& edge, double e, int c, int r)
{
    if (c == 5 && r == 0) return 65000;
    const double open = 20000 * (1 + 0.02 * r);
    const double counts = c < 4 ? open * std::exp(-edge.mu(e)) : open;
    const quint32 h = quint32(c * 7919 + r * 104729 + int(e * 100)) * 2654435761u;
    return counts + std::sqrt(counts) * ((h % 2001) / 1000.0 - 1);
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
        for (int i = 0; i < 3; ++i)
            QVERIFY(ts::writeTiff(tmp.filePath(QString("stack/img_%1.tif").arg(i)), 8, 6,
                                  [i](int x, int y) { return 100 + 10 * i + x + y; }));
        // I1 and I0 frames of two different scans, 150 eV apart.
        for (const QString tag : {"i1", "i0"})
            for (int k = 0; k < 4; ++k)
                QVERIFY(ts::writeTiff(tmp.filePath("scans/" + tag + "/" + ts::energyName(tag, (tag == "i1" ? 8950 : 8800) + 10 * k)),
                                      8, 6, [k](int x, int y) { return 3000 - 100 * k + x + y; }));
        refFile = tmp.filePath("ref.dat");
        QVERIFY(ts::writeSpectrum(refFile, synth::sample(8900, 9100, 1, [](double E) {
                                      return 0.2 + synth::sigmoid(E, 8980, 3);
                                  })));
        body = std::make_unique<Body>();
        BatchOnBody* ext = BatchOnBody::of(*body);
        ctrl = ext->batchCtrl();
        // The interpreter runs on a thread of its own; the button shows its window.
        QVERIFY(ext->allConnected() && ext->thread()->isRunning() && ext->thread() != body->thread());
        QCOMPARE(ext->dispatcher()->thread(), ext->thread());
        QTest::mouseClick(body->BatchCtrlB, Qt::LeftButton);
        QVERIFY(ctrl->isVisible());
        // The editor's script goes out line by line with ":end" after it.
        QSignalSpy sent(ctrl, &BatchCtrl::doDispatchCmds);
        QTest::mouseClick(ctrl->ui.Exec, Qt::LeftButton);
        QCOMPARE(sent.value(0).value(0).toStringList(), QStringList({"", ":end"}));
        QTRY_COMPARE_WITH_TIMEOUT(ts::logOf(ctrl), QString("end"), 30000);  // before any test clears the log
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
            for (int x = 0; x < 4; ++x) map.setData(x, y, 0, 0, -3.0 + 2.5 * x + 4.0 * y);
        map.genImg();
    }

    // Destroyed in the middle of a long script: the interpreter's thread is
    // stopped and joined first, the interpreter, thread and window are freed
    // with the main window.
    void cleanupTestCase()
    {
        Body::hooks().selectedMap = nullptr;
        Body::hooks().referenceMaps = nullptr;
        BatchOnBody* ext = BatchOnBody::of(*body);
        QPointer<BatchOnBody> e = ext;
        QPointer<BatchCtrl> c = ctrl;
        QPointer<BatchDispatcher> disp = ext->dispatcher();
        QPointer<QThread> thread = ext->thread();
        QTest::mouseClick(ctrl->ui.Stop, Qt::LeftButton);
        ctrl->clearLog();
        ctrl->ui.BatchCmds->setPlainText(":for i %i 1 2000000000\n:let A %i\n:next i\n");
        ctrl->execCmdsSlot();
        QTRY_VERIFY_WITH_TIMEOUT(ts::logOf(ctrl).contains("next i : %i = "), 30000);
        body.reset();
        QVERIFY(e.isNull() && c.isNull() && disp.isNull() && thread.isNull());
    }

    void words_data()
    {
        QTest::addColumn<QString>("script");
        // Empty: one answer per line, none of them the no-command id.
        QTest::addColumn<QList<int>>("answers");
        // "key=value" after the script; "~key": the script left it as it was.
        QTest::addColumn<QStringList>("checks");
        auto row = [](const QString& script, const QStringList& checks, const QList<int>& answers = {}) {
            QTest::newRow(qPrintable(script.left(60))) << script << answers << checks;
        };
        // The I1 word changes the I1 side only, the I0 word the I0 side only.
        auto pair = [&row](const char* script, const char* field, const QString& value) {
            row(QString(script).arg("i1"), {QString("I1:%1=%2").arg(field, value), QString("~I0:") + field});
            row(QString(script).arg("i0"), {QString("I0:%1=%2").arg(field, value), QString("~I1:") + field});
        };
        // Lines taken (""), refused for a reason, or (a number N) refused as "<first argument> is none of 0 to N".
        auto refused = [&row](const QString& script, QStringList checks, const QStringList& errs, const QList<int>& ids) {
            QString log = "log=";
            for (int i = 0; i < errs.size(); ++i) {
                const QString line = script.section('\n', i, i), args = line.section(' ', 1);
                const QString at = QString("line %1: ").arg(i + 1);
                log += at + line.section(' ', 0, 0) + " : " + args + "\n";
                if (!errs[i].isEmpty())
                    log += "Err: " + at + line + ": "
                           + (errs[i][0].isDigit() ? args.section(' ', 0, 0) + " is none of 0 to " + errs[i] + "; nothing changed"
                                                   : errs[i])
                           + "\n";
            }
            row(script, checks << log + "end", ids);
        };
        pair("cut_f_%1 3", "CutFirst", "3");
        pair("cut_l_%1 5", "CutLast", "5");
        pair("skip_%1 2", "Skip", "2");
        pair("eng_calc_base_%1 8.95e3", "Start", "8950");
        pair("eng_calc_delta_%1 2.5", "Delta", "2.5");
        pair("eng_calc_end_%1 7400", "End", "7400");
        pair("eng_calc_num_%1 41", "NumOfPoints", "41");
        // Counts past their ends are clipped (and said), not read as 0.
        pair("cut_f_%1 -3", "CutFirst", "0");
        pair("cut_l_%1 99999999999", "CutLast", "2147483647");
        pair("skip_%1 0", "Skip", "1");
        pair("eng_by_name_factor_%1 0.000012345678", "Factor", "1.23457e-05");
        pair("set_%1_energy_pattern _([0-9]+)_", "Pattern", "_([0-9]+)_");
        pair("eng_by_name_reg_exp_%1 e([0-9.]+)eV", "Pattern", "e([0-9.]+)eV");
        // The factor follows the pattern as it does when the pattern is typed.
        pair("set_%1_energy_pattern [0-9]_[0-9]{6}KeV", "Factor", "1000");
        pair("eng_by_name_factor_%1 1000\neng_by_name_reg_exp_%1 e([0-9.]+)eV", "Factor", "1");
        pair("show_latest_%1 1", "ShowLatest", "1");
        // A unit the list does not hold is refused; the other side is untouched.
        refused("eng_calc_disp_unit_i1 1\neng_calc_disp_unit_i1 99", {"I1:DisplayUnit=1", "~I0:DisplayUnit"}, {"", "2"},
                {eng_calc_disp_unit_i1, eng_calc_disp_unit_i1});
        refused("eng_calc_disp_unit_i0 1\neng_calc_disp_unit_i0 99", {"I0:DisplayUnit=1", "~I1:DisplayUnit"}, {"", "2"},
                {eng_calc_disp_unit_i0, eng_calc_disp_unit_i0});
        pair("eng_calc_even_in_deg_%1 1", "EvenInAngle", "1");
        pair("eng_calc_even_in_eng_%1 1", "EvenInEnergy", "1");
        // A checked radio button of its set is only unchecked by another.
        pair("eng_by_calc_%1 1\neng_by_calc_%1 0", "FromFileNum", "1");
        pair("eng_by_name_%1", "FromFileName", "1");
        // A list that cannot be read is refused and leaves none; the mode is still the list's.
        const QString noList = "cannot read the reference list none.dat; no energies come from a reference list until one is read";
        refused("eng_by_ref_i1 none.dat", {"I1:FromRefFile=1", "~I0:FromRefFile", "I1:RefFilePath="}, {noList}, {eng_by_ref_i1});
        refused("eng_by_ref_i0 none.dat", {"I0:FromRefFile=1", "~I1:FromRefFile", "I0:RefFilePath="}, {noList}, {eng_by_ref_i0});
        row("Use_I0", {"B:UseI0=0", "~B:FluoType"});  // a missing flag unchecks
        row("USE_I0 1", {"B:UseI0=1", "~B:FluoType"});
        row("set_fluo_type 1", {"B:FluoType=1", "~B:UseI0"});
        row("set_fluo_type 1.0", {"B:FluoType=0", "~B:UseI0"});  // only the integer 1 checks
        row("set_band_w 3\nset_band_w", {"B:HWidth=0", "~B:VWidth"});
        row("Suggesting_Pre_End_eV -30\nSuggesting_Post_Start_eV 55", {"B:DPreE=-30", "B:DPostS=55"});
        row("select_qs_fitted_eShift 1", {"B:QuadSurfFittedEShift=1", "~B:FluoType"});
        refused("select_disp_image_i0\nselect_disp_image 7", {"B:ShowI0=1", "~B:UseI0"}, {"", "3"},
                {select_disp_image_i0, select_disp_image});
        row("select_disp_image_i1", {"B:ShowData=1"});
        row("select_disp_image_eShift", {"B:ShowShiftMap=1"});
        row("select_disp_image_analyzed", {"B:ShowResAnalysis=1"});
        row("select_disp_image 0", {"B:ShowData=1"});
        row("Suggest_Elm 1", {"B:UseSuggestElm=1", "~B:FluoType"});
        row("Suggesting_Edge_eV 1234.5", {"B:SuggestingEeV=1234.5"});
        row("cbar_set_range 2 1e3", {"cbar=2 1000"});
        row("specpane_normalize 1\nspecpane_enerugy_correction 2", {"P:Normalized=1", "P:ECorrect=0"});
        // The edge energy follows element and edge.
        const QString k = "B:SuggestingEeV=" + QString::number(edgeEnergyOf(29, 0), 'g', 6);
        row("Suggesting_Edge 0\nSuggesting_Elm Cu", {k, "~B:DPreE"});
        row("Suggesting_Edge 3", {"B:SuggestingEeV=" + QString::number(edgeEnergyOf(29, 3), 'g', 6)});
        row("select_region 6 5 2 1\nzoom_in", {"area=2 1 4 4", "window=2 1 4 4"});  // corners in any order
        row("move_position 2.7 3\ncbar_set_all\nscale_reset", {});
        // Integers at the ends of their range: clipped to the image or the field's range, or refused.
        row("set_band_w -2147483648\nset_band_h 99999999999\nmove_position 3 2147483647",
            {"B:HWidth=-65535", "B:VWidth=65535", "B:Position=(   3,    8)"});
        row("set_band_w -3", {"B:HWidth=-3", "~B:VWidth"});  // its magnitude for the box and blocks
        row("select_region -2147483648 -2147483648 2147483647 2147483647", {"area=0 0 12 9"});
        refused("select_region 6 5 2 1\nselect_region 100 100 200 200\nseek_image 99\nSuggesting_Edge 7\neng_calc_num_i1 0",
                {"area=2 1 4 4", "~B:SuggestingEdge", "~I1:NumOfPoints"},
                {"", "the region lies outside the image of 12 x 9 pixels", "the I1 stack has no frame 99 (it holds 6)", "3",
                 "Energy calculation refused: the number of points must be at least 1; it keeps Start 8950, Delta -37.8049, "
                 "End 7400 and 41 points"},
                {select_region, select_region, seek_image, Suggesting_Edge, eng_calc_num_i1});
        // A region without a pixel, or outside in y only, and the frame one past the last are refused alike.
        refused("select_region 6 5 2 1\nselect_region 5 5 5 20\nselect_region 2 10 6 12\nseek_image 6",
                {"area=2 1 4 4"},
                {"", "the region holds no pixel: its corners share a column or a row",
                 "the region lies outside the image of 12 x 9 pixels", "the I1 stack has no frame 6 (it holds 6)"},
                {select_region, select_region, select_region, seek_image});
        row("save_image TMP/none/view.png", {"status=Not saved: the folder TMP/none does not exist"});
        // The view and its colour bar; every reference map; the selected map
        // as the save options leave it.
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
        refused("analyzer_select_analysis_mode 6\nanalyzer_main_mode -1\nanalyzer_select_image_type 2\n"
                "analyzer_dEdge_select_mode 2\nanalyzer_dEdge_comp_target 2",
                {"~A:SelSumUp", "~A:SelProcMaps", "~A:SelDMut", "~A:DEdgeCompWith", "~A:DEdgeCWStep"}, {"5", "1", "1", "1", "1"},
                {analyzer_select_analysis_mode, analyzer_main_mode, analyzer_select_image_type, analyzer_dEdge_select_mode,
                 analyzer_dEdge_comp_target});
        refused("analyzer_set_LCF_std 4 1 3 REF 0\nanalyzer_set_LCF_std -1 1 3 REF 0", {"~ref0:DeltaE", "~ref3:DeltaE"},
                {"3", "3"}, {analyzer_set_LCF_std, analyzer_set_LCF_std});
        row("analyzer_set_LCF_std 1 1 0 REF 0\nanalyzer_set_LCF_std 1 1 2.5 REF",
            {"ref1:IsVictreen=1", "ref1:DeltaE=2.5", "ref1:Use=1", "view1=2.5", "~ref2:DeltaE"});
        row("analyzer_set_LCF_std 2 1 0 REF 0\nanalyzer_set_LCF_std 2 0 -1 REF vic",
            {"ref2:IsVictreen=1", "ref2:DeltaE=-1", "ref2:Use=0", "view2=-1"});
        row("analyzer_set_scale_max 2.5", {"A:DMutScaleMax=2.5", "A:RatioScaleMax=2.5"});
        row("analyzer_set_scale_min low", {"A:DMutScaleMin=0", "A:RatioScaleMin=0"});
        row("analyzer_elems_bg_dMut Fe 3.5\nanalyzer_elems_bg_dMut 7", {"A:BGVDMut=0"});
        row("analyzer_elems_bg_NROI 9 1e-7", {"A:BGVNROI=1e-07"});
        refused("analyzer_select_image 99\nanalyzer_elems_select_disp_mode 9\nanalyzer_elems_select_disp_mode -1\n"
                "analyzer_elems_select_disp_mode 8",
                {"A:ShowDEdge=1", "A:ShowElemsNROI=1"}, {"10", "8", "8", ""},
                {analyzer_select_image, analyzer_elems_select_disp_mode, analyzer_elems_select_disp_mode,
                 analyzer_elems_select_disp_mode});
        row("analyzer_elems_sort_by_an 0\nanalyzer_target_elements Cu,Fe",
            {"A:SortByANo=0", "elem0:Name=Cu-K", "elem1:Name=Fe-K"});
        row("analyzer_target_elements Fe,Cu,Zn\nanalyzer_elems_set_use 2 0", {"elem2:Use=0", "elem1:Use=1"});
        row("analyzer_target_elements Fe,Cu\nanalyzer_elems_roi Cu-K 8990 9000.5",
            {"elem1:ROIs=8990", "elem1:ROIe=9000.5", "elem0:ROIs=7000"});
        row("analyzer_elems_set_corr_th 0.95", {"A:CorTh=0.95"});
        row("analyzer_dEdge_comp_params 30 0.5",
            {"A:DEdgeCWFullRangeEV=30", "A:DEdgeCWInitDEeV=0.5", "A:DEdgeCWMinDEeV=0"});
        // Main and sub modes, LCF forms, scales, the panel's own spectrum view (the spectrum window left as it
        // was), the edge-shift modes and the element rows: each word sets its own control and no other.
        row("analyzer_select_main_mode_procMaps", {"A:SelProcMaps=1", "A:Sel2DA=0"});
        row("analyzer_select_main_mode_2da", {"A:Sel2DA=1", "A:SelProcMaps=0"});
        row("analyzer_select_sub_mode_elems 1\nanalyzer_select_sub_mode_ra 1\nanalyzer_select_sub_mode_ra",
            {"A:Sel2DAElemA=1", "A:Sel2DARAA=0", "~A:Sel2DADEdgeA", "~A:Sel2DAMLCFA"});
        row("analyzer_select_sub_mode_dEdge 1\nanalyzer_select_sub_mode_LCF 1\nanalyzer_select_sub_mode_LCF 0",
            {"A:Sel2DADEdgeA=1", "A:Sel2DAMLCFA=0", "~A:Sel2DAElemA", "~A:Sel2DARAA"});
        row("analyzer_set_LCF_range 10 29999.5", {"A:LCFRange1=10", "A:LCFRange2=29999.5"});
        // The step compared with: its position, the span of the generated spectrum and its point spacing.
        row("analyzer_dEdge_comp_step_params 8980.5 200 0.05",
            {"A:DEdgeCWStepAt=8980.5", "A:DEdgeCWStepWeV=200", "A:DEdgeCWStepDEeV=0.05", "~A:DEdgeCWFullRangeEV"});
        row("analyzer_dEdge_comp_file_name REF", {"ACW:Selected=REF", "~A:DEdgeCWStepAt"});
        row("analyzer_set_MLCF 1\nanalyzer_set_LCF_as_old 1", {"A:MLCF=1", "A:AsOldLCF=1"});
        row("analyzer_set_LCF_mode 0", {"A:MLCF=0", "~A:AsOldLCF"});
        row("analyzer_set_LCF_as_old 0", {"A:AsOldLCF=0", "~A:MLCF"});
        row("analyzer_set_fixed_scale 1\nanalyzer_set_dMut_scale_max 4\nanalyzer_set_dMut_scale_min -1",
            {"A:FixedScale=1", "A:DMutScaleMax=4", "A:DMutScaleMin=-1", "~A:RatioScaleMax", "~A:RatioScaleMin"});
        row("analyzer_set_ratio_scale_max 1.2\nanalyzer_set_ratio_scale_min 0.1\nanalyzer_set_fixed_scale 0",
            {"A:FixedScale=0", "A:RatioScaleMax=1.2", "A:RatioScaleMin=0.1", "~A:DMutScaleMax", "~A:DMutScaleMin"});
        row("analyzer_view_normalize 1\nanalyzer_view_enerugy_correction 1",
            {"AP:Normalized=1", "AP:ECorrect=1", "~P:Normalized", "~P:ECorrect"});
        row("analyzer_dEdge_select_mode_comp\nanalyzer_dEdge_comp_w_step\nanalzyer_dEdge_comp_w_file",
            {"A:DEdgeCompWith=1", "A:DEdgeMidPoint=0", "A:DEdgeCWFile=1", "A:DEdgeCWStep=0"});
        row("analyzer_dEdge_select_mode_midp\nanalyzer_dEdge_mid_point_ratio 0.4",
            {"A:DEdgeMidPoint=1", "A:DEdgeCompWith=0", "A:DEdgeMidRatio=0.4", "~A:DEdgeCWFile"});
        row("analyzer_target_elements Fe,Cu\nanalyzer_elems_set_deVs 25\nanalyzer_elems_thdmut Cu-K 0.02\n"
            "analyzer_elems_no_neg Cu-K 0\nanalyzer_elems_select_target Cu-K",
            {"elem0:PrePostDE=25", "elem1:PrePostDE=25", "elem1:ThDMut=0.02", "~elem0:ThDMut", "elem1:NoNeg=0",
             "~elem0:NoNeg", "elem1:MainTarget=1", "elem0:MainTarget=0"});
        row("analyzer_elems_bg_dMutR Fe 0.5\nanalyzer_elems_bg_dE Fe -2\nanalyzer_elems_bg_ROI 3",
            {"A:BGVDMutR=0.5", "A:BGVDE=-2", "A:BGVROI=0", "~A:BGVDMut"});
        // Windows a script opens, and the statistics window's two switches.
        row("calib_show_window\nsaveDataCfg_show_window", {"calibWindow=shown", "saveWindow=shown"});
        row("stats_over_image 1\nstats_in_selected_region 1", {"T:ShowOverImage=1", "T:ShowStatsInSelectedArea=1"});
        row("stats_over_image 0\nstats_in_selected_region 0", {"T:ShowOverImage=0", "T:ShowStatsInSelectedArea=0"});
        // A word without an action is logged as an error with its line as
        // written and answered with the no-command id, so the script runs on;
        // lines in a comment block are answered but not logged, unknown words
        // not sent but logged with their line; echo texts on lines of their own.
        row(":for i %i 1 2\nanalyzer_select_main_mode_sumUp %i\n:next i\n:rem_start\nset_band_h 9\n:rem_end\n"
            "not_a_command 5\n:echo x\nset_band_h 8 # narrow\n:echo done",
            {"B:VWidth=8", "A:SelSumUp=0",
             "log=line 1: for i : %i = 1\nline 2: analyzer_select_main_mode_sumUp : 1\n"
             "Err: line 2: analyzer_select_main_mode_sumUp %i\nline 3: next i : %i = 2\n"
             "line 2: analyzer_select_main_mode_sumUp : 2\nErr: line 2: analyzer_select_main_mode_sumUp %i\n"
             "line 3: next i : finished at %i = 2\nErr: line 7: unknown word not_a_command\nline 8: echo x\n"
             "line 9: set_band_h : 8 # narrow\nline 10: echo done\nend"},
            {not_ex_cmd, not_ex_cmd, not_ex_cmd, set_band_h});
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
        row("saveDataCfg_tiff_fix_scale 1\nsaveDataCfg_tiff_fix_scale 2", {"S:TiffFixedScale=0"});
        row("saveDataCfg_tiff_scale_max 1234567", {"S:TiffScaleMax=1.23457e+06"});
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
            {"darks=0 1", "I0:DarkArea=(0,0)-(2,2)", "~I1:DarkArea", muAt(true)});
        row("clear_i0_dark_area\nset_i1_dark_area\nclear_i1_dark_area", {"darks=0 0", muAt(false)});

        // Loads answer once the loader is through: the stack is full by then
        // ("sizes": I1 / I0 stack sizes at each answer), with the stack's
        // settings back to whole stacks and energies by file number.
        row("cut_f_i1 0\ncut_l_i1 0\nskip_i1 1\ncut_f_i0 0\ncut_l_i0 0\nskip_i0 1\neng_by_calc_i1 1\n"
            "eng_by_calc_i0 1\neng_calc_disp_unit_i1 0\neng_calc_disp_unit_i0 0", {});
        row("clear_I1_files\nclear_I0_files\nanalyzer_exec_elems\ncalib_exec", {"sizes=0/6 0/0 0/0 0/0"});
        // The first word is the mode, never a file.
        row("load_I1_files TMP/stack/img_0.tif TMP/stack/img_1.tif", {"sizes=1/0"});
        // NEW with no file empties the stack, refused: a later run finds no frames the script replaced.
        row("load_I1_files new TMP/stack/img_0.tif TMP/stack/img_1.tif TMP/stack/img_2.tif\nload_I1_files NEW\n"
            "load_I1_files new TMP/stack/img_0.tif TMP/stack/img_1.tif TMP/stack/img_2.tif\n"
            "load_I0_files add TMP/stack/img_0.tif TMP/stack/img_1.tif",
            {"sizes=3/0 0/0 3/0 3/2",
             "log=line 1: load_I1_files : new TMP/stack/img_0.tif TMP/stack/img_1.tif TMP/stack/img_2.tif\n"
             "line 2: load_I1_files : NEW\nErr: line 2: load_I1_files NEW: no file given: the I1 stack is emptied, nothing "
             "loaded\nline 3: load_I1_files : new TMP/stack/img_0.tif TMP/stack/img_1.tif TMP/stack/img_2.tif\n"
             "line 4: load_I0_files : add TMP/stack/img_0.tif TMP/stack/img_1.tif\nend"});
        // The folder is joined to each name as written.
        row("load_I0_files_of_pattern NEW TMP/stack *.tif\nload_I0_files_of_pattern NEW TMP/stack/ *.tif *.tiff",
            {"sizes=3/0 3/3"});
        row("seek_image 1\nclear_I0_files", {"sizes=3/3 3/0"});
        row("load_I1_files_of_pattern NEW TMP/stack/ *.none",
            {"sizes=0/0", "status=No images loaded: no file in TMP/stack/ matches *.none"});
        row("load_I1_files_of_pattern NEW TMP/none/ *.tif",
            {"sizes=0/0", "status=No images loaded: the folder TMP/none/ does not exist"});
        row("load_I1_files NEW TMP/stack/img_0.tif\nclear_I1_files", {"sizes=1/0 0/0"});
        // A load that would give a frame 8.95 MeV (Start 8950 read in keV) is refused whole, answered at once
        // with the load's answer, and the stack stays.
        row("load_I1_files NEW TMP/stack/img_0.tif TMP/stack/img_1.tif\neng_calc_disp_unit_i1 1\n"
            "load_I1_files NEW TMP/stack/img_2.tif\neng_calc_disp_unit_i1 0\nclear_I1_files",
            {"sizes=2/0 2/0 2/0 2/0 0/0",
             "log=line 1: load_I1_files : NEW TMP/stack/img_0.tif TMP/stack/img_1.tif\nline 2: eng_calc_disp_unit_i1 : 1\n"
             "line 3: load_I1_files : NEW TMP/stack/img_2.tif\nErr: line 3: load_I1_files NEW TMP/stack/img_2.tif: No frames "
             "loaded into the I1 stack: img_2.tif would have an energy of 8950000 eV, calculated as file 0 of the list from "
             "Start 8950, Delta -37.8049, End 7400 and 41 points in keV; a frame's energy must be above 0 and at most "
             "1000000 eV\nline 4: eng_calc_disp_unit_i1 : 0\nline 5: clear_I1_files : \nend"},
            {load_I1_files, eng_calc_disp_unit_i1, load_I1_files, eng_calc_disp_unit_i1, clear_I1_files});

        // Energies no scan has (not finite, not above 0, above 1 MeV; in keV and in degrees as the unit
        // says) are refused and counted; the fields keep what they had. Last: the loads above read the fields.
        auto kept = [](const QString& why, const QString& was) {
            return QString("Energy calculation refused: %1; it keeps Start %2 points").arg(why, was);
        };
        const QString finite = "Start, Delta and End must be finite", range = "Start and End must be energies above 0 and at most 1000000 eV";
        const QString angles = "Start and End must be angles between 0 and 180 degrees giving at most 1000000 eV";
        const QString was = "7000, Delta 5, End 7500 and 100", kev = "7.1, Delta 0.01, End 7.6 and 50";
        refused("eng_calc_disp_unit_i1 0\neng_calc_num_i1 100\neng_calc_base_i1 7000\neng_calc_end_i1 7500\neng_calc_base_i1 nan\n"
                "eng_calc_end_i1 -1\neng_calc_base_i1 1e308\neng_calc_delta_i1 1e300\neng_calc_end_i1 1.5e6\neng_calc_num_i1 0",
                {"I1:Start=7000", "I1:Delta=5", "I1:End=7500", "I1:NumOfPoints=100", "~I0:Start", "~I0:End"},
                {"", "", "", "", kept(finite, was), kept(range, was), kept(range, was), kept(range, was), kept(range, was),
                 kept("the number of points must be at least 1", was)},
                {eng_calc_disp_unit_i1, eng_calc_num_i1, eng_calc_base_i1, eng_calc_end_i1, eng_calc_base_i1, eng_calc_end_i1,
                 eng_calc_base_i1, eng_calc_delta_i1, eng_calc_end_i1, eng_calc_num_i1});
        // Values left from eV are impossible in keV: they may stay so while the others are mended, never typed.
        refused("eng_calc_num_i1 1000\neng_calc_delta_i1 1\neng_calc_base_i1 8000\neng_calc_disp_unit_i1 1\n"
                "eng_calc_base_i1 7000\neng_calc_base_i1 8\neng_calc_delta_i1 0.001\neng_calc_end_i1 2000\neng_calc_delta_i1 1e-3",
                {"I1:Start=8", "I1:Delta=0.001", "I1:End=9", "I1:DisplayUnit=1"},
                {"", "", "", "", kept(range, "8000, Delta 1, End 9000 and 1000"), "", "", kept(range, "8, Delta 0.001, End 9 and 1000"), ""},
                {eng_calc_num_i1, eng_calc_delta_i1, eng_calc_base_i1, eng_calc_disp_unit_i1, eng_calc_base_i1, eng_calc_base_i1,
                 eng_calc_delta_i1, eng_calc_end_i1, eng_calc_delta_i1});
        refused("eng_calc_disp_unit_i0 0\neng_calc_num_i0 50\neng_calc_delta_i0 0.01\neng_calc_base_i0 7.1\neng_calc_disp_unit_i0 1\n"
                "eng_calc_base_i0 2000\neng_calc_delta_i0 -inf\neng_calc_disp_unit_i0 2\neng_calc_end_i0 180\n"
                "eng_calc_end_i0 0.01\neng_calc_base_i0 14",
                {"I0:Start=14", "I0:End=14.5", "I0:DisplayUnit=2", "~I1:Start", "~I1:DisplayUnit"},
                {"", "", "", "", "", kept(range, kev), kept(finite, kev), "", kept(angles, kev), kept(angles, kev), ""},
                {eng_calc_disp_unit_i0, eng_calc_num_i0, eng_calc_delta_i0, eng_calc_base_i0, eng_calc_disp_unit_i0,
                 eng_calc_base_i0, eng_calc_delta_i0, eng_calc_disp_unit_i0, eng_calc_end_i0, eng_calc_end_i0, eng_calc_base_i0});
        // The ends of the range: a start of 0 (or -0) eV or keV and an end past 1 MeV are refused; 1 MeV and
        // half an eV are taken.
        const QString wide = "7000, Delta 5, End 7500 and 100";
        refused("eng_calc_even_in_eng_i1 1\neng_calc_disp_unit_i1 0\neng_calc_num_i1 100\neng_calc_delta_i1 5\n"
                "eng_calc_base_i1 7000\neng_calc_base_i1 0\neng_calc_base_i1 -0\neng_calc_end_i1 1000010\n"
                "eng_calc_end_i1 1000000\neng_calc_base_i1 0.5\neng_calc_disp_unit_i1 1\neng_calc_base_i1 0\n"
                "eng_calc_base_i1 8\neng_calc_delta_i1 0.001",
                {"I1:Start=8", "I1:Delta=0.001", "I1:End=8.1", "I1:DisplayUnit=1", "I1:EvenInEnergy=1"},
                {"", "", "", "", "", kept(range, wide), kept(range, wide), kept(range, wide), "", "", "",
                 kept(range, "0.5, Delta 9930, End 993001 and 100"), "", ""},
                {eng_calc_even_in_eng_i1, eng_calc_disp_unit_i1, eng_calc_num_i1, eng_calc_delta_i1, eng_calc_base_i1,
                 eng_calc_base_i1, eng_calc_base_i1, eng_calc_end_i1, eng_calc_end_i1, eng_calc_base_i1,
                 eng_calc_disp_unit_i1, eng_calc_base_i1, eng_calc_base_i1, eng_calc_delta_i1});
    }
    void words()
    {
        QFETCH(QString, script);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, checks);
        QMap<QString, QString> before;
        for (const QString& c : checks)
            if (c.startsWith('~')) before[c] = probe(*body, c.mid(1));
        QList<int> ids;
        QStringList sizes;
        QObject scope;
        connect(body.get(), &Body::finishBatchExec, &scope, [&](int id) {
            ids << id;
            sizes << QString("%1/%2").arg(body->i1Images.size()).arg(body->i0Images.size());
        });
        QVERIFY(ts::runScript(ctrl, withPaths(script)));
        // A run that answered twice would show as one more id.
        if (answers.contains(analyzer_exec_LCF)) QTest::qWait(50);
        if (answers.isEmpty()) {
            QCOMPARE(ids.size(), script.count('\n') + 1);
            QVERIFY(!ids.contains(not_ex_cmd));
        } else {
            QCOMPARE(ids, answers);
        }
        QVERIFY(!body->analysis2DRunning);
        // An "Err:" line comes with a word without action, or is a refusal the row expects.
        QCOMPARE(ts::logOf(ctrl).contains("Err:"), ids.contains(not_ex_cmd) || !checks.filter("Err:").isEmpty());
        for (const QString& c : checks) {
            if (c.startsWith('~')) {
                QVERIFY2(!before[c].startsWith("<no"), qPrintable(before[c]));
                QCOMPARE(c + "=" + probe(*body, c.mid(1)), c + "=" + before[c]);
            } else {
                const QString key = withPaths(c.section('=', 0, 0));
                QCOMPARE(key + "=" + (key == "sizes" ? sizes.join(' ') : probe(*body, key)), withPaths(c));
            }
        }
    }

    // Each log text on a line of its own: sent without a line break, or put in mid-line at the user's cursor.
    void logTextAtTheUsersCursor()
    {
        BatchCtrl w;
        for (const char* text : {"first line\n", "echo a", "echo b"}) w.Log(text);
        QCOMPARE(ts::logOf(&w), QString("first line\necho a\necho b"));
        QTextCursor c = w.ui.BatchLogs->textCursor();
        c.setPosition(5);
        w.ui.BatchLogs->setTextCursor(c);
        w.Log("end");
        w.Log("next");
        QCOMPARE(ts::logOf(&w), QString("first\nend\n line\necho a\necho b\nnext"));
    }

    // The log shows each line cut to a readable length, saying how much was cut; the lines around stay whole.
    // An "Err:" line is cut so too, also where it is counted as the run's first failure.
    void longLogLinesCut_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("error");
        QTest::addColumn<QString>("fill");  // the line's text after "Err: ", repeated
        QTest::newRow("at the limit") << BatchCtrl::maxShownLine << false << "a";
        QTest::newRow("one over") << BatchCtrl::maxShownLine + 1 << false << "a";
        QTest::newRow("a hundred million") << 100000000 << false << "a";
        QTest::newRow("error line") << 3 * BatchCtrl::maxShownLine << true << "a";
        QTest::newRow("line holding %1") << 2 * BatchCtrl::maxShownLine << false << "x%1 %2 %L1 ";
        QTest::newRow("error line holding %1") << 2 * BatchCtrl::maxShownLine << true << "%1%2%10 ";
    }
    void longLogLinesCut()
    {
        QFETCH(int, length);
        QFETCH(bool, error);
        QFETCH(QString, fill);
        BatchCtrl w;
        const int limit = BatchCtrl::maxShownLine;
        const QString line = "Err: " + fill.repeated((length - 5) / fill.size() + 1).left(length - 5);
        const QString shown = length <= limit ? line
                                              : line.left(limit) + QString::fromUtf8("\u2026 (%1 more characters not shown)")
                                                                       .arg(length - limit);
        FailureLog::reset();
        error ? w.logError(line) : w.Log("before\n" + line + "\nafter\n");
        QVERIFY(ts::logOf(&w) == (error ? shown : "before\n" + shown + "\nafter") + "\n");
        QCOMPARE(FailureLog::first(), error ? shown : QString());
        FailureLog::reset();
    }

    // File names and script text stand in messages as written, also where they hold what looks like a message's
    // own numbered places; the reference row is named as the script numbers it.
    void namesAsWritten_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* n : {"missing%1", "%2", "%L1", "a%1b%2c%10", "%%1", "plain"}) QTest::newRow(n) << QString(n);
    }
    void namesAsWritten()
    {
        QFETCH(QString, name);
        const QString dir = tmp.filePath("names"), path = dir + "/" + name;
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(ts::writeTiff(path + ".tif", 4, 4, [](int x, int y) { return 500 + x + y; }));
        Analyzed2DRes written("written");
        const AnalyzeCond g = ts::fillMap(written, 3, 2, [](int x, int y) { return 0.1 * (x + y); });
        QVERIFY(EShiftMapFile::write(path + ".emp", written, EShiftMapFile::headerOf(g, 0, 0, 8979, 3.13553), "", 3, 2));
        CalibOnBody::of(*body)->calibCtrl->CheckSize->setChecked(true);
        QStringList said;
        QObject scope;
        connect(body->statusBar(), &QStatusBar::messageChanged, &scope, [&said](const QString& m) { said << m; });
        ctrl->clearLog();
        QVERIFY(ts::runScript(ctrl, QString("clear_I1_files\nload_I0_files NEW %1\nload_I1_files NEW %2.tif\nload_I1_files NEW %1 %2.tif\n"
                                            "analyzer_set_LCF_std 1 1 0 %2.dat 0\ncalib_load_map %2.emp\n"
                                            "saveDataCfg_save_as_text\nsave_data %2\n:echo %3")
                                        .arg(tmp.filePath("stack/img_0.tif"), path, name)));
        for (const QString& m : {name + ".tif is 4 x 4 pixels, the frames of the I0 stack 8 x 6: not loaded into the I1 stack",
                                 name + ".tif is 4 x 4 pixels, the first frame of the I1 stack 8 x 6: not loaded",
                                 "The LCF reference file \"" + path + ".dat\" could not be read: reference row 1 has no file now",
                                 "Energy-shift map not read: " + path + ".emp is 3 x 2 pixels, the images 8 x 6",
                                 "Saved " + name + "-0.dat in " + QDir::toNativeSeparators(dir)})
            QVERIFY2(said.contains(m), qPrintable(m + "\n--- said:\n" + said.join('\n')));
        QVERIFY(QFileInfo::exists(path + "-0.dat"));
        const QString log = ts::logOf(ctrl);
        for (const QString& l : {"Err: line 5: analyzer_set_LCF_std 1 1 0 " + path + ".dat 0", "line 8: save_data : " + path, "line 9: echo " + name})
            QVERIFY2(log.split('\n').contains(l), qPrintable(l + "\n--- log:\n" + log));
        CalibOnBody::of(*body)->calibCtrl->CheckSize->setChecked(false);
    }

    // Images the user loads from the file selectors answer no script.
    void handLoadsAnswerNothing()
    {
        const QString file = tmp.filePath("stack/img_0.tif");
        QSignalSpy done(body.get(), &Body::finishBatchExec);
        emit body->SelectI1Files->filesSelected({file}, true);
        emit body->SelectI0Files->filesSelected({file}, true);
        QTRY_COMPARE_WITH_TIMEOUT(body->i1Images.size(), 1, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(body->i0Images.size(), 1, 30000);
        QTest::qWait(100);
        QCOMPARE(done.size(), 0);
    }

    // A script file is saved as written and loaded back ending in a line
    // break; unreadable and unwritable files change nothing.
    void scriptFileRoundTrip()
    {
        const QString script = QString::fromUtf8(":let X 5\nload_I1_files NEW \"a b.tif\" # c\n\n"
                                                 ":for i %i 01 12\n  seek_image %i \\\nμ\n:end");
        const QString path = tmp.filePath("round.bat");
        BatchCtrl w;
        w.ui.BatchCmds->setPlainText(script);
        emit w.saveFileDialog()->fileSelected(path);
        QCOMPARE(ts::readAll(path), script.toUtf8());
        w.ui.BatchCmds->setPlainText("old text");
        emit w.loadFileDialog()->fileSelected(path);
        QCOMPARE(w.ui.BatchCmds->toPlainText(), script + "\n");
        w.load(tmp.filePath("missing.bat"));
        w.save(tmp.filePath("no/such/dir/x.bat"));
        QVERIFY(!QFileInfo::exists(tmp.filePath("no/such/dir/x.bat")));
        QCOMPARE(w.ui.BatchCmds->toPlainText(), script + "\n");
    }

    // "calib_exec" answers when its run is over, however it ends; the line
    // after it never runs beside the calibration.
    void calibrationAnswersWhenOver_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QList<int>>("answers");
        QTest::newRow("finished") << "" << QList<int>{calib_exec, set_band_w};
        QTest::newRow("I1 stack cleared") << "clear" << QList<int>{calib_exec, set_band_w};
        QTest::newRow("I1 load asked for") << "load" << QList<int>{calib_exec, set_band_w};
        QTest::newRow("map file read by hand") << "map" << QList<int>{calib_exec, set_band_w};
        // The stopped script's "calib_exec" and the new one's both answer.
        QTest::newRow("second calib_exec after Stop") << "again" << QList<int>{calib_exec, calib_exec, set_band_w};
    }
    void calibrationAnswersWhenOver()
    {
        QFETCH(QString, how);
        QFETCH(QList<int>, answers);
        Body b;
        // Large enough that a calibration over it takes many turns of the
        // event loop.
        ts::StackSpec s;
        s.w = s.h = 30;
        s.n = 101;
        s.energy = [](int k) { return 8900.0 + k; };
        s.i1 = [](int k, int c, int) { return calibI1At(k, c); };
        s.i0 = nullptr;
        ts::loadStack(b, s);
        b.UseI0->setChecked(false);
        b.HWidth->setText("0");
        b.VWidth->setText("0");
        CalibOnBody* calib = CalibOnBody::of(b);
        const QString stdFile = tmp.filePath("inproc-std.dat");
        QVERIFY(ts::writeSpectrum(stdFile, edges::Edge{8950, 3}.sample(8880, 9020, 0.5)));
        calib->calibCtrl->loadStd(stdFile);
        BatchCtrl* c = BatchOnBody::of(b)->batchCtrl();
        QSignalSpy done(&b, &Body::finishBatchExec);
        QSignalSpy ended(&calib->calibration, &EnergyCalibration::runEnded);
        bool acted = false;
        // Acts between two blocks, once the run is well under way.
        connect(&calib->calibration, &EnergyCalibration::calibProgress, this, [&](double p) {
            if (acted || how.isEmpty() || p < 20 || p >= 100) return;
            acted = true;
            if (how == "clear") b.clearI1Files();
            if (how == "load") b.readI1Files(QStringList(), false, not_ex_cmd);
            if (how == "map") calib->loadEMap(tmp.filePath("none.emp"));
            if (how == "again") {
                QTest::mouseClick(c->ui.Stop, Qt::LeftButton);
                c->ui.BatchCmds->setPlainText("calib_exec\nset_band_w 5");
                c->execBatchSlot();
            }
        });
        if (how == "clear" || how == "load")
            QTest::ignoreMessage(QtDebugMsg, "Calibration stopped: the I1 stack changed");
        if (how == "map") QTest::ignoreMessage(QtDebugMsg, "Calibration stopped: an energy map file is read");
        c->ui.BatchCmds->setPlainText("calib_exec\nset_band_w 5");
        c->execBatchSlot();
        QTRY_VERIFY_WITH_TIMEOUT(b.HWidth->text() == "5", 20000);
        // The next line ran only once the run was over. After Stop the first
        // run may end on its own before the new script's calib_exec arrives,
        // which then runs a calibration of its own.
        if (how == "again")
            QVERIFY2(ended.size() == 1 || ended.size() == 2, qPrintable(QString::number(ended.size())));
        else
            QCOMPARE(ended.size(), 1);
        QVERIFY(!calib->calibration.isRunning());
        QCOMPARE(acted, !how.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(ts::logOf(c).endsWith("end"), 30000);
        QCOMPARE(ts::idsOf(done), answers);
    }

    // A beamline user's script run by the real program headless: load an I1
    // and an I0 stack, take the dark from a dark strip, calibrate and keep
    // the energy-shift map, run every 2-D analysis at once, save the maps as
    // text, run again with the map read back, and quit. The map file and
    // every block of every saved map are checked against the truth the stack
    // was made from; the program ends by itself with status 0. Without its
    // script a headless run says why and ends too.
    void headlessRun()
    {
        QTemporaryDir dir;
        const ts::ProgramRun lost = ts::runProgram(
            CORVENLITH_BIN, {"-c", dir.filePath("none.cfg"), "-e", "-b", "/nonexistent/run.bat", "-x"}, 240000);
        QVERIFY(lost.ended && lost.status == QProcess::NormalExit && lost.code != 0);
        QVERIFY(lost.err.contains("cannot read the batch file /nonexistent/run.bat"));
        mixed::Stack s;
        // Two mixtures, then the first mixture with its edge 2 eV higher.
        s.regions = {{0, 5, 0.3, 0.9, 0.3, 0.0}, {6, 11, 0.5, 0.6, 0.8, 0.0}, {12, 17, 0.3, 0.9, 0.3, 2.0}};
        QVERIFY(s.writeRun(dir.path()));
        // The sample is rows 0 .. 11 of 18 x 15 pixels, the dark strip rows
        // 12 .. 14; the edge is at 8979 eV.
        const QString script = QString(
            "load_I1_files_of_pattern NEW %1/i1/ *.tif\nload_I0_files_of_pattern NEW %1/i0/ *.tif\nUse_I0 1\n"
            "select_region 0 12 17 14\nset_i1_dark_area\nselect_region 0 12 17 14\nset_i0_dark_area\n"
            "select_region 0 0 17 11\nset_band_w 1\nset_band_h 1\nSuggesting_Edge_eV 8979\n"
            "saveDataCfg_save_as_text\nsaveDataCfg_text_as_xyz\ncalib_load_std %1/ref1.dat\ncalib_type 2\n"
            "calib_exec\ncalib_save_map %1/out/shift.emp\ncalib_clear_map\n"
            "analyzer_set_LCF_std 0 1 0 %1/ref1.dat 0\nanalyzer_set_LCF_std 1 1 0 %1/ref2.dat 0\n"
            "analyzer_target_elements Cu\nanalyzer_set_ra_energy 9000\nanalyzer_set_ra_factor 0.5\n"
            "analyzer_sub_mode 0 1 1 1 1\nanalyzer_exec_2da\nanalyzer_select_image_type 0\n"
            "analyzer_select_image 0\nsave_data %1/out/frac\nanalyzer_select_image 1\nsave_data %1/out/frac\n"
            "analyzer_select_image 4\nsave_data %1/out/dedge\nanalyzer_select_image 6\n"
            "analyzer_elems_select_disp_mode 0\nanalyzer_elems_select_show Cu-K\nsave_data %1/out/elem\n"
            "analyzer_select_image 8\nsave_data %1/out/rest\nanalyzer_select_image 7\nsave_data %1/out/jump\n"
            "calib_load_map %1/out/shift.emp\nanalyzer_sub_mode 0 1 0 0 0\nanalyzer_exec_2da\n"
            "analyzer_select_image 4\nsave_data %1/out/corrected\nquit\n");
        const ts::ProgramRun run = ts::runHeadless(dir.path(), script.arg(dir.path()), 240000);
        QVERIFY2(run.endedWith(0), run.err.right(3000).constData());

        // Block centres at 1, 4, ... with half-widths 1: each block within one
        // region. The corrected edge is right only if the shift map written
        // right after "calib_exec" holds the finished run.
        for (const QString& m : QStringList{"frac-0 f1", "frac-1 f2", "dedge-0 dedge", "elem-0 jump", "rest-0 rest",
                                            "jump-0 jump", "corrected-0 corrected"}) {
            const QString file = dir.filePath("out/" + m.section(' ', 0, 0) + ".dat"), q = m.section(' ', 1);
            int seen = 0;
            QString report;
            for (const ts::MapRow& r : ts::readMapRows(file)) {
                QVERIFY2(r.ok, qPrintable(file + ": " + r.line));
                QVERIFY(s.regionAt(r.x) && r.y < s.sampleRows);
                ++seen;
                const double want = truth(q, *s.regionAt(r.x));
                const double tolerance = q == "dedge" || q == "corrected" ? 0.2 : 0.02;
                if (!std::isnan(want) && !(std::fabs(r.v - want) <= tolerance))
                    report += QString("%1 at (%2, %3): %4, want %5\n").arg(q).arg(r.x).arg(r.y).arg(r.v).arg(want);
            }
            QVERIFY2(report.isEmpty(), qPrintable(file + "\n" + report));
            QCOMPARE(seen, (s.width / 3) * (s.sampleRows / 3));
        }
    }

    // The real program headless: status 0 after a clean script (labels and comment blocks fail nothing); 1 after
    // a failed load or save or an "Err:" line, the last line on stderr counting the failures and naming the first.
    // "first" names the first failure, its further lines other lines the run must print. Lines above "--" are
    // "batch" lines of the configuration: the script's "Err:" lines still count the script's own lines.
    void exitStatus_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("failures");
        QTest::addColumn<QString>("first");
        // Numbered frames: their energies from the calculation, as names give none.
        const QString load = "eng_by_calc_i1 1\nload_I1_files NEW TMP/stack/img_0.tif TMP/stack/img_1.tif\n";
        QTest::newRow("clean") << ":label\n:rem_start\nbogus\n:rem_end\n" + load + "save_image TMP/exit-clean.png" << 0 << "";
        QTest::newRow("save into a missing folder") << load + "save_image TMP/none/exit.png" << 1 << "TMP/none/exit.png";
        QTest::newRow("unknown word") << "set_band_w 1\nsetband_h 2" << 1 << "Err: line 2: unknown word setband_h";
        QTest::newRow("loop bound past 64 bits") << ":for k %k 1 99999999999999999999\n:echo never\n:next k\n:echo after" << 1
                                                 << "Err: line 1: a bound or step of loop k does not fit in 64 bits; the loop is not run";
        QTest::newRow("unreadable image, word without action")
            << "load_I1_files NEW TMP/stack/none.tif\nanalyzer_select_main_mode_sumUp" << 2 << "none.tif";
        // Unread references, 2-D runs without a result (frames numbered, no energy in their names) and an I0 stack
        // of another scan count too.
        const QString refs = "analyzer_set_LCF_std 0 1 0 %1 0\nanalyzer_set_LCF_std 1 1 0 REF 0\n";
        QTest::newRow("both references read") << refs.arg("REF") << 0 << "";
        QTest::newRow("a reference unreadable")
            << refs.arg("TMP/none.dat") << 1
            << "The LCF reference file \"TMP/none.dat\" could not be read: reference row 0 has no file now";
        // Names and lines holding %1 come out as written, the row as the script numbers it.
        QTest::newRow("names and lines holding %1")
            << "analyzer_select_main_mode_sumUp 50%1 %2 %L1\nanalyzer_set_LCF_std 1 1 0 TMP/missing%1.dat 0\nbogus%1 %2"
            << 3
            << "Err: line 1: analyzer_select_main_mode_sumUp 50%1 %2 %L1\n"
               "The LCF reference file \"TMP/missing%1.dat\" could not be read: reference row 1 has no file now\n"
               "Err: line 3: unknown word bogus%1\n";
        QTest::newRow("2-D run on numbered frames")
            << load + refs.arg("REF") + "set_band_w 1\nset_band_h 1\nanalyzer_sub_mode 0 0 1 0 0\nanalyzer_exec_2da" << 3
            << "The LCF reference \"REF\" of row 0 does not cover the fit\n"
               "2-D run gave no result: in each of its 6 blocks the LCF fit failed (";
        QTest::newRow("edge-shift run on numbered frames")
            << load + "set_band_w 1\nset_band_h 1\nanalyzer_sub_mode 0 1 0 0 0\nanalyzer_exec_2da" << 1
            << "2-D run not started: the edge energy ";
        QTest::newRow("I0 of another scan")
            << "load_I1_files_of_pattern NEW TMP/scans/i1/ *.tif\nload_I0_files_of_pattern NEW TMP/scans/i0/ *.tif" << 1
            << "The I0 stack (8800.00 - 8830.00 eV) does not overlap the I1 energies (8950.00 - 8980.00 eV)";
        // Each variable twice the next: under 900 bytes of script ask for a line of 150 million characters (the
        // log's text view crashed on it).
        QString doubling;
        for (char v = 'a'; v < 's'; ++v) doubling += QString(":let %1 $%2$$%2$\n").arg(QChar(v)).arg(QChar(v + 1));
        QTest::newRow("line grown by substitution") << doubling + ":let s xxxx\nscale_reset" + QString(" $a$").repeated(150)
                                                    << 1 << "Err: line 20: longer than 1048576 characters after substitution; not run";
        // Integers at the ends of their range end promptly (a region of the whole int range once had every repaint
        // gather statistics over 2^64 pixels), each clipped one said, each refused one counted.
        QTest::newRow("statistics over the whole int range")
            << load + "stats_show_window 1\nselect_region -2147483648 -2147483648 2147483647 2147483647\nzoom_in\n"
                      "save_image TMP/ext-region.png"
            << 0 << "select_region: (-2147483648, -2147483648)-(2147483647, 2147483647) clipped to (0, 0)-(8, 6): "
                    "the image of 8 x 6 pixels\n";
        QTest::newRow("box and cursor at the ends")
            << load + "set_band_w -2147483648\nset_band_h 99999999999\nmove_position 3 2147483647\n"
                      "move_position -2147483648 -2147483648\nsave_image TMP/ext-box.png"
            << 0
            << "set_band_w: -2147483648 clipped to -65535 (-65535 to 65535)\nset_band_h: 99999999999 clipped to 65535 (-65535 to 65535)\n"
               "move_position: (3, 2147483647) clipped to (3, 5): the image of 8 x 6 pixels\n"
               "move_position: (-2147483648, -2147483648) clipped to (0, 0): the image of 8 x 6 pixels\n";
        QTest::newRow("before any image")
            << "select_region -1 -1 2147483647 5\nmove_position 2147483647 0\nskip_i1 0\ncut_f_i0 -2147483648\n" + load
                   + "save_image TMP/ext-before.png"
            << 0
            << "select_region: (-1, -1)-(2147483647, 5) clipped to (0, 0)-(65536, 5): no image is loaded, the largest "
               "image is 65536 x 65536 pixels\nmove_position: (2147483647, 0) clipped to (65535, 0): no image is loaded, "
               "the largest image is 65536 x 65536 pixels\nskip_i1: 0 clipped to 1 (1 to 2147483647)\n"
               "cut_f_i0: -2147483648 clipped to 0 (0 to 2147483647)\n";
        QTest::newRow("refused")
            << load + "select_region 100 100 200 200\nseek_image 2147483647\nseek_image -1\nSuggesting_Edge 2147483647\n"
                      "eng_calc_num_i1 -2147483648"
            << 5
            << "Err: line 3: select_region 100 100 200 200: the region lies outside the image of 8 x 6 pixels\n"
               "Err: line 4: seek_image 2147483647: the I1 stack has no frame 2147483647 (it holds 2)\n"
               "Err: line 5: seek_image -1: the I1 stack has no frame -1 (it holds 2)\n"
               "Err: line 6: Suggesting_Edge 2147483647: 2147483647 is none of 0 to 3; nothing changed\n"
               "Err: line 7: eng_calc_num_i1 -2147483648: Energy calculation refused: the number of points must be at "
               "least 1; it keeps Start 8000, Delta 1, End 9000 and 1000 points\n";
        // A continued last line of the configuration does not swallow the script's first line.
        const QString three = "batch set_band_w 1\nBATCH :echo from the configuration\nbatch set_band_h 2\n--\n";
        QTest::newRow("after configuration lines, second line")
            << three + "set_band_w 3\nsetband_h 2" << 1 << "Err: line 2: unknown word setband_h\n";
        QTest::newRow("after configuration lines, first line")
            << three + "setband_w 3\nset_band_h 2" << 1 << "Err: line 1: unknown word setband_w\n";
        QTest::newRow("configuration's own, then the script's")
            << "batch set_band_w 1\nbatch setband_h 2\nbatch :echo x\nbatch :echo y\n--\n:label\nset_band_w 3\n\nsetband_x 1"
            << 2 << "Err: line 2: unknown word setband_h\nErr: line 4: unknown word setband_x\n";
        QTest::newRow("configuration's lines only control words")
            << "batch :echo a\nbatch :let v 1\n--\n:echo b\nsetband_h 2" << 1 << "Err: line 2: unknown word setband_h\n";
        QTest::newRow("configuration's last line continued")
            << "batch set_band_w 1\nbatch set_band_h \\\n--\nsetband_w 3\nset_band_h 2" << 1
            << "Err: line 1: unknown word setband_w\n";
        QTest::newRow("script's first line continued")
            << three + "set_band_w \\\n3\nsetband_h 2" << 1 << "Err: line 3: unknown word setband_h\n";
    }
    void exitStatus()
    {
        QFETCH(QString, script);
        QFETCH(int, failures);
        QFETCH(QString, first);
        const int cut = script.indexOf("--\n");
        const ts::ProgramRun r = ts::runHeadless(tmp.path(), withPaths(cut < 0 ? script : script.mid(cut + 3)) + "\nquit\n", 30000,
                                                 cut < 0 ? QString() : script.left(cut));
        QVERIFY2(r.endedWith(failures ? 1 : 0), r.err.right(2000).constData());
        rusage u{};
        getrusage(RUSAGE_CHILDREN, &u);  // the largest of the runs so far
        QVERIFY2(u.ru_maxrss / 1024 < 1200, qPrintable(QString::number(u.ru_maxrss / 1024) + " MB"));
        const QString err = QString::fromUtf8(r.err);
        QVERIFY2(!err.contains("runtime error") && !err.contains("AddressSanitizer"), qPrintable(err.right(3000)));
        // After configuration lines: exactly the expected "Err: line" lines, in order.
        if (cut >= 0) QCOMPARE(err.split('\n').filter(QRegularExpression("^Err: line")).join('\n') + '\n', first);
        for (const QString& line : withPaths(first).split('\n')) QVERIFY2(err.contains(line), qPrintable(line));
        const QString last = err.trimmed().section('\n', -1);
        const QString head = QString("Failures in this run: %1; the first: ").arg(failures);
        QVERIFY2(failures ? last.startsWith(head) && last.contains(withPaths(first.section('\n', 0, 0)))
                          : last == "Failures in this run: 0",
                 qPrintable(last));
        QVERIFY(failures || QFileInfo::exists(tmp.filePath("exit-clean-cBar.png")));  // the clean script did run
        // The script went on to its end: its last picture of the view was saved.
        QVERIFY(failures || !script.contains("save_image") || QFileInfo::exists(tmp.filePath(script.section("TMP/", -1))));
    }

    // The real program headless on a scan whose I1 energies come from the file order: slips in the energy
    // calculation (not a number, below 0, 1e308) count, and the frames keep the energies set before them.
    // In TIFF mode a map saved under a name without a suffix is NAME-0.tif, one sample per block, with NAME-0--cBar.tif.
    void calculatedEnergiesAndTiffNames()
    {
        QTemporaryDir dir;
        mixed::Stack s;
        s.regions = {{0, 8, 0.3, 0.9, 0.3, 0.0}, {9, 17, 0.5, 0.6, 0.8, 0.0}};
        QVERIFY(s.write(dir.path()));
        QVERIFY(QDir(dir.path()).mkdir("out"));
        QStringList i1;  // in energy order: the calculation numbers files as listed
        for (int k = 0; k < s.frames(); ++k) i1 << dir.filePath("i1/" + ts::energyName("i1", s.energy(k)));
        const QString script = QString(
            "eng_by_calc_i1 1\neng_calc_even_in_eng_i1 1\neng_calc_base_i1 %2\neng_calc_delta_i1 %3\n"
            "eng_calc_base_i1 1e308\neng_calc_base_i1 nan\neng_calc_end_i1 -1\n"
            "load_I1_files NEW %4\nload_I0_files_of_pattern NEW %1/i0/ *.tif\nUse_I0 1\n"
            "select_region 0 12 17 14\nset_i1_dark_area\nselect_region 0 12 17 14\nset_i0_dark_area\n"
            "select_region 0 0 17 11\nset_band_w 1\nset_band_h 1\nmove_position 4 4\nsave_spectra %1/out/spec\n"
            "Suggesting_Edge_eV 8979\nanalyzer_set_ra_energy 9000\nanalyzer_set_ra_factor 0.5\n"
            "analyzer_sub_mode 0 0 0 0 1\nanalyzer_exec_ra\nanalyzer_select_image 7\n"
            "saveDataCfg_save_as_tiff\nsaveDataCfg_tiff_as_analyzed 1\nsaveDataCfg_tiff_fix_scale 1\n"
            "saveDataCfg_tiff_scale_min 0\nsaveDataCfg_tiff_scale_max 2\nsave_data %1/out/jump\nquit\n")
            .arg(dir.path(), QString::number(s.from), QString::number(s.step), i1.join(' '));
        const ts::ProgramRun run = ts::runHeadless(dir.path(), script, 120000);
        QVERIFY2(run.endedWith(1), run.err.right(3000).constData());
        QVERIFY2(run.err.trimmed().split('\n').last().startsWith("Failures in this run: 3; the first: Err: line 5: eng_calc_base_i1 1e308"),
                 run.err.right(2000).constData());

        // Every frame at its own energy, every value a number.
        int n = 0;
        for (const QString& l : ts::readLines(dir.filePath("out/spec-T.dat"))) {
            if (l.startsWith('#') || l.trimmed().isEmpty()) continue;
            const QStringList v = l.split('\t');
            QCOMPARE(v.value(0).toDouble(), s.energy(n++));
            for (const QString& x : v) QVERIFY2(std::isfinite(x.toDouble()), qPrintable(l));
        }
        QCOMPARE(n, s.frames());

        QCOMPARE(QImage(dir.filePath("out/jump-0--cBar.tif")).size(), QSize(20, 600));
        TiffData t;
        QVERIFY(t.load(dir.filePath("out/jump-0.tif")));
        QCOMPARE(QSize(int(t.width), int(t.height)), QSize(6, 4));
    }

    // However a frame's energy comes about (name and factor, calculation and unit, reference list), a load that
    // would give one an energy that is not finite, not above 0 or above 1 MeV is refused whole with a counted
    // "Err:" line and the stack loaded before stays; ordinary loads of each kind read back their energies.
    void frameEnergiesOfEachSource_data()
    {
        QTest::addColumn<QString>("setup");       // lines before the load
        QTest::addColumn<QString>("names");       // the loaded files' names, "%1" the frame's energy as its name says
        QTest::addColumn<QString>("refAngles");   // the reference list's angles (degrees), "" for none
        QTest::addColumn<QVector<double>>("want");  // energies read back; empty: the first stack's
        QTest::addColumn<QString>("err");         // the first failure; "" for none
        const QString calc = "eng_by_calc_i1 1\n";
        QTest::newRow("eV names") << "" << "i1_%1" << "" << energyGrid() << "";
        QTest::newRow("keV names, factor 1000")
            << "eng_by_name_reg_exp_i1 [0-9]_[0-9]{6}KeV\neng_by_name_factor_i1 1000" << "fe_k%1" << "" << energyGrid() << "";
        // The pattern alone sets the factor, as the panel does when it is typed.
        QTest::newRow("keV names, pattern alone") << "set_i1_energy_pattern [0-9]_[0-9]{6}KeV" << "fe_k%1" << ""
                                                  << energyGrid() << "";
        QVector<double> even;
        for (int k = 0; k < energyGrid().size(); ++k) even << 8950 + 2.5 * k;
        QTest::newRow("calculated eV") << calc + "eng_calc_even_in_eng_i1 1\neng_calc_base_i1 8950\neng_calc_delta_i1 2.5"
                                       << "scan_%1" << "" << even << "";
        QTest::newRow("reference angles") << "eng_by_ref_i1 TMP/angles.dat" << "scan_%1" << "angles" << energyGrid() << "";
        // Start 8000 typed in eV stays when the unit becomes keV: 8 MeV for the first frame.
        QTest::newRow("keV, start left from eV")
            << calc + "eng_calc_disp_unit_i1 1\neng_calc_end_i1 9\neng_calc_num_i1 125" << "scan_%1" << "" << QVector<double>()
            << "No frames loaded into the I1 stack: scan_0.tif would have an energy of 8000000 eV, calculated as file 0 of "
               "the list from Start 8000, Delta -63.928, End 9 and 125 points in keV; a frame's energy must be above 0 and "
               "at most 1000000 eV";
        QTest::newRow("keV, even in energy, start left from eV")
            << calc + "eng_calc_even_in_eng_i1 1\neng_calc_disp_unit_i1 1\neng_calc_delta_i1 0.001" << "scan_%1" << ""
            << QVector<double>() << "scan_0.tif would have an energy of 8000000 eV";
        // A start of 0 eV is refused by the word; the load takes the fields kept.
        QVector<double> kept;
        for (int k = 0; k < energyGrid().size(); ++k) kept << 8000 + k;
        QTest::newRow("start 0 eV") << calc + "eng_calc_even_in_eng_i1 1\neng_calc_base_i1 0" << "scan_%1" << "" << kept
                                    << "Energy calculation refused: Start and End must be energies above 0";
        QTest::newRow("start 0 keV")
            << calc + "eng_calc_even_in_eng_i1 1\neng_calc_disp_unit_i1 1\neng_calc_base_i1 8.95\neng_calc_delta_i1 0.0025\n"
                      "eng_calc_base_i1 0"
            << "scan_%1" << "" << even << "Energy calculation refused: Start and End must be energies above 0";
        QTest::newRow("eV names, factor 1000") << "eng_by_name_factor_i1 1000" << "i1_%1" << "" << QVector<double>()
                                               << "i1_08900_0000.tif would have an energy of 8900000 eV, from its name by "
                                                  "the pattern (\\d|)\\d\\d\\d\\d_\\d\\d\\d\\d and the factor 1000";
        QTest::newRow("reference angle 0") << "eng_by_ref_i1 TMP/angles.dat" << "scan_%1" << "0" << QVector<double>()
                                           << "would have an energy of inf eV, from the angle 0 degrees in the reference list";
        QTest::newRow("reference angle below 0") << "eng_by_ref_i1 TMP/angles.dat" << "scan_%1" << "-12.5" << QVector<double>()
                                                 << "from the angle -12.5 degrees in the reference list angles.dat";
        // 0.0566 degrees: about 2 MeV.
        QTest::newRow("reference at 2 MeV") << "eng_by_ref_i1 TMP/angles.dat" << "scan_%1" << "0.0566" << QVector<double>()
                                            << "from the angle 0.0566 degrees in the reference list angles.dat";
    }
    void frameEnergiesOfEachSource()
    {
        QFETCH(QString, setup);
        QFETCH(QString, names);
        QFETCH(QString, refAngles);
        QFETCH(QVector<double>, want);
        QFETCH(QString, err);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("out"));
        const double D = 3.13553, hc = 12398.424360387684;
        // The first stack: Fe, named in eV.
        const QVector<double> first{7080, 7100, 7110, 7112, 7113.5, 7114, 7125, 7150, 7200, 7300, 7400, 7500};
        QStringList firstFiles, files;
        const edges::Edge fe{7112, 2}, cu{8979, 1.5};
        for (double e : first) {
            firstFiles << dir.filePath("fe/" + ts::energyName("i1", e));
            QVERIFY(ts::writeTiff(firstFiles.last(), 6, 5, [&](int c, int r) { return frameCounts(fe, e, c, r); }));
        }
        const QVector<double> grid = energyGrid();
        QString angles = "angle\n";
        for (int k = 0; k < grid.size(); ++k) {
            const double e = grid[k];
            QString name;
            if (names.startsWith("i1_")) name = ts::energyName("i1", e);
            else if (names.startsWith("fe_k")) name = QString("fe_k%1_%2KeV.tif").arg(int(e / 1000)).arg(std::lround(std::fmod(e, 1000) * 1000), 6, 10, QChar('0'));
            else name = QString("scan_%1.tif").arg(k);
            files << dir.filePath("cu/" + name);
            QVERIFY(ts::writeTiff(files.last(), 6, 5, [&](int c, int r) { return frameCounts(cu, e, c, r); }));
            // The monochromator's angle of each frame, one line of the list replaced by the row's.
            angles += (k == 4 && !refAngles.isEmpty() && refAngles != "angles" ? refAngles
                                                                  : QString::number(std::asin(hc / (2 * D * e)) * 180 / M_PI, 'f', 8))
                      + "\n";
        }
        QVERIFY(ts::writeText(dir.filePath("angles.dat"), angles));
        const QString script = "load_I1_files NEW " + firstFiles.join(' ') + "\n" + QString(setup).replace("TMP", dir.path())
                               + "\nload_I1_files NEW " + files.join(' ') + "\nmove_position 2 2\nsave_spectra "
                               + dir.filePath("out/spec") + "\nquit\n";
        const ts::ProgramRun run = ts::runHeadless(dir.path(), script, 60000);
        QVERIFY2(run.endedWith(err.isEmpty() ? 0 : 1), run.err.right(3000).constData());
        const QString log = QString::fromUtf8(run.err);
        if (!err.isEmpty()) {
            // Counted once: the window's failure and the log's line are one.
            const QString last = log.trimmed().section('\n', -1);
            QVERIFY2(last.startsWith("Failures in this run: 1; the first: Err: line ") && last.contains(err), qPrintable(last));
            QVERIFY2(log.split('\n').filter(QRegularExpression("^Err: line \\d+: (load_I1_files|eng_calc)")).size() == 1,
                     qPrintable(log.right(3000)));
        }
        // Every frame at its energy, or the first stack whole when the load was refused.
        if (want.isEmpty()) want = first;
        QVector<double> got;
        for (const QString& l : ts::readLines(dir.filePath("out/spec-T.dat"))) {
            if (l.startsWith('#') || l.trimmed().isEmpty()) continue;
            got << l.split('\t').value(0).toDouble();
        }
        QCOMPARE(got.size(), want.size());
        for (int k = 0; k < want.size(); ++k)
            QVERIFY2(std::abs(got[k] - want[k]) < 1e-3, qPrintable(QString("%1: %2, not %3").arg(k).arg(got[k], 0, 'f', 5).arg(want[k])));
    }

    // "quit" hands over to the application's end and answers nothing.
    void quitAnswersNothing()
    {
        QSignalSpy fin(body.get(), &Body::finishing);
        QSignalSpy answers(body.get(), &Body::finishBatchExec);
        ctrl->ui.BatchCmds->setPlainText("set_band_w 3\nquit\nset_band_w 4\n");
        ctrl->execBatchSlot();
        QVERIFY(fin.wait(10000));
        QTest::qWait(50);
        QCOMPARE(ts::idsOf(answers), QList<int>({set_band_w}));
    }

    // Stop on a loop of a thousand million passes over control lines: the program's memory stays bounded while it
    // runs (the log kept every line, the GUI thread was flooded: 90 MB a second, Stop acting after seconds), the
    // loop ends, the run counts as failed and says how many lines it left undone, and the log
    // keeps its recent lines, saying how many earlier ones it left out.
    void stopEndsAnEndlessLoop()
    {
        ctrl->clearLog();
        const int failures = FailureLog::count();
        ctrl->ui.BatchCmds->setPlainText(":for i %i 1 1000000000\n:echo %i\n:next i\nset_band_w 1\nset_band_h 1\n");
        ctrl->execBatchSlot();
        QTest::qWait(1500);
        const qint64 early = ts::residentKb(QCoreApplication::applicationPid());
        // A timer of the GUI thread keeps its pace.
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
        tick.start(10);
        QTest::qWait(3000);
        tick.stop();
        const qint64 late = ts::residentKb(QCoreApplication::applicationPid());
        QVERIFY2(late - early < 40 * 1024 + ts::sanitizerSlackKb, qPrintable(QString("%1 -> %2 kB").arg(early).arg(late)));
        // 300 on a quiet machine, a few under the sanitizer on a busy one; a flooded thread got none.
        QVERIFY2(ticks > 0, qPrintable(QString::number(ticks)));
        const QString log = ts::logOf(ctrl);
        QVERIFY(ctrl->ui.BatchLogs->document()->blockCount() <= BatchCtrl::maxLogLines * 5 / 4 + 2);
        QVERIFY(ctrl->linesLeftOut() > 0
                && log.startsWith(QString("(%1 earlier line(s) of the log not shown)\n").arg(ctrl->linesLeftOut())));
        BatchDispatcher* disp = BatchOnBody::of(*body)->dispatcher();
        QElapsedTimer t;
        t.start();
        QTest::mouseClick(ctrl->ui.Stop, Qt::LeftButton);
        bool running = true;
        // A loop that Stop does not reach runs for ever; the tight figure is bench_batch's.
        while (running && t.elapsed() < 30000)
            QMetaObject::invokeMethod(disp, [&] { running = disp->isRunning(); }, Qt::BlockingQueuedConnection);
        QVERIFY2(!running, qPrintable(QString::number(t.elapsed()) + " ms"));
        QCOMPARE(FailureLog::count() - failures, 1);
        QTRY_VERIFY_WITH_TIMEOUT(ts::logOf(ctrl).contains(QRegularExpression("stopped before its end; [34] line\\(s\\) not run")), 30000);
    }

    // The interpreter sends the log of a run of control lines in chunks holding its last lines, each saying how
    // many lines it left out since the chunk before: every line logged is either sent or counted, whatever the
    // pace of the chunks. (The count once kept only the last drop.)
    void logLeftOutLinesCounted_data()
    {
        QTest::addColumn<QString>("lines");        // the loop's own lines
        QTest::addColumn<QStringList>("logged");  // as the log says each, <k> the pass
        QTest::newRow("echo") << ":echo %i" << QStringList{"echo <k>"};
        QTest::newRow("three echoes") << ":echo a%i\n:echo b%i\n:echo c%i" << QStringList{"echo a<k>", "echo b<k>", "echo c<k>"};
        QTest::newRow("let and echo") << ":let v x\n:echo %i" << QStringList{"let v = x", "echo <k>"};
    }
    void logLeftOutLinesCounted()
    {
        QFETCH(QString, lines);
        QFETCH(QStringList, logged);
        const int passes = 50000, b = logged.size();
        const qint64 total = 1 + qint64(passes) * (b + 1);  // the ":for" line, then each pass's lines and ":next"
        QStringList chunks;
        BatchDispatcher* disp = BatchOnBody::of(*body)->dispatcher();
        bool ended = false;
        const QMetaObject::Connection c = connect(disp, &BatchDispatcher::Log, this, [&](const QString& t) {
            chunks << t;
            ended = ended || t.startsWith("end\n") || t.contains("\nend\n");
        });
        // Waited for on the chunks: reading the window's whole log every few ms is slow under the sanitizer.
        ctrl->clearLog();
        ctrl->ui.BatchCmds->setPlainText(QString(":for i %i 1 %1\n%2\n:next i\n").arg(passes).arg(lines));
        ctrl->execBatchSlot();
        QTRY_VERIFY_WITH_TIMEOUT(ended, 240000);
        disconnect(c);
        // The places a log line may have in the whole log (-1: any; none: not the loop's).
        QVector<QRegularExpression> own;
        for (int p = 0; p < b; ++p) {
            QStringList parts = logged[p].split("<k>");
            for (QString& t : parts) t = QRegularExpression::escape(t);
            own << QRegularExpression(QString("^line %1: %2$").arg(p + 2).arg(parts.join("(\\d+)")));
        }
        const QRegularExpression next(QString("^line %1: next i : %i = (\\d+)$").arg(b + 2));
        const QString finished = QString("line %1: next i : finished at %i = %2").arg(b + 2).arg(passes);
        const auto placesOf = [&](const QString& l) {
            QVector<qint64> at;
            if (l == "line 1: for i : %i = 1") return QVector<qint64>{0};
            for (int p = 0; p < b; ++p) {
                const QRegularExpressionMatch m = own[p].match(l);
                if (!m.hasMatch()) continue;
                if (own[p].captureCount() == 0) return QVector<qint64>{-1};
                return QVector<qint64>{1 + (m.captured(1).toLongLong() - 1) * (b + 1) + p};
            }
            // After pass k it says k + 1, after the last pass that the loop is done.
            if (l == finished) return QVector<qint64>{1 + qint64(passes - 1) * (b + 1) + b};
            const QRegularExpressionMatch m = next.match(l);
            if (m.hasMatch()) at << 1 + (m.captured(1).toLongLong() - 2) * (b + 1) + b;
            return at;
        };
        const QRegularExpression left("^\\((\\d+) line\\(s\\) of the log left out\\)$");
        qint64 last = -1, counted = 0, sent = 0;
        int bigDrops = 0;
        for (const QString& chunk : chunks) {
            QStringList shown = chunk.split('\n', Qt::SkipEmptyParts);
            qint64 leftOut = 0;
            const QRegularExpressionMatch m = left.match(shown.value(0));
            if (m.hasMatch()) {
                leftOut = m.captured(1).toLongLong();
                shown.removeFirst();
            }
            // Before a chunk's first line exactly the lines it says it left out; then one line after another.
            qint64 at = last + leftOut;
            bool loop = true;
            for (const QString& l : shown) {
                const QVector<qint64> places = placesOf(l);
                if (places.isEmpty()) {
                    loop = false;  // the lines after the loop
                    break;
                }
                ++at;
                QVERIFY2(places.contains(-1) || places.contains(at),
                         qPrintable(QString("line %1 of the log expected, \"%2\" came (after %3, %4 left out)")
                                        .arg(at).arg(l).arg(last).arg(leftOut)));
                ++sent;
            }
            if (loop || at > last + leftOut) last = at;
            else QCOMPARE(leftOut, 0);  // a chunk of other lines leaves out none of the loop's
            counted += leftOut;
            bigDrops += leftOut >= 2;
        }
        // All the loop's lines, the last pass's included; some chunks left many out (else nothing was tested).
        QCOMPARE(last, total - 1);
        QCOMPARE(sent + counted, total);
        // A machine too slow to get 1000 lines ahead of a flush leaves nothing to count.
        if (bigDrops == 0) QSKIP("no chunk left lines out");
    }

    // The main window closed while a script loops: the script stops as with Stop, no panel comes back, nothing
    // more is saved, the application's loop ends. A window of its own (after "quit", the shared one is done).
    void closingTheWindowStopsTheScript()
    {
        auto b = std::make_unique<Body>();
        QObject::connect(b.get(), SIGNAL(finishing()), qApp, SLOT(closeAllWindows()));
        BatchOnBody* ext = BatchOnBody::of(*b);
        Analyzer* panel = AnalysisOnBody::of(*b)->analyzer();
        b->show();
        QVERIFY(QDir(tmp.path()).mkpath("close"));
        const auto saved = [this] { return QDir(tmp.filePath("close")).entryList({"v*-cBar.png"}, QDir::Files).size(); };
        ext->batchCtrl()->ui.BatchCmds->setPlainText(
            withPaths("load_I1_files NEW TMP/stack/img_0.tif TMP/stack/img_1.tif\n:for i %i 1 100000\n"
                      "analyzer_show_window\nsave_image TMP/close/v%i.png\n:next i\n"));
        ext->batchCtrl()->execBatchSlot();
        int atClose = -1;
        QElapsedTimer sinceClose;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (atClose >= 0 || saved() < 3) return;
            atClose = saved();
            sinceClose.start();
            QVERIFY(panel->isVisible());
            b->close();
        });
        poll.start(5);
        QTimer::singleShot(90000, [] { qApp->exit(99); });
        QCOMPARE(qApp->exec(), 0);
        QVERIFY2(atClose >= 3 && sinceClose.elapsed() < 30000, qPrintable(QString::number(sinceClose.elapsed())));
        QTest::qWait(500);
        QVERIFY2(saved() <= atClose, qPrintable(QString::number(saved())));  // nothing lands after the close
        QVERIFY(!panel->isVisible());
        bool running = true;
        QMetaObject::invokeMethod(ext->dispatcher(), [&] { running = ext->dispatcher()->isRunning(); },
                                  Qt::BlockingQueuedConnection);
        QVERIFY(!running);
    }
};

QTEST_MAIN(TstCmdRows)
#include "tst_cmdrows.moc"
