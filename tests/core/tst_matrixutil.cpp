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
    Mat(int order, std::initializer_list<double> values) : Mat(order)
    {
        auto it = values.begin();
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) m[i][j] = *it++;
    }
    ~Mat() { MU::deleteMatrix(n, m); }
    Mat(const Mat&) = delete;
    Mat& operator=(const Mat&) = delete;
    int n;
    double** m;
};

bool sameMatrix(int n, double** a, double** b)
{
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (a[i][j] != b[i][j]) return false;
    return true;
}

}  // namespace

class TestMatrixUtil : public QObject
{
    Q_OBJECT

private slots:
    void randomSystems();
    void singular();
    void nanDoesNotCrash();
};

void TestMatrixUtil::randomSystems()
{
    QRandomGenerator rng(1105);
    for (int n = 1; n <= 12; ++n) {
        for (int trial = 0; trial < 20; ++trial) {
            Mat a(n), keep(n);
            QVector<double> truth(n), b(n), x(n), bKeep(n);
            QVector<int> perm(n);
            for (int i = 0; i < n; ++i) {
                truth[i] = rng.generateDouble() * 20 - 10;
                for (int j = 0; j < n; ++j) a.m[i][j] = rng.generateDouble() * 2 - 1;
            }
            MU::copyMatrix(n, a.m, keep.m);
            MU::multiplyVector(n, a.m, truth.data(), b.data());
            bKeep = b;

            QVERIFY(MU::solveByLU(n, a.m, b.data(), x.data(), perm.data()));
            QVERIFY(sameMatrix(n, a.m, keep.m));
            QCOMPARE(b, bKeep);

            // The permutation holds every row once.
            QVector<int> seen(n, 0);
            for (int i = 0; i < n; ++i) ++seen[perm[i]];
            QCOMPARE(seen, QVector<int>(n, 1));

            QVector<double> natural(n), ax(n);
            for (int i = 0; i < n; ++i) natural[i] = x[perm[i]];
            MU::multiplyVector(n, a.m, natural.data(), ax.data());
            for (int i = 0; i < n; ++i) QVERIFY2(std::abs(ax[i] - b[i]) < 1e-10, qPrintable(QString("n %1").arg(n)));

            QVERIFY(MU::solve(n, a.m, b.data()));
            for (int i = 0; i < n; ++i) QVERIFY(std::abs(b[i] - natural[i]) < 1e-12 * (1 + std::abs(natural[i])));
        }
    }
}

void TestMatrixUtil::singular()
{
    Mat a(3, {1, 2, 3, 2, 1, 0, 1, 2, 3});
    Mat keep(3);
    MU::copyMatrix(3, a.m, keep.m);
    Mat l(3), u(3);
    int perm[3];
    QVERIFY(!MU::makeLU(3, a.m, l.m, u.m, perm));
    QVERIFY(sameMatrix(3, a.m, keep.m));

    double b[3] = {1, 2, 4};
    QVERIFY(!MU::solve(3, a.m, b));
    QCOMPARE(b[0], 1.0);
    QCOMPARE(b[1], 2.0);
    QCOMPARE(b[2], 4.0);
    QVERIFY(sameMatrix(3, a.m, keep.m));

    double x[3];
    QVERIFY(!MU::solveByLU(3, a.m, b, x, perm));

    // An all-zero column: the first position stays the pivot and fails.
    Mat z(2, {0, 1, 0, 2});
    QVERIFY(!MU::makeLU(2, z.m, l.m, u.m, perm));
    QCOMPARE(perm[0], 0);
    double y[2];
    const double bz[2] = {1, 1};
    QVERIFY(MU::solveLV(2, l.m, bz, y, perm));
    QVERIFY(!MU::solveUV(2, u.m, y, x, perm));
}

void TestMatrixUtil::nanDoesNotCrash()
{
    Mat a(2, {std::nan(""), 1, 2, 3});
    double b[2] = {1, 1};
    MU::solve(2, a.m, b);
    QVERIFY(MU::hasNaN(2, b));
}

QTEST_GUILESS_MAIN(TestMatrixUtil)
#include "tst_matrixutil.moc"
