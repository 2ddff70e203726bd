// Start-up: options resolved over the configuration table, the Japanese
// translation, windows that fit a 1366 x 768 screen in both languages (at start
// and after a day's work, their numbers read as shown), and
// the program itself started on a configuration file.
#include <QAbstractButton>
#include <QCheckBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSet>
#include <QTemporaryDir>
#include <QToolBox>
#include <QTranslator>
#include <QtTest>

#include <cmath>
#include <random>

#include "StartupOptions.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/LCFReference.h"
#include "batch/BatchCtrl.h"
#include "batch/BatchOnBody.h"
#include "core/Cfg.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "mainwindow/EOFSetup.h"
#include "mainwindow/SaveDataCfg.h"
#include "support/Batch.h"
#include "support/Files.h"
#include "support/Headless.h"
#include "support/ShownText.h"
#include "support/Spectra.h"
#include "support/StackFiles.h"
#include "support/WidgetEvents.h"
#include "tools/Analyzer2OnBody.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibOnBody.h"
#include "tools/ToolsOnBody.h"
#include "widgets/SpecPane.h"

namespace {

// What a window may take of a 1366 x 768 screen: the title bar is not counted.
const QSize screen(1366, 740);

using ts::shownText;

bool readsAsNumber(QString text)
{
    bool ok = false;
    text.remove(',').trimmed().toDouble(&ok);
    return ok;
}

// Said of a window larger than the screen, and of every button whose text
// does not fit in the room the layout gave it (the style's padding of push
// buttons beyond their text is not counted); of a widget below its minimum size hint,
// a scroll area that scrolls sideways, a field too narrow for a typical value,
// and a field that shows a number without its beginning.
QStringList misfits(QWidget* w, bool fields)
{
    QStringList bad;
    if (w->width() > screen.width() || w->height() > screen.height())
        bad << QString("%1 is %2 x %3").arg(w->objectName()).arg(w->width()).arg(w->height());
    for (QWidget* c : w->findChildren<QWidget*>()) {
        if (!c->isVisibleTo(w)) continue;
        const QSize hint = c->minimumSizeHint();
        int need = hint.width();
        if (auto* b = qobject_cast<QAbstractButton*>(c); b && !qobject_cast<QCheckBox*>(b) && !qobject_cast<QRadioButton*>(b))
            need = b->fontMetrics().horizontalAdvance(b->text()) + 6;
        const char* value = c->objectName() == "Selected" ? "Cu_foil_ref.dat" : "-888888";  // a file name's end, a number
        if (fields && c->inherits("QLineEdit")) need = qMax(need, c->fontMetrics().horizontalAdvance(value) + 6);
        if (c->width() < need || c->height() < hint.height())
            bad << QString("%1: %2 %3 x %4 < %5 x %6").arg(w->objectName(), c->objectName()).arg(c->width()).arg(c->height())
                       .arg(need).arg(hint.height());
        // A number cut at the front reads as another number.
        if (auto* e = qobject_cast<QLineEdit*>(c); e && readsAsNumber(e->text()))
            if (const QString seen = shownText(e); seen.isEmpty() || !e->text().startsWith(seen))
                bad << QString("%1: %2 shows \"%3\" of \"%4\"").arg(w->objectName(), e->objectName(), seen, e->text());
        if (auto* a = qobject_cast<QScrollArea*>(c); a && a->widget() && a->widget()->width() > a->viewport()->width())
            bad << w->objectName() + ": " + a->objectName() + " scrolls sideways";
    }
    return bad;
}

// A tool window opened as a window manager would on that screen, the main window (its short fields
// meant short) as small as it can be made; every page of their tab widgets and tool boxes looked at.
QStringList windowMisfits(QWidget* w, bool mainWindow)
{
    w->show();
    if (!QTest::qWaitForWindowExposed(w)) return {w->objectName() + " not shown"};
    w->resize(mainWindow ? w->minimumSizeHint() : w->size().boundedTo(screen).expandedTo(w->minimumSizeHint()));
    QTest::qWait(20);
    QStringList bad = misfits(w, !mainWindow);
    for (QWidget* t : w->findChildren<QWidget*>())
        for (int i = 0; (t->inherits("QTabWidget") || t->inherits("QToolBox")) && i < t->property("count").toInt(); ++i) {
            t->setProperty("currentIndex", i);
            QTest::qWait(10);
            bad << misfits(w, !mainWindow);
        }
    w->hide();
    return bad;
}

// Every window but the main one.
QWidgetList toolWindows(Body& b)
{
    return {AnalysisOnBody::of(b)->analyzer(), AnalysisOnBody::of(b)->analyzer()->specPane, b.specWindow,
            CalibOnBody::of(b)->calibCtrl, b.saveDataCfg, &ToolsOnBody::of(b)->imgProc, &ToolsOnBody::of(b)->stats,
            &Analyzer2OnBody::of(b)->analyzer2, BatchOnBody::of(b)->batchCtrl(),
            &b.SelectI1Files->additionalSetup(), b.SelectI1Files->eofSetup()};
}

QStringList allMisfits(Body& b, const QString& state)
{
    QStringList bad = windowMisfits(&b, true);
    for (QWidget* w : toolWindows(b)) bad << windowMisfits(w, false);
    bad.removeDuplicates();
    return bad.replaceInStrings(QRegularExpression("^"), state + ": ");
}

// A Cu K edge scan in long-named files on a 2048-pixel strip: steps of 5 eV, 0.5 eV
// across the edge, photon noise, hot pixels, no sample in the first 300 columns; the
// sample's share of metal (else oxide) runs across the strip.
struct WorkScan
{
    static constexpr int width = 2048, height = 16;
    static constexpr double E0 = 8979;
    QStringList i1, i0;
    QString ref1, ref2;

