// Which blocks of an Fe stack the energy calibration gives a shift: blocks
// without iron (curved substrate, a hole) none, blocks with iron theirs, by
// either method, at one-pixel and 5 x 5 blocks, with photon noise; a scan
// ending 14 eV above the edge keeps its shifts, also in a headless run; the
// fitted surface survives a map file.
#include <QDir>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "analysis/AnalysisOnBody.h"
#include "batch/BatchOnBody.h"
#include "core/Globals.h"
#include "core/XafsSpectrum.h"
#include "support/Batch.h"
#include "support/BodyStack.h"
#include "support/FeStack.h"
#include "support/Files.h"
#include "support/Headless.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibMath.h"
#include "tools/CalibOnBody.h"
#include "tools/EShiftMapFile.h"
#include "tools/ToolsOnBody.h"

namespace {

// The block's spectrum as the main window sums it: counts over the block.
Spectrum blockOf(const fe::Stack& s, int cx, int cy, int hw)
{
    Spectrum mu;
    for (int k = 0; k < s.energies.size(); ++k) {
        double a = 0, b = 0;
        for (int y = cy - hw; y <= cy + hw; ++y)
            for (int x = cx - hw; x <= cx + hw; ++x) {
                a += s.i0(k, x, y);
                b += s.i1(k, x, y);
            }
        mu.append(s.energies[k], std::log(a / b));
    }
    return mu;
}

using M = CalibMath::Method;

}  // namespace

