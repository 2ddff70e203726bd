// The batch interpreter on its own thread, driven by a stand-in for the main
// window's command executor.
#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include "batch/BatchCmd.h"
#include "batch/BatchDispatcher.h"
#include "batch/CmdLine.h"
#include "batch/LoopVar.h"
#include "core/Globals.h"

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
    void answer(int id) { emit finishBatchExec(id); }

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
    void stop() { QMetaObject::invokeMethod(disp, [this] { disp->batchStopSlot(); }, Qt::QueuedConnection); }

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
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
            if (type != QtDebugMsg)
                fprintf(stderr, "%s\n", qPrintable(msg));
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
            "load_I1_files : NEW a5.tif a$x$.tif\nendsave_image : 5 /data/root/m.png\nend");
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
        // Unknown words and labels pass without a trace; echo has no line break.
        row("comment block, labels, unknown words",
            ":label_1\n:REM_START\nseek_image $DataRoot$\n:end\n:let Y 1\n:for i %i 1 3\n:echo hidden\n:rem_end\n"
            "bogus_word 1\nSEEK_IMAGE $Y$ %i\n:rem_end\n:Echo x\n:END\nseek_image never",
            "rem seek_image $DataRoot$\nSEEK_IMAGE $Y$|%i", "SEEK_IMAGE : $Y$ %i\necho xend");
        row("echo", ":let N 7\n:echo n=$N$ second\nseek_image 1\n:end", "seek_image 1", "echo n=7seek_image : 1\nend");
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
        row("empty script", "\n:end", "", "end");
        row("after an empty list", "--\nseek_image 2\n:end", "/\nseek_image 2");
        row("after a script without end", "seek_image cfg\n--\n:for i %i 1 2\nseek_image %i\n:next i\n:end",
            "seek_image cfg\n/\nseek_image 1\nseek_image 2");
        // A script waiting for its load goes on only on that load's answer: not
        // on the late answer of a command a Stop abandoned, nor on answers to
        // work started by hand (another stack's load, a 2-D run, a map read).
        const QString waiting = "load_I1_files NEW b.tif\nseek_image 2\n:end\n--\nRELEASE\n";
        row("stopped load", "HOLD\nload_I1_files NEW a.tif\n--\nSTOP\n" + waiting + "ANSWER 4\nANSWER 4",
            "load_I1_files NEW|a.tif\n/\n/\nload_I1_files NEW|b.tif\n/\n/\nseek_image 2\n/");
        row("stopped pattern load",
            "HOLD\nload_I1_files_of_pattern NEW d/ *.tif\n--\nSTOP\n" + waiting + "ANSWER 4\nANSWER 4",
            "load_I1_files_of_pattern NEW|d/|*.tif\n/\n/\nload_I1_files NEW|b.tif\n/\n/\nseek_image 2\n/");
        row("stopped seek", "HOLD\nseek_image 1\n--\nSTOP\n" + waiting + "ANSWER 59\nANSWER 4",
            "seek_image 1\n/\n/\nload_I1_files NEW|b.tif\n/\n/\nseek_image 2\n/");
        row("answers to work by hand", "HOLD\n" + waiting + "ANSWER 5\nANSWER 112\nANSWER 138\nANSWER 137\nANSWER 4",
            "load_I1_files NEW|b.tif\n/\n/\n/\n/\n/\nseek_image 2\n/");
        // Lines sent while a script runs are dropped by its ":end"; answers
        // while idle change nothing.
        row("appended lines", "HOLD\nsave_image 1\n:end\n--\nseek_image 2\n:end\n--\nRELEASE\nANSWER 60\nseek_image 3\n"
                              ":end\n--\nANSWER 4",
            "save_image 1\n/\n/\n/\nseek_image 3\n/\n/");

        auto loop = [&row](const char* name, const QString& bounds, const QString& values) {
            row(name, ":for i %i " + bounds + "\nseek_image %i\n:next i\n:end",
                "seek_image " + values.split(' ').join("\nseek_image "));
        };
        auto range = [](int from, int to, int width) {
            QStringList l;
            for (int v = from; v <= to; ++v)
                l << QString("%1").arg(v, width, 10, QChar('0'));
            return l.join(' ');
        };
        loop("loop up", "1 3", "1 2 3");
        loop("loop down", "3 1", "3 2 1");
        loop("loop once", "5 5", "5");
        loop("loop step 4", "1 10 4", "1 5 9");
        loop("loop step 0", "1 3 0", "1 2 3");
        loop("loop plain", "1 12", range(1, 12, 1));
        loop("loop outgrows pad", "08 120", range(8, 99, 2) + " " + range(100, 120, 1));
        // A step written with the sign that leads away from the end still
        // walks towards it instead of never ending.
        loop("loop up, negative step", "1 10 -4", "1 5 9");
        loop("loop down, negative step", "10 1 -3", "10 7 4 1");
        loop("loop down, positive step", "10 1 3", "10 7 4 1");
        loop("loop padded below zero", "000 -3", "000 -01 -02 -03");
        loop("loop whole int range", "-2147483648 2147483647 2147483647", "-2147483648 -1 2147483646");
        loop("loop whole int range down", "2147483647 -2147483648 -2147483647", "2147483647 0 -2147483647");
        loop("loop bounds not numbers", "a b", "a");
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
                stop();
            else if (l.startsWith("ANSWER "))
                exec->answer(l.mid(7).toInt());
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

    // Stop, and the end of the thread, reach a script that runs control
    // lines for ever.
    void endlessControlLoopEnds_data()
    {
        QTest::addColumn<bool>("byStop");
        QTest::newRow("Stop") << true;
        QTest::newRow("thread quit") << false;
    }
    void endlessControlLoopEnds()
    {
        QFETCH(bool, byStop);
        disconnect(disp, &BatchDispatcher::Log, exec, nullptr);
        dispatch({":for i %i 1 2000000000", ":echo %i", ":next i", ":end"});
        QTest::qWait(50);
        QElapsedTimer t;
        t.start();
        if (byStop) {
            QVERIFY(running());
            stop();
            QVERIFY(!running());
            auto value = [this] { return disp->loopVars().value(0).current.toInt(); };
            const int v = onThread(value);
            QVERIFY(v > 1);
            QTest::qWait(20);
            QCOMPARE(onThread(value), v);
        } else {
            thread->quit();
            QVERIFY(thread->wait(30000));
        }
        QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed())));
    }

    // Many turns of control lines: setting a variable again and again keeps
    // no trace of each setting.
    void manyPassesOfControlLines()
    {
        const int passes = 5 * BatchDispatcher::linesPerTurn;
        disconnect(disp, &BatchDispatcher::Log, exec, nullptr);
        dispatch({QString(":for i %i 1 %1").arg(passes), ":echo %i", ":let v x", ":next i",
                               "seek_image %i $v$", ":end"});
        QTRY_COMPARE_WITH_TIMEOUT(exec->sent.size(), 1, 120000);
        QCOMPARE(exec->sent[0], QString("seek_image %1|x").arg(passes));
        const Cfg vars = onThread([this] { return disp->variables(); });
        QCOMPARE(vars.keys.size(), 2);
        QVERIFY(vars.histKeys.size() <= 2);
    }

    // Answered straight from the signal (a direct connection on one thread),
    // a long script does not nest one call per command.
    void directAnswersDoNotNest()
    {
        BatchDispatcher local;
        FakeExec direct;
        int logs = 0;
        connect(&local, &BatchDispatcher::execCmdSig, &direct, &FakeExec::execCmdSlot, Qt::DirectConnection);
        connect(&direct, &FakeExec::finishBatchExec, &local, &BatchDispatcher::finishBatchExec,
                Qt::DirectConnection);
        connect(&local, &BatchDispatcher::Log, this, [&logs] { ++logs; });
        local.doDispatchCmds({":for i %i 1 50000", "seek_image %i", ":next i", ":end"});
        QTRY_VERIFY_WITH_TIMEOUT(!local.isRunning(), 60000);
        QCOMPARE(direct.sent.size(), 50000);
        QCOMPARE(direct.sent.last(), QString("seek_image 50000"));
        QCOMPARE(logs, 1 + 50000 * 2 + 1);
    }
};

QTEST_MAIN(TstBatchDispatcher)
#include "tst_batchdispatcher.moc"
