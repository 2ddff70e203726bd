#ifndef SUPPORT_MEASUREDSPECTRA_H
#define SUPPORT_MEASUREDSPECTRA_H

// Measured spectra as published (tests/data; each file's first line names its
// source): two columns, energy in eV and mu.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include "core/Spectrum.h"

namespace measured {

// The full path of tests/data/name; empty when it cannot be found.
inline QString file(const QString& name)
{
    // The compiler may have been handed this header's path relative to its
    // build folder (a compiler cache does that), which the test runs in too;
    // otherwise the data lies above the test program's own folder.
    const QString beside = QFileInfo(QString::fromUtf8(__FILE__)).absolutePath() + "/../data/" + name;
    if (QFileInfo::exists(beside)) return QFileInfo(beside).absoluteFilePath();
    for (QDir d(QCoreApplication::applicationDirPath());;) {
        const QString f = d.filePath("tests/data/" + name);
        if (QFileInfo::exists(f)) return f;
        if (!d.cdUp()) break;
    }
    return QString();
}

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
