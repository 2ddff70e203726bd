#include "ColorScale.h"
#include "Globals.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

static QStringList captured;
static void captureMessage(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    captured << msg;
}

static int hookCalls = 0;
static void countingHook() { hookCalls++; }

static QColor rgbAt(const unsigned char* p) { return QColor(p[0], p[1], p[2]); }

class TstGlobals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initBatchCmdTablesHook = countingHook;
        initGlobals();
    }

    void initSetsDefaultsAndRunsHookOnce()
    {
        QCOMPARE(DataRoot, QString("C:/Data"));
        QCOMPARE(BatchRoot, QString("C:/Data"));
        QVERIFY(!showAnalyzer2Button);
        QCOMPARE(hookCalls, 1);
        QCOMPARE(displayImageFormat, int(QImage::Format_Grayscale8));
        QVERIFY(mainColorBar == nullptr);

        // A second initialisation must not double the colour list.
        initColorTables();
        QCOMPARE(lineColors.size(), 9);
    }

    void greyTable()
    {
        for (int i = 0; i < 256; i++) QCOMPARE(int(greyLUT[i]), i);
        QCOMPARE(int(*grayPixel(0.0)), 0);
        QCOMPARE(int(*grayPixel(0.5)), 128);
        QCOMPARE(int(*grayPixel(1.0)), 255);
        QCOMPARE(int(*grayPixel(100.0 / 256)), 100);
        QCOMPARE(int(*grayPixelOf(-5)), 0);
        QCOMPARE(int(*grayPixelOf(77)), 77);
        QCOMPARE(int(*grayPixelOf(1000)), 255);
    }

    void greyClampsBadInput()
    {
        const double inf = std::numeric_limits<double>::infinity();
        QCOMPARE(grayPixel(-0.2), greyLUT);
        QCOMPARE(grayPixel(1.5), greyLUT + 255);
        QCOMPARE(grayPixel(std::nan("")), greyLUT);
        QCOMPARE(grayPixel(1e300), greyLUT + 255);
        QCOMPARE(grayPixel(-1e300), greyLUT);
        QCOMPARE(grayPixel(inf), greyLUT + 255);
        QCOMPARE(grayPixel(-inf), greyLUT);
    }

    void colourTable()
    {
        // Independent walk of black -> red -> yellow -> white.
        for (int i = 0; i <= 766; i++) {
            int r = std::min(i, 255);
            int g = std::max(0, std::min(i - 255, 255));
            int b = std::max(0, std::min(i - 510, 255));
            QCOMPARE(rgbAt(colorPixelOf(i)), QColor(r, g, b));
        }
        QCOMPARE(rgbAt(colorPixel(0.0)), QColor(0, 0, 0));
        QCOMPARE(rgbAt(colorPixel(0.5)), QColor(255, 128, 0));  // entry 383
        QCOMPARE(rgbAt(colorPixel(1.0)), QColor(255, 255, 255));
        QCOMPARE(colorPixel(1.0), colorLUT + 3 * 766);
    }

    void colourClampsBadInput()
    {
        QCOMPARE(colorPixel(-3.0), colorLUT);
        QCOMPARE(colorPixel(7.0), colorLUT + 3 * 766);
        QCOMPARE(colorPixel(std::nan("")), colorLUT);
        QCOMPARE(colorPixel(1e308 * 10), colorLUT + 3 * 766);
        QCOMPARE(colorPixel(-1e300), colorLUT);
        QCOMPARE(colorPixelOf(-1), colorLUT);
        QCOMPARE(colorPixelOf(767), colorLUT + 3 * 766);
        QCOMPARE(colorPixelOf(INT_MAX), colorLUT + 3 * 766);
    }

    void pixelFunctions()
    {
        QVERIFY(pixelFuncOfFormat(QImage::Format_RGB888) == colorPixel);
        QVERIFY(pixelFuncOfFormat(QImage::Format_Grayscale8) == grayPixel);
        QVERIFY(pixelFuncOfFormat(QImage::Format_ARGB32) == nullptr);
    }

    void colourScaleThroughTables()
    {
        ColorScale scale;
        unsigned char px[3] = {1, 1, 1};
        scale.valueToPixel(0.5, px);
        QCOMPARE(int(px[0]), 128);
        scale.valueToPixel(1.0, px);
        QCOMPARE(int(px[0]), 255);
        scale.valueToPixel(1.5, px);
        QCOMPARE(int(px[0]), 255);
        scale.valueToPixel(-0.2, px);
        QCOMPARE(int(px[0]), 0);
        scale.valueToPixel(std::nan(""), px);
        QCOMPARE(int(px[0]), 0);

        scale.imageFormat = QImage::Format_RGB888;
        QCOMPARE(scale.valueToPixel(1.0, px), px + 3);
        QCOMPARE(rgbAt(px), QColor(255, 255, 255));
        QCOMPARE(scale.colorOfV(0.0), QColor(0, 0, 0));

        scale.imageFormat = QImage::Format_Grayscale8;
        scale.lowerLimit = 0.25;
        scale.upperLimit = 0.75;
        scale.valueToPixel(0.5, px);
        QCOMPARE(int(px[0]), 128);
        scale.valueToPixel(0.2, px);
        QCOMPARE(int(px[0]), 0);
        scale.valueToPixel(0.8, px);
        QCOMPARE(int(px[0]), 255);
    }

    void lineColours()
    {
        QCOMPARE(lineColors.size(), 9);
        QCOMPARE(colorByIndex(0), QColor(255, 0, 0));
        QCOMPARE(colorByIndex(8), QColor(0, 200, 255));
        QCOMPARE(colorByIndex(10), QColor(0, 255, 0));
        QCOMPARE(colorByIndex(-1), QColor(0, 200, 255));
        QCOMPARE(colorByIndex(-9), QColor(255, 0, 0));
        QVERIFY(colorByIndex(INT_MIN).isValid());

        const QVector<QColor> kept = lineColors;
        lineColors.clear();
        QCOMPARE(colorByIndex(3), QColor(0, 0, 0));
        lineColors = kept;
    }

    void linearInterpolation()
    {
        QCOMPARE(lerp(5, 2, 1, 2, 3), 2.0);
        QCOMPARE(lerp(-100, 2, 1, 2, 3), 2.0);
        QCOMPARE(lerp(1.5, 1, 10, 2, 20), 15.0);
        QCOMPARE(lerp(3, 1, 10, 2, 20), 30.0);  // extrapolates
        QCOMPARE(lerp(0, 1, 10, -1, 20), 15.0);
    }

    void timedLogLine()
    {
        captured.clear();
        const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
        logWithTime("loaded 12 files");
        qInstallMessageHandler(previous);
        QCOMPARE(captured.size(), 1);
        const QRegularExpression form("^loaded 12 files (\\d{6} \\d\\d:\\d\\d:\\d\\d\\.\\d{3})$");
        const QRegularExpressionMatch m = form.match(captured[0]);
        QVERIFY2(m.hasMatch(), qPrintable(captured[0]));
        const QDateTime t = QDateTime::fromString(m.captured(1), "yyMMdd hh:mm:ss.zzz");
        QVERIFY(t.isValid());
        // "yy" parses into the 1900s.
        QVERIFY(qAbs(t.addYears(100).secsTo(QDateTime::currentDateTime())) < 60);
    }

    void fileNames()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString d = QDir(dir.path()).absolutePath();
        QCOMPARE(fileNameWithSuffix(d + "/a.tif", "dat"), d + "/a.tif");
        QCOMPARE(fileNameWithSuffix(d + "/a", "dat"), d + "/a.dat");
        QCOMPARE(fileNameWithSuffix(d + "/a.b.tif", "dat"), d + "/a.b.tif");
        QCOMPARE(fileNameWithTag(d + "/map.dat", "cBar"), d + "/map-cBar.dat");
        QCOMPARE(fileNameWithTag(d + "/x.y.tif", "2"), d + "/x.y-2.tif");

        // A bare name lands in the current directory.
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(d));
        QCOMPARE(fileNameWithSuffix("out", "dat"), d + "/out.dat");
        QCOMPARE(fileNameWithTag("map.dat", "cBar"), d + "/map-cBar.dat");
        QDir::setCurrent(cwd);
    }

    void headerKeys()
    {
        const QByteArray h("BytesPerPixel=4,ExposureTime=2ms");
        QCOMPARE(findKeyInHeader(h, "ExposureTime=", ',', "x"), QString("2ms"));
        QCOMPARE(findKeyInHeader(h, "BytesPerPixel=", ',', "x"), QString("4"));
        QCOMPARE(findKeyInHeader(h, "Gain=", ',', "none"), QString("none"));

        QByteArray nul("Width=12");
        nul.append('\0');
        nul.append("junk,");
        QCOMPARE(findKeyInHeader(nul, "Width=", ',', ""), QString("12"));
        // A key that holds the separator must not produce a negative length.
        QCOMPARE(findKeyInHeader("a,b=7,c", "a,b=", ',', ""), QString("7"));
        QCOMPARE(findKeyInHeader("k=", "k=", ',', "d"), QString(""));
    }

    void bufferSizes()
    {
        QCOMPARE(bytesPerLineOfFormat(QImage::Format_RGB888, 5), 16);
        QCOMPARE(bytesPerLineOfFormat(QImage::Format_Grayscale8, 5), 8);
        QCOMPARE(bytesPerLine(8), 8);
        QCOMPARE(bytesPerLine(1), 4);
        QCOMPARE(bytesPerLine(0), 0);
        QCOMPARE(bytesPerPixelOfFormat(QImage::Format_RGB888), 3);
        QCOMPARE(bytesPerPixelOfFormat(QImage::Format_Grayscale8), 1);
    }

    void imageBuffers()
    {
        QVERIFY(newImageBuffer(QImage::Format_Grayscale8, 0, 5) == nullptr);
        QVERIFY(newImageBuffer(QImage::Format_Grayscale8, 5, 0) == nullptr);
        QVERIFY(newImageBuffer(QImage::Format_Grayscale8, -5, -5) == nullptr);
        QVERIFY(newImageBuffer(QImage::Format_ARGB32, 5, 5) == nullptr);
        QVERIFY(newImageBuffer(QImage::Format_RGB888, INT_MAX, INT_MAX) == nullptr);

        const int w = 5, h = 3;
        unsigned char* buf = newImageBuffer(QImage::Format_RGB888, w, h);
        QVERIFY(buf);
        for (int i = 0; i < 16 * h; i++) QCOMPARE(int(buf[i]), 0);
        QImage* img = newQImage(QImage::Format_RGB888, buf, w, h);
        QVERIFY(img);
        QCOMPARE(img->format(), QImage::Format_RGB888);
        QCOMPARE(img->bytesPerLine(), 16);
        // The image shares the buffer: a write through it shows in the image.
        buf[16 * 2 + 3 * 4 + 1] = 200;
        QCOMPARE(img->pixelColor(4, 2), QColor(0, 200, 0));
        QVERIFY(newQImage(QImage::Format_ARGB32, buf, w, h) == nullptr);
        QVERIFY(newQImage(QImage::Format_RGB888, nullptr, w, h) == nullptr);
        delete img;
        delete[] buf;

        buf = newImageBuffer(QImage::Format_Grayscale8, w, h);
        QVERIFY(buf);
        img = newQImage(QImage::Format_Grayscale8, buf, w, h);
        QVERIFY(img);
        QCOMPARE(img->bytesPerLine(), 8);
        buf[8 + 2] = 99;
        QCOMPARE(qGray(img->pixel(2, 1)), 99);
        delete img;
        delete[] buf;
    }

    void windowGeometryRoundTrip()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());

        QWidget fresh;
        bool popUp = false;
        restoreWindowGeometry(&fresh, "Unknown", &popUp);
        QCOMPARE(fresh.size(), QSize(400, 400));
        QCOMPARE(fresh.pos(), QPoint(200, 200));
        QVERIFY(fresh.isVisible());
        QVERIFY(popUp);
        fresh.hide();

        QWidget w;
        w.resize(321, 123);
        w.move(40, 50);
        saveWindowGeometry(&w, "Spec", false);
        {
            QSettings s("Velmora Quon", "Corvenlith");
            QCOMPARE(s.value("Spec/size").toSize(), QSize(321, 123));
            QCOMPARE(s.value("Spec/visible").toBool(), false);
            QCOMPARE(s.value("Spec/popUp").toBool(), false);
        }
        QWidget back;
        popUp = true;
        restoreWindowGeometry(&back, "Spec", &popUp);
        QCOMPARE(back.size(), QSize(321, 123));
        QCOMPARE(back.pos(), w.pos());
        QVERIFY(!back.isVisible());
        QVERIFY(!popUp);
        restoreWindowGeometry(&back, "Spec", nullptr);  // the flag is optional
        saveWindowGeometry(nullptr, "Spec", true);       // no widget: nothing happens
    }
};

QTEST_MAIN(TstGlobals)
#include "tst_globals.moc"
