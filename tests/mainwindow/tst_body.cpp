// The main window: its form, its wiring, the edge-energy suggestion, loading
// synthetic stacks through the loader threads, and ending.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolBox>
#include <QTranslator>
#include <QtTest>

#include <tiffio.h>

#include <vector>

#include "Body.h"
#include "LoadTiff.h"
#include "SelectDataFiles.h"
#include "SaveDataCfg.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "support/Files.h"

namespace {

// A 16-bit grey TIFF; with expSec > 0 an EXIF directory holds the exposure.
bool writeTiff(const QString& path, int w, int h, double expSec, int base)
{
    TIFF* t = TIFFOpen(path.toLocal8Bit().constData(), "w");
    if (!t)
        return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 1);
    uint64_t exifOff = 0;
    if (expSec > 0)
        TIFFSetField(t, TIFFTAG_EXIFIFD, exifOff);
    std::vector<uint16_t> row(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            row[size_t(x)] = uint16_t(base + x + y);
        TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
    }
    TIFFWriteDirectory(t);
    if (expSec > 0) {
        TIFFCreateEXIFDirectory(t);
        TIFFSetField(t, EXIFTAG_EXPOSURETIME, expSec);
        TIFFWriteCustomDirectory(t, &exifOff);
        TIFFSetDirectory(t, 0);
        TIFFSetField(t, TIFFTAG_EXIFIFD, exifOff);
        TIFFRewriteDirectory(t);
    }
    TIFFClose(t);
    return true;
}

// Files named after their energy, e.g. i1_8950_0000.tif for 8950 eV.
QStringList writeStack(const QTemporaryDir& dir, const QString& tag, double e0, double de, int n,
                       int w, int h, const QVector<double>& expSec = {})
{
    QStringList files;
    for (int i = 0; i < n; ++i) {
        const double e = e0 + de * i;
        const int whole = int(e);
        const int frac = int(qRound((e - whole) * 10000));
        const QString name = QString("%1_%2_%3.tif").arg(tag).arg(whole).arg(frac, 4, 10, QChar('0'));
        const QString path = dir.filePath(name);
        writeTiff(path, w, h, i < expSec.size() ? expSec[i] : 0.0, 100 + i);
        files << path;
    }
    return files;
}

QVector<double> energiesOf(const QVector<TiffData*>& images)
{
    QVector<double> e;
    for (const TiffData* t : images)
        e << t->energy;
    return e;
}

// Waits until the loader's completion has reached the window's own slot too.
bool waitLoaded(Body& b, QSignalSpy& spy, int count)
{
    QElapsedTimer t;
    t.start();
    while (spy.count() < count && t.elapsed() < 20000)
        spy.wait(200);
    QTest::qWait(50);
    QCoreApplication::processEvents();
    Q_UNUSED(b);
    return spy.count() >= count;
}

const char* const pinkStyle = "background-color: rgb(255, 192, 192);";
const char* const whiteStyle = "background-color: rgb(255, 255, 255);";

QStringList connectWarnings;
QtMessageHandler previousHandler = nullptr;

void catchConnectWarnings(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    if (msg.contains("QObject::connect") || msg.contains("connectSlotsByName"))
        connectWarnings << msg;
    if (previousHandler)
        previousHandler(type, ctx, msg);
}

}  // namespace

