#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "support/EdgeSpectra.h"
#include "support/Files.h"
#include "support/Maps.h"
#include "support/Messages.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibMath.h"
#include "tools/EnergyCalibration.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <functional>

namespace {

using Shift = std::function<double(int, int)>;

// The standard translated by exactly s eV.
Spectrum shiftedEdge(double s)
{
    Spectrum sp;
    for (int i = 0; i <= 800; ++i) sp.append(8800 + 0.5 * i + s, edges::wiggly(8800 + 0.5 * i));
    return sp;
}

// A window, a map and a calibration on a synthetic stack whose block at
// (x, y) is the standard moved by shift(x, y).
struct Rig
{
    CalibCtrl ctrl;
    Analyzed2DRes map{"a2d esm"};
    EnergyCalibration cal;
    CalibRunInput input;
    Shift shift = [](int x, int y) { return 1.0 + 0.1 * x - 0.05 * y; };
    std::function<void(int)> onBlock;  // called with the count after each block
    bool fitted = false;
    int blocks = 0;
    QString log;  // "B" per block, "T" per turn of the event loop posted by a block
    QTemporaryDir dir;

    Rig()
    {
        map.clear();
        cal.setCtrl(&ctrl);
        cal.setMap(&map);
        input.imageCount = 3;
        input.imageWidth = 40;
        input.imageHeight = 30;
        input.xOffset = 5;
        input.yOffset = 7;
        input.area = QRectF(3, 4, 30, 20);  // 24 blocks at x 5..30, y 6..21
        input.xw = 2;
        input.yw = 2;
        cal.runInput = [this] { return input; };
        cal.blockSpectrum = [this](int x, int y, int, int) {
            ++blocks;
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

    QVector<QPoint> centres() const
    {
        QVector<QPoint> c;
        AnalyzeCond g;
        g.set(input.imageWidth, input.imageHeight, input.xw, input.yw, input.area, -1, -1);
        do c.append(QPoint(g.curX, g.curY));
        while (g.next());
        return c;
    }

    // Largest difference between the map and the known shifts over every
    // pixel of every block.
    double worstBlockError() const
    {
        double worst = 0;
        for (const QPoint& c : centres())
            for (int dy = -input.yw; dy <= input.yw; ++dy)
                for (int dx = -input.xw; dx <= input.xw; ++dx)
                    worst = std::max(worst, std::abs(map.valueAt(c.x() + dx, c.y() + dy) -
                                                     shift(c.x(), c.y())));
        return worst;
    }
};

double num(QLineEdit* e) { return e->text().toDouble(); }

}  // namespace

Q_DECLARE_METATYPE(Shift)

class TestCalibration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initColorTables(); }

