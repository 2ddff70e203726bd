#include "StackChecks.h"

#include <QCoreApplication>

#include "core/TiffData.h"

#include <algorithm>
#include <cmath>

namespace StackChecks {

Energies energies(const QVector<TiffData*>& stack)
{
    QVector<double> e;
    e.reserve(stack.size());
    for (const TiffData* t : stack) {
        if (!std::isfinite(t->energy)) return Energies::NotFinite;
        e.append(t->energy);
    }
    if (e.size() < 2) return Energies::Ascending;
    bool ascending = true;
    for (int i = 1; i < e.size(); ++i) ascending = ascending && e[i - 1] < e[i];
    if (ascending) return Energies::Ascending;
    std::sort(e.begin(), e.end());
    if (e.first() == e.last()) return Energies::AllEqual;
    for (int i = 1; i < e.size(); ++i)
        if (e[i - 1] == e[i]) return Energies::Repeated;
    return Energies::Unordered;
}

MultiPage multiPage(const QVector<TiffData*>& stack)
{
    MultiPage m;
    for (const TiffData* t : stack) {
        if (t->pages < 2) continue;
        if (!m.first) m.first = t;
        ++m.frames;
    }
    return m;
}

bool fitsStack(const TiffData& frame, const QVector<TiffData*>& stack)
{
    if (stack.isEmpty()) return true;
    const TiffData* first = stack.first();
    return frame.width == first->width && frame.height == first->height;
}

static void rangeOf(const QVector<TiffData*>& stack, double& lo, double& hi)
{
    lo = hi = stack.first()->energy;
    for (const TiffData* t : stack) {
        lo = std::min(lo, t->energy);
        hi = std::max(hi, t->energy);
    }
}

bool i0Covers(const QVector<TiffData*>& i0, const QVector<TiffData*>& i1, double range[4])
{
    if (i0.isEmpty() || i1.isEmpty()) return true;
    rangeOf(i0, range[0], range[1]);
    rangeOf(i1, range[2], range[3]);
    // Energies read from names (0.1 meV) and from angle lists (a micro-degree)
    // round apart by less than this; an I0 frame that far off is the same.
    const double rounding = 0.01;
    return range[0] <= range[2] + rounding && range[3] <= range[1] + rounding;
}

bool i0Apart(const QVector<TiffData*>& i0, const QVector<TiffData*>& i1, double range[4])
{
    if (i0.size() < 2 || i1.size() < 2) return false;
    rangeOf(i0, range[0], range[1]);
    rangeOf(i1, range[2], range[3]);
    int inside = 0;
    for (const TiffData* t : i1)
        if (range[0] <= t->energy && t->energy <= range[1]) ++inside;
    return inside <= 1;
}

QString i0ShortOf(const QVector<TiffData*>& i0, const QVector<TiffData*>& i1, bool useI0)
{
    double r[4];
    if (!useI0 || i0Covers(i0, i1, r) || i0Apart(i0, i1, r)) return QString();
    return QCoreApplication::translate("Body", "The I0 stack (%1 - %2 eV) does not cover the I1 energies (%3 - %4 eV): "
                                               "outside its range the nearest I0 frame is used")
        .arg(r[0], 0, 'f', 2)
        .arg(r[1], 0, 'f', 2)
        .arg(r[2], 0, 'f', 2)
        .arg(r[3], 0, 'f', 2);
}

}  // namespace StackChecks
