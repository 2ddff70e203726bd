// What the image view shows, navigation through the stacks, the overlay, the
// cross sections and the values under the cursor.

#include "Body.h"
#include "BodyHooks.h"

#include "CrossSection.h"
#include "SelectDataFiles.h"

#include "core/StringUtil.h"
#include "core/TiffData.h"
#include "widgets/SpecPane.h"

#include <QDebug>
#include <QPainter>

#include <climits>
#include <cmath>

namespace {

int truncToInt(double v)
{
    if (!std::isfinite(v)) return 0;
    return int(qBound(double(INT_MIN), std::trunc(v), double(INT_MAX)));
}

QRect truncRect(double x, double y, double w, double h)
{
    return QRect(truncToInt(x), truncToInt(y), truncToInt(w), truncToInt(h));
}

QString valueText(double v)
{
    return withThousandsSeparators(QString("%1").arg(v, 0, 'g', 4));
}

}  // namespace

SelectDataFiles* Body::displayedSelector() const
{
    return ShowData->isChecked() ? SelectI1Files : SelectI0Files;
}

const QVector<TiffData*>& Body::displayedStack() const
{
    return ShowData->isChecked() ? i1Images : i0Images;
}

TiffData* Body::displayedImage() const
{
    const QVector<TiffData*>& stack = displayedStack();
    const int idx = displayedSelector()->Selected->currentIndex();
    return idx >= 0 && idx < stack.size() ? stack[idx] : nullptr;
}

Analyzed2DRes* Body::selectedMap() const
{
    // The analysis panel designates the map; without it there is none.
    const BodyHooks& h = hooks();
    return h.selectedMap ? h.selectedMap(*this) : nullptr;
}

void Body::showData(int no)
{
    dispA->setShowOverLayer(false);
    SeekBar->setValue(no);
    ImgNo->setText(QString::number(no));
    const QVector<TiffData*>& stack = displayedStack();
    if (no < 0 || no >= stack.size()) return;
    dispA->setImage(stack[no]);
    ImgNo->setToolTip(stack[no]->file);
    dispA->update();
    emit shownImageChanged(stack[no]);
}

void Body::seekImage(int imgNo)
{
    showData(imgNo);
}

void Body::dispImgSelected(bool)
{
    if (ShowData->isChecked()) showData(SelectI1Files->Selected->currentIndex());
    if (ShowI0->isChecked()) showData(SelectI0Files->Selected->currentIndex());
    if (ShowShiftMap->isChecked()) {
        dispA->overlayMap = &shiftMap;
        dispA->setShowOverLayer(true);
    }
    if (ShowResAnalysis->isChecked()) {
        dispA->overlayMap = selectedMap();
        dispA->setShowOverLayer(true);
    }
    dispA->update();
}

void Body::selectedNewRef()
{
    dispImgSelected(true);
}

void Body::sliderMoved(int idx)
{
    displayedSelector()->select(idx);
    if (specWindow) {
        const QVector<TiffData*>& stack = displayedStack();
        specWindow->markerEnergy = idx >= 0 && idx < stack.size() ? stack[idx]->energy : -1.0;
        specWindow->update();
    }
    showData(idx);
}

// The selector announces a new choice only for the I1 stack and only when it
// follows the newest image, so the step shows the image itself.
void Body::prev()
{
    SelectDataFiles* sel = displayedSelector();
    sel->prev();
    showData(sel->Selected->currentIndex());
}

void Body::next()
{
    SelectDataFiles* sel = displayedSelector();
    sel->next();
    showData(sel->Selected->currentIndex());
}

void Body::rerenderDisplayed(bool wholeStack)
{
    if (ShowShiftMap->isChecked()) {
        if (shiftMap.hasImage) shiftMap.genImg();
    } else if (ShowResAnalysis->isChecked()) {
        if (Analyzed2DRes* map = selectedMap()) map->genImg();
    } else if (TiffData* shown = displayedImage()) {
        if (wholeStack) {
            for (TiffData* t : displayedStack()) t->makeQImage();
        } else {
            shown->makeQImage();
        }
        // The frame's display image was rebuilt: the view must not keep the old one.
        if (dispA->image) dispA->setImage(dispA->image);
    }
    dispA->update();
}

void Body::cBarUpdating()
{
    rerenderDisplayed(false);
}

void Body::cBarUpdated()
{
    qDebug() << "cBarUpdated" << CBar->valueMin << CBar->valueMax;
    rerenderDisplayed(true);
}

// The profiles show what the image view shows, row for row and column for
// column, wherever the layout puts them.
void Body::alignProfiles()
{
    const QRectF& w = dispA->viewWindow;
    if (!(w.width() > 0 && w.height() > 0)) {
        HCross->unalignPositions();
        VCross->unalignPositions();
        return;
    }
    const QPoint origin = dispA->mapToGlobal(QPoint(0, 0));
    const QPoint inH = HCross->mapFromGlobal(origin);
    const QPoint inV = VCross->mapFromGlobal(origin);
    HCross->alignPositions(w.x(), w.x() + w.width(), inH.x(), inH.x() + dispA->width());
    VCross->alignPositions(w.y(), w.y() + w.height(), inV.y(), inV.y() + dispA->height());
}

