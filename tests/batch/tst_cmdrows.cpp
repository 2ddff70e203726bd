// The executor's commands on a real main window, one row per command: the
// ids it answers and what it changed (and, for the I1 / I0 pairs, that the
// other side was left alone); the I0-side dark area and the total-I0 file as
// they reach the cursor spectrum; the map export with and without a fixed
// scale; the image saves.
#include <QAbstractButton>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

#include "batch/BatchCmd.h"
#include "batch/BatchCtrl.h"
#include "batch/BatchOnBody.h"
#include "core/Analyzed2DRes.h"
#include "core/Elements.h"
#include "core/Globals.h"
#include "core/PhysConst.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/EOFSetup.h"
#include "mainwindow/SafeSave.h"
#include "mainwindow/SaveDataCfg.h"
#include "mainwindow/SelectDataFiles.h"
#include "widgets/XafsFileSelect.h"

#include "support/Batch.h"
#include "support/BodyStack.h"
#include "support/Files.h"

namespace {

const int N = 6;
// Columns and rows 0 .. 2 are shaded: only the detector offset reaches them.
bool shaded(int c, int r) { return c < 3 && r < 3; }
double mu(int k) { return 0.2 + 0.1 * k; }
double i1Offset(int k) { return 50 + k; }
double i0Offset(int k) { return 300 + 10 * k; }
double i1At(int k, int c, int r) { return (shaded(c, r) ? 0 : 1000 * std::exp(-mu(k))) + i1Offset(k); }
double i0At(int k, int c, int r) { return (shaded(c, r) ? 0 : 4000) + i0Offset(k); }

// A widget state as text: a field's text, a button's check, a list's index.
// "I1:Name" and "I0:Name" look in that side's selector and its panels.
QString probe(Body& b, const QString& key)
{
    QObject* w = nullptr;
    const QString side = key.section(':', 0, 0), name = key.section(':', 1);
    if (side == "B") {
        w = b.findChild<QObject*>(name);
    } else {
        SelectDataFiles* s = side == "I1" ? b.SelectI1Files : b.SelectI0Files;
        for (QObject* o : {static_cast<QObject*>(s), static_cast<QObject*>(s->eofSetup()),
                           static_cast<QObject*>(&s->additionalSetup())})
            if (!w) w = o->findChild<QObject*>(name);
    }
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* a = qobject_cast<QAbstractButton*>(w)) return a->isChecked() ? "1" : "0";
    if (auto* c = qobject_cast<QComboBox*>(w)) return QString::number(c->currentIndex());
    return "<no " + key + ">";
}

}  // namespace

