// The spectrum under the cursor: box spectra of the stacks, the dark image and
// dark areas they subtract, the total-I0 and background spectra.

#include "Body.h"

#include "BodyHooks.h"
#include "BoxSpectrum.h"
#include "SelectDataFiles.h"

#include "core/Elements.h"
#include "core/InputBounds.h"
#include "core/TiffData.h"
#include "widgets/SpecPane.h"

#include <QStatusBar>

#include <QDebug>
#include <QFileInfo>

#include <climits>
#include <cmath>

namespace {

// Text that is not a number counts as 0.
double numberOf(const QLineEdit* e) { return e->text().toDouble(); }

int truncToInt(double v)
{
    if (!std::isfinite(v)) return 0;
    return int(qBound(double(INT_MIN), std::trunc(v), double(INT_MAX)));
}

}  // namespace

BoxSpectrumConds Body::boxSpectrumConds()
{
    BoxSpectrumConds c;
    c.imageWidth = imageWidth;
    c.imageHeight = imageHeight;
    c.dark = darkImage;
    c.darkExpTime = numberOf(DarkExpTime);
    // Without a usable exposure the dark cannot be scaled and is left out;
    // said once per text, not on every mouse move.
    if (darkImage && !(std::isfinite(c.darkExpTime) && c.darkExpTime > 0)) {
        if (!unusableDarkExpTimeSaid || DarkExpTime->text() != unusableDarkExpTimeReported) {
            qDebug().noquote() << "Dark exposure time" << DarkExpTime->text()
                               << "is not usable: dark not subtracted";
            unusableDarkExpTimeReported = DarkExpTime->text();
            unusableDarkExpTimeSaid = true;
        }
        c.dark = nullptr;
    } else {
        unusableDarkExpTimeSaid = false;
    }
    c.i1ExpTime = numberOf(SelectI1Files->ExpTime);
    c.i0ExpTime = numberOf(SelectI0Files->ExpTime);
    if (i1DarkAreaSet) {
        updateI1DarkArea();
        c.i1DarkAreaValues = &i1DarkAreaValues;
    }
    if (i0DarkAreaSet) {
        updateI0DarkArea();
        c.i0DarkAreaValues = &i0DarkAreaValues;
    }
    c.useI0 = UseI0->isChecked();
    c.totalI0 = totalI0OfI1Supplied ? &totalI0OfI1.i0Curve : nullptr;
    c.fluorescence = FluoType->isChecked();
    return c;
}

Spectrum Body::makeXafsSpectrum(int x, int y, int dx, int dy)
{
    return BoxSpectrum::xafs(i1Images, i0Images, x, y, dx, dy, boxSpectrumConds());
}

Spectrum Body::makeXafsSpectrumInRect(int x1, int y1, int x2, int y2)
{
    int x, y, dx, dy;
    BoxSpectrum::rectToBox(x1, y1, x2, y2, x, y, dx, dy);
    return makeXafsSpectrum(x, y, dx, dy);
}

Spectrum Body::makeRawSpectrum(int x, int y, int dx, int dy)
{
    return BoxSpectrum::raw(i1Images, x, y, dx, dy, imageWidth, imageHeight);
}

double Body::energyShiftAt(int x, int y)
{
    const qint64 mx = qint64(imageOffsetX) + x - shiftMapOriginX;
    const qint64 my = qint64(imageOffsetY) + y - shiftMapOriginY;
    if (mx < INT_MIN || mx > INT_MAX || my < INT_MIN || my > INT_MAX) return 0.0;
    return BoxSpectrum::energyShift(shiftMap, int(mx), int(my), QuadSurfFittedEShift->isChecked());
}

int Body::boxHalfWidth() const
{
    return InputBounds::halfWidthOf(HWidth->text());
}

int Body::boxHalfHeight() const
{
    return InputBounds::halfWidthOf(VWidth->text());
}

SuggestElm Body::suggestElmFromUi() const
{
    SuggestElm s;
    s.useWindow = UseSuggestElm->isChecked();
    s.Z = atomicNumberOf(SuggestingElm->text());
    s.edge = SuggestingEdge->currentIndex();
    s.edgeEnergy = numberOf(SuggestingEeV);
    s.preOffset = numberOf(DPreE);
    s.postOffset = numberOf(DPostS);
    s.noiseFactor = numberOf(ThJumpSigma);
    return s;
}

