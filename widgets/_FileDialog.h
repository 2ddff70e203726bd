#ifndef _FILEDIALOG_H
#define _FILEDIALOG_H

#include <QFileDialog>

// Base of every file dialog: Qt's own dialog (never the platform's), with a
// title, starting in the data root as it is when the dialog is built.
class _FileDialog : public QFileDialog
{
    Q_OBJECT

public:
    explicit _FileDialog(const QString& title = QString(), QWidget* parent = nullptr);
};

#endif
