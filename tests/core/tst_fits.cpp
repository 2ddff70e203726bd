#include "core/BPFit.h"
#include "core/PolyFit.h"

#include <QtTest>
#include <cmath>
#include <vector>

namespace {

struct P3 {
    double x, y, z;
};

double quad(double x, double y)
{
    return 2 * x * x - y * y + 0.5 * x * y + 3 * x - 4 * y + 7;
}

// Independent weighted least squares in long double: normal equations built
// from the points themselves, solved by Gauss-Jordan with partial pivoting.
std::vector<long double> referenceFit(const std::vector<P3>& pts)
{
    long double M[6][7] = {};
    for (const P3& p : pts) {
        const long double x = p.x, y = p.y;
        const long double basis[6] = {x * x, y * y, x * y, x, y, 1};
        for (int i = 0; i < 6; ++i) {
            for (int j = 0; j < 6; ++j) M[i][j] += basis[i] * basis[j];
            M[i][6] += basis[i] * p.z;
        }
    }
    for (int k = 0; k < 6; ++k) {
        int best = k;
        for (int i = k + 1; i < 6; ++i)
            if (std::fabs(M[i][k]) > std::fabs(M[best][k])) best = i;
        for (int j = 0; j < 7; ++j) std::swap(M[k][j], M[best][j]);
        for (int i = 0; i < 6; ++i) {
            if (i == k) continue;
            const long double m = M[i][k] / M[k][k];
            for (int j = k; j < 7; ++j) M[i][j] -= m * M[k][j];
        }
    }
    std::vector<long double> r(6);
    for (int i = 0; i < 6; ++i) r[i] = M[i][6] / M[i][i];
    return r;
}

void checkCoefficients(const BPFit& fit, const std::vector<long double>& expect, double tol)
{
    const double got[6] = {fit.a, fit.b, fit.c, fit.d, fit.e, fit.f};
    for (int i = 0; i < 6; ++i)
        QVERIFY2(std::abs(got[i] - double(expect[i])) <= tol * (1 + std::abs(double(expect[i]))),
                 qPrintable(QString("coefficient %1: %2 vs %3").arg(i).arg(got[i], 0, 'g', 17)
                                .arg(double(expect[i]), 0, 'g', 17)));
}

}  // namespace

class TestFits : public QObject
{
    Q_OBJECT
private slots:
    void surfaceMatchesIndependentLeastSquares();
    void surfaceSkipsNonFinite();
    void surfaceDegenerateFails();
    void polyExact();
    void polyEachPointAndSingular();
};

void TestFits::surfaceMatchesIndependentLeastSquares()
{
    // Noisy data: the fit is the least-squares one, checked independently.
    std::vector<P3> pts;
    unsigned seed = 12345;
    auto noise = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return double((seed >> 8) % 10000) / 10000.0 - 0.5;
    };
    BPFit fit;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const P3 p{double(x), double(y), quad(x, y) + 10 * noise()};
            pts.push_back(p);
            fit.addPoint(p.x, p.y, p.z);
        }
    QVERIFY(fit.solve());
    checkCoefficients(fit, referenceFit(pts), 1e-9);
}

void TestFits::surfaceSkipsNonFinite()
{
    BPFit clean, dirty;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const double z = quad(x * 100, y * 100);
            clean.addPoint(x * 100, y * 100, z);
            dirty.addPoint(x * 100, y * 100, z);
            if (x == 3) dirty.addPoint(x * 100, y * 100, qQNaN());
        }
    dirty.addPoint(qInf(), 5, 1);
    dirty.addPoint(5, -qInf(), 1);
    dirty.addPoint(50, 50, qInf());
    QCOMPARE(dirty.n, 36.0);
    QVERIFY(dirty.solve());
    QVERIFY(clean.solve());
    QCOMPARE(dirty.a, clean.a);
    QCOMPARE(dirty.f, clean.f);
    QVERIFY(std::isfinite(dirty.d));
}

