#include "ElementAnalysis.h"

#include <algorithm>
#include <cmath>

#include "core/Analyzed2DRes.h"

double ElemsResult::value(int kind, int row) const
{
    if (kind < 0 || kind >= ElemKindCount || row < 0 || row >= kinds[kind].size())
        return 0.0;
    return kinds[kind][row];
}

bool ElementAnalysis::window(const Spectrum& s, double lo, double hi, int& a, int& b)
{
    const int n = s.points.size();
    a = b = 0;
    if (n < 2)
        return false;
    auto mid = [&s](int j) { return (s.xAt(j) + s.xAt(j + 1)) / 2; };
    if (mid(0) > hi)
        return false;
    a = n - 1;
    for (int j = 0; j <= n - 2; ++j) {
        if (mid(j) > lo) {
            a = j;
            break;
        }
    }
    b = n - 1;
    for (int k = 1; k <= n - 2; ++k) {
        if (mid(k) > hi) {
            b = k;
            break;
        }
    }
    return b > a;
}

ElemsResult ElementAnalysis::analyze(const Spectrum& s, const QVector<ElemRowSnapshot>& rows,
                                     int mainT, const ElemBackground& bg)
{
    ElemsResult r;
    for (const ElemRowSnapshot& row : rows) {
        const double E0 = row.e0;
        const double muP = s.y(E0 + row.dE);
        const double muM = s.y(E0 - row.dE);
        const double d = muP - muM;
        r.dmut.append(d);
        if (!(d > row.thDMut)) {
            r.kinds[ElemKind0].append(bg.dmut);
            r.kinds[ElemKindMP].append(bg.dmut);
            r.kinds[ElemKindMM].append(bg.dmut);
            r.kinds[ElemKindDE].append(bg.dE);
            r.kinds[ElemKindROI].append(bg.roi);
            r.kinds[ElemKindNROI].append(bg.nroi);
            continue;
        }

        // Edge position: the mean midpoint of the rising crossings of the
        // half height inside the step's window.
        const double half = (muP + muM) / 2;
        double DE = 0;
        int a, b;
        if (window(s, E0 - row.dE, E0 + row.dE, a, b)) {
            double sum = 0;
            int count = 0;
            for (int j = a; j < b; ++j) {
                if (s.yAt(j) < half && half <= s.yAt(j + 1)) {
                    sum += (s.xAt(j) + s.xAt(j + 1)) / 2;
                    ++count;
                }
            }
            if (count > 0)
                DE = sum / count - E0;
        }

        double roi = 0, nroi = 0;
        if (window(s, row.roiStart, row.roiEnd, a, b)) {
            double sum = 0;
            for (int j = a; j < b; ++j)
                sum += s.yAt(j) - muM;
            roi = sum / (b - a);
            nroi = roi / d;
            // A threshold below 0 lets a zero step through: no ratio to give.
            if (!std::isfinite(nroi))
                nroi = bg.nroi;
        }
        if (row.noNeg && roi < 0) {
            roi = bg.roi;
            nroi = bg.nroi;
        }
        r.kinds[ElemKind0].append(d);
        r.kinds[ElemKindMP].append(muP);
        r.kinds[ElemKindMM].append(muM);
        r.kinds[ElemKindDE].append(DE);
        r.kinds[ElemKindROI].append(roi);
        r.kinds[ElemKindNROI].append(nroi);
    }

    const QVector<double>& k0 = r.kinds[ElemKind0];
    if (!k0.isEmpty()) {
        // No main target (none checked), or one without a usable step.
        double main = (mainT >= 0 && mainT < k0.size()) ? k0[mainT] : 1.0;
        if (main == 0 || !std::isfinite(main))
            main = 1.0;
        for (double v : k0)
            r.kinds[ElemKindN].append(v / main);
    }
    return r;
}

bool ElementAnalysis::correlation(const QVector<double>& a, const QVector<double>& b,
                                  const QVector<bool>& use, double& c)
{
    const int n = std::min({a.size(), b.size(), use.size()});
    double saa = 0, sbb = 0, sab = 0;
    for (int i = 0; i < n; ++i) {
        if (!use[i])
            continue;
        saa += a[i] * a[i];
        sbb += b[i] * b[i];
        sab += a[i] * b[i];
    }
    if (!(saa > 0) || !(sbb > 0))
        return false;
    const double v = sab / std::sqrt(saa * sbb);
    if (!std::isfinite(v))
        return false;
    c = v;
    return true;
}

void ElementAnalysis::fillCorrelationMaps(const QVector<CorRow>& rows, double corTh,
                                          Analyzed2DRes* corMap, Analyzed2DRes* thMap,
                                          const std::function<void(double)>& progress)
{
    if (!corMap || !thMap)
        return;
    AnalyzeCond g = corMap->grid;
    g.reset();
    QVector<double> a(rows.size()), b(rows.size());
    QVector<bool> use(rows.size());
    do {
        if (g.rowStart && progress) {
            const double span = g.y1 - g.y0;
            progress(span != 0 ? (g.curY - g.y0) / span * 100 : 0.0);
        }
        for (int i = 0; i < rows.size(); ++i) {
            const CorRow& row = rows[i];
            use[i] = row.use;
            a[i] = row.stdRatio;
            b[i] = 0;
            const Analyzed2DRes* m = row.nMap;
            if (m && m->data && g.curX >= 0 && g.curY >= 0 && g.curX < m->grid.width
                && g.curY < m->grid.height)
                b[i] = m->data[g.curX + qint64(g.curY) * m->grid.width];
        }
        double c = 0;
        if (!correlation(a, b, use, c))
            c = 0;
        corMap->setData(g.curX, g.curY, g.xw, g.yw, c);
        thMap->setData(g.curX, g.curY, g.xw, g.yw, c < corTh ? 0.0 : c);
    } while (g.next());
    if (progress)
        progress(100.0);
}
