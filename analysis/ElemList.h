#ifndef ELEMLIST_H
#define ELEMLIST_H

#include "analysis/AnalysisSnapshots.h"
#include "widgets/ElemRowInfo.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

class ElemCtrl;
struct ElemsResult;
class QButtonGroup;
class QGridLayout;

// One entry of a typed element list such as "Fe, Cu-L3".
struct ElemListEntry
{
    QString symbol;
    QString edgeText;  // as typed; "K" when the token names no edge
    QString name;      // "<symbol>-<edge text>"
    int Z = 0;
    int edgeIndex = 0;
};

// The element rows of the analysis panel: built from the typed list, kept in
// display order (the index is the row's id in both button groups), and changed
// by the batch setters. GUI thread only; the worker gets snapshots.
class ElemList : public QObject
{
    Q_OBJECT

public:
    explicit ElemList(QObject* parent = nullptr);
    ~ElemList() override;

    // Commas count as blanks; tokens whose symbol is not an element (exact
    // case) are left out.
    static QVector<ElemListEntry> parse(const QString& text);
    // Positions in the order of a selection sort by ascending Z that takes a
    // later entry only when its Z is strictly smaller (not stable).
    static QVector<int> orderByZ(const QVector<int>& z);
    // The row a batch key names: the first exact name match, else the key as a
    // decimal integer (0 when it is not one), which may lie out of range.
    static int rowForKey(const QStringList& names, const QString& key, bool* byName = nullptr);
    // The key a batch word may pass on for the row it names: the row's whole
    // name ("Zn-K"), a bare symbol ("Zn") when exactly one row has it (as
    // the row's name), or, with byIndex, a row number in range (as given).
    // Empty when the key names no row, with why (naming what would match).
    static QString rowKey(const QStringList& names, const QString& key, bool byIndex, QString* why);

    QVector<ElemCtrl*> elemCtrls;
    QButtonGroup* mainTargetGroup = nullptr;  // null until the first newElems
    QButtonGroup* elemShowGroup = nullptr;    // null until the first newElems
    QGridLayout* baseLayout = nullptr;        // where the rows go; not owned

    // Replaces every row by the rows of text; the old rows and groups are
    // deleted by the event loop. Ends with changedSelection(), so a view that
    // shows an old row's map lets go of it before the map is deleted.
    void newElems(const QString& text, bool sortByAN);
    // Bumped by every newElems: an answer computed for another generation
    // belongs to rows that are gone.
    int generation() const { return gen; }

    QStringList names() const;
    // The checked main-target id; 0 without rows or group.
    int mainTarget() const;
    QVector<ElemRowSnapshot> snapshots() const;
    QVector<ElemRowInfo> rowInfos() const;
    // For the spectrum view: reads the current rows whenever it is called.
    ElemRowsProvider rowInfoProvider() const;
    // One element answer; rows beyond the shortest of its vectors keep their
    // values. False unless every row got values.
    bool showResults(const ElemsResult& result);

    // Batch setters; names are matched exactly, keys by name then by index.
    void setElemsDE(double dE);
    void setElemNoNeg(const QString& name, bool on);
    void setElemThDMut(const QString& name, double th);
    void setElemROI(const QString& name, double from, double to);
    void setElemUse(const QString& key, bool on);
    void setElemShow(const QString& key);
    void setElemMainTarget(const QString& key);

public slots:
    // Every row's standard ratio becomes its last ratio.
    void setElemsStd();

signals:
    void changedSelection();

private:
    int gen = 0;
    QVector<QPointer<ElemCtrl>> made;  // every row made, for the destructor
};

#endif
