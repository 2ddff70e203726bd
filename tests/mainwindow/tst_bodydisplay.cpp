// The main window's cursor spectrum, display, navigation, profiles and savers,
// on synthetic stacks handed to it directly.
#include "Body.h"
#include "SaveDataCfg.h"
#include "SelectDataFiles.h"
#include "SpecPane.h"

#include "core/Globals.h"
#include "core/TiffData.h"
#include "core/TiffWriter.h"
#include "core/StringUtil.h"
#include "support/Files.h"
#include "support/Frames.h"

#include <QApplication>
#include <QPainter>
#include <QtTest>

#include <cmath>
#include <functional>

namespace {

const int W = 40;
const int H = 30;

double beam(double x, double y, double e) { return (200.0 + 3.0 * x + 2.0 * y) * (1.0 + 0.002 * (e - 7100.0)); }
double mu(double e) { return 0.4 + 1.2 * (0.5 + std::atan((e - 7112.0) / 4.0) / M_PI); }
double darkRate(double x, double y) { return 0.8 + 0.01 * x + 0.02 * y; }

TiffData* frame(double energy, const ts::PixelFn& px)
{
    return ts::floatFrame(W, H, px, energy, QString("f%1.tif").arg(energy));
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

}  // namespace

class TstBodyDisplay : public QObject
{
    Q_OBJECT

    // I1 at 50 ms with the detector dark, I0 at 20 ms (descending energies),
    // a dark image at 100 ms; the selectors list the files.
    void load(Body& b, int nI1 = 12, int nI0 = 8)
    {
        for (int k = 0; k < nI1; ++k) {
            const double e = 7090.0 + 4.0 * k;
            b.i1Images.append(frame(e, [=](int x, int y) {
                return beam(x, y, e) * 50 * std::exp(-mu(e)) + darkRate(x, y) * 50;
            }));
            b.SelectI1Files->Selected->addItem(b.i1Images.last()->file);
        }
        for (int k = nI0 - 1; k >= 0; --k) {
            const double e = 7080.0 + 10.0 * k;
            b.i0Images.append(frame(e, [=](int x, int y) { return beam(x, y, e) * 20 + darkRate(x, y) * 20; }));
            b.SelectI0Files->Selected->addItem(b.i0Images.last()->file);
        }
        b.darkImage = frame(0, [](int x, int y) { return darkRate(x, y) * 100; });
        b.DarkExpTime->setText("100");
        b.SelectI1Files->ExpTime->setText("50");
        b.SelectI0Files->ExpTime->setText("20");
        b.imageWidth = W;
        b.imageHeight = H;
        b.SeekBar->setMaximum(nI1 - 1);
    }

private slots:
    void initTestCase() { initGlobals(); }

    void cursorSpectrumFollowsTheMouse()
    {
        Body b;
        load(b);
        b.HWidth->setText("10");
        b.VWidth->setText("-10");
        b.showXafsSpectrum(20.9, 15.2);
        QCOMPARE(b.cursorX, 20);
        QCOMPARE(b.cursorY, 15);
        QCOMPARE(b.Position->text(), QString("(  20,   15)"));
        QCOMPARE(b.EShiftOnTbl->text(), QString(" 0.000"));

        const XafsSpectrum& shown = b.specWindow->current;
        QCOMPARE(shown.size(), 12);
        for (int k = 0; k < shown.size(); ++k) {
            const double e = 7090.0 + 4.0 * k;
            QCOMPARE(shown.points[k].x(), e);
            QVERIFY(std::abs(shown.points[k].y() - (mu(e) + std::log(20.0 / 50.0))) < 1e-4);
        }
        const Spectrum raw = b.makeRawSpectrum(20, 15, 10, 10);
        QCOMPARE(b.specWindow->rawSpectrum.points, raw.points);
        QCOMPARE(raw.points[3].y(), b.i1Images[3]->sumBox(20, 15, 10, 10));

        // Truncation toward zero; outside the image the spectrum is empty.
        b.showXafsSpectrum(10.9, -0.5);
        QCOMPARE(b.Position->text(), QString("(  10,    0)"));
        b.showXafsSpectrum(-3, 4);
        QVERIFY(b.specWindow->current.isEmpty());
        QCOMPARE(b.Position->text(), QString("(  -3,    4)"));
        b.showXafsSpectrum(qInf(), qQNaN());
        QCOMPARE(b.cursorX, 0);
        QCOMPARE(b.cursorY, 0);

        // The marker follows the selected I1 image.
        b.SelectI1Files->Selected->setCurrentIndex(5);
        b.showXafsSpectrum(3, 3);
        QCOMPARE(b.specWindow->markerEnergy, 7110.0);

        // A rectangle gives the box of its centre.
        QCOMPARE(b.makeXafsSpectrumInRect(2, 4, 7, 9).points, b.makeXafsSpectrum(4, 6, 3, 3).points);

        // An unusable dark exposure leaves the dark out instead of making
        // every point 1.0.
        b.DarkExpTime->setText("");
        const Spectrum noExp = b.makeXafsSpectrum(20, 15, 2, 2);
        TiffData* dark = b.darkImage;
        b.darkImage = nullptr;
        QCOMPARE(noExp.points, b.makeXafsSpectrum(20, 15, 2, 2).points);
        b.darkImage = dark;
    }

