// The analysis panel on its own: its worker, the map it shows, map processing,
// image sum-up, and the maps a 2-D run records, each against a direct
// computation.

#include "analysis/Analysis2DRecord.h"
#include "analysis/AnalyzeProc.h"
#include "analysis/Analyzer.h"
#include "analysis/ElemCtrl.h"
#include "analysis/ImageSum.h"
#include "analysis/LCFReference.h"
#include "analysis/MapProcessing.h"
#include "analysis/SumUpCtrl.h"
#include "core/Globals.h"
#include "support/Files.h"
#include "support/Frames.h"
#include "support/Maps.h"
#include "support/Spectra.h"

#include <QButtonGroup>
#include <QDir>
#include <QImage>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <climits>
#include <cmath>
#include <memory>

using namespace synth;

namespace {

double mu1(double E) { return 0.5 - 2e-4 * (E - 8800) + sigmoid(E, 9000, 0.4); }
double mu2(double E) { return 0.5 - 2e-4 * (E - 8800) + sigmoid(E, 9006, 0.4); }

void enable(Analyzer& a, bool lcf, bool dEdge, bool elems, bool ra)
{
    a.Sel2DAMLCFA->setChecked(lcf);
    a.Sel2DADEdgeA->setChecked(dEdge);
    a.Sel2DAElemA->setChecked(elems);
    a.Sel2DARAA->setChecked(ra);
}

// The fit chosen on the panel and the spectrum sent after a good one.
struct Variant
{
    bool mlcf, old;
    double jump;
    bool empty;
    LcfResult::Status status;
};

// A sum-up stack of N images of W x H; image 4 is missing (counts 0), image 7 is 5 x 4.
const int W = 11, H = 7, N = 20;
double pix(int k, int c, int r) { return k == 4 ? 0 : (k + 1) * 100 + c * 7 + r * 3; }
int widthOf(int k) { return k == 7 ? 5 : W; }
int heightOf(int k) { return k == 7 ? 4 : H; }

// Totals straight from the pixel formula, each range clamped to the stack.
double directTotal(const QList<SumUpRange>& ranges, int x, int y, int xw, int yw)
{
    double s = 0;
    for (const SumUpRange& rg : ranges)
        for (int k = std::max(0, rg.from); k < std::min(N, rg.to); ++k)
            for (int r = std::max(0, y - yw); r <= std::min(heightOf(k) - 1, y + yw); ++r)
                for (int c = std::max(0, x - xw); c <= std::min(widthOf(k) - 1, x + xw); ++c) s += pix(k, c, r);
    return s;
}

// Every pixel holds the direct total of the block that covers it, or 0 outside every block.
void checkSumMap(const Analyzed2DRes& map, AnalyzeCond ac, const QList<SumUpRange>& ranges)
{
    QVector<double> want(W * H, 0.0);
    ac.reset();
    do {
        for (int r = std::max(0, ac.curY - ac.yw); r <= std::min(H - 1, ac.curY + ac.yw); ++r)
            for (int c = std::max(0, ac.curX - ac.xw); c <= std::min(W - 1, ac.curX + ac.xw); ++c)
                want[r * W + c] = directTotal(ranges, ac.curX, ac.curY, ac.xw, ac.yw);
    } while (ac.next());
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c) QCOMPARE(map.valueAt(c, r), want[r * W + c]);
}

}  // namespace

Q_DECLARE_METATYPE(Variant)

class TestAnalyzer : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    SuggestElm none;
    XafsSpectrum edge1;  // the first reference's own spectrum
    ts::Stack frames;
    QVector<TiffData*> stack;

