#include "Cfg.h"
#include "core/StringUtil.h"
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
        Cfg c;
        parseWords(c, words);
        QCOMPARE(history(c), entries);
    }

    // A configuration chosen on the command line: the last option word of
    // the list present, in any case, names it; without one, the default.
    void configurationFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString other = ts::writeIn(dir, "other.cfg", "From other\n");
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
        QCOMPARE(c.values("DATAROOT", c.histUpKeys, c.histValues), (QStringList{"/first", "/second", "/third"}));

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
        QVERIFY(dir.isValid());
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

    void nextItemSplits_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("rest");
        QTest::addColumn<QString>("warning");
        QTest::newRow("blanks only") << "   " << "" << "" << "";
        QTest::newRow("tab separated") << " \t alpha\tbeta  " << "alpha" << "\tbeta  " << "";
        QTest::newRow("last item") << "  last" << "last" << "" << "";
        QTest::newRow("quoted, word right after") << "  \"a # b\"word tail" << "a # b" << "word tail" << "";
        QTest::newRow("empty quotes") << "\"\" next" << "" << " next" << "";
        QTest::newRow("quote never closed")
            << " \"open ended" << "open ended" << ""
            << "In a line [ \"open ended] item is started from quote but not ended by quote";
        QTest::newRow("quote inside a word") << "ab\"cd ef" << "ab\"cd" << " ef" << "";
        QTest::newRow("quote ends a word")
            << "ab\" ef" << "ab\"" << " ef" << "In a line [ab\" ef] item is started from not quote but ended by quote";
    }

    void nextItemSplits()
    {
        QFETCH(QString, line);
        QFETCH(QString, item);
        QFETCH(QString, rest);
        QFETCH(QString, warning);
        if (!warning.isEmpty()) QTest::ignoreMessage(QtDebugMsg, qPrintable(warning));
        QString got = "stale";
        QCOMPARE(nextItem(line, got), rest);
        QCOMPARE(got, item);
    }

    void comments_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("comment");
        // "kept": there is no comment and the caller's text stays as it was.
        QTest::newRow("none") << "no comment here" << "no comment here" << "kept";
        QTest::newRow("quoted hash") << "a \"#\" b" << "a \"#\" b" << "kept";
        QTest::newRow("first hash") << "value 3 # note # more" << "value 3 " << " note # more";
        QTest::newRow("whole line") << "#all" << "" << "all";
        // Single and double quotes flip the same flag.
        QTest::newRow("mixed quotes") << "'x\" # y" << "'x\" " << " y";
        QTest::newRow("single quote open") << "'x # y" << "'x # y" << "kept";
        QTest::newRow("double quote open") << "k \"open # not" << "k \"open # not" << "kept";
    }

    void comments()
    {
        QFETCH(QString, line);
        QFETCH(QString, text);
        QFETCH(QString, comment);
        QString got = "kept";
        QCOMPARE(splitComment(line, got), text);
        QCOMPARE(got, comment);
    }

    void continuation_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("continued");
        QTest::addColumn<QString>("cut");
        QTest::newRow("backslash then blanks") << "cmd a b \\  " << true << "cmd a b ";
        QTest::newRow("backslash inside") << "cmd \\ a" << false << "cmd \\ a";
        QTest::newRow("blanks") << "   " << false << "   ";
        QTest::newRow("backslash alone") << "\\" << true << "";
    }

    void continuation()
    {
        QFETCH(QString, line);
        QFETCH(bool, continued);
        QFETCH(QString, cut);
        QCOMPARE(endsWithContinuation(line), continued);
        QCOMPARE(line, cut);
    }

    void thousands_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("7") << "1234567" << "1,234,567";
        QTest::newRow("decimals") << "1234567.891234" << "1,234,567.891234";
        QTest::newRow("neg 3") << "-123" << "-123";
        QTest::newRow("neg 6") << "-123456" << "-123,456";
        QTest::newRow("plus") << "+123456" << "+123,456";
    }

    void thousands()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(withThousandsSeparators(in), out);
    }
};

QTEST_GUILESS_MAIN(TstCfg)
#include "tst_cfg.moc"