int Body::bgLineType() const
{
    const BodyHooks& h = hooks();
    return h.bgLineType ? h.bgLineType(*this) : 1;
}

void Body::showXafsSpectrum(double x, double y)
{
    cursorX = truncToInt(x);
    cursorY = truncToInt(y);
    showXafsSpectrum();
}

void Body::showXafsSpectrum()
{
    if (specWindow) {
        const QVector<TiffData*>& stack = displayedStack();
        const int idx = displayedSelector()->Selected->currentIndex();
        specWindow->markerEnergy = idx >= 0 && idx < stack.size() ? stack[idx]->energy : -1.0;
        specWindow->update();
    }

    const double s = energyShiftAt(cursorX, cursorY);
    const SuggestElm sElm = suggestElmFromUi();
    const XafsSpectrum xs(makeXafsSpectrum(cursorX, cursorY, boxHalfWidth(), boxHalfHeight()),
                          QStringLiteral("body-show"), bgLineType(), s, sElm);
    const double dE = specWindow ? specWindow->setXafsSpectrum(xs) : 0.0;
    if (!analysis2DRunning)
        emit cursorSpectrumMade(xs, sElm);

    Position->setText(QString::asprintf("(% 4d, % 4d)", cursorX, cursorY));
    EShiftOnTbl->setText(QString::asprintf("%6.3f", s));
    // Without a standard the difference is the spectrum's own E0, no shift.
    const bool standard = specWindow && !specWindow->reference.isEmpty();
    EShiftFromStd->setText(standard ? QString::asprintf("%5.2f", dE) : QStringLiteral("-"));

    if (specWindow)
        specWindow->setRawSpectrum(makeRawSpectrum(cursorX, cursorY, boxHalfWidth(), boxHalfHeight()));
}

void Body::selectedDark(QString fname)
{
    clearDark();
    auto* d = new TiffData;
    if (!d->load(fname)) {
        delete d;
        reportFailure(tr("The dark image %1 could not be read: no dark image in use").arg(fname));
        return;
    }
    darkImage = d;
    // A long name is cut in the middle, within the label's room; its tip has it whole.
    DarkFileName->setText(DarkFileName->fontMetrics().elidedText(QFileInfo(fname).fileName(), Qt::ElideMiddle,
                                                                  DarkFileName->maximumWidth()));
    DarkFileName->setToolTip(fname);
    DarkExpTime->setText(QString::number(d->exposureMs, 'g', 6));
    // The dark-area values are relative to the dark image.
    clearUpdateI1DarkArea();
    clearUpdateI0DarkArea();
}

void Body::clearDark()
{
    delete darkImage;
    darkImage = nullptr;
    DarkFileName->setText(QString());
    DarkFileName->setToolTip(QString());
    clearUpdateI1DarkArea();
    clearUpdateI0DarkArea();
}

namespace {

// The image a dark area lies on: the stack's frames, or the image shown
// before any frame of it arrived.
QRect darkPixels(const QRectF& area, const QVector<TiffData*>& stack, int imageWidth, int imageHeight)
{
    const int w = stack.isEmpty() ? imageWidth : int(stack.first()->width);
    const int h = stack.isEmpty() ? imageHeight : int(stack.first()->height);
    return BoxSpectrum::areaPixels(area, w, h);
}

}  // namespace

QString Body::setDarkAreaOf(SelectDataFiles* selector, const QVector<TiffData*>& stack, const QString& stackName,
                            bool& set, QRectF& area, QVector<double>& values)
{
    const QRectF sel = dispA->selectedArea;
    QString why;
    if (!dispA->areaValid)
        why = tr("no region is selected: the %1 dark area is not set").arg(stackName);
    // Before any image the area is judged when the frames come.
    else if ((!stack.isEmpty() || (imageWidth > 0 && imageHeight > 0))
             && darkPixels(sel, stack, imageWidth, imageHeight).isEmpty())
        why = tr("the selected region has no pixel in the image: the %1 dark area is not set").arg(stackName);
    if (!why.isEmpty()) {
        // The caller's refusal carries it to the log and the debug output.
        statusBar()->showMessage(why);
        return why;
    }
    set = true;
    area = sel;
    selector->additionalSetup().DarkArea->setText(QString("(%1,%2)-(%3,%4)")
                                                      .arg(truncToInt(sel.x()))
                                                      .arg(truncToInt(sel.y()))
                                                      .arg(truncToInt(sel.x() + sel.width()))
                                                      .arg(truncToInt(sel.y() + sel.height())));
    dispA->recallOldSelectedArea();
    values.clear();
    updateDarkArea(stack, stackName, set, area, values);
    return QString();
}

