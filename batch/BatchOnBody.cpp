#include "BatchOnBody.h"

#include <QDebug>
#include <QThread>

#include "BatchCmd.h"
#include "BatchCtrl.h"
#include "BatchDispatcher.h"
#include "BatchLog.h"
#include "CfgBatchLines.h"
#include "CmdExecutor.h"
#include "core/Cfg.h"
#include "core/LogNote.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"

namespace {

// The program's notes are lines of a script run's log, not debug lines that
// QT_LOGGING_RULES may silence.
bool noteToLog(const QString& text)
{
    if (!BatchLog::toStandardError()) return false;
    BatchLog::write(BatchLog::shown(text));
    return true;
}

}  // namespace

void installBatchOnBody()
{
    LogNote::setSink(noteToLog);
    BodyHooks& h = Body::hooks();
    h.setupBatch = [](Body& body) { new BatchOnBody(body); };
    h.execBatchsInCfg = [](Body& body) {
        if (BatchOnBody* b = BatchOnBody::of(body)) b->execBatchsInCfg();
    };
    h.beforeTeardown.insert(QStringLiteral("batch"), [](Body& body) {
        if (BatchOnBody* b = BatchOnBody::of(body)) b->stop();
    });
}

BatchOnBody::BatchOnBody(Body& b) : QObject(&b), body(b)
{
    setObjectName(QStringLiteral("BatchOnBody"));
    qRegisterMetaType<CmdLine>("CmdLine");

    batchThread = new QThread;
    disp = new BatchDispatcher;
    disp->moveToThread(batchThread);
    batchThread->start(QThread::InheritPriority);

    ctrl = new BatchCtrl;
    ctrl->setDispatcher(disp);
    connections << connect(body.BatchCtrlB, &QPushButton::clicked, ctrl, &QWidget::show);
    exec = new CmdExecutor(body, *ctrl, this);
    // Queued to this thread; a command already on its way when the window
    // closes finds the script stopped.
    connections << connect(disp, &BatchDispatcher::execCmdSig, this, [this](const CmdLine& cmd, bool inRem) {
        if (stopped) return;
        ctrl->setCurrentLine(cmd.lineNo);
        if (!inRem) {
            CmdLine w;
            w.setLine(cmd.word);
            // The script's own end: what follows "quit" is not left undone.
            if (exCmdId(w) == quit) quitting = true;
        }
        exec->execCmdSlot(cmd, inRem);
    });
    connections << connect(disp, &BatchDispatcher::settled, this, [this](int lists) {
        if (endAfterLists < 0 || lists < endAfterLists || stopped) return;
        endAfterLists = -1;
        const QString text = tr("Batch: the script ended without \"quit\"; the program ends");
        BatchLog::write(text);
        body.close();
    });
    connections << connect(&body, &Body::finishing, this, &BatchOnBody::stopScript);
    connections << connect(&body, &Body::finishBatchExec, disp, &BatchDispatcher::finishBatchExec);
}

BatchOnBody::~BatchOnBody()
{
    stop();
    delete exec;
    // The thread has ended: the interpreter can go from here, with whatever
    // was still posted to it.
    delete disp;
    delete batchThread;
    delete ctrl;
}

BatchOnBody* BatchOnBody::of(const Body& body)
{
    return body.findChild<BatchOnBody*>(QStringLiteral("BatchOnBody"), Qt::FindDirectChildrenOnly);
}

bool BatchOnBody::allConnected() const
{
    for (const QMetaObject::Connection& c : connections)
        if (!c) return false;
    return !connections.isEmpty();
}

void BatchOnBody::stop()
{
    if (batchThread && batchThread->isRunning()) {
        batchThread->quit();
        batchThread->wait();
    }
}

void BatchOnBody::stopScript()
{
    if (stopped) return;
    // Left running, the script would reopen panels and save into a program
    // that is ending, and a panel it shows keeps the program from ending.
    stopped = true;
    disp->askStop();
    const bool report = !quitting;
    // Waited for (the interpreter stops within a line), so that the count
    // of lines not run is in before the program's status is taken.
    if (batchThread && batchThread->isRunning())
        QMetaObject::invokeMethod(disp, [this, report] { disp->stopScript(report); }, Qt::BlockingQueuedConnection);
}

void BatchOnBody::endWithScript(int lists)
{
    endAfterLists = lists;
}

void BatchOnBody::execBatchsInCfg()
{
    // Files the configuration names and that could not be read: without
    // them bad pixels go unrepaired, keys unset.
    for (const Cfg::Unread& u : qAsConst(globalCfg.unreadFiles)) {
        QString why;
        switch (u.why) {
        case Cfg::Unread::CannotOpen:
            why = tr("the configuration file %1 cannot be read (%2): its keys are not set").arg(u.file, u.detail);
            break;
        case Cfg::Unread::NotPlainFile:
            why = tr("the configuration file %1 is not read: it is no plain file").arg(u.file);
            break;
        case Cfg::Unread::ZeroInName:
            why = tr("the configuration file %1 is not read: its name holds a zero character").arg(u.file);
            break;
        case Cfg::Unread::BadPixelList:
            why = tr("the bad-pixel list %1 (ErrPoints) cannot be read: bad pixels are not repaired").arg(u.file);
            break;
        }
        ctrl->logError(tr("Err: %1").arg(why));
    }
    ctrl->dispatchCmds(batchLinesOfCfg(globalCfg));
}
