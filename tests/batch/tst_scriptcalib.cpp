// Calibration by script: a whole unattended run of the program, and the
// calibration's answer coming only when its run is over.
#include <QDir>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "analysis/AnalysisOnBody.h"
#include "batch/BatchCmd.h"
#include "batch/BatchOnBody.h"
#include "core/Analyzed2DRes.h"
#include "core/EMPHeader.h"
#include "mainwindow/Body.h"
#include "support/Batch.h"
#include "support/BodyStack.h"
#include "support/EdgeSpectra.h"
#include "support/Files.h"
#include "support/Headless.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibOnBody.h"
#include "tools/EShiftMapFile.h"
#include "tools/ToolsOnBody.h"

namespace {

// A stack whose left part has its edge 3 eV above the standard's and whose
// right part 2 eV below; blocks of 3 x 3 pixels never straddle the border.
const int W = 18;
const int H = 9;
const double StdE0 = 8950;
const int Images = 101;

double shiftAt(int x) { return x < 9 ? 3.0 : -2.0; }

edges::Edge edgeAt(double E0)
{
    edges::Edge e;
    e.E0 = E0;
    e.width = 3.0;
    return e;
}

double energyOf(int k) { return 8900 + k; }

// Transmitted intensity of pixel x at image k.
double i1At(int k, int x) { return 30000.0 * std::exp(-edgeAt(StdE0 + shiftAt(x)).mu(energyOf(k))); }

// The numbers of the data lines of the one saved map text matching filter.
QList<QList<double>> mapText(const QDir& dir, const QString& filter)
{
    QList<QList<double>> rows;
    const QStringList f = dir.entryList({filter}, QDir::Files);
    if (f.size() != 1) return rows;
    for (const QString& l : ts::readLines(dir.filePath(f.first()))) {
        if (l.startsWith('#') || l.trimmed().isEmpty()) continue;
        QList<double> v;
        for (const QString& s : l.split(QRegularExpression("[,\\s]+"), Qt::SkipEmptyParts)) v << s.toDouble();
        rows << v;
    }
    return rows;
}

}  // namespace

class TstScriptCalib : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

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
            "saveDataCfg_save_as_text", "saveDataCfg_text_as_csv", "saveDataCfg_text_as_xyz",
            "save_data " + out + "raw",
            "calib_load_map " + out + "shift.emp", "analyzer_exec_2da",
            "saveDataCfg_text_as_ssv", "saveDataCfg_text_as_vals",
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

        // Edges measured with the map cleared are the shifts themselves, one
        // line per block centre.
        const QList<QList<double>> raw = mapText(QDir(out), "raw*.dat");
        QCOMPARE(raw.size(), (W / 3) * (H / 3));
        for (const QList<double>& v : raw) {
            QCOMPARE(v.size(), 3);
            QCOMPARE(int(v[0]) % 3, 1);
            QCOMPARE(int(v[1]) % 3, 1);
            QVERIFY2(std::fabs(v[2] - shiftAt(int(v[0]))) < 0.2, qPrintable(QString::number(v[2])));
        }
        // With the map read back every block's edge sits on the standard's,
        // one line of six blocks per block row.
        const QList<QList<double>> corrected = mapText(QDir(out), "corrected*.dat");
        QCOMPARE(corrected.size(), H / 3);
        for (const QList<double>& v : corrected) {
            QCOMPARE(v.size(), W / 3);
            for (double e : v) QVERIFY2(std::fabs(e) < 0.2, qPrintable(QString::number(e)));
        }
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
        // Larger than the headless run's, so that a calibration over it takes
        // many turns of the event loop.
        ts::StackSpec s;
        s.w = 30;
        s.h = 30;
        s.n = Images;
        s.energy = energyOf;
        s.i1 = [](int k, int c, int) { return i1At(k, c * W / 30); };
        s.i0 = nullptr;
        ts::loadStack(b, s);
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
