#ifndef MATRIXUTIL_H
#define MATRIXUTIL_H

#include <QString>

// Small dense systems for the least-squares fits: row-pointer matrices of
// order n, solved by LU decomposition with partial pivoting.
//
// Rows are never moved in memory; perm records the row order (position i of
// the factorised matrix is stored row perm[i]) and solution vectors are kept
// in that order too: component i of a solution is x[perm[i]]. solve() hands
// back the natural order.
class MatrixUtil
{
public:
    MatrixUtil() {}
    ~MatrixUtil() {}

    // Uninitialised storage; null for n < 1.
    static double** newMatrix(int n);
    static double* newVector(int n);
    static int* newIntVector(int n);
    static void deleteMatrix(int n, double** m);
    static void deleteVector(double* v);
    static void deleteIntVector(int* v);
    static void newMatrixAndVector(int n, double**& m, double*& v);
    static void deleteMatrixAndVector(int n, double** m, double* v);

    static void zeroMatrix(int n, double** m);
    static void zeroVector(int n, double* v);
    static void zeroIntVector(int n, int* v);
    static void identity(int n, double** m);
    static void copyMatrix(int n, double** from, double** to);
    static void copyVector(int n, const double* from, double* to);
    // y = A x
    static void multiplyVector(int n, double** a, const double* x, double* y);
    static bool hasNaN(int n, double** m);
    static bool hasNaN(int n, const double* v);

    // A stays unchanged; L (unit lower) and U are n x n from the caller. False
    // on a zero pivot, which is then skipped. Allocates nothing.
    static bool makeLU(int n, double** a, double** l, double** u, int* perm);
    // L y = P b; false on a zero diagonal, which is skipped.
    static bool solveLV(int n, double** l, const double* b, double* y, const int* perm);
    // U x = y; false on a zero diagonal, which is skipped.
    static bool solveUV(int n, double** u, const double* y, double* x, const int* perm);
    // The three steps with their own L, U and intermediate vector; returns
    // whether the decomposition succeeded.
    static bool solveByLU(int n, double** a, const double* b, double* x, int* perm);
    // Solves A x = b into b in natural order; b is untouched on failure.
    static bool solve(int n, double** a, double* b);

    static void dumpMatrix(int n, const QString& title, double** m);
    static void dumpPermutedMatrix(int n, const QString& title, double** m, const int* perm);
    static void dumpVector(int n, const QString& title, const double* v);
    static void dumpIntVector(int n, const QString& title, const int* v);
};

#endif
