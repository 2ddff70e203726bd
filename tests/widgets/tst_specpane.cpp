#include "widgets/ChCoord.h"
#include "widgets/DispA.h"
#include "widgets/SpecPane.h"
#include "widgets/SpecPaneMath.h"
#include "widgets/_FileDialog.h"

#include "core/Globals.h"
#include "core/SuggestElm.h"
#include "core/XafsSpectrum.h"

#include "support/Files.h"
#include "support/Spectra.h"
#include "support/WidgetEvents.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <complex>
#include <limits>

using namespace SpecPaneMath;

namespace
{
const int W = 600;
const int H = 400;
// With the default margins a 600 x 400 surface plots x 60 .. 570, y 360 .. 20.
const int plotLeft = 60;
const int plotMidX = 315;

XafsSpectrum plainSpectrum(const QVector<QPointF>& pts)
{
    XafsSpectrum s;
    for (const QPointF& p : pts) s.append(p);
    return s;
}

}  // namespace

class TestSpecPane : public QObject
{
    Q_OBJECT

    // A shown view whose drawing surface is exactly W x H.
    void prepare(SpecPane& pane)
    {
        pane.ui.Xafs->setFixedSize(W, H);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
    }
    QImage paint(SpecPane& pane) { return pane.ui.Xafs->grab().toImage(); }

private slots:
    void initTestCase() { initGlobals(); }

    void rawModeScales()
    {
        SpecPane pane;
        prepare(pane);
        pane.setXafsSpectrum(plainSpectrum({{8900, 0}, {9000, 1}, {9100, 2}}));
        Spectrum raw;
        for (int i = 0; i < 100; ++i) raw.append(8000 + i, 1000 + 10 * std::sin(i * 0.7) + i);
        pane.setRawSpectrum(raw);
        pane.ui.ShowRaw->setChecked(true);

        paint(pane);
        // The axes are drawn in the raw units: images along x, intensities up.
        QCOMPARE(pane.coord.realX0, 0.0);
        QCOMPARE(pane.coord.realX1, 100.0);
        QCOMPARE(pane.coord.realY0, raw.minY);
        QCOMPARE(pane.coord.realY1, raw.maxY);

        // The wheel zooms the raw axis about the cursor, not the energy range.
        DispA* xafs = pane.ui.Xafs;
        WidgetEvents::move(xafs, QPointF(plotMidX, 200));
        QCOMPARE(pane.ui.XVal->text(), QString("50.0"));
        QCOMPARE(pane.ui.Position->text(), QString("50"));
        WidgetEvents::wheel(xafs, QPointF(plotMidX, 200), QPoint(0, 120));
        QCOMPARE(pane.xMin, 8900.0);
        QCOMPARE(pane.xMax, 9100.0);
        paint(pane);
        QVERIFY(std::fabs(pane.coord.realX0 - (50 - 50 / 1.1)) < 1e-9);
        QVERIFY(std::fabs(pane.coord.realX1 - (50 + 50 / 1.1)) < 1e-9);
        // A drag pans it by what was dragged: 51 pixels of about 90.9 images.
        const double before = pane.coord.realX0;
        WidgetEvents::drag(xafs, QPointF(plotMidX, 200), QPointF(plotMidX + 51, 200));
        paint(pane);
        QVERIFY(std::fabs(pane.coord.realX0 - (before - 51 * (100 / 1.1) / 510)) < 1e-9);
        QCOMPARE(pane.xMin, 8900.0);
        QCOMPARE(pane.xMax, 9100.0);
        // Back in the energy plot the range is as it was before the raw zoom.
        pane.ui.ShowRaw->setChecked(false);
        paint(pane);
        QCOMPARE(pane.coord.realX0, 8900.0);
        QCOMPARE(pane.coord.realX1, 9100.0);
        WidgetEvents::move(xafs, QPointF(plotMidX, 200));
        QCOMPARE(pane.ui.XVal->text(), QString("9000.0"));
        QCOMPARE(pane.ui.Position->text(), QString("1"));
        pane.ui.ShowRaw->setChecked(true);

        pane.ui.ResetXScale->click();
        pane.ui.ShowFFT->setChecked(true);
        paint(pane);
        QCOMPARE(pane.coord.realX0, 0.0);
        QCOMPARE(pane.coord.realX1, 10.0);
        // The scale is that of bins 1 .. 8 of the magnitudes, by a plain DFT.
        double lo = DBL_MAX, hi = -DBL_MAX;
        for (int k = 1; k <= 8; ++k) {
            std::complex<double> sum = 0;
            for (int j = 0; j < 100; ++j) sum += raw.points[j].y() * std::polar(1.0, -2 * M_PI * j * k / 100);
            lo = std::min(lo, std::abs(sum));
            hi = std::max(hi, std::abs(sum));
        }
        QVERIFY(std::fabs(pane.coord.realY0 - lo) < 1e-7 * hi);
        QVERIFY(std::fabs(pane.coord.realY1 - hi) < 1e-7 * hi);

        // Too few images for a scale: the axis keeps a plain 0 .. 1.
        Spectrum few;
        for (int i = 0; i < 25; ++i) few.append(i, i);
        pane.setRawSpectrum(few);
        paint(pane);
        QCOMPARE(pane.coord.realX1, 2.0);
        QCOMPARE(pane.coord.realY0, 0.0);
        QCOMPARE(pane.coord.realY1, 1.0);
    }

