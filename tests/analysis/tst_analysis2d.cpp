// Block-by-block recording of a 2-D run: every pixel of the maps checked
// against the value its block should hold, computed straight from the block
// geometry, plus the ratio map against the formula and short result vectors;
// then whole runs on a main window over a stack mixed from two references.

#include "support/Spectra.h"
#include "analysis/Analysis2DDriver.h"
#include "analysis/Analysis2DRecord.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "mainwindow/Body.h"
#include "mainwindow/SelectDataFiles.h"

#include <QCheckBox>
#include <QPushButton>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <algorithm>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// The block centre that covers pixel (x, y) of a grid starting at 0 with
// blocks of (2 xw + 1) x (2 yw + 1).
int centreOf(int p, int hw) { return (p / (2 * hw + 1)) * (2 * hw + 1) + hw; }

double fractionAt(int cx, int cy) { return 0.1 + 0.05 * cx + 0.02 * cy; }

// The stack: every pixel mixes two references, the first one's share
// growing across the image.
const int SW = 4, SH = 3;
double pre(double E) { return 0.5 - 2e-4 * (E - 8800); }
double mu1(double E) { return pre(E) + synth::sigmoid(E, 9000, 0.4); }
double mu2(double E) { return pre(E) + synth::sigmoid(E, 9006, 0.4); }
double shareAt(int c, int r) { return 0.2 + 0.15 * c + 0.05 * r; }

double i1Pixel(double E, int c, int r)
{
    const double f = shareAt(c, r);
    return 20000.0 * std::exp(-(f * mu1(E) + (1 - f) * mu2(E)));
}

QString writeMu(const QTemporaryDir& dir, const QString& name, double (*mu)(double))
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text)) return QString();
    QTextStream out(&f);
    out.setRealNumberPrecision(12);
    out << "# E mu\n";
    for (double E = 8800; E <= 9400; E += 1) out << E << " " << mu(E) << "\n";
    return path;
}

TiffData* frame(double E, bool i0, int k)
{
    auto* d = new TiffData;
    d->width = SW;
    d->height = SH;
    d->pixelType = TiffData::Float32;
    d->energy = E;
    d->file = QString("%1%2.tif").arg(i0 ? "i0-" : "i1-").arg(k);
    for (int r = 0; r < SH; ++r) {
        float* row = new float[SW];
        for (int c = 0; c < SW; ++c) {
            row[c] = float(i0 ? 20000.0 : i1Pixel(E, c, r));
        }
        d->min = std::min(d->min, double(*std::min_element(row, row + SW)));
        d->max = std::max(d->max, double(*std::max_element(row, row + SW)));
        d->rows.append(row);
    }
    return d;
}

void load(Body& b)
{
    int k = 0;
    for (double E = 8850; E <= 9150; E += 2, ++k) {
        b.i1Images.append(frame(E, false, k));
        b.SelectI1Files->Selected->addItem(b.i1Images.last()->file);
        b.i0Images.append(frame(E, true, k));
        b.SelectI0Files->Selected->addItem(b.i0Images.last()->file);
    }
    b.imageWidth = SW;
    b.imageHeight = SH;
    b.SeekBar->setMaximum(k - 1);
    b.showData(0);
    b.HWidth->setText("0");
    b.VWidth->setText("0");
    b.UseSuggestElm->setChecked(false);
}

void lcfOnly(Analyzer& a, const QTemporaryDir& dir)
{
    a.Sel2DA->setChecked(true);
    a.Sel2DAMLCFA->setChecked(true);
    a.Sel2DADEdgeA->setChecked(false);
    a.Sel2DAElemA->setChecked(false);
    a.Sel2DARAA->setChecked(false);
    a.setLCFStd(0, true, 0, writeMu(dir, "r1.dat", mu1), "0");
    a.setLCFStd(1, true, 0, writeMu(dir, "r2.dat", mu2), "0");
    a.setLCFRange(8900, 9100);
}

}  // namespace

class TestAnalysis2D : public QObject
{
    Q_OBJECT

private slots:
    void lcfMapsTakeTheBlockValuesOfUsedRows();
    void elementMapsKindMajorAndCorrelation();
    void ratioMapFollowsTheFormula();
    void initTestCase();
    void runFillsFractionMapsBlockByBlock();
    void runWithoutAnalysisCompletesAtOnce();
    void secondPressStopsAndLateAnswersAreDropped();
    void bodyDestroyedMidRun();

private:
    QTemporaryDir dir;
};