    void darkAreasFollowTheDarkImage()
    {
        QTemporaryDir dir;
        Body b;
        load(b);
        delete b.darkImage;
        b.darkImage = nullptr;

        // An area is refused unless the view holds a valid one.
        b.dispA->areaValid = false;
        b.setI1DarkArea();
        QVERIFY(!b.i1DarkAreaSet);
        b.dispA->setSelectedArea(30, 0, 35, 3);
        b.dispA->previousArea = QRectF(1, 2, 3, 4);
        b.setI1DarkArea();
        QVERIFY(b.i1DarkAreaSet);
        QCOMPARE(b.SelectI1Files->additionalSetup().DarkArea->text(), QString("(30,0)-(35,3)"));
        QCOMPARE(b.dispA->selectedArea, QRectF(1, 2, 3, 4));
        QCOMPARE(b.i1DarkAreaValues.size(), 12);
        const double plain = b.i1Images[4]->rectMean(QRectF(30, 0, 5, 3));
        QCOMPARE(b.i1DarkAreaValues[4], plain);

        // Loading a dark image recomputes the values against it.
        const QString darkFile = dir.filePath("dark.tif");
        TiffWriter w;
        QVector<uint16_t> px(W * H, 7);
        QVERIFY(w.write16(darkFile, W, H, px.constData()));
        b.selectedDark(darkFile);
        QVERIFY(b.darkImage);
        QCOMPARE(b.DarkFileName->text(), QString("dark.tif"));
        QCOMPARE(b.i1DarkAreaValues[4], plain - 7);
        b.clearDark();
        QCOMPARE(b.DarkFileName->text(), QString());
        QCOMPARE(b.i1DarkAreaValues[4], plain);

        // An unreadable dark file leaves no dark image.
        b.selectedDark(dir.filePath("missing.tif"));
        QVERIFY(!b.darkImage);

        b.clearI1DarkArea();
        QVERIFY(!b.i1DarkAreaSet);
        QVERIFY(b.i1DarkAreaValues.isEmpty());
    }

