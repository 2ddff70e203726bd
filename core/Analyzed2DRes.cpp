#include "Analyzed2DRes.h"

#include "SafeWrite.h"

#include "ColorScale.h"
#include "Globals.h"

#include <QDateTime>
#include <QDir>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QVector>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

// Fraction of v within [lo, hi]; equal ends put values above them at the top.
double fractionOf(double v, double lo, double hi)
{
    const double range = hi - lo;
    if (range != 0) return (v - lo) / range;
    return v > lo ? 1.0 : 0.0;
}

quint16 toSample(double v, double lo, double hi)
{
    if (hi == lo) return 0;
    double f = (std::min(hi, std::max(lo, v)) - lo) / (hi - lo);
    if (!(f >= 0)) return 0;  // NaN from non-finite limits
    if (f > 1) f = 1;
    return quint16(std::trunc(f * 65535));
}

double* newZeroed(qint64 n)
{
    return new double[size_t(n)]();
}

}  // namespace

Analyzed2DRes::Analyzed2DRes(QString name) : QObject(nullptr)
{
    grid.clear();
    fit.clear();
    init(name);
    clear();
}

Analyzed2DRes::~Analyzed2DRes()
{
    freeArrays();
}

void Analyzed2DRes::freeArrays()
{
    delete image;
    image = nullptr;
    delete[] buffer;
    buffer = nullptr;
    delete[] data;
    data = nullptr;
    delete[] proc;
    proc = nullptr;
}

void Analyzed2DRes::init(const QString& name)
{
    freeArrays();
    no = 0;
    this->name = name;
    hasImage = false;
    dataMin = 1e300;
    dataMax = -1e300;
    minPos = QPoint(0, 0);
    maxPos = QPoint(0, 0);
    fixedMin = 1e300;
    fixedMax = -1e300;
    fixedScale = false;
    format = QImage::Format_Grayscale8;
    exportCount = 0;
    procMin = 0;
    procMax = 1;
    deglitchFactor = 2.0;
    deglitchRatio = 0.9;
    showProc = false;
}

void Analyzed2DRes::clear()
{
    grid.clear();
    allocData();
}

void Analyzed2DRes::setNo(int no)
{
    this->no = no;
}

void Analyzed2DRes::setCond(const AnalyzeCond& c)
{
    grid = c;
    allocData();
}

void Analyzed2DRes::allocData()
{
    procMin = 0;
    procMax = 1;
    dataMin = 1e300;
    dataMax = -1e300;
    freeArrays();
    if (grid.width > 0 && grid.height > 0) {
        const qint64 n = qint64(grid.width) * grid.height;
        data = newZeroed(n);
        proc = newZeroed(n);
    }
    hasImage = false;
    fit.clear();
    noValue.clear();
}

void Analyzed2DRes::markAllWithoutValue()
{
    const qint64 n = qint64(grid.width) * grid.height;
    // A bit array is indexed by int; a map too large for one stays unmarked.
    if (!data || n > INT_MAX) return;
    noValue = QBitArray(int(n), true);
}

void Analyzed2DRes::setData(int ix, int iy, int xw, int yw, double t)
{
    if (t > dataMax) {
        dataMax = t;
        maxPos = QPoint(ix, iy);
    }
    if (t < dataMin) {
        dataMin = t;
        minPos = QPoint(ix, iy);
    }
    if (data) {
        AnalyzeCond block = grid;
        block.xw = std::abs(xw);
        block.yw = std::abs(yw);
        block.curX = ix;
        block.curY = iy;
        block.fillBlock(data, t);
        if (!noValue.isEmpty()) {
            const int r0 = std::max(0, iy - block.yw), r1 = std::min(grid.height - 1, iy + block.yw);
            const int c0 = std::max(0, ix - block.xw), c1 = std::min(grid.width - 1, ix + block.xw);
            for (int r = r0; r <= r1; ++r)
                for (int c = c0; c <= c1; ++c) noValue.clearBit(int(qint64(r) * grid.width + c));
        }
    }
    fit.addPoint(ix, iy, t);
}

