#ifndef ANALYSIS2DRECORD_H
#define ANALYSIS2DRECORD_H

#include <QVector>

#include <vector>

class AnalyzeCond;
class Analyzed2DRes;

// Writing one block's results of a 2-D run into its maps. Every value fills
// the block of ac around (curX, curY) with half widths xw, yw. Null maps and
// entries missing from the result vectors are skipped, never read past.

// value into map (nothing when map is null).
void recordBlockValue(Analyzed2DRes* map, const AnalyzeCond& ac, double value);

// For maps prepared for n reference rows (entry i amounts of row i, entry
// n + i its fractions): row rows[j] takes amounts[j] and fractions[j], the
// rows being those the fit used. Returns how many of them have no prepared
// map (rows added since).
int recordLcfBlock(const QVector<Analyzed2DRes*>& maps, int n, const QVector<int>& rows,
                   const QVector<double>& amounts, const QVector<double>& fractions,
                   const AnalyzeCond& ac);

// The correlation as the thresholded map shows it: cor when corTh is not
// above it, else 0.
double thresholdedCorrelation(double cor, double corTh);

// For rows element rows: entry k * rows + i of maps takes element i of
// kinds[k]; entry 7 * rows takes cor, 7 * rows + 1 the thresholded cor.
void recordElemBlock(const QVector<Analyzed2DRes*>& maps, int rows,
                     const QVector<QVector<double>>& kinds, double cor, double corTh,
                     const AnalyzeCond& ac);

// Refills ratio from scratch over the first `blocks` blocks of grid (those a
// run has recorded): ratio = r / (d + r) per block, r = rest - m with m the
// least rest of those blocks, d = dMut (0 outside it). Other pixels hold 0
// and take no part in the range. Where d + r is 0 the ratio is 0: a division
// there would leave NaN or infinities that spoil the map's range and image.
// Blocks k with (*skip)[k] true (no edge found) hold 0 and take no part in m.
void computeRatioMap(const Analyzed2DRes& dMut, const Analyzed2DRes& rest, Analyzed2DRes& ratio,
                     const AnalyzeCond& grid, qint64 blocks, const std::vector<bool>* skip = nullptr);

#endif
