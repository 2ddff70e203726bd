#ifndef CMDEXECUTOR_H
#define CMDEXECUTOR_H

#include <QObject>

#include <functional>

#include "CmdLine.h"

class Analyzer;
class BatchCtrl;
class Body;
class SelectDataFiles;
namespace InputBounds {
struct Extent;
}

// Performs one batch execution command on the main window the way a user
// would, then answers through the main window's finishBatchExec. Commands
// without an action are logged in the batch window and answered with 158.
class CmdExecutor : public QObject
{
    Q_OBJECT

public:
    CmdExecutor(Body& body, BatchCtrl& ctrl, QObject* parent = nullptr);

public slots:
    void execCmdSlot(CmdLine cmd, bool inRem);

private slots:
    void calibRunEnded();

private:
    // Runs the action of id; false when the id has no action. done is set
    // false when the completion comes later from a long operation.
    bool act(int id, const CmdLine& cmd, bool& done);
    void noAction(const CmdLine& cmd);
    void load(bool i1, bool ofPattern, const CmdLine& cmd, bool& done);
    // A value brought within bounds is said in the batch log (and the debug
    // output, which a run without a screen shows); a refused one is an
    // "Err:" line, counted as a failure of the run.
    void said(const QString& text);
    void refused(const CmdLine& cmd, const QString& why);
    // Argument k as an integer within lo .. hi, said when clipped.
    int boundedArg(const CmdLine& cmd, int k, int lo, int hi);
    static QString extentText(const InputBounds::Extent& e);
    void movePosition(const CmdLine& cmd);
    void selectRegion(const CmdLine& cmd);
    void seekImage(const CmdLine& cmd);
    enum CalcField { calcStart, calcDelta, calcEnd, calcNum };
    // A value the energy calculation refuses is an "Err:" line; the panel
    // keeps its fields.
    void setEngCalc(SelectDataFiles* s, CalcField f, const CmdLine& cmd);
    // Argument k names one of the choices 0 .. last that exist (exists);
    // otherwise it is refused and false returned.
    bool choiceArg(const CmdLine& cmd, int k, int last, const std::function<bool(int)>& exists = nullptr);
    // The key of the element row argument 0 names (ElemList::rowKey); empty,
    // and refused, when it names none.
    QString elemRow(Analyzer* a, const CmdLine& cmd, bool byIndex);
    // save_spectra: refused when there is no name or no spectrum with a point.
    void saveSpectra(const CmdLine& cmd);
    // Suggesting_Elm: refused when the text is no element with an edge energy.
    void suggestElement(const CmdLine& cmd);
    // The analysis panel's commands (CmdExecAnalyzer.cpp).
    bool actAnalyzer(int id, const CmdLine& cmd, bool& done);
    // Calibration, statistics and saving-settings commands (CmdExecTools.cpp).
    bool actTools(int id, const CmdLine& cmd, bool& done);

    Body& body;
    BatchCtrl& ctrl;
    // "calib_exec" commands whose run has not ended yet.
    int calibAnswersOwed = 0;
};

#endif
