// The spectrum view: its range, curve pieces and nearest point, the raw and
// Fourier plots driven by real events, the saved files, and spectra that
// cannot be drawn.
#include "widgets/DispA.h"
#include "widgets/SpecPane.h"
#include "widgets/SpecPaneMath.h"

#include "core/Globals.h"
#include "core/SuggestElm.h"
#include "core/XafsSpectrum.h"

#include "support/Files.h"
#include "support/WidgetEvents.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <complex>
#include <limits>

using namespace SpecPaneMath;

struct Range
{
    double lo0, hi0, c, f, pan;
    bool changes;
    double lo, hi;
};
Q_DECLARE_METATYPE(Range)

namespace
{
const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
// A 600 x 400 surface plots x 60 .. 570, y 360 .. 20.
const QPointF plotMiddle(315, 200);

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

    // A shown view whose drawing surface is exactly 600 x 400.
    void prepare(SpecPane& pane)
    {
        pane.ui.Xafs->setFixedSize(600, 400);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
    }
    QImage paint(SpecPane& pane) { return pane.ui.Xafs->grab().toImage(); }
    static QPointF xRange(const SpecPane& pane) { return QPointF(pane.coord.realX0, pane.coord.realX1); }
    static QPointF yRange(const SpecPane& pane) { return QPointF(pane.coord.realY0, pane.coord.realY1); }

private slots:
    void initTestCase() { initGlobals(); }

    // A range scaled by f about c, or moved by pan; a result that is not a
    // finite, non-empty range changes nothing.
    void zoomAndPan_data()
    {
        QTest::addColumn<Range>("r");
        QTest::newRow("out off centre") << Range{8900, 9100, 8950, 1.1, 0, true, 8895, 9115};
        QTest::newRow("pan") << Range{8900, 9100, 0, 1, -20, true, 8880, 9080};
        QTest::newRow("factor 0") << Range{8900, 9100, 9000, 0, 0, false, 8900, 9100};
        QTest::newRow("NaN centre") << Range{8900, 9100, kNan, 1.1, 0, false, 8900, 9100};
        QTest::newRow("infinite factor") << Range{8900, 9100, 9000, kInf, 0, false, 8900, 9100};
        QTest::newRow("infinite pan") << Range{8900, 9100, 0, 1, kInf, false, 8900, 9100};
        QTest::newRow("one point") << Range{5, 5, 5, 1.1, 0, false, 5, 5};
        QTest::newRow("whole double line") << Range{-DBL_MAX, DBL_MAX, 0, 1.1, 0, false, -DBL_MAX, DBL_MAX};
    }
    void zoomAndPan()
    {
        QFETCH(Range, r);
        double a = r.lo0, b = r.hi0;
        QCOMPARE(r.pan != 0 ? panRange(a, b, r.pan) : zoomRange(a, b, r.c, r.f), r.changes);
        QCOMPARE(a, r.lo);
        QCOMPARE(b, r.hi);
    }

    void curvePieces_data()
    {
        QTest::addColumn<QVector<double>>("keys");
        QTest::addColumn<QVector<int>>("starts");
        QTest::newRow("empty") << QVector<double>{} << QVector<int>{};
        QTest::newRow("one") << QVector<double>{7} << QVector<int>{0};
        QTest::newRow("50 eV joins, above breaks") << QVector<double>{8800, 8850, 8900, 8950.0001, 8960}
                                                   << QVector<int>{0, 3};
        QTest::newRow("every step too wide") << QVector<double>{0, 60, 120} << QVector<int>{0, 1, 2};
        QTest::newRow("backwards") << QVector<double>{9000, 8900, 8890} << QVector<int>{0, 1};
        QTest::newRow("NaN joins") << QVector<double>{0, kNan, 10} << QVector<int>{0};
    }
    void curvePieces()
    {
        QFETCH(QVector<double>, keys);
        QFETCH(QVector<int>, starts);
        const auto runs = pieces(keys);
        QCOMPARE(runs.size(), starts.size());
        for (int i = 0; i < runs.size(); ++i) {
            QCOMPARE(runs[i].first, starts[i]);
            QCOMPARE(runs[i].second, i + 1 < starts.size() ? starts[i + 1] : keys.size());
        }
    }

    void nearestPoint_data()
    {
        QTest::addColumn<double>("E");
        QTest::addColumn<int>("index");
        QTest::newRow("before") << -5.0 << 0;
        QTest::newRow("left of midpoint") << 4.9 << 0;
        QTest::newRow("midpoint goes right") << 5.0 << 1;
        QTest::newRow("near last") << 15.1 << 2;
        QTest::newRow("far beyond") << 1e300 << 2;
        QTest::newRow("NaN") << kNan << 2;
    }
    void nearestPoint()
    {
        QFETCH(double, E);
        QFETCH(int, index);
        QCOMPARE(nearestIndex({{0, 0}, {10, 0}, {20, 0}}, E), index);
        QCOMPARE(nearestIndex({}, E), -1);
    }

    void rawAndFourierPlots()
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
        QCOMPARE(xRange(pane), QPointF(0, 100));
        QCOMPARE(yRange(pane), QPointF(raw.minY, raw.maxY));

