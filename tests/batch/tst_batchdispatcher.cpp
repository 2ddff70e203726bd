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

namespace {

struct Sent {
    QString word;
    QStringList args;
    bool inRem;
};

}  // namespace

// Answers every command at once with its id (158 inside a comment block),
// unless told to hold it.
class FakeExec : public QObject {
    Q_OBJECT
public:
    QVector<Sent> sent;
    QStringList holdWords;
    bool holdAll = false;

    QStringList firstArgs() const
    {
        QStringList a;
        for (const Sent& s : sent)
            a << s.args.value(0);
        return a;
    }

public slots:
    void execCmdSlot(CmdLine cmd, bool inRem)
    {
        sent.append({cmd.word, cmd.args, inRem});
        if (holdAll || holdWords.contains(cmd.word))
            return;
        emit finishBatchExec(inRem ? int(not_ex_cmd) : int(answerIdOf(exCmdId(cmd))));
    }
    void answer(int id) { emit finishBatchExec(id); }

signals:
    void finishBatchExec(int id);
};

class LogSink : public QObject {
    Q_OBJECT
public:
    QString text;
public slots:
    void Log(const QString& t) { text += t; }
};

class Driver : public QObject {
    Q_OBJECT
signals:
    void dispatch(const QStringList& lines);
    void stop();
};

class TstBatchDispatcher : public QObject {
    Q_OBJECT

    QThread* thread = nullptr;
    BatchDispatcher* disp = nullptr;
    FakeExec* exec = nullptr;
    LogSink* sink = nullptr;
    Driver* driver = nullptr;

    template <typename F>
    auto onThread(F f) -> decltype(f())
    {
        decltype(f()) r{};
        QMetaObject::invokeMethod(disp, [&] { r = f(); }, Qt::BlockingQueuedConnection);
        return r;
    }
    bool running() { return onThread([this] { return disp->isRunning(); }); }

