// The detector tools on the main window: their configuration, the
// alignment panel and the statistics window on the shown frame and map, a
// calibration into the window's shift map and its map files, the analysis
// panel's operand maps, and a teardown during a run; the detector panel's
// "Use Err Points Mask" and the bad-pixel repair it switches; refusals' reasons.
#include <QFileInfo>
#include <QPointer>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <random>

#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "batch/BatchOnBody.h"
#include "core/Cfg.h"
#include "core/FailureLog.h"
#include "core/ErrPoints.h"
#include "core/Globals.h"
#include "mainwindow/BodyHooks.h"
#include "tools/Analyzer2.h"
#include "tools/Analyzer2OnBody.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibOnBody.h"
#include "tools/EShiftMapFile.h"
#include "tools/ToolsOnBody.h"
#include "support/Batch.h"
#include "support/BodyStack.h"
#include "support/EdgeSpectra.h"
#include "support/Files.h"
#include "support/Maps.h"
#include "support/StackFiles.h"
#include "widgets/SpecPane.h"

namespace {

const int W = 8;
const int H = 6;
const double shift = 2.0;  // eV the sample's edge lies above the standard's

double ramp(int x, int y) { return x + 10.0 * y; }

// I1 transmits exp(-mu) of an I0 of 1000 everywhere, mu being the standard's
// edge moved up by shift; the frames sit at (5, 7) on the detector.
void loadEdgeStack(Body& b)
{
    ts::StackSpec s;
    s.w = W;
    s.h = H;
    s.n = 251;
    s.energy = [](int k) { return 8900.0 + k; };
    s.i1 = [](int k, int, int) { return 1000 * std::exp(-edges::wiggly(8900.0 + k - shift)); };
    s.i0 = [](int, int, int) { return 1000.0; };
    ts::loadStack(b, s, false);
    for (TiffData* f : b.i1Images + b.i0Images) {
        f->hdrX = 5;
        f->hdrY = 7;
    }
    b.dispA->setSelectedArea(0, 0, W - 1, H - 1);
    b.HWidth->setText("1");
    b.VWidth->setText("1");
}

// Counts with photon noise about n, the same whatever order the frames are made in.
double photons(double n, int k, int c, int r, int which)
{
    QRandomGenerator g(quint32(((k * 32 + c) * 16 + r) * 2 + which));
    const double u = 1 - g.generateDouble(), v = g.generateDouble();
    return n + std::sqrt(n) * std::sqrt(-2 * std::log(u)) * std::cos(2 * M_PI * v);
}

const int flatW = 18, flatH = 9, sampleW = 9;  // the sample covers x < 9
double sampleShift(int x, int y) { return 3 + 0.5 * x - 0.3 * y; }  // of the block centred on (x, y)

// Blocks of 3 x 3 pixels; the sample's edge moves block by block over the left half, the right
// half is a flat matrix with a hot pixel in one frame. Steps fine at the edge, coarse off it.
void loadHalfEmptyStack(Body& b)
{
    static QVector<double> E;
    if (E.isEmpty())
        for (double e = 8800; e <= 9200; e += e < 8970 ? 5 : e < 9030 ? 0.5 : 4) E.append(e);
    auto i1 = [](int k, int c, int r) {
        if (k == 60 && c == 14 && r == 2) return 60000.0;
        const double mu = c < sampleW ? 0.3 + edges::wiggly(E[k] - sampleShift(c / 3 * 3 + 1, r / 3 * 3 + 1))
                                      : 0.8 - 2e-5 * (E[k] - 8800);
        return photons(20000 * std::exp(-mu), k, c, r, 1);
    };
    auto i0 = [](int k, int c, int r) { return photons(20000, k, c, r, 0); };
    ts::loadStack(b, {flatW, flatH, E.size(), [](int k) { return E[k]; }, i1, i0}, false);
    b.dispA->setSelectedArea(0, 0, flatW, flatH);
    b.HWidth->setText("1");
    b.VWidth->setText("1");
}

QVector<QPoint> shiftsOf(const QVector<TiffData*>& stack)
{
    QVector<QPoint> v;
    for (const TiffData* f : stack) v << QPoint(f->shiftX, f->shiftY);
    return v;
}

}  // namespace

class TstBodyTools : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString errListPath, stdFile;

