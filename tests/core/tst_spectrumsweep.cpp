// Curves read by a forward sweep give exactly what the search per point
// gives, at knots, between them, on repeated energies, past the ends and
// when the reads step backwards.

#include "core/Spectrum.h"

#include <QtTest>

#include <cmath>
#include <limits>

using Xs = QVector<double>;

class TestSpectrumSweep : public QObject
{
    Q_OBJECT

private slots:
    void sameAsSearch_data();
    void sameAsSearch();
};

void TestSpectrumSweep::sameAsSearch_data()
{
    QTest::addColumn<Xs>("xs");
    QTest::addColumn<double>("shift");
    QTest::addColumn<Xs>("reads");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Xs rising;
    for (double x = 8890; x < 9120; x += 0.37) rising << x;
    QTest::newRow("even grid, every knot and between")
        << Xs{8900, 8905, 8910, 8915, 8920} << 0.0 << rising;
    QTest::newRow("repeated energies")
        << Xs{8900, 8905, 8905, 8905, 8910, 8920, 8920} << 0.0
        << Xs{8899, 8900, 8904.9, 8905, 8905, 8906, 8910, 8919.99, 8920, 8921};
    QTest::newRow("shifted curve") << Xs{8900, 8902.5, 8910, 8930} << 1.25 << rising;
    QTest::newRow("backwards and not a number")
        << Xs{8900, 8905, 8910, 8915, 8920} << 0.0
        << Xs{8912, 8917, 8903, 8901, nan, 8904, 8919, 8906};
    QTest::newRow("two points") << Xs{8900, 8910} << 0.0 << Xs{8890, 8900, 8905, 8910, 8911};
    QTest::newRow("one point") << Xs{8900} << 0.0 << Xs{8890, 8900, 8911};
    QTest::newRow("no point") << Xs{} << 0.0 << Xs{8890, 8911};
}

void TestSpectrumSweep::sameAsSearch()
{
    QFETCH(Xs, xs);
    QFETCH(double, shift);
    QFETCH(Xs, reads);
    Spectrum s;
    for (int i = 0; i < xs.size(); ++i) s.append(xs[i], std::sin(0.3 * i) + 0.01 * i * i);
    s.xShiftOn = shift != 0;
    s.xShift = shift;
    SpectrumSweep sweep(s);
    for (double x : reads) {
        const double want = s.y(x), got = sweep.y(x);
        QVERIFY2(got == want || (std::isnan(got) && std::isnan(want)),
                 qPrintable(QString("at %1: %2 vs %3").arg(x).arg(got, 0, 'g', 17).arg(want, 0, 'g', 17)));
    }
}

QTEST_MAIN(TestSpectrumSweep)
#include "tst_spectrumsweep.moc"