    void totalI0WithoutAnI0ColumnIsNotUsed()
    {
        QTemporaryDir dir;
        Body b;
        load(b);
        const Spectrum before = b.makeXafsSpectrum(20, 15, 3, 3);
        const QString two = dir.filePath("mu.dat");
        QByteArray twoColumns;
        for (int k = 0; k < 20; ++k) twoColumns += QByteArray::number(7080 + 3 * k) + " 1.5\n";
        QVERIFY(ts::writeFile(two, twoColumns));
        b.newTotalI0ofI1File(two);
        QVERIFY(!b.totalI0OfI1Supplied);
        QCOMPARE(b.makeXafsSpectrum(20, 15, 3, 3).points, before.points);
        b.clearedTotalI0ofI1();
        QVERIFY(b.totalI0OfI1.isEmpty());

        // A monochromator-angle file carries I0: it replaces the I0 stack,
        // point by point of the I1 stack; clearing the selector forgets it.
        const QString angle = dir.filePath("i0.9809");
        QByteArray angles = "9809 test\nD= 3.13553\nOffset 0 0 0 0\n";
        for (int k = 0; k < 8; ++k)
            angles += "1 " + QByteArray::number(12.8 - 0.01 * k) + " 0 " + QByteArray::number(1e6 + 1000 * k) + " 5000\n";
        QVERIFY(ts::writeFile(angle, angles));
        b.newTotalI0ofI1File(angle);
        QVERIFY(b.totalI0OfI1Supplied);
        QCOMPARE(b.totalI0OfI1.i0Curve.size(), 8);
        const Spectrum withTotal = b.makeXafsSpectrum(20, 15, 3, 3);
        QCOMPARE(withTotal.size(), 12);
        for (int k = 0; k < 12; ++k) {
            const double i1 = b.i1Images[k]->sumBox(20, 15, 3, 3) - b.darkImage->sumBox(20, 15, 3, 3) / 2;
            const double want = k < 8 ? std::log(b.totalI0OfI1.i0Curve.yAt(k) / i1) : 1.0;
            QVERIFY(std::abs(withTotal.points[k].y() - want) < 1e-9);
        }
        QVERIFY(b.totalI0OfI1.i0Curve.yAt(0) >= 1e6);
        b.TotalI0ofI1XAFS->cleared();
        QVERIFY(!b.totalI0OfI1Supplied);
        QCOMPARE(b.makeXafsSpectrum(20, 15, 3, 3).points, before.points);
    }

    void stepsShowTheImageOfEitherStack()
    {
        Body b;
        load(b);
        b.SelectI0Files->setShowLatest(false);
        b.SelectI1Files->setShowLatest(false);
        b.SelectI1Files->Selected->setCurrentIndex(0);
        b.next();
        QCOMPARE(b.dispA->image, b.i1Images[1]);
        QCOMPARE(b.ImgNo->text(), QString("1"));
        QCOMPARE(b.SeekBar->value(), 1);

        b.ShowI0->setChecked(true);
        b.SelectI0Files->Selected->setCurrentIndex(2);
        b.dispImgSelected(true);
        QCOMPARE(b.dispA->image, b.i0Images[2]);
        b.next();
        QCOMPARE(b.dispA->image, b.i0Images[3]);
        QCOMPARE(b.ImgNo->toolTip(), b.i0Images[3]->file);
        b.prev();
        b.prev();
        QCOMPARE(b.dispA->image, b.i0Images[1]);

        // Past the I0 stack: no marker, nothing new shown.
        b.sliderMoved(10);
        QCOMPARE(b.specWindow->markerEnergy, -1.0);
        QCOMPARE(b.dispA->image, b.i0Images[1]);
        b.sliderMoved(4);
        QCOMPARE(b.specWindow->markerEnergy, b.i0Images[4]->energy);
        QCOMPARE(b.dispA->image, b.i0Images[4]);
        QCOMPARE(b.SelectI0Files->Selected->currentIndex(), 4);

        // The shift map as overlay, then back to the images.
        b.ShowShiftMap->setChecked(true);
        QVERIFY(b.dispA->showOverlay);
        QCOMPARE(b.dispA->overlayMap, &b.shiftMap);
        b.ShowData->setChecked(true);
        QVERIFY(!b.dispA->showOverlay);
        QCOMPARE(b.dispA->image, b.i1Images[1]);

        // A colour change rebuilds the display image; the view follows it.
        b.cBarUpdating();
        QCOMPARE(b.dispA->baseImage, b.i1Images[1]->image);
        b.cBarUpdated();
        QCOMPARE(b.dispA->baseImage, b.i1Images[1]->image);
        for (TiffData* t : b.i1Images) QVERIFY(t->image);
    }

