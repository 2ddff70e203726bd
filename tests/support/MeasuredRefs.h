#ifndef SUPPORT_MEASUREDREFS_H
#define SUPPORT_MEASUREDREFS_H

#include <QString>
#include <QVector>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <random>

#include "core/Spectrum.h"
#include "core/XafsSpectrum.h"
#include "support/MeasuredSpectra.h"

// Reference scans as measured (tests/data; each file's first line names its
// collection) and samples mixed from them: what a user fits a stack with.
// The stacks cover the XANES only, or reach well below and above the edge;
// the references are long scans either way.
namespace measured {

// A reference read and normalised over its whole scan, as a row with
// straight lines and no edge window normalises it; empty when unreadable.
inline XafsSpectrum reference(const QString& path)
{
    XafsSpectrum r;
    if (!r.load(path)) return XafsSpectrum();
    r.xShiftOn = true;
    r.recalc(1);
    return r;
}

// Two phases of one element and the stacks they are measured on.
struct Pair
{
    QString name, a, b;  // the element; the files of phase a and phase b
    double edge;         // the K edge, eV
    double xanesFrom, xanesTo;

    // 1 eV steps over the XANES alone.
    QVector<double> xanes() const
    {
        QVector<double> e;
        for (double E = xanesFrom; E <= xanesTo + 1e-9; E += 1) e << E;
        return e;
    }
    // 5 eV from 120 eV below the edge, 1 eV from 30 below to 50 above, 5 eV
    // up to 480 eV above it: pre-edge and EXAFS too.
    QVector<double> wide() const
    {
        QVector<double> e;
        for (double d = -120; d < -30; d += 5) e << edge + d;
        for (double d = -30; d < 50; d += 1) e << edge + d;
        for (double d = 50; d <= 480; d += 5) e << edge + d;
        return e;
    }
};

inline Pair fe() { return {"Fe", "fe_metal_rt.dat", "fe2o3_rt.dat", 7112, 7085, 7165}; }
inline Pair cu() { return {"Cu", "cu_foil_rt.dat", "cuo_tenorite_13K.dat", 8979, 8960, 9040}; }

// mu of a sample holding share fa of phase a (the rest b) in the sense the
// fits use: the phases' scans, each less its lowest value (a measured mu
// carries any offset, a sample's is positive) and divided by its own edge
// jump over its whole scan, mixed fa : 1 - fa, times the sample's jump J, on
// a matrix background. J 0: no element at all.
struct Mixer
{
    Spectrum a, b;  // the measured points
    double jumpA = 0, jumpB = 0, edge = 0;

    explicit Mixer(const Pair& p) : edge(p.edge)
    {
        const XafsSpectrum ra = reference(file(qPrintable(p.a))), rb = reference(file(qPrintable(p.b)));
        a.points = ra.points;
        b.points = rb.points;
        jumpA = ra.dMut;
        jumpB = rb.dMut;
        for (Spectrum* s : {&a, &b}) {
            double low = 1e300;
            for (const QPointF& q : s->points) low = std::min(low, q.y());
            for (QPointF& q : s->points) q.setY(q.y() - low);
        }
    }
    bool ok() const { return !a.isEmpty() && !b.isEmpty() && jumpA > 0 && jumpB > 0; }
    double mu(double fa, double E, double J = 1.2) const
    {
        const double matrix = 0.4 * std::pow(edge / E, 3);
        if (J == 0) return matrix;
        return matrix + J * (fa * a.y(E) / jumpA + (1 - fa) * b.y(E) / jumpB);
    }
    // I1 behind the sample for `counts` photons in, with their noise.
    double i1(double fa, double E, double counts, std::mt19937& g, double J = 1.2) const
    {
        const double i = counts * std::exp(-mu(fa, E, J));
        return i + std::sqrt(i) * std::normal_distribution<double>()(g);
    }
};

}  // namespace measured

#endif
