#include "analysis/LCFReference.h"

#include "core/XafsSpectrum.h"
#include "support/Files.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace
{
// mu(E) of an edge at 7112 eV over a falling background.
Spectrum edge(double shift = 0)
{
    Spectrum s;
    for (double E = 6900; E <= 7500; E += 2)
        s.append(E, 1.2 - 1e-4 * (E - 6900) + 0.5 + std::atan((E - 7112 - shift) / 3) / M_PI);
    return s;
}

QString writeMuFile(const QTemporaryDir& dir, const QString& name, const Spectrum& s)
{
    const QString path = dir.filePath(name);
    return ts::writeSpectrum(path, s) ? path : QString();
}

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

private slots:
    void loadsFile()
    {
        const Spectrum src = edge();
        const QString path = writeMuFile(dir, "ref.dat", src);
        QVERIFY(!path.isEmpty());
        LCFReference row;
        QSignalSpy loaded(&row, &LCFReference::newFileSelected);
        row.XFS->load(path);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(row.loadedFile(), path);
        QCOMPARE(row.spectrum().size(), src.size());
        QCOMPARE(row.spectrum().points.last().x(), 7500.0);
        const XafsSpectrum straight = expected(path, 1);
        QVERIFY(straight.dMut > 0.5 && straight.dMut < 1.5);
        QVERIFY(std::abs(straight.midx - 7112) < 3);
        QCOMPARE(row.dMut, straight.dMut);
        QCOMPARE(row.midx, straight.midx);
        QVERIFY(row.inUse());

        // Victoreen lines on the box: the same points normalised with type 0.
        row.IsVictreen->setChecked(true);
        const XafsSpectrum vic = expected(path, 0);
        QCOMPARE(row.dMut, vic.dMut);
        QCOMPARE(row.midx, vic.midx);
        QCOMPARE(row.doubleNormalizedPreBaseCurve.points, vic.doubleNormalizedPreBaseCurve.points);

        // The snapshot carries what a fit reads, by value.
        LcfRefSnapshot snap = row.snapshot();
        QVERIFY(snap.use);
        QCOMPARE(snap.minX, 6900.0);
        QCOMPARE(snap.maxX, 7500.0);
        QCOMPARE(snap.dE, 0.0);
        QCOMPARE(snap.preBase.points, vic.doubleNormalizedPreBaseCurve.points);
        QCOMPARE(snap.postBase.points, vic.doubleNormalizedPostBaseCurve.points);
        row.setRatio(0.4);
        QCOMPARE(row.snapshot().fraction, 0.4);
        QCOMPARE(snap.fraction, 0.0);

        QTest::mouseClick(row.XFS->Use, Qt::LeftButton, Qt::NoModifier, QPoint(6, row.XFS->Use->height() / 2));
        QVERIFY(!row.inUse());
        QVERIFY(!row.snapshot().use);
    }

    void failedLoadKeepsRow()
    {
        LCFReference row;
        QSignalSpy loaded(&row, &LCFReference::newFileSelected);
        row.XFS->load(dir.filePath("missing.dat"));
        QCOMPARE(loaded.count(), 0);
        QVERIFY(row.spectrum().isEmpty());
        QVERIFY(!row.XFS->fileChosen);
        QCOMPARE(row.XFS->Selected->text(), QString());
        QVERIFY(!row.inUse());

        const QString good = writeMuFile(dir, "good.dat", edge());
        row.XFS->load(good);
        QCOMPARE(loaded.count(), 1);
        const QString dmut = row.DMut->text();
        const QVector<QPointF> pts = row.points;

        // An unreadable file must not stand in the row's name for the old data.
        const QString empty = writeMuFile(dir, "empty.dat", Spectrum());
        QVERIFY(!row.newFile(empty));
        row.XFS->load(dir.filePath("missing.dat"));
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(row.points, pts);
        QCOMPARE(row.DMut->text(), dmut);
        QCOMPARE(row.XFS->Selected->text(), good);
        QVERIFY(row.XFS->fileChosen);
        QCOMPARE(row.loadedFile(), good);
        QVERIFY(row.inUse());
    }

    void energyShift()
    {
        const Spectrum src = edge();
        LCFReference row;
        QVERIFY(row.newFile(writeMuFile(dir, "shift.dat", src)));
        QSignalSpy shifted(&row, &LCFReference::newDeltaE);
        row.show();
        typeInto(row.DeltaE, "1.5");
        QCOMPARE(shifted.count(), 1);
        QCOMPARE(row.xShift, 1.5);
        QCOMPARE(row.energyOffset, 1.5);
        QCOMPARE(row.snapshot().dE, 1.5);
        // Point energies are read less the shift.
        QCOMPARE(row.spectrum().xAt(10), src.points[10].x() - 1.5);
        QVERIFY(std::abs(row.spectrum().y(7101.0 - 1.5) - src.y(7101.0)) < 1e-9);

        typeInto(row.DeltaE, "abc");
        QCOMPARE(shifted.count(), 2);
        QCOMPARE(row.xShift, 0.0);
        QCOMPARE(row.energyOffset, 0.0);
    }

};

QTEST_MAIN(TestLCFReference)
#include "tst_lcfreference.moc"
