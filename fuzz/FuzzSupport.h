#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

// What every harness needs: a quiet Qt, an application object, the colour
// tables the program sets up at start, and the input as a file under a fixed
// name in a private folder.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/Globals.h"

#include <cstddef>
#include <cstdint>

namespace fuzz {

inline void dropMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

inline QTemporaryDir& folder()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = [] {
        qInstallMessageHandler(dropMessages);
        auto* a = new QCoreApplication(argc, argv);
        initColorTables();
        return a;
    }();
    (void)app;
    static QTemporaryDir dir;
    return dir;
}

// Makes the folder the current directory, so that relative names in the
// input (a configuration's INCLUDE of itself) reach the input. The corpus
// folders given to such a harness must then be absolute paths.
inline void enterFolder()
{
    static const bool entered = QDir::setCurrent(folder().path());
    (void)entered;
}

// Writes the input to `name` in the folder and returns its path.
inline QString inputFile(const uint8_t* data, size_t size, const char* name)
{
    const QString path = folder().filePath(QLatin1String(name));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    return path;
}

}  // namespace fuzz

#endif
