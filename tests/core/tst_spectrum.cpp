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
    if (n == 0) return 0;
    if (n == 1) return ys[0];
    int seg = 0;
    for (int i = 0; i < n; ++i)
        if (xs[i] <= x) seg = i;
    seg = std::min(seg, n - 2);
    const double x1 = xs[seg], x2 = xs[seg + 1], y1 = ys[seg], y2 = ys[seg + 1];
    if (x1 == x2) return 0.5 * (y1 + y2);
    return y1 + (y2 - y1) * (x - x1) / (x2 - x1);
}

Spectrum make(const QVector<double>& xs, const QVector<double>& ys)
{
    Spectrum s;
    for (int i = 0; i < xs.size(); ++i) s.append(xs[i], ys[i]);
    return s;
}

}  // namespace

class TestSpectrum : public QObject
{
    Q_OBJECT

private slots:
    void valueAgainstBruteForce();
    void smallAndDegenerate();
    void smoothing();
};

void TestSpectrum::valueAgainstBruteForce()
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
        for (int i = 0; i < n - 1; ++i) QVERIFY(s.y(xs[i]) == ys[i]);
        QVERIFY(std::abs(s.y(xs[n - 1]) - ys[n - 1]) < 1e-12);
    }
}

void TestSpectrum::smallAndDegenerate()
{
    Spectrum s;
    QCOMPARE(s.y(5.0), 0.0);
    QCOMPARE(s.smoothedY(5.0), 0.0);

    s.append(2, 7);
    for (double x : {-100.0, 2.0, 1e6}) QCOMPARE(s.y(x), 7.0);

    // Both extrapolations follow the end segments.
    Spectrum t = make({0, 1, 2, 4}, {0, 2, 3, 7});
    QCOMPARE(t.y(-1.0), -2.0);
    QCOMPARE(t.y(0.0), 0.0);
    QCOMPARE(t.y(6.0), 11.0);
    QCOMPARE(t.y(3.0), 5.0);

    // Equal x in a segment gives the mean, whatever the argument.
    Spectrum e = make({1, 1}, {2, 4});
    for (double x : {-3.0, 1.0, 9.0}) QCOMPARE(e.y(x), 3.0);
    Spectrum e3 = make({0, 1, 2, 2}, {0, 1, 5, 9});
    QCOMPARE(e3.y(3.0), 7.0);
    QCOMPARE(e3.y(0.5), 0.5);

    // Inner point exactly: the segment starting there.
    Spectrum in = make({0, 1, 2, 3, 4}, {5, 6, 8, 1, 0});
    QCOMPARE(in.y(2.0), 8.0);
    QCOMPARE(in.y(3.0), 1.0);

    // Point access outside the list reads 0.
    QCOMPARE(in.xAt(-1), 0.0);
    QCOMPARE(in.yAt(5), 0.0);
    QCOMPARE(in.yAt(4), 0.0);
    QCOMPARE(in.xAt(4), 4.0);

    QVERIFY(std::isnan(in.y(std::nan(""))));
}

void TestSpectrum::smoothing()
{
    Spectrum s = make({0, 1, 2, 3, 4}, {1, 2, 3, 4, 5});
    s.smooth(2);
    QCOMPARE(s.smoothed, (QVector<double>{2, 2.5, 3, 3.5, 4}));
    QCOMPARE(s.smoothedY(0.5), 2.25);
    QCOMPARE(s.smoothedY(5.0), 4.5);

    // Against the definition on random data and several widths.
    QRandomGenerator rng(11);
    Spectrum r;
    for (int i = 0; i < 40; ++i) r.append(i, rng.generateDouble() * 10);
    for (int n : {0, 1, 2, 5, 39, 100}) {
        r.smooth(n);
        QCOMPARE(r.smoothed.size(), 40);
        for (int j = 0; j < 40; ++j) {
            double sum = 0;
            int c = 0;
            for (int i = std::max(0, j - n); i <= std::min(39, j + n); ++i) {
                sum += r.yAt(i);
                ++c;
            }
            QVERIFY(std::abs(r.smoothed[j] - sum / c) < 1e-12);
        }
    }

    Spectrum empty;
    empty.smooth(2);
    QVERIFY(empty.smoothed.isEmpty());
    Spectrum one = make({3}, {9});
    one.smooth(2);
    QCOMPARE(one.smoothed, QVector<double>{9});
    QCOMPARE(one.smoothedY(-7.0), 9.0);
}

QTEST_GUILESS_MAIN(TestSpectrum)
#include "tst_spectrum.moc"
