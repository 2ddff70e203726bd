#include "support/Files.h"

#include "core/Cfg.h"
#include "core/ErrPoints.h"
#include "tools/Analyzer2.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestAnalyzer2 : public QObject
{
    Q_OBJECT

private slots:
    // The key absent, naming a list that reads, naming one that does not.
    void errPointsSetup()
    {
        QTemporaryDir dir;
        const QString listPath = dir.filePath("bad.dat");
        QVERIFY(ts::writeFile(listPath, "# Size 6 5\n1 1\n2 3\n"));

        {
            Analyzer2 a;
            ErrPoints e;
            a.setErrPoints(&e);
            Cfg cfg;
            cfg.add("DataRoot", "/d", "/d");
            QVERIFY(!a.setupErrPoints(cfg));
            QVERIFY(a.ErrPMaskFileName->text().isEmpty());
            QVERIFY(a.UseErrPMask->isEnabled() && a.UseErrPMask->isChecked());
            QVERIFY(!e.use);
            // The switch drives the list's flag once set up.
            a.UseErrPMask->setChecked(false);
            a.UseErrPMask->setChecked(true);
            QVERIFY(e.use);
        }
        {
            Analyzer2 a;
            a.show();
            ErrPoints e;
            a.setErrPoints(&e);
            Cfg cfg;
            cfg.add("errPoints", listPath, listPath);
            QVERIFY(a.setupErrPoints(cfg));
            QVERIFY(a.setupErrPoints(cfg));  // a second set-up connects nothing twice
            QVERIFY(e.use);
            QCOMPARE(e.points, (QVector<QPoint>{{1, 1}, {2, 3}}));
            QCOMPARE(a.ErrPMaskFileName->text(), QFileInfo(listPath).canonicalFilePath());
            QVERIFY(a.useErrPMask());
            QSignalSpy toggled(&a, &Analyzer2::useErrPMaskToggled);
            QTest::mouseClick(a.UseErrPMask, Qt::LeftButton);
            QCOMPARE(toggled.count(), 1);
            QVERIFY(!e.use);
            QTest::mouseClick(a.UseErrPMask, Qt::LeftButton);
            QVERIFY(e.use);
        }
        {
            Analyzer2 a;
            ErrPoints e;
            a.setErrPoints(&e);
            Cfg cfg;
            const QString missing = dir.filePath("missing.dat");
            cfg.add("ERRPOINTS", missing, missing);
            QTest::ignoreMessage(QtDebugMsg, qPrintable(QString("Can't Open \"%1\"").arg(missing)));
            QVERIFY(!a.setupErrPoints(cfg));
            QVERIFY(!a.UseErrPMask->isEnabled());
            QVERIFY(!a.useErrPMask());
            QVERIFY(!e.use);
            QVERIFY(a.ErrPMaskFileName->text().isEmpty());
        }
    }
};

QTEST_MAIN(TestAnalyzer2)
#include "tst_analyzer2.moc"
