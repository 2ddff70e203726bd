#include "_FileDialog.h"

#include "core/Globals.h"

_FileDialog::_FileDialog(const QString& title, QWidget* parent)
    : QFileDialog(parent, QString(), QString(), QString())
{
    setOptions(options() | QFileDialog::DontUseNativeDialog);
    setWindowTitle(title);
    setDirectory(DataRoot);
}
