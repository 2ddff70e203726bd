#ifndef XAFSFILESELECT_H
#define XAFSFILESELECT_H

#include <QCheckBox>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

class LazyFileDialog;

namespace Ui {
class XafsFileSelect;
}

// One-line chooser of a spectrum file: an optional use box, the chosen name,
// Select (opens the selector's own dialog) and Clear. The owner reads the
// file when newFile arrives.
class XafsFileSelect : public QFrame
{
    Q_OBJECT

public:
    explicit XafsFileSelect(QWidget* parent = nullptr);
    ~XafsFileSelect() override;

    // The form's widgets, for owners that reach into them.
    QCheckBox* Use;
    QLineEdit* Selected;
    QPushButton* Select;
    QPushButton* Clear;
    bool fileChosen = false;
    LazyFileDialog* dialog;  // owned; built when first shown

signals:
    void changedUse(bool f);
    void newFile(QString fname);
    void cleared();

public slots:
    void load(QString fname);
    void fileSelected(QString fname);
    void fileNameValid(bool f);
    void clear();
    void setUse(bool f);
    void showUse(bool f);
    void setMaxSelectBW(int max);
    void setMaxClearBW(int max);

private:
    Ui::XafsFileSelect* ui;
};

#endif
