#include "BatchCtrl.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextStream>

#include <climits>

#include "BatchDispatcher.h"
#include "BatchLog.h"
#include "ScriptText.h"
#include "core/FailureLog.h"
#include "core/Globals.h"
#include "mainwindow/SafeSave.h"
#include "widgets/LazyFileDialog.h"
#include "widgets/_FileDialog.h"

BatchCtrl::BatchCtrl(QWidget* parent) : QMainWindow(parent)
{
    ui.setupUi(this);
    // Every insertion would be kept for undo, without bound.
    ui.BatchLogs->setUndoRedoEnabled(false);
    setupFileDialogs();
    connect(ui.Exec, &QPushButton::clicked, this, &BatchCtrl::execCmdsSlot);
    logTick.setSingleShot(true);
    logTick.setInterval(logTickMs);
    connect(&logTick, &QTimer::timeout, this, &BatchCtrl::showPendingLog);
}

BatchCtrl::~BatchCtrl()
{
    delete saveDialog;
    delete loadDialog;
}

void BatchCtrl::setupFileDialogs()
{
    const QStringList filters{tr("Batch File (*.bat)"), tr("Any Files (* *.*)")};
    // The batch root as it is now, when the window is made.
    const QString root = BatchRoot;
    auto shape = [filters, root](QFileDialog::AcceptMode mode) {
        return [filters, root, mode](_FileDialog& d) {
            d.setDirectory(root);
            d.setFileMode(QFileDialog::AnyFile);
            d.setNameFilters(filters);
            d.setAcceptMode(mode);
        };
    };
    saveDialog = new LazyFileDialog(shape(QFileDialog::AcceptSave));
    loadDialog = new LazyFileDialog(shape(QFileDialog::AcceptOpen));

    connect(ui.Save, &QPushButton::clicked, saveDialog, &LazyFileDialog::show);
    connect(saveDialog, &LazyFileDialog::fileSelected, this, &BatchCtrl::save);
    connect(ui.Load, &QPushButton::clicked, loadDialog, &LazyFileDialog::show);
    connect(loadDialog, &LazyFileDialog::fileSelected, this, &BatchCtrl::load);
    connect(ui.Clear, &QPushButton::clicked, this, &BatchCtrl::clear);
    connect(ui.ClearLog, &QPushButton::clicked, this, &BatchCtrl::clearLog);
}

void BatchCtrl::setDispatcher(BatchDispatcher* d)
{
    // A second call must not double every line and every log text.
    if (dispatcher) {
        disconnect(ui.Stop, SIGNAL(clicked()), dispatcher, SLOT(batchStopSlot()));
        disconnect(this, SIGNAL(doDispatchCmds(const QStringList&)),
                   dispatcher, SLOT(doDispatchCmds(const QStringList&)));
        disconnect(dispatcher, SIGNAL(Log(const QString&)), this, SLOT(interpreterLog(const QString&)));
        disconnect(ui.Stop, &QPushButton::clicked, this, nullptr);
    }
    dispatcher = d;
    if (!d)
        return;
    // At once, from this thread: a run of lines stops without waiting for
    // its turn to end.
    connect(ui.Stop, &QPushButton::clicked, this, [d] { d->askStop(); });
    connect(ui.Stop, SIGNAL(clicked()), d, SLOT(batchStopSlot()));
    connect(this, SIGNAL(doDispatchCmds(const QStringList&)), d, SLOT(doDispatchCmds(const QStringList&)));
    connect(d, SIGNAL(Log(const QString&)), this, SLOT(interpreterLog(const QString&)));
}

void BatchCtrl::dispatchCmds(const QStringList& cmdLines)
{
    ++dispatched;
    emit doDispatchCmds(cmdLines);
}

void BatchCtrl::execCmdsSlot()
{
    QStringList lines = ui.BatchCmds->toPlainText().split(QLatin1Char('\n'));
    lines << QStringLiteral(":end");
    ++dispatched;
    emit doDispatchCmds(lines);
}

void BatchCtrl::execBatchSlot()
{
    execCmdsSlot();
}

void BatchCtrl::clear()
{
    ui.BatchCmds->clear();
}

void BatchCtrl::clearLog()
{
    ui.BatchLogs->clear();
    pendingLog.clear();
    leftOut = 0;
}

void BatchCtrl::save(const QString& fname)
{
    // Written whole or not at all: a full disk must not cut the user's
    // earlier script short. A failure is in the debug output and counted.
    const QString text = ui.BatchCmds->toPlainText();
    QString why;
    SafeSave::viaDevice(fname, [&text](QIODevice& f) {
        QTextStream out(&f);
        out.setCodec("UTF-8");
        out << text;
        out.flush();
        return out.status() == QTextStream::Ok;
    }, &why, true);
    SafeWrite::Outcome saved;
    if (!saved.add(fname, why)) statusBar()->showMessage(saved.text());
}

