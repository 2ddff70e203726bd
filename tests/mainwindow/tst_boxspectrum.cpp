#include "mainwindow/BoxSpectrum.h"
#include "mainwindow/CrossSection.h"

#include "core/Analyzed2DRes.h"
#include "core/TiffData.h"
#include "support/Frames.h"

#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

// A synthetic detector: a beam profile b(x, y) that grows linearly with
// energy, a sample of absorption mu(E) uniform over the detector, a dark rate
// r(x, y) per ms, and a drift added to every pixel of an image. Images are
// float frames so the comparisons are not limited by 16-bit rounding.
namespace {

const int W = 40;
const int H = 30;

double beam(double x, double y, double e)
{
    return (200.0 + 3.0 * x + 2.0 * y) * (1.0 + 0.002 * (e - 7100.0));
}
double mu(double e) { return 0.4 + 1.2 * (0.5 + std::atan((e - 7112.0) / 4.0) / M_PI); }
double darkRate(double x, double y) { return 0.8 + 0.01 * x + 0.02 * y; }

TiffData* frame(double energy, double expMs, const ts::PixelFn& px)
{
    TiffData* d = ts::floatFrame(W, H, px, energy);
    d->exposureMs = expMs;
    return d;
}

struct Stacks
{
    QVector<TiffData*> i1, i0;
    std::unique_ptr<TiffData> dark;
    ~Stacks()
    {
        deleteTiffDataList(i1);
        deleteTiffDataList(i0);
    }
};

double inside(int x, int y) { return x >= 0 && x < W && y >= 0 && y < H ? 1.0 : 0.0; }

// Sums f over the box the way the detector sees it (outside counts 0).
double boxSum(int x, int y, int dx, int dy, const std::function<double(int, int)>& f)
{
    double s = 0;
    for (int yy = y - std::abs(dy); yy <= y + std::abs(dy); ++yy)
        for (int xx = x - std::abs(dx); xx <= x + std::abs(dx); ++xx)
            if (inside(xx, yy) > 0) s += f(xx, yy);
    return s;
}

}  // namespace

class TstBoxSpectrum : public QObject
{
    Q_OBJECT

    QVector<double> i1Energies() const
    {
        QVector<double> e;
        for (int k = 0; k < 24; ++k) e.append(7080.0 + 3.0 * k);
        return e;
    }

    // I1 at t1 ms, I0 at t0 ms on a coarser grid given in descending order,
    // both with the detector dark and a per-image drift; a dark image at tD ms.
    void makeStacks(Stacks& s, double t1, double t0, double tD, bool drift)
    {
        const QVector<double> e1 = i1Energies();
        for (int k = 0; k < e1.size(); ++k) {
            const double e = e1[k];
            const double dr = drift ? 5.0 * k : 0.0;
            s.i1.append(frame(e, t1, [=](int x, int y) {
                return beam(x, y, e) * t1 * std::exp(-mu(e)) + darkRate(x, y) * t1 + dr;
            }));
        }
        for (int k = 14; k >= 0; --k) {
            const double e = 7070.0 + 7.0 * k;
            const double dr = drift ? 2.0 * k : 0.0;
            s.i0.append(frame(e, t0, [=](int x, int y) {
                return beam(x, y, e) * t0 + darkRate(x, y) * t0 + dr;
            }));
        }
        s.dark.reset(frame(0, tD, [=](int x, int y) { return darkRate(x, y) * tD; }));
    }

