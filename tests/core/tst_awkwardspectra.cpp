#include <QtTest>
#include <cmath>

#include "core/XafsSpectrum.h"
#include "support/EdgeSpectra.h"
#include "support/Files.h"

Q_DECLARE_METATYPE(Spectrum)

namespace {

// Debug lines seen during the whole run, to check each cause is told once.
QStringList seen;
QtMessageHandler previousHandler = nullptr;

void countingHandler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    seen << msg;
    if (previousHandler)
        previousHandler(type, ctx, msg);
}

int linesStartingWith(const QString& start)
{
    int n = 0;
    for (const QString& s : qAsConst(seen))
        n += s.startsWith(start) ? 1 : 0;
    return n;
}

SuggestElm windowAt(double edgeEnergy)
{
    SuggestElm s;
    s.useWindow = true;
    s.edgeEnergy = edgeEnergy;
    return s;
}

// A small bump inside the window and a step 80 eV above it: the bump is the
// steepest rise the window sees, the step decides the lines.
Spectrum bumpAndStep(double stepJump)
{
    edges::Edge e;
    e.E0 = 9080;
    e.postC0 = e.preC0 + stepJump;
    e.postK = e.preK;
    Spectrum s;
    for (double E = 8800; E <= 9300; E += 1)
        s.append(E, e.mu(E) + 0.02 * std::exp(-std::pow((E - 9000) / 3, 2)));
    return s;
}

QVector<QPointF> pointsOf(const Spectrum& s) { return s.points; }

}  // namespace

