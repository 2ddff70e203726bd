#include "PerPointSpectra.h"

#include <QDebug>
#include <QSaveFile>
#include <QTextStream>

namespace PerPointSpectra {

QString title(Kind kind)
{
    switch (kind) {
    case NormalizedXafs: return QStringLiteral("# Corvenlith Save Normalized Xafs Spectra 1.0");
    case RawXafs: return QStringLiteral("# Corvenlith Save Raw Xafs Spectra 1.0");
    case Raw: break;
    }
    return QStringLiteral("# Corvenlith Save Raw Spectra 1.0");
}

bool write(const QString& path, Kind kind, AnalyzeCond grid, const Source& source)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        qDebug().noquote() << "Can't open" << path;
        return false;
    }
    QTextStream out(&f);
    const int nx = (grid.x1 - (grid.x0 + grid.xw) - 1) / grid.stepX + 1;
    const int ny = (grid.y1 - (grid.y0 + grid.yw) - 1) / grid.stepY + 1;
    out << title(kind) << "\n";
    out << "# X-Range (x0, x1), steps : " << grid.x0 << " " << grid.x1 << " " << nx << "\n";
    out << "# Y-Range (y0, y1), steps : " << grid.y0 << " " << grid.y1 << " " << ny << "\n";
    out << "# Full Width, Height      : " << grid.width << " " << grid.height << "\n";
    out << "# Bin Half Width, Height  : " << grid.xw << " " << grid.yw << "\n";
    out << "# Step dX, dY             : " << grid.stepX << " " << grid.stepY << "\n";
    out << "# End of Header\n";

    grid.reset();
    do {
        const int x = grid.curX;
        const int y = grid.curY;
        if (grid.rowStart) {
            const double span = grid.y1 - grid.y0;
            qDebug() << "Save Xafs Spectra : Progress" << (span != 0 ? (y - grid.y0) / span * 100 : 0.0);
        }
        const Block b = source(x, y);
        out << x << " " << y;
        if (kind != Raw) out << " " << b.shift;
        for (const QPointF& p : b.points) out << " " << p.x() << " " << p.y();
        out << "\n";
    } while (grid.next());

    out.flush();
    if (out.status() != QTextStream::Ok || !f.commit()) {
        qDebug().noquote() << "Can't write" << path;
        return false;
    }
    return true;
}

}  // namespace PerPointSpectra
