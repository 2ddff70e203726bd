// The batch interpreter on its own thread, driven by a stand-in for the main
// window's command executor; the batch window's log of what it says; the
// parsing of its lines; and every reproducer
// the fuzzers found (fuzz/regression/<reader>/) through its reader: refused
// or bounded, no throw, within a time and memory bound, beside the fan-out
// the fuzzers cannot reach with one file.
#include <QPlainTextEdit>
#include <QtTest>

#include <sys/resource.h>

#include "support/Files.h"
#include "support/Headless.h"

#include "batch/BatchCmd.h"
#include "batch/BatchCtrl.h"
#include "batch/BatchDispatcher.h"
#include "batch/BatchLog.h"
#include "batch/KeySubst.h"
#include "batch/PendingLog.h"
#include "core/AnalyzeCond.h"
#include "core/FailureLog.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "tools/ByteMap.h"
#include "tools/EShiftMapFile.h"

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Reads path as the fuzz harness of `reader` does and checks the refusal
// or the bound.
void readAsHarness(const QString& reader, const QString& path)
{
    if (reader == "image") {
        TiffData d;
        QVERIFY(!d.load(path, ErrPoints()));
        QVERIFY(d.rows.isEmpty());
        QCOMPARE(d.pixelType, int(TiffData::NoPixels));
    } else if (reader == "cfg") {
        Cfg cfg;
        cfg.readFile(path);
        QVERIFY(cfg.histKeys.size() <= 20000);
    } else if (reader == "emp") {
        Analyzed2DRes map;
        AnalyzeCond grid;
        EMPHeader h;
        EShiftMapFile::LoadSettings set;
        QVERIFY(EShiftMapFile::load(path, map, h, grid, set) != EShiftMapFile::LoadResult::Loaded);
        QCOMPARE(map.width(), 0);
    } else if (reader == "bytemap") {
        ByteMap m;
        m.reallocate(4, 4);
        QVERIFY(readByteMap(m, path, 1));
        QCOMPARE(m.bytes.size(), 16);
    } else if (reader == "batch") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        BatchDispatcher d;
        qint64 longest = 0;  // a log text, or a command's line as sent
        QObject::connect(&d, &BatchDispatcher::Log, [&](const QString& t) { longest = std::max<qint64>(longest, t.size()); });
        QObject::connect(&d, &BatchDispatcher::execCmdSig, &d, [&](CmdLine c, bool inRem) {
            qint64 line = c.word.size();
            for (const QString& a : c.args) line += 1 + a.size();
            longest = std::max(longest, line);
            d.finishBatchExec(inRem ? int(not_ex_cmd) : int(answerIdOf(exCmdId(c))));
        });
        d.doDispatchCmds(QString::fromUtf8(f.readAll()).split('\n'));
        for (int turn = 0; turn < 8 && d.isRunning(); ++turn) QCoreApplication::processEvents();
        d.batchStopSlot();
        QVERIFY2(longest <= BatchDispatcher::maxSubstitutedLine + 10, qPrintable(QString::number(longest)));
    }
}

// The rule as written, and as substitution once ran: every key of the table
// in turn, each occurrence left to right; tooLong when a step would make the
// text longer than maxSize (only a value longer than its key can).
QString everyKeyInTurn(QString text, const QStringList& keys, const QStringList& values, qint64 maxSize, bool& tooLong)
{
    tooLong = false;
    for (int i = 0; i < keys.size(); ++i) {
        if (keys[i].isEmpty()) continue;
        QString next = text;
        next.replace(keys[i], values[i], Qt::CaseSensitive);
        if (values[i].size() > keys[i].size() && next.size() > maxSize) {
            tooLong = true;
            return text;
        }
        text = next;
    }
    return text;
}

QString randomText(QRandomGenerator& rng, const QString& alphabet, int maxLength)
{
    QString s;
    for (int n = int(rng.bounded(maxLength + 1)); n > 0; --n) s += alphabet[int(rng.bounded(alphabet.size()))];
    return s;
}

}  // namespace

// Answers every command at once with its id (158 inside a comment block),
// unless told to hold it. Each command is kept as "word arg|arg", with
// "rem " before it when it came from a comment block.
class FakeExec : public QObject {
    Q_OBJECT
public:
    QStringList sent;
    bool holdAll = false;

public slots:
    void execCmdSlot(CmdLine cmd, bool inRem)
    {
        sent << QString(inRem ? "rem " : "") + cmd.word + (cmd.args.isEmpty() ? "" : " " + cmd.args.join('|'));
        if (holdAll)
            return;
        emit finishBatchExec(inRem ? int(not_ex_cmd) : int(answerIdOf(exCmdId(cmd))));
    }

signals:
    void finishBatchExec(int id);
};

class TstBatchDispatcher : public QObject {
    Q_OBJECT

    QThread* thread = nullptr;
    BatchDispatcher* disp = nullptr;
    FakeExec* exec = nullptr;
    QString log;

    template <typename F>
    auto onThread(F f) -> decltype(f())
    {
        decltype(f()) r{};
        QMetaObject::invokeMethod(disp, [&] { r = f(); }, Qt::BlockingQueuedConnection);
        return r;
    }
    bool running() { return onThread([this] { return disp->isRunning(); }); }
    void dispatch(const QStringList& lines)
    {
        QMetaObject::invokeMethod(disp, [this, lines] { disp->doDispatchCmds(lines); }, Qt::QueuedConnection);
    }

