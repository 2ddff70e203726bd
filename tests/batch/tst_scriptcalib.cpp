// Calibration, statistics and save-option words: a whole unattended run of
// the program, the argument quirks of the words, and the calibration's answer
// coming only when its run is over.
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "analysis/AnalysisOnBody.h"
#include "batch/BatchCmd.h"
#include "batch/BatchOnBody.h"
#include "core/Analyzed2DRes.h"
#include "core/EMPHeader.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "mainwindow/Body.h"
#include "mainwindow/SaveDataCfg.h"
#include "support/Batch.h"
#include "support/BodyStack.h"
#include "support/EdgeSpectra.h"
#include "support/Files.h"
#include "support/Headless.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibOnBody.h"
#include "tools/EShiftMapFile.h"
#include "tools/StatsMath.h"
#include "tools/ToolsOnBody.h"

namespace {

// A stack whose left part has its edge 3 eV above the standard's and whose
// right part 2 eV below; blocks of 3 x 3 pixels never straddle the border.
const int W = 18;
const int H = 9;
const int Border = 9;
const double StdE0 = 8950;

double shiftAt(int x)
{
    return x < Border ? 3.0 : -2.0;
}

edges::Edge edgeAt(double E0)
{
    edges::Edge e;
    e.E0 = E0;
    e.width = 3.0;
    return e;
}

double energyOf(int k)
{
    return 8900 + k;
}
const int Images = 101;

// Transmitted intensity of pixel x at image k.
double i1At(int k, int x)
{
    return 30000.0 * std::exp(-edgeAt(StdE0 + shiftAt(x)).mu(energyOf(k)));
}

QList<double> numbersIn(const QString& line, QChar sep)
{
    QList<double> v;
    for (const QString& s : line.split(sep, Qt::SkipEmptyParts)) v << s.toDouble();
    return v;
}

// Data lines of a saved map text, header and blank lines left out.
QStringList dataLines(const QString& path)
{
    QStringList out;
    for (const QString& l : ts::readLines(path))
        if (!l.startsWith('#') && !l.trimmed().isEmpty()) out << l;
    return out;
}

QString onlyFile(const QDir& dir, const QString& filter)
{
    const QStringList f = dir.entryList({filter}, QDir::Files);
    return f.size() == 1 ? dir.filePath(f.first()) : QString();
}

// What a word left behind in the panels, as text.
QString probe(Body& b, const QString& what)
{
    CalibOnBody* calib = CalibOnBody::of(b);
    ToolsOnBody* tools = ToolsOnBody::of(b);
    SaveDataCfg* save = b.saveDataCfg;
    if (what == "method") return calib->calibCtrl->CalibTypeInnerP->isChecked() ? "inner" : "mid";
    if (what == "stats") return tools->stats.isVisible() ? "shown" : "hidden";
    if (what == "bins") return tools->stats.Bins->text();
    if (what == "edge") return calib->calibCtrl->EdgeEeV->text();
    if (what == "max") return save->TiffScaleMax->text();
    if (what == "min") return save->TiffScaleMin->text();
    if (what == "fixed") return save->TiffFixedScale->isChecked() ? "1" : "0";
    if (what == "text") {
        return QString("%1 %2 %3")
            .arg(save->SaveAsTextData->isChecked() ? "text" : "tiff")
            .arg(save->DataSpaceSeparated->isChecked() ? "ssv" : "csv")
            .arg(save->DataValValVal->isChecked() ? "vals" : "xyz");
    }
    if (what == "running") return calib->calibration.isRunning() ? "1" : "0";
    return QString();
}

// The stack of the unattended run, in memory, larger so that a calibration
// over it takes many turns of the event loop.
ts::StackSpec calibStack()
{
    ts::StackSpec s;
    s.w = 30;
    s.h = 30;
    s.n = Images;
    s.energy = energyOf;
    s.i1 = [](int k, int c, int) { return i1At(k, c * W / 30); };
    s.i0 = nullptr;
    return s;
}

}  // namespace

class TstScriptCalib : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    // One window for every quirk row: each row sets what it reads.
    QScopedPointer<Body> quirkBody;

