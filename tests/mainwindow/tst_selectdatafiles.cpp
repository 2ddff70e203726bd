#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "core/Cfg.h"
#include "mainwindow/EOFSetup.h"
#include "mainwindow/SelectDataFiles.h"
#include "widgets/SelectImgDialog.h"
#include "support/Files.h"

namespace {

void chooseErrPs(SelectDataFilesAdditionalSetup& s, const QString& path)
{
    QMetaObject::invokeMethod(&s, "errPsDefSelected", Q_ARG(QString, path));
}

const char* const whiteStyle = "background-color: rgb(255, 255, 255);";
const char* const pinkStyle = "background-color: rgb(255, 192, 192);";

}  // namespace

class TstSelectDataFiles : public QObject {
    Q_OBJECT
private slots:
    void filesAreListedWithTheirEnergies()
    {
        SelectDataFiles s;
        QCOMPARE(s.addFile("/run/Cu_08333_2500.tif", 0, 3), 8333.25);
        QCOMPARE(s.addFile("/run/plain.tif", 1, 3), 1.0);
        QCOMPARE(s.Count->text(), QString("2"));
        QCOMPARE(s.Selected->itemText(0), QString("/run/Cu_08333_2500.tif"));
        QCOMPARE(s.Selected->itemData(1).toDouble(), 1.0);
        s.setEngByCalc(true);
        s.setEvenInEng(true);
        QCOMPARE(s.addFile("/run/Cu_08333_2500.tif", 5, 10), 8005.0);
        s.clearFiles();
        QCOMPARE(s.Count->text(), QString("0"));
        QCOMPARE(s.Selected->count(), 0);
    }

    void navigation()
    {
        SelectDataFiles s;
        for (int i = 0; i < 3; ++i)
            s.addFile(QString("/f%1.tif").arg(i), i, 3);
        s.select(0);
        s.prev();
        QCOMPARE(s.Selected->currentIndex(), 0);
        s.next();
        s.next();
        s.next();
        QCOMPARE(s.Selected->currentIndex(), 2);
        s.select(-1);
        s.select(3);
        QCOMPARE(s.Selected->currentIndex(), 2);
        s.select(1);
        QCOMPARE(s.Selected->currentIndex(), 1);
    }

    void selectionsAndClear()
    {
        SelectDataFiles s;
        s.show();
        QSignalSpy files(&s, &SelectDataFiles::filesSelected);
        QSignalSpy cleared(&s, &SelectDataFiles::clear);
        emit s.dataFileDialog()->filesSelected({"/a.tif", "/b.tif"});
        QTest::mouseClick(s.AddFiles, Qt::LeftButton);
        QVERIFY(!s.LoadNewFiles->isChecked());
        emit s.dataFileDialog()->filesSelected({"/c.tif"});
        QCOMPARE(files.count(), 2);
        QCOMPARE(files.at(0).at(0).toStringList(), QStringList({"/a.tif", "/b.tif"}));
        QCOMPARE(files.at(0).at(1).toBool(), true);
        QCOMPARE(files.at(1).at(1).toBool(), false);
        QTest::mouseClick(s.Clear, Qt::LeftButton);
        QCOMPARE(cleared.count(), 1);
    }

    void darkAreaSignalsAndLabel()
    {
        SelectDataFiles s;
        QSignalSpy set(&s, &SelectDataFiles::setDarkArea);
        QSignalSpy upd(&s, &SelectDataFiles::updateDarkArea);
        QSignalSpy clr(&s, &SelectDataFiles::clearDarkArea);
        s.additionalSetup().show();
        QTest::mouseClick(s.additionalSetup().SetDA, Qt::LeftButton);
        QTest::mouseClick(s.additionalSetup().UpDateDA, Qt::LeftButton);
        QTest::mouseClick(s.additionalSetup().ClearDA, Qt::LeftButton);
        QCOMPARE(set.count() + upd.count() + clr.count(), 3);
        QCOMPARE(set.count(), 1);

        s.darkArea(QRectF(10.7, 20.2, 5.9, 3.5));
        QCOMPARE(s.additionalSetup().DarkArea->text(), QString("(10,20)-(16,23)"));
        s.additionalSetup().darkArea(QRectF(3.9, -0.5, 10, 10));
        QCOMPARE(s.additionalSetup().DarkArea->text(), QString("(3,0)-(13,9)"));
    }

    void badPixelLists()
    {
        QTemporaryDir dir;
        const QString good = ts::writeIn(dir, "err.dat", "# Size 64 64\n10 20\n11 20\n");
        const QString other = ts::writeIn(dir, "err2.dat", "5 5\n");

        {
            // No "ErrPoints" key: nothing is read and nothing is repaired.
            SelectDataFilesAdditionalSetup a;
            QVERIFY(a.ErrPsFile->text().isEmpty());
            QVERIFY(a.errPoints().points.isEmpty());
            QVERIFY(!a.errPoints().use);
        }

        globalCfg.add("errpoints", good, good);
        SelectDataFilesAdditionalSetup a;
        QCOMPARE(a.ErrPsFile->text(), good);
        QCOMPARE(a.errPoints().points.size(), 2);
        QVERIFY(a.errPoints().use);

        // A file that cannot be read keeps the list in use and its name.
        chooseErrPs(a, dir.filePath("missing.dat"));
        QCOMPARE(a.ErrPsFile->text(), good);
        QCOMPARE(a.errPoints().points.size(), 2);
        QVERIFY(a.errPoints().use);

        a.UseErrPs->setChecked(false);
        QVERIFY(!a.errPoints().use);
        chooseErrPs(a, other);
        QCOMPARE(a.ErrPsFile->text(), other);
        QCOMPARE(a.errPoints().points, QVector<QPoint>({QPoint(5, 5)}));
        QVERIFY(!a.errPoints().use);
        a.UseErrPs->setChecked(true);
        QVERIFY(a.errPoints().use);
    }
};

QTEST_MAIN(TstSelectDataFiles)
#include "tst_selectdatafiles.moc"
