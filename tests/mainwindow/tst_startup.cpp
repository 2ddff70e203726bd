// Start-up: option resolution over the configuration table, the translation
// resource, and the program itself started on a configuration file.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTranslator>
#include <QtTest>

#include "StartupOptions.h"
#include "core/Cfg.h"
#include "support/Files.h"

namespace {

// Fills a table as start-up does: the command line first, then the file.
void fill(Cfg& c, const QStringList& args, const QString& file = QString())
{
    QList<QByteArray> bytes;
    bytes << QByteArray("corvenlith");
    for (const QString& a : args)
        bytes << a.toUtf8();
    QVector<char*> argv;
    for (QByteArray& b : bytes)
        argv << b.data();
    argv << nullptr;
    c.parseArgs(bytes.size(), argv.data());
    if (!file.isEmpty())
        c.readFile(file);
}

StartupOptions resolve(const Cfg& c)
{
    return resolveStartupOptions(c, "C:/Data", "C:/Data", false);
}

#ifdef CORVENLITH_BIN
// Starts the program headless and reads its standard error until it holds
// `until`, the program ends, or 20 s pass.
QByteArray errorsOfRun(QProcess& p, const QStringList& args, const QByteArray& until)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(CORVENLITH_BIN, args);
    if (!p.waitForStarted(10000)) return QByteArray();
    QByteArray err;
    QElapsedTimer t;
    t.start();
    while (!err.contains(until) && t.elapsed() < 20000 && p.state() == QProcess::Running) {
        p.waitForReadyRead(200);
        err += p.readAllStandardError();
    }
    return err;
}

void stop(QProcess& p)
{
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(5000);
    }
}
#endif

}  // namespace

class TstStartup : public QObject
{
    Q_OBJECT

private slots:
    void configOptionChoice()
    {
        Cfg a;
        fill(a, {"-c", "one.cfg"});
        QCOMPARE(configFileName(a, "def.cfg"), QString("one.cfg"));
        Cfg b;
        fill(b, {"-config", "two.cfg", "-c", "one.cfg"});
        QCOMPARE(configFileName(b, "def.cfg"), QString("two.cfg"));
        Cfg c;
        fill(c, {"-c", "-e"});  // present without a value
        QCOMPARE(configFileName(c, "def.cfg"), QString());
        Cfg d;
        fill(d, {"-C", "upper.cfg"});  // option words are case-sensitive
        QCOMPARE(configFileName(d, "def.cfg"), QString("def.cfg"));
    }

    void rootsFromFileAndOptions()
    {
        QTemporaryDir dir;
        const QString f = ts::writeIn(dir, "c.cfg",
                                    "DataRoot /data/root   # comment\nBatchRoot \"/batch root\"\n");
        Cfg c;
        fill(c, {}, f);
        StartupOptions o = resolve(c);
        QCOMPARE(o.dataRoot, QString("/data/root"));
        QCOMPARE(o.batchRoot, QString("/batch root"));

        Cfg d;
        fill(d, {"-d", "/cmd/data", "-br", "/cmd/batch"}, f);
        o = resolve(d);
        QCOMPARE(o.dataRoot, QString("/cmd/data"));
        QCOMPARE(o.batchRoot, QString("/cmd/batch"));
    }

    void analyzer2Button_data()
    {
        QTest::addColumn<QString>("fileLine");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("shown");
        QTest::newRow("nothing") << "" << QStringList() << false;
        QTest::newRow("key 1") << "ShowAnalyzer2Button 1" << QStringList() << true;
        QTest::newRow("key 0") << "ShowAnalyzer2Button 0" << QStringList() << false;
        QTest::newRow("key text") << "ShowAnalyzer2Button yes" << QStringList() << false;
        QTest::newRow("key no value") << "ShowAnalyzer2Button" << QStringList() << false;
        QTest::newRow("option 1") << "" << QStringList{"-showA2B", "1"} << true;
        QTest::newRow("option 0 over key 1") << "ShowAnalyzer2Button 1" << QStringList{"-showA2B", "0"} << false;
        QTest::newRow("option empty over key 1") << "ShowAnalyzer2Button 1" << QStringList{"-showA2B"} << false;
        QTest::newRow("option text over key 1") << "ShowAnalyzer2Button 1" << QStringList{"-showA2B", "on"} << false;
        QTest::newRow("option 2") << "" << QStringList{"-showA2B", "2"} << false;
    }

