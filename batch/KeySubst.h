#ifndef KEYSUBST_H
#define KEYSUBST_H

#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

// What became of a text given to substitution.
enum class SubstResult {
    Done,
    TooLong,  // the result would outgrow its bound; the text is as before that step
    Stopped   // a stop was asked for; the text is partly substituted
};

// Every occurrence of key in text, left to right, replaced by value; what is
// put in is not searched again. Time linear in text and key, whatever they
// hold (a "$"-rich key against a "$"-rich text included). TooLong, leaving
// text unchanged, when the result would be longer than maxSize.
SubstResult replaceEvery(QString& text, const QString& key, const QString& value, qint64 maxSize,
                         const std::atomic<bool>* stop = nullptr);

// Finds which keys of a list occur in a text, by one pass over the text per
// question, whatever the number and the content of the keys. The list only
// ever grows at its end (a variable table); keys appended are taken in by
// sync at a cost that stays logarithmic per key, so that a ":let" between
// every two lines does not rebuild everything each time.
class KeyFinder {
public:
    // Takes in the keys appended since the last call; a list that shrank is
    // taken afresh.
    void sync(const QStringList& keys);
    // The lowest index above `after` and below `limit` of a key that occurs
    // in text; -1 when none, -2 when a stop was asked for on the way.
    int firstAfter(const QString& text, int after, int limit, const std::atomic<bool>* stop = nullptr);
    // found(index) once for each key below limit that occurs in text, in no
    // particular order; false when a stop was asked for on the way.
    bool eachFound(const QString& text, int limit, const std::function<void(int)>& found,
                   const std::atomic<bool>* stop = nullptr);
    // All keys replaced in one pass, when that is provably what replacing
    // them one after the other in list order gives: the keys found do not
    // overlap, their values hold no "$", and no text those values make with
    // their neighbours can be part of a key. False, text untouched, when
    // that cannot be shown; the caller then goes key by key. Keys must
    // begin and end with "$".
    bool substituteAtOnce(QString& text, const QStringList& keys, const QStringList& values, int limit,
                          qint64 maxSize, const std::atomic<bool>* stop, SubstResult& result);

private:
    // Aho-Corasick automaton over the keys [first, first + count) of the list.
    struct Group {
        int first = 0;
        int count = 0;
        std::vector<int> fail;
        std::vector<int> out;      // nearest node on the fail chain that ends a key (itself excluded); 0: none
        std::vector<int> keyAt;    // list index of the key ending at the node; -1: none
        std::vector<quint32> seen; // round in which the node's keys were last counted
        // Edges node -> child by character, open addressing: slot keys are
        // (node << 16 | character) + 1, 0 marks a free slot.
        std::vector<quint64> edgeKey;
        std::vector<int> edgeTo;
        int edgeCount = 0;
        quint64 rootChars[4] = {0, 0, 0, 0};  // bit set of the characters below 256 that begin a key
        bool rootHigh = false;                 // some key begins with a character above
        quint32 round = 0;

        void build(const QStringList& keys, int from, int n);
        static size_t slotOf(quint64 key, size_t mask) { return size_t((key * 0x9E3779B97F4A7C15ull) >> 20) & mask; }
        int child(int node, ushort c) const
        {
            const quint64 key = ((quint64(node) << 16) | c) + 1;
            const size_t mask = edgeKey.size() - 1;
            for (size_t i = slotOf(key, mask);; i = (i + 1) & mask) {
                if (edgeKey[i] == key)
                    return edgeTo[i];
                if (edgeKey[i] == 0)
                    return -1;
            }
        }
        // The automaton's move from node on c, following fail links.
        int next(int node, ushort c) const
        {
            for (;;) {
                const int w = child(node, c);
                if (w >= 0 || node == 0) return w >= 0 ? w : 0;
                node = fail[size_t(node)];
            }
        }
        void addEdge(int node, ushort c, int to);
        // onKey(index) for every key ending in text, each node once a walk;
        // onKey returns true to end the walk. -1 when a stop was asked for,
        // 1 when onKey ended it, 0 otherwise.
        template <class F> int walk(const QString& text, const std::atomic<bool>* stop, F&& onKey);
        bool begins(ushort c) const { return c < 256 ? (rootChars[c >> 6] >> (c & 63)) & 1 : rootHigh && child(0, c) >= 0; }
    };
    std::vector<Group> groups;  // consecutive index ranges, each smaller than the one before
    int taken = 0;
    // The texts between two neighbouring "$" of any key (by hash: a text
    // that merely shares one only costs the one-pass way), and the longest.
    QSet<uint> innerGaps;
    int longestGap = 0;
    bool allMarked = true;  // every key begins and ends with "$"
};

// Each key of the list in turn, in list order, has every occurrence in text
// replaced by its value (replaceEvery): a later key sees what an earlier one
// put in; a key sees nothing of what it put in itself. Only the keys that
// occur cost a pass over the text. Stops at the first step that fails.
SubstResult substituteKeys(QString& text, const QStringList& keys, const QStringList& values, KeyFinder& finder,
                           qint64 maxSize, const std::atomic<bool>* stop = nullptr);

#endif
