#include "Cfg.h"
#include "core/StringUtil.h"
#include "support/Files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

// Every entry in reading order as "key=value|rest".
static QStringList history(const Cfg& c)
{
    QStringList h;
    for (int i = 0; i < c.histKeys.size(); ++i)
        h << c.histKeys[i] + "=" + c.histValues[i] + "|" + c.histRests[i];
    return h;
}

// The configuration table, and the line syntax it shares with the other
// line readers.
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
        std::vector<const char*> argv;
        for (const QByteArray& w : words) argv.push_back(w.constData());
        argv.push_back(nullptr);
        Cfg c;
        c.parseArgs(int(words.size()), argv.data());
        QCOMPARE(history(c), entries);
    }

    // A configuration chosen on the command line: the last option word of
    // the list present, in any case, names it; without one, the default.
    void configurationFile()
    {
        QTemporaryDir dir;
        const QString other = ts::writeIn(dir, "other.cfg", "From other\n");
        const QString inc = ts::writeIn(dir, "inc.cfg", "ErrPoints  bad.dat\nbatch   second line\n");
        const QString main = ts::writeIn(
            dir, "main.cfg",
            "# a comment line\n"
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
        const QByteArray mainArg = main.toUtf8(), otherArg = other.toUtf8();
        const char* argv[] = {"prog", "-CONFIG", mainArg.constData(), "-c", otherArg.constData(), nullptr};
        Cfg c;
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Can't open config file : " + dir.filePath("missing.cfg")));
        c.init(5, argv, other, {"-c", "-config"});

        // The later of two spellings wins in the any-case table only.
        QCOMPARE(c.value("DataRoot"), QString("/third"));
        QCOMPARE(c.value("dataroot"), QString("/second"));
        QCOMPARE(c.value("DATAROOT", "none"), QString("none"));
        QCOMPARE(c.valueAnyCase("dAtArOoT"), QString("/third"));

        // The rest keeps its blanks up to the comment; included lines come in
        // at their INCLUDE, which is no entry itself.
        QCOMPARE(history(c),
                 (QStringList{"-CONFIG=" + main + "|" + main, "-c=" + other + "|" + other,
                              "DataRoot=/first| /first   ", "batch=load|  load \"a b.tif\"  now   ", "KeyOnly=|",
                              "Quoted Key=value with blanks| \"value with blanks\" tail",
                              "ErrPoints=bad.dat|  bad.dat", "batch=second|   second line",
                              "dataroot=/second| /second", "DataRoot=/third| /third",
                              "BATCH=third| third \"#not a comment\" "}));

        Cfg plain;
        plain.init(1, argv, other, {"-c", "-config"});
        QCOMPARE(history(plain), QStringList{"From=other| other"});
    }

    // INCLUDE cycles stop at a file already being read, also one named
    // relative to the current directory; a file included twice in sequence
    // is read twice.
    void includeCycles()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath("a.cfg"), b = dir.filePath("b.cfg");
        ts::writeText(a, "A 1\nInclude " + b + "\nAfterB 1\ninclude " + b + "\n");
        ts::writeText(b, "B 1\nINCLUDE " + a + "\nINCLUDE b.cfg\nEndB 1\n");
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        Cfg c;
        c.readFile(a);
        QDir::setCurrent(cwd);
        QCOMPARE(c.histKeys, (QStringList{"A", "B", "EndB", "AfterB", "B", "EndB"}));
    }

    // The line helpers: what each returns, what it hands back through its
    // argument ("kept": nothing) and the warning it gives.
    void lineHelpers_data()
    {
        QTest::addColumn<QString>("helper");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("returned");
        QTest::addColumn<QString>("handed");
        QTest::addColumn<QString>("warning");
        QTest::newRow("item, blanks only") << "item" << "   " << "" << "" << "";
        QTest::newRow("item, blanks of all kinds") << "item" << " \t alpha\r\fbeta  " << "\r\fbeta  " << "alpha" << "";
        QTest::newRow("item quoted, word right after") << "item" << "  \"a # b\"word tail" << "word tail" << "a # b" << "";
        QTest::newRow("item, quote never closed")
            << "item" << " \"open ended" << "" << "open ended"
            << "In a line [ \"open ended] item is started from quote but not ended by quote";
        QTest::newRow("item, quote ends a word")
            << "item" << "ab\" ef" << " ef" << "ab\""
            << "In a line [ab\" ef] item is started from not quote but ended by quote";
        QTest::newRow("no comment") << "comment" << "no comment here" << "no comment here" << "kept" << "";
        QTest::newRow("first hash") << "comment" << "value 3 # note # more" << "value 3 " << " note # more" << "";
        QTest::newRow("whole line comment") << "comment" << "#all" << "" << "all" << "";
        // Single and double quotes flip the same flag.
        QTest::newRow("mixed quotes") << "comment" << "'x\" # y" << "'x\" " << " y" << "";
        QTest::newRow("quote open") << "comment" << "k \"open # not" << "k \"open # not" << "kept" << "";
        QTest::newRow("thousands, decimals") << "thousands" << "1234567.891234" << "1,234,567.891234" << "kept" << "";
        QTest::newRow("thousands, sign") << "thousands" << "-123456" << "-123,456" << "kept" << "";
    }
    void lineHelpers()
    {
        QFETCH(QString, helper);
        QFETCH(QString, line);
        QFETCH(QString, returned);
        QFETCH(QString, handed);
        QFETCH(QString, warning);
        if (!warning.isEmpty()) QTest::ignoreMessage(QtDebugMsg, qPrintable(warning));
        QString got = "kept";
        if (helper == "item") {
            QCOMPARE(nextItem(line, got), returned);
        } else if (helper == "comment") {
            QCOMPARE(splitComment(line, got), returned);
        } else {
            QCOMPARE(withThousandsSeparators(line), returned);
        }
        QCOMPARE(got, handed);
    }
};

QTEST_GUILESS_MAIN(TstCfg)
#include "tst_cfg.moc"