    void profilesAndValuesUnderTheMouse()
    {
        Body b;
        load(b);
        b.HWidth->setText("2");
        b.VWidth->setText("3");
        b.SelectI1Files->Selected->setCurrentIndex(6);
        b.showData(6);
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        b.dispA->repaint();  // sets the image-to-screen frame
        const ChCoord& cc = b.dispA->coord;
        const QPoint at(int(cc.r2sx(12.5)), int(cc.r2sy(7.5)));
        QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(b.dispA, &move);

        QCOMPARE(b.cursorX, 12);
        QCOMPARE(b.cursorY, 7);
        QCOMPARE(b.HCross->markerPos, 12);
        QCOMPARE(b.VCross->markerPos, 7);
        const TiffData* img = b.i1Images[6];
        QCOMPARE(b.HCross->profile.size(), W);
        QCOMPARE(b.VCross->profile.size(), H);
        // Profiles in mu against the I0 stack, which was given in descending order.
        const QVector<TiffData*> i0(b.i0Images.rbegin(), b.i0Images.rend());
        auto muAt = [&](int x, int y, int dy) {
            return std::log(TiffData::areaValue(i0, img->energy, x, y, 1, dy) / img->sumBox(x, y, 1, dy));
        };
        for (int x = 0; x < W; x += 7) QVERIFY(std::abs(b.HCross->profile.points[x].y() - muAt(x, 7, 3)) < 1e-9);
        for (int y = 0; y < H; y += 5) QVERIFY(std::abs(b.VCross->profile.points[y].y() - muAt(12, y, 2)) < 1e-9);
        QCOMPARE(b.Value->text(), withThousandsSeparators(QString("%1").arg(img->pixelValue(12, 7), 0, 'g', 4)));
        QCOMPARE(b.DarkValue->text(), withThousandsSeparators(QString::number(b.darkImage->pixelValue(12, 7), 'g', 6)));

        // I0 shown: raw box sums of the I0 selector's image.
        b.SelectI0Files->Selected->setCurrentIndex(2);
        b.ShowI0->setChecked(true);
        const Spectrum px = b.makeXCrossSection(7, 1, 3, false);
        QCOMPARE(px.size(), W);
        QCOMPARE(px.points[12].y(), b.i0Images[2]->sumBox(12, 7, 1, 3));
        QVERIFY(b.makeXCrossSection(H, 1, 3, false).isEmpty());
        b.SelectI0Files->Selected->setCurrentIndex(-1);
        QVERIFY(b.makeYCrossSection(3, 1, 3, false).isEmpty());

        // The cursor box takes the half widths' absolute values.
        b.HWidth->setText("-3");
        b.VWidth->setText("-3");
        b.dispA->areaValid = false;
        QImage canvas(b.dispA->size(), QImage::Format_RGB32);
        canvas.fill(Qt::white);
        {
            QPainter p(&canvas);
            b.draw(&p);
        }
        const int left = int(cc.r2sx(12 - 3));
        // Corner and size are each cut to whole pixels.
        const int right = left + int(cc.r2sdx(7));
        const int row = int(cc.r2sy(7 - 2));
        QCOMPARE(QColor(canvas.pixel(left, row)), QColor(255, 0, 0));
        QCOMPARE(QColor(canvas.pixel(right, row)), QColor(255, 0, 0));
        QVERIFY(QColor(canvas.pixel((left + right) / 2 + 3, row)) != QColor(255, 0, 0));
    }

