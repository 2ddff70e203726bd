#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "core/Cfg.h"
#include "mainwindow/EOFSetup.h"
#include "mainwindow/SelectDataFiles.h"
#include "widgets/SelectImgDialog.h"

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QString& body)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Text);
    f.write(body.toUtf8());
    return path;
}

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
    void form()
    {
        SelectDataFiles s;
        QCOMPARE(s.objectName(), QString("SelectDataFiles"));
        QCOMPARE(s.Select->text(), QString("Data Select"));
        QVERIFY(s.LoadNewFiles->isChecked());
        QVERIFY(!s.AddFiles->isChecked());
        QCOMPARE(s.ExpTime->text(), QString("50"));
        QCOMPARE(s.CutFirst->text(), QString("0"));
        QCOMPARE(s.Skip->text(), QString("1"));
        QCOMPARE(s.CutLast->text(), QString("0"));
        QCOMPARE(s.Count->text(), QString("0"));
        QCOMPARE(s.Selected->count(), 0);
        QCOMPARE(s.EngOfFilesSetup->text(), QString("Setup"));
        QCOMPARE(s.AdditionalSetup->text(), QString("Add. Setup"));
        QVERIFY(s.ExpTime->toolTip().contains("exporsure eime"));
        QCOMPARE(s.gridLayout->spacing(), 3);

        SelectImgDialog* d = s.dataFileDialog();
        QVERIFY(d->parent() == nullptr);
        QCOMPARE(d->fileMode(), QFileDialog::ExistingFiles);
        QCOMPARE(d->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(d->nameFilters(), QStringList({"QDRN Files, IMG Files, Tiff Files (*.dat *.img *.tif *.tiff)",
                                                "Any Files (* *.*)"}));
        QVERIFY(s.eofSetup()->parent() == nullptr);

        SelectDataFilesAdditionalSetup& a = s.additionalSetup();
        QCOMPARE(a.windowTitle(), QString("Select Data Files Additional Setup"));
        QVERIFY(a.ShowLatest->isChecked());
        QVERIFY(a.IgnoreLiveFiles->isChecked());
        QCOMPARE(a.IgnoreLiveFiles->text(), QString("Ignore  'Live' file"));
        QVERIFY(a.UseErrPs->isChecked());
        QCOMPARE(a.DarkArea->text(), QString("(-,-)-(-,-)"));
    }

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

    void listFollowsOnlyWithShowLatest()
    {
        SelectDataFiles s;
        for (int i = 0; i < 3; ++i)
            s.addFile(QString("/f%1.tif").arg(i), i, 3);
        QSignalSpy spy(&s, &SelectDataFiles::currentIndexChanged);
        s.setShowLatest(false);
        s.select(2);
        QCOMPARE(spy.count(), 0);
        s.setShowLatest(true);
        s.select(1);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 1);
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

    void energySetters()
    {
        SelectDataFiles s;
        EOFSetup* e = s.eofSetup();
        s.setEngCalcEnd(9500);
        QCOMPARE(e->Delta->text(), QString("1.5"));
        s.setEngCalcDelta(2);
        QCOMPARE(e->End->text(), QString("10000"));
        s.setEngCalcStart(8500.123456);
        QCOMPARE(e->Start->text(), QString("8500.12"));
        QCOMPARE(e->End->text(), QString("10500.1"));
        s.setEngCalcNum(100);
        QCOMPARE(e->NumOfPoints->text(), QString("100"));
        QCOMPARE(e->Delta->text(), QString("19.9998"));  // (10500.1 - 8500.12) / 100
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("refused"));
        s.setEngCalcNum(0);
        QCOMPARE(e->NumOfPoints->text(), QString("100"));
        QCOMPARE(e->Delta->text(), QString("19.9998"));

        s.setEngByNameRegExp("\\d+");
        QCOMPARE(e->Pattern->text(), QString("\\d+"));
        QCOMPARE(e->Factor->text(), QString("1"));
        QCOMPARE(e->PatternList->count(), 10);
        s.setEngByNameFactor(0.5);
        QCOMPARE(e->Factor->text(), QString("0.5"));
        QCOMPARE(s.addFile("/x12.tif", 0, 1), 6.0);

        s.setDispUnit(2);
        QCOMPARE(e->DisplayUnit->currentIndex(), 2);
        s.setDispUnit(3);
        QCOMPARE(e->DisplayUnit->currentIndex(), 2);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("No display unit"));
        s.setDispUnit(-1);
        QCOMPARE(e->DisplayUnit->currentIndex(), 2);
    }

    void modeSettersKeepAChoice()
    {
        SelectDataFiles s;
        EOFSetup* e = s.eofSetup();
        s.setEngByName(false);
        QVERIFY(e->FromFileName->isChecked());
        s.setEngByCalc(true);
        QVERIFY(e->FromFileNum->isChecked() && !e->FromFileName->isChecked());
        s.setEngByCalc(false);
        QVERIFY(e->FromFileNum->isChecked());
        s.setEvenInEng(true);
        QVERIFY(e->EvenInEnergy->isChecked());
        s.setEvenInEng(false);
        QVERIFY(e->EvenInEnergy->isChecked());
        s.setEvenInDeg(true);
        QVERIFY(e->EvenInAngle->isChecked());
    }

    void referenceSetter()
    {
        QTemporaryDir dir;
        SelectDataFiles s;
        EOFSetup* e = s.eofSetup();
        const QString ref = writeFile(dir, "ref.dat", "head\n14\n13\n");
        QTest::ignoreMessage(QtDebugMsg, "reading simple");
        s.setEngByRef(ref);
        QVERIFY(e->FromRefFile->isChecked());
        QCOMPARE(e->RefFilePath->text(), ref);
        QCOMPARE(e->refEnergies().size(), 2);

        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Can't open ref file"));
        s.setEngByRef(dir.filePath("gone.dat"));
        QCOMPARE(e->RefFilePath->text(), ref);

        s.setEngByRef("");
        QVERIFY(e->RefFilePath->text().isEmpty());
        QVERIFY(e->FromRefFile->isChecked());
        QCOMPARE(e->refEnergies().size(), 2);
    }

    void exposureField()
    {
        SelectDataFiles s;
        s.setExpTimeMS(123.4567, false);
        QCOMPARE(s.ExpTime->text(), QString("123.457"));
        QCOMPARE(s.ExpTime->styleSheet(), QString(pinkStyle));
        s.setExpTimeMS(50, true);
        QCOMPARE(s.ExpTime->styleSheet(), QString(whiteStyle));
        s.setSkip(3);
        s.setCutF(1);
        s.setCutL(2);
        QCOMPARE(s.Skip->text() + s.CutFirst->text() + s.CutLast->text(), QString("312"));
    }

    void badPixelLists()
    {
        QTemporaryDir dir;
        const QString good = writeFile(dir, "err.dat", "# Size 64 64\n10 20\n11 20\n");
        const QString other = writeFile(dir, "err2.dat", "5 5\n");

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