void TestAnalysis2D::initTestCase()
{
    initGlobals();
    initColorTables();
    installAnalysisOnBody();
    QVERIFY(dir.isValid());
}

void TestAnalysis2D::runFillsFractionMapsBlockByBlock()
{
    Body b;
    load(b);
    Analyzer* a = AnalysisOnBody::of(b)->analyzer();
    Analysis2DDriver* run = AnalysisOnBody::of(b)->driver();
    QVERIFY(a && run);
    lcfOnly(*a, dir);

    QSignalSpy done(&b, &Body::finishBatchExec);
    QSignalSpy ended(run, &Analysis2DDriver::ended);
    int sent = 0, answered = 0;
    bool oneInFlight = true, flagSet = true;
    connect(a, &Analyzer::analyzeSpectrum0, this, [&] {
        // The run's own slot takes finished before this test's counter does, so
        // block k + 1 goes out while answered still reads k.
        if (sent != (sent ? answered + 1 : 0)) oneInFlight = false;
        if (!b.analysis2DRunning) flagSet = false;
        ++sent;
    });
    connect(a, &Analyzer::finished, this, [&] { ++answered; });

    run->startFromBatch();
    QVERIFY(b.analysis2DRunning);
    QVERIFY(ended.wait(60000));
    QTest::qWait(50);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).toInt(), 112);
    QVERIFY(!b.analysis2DRunning);
    QVERIFY(oneInFlight);
    QVERIFY(flagSet);
    QCOMPARE(sent, SW * SH);
    QCOMPARE(answered, SW * SH);
    QCOMPARE(a->Progress->text(), QString::asprintf("%5.2f", 100.0));

    const int n = a->lcfRefs.size();
    QCOMPARE(run->lcfRefMaps.size(), 2 * n);
    for (int r = 0; r < SH; ++r) {
        for (int c = 0; c < SW; ++c) {
            const double f = shareAt(c, r);
            const double got0 = run->lcfRefMaps[n]->valueAt(c, r);
            const double got1 = run->lcfRefMaps[n + 1]->valueAt(c, r);
            QVERIFY2(std::abs(got0 - f) < 5e-3, qPrintable(QString("%1,%2: %3 vs %4").arg(c).arg(r).arg(got0).arg(f)));
            QVERIFY2(std::abs(got1 - (1 - f)) < 5e-3, qPrintable(QString("%1,%2: %3").arg(c).arg(r).arg(got1)));
            // Rows without a reference keep their maps at 0.
            QCOMPARE(run->lcfRefMaps[n + 2]->valueAt(c, r), 0.0);
        }
    }
}

void TestAnalysis2D::runWithoutAnalysisCompletesAtOnce()
{
    Body b;
    load(b);
    Analyzer* a = AnalysisOnBody::of(b)->analyzer();
    lcfOnly(*a, dir);
    a->Sel2DAMLCFA->setChecked(false);
    QSignalSpy done(&b, &Body::finishBatchExec);
    QSignalSpy asked(a, &Analyzer::analyzeSpectrum0);
    // Refused from the button: no batch is waiting, none is told.
    emit a->askAnalyze();
    QCOMPARE(done.count(), 0);
    AnalysisOnBody::of(b)->driver()->startFromBatch();
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).toInt(), 112);
    QVERIFY(!b.analysis2DRunning);
    QTest::qWait(50);
    QCOMPARE(asked.count(), 0);

    // No stack at all: nothing starts either.
    Body empty;
    QSignalSpy done2(&empty, &Body::finishBatchExec);
    AnalysisOnBody::of(empty)->driver()->startFromBatch();
    QCOMPARE(done2.count(), 1);
    QVERIFY(!empty.analysis2DRunning);
}

