#include "Spectrum.h"

namespace {

// Shared by y and smoothedY, which differ only in where y comes from.
template <typename YOf>
double valueAt(const Spectrum& s, double x, YOf yOf)
{
    const int n = s.points.size();
    if (n < 1) return 0.0;
    if (n == 1) return yOf(0);
    if (s.xAt(0) >= x) return lineAt(s.xAt(0), yOf(0), s.xAt(1), yOf(1), x);
    if (x >= s.xAt(n - 1)) return lineAt(s.xAt(n - 2), yOf(n - 2), s.xAt(n - 1), yOf(n - 1), x);
    int lo = 0;
    int hi = n - 1;
    int mid = (n - 1) / 2;
    while (hi - 1 > lo) {
        if (s.xAt(mid) > x)
            hi = mid;
        else
            lo = mid;
        mid = (lo + hi) / 2;
    }
    return lineAt(s.xAt(lo), yOf(lo), s.xAt(hi), yOf(hi), x);
}

}  // namespace

int SpectrumSweep::find(double x) const
{
    int a = 0, b = n - 1;
    while (b - 1 > a) {
        const int mid = (a + b) / 2;
        if (xAt(mid) > x)
            b = mid;
        else
            a = mid;
    }
    return a;
}

void Spectrum::clear()
{
    points.resize(0);
    resetMinMax();
}

void Spectrum::takePoints(const Spectrum& from)
{
    points = from.points;
    minX = from.minX;
    minY = from.minY;
    maxX = from.maxX;
    maxY = from.maxY;
    minYIndex = from.minYIndex;
    maxYIndex = from.maxYIndex;
}

void Spectrum::resetMinMax()
{
    minX = minY = 1e300;
    maxX = maxY = -1e300;
    minYIndex = EmptyMinYIndex;
    maxYIndex = EmptyMaxYIndex;
}

double Spectrum::smoothedAt(int i) const
{
    if (i < 0 || i >= smoothed.size()) return 0.0;
    return smoothed.at(i);
}

double Spectrum::y(double x) const
{
    return valueAt(*this, x, [this](int i) { return yAt(i); });
}

double Spectrum::smoothedY(double x) const
{
    return valueAt(*this, x, [this](int i) { return smoothedAt(i); });
}

void Spectrum::smooth(int n)
{
    if (n < 0) n = 0;
    const int count0 = points.size();
    smoothed.resize(0);
    smoothed.reserve(count0);
    double sum = 0;
    int count = 0;
    for (int i = 0; i <= n && i < count0; ++i) {
        sum += points.at(i).y();
        ++count;
    }
    for (int j = 0; j < count0; ++j) {
        smoothed.append(count < 1 ? 0.0 : sum / count);
        if (j - n >= 0) {
            sum -= points.at(j - n).y();
            --count;
        }
        if (j + n + 1 < count0) {
            sum += points.at(j + n + 1).y();
            ++count;
        }
    }
}
