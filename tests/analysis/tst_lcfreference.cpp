// The reference spectra of the analysis panel: a reference row of the
// linear-combination fits (the file it reads, how it is normalised, its
// energy shift) and the edge-comparison reference and search; files that give
// no spectrum and values that cannot be used are refused.
#include "analysis/Analyzer.h"
#include "analysis/LCFReference.h"
#include "widgets/XafsFileSelect.h"

#include "core/XafsSpectrum.h"
#include "support/EdgeSpectra.h"
#include "support/Files.h"
#include "support/Spectra.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace
{
// The spectrum the row should hold: the file read and normalised apart from
// any row.
XafsSpectrum expected(const QString& path, int lineType)
{
    XafsSpectrum x;
    if (x.load(path)) x.calc(lineType);
    return x;
}

void typeInto(QLineEdit* e, const QString& text)
{
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, text);
    QTest::keyClick(e, Qt::Key_Return);
}
}  // namespace

class TestLCFReference : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    // An edge of jump 1 at 7112 eV.
    const Spectrum src = synth::edgeSpectrum(6900, 7500, 2);

    // One panel for every row: each row sets what it reads first.
    std::unique_ptr<Analyzer> panel;
    Analyzer& analyzer()
    {
        if (!panel) panel.reset(new Analyzer);
        return *panel;
    }

    QString goodFile()
    {
        const QString path = dir.filePath("ref.dat");
        return ts::writeSpectrum(path, src) ? path : QString();
    }