    // Every block holds its shift over the whole block; figures and the
    // fitted surface match the shifts put in.
    void recoversShifts_data()
    {
        QTest::addColumn<bool>("innerP");
        QTest::addColumn<bool>("fitted");
        QTest::addColumn<Shift>("shift");
        QTest::addColumn<double>("tol");
        QTest::addColumn<QVector<double>>("surface");  // a..f of the fitted quadratic
        QTest::newRow("mid-point, quadratic") << false << true
            << Shift([](int x, int y) { return 2.0 + 0.002 * x * x - 0.003 * y * y + 0.001 * x * y - 0.05 * x; })
            << 1e-3 << QVector<double>{0.002, -0.003, 0.001, -0.05, 0, 2.0};
        QTest::newRow("inner product, plane") << true << false
            << Shift([](int x, int y) { return 1.0 + 0.1 * x - 0.05 * y; }) << 0.1 + 1e-9 << QVector<double>();
    }
    void recoversShifts()
    {
        QFETCH(bool, innerP);
        QFETCH(bool, fitted);
        QFETCH(Shift, shift);
        QFETCH(double, tol);
        QFETCH(QVector<double>, surface);
        Rig r;
        r.input.yw = 1;  // blocks of 5 x 3: half widths must not be swapped
        r.shift = shift;
        r.fitted = fitted;
        QVERIFY(std::abs(r.cal.standard.midx - 9000) < 0.5);
        r.ctrl.CalibTypeInnerP->setChecked(innerP);
        r.ctrl.DEw->setText("10");
        QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
        QTest::mouseClick(r.ctrl.ExecCalib, Qt::LeftButton);
        QVERIFY(finish.wait(30000));
        QCOMPARE(r.blocks, r.centres().size());
        QVERIFY(r.worstBlockError() <= tol);
        QCOMPARE(r.map.valueAt(33, 10), 0.0);  // outside the area

        double lo = 1e300, hi = -1e300, sum = 0, sq = 0;
        const QVector<QPoint> cs = r.centres();
        for (const QPoint& c : cs) {
            const double s = shift(c.x(), c.y());
            lo = std::min(lo, s);
            hi = std::max(hi, s);
            sum += s;
            sq += std::pow(r.map.valueAt(c.x(), c.y()) - num(r.ctrl.DEAvr), 2);
        }
        QVERIFY(std::abs(num(r.ctrl.DEMin) - lo) <= tol);
        QVERIFY(std::abs(num(r.ctrl.DEMax) - hi) <= tol);
        QVERIFY(std::abs(num(r.ctrl.DEAvr) - sum / cs.size()) <= tol);
        QVERIFY(std::abs(num(r.ctrl.DESigma) - std::sqrt(sq / cs.size())) < 1e-3);
        const BPFit& f = r.map.fit;
        const double got[] = {f.a, f.b, f.c, f.d, f.e, f.f};
        const double within[] = {1e-5, 1e-5, 1e-5, 1e-4, 1e-4, 1e-3};
        for (int i = 0; i < surface.size(); ++i)
            QVERIFY2(std::abs(got[i] - surface[i]) < within[i], qPrintable(QString::number(i)));
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
        QVERIFY(finish.wait(30000));
        QCOMPARE(r.blocks, 24);
        QTRY_COMPARE_WITH_TIMEOUT(r.log.count('T'), 24, 30000);
        QVERIFY2(!r.log.contains("BB"), qPrintable(r.log));
        QTest::qWait(50);
        QCOMPARE(finish.count(), 1);
    }

    // Stopped after three blocks, by the start button pressed again or by
    // clearing the map: no block lands after it and the figures stay.
    void stoppedDuringARun_data()
    {
        QTest::addColumn<bool>("clear");
        QTest::newRow("start pressed again") << false;
        QTest::newRow("map cleared") << true;
    }
    void stoppedDuringARun()
    {
        QFETCH(bool, clear);
        Rig r;
        r.ctrl.DEMax->setText("7");
        r.onBlock = [&r, clear](int n) {
            if (n == 3) QTest::mouseClick(clear ? r.ctrl.ClearMap : r.ctrl.ExecCalib, Qt::LeftButton);
        };
        QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
        QTest::mouseClick(r.ctrl.ExecCalib, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(r.blocks >= 3 && !r.cal.isRunning(), 30000);
        QTest::qWait(100);
        QCOMPARE(r.blocks, 3);
        QCOMPARE(finish.count(), 0);
        QCOMPARE(r.ctrl.DEMax->text(), QString("7"));
        QCOMPARE(r.map.width(), clear ? 0 : 40);
        const QVector<QPoint> cs = r.centres();
        for (int i = 0; !clear && i < cs.size(); ++i) {
            const double v = r.map.valueAt(cs[i].x(), cs[i].y());
            QVERIFY(std::abs(v - (i < 3 ? r.shift(cs[i].x(), cs[i].y()) : 0.0)) < 1e-3);
        }
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
        QTest::newRow("no images") << "" << a << 0 << "" << "";
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
            QVERIFY(r.ctrl.SelectStd->Selected->text().isEmpty());
            QCOMPARE(r.cal.standard.midx, kept);
            r.cal.standard = XafsSpectrum();
        }
        r.map.setCond(ts::pixelGrid(8, 8));
        r.map.setData(3, 3, 0, 0, 42.0);
        r.input.area = area;
        r.input.imageCount = count;
        r.ctrl.CalibTypeInnerP->setChecked(!minStep.isEmpty());
        r.ctrl.MinDEs->setText(minStep);
        QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
        {
            ts::MessageLog m;
            r.cal.execCalibration();
            QVERIFY(!r.cal.isRunning());
            QVERIFY2(said.isEmpty() ? m.lines.isEmpty() : m.has(said) && !m.has("Start Calibration"),
                     qPrintable(m.lines.join('\n')));
        }
        QTest::qWait(20);
        QCOMPARE(r.blocks, 0);
        QVERIFY(finish.isEmpty());
        QCOMPARE(r.map.valueAt(3, 3), 42.0);
        QCOMPARE(r.map.width(), 8);
    }

