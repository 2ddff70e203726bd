#ifndef SAVEDATACFG_H
#define SAVEDATACFG_H

#include <QButtonGroup>
#include <QFrame>

#include "ui_SaveDataCfg.h"

// How result maps are saved. The savers read the widgets when they save.
class SaveDataCfg : public QFrame, public Ui_SaveDataCfg {
    Q_OBJECT

public:
    explicit SaveDataCfg(QWidget* parent = nullptr);

private slots:
    void toggledSaveAs(bool f);

public slots:
    void setSaveAsTiff();
    void setSaveAsText();
    void setSaveTiffScaleFixed(bool f);
    void setSaveTiffScaleMin(double min);
    void setSaveTiffScaleMax(double max);
    void setSaveTiffAsAnalyzed(bool f);
    void setSaveTextAsCSV();
    void setSaveTextAsSSV();
    void setSaveTextAsXYVal();
    void setSaveTextAsValValVal();

private:
    // The four text buttons share one frame; the groups make them two pairs.
    QButtonGroup separatorGroup;
    QButtonGroup layoutGroup;
};

#endif
