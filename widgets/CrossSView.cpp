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

void CrossSView::alignPositions(double from, double to, double screenFrom, double screenTo)
{
    if (aligned && from == alignFrom && to == alignTo && screenFrom == alignScreenFrom &&
        screenTo == alignScreenTo)
        return;
    aligned = true;
    alignFrom = from;
    alignTo = to;
    alignScreenFrom = screenFrom;
    alignScreenTo = screenTo;
    update();
}

void CrossSView::unalignPositions()
{
    if (!aligned) return;
    aligned = false;
    update();
}

// Values run up (orientation 0) or to the right; positions left to right or
// top down, pixel p covering [p, p + 1).
void CrossSView::setFrame()
{
    const double W = width();
    const double H = height();
    const bool along = orientation == 0;
    const double shift = profile.xShiftOn ? profile.xShift : 0.0;
    double p0, p1, s0, s1;
    if (aligned) {
        p0 = alignFrom;
        p1 = alignTo;
        s0 = alignScreenFrom;
        s1 = alignScreenTo;
    } else {
        p0 = profile.minX - shift;
        p1 = profile.maxX - shift + 1;
        s0 = 0;
        s1 = along ? W : H;
    }
    double v0, v1;
    plotRange(profile.minY, profile.maxY, v0, v1);
    if (along) {
        profileCoord.setScreenArea(s0, H, s1, 0);
        profileCoord.setRealCoord(p0, v0, p1, v1);
    } else {
        profileCoord.setScreenArea(0, s0, W, s1);
        profileCoord.setRealCoord(v0, p0, v1, p1);
    }
}

double CrossSView::screenOfPosition(double p) const
{
    const double shift = profile.xShiftOn ? profile.xShift : 0.0;
    return orientation == 0 ? profileCoord.r2sx(p - shift + 0.5) : profileCoord.r2sy(p - shift + 0.5);
}

void CrossSView::draw(QPainter* p)
{
    const int W = width();
    const int H = height();
    const QVector<QPointF>& pts = profile.points;
    if (pts.isEmpty()) return;
    setFrame();
    const bool along = orientation == 0;

    QPolygon line;
    line.reserve(pts.size());
    for (const QPointF& pt : pts) {
        const int at = ChCoord::pix(screenOfPosition(pt.x()));
        if (along)
            line << QPoint(at, ChCoord::pix(profileCoord.r2sy(pt.y())));
        else
            line << QPoint(ChCoord::pix(profileCoord.r2sx(pt.y())), at);
    }
    p->drawPolyline(line);

    // The marker is a position of the image itself, taken without the shift.
    p->setPen(QColor(192, 192, 0));
    const int M = ChCoord::pix(along ? profileCoord.r2sx(markerPos + 0.5) : profileCoord.r2sy(markerPos + 0.5));
    if (along)
        p->drawLine(M, 0, M, H);
    else
        p->drawLine(0, M, W, M);
}
