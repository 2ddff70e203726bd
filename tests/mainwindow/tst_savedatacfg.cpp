#include <QtTest>

#include "mainwindow/SaveDataCfg.h"

class TstSaveDataCfg : public QObject {
    Q_OBJECT
private slots:
    void freshPanel()
    {
        SaveDataCfg p;
        QCOMPARE(p.objectName(), QString("SaveDataCfg"));
        QCOMPARE(p.windowTitle(), QString("Save Data Configuration"));
        QVERIFY(p.SaveAsTiff->isChecked());
        QVERIFY(!p.SaveAsTextData->isChecked());
        QVERIFY(p.TiffCfg->isEnabled());
        QVERIFY(!p.TextCfg->isEnabled());
        QVERIFY(p.TiffFixedScale->isChecked());
        QCOMPARE(p.TiffScaleMin->text(), QString("0"));
        QCOMPARE(p.TiffScaleMax->text(), QString("10"));
        QVERIFY(p.TiffAsAnalyzed->isChecked());
        QVERIFY(p.DataCommaSeparated->isChecked());
        QVERIFY(!p.DataSpaceSeparated->isChecked());
        QVERIFY(p.DataXYVal->isChecked());
        QVERIFY(!p.DataValValVal->isChecked());
        QCOMPARE(p.label->text(), QString("  Max"));
        QCOMPARE(p.DataXYVal->text(), QString("X Y Val : 1point/1line"));
    }

    void scaleTexts()
    {
        SaveDataCfg p;
        p.setSaveTiffScaleMax(2.5e6);
        QCOMPARE(p.TiffScaleMax->text(), QString("2.5e+06"));
        p.setSaveTiffScaleMin(0.5);
        QCOMPARE(p.TiffScaleMin->text(), QString("0.5"));
        p.setSaveTiffScaleMin(3.14159265);
        QCOMPARE(p.TiffScaleMin->text(), QString("3.14159"));
    }

    void formatSwitchesFrames()
    {
        SaveDataCfg p;
        p.setSaveAsText();
        QVERIFY(!p.SaveAsTiff->isChecked());
        QVERIFY(!p.TiffCfg->isEnabled());
        QVERIFY(p.TextCfg->isEnabled());
        p.setSaveAsTiff();
        QVERIFY(p.TiffCfg->isEnabled());
        QVERIFY(!p.TextCfg->isEnabled());
        // By the mouse as well.
        p.show();
        QTest::mouseClick(p.SaveAsTextData, Qt::LeftButton);
        QVERIFY(p.TextCfg->isEnabled());
    }

    void textChoicesAreTwoPairs()
    {
        SaveDataCfg p;
        p.setSaveAsText();
        p.show();
        QTest::mouseClick(p.DataSpaceSeparated, Qt::LeftButton);
        QVERIFY(p.DataSpaceSeparated->isChecked());
        QVERIFY(!p.DataCommaSeparated->isChecked());
        QVERIFY(p.DataXYVal->isChecked());
        p.setSaveTextAsValValVal();
        QVERIFY(p.DataValValVal->isChecked());
        QVERIFY(!p.DataXYVal->isChecked());
        QVERIFY(p.DataSpaceSeparated->isChecked());
        p.setSaveTextAsCSV();
        p.setSaveTextAsXYVal();
        QVERIFY(p.DataCommaSeparated->isChecked() && p.DataXYVal->isChecked());
        p.setSaveTextAsSSV();
        QVERIFY(p.DataSpaceSeparated->isChecked() && p.DataXYVal->isChecked());
    }

    void checkBoxes()
    {
        SaveDataCfg p;
        p.setSaveTiffScaleFixed(false);
        p.setSaveTiffAsAnalyzed(false);
        QVERIFY(!p.TiffFixedScale->isChecked());
        QVERIFY(!p.TiffAsAnalyzed->isChecked());
    }
};

QTEST_MAIN(TstSaveDataCfg)
#include "tst_savedatacfg.moc"
