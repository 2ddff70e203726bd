#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

// What every harness needs: a quiet Qt, an application object, and the input
// as a file under a fixed name in a private folder that is also the current
// directory (so a configuration may INCLUDE itself by that name).

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
        return new QCoreApplication(argc, argv);
    }();
    (void)app;
    static QTemporaryDir dir;
    static const bool entered = QDir::setCurrent(dir.path());
    (void)entered;
    return dir;
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
