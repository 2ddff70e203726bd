#ifndef SUPPORT_ANGLELISTS_H
#define SUPPORT_ANGLELISTS_H

#include <QString>
#include <QStringList>
#include <QVector>

#include <cmath>

#include "support/Files.h"

// A Cu K quick scan whose frames are named without an energy (scan_00.tif
// ...), and the monochromator's angles of its points as a reference list
// gives them: one angle a line in degrees below a header line, read back
// from the encoder to six decimals.
namespace anglelist {

constexpr double hc = 12398.424360387684, D = 3.13553;

inline double energyOfAngle(double deg) { return hc / (2 * D * std::sin(deg / 180 * 3.1415926535)); }
inline double angleOfEnergy(double e) { return std::asin(hc / (2 * D * e)) * 180 / 3.1415926535; }

// The angle of energy e as the list writes it.
inline QString angleText(double e) { return QString::number(angleOfEnergy(e), 'f', 6); }

// 61 points: 3 eV steps below the edge, 0.8 eV through it, 2.5 eV above,
// with the jitter of a scan that does not land on its set points.
inline QVector<double> quickScan()
{
    QVector<double> e;
    for (int k = 0; k < 10; ++k) e << 8940 + 3.0 * k;
    for (int k = 0; k < 30; ++k) e << 8970 + 0.8 * k;
    for (int k = 0; k < 21; ++k) e << 8995 + 2.5 * k;
    for (int k = 0; k < e.size(); ++k) e[k] += 0.013 * std::sin(7.1 * k);
    // What the frames really had: the energies of the angles as written.
    for (double& v : e) v = energyOfAngle(angleText(v).toDouble());
    return e;
}

// Cu foil-like absorption and a beam that changes fast with energy, so that a
// frame labelled with its neighbour's energy is seen in mu.
inline double mu(double e) { return 0.3 + 0.8 * (0.5 + std::atan((e - 8979.0) / 2.0) / M_PI); }
inline double beam(double e) { return 20000.0 + 6000.0 * std::sin((e - 8950.0) / 6.0); }

inline QString scanName(int k) { return QString("scan_%1.tif").arg(k, 2, 10, QChar('0')); }

// Frames of I1 (transmitted) or I0 (incident) at energies e into dir, named
// scan_NN.tif or, with tag, by their energy; the paths in scan order.
inline QStringList writeFrames(const QString& dir, const QVector<double>& e, bool i1, const QString& tag = QString())
{
    QStringList files;
    for (int k = 0; k < e.size(); ++k) {
        files << dir + "/" + (tag.isEmpty() ? scanName(k) : ts::energyName(tag, e[k]));
        const double counts = i1 ? beam(e[k]) * std::exp(-mu(e[k])) : beam(e[k]);
        if (!ts::writeTiff(files.last(), 6, 5, [&](int, int) { return counts; })) return QStringList();
    }
    return files;
}

// A list file: header, then the lines as given.
inline bool writeList(const QString& path, const QStringList& lines)
{
    return ts::writeText(path, "angle(deg)\n" + lines.join('\n') + "\n");
}

// The angle lines of energies e[from, to).
inline QStringList angleLines(const QVector<double>& e, int from, int to)
{
    QStringList l;
    for (int k = from; k < to; ++k) l << angleText(e[k]);
    return l;
}

}  // namespace anglelist

#endif
