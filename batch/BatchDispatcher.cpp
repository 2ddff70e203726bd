#include "BatchDispatcher.h"

#include <QDebug>

#include "BatchCmd.h"
#include "BatchLog.h"
#include "core/FailureLog.h"
#include "core/Globals.h"
#include "core/StringUtil.h"

namespace {

// 1 when the line holds a word as CmdLine::setLine would find it, 0 when it
// holds none, -1 when only the parse can tell. A stop counts the lines left
// of a long script without splitting each into items.
int quickWord(const QString& line)
{
    int i = 0;
    while (i < line.size() && (line.at(i) == QLatin1Char(' ') || line.at(i) == QLatin1Char('\t')))
        ++i;
    if (i == line.size())
        return 0;
    const QChar c = line.at(i);
    if (c.unicode() < 128 && !c.isSpace() && c != QLatin1Char('#') && c != QLatin1Char('"'))
        return 1;
    return -1;
}

}  // namespace

BatchDispatcher::BatchDispatcher(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<CmdLine>("CmdLine");
    vars.add(QStringLiteral("$DataRoot$"), DataRoot, QString(), QString());
    connect(this, &BatchDispatcher::execNextLineSig, this, &BatchDispatcher::execNextLineSlot);
    sinceFlush.start();
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
    ++received;
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
    stopScript(true);
}

int BatchDispatcher::stopScript(bool report)
{
    const int notRun = running ? linesNotRun() : 0;
    stopAsked = false;
    curLine = 0;
    lines.clear();
    listEnds.clear();
    running = false;
    inRem = false;
    waiting = false;
    resumePending = false;
    for (Owed& o : owed)
        o.ours = false;
    if (report && notRun > 0) {
        // Its remaining lines never ran: no success, whatever ran before.
        const QString text = tr("Batch: the script was stopped before its end; %n line(s) not run", "", notRun);
        FailureLog::note(text);
        log(text);
    }
    flushLog();
    return notRun;
}

int BatchDispatcher::linesNotRun() const
{
    int n = waiting && !owed.isEmpty() && owed.last().ours ? 1 : 0;
    for (int i = qMax(0, curLine); i < lines.size(); ++i) {
        const int quick = i < lines.size() - 1 ? quickWord(lines.at(i)) : -1;
        if (quick >= 0) {
            n += quick;
            continue;
        }
        CmdLine c;
        c.setLine(lines.at(i));
        // The ":end" the editor adds closes every script it sends.
        if (c.word.isEmpty() || (i == lines.size() - 1 && c.word == QLatin1String(":end")))
            continue;
        ++n;
    }
    return n;
}

int BatchDispatcher::nextOfLoop(int from, const QString& name) const
{
    const int end = listEndAfter(from);
    for (int i = from + 1; i < end; ++i) {
        CmdLine c;
        c.setLine(lines.at(i));
        if (!c.word.isEmpty() && ctrlCmdId(c) == ctrl_next && c.arg(0) == name)
            return i;
    }
    return -1;
}

