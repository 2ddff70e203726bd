#include "CrossSView.h"

#include <QPainter>
#include <QPolygon>

CrossSView::CrossSView(QWidget* parent) : DispA(parent)
{
    zoomEnabled = false;
    panEnabled = false;
    connect(this, SIGNAL(drawImage1(QPainter*)), this, SLOT(draw(QPainter*)));
}

void CrossSView::plotRange(double lo, double hi, double& r0, double& r1)
{
    r0 = lo;
    r1 = hi;
    if (lo == hi) {
        r0 = lo - 1;
        r1 = hi + 1;
    }
}

void CrossSView::draw(QPainter* p)
{
    const int W = width();
    const int H = height();
    profileCoord.setScreenArea(0, H, W, 0);
    const QVector<QPointF>& pts = profile.points;
    if (pts.isEmpty()) return;
    const double shift = profile.xShiftOn ? profile.xShift : 0.0;
    double p0, p1, v0, v1;
    plotRange(profile.minX - shift, profile.maxX - shift, p0, p1);
    plotRange(profile.minY, profile.maxY, v0, v1);
    const bool along = orientation == 0;
    if (along)
        profileCoord.setRealCoord(p0, v0, p1, v1);
    else
        profileCoord.setRealCoord(v0, p0, v1, p1);

    QPolygon line;
    line.reserve(pts.size());
    for (const QPointF& pt : pts) {
        const double pos = pt.x() - shift;
        const double val = pt.y();
        if (along)
            line << QPoint(ChCoord::pix(profileCoord.r2sx(pos)), ChCoord::pix(profileCoord.r2sy(val)));
        else
            line << QPoint(ChCoord::pix(profileCoord.r2sx(val)), ChCoord::pix(profileCoord.r2sy(pos)));
    }
    p->drawPolyline(line);

    p->setPen(QColor(192, 192, 0));
    if (along) {
        const int X = ChCoord::pix(profileCoord.r2sx(markerPos));
        p->drawLine(X, 0, X, H);
    } else {
        const int Y = ChCoord::pix(profileCoord.r2sy(markerPos));
        p->drawLine(0, Y, W, Y);
    }
}
