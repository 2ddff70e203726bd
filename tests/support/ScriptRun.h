#ifndef SCRIPTRUN_H
#define SCRIPTRUN_H

#include <QElapsedTimer>
#include <QList>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

#include "batch/BatchCtrl.h"

// Scripts run through a main window's batch window, in process.
namespace scriptrun {

inline QString logOf(const BatchCtrl* c)
{
    return c->ui.BatchLogs->toPlainText();
}

// Runs script and waits for the interpreter's end line; false on time-out.
inline bool run(BatchCtrl* c, const QString& script, int ms = 20000)
{
    c->clearLog();
    c->ui.BatchCmds->setPlainText(script);
    c->execBatchSlot();
    QElapsedTimer t;
    t.start();
    while (!logOf(c).contains("\nend")) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(5);
    }
    return true;
}

// The completion ids a spy on finishBatchExec has seen, in order.
inline QList<int> idsOf(const QSignalSpy& s)
{
    QList<int> ids;
    for (const QList<QVariant>& a : s) ids << a.at(0).toInt();
    return ids;
}

}  // namespace scriptrun

#endif
