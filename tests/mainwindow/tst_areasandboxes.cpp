// Dark areas, regions, box half widths and frame numbers as the user gave
// them, in process and with the real program headless.
#include "core/AnalyzeCond.h"
#include "core/Globals.h"
#include "mainwindow/BoxSpectrum.h"
#include "widgets/ImgDispA.h"
#include "support/BodyStack.h"
#include "support/Files.h"
#include "support/Headless.h"
#include "support/MixedStack.h"

#include <QtTest>

#include <cmath>
#include <memory>

namespace {

// 40 x 30 frames whose rows 0 .. 5 get no beam, only the detector offset.
const int W = 40, H = 30, DarkRows = 6;
const double I1Offset = 100, I0Offset = 120;
double i0Beam(int k, int c, int r) { return 9000 + 40 * c + 25 * r - 30 * k; }
double muAt(int k, int c) { return 0.4 + 0.02 * c + 0.05 * k; }
double i1Px(int k, int c, int r) { return I1Offset + (r < DarkRows ? 0 : i0Beam(k, c, r) * std::exp(-muAt(k, c))); }
double i0Px(int k, int c, int r) { return I0Offset + (r < DarkRows ? 0 : i0Beam(k, c, r)); }

void loadDarkTop(Body& b) { ts::loadStack(b, {W, H, 8, ts::StackSpec().energy, i1Px, i0Px}); }

}  // namespace

class TstAreasAndBoxes : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

