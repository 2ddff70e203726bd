// The real program run headless on scripts that loop for ever, never reach
// "quit" or are no script at all, and on the batch log it writes on standard
// error: each run ends, in bounded memory, with the status its failures give.
#include <QtTest>

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

}  // namespace

class TstHeadlessRun : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    ts::ProgramRun run(const QString& script, int ms = 60000) { return ts::runHeadless(tmp.path(), script, ms); }

private slots:
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
    }

    // 100,000 variables: each ":let" costs the same whatever their number (the table was searched for each: 53 s).
    void manyVariables()
    {
        QString script;
        for (int i = 0; i < 100000; ++i) script += QString(":let v%1 %1\n").arg(i);
        // An argument of many "$" once had every key of the table tried for it.
        script += ":echo $v5$-$v99999$-$v100000$\n:for i %i 1 3000\n:echo $v7$" + QString(70, '$') + "\n:next i\nquit\n";
        QElapsedTimer t;
        t.start();
        const ts::ProgramRun r = run(script, 120000);
        QVERIFY2(r.endedWith(0), r.err.right(2000).constData());
        QVERIFY2(t.elapsed() < 20000, qPrintable(QString::number(t.elapsed()) + " ms"));
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
};

QTEST_MAIN(TstHeadlessRun)
#include "tst_headlessrun.moc"
