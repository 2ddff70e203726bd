#include "core/StringUtil.h"

#include <QtTest>

class TestStringUtil : public QObject
{
    Q_OBJECT

private slots:
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
        QTest::addColumn<bool>("blank");
        // "kept": there is no comment and the caller's text stays as it was.
        QTest::newRow("none") << "no comment here" << "no comment here" << "kept" << false;
        QTest::newRow("quoted hash") << "a \"#\" b" << "a \"#\" b" << "kept" << false;
        QTest::newRow("first hash") << "value 3 # note # more" << "value 3 " << " note # more" << false;
        QTest::newRow("whole line") << "#all" << "" << "all" << true;
        QTest::newRow("indented") << "   # just a note" << "   " << " just a note" << true;
        QTest::newRow("blanks") << " \t " << " \t " << "kept" << true;
        // Single and double quotes flip the same flag.
        QTest::newRow("mixed quotes") << "'x\" # y" << "'x\" " << " y" << false;
        QTest::newRow("single quote open") << "'x # y" << "'x # y" << "kept" << false;
        QTest::newRow("double quote open") << "k \"open # not" << "k \"open # not" << "kept" << false;
    }

    void comments()
    {
        QFETCH(QString, line);
        QFETCH(QString, text);
        QFETCH(QString, comment);
        QFETCH(bool, blank);
        QString got = "kept";
        QCOMPARE(splitComment(line, got), text);
        QCOMPARE(got, comment);
        QCOMPARE(stripComment(line), text);
        QCOMPARE(isBlankOrComment(line), blank);
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

QTEST_GUILESS_MAIN(TestStringUtil)
#include "tst_stringutil.moc"