double Analyzed2DRes::blockSum(int ix, int iy, int xw, int yw) const
{
    if (!data) return 0;
    xw = std::abs(xw);
    yw = std::abs(yw);
    const int r0 = std::max(0, iy - yw), r1 = std::min(grid.height - 1, iy + yw);
    const int c0 = std::max(0, ix - xw), c1 = std::min(grid.width - 1, ix + xw);
    double sum = 0;
    for (int r = r0; r <= r1; ++r) {
        const double* row = data + qint64(r) * grid.width;
        for (int c = c0; c <= c1; ++c) sum += row[c];
    }
    return sum;
}

double Analyzed2DRes::valueAt(int x, int y) const
{
    if (!data || !inside(x, y)) return 0;
    return data[qint64(y) * grid.width + x];
}

double Analyzed2DRes::activeMin() const
{
    if (fixedScale) return fixedMin;
    return showProc ? procMin : dataMin;
}

double Analyzed2DRes::activeMax() const
{
    if (fixedScale) return fixedMax;
    return showProc ? procMax : dataMax;
}

bool Analyzed2DRes::centreValue(const double* a, int x, int y, double* v) const
{
    if (!a || !inside(x, y)) return false;
    *v = a[qint64(y) * grid.width + x];
    return true;
}

void Analyzed2DRes::genImg()
{
    delete image;
    image = nullptr;
    delete[] buffer;
    buffer = nullptr;
    hasImage = false;

    const double* src = showProc ? proc : data;
    if (!src) return;

    const ColorScale& scale = currentColorScale();
    // The scale writes pixels in its own format, so the buffer must be of it.
    format = scale.imageFormat == QImage::Format_RGB888 ? QImage::Format_RGB888
                                                        : QImage::Format_Grayscale8;
    const int w = grid.width, h = grid.height;
    buffer = newImageBuffer(format, w, h);
    if (!buffer) return;
    const int bpl = bytesPerLineOfFormat(format, w);
    const double lo = activeMin(), hi = activeMax();
    for (int r = 0; r < h; ++r) {
        unsigned char* dst = buffer + qint64(r) * bpl;
        const double* row = src + qint64(r) * w;
        for (int c = 0; c < w; ++c) dst = scale.valueToPixel(fractionOf(row[c], lo, hi), dst);
    }
    image = newQImage(format, buffer, w, h);
    hasImage = image != nullptr;
    fit.calc();
}

QImage* Analyzed2DRes::img()
{
    return image;
}

quint16* Analyzed2DRes::tiffDataForSave(bool fixedScale, double scaleMin, double scaleMax,
                                        bool asAnalyzed)
{
    double lo, hi;
    if (fixedScale) {
        lo = scaleMin;
        hi = scaleMax;
    } else if (showProc) {
        lo = procMin;
        hi = procMax;
    } else {
        lo = dataMin;
        hi = dataMax;
    }
    const double* src = showProc ? proc : data;
    if (!src) return nullptr;

    const qint64 pixels = qint64(grid.width) * grid.height;
    if (!asAnalyzed) {
        quint16* out = new quint16[size_t(pixels)];
        for (qint64 i = 0; i < pixels; ++i) out[i] = toSample(src[i], lo, hi);
        exportCount = int(pixels);
        return out;
    }

    // One sample per block; blocks whose centre lies outside the map give 0.
    // The array is never smaller than the map, for callers that assume so.
    AnalyzeCond g = grid;
    const qint64 blocks = g.blockCount();
    quint16* out = new quint16[size_t(std::max(blocks, pixels))]();
    qint64 i = 0;
    g.reset();
    do {
        double v;
        if (i < blocks && centreValue(src, g.curX, g.curY, &v)) out[i] = toSample(v, lo, hi);
        ++i;
    } while (g.next());
    exportCount = int(i);
    return out;
}

void Analyzed2DRes::setDeglitchConds(double f, double r)
{
    deglitchFactor = f;
    deglitchRatio = r;
}

void Analyzed2DRes::selectProcImg(bool f)
{
    showProc = f;
    genImg();
}

