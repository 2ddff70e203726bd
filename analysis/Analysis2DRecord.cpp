#include "Analysis2DRecord.h"

#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"

void recordBlockValue(Analyzed2DRes* map, const AnalyzeCond& ac, double value)
{
    if (map) map->setData(ac.curX, ac.curY, ac.xw, ac.yw, value);
}

void recordLcfBlock(const QVector<Analyzed2DRes*>& maps, const QVector<bool>& used,
                    const QVector<double>& amounts, const QVector<double>& fractions,
                    const AnalyzeCond& ac)
{
    const int n = used.size();
    int k = 0;
    for (int i = 0; i < n; ++i) {
        if (!used[i]) continue;
        if (i < maps.size() && k < amounts.size()) recordBlockValue(maps[i], ac, amounts[k]);
        if (n + i < maps.size() && k < fractions.size())
            recordBlockValue(maps[n + i], ac, fractions[k]);
        ++k;
    }
}

double thresholdedCorrelation(double cor, double corTh)
{
    return corTh <= cor ? cor : 0.0;
}

void recordElemBlock(const QVector<Analyzed2DRes*>& maps, int rows,
                     const QVector<QVector<double>>& kinds, double cor, double corTh,
                     const AnalyzeCond& ac)
{
    if (rows < 0) return;
    for (int k = 0; k < 7 && k < kinds.size(); ++k) {
        for (int i = 0; i < rows && i < kinds[k].size(); ++i) {
            const int e = k * rows + i;
            if (e < maps.size()) recordBlockValue(maps[e], ac, kinds[k][i]);
        }
    }
    if (7 * rows < maps.size()) recordBlockValue(maps[7 * rows], ac, cor);
    if (7 * rows + 1 < maps.size())
        recordBlockValue(maps[7 * rows + 1], ac, thresholdedCorrelation(cor, corTh));
}

void computeRatioMap(const Analyzed2DRes& dMut, const Analyzed2DRes& rest, Analyzed2DRes& ratio)
{
    if (!rest.data) return;
    const int w = rest.width();
    const int h = rest.height();
    double m = 1e300;
    for (qint64 p = 0; p < qint64(w) * h; ++p)
        if (rest.data[p] < m) m = rest.data[p];
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double d = dMut.valueAt(x, y);
            const double r = rest.data[qint64(y) * w + x] - m;
            const double s = d + r;
            ratio.setData(x, y, 0, 0, s != 0.0 ? r / s : 0.0);
        }
    }
}
