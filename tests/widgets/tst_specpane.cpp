#include "widgets/ChCoord.h"
#include "widgets/DispA.h"
#include "widgets/SpecPane.h"
#include "widgets/SpecPaneMath.h"
#include "widgets/_FileDialog.h"

#include "core/Globals.h"
#include "core/SuggestElm.h"
#include "core/XafsSpectrum.h"

#include "WidgetEvents.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <complex>
#include <limits>

using namespace SpecPaneMath;

namespace
{
const int W = 600;
const int H = 400;
// With the default margins a 600 x 400 surface plots x 60 .. 570, y 360 .. 20.
const int plotLeft = 60;
const int plotRight = 570;
const int plotMidX = 315;

// An absorption edge at 8984 eV over a sloping background.
Spectrum edgeSpectrum(double from, double to, double step)
{
    Spectrum s;
    for (double E = from; E <= to + 1e-9; E += step)
        s.append(E, 0.2 + 1e-4 * (E - from) + 0.5 + std::atan((E - 8984) / 4) / M_PI);
    return s;
}

XafsSpectrum plainSpectrum(const QVector<QPointF>& pts)
{
    XafsSpectrum s;
    for (const QPointF& p : pts) s.append(p);
    return s;
}

bool isDark(QRgb c) { return qRed(c) < 64 && qGreen(c) < 64 && qBlue(c) < 64; }

// Whether any pixel of column x within rows y-3 .. y+3 satisfies pred.
template <typename Pred>
bool anyNear(const QImage& img, int x, int y, Pred pred)
{
    for (int dy = -3; dy <= 3; ++dy)
        if (y + dy >= 0 && y + dy < img.height() && pred(img.pixel(x, y + dy))) return true;
    return false;
}

int countPixels(const QImage& img, QRgb color)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xffffff) == (color & 0xffffff)) ++n;
    return n;
}

QStringList readLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

class TestSpecPane : public QObject
{
    Q_OBJECT

    // A shown view whose drawing surface is exactly W x H.
    void prepare(SpecPane& pane)
    {
        pane.ui.Xafs->setFixedSize(W, H);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
    }
    QImage paint(SpecPane& pane) { return pane.ui.Xafs->grab().toImage(); }

private slots:
    void initTestCase() { initGlobals(); }

    void zoomArithmetic()
    {
        double lo = 8900, hi = 9100;
        QVERIFY(zoomRange(lo, hi, 9000, 1 / 1.1));
        QCOMPARE(lo, 9000 - 100 / 1.1);
        QCOMPARE(lo, 8909.090909090909);
        QCOMPARE(hi, 9090.909090909091);
        QVERIFY(zoomRange(lo, hi, 9000, 1.1));
        QVERIFY(std::fabs(lo - 8900) < 1e-9 && std::fabs(hi - 9100) < 1e-9);

        // Off-centre: the energy under the cursor keeps its place in the range.
        lo = 8900, hi = 9100;
        QVERIFY(zoomRange(lo, hi, 8950, 1.1));
        QCOMPARE((8950 - lo) / (hi - lo), 0.25);

        // Nothing sensible to zoom to: the range stays.
        lo = 8900, hi = 9100;
        QVERIFY(!zoomRange(lo, hi, 9000, 0));
        QVERIFY(!zoomRange(lo, hi, std::numeric_limits<double>::quiet_NaN(), 1.1));
        QVERIFY(!zoomRange(lo, hi, 9000, std::numeric_limits<double>::infinity()));
        QCOMPARE(lo, 8900.0);
        QCOMPARE(hi, 9100.0);
        double a = 5, b = 5;  // one-point spectrum
        QVERIFY(!zoomRange(a, b, 5, 1.1));
        double big0 = -DBL_MAX, big1 = DBL_MAX;
        QVERIFY(!zoomRange(big0, big1, 0, 1.1));
        QCOMPARE(big1, DBL_MAX);

        lo = 8900, hi = 9100;
        QVERIFY(panRange(lo, hi, -20));
        QCOMPARE(lo, 8880.0);
        QCOMPARE(hi, 9080.0);
        QVERIFY(!panRange(lo, hi, std::numeric_limits<double>::infinity()));
        QCOMPARE(lo, 8880.0);
    }