    static double metal(double E) { return 0.5 * (1 + std::tanh((E - E0) / 1.5)); }
    static double oxide(double E) { return 0.5 * (1 + std::tanh((E - E0 - 4) / 3.0)) + (E > E0 + 6 ? 0.08 * std::sin((E - E0) / 9) : 0); }

    bool write(const QString& dir)
    {
        std::mt19937 rng(32);
        const QString name = "CuK_operando-cell3_450C_H2-He-flow_scan0042_north-east-corner_";
        for (double E = 8900; E <= 9120; E += E >= 8965 && E < 9005 ? 0.5 : 5) {
            const double beam = 21000 * (1 - 0.0008 * (E - 8900));
            auto count = [&](double mean) { return std::normal_distribution<double>(mean, std::sqrt(mean))(rng); };
            i1 << dir + "/i1/" + name + ts::energyName("i1", E);
            i0 << dir + "/i0/" + name + ts::energyName("i0", E);
            const bool ok = ts::writeTiff(i1.last(), width, height, [&](int c, int r) {
                if ((c == 1600 && r == 7) || (c == 1777 && r == 3) || (c == 310 && r == 11)) return 65535.0;
                if (c < 300) return count(beam * 0.8);
                const double f = (c - 300) / double(width - 300);
                return count(beam * 0.8 * std::exp(-(0.3 + 1.1 * (f * metal(E) + (1 - f) * oxide(E)))));
            }) && ts::writeTiff(i0.last(), width, height, [&](int, int) { return count(beam); });
            if (!ok) return false;
        }
        ref1 = dir + "/Cu-metal-foil_transmission_reference_7um_2026-11-30.dat";
        ref2 = dir + "/CuO-pellet-in-BN_transmission_reference_2026-11-30.dat";
        return ts::writeSpectrum(ref1, synth::sample(8880, 9140, 0.5, [](double E) { return 0.3 + 1.1 * metal(E); }))
               && ts::writeSpectrum(ref2, synth::sample(8880, 9140, 0.5, [](double E) { return 0.3 + 1.1 * oxide(E); }));
    }
};

}  // namespace

class TstStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The program's style and a desktop's usual font.
        QApplication::setStyle("Fusion");
        QApplication::setFont(QFont("Sans Serif", 9));
        initGlobals();
        initColorTables();
        installAnalysisOnBody();
        installBatchOnBody();
        installToolsOnBody();
        installCalibOnBody();
        installAnalyzer2OnBody();
    }

    // The command line first, then the file, as start-up fills the table.
    // Resolved: config file | data root | batch root | script | run | English | A2B.
    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("resolved");
        const QString roots = "DataRoot /data/root   # comment\nBatchRoot \"/batch root\"";
        QTest::newRow("nothing given") << QStringList() << "" << "def.cfg|C:/Data|C:/Data||0|0|0";
        QTest::newRow("-config over -c") << QStringList{"-config", "two.cfg", "-c", "one.cfg"} << "" << "two.cfg|C:/Data|C:/Data||0|0|0";
        QTest::newRow("-c without a value") << QStringList{"-c", "-e"} << "" << "|C:/Data|C:/Data||0|1|0";
        QTest::newRow("options are case-sensitive") << QStringList{"-C", "upper.cfg", "-X"} << "" << "def.cfg|C:/Data|C:/Data||0|0|0";
        QTest::newRow("roots from the file") << QStringList() << roots << "def.cfg|/data/root|/batch root||0|0|0";
        QTest::newRow("-d and -br over the file") << QStringList{"-d", "/cmd/data", "-br", "/cmd/batch"} << roots << "def.cfg|/cmd/data|/cmd/batch||0|0|0";
        QTest::newRow("-b -x -e") << QStringList{"-c", "one.cfg", "-b", "/s/run.bat", "-x", "-e"} << "" << "one.cfg|C:/Data|C:/Data|/s/run.bat|1|1|0";
        QTest::newRow("A2B: key 1") << QStringList() << "ShowAnalyzer2Button 1" << "def.cfg|C:/Data|C:/Data||0|0|1";
        QTest::newRow("A2B: option 0 over key 1") << QStringList{"-showA2B", "0"} << "ShowAnalyzer2Button 1" << "def.cfg|C:/Data|C:/Data||0|0|0";
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        QFETCH(QString, resolved);
        QList<QByteArray> bytes{"corvenlith"};
        for (const QString& a : args) bytes << a.toUtf8();
        QVector<char*> argv;
        for (QByteArray& b : bytes) argv << b.data();
        argv << nullptr;
        Cfg c;
        c.parseArgs(bytes.size(), argv.data());
        QTemporaryDir dir;
        c.readFile(ts::writeIn(dir, "c.cfg", file + "\n"));
        const StartupOptions o = resolveStartupOptions(c, "C:/Data", "C:/Data", false);
        const QStringList got{configFileName(c, "def.cfg"), o.dataRoot, o.batchRoot, o.batchFile,
                              QString::number(o.execBatch), QString::number(o.english),
                              QString::number(o.showAnalyzer2Button)};
        QCOMPARE(got.join('|'), resolved);
    }

    // Every collected text has its translation (scripts/lupdate.sh collects
    // them), and the translation is embedded in the program.
    void japaneseTranslationCompleteAndEmbedded()
    {
        QTranslator t;
        QVERIFY(t.load(":Corvenlith_ja_JP"));
        const QString title = t.translate("Body", "Show Stats");
        QVERIFY(!title.isEmpty() && title != "Show Stats");
#ifdef CORVENLITH_TS
        const QByteArray text = ts::readAll(CORVENLITH_TS);
        QVERIFY(text.contains("language=\"ja_JP\""));
        QVERIFY(text.count("<message>") > 100);
        QCOMPARE(text.count("type=\"unfinished\""), 0);
        QCOMPARE(text.count("<translation></translation>"), 0);
#endif
    }

    void fitsTheScreen_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::newRow("English") << false;
        QTest::newRow("Japanese") << true;
    }
    void fitsTheScreen()
    {
        QFETCH(bool, japanese);
        // Without a Japanese font every glyph is a box of the Latin font's size.
        QVERIFY2(!QFontDatabase().families(QFontDatabase::Japanese).isEmpty(), "scripts/deps.sh installs fonts-noto-cjk");
        QTranslator t;
        if (japanese) {
            QVERIFY(t.load(":Corvenlith_ja_JP"));
            QCoreApplication::installTranslator(&t);
        }
        showAnalyzer2Button = true;  // every button the display bar can have
        {
            // As it opens, and as small as it can be made.
            Body b;
            b.show();
            QVERIFY(QTest::qWaitForWindowExposed(&b));
            QStringList bad = misfits(&b, false);
            bad << windowMisfits(&b, true);
            // Before any image the colour bar shows a smooth scale at its
            // real height, not the few bands of the size it was built at.
            const QImage bar = b.CBar->barPixmap.toImage();
            QSet<QRgb> shades;
            for (int y = 0; y < bar.height(); ++y) shades.insert(bar.pixel(0, y));
            QVERIFY2(shades.size() > 200, qPrintable(QString("%1 shades").arg(shades.size())));

            Analyzer* a = AnalysisOnBody::of(b)->analyzer();
            a->setTargetElements("Fe Cu Zn");  // element rows are made for the names the user enters
            for (QWidget* w : toolWindows(b)) bad << windowMisfits(w, false);
            for (const QString& m : bad) qWarning().noquote() << m;  // a failed check's message is cut short
            QVERIFY(bad.isEmpty());
        }
        if (japanese) QCoreApplication::removeTranslator(&t);
    }

    // The windows after a day's work, in both languages (long file names, four-digit
    // corners, a calibration, a 2-D run, the cursor on a map), their numbers read as shown.
    void fitsTheScreenAtWork_data() { fitsTheScreen_data(); }
    void fitsTheScreenAtWork()
    {
        QFETCH(bool, japanese);
        QTranslator t;
        if (japanese) QVERIFY(t.load(":Corvenlith_ja_JP") && QCoreApplication::installTranslator(&t));
        QTemporaryDir dir;
        QVERIFY(ts::initBatchRun(dir));
        WorkScan scan;
        QVERIFY(scan.write(dir.path()));
        QStringList bad;
        {
            Body b;
            QVERIFY(ts::loadFiles(b, scan.i1, true) && ts::loadFiles(b, scan.i0, false));
            const QString dark = dir.filePath("CuK_operando-cell3_dark-frame_shutter-closed_100ms_average-of-20.tif");
            QVERIFY(ts::writeTiff(dark, WorkScan::width, WorkScan::height, [](int c, int r) { return 300.0 + (c + r) % 7; }));
            emit b.darkFileDialog.fileSelected(dark);
            QCOMPARE(b.EShiftFromStd->text(), QString("-"));  // no standard yet
            bad << allMisfits(b, "loaded");

            BatchCtrl* batch = BatchOnBody::of(b)->batchCtrl();
            QVERIFY(ts::runScript(batch, "select_region 1024 2 2040 14"));
            bad << allMisfits(b, "region");
            QVERIFY(b.BoxSize->text().contains("2040"));

            const QString run = QString("set_band_w 3\nset_band_h 3\nSuggesting_Edge_eV 8979\ncalib_load_std %1\ncalib_type 2\ncalib_exec\n"
                                        "analyzer_set_LCF_std 0 1 0 %1 0\nanalyzer_set_LCF_std 1 1 0 %2 0\nanalyzer_set_LCF_std 2 0 -0.000422222 %2 0\n"
                                        "analyzer_set_LCF_range 8990 9100\nanalyzer_sub_mode 0 1 1 0 0\nanalyzer_exec_2da\n"
                                        "select_disp_image_analyzed\nanalyzer_select_image_type 0\nanalyzer_select_image 0\n").arg(scan.ref1, scan.ref2);
            QVERIFY2(ts::runScript(batch, run, 120000), qPrintable(ts::logOf(batch)));
            bad << allMisfits(b, "run");

            // Each window as small as it goes: a number is read whole, or a long
            // one from its beginning as far as a typical value reaches (7 characters).
            const auto read = [&](QWidget* w, const QList<QLineEdit*>& fields, int least) {
                w->show();
                QVERIFY(QTest::qWaitForWindowExposed(w));
                w->resize(w->minimumSizeHint());
                QTest::qWait(20);
                for (QLineEdit* e : fields)
                    if (const QString seen = shownText(e); seen != e->text() && !(e->text().startsWith(seen) && seen.size() >= least))
                        bad << QString("%1 shows \"%2\" of \"%3\"").arg(e->objectName(), seen, e->text());
            };
            // The cursor on a map pixel, the main window at its smallest: the metal's share there as
            // the strip was made (the references' own normalisation leaves a few per cent), read whole.
            read(&b, {}, 0);
            const ChCoord& cc = b.dispA->coord;
            WidgetEvents::move(b.dispA, QPointF(cc.r2sx(1500.5), cc.r2sy(8.5)));
            QVERIFY(std::abs(b.cursorX - 1500) <= 1 && std::abs(b.cursorY - 8) <= 1);
            QVERIFY2(std::abs(b.Value->text().toDouble() - (b.cursorX - 300) / double(WorkScan::width - 300)) < 0.05, qPrintable(b.Value->text()));
            // The mixture's edge lies between the metal standard's and the oxide's, 4 eV above.
            const double dE = b.EShiftFromStd->text().toDouble();
            QVERIFY2(dE > 0 && dE < 4, qPrintable(b.EShiftFromStd->text()));
            QCOMPARE(shownText(b.Value), b.Value->text());
            bad << allMisfits(b, "cursor");

            Analyzer* a = AnalysisOnBody::of(b)->analyzer();
            QList<QLineEdit*> rows;
            for (LCFReference* r : a->lcfRefs.mid(0, 3)) rows << r->DeltaE << r->DMut << r->MidE << r->R << r->T;
            QCOMPARE(a->lcfRefs[2]->DeltaE->text(), QString("-0.000422222"));
            for (QLineEdit* e : rows.mid(0, 10)) QVERIFY2(readsAsNumber(e->text()), qPrintable(e->objectName()));
            read(a, rows, 7);
            CalibCtrl* c = CalibOnBody::of(b)->calibCtrl;
            const QList<QLineEdit*> stats{c->DEMin, c->DEMax, c->DEAvr, c->DESigma};
            for (QLineEdit* e : stats) QVERIFY2(e->text().toDouble() != 0, qPrintable(e->objectName()));
            read(c, stats, 7);
        }
        if (japanese) QCoreApplication::removeTranslator(&t);
        for (const QString& m : bad) qWarning().noquote() << m;
        QVERIFY(bad.isEmpty());
    }

