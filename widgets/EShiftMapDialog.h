#ifndef ESHIFTMAPDIALOG_H
#define ESHIFTMAPDIALOG_H

#include "_FileDialog.h"

// Opens an energy-shift map file.
class EShiftMapDialog : public _FileDialog
{
    Q_OBJECT

public:
    explicit EShiftMapDialog(const QString& title = QString(), QWidget* parent = nullptr);
};

#endif
