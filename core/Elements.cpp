#include "Elements.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>

#include <cmath>

// Weights in g/mol; nothing reads them. Rows 101 .. 109 have none.
const ElementEntry elementTable[elementTableSize] = {
    {0, " ", 0},
    {1, "H", 1.0079},     {2, "He", 4.0026},    {3, "Li", 6.941},     {4, "Be", 9.0122},
    {5, "B", 10.811},     {6, "C", 12.011},     {7, "N", 14.007},     {8, "O", 15.999},
    {9, "F", 18.998},     {10, "Ne", 20.180},   {11, "Na", 22.990},   {12, "Mg", 24.305},
    {13, "Al", 26.982},   {14, "Si", 28.086},   {15, "P", 30.974},    {16, "S", 32.065},
    {17, "Cl", 35.453},   {18, "Ar", 39.948},   {19, "K", 39.098},    {20, "Ca", 40.078},
    {21, "Sc", 44.956},   {22, "Ti", 47.867},   {23, "V", 50.942},    {24, "Cr", 51.996},
    {25, "Mn", 54.938},   {26, "Fe", 55.845},   {27, "Co", 58.933},   {28, "Ni", 58.96},
    {29, "Cu", 63.546},   {30, "Zn", 65.39},    {31, "Ga", 69.723},   {32, "Ge", 72.64},
    {33, "As", 74.922},   {34, "Se", 78.96},    {35, "Br", 79.904},   {36, "Kr", 83.798},
    {37, "Rb", 85.468},   {38, "Sr", 87.62},    {39, "Y", 88.906},    {40, "Zr", 91.224},
    {41, "Nb", 92.906},   {42, "Mo", 95.94},    {43, "Tc", 97.907},   {44, "Ru", 101.07},
    {45, "Rh", 102.906},  {46, "Pd", 106.42},   {47, "Ag", 107.868},  {48, "Cd", 112.411},
    {49, "In", 114.818},  {50, "Sn", 118.710},  {51, "Sb", 121.760},  {52, "Te", 127.60},
    {53, "I", 126.904},   {54, "Xe", 131.293},  {55, "Cs", 132.905},  {56, "Ba", 137.327},
    {57, "La", 138.905},  {58, "Ce", 140.116},  {59, "Pr", 140.908},  {60, "Nd", 144.242},
    {61, "Pm", 144.913},  {62, "Sm", 150.36},   {63, "Eu", 151.964},  {64, "Gd", 157.25},
    {65, "Tb", 158.925},  {66, "Dy", 162.500},  {67, "Ho", 164.930},  {68, "Er", 167.259},
    {69, "Tm", 168.934},  {70, "Yb", 173.04},   {71, "Lu", 174.967},  {72, "Hf", 178.49},
    {73, "Ta", 180.948},  {74, "W", 183.84},    {75, "Re", 186.207},  {76, "Os", 190.23},
    {77, "Ir", 192.217},  {78, "Pt", 195.084},  {79, "Au", 196.967},  {80, "Hg", 200.59},
    {81, "Tl", 204.383},  {82, "Pb", 207.2},    {83, "Bi", 208.980},  {84, "Po", 208.982},
    {85, "At", 209.987},  {86, "Rn", 222.018},  {87, "Fr", 223.020},  {88, "Ra", 226.025},
    {89, "Ac", 227.028},  {90, "Th", 232.038},  {91, "Pa", 231.036},  {92, "U", 238.051},
    {93, "Np", 237.048},  {94, "Pu", 244.064},  {95, "Am", 243.061},  {96, "Cm", 247.07},
    {97, "Bk", 247.07},   {98, "Cf", 251.080},  {99, "Es", 252.083},  {100, "Fm", 257.095},
    {101, "Md", 0},       {102, "No", 0},       {103, "Lr", 0},       {104, "Rf", 0},
    {105, "Db", 0},       {106, "Sg", 0},       {107, "Bh", 0},       {108, "Hs", 0},
    {109, "Mt", 0},
    {110, "D", 2.01355321},
};

const char* const edgeNames[4] = {"K", "LI", "LII", "LIII"};

VictoreenRecord victoreenTable[victoreenTableSize];
qint32 victoreenCount = 0;

int atomicNumberOf(const QString& symbol)
{
    for (const ElementEntry& e : elementTable)
        if (e.symbol == symbol) return e.Z;
    return -1;
}

int edgeIndexOf(const QString& name)
{
    const QString n = name.toUpper();
    if (n == "K") return 0;
    if (n == "L1" || n == "LI") return 1;
    if (n == "L2" || n == "LII") return 2;
    if (n == "L3" || n == "LIII") return 3;
    return 0;
}

double edgeEnergyOf(int Z, int edgeIndex)
{
    if (Z < 0 || Z >= victoreenTableSize || edgeIndex < 0 || edgeIndex > 3) return 0;
    const double e = victoreenTable[Z].edge[edgeIndex] * 1000;
    return std::isfinite(e) ? e : 0;
}

static double positiveOrZero(const QString& item)
{
    const double v = item.toDouble();  // "=" and titles read as 0
    return v > 0 ? v : 0;
}

static const int victoreenItems = 21;

void loadVictoreenTable(const QString& fileName)
{
    victoreenCount = 0;
    for (VictoreenRecord& r : victoreenTable) r = VictoreenRecord{};

    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug().noquote() << QString("Cannot open [%1]\n").arg(QFileInfo(fileName).fileName());
        return;
    }
    QTextStream in(&f);
    in.setCodec("UTF-8");
    while (!in.atEnd()) {
        const QString line = in.readLine().simplified();
        // Records are counted by line, so a blank line must not take a slot.
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (victoreenCount >= victoreenTableSize) {
            qDebug() << "Victoreen table: more than" << victoreenTableSize << "records, rest ignored";
            break;
        }
        // A short line still takes its slot (missing items read as 0), so
        // the lines after it keep Z = record index.
        QStringList items = line.split(' ');
        if (items.size() < victoreenItems) {
            qDebug() << "Victoreen table: line with" << items.size() << "items:" << line;
            while (items.size() < victoreenItems) items << QString();
        }
        VictoreenRecord& r = victoreenTable[victoreenCount];
        r.Z = items[1].toInt();
        r.edge[0] = items[2].toDouble();
        r.C[0] = positiveOrZero(items[4]);
        r.D[0] = positiveOrZero(items[5]);
        for (int s = 1; s < 4; s++) {  // L edges: energy, wavelength, C, D
            const int base = 2 + 4 * s;
            r.edge[s] = positiveOrZero(items[base]);
            r.C[s] = positiveOrZero(items[base + 2]);
            r.D[s] = positiveOrZero(items[base + 3]);
        }
        // M1 has no energy column: its wavelength, then C and D.
        r.edge[4] = positiveOrZero(items[18]);
        r.C[4] = positiveOrZero(items[19]);
        r.D[4] = positiveOrZero(items[20]);
        victoreenCount++;
    }
    f.close();
}