    void curvePieces()
    {
        using Runs = QVector<QPair<int, int>>;
        QCOMPARE(pieces({}), Runs());
        QCOMPARE(pieces({7}), Runs({{0, 1}}));
        // A step of exactly 50 eV joins, anything above breaks.
        QCOMPARE(pieces({8800, 8850, 8900, 8950.0001, 8960}), Runs({{0, 3}, {3, 5}}));
        QCOMPARE(pieces({0, 60, 120}), Runs({{0, 1}, {1, 2}, {2, 3}}));
        // Energies running backwards break on the size of the step too.
        QCOMPARE(pieces({9000, 8900, 8890}), Runs({{0, 1}, {1, 3}}));
        // A value that is not a number joins (no step can be measured).
        QCOMPARE(pieces({0, std::numeric_limits<double>::quiet_NaN(), 10}), Runs({{0, 3}}));
    }

    void nearestPoint()
    {
        const QVector<QPointF> pts{{0, 0}, {10, 0}, {20, 0}};
        QCOMPARE(nearestIndex(pts, -5), 0);
        QCOMPARE(nearestIndex(pts, 4.9), 0);
        QCOMPARE(nearestIndex(pts, 5), 1);  // the midpoint itself belongs to the right
        QCOMPARE(nearestIndex(pts, 15.1), 2);
        QCOMPARE(nearestIndex(pts, 1e300), 2);
        QCOMPARE(nearestIndex(pts, std::numeric_limits<double>::quiet_NaN()), 2);
        QCOMPARE(nearestIndex({}, 3), -1);
    }

    void texts()
    {
        QCOMPARE(messageLine(0.5, 8984.36, false, false),
                 QString("dMut =  5.000e-01, Edge 8,984.36 [eV] :  "));
        QCOMPARE(messageLine(-0.25, 0, true, true),
                 QString("dMut = -2.500e-01, Edge 0 [eV] : Out of Range midx Noizy to decide midx"));
        QCOMPARE(tickLabel(8984.36029), QString("8984.36"));
        QCOMPARE(tickLabel(0.2 * 3), QString("0.6"));

        double lo, hi;
        const double v[] = {3, std::numeric_limits<double>::quiet_NaN(), -2, 7};
        valueRange(v, 0, 4, lo, hi);
        QCOMPARE(lo, -2.0);
        QCOMPARE(hi, 7.0);
        valueRange(v, 2, 2, lo, hi);
        QCOMPARE(lo, DBL_MAX);
        QCOMPARE(hi, DBL_MIN);
    }

