#include "core/StringUtil.h"

#include <QRegularExpression>
#include <QtTest>

class TestStringUtil : public QObject
{
    Q_OBJECT

private slots:
    void nextItemBlankAndWords();
    void nextItemQuotes();
    void nextItemWhiteSpaceMatchesRegex();
    void nextItemOutAliasesLine();
    void commentRules();
    void continuation();
    void keysAndItems();
    void fieldAfterKeyAbsent();
    void thousands_data();
    void thousands();
    void blanksAndPadding();
    void csvFields();
    void quotingHelpers();
    void numberTexts();
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

void TestStringUtil::nextItemWhiteSpaceMatchesRegex()
{
    // Every BMP character splits items exactly when "\s" matches it.
    const QRegularExpression ws("\\s");
    for (int u = 1; u < 0x10000; ++u) {
        const QChar c(u);
        if (c == QLatin1Char('"') || c.isSurrogate()) continue;
        const QString line = QString("a") + c + "b";
        QString item;
        const QString rest = nextItem(line, item);
        const bool split = item == "a";
        if (split != ws.match(QString(c)).hasMatch())
            QFAIL(qPrintable(QString("character U+%1 disagrees").arg(u, 4, 16, QLatin1Char('0'))));
        if (split) QCOMPARE(rest, QString(c) + "b");
    }
}

void TestStringUtil::nextItemOutAliasesLine()
{
    QString s = "first second";
    const QString rest = nextItem(s, s);
    QCOMPARE(rest, QString(" second"));
    QCOMPARE(s, QString("first"));
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

void TestStringUtil::keysAndItems()
{
    QVERIFY(startsWithKey("Size 10", "Size"));
    QVERIFY(!startsWithKey("size 10", "Size"));
    QVERIFY(!startsWithKey("Si", "Size"));

    // A size line with one number and a trailing blank counts two items.
    QCOMPARE(itemsAfterKey("# Size 12 ", "# Size"), (QStringList{"12", ""}));
    QCOMPARE(itemsAfterKey("# Size", "# Size"), QStringList());
    QCOMPARE(itemsAfterKey("KEY\"a b\" c", "KEY"), (QStringList{"a b", "c"}));

    QStringList items{"untouched"};
    QVERIFY(!keyWithItems("Other 1 2", items, 2, "Size"));
    QCOMPARE(items, QStringList{"untouched"});
    QVERIFY(keyWithItems("Size 1 2", items, 2, "Size"));
    QCOMPARE(items, (QStringList{"1", "2"}));
    QVERIFY(!keyWithItems("Size 1", items, 2, "Size"));
    QCOMPARE(items, QStringList{"1"});
    QVERIFY(keyWithItems("Size 1 2 3", "Size", 3, items));
    QCOMPARE(items.size(), 3);
}

void TestStringUtil::fieldAfterKeyAbsent()
{
    QString field = "old";
    QCOMPARE(fieldAfterKey("a=1;;b=;;2;c=3", "b=", field, ';'), QString(";c=3"));
    QCOMPARE(field, QString("2"));
    QCOMPARE(fieldAfterKey("w:  640", "w:", field, ' '), QString());
    QCOMPARE(field, QString("640"));
    // An absent key must not read from the line's start.
    QCOMPARE(fieldAfterKey("xyz 1 2", "k:", field, ' '), QString());
    QCOMPARE(field, QString());
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

void TestStringUtil::blanksAndPadding()
{
    QCOMPARE(blanks(0), QString());
    QCOMPARE(blanks(-5), QString());
    QCOMPARE(blanks(7), QString(7, ' '));
    QCOMPARE(blanks(101), QString(101, ' '));
    QCOMPARE(blanks(200), QString(101, ' '));
    QCOMPARE(padRight("ab", 5), QString("ab   "));
    QCOMPARE(padRight("abcdef", 5), QString("abcdef"));
    QCOMPARE(padRight("", -3), QString());

    QCOMPARE(trimBlanks(" \t a b \n"), QString("a b"));
    QCOMPARE(trimBlanks("   "), QString("   "));
    QCOMPARE(joinQuoted({"a b", "c"}), QString("\"a b\" \"c\""));
}

void TestStringUtil::csvFields()
{
    QString field;
    QCOMPARE(nextCsvField(",b", field), QString("b"));
    QCOMPARE(field, QString());
    QCOMPARE(nextCsvField("a,b,c", field), QString("b,c"));
    QCOMPARE(field, QString("a"));
    QCOMPARE(nextCsvField("abc", field), QString());
    QCOMPARE(field, QString("abc"));
    QCOMPARE(nextCsvField("\"x,\"\"y\"\"\" junk,rest", field), QString("rest"));
    QCOMPARE(field, QString("x,\"y\""));
    QCOMPARE(nextCsvField("\"last\"", field), QString());
    QCOMPARE(field, QString("last"));
    QCOMPARE(nextCsvField("\"open, end", field), QString());
    QCOMPARE(field, QString("open, end"));

    QCOMPARE(nextCsvFieldLoose("a\"b,c\"d,e", field), QString("e"));
    QCOMPARE(field, QString("ab,cd"));
    QCOMPARE(nextCsvFieldLoose("\"\"\"\",x", field), QString("x"));
    QCOMPARE(field, QString());
    QCOMPARE(nextCsvFieldLoose("plain", field), QString());
    QCOMPARE(field, QString("plain"));

    // A quoted field reads back as written.
    for (const QString& t : {QString("a,b"), QString("say \"hi\""), QString("plain"), QString()}) {
        QCOMPARE(nextCsvField(csvQuote(t) + ",next", field), QString("next"));
        QCOMPARE(field, t);
    }
}

void TestStringUtil::quotingHelpers()
{
    QCOMPARE(csvQuote("plain"), QString("plain"));
    QCOMPARE(csvQuote("a,b"), QString("\"a,b\""));
    QCOMPARE(csvQuote("a\"b"), QString("\"a\"\"b\""));
    QCOMPARE(escapeQuotes("a\"b\""), QString("a\\\"b\\\""));
    QCOMPARE(quoted("a\"b"), QString("\"a\\\"b\""));
    QCOMPARE(commaQuoted("x"), QString(",\"x\""));
}

void TestStringUtil::numberTexts()
{
    for (const char* s : {"12", " -3 ", "+4", ".5", "-1.25", "3.", "-", "+", ".", "0"})
        QVERIFY2(isNumberText(s), s);
    for (const char* s : {"", "  ", "1.2.3", "1e5", "--1", "1-", "a", "1 2", "..", "-.5."})
        QVERIFY2(!isNumberText(s), s);
    // Digits above code 127 count (Arabic-Indic digits).
    QVERIFY(isNumberText(QString::fromUtf8("\xd9\xa1\xd9\xa2")));
    QVERIFY(isDigitsText(QString::fromUtf8("1\xd9\xa2")));

    for (const char* s : {"12", "-3", "+", "-", " 7 "}) QVERIFY2(isIntegerText(s), s);
    for (const char* s : {"", "1.0", ".", "1a", "1 2"}) QVERIFY2(!isIntegerText(s), s);

    QVERIFY(isDigitsText(" 0123 "));
    QVERIFY(!isDigitsText("-1"));
    QVERIFY(!isDigitsText(""));
}

QTEST_GUILESS_MAIN(TestStringUtil)
#include "tst_stringutil.moc"
