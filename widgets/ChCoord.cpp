#include "ChCoord.h"

#include <algorithm>
#include <cmath>

ChCoord::ChCoord(QObject* parent) : QObject(parent) {}

void ChCoord::setScreenArea(double x0, double y0, double x1, double y1)
{
    screenX0 = plotX0 = x0;
    screenY0 = plotY0 = y0;
    screenX1 = plotX1 = x1;
    screenY1 = plotY1 = y1;
}

void ChCoord::calcPlotArea()
{
    const double w = screenX1 - screenX0;
    const double h = screenY1 - screenY0;
    plotX0 = screenX0 + std::trunc(marginX0 * w);
    plotX1 = screenX1 - std::trunc(marginX1 * w);
    plotY0 = screenY0 + std::trunc(marginY0 * h);
    plotY1 = screenY1 - std::trunc(marginY1 * h);
}

void ChCoord::setRealCoord(double x0, double y0, double x1, double y1)
{
    realX0 = x0;
    realY0 = y0;
    realX1 = x1;
    realY1 = y1;
}

void ChCoord::setRealXRange(double x0, double x1)
{
    realX0 = x0;
    realX1 = x1;
}

void ChCoord::setRealYRange(double y0, double y1)
{
    realY0 = y0;
    realY1 = y1;
}

double ChCoord::fraction(double num, double den)
{
    const double f = num / den;
    return std::isfinite(f) ? f : 0.0;
}

int ChCoord::pix(double v)
{
    // Far outside any screen, but well inside int for the painter's arithmetic.
    constexpr double lim = 1e7;
    if (!(v == v)) return 0;
    return static_cast<int>(std::trunc(std::clamp(v, -lim, lim)));
}

// Scale first, as every plot of the system truncates these to whole pixels;
// an empty range maps onto its start instead of dividing by zero.
double ChCoord::linear(double v, double from0, double from1, double to0, double to1)
{
    const double scale = (to1 - to0) / (from1 - from0);
    if (!std::isfinite(scale)) return to0;
    return scale * (v - from0) + to0;
}

double ChCoord::r2sx(double v) const { return linear(v, realX0, realX1, plotX0, plotX1); }
double ChCoord::r2sy(double v) const { return linear(v, realY0, realY1, plotY0, plotY1); }
double ChCoord::s2rx(double s) const { return linear(s, plotX0, plotX1, realX0, realX1); }
double ChCoord::s2ry(double s) const { return linear(s, plotY0, plotY1, realY0, realY1); }

double ChCoord::r2sdx(double d) const { return fraction(plotX1 - plotX0, realX1 - realX0) * d; }
double ChCoord::r2sdy(double d) const { return fraction(plotY1 - plotY0, realY1 - realY0) * d; }

void ChCoord::autoTicks(double min, double max, double& step, double& first, double& last)
{
    if (!std::isfinite(min) || !std::isfinite(max)) {
        step = 1;
        first = 1;
        last = 0;  // no tick
        return;
    }
    if (max < min) std::swap(min, max);
    if (max == min) {
        const double w = min != 0 ? std::fabs(min) * 0.1 : 1.0;
        min -= w;
        max += w;
    }
    const double r = max - min;
    double p, ratio;
    if (std::isfinite(r)) {
        p = std::pow(10.0, std::floor(std::log10(r)));
        ratio = r / p;
    } else {
        // A range spanning most of the double line: measure half of it.
        const double half = max * 0.5 - min * 0.5;
        p = std::pow(10.0, std::floor(std::log10(half) + std::log10(2.0)));
        ratio = 2.0 * (half / p);
    }
    static const double T[9] = {0.2, 0.2, 0.5, 0.5, 1, 1, 1, 2, 2};
    const double kd = std::trunc(ratio) - 1;
    step = (kd >= 0 && kd <= 8) ? p * T[static_cast<int>(kd)] : p;
    if (!std::isfinite(step) || step <= 0) step = p;
    first = std::ceil(min / step) * step;
    last = std::floor(max / step) * step;
    if (!std::isfinite(first) || !std::isfinite(last)) {
        first = 1;
        last = 0;
    }
}

QVector<double> ChCoord::tickValues(double min, double max, int maxTicks)
{
    QVector<double> ticks;
    double step, first, last;
    autoTicks(min, max, step, first, last);
    if (!(last >= first) || maxTicks < 1) return ticks;
    const double count = std::floor(last / step - first / step + 1e-9) + 1;
    const int n = count < maxTicks ? static_cast<int>(count) : maxTicks;
    ticks.reserve(n);
    const double k0 = first / step;  // a whole number by construction
    for (int i = 0; i < n; ++i) ticks.append((k0 + i) * step);
    return ticks;
}