void Analyzed2DRes::deglitch()
{
    if (!data || !proc) return;
    const int w = grid.width, h = grid.height;
    AnalyzeCond g = grid;
    const int sx = g.stepX, sy = g.stepY;
    auto at = [&](int x, int y) { return data[qint64(y) * w + x]; };

    // Scores are also kept per block, so overlapping blocks cannot overwrite
    // each other's score before the replacement pass reads it.
    QVector<double> scores;
    double sum = 0;
    int count = 0;
    g.reset();
    do {
        if (g.rowStart) qDebug() << "deglitch" << g.curY;
        const int x = g.curX, y = g.curY;
        if (!inside(x, y)) continue;
        const double v = at(x, y);
        const bool xPair = x - sx >= 0 && x + sx < w;
        const bool yPair = y - sy >= 0 && y + sy < h;
        const double dx = xPair ? std::abs(2 * v - at(x - sx, y) - at(x + sx, y)) : 0;
        const double dy = yPair ? std::abs(2 * v - at(x, y - sy) - at(x, y + sy)) : 0;
        double score = 0;
        if (xPair && yPair) score = (dx + dy) / 2;
        else if (xPair) score = dx;
        else if (yPair) score = dy;
        g.fillBlock(proc, score);
        scores.append(score);
        sum += score;
        ++count;
    } while (g.next());

    const double threshold = count > 0 ? sum / count * deglitchFactor : 0;
    procMin = 1e300;
    procMax = -1e300;
    const double d = (dataMax - dataMin) * deglitchRatio;

    int k = 0;
    g.reset();
    do {
        if (g.rowStart) qDebug() << "deglitch 2" << g.curY;
        const int x = g.curX, y = g.curY;
        if (!inside(x, y)) continue;
        const double v = at(x, y);
        const double s = scores[k++];
        double nv = v;
        if (s > threshold && (v < dataMin + d || v > dataMax - d)) {
            const int nx[4] = {x - sx, x + sx, x, x};
            const int ny[4] = {y, y, y - sy, y + sy};
            double nsum = 0;
            int n = 0;
            for (int i = 0; i < 4; ++i)
                if (inside(nx[i], ny[i])) {
                    nsum += at(nx[i], ny[i]);
                    ++n;
                }
            if (n > 0) nv = nsum / n;
        }
        if (nv > procMax) procMax = nv;
        if (nv < procMin) procMin = nv;
        g.fillBlock(proc, nv);
    } while (g.next());

    if (showProc) genImg();
}

void Analyzed2DRes::deglitch2(double limit)
{
    if (!data || !proc) return;
    const int w = grid.width;
    AnalyzeCond g = grid;
    auto at = [&](int x, int y) { return data[qint64(y) * w + x]; };

    double sum = 0;
    int count = 0;
    g.reset();
    do {
        if (g.rowStart) qDebug() << "deglitch2" << g.curY;
        if (!inside(g.curX, g.curY)) continue;
        const double v = at(g.curX, g.curY);
        if (std::abs(v) < limit) {
            sum += v;
            ++count;
        }
    } while (g.next());
    const double m = count > 0 ? sum / count : 0;

    procMin = 1e300;
    procMax = -1e300;
    g.reset();
    do {
        if (g.rowStart) qDebug() << "deglitch 2" << g.curY;
        const int x = g.curX, y = g.curY;
        if (!inside(x, y)) continue;
        const double v = at(x, y);
        double nv = v;
        if (std::abs(v - m) > limit) {
            double nsum = 0;
            int n = 0;
            for (int dx = -1; dx <= 1; ++dx)
                for (int dy = -1; dy <= 1; ++dy) {
                    if (dx == 0 && dy == 0) continue;
                    const int px = x + dx * g.stepX, py = y + dy * g.stepY;
                    if (!inside(px, py)) continue;
                    const double nb = at(px, py);
                    if (std::abs(nb - m) < limit) {
                        nsum += nb;
                        ++n;
                    }
                }
            nv = n > 0 ? nsum / n : 0.0;
        }
        if (nv > procMax) procMax = nv;
        if (nv < procMin) procMin = nv;
        g.fillBlock(proc, nv);
    } while (g.next());

    if (showProc) genImg();
}

void Analyzed2DRes::copyProc2Data()
{
    if (!data || !proc) return;
    std::memcpy(data, proc, sizeof(double) * size_t(qint64(grid.width) * grid.height));
    dataMin = procMin;
    dataMax = procMax;
}

void Analyzed2DRes::setFixedScale(bool f)
{
    fixedScale = f;
    genImg();
    setCBarRange();
}

