#include "TiffWriter.h"

#include <QDebug>
#include <QFile>

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <new>

bool TiffWriter::write16(const QString& fileName, uint32_t width, int32_t height,
                         const uint16_t* samples)
{
    if (height < 0 || (!samples && width > 0 && height > 0)) return false;
    TIFF* tif = TIFFOpen(QFile::encodeName(fileName).constData(), "w");
    if (!tif) return false;

    // RowsPerStrip is the width: images no taller than wide are one strip.
    const bool tagsSet = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width)
                         && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height))
                         && TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE)
                         && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK)
                         && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, width)
                         && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1)
                         && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16)
                         && TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG)
                         && TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (!tagsSet) {
        TIFFClose(tif);
        return false;
    }

    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    if (rowsPerStrip == 0 && height > 0) {
        TIFFClose(tif);
        return false;
    }
    const unsigned char* data = reinterpret_cast<const unsigned char*>(samples);
    uint32_t strip = 0;
    for (uint32_t r = 0; r < uint32_t(height); r += rowsPerStrip, ++strip) {
        const uint32_t n = std::min(rowsPerStrip, uint32_t(height) - r);
        const tmsize_t bytes = TIFFVStripSize(tif, n);
        if (bytes < 0 || TIFFWriteEncodedStrip(tif, strip, const_cast<unsigned char*>(data), bytes) < 0) {
            TIFFClose(tif);
            return false;
        }
        data += bytes;
    }
    // Flushing writes the directory; its failure is a failed write too.
    const bool flushed = TIFFFlush(tif);
    TIFFClose(tif);
    return flushed;
}

void TiffWriter::writeConst(const QString& fileName, uint32_t width, int32_t height,
                            uint16_t value)
{
    if (height < 0) return;
    const uint64_t count = uint64_t(width) * uint64_t(height);
    if (count > uint64_t(SIZE_MAX / sizeof(uint16_t))) return;
    uint16_t* samples = new (std::nothrow) uint16_t[count];
    if (!samples) {
        qDebug() << "Can't allocate" << width << "x" << height << "samples for" << fileName;
        return;
    }
    std::fill(samples, samples + count, value);
    write16(fileName, width, height, samples);
    delete[] samples;
}

void TiffWriter::writeOnes(const QString& fileName, uint32_t width, int32_t height)
{
    writeConst(fileName, width, height, 1);
}

void TiffWriter::writeZeros(const QString& fileName, uint32_t width, int32_t height)
{
    writeConst(fileName, width, height, 0);
}
