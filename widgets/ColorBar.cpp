#include "ColorBar.h"

#include "core/Globals.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

ColorBar::ColorBar(QWidget* parent) : DispA(parent), barPixmap(pixmapWidth, pixmapHeight)
{
    imageFormat = displayImageFormat;
    connect(this, SIGNAL(drawImage1(QPainter*)), this, SLOT(draw1(QPainter*)));
    connect(this, SIGNAL(mouseMoved0()), this, SLOT(onMouseMoved()));
    connect(this, SIGNAL(mousePressed0()), this, SLOT(onMousePressed()));
    connect(this, SIGNAL(mouseReleased0()), this, SLOT(onMouseReleased()));
    paintCBar();
    update();
}

QColor ColorBar::colorOfH(int h)
{
    const double f = ChCoord::fraction(h, height());
    return colorOfV(std::clamp(f, 0.0, 1.0));
}

void ColorBar::paintCBar()
{
    barPixmap = renderBar(valueMin, valueMax);
    update();
}

QPixmap ColorBar::renderBar(double vMin, double vMax)
{
    const int w = pixmapWidth;
    const int n = pixmapHeight;
    QPixmap bar(w, n);
    // Before the widget has a height, sample the table as if it were as tall as the pixmap.
    const int H = height() > 0 ? height() : n;
    QPainter p(&bar);
    for (int r = n - 1; r >= 0; --r) {
        const int h = static_cast<int>(static_cast<qint64>(n - 1 - r) * H / n);
        p.setPen(height() > 0 ? colorOfH(h) : colorOfV(static_cast<double>(n - 1 - r) / n));
        p.drawLine(0, r, w, r);
    }
    p.setPen(QColor(0, 192, 255));
    const int lowerRow = ChCoord::pix((1 - lowerLimit) * n);
    const int upperRow = ChCoord::pix((1 - upperLimit) * n);
    p.drawLine(0, lowerRow, w, lowerRow);
    p.drawLine(0, upperRow, w, upperRow);

    p.setPen(QColor(0, 255, 192));
    const QFont font;
    const double cx = w / 2;
    drawText.putRotatedText(&p, 90, QRectF(cx, 50, 95, w), font, Qt::AlignLeft | Qt::AlignVCenter, 1,
                            QString::number(vMax, 'g', 6), 10, false, QColor());
    drawText.putRotatedText(&p, 90, QRectF(cx, n - 50, 95, w), font, Qt::AlignRight | Qt::AlignVCenter, 1,
                            QString::number(vMin, 'g', 6), 10, false, QColor());
    if (dragging) {
        const double v = vMin + (vMax - vMin) * *dragTarget;
        drawText.putRotatedText(&p, 90, QRectF(cx, n / 2, 95, w), font, Qt::AlignRight | Qt::AlignVCenter, 1,
                                QString::number(v, 'g', 6), 10, false, QColor());
    }
    p.end();
    return bar;
}

void ColorBar::resizeEvent(QResizeEvent* e)
{
    DispA::resizeEvent(e);
    paintCBar();
}

void ColorBar::draw1(QPainter* p)
{
    p->drawPixmap(rect(), barPixmap);
}

double ColorBar::fractionAtMouse() const
{
    return ChCoord::fraction(height() - mouse.currentPos.y(), height());
}

void ColorBar::onMousePressed()
{
    const double f = fractionAtMouse();
    const double dU = std::fabs(upperLimit - f);
    const double dL = std::fabs(lowerLimit - f);
    if (dL > dU) {
        dragging = true;
        dragTarget = &upperLimit;
    } else if (dU > dL) {
        dragging = true;
        dragTarget = &lowerLimit;
    }
    paintCBar();
}

void ColorBar::onMouseMoved()
{
    if (!mouse.pressed) return;
    if (dragging) {
        *dragTarget = fractionAtMouse();
        paintCBar();
    }
    update();
    emit cBarUpdating();
}

void ColorBar::onMouseReleased()
{
    emit cBarUpdated();
    dragging = false;
    // Drop the value shown under the dragged limit.
    paintCBar();
}
