#include "CmdExecutor.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>

#include "BatchCmd.h"
#include "BatchCtrl.h"
#include "core/Elements.h"
#include "core/FailureLog.h"
#include "core/InputBounds.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/EOFSetup.h"
#include "mainwindow/SelectDataFiles.h"
#include "mainwindow/StackChecks.h"
#include "widgets/SpecPane.h"

#include <algorithm>
#include <climits>

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

void CmdExecutor::said(const QString& text)
{
    // The batch log, on standard error in a script run, carries it once.
    ctrl.Log(text + QLatin1Char('\n'));
}

void CmdExecutor::refused(const CmdLine& cmd, const QString& why)
{
    // A long line (a load of many files) would push the reason past where the
    // log cuts its lines: the line gives way.
    QString text = cmd.text;
    const int room = BatchCtrl::maxShownLine - 200 - int(why.size());
    if (text.size() > room) {
        const int keep = std::max(100, room);
        text = QCoreApplication::translate("BatchCtrl", "%1… (%2 more characters not shown)")
                   .arg(text.left(keep), QString::number(text.size() - keep));
    }
    // The batch log, on standard error in a script run, carries it once.
    ctrl.logError(tr("Err: %1: %2").arg(text, why));
}

int CmdExecutor::boundedArg(const CmdLine& cmd, int k, int lo, int hi)
{
    const InputBounds::Bounded b = InputBounds::bound(InputBounds::integerOf(cmd.arg(k)), lo, hi);
    if (b.clipped)
        said(tr("%1: %2 clipped to %3 (%4 to %5)")
                 .arg(cmd.word, QString::number(b.asked), QString::number(b.value), QString::number(lo),
                      QString::number(hi)));
    return b.value;
}

QString CmdExecutor::extentText(const InputBounds::Extent& e)
{
    return e.image ? tr("the image of %1 x %2 pixels").arg(e.width).arg(e.height)
                   : tr("no image is loaded, the largest image is %1 x %2 pixels").arg(e.width).arg(e.height);
}

void CmdExecutor::movePosition(const CmdLine& cmd)
{
    using namespace InputBounds;
    const qint64 x = integerOf(cmd.arg(0)), y = integerOf(cmd.arg(1));
    const Extent e = extentOf(body.imageWidth, body.imageHeight);
    const Position p = position(x, y, e);
    if (p.clipped)
        said(tr("%1: (%2, %3) clipped to (%4, %5): %6")
                 .arg(cmd.word, QString::number(x), QString::number(y), QString::number(p.x), QString::number(p.y),
                      extentText(e)));
    body.dispA->setRealMousePos(p.x, p.y);
}

void CmdExecutor::selectRegion(const CmdLine& cmd)
{
    using namespace InputBounds;
    qint64 c[4];
    for (int k = 0; k < 4; ++k) c[k] = integerOf(cmd.arg(k));
    const Extent e = extentOf(body.imageWidth, body.imageHeight);
    const Region r = region(c[0], c[1], c[2], c[3], e);
    // The earlier selection stays: a region without a pixel in the image
    // would have every block of a run or of the statistics outside it.
    if (r.outside) {
        refused(cmd, tr("the region lies outside %1").arg(extentText(e)));
        return;
    }
    if (r.empty) {
        refused(cmd, tr("the region holds no pixel: its corners share a column or a row"));
        return;
    }
    if (r.clipped)
        said(tr("%1: (%2, %3)-(%4, %5) clipped to (%6, %7)-(%8, %9): %10")
                 .arg(cmd.word, QString::number(c[0]), QString::number(c[1]), QString::number(c[2]),
                      QString::number(c[3]), QString::number(r.x0), QString::number(r.y0), QString::number(r.x1),
                      QString::number(r.y1), extentText(e)));
    // Corners given in any order make the same area, so a later zoom never
    // gets a window of negative size.
    body.dispA->setSelectedArea(r.x0, r.y0, r.x1, r.y1);
}

