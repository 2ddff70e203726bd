// Painting of the spectrum view.
#include "SpecPane.h"

#include "DispA.h"
#include "SpecPaneMath.h"

#include "core/Globals.h"

#include <QPainter>
#include <QPolygon>

using SpecPaneMath::screenPoint;

namespace
{
QPen makePen(const QColor& color, int width, const QVector<qreal>& dashes = {})
{
    QPen pen(color);
    pen.setWidth(width);
    if (!dashes.isEmpty()) pen.setDashPattern(dashes);
    return pen;
}

const QColor refLineColor(220, 192, 0);
const QColor refCurveColor(255, 0, 0);
const QColor preLineColor(0, 192, 220);
const QColor postLineColor(0, 220, 192);
const QColor curveColor(0, 0, 0);
const QColor markerColor(0, 224, 0);
const QColor elemLineColor(255, 0, 0);
const QColor elemLabelColor(192, 192, 0);
const QColor e0Color(255, 0, 0);
const QColor gridColor(192, 192, 192);
const QColor rawColor(192, 0, 0);
const QColor fftColor(0, 192, 0);

const double labelMaxSize = 12;

double displayX(const Spectrum& s, int i) { return s.xAt(i); }
}  // namespace

QPen SpecPane::penOf(int i) const
{
    return i < pens.size() ? pens[i] : QPen(colorByIndex(i));
}

void SpecPane::draw(QPainter* p)
{
    const bool eCorrect = ui.ECorrect->isChecked();
    setPlotArea();
    const bool raw = ui.ShowRaw->isChecked();
    int rawCount = 0;
    if (!raw) {
        if (ui.Normalized->isChecked())
            drawNormalized(p, eCorrect);
        else
            drawPlain(p, eCorrect);
    } else {
        // The axes below must show the raw scale, not the last energy scale.
        rawCount = setRawFrame();
    }

    const QVector<ElemRowInfo> rows = elemRows ? elemRows() : QVector<ElemRowInfo>();
    // Markers are energies; the raw axis counts images.
    if (!raw) drawMarkers(p, rows);
    drawFrameAndAxes(p);
    if (!raw) drawElemLabels(p, rows);
    if (raw) drawRaw(p, rawCount);

    ui.ExtMsg->setText(SpecPaneMath::messageLine(current.dMut, current.midx, current.outOfRange,
                                                 current.noisy));
}

void SpecPane::drawWithLines(QPainter* p, const XafsSpectrum& s, const QPen& linePen,
                             const QPen& curvePen)
{
    const int n = s.size();
    QPolygon pre(n), post(n), curve(n);
    for (int i = 0; i < n; ++i) {
        const double E = displayX(s, i);
        pre[i] = screenPoint(coord, E, s.pre.value(E));
        post[i] = screenPoint(coord, E, s.post.value(E));
        curve[i] = screenPoint(coord, E, s.yAt(i));
    }
    p->setPen(linePen);
    p->drawPolyline(pre);
    p->drawPolyline(post);
    p->setPen(curvePen);
    p->drawPolyline(curve);
}

void SpecPane::drawCurve(QPainter* p, const Spectrum& xs, const Spectrum& ys, const QPen& pen)
{
    const int n = xs.size();
    QPolygon curve(n);
    for (int i = 0; i < n; ++i) curve[i] = screenPoint(coord, displayX(xs, i), ys.yAt(i));
    p->setPen(pen);
    p->drawPolyline(curve);
}

void SpecPane::drawPlain(QPainter* p, bool eCorrect)
{
    coord.setRealCoord(xMin, current.minY, xMax, current.maxY);

    if (!reference.isEmpty()) {
        coord.setRealYRange(reference.minY, reference.maxY);
        drawWithLines(p, reference, makePen(refLineColor, 1, {6, 2}), makePen(refCurveColor, 1));
    }
    for (int i = 0; i < others.size(); ++i) {
        const XafsSpectrum& o = others[i];
        if (!o.kind) continue;
        coord.setRealYRange(o.minY, o.maxY);
        const QPen curvePen = penOf(i);
        QPen linePen = curvePen;
        linePen.setDashPattern({6, 2});
        drawWithLines(p, o, linePen, curvePen);
    }

    // The current spectrum sets the scale the axis labels show. The energy
    // correction moves its curve only; the lines stay at the stored energies.
    coord.setRealYRange(current.minY, current.maxY);
    const int n = current.size();
    const double offset = eCorrect ? current.energyOffset : 0.0;
    QVector<double> shifted(n);
    for (int i = 0; i < n; ++i) shifted[i] = displayX(current, i) - offset;

    const QPen prePen = makePen(preLineColor, 1, {8, 3});
    const QPen postPen = makePen(postLineColor, 1, {8, 3, 3, 3});
    const QPen curvePen = makePen(curveColor, 2);
    for (const auto& piece : SpecPaneMath::pieces(shifted)) {
        const int len = piece.second - piece.first;
        QPolygon pre(len), post(len), curve(len);
        for (int k = 0; k < len; ++k) {
            const int i = piece.first + k;
            const double E = displayX(current, i);
            pre[k] = screenPoint(coord, E, current.pre.value(E));
            post[k] = screenPoint(coord, E, current.post.value(E));
            curve[k] = screenPoint(coord, shifted[i], current.yAt(i));
        }
        p->setPen(prePen);
        p->drawPolyline(pre);
        p->setPen(postPen);
        p->drawPolyline(post);
        p->setPen(curvePen);
        p->drawPolyline(curve);
    }
}