void Analyzed2DRes::setScale(double min, double max)
{
    fixedMin = min;
    fixedMax = max;
    genImg();
    setCBarRange();
}

void Analyzed2DRes::setCBarRange()
{
    if (!mainColorBar) return;
    mainColorBar->valueMin = activeMin();
    mainColorBar->valueMax = activeMax();
    mainColorBar->paintCBar();
}

void Analyzed2DRes::copyFrom(const Analyzed2DRes* src)
{
    // Copying onto itself would free what it is about to copy.
    if (!src || src == this) return;
    no = src->no;
    name = src->name;
    grid = src->grid;
    hasImage = src->hasImage;
    format = src->format;
    exportCount = src->exportCount;
    dataMin = src->dataMin;
    dataMax = src->dataMax;
    fixedMin = src->fixedMin;
    fixedMax = src->fixedMax;
    fixedScale = src->fixedScale;
    procMin = src->procMin;
    procMax = src->procMax;
    deglitchFactor = src->deglitchFactor;
    deglitchRatio = src->deglitchRatio;
    showProc = src->showProc;

    freeArrays();
    noValue = src->noValue;
    if (!hasImage) return;
    const qint64 n = qint64(grid.width) * grid.height;
    if (src->data) {
        data = new double[size_t(n)];
        std::memcpy(data, src->data, sizeof(double) * size_t(n));
    }
    if (src->proc) {
        proc = new double[size_t(n)];
        std::memcpy(proc, src->proc, sizeof(double) * size_t(n));
    }
    if (src->buffer) {
        buffer = newImageBuffer(format, grid.width, grid.height);
        if (buffer)
            std::memcpy(buffer, src->buffer,
                        size_t(bytesPerLineOfFormat(format, grid.width)) * size_t(grid.height));
    }
    image = buffer ? newQImage(format, buffer, grid.width, grid.height) : nullptr;
    hasImage = image != nullptr;
}

void Analyzed2DRes::writeHeader(QTextStream& out, bool csv, bool xyz)
{
    out << "## 240301\n";
    out << "## Corvenlith Analyzed 2D Result\n";
    out << "# Date    : " << QDateTime::currentDateTime().toString("yyyy/MM/dd hh:mm:ss.zzz")
        << "\n";
    out << "## Energy : \n";
    out << "# Format1 : " << (xyz ? "XYZ" : "VVV") << "\n";
    out << "# Format2 : " << (csv ? "CSV" : "SPACE-Separated") << "\n";
    out << "# X-NUM " << QString::number(grid.blocksPerRow()) << "\n";
    out << "# Y-NUM " << QString::number(grid.blockRows()) << "\n";
    out << "## End of Header ##\n";
}

bool Analyzed2DRes::saveAsText(const QFileInfo& file, bool asAnalyzed, bool csv, bool xyz)
{
    Q_UNUSED(asAnalyzed);
    const QString path = file.filePath();
    if (!data) {
        qDebug().noquote() << "No data to save in" << name << ":" << path;
        return false;
    }
    // Written beside the target and put in its place only when whole.
    const QString why = SafeWrite::toFile(path, [&](QIODevice& out) { return writeText(out, csv, xyz); }, true);
    if (why.isEmpty()) return true;
    if (QFileInfo(path).absoluteDir().exists())
        qDebug().noquote() << "Write error in" << path << ":" << why;
    else
        qDebug().noquote() << "Can't open" << path;
    return false;
}

bool Analyzed2DRes::writeText(QIODevice& device, bool csv, bool xyz)
{
    if (!data) return false;
    QTextStream out(&device);
    writeHeader(out, csv, xyz);

    const QChar sep = csv ? QChar(',') : QChar(' ');
    grid.reset();
    do {
        double v = 0;  // a block centred outside the map has no value
        centreValue(data, grid.curX, grid.curY, &v);
        const QString vs = QString::number(v, 'g', 6);
        if (xyz) {
            out << QString::number(grid.curX) << sep << QString::number(grid.curY) << sep << vs
                << "\n";
        } else {
            if (grid.rowStart) out << "\n";
            else out << sep;
            out << vs;
        }
    } while (grid.next());
    if (!xyz) out << "\n";
    out.flush();
    return out.status() == QTextStream::Ok;
}
