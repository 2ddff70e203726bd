#include "ImgDispA.h"

#include "ViewWindow.h"

#include "core/Analyzed2DRes.h"
#include "core/TiffData.h"

#include <QPainter>

ImgDispA::ImgDispA(QWidget* parent) : DispA(parent)
{
    connect(this, SIGNAL(drawImage1(QPainter*)), this, SLOT(drawImage(QPainter*)));
    connect(this, SIGNAL(mouseMoved0()), this, SLOT(onMouseMoved()));
    connect(this, SIGNAL(mousePressed0()), this, SLOT(onMousePressed()));
    connect(this, SIGNAL(mouseReleased0()), this, SLOT(onMouseReleased()));
    connect(this, SIGNAL(wheelMoved0()), this, SLOT(onWheelMoved()));
}

QPointF ImgDispA::imagePosOf(const QPoint& m) const
{
    return ViewWindow::toImage(viewWindow, m, size());
}

QPointF ImgDispA::cursorImagePos() const
{
    return mouse.posGiven ? mouse.givenPos : imagePosOf(mouse.currentPos);
}

QImage* ImgDispA::currentBase() const
{
    return image ? image->image : nullptr;
}

int ImgDispA::pressMode() const
{
    return MouseC::modeOf(mouse.pressButton, mouse.pressModifiers);
}

void ImgDispA::setImage(TiffData* t)
{
    image = t;
    if (!t) {
        // Nothing of the old frame may be drawn once it is gone.
        baseImage = nullptr;
        update();
        return;
    }
    if (!t->image) t->makeQImage();
    baseImage = t->image;
    if (viewWindow.width() == 0) viewWindow = QRectF(0, 0, t->width, t->height);
    update();
}

void ImgDispA::resetImageViewWindow()
{
    if (!image) return;
    viewWindow = QRectF(0, 0, image->width, image->height);
    update();
}

void ImgDispA::setShowOverLayer(bool f)
{
    showOverlay = f;
}

void ImgDispA::setSelectedArea(int x1, int y1, int x2, int y2)
{
    previousArea = selectedArea;
    previousAreaValid = areaValid;
    selectedArea = ViewWindow::normalised(QRectF(x1, y1, double(x2) - x1, double(y2) - y1));
    areaValid = true;
    update();
}

void ImgDispA::setViewWAsSelectedArea()
{
    if (!areaValid) return;
    viewWindow = selectedArea;
    update();
}

void ImgDispA::recallOldSelectedArea()
{
    // With no selection before, none is left: an empty area at the origin
    // would pass for one and be taken as the next dark area.
    selectedArea = previousArea;
    areaValid = previousAreaValid;
}

QImage ImgDispA::viewedImage() const
{
    const QImage* shown = nullptr;
    if (showOverlay)
        shown = overlayMap && overlayMap->hasImage ? overlayMap->img() : nullptr;
    else
        shown = currentBase();
    if (!shown || shown->isNull()) return QImage();
    return shown->copy(ViewWindow::pixelRect(viewWindow));
}

void ImgDispA::drawImage(QPainter* p)
{
    const QRectF target(0, 0, width(), height());
    // Set before anything can return: the surface leaves a y-up frame that
    // would mirror every cursor position taken from this view.
    coord.setScreenArea(0, 0, width(), height());
    coord.setRealCoord(viewWindow.x(), viewWindow.y(), viewWindow.x() + viewWindow.width(),
                       viewWindow.y() + viewWindow.height());
    if (showOverlay) {
        if (!overlayMap || !overlayMap->hasImage || !overlayMap->img()) return;
        overlayMap->setCBarRange();
        p->drawImage(target, *overlayMap->img(), viewWindow);
    } else {
        // The frame rebuilds its display image whenever the colour scale
        // changes, which replaces the QImage it owns: follow it.
        baseImage = currentBase();
        if (!baseImage) return;
        image->applyRangeToColorBar();
        p->drawImage(target, *baseImage, viewWindow);
    }
}

void ImgDispA::onMousePressed()
{
    const int mode = pressMode();
    if (mode == 0 || mode == 2) {
        selecting = true;
        previousArea = selectedArea;
        previousAreaValid = areaValid;
        selectedArea = QRectF(imagePosOf(mouse.pressPos), QSizeF(0, 0));
    } else if (mode == 8) {
        selectedArea = QRectF(0, 0, 0, 0);
        selecting = false;
        areaValid = false;
    }
    update();
}

void ImgDispA::onMouseMoved()
{
    if (!mouse.pressed) {
        const QPointF at = cursorImagePos();
        emit mouseMoved(at.x(), at.y());
        update();
        return;
    }
    if (!currentBase()) return;
    const int mode = pressMode();
    if ((mode == 0 || mode == 2) && selecting) {
        const QPointF at = imagePosOf(mouse.currentPos);
        selectedArea.setWidth(at.x() - selectedArea.x());
        selectedArea.setHeight(at.y() - selectedArea.y());
    } else if (mode == 1 && panEnabled) {
        viewWindow = ViewWindow::panned(viewWindow, mouse.previousPos, mouse.currentPos, size());
    }
    update();
}

void ImgDispA::onMouseReleased()
{
    if (selecting) {
        selecting = false;
        if (selectedArea.width() != 0 && selectedArea.height() != 0) {
            selectedArea = ViewWindow::normalised(selectedArea);
            areaValid = true;
            emit newAreaSelected();
            if (pressMode() == 2) viewWindow = selectedArea;
        } else {
            // A click without a drag is not a selection: keep the area there was.
            selectedArea = previousArea;
        }
    }
    update();
}

void ImgDispA::onWheelMoved()
{
    if (!zoomEnabled) return;
    // A given position stands for itself: the screen pixel placed with it
    // was worked out from the frame last drawn, which may show another window.
    const QPointF m = mouse.posGiven ? ViewWindow::toWidget(viewWindow, mouse.givenPos, size())
                                     : QPointF(mouse.currentPos);
    const QRectF z = ViewWindow::zoomed(viewWindow, m, size(), zoomFactor, true);
    // A trackpad turns many small scrolls into whole steps: zooming out stops
    // a few image sizes out.
    double w = 0, h = 0;
    if (showOverlay && overlayMap) {
        w = overlayMap->width();
        h = overlayMap->height();
    } else if (image) {
        w = image->width;
        h = image->height;
    }
    if (zoomFactor > 1 && ViewWindow::pastZoomOut(z, w, h)) return;
    viewWindow = z;
    update();
}
