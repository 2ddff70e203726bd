#include "TiffWriter.h"

#include <QDebug>
#include <QFile>

#include <tiffio.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <new>

namespace {

// Tags, strips and the directory into an open TIFF, which is closed.
bool writeImage(TIFF* tif, uint32_t width, int32_t height, const uint16_t* samples)
{
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

// A TIFF "file" in memory for libtiff's client interface.
struct MemoryFile
{
    QByteArray data;
    qint64 pos = 0;
};

tmsize_t memRead(thandle_t h, void* buf, tmsize_t n)
{
    auto* m = static_cast<MemoryFile*>(h);
    const qint64 left = std::max<qint64>(0, m->data.size() - m->pos);
    const qint64 k = std::min<qint64>(n, left);
    if (k > 0) std::memcpy(buf, m->data.constData() + m->pos, size_t(k));
    m->pos += k;
    return tmsize_t(k);
}

tmsize_t memWrite(thandle_t h, void* buf, tmsize_t n)
{
    auto* m = static_cast<MemoryFile*>(h);
    const qint64 end = m->pos + n;
    if (n < 0 || end > INT_MAX) return -1;
    const int old = m->data.size();
    if (end > old) {
        m->data.resize(int(end));
        // A seek past the end leaves a gap: zeros, as a file would read.
        if (m->pos > old) std::memset(m->data.data() + old, 0, size_t(m->pos - old));
    }
    std::memcpy(m->data.data() + m->pos, buf, size_t(n));
    m->pos = end;
    return n;
}

toff_t memSeek(thandle_t h, toff_t off, int whence)
{
    auto* m = static_cast<MemoryFile*>(h);
    const qint64 base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->data.size() : 0;
    const qint64 to = base + qint64(off);
    if (to < 0 || to > INT_MAX) return toff_t(-1);
    m->pos = to;
    return toff_t(to);
}

int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return toff_t(static_cast<MemoryFile*>(h)->data.size()); }
int memMap(thandle_t, void**, toff_t*) { return 0; }
void memUnmap(thandle_t, void*, toff_t) {}

}  // namespace

bool TiffWriter::write16(const QString& fileName, uint32_t width, int32_t height,
                         const uint16_t* samples)
{
    if (height < 0 || (!samples && width > 0 && height > 0)) return false;
    TIFF* tif = TIFFOpen(QFile::encodeName(fileName).constData(), "w");
    if (!tif) return false;
    return writeImage(tif, width, height, samples);
}

QByteArray TiffWriter::encode16(uint32_t width, int32_t height, const uint16_t* samples)
{
    if (height < 0 || (!samples && width > 0 && height > 0)) return QByteArray();
    MemoryFile m;
    TIFF* tif = TIFFClientOpen("memory", "w", &m, memRead, memWrite, memSeek, memClose, memSize, memMap,
                               memUnmap);
    if (!tif) return QByteArray();
    if (!writeImage(tif, width, height, samples)) return QByteArray();
    return m.data;
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
