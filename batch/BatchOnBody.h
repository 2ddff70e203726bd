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
    // Stop, and no command of it runs any more.
    void stopScript();

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
    QVector<QMetaObject::Connection> connections;
};

#endif
