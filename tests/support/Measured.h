#ifndef SUPPORT_MEASURED_H
#define SUPPORT_MEASURED_H

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include "core/Spectrum.h"

// Spectra measured at beamlines, kept in tests/data: two columns (energy in
// eV, rising; mu) after a header line naming where the scan comes from.
namespace measured {

// The full path of a file of tests/data; empty when it cannot be found.
inline QString dataPath(const QString& name)
{
    // The compiler may have been handed this header's path relative to its
    // build folder (a compiler cache does that), which the test runs in too;
    // otherwise the data lies above the test program's own folder.
    const QString here = QFileInfo(QString::fromUtf8(__FILE__)).absolutePath();
    const QString beside = here + "/../data/" + name;
    if (QFileInfo::exists(beside)) return QFileInfo(beside).absoluteFilePath();
    for (QDir d(QCoreApplication::applicationDirPath());; ) {
        const QString f = d.filePath("tests/data/" + name);
        if (QFileInfo::exists(f)) return f;
        if (!d.cdUp()) break;
    }
    return QString();
}

// The scan of a file of tests/data; empty when it is missing or unreadable.
inline Spectrum load(const QString& name)
{
    Spectrum s;
    QFile f(dataPath(name));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return s;
    QTextStream in(&f);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QStringList v = line.split(' ', Qt::SkipEmptyParts);
        bool okE = false, okMu = false;
        const double E = v.value(0).toDouble(&okE), mu = v.value(1).toDouble(&okMu);
        if (v.size() != 2 || !okE || !okMu) return Spectrum();
        s.append(E, mu);
    }
    return s;
}

}  // namespace measured

#endif
