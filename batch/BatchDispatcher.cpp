#include "BatchDispatcher.h"

#include <QDebug>

#include "BatchCmd.h"
#include "core/FailureLog.h"
#include "core/Globals.h"
#include "core/StringUtil.h"

namespace {

// Every occurrence, left to right; what is put in is not searched again.
// False, leaving text unchanged, when the result would be longer than
// maxSize.
bool replaceAll(QString& text, const QString& key, const QString& value, qint64 maxSize)
{
    if (key.isEmpty())
        return true;
    if (value.size() > key.size()) {
        const qint64 n = text.count(key, Qt::CaseSensitive);
        if (text.size() + n * (value.size() - key.size()) > maxSize)
            return false;
    }
    text.replace(key, value, Qt::CaseSensitive);
    return true;
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
    listEnds.append(lines.size());
    if (!wasRunning) {
        running = true;
        curLine = 0;
        loops.clear();
        waiting = false;
        if (!owed.isEmpty())
            qDebug() << "Batch: answers of" << owed.size() << "stopped command(s) still to come";
        emit execNextLineSig();
    } else if (outOfLines) {
        emit execNextLineSig();
    }
}

void BatchDispatcher::finishBatchExec(int id)
{
    // The oldest command that can have sent this answer takes it. For one id
    // answers come in the order the commands were sent, and a stopped
    // script's commands were all sent before the running one's.
    int k = -1;
    for (int i = 0; i < owed.size() && k < 0; ++i) {
        const EX_CMD_ID e = EX_CMD_ID(owed.at(i).id);
        if (id == e || (id == not_ex_cmd && !answersWhenDone(e)))
            k = i;
    }
    // A long-running word whose panel is missing is answered at once on the
    // no-action path: only the script's own command can be that.
    if (k < 0 && id == not_ex_cmd && !owed.isEmpty() && owed.last().ours)
        k = owed.size() - 1;
    if (k < 0) {
        // Loads, runs and map reads started by hand answer no command.
        qDebug() << "Batch: answer" << id << "owed to no command, ignored";
        return;
    }
    const bool ours = owed.at(k).ours;
    owed.remove(k);
    if (!ours || !running)
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
    listEnds.clear();
    running = false;
    inRem = false;
    waiting = false;
    resumePending = false;
    for (Owed& o : owed)
        o.ours = false;
}

int BatchDispatcher::listEndAfter(int line) const
{
    for (int end : listEnds)
        if (end > line)
            return end;
    return lines.size();
}

int BatchDispatcher::listStartOf(int line) const
{
    int start = 0;
    for (int end : listEnds)
        if (end <= line)
            start = end;
    return start;
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

        // Counted from 1 in the script it came with, as the editor shows it.
        const int lineNo = curLine - listStartOf(curLine) + 1;
        CmdLine cmd;
        cmd.line = joinContinuedLines(lines, curLine, listEndAfter(curLine));
        cmd.setLine(cmd.line);

        bool send = false;
        bool flagged = false;
        EX_CMD_ID ex = not_ex_cmd;
        if (!cmd.word.isEmpty()) {
            const CTRL_CMD_ID ctrl = ctrlCmdId(cmd);
            // Control words are no execution commands: spare them the long look-up.
            ex = ctrl == not_ctrl_cmd ? exCmdId(cmd) : not_ex_cmd;
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
                if (substituteVars(cmd)) {
                    const QString text = tr("echo %1").arg(cmd.arg(0));
                    qDebug().noquote() << text;
                    emit Log(text);
                } else {
                    refuseTooLong(lineNo);
                }
            } else if (ctrl == ctrl_end) {
                curLine = 0;
                lines.clear();
                listEnds.clear();
                running = false;
                emit Log(tr("end"));
            } else if (ex != not_ex_cmd) {
                if (substituteVars(cmd)) {
                    emit Log(tr("%1 : %2\n").arg(cmd.word, cmd.args.join(QLatin1Char(' '))));
                    send = true;
                } else {
                    refuseTooLong(lineNo);
                }
            } else if (!cmd.isLabel) {
                // A misspelt word would otherwise drop its step without a sign.
                const QString err = tr("Err: line %1: unknown word %2").arg(QString::number(lineNo), cmd.word);
                qDebug().noquote() << err;
                FailureLog::note(err);
                emit Log(err + QLatin1Char('\n'));
            }
        }
        ++curLine;
        if (!send && !flagged)
            continue;

        waiting = true;
        stepAsked = false;
        owed.append({flagged ? int(not_ex_cmd) : int(answerIdOf(ex)), true});
        emit execCmdSig(cmd, flagged);
        if (!stepAsked)
            break;
        stepAsked = false;
    }

    taking = false;
}

void BatchDispatcher::refuseTooLong(int lineNo)
{
    // Variables that hold later keys double a line at each key: a few short
    // lines could otherwise ask for gigabytes.
    const QString err = tr("Err: line %1: longer than %2 characters after substitution; not run")
                            .arg(lineNo)
                            .arg(maxSubstitutedLine);
    qDebug().noquote() << err;
    FailureLog::note(err);
    emit Log(err + QLatin1Char('\n'));
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

bool BatchDispatcher::substituteVars(CmdLine& cmd) const
{
    // The word, and each argument after a blank, as the line shows them.
    qint64 total = cmd.word.size();
    for (const QString& arg : qAsConst(cmd.args))
        total += 1 + arg.size();
    // A line written longer than the bound is not refused for it; it only
    // may not grow.
    const qint64 bound = qMax<qint64>(maxSubstitutedLine, total);
    const int n = qMin(vars.keys.size(), vars.values.size());
    for (QString& arg : cmd.args) {
        const qint64 others = total - arg.size();
        for (int i = 0; i < loops.size(); ++i)
            if (!replaceAll(arg, loops.at(i).token, loops.at(i).current, bound - others))
                return false;
        for (int i = 0; i < n; ++i)
            if (!replaceAll(arg, vars.keys.at(i), vars.values.at(i), bound - others))
                return false;
        total = others + arg.size();
    }
    return true;
}
