#ifndef LOOPVAR_H
#define LOOPVAR_H

#include <QString>
#include <QtGlobal>

// One ":for" loop of a running script. Bounds and step are kept as written;
// they are read as 64-bit integers each time the loop steps.
class LoopVar {
public:
    QString name;
    int forLine = -1;  // last physical line of the ":for"
    QString token;
    QString start;
    QString end;
    QString current;
    QString step;

    // Steps the loop for the ":next" at `line`: returns forLine when the body
    // runs again (current then holds the new value), else `line`.
    int next(int line);
    // The value as text, zero-padded to the width of a start written with
    // leading zeros.
    QString formatValue(qint64 v) const;
    // Whether a bound or step as written reads as a 64-bit integer (a text
    // that is no integer counts as 0 and fits; a longer integer does not).
    static bool fits(const QString& text);
};

#endif
