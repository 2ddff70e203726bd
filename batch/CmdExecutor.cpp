#include "CmdExecutor.h"

#include <QDebug>
#include <QDir>

#include "BatchCmd.h"
#include "BatchCtrl.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/EOFSetup.h"
#include "mainwindow/SelectDataFiles.h"

namespace {

QString integerText(const QString& a)
{
    return QString::number(a.toInt());
}

QString realText(const QString& a)
{
    return QString::number(a.toDouble(), 'g', 6);
}

bool flagOf(const QString& a)
{
    return a.toInt() == 1;
}

}  // namespace

CmdExecutor::CmdExecutor(Body& b, BatchCtrl& c, QObject* parent) : QObject(parent), body(b), ctrl(c) {}

void CmdExecutor::execCmdSlot(CmdLine cmd, bool inRem)
{
    if (inRem) {
        emit body.finishBatchExec(not_ex_cmd);
        return;
    }
    CmdLine w;
    w.setLine(cmd.word);
    const int id = exCmdId(w);
    bool done = true;
    if (id == not_ex_cmd || !act(id, cmd, done)) {
        noAction(cmd);
        return;
    }
    if (done) emit body.finishBatchExec(id);
}

void CmdExecutor::noAction(const CmdLine& cmd)
{
    CmdLine w;
    w.setLine(cmd.word);
    if (!isCtrlCmd(w)) ctrl.showCmdErr(cmd);
    emit body.finishBatchExec(not_ex_cmd);
}

void CmdExecutor::load(bool i1, bool ofPattern, const CmdLine& cmd, bool& done)
{
    const bool newFile = cmd.arg(0).toUpper() == QLatin1String("NEW");
    QStringList files;
    if (ofPattern) {
        const QString dir = cmd.arg(1);
        const QStringList filters = cmd.args.mid(2);
        for (const QString& n : QDir(dir).entryList(filters, QDir::Files, QDir::NoSort)) files << dir + n;
        if (!QDir(dir).exists())
            body.reportFailure(tr("No images loaded: the folder %1 does not exist").arg(dir));
        else if (files.isEmpty())
            body.reportFailure(tr("No images loaded: no file in %1 matches %2").arg(dir, filters.join(QLatin1Char(' '))));
    } else {
        files = cmd.args.mid(1);
        // Nothing to queue: the loader would not answer a request never made.
        if (files.isEmpty()) return;
    }
    done = false;
    if (i1)
        body.readI1Files(files, newFile);
    else
        body.readI0Files(files, newFile);
}

