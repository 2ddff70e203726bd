// Batch commands run on a real main window: each acts on the widgets and
// stacks as a user would, answers with its id, loads answer when the loader
// is done, and words without an action still answer and show in the log.
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "batch/BatchCmd.h"
#include "batch/BatchCtrl.h"
#include "batch/BatchOnBody.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "mainwindow/SelectDataFiles.h"
#include "widgets/ColorBar.h"
#include "widgets/ImgDispA.h"
#include "widgets/SpecPane.h"

#include "support/Batch.h"
#include "support/Files.h"

class TstCmdExecutor : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    QStringList files;

private slots:
    void initTestCase()
    {
        QVERIFY(ts::initBatchRun(tmp));
        installBatchOnBody();
        QVERIFY(QDir(tmp.path()).mkdir("stack"));
        for (int i = 0; i < 3; ++i) {
            const QString p = tmp.filePath(QString("stack/img_%1.tif").arg(i));
            QVERIFY(ts::writeTiff(p, 8, 6, [i](int x, int y) { return 100 + 10 * i + x + y; }));
            files << p;
        }
    }

    // A load answers once the loader is through: the stack is full by then.
    void loadsAnswerWhenLoaded()
    {
        Body b;
        BatchCtrl* c = BatchOnBody::of(b)->batchCtrl();
        QList<int> ids, i1Sizes, i0Sizes;
        connect(&b, &Body::finishBatchExec, &b, [&](int id) {
            ids << id;
            i1Sizes << b.i1Images.size();
            i0Sizes << b.i0Images.size();
        });
        // The first file is the mode word, never loaded.
        QVERIFY(ts::runScript(c, QString("load_I1_files %1 %2\n").arg(files[0], files[1])));
        QCOMPARE(ids, QList<int>({load_I1_files}));
        QCOMPARE(i1Sizes, QList<int>({1}));

        ids.clear(), i1Sizes.clear(), i0Sizes.clear();
        QVERIFY(ts::runScript(c, QString("load_I1_files new %1 %2 %3\n"
                               "load_I1_files NEW\n"
                               "load_I0_files add %1 %2\n")
                           .arg(files[0], files[1], files[2])));
        QCOMPARE(ids, QList<int>({load_I1_files, load_I1_files, load_I0_files}));
        QCOMPARE(i1Sizes, QList<int>({3, 3, 3}));  // no file: nothing cleared
        QCOMPARE(i0Sizes, QList<int>({0, 0, 2}));

        // The directory is joined to each name as written.
        const QString dir = tmp.filePath("stack");
        ids.clear(), i1Sizes.clear(), i0Sizes.clear();
        QVERIFY(ts::runScript(c, QString("load_I0_files_of_pattern NEW %1 *.tif\n"
                               "load_I0_files_of_pattern NEW %1/ *.tif *.tiff\n"
                               "load_I1_files_of_pattern NEW %1/ *.none\n")
                           .arg(dir)));
        QCOMPARE(ids, QList<int>({load_I0_files, load_I0_files, load_I1_files}));
        QCOMPARE(i0Sizes, QList<int>({0, 3, 3}));
        QCOMPARE(i1Sizes, QList<int>({3, 3, 0}));

        ids.clear(), i1Sizes.clear(), i0Sizes.clear();
        QVERIFY(ts::runScript(c, "seek_image 1\nclear_I0_files\nclear_I1_files\n"));
        QCOMPARE(ids, QList<int>({seek_image, clear_I0_files, clear_I1_files}));
        QCOMPARE(i0Sizes, QList<int>({3, 0, 0}));
        QCOMPARE(i1Sizes, QList<int>({0, 0, 0}));
    }

    void savesAndViewAnswer()
    {
        Body b;
        BatchCtrl* c = BatchOnBody::of(b)->batchCtrl();
        QSignalSpy done(&b, &Body::finishBatchExec);
        QVERIFY(ts::runScript(c, QString("load_I1_files new %1 %2\n").arg(files[0], files[1])));
        const QString img = tmp.filePath("view.png");
        done.clear();
        QVERIFY(ts::runScript(c, QString("save_image\n"
                               "save_image %1\n"
                               "save_data %2\n"
                               "move_position 2.7 3\n"
                               "cbar_set_all\n"
                               "scale_reset\n"
                               "zoom_in\n"
                               "set_i1_dark_area\n"
                               "clear_i1_dark_area\n")
                           .arg(img, tmp.filePath("nodir/x.tif"))));
        QCOMPARE(ts::idsOf(done), QList<int>({save_image, save_image, save_data, move_position, cbar_set_all,
                                          scale_reset, zoom_in, set_i1_dark_area, clear_i1_dark_area}));
        QVERIFY(QFileInfo(img).size() > 0);
        QVERIFY(!ts::logOf(c).contains("Err:"));

        done.clear();
        QVERIFY(ts::runScript(c, QString("cbar_set_range 2 1e3\n"
                               "select_region 6 5 2 1\n"
                               "zoom_in\n"
                               "specpane_normalize 1\n"
                               "specpane_enerugy_correction 2\n"
                               "save_spectra %1\n"
                               "save_data_as_tiff %2\n")
                           .arg(tmp.filePath("spec.dat"), tmp.filePath("data.tif"))));
        QCOMPARE(ts::idsOf(done), QList<int>({cbar_set_range, select_region, zoom_in, specpane_normalize,
                                          specpane_enerugy_correction, save_spectra, save_data_as_tiff}));
        QCOMPARE(b.CBar->valueMin, 2.0);
        QCOMPARE(b.CBar->valueMax, 1000.0);
        QVERIFY(b.dispA->areaValid);
        QCOMPARE(b.dispA->selectedArea, QRectF(2, 1, 4, 4));
        QCOMPARE(b.dispA->viewWindow, QRectF(2, 1, 4, 4));
        QVERIFY(b.specWindow->ui.Normalized->isChecked());
        QVERIFY(!b.specWindow->ui.ECorrect->isChecked());
        QVERIFY(!ts::logOf(c).contains("Err:"));
    }

    void noActionAndComments()
    {
        Body b;
        BatchCtrl* c = BatchOnBody::of(b)->batchCtrl();
        QSignalSpy done(&b, &Body::finishBatchExec);
        b.VWidth->setText("5");
        QVERIFY(ts::runScript(c, ":rem_start\nset_band_h 9\ncalib_exec\n:rem_end\n"
                       "analyzer_select_main_mode_sumUp\n"
                       // No analysis panel here: the run word has nothing to start.
                       "analyzer_exec_ra\n"
                       "set_band_h 8 # narrow\n"));
        QCOMPARE(ts::idsOf(done), QList<int>({not_ex_cmd, not_ex_cmd, not_ex_cmd, not_ex_cmd, set_band_h}));
        QCOMPARE(b.VWidth->text(), QString("8"));
        const QString log = ts::logOf(c);
        QVERIFY(log.contains("Err: analyzer_select_main_mode_sumUp\n"));
        QCOMPARE(log.count("Err:"), 2);
        QVERIFY(!log.contains("Err: set_band_h"));
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
};

QTEST_MAIN(TstCmdExecutor)
#include "tst_cmdexecutor.moc"
