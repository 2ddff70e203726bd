// Element steps: the step, edge and ROI values of a spectrum worked out by
// hand, the correlation, and the panel rows that feed and show them.
#include "analysis/ElemCtrl.h"
#include "analysis/ElemList.h"
#include "analysis/ElementAnalysis.h"

#include "core/Elements.h"
#include "support/Spectra.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QPointer>
#include <QtTest>

#include <cmath>

// Expected: step, mu above, mu below, edge offset, ROI, normalised ROI; the
// step is taken +-20 eV about e0.
struct Row
{
    QString shape;
    double e0, th, roiStart, roiEnd;
    bool noNeg;
    ElemBackground bg;  // step, edge offset, ROI, normalised ROI
    QVector<double> expected;
};
Q_DECLARE_METATYPE(Row)

struct Correlation
{
    QVector<double> a, b;
    QVector<bool> use;
    double c;
};
Q_DECLARE_METATYPE(Correlation)

namespace {

// Spectra 1 eV apart from 6900 to 7300 eV, by name.
Spectrum spectrum(const QString& name)
{
    Spectrum s;
    if (name == "one point") s.append(7000, 1);
    if (name == "one point" || name == "empty") return s;
    return synth::sample(6900, 7300, 1, [&name](double E) {
        if (name == "step") return E >= 7112 ? 1.0 : 0.0;
        if (name == "slope") return 0.01 * (E - 6900) + (E >= 7000 ? 1.0 : 0.0);
        if (name == "dip") return E >= 7200 && E <= 7210 ? -0.5 : (E >= 7112 ? 1.0 : 0.0);
        if (name == "two steps") return (E >= 7000 ? 2.0 : 0.0) + (E >= 7200 ? 1.0 : 0.0);
        return 0.3;
    });
}

ElemRowSnapshot row(double e0, double th = 0.1)
{
    ElemRowSnapshot r;
    r.e0 = e0;
    r.thDMut = th;
    return r;
}

// Posted deletions run here, as the event loop would run them.
void runDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

class TestElementAnalysis : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { loadVictoreenTable(); }

    void oneRow_data()
    {
        QTest::addColumn<Row>("r");
        const ElemBackground bg{0, 0, -1, -1};
        // The only rising crossing lies between 7111 and 7112.
        QTest::newRow("step") << Row{"step", 7112, 0.1, 7200.2, 7204.7, true, bg, {1, 1, 0, -0.5, 1, 1}};
        // Midpoints above 7100.2 start at 7100, the first above 7104.7 is at
        // 7105: the ROI is the mean of mu - 0.8 at 7100 .. 7104.
        QTest::newRow("slope")
            << Row{"slope", 7000, 0.1, 7100.2, 7104.7, true, bg, {1.4, 2.2, 0.8, -0.5, 2.22, 2.22 / 1.4}};
        QTest::newRow("ROI below every midpoint")
            << Row{"step", 7112, 0.1, 6000, 6100, true, bg, {1, 1, 0, -0.5, 0, 0}};
        QTest::newRow("below threshold: background")
            << Row{"step", 7112, 5, 7200, 7210, true, {0.25, 3, -7, -8}, {0.25, 0.25, 0.25, 3, -7, -8}};
        QTest::newRow("negative ROI kept") << Row{"dip", 7112, 0.1, 7201, 7205, false, bg, {1, 1, 0, -0.5, -0.5, -0.5}};
        QTest::newRow("negative ROI to background")
            << Row{"dip", 7112, 0.1, 7201, 7205, true, {0, 0, -7, -8}, {1, 1, 0, -0.5, -7, -8}};
        // A negative threshold lets a zero step through: no infinite ratio.
        QTest::newRow("zero step") << Row{"flat", 7100, -1, 7150, 7160, false, {0, 0, -1, -3}, {0, 0.3, 0.3, 0, 0, -3}};
        QTest::newRow("one point") << Row{"one point", 7000, -1, 0, 1e4, true, bg, {0, 1, 1, 0, 0, 0}};
        QTest::newRow("empty") << Row{"empty", 7000, -1, 0, 1e4, true, bg, {0, 0, 0, 0, 0, 0}};
    }
    void oneRow()
    {
        QFETCH(Row, r);
        ElemRowSnapshot e = row(r.e0, r.th);
        e.roiStart = r.roiStart;
        e.roiEnd = r.roiEnd;
        e.noNeg = r.noNeg;
        const ElemsResult res = ElementAnalysis::analyze(spectrum(r.shape), {e}, 0, r.bg);
        QCOMPARE(res.rowCount(), 1);
        const int kinds[6] = {ElemKind0, ElemKindMP, ElemKindMM, ElemKindDE, ElemKindROI, ElemKindNROI};
        for (int i = 0; i < 6; ++i)
            QVERIFY2(std::fabs(res.value(kinds[i], 0) - r.expected[i]) < 1e-12, qPrintable(QString::number(i)));
        // The raw step, whatever the threshold.
        QCOMPARE(res.dmut[0], r.th > 1 ? 1.0 : r.expected[0]);
    }

