#include "core/BPFit.h"
#include "core/FFT.h"
#include "core/Globals.h"
#include "core/MatrixUtil.h"
#include "core/Spectrum.h"

#include <QRandomGenerator>
#include <QVector3D>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

using MU = MatrixUtil;

namespace {

// Owns a matrix for the length of a test.
struct Mat
{
    explicit Mat(int order) : n(order), m(MU::newMatrix(order)) {}
    Mat(int order, const QVector<double>& values) : Mat(order)
    {
        for (int i = 0; i < n * n; ++i)
            m[i / n][i % n] = values[i];
    }
    ~Mat() { MU::deleteMatrix(n, m); }
    Mat(const Mat&) = delete;
    Mat& operator=(const Mat&) = delete;
    int n;
    double** m;
};

double quad(double x, double y)
{
    return 2 * x * x - y * y + 0.5 * x * y + 3 * x - 4 * y + 7;
}

// Independent least squares in long double: normal equations built from the
// points themselves, solved by Gauss-Jordan with partial pivoting.
std::vector<long double> referenceFit(const std::vector<QVector3D>& pts)
{
    long double M[6][7] = {};
    for (const QVector3D& p : pts) {
        const long double x = p.x(), y = p.y();
        const long double basis[6] = {x * x, y * y, x * y, x, y, 1};
        for (int i = 0; i < 6; ++i) {
            for (int j = 0; j < 6; ++j)
                M[i][j] += basis[i] * basis[j];
            M[i][6] += basis[i] * p.z();
        }
    }
    for (int k = 0; k < 6; ++k) {
        int best = k;
        for (int i = k + 1; i < 6; ++i)
            if (std::fabs(M[i][k]) > std::fabs(M[best][k]))
                best = i;
        for (int j = 0; j < 7; ++j)
            std::swap(M[k][j], M[best][j]);
        for (int i = 0; i < 6; ++i) {
            if (i == k)
                continue;
            const long double m = M[i][k] / M[k][k];
            for (int j = k; j < 7; ++j)
                M[i][j] -= m * M[k][j];
        }
    }
    std::vector<long double> r(6);
    for (int i = 0; i < 6; ++i)
        r[i] = M[i][6] / M[i][i];
    return r;
}

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

class TestNumerics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initColorTables(); }

    // Random systems with a known solution.
    void luSolves()
    {
        QRandomGenerator rng(1105);
        for (int n = 1; n <= 12; ++n) {
            for (int trial = 0; trial < 20; ++trial) {
                Mat a(n);
                QVector<double> truth(n), b(n), x(n);
                QVector<int> perm(n);
                for (int i = 0; i < n; ++i) {
                    truth[i] = rng.generateDouble() * 20 - 10;
                    for (int j = 0; j < n; ++j)
                        a.m[i][j] = rng.generateDouble() * 2 - 1;
                }
                MU::multiplyVector(n, a.m, truth.data(), b.data());
                QVERIFY(MU::solveByLU(n, a.m, b.data(), x.data(), perm.data()));
                // The solution comes in pivot order; A x must give b back.
                QVector<double> natural(n), ax(n);
                for (int i = 0; i < n; ++i)
                    natural[i] = x[perm[i]];
                MU::multiplyVector(n, a.m, natural.data(), ax.data());
                for (int i = 0; i < n; ++i)
                    QVERIFY2(std::abs(ax[i] - b[i]) < 1e-10, qPrintable(QString("n %1").arg(n)));
            }
        }
        // A tiny first pivot, taken as it stands, loses x0 entirely.
        Mat a(2, {1e-20, 1, -1, 1});
        double b[2] = {1, 0};
        QVERIFY(MU::solve(2, a.m, b));
        QVERIFY(std::abs(b[0] - 1) < 1e-12 && std::abs(b[1] - 1) < 1e-12);
        // Not a number inside: no crash, and the answer shows it.
        Mat bad(2, {std::nan(""), 1, 2, 3});
        double c[2] = {1, 1};
        MU::solve(2, bad.m, c);
        QVERIFY(MU::hasNaN(2, c));
    }

    // A singular system is refused, not solved into huge numbers.
    void luSingular_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QVector<double>>("matrix");
        QTest::newRow("equal rows") << 3 << QVector<double>{1, 2, 3, 2, 1, 0, 1, 2, 3};
        QTest::newRow("zero column") << 2 << QVector<double>{0, 1, 0, 2};
        QTest::newRow("all zero") << 2 << QVector<double>{0, 0, 0, 0};
    }
    void luSingular()
    {
        QFETCH(int, n);
        QFETCH(QVector<double>, matrix);
        Mat a(n, matrix), l(n), u(n);
        QVector<int> perm(n);
        QVERIFY(!MU::makeLU(n, a.m, l.m, u.m, perm.data()));
        QVector<double> b(n, 1.0), x(n);
        QVERIFY(!MU::solveByLU(n, a.m, b.data(), x.data(), perm.data()));
    }

    // Noisy points, some of them not numbers: the fit is the least-squares
    // one of the finite points, checked independently.
    void surfaceFit()
    {
        std::vector<QVector3D> pts;
        unsigned seed = 12345;
        BPFit fit;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 30; ++x) {
                seed = seed * 1103515245u + 12345u;
                const QVector3D p(x, y, float(quad(x, y) + double((seed >> 8) % 10000) / 1000.0 - 5));
                pts.push_back(p);
                fit.addPoint(p.x(), p.y(), p.z());
                if (x == 3)
                    fit.addPoint(x, y, qQNaN());
            }
        fit.addPoint(qInf(), 5, 1);
        fit.addPoint(5, -qInf(), 1);
        fit.addPoint(50, 50, qInf());
        QCOMPARE(fit.n, 600.0);
        QVERIFY(fit.solve());
        const std::vector<long double> want = referenceFit(pts);
        const double got[6] = {fit.a, fit.b, fit.c, fit.d, fit.e, fit.f};
        for (int i = 0; i < 6; ++i)
            QVERIFY2(std::abs(got[i] - double(want[i])) <= 1e-9 * (1 + std::abs(double(want[i]))),
                     qPrintable(QString("coefficient %1: %2").arg(i).arg(got[i], 0, 'g', 17)));
    }

    // Points that cannot fix a quadratic surface: the solve fails and every
    // coefficient reads 0, not what was there before.
    void surfaceDegenerate_data()
    {
        QTest::addColumn<QVector<QVector3D>>("points");
        QVector<QVector3D> row, column, diagonal, twoRows, five, same;
        for (int i = 0; i < 300; ++i) {
            row << QVector3D(2 + 5 * i, 1234, 0.01f * i + 3);  // one row of blocks: y never varies
            column << QVector3D(1500, 7 * i, i);
            diagonal << QVector3D(3 * i + 100, 3 * i + 400, i);
            twoRows << QVector3D(5 * i, 1000 + 3 * (i % 2), i % 7);
            same << QVector3D(640, 480, 2.5);
        }
        for (const QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1), QPoint(2, 3)})
            five << QVector3D(p.x() + 1000, p.y() + 1000, 1);
        QTest::newRow("no points") << QVector<QVector3D>();
        QTest::newRow("one row") << row;
        QTest::newRow("one column") << column;
        QTest::newRow("diagonal") << diagonal;
        QTest::newRow("two rows") << twoRows;
        QTest::newRow("five points") << five;
        QTest::newRow("one point repeated") << same;
    }
    void surfaceDegenerate()
    {
        QFETCH(QVector<QVector3D>, points);
        BPFit fit;
        for (const QVector3D& p : points)
            fit.addPoint(p.x(), p.y(), p.z());
        fit.a = fit.b = fit.c = fit.d = fit.e = fit.f = 1;
        QVERIFY(!fit.solve());
        for (double v : {fit.a, fit.b, fit.c, fit.d, fit.e, fit.f})
            QCOMPARE(v, 0.0);
    }

    // Against the direct O(n^2) sum (FFTW's sign, no normalisation): the
    // spectrum's values padded with zeros or cut to the transform size.
    void fft_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("length");
        for (int n : {1, 2, 3, 7, 12, 31, 100})
            QTest::addRow("size %d", n) << n << n;
        QTest::newRow("padded") << 8 << 3;
        QTest::newRow("cut") << 8 << 20;
    }
    void fft()
    {
        QFETCH(int, size);
        QFETCH(int, length);
        QRandomGenerator rng(106);
        Spectrum s;
        QVector<double> y(size, 0.0);
        for (int i = 0; i < length; ++i) {
            s.append(8000 + i, rng.generateDouble() * 2 - 1);
            if (i < size)
                y[i] = s.yAt(i);
        }
        FFT f;
        f.setSize(size);
        f.forwardOfY(s);
        const double* m = f.magnitudes();
        for (int k = 0; k < size; ++k) {
            std::complex<double> want = 0;
            for (int j = 0; j < size; ++j)
                want += y[j] * std::polar(1.0, -2 * M_PI * double(j) * k / size);
            QVERIFY(std::abs(f.forwardOut[k][0] - want.real()) < 1e-9);
            QVERIFY(std::abs(f.forwardOut[k][1] - want.imag()) < 1e-9);
            QVERIFY(std::abs(m[k] - std::abs(want)) < 1e-9);
        }
    }

    void fftNonPositiveSizeEmpties()
    {
        FFT f;
        Spectrum two;
        two.append(1, 1);
        two.append(2, 2);
        for (int n : {0, -4}) {
            f.setSize(8);
            f.setSize(n);
            QCOMPARE(f.size, 0);
            QVERIFY(f.forwardPlan == nullptr && f.backwardPlan == nullptr);
            f.forwardOfY(two);
            QVERIFY(f.magnitudes() == nullptr);
        }
        f.release();
        f.release();
    }

    // Random sorted points; values inside, on and beyond them.
    void interpolation()
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
        // Between sampled energies: the mean for equal abscissae, a straight line beyond.
        QCOMPARE(lerp(5, 2, 1, 2, 3), 2.0);
        QCOMPARE(lerp(3, 1, 10, 2, 20), 30.0);
    }

    void interpolationDegenerate_data()
    {
        QTest::addColumn<QVector<double>>("xs");
        QTest::addColumn<QVector<double>>("ys");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("expected");
        QTest::newRow("empty") << QVector<double>() << QVector<double>() << 5.0 << 0.0;
        QTest::newRow("one point, below") << QVector<double>{2} << QVector<double>{7} << -100.0 << 7.0;
        QTest::newRow("one point, above") << QVector<double>{2} << QVector<double>{7} << 1e6 << 7.0;
        // Equal x in a segment gives the mean, whatever the argument.
        QTest::newRow("equal x, below") << QVector<double>{1, 1} << QVector<double>{2, 4} << -3.0 << 3.0;
        QTest::newRow("equal x, above") << QVector<double>{1, 1} << QVector<double>{2, 4} << 9.0 << 3.0;
        QTest::newRow("equal last x") << QVector<double>{0, 1, 2, 2} << QVector<double>{0, 1, 5, 9} << 3.0 << 7.0;
        QTest::newRow("not a number") << QVector<double>{0, 1} << QVector<double>{0, 2} << qQNaN() << qQNaN();
    }
    void interpolationDegenerate()
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
                const int from = std::max(0, j - n), to = std::min(39, j + n);
                double sum = 0;
                for (int i = from; i <= to; ++i)
                    sum += r.yAt(i);
                QVERIFY(std::abs(r.smoothed[j] - sum / (to - from + 1)) < 1e-12);
            }
        }
    }

    // Image values run 0 .. 1 over 256 grey and 766 colour entries; anything
    // outside, or not a number, lands on an end of the table, never past it.
    void pixelTables_data()
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
    void pixelTables()
    {
        QFETCH(double, v);
        QFETCH(int, grey);
        QFETCH(int, colour);
        QCOMPARE(grayPixel(v), greyLUT + grey);
        QCOMPARE(colorPixel(v), colorLUT + 3 * colour);
    }
};

QTEST_GUILESS_MAIN(TestNumerics)
#include "tst_numerics.moc"
