#ifndef SUPPORT_FILES_H
#define SUPPORT_FILES_H

#include "core/Spectrum.h"
#include "core/TiffWriter.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QtEndian>

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

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline bool writeText(const QString& path, const QString& text) { return writeFile(path, text.toUtf8()); }

// A 16-bit grey TIFF through the program's own writer; samples are clamped.
inline bool writeTiff(const QString& path, int w, int h, const std::function<double(int, int)>& px)
{
    std::vector<uint16_t> s(size_t(w) * size_t(h));
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            s[size_t(r) * size_t(w) + size_t(c)] = uint16_t(std::max(0.0, std::min(65535.0, px(c, r))));
    return TiffWriter().write16(path, uint32_t(w), h, s.data());
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

// A spectrum as a two-column text file with a comment line.
inline bool writeSpectrum(const QString& path, const Spectrum& s)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    QTextStream out(&f);
    out.setRealNumberPrecision(12);
    out << "# E mu\n";
    for (const QPointF& p : s.points) out << p.x() << " " << p.y() << "\n";
    return true;
}

}  // namespace ts

#endif