bool BatchCtrl::load(const QString& fname)
{
    whyNotLoaded.clear();
    refused = false;
    // A pipe (-b /dev/stdin) is a script like any file; a folder is none.
    if (!fname.isEmpty() && QFileInfo(fname).isDir()) {
        refused = true;
        whyNotLoaded = tr("the batch file %1 is not a regular file").arg(fname);
    }
    // Raw bytes: text mode would drop every CR, and a script with CR line
    // ends would become one line.
    QFile f(fname);
    if (whyNotLoaded.isEmpty() && (fname.isEmpty() || !f.open(QIODevice::ReadOnly)))
        whyNotLoaded = tr("cannot read the batch file %1").arg(fname);
    QByteArray bytes;
    // Read with a cap: a device (/dev/zero) or a file that grows never ends.
    while (whyNotLoaded.isEmpty()) {
        const QByteArray part = f.read(maxScriptBytes + 1 - bytes.size());
        if (part.isEmpty()) break;
        bytes += part;
        if (bytes.size() > maxScriptBytes) break;
    }
    ScriptText script;
    if (whyNotLoaded.isEmpty()) {
        script = ScriptText::fromBytes(bytes, fname);
        bytes.clear();
        if (!script.ok()) {
            refused = true;
            whyNotLoaded = script.why;
        }
    }
    if (!whyNotLoaded.isEmpty()) {
        qDebug().noquote() << "Can't open batch file : " + fname;
        statusBar()->showMessage(whyNotLoaded);
        return false;
    }
    ui.BatchCmds->setPlainText(script.text);
    return true;
}

bool BatchCtrl::setBatchFile(const QString& fname)
{
    return load(fname);
}

QString BatchCtrl::shownLines(const QString& text)
{
    return BatchLog::shown(text);
}

void BatchCtrl::Log(const QString& logMsg)
{
    // The text view lays out a line of a hundred million characters until
    // memory runs out.
    const QString shown = shownLines(logMsg);
    BatchLog::write(shown);
    appendLog(shown);
}

void BatchCtrl::interpreterLog(const QString& logMsg)
{
    // Each text stands on a line of its own already; the last line of the
    // log stays open, as the log has always ended.
    QString text = shownLines(logMsg);
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    appendLog(text);
}

void BatchCtrl::appendLog(const QString& shown)
{
    pendingLog.add(shown);
    if (isVisible() && !logTick.isActive())
        logTick.start();
}

void BatchCtrl::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    showPendingLog();
}

QString BatchCtrl::logText()
{
    showPendingLog();
    return ui.BatchLogs->toPlainText();
}

void BatchCtrl::showPendingLog()
{
    logTick.stop();
    if (pendingLog.isEmpty())
        return;
    if (pendingLog.dropped() > 0) {
        // Every line the view holds is older than the oldest one kept.
        QTextDocument* doc = ui.BatchLogs->document();
        const int header = leftOut > 0 ? 1 : 0;
        const bool open = doc->lastBlock().text().isEmpty();
        const qint64 held = qMax(0, doc->blockCount() - header - (open ? 1 : 0));
        leftOut = int(qMin<qint64>(INT_MAX, leftOut + held + pendingLog.dropped()));
        ui.BatchLogs->setPlainText(tr("(%n earlier line(s) of the log not shown)", "", leftOut) + QLatin1Char('\n')
                                   + pendingLog.all());
        QTextCursor end(doc);
        end.movePosition(QTextCursor::End);
        ui.BatchLogs->setTextCursor(end);
    } else {
        // The first text goes in at the user's cursor, the others at the end.
        insertLog(pendingLog.first());
        insertLog(pendingLog.rest());
    }
    pendingLog.clear();
    trimLog();
}

void BatchCtrl::insertLog(const QString& shown)
{
    if (shown.isEmpty())
        return;
    // At the user's cursor, but a selection there is not overwritten. Each
    // text stands on a line of its own, also texts sent without a line break.
    QTextCursor c = ui.BatchLogs->textCursor();
    c.clearSelection();
    QString text = shown;
    if (!c.atBlockStart())
        text.prepend(QLatin1Char('\n'));
    if (!text.endsWith(QLatin1Char('\n')) && !c.atBlockEnd())
        text.append(QLatin1Char('\n'));
    c.insertText(text);
    c.movePosition(QTextCursor::End);
    ui.BatchLogs->setTextCursor(c);
}

void BatchCtrl::trimLog()
{
    QTextDocument* doc = ui.BatchLogs->document();
    const int header = leftOut > 0 ? 1 : 0;
    const int lines = doc->blockCount() - header;
    // A quarter over before trimming: each trim costs as much as it removes.
    if (lines <= maxLogLines + maxLogLines / 4)
        return;
    const int drop = lines - maxLogLines;
    QTextCursor c(doc);
    c.movePosition(QTextCursor::Start);
    c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, header + drop);
    c.removeSelectedText();
    leftOut += drop;
    c.insertText(tr("(%n earlier line(s) of the log not shown)", "", leftOut) + QLatin1Char('\n'));
    QTextCursor end(doc);
    end.movePosition(QTextCursor::End);
    ui.BatchLogs->setTextCursor(end);
}

void BatchCtrl::logError(const QString& text, bool counted)
{
    QString line = shownLines(text);
    while (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    // The script line it belongs to, where the text does not say it yet.
    const QString err = QStringLiteral("Err: ");
    if (currentLine > 0 && line.startsWith(err) && !line.startsWith(err + QStringLiteral("line ")))
        line.insert(err.size(), tr("line %1: ").arg(currentLine));
    if (!counted) FailureLog::note(line);
    BatchLog::write(line);
    appendLog(line + QLatin1Char('\n'));
}

void BatchCtrl::showCmdErr(const CmdLine& cmd, bool counted)
{
    qDebug() << "cmd" << cmd.text;
    logError(tr("Err: %1\n").arg(cmd.text), counted);
}
