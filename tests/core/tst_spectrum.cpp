#include "core/Spectrum.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

// Independent evaluation: linear scan for the segment.
double bruteY(const QVector<double>& xs, const QVector<double>& ys, double x)
{
    const int n = xs.size();
    int seg = 0;
    for (int i = 0; i < n; ++i)
        if (xs[i] <= x)
            seg = i;
    seg = std::min(seg, n - 2);
    const double x1 = xs[seg], x2 = xs[seg + 1], y1 = ys[seg], y2 = ys[seg + 1];
    return y1 + (y2 - y1) * (x - x1) / (x2 - x1);
}

Spectrum make(const QVector<double>& xs, const QVector<double>& ys)
{
    Spectrum s;
    for (int i = 0; i < xs.size(); ++i)
        s.append(xs[i], ys[i]);
    return s;
}

}  // namespace

class TestSpectrum : public QObject
{
    Q_OBJECT

private slots:
    void valueAgainstBruteForce()
    {
        QRandomGenerator rng(2026);
        for (int trial = 0; trial < 200; ++trial) {
            const int n = 2 + int(rng.bounded(60));
            QVector<double> xs, ys;
            double x = 7000 + rng.generateDouble() * 100;
            for (int i = 0; i < n; ++i) {
                x += 0.1 + rng.generateDouble() * 5;
                xs << x;
                ys << rng.generateDouble() * 4 - 1;
            }
            const Spectrum s = make(xs, ys);
            const double lo = xs.first() - 30, hi = xs.last() + 30;
            for (int k = 0; k < 50; ++k) {
                const double at = lo + (hi - lo) * rng.generateDouble();
                const double want = bruteY(xs, ys, at);
                QVERIFY2(std::abs(s.y(at) - want) <= 1e-9 * (1 + std::abs(want)),
                         qPrintable(QString("n %1 x %2").arg(n).arg(at, 0, 'g', 17)));
            }
            // At every stored x but the last the segment starts there: exact.
            for (int i = 0; i < n - 1; ++i)
                QVERIFY(s.y(xs[i]) == ys[i]);
        }
    }

    void smallAndDegenerate_data()
    {
        QTest::addColumn<QVector<double>>("xs");
        QTest::addColumn<QVector<double>>("ys");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("expected");
        const QVector<double> t{0, 1, 2, 4}, ty{0, 2, 3, 7};
        QTest::newRow("empty") << QVector<double>() << QVector<double>() << 5.0 << 0.0;
        QTest::newRow("one point, below") << QVector<double>{2} << QVector<double>{7} << -100.0 << 7.0;
        QTest::newRow("one point, above") << QVector<double>{2} << QVector<double>{7} << 1e6 << 7.0;
        QTest::newRow("below the first") << t << ty << -1.0 << -2.0;
        QTest::newRow("on the first") << t << ty << 0.0 << 0.0;
        QTest::newRow("inside") << t << ty << 3.0 << 5.0;
        QTest::newRow("above the last") << t << ty << 6.0 << 11.0;
        // Equal x in a segment gives the mean, whatever the argument.
        QTest::newRow("equal x, below") << QVector<double>{1, 1} << QVector<double>{2, 4} << -3.0 << 3.0;
        QTest::newRow("equal x, above") << QVector<double>{1, 1} << QVector<double>{2, 4} << 9.0 << 3.0;
        QTest::newRow("equal last x") << QVector<double>{0, 1, 2, 2} << QVector<double>{0, 1, 5, 9} << 3.0 << 7.0;
        QTest::newRow("not a number") << t << ty << qQNaN() << qQNaN();
    }
    void smallAndDegenerate()
    {
        QFETCH(QVector<double>, xs);
        QFETCH(QVector<double>, ys);
        QFETCH(double, x);
        QFETCH(double, expected);
        Spectrum s = make(xs, ys);
        QCOMPARE(s.y(x), expected);
        // Smoothing over no neighbours leaves the values as they are.
        s.smooth(0);
        QCOMPARE(s.smoothedY(x), expected);
        // Point access outside the list reads 0.
        QCOMPARE(s.xAt(-1), 0.0);
        QCOMPARE(s.yAt(xs.size()), 0.0);
    }

    void smoothing()
    {
        Spectrum s = make({0, 1, 2, 3, 4}, {1, 2, 3, 4, 5});
        s.smooth(2);
        QCOMPARE(s.smoothed, (QVector<double>{2, 2.5, 3, 3.5, 4}));
        QCOMPARE(s.smoothedY(0.5), 2.25);
        QCOMPARE(s.smoothedY(5.0), 4.5);

        // Against the definition on random data and several widths.
        QRandomGenerator rng(11);
        Spectrum r;
        for (int i = 0; i < 40; ++i)
            r.append(i, rng.generateDouble() * 10);
        for (int n : {1, 2, 5, 39, 100}) {
            r.smooth(n);
            QCOMPARE(r.smoothed.size(), 40);
            for (int j = 0; j < 40; ++j) {
                double sum = 0;
                for (int i = std::max(0, j - n); i <= std::min(39, j + n); ++i)
                    sum += r.yAt(i);
                QVERIFY(std::abs(r.smoothed[j] - sum / (std::min(39, j + n) - std::max(0, j - n) + 1)) < 1e-12);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestSpectrum)
#include "tst_spectrum.moc"