    // The reasons a start is refused for its search or its area.
    void refusedSearchesAndAreas()
    {
        auto search = [](double range, double step, double minStep) {
            CalibMath::Search p;
            p.range = range;
            p.step = step;
            p.minStep = minStep;
            return CalibMath::searchProblem(p);
        };
        QVERIFY(search(20, 0.05, 0.1).contains("E-step must not be below"));
        QVERIFY(search(20, 1e-6, 1e-7).contains("too wide"));
        QVERIFY(search(-1, 1, 0.1).contains("negative"));
        QVERIFY(search(std::nan(""), 1, 0.1).contains("numbers"));
        QVERIFY(CalibMath::areaProblem(QRectF(5, 5, 0, 10), 40, 30).contains("empty area"));
        QVERIFY(CalibMath::areaProblem(QRectF(100, 100, 10, 10), 40, 30).contains("outside the image"));
        QVERIFY(CalibMath::areaProblem(QRectF(0, 0, 10, 10), -1, 30).contains("no image size"));

        EnergyCalibration bare;  // no window, map or providers: every entry is safe
        bare.execCalibration();
        QVERIFY(!bare.isRunning());
        bare.calibNextPoint();
        bare.finishCalib();
        bare.normalizeEShift();
        bare.clearShiftMap();
    }

    // Blocks beyond the images have no spectrum: they keep 0 and stay out of
    // the figures; a run where no block has one leaves the figures alone.
    void blocksWithoutSpectrumStayOut()
    {
        Rig r;
        auto inner = r.cal.blockSpectrum;
        r.cal.blockSpectrum = [inner](int x, int y, int xw, int yw) {
            const Spectrum s = inner(x, y, xw, yw);
            return x > 20 ? Spectrum() : s;
        };
        QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
        r.cal.execCalibration();
        QVERIFY(finish.wait(30000));
        QCOMPARE(r.cal.stats.count, 16);
        QCOMPARE(r.map.valueAt(25, 6), 0.0);
        QVERIFY(std::abs(r.map.valueAt(20, 6) - r.shift(20, 6)) < 1e-3);
        QVERIFY(std::abs(num(r.ctrl.DEMax) - r.shift(20, 6)) < 1e-3);

        r.ctrl.DEAvr->setText("5");
        r.cal.blockSpectrum = [](int, int, int, int) { return Spectrum(); };
        ts::MessageLog m;
        r.cal.execCalibration();
        QVERIFY(finish.wait(30000));
        QVERIFY(m.has("measured no block"));
        QCOMPARE(r.ctrl.DEAvr->text(), QString("5"));
    }

    // A glitch block is replaced by its neighbours' mean; clearing the map
    // resets its place.
    void deglitchAndClear()
    {
        Rig r;
        ts::fillMap(r.map, 9, 9, [](int x, int y) { return x == 4 && y == 4 ? 100.0 : 1.0; });
        r.cal.normalizeEShift();
        QCOMPARE(r.map.valueAt(4, 4), 1.0);
        QCOMPARE(r.map.valueAt(0, 0), 1.0);

        QSignalSpy offsets(&r.cal, &EnergyCalibration::mapOffsetsChanged);
        QTest::mouseClick(r.ctrl.ClearMap, Qt::LeftButton);
        QCOMPARE(r.map.width(), 0);
        QCOMPARE(offsets.count(), 1);
        QCOMPARE(offsets[0][0].toInt(), 0);
    }
};

QTEST_MAIN(TestCalibration)
#include "tst_calibration.moc"
