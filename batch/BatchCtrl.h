#ifndef BATCHCTRL_H
#define BATCHCTRL_H

#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include "BatchLog.h"
#include "CmdLine.h"
#include "PendingLog.h"
#include "ScriptText.h"
#include "ui_BatchCtrl.h"

class BatchDispatcher;
class LazyFileDialog;

// The batch editor: the script, its file, its run and the progress log.
class BatchCtrl : public QMainWindow {
    Q_OBJECT

public:
    explicit BatchCtrl(QWidget* parent = nullptr);
    ~BatchCtrl() override;

    void setDispatcher(BatchDispatcher* d);
    void dispatchCmds(const QStringList& cmdLines);
    // Lists of lines handed to the interpreter so far.
    int listsDispatched() const { return dispatched; }

    LazyFileDialog* saveFileDialog() const { return saveDialog; }
    LazyFileDialog* loadFileDialog() const { return loadDialog; }

    Ui_BatchCtrl ui;

signals:
    void doDispatchCmds(const QStringList& cmdLines);

public slots:
    void execCmdsSlot();
    void execBatchSlot();
    void clear();
    void clearLog();
    void save(const QString& fname);
    // Whether the file could be read into the window.
    bool load(const QString& fname);
    bool setBatchFile(const QString& fname);
    // Why the last load failed, empty after one that worked.
    QString loadError() const { return whyNotLoaded; }
    // The last load found no script where the name pointed: a device, a
    // folder, a file too long for one.
    bool loadRefused() const { return refused; }
    // Texts of the command executor and the window itself. In a script run
    // without a screen they also go to standard error.
    void Log(const QString& logMsg);
    // Texts of the interpreter, which writes its own copy on standard error.
    void interpreterLog(const QString& logMsg);
    // An "Err:" line: text on a line of its own, counted as a failure of the run.
    void logError(const QString& text, bool counted = false);
    // counted: the step's failure is already in the failure log.
    void showCmdErr(const CmdLine& cmd, bool counted = false);
    // The script line whose command runs now: its "Err:" lines name it.
    void setCurrentLine(int lineNo) { currentLine = lineNo; }

public:
    // Each line of text cut to maxShownLine characters, saying how much of
    // it was cut.
    static QString shownLines(const QString& text);
    static constexpr int maxShownLine = BatchLog::maxShownLine;
    // Lines the log keeps; older ones go, and the first line says how many.
    static constexpr int maxLogLines = 10000;
    // A script file longer than this is no script (ScriptText).
    static constexpr qint64 maxScriptBytes = ScriptText::maxBytes;
    int linesLeftOut() const { return leftOut; }
    // The log as the window shows it, with what has not been shown yet.
    QString logText();
    // A shown window puts what came into its log at most this often.
    static constexpr int logTickMs = 100;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void setupFileDialogs();
    // Queues text, already cut to its shown length, for the log.
    void appendLog(const QString& shown);
    // Puts what is queued into the log view.
    void showPendingLog();
    void insertLog(const QString& text);
    void trimLog();

    BatchDispatcher* dispatcher = nullptr;
    LazyFileDialog* saveDialog = nullptr;
    LazyFileDialog* loadDialog = nullptr;
    int currentLine = 0;
    int dispatched = 0;
    int leftOut = 0;
    // However fast lines come, the view gets one insertion a tick, of a
    // bounded number of lines, and none while nobody can see it: a flood of
    // lines must not keep the GUI thread, and a stop, waiting.
    PendingLog pendingLog{maxLogLines};
    QTimer logTick;
    QString whyNotLoaded;
    bool refused = false;
};

#endif
