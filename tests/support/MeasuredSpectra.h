#ifndef SUPPORT_MEASUREDSPECTRA_H
#define SUPPORT_MEASUREDSPECTRA_H

// Measured spectra as published (tests/data; each file's first line names its
// source): two columns, energy in eV and mu.

#include <QFile>
#include <QString>
#include <QStringList>
#include <QtTest>

#include "core/Spectrum.h"

namespace measured {

// tests/data/name, found from the test binary in the build folder or from
// the source.
inline QString file(const char* name) { return QFINDTESTDATA(QString("../../tests/data/") + name); }

// Every line of the file that is not a comment: energy and mu. Empty when the
// file is missing, so a test that needs it fails on its own checks.
inline Spectrum spectrum(const QString& path)
{
    Spectrum s;
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly | QIODevice::Text)) return s;
    for (const QString& line : QString::fromLatin1(f.readAll()).split('\n')) {
        const QStringList c = line.simplified().split(' ');
        if (c.size() >= 2 && !line.startsWith('#')) s.append(c[0].toDouble(), c[1].toDouble());
    }
    return s;
}

inline QString feMicroXanesDropout() { return file("fe_k_microxanes_dropout_fy.dat"); }
inline QString sulfideSulfate() { return file("s_k_sulfide_sulfate_fy.dat"); }
inline QString cuo() { return file("cuo_tenorite_13K.dat"); }
inline QString cu2s() { return file("cu2s_13K.dat"); }
inline QString cuFoil() { return file("cu_foil_rt.dat"); }

}  // namespace measured

#endif
