// The detector tools on their own: the energy calibration of a map against
// a standard, the edge images and the shift search that align frames, the
// statistics of a map, and the tools' files read back value by value or byte
// by byte (the dark check's five files, the energy-shift map file, byte maps).
#include "core/Analyzed2DRes.h"
#include "core/ErrPoints.h"
#include "core/Globals.h"
#include "support/EdgeSpectra.h"
#include "support/Files.h"
#include "support/Frames.h"
#include "support/Maps.h"
#include "support/Messages.h"
#include "tools/ByteMap.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibMath.h"
#include "tools/DarkCheck.h"
#include "tools/EShiftMapFile.h"
#include "tools/EnergyCalibration.h"
#include "tools/ImageAlign.h"
#include "tools/ImgProc.h"
#include "tools/Stats.h"
#include "tools/StatsMath.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <numeric>
#include <tuple>

using namespace EShiftMapFile;
using namespace StatsMath;
using DarkCheck::histogramIndex;

namespace {

const double nan_ = std::numeric_limits<double>::quiet_NaN();
const double inf_ = std::numeric_limits<double>::infinity();
// A whole calibration run of 16-42 blocks: 7 s under the sanitizers alone,
// 30 s with the machine three times oversubscribed.
const int runMs = 120000;

using Shift = std::function<double(int, int)>;

// The standard translated by exactly s eV.
Spectrum shiftedEdge(double s)
{
    Spectrum sp;
    for (int i = 0; i <= 800; ++i) sp.append(8800 + 0.5 * i + s, edges::wiggly(8800 + 0.5 * i));
    return sp;
}

// A window, a map and a calibration on a synthetic stack whose block at
// (x, y) is the standard moved by shift(x, y): 24 blocks at x 5..30, y 6..21.
struct Rig
{
    CalibCtrl ctrl;
    Analyzed2DRes map{"a2d esm"};
    EnergyCalibration cal;
    CalibRunInput input{3, 40, 30, 5, 7, QRectF(3, 4, 30, 20), 2, 2};
    Shift shift = [](int x, int y) { return 1.0 + 0.1 * x - 0.05 * y; };
    std::function<void(int)> onBlock;  // called with the count after each block
    bool fitted = false;
    int blocks = 0;
    QString log;  // "B" per block, "T" per turn of the event loop posted by a block
    QVector<QPoint> centres;  // of the blocks asked for
    QTemporaryDir dir;

    Rig()
    {
        map.clear();
        cal.setCtrl(&ctrl);
        cal.setMap(&map);
        cal.runInput = [this] { return input; };
        cal.blockSpectrum = [this](int x, int y, int, int) {
            ++blocks;
            centres.append(QPoint(x, y));
            log += 'B';
            QMetaObject::invokeMethod(&cal, [this] { log += 'T'; }, Qt::QueuedConnection);
            if (onBlock) onBlock(blocks);
            return shiftedEdge(shift(x, y));
        };
        cal.suggestElm = [] { return SuggestElm(); };
        cal.quadSurfaceFitted = [this] { return fitted; };
        const QString f = dir.filePath("std.dat");
        if (ts::writeSpectrum(f, shiftedEdge(0))) ctrl.loadStd(f);
    }
};

double num(QLineEdit* e) { return e->text().toDouble(); }

using Frame = std::unique_ptr<TiffData>;

// The Prewitt magnitude written as column and row sums over the raw samples,
// with the frame's shift applied by hand.
double directEdge(const ts::PixelFn& raw, int w, int h, int sx, int sy, int x, int y)
{
    auto P = [&](int px, int py) {
        const int c = px - sx, r = py - sy;
        return c < 0 || r < 0 || c >= w || r >= h ? 0.0 : raw(c, r);
    };
    double right = 0, left = 0, lower = 0, upper = 0;
    for (int k = -1; k <= 1; ++k) {
        right += P(x + 1, y + k);
        left += P(x - 1, y + k);
        lower += P(x + k, y + 1);
        upper += P(x + k, y - 1);
    }
    return std::max(std::fabs(right - left), std::fabs(lower - upper));
}

BinImage pixels(int w, int h, const std::vector<QPoint>& ones)
{
    BinImage b(w, h);
    for (const QPoint& p : ones) b.data[p.y() * w + p.x()] = 1.0;
    b.findMinMax();
    return b;
}

double ramp(int x, int y) { return x + 10.0 * y; }

const int W = 6;
const int H = 5;

const QStringList allFiles{"dark-hg-all.dat", "dark-allDarkPoints.dat", "dark-allDarkPointNums.dat",
                           "dark-allDarkPoints-onlyInPs1.dat", "dark-allDarkPoints-onlyInErrPs.dat"};

// The three frames as seen on screen (after their shifts): hot pixels over a
// plain background. The second frame is stored one column to the right, so
// its column 0 lies outside the stored image.
double view(int k, int x, int y)
{
    static const std::map<std::tuple<int, int, int>, double> hot{
        {{0, 0, 0}, 65535},   {{0, 1, 1}, 30000},   {{0, 4, 2}, 25000}, {{0, 2, 3}, 20001}, {{0, 5, 4}, 20000},
        {{1, 1, 1}, 31000},   {{1, 4, 2}, 20000},   {{1, 2, 3}, 40000}, {{2, 1, 1}, 29000.5},
        {{2, 2, 3}, 20000.5}, {{2, 3, 0}, 17400},   {{2, 4, 0}, 60000}, {{2, 5, 0}, 59999}, {{2, 0, 4}, -3},
        {{2, 1, 4}, nan_}};
    if (k == 1 && x == 0) return 0;
    const auto it = hot.find({k, x, y});
    if (it != hot.end()) return it->second;
    return k == 0 ? 100 + x + 10 * y : k == 1 ? 50 : 0;
}

void buildStack(ts::Stack& s)
{
    s.add(ts::frame(TiffData::UInt16, W, H, [](int c, int r) { return view(0, c, r); }));
    s.add(ts::frame(TiffData::UInt32, W, H, [](int c, int r) { return view(1, c + 1, r); }, 0, QString(), 1, 0));
    s.add(ts::frame(TiffData::Float32, W, H, [](int c, int r) { return view(2, c, r); }));
}

// The histogram file of the three frames, 100 bins of 600 up to 60000: a
// value's counter is the last bin edge not above it; below 0 and NaN in 0.
QByteArray expectedHistogram()
{
    QVector<int> counts(101, 0);
    for (int k = 0; k < 3; k++)
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                const double v = view(k, x, y);
                int i = 0;
                while (v >= 0 && i < 100 && (i + 1) * 600.0 <= v) i++;
                counts[i]++;
            }
    QByteArray t = "# min, max = (0, 60000)  bins = 100\n";
    for (int i = 0; i <= 100; i++)
        t += QByteArray::number(i) + "\t" + QByteArray::number(i * 600) + "\t" + QByteArray::number(counts[i]) + "\n";
    return t;
}

const double si111 = 3.13553;

