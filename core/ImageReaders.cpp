// The image file readers of TiffData: TIFF through libtiff, the "IM" raw
// format and the "#QDRN-CTImg" text format.

#include "TiffData.h"

#include "Globals.h"
#include "StringUtil.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QtEndian>

#include <tiffio.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <new>

namespace {

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

bool tooLarge(qint64 width, qint64 height, const QString& fileName)
{
    if (TiffData::sizeAllowed(width, height)) return false;
    qDebug() << "Image too large:" << width << "x" << height << fileName;
    return true;
}

template <typename T>
void widenRange(const T* row, uint32_t n, double& min, double& max)
{
    if (n == 0) return;
    T lo = row[0], hi = row[0];
    for (uint32_t i = 1; i < n; ++i) {
        lo = std::min(lo, row[i]);
        hi = std::max(hi, row[i]);
    }
    if (lo < min) min = lo;
    if (hi > max) max = hi;
}

// The same for 16-bit rows, read once per load. Flipping the top bit turns
// unsigned order into signed order, for which SSE2 has single min / max
// instructions; the unsigned loop needs several per step.
template <>
void widenRange<uint16_t>(const uint16_t* row, uint32_t n, double& min, double& max)
{
    if (n == 0) return;
    int16_t lo = INT16_MAX, hi = INT16_MIN;
    for (uint32_t i = 0; i < n; ++i) {
        const int16_t s = int16_t(uint16_t(row[i] ^ 0x8000u));
        lo = std::min(lo, s);
        hi = std::max(hi, s);
    }
    const double loValue = double(uint16_t(uint16_t(lo) ^ 0x8000u));
    const double hiValue = double(uint16_t(uint16_t(hi) ^ 0x8000u));
    if (loValue < min) min = loValue;
    if (hiValue > max) max = hiValue;
}

// Seconds from the EXIF directory. This libtiff keeps some rationals as float
// and others as double: the field's own storage size picks the type to read.
double exifExposureSeconds(TIFF* tif, double seconds)
{
    toff_t exifOffset = 0;
    if (!TIFFGetField(tif, TIFFTAG_EXIFIFD, &exifOffset)) return seconds;
    if (!TIFFReadEXIFDirectory(tif, exifOffset)) return seconds;
    const TIFFField* field = TIFFFieldWithTag(tif, EXIFTAG_EXPOSURETIME);
    if (!field) return seconds;
    switch (TIFFFieldSetGetSize(field)) {
    case 4: {
        float v = 0;
        if (TIFFGetField(tif, EXIFTAG_EXPOSURETIME, &v)) return v;
        break;
    }
    case 8: {
        double v = 0;
        if (TIFFGetField(tif, EXIFTAG_EXPOSURETIME, &v)) return v;
        break;
    }
    default:
        qDebug() << "Unexpected storage of the EXIF exposure time";
        break;
    }
    return seconds;
}

int truncatedInt(double v)
{
    if (!std::isfinite(v)) return 0;
    return int(qBound(double(INT_MIN), std::trunc(v), double(INT_MAX)));
}

}  // namespace

bool TiffData::load(const QString& fileName)
{
    const ErrPoints list = errPs ? *errPs : ErrPoints();
    return load(fileName, list);
}

bool TiffData::load(const QString& fileName, const ErrPoints& errList)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        qDebug() << "Can not open (1)" << fileName;
        return false;
    }
    const QByteArray head = f.read(15);
    f.close();
    if (head.size() < 15) {
        qDebug() << "Error on reading file (1)" << fileName;
        return false;
    }

    // Read into a fresh frame so a failure leaves this one as it was.
    TiffData loaded;
    loaded.format = format;
    loaded.shiftX = shiftX;
    loaded.shiftY = shiftY;
    loaded.loadedErrPoints = errList;
    loaded.errPs = &loaded.loadedErrPoints;

    bool ok = false;
    // Allocation failures inside Qt or the readers refuse the file; they
    // must not end the program.
    try {
        if (head.startsWith("II") || head.startsWith("MM")) {
            ok = loaded.readTiff(fileName);
        } else if (head.startsWith("IM")) {
            ok = loaded.readImg(fileName);
        } else if (QString::fromLatin1(head.constData(), int(qstrnlen(head.constData(), 15)))
                       .startsWith("#QDRN-CTImg")) {
            ok = loaded.readText(fileName);
        } else {
            qDebug() << "Unknown image format" << fileName;
        }
    } catch (const std::bad_alloc&) {
        qDebug() << "Out of memory reading" << fileName;
        ok = false;
    }
    if (ok) adopt(loaded);
    return ok;
}

