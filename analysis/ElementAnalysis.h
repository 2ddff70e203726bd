#ifndef ELEMENTANALYSIS_H
#define ELEMENTANALYSIS_H

#include <QMetaType>
#include <QVector>
#include <functional>

#include "analysis/AnalysisSnapshots.h"
#include "core/Spectrum.h"

class Analyzed2DRes;

// Map kinds of the element analysis, always in this order.
enum ElemKind {
    ElemKind0 = 0,  // edge step
    ElemKindN,      // edge step over the main target's
    ElemKindMP,     // mu above the edge
    ElemKindMM,     // mu below the edge
    ElemKindDE,     // edge-position offset
    ElemKindROI,
    ElemKindNROI,
    ElemKindCount
};

// Results of one spectrum for every element row, one entry per row in row
// order in each kind; dmut holds the raw edge step of every row whatever its
// threshold. A plain value: it goes back from the worker by a queued signal.
struct ElemsResult
{
    QVector<double> kinds[ElemKindCount];
    QVector<double> dmut;

    int rowCount() const { return kinds[ElemKind0].size(); }
    // Entry `row` of kind k; 0 outside the vectors (rows rebuilt meanwhile).
    double value(int kind, int row) const;
};

Q_DECLARE_METATYPE(ElemsResult)

class ElementAnalysis
{
public:
    // Index range [a, b) of the points whose neighbour midpoints fall in the
    // energy window [lo, hi]; false when it is empty.
    static bool window(const Spectrum& s, double lo, double hi, int& a, int& b);

    // The rows' edge steps, edge positions and ROI values; mainT is the row
    // whose edge step divides the others (a row that does not exist divides
    // by 1).
    static ElemsResult analyze(const Spectrum& s, const QVector<ElemRowSnapshot>& rows, int mainT,
                               const ElemBackground& bg);

    // Cosine similarity sum(ab) / sqrt(sum(aa) sum(bb)) over the pairs whose
    // use flag is set; false (c untouched) when a sum of squares is not
    // positive or the result is not a number.
    static bool correlation(const QVector<double>& a, const QVector<double>& b,
                            const QVector<bool>& use, double& c);

    // One row of the correlation maps: its standard ratio and its kind-N map.
    struct CorRow
    {
        bool use = false;
        double stdRatio = 0;
        const Analyzed2DRes* nMap = nullptr;
    };
    // Fills both correlation maps block by block on corMap's grid from the
    // rows' kind-N maps; thMap takes the value where it is not below corTh,
    // else 0. progress gets the percentage at every row start and 100 at the end.
    static void fillCorrelationMaps(const QVector<CorRow>& rows, double corTh,
                                    Analyzed2DRes* corMap, Analyzed2DRes* thMap,
                                    const std::function<void(double)>& progress = {});
};

#endif
