// The real program run headless where a run used to hang, die unseen or go on with what it was not given: stop
// signals at start and while a read waits, a reader of standard error gone from the start, files that never end a
// line, an angle list that cannot be read after a good one, and the file dialogs of a run without a screen.
#include <QtTest>

#include <QLockFile>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "support/Files.h"
#include "support/Headless.h"

namespace {

const QString stoppedBySigterm = "Failures in this run: 1; the first: Batch: the run was stopped by SIGTERM before its end";

// The process whose parent is ppid (Linux), 0 when there is none yet.
qint64 childOf(qint64 ppid)
{
    for (const QString& d : QDir("/proc").entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 pid = d.toLongLong(&ok);
        if (!ok) continue;
        const QByteArray stat = ts::readAll("/proc/" + d + "/stat");
        const int close = stat.lastIndexOf(')');
        if (close < 0) continue;
        const QList<QByteArray> f = stat.mid(close + 2).split(' ');
        if (f.size() > 1 && f.at(1).toLongLong() == ppid) return pid;
    }
    return 0;
}

// /bin/sh runs launch, in which $RUN stands for the program headless with args; standard error into errFile.
void startThroughShell(QProcess& p, const QString& launch, const QStringList& args, const QString& errFile,
                       const QProcessEnvironment& extra = QProcessEnvironment())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (const QString& k : extra.keys()) env.insert(k, extra.value(k));
    p.setProcessEnvironment(env);
    p.setStandardErrorFile(errFile);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start("/bin/sh", QStringList{"-c", QString(launch).replace("$RUN", "\"$0\" \"$@\""), CORVENLITH_BIN} + args);
}

// A reader of standard error that is gone before the program writes its first line.
class ReaderGone : public QProcess {
protected:
    void setupChildProcess() override
    {
        int p[2];
        if (::pipe(p) != 0) return;
        ::close(p[0]);
        ::dup2(p[1], STDERR_FILENO);
        ::close(p[1]);
    }
};

QString lastLine(const QByteArray& err)
{
    return QString::fromUtf8(err.trimmed()).section('\n', -1);
}

}  // namespace

class TstStopsAndReaders : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString none() const { return tmp.filePath("none.cfg"); }

