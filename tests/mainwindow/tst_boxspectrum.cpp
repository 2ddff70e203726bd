#include "mainwindow/BoxSpectrum.h"
#include "mainwindow/CrossSection.h"

#include "core/Analyzed2DRes.h"
#include "core/TiffData.h"
#include "support/Detector.h"
#include "support/Maps.h"

#include <QtTest>

#include <memory>

// Every expected value is summed from the detector's formulas, not from
// the frames.
namespace {

using namespace det;

const double T1 = 50;   // ms of the I1 frames
const double T0 = 20;   // ms of the I0 frames
const double TD = 100;  // ms of the dark image

double i1Energy(int k) { return 7080.0 + 3.0 * k; }

// I1 on 24 energies, I0 on a coarser grid given in descending order, both
// with the detector dark, and a dark image.
struct Stacks
{
    QVector<TiffData*> i1, i0;
    std::unique_ptr<TiffData> dark;

    Stacks()
    {
        for (int k = 0; k < 24; ++k) {
            const double e = i1Energy(k);
            i1.append(frame(e, [=](int x, int y) {
                return beam(x, y, e) * T1 * std::exp(-mu(e)) + darkRate(x, y) * T1;
            }));
        }
        for (int k = 14; k >= 0; --k) {
            const double e = 7070.0 + 7.0 * k;
            i0.append(frame(e, [=](int x, int y) { return beam(x, y, e) * T0 + darkRate(x, y) * T0; }));
        }
        dark.reset(frame(0, [](int x, int y) { return darkRate(x, y) * TD; }));
    }
    ~Stacks()
    {
        deleteTiffDataList(i1);
        deleteTiffDataList(i0);
    }
    BoxSpectrumConds conds() const
    {
        BoxSpectrumConds c;
        c.imageWidth = W;
        c.imageHeight = H;
        c.dark = dark.get();
        c.darkExpTime = TD;
        c.i1ExpTime = T1;
        c.i0ExpTime = T0;
        return c;
    }
};

}  // namespace

