// The 2-D run computes its blocks on a pool of threads. Its maps must hold,
// value for value, what the panel's own worker gives for each block's
// spectrum analysed one at a time, whatever the number of threads, the block
// size or the analyses switched on.

#include "analysis/Analysis2DDriver.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/ElemCtrl.h"
#include "analysis/ElemList.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "support/Files.h"
#include "support/RunStack.h"
#include "support/Spectra.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

double sig(double E, double E0) { return 0.5 * (1 + std::tanh((E - E0) / 0.8)); }
double pre(double E) { return 0.5 - 2e-4 * (E - 8800); }
double mu1(double E) { return pre(E) + sig(E, 8985); }
double mu2(double E) { return pre(E) + 1.2 * sig(E, 8991); }

enum Analyses { Lcf = 1, Mlcf = 2, DEdge = 4, Elems = 8, Ra = 16 };

// What one block's answers from the panel's worker put into each map.
struct Expected
{
    QVector<double> amounts, fractions;  // per reference row
    double z = 0, dEdge = 0, jump = 0, rest = 0, cor = 0;
    QVector<double> elem[ElemKindCount];
};

}  // namespace

class TestRunPool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameMapsAsOneBlockAtATime_data();
    void sameMapsAsOneBlockAtATime();
    void stackFreedMidRun_data();
    void stackFreedMidRun();
    void alignmentEditedMidRun_data();
    void alignmentEditedMidRun();

private:
    QTemporaryDir dir;
};

void TestRunPool::initTestCase()
{
    initGlobals();
    initColorTables();
    installAnalysisOnBody();
    QVERIFY(dir.isValid());
    QVERIFY(ts::writeSpectrum(dir.filePath("r1.dat"), synth::sample(8800, 9400, 1, mu1)));
    QVERIFY(ts::writeSpectrum(dir.filePath("r2.dat"), synth::sample(8800, 9400, 1, mu2)));
}

void TestRunPool::sameMapsAsOneBlockAtATime_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("halfWidth");
    QTest::addColumn<int>("analyses");
    QTest::addColumn<bool>("shiftMap");
    QTest::newRow("LCF and edge, pixels, one thread") << 1 << 0 << (Lcf | DEdge) << false;
    QTest::newRow("LCF and edge, pixels, three threads") << 3 << 0 << (Lcf | DEdge) << false;
    QTest::newRow("MLCF, ratio, elements, 3x3 blocks") << 2 << 1 << (Mlcf | Ra | Elems) << false;
    QTest::newRow("everything, shift map, four threads")
        << 4 << 0 << (Lcf | DEdge | Elems | Ra) << true;
}

