#include "LoopVar.h"

#include <QtGlobal>

#include <algorithm>
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

void LoopTable::clear()
{
    recs.clear();
    freeRecs.clear();
    byName.clear();
    tokens.clear();
    tokenIndex.clear();
    holders.clear();
    finder = KeyFinder();
}

LoopVar* LoopTable::find(const QString& name)
{
    const auto it = byName.constFind(name);
    return it == byName.constEnd() ? nullptr : &recs[size_t(*it)].loop;
}

void LoopTable::remove(const QString& name)
{
    const auto it = byName.find(name);
    if (it == byName.end())
        return;
    Rec& r = recs[size_t(*it)];
    if (r.token >= 0)
        holders[size_t(r.token)].erase(r.order);
    r.loop = LoopVar();
    freeRecs.push_back(*it);
    byName.erase(it);
}

void LoopTable::append(const LoopVar& loop)
{
    int at;
    if (freeRecs.empty()) {
        at = int(recs.size());
        recs.emplace_back();
    } else {
        at = freeRecs.back();
        freeRecs.pop_back();
    }
    Rec& r = recs[size_t(at)];
    r.loop = loop;
    r.order = nextOrder++;
    r.token = -1;
    if (!loop.token.isEmpty()) {
        auto t = tokenIndex.constFind(loop.token);
        if (t == tokenIndex.constEnd()) {
            t = tokenIndex.insert(loop.token, tokens.size());
            tokens << loop.token;
            holders.emplace_back();
        }
        r.token = *t;
        holders[size_t(r.token)].emplace(r.order, at);
    }
    byName.insert(loop.name, at);
}

QVector<LoopVar> LoopTable::inOrder() const
{
    std::vector<const Rec*> live;
    for (int at : byName)
        live.push_back(&recs[size_t(at)]);
    std::sort(live.begin(), live.end(), [](const Rec* a, const Rec* b) { return a->order < b->order; });
    QVector<LoopVar> out;
    for (const Rec* r : live)
        out << r->loop;
    return out;
}

SubstResult LoopTable::substitute(QString& text, qint64 maxSize, const std::atomic<bool>* stop)
{
    if (tokens.isEmpty())
        return SubstResult::Done;
    finder.sync(tokens);
    // The loops whose tokens do not occur replace nothing: the first one in
    // order whose token occurs is the next to change the text.
    for (qint64 after = -1;;) {
        qint64 best = -1;
        int bestRec = -1;
        const bool whole = finder.eachFound(text, tokens.size(), [&](int token) {
            const std::map<qint64, int>& h = holders[size_t(token)];
            const auto it = h.upper_bound(after);
            if (it != h.end() && (best < 0 || it->first < best)) {
                best = it->first;
                bestRec = it->second;
            }
        }, stop);
        if (!whole)
            return SubstResult::Stopped;
        if (bestRec < 0)
            return SubstResult::Done;
        const LoopVar& loop = recs[size_t(bestRec)].loop;
        const SubstResult r = replaceEvery(text, loop.token, loop.current, maxSize, stop);
        if (r != SubstResult::Done)
            return r;
        after = best;
    }
}