void TestFits::surfaceDegenerateFails()
{
    BPFit empty;
    QVERIFY(!empty.calc());
    QCOMPARE(empty.f, 0.0);

    // Start from a good fit so that failure visibly resets the coefficients.
    BPFit fit;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) fit.addPoint(x, y, quad(x, y));
    QVERIFY(fit.solve());
    QVERIFY(fit.a != 0);

    // One row of blocks at image coordinates: y never varies.
    fit.clear();
    for (int x = 2; x < 2048; x += 5) fit.addPoint(x, 1234, 0.01 * x + 3);
    QVERIFY(!fit.solve());
    const double coeffs[6] = {fit.a, fit.b, fit.c, fit.d, fit.e, fit.f};
    for (double v : coeffs) QCOMPARE(v, 0.0);

    // One column, points on a diagonal, two rows only, five points.
    BPFit col, diag, twoRows, five;
    for (int i = 0; i < 300; ++i) {
        col.addPoint(1500, 7 * i, i);
        diag.addPoint(3 * i + 100, 3 * i + 400, i);
        twoRows.addPoint(5 * i, 1000 + 3 * (i % 2), i % 7);
    }
    const double p5[5][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {2, 3}};
    for (auto& p : p5) five.addPoint(p[0] + 1000, p[1] + 1000, 1);
    QVERIFY(!col.solve());
    QVERIFY(!diag.solve());
    QVERIFY(!twoRows.solve());
    QVERIFY(!five.solve());
    QCOMPARE(diag.a, 0.0);
    QCOMPARE(twoRows.f, 0.0);

    // The same point repeated.
    BPFit same;
    for (int i = 0; i < 50; ++i) same.addPoint(640, 480, 2.5);
    QVERIFY(!same.solve());
}

void TestFits::polyExact()
{
    PolyFit fit(3);
    for (int i = 0; i <= 10; ++i) {
        const double x = i * 0.5;
        fit.addPoint(x, 1 - 2 * x + 0.5 * x * x);
    }
    QVERIFY(fit.solve());
    QVERIFY(std::abs(fit.coef[0] - 1) < 1e-10);
    QVERIFY(std::abs(fit.coef[1] + 2) < 1e-10);
    QVERIFY(std::abs(fit.coef[2] - 0.5) < 1e-10);
    QVERIFY(fit.value() < 1e-6);

    // A straight line over photon energies.
    PolyFit line(2);
    for (double e = 7000; e <= 7200; e += 2) line.addPoint(e, 0.002 * e - 13);
    QVERIFY(line.solve());
    QVERIFY(std::abs(line.coef[1] - 0.002) < 1e-9);
    QVERIFY(std::abs(line.coef[0] + 13) < 1e-5);
}

void TestFits::polyEachPointAndSingular()
{
    PolyFit fit(2);
    fit.solveEachPoint = true;
    fit.addPoint(1, 1);   // one point: a line is undetermined
    fit.addPoint(1, 3);   // same x again: still undetermined
    fit.addPoint(2, 4);
    fit.addPoint(qQNaN(), 4);  // ignored
    QCOMPARE(fit.count, 3);
    QCOMPARE(fit.residuals.size(), 3);
    QCOMPARE(fit.residuals[0], -1.0);
    QCOMPARE(fit.residuals[1], -1.0);
    QVERIFY(fit.residuals[2] >= 0);

    PolyFit same(2);
    same.coef = {5, 6};
    for (int i = 0; i < 10; ++i) same.addPoint(7000, i);
    QVERIFY(!same.solve());
    QCOMPARE(same.coef[0], 5.0);  // left as it was
    QCOMPARE(same.coef[1], 6.0);

    PolyFit none(3);
    QVERIFY(!none.solve());
    QCOMPARE(none.value(), 0.0);
}

QTEST_GUILESS_MAIN(TestFits)
#include "tst_fits.moc"
