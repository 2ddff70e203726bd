#include "CmdExecutor.h"

#include "BatchCtrl.h"

#include <QDebug>

#include "core/FailureLog.h"
#include "core/InputBounds.h"
#include "core/XafsSpectrum.h"
#include "mainwindow/Body.h"
#include "mainwindow/SaveDataCfg.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibOnBody.h"
#include "tools/StatsMath.h"
#include "tools/ToolsOnBody.h"

#include <algorithm>
#include <climits>

namespace {

bool flagOf(const QString& a)
{
    return a.toInt() == 1;
}

}  // namespace

bool CmdExecutor::actTools(int id, const CmdLine& cmd, bool& done)
{
    const QString a0 = cmd.arg(0);
    CalibOnBody* calib = CalibOnBody::of(body);
    CalibCtrl* cc = calib ? calib->calibCtrl : nullptr;
    ToolsOnBody* tools = ToolsOnBody::of(body);
    SaveDataCfg* save = body.saveDataCfg;

    switch (id) {
    case calib_show_window:
    case calib_load_std:
    case calib_set_edge_eV:
    case calib_exec:
    case calib_load_map:
    case calib_clear_map:
    case calib_save_map:
    case calib_type:
        if (!cc) {
            qDebug().noquote() << "No calibration window:" << cmd.text << "not done";
            ctrl.showCmdErr(cmd);
            return true;
        }
        break;
    case stats_show_window:
    case stats_bins:
    case stats_over_image:
    case stats_in_selected_region:
        if (!tools) {
            qDebug().noquote() << "No statistics window:" << cmd.text << "not done";
            ctrl.showCmdErr(cmd);
            return true;
        }
        break;
    case saveDataCfg_show_window:
    case saveDataCfg_save_as_tiff:
    case saveDataCfg_save_as_text:
    case saveDataCfg_tiff_fix_scale:
    case saveDataCfg_tiff_scale_min:
    case saveDataCfg_tiff_scale_max:
    case saveDataCfg_tiff_as_analyzed:
    case saveDataCfg_text_as_csv:
    case saveDataCfg_text_as_ssv:
    case saveDataCfg_text_as_xyz:
    case saveDataCfg_text_as_vals:
        if (!save) {
            qDebug().noquote() << "No save options:" << cmd.text << "not done";
            ctrl.showCmdErr(cmd);
            return true;
        }
        break;
    default: return false;
    }

    switch (id) {
    case calib_show_window: cc->show(); break;
    case calib_load_std:
    {
        const int before = FailureLog::count();
        cc->loadStd(a0);
        if (!cc->standard || cc->standard->points.isEmpty()) ctrl.showCmdErr(cmd, FailureLog::count() > before);
        break;
    }
    case calib_set_edge_eV: cc->setEdgeEV(a0); break;
    case calib_exec: {
        EnergyCalibration& run = calib->calibration;
        connect(&run, &EnergyCalibration::runEnded, this, &CmdExecutor::calibRunEnded, Qt::UniqueConnection);
        // A run under way stops here; its own answers go out with runEnded.
        const bool stopping = run.isRunning();
        run.execCalibration();
        if (run.isRunning()) {
            // Lines after this one read the map: they wait for the run's end.
            ++calibAnswersOwed;
            done = false;
        } else if (!stopping) {
            qDebug() << "Calibration did not start: the energy-shift map is unchanged";
        }
        break;
    }
    case calib_load_map:
        // The user's loader, with the window's size check and edge energy;
        // answered below with 138 whichever way the read went.
        calib->loadEMap(a0);
        break;
    case calib_clear_map: calib->calibration.clearShiftMap(); break;
    case calib_save_map: {
        const int before = FailureLog::count();
        if (!calib->saveEMap(a0)) ctrl.showCmdErr(cmd, FailureLog::count() > before);
        break;
    }
    case calib_type:
        if (a0.toInt() == 1)
            cc->CalibTypeInnerP->setChecked(true);
        else
            cc->CalibTypeDMidX->setChecked(true);
        break;
    case stats_show_window:
        if (a0.isEmpty() || a0.toInt() == 1) {
            tools->showStatistics();
            tools->stats.show();
        } else {
            tools->stats.hide();
        }
        break;
    case stats_bins: {
        // More than the window draws is clipped and said; 0, a negative number
        // or text that is no number still asks for the default 100 bins.
        const qint64 asked = InputBounds::integerOf(a0);
        const int bins = asked > StatsMath::maxBins ? boundedArg(cmd, 0, 1, StatsMath::maxBins)
                                                    : int(std::max<qint64>(asked, INT_MIN));
        tools->stats.setBins(bins);
        break;
    }
    case stats_over_image: tools->stats.setOverImage(flagOf(a0)); break;
    case stats_in_selected_region: tools->stats.setCalcInSelectedRegion(flagOf(a0)); break;
    case saveDataCfg_show_window: save->show(); break;
    case saveDataCfg_save_as_tiff:
        qDebug() << "setting save as tiff";
        save->setSaveAsTiff();
        break;
    case saveDataCfg_save_as_text:
        qDebug() << "setting save as text";
        save->setSaveAsText();
        break;
    case saveDataCfg_tiff_fix_scale: save->setSaveTiffScaleFixed(flagOf(a0)); break;
    case saveDataCfg_tiff_scale_min: save->setSaveTiffScaleMin(a0.toDouble()); break;
    case saveDataCfg_tiff_scale_max: save->setSaveTiffScaleMax(a0.toDouble()); break;
    case saveDataCfg_tiff_as_analyzed: save->setSaveTiffAsAnalyzed(flagOf(a0)); break;
    case saveDataCfg_text_as_csv: save->setSaveTextAsCSV(); break;
    case saveDataCfg_text_as_ssv: save->setSaveTextAsSSV(); break;
    case saveDataCfg_text_as_xyz: save->setSaveTextAsXYVal(); break;
    case saveDataCfg_text_as_vals: save->setSaveTextAsValValVal(); break;
    default: break;
    }
    return true;
}

void CmdExecutor::calibRunEnded()
{
    // Every "calib_exec" that started or waited on this run is answered.
    while (calibAnswersOwed > 0) {
        --calibAnswersOwed;
        emit body.finishBatchExec(calib_exec);
    }
}
