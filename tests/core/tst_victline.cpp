#include <QtTest>
#include <cmath>

#include "core/VictLine.h"
#include "support/Spectra.h"

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
    void straightFit();
    void victoreenFit();
    void tooFewPointsChangesNothing();
    void noPointInRange();
    void energyNotANumber();
    void correctionAbovePreLine();
};

void TestVictLine::straightFit()
{
    const Spectrum s = synth::sample(8800, 9200, 2, [](double E) { return 1.5 + 0.002 * E; });
    VictLine l;
    QVERIFY(l.fit(s, 8800, 9000, 1));
    QVERIFY(l.fitted);
    QVERIFY(qAbs(l.k - 0.002) < 1e-10);
    QVERIFY(qAbs(l.c0 - 1.5) < 1e-6);
    QVERIFY(l.sigma < 1e-8);
    QCOMPARE(l.fitFrom, 8800.0);
    QCOMPARE(l.fitTo, 9000.0);
    QCOMPARE(l.fitCount, 100);  // 8800 .. 8998, the end itself excluded
    QVERIFY(qAbs(l.value(9100) - (1.5 + 0.002 * 9100)) < 1e-8);
}

void TestVictLine::victoreenFit()
{
    const double c0 = 0.3, c1 = 0.05, c2 = -0.004;
    auto vic = [&](double E) {
        const double L = hc / E;
        return c0 + c1 * L * L * L + c2 * L * L * L * L;
    };
    const Spectrum s = synth::sample(5000, 20000, 25, vic);
    VictLine l;
    QVERIFY(l.fit(s, 5000, 20000, 0));
    QCOMPARE(l.lineType, 0);
    QVERIFY2(qAbs(l.c0 - c0) < 1e-6, qPrintable(QString::number(l.c0, 'g', 17)));
    QVERIFY2(qAbs(l.c1 - c1) < 1e-6, qPrintable(QString::number(l.c1, 'g', 17)));
    QVERIFY2(qAbs(l.c2 - c2) < 1e-6, qPrintable(QString::number(l.c2, 'g', 17)));
    QVERIFY(l.sigma < 1e-8);
    for (double E : {5500.0, 9000.0, 15000.0})
        QVERIFY(qAbs(l.value(E) - vic(E)) < 1e-8);
}

void TestVictLine::tooFewPointsChangesNothing()
{
    VictLine l = straight(0.5, 7, 1, 2);
    l.fitted = true;
    l.sigma = 0.25;
    l.fitCount = 9;
    const VictLine before = l;

    Spectrum two;
    two.append(1, 1);
    two.append(2, 2);
    QVERIFY(!l.fit(two, 0, 10, 1));
    Spectrum three = two;
    three.append(3, 3);
    QVERIFY(!l.fit(three, 0, 10, 0));

    QCOMPARE(l.fitted, before.fitted);
    QCOMPARE(l.lineType, before.lineType);
    QCOMPARE(l.k, before.k);
    QCOMPARE(l.c0, before.c0);
    QCOMPARE(l.sigma, before.sigma);
    QCOMPARE(l.fitCount, before.fitCount);
    QCOMPARE(l.fitFrom, before.fitFrom);
    QCOMPARE(l.fitTo, before.fitTo);

    // Three points are enough for the straight line.
    QVERIFY(l.fit(three, 0, 10, 1));
    QVERIFY(qAbs(l.k - 1) < 1e-12);
}

void TestVictLine::noPointInRange()
{
    const Spectrum s = synth::sample(0, 10, 1, [](double E) { return E; });
    VictLine l;
    QVERIFY(!l.fit(s, 100, 200, 1));
    QCOMPARE(l.fitted, false);
    QCOMPARE(l.k, 0.0);
    QCOMPARE(l.c0, 0.0);
    QCOMPARE(l.fitCount, 0);
    QCOMPARE(l.sigma, 1.0);

    VictLine v;
    QVERIFY(!v.fit(s, 100, 200, 0));
    QCOMPARE(v.sigma, 1.0);

    // A single point: no slope, the constant is that point.
    VictLine one;
    QVERIFY(!one.fit(s, 4, 5, 1));
    QCOMPARE(one.k, 0.0);
    QCOMPARE(one.c0, 4.0);
}

// A point whose energy is not a number lies in no range: it is left out of
// the sums and the residual of both forms.
void TestVictLine::energyNotANumber()
{
    for (int type : {0, 1}) {
        Spectrum clean = synth::sample(5000, 9000, 50, [](double E) { return 3 + 1e-4 * E; });
        Spectrum withNaN;
        for (int i = 0; i < clean.size(); ++i) {
            withNaN.append(clean.xAt(i), clean.yAt(i));
            if (i == 20) withNaN.append(std::nan(""), 1e6);
        }
        VictLine a, b;
        QCOMPARE(a.fit(clean, 5000, 8000, type), b.fit(withNaN, 5000, 8000, type));
        QCOMPARE(b.fitCount, a.fitCount);
        QCOMPARE(b.c0, a.c0);
        QCOMPARE(b.k, a.k);
        QCOMPARE(b.c1, a.c1);
        QCOMPARE(b.sigma, a.sigma);
        QVERIFY(std::isfinite(b.sigma));

        // Nor does anything lie in a range whose start is not a number.
        VictLine c;
        QVERIFY(!c.fit(clean, std::nan(""), 8000, type));
        QCOMPARE(c.fitCount, 0);
        QCOMPARE(c.sigma, 1.0);
    }
}

// Pre line 0.001 E - 7 fitted up to 9000, post line flat at 3 up to 10000:
// the extensions meet at 10000, u = 0.5, delta = 50.
void TestVictLine::correctionAbovePreLine()
{
    VictLine pre = straight(0.001, -7, 8000, 9000);
    VictLine post = straight(0, 3, 9050, 10000);
    pre.correctWithPost(post);
    QVERIFY(pre.correctionOn);
    QVERIFY(pre.correctionSide);
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

    // Mid-curve (t = 0.5 lands on E = 9500).
    QVERIFY(qAbs(pre.value(9500) - 19.15 / 8) < 1e-6);
    QCOMPARE(pre.value(9000), 2.0);       // the line itself up to its end
    QCOMPARE(pre.value(8500), 1.5);
    // Past t = 0.99 the last segment carries on towards the end point.
    QVERIFY(qAbs(pre.value(10000) - 2.75) < 1e-3);
    // The post line is left alone.
    QVERIFY(!post.correctionOn);
}

QTEST_GUILESS_MAIN(TestVictLine)
#include "tst_victline.moc"
