#ifndef SUPPORT_HEADLESS_H
#define SUPPORT_HEADLESS_H

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The program itself run without a screen, as an unattended script runs it.
namespace ts {

struct ProgramRun
{
    bool ended = false;
    QProcess::ExitStatus status = QProcess::CrashExit;
    int code = -1;
    QByteArray err;  // standard error, or both channels when merged
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

}  // namespace ts

#endif
