#ifndef FDGROUP_H
#define FDGROUP_H

#include <QFileDialog>
#include <QList>
#include <QObject>
#include <QPointer>

class LazyFileDialog;

// Keeps a group of file dialogs in one folder: navigating in one moves the
// others along. The group does not own the dialogs; one that is destroyed
// simply drops out.
class FDGroup : public QObject
{
    Q_OBJECT

public:
    explicit FDGroup(QObject* parent = nullptr);

    QList<QPointer<QFileDialog>> dialogs;

    void addDialog(QFileDialog* d);
    // Joins the group when built; until then it is only told the folder.
    void addDialog(LazyFileDialog* d);

private slots:
    void currentChanged(const QString& path);
    void directoryEntered(const QString& dir);

private:
    void moveOthersTo(const QString& absPath);

    QList<QPointer<LazyFileDialog>> unbuilt;
};

#endif
