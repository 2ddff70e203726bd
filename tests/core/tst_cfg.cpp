#include "Cfg.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <vector>

static QString writeFile(const QString& path, const QString& text)
{
    return ts::writeText(path, text) ? path : QString();
}

// Runs parseArgs over a list of words, as main would see them.
static void parseWords(Cfg& cfg, const QList<QByteArray>& words)
{
    std::vector<const char*> argv;
    for (const QByteArray& w : words) argv.push_back(w.constData());
    argv.push_back(nullptr);
    cfg.parseArgs(int(words.size()), argv.data());
}

// The three tables must stay parallel and their keys unique.
static void checkInvariants(const Cfg& c)
{
    QCOMPARE(c.values.size(), c.keys.size());
    QCOMPARE(c.rests.size(), c.keys.size());
    QCOMPARE(c.upValues.size(), c.upKeys.size());
    QCOMPARE(c.upRests.size(), c.upKeys.size());
    QCOMPARE(c.histUpKeys.size(), c.histKeys.size());
    QCOMPARE(c.histValues.size(), c.histKeys.size());
    QCOMPARE(c.histRests.size(), c.histKeys.size());
    QStringList exact = c.keys;
    QCOMPARE(exact.removeDuplicates(), 0);
    QStringList up = c.upKeys;
    QCOMPARE(up.removeDuplicates(), 0);
    for (int i = 0; i < c.histKeys.size(); i++)
        QCOMPARE(c.histUpKeys[i], c.histKeys[i].toUpper());
}

class TstCfg : public QObject
{
    Q_OBJECT

private slots:
    void addKeepsThreeTables()
    {
        Cfg c;
        c.add("DataRoot", "/a", " /a x");
        c.add("dataroot", "/b", " /b");
        c.add("Other", "1", " 1");
        c.add("DataRoot", "/c", " /c");
        checkInvariants(c);
        QCOMPARE(c.value("DataRoot", "d"), QString("/c"));
        QCOMPARE(c.value("dataroot"), QString("/b"));
        QCOMPARE(c.value("DATAROOT", "none"), QString("none"));
        QCOMPARE(c.valueAnyCase("dAtArOoT"), QString("/c"));
        QCOMPARE(c.values("DATAROOT", c.histUpKeys, c.histValues),
                 (QStringList{"/a", "/b", "/c"}));

        // A batch variable table adds with an extra field.
        Cfg vars;
        vars.add("$a$", "1", QString(), QString());
        vars.add("$a$", "2", QString(), QString());
        QCOMPARE(vars.keys.size(), 1);
        QCOMPARE(vars.values[0], QString("2"));
    }

    void commandLine()
    {
        Cfg c;
        parseWords(c, {"/usr/bin/prog", "stray", "-d", "/data", "-x", "-b", "run.bat", "more",
                       "words", "-e", "-c"});
        checkInvariants(c);
        QCOMPARE(c.keys, (QStringList{"-d", "-x", "-b", "-e", "-c"}));
        QCOMPARE(c.value("-d"), QString("/data"));
        QCOMPARE(c.value("-x", "unset"), QString(""));
        QCOMPARE(c.value("-b"), QString("run.bat"));
        QCOMPARE(c.rests[2], QString("run.bat more words"));

        // An option followed by an option has an empty value; the same option
        // twice keeps the later value and both history rows.
        Cfg d;
        parseWords(d, {"prog", "-d", "-br", "/b", "-d", "/second"});
        QCOMPARE(d.value("-d"), QString("/second"));
        QCOMPARE(d.histValues, (QStringList{"", "/b", "/second"}));
        QCOMPARE(d.value("-br"), QString("/b"));

        // UTF-8 arguments, a lone dash, and nothing at all.
        Cfg u;
        parseWords(u, {"prog", "-d", "/d\xc3\xa4t", "-"});
        QCOMPARE(u.value("-d"), QString::fromUtf8("/d\xc3\xa4t"));
        QVERIFY(u.keys.contains("-"));
        Cfg empty;
        empty.parseArgs(0, nullptr);
        parseWords(empty, {});
        QVERIFY(empty.histKeys.isEmpty());
    }

