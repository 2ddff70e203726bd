#include "StatsMath.h"

#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/InputBounds.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace StatsMath {

QVector<double> blockSamples(const Analyzed2DRes& map, AnalyzeCond grid)
{
    QVector<double> samples;
    do {
        samples.append(map.valueAt(grid.curX, grid.curY));
    } while (grid.next());
    return samples;
}

QVector<QRect> blocksInRange(const Analyzed2DRes& map, AnalyzeCond grid, double low, double high)
{
    QVector<QRect> blocks;
    do {
        const double v = map.valueAt(grid.curX, grid.curY);
        if (low <= v && v <= high)
            blocks.append(QRect(grid.curX - grid.xw, grid.curY - grid.yw, 2 * grid.xw, 2 * grid.yw));
    } while (grid.next());
    return blocks;
}

Summary summarize(const QVector<double>& samples)
{
    Summary s;
    double sum = 0;
    double min = 1e300, max = -1e300;
    for (double v : samples) {
        if (!std::isfinite(v)) continue;
        ++s.n;
        sum += v;
        min = std::min(min, v);
        max = std::max(max, v);
    }
    if (s.n == 0) return s;
    s.min = min;
    s.max = max;
    s.mean = sum / s.n;
    // Deviations from the mean rather than the sum of squares less the squared
    // mean: maps of energies near 9 keV with sub-eV spread would lose every digit.
    double dev = 0;
    for (double v : samples)
        if (std::isfinite(v)) dev += (v - s.mean) * (v - s.mean);
    s.variance = dev / s.n;
    s.sigma = std::sqrt(s.variance);
    return s;
}

int binsOf(const QString& text)
{
    // Read in 64 bits: a number too long for an int is many bins, not 0.
    const qint64 b = InputBounds::integerOf(text);
    return b > 0 ? int(std::min<qint64>(b, INT_MAX)) : 100;
}

int cappedBins(int bins, int samples)
{
    // Small maps keep the default 100 bins.
    int cap = maxBins;
    if (samples >= 0) cap = std::min(cap, std::max(samples, 100));
    return std::max(1, std::min(bins, cap));
}

int binOf(double v, double min, double binWidth, int bins)
{
    if (bins < 1 || !(binWidth > 0)) return 0;
    const double t = std::floor((v - min) / binWidth);
    if (!(t >= 0)) return 0;  // negative or not a number
    if (t >= bins) return bins - 1;
    return int(t);
}

Histogram emptyHistogram(int bins, double min, double max)
{
    Histogram h;
    h.bins = std::max(bins, 0);
    h.min = min;
    h.binWidth = h.bins > 0 ? (max - min) / h.bins : 0;
    h.counts.fill(0, h.bins);
    h.maxCount = 1;
    return h;
}

void fill(Histogram& h, const QVector<double>& samples)
{
    if (h.bins > 0) {
        for (double v : samples)
            if (std::isfinite(v)) h.counts[binOf(v, h.min, h.binWidth, h.bins)]++;
    }
    h.maxCount = h.counts.isEmpty() ? 0 : *std::max_element(h.counts.begin(), h.counts.end());
}

void clampMarkers(double& low, double& high, double min, double max)
{
    if (low > max) {
        low = min;
        high = max;
        return;
    }
    if (low < min) low = min;
    if (high < min) {
        low = min;
        high = max;
    } else if (high > max) {
        high = max;
    }
}

Range rangeOf(const Histogram& h, double low, double high)
{
    Range r;
    r.low = low;
    r.high = high;
    double s1 = 0;
    for (int i = 0; i < h.bins; i++) {
        const double x = h.min + i * h.binWidth;
        if (low <= x && x <= high) {
            r.n += h.counts[i];
            s1 += h.counts[i] * x;
        }
    }
    if (r.n == 0) return r;
    r.mean = s1 / r.n;
    double dev = 0;
    for (int i = 0; i < h.bins; i++) {
        const double x = h.min + i * h.binWidth;
        if (low <= x && x <= high) dev += h.counts[i] * (x - r.mean) * (x - r.mean);
    }
    r.variance = dev / r.n;
    r.sigma = std::sqrt(r.variance);
    return r;
}

}  // namespace StatsMath
