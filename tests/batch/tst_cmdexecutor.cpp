// Batch commands run on a real main window: each acts on the widgets and
// stacks as a user would, answers with its id, loads answer when the loader
// is done, and words without an action still answer and show in the log.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

#include "batch/BatchCmd.h"
#include "batch/BatchCtrl.h"
#include "batch/BatchOnBody.h"
#include "core/Elements.h"
#include "core/Globals.h"
#include "core/TiffWriter.h"
#include "mainwindow/Body.h"
#include "mainwindow/EOFSetup.h"
#include "mainwindow/SelectDataFiles.h"
#include "widgets/ColorBar.h"
#include "widgets/ImgDispA.h"
#include "widgets/SpecPane.h"

namespace {

// A 16-bit image through the program's own writer; pixel (x, y) reads base + x + y.
bool writeTiff(const QString& path, int w, int h, int base)
{
    std::vector<uint16_t> samples(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) samples[size_t(y) * size_t(w) + size_t(x)] = uint16_t(base + x + y);
    return TiffWriter().write16(path, uint32_t(w), h, samples.data());
}

QString logOf(const BatchCtrl* c)
{
    return c->ui.BatchLogs->toPlainText();
}

// Runs a script through the batch window and waits for its end.
bool run(BatchCtrl* c, const QString& script, int ms = 20000)
{
    c->clearLog();
    c->ui.BatchCmds->setPlainText(script);
    c->execBatchSlot();
    QElapsedTimer t;
    t.start();
    while (!logOf(c).contains("\nend")) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(5);
    }
    return true;
}

QList<int> idsOf(const QSignalSpy& s)
{
    QList<int> ids;
    for (const QList<QVariant>& a : s) ids << a.at(0).toInt();
    return ids;
}

}  // namespace

class TstCmdExecutor : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    QStringList files;

