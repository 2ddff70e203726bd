#ifndef SUPPORT_HEADLESS_H
#define SUPPORT_HEADLESS_H

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "support/Files.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// The program itself run without a screen, as an unattended script runs it.
namespace ts {

struct ProgramRun
{
    bool ended = false;
    QProcess::ExitStatus status = QProcess::CrashExit;
    int code = -1;
    QByteArray err;  // standard error, or both channels when merged
    bool endedWith(int c) const { return ended && status == QProcess::NormalExit && code == c; }
};

inline ProgramRun runProgram(const QString& bin, const QStringList& args, int ms,
                             const QString& workDir = QString(), bool merged = false)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    if (merged) p.setProcessChannelMode(QProcess::MergedChannels);
    if (!workDir.isEmpty()) p.setWorkingDirectory(workDir);
    p.start(bin, args);
    ProgramRun r;
    if (!p.waitForStarted(10000)) return r;
    r.ended = p.waitForFinished(ms);
    r.err = merged ? p.readAll() : p.readAllStandardError();
    if (!r.ended) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.status = p.exitStatus();
    r.code = p.exitCode();
    return r;
}

#ifdef CORVENLITH_BIN
// The program (or another, e.g. a shell that starts it) run headless with
// ARGS, its standard error into errFile (a file or a named pipe), standard
// output dropped.
inline void startOffscreen(QProcess& p, const QString& errFile, const QStringList& args,
                           const QString& program = CORVENLITH_BIN)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setStandardErrorFile(errFile);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
}

// SCRIPT run headless from DIR as DIR/run.bat, with DIR/run.cfg giving DataRoot DIR and then cfgLines;
// merged: standard output in err too.
inline ProgramRun runHeadless(const QString& dir, const QString& script, int ms = 60000, const QString& cfgLines = QString(),
                              bool merged = false)
{
    const QString bat = dir + "/run.bat", cfg = dir + "/run.cfg";
    if (!writeText(bat, script) || !writeText(cfg, "DataRoot " + dir + "\n" + cfgLines)) return ProgramRun();
    return runProgram(CORVENLITH_BIN, {"-c", cfg, "-e", "-b", bat, "-x"}, ms, dir, merged);
}
#endif

#ifdef Q_OS_UNIX
// A pipe whose reader never reads: a named pipe held open for reading, so a
// program writing into it fills it and then waits, as behind "| sleep 60".
struct StalledReader
{
    QString path;
    int fd = -1;
    // pipeBytes: the pipe's size when not the system's (at least a page).
    explicit StalledReader(const QString& p, int pipeBytes = 0) : path(p)
    {
        ::unlink(qPrintable(path));
        if (::mkfifo(qPrintable(path), 0600) == 0) fd = ::open(qPrintable(path), O_RDONLY | O_NONBLOCK);
#ifdef F_SETPIPE_SZ
        if (fd >= 0 && pipeBytes > 0 && ::fcntl(fd, F_SETPIPE_SZ, pipeBytes) < 0) {
            ::close(fd);
            fd = -1;
        }
#endif
    }
    ~StalledReader()
    {
        if (fd >= 0) ::close(fd);
        ::unlink(qPrintable(path));
    }
    bool ok() const { return fd >= 0; }
    // Bytes written and not taken.
    int held() const
    {
        int n = 0;
        return ::ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
    }
    // Fills the pipe, so that the program's first write to it waits.
    bool fill() const
    {
        const int w = ::open(qPrintable(path), O_WRONLY | O_NONBLOCK);
        if (w < 0) return false;
        const QByteArray filler(4096, 'f');
        while (::write(w, filler.constData(), size_t(filler.size())) > 0) {
        }
        // Then byte by byte: not even a short line fits.
        while (::write(w, "f", 1) > 0) {
        }
        ::close(w);
        return true;
    }
    // At most bytes (up to 4096) of what the pipe holds now.
    QByteArray take(int bytes) const
    {
        char buf[4096];
        const ssize_t n = ::read(fd, buf, size_t(qBound(0, bytes, int(sizeof buf))));
        return n > 0 ? QByteArray(buf, int(n)) : QByteArray();
    }
    // What the pipe holds now, taken at last.
    QByteArray drain() const
    {
        QByteArray all;
        char buf[4096];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) all.append(buf, int(n));
        return all;
    }
};

// Whether the main thread of process pid waits to write into a full pipe (Linux).
inline bool waitsOnPipe(qint64 pid)
{
    QFile f(QString("/proc/%1/wchan").arg(pid));
    return f.open(QIODevice::ReadOnly) && f.readAll().contains("pipe");
}
#endif

// The sanitizer keeps freed memory aside (256 MB by default) before reusing
// it: memory bounds allow for it.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 sanitizerSlackKb = 300 * 1024;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr qint64 sanitizerSlackKb = 300 * 1024;
#else
constexpr qint64 sanitizerSlackKb = 0;
#endif
#else
constexpr qint64 sanitizerSlackKb = 0;
#endif

// Resident memory of a running process in kB (Linux), -1 when unknown.
inline qint64 residentKb(qint64 pid)
{
    QFile f(QString("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith("VmRSS:")) return l.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

}  // namespace ts

#endif
