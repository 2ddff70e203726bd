#include "Analysis2DRecord.h"

#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"

#include <QCoreApplication>

#include <algorithm>

void recordBlockValue(Analyzed2DRes* map, const AnalyzeCond& ac, double value)
{
    if (map) map->setData(ac.curX, ac.curY, ac.xw, ac.yw, value);
}

int recordLcfBlock(const QVector<Analyzed2DRes*>& maps, int n, const QVector<int>& rows,
                   const QVector<double>& amounts, const QVector<double>& fractions,
                   const AnalyzeCond& ac)
{
    int missing = 0;
    for (int j = 0; j < rows.size(); ++j) {
        const int i = rows[j];
        if (i < 0 || i >= n) {
            ++missing;
            continue;
        }
        if (i < maps.size() && j < amounts.size()) recordBlockValue(maps[i], ac, amounts[j]);
        if (n + i < maps.size() && j < fractions.size())
            recordBlockValue(maps[n + i], ac, fractions[j]);
    }
    return missing;
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

void computeRatioMap(const Analyzed2DRes& dMut, const Analyzed2DRes& rest, Analyzed2DRes& ratio,
                     const AnalyzeCond& grid, qint64 blocks, const std::vector<bool>* skip)
{
    if (!rest.data || blocks < 1) return;
    auto skipped = [skip](qint64 k) { return skip && k < qint64(skip->size()) && (*skip)[size_t(k)]; };
    AnalyzeCond g = grid;
    g.reset();
    double m = 1e300;
    qint64 k = 0;
    do {
        if (g.centreInside() && !skipped(k)) m = std::min(m, rest.valueAt(g.curX, g.curY));
    } while (++k < blocks && g.next());
    // Earlier passes' values and extremes go: the range is this pass's own.
    g.reset();
    ratio.setCond(g);
    k = 0;
    do {
        if (!g.centreInside() || skipped(k)) continue;
        const double d = dMut.valueAt(g.curX, g.curY);
        const double r = rest.valueAt(g.curX, g.curY) - m;
        const double s = d + r;
        ratio.setData(g.curX, g.curY, g.xw, g.yw, s != 0.0 ? r / s : 0.0);
    } while (++k < blocks && g.next());
}

double distanceOutside(double edge, double lo, double hi)
{
    return edge < lo ? lo - edge : edge > hi ? edge - hi : 0.0;
}

void NoResultTally::add(bool edgeAsked, bool flagged, bool outside, bool lcfAsked, bool pointless)
{
    if (pointless)
        ++noPoints;
    else if (edgeAsked && flagged)
        ++(outside ? outsideWindow : noEdge);
    else if (lcfAsked)
        ++fitFailed;
    else
        ++noElement;
}

bool NoResultTally::oneCause() const
{
    const qint64 n = total();
    return n > 0 && (noPoints == n || noEdge == n || outsideWindow == n || fitFailed == n || noElement == n);
}

namespace {

QString fitFailure(const QString& lcfWhy)
{
    return lcfWhy.isEmpty() ? QCoreApplication::translate("Analysis2DDriver", "the LCF fit failed")
                            : QCoreApplication::translate("Analysis2DDriver", "the LCF fit failed (%1)").arg(lcfWhy);
}

}  // namespace

QString NoResultTally::soleCause(const QString& lcfWhy) const
{
    if (!oneCause()) return QString();
    if (noPoints)
        return QCoreApplication::translate("Analysis2DDriver", "the spectrum has no point (the block lies outside the image)");
    if (noEdge) return QCoreApplication::translate("Analysis2DDriver", "the spectrum was flagged (no edge found)");
    if (outsideWindow)
        return QCoreApplication::translate("Analysis2DDriver", "the spectrum was flagged (edge not inside the window)");
    if (fitFailed) return fitFailure(lcfWhy);
    return QCoreApplication::translate("Analysis2DDriver", "no element showed a step");
}

QString NoResultTally::causes(const QString& lcfWhy) const
{
    QStringList parts;
    if (noPoints)
        parts << QCoreApplication::translate("Analysis2DDriver", "%1 without a point (the block lies outside the image)")
                     .arg(noPoints);
    if (noEdge) parts << QCoreApplication::translate("Analysis2DDriver", "%1 flagged (no edge found)").arg(noEdge);
    if (outsideWindow)
        parts << QCoreApplication::translate("Analysis2DDriver", "%1 flagged (edge not inside the window)").arg(outsideWindow);
    if (fitFailed)
        parts << QCoreApplication::translate("Analysis2DDriver", "%1 where %2").arg(QString::number(fitFailed), fitFailure(lcfWhy));
    if (noElement)
        parts << QCoreApplication::translate("Analysis2DDriver", "%1 without an element step").arg(noElement);
    return parts.join(QStringLiteral(", "));
}

void AnalysisTallies::add(RunAnalysis a, bool gotResult, bool flagged, bool outside, bool pointless)
{
    const int k = int(a);
    ++blocks[k];
    if (gotResult) return;
    const bool edge = a == RunAnalysis::EdgeShift || a == RunAnalysis::Residual;
    none[k].add(edge, flagged, outside, a == RunAnalysis::Lcf, pointless);
}

QStringList AnalysisTallies::notes(const QString& lcfWhy) const
{
    const char* names[int(RunAnalysis::Count)] = {QT_TRANSLATE_NOOP("Analysis2DDriver", "LCF"),
                                                  QT_TRANSLATE_NOOP("Analysis2DDriver", "edge shift"),
                                                  QT_TRANSLATE_NOOP("Analysis2DDriver", "elements"),
                                                  QT_TRANSLATE_NOOP("Analysis2DDriver", "residual absorption")};
    QStringList out;
    for (int k = 0; k < int(RunAnalysis::Count); ++k) {
        if (none[k].total() == 0) continue;
        out << QCoreApplication::translate("Analysis2DDriver", "2-D run: %1: %2 of %3 blocks got no result: %4")
                   .arg(QCoreApplication::translate("Analysis2DDriver", names[k]), QString::number(none[k].total()),
                        QString::number(blocks[k]), none[k].causes(lcfWhy));
    }
    return out;
}
