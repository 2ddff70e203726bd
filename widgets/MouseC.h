#ifndef MOUSEC_H
#define MOUSEC_H

#include <QObject>
#include <QPoint>
#include <QPointF>

class QMouseEvent;

// The last mouse events of one drawing surface.
class MouseC : public QObject
{
    Q_OBJECT

public:
    explicit MouseC(QObject* parent = nullptr);

    QPoint previousPos;
    QPoint currentPos;
    QPoint pressPos;
    QPoint releasePos;
    QPoint doubleClickPos;
    bool pressed = false;
    Qt::MouseButton currentButton = Qt::NoButton;
    Qt::MouseButton pressButton = Qt::NoButton;
    Qt::MouseButton releaseButton = Qt::NoButton;
    Qt::MouseButton doubleClickButton = Qt::NoButton;
    Qt::KeyboardModifiers currentModifiers = Qt::NoModifier;
    Qt::KeyboardModifiers pressModifiers = Qt::NoModifier;
    Qt::KeyboardModifiers releaseModifiers = Qt::NoModifier;
    Qt::KeyboardModifiers doubleClickModifiers = Qt::NoModifier;
    // A position the owner placed the cursor at in its own (real) coordinates;
    // a whole screen pixel cannot stand for it at every scale. Valid until
    // the next real move.
    QPointF givenPos;
    bool posGiven = false;

    void move(QMouseEvent* e);
    void press(QMouseEvent* e);
    void release(QMouseEvent* e);
    void doubleClick(QMouseEvent* e);

    // One code for a button with its modifiers: left 0..7, right 8..15, else 16.
    static int modeOf(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    // Nearest integer, halves upwards.
    static int roundPos(double d);
    static QPoint roundPos(const QPointF& p);
};

#endif
