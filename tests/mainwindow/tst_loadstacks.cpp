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
#include "mainwindow/LoadTiff.h"
#include "mainwindow/SelectDataFiles.h"
#include "mainwindow/SelectDataFilesAdditionalSetup.h"
#include "support/Files.h"
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
        QCOMPARE(answers.count(), 1);
        QCOMPARE(answers.last().at(0).toInt(), 5);
        QCOMPARE(energiesOf(b.i0Images), (QVector<double>{9100, 9105, 9110}));
        QVERIFY(qAbs(b.SelectI0Files->ExpTime->text().toDouble() - 20.0) < 1e-3);
        QCOMPARE(b.SelectI0Files->ExpTime->styleSheet(), QString("background-color: rgb(255, 192, 192);"));

        // I1 stacks of another size follow: the I0 frames would be refused.
        b.clearI0Files();
        // An empty list still completes.
        b.readI1Files(QStringList(), true);
        QTRY_COMPARE_WITH_TIMEOUT(done, 5, 20000);
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
            << "beamtime_2024_0612" << e << e << -1 << -1 << "frames of the I0 stack have the energy 2024.0612" << 0;
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
