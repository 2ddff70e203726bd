// Script runs that must say, and count, what they did not do: words naming
// nothing, loads of no file, saves of no name, files named and missing, an I0
// stack short of the I1 energies, runs whose blocks lie outside the image,
// and the notes a pipeline reads whatever the debug rules say.
#include "analysis/ElemList.h"
#include "core/Analyzed2DRes.h"
#include "support/Files.h"
#include "support/Headless.h"
#include "support/Maps.h"
#include "support/MixedStack.h"
#include "tools/EShiftMapFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList errLines(const QByteArray& err)
{
    return QString::fromUtf8(err).split('\n').filter(QRegularExpression("^Err: "));
}

}  // namespace

class TstScriptVerdicts : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    mixed::Stack st;

    // The script with TMP for the stack's folder, run headless from a folder of its own (with its out/).
    ts::ProgramRun run(QString script, const QString& cfgLines = QString(), int ms = 120000)
    {
        static int n = 0;
        const QString dir = tmp.filePath(QString("run%1").arg(++n));
        if (!QDir().mkpath(dir + "/out")) return ts::ProgramRun();
        lastDir = dir;
        return ts::runHeadless(dir, script.replace("TMP", tmp.path()).replace("OUT", dir + "/out"), ms,
                               QString(cfgLines).replace("TMP", tmp.path()));
    }
    QString lastDir;

    static QString load() { return "load_I1_files_of_pattern NEW TMP/i1/ *.tif\nload_I0_files_of_pattern NEW TMP/i0/ *.tif\n"; }

