#include "EShiftMapDialog.h"

EShiftMapDialog::EShiftMapDialog(const QString& title, QWidget* parent) : _FileDialog(title, parent)
{
    setNameFilters({tr("Energy Shift Map File (*.emp)"), tr("Any Files (* *.*)")});
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);
}