private slots:
    void initTestCase()
    {
        initColorTables();
        none.useWindow = false;
        edge1 = XafsSpectrum(sample(8800, 9400, 1, mu1), "t", 1, 0, none);
        QVERIFY(ts::writeSpectrum(dir.filePath("r1.dat"), sample(8800, 9400, 1, mu1)));
        QVERIFY(ts::writeSpectrum(dir.filePath("r2.dat"), sample(8800, 9400, 1, mu2)));
        for (int k = 0; k < N; ++k)
            stack.append(k == 4 ? nullptr : frames.add(ts::frame(TiffData::UInt16, widthOf(k), heightOf(k), [k](int c, int r) {
                return pix(k, c, r);
            })));
    }

    // The unit step the edge shift compares with, from the panel's fields.
    void dEdgeStepReference()
    {
        Analyzer a;
        a.DEdgeCWStepAt->setText("10");
        a.DEdgeCWStepWeV->setText("1");
        a.DEdgeCWStepDEeV->setText("0.25");
        QVERIFY(a.prepareDEdgeRef());
        QCOMPARE(a.dEdgeRef.points[2], QPointF(10.0, 1.0));
    }

    // The fit chosen on the panel runs on the worker, after a good fit of 0.3
    // and 0.7 of the rows' own curves still on its way; a request with nothing
    // to fit still answers, the results standing, and every spectrum gets one
    // finished once all its analyses have answered.
    void lcfVariants_data()
    {
        QTest::addColumn<Variant>("v");
        QTest::newRow("LCF") << Variant{false, false, 2.0, false, LcfResult::Fitted};
        QTest::newRow("LCF, zero jump") << Variant{false, false, 0.0, false, LcfResult::ZeroJump};
        QTest::newRow("the old LCF fits a zero jump") << Variant{false, true, 0.0, false, LcfResult::Fitted};
        QTest::newRow("MLCF over the old LCF") << Variant{true, true, 0.0, false, LcfResult::Fitted};
        QTest::newRow("empty spectrum") << Variant{false, false, 2.0, true, LcfResult::Skipped};
    }
    void lcfVariants()
    {
        QFETCH(Variant, v);
        Analyzer a;
        a.setLCFStd(0, true, 0, dir.filePath("r1.dat"), "0");
        a.setLCFStd(1, true, 0, dir.filePath("r2.dat"), "0");
        a.setTargetElements(QStringLiteral("Cu"));
        enable(a, true, false, true, true);
        Spectrum D = a.lcfRefs[0]->snapshot().preBase;
        const Spectrum P2 = a.lcfRefs[1]->snapshot().preBase;
        for (int k = 0; k < D.points.size(); ++k) D.points[k].setY(0.3 * D.points[k].y() + 0.7 * P2.points[k].y());
        XafsSpectrum good = target(D, D, 2.0);
        XafsSpectrum s = v.empty ? XafsSpectrum() : target(D, D, v.jump);
        QSignalSpy done(&a, &Analyzer::finished);
        QSignalSpy z(a.analyzeProc, &AnalyzeProc::newZ);
        a.analyzeSpectrum(good, none);
        a.MLCF->setChecked(v.mlcf);
        a.AsOldLCF->setChecked(v.old);
        a.analyzeSpectrum(s, none);
        QCOMPARE(a.pending, 6);
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 30000);
        QTest::qWait(100);
        QCOMPARE(done.count(), 2);
        QCOMPARE(a.pending, 0);
        QCOMPARE(a.lastLcf.status, v.status);
        QVERIFY(std::fabs(a.lastLcf.fractions.value(1, -1) - (v.status == LcfResult::ZeroJump ? 0.0 : 0.7)) < 1e-6);
        // The rows show the last fit's fractions; only a fit gives a new z.
        QVERIFY(std::fabs(a.lcfRefs[1]->fraction - 0.7) < 1e-6);
        QCOMPARE(z.count(), v.status == LcfResult::Fitted ? 2 : 1);
        if (v.status == LcfResult::Fitted)
            QCOMPARE(a.lastLcf.fitted.name, v.mlcf ? QStringLiteral("anal-MLCF") : QStringLiteral("anal-LCF"));
    }

    // Element rows rebuilt while their request is on its way: the answer
    // belongs to rows that are gone and is not shown on the new ones.
    void rowsRebuiltMeanwhile()
    {
        Analyzer a;
        enable(a, false, false, true, false);
        a.setTargetElements(QStringLiteral("Cu Fe"));
        QSignalSpy done(&a, &Analyzer::finished);
        a.analyzeSpectrum(edge1, none);
        a.setTargetElements(QStringLiteral("Ni"));
        QVERIFY(done.wait(30000));
        QCOMPARE(a.lastElems.rowCount(), 0);
    }

    // Outside the main mode nothing is sent. Deleted with requests in flight,
    // the worker and its thread end first.
    void deletedWithRequestsInFlight()
    {
        auto a = std::make_unique<Analyzer>();
        QVERIFY(a->analyzeProc->thread() == a->analyzeThread && a->analyzeThread->isRunning());
        enable(*a, true, true, true, true);
        a->SelProcMaps->setChecked(true);
        QCOMPARE(a->analyzeSpectrum(edge1, none), 0);
        a->Sel2DA->setChecked(true);
        for (int i = 0; i < 5; ++i) a->analyzeSpectrum(edge1, none);
        QPointer<AnalyzeProc> proc(a->analyzeProc);
        QPointer<QThread> thread(a->analyzeThread);
        a.reset();
        QVERIFY(proc.isNull() && thread.isNull());
    }

    // The map shown and saved: each choice overrides the ones before it.
    void selectedMap()
    {
        Analyzer a;
        // Residual-absorption maps count only once they have an image.
        a.ShowRatio->setChecked(true);
        QCOMPARE(a.selectedMap(), (Analyzed2DRes*)nullptr);
        ts::fillMap(a.ratiMap, 4, 3, [](int x, int y) { return x + y; });
        a.ratiMap.genImg();
        QCOMPARE(a.selectedMap(), &a.ratiMap);
        // Element maps: ignored without rows.
        a.ShowResElemsA->setChecked(true);
        QCOMPARE(a.selectedMap(), (Analyzed2DRes*)nullptr);
        a.setTargetElements(QStringLiteral("Fe Cu"));
        a.elemShowGroup()->button(1)->setChecked(true);
        a.ShowElemsROI->setChecked(true);
        QCOMPARE(a.selectedMap(), a.elemCtrls()[1]->map(ElemKindROI));
        a.ShowElemsCorrTh->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.elemsCorThMap);
        // No row shown: no row is indexed.
        a.ShowElemsDE->setChecked(true);
        a.elemShowGroup()->setExclusive(false);
        a.elemShowGroup()->button(1)->setChecked(false);
        QCOMPARE(a.selectedMap(), (Analyzed2DRes*)nullptr);
        // The sum-up and map-processing modes override everything.
        a.SelSumUp->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.sumUpMap);
        a.SelProcMaps->setChecked(true);
        QCOMPARE(a.selectedMap(), &a.processedMap);
    }

    // The shown map captured as map 1 is a copy; map 2 is of another size; the
    // two are combined block by block over the owner's grid
    // (sums of 3 x 3 blocks, pixels outside a map count 0).
    void processedMaps_data()
    {
        QTest::addColumn<int>("op");
        QTest::newRow("subtract") << int(MapProcessing::Subtract);
        QTest::newRow("divide, 1 where map 2 is 0") << int(MapProcessing::Divide);
        QTest::newRow("mask by map 2 above 0") << int(MapProcessing::Mask);
    }
    void processedMaps()
    {
        QFETCH(int, op);
        Analyzer a;
        AnalyzeCond grid;
        grid.set(9, 7, 1, 1, QRectF(0, 0, 9, 7), 0, 0);
        connect(&a, &Analyzer::askAnalyzeCond, &a, [&](AnalyzeCond& ac) { ac = grid; }, Qt::DirectConnection);
        // Nothing to combine yet: no result.
        QMetaObject::invokeMethod(&a, "processMaps");
        QVERIFY(!a.processedMap.data);
        // Map 2 is 0 in its left part and negative elsewhere.
        auto f1 = [](int x, int y) { return 1.0 + x + 10.0 * y; };
        auto f2 = [](int x, int y) { return x < 3 ? 0.0 : -0.25 * (1 + y); };
        ts::fillMap(a.dEdgeMap, 9, 7, f1);
        a.dEdgeMap.genImg();
        QTest::mouseClick(a.CaptureAsMap1, Qt::LeftButton);
        ts::fillMap(a.dEdgeMap, 9, 7, [](int, int) { return -1.0; });
        ts::fillMap(a.map2, 8, 6, f2);
        a.map2.genImg();
        (op == MapProcessing::Divide ? a.ProcTypeDiv : op == MapProcessing::Mask ? a.ProcTypeMask : a.ProcTypeSub)
            ->setChecked(true);
        QMetaObject::invokeMethod(&a, "processMaps");
        for (int cy = 1; cy < 7; cy += 3)
            for (int cx = 1; cx < 9; cx += 3) {
                double s1 = 0, s2 = 0;
                for (int y = cy - 1; y <= cy + 1; ++y)
                    for (int x = cx - 1; x <= cx + 1; ++x) {
                        s1 += x < 9 && y < 7 ? f1(x, y) : 0.0;
                        s2 += x < 8 && y < 6 ? f2(x, y) : 0.0;
                    }
                const double want = op == MapProcessing::Subtract ? s1 - s2
                                    : op == MapProcessing::Divide ? (s2 == 0 ? 1.0 : s1 / s2)
                                                                  : (s2 > 0 ? s1 : 0.0);
                QCOMPARE(a.processedMap.valueAt(cx + 1, cy - 1), want);
            }
        // An empty grid from the owner: no block, no crash.
        grid = AnalyzeCond();
        QMetaObject::invokeMethod(&a, "processMaps");
        QVERIFY(!a.processedMap.hasImage);
    }

    // Ranges before the start, reversed, overlapping (image 1 counts twice),
    // past the end; ends at the int limits are clamped, not walked.
    void sumUpMap()
    {
        Analyzed2DRes map(QStringLiteral("Sum Up Img"));
        const QList<SumUpRange> ranges = {{INT_MIN, 2, 0}, {7, 3, 0}, {1, 9, 0}, {15, INT_MAX, 0}};
        AnalyzeCond whole;
        whole.set(W, H, 1, 1, 0, 0, W, H, -1, -1);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("1 I1 images differ in size"));
        ImageSum::fillMap(map, whole, stack, ranges);
        checkSumMap(map, whole, ranges);
        // Written as an image and read back pixel by pixel.
        const QString path = dir.filePath(QStringLiteral("sumUpImg.png"));
        QVERIFY(ImageSum::saveImage(map, path));
        const QImage got = QImage(path).convertToFormat(map.image->format());
        QCOMPARE(got.size(), QSize(W, H));
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c) QCOMPARE(got.pixel(c, r), map.image->pixel(c, r));
        QVERIFY(qGray(got.pixel(map.maxPos)) > qGray(got.pixel(map.minPos)));
        // Nothing of the earlier grid survives outside the new one.
        AnalyzeCond part;
        part.set(W, H, 2, 1, 3, 1, 5, 4, -1, -1);
        ImageSum::fillMap(map, part, stack, ranges);
        checkSumMap(map, part, ranges);
    }

    // No map, no images, a folder where the image goes: false and a debug
    // line, no crash, nothing replaced.
    void sumUpBadInput()
    {
        const QString startDir = QDir::currentPath();
        QTemporaryDir out;
        QVERIFY(QDir::setCurrent(out.path()));
        SumUpCtrl s;
        s.add();
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("no map to fill"));
        QVERIFY(!s.doSumUp());
        Analyzed2DRes map(QStringLiteral("Sum Up Img"));
        s.setTargetMap(&map);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("no I1 images"));
        QVERIFY(!s.doSumUp());
        QCOMPARE(map.width(), 0);
        QVERIFY(!QFile::exists(out.filePath(SumUpCtrl::imageFileName())));
        QVERIFY(QDir(out.path()).mkdir(SumUpCtrl::imageFileName()));
        AnalyzeCond grid;
        grid.set(W, H, 1, 1, 0, 0, W, H, -1, -1);
        s.setI1Stack(&stack);
        s.setGridProvider([&](AnalyzeCond& a) {
            a = grid;
            return true;
        });
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("sumUpImg.png"));
        QVERIFY(!s.doSumUp());
        QVERIFY(QFileInfo(out.filePath(SumUpCtrl::imageFileName())).isDir());
        checkSumMap(map, grid, s.ranges());
        QDir::setCurrent(startDir);
    }

    // The thresholded correlation map keeps the correlation from the
    // threshold up; short vectors and a short map list are not read past.
    void elementAndRatioMaps()
    {
        AnalyzeCond ac = ts::pixelGrid(5, 1);
        Analyzed2DRes maps[2];
        for (Analyzed2DRes& m : maps) m.setCond(ac);
        // No element rows: the two correlation maps come first.
        do {
            recordElemBlock({&maps[0], &maps[1]}, 0, {}, 0.25 * ac.curX, 0.5, ac);
        } while (ac.next());
        for (int x = 0; x < 5; ++x) {
            QCOMPARE(maps[0].valueAt(x, 0), 0.25 * x);
            QCOMPARE(maps[1].valueAt(x, 0), x >= 2 ? 0.25 * x : 0.0);
        }
        recordElemBlock({&maps[0]}, 2, {{1.0}}, 0, 0, ac);
        recordElemBlock({}, -1, {}, 0, 0, ac);

        // The ratio map from the jump and rest maps: a second pass over fewer
        // blocks keeps nothing of the first; d + r = 0 gives 0, not NaN;
        // without rest data nothing is written.
        const AnalyzeCond full = ts::pixelGrid(6, 4);
        Analyzed2DRes dMut, rest, ratio;
        // Rest above 0 everywhere: the unanalysed zeros must not become the minimum.
        auto restAt = [](int x, int y) { return 1.0 + 0.5 * y + 0.1 * x; };
        ts::fillMap(dMut, 6, 4, [](int x, int) { return 1.0 + x; });
        ts::fillMap(rest, 6, 4, restAt);
        computeRatioMap(dMut, rest, ratio, full, 24);
        computeRatioMap(dMut, rest, ratio, full, 8);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                const double r = restAt(x, y) - restAt(0, 0);
                const double want = y * 6 + x < 8 ? r / (1.0 + x + r) : 0.0;
                QVERIFY2(std::abs(ratio.valueAt(x, y) - want) < 1e-12, qPrintable(QString("%1,%2").arg(x).arg(y)));
            }
        Analyzed2DRes zeroD, flat, out, noData, untouched;
        flat.setCond(full);
        computeRatioMap(zeroD, flat, out, full, 24);
        QCOMPARE(out.valueAt(2, 2), 0.0);
        QVERIFY(std::isfinite(out.dataMax) && std::isfinite(out.dataMin));
        untouched.setCond(full);
        computeRatioMap(dMut, noData, untouched, full, 24);
        QCOMPARE(untouched.dataMax, -1e300);
    }
};

QTEST_MAIN(TestAnalyzer)
#include "tst_analyzer.moc"