void TestAnalysis2D::secondPressStopsAndLateAnswersAreDropped()
{
    Body b;
    load(b);
    Analyzer* a = AnalysisOnBody::of(b)->analyzer();
    Analysis2DDriver* run = AnalysisOnBody::of(b)->driver();
    lcfOnly(*a, dir);
    QSignalSpy done(&b, &Body::finishBatchExec);
    QSignalSpy asked(a, &Analyzer::analyzeSpectrum0);
    QSignalSpy finished(a, &Analyzer::finished);
    emit a->askAnalyze();
    emit a->askAnalyze();
    QVERIFY(!b.analysis2DRunning);
    QVERIFY(!a->contAccess);
    QVERIFY(finished.wait(30000));
    QTest::qWait(50);
    QCOMPARE(asked.count(), 1);
    const int n = a->lcfRefs.size();
    for (int i = 0; i < 2 * n; ++i) QCOMPARE(run->lcfRefMaps[i]->valueAt(0, 0), 0.0);
    QCOMPARE(done.count(), 0);
}

void TestAnalysis2D::bodyDestroyedMidRun()
{
    auto* b = new Body;
    load(*b);
    Analyzer* a = AnalysisOnBody::of(*b)->analyzer();
    lcfOnly(*a, dir);
    QSignalSpy finished(a, &Analyzer::finished);
    emit a->askAnalyze();
    QVERIFY(b->analysis2DRunning);
    QVERIFY(finished.wait(30000));
    delete b;
    QTest::qWait(100);
}

void TestAnalysis2D::lcfMapsTakeTheBlockValuesOfUsedRows()
{
    const int W = 8, H = 9, xw = 1, yw = 1;
    AnalyzeCond ac;
    ac.set(W, H, xw, yw, 0, 0, W, H, -1, -1);

    // Three rows, the fit used the first and the last: the middle one's maps stay 0.
    const QVector<int> used{0, 2};
    std::vector<std::unique_ptr<Analyzed2DRes>> owned;
    QVector<Analyzed2DRes*> maps;
    for (int i = 0; i < 6; ++i) {
        owned.emplace_back(new Analyzed2DRes(QString("m%1").arg(i)));
        owned.back()->setCond(ac);
        maps << owned.back().get();
    }
    maps[4] = nullptr;  // a row without a second map must be skipped

    int blocks = 0;
    do {
        const double f = fractionAt(ac.curX, ac.curY);
        // Amounts of the two used rows, then their fractions.
        QCOMPARE(recordLcfBlock(maps, 3, used, {10 * f, 10 * (1 - f)}, {f, 1 - f}, ac), 0);
        ++blocks;
    } while (ac.next());
    QCOMPARE(blocks, 3 * 3);

    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const double f = fractionAt(centreOf(x, xw), centreOf(y, yw));
            QVERIFY(std::abs(maps[0]->valueAt(x, y) - 10 * f) < 1e-12);
            QVERIFY(std::abs(maps[2]->valueAt(x, y) - 10 * (1 - f)) < 1e-12);
            QVERIFY(std::abs(maps[3]->valueAt(x, y) - f) < 1e-12);
            QVERIFY(std::abs(maps[5]->valueAt(x, y) - (1 - f)) < 1e-12);
            QCOMPARE(maps[1]->valueAt(x, y), 0.0);
        }
    }
    QCOMPARE(owned[4]->valueAt(0, 0), 0.0);

    // Fewer answers than used rows: the rest is left alone, nothing read past.
    AnalyzeCond one;
    one.set(W, H, 0, 0, 0, 0, 1, 1, -1, -1);
    recordLcfBlock(maps, 3, used, {5.0}, {}, one);
    QCOMPARE(maps[0]->valueAt(0, 0), 5.0);
    QVERIFY(std::abs(maps[3]->valueAt(0, 0) - fractionAt(1, 1)) < 1e-12);
    QVERIFY(std::abs(maps[2]->valueAt(0, 0) - 10 * (1 - fractionAt(1, 1))) < 1e-12);
    // A row added after the maps were prepared has none: counted, not written.
    QCOMPARE(recordLcfBlock(maps, 3, {0, 3}, {7.0, 8.0}, {0.5, 0.5}, one), 1);
    QCOMPARE(maps[0]->valueAt(0, 0), 7.0);
}

