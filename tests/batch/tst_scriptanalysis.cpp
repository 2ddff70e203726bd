// A night's processing as a beamline user scripts it, run by the real program
// headless: load an I1 and an I0 stack, take the dark from a dark strip,
// calibrate and keep the energy-shift map, run every 2-D analysis at once,
// save the maps as text, run again with the map read back, and quit. The map
// file and every block of every saved map are checked against the truth the
// stack was made from, and the program must end by itself with status 0. A
// headless run without its script must end too, and say why.
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "core/Analyzed2DRes.h"
#include "core/EMPHeader.h"
#include "core/Globals.h"
#include "support/Files.h"
#include "tools/EShiftMapFile.h"
#include "support/Headless.h"
#include "support/MixedStack.h"

namespace {

const double raAt = 9000;
const double raFactor = 0.5;

// The known value of a quantity over a region; NAN where it has none.
double truth(const QString& q, const mixed::Region& r)
{
    // The fits know no shift: fractions are only known where there is none.
    if (q == "f1") return r.shift == 0 ? r.f1 : NAN;
    if (q == "f2") return r.shift == 0 ? 1 - r.f1 : NAN;
    if (q == "dedge") return r.shift;  // the edge is at E0 + shift, E0 suggested
    if (q == "jump") return r.jump;    // flat lines: the jump everywhere
    if (q == "rest") return r.pre - raFactor * r.jump;
    if (q == "corrected") return 0;  // the calibration took the shift away
    return NAN;
}

}  // namespace

