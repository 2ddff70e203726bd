// Loading stacks: the loader on its own thread driven by requests, the main
// window loading files chosen in its selectors, clearing and ending while
// it reads, bad-pixel repair, closing, and stacks that would give wrong maps.
#include <QStatusBar>
#include <QtTest>

#include <cmath>
#include <memory>
#include <set>

#include "core/FailureLog.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "mainwindow/Body.h"
#include "mainwindow/EOFSetup.h"
#include "mainwindow/LoadTiff.h"
#include "mainwindow/SelectDataFiles.h"
#include "mainwindow/SelectDataFilesAdditionalSetup.h"
#include "support/AngleLists.h"
#include "support/Files.h"
#include "support/Headless.h"
#include "support/Messages.h"
#include "support/StackFiles.h"
#include "widgets/SelectImgDialog.h"
#include "widgets/SpecPane.h"

namespace {

struct Delivered
{
    int fNo, total;
    double centre;
};

// IM frames named after their energy (a_08950_0000.img), each with its
// exposure in ms (50 unless given).
QStringList writeStack(const QTemporaryDir& dir, const QString& tag, double e0, double de, int n, int w, int h,
                       const QStringList& exposures = {})
{
    QStringList files;
    for (int i = 0; i < n; ++i) {
        files << dir.filePath(ts::energyName(tag, e0 + de * i).replace(".tif", ".img"));
        const QString ms = i < exposures.size() ? exposures[i] : "50";
        const QByteArray comment = "BytesPerPixel=2,ExposureTime=" + ms.toLatin1() + " ms";
        ts::writeFile(files.last(), ts::imBytes(w, h, [i](int x, int y) { return 100 + i + x + y; }, 2, comment));
    }
    return files;
}

QVector<double> energiesOf(const QVector<TiffData*>& images)
{
    QVector<double> e;
    for (const TiffData* t : images) e << t->energy;
    return e;
}

double mu(double e) { return 0.3 + 0.8 * (0.5 + std::atan((e - 8975.0) / 3.0) / M_PI); }
// Not linear in energy, so holding and extrapolating differ.
double beam(double e) { return 20000.0 + 3000.0 * std::sin((e - 8950.0) / 20.0); }

}  // namespace

class TstLoadStacks : public QObject
{
    Q_OBJECT

signals:
    void send(LoadTiff::Request r);

private:
    QTemporaryDir dir;
    QStringList tenFiles;  // frame i holds 100 + i + x + y
    QThread thread;
    LoadTiff* loader = nullptr;
    // What the loader sent, received on the test thread as the main window
    // receives it; a completion is kept as fNo -id.
    QVector<Delivered> got;
    int completions = 0;

    // Sends the requests in order; false unless all complete in time.
    bool run(const QVector<LoadTiff::Request>& requests)
    {
        got.clear();
        completions = 0;
        for (const LoadTiff::Request& r : requests) emit send(r);
        return QTest::qWaitFor([&] { return completions >= requests.size(); }, 10000);
    }
    QList<int> numbers() const
    {
        QList<int> out;
        for (const Delivered& d : got) out << d.fNo;
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        initGlobals();
        tenFiles = writeStack(dir, "ten", 9000.0, 1.0, 10, 4, 3);
        loader = new LoadTiff;
        loader->moveToThread(&thread);
        connect(this, &TstLoadStacks::send, loader, &LoadTiff::loadTiffs);
        connect(loader, &LoadTiff::loaded, this, [this](TiffData* d, int fNo, int total, int) {
            got.append({fNo, total, d->pixelValue(1, 1)});
            delete d;
        });
        connect(loader, &LoadTiff::finishLoadFiles, this, [this](EX_CMD_ID id) {
            got.append({-id, 0, 0});
            ++completions;
        });
        thread.start();
    }

    void cleanupTestCase()
    {
        thread.quit();
        thread.wait();
        delete loader;
    }

    void skipAndCuts_data()
    {
        QTest::addColumn<int>("skip");
        QTest::addColumn<int>("cutFirst");
        QTest::addColumn<int>("cutLast");
        QTest::addColumn<QList<int>>("read");
        QTest::newRow("cut last 10 reads the first") << 1 << 0 << 10 << QList<int>{0};
        QTest::newRow("skip 3 cut last 2") << 3 << 0 << 2 << QList<int>{0, 3, 6};
        QTest::newRow("cut last 3, every file") << 1 << 0 << 3 << QList<int>{0, 1, 2, 3, 4, 5, 6};
        QTest::newRow("cut first at end") << 1 << 10 << 0 << QList<int>{};
        QTest::newRow("skip 0 reads as 1") << 0 << 7 << 0 << QList<int>{7, 8, 9};
        QTest::newRow("negative cuts read as 0") << 4 << -2 << -5 << QList<int>{0, 4, 8};
        QTest::newRow("huge skip") << INT_MAX << 9 << 0 << QList<int>{9};
    }
    void skipAndCuts()
    {
        QFETCH(int, skip);
        QFETCH(int, cutFirst);
        QFETCH(int, cutLast);
        QFETCH(QList<int>, read);
        QVERIFY(run({{tenFiles, false, skip, cutFirst, cutLast, {}, load_I0_files}}));
        read << -load_I0_files;  // completion after the last image
        QCOMPARE(numbers(), read);
        for (const Delivered& d : got.mid(0, read.size() - 1)) QCOMPARE(d.centre, 102.0 + d.fNo);
    }

