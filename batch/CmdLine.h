#ifndef CMDLINE_H
#define CMDLINE_H

#include <QMetaType>
#include <QString>
#include <QStringList>

// One parsed batch line. The interpreter stores the joined raw line in `line`
// and parses it with setLine; the executor reads the arguments with arg().
class CmdLine {
public:
    bool valid = false;
    QString line;
    QString text;
    bool isLabel = false;
    QString word;
    QStringList args;
    // Line number in the script it came with, from 1; 0 when unknown.
    int lineNo = 0;

    void clear();
    void setLine(QString line);
    QString arg(int i) const;
};

Q_DECLARE_METATYPE(CmdLine)

// Joins the physical line at curLine with the lines that follow it, up to end
// (exclusive; the whole list when negative), while the text ends in a
// backslash (cut with the blanks after it; no separator added). curLine ends
// on the last line taken: a continuation asked for by the last line before
// end is dropped, so the line at end is never part of the join.
QString joinContinuedLines(const QStringList& lines, int& curLine, int end = -1);

#endif