void SpecPane::drawNormalized(QPainter* p, bool eCorrect)
{
    const Spectrum& dn = current.doubleNormalizedPreBaseCurve;
    coord.setRealCoord(xMin, dn.minY, xMax, dn.maxY);

    if (!reference.doubleNormalizedPreBaseCurve.isEmpty())
        drawCurve(p, reference, reference.doubleNormalizedPreBaseCurve, makePen(refCurveColor, 1));
    for (int i = 0; i < others.size(); ++i) {
        const XafsSpectrum& o = others[i];
        if (!o.kind) continue;
        drawCurve(p, o, o.doubleNormalizedPreBaseCurve, penOf(i));
    }

    const int n = dn.size();
    const double offset = eCorrect ? current.energyOffset : 0.0;
    QVector<double> shifted(n);
    for (int i = 0; i < n; ++i) shifted[i] = displayX(dn, i) - offset;
    p->setPen(makePen(curveColor, 2));
    for (const auto& piece : SpecPaneMath::pieces(shifted)) {
        QPolygon curve(piece.second - piece.first);
        for (int i = piece.first; i < piece.second; ++i)
            curve[i - piece.first] = screenPoint(coord, shifted[i], dn.yAt(i));
        p->drawPolyline(curve);
    }
}

void SpecPane::drawRaw(QPainter* p, int count)
{
    QPolygon curve(count);
    if (!ui.ShowFFT->isChecked()) {
        for (int i = 0; i < count; ++i) curve[i] = screenPoint(coord, i, rawSpectrum.points[i].y());
        p->setPen(makePen(rawColor, 1));
    } else {
        const double* mag = fft.magnitude;
        for (int i = 0; i < count; ++i) curve[i] = screenPoint(coord, i, mag[i]);
        p->setPen(makePen(fftColor, 1));
    }
    p->drawPolyline(curve);
}

void SpecPane::drawMarkers(QPainter* p, const QVector<ElemRowInfo>& rows)
{
    const int y0 = ChCoord::pix(coord.plotY0);
    const int y1 = ChCoord::pix(coord.plotY1);
    auto vertical = [&](double E) {
        const int x = ChCoord::pix(coord.r2sx(E));
        p->drawLine(x, y0, x, y1);
    };
    if (markerEnergy > 0.0) {
        p->setPen(makePen(markerColor, 1));
        vertical(markerEnergy);
    }
    p->setPen(makePen(elemLineColor, 1));
    for (const ElemRowInfo& row : rows) vertical(row.energy());
    p->setPen(makePen(e0Color, 2));
    vertical(current.midx);
}

void SpecPane::drawFrameAndAxes(QPainter* p)
{
    const int px0 = ChCoord::pix(coord.plotX0);
    const int px1 = ChCoord::pix(coord.plotX1);
    const int py0 = ChCoord::pix(coord.plotY0);
    const int py1 = ChCoord::pix(coord.plotY1);

    p->setPen(makePen(gridColor, 2));
    p->drawLine(px0, py0, px1, py0);
    p->drawLine(px0, py1, px1, py1);
    p->drawLine(px0, py0, px0, py1);
    p->drawLine(px1, py0, px1, py1);
    p->setPen(makePen(gridColor, 1));

    // Label cells: tickLabelRows text rows over the plot height (negative, as
    // the plot is flipped) and tickLabelCols columns over its width.
    const int rowH = int((coord.plotY1 - coord.plotY0) / coord.tickLabelRows);
    const int colW = int((coord.plotX1 - coord.plotX0) / coord.tickLabelCols);
    const int textW = int(colW * coord.tickLabelFill);
    const int textH = int(rowH * coord.tickLabelFill);
    const QFont font;

    const QVector<double> xTicks = ChCoord::tickValues(coord.realX0, coord.realX1);
    for (double t : xTicks) {
        const int x = ChCoord::pix(coord.r2sx(t));
        p->drawLine(x, py0, x, py1);
    }
    for (int k = 0; k < xTicks.size(); k += qMax(1, xTicks.size() - 1)) {
        QRectF rect(coord.r2sx(xTicks[k]) - 5.0 * textW, py0 - rowH, 10.0 * textW, textH);
        textFitter.putTextInRect(p, rect, font, Qt::AlignHCenter | Qt::AlignVCenter, 1,
                                 SpecPaneMath::tickLabel(xTicks[k]), labelMaxSize);
    }

    for (double t : ChCoord::tickValues(coord.realY0, coord.realY1)) {
        const int y = ChCoord::pix(coord.r2sy(t));
        p->drawLine(px0, y, px1, y);
        QRectF rect(0, coord.r2sy(t) - 0.5 * rowH, px0 - textW, rowH);
        textFitter.putTextInRect(p, rect, font, Qt::AlignRight | Qt::AlignVCenter, 1,
                                 SpecPaneMath::tickLabel(t), labelMaxSize);
    }
}

void SpecPane::drawElemLabels(QPainter* p, const QVector<ElemRowInfo>& rows)
{
    if (rows.isEmpty()) return;
    const int rowH = int((coord.plotY1 - coord.plotY0) / coord.tickLabelRows);
    const int textH = int(rowH * coord.tickLabelFill);
    const double py0 = coord.plotY0;
    const double py1 = coord.plotY1;
    p->setPen(makePen(elemLabelColor, 1));
    for (const ElemRowInfo& row : rows) {
        const QRectF rect(coord.r2sx(row.energy()) + textH / 2, (py0 + py1) / 2, py0 - py1, textH);
        textFitter.putRotatedText(p, 270, rect,
                                  QFont(), Qt::AlignCenter, 1, row.name, labelMaxSize, false, QColor());
    }
}