    void freshView()
    {
        SpecPane pane;
        QCOMPARE(pane.objectName(), QString("SpecPane"));
        QCOMPARE(pane.windowTitle(), QString("XAFS"));
        QVERIFY(pane.ui.Normalized->isChecked());
        QVERIFY(pane.ui.ECorrect->isChecked());
        QVERIFY(!pane.ui.ShowRaw->isChecked());
        QVERIFY(!pane.ui.ShowFFT->isChecked());
        QCOMPARE(pane.xMin, 0.0);
        QCOMPARE(pane.xMax, 1.0);
        QVERIFY(pane.autoRange);
        QCOMPARE(pane.markerEnergy, -1.0);
        QVERIFY(!pane.elemRows);
        QVERIFY(!pane.ui.Xafs->zoomEnabled);
        QVERIFY(!pane.ui.Xafs->panEnabled);
        QCOMPARE(pane.mouse, &pane.ui.Xafs->mouse);
        QVERIFY(pane.saveDialog);
        QCOMPARE(pane.saveDialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(pane.saveDialog->nameFilters(),
                 QStringList({"Data File (*.dat)", "Any Files (* *.*)"}));
        QCOMPARE(pane.ui.ResetXScale->toolTip(),
                 QString("<html><head/><body><p>Reset X Axis Scale</p></body></html>"));

        pane.setNormalize(false);
        pane.setEnergyCorrection(false);
        QVERIFY(!pane.ui.Normalized->isChecked());
        QVERIFY(!pane.ui.ECorrect->isChecked());
    }

    void rangesFollowSpectra()
    {
        SpecPane pane;
        QSignalSpy spy(&pane, &SpecPane::updated);
        XafsSpectrum s(edgeSpectrum(8800, 9200, 5), "s", 1, 0, SuggestElm());
        XafsSpectrum ref(edgeSpectrum(8790, 9200, 5), "r", 1, 0, SuggestElm());
        pane.reference = ref;
        const double diff = pane.setXafsSpectrum(s);
        QCOMPARE(diff, s.midx - ref.midx);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(pane.xMin, 8800.0);
        QCOMPARE(pane.xMax, 9200.0);
        QCOMPARE(pane.xMinDefault, 8800.0);

        // An empty spectrum has no span to take.
        pane.setXafsSpectrum(XafsSpectrum());
        QCOMPARE(pane.xMin, 8800.0);
        QCOMPARE(pane.xMax, 9200.0);

        // A shifted spectrum is shown at its display energies.
        XafsSpectrum shifted = s;
        shifted.xShiftOn = true;
        shifted.xShift = 100;
        pane.setXafsSpectrum(shifted);
        QCOMPARE(pane.xMin, 8700.0);
        QCOMPARE(pane.xMax, 9100.0);

        pane.autoRange = false;
        pane.setXafsSpectrum(XafsSpectrum(edgeSpectrum(7000, 7500, 5), "t", 1, 0, SuggestElm()));
        QCOMPARE(pane.xMin, 8700.0);
        QCOMPARE(pane.xMaxDefault, 9100.0);
        pane.autoXRange();
        QCOMPARE(pane.xMin, 8700.0);
        pane.autoRange = true;
        pane.autoXRange();
        QCOMPARE(pane.xMin, 7000.0);
        QCOMPARE(pane.xMax, 7500.0);

        pane.setRawSpectrum(edgeSpectrum(0, 50, 1));
        QCOMPARE(pane.xMin, 7000.0);
        QCOMPARE(pane.rawSpectrum.size(), 51);
        QCOMPARE(spy.count(), 5);
    }

    void wheelZoomsAboutCursor()
    {
        SpecPane pane;
        prepare(pane);
        pane.setXafsSpectrum(plainSpectrum({{8900, 0}, {9000, 1}, {9100, 2}}));
        QCOMPARE(pane.xMin, 8900.0);
        DispA* xafs = pane.ui.Xafs;
        QSignalSpy spy(&pane, &SpecPane::updated);

        WidgetEvents::move(xafs, QPointF(plotMidX, 200));
        WidgetEvents::wheel(xafs, QPointF(plotMidX, 200), QPoint(0, 120));  // away from the user
        QCOMPARE(pane.xMin, 8909.090909090909);
        QCOMPARE(pane.xMax, 9090.909090909091);
        QCOMPARE(pane.xMinDefault, 8900.0);
        QCOMPARE(pane.ui.XVal->text(), QString("9000"));
        QCOMPARE(spy.count(), 1);

        WidgetEvents::wheel(xafs, QPointF(plotMidX, 200), QPoint(0, -120));
        QVERIFY(std::fabs(pane.xMin - 8900) < 1e-9);
        QVERIFY(std::fabs(pane.xMax - 9100) < 1e-9);

        // Zooming out at the left end keeps 8900 there.
        WidgetEvents::move(xafs, QPointF(plotLeft, 200));
        WidgetEvents::wheel(xafs, QPointF(plotLeft, 200), QPoint(0, -120));
        QVERIFY(std::fabs(pane.xMin - 8900) < 1e-9);
        QVERIFY(std::fabs(pane.xMax - 9120) < 1e-9);

        pane.ui.ResetXScale->click();
        QCOMPARE(pane.xMin, 8900.0);
        QCOMPARE(pane.xMax, 9100.0);

        // Without a spectrum the wheel does nothing.
        SpecPane empty;
        prepare(empty);
        WidgetEvents::wheel(empty.ui.Xafs, QPointF(plotMidX, 200), QPoint(0, 120));
        QCOMPARE(empty.xMin, 0.0);
        QCOMPARE(empty.xMax, 1.0);
    }

    void leftDragPans()
    {
        SpecPane pane;
        prepare(pane);
        pane.setXafsSpectrum(plainSpectrum({{8900, 0}, {9000, 1}, {9100, 2}}));
        DispA* xafs = pane.ui.Xafs;
        // 51 pixels are 20 eV on a 510-pixel plot of 200 eV.
        WidgetEvents::drag(xafs, QPointF(plotMidX, 200), QPointF(plotMidX + 51, 200));
        QVERIFY(std::fabs(pane.xMin - 8880) < 1e-9);
        QVERIFY(std::fabs(pane.xMax - 9080) < 1e-9);
        QCOMPARE(pane.xMinDefault, 8900.0);

        const double lo = pane.xMin, hi = pane.xMax;
        WidgetEvents::drag(xafs, QPointF(plotMidX, 200), QPointF(plotMidX + 51, 200), Qt::LeftButton,
                           Qt::ShiftModifier);
        WidgetEvents::drag(xafs, QPointF(plotMidX, 200), QPointF(plotMidX + 51, 200), Qt::LeftButton,
                           Qt::ControlModifier);
        WidgetEvents::drag(xafs, QPointF(plotMidX, 200), QPointF(plotMidX + 51, 200), Qt::LeftButton,
                           Qt::AltModifier);
        WidgetEvents::drag(xafs, QPointF(plotMidX, 200), QPointF(plotMidX + 51, 200), Qt::RightButton);
        QCOMPARE(pane.xMin, lo);
        QCOMPARE(pane.xMax, hi);

        pane.ui.ResetXScale->click();
        QCOMPARE(pane.xMin, 8900.0);
        QCOMPARE(pane.xMax, 9100.0);
    }

    void cursorReadOut()
    {
        SpecPane pane;
        prepare(pane);
        pane.setNormalize(false);
        XafsSpectrum s;
        for (int i = 0; i <= 20; ++i) s.append(8900 + 10 * i, i);
        pane.setXafsSpectrum(s);
        DispA* xafs = pane.ui.Xafs;

        WidgetEvents::move(xafs, QPointF(plotRight, 200));
        QCOMPARE(pane.ui.Position->text(), QString("20"));
        WidgetEvents::move(xafs, QPointF(plotLeft, 200));
        QCOMPARE(pane.ui.Position->text(), QString("0"));
        QCOMPARE(pane.ui.XVal->text(), QString("8900.0"));
        WidgetEvents::move(xafs, QPointF(0, 200));
        QCOMPARE(pane.ui.Position->text(), QString("0"));
        // 9006 eV is nearest to point 11 (9010); y at the plot's top is maxY.
        WidgetEvents::move(xafs, QPointF(plotLeft + 106 * 510 / 200.0, 20));
        QCOMPARE(pane.ui.Position->text(), QString("11"));
        QCOMPARE(pane.ui.YVal->text(), QString("20.000"));
    }

    void rawModeScales()
    {
        SpecPane pane;
        prepare(pane);
        pane.setXafsSpectrum(plainSpectrum({{8900, 0}, {9000, 1}, {9100, 2}}));
        Spectrum raw;
        for (int i = 0; i < 100; ++i) raw.append(8000 + i, 1000 + 10 * std::sin(i * 0.7) + i);
        pane.setRawSpectrum(raw);
        pane.ui.ShowRaw->setChecked(true);

        paint(pane);
        // The axes are drawn in the raw units: images along x, intensities up.
        QCOMPARE(pane.coord.realX0, 0.0);
        QCOMPARE(pane.coord.realX1, 100.0);
        QCOMPARE(pane.coord.realY0, raw.minY);
        QCOMPARE(pane.coord.realY1, raw.maxY);

        // The wheel zooms the raw axis about the cursor, not the energy range.
        DispA* xafs = pane.ui.Xafs;
        WidgetEvents::move(xafs, QPointF(plotMidX, 200));
        QCOMPARE(pane.ui.XVal->text(), QString("50.0"));
        QCOMPARE(pane.ui.Position->text(), QString("50"));
        WidgetEvents::wheel(xafs, QPointF(plotMidX, 200), QPoint(0, 120));
        QCOMPARE(pane.xMin, 8900.0);
        QCOMPARE(pane.xMax, 9100.0);
        paint(pane);
        QVERIFY(std::fabs(pane.coord.realX0 - (50 - 50 / 1.1)) < 1e-9);
        QVERIFY(std::fabs(pane.coord.realX1 - (50 + 50 / 1.1)) < 1e-9);
        // A drag pans it by what was dragged: 51 pixels of about 90.9 images.
        const double before = pane.coord.realX0;
        WidgetEvents::drag(xafs, QPointF(plotMidX, 200), QPointF(plotMidX + 51, 200));
        paint(pane);
        QVERIFY(std::fabs(pane.coord.realX0 - (before - 51 * (100 / 1.1) / 510)) < 1e-9);
        QCOMPARE(pane.xMin, 8900.0);
        QCOMPARE(pane.xMax, 9100.0);
        // Back in the energy plot the range is as it was before the raw zoom.
        pane.ui.ShowRaw->setChecked(false);
        paint(pane);
        QCOMPARE(pane.coord.realX0, 8900.0);
        QCOMPARE(pane.coord.realX1, 9100.0);
        WidgetEvents::move(xafs, QPointF(plotMidX, 200));
        QCOMPARE(pane.ui.XVal->text(), QString("9000.0"));
        QCOMPARE(pane.ui.Position->text(), QString("1"));
        pane.ui.ShowRaw->setChecked(true);

        pane.ui.ResetXScale->click();
        pane.ui.ShowFFT->setChecked(true);
        paint(pane);
        QCOMPARE(pane.coord.realX0, 0.0);
        QCOMPARE(pane.coord.realX1, 10.0);
        // The scale is that of bins 1 .. 8 of the magnitudes, by a plain DFT.
        double lo = DBL_MAX, hi = -DBL_MAX;
        for (int k = 1; k <= 8; ++k) {
            std::complex<double> sum = 0;
            for (int j = 0; j < 100; ++j) sum += raw.points[j].y() * std::polar(1.0, -2 * M_PI * j * k / 100);
            lo = std::min(lo, std::abs(sum));
            hi = std::max(hi, std::abs(sum));
        }
        QVERIFY(std::fabs(pane.coord.realY0 - lo) < 1e-7 * hi);
        QVERIFY(std::fabs(pane.coord.realY1 - hi) < 1e-7 * hi);

        // Too few images for a scale: the axis keeps a plain 0 .. 1.
        Spectrum few;
        for (int i = 0; i < 25; ++i) few.append(i, i);
        pane.setRawSpectrum(few);
        paint(pane);
        QCOMPARE(pane.coord.realX1, 2.0);
        QCOMPARE(pane.coord.realY0, 0.0);
        QCOMPARE(pane.coord.realY1, 1.0);
    }

    void gapsBreakTheCurve()
    {
        SpecPane pane;
        prepare(pane);
        pane.setNormalize(false);
        // y 1 between 8850 and 8960: a 50 eV step (joined) and a 60 eV one (broken).
        XafsSpectrum s = plainSpectrum({{8800, 0}, {8850, 1}, {8900, 1}, {8960, 1}, {9000, 2}});
        pane.setXafsSpectrum(s);
        QImage img = paint(pane);
        const int y = ChCoord::pix(pane.coord.r2sy(1));
        const int joined = ChCoord::pix(pane.coord.r2sx(8875));
        const int gap = ChCoord::pix(pane.coord.r2sx(8930));
        QVERIFY(anyNear(img, joined, y, isDark));
        QVERIFY(!anyNear(img, gap, y, isDark));

        // Normalised mode breaks the same way.
        pane.current.doubleNormalizedPreBaseCurve.clear();
        for (const QPointF& p : s.points) pane.current.doubleNormalizedPreBaseCurve.append(p);
        pane.setNormalize(true);
        img = paint(pane);
        QVERIFY(anyNear(img, joined, y, isDark));
        QVERIFY(!anyNear(img, gap, y, isDark));
    }

    void energyCorrectionMovesCurveOnly()
    {
        SpecPane pane;
        prepare(pane);
        pane.setNormalize(false);
        XafsSpectrum s;
        // Levels -1 .. 2 keep the rows of 0 and 1 clear of the frame.
        for (int E = 8900; E <= 9100; E += 10) s.append(E, E == 8900 ? -1 : E == 9100 ? 2 : E < 9000 ? 0 : 1);
        s.midx = 9000;
        s.energyOffset = 5;
        pane.setXafsSpectrum(s);

        auto firstDarkInRow = [](const QImage& img, int y) {
            for (int x = 0; x < img.width(); ++x)
                if (isDark(img.pixel(x, y))) return x;
            return -1;
        };
        auto redColumn = [](const QImage& img, int y) {
            for (int x = 0; x < img.width(); ++x)
                if ((img.pixel(x, y) & 0xffffff) == 0xff0000) return x;
            return -1;
        };
        pane.setEnergyCorrection(false);
        QImage plain = paint(pane);
        // A row off the grid lines, crossed by the rise only.
        const int yTop = ChCoord::pix(pane.coord.r2sy(0.75));
        pane.setEnergyCorrection(true);
        QImage corrected = paint(pane);

        // 5 eV are 12.75 pixels to the left; the E0 line stays.
        const int moved = firstDarkInRow(plain, yTop) - firstDarkInRow(corrected, yTop);
        QVERIFY2(moved >= 12 && moved <= 14, qPrintable(QString::number(moved)));
        QVERIFY(redColumn(plain, 100) > 0);
        QCOMPARE(redColumn(corrected, 100), redColumn(plain, 100));
    }

    void othersAndMarkers()
    {
        SpecPane pane;
        prepare(pane);
        pane.setNormalize(false);
        XafsSpectrum s;
        for (int E = 8900; E <= 9100; E += 10) s.append(E, E / 100.0);
        pane.setXafsSpectrum(s);
        const QColor blue(0, 0, 255);
        XafsSpectrum other;
        for (int E = 8900; E <= 9100; E += 10) other.append(E, (E - 8900) % 40);
        other.kind = false;
        pane.others = {other};
        pane.pens = {QPen(blue, 3)};
        QCOMPARE(countPixels(paint(pane), blue.rgb()), 0);
        // The view draws its own copy: a change the owner has not handed over
        // (say, a worker still writing a fit result) is not painted.
        other.kind = true;
        QCOMPARE(countPixels(paint(pane), blue.rgb()), 0);
        pane.others[0] = other;
        QVERIFY(countPixels(paint(pane), blue.rgb()) > 100);
        other.points.clear();
        QVERIFY(countPixels(paint(pane), blue.rgb()) > 100);

        // Without a pen the index's line colour draws it.
        pane.pens.clear();
        QImage img = paint(pane);
        QCOMPARE(countPixels(img, blue.rgb()), 0);
        QVERIFY(countPixels(img, colorByIndex(0).rgb()) > 50);

        // Marker and element-row lines at their energies; a row whose energy
        // is not a number is drawn at 0 eV, off this plot.
        pane.markerEnergy = 9050;
        pane.elemRows = [] { return QVector<ElemRowInfo>{{"9070", "Cu"}, {"abc", "X"}}; };
        img = paint(pane);
        auto inColumn = [&img](int x, const QColor& c) {
            int n = 0;
            for (int y = 0; y < img.height(); ++y) n += (img.pixel(x, y) & 0xffffff) == (c.rgb() & 0xffffff);
            return n;
        };
        // Plot height 340; other curves and grid lines cross here and there.
        QVERIFY(inColumn(ChCoord::pix(pane.coord.r2sx(9050)), QColor(0, 224, 0)) > 250);
        QVERIFY(inColumn(ChCoord::pix(pane.coord.r2sx(9070)), QColor(255, 0, 0)) > 250);
        QVERIFY(inColumn(ChCoord::pix(pane.coord.r2sx(9060)), QColor(255, 0, 0)) < 50);
        QVERIFY(pane.ui.ExtMsg->text().startsWith("dMut = "));
    }

    void saveDataWritesEverySpectrum()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        SpecPane pane;
        const XafsSpectrum cur(edgeSpectrum(8800, 9200, 5), "cur", 1, 3.0, SuggestElm());
        XafsSpectrum o0(edgeSpectrum(8850, 9150, 10), "o0", 1, 3.0, SuggestElm());
        XafsSpectrum o1(edgeSpectrum(8900, 9100, 20), "o1", 0, 0, SuggestElm());
        pane.setXafsSpectrum(cur);
        pane.others = {o0, o1};
        pane.saveData(dir.filePath("run.dat"));

        const QStringList names = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(names, QStringList({"run-T.dat", "run-other0.dat", "run-other1.dat", "run-std.dat"}));

        // The current spectrum is written with its offset taken off the energies.
        const QStringList t = readLines(dir.filePath("run-T.dat"));
        QCOMPARE(t.size(), 7 + cur.size());
        QCOMPARE(t[0], QString("###Corvenlith::XafsSpectrum"));
        QStringList f = t[7].split('\t');
        QCOMPARE(f.size(), 5);
        QCOMPARE(f[0].toDouble(), 8797.0);
        QVERIFY(std::fabs(f[2].toDouble() - cur.points[0].y()) < 1e-5);
        f = t.last().split('\t');
        QCOMPARE(f[0].toDouble(), 9197.0);

        // The others keep their stored energies.
        const QStringList l0 = readLines(dir.filePath("run-other0.dat"));
        QCOMPARE(l0.size(), 7 + o0.size());
        QCOMPARE(l0[7].split('\t')[0].toDouble(), 8850.0);
        const QStringList l1 = readLines(dir.filePath("run-other1.dat"));
        QCOMPARE(l1.size(), 7 + o1.size());
        QCOMPARE(l1.last().split('\t')[0].toDouble(), 9100.0);

        // The empty reference still gets its header.
        QCOMPARE(readLines(dir.filePath("run-std.dat")).size(), 7);

        // Byte for byte what the spectra write themselves.
        const QString probe = dir.filePath("probe.txt");
        QVERIFY(o1.save(probe, false));
        QCOMPARE(readBytes(dir.filePath("run-other1.dat")), readBytes(probe));
        QVERIFY(cur.save(probe, true));
        QCOMPARE(readBytes(dir.filePath("run-T.dat")), readBytes(probe));

        // A name without suffix gives the same names; no name writes nothing.
        QTemporaryDir dir2;
        pane.others.clear();
        pane.saveData(dir2.filePath("run"));
        QCOMPARE(QDir(dir2.path()).entryList(QDir::Files, QDir::Name),
                 QStringList({"run-T.dat", "run-std.dat"}));
        pane.saveData(QString());
        QCOMPARE(QDir(dir2.path()).entryList(QDir::Files).size(), 2);
    }