private slots:
    // A configuration file named and missing is counted: the runs name an empty one.
    void initTestCase() { QVERIFY(ts::writeText(none(), "")); }

    // `corvenlith -e -b run.bat -x 2>&1 | head -1`: the reader goes away after a line, and SIGPIPE killed the run
    // at its start (status 141 in 14 of 20 trials, the script never ran). Here the reader is gone before the first
    // line: the script runs all the same, with the status its failures give.
    void readerGoneFromStart_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("code");
        QTest::newRow("clean script") << ":echo a\nquit\n" << 0;
        QTest::newRow("a refusal") << "bogus\nquit\n" << 1;
        QTest::newRow("no quit, a long log") << ":for i %i 1 20000\n:echo %i\n:next i\n" << 0;
    }
    void readerGoneFromStart()
    {
        QFETCH(QString, script);
        QFETCH(int, code);
        const QString bat = tmp.filePath("gone.bat");
        QVERIFY(ts::writeText(bat, script));
        ReaderGone p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(CORVENLITH_BIN, {"-c", none(), "-e", "-b", bat, "-x"});
        QVERIFY(p.waitForStarted(10000));
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), code);
    }

    // A stop signal ends a run, counted, whatever the program waits for: the open of a named pipe nobody writes to
    // (SIGTERM could not end it: still running 8 min later), a script on a pipe that stays open (the signal was
    // never counted: the script ran when the pipe ended, status 0).
    void stopWhateverReadWaits_data()
    {
        QTest::addColumn<QString>("script");  // FIFO: a named pipe without a writer; "": the script on standard input
        QTest::addColumn<QString>("waitFor");  // on standard error, before the signal
        QTest::newRow("angle list on a named pipe") << "eng_by_ref_i1 FIFO\nquit\n" << "line 1: eng_by_ref_i1";
        QTest::newRow("I0 angle list on a named pipe") << "set_band_w 1\neng_by_ref_i0 FIFO\nquit\n" << "line 2: eng_by_ref_i0";
        QTest::newRow("edge reference on a named pipe") << "analyzer_dEdge_comp_file_name FIFO\nquit\n"
                                                        << "line 1: analyzer_dEdge_comp_file_name";
        QTest::newRow("script on a pipe that stays open") << "" << "cfg file";
    }
    void stopWhateverReadWaits()
    {
        QFETCH(QString, script);
        QFETCH(QString, waitFor);
        const QString fifo = tmp.filePath("nowriter.fifo"), bat = tmp.filePath("wait.bat"), err = tmp.filePath("wait.err");
        ::unlink(qPrintable(fifo));
        QCOMPARE(::mkfifo(qPrintable(fifo), 0600), 0);
        QVERIFY(ts::writeText(bat, QString(script).replace("FIFO", fifo)));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.setStandardErrorFile(err);
        p.setStandardOutputFile(QProcess::nullDevice());
        // Standard input stays an open pipe the test never writes to.
        p.start(CORVENLITH_BIN, {"-c", none(), "-e", "-b", script.isEmpty() ? "/dev/stdin" : bat, "-x"});
        QVERIFY(p.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(ts::readAll(err).contains(waitFor.toUtf8()), 60000);
        QVERIFY(!p.waitForFinished(500));
        QElapsedTimer t;
        t.start();
        p.terminate();
        const bool ended = p.waitForFinished(60000);
        const qint64 ms = t.elapsed();
        if (!ended) p.kill(), p.waitForFinished(5000);
        ::unlink(qPrintable(fifo));
        QVERIFY2(ended, ts::readAll(err).right(1000).constData());
        qInfo("ended %lld ms after SIGTERM", ms);
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(lastLine(ts::readAll(err)), stoppedBySigterm);
    }

    // A file without a line break for hundreds of MB, given where a list or a spectrum is read, is refused and
    // counted as the other readers refuse it (it aborted on std::bad_alloc, status 134, under a 3 GB limit).
    void endlessLineRefused_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("angle list") << "eng_by_ref_i1 /dev/zero\nquit\n";
        QTest::newRow("calibration standard") << "calib_show_window\ncalib_load_std /dev/zero\nquit\n";
        QTest::newRow("LCF reference") << "analyzer_set_LCF_std 0 1 0 /dev/zero\nquit\n";
        QTest::newRow("edge reference") << "analyzer_dEdge_comp_file_name /dev/zero\nquit\n";
    }
    void endlessLineRefused()
    {
        QFETCH(QString, script);
        const QString bat = tmp.filePath("zero.bat"), err = tmp.filePath("zero.err");
        QVERIFY(ts::writeText(bat, script));
        QProcess p;
        QProcessEnvironment extra;
        // The sanitizer reserves far more address space than a limit allows; its own cap stands in for it.
        extra.insert("ASAN_OPTIONS", qEnvironmentVariable("ASAN_OPTIONS") + ":max_allocation_size_mb=3000");
        startThroughShell(p, ts::sanitizerSlackKb ? "exec $RUN" : "ulimit -v 3000000; exec $RUN",
                          {"-c", none(), "-e", "-b", bat, "-x"}, err, extra);
        QVERIFY(p.waitForStarted(10000));
        QVERIFY(p.waitForFinished(300000));
        const QByteArray log = ts::readAll(err);
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 1, log.right(1000).constData());
        QVERIFY2(lastLine(log).startsWith("Failures in this run: 1; the first: "), log.right(1000).constData());
    }

    // An angle list that cannot be read, after one that could, is counted, and the load that follows does not
    // take its energies from the old list (it did, status 0).
    void unreadableAngleListAfterGood_data()
    {
        QTest::addColumn<QString>("list");  // the second list; TMP the folder
        QTest::addColumn<int>("code");
        QTest::newRow("the good list again") << "TMP/good.dat" << 0;
        QTest::newRow("missing") << "TMP/missing.dat" << 1;
        QTest::newRow("a folder") << "TMP" << 1;
        QTest::newRow("no line break") << "/dev/zero" << 1;
    }
    void unreadableAngleListAfterGood()
    {
        QFETCH(QString, list);
        QFETCH(int, code);
        const QString dir = tmp.filePath("angles");
        QStringList files, angles;
        if (!QFileInfo::exists(dir)) QVERIFY(QDir().mkpath(dir));
        // Frames named without an energy; their angles climb unevenly over the Cu K edge.
        for (int k = 0; k < 14; ++k) {
            const QString f = dir + QString("/scan_%1.tif").arg(k, 3, 10, QChar('0'));
            QVERIFY(ts::writeTiff(f, 10, 8, [k](int x, int y) { return 3000 + 40 * x - 15 * y + 9 * k; }));
            files << f;
            angles << QString::number(12.92 - 0.011 * k - 0.0007 * k * k, 'f', 5);
        }
        QVERIFY(ts::writeText(dir + "/good.dat", "angle\n" + angles.join('\n') + "\n"));
        const QString script = "eng_by_ref_i1 TMP/good.dat\neng_by_ref_i1 " + list + "\nload_I1_files NEW " + files.join(' ') + "\nquit\n";
        const ts::ProgramRun r = ts::runHeadless(tmp.path(), QString(script).replace("TMP", dir), 120000);
        QVERIFY2(r.endedWith(code), r.err.right(2000).constData());
        const QStringList errs = QString::fromUtf8(r.err).split('\n').filter(QRegularExpression("^Err: "));
        if (code == 0) {
            QVERIFY2(errs.isEmpty(), qPrintable(errs.join('\n')));
            return;
        }
        QVERIFY2(errs.size() == 2 && errs.at(0).startsWith("Err: line 2: eng_by_ref_i1 ")
                     && errs.at(1).startsWith("Err: line 3: load_I1_files "),
                 qPrintable(errs.join('\n').left(2000)));
        QVERIFY2(lastLine(r.err).startsWith("Failures in this run: 2; the first: Err: line 2: eng_by_ref_i1"),
                 qPrintable(lastLine(r.err)));
    }

    // A signal after main begins and before the loop runs is counted as the docs say, also when the script's lines
    // all ran before the loop took it (an empty script, or one without "quit", ended with status 0). The program
    // is held at its first line by a full pipe on standard error while the signal comes.
    void signalBeforeLoopCounted_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("empty script") << "";
        QTest::newRow("an echo, no quit") << ":echo a\n";
        QTest::newRow("an echo and quit") << ":echo a\nquit\n";
    }
    void signalBeforeLoopCounted()
    {
        QFETCH(QString, script);
        ts::StalledReader reader(tmp.filePath("early.fifo"));
        QVERIFY(reader.ok() && reader.fill());
        const QString bat = tmp.filePath("early.bat");
        QVERIFY(ts::writeText(bat, script));
        QProcess p;
        ts::startOffscreen(p, reader.path, {"-c", none(), "-e", "-b", bat, "-x"});
        QVERIFY(p.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(ts::waitsOnPipe(p.processId()), 60000);
        QCOMPARE(::kill(pid_t(p.processId()), SIGTERM), 0);
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 60000 && !p.waitForFinished(20)) got += reader.drain();
        got += reader.drain();
        int filler = 0;  // what the pipe was filled with
        while (filler < got.size() && got.at(filler) == 'f') ++filler;
        got.remove(0, filler);
        QVERIFY(p.state() == QProcess::NotRunning);
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 1, got.right(500).constData());
        QVERIFY2(lastLine(got).contains(QRegularExpression("^Failures in this run: 1; the first: Batch: the (run|script) was stopped")),
                 got.right(500).constData());
    }

    // Without a script a signal that came while the program started ends it by that very signal, once the program
    // can act: its number is not lost on the way (a SIGHUP given back as SIGTERM tells the caller another story).
    void startupSignalKeepsItsNumber_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void startupSignalKeepsItsNumber()
    {
        QFETCH(int, sig);
        ts::StalledReader reader(tmp.filePath("nostart.fifo"));
        QVERIFY(reader.ok() && reader.fill());
        const QString code = tmp.filePath("nostart.code");
        QFile::remove(code);
        QProcess p;
        startThroughShell(p, "$RUN; echo $? > " + code, {"-c", none(), "-e"}, reader.path);
        QVERIFY(p.waitForStarted(10000));
        qint64 pid = 0;
        QTRY_VERIFY_WITH_TIMEOUT((pid = childOf(p.processId())) > 0 && ts::waitsOnPipe(pid), 60000);
        QCOMPARE(::kill(pid_t(pid), sig), 0);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 60000 && !p.waitForFinished(20)) reader.drain();
        QVERIFY(p.state() == QProcess::NotRunning);
        QCOMPARE(ts::readAll(code).trimmed().toInt(), 128 + sig);
    }

    // A window run (no script) started with a stop signal ignored keeps it ignored once the handlers of a script
    // run are released: under nohup, SIGHUP does not end it; the signals not ignored end it as they always did.
    void windowKeepsIgnoredSignals_data()
    {
        QTest::addColumn<QString>("launch");
        QTest::addColumn<int>("sig");
        QTest::addColumn<bool>("survives");
        QTest::newRow("nohup, SIGHUP") << "nohup $RUN" << int(SIGHUP) << true;
        QTest::newRow("SIGINT ignored, SIGINT") << "trap '' INT; $RUN" << int(SIGINT) << true;
        QTest::newRow("SIGTERM ignored, SIGTERM") << "trap '' TERM; $RUN" << int(SIGTERM) << true;
        QTest::newRow("nohup, SIGINT") << "nohup $RUN" << int(SIGINT) << false;
        QTest::newRow("nothing ignored, SIGHUP") << "$RUN" << int(SIGHUP) << false;
    }
    void windowKeepsIgnoredSignals()
    {
        QFETCH(QString, launch);
        QFETCH(int, sig);
        QFETCH(bool, survives);
        const QString err = tmp.filePath("window.err"), code = tmp.filePath("window.code");
        QFile::remove(code);
        QProcess p;
        startThroughShell(p, launch + "; echo $? > " + code, {"-c", none(), "-e"}, err);
        QVERIFY(p.waitForStarted(10000));
        // Said once the handlers are released.
        QTRY_VERIFY_WITH_TIMEOUT(ts::readAll(err).contains("show analyzer 2"), 60000);
        qint64 pid = childOf(p.processId());
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid_t(pid), sig), 0);
        if (survives) {
            QVERIFY2(!p.waitForFinished(2000), ts::readAll(code).constData());
            QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
            sig = SIGKILL;
        }
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(ts::readAll(code).trimmed().toInt(), 128 + sig);
    }

    // A run without a screen builds no file dialog: no folder-watching thread runs (about 28 did, the main thread
    // waiting for them at the end), the user's dialog settings are not rewritten, and a settings lock another
    // program holds does not hold up the end (32.6 s against 0.8 s without it). The lock's run is timed against
    // the same run without it, made just before.
    void headlessRunLeavesDialogsAlone()
    {
        const QString config = tmp.filePath("config"), bat = tmp.filePath("dialogs.bat"), err = tmp.filePath("dialogs.err");
        QVERIFY(QDir().mkpath(config));
        QProcessEnvironment extra;
        extra.insert("XDG_CONFIG_HOME", config);
        auto runOnce = [&](const QString& script) {
            QVERIFY(ts::writeText(bat, script));
            QProcess p;
            startThroughShell(p, "exec $RUN", {"-c", none(), "-e", "-b", bat, "-x"}, err, extra);
            QVERIFY(p.waitForStarted(10000));
            QVERIFY(p.waitForFinished(300000));
            QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, ts::readAll(err).right(1000).constData());
        };
        QElapsedTimer t;
        t.start();
        runOnce(":echo a\nquit\n");
        const qint64 freeMs = t.restart();
        QVERIFY(!QFileInfo::exists(config + "/QtProject.conf"));
        {
            QLockFile lock(config + "/QtProject.conf.lock");
            QVERIFY(lock.tryLock(0));
            t.restart();
            runOnce(":echo a\nquit\n");
        }
        const qint64 lockedMs = t.elapsed();
        qInfo("without the lock %lld ms, with it %lld ms", freeMs, lockedMs);
        QVERIFY2(lockedMs < 3 * freeMs + 10000, qPrintable(QString("%1 ms, without the lock %2 ms").arg(lockedMs).arg(freeMs)));
        // Under way: no thread of a dialog.
        QVERIFY(ts::writeText(bat, ":for i %i 1 1000000000\n:echo %i\n:next i\nquit\n"));
        QProcess p;
        startThroughShell(p, "exec $RUN", {"-c", none(), "-e", "-b", bat, "-x"}, err, extra);
        QVERIFY(p.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(err).size() > 100000, 60000);
        QStringList threads;
        for (const QString& task : QDir(QString("/proc/%1/task").arg(p.processId())).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            threads << QString::fromUtf8(ts::readAll(QString("/proc/%1/task/%2/comm").arg(p.processId()).arg(task)).trimmed());
        p.terminate();
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(threads.filter("QFileInfoGather").isEmpty(), qPrintable(threads.join(' ')));
        QVERIFY(!QFileInfo::exists(config + "/QtProject.conf"));
    }
};

QTEST_MAIN(TstStopsAndReaders)
#include "tst_stopsandreaders.moc"