    // Live views are skipped when asked, unreadable files always; both still
    // count. Every request completes once, in order, after its images.
    void liveAndUnreadableFiles()
    {
        const QStringList files{tenFiles[0], dir.filePath("Live_1.img"), dir.filePath("missing.img"),
                                dir.filePath("junk.img"), tenFiles[1]};
        QVERIFY(ts::writeIm(files[1], 4, 3, [](int, int) { return 7; }));
        QVERIFY(ts::writeFile(files[3], "this is not any image format at all"));
        QVERIFY(run({{files, true, 1, 0, 0, {}, load_I1_files},
                     {files, false, 1, 0, 0, {}, load_I0_files},
                     {{}, false, 1, 0, 0, {}, load_I1_files}}));
        QTest::qWait(50);
        QCOMPARE(numbers(), QList<int>({0, 4, -load_I1_files, 0, 1, 4, -load_I0_files, -load_I1_files}));
        QCOMPARE(got.at(1).total, 5);  // unread files count
    }

    void staleRequestsStop()
    {
        // A request older than the drop mark reads nothing, yet completes.
        loader->dropOlderThan(3);
        LoadTiff::Request r{tenFiles, false, 1, 8, 0, {}, load_I1_files, 3};
        QVERIFY(run({{tenFiles, false, 1, 0, 0, {}, load_I1_files, 2}, r}));
        QCOMPARE(numbers(), QList<int>({-load_I1_files, 8, 9, -load_I1_files}));

        // Dropping while a request is read stops it at the next file.
        const QMetaObject::Connection c = connect(
            loader, &LoadTiff::loaded, loader, [this](TiffData*, int, int, int) { loader->dropOlderThan(4); },
            Qt::DirectConnection);
        r.cutFirst = 0;
        QVERIFY(run({r}));
        disconnect(c);
        QCOMPARE(numbers(), QList<int>({0, -load_I1_files}));
    }