void BatchDispatcher::log(const QString& text)
{
    QString line = BatchLog::shown(text);
    while (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    // Standard error gets every line, at the pace the reader takes them.
    BatchLog::write(line);
    if (pendingLog.size() >= logLinesKept) {
        pendingLog.removeFirst();
        ++pendingLeftOut;
    }
    pendingLog << line;
    if (sinceFlush.elapsed() >= logInterval)
        flushLog();
}

void BatchDispatcher::flushLog()
{
    sinceFlush.restart();
    if (pendingLog.isEmpty() && pendingLeftOut == 0)
        return;
    QString text;
    if (pendingLeftOut > 0)
        text = tr("(%n line(s) of the log left out)", "", pendingLeftOut) + QLatin1Char('\n');
    text += pendingLog.join(QLatin1Char('\n')) + QLatin1Char('\n');
    pendingLog.clear();
    pendingLeftOut = 0;
    emit Log(text);
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
    bool yielded = false;
    while (running && curLine >= 0 && curLine < lines.size()) {
        // A Stop or the close is on its way: not one line more.
        if (stopAsked)
            break;
        if (taken++ >= linesPerTurn) {
            if (!resumePending) {
                resumePending = true;
                QMetaObject::invokeMethod(this, "resumeLines", Qt::QueuedConnection);
            }
            yielded = true;
            break;
        }

        // Counted from 1 in the script it came with, as the editor shows it.
        const int lineNo = curLine - listStartOf(curLine) + 1;
        // Each line of the log names its script line; what the script wrote
        // goes in after it, never through a further arg().
        const QString at = tr("line %1: ").arg(lineNo);
        CmdLine cmd;
        cmd.line = joinContinuedLines(lines, curLine, listEndAfter(curLine));
        cmd.setLine(cmd.line);
        cmd.lineNo = lineNo;

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
                loops.remove(loop.name);
                if (LoopVar::fits(loop.start) && LoopVar::fits(loop.end) && LoopVar::fits(loop.step)) {
                    loops.append(loop);
                    log(at + tr("for %1 : %2 = %3").arg(loop.name, loop.token, loop.current));
                } else {
                    // Read as the nearest 64-bit value, such a bound would
                    // run passes nobody asked for.
                    const QString err = QLatin1String("Err: ") + at
                                        + tr("a bound or step of loop %1 does not fit in 64 bits; the loop is not run")
                                              .arg(loop.name);
                    FailureLog::note(err);
                    log(err);
                    const int next = nextOfLoop(curLine, loop.name);
                    if (next >= 0)
                        curLine = next;
                }
            } else if (ctrl == ctrl_next) {
                LoopVar rec;
                const int from = curLine;
                curLine = stepLoop(curLine, cmd.arg(0), rec);
                // The last value again would read like one more pass.
                if (rec.forLine >= 0 && curLine == from)
                    log(at + tr("next %1 : finished at %2 = %3").arg(rec.name, rec.token, rec.current));
                else
                    log(at + tr("next %1 : %2 = %3").arg(rec.name, rec.token, rec.current));
            } else if (ctrl == ctrl_let) {
                vars.add(QLatin1Char('$') + cmd.arg(0) + QLatin1Char('$'), cmd.arg(1), QString(), QString());
                // The table's history of every entry is never read here, and a
                // ":let" inside a long loop would grow it without end.
                vars.histKeys.clear();
                vars.histUpKeys.clear();
                vars.histValues.clear();
                vars.histRests.clear();
                log(at + tr("let %1 = %2").arg(cmd.arg(0), cmd.arg(1)));
            } else if (ctrl == ctrl_echo) {
                const SubstResult r = substituteVars(cmd);
                if (r == SubstResult::Stopped)
                    break;
                if (r == SubstResult::Done)
                    log(at + tr("echo %1").arg(cmd.arg(0)));
                else
                    refuseTooLong(lineNo);
            } else if (ctrl == ctrl_end) {
                curLine = 0;
                lines.clear();
                listEnds.clear();
                running = false;
                log(tr("end"));
            } else if (ex != not_ex_cmd) {
                const SubstResult r = substituteVars(cmd);
                // Stopped within the line: it stays the next line, not run.
                if (r == SubstResult::Stopped)
                    break;
                if (r == SubstResult::Done) {
                    log(at + tr("%1 : %2").arg(cmd.word, cmd.args.join(QLatin1Char(' '))));
                    send = true;
                } else {
                    refuseTooLong(lineNo);
                }
            } else if (!cmd.isLabel) {
                // A misspelt word would otherwise drop its step without a sign.
                const QString err = QLatin1String("Err: ") + at + tr("unknown word %1").arg(cmd.word);
                FailureLog::note(err);
                log(err);
            }
        }
        ++curLine;
        if (!send && !flagged)
            continue;

        waiting = true;
        stepAsked = false;
        owed.append({flagged ? int(not_ex_cmd) : int(answerIdOf(ex)), true});
        // The command's own log lines follow its line.
        flushLog();
        emit execCmdSig(cmd, flagged);
        if (!stepAsked)
            break;
        stepAsked = false;
    }

    taking = false;
    if (!yielded)
        flushLog();
    if (!running || (curLine >= lines.size() && !waiting && !resumePending))
        emit settled(received);
}

void BatchDispatcher::refuseTooLong(int lineNo)
{
    // Variables that hold later keys double a line at each key: a few short
    // lines could otherwise ask for gigabytes.
    const QString err = tr("Err: line %1: longer than %2 characters after substitution; not run")
                            .arg(QString::number(lineNo), QString::number(maxSubstitutedLine));
    FailureLog::note(err);
    log(err);
}

int BatchDispatcher::stepLoop(int line, const QString& name, LoopVar& out)
{
    LoopVar* loop = loops.find(name);
    if (!loop)
        return line;
    const int to = loop->next(line);
    out = *loop;
    return to;
}

SubstResult BatchDispatcher::substituteVars(CmdLine& cmd)
{
    // The word, and each argument after a blank, as the line shows them.
    qint64 total = cmd.word.size();
    for (const QString& arg : qAsConst(cmd.args))
        total += 1 + arg.size();
    // A line written longer than the bound is not refused for it; it only
    // may not grow.
    const qint64 bound = qMax<qint64>(maxSubstitutedLine, total);
    for (QString& arg : cmd.args) {
        const qint64 others = total - arg.size();
        const SubstResult l = loops.substitute(arg, bound - others, &stopAsked);
        if (l != SubstResult::Done)
            return l;
        const SubstResult r = substituteKeys(arg, vars.keys, vars.values, keyFinder, bound - others, &stopAsked);
        if (r != SubstResult::Done)
            return r;
        total = others + arg.size();
    }
    return SubstResult::Done;
}
