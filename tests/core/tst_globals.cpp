#include "ColorScale.h"
#include "Globals.h"

#include <QWidget>
#include <QtTest>

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

    void clampsBadInput()
    {
        const double inf = std::numeric_limits<double>::infinity();
        for (double v : {-0.2, -3.0, std::nan(""), -1e300, -inf}) {
            QCOMPARE(grayPixel(v), greyLUT);
            QCOMPARE(colorPixel(v), colorLUT);
        }
        for (double v : {1.5, 7.0, 1e300, inf}) {
            QCOMPARE(grayPixel(v), greyLUT + 255);
            QCOMPARE(colorPixel(v), colorLUT + 3 * 766);
        }
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
