#include "analysis/AElemsConds.h"
#include "analysis/ElemCtrl.h"
#include "analysis/ElemList.h"
#include "analysis/ElementAnalysis.h"
#include "analysis/FieldText.h"

#include "core/Elements.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTranslator>
#include <QtTest>

#include <cmath>

namespace
{
double keV(int Z, int edge) { return victoreenTable[Z].edge[edge] * 1000; }

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

    void parseList()
    {
        QVector<ElemListEntry> e = ElemList::parse("Fe, Cu-L3");
        QCOMPARE(e.size(), 2);
        QCOMPARE(e[0].name, QString("Fe-K"));
        QCOMPARE(e[0].Z, 26);
        QCOMPARE(e[0].edgeIndex, 0);
        QCOMPARE(e[1].name, QString("Cu-L3"));
        QCOMPARE(e[1].Z, 29);
        QCOMPARE(e[1].edgeIndex, 3);

        const auto names = [](const QString& t) {
            QStringList n;
            for (const ElemListEntry& x : ElemList::parse(t)) n << x.name;
            return n;
        };
        QCOMPARE(names("Fe,,Cu"), names("Fe Cu"));
        QCOMPARE(names("  Fe \t Cu ,"), QStringList({"Fe-K", "Cu-K"}));
        QVERIFY(names("fe").isEmpty());
        QVERIFY(names("Xx").isEmpty());
        QVERIFY(names("").isEmpty());
        QVERIFY(names(" , ").isEmpty());
        QVERIFY(names("-Fe").isEmpty());
        QCOMPARE(names("Ni-LII Zn-l1 Mn-Q"), QStringList({"Ni-LII", "Zn-l1", "Mn-Q"}));
        e = ElemList::parse("Ni-LII Zn-l1 Mn-Q Cu-L2-x");
        QCOMPARE(e[0].edgeIndex, 2);
        QCOMPARE(e[1].edgeIndex, 1);
        QCOMPARE(e[2].edgeIndex, 0);
        QCOMPARE(e[3].symbol, QString("Cu"));
        QCOMPARE(e[3].edgeText, QString("L2-x"));
        QCOMPARE(e[3].edgeIndex, 0);
        QCOMPARE(e[3].name, QString("Cu-L2-x"));
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
        QCOMPARE(fe->Name->text(), QString("Fe-K"));
        QCOMPARE(fe->No->text(), QString("26"));
        QCOMPARE(fe->atomicNumber, 26);
        QCOMPARE(fe->edgeIndex, 0);
        QCOMPARE(fe->Eng->text(), QString::number(keV(26, 0), 'g', 6));
        QVERIFY(keV(26, 0) > 7000 && keV(26, 0) < 7200);
        QCOMPARE(cu->Name->text(), QString("Cu-L3"));
        QCOMPARE(cu->edgeIndex, 3);
        QCOMPARE(cu->Eng->text(), QString::number(keV(29, 3), 'g', 6));
        QCOMPARE(cu->maps[6].name, QString("Cu-L3 Elem Ctrl NROI"));
        QCOMPARE(grid->itemAtPosition(0, 0)->widget(), fe);
        QCOMPARE(grid->itemAtPosition(1, 0)->widget(), cu);
        QVERIFY(fe->MainTarget->isChecked() && fe->Show->isChecked());
        QCOMPARE(list.mainTargetGroup->id(cu->MainTarget), 1);
        QCOMPARE(list.elemShowGroup->id(cu->Show), 1);
        QVERIFY(list.mainTargetGroup->exclusive() && list.elemShowGroup->exclusive());
        QVERIFY(!list.mainTargetGroup->parent() && !list.elemShowGroup->parent());
        QCOMPARE(list.names(), QStringList({"Fe-K", "Cu-L3"}));

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
        QCOMPARE(list.elemCtrls[1]->muPlus, 12.0);
        QCOMPARE(list.elemCtrls[1]->muMinus, 13.0);
        QCOMPARE(list.elemCtrls[1]->DE->text(), QString("14"));
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
        QCOMPARE(list.elemCtrls[0]->StdRatio->text(), QString("0.75"));
        QCOMPARE(list.elemCtrls[1]->StdRatio->text(), QString("0.333333"));
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
