// Failures the user must see in the main window's status bar, not only in a
// debug line: folders that give no images, saves that cannot be written; the
// default TIFF save end to end; a headless run whose script cannot be read.
#include "support/Batch.h"
#include "support/BodyStack.h"
#include "support/Headless.h"

#include "batch/BatchCmd.h"
#include "batch/BatchOnBody.h"
#include "core/Analyzed2DRes.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/SaveDataCfg.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"

#include <QImage>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

class TstFailuresShown : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initGlobals();
        initColorTables();
        initBatchCmdTables();
        installBatchOnBody();
    }

    void statusBarSaysWhy_data()
    {
        QTest::addColumn<QString>("script");  // %1: a folder of the test
        QTest::addColumn<QString>("status");
        QTest::newRow("missing folder") << "load_I1_files_of_pattern NEW %1/none/ *.tif"
                                        << "No images loaded: the folder %1/none/ does not exist";
        QTest::newRow("empty folder") << "load_I1_files_of_pattern NEW %1/ *.tif"
                                      << "No images loaded: no file in %1/ matches *.tif";
        QTest::newRow("save into a missing folder") << "save_image %1/none/view.png"
                                                    << "Not saved: the folder %1/none does not exist";
    }

    void statusBarSaysWhy()
    {
        QFETCH(QString, script);
        QFETCH(QString, status);
        QTemporaryDir dir;
        Body b;
        ts::loadStack(b, ts::StackSpec());
        BatchCtrl* c = BatchOnBody::of(b)->batchCtrl();
        QVERIFY(ts::runScript(c, script.arg(dir.path()) + "\n"));
        QCOMPARE(b.statusBar()->currentMessage(), status.arg(dir.path()));
    }

    // The default save format is TIFF: the view and its colour bar are both
    // written and read back as the pictures they were.
    void tiffSaveWritesTheColourBar()
    {
        QTemporaryDir dir;
        Body b;
        ts::StackSpec s;
        s.i1 = [](int, int c, int r) { return 1000.0 + 40 * c + 7 * r; };
        ts::loadStack(b, s);
        BatchCtrl* c = BatchOnBody::of(b)->batchCtrl();
        QVERIFY(ts::runScript(c, "save_image " + dir.filePath("view.tif") + "\n"));
        const QImage view(dir.filePath("view.tif"));
        const QImage bar(dir.filePath("view-cBar.tif"));
        QCOMPARE(view.size(), QSize(s.w, s.h));
        QCOMPARE(bar.size(), QSize(20, 600));
        QCOMPARE(view.pixelColor(s.w - 1, s.h - 1), b.dispA->viewedImage().pixelColor(s.w - 1, s.h - 1));
        QVERIFY(view.pixelColor(0, 0) != view.pixelColor(s.w - 1, s.h - 1));
        QVERIFY(b.statusBar()->currentMessage().isEmpty());

        // "Save Data" as the save options leave it: the map and its bar.
        Analyzed2DRes map("m");
        AnalyzeCond g;
        g.set(s.w, s.h, 0, 0, 0, 0, s.w, s.h, -1, -1);
        map.setCond(g);
        for (int i = 0; i < s.w * s.h; ++i) map.data[i] = i;
        Body::hooks().selectedMap = [&map](const Body&) { return &map; };
        QVERIFY(b.saveDataCfg->SaveAsTiff->isChecked());
        const bool saved = b.saveData(dir.filePath("map.tif"));
        Body::hooks().selectedMap = nullptr;
        QVERIFY(saved);
        QCOMPARE(QImage(dir.filePath("map-0.tif")).size(), QSize(s.w, s.h));
        QCOMPARE(QImage(dir.filePath("map-0--cBar.tif")).size(), QSize(20, 600));
    }

#ifdef CORVENLITH_BIN
    // Without a screen nobody can close a window left waiting for a script
    // that never came: the program says why and ends.
    void headlessRunWithoutItsScriptEnds_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        QTest::newRow("missing file") << QStringList{"-b", "/nonexistent/run.bat", "-x"}
                                      << "cannot read the batch file /nonexistent/run.bat";
        QTest::newRow("no file named") << QStringList{"-x"} << "no batch file given";
    }

    void headlessRunWithoutItsScriptEnds()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const ts::ProgramRun run =
            ts::runProgram(CORVENLITH_BIN, QStringList{"-c", dir.filePath("none.cfg"), "-e"} + args, 20000);
        QVERIFY(run.ended);
        QCOMPARE(run.status, QProcess::NormalExit);
        QVERIFY(run.code != 0);
        QVERIFY2(run.err.contains(said.toUtf8()), qPrintable(said));
    }
#endif
};

QTEST_MAIN(TstFailuresShown)
#include "tst_failuresshown.moc"