    void saveDataFileLayout()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        SpecPane pane;
        XafsSpectrum cur;
        cur.append(8990, 1.5);
        cur.append(9000, 2.25);
        cur.append(9010.5, 3);
        cur.doubleNormalizedPreBaseCurve.append(8990, 0.1);
        cur.doubleNormalizedPreBaseCurve.append(9000, -0.25);
        cur.energyOffset = 0.5;
        cur.midx = 9000.25;
        cur.dMut = 0.123456789;
        cur.pre.c0 = 1;
        cur.pre.k = 0.0001;
        cur.post.c0 = 2;
        cur.post.k = -0.5;
        cur.post.c1 = 3;
        cur.post.c2 = 1e-7;
        pane.setXafsSpectrum(cur);
        XafsSpectrum other(cur);
        other.energyOffset = 100;
        // An entry switched off writes no file; the numbers follow positions.
        XafsSpectrum off(other);
        off.kind = false;
        pane.others = {off, other};
        pane.saveData(dir.filePath("s.dat"));

        const QByteArray header = "###Corvenlith::XafsSpectrum\n"
                                  "# midx    : 9000.25\n"
                                  "# dMut    : 0.123457\n"
                                  "# pre   vic : 1 0.0001 0 0\n"
                                  "# poste vic : 2 -0.5 3 1e-07\n"
                                  "#\n"
                                  "# x  double-normalized-pre-base y pre post\n";
        // x less the offset only in the current's file; a missing
        // double-normalised value is 0; the lines at the stored energies.
        QCOMPARE(ts::readAll(dir.filePath("s-T.dat")), header
                     + "8989.5\t0.1\t1.5\t1.899\t-4493\n"
                       "8999.5\t-0.25\t2.25\t1.9\t-4498\n"
                       "9010\t0\t3\t1.90105\t-4503.25\n");
        QCOMPARE(ts::readAll(dir.filePath("s-other1.dat")), header
                     + "8990\t0.1\t1.5\t1.899\t-4493\n"
                       "9000\t-0.25\t2.25\t1.9\t-4498\n"
                       "9010.5\t0\t3\t1.90105\t-4503.25\n");
        QVERIFY(!QFile::exists(dir.filePath("s-other0.dat")));
        QCOMPARE(ts::readAll(dir.filePath("s-std.dat")),
                 QByteArray("###Corvenlith::XafsSpectrum\n# midx    : 0\n# dMut    : 0\n"
                            "# pre   vic : 0 0 0 0\n# poste vic : 0 0 0 0\n#\n"
                            "# x  double-normalized-pre-base y pre post\n"));
    }

    void degenerateSpectraPaint()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        const QVector<QVector<QPointF>> cases{
            {},
            {{9000, 1}},
            {{8900, 1}, {9000, 1}, {9100, 1}},
            {{8900, 1}, {8900, 2}, {8900, 3}, {8900, 4}},
            {{8900, nan}, {9000, 1}, {9100, inf}, {9200, -inf}},
            {{-1e300, 0}, {0, 1}, {1e300, 2}},
            {{8900, 1e308}, {9000, -1e308}, {9100, 1e308}},
        };
        SpecPane pane;
        prepare(pane);
        pane.markerEnergy = 1e300;
        pane.elemRows = [] {
            return QVector<ElemRowInfo>{{"abc", "X"}, {"1e308", "Y"}, {"nan", "Z"}, {"-inf", ""}};
        };
        DispA* xafs = pane.ui.Xafs;
        for (const auto& pts : cases) {
            Spectrum s;
            for (const QPointF& p : pts) s.append(p);
            pane.setXafsSpectrum(XafsSpectrum(s, "x", 1, 0, SuggestElm()));
            XafsSpectrum other(s, "o", 0, 0, SuggestElm());
            pane.others = {other};
            pane.reference = other;
            pane.setRawSpectrum(s);
            for (int mode = 0; mode < 4; ++mode) {
                pane.setNormalize(mode == 1);
                pane.ui.ShowRaw->setChecked(mode >= 2);
                pane.ui.ShowFFT->setChecked(mode == 3);
                QVERIFY(!paint(pane).isNull());
                WidgetEvents::move(xafs, QPointF(plotMidX, 200));
                WidgetEvents::wheel(xafs, QPointF(plotMidX, 200), QPoint(0, 120));
                WidgetEvents::wheel(xafs, QPointF(plotMidX, 200), QPoint(0, -120));
                WidgetEvents::drag(xafs, QPointF(plotMidX, 200), QPointF(plotMidX + 40, 100));
                QVERIFY(!paint(pane).isNull());
                QVERIFY(!pane.ui.ExtMsg->text().isEmpty());
            }
            pane.ui.ResetXScale->click();
        }
        // Nine images give no Fourier bin at all.
        Spectrum nine;
        for (int i = 0; i < 9; ++i) nine.append(i, i);
        pane.setRawSpectrum(nine);
        QVERIFY(!paint(pane).isNull());

        // A view never shown, and one squeezed to nothing, paint as well.
        SpecPane hidden;
        QVERIFY(!hidden.ui.Xafs->grab().isNull());
        pane.ui.Xafs->setFixedSize(1, 1);
        pane.ui.ShowRaw->setChecked(false);
        pane.setXafsSpectrum(plainSpectrum({{8900, 0}, {9000, 1}}));
        QVERIFY(!paint(pane).isNull());
        WidgetEvents::wheel(xafs, QPointF(0, 0), QPoint(0, 120));
        QVERIFY(std::isfinite(pane.xMin) && std::isfinite(pane.xMax));
    }
};

QTEST_MAIN(TestSpecPane)
#include "tst_specpane.moc"
