#include "Globals.h"

#include <QtTest>

#include <climits>
#include <cmath>

class TstGlobals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initGlobals(); }

    // Image values run 0 .. 1 over 256 grey and 766 colour entries; anything
    // outside, or not a number, lands on an end of the table, never past it.
    void pixelsClamp_data()
    {
        QTest::addColumn<double>("v");
        QTest::addColumn<int>("grey");
        QTest::addColumn<int>("colour");
        QTest::newRow("half") << 0.5 << 128 << 383;
        QTest::newRow("below") << -0.2 << 0 << 0;
        QTest::newRow("not a number") << qQNaN() << 0 << 0;
        QTest::newRow("-1e300") << -1e300 << 0 << 0;
        QTest::newRow("-inf") << -qInf() << 0 << 0;
        QTest::newRow("above") << 1.5 << 255 << 766;
        QTest::newRow("1e300") << 1e300 << 255 << 766;
        QTest::newRow("inf") << qInf() << 255 << 766;
    }
    void pixelsClamp()
    {
        QFETCH(double, v);
        QFETCH(int, grey);
        QFETCH(int, colour);
        QCOMPARE(grayPixel(v), greyLUT + grey);
        QCOMPARE(colorPixel(v), colorLUT + 3 * colour);
    }

    void indicesClamp()
    {
        for (int i : {-1, 767, INT_MAX})
            QCOMPARE(colorPixelOf(i), colorLUT + 3 * (i < 0 ? 0 : 766));
    }

    void linearInterpolation()
    {
        QCOMPARE(lerp(5, 2, 1, 2, 3), 2.0);  // equal abscissae: the mean
        QCOMPARE(lerp(1.5, 1, 10, 2, 20), 15.0);
        QCOMPARE(lerp(3, 1, 10, 2, 20), 30.0);  // extrapolates
        QCOMPARE(lerp(0, 1, 10, -1, 20), 15.0);
    }
};

QTEST_MAIN(TstGlobals)
#include "tst_globals.moc"
