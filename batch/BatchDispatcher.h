#ifndef BATCHDISPATCHER_H
#define BATCHDISPATCHER_H

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <atomic>

#include "CmdLine.h"
#include "KeySubst.h"
#include "LoopVar.h"
#include "core/Cfg.h"

// The batch interpreter. It lives on a thread of its own, handles the control
// words itself and hands each execution command to the main window with
// execCmdSig; the next line is taken only when the answer owed to that
// command comes back through finishBatchExec.
class BatchDispatcher : public QObject {
    Q_OBJECT

public:
    explicit BatchDispatcher(QObject* parent = nullptr);

    int stepLoop(int line, const QString& name, LoopVar& out);
    // TooLong when the line, word and arguments with a blank before each,
    // would grow beyond maxSubstitutedLine; Stopped when a stop was asked for
    // on the way. The arguments are then partly substituted and the line
    // must not run.
    SubstResult substituteVars(CmdLine& cmd);
    // No command needs a longer line.
    static constexpr int maxSubstitutedLine = 1 << 20;

    // State as seen from the interpreter's own thread.
    bool isRunning() const { return running; }
    const Cfg& variables() const { return vars; }
    QVector<LoopVar> loopVars() const { return loops.inOrder(); }
    // Answers still owed to commands sent, those of stopped scripts included.
    int answersOwed() const { return owed.size(); }

    // Lines taken in one go before the thread's event loop gets a turn, so a
    // Stop or a quit of the thread reaches a long run of control lines.
    static const int linesPerTurn = 1000;
    // The log texts of a run of lines go out together, at most once per
    // logInterval ms (and before each command sent), holding at most
    // logLinesKept lines: a loop of control lines must not flood the GUI
    // thread faster than it can show them.
    static const int logInterval = 100;
    static const int logLinesKept = 1000;

    // Any thread: the running script stops taking lines at once, also in the
    // middle of a line's substitution (that line then counts as not run);
    // the Stop itself (batchStopSlot, queued) follows.
    void askStop() { stopAsked = true; }
    // The script ends here. With report, a script stopped before its end is
    // counted as a failure and the lines not run are said. Returns their
    // number. On the interpreter's thread.
    int stopScript(bool report);
    // Lists of lines received so far, in all.
    int listsReceived() const { return received; }

signals:
    void execNextLineSig();
    void execCmdSig(CmdLine cmd, bool inRem);
    void Log(const QString& text);
    // The interpreter has no line left to take now: idle, or running with
    // every line taken and no answer awaited. Carries listsReceived().
    void settled(int lists);

public slots:
    void doDispatchCmds(const QStringList& cmdList);
    void batchStopSlot();
    void finishBatchExec(int id);

private slots:
    void execNextLineSlot();
    void resumeLines();

private:
    bool running = false;
    bool inRem = false;
    QStringList lines;
    int curLine = 0;
    Cfg vars;
    // Which keys of vars an argument holds, kept in step with the table.
    KeyFinder keyFinder;
    LoopTable loops;

    // Answers still to come, oldest first. A Stop keeps them, no longer the
    // script's own, so that their late arrival releases nothing.
    struct Owed {
        int id;
        bool ours;  // the running script waits for it
    };
    QVector<Owed> owed;
    // End (exclusive) of each list of lines dispatched, in order: a line
    // continued at the end of one list does not reach into the next.
    QVector<int> listEnds;
    int listEndAfter(int line) const;
    int listStartOf(int line) const;
    // The "Err:" line of a line refused for its length, counted as a failure.
    void refuseTooLong(int lineNo);

    // Log texts not yet sent, and how many older ones were left out.
    QStringList pendingLog;
    int pendingLeftOut = 0;
    QElapsedTimer sinceFlush;
    void log(const QString& text);
    void flushLog();
    // Lines from curLine on that hold a word, the list's closing ":end" not
    // counted, and the command awaited: what a stop leaves not run.
    int linesNotRun() const;
    // The ":next" of loop name after line from, within its list; -1 if none.
    int nextOfLoop(int from, const QString& name) const;
    std::atomic<bool> stopAsked{false};
    int received = 0;

    bool waiting = false;        // an execution command has not been answered yet
    bool resumePending = false;  // a run of lines goes on at the next turn of the event loop
    bool taking = false;         // inside execNextLineSlot
    bool stepAsked = false;      // a completion or a new script came while taking
};

#endif
