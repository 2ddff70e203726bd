// Script files as users write them: every line of a file runs whatever ends
// its lines, a file that is no script is refused with a message and status 1,
// and the largest script accepted runs in bounded memory. Also how a failed
// save names the map the script selected.
#include <QtTest>

#include "batch/BatchCtrl.h"
#include "batch/ScriptText.h"
#include "support/Files.h"
#include "support/Headless.h"

namespace {

// The lines of bytes split at CRLF, CR and LF, independently of the reader.
QStringList splitLines(const QByteArray& bytes)
{
    QStringList lines = QString::fromUtf8(bytes).split(QRegularExpression("\r\n|\r|\n"));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() && f.flush();
}

// n lines of exactly width bytes each before their "\n", every one a comment
// (or starting with head).
QByteArray commentLines(int n, int width, const QByteArray& head = "#")
{
    QByteArray line = head.leftJustified(width, 'c', true);
    line += '\n';
    QByteArray out;
    out.reserve(qint64(n) * line.size());
    for (int i = 0; i < n; ++i) out += line;
    return out;
}

// The peak resident memory (kB) of a process, read while it runs.
qint64 peakKb(qint64 pid)
{
    QFile f(QString("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith("VmHWM:")) return l.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// The log lines "line N: ..." of a run.
QStringList ranLines(const QByteArray& err)
{
    QStringList out;
    const QRegularExpression re("^line \\d+: ");
    for (const QString& l : QString::fromUtf8(err).split('\n'))
        if (re.match(l).hasMatch()) out << l;
    return out;
}

}  // namespace

class TstScriptFiles : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

    ts::ProgramRun runFile(const QByteArray& bytes, int ms = 120000)
    {
        const QString bat = tmp.filePath("raw.bat");
        if (!writeBytes(bat, bytes)) return ts::ProgramRun();
        return ts::runProgram(CORVENLITH_BIN, {"-c", tmp.filePath("none.cfg"), "-e", "-b", bat, "-x"}, ms, tmp.path());
    }

private slots:
    // The runs' configuration, empty: a configuration named and missing is a failure of the run.
    void initTestCase() { QVERIFY(ts::writeText(tmp.filePath("none.cfg"), "")); }

    // Every line of the bytes, as an independent split gives them, or a refusal naming what is wrong and where.
    void reader_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("refusal");  // empty: read
        const QByteArray three = ":echo one\n:echo two\nquit\n";
        QTest::newRow("LF") << three << "";
        QTest::newRow("CRLF") << QByteArray(three).replace("\n", "\r\n") << "";
        QTest::newRow("CR only") << QByteArray(three).replace("\n", "\r") << "";
        QTest::newRow("mixed, no last end") << QByteArray(":echo a\r\n\r:echo b\n\n\r\nquit") << "";
        QTest::newRow("CR then LF kept apart by a line") << QByteArray("a\r\rb\n") << "";
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("UTF-8 names") << QByteArray(":echo \xc3\xa9nergie \xe6\x9d\x90\xe6\x96\x99\r\n") << "";
        QTest::newRow("NUL in line 2") << QByteArray(":echo a\r\n:echo b\0\n:echo c\n", 24) << "NUL byte at byte 16 (line 2)";
        QTest::newRow("NUL first") << QByteArray("\0quit\n", 6) << "NUL byte at byte 0 (line 1)";
        QTest::newRow("NUL after CR lines") << QByteArray("a\rb\rc\r\0", 7) << "NUL byte at byte 6 (line 4)";
        QTest::newRow("lines at the bound") << commentLines(ScriptText::maxLines, 1) << "";
        QTest::newRow("a line past the bound") << commentLines(ScriptText::maxLines, 1) + "q" << "has 1048577 lines";
        QTest::newRow("empty lines past the bound, CR") << QByteArray(ScriptText::maxLines + 1, '\r') << "has 1048577 lines";
        QByteArray longest = commentLines(3, 4) + commentLines(1, ScriptText::maxLineBytes);
        QTest::newRow("line at the length bound") << longest << "";
        QTest::newRow("its CRLF not counted") << QByteArray(longest).insert(longest.size() - 1, '\r') << "";
        QTest::newRow("line past the length bound")
            << commentLines(3, 4) + commentLines(1, ScriptText::maxLineBytes + 1) + "quit\n"
            << "a line of 1048577 bytes (line 4)";
        QTest::newRow("long last line without end") << QByteArray("a\n") + QByteArray(ScriptText::maxLineBytes + 1, 'b')
                                                     << "(line 2)";
    }
    void reader()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, refusal);
        const ScriptText s = ScriptText::fromBytes(bytes, "x.bat");
        if (!refusal.isEmpty()) {
            QVERIFY(!s.ok());
            QVERIFY2(s.why.startsWith("the batch file x.bat ") && s.why.contains(refusal), qPrintable(s.why));
            QVERIFY(s.text.isEmpty());
            return;
        }
        QVERIFY2(s.ok(), qPrintable(s.why));
        const QStringList want = splitLines(bytes);
        QCOMPARE(s.lines, want.size());
        QCOMPARE(s.text, want.isEmpty() ? QString() : want.join('\n') + '\n');
    }

    // The editor shows a loaded script line by line, ending in a line break, and keeps its text when a file is refused.
    void editorShowsScript_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("LF") << QByteArray("set_band_w 3\n:echo x\n") << true;
        QTest::newRow("CR only") << QByteArray("set_band_w 3\r:echo x\r") << true;
        QTest::newRow("CRLF, no last end") << QByteArray("set_band_w 3\r\n:echo x") << true;
        QTest::newRow("NUL") << QByteArray("set_band_w 3\n\0\n", 15) << false;
    }
    void editorShowsScript()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, loaded);
        BatchCtrl ctrl;
        ctrl.ui.BatchCmds->setPlainText("earlier\n");
        const QString path = tmp.filePath("editor.bat");
        QVERIFY(writeBytes(path, bytes));
        QCOMPARE(ctrl.load(path), loaded);
        QCOMPARE(ctrl.loadRefused(), !loaded);
        QCOMPARE(ctrl.ui.BatchCmds->toPlainText(), loaded ? QString("set_band_w 3\n:echo x\n") : QString("earlier\n"));
        if (!loaded) QVERIFY(ctrl.loadError().contains(path));
    }

    // The real program: every line runs whatever ends the lines (CR-only files ran nothing, status 0), and a file
    // that is no script runs nothing and ends with status 1 (a NUL ended the script unseen, status 0).
    void headlessLines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");  // on standard error
        QTest::addColumn<int>("ran");       // lines the log shows run
        const QByteArray script = ":echo one\n:echo two\nsetband_w 1\n:echo three\nquit\n";
        QTest::newRow("LF") << script << 1 << "line 4: echo three" << 4;
        QTest::newRow("CR only") << QByteArray(script).replace('\n', '\r') << 1 << "line 4: echo three" << 4;
        QTest::newRow("CRLF") << QByteArray(script).replace("\n", "\r\n") << 1 << "line 4: echo three" << 4;
        QTest::newRow("CR only, all good") << QByteArray(":echo one\r:echo two\rquit\r") << 0 << "line 2: echo two" << 3;
        QTest::newRow("NUL") << QByteArray(":echo one\n:echo two\0\nquit\n", 26) << 1
                             << "-x: the batch file %1 is no text: it holds a NUL byte at byte 19 (line 2)" << 0;
        QTest::newRow("too many lines") << QByteArray(ScriptText::maxLines, '\n') + "quit\n" << 1
                                        << "has 1048577 lines, more than the 1048576 a script may have" << 0;
        // Exactly the byte cap, a line at the length bound among lines just under it: runs. One byte more: refused.
        const QByteArray atCap = commentLines(1, ScriptText::maxLineBytes, ":echo ")
                                 + commentLines(61, ScriptText::maxLineBytes - 1, ":echo ")
                                 + commentLines(1, ScriptText::maxLineBytes - 2, ":echo ")
                                 + QByteArray("quit").leftJustified(ScriptText::maxLineBytes - 1, ' ') + '\n';
        QTest::newRow("64 MiB exactly") << atCap << 0 << "line 64: quit" << 64;
        QTest::newRow("64 MiB and a byte") << atCap + "\n" << 1 << "is longer than 64 MB" << 0;
    }
    void headlessLines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, code);
        QFETCH(QString, said);
        QFETCH(int, ran);
        if (QTest::currentDataTag() == QByteArray("64 MiB exactly")) QCOMPARE(bytes.size(), int(ScriptText::maxBytes));
        const ts::ProgramRun r = runFile(bytes);
        QVERIFY2(r.endedWith(code), r.err.right(2000).constData());
        QVERIFY2(r.err.contains(said.arg(tmp.filePath("raw.bat")).toUtf8()), r.err.right(2000).constData());
        QCOMPARE(ranLines(r.err).size(), ran);
    }

    // The largest script accepted, a million lines filling the 64 MB, runs to its last line in a small multiple of
    // its size (42 million empty lines took 3.4 GB and crashed; one 64 MB line took 3.2 GB).
    void largestScriptInBoundedMemory()
    {
        const QByteArray bytes = commentLines(ScriptText::maxLines - 1, 63) + QByteArray("quit").leftJustified(63, ' ') + '\n';
        QCOMPARE(bytes.size(), int(ScriptText::maxBytes));
        const QString bat = tmp.filePath("large.bat");
        QVERIFY(writeBytes(bat, bytes));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.setWorkingDirectory(tmp.path());
        p.start(CORVENLITH_BIN, {"-c", tmp.filePath("none.cfg"), "-e", "-b", bat, "-x"});
        QVERIFY(p.waitForStarted(10000));
        const qint64 pid = p.processId();
        qint64 peak = 0;
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (p.state() != QProcess::NotRunning && t.elapsed() < 300000) {
            peak = qMax(peak, peakKb(pid));
            p.waitForFinished(50);
            out += p.readAll();
        }
        out += p.readAll();
        QVERIFY2(p.state() == QProcess::NotRunning, "still running after 300 s");
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(out.contains("line 1048576: quit"));
        // 635 MB here (67 MB without a script), 1.2 GB under the sanitizer, whose every allocation carries guard
        // bytes: twelve times the file's size, twice that under the sanitizer.
        const qint64 factor = ts::sanitizerSlackKb > 0 ? 24 : 12;
        const qint64 boundKb = factor * (ScriptText::maxBytes >> 10) + ts::sanitizerSlackKb;
        qInfo("peak resident memory %lld kB", peak);
        QVERIFY2(peak > 0 && peak < boundKb, qPrintable(QString("peak %1 kB, bound %2 kB").arg(peak).arg(boundKb)));
    }

    // A failed save names the map as the script selected it, not by the panel's inner names ("LCF Ref 2" read as
    // reference row 2 when it was row 0's fraction).
    void saveNamesSelectedMap_data()
    {
        QTest::addColumn<QString>("select");
        QTest::addColumn<QString>("said");
        QTest::newRow("row 0 fraction") << "analyzer_select_image 0\nanalyzer_select_image_type 0\n"
                                        << "frac-0.tif could not be saved: the map of reference row 0, map type 0 (fraction) holds no values";
        QTest::newRow("row 2 amount") << "analyzer_select_image 2\nanalyzer_select_image_type 1\n"
                                      << "frac-2.tif could not be saved: the map of reference row 2, map type 1 (amount) holds no values";
        QTest::newRow("edge shift") << "analyzer_select_image 4\n"
                                    << "frac-0.tif could not be saved: the map of image 4 (edge shift) holds no values";
        QTest::newRow("LCF residual") << "analyzer_select_image 5\n"
                                      << "the map of image 5 (LCF residual) holds no values";
        QTest::newRow("element row") << "analyzer_target_elements Cu,Fe\nanalyzer_select_image 6\nanalyzer_elems_select_show Fe-K\n"
                                        "analyzer_elems_select_disp_mode 4\n"
                                     << "the map of element Fe-K, display mode 4 (Mut+) holds no values";
        QTest::newRow("element correlation") << "analyzer_target_elements Cu\nanalyzer_select_image 6\nanalyzer_elems_select_disp_mode 2\n"
                                             << "the element correlation map (display mode 2) holds no values";
        QTest::newRow("text, row 1 fraction") << "saveDataCfg_save_as_text\nanalyzer_select_image 1\nanalyzer_select_image_type 0\n"
                                              << "frac-1.dat could not be saved: the map of reference row 1, map type 0 (fraction) holds no values";
    }
    void saveNamesSelectedMap()
    {
        QFETCH(QString, select);
        QFETCH(QString, said);
        const ts::ProgramRun r = ts::runHeadless(tmp.path(), select + "save_data frac\nquit\n", 60000);
        QVERIFY2(r.endedWith(1), r.err.right(2000).constData());
        QVERIFY2(r.err.contains(said.toUtf8()), r.err.right(2000).constData());
        QVERIFY(!r.err.contains("LCF Ref") && !r.err.contains("a2d "));
    }
};

QTEST_MAIN(TstScriptFiles)
#include "tst_scriptfiles.moc"