    void loadNewAddAndI0()
    {
        QTemporaryDir dir;
        const QStringList many = writeStack(dir, "m", 8000.0, 1.0, 40, 64, 64);
        Body b;
        // Completions counted once the window has handled them: its own
        // queued slots were connected first, so they run first.
        int done = 0;
        for (LoadTiff* l : {b.i1Loader, b.i0Loader})
            QObject::connect(l, &LoadTiff::finishLoadFiles, &b, [&done] { ++done; }, Qt::QueuedConnection);
        QSignalSpy answers(&b, &Body::finishBatchExec);

        // The selector's skip and cuts reach the loader; a cut that is no
        // number counts 0. The new stack sets the energy range, then keeps it.
        b.SelectI1Files->Skip->setText("2");
        b.SelectI1Files->CutFirst->setText("1");
        b.SelectI1Files->CutLast->setText("nonsense");
        b.SelectI1Files->setShowLatest(false);
        b.specWindow->autoRange = false;
        emit b.SelectI1Files->dataFileDialog()->filesSelected(writeStack(dir, "a", 8950.0, 2.5, 7, 12, 8));
        QTRY_COMPARE_WITH_TIMEOUT(done, 1, 20000);
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{8952.5, 8957.5, 8962.5}));
        QVERIFY(!b.specWindow->autoRange);
        QVERIFY(b.specWindow->xMin >= 8952.0 && b.specWindow->xMax <= 8963.0);
        QCOMPARE(b.SelectI1Files->ExpTime->styleSheet(), QString("background-color: rgb(255, 255, 255);"));

        // Add: appended (skip and cuts still hold).
        b.SelectI1Files->AddFiles->setChecked(true);
        emit b.SelectI1Files->dataFileDialog()->filesSelected(writeStack(dir, "b", 9100.0, 5.0, 3, 12, 8));
        QTRY_COMPARE_WITH_TIMEOUT(done, 2, 20000);
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{8952.5, 8957.5, 8962.5, 9105}));

        // New: emptied first; the size comes from the new first image.
        b.SelectI1Files->LoadNewFiles->setChecked(true);
        emit b.SelectI1Files->dataFileDialog()->filesSelected(writeStack(dir, "c", 9100.0, 5.0, 3, 20, 16));
        QTRY_COMPARE_WITH_TIMEOUT(done, 3, 20000);
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{9105}));
        QCOMPARE(b.imageWidth, 20);
        QCOMPARE(b.imageHeight, 16);

        // As a script loads: exposures that differ at all are tinted. Only
        // script loads answer the script.
        // Exposures differing only in the fourth decimal place of a millisecond.
        b.readI0Files(writeStack(dir, "z", 9100.0, 5.0, 3, 20, 16, {"20", "20", "20.0001"}), true);
        QTRY_COMPARE_WITH_TIMEOUT(done, 4, 20000);
        // The answer follows the load's own queued messages: on a busy machine it may come a turn later.
        QTRY_COMPARE_WITH_TIMEOUT(answers.count(), 1, 20000);
        QCOMPARE(answers.last().at(0).toInt(), 5);
        QCOMPARE(energiesOf(b.i0Images), (QVector<double>{9100, 9105, 9110}));
        QVERIFY(qAbs(b.SelectI0Files->ExpTime->text().toDouble() - 20.0) < 1e-3);
        QCOMPARE(b.SelectI0Files->ExpTime->styleSheet(), QString("background-color: rgb(255, 192, 192);"));

        // I1 stacks of another size follow: the I0 frames would be refused.
        b.clearI0Files();
        // An empty list still completes.
        b.readI1Files(QStringList(), true);
        QTRY_COMPARE_WITH_TIMEOUT(done, 5, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(answers.count(), 2, 20000);
        QCOMPARE(answers.last().at(0).toInt(), 4);
        QVERIFY(b.i1Images.isEmpty());

        // Clearing drops the images of the running load.
        b.readI1Files(many, true);
        b.SelectI1Files->Clear->click();
        QTRY_COMPARE_WITH_TIMEOUT(done, 6, 20000);
        QTest::qWait(100);
        QVERIFY(b.i1Images.isEmpty());
        QCOMPARE(b.SelectI1Files->Selected->count(), 0);
        // A new load right after the clear keeps only its own images.
        b.readI1Files(many, true);
        b.readI1Files(many.mid(0, 2), true);
        QTRY_COMPARE_WITH_TIMEOUT(done, 8, 20000);
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{8001}));
        QCOMPARE(b.SelectI1Files->Selected->count(), 1);

        // Each load repairs with the bad-pixel list its selector held when it was asked for.
        const QString bad = dir.filePath("bad.img");
        QVERIFY(ts::writeIm(bad, 64, 64, [](int x, int y) { return x == 1 && y == 1 ? 9000 : 40; }));
        SelectDataFilesAdditionalSetup& setup = b.SelectI0Files->additionalSetup();
        QMetaObject::invokeMethod(&setup, "errPsDefSelected", Q_ARG(QString, ts::writeIn(dir, "err.dat", "1 1\n")));
        setup.UseErrPs->setChecked(true);
        b.readI0Files({bad}, true);
        setup.UseErrPs->setChecked(false);
        b.readI0Files({bad}, false);
        QTRY_COMPARE_WITH_TIMEOUT(done, 10, 20000);
        QCOMPARE(b.i0Images.at(0)->pixelValue(1, 1), 40.0);
        QCOMPARE(b.i0Images.at(1)->pixelValue(1, 1), 9000.0);
    }

    void destroyedWhileLoading()
    {
        QTemporaryDir dir;
        const QStringList files = writeStack(dir, "d", 8000.0, 1.0, 30, 128, 128);
        for (int i = 0; i < 3; ++i) {
            auto* b = new Body;
            b->readI1Files(files, true);
            b->readI0Files(files, true);
            const QVector<QPointer<QObject>> workers{b->i1Loader, b->i1LoaderThread, b->i0Loader, b->i0LoaderThread};
            QSignalSpy ended(b->i0LoaderThread, &QThread::finished);
            QTest::qWait(i * 5);
            delete b;
            // The threads were stopped before they and their loaders went.
            QCOMPARE(ended.count(), 1);
            for (const QPointer<QObject>& w : workers) QVERIFY(w.isNull());
        }
    }

    // Each spectrum is checked against the truth the files were written from,
    // and each fault against the message the user sees and whether it counts
    // as a failure of a script run.
    void spectraAgainstTruth_data()
    {
        QTest::addColumn<QString>("folder");      // empty: energies in the file names
        QTest::addColumn<QVector<double>>("i1");  // energies in load order
        QTest::addColumn<QVector<double>>("i0");
        QTest::addColumn<int>("oddSize");         // I1 frame written at another size
        QTest::addColumn<int>("damaged");         // I1 file that is no image
        QTest::addColumn<QString>("status");      // part of the status-bar message
        QTest::addColumn<int>("failures");

        QVector<double> e;
        for (int k = 0; k < 12; ++k) e << 8950.0 + 5.0 * k;
        QVector<double> shuffled = e;
        std::swap(shuffled[3], shuffled[9]);
        std::swap(shuffled[5], shuffled[6]);
        QVector<double> twice = e;
        twice.insert(6, e[5]);
        // I0 of another scan: 150 eV below, or only around the last I1 energy.
        QVector<double> below, last;
        for (double E : e) below << E - 150;
        for (int k = 0; k < 6; ++k) last << 9003.0 + 2 * k;
        QTest::newRow("dated folder, names without energy")
            << "beamtime_2024_0612" << e << e << -1 << -1 << "frames of the I0 stack have the energy 2024.0612" << 2;
        QTest::newRow("out of energy order") << "" << shuffled << e << -1 << -1 << QString() << 0;
        QTest::newRow("repeated energy") << "" << twice << e << -1 << -1 << "share an energy" << 0;
        QTest::newRow("frame of another size") << "" << e << e << 4 << -1 << "i1_08970_0000.tif is 20 x 12 pixels" << 1;
        QTest::newRow("I0 short of the I1 range")
            << "" << e << e.mid(0, 8) << -1 << -1 << "I0 stack (8950.00 - 8985.00 eV) does not cover" << 0;
        QTest::newRow("I0 of another scan, below")
            << "" << e << below << -1 << -1
            << "The I0 stack (8800.00 - 8855.00 eV) does not overlap the I1 energies (8950.00 - 9005.00 eV): the spectra "
               "cannot be normalised by it" << 1;
        QTest::newRow("I0 around the last I1 energy only")
            << "" << e << last << -1 << -1 << "I0 stack (9003.00 - 9013.00 eV) does not overlap" << 1;
        QTest::newRow("damaged file") << "" << e << e << -1 << 7 << "1 of 12 files could not be read" << 1;
    }
    void spectraAgainstTruth()
    {
        QFETCH(QString, folder);
        QFETCH(QVector<double>, i1);
        QFETCH(QVector<double>, i0);
        QFETCH(int, oddSize);
        QFETCH(int, damaged);
        QFETCH(QString, status);
        QFETCH(int, failures);

        QTemporaryDir tmp;
        const auto path = [&](const QString& tag, double E, int k) {
            return tmp.filePath(folder.isEmpty() ? ts::energyName(tag, E) : QString("%1/%2_%3.tif").arg(folder, tag).arg(k));
        };
        QStringList i1Files, i0Files;
        std::set<double> kept;
        for (int k = 0; k < i1.size(); ++k) {
            const double E = i1[k];
            // The two frames of a repeated energy differ by +-2 %, which their mean cancels.
            const bool second = i1.indexOf(E) != k;
            const double gain = i1.count(E) == 1 ? 1.0 : second ? 1.02 : 1 / 1.02;
            i1Files << path("i1", E, k) + (second ? "f" : "");
            if (k == damaged)
                QVERIFY(ts::writeFile(i1Files.last(), "not an image at all"));
            else
                QVERIFY(ts::writeTiff(i1Files.last(), k == oddSize ? 20 : 16, 12, [&](int, int) { return beam(E) * std::exp(-mu(E)) * gain; }));
            if (k != damaged && k != oddSize) kept.insert(E);
        }
        for (double E : i0) {
            i0Files << path("i0", E, i0Files.size());
            QVERIFY(ts::writeTiff(i0Files.last(), 16, 12, [&](int, int) { return beam(E); }));
        }

        Body b;
        const int before = FailureLog::count();
        QVERIFY(ts::loadFiles(b, i1Files, true));
        QVERIFY(ts::loadFiles(b, i0Files, false));
        const QString shown = b.statusBar()->currentMessage();
        QVERIFY2(status.isEmpty() ? shown.isEmpty() : shown.contains(status), qPrintable(shown));
        QCOMPARE(FailureLog::count() - before, failures);

        const Spectrum s = b.makeXafsSpectrum(8, 6, 1, 1);
        // One energy for every frame: one point, and no number pretends otherwise.
        QCOMPARE(s.size(), folder.isEmpty() ? int(kept.size()) : 1);
        if (!folder.isEmpty()) return;
        const auto [i0Lo, i0Hi] = std::minmax_element(i0.begin(), i0.end());
        int i = 0;
        for (double E : kept) {
            // Outside the I0 range the nearest I0 frame holds.
            const double want = mu(E) + std::log(beam(qBound(*i0Lo, E, *i0Hi)) / beam(E));
            QCOMPARE(s.xAt(i), E);
            QVERIFY2(std::abs(s.yAt(i) - want) < 1e-3, qPrintable(QString("%1 eV: %2, want %3").arg(E).arg(s.yAt(i)).arg(want)));
            ++i;
        }
    }

    // Names without energy: each load says once how many, and the first.
    void energiesMissingFromNames()
    {
        QTemporaryDir tmp;
        QStringList files{"s_08950_0000.img", "s_08955_0000.img", "s-late.img", "s-later.img"};
        for (QString& f : files) QVERIFY(ts::writeIm(f = tmp.filePath(f), 6, 5, [](int x, int) { return 100 + x; }));
        Body b;
        for (const int n : {2, 4, 4}) {  // all named first; counted afresh each load
            ts::MessageLog log;
            QVERIFY(ts::loadFiles(b, files.mid(0, n), true));
            QCOMPARE(log.lines.filter("no energy in their name").size(), n == 4 ? 1 : 0);
        }
        QCOMPARE(b.statusBar()->currentMessage(), QString("2 of 4 files of the I1 stack have no energy in their name (pattern "
            "(\\d|)\\d\\d\\d\\d_\\d\\d\\d\\d): their numbers in the list are taken as energies (first: s-late.img)"));
    }

    // A multi-page TIFF loads as its first page, and the load says so: how
    // many files, of how many, the first and its pages. Single pages say nothing.
    void multiPageFilesSaid()
    {
        QTemporaryDir tmp;
        for (const bool i1 : {true, false}) {
            const QString tag = i1 ? "i1" : "i0";
            QStringList files;
            for (const double e : {8950.0, 8960.0, 8970.0, 8980.0}) {
                files << tmp.filePath(ts::energyName(tag, e));
                QVERIFY(ts::writeTiff(files.last(), 6, 5, [](int x, int) { return 100 + x; }));
            }
            Body b;
            QVERIFY(ts::loadFiles(b, files, i1));
            QVERIFY(!b.statusBar()->currentMessage().contains("pages"));
            QVERIFY(ts::addTiffPages(files[1], 2, 6, 5, 9000));
            QVERIFY(ts::addTiffPages(files[3], 1, 6, 5, 9000));
            QVERIFY(ts::loadFiles(b, files, i1));
            const QVector<TiffData*>& stack = i1 ? b.i1Images : b.i0Images;
            QCOMPARE(stack.size(), 4);
            QCOMPARE(stack[1]->pixelValue(2, 4), 102.0);
            QCOMPARE(b.statusBar()->currentMessage(),
                     QString("2 of 4 files of the %1 stack hold several pages (first: %2_08960_0000.tif, 3 pages): "
                             "only the first page of each is read").arg(tag.toUpper(), tag));
        }
    }

    // Frames of another size than the other stack's are refused, whichever
    // comes second, each counted; the stack loaded before stays.
    void stacksOfAnotherSize_data()
    {
        QTest::addColumn<bool>("i1First");
        QTest::addColumn<QString>("status");
        QTest::newRow("I0 smaller than I1") << true
            << "i0_09015_0000.img is 32 x 32 pixels, the frames of the I1 stack 64 x 64: not loaded into the I0 stack";
        QTest::newRow("I1 after a smaller I0") << false
            << "i1_09015_0000.img is 64 x 64 pixels, the frames of the I0 stack 32 x 32: not loaded into the I1 stack";
    }
    void stacksOfAnotherSize()
    {
        QFETCH(bool, i1First);
        QFETCH(QString, status);
        QTemporaryDir tmp;
        const QStringList i1 = writeStack(tmp, "i1", 9000.0, 5.0, 4, 64, 64);
        const QStringList i0 = writeStack(tmp, "i0", 9000.0, 5.0, 4, 32, 32);
        Body b;
        QVERIFY(ts::loadFiles(b, i1First ? i1 : i0, i1First));
        const QVector<TiffData*> before = i1First ? b.i1Images : b.i0Images;
        const int failures = FailureLog::count();
        QVERIFY(ts::loadFiles(b, i1First ? i0 : i1, !i1First));
        QCOMPARE(b.statusBar()->currentMessage(), status);
        QCOMPARE(i1First ? b.i1Images : b.i0Images, before);
        QVERIFY((i1First ? b.i0Images : b.i1Images).isEmpty());
        QCOMPARE(FailureLog::count(), failures + 4);
    }

    // Frames named without an energy take theirs from a list of monochromator angles, each from a line of its own,
    // counted from the list's end (as at start). A frame past either end of the list (it would take the end's energy,
    // be merged with the frame that has it, and every later frame be labelled with another's) or reading a line that
    // gives no possible energy refuses the load with one counted "Err:" line, and the stack loaded before stays. A bad
    // line no frame reads takes no part; angles 0 closing the list end it. Run end to end, I1 or I0 from the list.
    void referenceLists_data()
    {
        QTest::addColumn<bool>("i0");           // the list gives the I0 stack's energies, else I1's
        QTest::addColumn<QStringList>("head");  // lines before the frames' angles
        QTest::addColumn<int>("from");          // the frames whose angles follow: [from, to)
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("badAt");         // frame whose line says `bad` instead, -1 none
        QTest::addColumn<QString>("bad");
        QTest::addColumn<QStringList>("tail");
        QTest::addColumn<QString>("err");       // part of the one Err: line; "" when loaded
        const QStringList none;
        const QString shortErr = "No frames loaded into the %1 stack: the reference list angles.dat has %2 angle lines "
                                 "for 61 files, so %3 of the frames have no line of their own (first: scan_00.tif)";
        QTest::newRow("40 lines for 61 frames, I1") << false << none << 0 << 40 << -1 << "" << none
                                                    << shortErr.arg("I1").arg(40).arg(21);
        QTest::newRow("40 lines for 61 frames, I0") << true << none << 0 << 40 << -1 << "" << none
                                                    << shortErr.arg("I0").arg(40).arg(21);
        QTest::newRow("one line short") << false << none << 1 << 61 << -1 << "" << none << shortErr.arg("I1").arg(60).arg(1);
        QTest::newRow("a line each") << false << none << 0 << 61 << -1 << "" << none << "";
        // The list began before the first frame: the frames take its last lines.
        QTest::newRow("longer list, frames at its end")
            << false << QStringList{"13.000000", "12.990000", "12.980000"} << 0 << 61 << -1 << "" << none << "";
        QTest::newRow("closing 0, I1") << false << none << 0 << 61 << -1 << "" << QStringList{"0"} << "";
        QTest::newRow("closing 0, I0") << true << none << 0 << 61 << -1 << "" << QStringList{"0"} << "";
        QTest::newRow("closing 0s and blanks") << false << none << 0 << 61 << -1 << "" << QStringList{"0.000", "", "0", " "} << "";
        QTest::newRow("stray -16.1 no frame reads, I1") << false << QStringList{"-16.1"} << 0 << 61 << -1 << "" << none << "";
        QTest::newRow("stray -16.1 no frame reads, I0") << true << QStringList{"-16.1"} << 0 << 61 << -1 << "" << none << "";
        // Left out, the line would move every later frame to the next energy.
        QTest::newRow("-16.1 read, I1") << false << none << 0 << 61 << 30 << "-16.1" << none
                                        << "No frames loaded into the I1 stack: scan_30.tif would have an energy of "
                                           "-7129.395744 eV, from the angle -16.1 degrees in the reference list angles.dat, "
                                           "line 32; a frame's energy must be above 0 and at most 1000000 eV";
        QTest::newRow("0 read, I0") << true << none << 0 << 61 << 3 << "0" << none
                                    << "No frames loaded into the I0 stack: scan_03.tif would have an energy of inf eV, "
                                       "from the angle 0 degrees in the reference list angles.dat, line 5; a frame's energy must be "
                                       "above 0 and at most 1000000 eV";
        // The last frame's angle lost: the 0 closes the list, which is then one line short.
        QTest::newRow("last angle 0") << false << none << 0 << 61 << 60 << "0" << none << shortErr.arg("I1").arg(60).arg(1);
    }
    void referenceLists()
    {
        QFETCH(bool, i0);
        QFETCH(QStringList, head);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, badAt);
        QFETCH(QString, bad);
        QFETCH(QStringList, tail);
        QFETCH(QString, err);
        QTemporaryDir tmp;
        const QVector<double> e = anglelist::quickScan();
        QVector<double> before;  // the I1 stack loaded first, kept when the I1 load is refused
        for (int k = 0; k < 12; ++k) before << 8950 + 5 * k;
        // I0 named by energy first; then I1 named (the stack before, or the whole scan for an I0 list).
        const QStringList i0Named = anglelist::writeFrames(tmp.filePath("named0"), e, false, "i0");
        const QStringList i1Named = anglelist::writeFrames(tmp.filePath("named1"), i0 ? e : before, true, "i1");
        const QStringList scan = anglelist::writeFrames(tmp.filePath("scan"), e, !i0);
        QVERIFY(!i0Named.isEmpty() && !i1Named.isEmpty() && !scan.isEmpty());
        QStringList lines = anglelist::angleLines(e, from, to);
        if (badAt >= 0) lines[badAt - from] = bad;
        QVERIFY(anglelist::writeList(tmp.filePath("angles.dat"), head + lines + tail));
        const QString stack = i0 ? "I0" : "I1";
        const QString script = "Use_I0 1\nload_I0_files NEW " + i0Named.join(' ') + "\nload_I1_files NEW " + i1Named.join(' ')
                               + "\neng_by_ref_" + stack.toLower() + " " + tmp.filePath("angles.dat") + "\nload_" + stack
                               + "_files NEW " + scan.join(' ') + "\nmove_position 2 2\nsave_spectra " + tmp.filePath("spec")
                               + "\nquit\n";
        const ts::ProgramRun run = ts::runHeadless(tmp.path(), script, 120000);
        QVERIFY2(run.endedWith(err.isEmpty() ? 0 : 1), run.err.right(3000).constData());
        const QStringList log = QString::fromUtf8(run.err).split('\n');
        if (!err.isEmpty()) {
            const QStringList errs = log.filter(QRegularExpression("^Err: "));
            QCOMPARE(errs.size(), 1);
            QVERIFY2(errs.first().startsWith("Err: line 5: load_" + stack + "_files") && errs.first().endsWith(err),
                     qPrintable(errs.first().right(500)));
            QVERIFY2(log.filter("Failures in this run: 1;").size() == 1, qPrintable(log.join('\n').right(2000)));
        }
        // Each point at its frame's energy, with that frame's absorption; the stack before when refused.
        const QVector<double> want = !err.isEmpty() && !i0 ? before : e;
        QVector<QStringList> rows;
        for (const QString& l : ts::readLines(tmp.filePath("spec-T.dat")))
            if (!l.startsWith('#') && !l.trimmed().isEmpty()) rows << l.split('\t');
        QCOMPARE(rows.size(), want.size());
        for (int k = 0; k < want.size(); ++k) {
            const double x = rows[k].value(0).toDouble(), y = rows[k].value(2).toDouble();
            // Six digits written: within 0.05 eV.
            QVERIFY2(std::abs(x - want[k]) < 0.06, qPrintable(QString("point %1: %2 eV, not %3").arg(k).arg(x).arg(want[k])));
            QVERIFY2(std::abs(y - anglelist::mu(want[k])) < 0.01,
                     qPrintable(QString("%1 eV: mu %2, not %3").arg(x).arg(y).arg(anglelist::mu(want[k]))));
        }
    }

    // A list refused for one load does not refuse the next list read: its frames load.
    void goodListAfterRefusedOne_data()
    {
        QTest::addColumn<bool>("i0");
        QTest::newRow("I1") << false;
        QTest::newRow("I0") << true;
    }
    void goodListAfterRefusedOne()
    {
        QFETCH(bool, i0);
        QTemporaryDir tmp;
        const QVector<double> e = anglelist::quickScan();
        const QStringList named = anglelist::writeFrames(tmp.filePath("named"), e, i0, i0 ? "i1" : "i0");
        const QStringList scan = anglelist::writeFrames(tmp.filePath("scan"), e, !i0);
        QStringList bad = anglelist::angleLines(e, 0, 61);
        bad[10] = "-16.1";
        QVERIFY(anglelist::writeList(tmp.filePath("bad.dat"), bad));
        QVERIFY(anglelist::writeList(tmp.filePath("short.dat"), anglelist::angleLines(e, 0, 40)));
        QVERIFY(anglelist::writeList(tmp.filePath("good.dat"), anglelist::angleLines(e, 0, 61)));
        const QString stack = i0 ? "I0" : "I1", word = "eng_by_ref_" + stack.toLower() + " " + tmp.path(),
                      load = "\nload_" + stack + "_files NEW " + scan.join(' ') + "\n";
        const QString script = "Use_I0 1\nload_" + QString(i0 ? "I1" : "I0") + "_files NEW " + named.join(' ') + "\n"
                               + word + "/bad.dat" + load + word + "/short.dat" + load + word + "/good.dat" + load
                               + "move_position 2 2\nsave_spectra " + tmp.filePath("spec") + "\nquit\n";
        const ts::ProgramRun run = ts::runHeadless(tmp.path(), script, 120000);
        QVERIFY2(run.endedWith(1), run.err.right(3000).constData());
        const QStringList errs = QString::fromUtf8(run.err).split('\n').filter(QRegularExpression("^Err: "));
        QCOMPARE(errs.size(), 2);
        QVERIFY2(errs[0].contains("line 12") && errs[1].contains("40 angle lines"), qPrintable(errs[0].right(300) + "\n" + errs[1].right(300)));
        QVector<QStringList> rows;
        for (const QString& l : ts::readLines(tmp.filePath("spec-T.dat")))
            if (!l.startsWith('#') && !l.trimmed().isEmpty()) rows << l.split('\t');
        QCOMPARE(rows.size(), e.size());
        for (int k = 0; k < e.size(); ++k) {
            QVERIFY(std::abs(rows[k].value(0).toDouble() - e[k]) < 0.06);
            QVERIFY(std::abs(rows[k].value(2).toDouble() - anglelist::mu(e[k])) < 0.01);
        }
    }

    // The same lists with "Correspond from End" off, as a user loads from the selector: frame n reads line n, so a
    // list's extra lines are at its end. A refused load is counted and the stack before stays.
    void referenceListsFromStart_data()
    {
        QTest::addColumn<bool>("i0");
        QTest::addColumn<QStringList>("lines");  // "A<k>": frame k's angle
        QTest::addColumn<QString>("status");     // "" when loaded
        QStringList all, shortList, stray, badRead;
        for (int k = 0; k < 61; ++k) all << QString("A%1").arg(k);
        shortList = all.mid(0, 40);
        stray = all + QStringList{"-16.1", "0.0566", "A60"};
        badRead = all;
        badRead[0] = "-16.1";
        const QString shortStatus = "No frames loaded into the %1 stack: the reference list angles.dat has 40 angle lines "
                                    "for 61 files, so 21 of the frames have no line of their own (first: scan_40.tif)";
        QTest::newRow("40 lines, I1") << false << shortList << shortStatus.arg("I1");
        QTest::newRow("40 lines, I0") << true << shortList << shortStatus.arg("I0");
        QTest::newRow("bad lines after the frames'") << false << stray << "";
        // Not 8000 eV and up for each: no frame has a line.
        QTest::newRow("no angle in the list") << false << QStringList{"#", "angle"}
                                              << "No frames loaded into the I1 stack: the reference list angles.dat has 0 "
                                                 "angle lines for 61 files, so 61 of the frames have no line of their own "
                                                 "(first: scan_00.tif)";
        QTest::newRow("bad first line, I0") << true << badRead
                                            << "No frames loaded into the I0 stack: scan_00.tif would have an energy of "
                                               "-7129.395744 eV, from the angle -16.1 degrees in the reference list angles.dat, "
                                               "line 2; a frame's energy must be above 0 and at most 1000000 eV";
    }
    void referenceListsFromStart()
    {
        QFETCH(bool, i0);
        QFETCH(QStringList, lines);
        QFETCH(QString, status);
        QTemporaryDir tmp;
        const QVector<double> e = anglelist::quickScan();
        for (QString& l : lines)
            if (l.startsWith('A')) l = anglelist::angleText(e[l.mid(1).toInt()]);
        QVERIFY(anglelist::writeList(tmp.filePath("angles.dat"), lines));
        const QStringList before = anglelist::writeFrames(tmp.filePath("named"), e.mid(0, 12), !i0, "n");
        const QStringList scan = anglelist::writeFrames(tmp.filePath("scan"), e, !i0);
        Body b;
        QVERIFY(ts::loadFiles(b, before, !i0));
        SelectDataFiles* s = i0 ? b.SelectI0Files : b.SelectI1Files;
        s->eofSetup()->CorrespondFromEnd->setChecked(false);
        // A list read before, every line of it bad, is replaced whole by the next.
        QVERIFY(anglelist::writeList(tmp.filePath("bad.dat"), QStringList(QVector<QString>(70, "-16.1").toList())));
        s->setEngByRef(tmp.filePath("bad.dat"));
        s->setEngByRef(tmp.filePath("angles.dat"));
        const QVector<TiffData*> kept = i0 ? b.i0Images : b.i1Images;
        const int failures = FailureLog::count();
        const QString refused = i0 ? b.readI0Files(scan, true, not_ex_cmd) : b.readI1Files(scan, true, not_ex_cmd);
        QCOMPARE(refused, status);
        if (!status.isEmpty()) {
            QCOMPARE(b.statusBar()->currentMessage(), status);
            QCOMPARE(FailureLog::count(), failures + 1);
            QCOMPARE(i0 ? b.i0Images : b.i1Images, kept);
            return;
        }
        // A user's load answers no command: the frames arriving tell.
        QVERIFY(QTest::qWaitFor([&] { return (i0 ? b.i0Images : b.i1Images).size() == e.size(); }, 20000));
        QTest::qWait(50);
        QCOMPARE(FailureLog::count(), failures);
        const QVector<double> got = energiesOf(i0 ? b.i0Images : b.i1Images);
        QCOMPARE(got.size(), e.size());
        for (int k = 0; k < e.size(); ++k) QVERIFY2(std::abs(got[k] - e[k]) < 1e-6, qPrintable(QString::number(k)));
    }

    // Frames that all get one energy (names without one, in a dated folder whose name the pattern falls back to)
    // count as names without an energy do: loaded, and a failure of the run. One frame has one energy by right.
    void oneEnergyStacks_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("frames");
        QTest::addColumn<bool>("named");  // names holding their energy
        QTest::addColumn<int>("code");
        QTest::newRow("61 frames, dated folder") << "beamtime_2024_0612" << 61 << false << 1;
        QTest::newRow("2 frames, dated folder") << "beamtime_2024_0612" << 2 << false << 1;
        QTest::newRow("one frame, dated folder") << "beamtime_2024_0612" << 1 << false << 0;
        QTest::newRow("61 named frames, dated folder") << "beamtime_2024_0612" << 61 << true << 0;
    }
    void oneEnergyStacks()
    {
        QFETCH(QString, folder);
        QFETCH(int, frames);
        QFETCH(bool, named);
        QFETCH(int, code);
        QTemporaryDir tmp;
        const QVector<double> e = anglelist::quickScan().mid(0, frames);
        const QStringList files = anglelist::writeFrames(tmp.filePath(folder), e, true, named ? "i1" : "");
        QVERIFY(!files.isEmpty());
        const ts::ProgramRun run = ts::runHeadless(tmp.path(), "load_I1_files NEW " + files.join(' ') + "\nquit\n", 60000);
        QVERIFY2(run.endedWith(code), run.err.right(3000).constData());
        const QString last = QString::fromUtf8(run.err).trimmed().section('\n', -1);
        if (code == 0)
            QCOMPARE(last, QString("Failures in this run: 0"));
        else
            QCOMPARE(last, QString("Failures in this run: 1; the first: All %1 frames of the I1 stack have the energy "
                                   "2024.0612 eV: check how the energies of the files are given").arg(frames));
    }

    void wiringEdgeGuessAndClosing()
    {
        auto log = std::make_unique<ts::MessageLog>();
        Body b;
        QVERIFY2(!log->has("QObject::connect") && !log->has("connectSlotsByName"), qPrintable(log->lines.join('\n')));
        log.reset();

        // Outside the element table the edge energy keeps what it shows.
        const QString cuK = b.SuggestingEeV->text();
        b.SuggestingElm->setText("");
        b.newElmSuggested();
        b.SuggestingEdge->setCurrentIndex(-1);
        QCOMPARE(b.SuggestingEeV->text(), cuK);

        // Closing the window hands over to the application's end, once.
        b.show();
        QSignalSpy fin(&b, &Body::finishing);
        QVERIFY(b.close());
        QCOMPARE(fin.count(), 1);
    }
};

QTEST_MAIN(TstLoadStacks)
#include "tst_loadstacks.moc"