private slots:
    void initTestCase()
    {
        // Cu in the left half, nothing in the right (the blocks there have no edge).
        st.regions = {{0, 8, 0.3, 0.9, 0.3, 0.0}};
        QVERIFY(st.writeRun(tmp.path()));
        // An I0 stack ending 29 eV short of the I1 stack's last frame.
        QVERIFY(QDir().mkpath(tmp.filePath("i0short")));
        for (const QString& f : QDir(tmp.filePath("i0")).entryList({"*.tif"}, QDir::Files, QDir::Name))
            if (f.mid(3, 5).toInt() <= 8990) QVERIFY(QFile::copy(tmp.filePath("i0/" + f), tmp.filePath("i0short/" + f)));
        // An I1 stack with one energy measured twice.
        QVERIFY(QDir().mkpath(tmp.filePath("i1twice")));
        for (const QString& f : QDir(tmp.filePath("i1")).entryList({"*.tif"}, QDir::Files, QDir::Name))
            QVERIFY(QFile::copy(tmp.filePath("i1/" + f), tmp.filePath("i1twice/" + f)));
        QVERIFY(QFile::copy(tmp.filePath("i1/" + ts::energyName("i1", 8979)),
                            tmp.filePath("i1twice/" + ts::energyName("i1", 8979).replace(".tif", "_b.tif"))));
        // Energy-shift maps: the frames' size, one row short, one row and column over.
        for (const QSize& s : {QSize(18, 15), QSize(18, 14), QSize(19, 16)}) {
            Analyzed2DRes m("shift");
            const AnalyzeCond g = ts::fillMap(m, s.width(), s.height(), [](int x, int) { return 0.01 * x; });
            QVERIFY(EShiftMapFile::write(tmp.filePath(QString("map%1x%2.emp").arg(s.width()).arg(s.height())), m,
                                         EShiftMapFile::headerOf(g, 0, 0, 8979, 3.13553), "", s.width(), s.height()));
        }
    }

    // Each script's exit status and the Err: lines it must (and must not) write; every refused line changes
    // nothing and the run goes on to its end.
    void refusedAndCounted_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("errs");  // in order, each a part of an Err: line (after "!" of any line)
        const QString edge = "select_region 0 0 18 12\nset_band_w 1\nset_band_h 1\nanalyzer_sub_mode 0 1 0 0 0\n";
        QTest::newRow("element symbol of no element") << "Suggesting_Elm Xx\n" << 1
            << QStringList{"Suggesting_Elm Xx: no element has the symbol Xx"};
        QTest::newRow("element symbol in small letters") << "Suggesting_Elm fe\n" << 1
            << QStringList{"Suggesting_Elm fe: no element has the symbol fe; did you mean Fe?"};
        QTest::newRow("element's name") << "Suggesting_Elm Copper\n" << 1
            << QStringList{"Suggesting_Elm Copper: no element has the symbol Copper"};
        QTest::newRow("element symbol") << "Suggesting_Elm Zn\n" << 0 << QStringList{};
        const QString zn = "analyzer_target_elements Zn\n";
        QTest::newRow("element rows by symbol and by name")
            << zn + "analyzer_elems_thdmut Zn 0.002\nanalyzer_elems_set_use Zn-K 1\nanalyzer_elems_roi Zn 9660 9700\n"
                    "analyzer_elems_select_show Zn\nanalyzer_elems_no_neg Zn-K 1\nanalyzer_elems_set_use 0 1\n"
            << 0 << QStringList{};
        QTest::newRow("element rows that do not exist")
            << zn + "analyzer_elems_thdmut Cu 0.002\nanalyzer_elems_set_use Cu-K 1\nanalyzer_elems_roi zn 9660 9700\n"
                    "analyzer_elems_select_show 1\nanalyzer_elems_select_target Fe\n"
            << 1
            << QStringList{"analyzer_elems_thdmut Cu 0.002: no element row is named Cu (the rows: Zn-K)",
                           "analyzer_elems_set_use Cu-K 1: no element row is named Cu-K",
                           "analyzer_elems_roi zn 9660 9700: no element row is named zn; did you mean Zn-K?",
                           "analyzer_elems_select_show 1: there is no element row 1", "analyzer_elems_select_target Fe:"};
        QTest::newRow("element symbol naming two rows") << "analyzer_target_elements Cu-K,Cu-L3\nanalyzer_elems_thdmut Cu 0.1\n"
            << 1 << QStringList{"analyzer_elems_thdmut Cu 0.1: Cu names 2 rows (Cu-K, Cu-L3)"};
        QTest::newRow("NEW load of no file, then a run")
            << load() + edge + "load_I1_files NEW\nanalyzer_exec_2da\n" << 1
            << QStringList{"load_I1_files NEW: no file given: the I1 stack is emptied", "!2-D run not started: no I1 image"};
        QTest::newRow("I0 load adding no file") << load() + "load_I0_files ADD\n" << 1
            << QStringList{"load_I0_files ADD: no file given: nothing loaded"};
        QTest::newRow("spectra saved under no name") << load() + "move_position 4 4\nsave_spectra\nsave_spectra \"\"\n" << 1
            << QStringList{"save_spectra: no file name given", "save_spectra \"\": no file name given"};
        // A half width of the region's side: the only block is centred outside the image.
        QTest::newRow("only block outside the image, edge shift")
            << load() + "select_region 0 0 18 15\nset_band_w 18\nset_band_h 15\nanalyzer_sub_mode 0 1 0 0 0\nanalyzer_exec_2da\n"
            << 1 << QStringList{};
        QTest::newRow("only block outside the image, residual absorption")
            << load() + "select_region 0 0 18 15\nset_band_w 18\nset_band_h 15\nanalyzer_sub_mode 0 0 0 0 1\nanalyzer_exec_2da\n"
            << 1 << QStringList{};
        // Spectra made beyond the I0 stack's last energy take the nearest I0 frame: saved and run, each counted.
        const QString shortI0 = "load_I1_files_of_pattern NEW TMP/i1/ *.tif\nload_I0_files_of_pattern NEW TMP/i0short/ *.tif\n";
        const QString use = "move_position 4 4\nsave_spectra OUT/s\n" + edge + "analyzer_exec_2da\n";
        const QString said = "The I0 stack (8939.00 - 8990.00 eV) does not cover the I1 energies (8939.00 - 9019.00 eV): "
                             "outside its range the nearest I0 frame is used";
        QTest::newRow("I0 short of the I1 energies, put in use after the loads")
            << shortI0 + "Use_I0 1\n" + use << 1 << QStringList{"save_spectra OUT/s: " + said, "analyzer_exec_2da: " + said};
        QTest::newRow("I0 short of the I1 energies, in use before the loads")
            << "Use_I0 1\n" + shortI0 + use << 1 << QStringList{"save_spectra OUT/s: " + said, "analyzer_exec_2da: " + said};
        QTest::newRow("I0 short of the I1 energies, not in use") << "Use_I0 0\n" + shortI0 + use << 0 << QStringList{};
        QTest::newRow("I0 covering the I1 energies") << "Use_I0 1\n" + load() + use << 0 << QStringList{};
        // One dimension off is as wrong as both: the run goes on, counted.
        const QString map = load() + edge + "calib_load_map TMP/%1.emp\nanalyzer_exec_2da\n";
        QTest::newRow("shift map one row short") << map.arg("map18x14") << 1
            << QStringList{"analyzer_exec_2da: 2-D run: the energy-shift map is 18 x 14 pixels, the images 18 x 15: its "
                           "shifts reach only part of the image"};
        QTest::newRow("shift map larger than the frames") << map.arg("map19x16") << 1
            << QStringList{"analyzer_exec_2da: 2-D run: the energy-shift map is 19 x 16 pixels, larger than the images of "
                           "18 x 15: it was made for other frames"};
        QTest::newRow("shift map of the frames' size") << map.arg("map18x15") << 0 << QStringList{};
    }
    void refusedAndCounted()
    {
        QFETCH(QString, script);
        QFETCH(int, code);
        QFETCH(QStringList, errs);
        const ts::ProgramRun r = run(script + ":echo after\nquit\n");
        const QString err = QString::fromUtf8(r.err);
        QVERIFY2(r.endedWith(code), qPrintable(err.right(3000)));
        QVERIFY2(err.contains("echo after"), qPrintable(err.right(2000)));
        const QStringList said = errLines(r.err), lines = err.split('\n');
        for (QString& e : errs) e.replace("OUT", lastDir + "/out");
        int at = 0;
        for (const QString& e : errs) {
            const bool any = e.startsWith('!');
            while (at < lines.size() && !(lines[at].contains(e.mid(any ? 1 : 0)) && (any || lines[at].startsWith("Err: ")))) ++at;
            QVERIFY2(at < lines.size(), qPrintable(e + "\nnot in\n" + said.join('\n')));
        }
        if (code == 0) QVERIFY2(said.isEmpty(), qPrintable(said.join('\n')));
    }

    // The bare symbol takes the one row it names; a row number only where the word takes one.
    void elementRowKeys_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("byIndex");
        QTest::addColumn<QString>("taken");
        const QStringList two{"Cu-K", "Zn-K"};
        QTest::newRow("whole name") << two << "Zn-K" << false << "Zn-K";
        QTest::newRow("bare symbol") << two << "Zn" << false << "Zn-K";
        QTest::newRow("symbol of two rows") << QStringList{"Cu-K", "Cu-L3"} << "Cu" << false << "";
        QTest::newRow("whole name among two") << QStringList{"Cu-K", "Cu-L3"} << "Cu-L3" << false << "Cu-L3";
        QTest::newRow("small letters") << two << "zn" << false << "";
        QTest::newRow("number, by index") << two << "1" << true << "1";
        QTest::newRow("number past the rows") << two << "2" << true << "";
        QTest::newRow("number, by name only") << two << "1" << false << "";
        QTest::newRow("no rows") << QStringList{} << "Zn" << true << "";
        QTest::newRow("text that is no number") << two << "Zinc" << true << "";
    }
    void elementRowKeys()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, key);
        QFETCH(bool, byIndex);
        QFETCH(QString, taken);
        QString why;
        QCOMPARE(ElemList::rowKey(rows, key, byIndex, &why), taken);
        QCOMPARE(why.isEmpty(), !taken.isEmpty());
    }

    // A standard shown alone is saved with its E0 and jump; with no spectrum that has a point nothing is.
    void standardSavedAlone_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("written");
        QTest::newRow("standard alone") << "calib_show_window\ncalib_load_std TMP/ref1.dat\nsave_spectra OUT/s\n" << 0
                                        << QStringList{"s-std.dat"};
        QTest::newRow("standard and a stack") << load() + "calib_load_std TMP/ref1.dat\nmove_position 4 4\nsave_spectra OUT/s\n"
                                              << 0 << QStringList{"s-T.dat", "s-std.dat"};
        QTest::newRow("nothing shown") << "calib_show_window\nsave_spectra OUT/s\n" << 1 << QStringList{};
        // The cursor spectrum of the frames freed was saved as if they were there.
        QTest::newRow("stack emptied") << load() + "move_position 4 4\nclear_I1_files\nsave_spectra OUT/s\n" << 1 << QStringList{};
        QTest::newRow("stack emptied, standard shown")
            << load() + "calib_load_std TMP/ref1.dat\nmove_position 4 4\nclear_I1_files\nsave_spectra OUT/s\n" << 0
            << QStringList{"s-std.dat"};
    }
    void standardSavedAlone()
    {
        QFETCH(QString, script);
        QFETCH(int, code);
        QFETCH(QStringList, written);
        const ts::ProgramRun r = run(script + "quit\n");
        QVERIFY2(r.endedWith(code), r.err.right(3000).constData());
        const QStringList files = QDir(lastDir + "/out").entryList(QDir::Files, QDir::Name);
        QCOMPARE(files, written);
        if (written.isEmpty()) return;
        // The standard's own points, normalised: the step from 0 to 1 across 8979 eV.
        QVector<QPointF> pts;
        for (const QString& line : ts::readLines(lastDir + "/out/s-std.dat")) {
            if (line.startsWith('#') || line.trimmed().isEmpty()) continue;
            const QStringList v = line.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
            if (v.size() >= 2) pts << QPointF(v[0].toDouble(), v[1].toDouble());
        }
        QVERIFY2(pts.size() > 100, qPrintable(QString::number(pts.size())));
        QVERIFY(pts.first().y() < 0.1 && pts.last().y() > 0.9);
    }

    // Files the configuration or the command line names and that do not exist; the default configuration's
    // absence is no failure.
    void filesNamedAndMissing_data()
    {
        QTest::addColumn<QString>("cfg");  // the configuration's text; "-" names a file that does not exist
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("errPart");
        QTest::newRow("-c naming no file") << "-" << 1 << "the configuration file " + tmp.filePath("missing.cfg") + " cannot be read";
        QTest::newRow("INCLUDE of no file") << "INCLUDE " + tmp.filePath("missing.cfg") + "\n" << 1
                                            << "the configuration file " + tmp.filePath("missing.cfg") + " cannot be read";
        QTest::newRow("ErrPoints of no file") << "ErrPoints " + tmp.filePath("missing.lst") + "\n" << 1
                                              << "the bad-pixel list " + tmp.filePath("missing.lst") + " (ErrPoints) cannot be read";
        QTest::newRow("everything there") << "DataRoot " + tmp.path() + "\n" << 0 << "";
    }
    void filesNamedAndMissing()
    {
        QFETCH(QString, cfg);
        QFETCH(int, code);
        QFETCH(QString, errPart);
        const QString bat = tmp.filePath("named.bat"), cfgFile = cfg == "-" ? tmp.filePath("missing.cfg") : tmp.filePath("named.cfg");
        QVERIFY(ts::writeText(bat, "set_band_w 1\nquit\n"));
        if (cfg != "-") QVERIFY(ts::writeText(cfgFile, cfg));
        const ts::ProgramRun r = ts::runProgram(CORVENLITH_BIN, {"-c", cfgFile, "-e", "-b", bat, "-x"}, 60000, tmp.path());
        QVERIFY2(r.endedWith(code), r.err.right(3000).constData());
        // The script still ran.
        QVERIFY(r.err.contains("line 1: set_band_w : 1"));
        const QStringList said = errLines(r.err);
        QCOMPARE(said.size(), code);
        if (code) QVERIFY2(said.first().startsWith("Err: " + errPart), qPrintable(said.first()));
    }
    void defaultConfigurationMissing()
    {
        if (QFileInfo::exists(QFileInfo(CORVENLITH_BIN).absolutePath() + "/config.cfg"))
            QSKIP("a config.cfg lies beside the program");
        const QString bat = tmp.filePath("plain.bat");
        QVERIFY(ts::writeText(bat, "set_band_w 1\nquit\n"));
        const ts::ProgramRun r = ts::runProgram(CORVENLITH_BIN, {"-e", "-b", bat, "-x"}, 60000, tmp.path());
        QVERIFY2(r.endedWith(0), r.err.right(3000).constData());
    }

    // The notes the README promises are log lines: debug rules that silence every category keep them. Blocks
    // without a result are counted per analysis asked, anew in each run.
    void notesWhateverTheDebugRules_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("said");  // each a whole line, in order
        const QString run = "select_region 0 0 18 12\nset_band_w 1\nset_band_h 1\nanalyzer_sub_mode 0 %1\nanalyzer_exec_2da\n";
        QTest::newRow("frames sharing an energy")
            << "load_I1_files_of_pattern NEW TMP/i1twice/ *.tif\n" << 0
            << QStringList{"Some frames of the I1 stack share an energy: their points are averaged"};
        QTest::newRow("edge shift, half the image bare") << load() + run.arg("1 0 0 0") << 0
            << QStringList{"2-D run: edge shift: 12 of 24 blocks got no result: 12 flagged (no edge found)"};
        QTest::newRow("two runs, each its own count") << load() + run.arg("1 0 0 0") + "analyzer_exec_2da\n" << 0
            << QStringList{"2-D run: edge shift: 12 of 24 blocks got no result: 12 flagged (no edge found)",
                           "2-D run: edge shift: 12 of 24 blocks got no result: 12 flagged (no edge found)"};
        QTest::newRow("edge shift and residual absorption") << load() + run.arg("1 0 0 1") << 0
            << QStringList{"2-D run: edge shift: 12 of 24 blocks got no result: 12 flagged (no edge found)",
                           "2-D run: residual absorption: 12 of 24 blocks got no result: 12 flagged (no edge found)"};
        QTest::newRow("LCF and elements")
            << load() + "analyzer_set_LCF_std 0 1 0 TMP/ref1.dat\nanalyzer_set_LCF_std 1 1 0 TMP/ref2.dat\n"
                        "analyzer_target_elements Cu\n" + run.arg("0 1 1 0") << 0
            << QStringList{"2-D run: LCF: 12 of 24 blocks got no result: 12 where the LCF fit failed (no edge jump)",
                           "2-D run: elements: 12 of 24 blocks got no result: 12 without an element step"};
        QTest::newRow("only block outside the image")
            << load() + "select_region 0 0 18 15\nset_band_w 18\nset_band_h 15\nanalyzer_sub_mode 0 1 0 0 0\nanalyzer_exec_2da\n"
            << 1
            << QStringList{"2-D run: edge shift: 1 of 1 blocks got no result: 1 without a point (the block lies outside the image)",
                           "2-D run gave no result: in each of its 1 blocks the spectrum has no point (the block lies "
                           "outside the image)"};
        QTest::newRow("a save that fails") << "save_image OUT/none/v.png\n" << 1 << QStringList{};
    }
    void notesWhateverTheDebugRules()
    {
        QFETCH(QString, script);
        QFETCH(int, code);
        QFETCH(QStringList, said);
        const QByteArray rules = qgetenv("QT_LOGGING_RULES");
        qputenv("QT_LOGGING_RULES", "*.debug=false;*.info=false;*.warning=false;*.critical=false");
        const ts::ProgramRun r = run(script + "quit\n");
        qputenv("QT_LOGGING_RULES", rules);
        QVERIFY2(r.endedWith(code), r.err.right(3000).constData());
        const QStringList lines = QString::fromUtf8(r.err).split('\n');
        int at = 0;
        for (const QString& s : said) {
            while (at < lines.size() && lines[at] != s) ++at;
            QVERIFY2(at < lines.size(), qPrintable(s + "\nnot in\n" + lines.join('\n').right(3000)));
            ++at;
        }
        QCOMPARE(lines.filter(QRegularExpression("^2-D run: .* blocks got no result")).size(), said.filter("blocks got no result").size());
        // A counted failure's own text is in the log too, not only in the closing count.
        if (code && said.isEmpty()) QVERIFY2(lines.filter(QRegularExpression("^Can't write")).size() == 1, qPrintable(lines.join('\n').right(3000)));
    }

    // Names of saved files: a dot in the last part of a name is the name's, and a suffix no reader takes for a
    // format is part of it.
    void savedNames_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("written");
        const QString edge = load() + "select_region 0 0 18 12\nset_band_w 1\nset_band_h 1\nanalyzer_sub_mode 0 1 0 0 0\n"
                                      "analyzer_exec_2da\nanalyzer_select_image 4\n";
        QTest::newRow("shift map under a dotted name") << load() + "calib_load_std TMP/ref1.dat\ncalib_load_map TMP/map18x15.emp\ncalib_save_map OUT/map0.5\n"
                                                       << 0 << QStringList{"map0.5.emp"};
        QTest::newRow("shift map named .emp") << load() + "calib_load_std TMP/ref1.dat\ncalib_load_map TMP/map18x15.emp\ncalib_save_map OUT/m.emp\n" << 0
                                              << QStringList{"m.emp"};
        QTest::newRow("text map named ppm") << edge + "saveDataCfg_save_as_text\nsave_data OUT/Cu_500.ppm\n" << 0
                                            << QStringList{"Cu_500.ppm-0.dat"};
        QTest::newRow("reference maps under a name without an image suffix") << "save_all_images OUT/all_0.5\n" << 1
                                                                             << QStringList{};
    }
    void savedNames()
    {
        QFETCH(QString, script);
        QFETCH(int, code);
        QFETCH(QStringList, written);
        const ts::ProgramRun r = run(script + "quit\n");
        QVERIFY2(r.endedWith(code), r.err.right(3000).constData());
        QCOMPARE(QDir(lastDir + "/out").entryList(QDir::Files, QDir::Name), written);
        if (code) QVERIFY2(r.err.contains("all_0.5 has no image suffix"), r.err.right(2000).constData());
    }
};

QTEST_MAIN(TstScriptVerdicts)
#include "tst_scriptverdicts.moc"