class TstBody : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initGlobals();
    }

    void everyConnectionSucceeds()
    {
        connectWarnings.clear();
        previousHandler = qInstallMessageHandler(catchConnectWarnings);
        {
            Body b;
            b.show();
            QCoreApplication::processEvents();
        }
        qInstallMessageHandler(previousHandler);
        QVERIFY2(connectWarnings.isEmpty(), qPrintable(connectWarnings.join('\n')));
    }

    void edgeEnergySuggestion()
    {
        Body b;
        // Copper K from the table, set at construction.
        QCOMPARE(b.SuggestingEeV->text(), QString("8984.36"));

        b.SuggestingElm->setText("Fe");
        b.newElmSuggested();
        QVERIFY(qAbs(b.SuggestingEeV->text().toDouble() - 7112.0) < 1.0);

        b.SuggestingElm->setText("U");
        b.SuggestingEdge->setCurrentIndex(3);  // newEdgeSuggested through the combo
        QCOMPARE(b.SuggestingEeV->text(), QString("17158"));
        b.SuggestingEdge->setCurrentIndex(0);
        const QString uK = b.SuggestingEeV->text();
        QVERIFY(qAbs(uK.toDouble() - 115009.0) < 1.0);

        // Outside the table: the field keeps what it shows.
        for (const char* sym : {"Fm", "Mt", "D", "Xx", "fe", ""}) {
            b.SuggestingElm->setText(sym);
            b.newElmSuggested();
            QCOMPARE(b.SuggestingEeV->text(), uK);
        }
        b.SuggestingElm->setText("Cu");
        b.SuggestingEdge->setCurrentIndex(-1);
        QCOMPARE(b.SuggestingEeV->text(), uK);
    }

    void loadNewAndAdd()
    {
        QTemporaryDir dir;
        const QStringList first = writeStack(dir, "a", 8950.0, 2.5, 6, 12, 8);
        const QStringList second = writeStack(dir, "b", 9100.0, 5.0, 3, 20, 16);
        const QStringList more = writeStack(dir, "c", 9100.0, 5.0, 3, 12, 8);
        Body b;
        QSignalSpy done(&b, &Body::finishBatchExec);

        b.specWindow->autoRange = false;
        b.SelectI1Files->setShowLatest(false);
        b.readI1Files(first, true);
        QVERIFY(b.specWindow->autoRange);  // the new stack sets the energy range
        QVERIFY(waitLoaded(b, done, 1));
        QVERIFY(!b.specWindow->autoRange);
        // The finished stack set the spectrum view's energy range.
        QVERIFY(b.specWindow->xMin >= 8949.0 && b.specWindow->xMin <= 8951.0);
        QVERIFY(b.specWindow->xMax >= 8962.0 && b.specWindow->xMax <= 8963.0);
        // Also when no spectrum was drawn while the loader was busy: the
        // completion draws one before it stops the automatic range.
        b.specWindow->autoRange = true;
        b.specWindow->xMin = 0.0;
        b.specWindow->xMax = 1.0;
        b.finishedLoadI1Files();
        QVERIFY(!b.specWindow->autoRange);
        QVERIFY(b.specWindow->xMin >= 8949.0 && b.specWindow->xMax <= 8963.0);
        QCOMPARE(done.last().at(0).toInt(), 4);
        QCOMPARE(b.i1Images.size(), 6);
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{8950, 8952.5, 8955, 8957.5, 8960, 8962.5}));
        QCOMPARE(b.imageWidth, 12);
        QCOMPARE(b.imageHeight, 8);
        QCOMPARE(b.SeekBar->maximum(), 5);
        QCOMPARE(b.SelectI1Files->Selected->count(), 6);
        QCOMPARE(b.SelectI1Files->Selected->currentIndex(), 5);
        for (TiffData* t : b.i1Images)
            QCOMPARE(t->cBar, static_cast<ColorScale*>(b.CBar));

        // Add: appended after the first list; the size stays the first image's.
        b.SelectI1Files->AddFiles->setChecked(true);
        b.readI1Files(more, false);
        QVERIFY(waitLoaded(b, done, 2));
        QCOMPARE(b.i1Images.size(), 9);
        QCOMPARE(b.i1Images.at(6)->energy, 9100.0);
        QCOMPARE(b.i1Images.at(8)->energy, 9110.0);
        QCOMPARE(b.imageWidth, 12);
        QCOMPARE(b.imageHeight, 8);

        // New: the stack is emptied first and the size comes from the new first image.
        b.readI1Files(second, true);
        QVERIFY(waitLoaded(b, done, 3));
        QCOMPARE(b.i1Images.size(), 3);
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{9100, 9105, 9110}));
        QCOMPARE(b.imageWidth, 20);
        QCOMPARE(b.imageHeight, 16);
        QCOMPARE(b.SelectI1Files->Selected->count(), 3);
        QVERIFY(b.specWindow->xMin >= 9099.0 && b.specWindow->xMax <= 9111.0);
        QVERIFY(b.i0Images.isEmpty());
    }

    void skipAndCutsFromSelector()
    {
        QTemporaryDir dir;
        const QStringList files = writeStack(dir, "s", 8000.0, 1.0, 10, 4, 4);
        Body b;
        QSignalSpy done(&b, &Body::finishBatchExec);
        b.SelectI1Files->Skip->setText("3");
        b.SelectI1Files->CutFirst->setText("1");
        b.SelectI1Files->CutLast->setText("nonsense");
        b.readI1Files(files, true);
        QVERIFY(waitLoaded(b, done, 1));
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{8001, 8004, 8007}));

        b.SelectI1Files->Skip->setText("0");  // raised to 1
        b.SelectI1Files->CutFirst->setText("-4");  // raised to 0
        b.SelectI1Files->CutLast->setText("7");
        b.readI1Files(files, true);
        QVERIFY(waitLoaded(b, done, 2));
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{8000, 8001, 8002}));
    }

    void i0StackAndExposureTint()
    {
        QTemporaryDir dir;
        // Exposures differing only in the fourth decimal place of a millisecond.
        const QStringList i0 = writeStack(dir, "z", 8950.0, 1.0, 3, 6, 6, {0.05, 0.05, 0.0500001});
        const QStringList i1 = writeStack(dir, "y", 8950.0, 1.0, 3, 6, 6, {0.02, 0.02, 0.02});
        Body b;
        QSignalSpy done(&b, &Body::finishBatchExec);
        b.readI0Files(i0, true);
        QVERIFY(waitLoaded(b, done, 1));
        QCOMPARE(done.last().at(0).toInt(), 5);
        QCOMPARE(b.i0Images.size(), 3);
        QVERIFY(b.i1Images.isEmpty());
        QCOMPARE(b.imageWidth, -1);  // I0 images do not set the size
        QCOMPARE(energiesOf(b.i0Images), (QVector<double>{8950, 8951, 8952}));
        QVERIFY(qAbs(b.SelectI0Files->ExpTime->text().toDouble() - 50.0) < 1e-3);
        QCOMPARE(b.SelectI0Files->ExpTime->styleSheet(), QString(pinkStyle));

        b.readI1Files(i1, true);
        QVERIFY(waitLoaded(b, done, 2));
        QVERIFY(qAbs(b.SelectI1Files->ExpTime->text().toDouble() - 20.0) < 1e-3);
        QCOMPARE(b.SelectI1Files->ExpTime->styleSheet(), QString(whiteStyle));
    }

    void unreadableFilesAreSkipped()
    {
        QTemporaryDir dir;
        QStringList files = writeStack(dir, "u", 8950.0, 1.0, 2, 5, 5);
        files.insert(1, dir.filePath("u_8960_0000.tif"));
        QVERIFY(ts::writeFile(files[1], "not an image at all"));
        files << dir.filePath("missing_8970_0000.tif");
        Body b;
        QSignalSpy done(&b, &Body::finishBatchExec);
        b.readI1Files(files, true);
        QVERIFY(waitLoaded(b, done, 1));
        QCOMPARE(energiesOf(b.i1Images), (QVector<double>{8950, 8951}));
        b.readI1Files(QStringList(), true);  // an empty list still completes
        QVERIFY(waitLoaded(b, done, 2));
        QVERIFY(b.i1Images.isEmpty());
    }

    void clearingDropsImagesOfTheRunningLoad()
    {
        QTemporaryDir dir;
        const QStringList files = writeStack(dir, "c", 8000.0, 1.0, 40, 64, 64);
        Body b;
        QSignalSpy done(&b, &Body::finishBatchExec);
        b.readI1Files(files, true);
        b.clearI1Files();
        QVERIFY(waitLoaded(b, done, 1));
        QTest::qWait(100);
        QVERIFY(b.i1Images.isEmpty());
        QCOMPARE(b.SelectI1Files->Selected->count(), 0);

        // A new load right after the clear keeps only its own images.
        b.readI1Files(files, true);
        b.readI1Files(files.mid(0, 2), true);
        QVERIFY(waitLoaded(b, done, 3));
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
            QTest::qWait(i * 5);
            delete b;
        }
        QCoreApplication::processEvents();
    }

    void closingEndsTheEventLoop()
    {
        Body b;
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
        const int rc = QApplication::exec();
        QCOMPARE(rc, 0);
        QCOMPARE(fin.count(), 1);
        QVERIFY(!b.isVisible());
        QVERIFY(!other.isVisible());
    }
};

QTEST_MAIN(TstBody)
#include "tst_body.moc"
