// Result files read back byte by byte or value by value, and writes that
// fail part way (the disk fills up): the writer says so, the user's earlier
// file is left as it was and no temporary file is left behind.
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/ImageSum.h"
#include "batch/BatchCtrl.h"
#include "core/Analyzed2DRes.h"
#include "core/FailureLog.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "core/TiffWriter.h"
#include "core/XafsSpectrum.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/PerPointSpectra.h"
#include "mainwindow/SaveDataCfg.h"
#include "mainwindow/SafeSave.h"
#include "support/BodyStack.h"
#include "support/FileSizeLimit.h"
#include "support/Files.h"
#include "support/Maps.h"
#include "support/Spectra.h"
#include "tools/Analyzer2.h"
#include "tools/Analyzer2OnBody.h"
#include "tools/DarkCheck.h"
#include "tools/EShiftMapFile.h"
#include "widgets/ColorBar.h"
#include "widgets/ImgDispA.h"
#include "widgets/SpecPane.h"

#include <QStatusBar>

using Writer = std::function<bool(const QString& path)>;
using Check = std::function<void(const QString& path)>;
// Saves into the folder given, as the user or a script would.
using Saver = std::function<bool(Body& b, const QString& dir)>;
Q_DECLARE_METATYPE(Writer)
Q_DECLARE_METATYPE(Check)
Q_DECLARE_METATYPE(Saver)

namespace {

// A 300 x 240 map of 3 x 3 blocks, each block 10 x + y of its centre.
Analyzed2DRes& blockMap()
{
    static Analyzed2DRes map("m");
    if (map.width() > 0) return map;
    AnalyzeCond g;
    g.set(300, 240, 1, 1, QRectF(0, 0, 300, 240), -1, -1);
    map.setCond(g);
    do {
        map.setData(g.curX, g.curY, 1, 1, g.curX * 10.0 + g.curY);
    } while (g.next());
    return map;
}

// The map's samples on the fixed scale 0 .. 3000, read back.
Check mapTiff(bool asAnalyzed)
{
    return [asAnalyzed](const QString& path) {
        std::unique_ptr<quint16[]> want(blockMap().tiffDataForSave(true, 0, 3000, asAnalyzed));
        const int w = asAnalyzed ? 100 : 300;
        TiffData t;
        QVERIFY(t.load(path, ErrPoints()));
        QCOMPARE(QSize(int(t.width), int(t.height)), QSize(w, asAnalyzed ? 80 : 240));
        for (int i = 0; i < w * int(t.height); ++i) QCOMPARE(t.pixelValue(i % w, i / w), double(want[i]));
    };
}

QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::NoDotAndDotDot); }

// Puts the main window's hooks back as they were when it goes.
struct HooksKept
{
    BodyHooks saved = Body::hooks();
    ~HooksKept() { Body::hooks() = saved; }
};

// Goes back to the working directory it found when it goes.
struct CwdKept
{
    QString saved = QDir::currentPath();
    ~CwdKept() { QDir::setCurrent(saved); }
};

QString savedText(const QStringList& names, const QString& dir)
{
    return "Saved " + names.join(", ") + " in " + QDir::toNativeSeparators(dir);
}

}  // namespace

class TstSavedFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initGlobals(); }

    void keepsTheOldFile_data()
    {
        QTest::addColumn<Writer>("write");
        QTest::addColumn<Check>("check");
        QTest::addColumn<QString>("name");
        QTest::newRow("map as TIFF") << Writer([](const QString& p) { return SafeSave::mapAsTiff(blockMap(), p, true, 0, 3000, false); })
                                     << mapTiff(false) << QString("result.tif");
        QTest::newRow("map as TIFF by block") << Writer([](const QString& p) { return SafeSave::mapAsTiff(blockMap(), p, true, 0, 3000, true); })
                                              << mapTiff(true) << QString("result.tif");
        // The text export is the map's own, written whole, but for its time stamp (line 3).
        QTest::newRow("map as text") << Writer([](const QString& p) { return SafeSave::mapAsText(blockMap(), p, false, true, true); })
                                     << Check([](const QString& p) {
                                            QVERIFY(blockMap().saveAsText(QFileInfo(p + ".direct"), false, true, true));
                                            QCOMPARE(ts::readLines(p).mid(0, 2), ts::readLines(p + ".direct").mid(0, 2));
                                            QCOMPARE(ts::readLines(p).mid(3), ts::readLines(p + ".direct").mid(3));
                                        })
                                     << QString("result.dat");
        static QImage noise(400, 300, QImage::Format_RGB32);  // no compression saves it
        quint32 r = 12345;
        for (int i = 0; i < 400 * 300; ++i) noise.setPixel(i % 400, i / 400, (r = r * 1664525u + 1013904223u) >> 8);
        QTest::newRow("image") << Writer([](const QString& p) { return SafeSave::image(noise, p); })
                               << Check([](const QString& p) { QCOMPARE(QImage(p).convertToFormat(QImage::Format_RGB32), noise); })
                               << QString("result.png");
    }
    void keepsTheOldFile()
    {
        QFETCH(Writer, write);
        QFETCH(Check, check);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString target = dir.filePath(name);
        QVERIFY(ts::writeText(target, "the user's earlier result\n"));
        {
            ts::FileSizeLimit limit(4096);
            QVERIFY(!write(target));
        }
        QCOMPARE(ts::readAll(target), QByteArray("the user's earlier result\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({name}));
        // With room again the same writer replaces it whole, readable by all as before.
        QVERIFY(write(target));
        check(target);
        QVERIFY(QFileInfo(target).permissions() & QFileDevice::ReadOther);
    }

    void perPointSpectra()
    {
        QTemporaryDir dir;
        // Region 0..6 x 0..3 of a 10 x 8 image, 3 x 3 blocks: centres 1 and 4 on row 1.
        AnalyzeCond grid;
        grid.set(10, 8, 1, 1, QRectF(0, 0, 6, 3), -1, -1);
        QVector<QPoint> asked;
        auto source = [&](int x, int y) {
            asked.append(QPoint(x, y));
            PerPointSpectra::Block b;
            b.shift = x == 1 ? 1.5e-7 : -2.25;
            b.points = {QPointF(7100.5, 0.123456789), QPointF(7112, x == 1 ? 1234567.0 : -0.5)};
            return b;
        };
        const QString path = dir.filePath("s.dat");
        QVERIFY(PerPointSpectra::write(path, PerPointSpectra::RawXafs, grid, source));
        QCOMPARE(asked, QVector<QPoint>({QPoint(1, 1), QPoint(4, 1)}));
        const QByteArray want =
            "# Corvenlith Save Raw Xafs Spectra 1.0\n"
            "# X-Range (x0, x1), steps : 0 6 2\n"
            "# Y-Range (y0, y1), steps : 0 3 1\n"
            "# Full Width, Height      : 10 8\n"
            "# Bin Half Width, Height  : 1 1\n"
            "# Step dX, dY             : 3 3\n"
            "# End of Header\n"
            "1 1 1.5e-07 7100.5 0.123457 7112 1.23457e+06\n"
            "4 1 -2.25 7100.5 0.123457 7112 -0.5\n";
        QCOMPARE(ts::readAll(path), want);

        // Normalised files differ only in the title.
        QVERIFY(PerPointSpectra::write(path, PerPointSpectra::NormalizedXafs, grid, source));
        QCOMPARE(ts::readAll(path), QByteArray(want).replace("Raw Xafs", "Normalized Xafs"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"s.dat"}));
    }

    void saversReportAndWriteWholeFiles()
    {
        QTemporaryDir dir;
        const QString oldCwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        Body b;
        // Nothing loaded, no map selected, an empty map: nothing written.
        Analyzed2DRes empty("m");
        QVERIFY(!SafeSave::mapAsTiff(empty, dir.filePath("none.tif"), false, 0, 1, false));
        QVERIFY(!SafeSave::mapAsText(empty, dir.filePath("none.dat"), false, false, false));
        QVERIFY(!b.saveFlatDark());
        QVERIFY(!b.saveEachSpectrum(dir.filePath("none")));
        QVERIFY(!b.saveData(dir.filePath("m.dat")));
        QVERIFY(filesIn(dir.path()).isEmpty());
        ts::StackSpec spec;
        spec.i1 = [](int k, int c, int r) { return 1000.0 + 10 * c + r + k; };
        ts::loadStack(b, spec);
        QVERIFY(b.saveFlatDark());
        TiffData flat, dark;
        QVERIFY(flat.load(dir.filePath("flat.dat"), ErrPoints()));
        QVERIFY(dark.load(dir.filePath("dark.dat"), ErrPoints()));
        QCOMPARE(QSize(int(flat.width), int(flat.height)), QSize(spec.w, spec.h));
        QCOMPARE(flat.sumBox(0, 0, spec.w, spec.h), double(spec.w * spec.h));
        QCOMPARE(dark.sumBox(0, 0, spec.w, spec.h), 0.0);
        QVERIFY(QDir::setCurrent(oldCwd));

        // The viewed image and the colour bar beside it.
        QVERIFY(b.saveImageWNum(dir.filePath("view.png"), "7"));
        QVERIFY(QFile::exists(dir.filePath("view-7-cBar.png")));
        const QImage viewed = b.dispA->viewedImage();
        QCOMPARE(QImage(dir.filePath("view-7.png")).convertToFormat(viewed.format()), viewed);
        const QStringList before = filesIn(dir.path());
        QVERIFY(!b.saveImage(dir.filePath("flat.dat/x.png")));  // folder is a file
        QVERIFY(!b.saveImage(dir.filePath("nosuffix")));
        QVERIFY(!b.saveEachSpectrum(dir.filePath("flat.dat/each")));
        QVERIFY(!SafeSave::mapAsText(blockMap(), dir.filePath("flat.dat/m.dat"), false, true, true));
        QCOMPARE(filesIn(dir.path()), before);

        // Per-point spectra of the selected area: a line per block, the
        // first the first block's box spectrum (or its raw intensities).
        b.HWidth->setText("2");
        b.VWidth->setText("1");
        b.dispA->setSelectedArea(1, 1, 10, 7);
        AnalyzeCond g;
        QVERIFY(b.fillAnalyzeCond(g));
        g.reset();
        for (bool raw : {false, true}) {
            (raw ? b.SaveAsRaw : b.SaveAsRawXAFS)->setChecked(true);
            QVERIFY(b.saveEachSpectrum(dir.filePath(raw ? "raw.txt" : "each")));
            const QList<QByteArray> lines = ts::readAll(dir.filePath(raw ? "raw.txt" : "each.dat")).split('\n');
            QCOMPARE(lines.size(), 7 + int(g.blockCount()) + 1);
            const QList<QByteArray> f = lines[7].split(' ');
            QCOMPARE(QPoint(f[0].toInt(), f[1].toInt()), QPoint(g.curX, g.curY));
            const Spectrum s = raw ? b.makeRawSpectrum(g.curX, g.curY, 2, 1) : b.makeXafsSpectrum(g.curX, g.curY, 2, 1);
            const int o = raw ? 2 : 3;  // raw lines carry no energy shift
            QCOMPARE(f.size(), o + 2 * s.size());
            for (int i = 0; i < s.size(); ++i) {
                QCOMPARE(f[o + 2 * i].toDouble(), s.xAt(i));
                QVERIFY(std::abs(f[o + 1 + 2 * i].toDouble() - s.yAt(i)) <= 1e-5 * std::abs(s.yAt(i)));
            }
        }

        // The plain writers report a failure part way (their partial file may stay).
        std::vector<uint16_t> samples(300 * 200, 7);
        XafsSpectrum s;
        for (int i = 0; i < 2000; ++i) s.append(7000 + i, 0.001 * i);
        ts::FileSizeLimit limit(4096);
        QVERIFY(!TiffWriter().write16(dir.filePath("a.tif"), 300, 200, samples.data()));
        QVERIFY(!s.save(dir.filePath("s.dat"), false));
    }

    // Every writer family, with a disk that fills up at the last byte of a
    // file, half-way, or at once: the save says it failed, each file is the
    // user's earlier one or the whole new one (never a part), no temporary
    // file stays, the failure is counted, and where the main window saved,
    // its status bar names the file and the reason. With room the status bar
    // names the files actually written.
    void failingDiskKeepsEarlierFiles_data()
    {
        QTest::addColumn<Saver>("save");
        QTest::addColumn<QStringList>("outputs");
        QTest::addColumn<bool>("statusBar");  // a main window's save: it says, and counts
        QTest::newRow("map as TIFF and its bar") << Saver([](Body& b, const QString& d) {
            b.saveDataCfg->setSaveAsTiff();
            return b.saveData(d + "/m.tif");
        }) << QStringList{"m-0.tif", "m-0--cBar.tif"} << true;
        QTest::newRow("map as text") << Saver([](Body& b, const QString& d) {
            b.saveDataCfg->setSaveAsText();
            return b.saveData(d + "/m.xyz");
        }) << QStringList{"m-0.dat"} << true;
        QTest::newRow("view and its bar") << Saver([](Body& b, const QString& d) { return b.saveImage(d + "/v.png"); })
                                          << QStringList{"v.png", "v-cBar.png"} << true;
        QTest::newRow("reference images") << Saver([](Body& b, const QString& d) { return b.saveAllImages(d + "/all.png"); })
                                          << QStringList{"all-0-0.png", "all-0-1.png"} << true;
        QTest::newRow("flat and dark") << Saver([](Body& b, const QString&) { return b.saveFlatDark(); })
                                       << QStringList{"flat.dat", "dark.dat"} << true;
        QTest::newRow("per-point spectra") << Saver([](Body& b, const QString& d) {
            b.SaveAsRawXAFS->setChecked(true);
            return b.saveEachSpectrum(d + "/each");
        }) << QStringList{"each.dat"} << true;
        QTest::newRow("spectra") << Saver([](Body& b, const QString& d) {
            b.specWindow->current = XafsSpectrum(synth::edgeSpectrum(7000, 7300, 0.5), "s", 1, 0, SuggestElm());
            b.specWindow->reference = XafsSpectrum(synth::edgeSpectrum(7000, 7300, 1, 7115), "r", 1, 0, SuggestElm());
            return b.specWindow->saveData(d + "/s.dat");
        }) << QStringList{"s-T.dat", "s-std.dat"} << true;
        QTest::newRow("energy-shift map") << Saver([](Body&, const QString& d) {
            Analyzed2DRes map("shift");
            ts::fillMap(map, 40, 30, [](int x, int y) { return 0.01 * x - 0.02 * y; });
            AnalyzeCond g;
            g.set(40, 30, 1, 1, QRectF(0, 0, 40, 30), -1, -1);
            return EShiftMapFile::write(d + "/e", map, EShiftMapFile::headerOf(g, 0, 0, 8979, 3.13553), "std.dat",
                                        40, 30, QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)));
        }) << QStringList{"e.emp"} << false;
        QTest::newRow("dark check") << Saver([](Body& b, const QString& d) {
            return DarkCheck::run(b.i1Images, ErrPoints(), -1, 60000, 100, d);
        }) << QStringList{"dark-hg-all.dat", "dark-allDarkPoints.dat", "dark-allDarkPointNums.dat",
                          "dark-allDarkPoints-onlyInPs1.dat", "dark-allDarkPoints-onlyInErrPs.dat"}
                                    << false;  // its panel reports and counts (toolsNameTheirFiles)
        QTest::newRow("sum-up image") << Saver([](Body&, const QString& d) { return ImageSum::saveImage(blockMap(), d + "/sum.png"); })
                                      << QStringList{"sum.png"} << false;
        QTest::newRow("batch script") << Saver([](Body&, const QString& d) {
            BatchCtrl editor;
            QString script;
            for (int i = 0; i < 300; ++i) script += QString("move_position %1 2\n").arg(i);
            editor.ui.BatchCmds->setPlainText(script);
            const int failures = FailureLog::count();
            editor.save(d + "/run.bat");
            return FailureLog::count() == failures;
        }) << QStringList{"run.bat"} << false;
    }
    void failingDiskKeepsEarlierFiles()
    {
        QFETCH(Saver, save);
        QFETCH(QStringList, outputs);
        QFETCH(bool, statusBar);
        QTemporaryDir dir;
        const QString d = dir.path();
        CwdKept cwd;
        QVERIFY(QDir::setCurrent(d));  // flat.dat and dark.dat go there
        HooksKept kept;
        Body b;
        ts::StackSpec spec;
        spec.w = 60;
        spec.h = 40;
        spec.i1 = [](int k, int c, int r) { return 1000.0 + 10 * c + r + k; };
        ts::loadStack(b, spec);
        blockMap().genImg();
        Body::hooks().selectedMap = [](const Body&) { return &blockMap(); };
        Body::hooks().referenceMaps = [](const Body&) { return QVector<Analyzed2DRes*>{&blockMap(), &blockMap()}; };

        QVERIFY(save(b, d));
        const QSet<QString> names(outputs.begin(), outputs.end());
        auto inFolder = [&d] {
            const QStringList all = QDir(d).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
            return QSet<QString>(all.begin(), all.end());
        };
        QCOMPARE(inFolder(), names);
        if (statusBar) QCOMPARE(b.statusBar()->currentMessage(), savedText(outputs, d));
        QMap<QString, QByteArray> fresh;
        for (const QString& o : outputs) fresh[o] = ts::readAll(dir.filePath(o));
        auto earlier = [](const QString& o) { return QByteArray("the user's earlier ") + o.toUtf8() + "\n"; };

        QSet<qint64> limits;
        for (const QString& o : outputs)
            for (qint64 l : {qint64(fresh[o].size()) - 1, qint64(fresh[o].size()) / 2, qint64(1)})
                if (l > 0) limits.insert(l);
        for (const qint64 limit : limits) {
            for (const QString& o : outputs) QVERIFY(ts::writeFile(dir.filePath(o), earlier(o)));
            const int failures = FailureLog::count();
            bool ok = true;
            {
                ts::FileSizeLimit full{rlim_t(limit)};
                ok = save(b, d);
            }
            const QString at = QString("limit %1").arg(limit);
            QVERIFY2(!ok, qPrintable(at));
            QString firstKept;
            for (const QString& o : outputs) {
                const QByteArray now = ts::readAll(dir.filePath(o));
                if (now == earlier(o)) {
                    if (firstKept.isEmpty()) firstKept = o;
                } else {
                    QVERIFY2(now == fresh[o], qPrintable(at + ": " + o + " is neither the earlier nor the new file"));
                }
            }
            QVERIFY2(!firstKept.isEmpty(), qPrintable(at));
            QCOMPARE(inFolder(), names);  // no temporary file left
            if (!outputs.first().startsWith("dark-"))  // the dark check's panel counts it
                QVERIFY2(FailureLog::count() > failures, qPrintable(at));
            if (statusBar) {
                const QString shown = b.statusBar()->currentMessage();
                QVERIFY2(shown.contains(QDir::toNativeSeparators(dir.filePath(firstKept)) + " could not be saved: "),
                         qPrintable(at + ": " + shown));
                QVERIFY2(shown.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(at + ": " + shown));
            }
        }
    }

    // The colour bar beside a TIFF map is the bar of that map, also when
    // the map was chosen just before the save, with no event-loop turn for
    // the view to repaint (the bar widget still shows the earlier map's
    // range then). So is the bar beside the saved view.
    void colourBarOfTheMapSaved()
    {
        QTemporaryDir dir;
        HooksKept kept;
        Body b;
        Analyzed2DRes low("low"), high("high");
        ts::fillMap(low, 30, 20, [](int x, int y) { return 0.01 * (x + y); });
        ts::fillMap(high, 30, 20, [](int x, int y) { return 2500.0 + 40 * x - y; });
        low.genImg();
        high.genImg();
        Analyzed2DRes* selected = &low;
        Body::hooks().selectedMap = [&selected](const Body&) { return selected; };
        auto barOf = [&b](Analyzed2DRes& m) {
            m.setCBarRange();  // what the view's repaint does for the map it shows
            return b.CBar->barPixmap.toImage();
        };
        const QImage lowBar = barOf(low), highBar = barOf(high);
        QVERIFY(lowBar != highBar);

        // The view shows the low map, repainted; then the high one is chosen.
        b.dispA->overlayMap = &low;
        b.dispA->setShowOverLayer(true);
        low.setCBarRange();
        b.saveDataCfg->setSaveAsTiff();
        selected = &high;
        QVERIFY(b.saveData(dir.filePath("m.tif")));
        QCOMPARE(QImage(dir.filePath("m-0--cBar.tif")).convertToFormat(highBar.format()), highBar);
        // And the other way round, the bar widget now at the high range.
        high.setCBarRange();
        selected = &low;
        QVERIFY(b.saveData(dir.filePath("n.tif")));
        QCOMPARE(QImage(dir.filePath("n-0--cBar.tif")).convertToFormat(lowBar.format()), lowBar);

        // The view switched to the high map and saved before it repaints.
        low.setCBarRange();
        b.dispA->overlayMap = &high;
        QVERIFY(b.saveImage(dir.filePath("v.png")));
        QCOMPARE(QImage(dir.filePath("v-cBar.png")).convertToFormat(highBar.format()), highBar);
        b.dispA->overlayMap = nullptr;
    }

    // A save into a folder that is not there is refused, named, counted.
    void missingFolderIsSaid()
    {
        QTemporaryDir dir;
        HooksKept kept;
        Body b;
        blockMap().genImg();
        Body::hooks().selectedMap = [](const Body&) { return &blockMap(); };
        b.saveDataCfg->setSaveAsText();
        const int failures = FailureLog::count();
        QVERIFY(!b.saveData(dir.filePath("none/m.dat")));
        QCOMPARE(b.statusBar()->currentMessage(),
                 "Not saved: the folder " + QDir::toNativeSeparators(dir.filePath("none")) + " does not exist");
        QCOMPARE(FailureLog::count(), failures + 1);
        // With no map chosen nothing is written, and the run is told so.
        Body::hooks().selectedMap = [](const Body&) { return static_cast<Analyzed2DRes*>(nullptr); };
        QVERIFY(!b.saveData(dir.filePath("m.dat")));
        QVERIFY(b.statusBar()->currentMessage().startsWith("No map selected"));
        QCOMPARE(FailureLog::count(), failures + 2);
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    // Runs last: it installs the panels into every later main window. The
    // dark check and the sum-up name what they wrote and where.
    void toolsNameTheirFiles()
    {
        installAnalysisOnBody();
        installAnalyzer2OnBody();
        QTemporaryDir dir;
        CwdKept cwd;
        QVERIFY(QDir::setCurrent(dir.path()));
        const QString d = QDir::currentPath();
        Body b;
        ts::StackSpec spec;
        spec.i1 = [](int k, int c, int r) { return 1000.0 + 10 * c + r + k; };
        ts::loadStack(b, spec);
        Analyzer2& panel = Analyzer2OnBody::of(b)->analyzer2;
        panel.DarkTh->setText("-1");
        emit panel.askedDarkCheck();
        QCOMPARE(b.statusBar()->currentMessage(),
                 "Dark check: saved dark-hg-all.dat, dark-allDarkPoints.dat, dark-allDarkPointNums.dat, "
                 "dark-allDarkPoints-onlyInPs1.dat, dark-allDarkPoints-onlyInErrPs.dat in "
                     + QDir::toNativeSeparators(d));
        panel.HistgBins->setText("-1");
        const int failures = FailureLog::count();
        emit panel.askedDarkCheck();
        QVERIFY(b.statusBar()->currentMessage().startsWith("Dark check: nothing written: "));
        QCOMPARE(FailureLog::count(), failures + 1);

        Analyzer* analyzer = AnalysisOnBody::of(b)->analyzer();
        emit analyzer->askSumUp();
        QCOMPARE(b.statusBar()->currentMessage(), "Sum up: saved sumUpImg.png in " + QDir::toNativeSeparators(d));
        QVERIFY(QFile::remove("sumUpImg.png") && QDir().mkdir("sumUpImg.png"));
        emit analyzer->askSumUp();
        QVERIFY(b.statusBar()->currentMessage().startsWith(
            "Sum up: " + QDir::toNativeSeparators(d + "/sumUpImg.png") + " could not be saved: "));
    }
};

QTEST_MAIN(TstSavedFiles)
#include "tst_savedfiles.moc"
