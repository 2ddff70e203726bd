#include "Cfg.h"
#include "support/Files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

// Runs parseArgs over a list of words, as main would see them.
static void parseWords(Cfg& cfg, const QList<QByteArray>& words)
{
    std::vector<const char*> argv;
    for (const QByteArray& w : words) argv.push_back(w.constData());
    argv.push_back(nullptr);
    cfg.parseArgs(int(words.size()), argv.data());
}

// Every entry in reading order as "key=value|rest".
static QStringList history(const Cfg& c)
{
    QStringList h;
    for (int i = 0; i < c.histKeys.size(); ++i)
        h << c.histKeys[i] + "=" + c.histValues[i] + "|" + c.histRests[i];
    return h;
}

class TstCfg : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data()
    {
        QTest::addColumn<QList<QByteArray>>("words");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("options, values and strays")
            << QList<QByteArray>{"/usr/bin/prog", "stray", "-d", "/data", "-x", "-b", "run.bat", "more", "words"}
            << QStringList{"-d=/data|/data", "-x=|", "-b=run.bat|run.bat more words"};
        QTest::newRow("option after option, option twice")
            << QList<QByteArray>{"prog", "-d", "-br", "/b", "-d", "/second"}
            << QStringList{"-d=|", "-br=/b|/b", "-d=/second|/second"};
        QTest::newRow("utf-8 and a lone dash")
            << QList<QByteArray>{"prog", "-d", "/d\xc3\xa4t", "-"}
            << QStringList{QString::fromUtf8("-d=/d\xc3\xa4t|/d\xc3\xa4t"), "-=|"};
        QTest::newRow("nothing") << QList<QByteArray>{} << QStringList{};
    }
    void commandLine()
    {
        QFETCH(QList<QByteArray>, words);
        QFETCH(QStringList, entries);
        Cfg c;
        parseWords(c, words);
        QCOMPARE(history(c), entries);
        // The exact table holds each option's latest value.
        for (const QString& e : entries) {
            const QString key = e.section('=', 0, 0);
            const QStringList values = c.values(key, c.histKeys, c.histValues);
            QCOMPARE(c.value(key, "unset"), values.last());
        }
    }

    void configurationFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString inc = ts::writeIn(dir, "inc.cfg", "ErrPoints  bad.dat\nbatch   second line\n");
        const QString main = ts::writeIn(
            dir, "main.cfg",
            "# a comment line\n"
            "\n"
            "   \t\n"
            "DataRoot /first   # keep me out\n"
            "batch  load \"a b.tif\"  now   # trailing comment\n"
            "KeyOnly\n"
            "\"Quoted Key\" \"value with blanks\" tail\n"
            "include " + inc + "\n"
            "INCLUDE " + dir.filePath("missing.cfg") + "\n"
            "dataroot /second\n"
            "DataRoot /third\n"
            "BATCH third \"#not a comment\" # comment\n");
        Cfg c;
        c.add("-d", "/cmd", "/cmd");
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Can't open config file : " + dir.filePath("missing.cfg")));
        c.readFile(main);

        // The later of two spellings wins in the any-case table only.
        QCOMPARE(c.value("DataRoot"), QString("/third"));
        QCOMPARE(c.value("dataroot"), QString("/second"));
        QCOMPARE(c.value("DATAROOT", "none"), QString("none"));
        QCOMPARE(c.valueAnyCase("dAtArOoT"), QString("/third"));
        QCOMPARE(c.values("DATAROOT", c.histUpKeys, c.histValues), (QStringList{"/first", "/second", "/third"}));

        // The rest keeps its blanks up to the comment; included lines come in
        // at their INCLUDE, which is no entry itself.
        QCOMPARE(history(c),
                 (QStringList{"-d=/cmd|/cmd", "DataRoot=/first| /first   ",
                              "batch=load|  load \"a b.tif\"  now   ", "KeyOnly=|",
                              "Quoted Key=value with blanks| \"value with blanks\" tail",
                              "ErrPoints=bad.dat|  bad.dat", "batch=second|   second line",
                              "dataroot=/second| /second", "DataRoot=/third| /third",
                              "BATCH=third| third \"#not a comment\" "}));
    }

    void includeCycles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString a = dir.filePath("a.cfg"), b = dir.filePath("b.cfg");
        ts::writeText(a, "A 1\nInclude " + b + "\nAfterB 1\n");
        ts::writeText(b, "B 1\nINCLUDE " + a + "\nINCLUDE " + b + "\nEndB 1\n");
        const QString self = ts::writeIn(dir, "self.cfg", "S 1\ninclude self.cfg\nS2 2\n");

        Cfg c;
        c.readFile(a);
        QCOMPARE(c.histKeys, (QStringList{"A", "B", "EndB", "AfterB"}));

        // A relative INCLUDE resolves against the current directory.
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        Cfg s;
        s.readFile(self);
        QDir::setCurrent(cwd);
        QCOMPARE(s.histKeys, (QStringList{"S", "S2"}));

        // The same file included twice in sequence is read twice.
        const QString twice = ts::writeIn(dir, "twice.cfg", "include " + b + "\ninclude " + b + "\n");
        ts::writeText(b, "B 1\n");
        Cfg t;
        t.readFile(twice);
        QCOMPARE(t.histKeys, (QStringList{"B", "B"}));
    }

    void initChoosesFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString def = ts::writeIn(dir, "def.cfg", "From default\n");
        const QByteArray c1 = ts::writeIn(dir, "c1.cfg", "From c1\n").toUtf8();
        const QByteArray c2 = ts::writeIn(dir, "c2.cfg", "From c2\n").toUtf8();

        Cfg a;
        const char* argvA[] = {"prog", nullptr};
        a.init(1, argvA, def, {"-c", "-config"});
        QCOMPARE(a.value("From"), QString("default"));

        // The last option word of the list present, in any case, wins.
        Cfg b;
        const char* argvB[] = {"prog", "-CONFIG", c2.constData(), "-c", c1.constData(), nullptr};
        b.init(5, argvB, def, {"-c", "-config"});
        QCOMPARE(b.value("From"), QString("c2"));
    }
};

QTEST_GUILESS_MAIN(TstCfg)
#include "tst_cfg.moc"
