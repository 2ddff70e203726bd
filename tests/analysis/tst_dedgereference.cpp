#include "support/EdgeSpectra.h"
#include "support/Files.h"
#include "analysis/Analyzer.h"
#include "widgets/XafsFileSelect.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

// The edge-comparison reference and search of the analysis panel: what the
// panel shows is what the comparison uses.
class TestDEdgeReference : public QObject
{
    Q_OBJECT

private slots:
    // A second file that gives no spectrum: the selector goes back to the
    // file whose spectrum is still the reference.
    void referenceFile_data()
    {
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<bool>("taken");
        QString text;
        for (const QPointF& p : edges::Edge{9010}.sample(8800, 9200, 1).points)
            text += QString("%1 %2\n").arg(p.x(), 0, 'g', 17).arg(p.y(), 0, 'g', 17);
        QTest::newRow("readable (control)") << text.toUtf8() << true;
        QTest::newRow("no numbers") << QByteArray("# header\nenergy\nmu\n") << false;
        QTest::newRow("angle file without data lines") << QByteArray("9809 scan\nD= 3.1\nOffset\n")
                                                       << false;
        QTest::newRow("missing file") << QByteArray() << false;
    }
    void referenceFile()
    {
        QFETCH(QByteArray, second);
        QFETCH(bool, taken);
        QTemporaryDir dir;
        const QString first = dir.filePath("first.dat");
        QVERIFY(ts::writeSpectrum(first, edges::Edge{9000}.sample(8800, 9200, 1)));
        const QString other = dir.filePath("second.dat");
        if (!second.isEmpty()) QVERIFY(ts::writeFile(other, second));

        Analyzer a;
        a.DEdgeCWFileSelect->fileSelected(first);
        QVERIFY(std::fabs(a.dEdgeRef.midx - 9000) < 0.05);
        a.DEdgeCWFileSelect->fileSelected(other);
        QCOMPARE(a.DEdgeCWFileSelect->Selected->text(), taken ? other : first);
        QVERIFY(std::fabs(a.dEdgeRef.midx - (taken ? 9010 : 9000)) < 0.05);
        QCOMPARE(a.dEdgeRef.size(), 401);
    }

    // Search values typed into the form: steps that cannot scan are refused
    // and the field shows the value in use again.
    void searchFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("range");
        QTest::addColumn<double>("step");
        QTest::addColumn<double>("minStep");
        // Form defaults: range 20, step 1, minimum step 0.1.
        QTest::newRow("step 0.5 (control)") << "DEdgeCWInitDEeV" << "0.5" << 20.0 << 0.5 << 0.1;
        QTest::newRow("range 40 (control)") << "DEdgeCWFullRangeEV" << "40" << 40.0 << 1.0 << 0.1;
        QTest::newRow("step 0") << "DEdgeCWInitDEeV" << "0" << 20.0 << 1.0 << 0.1;
        QTest::newRow("step not a number") << "DEdgeCWInitDEeV" << "abc" << 20.0 << 1.0 << 0.1;
        QTest::newRow("negative step") << "DEdgeCWInitDEeV" << "-1" << 20.0 << 1.0 << 0.1;
        QTest::newRow("minimum step 0") << "DEdgeCWMinDEeV" << "0" << 20.0 << 1.0 << 0.1;
        QTest::newRow("minimum above step") << "DEdgeCWMinDEeV" << "2" << 20.0 << 1.0 << 0.1;
        QTest::newRow("negative range") << "DEdgeCWFullRangeEV" << "-5" << 20.0 << 1.0 << 0.1;
        QTest::newRow("range far too wide") << "DEdgeCWFullRangeEV" << "1e12" << 20.0 << 1.0 << 0.1;
    }
    void searchFields()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(double, range);
        QFETCH(double, step);
        QFETCH(double, minStep);
        Analyzer a;
        a.show();
        QLineEdit* e = a.findChild<QLineEdit*>(field);
        QVERIFY(e);
        const QString before = e->text();
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, typed);
        QTest::keyClick(e, Qt::Key_Return);
        a.initAnalyzeSpectrum();
        QCOMPARE(a.cwRangeEV, range);
        QCOMPARE(a.cwInitDEeV, step);
        QCOMPARE(a.cwMinDEeV, minStep);
        const bool refused = range == 20 && step == 1 && minStep == 0.1;
        QCOMPARE(e->text(), refused ? before : typed);
    }
};

QTEST_MAIN(TestDEdgeReference)
#include "tst_dedgereference.moc"
