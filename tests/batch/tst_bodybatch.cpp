// The batch interpreter and window on the main window: the wiring, scripts
// answered end to end through the main window (words without an action
// included), Stop, "quit", the configuration's script lines, and the
// teardown with the interpreter's thread still busy.
#include <QPlainTextEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "batch/BatchCmd.h"
#include "batch/BatchCtrl.h"
#include "batch/BatchDispatcher.h"
#include "batch/BatchOnBody.h"
#include "core/Cfg.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "tools/ToolsOnBody.h"

#include "support/Batch.h"
#include "support/Files.h"

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
        // Installing again replaces: one teardown step per library.
        installBatchOnBody();
        QCOMPARE(Body::hooks().beforeTeardown.keys(), QStringList({"batch", "tools"}));
    }

    void wiredOnItsThread()
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
    }

    // "quit" hands over to the application's end and answers nothing.
    void quitEnds()
    {
        Body b;
        BatchCtrl* c = BatchOnBody::of(b)->batchCtrl();
        QSignalSpy done(&b, &Body::finishBatchExec);
        QSignalSpy fin(&b, &Body::finishing);
        c->ui.BatchCmds->setPlainText("set_band_w 3\nquit\nset_band_w 4\n");
        c->execBatchSlot();
        QVERIFY(fin.wait(10000));
        QTest::qWait(50);
        QCOMPARE(ts::idsOf(done), QList<int>({set_band_w}));
        QCOMPARE(b.HWidth->text(), QString("3"));
    }

    // The configuration's "batch" lines run when the window has been built.
    void configurationLinesRunAtStart()
    {
        const QString path = tmp.filePath("start.cfg");
        QVERIFY(ts::writeText(path, "batch analyzer_select_main_mode_sumUp 4\nDataRoot /x\nBATCH set_band_w 7\nbatch :end\n"));
        globalCfg = Cfg();
        globalCfg.readFile(path);
        {
            Body b;
            BatchCtrl* ctrl = BatchOnBody::of(b)->batchCtrl();
            QTRY_VERIFY_WITH_TIMEOUT(ts::logOf(ctrl).contains("\nend"), 10000);
            const QString log = ts::logOf(ctrl);
            QVERIFY(log.indexOf("Err: analyzer_select_main_mode_sumUp 4") >= 0);
            QVERIFY(log.indexOf("Err: analyzer_select_main_mode_sumUp 4") < log.indexOf("set_band_w : 7"));
            QCOMPARE(b.HWidth->text(), QString("7"));
        }
        globalCfg = Cfg();
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

    // Without the installers the steps build nothing and the window works.
    void noHooksNoPanels()
    {
        const BodyHooks saved = Body::hooks();
        Body::hooks() = BodyHooks();
        {
            Body b;
            QVERIFY(!BatchOnBody::of(b));
            QVERIFY(!ToolsOnBody::of(b));
        }
        Body::hooks() = saved;
        Body b;
        QVERIFY(BatchOnBody::of(b));
        QVERIFY(ToolsOnBody::of(b));
    }
};

QTEST_MAIN(TstBodyBatch)
#include "tst_bodybatch.moc"
