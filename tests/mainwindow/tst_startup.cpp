// Start-up: options resolved over the configuration table, the Japanese
// translation, windows that fit a 1366 x 768 screen in both languages, and
// the program itself started on a configuration file.
#include <QAbstractButton>
#include <QCheckBox>
#include <QFontDatabase>
#include <QRadioButton>
#include <QScrollArea>
#include <QSet>
#include <QTemporaryDir>
#include <QToolBox>
#include <QTranslator>
#include <QtTest>

#include "StartupOptions.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "batch/BatchCtrl.h"
#include "batch/BatchOnBody.h"
#include "core/Cfg.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "mainwindow/EOFSetup.h"
#include "mainwindow/SaveDataCfg.h"
#include "support/Files.h"
#include "support/Headless.h"
#include "tools/Analyzer2OnBody.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibOnBody.h"
#include "tools/ToolsOnBody.h"
#include "widgets/SpecPane.h"

namespace {

// What a window may take of a 1366 x 768 screen: the title bar is not counted.
const QSize screen(1366, 740);

// Said of a window larger than the screen, and of every button whose text
// does not fit in the room the layout gave it (the style's padding of push
// buttons beyond their text is not counted); of a widget below its minimum size hint,
// a scroll area that scrolls sideways, and a field too narrow for a typical value.
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
            for (QWidget* w : QWidgetList{a, a->specPane, b.specWindow, CalibOnBody::of(b)->calibCtrl, b.saveDataCfg,
                                          &ToolsOnBody::of(b)->imgProc, &ToolsOnBody::of(b)->stats,
                                          &Analyzer2OnBody::of(b)->analyzer2, BatchOnBody::of(b)->batchCtrl(),
                                          &b.SelectI1Files->additionalSetup(), b.SelectI1Files->eofSetup()})
                bad << windowMisfits(w, false);
            for (const QString& m : bad) qWarning().noquote() << m;  // a failed check's message is cut short
            QVERIFY(bad.isEmpty());
        }
        if (japanese) QCoreApplication::removeTranslator(&t);
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
