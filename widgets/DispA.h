#ifndef DISPA_H
#define DISPA_H

#include "ChCoord.h"
#include "MouseC.h"

#include <QFrame>

class QPainter;

// The drawing surface of every plot and image: paints itself white, lets its
// owners draw in two layers and reports mouse and wheel events as
// argument-free signals after recording them in `mouse`.
class DispA : public QFrame
{
    Q_OBJECT

public:
    explicit DispA(QWidget* parent = nullptr);

    bool zoomEnabled = true;
    bool panEnabled = true;
    ChCoord coord;
    MouseC mouse;
    double wheelSteps = 0;
    double zoomFactor = 0;

    // Scale factor for a number of wheel steps: 1.1 towards the user (negative),
    // 1 / 1.1 away from the user, 1 when the wheel did not turn vertically.
    static double zoomFactorOf(double steps);

signals:
    void drawImage1(QPainter* p);
    void drawImage2(QPainter* p);
    void mouseMoved0();
    void mousePressed0();
    void mouseReleased0();
    void mouseDoubleClicked0();
    void wheelMoved0();

private slots:
    void paintEvent(QPaintEvent* p) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

public slots:
    void setScreenMousePos(int x, int y);
    void setRealMousePos(double x, double y);

private:
    // The cursor moved to a screen pixel; given: placed at mouse.givenPos.
    void placeMouse(const QPoint& screen, bool given);
};

#endif