private slots:
    void initTestCase()
    {
        initGlobals();
        QVERIFY(tmp.isValid());
        // An edge at 8979 eV, so that the edge-shift run has a result in every block.
        for (int k = 0; k < 40; ++k) {
            const double E = 8940 + 2 * k;
            auto i1 = [E](int x, int y) { return (5000 - 20 * x - 10 * y) * std::exp(-0.3 - 0.9 / (1 + std::exp(-(E - 8979) / 3))); };
            QVERIFY(ts::writeTiff(tmp.filePath("named/i1/" + ts::energyName("i1", E)), 8, 6, i1));
            QVERIFY(ts::writeTiff(tmp.filePath("named/i0/" + ts::energyName("i0", E)), 8, 6, [](int, int) { return 5000; }));
            QVERIFY(ts::writeTiff(tmp.filePath(QString("numbered/img_%1.tif").arg(k)), 8, 6, i1));
        }
        // A standard that falls at its edge: no E0 can be placed in it.
        QString falling;
        for (int E = 8900; E <= 9100; ++E) falling += QString("%1 %2\n").arg(E).arg(2 - 1 / (1 + std::exp((9000.0 - E) / 3)));
        QVERIFY(ts::writeText(tmp.filePath("falling.dat"), falling));
    }

    // Far edge excluded, ends truncated toward zero as the block grid takes them.
    void areaPixels_data()
    {
        QTest::addColumn<QRectF>("area");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("past the far corner") << QRectF(150, 110, 20, 20) << QRect(150, 110, 10, 10);
        QTest::newRow("before the near corner") << QRectF(-5, -5, 8, 8) << QRect(0, 0, 3, 3);
        QTest::newRow("fractions") << QRectF(1.7, 0.2, 2.9, 2.5) << QRect(1, 0, 3, 2);
        QTest::newRow("negative width") << QRectF(20, 0, -10, 5) << QRect(10, 0, 10, 5);
        QTest::newRow("one pixel") << QRectF(3, 3, 1, 1) << QRect(3, 3, 1, 1);
        QTest::newRow("no column") << QRectF(3, 3, 0, 4) << QRect();
        QTest::newRow("beside the image") << QRectF(160, 0, 10, 10) << QRect();
        QTest::newRow("below the image") << QRectF(0, 120, 10, 10) << QRect();
        QTest::newRow("not a number") << QRectF(qQNaN(), 0, 10, 10) << QRect();
        QTest::newRow("far beyond") << QRectF(-1e12, -1e12, 3e12, 3e12) << QRect(0, 0, 160, 120);
    }
    void areaPixels()
    {
        QFETCH(QRectF, area);
        QTEST(BoxSpectrum::areaPixels(area, 160, 120), "pixels");
        QVERIFY(BoxSpectrum::areaPixels(area, -1, -1).isEmpty());  // no image
    }

    // Odd and even sides, on a frame with an alignment shift.
    void pixelMean_data()
    {
        QTest::addColumn<QRect>("pixels");
        for (const QRect& r : {QRect(0, 0, 1, 1), QRect(2, 3, 4, 2), QRect(1, 1, 5, 3), QRect(0, 4, 2, 7),
                               QRect(3, 0, 1, 6), QRect(0, 0, 12, 9), QRect(6, 5, 6, 4)})
            QTest::addRow("%dx%d at %d,%d", r.width(), r.height(), r.x(), r.y()) << r;
    }
    void pixelMean()
    {
        QFETCH(QRect, pixels);
        for (int type : {int(TiffData::UInt16), int(TiffData::Float32)}) {
            std::unique_ptr<TiffData> f(ts::frame(type, 12, 9, [](int c, int r) { return 17 * c + 5 * r + (c * r) % 7; },
                                                  0, QString(), 1, -2));
            double sum = 0;
            for (int y = pixels.top(); y <= pixels.bottom(); ++y)
                for (int x = pixels.left(); x <= pixels.right(); ++x) sum += f->pixelValue(x, y);
            QCOMPARE(BoxSpectrum::pixelMean(*f, pixels), sum / (pixels.width() * pixels.height()));
        }
    }

    // The rows without beam, selected as a script selects them, give the
    // offset exactly, whatever part lies outside the image; an area with no
    // pixel in the image is refused and the earlier one stays.
    void darkAreaOfRowsWithoutBeam_data()
    {
        QTest::addColumn<QRect>("corners");  // as select_region takes them
        QTest::addColumn<bool>("taken");
        QTest::newRow("rows 0 to 5, past the top and right edges") << QRect(QPoint(10, -4), QPoint(W + 40, DarkRows)) << true;
        QTest::newRow("one row") << QRect(QPoint(5, 2), QPoint(6, 3)) << true;
        QTest::newRow("right of the image") << QRect(QPoint(W, 0), QPoint(W + 9, DarkRows)) << false;
        QTest::newRow("no row") << QRect(QPoint(0, 3), QPoint(W, 3)) << false;
    }
    void darkAreaOfRowsWithoutBeam()
    {
        QFETCH(QRect, corners);
        QFETCH(bool, taken);
        Body b;
        loadDarkTop(b);
        b.dispA->setSelectedArea(0, 0, 4, 2);
        QVERIFY(b.setI0DarkArea().isEmpty());
        for (bool i1 : {true, false}) {
            b.dispA->setSelectedArea(corners.left(), corners.top(), corners.right(), corners.bottom());
            const QString why = i1 ? b.setI1DarkArea() : b.setI0DarkArea();
            QCOMPARE(why.isEmpty(), taken);
            const QVector<double>& v = i1 ? b.i1DarkAreaValues : b.i0DarkAreaValues;
            if (taken) {
                QCOMPARE(v.size(), 8);
                for (double d : v) QCOMPARE(d, i1 ? I1Offset : I0Offset);
            } else {
                QVERIFY(why.contains("has no pixel in the image"));
                QVERIFY(i1 ? !b.i1DarkAreaSet : b.i0DarkAreaSet);
                QCOMPARE(b.i0DarkArea, QRectF(0, 0, 4, 2));
            }
        }
        if (!taken) return;
        // Both offsets taken off: ln(I0 / I1) of a pixel and of a box against the pixel sums.
        for (const QRect& box : {QRect(7, 20, 1, 1), QRect(18, 17, 5, 7)}) {
            const Spectrum s = b.makeXafsSpectrum(box.center().x(), box.center().y(), box.width() / 2, box.height() / 2);
            QCOMPARE(s.size(), 8);
            for (int k = 0; k < 8; ++k) {
                double i0 = 0, i1 = 0;
                for (int c = box.left(); c <= box.right(); ++c)
                    for (int r = box.top(); r <= box.bottom(); ++r) {
                        i0 += i0Px(k, c, r) - I0Offset;
                        i1 += i1Px(k, c, r) - I1Offset;
                    }
                QVERIFY(std::fabs(s.yAt(k) - std::log(i0 / i1)) < 1e-5);
            }
        }
    }

    // For the box, the block grid of a run and the cursor spectrum; typed, it keeps its sign.
    void negativeHalfWidthIsItsMagnitude_data()
    {
        QTest::addColumn<QString>("w");
        QTest::addColumn<QString>("h");
        QTest::addColumn<QPoint>("magnitude");
        QTest::newRow("-3 and -2") << "-3" << "-2" << QPoint(3, 2);
        QTest::newRow("0 and -1") << "0" << "-1" << QPoint(0, 1);
        QTest::newRow("past the largest frame") << "-70000" << "-65535" << QPoint(65535, 65535);
    }
    void negativeHalfWidthIsItsMagnitude()
    {
        QFETCH(QString, w);
        QFETCH(QString, h);
        QFETCH(QPoint, magnitude);
        Body b;
        loadDarkTop(b);
        b.dispA->setSelectedArea(0, 0, W, H);
        b.HWidth->setText(w);
        b.VWidth->setText(h);
        QCOMPARE(QPoint(b.boxHalfWidth(), b.boxHalfHeight()), magnitude);
        AnalyzeCond grid;
        QVERIFY(b.fillAnalyzeCond(grid));
        QCOMPARE(QPoint(grid.xw, grid.yw), magnitude);
        b.showXafsSpectrum(20, 15);
        QCOMPARE(b.specWindow->current.points, b.makeXafsSpectrum(20, 15, magnitude.x(), magnitude.y()).points);
        if (w.toInt() < -65535) return;
        b.HWidth->clear();
        QTest::keyClicks(b.HWidth, w);
        QTest::keyClick(b.HWidth, Qt::Key_Return);
        QCOMPARE(b.HWidth->text(), w);
        QCOMPARE(b.boxHalfWidth(), magnitude.x());
    }

    // The README's recipe run by the program headless: a region before each
    // dark-area word, over the rows without beam at the top of a stack of two
    // mixtures; every block's fractions then match the mixture.
    void darkAreaRecipeHeadless()
    {
        QTemporaryDir dir;
        mixed::Stack s;
        s.darkFirst = true;
        s.darkRows = 4;
        s.regions = {{0, 8, 0.3, 0.9, 0.3, 0.0}, {9, 17, 0.5, 0.6, 0.8, 0.0}};
        QVERIFY(s.writeRun(dir.path()));
        const QString script = QString(
            "load_I1_files_of_pattern NEW %1/i1/ *.tif\nload_I0_files_of_pattern NEW %1/i0/ *.tif\nUse_I0 1\n"
            "select_region 0 0 18 4\nset_i1_dark_area\nselect_region 0 0 18 4\nset_i0_dark_area\n"
            "select_region 0 4 18 16\nset_band_w 1\nset_band_h 1\nSuggesting_Edge_eV 8979\n"
            "saveDataCfg_save_as_text\nsaveDataCfg_text_as_xyz\n"
            "analyzer_set_LCF_std 0 1 0 %1/ref1.dat 0\nanalyzer_set_LCF_std 1 1 0 %1/ref2.dat 0\n"
            "analyzer_sub_mode 0 0 1 0 0\nanalyzer_exec_2da\nanalyzer_select_image_type 0\n"
            "analyzer_select_image 0\nsave_data %1/out/frac\nanalyzer_select_image 1\nsave_data %1/out/frac\nquit\n");
        const ts::ProgramRun run = ts::runHeadless(dir.path(), script.arg(dir.path()), 240000);
        QVERIFY2(run.endedWith(0), run.err.right(3000).constData());
        for (int m = 0; m < 2; ++m) {
            const QString file = dir.filePath(QString("out/frac-%1.dat").arg(m));
            int seen = 0;
            QString report;
            for (const ts::MapRow& r : ts::readMapRows(file)) {
                QVERIFY2(r.ok, qPrintable(file + ": " + r.line));
                QVERIFY(s.regionAt(r.x) && !s.darkRow(r.y));
                ++seen;
                const double want = m == 0 ? s.regionAt(r.x)->f1 : 1 - s.regionAt(r.x)->f1;
                if (!(std::fabs(r.v - want) <= 0.02))
                    report += QString("(%1, %2): %3, want %4\n").arg(r.x).arg(r.y).arg(r.v).arg(want);
            }
            QVERIFY2(report.isEmpty(), qPrintable(file + "\n" + report));
            QCOMPARE(seen, 6 * 4);
        }
    }

    // Each refusal is an Err: line and counts toward the exit status; what is taken is not.
    void refusalsCount_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("line");  // empty: no failure
        const QString i1 = "load_I1_files_of_pattern NEW TMP/named/i1/ *.tif\n";
        const QString both = i1 + "load_I0_files_of_pattern NEW TMP/named/i0/ *.tif\n";
        QTest::newRow("one region for both dark areas")
            << both + "select_region 0 0 8 2\nset_i1_dark_area\nset_i0_dark_area"
            << "Err: line 5: set_i0_dark_area: no region is selected: the I0 dark area is not set";
        QTest::newRow("dark area with no pixel in the image")
            << "select_region 100 100 200 200\n" + i1 + "set_i1_dark_area"
            << "Err: line 3: set_i1_dark_area: the selected region has no pixel in the image: the I1 dark area is not set";
        // The earlier region stays: the dark area after it is taken.
        QTest::newRow("region without a pixel")
            << i1 + "select_region 2 1 6 4\nselect_region 5 5 5 20\nset_i1_dark_area"
            << "Err: line 3: select_region 5 5 5 20: the region holds no pixel: its corners share a column or a row";
        QTest::newRow("region of no row") << i1 + "select_region 1 3 6 3"
                                          << "Err: line 2: select_region 1 3 6 3: the region holds no pixel";
        QTest::newRow("region outside in y only") << i1 + "select_region 2 7 6 9"
                                                  << "Err: line 2: select_region 2 7 6 9: the region lies outside the image of 8 x 6 pixels";
        // Before any image a dark area is kept and judged when the frames come.
        QTest::newRow("dark areas before the images")
            << "select_region 0 0 8 2\nset_i1_dark_area\nselect_region 0 0 8 2\nset_i0_dark_area\n" + both << "";
        QTest::newRow("dark area before the images, outside them")
            << "select_region 100 100 200 200\nset_i1_dark_area\n" + i1
            << "The I1 dark area has no pixel in the frames of 8 x 6 pixels: no dark area in use";
        QTest::newRow("standard without an edge") << "calib_load_std TMP/falling.dat"
                                                  << "Standard spectrum not used: TMP/falling.dat was refused: ";
        QTest::newRow("seek_image, map shown, only I1") << i1 + "select_disp_image_analyzed\nseek_image 5" << "";
        QTest::newRow("seek_image past both stacks, map shown")
            << i1 + "select_disp_image_analyzed\nseek_image 40"
            << "Err: line 3: seek_image 40: neither stack has frame 40 (I1 holds 40, I0 0)";
        QTest::newRow("seek_image of the number of frames") << i1 + "seek_image 39\nseek_image 40"
                                                            << "Err: line 3: seek_image 40: the I1 stack has no frame 40 (it holds 40)";
        QTest::newRow("seek_image of an I0 frame, I0 shown") << both + "select_disp_image_i0\nseek_image 39" << "";
        const QString edgeRun = "Suggest_Elm 0\nset_band_w 1\nset_band_h 1\nanalyzer_sub_mode 0 1 0 0 0\nanalyzer_exec_2da";
        QTest::newRow("energies in the names") << i1 + edgeRun << "";
        // An edge-shift run on them is refused as well (tst_runscenarios): the load alone here.
        QTest::newRow("numbered frames") << "load_I1_files_of_pattern NEW TMP/numbered/ *.tif\nset_band_w 1"
                                         << "40 of 40 files of the I1 stack have no energy in their name";
    }
    void refusalsCount()
    {
        QFETCH(QString, script);
        QFETCH(QString, line);
        const QString bat = tmp.filePath("run.bat"), cfg = tmp.filePath("run.cfg");
        QVERIFY(ts::writeText(cfg, "DataRoot " + tmp.path() + "\n"));
        QVERIFY(ts::writeText(bat, QString(script).replace("TMP", tmp.path()) + "\nquit\n"));
        const ts::ProgramRun r = ts::runProgram(CORVENLITH_BIN, {"-c", cfg, "-e", "-b", bat, "-x"}, 60000, tmp.path());
        QVERIFY2(r.ended && r.status == QProcess::NormalExit && r.code == (line.isEmpty() ? 0 : 1), r.err.right(2000).constData());
        line.replace("TMP", tmp.path());
        const QString err = QString::fromUtf8(r.err), last = err.trimmed().section('\n', -1);
        if (line.isEmpty())
            QVERIFY2(last == "Failures in this run: 0" && !err.contains("Err:"), qPrintable(err.right(2000)));
        else
            QVERIFY2(err.count(line) == 2 && last.startsWith("Failures in this run: 1; the first: ") && last.contains(line),
                     qPrintable(err.right(2000)));
    }
};

QTEST_MAIN(TstAreasAndBoxes)
#include "tst_areasandboxes.moc"