class TstCmdRows : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    std::unique_ptr<Body> body;
    BatchCtrl* ctrl = nullptr;
    Analyzed2DRes map{"rows map"};

    bool run(const QString& script, QList<int>* ids = nullptr)
    {
        QSignalSpy done(body.get(), &Body::finishBatchExec);
        const bool ended = ts::runScript(ctrl, script);
        if (ids) *ids = ts::idsOf(done);
        return ended && !ts::logOf(ctrl).contains("Err:");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(ts::initBatchRun(tmp));
        installBatchOnBody();
        body = std::make_unique<Body>();
        ctrl = BatchOnBody::of(*body)->batchCtrl();
        ts::StackSpec s;
        s.n = N;
        s.i1 = i1At;
        s.i0 = i0At;
        ts::loadStack(*body, s);
        body->UseI0->setChecked(true);
        Body::hooks().selectedMap = [this](const Body&) { return &map; };
    }

    void cleanupTestCase()
    {
        Body::hooks().selectedMap = nullptr;
        QPointer<BatchCtrl> c = ctrl;
        body.reset();
        QVERIFY(c.isNull());
    }

    void settings_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("untouched");  // the other side's field
        // A script of several lines: "id" is the last line's answer.
        auto row = [](const char* script, int id, const char* field, const QString& value, const char* other) {
            QTest::newRow(script) << QString(script) << id << QString(field) << value << QString(other);
        };
        row("Use_I0", Use_I0, "B:UseI0", "0", "B:FluoType");  // a missing flag unchecks
        row("USE_I0 1", Use_I0, "B:UseI0", "1", "B:FluoType");
        row("set_fluo_type 1", set_fluo_type, "B:FluoType", "1", "B:UseI0");
        row("set_fluo_type 1.0", set_fluo_type, "B:FluoType", "0", "B:UseI0");  // only the integer 1 checks
        row("cut_f_i1 3", cut_f_i1, "I1:CutFirst", "3", "I0:CutFirst");
        row("cut_f_i1 2.5", cut_f_i1, "I1:CutFirst", "0", "I0:CutFirst");
        row("skip_i1 3", skip_i1, "I1:Skip", "3", "I0:Skip");
        row("set_band_w 3\nset_band_w", set_band_w, "B:HWidth", "0", "B:VWidth");
        row("set_band_h 1", set_band_h, "B:VWidth", "1", "B:HWidth");
        row("eng_calc_base_i1 8.95e3", eng_calc_base_i1, "I1:Start", "8950", "I0:Start");
        row("eng_by_name_factor_i0 0.000012345678", eng_by_name_factor_i0, "I0:Factor", "1.23457e-05",
            "I1:Factor");
        row("set_i1_energy_pattern _([0-9]+)_", set_i1_energy_pattern, "I1:Pattern", "_([0-9]+)_", "I0:Pattern");
        row("eng_by_name_reg_exp_i0 e([0-9]+)", eng_by_name_reg_exp_i0, "I0:Pattern", "e([0-9]+)", "I1:Pattern");
        row("show_latest_i1 1", show_latest_i1, "I1:ShowLatest", "1", "I0:ShowLatest");
        row("show_latest_i0 1\nshow_latest_i0 yes", show_latest_i0, "I0:ShowLatest", "0", "I1:ShowLatest");
        row("eng_calc_disp_unit_i1 1\neng_calc_disp_unit_i1 99", eng_calc_disp_unit_i1, "I1:DisplayUnit", "1",
            "I0:DisplayUnit");
        row("eng_calc_num_i0 5", eng_calc_num_i0, "I0:NumOfPoints", "5", "I1:NumOfPoints");
        row("Suggesting_Pre_End_eV -30", Suggesting_Pre_End_eV, "B:DPreE", "-30", "B:DPostS");
        row("select_qs_fitted_eShift 1", select_qs_fitted_eShift, "B:QuadSurfFittedEShift", "1", "B:FluoType");
        // A checked radio button of its set is only unchecked by another.
        row("eng_by_calc_i1 1\neng_by_calc_i1 0", eng_by_calc_i1, "I1:FromFileNum", "1", "I0:FromFileNum");
        row("eng_by_name_i1", eng_by_name_i1, "I1:FromFileName", "1", "I0:FromFileName");
        row("select_disp_image_i0\nselect_disp_image 7", select_disp_image, "B:ShowI0", "1", "B:UseI0");
        row("select_disp_image 0", select_disp_image, "B:ShowData", "1", "B:UseI0");
        // The edge energy follows element and edge; the symbol's case is exact.
        const QString k = QString::number(edgeEnergyOf(29, 0), 'g', 6);
        const QString l1 = QString::number(edgeEnergyOf(29, 3), 'g', 6);
        row("Suggesting_Edge 0\nSuggesting_Elm Cu", Suggesting_Elm, "B:SuggestingEeV", k, "B:DPreE");
        row("Suggesting_Edge 3", Suggesting_Edge, "B:SuggestingEeV", l1, "B:DPreE");
        row("Suggesting_Elm cu", Suggesting_Elm, "B:SuggestingEeV", l1, "B:DPreE");
        row("Suggesting_Edge_eV 1234.5", Suggesting_Edge_eV, "B:SuggestingEeV", "1234.5", "B:DPreE");
        row("set_i0_energy_pattern e([0-9]+)", set_i0_energy_pattern, "I0:Pattern", "e([0-9]+)", "I1:Pattern");
        row("eng_by_name_reg_exp_i1 _([0-9.]+)eV", eng_by_name_reg_exp_i1, "I1:Pattern", "_([0-9.]+)eV",
            "I0:Pattern");
        row("cut_f_i0 4", cut_f_i0, "I0:CutFirst", "4", "I1:CutFirst");
        row("cut_l_i1 5", cut_l_i1, "I1:CutLast", "5", "I0:CutLast");
        row("skip_i0 2", skip_i0, "I0:Skip", "2", "I1:Skip");
        row("eng_by_name_i0", eng_by_name_i0, "I0:FromFileName", "1", "I1:FromFileName");
        row("eng_by_name_factor_i1 0.5", eng_by_name_factor_i1, "I1:Factor", "0.5", "I0:Factor");
        row("eng_by_calc_i0 1", eng_by_calc_i0, "I0:FromFileNum", "1", "I1:FromFileNum");
        row("eng_calc_base_i0 7000", eng_calc_base_i0, "I0:Start", "7000", "I1:Start");
        row("eng_calc_delta_i0 2.5", eng_calc_delta_i0, "I0:Delta", "2.5", "I1:Delta");
        row("eng_calc_delta_i1 1.5", eng_calc_delta_i1, "I1:Delta", "1.5", "I0:Delta");
        row("eng_calc_end_i0 7400", eng_calc_end_i0, "I0:End", "7400", "I1:End");
        row("eng_calc_end_i1 7300", eng_calc_end_i1, "I1:End", "7300", "I0:End");
        row("eng_calc_num_i1 41", eng_calc_num_i1, "I1:NumOfPoints", "41", "I0:NumOfPoints");
        row("eng_calc_even_in_deg_i0 1", eng_calc_even_in_deg_i0, "I0:EvenInAngle", "1", "I1:EvenInAngle");
        row("eng_calc_even_in_deg_i1 1", eng_calc_even_in_deg_i1, "I1:EvenInAngle", "1", "I0:EvenInAngle");
        row("eng_calc_even_in_eng_i0 1", eng_calc_even_in_eng_i0, "I0:EvenInEnergy", "1", "I1:EvenInEnergy");
        row("eng_calc_even_in_eng_i1 1", eng_calc_even_in_eng_i1, "I1:EvenInEnergy", "1", "I0:EvenInEnergy");
        row("eng_calc_disp_unit_i0 1", eng_calc_disp_unit_i0, "I0:DisplayUnit", "1", "I1:DisplayUnit");
        row("eng_by_ref_i0 none.dat", eng_by_ref_i0, "I0:FromRefFile", "1", "I1:FromRefFile");
        row("eng_by_ref_i1 none.dat", eng_by_ref_i1, "I1:FromRefFile", "1", "I0:FromRefFile");
        row("Suggest_Elm 1", Suggest_Elm, "B:UseSuggestElm", "1", "B:FluoType");
        row("Suggesting_Post_Start_eV 55", Suggesting_Post_Start_eV, "B:DPostS", "55", "B:DPreE");
        row("select_disp_image_i1", select_disp_image_i1, "B:ShowData", "1", "B:UseI0");
        row("select_disp_image_eShift", select_disp_image_eShift, "B:ShowShiftMap", "1", "B:UseI0");
        row("select_disp_image_analyzed", select_disp_image_analyzed, "B:ShowResAnalysis", "1", "B:UseI0");
    }
    void settings()
    {
        QFETCH(QString, script);
        QFETCH(int, id);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, untouched);
        const QString before = probe(*body, untouched);
        QVERIFY(!before.startsWith("<no"));
        QList<int> ids;
        QVERIFY(run(script + "\n", &ids));
        QCOMPARE(ids.size(), script.count('\n') + 1);
        QCOMPARE(ids.last(), id);
        QCOMPARE(probe(*body, field), value);
        QCOMPARE(probe(*body, untouched), before);
    }

    // The I0 dark area is measured on the I0 stack and taken off I0 only.
    void darkAreaOnTheI0Side()
    {
        QList<int> ids;
        const QString i1Label = body->SelectI1Files->additionalSetup().DarkArea->text();
        QVERIFY(run("select_region 0 0 2 2\nset_i0_dark_area\n", &ids));
        QCOMPARE(ids, QList<int>({select_region, set_i0_dark_area}));
        QVERIFY(body->i0DarkAreaSet);
        QVERIFY(!body->i1DarkAreaSet);
        QCOMPARE(body->i0DarkAreaValues.size(), N);
        for (int k = 0; k < N; ++k) QCOMPARE(body->i0DarkAreaValues[k], i0Offset(k));
        QCOMPARE(body->SelectI0Files->additionalSetup().DarkArea->text(), QString("(0,0)-(2,2)"));
        QCOMPARE(body->SelectI1Files->additionalSetup().DarkArea->text(), i1Label);

        const Spectrum s = body->makeXafsSpectrum(8, 5, 0, 0);
        QCOMPARE(s.size(), N);
        for (int k = 0; k < N; ++k)
            QVERIFY(qAbs(s.points[k].y() - std::log(4000 / i1At(k, 8, 5))) < 1e-6);

        QVERIFY(run("clear_i0_dark_area\n", &ids));
        QCOMPARE(ids, QList<int>({clear_i0_dark_area}));
        QVERIFY(!body->i0DarkAreaSet);
        const Spectrum plain = body->makeXafsSpectrum(8, 5, 0, 0);
        for (int k = 0; k < N; ++k)
            QVERIFY(qAbs(plain.points[k].y() - std::log(i0At(k, 8, 5) / i1At(k, 8, 5))) < 1e-6);
    }

    // A total-I0 angle file replaces the I0 images, point by point.
    void totalI0File()
    {
        const QString path = tmp.filePath("total.dat");
        QString text = "9809     test\nD= 3.13551\nOffset 0 0 0 0\n";
        for (int k = 0; k < N; ++k)
            text += QString("%1 %2 0 %3 %4\n").arg(k).arg(14.0 - 0.1 * k).arg(7000 + 100 * k).arg(900);
        QVERIFY(ts::writeText(path, text));
        body->TotalI0ofI1XAFS->load(path);
        QVERIFY(body->totalI0OfI1Supplied);
        const Spectrum s = body->makeXafsSpectrum(8, 5, 0, 0);
        for (int k = 0; k < N; ++k)
            QVERIFY(qAbs(s.points[k].y() - std::log((7000 + 100 * k) / i1At(k, 8, 5))) < 1e-6);
        body->TotalI0ofI1XAFS->clear();
        QVERIFY(!body->totalI0OfI1Supplied);
    }

    void mapExport_data()
    {
        QTest::addColumn<bool>("fixed");
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::newRow("fixed 0 .. 10") << true << 0.0 << 10.0;
        QTest::newRow("fixed 4 .. 6") << true << 4.0 << 6.0;
        QTest::newRow("automatic: the data range") << false << 0.0 << 10.0;
    }
    void mapExport()
    {
        QFETCH(bool, fixed);
        QFETCH(double, lo);
        QFETCH(double, hi);
        AnalyzeCond g;
        g.set(4, 3, 0, 0, QRectF(0, 0, 4, 3), -1, -1);
        map.setCond(g);
        auto value = [](int x, int y) { return -3.0 + 2.5 * x + 4.0 * y; };  // -3 .. 12.5
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) map.setData(x, y, 0, 0, value(x, y));
        body->saveDataCfg->TiffFixedScale->setChecked(fixed);
        body->saveDataCfg->TiffScaleMin->setText(QString::number(lo));
        body->saveDataCfg->TiffScaleMax->setText(QString::number(hi));
        body->saveDataCfg->TiffAsAnalyzed->setChecked(false);
        const QString name = tmp.filePath(QString("map%1%2.tif").arg(lo).arg(hi));
        QList<int> ids;
        QVERIFY(run("save_data_as_tiff " + name + "\n", &ids));
        QCOMPARE(ids, QList<int>({save_data_as_tiff}));
        TiffData t;
        QVERIFY(t.load(SafeSave::numberedName(name, 0, "tif")));
        QCOMPARE(int(t.width), 4);
        QCOMPARE(int(t.height), 3);
        const double a = fixed ? lo : -3.0, z = fixed ? hi : 12.5;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) {
                const double f = qBound(0.0, (value(x, y) - a) / (z - a), 1.0);
                QCOMPARE(t.pixelValue(x, y), std::trunc(f * 65535));
            }
    }

    void imageSaves()
    {
        QList<int> ids;
        const QString view = tmp.filePath("view.png"), all = tmp.filePath("all.png");
        body->referenceMaps = {&map, nullptr};
        map.genImg();
        QVERIFY(run(QString("save_image_w_num %1 7\nsave_all_images %2\n").arg(view, all), &ids));
        QCOMPARE(ids, QList<int>({save_image_w_num, save_all_images}));
        QVERIFY(!QImage(fileNameWithTag(view, "7")).isNull());
        QVERIFY(!QImage(fileNameWithTag(fileNameWithTag(view, "7"), "cBar")).isNull());
        QCOMPARE(QImage(fileNameWithTag(all, "0-0")).size(), QSize(4, 3));
        QVERIFY(!QFile::exists(fileNameWithTag(all, "0-1")));
        body->referenceMaps.clear();
    }
};

QTEST_MAIN(TstCmdRows)
#include "tst_cmdrows.moc"
