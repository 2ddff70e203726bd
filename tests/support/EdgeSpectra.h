#ifndef SUPPORT_EDGESPECTRA_H
#define SUPPORT_EDGESPECTRA_H

#include <QFile>
#include <QString>
#include <QTextStream>
#include <QVector>
#include <cmath>

#include "core/Spectrum.h"

// Absorption edges with a known answer: mu(E) blends a straight pre-edge line
// into a straight post-edge line through a tanh step centred on E0, so mu(E0)
// lies exactly half-way between the lines: the edge is at E0 and the jump is
// post(E0) - pre(E0).
namespace edges {

struct Edge {
    double E0 = 9000;
    double width = 1.5;
    double preC0 = 0.2, preK = 1e-5;
    double postC0 = 1.2, postK = 1e-5;

    double pre(double E) const { return preC0 + preK * E; }
    double post(double E) const { return postC0 + postK * E; }
    double jump() const { return post(E0) - pre(E0); }
    double mu(double E) const
    {
        const double f = 0.5 * (1 + std::tanh((E - E0) / width));
        return (1 - f) * pre(E) + f * post(E);
    }
    // Sampled from `from` to `to` (both included) every `step` eV.
    Spectrum sample(double from, double to, double step) const
    {
        Spectrum s;
        const int n = int(std::lround((to - from) / step));
        for (int i = 0; i <= n; ++i) {
            const double E = from + i * step;
            s.append(E, mu(E));
        }
        return s;
    }
};

inline Spectrum constant(double from, double to, double step, double mu)
{
    Spectrum s;
    const int n = int(std::lround((to - from) / step));
    for (int i = 0; i <= n; ++i)
        s.append(from + i * step, mu);
    return s;
}

// A two-column energy / mu file of the given points in the given order,
// written with every digit so it reads back exactly.
inline bool writeTwoColumns(const QString& path, const QVector<QPointF>& points)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    QTextStream out(&f);
    out << "# E mu\n";
    for (const QPointF& p : points)
        out << QString::number(p.x(), 'g', 17) << ' ' << QString::number(p.y(), 'g', 17) << '\n';
    return true;
}

}  // namespace edges

#endif