class TestAwkwardSpectra : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { previousHandler = qInstallMessageHandler(countingHandler); }
    void cleanupTestCase()
    {
        qInstallMessageHandler(previousHandler);
        // Many flagged spectra above, one line per cause.
        QCOMPARE(linesStartingWith("XafsSpectrum: a pre- or post-edge line has too few points"), 1);
        QCOMPARE(linesStartingWith("XafsSpectrum: no mid-line crossing inside the edge window"), 1);
        QCOMPARE(linesStartingWith("XafsSpectrum::findEnergyShift: step or minimum step"), 1);
        QCOMPARE(linesStartingWith("XafsSpectrum::findEnergyShift: step below the minimum"), 1);
    }

    // Against the analytic edge; spectra that cannot be normalised say so and
    // carry no jump.
    void normalisation_data()
    {
        QTest::addColumn<Spectrum>("raw");
        QTest::addColumn<bool>("window");
        QTest::addColumn<bool>("noisy");
        QTest::addColumn<bool>("outOfRange");
        QTest::addColumn<double>("E0");
        QTest::addColumn<double>("tolE0");
        QTest::addColumn<double>("jump");
        QTest::addColumn<double>("tolJump");

        const edges::Edge e;  // E0 9000, jump 1
        const double free = SuggestElm().edgeEnergy;  // where flagged spectra put midx
        QTest::newRow("control") << e.sample(8800, 9200, 0.5) << false << false << false << 9000.0
                                 << 0.02 << e.jump() << 1e-4;
        QTest::newRow("control, window") << e.sample(8800, 9200, 0.5) << true << false << false
                                         << 9000.0 << 0.02 << e.jump() << 1e-4;
        edges::Edge off = e;
        off.E0 = 9010;
        QTest::newRow("edge 10 eV into the window") << off.sample(8800, 9200, 0.5) << true << false << false
                                                     << 9010.0 << 0.02 << off.jump() << 1e-4;
        off.E0 = 9200;
        QTest::newRow("data above the window") << off.sample(9100, 9300, 1) << true << true << true
                                               << 9000.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("control, 3 eV grid") << e.sample(8700, 9300, 3) << false << false << false
                                            << 9000.0 << 0.1 << e.jump() << 1e-3;
        QTest::newRow("starts 9 eV below the edge")
            << e.sample(8991, 9200, 0.5) << false << true << false << free << 0.0 << 0.0 << 0.0;
        QTest::newRow("starts 9 eV below the edge, window")
            << e.sample(8991, 9200, 0.5) << true << true << false << 9000.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("ends 9 eV above the edge")
            << e.sample(8800, 9009, 0.5) << false << true << false << free << 0.0 << 0.0 << 0.0;
        QTest::newRow("constant (dead pixel)")
            << edges::constant(8800, 9200, 0.5, 1.0) << false << true << false << free << 0.0 << 0.0
            << 0.0;
        QTest::newRow("two points") << e.sample(8999, 9001, 2) << false << true << false << free
                                    << 0.0 << 0.0 << 0.0;
        QTest::newRow("rising step outside window (control)")
            << bumpAndStep(1.0) << true << false << true << 9000.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("no crossing, window") << bumpAndStep(-1.0) << true << false << true << 9000.0
                                             << 0.0 << 0.0 << 0.0;
        // Without the window the first guess stands, as it always has.
        QTest::newRow("no crossing, no window")
            << bumpAndStep(-1.0) << false << false << false << 8997.0 << 0.0 << 0.051028 << 1e-6;
    }
    void normalisation()
    {
        QFETCH(Spectrum, raw);
        QFETCH(bool, window);
        QFETCH(bool, noisy);
        QFETCH(bool, outOfRange);
        QFETCH(double, E0);
        QFETCH(double, tolE0);
        QFETCH(double, jump);
        QFETCH(double, tolJump);
        const SuggestElm sElm = window ? windowAt(9000) : SuggestElm();
        for (int lineType : {1, 0}) {
            if (lineType == 0 && tolJump > 0)
                continue;  // straight-line edges: only the straight fit meets the analytic jump
            const XafsSpectrum s(raw, "s", lineType, 0, sElm);
            QCOMPARE(s.noisy, noisy);
            QCOMPARE(s.outOfRange, outOfRange);
            QVERIFY2(std::fabs(s.midx - E0) <= tolE0, qPrintable(QString::number(s.midx, 'g', 10)));
            QVERIFY2(std::fabs(s.dMut - jump) <= tolJump, qPrintable(QString::number(s.dMut, 'g', 10)));
        }
    }

    // Files come in every order; the normalisation sees ascending energies.
    void fileOrder_data()
    {
        QTest::addColumn<QVector<QPointF>>("inFile");
        QTest::addColumn<QVector<QPointF>>("expected");

        const QVector<QPointF> up = pointsOf(edges::Edge().sample(8900, 9100, 1));
        QVector<QPointF> down(up.rbegin(), up.rend());
        QVector<QPointF> swapped = up;
        std::swap(swapped[100], swapped[101]);  // at the edge
        QVector<QPointF> repeated = up;
        repeated.insert(100, up[100]);
        QVector<QPointF> twoValues = up;
        twoValues.insert(101, QPointF(up[100].x(), up[100].y() + 0.5));
        QVector<QPointF> averaged = up;
        averaged[100].ry() += 0.25;

        QTest::newRow("ascending (control)") << up << up;
        QTest::newRow("descending") << down << up;
        QTest::newRow("neighbours swapped at the edge") << swapped << up;
        QTest::newRow("point repeated") << repeated << up;
        QTest::newRow("one energy, two values") << twoValues << averaged;
    }
    void fileOrder()
    {
        QFETCH(QVector<QPointF>, inFile);
        QFETCH(QVector<QPointF>, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath("mu.dat");
        QVERIFY(ts::writeTwoColumns(path, inFile));
        XafsSpectrum read;
        QVERIFY(read.loadAndCalc(path));
        QCOMPARE(read.points, expected);
        Spectrum plain;
        for (const QPointF& p : expected)
            plain.append(p);
        const XafsSpectrum direct(plain, "direct", read.lineType, 0, SuggestElm());
        QCOMPARE(read.midx, direct.midx);
        QCOMPARE(read.dMut, direct.dMut);
        QCOMPARE(read.minX, expected.first().x());
        QCOMPARE(read.maxX, expected.last().x());
    }

    // A monochromator scan recorded with the angle rising: energies fall.
    void angleFileDescending()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("scan.9809");
        QByteArray text = "9809 scan\nD= 3.13553\nOffset\n";
        const char* rows[5] = {"20 x 1000 500", "20.1 x 1100 400", "20.2 x 1200 300", "20.2 x 1300 350",
                               "20.3 x 1400 200"};  // one angle twice
        for (const char* r : rows) text += QByteArray("1 ") + r + "\n";
        QVERIFY(ts::writeFile(path, text));

        XafsSpectrum s;
        QVERIFY(s.load(path));
        QCOMPARE(s.size(), 4);
        auto energy = [](double deg) {
            return 12398.424360387684 / (2 * 3.13553 * std::sin(deg * 3.1415926535 / 180));
        };
        for (int i = 1; i < 4; ++i)
            QVERIFY(s.xAt(i) > s.xAt(i - 1));
        // Lowest energy = largest angle, the last row.
        QCOMPARE(s.xAt(0), energy(20.3));
        QCOMPARE(s.yAt(0), std::log(1400.0 / 200));
        QCOMPARE(s.i0Curve.yAt(0), 1400.0);
        QCOMPARE(s.iCurve.yAt(0), 200.0);
        // The repeated angle: the mean of both rows.
        QCOMPARE(s.xAt(1), energy(20.2));
        QCOMPARE(s.yAt(1), (std::log(1200.0 / 300) + std::log(1300.0 / 350)) / 2);
        QCOMPARE(s.i0Curve.yAt(1), 1250.0);
        QCOMPARE(s.iCurve.yAt(1), 325.0);
        QCOMPARE(s.xAt(3), energy(20.0));
        QCOMPARE(s.iCurve.yAt(3), 500.0);
    }

    // The guard values themselves are tested with the search; here a
    // map's worth of them must give one line per cause.
    void stepCausesToldOnce()
    {
        const XafsSpectrum ref(edges::Edge().sample(8800, 9200, 0.5), "ref", 1, 0, SuggestElm());
        for (int i = 0; i < 1000; ++i) {
            QCOMPARE(ref.findEnergyShift(ref, 5, 0, 0.1), 0.0);
            QCOMPARE(ref.findEnergyShift(ref, 5, 0.05, 0.1), 0.0);
        }
    }
};

QTEST_GUILESS_MAIN(TestAwkwardSpectra)
#include "tst_awkwardspectra.moc"
