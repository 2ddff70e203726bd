#ifndef SUPPORT_FILES_H
#define SUPPORT_FILES_H

#include "core/Spectrum.h"
#include "core/TiffWriter.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>
#include <QVector>
#include <QtEndian>

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

// Files written and read back by the tests.
namespace ts {

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
    return f.readAll();
}

inline QStringList readLines(const QString& path)
{
    QString text = QString::fromUtf8(readAll(path));
    text.replace("\r\n", "\n");
    QStringList lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

// The "x y value" rows of a map saved as text (comma- or blank-separated), comments and blank lines skipped. A row
// of another shape comes back with ok false and its line, for the caller to name.
struct MapRow {
    int x = 0, y = 0;
    double v = 0;
    bool ok = false;
    QString line;
};
inline QVector<MapRow> readMapRows(const QString& path)
{
    QVector<MapRow> rows;
    for (const QString& l : readLines(path)) {
        if (l.startsWith('#') || l.trimmed().isEmpty()) continue;
        const QStringList v = l.trimmed().split(QRegularExpression("[,\\s]+"));
        rows.append({v.value(0).toInt(), v.value(1).toInt(), v.value(2).toDouble(), v.size() == 3, l});
    }
    return rows;
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline bool writeText(const QString& path, const QString& text) { return writeFile(path, text.toUtf8()); }

// Text written to name in dir: its path, or empty when it could not be written.
inline QString writeIn(const QTemporaryDir& dir, const QString& name, const QString& text)
{
    const QString path = dir.filePath(name);
    return writeText(path, text) ? path : QString();
}

// A 16-bit grey TIFF through the program's own writer, its folder made as
// needed; samples are rounded and clamped.
inline bool writeTiff(const QString& path, int w, int h, const std::function<double(int, int)>& px)
{
    std::vector<uint16_t> s(size_t(w) * size_t(h));
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            s[size_t(r) * size_t(w) + size_t(c)] = uint16_t(std::clamp(std::lround(px(c, r)), 0L, 65535L));
    QDir().mkpath(QFileInfo(path).absolutePath());
    return TiffWriter().write16(path, uint32_t(w), h, s.data());
}

// Appends pages of w x h samples of one value to a TIFF: a multi-page file
// whose first page is the one written before.
inline bool addTiffPages(const QString& path, int pages, int w, int h, uint16_t value)
{
    TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), "a");
    if (!t) return false;
    std::vector<uint16_t> row(size_t(w), value);
    bool ok = true;
    for (int p = 0; p < pages && ok; ++p) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(w));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(h));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(h));
        for (int r = 0; r < h && ok; ++r) ok = TIFFWriteScanline(t, row.data(), uint32_t(r), 0) >= 0;
        ok = ok && TIFFWriteDirectory(t);
    }
    TIFFClose(t);
    return ok;
}

// A file name carrying energy e in the default name pattern, e.g.
// "i1_08950_2500.tif" for 8950.25 eV.
inline QString energyName(const QString& tag, double e)
{
    const int whole = int(e);
    const int frac = int(std::lround((e - whole) * 10000));
    return QString("%1_%2_%3.tif").arg(tag).arg(whole, 5, 10, QChar('0')).arg(frac, 4, 10, QChar('0'));
}

// An "IM" raw image: 64-byte header, comment, little-endian rows of 2 or 4 bytes.
inline QByteArray imBytes(int w, int h, const std::function<double(int, int)>& px, int bytesPerPixel = 2,
                          const QByteArray& comment = "BytesPerPixel=2,ExposureTime=50 ms",
                          int hdrX = 0, int hdrY = 0)
{
    QByteArray c = comment;
    if (bytesPerPixel == 4) c.replace("BytesPerPixel=2", "BytesPerPixel=4");
    QByteArray bytes(64, '\0');
    bytes[0] = 'I';
    bytes[1] = 'M';
    qToLittleEndian<quint16>(quint16(c.size()), bytes.data() + 2);
    qToLittleEndian<quint16>(quint16(w), bytes.data() + 4);
    qToLittleEndian<quint16>(quint16(h), bytes.data() + 6);
    qToLittleEndian<quint16>(quint16(hdrX), bytes.data() + 8);
    qToLittleEndian<quint16>(quint16(hdrY), bytes.data() + 10);
    bytes += c;
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            char p[4];
            if (bytesPerPixel == 4) {
                qToLittleEndian<quint32>(quint32(px(x, r)), p);
                bytes.append(p, 4);
            } else {
                qToLittleEndian<quint16>(quint16(px(x, r)), p);
                bytes.append(p, 2);
            }
        }
    return bytes;
}

inline bool writeIm(const QString& path, int w, int h, const std::function<double(int, int)>& px,
                    int bytesPerPixel = 2)
{
    return writeFile(path, imBytes(w, h, px, bytesPerPixel));
}

// A two-column energy / mu file of the given points in the given order,
// written with every digit so it reads back exactly.
inline bool writeTwoColumns(const QString& path, const QVector<QPointF>& points)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return false;
    QTextStream out(&f);
    out << "# E mu\n";
    for (const QPointF& p : points)
        out << QString::number(p.x(), 'g', 17) << ' ' << QString::number(p.y(), 'g', 17) << '\n';
    return true;
}

inline bool writeSpectrum(const QString& path, const Spectrum& s) { return writeTwoColumns(path, s.points); }

}  // namespace ts

#endif
