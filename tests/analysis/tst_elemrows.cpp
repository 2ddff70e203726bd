#include "analysis/ElemCtrl.h"
#include "analysis/ElemList.h"
#include "analysis/ElementAnalysis.h"

#include "core/Elements.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

namespace
{
// Posted deletions run here, as the event loop would run them.
void runDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
}  // namespace

class TestElemRows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { loadVictoreenTable(); }

    // Each entry as name:Z:edge index.
    void parseList_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("entries");
        QTest::newRow("K by default, L3") << "Fe, Cu-L3" << "Fe-K:26:0 Cu-L3:29:3";
        QTest::newRow("empty items") << "Fe,,Cu" << "Fe-K:26:0 Cu-K:29:0";
        QTest::newRow("blanks and tabs") << "  Fe \t Cu ," << "Fe-K:26:0 Cu-K:29:0";
        QTest::newRow("small letters") << "fe" << "";
        QTest::newRow("no element") << "Xx" << "";
        QTest::newRow("nothing") << " , " << "";
        QTest::newRow("leading dash") << "-Fe" << "";
        QTest::newRow("edge words") << "Ni-LII Zn-l1 Mn-Q Cu-L2-x" << "Ni-LII:28:2 Zn-l1:30:1 Mn-Q:25:0 Cu-L2-x:29:0";
    }
    void parseList()
    {
        QFETCH(QString, text);
        QFETCH(QString, entries);
        QStringList got;
        for (const ElemListEntry& e : ElemList::parse(text))
            got << QString("%1:%2:%3").arg(e.name).arg(e.Z).arg(e.edgeIndex);
        QCOMPARE(got.join(' '), entries);
    }

    void rowsFromList()
    {
        QWidget panel;
        auto* grid = new QGridLayout(&panel);
        ElemList list;
        list.baseLayout = grid;
        QVERIFY(!list.mainTargetGroup && !list.elemShowGroup);
        QCOMPARE(list.mainTarget(), 0);

        list.newElems("Fe, Cu-L3", false);
        QCOMPARE(list.elemCtrls.size(), 2);
        ElemCtrl* fe = list.elemCtrls[0];
        ElemCtrl* cu = list.elemCtrls[1];
        // Fe K near 7112 eV, Cu L3 near 933 eV (tables differ by a few eV).
        QVERIFY(std::fabs(fe->Eng->text().toDouble() - 7112) < 1);
        QVERIFY2(std::fabs(cu->Eng->text().toDouble() - 933) < 3, qPrintable(cu->Eng->text()));
        QCOMPARE(grid->itemAtPosition(1, 0)->widget(), cu);
        QVERIFY(fe->MainTarget->isChecked() && fe->Show->isChecked());

        // The view reads the current rows whenever it paints.
        const ElemRowsProvider provider = list.rowInfoProvider();
        QCOMPARE(provider().size(), 2);
        cu->Eng->setText("931.5");
        QCOMPARE(provider()[1].energy(), 931.5);
        QCOMPARE(provider()[1].name, QString("Cu-L3"));

        // Rebuilding: the old rows and groups go only when the event loop runs,
        // and a shown map is chosen again while they still exist.
        QPointer<ElemCtrl> oldRow(fe);
        QPointer<QButtonGroup> oldGroup(list.mainTargetGroup);
        const int gen = list.generation();
        bool oldAliveAtSelection = false;
        connect(&list, &ElemList::changedSelection, this, [&] {
            oldAliveAtSelection = !oldRow.isNull() && list.elemCtrls.size() == 1
                                  && list.elemCtrls[0]->Name->text() == "Zn-K";
        });
        list.newElems("Zn", false);
        QVERIFY(oldAliveAtSelection);
        disconnect(&list, &ElemList::changedSelection, this, nullptr);
        QCOMPARE(list.generation(), gen + 1);
        QVERIFY(oldRow && oldGroup);
        QVERIFY(!oldRow->isVisibleTo(&panel));
        QVERIFY(list.mainTargetGroup != oldGroup);
        runDeferredDeletes();
        QVERIFY(!oldRow && !oldGroup);
        QCOMPARE(list.elemCtrls.size(), 1);
        QCOMPARE(grid->itemAtPosition(0, 0)->widget(), list.elemCtrls[0]);
        QVERIFY(!grid->itemAtPosition(1, 0));
        QCOMPARE(provider().size(), 1);

        list.newElems("", false);
        QVERIFY(list.elemCtrls.isEmpty());
        QVERIFY(list.mainTargetGroup && list.elemShowGroup);
        QVERIFY(list.mainTargetGroup->buttons().isEmpty());
        QVERIFY(list.elemShowGroup->buttons().isEmpty());
        QCOMPARE(list.mainTarget(), 0);
        QVERIFY(list.snapshots().isEmpty());
        runDeferredDeletes();

        // Beyond the edge table: the row is made and shows no energy.
        list.newElems("D", false);
        QCOMPARE(list.elemCtrls.size(), 1);
        QCOMPARE(list.elemCtrls[0]->Eng->text(), QString("0"));
        runDeferredDeletes();
    }

    void answersAndStandards()
    {
        ElemList list;
        list.newElems("Fe Cu Zn", false);
        ElemsResult r;
        for (int k = 0; k < ElemKindCount; ++k) r.kinds[k] = {1.0 + k, 10.0 + k};  // two rows' worth
        QVERIFY(!list.showResults(r));
        QCOMPARE(list.elemCtrls[0]->dmut, 1.0);
        QCOMPARE(list.elemCtrls[1]->ratio, 11.0);
        QCOMPARE(list.elemCtrls[1]->NROI->text(), QString("16"));
        QCOMPARE(list.elemCtrls[2]->DMuT->text(), QString("0.0"));  // no value for it
        QVERIFY(!list.showResults(ElemsResult()));
        r.kinds[ElemKindMM].append(0.5);
        QVERIFY(!list.showResults(r));  // one kind longer is not enough
        for (int k = 0; k < ElemKindCount; ++k) r.kinds[k].resize(3);
        QVERIFY(list.showResults(r));
        QCOMPARE(list.elemCtrls[2]->muMinus, 0.5);

        list.elemCtrls[0]->ratio = 0.75;
        list.elemCtrls[1]->ratio = 1.0 / 3;
        list.setElemsStd();
        QCOMPARE(list.elemCtrls[0]->stdRatio, 0.75);
        QCOMPARE(list.elemCtrls[2]->stdRatio, 0.0);
    }

    void providerOutlivesList()
    {
        ElemRowsProvider provider;
        {
            ElemList list;
            list.newElems("Fe", false);
            provider = list.rowInfoProvider();
            QCOMPARE(provider().size(), 1);
        }
        QVERIFY(provider().isEmpty());
    }
};

QTEST_MAIN(TestElemRows)
#include "tst_elemrows.moc"
