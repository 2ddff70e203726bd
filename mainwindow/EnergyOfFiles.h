#ifndef ENERGYOFFILES_H
#define ENERGYOFFILES_H

#include <QString>
#include <QVector>

#include "core/PhysConst.h"

class QTextStream;

// Photon energies of the image files of a stack, without widgets: from the
// file name, from the file's position in the selected list, or from a list of
// monochromator angles. EOFSetup reads its fields and calls these.
namespace EnergyOfFiles {

using PhysConst::hc;
using PhysConst::pi;

enum Unit { UnitEV = 0, UnitKeV = 1, UnitDeg = 2 };

// No beamline delivers photons above 1 MeV (hard X-ray beamlines stop
// a few hundred keV below): a frame given more holds a typing slip.
constexpr double maxEnergy = 1e6;  // eV

// Whether a frame may have this energy: finite, above 0, at most maxEnergy.
bool possibleEnergy(double eV);

struct CalcFields {
    double start = 0;
    double delta = 0;
    double end = 0;
    int num = 0;
};

// Monochromator angle (degrees) of an energy (eV); false when the crystal
// cannot reach it (energies below hc / 2D, zero or negative).
bool angleOfEnergy(double energy, double D, double* degrees);
double energyOfAngle(double degrees, double D);

// Energy of file n from the calculation fields. In angle steps the N intervals
// between the angles of start and end are equal; when that cannot be done
// (no angle, no intervals) the even-in-energy value is given instead.
double energyByCalc(const CalcFields& f, int unit, bool evenInEnergy, double D, int n);

// Whether the fields describe a usable calculation: at least one interval,
// finite fields, start and end giving energies above 0 and at most maxEnergy
// (in degrees: angles between 0 and 180, so every angle between them gives
// such an energy too) and, for angle steps in eV or keV, start and end within
// the crystal's reach. `why` names the first fault.
bool calcFieldsUsable(const CalcFields& f, int unit, bool evenInEnergy, double D, QString* why);

// The field an edit typed; the others follow from it.
enum CalcField { FieldStart, FieldDelta, FieldEnd, FieldNum };

// Whether the edit of `typed` that turned `before` into `f` is usable: as
// calcFieldsUsable, except that a start or end whose energy was impossible
// already (values left from another unit) may stay so while the other
// fields are mended, unless it is the one typed.
bool calcEditUsable(const CalcFields& before, const CalcFields& f, CalcField typed, int unit, bool evenInEnergy,
                    double D, QString* why);

// The first match of `pattern` in the file name of `path`, or anywhere in
// `path` when the name has none, as a number ("_" read as
// the decimal point, "KeV" / "eV" dropped), else n; times factor when positive.
// matched, when given, tells whether the name gave the number.
double energyByName(const QString& path, const QString& pattern, double factor, int n,
                    bool* matched = nullptr);

// "1000" for patterns naming keV, else "1".
QString factorOfPattern(const QString& pattern);

// File n of m from the reference energies; with fromEnd the last file takes
// the last energy. 8000 + n without references.
double energyByRef(const QVector<double>& refs, int n, int m, bool fromEnd);

// The place in a list of R references that file n of m has: n, or with
// fromEnd n + R - m; -1 when the list has no line there.
int refIndexOf(int R, int n, int m, bool fromEnd);

// One angle line of a reference list: its number in the file (1 the first),
// the angle in degrees and the energy it gives, possible or not.
struct RefLine {
    int line = 0;
    double angle = 0;
    double energy = 0;
};

// The lines of `in` whose word `column` reads as an angle (degrees), in file
// order; data begin after the first line starting with `key` (at once when
// key is empty), and `firstLine` is the number in the file of the stream's
// first line. Lines that hold no number are not lines of the list; a line
// whose angle gives no possible energy keeps its place, so that the frames
// after it keep theirs. Angles 0 closing the list end it: they are no line.
// A line longer than maxTextLineChars ends the reading, whole set false.
QVector<RefLine> readRefLines(QTextStream& in, const QString& key, int column, double D, int firstLine = 1,
                              bool* whole = nullptr);

// The finite positive energies of readRefLines, in file order.
QVector<double> readRefEnergies(QTextStream& in, const QString& key, int column, double D);

}  // namespace EnergyOfFiles

#endif
