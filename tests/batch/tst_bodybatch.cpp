// The batch interpreter and window on the main window: the wiring, scripts
// answered end to end through the main window, the configuration's script
// lines, and the teardown with the interpreter's thread still busy.
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

namespace {

// Waits until the log shows text, with the event loop running.
bool logShows(const BatchCtrl* c, const QString& text, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!ts::logOf(c).contains(text)) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(5);
    }
    return true;
}

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

    // Every execution command is answered as one without an action: logged
    // as an error and completed with the no-command id, so the script runs
    // to its end. Lines in a comment block are answered but not logged.
    void scriptRunsToItsEnd()
    {
        Body b;
        BatchOnBody* ext = BatchOnBody::of(b);
        BatchCtrl* ctrl = ext->batchCtrl();
        QSignalSpy answers(&b, &Body::finishBatchExec);
        ctrl->ui.BatchCmds->setPlainText(":for i %i 1 3\n"
                                         "analyzer_select_main_mode_sumUp %i\n"
                                         ":next i\n"
                                         ":rem_start\n"
                                         "analyzer_select_main_mode_sumUp 99\n"
                                         ":rem_end\n"
                                         "not_a_command 5\n"
                                         "analyzer_select_main_mode_sumUp 1 # on\n");
        QTest::mouseClick(ctrl->ui.Exec, Qt::LeftButton);
        QVERIFY(logShows(ctrl, "\nend"));
        const QString log = ts::logOf(ctrl);
        // The error shows the line as written; the log of the interpreter
        // shows the values.
        QCOMPARE(log.count("Err: analyzer_select_main_mode_sumUp %i\n"), 3);
        for (int i = 1; i <= 3; ++i) QVERIFY(log.contains(QString("analyzer_select_main_mode_sumUp : %1\n").arg(i)));
        QVERIFY(log.contains("Err: analyzer_select_main_mode_sumUp 1"));
        QVERIFY(!log.contains("Err: analyzer_select_main_mode_sumUp 1 #"));
        QVERIFY(!log.contains("99"));
        QVERIFY(!log.contains("not_a_command"));  // not sent at all
        // Three loop commands, the one in the comment block and the last line.
        QCOMPARE(answers.size(), 5);
        for (const QList<QVariant>& a : answers) QCOMPARE(a.at(0).toInt(), int(not_ex_cmd));
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
            QVERIFY(logShows(ctrl, "\nend"));
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
        QPointer<BatchCtrl> ctrl;
        QPointer<BatchDispatcher> disp;
        QPointer<QThread> thread;
        QPointer<BatchOnBody> ext;
        {
            auto* b = new Body;
            ext = BatchOnBody::of(*b);
            ctrl = ext->batchCtrl();
            disp = ext->dispatcher();
            thread = ext->thread();
            ctrl->ui.BatchCmds->setPlainText(
                ":for i %i 1 1000000\nanalyzer_select_main_mode_sumUp %i\n:let A %i\n:next i\n");
            ctrl->execCmdsSlot();
            QElapsedTimer t;
            t.start();
            while (ts::logOf(ctrl).count("Err:") < 20 && t.elapsed() < 10000) QTest::qWait(5);
            QVERIFY(ts::logOf(ctrl).count("Err:") >= 20);
            delete b;
        }
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
