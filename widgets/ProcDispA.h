#ifndef PROCDISPA_H
#define PROCDISPA_H

#include "DispA.h"

#include <QImage>
#include <QRectF>

// Shows a picture made by the image-processing panel through a view window
// that the wheel zooms about the cursor.
class ProcDispA : public DispA
{
    Q_OBJECT

public:
    explicit ProcDispA(QWidget* parent = nullptr);

    QImage* image = nullptr;  // not owned
    QRectF viewWindow;        // in image pixels

    void setImage(QImage* q);

signals:
    void mouseMoved(double x, double y);

private slots:
    void drawOnScreen(QPainter* p);
    void onMousePressed();
    void onMouseReleased();
    void onMouseMoved();
    void onWheelMoved();
};

#endif
