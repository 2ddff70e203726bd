// Start-up: options resolved over the configuration table, the Japanese
// translation, windows that fit a 1366 x 768 screen in both languages, and
// the program itself started on a configuration file.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QRadioButton>
#include <QScopeGuard>
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
#include "tools/Analyzer2OnBody.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibOnBody.h"
#include "tools/ToolsOnBody.h"
#include "core/Cfg.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "mainwindow/EOFSetup.h"
#include "mainwindow/SaveDataCfg.h"
#include "support/Files.h"
#include "support/Headless.h"
#include "widgets/SpecPane.h"

namespace {

// What a window may take of a 1366 x 768 screen: the title bar is not counted.
const QSize screen(1366, 740);

// Widths a field must show whole: a six-digit number, the end of a file name.
int numberWidth(const QWidget* w) { return w->fontMetrics().horizontalAdvance("-888888") + 6; }
int fileNameWidth(const QWidget* w) { return w->fontMetrics().horizontalAdvance("Cu_foil_ref.dat") + 6; }

// Said of a window larger than the screen, of every widget the layout gave
// less than its minimum size hint (a row squeezed shut, a text cut in half),
// of every button whose text does not fit (the style's padding of push
// buttons beyond their text is not counted) and of every scroll area that
// needs a horizontal scroll or whose content would not fit the screen.
QString misfits(QWidget* w, const QSize& size)
{
    QStringList bad;
    if (size.width() > screen.width() || size.height() > screen.height())
        bad << QString("%1 is %2 x %3").arg(w->objectName()).arg(size.width()).arg(size.height());
    for (QWidget* c : w->findChildren<QWidget*>()) {
        if (!c->isVisibleTo(w) || c->isWindow()) continue;
        // What a view holds, and the scroll bars, are the view's own affair.
        if (qobject_cast<QScrollBar*>(c)) continue;
        bool inView = false;
        for (QWidget* p = c->parentWidget(); p && p != w; p = p->parentWidget())
            inView = inView || qobject_cast<QAbstractItemView*>(p);
        if (inView) continue;
        // A push button's hint holds the style's least width; its text is
        // checked below.
        const bool push = qobject_cast<QAbstractButton*>(c) && !qobject_cast<QCheckBox*>(c) && !qobject_cast<QRadioButton*>(c);
        const QSize hint = c->minimumSizeHint();
        if (hint.isValid() && ((!push && c->width() < hint.width()) || c->height() < hint.height()))
            bad << QString("%1 %2 x %3 < %4 x %5").arg(c->objectName()).arg(c->width()).arg(c->height())
                       .arg(hint.width()).arg(hint.height());
    }
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        if (!b->isVisibleTo(w) || b->text().isEmpty()) continue;
        const bool box = qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b);
        const int need = box ? b->minimumSizeHint().width() : b->fontMetrics().horizontalAdvance(b->text()) + 6;
        if (b->width() < need) bad << QString("%1 \"%2\" %3 < %4").arg(b->objectName(), b->text()).arg(b->width()).arg(need);
    }
    for (QScrollArea* a : w->findChildren<QScrollArea*>()) {
        if (!a->isVisibleTo(w) || !a->widget()) continue;
        const QSize content = a->widget()->minimumSizeHint();
        if (a->horizontalScrollBar()->maximum() > 0 || content.width() > screen.width() || content.height() > screen.height())
            bad << QString("%1 holds %2 x %3 in %4 x %5").arg(a->objectName()).arg(content.width()).arg(content.height())
                       .arg(a->viewport()->width()).arg(a->viewport()->height());
    }
    return bad.join("; ");
}

// Opens a window as a window manager would on that screen (no larger than
// it, no smaller than the window allows), then looks at every page of its
// tab widgets and tool boxes.
QString windowMisfits(QWidget* w)
{
    w->show();
    if (!QTest::qWaitForWindowExposed(w)) return w->objectName() + " not shown";
    const QSize opened = w->size().boundedTo(screen).expandedTo(w->minimumSizeHint());
    w->resize(opened);
    QTest::qWait(20);
    QStringList bad;
    const auto look = [&] {
        const QString m = misfits(w, opened);
        if (!m.isEmpty() && !bad.contains(m)) bad << m;
    };
    look();
    for (QTabWidget* t : w->findChildren<QTabWidget*>())
        for (int i = 0; i < t->count(); ++i) {
            t->setCurrentIndex(i);
            QTest::qWait(10);
            look();
        }
    for (QToolBox* t : w->findChildren<QToolBox*>())
        for (int i = 0; i < t->count(); ++i) {
            t->setCurrentIndex(i);
            QTest::qWait(10);
            look();
        }
    w->hide();
    return bad.join("; ");
}

