#include "ProcDispA.h"

#include "ViewWindow.h"

#include <QPainter>

ProcDispA::ProcDispA(QWidget* parent) : DispA(parent)
{
    connect(this, SIGNAL(drawImage1(QPainter*)), this, SLOT(drawOnScreen(QPainter*)));
    connect(this, SIGNAL(mouseMoved0()), this, SLOT(onMouseMoved()));
    connect(this, SIGNAL(mousePressed0()), this, SLOT(onMousePressed()));
    connect(this, SIGNAL(mouseReleased0()), this, SLOT(onMouseReleased()));
    connect(this, SIGNAL(wheelMoved0()), this, SLOT(onWheelMoved()));
}

void ProcDispA::setImage(QImage* q)
{
    image = q;
    if (viewWindow.width() == 0 && q) viewWindow = QRectF(0, 0, q->width(), q->height());
}

void ProcDispA::drawOnScreen(QPainter* p)
{
    if (!image) return;
    p->drawImage(QRectF(0, 0, width(), height()), *image, viewWindow);
    coord.setScreenArea(0, 0, width(), height());
    coord.setRealCoord(viewWindow.x(), viewWindow.y(), viewWindow.x() + viewWindow.width(),
                       viewWindow.y() + viewWindow.height());
}

void ProcDispA::onMousePressed()
{
    update();
}

void ProcDispA::onMouseReleased()
{
    update();
}

void ProcDispA::onMouseMoved()
{
    const QPointF at = ViewWindow::toImage(viewWindow, mouse.currentPos, size());
    emit mouseMoved(at.x(), at.y());
    update();
}

void ProcDispA::onWheelMoved()
{
    if (!zoomEnabled) return;
    viewWindow = ViewWindow::zoomed(viewWindow, mouse.currentPos, size(), zoomFactor, false);
    update();
}
