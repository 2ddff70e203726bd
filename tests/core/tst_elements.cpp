#include "Elements.h"
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
static QString syntheticLine(int z)
{
    QStringList items{"X", QString::number(z), QString::number(z + 0.5), "1"};
    for (int i = 4; i < 21; i++) items << QString::number(z * 100 + i);
    return items.join("  ");
}

class TstElements : public QObject
{
    Q_OBJECT

private slots:
    // Values of the shipped table against the published ones.
    void loadedTable()
    {
        loadVictoreenTable();
        QCOMPARE(victoreenCount, 93);
        QVERIFY(recordIsZero(victoreenTable[0]));
        for (int z = 1; z <= 92; z++) QCOMPARE(victoreenTable[z].Z, z);
        for (int z = 93; z < victoreenTableSize; z++) QVERIFY(recordIsZero(victoreenTable[z]));
        const VictoreenRecord& cu = victoreenTable[29];
        QCOMPARE(cu.edge[0], 8.98436029);
        QCOMPARE(cu.C[0], 176.0);
        QCOMPARE(cu.D[0], 48.3);
        QCOMPARE(cu.edge[3], 0.935);
        QCOMPARE(victoreenTable[74].edge[4], 4.374);  // W M1 wavelength
        // Edge energies grow with Z and keep K > LI > LII > LIII where present.
        for (int z = 30; z <= 92; z++) {
            const VictoreenRecord& r = victoreenTable[z];
            QVERIFY(r.edge[0] > victoreenTable[z - 1].edge[0]);
            QVERIFY(r.edge[0] > r.edge[1] && r.edge[1] > r.edge[2] && r.edge[2] > r.edge[3]);
        }
    }

    void blankShortAndExtraLines()
    {
        QTemporaryDir dir;
        QString text = "= title\t=  = = = = = = = = = = = = = = = = = =\n\n";
        for (int z = 1; z <= 120; z++)
            text += z == 4 ? "   \t \n# a comment line\nShort 4 4.5 1 404\n" : syntheticLine(z) + "\n";
        loadVictoreenTable(ts::writeIn(dir, "v.txt", text));
        QCOMPARE(victoreenCount, victoreenTableSize);
        QVERIFY(recordIsZero(victoreenTable[0]));
        QCOMPARE(victoreenTable[4].Z, 4);
        QCOMPARE(victoreenTable[4].edge[0], 4.5);
        QCOMPARE(victoreenTable[4].C[0], 404.0);
        QCOMPARE(victoreenTable[4].D[4], 0.0);
        for (int z = 1; z < victoreenTableSize; z++) {
            if (z == 4) continue;
            const VictoreenRecord& r = victoreenTable[z];
            QCOMPARE(r.Z, z);
            // Edge energy (or M1 wavelength), C and D: the file's columns.
            const int columns[5][3] = {{2, 4, 5}, {6, 8, 9}, {10, 12, 13}, {14, 16, 17}, {18, 19, 20}};
            for (int s = 0; s < victoreenEdgeSlots; s++) {
                QCOMPARE(r.edge[s], s == 0 ? z + 0.5 : double(z * 100 + columns[s][0]));
                QCOMPARE(r.C[s], double(z * 100 + columns[s][1]));
                QCOMPARE(r.D[s], double(z * 100 + columns[s][2]));
            }
        }

        // Negative and unreadable coefficients read as 0; the K energy as it stands.
        QStringList items = syntheticLine(1).split("  ");
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
        QVERIFY(recordIsZero(victoreenTable[2]));

        // A missing file leaves an all-zero table.
        QTest::ignoreMessage(QtDebugMsg, "Cannot open [none.txt]\n");
        loadVictoreenTable(dir.filePath("none.txt"));
        QCOMPARE(victoreenCount, 0);
        QVERIFY(recordIsZero(victoreenTable[1]));
        QCOMPARE(edgeEnergyOf(29, 0), 0.0);
        loadVictoreenTable();
    }
};

QTEST_GUILESS_MAIN(TstElements)
#include "tst_elements.moc"