bool TiffData::readTiff(const QString& fileName)
{
    TiffHandle tif(TIFFOpen(QFile::encodeName(fileName).constData(), "r"));
    if (!tif) {
        qDebug() << "Can not open TIFF" << fileName;
        return false;
    }
    pixelType = TiffUInt16;
    uint32_t w = width, h = height;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
    width = w;
    height = h;
    file = fileName;
    resetRange();

    if (TIFFIsTiled(tif.get())) {
        qDebug() << "Tiled TIFF is not supported" << fileName;
        return false;
    }
    // Other sample layouts would read as halves of 16-bit values and look
    // like data.
    uint16_t bits = 1, samples = 1, sampleFormat = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    if (bits != 16 || samples != 1
        || (sampleFormat != SAMPLEFORMAT_UINT && sampleFormat != SAMPLEFORMAT_INT)) {
        const char* kind = sampleFormat == SAMPLEFORMAT_IEEEFP ? "floating-point"
                           : sampleFormat == SAMPLEFORMAT_UINT || sampleFormat == SAMPLEFORMAT_INT
                               ? "integer"
                               : "other";
        qDebug().noquote() << QStringLiteral(
                                  "Not a 16-bit grey TIFF: %1 sample(s) of %2 bits (%3) per pixel; "
                                  "only single-channel 16-bit integer images are read: %4")
                                  .arg(QString::number(samples), QString::number(bits), QLatin1String(kind), fileName);
        return false;
    }
    if (tooLarge(w, h, fileName)) return false;
    const tmsize_t lineBytes = TIFFScanlineSize(tif.get());
    // Rows are read as width 16-bit samples: shorter scan lines would be
    // read past their end.
    if (lineBytes < 2 * tmsize_t(w) || lineBytes > INT_MAX) {
        qDebug() << "Not a 16-bit grey TIFF: scan line of" << lineBytes << "bytes for" << w
                 << "pixels" << fileName;
        return false;
    }
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);
    if (compression == COMPRESSION_NONE) {
        const qint64 fileBytes = QFileInfo(fileName).size();
        if (qint64(lineBytes) * h > fileBytes) {
            qDebug() << "TIFF file too short:" << w << "x" << h << "pixels need"
                     << qint64(lineBytes) * h << "bytes, the file has" << fileBytes << fileName;
            return false;
        }
    }
    scanlineSize = int(lineBytes);

    if (!allocateRows(lineBytes, h)) {
        qDebug() << "Out of memory reading" << fileName;
        return false;
    }
    for (uint32_t r = 0; r < h; ++r) {
        void* row = rows[int(r)];
        if (TIFFReadScanline(tif.get(), row, r, 0) < 0) {
            qDebug() << "Error on reading TIFF row" << r << fileName;
            return false;
        }
        widenRange(static_cast<const uint16_t*>(row), w, min, max);
    }

    // A multi-page file loads as its first page; the loader says so.
    pages = int(std::min<qint64>(qint64(TIFFNumberOfDirectories(tif.get())), INT_MAX));
    // After the rows: this leaves the image's own directory.
    exposureMs = 1000.0 * exifExposureSeconds(tif.get(), 0.1);
    tif.reset();

    if (errPs->repairs()) fixErrPoints();
    makeQImage();
    return true;
}

int TiffData::readImgHeader(const QString& fileName)
{
    width = height = 0;
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        qDebug() << "Can not open" << fileName << "[" << f.error() << "]";
        return 0;
    }
    const QByteArray h = f.read(40);
    if (h.size() <= 9) {
        qDebug() << "Error on reading (4)" << fileName;
        return 0;
    }
    auto u16 = [&h](int i) {
        return i + 1 < h.size() ? int(qFromLittleEndian<quint16>(h.constData() + i)) : 0;
    };
    const int commentLength = u16(2);
    width = uint32_t(u16(4));
    height = uint32_t(u16(6));
    hdrX = u16(8);
    hdrY = u16(10);  // 0 when the header ends before it

    QByteArray comment;
    if (f.seek(64)) comment = f.read(commentLength);
    f.close();

    const int bpp = findKeyInHeader(comment, "BytesPerPixel=", ',', "2").toInt();
    bytesPerPixel = short(qBound(int(SHRT_MIN), bpp, int(SHRT_MAX)));

    const QStringList exposure =
        findKeyInHeader(comment, "ExposureTime=", ',', "0.1").simplified().split(' ');
    exposureMs = exposure.at(0).toDouble();
    if (exposure.size() < 2) {
        exposureMs *= 1000;  // seconds
    } else {
        const QString& unit = exposure.at(1);
        if (unit == "us")
            exposureMs *= 0.001;
        else if (unit == "s")
            exposureMs *= 1000;
    }
    return 64 + commentLength;
}

