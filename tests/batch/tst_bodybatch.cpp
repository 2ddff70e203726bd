// The batch window and interpreter, alone and on the main window: script
// files saved and loaded, the wiring, scripts answered end to end through
// the main window (words without an action included), Stop, "quit", a
// calibration's answer coming only when its run is over, and the teardown
// with the interpreter's thread still busy.
#include <QPlainTextEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cmath>

#include "batch/BatchCmd.h"
#include "batch/BatchCtrl.h"
#include "batch/BatchDispatcher.h"
#include "batch/BatchOnBody.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibOnBody.h"
#include "tools/ToolsOnBody.h"
#include "widgets/_FileDialog.h"

#include "support/Batch.h"
#include "support/BodyStack.h"
#include "support/EdgeSpectra.h"
#include "support/Files.h"

namespace {

// A stack of 30 x 30 pixels whose left half has its edge 3 eV above the
// standard's and whose right half 2 eV below.
const double StdE0 = 8950;

double shiftAt(int x) { return x < 15 ? 3.0 : -2.0; }

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

}  // namespace

class TstBodyBatch : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

private slots:
    void initTestCase()
    {
        QVERIFY(ts::initBatchRun(tmp));
        installBatchOnBody();
        installToolsOnBody();
        installCalibOnBody();
        // Installing again replaces: one teardown step per library.
        installBatchOnBody();
        QCOMPARE(Body::hooks().beforeTeardown.keys(), QStringList({"batch", "calib", "tools"}));
    }

    void saveLoadRoundTrip()
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
        // Saving again replaces the file; the loaded text ends in a line break.
        w.save(path);
        QCOMPARE(ts::readAll(path), (script + "\n").toUtf8());

        // Unreadable and unwritable files change nothing.
        w.ui.BatchCmds->setPlainText("keep me");
        w.load(tmp.filePath("missing.bat"));
        w.setBatchFile(QString());
        w.save(tmp.filePath("no/such/dir/x.bat"));
        QVERIFY(!QFileInfo::exists(tmp.filePath("no/such/dir/x.bat")));
        QCOMPARE(w.ui.BatchCmds->toPlainText(), QString("keep me"));
    }

    // A word without an action (here none has the analysis panel) is logged
    // as an error with its line as written and answered with the no-command
    // id, so the script runs to its end. Lines in a comment block are
    // answered but not logged; unknown words are not sent at all.
    void scriptRunsToItsEnd()
    {
        Body b;
        BatchCtrl* ctrl = BatchOnBody::of(b)->batchCtrl();
        b.VWidth->setText("5");
        QSignalSpy answers(&b, &Body::finishBatchExec);
        ctrl->ui.BatchCmds->setPlainText(":for i %i 1 3\n"
                                         "analyzer_select_main_mode_sumUp %i\n"
                                         ":next i\n"
                                         ":rem_start\n"
                                         "set_band_h 9\n"
                                         "analyzer_select_main_mode_sumUp 99\n"
                                         ":rem_end\n"
                                         "not_a_command 5\n"
                                         "analyzer_exec_ra\n"
                                         "set_band_h 8 # narrow\n");
        QTest::mouseClick(ctrl->ui.Exec, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(ts::logOf(ctrl).contains("\nend"), 10000);
        const QString log = ts::logOf(ctrl);
        QCOMPARE(log.count("Err: analyzer_select_main_mode_sumUp %i\n"), 3);
        for (int i = 1; i <= 3; ++i) QVERIFY(log.contains(QString("analyzer_select_main_mode_sumUp : %1\n").arg(i)));
        QVERIFY(log.contains("Err: analyzer_exec_ra\n"));
        QCOMPARE(log.count("Err:"), 4);
        QVERIFY(!log.contains("99"));
        QVERIFY(!log.contains("not_a_command"));
        QCOMPARE(ts::idsOf(answers), QList<int>({not_ex_cmd, not_ex_cmd, not_ex_cmd, not_ex_cmd, not_ex_cmd,
                                                 not_ex_cmd, set_band_h}));
        QCOMPARE(b.VWidth->text(), QString("8"));
        QVERIFY(log.contains("for i : %i = 1\n") && log.contains("next i : %i = 3\n"));

        // Stop ends a script that would run on.
        ctrl->ui.BatchCmds->setPlainText(":rem_start\nset_band_h 1");
        QTest::mouseClick(ctrl->ui.Exec, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 8, 10000);
        QTest::mouseClick(ctrl->ui.Stop, Qt::LeftButton);
        QVERIFY(ts::runScript(ctrl, "set_band_h 2"));
        QCOMPARE(ts::logOf(ctrl), QString("set_band_h : 2\nend"));
        QCOMPARE(b.VWidth->text(), QString("2"));

        // "quit" hands over to the application's end and answers nothing.
        QSignalSpy fin(&b, &Body::finishing);
        answers.clear();
        ctrl->ui.BatchCmds->setPlainText("set_band_w 3\nquit\nset_band_w 4\n");
        ctrl->execBatchSlot();
        QVERIFY(fin.wait(10000));
        QTest::qWait(50);
        QCOMPARE(ts::idsOf(answers), QList<int>({set_band_w}));
        QCOMPARE(b.HWidth->text(), QString("3"));
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
        s.w = 30;
        s.h = 30;
        s.n = 101;
        s.energy = energyOf;
        s.i1 = [](int k, int c, int) { return i1At(k, c); };
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

    // Destroyed in the middle of a long script: the thread is stopped and
    // joined first, the interpreter, thread and window are freed with it.
    void teardownWhileRunning()
    {
        auto* b = new Body;
        QPointer<BatchOnBody> ext = BatchOnBody::of(*b);
        QPointer<BatchCtrl> ctrl = ext->batchCtrl();
        QPointer<BatchDispatcher> disp = ext->dispatcher();
        QPointer<QThread> thread = ext->thread();
        ctrl->ui.BatchCmds->setPlainText(
            ":for i %i 1 1000000\nanalyzer_select_main_mode_sumUp %i\n:let A %i\n:next i\n");
        ctrl->execCmdsSlot();
        QTRY_VERIFY_WITH_TIMEOUT(ts::logOf(ctrl).count("Err:") >= 20, 10000);
        delete b;
        QVERIFY(ext.isNull());
        QVERIFY(ctrl.isNull());
        QVERIFY(disp.isNull());
        QVERIFY(thread.isNull());
    }

    // Installed, the interpreter runs on a thread of its own and the window's
    // button shows its editor; without the installers the steps build nothing.
    void wiring()
    {
        {
            Body b;
            BatchOnBody* ext = BatchOnBody::of(b);
            QVERIFY(ext && ext->allConnected());
            QVERIFY(ext->thread()->isRunning());
            QCOMPARE(ext->dispatcher()->thread(), ext->thread());
            QVERIFY(ext->thread() != b.thread());
            QVERIFY(!ext->batchCtrl()->isVisible());
            QTest::mouseClick(b.BatchCtrlB, Qt::LeftButton);
            QVERIFY(ext->batchCtrl()->isVisible());
            QVERIFY(ext->batchCtrl()->parent() == nullptr);  // a window of its own
            QVERIFY(ToolsOnBody::of(b) && CalibOnBody::of(b));
        }
        const BodyHooks saved = Body::hooks();
        Body::hooks() = BodyHooks();
        Body b;
        Body::hooks() = saved;
        QVERIFY(!BatchOnBody::of(b));
        QVERIFY(!ToolsOnBody::of(b));
    }
};

QTEST_MAIN(TstBodyBatch)
#include "tst_bodybatch.moc"
