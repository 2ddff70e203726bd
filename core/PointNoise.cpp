#include "PointNoise.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cmath>

double pointNoise(const double* E, const double* y, int n, int minPoints, double maxSpan)
{
    // Noise leaves sqrt(1 + a^2 + b^2) of itself against the neighbours' line.
    QVarLengthArray<double, 256> z;
    for (int i = 1; i + 1 < n; ++i) {
        const double span = E[i + 1] - E[i - 1];
        if (!(span > 0 && span <= maxSpan)) continue;
        const double b = (E[i] - E[i - 1]) / span, a = 1 - b;
        z.append(std::fabs(y[i] - a * y[i - 1] - b * y[i + 1]) / std::sqrt(1 + a * a + b * b));
    }
    if (z.size() < std::max(1, minPoints)) return -1;
    const auto mid = z.begin() + z.size() / 2;
    std::nth_element(z.begin(), mid, z.end());
    return *mid / 0.6744897501960817;
}
