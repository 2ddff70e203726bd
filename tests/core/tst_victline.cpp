#include <QtTest>
#include <cmath>

#include "core/VictLine.h"
#include "support/Spectra.h"

Q_DECLARE_METATYPE(Spectrum)

namespace {

const double hc = 12398.424360387684;

// Cubic Bezier point at t, written out independently of the line's sampler.
QPointF bezier(const QPointF q[4], double t)
{
    QPointF a[4] = {q[0], q[1], q[2], q[3]};
    for (int level = 3; level > 0; --level)
        for (int i = 0; i < level; ++i)
            a[i] = a[i] * (1 - t) + a[i + 1] * t;
    return a[0];
}

VictLine straight(double k, double c0, double from, double to)
{
    VictLine l;
    l.lineType = 1;
    l.k = k;
    l.c0 = c0;
    l.fitFrom = from;
    l.fitTo = to;
    return l;
}

}  // namespace

class TestVictLine : public QObject
{
    Q_OBJECT

private slots:
    // Exact lines come back exactly. The range end is left out of the sums (the
    // Victoreen residual counts it), and so is a point whose energy is not a
    // number (its value would wreck the fit).
    void fits_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("withNaN");
        QTest::addColumn<int>("count");
        QTest::newRow("straight") << 1 << false << 100;
        QTest::newRow("straight, energy not a number") << 1 << true << 100;
        QTest::newRow("Victoreen") << 0 << false << 101;
        QTest::newRow("Victoreen, energy not a number") << 0 << true << 101;
    }
    void fits()
    {
        QFETCH(int, type);
        QFETCH(bool, withNaN);
        QFETCH(int, count);
        const double c0 = 0.3, k = 2e-4, c1 = 0.05, c2 = -0.004;
        auto truth = [&](double E) {
            const double L = hc / E;
            return type == 1 ? c0 + k * E : c0 + c1 * L * L * L + c2 * L * L * L * L;
        };
        Spectrum s = synth::sample(5000, 15000, 50, truth);
        if (withNaN)
            s.points.insert(20, QPointF(qQNaN(), 1e6));
        VictLine l;
        QVERIFY(l.fit(s, 5000, 10000, type));
        QCOMPARE(l.fitCount, count);
        QVERIFY2(qAbs(l.c0 - c0) < 1e-6, qPrintable(QString::number(l.c0, 'g', 17)));
        QVERIFY(qAbs((type == 1 ? l.k - k : l.c1 - c1)) < 1e-6);
        if (type == 0)
            QVERIFY(qAbs(l.c2 - c2) < 1e-6);
        QVERIFY(l.sigma < 1e-8);
        for (double E : {6000.0, 9000.0, 14000.0})
            QVERIFY(qAbs(l.value(E) - truth(E)) < 1e-8);
    }

    // Too few points leave the previous line whole; nothing in range (or a
    // range that is not a number) gives sigma 1; three points make a line.
    void refusals_data()
    {
        QTest::addColumn<Spectrum>("s");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("c0");
        QTest::addColumn<double>("k");
        QTest::addColumn<double>("sigma");
        const Spectrum ramp = synth::sample(0, 10, 1, [](double E) { return E; });
        const Spectrum two = synth::sample(1, 2, 1, [](double E) { return E; });
        const Spectrum three = synth::sample(1, 3, 1, [](double E) { return E; });
        const double nan = qQNaN();
        QTest::newRow("two points, straight") << two << 0.0 << 10.0 << 1 << false << 9 << 7.0 << 0.5 << 0.25;
        QTest::newRow("three points, Victoreen") << three << 0.0 << 10.0 << 0 << false << 9 << 7.0 << 0.5 << 0.25;
        QTest::newRow("three points, straight") << three << 0.0 << 10.0 << 1 << true << 3 << 0.0 << 1.0 << 0.0;
        QTest::newRow("nothing in range, straight") << ramp << 100.0 << 200.0 << 1 << false << 0 << 0.0 << 0.0 << 1.0;
        QTest::newRow("nothing in range, Victoreen") << ramp << 100.0 << 200.0 << 0 << false << 0 << 0.0 << 0.5 << 1.0;
        QTest::newRow("start not a number, straight") << ramp << nan << 8.0 << 1 << false << 0 << 0.0 << 0.0 << 1.0;
        QTest::newRow("start not a number, Victoreen") << ramp << nan << 8.0 << 0 << false << 0 << 0.0 << 0.5 << 1.0;
        // A single point: no slope, the constant is that point.
        QTest::newRow("one point in range") << ramp << 4.0 << 5.0 << 1 << false << 1 << 4.0 << 0.0 << 0.0;
    }
    void refusals()
    {
        QFETCH(Spectrum, s);
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(int, type);
        QFETCH(bool, ok);
        QFETCH(int, count);
        QFETCH(double, c0);
        QFETCH(double, k);
        QFETCH(double, sigma);
        VictLine l = straight(0.5, 7, 1, 2);
        l.fitted = true;
        l.sigma = 0.25;
        l.fitCount = 9;
        const bool keeps = count == 9;
        QCOMPARE(l.fit(s, from, to, type), ok);
        QCOMPARE(l.fitted, ok || keeps);
        QCOMPARE(l.lineType, keeps ? 1 : type);
        QCOMPARE(l.fitCount, count);
        QVERIFY(qAbs(l.c0 - c0) < 1e-12);
        QVERIFY(qAbs(l.k - k) < 1e-12);
        QCOMPARE(l.sigma, sigma);
        QCOMPARE(l.fitTo, keeps ? 2.0 : to);
    }

    // Pre line 0.001 E - 7 fitted up to 9000, post line flat at 3 up to 10000:
    // the extensions meet at 10000, u = 0.5, delta = 50.
    void correctionAbovePreLine()
    {
        VictLine pre = straight(0.001, -7, 8000, 9000);
        VictLine post = straight(0, 3, 9050, 10000);
        pre.correctWithPost(post);
        QVERIFY(pre.correctionOn && pre.correctionSide);
        QVERIFY(!post.correctionOn);
        const QPointF q[4] = {{9000, 2}, {9050, 2.05}, {9950, 2.75}, {10000, 2.75}};
        QCOMPARE(pre.controlPoints.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QVERIFY(qAbs(pre.controlPoints[i].x() - q[i].x()) < 1e-9);
            QVERIFY(qAbs(pre.controlPoints[i].y() - q[i].y()) < 1e-12);
        }
        QCOMPARE(pre.points.size(), 100);
        QCOMPARE(pre.points.first(), QPointF(9000, 2));
        const QPointF last = bezier(q, 0.99);
        QVERIFY(qAbs(pre.points.last().x() - last.x()) < 1e-6);
        QVERIFY(qAbs(pre.points.last().y() - last.y()) < 1e-9);
        QVERIFY(qAbs(pre.value(9500) - 19.15 / 8) < 1e-6);  // t = 0.5
        QCOMPARE(pre.value(9000), 2.0);  // the line itself up to its end
        QCOMPARE(pre.value(8500), 1.5);
        // Past t = 0.99 the last segment carries on towards the end point.
        QVERIFY(qAbs(pre.value(10000) - 2.75) < 1e-3);
    }
};

QTEST_GUILESS_MAIN(TestVictLine)
#include "tst_victline.moc"