private slots:
    void initTestCase()
    {
        initGlobals();
        initBatchCmdTables();
        QVERIFY(tmp.isValid());
        BatchRoot = tmp.path();
        installBatchOnBody();
        QVERIFY(QDir(tmp.path()).mkdir("stack"));
        for (int i = 0; i < 3; ++i) {
            const QString p = tmp.filePath(QString("stack/img_%1.tif").arg(i));
            QVERIFY(writeTiff(p, 8, 6, 100 + 10 * i));
            files << p;
        }
    }

    void fieldsAndFlags()
    {
        Body b;
        BatchCtrl* c = BatchOnBody::of(b)->batchCtrl();
        EOFSetup* e1 = b.SelectI1Files->eofSetup();
        EOFSetup* e0 = b.SelectI0Files->eofSetup();
        QSignalSpy done(&b, &Body::finishBatchExec);
        b.UseI0->setChecked(false);
        const int unit = e1->DisplayUnit->currentIndex();
        QVERIFY(run(c, "USE_I0 1\n"
                       "cut_f_i1 2.5\n"
                       "cut_l_i0 7\n"
                       "skip_i1 3\n"
                       "set_band_w\n"
                       "set_band_h 12\n"
                       "eng_calc_base_i1 8.95e3\n"
                       "eng_by_name_factor_i0 0.000012345678\n"
                       "set_i1_energy_pattern _([0-9]+)_\n"
                       "eng_by_name_reg_exp_i0 e([0-9]+)\n"
                       "show_latest_i1 1\n"
                       "show_latest_i0 yes\n"
                       "eng_calc_disp_unit_i1 99\n"
                       "set_fluo_type 1\n"
                       "Suggesting_Pre_End_eV -30\n"
                       "select_qs_fitted_eShift 1\n"));
        QCOMPARE(idsOf(done), QList<int>({Use_I0, cut_f_i1, cut_l_i0, skip_i1, set_band_w, set_band_h,
                                          eng_calc_base_i1, eng_by_name_factor_i0, set_i1_energy_pattern,
                                          eng_by_name_reg_exp_i0, show_latest_i1, show_latest_i0,
                                          eng_calc_disp_unit_i1, set_fluo_type, Suggesting_Pre_End_eV,
                                          select_qs_fitted_eShift}));
        QVERIFY(!logOf(c).contains("Err:"));
        QVERIFY(b.UseI0->isChecked());
        QCOMPARE(b.SelectI1Files->CutFirst->text(), QString("0"));  // not an integer
        QCOMPARE(b.SelectI0Files->CutLast->text(), QString("7"));
        QCOMPARE(b.SelectI1Files->Skip->text(), QString("3"));
        QCOMPARE(b.HWidth->text(), QString("0"));
        QCOMPARE(b.VWidth->text(), QString("12"));
        QCOMPARE(e1->Start->text(), QString("8950"));
        QCOMPARE(e0->Factor->text(), QString("1.23457e-05"));
        QCOMPARE(e1->Pattern->text(), QString("_([0-9]+)_"));
        QCOMPARE(e0->Pattern->text(), QString("e([0-9]+)"));
        QVERIFY(b.SelectI1Files->additionalSetup().ShowLatest->isChecked());
        QVERIFY(!b.SelectI0Files->additionalSetup().ShowLatest->isChecked());
        QCOMPARE(e1->DisplayUnit->currentIndex(), unit);
        QVERIFY(b.FluoType->isChecked());
        QCOMPARE(b.DPreE->text(), QString("-30"));
        QVERIFY(b.QuadSurfFittedEShift->isChecked());

        // A missing flag unchecks; only the integer 1 checks.
        done.clear();
        QVERIFY(run(c, "Use_I0\nset_fluo_type 1.0\neng_calc_num_i0 5\n"));
        QCOMPARE(idsOf(done), QList<int>({Use_I0, set_fluo_type, eng_calc_num_i0}));
        QVERIFY(!b.UseI0->isChecked());
        QVERIFY(!b.FluoType->isChecked());
        QCOMPARE(e0->NumOfPoints->text(), QString("5"));
    }

    void radioButtonsAndEdges()
    {
        Body b;
        BatchCtrl* c = BatchOnBody::of(b)->batchCtrl();
        EOFSetup* e1 = b.SelectI1Files->eofSetup();
        QSignalSpy done(&b, &Body::finishBatchExec);
        QVERIFY(run(c, "eng_by_calc_i1 1\neng_by_calc_i1 0\nselect_disp_image_i0\nselect_disp_image 7\n"));
        QCOMPARE(idsOf(done), QList<int>({eng_by_calc_i1, eng_by_calc_i1, select_disp_image_i0,
                                          select_disp_image}));
        // A checked radio button of its set is only unchecked by another.
        QVERIFY(e1->FromFileNum->isChecked());
        QVERIFY(b.ShowI0->isChecked());
        QVERIFY(run(c, "eng_by_name_i1\nselect_disp_image 0\n"));
        QVERIFY(e1->FromFileName->isChecked());
        QVERIFY(!e1->FromFileNum->isChecked());
        QVERIFY(b.ShowData->isChecked());

        // Edge energy follows the element and edge, exact letter case.
        done.clear();
        QVERIFY(run(c, "Suggesting_Edge 0\n"));
        b.SuggestingEeV->setText("keep");
        QVERIFY(run(c, "Suggesting_Elm cu\n"));
        QCOMPARE(b.SuggestingEeV->text(), QString("keep"));
        QVERIFY(run(c, "Suggesting_Elm Cu\n"));
        QCOMPARE(b.SuggestingEeV->text(), QString::number(edgeEnergyOf(29, 0), 'g', 6));
        QVERIFY(run(c, "Suggesting_Edge 3\n"));
        QCOMPARE(b.SuggestingEeV->text(), QString::number(edgeEnergyOf(29, 3), 'g', 6));
        QVERIFY(edgeEnergyOf(29, 0) > 8000 && edgeEnergyOf(29, 0) < 9100);
        QVERIFY(run(c, "Suggesting_Edge_eV 1234.5\n"));
        QCOMPARE(b.SuggestingEeV->text(), QString("1234.5"));
        QCOMPARE(idsOf(done), QList<int>({Suggesting_Edge, Suggesting_Elm, Suggesting_Elm, Suggesting_Edge,
                                          Suggesting_Edge_eV}));
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
        QVERIFY(run(c, QString("load_I1_files %1 %2\n").arg(files[0], files[1])));
        QCOMPARE(ids, QList<int>({load_I1_files}));
        QCOMPARE(i1Sizes, QList<int>({1}));

        ids.clear(), i1Sizes.clear(), i0Sizes.clear();
        QVERIFY(run(c, QString("load_I1_files new %1 %2 %3\n"
                               "load_I1_files NEW\n"
                               "load_I0_files add %1 %2\n")
                           .arg(files[0], files[1], files[2])));
        QCOMPARE(ids, QList<int>({load_I1_files, load_I1_files, load_I0_files}));
        QCOMPARE(i1Sizes, QList<int>({3, 3, 3}));  // no file: nothing cleared
        QCOMPARE(i0Sizes, QList<int>({0, 0, 2}));

        // The directory is joined to each name as written.
        const QString dir = tmp.filePath("stack");
        ids.clear(), i1Sizes.clear(), i0Sizes.clear();
        QVERIFY(run(c, QString("load_I0_files_of_pattern NEW %1 *.tif\n"
                               "load_I0_files_of_pattern NEW %1/ *.tif *.tiff\n"
                               "load_I1_files_of_pattern NEW %1/ *.none\n")
                           .arg(dir)));
        QCOMPARE(ids, QList<int>({load_I0_files, load_I0_files, load_I1_files}));
        QCOMPARE(i0Sizes, QList<int>({0, 3, 3}));
        QCOMPARE(i1Sizes, QList<int>({3, 3, 0}));

        ids.clear(), i1Sizes.clear(), i0Sizes.clear();
        QVERIFY(run(c, "seek_image 1\nclear_I0_files\nclear_I1_files\n"));
        QCOMPARE(ids, QList<int>({seek_image, clear_I0_files, clear_I1_files}));
        QCOMPARE(i0Sizes, QList<int>({3, 0, 0}));
        QCOMPARE(i1Sizes, QList<int>({0, 0, 0}));
    }

    void savesAndViewAnswer()
    {
        Body b;
        BatchCtrl* c = BatchOnBody::of(b)->batchCtrl();
        QSignalSpy done(&b, &Body::finishBatchExec);
        QVERIFY(run(c, QString("load_I1_files new %1 %2\n").arg(files[0], files[1])));
        const QString img = tmp.filePath("view.png");
        done.clear();
        QVERIFY(run(c, QString("save_image\n"
                               "save_image %1\n"
                               "save_data %2\n"
                               "move_position 2.7 3\n"
                               "cbar_set_all\n"
                               "scale_reset\n"
                               "zoom_in\n"
                               "set_i1_dark_area\n"
                               "clear_i1_dark_area\n")
                           .arg(img, tmp.filePath("nodir/x.tif"))));
        QCOMPARE(idsOf(done), QList<int>({save_image, save_image, save_data, move_position, cbar_set_all,
                                          scale_reset, zoom_in, set_i1_dark_area, clear_i1_dark_area}));
        QVERIFY(QFileInfo(img).size() > 0);
        QVERIFY(!logOf(c).contains("Err:"));

        done.clear();
        QVERIFY(run(c, QString("cbar_set_range 2 1e3\n"
                               "select_region 6 5 2 1\n"
                               "zoom_in\n"
                               "specpane_normalize 1\n"
                               "specpane_enerugy_correction 2\n"
                               "save_spectra %1\n"
                               "save_data_as_tiff %2\n")
                           .arg(tmp.filePath("spec.dat"), tmp.filePath("data.tif"))));
        QCOMPARE(idsOf(done), QList<int>({cbar_set_range, select_region, zoom_in, specpane_normalize,
                                          specpane_enerugy_correction, save_spectra, save_data_as_tiff}));
        QCOMPARE(b.CBar->valueMin, 2.0);
        QCOMPARE(b.CBar->valueMax, 1000.0);
        QVERIFY(b.dispA->areaValid);
        QCOMPARE(b.dispA->selectedArea, QRectF(2, 1, 4, 4));
        QCOMPARE(b.dispA->viewWindow, QRectF(2, 1, 4, 4));
        QVERIFY(b.specWindow->ui.Normalized->isChecked());
        QVERIFY(!b.specWindow->ui.ECorrect->isChecked());
        QVERIFY(!logOf(c).contains("Err:"));
    }

    void noActionAndComments()
    {
        Body b;
        BatchCtrl* c = BatchOnBody::of(b)->batchCtrl();
        QSignalSpy done(&b, &Body::finishBatchExec);
        b.VWidth->setText("5");
        QVERIFY(run(c, ":rem_start\nset_band_h 9\ncalib_exec\n:rem_end\n"
                       "analyzer_select_main_mode_sumUp\n"
                       // No analysis panel here: the run word has nothing to start.
                       "analyzer_exec_ra\n"
                       "set_band_h 8 # narrow\n"));
        QCOMPARE(idsOf(done), QList<int>({not_ex_cmd, not_ex_cmd, not_ex_cmd, not_ex_cmd, set_band_h}));
        QCOMPARE(b.VWidth->text(), QString("8"));
        const QString log = logOf(c);
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
        QCOMPARE(idsOf(done), QList<int>({set_band_w}));
        QCOMPARE(b.HWidth->text(), QString("3"));
    }
};

QTEST_MAIN(TstCmdExecutor)
#include "tst_cmdexecutor.moc"