// Bragg angle written out independently of the code under test.
double bragg(double e, double d)
{
    return std::asin(12398.424360387684 / e / (2 * d)) / 3.1415926535 * 180.0;
}

double shiftAt(int x, int y) { return (x - 3) * 0.75 + y * 0.1 - 0.2; }

EMPHeader headerFor(int w, int h, double e0)
{
    AnalyzeCond g;
    g.set(w, h, 1, 2, 1, 2, w - 2, h - 3, -1, -1);
    return headerOf(g, 12, -7, e0, si111);
}

struct Read
{
    Analyzed2DRes map;
    AnalyzeCond grid;
    EMPHeader header;
    LoadSettings settings;

    LoadResult from(const QString& path) { return load(path, map, header, grid, settings); }
};

const QByteArray goodHeader = "###Corvenlith::KWOP\n"
                              "Std Edge Energy [eV]    : 8979\n"
                              "Spacing [nm]            : 3.13553\n"
                              "Width [pix]             : 3\n"
                              "Height [pix]            : 2\n"
                              "##-----------------\n";

QByteArray headerWith(const char* from, const char* to) { return QByteArray(goodHeader).replace(from, to); }

}  // namespace

Q_DECLARE_METATYPE(Shift)
Q_DECLARE_METATYPE(CalibMath::BlockEdge)
Q_DECLARE_METATYPE(LoadResult)

class TestTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initGlobals();
        initColorTables();
    }

    // Every pixel of every block holds its shift; the mean, the spread and
    // the fitted surface match the shifts put in.
    void recoversShifts_data()
    {
        QTest::addColumn<bool>("innerP");
        QTest::addColumn<bool>("fitted");
        QTest::addColumn<Shift>("shift");
        QTest::addColumn<double>("tol");
        QTest::newRow("mid-point, quadratic") << false << true
            << Shift([](int x, int y) { return 2.0 + 0.002 * x * x - 0.003 * y * y + 0.001 * x * y - 0.05 * x; })
            << 1e-3;
        QTest::newRow("inner product, plane") << true << false
            << Shift([](int x, int y) { return 1.0 + 0.1 * x - 0.05 * y; }) << 0.1 + 1e-9;
    }
    void recoversShifts()
    {
        QFETCH(bool, innerP);
        QFETCH(bool, fitted);
        QFETCH(Shift, shift);
        QFETCH(double, tol);
        Rig r;
        r.input.yw = 1;  // blocks of 5 x 3: half widths must not be swapped
        r.shift = shift;
        r.fitted = fitted;
        r.ctrl.CalibTypeInnerP->setChecked(innerP);
        r.ctrl.DEw->setText("10");
        QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
        QTest::mouseClick(r.ctrl.ExecCalib, Qt::LeftButton);
        QVERIFY(finish.wait(runMs));
        const QVector<QPoint>& cs = r.centres;
        QCOMPARE(cs.size(), 6 * 7);
        QCOMPARE(r.map.valueAt(33, 10), 0.0);  // outside the area
        double sum = 0, sq = 0;
        for (const QPoint& c : cs) {
            const double s = shift(c.x(), c.y());
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -2; dx <= 2; ++dx) QVERIFY(std::abs(r.map.valueAt(c.x() + dx, c.y() + dy) - s) <= tol);
            QVERIFY(!fitted || std::abs(r.map.fit.valueAt(c.x(), c.y()) - s) < 1e-3);
            sum += s;
            sq += std::pow(r.map.valueAt(c.x(), c.y()) - num(r.ctrl.DEAvr), 2);
        }
        QVERIFY(std::abs(num(r.ctrl.DEAvr) - sum / cs.size()) <= tol);
        QVERIFY(std::abs(num(r.ctrl.DESigma) - std::sqrt(sq / cs.size())) < 1e-3);
    }

    // A turn of the event loop posted by a block runs before the next block,
    // also when a run is stopped and restarted before its pending block.
    void oneBlockPerTurn_data()
    {
        QTest::addColumn<int>("starts");
        QTest::newRow("one start") << 1;
        QTest::newRow("start, stop, start") << 3;
    }
    void oneBlockPerTurn()
    {
        QFETCH(int, starts);
        Rig r;
        QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
        for (int i = 0; i < starts; ++i) r.cal.execCalibration();
        QVERIFY(r.cal.isRunning());
        QCOMPARE(r.blocks, 0);
        QVERIFY(finish.wait(runMs));
        QCOMPARE(r.blocks, 24);
        QTRY_COMPARE_WITH_TIMEOUT(r.log.count('T'), 24, 30000);
        QVERIFY2(!r.log.contains("BB"), qPrintable(r.log));
        QTest::qWait(50);
        QCOMPARE(finish.count(), 1);
    }

    // Stopped after three blocks, by the start button pressed again, by clearing the map or by
    // clearing the standard: no block lands after it.
    void stoppedDuringARun_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("start pressed again") << "ExecCalib";
        QTest::newRow("map cleared") << "ClearMap";
        QTest::newRow("standard cleared") << "Clear";
    }
    void stoppedDuringARun()
    {
        QFETCH(QString, button);
        Rig r;
        const bool clear = button == "ClearMap", stdCleared = button == "Clear";
        r.onBlock = [&r, button](int n) {
            if (n == 3) QTest::mouseClick(r.ctrl.findChild<QPushButton*>(button), Qt::LeftButton);
        };
        QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
        QSignalSpy offsets(&r.cal, &EnergyCalibration::mapOffsetsChanged);
        ts::MessageLog m;
        QTest::mouseClick(r.ctrl.ExecCalib, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(r.blocks >= 3 && !r.cal.isRunning(), 30000);
        QTest::qWait(100);
        QCOMPARE(r.blocks, 3);
        QCOMPARE(finish.count(), 0);
        QCOMPARE(r.map.width(), clear ? 0 : 40);
        QCOMPARE(offsets.last()[0].toInt(), clear ? 0 : 5);  // the cleared map's place is reset
        const QPoint last = r.centres[2];
        const double kept = clear || stdCleared ? 0.0 : r.shift(last.x(), last.y());  // none against no standard
        QVERIFY(std::abs(r.map.valueAt(last.x(), last.y()) - kept) < 1e-3);
        QCOMPARE(m.has("Calibration stopped: the standard was cleared"), stdCleared);
        QCOMPARE(r.cal.standard.points.isEmpty(), stdCleared);
    }

    // Nothing starts, nothing is left queued, the map keeps what it had, and
    // the user reads why.
    void badInputStartsNothing_data()
    {
        QTest::addColumn<QString>("standard");  // the file the standard is loaded from
        QTest::addColumn<QRectF>("area");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("minStep");  // of the inner-product search
        QTest::addColumn<QString>("said");     // empty: nothing said
        const QRectF a(3, 4, 30, 20);
        QTest::newRow("no standard") << "missing.dat" << a << 3 << "" << "needs a standard spectrum";
        QTest::newRow("no images") << "" << a << 0 << "" << "no I1 image";
        QTest::newRow("empty area") << "" << QRectF(5, 5, 10, 0.5) << 3 << "" << "empty area";
        QTest::newRow("search refused") << "" << a << 3 << "0" << "Min. E-step must be above 0";
    }
    void badInputStartsNothing()
    {
        QFETCH(QString, standard);
        QFETCH(QRectF, area);
        QFETCH(int, count);
        QFETCH(QString, minStep);
        QFETCH(QString, said);
        Rig r;
        if (!standard.isEmpty()) {
            // A standard that does not load takes the window's, not the calibration's copy.
            const double kept = r.cal.standard.midx;
            r.ctrl.loadStd(r.dir.filePath(standard));
            QCOMPARE(r.cal.standard.midx, kept);
            r.cal.standard = XafsSpectrum();
        }
        r.map.setCond(ts::pixelGrid(8, 8));
        r.map.setData(3, 3, 0, 0, 42.0);
        r.input.area = area;
        r.input.imageCount = count;
        r.ctrl.CalibTypeInnerP->setChecked(!minStep.isEmpty());
        r.ctrl.MinDEs->setText(minStep);
        {
            ts::MessageLog m;
            r.cal.execCalibration();
            QVERIFY(!r.cal.isRunning());
            QVERIFY2(said.isEmpty() ? m.lines.isEmpty() : m.has(said) && !m.has("Start Calibration"),
                     qPrintable(m.lines.join('\n')));
        }
        QCOMPARE(r.map.valueAt(3, 3), 42.0);
    }

    // The reasons a start is refused for its search or its area; without a
    // window, map or providers every entry is safe.
    void refusedSearchesAndAreas()
    {
        auto search = [](double range, double step, double minStep) {
            return CalibMath::searchProblem({range, step, minStep});
        };
        QVERIFY(search(20, 0.05, 0.1).contains("E-step must not be below"));
        QVERIFY(search(20, 1e-6, 1e-7).contains("too wide"));
        QVERIFY(search(-1, 1, 0.1).contains("negative"));
        QVERIFY(search(std::nan(""), 1, 0.1).contains("numbers"));
        QVERIFY(CalibMath::areaProblem(QRectF(100, 100, 10, 10), 40, 30).contains("outside the image"));
        QVERIFY(CalibMath::areaProblem(QRectF(0, 0, 10, 10), -1, 30).contains("no image size"));
        EnergyCalibration bare;
        bare.execCalibration();
        QVERIFY(!bare.isRunning());
        bare.calibNextPoint();
        bare.finishCalib();
        bare.normalizeEShift();
        bare.clearShiftMap();
    }

    // A flag, a line not fitted, a search stopped at its limit, a jump within either residual
    // times Th. Jmp., a step of the standard's edge not standing out of the joint fit, a rise
    // at the block's E0 not standing out of the wiggles, or a grid that cannot place the edge
    // each take the block's shift away.
    void blockEdge_data()
    {
        QTest::addColumn<CalibMath::BlockEdge>("b");
        QTest::addColumn<double>("factor");
        QTest::addColumn<bool>("edge");
        using E = CalibMath::BlockEdge;  // flagged, lines fitted, jump, pre and post residual, at limit, shift, fit, rise
        using F = CalibMath::EdgeFit;    // fitted, points below and above, step, its error, residual
        const F good{true, 20, 30, 1.0, 0.02, 0.05}, rise{true, 20, 30, 1.0, 0.25, 0.05};
        const E ok{false, true, 1.0, 0.01, 0.03, false, 2.5, good, rise};
        auto with = [&](const F& f) { E e = ok; e.fit = f; return e; };
        QTest::newRow("clear edge") << ok << 1.0 << true;
        QTest::newRow("flagged") << E{true, true, 1.0, 0.01, 0.03, false, 2.5, good, rise} << 1.0 << false;
        QTest::newRow("line fit failed") << E{false, false, 1.0, 0.01, 0.03, false, 2.5, good, rise} << 1.0 << false;
        QTest::newRow("search at its limit") << E{false, true, 1.0, 0.01, 0.03, true, 2.5, good, rise} << 1.0 << false;
        QTest::newRow("jump equal to a residual") << ok << 1.0 / 0.03 << false;
        QTest::newRow("jump just above both") << E{false, true, 1.0, 0.01, 0.03, false, 2.5, F{true, 20, 30, 1.0, 0.001, 0.002}, F{true, 20, 30, 1.0, 0.001, 0.002}} << 0.99 / 0.03 << true;
        QTest::newRow("above the pre line's only") << E{false, true, 0.02, 0.01, 0.03, false, 2.5, good, rise} << 1.0 << false;
        QTest::newRow("above the post line's only") << E{false, true, 0.02, 0.03, 0.01, false, 2.5, good, rise} << 1.0 << false;
        QTest::newRow("Th. Jmp. 0, some jump") << E{false, true, 1e-6, 0.01, 0.03, false, 2.5, good, rise} << 0.0 << true;
        QTest::newRow("Th. Jmp. negative counts as 0") << ok << -5.0 << true;
        QTest::newRow("no jump") << E{false, true, 0, 0.01, 0.03, false, 2.5, good, rise} << 0.0 << false;
        QTest::newRow("jump not a number") << E{false, true, nan_, 0.01, 0.03, false, 2.5, good, rise} << 1.0 << false;
        QTest::newRow("residual not a number") << E{false, true, 1.0, 0.01, nan_, false, 2.5, good, rise} << 1.0 << false;
        QTest::newRow("shift not finite") << E{false, true, 1.0, 0.01, 0.03, false, inf_, good, rise} << 1.0 << false;
        QTest::newRow("edge not fitted") << with(F{false, 20, 30, 1.0, 0.02, 0.05}) << 1.0 << false;
        QTest::newRow("step 6 errors") << with(F{true, 20, 30, 0.12, 0.02, 0.04}) << 1.0 << true;
        QTest::newRow("step just below 6 errors") << with(F{true, 20, 30, 0.119, 0.02, 0.03}) << 1.0 << false;
        QTest::newRow("Th. Jmp. 1.5: 9 errors") << with(F{true, 20, 30, 0.18, 0.02, 0.01}) << 1.5 << true;
        QTest::newRow("Th. Jmp. 2: 12 errors") << with(F{true, 20, 30, 0.18, 0.02, 0.01}) << 2.0 << false;
        QTest::newRow("Th. Jmp. 0.5: 3 errors") << with(F{true, 20, 30, 0.06, 0.02, 0.01}) << 0.5 << true;
        QTest::newRow("Th. Jmp. 2: 6 residuals") << with(F{true, 20, 30, 0.75, 0.01, 0.25}) << 2.0 << false;
        QTest::newRow("step 3 residuals") << with(F{true, 20, 30, 0.75, 0.01, 0.25}) << 1.0 << true;
        QTest::newRow("step just below 3 residuals") << with(F{true, 20, 30, 0.749, 0.01, 0.25}) << 1.0 << false;
        QTest::newRow("falling step") << with(F{true, 20, 30, -1.0, 0.02, 0.05}) << 1.0 << false;
        QTest::newRow("perfect fit, rising") << with(F{true, 20, 30, 0.5, 0, 0}) << 1.0 << true;
        QTest::newRow("perfect fit, no step") << with(F{true, 20, 30, 0, 0, 0}) << 0.0 << false;
        // A step of the standard's curve below 0.1 (in mu) must also show a rise at its E0.
        const F low{true, 20, 30, 0.08, 0.002, 0.005};
        auto rising = [&](const F& f) { E e = ok; e.fit = low; e.rise = f; return e; };
        QTest::newRow("low step, rise of 2.5 errors") << rising(F{true, 20, 30, 1.0, 0.4, 0.05}) << 1.0 << true;
        QTest::newRow("low step, rise just below 2.5 errors") << rising(F{true, 20, 30, 1.0, 0.41, 0.05}) << 1.0 << false;
        QTest::newRow("Th. Jmp. 2: rise just below 5 errors") << rising(F{true, 20, 30, 1.0, 0.21, 0.05}) << 2.0 << false;
        QTest::newRow("falling rise") << rising(F{true, 20, 30, -1.0, 0.1, 0.05}) << 1.0 << false;
        QTest::newRow("rise not fitted") << rising(F{}) << 1.0 << false;
        auto tall = [&](double step) { E e = ok; e.fit = F{true, 20, 30, step, 0.002, 0.005}; e.rise = F{}; return e; };
        QTest::newRow("tall step, rise not fitted") << tall(0.1) << 1.0 << true;
        QTest::newRow("Th. Jmp. 2: step of 0.19, rise not fitted") << tall(0.19) << 2.0 << false;
        E between = ok;
        between.unresolved = true;
        QTest::newRow("edge between two energies") << between << 1.0 << false;
    }
    void blockEdge()
    {
        QFETCH(CalibMath::BlockEdge, b);
        QFETCH(double, factor);
        QFETCH(bool, edge);
        QCOMPARE(CalibMath::hasEdge(b, factor), edge);
    }

    // Only the first and last scores of the first pass are its limits.
    void searchLimit_data()
    {
        QTest::addColumn<double>("offset");
        QTest::addColumn<double>("range");
        QTest::addColumn<double>("step");
        QTest::addColumn<bool>("atLimit");
        QTest::newRow("lower end") << -20.0 << 20.0 << 1.0 << true;
        QTest::newRow("upper end") << 20.0 << 20.0 << 1.0 << true;
        QTest::newRow("inside") << 19.0 << 20.0 << 1.0 << false;
        QTest::newRow("finer pass's end") << -2.0 << 20.0 << 1.0 << false;
        QTest::newRow("rounded centre + d") << 20.0 - 3e-12 << 20.0 << 1.0 << true;
        QTest::newRow("last score short of the range") << 19.0 << 20.0 << 3.0 << true;
        QTest::newRow("range itself not scored") << 20.0 << 20.0 << 3.0 << false;
        QTest::newRow("steps of a tenth, last scored 1.9") << 1.9 << 2.0 << 0.1 << true;
        QTest::newRow("no range") << 0.0 << 0.0 << 1.0 << false;
        QTest::newRow("offset not a number") << nan_ << 20.0 << 1.0 << false;
    }
    void searchLimit()
    {
        QFETCH(double, offset);
        QFETCH(double, range);
        QFETCH(double, step);
        QFETCH(bool, atLimit);
        QCOMPARE(CalibMath::atSearchLimit(offset, {range, step, 0.1}), atLimit);
    }

    // Off real normalisations: a best match beyond the search's range is found at its limit from
    // the result alone; a post-edge line through two points is a fit, and the edge is fitted.
    void edgeFactsOfSpectra()
    {
        const SuggestElm sElm;
        const XafsSpectrum standard(shiftedEdge(0), "std", 1, 0, sElm);
        const XafsSpectrum moved(shiftedEdge(30), "block", 1, 0, sElm);
        const CalibMath::Search p{5, 1, 0.1};
        using M = CalibMath::Method;
        const double s = CalibMath::blockShift(moved, standard, M::InnerProduct, p);
        QVERIFY(std::abs(s - 30) < 0.1);
        CalibMath::BlockEdge e = CalibMath::edgeOf(moved, standard, s, M::InnerProduct, p);
        QVERIFY(e.linesFitted && !e.searchAtLimit && CalibMath::hasEdge(e, 1.0));
        // Two edges 20 eV apart, a third and two thirds of the jump: the mid-point lies on the
        // second, the best match a little before it, beyond a search of 0.5 eV about the mid-point.
        Spectrum twin;
        for (double E = 8800; E <= 9250; E += 0.5)
            twin.append(E, 0.2 + 0.45 * (0.5 + 0.5 * std::tanh((E - 9030) / 3)) + 0.55 * (0.5 + 0.5 * std::tanh((E - 9050) / 3)));
        const XafsSpectrum twoEdges(twin, "twin", 1, 0, sElm);
        const CalibMath::Search near{0.5, 0.5, 0.1};
        const CalibMath::Shift atEnd = CalibMath::measureShift(twoEdges, standard, M::InnerProduct, near);
        QVERIFY(atEnd.onGrid && std::abs(atEnd.value - atEnd.centre + 0.5) < 1e-9);
        e = CalibMath::edgeOf(twoEdges, standard, atEnd, M::InnerProduct, near);
        QVERIFY(e.searchAtLimit && !CalibMath::hasEdge(e, 1.0));
        QVERIFY(!CalibMath::edgeOf(twoEdges, standard, atEnd, M::MidPoint, near).searchAtLimit);
        // An edge 11 eV before the end leaves its post line three points, the last counted.
        Spectrum shortScan;
        for (double E = 8900; E <= 9011; E += 0.5) shortScan.append(E, edges::wiggly(E));
        const XafsSpectrum cut(shortScan, "cut", 1, 0, sElm);
        QCOMPARE(cut.post.fitCount, 3);
        e = CalibMath::edgeOf(cut, standard, cut.midx - standard.midx, M::MidPoint, p);
        QVERIFY(e.linesFitted && e.fit.fitted && CalibMath::hasEdge(e, 1.0));
    }

    // Blocks beyond the images have no spectrum: they keep 0 and stay out of
    // the figures; a run where no block has one leaves the figures alone.
    // A glitch block is replaced by its neighbours' mean.
    void blocksWithoutSpectrumAndGlitches()
    {
        Rig r;
        auto inner = r.cal.blockSpectrum;
        r.cal.blockSpectrum = [inner](int x, int y, int xw, int yw) {
            const Spectrum s = inner(x, y, xw, yw);
            return x > 20 ? Spectrum() : s;
        };
        QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
        r.cal.execCalibration();
        QVERIFY(finish.wait(runMs));
        QCOMPARE(r.cal.stats.count, 16);
        QCOMPARE(r.map.valueAt(25, 6), 0.0);
        QVERIFY(std::abs(r.map.valueAt(20, 6) - r.shift(20, 6)) < 1e-3);

        r.ctrl.DEAvr->setText("5");
        r.cal.blockSpectrum = [](int, int, int, int) { return Spectrum(); };
        ts::MessageLog m;
        r.cal.execCalibration();
        QVERIFY(finish.wait(runMs));
        QVERIFY(m.has("measured no block"));
        QCOMPARE(r.ctrl.DEAvr->text(), QString("5"));

        ts::fillMap(r.map, 9, 9, [](int x, int y) { return x == 4 && y == 4 ? 100.0 : 1.0; });
        r.cal.normalizeEShift();
        QCOMPARE(r.map.valueAt(4, 4), 1.0);
        QCOMPARE(r.map.valueAt(0, 0), 1.0);
    }

    // Sizes that are not positive or too large give nothing; a frame
    // without pixels reads 0 everywhere.
    void edgeImageMatchesDirectSumsForEveryPixelType()
    {
        const int w = 9, h = 7;
        auto raw = [](int x, int y) { return double((x * 37 + y * 91 + x * y * 13) % 200); };
        for (int type : {0, 1, 2, 3}) {
            Frame f(ts::frame(type, w, h, raw, 0, QString(), 2, -1));
            const BinImage e = ImageAlign::edgeImage(*f, w, h);
            double mn = DBL_MAX, mx = -DBL_MAX;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const double d = directEdge(raw, w, h, 2, -1, x, y);
                    QVERIFY2(e.at(x, y) == d, qPrintable(QString("type %1 at %2 %3").arg(type).arg(x).arg(y)));
                    mn = std::min(mn, d);
                    mx = std::max(mx, d);
                }
            QCOMPARE(QPointF(e.min, e.max), QPointF(mn, mx));
        }
        Frame f(ts::frame(3, 4, 4, [](int, int) { return 5.0; }));
        QCOMPARE(ImageAlign::edgeImage(*f, 0, 5).width, 0);
        QCOMPARE(ImageAlign::edgeImage(*f, INT_MAX, INT_MAX).width, 0);
        f->pixelType = TiffData::NoPixels;
        const BinImage none = ImageAlign::edgeImage(*f, 4, 4);
        f->pixelType = TiffData::Float32;  // so the rows are freed as floats
        QCOMPARE(none.data, QVector<double>(16, 0.0));
    }

    // A NaN pixel leaves the extremes finite and marks no edge.
    void notANumberPixelsDoNotPoisonTheImages()
    {
        Frame f(ts::frame(3, 8, 8, [](int x, int y) {
            return x == 4 && y == 4 ? nan_ : double(x * 10);
        }));
        const BinImage e = ImageAlign::edgeImage(*f, 8, 8);
        QVERIFY(std::isfinite(e.min) && std::isfinite(e.max));
        QVERIFY(std::isnan(e.at(3, 4)) && !std::isnan(e.at(4, 4)));  // the centre takes no part
        const BinImage b = ImageAlign::binarize(e, 1.0);
        QCOMPARE(QPointF(b.at(3, 4), b.at(1, 1)), QPointF(0, 1));  // a NaN edge is none, a gradient is
        QVERIFY(!ImageAlign::binarize(e, nan_).data.contains(1.0));  // a NaN threshold marks nothing
    }

    // Against an independent sum over the overlap, off the outermost ring of
    // either image (the frame's border), for every shift that overlaps and a
    // few to the ends of int.
    void scoreAgainstDirectSums()
    {
        const BinImage a = pixels(6, 5, {{1, 1}, {2, 3}, {4, 2}, {0, 2}, {5, 1}});
        const BinImage b = pixels(6, 5, {{0, 0}, {1, 2}, {3, 1}, {5, 4}, {2, 2}, {4, 3}});
        auto inner = [](int x, int y) { return x >= 1 && x < 5 && y >= 1 && y < 4; };
        for (int sx = -7; sx <= 7; ++sx)
            for (int sy = -6; sy <= 6; ++sy) {
                double bb = 0, rr = 0, br = 0;
                for (int y = 0; y < 5; ++y)
                    for (int x = 0; x < 6; ++x) {
                        if (!inner(x - sx, y - sy) || !inner(x, y)) continue;
                        const double bv = b.at(x - sx, y - sy), rv = a.at(x, y);
                        bb += bv * bv;
                        rr += rv * rv;
                        br += bv * rv;
                    }
                QCOMPARE(ImageAlign::compareScore(b, a, 6, 5, sx, sy), rr * bb > 0 ? br / std::sqrt(rr * bb) : 0.0);
            }
        for (int s : {INT_MAX, INT_MIN}) {
            QCOMPARE(ImageAlign::compareScore(a, a, 6, 5, s, 0), 0.0);
            QCOMPARE(ImageAlign::compareScore(a, a, 6, 5, 0, s), 0.0);
        }
        // A reference of another size is read only inside itself, off its ring.
        QCOMPARE(ImageAlign::compareScore(b, pixels(4, 4, {{1, 2}, {2, 2}}), 6, 5, 0, 0), 2.0 / std::sqrt(2.0 * 4.0));
        // Identical images that hold edges only on their border do not match.
        const BinImage ring = pixels(6, 5, {{0, 0}, {5, 0}, {0, 4}, {3, 4}});
        QCOMPARE(ImageAlign::compareScore(ring, ring, 6, 5, 0, 0), 0.0);
    }

    // Blobs with smooth flanks, so that their edge rings are a few pixels
    // wide; the moved frame shows the scene displaced by (-3, 2), so the
    // shift that lines it up with the reference is (3, -2).
    void climbRecoversAKnownShiftThroughEdges()
    {
        const int w = 48, h = 44;
        auto blobs = [](int x, int y) {
            auto g = [](double dx, double dy, double s) { return std::exp(-(dx * dx + dy * dy) / (2 * s * s)); };
            return 1000 * g(x - 14, y - 16, 4) + 700 * g(x - 32, y - 30, 5) + 500 * g(x - 34, y - 12, 3);
        };
        auto binOf = [&](int shiftX, int shiftY) {
            Frame f(ts::frame(1, w, h, blobs, 0, QString(), shiftX, shiftY));
            const BinImage e = ImageAlign::edgeImage(*f, w, h);
            return ImageAlign::binarize(e, ImageAlign::thresholdFromSlider(e.min, e.max, 100));
        };
        const BinImage r = binOf(0, 0), b = binOf(-3, 2);
        QVERIFY(ImageAlign::compareScore(b, r, w, h, 3, -2) > 0.99);
        QCOMPARE(ImageAlign::hillClimb(b, r, w, h, QPoint(0, 0), 0.0), QPoint(3, -2));
    }

    // A shown panel destroyed while a field has the focus: the edit ends as
    // the window closes, after the panel's own part is gone.
    void destroyedWhileEditing()
    {
        auto* p = new ImgProc;
        p->show();
        QVERIFY(QTest::qWaitForWindowExposed(p));
        p->activateWindow();
        p->ShiftX->setFocus();
        QTRY_VERIFY(p->ShiftX->hasFocus());
        QSignalSpy shifts(p, &ImgProc::imgShift);
        delete p;
        QCOMPARE(shifts.size(), 0);
    }

    // Values that are no numbers are left out. Values far from zero with a
    // small spread lose every digit when the squared mean is taken from the
    // mean of the squares.
    void summary_data()
    {
        QTest::addColumn<QVector<double>>("values");
        QTest::addColumn<int>("n");
        QTest::addColumn<double>("mean");
        QTest::addColumn<double>("sigma");
        QTest::newRow("far from zero") << QVector<double>{8979.001, 8979.002, 8979.003, 8979.004} << 4 << 8979.0025
                                       << std::sqrt(1.25) * 1e-3;
        QTest::newRow("all nan") << QVector<double>{nan_, nan_} << 0 << 0.0 << 0.0;
        QTest::newRow("nan and inf among") << QVector<double>{nan_, 1, inf_, 3} << 2 << 2.0 << 1.0;
    }
    void summary()
    {
        QFETCH(QVector<double>, values);
        QFETCH(int, n);
        QFETCH(double, mean);
        QFETCH(double, sigma);
        const Summary s = summarize(values);
        QCOMPARE(s.n, n);
        QVERIFY(std::fabs(s.mean - mean) <= 1e-12 * std::fabs(mean));
        QVERIFY(std::fabs(s.sigma - sigma) <= 1e-9 * sigma);
    }

    // Bins of width 0.25 from 1, 4 of them, where every edge is exact in
    // binary; bins counted at their lower edges 0, 1, 2, 3, holding 1, 2, 3,
    // 4: mean 2 and variance (4 + 2 + 0 + 4) / 10 = 1.
    void binsAndRanges()
    {
        const QVector<QPair<double, int>> cases{{1.0, 0}, {1.2499, 0}, {1.25, 1}, {2.0, 3},
                                                {0.5, 0}, {1e300, 3}, {-1e300, 0}, {nan_, 0}};
        for (const auto& c : cases) QCOMPARE(binOf(c.first, 1.0, 0.25, 4), c.second);
        QCOMPARE(binOf(5.0, 1.0, 0.0, 4), 0);  // zero width
        QCOMPARE(binOf(1.5, 1.0, 0.25, 0), 0);  // no bins
        Histogram h = emptyHistogram(4, 0, 4);
        h.counts = {1, 2, 3, 4};
        const Range all = rangeOf(h, 0, 4);
        QCOMPARE(all.n, 10);
        QVERIFY(std::fabs(all.mean - 2.0) < 1e-12 && std::fabs(all.sigma - 1.0) < 1e-12);
        QCOMPARE(rangeOf(h, 3, 1).n, 0);
        QCOMPARE(rangeOf(Histogram(), 0, 1).n, 0);
    }

    // A bin count typed far beyond what any map needs is capped; every sample
    // is counted once and the fresh markers lie around all of them.
    void hugeBinCountIsCapped()
    {
        Stats st;
        st.Bins->setText("50000000");
        Analyzed2DRes map;
        st.calc(&map, ts::fillMap(map, 30000, 1, ramp));
        QCOMPARE(st.counts.size(), StatsMath::maxBins);
        QCOMPARE(std::accumulate(st.counts.begin(), st.counts.end(), 0), 30000);
        QCOMPARE(QPointF(st.low, st.high), QPointF(0, 29999));
    }

    // Maps that give nothing to divide by: equal values, no finite value, no
    // map at all; drawing must not divide by 0. Then the value under the
    // pointer, 0 off the map.
    void degenerateMapsAndPointer()
    {
        Stats st;
        st.resize(400, 300);
        st.pointedAt(1, 1);
        QCOMPARE(st.pointedValue, 0.0);
        Analyzed2DRes map;
        ts::fillMap(map, 5, 5, [](int x, int y) { return (x == 2 && y == 2) ? nan_ : 7.0; });
        st.calc(&map, ts::pixelGrid(5, 5));
        QCOMPARE(st.n, 24);
        QCOMPARE(st.sigma, 0.0);
        st.grab();
        Analyzed2DRes allNan;
        ts::fillMap(allNan, 2, 2, [](int, int) { return nan_; });
        st.calc(&allNan, ts::pixelGrid(2, 2));
        QCOMPARE(st.n, 0);
        st.grab();
        st.calc(nullptr, ts::pixelGrid(1, 1));
        QCOMPARE(st.map, &allNan);

        st.calc(&map, ts::fillMap(map, 4, 3, ramp));
        const QVector<QPair<QPointF, double>> cases{{{2.9, 1.2}, 12.0}, {{-0.5, 0.5}, 0.0}, {{4.0, 0.0}, 0.0},
                                                    {{1e300, -1e300}, 0.0}, {{nan_, 1.0}, 0.0}};
        for (const auto& c : cases) {
            st.pointedAt(1, 1);
            st.pointedAt(c.first.x(), c.first.y());
            QCOMPARE(st.pointedValue, c.second);
            st.grab();
        }
    }

    // Every integer value against exact integer arithmetic, with bins that
    // do not divide the maximum, and the values (17400 of 60000 in 100 bins)
    // the float formula misplaces. From the maximum upwards is the last
    // counter, whatever the maximum; NaN is in the first.
    void indexAgainstIntegerBins()
    {
        for (int bins : {100, 7, 1})
            for (long v = 0; v <= 70000; v++)
                if (histogramIndex(double(v), 0, 60000, bins) != int(std::min<long>(v * bins / 60000, bins)))
                    QFAIL(qPrintable(QString("v %1 bins %2").arg(v).arg(bins)));
        QCOMPARE(histogramIndex(inf_, 0, 60000, 100), 100);
        QCOMPARE(histogramIndex(0, 0, 0, 100), 100);
        QCOMPARE(histogramIndex(7, 0, -5, 100), 100);
        QCOMPARE(histogramIndex(-7, 0, -5, 100), 0);
        QCOMPARE(histogramIndex(nan_, 0, 60000, 100), 0);
        QCOMPARE(histogramIndex(5, 0, nan_, 100), 0);
    }

    // The five files of a three-image stack with a shifted frame, pixels at
    // the threshold, a float frame with NaN and a negative value, read back
    // against contents built here from the frames' definitions.
    void filesByteByByte()
    {
        ts::Stack s;
        buildStack(s);
        ErrPoints errPs;
        errPs.points = {{3, 3}, {2, 3}, {0, 0}};
        QTemporaryDir dir;
        QVERIFY(DarkCheck::run(s.frames, errPs, 20000, 60000, 100, dir.path()));
        QCOMPARE(ts::readAll(dir.filePath("dark-hg-all.dat")), expectedHistogram());
        // (0,0) falls outside the shifted frame, (4,2) equals the threshold
        // in the second frame, (5,4) in the first.
        QCOMPARE(ts::readAll(dir.filePath("dark-allDarkPoints.dat")),
                 QByteArray("# Size 6\t5\n1\t1\t90000.5\n2\t3\t80001.5\n"));
        QCOMPARE(ts::readAll(dir.filePath("dark-allDarkPointNums.dat")), QByteArray("0\t4\n1\t2\n2\t2\n"));
        QCOMPARE(ts::readAll(dir.filePath("dark-allDarkPoints-onlyInPs1.dat")), QByteArray("1\t1\n"));
        QCOMPARE(ts::readAll(dir.filePath("dark-allDarkPoints-onlyInErrPs.dat")), QByteArray("3\t3\n0\t0\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 5);  // no temporary file left
    }

    // Frames of different sizes: the smaller frame reads 0 outside itself,
    // which drops the points there; a debug line says so.
    void differentSizes()
    {
        ts::Stack s;
        s.add(ts::frame(TiffData::UInt16, W, H, [](int c, int r) { return view(0, c, r); }));
        s.add(ts::frame(TiffData::UInt16, 2, 2, [](int, int) { return 30000; }));
        QTemporaryDir dir;
        QTest::ignoreMessage(QtDebugMsg, "Dark check: I1 images differ in size; pixels outside an image read 0 there");
        QVERIFY(DarkCheck::run(s.frames, ErrPoints(), 20000, 60000, 100, dir.path()));
        QCOMPARE(ts::readAll(dir.filePath("dark-allDarkPoints.dat")),
                 QByteArray("# Size 6\t5\n0\t0\t95535\n1\t1\t60000\n"));
        QCOMPARE(ts::readAll(dir.filePath("dark-allDarkPointNums.dat")), QByteArray("0\t4\n1\t2\n"));
    }

    // Bad input and a folder, or one file, that cannot be written: nothing is
    // created or replaced, no temporary file stays, and the user reads why.
    void nothingWritten_data()
    {
        QTest::addColumn<int>("frames");  // -1: a hole among the three
        QTest::addColumn<int>("bins");
        QTest::addColumn<QString>("blocked");  // "folder", "file" or nothing
        QTest::addColumn<QString>("said");
        QTest::newRow("no image") << 0 << 100 << "" << "Dark check: no I1 image";
        QTest::newRow("missing image") << -1 << 100 << "" << "Dark check: missing I1 image";
        QTest::newRow("negative bins") << 3 << -1 << "" << "Dark check: histogram bins -1 out of 0 ... 16777216";
        QTest::newRow("huge bins") << 3 << 2147483647 << ""
                                   << "Dark check: histogram bins 2147483647 out of 0 ... 16777216";
        QTest::newRow("not a folder") << 3 << 100 << "folder" << "";
        QTest::newRow("one file") << 3 << 100 << "file" << "";
    }
    void nothingWritten()
    {
        QFETCH(int, frames);
        QFETCH(int, bins);
        QFETCH(QString, blocked);
        QFETCH(QString, said);
        ts::Stack s;
        buildStack(s);
        QVector<TiffData*> images = s.frames.mid(0, std::abs(frames));
        if (frames < 0) images.insert(1, nullptr);
        QTemporaryDir dir;
        for (const QString& f : allFiles) QVERIFY(ts::writeFile(dir.filePath(f), "old\n"));
        QString out = dir.path();
        if (blocked == "folder") {
            out = dir.filePath(allFiles[1] + "/sub");
            said = "Can't write " + out + "/" + allFiles[0];
        } else if (blocked == "file") {
            QVERIFY(QFile::remove(dir.filePath(allFiles[2])) && QDir(dir.path()).mkdir(allFiles[2]));
            said = "Can't write " + dir.filePath(allFiles[2]);
        }
        // A file that cannot be written is named with the reason after it.
        if (blocked.isEmpty())
            QTest::ignoreMessage(QtDebugMsg, qPrintable(said));
        else
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^" + QRegularExpression::escape(said) + ": \\S"));
        QVERIFY(!DarkCheck::run(images, ErrPoints(), 20000, 60000, bins, out));
        for (const QString& f : allFiles)
            if (blocked != "file" || f != allFiles[2]) QCOMPARE(ts::readAll(dir.filePath(f)), QByteArray("old\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).size(), 5);
    }

    // Every line of the file, then every value read back; an edge energy
    // given for reading wins over the file's, the shifts then measured from it.
    void writeThenRead()
    {
        QTemporaryDir dir;
        Analyzed2DRes map("shift");
        ts::fillMap(map, 7, 5, shiftAt);
        const int imgW = 9, imgH = 6;
        const double e0 = 8979.0;
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7, 89));
        QVERIFY(write(dir.filePath("m"), map, headerFor(imgW, imgH, e0), "C:/std/cu.dat", imgW, imgH, when));

        // Every key padded to 24 characters.
        const QStringList keys{"Record Date", "Std Edge Energy [eV]", "Spacing [nm]", "X Offset [pix]",
                               "Y Offset [pix]", "Width [pix]", "Height [pix]", "Bin Half Width [pix]",
                               "Bin Half Height [pix]", "Area X0", "Area X1", "Area Y0", "Area Y1",
                               "Std File Name", "Map Height"};
        const QStringList values{"26/03/04 05:06:07.089", "8979", "3.13553", "12", "-7", "9", "6", "1", "2",
                                 "1", "8", "2", "5", "C:/std/cu.dat", "5"};
        QStringList expect{"###Corvenlith::KWOP"};
        for (int i = 0; i < keys.size(); i++) expect << keys[i].leftJustified(24) + ": " + values[i];
        for (int i = 0; i < 5; i++) expect << QString("Map Width               : %1 7").arg(i);
        expect << "No Shift Angle [deg]    : -0" << "##-----------------";
        const double t0 = bragg(e0, si111);
        auto written = [&](int x, int y) { return (x < 7 && y < 5) ? shiftAt(x, y) : 0.0; };
        for (int y = 0; y < imgH; y++) {
            QString row;
            for (int x = 0; x < imgW; x++) row += QString::asprintf("%g ", bragg(e0 - written(x, y), si111) - t0);
            expect << row;
        }
        QCOMPARE(ts::readLines(dir.filePath("m.emp")), expect);

        Read r;
        QCOMPARE(r.from(dir.filePath("m.emp")), LoadResult::Loaded);
        const EMPHeader& h = r.header;
        const QVector<double> got{double(h.xOffset), double(h.yOffset), double(h.width), double(h.height),
                                  double(h.binHalfWidth), double(h.binHalfHeight), double(h.areaX0),
                                  double(h.areaX1), double(h.areaY0), double(h.areaY1), double(r.grid.stepX),
                                  double(r.grid.stepY), h.stdEdgeEnergy, h.spacing};
        QCOMPARE(got, (QVector<double>{12, -7, 9, 6, 1, 2, 1, 8, 2, 5, 3, 5, 8979, si111}));
        QCOMPARE(QSize(r.map.width(), r.map.height()), QSize(imgW, imgH));
        for (int y = 0; y < imgH; y++)
            for (int x = 0; x < imgW; x++) QVERIFY(std::fabs(r.map.valueAt(x, y) - written(x, y)) < 1e-4);

        r.settings.edgeEV = 9659;
        QCOMPARE(r.from(dir.filePath("m.emp")), LoadResult::Loaded);
        const double v = bragg(e0 - shiftAt(2, 1), si111) - t0, t1 = bragg(9659, si111);
        const double want = 9659 - 12398.424360387684 / (2 * std::sin((v + t1) / 180.0 * 3.1415926535) * si111);
        QVERIFY(std::fabs(r.map.valueAt(2, 1) - want) < 1e-4);
        QVERIFY(std::fabs(r.map.valueAt(2, 1) - shiftAt(2, 1)) > 0.01);
    }

    // Damaged and foreign files fail with their verdict and leave the map and
    // its grid as they were; a header of size 0 reads as an empty map, and an
    // old file's keys are found in any order among other lines.
    void damagedFilesKeepTheMap_data()
    {
        QTest::addColumn<QByteArray>("bytes");  // "-": no file
        QTest::addColumn<LoadResult>("result");
        const QByteArray minusT0 = QByteArray::number(-angleOf(8979, si111), 'g', 17);
        QTest::newRow("missing") << QByteArray("-") << LoadResult::CannotOpen;
        QTest::newRow("text") << QByteArray("just some notes\nWidth [pix]             : 3\n")
                              << LoadResult::InvalidHeader;
        QTest::newRow("cut in header") << goodHeader.left(goodHeader.indexOf("##-")) << LoadResult::InvalidHeader;
        for (const char* k : {"Std Edge", "Spacing", "Width", "Height"}) {
            QByteArray t;
            for (const QByteArray& l : goodHeader.split('\n'))
                if (!l.startsWith(k)) t += l + "\n";
            QTest::newRow(qPrintable(QString("no ") + k)) << t + "0 0 0\n0 0 0\n" << LoadResult::InvalidHeader;
        }
        QTest::newRow("negative height") << headerWith(": 2\n", ": -2\n") << LoadResult::InvalidHeader;
        QTest::newRow("huge size")
            << headerWith(": 3\n", ": 2000000000\n").replace(": 2\n", ": 2000000000\n") + "0 0 0\n"
            << LoadResult::InvalidHeader;
        QTest::newRow("cut in data") << goodHeader + "0 0 0 \n0 0 " << LoadResult::DamagedData;
        QTest::newRow("words among values") << goodHeader + "0 0 zero\n0 0 0\n" << LoadResult::DamagedData;
        QTest::newRow("no edge energy") << headerWith(": 8979", ": 0") + "0 0 0\n0 0 0\n" << LoadResult::DamagedData;
        QTest::newRow("angle of no energy") << goodHeader + "0 0 0\n0 0 " + minusT0 + "\n" << LoadResult::DamagedData;
        QTest::newRow("inf") << goodHeader + "0 0 0\n0 inf 0\n" << LoadResult::DamagedData;
        QTest::newRow("size 0") << headerWith(": 3\n", ": 0\n") << LoadResult::Loaded;
        QTest::newRow("old file") << QByteArray("###KWOP old file\n"
                                                "Height [pix]            : 2\n"
                                                "something else\n"
                                                "X Offset [pix]          : 5\n"
                                                "Spacing [nm]            : 3.13553\n"
                                                "Width [pix]             : 3\n"
                                                "Std Edge Energy [eV]    : 8979\n"
                                                "##------------------- more\n"
                                                "0 0 0\n0 0\n0\n")
                                  << LoadResult::Loaded;
    }
    void damagedFilesKeepTheMap()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(LoadResult, result);
        QTemporaryDir dir;
        const QString p = dir.filePath("bad.emp");
        if (bytes != "-") QVERIFY(ts::writeFile(p, bytes));
        Read r;
        r.grid = ts::fillMap(r.map, 3, 2, [](int, int) { return 42.0; });
        r.header.xOffset = 99;
        QCOMPARE(r.from(p), result);
        if (result == LoadResult::Loaded) {
            QCOMPARE(r.map.width(), r.header.xOffset == 5 ? 3 : 0);
            QCOMPARE(r.map.hasImage, r.map.width() > 0);
            return;
        }
        QVERIFY(!r.header.valid);
        if (result == LoadResult::CannotOpen) QCOMPARE(r.header.xOffset, 99);
        QCOMPARE(QSize(r.map.width(), r.map.height()), QSize(3, 2));
        QCOMPARE(std::vector<double>(r.map.data, r.map.data + 6), std::vector<double>(6, 42.0));
        QCOMPARE(QSize(r.grid.width, r.grid.x1), QSize(3, 3));
    }

    // No image: the header alone. Nothing is written without an edge energy,
    // into no folder, or when a shift is no number or has an energy the
    // crystal cannot reflect (no angle reads back as itself); a failed write
    // leaves an earlier file whole.
    void writerCases()
    {
        QTemporaryDir dir;
        Analyzed2DRes map("shift");
        ts::fillMap(map, 3, 3, shiftAt);
        QVERIFY(write(dir.filePath("noimg"), map, headerFor(3, 3, 8979), "", -1, -1));
        QCOMPARE(ts::readLines(dir.filePath("noimg.emp")).size(), 1 + 15 + 3 + 1 + 1);
        QVERIFY(!write(dir.filePath("no/such/dir/x"), map, headerFor(3, 3, 8979), "", 3, 3));
        const QString keep = dir.filePath("keep.emp");
        QVERIFY(write(keep, map, headerFor(3, 3, 8979), "", 3, 3));
        const QByteArray before = ts::readAll(keep);
        QVERIFY(!write(keep, map, headerFor(3, 3, 0), "", 3, 3));
        QCOMPARE(ts::readAll(keep), before);

        const double lowest = hc / (2 * si111);  // energy at 90 degrees
        for (double shift : {8979 - lowest + 1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
            map.setData(1, 0, 0, 0, shift);
            QVERIFY(!write(keep, map, headerFor(3, 3, 8979), "", 3, 3));
            QCOMPARE(ts::readAll(keep), before);
        }
        map.setData(1, 0, 0, 0, 8979 - lowest - 0.5);
        QVERIFY(write(dir.filePath("far"), map, headerFor(3, 3, 8979), "", 3, 3));
        Read r;
        QCOMPARE(r.from(dir.filePath("far.emp")), LoadResult::Loaded);
        QVERIFY(std::fabs(r.map.valueAt(1, 0) - (8979 - lowest - 0.5)) < 1e-3 * (8979 - lowest));
    }

    // A byte map, read by no window yet: comments, a word as the value (not
    // 0), points outside and short lines.
    void byteMap()
    {
        QTemporaryDir dir;
        QVERIFY(ts::writeFile(dir.filePath("map.dat"),
                              "# Size 4 3\n1 0 1   # comment\n2 1 0\n3 2 abc\n0 2\n9 9 1\n-1 0 1\n5\n\n"));
        ByteMap m;
        QVERIFY(readByteMap(m, dir.filePath("map.dat"), 0));
        QCOMPARE(QSize(m.width, m.height), QSize(4, 3));
        QCOMPARE(m.bytes, (QVector<unsigned char>{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    }
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
