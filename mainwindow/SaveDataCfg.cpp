#include "SaveDataCfg.h"

#include "widgets/FieldWidth.h"

SaveDataCfg::SaveDataCfg(QWidget* parent)
    : QFrame(parent)
{
    setupUi(this);
    widenFields(this);
    separatorGroup.addButton(DataCommaSeparated);
    separatorGroup.addButton(DataSpaceSeparated);
    DataCommaSeparated->setChecked(true);
    layoutGroup.addButton(DataXYVal);
    layoutGroup.addButton(DataValValVal);
    DataXYVal->setChecked(true);
    toggledSaveAs(SaveAsTiff->isChecked());
    connect(SaveAsTiff, &QRadioButton::toggled, this, &SaveDataCfg::toggledSaveAs);
}

void SaveDataCfg::toggledSaveAs(bool f)
{
    TiffCfg->setEnabled(f);
    TextCfg->setEnabled(!f);
}

void SaveDataCfg::setSaveAsTiff()
{
    SaveAsTiff->setChecked(true);
}

void SaveDataCfg::setSaveAsText()
{
    SaveAsTextData->setChecked(true);
}

void SaveDataCfg::setSaveTiffScaleFixed(bool f)
{
    TiffFixedScale->setChecked(f);
}

void SaveDataCfg::setSaveTiffScaleMin(double min)
{
    TiffScaleMin->setText(QString::number(min, 'g', 6));
}

void SaveDataCfg::setSaveTiffScaleMax(double max)
{
    TiffScaleMax->setText(QString::number(max, 'g', 6));
}

void SaveDataCfg::setSaveTiffAsAnalyzed(bool f)
{
    TiffAsAnalyzed->setChecked(f);
}

void SaveDataCfg::setSaveTextAsCSV()
{
    DataCommaSeparated->setChecked(true);
}

void SaveDataCfg::setSaveTextAsSSV()
{
    DataSpaceSeparated->setChecked(true);
}

void SaveDataCfg::setSaveTextAsXYVal()
{
    DataXYVal->setChecked(true);
}

void SaveDataCfg::setSaveTextAsValValVal()
{
    DataValValVal->setChecked(true);
}