    void saversReportAndWriteWholeFiles()
    {
        QTemporaryDir dir;
        const QString oldCwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        {
            Body empty;
            QVERIFY(!empty.saveFlatDark());
            QVERIFY(!empty.saveEachSpectrum(dir.filePath("none")));
            QVERIFY(!empty.saveData(dir.filePath("m.dat")));  // no map selected
            QVERIFY(filesIn(dir.path()).isEmpty());
        }
        Body b;
        load(b);
        QVERIFY(b.saveFlatDark());
        TiffData flat, dark;
        QVERIFY(flat.load(dir.filePath("flat.dat"), ErrPoints()));
        QVERIFY(dark.load(dir.filePath("dark.dat"), ErrPoints()));
        QCOMPARE(int(flat.width), W);
        QCOMPARE(int(flat.height), H);
        QCOMPARE(flat.sumBox(0, 0, W, H), double(W * H));
        QCOMPARE(dark.sumBox(0, 0, W, H), 0.0);
        QVERIFY(QDir::setCurrent(oldCwd));

        // The viewed image and the colour bar beside it.
        b.showData(0);
        const QString png = dir.filePath("view.png");
        QVERIFY(b.saveImageWNum(png, "7"));
        QVERIFY(QFile::exists(dir.filePath("view-7.png")));
        QVERIFY(QFile::exists(dir.filePath("view-7-cBar.png")));
        const QImage viewed = b.dispA->viewedImage();
        QCOMPARE(QImage(dir.filePath("view-7.png")).convertToFormat(viewed.format()), viewed);
        const QStringList before = filesIn(dir.path());
        QVERIFY(!b.saveImage(dir.filePath("flat.dat/x.png")));  // folder is a file
        QVERIFY(!b.saveImage(dir.filePath("nosuffix")));
        QCOMPARE(filesIn(dir.path()), before);

        // Per-point raw mu(E), read back against the box spectra.
        b.HWidth->setText("4");
        b.VWidth->setText("3");
        b.dispA->setSelectedArea(2, 1, 20, 12);
        b.SaveAsRawXAFS->setChecked(true);
        QVERIFY(b.saveEachSpectrum(dir.filePath("each")));
        const QList<QByteArray> lines = ts::readAll(dir.filePath("each.dat")).split('\n');
        QCOMPARE(lines[0], QByteArray("# Corvenlith Save Raw Xafs Spectra 1.0"));
        QCOMPARE(lines[4], QByteArray("# Bin Half Width, Height  : 4 3"));
        AnalyzeCond g;
        QVERIFY(b.fillAnalyzeCond(g));
        QCOMPARE(lines.size(), 7 + int(g.blockCount()) + 1);
        g.reset();
        int n = 7;
        do {
            const QList<QByteArray> f = lines[n++].split(' ');
            QCOMPARE(f[0].toInt(), g.curX);
            QCOMPARE(f[1].toInt(), g.curY);
            QCOMPARE(f[2], QByteArray("0"));
            const Spectrum s = b.makeXafsSpectrum(g.curX, g.curY, 4, 3);
            QCOMPARE(f.size(), 3 + 2 * s.size());
            for (int i = 0; i < s.size(); ++i) {
                QCOMPARE(f[3 + 2 * i].toDouble(), s.points[i].x());
                QVERIFY(std::abs(f[4 + 2 * i].toDouble() - s.points[i].y()) <= 1e-5 * std::abs(s.points[i].y()));
            }
        } while (g.next());

        // Raw intensities; the suffix given is kept.
        b.SaveAsRaw->setChecked(true);
        QVERIFY(b.saveEachSpectrum(dir.filePath("each.txt")));
        const QList<QByteArray> raw = ts::readAll(dir.filePath("each.txt")).split('\n');
        QCOMPARE(raw[0], QByteArray("# Corvenlith Save Raw Spectra 1.0"));
        const QList<QByteArray> first = raw[7].split(' ');
        g.reset();
        QCOMPARE(first.size(), 2 + 2 * 12);
        QVERIFY(std::abs(first[3].toDouble() - b.i1Images[0]->sumBox(g.curX, g.curY, 4, 3)) < 1e-5 * first[3].toDouble());

        // Normalised spectra: one line per block as well.
        b.SaveAsNormalizedXAFS->setChecked(true);
        QVERIFY(b.saveEachSpectrum(dir.filePath("norm")));
        QCOMPARE(ts::readAll(dir.filePath("norm.dat")).count('\n'), 7 + int(g.blockCount()));

        // An unwritable place fails and leaves nothing.
        const QStringList now = filesIn(dir.path());
        QVERIFY(!b.saveEachSpectrum(dir.filePath("flat.dat/each")));
        QCOMPARE(filesIn(dir.path()), now);
    }
};

QTEST_MAIN(TstBodyDisplay)
#include "tst_bodydisplay.moc"
