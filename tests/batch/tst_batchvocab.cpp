#include <QSet>
#include <QtTest>

#include "batch/BatchCmd.h"
#include "batch/CmdLine.h"

namespace {

CmdLine lineOf(const QString& text)
{
    CmdLine c;
    c.line = text;
    c.setLine(text);
    return c;
}

CmdLine wordOnly(const QString& word)
{
    CmdLine c;
    c.word = word;
    return c;
}

// Alternates the case of every letter, so no word stays as stored.
QString zigzag(const QString& w)
{
    QString out;
    for (int i = 0; i < w.size(); ++i)
        out += (i % 2) ? w.at(i).toUpper() : w.at(i).toLower();
    return out;
}

}  // namespace

class TstBatchVocab : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initBatchCmdTables(); }

    void emptyTablesAnswerNone()
    {
        // Before start-up fills them the look-ups still answer "none".
        const QVector<BatchCmdEntry> keepC = ctrlCmdList, keepE = exCmdList;
        ctrlCmdList.clear();
        exCmdList.clear();
        QCOMPARE(int(ctrlCmdId(wordOnly(":for"))), 7);
        QCOMPARE(int(exCmdId(wordOnly("quit"))), 158);
        QCOMPARE(exCmdName(quit), QString("UnKnow ExCMD id"));
        ctrlCmdList = keepC;
        exCmdList = keepE;
    }

    void initTwiceKeepsOneCopy()
    {
        initBatchCmdTables();
        QCOMPARE(ctrlCmdList.size(), 7);
        QCOMPARE(exCmdList.size(), 159);
    }

    void controlWordsInStoredOrder()
    {
        const QStringList words = {":for", ":next", ":let", ":echo", ":rem_start", ":rem_end", ":end"};
        const QList<int> ids = {0, 1, 6, 2, 3, 4, 5};
        QCOMPARE(ctrlCmdList.size(), words.size());
        for (int i = 0; i < words.size(); ++i) {
            QCOMPARE(ctrlCmdList.at(i).word, words.at(i));
            QCOMPARE(ctrlCmdList.at(i).id, ids.at(i));
            QCOMPARE(int(ctrlCmdId(wordOnly(words.at(i).toUpper()))), ids.at(i));
            QVERIFY(isCtrlCmd(wordOnly(words.at(i))));
            QCOMPARE(int(exCmdId(wordOnly(words.at(i)))), 158);
        }
        QCOMPARE(int(ctrlCmdId(lineOf(":END"))), 5);
        QCOMPARE(int(ctrlCmdId(lineOf("load_I1_files a"))), 7);
    }

    void everyWordRoundTrips()
    {
        QSet<int> ids;
        QSet<QString> upWords;
        for (const BatchCmdEntry& e : exCmdList) {
            QVERIFY2(e.id >= 0 && e.id <= 158, qPrintable(e.word));
            ids.insert(e.id);
            upWords.insert(e.word.toUpper());
            const EX_CMD_ID id = static_cast<EX_CMD_ID>(e.id);
            QCOMPARE(exCmdName(id), e.word);
            QCOMPARE(int(exCmdId(wordOnly(e.word))), e.id);
            QCOMPARE(int(exCmdId(wordOnly(e.word.toUpper()))), e.id);
            QCOMPARE(int(exCmdId(wordOnly(zigzag(e.word)))), e.id);
            QCOMPARE(isExCmd(wordOnly(e.word)), e.id != 158);
            QCOMPARE(int(ctrlCmdId(wordOnly(e.word))), 7);
        }
        QCOMPARE(ids.size(), 159);
        QCOMPARE(upWords.size(), 159);
    }

    void wordsAsScriptsWriteThem_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("id");
        QTest::newRow("first") << "clear_I1_files" << 0;
        QTest::newRow("load i1") << "load_I1_files" << 4;
        QTest::newRow("use i0") << "Use_I0" << 8;
        QTest::newRow("disp unit") << "eng_calc_disp_unit_i1" << 38;
        QTest::newRow("edge eV") << "Suggesting_Edge_eV" << 45;
        QTest::newRow("misspelt 74") << "specpane_enerugy_correction" << 74;
        QTest::newRow("misspelt 87") << "analyzer_view_enerugy_correction" << 87;
        QTest::newRow("misspelt 102") << "analzyer_dEdge_comp_w_file" << 102;
        QTest::newRow("ra") << "analyzer_exec_ra" << 133;
        QTest::newRow("calib") << "calib_type" << 141;
        QTest::newRow("stats") << "stats_in_selected_region" << 145;
        QTest::newRow("save cfg") << "saveDataCfg_show_window" << 146;
        QTest::newRow("vals") << "saveDataCfg_text_as_vals" << 156;
        QTest::newRow("quit") << "quit" << 157;
        QTest::newRow("none") << "not ex cmd" << 158;
    }

    void wordsAsScriptsWriteThem()
    {
        QFETCH(QString, word);
        QFETCH(int, id);
        QCOMPARE(exCmdName(static_cast<EX_CMD_ID>(id)), word);
        QCOMPARE(int(exCmdId(wordOnly(word))), id);
    }

    void lookUpsThroughParsedLines()
    {
        QCOMPARE(int(exCmdId(lineOf("LOAD_i1_FILES NEW \"a b.tif\""))), 4);
        // The correct spelling of 102 is no command.
        QCOMPARE(int(exCmdId(lineOf("analyzer_dEdge_comp_w_file 1"))), 158);
        const CmdLine none = lineOf("\"not ex cmd\"");
        QCOMPARE(none.word, QString("not ex cmd"));
        QCOMPARE(int(exCmdId(none)), 158);
        QVERIFY(!isExCmd(none));
        // No trimming or prefix matching.
        QCOMPARE(int(exCmdId(wordOnly("quit "))), 158);
        QCOMPARE(int(exCmdId(wordOnly("qui"))), 158);
        const CmdLine empty = lineOf("");
        QCOMPARE(int(ctrlCmdId(empty)), 7);
        QCOMPARE(int(exCmdId(empty)), 158);
        QVERIFY(!isCtrlCmd(empty));
    }

    void unknownIdsHaveNoName()
    {
        QCOMPARE(exCmdName(not_ex_cmd), QString("not ex cmd"));
        QCOMPARE(exCmdName(static_cast<EX_CMD_ID>(159)), QString("UnKnow ExCMD id"));
        QCOMPARE(exCmdName(static_cast<EX_CMD_ID>(-1)), QString("UnKnow ExCMD id"));
    }

    void idTravelsThroughQueuedSignals()
    {
        const int type = qRegisterMetaType<EX_CMD_ID>("EX_CMD_ID");
        QCOMPARE(QMetaType::typeName(type), "EX_CMD_ID");
        QVariant v = QVariant::fromValue(load_I0_files);
        QCOMPARE(v.value<EX_CMD_ID>(), load_I0_files);
    }
};

QTEST_GUILESS_MAIN(TstBatchVocab)
#include "tst_batchvocab.moc"
