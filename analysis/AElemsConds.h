#ifndef AELEMSCONDS_H
#define AELEMSCONDS_H

#include "analysis/AnalysisSnapshots.h"

#include "ui_AElemsConds.h"

#include <QFrame>

// The background values of the element analysis: what a row gets in place of
// its results when its edge step does not exceed its threshold.
class AElemsConds : public QFrame, public Ui_AElemsConds
{
    Q_OBJECT

public:
    explicit AElemsConds(QWidget* parent = nullptr);

    // The fields as numbers, taken on the GUI thread for the worker.
    ElemBackground background() const;
};

#endif
