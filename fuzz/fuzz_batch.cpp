// Batch scripts through the interpreter, with the word tables set up as at
// start, every execution command answered at once as the executor would
// answer it, and the line parser on its own. Scripts that loop for ever (a
// step away from the end) are cut after a bounded number of turns. A line
// that substitution let grow beyond its bound is a finding.
#include "FuzzSupport.h"

#include <cstdlib>

#include "batch/BatchCmd.h"
#include "batch/BatchDispatcher.h"
#include "batch/CmdLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::folder();
    // Without the tables no word is known: nothing but labels would run.
    static const bool tables = [] {
        initBatchCmdTablesHook = initBatchCmdTables;
        initGlobals();
        return true;
    }();
    (void)tables;

    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& l : lines) {
        CmdLine c;
        c.setLine(l);
        isExCmd(c);
        isCtrlCmd(c);
    }

    BatchDispatcher d;
    int answered = 0;
    QObject::connect(&d, &BatchDispatcher::execCmdSig, &d, [&](CmdLine c, bool inRem) {
        qint64 shown = c.word.size();
        for (const QString& a : qAsConst(c.args)) shown += 1 + a.size();
        if (shown > BatchDispatcher::maxSubstitutedLine && shown > c.line.size()) std::abort();
        if (++answered < 2000) d.finishBatchExec(inRem ? int(not_ex_cmd) : int(answerIdOf(exCmdId(c))));
    });
    d.doDispatchCmds(lines);
    for (int turn = 0; turn < 8 && d.isRunning(); ++turn)
        QCoreApplication::processEvents();
    d.batchStopSlot();
    QCoreApplication::processEvents();
    return 0;
}
