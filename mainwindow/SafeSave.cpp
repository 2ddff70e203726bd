#include "SafeSave.h"

#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/TiffWriter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>

#include <algorithm>
#include <memory>

namespace SafeSave {

namespace {

QString noValues(const Analyzed2DRes& map)
{
    if (map.title.isEmpty())
        return QCoreApplication::translate("SafeSave", "the map %1 holds no values").arg(map.name);
    return QCoreApplication::translate("SafeSave", "%1 holds no values").arg(map.title);
}

bool done(const QString& path, const QString& reason, QString* why)
{
    return reason.isEmpty() ? true : failed(path, reason, why);
}

}  // namespace

bool failed(const QString& path, const QString& reason, QString* why)
{
    SafeWrite::noteFailure(path, reason);
    if (why) *why = reason;
    return false;
}

bool viaDevice(const QString& path, const SafeWrite::Writer& write, QString* why, bool text)
{
    return done(path, SafeWrite::toFile(path, write, text), why);
}

bool image(const QImage& img, const QString& path, QString* why)
{
    return done(path, SafeWrite::image(img, path), why);
}

bool tiff16(const QString& path, uint32_t width, int32_t height, const uint16_t* samples, QString* why)
{
    const QByteArray encoded = TiffWriter().encode16(width, height, samples);
    if (encoded.isEmpty())
        return failed(path, QCoreApplication::translate("SafeSave", "the TIFF image could not be made"), why);
    return done(path, SafeWrite::bytes(path, encoded), why);
}

bool mapAsTiff(Analyzed2DRes& map, const QString& path, bool fixedScale, double scaleMin,
               double scaleMax, bool asAnalyzed, QString* why)
{
    std::unique_ptr<quint16[]> samples(map.tiffDataForSave(fixedScale, scaleMin, scaleMax, asAnalyzed));
    if (!samples)
        return failed(path, noValues(map), why);
    const int w = asAnalyzed ? map.grid.blocksPerRow() : map.width();
    const int h = asAnalyzed ? map.grid.blockRows() : map.height();
    return tiff16(path, uint32_t(std::max(w, 0)), h, samples.get(), why);
}

bool mapAsText(Analyzed2DRes& map, const QString& path, bool asAnalyzed, bool csv, bool xyz, QString* why)
{
    Q_UNUSED(asAnalyzed);  // the text file always holds one value per block
    if (!map.hasValues())
        return failed(path, noValues(map), why);
    return viaDevice(path, [&](QIODevice& out) { return map.writeText(out, csv, xyz); }, why, true);
}

QStringList mapSuffixes()
{
    // "Cu_500.ppm" is 500 parts per million, not a portable pixmap.
    static const QStringList known = [] {
        QStringList k = QStringList{"dat", "txt", "csv", "xyz", "tif", "tiff"} + SafeWrite::imageSuffixes();
        k.removeAll(QStringLiteral("ppm"));
        return k;
    }();
    return known;
}

QString numberedName(const QString& fname, int n, const QString& suffix)
{
    return QString("%1-%2.%3").arg(nameLessSuffix(fname, mapSuffixes()), QString::number(n), suffix);
}

}  // namespace SafeSave
