#include "LoopVar.h"

#include <QtGlobal>

int LoopVar::next(int line)
{
    const qint64 s = start.toInt();
    const qint64 e = end.toInt();
    const qint64 c = current.toInt();
    qint64 st = step.isEmpty() ? 1 : step.toInt();
    if (st == 0)
        st = 1;
    // The bounds give the direction; a step written with the other sign would
    // carry the value away from the end for ever, so only its size counts.
    st = qAbs(st);

    // 64-bit: the stepped value may pass the end by up to a whole step.
    qint64 n;
    bool finished;
    if (s >= e) {
        n = c - st;
        finished = n < e;
    } else {
        n = c + st;
        finished = n > e;
    }
    // A current value outside the bounds (never set by the loop itself) ends it too.
    if (finished || n < qMin(s, e) || n > qMax(s, e))
        return line;
    current = formatValue(static_cast<int>(n));
    return forLine;
}

QString LoopVar::formatValue(int v) const
{
    const bool negative = v < 0;
    QString digits = QString::number(qAbs(static_cast<qint64>(v)));
    if (start.size() >= 2 && start.startsWith(QLatin1Char('0'))) {
        // The sign takes one place of the written width.
        const int width = start.size() - (negative ? 1 : 0);
        if (digits.size() < width)
            digits = QString(width - digits.size(), QLatin1Char('0')) + digits;
    }
    return negative ? QLatin1Char('-') + digits : digits;
}
