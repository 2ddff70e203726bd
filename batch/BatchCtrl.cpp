#include "BatchCtrl.h"

#include <QDebug>
#include <QFile>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextStream>

#include "BatchDispatcher.h"
#include "core/FailureLog.h"
#include "core/Globals.h"
#include "mainwindow/SafeSave.h"
#include "widgets/_FileDialog.h"

BatchCtrl::BatchCtrl(QWidget* parent) : QMainWindow(parent)
{
    ui.setupUi(this);
    setupFileDialogs();
    connect(ui.Exec, &QPushButton::clicked, this, &BatchCtrl::execCmdsSlot);
}

BatchCtrl::~BatchCtrl()
{
    delete saveDialog;
    delete loadDialog;
}

void BatchCtrl::setupFileDialogs()
{
    const QStringList filters{tr("Batch File (*.bat)"), tr("Any Files (* *.*)")};
    saveDialog = new _FileDialog;
    loadDialog = new _FileDialog;
    for (_FileDialog* d : {saveDialog, loadDialog}) {
        d->setDirectory(BatchRoot);
        d->setFileMode(QFileDialog::AnyFile);
        d->setNameFilters(filters);
    }
    saveDialog->setAcceptMode(QFileDialog::AcceptSave);
    loadDialog->setAcceptMode(QFileDialog::AcceptOpen);

    connect(ui.Save, &QPushButton::clicked, saveDialog, &QWidget::show);
    connect(saveDialog, &QFileDialog::fileSelected, this, &BatchCtrl::save);
    connect(ui.Load, &QPushButton::clicked, loadDialog, &QWidget::show);
    connect(loadDialog, &QFileDialog::fileSelected, this, &BatchCtrl::load);
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
        disconnect(dispatcher, SIGNAL(Log(const QString&)), this, SLOT(Log(const QString&)));
    }
    dispatcher = d;
    if (!d)
        return;
    connect(ui.Stop, SIGNAL(clicked()), d, SLOT(batchStopSlot()));
    connect(this, SIGNAL(doDispatchCmds(const QStringList&)), d, SLOT(doDispatchCmds(const QStringList&)));
    connect(d, SIGNAL(Log(const QString&)), this, SLOT(Log(const QString&)));
}

void BatchCtrl::dispatchCmds(const QStringList& cmdLines)
{
    emit doDispatchCmds(cmdLines);
}

void BatchCtrl::execCmdsSlot()
{
    QStringList lines = ui.BatchCmds->toPlainText().split(QLatin1Char('\n'));
    lines << QStringLiteral(":end");
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
    QFile f(fname);
    if (fname.isEmpty() || !f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug().noquote() << "Can't open batch file : " + fname;
        return false;
    }
    QTextStream in(&f);
    in.setCodec("UTF-8");
    QString text;
    while (!in.atEnd())
        text += in.readLine() + QLatin1Char('\n');
    ui.BatchCmds->setPlainText(text);
    return true;
}

bool BatchCtrl::setBatchFile(const QString& fname)
{
    return load(fname);
}

QString BatchCtrl::shownLines(const QString& text)
{
    if (text.size() <= maxShownLine)
        return text;
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.size() > maxShownLine)
            line = tr("%1… (%2 more characters not shown)")
                       .arg(line.left(maxShownLine), QString::number(line.size() - maxShownLine));
    }
    return lines.join(QLatin1Char('\n'));
}

void BatchCtrl::Log(const QString& logMsg)
{
    // The text view lays out a line of a hundred million characters until
    // memory runs out.
    appendLog(shownLines(logMsg));
}

void BatchCtrl::appendLog(const QString& shown)
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

void BatchCtrl::logError(const QString& text, bool counted)
{
    QString line = shownLines(text);
    while (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    if (!counted) FailureLog::note(line);
    appendLog(line + QLatin1Char('\n'));
}

void BatchCtrl::showCmdErr(const CmdLine& cmd, bool counted)
{
    qDebug() << "cmd" << cmd.text;
    logError(tr("Err: %1\n").arg(cmd.text), counted);
}
