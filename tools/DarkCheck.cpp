#include "DarkCheck.h"

#include "core/ErrPoints.h"
#include "core/SafeWrite.h"
#include "core/TiffData.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QSet>

#include <cmath>
#include <memory>
#include <vector>

namespace DarkCheck {

const char* const histogramFile = "dark-hg-all.dat";
const char* const pointsFile = "dark-allDarkPoints.dat";
const char* const pointNumsFile = "dark-allDarkPointNums.dat";
const char* const onlyInPointsFile = "dark-allDarkPoints-onlyInPs1.dat";
const char* const onlyInErrPointsFile = "dark-allDarkPoints-onlyInErrPs.dat";

namespace {

QByteArray number(double v)
{
    return QByteArray::number(v, 'g', 6);
}

QSet<QPair<int, int>> pixelSet(const QVector<DarkPoint>& points)
{
    QSet<QPair<int, int>> s;
    s.reserve(points.size());
    for (const DarkPoint& p : points) s.insert(qMakePair(p.x, p.y));
    return s;
}

}  // namespace

bool stackUsable(const QVector<TiffData*>& images)
{
    if (images.isEmpty()) {
        qDebug() << "Dark check: no I1 image";
        return false;
    }
    for (const TiffData* img : images) {
        if (!img) {
            qDebug() << "Dark check: missing I1 image";
            return false;
        }
    }
    const TiffData* first = images.first();
    for (const TiffData* img : images) {
        if (img->width != first->width || img->height != first->height) {
            qDebug() << "Dark check: I1 images differ in size;"
                     << "pixels outside an image read 0 there";
            break;
        }
    }
    return true;
}

bool binsUsable(int bins)
{
    if (bins < 0 || bins > maxBins) {
        qDebug() << "Dark check: histogram bins" << bins << "out of 0 ..." << maxBins;
        return false;
    }
    return true;
}

int histogramIndex(double v, double min, double max, int bins)
{
    if (std::isnan(v)) return 0;
    if (!(max > min)) return v >= max ? bins : 0;
    if (v >= max) return bins;
    if (v <= min) return 0;
    // Multiplying before dividing keeps a value on a bin's lower edge (17400
    // of 60000 in 100 bins) in that bin; v / max * bins would give 28.999...
    const double q = (v - min) * bins / (max - min);
    if (!(q >= 0)) return 0;
    return q >= bins ? bins : int(q);
}

Histogram histogram(const QVector<TiffData*>& images, double max, int bins)
{
    Histogram h;
    h.min = 0;
    h.max = max;
    h.counts.fill(0, bins + 1);
    for (const TiffData* img : images) {
        const int w = int(img->width);
        const int ht = int(img->height);
        for (int y = 0; y < ht; y++)
            for (int x = 0; x < w; x++)
                h.counts[histogramIndex(img->pixelValue(x, y), h.min, h.max, bins)]++;
    }
    return h;
}

DarkPoints findDarkPoints(const QVector<TiffData*>& images, double th)
{
    DarkPoints d;
    if (images.isEmpty()) return d;
    const TiffData* first = images.first();
    d.width = int(first->width);
    d.height = int(first->height);
    for (int y = 0; y < d.height; y++) {
        for (int x = 0; x < d.width; x++) {
            const double v = first->pixelValue(x, y);
            if (v > th) d.points.append({x, y, v});
        }
    }
    d.left.append(d.points.size());
    for (int i = 1; i < images.size(); i++) {
        QVector<DarkPoint> kept;
        kept.reserve(d.points.size());
        for (DarkPoint p : d.points) {
            const double v = images[i]->pixelValue(p.x, p.y);
            if (v > th) {
                p.value += v;
                kept.append(p);
            }
        }
        d.points.swap(kept);
        d.left.append(d.points.size());
    }
    return d;
}

QByteArray histogramText(const Histogram& h)
{
    const int n = h.counts.size();
    QByteArray t = "# min, max = (" + number(h.min) + ", " + number(h.max)
                   + ")  bins = " + QByteArray::number(n - 1) + "\n";
    const double step = n > 1 ? (h.max - h.min) / (n - 1) : 0.0;
    double lower = h.min;
    for (int i = 0; i < n; i++) {
        t += QByteArray::number(i) + '\t' + number(lower) + '\t' + QByteArray::number(h.counts[i])
             + '\n';
        lower += step;
    }
    return t;
}

QByteArray pointsText(const DarkPoints& d)
{
    QByteArray t = "# Size " + QByteArray::number(d.width) + '\t' + QByteArray::number(d.height)
                   + '\n';
    for (const DarkPoint& p : d.points)
        t += QByteArray::number(p.x) + '\t' + QByteArray::number(p.y) + '\t' + number(p.value)
             + '\n';
    return t;
}

QByteArray pointNumsText(const DarkPoints& d)
{
    QByteArray t;
    for (int i = 0; i < d.left.size(); i++)
        t += QByteArray::number(i) + '\t' + QByteArray::number(d.left[i]) + '\n';
    return t;
}

QByteArray onlyInPointsText(const DarkPoints& d, const ErrPoints& errPs)
{
    QSet<QPair<int, int>> listed;
    listed.reserve(errPs.points.size());
    for (const QPoint& p : errPs.points) listed.insert(qMakePair(p.x(), p.y()));
    QByteArray t;
    for (const DarkPoint& p : d.points)
        if (!listed.contains(qMakePair(p.x, p.y)))
            t += QByteArray::number(p.x) + '\t' + QByteArray::number(p.y) + '\n';
    return t;
}

QByteArray onlyInErrPointsText(const DarkPoints& d, const ErrPoints& errPs)
{
    const QSet<QPair<int, int>> dark = pixelSet(d.points);
    QByteArray t;
    for (const QPoint& p : errPs.points)
        if (!dark.contains(qMakePair(p.x(), p.y())))
            t += QByteArray::number(p.x()) + '\t' + QByteArray::number(p.y()) + '\n';
    return t;
}

bool writeFiles(const QString& dir, const QVector<QPair<QString, QByteArray>>& files, QString* why)
{
    const QDir d(dir);
    std::vector<SafeWrite::Prepared> ready;
    auto fail = [&](const QString& path, const QString& reason) {
        for (const SafeWrite::Prepared& p : ready) SafeWrite::discard(p);
        qDebug().noquote() << QStringLiteral("Can't write %1: %2").arg(path, reason);
        if (why) *why = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
        return false;
    };
    for (const auto& f : files) {
        const QString path = d.filePath(f.first);
        SafeWrite::Prepared p;
        const QString reason = SafeWrite::prepare(
            path, [&f](QIODevice& out) { return out.write(f.second) == f.second.size(); }, &p);
        if (!reason.isEmpty()) return fail(path, reason);
        ready.push_back(p);
    }
    for (size_t i = 0; i < ready.size(); i++) {
        const QString reason = SafeWrite::commit(ready[i]);
        if (!reason.isEmpty()) {
            ready.erase(ready.begin(), ready.begin() + std::ptrdiff_t(i) + 1);
            return fail(d.filePath(files[int(i)].first), reason);
        }
    }
    return true;
}

bool run(const QVector<TiffData*>& images, const ErrPoints& errPs, double th, double histgMax,
         int bins, const QString& dir, QStringList* written, QString* why)
{
    if (written) written->clear();
    if (!stackUsable(images) || !binsUsable(bins)) {
        if (why) *why = QCoreApplication::translate("DarkCheck", "the I1 stack or the bin count cannot be used");
        return false;
    }

    // One write for everything, so a failure leaves every file as it was.
    QVector<QPair<QString, QByteArray>> files{
        {histogramFile, histogramText(histogram(images, histgMax, bins))}};
    const DarkPoints d = findDarkPoints(images, th);
    if (!d.points.isEmpty()) {
        files.append({pointsFile, pointsText(d)});
        files.append({pointNumsFile, pointNumsText(d)});
        files.append({onlyInPointsFile, onlyInPointsText(d, errPs)});
        files.append({onlyInErrPointsFile, onlyInErrPointsText(d, errPs)});
    }
    if (!writeFiles(dir, files, why)) return false;
    if (written)
        for (const auto& f : files) *written << QDir(dir).filePath(f.first);
    return true;
}

}  // namespace DarkCheck
