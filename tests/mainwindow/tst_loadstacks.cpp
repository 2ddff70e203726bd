// Loading stacks: the loader on its own thread driven by requests, the main
// window loading files chosen in its selectors, clearing and ending while
// it reads, closing, and stacks that would give wrong maps.
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cmath>

#include "core/Globals.h"
#include "core/TiffData.h"
#include "mainwindow/Body.h"
#include "mainwindow/LoadTiff.h"
#include "mainwindow/SelectDataFiles.h"
#include "support/Files.h"
#include "support/StackFiles.h"
#include "widgets/SelectImgDialog.h"
#include "widgets/SpecPane.h"

namespace {

struct Delivered
{
    int fNo;
    int total;
    int generation;
    double centre;
};

// IM frames named after their energy (a_08950_0000.img), each with its
// exposure in ms (50 unless given).
QStringList writeStack(const QTemporaryDir& dir, const QString& tag, double e0, double de, int n, int w, int h,
                       const QStringList& exposures = {})
{
    QStringList files;
    for (int i = 0; i < n; ++i) {
        const QString path = dir.filePath(ts::energyName(tag, e0 + de * i).replace(".tif", ".img"));
        const QString ms = i < exposures.size() ? exposures[i] : "50";
        const QByteArray comment = "BytesPerPixel=2,ExposureTime=" + ms.toLatin1() + " ms";
        ts::writeFile(path, ts::imBytes(w, h, [i](int x, int y) { return 100 + i + x + y; }, 2, comment));
        files << path;
    }
    return files;
}

QVector<double> energiesOf(const QVector<TiffData*>& images)
{
    QVector<double> e;
    for (const TiffData* t : images) e << t->energy;
    return e;
}

// Counts the loaders' completions once the window has handled them: its own
// queued slots were connected first, so they run first.
void countCompletions(Body& b, int& n)
{
    for (LoadTiff* l : {b.i1Loader, b.i0Loader})
        QObject::connect(l, &LoadTiff::finishLoadFiles, &b, [&n] { ++n; }, Qt::QueuedConnection);
}

const QString pinkStyle = "background-color: rgb(255, 192, 192);";
const QString whiteStyle = "background-color: rgb(255, 255, 255);";

QStringList connectWarnings;
QtMessageHandler previousHandler = nullptr;

void catchConnectWarnings(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    if (msg.contains("QObject::connect") || msg.contains("connectSlotsByName")) connectWarnings << msg;
    if (previousHandler) previousHandler(type, ctx, msg);
}

// Stacks that would give wrong maps.
const int W = 16;
const int H = 12;

double mu(double e) { return 0.3 + 0.8 * (0.5 + std::atan((e - 8975.0) / 3.0) / M_PI); }
// Not linear in energy, so holding and extrapolating differ.
double beam(double e) { return 20000.0 + 3000.0 * std::sin((e - 8950.0) / 20.0); }

QVector<double> steps(int n)
{
    QVector<double> e;
    for (int k = 0; k < n; ++k) e << 8950.0 + 5.0 * k;
    return e;
}

}  // namespace

class TstLoadStacks : public QObject
{
    Q_OBJECT

signals:
    void send(LoadTiff::Request r);

private:
    QTemporaryDir dir;
    QStringList tenFiles;  // frame i holds 100 + i everywhere
    QThread thread;
    LoadTiff* loader = nullptr;
    // What the loader sent, received on the test thread as the main window receives it.
    QVector<Delivered> images;
    QVector<EX_CMD_ID> finished;
    QVector<int> orderMarks;  // images.size() at each completion

    void forget()
    {
        images.clear();
        finished.clear();
        orderMarks.clear();
    }
    QList<int> numbers() const
    {
        QList<int> out;
        for (const Delivered& d : images) out << d.fNo;
        return out;
    }

