#include "PerPointSpectra.h"

#include "SafeSave.h"

#include <QDebug>
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

namespace {

bool writeTo(QIODevice& device, Kind kind, AnalyzeCond grid, const Source& source)
{
    QTextStream out(&device);
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
            // A disk that filled up need not wait for every spectrum.
            if (out.status() != QTextStream::Ok) return false;
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
    return out.status() == QTextStream::Ok;
}

}  // namespace

bool write(const QString& path, Kind kind, AnalyzeCond grid, const Source& source, QString* why)
{
    return SafeSave::viaDevice(path, [&](QIODevice& device) { return writeTo(device, kind, grid, source); }, why, true);
}


}  // namespace PerPointSpectra