bool CmdExecutor::act(int id, const CmdLine& cmd, bool& done)
{
    const QString a0 = cmd.arg(0);
    SelectDataFiles* s1 = body.SelectI1Files;
    SelectDataFiles* s0 = body.SelectI0Files;
    EOFSetup* e1 = s1->eofSetup();
    EOFSetup* e0 = s0->eofSetup();
    switch (id) {
    case clear_I1_files: body.clearI1Files(); break;
    case clear_I0_files: body.clearI0Files(); break;
    case set_i1_energy_pattern:
    case eng_by_name_reg_exp_i1: e1->Pattern->setText(a0); break;
    case set_i0_energy_pattern:
    case eng_by_name_reg_exp_i0: e0->Pattern->setText(a0); break;
    case load_I1_files: load(true, false, cmd, done); break;
    case load_I0_files: load(false, false, cmd, done); break;
    case load_I1_files_of_pattern: load(true, true, cmd, done); break;
    case load_I0_files_of_pattern: load(false, true, cmd, done); break;
    case Use_I0: body.UseI0->setChecked(flagOf(a0)); break;
    case cut_f_i0: s0->CutFirst->setText(integerText(a0)); break;
    case cut_f_i1: s1->CutFirst->setText(integerText(a0)); break;
    case cut_l_i0: s0->CutLast->setText(integerText(a0)); break;
    case cut_l_i1: s1->CutLast->setText(integerText(a0)); break;
    case skip_i0: s0->Skip->setText(integerText(a0)); break;
    case skip_i1: s1->Skip->setText(integerText(a0)); break;
    case show_latest_i0: s0->additionalSetup().ShowLatest->setChecked(flagOf(a0)); break;
    case show_latest_i1: s1->additionalSetup().ShowLatest->setChecked(flagOf(a0)); break;
    case eng_by_name_i0: e0->FromFileName->setChecked(true); break;
    case eng_by_name_i1: e1->FromFileName->setChecked(true); break;
    case eng_by_name_factor_i0: e0->Factor->setText(realText(a0)); break;
    case eng_by_name_factor_i1: e1->Factor->setText(realText(a0)); break;
    case eng_by_calc_i0: e0->FromFileNum->setChecked(flagOf(a0)); break;
    case eng_by_calc_i1: e1->FromFileNum->setChecked(flagOf(a0)); break;
    case eng_calc_base_i0: s0->setEngCalcStart(a0.toDouble()); break;
    case eng_calc_base_i1: s1->setEngCalcStart(a0.toDouble()); break;
    case eng_calc_delta_i0: s0->setEngCalcDelta(a0.toDouble()); break;
    case eng_calc_delta_i1: s1->setEngCalcDelta(a0.toDouble()); break;
    case eng_calc_end_i0: s0->setEngCalcEnd(a0.toDouble()); break;
    case eng_calc_end_i1: s1->setEngCalcEnd(a0.toDouble()); break;
    case eng_calc_num_i0: s0->setEngCalcNum(a0.toInt()); break;
    case eng_calc_num_i1: s1->setEngCalcNum(a0.toInt()); break;
    case eng_calc_even_in_eng_i0: e0->EvenInEnergy->setChecked(flagOf(a0)); break;
    case eng_calc_even_in_eng_i1: e1->EvenInEnergy->setChecked(flagOf(a0)); break;
    case eng_calc_even_in_deg_i0: e0->EvenInAngle->setChecked(flagOf(a0)); break;
    case eng_calc_even_in_deg_i1: e1->EvenInAngle->setChecked(flagOf(a0)); break;
    case eng_calc_disp_unit_i0: s0->setDispUnit(a0.toInt()); break;
    case eng_calc_disp_unit_i1: s1->setDispUnit(a0.toInt()); break;
    case eng_by_ref_i0: s0->setEngByRef(a0); break;
    case eng_by_ref_i1: s1->setEngByRef(a0); break;
    case set_fluo_type: body.FluoType->setChecked(flagOf(a0)); break;
    case Suggest_Elm: body.UseSuggestElm->setChecked(flagOf(a0)); body.newElmSuggested(); break;
    case Suggesting_Elm: body.SuggestingElm->setText(a0); body.newElmSuggested(); break;
    case Suggesting_Edge: body.SuggestingEdge->setCurrentIndex(a0.toInt()); body.newElmSuggested(); break;
    case Suggesting_Edge_eV: body.SuggestingEeV->setText(a0); break;
    case Suggesting_Pre_End_eV: body.DPreE->setText(a0); break;
    case Suggesting_Post_Start_eV: body.DPostS->setText(a0); break;
    case set_i0_dark_area: body.setI0DarkArea(); break;
    case set_i1_dark_area: body.setI1DarkArea(); break;
    case clear_i0_dark_area: body.clearI0DarkArea(); break;
    case clear_i1_dark_area: body.clearI1DarkArea(); break;
    case set_band_w: body.HWidth->setText(integerText(a0)); break;
    case set_band_h: body.VWidth->setText(integerText(a0)); break;
    case select_disp_image:
        if (QAbstractButton* b = body.dispSelect.button(a0.toInt())) b->setChecked(true);
        break;
    case select_disp_image_i1: body.ShowData->setChecked(true); break;
    case select_disp_image_i0: body.ShowI0->setChecked(true); break;
    case select_disp_image_eShift: body.ShowShiftMap->setChecked(true); break;
    case select_disp_image_analyzed: body.ShowResAnalysis->setChecked(true); break;
    case seek_image: body.seekImage(a0.toInt()); break;
    case save_image: body.saveImage(a0); break;
    case save_image_w_num: body.saveImageWNum(a0, cmd.arg(1)); break;
    case save_all_images: body.saveAllImages(a0); break;
    case save_data: body.saveData(a0); break;
    case save_data_as_tiff: {
        // The row whose map is shown; row 0 when the analysis panel shows none.
        const BodyHooks& h = Body::hooks();
        body.saveDataAsTiff(a0, h.referenceIndex ? h.referenceIndex(body) : 0);
        break;
    }
    case save_spectra:
        if (body.specWindow) body.specWindow->saveData(a0);
        break;
    case cbar_set_range:
        body.CBar->valueMin = a0.toDouble();
        body.CBar->valueMax = cmd.arg(1).toDouble();
        body.CBar->paintCBar();
        qDebug() << "setting cbar" << body.CBar->valueMin << body.CBar->valueMax;
        break;
    case select_region:
        // Corners given in any order make the same area, so a later zoom never
        // gets a window of negative size.
        body.dispA->setSelectedArea(a0.toInt(), cmd.arg(1).toInt(), cmd.arg(2).toInt(), cmd.arg(3).toInt());
        break;
    case specpane_normalize:
        if (body.specWindow) body.specWindow->ui.Normalized->setChecked(flagOf(a0));
        break;
    case specpane_enerugy_correction:
        if (body.specWindow) body.specWindow->ui.ECorrect->setChecked(flagOf(a0));
        break;
    case move_position: body.dispA->setRealMousePos(a0.toInt(), cmd.arg(1).toInt()); break;
    case cbar_set_all:
        qDebug() << "cbar set all";
        body.cBarUpdated();
        break;
    case scale_reset: body.dispA->resetImageViewWindow(); break;
    case zoom_in: body.dispA->setViewWAsSelectedArea(); break;
    case select_qs_fitted_eShift:
        qDebug() << "QS Eshift";
        body.QuadSurfFittedEShift->setChecked(flagOf(a0));
        break;
    case quit: emit body.finishing(); break;
    default: return actAnalyzer(id, cmd, done) || actTools(id, cmd, done);
    }
    if (id == quit) done = false;
    return true;
}
