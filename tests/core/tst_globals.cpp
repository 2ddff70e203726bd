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


class TstGlobals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initGlobals();
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
