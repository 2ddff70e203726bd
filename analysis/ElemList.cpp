#include "ElemList.h"

#include "ElemCtrl.h"
#include "FieldText.h"

#include "analysis/ElementAnalysis.h"

#include "core/Elements.h"

#include <QButtonGroup>
#include <QGridLayout>

#include <algorithm>

ElemList::ElemList(QObject* parent) : QObject(parent) {}

ElemList::~ElemList()
{
    // Rows in a layout belong to the panel; the others are ours.
    for (const QPointer<ElemCtrl>& row : made)
        if (row && !row->parentWidget()) delete row.data();
    delete mainTargetGroup;
    delete elemShowGroup;
}

QVector<ElemListEntry> ElemList::parse(const QString& text)
{
    QVector<ElemListEntry> entries;
    QString t = text;
    const QStringList tokens =
        t.replace(QLatin1Char(','), QLatin1Char(' ')).simplified().split(QLatin1Char(' '));
    for (const QString& token : tokens) {
        ElemListEntry e;
        e.edgeText = QStringLiteral("K");
        const int p = token.indexOf(QLatin1Char('-'));
        if (p > 0) {
            e.symbol = token.left(p);
            e.edgeText = token.mid(p + 1);
        } else {
            e.symbol = token;
        }
        e.edgeIndex = edgeIndexOf(e.edgeText);
        e.Z = atomicNumberOf(e.symbol);
        if (e.Z <= 0) continue;
        e.name = QStringLiteral("%1-%2").arg(e.symbol, e.edgeText);
        entries << e;
    }
    return entries;
}

QVector<int> ElemList::orderByZ(const QVector<int>& z)
{
    QVector<int> order(z.size());
    for (int i = 0; i < order.size(); ++i) order[i] = i;
    QVector<int> key = z;
    for (int i = 0; i + 1 < key.size(); ++i) {
        int m = i;
        for (int j = i + 1; j < key.size(); ++j)
            if (key[j] < key[m]) m = j;
        std::swap(key[i], key[m]);
        std::swap(order[i], order[m]);
    }
    return order;
}

int ElemList::rowForKey(const QStringList& names, const QString& key, bool* byName)
{
    const int i = names.indexOf(key);
    if (byName) *byName = i >= 0;
    return i >= 0 ? i : key.toInt();
}

QString ElemList::rowKey(const QStringList& names, const QString& key, bool byIndex, QString* why)
{
    if (names.contains(key)) return key;
    QStringList same, alike;
    for (const QString& n : names) {
        const QString symbol = n.section(QLatin1Char('-'), 0, 0);
        if (symbol == key) same << n;
        if (symbol.compare(key, Qt::CaseInsensitive) == 0 || n.compare(key, Qt::CaseInsensitive) == 0) alike << n;
    }
    if (same.size() == 1) return same.first();
    bool number = false;
    const int i = key.toInt(&number);
    if (byIndex && number && i >= 0 && i < names.size()) return key;
    if (!why) return QString();
    if (names.isEmpty())
        *why = tr("there is no element row (analyzer_target_elements makes them); nothing changed");
    else if (same.size() > 1)
        *why = tr("%1 names %2 rows (%3): give the whole name; nothing changed")
                   .arg(key, QString::number(same.size()), same.join(QStringLiteral(", ")));
    else if (byIndex && number)
        *why = tr("there is no element row %1 (rows 0 to %2: %3); nothing changed")
                   .arg(key, QString::number(names.size() - 1), names.join(QStringLiteral(", ")));
    else if (!alike.isEmpty())
        *why = tr("no element row is named %1; did you mean %2? nothing changed").arg(key, alike.join(QStringLiteral(", ")));
    else
        *why = tr("no element row is named %1 (the rows: %2); nothing changed").arg(key, names.join(QStringLiteral(", ")));
    return QString();
}