void TestRunPool::sameMapsAsOneBlockAtATime()
{
    QFETCH(int, threads);
    QFETCH(int, halfWidth);
    QFETCH(int, analyses);
    QFETCH(bool, shiftMap);

    ts::MuStack st;
    st.w = 9;
    st.h = 7;
    st.mu = [](double E, int c, int r) {
        const double f = 0.1 + 0.09 * c + 0.03 * r;
        // Noise of its own per pixel, so that no two blocks give the same numbers.
        return f * mu1(E) + (1 - f) * mu2(E) + 2e-3 * std::sin(0.37 * E + 1.3 * c + 2.9 * r);
    };
    Body b;
    ts::loadMuStack(b, st);
    b.HWidth->setText(QString::number(halfWidth));
    b.VWidth->setText(QString::number(halfWidth));
    Analyzer* a = AnalysisOnBody::of(b)->analyzer();
    Analysis2DDriver* run = AnalysisOnBody::of(b)->driver();
    QVERIFY(a && run);
    run->setThreads(threads);
    a->Sel2DA->setChecked(true);
    a->Sel2DAMLCFA->setChecked(analyses & (Lcf | Mlcf));
    a->MLCF->setChecked(analyses & Mlcf);
    a->Sel2DADEdgeA->setChecked(analyses & DEdge);
    a->Sel2DAElemA->setChecked(analyses & Elems);
    a->Sel2DARAA->setChecked(analyses & Ra);
    a->setLCFStd(0, true, 0, dir.filePath("r1.dat"), "0");
    a->setLCFStd(1, true, 0.5, dir.filePath("r2.dat"), "0");
    a->setLCFRange(8950, 9050);
    a->setRaEnergy(9000);
    a->setRaFactor(0.3);
    if (analyses & Elems) {
        a->setTargetElements(QStringLiteral("Cu Ni"));
        a->elems->setElemsDE(20);
    }
    if (shiftMap) {
        AnalyzeCond whole;
        whole.set(st.w, st.h, 0, 0, 0, 0, st.w, st.h, -1, -1);
        b.shiftMap.setCond(whole);
        do {
            b.shiftMap.setData(whole.curX, whole.curY, 0, 0, 0.7 * whole.curX - 0.4 * whole.curY);
        } while (whole.next());
    }
    QTest::qWait(50);  // the cursor spectrum's own answers

    // One block at a time through the panel's worker, as the cursor spectrum is.
    AnalyzeCond grid;
    QVERIFY(b.fillAnalyzeCond(grid));
    a->initAnalyzeSpectrum();
    QVector<Expected> want;
    int tag = 1000;
    do {
        XafsSpectrum xs(b.makeXafsSpectrum(grid.curX, grid.curY, grid.xw, grid.yw),
                        QStringLiteral("Body-AaP"), 1, b.energyShiftAt(grid.curX, grid.curY),
                        b.suggestElmFromUi());
        QSignalSpy finished(a, &Analyzer::finished);
        ++tag;
        QVERIFY(a->analyzeSpectrum(xs, b.suggestElmFromUi(), tag) != 0);
        while (a->finishedTag != tag) QVERIFY(finished.wait(10000));
        Expected e;
        const int n = a->lcfRefs.size();
        e.amounts.fill(0.0, n);
        e.fractions.fill(0.0, n);
        const LcfResult& r = a->lastLcf;
        for (int j = 0; j < r.rows.size(); ++j) {
            e.amounts[r.rows[j]] = r.amounts.value(j);
            e.fractions[r.rows[j]] = r.fractions.value(j);
        }
        e.z = r.status == LcfResult::Fitted ? r.z : 0.0;
        e.dEdge = a->lastDEdge;
        e.jump = a->lastRa.jump;
        e.rest = a->lastRa.rest;
        e.cor = a->cor;
        for (int k = 0; k < ElemKindCount; ++k) e.elem[k] = a->lastElems.kinds[k];
        want.append(e);
    } while (grid.next());
    QVERIFY(want.size() > 4);

    QSignalSpy ended(run, &Analysis2DDriver::ended);
    emit a->askAnalyze();
    QVERIFY(b.analysis2DRunning);
    QVERIFY(ended.wait(60000));

    const int n = a->lcfRefs.size();
    grid.reset();
    int k = 0;
    int checked = 0;
    do {
        const Expected& e = want[k++];
        const int x = grid.curX, y = grid.curY;
        const QString at = QString("block %1,%2").arg(x).arg(y);
        auto same = [&](const Analyzed2DRes* m, double v, const char* what) {
            QVERIFY2(m, what);
            const double got = m->valueAt(x, y);
            QVERIFY2(got == v, qPrintable(at + " " + what + QString(": %1 vs %2").arg(got, 0, 'g', 17).arg(v, 0, 'g', 17)));
            ++checked;
        };
        if (analyses & (Lcf | Mlcf)) {
            for (int i = 0; i < n; ++i) {
                same(run->lcfRefMaps[i], e.amounts[i], "amount");
                same(run->lcfRefMaps[n + i], e.fractions[i], "fraction");
            }
            same(&a->zansaMap, e.z, "z");
        }
        if (analyses & DEdge) same(&a->dEdgeMap, e.dEdge, "dEdge");
        if (analyses & Ra) {
            same(&a->dMutMap, e.jump, "jump");
            same(&a->restMap, e.rest, "rest");
        }
        if (analyses & Elems) {
            const QVector<ElemCtrl*> rows = a->elemCtrls();
            for (int kind = 0; kind < ElemKindCount; ++kind)
                for (int i = 0; i < rows.size(); ++i)
                    same(rows[i]->map(ElemKind(kind)), e.elem[kind].value(i), "element");
            same(&a->elemsCorMap, e.cor, "correlation");
        }
    } while (grid.next());
    QVERIFY(checked > want.size());
}

