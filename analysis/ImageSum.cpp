#include "ImageSum.h"

#include "core/Analyzed2DRes.h"
#include "core/TiffData.h"
#include "mainwindow/SafeSave.h"

#include <QCoreApplication>
#include <QDebug>

#include <algorithm>

namespace ImageSum {

double rangeTotal(const QVector<TiffData*>& stack, const QList<SumUpRange>& ranges, int x, int y,
                  int xw, int yw)
{
    const int n = stack.size();
    double total = 0;
    for (const SumUpRange& r : ranges) {
        // Clamped to the stack first: an end of a billion must not walk a
        // billion empty indices for every block.
        const int from = std::max(r.from, 0);
        const int to = std::min(r.to, n);
        for (int k = from; k < to; ++k)
            if (const TiffData* img = stack[k]) total += img->sumBox(x, y, xw, yw);
    }
    return total;
}

void fillMap(Analyzed2DRes& map, const AnalyzeCond& grid, const QVector<TiffData*>& stack,
             const QList<SumUpRange>& ranges)
{
    if (stack.isEmpty()) qDebug() << "Sum up: no I1 images, the map stays empty";
    int otherSize = 0;
    for (const TiffData* img : stack)
        if (img && (int(img->width) != grid.width || int(img->height) != grid.height)) ++otherSize;
    if (otherSize > 0)
        qDebug() << "Sum up:" << otherSize << "I1 images differ in size from" << grid.width << "x"
                 << grid.height << "; their pixels outside count 0";

    map.clear();
    map.setCond(grid);
    AnalyzeCond ac = grid;
    ac.reset();
    do {
        if (ac.rowStart) qDebug() << "sum up row" << ac.curY << map.activeMin() << map.activeMax();
        const double total = rangeTotal(stack, ranges, ac.curX, ac.curY, ac.xw, ac.yw);
        map.setData(ac.curX, ac.curY, ac.xw, ac.yw, total);
    } while (ac.next());
}

bool saveImage(Analyzed2DRes& map, const QString& path, QString* why)
{
    map.genImg();
    if (!map.hasImage || !map.image)
        return SafeSave::failed(path, QCoreApplication::translate("ImageSum", "the sum-up map has no image"), why);
    return SafeSave::image(*map.image, path, why);
}

}  // namespace ImageSum
