#include "BatchDispatcher.h"

#include <QDebug>

#include "BatchCmd.h"
#include "core/Globals.h"
#include "core/StringUtil.h"

namespace {

// Every occurrence, left to right; what is put in is not searched again.
void replaceAll(QString& text, const QString& key, const QString& value)
{
    if (key.isEmpty())
        return;
    text.replace(key, value, Qt::CaseSensitive);
}

}  // namespace

BatchDispatcher::BatchDispatcher(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<CmdLine>("CmdLine");
    vars.add(QStringLiteral("$DataRoot$"), DataRoot, QString(), QString());
    connect(this, &BatchDispatcher::execNextLineSig, this, &BatchDispatcher::execNextLineSlot);
}

void BatchDispatcher::doDispatchCmds(const QStringList& cmdList)
{
    qDebug() << "dispacher :: do dispach cmds" << cmdList.size() << (running ? "true" : "false");
    const bool wasRunning = running;
    // A script that ran out of lines without ":end" is still running but
    // waits for nothing: lines appended to it are taken now, not at some
    // later unrelated completion.
    const bool outOfLines = running && !waiting && !resumePending && curLine >= lines.size();
    lines += cmdList;
    if (!wasRunning) {
        running = true;
        curLine = 0;
        loops.clear();
        waiting = false;
        emit execNextLineSig();
    } else if (outOfLines) {
        emit execNextLineSig();
    }
}

void BatchDispatcher::finishBatchExec(int)
{
    if (!running)
        return;
    // A run of lines is under way and goes on by itself.
    if (resumePending)
        return;
    waiting = false;
    emit execNextLineSig();
}

void BatchDispatcher::batchStopSlot()
{
    curLine = 0;
    lines.clear();
    running = false;
    inRem = false;
    waiting = false;
    resumePending = false;
}

void BatchDispatcher::resumeLines()
{
    if (!resumePending)
        return;
    resumePending = false;
    execNextLineSlot();
}

void BatchDispatcher::execNextLineSlot()
{
    // A completion answered straight from execCmdSig (a direct connection)
    // must not nest another run inside this one: the run goes on below.
    if (taking) {
        stepAsked = true;
        return;
    }
    taking = true;

    int taken = 0;
    while (running && curLine >= 0 && curLine < lines.size()) {
        if (taken++ >= linesPerTurn) {
            if (!resumePending) {
                resumePending = true;
                QMetaObject::invokeMethod(this, "resumeLines", Qt::QueuedConnection);
            }
            break;
        }

        CmdLine cmd;
        cmd.line = joinContinuedLines(lines, curLine);
        cmd.setLine(cmd.line);

        bool send = false;
        bool flagged = false;
        if (!cmd.word.isEmpty()) {
            const CTRL_CMD_ID ctrl = ctrlCmdId(cmd);
            // Control words are no execution commands: spare them the long look-up.
            const EX_CMD_ID ex = ctrl == not_ctrl_cmd ? exCmdId(cmd) : not_ex_cmd;
            if (ctrl == ctrl_rem_end)
                inRem = false;
            if (ctrl == ctrl_rem_start) {
                inRem = true;
            } else if (inRem) {
                flagged = ex != not_ex_cmd;
            } else if (ctrl == ctrl_for) {
                QString rest = cmd.args.join(QLatin1Char(' '));
                QString items[5];
                for (QString& item : items)
                    rest = nextItem(rest, item);
                LoopVar loop;
                loop.name = items[0];
                loop.forLine = curLine;
                loop.token = items[1];
                loop.start = items[2];
                loop.end = items[3];
                loop.current = items[2];
                loop.step = items[4];
                for (int i = 0; i < loops.size(); ++i) {
                    if (loops.at(i).name == loop.name) {
                        loops.remove(i);
                        break;
                    }
                }
                loops.append(loop);
                emit Log(tr("for %1 : %2 = %3\n").arg(loop.name, loop.token, loop.current));
            } else if (ctrl == ctrl_next) {
                LoopVar rec;
                curLine = stepLoop(curLine, cmd.arg(0), rec);
                emit Log(tr("next %1 : %2 = %3\n").arg(rec.name, rec.token, rec.current));
            } else if (ctrl == ctrl_let) {
                vars.add(QStringLiteral("$%1$").arg(cmd.arg(0)), cmd.arg(1), QString(), QString());
                // The table's history of every entry is never read here, and a
                // ":let" inside a long loop would grow it without end.
                vars.histKeys.clear();
                vars.histUpKeys.clear();
                vars.histValues.clear();
                vars.histRests.clear();
            } else if (ctrl == ctrl_echo) {
                substituteVars(cmd);
                const QString text = tr("echo %1").arg(cmd.arg(0));
                qDebug().noquote() << text;
                emit Log(text);
            } else if (ctrl == ctrl_end) {
                curLine = 0;
                lines.clear();
                running = false;
                emit Log(tr("end"));
            } else if (ex != not_ex_cmd) {
                substituteVars(cmd);
                emit Log(tr("%1 : %2\n").arg(cmd.word, cmd.args.join(QLatin1Char(' '))));
                send = true;
            }
        }
        ++curLine;
        if (!send && !flagged)
            continue;

        waiting = true;
        stepAsked = false;
        emit execCmdSig(cmd, flagged);
        if (!stepAsked)
            break;
        stepAsked = false;
    }

    taking = false;
}

int BatchDispatcher::stepLoop(int line, const QString& name, LoopVar& out)
{
    for (LoopVar& loop : loops) {
        if (loop.name == name) {
            const int to = loop.next(line);
            out = loop;
            return to;
        }
    }
    return line;
}

void BatchDispatcher::substituteVars(CmdLine& cmd) const
{
    for (QString& arg : cmd.args) {
        for (const LoopVar& loop : loops)
            replaceAll(arg, loop.token, loop.current);
        const int n = qMin(vars.keys.size(), vars.values.size());
        for (int i = 0; i < n; ++i)
            replaceAll(arg, vars.keys.at(i), vars.values.at(i));
    }
}