void ElemList::newElems(const QString& text, bool sortByAN)
{
    ++gen;
    if (mainTargetGroup) mainTargetGroup->deleteLater();
    mainTargetGroup = new QButtonGroup;
    if (elemShowGroup) elemShowGroup->deleteLater();
    elemShowGroup = new QButtonGroup;
    for (ElemCtrl* row : qAsConst(elemCtrls)) {
        if (baseLayout) baseLayout->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    elemCtrls.clear();
    made.erase(std::remove_if(made.begin(), made.end(),
                              [](const QPointer<ElemCtrl>& r) { return r.isNull(); }),
               made.end());
    connect(elemShowGroup, &QButtonGroup::idClicked, this,
            &ElemList::changedSelection);

    const QVector<ElemListEntry> entries = parse(text);
    for (const ElemListEntry& e : entries) {
        ElemCtrl* row = new ElemCtrl(nullptr);
        made << row;
        row->atomicNumber = e.Z;
        row->edgeIndex = e.edgeIndex;
        row->setRowName(e.name);
        row->No->setText(QString::number(e.Z));
        row->Eng->setText(FieldText::text(edgeEnergyOf(e.Z, e.edgeIndex)));
        mainTargetGroup->addButton(row->MainTarget, elemCtrls.size());
        elemShowGroup->addButton(row->Show, elemCtrls.size());
        elemCtrls << row;
    }

    if (sortByAN) {
        QVector<int> z;
        for (const ElemCtrl* row : qAsConst(elemCtrls)) z << row->atomicNumber;
        const QVector<int> order = orderByZ(z);
        QVector<ElemCtrl*> sorted;
        for (int i : order) sorted << elemCtrls[i];
        elemCtrls = sorted;
        for (int i = 0; i < elemCtrls.size(); ++i) {
            mainTargetGroup->setId(elemCtrls[i]->MainTarget, i);
            elemShowGroup->setId(elemCtrls[i]->Show, i);
        }
    }

    for (int i = 0; i < elemCtrls.size(); ++i)
        if (baseLayout) baseLayout->addWidget(elemCtrls[i], i, 0);
    if (!elemCtrls.isEmpty()) {
        elemCtrls[0]->MainTarget->setChecked(true);
        elemCtrls[0]->Show->setChecked(true);
    }
    // A map on show may belong to a row that is about to go: whoever shows it
    // picks again while the old rows still exist.
    emit changedSelection();
}

QStringList ElemList::names() const
{
    QStringList n;
    for (const ElemCtrl* row : elemCtrls) n << row->Name->text();
    return n;
}

int ElemList::mainTarget() const
{
    if (!mainTargetGroup) return 0;
    return std::max(0, mainTargetGroup->checkedId());
}

QVector<ElemRowSnapshot> ElemList::snapshots() const
{
    QVector<ElemRowSnapshot> s;
    for (const ElemCtrl* row : elemCtrls) s << row->snapshot();
    return s;
}

QVector<ElemRowInfo> ElemList::rowInfos() const
{
    QVector<ElemRowInfo> infos;
    for (const ElemCtrl* row : elemCtrls) infos << row->rowInfo();
    return infos;
}

ElemRowsProvider ElemList::rowInfoProvider() const
{
    QPointer<const ElemList> self(this);
    return [self]() { return self ? self->rowInfos() : QVector<ElemRowInfo>(); };
}

bool ElemList::showResults(const ElemsResult& result)
{
    int n = elemCtrls.size();
    for (int k = 0; k < ElemKindCount; ++k) n = std::min(n, int(result.kinds[k].size()));
    for (int i = 0; i < n; ++i) {
        const auto v = [&](int kind) { return result.kinds[kind][i]; };
        elemCtrls[i]->showResults(v(ElemKind0), v(ElemKindN), v(ElemKindMP), v(ElemKindMM),
                                  v(ElemKindDE), v(ElemKindROI), v(ElemKindNROI));
    }
    return n == elemCtrls.size();
}

void ElemList::setElemsDE(double dE)
{
    for (ElemCtrl* row : qAsConst(elemCtrls)) row->PrePostDE->setText(FieldText::text(dE));
}

void ElemList::setElemNoNeg(const QString& name, bool on)
{
    for (ElemCtrl* row : qAsConst(elemCtrls))
        if (row->Name->text() == name) row->NoNeg->setChecked(on);
}

void ElemList::setElemThDMut(const QString& name, double th)
{
    for (ElemCtrl* row : qAsConst(elemCtrls))
        if (row->Name->text() == name) row->ThDMut->setText(FieldText::text(th));
}

void ElemList::setElemROI(const QString& name, double from, double to)
{
    for (ElemCtrl* row : qAsConst(elemCtrls)) {
        if (row->Name->text() != name) continue;
        row->ROIs->setText(FieldText::text(from));
        row->ROIe->setText(FieldText::text(to));
    }
}

void ElemList::setElemUse(const QString& key, bool on)
{
    const int i = rowForKey(names(), key);
    if (i >= 0 && i < elemCtrls.size()) elemCtrls[i]->Use->setChecked(on);
}

void ElemList::setElemShow(const QString& key)
{
    bool byName = false;
    const int i = rowForKey(names(), key, &byName);
    if (i >= 0 && i < elemCtrls.size()) elemCtrls[i]->Show->setChecked(true);
    if (!byName) emit changedSelection();
}

void ElemList::setElemMainTarget(const QString& key)
{
    const int i = rowForKey(names(), key);
    if (i < 0 || i >= elemCtrls.size()) return;
    elemCtrls[i]->MainTarget->setChecked(true);
    emit changedSelection();
}

void ElemList::setElemsStd()
{
    for (ElemCtrl* row : qAsConst(elemCtrls)) {
        row->stdRatio = row->ratio;
        row->StdRatio->setText(FieldText::text(row->stdRatio));
    }
}
