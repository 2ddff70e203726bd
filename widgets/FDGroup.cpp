#include "FDGroup.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include "LazyFileDialog.h"
#include "_FileDialog.h"

FDGroup::FDGroup(QObject* parent) : QObject(parent) {}

void FDGroup::addDialog(QFileDialog* d)
{
    if (!d) return;
    for (const QPointer<QFileDialog>& g : qAsConst(dialogs))
        if (g == d) return;
    dialogs.append(d);
    connect(d, SIGNAL(currentChanged(QString)), this, SLOT(currentChanged(QString)));
    connect(d, SIGNAL(directoryEntered(QString)), this, SLOT(directoryEntered(QString)));
}

void FDGroup::addDialog(LazyFileDialog* d)
{
    if (!d) return;
    if (d->isBuilt()) {
        addDialog(d->dialog());
        return;
    }
    if (unbuilt.contains(d)) return;
    unbuilt.append(d);
    connect(d, &LazyFileDialog::dialogBuilt, this, [this, d](_FileDialog* built) {
        unbuilt.removeAll(d);
        addDialog(built);
    });
}

void FDGroup::currentChanged(const QString& path)
{
    // A highlighted entry that cannot be resolved (gone, or nothing at all)
    // has no folder to follow; an empty path would mean the current directory.
    const QString dir = path.isEmpty() ? QString() : QFileInfo(path).absoluteDir().canonicalPath();
    if (dir.isEmpty()) {
        qDebug() << "FDGroup: no folder for" << path;
        return;
    }
    moveOthersTo(QDir(dir).absolutePath());
}

void FDGroup::directoryEntered(const QString& dir)
{
    if (dir.isEmpty()) return;
    moveOthersTo(QDir(dir).absolutePath());
}

void FDGroup::moveOthersTo(const QString& absPath)
{
    QObject* from = sender();
    dialogs.removeAll(QPointer<QFileDialog>());
    for (const QPointer<QFileDialog>& d : qAsConst(dialogs)) {
        if (!d || d == from) continue;
        if (d->directory().absolutePath() != absPath) d->setDirectory(absPath);
    }
    unbuilt.removeAll(QPointer<LazyFileDialog>());
    for (const QPointer<LazyFileDialog>& d : qAsConst(unbuilt))
        if (d) d->setDirectory(absPath);
}
