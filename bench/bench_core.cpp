#include "core/MatrixUtil.h"
#include "core/Spectrum.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

// The normalisation evaluates a spectrum several times per point.
static void BM_SpectrumValueAt200(benchmark::State& state)
{
    Spectrum s;
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> u(0, 1);
    double x = 7000;
    for (int i = 0; i < 200; ++i) {
        x += 0.5 + u(rng) * 4;
        s.append(x, std::atan((x - 7200) / 10) + 0.01 * u(rng));
    }
    std::vector<double> at(1024);
    for (double& a : at) a = s.minX - 20 + (s.maxX - s.minX + 40) * u(rng);
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.y(at[k++ & 1023]));
    }
}
BENCHMARK(BM_SpectrumValueAt200);

// The pre-edge / post-edge line fits solve 2x2 and 3x3 normal equations.
static void BM_LUSolve3x3(benchmark::State& state)
{
    const int n = 3;
    double** a = MatrixUtil::newMatrix(n);
    double** l = MatrixUtil::newMatrix(n);
    double** u = MatrixUtil::newMatrix(n);
    double b[n] = {1, 2, 3};
    double y[n], x[n];
    int perm[n];
    const double values[n][n] = {{4, -2, 1}, {3, 6, -4}, {2, 1, 8}};
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) a[i][j] = values[i][j];
    for (auto _ : state) {
        MatrixUtil::makeLU(n, a, l, u, perm);
        MatrixUtil::solveLV(n, l, b, y, perm);
        MatrixUtil::solveUV(n, u, y, x, perm);
        benchmark::DoNotOptimize(x[perm[0]]);
        benchmark::ClobberMemory();
    }
    MatrixUtil::deleteMatrix(n, a);
    MatrixUtil::deleteMatrix(n, l);
    MatrixUtil::deleteMatrix(n, u);
}
BENCHMARK(BM_LUSolve3x3);

// The same through solve, which allocates its own factors every call.
static void BM_Solve3x3Allocating(benchmark::State& state)
{
    const int n = 3;
    double** a = MatrixUtil::newMatrix(n);
    const double values[n][n] = {{4, -2, 1}, {3, 6, -4}, {2, 1, 8}};
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) a[i][j] = values[i][j];
    for (auto _ : state) {
        double b[n] = {1, 2, 3};
        MatrixUtil::solve(n, a, b);
        benchmark::DoNotOptimize(b[0]);
        benchmark::ClobberMemory();
    }
    MatrixUtil::deleteMatrix(n, a);
}
BENCHMARK(BM_Solve3x3Allocating);

BENCHMARK_MAIN();
