#include "Elements.h"
#include "core/ErrPoints.h"
#include "support/Files.h"

#include <QtTest>

static bool recordIsZero(const VictoreenRecord& r)
{
    if (r.Z != 0) return false;
    for (int s = 0; s < victoreenEdgeSlots; s++)
        if (r.edge[s] != 0 || r.C[s] != 0 || r.D[s] != 0) return false;
    return true;
}

// An element line whose every number encodes Z and its column, so a shifted
// record or column shows.
static QStringList syntheticItems(int z)
{
    QStringList items{"X", QString::number(z)};
    for (int i = 2; i < 21; i++) items << QString::number(z * 100 + i);
    return items;
}

class TestTableFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // Values of the shipped table against the published ones.
    void loadedTable()
    {
        loadVictoreenTable();
        QCOMPARE(victoreenCount, 93);
        for (int z = 0; z < victoreenTableSize; z++) QCOMPARE(victoreenTable[z].Z, z <= 92 ? z : 0);
        const VictoreenRecord& cu = victoreenTable[29];
        QCOMPARE(cu.edge[0], 8.98436029);
        QCOMPARE(cu.C[0], 176.0);
        QCOMPARE(cu.D[0], 48.3);
        QCOMPARE(cu.edge[3], 0.935);
        QCOMPARE(victoreenTable[74].edge[4], 4.374);  // W M1 wavelength
    }

    // More records than the table holds, a blank, a comment and a short line
    // (still taking its slot): every value read back from its column.
    void syntheticTable()
    {
        QString text = "= title\t=  = = = = = = = = = = = = = = = = = =\n\n";
        for (int z = 1; z <= 120; z++)
            text += z == 4 ? "   \t \n# a comment line\nShort 4 4.5 1 404\n" : syntheticItems(z).join("  ") + "\n";
        loadVictoreenTable(ts::writeIn(dir, "v.txt", text));
        QCOMPARE(victoreenCount, victoreenTableSize);
        QVERIFY(recordIsZero(victoreenTable[0]));
        QCOMPARE(victoreenTable[4].Z, 4);
        QCOMPARE(victoreenTable[4].C[0], 404.0);
        // Edge energy (or M1 wavelength), C and D.
        const int columns[5][3] = {{2, 4, 5}, {6, 8, 9}, {10, 12, 13}, {14, 16, 17}, {18, 19, 20}};
        for (int z = 5; z < victoreenTableSize; z++) {
            const VictoreenRecord& r = victoreenTable[z];
            QCOMPARE(r.Z, z);
            for (int s = 0; s < victoreenEdgeSlots; s++) {
                QCOMPARE(r.edge[s], double(z * 100 + columns[s][0]));
                QCOMPARE(r.C[s], double(z * 100 + columns[s][1]));
                QCOMPARE(r.D[s], double(z * 100 + columns[s][2]));
            }
        }

        // Negative and unreadable coefficients read as 0; the K energy as it stands.
        QStringList items = syntheticItems(1);
        items[2] = "-3";
        items[4] = "-1";
        items[8] = "nan";
        items[9] = "abc";
        loadVictoreenTable(ts::writeIn(dir, "neg.txt", "=\n" + items.join(' ') + "\n"));
        QCOMPARE(victoreenCount, 2);
        QCOMPARE(victoreenTable[1].edge[0], -3.0);
        QCOMPARE(victoreenTable[1].C[0], 0.0);
        QCOMPARE(victoreenTable[1].C[1], 0.0);
        QCOMPARE(victoreenTable[1].D[1], 0.0);

        // A missing file leaves an all-zero table.
        QTest::ignoreMessage(QtDebugMsg, "Cannot open [none.txt]\n");
        loadVictoreenTable(dir.filePath("none.txt"));
        QCOMPARE(victoreenCount, 0);
        QVERIFY(recordIsZero(victoreenTable[1]));
        loadVictoreenTable();
    }

    // Read into a list that held a 5 x 6 size and the point (1, 1): a size
    // line drops earlier points, appending keeps them until one; a missing
    // file (null text) clears the list.
    void reads_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("append");
        QTest::addColumn<QVector<QPoint>>("points");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("use");
        QTest::newRow("points, comments, short and bad lines")
            << "# Size 2048 2048\r\n10 20\n# a comment\n11 20 hot\n12 34 # near the edge\n12\n\na b\n10 20\n\"7\" 8 9\n" << false
            << QVector<QPoint>{{10, 20}, {11, 20}, {12, 34}, {0, 0}, {10, 20}, {7, 8}} << QSize(2048, 2048) << false;
        QTest::newRow("a size line drops earlier points")
            << "0 1\n1 1\n2 1\n# Size 640 480\n5 6\n" << false << QVector<QPoint>{{5, 6}} << QSize(640, 480) << false;
        // No blank after the hash, or one number only: not size lines.
        QTest::newRow("not size lines") << "#Size 10 10\n1 2\n# Size 7\n3 4\n" << false
                                        << QVector<QPoint>{{1, 2}, {3, 4}} << QSize(5, 6) << false;
        // Blanks after the one number make an empty second item.
        QTest::newRow("size with one number") << "1 2\n# Size 7  \n" << false << QVector<QPoint>() << QSize(7, 0) << false;
        QTest::newRow("empty file") << "" << false << QVector<QPoint>() << QSize(5, 6) << false;
        QTest::newRow("appended") << "2 2\n" << true << QVector<QPoint>{{1, 1}, {2, 2}} << QSize(5, 6) << true;
        QTest::newRow("appended, size line") << "3 3\n# Size 1 1\n4 4\n" << true << QVector<QPoint>{{4, 4}} << QSize(1, 1)
                                             << false;
        QTest::newRow("missing file") << QString() << true << QVector<QPoint>() << QSize(5, 6) << false;
    }
    void reads()
    {
        QFETCH(QString, text);
        QFETCH(bool, append);
        QFETCH(QVector<QPoint>, points);
        QFETCH(QSize, size);
        QFETCH(bool, use);
        const QString path = text.isNull() ? dir.filePath("missing.txt") : ts::writeIn(dir, "e.txt", text);
        ErrPoints e;
        e.points = {QPoint(1, 1)};
        e.width = 5;
        e.height = 6;
        e.use = true;
        if (text.isNull())
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Can't Open"));
        QCOMPARE(e.read(path, append), !text.isNull());
        QCOMPARE(e.points, points);
        QCOMPARE(QSize(e.width, e.height), size);
        QCOMPARE(e.use, use);
        QCOMPARE(e.file, text.isNull() ? QString() : QFileInfo(path).canonicalFilePath());
        for (const QPoint& p : points) QVERIFY(e.contains(p.x(), p.y()));
        QVERIFY(!e.contains(20, 10));
    }
};

QTEST_GUILESS_MAIN(TestTableFiles)
#include "tst_tablefiles.moc"