private slots:
    void initTestCase()
    {
        initGlobals();
        initColorTables();
        installAnalysisOnBody();
        installToolsOnBody();
        installCalibOnBody();
        installAnalyzer2OnBody();
        installBatchOnBody();
        QVERIFY(ts::initBatchRun(dir));
        showAnalyzer2Button = true;
        errListPath = dir.filePath("bad.dat");
        QVERIFY(ts::writeFile(errListPath, "# Size 8 6\n1 1\n2 3\n"));
        globalCfg.add("ErrPoints", errListPath, errListPath);
        stdFile = dir.filePath("std.dat");
        QVERIFY(ts::writeSpectrum(stdFile, synth::sample(8800, 9200, 0.5, [](double E) { return edges::wiggly(E); })));
    }

    // The configuration's bad-pixel list reaches the program-wide list,
    // whose flag the detector panel's box then drives; the calibration
    // window's choice of background line is the main window's.
    void wiring()
    {
        Body b;
        QVERIFY(globalErrPoints.use);
        QCOMPARE(globalErrPoints.points, (QVector<QPoint>{{1, 1}, {2, 3}}));
        Analyzer2& panel = Analyzer2OnBody::of(b)->analyzer2;
        panel.show();
        QTest::mouseClick(panel.UseErrPMask, Qt::LeftButton);
        QVERIFY(!globalErrPoints.use);
        QTest::mouseClick(panel.UseErrPMask, Qt::LeftButton);
        QVERIFY(globalErrPoints.use);
        CalibCtrl* ctrl = CalibOnBody::of(b)->calibCtrl;
        ctrl->TargetBGVictreen->setChecked(true);
        QCOMPARE(Body::hooks().bgLineType(b), 0);
        ctrl->TargetBGSimple->setChecked(true);
        QCOMPARE(Body::hooks().bgLineType(b), 1);
    }

    // The panel follows the shown frame of either stack and is given none
    // before a stack's frames are freed, also one it holds without showing
    // it, and also while edge detection is off. Its shift goes to the frame
    // it analysed, not the one chosen in the list; an I0 frame takes none,
    // and the user is told.
    void alignmentPanel()
    {
        Body b;
        ts::StackSpec s;
        s.n = 5;
        ts::loadStack(b, s, false);
        ImgProc& p = ToolsOnBody::of(b)->imgProc;
        p.EdgeDetect->setChecked(true);
        b.SelectI1Files->setShowLatest(false);
        for (bool i0 : {false, true}) {
            b.ShowI0->setChecked(i0);
            b.ShowData->setChecked(!i0);
            b.showData(i0 ? 1 : 3);
            QCOMPARE(p.image, i0 ? b.i0Images[1] : b.i1Images[3]);
            b.showData(9);  // outside the stack: nothing changes
            QCOMPARE(p.image, i0 ? b.i0Images[1] : b.i1Images[3]);
            b.SelectI1Files->Selected->setCurrentIndex(1);
            emit p.imgShift(4, -2);
            QCOMPARE(shiftsOf(b.i1Images), QVector<QPoint>({{}, {}, {}, {4, -2}, {}}));
            QCOMPARE(shiftsOf(b.i0Images), QVector<QPoint>(5));
            QCOMPARE(b.statusBar()->currentMessage().contains("not stored"), i0);
        }
        emit p.askClearAllShifts();
        QCOMPARE(shiftsOf(b.i1Images), QVector<QPoint>(5));
        emit p.askGiveData();  // the frame chosen in the I1 list, while I0 shows
        QCOMPARE(p.image, b.i1Images[1]);
        b.clearI1Files();
        QCOMPARE(p.image, static_cast<TiffData*>(nullptr));
        b.showData(1);
        QCOMPARE(p.image, b.i0Images[1]);
        p.EdgeDetect->setChecked(false);
        b.clearI0Files();
        QCOMPARE(p.image, static_cast<TiffData*>(nullptr));
    }


    // Particles in transmission on a bright field, with photon noise; frame 3
    // shows the scene drifted by (dx, dy), which the shift (-dx, -dy) undoes.
    // As a user does it, with the panel's defaults: frame 0 shown, "Edge
    // Detect", "Set Ref.", then frame 3 shown. Its shift is the nearest whole
    // pixel to the truth, within 0.5 px a side (exact for a whole drift); a
    // later "Auto Shift" keeps it, and showing the aligned frame again does
    // not undo it. The frame's border, which stays put, once held every climb
    // at (0, 0).
    void alignmentFindsAKnownDrift_data()
    {
        QTest::addColumn<double>("dx");
        QTest::addColumn<double>("dy");
        QTest::addColumn<double>("noise");  // times the photon noise
        QTest::newRow("(+1.5, -1.0), photon noise") << 1.5 << -1.0 << 1.0;
        QTest::newRow("(+1.5, -1.0), no noise") << 1.5 << -1.0 << 0.0;
        QTest::newRow("(+2, -1), photon noise") << 2.0 << -1.0 << 1.0;
        QTest::newRow("(-3, +2.5), photon noise") << -3.0 << 2.5 << 1.0;
    }
    void alignmentFindsAKnownDrift()
    {
        QFETCH(double, dx);
        QFETCH(double, dy);
        QFETCH(double, noise);
        Body b;
        ts::StackSpec s{64, 64, 6};
        std::mt19937 rng(11);
        s.i1 = [&](int k, int c, int r) {
            const double x = k == 3 ? c - dx : c, y = k == 3 ? r - dy : r;
            auto particle = [&](double x0, double y0, double radius) {
                return 1.0 / (1.0 + std::exp((std::hypot(x - x0, y - y0) - radius) / 1.2));
            };
            const double v = 10000 * std::exp(-(0.8 * particle(20, 22, 8) + 0.5 * particle(42, 40, 10)
                                                + 0.6 * particle(46, 14, 5)));
            return v + noise * std::normal_distribution<double>(0, std::sqrt(v))(rng);
        };
        ts::loadStack(b, s, false);
        b.SelectI1Files->setShowLatest(false);
        ImgProc& p = ToolsOnBody::of(b)->imgProc;
        QTest::mouseClick(b.ShowImgProc, Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(&p));
        b.sliderMoved(0);
        QTest::mouseClick(p.EdgeDetect, Qt::LeftButton);
        QTest::mouseClick(p.SetRef, Qt::LeftButton);
        b.sliderMoved(3);
        const QPoint found(b.i1Images[3]->shiftX, b.i1Images[3]->shiftY);
        QVERIFY2(std::fabs(found.x() + dx) <= 0.5 && std::fabs(found.y() + dy) <= 0.5,
                 qPrintable(QString("(%1, %2)").arg(found.x()).arg(found.y())));
        QTest::mouseClick(p.ShiftAuto, Qt::LeftButton);
        b.sliderMoved(2);
        b.sliderMoved(3);
        QCOMPARE(shiftsOf(b.i1Images), QVector<QPoint>({{}, {}, {}, found, {}, {}}));
        QCOMPARE(QPoint(p.ShiftX->text().toInt(), p.ShiftY->text().toInt()), found);
    }

    // The panel's climb, arrows and typed fields reach the analysed frame in both parts, and only
    // it. Frame 3 shows the scene displaced by (-4, 2), so (4, -2) lines it up with frame 0.
    void alignmentShiftsBothParts()
    {
        Body b;
        ts::StackSpec s{48, 44, 5};
        s.i1 = [](int k, int c, int r) {
            const double x = k == 3 ? c + 4 : c, y = k == 3 ? r - 2 : r;
            auto g = [&](double x0, double y0, double w) {
                return std::exp(-((x - x0) * (x - x0) + (y - y0) * (y - y0)) / (2 * w * w));
            };
            return 1000 * g(14, 16, 4) + 700 * g(32, 30, 5) + 500 * g(34, 12, 3);
        };
        ts::loadStack(b, s, false);
        b.SelectI1Files->setShowLatest(false);
        ImgProc& p = ToolsOnBody::of(b)->imgProc;
        QTest::mouseClick(b.ShowImgProc, Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(&p));
        p.BinThVSlider->setValue(100);
        QTest::mouseClick(p.AAutoShift, Qt::LeftButton);  // climbs only when asked
        QTest::mouseClick(p.Compare, Qt::LeftButton);
        b.sliderMoved(0);
        QTest::mouseClick(p.EdgeDetect, Qt::LeftButton);
        QTest::mouseClick(p.SetRef, Qt::LeftButton);
        b.sliderMoved(3);
        QTest::mouseClick(p.Compare, Qt::LeftButton);
        QTest::mouseClick(p.ShiftAuto, Qt::LeftButton);
        QVERIFY2(p.NormScolarP->text().toDouble() > 0.99, qPrintable(p.NormScolarP->text()));
        QCOMPARE(shiftsOf(b.i1Images), QVector<QPoint>({{}, {}, {}, {4, -2}, {}}));
        QTest::mouseClick(p.ShiftU, Qt::LeftButton);  // up lowers y, left x; stored by "Set Shift"
        QTest::mouseClick(p.ShiftL, Qt::LeftButton);
        QCOMPARE(shiftsOf(b.i1Images)[3], QPoint(4, -2));
        QTest::mouseClick(p.SetShift, Qt::LeftButton);
        QCOMPARE(shiftsOf(b.i1Images)[3], QPoint(3, -3));
        b.sliderMoved(1);
        for (QLineEdit* e : {p.ShiftX, p.ShiftY}) e->clear();
        QTest::keyClicks(p.ShiftX, "-7\r");
        QTest::keyClicks(p.ShiftY, "5\r");
        QTest::mouseClick(p.SetShift, Qt::LeftButton);
        QCOMPARE(shiftsOf(b.i1Images), QVector<QPoint>({{}, {-7, 5}, {}, {3, -3}, {}}));
        QTest::mouseClick(p.ClearAllShifts, Qt::LeftButton);
        QCOMPARE(shiftsOf(b.i1Images), QVector<QPoint>(5));
    }

    // The designated map is sampled block by block once per change, not again
    // for the repaint the range report asks for; a map freed under the window
    // is never read again.
    void statisticsOverTheImage()
    {
        Analyzed2DRes map("m");
        ts::fillMap(map, 12, 9, ramp);
        BodyHooks& h = Body::hooks();
        const auto designated = h.selectedMap;
        h.selectedMap = [&map](const Body&) { return &map; };
        Body b;
        ts::StackSpec s;
        s.n = 3;
        ts::loadStack(b, s);
        b.HWidth->setText("1");
        b.VWidth->setText("1");
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        Stats& st = ToolsOnBody::of(b)->stats;
        b.dispA->repaint();
        QCOMPARE(st.map.data(), &map);
        // Block centres at x 1, 4, 7, 10 and y 1, 4, 7.
        QCOMPARE(st.mean, (1 + 4 + 7 + 10) / 4.0 + 10 * (1 + 4 + 7) / 3.0);
        QSignalSpy ranges(&st, &Stats::rangeSelected);
        b.dispA->repaint();
        QTest::qWait(100);
        QCOMPARE(ranges.count(), 0);
        map.data[1 * 12 + 1] = 990;  // a new block value: computed again, once
        b.dispA->repaint();
        QTest::qWait(100);
        QCOMPARE(ranges.count(), 1);
        h.selectedMap = designated;

        auto* freed = new Analyzed2DRes("freed");
        st.calc(freed, ts::fillMap(*freed, 10, 8, ramp));
        emit b.dispA->mouseMoved(3.2, 2.7);
        QCOMPARE(st.pointedValue, 23.0);
        delete freed;
        emit b.dispA->mouseMoved(4.2, 1.7);
        QVERIFY(!st.map);
    }

    // A calibration places the map where the frames sit on the detector; the
    // window's map file buttons keep that place. A file the window would
    // misread is refused: a grid of another size than the images is not
    // written, a map of another size is read only without the size check,
    // and never as an operand of the analysis panel (read through its
    // "Select Map" dialogs); the window's own map stays put either way.
    void calibrationMapFiles()
    {
        Body b;
        CalibOnBody* calib = CalibOnBody::of(b);
        CalibCtrl* ctrl = calib->calibCtrl;
        ToolsOnBody* t = ToolsOnBody::of(b);
        loadEdgeStack(b);
        ctrl->loadStd(stdFile);
        QSignalSpy finished(&calib->calibration, &EnergyCalibration::doFinishCalib);
        QTest::mouseClick(ctrl->ExecCalib, Qt::LeftButton);
        QVERIFY(finished.count() > 0 || finished.wait(20000));
        QCOMPARE(QPoint(b.shiftMapOriginX, b.shiftMapOriginY), QPoint(5, 7));
        const double measured = b.shiftMap.valueAt(3, 3);
        QVERIFY2(std::abs(measured - shift) < 0.5, qPrintable(QString::number(measured)));

        const QString file = dir.filePath("shift.emp");
        emit ctrl->saveEMap(file);
        b.shiftMap.clear();
        b.shiftMapOriginX = b.shiftMapOriginY = 0;
        emit ctrl->loadEMap(file);
        QCOMPARE(QPoint(b.shiftMapOriginX, b.shiftMapOriginY), QPoint(5, 7));
        QVERIFY(std::abs(b.shiftMap.valueAt(3, 3) - measured) < 1e-3);

        Analyzer* p = AnalysisOnBody::of(b)->analyzer();
        ts::fillMap(p->map2, 3, 2, [](int, int) { return 50.0; });
        for (int width : {W, W + 3}) {
            Analyzed2DRes written("written");
            const AnalyzeCond g = ts::fillMap(written, width, H, ramp);
            const QString path = dir.filePath(QString("operand%1.emp").arg(width));
            QVERIFY(EShiftMapFile::write(path, written, EShiftMapFile::headerOf(g, 4, 6, ctrl->edgeEV(), 3.13553), "",
                                         width, H));
            emit(width == W ? p->eShiftMapDialog1 : p->eShiftMapDialog2).fileSelected(path);
        }
        QCOMPARE(p->map1.width(), W);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) QVERIFY(std::fabs(p->map1.valueAt(x, y) - ramp(x, y)) < 1e-3);
        QCOMPARE(QSize(p->map2.width(), p->map2.height()), QSize(3, 2));
        QCOMPARE(p->map2.valueAt(2, 1), 50.0);
        QCOMPARE(QPoint(b.shiftMapOriginX, b.shiftMapOriginY), QPoint(5, 7));
        QVERIFY(std::abs(b.shiftMap.valueAt(3, 3) - measured) < 1e-3);
        QCOMPARE(QSize(b.imageWidth, b.imageHeight), QSize(W, H));

        t->calibGrid.set(W - 1, H, 1, 1, 0, 0, W - 1, H, -1, -1);
        QVERIFY(!t->saveEMap(dir.filePath("other")));
        QVERIFY(!QFile::exists(dir.filePath("other.emp")));
        QSignalSpy answers(&b, &Body::finishBatchExec);
        t->checkSize = true;
        b.imageWidth = W + 1;
        b.shiftMapOriginX = 2;
        QVERIFY(!t->loadEMap(file));
        QCOMPARE(b.shiftMapOriginX, 2);
        QCOMPARE(b.imageWidth, W + 1);
        t->checkSize = false;  // unchecked, any size is read
        QVERIFY(t->loadEMap(file));
        t->checkSize = true;
        b.imageWidth = b.imageHeight = -1;  // no image yet: the file's size is taken
        QVERIFY(t->loadEMap(file));
        QCOMPARE(QSize(b.imageWidth, b.imageHeight), QSize(W, H));
        QCOMPARE(answers.size(), 0);  // reads the user asks for answer no script
    }

    // Over an area without sample only blocks with the standard's edge get a shift, by either
    // method, and alone make the figures and the surface; the others keep 0 and are counted.
    void blocksWithoutEdge_data()
    {
        QTest::addColumn<bool>("innerP");
        QTest::addColumn<bool>("fitted");
        QTest::addColumn<QString>("thJmp");
        QTest::addColumn<int>("withEdge");
        QTest::newRow("mid-point") << false << false << "1" << 9;
        QTest::newRow("mid-point, fitted surface") << false << true << "1" << 9;
        QTest::newRow("inner product") << true << false << "1" << 9;
        QTest::newRow("inner product, fitted surface") << true << true << "3" << 9;
        QTest::newRow("Th. Jmp. above every jump") << true << false << "1000" << 0;
    }
    void blocksWithoutEdge()
    {
        QFETCH(bool, innerP);
        QFETCH(bool, fitted);
        QFETCH(QString, thJmp);
        QFETCH(int, withEdge);
        Body b;
        CalibOnBody* calib = CalibOnBody::of(b);
        CalibCtrl* ctrl = calib->calibCtrl;
        loadHalfEmptyStack(b);
        ctrl->loadStd(stdFile);
        b.ThJumpSigma->setText(thJmp);
        b.QuadSurfFittedEShift->setChecked(fitted);
        QTest::mouseClick(innerP ? ctrl->CalibTypeInnerP : ctrl->CalibTypeDMidX, Qt::LeftButton);
        const int failures = FailureLog::count();
        QSignalSpy ended(&calib->calibration, &EnergyCalibration::runEnded);
        QTest::mouseClick(ctrl->ExecCalib, Qt::LeftButton);
        QVERIFY(ended.wait(60000));
        QCOMPARE(b.statusBar()->currentMessage(),
                 QString(withEdge ? "Calibration done: 9 of 18 blocks show no edge and got no shift"
                                  : "Calibration measured no block: none of the 18 blocks shows the standard's "
                                    "edge; the map holds no shift, the figures are kept"));
        QCOMPARE(FailureLog::count() - failures, withEdge == 0 ? 1 : 0);
        QCOMPARE(calib->calibration.stats.count, withEdge);
        QCOMPARE(int(b.shiftMap.fit.n), withEdge);
        double sq = 0;
        const double mean = ctrl->DEAvr->text().toDouble();
        for (int y = 0; y < flatH; ++y)
            for (int x = 0; x < flatW; ++x) {
                const int cx = x / 3 * 3 + 1, cy = y / 3 * 3 + 1;
                const double truth = x < sampleW && withEdge > 0 ? sampleShift(cx, cy) : 0.0;
                const double v = b.shiftMap.valueAt(x, y);
                QVERIFY2(std::abs(v - truth) < 0.25, qPrintable(QString("(%1, %2): %3").arg(x).arg(y).arg(v)));
                if (!fitted) QVERIFY(std::abs(b.energyShiftAt(x, y) - truth) < 0.25);
                if (truth == 0 || x != cx || y != cy) continue;
                const double m = fitted ? b.shiftMap.fit.valueAt(cx, cy) : v;
                QVERIFY(std::abs(m - truth) < 0.25);
                sq += (m - mean) * (m - mean);
            }
        if (withEdge == 0) return;
        QVERIFY(std::abs(mean - sampleShift(4, 4)) < 0.25);  // a plane's mean over a symmetric grid
        QVERIFY(std::abs(ctrl->DEMin->text().toDouble() - sampleShift(1, 7)) < 0.25);
        QVERIFY(std::abs(ctrl->DEMax->text().toDouble() - sampleShift(7, 1)) < 0.25);
        QVERIFY(std::abs(ctrl->DESigma->text().toDouble() - std::sqrt(sq / 9)) < 1e-3);
    }

    // Integer fields of the tool windows typed with real keys: a number past an end is brought to
    // it on Enter and the status bar names the field; keys that cannot lead into the range are
    // refused. None of it counts as a failure.
    void typedNumbersAreBounded_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("said");
        QTest::newRow("shift") << "ShiftX" << "70000" << "65535" << "Shift X: 70000 clipped to 65535 (-65535 to 65535)";
        QTest::newRow("shift, negative") << "ShiftX" << "-70000" << "-7000" << "";
        QTest::newRow("shift of INT_MIN") << "ShiftY" << "-2147483648" << "-21474" << "";
        QTest::newRow("bins") << "Bins" << "99999" << "10000" << "Statistics Bins: 99999 clipped to 10000 (0 to 10000)";
        QTest::newRow("bins, minus") << "Bins" << "-5" << "5" << "";
        QTest::newRow("dark check bins") << "HistgBins" << "99999999" << "16777216"
                                         << "Dark Check Bins: 99999999 clipped to 16777216 (0 to 16777216)";
        QTest::newRow("sum-up frame past int") << "SumUpTo" << "9999999999" << "2147483647"
                                               << "Sum Up Img No. To: 9999999999 clipped to 2147483647 (0 to 2147483647)";
        QTest::newRow("sum-up frame, minus") << "SumUpFrom" << "-1" << "1" << "";
    }
    void typedNumbersAreBounded()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QFETCH(QString, said);
        Body b;
        ToolsOnBody* t = ToolsOnBody::of(b);
        QLineEdit* e = nullptr;  // each name is in one window only
        for (QObject* w : QList<QObject*>{&t->imgProc, &t->stats, &Analyzer2OnBody::of(b)->analyzer2,
                                          AnalysisOnBody::of(b)->analyzer()})
            if (!e) e = w->findChild<QLineEdit*>(field);
        QVERIFY(e);
        const int failures = FailureLog::count();
        QSignalSpy shown(b.statusBar(), &QStatusBar::messageChanged);  // windows may say more after
        e->clear();
        QTest::keyClicks(e, typed + '\r');
        QCOMPARE(e->text(), kept);
        QStringList clips;
        for (const QList<QVariant>& m : shown)
            if (m.at(0).toString().contains("clipped")) clips << m.at(0).toString();
        QCOMPARE(clips, said.isEmpty() ? QStringList() : QStringList{said});
        QCOMPARE(FailureLog::count(), failures);
    }

    // Each refusal says why in the status bar and counts once for a script's
    // exit status, also with its "Err:" line, except the alignment panel's
    // hints; the analysis panel's progress never reads as a finished run.
    void refusalsInTheStatusBar_data()
    {
        QTest::addColumn<QString>("setup");  // "stack", "stack+std" or nothing
        // Steps split by "; ": "click C:/A:/P:Name" in the calibration, analysis or alignment
        // window, "type C:/A:/P:Name=text" into an emptied field with Enter, or a script.
        QTest::addColumn<QString>("act");
        QTest::addColumn<QString>("said");  // part of the status bar's message
        QTest::addColumn<QString>("err");   // part of the batch log
        const QString none = dir.filePath("none"), calib = "Calibration not started: ", run = "2-D run not started: ";
        const QString cmp = "analyzer_select_sub_mode_dEdge 1\nanalyzer_dEdge_select_mode_comp\n";
        QTest::newRow("calibration, no standard")
            << "stack" << "click C:ExecCalib" << calib + "it needs a standard spectrum" << "";
        QTest::newRow("calibration, standard cleared")
            << "stack+std" << "click C:Clear; click C:ExecCalib" << calib + "it needs a standard spectrum" << "";
        QTest::newRow("calibration, unusable search") << "stack+std" << "type C:MinDEs=0; calib_type 1\ncalib_exec"
                                                      << calib + "Min. E-step must be above 0" << "";
        QTest::newRow("calibration, area outside the image") << "stack+std" << "area 99 99 120 120; calib_exec"
                                                             << calib + "the area lies outside the image" << "";
        QTest::newRow("calibration, no images") << "" << "calib_exec" << calib + "no I1 image is loaded" << "";
        QTest::newRow("standard without spectrum") << "stack" << "calib_load_std " + none + ".dat"
            << "Standard spectrum not loaded: no spectrum in " + none + ".dat" << "Err: line 1: calib_load_std " + none;
        QTest::newRow("map save, nothing to save") << "stack+std" << "calib_save_map " + none
            << "The energy-shift map was not saved: there is nothing to save" << "Err: line 1: calib_save_map " + none;
        QTest::newRow("map file not there") << "" << "calib_load_map " + none + ".emp"
            << "Energy-shift map not read: " + none + ".emp cannot be opened" << "";
        QTest::newRow("2-D run, no analysis checked")
            << "stack" << "click A:AskAnalyze" << run + "no analysis is checked" << "";
        QTest::newRow("2-D run, maps processed") << "stack" << "analyzer_main_mode 1\nanalyzer_select_sub_mode_LCF 1\n"
                                                              "analyzer_exec_2da" << run + "\"Process Maps\"" << "";
        QTest::newRow("2-D run, comparison without reference")
            << "stack" << cmp + "analyzer_exec_2da" << run + "the edge comparison has no reference" << "";
        // A step that cannot be built must not leave the file's reference in use.
        QTest::newRow("2-D run, step without points") << "stack" << cmp + "analyzer_dEdge_comp_file_name " + stdFile
            + "\nanalyzer_dEdge_comp_w_step\nanalyzer_dEdge_comp_step_params 9000 300 0\nanalyzer_exec_2da"
            << run + "the edge comparison's step" << "";
        QTest::newRow("comparison file without spectrum")
            << "" << "analyzer_dEdge_comp_file_name " + none + ".dat" << "No spectrum in " + none + ".dat" << "";
        QTest::newRow("comparison search refused") << "" << "type A:DEdgeCWInitDEeV=0"
            << "Edge comparison settings refused (range 20, step 0, min. step 0.1" << "";
        QTest::newRow("image processor without reference") << "stack" << "click P:EdgeDetect" << "\"Set Ref.\"" << "";
        QTest::newRow("image processor without images") << "" << "click P:EdgeDetect" << "no I1 image is loaded" << "";
        QTest::newRow("reference without image") << "" << "click P:SetRef" << "No reference image taken" << "";
    }
    void refusalsInTheStatusBar()
    {
        QFETCH(QString, setup);
        QFETCH(QString, act);
        QFETCH(QString, said);
        QFETCH(QString, err);
        Body b;
        CalibCtrl* calib = CalibOnBody::of(b)->calibCtrl;
        Analyzer* panel = AnalysisOnBody::of(b)->analyzer();
        if (setup.startsWith("stack")) loadEdgeStack(b);
        if (setup.endsWith("std")) calib->loadStd(stdFile);
        const int failures = FailureLog::count();
        for (const QString& step : act.split("; ")) {
            if (step.startsWith("area ")) {  // as a drag leaves it: a script's region is moved inside
                const QStringList c = step.split(' ');
                b.dispA->setSelectedArea(c[1].toInt(), c[2].toInt(), c[3].toInt(), c[4].toInt());
                continue;
            }
            if (!step.startsWith("click ") && !step.startsWith("type ")) {
                QVERIFY(ts::runScript(BatchOnBody::of(b)->batchCtrl(), step));
                continue;
            }
            const QString name = step.section(' ', 1).mid(2).section('=', 0, 0);
            QWidget* root = step.contains(" C:")   ? static_cast<QWidget*>(calib)
                            : step.contains(" A:") ? static_cast<QWidget*>(panel)
                                                   : &ToolsOnBody::of(b)->imgProc;
            root->show();
            QVERIFY(QTest::qWaitForWindowExposed(root));
            if (auto* e = root->findChild<QLineEdit*>(name)) {
                e->clear();
                QTest::keyClicks(e, step.section('=', 1) + '\r');
            } else {
                QTest::mouseClick(root->findChild<QAbstractButton*>(name), Qt::LeftButton);
            }
        }
        QTRY_VERIFY2_WITH_TIMEOUT(b.statusBar()->currentMessage().contains(said),
                                  qPrintable(b.statusBar()->currentMessage()), 5000);
        QCOMPARE(FailureLog::count() - failures, act.contains(" P:") ? 0 : 1);
        QVERIFY(ts::logOf(BatchOnBody::of(b)->batchCtrl()).contains(err));
        QCOMPARE(panel->Progress->text().remove('%').trimmed().toDouble(), 0.0);
    }

    // Torn down while the panel holds a frame and a calibration runs: the
    // windows go with the main window; blocks still queued find nothing.
    void teardownDuringRun()
    {
        QPointer<ToolsOnBody> tools;
        QPointer<CalibCtrl> ctrl;
        {
            Body b;
            loadEdgeStack(b);
            tools = ToolsOnBody::of(b);
            tools->imgProc.EdgeDetect->setChecked(true);
            b.showData(1);
            QCOMPARE(tools->imgProc.image, b.i1Images[1]);
            ctrl = CalibOnBody::of(b)->calibCtrl;
            ctrl->loadStd(stdFile);
            QTest::mouseClick(ctrl->ExecCalib, Qt::LeftButton);
            QCoreApplication::processEvents();
            QVERIFY(CalibOnBody::of(b)->calibration.isRunning());
        }
        QVERIFY(tools.isNull());
        QVERIFY(ctrl.isNull());
        QCoreApplication::processEvents();
        // Closed while the alignment window is active with a field in focus:
        // the field's last edit, as the window goes, reaches no dying window.
        {
            Body b;
            loadEdgeStack(b);
            ImgProc& align = ToolsOnBody::of(b)->imgProc;
            align.show();
            QVERIFY(QTest::qWaitForWindowActive(&align));
            auto* field = align.findChild<QLineEdit*>();
            QVERIFY(field);
            field->setFocus();
            QTRY_VERIFY(field->hasFocus());
        }
        QCoreApplication::processEvents();
    }

    // Listed pixels are repaired when the panel's box is checked and the list
    // the image is loaded with (the stack's own, or the program-wide one for
    // loads without a list) is in use; either switch off leaves the pixel.
    // Clearing one stack lets go only of what shows it: the view keeps its
    // frame, and a view without a picture still maps positions top-down, as
    // the cursor box and the batch word move_position rely on.
    void imageViewKeepsItsFrame()
    {
        Body b;
        ts::StackSpec s;
        s.w = 40;
        s.h = 30;
        s.n = 4;
        ts::loadStack(b, s, false);
        b.showData(2);
        b.resize(1200, 900);
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        TiffData* shown = b.i1Images[2];
        const QRectF window = b.dispA->viewWindow;
        b.clearI0Files();
        QCOMPARE(b.dispA->image, shown);
        QCOMPARE(b.dispA->viewWindow, window);
        b.ShowResAnalysis->setChecked(true);
        QCOMPARE(b.dispA->image, shown);
        QCOMPARE(b.dispA->viewWindow, window);
        b.ShowData->setChecked(true);
        b.clearI1Files();
        QCOMPARE(b.dispA->viewWindow, window);
        b.dispA->repaint();
        b.dispA->setRealMousePos(25.5, 7.5);
        QCOMPARE(QPoint(b.cursorX, b.cursorY), QPoint(25, 7));
    }

    // Zoomed by the user, the panel's spectrum view keeps its range while the
    // cursor moves; a new stack sets it afresh.
    void analysisSpectrumKeepsItsRange()
    {
        auto stack = [&](double e0) {
            QStringList files;
            for (int k = 0; k < 8; ++k) {
                const QString f = dir.filePath(ts::energyName(e0 > 8000 ? "a" : "b", e0 + 5 * k));
                ts::writeTiff(f, 16, 12, [&](int c, int) { return 1000.0 + 100 * k + c; });
                files << f;
            }
            return files;
        };
        Body b;
        SpecPane* pane = AnalysisOnBody::of(b)->analyzer()->specPane;
        QVERIFY(ts::loadFiles(b, stack(8950), true));
        QVERIFY(std::abs(pane->xMin - 8950) < 1 && std::abs(pane->xMax - 8985) < 1);
        pane->xMin = 8960;
        pane->xMax = 8970;
        b.showXafsSpectrum(3, 4);
        b.showXafsSpectrum(9, 2);
        QCOMPARE(QPointF(pane->xMin, pane->xMax), QPointF(8960, 8970));
        QVERIFY(ts::loadFiles(b, stack(7100), true));
        QVERIFY2(std::abs(pane->xMin - 7100) < 1 && std::abs(pane->xMax - 7135) < 1,
                 qPrintable(QString("%1 - %2").arg(pane->xMin).arg(pane->xMax)));
    }

    void repairNeedsBothSwitches_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("panelBox");
        QTest::addColumn<bool>("listInUse");
        QTest::addColumn<bool>("stackList");  // false: the load brings no list
        QTest::addColumn<bool>("repaired");
        QTest::newRow("both on") << "tif" << true << true << true << true;
        QTest::newRow("both on, IM file") << "im" << true << true << true << true;
        QTest::newRow("panel box off") << "tif" << false << true << true << false;
        QTest::newRow("stack list off") << "im" << true << false << true << false;
        QTest::newRow("program-wide list") << "tif" << true << true << false << true;
    }
    void repairNeedsBothSwitches()
    {
        QFETCH(QString, format);
        QFETCH(bool, panelBox);
        QFETCH(bool, listInUse);
        QFETCH(bool, stackList);
        QFETCH(bool, repaired);
        const QString file = dir.filePath("frame." + format);
        QVERIFY(format == "tif" ? ts::writeTiff(file, 4, 4, ramp) : ts::writeIm(file, 4, 4, ramp));
        Analyzer2 panel;
        panel.show();
        QVERIFY(!panel.setupErrPoints(Cfg()));  // no program-wide list file
        if (!panelBox) QTest::mouseClick(panel.UseErrPMask, Qt::LeftButton);
        ErrPoints list;
        list.points = {QPoint(0, 0)};
        list.use = listInUse;
        globalErrPoints = list;
        TiffData d;
        QVERIFY(stackList ? d.load(file, list) : d.load(file));
        QCOMPARE(d.pixelValue(0, 0), repaired ? 7.0 : 0.0);  // 7: the mean of 1, 10 and 11
        QCOMPARE(d.pixelValue(3, 3), 33.0);  // unlisted pixels as recorded
        globalErrPoints = ErrPoints();
        errPointsMaskOn = true;
    }
};

QTEST_MAIN(TstBodyTools)
#include "tst_bodytools.moc"
