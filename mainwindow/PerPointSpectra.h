#ifndef PERPOINTSPECTRA_H
#define PERPOINTSPECTRA_H

#include "core/AnalyzeCond.h"

#include <QPointF>
#include <QString>
#include <QVector>

#include <functional>

// Text files holding the spectrum of every block of an analysis grid, one
// line per block in the grid's walk order, for use outside the program.
namespace PerPointSpectra {

enum Kind { NormalizedXafs = 0, RawXafs = 1, Raw = 2 };

struct Block
{
    double shift = 0;         // energy shift of the block (not written in raw files)
    QVector<QPointF> points;  // (energy, value)
};
// Gives the block centred on (x, y).
using Source = std::function<Block(int x, int y)>;

QString title(Kind kind);

// Writes the whole file or nothing: false (with a debug line, counted as a
// failure) when the file cannot be written; why then receives the reason.
bool write(const QString& path, Kind kind, AnalyzeCond grid, const Source& source, QString* why = nullptr);

}  // namespace PerPointSpectra

#endif
