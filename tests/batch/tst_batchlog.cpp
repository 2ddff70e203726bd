// The batch log's copy on standard error, driven directly: a child process (this program again) writes lines of
// known length into a named pipe whose reader the test plays, slowly or not at all.
#include <QtTest>

#include <sys/ioctl.h>
#include <unistd.h>

#include "batch/BatchLog.h"
#include "support/Headless.h"

namespace {

constexpr int lineBytes = 64;
constexpr int linesPerText = 4096 / lineBytes;  // a text fills one piece of the writer

QString numberedLine(int k)
{
    return QString("%1 ").arg(k, 6, 10, QChar('0')).leftJustified(lineBytes - 1, '.');
}

// The child: `texts` texts of whole lines, then the closing line. A reader that stalls ("stalled") is waited on
// until the pipe stops filling, and the end is hurried as a stop signal hurries it.
int childMain(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray mode = qgetenv("BATCHLOG_CHILD");
    const int texts = qEnvironmentVariableIntValue("BATCHLOG_TEXTS");
    BatchLog::setToStandardError(true);
    int k = 0;
    for (int t = 0; t < texts; ++t) {
        QStringList lines;
        for (int i = 0; i < linesPerText; ++i) lines << numberedLine(++k);
        BatchLog::write(lines.join('\n'));
    }
    if (mode == "stalled") {
        // The writer has filled the pipe as far as it fills it.
        int held = -1, same = 0;
        for (int i = 0; i < 2000 && same < 20; ++i) {
            int now = 0;
            ::ioctl(STDERR_FILENO, FIONREAD, &now);
            same = now == held ? same + 1 : 0;
            held = now;
            QThread::msleep(10);
        }
        BatchLog::hurry();
    }
    BatchLog::write("closing");
    return BatchLog::finish(300) ? 0 : 3;
}

void startChild(QProcess& p, const QString& fifo, const QByteArray& mode, int texts)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("BATCHLOG_CHILD", mode);
    env.insert("BATCHLOG_TEXTS", QString::number(texts));
    p.setProcessEnvironment(env);
    p.setStandardErrorFile(fifo);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(QCoreApplication::applicationFilePath(), QStringList());
}

// Each numbered line in order, each either there or counted by the note that stands where it went.
QString checkOrder(const QStringList& lines, int total)
{
    const QRegularExpression note("^\\((\\d+) line\\(s\\) of the log left out\\)$");
    int next = 1;
    for (const QString& l : lines) {
        const QRegularExpressionMatch m = note.match(l);
        if (m.hasMatch()) {
            next += m.captured(1).toInt();
            continue;
        }
        if (!l.startsWith(QString("%1 ").arg(next, 6, 10, QChar('0')))) continue;
        ++next;
    }
    return next == total + 1 ? QString() : QString("%1 of %2 lines accounted for").arg(next - 1).arg(total);
}

}  // namespace

class TstBatchLog : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

private slots:
    // A reader that takes a little at a time, far less than the writer's pieces, is still reading: it gets every
    // line and the closing one, the program waiting for it (512 B every 0.9 s lost 38,492 of 40,005 lines, as the
    // reader's progress was counted by the writer's 4 KB pieces and a second without one counted as a stall).
    void slowReaderGetsEveryLine_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("pauseMs");
        QTest::newRow("512 B every 0.3 s") << 512 << 300;
        QTest::newRow("2 KB every 1.5 s") << 2048 << 1500;
        QTest::newRow("64 B every 50 ms") << 64 << 50;
    }
    void slowReaderGetsEveryLine()
    {
        QFETCH(int, bytes);
        QFETCH(int, pauseMs);
        ts::StalledReader reader(tmp.filePath("slow.fifo"), 65536);
        QVERIFY(reader.ok());
        const int texts = 10;  // 40 kB: 8 kB more than the half of the pipe the writer fills
        QProcess p;
        startChild(p, reader.path, "slow", texts);
        QVERIFY(p.waitForStarted(10000));
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (p.state() != QProcess::NotRunning && t.elapsed() < 300000) {
            got += reader.take(bytes);
            p.waitForFinished(pauseMs);
        }
        got += reader.drain();
        QVERIFY(p.state() == QProcess::NotRunning);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(!got.contains("left out"), got.right(300).constData());
        const QStringList lines = QString::fromUtf8(got).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), texts * linesPerText + 1);
        for (int k = 0; k < texts * linesPerText; ++k) QCOMPARE(lines.at(k), numberedLine(k + 1));
        QCOMPARE(lines.last(), QString("closing"));
    }

    // Behind a reader that takes nothing, a hurried end keeps the note of the lines left out and the closing line
    // for the reader to find, wherever the writer's fill of the pipe ended: also just below half of the pipe,
    // the most the writer fills but for these last words.
    void lastWordsBehindStalledReader_data()
    {
        QTest::addColumn<int>("prefill");  // bytes in the pipe before the program writes
        const int half = 65536 / 2, pieces = 7;
        QTest::newRow("fill ends 20 B below half") << half - pieces * 4096 - 20;
        QTest::newRow("fill ends at half") << half - pieces * 4096;
        QTest::newRow("fill ends 1 kB below half") << half - pieces * 4096 - 1024;
        QTest::newRow("fill ends a piece below half") << 100;
    }
    void lastWordsBehindStalledReader()
    {
        QFETCH(int, prefill);
        ts::StalledReader reader(tmp.filePath("stalled.fifo"), 65536);
        QVERIFY(reader.ok());
        const int w = ::open(qPrintable(reader.path), O_WRONLY | O_NONBLOCK);
        QVERIFY(w >= 0);
        const QByteArray filler = QByteArray(prefill - 1, 'f') + '\n';
        QCOMPARE(::write(w, filler.constData(), size_t(filler.size())), ssize_t(filler.size()));
        ::close(w);
        const int texts = 40;
        QProcess p;
        startChild(p, reader.path, "stalled", texts);
        QVERIFY(p.waitForStarted(10000));
        QVERIFY(p.waitForFinished(120000));
        QVERIFY(p.exitStatus() == QProcess::NormalExit);
        QByteArray got = reader.drain();
        QVERIFY(got.startsWith(filler));
        got.remove(0, filler.size());
        const QStringList lines = QString::fromUtf8(got).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() >= 2, got.right(300).constData());
        QVERIFY2(lines.at(lines.size() - 2).contains(QRegularExpression("^\\(\\d+ line\\(s\\) of the log left out\\)$")),
                 got.right(300).constData());
        QCOMPARE(lines.last(), QString("closing"));
        const QString order = checkOrder(lines, texts * linesPerText);
        QVERIFY2(order.isEmpty(), qPrintable(order));
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("BATCHLOG_CHILD")) return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    TstBatchLog t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_batchlog.moc"