    LoadTiff::Request request(const QStringList& files, int skip = 1, int cutFirst = 0, int cutLast = 0,
                              EX_CMD_ID id = load_I1_files)
    {
        LoadTiff::Request r;
        r.files = files;
        r.skip = skip;
        r.cutFirst = cutFirst;
        r.cutLast = cutLast;
        r.id = id;
        return r;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        initGlobals();
        for (int i = 0; i < 10; ++i) {
            tenFiles << dir.filePath(QString("img_%1.img").arg(i));
            QVERIFY(ts::writeIm(tenFiles.last(), 4, 3, [i](int, int) { return 100 + i; }));
        }
        loader = new LoadTiff;
        loader->moveToThread(&thread);
        connect(this, &TstLoadStacks::send, loader, &LoadTiff::loadTiffs);
        connect(loader, &LoadTiff::loaded, this, [this](TiffData* d, int fNo, int total, int generation) {
            images.append({fNo, total, generation, d->pixelValue(1, 1)});
            delete d;
        });
        connect(loader, &LoadTiff::finishLoadFiles, this, [this](EX_CMD_ID id) {
            finished.append(id);
            orderMarks.append(images.size());
        });
        thread.start();
    }

    void cleanupTestCase()
    {
        thread.quit();
        thread.wait();
        delete loader;
    }

    void init() { forget(); }

