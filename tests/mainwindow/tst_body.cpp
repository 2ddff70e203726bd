// The main window loading stacks chosen in its file selectors through its
// loader threads, clearing and ending while they read, and closing.
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "Body.h"
#include "LoadTiff.h"
#include "SelectDataFiles.h"
#include "SpecPane.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "support/Files.h"
#include "widgets/SelectImgDialog.h"

namespace {

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

// Waits for count completions, and for the window's own slot after the last.
bool waitLoaded(QSignalSpy& spy, int count)
{
    QElapsedTimer t;
    t.start();
    while (spy.count() < count && t.elapsed() < 20000) spy.wait(200);
    QTest::qWait(50);
    return spy.count() >= count;
}

bool waitFor(const int& completed, int count)
{
    QElapsedTimer t;
    t.start();
    while (completed < count && t.elapsed() < 20000) QTest::qWait(10);
    return completed >= count;
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

}  // namespace

class TstBody : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initGlobals(); }

    void loadNewAddAndI0()
    {
        QTemporaryDir dir;
        const QStringList first = writeStack(dir, "a", 8950.0, 2.5, 7, 12, 8);
        const QStringList more = writeStack(dir, "b", 9100.0, 5.0, 3, 12, 8);
        const QStringList other = writeStack(dir, "c", 9100.0, 5.0, 3, 20, 16);
        // Exposures differing only in the fourth decimal place of a millisecond.
        const QStringList i0 = writeStack(dir, "z", 9100.0, 5.0, 3, 6, 6, {"20", "20", "20.0001"});
        Body b;
        QSignalSpy done(&b, &Body::finishBatchExec);
        // The window's queued completion slots were connected first, so they
        // have run when this one counts.
        int completed = 0;
        for (LoadTiff* l : {b.i1Loader, b.i0Loader})
            QObject::connect(l, &LoadTiff::finishLoadFiles, &b, [&completed] { ++completed; }, Qt::QueuedConnection);

        // The selector's skip and cuts reach the loader; a cut that is no number counts 0.
        b.SelectI1Files->Skip->setText("2");
        b.SelectI1Files->CutFirst->setText("1");
        b.SelectI1Files->CutLast->setText("nonsense");
        b.SelectI1Files->setShowLatest(false);
        b.specWindow->autoRange = false;
        emit b.SelectI1Files->dataFileDialog()->filesSelected(first);
        QVERIFY(b.specWindow->autoRange);  // the new stack sets the energy range
        QVERIFY(waitFor(completed, 1));
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
        QVERIFY(waitFor(completed, 2));
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{8952.5, 8957.5, 8962.5, 9100, 9105, 9110}));
        QCOMPARE(b.imageWidth, 12);

        // New: emptied first; the size comes from the new first image.
        b.SelectI1Files->LoadNewFiles->setChecked(true);
        emit b.SelectI1Files->dataFileDialog()->filesSelected(other);
        QVERIFY(waitFor(completed, 3));
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{9100, 9105, 9110}));
        QCOMPARE(b.imageWidth, 20);
        QCOMPARE(b.imageHeight, 16);
        QCOMPARE(b.SelectI1Files->Selected->count(), 3);

        // As a script loads: I0 images set no size; exposures that differ
        // at all are tinted. Only script loads answer the script.
        b.readI0Files(i0, true);
        QVERIFY(waitLoaded(done, 1));
        QCOMPARE(done.last().at(0).toInt(), 5);
        QCOMPARE(energiesOf(b.i0Images), (QVector<double>{9100, 9105, 9110}));
        QCOMPARE(b.imageWidth, 20);
        QVERIFY(qAbs(b.SelectI0Files->ExpTime->text().toDouble() - 20.0) < 1e-3);
        QCOMPARE(b.SelectI0Files->ExpTime->styleSheet(), pinkStyle);

        // An empty list still completes.
        b.readI1Files(QStringList(), true);
        QVERIFY(waitLoaded(done, 2));
        QCOMPARE(done.last().at(0).toInt(), 4);
        QVERIFY(b.i1Images.isEmpty());
    }

    void clearingDropsImagesOfTheRunningLoad()
    {
        QTemporaryDir dir;
        const QStringList files = writeStack(dir, "c", 8000.0, 1.0, 40, 64, 64);
        Body b;
        QSignalSpy done(&b, &Body::finishBatchExec);
        b.readI1Files(files, true);
        b.SelectI1Files->Clear->click();
        QVERIFY(waitLoaded(done, 1));
        QTest::qWait(100);
        QVERIFY(b.i1Images.isEmpty());
        QCOMPARE(b.SelectI1Files->Selected->count(), 0);

        // A new load right after the clear keeps only its own images.
        b.readI1Files(files, true);
        b.readI1Files(files.mid(0, 2), true);
        QVERIFY(waitLoaded(done, 3));
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

QTEST_MAIN(TstBody)
#include "tst_body.moc"