class TstBoxSpectrum : public QObject
{
    Q_OBJECT

private slots:
    // The dark image is scaled to each stack's exposure, and I0 is
    // interpolated to each I1 energy although its stack is in descending order.
    void xafs_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::addColumn<QString>("mode");
        QTest::newRow("centre 21x21") << 20 << 15 << 10 << 10 << "I0 stack";
        QTest::newRow("negative half widths") << 20 << 15 << -3 << -5 << "I0 stack";
        QTest::newRow("box over the corner") << 1 << 2 << 4 << 6 << "I0 stack";
        QTest::newRow("single pixel") << 39 << 29 << 0 << 0 << "I0 stack";
        QTest::newRow("no I0: the box's pixel count") << 20 << 15 << -10 << 10 << "no I0";
        QTest::newRow("no I0 over the edge") << 38 << 15 << 3 << 1 << "no I0";
        QTest::newRow("fluorescence") << 12 << 9 << 3 << 2 << "fluorescence";
        QTest::newRow("total I0, shorter than the stack") << 20 << 15 << 1 << 1 << "total I0";
        QTest::newRow("empty total I0 is none") << 20 << 15 << 1 << 1 << "empty total I0";
    }
    void xafs()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, dx);
        QFETCH(int, dy);
        QFETCH(QString, mode);
        Stacks s;
        BoxSpectrumConds c = s.conds();
        Spectrum total, empty;
        for (int k = 0; k < 20; ++k) total.append(7000 + k, 1e6 * (1 + 0.01 * k));
        c.useI0 = mode != "no I0";
        c.fluorescence = mode == "fluorescence";
        if (mode == "total I0") c.totalI0 = &total;
        if (mode == "empty total I0") c.totalI0 = &empty;

        const Spectrum sp = BoxSpectrum::xafs(s.i1, s.i0, x, y, dx, dy, c);
        QCOMPARE(sp.size(), 24);
        for (int k = 0; k < 24; ++k) {
            const double e = i1Energy(k);
            const double i1 = boxSum(x, y, dx, dy, [&](int xx, int yy) { return beam(xx, yy, e) * T1 * std::exp(-mu(e)); });
            double i0 = boxSum(x, y, dx, dy, [&](int xx, int yy) { return beam(xx, yy, e) * T0; });
            if (mode == "no I0") i0 = (2 * std::abs(dx) + 1) * (2 * std::abs(dy) + 1);
            // Past the file's points I0 is 0, which gives 1.0.
            if (mode == "total I0") i0 = k < 20 ? total.yAt(k) : 0.0;
            const double want = c.fluorescence ? i1 / i0 : (i0 > 0 ? std::log(i0 / i1) : 1.0);
            QCOMPARE(sp.xAt(k), e);
            QVERIFY2(std::abs(sp.yAt(k) - want) < 1e-4 * std::max(1.0, std::abs(want)),
                     qPrintable(QString("%1 eV: %2, want %3").arg(e).arg(sp.yAt(k)).arg(want)));
        }
    }

    void unusableInputsGiveFiniteValues()
    {
        // A dark exposure that cannot scale the dark leaves the dark out.
        Stacks s;
        for (double tD : {0.0, -5.0, qQNaN()}) {
            BoxSpectrumConds c = s.conds();
            c.darkExpTime = tD;
            const Spectrum sp = BoxSpectrum::xafs(s.i1, s.i0, 20, 15, 2, 2, c);
            c.dark = nullptr;
            QCOMPARE(sp.points, BoxSpectrum::xafs(s.i1, s.i0, 20, 15, 2, 2, c).points);
            for (const QPointF& p : sp.points) QVERIFY(std::isfinite(p.y()));
        }

        // Zero I0: fluorescence gives 0, transmission 1.0.
        Stacks z;
        deleteTiffDataList(z.i0);
        for (int k = 0; k < 2; ++k) z.i0.append(frame(7080 + 40 * k, [](int, int) { return 0.0; }));
        BoxSpectrumConds c = z.conds();
        c.dark = nullptr;
        c.fluorescence = true;
        for (const QPointF& p : BoxSpectrum::xafs(z.i1, z.i0, 3, 3, 1, 1, c).points) QCOMPARE(p.y(), 0.0);
        c.fluorescence = false;
        for (const QPointF& p : BoxSpectrum::xafs(z.i1, z.i0, 3, 3, 1, 1, c).points) QCOMPARE(p.y(), 1.0);
    }

    void outsideTheImageIsEmpty()
    {
        Stacks s;
        const BoxSpectrumConds c = s.conds();
        QVERIFY(BoxSpectrum::xafs(s.i1, s.i0, -1, 5, 1, 1, c).isEmpty());
        QVERIFY(BoxSpectrum::xafs(s.i1, s.i0, W, 5, 1, 1, c).isEmpty());
        QVERIFY(BoxSpectrum::xafs(s.i1, s.i0, 5, H, 1, 1, c).isEmpty());
        QVERIFY(BoxSpectrum::xafs({}, s.i0, 5, 5, 1, 1, c).isEmpty());
        QVERIFY(BoxSpectrum::raw(s.i1, 5, -1, 1, 1, W, H).isEmpty());
        CrossSection::Conds cc;
        cc.imageWidth = W;
        cc.imageHeight = H;
        QVERIFY(CrossSection::alongX(s.i1[0], s.i0, H, 1, 1, cc).isEmpty());
        QVERIFY(CrossSection::alongX(s.i1[0], s.i0, -1, 1, 1, cc).isEmpty());
        QVERIFY(CrossSection::alongY(s.i1[0], s.i0, W, 1, 1, cc).isEmpty());
        QVERIFY(CrossSection::alongY(nullptr, s.i0, 3, 1, 1, cc).isEmpty());
    }

    void darkAreas()
    {
        // No dark image: each stack's dark level comes from its dark area,
        // where the beam is blocked, and drifts from frame to frame. The I0
        // stack is shorter: past its end no I0 dark-area value exists.
        const QRectF area(30, 0, 5, 3);  // 6 x 4 pixels from (30, 0)
        auto open = [&](int x, int y) { return area.contains(x, y) ? 0.0 : 1.0; };
        Stacks s;
        deleteTiffDataList(s.i1);
        deleteTiffDataList(s.i0);
        for (int k = 0; k < 24; ++k) {
            const double e = i1Energy(k);
            s.i1.append(frame(e, [=](int x, int y) { return open(x, y) * beam(x, y, e) * T1 * std::exp(-mu(e)) + 40 + 3.0 * k; }));
        }
        for (int k = 0; k < 10; ++k) {
            const double e = 7070.0 + 8.0 * k;
            s.i0.append(frame(e, [=](int x, int y) { return open(x, y) * beam(x, y, e) * T1 + 7; }));
        }
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
            const double e = i1Energy(k);
            // Past the I0 stack's length its offset (7 in each of 81 pixels)
            // is no longer taken off; past its energies its last frame holds.
            const double i0 = boxSum(10, 12, 4, 4, [&](int xx, int yy) { return beam(xx, yy, std::min(e, 7142.0)) * T1; }) + 7 * 81;
            const double i1 = boxSum(10, 12, 4, 4, [&](int xx, int yy) { return beam(xx, yy, e) * T1 * std::exp(-mu(e)); });
            const double want = k < 10 ? mu(e) : std::log(i0 / i1);
            QVERIFY2(std::abs(sp.yAt(k) - want) < 1e-4, qPrintable(QString::number(k)));
        }

        // Values already there are kept; the rest are measured less the dark
        // image's mean over the area (10 + x + y there: 44).
        std::unique_ptr<TiffData> dark(frame(0, [](int x, int y) { return 10.0 + x + y; }));
        v1.resize(5);
        v1[0] = 1234;
        BoxSpectrum::appendDarkAreaValues(v1, s.i1, area, dark.get());
        QCOMPARE(v1.size(), 24);
        QCOMPARE(v1[0], 1234.0);
        for (int k = 5; k < 24; ++k) QVERIFY(std::abs(v1[k] - (40 + 3.0 * k - 44)) < 1e-9);

        QVERIFY(BoxSpectrum::usableDarkArea(QRectF(0, 0, 0, 0)));
        for (const QRectF& r : {QRectF(0, 0, -1, 3), QRectF(0, 0, 3, -2), QRectF(qQNaN(), 0, 3, 3), QRectF(0, 0, qInf(), 3)})
            QVERIFY(!BoxSpectrum::usableDarkArea(r));
    }

    void energyShiftFromTheMap()
    {
        Analyzed2DRes map("a2d esm");
        QCOMPARE(BoxSpectrum::energyShift(map, 0, 0, false), 0.0);  // no map
        ts::fillMap(map, 6, 4, [](int x, int y) { return x + 10.0 * y; });
        map.fit.a = 0.5;
        map.fit.e = -2;
        map.fit.f = 3;
        QCOMPARE(BoxSpectrum::energyShift(map, 5, 3, false), 35.0);
        QCOMPARE(BoxSpectrum::energyShift(map, 5, 3, true), 0.5 * 25 - 2 * 3 + 3);
        QCOMPARE(BoxSpectrum::energyShift(map, 6, 3, true), 0.0);
        QCOMPARE(BoxSpectrum::energyShift(map, 0, -1, false), 0.0);
    }

    void profiles_data()
    {
        QTest::addColumn<bool>("alongX");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::addColumn<QString>("kind");
        QTest::newRow("raw along x") << true << 4 << 1 << 2 << "raw";
        QTest::newRow("raw along y at the edge") << false << 38 << 1 << 4 << "raw";
        QTest::newRow("mu along x") << true << 10 << 1 << 1 << "mu";
        QTest::newRow("fluorescence along y") << false << 3 << 1 << 1 << "fluorescence";
    }
    void profiles()
    {
        QFETCH(bool, alongX);
        QFETCH(int, line);
        QFETCH(int, dx);
        QFETCH(int, dy);
        QFETCH(QString, kind);
        Stacks s;
        const TiffData* img = s.i1[7];
        const double e = img->energy;
        CrossSection::Conds c;
        c.imageWidth = W;
        c.imageHeight = H;
        c.mu = kind != "raw";
        c.fluorescence = kind == "fluorescence";
        const Spectrum p = alongX ? CrossSection::alongX(img, s.i0, line, dx, dy, c)
                                  : CrossSection::alongY(img, s.i0, line, dx, dy, c);
        QCOMPARE(p.size(), alongX ? W : H);
        for (int i = 0; i < p.size(); ++i) {
            const int x = alongX ? i : line;
            const int y = alongX ? line : i;
            // No dark is taken off profiles; I0 is linear in energy, so its
            // interpolation is exact.
            const double i1 = boxSum(x, y, dx, dy, [&](int xx, int yy) {
                return beam(xx, yy, e) * T1 * std::exp(-mu(e)) + darkRate(xx, yy) * T1;
            });
            const double i0 = boxSum(x, y, dx, dy, [&](int xx, int yy) { return (beam(xx, yy, e) + darkRate(xx, yy)) * T0; });
            const double want = kind == "raw" ? i1 : c.fluorescence ? i1 / i0 : std::log(i0 / i1);
            QCOMPARE(p.xAt(i), double(i));
            QVERIFY2(std::abs(p.yAt(i) - want) < 1e-6 * std::max(1.0, std::abs(want)), qPrintable(QString::number(i)));
        }
    }
};

QTEST_GUILESS_MAIN(TstBoxSpectrum)
#include "tst_boxspectrum.moc"
