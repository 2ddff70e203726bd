#include "BatchLog.h"

#include <QCoreApplication>
#include <QStringList>

#include <atomic>
#include <cstdio>

namespace {
std::atomic<bool> copyOn{false};
}

namespace BatchLog {

QString shown(const QString& text)
{
    if (text.size() <= maxShownLine)
        return text;
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.size() > maxShownLine)
            line = QCoreApplication::translate("BatchCtrl", "%1… (%2 more characters not shown)")
                       .arg(line.left(maxShownLine), QString::number(line.size() - maxShownLine));
    }
    return lines.join(QLatin1Char('\n'));
}

void setToStandardError(bool on)
{
    copyOn = on;
}

bool toStandardError()
{
    return copyOn;
}

void write(const QString& text)
{
    if (!copyOn || text.isEmpty())
        return;
    QByteArray bytes = text.toUtf8();
    if (!bytes.endsWith('\n'))
        bytes += '\n';
    // One call per text: lines of the two threads do not interleave.
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    fflush(stderr);
}

}  // namespace BatchLog
