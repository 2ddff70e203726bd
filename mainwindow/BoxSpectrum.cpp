#include "BoxSpectrum.h"

#include "core/Analyzed2DRes.h"
#include "core/TiffData.h"

#include <QDebug>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace BoxSpectrum {

QVector<TiffData*> sortedByEnergy(const QVector<TiffData*>& stack)
{
    auto byEnergy = [](const TiffData* a, const TiffData* b) { return a->energy < b->energy; };
    if (std::is_sorted(stack.begin(), stack.end(), byEnergy)) return stack;
    QVector<TiffData*> sorted = stack;
    std::stable_sort(sorted.begin(), sorted.end(), byEnergy);
    return sorted;
}

Spectrum xafs(const QVector<TiffData*>& i1, const QVector<TiffData*>& i0, int x, int y, int dx,
              int dy, const BoxSpectrumConds& c)
{
    Spectrum spec;
    if (x < 0 || x >= c.imageWidth || y < 0 || y >= c.imageHeight) return spec;

    const int ax = std::abs(dx);
    const int ay = std::abs(dy);
    const double n = (2.0 * ax + 1.0) * (2.0 * ay + 1.0);

    double dark1 = 0;
    double dark0 = 0;
    if (c.dark) {
        // Without a usable exposure the dark image cannot be scaled; leaving
        // it out keeps every point finite.
        if (std::isfinite(c.darkExpTime) && c.darkExpTime > 0) {
            const double perMs = c.dark->sumBox(x, y, ax, ay) / c.darkExpTime;
            dark1 = perMs * c.i1ExpTime;
            dark0 = perMs * c.i0ExpTime;
        } else {
            qDebug() << "Dark exposure time" << c.darkExpTime << "ms is not usable: dark not subtracted";
        }
    }

    spec.points.reserve(i1.size());
    const QVector<TiffData*> i0Sorted = c.useI0 ? sortedByEnergy(i0) : QVector<TiffData*>();
    const bool useTotalI0 = c.totalI0 && c.totalI0->size() > 0;
    bool zeroI0Reported = false;

    for (int i = 0; i < i1.size(); ++i) {
        const TiffData* img = i1[i];
        double d1 = dark1;
        if (c.i1DarkAreaValues && i < c.i1DarkAreaValues->size())
            d1 = c.i1DarkAreaValues->at(i) * n + dark1;
        double d0 = dark0;
        // The I0 stack may be shorter than the I1 stack: past its end there is
        // no I0 dark-area value to apply.
        if (c.i0DarkAreaValues && i < c.i0DarkAreaValues->size())
            d0 = c.i0DarkAreaValues->at(i) * n + dark0;

        const double vI1 = img->sumBox(x, y, ax, ay) - d1;
        double vI0 = n;
        if (c.useI0) vI0 = TiffData::areaValue(i0Sorted, img->energy, x, y, ax, ay) - d0;
        if (useTotalI0) vI0 = i < c.totalI0->size() ? c.totalI0->yAt(i) : 0.0;

        double value;
        if (c.fluorescence) {
            value = vI1 / vI0;
            if (!std::isfinite(value)) {
                if (!zeroI0Reported) {
                    qDebug() << "I0 is 0 at" << img->energy << "eV: fluorescence ratio set to 0";
                    zeroI0Reported = true;
                }
                value = 0.0;
            }
        } else {
            value = vI0 * vI1 > 0 ? std::log(vI0 / vI1) : 1.0;
        }
        spec.append(img->energy, value);
    }
    return inEnergyOrder(spec);
}

Spectrum raw(const QVector<TiffData*>& i1, int x, int y, int dx, int dy, int imageWidth,
             int imageHeight)
{
    Spectrum spec;
    if (x < 0 || x >= imageWidth || y < 0 || y >= imageHeight) return spec;
    for (const TiffData* img : i1) spec.append(img->energy, img->sumBox(x, y, dx, dy));
    return inEnergyOrder(spec);
}

Spectrum inEnergyOrder(const Spectrum& s)
{
    const int n = s.size();
    bool ascending = true;
    for (int i = 1; i < n && ascending; ++i) ascending = s.xAt(i - 1) < s.xAt(i);
    if (ascending) return s;

    // NaN energies last, so the order stays strict and weak.
    auto before = [&s](int a, int b) {
        const double ea = s.xAt(a), eb = s.xAt(b);
        return ea < eb || (!std::isnan(ea) && std::isnan(eb));
    };
    QVector<int> order(n);
    for (int i = 0; i < n; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), before);
    Spectrum out;
    for (int i = 0; i < n;) {
        const double e = s.xAt(order[i]);
        double sum = s.yAt(order[i]);
        int k = i + 1;
        for (; k < n && s.xAt(order[k]) == e; ++k) sum += s.yAt(order[k]);
        out.append(e, sum / (k - i));
        i = k;
    }
    return out;
}

void rectToBox(int x1, int y1, int x2, int y2, int& x, int& y, int& dx, int& dy)
{
    // 64-bit sums: corners near the int range must not overflow.
    x = int((qint64(x1) + x2) / 2);
    y = int((qint64(y1) + y2) / 2);
    dx = int(std::min<qint64>(std::llabs((qint64(x2) - x1 + 1) / 2), INT_MAX));
    dy = int(std::min<qint64>(std::llabs((qint64(y2) - y1 + 1) / 2), INT_MAX));
}

bool usableDarkArea(const QRectF& area)
{
    return std::isfinite(area.x()) && std::isfinite(area.y()) && std::isfinite(area.width())
           && std::isfinite(area.height()) && area.width() >= 0 && area.height() >= 0;
}

void appendDarkAreaValues(QVector<double>& values, const QVector<TiffData*>& stack,
                          const QRectF& area, const TiffData* dark)
{
    if (values.size() >= stack.size()) return;
    const double darkMean = dark ? dark->rectMean(area) : 0.0;
    for (int i = values.size(); i < stack.size(); ++i)
        values.append(stack[i]->rectMean(area) - darkMean);
}

double energyShift(const Analyzed2DRes& map, int mx, int my, bool fitted)
{
    if (!map.inside(mx, my)) return 0.0;
    if (fitted) {
        const double s = map.fit.valueAt(mx, my);
        qDebug() << "val20" << s;
        return s;
    }
    return map.valueAt(mx, my);
}

}  // namespace BoxSpectrum
