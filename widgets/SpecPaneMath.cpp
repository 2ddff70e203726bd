#include "SpecPaneMath.h"

#include "ChCoord.h"
#include "core/StringUtil.h"

#include <QCoreApplication>

#include <cfloat>
#include <cmath>

namespace SpecPaneMath
{
bool zoomRange(double& lo, double& hi, double c, double f)
{
    const double nlo = (lo - c) * f + c;
    const double nhi = (hi - c) * f + c;
    if (!std::isfinite(nlo) || !std::isfinite(nhi) || !std::isfinite(nhi - nlo) || nlo == nhi)
        return false;
    lo = nlo;
    hi = nhi;
    return true;
}

bool panRange(double& lo, double& hi, double d)
{
    const double nlo = lo + d;
    const double nhi = hi + d;
    if (!std::isfinite(nlo) || !std::isfinite(nhi)) return false;
    lo = nlo;
    hi = nhi;
    return true;
}

int nearestIndex(const QVector<QPointF>& points, double E)
{
    const int n = points.size();
    for (int i = 0; i < n - 1; ++i)
        if ((points[i].x() + points[i + 1].x()) / 2 > E) return i;
    return n - 1;
}

QVector<QPair<int, int>> pieces(const QVector<double>& keys, double maxGap)
{
    QVector<QPair<int, int>> runs;
    int from = 0;
    for (int i = 1; i < keys.size(); ++i) {
        if (std::fabs(keys[i] - keys[i - 1]) > maxGap) {
            runs.append(qMakePair(from, i));
            from = i;
        }
    }
    if (!keys.isEmpty()) runs.append(qMakePair(from, int(keys.size())));
    return runs;
}

QPoint screenPoint(const ChCoord& c, double x, double y)
{
    return QPoint(ChCoord::pix(c.r2sx(x)), ChCoord::pix(c.r2sy(y)));
}

void valueRange(const double* values, int from, int to, double& lo, double& hi)
{
    lo = DBL_MAX;
    hi = DBL_MIN;
    if (!values) return;
    for (int i = from; i < to; ++i) {
        const double v = values[i];
        if (v < lo) lo = v;
        if (v > hi) hi = v;
    }
}

QString tickLabel(double v) { return QString::number(v, 'g', 6); }

QString messageLine(double dMut, double midx, bool outOfRange, bool noisy)
{
    return QCoreApplication::translate("SpecPane", "dMut = %1, Edge %2 [eV] : %3 %4")
        .arg(QString::asprintf("% 6.3e", dMut),
             withThousandsSeparators(QString::number(midx, 'g', 6)),
             outOfRange ? QCoreApplication::translate("SpecPane", "Out of Range midx") : QString(),
             noisy ? QCoreApplication::translate("SpecPane", "Noizy to decide midx") : QString());
}
}  // namespace SpecPaneMath
