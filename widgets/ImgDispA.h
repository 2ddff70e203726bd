#ifndef IMGDISPA_H
#define IMGDISPA_H

#include "DispA.h"

#include <QImage>
#include <QRectF>

class TiffData;
class Analyzed2DRes;

// The zoomable image view: one frame of a stack, or a result map instead,
// through a view window that the wheel zooms and Shift+left drag pans. Left
// drag selects an area, Ctrl+left drag selects and zooms to it, a right click
// clears it.
class ImgDispA : public DispA
{
    Q_OBJECT

public:
    explicit ImgDispA(QWidget* parent = nullptr);

    TiffData* image = nullptr;       // not owned
    QImage* baseImage = nullptr;     // the frame's display image, not owned
    bool showOverlay = false;
    Analyzed2DRes* overlayMap = nullptr;  // not owned
    QRectF viewWindow;               // in image pixels
    bool selecting = false;
    bool areaValid = false;
    QRectF selectedArea;             // in image pixels
    QRectF previousArea;
    bool previousAreaValid = false;

    void setImage(TiffData* t);
    // The picture shown, cut to the view window; null when there is none.
    QImage viewedImage() const;
    // The image position of the cursor: the one given to setRealMousePos,
    // else the one under the pointer.
    QPointF cursorImagePos() const;

signals:
    void mouseMoved(double x, double y);
    void mouseDragged(double x, double y);
    void newAreaSelected();

private slots:
    void drawImage(QPainter* p);
    void onMousePressed();
    void onMouseReleased();
    void onMouseMoved();
    void onWheelMoved();

public slots:
    void resetImageViewWindow();
    void setShowOverLayer(bool f);
    void setSelectedArea(int x1, int y1, int x2, int y2);
    void setViewWAsSelectedArea();
    void recallOldSelectedArea();

private:
    QPointF imagePosOf(const QPoint& m) const;
    int pressMode() const;
    QImage* currentBase() const;
};

#endif