    // Until the interpreter is idle or has sent nothing for a few turns; the
    // texts and commands it sent on the way have all arrived on return.
    void drain()
    {
        int quiet = 0;
        while (quiet < 5) {
            const int n = exec->sent.size();
            QCoreApplication::processEvents();
            if (!running())
                break;
            quiet = exec->sent.size() == n ? quiet + 1 : 0;
        }
        QCoreApplication::sendPostedEvents();
    }

private slots:
    void initTestCase()
    {
        // Each ":echo" also goes to the debug output: many of them would
        // drown the test log.
        static QtMessageHandler testlib = nullptr;
        testlib = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& c, const QString& msg) {
            if (type != QtDebugMsg || !msg.startsWith("echo ")) testlib(type, c, msg);
        });
        initBatchCmdTables();
        qRegisterMetaType<CmdLine>("CmdLine");
    }

    void init()
    {
        DataRoot = QStringLiteral("/data/root");
        thread = new QThread;
        disp = new BatchDispatcher;
        disp->moveToThread(thread);
        thread->start();
        exec = new FakeExec;
        log.clear();
        connect(disp, &BatchDispatcher::execCmdSig, exec, &FakeExec::execCmdSlot);
        connect(exec, &FakeExec::finishBatchExec, disp, &BatchDispatcher::finishBatchExec);
        connect(disp, &BatchDispatcher::Log, exec, [this](const QString& t) { log += t; });
    }

    void cleanup()
    {
        // Whatever the script was doing (waiting for a command that never
        // finishes, a long run of control lines), the thread ends promptly.
        thread->quit();
        QVERIFY(thread->wait(30000));
        delete disp;
        delete thread;
        delete exec;
    }

    // Texts held back for the window's log join as the view joins them when each goes in at its end, one by one:
    // each on a line of its own, one ending in a line break leaving the next line open.
    void pendingLogJoins_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("lines without breaks") << QStringList{"a", "b", "c"};
        QTest::newRow("lines with breaks") << QStringList{"a\n", "b\n", "c\n"};
        QTest::newRow("mixed") << QStringList{"a", "b\nc\n", "d", "", "e\n\n", "f"};
        QTest::newRow("blank lines") << QStringList{"\n", "\n\n", "x", "\n"};
        QTest::newRow("one text") << QStringList{"line 1: echo 1\nline 3: next i : %i = 2"};
    }
    void pendingLogJoins()
    {
        QFETCH(QStringList, texts);
        QPlainTextEdit view;
        PendingLog pending(100);
        for (const QString& t : texts) {
            QTextCursor c = view.textCursor();
            c.movePosition(QTextCursor::End);
            QString text = t;
            if (!text.isEmpty() && !c.atBlockStart()) text.prepend('\n');
            c.insertText(text);
            pending.add(t);
        }
        QCOMPARE(pending.all(), view.toPlainText());
        QCOMPARE(pending.first() + (pending.first().endsWith('\n') || pending.rest().isEmpty() ? "" : "\n") + pending.rest(),
                 view.toPlainText());
        QCOMPARE(pending.dropped(), 0);
    }

    // A window nobody shows lays out none of a flood of lines (each text went into the view, 27-33 s of a loaded
    // machine's GUI thread before SIGTERM could act); what it would show is there when it is shown: the newest
    // lines, the count of those left out first. Shown, it takes a flood in one insertion a tick, not one a text.
    void windowLogBounded()
    {
        BatchCtrl w;
        const int texts = 100, perText = 1000;
        for (int k = 0; k < texts; ++k) {
            QStringList lines;
            for (int i = 0; i < perText; ++i) lines << QString("line 2: echo %1").arg(k * perText + i + 1);
            w.interpreterLog(lines.join('\n') + '\n');
        }
        QCOMPARE(w.ui.BatchLogs->document()->blockCount(), 1);
        QVERIFY(w.ui.BatchLogs->toPlainText().isEmpty());
        const QStringList shown = w.logText().split('\n');
        const int all = texts * perText, kept = BatchCtrl::maxLogLines;
        QCOMPARE(w.linesLeftOut(), all - kept);
        QCOMPARE(shown.first(), QString("(%1 earlier line(s) of the log not shown)").arg(all - kept));
        QCOMPARE(shown.size(), kept + 1);
        QCOMPARE(shown.at(1), QString("line 2: echo %1").arg(all - kept + 1));
        QCOMPARE(shown.last(), QString("line 2: echo %1").arg(all));

        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy changes(w.ui.BatchLogs->document(), &QTextDocument::contentsChange);
        for (int k = 0; k < 50; ++k) w.interpreterLog(QString("line 2: echo more %1").arg(k));
        w.Log("Err: the last one");
        QCOMPARE(changes.size(), 0);
        QTRY_VERIFY(w.ui.BatchLogs->toPlainText().endsWith("line 2: echo more 49\nErr: the last one"));
        // The new lines at the end, and the trim of the oldest when it is due.
        QVERIFY2(changes.size() <= 2, qPrintable(QString::number(changes.size())));
        QVERIFY(w.ui.BatchLogs->document()->blockCount() <= kept * 5 / 4 + 1);
    }

    // After a flood the window goes on as before: later lines are added below those it shows (they were wiped,
    // the view holding only the newest texts), and a cleared log counts only what it leaves out from then on.
    void windowLogAfterFlood_data()
    {
        QTest::addColumn<bool>("clearFirst");
        QTest::newRow("more lines after the flood") << false;
        QTest::newRow("a flood after the log was cleared") << true;
    }
    void windowLogAfterFlood()
    {
        QFETCH(bool, clearFirst);
        BatchCtrl w;
        const int kept = BatchCtrl::maxLogLines;
        auto flood = [&w](int from, int n) {
            QStringList lines;
            for (int i = 0; i < n; ++i) lines << QString("line 2: echo %1").arg(from + i);
            w.interpreterLog(lines.join('\n') + '\n');
        };
        flood(1, kept + 500);
        QStringList shown = w.logText().split('\n');
        QCOMPARE(shown.first(), QString("(500 earlier line(s) of the log not shown)"));
        if (clearFirst) {
            w.clearLog();
            flood(100001, kept + 7);
            shown = w.logText().split('\n');
            QCOMPARE(w.linesLeftOut(), 7);
            QCOMPARE(shown.first(), QString("(7 earlier line(s) of the log not shown)"));
            QCOMPARE(shown.at(1), QString("line 2: echo 100008"));
            return;
        }
        for (int k = 0; k < 3; ++k) w.interpreterLog(QString("line 2: echo more %1").arg(k));
        const QStringList after = w.logText().split('\n');
        QCOMPARE(w.linesLeftOut(), 500);
        QCOMPARE(after.first(), shown.first());
        QCOMPARE(after.mid(0, shown.size() - 1), shown.mid(0, shown.size() - 1));
        QCOMPARE(after.mid(after.size() - 3), QStringList({"line 2: echo more 0", "line 2: echo more 1", "line 2: echo more 2"}));
        QCOMPARE(after.size(), shown.size() + 3);
    }

    // Scripts sent as lists of lines, one after the other: "--" ends a list
    // and sends it, "STOP" presses Stop, "ANSWER n" answers n, "HOLD" makes
    // the stand-in keep its answers until "RELEASE". Each of the first three
    // adds "/" to the commands sent, so the rows show which step sent what.
    void scripts_data()
    {
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QString>("sent");  // one command a line
        QTest::addColumn<QString>("log");   // null: not checked
        auto row = [](const char* name, const QString& lines, const QString& sent, const QString& log = QString()) {
            QTest::newRow(name) << lines << sent << log;
        };
        // Variables outlive ":end"; the data root is known from the start.
        row("variables",
            ":let X 5\nload_I1_files NEW a$X$.tif a$x$.tif\n:end\n--\nsave_image $X$ $DataRoot$/m.png\n:end",
            "load_I1_files NEW|a5.tif|a$x$.tif\n/\nsave_image 5|/data/root/m.png",
            "line 1: let X = 5\nline 2: load_I1_files : NEW a5.tif a$x$.tif\nend\nline 1: save_image : 5 /data/root/m.png\nend\n");
        // A value holding another key is expanded only when that key comes
        // later in the table; a value holding its own key is put in once.
        row("variables in table order",
            ":let B x$A$\n:let A 1\n:let C y$A$\n:let S <$S$>\nseek_image $B$ $C$ $S$\n:let S $S$$S$\n"
            "seek_image $S$\n:end",
            "seek_image x1|y$A$|<$S$>\nseek_image $S$$S$");
        row("nested loops",
            ":for i %i 1 2\n:for j %j 1 3\nsave_image f%i_%j.png\n:next j\nseek_image after%i\n:next i\n"
            "seek_image last%i%j\n:end",
            "save_image f1_1.png\nsave_image f1_2.png\nsave_image f1_3.png\nseek_image after1\nsave_image f2_1.png\n"
            "save_image f2_2.png\nsave_image f2_3.png\nseek_image after2\nseek_image last23");
        // A second loop of a name replaces the first; the bound written as a
        // variable key is no integer and counts as 0; a loop without a token
        // replaces nothing and runs once.
        row("loop replaced, not substituted",
            ":let N 3\n:for i %i 1 3\n:for i %k 1 $N$\nseek_image %i %k\n:next i\n:for k\nseek_image once\n"
            ":next k\n:end",
            "seek_image %i|1\nseek_image %i|0\nseek_image once");
        row("loop without next runs once", ":for i %i 1 3\nseek_image %i\n:end", "seek_image 1");
        // Inside a block: sent flagged, unsubstituted, without a log text.
        // Labels pass without a trace, an unknown word is logged with its line; echo has no line break.
        row("comment block, labels, unknown words",
            ":label_1\n:REM_START\nseek_image $DataRoot$\n:end\n:let Y 1\n:for i %i 1 3\n:echo hidden\n:rem_end\n"
            "bogus_word 1\nSEEK_IMAGE $Y$ %i\n:rem_end\n:Echo x\n:END\nseek_image never",
            "rem seek_image $DataRoot$\nSEEK_IMAGE $Y$|%i",
            "Err: line 9: unknown word bogus_word\nline 10: SEEK_IMAGE : $Y$ %i\nline 12: echo x\nend\n");
        // Line numbers count within the list a line came with.
        row("unknown words in two lists", "seek_image 1\nbogus 2\n--\n\nbogus \\\n3\n:end",
            "seek_image 1\n/", "line 1: seek_image : 1\nErr: line 2: unknown word bogus\nErr: line 2: unknown word bogus\nend\n");
        row("echo", ":let N 7\n:echo n=$N$ second\nseek_image 1\n:end", "seek_image 1", "line 1: let N = 7\nline 2: echo n=7\nline 3: seek_image : 1\nend\n");
        // A comment block without its end swallows ":end" and what follows,
        // until Stop.
        row("unclosed comment block",
            ":rem_start\nseek_image a\n:end\n--\nseek_image b\n:end\n--\nSTOP\nseek_image c\n:end",
            "rem seek_image a\n/\nrem seek_image b\n/\n/\nseek_image c");
        // Without a blank before the backslash the two items run together; a
        // backslash inside a line is an ordinary character; the next list's
        // first line is a line of its own.
        row("continued lines",
            "load_I1_files NEW \\\na b.tif\nload_I1_files NEW\\  \nb.tif\n# comment\n\nsave_data C:\\o\\m.dat\n"
            "seek_image 1 \\\n--\nseek_image 2\n:end",
            "load_I1_files NEW|a|b.tif\nload_I1_files NEWb.tif\nsave_data C:\\o\\m.dat\nseek_image 1\n/\nseek_image 2");
        // The editor's empty script is an empty line and ":end". An empty
        // list starts a script with nothing to do, and so does one without
        // ":end" (the configuration's lines): what comes next is taken at once.
        row("empty script", "\n:end", "", "end\n");
        row("after an empty list", "--\nseek_image 2\n:end", "/\nseek_image 2");
        row("after a script without end", "seek_image cfg\n--\n:for i %i 1 2\nseek_image %i\n:next i\n:end",
            "seek_image cfg\n/\nseek_image 1\nseek_image 2");
        // A script waiting for its load goes on only on that load's answer: not
        // on the late answer of a command a Stop abandoned, nor on answers to
        // work started by hand (another stack's load, a 2-D run, a map read).
        const QString waiting = "load_I1_files NEW b.tif\nseek_image 2\n:end\n--\nRELEASE\n";
        row("stopped load", "HOLD\nload_I1_files NEW a.tif\n--\nSTOP\n" + waiting + "ANSWER 4\nANSWER 4",
            "load_I1_files NEW|a.tif\n/\n/\nload_I1_files NEW|b.tif\n/\n/\nseek_image 2\n/");
        row("stopped seek", "HOLD\nseek_image 1\n--\nSTOP\n" + waiting + "ANSWER 59\nANSWER 4",
            "seek_image 1\n/\n/\nload_I1_files NEW|b.tif\n/\n/\nseek_image 2\n/");
        row("answers to work by hand", "HOLD\n" + waiting + "ANSWER 5\nANSWER 112\nANSWER 138\nANSWER 137\nANSWER 4",
            "load_I1_files NEW|b.tif\n/\n/\n/\n/\n/\nseek_image 2\n/");
        // Stop reaches a script that runs control lines for ever.
        row("endless loop stopped", ":for i %i 1 2000000000\n:let v %i\n:next i\n:end\n--\nSTOP", "/\n/");
        // Lines sent while a script runs are dropped by its ":end"; answers
        // while idle change nothing.
        row("appended lines", "HOLD\nsave_image 1\n:end\n--\nseek_image 2\n:end\n--\nRELEASE\nANSWER 60\nseek_image 3\n"
                              ":end\n--\nANSWER 4",
            "save_image 1\n/\n/\n/\nseek_image 3\n/\n/");

        auto loop = [&row](const char* name, const QString& bounds, const QString& values) {
            row(name, ":for i %i " + bounds + "\nseek_image %i\n:next i\n:end",
                "seek_image " + values.split(' ').join("\nseek_image "));
        };
        loop("loop step 0", "1 3 0", "1 2 3");
        loop("loop outgrows pad", "08 101 31", "08 39 70 101");
        // A step written with the sign that leads away from the end still
        // walks towards it instead of never ending.
        loop("loop up, negative step", "1 10 -4", "1 5 9");
        loop("loop down, positive step", "10 1 3", "10 7 4 1");
        loop("loop padded below zero", "000 -3", "000 -01 -02 -03");
        loop("loop whole int range", "-2147483648 2147483647 2147483647", "-2147483648 -1 2147483646");
        loop("loop bounds not numbers", "a b", "a");
        // Bounds read in 64 bits; a step past the 64-bit range ends the loop.
        loop("loop past 32 bits", "2999999998 3000000000", "2999999998 2999999999 3000000000");
        loop("loop down past 32 bits", "99999999999 99999999997", "99999999999 99999999998 99999999997");
        loop("loop at the 64-bit end", "9223372036854775806 9223372036854775807 5", "9223372036854775806");
        loop("loop down at the 64-bit end", "-9223372036854775807 -9223372036854775808 3", "-9223372036854775807");
        // A bound past 64 bits: no pass, the line after the loop goes on.
        row("loop bound past 64 bits", ":for i %i 1 99999999999999999999\nseek_image %i\n:next i\nseek_image after\n:end",
            "seek_image after",
            "Err: line 1: a bound or step of loop i does not fit in 64 bits; the loop is not run\n"
            "line 4: seek_image : after\nend\n");
        // The last ":next" of a loop says it finished, not the last value as if for one more pass; a loop that
        // finished keeps its last value, and a second ":next" of it says so again.
        row("next says the loop finished",
            ":for i %i 1 2\nseek_image %i\n:next i\n:for k %k 5 5\n:next k\n:next k\n:next nope\nseek_image %i%k\n:end",
            "seek_image 1\nseek_image 2\nseek_image 25",
            "line 1: for i : %i = 1\nline 2: seek_image : 1\nline 3: next i : %i = 2\nline 2: seek_image : 2\n"
            "line 3: next i : finished at %i = 2\nline 4: for k : %k = 5\nline 5: next k : finished at %k = 5\n"
            "line 6: next k : finished at %k = 5\nline 7: next  :  = \nline 8: seek_image : 25\nend\n");
        // Finished loops stay in their order: a token another loop's start put in is seen by the loops after it;
        // a loop made again goes last.
        row("finished loops in order",
            ":for a %a %b 0\n:next a\n:for b %b 7 7\n:next b\n:for c %c %a 0\n:next c\nseek_image %a %c\n"
            ":for a %a x%c 0\n:next a\nseek_image %a\n:end",
            "seek_image 7|%a\nseek_image x%c");
        // Keys holding "$" and arguments with more "$" than are paired up are found as the table has them.
        row("keys holding $", ":let a$b x\n:let b y\nseek_image $a$b$ $b$ " + QString(70, '$') + "$b$\n:end",
            "seek_image x|y|" + QString(70, '$') + "y");
    }
    void scripts()
    {
        QFETCH(QString, lines);
        QFETCH(QString, sent);
        QFETCH(QString, log);
        QStringList list;
        for (const QString& l : lines.split('\n')) {
            if (l == "HOLD" || l == "RELEASE") {
                exec->holdAll = l == "HOLD";
                continue;
            }
            if (l == "--")
                dispatch(list);
            else if (l == "STOP")
                QMetaObject::invokeMethod(disp, [this] { disp->batchStopSlot(); }, Qt::QueuedConnection);
            else if (l.startsWith("ANSWER "))
                emit exec->finishBatchExec(l.mid(7).toInt());
            else {
                list << l;
                continue;
            }
            list.clear();
            drain();
            exec->sent << "/";
        }
        if (!list.isEmpty()) {
            dispatch(list);
            drain();
        }
        QCOMPARE(exec->sent.join('\n'), sent);
        if (!log.isNull())
            QCOMPARE(this->log, log);
        QVERIFY(!running());
        // Every answer owed has come in.
        QCOMPARE(onThread([this] { return disp->answersOwed(); }), 0);
    }

    // Substitution may not make a line longer than its bound: the line is refused with an "Err:" line, counted,
    // and the script goes on; a line written longer is not refused for it while it does not grow.
    void substitutedLineBound_data()
    {
        QTest::addColumn<int>("valueLength");
        QTest::addColumn<int>("uses");  // arguments "$v$" after the word
        QTest::addColumn<QString>("plain");  // one more argument, not substituted
        QTest::addColumn<bool>("runs");
        const int bound = BatchDispatcher::maxSubstitutedLine, word = QString("seek_image").size();
        QTest::newRow("one value, at the bound") << bound - word - 1 << 1 << "" << true;
        QTest::newRow("one value, one over") << bound - word << 1 << "" << false;
        QTest::newRow("two values, at the bound") << (bound - word - 2) / 2 << 2 << "" << true;
        QTest::newRow("two values, one over") << (bound - word - 2) / 2 + 1 << 2 << "" << false;
        QTest::newRow("150 values of a sixtieth") << bound / 60 << 150 << "" << false;
        QTest::newRow("value shorter than its key") << 1 << 3 << QString(bound + 10, 'p') << true;
        QTest::newRow("written long, grown") << 4 << 1 << QString(bound + 10, 'p') << false;
    }
    void substitutedLineBound()
    {
        QFETCH(int, valueLength);
        QFETCH(int, uses);
        QFETCH(QString, plain);
        QFETCH(bool, runs);
        QStringList args = QVector<QString>(uses, "$v$").toList();
        if (!plain.isEmpty()) args << plain;
        const int failures = FailureLog::count();
        const QString value(valueLength, 'x');
        dispatch({":let v " + value, "seek_image " + args.join(' '), ":echo $v$", "seek_image 2", ":end"});
        drain();
        const QString want = (runs ? "seek_image " + args.join('|').replace("$v$", value) + "\n" : "") + "seek_image 2";
        QVERIFY2(exec->sent.join('\n') == want, qPrintable(QString::number(exec->sent.join('\n').size())));
        // The echo, under the bound on its own, runs where the line ran.
        QCOMPARE(log.contains(QString("Err: line 2: longer than 1048576 characters after substitution; not run\n")), !runs);
        const bool echoed = valueLength <= BatchDispatcher::maxSubstitutedLine - 6;
        // The log cuts the echo to what a line of it keeps, and says how much it cut.
        QCOMPARE(log.contains(BatchLog::shown("line 3: echo " + value) + "\nline 4: seek_image"), echoed);
        QCOMPARE(FailureLog::count() - failures, (runs ? 0 : 1) + (echoed ? 0 : 1));
    }

    // Substitution against the rule as written, on random tables and texts of a small alphabet: keys holding "$",
    // keys inside keys, values holding keys, empty values, a table growing between the lines. Both ways through
    // it (all keys at once, and key by key) must give what trying every key in turn gives, refusals included.
    void substitutionAsEveryKeyInTurn_data()
    {
        QTest::addColumn<QString>("nameChars");
        QTest::addColumn<QString>("valueChars");  // empty: values are empty
        QTest::addColumn<QString>("textChars");
        QTest::addColumn<int>("textLength");
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("atOnceLeast");  // texts the one-pass way changed, at least
        for (quint32 seed : {1u, 2u, 3u}) {
            const QByteArray s = "/" + QByteArray::number(seed);
            QTest::newRow("letters" + s) << "ab" << "xab" << "ab$" << 40 << seed << 100;
            QTest::newRow("names of $" + s) << "$$a" << "xy" << "$$$a" << 60 << seed << 10;
            QTest::newRow("values holding keys" + s) << "a$" << "a$$x" << "$a" << 40 << seed << 5;
            QTest::newRow("empty values" + s) << "ab$" << "" << "$ab" << 50 << seed << 30;
            QTest::newRow("long values" + s) << "a" << "xyzxyzaz" << "$a$ax" << 80 << seed << 100;
            QTest::newRow("values holding $ between keys" + s) << "ab" << "$ab" << "ab" << 6 << seed << 30;
            QTest::newRow("beyond Latin-1" + s) << QString::fromUtf8("βж$") << QString::fromUtf8("жx")
                                                << QString::fromUtf8("$βж") << 40 << seed << 30;
        }
    }
    void substitutionAsEveryKeyInTurn()
    {
        QFETCH(QString, nameChars);
        QFETCH(QString, valueChars);
        QFETCH(QString, textChars);
        QFETCH(int, textLength);
        QFETCH(quint32, seed);
        QFETCH(int, atOnceLeast);
        QRandomGenerator rng(seed);
        QStringList keys, values;
        KeyFinder finder;
        int atOnce = 0, changed = 0, refused = 0, substituted = 0;
        for (int round = 0; round < 3000; ++round) {
            if (round % 300 == 0) {  // a table taken afresh
                keys = QStringList{"$DataRoot$"};
                values = QStringList{"/data"};
            }
            // ":let": an existing name gets a new value, a new one is appended.
            for (int n = int(rng.bounded(3)); n > 0; --n) {
                const QString key = '$' + randomText(rng, nameChars, 4) + '$';
                const QString value = randomText(rng, valueChars.isEmpty() ? QString("x") : valueChars, valueChars.isEmpty() ? 0 : 5);
                const int at = keys.indexOf(key);
                if (at >= 0) values[at] = value;
                else keys << key, values << value;
            }
            QString text = randomText(rng, textChars, textLength);
            // A key of the table written into the text now and then.
            for (int n = int(rng.bounded(4)); n > 0; --n)
                text.insert(int(rng.bounded(text.size() + 1)), keys[int(rng.bounded(keys.size()))]);
            const qint64 maxSize = rng.bounded(4) == 0 ? text.size() + qint64(rng.bounded(20)) : 1 << 20;
            bool tooLong = false;
            const QString want = everyKeyInTurn(text, keys, values, maxSize, tooLong);
            refused += tooLong;
            substituted += !tooLong && want != text;
            QString got = text;
            const SubstResult r = substituteKeys(got, keys, values, finder, maxSize);
            const QString where = QString("keys %1, values %2, text %3, max %4")
                                      .arg(keys.join(' '), values.join(' '), text).arg(maxSize);
            QVERIFY2(r == (tooLong ? SubstResult::TooLong : SubstResult::Done), qPrintable(where));
            if (!tooLong) QVERIFY2(got == want, qPrintable(where + " gave " + got + ", not " + want));
            // The one-pass way on its own: when it takes a text, it gives the same.
            QString once = text;
            SubstResult onceResult = SubstResult::Stopped;
            if (finder.substituteAtOnce(once, keys, values, keys.size(), maxSize, nullptr, onceResult)) {
                ++atOnce;
                changed += once != text;
                QVERIFY2(onceResult == SubstResult::Done && !tooLong && once == want, qPrintable(where + " at once: " + once));
            } else {
                QCOMPARE(once, text);
            }
            // A loop token, any text, is replaced as QString::replace does.
            const QString token = randomText(rng, textChars, 3);
            QString tokenWant = text;
            if (!token.isEmpty()) tokenWant.replace(token, "7", Qt::CaseSensitive);
            QString tokenGot = text;
            QVERIFY(replaceEvery(tokenGot, token, "7", 1 << 20) == SubstResult::Done);
            QCOMPARE(tokenGot, tokenWant);
        }
        // The rows reach every way through: texts changed, at once too, and refusals.
        QVERIFY2(substituted > 500, qPrintable(QString::number(substituted)));
        QVERIFY2(changed >= atOnceLeast, qPrintable(QString::number(changed)));
        QVERIFY2(valueChars.isEmpty() || refused > 3, qPrintable(QString::number(refused)));
        QVERIFY(atOnce < 3000);
    }

    // Loop tokens against the rule as written, every loop of the table in turn, each occurrence left to right,
    // over a table of thousands of finished loops and a few made again and again: tokens inside tokens, shared
    // by loops, values holding tokens (a start as written), loops dropped (a bound past 64 bits), stepped.
    void loopTokensAsEveryLoopInTurn_data()
    {
        QTest::addColumn<QString>("tokenChars");
        QTest::addColumn<QString>("valueChars");
        QTest::addColumn<int>("names");     // loops made again pick their names among so many
        QTest::addColumn<int>("finished");  // loops made and finished first, distinct names
        for (quint32 seed : {1u, 2u}) {
            const QByteArray s = "/" + QByteArray::number(seed);
            QTest::newRow("percent tokens" + s) << "%ab" << "ab%1" << 40 << 3000;
            QTest::newRow("few names, many tokens" + s) << "%ab$" << "%b$" << 5 << 0;
            QTest::newRow("dollar tokens" + s) << "$a" << "$a$x" << 30 << 2000;
            QTest::newRow("beyond Latin-1" + s) << QString::fromUtf8("βж%") << QString::fromUtf8("жx%") << 20 << 500;
        }
    }
    void loopTokensAsEveryLoopInTurn()
    {
        QFETCH(QString, tokenChars);
        QFETCH(QString, valueChars);
        QFETCH(int, names);
        QFETCH(int, finished);
        const quint32 seed = qHash(QByteArray(QTest::currentDataTag()));
        QRandomGenerator rng(seed);
        LoopTable table;
        QVector<LoopVar> plain;  // the loop list as the rule keeps it
        auto make = [&](const QString& name, const QString& token, const QString& value, bool kept) {
            table.remove(name);
            for (int i = 0; i < plain.size(); ++i)
                if (plain[i].name == name) {
                    plain.remove(i);
                    break;
                }
            if (!kept) return;
            LoopVar l;
            l.name = name, l.token = token, l.current = value;
            table.append(l);
            plain << l;
        };
        for (int i = 0; i < finished; ++i)
            make("f" + QString::number(i), randomText(rng, tokenChars, 3), randomText(rng, valueChars, 3), true);
        int changed = 0, refused = 0;
        for (int round = 0; round < 3000; ++round) {
            for (int n = int(rng.bounded(3)); n > 0; --n) {
                const QString name = "n" + QString::number(rng.bounded(names));
                if (rng.bounded(4) == 0) {  // ":next": a new value
                    const QString value = randomText(rng, valueChars, 3);
                    if (LoopVar* l = table.find(name)) l->current = value;
                    for (LoopVar& l : plain)
                        if (l.name == name) l.current = value;
                } else {
                    make(name, randomText(rng, tokenChars, 3), randomText(rng, valueChars, 3), rng.bounded(10) != 0);
                }
            }
            QString text = randomText(rng, tokenChars + "x", 30);
            for (int n = int(rng.bounded(4)); n > 0 && !plain.isEmpty(); --n)
                text.insert(int(rng.bounded(text.size() + 1)), plain[int(rng.bounded(plain.size()))].token);
            const qint64 maxSize = rng.bounded(4) == 0 ? text.size() + qint64(rng.bounded(8)) : 1 << 20;
            QStringList tokens, values;
            for (const LoopVar& l : plain) tokens << l.token, values << l.current;
            bool tooLong = false;
            const QString want = everyKeyInTurn(text, tokens, values, maxSize, tooLong);
            QString got = text;
            const SubstResult r = table.substitute(got, maxSize);
            const QString where = QString("text %1, max %2").arg(text).arg(maxSize);
            QVERIFY2(r == (tooLong ? SubstResult::TooLong : SubstResult::Done), qPrintable(where));
            if (!tooLong) QVERIFY2(got == want, qPrintable(where + " gave " + got + ", not " + want));
            changed += !tooLong && want != text;
            refused += tooLong;
        }
        QCOMPARE(table.size(), plain.size());
        const QVector<LoopVar> inOrder = table.inOrder();
        QCOMPARE(inOrder.size(), plain.size());
        for (int i = 0; i < plain.size(); ++i) QCOMPARE(inOrder[i].name, plain[i].name);
        // The rows reach both ends: texts changed, and refusals.
        QVERIFY2(changed > 500 && refused > 3, qPrintable(QString("%1 changed, %2 refused").arg(changed).arg(refused)));
    }

    // Texts where replacing all keys at once would differ from one key after the other: the one-pass way must
    // leave them to the other.
    void notAtOnce_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("want");
        QTest::newRow("value with $ makes a later key") << QStringList{"$a$", "$bb$"} << QStringList{"$b", "Z"} << "$a$b$a$" << "Zb";
        QTest::newRow("values and text between make a later key")
            << QStringList{"$a$", "$b$", "$qxyc$"} << QStringList{"x", "y", "Z"} << "$q$a$$b$c$" << "Z";
        QTest::newRow("empty value joins two halves") << QStringList{"$a$", "$pq$"} << QStringList{"", "Z"} << "$p$a$q$" << "Z";
        QTest::newRow("overlapping keys") << QStringList{"$a$", "$a$b$"} << QStringList{"1", "2"} << "$a$b$" << "1b$";
        QTest::newRow("same key overlapping itself") << QStringList{"$a$"} << QStringList{"1"} << "$a$a$" << "1a$";
        QTest::newRow("two keys end together") << QStringList{"$b$", "$a$b$"} << QStringList{"1", "2"} << "$a$b$" << "$a1";
    }
    void notAtOnce()
    {
        QFETCH(QStringList, keys);
        QFETCH(QStringList, values);
        QFETCH(QString, text);
        QFETCH(QString, want);
        bool tooLong = false;
        QCOMPARE(everyKeyInTurn(text, keys, values, 1 << 20, tooLong), want);
        KeyFinder finder;
        QString got = text;
        QCOMPARE(substituteKeys(got, keys, values, finder, 1 << 20), SubstResult::Done);
        QCOMPARE(got, want);
        SubstResult r = SubstResult::Done;
        got = text;
        QVERIFY(!finder.substituteAtOnce(got, keys, values, keys.size(), 1 << 20, nullptr, r));
        QCOMPARE(got, text);
    }

    // The bound counts the occurrences actually replaced: "$$" occurs once in "$$$", not twice.
    void boundCountsWhatIsReplaced_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("maxSize");
        QTest::addColumn<QString>("want");  // empty: refused
        QTest::newRow("overlapping, fits") << "$$$" << "$$" << "abcd" << 5 << "abcd$";
        QTest::newRow("overlapping, one over") << "$$$" << "$$" << "abcd" << 4 << "";
        QTest::newRow("$ runs") << QString(9, '$') << "$$$$" << "vvvvv" << 11 << "vvvvvvvvvv$";
        QTest::newRow("shorter value never refused") << "a$b$c" << "$b$" << "" << 1 << "ac";
    }
    void boundCountsWhatIsReplaced()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(int, maxSize);
        QFETCH(QString, want);
        QString got = text;
        QCOMPARE(replaceEvery(got, key, value, maxSize), want.isEmpty() ? SubstResult::TooLong : SubstResult::Done);
        QCOMPARE(got, want.isEmpty() ? text : want);
        got = text;
        KeyFinder finder;
        QCOMPARE(substituteKeys(got, {key}, {value}, finder, maxSize), want.isEmpty() ? SubstResult::TooLong : SubstResult::Done);
    }

    // Keys rich in "$" against arguments rich in "$" (8000 "$" in a name and in an argument took 38 s, a 1000-"$"
    // key against a 200,000-"$" argument 34 s), and thousands of different keys in one argument: run headless,
    // each within seconds, with what the rule gives. Timed against the same script with every "$" a letter, run
    // just before, so that a busy machine or a sanitizer build slows both; the tight figures are bench_batch's.
    void dollarRichLinesRunHeadless_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("echo");  // the echo's text
        QTest::newRow("16 KB: 8000 $ in a name and an argument")
            << ":let " + QString(8000, '$') + " v\n:echo " + QString(8000, '$') + "\nquit\n" << QString(8000, '$');
        QTest::newRow("40 KB: 20000 $") << ":let " + QString(20000, '$') + " v\n:echo " + QString(20000, '$') + "\nquit\n"
                                         << QString(20000, '$');
        QTest::newRow("1000-$ key, 200000-$ argument")
            << ":let " + QString(998, '$') + " v\n:echo " + QString(200000, '$') + "\nquit\n" << QString(200, 'v');
        QString lets, uses;
        for (int i = 1; i <= 30000; ++i) lets += QString(":let v%1 %2\n").arg(i).arg(i % 10), uses.prepend(QString("$v%1$").arg(i));
        QString want;
        for (int i = 30000; i >= 1; --i) want += QString::number(i % 10);
        QTest::newRow("30000 keys in one argument") << lets + ":echo " + uses + "\nquit\n" << want;
    }
    void dollarRichLinesRunHeadless()
    {
        QFETCH(QString, script);
        QFETCH(QString, echo);
        QTemporaryDir dir;
        QElapsedTimer t;
        t.start();
        const ts::ProgramRun plain = ts::runHeadless(dir.path(), QString(script).replace('$', 'd'), 300000);
        const qint64 plainMs = t.restart();
        QVERIFY2(plain.endedWith(0), plain.err.right(2000).constData());
        const ts::ProgramRun r = ts::runHeadless(dir.path(), script, 300000);
        const qint64 ms = t.elapsed();
        QVERIFY2(r.endedWith(0), r.err.right(2000).constData());
        QVERIFY2(ms < 4 * plainMs + 10000, qPrintable(QString("%1 ms, without \"$\" %2 ms").arg(ms).arg(plainMs)));
        const int lineNo = script.count('\n') - 1;
        QVERIFY2(r.err.contains(BatchLog::shown(QString("line %1: echo ").arg(lineNo) + echo).toUtf8() + '\n'),
                 r.err.right(1500).constData());
    }

    // Stop reaches a script in the middle of one long line: thousands of keys whose values hold "$", so each is
    // substituted in turn over the whole argument (a minute or so). The line counts as not run.
    void stopInsideALongLine()
    {
        disconnect(disp, &BatchDispatcher::Log, exec, nullptr);
        QStringList lines;
        QString uses;
        for (int i = 1; i <= 30000; ++i) lines << QString(":let v%1 $%1").arg(i), uses.prepend(QString("$v%1$").arg(i));
        // Lines after it with and without a word, counted as the parse finds them.
        const QStringList after{"seek_image 2", "  # note", "\t", "\"\" x", "\"", "\" \" x", QString::fromUtf8("\u00a0seek_image 3"),
                                ":label", "", "\t\tseek_image 4 \\", ":end"};
        lines << "seek_image " + uses << after;
        int notRun = 1;
        for (int i = 0; i + 1 < after.size(); ++i) {
            CmdLine c;
            c.setLine(after[i]);
            notRun += !c.word.isEmpty();
        }
        QCOMPARE(notRun, 1 + 5);
        const int failures = FailureLog::count();
        QString said;
        connect(disp, &BatchDispatcher::Log, exec, [&said](const QString& t) { said += t.contains("not run") ? t : QString(); });
        dispatch(lines);
        // The ":let" lines give the thread's events a turn every few ms; the long line gives none.
        bool inLine = false;
        for (int tries = 0; tries < 120 && !inLine; ++tries) {
            auto pinged = std::make_shared<std::atomic<bool>>(false);
            QMetaObject::invokeMethod(disp, [pinged] { *pinged = true; }, Qt::QueuedConnection);
            QElapsedTimer w;
            w.start();
            while (!*pinged && w.elapsed() < 1000) QTest::qWait(10);
            inLine = !*pinged;
        }
        QVERIFY(inLine);
        QElapsedTimer t;
        t.start();
        disp->askStop();
        QMetaObject::invokeMethod(disp, [this] { disp->batchStopSlot(); }, Qt::BlockingQueuedConnection);
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed()) + " ms"));
        QVERIFY(!running());
        QCOMPARE(exec->sent, QStringList());
        QTRY_VERIFY2(said.contains(QString("%1 line(s) not run").arg(notRun)), qPrintable(said));
        QCOMPARE(FailureLog::count() - failures, 1);
    }

    // SIGTERM reaches a headless run in the middle of such a line: it ends at once with status 1 and says what it
    // left undone (the signal once waited 76 s for the line).
    void sigtermInsideALongLine()
    {
        QTemporaryDir dir;
        QString script, uses;
        for (int i = 1; i <= 30000; ++i) script += QString(":let v%1 $%1\n").arg(i), uses.prepend(QString("$v%1$").arg(i));
        script += ":echo " + uses + "\nquit\n";
        const QString bat = dir.filePath("long.bat"), cfg = dir.filePath("long.cfg"), err = dir.filePath("long.err");
        QVERIFY(ts::writeText(bat, script) && ts::writeText(cfg, "DataRoot " + dir.path() + "\n"));
        QProcess p;
        ts::startOffscreen(p, err, {"-c", cfg, "-e", "-b", bat, "-x"});
        QVERIFY(p.waitForStarted(10000));
        QFile f(err);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray seen;
        QTRY_VERIFY_WITH_TIMEOUT((seen += f.readAll()).contains("line 30000: let v30000 "), 60000);
        QTest::qWait(500);
        QVERIFY2(p.state() == QProcess::Running, "the long line ended before the signal");
        QElapsedTimer t;
        t.start();
        p.terminate();
        QVERIFY(p.waitForFinished(20000));
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed()) + " ms"));
        QVERIFY(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 1);
        seen += f.readAll();
        QVERIFY2(seen.contains("Batch: the script was stopped before its end; 2 line(s) not run"), seen.right(1000).constData());
        QVERIFY(!seen.contains("line 30001: echo"));
    }

    // A line of many items is split in time linear in its length (copying its rest for each item took 7.5 s for
    // 800 KB of one-character items). Timed against a line as long of one item, split just before, so that a busy
    // machine or a sanitizer build slows both.
    void longLineSplitInLinearTime()
    {
        const int items = 400 * 1024;
        disconnect(disp, &BatchDispatcher::Log, exec, nullptr);
        QElapsedTimer t;
        t.start();
        dispatch({"seek_image " + QString(2 * items - 1, 'x') + " \"last item\"", ":end"});
        drain();
        exec->sent.clear();
        const qint64 oneItemMs = t.restart();
        dispatch({"seek_image" + QString(" x").repeated(items) + " \"last item\"", ":end"});
        drain();
        const qint64 ms = t.elapsed();
        QVERIFY2(ms < 10 * oneItemMs + 2000, qPrintable(QString("%1 ms, one item %2 ms").arg(ms).arg(oneItemMs)));
        QVERIFY(exec->sent == QStringList{"seek_image " + QString("x|").repeated(items) + "last item"});
    }

    // The end of the thread reaches a script that runs control lines for
    // ever (Stop reaches it too: a row above).
    void endlessControlLoopEndsWithTheThread()
    {
        dispatch({":for i %i 1 2000000000", ":let v %i", ":next i", ":end"});
        QTest::qWait(50);
        QVERIFY(running());
        thread->quit();
        QVERIFY(thread->wait(10000));
    }

    // Many turns of control lines: setting a variable again and again keeps
    // no trace of each setting.
    void manyPassesOfControlLines()
    {
        const int passes = 5 * BatchDispatcher::linesPerTurn;
        disconnect(disp, &BatchDispatcher::Log, exec, nullptr);
        dispatch({QString(":for i %i 1 %1").arg(passes), ":let v x", ":next i", "seek_image %i $v$", ":end"});
        QTRY_COMPARE_WITH_TIMEOUT(exec->sent.size(), 1, 120000);
        QCOMPARE(exec->sent[0], QString("seek_image %1|x").arg(passes));
        const Cfg vars = onThread([this] { return disp->variables(); });
        QCOMPARE(vars.keys.size(), 2);
        QVERIFY(vars.histKeys.size() <= 2);
    }

    // Loops of distinct names, run one after the other or nested, cost about what as many ":echo" lines cost: a
    // finished loop stays for its token, but a line is no longer substituted against every loop that ran before,
    // nor a ":next" looked up among them (50,000 loops took 35 s against 1.4 s). Their tokens still stand for
    // their values; the tight figures are bench_batch's.
    void manyLoopsCostNoMore()
    {
        disconnect(disp, &BatchDispatcher::Log, exec, nullptr);
        const int n = 50000;
        QStringList echoes, after, nested;
        for (int i = 0; i < 3 * n; ++i) echoes << QString(":echo x%1").arg(i);
        for (int i = 0; i < n; ++i)
            after << QString(":for L%1 %L%1% 1 1").arg(i) << QString(":echo x%L%1%").arg(i) << QString(":next L%1").arg(i);
        for (int i = 0; i < n; ++i) nested << QString(":for N%1 %N%1% %1 %1").arg(i);
        nested << ":echo %N0%-%N49999%";
        for (int i = n - 1; i >= 0; --i) nested << QString(":next N%1").arg(i);
        echoes << "seek_image echoed" << ":end";
        after << "seek_image %L0%%L25000% %L49999% %L50000%" << ":end";
        nested << "seek_image %N0% %N49999%" << ":end";
        qint64 took[3];
        const QStringList* scripts[3] = {&echoes, &after, &nested};
        const QString sent[3] = {"seek_image echoed", "seek_image 11|1|%L50000%", "seek_image 0|49999"};
        for (int k = 0; k < 3; ++k) {
            exec->sent.clear();
            QElapsedTimer t;
            t.start();
            dispatch(*scripts[k]);
            QTRY_VERIFY_WITH_TIMEOUT(!exec->sent.isEmpty(), 600000);
            took[k] = t.elapsed();
            QTRY_VERIFY(!running());
            QCOMPARE(exec->sent.join('\n'), sent[k]);
        }
        const QString times = QString("echo %1 ms, loops one after the other %2 ms, nested %3 ms").arg(took[0]).arg(took[1]).arg(took[2]);
        qInfo().noquote() << times;
        // About 5 to 1 now, 10 to 1 allowed; against every loop before, 25 to 1 and more.
        QVERIFY2(took[1] < 10 * took[0] + 10000 && took[2] < 10 * took[0] + 10000, qPrintable(times));
    }

    // Answered straight from the signal (a direct connection on one thread),
    // a long script does not nest one call per command.
    void directAnswersDoNotNest()
    {
        BatchDispatcher local;
        FakeExec direct;
        int logs = 0;
        connect(&local, &BatchDispatcher::execCmdSig, &direct, &FakeExec::execCmdSlot, Qt::DirectConnection);
        connect(&direct, &FakeExec::finishBatchExec, &local, &BatchDispatcher::finishBatchExec, Qt::DirectConnection);
        connect(&local, &BatchDispatcher::Log, this, [&logs](const QString& t) { logs += t.count('\n'); });
        local.doDispatchCmds({":for i %i 1 50000", "seek_image %i", ":next i", ":end"});
        QTRY_VERIFY_WITH_TIMEOUT(!local.isRunning(), 60000);
        QCOMPARE(direct.sent.size(), 50000);
        QCOMPARE(logs, 1 + 50000 * 2 + 1);
    }

    // docs/batch-words.md against the command tables: every stored word,
    // misspellings included, documented once, and no other word.
    void referenceMatchesTheTables()
    {
        QFile f(QFINDTESTDATA("../../docs/batch-words.md"));
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        QStringList documented, stored;
        QRegularExpressionMatchIterator m = QRegularExpression("^\\|\\s*`([^`]+)`\\s*\\|", QRegularExpression::MultilineOption)
                                                .globalMatch(QString::fromUtf8(f.readAll()));
        while (m.hasNext()) documented << m.next().captured(1);
        for (const BatchCmdEntry& e : ctrlCmdList + exCmdList)
            if (e.id != not_ex_cmd) stored << e.word;  // the "none" id, no word a script uses
        documented.sort();
        stored.sort();
        QCOMPARE(documented, stored);
    }

    // One line parsed into word and items.
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("word");  // empty: not a valid line; ':' first: a label
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("debug");  // a debug line the parser must write
        QTest::newRow("empty quoted word") << "\"\" arg" << "" << QStringList() << "";
        QTest::newRow("quoted item keeps blanks") << "load_I1_files  NEW \"C:/Data/my run/a 1.tif\" b.tif"
            << "load_I1_files" << QStringList({"NEW", "C:/Data/my run/a 1.tif", "b.tif"}) << "";
        QTest::newRow("hash after the word is an argument")
            << "save_image  out#1.png # note" << "save_image" << QStringList({"out#1.png", "#", "note"}) << "";
        QTest::newRow("unclosed quote takes the rest") << "save_data \"C:/out dir/map  # x" << "save_data"
            << QStringList({"C:/out dir/map  # x"}) << "started from quote but not ended by quote";
        QTest::newRow("quotes inside, empty item dropped") << "echo_x a\"b \"\" c\"d\"" << "echo_x"
            << QStringList({"a\"b", "c\"d\""}) << "started from not quote but ended by quote";
        QTest::newRow("label") << ":loop1" << ":loop1" << QStringList() << "";
        QTest::newRow("quoted label") << "\":for\" i" << ":for" << QStringList({"i"}) << "";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QString, word);
        QFETCH(QStringList, args);
        QFETCH(QString, debug);
        if (!debug.isEmpty()) QTest::ignoreMessage(QtDebugMsg, QRegularExpression(debug));
        CmdLine c;
        c.setLine(text);
        QCOMPARE(c.valid, !word.isEmpty());
        QCOMPARE(c.isLabel, word.startsWith(':'));
        QCOMPARE(c.word, word);
        QCOMPARE(c.args, args);
        QCOMPARE(c.arg(args.size()), QString());
        QCOMPARE(c.arg(-1), QString());
    }

    void reproducers_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("file");
        for (const QString& r : QStringList{"image", "cfg", "emp", "batch", "bytemap"}) {
            const QFileInfoList files = QDir(REGRESSION_DIR "/" + r).entryInfoList(QDir::Files, QDir::Name);
            // Every reader has reproducers: a moved folder must not pass as empty.
            if (files.isEmpty()) QTest::newRow(qPrintable(r + " has none")) << r << QString();
            for (const QFileInfo& f : files) QTest::newRow(qPrintable(r + "/" + f.fileName())) << r << f.filePath();
        }
    }
    void reproducers()
    {
        QFETCH(QString, reader);
        QFETCH(QString, file);
        QVERIFY2(!file.isEmpty(), qPrintable(reader));
        // The harnesses read from their own folder under a fixed name, so
        // that a configuration can include itself.
        QTemporaryDir dir;
        const QString name = reader == "cfg" ? dir.filePath("fuzz.cfg") : dir.filePath(QFileInfo(file).fileName());
        QVERIFY(QFile::copy(file, name));
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const QtMessageHandler old = qInstallMessageHandler(quiet);
        QElapsedTimer t;
        t.start();
        readAsHarness(reader, name);  // a throw ends the run: a failure too
        qInstallMessageHandler(old);
        QDir::setCurrent(cwd);
        QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed()) + " ms"));
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        QVERIFY2(u.ru_maxrss / 1024 < 1500, qPrintable(QString::number(u.ru_maxrss / 1024) + " MB"));
    }

    // Files that each include the next level twice: no cycle, but 2^depth
    // entries without the bounds on depth and lines.
    void includeFanOut()
    {
        QTemporaryDir dir;
        const int levels = 24;
        for (int i = 0; i < levels; ++i) {
            const QByteArray next = QFile::encodeName(dir.filePath(QString("l%1.cfg").arg(i + 1)));
            const QByteArray text = "K" + QByteArray::number(i) + " v\nINCLUDE " + next + "\ninclude " + next + "\n";
            QVERIFY(ts::writeFile(dir.filePath(QString("l%1.cfg").arg(i)), text));
        }
        const QtMessageHandler old = qInstallMessageHandler(quiet);
        QElapsedTimer t;
        t.start();
        Cfg c;
        c.readFile(dir.filePath("l0.cfg"));
        qInstallMessageHandler(old);
        QVERIFY(c.histKeys.size() <= 20000);
        // What is read comes in file order, from the top.
        QCOMPARE(c.histKeys.mid(0, 3), (QStringList{"K0", "K1", "K2"}));
        QVERIFY(!c.keys.contains("K23"));  // beyond the nesting bound
        QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed()) + " ms"));
    }
};

QTEST_MAIN(TstBatchDispatcher)
#include "tst_batchdispatcher.moc"