// The fields of a window where numbers are typed show a typical value whole.
QString narrowFields(QWidget* panel)
{
    QStringList bad;
    for (QLineEdit* e : panel->findChildren<QLineEdit*>()) {
        if (!e->isVisibleTo(panel)) continue;
        const bool file = e->objectName() == "Selected";
        const int need = file ? fileNameWidth(e) : numberWidth(e);
        if (e->width() < need) bad << QString("%1 %2 < %3").arg(e->objectName()).arg(e->width()).arg(need);
    }
    return bad.join("; ");
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
        // Without a Japanese font every glyph is a box of the Latin font's
        // size, and nothing of the Japanese layout is measured.
        QVERIFY2(!QFontDatabase().families(QFontDatabase::Japanese).isEmpty(),
                 "no Japanese font: scripts/deps.sh installs fonts-noto-cjk");
        QTranslator t;
        if (japanese) {
            QVERIFY(t.load(":Corvenlith_ja_JP"));
            QCoreApplication::installTranslator(&t);
        }
        // With every button the display bar can have.
        const bool a2b = showAnalyzer2Button;
        showAnalyzer2Button = true;
        const auto restore = qScopeGuard([&] {
            showAnalyzer2Button = a2b;
            if (japanese) QCoreApplication::removeTranslator(&t);
        });
        {
            // As it opens, and as small as it can be made.
            Body b;
            b.show();
            QVERIFY(QTest::qWaitForWindowExposed(&b));
            QStringList bad;
            const auto note = [&bad](const QString& where, const QString& m) {
                if (!m.isEmpty()) bad << where + ": " + m;
            };
            note("as it opens", misfits(&b, b.size()));
            b.resize(b.minimumSizeHint());
            QTest::qWait(20);
            note("smallest", misfits(&b, b.minimumSizeHint()));
            for (int i = 0; i < b.ToolBox->count(); ++i) {
                b.ToolBox->setCurrentIndex(i);
                QTest::qWait(20);
                note("smallest, page " + QString::number(i), misfits(&b, b.minimumSizeHint()));
            }
            // Before any image the colour bar shows a smooth scale at its
            // real height, not the few bands of the size it was built at.
            const QImage bar = b.CBar->barPixmap.toImage();
            QSet<QRgb> shades;
            for (int y = 0; y < bar.height(); ++y) shades.insert(bar.pixel(0, y));
            QVERIFY2(shades.size() > 200, qPrintable(QString("%1 shades").arg(shades.size())));

            // Every window of the program, each page of it.
            Analyzer* a = AnalysisOnBody::of(b)->analyzer();
            // Element rows are made for the names the user enters.
            a->setTargetElements("Fe Cu Zn");
            const QList<QWidget*> windows{
                a, a->specPane, b.specWindow, CalibOnBody::of(b)->calibCtrl, &ToolsOnBody::of(b)->imgProc,
                &ToolsOnBody::of(b)->stats, &Analyzer2OnBody::of(b)->analyzer2, BatchOnBody::of(b)->batchCtrl(),
                b.saveDataCfg, &b.SelectI1Files->additionalSetup(), b.SelectI1Files->eofSetup()};
            for (QWidget* w : windows) {
                QVERIFY(w);
                note(w->objectName(), windowMisfits(w));
            }
            for (QWidget* w : {static_cast<QWidget*>(a), static_cast<QWidget*>(CalibOnBody::of(b)->calibCtrl),
                               static_cast<QWidget*>(b.saveDataCfg)}) {
                w->show();
                QVERIFY(QTest::qWaitForWindowExposed(w));
                w->resize(w->size().boundedTo(screen));
                QTest::qWait(20);
                note(w->objectName() + " fields", narrowFields(w));
            }
            // The message of a failed check is cut short: every misfit is told.
            for (const QString& m : bad) qWarning().noquote() << m;
            QVERIFY2(bad.isEmpty(), qPrintable(bad.join("\n")));
        }
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
