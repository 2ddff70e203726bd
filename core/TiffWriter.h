#ifndef TIFFWRITER_H
#define TIFFWRITER_H

#include <QByteArray>
#include <QString>

#include <cstdint>

// Writes grey images of unsigned 16-bit samples as uncompressed TIFF files.
class TiffWriter
{
public:
    // samples: width x height values, row 0 first. False when the file could
    // not be written; a partly written file stays on disk.
    bool write16(const QString& fileName, uint32_t width, int32_t height, const uint16_t* samples);
    // The same file's bytes, made in memory: empty when they cannot be made.
    QByteArray encode16(uint32_t width, int32_t height, const uint16_t* samples);
    // An image of that size filled with value ("flat.dat" with 1, "dark.dat" with 0).
    void writeConst(const QString& fileName, uint32_t width, int32_t height, uint16_t value);
    void writeOnes(const QString& fileName, uint32_t width, int32_t height);
    void writeZeros(const QString& fileName, uint32_t width, int32_t height);
};

#endif
