#ifndef ANALYSIS2DRECORD_H
#define ANALYSIS2DRECORD_H

#include <QString>
#include <QStringList>
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

// An edge energy farther than this (eV) outside a stack's energies is no
// shift of its edge: the frames' energies or the edge energy are wrong (an
// index read as the energy, keV against eV). Chemical shifts and monochromator
// offsets stay within tens of eV.
constexpr double maxEdgeOutsideEV = 300;

// How far edge lies below lo or above hi; 0 between them.
double distanceOutside(double edge, double lo, double hi);

// Why the blocks of a run gave no analysis (or one analysis) a value, one
// cause per block: a spectrum without a point (the block lies outside the
// image), else a flagged spectrum where the edge-based analyses were asked
// for, else a failed fit where the LCF was, else no element step.
struct NoResultTally
{
    qint64 noPoints = 0;       // the block's spectrum has no point
    qint64 noEdge = 0;         // flagged: no edge found (noise, no line, no crossing)
    qint64 outsideWindow = 0;  // flagged: the edge is not inside the window
    qint64 fitFailed = 0;      // the LCF gave no fit
    qint64 noElement = 0;      // no element showed a step

    void add(bool edgeAsked, bool flagged, bool outside, bool lcfAsked, bool pointless = false);
    qint64 total() const { return noPoints + noEdge + outsideWindow + fitFailed + noElement; }
    // The causes with their counts, e.g. "40 flagged (no edge found), 4
    // where the LCF fit failed (reason)", lcfWhy the first fit's reason.
    QString causes(const QString& lcfWhy) const;
    // The cause of every block when they all share one, else empty.
    QString soleCause(const QString& lcfWhy) const;
    bool oneCause() const;
};

// The analyses of a 2-D run, in the order their notes are said.
enum class RunAnalysis { Lcf, EdgeShift, Elements, Residual, Count };

// Per analysis asked, the blocks recorded for it and why those without a
// value got none.
struct AnalysisTallies
{
    qint64 blocks[int(RunAnalysis::Count)] = {};
    NoResultTally none[int(RunAnalysis::Count)];

    // One block recorded for analysis a, which gave it a value or not.
    void add(RunAnalysis a, bool gotResult, bool flagged, bool outside, bool pointless);
    // One note per analysis with blocks without a value: "LCF: 766 of 768
    // blocks got no result: …".
    QStringList notes(const QString& lcfWhy) const;
};

#endif