void TestAnalysis2D::elementMapsKindMajorAndCorrelation()
{
    const int W = 5, H = 3, rows = 2;
    AnalyzeCond ac;
    ac.set(W, H, 0, 0, 0, 0, W, H, -1, -1);
    std::vector<std::unique_ptr<Analyzed2DRes>> owned;
    QVector<Analyzed2DRes*> maps;
    for (int i = 0; i < 7 * rows + 2; ++i) {
        owned.emplace_back(new Analyzed2DRes);
        owned.back()->setCond(ac);
        maps << owned.back().get();
    }
    const double corTh = 0.5;
    do {
        QVector<QVector<double>> kinds(7);
        for (int k = 0; k < 7; ++k)
            for (int i = 0; i < rows; ++i) kinds[k] << 100 * k + 10 * i + ac.curX + 0.1 * ac.curY;
        const double cor = 0.2 * ac.curX;
        recordElemBlock(maps, rows, kinds, cor, corTh, ac);
    } while (ac.next());

    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            for (int k = 0; k < 7; ++k)
                for (int i = 0; i < rows; ++i)
                    QVERIFY(std::abs(maps[k * rows + i]->valueAt(x, y)
                                     - (100 * k + 10 * i + x + 0.1 * y)) < 1e-12);
            const double cor = 0.2 * x;
            QVERIFY(std::abs(maps[7 * rows]->valueAt(x, y) - cor) < 1e-12);
            QVERIFY(std::abs(maps[7 * rows + 1]->valueAt(x, y) - (cor >= corTh ? cor : 0.0)) < 1e-12);
        }
    }
    QCOMPARE(thresholdedCorrelation(0.5, 0.5), 0.5);
    QCOMPARE(thresholdedCorrelation(0.49, 0.5), 0.0);

    // Short vectors and a short map list must not be read past.
    recordElemBlock(maps.mid(0, 3), rows, {{1.0}}, 0, 0, ac);
    recordElemBlock({}, -1, {}, 0, 0, ac);
}

void TestAnalysis2D::ratioMapFollowsTheFormula()
{
    const int W = 6, H = 4;
    AnalyzeCond full;
    full.set(W, H, 0, 0, 0, 0, W, H, -1, -1);
    Analyzed2DRes dMut("a2d DMut"), rest("a2d Rest"), ratio("a2d Rati");
    dMut.setCond(full);
    rest.setCond(full);
    // Rest above 0 everywhere: the unanalysed zeros must not become the minimum.
    auto restAt = [](int x, int y) { return 1.0 + 0.5 * y + 0.1 * x; };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            dMut.setData(x, y, 0, 0, 1.0 + x);
            rest.setData(x, y, 0, 0, restAt(x, y));
        }
    // A first pass over the whole map, then one over its first 8 blocks: the
    // second keeps nothing of the first, not even its extremes.
    computeRatioMap(dMut, rest, ratio, full, W * H);
    const int done = 8;
    computeRatioMap(dMut, rest, ratio, full, done);
    double m = 1e300;
    for (int k = 0; k < done; ++k) m = std::min(m, restAt(k % W, k / W));
    double lo = 1e300, hi = -1e300;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            double want = 0;
            if (y * W + x < done) {
                const double r = restAt(x, y) - m;
                want = r / (1.0 + x + r);
                lo = std::min(lo, want);
                hi = std::max(hi, want);
            }
            QVERIFY2(std::abs(ratio.valueAt(x, y) - want) < 1e-12, qPrintable(QString("%1,%2").arg(x).arg(y)));
        }
    }
    QCOMPARE(ratio.dataMin, lo);
    QCOMPARE(ratio.dataMax, hi);

    // d + r = 0 gives 0, not NaN.
    Analyzed2DRes zeroD, flat("flat"), out;
    flat.setCond(full);
    computeRatioMap(zeroD, flat, out, full, W * H);
    QCOMPARE(out.valueAt(2, 2), 0.0);
    QVERIFY(std::isfinite(out.dataMax) && std::isfinite(out.dataMin));

    // No Rest data: nothing is written.
    Analyzed2DRes noData, untouched;
    untouched.setCond(full);
    computeRatioMap(dMut, noData, untouched, full, W * H);
    QCOMPARE(untouched.dataMax, -1e300);
}

QTEST_MAIN(TestAnalysis2D)
#include "tst_analysis2d.moc"