    // Steps of 2 at 7000 and 1 at 7200, each divided by the main target's.
    void ratiosToTheMainTarget_data()
    {
        QTest::addColumn<int>("mainT");
        QTest::addColumn<double>("firstThreshold");
        QTest::addColumn<QVector<double>>("ratios");
        QTest::newRow("first") << 0 << 0.1 << QVector<double>{1.0, 0.5};
        QTest::newRow("second") << 1 << 0.1 << QVector<double>{2.0, 1.0};
        QTest::newRow("none checked: by 1") << -1 << 0.1 << QVector<double>{2.0, 1.0};
        QTest::newRow("beyond the rows: by 1") << 2 << 0.1 << QVector<double>{2.0, 1.0};
        QTest::newRow("main below threshold: by 1") << 0 << 5.0 << QVector<double>{0.0, 1.0};
    }
    void ratiosToTheMainTarget()
    {
        QFETCH(int, mainT);
        QFETCH(double, firstThreshold);
        QFETCH(QVector<double>, ratios);
        const Spectrum s = spectrum("two steps");
        const ElemsResult res = ElementAnalysis::analyze(s, {row(7000, firstThreshold), row(7200)}, mainT, {});
        QCOMPARE(res.kinds[ElemKindN], ratios);
        QVERIFY(res.value(ElemKindN, 5) == 0 && res.value(9, 0) == 0);
        QCOMPARE(ElementAnalysis::analyze(s, {}, mainT, {}).rowCount(), 0);
    }

    void correlation_data()
    {
        QTest::addColumn<Correlation>("c");  // 42: none given
        QTest::newRow("parallel") << Correlation{{1, 2, 3}, {2, 4, 6}, {true, true, true}, 1};
        QTest::newRow("opposite") << Correlation{{-2}, {3}, {true}, -1};
        QTest::newRow("unused row left out") << Correlation{{1, 0}, {1, 5}, {true, false}, 1};
        QTest::newRow("45 degrees") << Correlation{{1, 1}, {1, 0}, {true, true}, 1 / std::sqrt(2.0)};
        QTest::newRow("common rows only") << Correlation{{1, 2}, {1}, {true, true, true}, 1};
        QTest::newRow("none used") << Correlation{{1, 2}, {1, 2}, {false, false}, 42};
        QTest::newRow("zero vector") << Correlation{{0, 0}, {1, 2}, {true, true}, 42};
        QTest::newRow("NaN") << Correlation{{1}, {std::nan("")}, {true}, 42};
    }
    void correlation()
    {
        QFETCH(Correlation, c);
        double got = 42;
        QCOMPARE(ElementAnalysis::correlation(c.a, c.b, c.use, got), c.c != 42);
        QCOMPARE(got, c.c);
    }

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

    void rowsRebuiltFromList()
    {
        QWidget panel;
        auto* grid = new QGridLayout(&panel);
        ElemList list;
        list.baseLayout = grid;
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
        cu->Eng->setText("931.5");
        QCOMPARE(provider()[1].energy(), 931.5);
        QCOMPARE(provider()[1].name, QString("Cu-L3"));

        // The old rows and groups go only when the event loop runs, and a
        // shown map is chosen again while they still exist.
        QPointer<ElemCtrl> oldRow(fe);
        QPointer<QButtonGroup> oldGroup(list.mainTargetGroup);
        const int gen = list.generation();
        bool oldAliveAtSelection = false;
        connect(&list, &ElemList::changedSelection, this, [&] {
            oldAliveAtSelection = oldRow && list.elemCtrls.size() == 1 && list.elemCtrls[0]->Name->text() == "Zn-K";
        });
        list.newElems("Zn", false);
        QVERIFY(oldAliveAtSelection);
        disconnect(&list, &ElemList::changedSelection, this, nullptr);
        QCOMPARE(list.generation(), gen + 1);
        QVERIFY(oldRow && oldGroup && !oldRow->isVisibleTo(&panel));
        runDeferredDeletes();
        QVERIFY(!oldRow && !oldGroup);
        QCOMPARE(grid->itemAtPosition(0, 0)->widget(), list.elemCtrls[0]);
        QVERIFY(!grid->itemAtPosition(1, 0));

        list.newElems("", false);
        QVERIFY(list.mainTargetGroup->buttons().isEmpty() && list.elemShowGroup->buttons().isEmpty());
        QCOMPARE(list.mainTarget(), 0);
        // Beyond the edge table: the row is made and shows no energy.
        list.newElems("D", false);
        QCOMPARE(list.elemCtrls[0]->Eng->text(), QString("0"));
        runDeferredDeletes();
    }

    void answersAndStandards()
    {
        ElemRowsProvider provider;
        {
            ElemList list;
            list.newElems("Fe Cu Zn", false);
            provider = list.rowInfoProvider();
            ElemsResult r;
            for (int k = 0; k < ElemKindCount; ++k) r.kinds[k] = {1.0 + k, 10.0 + k};  // two rows' worth
            QVERIFY(!list.showResults(r));
            QCOMPARE(list.elemCtrls[0]->dmut, 1.0);
            QCOMPARE(list.elemCtrls[1]->ratio, 11.0);
            QCOMPARE(list.elemCtrls[1]->NROI->text(), QString("16"));
            r.kinds[ElemKindMM].append(0.5);
            QVERIFY(!list.showResults(r));  // one kind longer is not enough
            for (int k = 0; k < ElemKindCount; ++k) r.kinds[k].resize(3);
            QVERIFY(list.showResults(r));
            QCOMPARE(list.elemCtrls[2]->muMinus, 0.5);
            list.elemCtrls[0]->ratio = 0.75;
            list.setElemsStd();
            QCOMPARE(list.elemCtrls[0]->stdRatio, 0.75);
        }
        // The view may ask after the panel has gone.
        QVERIFY(provider().isEmpty());
    }
};

QTEST_MAIN(TestElementAnalysis)
#include "tst_elementanalysis.moc"
