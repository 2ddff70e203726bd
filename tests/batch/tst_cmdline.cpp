#include <QtTest>

#include "batch/CmdLine.h"

namespace {

CmdLine parsed(const QString& text)
{
    CmdLine c;
    c.line = text;
    c.setLine(text);
    return c;
}

}  // namespace

class TstCmdLine : public QObject {
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("debug");  // a debug line the parser must write
        QTest::newRow("empty") << "" << false << "" << QStringList() << "";
        QTest::newRow("blanks") << "   \t  " << false << "" << QStringList() << "";
        QTest::newRow("comment") << "   # load_I1_files a.tif" << false << "" << QStringList() << "";
        QTest::newRow("empty quoted word") << "\"\" arg" << false << "" << QStringList() << "";
        QTest::newRow("quoted item keeps blanks")
            << "load_I1_files  NEW \"C:/Data/my run/a 1.tif\" b.tif" << true << "load_I1_files"
            << QStringList({"NEW", "C:/Data/my run/a 1.tif", "b.tif"}) << "";
        QTest::newRow("hash after the word is an argument")
            << "save_image  out#1.png # note" << true << "save_image" << QStringList({"out#1.png", "#", "note"}) << "";
        QTest::newRow("unclosed quote takes the rest")
            << "save_data \"C:/out dir/map  # x" << true << "save_data" << QStringList({"C:/out dir/map  # x"})
            << "started from quote but not ended by quote";
        QTest::newRow("quotes inside, empty item dropped")
            << "echo_x a\"b \"\" c\"d\"" << true << "echo_x" << QStringList({"a\"b", "c\"d\""})
            << "started from not quote but ended by quote";
        QTest::newRow("text after a quoted item") << "w \"x y\"z" << true << "w" << QStringList({"x y", "z"}) << "";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, word);
        QFETCH(QStringList, args);
        QFETCH(QString, debug);
        if (!debug.isEmpty()) QTest::ignoreMessage(QtDebugMsg, QRegularExpression(debug));
        const CmdLine c = parsed(text);
        QCOMPARE(c.valid, valid);
        QCOMPARE(c.word, word);
        QCOMPARE(c.args, args);
        QCOMPARE(c.arg(args.size()), QString());
        QCOMPARE(c.arg(-1), QString());
    }

    void labels()
    {
        QVERIFY(parsed(":loop1").isLabel);
        QVERIFY(!parsed("a:b").isLabel);
        QVERIFY(parsed("\":for\" i").isLabel);
    }

    void continuedLines()
    {
        const QStringList lines = {
            "load_I1_files NEW \\",  // blank before the backslash stays
            "a.tif b\\   ",          // backslash then blanks still continues
            "c.tif",
            "seek_image 1",
            "x\\",                   // last line asks for more
        };
        int cur = 0;
        const QString joined = joinContinuedLines(lines, cur);
        QCOMPARE(joined, QString("load_I1_files NEW a.tif bc.tif"));
        QCOMPARE(cur, 2);
        const CmdLine c = parsed(joined);
        QCOMPARE(c.args, QStringList({"NEW", "a.tif", "bc.tif"}));

        cur = 3;
        QCOMPARE(joinContinuedLines(lines, cur), QString("seek_image 1"));
        QCOMPARE(cur, 3);
        cur = 4;
        QCOMPARE(joinContinuedLines(lines, cur), QString("x"));
        QCOMPARE(cur, 4);
        // A list's end bounds the join: the next list's line stays its own.
        cur = 1;
        QCOMPARE(joinContinuedLines(lines, cur, 2), QString("a.tif b"));
        QCOMPARE(cur, 1);
        // A backslash inside a line is an ordinary character.
        const QStringList inner = {"save_data C:\\out\\m.txt"};
        cur = 0;
        QCOMPARE(joinContinuedLines(inner, cur), inner.at(0));
        QCOMPARE(cur, 0);
    }

    void longLinesParseQuickly()
    {
        QString text = "save_data";
        for (int i = 0; i < 5000; ++i)
            text += QString(" \"item %1\"").arg(i);
        const CmdLine c = parsed(text);
        QCOMPARE(c.args.size(), 5000);
        QCOMPARE(c.args.last(), QString("item 4999"));
    }
};

QTEST_GUILESS_MAIN(TstCmdLine)
#include "tst_cmdline.moc"