class TstScriptAnalysis : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initGlobals(); }

    void headlessRun()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        mixed::Stack s;
        // Two mixtures, then the first mixture with its edge 2 eV higher.
        s.regions = {{0, 5, 0.3, 0.9, 0.3, 0.0}, {6, 11, 0.5, 0.6, 0.8, 0.0}, {12, 17, 0.3, 0.9, 0.3, 2.0}};
        QVERIFY(s.write(dir.path()));
        QVERIFY(s.writeRef(dir.filePath("ref1.dat"), true));
        QVERIFY(s.writeRef(dir.filePath("ref2.dat"), false));
        QVERIFY(QDir(dir.path()).mkdir("out"));

        const QString script = QString("load_I1_files_of_pattern NEW %1/i1/ *.tif\n"
                                       "load_I0_files_of_pattern NEW %1/i0/ *.tif\n"
                                       "Use_I0 1\n"
                                       "select_region 0 %2 %3 %4\n"
                                       "set_i1_dark_area\n"
                                       "select_region 0 %2 %3 %4\n"
                                       "set_i0_dark_area\n"
                                       "select_region 0 0 %3 %5\n"
                                       "set_band_w 1\n"
                                       "set_band_h 1\n"
                                       "Suggesting_Edge_eV %6\n"
                                       "saveDataCfg_save_as_text\n"
                                       "saveDataCfg_text_as_xyz\n"
                                       "calib_load_std %1/ref1.dat\n"
                                       "calib_type 2\n"
                                       "calib_exec\n"
                                       "calib_save_map %1/out/shift.emp\n"
                                       "calib_clear_map\n"
                                       "analyzer_set_LCF_std 0 1 0 %1/ref1.dat 0\n"
                                       "analyzer_set_LCF_std 1 1 0 %1/ref2.dat 0\n"
                                       "analyzer_target_elements Cu\n"
                                       "analyzer_set_ra_energy %7\n"
                                       "analyzer_set_ra_factor %8\n"
                                       "analyzer_sub_mode 0 1 1 1 1\n"
                                       "analyzer_exec_2da\n"
                                       "analyzer_select_image_type 0\n"
                                       "analyzer_select_image 0\n"
                                       "save_data %1/out/frac\n"
                                       "analyzer_select_image 1\n"
                                       "save_data %1/out/frac\n"
                                       "analyzer_select_image 4\n"
                                       "save_data %1/out/dedge\n"
                                       "analyzer_select_image 6\n"
                                       "analyzer_elems_select_disp_mode 0\n"
                                       "analyzer_elems_select_show Cu-K\n"
                                       "save_data %1/out/elem\n"
                                       "analyzer_select_image 8\n"
                                       "save_data %1/out/rest\n"
                                       "analyzer_select_image 7\n"
                                       "save_data %1/out/jump\n"
                                       "calib_load_map %1/out/shift.emp\n"
                                       "analyzer_sub_mode 0 1 0 0 0\n"
                                       "analyzer_exec_2da\n"
                                       "analyzer_select_image 4\n"
                                       "save_data %1/out/corrected\n"
                                       "quit\n")
                                   .arg(dir.path())
                                   .arg(s.sampleRows)
                                   .arg(s.width - 1)
                                   .arg(s.height() - 1)
                                   .arg(s.sampleRows - 1)
                                   .arg(s.E0)
                                   .arg(raAt)
                                   .arg(raFactor);
        QVERIFY(ts::writeText(dir.filePath("run.bat"), script));
        QVERIFY(ts::writeText(dir.filePath("run.cfg"), "DataRoot " + dir.path() + "\n"));

        const ts::ProgramRun run = ts::runProgram(
            CORVENLITH_BIN, {"-c", dir.filePath("run.cfg"), "-e", "-b", dir.filePath("run.bat"), "-x"}, 240000,
            dir.path());
        const QByteArray err = run.err.right(3000);
        QVERIFY2(run.ended, err.constData());
        QCOMPARE(run.status, QProcess::NormalExit);
        QVERIFY2(run.code == 0, err.constData());

        // The map written right after "calib_exec" holds the finished run.
        Analyzed2DRes map("read back");
        EMPHeader header;
        AnalyzeCond grid;
        EShiftMapFile::LoadSettings settings;
        QCOMPARE(int(EShiftMapFile::load(dir.filePath("out/shift.emp"), map, header, grid, settings)),
                 int(EShiftMapFile::LoadResult::Loaded));
        QCOMPARE(map.width(), s.width);
        QCOMPARE(map.height(), s.height());
        for (int y = 0; y < s.sampleRows; ++y)
            for (int x = 0; x < s.width; ++x)
                QVERIFY2(std::fabs(map.valueAt(x, y) - s.regionAt(x)->shift) < 0.2,
                         qPrintable(QString("%1,%2: %3").arg(x).arg(y).arg(map.valueAt(x, y))));

        // Block centres at 1, 4, ... with half-widths 1: each block within one region.
        const int blocks = (s.width / 3) * (s.sampleRows / 3);
        for (const QString& m : QStringList{"frac-0.dat:f1", "frac-1.dat:f2", "dedge-0.dat:dedge", "elem-0.dat:jump",
                                 "jump-0.dat:jump", "rest-0.dat:rest", "corrected-0.dat:corrected"}) {
            const QString file = dir.filePath("out/" + m.section(':', 0, 0));
            const QString q = m.section(':', 1);
            QVERIFY2(QFileInfo::exists(file), qPrintable(file + " not saved\n" + err));
            int seen = 0;
            QString report;
            for (const QString& l : ts::readLines(file)) {
                if (l.startsWith('#') || l.trimmed().isEmpty()) continue;
                const QStringList v = l.trimmed().split(QRegularExpression("[,\\s]+"));
                QVERIFY2(v.size() == 3, qPrintable(file + ": " + l));
                const int x = v[0].toInt(), y = v[1].toInt();
                const mixed::Region* r = s.regionAt(x);
                QVERIFY(r && y < s.sampleRows);
                ++seen;
                const double want = truth(q, *r);
                const double tolerance = q == "dedge" || q == "corrected" ? 0.2 : 0.02;
                if (!std::isnan(want) && !(std::fabs(v[2].toDouble() - want) <= tolerance))
                    report += QString("%1 at (%2, %3): %4, want %5\n").arg(q).arg(x).arg(y).arg(v[2]).arg(want);
            }
            QVERIFY2(report.isEmpty(), qPrintable(file + "\n" + report));
            QCOMPARE(seen, blocks);
        }
    }

    // Without a screen nobody can close a window left waiting for a script
    // that never came: the program says why and ends.
    void headlessRunWithoutItsScriptEnds_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        QTest::newRow("missing file") << QStringList{"-b", "/nonexistent/run.bat", "-x"}
                                      << "cannot read the batch file /nonexistent/run.bat";
        QTest::newRow("no file named") << QStringList{"-x"} << "no batch file given";
    }
    void headlessRunWithoutItsScriptEnds()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const ts::ProgramRun run =
            ts::runProgram(CORVENLITH_BIN, QStringList{"-c", dir.filePath("none.cfg"), "-e"} + args, 20000);
        QVERIFY(run.ended);
        QCOMPARE(run.status, QProcess::NormalExit);
        QVERIFY(run.code != 0);
        QVERIFY2(run.err.contains(said.toUtf8()), qPrintable(said));
    }
};

QTEST_MAIN(TstScriptAnalysis)
#include "tst_scriptanalysis.moc"
