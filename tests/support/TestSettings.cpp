// Every test executable keeps its Qt settings (window geometry, file-dialog
// history) in a directory of its own, so the user's settings file is never
// rewritten and parallel tests do not share one.
#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

void useTestSettings()
{
    static QTemporaryDir dir;
    QStandardPaths::setTestModeEnabled(true);
    for (auto f : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(f, QSettings::UserScope, dir.path());
        QSettings::setPath(f, QSettings::SystemScope, dir.path() + "/system");
    }
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(useTestSettings)
