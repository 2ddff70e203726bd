#include "support/Files.h"
#include "core/Cfg.h"
#include "core/Globals.h"
#include "core/ErrPoints.h"
#include "core/TiffData.h"
#include "tools/Analyzer2.h"

#include <QTemporaryDir>
#include <QTest>

// The detector panel's "Use Err Points Mask" and the bad-pixel lists it
// switches: the program-wide list named in the configuration, and the repair
// of listed pixels as images load.
class TestBadPixelSwitch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initColorTables(); }

    // The key absent, naming a list that reads, naming one that does not.
    void listFromTheConfiguration_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("read");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("no key") << "DataRoot" << "bad.dat" << false << true;
        QTest::newRow("list that reads") << "errPoints" << "bad.dat" << true << true;
        QTest::newRow("list missing") << "ERRPOINTS" << "missing.dat" << false << false;
    }
    void listFromTheConfiguration()
    {
        QFETCH(QString, key);
        QFETCH(QString, file);
        QFETCH(bool, read);
        QFETCH(bool, enabled);
        QTemporaryDir dir;
        QVERIFY(ts::writeFile(dir.filePath("bad.dat"), "# Size 6 5\n1 1\n2 3\n"));
        Analyzer2 a;
        a.show();
        ErrPoints e;
        a.setErrPoints(&e);
        Cfg cfg;
        cfg.add(key, dir.filePath(file), dir.filePath(file));
        QCOMPARE(a.setupErrPoints(cfg), read);
        QCOMPARE(a.UseErrPMask->isEnabled(), enabled);
        QCOMPARE(e.use, read);
        QCOMPARE(e.points, read ? (QVector<QPoint>{{1, 1}, {2, 3}}) : QVector<QPoint>());
        QCOMPARE(a.ErrPMaskFileName->text(), read ? QFileInfo(dir.filePath(file)).canonicalFilePath() : QString());
        if (!enabled) return;
        // The box drives the list's flag once set up.
        QTest::mouseClick(a.UseErrPMask, Qt::LeftButton);
        QVERIFY(!e.use);
        QTest::mouseClick(a.UseErrPMask, Qt::LeftButton);
        QVERIFY(e.use);
    }

    // Listed pixels are repaired when the panel's box is checked and the list
    // the image is loaded with (the stack's own, or the program-wide one for
    // loads without a list) is in use; either switch off leaves the pixel.
    void repairNeedsBothSwitches_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("panelBox");
        QTest::addColumn<bool>("listInUse");
        QTest::addColumn<bool>("stackList");  // false: the load brings no list
        QTest::addColumn<bool>("repaired");
        for (const char* format : {"tif", "im"}) {
            auto row = [&](const char* what, bool box, bool inUse, bool stack, bool fixed) {
                QTest::newRow(qPrintable(QString("%1: %2").arg(format, what)))
                    << QString(format) << box << inUse << stack << fixed;
            };
            row("both on", true, true, true, true);
            row("panel box off", false, true, true, false);
            row("stack list off", true, false, true, false);
            row("no stack list, program-wide list on", true, true, false, true);
            row("no stack list, panel box off", false, true, false, false);
        }
    }
    void repairNeedsBothSwitches()
    {
        QFETCH(QString, format);
        QFETCH(bool, panelBox);
        QFETCH(bool, listInUse);
        QFETCH(bool, stackList);
        QFETCH(bool, repaired);
        QTemporaryDir dir;
        const QString file = dir.filePath("frame." + format);
        auto px = [](int x, int y) { return 100.0 + 10 * (y * 4 + x); };
        QVERIFY(format == "tif" ? ts::writeTiff(file, 4, 4, px) : ts::writeIm(file, 4, 4, px));

        Analyzer2 panel;
        panel.show();
        QVERIFY(!panel.setupErrPoints(Cfg()));  // no program-wide list file
        if (!panelBox) QTest::mouseClick(panel.UseErrPMask, Qt::LeftButton);
        QCOMPARE(panel.UseErrPMask->isChecked(), panelBox);

        ErrPoints list;
        list.points = {QPoint(0, 0)};
        list.use = listInUse;
        globalErrPoints = list;
        TiffData d;
        QVERIFY(stackList ? d.load(file, list) : d.load(file));
        const double mean = double(uint16_t((px(1, 0) + px(0, 1) + px(1, 1)) / 3));
        QCOMPARE(d.pixelValue(0, 0), repaired ? mean : px(0, 0));
        QCOMPARE(d.pixelValue(3, 3), px(3, 3));  // unlisted pixels as recorded

        globalErrPoints = ErrPoints();
        errPointsMaskOn = true;
    }
};

QTEST_MAIN(TestBadPixelSwitch)
#include "tst_badpixelswitch.moc"
