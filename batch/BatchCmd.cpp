#include "BatchCmd.h"

#include "CmdLine.h"

QVector<BatchCmdEntry> ctrlCmdList;
QVector<BatchCmdEntry> exCmdList;

void initBatchCmdTables()
{
    // Start-up runs this once; a second call must not duplicate the words.
    if (!ctrlCmdList.isEmpty() || !exCmdList.isEmpty())
        return;

    ctrlCmdList = {
        {ctrl_for, QStringLiteral(":for")},
        {ctrl_next, QStringLiteral(":next")},
        {ctrl_let, QStringLiteral(":let")},
        {ctrl_echo, QStringLiteral(":echo")},
        {ctrl_rem_start, QStringLiteral(":rem_start")},
        {ctrl_rem_end, QStringLiteral(":rem_end")},
        {ctrl_end, QStringLiteral(":end")},
    };

    // Words are stored as scripts already use them, misspellings included.
    exCmdList = {
        {clear_I1_files, QStringLiteral("clear_I1_files")},
        {clear_I0_files, QStringLiteral("clear_I0_files")},
        {set_i1_energy_pattern, QStringLiteral("set_i1_energy_pattern")},
        {set_i0_energy_pattern, QStringLiteral("set_i0_energy_pattern")},
        {load_I1_files, QStringLiteral("load_I1_files")},
        {load_I0_files, QStringLiteral("load_I0_files")},
        {load_I1_files_of_pattern, QStringLiteral("load_I1_files_of_pattern")},
        {load_I0_files_of_pattern, QStringLiteral("load_I0_files_of_pattern")},
        {Use_I0, QStringLiteral("Use_I0")},
        {cut_f_i0, QStringLiteral("cut_f_i0")},
        {cut_f_i1, QStringLiteral("cut_f_i1")},
        {cut_l_i0, QStringLiteral("cut_l_i0")},
        {cut_l_i1, QStringLiteral("cut_l_i1")},
        {skip_i0, QStringLiteral("skip_i0")},
        {skip_i1, QStringLiteral("skip_i1")},
        {show_latest_i0, QStringLiteral("show_latest_i0")},
        {show_latest_i1, QStringLiteral("show_latest_i1")},
        {eng_by_name_i0, QStringLiteral("eng_by_name_i0")},
        {eng_by_name_i1, QStringLiteral("eng_by_name_i1")},
        {eng_by_name_reg_exp_i0, QStringLiteral("eng_by_name_reg_exp_i0")},
        {eng_by_name_reg_exp_i1, QStringLiteral("eng_by_name_reg_exp_i1")},
        {eng_by_name_factor_i0, QStringLiteral("eng_by_name_factor_i0")},
        {eng_by_name_factor_i1, QStringLiteral("eng_by_name_factor_i1")},
        {eng_by_calc_i0, QStringLiteral("eng_by_calc_i0")},
        {eng_by_calc_i1, QStringLiteral("eng_by_calc_i1")},
        {eng_calc_base_i0, QStringLiteral("eng_calc_base_i0")},
        {eng_calc_base_i1, QStringLiteral("eng_calc_base_i1")},
        {eng_calc_delta_i0, QStringLiteral("eng_calc_delta_i0")},
        {eng_calc_delta_i1, QStringLiteral("eng_calc_delta_i1")},
        {eng_calc_end_i0, QStringLiteral("eng_calc_end_i0")},
        {eng_calc_end_i1, QStringLiteral("eng_calc_end_i1")},
        {eng_calc_num_i0, QStringLiteral("eng_calc_num_i0")},
        {eng_calc_num_i1, QStringLiteral("eng_calc_num_i1")},
        {eng_calc_even_in_eng_i0, QStringLiteral("eng_calc_even_in_eng_i0")},
        {eng_calc_even_in_eng_i1, QStringLiteral("eng_calc_even_in_eng_i1")},
        {eng_calc_even_in_deg_i0, QStringLiteral("eng_calc_even_in_deg_i0")},
        {eng_calc_even_in_deg_i1, QStringLiteral("eng_calc_even_in_deg_i1")},
        {eng_calc_disp_unit_i0, QStringLiteral("eng_calc_disp_unit_i0")},
        {eng_calc_disp_unit_i1, QStringLiteral("eng_calc_disp_unit_i1")},
        {eng_by_ref_i0, QStringLiteral("eng_by_ref_i0")},
        {eng_by_ref_i1, QStringLiteral("eng_by_ref_i1")},
        {set_fluo_type, QStringLiteral("set_fluo_type")},
        {Suggest_Elm, QStringLiteral("Suggest_Elm")},
        {Suggesting_Elm, QStringLiteral("Suggesting_Elm")},
        {Suggesting_Edge, QStringLiteral("Suggesting_Edge")},
        {Suggesting_Edge_eV, QStringLiteral("Suggesting_Edge_eV")},
        {Suggesting_Pre_End_eV, QStringLiteral("Suggesting_Pre_End_eV")},
        {Suggesting_Post_Start_eV, QStringLiteral("Suggesting_Post_Start_eV")},
        {set_i0_dark_area, QStringLiteral("set_i0_dark_area")},
        {set_i1_dark_area, QStringLiteral("set_i1_dark_area")},
        {clear_i0_dark_area, QStringLiteral("clear_i0_dark_area")},
        {clear_i1_dark_area, QStringLiteral("clear_i1_dark_area")},
        {set_band_w, QStringLiteral("set_band_w")},
        {set_band_h, QStringLiteral("set_band_h")},
        {select_disp_image, QStringLiteral("select_disp_image")},
        {select_disp_image_i1, QStringLiteral("select_disp_image_i1")},
        {select_disp_image_i0, QStringLiteral("select_disp_image_i0")},
        {select_disp_image_eShift, QStringLiteral("select_disp_image_eShift")},
        {select_disp_image_analyzed, QStringLiteral("select_disp_image_analyzed")},
        {seek_image, QStringLiteral("seek_image")},
        {save_image, QStringLiteral("save_image")},
        {save_image_w_num, QStringLiteral("save_image_w_num")},
        {save_all_images, QStringLiteral("save_all_images")},
        {save_data, QStringLiteral("save_data")},
        {save_data_as_tiff, QStringLiteral("save_data_as_tiff")},
        {move_position, QStringLiteral("move_position")},
        {save_spectra, QStringLiteral("save_spectra")},
        {cbar_set_range, QStringLiteral("cbar_set_range")},
        {cbar_set_all, QStringLiteral("cbar_set_all")},
        {select_region, QStringLiteral("select_region")},
        {scale_reset, QStringLiteral("scale_reset")},
        {zoom_in, QStringLiteral("zoom_in")},
        {select_qs_fitted_eShift, QStringLiteral("select_qs_fitted_eShift")},
        {specpane_normalize, QStringLiteral("specpane_normalize")},
        {specpane_enerugy_correction, QStringLiteral("specpane_enerugy_correction")},
        {analyzer_show_window, QStringLiteral("analyzer_show_window")},
        {analyzer_select_analysis_mode, QStringLiteral("analyzer_select_analysis_mode")},
        {analyzer_main_mode, QStringLiteral("analyzer_main_mode")},
        {analyzer_sub_mode, QStringLiteral("analyzer_sub_mode")},
        {analyzer_select_main_mode_2da, QStringLiteral("analyzer_select_main_mode_2da")},
        {analyzer_select_sub_mode_dEdge, QStringLiteral("analyzer_select_sub_mode_dEdge")},
        {analyzer_select_sub_mode_LCF, QStringLiteral("analyzer_select_sub_mode_LCF")},
        {analyzer_select_sub_mode_elems, QStringLiteral("analyzer_select_sub_mode_elems")},
        {analyzer_select_sub_mode_ra, QStringLiteral("analyzer_select_sub_mode_ra")},
        {analyzer_select_main_mode_sumUp, QStringLiteral("analyzer_select_main_mode_sumUp")},
        {analyzer_select_main_mode_procMaps, QStringLiteral("analyzer_select_main_mode_procMaps")},
        {analyzer_view_normalize, QStringLiteral("analyzer_view_normalize")},
        {analyzer_view_enerugy_correction, QStringLiteral("analyzer_view_enerugy_correction")},
        {analyzer_select_image, QStringLiteral("analyzer_select_image")},
        {analyzer_set_fixed_scale, QStringLiteral("analyzer_set_fixed_scale")},
        {analyzer_set_scale_max, QStringLiteral("analyzer_set_scale_max")},
        {analyzer_set_scale_min, QStringLiteral("analyzer_set_scale_min")},
        {analyzer_set_dMut_scale_max, QStringLiteral("analyzer_set_dMut_scale_max")},
        {analyzer_set_dMut_scale_min, QStringLiteral("analyzer_set_dMut_scale_min")},
        {analyzer_set_ratio_scale_max, QStringLiteral("analyzer_set_ratio_scale_max")},
        {analyzer_set_ratio_scale_min, QStringLiteral("analyzer_set_ratio_scale_min")},
        {analyzer_exec_2da, QStringLiteral("analyzer_exec_2da")},
        {analyzer_dEdge_select_mode, QStringLiteral("analyzer_dEdge_select_mode")},
        {analyzer_dEdge_select_mode_midp, QStringLiteral("analyzer_dEdge_select_mode_midp")},
        {analyzer_dEdge_select_mode_comp, QStringLiteral("analyzer_dEdge_select_mode_comp")},
        {analyzer_dEdge_mid_point_ratio, QStringLiteral("analyzer_dEdge_mid_point_ratio")},
        {analyzer_dEdge_comp_target, QStringLiteral("analyzer_dEdge_comp_target")},
        {analzyer_dEdge_comp_w_file, QStringLiteral("analzyer_dEdge_comp_w_file")},
        {analyzer_dEdge_comp_file_name, QStringLiteral("analyzer_dEdge_comp_file_name")},
        {analyzer_dEdge_comp_w_step, QStringLiteral("analyzer_dEdge_comp_w_step")},
        {analyzer_dEdge_comp_step_params, QStringLiteral("analyzer_dEdge_comp_step_params")},
        {analyzer_dEdge_comp_params, QStringLiteral("analyzer_dEdge_comp_params")},
        {analyzer_set_LCF_std, QStringLiteral("analyzer_set_LCF_std")},
        {analyzer_set_LCF_mode, QStringLiteral("analyzer_set_LCF_mode")},
        {analyzer_set_MLCF, QStringLiteral("analyzer_set_MLCF")},
        {analyzer_set_LCF_as_old, QStringLiteral("analyzer_set_LCF_as_old")},
        {analyzer_select_image_type, QStringLiteral("analyzer_select_image_type")},
        {analyzer_exec_LCF, QStringLiteral("analyzer_exec_LCF")},
        {analyzer_set_LCF_range, QStringLiteral("analyzer_set_LCF_range")},
        {analyzer_target_elements, QStringLiteral("analyzer_target_elements")},
        {analyzer_elems_select_target, QStringLiteral("analyzer_elems_select_target")},
        {analyzer_elems_sort_by_an, QStringLiteral("analyzer_elems_sort_by_an")},
        {analyzer_elems_select_show, QStringLiteral("analyzer_elems_select_show")},
        {analyzer_elems_set_deVs, QStringLiteral("analyzer_elems_set_deVs")},
        {analyzer_elems_set_corr_th, QStringLiteral("analyzer_elems_set_corr_th")},
        {analyzer_elems_select_disp_mode, QStringLiteral("analyzer_elems_select_disp_mode")},
        {analyzer_elems_set_use, QStringLiteral("analyzer_elems_set_use")},
        {analyzer_elems_roi, QStringLiteral("analyzer_elems_roi")},
        {analyzer_elems_thdmut, QStringLiteral("analyzer_elems_thdmut")},
        {analyzer_elems_no_neg, QStringLiteral("analyzer_elems_no_neg")},
        {analyzer_elems_bg_dMut, QStringLiteral("analyzer_elems_bg_dMut")},
        {analyzer_elems_bg_dMutR, QStringLiteral("analyzer_elems_bg_dMutR")},
        {analyzer_elems_bg_dE, QStringLiteral("analyzer_elems_bg_dE")},
        {analyzer_elems_bg_ROI, QStringLiteral("analyzer_elems_bg_ROI")},
        {analyzer_elems_bg_NROI, QStringLiteral("analyzer_elems_bg_NROI")},
        {analyzer_exec_elems, QStringLiteral("analyzer_exec_elems")},
        {analyzer_set_ra_energy, QStringLiteral("analyzer_set_ra_energy")},
        {analyzer_set_ra_factor, QStringLiteral("analyzer_set_ra_factor")},
        {analyzer_exec_ra, QStringLiteral("analyzer_exec_ra")},
        {calib_show_window, QStringLiteral("calib_show_window")},
        {calib_load_std, QStringLiteral("calib_load_std")},
        {calib_set_edge_eV, QStringLiteral("calib_set_edge_eV")},
        {calib_exec, QStringLiteral("calib_exec")},
        {calib_load_map, QStringLiteral("calib_load_map")},
        {calib_clear_map, QStringLiteral("calib_clear_map")},
        {calib_save_map, QStringLiteral("calib_save_map")},
        {calib_type, QStringLiteral("calib_type")},
        {stats_show_window, QStringLiteral("stats_show_window")},
        {stats_bins, QStringLiteral("stats_bins")},
        {stats_over_image, QStringLiteral("stats_over_image")},
        {stats_in_selected_region, QStringLiteral("stats_in_selected_region")},
        {saveDataCfg_show_window, QStringLiteral("saveDataCfg_show_window")},
        {saveDataCfg_save_as_tiff, QStringLiteral("saveDataCfg_save_as_tiff")},
        {saveDataCfg_save_as_text, QStringLiteral("saveDataCfg_save_as_text")},
        {saveDataCfg_tiff_fix_scale, QStringLiteral("saveDataCfg_tiff_fix_scale")},
        {saveDataCfg_tiff_scale_min, QStringLiteral("saveDataCfg_tiff_scale_min")},
        {saveDataCfg_tiff_scale_max, QStringLiteral("saveDataCfg_tiff_scale_max")},
        {saveDataCfg_tiff_as_analyzed, QStringLiteral("saveDataCfg_tiff_as_analyzed")},
        {saveDataCfg_text_as_csv, QStringLiteral("saveDataCfg_text_as_csv")},
        {saveDataCfg_text_as_ssv, QStringLiteral("saveDataCfg_text_as_ssv")},
        {saveDataCfg_text_as_xyz, QStringLiteral("saveDataCfg_text_as_xyz")},
        {saveDataCfg_text_as_vals, QStringLiteral("saveDataCfg_text_as_vals")},
        {quit, QStringLiteral("quit")},
        {not_ex_cmd, QStringLiteral("not ex cmd")},
    };
}

