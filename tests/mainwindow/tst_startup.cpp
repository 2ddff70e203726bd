// Start-up: options resolved over the configuration table, the Japanese
// translation, and the program itself started on a configuration file.
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include "StartupOptions.h"
#include "core/Cfg.h"
#include "support/Files.h"
#include "support/Headless.h"

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
        const QString bat = ts::writeIn(dir, "run.bat", "analyzer_select_main_mode_sumUp 2\n:echo half\nanalyzer_select_main_mode_sumUp 3\nquit\n");
        const ts::ProgramRun r = ts::runProgram(CORVENLITH_BIN, {"-c", f, "-e", "-b", bat, "-x"}, 20000);
        QVERIFY2(r.ended && r.status == QProcess::NormalExit && r.code == 0, r.err.constData());
        const int one = r.err.indexOf("cmd \"analyzer_select_main_mode_sumUp 1\"");
        const int two = r.err.indexOf("cmd \"analyzer_select_main_mode_sumUp 2\"");
        const int three = r.err.indexOf("cmd \"analyzer_select_main_mode_sumUp 3\"");
        QVERIFY2(one >= 0 && two > one && three > two, r.err.constData());
        QVERIFY(r.err.indexOf("echo half") > two);
    }

    // A configuration file that cannot be read leaves the defaults; start-up
    // goes on (here to "-x", which then has no script to run).
    void programWithoutConfigurationGoesOn()
    {
        QTemporaryDir dir;
        const ts::ProgramRun r = ts::runProgram(CORVENLITH_BIN, {"-c", dir.filePath("missing.cfg"), "-x"}, 20000);
        QVERIFY2(r.ended && r.status == QProcess::NormalExit, r.err.constData());
        QVERIFY2(r.err.contains("Can't open config file"), r.err.constData());
        QVERIFY(r.err.contains("show analyzer 2 false"));
        QVERIFY(r.err.contains("no batch file given"));
    }
#endif
};

QTEST_MAIN(TstStartup)
#include "tst_startup.moc"
