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
        QTest::addColumn<bool>("label");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("debug");  // a debug line the parser must write
        QTest::newRow("empty") << "" << false << false << "" << QStringList() << "";
        QTest::newRow("blanks") << "   \t  " << false << false << "" << QStringList() << "";
        QTest::newRow("comment") << "   # load_I1_files a.tif" << false << false << "" << QStringList() << "";
        QTest::newRow("empty quoted word") << "\"\" arg" << false << false << "" << QStringList() << "";
        QTest::newRow("quoted item keeps blanks")
            << "load_I1_files  NEW \"C:/Data/my run/a 1.tif\" b.tif" << true << false << "load_I1_files"
            << QStringList({"NEW", "C:/Data/my run/a 1.tif", "b.tif"}) << "";
        QTest::newRow("hash after the word is an argument")
            << "save_image  out#1.png # note" << true << false << "save_image"
            << QStringList({"out#1.png", "#", "note"}) << "";
        QTest::newRow("unclosed quote takes the rest")
            << "save_data \"C:/out dir/map  # x" << true << false << "save_data"
            << QStringList({"C:/out dir/map  # x"}) << "started from quote but not ended by quote";
        QTest::newRow("quotes inside, empty item dropped")
            << "echo_x a\"b \"\" c\"d\"" << true << false << "echo_x" << QStringList({"a\"b", "c\"d\""})
            << "started from not quote but ended by quote";
        QTest::newRow("text after a quoted item")
            << "w \"x y\"z" << true << false << "w" << QStringList({"x y", "z"}) << "";
        QTest::newRow("label") << ":loop1" << true << true << ":loop1" << QStringList() << "";
        QTest::newRow("colon inside") << "a:b" << true << false << "a:b" << QStringList() << "";
        QTest::newRow("quoted label") << "\":for\" i" << true << true << ":for" << QStringList({"i"}) << "";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(bool, label);
        QFETCH(QString, word);
        QFETCH(QStringList, args);
        QFETCH(QString, debug);
        if (!debug.isEmpty()) QTest::ignoreMessage(QtDebugMsg, QRegularExpression(debug));
        const CmdLine c = parsed(text);
        QCOMPARE(c.valid, valid);
        QCOMPARE(c.isLabel, label);
        QCOMPARE(c.word, word);
        QCOMPARE(c.args, args);
        QCOMPARE(c.arg(args.size()), QString());
        QCOMPARE(c.arg(-1), QString());
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
