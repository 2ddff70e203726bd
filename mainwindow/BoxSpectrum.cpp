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

namespace {

bool integerPixels(const TiffData* f)
{
    return f->pixelType == TiffData::TiffUInt16 || f->pixelType == TiffData::UInt16
           || f->pixelType == TiffData::UInt32;
}

}  // namespace

StackPlan::StackPlan(const QVector<TiffData*>& i1, const QVector<TiffData*>& i0,
                     const BoxSpectrumConds& c)
    : conds(c)
{
    const QVector<TiffData*> i0Sorted = c.useI0 ? sortedByEnergy(i0) : QVector<TiffData*>();
    useTotalI0 = c.totalI0 && c.totalI0->size() > 0;
    // Without a usable exposure the dark image cannot be scaled; leaving it
    // out keeps every point finite. Said once, not for every block of a run.
    useDark = c.dark && std::isfinite(c.darkExpTime) && c.darkExpTime > 0;
    if (c.dark && !useDark)
        qDebug() << "Dark exposure time" << c.darkExpTime << "ms is not usable: dark not subtracted";
    const int n0 = i0Sorted.size();
    auto read = [](const TiffData* f) { return Read{f, f->shiftX, f->shiftY}; };
    pts.reserve(size_t(i1.size()));
    for (const TiffData* img : i1) {
        Point p;
        p.i1 = read(img);
        p.energy = img->energy;
        // The I0 value is replaced by the total I0 column when there is one.
        if (c.useI0 && !useTotalI0) {
            if (n0 < 1) {
                p.mode = I0Empty;
            } else if (n0 == 1) {
                p.mode = I0Frame;
                p.a = read(i0Sorted[0]);
            } else {
                double energy = img->energy;
                int a, b;
                TiffData::bracket(i0Sorted, energy, a, b);
                p.a = read(i0Sorted[a]);
                p.b = read(i0Sorted[b]);
                p.e = energy;
                p.ea = i0Sorted[a]->energy;
                p.eb = i0Sorted[b]->energy;
                // At a frame's own energy the line gives that frame's sum
                // exactly: integer sums are finite and the slope times 0 is 0.
                const bool atA = energy == p.ea && p.eb - p.ea > 1e-250;
                p.mode = atA && integerPixels(i0Sorted[a]) && integerPixels(i0Sorted[b]) ? I0Frame
                                                                                         : I0Line;
            }
        }
        if (!pts.empty() && !(pts.back().energy < p.energy)) ascending = false;
        pts.push_back(p);
    }
}

Spectrum xafs(const QVector<TiffData*>& i1, const QVector<TiffData*>& i0, int x, int y, int dx,
              int dy, const BoxSpectrumConds& c)
{
    Spectrum s;
    StackPlan(i1, i0, c).xafs(x, y, dx, dy, s);
    return s;
}

void StackPlan::xafs(int x, int y, int dx, int dy, Spectrum& out) const
{
    out.clear();
    const BoxSpectrumConds& c = conds;
    if (x < 0 || x >= c.imageWidth || y < 0 || y >= c.imageHeight) return;

    // In 64 bits: the magnitude of INT_MIN has no int.
    const int ax = int(std::min<qint64>(std::llabs(qint64(dx)), INT_MAX));
    const int ay = int(std::min<qint64>(std::llabs(qint64(dy)), INT_MAX));
    const double n = (2.0 * ax + 1.0) * (2.0 * ay + 1.0);

    double dark1 = 0, dark0 = 0;
    if (useDark) {
        const double perMs = c.dark->sumBox(x, y, ax, ay) / c.darkExpTime;
        dark1 = perMs * c.i1ExpTime;
        dark0 = perMs * c.i0ExpTime;
    }

    Spectrum unordered;
    Spectrum& spec = ascending ? out : unordered;
    spec.points.reserve(int(pts.size()));
    bool zeroI0Reported = false;
    const int n1Dark = c.i1DarkAreaValues ? c.i1DarkAreaValues->size() : 0;
    const int n0Dark = c.i0DarkAreaValues ? c.i0DarkAreaValues->size() : 0;
    const int nTotal = useTotalI0 ? c.totalI0->size() : 0;
    auto sum = [&](const Read& r) { return r.f->sumBox(x, y, ax, ay, r.sx, r.sy); };

    for (int i = 0; i < int(pts.size()); ++i) {
        const Point& p = pts[size_t(i)];
        double d1 = dark1;
        if (i < n1Dark) d1 = c.i1DarkAreaValues->at(i) * n + dark1;
        double d0 = dark0;
        // The I0 stack may be shorter than the I1 stack: past its end there is
        // no I0 dark-area value to apply.
        if (i < n0Dark) d0 = c.i0DarkAreaValues->at(i) * n + dark0;

        const double vI1 = sum(p.i1) - d1;
        double vI0 = n;
        switch (p.mode) {
        case I0Empty: vI0 = 1.0 - d0; break;
        case I0Frame: vI0 = sum(p.a) - d0; break;
        case I0Line: {
            const double y0 = sum(p.a), y1 = sum(p.b);
            vI0 = lineAt(p.ea, y0, p.eb, y1, p.e) - d0;
            break;
        }
        default: break;
        }
        if (useTotalI0) vI0 = i < nTotal ? c.totalI0->yAt(i) : 0.0;

        double value;
        if (c.fluorescence) {
            value = vI1 / vI0;
            if (!std::isfinite(value)) {
                if (!zeroI0Reported) {
                    qDebug() << "I0 is 0 at" << p.energy << "eV: fluorescence ratio set to 0";
                    zeroI0Reported = true;
                }
                value = 0.0;
            }
        } else {
            value = vI0 * vI1 > 0 ? std::log(vI0 / vI1) : 1.0;
        }
        spec.append(p.energy, value);
    }
    if (!ascending) out.takePoints(inEnergyOrder(unordered));
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

QRect areaPixels(const QRectF& area, int width, int height)
{
    if (!std::isfinite(area.x()) || !std::isfinite(area.y()) || !std::isfinite(area.width())
        || !std::isfinite(area.height()) || width <= 0 || height <= 0)
        return QRect();
    // Ends truncated toward zero (of the sum, as the block grid takes them),
    // then put in order and held to the image.
    auto span = [](double from, double size, int limit, int& a, int& b) {
        double lo = std::trunc(from), hi = std::trunc(from + size);
        if (lo > hi) std::swap(lo, hi);
        a = int(std::clamp(lo, 0.0, double(limit)));
        b = int(std::clamp(hi, 0.0, double(limit)));
        return a < b;
    };
    int x0, x1, y0, y1;
    if (!span(area.x(), area.width(), width, x0, x1) || !span(area.y(), area.height(), height, y0, y1))
        return QRect();
    return QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
}

double pixelMean(const TiffData& f, const QRect& pixels)
{
    if (pixels.isEmpty()) return 0.0;
    // The frame's rectangle mean takes both ends: the last pixel, not the one past it.
    return f.rectMean(QRectF(pixels.left(), pixels.top(), pixels.width() - 1, pixels.height() - 1));
}

bool appendDarkAreaValues(QVector<double>& values, const QVector<TiffData*>& stack,
                          const QRect& pixels, const TiffData* dark)
{
    if (values.size() >= stack.size()) return true;
    if (pixels.isEmpty()) return false;
    const double darkMean = dark ? pixelMean(*dark, pixels) : 0.0;
    for (int i = values.size(); i < stack.size(); ++i)
        values.append(pixelMean(*stack[i], pixels) - darkMean);
    return true;
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
