#ifndef ISOLATEDPOINTS_H
#define ISOLATEDPOINTS_H

#include "Spectrum.h"

#include <QPointF>
#include <QVector>
#include <vector>

// The glitch pass of the normalisation: a run of points standing apart from
// both neighbours (a dropout, a zinger) is found and read as the line
// between its neighbours, so that it neither makes the steepest rise nor
// bends a background line.
namespace isolated {

// Marks of the search: a run narrower than any feature; a wider one below
// both neighbours (the narrow features of absorption are peaks, not dips); a
// wider one above them, which may be a white line or a pre-edge peak.
enum Mark : unsigned char { kNone, kNarrow, kWideDip, kWidePeak };

// Marks the points standing apart of a spectrum whose steps from point to
// point add up to `travel`, the largest `steep`; false, with nothing worked
// out, when no step is steep enough for a point to stand apart.
bool markIsolated(const Spectrum& s, double travel, double steep,
                  std::vector<unsigned char>& marks);

// Marked points read as the line between their nearest unmarked neighbours,
// from the points as measured.
void mendMarked(Spectrum& s, const std::vector<unsigned char>& marks,
                const QVector<QPointF>& measured);

// Unmarks the wider peaks near the edge at e0, which may be its white line
// or a pre-edge peak; true when there were any. `left` tells whether marks
// remain.
bool keepPeaksNearEdge(const Spectrum& s, double e0, std::vector<unsigned char>& marks,
                       bool& left);

// The debug line, once per run, that points were passed over.
void notePassedOver();

}  // namespace isolated

#endif
