#include "SumUpCtrl.h"

#include "analysis/ImageSum.h"
#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"

#include <QDebug>

SumUpCtrl::SumUpCtrl(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
    connect(AddSumUp, &QPushButton::clicked, this, &SumUpCtrl::add);
    connect(DelSumUp, &QPushButton::clicked, this, &SumUpCtrl::del);
}

void SumUpCtrl::add()
{
    const int from = SumUpFrom->text().toInt();
    const int to = SumUpTo->text().toInt();
    list.append(SumUpRange{from, to, 0});
    SumUps->addItem(QStringLiteral("%1-%2").arg(from).arg(to));
}

void SumUpCtrl::del()
{
    const int i = SumUps->currentIndex();
    if (i < 0 || i >= SumUps->count() || i >= list.size()) return;
    if (i >= 1) SumUps->setCurrentIndex(i - 1);
    SumUps->removeItem(i);
    list.removeAt(i);
}

bool SumUpCtrl::doSumUp(QString* why)
{
    if (!target) {
        qDebug() << "Sum up: no map to fill";
        if (why) *why = tr("no map to fill");
        return false;
    }
    AnalyzeCond grid;
    if (gridOf) gridOf(grid);
    static const QVector<TiffData*> none;
    ImageSum::fillMap(*target, grid, i1 ? *i1 : none, list);
    return ImageSum::saveImage(*target, imageFileName(), why);
}
