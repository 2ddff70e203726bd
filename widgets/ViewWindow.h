#ifndef VIEWWINDOW_H
#define VIEWWINDOW_H

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSizeF>

// Arithmetic of a view window: the part of an image (x, y, width, height in
// image pixels) stretched over a widget.
namespace ViewWindow {

// The image point under widget pixel m.
QPointF toImage(const QRectF& view, const QPointF& m, const QSizeF& widget);
// The widget point over image point p, not rounded to a pixel.
QPointF toWidget(const QRectF& view, const QPointF& p, const QSizeF& widget);

// The window scaled by f about the cursor m, so the image point under m stays
// under it. With edgeBands, a cursor in the left or right tenth of the widget
// scales only the height, in the top or bottom tenth only the width.
QRectF zoomed(const QRectF& view, const QPointF& m, const QSizeF& widget, double f, bool edgeBands);

// The window moved so that the image point under previous is under current.
QRectF panned(const QRectF& view, const QPointF& previous, const QPointF& current, const QSizeF& widget);

// How many times the image's width or height a view may span when zooming
// out: farther out it shows nothing more, while what walks the view block by
// block (the statistics without a selected area) grows with its area.
constexpr double maxZoomOut = 4.0;

// Whether the view spans more than maxZoomOut times the image's width or
// height; false without an image size.
bool pastZoomOut(const QRectF& view, double imageWidth, double imageHeight);

// x, y the smaller corner, width and height not negative.
QRectF normalised(const QRectF& r);

// The whole pixels of the window: from the truncated start up to, not
// including, the truncated end.
QRect pixelRect(const QRectF& view);

}  // namespace ViewWindow

#endif
