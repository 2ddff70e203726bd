#include "PolyFit.h"

#include "MatrixUtil.h"

#include <cmath>

// Relative to the unit diagonal of the equilibrated normal matrix.
static const double pivotTolerance = 1e-12;

PolyFit::PolyFit(int n) : n(n < 1 ? 1 : n)
{
    clear();
}

void PolyFit::clear()
{
    coef.fill(0.0, n);
    sumX.fill(0.0, 2 * n);
    sumYX.fill(0.0, n);
    sumY2 = 0;
    count = 0;
    residuals.clear();
    lastRms = 0;
}

void PolyFit::addPoint(double x, double y)
{
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    double xk = 1;
    for (int k = 0; k < 2 * n; ++k) {
        sumX[k] += xk;
        if (k < n) sumYX[k] += y * xk;
        xk *= x;
    }
    sumY2 += y * y;
    ++count;
    if (solveEachPoint) residuals.append(solve() ? value() : -1.0);
}

bool PolyFit::solve()
{
    // Scaling rows and columns to a unit diagonal gives the pivot test a
    // meaning independent of the x range; it does not change the solution.
    QVector<double> scale(n);
    for (int i = 0; i < n; ++i) {
        const double m = sumX[2 * i];
        if (!(m > 0) || !std::isfinite(m)) return false;
        scale[i] = std::sqrt(m);
    }
    double** A = MatrixUtil::newMatrix(n);
    double** L = MatrixUtil::newMatrix(n);
    double** U = MatrixUtil::newMatrix(n);
    int* perm = MatrixUtil::newIntVector(n);
    QVector<double> b(n), y(n), x(n);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) A[i][j] = sumX[i + j] / (scale[i] * scale[j]);
        b[i] = sumYX[i] / scale[i];
    }
    bool ok = MatrixUtil::makeLU(n, A, L, U, perm);
    for (int k = 0; ok && k < n; ++k)
        if (!(std::abs(U[perm[k]][k]) > pivotTolerance)) ok = false;
    if (ok) ok = MatrixUtil::solveLV(n, L, b.data(), y.data(), perm) &&
                 MatrixUtil::solveUV(n, U, y.data(), x.data(), perm);
    QVector<double> result(n);
    for (int i = 0; ok && i < n; ++i) {
        result[i] = x[perm[i]] / scale[i];
        ok = std::isfinite(result[i]);
    }
    MatrixUtil::deleteMatrix(n, A);
    MatrixUtil::deleteMatrix(n, L);
    MatrixUtil::deleteMatrix(n, U);
    MatrixUtil::deleteIntVector(perm);
    if (ok) coef = result;
    return ok;
}

double PolyFit::value()
{
    double r = sumY2;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) r += coef[i] * coef[j] * sumX[i + j];
        r -= 2 * coef[i] * sumYX[i];
    }
    lastRms = 0;
    if (count > 0) {
        r /= count;
        if (r > 0) lastRms = std::sqrt(r);
    }
    return lastRms;
}
