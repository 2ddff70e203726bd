#ifndef SUPPORT_ENERGYGRIDS_H
#define SUPPORT_ENERGYGRIDS_H

// The energy grids users measure stacks on, and every measured spectrum of
// tests/data with its edge: a number that depends on the grid beyond what
// the grid resolves shows up when the same spectrum is read on each of them.

#include <QString>
#include <QVector>

#include <algorithm>
#include <cmath>

#include "core/Spectrum.h"
#include "support/EdgeSpectra.h"
#include "support/MeasuredSpectra.h"

namespace grids {

// One measured scan: its file, the edge it crosses (eV, roughly) and
// whether its compound has a white line or pre-edge peak that a coarse grid
// may sample on one or two points.
struct Scan
{
    QString file;
    QString element;
    double edge;
    bool sharpFeature;
};

inline QVector<Scan> scans()
{
    return {
        {"fe_foil_rt.dat", "Fe", 7112, false},
        {"fe_metal_rt.dat", "Fe", 7112, false},
        {"fe2o3_rt.dat", "Fe", 7124, true},
        {"cu_foil_rt.dat", "Cu", 8979, false},
        {"cuo_tenorite_13K.dat", "Cu", 8984, true},
        {"cu2s_13K.dat", "Cu", 8981, false},
        {"ni_metal_rt.dat", "Ni", 8333, false},
        {"ni_oh2_rt.dat", "Ni", 8345, true},
        {"zno_rt.dat", "Zn", 9662, true},
        {"zns_sphalerite_rt.dat", "Zn", 9661, true},
        {"znso4_rt.dat", "Zn", 9664, true},
        {"mno_rt.dat", "Mn", 6547, true},
        {"mno2_rt.dat", "Mn", 6553, true},
        {"k2cr2o7_rt.dat", "Cr", 6005, true},
        {"s_k_sulfide_fy.dat", "S", 2470, true},
        {"s_k_sulfide_sulfate_fy.dat", "S", 2472, true},
        {"fe_k_microxanes_dropout_fy.dat", "Fe", 7124, false},
    };
}

// Thresholds are chosen on one half of the scans and reported on the other.
inline QVector<Scan> tuningHalf()
{
    QVector<Scan> out;
    const QVector<Scan> all = scans();
    for (int i = 0; i < all.size(); i += 2) out << all[i];
    return out;
}
inline QVector<Scan> checkingHalf()
{
    QVector<Scan> out;
    const QVector<Scan> all = scans();
    for (int i = 1; i < all.size(); i += 2) out << all[i];
    return out;
}

inline Spectrum load(const Scan& s) { return measured::spectrum(measured::file(s.file)); }

// The scan without the points its source notes as misread (the detector
// dropout of the Fe micro-XANES at 7142.99-7143.99 eV): on a grid finer
// than its own the dropout would be many points wide, no longer a glitch,
// so the normalisation is checked on the scan as it should have read.
inline Spectrum loadClean(const Scan& s)
{
    const Spectrum raw = load(s);
    if (s.file != "fe_k_microxanes_dropout_fy.dat") return raw;
    Spectrum out;
    for (int i = 0; i < raw.size(); ++i)
        if (raw.xAt(i) < 7142.9 || raw.xAt(i) > 7144.1) out.append(raw.xAt(i), raw.yAt(i));
    return out;
}

// Every `step` eV from `from + offset` to `to`.
inline QVector<double> uniform(double from, double to, double step, double offset = 0)
{
    QVector<double> g;
    for (int i = 0; from + offset + i * step <= to + 1e-9; ++i) g << from + offset + i * step;
    return g;
}

// A transmission microscope's scan: `coarse` eV steps from `from` to 30 eV
// below the edge, `fine` eV through the edge to 30 eV above it, `coarse`
// eV beyond up to `to`.
inline QVector<double> txm(double edge, double from, double to, double fine = 1, double coarse = 5)
{
    QVector<double> g;
    double E = from;
    for (; E < edge - 30 - 1e-9; E += coarse) g << E;
    for (E = edge - 30; E < edge + 30 - 1e-9; E += fine) g << E;
    for (E = edge + 30; E <= to + 1e-9; E += coarse) g << E;
    return g;
}

// A chemical-state list of n energies (12 to 18): three or four points on
// the pre-edge, most across the edge at 1-3 eV, then two to four points on
// the post-edge, the last about 60 eV above the edge.
inline QVector<double> sparse(double edge, int n)
{
    n = std::max(12, std::min(18, n));
    const int pre = n >= 15 ? 4 : 3;
    const int post = n >= 18 ? 3 : n >= 15 ? 3 : 2;
    const int mid = n - pre - post;
    QVector<double> g;
    const double preAt[] = {-40, -30, -20, -12};
    for (int i = 4 - pre; i < 4; ++i) g << edge + preAt[i];
    // Edge points from 6 eV below to 14 eV above, spaced unevenly.
    for (int i = 0; i < mid; ++i) {
        const double t = double(i) / std::max(1, mid - 1);
        g << edge - 6 + 20 * t * t * 0.4 + 20 * t * 0.6;
    }
    const double postAt[] = {30, 45, 60};
    for (int i = 3 - post; i < 3; ++i) g << edge + postAt[i];
    std::sort(g.begin(), g.end());
    return g;
}

// The part of a grid from `below` to `above` eV about the edge.
inline QVector<double> window(const QVector<double>& g, double edge, double below, double above)
{
    QVector<double> out;
    for (double E : g)
        if (E >= edge + below - 1e-9 && E <= edge + above + 1e-9) out << E;
    return out;
}

// The part of a grid the scan covers.
inline QVector<double> within(const QVector<double>& g, const Spectrum& s)
{
    QVector<double> out;
    if (s.size() < 2) return out;
    for (double E : g)
        if (E >= s.xAt(0) - 1e-9 && E <= s.xAt(s.size() - 1) + 1e-9) out << E;
    return out;
}

// The scan finely sampled (every `step` eV) over the span of a grid: what
// the grid's numbers are checked against.
inline Spectrum fineOver(const Spectrum& s, const QVector<double>& g, double step = 0.1)
{
    return edges::resampled(s, uniform(g.first(), g.last(), step));
}

// The scan read at the grid's energies that it covers.
inline Spectrum on(const Spectrum& s, const QVector<double>& g) { return edges::resampled(s, within(g, s)); }

// The grids of the matrix, by name, for a scan with this edge over [from, to].
struct Grid
{
    QString name;
    QVector<double> energies;
};

inline QVector<Grid> matrix(double edge, double from, double to)
{
    QVector<Grid> out;
    for (double step : {0.5, 1.0, 2.0, 3.0, 4.0})
        for (double offset : {0.0, 0.37 * step})
            out << Grid{QString("uniform %1 eV +%2").arg(step).arg(offset), uniform(from, to, step, offset)};
    out << Grid{"TXM 1 eV", txm(edge, from, to, 1)};
    out << Grid{"TXM 0.5 eV", txm(edge, from, to, 0.5)};
    out << Grid{"XANES -60/+140, 1 eV", window(uniform(from, to, 1), edge, -60, 140)};
    out << Grid{"short -27/+53, 1 eV", window(uniform(from, to, 1), edge, -27, 53)};
    for (int n : {12, 14, 18}) out << Grid{QString("%1 energies").arg(n), sparse(edge, n)};
    return out;
}

// Point i read with those of its four nearest neighbours within 0.75 eV, at
// their mean energy E: how the crossing reads the points, so a repeated
// energy stands for one.
inline double localRead(const Spectrum& s, int i, double& E)
{
    double sx = 0, sy = 0;
    int n = 0;
    for (int j = std::max(0, i - 2); j <= std::min(s.size() - 1, i + 2); ++j)
        if (std::fabs(s.xAt(j) - s.xAt(i)) <= 0.75) sx += s.xAt(j), sy += s.yAt(j), ++n;
    E = sx / n;
    return sy / n;
}

}  // namespace grids

#endif
