#ifndef POINTNOISE_H
#define POINTNOISE_H

#include <limits>

// The noise of single points of a curve y(E), E rising: each point is held
// against the line through its two neighbours at its own energy, and the
// median of those distances taken, so that a smooth curve, its bends and a
// few flashes or dips leave next to nothing. Only points whose neighbours
// lie within maxSpan eV of each other count: across wider gaps a curve's
// bends pass for noise. -1 when fewer than minPoints points count.
double pointNoise(const double* E, const double* y, int n, int minPoints,
                  double maxSpan = std::numeric_limits<double>::infinity());

#endif
