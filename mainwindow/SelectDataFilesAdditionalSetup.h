#ifndef SELECTDATAFILESADDITIONALSETUP_H
#define SELECTDATAFILESADDITIONALSETUP_H

#include <QFrame>
#include <QRectF>

#include "core/ErrPoints.h"
#include "ui_SelectDataFilesAdditionalSetup.h"
#include "widgets/LazyFileDialog.h"

// Rarely changed options of one stack's loads: showing the newest image,
// skipping "Live" files, the dark-area buttons and the stack's bad-pixel list.
class SelectDataFilesAdditionalSetup : public QFrame, public Ui_SelectDataFilesAdditionalSetup {
    Q_OBJECT

public:
    explicit SelectDataFilesAdditionalSetup(QWidget* parent = nullptr);

    // The list every load request of this stack copies.
    const ErrPoints& errPoints() const { return errPs; }

signals:
    void setDarkArea();
    void updateDarkArea();
    void clearDarkArea();

public slots:
    void darkArea(QRectF area);

private slots:
    // False when no list was read (no name, or a file that cannot be read).
    bool errPsDefSelected(const QString& fname);
    void toggledUseErrPs(bool f);

private:
    LazyFileDialog errPsDialog;
    ErrPoints errPs;
};

// "(x0,y0)-(x1,y1)" of a rectangle, each corner truncated toward zero.
QString darkAreaText(const QRectF& area);

#endif
