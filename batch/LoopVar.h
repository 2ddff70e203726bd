#ifndef LOOPVAR_H
#define LOOPVAR_H

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

#include <atomic>
#include <map>
#include <vector>

#include "KeySubst.h"

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

// The loops of a script, in the order their ":for" lines last ran. A
// finished loop stays, its token standing for its last value; neither
// finding a loop by name nor substituting a line costs more for the loops
// that ran before.
class LoopTable {
public:
    void clear();
    int size() const { return byName.size(); }
    // The loop of that name; null when none.
    LoopVar* find(const QString& name);
    void remove(const QString& name);
    // Goes last; no loop of its name may be in the table.
    void append(const LoopVar& loop);
    QVector<LoopVar> inOrder() const;
    // Each loop in order has every occurrence of its token replaced by its
    // current value (replaceEvery): a later token sees what an earlier one
    // put in. Only the loops whose tokens occur cost a pass over the text.
    // Stops at the first step that fails.
    SubstResult substitute(QString& text, qint64 maxSize, const std::atomic<bool>* stop = nullptr);

private:
    struct Rec {
        LoopVar loop;
        qint64 order = 0;
        int token = -1;  // index into tokens; -1: empty, replaces nothing
    };
    std::vector<Rec> recs;
    std::vector<int> freeRecs;
    QHash<QString, int> byName;  // to recs
    qint64 nextOrder = 0;
    // Every token the table has held, each once, and the loops holding each
    // (order to rec): tokens are few next to lines, being written in them.
    QStringList tokens;
    QHash<QString, int> tokenIndex;
    std::vector<std::map<qint64, int>> holders;
    KeyFinder finder;
};

#endif
