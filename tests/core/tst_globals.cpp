#include "ColorScale.h"
#include "Globals.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

static QStringList captured;
static void captureMessage(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    captured << msg;
}

static int hookCalls = 0;
static void countingHook() { hookCalls++; }

static QColor rgbAt(const unsigned char* p) { return QColor(p[0], p[1], p[2]); }

class TstGlobals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initBatchCmdTablesHook = countingHook;
        initGlobals();
    }

    void greyTable()
    {
        for (int i = 0; i < 256; i++) QCOMPARE(int(greyLUT[i]), i);
        QCOMPARE(int(*grayPixel(0.0)), 0);
        QCOMPARE(int(*grayPixel(0.5)), 128);
        QCOMPARE(int(*grayPixel(1.0)), 255);
        QCOMPARE(int(*grayPixel(100.0 / 256)), 100);
        QCOMPARE(int(*grayPixelOf(-5)), 0);
        QCOMPARE(int(*grayPixelOf(77)), 77);
        QCOMPARE(int(*grayPixelOf(1000)), 255);
    }

    void greyClampsBadInput()
    {
        const double inf = std::numeric_limits<double>::infinity();
        QCOMPARE(grayPixel(-0.2), greyLUT);
        QCOMPARE(grayPixel(1.5), greyLUT + 255);
        QCOMPARE(grayPixel(std::nan("")), greyLUT);
        QCOMPARE(grayPixel(1e300), greyLUT + 255);
        QCOMPARE(grayPixel(-1e300), greyLUT);
        QCOMPARE(grayPixel(inf), greyLUT + 255);
        QCOMPARE(grayPixel(-inf), greyLUT);
    }

    void colourTable()
    {
        // Independent walk of black -> red -> yellow -> white.
        for (int i = 0; i <= 766; i++) {
            int r = std::min(i, 255);
            int g = std::max(0, std::min(i - 255, 255));
            int b = std::max(0, std::min(i - 510, 255));
            QCOMPARE(rgbAt(colorPixelOf(i)), QColor(r, g, b));
        }
        QCOMPARE(rgbAt(colorPixel(0.0)), QColor(0, 0, 0));
        QCOMPARE(rgbAt(colorPixel(0.5)), QColor(255, 128, 0));  // entry 383
        QCOMPARE(rgbAt(colorPixel(1.0)), QColor(255, 255, 255));
        QCOMPARE(colorPixel(1.0), colorLUT + 3 * 766);
    }

    void colourClampsBadInput()
    {
        QCOMPARE(colorPixel(-3.0), colorLUT);
        QCOMPARE(colorPixel(7.0), colorLUT + 3 * 766);
        QCOMPARE(colorPixel(std::nan("")), colorLUT);
        QCOMPARE(colorPixel(1e308 * 10), colorLUT + 3 * 766);
        QCOMPARE(colorPixel(-1e300), colorLUT);
        QCOMPARE(colorPixelOf(-1), colorLUT);
        QCOMPARE(colorPixelOf(767), colorLUT + 3 * 766);
        QCOMPARE(colorPixelOf(INT_MAX), colorLUT + 3 * 766);
    }

    void linearInterpolation()
    {
        QCOMPARE(lerp(5, 2, 1, 2, 3), 2.0);
        QCOMPARE(lerp(-100, 2, 1, 2, 3), 2.0);
        QCOMPARE(lerp(1.5, 1, 10, 2, 20), 15.0);
        QCOMPARE(lerp(3, 1, 10, 2, 20), 30.0);  // extrapolates
        QCOMPARE(lerp(0, 1, 10, -1, 20), 15.0);
    }

};

QTEST_MAIN(TstGlobals)
#include "tst_globals.moc"