bool TiffData::readImg(const QString& fileName)
{
    const int offset = readImgHeader(fileName);
    if (offset < 1) return false;
    file = fileName;
    resetRange();

    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        qDebug() << "Can not open (2)" << fileName;
        return false;
    }
    const bool wide = bytesPerPixel == 4;
    const qint64 rowBytes = qint64(width) * (wide ? 4 : 2);
    auto sizeError = [&]() {
        qDebug() << "invalid file size. expected (h,w) = " << height << width;
        qDebug() << (wide ? "Error on reading (2)" : "Error on reading (3)") << fileName;
        return false;
    };
    // A short file is refused before anything is allocated for it.
    if (f.size() < offset + rowBytes * height) return sizeError();
    if (tooLarge(width, height, fileName)) return false;
    if (!f.seek(offset)) return sizeError();

    pixelType = wide ? UInt32 : UInt16;
    if (!allocateRows(rowBytes, height)) {
        qDebug() << "Out of memory reading" << fileName;
        return false;
    }
    for (uint32_t r = 0; r < height; ++r) {
        char* row = static_cast<char*>(rows[int(r)]);
        if (f.read(row, rowBytes) != rowBytes) return sizeError();
        if (wide) {
            uint32_t* p = reinterpret_cast<uint32_t*>(row);
            qFromLittleEndian<quint32>(p, width, p);
            widenRange(p, width, min, max);
        } else {
            uint16_t* p = reinterpret_cast<uint16_t*>(row);
            qFromLittleEndian<quint16>(p, width, p);
            widenRange(p, width, min, max);
        }
    }
    f.close();

    if (errPs->repairs()) fixErrPoints();
    makeQImage();
    return true;
}

int TiffData::readTextHeader(const QString& fileName)
{
    width = height = 0;
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    int count = 0;
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug() << "Can not open" << fileName << "[" << f.error() << "]";
        return -1;
    }
    QTextStream in(&f);
    QString line;
    qint64 headerBytes = 0;
    while (in.readLineInto(&line)) {
        QString first, key, sep, value;
        QString rest = nextItem(line, first);
        if (!first.startsWith('#')) break;
        headerBytes += line.toUtf8().size() + 1;
        rest = nextItem(rest, key);
        rest = nextItem(rest, sep);
        nextItem(rest, value);
        qDebug() << "ksv" << key << sep << value;
        const QString k = key.toUpper();
        if (k == "RANGE_X0")
            x0 = truncatedInt(value.toDouble());
        else if (k == "RANGE_X1")
            x1 = truncatedInt(value.toDouble());
        else if (k == "RANGE_Y0")
            y0 = truncatedInt(value.toDouble());
        else if (k == "RANGE_Y1")
            y1 = truncatedInt(value.toDouble());
        ++count;
    }
    f.close();

    const qint64 w = qint64(x1) - x0;
    const qint64 h = qint64(y1) - y0;
    qDebug() << "rrr" << x0 << x1 << y0 << y1 << w << h;
    if (w < 1 || h < 1) {
        qDebug() << "No pixels in the range of" << fileName;
        return -1;
    }
    if (tooLarge(w, h, fileName)) return -1;
    // Every pixel is a line of its own, at least its line end: a file cannot
    // describe more pixels than it has bytes after its header. Lines missing
    // at the end read as 0, but a header alone must not buy a huge image.
    const qint64 room = std::max<qint64>(0, QFileInfo(fileName).size() - headerBytes);
    if (w * h > room) {
        qDebug().noquote() << QStringLiteral("Text image %1 declares %2 x %3 pixels but holds at most %4: not read")
                                  .arg(fileName, QString::number(w), QString::number(h), QString::number(room));
        return -1;
    }
    width = uint32_t(w);
    height = uint32_t(h);
    pixelType = Float32;
    return count;
}

bool TiffData::readText(const QString& fileName)
{
    const int headerLines = readTextHeader(fileName);
    if (headerLines < 0) return false;
    file = fileName;
    resetRange();

    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug() << "Can not open (2)" << fileName;
        return false;
    }
    QTextStream in(&f);
    QString line;
    for (int i = 0; i < headerLines; ++i) in.readLineInto(&line);

    pixelType = Float32;
    if (!allocateRows(qint64(width) * qint64(sizeof(float)), height)) {
        qDebug() << "Out of memory reading" << fileName;
        return false;
    }
    bool ended = false;
    for (uint32_t r = 0; r < height; ++r) {
        float* row = static_cast<float*>(rows[int(r)]);
        uint32_t c = 0;
        for (; c < width && !ended; ++c) {
            if (!in.readLineInto(&line)) {
                ended = true;
                break;
            }
            QString item;
            QString rest = nextItem(line, item);  // x and y: pixels come in row-major order
            rest = nextItem(rest, item);
            nextItem(rest, item);
            double v = item.toDouble() * 500;
            if (std::isnan(v) || v < 0) v = 0;
            row[c] = float(std::min(v, double(FLT_MAX)));
        }
        // Missing pixels are 0, written in one go rather than one read each.
        if (c < width) std::fill(row + c, row + width, 0.0f);
        for (uint32_t i = 0; i < width; ++i) {
            if (row[i] < min) min = row[i];
            if (row[i] > max) max = row[i];
        }
    }
    f.close();
    makeQImage();
    return true;
}
