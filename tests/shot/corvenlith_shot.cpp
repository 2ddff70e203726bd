// Draws the main window with a synthetic I1 / I0 stack loaded and saves it as
// a PNG (scripts/screenshot.sh). Test-only: the program has no such option.
#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>

#include <tiffio.h>

#include <cmath>
#include <vector>

#include "Body.h"
#include "batch/BatchCmd.h"
#include "core/Globals.h"

namespace {

const int side = 160;

// mu(E) of a copper foil: a smoothed step at 8979 eV with a little structure.
double edgeStep(double e)
{
    const double step = 1.0 / (1.0 + std::exp(-(e - 8979.0) / 2.0));
    const double wiggle = e > 8985.0 ? 0.08 * std::sin((e - 8985.0) / 9.0) * std::exp(-(e - 8985.0) / 80.0) : 0.0;
    return step + wiggle;
}

// Thickness of the sample: two discs of different density.
double thickness(int x, int y)
{
    const double d1 = std::hypot(x - 60.0, y - 70.0);
    const double d2 = std::hypot(x - 112.0, y - 92.0);
    return (d1 < 38.0 ? 1.0 : 0.0) + (d2 < 24.0 ? 0.55 : 0.0);
}

bool writeImage(const QString& path, bool i1, double e)
{
    TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!t)
        return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, side);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, side);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 1);
    std::vector<uint16_t> row(side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const double i0 = 30000.0 * (1.0 - 0.15 * std::hypot(x - 80.0, y - 80.0) / 113.0);
            const double mu = 0.2 + thickness(x, y) * (0.1 + 0.9 * edgeStep(e));
            row[size_t(x)] = uint16_t(i1 ? i0 * std::exp(-mu) : i0);
        }
        TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
    }
    TIFFWriteDirectory(t);
    TIFFClose(t);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: corvenlith_shot OUTPUT.png WORKDIR\n");
        return 2;
    }
    initBatchCmdTablesHook = initBatchCmdTables;
    initGlobals();
    QApplication app(argc, argv);
    QApplication::setStyle("Fusion");
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir work(QString::fromLocal8Bit(argv[2]));
    work.mkpath(".");
    DataRoot = work.absolutePath();

    QStringList i1Files, i0Files;
    for (int i = 0; i < 61; ++i) {
        const double e = 8930.0 + 2.0 * i;
        const QString tag = QString("%1_0000.tif").arg(int(e));
        i1Files << work.filePath("i1_" + tag);
        i0Files << work.filePath("i0_" + tag);
        if (!writeImage(i1Files.last(), true, e) || !writeImage(i0Files.last(), false, e))
            return 1;
    }

    Body body(nullptr);
    // The whole screen, as on a 1366 x 768 laptop (the display sets the size).
    body.resize(QGuiApplication::primaryScreen()->size());
    body.show();
    QSignalSpy done(&body, &Body::finishBatchExec);
    body.readI0Files(i0Files, true);
    body.readI1Files(i1Files, true);
    for (int i = 0; i < 200 && done.count() < 2; ++i)
        done.wait(100);
    QTimer::singleShot(200, &app, &QCoreApplication::quit);
    app.exec();
    // The cursor over the larger disc draws the profiles and the spectrum.
    const QPoint at(body.dispA->width() * 60 / side, body.dispA->height() * 70 / side);
    QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(body.dispA, &move);
    QTimer::singleShot(200, &app, &QCoreApplication::quit);
    app.exec();
    if (!body.grab().save(out)) {
        fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
