// The batch editor window and the configuration's script lines.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "batch/BatchCmd.h"
#include "batch/BatchCtrl.h"
#include "batch/BatchDispatcher.h"
#include "batch/CfgBatchLines.h"
#include "core/Cfg.h"
#include "core/Globals.h"
#include "widgets/_FileDialog.h"

#include "support/Files.h"
#include "support/Batch.h"

class Answerer : public QObject {
    Q_OBJECT
public:
    QStringList words;
public slots:
    void execCmdSlot(CmdLine cmd, bool) { words << cmd.word; emit finishBatchExec(answerIdOf(exCmdId(cmd))); }
signals:
    void finishBatchExec(int id);
};

class TstBatchCtrl : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

private slots:
    void initTestCase()
    {
        QVERIFY(ts::initBatchRun(tmp));
    }

    void saveLoadRoundTrip()
    {
        const QString script = QString::fromUtf8(":let X 5\nload_I1_files NEW \"a b.tif\" # c\n\n"
                                                 ":for i %i 01 12\n  seek_image %i \\\nμ\n:end");
        const QString path = tmp.filePath("round.bat");
        {
            BatchCtrl w;
            w.ui.BatchCmds->setPlainText(script);
            emit w.saveFileDialog()->fileSelected(path);
        }
        QCOMPARE(ts::readAll(path), script.toUtf8());

        BatchCtrl back;
        back.ui.BatchCmds->setPlainText("old text");
        emit back.loadFileDialog()->fileSelected(path);
        QCOMPARE(back.ui.BatchCmds->toPlainText(), script + "\n");

        // Saving again replaces the file; the loaded text ends in a line break.
        back.save(path);
        QCOMPARE(ts::readAll(path), (script + "\n").toUtf8());
    }

    void loadedFileRuns()
    {
        const QString path = tmp.filePath("three.bat");
        QVERIFY(ts::writeFile(path, "seek_image 1\r\n:echo two\r\nsave_image x.png"));
        BatchCtrl w;
        w.setBatchFile(path);
        QCOMPARE(w.ui.BatchCmds->toPlainText(), QString("seek_image 1\n:echo two\nsave_image x.png\n"));

        QSignalSpy spy(&w, &BatchCtrl::doDispatchCmds);
        QTest::mouseClick(w.ui.Exec, Qt::LeftButton);
        const QStringList expected{"seek_image 1", ":echo two", "save_image x.png", "", ":end"};
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toStringList(), expected);
        QCOMPARE(w.lastLines(), expected);

        w.ui.BatchCmds->clear();
        w.execBatchSlot();
        QCOMPARE(spy.size(), 2);
        QCOMPARE(spy[1][0].toStringList(), QStringList({"", ":end"}));

        w.dispatchCmds({"a", "b"});
        QCOMPARE(spy[2][0].toStringList(), QStringList({"a", "b"}));
        QCOMPARE(w.lastLines(), QStringList({"", ":end"}));
    }

    void unreadableFilesChangeNothing()
    {
        BatchCtrl w;
        w.ui.BatchCmds->setPlainText("keep me");
        w.load(tmp.filePath("missing.bat"));
        w.setBatchFile(QString());
        QCOMPARE(w.ui.BatchCmds->toPlainText(), QString("keep me"));
        const QString bad = tmp.filePath("no/such/dir/x.bat");
        w.save(bad);
        QVERIFY(!QFileInfo::exists(bad));
        QCOMPARE(w.ui.BatchCmds->toPlainText(), QString("keep me"));
    }

    void runsThroughInterpreter()
    {
        qRegisterMetaType<CmdLine>("CmdLine");
        QThread thread;
        auto* disp = new BatchDispatcher;
        disp->moveToThread(&thread);
        thread.start();
        Answerer exec;
        connect(disp, &BatchDispatcher::execCmdSig, &exec, &Answerer::execCmdSlot);
        connect(&exec, &Answerer::finishBatchExec, disp, &BatchDispatcher::finishBatchExec);

        BatchCtrl w;
        w.setDispatcher(disp);
        w.setDispatcher(disp);  // set twice: still one connection each
        w.ui.BatchCmds->setPlainText(":for i %i 1 2\nseek_image %i\n:next i");
        QTest::mouseClick(w.ui.Exec, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.ui.BatchLogs->toPlainText().endsWith("end"), 30000);
        QCOMPARE(w.ui.BatchLogs->toPlainText(),
                 QString("for i : %i = 1\nseek_image : 1\nnext i : %i = 2\nseek_image : 2\n"
                         "next i : %i = 2\nend"));
        QCOMPARE(exec.words, QStringList({"seek_image", "seek_image"}));

        // Stop ends a script that would run on.
        w.ui.BatchLogs->clear();
        w.ui.BatchCmds->setPlainText(":rem_start\nseek_image 1");
        QTest::mouseClick(w.ui.Exec, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(exec.words.size(), 3, 30000);
        QTest::mouseClick(w.ui.Stop, Qt::LeftButton);
        w.ui.BatchCmds->setPlainText("seek_image 2");
        QTest::mouseClick(w.ui.Exec, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.ui.BatchLogs->toPlainText().endsWith("end"), 30000);
        QCOMPARE(w.ui.BatchLogs->toPlainText(), QString("seek_image : 2\nend"));

        thread.quit();
        QVERIFY(thread.wait(30000));
        delete disp;
    }

};

QTEST_MAIN(TstBatchCtrl)
#include "tst_batchctrl.moc"