private slots:
    void cleanupTestCase() { panel.reset(); }

    void loadsAndNormalises()
    {
        const QString path = goodFile();
        LCFReference row;
        QSignalSpy loaded(&row, &LCFReference::newFileSelected);
        row.XFS->load(path);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(row.spectrum().points, src.points);
        QVERIFY(std::fabs(row.dMut - 1) < 0.3 && std::fabs(row.midx - 7112) < 3);
        // Victoreen lines on the box: what a fit reads is the same points
        // normalised with type 0.
        row.IsVictreen->setChecked(true);
        const XafsSpectrum vic = expected(path, 0);
        const LcfRefSnapshot snap = row.snapshot();
        QVERIFY(snap.use);
        QCOMPARE(QPointF(snap.minX, snap.maxX), QPointF(6900, 7500));
        QCOMPARE(snap.preBase.points, vic.doubleNormalizedPreBaseCurve.points);
        QCOMPARE(snap.postBase.points, vic.doubleNormalizedPostBaseCurve.points);
        QTest::mouseClick(row.XFS->Use, Qt::LeftButton, Qt::NoModifier, QPoint(6, row.XFS->Use->height() / 2));
        QVERIFY(!row.snapshot().use);
    }

    // A file that gives no spectrum, first and after a good one: the row
    // goes on naming and using the file it really holds.
    void unreadableFileKeepsRow_data()
    {
        QTest::addColumn<QByteArray>("bytes");  // empty: no file at all
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("header only") << QByteArray("# E mu\n");
        QTest::newRow("words only") << QByteArray("Energy mu\nnone yet\n");
        QTest::newRow("angle file without data") << QByteArray("9809 scan\nD= 3.1355\nOffset\n");
    }
    void unreadableFileKeepsRow()
    {
        QFETCH(QByteArray, bytes);
        const QString bad = dir.filePath("bad.dat");
        QFile::remove(bad);
        if (!bytes.isEmpty()) QVERIFY(ts::writeFile(bad, bytes));
        LCFReference row;
        QSignalSpy loaded(&row, &LCFReference::newFileSelected);
        row.XFS->load(bad);
        QCOMPARE(loaded.count(), 0);
        QVERIFY(row.spectrum().isEmpty());
        QCOMPARE(row.XFS->Selected->text(), QString());
        QVERIFY(!row.XFS->fileChosen && !row.inUse());

        const QString good = goodFile();
        row.XFS->load(good);
        const QString dmut = row.DMut->text();
        row.XFS->load(bad);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(row.points, src.points);
        QCOMPARE(row.DMut->text(), dmut);
        QCOMPARE(row.XFS->Selected->text(), good);
        QCOMPARE(row.loadedFile(), good);
        QVERIFY(row.XFS->fileChosen && row.inUse());
    }

    void energyShift()
    {
        LCFReference row;
        QVERIFY(row.newFile(goodFile()));
        QSignalSpy shifted(&row, &LCFReference::newDeltaE);
        row.show();
        for (const QString& typed : {QString("1.5"), QString("abc")}) {
            typeInto(row.DeltaE, typed);
            const double dE = typed == "abc" ? 0 : 1.5;
            QCOMPARE(row.energyOffset, dE);
            QCOMPARE(row.snapshot().dE, dE);
            // Point energies are read less the shift.
            QCOMPARE(row.spectrum().xAt(10), src.points[10].x() - dE);
            QVERIFY(std::fabs(row.spectrum().y(7101.0 - dE) - src.y(7101.0)) < 1e-9);
        }
        QCOMPARE(shifted.count(), 2);
    }

    // A second file that gives no spectrum: the selector goes back to the
    // file whose spectrum is still the comparison reference.
    void comparisonReferenceFile_data()
    {
        QTest::addColumn<QByteArray>("second");  // empty: no file at all
        QTest::addColumn<bool>("taken");
        QString text;
        for (const QPointF& p : edges::Edge{9010}.sample(8800, 9200, 1).points)
            text += QString("%1 %2\n").arg(p.x(), 0, 'g', 17).arg(p.y(), 0, 'g', 17);
        QTest::newRow("readable (control)") << text.toUtf8() << true;
        QTest::newRow("no numbers") << QByteArray("# header\nenergy\nmu\n") << false;
        QTest::newRow("angle file without data lines") << QByteArray("9809 scan\nD= 3.1\nOffset\n") << false;
        QTest::newRow("missing file") << QByteArray() << false;
    }
    void comparisonReferenceFile()
    {
        QFETCH(QByteArray, second);
        QFETCH(bool, taken);
        const QString first = dir.filePath("first.dat"), other = dir.filePath("second.dat");
        QVERIFY(ts::writeSpectrum(first, edges::Edge{9000}.sample(8800, 9200, 1)));
        QFile::remove(other);
        if (!second.isEmpty()) QVERIFY(ts::writeFile(other, second));
        Analyzer& a = analyzer();
        a.DEdgeCWFileSelect->fileSelected(first);
        QVERIFY(std::fabs(a.dEdgeRef.midx - 9000) < 0.05);
        a.DEdgeCWFileSelect->fileSelected(other);
        QCOMPARE(a.DEdgeCWFileSelect->Selected->text(), taken ? other : first);
        QVERIFY(std::fabs(a.dEdgeRef.midx - (taken ? 9010 : 9000)) < 0.05);
        QCOMPARE(a.dEdgeRef.size(), 401);
    }

    // Typed search values: steps that cannot scan are refused and the field
    // shows the value in use again.
    void comparisonSearch_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QVector<double>>("search");  // range, step, minimum step
        const QVector<double> kept{20, 1, 0.1};
        QTest::newRow("step 0.5 (control)") << "DEdgeCWInitDEeV" << "0.5" << QVector<double>{20, 0.5, 0.1};
        QTest::newRow("range 40 (control)") << "DEdgeCWFullRangeEV" << "40" << QVector<double>{40, 1, 0.1};
        QTest::newRow("step 0") << "DEdgeCWInitDEeV" << "0" << kept;
        QTest::newRow("step not a number") << "DEdgeCWInitDEeV" << "abc" << kept;
        QTest::newRow("minimum step 0") << "DEdgeCWMinDEeV" << "0" << kept;
        QTest::newRow("minimum above step") << "DEdgeCWMinDEeV" << "2" << kept;
        QTest::newRow("negative range") << "DEdgeCWFullRangeEV" << "-5" << kept;
        QTest::newRow("range far too wide") << "DEdgeCWFullRangeEV" << "1e12" << kept;
    }
    void comparisonSearch()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QVector<double>, search);
        Analyzer& a = analyzer();
        a.show();
        a.DEdgeCWFullRangeEV->setText("20");
        a.DEdgeCWInitDEeV->setText("1");
        a.DEdgeCWMinDEeV->setText("0.1");
        a.initAnalyzeSpectrum();
        QLineEdit* e = a.findChild<QLineEdit*>(field);
        QVERIFY(e);
        const QString before = e->text();
        typeInto(e, typed);
        a.initAnalyzeSpectrum();
        QCOMPARE((QVector<double>{a.cwRangeEV, a.cwInitDEeV, a.cwMinDEeV}), search);
        QCOMPARE(e->text(), (search == QVector<double>{20, 1, 0.1}) ? before : typed);
    }
};

QTEST_MAIN(TestLCFReference)
#include "tst_lcfreference.moc"
