// Every reproducer the fuzzers found (fuzz/regression/<reader>/) goes through
// its reader in the normal suite: refused or bounded, no throw, within a time
// and memory bound. Beside them, the fan-out the fuzzers cannot reach with
// one file.
#include "batch/BatchDispatcher.h"
#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/Cfg.h"
#include "core/TiffData.h"
#include "tools/ByteMap.h"
#include "tools/EShiftMapFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

#ifndef REGRESSION_DIR
#error "REGRESSION_DIR names the folder of fuzz reproducers"
#endif

namespace {

const QStringList readers = {"image", "cfg", "emp", "batch", "bytemap"};

qint64 peakMemoryMb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return qint64(u.ru_maxrss) / 1024;
}

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
        int longest = 0;
        QObject::connect(&d, &BatchDispatcher::Log, [&](const QString& t) {
            longest = std::max(longest, t.size());
        });
        QObject::connect(&d, &BatchDispatcher::execCmdSig, &d, [&](CmdLine c, bool) {
            for (const QString& a : c.args) longest = std::max(longest, a.size());
            d.finishBatchExec(0);
        });
        d.doDispatchCmds(QString::fromUtf8(f.readAll()).split('\n'));
        for (int turn = 0; turn < 8 && d.isRunning(); ++turn) QCoreApplication::processEvents();
        d.batchStopSlot();
        QVERIFY2(longest <= (1 << 20) + 100, qPrintable(QString::number(longest)));
    }
}

}  // namespace

class TstHostileFiles : public QObject
{
    Q_OBJECT

private slots:
    void reproducers_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("file");
        for (const QString& r : readers) {
            const QDir dir(QStringLiteral(REGRESSION_DIR "/") + r);
            const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::Name);
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
        try {
            readAsHarness(reader, name);
        } catch (...) {
            qInstallMessageHandler(old);
            QDir::setCurrent(cwd);
            QFAIL("the reader threw");
        }
        qInstallMessageHandler(old);
        QDir::setCurrent(cwd);
        QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed()) + " ms"));
        QVERIFY2(peakMemoryMb() < 1500, qPrintable(QString::number(peakMemoryMb()) + " MB"));
    }

    // Files that each include the next level twice: no cycle, but 2^depth
    // entries without the bounds on depth and lines.
    void includeFanOut()
    {
        QTemporaryDir dir;
        const int levels = 24;
        for (int i = 0; i < levels; ++i) {
            QFile f(dir.filePath(QString("l%1.cfg").arg(i)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("K") + QByteArray::number(i) + " v\n");
            if (i + 1 < levels) {
                const QByteArray next = QFile::encodeName(dir.filePath(QString("l%1.cfg").arg(i + 1)));
                f.write("INCLUDE " + next + "\ninclude " + next + "\n");
            }
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

QTEST_GUILESS_MAIN(TstHostileFiles)
#include "tst_hostilefiles.moc"