void CmdExecutor::seekImage(const CmdLine& cmd)
{
    // The number shows a frame of the stack shown; with a map shown it moves
    // the slider of the I1 stack and shows the I0 stack's frame when the view
    // goes back to the stacks, so either stack may hold it.
    const bool i1 = body.ShowData->isChecked(), i0 = body.ShowI0->isChecked();
    const int n1 = body.i1Images.size(), n0 = body.i0Images.size();
    const qint64 k = InputBounds::integerOf(cmd.arg(0));
    const bool inI1 = k >= 0 && k < n1, inI0 = k >= 0 && k < n0;
    if (i1 ? inI1 : i0 ? inI0 : inI1 || inI0) {
        body.seekImage(int(k));
        return;
    }
    if (i1 || i0)
        refused(cmd, tr("the %1 stack has no frame %2 (it holds %3)").arg(i1 ? "I1" : "I0").arg(k).arg(i1 ? n1 : n0));
    else
        refused(cmd, tr("neither stack has frame %1 (I1 holds %2, I0 %3)").arg(k).arg(n1).arg(n0));
}

bool CmdExecutor::choiceArg(const CmdLine& cmd, int k, int last, const std::function<bool(int)>& exists)
{
    const qint64 c = InputBounds::integerOf(cmd.arg(k));
    if (c >= 0 && c <= last && (!exists || exists(int(c)))) return true;
    refused(cmd, tr("%1 is none of 0 to %2; nothing changed").arg(c).arg(last));
    return false;
}

void CmdExecutor::setEngCalc(SelectDataFiles* s, CalcField f, const CmdLine& cmd)
{
    QString why;
    bool taken = false;
    switch (f) {
    case calcStart: taken = s->setEngCalcStart(cmd.arg(0).toDouble(), &why); break;
    case calcDelta: taken = s->setEngCalcDelta(cmd.arg(0).toDouble(), &why); break;
    case calcEnd: taken = s->setEngCalcEnd(cmd.arg(0).toDouble(), &why); break;
    case calcNum: {
        // Below 1 the panel refuses the number; past the int range it is clipped.
        const qint64 asked = InputBounds::integerOf(cmd.arg(0));
        taken = s->setEngCalcNum(asked < 1 ? int(std::max<qint64>(asked, INT_MIN)) : boundedArg(cmd, 0, 1, INT_MAX), &why);
        break;
    }
    }
    if (taken) return;
    const EOFSetup* e = s->eofSetup();
    refused(cmd, tr("Energy calculation refused: %1; it keeps Start %2, Delta %3, End %4 and %5 points")
                     .arg(why, e->Start->text(), e->Delta->text(), e->End->text(), e->NumOfPoints->text()));
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
        // NEW still empties the stack, so no later line works on frames the
        // script replaced.
        if (files.isEmpty()) {
            if (newFile && i1) body.clearI1Files();
            if (newFile && !i1) body.clearI0Files();
            refused(cmd, newFile ? tr("no file given: the %1 stack is emptied, nothing loaded").arg(i1 ? "I1" : "I0")
                                 : tr("no file given: nothing loaded"));
            return;
        }
    }
    const QString refusal = i1 ? body.readI1Files(files, newFile) : body.readI0Files(files, newFile);
    done = false;
    // Refused before anything was queued: no loader will answer, so the
    // answer a load gives comes from here.
    if (!refusal.isEmpty()) {
        refused(cmd, refusal);
        emit body.finishBatchExec(i1 ? load_I1_files : load_I0_files);
    }
}

void CmdExecutor::saveSpectra(const CmdLine& cmd)
{
    const QString name = cmd.arg(0);
    if (name.isEmpty()) {
        refused(cmd, tr("no file name given: nothing saved"));
        return;
    }
    SpecPane* pane = body.specWindow;
    // The cursor spectrum of a stack that was emptied is no spectrum of
    // anything loaded; a standard shown alone is still saved (scripts read
    // its E0 and jump so).
    if (pane && body.i1Images.isEmpty() && !pane->current.points.isEmpty()) {
        pane->current = XafsSpectrum();
        pane->update();
    }
    if (!pane || !pane->hasPoints()) {
        refused(cmd, body.i1Images.isEmpty() ? tr("no image stack is loaded: no spectrum to save")
                                             : tr("no spectrum of the spectrum window has a point: nothing saved"));
        return;
    }
    // Beyond the I0 stack's ends mu is taken against another energy's I0 (a
    // falling I0 put it 0.41 too high 100 eV on): saved, and counted.
    const QString short0 = StackChecks::i0ShortOf(body.i0Images, body.i1Images, body.UseI0->isChecked());
    if (!short0.isEmpty() && !pane->current.points.isEmpty()) refused(cmd, short0);
    const int before = FailureLog::count();
    if (!pane->saveData(name)) ctrl.showCmdErr(cmd, FailureLog::count() > before);
}

