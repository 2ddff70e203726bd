#ifndef ANALYSIS2DRECORD_H
#define ANALYSIS2DRECORD_H

#include <QVector>

class AnalyzeCond;
class Analyzed2DRes;

// Writing one block's results of a 2-D run into its maps. Every value fills
// the block of ac around (curX, curY) with half widths xw, yw. Null maps and
// entries missing from the result vectors are skipped, never read past.

// value into map (nothing when map is null).
void recordBlockValue(Analyzed2DRes* map, const AnalyzeCond& ac, double value);

// For n = used.size() reference rows: entry i of maps takes amount k and
// entry n + i fraction k, where k counts only the rows used before row i.
void recordLcfBlock(const QVector<Analyzed2DRes*>& maps, const QVector<bool>& used,
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

// ratio(x, y) = r / (d + r) over every pixel of rest, r = rest - min(rest),
// d = dMut (0 outside it). Where d + r is 0 the ratio is 0: a division there
// would leave NaN or infinities that spoil the map's range and image.
void computeRatioMap(const Analyzed2DRes& dMut, const Analyzed2DRes& rest, Analyzed2DRes& ratio);

#endif
