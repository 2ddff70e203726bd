#include "StackChecks.h"

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
    return range[0] <= range[2] && range[3] <= range[1];
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

}  // namespace StackChecks
