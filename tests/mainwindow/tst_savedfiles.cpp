// Result files read back byte by byte or value by value, and writes that
// fail part way (the disk fills up) or are refused at the flush or the close:
// the writer says so, the user's earlier file is left as it was and no
// temporary file is left behind.
#include <QBuffer>
#include <QDir>
#include <QStatusBar>
#include <QImage>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "batch/BatchCtrl.h"
#include "core/Analyzed2DRes.h"
#include "core/FailureLog.h"
#include "core/SafeWrite.h"
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
#include "tools/Analyzer2OnBody.h"
#include "tools/EShiftMapFile.h"
#include "widgets/SpecPane.h"

using Writer = std::function<bool(const QString& path)>;
using Saver = std::function<bool(Body& b)>;  // saves into the working folder
using Check = std::function<void(const QString& path)>;
Q_DECLARE_METATYPE(Writer)
Q_DECLARE_METATYPE(Saver)
Q_DECLARE_METATYPE(Check)

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

void row(const char* name, const Saver& save, const QStringList& outputs, bool statusBar = true, bool panels = false)
{
    QTest::newRow(name) << save << outputs << statusBar << panels;
}

// The main window's hooks and the working folder, put back when it goes.
struct Kept
{
    BodyHooks hooks = Body::hooks();
    QString cwd = QDir::currentPath();
    ~Kept() { Body::hooks() = hooks; QDir::setCurrent(cwd); }
};

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

    // A dot is a suffix only where it names a format the saver writes: "ratio0.3" and "ratio0.5" both became
    // "ratio0-0.dat", the second replacing the first. Names with a known suffix keep today's names.
    void dottedNames_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("want");
        QTest::newRow("map, dotted number") << "map" << "ratio0.3" << "ratio0.3-0.dat";
        QTest::newRow("map, date after a dot") << "map" << "run.2024_06" << "run.2024_06-0.dat";
        QTest::newRow("map, no suffix") << "map" << "m" << "m-0.dat";
        QTest::newRow("map, .xyz") << "map" << "m.xyz" << "m-0.dat";
        QTest::newRow("map, .TIF") << "map" << "m.TIF" << "m-0.dat";
        QTest::newRow("map, dotted and .dat") << "map" << "ratio0.3.dat" << "ratio0.3-0.dat";
        QTest::newRow("image, .png") << "image" << "v0.3.png" << "v0.3-cBar.png";
        QTest::newRow("image, dotted number") << "image" << "v0.3" << "v0.3-cBar";
        QTest::newRow("image, .JPG") << "image" << "v.JPG" << "v-cBar.JPG";
    }
    void dottedNames()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, want);
        const QString dir = QDir::tempPath() + "/x.y";
        QCOMPARE(kind == "map" ? SafeSave::numberedName(dir + "/" + name, 0, "dat")
                               : fileNameWithTag(dir + "/" + name, "cBar", SafeWrite::imageSuffixes()),
                 dir + "/" + want);
    }

    // Two maps under dotted names both stay, each whole; a save of every
    // reference map with none to save and a spectrum save with no spectrum
    // are failures and write nothing.
    void dottedNamesKeepBothMaps()
    {
        QTemporaryDir dir;
        Kept kept;
        Body b;
        Body::hooks().selectedMap = [](const Body&) { return &blockMap(); };
        // As TIFF: the map and its bar, named after the whole dotted name.
        for (const char* n : {"ratio0.3", "ratio0.5"}) QVERIFY(b.saveData(dir.filePath(n)));
        QCOMPARE(filesIn(dir.path()),
                 QStringList({"ratio0.3-0--cBar.tif", "ratio0.3-0.tif", "ratio0.5-0--cBar.tif", "ratio0.5-0.tif"}));
        for (const QString& f : filesIn(dir.path())) QVERIFY(QFile::remove(dir.filePath(f)));
        b.saveDataCfg->SaveAsTextData->setChecked(true);
        QBuffer buf;
        buf.open(QIODevice::WriteOnly);
        QVERIFY(blockMap().writeText(buf, b.saveDataCfg->DataCommaSeparated->isChecked(), b.saveDataCfg->DataXYVal->isChecked()));
        // The values after the header, which holds the time of writing.
        auto values = [](const QByteArray& file) { return file.mid(file.indexOf("## End of Header ##")); };
        const QByteArray want = values(buf.data());
        QVERIFY(want.count('\n') > 8000);
        for (const char* n : {"ratio0.3", "ratio0.5"}) QVERIFY(b.saveData(dir.filePath(n)));
        QCOMPARE(filesIn(dir.path()), QStringList({"ratio0.3-0.dat", "ratio0.5-0.dat"}));
        for (const char* n : {"ratio0.3-0.dat", "ratio0.5-0.dat"}) QCOMPARE(values(ts::readAll(dir.filePath(n))), want);

        const int failures = FailureLog::count();
        Body::hooks().referenceMaps = [](const Body&) { return QVector<Analyzed2DRes*>(8, nullptr); };
        QVERIFY(!b.saveAllImages(dir.filePath("all.png")));
        QCOMPARE(FailureLog::count() - failures, 1);
        QVERIFY(b.statusBar()->currentMessage().startsWith("No reference map has an image"));
        SpecPane pane;
        QVERIFY(!pane.saveData(dir.filePath("s0.3")));
        QCOMPARE(FailureLog::count() - failures, 2);
        QCOMPARE(filesIn(dir.path()).size(), 2);
        // A standard shown without a cursor spectrum is saved alone, with no header-only file beside it.
        for (int i = 0; i < 50; ++i) pane.reference.append(8950 + i, i < 25 ? 0.1 : 1.1);
        QVERIFY(pane.saveData(dir.filePath("s0.3")));
        QCOMPARE(FailureLog::count() - failures, 2);
        QCOMPARE(filesIn(dir.path()), QStringList({"ratio0.3-0.dat", "ratio0.5-0.dat", "s0.3-std.dat"}));
    }

    // A disk that fills up at the last byte of a file, half-way or at once,
    // or that takes every write of a file and refuses it at the flush or the
    // close, for each writer family: the save fails and is counted, each file is the
    // earlier one or the whole new one, the failing one the earlier, no
    // temporary file stays, the status bar names the failing file and why.
    void failingDiskKeepsEarlierFiles_data()
    {
        QTest::addColumn<Saver>("save");
        QTest::addColumn<QStringList>("outputs");  // in the order written
        QTest::addColumn<bool>("statusBar");       // the main window's names the files written
        QTest::addColumn<bool>("panels");          // built only where needed: they are slow
        row("map as TIFF and its bar", [](Body& b) { b.saveDataCfg->setSaveAsTiff(); return b.saveData("m.tif"); },
            {"m-0.tif", "m-0--cBar.tif"});
        row("map as text", [](Body& b) { b.saveDataCfg->setSaveAsText(); return b.saveData("m.xyz"); }, {"m-0.dat"});
        row("view and its bar", [](Body& b) { return b.saveImage("v.png"); }, {"v.png", "v-cBar.png"});
        row("reference images", [](Body& b) { return b.saveAllImages("all.png"); }, {"all-0-0.png", "all-0-1.png"});
        row("flat and dark", [](Body& b) { return b.saveFlatDark(); }, {"flat.dat", "dark.dat"});
        row("per-point spectra", [](Body& b) { b.SaveAsRawXAFS->setChecked(true); return b.saveEachSpectrum("each"); },
            {"each.dat"});
        row("spectra", [](Body& b) {
            b.specWindow->current = b.specWindow->reference =
                XafsSpectrum(synth::edgeSpectrum(7000, 7300, 0.5), "s", 1, 0, SuggestElm());
            return b.specWindow->saveData("s.dat");
        }, {"s-T.dat", "s-std.dat"});
        row("dark check", [](Body& b) {
            Analyzer2OnBody::of(b)->analyzer2.DarkTh->setText("-1");
            emit Analyzer2OnBody::of(b)->analyzer2.askedDarkCheck();
            return b.statusBar()->currentMessage().startsWith("Dark check: saved");
        }, {"dark-hg-all.dat", "dark-allDarkPoints.dat", "dark-allDarkPointNums.dat", "dark-allDarkPoints-onlyInPs1.dat",
            "dark-allDarkPoints-onlyInErrPs.dat"}, true, true);
        row("sum-up image", [](Body& b) {
            emit AnalysisOnBody::of(b)->analyzer()->askSumUp();
            return b.statusBar()->currentMessage().startsWith("Sum up: saved");
        }, {"sumUpImg.png"}, true, true);
        row("energy-shift map", [](Body&) {
            return EShiftMapFile::write("e", blockMap(), EShiftMapFile::headerOf(blockMap().grid, 0, 0, 8979, 3.13553),
                                        "std.dat", 300, 240, QDateTime());
        }, {"e.emp"}, false);
        row("batch script", [](Body&) {
            BatchCtrl editor;
            editor.ui.BatchCmds->setPlainText(QString("move_position 1 2\n").repeated(300));
            editor.save("run.bat");
            return editor.statusBar()->currentMessage().isEmpty();
        }, {"run.bat"}, false);
    }
    void failingDiskKeepsEarlierFiles()
    {
        QFETCH(Saver, save);
        QFETCH(QStringList, outputs);
        QFETCH(bool, statusBar);
        QFETCH(bool, panels);
        QTemporaryDir dir;
        Kept kept;
        QVERIFY(QDir::setCurrent(dir.path()));
        if (panels) {
            installAnalysisOnBody();
            installAnalyzer2OnBody();
        }
        Body b;
        ts::loadStack(b, ts::StackSpec());
        blockMap().genImg();
        Body::hooks().selectedMap = [](const Body&) { return &blockMap(); };
        Body::hooks().referenceMaps = [](const Body&) { return QVector<Analyzed2DRes*>{&blockMap(), &blockMap()}; };
        // The view shows the map saved, the bar widget still another range (no repaint since):
        // the bar saved must be the map's own.
        blockMap().setCBarRange();
        const QImage bar = b.CBar->barPixmap.toImage();
        b.dispA->overlayMap = &blockMap();
        b.dispA->setShowOverLayer(true);
        b.CBar->valueMax = 1;
        b.CBar->paintCBar();
        const auto inFolder = [] { return QDir().entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).size(); };

        QVERIFY(save(b));
        QCOMPARE(inFolder(), outputs.size());
        const QString native = QDir::toNativeSeparators(QDir::currentPath());
        if (statusBar) QVERIFY(b.statusBar()->currentMessage().endsWith(" " + outputs.join(", ") + " in " + native));
        QMap<QString, QByteArray> fresh;
        QSet<qint64> limits;
        for (const QString& o : outputs) {
            fresh[o] = ts::readAll(o);
            limits << std::max(fresh[o].size() - 1, 1) << std::max(fresh[o].size() / 2, 1) << 1;
            if (o.contains("cBar")) QCOMPARE(QImage(o).convertToFormat(bar.format()), bar);
        }
        // Under each fault the save fails and is counted, each file is the earlier
        // one or the whole new one, the failing one the earlier.
        const auto failsKeeping = [&](const QString& failing, int err, const std::function<std::shared_ptr<void>()>& fault) {
            for (const QString& o : outputs) QVERIFY(ts::writeFile(o, "earlier " + o.toUtf8()));
            const int failures = FailureLog::count();
            std::shared_ptr<void> f = fault();
            const bool ok = save(b);
            f.reset();
            QVERIFY(!ok && FailureLog::count() > failures);
            for (const QString& o : outputs)
                QVERIFY2(ts::readAll(o) == fresh[o] || ts::readAll(o) == "earlier " + o.toUtf8(), qPrintable(o));
            QCOMPARE(ts::readAll(failing), "earlier " + failing.toUtf8());
            QCOMPARE(inFolder(), outputs.size());  // no temporary file left
            const QString shown = b.statusBar()->currentMessage();
            if (statusBar) QVERIFY2(shown.contains(native + "/" + failing) && shown.contains(std::strerror(err)), qPrintable(shown));
        };
        for (const qint64 limit : limits) {
            const auto failing = std::find_if(outputs.begin(), outputs.end(), [&](const QString& o) { return fresh[o].size() > limit; });
            failsKeeping(*failing, EFBIG, [&] { return std::make_shared<ts::FileSizeLimit>(rlim_t(limit)); });
            if (QTest::currentTestFailed()) return;
        }
        // Every write taken, the data refused at the flush or the close.
        for (const QString& failing : outputs)
            for (const auto& stepErr : {std::make_pair(SafeWrite::Step::Flush, EDQUOT), std::make_pair(SafeWrite::Step::Close, EIO)}) {
                // Named copies: a lambda may not capture structured bindings in C++17.
                const SafeWrite::Step step = stepErr.first;
                const int err = stepErr.second;
                std::shared_ptr<ts::StepFailure> refuse;
                failsKeeping(failing, err, [&] { return refuse = std::make_shared<ts::StepFailure>(step, failing, err); });
                if (QTest::currentTestFailed()) return;
                QCOMPARE(refuse->refused, 1);
            }
    }

    // The bar saved beside a picture is that picture's own, whatever the bar widget
    // showed last. Ranges: image 1000 .. 1118, map -8 .. 27.5, shift map 7 .. 7.19.
    void savedBarIsThePicturesOwn_data()
    {
        QTest::addColumn<QStringList>("views");  // switched in turn, each but the last repainted
        QTest::addColumn<bool>("data");          // Save Data as TIFF, else Save Image
        QTest::addColumn<QPointF>("range");
        QTest::newRow("image after the map") << QStringList{"map", "image"} << false << QPointF(1000, 1118);
        QTest::newRow("image after the shift map") << QStringList{"shift", "image"} << false << QPointF(1000, 1118);
        QTest::newRow("map while the image shows") << QStringList{"map", "image", "image"} << true << QPointF(-8, 27.5);
        QTest::newRow("map while the shift map shows") << QStringList{"shift", "shift"} << true << QPointF(-8, 27.5);
        QTest::newRow("map after the image, shift map shown") << QStringList{"image", "shift"} << true << QPointF(-8, 27.5);
    }
    void savedBarIsThePicturesOwn()
    {
        QFETCH(QStringList, views);
        QFETCH(bool, data);
        QFETCH(QPointF, range);
        QTemporaryDir dir;
        Kept kept;
        Body b;
        static Analyzed2DRes saved("saved");
        ts::fillMap(saved, 12, 9, [](int x, int y) { return 2.5 * x - y; });
        saved.genImg();
        Body::hooks().selectedMap = [](const Body&) { return &saved; };
        ts::StackSpec spec;
        spec.i1 = [](int k, int c, int r) { return 1000.0 + 10 * c + r + 50 * k; };
        ts::loadStack(b, spec);
        for (TiffData* f : b.i1Images + b.i0Images) f->cBar = b.CBar;  // as loading leaves them
        ts::fillMap(b.shiftMap, 12, 9, [](int x, int y) { return 7 + 0.01 * (x + y); });
        b.shiftMap.genImg();
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        const QMap<QString, QRadioButton*> buttons{{"image", b.ShowData}, {"map", b.ShowResAnalysis}, {"shift", b.ShowShiftMap}};
        for (int i = 0; i < views.size(); ++i) {  // as a script switches them: no repaint after the last
            buttons[views[i]]->setChecked(true);
            if (i + 1 < views.size()) b.dispA->repaint();
        }
        const QImage want = b.CBar->renderBar(range.x(), range.y()).toImage();
        QVERIFY(b.CBar->barPixmap.toImage() != want);  // the widget shows another range
        if (data) b.saveDataCfg->setSaveAsTiff();
        QVERIFY(data ? b.saveData(dir.filePath("m.tif")) : b.saveImage(dir.filePath("v.png")));
        QCOMPARE(QImage(dir.filePath(data ? "m-0--cBar.tif" : "v-cBar.png")).convertToFormat(want.format()), want);
    }

    // One mask cannot be written (a folder of its name is in the way): the save
    // fails, counted once, the status names that file, the other is written whole.
    void flatWithoutDark_data()
    {
        QTest::addColumn<QString>("blocked");
        QTest::newRow("dark blocked") << "dark.dat";
        QTest::newRow("flat blocked") << "flat.dat";
    }
    void flatWithoutDark()
    {
        QFETCH(QString, blocked);
        const bool flat = blocked == "dark.dat";  // the one written: ones in flat.dat, zeros in dark.dat
        QTemporaryDir dir;
        Kept kept;
        QVERIFY(QDir::setCurrent(dir.path()) && QDir().mkdir(blocked));
        Body b;
        ts::loadStack(b, ts::StackSpec());
        const int failures = FailureLog::count();
        QVERIFY(!b.saveFlatDark());
        QCOMPARE(FailureLog::count(), failures + 1);
        const QString shown = b.statusBar()->currentMessage();
        QVERIFY2(shown.startsWith(QDir::toNativeSeparators(dir.filePath(blocked)) + " could not be saved: ") && shown.contains(std::strerror(EISDIR)),
                 qPrintable(shown));
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList({"dark.dat", "flat.dat"}));
        TiffData t;
        QVERIFY(t.load(flat ? "flat.dat" : "dark.dat", ErrPoints()));
        QCOMPARE(QSize(int(t.width), int(t.height)), QSize(12, 9));
        for (int i = 0; i < 12 * 9; ++i) QCOMPARE(t.pixelValue(i % 12, i / 12), flat ? 1.0 : 0.0);
    }

    // A save into a missing folder, or with no map chosen, writes nothing, says why and counts once.
    void refusedSaveCountedOnce()
    {
        QTemporaryDir dir;
        Kept kept;
        Body b;
        b.saveDataCfg->setSaveAsText();
        const QString native = QDir::toNativeSeparators(dir.path());
        const int failures = FailureLog::count();
        Body::hooks().selectedMap = [](const Body&) { return &blockMap(); };
        QVERIFY(!b.saveData(dir.filePath("none/m.dat")));
        QCOMPARE(b.statusBar()->currentMessage(), "Not saved: the folder " + native + "/none does not exist");
        Body::hooks().selectedMap = nullptr;
        QVERIFY(!b.saveData(dir.filePath("m.dat")));
        QCOMPARE(b.statusBar()->currentMessage(), "No map selected: " + native + "/m.dat not saved");
        QCOMPARE(FailureLog::count(), failures + 2);
    }
};

QTEST_MAIN(TstSavedFiles)
#include "tst_savedfiles.moc"
