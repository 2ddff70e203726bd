#include "DispA.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

DispA::DispA(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setAttribute(Qt::WA_MouseTracking);
}

double DispA::zoomFactorOf(double steps)
{
    if (steps < 0) return 1.1;
    if (steps > 0) return 1.0 / 1.1;
    return 1.0;
}

void DispA::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    coord.setScreenArea(0, height(), width(), 0);
    p.fillRect(rect(), QColor(255, 255, 255));
    emit drawImage1(&p);
    emit drawImage2(&p);
    p.end();
}

void DispA::mouseMoveEvent(QMouseEvent* e)
{
    // Alt lets the cursor leave the surface without disturbing what it shows.
    if (e->modifiers() & Qt::AltModifier) return;
    mouse.move(e);
    emit mouseMoved0();
    update();
}

void DispA::mousePressEvent(QMouseEvent* e)
{
    mouse.press(e);
    emit mousePressed0();
}

void DispA::mouseReleaseEvent(QMouseEvent* e)
{
    mouse.release(e);
    emit mouseReleased0();
}

void DispA::mouseDoubleClickEvent(QMouseEvent* e)
{
    mouse.doubleClick(e);
    emit mouseDoubleClicked0();
}

void DispA::wheelEvent(QWheelEvent* e)
{
    wheelSteps = e->angleDelta().y() * 0.125 / 15;
    zoomFactor = zoomFactorOf(wheelSteps);
    emit wheelMoved0();
}

void DispA::setScreenMousePos(int x, int y)
{
    placeMouse(QPoint(x, y), false);
}

void DispA::placeMouse(const QPoint& screen, bool given)
{
    mouse.previousPos = mouse.currentPos;
    mouse.currentPos = screen;
    mouse.posGiven = given;
    emit mouseMoved0();
    update();
}

// The screen pixel is only where the pointer would be; receivers take the
// position itself (MouseC::givenPos), as the way back through a whole pixel
// lands on a neighbour whenever the scale is not a whole number.
void DispA::setRealMousePos(double x, double y)
{
    mouse.givenPos = QPointF(x, y);
    placeMouse(QPoint(ChCoord::pix(coord.r2sx(x)), ChCoord::pix(coord.r2sy(y))), true);
}