    void analyzer2Button()
    {
        QFETCH(QString, fileLine);
        QFETCH(QStringList, args);
        QFETCH(bool, shown);
        QTemporaryDir dir;
        const QString f = ts::writeIn(dir, "c.cfg", fileLine + "\n");
        Cfg c;
        fill(c, args, f);
        QCOMPARE(resolve(c).showAnalyzer2Button, shown);
    }

    void batchOptions()
    {
        Cfg a;
        fill(a, {"-b", "/s/run.bat", "-x", "-e"});
        StartupOptions o = resolve(a);
        QCOMPARE(o.batchFile, QString("/s/run.bat"));
        QVERIFY(o.execBatch);
        QVERIFY(o.english);
        Cfg b;
        fill(b, {"-b"});
        o = resolve(b);
        QVERIFY(o.batchFile.isEmpty());
        QVERIFY(!o.execBatch);
    }

    void japaneseTranslationIsEmbedded()
    {
        QTranslator t;
        QVERIFY(t.load(":Corvenlith_ja_JP"));
        const QString title = t.translate("Body", "Show Stats");
        QVERIFY(!title.isEmpty());
        QVERIFY(title != "Show Stats");
        QVERIFY(!t.translate("Body", "Set All").isEmpty());
    }

#ifdef CORVENLITH_TS
    // Every collected text has its translation (scripts/lupdate.sh collects them).
    void translationSourceIsFinished()
    {
        QFile ts(CORVENLITH_TS);
        QVERIFY(ts.open(QIODevice::ReadOnly));
        const QByteArray text = ts.readAll();
        QVERIFY(text.contains("language=\"ja_JP\""));
        QVERIFY(text.count("<message>") > 100);
        QCOMPARE(text.count("type=\"unfinished\""), 0);
        QCOMPARE(text.count("<translation></translation>"), 0);
    }
#endif

#ifdef CORVENLITH_BIN
    // "-b" loads a script into the batch window and "-x" runs it, after the
    // configuration's script lines; words without an action are
    // reported one by one and the script goes on to its end.
    void programRunsTheStartupScript()
    {
        QTemporaryDir dir;
        const QString f = ts::writeIn(dir, "start.cfg",
                                    "DataRoot " + dir.path() + "\nbatch analyzer_select_main_mode_sumUp 1\n");
        const QString bat = ts::writeIn(dir, "run.bat",
                                      "analyzer_select_main_mode_sumUp 2\n:echo half\n"
                                      "analyzer_select_main_mode_sumUp 3\n");
        QProcess p;
        const QByteArray err =
            errorsOfRun(p, {"-c", f, "-e", "-b", bat, "-x"}, "\"analyzer_select_main_mode_sumUp 3\"");
        const int one = err.indexOf("cmd \"analyzer_select_main_mode_sumUp 1\"");
        const int two = err.indexOf("cmd \"analyzer_select_main_mode_sumUp 2\"");
        const int three = err.indexOf("cmd \"analyzer_select_main_mode_sumUp 3\"");
        QVERIFY2(one >= 0 && two > one && three > two, err.constData());
        QVERIFY(err.indexOf("echo half") > two);
        QCOMPARE(p.state(), QProcess::Running);
        stop(p);
    }

    void programWithoutConfigurationGoesOn()
    {
        QTemporaryDir dir;
        QProcess p;
        const QByteArray err = errorsOfRun(p, {"-c", dir.filePath("missing.cfg")}, "Keys of Cfg::");
        QVERIFY2(err.contains("Can't open config file"), err.constData());
        QVERIFY(err.contains("show analyzer 2 false"));
        QCOMPARE(p.state(), QProcess::Running);
        stop(p);
    }
#endif
};

QTEST_MAIN(TstStartup)
#include "tst_startup.moc"
