#include "SelectImgDialog.h"

SelectImgDialog::SelectImgDialog(const QString& title, QWidget* parent) : _FileDialog(title, parent)
{
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFiles);
    setNameFilters({tr("QDRN Files, IMG Files, Tiff Files (*.dat *.img *.tif *.tiff)"), tr("Any Files (* *.*)")});
}
