#ifndef ELEMENTS_H
#define ELEMENTS_H

#include <QString>

struct ElementEntry
{
    qint32 Z;
    QString symbol;
    double atomicWeight;
};

// Row i has Z = i for 0 .. 110; row 0 is " " and row 110 is "D".
constexpr int elementTableSize = 111;
extern const ElementEntry elementTable[elementTableSize];

// Edge indices: 0 K, 1 LI, 2 LII, 3 LIII; slot 4 of a Victoreen record is M1.
constexpr int victoreenEdgeSlots = 5;
extern const char* const edgeNames[4];

struct VictoreenRecord
{
    qint32 Z;
    double edge[victoreenEdgeSlots];  // keV for slots 0 .. 3; slot 4 is the M1 wavelength
    double C[victoreenEdgeSlots];
    double D[victoreenEdgeSlots];
};

// Indexed by Z; record 0 is the resource's header line and stays zero.
constexpr int victoreenTableSize = 100;
extern VictoreenRecord victoreenTable[victoreenTableSize];
extern qint32 victoreenCount;

// Exact, case-sensitive; -1 when no row matches.
int atomicNumberOf(const QString& symbol);
// "K", "L1"/"LI", "L2"/"LII", "L3"/"LIII" in any case; anything else is 0.
int edgeIndexOf(const QString& name);
// Clears the table, then fills record n from the n-th line that is neither
// blank nor a "#" comment; missing items read as 0; at most 100 records.
void loadVictoreenTable(const QString& fileName = QStringLiteral(":Victoreen1.txt"));

// Edge energy in eV of element Z at edge index 0 .. 3 (K, LI, LII, LIII);
// 0 for a Z or an edge index outside the table (e.g. -1 from atomicNumberOf).
double edgeEnergyOf(int Z, int edgeIndex);

#endif