    void saveDataFileLayout()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        SpecPane pane;
        XafsSpectrum cur;
        cur.append(8990, 1.5);
        cur.append(9000, 2.25);
        cur.append(9010.5, 3);
        cur.doubleNormalizedPreBaseCurve.append(8990, 0.1);
        cur.doubleNormalizedPreBaseCurve.append(9000, -0.25);
        cur.energyOffset = 0.5;
        cur.midx = 9000.25;
        cur.dMut = 0.123456789;
        cur.pre.c0 = 1;
        cur.pre.k = 0.0001;
        cur.post.c0 = 2;
        cur.post.k = -0.5;
        cur.post.c1 = 3;
        cur.post.c2 = 1e-7;
        pane.setXafsSpectrum(cur);
        XafsSpectrum other(cur);
        other.energyOffset = 100;
        // An entry switched off writes no file; the numbers follow positions.
        XafsSpectrum off(other);
        off.kind = false;
        pane.others = {off, other};
        pane.saveData(dir.filePath("s.dat"));

        const QByteArray header = "###Corvenlith::XafsSpectrum\n"
                                  "# midx    : 9000.25\n"
                                  "# dMut    : 0.123457\n"
                                  "# pre   vic : 1 0.0001 0 0\n"
                                  "# poste vic : 2 -0.5 3 1e-07\n"
                                  "#\n"
                                  "# x  double-normalized-pre-base y pre post\n";
        // x less the offset only in the current's file; a missing
        // double-normalised value is 0; the lines at the stored energies.
        QCOMPARE(readBytes(dir.filePath("s-T.dat")), header
                     + "8989.5\t0.1\t1.5\t1.899\t-4493\n"
                       "8999.5\t-0.25\t2.25\t1.9\t-4498\n"
                       "9010\t0\t3\t1.90105\t-4503.25\n");
        QCOMPARE(readBytes(dir.filePath("s-other1.dat")), header
                     + "8990\t0.1\t1.5\t1.899\t-4493\n"
                       "9000\t-0.25\t2.25\t1.9\t-4498\n"
                       "9010.5\t0\t3\t1.90105\t-4503.25\n");
        QVERIFY(!QFile::exists(dir.filePath("s-other0.dat")));
        QCOMPARE(readBytes(dir.filePath("s-std.dat")),
                 QByteArray("###Corvenlith::XafsSpectrum\n# midx    : 0\n# dMut    : 0\n"
                            "# pre   vic : 0 0 0 0\n# poste vic : 0 0 0 0\n#\n"
                            "# x  double-normalized-pre-base y pre post\n"));
    }

    void degenerateSpectraPaint()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        const QVector<QVector<QPointF>> cases{
            {},
            {{9000, 1}},
            {{8900, 1}, {9000, 1}, {9100, 1}},
            {{8900, 1}, {8900, 2}, {8900, 3}, {8900, 4}},
            {{8900, nan}, {9000, 1}, {9100, inf}, {9200, -inf}},
            {{-1e300, 0}, {0, 1}, {1e300, 2}},
            {{8900, 1e308}, {9000, -1e308}, {9100, 1e308}},
        };
        SpecPane pane;
        prepare(pane);
        pane.markerEnergy = 1e300;
        pane.elemRows = [] {
            return QVector<ElemRowInfo>{{"abc", "X"}, {"1e308", "Y"}, {"nan", "Z"}, {"-inf", ""}};
        };
        DispA* xafs = pane.ui.Xafs;
        for (const auto& pts : cases) {
            Spectrum s;
            for (const QPointF& p : pts) s.append(p);
            pane.setXafsSpectrum(XafsSpectrum(s, "x", 1, 0, SuggestElm()));
            XafsSpectrum other(s, "o", 0, 0, SuggestElm());
            pane.others = {other};
            pane.reference = other;
            pane.setRawSpectrum(s);
            for (int mode = 0; mode < 4; ++mode) {
                pane.setNormalize(mode == 1);
                pane.ui.ShowRaw->setChecked(mode >= 2);
                pane.ui.ShowFFT->setChecked(mode == 3);
                QVERIFY(!paint(pane).isNull());
                WidgetEvents::move(xafs, QPointF(plotMidX, 200));
                WidgetEvents::wheel(xafs, QPointF(plotMidX, 200), QPoint(0, 120));
                WidgetEvents::wheel(xafs, QPointF(plotMidX, 200), QPoint(0, -120));
                WidgetEvents::drag(xafs, QPointF(plotMidX, 200), QPointF(plotMidX + 40, 100));
                QVERIFY(!paint(pane).isNull());
                QVERIFY(!pane.ui.ExtMsg->text().isEmpty());
            }
            pane.ui.ResetXScale->click();
        }
        // Nine images give no Fourier bin at all.
        Spectrum nine;
        for (int i = 0; i < 9; ++i) nine.append(i, i);
        pane.setRawSpectrum(nine);
        QVERIFY(!paint(pane).isNull());

        // A view never shown, and one squeezed to nothing, paint as well.
        SpecPane hidden;
        QVERIFY(!hidden.ui.Xafs->grab().isNull());
        pane.ui.Xafs->setFixedSize(1, 1);
        pane.ui.ShowRaw->setChecked(false);
        pane.setXafsSpectrum(plainSpectrum({{8900, 0}, {9000, 1}}));
        QVERIFY(!paint(pane).isNull());
        WidgetEvents::wheel(xafs, QPointF(0, 0), QPoint(0, 120));
        QVERIFY(std::isfinite(pane.xMin) && std::isfinite(pane.xMax));
    }
};

QTEST_MAIN(TestSpecPane)
#include "tst_specpane.moc"
