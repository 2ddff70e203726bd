#ifndef SUMUPCTRL_H
#define SUMUPCTRL_H

#include "analysis/SumUpRange.h"

#include "ui_SumUpCtrl.h"

#include <QFrame>
#include <QList>
#include <QString>
#include <QVector>

#include <functional>
#include <utility>

class AnalyzeCond;
class Analyzed2DRes;
class TiffData;

// The index ranges of the image sum-up, one combo item per range, and the
// sum-up itself: the range totals of the I1 stack over the current block grid
// into a result map, whose image is written to "sumUpImg.png" in the current
// folder. GUI thread only.
//
// The owner gives it the stack (not owned; read only during doSumUp), the
// grid provider and the map to fill, and connects its sum-up request to
// doSumUp.
class SumUpCtrl : public QFrame, public Ui_SumUpCtrl
{
    Q_OBJECT

public:
    // Fills the grid of the current view; its result is not needed.
    using GridProvider = std::function<bool(AnalyzeCond&)>;

    explicit SumUpCtrl(QWidget* parent = nullptr);

    // In the order they were added, one to one with the items of SumUps.
    const QList<SumUpRange>& ranges() const { return list; }

    void setI1Stack(const QVector<TiffData*>* stack) { i1 = stack; }
    void setGridProvider(GridProvider provider) { gridOf = std::move(provider); }
    void setTargetMap(Analyzed2DRes* map) { target = map; }

    static QString imageFileName() { return QStringLiteral("sumUpImg.png"); }

public slots:
    void add();
    void del();
    // Fills the target map and writes its image; false with a debug line when
    // there is no map or the image could not be written.
    // why receives the reason when the image was not written.
    bool doSumUp(QString* why = nullptr);

private:
    QList<SumUpRange> list;
    const QVector<TiffData*>* i1 = nullptr;
    GridProvider gridOf;
    Analyzed2DRes* target = nullptr;
};

#endif
