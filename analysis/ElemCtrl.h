#ifndef ELEMCTRL_H
#define ELEMCTRL_H

#include "analysis/AnalysisSnapshots.h"
#include "analysis/ElementAnalysis.h"
#include "core/Analyzed2DRes.h"
#include "widgets/ElemRowInfo.h"

#include "ui_ElemCtrl.h"

#include <QFrame>
#include <QString>

// One element row of the analysis panel: the conditions of one element and
// edge, its last results and its own seven result maps. GUI thread only; the
// worker gets the conditions as a snapshot.
class ElemCtrl : public QFrame, public Ui_ElemCtrl
{
    Q_OBJECT

public:
    // The map kinds, in the order of the worker's result vectors (ElemKind).
    static constexpr int mapCount = ElemKindCount;
    static const char* const mapKindNames[mapCount];  // "0", "N", "MP", "MM", "DE", "ROI", "NROI"

    explicit ElemCtrl(QWidget* parent = nullptr);

    int atomicNumber = 0;
    int edgeIndex = 0;  // 0 K, 1 LI, 2 LII, 3 LIII
    double dmut = 0;
    // Start as the fields show them, so a standard taken before any answer is 1.
    double ratio = 1.0;
    double stdRatio = 1.0;
    double muPlus = 0;
    double muMinus = 0;
    Analyzed2DRes maps[mapCount];

    // The row's name in Name; the maps are named "<name> Elem Ctrl <kind>".
    void setRowName(const QString& name);
    // Map of the given kind; null outside 0 .. 6.
    Analyzed2DRes* map(int kind);
    const Analyzed2DRes* map(int kind) const;

    // The conditions the element analysis reads, as numbers.
    ElemRowSnapshot snapshot() const;
    // What the spectrum view marks for this row.
    ElemRowInfo rowInfo() const;

    // The results of one element answer for this row.
    void showResults(double d, double n, double muP, double muM, double de, double roi,
                     double nroi);

public slots:
    void newStdRatio();
};

#endif
