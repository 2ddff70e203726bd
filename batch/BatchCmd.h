#ifndef BATCHCMD_H
#define BATCHCMD_H

#include <QString>
#include <QVector>

#include "core/ExCmdId.h"

class CmdLine;

// Control words are handled by the interpreter itself; 7 means "no control word".
enum CTRL_CMD_ID : int {
    ctrl_for = 0,
    ctrl_next = 1,
    ctrl_echo = 2,
    ctrl_rem_start = 3,
    ctrl_rem_end = 4,
    ctrl_end = 5,
    ctrl_let = 6,
    not_ctrl_cmd = 7
};

struct BatchCmdEntry {
    qint32 id;
    QString word;
};

// Filled once by initBatchCmdTables before any thread starts; read-only after.
extern QVector<BatchCmdEntry> ctrlCmdList;
extern QVector<BatchCmdEntry> exCmdList;

void initBatchCmdTables();

CTRL_CMD_ID ctrlCmdId(const CmdLine& line);
bool isCtrlCmd(CmdLine line);
EX_CMD_ID exCmdId(const CmdLine& line);
bool isExCmd(CmdLine line);
QString exCmdName(EX_CMD_ID id);

// The id a command is answered with: loads of a pattern answer as loads, every
// 2-D analysis word as the run. Commands that answer when a long operation
// ends (loads, 2-D runs, calibration) are never answered by the no-action path.
EX_CMD_ID answerIdOf(EX_CMD_ID id);
bool answersWhenDone(EX_CMD_ID id);

#endif
