#ifndef BATCHCTRL_H
#define BATCHCTRL_H

#include <QMainWindow>
#include <QStringList>

#include "CmdLine.h"
#include "ui_BatchCtrl.h"

class BatchDispatcher;
class _FileDialog;

// The batch editor: the script, its file, its run and the progress log.
class BatchCtrl : public QMainWindow {
    Q_OBJECT

public:
    explicit BatchCtrl(QWidget* parent = nullptr);
    ~BatchCtrl() override;

    void setDispatcher(BatchDispatcher* d);
    void dispatchCmds(const QStringList& cmdLines);

    _FileDialog* saveFileDialog() const { return saveDialog; }
    _FileDialog* loadFileDialog() const { return loadDialog; }

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
    void Log(const QString& logMsg);
    // An "Err:" line: text on a line of its own, counted as a failure of the run.
    void logError(const QString& text, bool counted = false);
    // counted: the step's failure is already in the failure log.
    void showCmdErr(const CmdLine& cmd, bool counted = false);

public:
    // Each line of text cut to maxShownLine characters, saying how much of
    // it was cut.
    static QString shownLines(const QString& text);
    static constexpr int maxShownLine = 1000;

private:
    void setupFileDialogs();
    // Puts text, already cut to its shown length, into the log.
    void appendLog(const QString& shown);

    BatchDispatcher* dispatcher = nullptr;
    _FileDialog* saveDialog = nullptr;
    _FileDialog* loadDialog = nullptr;
};

#endif
