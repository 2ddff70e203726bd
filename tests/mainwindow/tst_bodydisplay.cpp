// The main window's wiring on synthetic stacks handed to it directly: the
// cursor spectrum from its fields, the dark image and dark areas, total I0,
// navigation, profiles under the mouse and the savers. The box arithmetic
// itself is checked without a window.
#include "Body.h"
#include "SaveDataCfg.h"
#include "SelectDataFiles.h"
#include "SpecPane.h"

#include "core/Globals.h"
#include "core/StringUtil.h"
#include "core/TiffData.h"
#include "support/BodyStack.h"
#include "support/Detector.h"
#include "support/Files.h"

#include <QApplication>
#include <QPainter>
#include <QtTest>

#include <cmath>

namespace {

using namespace det;

QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::NoDotAndDotDot); }

// I1 at 50 ms with the detector dark, I0 at 20 ms in descending energies, a
// dark image at 100 ms; the selectors list the files.
void load(Body& b)
{
    for (int k = 0; k < 12; ++k) {
        const double e = 7090.0 + 4.0 * k;
        b.i1Images.append(frame(e, [=](int x, int y) { return beam(x, y, e) * 50 * std::exp(-mu(e)) + darkRate(x, y) * 50; }));
        b.SelectI1Files->Selected->addItem(b.i1Images.last()->file);
    }
    for (int k = 7; k >= 0; --k) {
        const double e = 7080.0 + 10.0 * k;
        b.i0Images.append(frame(e, [=](int x, int y) { return (beam(x, y, e) + darkRate(x, y)) * 20; }));
        b.SelectI0Files->Selected->addItem(b.i0Images.last()->file);
    }
    b.darkImage = frame(0, [](int x, int y) { return darkRate(x, y) * 100; });
    b.DarkExpTime->setText("100");
    b.SelectI1Files->ExpTime->setText("50");
    b.SelectI0Files->ExpTime->setText("20");
    b.imageWidth = W;
    b.imageHeight = H;
    b.SeekBar->setMaximum(11);
}

}  // namespace

class TstBodyDisplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initGlobals(); }

    void cursorSpectrumFollowsTheMouseAndTheFiles()
    {
        Body b;
        load(b);
        b.HWidth->setText("10");
        b.VWidth->setText("-10");
        b.showXafsSpectrum(20.9, 15.2);
        QCOMPARE(b.Position->text(), QString("(  20,   15)"));
        // Each stack's exposure, the dark and the I0 order come from the window.
        const XafsSpectrum& shown = b.specWindow->current;
        QCOMPARE(shown.size(), 12);
        for (int k = 0; k < shown.size(); ++k) {
            const double e = 7090.0 + 4.0 * k;
            QCOMPARE(shown.xAt(k), e);
            QVERIFY(std::abs(shown.yAt(k) - (mu(e) + std::log(20.0 / 50.0))) < 1e-4);
        }
        QCOMPARE(b.specWindow->rawSpectrum.yAt(3), b.i1Images[3]->sumBox(20, 15, 10, 10));
        QCOMPARE(b.makeXafsSpectrumInRect(2, 4, 7, 9).points, b.makeXafsSpectrum(4, 6, 3, 3).points);

        // Truncation toward zero; outside the image the spectrum is empty.
        b.showXafsSpectrum(10.9, -0.5);
        QCOMPARE(b.Position->text(), QString("(  10,    0)"));
        b.showXafsSpectrum(-3, 4);
        QVERIFY(b.specWindow->current.isEmpty());
        b.showXafsSpectrum(qInf(), qQNaN());
        QCOMPARE(b.cursorX, 0);
        QCOMPARE(b.cursorY, 0);

        // The marker follows the selected I1 image.
        b.SelectI1Files->Selected->setCurrentIndex(5);
        b.showXafsSpectrum(3, 3);
        QCOMPARE(b.specWindow->markerEnergy, 7110.0);

        // A total-I0 file of two columns carries no I0: it is not used.
        QTemporaryDir dir;
        const Spectrum before = b.makeXafsSpectrum(20, 15, 3, 3);
        QByteArray two;
        for (int k = 0; k < 20; ++k) two += QByteArray::number(7080 + 3 * k) + " 1.5\n";
        QVERIFY(ts::writeFile(dir.filePath("mu.dat"), two));
        b.newTotalI0ofI1File(dir.filePath("mu.dat"));
        QVERIFY(!b.totalI0OfI1Supplied);
        QCOMPARE(b.makeXafsSpectrum(20, 15, 3, 3).points, before.points);

        // A monochromator-angle file carries I0: it replaces the I0 stack,
        // point by point of the I1 stack; clearing the selector forgets it.
        QByteArray angles = "9809 test\nD= 3.13553\nOffset 0 0 0 0\n";
        for (int k = 0; k < 8; ++k)
            angles += "1 " + QByteArray::number(12.8 - 0.01 * k) + " 0 " + QByteArray::number(1e6 + 1000 * k) + " 5000\n";
        QVERIFY(ts::writeFile(dir.filePath("i0.9809"), angles));
        b.newTotalI0ofI1File(dir.filePath("i0.9809"));
        QVERIFY(b.totalI0OfI1Supplied);
        const Spectrum withTotal = b.makeXafsSpectrum(20, 15, 3, 3);
        QCOMPARE(withTotal.size(), 12);
        // The file's first I0 at the first point; past its 8 points I0 is 0, giving 1.0.
        QVERIFY(std::abs(withTotal.yAt(0) - std::log(1e6 / boxSum(20, 15, 3, 3, [](int x, int y) { return beam(x, y, 7090) * 50 * std::exp(-mu(7090)); }))) < 1e-6);
        QCOMPARE(withTotal.yAt(11), 1.0);
        b.TotalI0ofI1XAFS->cleared();
        QVERIFY(!b.totalI0OfI1Supplied);
        QCOMPARE(b.makeXafsSpectrum(20, 15, 3, 3).points, before.points);
    }

    // A dark area is taken from the selection, which then goes back to the
    // one before; with none before, no selection is left to be taken for the
    // other stack's dark area by mistake.
    void darkAreas_data()
    {
        QTest::addColumn<bool>("selectedBefore");
        QTest::addColumn<bool>("selectAgain");
        QTest::addColumn<bool>("i0Set");
        QTest::newRow("one selection, both dark areas") << false << false << false;
        QTest::newRow("selected again for I0") << false << true << true;
        QTest::newRow("an area before comes back") << true << false << true;
    }
    void darkAreas()
    {
        QFETCH(bool, selectedBefore);
        QFETCH(bool, selectAgain);
        QFETCH(bool, i0Set);
        QTemporaryDir dir;
        Body b;
        ts::StackSpec spec;
        // Sample counts above, dark counts in the bottom three rows.
        spec.i1 = [](int, int, int r) { return r >= 6 ? 50.0 : 4000.0; };
        spec.i0 = [](int, int, int r) { return r >= 6 ? 60.0 : 9000.0; };
        ts::loadStack(b, spec);
        b.setI0DarkArea();
        QVERIFY(!b.i0DarkAreaSet);  // no selection yet
        if (selectedBefore) b.dispA->setSelectedArea(2, 1, 9, 4);
        b.dispA->setSelectedArea(0, 6, 11, 8);
        b.SelectI1Files->additionalSetup().SetDA->click();
        QCOMPARE(b.SelectI1Files->additionalSetup().DarkArea->text(), QString("(0,6)-(11,8)"));
        QCOMPARE(b.i1DarkAreaValues.value(0), 50.0);
        QCOMPARE(b.dispA->areaValid, selectedBefore);
        if (selectAgain) b.dispA->setSelectedArea(0, 6, 11, 8);
        b.SelectI0Files->additionalSetup().SetDA->click();
        QCOMPARE(b.i0DarkAreaSet, i0Set);
        if (i0Set) QCOMPARE(b.i0DarkAreaValues.value(0), selectAgain ? 60.0 : 9000.0);

        // A dark image (7 counts at 250 ms) fills the exposure field and is
        // taken off the dark-area values; clearing it puts them back.
        const QString dark = dir.filePath("dark.img");
        QVERIFY(ts::writeFile(dark, ts::imBytes(12, 9, [](int, int) { return 7; }, 2, "BytesPerPixel=2,ExposureTime=250 ms")));
        b.selectedDark(dark);
        QCOMPARE(b.DarkFileName->text(), QString("dark.img"));
        QCOMPARE(b.DarkExpTime->text(), QString("250"));
        QCOMPARE(b.i1DarkAreaValues.value(0), 43.0);
        b.clearDark();
        QCOMPARE(b.i1DarkAreaValues.value(0), 50.0);
        b.i1DarkAreaValues[0] = -1;
        b.SelectI1Files->additionalSetup().UpDateDA->click();
        QCOMPARE(b.i1DarkAreaValues.value(0), 50.0);
        b.selectedDark(dir.filePath("missing.img"));
        QVERIFY(!b.darkImage);
        b.SelectI1Files->additionalSetup().ClearDA->click();
        QVERIFY(b.i1DarkAreaValues.isEmpty());
    }

    void viewFollowsTheMouseAndTheSteps()
    {
        Body b;
        load(b);
        b.HWidth->setText("2");
        b.VWidth->setText("3");
        b.SelectI0Files->setShowLatest(false);
        b.SelectI1Files->setShowLatest(false);
        b.SelectI1Files->Selected->setCurrentIndex(6);
        b.showData(6);
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        b.dispA->repaint();  // sets the image-to-screen frame
        const ChCoord& cc = b.dispA->coord;
        QMouseEvent move(QEvent::MouseMove, QPoint(int(cc.r2sx(12.5)), int(cc.r2sy(7.5))), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(b.dispA, &move);
        QCOMPARE(b.cursorX, 12);
        QCOMPARE(b.cursorY, 7);
        QCOMPARE(b.HCross->markerPos, 12);
        QCOMPARE(b.VCross->markerPos, 7);
        // Profiles in mu: boxes three pixels wide, as high as the other half width.
        const TiffData* img = b.i1Images[6];
        const QVector<TiffData*> i0(b.i0Images.rbegin(), b.i0Images.rend());
        auto muAt = [&](int x, int y, int dx, int dy) {
            return std::log(TiffData::areaValue(i0, img->energy, x, y, dx, dy) / img->sumBox(x, y, dx, dy));
        };
        QCOMPARE(b.HCross->profile.size(), W);
        QCOMPARE(b.VCross->profile.size(), H);
        for (int x = 0; x < W; x += 7) QVERIFY(std::abs(b.HCross->profile.yAt(x) - muAt(x, 7, 1, 3)) < 1e-9);
        for (int y = 0; y < H; y += 5) QVERIFY(std::abs(b.VCross->profile.yAt(y) - muAt(12, y, 1, 2)) < 1e-9);
        QCOMPARE(b.Value->text(), withThousandsSeparators(QString::number(img->pixelValue(12, 7), 'g', 4)));

        // The cursor box takes the half widths' absolute values.
        b.HWidth->setText("-3");
        b.VWidth->setText("-3");
        QImage canvas(b.dispA->size(), QImage::Format_RGB32);
        canvas.fill(Qt::white);
        {
            QPainter p(&canvas);
            b.draw(&p);
        }
        const int left = int(cc.r2sx(12 - 3));
        const int right = left + int(cc.r2sdx(7));  // corner and size each cut to whole pixels
        const int row = int(cc.r2sy(7 - 2));
        QCOMPARE(QColor(canvas.pixel(left, row)), QColor(Qt::red));
        QCOMPARE(QColor(canvas.pixel(right, row)), QColor(Qt::red));
        QVERIFY(QColor(canvas.pixel((left + right) / 2 + 3, row)) != QColor(Qt::red));

        // Steps through either stack; I0 profiles are raw box sums.
        b.next();
        QCOMPARE(b.dispA->image, b.i1Images[7]);
        QCOMPARE(b.SeekBar->value(), 7);
        b.ShowI0->setChecked(true);
        b.SelectI0Files->Selected->setCurrentIndex(2);
        b.dispImgSelected(true);
        QCOMPARE(b.dispA->image, b.i0Images[2]);
        QCOMPARE(b.makeXCrossSection(7, 1, 3, false).yAt(12), b.i0Images[2]->sumBox(12, 7, 1, 3));
        b.next();
        QCOMPARE(b.dispA->image, b.i0Images[3]);
        b.prev();
        b.prev();
        QCOMPARE(b.dispA->image, b.i0Images[1]);
        // Past the I0 stack: no marker, nothing new shown.
        b.sliderMoved(10);
        QCOMPARE(b.specWindow->markerEnergy, -1.0);
        QCOMPARE(b.dispA->image, b.i0Images[1]);
        b.sliderMoved(4);
        QCOMPARE(b.specWindow->markerEnergy, b.i0Images[4]->energy);
        QCOMPARE(b.SelectI0Files->Selected->currentIndex(), 4);

        b.ShowShiftMap->setChecked(true);
        QCOMPARE(b.dispA->overlayMap, &b.shiftMap);
        b.ShowData->setChecked(true);
        QVERIFY(!b.dispA->showOverlay);
        QCOMPARE(b.dispA->image, b.i1Images[7]);
        // A colour change rebuilds the display image; the view follows it.
        b.cBarUpdating();
        b.cBarUpdated();
        QCOMPARE(b.dispA->baseImage, b.i1Images[7]->image);
    }

    void saversReportAndWriteWholeFiles()
    {
        QTemporaryDir dir;
        const QString oldCwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        Body b;
        // Nothing loaded, no map selected: nothing written.
        QVERIFY(!b.saveFlatDark());
        QVERIFY(!b.saveEachSpectrum(dir.filePath("none")));
        QVERIFY(!b.saveData(dir.filePath("m.dat")));
        QVERIFY(filesIn(dir.path()).isEmpty());
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
        QVERIFY(b.saveImageWNum(dir.filePath("view.png"), "7"));
        QVERIFY(QFile::exists(dir.filePath("view-7-cBar.png")));
        const QImage viewed = b.dispA->viewedImage();
        QCOMPARE(QImage(dir.filePath("view-7.png")).convertToFormat(viewed.format()), viewed);
        const QStringList before = filesIn(dir.path());
        QVERIFY(!b.saveImage(dir.filePath("flat.dat/x.png")));  // folder is a file
        QVERIFY(!b.saveImage(dir.filePath("nosuffix")));
        QVERIFY(!b.saveEachSpectrum(dir.filePath("flat.dat/each")));
        QCOMPARE(filesIn(dir.path()), before);

        // Per-point spectra of the selected area: a line per block, the
        // first the first block's box spectrum (or its raw intensities).
        b.HWidth->setText("4");
        b.VWidth->setText("3");
        b.dispA->setSelectedArea(2, 1, 20, 12);
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
            const Spectrum s = raw ? b.makeRawSpectrum(g.curX, g.curY, 4, 3) : b.makeXafsSpectrum(g.curX, g.curY, 4, 3);
            const int o = raw ? 2 : 3;  // raw lines carry no energy shift
            QCOMPARE(f.size(), o + 2 * s.size());
            for (int i = 0; i < s.size(); ++i) {
                QCOMPARE(f[o + 2 * i].toDouble(), s.xAt(i));
                QVERIFY(std::abs(f[o + 1 + 2 * i].toDouble() - s.yAt(i)) <= 1e-5 * std::abs(s.yAt(i)));
            }
        }
        b.SaveAsNormalizedXAFS->setChecked(true);
        QVERIFY(b.saveEachSpectrum(dir.filePath("norm")));
        QCOMPARE(ts::readAll(dir.filePath("norm.dat")).count('\n'), 7 + int(g.blockCount()));
    }
};

QTEST_MAIN(TstBodyDisplay)
#include "tst_bodydisplay.moc"
