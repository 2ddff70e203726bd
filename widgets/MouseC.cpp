#include "MouseC.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>

MouseC::MouseC(QObject* parent) : QObject(parent) {}

int MouseC::roundPos(double d)
{
    if (!(d == d)) return 0;
    constexpr double lim = 1e9;
    return static_cast<int>(std::floor(std::clamp(d, -lim, lim) + 0.5));
}

QPoint MouseC::roundPos(const QPointF& p)
{
    return QPoint(roundPos(p.x()), roundPos(p.y()));
}

void MouseC::move(QMouseEvent* e)
{
    previousPos = currentPos;
    currentPos = roundPos(e->localPos());
    posGiven = false;
    currentButton = e->button();
    currentModifiers = e->modifiers();
}

void MouseC::press(QMouseEvent* e)
{
    move(e);
    pressPos = currentPos;
    pressButton = e->button();
    pressModifiers = e->modifiers();
    pressed = true;
}

void MouseC::release(QMouseEvent* e)
{
    move(e);
    releasePos = currentPos;
    releaseButton = e->button();
    releaseModifiers = e->modifiers();
    pressed = false;
}

void MouseC::doubleClick(QMouseEvent* e)
{
    doubleClickPos = roundPos(e->localPos());
    doubleClickButton = e->button();
    doubleClickModifiers = e->modifiers();
    currentButton = e->button();
    currentModifiers = e->modifiers();
}

int MouseC::modeOf(Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    int base;
    if (button == Qt::LeftButton)
        base = 0;
    else if (button == Qt::RightButton)
        base = 8;
    else
        return 16;
    // Indexed by Shift | Control << 1 | Alt << 2.
    static const int order[8] = {0, 1, 2, 4, 3, 5, 6, 7};
    const int held = (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0)
                     | (modifiers & Qt::AltModifier ? 4 : 0);
    return base + order[held];
}
