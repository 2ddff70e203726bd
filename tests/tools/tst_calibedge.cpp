// Which blocks of a noisy Fe stack the energy calibration gives a shift: none
// without iron, theirs with iron, also on a scan ending 14 eV above the edge
// and in a headless run; the fitted surface survives a map file.
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

XafsSpectrum xafs(const Spectrum& mu) { return XafsSpectrum(mu, "b", 1, 0, SuggestElm()); }

// A block's shift against the Fe standard by either method, and whether it keeps it.
std::pair<double, bool> measure(const Spectrum& mu, bool innerP)
{
    static const XafsSpectrum standard = xafs(fe::standard());
    const CalibMath::Search p{20, 1, 0.1};
    const CalibMath::Method m = innerP ? CalibMath::Method::InnerProduct : CalibMath::Method::MidPoint;
    const XafsSpectrum b = xafs(mu);
    const double sh = CalibMath::blockShift(b, standard, m, p);
    return {sh, CalibMath::hasEdge(CalibMath::edgeOf(b, standard, sh, m, p), 1.0)};
}

EShiftMapFile::LoadResult loadMap(const QString& file, Analyzed2DRes& map)
{
    AnalyzeCond grid;
    EMPHeader h;
    EShiftMapFile::LoadSettings set;
    return EShiftMapFile::load(file, map, h, grid, set);
}

