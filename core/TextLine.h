#ifndef TEXTLINE_H
#define TEXTLINE_H

#include <QString>
#include <QTextStream>

// Longest line a list of numbers may hold. A file without line breaks (a
// device such as /dev/zero, a binary file) would otherwise be read whole as
// one line until memory runs out.
constexpr int maxTextLineChars = 1 << 20;

// The next line of in; false, line empty, when it is longer than
// maxTextLineChars (the stream then stands inside that line).
inline bool readTextLine(QTextStream& in, QString& line)
{
    line = in.readLine(qint64(maxTextLineChars) + 1);
    if (line.size() <= maxTextLineChars) return true;
    line.clear();
    return false;
}

#endif
