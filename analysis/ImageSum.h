#ifndef IMAGESUM_H
#define IMAGESUM_H

#include "analysis/SumUpRange.h"
#include "core/AnalyzeCond.h"

#include <QList>
#include <QString>
#include <QVector>

class Analyzed2DRes;
class TiffData;

// The sum-up of raw intensities: box sums of the I1 images named by a list of
// index ranges, block by block over a grid. No widgets.
namespace ImageSum {

// For every range in list order and every k with from <= k < to that lies in
// the stack: the box sum of image k over the (2|xw| + 1) x (2|yw| + 1) box
// centred on (x, y). An image in several ranges counts once per range; a
// reversed or empty range adds nothing; missing frames are skipped.
double rangeTotal(const QVector<TiffData*>& stack, const QList<SumUpRange>& ranges, int x, int y,
                  int xw, int yw);

// Clears map, re-grids it to grid and gives every block its range total;
// one debug line per row with the row and the map's current scale. Frames
// whose size differs from the grid are still summed (pixels outside a frame
// read 0) and reported once.
void fillMap(Analyzed2DRes& map, const AnalyzeCond& grid, const QVector<TiffData*>& stack,
             const QList<SumUpRange>& ranges);

// Regenerates the map's image and writes it to path, in the format of the
// suffix; the file is replaced only when the whole image was written. False
// with a debug line when the map has no image or the file cannot be written.
bool saveImage(Analyzed2DRes& map, const QString& path, QString* why = nullptr);

}  // namespace ImageSum

#endif
