#ifndef BATCHONBODY_H
#define BATCHONBODY_H

#include <QMetaObject>
#include <QObject>
#include <QVector>

#include "CmdLine.h"

class BatchCtrl;
class BatchDispatcher;
class CmdExecutor;
class Body;
class QThread;

// Fills the main window's batch steps: the interpreter on its own thread, the
// batch window, the executor's side of the two, the configuration's script
// lines at the end of construction, and the thread's stop before teardown.
void installBatchOnBody();

// The batch side of one main window, a child of it. The interpreter lives on
// its own thread; commands come back to the executor on the GUI thread and
// are answered through the main window's finishBatchExec.
class BatchOnBody : public QObject
{
    Q_OBJECT

public:
    explicit BatchOnBody(Body& body);
    ~BatchOnBody() override;

    // The extension of body, null when the batch steps were not installed.
    static BatchOnBody* of(const Body& body);

    // Quits the interpreter's thread and waits for it; nothing reaches the
    // interpreter afterwards.
    void stop();
    // Hands the configuration's "batch" lines to the interpreter.
    void execBatchsInCfg();
    // The main window is closing (or "quit" ran): the script stops as with
    // Stop, and no command of it runs any more. Closed before its end (not
    // by "quit"), the script's stop is counted as a failure and says how many
    // lines were not run.
    void stopScript();
    // A run without a screen: the program ends when the script dispatched
    // last (lists dispatched so far) has no line left, saying so when it
    // ended without "quit".
    void endWithScript(int lists);

    BatchCtrl* batchCtrl() const { return ctrl; }
    BatchDispatcher* dispatcher() const { return disp; }
    CmdExecutor* executor() const { return exec; }
    QThread* thread() const { return batchThread; }
    // Every connection made for the main window was made.
    bool allConnected() const;

private:
    Body& body;
    QThread* batchThread = nullptr;
    BatchDispatcher* disp = nullptr;
    BatchCtrl* ctrl = nullptr;
    CmdExecutor* exec = nullptr;
    bool stopped = false;
    bool quitting = false;
    int endAfterLists = -1;
    QVector<QMetaObject::Connection> connections;
};

#endif
