#include <QSet>
#include <QtTest>

#include "batch/BatchCmd.h"
#include "batch/CmdLine.h"

namespace {

CmdLine lineOf(const QString& text)
{
    CmdLine c;
    c.line = text;
    c.setLine(text);
    return c;
}

CmdLine wordOnly(const QString& word)
{
    CmdLine c;
    c.word = word;
    return c;
}

// Alternates the case of every letter, so no word stays as stored.
QString zigzag(const QString& w)
{
    QString out;
    for (int i = 0; i < w.size(); ++i)
        out += (i % 2) ? w.at(i).toUpper() : w.at(i).toLower();
    return out;
}

}  // namespace

class TstBatchVocab : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initBatchCmdTables(); }

    void everyWordRoundTrips()
    {
        QSet<int> ids;
        QSet<QString> upWords;
        for (const BatchCmdEntry& e : exCmdList) {
            QVERIFY2(e.id >= 0 && e.id <= 158, qPrintable(e.word));
            ids.insert(e.id);
            upWords.insert(e.word.toUpper());
            const EX_CMD_ID id = static_cast<EX_CMD_ID>(e.id);
            QCOMPARE(exCmdName(id), e.word);
            QCOMPARE(int(exCmdId(wordOnly(e.word))), e.id);
            QCOMPARE(int(exCmdId(wordOnly(e.word.toUpper()))), e.id);
            QCOMPARE(int(exCmdId(wordOnly(zigzag(e.word)))), e.id);
            QCOMPARE(isExCmd(wordOnly(e.word)), e.id != 158);
            QCOMPARE(int(ctrlCmdId(wordOnly(e.word))), 7);
        }
        QCOMPARE(ids.size(), 159);
        QCOMPARE(upWords.size(), 159);
    }

    void everyIdHasItsWord()
    {
        // The whole vocabulary in id order, written out apart from the table so
        // a slip in any one word or id shows.
        const QStringList words = {
            "clear_I1_files", "clear_I0_files", "set_i1_energy_pattern", "set_i0_energy_pattern",
            "load_I1_files", "load_I0_files", "load_I1_files_of_pattern", "load_I0_files_of_pattern", "Use_I0",
            "cut_f_i0", "cut_f_i1", "cut_l_i0", "cut_l_i1", "skip_i0", "skip_i1", "show_latest_i0",
            "show_latest_i1", "eng_by_name_i0", "eng_by_name_i1", "eng_by_name_reg_exp_i0",
            "eng_by_name_reg_exp_i1", "eng_by_name_factor_i0", "eng_by_name_factor_i1", "eng_by_calc_i0",
            "eng_by_calc_i1", "eng_calc_base_i0", "eng_calc_base_i1", "eng_calc_delta_i0", "eng_calc_delta_i1",
            "eng_calc_end_i0", "eng_calc_end_i1", "eng_calc_num_i0", "eng_calc_num_i1",
            "eng_calc_even_in_eng_i0", "eng_calc_even_in_eng_i1", "eng_calc_even_in_deg_i0",
            "eng_calc_even_in_deg_i1", "eng_calc_disp_unit_i0", "eng_calc_disp_unit_i1", "eng_by_ref_i0",
            "eng_by_ref_i1", "set_fluo_type", "Suggest_Elm", "Suggesting_Elm", "Suggesting_Edge",
            "Suggesting_Edge_eV", "Suggesting_Pre_End_eV", "Suggesting_Post_Start_eV", "set_i0_dark_area",
            "set_i1_dark_area", "clear_i0_dark_area", "clear_i1_dark_area", "set_band_w", "set_band_h",
            "select_disp_image", "select_disp_image_i1", "select_disp_image_i0", "select_disp_image_eShift",
            "select_disp_image_analyzed", "seek_image", "save_image", "save_image_w_num", "save_all_images",
            "save_data", "save_data_as_tiff", "move_position", "save_spectra", "cbar_set_range", "cbar_set_all",
            "select_region", "scale_reset", "zoom_in", "select_qs_fitted_eShift", "specpane_normalize",
            "specpane_enerugy_correction", "analyzer_show_window", "analyzer_select_analysis_mode",
            "analyzer_main_mode", "analyzer_sub_mode", "analyzer_select_main_mode_2da",
            "analyzer_select_sub_mode_dEdge", "analyzer_select_sub_mode_LCF", "analyzer_select_sub_mode_elems",
            "analyzer_select_sub_mode_ra", "analyzer_select_main_mode_sumUp",
            "analyzer_select_main_mode_procMaps", "analyzer_view_normalize", "analyzer_view_enerugy_correction",
            "analyzer_select_image", "analyzer_set_fixed_scale", "analyzer_set_scale_max",
            "analyzer_set_scale_min", "analyzer_set_dMut_scale_max", "analyzer_set_dMut_scale_min",
            "analyzer_set_ratio_scale_max", "analyzer_set_ratio_scale_min", "analyzer_exec_2da",
            "analyzer_dEdge_select_mode", "analyzer_dEdge_select_mode_midp", "analyzer_dEdge_select_mode_comp",
            "analyzer_dEdge_mid_point_ratio", "analyzer_dEdge_comp_target", "analzyer_dEdge_comp_w_file",
            "analyzer_dEdge_comp_file_name", "analyzer_dEdge_comp_w_step", "analyzer_dEdge_comp_step_params",
            "analyzer_dEdge_comp_params", "analyzer_set_LCF_std", "analyzer_set_LCF_mode", "analyzer_set_MLCF",
            "analyzer_set_LCF_as_old", "analyzer_select_image_type", "analyzer_exec_LCF",
            "analyzer_set_LCF_range", "analyzer_target_elements", "analyzer_elems_select_target",
            "analyzer_elems_sort_by_an", "analyzer_elems_select_show", "analyzer_elems_set_deVs",
            "analyzer_elems_set_corr_th", "analyzer_elems_select_disp_mode", "analyzer_elems_set_use",
            "analyzer_elems_roi", "analyzer_elems_thdmut", "analyzer_elems_no_neg", "analyzer_elems_bg_dMut",
            "analyzer_elems_bg_dMutR", "analyzer_elems_bg_dE", "analyzer_elems_bg_ROI", "analyzer_elems_bg_NROI",
            "analyzer_exec_elems", "analyzer_set_ra_energy", "analyzer_set_ra_factor", "analyzer_exec_ra",
            "calib_show_window", "calib_load_std", "calib_set_edge_eV", "calib_exec", "calib_load_map",
            "calib_clear_map", "calib_save_map", "calib_type", "stats_show_window", "stats_bins",
            "stats_over_image", "stats_in_selected_region", "saveDataCfg_show_window",
            "saveDataCfg_save_as_tiff", "saveDataCfg_save_as_text", "saveDataCfg_tiff_fix_scale",
            "saveDataCfg_tiff_scale_min", "saveDataCfg_tiff_scale_max", "saveDataCfg_tiff_as_analyzed",
            "saveDataCfg_text_as_csv", "saveDataCfg_text_as_ssv", "saveDataCfg_text_as_xyz",
            "saveDataCfg_text_as_vals", "quit", "not ex cmd"
        };
        QCOMPARE(words.size(), 159);
        QCOMPARE(exCmdList.size(), 159);
        for (int id = 0; id < words.size(); ++id) {
            QCOMPARE(exCmdName(static_cast<EX_CMD_ID>(id)), words.at(id));
            QCOMPARE(int(exCmdId(wordOnly(words.at(id)))), id);
        }
    }

    void wordsAsScriptsWriteThem_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("id");
        QTest::newRow("first") << "clear_I1_files" << 0;
        QTest::newRow("load i1") << "load_I1_files" << 4;
        QTest::newRow("use i0") << "Use_I0" << 8;
        QTest::newRow("disp unit") << "eng_calc_disp_unit_i1" << 38;
        QTest::newRow("edge eV") << "Suggesting_Edge_eV" << 45;
        QTest::newRow("misspelt 74") << "specpane_enerugy_correction" << 74;
        QTest::newRow("misspelt 87") << "analyzer_view_enerugy_correction" << 87;
        QTest::newRow("misspelt 102") << "analzyer_dEdge_comp_w_file" << 102;
        QTest::newRow("ra") << "analyzer_exec_ra" << 133;
        QTest::newRow("calib") << "calib_type" << 141;
        QTest::newRow("stats") << "stats_in_selected_region" << 145;
        QTest::newRow("save cfg") << "saveDataCfg_show_window" << 146;
        QTest::newRow("vals") << "saveDataCfg_text_as_vals" << 156;
        QTest::newRow("quit") << "quit" << 157;
        QTest::newRow("none") << "not ex cmd" << 158;
    }

    void wordsAsScriptsWriteThem()
    {
        QFETCH(QString, word);
        QFETCH(int, id);
        QCOMPARE(exCmdName(static_cast<EX_CMD_ID>(id)), word);
        QCOMPARE(int(exCmdId(wordOnly(word))), id);
    }

    void lookUpsThroughParsedLines()
    {
        QCOMPARE(int(exCmdId(lineOf("LOAD_i1_FILES NEW \"a b.tif\""))), 4);
        // The correct spelling of 102 is no command.
        QCOMPARE(int(exCmdId(lineOf("analyzer_dEdge_comp_w_file 1"))), 158);
        const CmdLine none = lineOf("\"not ex cmd\"");
        QCOMPARE(none.word, QString("not ex cmd"));
        QCOMPARE(int(exCmdId(none)), 158);
        QVERIFY(!isExCmd(none));
        // No trimming or prefix matching.
        QCOMPARE(int(exCmdId(wordOnly("quit "))), 158);
        QCOMPARE(int(exCmdId(wordOnly("qui"))), 158);
        const CmdLine empty = lineOf("");
        QCOMPARE(int(ctrlCmdId(empty)), 7);
        QCOMPARE(int(exCmdId(empty)), 158);
        QVERIFY(!isCtrlCmd(empty));
    }

};

QTEST_GUILESS_MAIN(TstBatchVocab)
#include "tst_batchvocab.moc"
