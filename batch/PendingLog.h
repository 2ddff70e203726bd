#ifndef PENDINGLOG_H
#define PENDINGLOG_H

#include <QString>

#include <deque>

// Log text that a window has not shown yet, joined as the log joins texts
// (each on a line of its own; one ending in a line break leaves the next
// line open), holding at most its newest maxLines lines however much comes.
class PendingLog {
public:
    explicit PendingLog(int maxLines) : maxLines(maxLines) {}

    void add(const QString& text);
    void clear();
    bool isEmpty() const { return lines.empty(); }
    // Lines that went for the bound since the last clear.
    qint64 dropped() const { return droppedLines; }
    // The first text added since the last clear, while none of its lines went.
    QString first() const
    {
        return droppedLines > 0 ? QString() : joined(0, firstLines) + (firstEndsWithBreak ? QStringLiteral("\n") : QString());
    }
    // What came after it.
    QString rest() const { return droppedLines > 0 ? all() : joined(firstLines, int(lines.size())); }
    QString all() const { return joined(0, int(lines.size())); }

private:
    QString joined(int from, int to) const;

    int maxLines;
    // The texts' lines; an open last line is an empty one.
    std::deque<QString> lines;
    int firstLines = 0;
    bool firstEndsWithBreak = false;
    qint64 droppedLines = 0;
};

#endif