void TestRunPool::stackFreedMidRun_data()
{
    QTest::addColumn<bool>("i1");
    QTest::newRow("I1 stack cleared") << true;
    QTest::newRow("I0 stack cleared") << false;
}

// Workers read the frames: the run must be over before they are freed.
void TestRunPool::stackFreedMidRun()
{
    QFETCH(bool, i1);
    ts::MuStack st;
    st.w = 40;
    st.h = 30;
    st.mu = [](double E, int c, int r) { return mu1(E) + 0.01 * c - 0.01 * r; };
    Body b;
    ts::loadMuStack(b, st);
    Analyzer* a = AnalysisOnBody::of(b)->analyzer();
    Analysis2DDriver* run = AnalysisOnBody::of(b)->driver();
    run->setThreads(4);
    a->Sel2DA->setChecked(true);
    a->Sel2DAMLCFA->setChecked(false);
    a->Sel2DADEdgeA->setChecked(true);
    QSignalSpy ended(run, &Analysis2DDriver::ended);
    qint64 after = 0;
    connect(run, &Analysis2DDriver::blockRecorded, this, [&](qint64 k) {
        if (k == 1) i1 ? b.clearI1Files() : b.clearI0Files();
        if (k > 1 && after == 0) after = k;
    });
    emit a->askAnalyze();
    QVERIFY(ended.count() == 1 || ended.wait(30000));
    QTest::qWait(100);
    QVERIFY(!b.analysis2DRunning);
    QCOMPARE(after, qint64(0));
}

void TestRunPool::alignmentEditedMidRun_data()
{
    QTest::addColumn<bool>("i1");
    QTest::addColumn<int>("threads");
    QTest::newRow("I1 frames shifted, one thread") << true << 1;
    QTest::newRow("I0 frames shifted, two threads") << false << 2;
}

// A run works from the alignment it took at its start: shifts stored while
// it goes on neither mix into its maps nor race with its workers.
void TestRunPool::alignmentEditedMidRun()
{
    QFETCH(bool, i1);
    QFETCH(int, threads);
    ts::MuStack st;
    st.w = 40;
    st.h = 30;
    st.mu = [](double E, int c, int r) { return mu1(E + 0.2 * c - 0.1 * r) + 0.01 * c; };
    Body b;
    ts::loadMuStack(b, st);
    Analyzer* a = AnalysisOnBody::of(b)->analyzer();
    Analysis2DDriver* run = AnalysisOnBody::of(b)->driver();
    run->setThreads(threads);
    a->Sel2DA->setChecked(true);
    a->Sel2DAMLCFA->setChecked(false);
    a->Sel2DADEdgeA->setChecked(true);
    QSignalSpy ended(run, &Analysis2DDriver::ended);
    auto runOnce = [&] {
        const int before = ended.count();
        emit a->askAnalyze();
        QVERIFY(ended.count() > before || ended.wait(30000));
    };

    AnalyzeCond grid;
    QVERIFY(b.fillAnalyzeCond(grid));
    auto values = [&] {
        QVector<double> v;
        grid.reset();
        do v.append(a->dEdgeMap.valueAt(grid.curX, grid.curY));
        while (grid.next());
        return v;
    };
    runOnce();
    const QVector<double> want = values();
    QVector<TiffData*>& frames = i1 ? b.i1Images : b.i0Images;
    auto connection = connect(run, &Analysis2DDriver::blockRecorded, this, [&](qint64 k) {
        if (k != 1) return;
        for (TiffData* f : frames) f->shiftX = 3;
    });
    runOnce();
    disconnect(connection);
    for (TiffData* f : frames) f->shiftX = 0;

    const QVector<double> got = values();
    QCOMPARE(got.size(), st.w * st.h);
    // Blocks of another alignment would sit elsewhere on the edge.
    QVERIFY(std::fabs(want.first() - want.last()) > 1);
    for (int k = 0; k < got.size(); ++k) QVERIFY2(got[k] == want[k], qPrintable(QString("block %1").arg(k)));
}

QTEST_MAIN(TestRunPool)
#include "tst_runpool.moc"
