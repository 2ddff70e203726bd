#ifndef SUPPORT_STACKFILES_H
#define SUPPORT_STACKFILES_H

#include "core/TiffWriter.h"
#include "mainwindow/Body.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

// Stacks written as 16-bit TIFF files and loaded into a main window the way
// the file selectors and the batch commands load them.
namespace ts {

using Pixels = std::function<double(int c, int r)>;

// A file name carrying energy e in the default name pattern, e.g.
// "i1_08950_2500.tif" for 8950.25 eV.
inline QString energyName(const QString& tag, double e)
{
    const int whole = int(e);
    const int frac = int(std::lround((e - whole) * 10000));
    return QString("%1_%2_%3.tif").arg(tag).arg(whole, 5, 10, QChar('0')).arg(frac, 4, 10, QChar('0'));
}

inline bool writeTiff16(const QString& path, int w, int h, const Pixels& px)
{
    std::vector<uint16_t> s(size_t(w) * size_t(h));
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            s[size_t(r) * size_t(w) + size_t(c)] = uint16_t(std::clamp(std::lround(px(c, r)), 0L, 65535L));
    QDir().mkpath(QFileInfo(path).absolutePath());
    return TiffWriter().write16(path, uint32_t(w), h, s.data());
}

// Loads files as a new stack and waits until the window has handled the
// completion; false on time-out.
inline bool loadFiles(Body& b, const QStringList& files, bool i1)
{
    QSignalSpy done(&b, &Body::finishBatchExec);
    if (i1)
        b.readI1Files(files, true);
    else
        b.readI0Files(files, true);
    QElapsedTimer t;
    t.start();
    while (done.isEmpty() && t.elapsed() < 20000) done.wait(100);
    // The window's own completion slot runs after the batch signal.
    QTest::qWait(20);
    QCoreApplication::processEvents();
    return !done.isEmpty();
}

}  // namespace ts

#endif
