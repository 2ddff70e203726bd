#include "BPFit.h"

#include "MatrixUtil.h"

#include <QDebug>
#include <QTime>

#include <cmath>

namespace {

// A pivot smaller than this, relative to the largest matrix entry of the
// standardised system, counts as singular.
const double pivotTolerance = 1e-9;

// A spread this small relative to the second moment is rounding noise.
const double spreadTolerance = 1e-10;

const double binom[5][5] = {
    {1, 0, 0, 0, 0}, {1, 1, 0, 0, 0}, {1, 2, 1, 0, 0}, {1, 3, 3, 1, 0}, {1, 4, 6, 4, 1}};

double ipow(double v, int k)
{
    double r = 1;
    while (k-- > 0) r *= v;
    return r;
}

}  // namespace

void BPFit::clear()
{
    *this = BPFit();
}

void BPFit::addPoint(double x, double y, double z)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return;
    if (n == 0) {
        ox = x;
        oy = y;
    }
    x -= ox;
    y -= oy;
    const double x2 = x * x, y2 = y * y, xy = x * y;
    sx4 += x2 * x2;
    sx3y += x2 * xy;
    sx2y2 += x2 * y2;
    sxy3 += xy * y2;
    sy4 += y2 * y2;
    sx3 += x2 * x;
    sx2y += x2 * y;
    sxy2 += x * y2;
    sy3 += y2 * y;
    sx2 += x2;
    sxy += xy;
    sy2 += y2;
    sx += x;
    sy += y;
    n += 1;
    sx2z += x2 * z;
    sy2z += y2 * z;
    sxyz += xy * z;
    sxz += x * z;
    syz += y * z;
    sz += z;
}

bool BPFit::solve()
{
    a = b = c = d = e = f = 0;
    if (!(n > 0)) return false;

    // Raw moments R[i][j] = sum x^i y^j, RZ[i][j] = sum x^i y^j z (about the
    // origin point).
    double R[5][5] = {};
    R[0][0] = n;
    R[1][0] = sx, R[0][1] = sy;
    R[2][0] = sx2, R[1][1] = sxy, R[0][2] = sy2;
    R[3][0] = sx3, R[2][1] = sx2y, R[1][2] = sxy2, R[0][3] = sy3;
    R[4][0] = sx4, R[3][1] = sx3y, R[2][2] = sx2y2, R[1][3] = sxy3, R[0][4] = sy4;
    double RZ[3][3] = {};
    RZ[0][0] = sz;
    RZ[1][0] = sxz, RZ[0][1] = syz;
    RZ[2][0] = sx2z, RZ[1][1] = sxyz, RZ[0][2] = sy2z;

    // Standardised coordinates u = (x - mx) / ux, v = (y - my) / uy.
    const double mx = sx / n, my = sy / n;
    const double varX = sx2 / n - mx * mx, varY = sy2 / n - my * my;
    const double ux = varX > spreadTolerance * (sx2 / n) ? std::sqrt(varX) : 1.0;
    const double uy = varY > spreadTolerance * (sy2 / n) ? std::sqrt(varY) : 1.0;

    double C[5][5] = {}, CZ[3][3] = {};
    for (int p = 0; p <= 4; ++p)
        for (int q = 0; p + q <= 4; ++q) {
            double s = 0, zs = 0;
            for (int i = 0; i <= p; ++i)
                for (int j = 0; j <= q; ++j) {
                    const double w = binom[p][i] * binom[q][j] * ipow(-mx, p - i) * ipow(-my, q - j);
                    s += w * R[i][j];
                    if (p + q <= 2) zs += w * RZ[i][j];
                }
            const double scale = ipow(ux, p) * ipow(uy, q) * n;
            C[p][q] = s / scale;
            if (p + q <= 2) CZ[p][q] = zs / scale;
        }

    // Basis in coefficient order: u^2, v^2, uv, u, v, 1.
    static const int px[6] = {2, 0, 1, 1, 0, 0};
    static const int py[6] = {0, 2, 1, 0, 1, 0};
    const int N = 6;
    double** A = MatrixUtil::newMatrix(N);
    double** L = MatrixUtil::newMatrix(N);
    double** U = MatrixUtil::newMatrix(N);
    int* perm = MatrixUtil::newIntVector(N);
    double rhs[6], yv[6], xv[6];
    double maxEntry = 0;
    bool finite = true;
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) {
            A[i][j] = C[px[i] + px[j]][py[i] + py[j]];
            maxEntry = std::max(maxEntry, std::abs(A[i][j]));
            finite = finite && std::isfinite(A[i][j]);
        }
        rhs[i] = CZ[px[i]][py[i]];
        finite = finite && std::isfinite(rhs[i]);
    }

    bool ok = finite && maxEntry > 0 && MatrixUtil::makeLU(N, A, L, U, perm);
    for (int k = 0; ok && k < N; ++k)
        if (!(std::abs(U[perm[k]][k]) > pivotTolerance * maxEntry)) ok = false;
    if (ok) ok = MatrixUtil::solveLV(N, L, rhs, yv, perm) && MatrixUtil::solveUV(N, U, yv, xv, perm);
    double sol[6];
    for (int i = 0; ok && i < N; ++i) {
        sol[i] = xv[perm[i]];
        ok = std::isfinite(sol[i]);
    }
    MatrixUtil::deleteMatrix(N, A);
    MatrixUtil::deleteMatrix(N, L);
    MatrixUtil::deleteMatrix(N, U);
    MatrixUtil::deleteIntVector(perm);
    if (!ok) return false;

    // Back to raw pixel coordinates: x = cx + ux u, y = cy + uy v.
    const double cx = ox + mx, cy = oy + my;
    const double A2 = sol[0] / (ux * ux), B2 = sol[1] / (uy * uy), C2 = sol[2] / (ux * uy);
    const double D1 = sol[3] / ux, E1 = sol[4] / uy, F0 = sol[5];
    a = A2;
    b = B2;
    c = C2;
    d = D1 - 2 * A2 * cx - C2 * cy;
    e = E1 - 2 * B2 * cy - C2 * cx;
    f = F0 - D1 * cx - E1 * cy + A2 * cx * cx + B2 * cy * cy + C2 * cx * cy;
    return true;
}

bool BPFit::calc()
{
    qDebug().noquote() << "Before BP calc" << QTime::currentTime().toString("hh:mm:ss.zzz");
    const bool ok = solve();
    qDebug().noquote() << "After BP calc" << QTime::currentTime().toString("hh:mm:ss.zzz");
    qDebug() << "BP results" << a << b << c << d << e << f;
    return ok;
}