#ifdef CORVENLITH_BIN
    // "-b" loads a script into the batch window and "-x" runs it, after the
    // configuration's script lines; the script goes on to its end.
    void programRunsTheStartupScript()
    {
        QTemporaryDir dir;
        const QString f = ts::writeIn(dir, "start.cfg", "DataRoot " + dir.path() + "\nbatch analyzer_select_main_mode_sumUp 1\n");
        const QString bat = ts::writeIn(dir, "run.bat", "analyzer_select_main_mode_sumUp 2\n:echo half\nanalyzer_select_main_mode_sumUp 3\nquit\n");
        const ts::ProgramRun r = ts::runProgram(CORVENLITH_BIN, {"-c", f, "-e", "-b", bat, "-x"}, 20000);
        // Each of the three words without an action is a failure of the run.
        QVERIFY2(r.ended && r.status == QProcess::NormalExit && r.code == 1, r.err.constData());
        const int one = r.err.indexOf("cmd \"analyzer_select_main_mode_sumUp 1\"");
        const int two = r.err.indexOf("cmd \"analyzer_select_main_mode_sumUp 2\"");
        const int three = r.err.indexOf("cmd \"analyzer_select_main_mode_sumUp 3\"");
        QVERIFY2(one >= 0 && two > one && three > two, r.err.constData());
        QVERIFY(r.err.indexOf("echo half") > two);
    }

    // A configuration file that cannot be read leaves the defaults; start-up
    // goes on (here to "-x", which then has no script to run).
    void programWithoutConfigurationGoesOn()
    {
        QTemporaryDir dir;
        const ts::ProgramRun r = ts::runProgram(CORVENLITH_BIN, {"-c", dir.filePath("missing.cfg"), "-x"}, 20000);
        QVERIFY2(r.ended && r.status == QProcess::NormalExit, r.err.constData());
        QVERIFY2(r.err.contains("Can't open config file"), r.err.constData());
        QVERIFY(r.err.contains("show analyzer 2 false"));
        QVERIFY(r.err.contains("no batch file given"));
    }
#endif
};

QTEST_MAIN(TstStartup)
#include "tst_startup.moc"
