// The real program run headless on scripts that loop for ever, never reach
// "quit" or are no script at all, and on the batch log it writes on standard
// error: each run ends, in bounded memory, with the status its failures give.
#include <QtTest>

#include <QRandomGenerator>

#include <cmath>
#include <csignal>

#include "support/Files.h"
#include "support/Headless.h"

namespace {

QStringList logLines(const QByteArray& err)
{
    // The batch log's lines; the debug stream runs beside them.
    const QRegularExpression re("^(line \\d+: |Err: |end$|Batch: )");
    QStringList out;
    for (const QString& l : QString::fromUtf8(err).split('\n'))
        if (re.match(l).hasMatch()) out << l;
    return out;
}

QStringList allLines(const QByteArray& err)
{
    return QString::fromUtf8(err).split('\n');
}

int firstIndex(const QStringList& lines, const QString& part, bool whole = false)
{
    for (int i = 0; i < lines.size(); ++i)
        if (whole ? lines.at(i) == part : lines.at(i).contains(part)) return i;
    return -1;
}

// An I1 scan of small frames as a beamline writes it: coarse below the Cu K edge, fine across it, coarser
// above, photon noise; named with their energy (one energy measured twice when repeat) or numbered only.
bool writeScan(const QString& dir, bool named, bool repeat)
{
    QVector<double> energies;
    for (double E = 8900; E < 8970; E += 10) energies << E;
    for (double E = 8970; E < 8995; E += 0.5) energies << E;
    for (double E = 8995; E <= 9200; E += 5) energies << E;
    QRandomGenerator rng(17);
    int k = 0;
    for (const double E : energies) {
        const double mu = 0.4 + 1.1 / (1 + std::exp(-(E - 8979) / 1.5));
        auto px = [&](int x, int y) {
            const double counts = (6000 - 40 * x - 25 * y) * std::exp(-mu);
            return counts + std::sqrt(counts) * (rng.bounded(3.4) - 1.7);
        };
        const QString name = named ? ts::energyName("i1", E) : QString("scan_%1.tif").arg(k, 3, 10, QChar('0'));
        if (!ts::writeTiff(dir + "/" + name, 16, 12, px)) return false;
        // The point at the edge measured once more.
        if (repeat && E == 8979 && !ts::writeTiff(dir + "/" + name.chopped(4) + "_again.tif", 16, 12, px)) return false;
        ++k;
    }
    return true;
}

// The program with its arguments started by /bin/sh running launch, in which $RUN stands for the program and
// its arguments; standard error into errFile, standard output dropped.
void startThroughShell(QProcess& p, const QString& launch, const QStringList& args, const QString& errFile)
{
    ts::startOffscreen(p, errFile, QStringList{"-c", QString(launch).replace("$RUN", "\"$0\" \"$@\""), CORVENLITH_BIN} + args,
                       "/bin/sh");
}

QByteArray headOf(const QString& file, int bytes = 256 * 1024)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.read(bytes) : QByteArray();
}

QString tailOf(const QString& file, int bytes = 4096)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    f.seek(qMax<qint64>(0, f.size() - bytes));
    return QString::fromUtf8(f.readAll());
}

}  // namespace

class TstHeadlessRun : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    ts::ProgramRun run(const QString& script, int ms = 60000) { return ts::runHeadless(tmp.path(), script, ms); }

