#include "ViewWindow.h"

#include "ChCoord.h"

#include <algorithm>
#include <cmath>

namespace ViewWindow {

QPointF toImage(const QRectF& view, const QPointF& m, const QSizeF& widget)
{
    return QPointF(ChCoord::fraction(m.x(), widget.width()) * view.width() + view.x(),
                   ChCoord::fraction(m.y(), widget.height()) * view.height() + view.y());
}

QPointF toWidget(const QRectF& view, const QPointF& p, const QSizeF& widget)
{
    return QPointF(ChCoord::fraction(p.x() - view.x(), view.width()) * widget.width(),
                   ChCoord::fraction(p.y() - view.y(), view.height()) * widget.height());
}

QRectF zoomed(const QRectF& view, const QPointF& m, const QSizeF& widget, double f, bool edgeBands)
{
    const double W = widget.width();
    const double H = widget.height();
    double nw = f * view.width();
    double nh = f * view.height();
    if (edgeBands) {
        if (m.x() < 0.1 * W || m.x() > 0.9 * W)
            nw = view.width();
        else if (m.y() < 0.1 * H || m.y() > 0.9 * H)
            nh = view.height();
    }
    const double x = view.x() + ChCoord::fraction(m.x(), W) * (view.width() - nw);
    const double y = view.y() + ChCoord::fraction(m.y(), H) * (view.height() - nh);
    return QRectF(x, y, nw, nh);
}

QRectF panned(const QRectF& view, const QPointF& previous, const QPointF& current, const QSizeF& widget)
{
    QRectF r(view);
    r.moveTo(view.x() + ChCoord::fraction(previous.x() - current.x(), widget.width()) * view.width(),
             view.y() + ChCoord::fraction(previous.y() - current.y(), widget.height()) * view.height());
    return r;
}

bool pastZoomOut(const QRectF& view, double imageWidth, double imageHeight)
{
    if (!(imageWidth > 0 && imageHeight > 0)) return false;
    return std::fabs(view.width()) > maxZoomOut * imageWidth || std::fabs(view.height()) > maxZoomOut * imageHeight;
}

QRectF normalised(const QRectF& r)
{
    return QRectF(std::min(r.x(), r.x() + r.width()), std::min(r.y(), r.y() + r.height()),
                  std::fabs(r.width()), std::fabs(r.height()));
}

QRect pixelRect(const QRectF& view)
{
    const int x0 = ChCoord::pix(view.x());
    const int y0 = ChCoord::pix(view.y());
    const int x1 = ChCoord::pix(view.x() + view.width());
    const int y1 = ChCoord::pix(view.y() + view.height());
    return QRect(x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0));
}

}  // namespace ViewWindow