    void skipAndCuts_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("skip");
        QTest::addColumn<int>("cutFirst");
        QTest::addColumn<int>("cutLast");
        QTest::addColumn<QList<int>>("read");
        QTest::newRow("skip 3 cut first 1") << 10 << 3 << 1 << 0 << QList<int>{1, 4, 7};
        QTest::newRow("all") << 10 << 1 << 0 << 0 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        QTest::newRow("cut last 10 reads the first") << 10 << 1 << 0 << 10 << QList<int>{0};
        QTest::newRow("cut last 3") << 10 << 2 << 0 << 3 << QList<int>{0, 2, 4, 6};
        QTest::newRow("cut last 3, every file") << 10 << 1 << 0 << 3 << QList<int>{0, 1, 2, 3, 4, 5, 6};
        QTest::newRow("cut first at end") << 10 << 1 << 10 << 0 << QList<int>{};
        QTest::newRow("cut first past end") << 10 << 1 << 11 << 0 << QList<int>{};
        QTest::newRow("skip 0 reads as 1") << 10 << 0 << 7 << 0 << QList<int>{7, 8, 9};
        QTest::newRow("negative cuts read as 0") << 10 << 4 << -2 << -5 << QList<int>{0, 4, 8};
        QTest::newRow("huge skip") << 10 << INT_MAX << 9 << 0 << QList<int>{9};
        QTest::newRow("empty list") << 0 << 1 << 0 << 0 << QList<int>{};
    }
    void skipAndCuts()
    {
        QFETCH(int, files);
        QFETCH(int, skip);
        QFETCH(int, cutFirst);
        QFETCH(int, cutLast);
        QFETCH(QList<int>, read);
        emit send(request(tenFiles.mid(0, files), skip, cutFirst, cutLast, load_I0_files));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        QCOMPARE(numbers(), read);
        QCOMPARE(finished, QVector<EX_CMD_ID>{load_I0_files});
        QCOMPARE(orderMarks.at(0), read.size());  // completion after the last image
        for (const Delivered& d : images) {
            QCOMPARE(d.total, files);
            QCOMPARE(d.centre, 100.0 + d.fNo);
        }
        QVERIFY(!loader->busy);
    }

    // Live views are skipped when asked, unreadable files always; both still
    // count. Every request completes once, in order, after its images.
    void liveAndUnreadableFiles()
    {
        QStringList files = tenFiles.mid(0, 2);
        files.insert(1, dir.filePath("Live_1.img"));
        QVERIFY(ts::writeIm(files[1], 4, 3, [](int, int) { return 7; }));
        files.insert(2, dir.filePath("missing.img"));
        files.insert(3, dir.filePath("junk.img"));
        QVERIFY(ts::writeFile(files[3], "this is not any image format at all"));
        LoadTiff::Request r = request(files);
        r.ignoreLive = true;
        emit send(r);
        r.ignoreLive = false;
        r.id = load_I0_files;
        emit send(r);
        emit send(request({}));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 3, 10000);
        QTest::qWait(50);
        QCOMPARE(finished, QVector<EX_CMD_ID>({load_I1_files, load_I0_files, load_I1_files}));
        QCOMPARE(orderMarks, QVector<int>({2, 5, 5}));
        QCOMPARE(numbers(), QList<int>({0, 4, 0, 1, 4}));
        QCOMPARE(images.at(1).total, 5);
    }

    void staleRequestsStop()
    {
        // A request older than the drop mark reads nothing, yet completes.
        loader->dropOlderThan(3);
        LoadTiff::Request r = request(tenFiles);
        r.generation = 2;
        emit send(r);
        r.generation = 3;
        r.cutFirst = 8;
        emit send(r);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
        QCOMPARE(numbers(), QList<int>({8, 9}));
        for (const Delivered& d : images) QCOMPARE(d.generation, 3);

        // Dropping while a request is read stops it at the next file.
        forget();
        const QMetaObject::Connection c = connect(
            loader, &LoadTiff::loaded, loader, [this](TiffData*, int, int, int) { loader->dropOlderThan(4); },
            Qt::DirectConnection);
        r.cutFirst = 0;
        emit send(r);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        disconnect(c);
        QCOMPARE(numbers(), QList<int>({0}));
        // A lower mark never lowers the one in force.
        loader->dropOlderThan(1);
        forget();
        emit send(r);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        QVERIFY(images.isEmpty());
    }

    void requestCarriesItsOwnBadPixelList()
    {
        const QString path = dir.filePath("bad.img");
        QVERIFY(ts::writeIm(path, 3, 3, [](int x, int y) { return x == 1 && y == 1 ? 9000 : 40; }));
        LoadTiff::Request r = request({path});
        r.generation = 10;
        loader->dropOlderThan(10);
        r.errPs.use = true;
        r.errPs.points = {QPoint(1, 1)};
        emit send(r);
        // The list the request was made from may change at once; the request
        // keeps what it held when it was sent.
        r.errPs.points.clear();
        r.errPs.use = false;
        emit send(r);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
        QCOMPARE(images.at(0).centre, 40.0);
        QCOMPARE(images.at(1).centre, 9000.0);
    }

    void loadNewAddAndI0()
    {
        QTemporaryDir dir;
        const QStringList first = writeStack(dir, "a", 8950.0, 2.5, 7, 12, 8);
        const QStringList more = writeStack(dir, "b", 9100.0, 5.0, 3, 12, 8);
        const QStringList other = writeStack(dir, "c", 9100.0, 5.0, 3, 20, 16);
        // Exposures differing only in the fourth decimal place of a millisecond.
        const QStringList i0 = writeStack(dir, "z", 9100.0, 5.0, 3, 6, 6, {"20", "20", "20.0001"});
        Body b;
        int done = 0;
        countCompletions(b, done);
        QSignalSpy answers(&b, &Body::finishBatchExec);

        // The selector's skip and cuts reach the loader; a cut that is no number counts 0.
        b.SelectI1Files->Skip->setText("2");
        b.SelectI1Files->CutFirst->setText("1");
        b.SelectI1Files->CutLast->setText("nonsense");
        b.SelectI1Files->setShowLatest(false);
        b.specWindow->autoRange = false;
        emit b.SelectI1Files->dataFileDialog()->filesSelected(first);
        QVERIFY(b.specWindow->autoRange);  // the new stack sets the energy range
        QTRY_COMPARE_WITH_TIMEOUT(done, 1, 20000);
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{8952.5, 8957.5, 8962.5}));
        QVERIFY(!b.specWindow->autoRange);
        QVERIFY(b.specWindow->xMin >= 8952.0 && b.specWindow->xMin <= 8953.0);
        QVERIFY(b.specWindow->xMax >= 8962.0 && b.specWindow->xMax <= 8963.0);
        // Also when no spectrum was drawn while the loader was busy: the
        // completion draws one before it stops the automatic range.
        b.specWindow->autoRange = true;
        b.specWindow->xMin = 0.0;
        b.finishedLoadI1Files();
        QVERIFY(!b.specWindow->autoRange);
        QVERIFY(b.specWindow->xMin >= 8952.0);
        QCOMPARE(b.imageWidth, 12);
        QCOMPARE(b.imageHeight, 8);
        QCOMPARE(b.SeekBar->maximum(), 2);
        QCOMPARE(b.SelectI1Files->Selected->currentIndex(), 2);
        QCOMPARE(b.SelectI1Files->ExpTime->styleSheet(), whiteStyle);

        // Add: appended; the size stays the first image's.
        b.SelectI1Files->Skip->setText("1");
        b.SelectI1Files->CutFirst->setText("0");
        b.SelectI1Files->AddFiles->setChecked(true);
        emit b.SelectI1Files->dataFileDialog()->filesSelected(more);
        QTRY_COMPARE_WITH_TIMEOUT(done, 2, 20000);
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{8952.5, 8957.5, 8962.5, 9100, 9105, 9110}));
        QCOMPARE(b.imageWidth, 12);

        // New: emptied first; the size comes from the new first image.
        b.SelectI1Files->LoadNewFiles->setChecked(true);
        emit b.SelectI1Files->dataFileDialog()->filesSelected(other);
        QTRY_COMPARE_WITH_TIMEOUT(done, 3, 20000);
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{9100, 9105, 9110}));
        QCOMPARE(b.imageWidth, 20);
        QCOMPARE(b.imageHeight, 16);
        QCOMPARE(b.SelectI1Files->Selected->count(), 3);

        // As a script loads: I0 images set no size; exposures that differ
        // at all are tinted. Only script loads answer the script.
        b.readI0Files(i0, true);
        QTRY_COMPARE_WITH_TIMEOUT(done, 4, 20000);
        QCOMPARE(answers.count(), 1);
        QCOMPARE(answers.last().at(0).toInt(), 5);
        QCOMPARE(energiesOf(b.i0Images), (QVector<double>{9100, 9105, 9110}));
        QCOMPARE(b.imageWidth, 20);
        QVERIFY(qAbs(b.SelectI0Files->ExpTime->text().toDouble() - 20.0) < 1e-3);
        QCOMPARE(b.SelectI0Files->ExpTime->styleSheet(), pinkStyle);

        // An empty list still completes.
        b.readI1Files(QStringList(), true);
        QTRY_COMPARE_WITH_TIMEOUT(done, 5, 20000);
        QCOMPARE(answers.last().at(0).toInt(), 4);
        QVERIFY(b.i1Images.isEmpty());
    }

    void clearingDropsImagesOfTheRunningLoad()
    {
        QTemporaryDir dir;
        const QStringList files = writeStack(dir, "c", 8000.0, 1.0, 40, 64, 64);
        Body b;
        int done = 0;
        countCompletions(b, done);
        b.readI1Files(files, true);
        b.SelectI1Files->Clear->click();
        QTRY_COMPARE_WITH_TIMEOUT(done, 1, 20000);
        QTest::qWait(100);
        QVERIFY(b.i1Images.isEmpty());
        QCOMPARE(b.SelectI1Files->Selected->count(), 0);

        // A new load right after the clear keeps only its own images.
        b.readI1Files(files, true);
        b.readI1Files(files.mid(0, 2), true);
        QTRY_COMPARE_WITH_TIMEOUT(done, 3, 20000);
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{8000, 8001}));
        QCOMPARE(b.SelectI1Files->Selected->count(), 2);
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
    // and each fault against the message the user sees.
    void spectraAgainstTruth_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("energyNames");   // energies in the file names
        QTest::addColumn<QVector<double>>("i1");  // energies in load order
        QTest::addColumn<QVector<double>>("i0");
        QTest::addColumn<int>("oddSize");         // I1 frame written at another size
        QTest::addColumn<int>("damaged");         // I1 file that is no image
        QTest::addColumn<QString>("status");      // part of the status-bar message

        const QVector<double> e = steps(12);
        QVector<double> shuffled = e;
        std::swap(shuffled[3], shuffled[9]);
        std::swap(shuffled[5], shuffled[6]);
        QVector<double> twice = e;
        twice.insert(6, e[5]);
        QTest::newRow("dated folder, names without energy")
            << "beamtime_2024_0612" << false << e << e << -1 << -1 << "frames of the I0 stack have the energy 2024.0612";
        QTest::newRow("out of energy order") << "run" << true << shuffled << e << -1 << -1 << QString();
        QTest::newRow("repeated energy") << "run" << true << twice << e << -1 << -1 << "share an energy";
        QTest::newRow("frame of another size") << "run" << true << e << e << 4 << -1 << "i1_08970_0000.tif is 20 x 12 pixels";
        QTest::newRow("I0 short of the I1 range")
            << "run" << true << e << e.mid(0, 8) << -1 << -1 << "I0 stack (8950.00 - 8985.00 eV) does not cover";
        QTest::newRow("damaged file") << "run" << true << e << e << -1 << 7 << "1 of 12 files could not be read";
    }

    void spectraAgainstTruth()
    {
        QFETCH(QString, folder);
        QFETCH(bool, energyNames);
        QFETCH(QVector<double>, i1);
        QFETCH(QVector<double>, i0);
        QFETCH(int, oddSize);
        QFETCH(int, damaged);
        QFETCH(QString, status);

        QTemporaryDir tmp;
        const QString dir = tmp.filePath(folder);
        QStringList i1Files, i0Files;
        QMap<double, QVector<double>> kept;  // energy -> mu of each frame kept
        int seen = 0;
        for (int k = 0; k < i1.size(); ++k) {
            const double E = i1[k];
            // Frames of one energy differ by +-2 %, which their mean cancels.
            const double f = seen++ % 2 ? 1.02 : 1 / 1.02;
            const bool repeated = i1.count(E) > 1;
            const double gain = repeated ? f : 1.0;
            const QString path = dir + "/" + (energyNames ? ts::energyName("i1", E) : QString("i1_%1.tif").arg(k));
            const QString file = repeated && i1.indexOf(E) != k ? path + "f" : path;
            if (k == damaged) {
                QVERIFY(ts::writeFile(file, "not an image at all"));
            } else {
                QVERIFY(ts::writeTiff(file, k == oddSize ? 20 : W, H,
                                        [&](int, int) { return beam(E) * std::exp(-mu(E)) * gain; }));
                if (k != oddSize) kept[E] << mu(E) - std::log(gain);
            }
            i1Files << file;
        }
        for (double E : i0) {
            const QString path = dir + "/" + (energyNames ? ts::energyName("i0", E) : QString("i0_%1.tif").arg(i0Files.size()));
            QVERIFY(ts::writeTiff(path, W, H, [&](int, int) { return beam(E); }));
            i0Files << path;
        }

        Body b;
        QVERIFY(ts::loadFiles(b, i1Files, true));
        QVERIFY(ts::loadFiles(b, i0Files, false));

        const QString shown = b.statusBar()->currentMessage();
        if (status.isEmpty())
            QVERIFY2(shown.isEmpty(), qPrintable(shown));
        else
            QVERIFY2(shown.contains(status), qPrintable(shown));

        const Spectrum s = b.makeXafsSpectrum(8, 6, 1, 1);
        if (!energyNames) {
            // One energy for every frame: one point, and no number pretends otherwise.
            QCOMPARE(s.size(), 1);
            return;
        }
        const double i0Lo = *std::min_element(i0.begin(), i0.end());
        const double i0Hi = *std::max_element(i0.begin(), i0.end());
        QCOMPARE(s.size(), kept.size());
        int i = 0;
        for (auto it = kept.cbegin(); it != kept.cend(); ++it, ++i) {
            const double E = it.key();
            double m = 0;
            for (double v : it.value()) m += v;
            m /= it.value().size();
            // Outside the I0 range the nearest I0 frame holds.
            const double want = m + std::log(beam(qBound(i0Lo, E, i0Hi)) / beam(E));
            QCOMPARE(s.xAt(i), E);
            QVERIFY2(std::abs(s.yAt(i) - want) < 1e-3,
                     qPrintable(QString("%1 eV: %2, want %3").arg(E).arg(s.yAt(i)).arg(want)));
        }
    }
    void closingEndsTheEventLoop()
    {
        connectWarnings.clear();
        previousHandler = qInstallMessageHandler(catchConnectWarnings);
        Body b;
        qInstallMessageHandler(previousHandler);
        QVERIFY2(connectWarnings.isEmpty(), qPrintable(connectWarnings.join('\n')));

        // Outside the element table the edge energy keeps what it shows.
        const QString cuK = b.SuggestingEeV->text();
        b.SuggestingElm->setText("");
        b.newElmSuggested();
        b.SuggestingEdge->setCurrentIndex(-1);
        QCOMPARE(b.SuggestingEeV->text(), cuK);

        QObject::connect(&b, SIGNAL(finishing()), qApp, SLOT(closeAllWindows()));
        QWidget other;
        other.show();
        b.show();
        QSignalSpy fin(&b, &Body::finishing);
        QTimer::singleShot(0, &b, &QWidget::close);
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
        guard.start(10000);
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(fin.count(), 1);
        QVERIFY(!other.isVisible());
    }
};

QTEST_MAIN(TstLoadStacks)
#include "tst_loadstacks.moc"