private slots:
    void initTestCase()
    {
        QVERIFY(ts::initBatchRun(tmp));
        installAnalysisOnBody();
        installBatchOnBody();
        installToolsOnBody();
        installCalibOnBody();
    }

    // The program run as a beamline user leaves it overnight: calibrate,
    // keep the map, measure edges with and without it, save, quit.
    void headlessCalibrationScript()
    {
        const QDir dir(tmp.filePath("run"));
        QVERIFY(QDir().mkpath(dir.filePath("out")));
        QStringList files;
        for (int k = 0; k < Images; ++k) {
            const QString p = dir.filePath(QString("img_%1.tif").arg(k, 3, 10, QChar('0')));
            QVERIFY(ts::writeTiff(p, W, H, [k](int c, int) { return i1At(k, c); }));
            files << p;
        }
        QVERIFY(ts::writeSpectrum(dir.filePath("std.dat"), edgeAt(StdE0).sample(8880, 9020, 0.5)));
        const QString out = dir.filePath("out/");
        const QString script = QStringList{
            "Use_I0 0", "eng_by_calc_i1 1", "eng_calc_even_in_eng_i1 1", "eng_calc_disp_unit_i1 0",
            "eng_calc_base_i1 8900", "eng_calc_delta_i1 1", "set_band_w 1", "set_band_h 1",
            "load_I1_files NEW \\\n" + files.join(" \\\n"),
            "calib_load_std " + dir.filePath("std.dat"), "calib_type 2", "calib_exec",
            "calib_save_map " + out + "shift.emp", "calib_clear_map",
            "Suggesting_Edge_eV 8950", "analyzer_select_main_mode_2da", "analyzer_select_sub_mode_dEdge 1",
            "analyzer_dEdge_select_mode_midp", "analyzer_exec_2da",
            "saveDataCfg_save_as_text", "saveDataCfg_text_as_ssv", "saveDataCfg_text_as_vals",
            "save_data " + out + "raw_ssv", "saveDataCfg_text_as_csv", "saveDataCfg_text_as_xyz",
            "save_data " + out + "raw_csv", "saveDataCfg_save_as_tiff", "saveDataCfg_tiff_fix_scale 1",
            "saveDataCfg_tiff_scale_min -5", "saveDataCfg_tiff_scale_max 5", "saveDataCfg_tiff_as_analyzed 1",
            "save_data " + out + "raw_tif",
            "calib_load_map " + out + "shift.emp", "analyzer_exec_2da",
            "saveDataCfg_save_as_text", "saveDataCfg_text_as_ssv", "saveDataCfg_text_as_vals",
            "save_data " + out + "corrected", "quit"}
                                   .join('\n');
        QVERIFY(ts::writeText(dir.filePath("run.bat"), script + "\n"));
        QVERIFY(ts::writeText(dir.filePath("start.cfg"), "DataRoot " + dir.path() + "\n"));

        const ts::ProgramRun run = ts::runProgram(
            CORVENLITH_BIN, {"-config", dir.filePath("start.cfg"), "-e", "-b", dir.filePath("run.bat"), "-x"},
            120000, QString(), true);
        QVERIFY2(run.ended, run.err.right(3000).constData());
        QCOMPARE(run.status, QProcess::NormalExit);
        QCOMPARE(run.code, 0);

        // The map written right after "calib_exec" holds the finished run.
        Analyzed2DRes map("read back");
        EMPHeader header;
        AnalyzeCond grid;
        EShiftMapFile::LoadSettings settings;
        QCOMPARE(int(EShiftMapFile::load(out + "shift.emp", map, header, grid, settings)),
                 int(EShiftMapFile::LoadResult::Loaded));
        QCOMPARE(map.width(), W);
        QCOMPARE(map.height(), H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                QVERIFY2(std::fabs(map.valueAt(x, y) - shiftAt(x)) < 0.2,
                         qPrintable(QString("%1,%2: %3").arg(x).arg(y).arg(map.valueAt(x, y))));

        // Edges measured with the map cleared: the shifts themselves, one
        // row of six blocks per line, blank- and comma-separated.
        const QDir outDir(out);
        const QStringList ssv = dataLines(onlyFile(outDir, "raw_ssv*.dat"));
        QCOMPARE(ssv.size(), H / 3);
        for (const QString& l : ssv) {
            QVERIFY2(!l.contains(','), qPrintable(l));
            const QList<double> v = numbersIn(l, ' ');
            QCOMPARE(v.size(), W / 3);
            for (int b = 0; b < v.size(); ++b) QVERIFY2(std::fabs(v[b] - shiftAt(3 * b + 1)) < 0.2, qPrintable(l));
        }
        const QStringList csv = dataLines(onlyFile(outDir, "raw_csv*.dat"));
        QCOMPARE(csv.size(), (W / 3) * (H / 3));
        for (const QString& l : csv) {
            const QList<double> v = numbersIn(l, ',');
            QCOMPARE(v.size(), 3);
            QCOMPARE(int(v[0]) % 3, 1);  // block centres
            QCOMPARE(int(v[1]) % 3, 1);
            QVERIFY2(std::fabs(v[2] - shiftAt(int(v[0]))) < 0.2, qPrintable(l));
        }

        // 16-bit TIFF, one sample per block on the fixed scale -5 .. 5 eV.
        TiffData tif;
        const QString tifPath = onlyFile(outDir, "raw_tif-*.tif");
        QVERIFY2(tif.load(tifPath), qPrintable(tifPath));
        QCOMPARE(int(tif.width), W / 3);
        QCOMPARE(int(tif.height), H / 3);
        for (int r = 0; r < int(tif.height); ++r)
            for (int c = 0; c < int(tif.width); ++c) {
                const double expected = (shiftAt(3 * c + 1) + 5.0) / 10.0 * 65535.0;
                QVERIFY2(std::fabs(tif.pixelValue(c, r) - expected) < 0.2 / 10.0 * 65535.0,
                         qPrintable(QString("%1,%2: %3").arg(c).arg(r).arg(tif.pixelValue(c, r))));
            }

        // With the map read back every block's edge sits on the standard's.
        const QStringList corrected = dataLines(onlyFile(outDir, "corrected*.dat"));
        QCOMPARE(corrected.size(), H / 3);
        for (const QString& l : corrected)
            for (double v : numbersIn(l, ' ')) QVERIFY2(std::fabs(v) < 0.2, qPrintable(l));
    }

    // One row per word quirk: what the panels show afterwards and the
    // answers the words gave.
    void wordQuirks_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QList<int>>("answers");
        QTest::newRow("calib_type 2 is the mid-point method")
            << "calib_type 1\ncalib_type 2" << "method" << "mid" << QList<int>{calib_type, calib_type};
        QTest::newRow("calib_type 1 is the inner product") << "calib_type 1" << "method" << "inner" << QList<int>{calib_type};
        QTest::newRow("stats window shown without argument")
            << "stats_show_window" << "stats" << "shown" << QList<int>{stats_show_window};
        QTest::newRow("stats window hidden by any other text")
            << "stats_show_window\nstats_show_window yes" << "stats" << "hidden"
            << QList<int>{stats_show_window, stats_show_window};
        QTest::newRow("stats bins decimal") << "stats_bins 12.5" << "bins" << "0" << QList<int>{stats_bins};
        QTest::newRow("stats bins capped by the panel")
            << "stats_bins 2000000000" << "bins" << QString::number(StatsMath::maxBins) << QList<int>{stats_bins};
        QTest::newRow("edge energy kept as written")
            << "calib_set_edge_eV 8979.0x" << "edge" << "8979.0x" << QList<int>{calib_set_edge_eV};
        QTest::newRow("scale max 65535")
            << "saveDataCfg_tiff_scale_max 65535" << "max" << "65535" << QList<int>{saveDataCfg_tiff_scale_max};
        QTest::newRow("scale max of seven digits")
            << "saveDataCfg_tiff_scale_max 1234567" << "max" << "1.23457e+06" << QList<int>{saveDataCfg_tiff_scale_max};
        QTest::newRow("scale min not a number")
            << "saveDataCfg_tiff_scale_min abc" << "min" << "0" << QList<int>{saveDataCfg_tiff_scale_min};
        QTest::newRow("fixed scale flag 2 unchecks")
            << "saveDataCfg_tiff_fix_scale 1\nsaveDataCfg_tiff_fix_scale 2" << "fixed" << "0"
            << QList<int>{saveDataCfg_tiff_fix_scale, saveDataCfg_tiff_fix_scale};
        QTest::newRow("text blank-separated values")
            << "saveDataCfg_save_as_text\nsaveDataCfg_text_as_ssv\nsaveDataCfg_text_as_vals" << "text"
            << "text ssv vals"
            << QList<int>{saveDataCfg_save_as_text, saveDataCfg_text_as_ssv, saveDataCfg_text_as_vals};
        QTest::newRow("missing map answered once by the reader")
            << "calib_load_map nowhere.emp" << "running" << "0" << QList<int>{calib_load_map};
        QTest::newRow("calibration without images answers at once")
            << "calib_exec" << "running" << "0" << QList<int>{calib_exec};
    }
    void wordQuirks()
    {
        QFETCH(QString, script);
        QFETCH(QString, what);
        QFETCH(QString, expected);
        QFETCH(QList<int>, answers);
        if (!quirkBody) quirkBody.reset(new Body);
        Body& b = *quirkBody;
        BatchCtrl* c = BatchOnBody::of(b)->batchCtrl();
        QSignalSpy done(&b, &Body::finishBatchExec);
        QVERIFY(ts::runScript(c, script));
        QCOMPARE(probe(b, what), expected);
        QCOMPARE(ts::idsOf(done), answers);
        QVERIFY(!ts::logOf(c).contains("Err:"));
    }

    // "calib_exec" answers when its run is over, however it ends; the line
    // after it never runs beside the calibration.
    void cleanupTestCase() { quirkBody.reset(); }

    // Images the user loads from the file selector answer no script.
    void handLoadAnswersNoScript()
    {
        const QString file = tmp.filePath("hand.tif");
        QVERIFY(ts::writeTiff(file, 4, 3, [](int, int) { return 100.0; }));
        Body b;
        QSignalSpy done(&b, &Body::finishBatchExec);
        emit b.SelectI1Files->filesSelected({file}, true);
        emit b.SelectI0Files->filesSelected({file}, true);
        QTRY_COMPARE_WITH_TIMEOUT(b.i1Images.size(), 1, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(b.i0Images.size(), 1, 30000);
        QTest::qWait(100);
        QCOMPARE(done.size(), 0);
    }

    void calibrationAnswersWhenOver_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QList<int>>("answers");
        QTest::newRow("finished") << "" << QList<int>{calib_exec, set_band_w};
        QTest::newRow("I1 stack cleared") << "clear" << QList<int>{calib_exec, set_band_w};
        QTest::newRow("I1 load asked for") << "load" << QList<int>{calib_exec, set_band_w};
        QTest::newRow("map file read by hand") << "map" << QList<int>{calib_exec, set_band_w};
        // The stopped script's "calib_exec" and the new one's both answer.
        QTest::newRow("second calib_exec after Stop")
            << "again" << QList<int>{calib_exec, calib_exec, set_band_w};
    }
    void calibrationAnswersWhenOver()
    {
        QFETCH(QString, how);
        QFETCH(QList<int>, answers);
        Body b;
        ts::loadStack(b, calibStack());
        b.UseI0->setChecked(false);
        b.HWidth->setText("0");
        b.VWidth->setText("0");
        CalibOnBody* calib = CalibOnBody::of(b);
        const QString stdFile = tmp.filePath("inproc-std.dat");
        QVERIFY(ts::writeSpectrum(stdFile, edgeAt(StdE0).sample(8880, 9020, 0.5)));
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
        // The next line ran only once the run was over.
        QCOMPARE(ended.size(), 1);
        QVERIFY(!calib->calibration.isRunning());
        QCOMPARE(acted, !how.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(ts::logOf(c).endsWith("end"), 30000);
        QCOMPARE(ts::idsOf(done), answers);
        if (how.isEmpty()) {
            for (int x = 0; x < 30; x += 7)
                QVERIFY2(std::fabs(b.shiftMap.valueAt(x, 15) - shiftAt(x * W / 30)) < 0.2,
                         qPrintable(QString::number(b.shiftMap.valueAt(x, 15))));
        }
    }
};

QTEST_MAIN(TstScriptCalib)
#include "tst_scriptcalib.moc"