void CmdExecutor::suggestElement(const CmdLine& cmd)
{
    const QString name = cmd.arg(0);
    const int z = atomicNumberOf(name);
    if (z >= 1 && z < victoreenTableSize) {
        body.SuggestingElm->setText(name);
        body.newElmSuggested();
        return;
    }
    // The element and its edge energy would stay as they were, unsaid.
    QString like;
    for (int k = 1; k < victoreenTableSize && like.isEmpty(); ++k)
        if (elementTable[k].symbol.compare(name, Qt::CaseInsensitive) == 0) like = elementTable[k].symbol;
    const QString keeps = tr("the element stays %1").arg(body.SuggestingElm->text());
    if (!like.isEmpty())
        refused(cmd, tr("no element has the symbol %1; did you mean %2? %3").arg(name, like, keeps));
    else if (z >= 1)
        refused(cmd, tr("%1 has no edge energy in the table; %2").arg(name, keeps));
    else
        refused(cmd, tr("no element has the symbol %1 (symbols as Fe, Cu, Zn); %2").arg(name, keeps));
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
    case eng_by_name_reg_exp_i1: s1->setEngByNameRegExp(a0); break;
    case set_i0_energy_pattern:
    case eng_by_name_reg_exp_i0: s0->setEngByNameRegExp(a0); break;
    case load_I1_files: load(true, false, cmd, done); break;
    case load_I0_files: load(false, false, cmd, done); break;
    case load_I1_files_of_pattern: load(true, true, cmd, done); break;
    case load_I0_files_of_pattern: load(false, true, cmd, done); break;
    case Use_I0: body.UseI0->setChecked(flagOf(a0)); break;
    case cut_f_i0: s0->CutFirst->setText(QString::number(boundedArg(cmd, 0, 0, INT_MAX))); break;
    case cut_f_i1: s1->CutFirst->setText(QString::number(boundedArg(cmd, 0, 0, INT_MAX))); break;
    case cut_l_i0: s0->CutLast->setText(QString::number(boundedArg(cmd, 0, 0, INT_MAX))); break;
    case cut_l_i1: s1->CutLast->setText(QString::number(boundedArg(cmd, 0, 0, INT_MAX))); break;
    case skip_i0: s0->Skip->setText(QString::number(boundedArg(cmd, 0, 1, INT_MAX))); break;
    case skip_i1: s1->Skip->setText(QString::number(boundedArg(cmd, 0, 1, INT_MAX))); break;
    case show_latest_i0: s0->additionalSetup().ShowLatest->setChecked(flagOf(a0)); break;
    case show_latest_i1: s1->additionalSetup().ShowLatest->setChecked(flagOf(a0)); break;
    case eng_by_name_i0: e0->FromFileName->setChecked(true); break;
    case eng_by_name_i1: e1->FromFileName->setChecked(true); break;
    case eng_by_name_factor_i0: e0->Factor->setText(realText(a0)); break;
    case eng_by_name_factor_i1: e1->Factor->setText(realText(a0)); break;
    case eng_by_calc_i0: e0->FromFileNum->setChecked(flagOf(a0)); break;
    case eng_by_calc_i1: e1->FromFileNum->setChecked(flagOf(a0)); break;
    case eng_calc_base_i0: setEngCalc(s0, calcStart, cmd); break;
    case eng_calc_base_i1: setEngCalc(s1, calcStart, cmd); break;
    case eng_calc_delta_i0: setEngCalc(s0, calcDelta, cmd); break;
    case eng_calc_delta_i1: setEngCalc(s1, calcDelta, cmd); break;
    case eng_calc_end_i0: setEngCalc(s0, calcEnd, cmd); break;
    case eng_calc_end_i1: setEngCalc(s1, calcEnd, cmd); break;
    case eng_calc_num_i0: setEngCalc(s0, calcNum, cmd); break;
    case eng_calc_num_i1: setEngCalc(s1, calcNum, cmd); break;
    case eng_calc_even_in_eng_i0: e0->EvenInEnergy->setChecked(flagOf(a0)); break;
    case eng_calc_even_in_eng_i1: e1->EvenInEnergy->setChecked(flagOf(a0)); break;
    case eng_calc_even_in_deg_i0: e0->EvenInAngle->setChecked(flagOf(a0)); break;
    case eng_calc_even_in_deg_i1: e1->EvenInAngle->setChecked(flagOf(a0)); break;
    // Another unit than the one named would change every calculated energy.
    case eng_calc_disp_unit_i0:
        if (choiceArg(cmd, 0, e0->DisplayUnit->count() - 1)) s0->setDispUnit(a0.toInt());
        break;
    case eng_calc_disp_unit_i1:
        if (choiceArg(cmd, 0, e1->DisplayUnit->count() - 1)) s1->setDispUnit(a0.toInt());
        break;
    case eng_by_ref_i0:
    case eng_by_ref_i1: {
        const QString why = (id == eng_by_ref_i1 ? s1 : s0)->setEngByRef(a0);
        if (!why.isEmpty()) refused(cmd, why);
        break;
    }
    case set_fluo_type: body.FluoType->setChecked(flagOf(a0)); break;
    case Suggest_Elm: body.UseSuggestElm->setChecked(flagOf(a0)); body.newElmSuggested(); break;
    case Suggesting_Elm: suggestElement(cmd); break;
    case Suggesting_Edge:
        if (!choiceArg(cmd, 0, body.SuggestingEdge->count() - 1)) break;
        body.SuggestingEdge->setCurrentIndex(a0.toInt());
        body.newElmSuggested();
        break;
    case Suggesting_Edge_eV: body.SuggestingEeV->setText(a0); break;
    case Suggesting_Pre_End_eV: body.DPreE->setText(a0); break;
    case Suggesting_Post_Start_eV: body.DPostS->setText(a0); break;
    // Setting an area brings the earlier selection back: each word needs its
    // own select_region.
    case set_i0_dark_area:
    case set_i1_dark_area: {
        const QString why = id == set_i0_dark_area ? body.setI0DarkArea() : body.setI1DarkArea();
        if (!why.isEmpty()) refused(cmd, why);
        break;
    }
    case clear_i0_dark_area: body.clearI0DarkArea(); break;
    case clear_i1_dark_area: body.clearI1DarkArea(); break;
    // A negative half width stands for its magnitude, as typed in the field.
    case set_band_w:
        body.HWidth->setText(QString::number(boundedArg(cmd, 0, -InputBounds::maxHalfWidth(), InputBounds::maxHalfWidth())));
        break;
    case set_band_h:
        body.VWidth->setText(QString::number(boundedArg(cmd, 0, -InputBounds::maxHalfWidth(), InputBounds::maxHalfWidth())));
        break;
    case select_disp_image:
        // A later save_image would save another view than the one named.
        if (choiceArg(cmd, 0, 3, [this](int id) { return body.dispSelect.button(id) != nullptr; }))
            body.dispSelect.button(a0.toInt())->setChecked(true);
        break;
    case select_disp_image_i1: body.ShowData->setChecked(true); break;
    case select_disp_image_i0: body.ShowI0->setChecked(true); break;
    case select_disp_image_eShift: body.ShowShiftMap->setChecked(true); break;
    case select_disp_image_analyzed: body.ShowResAnalysis->setChecked(true); break;
    case seek_image: seekImage(cmd); break;
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
    case save_spectra: saveSpectra(cmd); break;
    case cbar_set_range:
        body.CBar->valueMin = a0.toDouble();
        body.CBar->valueMax = cmd.arg(1).toDouble();
        body.CBar->paintCBar();
        qDebug() << "setting cbar" << body.CBar->valueMin << body.CBar->valueMax;
        break;
    case select_region: selectRegion(cmd); break;
    case specpane_normalize:
        if (body.specWindow) body.specWindow->ui.Normalized->setChecked(flagOf(a0));
        break;
    case specpane_enerugy_correction:
        if (body.specWindow) body.specWindow->ui.ECorrect->setChecked(flagOf(a0));
        break;
    case move_position: movePosition(cmd); break;
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
