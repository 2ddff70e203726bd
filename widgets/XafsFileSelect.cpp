#include "XafsFileSelect.h"

#include "LazyFileDialog.h"
#include "_FileDialog.h"
#include "ui_XafsFileSelect.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

XafsFileSelect::XafsFileSelect(QWidget* parent) : QFrame(parent), ui(new Ui::XafsFileSelect)
{
    ui->setupUi(this);
    Use = ui->Use;
    Selected = ui->Selected;
    Select = ui->Select;
    Clear = ui->Clear;
    const QStringList filters{tr("XAFS Data File (*.dat)"), tr("Any Files (* *.*)")};
    dialog = new LazyFileDialog([filters](_FileDialog& d) {
        d.setFileMode(QFileDialog::ExistingFile);
        d.setAcceptMode(QFileDialog::AcceptOpen);
        d.setNameFilters(filters);
    });
    Use->hide();
    connect(Select, SIGNAL(clicked()), dialog, SLOT(show()));
    connect(dialog, SIGNAL(fileSelected(const QString&)), this, SLOT(fileSelected(const QString&)));
    connect(Use, SIGNAL(toggled(bool)), this, SIGNAL(changedUse(bool)));
}

XafsFileSelect::~XafsFileSelect()
{
    delete dialog;
    delete ui;
}

void XafsFileSelect::load(QString fname)
{
    fileSelected(fname);
}

void XafsFileSelect::fileSelected(QString fname)
{
    fileChosen = true;
    Selected->setText(fname);
    // The next Select opens where this file is; a folder that cannot be
    // resolved would send the dialog to the working directory, so it stays.
    const QString dir = fname.isEmpty() ? QString() : QFileInfo(fname).absoluteDir().canonicalPath();
    if (!dir.isEmpty())
        dialog->setDirectory(dir);
    else
        qDebug() << "XafsFileSelect: no folder for" << fname;
    emit newFile(fname);
}

void XafsFileSelect::fileNameValid(bool f)
{
    Selected->setStyleSheet(f ? "background-color: rgb(255, 255, 224);" : "background-color: rgb(255, 240, 240);");
}

void XafsFileSelect::clear()
{
    fileChosen = false;
    Selected->setText(QString());
    emit cleared();
}

void XafsFileSelect::setUse(bool f)
{
    Use->setChecked(f);
}

void XafsFileSelect::showUse(bool f)
{
    Use->setVisible(f);
}

void XafsFileSelect::setMaxSelectBW(int max)
{
    Select->setMaximumWidth(max);
}

void XafsFileSelect::setMaxClearBW(int max)
{
    Clear->setMaximumWidth(max);
}
