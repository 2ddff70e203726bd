#include "MatrixUtil.h"

#include <QDebug>

#include <cmath>
#include <utility>

double** MatrixUtil::newMatrix(int n)
{
    if (n < 1) return nullptr;
    double** m = new double*[n];
    for (int i = 0; i < n; ++i) m[i] = new double[n];
    return m;
}

double* MatrixUtil::newVector(int n)
{
    return n < 1 ? nullptr : new double[n];
}

int* MatrixUtil::newIntVector(int n)
{
    return n < 1 ? nullptr : new int[n];
}

void MatrixUtil::deleteMatrix(int n, double** m)
{
    if (!m) return;
    for (int i = 0; i < n; ++i) delete[] m[i];
    delete[] m;
}

void MatrixUtil::deleteVector(double* v)
{
    delete[] v;
}

void MatrixUtil::deleteIntVector(int* v)
{
    delete[] v;
}

void MatrixUtil::newMatrixAndVector(int n, double**& m, double*& v)
{
    m = newMatrix(n);
    v = newVector(n);
}

void MatrixUtil::deleteMatrixAndVector(int n, double** m, double* v)
{
    deleteMatrix(n, m);
    deleteVector(v);
}

void MatrixUtil::zeroMatrix(int n, double** m)
{
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) m[i][j] = 0;
}

void MatrixUtil::zeroVector(int n, double* v)
{
    for (int i = 0; i < n; ++i) v[i] = 0;
}

void MatrixUtil::zeroIntVector(int n, int* v)
{
    for (int i = 0; i < n; ++i) v[i] = 0;
}

void MatrixUtil::identity(int n, double** m)
{
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) m[i][j] = i == j ? 1.0 : 0.0;
}

void MatrixUtil::copyMatrix(int n, double** from, double** to)
{
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) to[i][j] = from[i][j];
}

void MatrixUtil::copyVector(int n, const double* from, double* to)
{
    for (int i = 0; i < n; ++i) to[i] = from[i];
}

void MatrixUtil::multiplyVector(int n, double** a, const double* x, double* y)
{
    for (int i = 0; i < n; ++i) {
        double s = 0;
        for (int k = 0; k < n; ++k) s += a[i][k] * x[k];
        y[i] = s;
    }
}

bool MatrixUtil::hasNaN(int n, double** m)
{
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (std::isnan(m[i][j])) return true;
    return false;
}

bool MatrixUtil::hasNaN(int n, const double* v)
{
    for (int i = 0; i < n; ++i)
        if (std::isnan(v[i])) return true;
    return false;
}

namespace {

// Position in from .. n-1 whose row has the largest |value| in column col;
// ties keep the earlier position and an all-zero column keeps from.
int pivotPosition(int n, double** w, const int* perm, int from, int col)
{
    int p = from;
    double best = 0;
    for (int i = from; i < n; ++i) {
        const double v = std::fabs(w[perm[i]][col]);
        if (v > best) {
            best = v;
            p = i;
        }
    }
    return p;
}

}  // namespace

bool MatrixUtil::makeLU(int n, double** a, double** l, double** u, int* perm)
{
    if (n < 1) return true;
    for (int i = 0; i < n; ++i) perm[i] = i;
    copyMatrix(n, a, l);
    bool ok = true;

    int p = pivotPosition(n, l, perm, 0, 0);
    for (int k = 0; k < n; ++k) {
        std::swap(perm[k], perm[p]);
        const int r = perm[k];
        const double piv = l[r][k];
        if (piv != 0) {
            for (int j = k + 1; j < n; ++j) {
                const int q = perm[j];
                const double m = l[q][k] / piv;
                l[q][k] = m;
                for (int c = k + 1; c < n; ++c) l[q][c] -= l[r][c] * m;
            }
        } else {
            ok = false;
        }
        if (k + 1 < n) p = pivotPosition(n, l, perm, k + 1, k + 1);
    }

    for (int i = 0; i < n; ++i) {
        const int r = perm[i];
        for (int j = 0; j < n; ++j) {
            if (j >= i) {
                u[r][j] = l[r][j];
                l[r][j] = j == i ? 1.0 : 0.0;
            } else {
                u[r][j] = 0;
            }
        }
    }
    return ok;
}

bool MatrixUtil::solveLV(int n, double** l, const double* b, double* y, const int* perm)
{
    copyVector(n, b, y);
    if (n < 2) return true;
    bool ok = true;
    for (int k = 0; k < n - 1; ++k) {
        const int r = perm[k];
        const double d = l[r][k];
        if (d == 0) {
            ok = false;
            continue;
        }
        y[r] /= d;
        for (int j = k + 1; j < n; ++j) y[perm[j]] -= y[r] * l[perm[j]][k];
    }
    return ok;
}

bool MatrixUtil::solveUV(int n, double** u, const double* y, double* x, const int* perm)
{
    copyVector(n, y, x);
    bool ok = true;
    for (int k = n - 1; k >= 0; --k) {
        const int r = perm[k];
        const double d = u[r][k];
        if (d == 0) {
            ok = false;
            continue;
        }
        x[r] /= d;
        for (int j = k - 1; j >= 0; --j) x[perm[j]] -= x[r] * u[perm[j]][k];
    }
    return ok;
}

bool MatrixUtil::solveByLU(int n, double** a, const double* b, double* x, int* perm)
{
    double** l = newMatrix(n);
    double** u = newMatrix(n);
    double* y = newVector(n);
    // On failure the substitutions still run over the steps they can do.
    const bool ok = makeLU(n, a, l, u, perm);
    solveLV(n, l, b, y, perm);
    solveUV(n, u, y, x, perm);
    deleteMatrix(n, l);
    deleteMatrix(n, u);
    deleteVector(y);
    return ok;
}

bool MatrixUtil::solve(int n, double** a, double* b)
{
    if (n < 1) return true;
    double* x = newVector(n);
    int* perm = newIntVector(n);
    const bool ok = solveByLU(n, a, b, x, perm);
    if (ok)
        for (int i = 0; i < n; ++i) b[i] = x[perm[i]];
    deleteVector(x);
    deleteIntVector(perm);
    return ok;
}

namespace {

QString titled(const QString& title)
{
    return QString::asprintf("# %s = \n# ", title.toLocal8Bit().constData());
}

QString row(int n, const double* v)
{
    QString s;
    for (int j = 0; j < n; ++j) s += QString::asprintf("%g ", v[j]);
    return s;
}

}  // namespace

void MatrixUtil::dumpMatrix(int n, const QString& title, double** m)
{
    QString s = titled(title);
    for (int i = 0; i < n; ++i) {
        if (i > 0) s += "\n# ";
        s += row(n, m[i]);
    }
    qDebug().noquote() << s;
}

void MatrixUtil::dumpPermutedMatrix(int n, const QString& title, double** m, const int* perm)
{
    QString s = titled(title);
    for (int i = 0; i < n; ++i) {
        if (i > 0) s += "\n# ";
        s += row(n, m[perm[i]]);
    }
    qDebug().noquote() << s;
}

void MatrixUtil::dumpVector(int n, const QString& title, const double* v)
{
    qDebug().noquote() << titled(title) + row(n, v);
}

void MatrixUtil::dumpIntVector(int n, const QString& title, const int* v)
{
    QString s = titled(title);
    for (int j = 0; j < n; ++j) s += QString::asprintf("%d ", v[j]);
    qDebug().noquote() << s;
}