void Body::draw(QPainter* p)
{
    alignProfiles();
    const ChCoord& cc = dispA->coord;
    auto rect = [&](double x, double y, double w, double h) {
        return truncRect(cc.r2sx(x), cc.r2sy(y), cc.r2sdx(w), cc.r2sdy(h));
    };

    const int h = boxHalfWidth();
    const int v = boxHalfHeight();
    p->setPen(QPen(QColor(255, 0, 0), 2));
    p->drawRect(rect(double(cursorX) - h, double(cursorY) - v, 2.0 * h + 1, 2.0 * v + 1));

    p->setPen(QPen(QColor(192, 192, 0), 1));
    p->drawLine(QLineF(cc.r2sx(cursorX), cc.r2sy(0), cc.r2sx(cursorX), cc.r2sy(imageHeight)));
    p->drawLine(QLineF(cc.r2sx(0), cc.r2sy(cursorY), cc.r2sx(imageWidth), cc.r2sy(cursorY)));

    if (dispA->selecting || dispA->areaValid) {
        const QRectF& a = dispA->selectedArea;
        p->setPen(QColor(192, 192, 255));
        p->drawRect(rect(a.x(), a.y(), a.width(), a.height()));
        BoxSize->setText(QString::asprintf("(% 4d, % 4d)-(% 4d, % 4d)", truncToInt(a.x()),
                                           truncToInt(a.y()), truncToInt(a.x() + a.width()),
                                           truncToInt(a.y() + a.height())));
    }
    if (i0DarkAreaSet) {
        p->setPen(QColor(192, 255, 192));
        p->drawRect(rect(i0DarkArea.x(), i0DarkArea.y(), i0DarkArea.width(), i0DarkArea.height()));
    }
    if (i1DarkAreaSet) {
        p->setPen(QColor(255, 192, 192));
        p->drawRect(rect(i1DarkArea.x(), i1DarkArea.y(), i1DarkArea.width(), i1DarkArea.height()));
    }
    CBar->update();
}

Spectrum Body::makeCrossSection(bool alongX, int at, int dx, int dy, bool mu)
{
    const QVector<TiffData*>& stack = mu ? i1Images : i0Images;
    const int idx = displayedSelector()->Selected->currentIndex();
    if (idx < 0 || idx >= stack.size()) return Spectrum();
    CrossSection::Conds c;
    c.imageWidth = imageWidth;
    c.imageHeight = imageHeight;
    c.mu = mu;
    c.fluorescence = FluoType->isChecked();
    return alongX ? CrossSection::alongX(stack[idx], i0Images, at, dx, dy, c)
                  : CrossSection::alongY(stack[idx], i0Images, at, dx, dy, c);
}

Spectrum Body::makeXCrossSection(int y, int dx, int dy, bool mu)
{
    return makeCrossSection(true, y, dx, dy, mu);
}

Spectrum Body::makeYCrossSection(int x, int dx, int dy, bool mu)
{
    return makeCrossSection(false, x, dx, dy, mu);
}

void Body::onMouseMovedInDispA()
{
    const QPointF at = dispA->cursorImagePos();
    const int x = truncToInt(at.x());
    const int y = truncToInt(at.y());
    const bool mu = ShowData->isChecked();

    HCross->profile = makeXCrossSection(y, 1, boxHalfHeight(), mu);
    HCross->markerPos = x;
    HCross->update();
    VCross->profile = makeYCrossSection(x, 1, boxHalfWidth(), mu);
    VCross->markerPos = y;
    VCross->update();
    alignProfiles();

    Analyzed2DRes* map = ShowResAnalysis->isChecked() ? selectedMap() : nullptr;
    if (map) {
        double v = 0;
        if (map->inside(x, y)) v = map->showProc && map->proc ? map->proc[qint64(y) * map->width() + x] : map->valueAt(x, y);
        Value->setText(valueText(v));
        double fitted = 0;
        if (map->inside(x, y)) {
            fitted = map->fit.valueAt(x, y);
            qDebug() << "val20" << fitted;
        }
        Value2->setText(valueText(fitted));
    } else if (const TiffData* img = displayedImage()) {
        Value->setText(valueText(img->pixelValue(x, y)));
    }
    if (darkImage)
        DarkValue->setText(withThousandsSeparators(QString::number(darkImage->pixelValue(x, y), 'g', 6)));
}

void Body::showAnalyzedVals()
{
    const Analyzed2DRes* map = selectedMap();
    if (!map) return;
    qDebug().noquote() << "vals of " << map->name;
    for (int y = 0; y < map->height(); ++y) {
        for (int x = 0; x < map->width(); ++x) {
            const double proc = map->proc ? map->proc[qint64(y) * map->width() + x] : 0.0;
            qDebug().noquote() << QString::asprintf("%4d %4d %15.6f %15.6f", x, y, map->valueAt(x, y), proc);
        }
    }
}

void Body::deglitch()
{
    Analyzed2DRes* map = selectedMap();
    if (!map) return;
    map->setDeglitchConds(DeGlitchFactor->text().toDouble(), DeGlitchRatio->text().toDouble());
    map->selectProcImg(true);
    map->genImg();
    map->deglitch();
    update();
}
