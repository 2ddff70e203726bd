// Start-up: options resolved over the configuration table, the Japanese
// translation, and the program itself started on a configuration file.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include "StartupOptions.h"
#include "core/Cfg.h"
#include "support/Files.h"

#ifdef CORVENLITH_BIN
namespace {

// Starts the program headless and reads its standard error until it holds
// `until`, the program ends, or 20 s pass; then stops it.
QByteArray errorsOfRun(const QStringList& args, const QByteArray& until, bool* stillRunning)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(CORVENLITH_BIN, args);
    QByteArray err;
    QElapsedTimer t;
    t.start();
    while (p.waitForStarted(10000) && !err.contains(until) && t.elapsed() < 20000 && p.state() == QProcess::Running) {
        p.waitForReadyRead(200);
        err += p.readAllStandardError();
    }
    *stillRunning = p.state() == QProcess::Running;
    p.terminate();
    if (!p.waitForFinished(5000)) p.kill();
    p.waitForFinished(5000);
    return err;
}

}  // namespace
#endif

class TstStartup : public QObject
{
    Q_OBJECT

private slots:
    // The command line first, then the file, as start-up fills the table.
    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("value");
        const QString roots = "DataRoot /data/root   # comment\nBatchRoot \"/batch root\"";
        QTest::newRow("-c") << QStringList{"-c", "one.cfg"} << "" << "config" << "one.cfg";
        QTest::newRow("-config over -c") << QStringList{"-config", "two.cfg", "-c", "one.cfg"} << "" << "config" << "two.cfg";
        QTest::newRow("-c without a value") << QStringList{"-c", "-e"} << "" << "config" << "";
        QTest::newRow("options are case-sensitive") << QStringList{"-C", "upper.cfg"} << "" << "config" << "def.cfg";
        QTest::newRow("data root from the file") << QStringList() << roots << "data" << "/data/root";
        QTest::newRow("batch root from the file") << QStringList() << roots << "batch" << "/batch root";
        QTest::newRow("-d over the file") << QStringList{"-d", "/cmd/data"} << roots << "data" << "/cmd/data";
        QTest::newRow("-br over the file") << QStringList{"-br", "/cmd/batch"} << roots << "batch" << "/cmd/batch";
        QTest::newRow("-b") << QStringList{"-b", "/s/run.bat", "-x", "-e"} << "" << "script" << "/s/run.bat";
        QTest::newRow("-x") << QStringList{"-b", "/s/run.bat", "-x", "-e"} << "" << "run" << "1";
        QTest::newRow("-e") << QStringList{"-b", "/s/run.bat", "-x", "-e"} << "" << "english" << "1";
        QTest::newRow("-b without a file") << QStringList{"-b"} << "" << "script" << "";
        QTest::newRow("no -x") << QStringList{"-b"} << "" << "run" << "0";
        QTest::newRow("A2B: key 1") << QStringList() << "ShowAnalyzer2Button 1" << "A2B" << "1";
        QTest::newRow("A2B: key text") << QStringList() << "ShowAnalyzer2Button yes" << "A2B" << "0";
        QTest::newRow("A2B: option 1") << QStringList{"-showA2B", "1"} << "" << "A2B" << "1";
        QTest::newRow("A2B: option 0 over key 1") << QStringList{"-showA2B", "0"} << "ShowAnalyzer2Button 1" << "A2B" << "0";
        QTest::newRow("A2B: option empty over key 1") << QStringList{"-showA2B"} << "ShowAnalyzer2Button 1" << "A2B" << "0";
        QTest::newRow("A2B: option 2") << QStringList{"-showA2B", "2"} << "" << "A2B" << "0";
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        QFETCH(QString, option);
        QFETCH(QString, value);
        QList<QByteArray> bytes{"corvenlith"};
        for (const QString& a : args) bytes << a.toUtf8();
        QVector<char*> argv;
        for (QByteArray& b : bytes) argv << b.data();
        argv << nullptr;
        Cfg c;
        c.parseArgs(bytes.size(), argv.data());
        QTemporaryDir dir;
        c.readFile(ts::writeIn(dir, "c.cfg", file + "\n"));
        const StartupOptions o = resolveStartupOptions(c, "C:/Data", "C:/Data", false);
        const QMap<QString, QString> got{{"config", configFileName(c, "def.cfg")},
                                         {"data", o.dataRoot},
                                         {"batch", o.batchRoot},
                                         {"script", o.batchFile},
                                         {"run", QString::number(o.execBatch)},
                                         {"english", QString::number(o.english)},
                                         {"A2B", QString::number(o.showAnalyzer2Button)}};
        QCOMPARE(got.value(option), value);
    }

    // Every collected text has its translation (scripts/lupdate.sh collects
    // them), and the translation is embedded in the program.
    void japaneseTranslationCompleteAndEmbedded()
    {
        QTranslator t;
        QVERIFY(t.load(":Corvenlith_ja_JP"));
        const QString title = t.translate("Body", "Show Stats");
        QVERIFY(!title.isEmpty() && title != "Show Stats");
#ifdef CORVENLITH_TS
        const QByteArray text = ts::readAll(CORVENLITH_TS);
        QVERIFY(text.contains("language=\"ja_JP\""));
        QVERIFY(text.count("<message>") > 100);
        QCOMPARE(text.count("type=\"unfinished\""), 0);
        QCOMPARE(text.count("<translation></translation>"), 0);
#endif
    }

#ifdef CORVENLITH_BIN
    // "-b" loads a script into the batch window and "-x" runs it, after the
    // configuration's script lines; the script goes on to its end.
    void programRunsTheStartupScript()
    {
        QTemporaryDir dir;
        const QString f = ts::writeIn(dir, "start.cfg", "DataRoot " + dir.path() + "\nbatch analyzer_select_main_mode_sumUp 1\n");
        const QString bat = ts::writeIn(dir, "run.bat", "analyzer_select_main_mode_sumUp 2\n:echo half\nanalyzer_select_main_mode_sumUp 3\n");
        bool running = false;
        const QByteArray err = errorsOfRun({"-c", f, "-e", "-b", bat, "-x"}, "\"analyzer_select_main_mode_sumUp 3\"", &running);
        const int one = err.indexOf("cmd \"analyzer_select_main_mode_sumUp 1\"");
        const int two = err.indexOf("cmd \"analyzer_select_main_mode_sumUp 2\"");
        const int three = err.indexOf("cmd \"analyzer_select_main_mode_sumUp 3\"");
        QVERIFY2(one >= 0 && two > one && three > two, err.constData());
        QVERIFY(err.indexOf("echo half") > two);
        QVERIFY(running);
    }

    void programWithoutConfigurationGoesOn()
    {
        QTemporaryDir dir;
        bool running = false;
        const QByteArray err = errorsOfRun({"-c", dir.filePath("missing.cfg")}, "Keys of Cfg::", &running);
        QVERIFY2(err.contains("Can't open config file"), err.constData());
        QVERIFY(err.contains("show analyzer 2 false"));
        QVERIFY(running);
    }
#endif
};

QTEST_MAIN(TstStartup)
#include "tst_startup.moc"