private slots:
    // The runs' configuration, empty: a configuration named and missing is a failure of the run.
    void initTestCase() { QVERIFY(ts::writeText(tmp.filePath("none.cfg"), "")); }

    // A loop of a thousand million passes runs in constant memory (it grew by 90 MB a second, the log keeping every
    // line) and ends at the close (a pipeline's SIGTERM), with status 1 and the count of the lines it left undone:
    // the lines after the loop, and those of the pass under way.
    void endlessLoopClosed_data()
    {
        QTest::addColumn<QString>("cfg");
        QTest::addColumn<QString>("script");
        const QString tail = "set_band_w 1\nset_band_h 2\nquit\n";  // 3 lines after the loop
        QTest::newRow("echo") << "" << ":for i %i 1 1000000000\n:echo %i\n:next i\n" + tail;
        QTest::newRow("empty loop") << "" << ":for i %i 1 1000000000\n:next i\n" + tail;
        QTest::newRow("unknown word") << "" << ":for i %i 1 1000000000\nbogus %i\n:next i\n" + tail;
        QTest::newRow("nested loops") << "" << ":for i %i 1 1000000000\n:for j %j 1 3\n:echo %i.%j\n:next j\n:next i\n" + tail;
        QTest::newRow("configuration's lines") << "batch :for i %i 1 1000000000\nbatch :echo %i\nbatch :next i\n" << tail;
    }
    void endlessLoopClosed()
    {
        QFETCH(QString, cfg);
        QFETCH(QString, script);
        const int after = 3;
        const QString bat = tmp.filePath("loop.bat"), cfgFile = tmp.filePath("loop.cfg"), err = tmp.filePath("loop.err");
        QVERIFY(ts::writeText(bat, script) && ts::writeText(cfgFile, cfg));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        // A sanitizer build's quarantine of freed memory would hide a true growth.
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":quarantine_size_mb=8:thread_local_quarantine_size_kb=64");
        p.setProcessEnvironment(env);
        p.setStandardErrorFile(err);  // hundreds of MB of log
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(CORVENLITH_BIN, {"-c", cfgFile, "-e", "-b", bat, "-x"});
        QVERIFY(p.waitForStarted(10000));
        // Memory is compared once the loop is under way: a loaded machine may take seconds to start the program.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(err).size() > 1000000, 60000);
        // The close must come after the loop's first pass has run its line 2.
        if (script.contains("bogus")) QTRY_VERIFY_WITH_TIMEOUT(headOf(err).contains("Err: line 2: unknown word bogus"), 60000);
        QTest::qWait(1000);
        const qint64 early = ts::residentKb(p.processId());
        const qint64 logEarly = QFileInfo(err).size();
        // Measured over 64 MB of log rather than a fixed time: a log kept whole grows the program by at least as
        // much, however slowly a busy machine or a sanitizer runs the loop.
        QElapsedTimer grow;
        grow.start();
        while (QFileInfo(err).size() - logEarly < 64 * 1024 * 1024 && grow.elapsed() < 20000) QTest::qWait(200);
        const qint64 late = ts::residentKb(p.processId());
        QVERIFY(early > 0 && late > 0);
        QVERIFY2(late - early < 40 * 1024, qPrintable(QString("%1 -> %2 kB over %3 MB of log").arg(early).arg(late)
                                                          .arg((QFileInfo(err).size() - logEarly) >> 20)));
        QElapsedTimer t;
        t.start();
        p.terminate();
        // A loop the close does not reach runs for ever; the tight figure is bench_batch's.
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(t.elapsed() < 30000, qPrintable(QString::number(t.elapsed()) + " ms"));
        QVERIFY(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 1);
        QFile f(err);
        QVERIFY(f.open(QIODevice::ReadOnly));
        f.seek(qMax<qint64>(0, f.size() - 4096));  // the log's last lines
        const QString end = QString::fromUtf8(f.readAll());
        const QRegularExpressionMatch m =
            QRegularExpression("Batch: the script was stopped before its end; (\\d+) line\\(s\\) not run").match(end);
        QVERIFY2(m.hasMatch(), qPrintable(end.right(500)));
        const int notRun = m.captured(1).toInt();
        // A configuration's loop leaves the whole script undone, its ":end" aside.
        const int body = script.count('\n') - after - 1;
        QVERIFY2(cfg.isEmpty() ? notRun >= after && notRun <= after + body : notRun >= after + 1 && notRun <= after + 2,
                 qPrintable(QString::number(notRun)));
        const QString last = end.trimmed().section('\n', -1);
        QVERIFY2(script.contains("bogus") ? last.contains(QRegularExpression("^Failures in this run: \\d+; the first: Err: line 2"))
                                          : last.startsWith("Failures in this run: 1; the first: Batch: the script was stopped"),
                 qPrintable(last));
        QVERIFY(!end.contains("AddressSanitizer") && !end.contains("runtime error"));
    }

    // A script that never reaches "quit" ends the run when it ends, with its failures' status, and says so; a
    // script file that is no text file is refused. (Each of these ran until killed.)
    void scriptWithoutQuit_data()
    {
        QTest::addColumn<QString>("script");  // "@path": the file given instead of a script
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        const QString ended = "Batch: the script ended without \"quit\"; the program ends";
        QTest::newRow("empty file") << "" << 0 << ended;
        QTest::newRow(":end before quit") << "set_band_w 1\n:end\nquit\n" << 0 << ended;
        QTest::newRow("quit continued into an argument") << "set_band_w 1 \\\nquit\n" << 0 << ended;
        QTest::newRow("failure, no quit") << "setband_w 1\n" << 1 << ended;
        QTest::newRow("comment block never closed") << ":rem_start\nquit\n" << 0 << ended;
        QTest::newRow("/dev/zero") << "@/dev/zero" << 1 << "-x: the batch file /dev/zero is longer than 64 MB";
        // A script through a pipe is read like a file ("|": given on standard input).
        QTest::newRow("through a pipe") << "|set_band_w 1\n:echo piped\nquit\n" << 0 << "line 2: echo piped";
        QTest::newRow("a folder") << "@." << 1 << "is not a regular file";
    }
    void scriptWithoutQuit()
    {
        QFETCH(QString, script);
        QFETCH(int, code);
        QFETCH(QString, said);
        ts::ProgramRun r;
        if (script.startsWith('|')) {
            QVERIFY(ts::writeText(tmp.filePath("piped.bat"), script.mid(1)));
            r = ts::runProgram("/bin/sh", {"-c", QString("cat piped.bat | '%1' -c none.cfg -e -b /dev/stdin -x").arg(CORVENLITH_BIN)},
                               30000, tmp.path());
        } else {
            r = !script.startsWith('@') ? run(script, 30000)
                : ts::runProgram(CORVENLITH_BIN, {"-c", tmp.filePath("none.cfg"), "-e", "-b", script.mid(1), "-x"}, 30000, tmp.path());
        }
        QVERIFY2(r.endedWith(code), r.err.right(2000).constData());
        QVERIFY2(r.err.contains(said.toUtf8()), r.err.right(2000).constData());
        QVERIFY(!r.err.contains("stopped"));
        // Refused or run, the log ends with its count.
        const QByteArray last = r.err.trimmed().split('\n').last();
        QVERIFY2(code ? last.startsWith("Failures in this run: 1; the first: ") : last == "Failures in this run: 0", last.constData());
    }

    // 100,000 variables: each ":let" costs the same whatever their number (the table was searched for each: 53 s
    // against 1 s for as many ":echo" lines). Timed against those ":echo" lines, run just before, so that a busy
    // machine or a sanitizer build slows both; the tight figure is bench_batch's.
    void manyVariables()
    {
        QString script, echoes;
        for (int i = 0; i < 100000; ++i) script += QString(":let v%1 %1\n").arg(i), echoes += QString(":echo v%1 %1\n").arg(i);
        // An argument of many "$" once had every key of the table tried for it.
        const QString tail = ":echo $v5$-$v99999$-$v100000$\n:for i %i 1 3000\n:echo $v7$" + QString(70, '$') + "\n:next i\nquit\n";
        QElapsedTimer t;
        t.start();
        const ts::ProgramRun plain = run(echoes + tail, 600000);
        const qint64 plainMs = t.restart();
        QVERIFY2(plain.endedWith(0), plain.err.right(2000).constData());
        const ts::ProgramRun r = run(script + tail, 600000);
        const qint64 ms = t.elapsed();
        QVERIFY2(r.endedWith(0), r.err.right(2000).constData());
        QVERIFY2(ms < 4 * plainMs + 10000, qPrintable(QString("%1 ms, as many echo lines %2 ms").arg(ms).arg(plainMs)));
        QVERIFY(logLines(r.err).contains("line 100001: echo 5-99999-$v100000$"));
    }

    // Standard error carries the batch log: each line as it runs with its number (script text as written, "%1"
    // included), each "Err:" line with the number of its line, an echo cut as the log cuts it, and after a normal
    // "quit" no word of a stop.
    void logOnStandardError()
    {
        const QString longText(3000, 'x'), echo = "line 8: echo " + longText;
        const ts::ProgramRun r = run("set_band_w 1\n:let v 5\n:echo a%1b$v$%2\nselect_region -5 -5 -1 -1\n\n"
                                     "analyzer_select_image 42\nbogus\n:echo " + longText + "\nquit\n");
        QVERIFY2(r.endedWith(1), r.err.right(2000).constData());
        const QStringList want{
            "line 1: set_band_w : 1",
            "line 2: let v = 5",
            "line 3: echo a%1b5%2",
            "line 4: select_region : -5 -5 -1 -1",
            "Err: line 4: select_region -5 -5 -1 -1: the region lies outside no image is loaded, the largest image is "
            "65536 x 65536 pixels",
            "line 6: analyzer_select_image : 42",
            "Err: line 6: analyzer_select_image 42: 42 is none of 0 to 10; nothing changed",
            "Err: line 7: unknown word bogus",
            echo.left(1000) + QString::fromUtf8("\u2026 (%1 more characters not shown)").arg(echo.size() - 1000),
            "line 9: quit : "};
        QCOMPARE(logLines(r.err), want);
        // Each refusal once: the debug stream does not repeat it.
        QCOMPARE(QString::fromUtf8(r.err).count("Err: "), 3 + 1);  // and the summary's first failure
        QVERIFY(!r.err.contains("stopped"));
    }
    // Started under nohup (SIGHUP ignored, to outlive the terminal) or as a background job of a shell without job
    // control (SIGINT ignored), a run keeps that signal ignored: it does not stop the script (it did: status 1,
    // "3 line(s) not run"); the signals not ignored still close the run as before.
    void ignoredSignalsStayIgnored_data()
    {
        QTest::addColumn<QString>("launch");
        QTest::addColumn<int>("sig");
        QTest::addColumn<bool>("stops");
        QTest::newRow("nohup, SIGHUP") << "exec nohup $RUN" << int(SIGHUP) << false;
        QTest::newRow("SIGHUP ignored, SIGHUP") << "trap '' HUP; exec $RUN" << int(SIGHUP) << false;
        QTest::newRow("SIGINT ignored, SIGINT") << "trap '' INT; exec $RUN" << int(SIGINT) << false;
        QTest::newRow("SIGHUP ignored, SIGINT") << "trap '' HUP; exec $RUN" << int(SIGINT) << true;
        QTest::newRow("both ignored, SIGTERM") << "trap '' HUP INT; exec $RUN" << int(SIGTERM) << true;
        QTest::newRow("nothing ignored, SIGHUP") << "exec $RUN" << int(SIGHUP) << true;
    }
    void ignoredSignalsStayIgnored()
    {
        QFETCH(QString, launch);
        QFETCH(int, sig);
        QFETCH(bool, stops);
        const QString bat = tmp.filePath("sig.bat"), err = tmp.filePath("sig.err");
        QVERIFY(ts::writeText(bat, ":for i %i 1 1000000000\n:echo %i\n:next i\nset_band_w 1\nset_band_h 2\nquit\n"));
        QProcess p;
        startThroughShell(p, launch, {"-c", tmp.filePath("none.cfg"), "-e", "-b", bat, "-x"}, err);
        QVERIFY(p.waitForStarted(10000));
        // The handlers are in place once the script runs.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(err).size() > 100000, 60000);
        QCOMPARE(::kill(pid_t(p.processId()), sig), 0);
        if (!stops) {
            QVERIFY2(!p.waitForFinished(3000), qPrintable(tailOf(err, 500)));
            QVERIFY(!tailOf(err).contains("stopped"));
            p.terminate();
        }
        QVERIFY(p.waitForFinished(10000));
        QVERIFY(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 1);
        const QString end = tailOf(err);
        QCOMPARE(logLines(end.toUtf8()).filter(QRegularExpression("^Batch: the script was stopped before its end; \\d+ line")).size(), 1);
        QVERIFY2(end.trimmed().section('\n', -1).startsWith("Failures in this run: 1; the first: Batch: the script was stopped"),
                 qPrintable(end.right(500)));
    }

    // Behind a reader that stopped reading (a pipeline's "| sleep 60"), a run ends all the same: within seconds of
    // SIGTERM, or by itself when its script ends, with the status its failures give (it waited for the reader for
    // ever). The reader, when it wakes, finds the log's first lines whole.
    void stalledReader_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("terminate");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("pipeBytes");  // 0: the system's pipe
        const QString loop = ":for i %i 1 100000\n:echo %i\n:next i\n";
        QTest::newRow("SIGTERM in an endless loop") << ":for i %i 1 1000000000\n:echo %i\n:next i\nquit\n" << true << 1 << 0;
        QTest::newRow("ends with quit") << loop + "quit\n" << false << 0 << 0;
        QTest::newRow("ends without quit") << loop << false << 0 << 0;
        QTest::newRow("a failure, then quit") << loop + "bogus\nquit\n" << false << 1 << 0;
        // Too small to keep room for the last words: the writer still holds them when the program ends.
        QTest::newRow("one-page pipe, ends with quit") << loop + "quit\n" << false << 0 << 4096;
        QTest::newRow("one-page pipe, SIGTERM") << ":for i %i 1 1000000000\n:echo %i\n:next i\nquit\n" << true << 1 << 4096;
    }
    void stalledReader()
    {
        QFETCH(QString, script);
        QFETCH(bool, terminate);
        QFETCH(int, code);
        QFETCH(int, pipeBytes);
        ts::StalledReader reader(tmp.filePath("stalled.fifo"), pipeBytes);
        QVERIFY(reader.ok());
        const QString bat = tmp.filePath("stalled.bat");
        QVERIFY(ts::writeText(bat, script));
        QProcess p;
        ts::startOffscreen(p, reader.path, {"-c", tmp.filePath("none.cfg"), "-e", "-b", bat, "-x"});
        QVERIFY(p.waitForStarted(10000));
        if (terminate) {
            // The loop under way (a busy machine may take seconds to start the program) has filled the pipe as far
            // as the writer fills it (half, or one page).
            QTRY_VERIFY_WITH_TIMEOUT(reader.held() >= (pipeBytes ? 1 : 16384), 60000);
            QVERIFY(!p.waitForFinished(2000));
            QElapsedTimer t;
            t.start();
            p.terminate();
            QVERIFY(p.waitForFinished(10000));
            QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed()) + " ms"));
        } else {
            // About a second after the script's end: a writer taken for done while it still waits on the
            // pipe would keep the program from ending.
            QElapsedTimer t;
            t.start();
            QVERIFY2(p.waitForFinished(60000), qPrintable(QString::number(t.elapsed()) + " ms"));
        }
        QVERIFY(p.exitStatus() == QProcess::NormalExit);
        QCOMPARE(p.exitCode(), code);
        // In a pipe with room to spare, the reader that wakes finds the log's first lines, where lines went and the
        // count, last.
        if (!pipeBytes) {
            const QByteArray all = reader.drain();
            const QStringList got = logLines(all);
            QVERIFY(!got.isEmpty());
            QCOMPARE(got.first(), QString("line 1: for i : %i = 1"));
            const QStringList lines = allLines(all.trimmed());
            QVERIFY2(lines.size() >= 2 && lines.at(lines.size() - 2).contains(QRegularExpression("^\\(\\d+ line\\(s\\) of the log left out\\)$")),
                     all.right(500).constData());
            QVERIFY2(lines.last().startsWith(code ? "Failures in this run: 1; the first: " : "Failures in this run: 0"),
                     all.right(500).constData());
        }
    }

    // A reader that reads on, slowly, when SIGTERM comes: the run ends within a second or so (it waited until the
    // reader had taken the whole queue: 15 s here), the lines the reader did not take yet are said to be left out,
    // and the count comes last.
    void slowReaderStoppedBySignal()
    {
        ts::StalledReader reader(tmp.filePath("slow.fifo"));
        QVERIFY(reader.ok());
        const QString bat = tmp.filePath("slowstop.bat");
        QVERIFY(ts::writeText(bat, ":for i %i 1 1000000000\n:echo %i\n:next i\nquit\n"));
        QProcess p;
        ts::startOffscreen(p, reader.path, {"-c", tmp.filePath("none.cfg"), "-e", "-b", bat, "-x"});
        QVERIFY(p.waitForStarted(10000));
        // 20 kB a second, never a second without: about 300 kB of queue and pipe take 15 s.
        QByteArray got;
        auto readFor = [&](int ms) {
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < ms && p.state() != QProcess::NotRunning) {
                got += reader.take(1024);
                p.waitForFinished(50);
            }
        };
        QElapsedTimer start;
        start.start();
        while (!got.contains("line 2: echo 5000\n") && start.elapsed() < 60000 && p.state() != QProcess::NotRunning) readFor(100);
        readFor(1000);
        QVERIFY(p.state() != QProcess::NotRunning);
        QElapsedTimer t;
        t.start();
        p.terminate();
        readFor(60000);
        const qint64 took = t.elapsed();
        got += reader.drain();
        QVERIFY(p.state() == QProcess::NotRunning);
        QVERIFY2(took < 8000, qPrintable(QString::number(took) + " ms"));
        QVERIFY(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 1);
        const QStringList lines = allLines(got.trimmed());
        QVERIFY2(lines.last().startsWith("Failures in this run: 1; the first: Batch: the script was stopped"),
                 got.right(500).constData());
        QVERIFY2(got.contains(" line(s) of the log left out)\n"), got.right(500).constData());
        // The loop's lines in order, each either written or counted where it went: echo k is the loop's line
        // 2k - 1, next k + 1 its line 2k.
        const QRegularExpression echo("^line 2: echo (\\d+)$"), next("^line 3: next i : %i = (\\d+)$"),
            note("^\\((\\d+) line\\(s\\) of the log left out\\)$");
        qint64 at = 0, said = 0;
        for (const QString& l : lines) {
            QRegularExpressionMatch m;
            if ((m = note.match(l)).hasMatch()) {
                said += m.captured(1).toLongLong();
                continue;
            }
            qint64 k = -1;
            if ((m = echo.match(l)).hasMatch()) k = 2 * m.captured(1).toLongLong() - 1;
            else if ((m = next.match(l)).hasMatch()) k = 2 * m.captured(1).toLongLong() - 2;
            if (k < 0) continue;
            QVERIFY2(k == at + 1 + said, qPrintable(QString("%1 after %2 and %3 left out").arg(l).arg(at).arg(said)));
            at = k;
            said = 0;
        }
        QVERIFY(at >= 9999);
    }

    // A reader slower than the log but reading (a shell loop taking a byte at a time, pausing now and then) gets
    // every line in order and the closing count: lines go only when the reader stops, also at the end (it got
    // 14,000 of 20,000 lines and no count, the writer giving up on a pause of 300 ms).
    void slowReaderGetsEveryLine_data()
    {
        QTest::addColumn<QString>("pause");  // the reader's case pattern and pause
        QTest::newRow("0.1 s twice every 2,000 lines") << "*000) sleep 0.1";
        QTest::newRow("0.6 s every 2,000 lines") << "*echo*000) sleep 0.6";
    }
    void slowReaderGetsEveryLine()
    {
        QFETCH(QString, pause);
        const int n = 20000;
        QVERIFY(ts::writeText(tmp.filePath("slow.bat"), QString(":for i %i 1 %1\n:echo %i\n:next i\nquit\n").arg(n)));
        const QString reader = "while IFS= read -r l; do printf '%s\\n' \"$l\"; case $l in " + pause + ";; esac; done";
        const ts::ProgramRun r = ts::runProgram(
            "/bin/sh", {"-c", "( \"$0\" -c none.cfg -e -b slow.bat -x; echo $? > slow.code ) 2>&1 >/dev/null | " + reader + " > slow.out",
                        CORVENLITH_BIN}, 300000, tmp.path());
        QVERIFY(r.endedWith(0));
        QCOMPARE(ts::readAll(tmp.filePath("slow.code")).trimmed(), QByteArray("0"));
        const QByteArray out = ts::readAll(tmp.filePath("slow.out"));
        QVERIFY(!out.contains("left out"));
        const QStringList lines = logLines(out);
        QStringList echoes = lines.filter(QRegularExpression("^line 2: "));
        QCOMPARE(echoes.size(), n);
        for (int i = 0; i < n; ++i)
            QCOMPARE(echoes.at(i), QString("line 2: echo %1").arg(i + 1));
        QCOMPARE(allLines(out.trimmed()).last(), QString("Failures in this run: 0"));
    }

    // A signal while the program starts, before it could act on it (here its first write to standard error waits
    // on a full pipe), ends the run as one during the script does: stopped, counted, the count last (it ended the
    // program outright). Ignored at the start, it stays ignored; without a script the signal acts as it always did.
    void signalDuringStartup_data()
    {
        QTest::addColumn<QString>("launch");
        QTest::addColumn<int>("sig");
        QTest::addColumn<bool>("script");
        QTest::addColumn<QString>("last");  // empty: ended by the signal
        const QString stopped = "Failures in this run: 1; the first: Batch: the script was stopped before its end";
        QTest::newRow("SIGTERM") << "exec $RUN" << int(SIGTERM) << true << stopped;
        QTest::newRow("SIGINT") << "exec $RUN" << int(SIGINT) << true << stopped;
        QTest::newRow("nohup, SIGHUP") << "exec nohup $RUN" << int(SIGHUP) << true << "Failures in this run: 0";
        QTest::newRow("no script, SIGTERM") << "exec $RUN" << int(SIGTERM) << false << "";
    }
    void signalDuringStartup()
    {
        QFETCH(QString, launch);
        QFETCH(int, sig);
        QFETCH(bool, script);
        QFETCH(QString, last);
        ts::StalledReader reader(tmp.filePath("startup.fifo"));
        QVERIFY(reader.ok() && reader.fill());
        const QString bat = tmp.filePath("startup.bat");
        // Endless unless the signal stops it; ignored, the signal lets it end by itself.
        QVERIFY(ts::writeText(bat, last.endsWith(": 0") ? ":echo started\nquit\n" : ":for i %i 1 1000000000\n:echo %i\n:next i\nquit\n"));
        QStringList args{"-c", tmp.filePath("none.cfg"), "-e"};
        if (script) args << "-b" << bat << "-x";
        QProcess p;
        startThroughShell(p, launch, args, reader.path);
        QVERIFY(p.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(ts::waitsOnPipe(p.processId()), 60000);
        QCOMPARE(::kill(pid_t(p.processId()), sig), 0);
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 60000 && !p.waitForFinished(20)) got += reader.drain();
        got += reader.drain();
        // What the pipe was filled with.
        int filler = 0;
        while (filler < got.size() && got.at(filler) == 'f') ++filler;
        got.remove(0, filler);
        const bool ended = p.state() == QProcess::NotRunning;
        if (!ended) {
            p.kill();
            p.waitForFinished(5000);
        }
        QVERIFY2(ended, got.right(500).constData());
        if (last.isEmpty()) {
            QCOMPARE(p.exitStatus(), QProcess::CrashExit);
            return;
        }
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == (last.endsWith(": 0") ? 0 : 1), got.right(500).constData());
        QVERIFY2(allLines(got.trimmed()).last().startsWith(last), got.right(500).constData());
    }

    // The count closes the log of a refused script file, also while the configuration's lines still run (now and
    // then a line of them came after it).
    void refusedFileCountLast()
    {
        QVERIFY(ts::writeText(tmp.filePath("looping.cfg"), "batch :for i %i 1 1000000000\nbatch :echo %i\nbatch :next i\n"));
        for (int round = 0; round < 3; ++round) {
            const ts::ProgramRun r = ts::runProgram(CORVENLITH_BIN, {"-c", tmp.filePath("looping.cfg"), "-e", "-b", ".", "-x"}, 60000, tmp.path());
            QVERIFY2(r.endedWith(1), r.err.right(1000).constData());
            QVERIFY2(allLines(r.err.trimmed()).last().startsWith("Failures in this run: 1; the first: -x: the batch file . is not a regular file"),
                     r.err.right(1000).constData());
            QCOMPARE(r.err.count("Failures in this run"), 1);
        }
    }

    // A load's messages stand between its own line and the next one in the log, also when the next is "quit" (they
    // came after it: a reader put them on the wrong line).
    void loadMessagesBeforeNextLine_data()
    {
        QTest::addColumn<QString>("load");
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("nextLogged");
        QTest::addColumn<int>("code");
        const QString repeated = "load_I1_files_of_pattern NEW TMP/repeated/ *.tif", numbered = "load_I1_files_of_pattern NEW TMP/numbered/ *.tif";
        const QString shared = "Some frames of the I1 stack share an energy", noEnergy = " of the I1 stack have no energy in their name";
        QTest::newRow("energy twice, then quit") << repeated << "quit" << shared << "line 2: quit : " << 0;
        QTest::newRow("energy twice, then an echo") << repeated << ":echo next" << shared << "line 2: echo next" << 0;
        QTest::newRow("numbered, then quit") << numbered << "quit" << noEnergy << "line 2: quit : " << 1;
        QTest::newRow("numbered, then a command") << numbered << "set_band_w 1" << noEnergy << "line 2: set_band_w : 1" << 1;
        QTest::newRow("numbered I0, then a command")
            << "load_I0_files_of_pattern NEW TMP/numbered/ *.tif" << "set_band_w 1"
            << " of the I0 stack have no energy in their name" << "line 2: set_band_w : 1" << 1;
    }
    void loadMessagesBeforeNextLine()
    {
        QFETCH(QString, load);
        QFETCH(QString, next);
        QFETCH(QString, message);
        QFETCH(QString, nextLogged);
        QFETCH(int, code);
        if (!QFileInfo::exists(tmp.filePath("numbered")))
            QVERIFY(QDir().mkpath(tmp.filePath("repeated")) && QDir().mkpath(tmp.filePath("numbered"))
                    && writeScan(tmp.filePath("repeated"), true, true) && writeScan(tmp.filePath("numbered"), false, false));
        // Run a few times: the order was a race between the two threads.
        for (int round = 0; round < 3; ++round) {
            const ts::ProgramRun r = run(QString(load).replace("TMP", tmp.path()) + "\n" + next + "\nquit\n");
            QVERIFY2(r.endedWith(code), r.err.right(2000).constData());
            const QStringList lines = allLines(r.err);
            const int loadAt = firstIndex(lines, "line 1: load_I"), said = firstIndex(lines, message),
                      nextAt = firstIndex(lines, nextLogged, true);
            QVERIFY2(loadAt >= 0 && said > loadAt && nextAt > said,
                     qPrintable(QString("%1 %2 %3\n").arg(loadAt).arg(said).arg(nextAt) + lines.mid(qMax(0, loadAt)).join('\n').right(2000)));
        }
    }

    // A load refused before anything was queued (its reference list is bad or short) ends its own line, I0 as I1:
    // the next line runs and the script ends, its refusal counted. Answered with the other stack's id, the load
    // left the script waiting for ever.
    void refusedLoadsEndTheirLine_data()
    {
        QTest::addColumn<QString>("script");  // TMP the folder, FILES the frames of a scan named without energies
        QTest::addColumn<QString>("err");
        QTest::addColumn<QString>("nextLogged");
        const QString load = "load_%1_files NEW FILES\n";
        QTest::newRow("bad angle list, I0, then a command")
            << "eng_by_ref_i0 TMP/bad.dat\n" + load.arg("I0") + "set_band_w 1\nquit\n"
            << "Err: line 2: load_I0_files" << "line 3: set_band_w : 1";
        QTest::newRow("bad angle list, I1, then a command")
            << "eng_by_ref_i1 TMP/bad.dat\n" + load.arg("I1") + "set_band_w 1\nquit\n"
            << "Err: line 2: load_I1_files" << "line 3: set_band_w : 1";
        QTest::newRow("short list, I0, then an echo")
            << "eng_by_ref_i0 TMP/short.dat\n" + load.arg("I0") + ":echo next\nquit\n"
            << "Err: line 2: load_I0_files" << "line 3: echo next";
        QTest::newRow("short list, I0 by pattern, then an I1 load")
            << "eng_by_ref_i0 TMP/short.dat\nload_I0_files_of_pattern NEW TMP/unnamed/ *.tif\n" + load.arg("I1") + "quit\n"
            << "Err: line 2: load_I0_files_of_pattern" << "line 3: load_I1_files";
    }
    void refusedLoadsEndTheirLine()
    {
        QFETCH(QString, script);
        QFETCH(QString, err);
        QFETCH(QString, nextLogged);
        if (!QFileInfo::exists(tmp.filePath("unnamed")))
            QVERIFY(QDir().mkpath(tmp.filePath("unnamed")) && writeScan(tmp.filePath("unnamed"), false, false));
        QStringList files, bad;
        for (const QString& n : QDir(tmp.filePath("unnamed")).entryList({"*.tif"}, QDir::Files, QDir::Name)) {
            files << tmp.filePath("unnamed/" + n);
            bad << QString::number(12.9 - 0.01 * bad.size(), 'f', 6);
        }
        bad[50] = "-16.1";
        QVERIFY(ts::writeText(tmp.filePath("bad.dat"), "angle\n" + bad.join('\n') + "\n")
                && ts::writeText(tmp.filePath("short.dat"), "angle\n" + bad.mid(0, 40).join('\n') + "\n"));
        const ts::ProgramRun r = run(QString(script).replace("TMP", tmp.path()).replace("FILES", files.join(' ')), 60000);
        QVERIFY2(r.endedWith(1), r.err.right(2000).constData());
        const QStringList lines = allLines(r.err);
        const int errAt = firstIndex(lines, err), nextAt = firstIndex(lines, nextLogged);
        QVERIFY2(errAt >= 0 && nextAt > errAt, qPrintable(lines.join('\n').right(2000)));
        QVERIFY2(lines.filter(QRegularExpression("^Err: ")).size() == 1, qPrintable(lines.join('\n').right(2000)));
    }

    // Every script run ends its log with the count of its failures, none included.
    void closingCount_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("last");
        QTest::newRow("clean, quit") << "set_band_w 1\nquit\n" << 0 << "Failures in this run: 0";
        QTest::newRow("clean, no quit") << "set_band_w 1\n" << 0 << "Failures in this run: 0";
        QTest::newRow("empty script") << "" << 0 << "Failures in this run: 0";
        QTest::newRow("comment block never closed") << ":rem_start\nbogus\nquit\n" << 0 << "Failures in this run: 0";
        QTest::newRow("one refusal") << "bogus\nquit\n" << 1 << "Failures in this run: 1; the first: Err: line 1: unknown word bogus";
        QTest::newRow("two refusals") << "set_band_w 1\nbogus\nbogus2\nquit\n" << 1
                                      << "Failures in this run: 2; the first: Err: line 2: unknown word bogus";
        // Saves with nothing to save wrote header-only files and said "Saved", or said nothing.
        QTest::newRow("spectra saved without a stack") << "save_spectra s0.3\nquit\n" << 1
            << "Failures in this run: 1; the first: Err: line 1: save_spectra s0.3: no image stack is loaded: no spectrum to save";
        QTest::newRow("reference maps saved without a run") << "save_all_images all.png\nquit\n" << 1
            << "Failures in this run: 1; the first: No reference map has an image (no reference row in use, or no 2-D run "
               "since): " + QDir::toNativeSeparators(tmp.filePath("all.png")) + " not saved";
    }
    void closingCount()
    {
        QFETCH(QString, script);
        QFETCH(int, code);
        QFETCH(QString, last);
        const ts::ProgramRun r = run(script, 30000);
        QVERIFY2(r.endedWith(code), r.err.right(2000).constData());
        QCOMPARE(allLines(r.err.trimmed()).last(), last);
        QCOMPARE(r.err.count("Failures in this run"), 1);
    }
};

QTEST_MAIN(TstHeadlessRun)
#include "tst_headlessrun.moc"
