#include "core/BPFit.h"

#include <QVector3D>
#include <QtTest>
#include <cmath>
#include <vector>

namespace {

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

}  // namespace

class TestFits : public QObject
{
    Q_OBJECT
private slots:
    // Noisy points, some of them not numbers: the fit is the least-squares
    // one of the finite points, checked independently.
    void surfaceMatchesIndependentLeastSquares()
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
    void surfaceDegenerateFails_data()
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
    void surfaceDegenerateFails()
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
};

QTEST_GUILESS_MAIN(TestFits)
#include "tst_fits.moc"
