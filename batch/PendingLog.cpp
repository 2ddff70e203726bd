#include "PendingLog.h"

#include <QVector>

void PendingLog::add(const QString& text)
{
    if (text.isEmpty())
        return;
    const bool firstText = lines.empty();
    if (!lines.empty() && lines.back().isEmpty()) {
        lines.pop_back();
        // The first text's line break now joins it to this one.
        if (int(lines.size()) < firstLines) {
            firstLines = int(lines.size());
            firstEndsWithBreak = true;
        }
    }
    const QVector<QStringRef> parts = text.splitRef(QLatin1Char('\n'));
    for (const QStringRef& part : parts)
        lines.push_back(part.toString());
    if (firstText)
        firstLines = int(lines.size());
    // An open last line is no line of the log yet.
    const size_t kept = size_t(maxLines) + (lines.back().isEmpty() ? 1 : 0);
    while (lines.size() > kept) {
        lines.pop_front();
        ++droppedLines;
    }
}

void PendingLog::clear()
{
    lines.clear();
    firstLines = 0;
    firstEndsWithBreak = false;
    droppedLines = 0;
}

QString PendingLog::joined(int from, int to) const
{
    QString text;
    for (int i = from; i < to; ++i) {
        if (i > from) text += QLatin1Char('\n');
        text += lines[size_t(i)];
    }
    return text;
}