// Blocks with iron that keep a shift, blocks without that get one.
struct Tally
{
    int iron = 0, kept = 0, bare = 0, falseShifts = 0;
    void add(bool hasIron, bool shifted) { hasIron ? (++iron, kept += shifted) : (++bare, falseShifts += shifted); }
    bool keptEnough() const { return kept * 100 >= 95 * iron; }
    QString text() const { return QString("kept %1 of %2, shifted %3 of %4").arg(kept).arg(iron).arg(falseShifts).arg(bare); }
};

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
        for (int hw : {0, 2})
            for (bool innerP : {false, true})
                QTest::addRow("%d x %d, %s", 2 * hw + 1, 2 * hw + 1, innerP ? "inner product" : "mid-point") << hw << innerP;
    }
    void noShiftWithoutIron()
    {
        QFETCH(int, hw);
        QFETCH(bool, innerP);
        const fe::Stack s(hw ? 100 : 60, hw ? 60 : 40);
        Tally t;
        QString off;
        s.forBlocks(hw, [&](int cx, int cy) {
            const auto [sh, edge] = measure(s.block(cx, cy, hw), innerP);
            t.add(s.hasIron(cx, cy), edge);
            if (edge && !innerP && s.area(cx + hw, cy) == fe::Area::Metal && std::fabs(sh - s.shift(cx, cy)) > (hw ? 0.5 : 1.0))
                off += QString(" (%1, %2): %3").arg(cx).arg(cy).arg(sh);
        });
        QVERIFY2(t.falseShifts * 100 <= t.bare && t.keptEnough() && off.isEmpty(), qPrintable(t.text() + off));
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
        if (edge) QCOMPARE(xafs(fe::shortScan(top)).post.fitCount, 2);
        const auto [sh, kept] = measure(fe::shortScan(top), innerP);
        QCOMPARE(kept, edge);
        // The mid-point's lines see only 14 eV of the edge's wiggles.
        if (edge) QVERIFY2(std::fabs(sh + 1.0) < (innerP ? 0.3 : 0.75), qPrintable(QString::number(sh)));
    }

    // Through the main window: a run over the Fe stack with Q.S. Fitted gives no iron-free block
    // a shift; its map written and read back gives the same surface, blocks without a shift
    // staying out of it, and a reader that does not know the marker line reads them as 0.
    void surfaceThroughMapFile()
    {
        const fe::Stack s(40, 30);
        Body b;
        ts::loadStack(b, {s.w, s.h, int(s.energies.size()), [&s](int k) { return s.energies[k]; },
                          [&s](int k, int c, int r) { return s.i1(k, c, r); }, [&s](int k, int c, int r) { return s.i0(k, c, r); }},
                      false);
        b.dispA->setSelectedArea(0, 0, s.w, s.h);
        b.HWidth->setText("2");
        b.VWidth->setText("2");
        b.QuadSurfFittedEShift->setChecked(true);
        CalibOnBody* calib = CalibOnBody::of(b);
        CalibCtrl* ctrl = calib->calibCtrl;
        QVERIFY(ts::writeSpectrum(dir.filePath("fe-std.dat"), fe::standard()));
        ctrl->loadStd(dir.filePath("fe-std.dat"));
        QSignalSpy ended(&calib->calibration, &EnergyCalibration::runEnded);
        QTest::mouseClick(ctrl->ExecCalib, Qt::LeftButton);
        QVERIFY(ended.wait(60000));
        Tally t;
        QVector<double> surface;
        QString off;
        s.forBlocks(2, [&](int cx, int cy) {
            t.add(s.hasIron(cx, cy), b.shiftMap.holdsValue(cx, cy));
            if (!s.hasIron(cx, cy) && b.shiftMap.valueAt(cx, cy) != 0) off += QString(" (%1, %2)").arg(cx).arg(cy);
            surface << b.shiftMap.fit.valueAt(cx, cy);
        });
        QVERIFY2(t.falseShifts == 0 && t.keptEnough() && int(b.shiftMap.fit.n) == t.kept && off.isEmpty(), qPrintable(t.text() + off));

        const QString file = dir.filePath("fe.emp"), marker = QString(EShiftMapFile::noValueKey) + "-0\n";
        emit ctrl->saveEMap(file);
        QString text = QString::fromUtf8(ts::readAll(file));
        QVERIFY(text.contains(marker));
        b.shiftMap.clear();
        emit ctrl->loadEMap(file);
        QCOMPARE(int(b.shiftMap.fit.n), t.kept);
        int i = 0;
        s.forBlocks(2, [&](int cx, int cy) {
            const double v = b.shiftMap.fit.valueAt(cx, cy), want = surface[i++];
            if (std::fabs(v - want) > 1e-4 * (1 + std::fabs(want)) || b.shiftMap.holdsValue(cx, cy) != s.hasIron(cx, cy))
                off += QString(" (%1, %2): %3 %4").arg(cx).arg(cy).arg(v).arg(want);
        });
        QVERIFY2(off.isEmpty(), qPrintable(off));

        // A reader without the marker line: every pixel a value, those without a shift 0.
        QVERIFY(ts::writeText(dir.filePath("old.emp"), text.remove(marker)));
        Analyzed2DRes map;
        QCOMPARE(loadMap(dir.filePath("old.emp"), map), EShiftMapFile::LoadResult::Loaded);
        QCOMPARE(int(map.fit.n), s.w * s.h);
        for (int y = 0; y < s.h; ++y)
            for (int x = 0; x < s.w; ++x) QVERIFY(map.holdsValue(x, y) && std::fabs(map.valueAt(x, y) - b.shiftMap.valueAt(x, y)) < 1e-4);
    }

    // The program headless on a scan ending 14 eV above the edge: every block measured near its
    // true -1 eV, status 0.
    void headlessShortScan()
    {
        const QString d = dir.filePath("short");
        const Spectrum mu = fe::shortScan(7124);
        for (const QPointF& p : mu.points) {
            QVERIFY(ts::writeTiff(d + "/i1/" + ts::energyName("i1", p.x()), 9, 6, [&](int, int) { return 20000 * std::exp(-p.y()); }));
            QVERIFY(ts::writeTiff(d + "/i0/" + ts::energyName("i0", p.x()), 9, 6, [](int, int) { return 20000; }));
        }
        QVERIFY(ts::writeSpectrum(d + "/std.dat", fe::standard()));
        QVERIFY(ts::writeText(d + "/run.bat", QString("load_I1_files_of_pattern NEW %1/i1/ *.tif\n"
                                                      "load_I0_files_of_pattern NEW %1/i0/ *.tif\nUse_I0 1\n"
                                                      "select_region 0 0 9 6\nset_band_w 1\nset_band_h 1\n"
                                                      "calib_load_std %1/std.dat\ncalib_exec\ncalib_save_map %1/shift.emp\nquit\n")
                                                  .arg(d)));
        QVERIFY(ts::writeText(d + "/run.cfg", "DataRoot " + d + "\n"));
        const ts::ProgramRun run =
            ts::runProgram(CORVENLITH_BIN, {"-c", d + "/run.cfg", "-e", "-b", d + "/run.bat", "-x"}, 120000, d);
        QVERIFY2(run.ended && run.status == QProcess::NormalExit && run.code == 0, run.err.right(2000).constData());
        Analyzed2DRes map;
        QCOMPARE(loadMap(d + "/shift.emp", map), EShiftMapFile::LoadResult::Loaded);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 9; ++x)
                QVERIFY2(map.holdsValue(x, y) && std::fabs(map.valueAt(x, y) + 1.0) < 0.75,
                         qPrintable(QString("(%1, %2): %3").arg(x).arg(y).arg(map.valueAt(x, y))));
    }
};

QTEST_MAIN(TstCalibEdge)
#include "tst_calibedge.moc"