    void configurationFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString inc = writeFile(dir.filePath("inc.cfg"),
                                      "ErrPoints  bad.dat\n"
                                      "batch   second line\n");
        const QString main = writeFile(
            dir.filePath("main.cfg"),
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
            "BATCH third \"#not a comment\" # comment\n"
            "Hash\"#\"inside value\n");
        Cfg c;
        c.add("-d", "/cmd", "/cmd");
        QTest::ignoreMessage(QtDebugMsg,
                             qPrintable("Can't open config file : " + dir.filePath("missing.cfg")));
        c.readFile(main);
        checkInvariants(c);

        QCOMPARE(c.value("DataRoot"), QString("/third"));
        QCOMPARE(c.valueAnyCase("DATAROOT"), QString("/third"));
        QCOMPARE(c.values("DATAROOT", c.histUpKeys, c.histValues),
                 (QStringList{"/first", "/second", "/third"}));

        QVERIFY(c.keys.contains("KeyOnly"));
        QCOMPARE(c.value("KeyOnly", "x"), QString(""));
        QCOMPARE(c.rests[c.keys.indexOf("KeyOnly")], QString(""));

        QCOMPARE(c.value("Quoted Key"), QString("value with blanks"));
        QCOMPARE(c.rests[c.keys.indexOf("Quoted Key")], QString(" \"value with blanks\" tail"));

        QCOMPARE(c.valueAnyCase("errpoints"), QString("bad.dat"));
        QVERIFY(!c.upKeys.contains("INCLUDE"));

        // The rest keeps its blanks up to the comment; included lines come in
        // at their INCLUDE; every "batch" row is kept in reading order.
        QCOMPARE(c.values("BATCH", c.histUpKeys, c.histRests),
                 (QStringList{"  load \"a b.tif\"  now   ", "   second line",
                              " third \"#not a comment\" "}));
        QCOMPARE(c.histKeys,
                 (QStringList{"-d", "DataRoot", "batch", "KeyOnly", "Quoted Key", "ErrPoints",
                              "batch", "dataroot", "DataRoot", "BATCH", "Hash\"#\"inside"}));
        QCOMPARE(c.value("-d"), QString("/cmd"));
    }

    void includeCycles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString a = dir.filePath("a.cfg"), b = dir.filePath("b.cfg");
        writeFile(a, "A 1\nInclude " + b + "\nAfterB 1\n");
        writeFile(b, "B 1\nINCLUDE " + a + "\nINCLUDE " + b + "\nEndB 1\n");
        const QString self = writeFile(dir.filePath("self.cfg"), "S 1\ninclude self.cfg\nS2 2\n");

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
        const QString twice = writeFile(dir.filePath("twice.cfg"),
                                        "include " + b + "\ninclude " + b + "\n");
        writeFile(b, "B 1\n");
        Cfg t;
        t.readFile(twice);
        QCOMPARE(t.histKeys, (QStringList{"B", "B"}));
    }

    void missingFileKeepsTable()
    {
        Cfg c;
        c.add("K", "v", "v");
        QTest::ignoreMessage(QtDebugMsg, "Can't open config file : ");
        c.readFile(QString());
        QCOMPARE(c.histKeys, QStringList{"K"});
    }

    void initChoosesFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString def = writeFile(dir.filePath("def.cfg"), "From default\n");
        const QString c1 = writeFile(dir.filePath("c1.cfg"), "From c1\n");
        const QString c2 = writeFile(dir.filePath("c2.cfg"), "From c2\n");
        const QByteArray c1b = c1.toUtf8(), c2b = c2.toUtf8();

        Cfg a;
        const char* argvA[] = {"prog", nullptr};
        a.init(1, argvA, def, {"-c", "-config"});
        QCOMPARE(a.value("From"), QString("default"));

        Cfg b;
        const char* argvB[] = {"prog", "-CONFIG", c2b.constData(), "-c", c1b.constData(), nullptr};
        b.init(5, argvB, def, {"-c", "-config"});
        QCOMPARE(b.value("From"), QString("c2"));  // the last option word of the list wins

        Cfg n;
        n.init(5, argvB, QString(), {});
        QVERIFY(!n.keys.contains("From"));
        QCOMPARE(n.keys, (QStringList{"-CONFIG", "-c"}));
    }
};

QTEST_GUILESS_MAIN(TstCfg)
#include "tst_cfg.moc"
