#include "core/StringUtil.h"

#include <QRegularExpression>
#include <QtTest>

class TestStringUtil : public QObject
{
    Q_OBJECT

private slots:
    void nextItemBlankAndWords();
    void nextItemQuotes();
    void commentRules();
    void continuation();
    void thousands_data();
    void thousands();
};

void TestStringUtil::nextItemBlankAndWords()
{
    QString item = "old";
    QCOMPARE(nextItem("", item), QString());
    QCOMPARE(item, QString());
    item = "old";
    QCOMPARE(nextItem("   ", item), QString());
    QCOMPARE(item, QString());

    QCOMPARE(nextItem("alpha beta", item), QString(" beta"));
    QCOMPARE(item, QString("alpha"));
    QCOMPARE(nextItem(" \t alpha\tbeta  ", item), QString("\tbeta  "));
    QCOMPARE(item, QString("alpha"));
    QCOMPARE(nextItem("  last", item), QString());
    QCOMPARE(item, QString("last"));

    // Walking a whole line yields every item and the trailing empty one.
    QString rest = "KEY 12 \"a b\"x  ";
    QStringList items;
    while (!rest.isEmpty()) {
        rest = nextItem(rest, item);
        items << item;
    }
    QCOMPARE(items, (QStringList{"KEY", "12", "a b", "x", ""}));
}

void TestStringUtil::nextItemQuotes()
{
    QString item;
    // Quoted item followed directly by a word: rest starts with the word.
    QCOMPARE(nextItem("  \"a # b\"word tail", item), QString("word tail"));
    QCOMPARE(item, QString("a # b"));
    QCOMPARE(nextItem("\"\" next", item), QString(" next"));
    QCOMPARE(item, QString());

    QTest::ignoreMessage(QtDebugMsg,
                         "In a line [ \"open ended] item is started from quote but not ended by quote");
    QCOMPARE(nextItem(" \"open ended", item), QString());
    QCOMPARE(item, QString("open ended"));

    // A quote inside or at the end of an unquoted item stays part of it.
    QCOMPARE(nextItem("ab\"cd ef", item), QString(" ef"));
    QCOMPARE(item, QString("ab\"cd"));
    QTest::ignoreMessage(QtDebugMsg,
                         "In a line [ab\" ef] item is started from not quote but ended by quote");
    QCOMPARE(nextItem("ab\" ef", item), QString(" ef"));
    QCOMPARE(item, QString("ab\""));
    QTest::ignoreMessage(QtDebugMsg,
                         "In a line [ ab\"] item is started from not quote but ended by quote");
    QCOMPARE(nextItem(" ab\"", item), QString());
    QCOMPARE(item, QString("ab\""));
}

void TestStringUtil::commentRules()
{
    QString comment = "kept";
    QCOMPARE(splitComment("no comment here", comment), QString("no comment here"));
    QCOMPARE(comment, QString("kept"));
    QCOMPARE(splitComment("a \"#\" b", comment), QString("a \"#\" b"));
    QCOMPARE(comment, QString("kept"));

    QCOMPARE(splitComment("value 3 # note # more", comment), QString("value 3 "));
    QCOMPARE(comment, QString(" note # more"));
    QCOMPARE(splitComment("#all", comment), QString());
    QCOMPARE(comment, QString("all"));
    // Single and double quotes flip the same flag.
    QCOMPARE(splitComment("'x\" # y", comment), QString("'x\" "));
    QCOMPARE(comment, QString(" y"));
    QCOMPARE(splitComment("'x # y", comment), QString("'x # y"));
    // An unclosed quote hides every later "#".
    QCOMPARE(stripComment("k \"open # not a comment"), QString("k \"open # not a comment"));

    QString line = "key v # c";
    QCOMPARE(takeComment(line), QString(" c"));
    QCOMPARE(line, QString("key v "));
    line = "plain";
    QCOMPARE(takeComment(line), QString());
    QCOMPARE(line, QString("plain"));

    QVERIFY(isBlankOrComment(""));
    QVERIFY(isBlankOrComment(" \t "));
    QVERIFY(isBlankOrComment("   # just a note"));
    QVERIFY(!isBlankOrComment(" x # note"));
    QVERIFY(!isBlankOrComment("\"#\""));
}

void TestStringUtil::continuation()
{
    QString s = "cmd a b \\  ";
    QVERIFY(endsWithContinuation(s));
    QCOMPARE(s, QString("cmd a b "));
    s = "cmd \\ a";
    QVERIFY(!endsWithContinuation(s));
    QCOMPARE(s, QString("cmd \\ a"));
    s = "   ";
    QVERIFY(!endsWithContinuation(s));
    s = "\\";
    QVERIFY(endsWithContinuation(s));
    QCOMPARE(s, QString());

    QCOMPARE(withoutContinuation("a \\ \\ "), QString("a "));
    QCOMPARE(withoutContinuation("a\\\\"), QString("a"));
    QCOMPARE(withoutContinuation("a \\"), QString("a "));
    QCOMPARE(withoutContinuation("a b"), QString("a b"));
}

void TestStringUtil::thousands_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("3") << "123" << "123";
    QTest::newRow("4") << "1234" << "1,234";
    QTest::newRow("6") << "123456" << "123,456";
    QTest::newRow("7") << "1234567" << "1,234,567";
    QTest::newRow("decimals") << "1234567.891234" << "1,234,567.891234";
    QTest::newRow("small decimal") << "12.34567" << "12.34567";
    QTest::newRow("neg 3") << "-123" << "-123";
    QTest::newRow("neg 6") << "-123456" << "-123,456";
    QTest::newRow("neg 7") << "-1234567.5" << "-1,234,567.5";
    QTest::newRow("plus") << "+123456" << "+123,456";
}

void TestStringUtil::thousands()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(withThousandsSeparators(in), out);
}

QTEST_GUILESS_MAIN(TestStringUtil)
#include "tst_stringutil.moc"
