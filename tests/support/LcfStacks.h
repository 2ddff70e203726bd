#ifndef SUPPORT_LCFSTACKS_H
#define SUPPORT_LCFSTACKS_H

// Stacks made from the measured spectra of one element, mixed in known
// shares, on the energy grids users measure; and the fractions the fits give
// for them against the truth.

#include <QString>
#include <QStringList>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <random>

#include "analysis/LcfFit.h"
#include "core/XafsSpectrum.h"
#include "support/EnergyGrids.h"
#include "support/MeasuredRefs.h"

namespace lcfstacks {

// The phases of one element that a user fits a stack with.
struct Set
{
    QString name;
    QStringList files;
};

inline QVector<Set> sets()
{
    return {
        {"Fe metal/Fe2O3", {"fe_metal_rt.dat", "fe2o3_rt.dat"}},
        {"Fe foil/Fe2O3", {"fe_foil_rt.dat", "fe2o3_rt.dat"}},
        {"Cu foil/CuO/Cu2S", {"cu_foil_rt.dat", "cuo_tenorite_13K.dat", "cu2s_13K.dat"}},
        {"ZnO/ZnS/ZnSO4", {"zno_rt.dat", "zns_sphalerite_rt.dat", "znso4_rt.dat"}},
        {"Ni metal/Ni(OH)2", {"ni_metal_rt.dat", "ni_oh2_rt.dat"}},
        {"MnO/MnO2", {"mno_rt.dat", "mno2_rt.dat"}},
    };
}

// A set's phases as measured (each less its lowest value: a sample's mu is
// positive), with their references as a row normalises them, over their
// whole scans with straight lines.
struct Phases
{
    QVector<Spectrum> mu;
    QVector<XafsSpectrum> refs;
    QVector<double> jumps;  // each reference's own jump
    double from = -1e300, to = 1e300, edge = 0;

    explicit Phases(const Set& set)
    {
        for (const QString& f : set.files) {
            XafsSpectrum r = measured::reference(measured::file(f));
            Spectrum s;
            s.points = r.points;
            double low = 1e300;
            for (const QPointF& q : s.points) low = std::min(low, q.y());
            for (QPointF& q : s.points) q.setY(q.y() - low);
            mu << s;
            jumps << r.dMut;
            refs << r;
            if (!r.isEmpty()) {
                from = std::max(from, r.points.first().x());
                to = std::min(to, r.points.last().x());
            }
            for (const grids::Scan& sc : grids::scans())
                if (sc.file == f) edge += sc.edge / set.files.size();
        }
    }
    bool ok() const
    {
        for (int j = 0; j < refs.size(); ++j)
            if (refs[j].isEmpty() || refs[j].refused() || !(jumps[j] > 0)) return false;
        return !refs.isEmpty() && from < to;
    }
    QVector<LcfRefSnapshot> snapshots() const
    {
        QVector<LcfRefSnapshot> out;
        for (const XafsSpectrum& r : refs) out << LcfRefSnapshot::of(r, true, 0);
        return out;
    }
    // mu of a sample holding `shares` of the phases, counted in their edge
    // steps, with jump J on a falling matrix; photon noise for counts > 0.
    Spectrum sample(const QVector<double>& shares, const QVector<double>& energies, double counts = 0,
                    unsigned seed = 1, double J = 1.2) const
    {
        std::mt19937 g(seed);
        std::normal_distribution<double> n(0, 1);
        Spectrum s;
        for (double E : energies) {
            double m = 0.4 * std::pow(edge / E, 3);
            for (int j = 0; j < shares.size(); ++j) m += J * shares[j] * mu[j].y(E) / jumps[j];
            if (counts > 0) {
                const double i = counts * std::exp(-m);
                m = std::log(counts / std::max(1.0, i + std::sqrt(i) * n(g)));
            }
            s.append(E, m);
        }
        return s;
    }
    XafsSpectrum block(const QVector<double>& shares, const QVector<double>& energies, double counts = 0,
                       unsigned seed = 1) const
    {
        return XafsSpectrum(sample(shares, energies, counts, seed), "block", 1, 0, SuggestElm());
    }
};

// Pure phases, 50:50 and 25:75 of every pair, and for three phases a third
// of each and 0.5 / 0.3 / 0.2.
inline QVector<QVector<double>> samples(int m)
{
    QVector<QVector<double>> out;
    for (int j = 0; j < m; ++j) {
        QVector<double> s(m, 0.0);
        s[j] = 1;
        out << s;
    }
    for (int a = 0; a < m; ++a)
        for (int b = a + 1; b < m; ++b)
            for (double fa : {0.5, 0.25}) {
                QVector<double> s(m, 0.0);
                s[a] = fa;
                s[b] = 1 - fa;
                out << s;
            }
    if (m == 3) out << QVector<double>{1.0 / 3, 1.0 / 3, 1.0 / 3} << QVector<double>{0.5, 0.3, 0.2};
    return out;
}

// The half a sample belongs to: that of the scan of its largest share.
inline bool inTuningHalf(const Set& set, const QVector<double>& shares)
{
    const int main = int(std::max_element(shares.begin(), shares.end()) - shares.begin());
    for (const grids::Scan& s : grids::tuningHalf())
        if (s.file == set.files[main]) return true;
    return false;
}

// The grids of the LCF table: the whole common span at 1 eV, the XANES
// windows and the sparse lists, all within the phases' scans.
inline QVector<grids::Grid> lcfGrids(const Phases& p)
{
    const QVector<double> full = grids::uniform(std::ceil(p.from), std::floor(p.to), 1);
    auto inside = [&p](const QVector<double>& g) {
        QVector<double> out;
        for (double E : g)
            if (E >= p.from && E <= p.to) out << E;
        return out;
    };
    return {
        {"full", full},
        {"XANES -60/+140", grids::window(full, p.edge, -60, 140)},
        {"short -27/+53", grids::window(full, p.edge, -27, 53)},
        {"18 energies", inside(grids::sparse(p.edge, 18))},
        {"14 energies", inside(grids::sparse(p.edge, 14))},
        {"12 energies", inside(grids::sparse(p.edge, 12))},
    };
}

// Errors of the fractions of a sample against its shares; a fit that gave
// none counts apart.
struct Tally
{
    double sum = 0, worst = 0;
    int fractions = 0, fits = 0, flagged = 0, noJump = 0;
    QString worstAt;
    void add(const LcfResult& r, const QVector<double>& shares, const QString& what)
    {
        ++fits;
        // The block itself has no edge: not the fit's doing.
        if (r.status == LcfResult::ZeroJump) {
            ++noJump;
            return;
        }
        if (r.status != LcfResult::Fitted) {
            ++flagged;
            return;
        }
        for (int j = 0; j < shares.size(); ++j) {
            const double e = std::fabs(r.fractions.value(r.rows.indexOf(j)) - shares[j]);
            sum += e;
            ++fractions;
            if (!(e <= worst)) {
                worst = e;
                worstAt = what;
            }
        }
    }
    double mean() const { return fractions > 0 ? sum / fractions : 0.0; }
};

}  // namespace lcfstacks

#endif