class TstCalibEdge : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        initGlobals();
        initColorTables();
        installAnalysisOnBody();
        installToolsOnBody();
        installCalibOnBody();
        installBatchOnBody();
        QVERIFY(ts::initBatchRun(dir));
    }

    // At most 1 % of the blocks without iron get a shift, at least 95 % of those with iron keep
    // theirs; metal blocks measured by the mid-point lie near their true shift (one pixel's
    // photon noise moves its E0 by several tenths of an eV).
    void noShiftWithoutIron_data()
    {
        QTest::addColumn<int>("hw");
        QTest::addColumn<bool>("innerP");
        QTest::newRow("1 x 1, mid-point") << 0 << false;
        QTest::newRow("1 x 1, inner product") << 0 << true;
        QTest::newRow("5 x 5, mid-point") << 2 << false;
        QTest::newRow("5 x 5, inner product") << 2 << true;
    }
    void noShiftWithoutIron()
    {
        QFETCH(int, hw);
        QFETCH(bool, innerP);
        fe::Stack s;
        s.w = hw ? 100 : 60;
        s.h = hw ? 60 : 40;
        const SuggestElm sElm;
        const XafsSpectrum standard(s.standard(), "std", 1, 0, sElm);
        const CalibMath::Search p{20, 1, 0.1};
        const M m = innerP ? M::InnerProduct : M::MidPoint;
        int iron = 0, kept = 0, bare = 0, falseShifts = 0;
        QString off;
        for (int cy = hw; cy + hw < s.h; cy += 2 * hw + 1)
            for (int cx = hw; cx + hw < s.w; cx += 2 * hw + 1) {
                const XafsSpectrum b(blockOf(s, cx, cy, hw), "b", 1, 0, sElm);
                const double sh = CalibMath::blockShift(b, standard, m, p);
                const bool edge = CalibMath::hasEdge(CalibMath::edgeOf(b, standard, sh, m, p), 1.0);
                if (!s.hasIron(cx, cy)) {
                    ++bare;
                    falseShifts += edge;
                    continue;
                }
                ++iron;
                kept += edge;
                if (edge && !innerP && s.area(cx + hw, cy) == fe::Area::Metal && std::fabs(sh - s.shift(cx, cy)) > (hw ? 0.5 : 1.0))
                    off += QString(" (%1, %2): %3").arg(cx).arg(cy).arg(sh);
            }
        QVERIFY2(falseShifts * 100 <= bare, qPrintable(QString("%1 of %2").arg(falseShifts).arg(bare)));
        QVERIFY2(kept * 100 >= 95 * iron, qPrintable(QString("%1 of %2").arg(kept).arg(iron)));
        QVERIFY2(off.isEmpty(), qPrintable(off));
    }

    // A scan ending 14 eV above the edge in 2 eV steps leaves the post-edge line two points; the
    // block keeps its shift, near the truth, by either method. A line that cannot be fitted at
    // all (one point above the edge's gap) costs the shift.
    void scanEndingNearTheEdge_data()
    {
        QTest::addColumn<double>("top");
        QTest::addColumn<bool>("innerP");
        QTest::addColumn<bool>("edge");
        QTest::newRow("14 eV above, mid-point") << 7124.0 << false << true;
        QTest::newRow("14 eV above, inner product") << 7124.0 << true << true;
        QTest::newRow("10 eV above, mid-point") << 7120.0 << false << false;
    }
    void scanEndingNearTheEdge()
    {
        QFETCH(double, top);
        QFETCH(bool, innerP);
        QFETCH(bool, edge);
        const SuggestElm sElm;
        fe::Stack s;
        const XafsSpectrum standard(s.standard(), "std", 1, 0, sElm);
        Spectrum mu;
        for (double E = 7000; E <= top + 1e-9; E += 2) mu.append(E, 0.3 + 1.2 * fe::metal(E + 1.0));
        const XafsSpectrum b(mu, "b", 1, 0, sElm);
        if (edge) QCOMPARE(b.post.fitCount, 2);
        const CalibMath::Search p{20, 1, 0.1};
        const M m = innerP ? M::InnerProduct : M::MidPoint;
        const double sh = CalibMath::blockShift(b, standard, m, p);
        const CalibMath::BlockEdge e = CalibMath::edgeOf(b, standard, sh, m, p);
        QCOMPARE(CalibMath::hasEdge(e, 1.0), edge);
        // The mid-point's lines see only 14 eV of the edge's wiggles.
        if (edge) QVERIFY2(std::fabs(sh + 1.0) < (innerP ? 0.3 : 0.75), qPrintable(QString::number(sh)));
    }

    // Through the main window: a run over the Fe stack with Q.S. Fitted gives no iron-free block
    // a shift; its map written and read back gives the same surface, blocks without a shift
    // staying out of it, and a reader that does not know the marker line still reads the file,
    // those blocks as 0.
    void surfaceThroughMapFile()
    {
        fe::Stack s;
        s.w = 40;
        s.h = 30;
        Body b;
        ts::StackSpec spec;
        spec.w = s.w;
        spec.h = s.h;
        spec.n = s.energies.size();
        spec.energy = [&s](int k) { return s.energies[k]; };
        spec.i1 = [&s](int k, int c, int r) { return s.i1(k, c, r); };
        spec.i0 = [&s](int k, int c, int r) { return s.i0(k, c, r); };
        ts::loadStack(b, spec, false);
        b.dispA->setSelectedArea(0, 0, s.w, s.h);
        b.HWidth->setText("2");
        b.VWidth->setText("2");
        b.QuadSurfFittedEShift->setChecked(true);
        CalibOnBody* calib = CalibOnBody::of(b);
        CalibCtrl* ctrl = calib->calibCtrl;
        const QString stdFile = dir.filePath("fe-std.dat");
        QVERIFY(ts::writeSpectrum(stdFile, s.standard()));
        ctrl->loadStd(stdFile);
        QSignalSpy ended(&calib->calibration, &EnergyCalibration::runEnded);
        QTest::mouseClick(ctrl->ExecCalib, Qt::LeftButton);
        QVERIFY(ended.wait(60000));
        int iron = 0, kept = 0, falseShifts = 0;
        QVector<QPoint> centres;
        QVector<double> surface;
        for (int cy = 2; cy < s.h; cy += 5)
            for (int cx = 2; cx < s.w; cx += 5) {
                const bool has = b.shiftMap.holdsValue(cx, cy);
                if (s.hasIron(cx, cy)) {
                    ++iron;
                    kept += has;
                } else {
                    falseShifts += has;
                    QCOMPARE(b.shiftMap.valueAt(cx, cy), 0.0);
                }
                centres << QPoint(cx, cy);
                surface << b.shiftMap.fit.valueAt(cx, cy);
            }
        QCOMPARE(falseShifts, 0);
        QVERIFY(kept * 100 >= 95 * iron);
        QCOMPARE(int(b.shiftMap.fit.n), kept);

        const QString file = dir.filePath("fe.emp");
        emit ctrl->saveEMap(file);
        const QString text = QString::fromUtf8(ts::readAll(file));
        QVERIFY(text.contains(QString(EShiftMapFile::noValueKey) + "-0\n"));
        b.shiftMap.clear();
        emit ctrl->loadEMap(file);
        QCOMPARE(int(b.shiftMap.fit.n), kept);
        for (int i = 0; i < centres.size(); ++i) {
            const QPoint c = centres[i];
            QVERIFY2(std::fabs(b.shiftMap.fit.valueAt(c.x(), c.y()) - surface[i]) < 1e-4 * (1 + std::fabs(surface[i])),
                     qPrintable(QString("(%1, %2): %3 %4").arg(c.x()).arg(c.y()).arg(b.shiftMap.fit.valueAt(c.x(), c.y())).arg(surface[i])));
            QCOMPARE(b.shiftMap.holdsValue(c.x(), c.y()), s.hasIron(c.x(), c.y()));
        }

        // A reader without the marker line: every pixel a value, those without a shift 0.
        QString old = text;
        old.remove(QString(EShiftMapFile::noValueKey) + "-0\n");
        QVERIFY(ts::writeText(dir.filePath("old.emp"), old));
        Analyzed2DRes map;
        AnalyzeCond grid;
        EMPHeader h;
        EShiftMapFile::LoadSettings set;
        QCOMPARE(EShiftMapFile::load(dir.filePath("old.emp"), map, h, grid, set), EShiftMapFile::LoadResult::Loaded);
        QCOMPARE(int(map.fit.n), s.w * s.h);
        for (int y = 0; y < s.h; ++y)
            for (int x = 0; x < s.w; ++x) {
                QVERIFY(map.holdsValue(x, y));
                const double want = b.shiftMap.valueAt(x, y);
                QVERIFY(std::fabs(map.valueAt(x, y) - want) < 1e-4);
            }
    }

    // The program headless on a scan ending 14 eV above the edge: every block measured near its
    // true -1 eV, status 0.
    void headlessShortScan()
    {
        const QString d = dir.filePath("short");
        fe::Stack s;
        s.w = 9;
        s.h = 6;
        s.energies.clear();
        for (double E = 7000; E <= 7124; E += 2) s.energies << E;
        for (int k = 0; k < s.energies.size(); ++k) {
            const double E = s.energies[k];
            QVERIFY(ts::writeTiff(d + "/i1/" + ts::energyName("i1", E), s.w, s.h, [&](int, int) {
                return 20000 * std::exp(-(0.3 + 1.2 * fe::metal(E + 1.0)));
            }));
            QVERIFY(ts::writeTiff(d + "/i0/" + ts::energyName("i0", E), s.w, s.h, [](int, int) { return 20000; }));
        }
        QVERIFY(ts::writeSpectrum(d + "/std.dat", s.standard()));
        const QString script = QString("load_I1_files_of_pattern NEW %1/i1/ *.tif\n"
                                       "load_I0_files_of_pattern NEW %1/i0/ *.tif\nUse_I0 1\n"
                                       "select_region 0 0 9 6\nset_band_w 1\nset_band_h 1\n"
                                       "calib_load_std %1/std.dat\ncalib_exec\ncalib_save_map %1/shift.emp\nquit\n")
                                   .arg(d);
        QVERIFY(ts::writeText(d + "/run.bat", script));
        QVERIFY(ts::writeText(d + "/run.cfg", "DataRoot " + d + "\n"));
        const ts::ProgramRun run =
            ts::runProgram(CORVENLITH_BIN, {"-c", d + "/run.cfg", "-e", "-b", d + "/run.bat", "-x"}, 120000, d);
        QVERIFY2(run.ended && run.status == QProcess::NormalExit && run.code == 0, run.err.right(2000).constData());
        Analyzed2DRes map;
        AnalyzeCond grid;
        EMPHeader h;
        EShiftMapFile::LoadSettings set;
        QCOMPARE(EShiftMapFile::load(d + "/shift.emp", map, h, grid, set), EShiftMapFile::LoadResult::Loaded);
        for (int y = 0; y < s.h; ++y)
            for (int x = 0; x < s.w; ++x)
                QVERIFY2(map.holdsValue(x, y) && std::fabs(map.valueAt(x, y) + 1.0) < 0.75,
                         qPrintable(QString("(%1, %2): %3").arg(x).arg(y).arg(map.valueAt(x, y))));
    }
};

QTEST_MAIN(TstCalibEdge)
#include "tst_calibedge.moc"
