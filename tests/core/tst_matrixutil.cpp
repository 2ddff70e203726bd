#include "core/MatrixUtil.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

using MU = MatrixUtil;

namespace {

// Owns a matrix for the length of a test.
struct Mat
{
    explicit Mat(int order) : n(order), m(MU::newMatrix(order)) {}
    Mat(int order, const QVector<double>& values) : Mat(order)
    {
        for (int i = 0; i < n * n; ++i) m[i / n][i % n] = values[i];
    }
    ~Mat() { MU::deleteMatrix(n, m); }
    Mat(const Mat&) = delete;
    Mat& operator=(const Mat&) = delete;
    bool operator==(const Mat& o) const
    {
        for (int i = 0; i < n * n; ++i)
            if (m[i / n][i % n] != o.m[i / n][i % n]) return false;
        return true;
    }
    int n;
    double** m;
};

}  // namespace

class TestMatrixUtil : public QObject
{
    Q_OBJECT

private slots:
    // Random systems with a known solution; the inputs are left as they were.
    void randomSystems()
    {
        QRandomGenerator rng(1105);
        for (int n = 1; n <= 12; ++n) {
            for (int trial = 0; trial < 20; ++trial) {
                Mat a(n), keep(n);
                QVector<double> truth(n), b(n), x(n);
                QVector<int> perm(n);
                for (int i = 0; i < n; ++i) {
                    truth[i] = rng.generateDouble() * 20 - 10;
                    for (int j = 0; j < n; ++j) a.m[i][j] = keep.m[i][j] = rng.generateDouble() * 2 - 1;
                }
                MU::multiplyVector(n, a.m, truth.data(), b.data());
                const QVector<double> bKeep = b;
                QVERIFY(MU::solveByLU(n, a.m, b.data(), x.data(), perm.data()));
                QVERIFY(a == keep);
                QCOMPARE(b, bKeep);
                // The solution comes in pivot order; A x must give b back.
                QVector<double> natural(n), ax(n);
                for (int i = 0; i < n; ++i) natural[i] = x[perm[i]];
                MU::multiplyVector(n, a.m, natural.data(), ax.data());
                for (int i = 0; i < n; ++i) QVERIFY2(std::abs(ax[i] - b[i]) < 1e-10, qPrintable(QString("n %1").arg(n)));
                QVERIFY(MU::solve(n, a.m, b.data()));
                for (int i = 0; i < n; ++i) QVERIFY(std::abs(b[i] - natural[i]) < 1e-12 * (1 + std::abs(natural[i])));
            }
        }
    }

    // A singular system fails and leaves matrix and right-hand side alone.
    void singular_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QVector<double>>("matrix");
        QTest::newRow("equal rows") << 3 << QVector<double>{1, 2, 3, 2, 1, 0, 1, 2, 3};
        QTest::newRow("zero column") << 2 << QVector<double>{0, 1, 0, 2};
        QTest::newRow("all zero") << 2 << QVector<double>{0, 0, 0, 0};
    }
    void singular()
    {
        QFETCH(int, n);
        QFETCH(QVector<double>, matrix);
        Mat a(n, matrix), keep(n, matrix), l(n), u(n);
        QVector<int> perm(n);
        QVERIFY(!MU::makeLU(n, a.m, l.m, u.m, perm.data()));
        QVERIFY(a == keep);
        QVector<double> b(n, 1.0), x(n);
        b[0] = 4;
        const QVector<double> bKeep = b;
        QVERIFY(!MU::solveByLU(n, a.m, b.data(), x.data(), perm.data()));
        QVERIFY(!MU::solve(n, a.m, b.data()));
        QCOMPARE(b, bKeep);
        QVERIFY(a == keep);
    }

    // A tiny first pivot: taken as it stands, it loses x0 entirely.
    void pivotsOnMagnitude()
    {
        Mat a(2, {1e-20, 1, -1, 1});
        double b[2] = {1, 0};
        QVERIFY(MU::solve(2, a.m, b));
        QVERIFY(std::abs(b[0] - 1) < 1e-12 && std::abs(b[1] - 1) < 1e-12);
    }

    void nanDoesNotCrash()
    {
        Mat a(2, {std::nan(""), 1, 2, 3});
        double b[2] = {1, 1};
        MU::solve(2, a.m, b);
        QVERIFY(MU::hasNaN(2, b));
    }
};

QTEST_GUILESS_MAIN(TestMatrixUtil)
#include "tst_matrixutil.moc"
