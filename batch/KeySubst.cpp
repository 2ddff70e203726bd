#include "KeySubst.h"

#include <algorithm>
#include <utility>

namespace {

// Characters passed between two looks at the stop flag.
constexpr int stopCheckEvery = 1 << 16;

bool asked(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

}  // namespace

SubstResult replaceEvery(QString& text, const QString& key, const QString& value, qint64 maxSize,
                         const std::atomic<bool>* stop)
{
    const int m = key.size();
    const int n = text.size();
    if (m == 0 || n < m)
        return SubstResult::Done;
    // Knuth-Morris-Pratt: a searcher that skips by the last character falls
    // back to text x key steps on "$$$...".
    const QChar* k = key.constData();
    std::vector<int> border(size_t(m), 0);
    for (int i = 1, b = 0; i < m; ++i) {
        while (b > 0 && k[i] != k[b])
            b = border[size_t(b - 1)];
        if (k[i] == k[b])
            ++b;
        border[size_t(i)] = b;
    }
    std::vector<int> starts;
    const QChar* t = text.constData();
    for (int i = 0, j = 0; i < n; ++i) {
        if ((i & (stopCheckEvery - 1)) == 0 && asked(stop))
            return SubstResult::Stopped;
        while (j > 0 && t[i] != k[j])
            j = border[size_t(j - 1)];
        if (t[i] == k[j] && ++j == m) {
            starts.push_back(i - m + 1);
            j = 0;  // the next occurrence begins after this one
        }
    }
    if (starts.empty())
        return SubstResult::Done;
    const qint64 size = n + qint64(starts.size()) * (value.size() - m);
    if (value.size() > m && size > maxSize)
        return SubstResult::TooLong;
    QString out;
    out.reserve(int(size));
    int from = 0;
    for (int s : starts) {
        out.append(t + from, s - from);
        out.append(value);
        from = s + m;
    }
    out.append(t + from, n - from);
    text = std::move(out);
    return SubstResult::Done;
}

void KeyFinder::Group::addEdge(int node, ushort c, int to)
{
    if (size_t(edgeCount + 1) * 2 > edgeKey.size()) {
        std::vector<quint64> oldKey(std::max<size_t>(64, edgeKey.size() * 2), 0);
        std::vector<int> oldTo(oldKey.size(), -1);
        oldKey.swap(edgeKey);
        oldTo.swap(edgeTo);
        const size_t mask = edgeKey.size() - 1;
        for (size_t j = 0; j < oldKey.size(); ++j) {
            if (oldKey[j] == 0)
                continue;
            size_t i = slotOf(oldKey[j], mask);
            while (edgeKey[i] != 0)
                i = (i + 1) & mask;
            edgeKey[i] = oldKey[j];
            edgeTo[i] = oldTo[j];
        }
    }
    const quint64 key = ((quint64(node) << 16) | c) + 1;
    const size_t mask = edgeKey.size() - 1;
    size_t i = slotOf(key, mask);
    while (edgeKey[i] != 0)
        i = (i + 1) & mask;
    edgeKey[i] = key;
    edgeTo[i] = to;
    ++edgeCount;
}

void KeyFinder::Group::build(const QStringList& keys, int from, int n)
{
    first = from;
    count = n;
    edgeKey.assign(64, 0);
    edgeTo.assign(64, -1);
    edgeCount = 0;
    std::fill(std::begin(rootChars), std::end(rootChars), 0);
    rootHigh = false;
    std::vector<int> parent{0}, depth{0};
    std::vector<ushort> via{0};
    keyAt.assign(1, -1);
    for (int i = from; i < from + n; ++i) {
        const QString& key = keys.at(i);
        if (key.isEmpty())
            continue;
        const ushort lead = key.at(0).unicode();
        if (lead < 256)
            rootChars[lead >> 6] |= quint64(1) << (lead & 63);
        else
            rootHigh = true;
        int node = 0;
        for (const QChar ch : key) {
            const ushort c = ch.unicode();
            int w = child(node, c);
            if (w < 0) {
                w = int(keyAt.size());
                addEdge(node, c, w);
                parent.push_back(node);
                depth.push_back(depth[size_t(node)] + 1);
                via.push_back(c);
                keyAt.push_back(-1);
            }
            node = w;
        }
        if (keyAt[size_t(node)] < 0)  // of two equal keys the first counts
            keyAt[size_t(node)] = i;
    }

    // Fail links by increasing depth: each needs only shallower nodes.
    const size_t nodes = keyAt.size();
    std::vector<int> byDepth(nodes);
    {
        int deepest = 0;
        for (int d : depth)
            deepest = std::max(deepest, d);
        std::vector<int> at(size_t(deepest) + 2, 0);
        for (int d : depth)
            ++at[size_t(d) + 1];
        for (size_t d = 1; d < at.size(); ++d)
            at[d] += at[d - 1];
        for (size_t v = 0; v < nodes; ++v)
            byDepth[size_t(at[size_t(depth[v])]++)] = int(v);
    }
    fail.assign(nodes, 0);
    out.assign(nodes, 0);
    for (size_t i = 1; i < nodes; ++i) {
        const int v = byDepth[i];
        const int p = parent[size_t(v)];
        const ushort c = via[size_t(v)];
        int f = 0;
        if (p != 0) {
            for (int s = fail[size_t(p)];; s = fail[size_t(s)]) {
                const int w = child(s, c);
                if (w >= 0) {
                    f = w;
                    break;
                }
                if (s == 0)
                    break;
            }
        }
        fail[size_t(v)] = f;
        out[size_t(v)] = keyAt[size_t(f)] >= 0 ? f : out[size_t(f)];
    }
    seen.assign(nodes, 0);
    round = 0;
}

void KeyFinder::sync(const QStringList& keys)
{
    if (keys.size() < taken) {
        groups.clear();
        taken = 0;
        innerGaps.clear();
        longestGap = 0;
        allMarked = true;
    }
    if (keys.size() == taken)
        return;
    const QChar mark(QLatin1Char('$'));
    for (int i = taken; i < keys.size(); ++i) {
        const QString& key = keys.at(i);
        if (key.size() < 2 || key.at(0) != mark || key.at(key.size() - 1) != mark) {
            allMarked = false;
            continue;
        }
        for (int a = 0, b = key.indexOf(mark, 1); b > 0; a = b, b = key.indexOf(mark, b + 1)) {
            innerGaps.insert(qHash(QStringView(key).mid(a + 1, b - a - 1)));
            longestGap = std::max(longestGap, b - a - 1);
        }
    }
    groups.emplace_back();
    groups.back().build(keys, taken, keys.size() - taken);
    taken = keys.size();
    // Like a binary counter: every key is rebuilt about log2(keys) times in
    // all, and a question asks that many automata.
    while (groups.size() >= 2 && groups.back().count >= groups[groups.size() - 2].count) {
        const int from = groups[groups.size() - 2].first;
        groups.pop_back();
        groups.back().build(keys, from, taken - from);
    }
}

template <class F>
int KeyFinder::Group::walk(const QString& text, const std::atomic<bool>* stop, F&& onKey)
{
    if (++round == 0) {
        std::fill(seen.begin(), seen.end(), 0);
        round = 1;
    }
    const QChar* t = text.constData();
    const int n = text.size();
    int s = 0;
    for (int i = 0; i < n; ++i) {
        if ((i & (stopCheckEvery - 1)) == 0 && asked(stop))
            return -1;
        const ushort c = t[i].unicode();
        if (s == 0 && !begins(c))
            continue;
        s = next(s, c);
        // Every key ending here, each node once per walk: a run of "$"
        // against keys of "$" only would otherwise walk the same chain at
        // every character.
        for (int u = keyAt[size_t(s)] >= 0 ? s : out[size_t(s)]; u != 0 && seen[size_t(u)] != round;
             u = out[size_t(u)]) {
            seen[size_t(u)] = round;
            if (onKey(keyAt[size_t(u)]))
                return 1;
        }
    }
    return 0;
}

int KeyFinder::firstAfter(const QString& text, int after, int limit, const std::atomic<bool>* stop)
{
    int best = -1;
    for (Group& g : groups) {
        const int hiOfGroup = g.first + g.count;
        if (hiOfGroup <= after + 1)
            continue;
        // Groups come in index order: a later one holds no lower key.
        if (g.first >= limit || (best >= 0 && g.first >= best))
            break;
        int hi = best >= 0 ? best : limit;
        const int r = g.walk(text, stop, [&](int k) {
            if (k > after && k < hi) {
                hi = best = k;
                return k == after + 1;
            }
            return false;
        });
        if (r < 0)
            return -2;
        if (r > 0)
            return best;
    }
    return best;
}

bool KeyFinder::eachFound(const QString& text, int limit, const std::function<void(int)>& found,
                          const std::atomic<bool>* stop)
{
    for (Group& g : groups) {
        if (g.first >= limit)
            break;
        if (g.walk(text, stop, [&](int k) {
                if (k < limit)
                    found(k);
                return false;
            }) < 0)
            return false;
    }
    return true;
}

bool KeyFinder::substituteAtOnce(QString& text, const QStringList& keys, const QStringList& values, int limit,
                                 qint64 maxSize, const std::atomic<bool>* stop, SubstResult& result)
{
    if (!allMarked)
        return false;
    struct Found {
        int start, end, key;  // end exclusive
    };
    std::vector<Found> found;
    const QChar* t = text.constData();
    const int n = text.size();
    const QChar mark(QLatin1Char('$'));
    for (Group& g : groups) {
        if (g.first >= limit)
            break;
        int s = 0;
        int lastEnd = 0;  // of this group's latest key found
        for (int i = 0; i < n; ++i) {
            if ((i & (stopCheckEvery - 1)) == 0 && asked(stop)) {
                result = SubstResult::Stopped;
                return true;
            }
            const ushort c = t[i].unicode();
            if (s == 0 && !g.begins(c))
                continue;
            s = g.next(s, c);
            int ending = -1;
            for (int u = g.keyAt[size_t(s)] >= 0 ? s : g.out[size_t(s)]; u != 0; u = g.out[size_t(u)]) {
                const int k = g.keyAt[size_t(u)];
                if (k >= limit)
                    continue;
                if (ending >= 0)
                    return false;  // two keys end here: they overlap
                ending = k;
            }
            if (ending >= 0) {
                const int start = i + 1 - keys.at(ending).size();
                if (start < lastEnd)
                    return false;  // overlaps the one before: no need to look further
                lastEnd = i + 1;
                found.push_back({start, i + 1, ending});
            }
        }
    }
    result = SubstResult::Done;
    if (found.empty())
        return true;
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.end < b.end; });
    for (size_t i = 1; i < found.size(); ++i)
        if (found[i].start < found[i - 1].end)
            return false;
    for (const Found& f : found)
        if (values.at(f.key).contains(mark))
            return false;

    // The size after each key's turn, as one key after the other would
    // check it.
    {
        std::vector<int> keysFound;
        for (const Found& f : found)
            keysFound.push_back(f.key);
        std::sort(keysFound.begin(), keysFound.end());
        qint64 size = n;
        for (size_t i = 0; i < keysFound.size();) {
            size_t j = i;
            while (j < keysFound.size() && keysFound[j] == keysFound[i])
                ++j;
            const int k = keysFound[i];
            const qint64 grow = qint64(j - i) * (values.at(k).size() - keys.at(k).size());
            if (values.at(k).size() > keys.at(k).size() && size + grow > maxSize)
                return false;
            size += grow;
            i = j;
        }
    }

    // Runs of keys with no "$" between them outside keys ("chains"). Once
    // some of them are replaced, the text between the two "$" around the
    // replaced ones is new; a key holding it between two of its "$" could
    // then be found where none was. Every run that some point of the key
    // order can leave replaced is looked at (with extra runs on the way).
    qint64 budget = 8 * qint64(n) + 4096;  // characters of runs compared
    size_t c0 = 0;
    while (c0 < found.size()) {
        size_t c1 = c0 + 1;
        while (c1 < found.size()) {
            bool plain = true;
            for (int p = found[c1 - 1].end; p < found[c1].start && plain; ++p)
                plain = t[p] != mark;
            if (!plain)
                break;
            ++c1;
        }
        const int k = int(c1 - c0);
        int left = found[c0].start;
        while (left > 0 && t[left - 1] != mark)
            --left;
        int right = found[c1 - 1].end;
        while (right < n && t[right] != mark)
            ++right;
        auto at = [&](int r) -> const Found& { return found[c0 + size_t(r)]; };
        // sum[r]: lengths of the values before region r and of the texts between them.
        std::vector<qint64> sum(size_t(k) + 1, 0);
        for (int r = 0; r < k; ++r)
            sum[size_t(r) + 1] = sum[size_t(r)] + values.at(at(r).key).size() + (r + 1 < k ? at(r + 1).start - at(r).end : 0);
        std::vector<int> order(static_cast<size_t>(k));
        for (int r = 0; r < k; ++r)
            order[size_t(r)] = r;
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return at(a).key < at(b).key; });
        std::vector<int> runEnd(size_t(k), -1);  // at a run's first region: its last; at its last: its first
        for (int r : order) {
            int lo = r, hi = r;
            if (r > 0 && runEnd[size_t(r - 1)] >= 0)
                lo = runEnd[size_t(r - 1)];
            if (r + 1 < k && runEnd[size_t(r + 1)] >= 0)
                hi = runEnd[size_t(r + 1)];
            runEnd[size_t(lo)] = hi;
            runEnd[size_t(hi)] = lo;
            const int from = lo == 0 ? left : at(lo - 1).end;
            const int to = hi + 1 == k ? right : at(hi + 1).start;
            const qint64 len = (at(lo).start - from) + (to - at(hi).end) + sum[size_t(hi) + 1] - sum[size_t(lo)]
                               - (hi + 1 < k ? at(hi + 1).start - at(hi).end : 0);
            if (len > longestGap)
                continue;
            budget -= len + 1;
            if (budget < 0)
                return false;
            QString gap = text.mid(from, at(lo).start - from);
            for (int q = lo; q <= hi; ++q) {
                gap += values.at(at(q).key);
                gap += text.midRef(at(q).end, (q < hi ? at(q + 1).start : to) - at(q).end);
            }
            if (innerGaps.contains(qHash(QStringView(gap))))
                return false;
        }
        c0 = c1;
    }

    QString out;
    int from = 0;
    for (const Found& f : found) {
        out.append(t + from, f.start - from);
        out.append(values.at(f.key));
        from = f.end;
    }
    out.append(t + from, n - from);
    text = std::move(out);
    return true;
}

SubstResult substituteKeys(QString& text, const QStringList& keys, const QStringList& values, KeyFinder& finder,
                           qint64 maxSize, const std::atomic<bool>* stop)
{
    finder.sync(keys);
    const int limit = std::min(keys.size(), values.size());
    SubstResult once;
    if (finder.substituteAtOnce(text, keys, values, limit, maxSize, stop, once))
        return once;
    // Only keys that occur change the text: found in list order, each is the
    // same as trying every key of the list in turn.
    for (int after = -1;;) {
        if (asked(stop))
            return SubstResult::Stopped;
        const int i = finder.firstAfter(text, after, limit, stop);
        if (i == -2)
            return SubstResult::Stopped;
        if (i < 0)
            return SubstResult::Done;
        const SubstResult r = replaceEvery(text, keys.at(i), values.at(i), maxSize, stop);
        if (r != SubstResult::Done)
            return r;
        after = i;
    }
}