    BoxSpectrumConds conds(const Stacks& s, double t1, double t0, double tD) const
    {
        BoxSpectrumConds c;
        c.imageWidth = W;
        c.imageHeight = H;
        c.dark = s.dark.get();
        c.darkExpTime = tD;
        c.i1ExpTime = t1;
        c.i0ExpTime = t0;
        return c;
    }

private slots:
    void transmissionWithI0AndScaledDark_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::newRow("centre 21x21") << 20 << 15 << 10 << 10;
        QTest::newRow("negative half widths") << 20 << 15 << -3 << -5;
        QTest::newRow("box over the corner") << 1 << 2 << 4 << 6;
        QTest::newRow("single pixel") << 39 << 29 << 0 << 0;
    }
    void transmissionWithI0AndScaledDark()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, dx);
        QFETCH(int, dy);
        // Dark at 100 ms, I1 at 50 ms, I0 at 20 ms: the dark must be scaled to
        // each stack, and I0 interpolated to each I1 energy although its
        // stack is in descending order.
        Stacks s;
        makeStacks(s, 50, 20, 100, false);
        const Spectrum sp = BoxSpectrum::xafs(s.i1, s.i0, x, y, dx, dy, conds(s, 50, 20, 100));
        const QVector<double> e1 = i1Energies();
        QCOMPARE(sp.size(), e1.size());
        for (int k = 0; k < e1.size(); ++k) {
            QCOMPARE(sp.points[k].x(), e1[k]);
            QVERIFY2(std::abs(sp.points[k].y() - (mu(e1[k]) + std::log(20.0 / 50.0))) < 1e-4,
                     qPrintable(QString::number(k)));
        }
    }

    void withoutI0TheBoxPixelCountIsI0()
    {
        Stacks s;
        makeStacks(s, 50, 20, 100, false);
        BoxSpectrumConds c = conds(s, 50, 20, 100);
        c.useI0 = false;
        const Spectrum sp = BoxSpectrum::xafs(s.i1, s.i0, 20, 15, -10, 10, c);
        QCOMPARE(sp.size(), 24);
        for (int k = 0; k < sp.size(); ++k) {
            const double e = sp.points[k].x();
            const double i1 = boxSum(20, 15, 10, 10, [&](int xx, int yy) {
                return beam(xx, yy, e) * 50 * std::exp(-mu(e));
            });
            QVERIFY(std::abs(sp.points[k].y() - std::log(441.0 / i1)) < 1e-4);
        }
    }

    void fluorescenceIsTheRatio()
    {
        Stacks s;
        makeStacks(s, 40, 10, 25, false);
        BoxSpectrumConds c = conds(s, 40, 10, 25);
        c.fluorescence = true;
        const Spectrum sp = BoxSpectrum::xafs(s.i1, s.i0, 12, 9, 3, 2, c);
        QCOMPARE(sp.size(), 24);
        for (int k = 0; k < sp.size(); ++k) {
            const double want = 4.0 * std::exp(-mu(sp.points[k].x()));
            QVERIFY(std::abs(sp.points[k].y() - want) < 1e-4 * want);
        }
    }

    void darkAreasFollowTheDrift()
    {
        // No dark image: each stack's dark level comes from its dark area.
        // The dark rate is made uniform so the area's mean is the level of
        // every pixel; the area lies where the beam is blocked.
        Stacks s;
        const QVector<double> e1 = i1Energies();
        const QRectF area(30, 0, 5, 3);
        auto blocked = [&](int x, int y) { return area.contains(x, y) ? 0.0 : 1.0; };
        for (int k = 0; k < e1.size(); ++k) {
            const double e = e1[k];
            s.i1.append(frame(e, 50, [=](int x, int y) {
                return blocked(x, y) * beam(x, y, e) * 50 * std::exp(-mu(e)) + 40 + 3.0 * k;
            }));
        }
        // A shorter I0 stack: past its end no I0 dark-area value exists.
        for (int k = 0; k < 10; ++k) {
            const double e = 7070.0 + 8.0 * k;
            s.i0.append(frame(e, 50, [=](int x, int y) { return blocked(x, y) * beam(x, y, e) * 50 + 7; }));
        }
        QVERIFY(BoxSpectrum::usableDarkArea(area));
        QVector<double> v1, v0;
        BoxSpectrum::appendDarkAreaValues(v1, s.i1, area, nullptr);
        BoxSpectrum::appendDarkAreaValues(v0, s.i0, area, nullptr);
        QCOMPARE(v1.size(), 24);
        QCOMPARE(v0.size(), 10);
        for (int k = 0; k < 24; ++k) QVERIFY(std::abs(v1[k] - (40 + 3.0 * k)) < 1e-9);
        for (int k = 0; k < 10; ++k) QVERIFY(std::abs(v0[k] - 7) < 1e-9);

        BoxSpectrumConds c;
        c.imageWidth = W;
        c.imageHeight = H;
        c.i1DarkAreaValues = &v1;
        c.i0DarkAreaValues = &v0;
        const Spectrum sp = BoxSpectrum::xafs(s.i1, s.i0, 10, 12, 4, 4, c);
        QCOMPARE(sp.size(), 24);
        for (int k = 0; k < 24; ++k) {
            const double e = e1[k];
            if (k < 10) {
                QVERIFY(std::abs(sp.points[k].y() - mu(e)) < 1e-4);
            } else {
                // I0 keeps its own offset: 7 per pixel of 81.
                const double i0 = TiffData::areaValue(BoxSpectrum::sortedByEnergy(s.i0), e, 10, 12, 4, 4);
                const double i1 = boxSum(10, 12, 4, 4, [&](int xx, int yy) {
                    return beam(xx, yy, e) * 50 * std::exp(-mu(e));
                });
                QVERIFY(std::abs(sp.points[k].y() - std::log(i0 / i1)) < 1e-4);
            }
        }

        // Values already present are kept; only missing ones are added.
        v1.resize(5);
        v1[0] = 1234;
        BoxSpectrum::appendDarkAreaValues(v1, s.i1, area, nullptr);
        QCOMPARE(v1.size(), 24);
        QCOMPARE(v1[0], 1234.0);
        QVERIFY(std::abs(v1[23] - (40 + 3.0 * 23)) < 1e-9);
    }

    void darkAreaLessTheDarkImage()
    {
        Stacks s;
        makeStacks(s, 50, 20, 50, true);
        const QRectF area(2, 3, 4, 2);  // 5 x 3 pixels from (2, 3)
        QVector<double> v;
        BoxSpectrum::appendDarkAreaValues(v, s.i1, area, s.dark.get());
        QCOMPARE(v.size(), s.i1.size());
        for (int k = 0; k < v.size(); ++k) {
            double want = 0;
            for (int y = 3; y <= 5; ++y)
                for (int x = 2; x <= 6; ++x) want += s.i1[k]->pixelValue(x, y) - s.dark->pixelValue(x, y);
            QVERIFY(std::abs(v[k] - want / 15) < 1e-6);
        }
    }

    void refusedDarkAreas()
    {
        QVERIFY(BoxSpectrum::usableDarkArea(QRectF(0, 0, 0, 0)));
        for (const QRectF& r : {QRectF(0, 0, -1, 3), QRectF(0, 0, 3, -2), QRectF(qQNaN(), 0, 3, 3), QRectF(0, 0, qInf(), 3)})
            QVERIFY(!BoxSpectrum::usableDarkArea(r));
    }

    void unusableDarkExposureGivesFiniteValues()
    {
        Stacks s;
        makeStacks(s, 50, 20, 100, false);
        for (double tD : {0.0, -5.0, qQNaN()}) {
            BoxSpectrumConds c = conds(s, 50, 20, tD);
            const Spectrum sp = BoxSpectrum::xafs(s.i1, s.i0, 20, 15, 2, 2, c);
            QCOMPARE(sp.size(), 24);
            for (const QPointF& p : sp.points) QVERIFY(std::isfinite(p.y()));
            // The dark is left out, not made infinite: the same as no dark.
            c.dark = nullptr;
            const Spectrum noDark = BoxSpectrum::xafs(s.i1, s.i0, 20, 15, 2, 2, c);
            QCOMPARE(sp.points, noDark.points);
        }
    }

    void zeroI0InFluorescenceIsFinite()
    {
        Stacks s;
        for (int k = 0; k < 3; ++k) s.i1.append(frame(7000 + k, 10, [](int, int) { return 5.0; }));
        for (int k = 0; k < 2; ++k) s.i0.append(frame(7000 + 2 * k, 10, [](int, int) { return 0.0; }));
        BoxSpectrumConds c;
        c.imageWidth = W;
        c.imageHeight = H;
        c.fluorescence = true;
        const Spectrum sp = BoxSpectrum::xafs(s.i1, s.i0, 3, 3, 1, 1, c);
        QCOMPARE(sp.size(), 3);
        for (const QPointF& p : sp.points) QCOMPARE(p.y(), 0.0);
        // Transmission falls back to 1.0 where I0 x I1 <= 0.
        c.fluorescence = false;
        for (const QPointF& p : BoxSpectrum::xafs(s.i1, s.i0, 3, 3, 1, 1, c).points) QCOMPARE(p.y(), 1.0);
    }

    void totalI0ReplacesTheI0Stack()
    {
        Stacks s;
        makeStacks(s, 50, 20, 100, false);
        BoxSpectrumConds c = conds(s, 50, 20, 100);
        c.dark = nullptr;
        Spectrum total;
        for (int k = 0; k < 20; ++k) total.append(7000 + k, 1e6 * (1 + 0.01 * k));
        c.totalI0 = &total;
        const Spectrum sp = BoxSpectrum::xafs(s.i1, s.i0, 20, 15, 1, 1, c);
        QCOMPARE(sp.size(), 24);
        for (int k = 0; k < 24; ++k) {
            const double e = sp.points[k].x();
            const double i1 = boxSum(20, 15, 1, 1, [&](int xx, int yy) {
                return beam(xx, yy, e) * 50 * std::exp(-mu(e)) + darkRate(xx, yy) * 50;
            });
            // Past the file's points I0 is 0, hence 1.0.
            const double want = k < 20 ? std::log(total.points[k].y() / i1) : 1.0;
            QVERIFY(std::abs(sp.points[k].y() - want) < 1e-4);
        }
        // An empty curve (a file without an I0 column) is no total I0.
        Spectrum empty;
        c.totalI0 = &empty;
        BoxSpectrumConds plain = c;
        plain.totalI0 = nullptr;
        QCOMPARE(BoxSpectrum::xafs(s.i1, s.i0, 20, 15, 1, 1, c).points,
                 BoxSpectrum::xafs(s.i1, s.i0, 20, 15, 1, 1, plain).points);
    }

    void outsideTheImageIsEmpty()
    {
        Stacks s;
        makeStacks(s, 50, 20, 100, false);
        const BoxSpectrumConds c = conds(s, 50, 20, 100);
        QVERIFY(BoxSpectrum::xafs(s.i1, s.i0, -1, 5, 1, 1, c).isEmpty());
        QVERIFY(BoxSpectrum::xafs(s.i1, s.i0, W, 5, 1, 1, c).isEmpty());
        QVERIFY(BoxSpectrum::xafs(s.i1, s.i0, 5, H, 1, 1, c).isEmpty());
        QVERIFY(BoxSpectrum::raw(s.i1, 5, -1, 1, 1, W, H).isEmpty());
        QVERIFY(BoxSpectrum::xafs({}, s.i0, 5, 5, 1, 1, c).isEmpty());
    }

    void energyShiftFromTheMap()
    {
        Analyzed2DRes map("a2d esm");
        QCOMPARE(BoxSpectrum::energyShift(map, 0, 0, false), 0.0);  // no map
        AnalyzeCond g;
        g.set(6, 4, 0, 0, QRectF(0, 0, 6, 4), -1, -1);
        map.setCond(g);
        map.allocData();
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) map.setData(x, y, 0, 0, x + 10.0 * y);
        map.fit.a = 0.5;
        map.fit.e = -2;
        map.fit.f = 3;
        QCOMPARE(BoxSpectrum::energyShift(map, 5, 3, false), 35.0);
        QCOMPARE(BoxSpectrum::energyShift(map, 5, 3, true), 0.5 * 25 - 2 * 3 + 3);
        QCOMPARE(BoxSpectrum::energyShift(map, 6, 3, true), 0.0);
        QCOMPARE(BoxSpectrum::energyShift(map, 0, -1, false), 0.0);
    }

    void profilesAgainstDirectSums()
    {
        Stacks s;
        makeStacks(s, 50, 20, 100, false);
        const TiffData* img = s.i1[7];
        CrossSection::Conds c;
        c.imageWidth = W;
        c.imageHeight = H;

        // Raw sums: 3 columns and 2 dy + 1 rows along x.
        Spectrum px = CrossSection::alongX(img, s.i0, 4, 1, 2, c);
        QCOMPARE(px.size(), W);
        for (int x = 0; x < W; ++x) {
            QCOMPARE(px.points[x].x(), double(x));
            const double want = boxSum(x, 4, 1, 2, [&](int xx, int yy) { return img->pixelValue(xx, yy); });
            QVERIFY(std::abs(px.points[x].y() - want) < 1e-6 * want);
        }
        Spectrum py = CrossSection::alongY(img, s.i0, 38, 1, 4, c);
        QCOMPARE(py.size(), H);
        for (int y = 0; y < H; ++y) {
            QCOMPARE(py.points[y].x(), double(y));
            const double want = boxSum(38, y, 1, 4, [&](int xx, int yy) { return img->pixelValue(xx, yy); });
            QVERIFY(std::abs(py.points[y].y() - want) < 1e-6 * want);
        }
        double lo = px.points[0].y();
        for (const QPointF& p : px.points) lo = std::min(lo, p.y());
        QCOMPARE(px.minY, lo);

        // With mu: ln(I0 / s) against the interpolated I0 stack, no dark.
        c.mu = true;
        px = CrossSection::alongX(img, s.i0, 10, 1, 1, c);
        const QVector<TiffData*> sorted = BoxSpectrum::sortedByEnergy(s.i0);
        for (int x = 0; x < W; ++x) {
            const double sum = img->sumBox(x, 10, 1, 1);
            const double i0 = TiffData::areaValue(sorted, img->energy, x, 10, 1, 1);
            QVERIFY(std::abs(px.points[x].y() - std::log(i0 / sum)) < 1e-9);
        }
        c.fluorescence = true;
        py = CrossSection::alongY(img, s.i0, 3, 1, 1, c);
        for (int y = 0; y < H; ++y) {
            const double sum = img->sumBox(3, y, 1, 1);
            const double i0 = TiffData::areaValue(sorted, img->energy, 3, y, 1, 1);
            QVERIFY(std::abs(py.points[y].y() - sum / i0) < 1e-9);
        }

        // Rows and columns outside the image, and no image, give nothing.
        QVERIFY(CrossSection::alongX(img, s.i0, H, 1, 1, c).isEmpty());
        QVERIFY(CrossSection::alongX(img, s.i0, -1, 1, 1, c).isEmpty());
        QVERIFY(CrossSection::alongY(img, s.i0, W, 1, 1, c).isEmpty());
        QVERIFY(CrossSection::alongY(nullptr, s.i0, 3, 1, 1, c).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstBoxSpectrum)
#include "tst_boxspectrum.moc"
