// Dark areas taken from a selection: the selection there was before comes
// back afterwards, and with none before, no selection is left to be taken
// for the other stack's dark area by mistake.
#include <QtTest>

#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "support/BodyStack.h"
#include "widgets/ImgDispA.h"

class TstDarkAreas : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initGlobals(); }

    void darkAreaLeavesTheSelectionBefore_data()
    {
        QTest::addColumn<bool>("selectedBefore");
        QTest::addColumn<bool>("selectAgain");
        QTest::addColumn<bool>("i0Set");
        QTest::newRow("one selection, both dark areas") << false << false << false;
        QTest::newRow("selected again for I0") << false << true << true;
        QTest::newRow("an area before comes back") << true << false << true;
    }

    void darkAreaLeavesTheSelectionBefore()
    {
        QFETCH(bool, selectedBefore);
        QFETCH(bool, selectAgain);
        QFETCH(bool, i0Set);
        Body b;
        ts::StackSpec spec;
        // Sample counts above, dark counts (50) in the bottom three rows.
        spec.i1 = [](int, int, int r) { return r >= 6 ? 50.0 : 4000.0; };
        spec.i0 = [](int, int, int r) { return r >= 6 ? 50.0 : 9000.0; };
        ts::loadStack(b, spec);
        if (selectedBefore) b.dispA->setSelectedArea(2, 1, 9, 4);
        b.dispA->setSelectedArea(0, 6, 11, 8);
        b.setI1DarkArea();
        QVERIFY(b.i1DarkAreaSet);
        QCOMPARE(b.i1DarkAreaValues.value(0), 50.0);
        QCOMPARE(b.dispA->areaValid, selectedBefore);
        if (selectAgain) b.dispA->setSelectedArea(0, 6, 11, 8);
        b.setI0DarkArea();
        QCOMPARE(b.i0DarkAreaSet, i0Set);
        // Taken from the area selected again, or from the one that came back.
        if (b.i0DarkAreaSet) QCOMPARE(b.i0DarkAreaValues.value(0), selectAgain ? 50.0 : 9000.0);
    }
};

QTEST_MAIN(TstDarkAreas)
#include "tst_darkareas.moc"
