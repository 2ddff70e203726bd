#include "CmdExecutor.h"

#include "BatchCmd.h"
#include "BatchCtrl.h"
#include "analysis/AElemsConds.h"
#include "analysis/Analysis2DDriver.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/ElemList.h"
#include "core/FailureLog.h"
#include "mainwindow/Body.h"
#include "widgets/XafsFileSelect.h"

#include <QAbstractButton>
#include <QButtonGroup>

#include <algorithm>

namespace {

QString realText(const QString& a)
{
    return QString::number(a.toDouble(), 'g', 6);
}

bool flagOf(const QString& a)
{
    return a.toInt() == 1;
}

}  // namespace

QString CmdExecutor::elemRow(Analyzer* a, const CmdLine& cmd, bool byIndex)
{
    QString why;
    const QString key = ElemList::rowKey(a->elems->names(), cmd.arg(0), byIndex, &why);
    if (key.isEmpty()) refused(cmd, why);
    return key;
}

bool CmdExecutor::actAnalyzer(int id, const CmdLine& cmd, bool& done)
{
    if (id < analyzer_show_window || id > analyzer_exec_ra) return false;
    AnalysisOnBody* on = AnalysisOnBody::of(body);
    Analyzer* a = on ? on->analyzer() : nullptr;
    // Without the panel no word here has anything to act on.
    if (!a) return false;
    const QString a0 = cmd.arg(0);
    const QString a1 = cmd.arg(1);
    switch (id) {
    case analyzer_show_window: a->show(); break;
    // A mode that names nothing would leave the run doing another analysis.
    case analyzer_select_analysis_mode:
        if (choiceArg(cmd, 0, 5)) a->selectAnalysisMode(a0.toInt());
        break;
    case analyzer_main_mode:
        if (choiceArg(cmd, 0, 1)) a->setMainMode(a0.toInt());
        break;
    case analyzer_sub_mode:
        if (cmd.args.size() < 2) break;
        for (int k = 1; k < cmd.args.size(); ++k) a->setSubMode(a0.toInt(), k - 1, cmd.arg(k).toInt() == 1);
        break;
    case analyzer_select_main_mode_2da: a->setMainMode(0); break;
    case analyzer_select_sub_mode_dEdge: a->setSubMode(0, 0, flagOf(a0)); break;
    case analyzer_select_sub_mode_LCF: a->setSubMode(0, 1, flagOf(a0)); break;
    case analyzer_select_sub_mode_elems: a->setSubMode(0, 2, flagOf(a0)); break;
    case analyzer_select_sub_mode_ra: a->setSubMode(0, 3, flagOf(a0)); break;
    // The panel has no sum-up main mode (76 with 3 shows the sum-up image):
    // this word keeps no action, so a script using it sees its "Err:" line.
    case analyzer_select_main_mode_sumUp: return false;
    case analyzer_select_main_mode_procMaps: a->setMainMode(1); break;
    case analyzer_view_normalize: a->setNormalize(flagOf(a0)); break;
    case analyzer_view_enerugy_correction: a->setEnergyCorrection(flagOf(a0)); break;
    case analyzer_select_image: {
        // A later save would write another map than the one named.
        int last = 0;
        for (QAbstractButton* b : a->refGroup->buttons()) last = std::max(last, a->refGroup->id(b));
        if (choiceArg(cmd, 0, last, [a](int id) { return a->refGroup->button(id) != nullptr; })) a->selectImage(a0.toInt());
        break;
    }
    case analyzer_set_fixed_scale: a->setFixedScale(flagOf(a0)); break;
    case analyzer_set_scale_max:
        a->setDMutScaleMax(a0.toDouble());
        a->setRatioScaleMax(a0.toDouble());
        break;
    case analyzer_set_scale_min:
        a->setDMutScaleMin(a0.toDouble());
        a->setRatioScaleMin(a0.toDouble());
        break;
    case analyzer_set_dMut_scale_max: a->setDMutScaleMax(a0.toDouble()); break;
    case analyzer_set_dMut_scale_min: a->setDMutScaleMin(a0.toDouble()); break;
    case analyzer_set_ratio_scale_max: a->setRatioScaleMax(a0.toDouble()); break;
    case analyzer_set_ratio_scale_min: a->setRatioScaleMin(a0.toDouble()); break;
    case analyzer_exec_2da:
    case analyzer_exec_LCF:
    case analyzer_exec_elems:
    case analyzer_exec_ra:
        // The run answers 112 on every way out, refused, stopped or finished.
        // A reference short of the range it starts with is this line's failure.
        done = false;
        on->driver()->startFromBatch([this, &cmd](const QString& why) { refused(cmd, why); });
        break;
    case analyzer_dEdge_select_mode:
        if (choiceArg(cmd, 0, 1)) a->setDEdgeMode(a0.toInt());
        break;
    case analyzer_dEdge_select_mode_midp: a->setDEdgeMode(0); break;
    case analyzer_dEdge_select_mode_comp: a->setDEdgeMode(1); break;
    case analyzer_dEdge_mid_point_ratio: a->DEdgeMidRatio->setText(realText(a0)); break;
    case analyzer_dEdge_comp_target:
        if (choiceArg(cmd, 0, 1)) a->setDEdgeCompTarget(a0.toInt());
        break;
    case analzyer_dEdge_comp_w_file: a->setDEdgeCompTarget(0); break;
    case analyzer_dEdge_comp_file_name: a->DEdgeCWFileSelect->load(a0); break;
    case analyzer_dEdge_comp_w_step: a->setDEdgeCompTarget(1); break;
    case analyzer_dEdge_comp_step_params:
        a->DEdgeCWStepAt->setText(realText(a0));
        a->DEdgeCWStepWeV->setText(realText(a1));
        a->DEdgeCWStepDEeV->setText(realText(cmd.arg(2)));
        break;
    case analyzer_dEdge_comp_params:
        a->DEdgeCWFullRangeEV->setText(realText(a0));
        a->DEdgeCWInitDEeV->setText(realText(a1));
        a->DEdgeCWMinDEeV->setText(realText(cmd.arg(2)));
        break;
    case analyzer_set_LCF_std: {
        // A fit would go on without the reference, on the other rows alone.
        if (!choiceArg(cmd, 0, a->lcfRefs.size() - 1)) break;
        // The panel has said and counted the unread file already.
        const int before = FailureLog::count();
        if (!a->setLCFStd(a0.toInt(), flagOf(a1), cmd.arg(2).toDouble(), cmd.arg(3), cmd.arg(4)))
            ctrl.showCmdErr(cmd, FailureLog::count() > before);
        break;
    }
    case analyzer_set_LCF_mode:
    case analyzer_set_MLCF: a->MLCF->setChecked(flagOf(a0)); break;
    case analyzer_set_LCF_as_old: a->AsOldLCF->setChecked(flagOf(a0)); break;
    case analyzer_select_image_type:
        if (choiceArg(cmd, 0, 1)) a->selectImageType(a0.toInt());
        break;
    case analyzer_set_LCF_range:
        a->LCFRange1->setText(realText(a0));
        a->LCFRange2->setText(realText(a1));
        break;
    case analyzer_target_elements: a->setTargetElements(a0); break;
    case analyzer_elems_select_target: {
        const QString key = elemRow(a, cmd, true);
        if (key.isEmpty()) break;
        a->setElemMainTarget(key);
        body.dispImgSelected(true);
        break;
    }
    case analyzer_elems_sort_by_an: a->setSortByAN(flagOf(a0)); break;
    case analyzer_elems_select_show: {
        const QString key = elemRow(a, cmd, true);
        if (key.isEmpty()) break;
        a->setElemShow(key);
        body.dispImgSelected(true);
        break;
    }
    case analyzer_elems_set_deVs: a->setElemsDE(a0.toDouble()); break;
    case analyzer_elems_set_corr_th: a->setCorrelationThreshold(a0.toDouble()); break;
    // Another map than the one named would be shown and saved.
    case analyzer_elems_select_disp_mode:
        if (choiceArg(cmd, 0, a->elemsDispModes() - 1)) a->selectElemsDispMode(a0.toInt());
        break;
    // A row named by nothing would leave every row as it was, unsaid.
    case analyzer_elems_set_use: {
        const QString key = elemRow(a, cmd, true);
        if (!key.isEmpty()) a->setElemUse(key, flagOf(a1));
        break;
    }
    case analyzer_elems_roi: {
        const QString key = elemRow(a, cmd, false);
        if (!key.isEmpty()) a->setElemROI(key, a1.toDouble(), cmd.arg(2).toDouble());
        break;
    }
    case analyzer_elems_thdmut: {
        const QString key = elemRow(a, cmd, false);
        if (!key.isEmpty()) a->setElemThDMut(key, a1.toDouble());
        break;
    }
    case analyzer_elems_no_neg: {
        const QString key = elemRow(a, cmd, false);
        if (!key.isEmpty()) a->setElemNoNeg(key, flagOf(a1));
        break;
    }
    // The background values are read from the second argument; the first
    // names nothing.
    case analyzer_elems_bg_dMut: a->AElemsCds->BGVDMut->setText(realText(a1)); break;
    case analyzer_elems_bg_dMutR: a->AElemsCds->BGVDMutR->setText(realText(a1)); break;
    case analyzer_elems_bg_dE: a->AElemsCds->BGVDE->setText(realText(a1)); break;
    case analyzer_elems_bg_ROI: a->AElemsCds->BGVROI->setText(realText(a1)); break;
    case analyzer_elems_bg_NROI: a->AElemsCds->BGVNROI->setText(realText(a1)); break;
    case analyzer_set_ra_energy: a->RAAtEV->setText(realText(a0)); break;
    case analyzer_set_ra_factor: a->RAFactor->setText(realText(a0)); break;
    default: return false;
    }
    return true;
}