QString Body::setI1DarkArea()
{
    return setDarkAreaOf(SelectI1Files, i1Images, QStringLiteral("I1"), i1DarkAreaSet, i1DarkArea, i1DarkAreaValues);
}

QString Body::setI0DarkArea()
{
    return setDarkAreaOf(SelectI0Files, i0Images, QStringLiteral("I0"), i0DarkAreaSet, i0DarkArea, i0DarkAreaValues);
}

// Frames of another size may have come since the area was set.
void Body::updateDarkArea(const QVector<TiffData*>& stack, const QString& stackName, bool& set, const QRectF& area,
                          QVector<double>& values)
{
    if (!set || BoxSpectrum::appendDarkAreaValues(values, stack, darkPixels(area, stack, imageWidth, imageHeight),
                                                  darkImage))
        return;
    set = false;
    values.clear();
    reportFailure(tr("The %1 dark area has no pixel in the frames of %2 x %3 pixels: no dark area in use")
                      .arg(stackName)
                      .arg(stack.first()->width)
                      .arg(stack.first()->height));
}

void Body::updateI1DarkArea()
{
    updateDarkArea(i1Images, QStringLiteral("I1"), i1DarkAreaSet, i1DarkArea, i1DarkAreaValues);
}

void Body::updateI0DarkArea()
{
    updateDarkArea(i0Images, QStringLiteral("I0"), i0DarkAreaSet, i0DarkArea, i0DarkAreaValues);
}

void Body::clearUpdateI1DarkArea()
{
    if (!i1DarkAreaSet) return;
    i1DarkAreaValues.clear();
    updateI1DarkArea();
}

void Body::clearUpdateI0DarkArea()
{
    if (!i0DarkAreaSet) return;
    i0DarkAreaValues.clear();
    updateI0DarkArea();
}

void Body::clearI1DarkArea()
{
    i1DarkAreaSet = false;
    i1DarkAreaValues.clear();
}

void Body::clearI0DarkArea()
{
    i0DarkAreaSet = false;
    i0DarkAreaValues.clear();
}

bool Body::loadTotalI0(const QString& fname, XafsSpectrum& total, bool& supplied)
{
    // A new choice replaces the old one, also when it cannot be used.
    total = XafsSpectrum();
    supplied = false;
    if (!total.load(fname)) {
        reportFailure(tr("The total I0 file %1 could not be read: no total I0 in use").arg(fname));
        return false;
    }
    for (int i = 0; i < total.size(); ++i)
        qDebug() << total.xAt(i) << total.i0Curve.yAt(i);
    supplied = total.i0Curve.size() > 0;
    if (!supplied) reportFailure(tr("%1 has no I0 column: no total I0 in use").arg(fname));
    return supplied;
}

void Body::newTotalI0ofI1File(QString fname)
{
    loadTotalI0(fname, totalI0OfI1, totalI0OfI1Supplied);
}

void Body::newTotalI0ofI0File(QString fname)
{
    loadTotalI0(fname, totalI0OfI0, totalI0OfI0Supplied);
}

void Body::clearedTotalI0ofI1()
{
    totalI0OfI1 = XafsSpectrum();
    totalI0OfI1Supplied = false;
    showXafsSpectrum();
}

void Body::clearedTotalI0ofI0()
{
    totalI0OfI0 = XafsSpectrum();
    totalI0OfI0Supplied = false;
}

void Body::selectedBG(QString fnaem)
{
    if (!bgSpectrum.load(fnaem)) {
        reportFailure(tr("The background spectrum %1 could not be read").arg(fnaem));
        return;
    }
    bgOn = true;
    bgPane.setXafsSpectrum(bgSpectrum);
    bgPane.autoXRange();
}

void Body::clearedBG()
{
    bgOn = false;
}