namespace {

int findId(const QVector<BatchCmdEntry>& list, const QString& word, int none)
{
    const QString up = word.toUpper();
    for (const BatchCmdEntry& e : list) {
        if (e.word.toUpper() == up)
            return e.id;
    }
    return none;
}

}  // namespace

CTRL_CMD_ID ctrlCmdId(const CmdLine& line)
{
    return static_cast<CTRL_CMD_ID>(findId(ctrlCmdList, line.word, not_ctrl_cmd));
}

bool isCtrlCmd(CmdLine line)
{
    return ctrlCmdId(line) != not_ctrl_cmd;
}

EX_CMD_ID exCmdId(const CmdLine& line)
{
    return static_cast<EX_CMD_ID>(findId(exCmdList, line.word, not_ex_cmd));
}

bool isExCmd(CmdLine line)
{
    return exCmdId(line) != not_ex_cmd;
}

QString exCmdName(EX_CMD_ID id)
{
    for (const BatchCmdEntry& e : exCmdList) {
        if (e.id == id)
            return e.word;
    }
    return QStringLiteral("UnKnow ExCMD id");
}

EX_CMD_ID answerIdOf(EX_CMD_ID id)
{
    switch (id) {
    case load_I1_files_of_pattern: return load_I1_files;
    case load_I0_files_of_pattern: return load_I0_files;
    case analyzer_exec_2da:
    case analyzer_exec_elems:
    case analyzer_exec_ra: return analyzer_exec_LCF;
    default: return id;
    }
}

bool answersWhenDone(EX_CMD_ID id)
{
    switch (answerIdOf(id)) {
    case load_I1_files:
    case load_I0_files:
    case analyzer_exec_LCF:
    case calib_exec: return true;
    default: return false;
    }
}