    // Runs a script and waits until the interpreter is idle again; the texts
    // and commands it sent on the way have all arrived when this returns.
    bool runToIdle(const QStringList& script, int timeoutMs = 5000)
    {
        emit driver->dispatch(script);
        QElapsedTimer t;
        t.start();
        while (running()) {
            if (t.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        QCoreApplication::sendPostedEvents();
        return true;
    }
    void settle()
    {
        running();  // everything queued to the interpreter so far is handled
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
        sink = new LogSink;
        driver = new Driver;
        connect(disp, &BatchDispatcher::execCmdSig, exec, &FakeExec::execCmdSlot);
        connect(exec, &FakeExec::finishBatchExec, disp, &BatchDispatcher::finishBatchExec);
        connect(disp, &BatchDispatcher::Log, sink, &LogSink::Log);
        connect(driver, &Driver::dispatch, disp, &BatchDispatcher::doDispatchCmds);
        connect(driver, &Driver::stop, disp, &BatchDispatcher::batchStopSlot);
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
        delete sink;
        delete driver;
    }

    void letVariableInArgument()
    {
        QVERIFY(runToIdle({":let X 5", "load_I1_files NEW a$X$.tif a$x$.tif", ":end"}));
        QCOMPARE(exec->sent.size(), 1);
        QCOMPARE(exec->sent[0].word, QString("load_I1_files"));
        QCOMPARE(exec->sent[0].args, QStringList({"NEW", "a5.tif", "a$x$.tif"}));
        QVERIFY(!exec->sent[0].inRem);
        QCOMPARE(sink->text, QString("load_I1_files : NEW a5.tif a$x$.tif\nend"));

        // Variables outlive ":end"; the data root is known from the start.
        QVERIFY(runToIdle({"save_image $X$ $DataRoot$/m.png", ":end"}));
        QCOMPARE(exec->sent[1].args, QStringList({"5", "/data/root/m.png"}));
    }

    void variablesInTableOrder()
    {
        // A value holding another key is expanded only when that key comes
        // later in the table; a value holding its own key is put in once.
        QVERIFY(runToIdle({":let B x$A$", ":let A 1", ":let C y$A$", ":let S <$S$>",
                           "seek_image $B$ $C$ $S$", ":let S $S$$S$", "seek_image $S$", ":end"}));
        QCOMPARE(exec->sent.size(), 2);
        QCOMPARE(exec->sent[0].args, QStringList({"x1", "y$A$", "<$S$>"}));
        QCOMPARE(exec->sent[1].args, QStringList({"$S$$S$"}));
        QCOMPARE(onThread([this] { return disp->variables().keys; }),
                 QStringList({"$DataRoot$", "$B$", "$A$", "$C$", "$S$"}));
    }

    void loopValues_data()
    {
        QTest::addColumn<QString>("bounds");
        QTest::addColumn<QStringList>("values");
        auto range = [](int from, int to, int by, int width) {
            QStringList l;
            for (int v = from; by > 0 ? v <= to : v >= to; v += by)
                l << QString("%1").arg(v, width, 10, QChar('0'));
            return l;
        };
        QTest::newRow("up") << "1 3" << QStringList({"1", "2", "3"});
        QTest::newRow("down") << "3 1" << QStringList({"3", "2", "1"});
        QTest::newRow("once") << "5 5" << QStringList({"5"});
        QTest::newRow("step 4") << "1 10 4" << QStringList({"1", "5", "9"});
        QTest::newRow("step 0") << "1 3 0" << QStringList({"1", "2", "3"});
        QTest::newRow("step text") << "1 3 abc" << QStringList({"1", "2", "3"});
        QTest::newRow("padded") << "01 12" << range(1, 12, 1, 2);
        QTest::newRow("plain") << "1 12" << range(1, 12, 1, 1);
        QTest::newRow("outgrows pad") << "08 120" << range(8, 99, 1, 2) + range(100, 120, 1, 1);
        // A step written with the sign that leads away from the end still
        // walks towards it instead of never ending.
        QTest::newRow("up, negative step") << "1 10 -4" << QStringList({"1", "5", "9"});
        QTest::newRow("down, negative step") << "10 1 -3" << QStringList({"10", "7", "4", "1"});
        QTest::newRow("down, positive step") << "10 1 3" << QStringList({"10", "7", "4", "1"});
        QTest::newRow("padded below zero") << "000 -3" << QStringList({"000", "-01", "-02", "-03"});
        QTest::newRow("whole int range")
            << "-2147483648 2147483647 2147483647"
            << QStringList({"-2147483648", "-1", "2147483646"});
        QTest::newRow("whole int range down")
            << "2147483647 -2147483648 -2147483647"
            << QStringList({"2147483647", "0", "-2147483647"});
        QTest::newRow("bounds not numbers") << "a b" << QStringList({"a"});
    }

    void loopValues()
    {
        QFETCH(QString, bounds);
        QFETCH(QStringList, values);
        QVERIFY(runToIdle({":for i %i " + bounds, "seek_image %i", ":next i", ":end"}));
        QCOMPARE(exec->firstArgs(), values);
    }

    void nestedLoops()
    {
        QVERIFY(runToIdle({":for i %i 1 2",
                           ":for j %j 1 3",
                           "save_image f%i_%j.png",
                           ":next j",
                           "seek_image after%i",
                           ":next i",
                           "seek_image last%i%j",
                           ":end"}));
        QCOMPARE(exec->firstArgs(),
                 QStringList({"f1_1.png", "f1_2.png", "f1_3.png", "after1", "f2_1.png", "f2_2.png",
                              "f2_3.png", "after2", "last23"}));
    }

    void forReplacesItsNameAndIsNotSubstituted()
    {
        // The bound written as a variable key is no integer: it counts as 0.
        QVERIFY(runToIdle({":let N 3", ":for i %i 1 3", ":for i %k 1 $N$", "seek_image %i %k", ":next i",
                           ":for k", "seek_image once", ":next k", ":end"}));
        QCOMPARE(exec->sent.size(), 3);
        QCOMPARE(exec->sent[0].args, QStringList({"%i", "1"}));
        QCOMPARE(exec->sent[1].args, QStringList({"%i", "0"}));
        // A loop without a token replaces nothing and runs once.
        QCOMPARE(exec->sent[2].args, QStringList({"once"}));
        const QVector<LoopVar> loops = onThread([this] { return disp->loopVars(); });
        QCOMPARE(loops.size(), 2);
        QCOMPARE(loops[0].token, QString("%k"));
        QCOMPARE(loops[0].end, QString("$N$"));
    }

    void commentBlocksLabelsAndUnknownWords()
    {
        QVERIFY(runToIdle({":label_1",
                           ":REM_START",
                           "seek_image $DataRoot$",
                           ":end",
                           ":let Y 1",
                           ":for i %i 1 3",
                           ":echo hidden",
                           ":rem_end",
                           "bogus_word 1",
                           "SEEK_IMAGE $Y$ %i",
                           ":rem_end",
                           ":Echo x",
                           ":END",
                           "seek_image never"}));
        QCOMPARE(exec->sent.size(), 2);
        // Inside the block: sent flagged, unsubstituted, without a log text.
        QCOMPARE(exec->sent[0].word, QString("seek_image"));
        QCOMPARE(exec->sent[0].args, QStringList({"$DataRoot$"}));
        QVERIFY(exec->sent[0].inRem);
        QCOMPARE(exec->sent[1].word, QString("SEEK_IMAGE"));
        QCOMPARE(exec->sent[1].args, QStringList({"$Y$", "%i"}));
        QVERIFY(!exec->sent[1].inRem);
        // Unknown words and labels pass without a trace; echo has no line break.
        QCOMPARE(sink->text, QString("SEEK_IMAGE : $Y$ %i\necho xend"));
    }

    void echoSubstitutes()
    {
        QVERIFY(runToIdle({":let N 7", ":echo n=$N$ second", "seek_image 1", ":end"}));
        QCOMPARE(sink->text, QString("echo n=7seek_image : 1\nend"));
    }

    void continuedLines()
    {
        emit driver->dispatch({"load_I1_files NEW \\", "a b.tif", "load_I1_files NEW\\  ", "b.tif",
                               "# comment", "", "seek_image 1 \\"});
        QTRY_COMPARE_WITH_TIMEOUT(exec->sent.size(), 3, 30000);
        QCOMPARE(exec->sent[0].args, QStringList({"NEW", "a", "b.tif"}));
        // Without a blank before the backslash the two items run together.
        QCOMPARE(exec->sent[1].args, QStringList({"NEWb.tif"}));
        QCOMPARE(exec->sent[2].args, QStringList({"1"}));
        // No ":end": the script is out of lines but still running.
        QVERIFY(running());
        // The next list's first line is a line of its own.
        QVERIFY(runToIdle({"seek_image 2", ":end"}));
        QCOMPARE(exec->sent.size(), 4);
        QCOMPARE(exec->sent[3].args, QStringList({"2"}));
    }

    // A script waiting for its load goes on only on that load's answer: not on
    // the late answer of a command a Stop abandoned, nor on answers to work
    // started by hand (another stack's load, a 2-D run, a map read).
    void waitsForItsOwnAnswer_data()
    {
        QTest::addColumn<QStringList>("stopped");
        QTest::addColumn<QList<int>>("foreign");
        QTest::newRow("stopped load") << QStringList{"load_I1_files NEW a.tif"} << QList<int>{4};
        QTest::newRow("stopped pattern load") << QStringList{"load_I1_files_of_pattern NEW d/ *.tif"} << QList<int>{4};
        QTest::newRow("stopped seek") << QStringList{"seek_image 1"} << QList<int>{59};
        QTest::newRow("by hand") << QStringList{} << QList<int>{5, 112, 138, 137};
    }
    void waitsForItsOwnAnswer()
    {
        QFETCH(QStringList, stopped);
        QFETCH(QList<int>, foreign);
        exec->holdAll = true;
        if (!stopped.isEmpty()) {
            emit driver->dispatch(stopped);
            QTRY_COMPARE_WITH_TIMEOUT(exec->sent.size(), 1, 30000);
            emit driver->stop();
        }
        const int before = exec->sent.size();
        emit driver->dispatch({"load_I1_files NEW b.tif", "seek_image 2", ":end"});
        QTRY_COMPARE_WITH_TIMEOUT(exec->sent.size(), before + 1, 30000);
        exec->holdAll = false;
        for (int id : foreign) {
            exec->answer(id);
            settle();
            QCOMPARE(exec->sent.size(), before + 1);
        }
        exec->answer(4);
        QTRY_VERIFY_WITH_TIMEOUT(!running(), 30000);
        QCOMPARE(exec->sent.last().args, QStringList({"2"}));
        // Every answer owed has come in.
        QCOMPARE(onThread([this] { return disp->answersOwed(); }), 0);
    }

    void emptyScripts()
    {
        // The editor's empty script: an empty line and ":end".
        QVERIFY(runToIdle({"", ":end"}));
        QVERIFY(exec->sent.isEmpty());
        QCOMPARE(sink->text, QString("end"));

        // An empty list starts a script that has nothing to do; what comes
        // next is taken at once, not at some later completion.
        emit driver->dispatch({});
        QVERIFY(running());
        QVERIFY(runToIdle({"seek_image 2", ":end"}));
        QCOMPARE(exec->firstArgs(), QStringList({"2"}));
    }

    void scriptAfterOneWithoutEnd()
    {
        // The configuration's lines carry no ":end".
        emit driver->dispatch({"seek_image cfg"});
        QTRY_COMPARE_WITH_TIMEOUT(exec->sent.size(), 1, 30000);
        settle();
        QVERIFY(running());
        QVERIFY(runToIdle({":for i %i 1 2", "seek_image %i", ":next i", ":end"}));
        QCOMPARE(exec->firstArgs(), QStringList({"cfg", "1", "2"}));
    }

    void appendedLinesClearedByEnd()
    {
        exec->holdWords << "save_image";
        emit driver->dispatch({"save_image 1", ":end"});
        QTRY_COMPARE_WITH_TIMEOUT(exec->sent.size(), 1, 30000);
        emit driver->dispatch({"seek_image 2", ":end"});
        settle();
        QCOMPARE(exec->sent.size(), 1);
        exec->answer(60);
        QTRY_VERIFY_WITH_TIMEOUT(!running(), 30000);
        settle();
        QCOMPARE(exec->sent.size(), 1);

        QVERIFY(runToIdle({"seek_image 3", ":end"}));
        QCOMPARE(exec->firstArgs(), QStringList({"1", "3"}));

        // Completions while idle change nothing.
        exec->answer(4);
        settle();
        QVERIFY(!running());
        QCOMPARE(exec->sent.size(), 2);
    }

    void commandThatNeverFinishes()
    {
        exec->holdAll = true;
        emit driver->dispatch({"seek_image 1", "seek_image 2", ":end"});
        QTRY_COMPARE_WITH_TIMEOUT(exec->sent.size(), 1, 30000);
        QTest::qWait(50);
        settle();
        QCOMPARE(exec->sent.size(), 1);
        QVERIFY(running());

        emit driver->stop();
        QVERIFY(!running());
        // The late answer of the stopped command does not restart anything.
        exec->answer(59);
        settle();
        QCOMPARE(exec->sent.size(), 1);

        exec->holdAll = false;
        QVERIFY(runToIdle({"seek_image 3", ":end"}));
        QCOMPARE(exec->firstArgs(), QStringList({"1", "3"}));
        // The thread is quit in cleanup while the stand-in never answered 1.
    }

    void unclosedBlocksAndLoops()
    {
        // A loop without ":next" runs its body once.
        QVERIFY(runToIdle({":for i %i 1 3", "seek_image %i", ":end"}));
        QCOMPARE(exec->firstArgs(), QStringList({"1"}));

        // A comment block without its end swallows ":end" and what follows.
        emit driver->dispatch({":rem_start", "seek_image a", ":end"});
        QTRY_COMPARE_WITH_TIMEOUT(exec->sent.size(), 2, 30000);
        settle();
        QVERIFY(running());
        QVERIFY(onThread([this] { return disp->isInRem(); }));
        emit driver->dispatch({"seek_image b", ":end"});
        QTRY_COMPARE_WITH_TIMEOUT(exec->sent.size(), 3, 30000);
        settle();
        QVERIFY(exec->sent[1].inRem && exec->sent[2].inRem);
        QVERIFY(running());

        emit driver->stop();
        QVERIFY(!onThread([this] { return disp->isInRem(); }));
        QVERIFY(runToIdle({"seek_image c", ":end"}));
        QCOMPARE(exec->sent.size(), 4);
        QVERIFY(!exec->sent[3].inRem);
    }

    void stopReachesEndlessControlLoop()
    {
        disconnect(disp, &BatchDispatcher::Log, sink, &LogSink::Log);
        emit driver->dispatch({":for i %i 1 2000000000", ":echo %i", ":next i", ":end"});
        QTest::qWait(100);
        QElapsedTimer t;
        t.start();
        QVERIFY(running());
        emit driver->stop();
        QVERIFY(!running());
        QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed())));
        auto value = [this] { return disp->loopVars().value(0).current.toInt(); };
        const int v = onThread(value);
        QVERIFY(v > 1);
        QTest::qWait(20);
        QCOMPARE(onThread(value), v);
    }

    void quitReachesEndlessControlLoop()
    {
        disconnect(disp, &BatchDispatcher::Log, sink, &LogSink::Log);
        emit driver->dispatch({":for i %i 1 2000000000", ":echo %i", ":next i", ":end"});
        QTest::qWait(50);
        QElapsedTimer t;
        t.start();
        thread->quit();
        QVERIFY(thread->wait(30000));
        QVERIFY(t.elapsed() < 10000);
    }

    void manyPassesOfControlLines()
    {
        disconnect(disp, &BatchDispatcher::Log, sink, &LogSink::Log);
        emit driver->dispatch({":for i %i 1 100000", ":echo %i", ":let v x", ":next i", "seek_image %i $v$",
                               ":end"});
        QTRY_COMPARE_WITH_TIMEOUT(exec->sent.size(), 1, 120000);
        QCOMPARE(exec->sent[0].args, QStringList({"100000", "x"}));
        // Setting a variable many times keeps no trace of each setting.
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
        QCOMPARE(direct.sent.last().args, QStringList({"50000"}));
        QCOMPARE(logs, 1 + 50000 * 2 + 1);
    }

};

QTEST_MAIN(TstBatchDispatcher)
#include "tst_batchdispatcher.moc"
