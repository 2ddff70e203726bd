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
    void newRecordIsEmpty()
    {
        CmdLine c;
        QVERIFY(!c.valid);
        QVERIFY(!c.isLabel);
        QVERIFY(c.line.isEmpty() && c.text.isEmpty() && c.word.isEmpty() && c.args.isEmpty());
    }

    void linesWithoutWord_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks") << "   \t  ";
        QTest::newRow("comment") << "   # load_I1_files a.tif";
        QTest::newRow("empty quoted word") << "\"\" arg";
    }

    void linesWithoutWord()
    {
        QFETCH(QString, text);
        const CmdLine c = parsed(text);
        QVERIFY(!c.valid);
        QVERIFY(c.word.isEmpty());
        QVERIFY(c.args.isEmpty());
        QCOMPARE(c.line, text);
    }

    void quotedItemKeepsBlanks()
    {
        const CmdLine c = parsed("load_I1_files  NEW \"C:/Data/my run/a 1.tif\" b.tif");
        QVERIFY(c.valid);
        QCOMPARE(c.word, QString("load_I1_files"));
        QCOMPARE(c.args, QStringList({"NEW", "C:/Data/my run/a 1.tif", "b.tif"}));
        QCOMPARE(c.text, QString("load_I1_files NEW \"C:/Data/my run/a 1.tif\" b.tif"));
        QCOMPARE(c.arg(2), QString("b.tif"));
        QCOMPARE(c.arg(3), QString());
        QCOMPARE(c.arg(-1), QString());
    }

    void hashAfterWordStaysAnArgument()
    {
        const CmdLine c = parsed("save_image  out#1.png # note");
        QCOMPARE(c.args, QStringList({"out#1.png", "#", "note"}));
        QCOMPARE(c.text, QString("save_image out"));
        QVERIFY(c.valid);
    }

    void unclosedQuoteTakesTheRest()
    {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("started from quote but not ended by quote"));
        const CmdLine c = parsed("save_data \"C:/out dir/map  # x");
        QCOMPARE(c.args, QStringList({"C:/out dir/map  # x"}));
    }

    void quotesInsideAndEmptyItems()
    {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("started from not quote but ended by quote"));
        const CmdLine c = parsed("echo_x a\"b \"\" c\"d\"");
        QCOMPARE(c.word, QString("echo_x"));
        // a"b stays one item, the empty quoted item is dropped, c"d" keeps its quotes.
        QCOMPARE(c.args, QStringList({"a\"b", "c\"d\""}));
        // A quoted item directly followed by text: the text begins the next item.
        const CmdLine d = parsed("w \"x y\"z");
        QCOMPARE(d.args, QStringList({"x y", "z"}));
    }

    void labels()
    {
        QVERIFY(parsed(":loop1").isLabel);
        QVERIFY(parsed(":loop1").valid);
        QVERIFY(!parsed("a:b").isLabel);
        QVERIFY(parsed("\":for\" i").isLabel);
    }

    void reparseKeepsValidAndLine()
    {
        CmdLine c = parsed(":for i 1 3");
        QVERIFY(c.valid);
        c.line = "kept";
        c.setLine("   ");
        QVERIFY(c.valid);
        QVERIFY(!c.isLabel);
        QVERIFY(c.word.isEmpty() && c.args.isEmpty());
        QCOMPARE(c.line, QString("kept"));
        c.setLine("zoom_in");
        QVERIFY(c.args.isEmpty());
    }

    void copiesAreIndependent()
    {
        CmdLine a = parsed("seek_image 3");
        CmdLine b = a;
        b.args[0] = "4";
        QCOMPARE(a.arg(0), QString("3"));
        const QVariant v = QVariant::fromValue(a);
        QCOMPARE(v.value<CmdLine>().word, QString("seek_image"));
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
        QCOMPARE(cur, 5);
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