        // The wheel zooms the raw axis about the cursor, a drag pans it by
        // what was dragged (51 pixels of about 90.9 images); the energy range
        // stays as it was.
        DispA* xafs = pane.ui.Xafs;
        WidgetEvents::move(xafs, plotMiddle);
        QCOMPARE(pane.ui.XVal->text(), QString("50.0"));
        QCOMPARE(pane.ui.Position->text(), QString("50"));
        WidgetEvents::wheel(xafs, plotMiddle, QPoint(0, 120));
        paint(pane);
        QCOMPARE(xRange(pane), QPointF(50 - 50 / 1.1, 50 + 50 / 1.1));
        WidgetEvents::drag(xafs, plotMiddle, plotMiddle + QPointF(51, 0));
        paint(pane);
        QCOMPARE(pane.coord.realX0, 50 - 50 / 1.1 - 51 * (100 / 1.1) / 510);
        QCOMPARE(QPointF(pane.xMin, pane.xMax), QPointF(8900, 9100));
        pane.ui.ShowRaw->setChecked(false);
        paint(pane);
        QCOMPARE(xRange(pane), QPointF(8900, 9100));
        WidgetEvents::move(xafs, plotMiddle);
        QCOMPARE(pane.ui.XVal->text(), QString("9000.0"));
        QCOMPARE(pane.ui.Position->text(), QString("1"));

        // The Fourier scale is that of bins 1 .. 8 of the magnitudes, by a plain DFT.
        pane.ui.ShowRaw->setChecked(true);
        pane.ui.ResetXScale->click();
        pane.ui.ShowFFT->setChecked(true);
        paint(pane);
        QCOMPARE(xRange(pane), QPointF(0, 10));
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
        QCOMPARE(xRange(pane), QPointF(0, 2));
        QCOMPARE(yRange(pane), QPointF(0, 1));
    }

    void saveDataFileLayout()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        SpecPane pane;
        XafsSpectrum cur = plainSpectrum({{8990, 1.5}, {9000, 2.25}, {9010.5, 3}});
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
        QCOMPARE(ts::readLines(dir.filePath("s-other1.dat")).value(7), QString("8990\t0.1\t1.5\t1.899\t-4493"));
        QVERIFY(!QFile::exists(dir.filePath("s-other0.dat")));
        // The empty reference: its header alone.
        QCOMPARE(ts::readLines(dir.filePath("s-std.dat")).size(), 7);
    }

    // Every plot mode painted and driven by the mouse, the same points as the
    // raw series too, with element rows that are not energies.
    void degenerateSpectraPaint_data()
    {
        QTest::addColumn<QVector<QPointF>>("points");
        QVector<QPointF> nine;  // no Fourier bin at all
        for (int i = 0; i < 9; ++i) nine << QPointF(8900 + i, i);
        QTest::newRow("empty") << QVector<QPointF>{};
        QTest::newRow("one point") << QVector<QPointF>{{9000, 1}};
        QTest::newRow("flat") << QVector<QPointF>{{8900, 1}, {9000, 1}, {9100, 1}};
        QTest::newRow("one energy") << QVector<QPointF>{{8900, 1}, {8900, 2}, {8900, 3}, {8900, 4}};
        QTest::newRow("not numbers") << QVector<QPointF>{{8900, kNan}, {9000, 1}, {9100, kInf}, {9200, -kInf}};
        QTest::newRow("huge energies") << QVector<QPointF>{{-1e300, 0}, {0, 1}, {1e300, 2}};
        QTest::newRow("huge values") << QVector<QPointF>{{8900, 1e308}, {9000, -1e308}, {9100, 1e308}};
        QTest::newRow("nine") << nine;
    }
    void degenerateSpectraPaint()
    {
        QFETCH(QVector<QPointF>, points);
        SpecPane pane;
        prepare(pane);
        pane.markerEnergy = 1e300;
        pane.elemRows = [] {
            return QVector<ElemRowInfo>{{"abc", "X"}, {"1e308", "Y"}, {"nan", "Z"}, {"-inf", ""}};
        };
        Spectrum s;
        for (const QPointF& p : points) s.append(p);
        pane.setXafsSpectrum(XafsSpectrum(s, "x", 1, 0, SuggestElm()));
        const XafsSpectrum other(s, "o", 0, 0, SuggestElm());
        pane.others = {other};
        pane.reference = other;
        pane.setRawSpectrum(s);
        DispA* xafs = pane.ui.Xafs;
        for (int mode = 0; mode < 4; ++mode) {
            pane.setNormalize(mode == 1);
            pane.ui.ShowRaw->setChecked(mode >= 2);
            pane.ui.ShowFFT->setChecked(mode == 3);
            QVERIFY(!paint(pane).isNull());
            WidgetEvents::move(xafs, plotMiddle);
            WidgetEvents::wheel(xafs, plotMiddle, QPoint(0, 120));
            WidgetEvents::wheel(xafs, plotMiddle, QPoint(0, -120));
            WidgetEvents::drag(xafs, plotMiddle, plotMiddle + QPointF(40, -100));
            QVERIFY(!paint(pane).isNull());
            QVERIFY(!pane.ui.ExtMsg->text().isEmpty());
        }
        // Squeezed to nothing, it still paints and zooms to finite numbers.
        xafs->setFixedSize(1, 1);
        pane.ui.ShowRaw->setChecked(false);
        QVERIFY(!paint(pane).isNull());
        WidgetEvents::wheel(xafs, QPointF(0, 0), QPoint(0, 120));
        QVERIFY(std::isfinite(pane.xMin) && std::isfinite(pane.xMax));
        // A view never shown paints as well.
        SpecPane hidden;
        hidden.setXafsSpectrum(XafsSpectrum(s, "x", 1, 0, SuggestElm()));
        QVERIFY(!hidden.ui.Xafs->grab().isNull());
    }
};

QTEST_MAIN(TestSpecPane)
#include "tst_specpane.moc"
