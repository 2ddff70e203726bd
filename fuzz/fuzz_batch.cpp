// Batch scripts through the interpreter, every execution command answered at
// once, and the line parser on its own. Scripts that loop for ever (a step
// away from the end) are cut after a bounded number of turns.
#include "FuzzSupport.h"

#include "batch/BatchCmd.h"
#include "batch/BatchDispatcher.h"
#include "batch/CmdLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::folder();
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& l : lines) {
        CmdLine c;
        c.setLine(l);
        isExCmd(c);
    }

    BatchDispatcher d;
    int answered = 0;
    QObject::connect(&d, &BatchDispatcher::execCmdSig, &d, [&](CmdLine, bool) {
        if (++answered < 2000) d.finishBatchExec(0);
    });
    d.doDispatchCmds(lines);
    for (int turn = 0; turn < 8 && d.isRunning(); ++turn)
        QCoreApplication::processEvents();
    d.batchStopSlot();
    QCoreApplication::processEvents();
    return 0;
}
