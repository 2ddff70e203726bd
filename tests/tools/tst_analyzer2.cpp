#include "support/Files.h"
#include "support/Frames.h"

#include "core/AnalyzeCond.h"
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
#include <QTranslator>

namespace {

// Runs the test body in dir and goes back afterwards.
struct InDir
{
    QString previous = QDir::currentPath();
    explicit InDir(const QString& dir) { QDir::setCurrent(dir); }
    ~InDir() { QDir::setCurrent(previous); }
};

}  // namespace

class TestAnalyzer2 : public QObject
{
    Q_OBJECT

private slots:
    // The key absent, naming a list that reads, naming one that does not.
    void errPointsSetup()
    {
        QTemporaryDir dir;
        const QString listPath = dir.filePath("bad.dat");
        QFile f(listPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("# Size 6 5\n1 1\n2 3\n");
        f.close();

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

    // The button, connected as the owner does, checks the stack it was given
    // with the field values, into the current folder.
    void darkCheckFromTheForm()
    {
        QTemporaryDir dir;
        InDir in(dir.path());
        Analyzer2 a;
        a.show();
        ErrPoints e;
        e.points = {{1, 1}, {0, 1}};
        a.setErrPoints(&e);
        connect(&a, &Analyzer2::askedDarkCheck, &a, &Analyzer2::darkCheck);

        QTest::ignoreMessage(QtDebugMsg, "Dark check: no I1 image");
        QTest::mouseClick(a.DarkCheck, Qt::LeftButton);
        QVector<TiffData*> none;
        a.setI1Images(&none);
        QTest::ignoreMessage(QtDebugMsg, "Dark check: no I1 image");
        QVERIFY(!a.darkCheck());
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());

        ts::Stack s;
        s.add(ts::frame(TiffData::UInt16, 3, 2, [](int c, int r) { return r == 1 && c == 1 ? 900 : 10 * c; }));
        s.add(ts::frame(TiffData::UInt16, 3, 2, [](int c, int) { return 500 + c; }));
        a.setI1Images(&s.frames);
        a.DarkTh->setText("15");
        a.HistgMax->setText("1000");
        a.HistgBins->setText("4");
        QTest::mouseClick(a.DarkCheck, Qt::LeftButton);
        QCOMPARE(ts::readAll("dark-hg-all.dat"),
                 QByteArray("# min, max = (0, 1000)  bins = 4\n0\t0\t5\n1\t250\t0\n2\t500\t6\n"
                            "3\t750\t1\n4\t1000\t0\n"));
        QCOMPARE(ts::readAll("dark-allDarkPoints.dat"),
                 QByteArray("# Size 3\t2\n2\t0\t522\n1\t1\t1401\n2\t1\t522\n"));
        QCOMPARE(ts::readAll("dark-allDarkPointNums.dat"), QByteArray("0\t3\n1\t3\n"));
        QCOMPARE(ts::readAll("dark-allDarkPoints-onlyInPs1.dat"), QByteArray("2\t0\n2\t1\n"));
        QCOMPARE(ts::readAll("dark-allDarkPoints-onlyInErrPs.dat"), QByteArray("0\t1\n"));

        // Text that is no number reads as 0: no bins, every value above 0.
        a.HistgBins->setText("many");
        a.DarkTh->setText("none");
        QVERIFY(a.darkCheck());
        QCOMPARE(ts::readAll("dark-hg-all.dat"), QByteArray("# min, max = (0, 1000)  bins = 0\n0\t0\t12\n"));
        QCOMPARE(ts::readAll("dark-allDarkPointNums.dat"), QByteArray("0\t4\n1\t4\n"));
    }
};

QTEST_MAIN(TestAnalyzer2)
#include "tst_analyzer2.moc"
