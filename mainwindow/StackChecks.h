#ifndef STACKCHECKS_H
#define STACKCHECKS_H

#include <QString>
#include <QVector>

class TiffData;

// Faults of a loaded stack that would make every spectrum of it wrong.
namespace StackChecks {

enum class Energies {
    Ascending,   // strictly, as loaded
    Unordered,   // distinct but not in load order: spectra are sorted
    Repeated,    // some frames share an energy: their points are averaged
    AllEqual,    // two or more frames, one energy: no spectrum at all
    NotFinite    // an energy is NaN or infinite
};

Energies energies(const QVector<TiffData*>& stack);

// Whether a frame has the size of the stack's first (true for the first).
bool fitsStack(const TiffData& frame, const QVector<TiffData*>& stack);

// Whether the energy range of i0 spans every energy of i1, within 0.01 eV of
// rounding; true when either is empty. range receives low and high of i0, then of i1.
bool i0Covers(const QVector<TiffData*>& i0, const QVector<TiffData*>& i1, double range[4]);

// Whether an I0 stack of two or more frames has at most one I1 energy within
// its range, so that the I1 points are all (or all but one) divided by the
// same end frame: the stacks are not of one scan. False when I1 has fewer
// than two frames. range as for i0Covers.
bool i0Apart(const QVector<TiffData*>& i0, const QVector<TiffData*>& i1, double range[4]);

// Frames of files holding more than one page, of which only the first is
// read: how many, and the first of them.
struct MultiPage {
    int frames = 0;
    const TiffData* first = nullptr;
};
MultiPage multiPage(const QVector<TiffData*>& stack);

// What spectra made now with I0 in use would take from another energy's I0
// frame: empty when I0 is not in use, either stack is empty, I0 covers the
// I1 energies, or the stacks lie apart (said at the load).
QString i0ShortOf(const QVector<TiffData*>& i0, const QVector<TiffData*>& i1, bool useI0);

}  // namespace StackChecks

#endif
