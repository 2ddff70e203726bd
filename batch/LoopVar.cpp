#include "LoopVar.h"

#include <QtGlobal>

#include <limits>

#include "core/InputBounds.h"

bool LoopVar::fits(const QString& text)
{
    if (!InputBounds::isInteger(text))
        return true;  // no integer at all: counts as 0
    bool ok = false;
    text.trimmed().toLongLong(&ok, 10);
    return ok;
}

int LoopVar::next(int line)
{
    // 64-bit, as other integers of a script are read.
    const qint64 s = InputBounds::integerOf(start);
    const qint64 e = InputBounds::integerOf(end);
    const qint64 c = InputBounds::integerOf(current);
    qint64 st = step.isEmpty() ? 1 : InputBounds::integerOf(step);
    if (st == 0)
        st = 1;
    // The bounds give the direction; a step written with the other sign would
    // carry the value away from the end for ever, so only its size counts.
    st = st == std::numeric_limits<qint64>::min() ? std::numeric_limits<qint64>::max() : qAbs(st);

    // A value that would leave the 64-bit range has passed the end.
    qint64 n;
    bool finished;
    if (s >= e)
        finished = __builtin_sub_overflow(c, st, &n) || n < e;
    else
        finished = __builtin_add_overflow(c, st, &n) || n > e;
    // A current value outside the bounds (never set by the loop itself) ends it too.
    if (finished || n < qMin(s, e) || n > qMax(s, e))
        return line;
    current = formatValue(n);
    return forLine;
}

QString LoopVar::formatValue(qint64 v) const
{
    const bool negative = v < 0;
    // The magnitude of the smallest value has no positive qint64.
    QString digits = QString::number(negative ? 0 - quint64(v) : quint64(v));
    if (start.size() >= 2 && start.startsWith(QLatin1Char('0'))) {
        // The sign takes one place of the written width.
        const int width = start.size() - (negative ? 1 : 0);
        if (digits.size() < width)
            digits = QString(width - digits.size(), QLatin1Char('0')) + digits;
    }
    return negative ? QLatin1Char('-') + digits : digits;
}
