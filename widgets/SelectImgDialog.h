#ifndef SELECTIMGDIALOG_H
#define SELECTIMGDIALOG_H

#include "_FileDialog.h"

// Opens one or more image files.
class SelectImgDialog : public _FileDialog
{
    Q_OBJECT

public:
    explicit SelectImgDialog(const QString& title = QString(), QWidget* parent = nullptr);
};

#endif
