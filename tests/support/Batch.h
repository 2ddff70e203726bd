#ifndef SUPPORT_BATCH_H
#define SUPPORT_BATCH_H

#include "batch/BatchCmd.h"
#include "batch/BatchCtrl.h"
#include "core/Globals.h"

#include <QElapsedTimer>
#include <QList>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Scripts run through the batch window of a main window, as a user pastes them.
namespace ts {

// The tables a batch run needs, its root in tmp; false when tmp is unusable.
inline bool initBatchRun(const QTemporaryDir& tmp)
{
    initGlobals();
    initBatchCmdTables();
    BatchRoot = tmp.path();
    return tmp.isValid();
}

// The log with what the window has not shown yet (a hidden window shows nothing).
inline QString logOf(BatchCtrl* c) { return c->logText(); }

// Runs a script and waits until its log says it ended.
inline bool runScript(BatchCtrl* c, const QString& script, int ms = 20000)
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

// The ids a finishBatchExec spy saw, in order.
inline QList<int> idsOf(const QSignalSpy& s)
{
    QList<int> ids;
    for (const QList<QVariant>& a : s) ids << a.at(0).toInt();
    return ids;
}

}  // namespace ts

#endif
