#ifndef SUPPORT_MESSAGES_H
#define SUPPORT_MESSAGES_H

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Catches the debug and warning lines written while it lives.
namespace ts {

struct MessageLog
{
    QStringList lines;
    QtMessageHandler previous;

    static MessageLog*& current()
    {
        static MessageLog* c = nullptr;
        return c;
    }
    MessageLog()
    {
        current() = this;
        previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
            if (current()) current()->lines.append(m);
        });
    }
    ~MessageLog()
    {
        qInstallMessageHandler(previous);
        current() = nullptr;
    }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    bool has(const QString& part) const
    {
        for (const QString& l : lines)
            if (l.contains(part)) return true;
        return false;
    }
};

}  // namespace ts

#endif
