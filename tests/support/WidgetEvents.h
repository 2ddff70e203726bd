#ifndef SUPPORT_WIDGETEVENTS_H
#define SUPPORT_WIDGETEVENTS_H

// Real mouse and wheel events for widget tests. In Qt 5 QTest::mouseMove
// cannot carry buttons or modifiers, so the events are built by hand.
#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

namespace WidgetEvents {

inline void mouse(QWidget* w, QEvent::Type type, const QPointF& pos, Qt::MouseButton button,
                  Qt::MouseButtons buttons, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QMouseEvent e(type, pos, w->mapToGlobal(pos.toPoint()), button, buttons, mods);
    QApplication::sendEvent(w, &e);
}

inline void move(QWidget* w, const QPointF& pos, Qt::MouseButtons held = Qt::NoButton,
                 Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    mouse(w, QEvent::MouseMove, pos, Qt::NoButton, held, mods);
}

inline void press(QWidget* w, const QPointF& pos, Qt::MouseButton b = Qt::LeftButton,
                  Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    mouse(w, QEvent::MouseButtonPress, pos, b, b, mods);
}

inline void release(QWidget* w, const QPointF& pos, Qt::MouseButton b = Qt::LeftButton,
                    Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    mouse(w, QEvent::MouseButtonRelease, pos, b, Qt::NoButton, mods);
}

// A drag from a to b with the button held, in a few steps.
inline void drag(QWidget* w, const QPointF& a, const QPointF& b, Qt::MouseButton button = Qt::LeftButton,
                 Qt::KeyboardModifiers mods = Qt::NoModifier, int steps = 4)
{
    press(w, a, button, mods);
    for (int i = 1; i <= steps; ++i) move(w, a + (b - a) * i / steps, button, mods);
    release(w, b, button, mods);
}

inline void wheel(QWidget* w, const QPointF& pos, const QPoint& angleDelta,
                  Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWheelEvent e(pos, w->mapToGlobal(pos.toPoint()), QPoint(), angleDelta, Qt::NoButton, mods,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

}  // namespace WidgetEvents

#endif
