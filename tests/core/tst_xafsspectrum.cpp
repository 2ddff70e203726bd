#include <QBuffer>
#include <QtTest>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>

#include "core/VictLine.h"
#include "core/XafsSpectrum.h"
#include "support/EdgeSpectra.h"
#include "support/EnergyGrids.h"
#include "support/Files.h"
#include "support/MeasuredSpectra.h"
#include "support/Messages.h"

namespace {

const double hc = 12398.424360387684;

// A Victoreen line: a + (c1 + c2 lambda) lambda^3, lambda = hc / E.
double victoreen(double E, double a, double c1, double c2)
{
    return a + (c1 + c2 * hc / E) * std::pow(hc / E, 3);
}
using Points = QVector<QPointF>;

// What calc must give: E0 and the jump within tolerances, or the flags and no jump.
struct Verdict {
    bool noisy, outOfRange;
    double E0, tolE0, jump, tolJump;
};

// An energy-shift search: the reference's edge, the spectrum's edge, the
// search centre (the difference of the two midx), the search and its answer.
struct Search {
    double refE0, E0, centre, range, step, minStep, expected;
};

// A fit over from .. to into a line that held k 0.5, c0 7, sigma 0.25 and
// nine points over 1 .. 2, and what it must leave.
struct Fit {
    double from, to;
    int type, count;
    bool ok;
    double c0, k, sigma;
    bool withTo = false;
};

SuggestElm windowAt(double edgeEnergy, double noiseFactor = 1)
{
    SuggestElm s;
    s.useWindow = true;
    s.edgeEnergy = edgeEnergy;
    s.noiseFactor = noiseFactor;
    return s;
}

// A small bump inside the window and a step 80 eV above it: the bump is the
// steepest rise the window sees, the step decides the lines.
Spectrum bumpAndStep(double stepJump)
{
    const edges::Edge e{9080, 1.5, 0.2, 1e-5, 0.2 + stepJump, 1e-5};
    return synth::sample(8800, 9300, 1, [&](double E) {
        return e.mu(E) + 0.02 * std::exp(-std::pow((E - 9000) / 3, 2));
    });
}

// E0 at a fraction, written straight from its definition with smoothedY.
double energyByDefinition(const XafsSpectrum& s, double f)
{
    auto target = [&](double E) { return f * s.post.value(E) + (1 - f) * s.pre.value(E); };
    auto d = [&](int i) { return target(s.xAt(i)) - s.smoothedY(s.xAt(i)); };
    int k = 0;
    double best = 0;
    for (int i = 1; i <= s.size() - 2; ++i) {
        const double sa = s.smoothedY(s.xAt(i - 1)), sc = s.smoothedY(s.xAt(i + 1)), t = target(s.xAt(i));
        if (sa < t && t < sc && sc - sa > best) {
            best = sc - sa;
            k = i;
        }
    }
    if (k == 0)
        return s.midx;
    double sum = 0;
    for (const auto& [p, q] : {std::make_pair(k - 1, k), std::make_pair(k, k + 1), std::make_pair(k - 1, k + 1)})
        sum += s.xAt(p) + d(p) * (s.xAt(q) - s.xAt(p)) / (d(p) - d(q));
    const double estimate = sum / 3;
    // The crossing itself: between the neighbouring points, up to three
    // either side of k, whose values (each averaged with those of its
    // five-point neighbours within 0.75 eV, at their mean energy) bracket the
    // target nearest the estimate; straight between them on steps up to 1.5 eV.
    auto local = [&](int i, double& E) { return grids::localRead(s, i, E) - target(E); };
    double nearest = HUGE_VAL, E0 = estimate;
    for (int i = std::max(0, k - 3); i < std::min(s.size() - 1, k + 3); ++i) {
        double a, b;
        const double da = local(i, a), db = local(i + 1, b);
        const double far = std::max({0.0, a - estimate, estimate - b});
        if (da < 0 && db >= 0 && b > a && far < nearest) {
            nearest = far;
            // Coarser steps follow a curve this definition does not write out.
            E0 = b - a <= 1.5 ? a - da * (b - a) / (db - da) : qQNaN();
        }
    }
    return E0;
}

// On 0.5 eV steps every energy is an exact binary fraction, so shifting by
// whole or half eV is exact; the structure above the edge makes scores
// depend on position.
XafsSpectrum shiftEdgeAt(double E0)
{
    const Spectrum raw = synth::sample(E0 - 200, E0 + 200, 0.5, [E0](double E) { return edges::wiggly(E, E0); });
    return XafsSpectrum(raw, "edge", 1, 0, SuggestElm());
}

// The score written straight from its definition, with Spectrum::y lookups.
double scoreByDefinition(const XafsSpectrum& s, double shift, const XafsSpectrum& ref)
{
    double saa = 0, sbb = 0, sab = 0;
    for (int i = 0; i < s.size(); ++i) {
        const double E = s.xAt(i) - shift;
        if (E < ref.minX || E > ref.maxX)
            continue;
        const double a = s.doubleNormalizedPreBaseCurve.yAt(i);
        const double b = ref.doubleNormalizedPreBaseCurve.y(E);
        saa += a * a;
        sbb += b * b;
        sab += a * b;
    }
    return (saa > 0 && sbb > 0) ? sab / std::sqrt(saa * sbb) : 0.0;
}

// An irregular noisy scan.
XafsSpectrum irregular(double E0, unsigned seed)
{
    std::srand(seed);
    Spectrum raw;
    for (double E = E0 - 150; E < E0 + 150; E += 0.3 + 2.0 * (std::rand() % 100) / 100.0)
        raw.append(E, 0.1 + synth::sigmoid(E, E0, 2) + 0.01 * (std::rand() % 100) / 100.0);
    return XafsSpectrum(raw, "irregular", 1, 0, SuggestElm());
}

// A foil's step scan: 5 eV steps, 0.5 and 0.1 eV over the tabulated edge, then 0.05
// per angstrom in k (5.7 eV at k 15); photon noise, oscillations a tenth of the jump.
struct Foil {
    double tabulated, E0, jump, R;
    unsigned seed;
    double glitchAt = 0;  // eV above E0 of one point read during a beam loss

    double mu(double E) const
    {
        const double pre = 1 - 3e-4 * (E - E0), k = E > E0 ? std::sqrt((E - E0) / 3.81) : 0;
        // Faded in over the first eV, where a sine in k would rise without bound.
        const double chi = 0.1 * (1 - std::exp(-k * k)) * std::sin(2 * k * R) * std::exp(-0.006 * k * k);
        return pre + (jump - 1.5e-4 * (E - E0)) * synth::sigmoid(E, E0, 3.5) * (1 + chi);
    }
    Spectrum scan() const
    {
        QVector<double> g;
        for (int i = 0; i < 34; ++i) g.append(tabulated - 200 + 5 * i);
        for (int i = 0; i < 40; ++i) g.append(tabulated - 30 + 0.5 * i);
        for (int i = 0; i < 300; ++i) g.append(tabulated - 10 + 0.1 * i);
        for (double k = std::sqrt(20 / 3.81); k < 15.001; k += 0.05) g.append(tabulated + 3.81 * k * k);
        std::mt19937 rng(seed);
        std::normal_distribution<double> unit(0, 1);
        const int lost = glitchAt > 0 ? std::lower_bound(g.begin(), g.end(), E0 + glitchAt) - g.begin() : -1;
        Spectrum s;
        for (int i = 0; i < g.size(); ++i) {
            const double I = 1e6 * std::exp(-mu(g[i]));
            // A beam loss: the point reads far below the post-edge line.
            s.append(g[i], i == lost ? 1 - 2.2 * jump - 4.5e-4 * (g[i] - E0) : std::log(1e6 / (I + std::sqrt(I) * unit(rng))));
        }
        return s;
    }
};

// The normalisation ranking rises per point, for the first guess and the
// crossing alike: on an even grid the rise per eV must give the same numbers.
XafsSpectrum perPointRule(const Spectrum& raw, int type)
{
    XafsSpectrum s;
    static_cast<Spectrum&>(s) = raw;
    s.setParams("per point", SuggestElm());
    s.smooth(2);
    int guess = 0;
    double best = 0;
    for (int i = 0; i < s.size() - 1; ++i)
        if (s.smoothed[i + 1] - s.smoothed[i] > best) {
            best = s.smoothed[i + 1] - s.smoothed[i];
            guess = i;
        }
    s.midx = s.xAt(guess);
    s.fitPrePost(s.midx, type);
    s.midx = energyByDefinition(s, 0.5);
    s.dMut = s.post.value(s.midx) - s.pre.value(s.midx);
    return s;
}

// A step scan of the foil: 5 eV steps below, 0.5 eV over the edge, 2 and 5 eV
// above; photon noise when seeded. An extra point `delta` eV after grid point
// `after` takes a noise draw of its own, so the grid points read the same.
Spectrum stepScan(const Foil& f, unsigned seed, int after = -1, double delta = 0)
{
    QVector<double> g;
    for (const auto& [from, to, step] : {std::array<double, 3>{-150, -20, 5}, {-20, 30, 0.5}, {30, 100, 2}, {100, 300.001, 5}})
        for (double E = f.E0 + from; E < f.E0 + to; E += step) g.append(E);
    std::mt19937 rng(seed), extraRng(seed + 1000);
    std::normal_distribution<double> unit(0, 1);
    auto read = [&](double E, std::mt19937& r) {
        const double I = 1e6 * std::exp(-f.mu(E));
        return seed == 0 ? f.mu(E) : std::log(1e6 / (I + std::sqrt(I) * unit(r)));
    };
    Spectrum s;
    for (int i = 0; i < g.size(); ++i) {
        s.append(g[i], read(g[i], rng));
        if (i == after) s.append(g[i] + delta, read(g[i] + delta, extraRng));
    }
    return s;
}

// E0 lies between two neighbouring points on either side of the mid-line,
// each read with its close neighbours (localRead).
bool bracketed(const XafsSpectrum& s)
{
    auto d = [&](int i, double& E) {
        const double v = grids::localRead(s, i, E);
        return 0.5 * (s.pre.value(E) + s.post.value(E)) - v;
    };
    for (int i = 0; i + 1 < s.size(); ++i) {
        double a, b;
        const double da = d(i, a), db = d(i + 1, b);
        if (a <= s.midx && s.midx <= b && da * db <= 0) return true;
    }
    return false;
}

// E0 and the lines of two normalisations agree to the last bit.
bool sameResult(const XafsSpectrum& a, const XafsSpectrum& b)
{
    return a.midx == b.midx && a.dMut == b.dMut && a.pre.c0 == b.pre.c0 && a.pre.k == b.pre.k
           && a.pre.c1 == b.pre.c1 && a.post.c0 == b.post.c0 && a.post.k == b.post.k
           && a.post.c1 == b.post.c1 && a.noisy == b.noisy && a.outOfRange == b.outOfRange;
}

// Misses of the glitch bounds, as normalised now and with every point as measured.
struct GlitchMisses {
    int far = 0, farBefore = 0, farCases = 0;
    int near = 0, nearBefore = 0, nearCases = 0;
    int noisyRuns = 0, noisyChanged = 0;
};
GlitchMisses& glitchMisses()
{
    static GlitchMisses m;
    return m;
}

}  // namespace

Q_DECLARE_METATYPE(Spectrum)
Q_DECLARE_METATYPE(Verdict)
Q_DECLARE_METATYPE(Search)
Q_DECLARE_METATYPE(Fit)
Q_DECLARE_METATYPE(edges::FeScan)
Q_DECLARE_METATYPE(edges::Glitch)

class TestXafsSpectrum : public QObject
{
    Q_OBJECT

    std::unique_ptr<ts::MessageLog> log;

private slots:
    void initTestCase() { log.reset(new ts::MessageLog); }
    void cleanupTestCase()
    {
        // Refused searches return 0: the debug line says so, once per cause.
        QCOMPARE(log->lines.filter("findEnergyShift: step or minimum step").size(), 1);
        QCOMPARE(log->lines.filter("findEnergyShift: step below the minimum").size(), 1);
        log.reset();
        const GlitchMisses& m = glitchMisses();
        if (m.farCases > 0)
            std::printf("Glitches more than 15 eV from E0: %d of %d miss (every point as measured: %d); "
                        "5 to 15 eV: %d of %d (as measured: %d)\n",
                        m.far, m.farCases, m.farBefore, m.near, m.nearCases, m.nearBefore);
        if (m.noisyRuns > 0)
            std::printf("Clean noisy scans with a point passed over: %d of %d\n", m.noisyChanged, m.noisyRuns);
    }

    // E0 and jump against the analytic edge; spectra that cannot be
    // normalised say so and carry no jump.
    void normalisation_data()
    {
        QTest::addColumn<Spectrum>("raw");
        QTest::addColumn<int>("lineType");
        QTest::addColumn<SuggestElm>("window");
        QTest::addColumn<Verdict>("want");

        const SuggestElm none;
        const SuggestElm at9000 = windowAt(9000);
        // Flagged, no jump; E0 at the window's edge, else at the first guess.
        auto noisyAt = [](double E0, double tol) { return Verdict{true, false, E0, tol, 0, 0}; };
        const Verdict outside{false, true, 9000, 0, 0, 0};
        const Verdict noisyOutside{true, true, 9000, 0, 0, 0};
        const edges::Edge e;  // E0 9000, jump 1
        const Verdict edgeE{false, false, 9000, 0.02, e.jump(), 1e-4};
        QTest::newRow("straight lines") << e.sample(8800, 9200, 0.5) << 1 << none << edgeE;
        // Lines far apart in slope: the jump must be taken at E0, not at the first guess.
        const edges::Edge apart{8985.3, 1.5, 0.2 - 6e-4 * 9000, 6e-4, 1.2 + 3e-4 * 9000, -3e-4};
        QTest::newRow("between points, lines apart")
            << apart.sample(8800, 9200, 0.5) << 1 << none << Verdict{false, false, 8985.3, 0.02, apart.jump(), 1e-4};
        const Spectrum vicEdge = synth::sample(6000, 14000, 2, [&](double E) {
            const double f = synth::sigmoid(E, 9000, 2);
            return (1 - f) * victoreen(E, 0.1, 0.08, -0.01) + f * victoreen(E, 1.1, 0.05, -0.006);
        });
        const double vicJump = victoreen(9000, 1.1, 0.05, -0.006) - victoreen(9000, 0.1, 0.08, -0.01);
        QTest::newRow("Victoreen lines") << vicEdge << 0 << none << Verdict{false, false, 9000, 0.05, vicJump, 1e-4};
        QTest::newRow("edge 10 eV into the window")
            << edges::Edge{9010}.sample(8800, 9200, 0.5) << 1 << at9000 << Verdict{false, false, 9010, 0.02, 1, 1e-4};
        const Spectrum wiggly =
            synth::sample(8800, 9200, 0.5, [&](double E) { return e.mu(E) + 0.01 * std::sin(E * 4.6); });
        QTest::newRow("wiggles, strict noise test") << wiggly << 1 << windowAt(9003, 1000) << Verdict{true, false, 9003, 0, 0, 0};
        QTest::newRow("data above the window") << edges::Edge{9200}.sample(9100, 9300, 1) << 1 << at9000 << noisyOutside;
        QTest::newRow("ends 9 eV above the edge") << e.sample(8800, 9009, 0.5) << 1 << none << noisyAt(9000, 0.5);
        // No post-edge point: the suggestion's edge (Cu K) is not this spectrum's.
        QTest::newRow("V-like, ends 4 eV above the edge")
            << edges::Edge{5465, 1.5, 0.3, -1e-4, 1.6, -2e-4}.sample(5300, 5469, 0.5) << 1 << none << noisyAt(5465, 0.5);
        QTest::newRow("constant (dead pixel)") << edges::constant(8800, 9200, 0.5, 1.0) << 1 << none << noisyAt(8800, 0);
        QTest::newRow("two points") << e.sample(8999, 9001, 2) << 1 << none << noisyAt(8999, 0);
        QTest::newRow("one point, window") << e.sample(9000, 9000, 1) << 1 << at9000 << noisyOutside;
        QTest::newRow("rising step outside the window") << bumpAndStep(1.0) << 1 << at9000 << outside;
        QTest::newRow("no crossing, window") << bumpAndStep(-1.0) << 1 << at9000 << outside;
        // Without the window nothing places the edge: flagged at the first guess.
        QTest::newRow("no crossing, no window") << bumpAndStep(-1.0) << 1 << none << noisyAt(8997, 0);
        // Foils: above a finely scanned edge, oscillations on coarse steps rise more per point than
        // the edge, far less per eV; a beam loss far above crosses the mid-line again, steep per point.
        auto foil = [&](const char* name, const Foil& f, const SuggestElm& w) {
            const Verdict found{false, false, f.E0, 0.3, f.jump, (f.glitchAt > 0 ? 0.05 : 0.03) * f.jump};
            for (int type : {1, 0}) QTest::addRow("%s, line type %d", name, type) << f.scan() << type << w << found;
        };
        foil("Fe foil", {7112, 7119, 4.3, 2.48, 11}, none);
        foil("Cu foil", {8979, 8986, 2.45, 2.55, 12}, none);
        foil("Fe foil, window", {7112, 7119, 4.3, 2.48, 13}, windowAt(7112));
        foil("Fe foil, beam loss far above", {7112, 7119, 4.3, 2.48, 14, 780}, none);
        foil("Cu foil, beam loss far above", {8979, 8986, 2.45, 2.55, 15, 780}, none);
    }
    void normalisation()
    {
        QFETCH(Spectrum, raw);
        QFETCH(int, lineType);
        QFETCH(SuggestElm, window);
        QFETCH(Verdict, want);
        // Flagged spectra are flagged whatever the line type.
        for (int type : want.jump == 0 ? QVector<int>{1, 0} : QVector<int>{lineType}) {
            const XafsSpectrum s(raw, "s", type, 0, window);
            QCOMPARE(s.noisy, want.noisy);
            QCOMPARE(s.outOfRange, want.outOfRange);
            QVERIFY2(std::fabs(s.midx - want.E0) <= want.tolE0, qPrintable(QString::number(s.midx, 'g', 10)));
            QVERIFY2(std::fabs(s.dMut - want.jump) <= want.tolJump, qPrintable(QString::number(s.dMut, 'g', 10)));
            QVERIFY(window.useWindow || (raw.minX <= s.midx && s.midx <= raw.maxX));
        }
    }

    // Flat stretches (a zero-filled pre-edge, a dead channel) make two of the
    // three points around the crossing nearly level, their crossing far out.
    // E0 stays bracketed inside the data with a jump the data can have, or the
    // spectrum is flagged.
    void edgeInsideData_data()
    {
        QTest::addColumn<Spectrum>("raw");
        QTest::addColumn<double>("E0");    // where known, else 0
        QTest::addColumn<double>("jump");
        auto spiked = [](double height, double at) {
            return synth::sample(8900, 9299, 1, [=](double E) { return E == at ? height : E >= 9100 ? 1.0 : 0.0; });
        };
        QTest::newRow("zero pre-edge, tall spike") << spiked(3, 9000) << 0.0 << 0.0;
        QTest::newRow("zero pre-edge, spike of 1") << spiked(1, 9000) << 0.0 << 0.0;
        QTest::newRow("zero pre-edge, small spike") << spiked(0.5, 9000) << 9099.5 << 1.0;
        QTest::newRow("zero pre-edge, spike 12 eV before") << spiked(3, 9088) << 0.0 << 0.0;
        const Foil foil{7112, 7119, 1.0, 2.48, 0};
        Spectrum zeroFilled = stepScan(foil, 21), dead = stepScan(foil, 22);
        for (QPointF& p : zeroFilled.points) p.ry() = p.x() < 7080 ? 0 : p.y();
        for (QPointF& p : dead.points) p.ry() = p.x() > 7115 && p.x() < 7119 ? dead.points[0].y() : p.y();
        QTest::newRow("zero-filled pre-edge, noisy foil") << zeroFilled << 0.0 << 0.0;
        QTest::newRow("dead channel at the edge") << dead << 0.0 << 0.0;
    }
    void edgeInsideData()
    {
        QFETCH(Spectrum, raw);
        QFETCH(double, E0);
        QFETCH(double, jump);
        for (int type : {1, 0}) {
            const XafsSpectrum s(raw, "flat", type, 0, SuggestElm());
            const QByteArray got = QString("line type %1: E0 %2, jump %3").arg(type).arg(s.midx, 0, 'f', 3).arg(s.dMut).toLatin1();
            QVERIFY2(raw.minX <= s.midx && s.midx <= raw.maxX, got);
            QVERIFY2(s.noisy ? s.dMut == 0 : bracketed(s), got);
            QVERIFY2(std::fabs(s.dMut) <= 1.5 * (raw.maxY - raw.minY), got);
            if (E0 > 0) QVERIFY2(!s.noisy && std::fabs(s.midx - E0) < 0.1 && std::fabs(s.dMut - jump) < 0.02, got);
        }
    }

    // Around the chosen point a, b, c the smoothed values choose the
    // crossing; it is taken between the two points that bracket the target,
    // straight between them on 1 eV steps, and where none do, from the
    // smoothed values: the mean of the three pairwise crossings where it lies
    // between the two points that bracket the crossing, else that pair's own.
    void crossingRefinement_data()
    {
        QTest::addColumn<Points>("smoothed");  // at energies 1, 2, 3
        QTest::addColumn<double>("slope");     // of both lines, through 0
        QTest::addColumn<double>("E0");
        // Points 2 and 3 bracket the target: half-way between them (the mean
        // of the smoothed crossings, 2.25, lay below the point at 2 still
        // under the target).
        QTest::newRow("level pair below") << Points{{1, 0}, {2, 0}, {3, 1}} << 0.0 << 2.5;
        QTest::newRow("even rise") << Points{{1, 0.25}, {2, 0.5}, {3, 0.75}} << 0.0 << 2.0;
        // d = (0.5, 0.4999, -0.5): a-b meets 5000 eV away; b-c is the bracket.
        QTest::newRow("nearly level pair") << Points{{1, 0}, {2, 1e-4}, {3, 1}} << 0.0 << 2 + 0.4999 / 0.9999;
        QTest::newRow("nearly level pair after") << Points{{1, 0}, {2, 1 - 1e-4}, {3, 1}} << 0.0 << 1 + 0.5 / (1 - 1e-4);
        // Target E, rising faster than the data: no two points bracket it, and
        // the three crossings all fall below 1; between b and c the smoothed
        // data cross the target at b.
        QTest::newRow("target rising faster") << Points{{1, 0.9}, {2, 1.5}, {3, 2.5}} << 1.0 << 2.5;
    }
    void crossingRefinement()
    {
        QFETCH(Points, smoothed);
        QFETCH(double, slope);
        QFETCH(double, E0);
        XafsSpectrum s;
        s.points = smoothed;
        for (const QPointF& p : smoothed) s.smoothed.append(p.y());
        s.pre.k = s.post.k = slope;
        s.post.c0 = slope == 0 ? 1 : 0;
        s.midx = 7;
        QVERIFY2(std::fabs(s.energyAtFraction(0.5) - E0) < 1e-12, qPrintable(QString::number(s.energyAtFraction(0.5), 'g', 17)));
    }

    // One more point read just after a grid point above the edge (a repeated
    // energy where two scan regions meet): E0 within 0.1 eV and the jump within
    // 2 % of the scan without it, at every position.
    void nearDuplicateEnergy_data()
    {
        QTest::addColumn<double>("delta");
        QTest::addColumn<unsigned>("seed");  // 0: no noise
        for (double delta : {0.01, 0.05, 0.2})
            for (unsigned seed : {0u, 31u}) QTest::addRow("%g eV after, seed %u", delta, seed) << delta << seed;
    }
    void nearDuplicateEnergy()
    {
        QFETCH(double, delta);
        QFETCH(unsigned, seed);
        const Foil foil{7112, 7119, 0.96, 2.48, 0};
        const Spectrum grid = stepScan(foil, seed);
        for (int type : {1, 0}) {
            const XafsSpectrum plain(grid, "grid", type, 0, SuggestElm());
            QVERIFY(!plain.noisy && std::fabs(plain.midx - foil.E0) < 0.3 && std::fabs(plain.dMut / foil.jump - 1) < 0.03);
            int positions = 0;
            for (int i = 0; i + 1 < grid.size(); ++i) {
                if (grid.xAt(i) < foil.E0) continue;
                const XafsSpectrum s(stepScan(foil, seed, i, delta), "extra", type, 0, SuggestElm());
                QVERIFY2(!s.noisy && std::fabs(s.midx - plain.midx) < 0.1 && std::fabs(s.dMut / plain.dMut - 1) < 0.02,
                         qPrintable(QString("line type %1, after %2 eV: E0 %3, jump %4").arg(type).arg(grid.xAt(i)).arg(s.midx).arg(s.dMut)));
                ++positions;
            }
            QVERIFY(positions > 90);
        }
    }

    // A pre-edge peak at 9000 crosses the mid-line before the steeper edge at
    // 9025, with steps twentyfold apart on its two sides: a rise taken over one
    // side's step only would rank the peak first. Its lift of the pre-edge line
    // leaves only E0 known: within the edge's width.
    void unequalStepsAroundCrossings_data()
    {
        QTest::addColumn<double>("below");  // the step just below 9001; 2.1 eV less it above
        QTest::newRow("coarse below the peak, fine above") << 2.0;
        QTest::newRow("fine below the peak, coarse above") << 0.1;
    }
    void unequalStepsAroundCrossings()
    {
        QFETCH(double, below);
        const edges::Edge edge{9025, 2, 0.2, 0, 1.2, 0};
        QVector<double> g;
        for (double E = 8850; E < 8980; E += 5) g.append(E);
        for (double E = 8980; E < 9001 - 1e-9; E += below) g.append(E);
        for (double E = 9001; E < 9003 + 10 * (2.1 - below) - 1e-9; E += 2.1 - below) g.append(E);
        for (double E = g.last() + 0.5; E <= 9300; E += 0.5) g.append(E);
        Spectrum raw;
        for (double E : g) raw.append(E, edge.mu(E) + 0.8 * (synth::sigmoid(E, 9000, 2) - synth::sigmoid(E, 9006, 2)));
        for (int type : {1, 0}) {
            const XafsSpectrum s(raw, "peak", type, 0, SuggestElm());
            QVERIFY2(!s.noisy && std::fabs(s.midx - 9025) < 1.5, qPrintable(QString("line type %1: E0 %2").arg(type).arg(s.midx)));
        }
    }

    // Spectra no line can be fitted to (energies in keV, a k grid stored as
    // mu(E)) are refused, naming their file; saved, their file holds no inf or
    // nan, says so on its sixth line and reads back with normalised column 0.
    void refusedSaved_data()
    {
        QTest::addColumn<Spectrum>("raw");
        QTest::addColumn<bool>("refused");
        const edges::Edge e;
        QTest::newRow("keV") << synth::sample(8.8, 9.2, 0.0005, [&](double E) { return e.mu(1000 * E); }) << true;
        QTest::newRow("k grid") << synth::sample(0, 15, 0.05, [](double k) { return 0.1 * std::sin(2 * 2.5 * k) * std::exp(-0.01 * k * k); }) << true;
        QTest::newRow("eV") << e.sample(8800, 9200, 0.5) << false;
    }
    void refusedSaved()
    {
        QFETCH(Spectrum, raw);
        QFETCH(bool, refused);
        QTemporaryDir dir;
        const QString source = dir.filePath("source.dat");
        QVERIFY(ts::writeSpectrum(source, raw));
        const int before = log->lines.filter("source.dat refused").size();
        XafsSpectrum s;
        for (int type : {1, 0}) {
            s.lineType = type;
            QVERIFY(s.loadAndCalc(source));
            QCOMPARE(s.refused(), refused);
            QCOMPARE(log->lines.filter("source.dat refused").size() - before, refused ? type == 1 ? 1 : 2 : 0);
            const QString saved = dir.filePath(QString("saved%1.dat").arg(type));
            QVERIFY(s.save(saved, false));
            const QByteArray file = ts::readAll(saved).toLower();
            QVERIFY(!file.contains("inf") && !file.contains("nan"));
            QCOMPARE(file.split('\n')[5].startsWith("# refused : "), refused);
            XafsSpectrum back;
            QVERIFY(back.readMuT(saved) && back.size() == s.size());
            for (int i = 0; i < back.size(); ++i)
                QVERIFY(qFuzzyCompare(back.xAt(i), s.xAt(i)) && (refused ? back.yAt(i) == 0 : qAbs(back.yAt(i) - s.doubleNormalizedPreBaseCurve.yAt(i)) < 1e-5));
        }
    }

    // On even grids, 0.1 and 0.7 eV steps included whose differences vary in
    // the last bits, the rise per eV ranks as the rise per point did, to the
    // last bit, the first of equal rises still winning.
    void evenGridUnchanged_data()
    {
        QTest::addColumn<Spectrum>("raw");
        std::mt19937 rng(5);
        std::normal_distribution<double> noise(0, 0.01);
        QTest::newRow("0.1 eV, noise and oscillations")
            << synth::sample(7019, 7419, 0.1, [&](double E) { return Foil{7112, 7119, 4.3, 2.48, 1}.mu(E) + noise(rng); });
        QTest::newRow("0.7 eV") << synth::sample(8900, 9200, 0.7, [&](double E) { return edges::wiggly(E, 9010) + noise(rng); });
        // Steps of 5: the smoothed values, and so the rises, are exact and equal.
        QTest::newRow("0.1 eV, equal rises")
            << synth::sample(7000.3, 7100.3, 0.1, [](double E) { return 5.0 * std::floor((E - 7000) / 20); });
    }
    void evenGridUnchanged()
    {
        QFETCH(Spectrum, raw);
        for (int type : {1, 0}) {
            const XafsSpectrum s(raw, "even", type, 0, SuggestElm()), want = perPointRule(raw, type);
            QVERIFY2(!s.noisy && !s.outOfRange && s.pre.fitTo == want.pre.fitTo && s.midx == want.midx && s.dMut == want.dMut,
                     qPrintable(QString("line type %1").arg(type)));
        }
    }

    // One or two points of a step scan read wrongly (a dropout to 0, a dip by
    // half the jump, a spike up by the jump) anywhere from 100 eV below to
    // 150 eV above the edge: more than 15 eV from E0, E0 stays within 0.5 eV
    // and the jump within 10 % of the undisturbed scan's; from 5 to 15 eV,
    // on the scan's 0.5 eV steps, E0 within 0.3 eV and the jump within 3 %.
    void glitchesPassedOver_data()
    {
        QTest::addColumn<edges::FeScan>("scan");
        QTest::addColumn<edges::Glitch>("kind");
        QTest::addColumn<int>("count");
        const struct { const char* name; edges::Glitch kind; } kinds[] = {
            {"to 0", edges::Glitch::ToZero}, {"half the jump down", edges::Glitch::HalfDown}, {"spike", edges::Glitch::Spike}};
        for (bool oxide : {false, true})
            for (double counts : {0.0, 2e5})
                for (const auto& k : kinds)
                    for (int count : {1, 2}) {
                        edges::FeScan scan;
                        scan.oxide = oxide;
                        scan.E0 = oxide ? 7123 : 7112;
                        scan.jump = oxide ? 1.4 : 2.2;
                        scan.counts = counts;
                        scan.seed = 40 + count;
                        QTest::addRow("%s, %s, %s, %d point%s", oxide ? "oxide" : "metal", counts > 0 ? "noisy" : "clean",
                                      k.name, count, count > 1 ? "s" : "")
                            << scan << k.kind << count;
                    }
    }
    void glitchesPassedOver()
    {
        QFETCH(edges::FeScan, scan);
        QFETCH(edges::Glitch, kind);
        QFETCH(int, count);
        const Spectrum clean = scan.scan();
        GlitchMisses& total = glitchMisses();
        for (int type : {1, 0}) {
            const XafsSpectrum truth(clean, "clean", type, 0, SuggestElm());
            // A white line lifts the straight post-edge line at E0.
            QVERIFY2(!truth.noisy && std::fabs(truth.midx - scan.E0) < 3 && std::fabs(truth.dMut / scan.jump - 1) < 0.2,
                     qPrintable(QString("E0 %1, jump %2").arg(truth.midx).arg(truth.dMut)));
            QStringList misses;
            for (double at = -100; at <= 150; at += 2.5) {
                if (std::fabs(at) < 5)
                    continue;
                const Spectrum raw = edges::glitched(clean, scan.E0 + at, count, kind, scan.jump);
                XafsSpectrum s(raw, "glitch", type, 0, SuggestElm()), measured = s;
                measured.calcAsMeasured(type);
                const bool far = std::fabs(at) > 15;
                auto miss = [&](const XafsSpectrum& x) {
                    return x.noisy || std::fabs(x.midx - truth.midx) > (far ? 0.5 : 0.3)
                           || std::fabs(x.dMut / truth.dMut - 1) > (far ? 0.1 : 0.03);
                };
                (far ? total.farCases : total.nearCases) += 1;
                (far ? total.farBefore : total.nearBefore) += miss(measured);
                if (miss(s)) {
                    (far ? total.far : total.near) += 1;
                    misses << QString("%1 eV: E0 %2, jump %3").arg(at).arg(s.midx - truth.midx).arg(s.dMut / truth.dMut);
                }
                // The curves keep the points as measured.
                QCOMPARE(s.normalizedCurve.size(), raw.size());
                for (int i = 0; i < raw.size(); ++i)
                    QVERIFY(s.yAt(i) == raw.yAt(i));
            }
            QVERIFY2(misses.isEmpty(), qPrintable(QString("line type %1: ").arg(type) + misses.join("; ")));
        }
    }

    // Measured Cu K spectra read on a quick-scan grid (0.3 eV through the
    // edge) with one or two points off by a tenth to a quarter of the jump,
    // up or down, more than 2 eV from E0, or a dropout at either end: E0
    // stays within 0.3 eV and the jump within 3 % of the undisturbed scan's.
    // Also one frame at 85 % of its counts 8 eV above a noisy Cu foil's edge.
    void quickScanGlitches_data()
    {
        QTest::addColumn<Spectrum>("clean");
        QTest::addColumn<int>("lineType");
        auto quick = [](const Spectrum& m) {
            return edges::quickScan(m, XafsSpectrum(m, "m", 1, 0, SuggestElm()).midx);
        };
        const Spectrum cuo = quick(measured::spectrum(measured::cuo()));
        const Spectrum cu2s = quick(measured::spectrum(measured::cu2s()));
        for (int type : {1, 0}) {
            QTest::addRow("CuO, line type %d", type) << cuo << type;
            QTest::addRow("Cu2S, line type %d", type) << cu2s << type;
        }
    }
    void quickScanGlitches()
    {
        QFETCH(Spectrum, clean);
        QFETCH(int, lineType);
        const XafsSpectrum truth(clean, "clean", lineType, 0, SuggestElm());
        QVERIFY(!truth.noisy);
        const int N = clean.size();
        int cases = 0, before = 0;
        QStringList misses;
        auto judge = [&](const Spectrum& raw, const QString& what) {
            XafsSpectrum s(raw, "glitch", lineType, 0, SuggestElm()), measured = s;
            measured.calcAsMeasured(lineType);
            auto miss = [&](const XafsSpectrum& x) {
                return x.noisy || std::fabs(x.midx - truth.midx) > 0.3 || std::fabs(x.dMut / truth.dMut - 1) > 0.03;
            };
            ++cases;
            before += miss(measured);
            if (miss(s))
                misses << QString("%1: E0 %2, jump %3").arg(what).arg(s.midx - truth.midx).arg(s.dMut / truth.dMut);
            for (int i = 0; i < N; ++i)
                QVERIFY(s.yAt(i) == raw.yAt(i));
        };
        for (double size : {0.1, 0.25, -0.1, -0.25})
            for (int count : {1, 2})
                for (double at : {-60.0, -25.0, -12.0, -6.0, -3.0, 2.5, 4.0, 6.0, 8.0, 12.0, 18.0, 25.0, 40.0, 70.0, 120.0}) {
                    Spectrum raw = clean;
                    int first = 0;
                    while (raw.xAt(first) < truth.midx + at) ++first;
                    for (int k = first; k < first + count; ++k)
                        raw.points[k].ry() += size * truth.dMut;
                    judge(raw, QString("%1 x %2 at %3 eV").arg(size).arg(count).arg(at));
                }
        // The search reaches both ends of the spectrum.
        for (int at : {1, 2, N - 3, N - 2})
            for (double factor : {0.0, 0.5}) {
                Spectrum raw = clean;
                raw.points[at].ry() *= factor;
                judge(raw, QString("point %1 of %2 times %3").arg(at).arg(N).arg(factor));
            }
        std::printf("%s: %d of %d glitches miss (every point as measured: %d)\n", QTest::currentDataTag(),
                    int(misses.size()), cases, before);
        QVERIFY2(misses.isEmpty(), qPrintable(misses.join("; ")));
    }
    // One frame at 85 % of its I1 counts (mu +0.16) 8 eV above a measured Cu foil's edge on a quick-scan
    // grid: E0 within 0.3 eV and the jump within 3 %, also where the foil is thin and the block thick, so the
    // spike is a small part of the spectrum's spread and steeper than the edge.
    void quickScanFrameLow_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<double>("thickness");
        QTest::newRow("foil as measured") << 1.0 << 1.0;
        QTest::newRow("thin foil on a thick support") << 0.35 << 2.5;
        QTest::newRow("thinner foil on a thick support") << 0.2 << 3.0;
    }
    void quickScanFrameLow()
    {
        QFETCH(double, scale);
        QFETCH(double, thickness);
        Spectrum foil = measured::spectrum(measured::cuFoil());
        for (QPointF& p : foil.points) p.setY(p.y() * scale);
        const Spectrum quick = edges::quickScan(foil, XafsSpectrum(foil, "m", 1, 0, SuggestElm()).midx);
        for (unsigned seed : {1u, 2u, 3u}) {
            std::mt19937 rng(seed);
            std::normal_distribution<double> unit(0, 1);
            // 2e5 counts a point before the sample: mu read through photon noise.
            Spectrum clean;
            for (int i = 0; i < quick.size(); ++i) {
                const double I = 2e5 * std::exp(-(quick.yAt(i) + thickness));
                clean.append(quick.xAt(i), std::log(2e5 / (I + std::sqrt(I) * unit(rng))) - thickness);
            }
            const XafsSpectrum truth(clean, "clean", 1, 0, SuggestElm());
            Spectrum raw = clean;
            int k = 0;
            while (raw.xAt(k) < truth.midx + 8) ++k;
            raw.points[k].ry() -= std::log(0.85);
            const XafsSpectrum s(raw, "frame", 1, 0, SuggestElm());
            QVERIFY2(!s.noisy && std::fabs(s.midx - truth.midx) <= 0.3 && std::fabs(s.dMut / truth.dMut - 1) <= 0.03,
                     qPrintable(QString("seed %1: E0 %2 / %3, jump %4 / %5").arg(seed).arg(s.midx).arg(truth.midx).arg(s.dMut).arg(truth.dMut)));
        }
    }

    // A measured Fe K micro-XANES spectrum whose detector dropped out for
    // three points at 0.5 eV steps (two read 0, the one before 20 % low): E0
    // and the jump as with the three points on their neighbours' line, also
    // read every 1 eV; the curves and the saved file keep the points as
    // measured.
    void measuredDropout()
    {
        const Spectrum raw = measured::spectrum(measured::feMicroXanesDropout());
        int first = 0;
        while (raw.xAt(first) < 7142.9) ++first;
        QVERIFY(raw.yAt(first + 1) == 0 && raw.yAt(first + 2) == 0 && raw.yAt(first) < 0.85 * raw.yAt(first - 1));
        Spectrum twin = raw;
        for (int k = first; k < first + 3; ++k)
            twin.points[k].setY(raw.yAt(first - 1) + (raw.yAt(first + 3) - raw.yAt(first - 1)) * (raw.xAt(k) - raw.xAt(first - 1))
                                / (raw.xAt(first + 3) - raw.xAt(first - 1)));
        for (int type : {1, 0}) {
            const XafsSpectrum truth(twin, "twin", type, 0, SuggestElm());
            const XafsSpectrum s(raw, "dropout", type, 0, SuggestElm());
            QVERIFY2(std::fabs(truth.midx - 7119.64) < 0.5, qPrintable(QString::number(truth.midx)));
            QVERIFY2(!s.noisy && std::fabs(s.midx - truth.midx) < 1 && std::fabs(s.dMut / truth.dMut - 1) < 0.03,
                     qPrintable(QString("line type %1: E0 %2, jump %3 / %4").arg(type).arg(s.midx).arg(s.dMut).arg(truth.dMut)));
            for (int i = 0; i < raw.size(); ++i)
                QVERIFY(s.yAt(i) == raw.yAt(i));
            QBuffer file;
            file.open(QIODevice::ReadWrite);
            QVERIFY(s.write(file, false));
            const QList<QByteArray> lines = file.data().split('\n');
            int row = 0;
            for (const QByteArray& line : lines) {
                if (line.startsWith('#') || line.isEmpty())
                    continue;
                const double mu = line.split('\t').value(2).toDouble();
                QVERIFY2(std::fabs(mu - raw.yAt(row)) <= 1e-5 * std::fabs(raw.yAt(row)), line.constData());
                ++row;
            }
            QCOMPARE(row, raw.size());
        }
        // Read every 1 eV the dropout is two points, one near 0.
        const XafsSpectrum coarse(edges::resampled(raw, raw.xAt(0), 1), "1 eV", 1, 0, SuggestElm());
        QVERIFY2(!coarse.noisy && std::fabs(coarse.midx - 7119.64) < 1, qPrintable(QString::number(coarse.midx)));
    }

    // White lines and pre-edge peaks on one point of a 2 to 5 eV grid are
    // features, not glitches: E0 and the lines as with every point as
    // measured, to the last bit. A measured sulfide and sulfate S K spectrum
    // read every 2 to 5 eV from several starts (the sulfate's white line on
    // one point), a sulfate-like edge with a white line 8 times its jump on
    // 2.9 eV steps, a tall pre-edge peak on 3 eV steps.
    void coarseFeaturesAsMeasured_data()
    {
        QTest::addColumn<Spectrum>("raw");
        QTest::addColumn<double>("E0");  // as the scan must give, 0: not checked
        const Spectrum sk = measured::spectrum(measured::sulfideSulfate());
        for (double step : {2.0, 2.5, 3.0, 4.0, 5.0})
            for (double from : {2455.0, 2456.3, 2457.8})
                QTest::addRow("S K, %g eV from %g", step, from)
                    << edges::resampled(sk, from, step) << (step == 3 && from == 2457.8 ? 2470.92 : 0.0);
        const Spectrum sulfate = synth::sample(2440, 2540, 0.1, [](double E) {
            return 0.01 + 0.05 * synth::sigmoid(E, 2480.5, 0.8) + 0.4 * std::exp(-std::pow((E - 2482) / 1.2, 2));
        });
        for (double from : {2440.0, 2440.7, 2441.4, 2442.1})
            QTest::addRow("sulfate-like, 2.9 eV from %g", from) << edges::resampled(sulfate, from, 2.9) << 0.0;
        for (double from : {5900.0, 5901.0, 5902.0})
            QTest::addRow("pre-edge peak 0.8 of the jump, 3 eV from %g", from) << synth::sample(from, from + 300, 3, [](double E) {
                return edges::Edge{6006, 2}.mu(E) + 0.8 * std::exp(-std::pow((E - 5993.5) / 1.2, 2));
            }) << 0.0;
    }
    void coarseFeaturesAsMeasured()
    {
        QFETCH(Spectrum, raw);
        QFETCH(double, E0);
        for (int type : {1, 0}) {
            const XafsSpectrum s(raw, "coarse", type, 0, SuggestElm());
            XafsSpectrum measured = s;
            measured.calcAsMeasured(type);
            QVERIFY2(sameResult(s, measured), qPrintable(QString("line type %1: E0 %2 / %3, jump %4 / %5")
                                                             .arg(type).arg(s.midx, 0, 'f', 4).arg(measured.midx, 0, 'f', 4)
                                                             .arg(s.dMut).arg(measured.dMut)));
            if (E0 > 0 && type == 1)
                QVERIFY2(!s.noisy && std::fabs(s.midx - E0) < 0.05, qPrintable(QString::number(s.midx, 'f', 3)));
        }
    }
    // Blocks of a 20 x 10 stack of that S K spectrum on 3 eV steps, each with
    // its own fluorescence noise: every block gets an edge, within 0.5 eV of
    // the noiseless spectrum's.
    void coarseWhiteLineBlocks()
    {
        const Spectrum sk = edges::resampled(measured::spectrum(measured::sulfideSulfate()), 2457.8, 3);
        const XafsSpectrum truth(sk, "S K", 1, 0, SuggestElm());
        std::mt19937 rng(9);
        std::normal_distribution<double> unit(0, 1);
        int refused = 0, off = 0;
        for (int block = 0; block < 200; ++block) {
            // About 20,000 counts at the white line.
            Spectrum noisy;
            for (int i = 0; i < sk.size(); ++i) {
                const double counts = 1.5e5 * sk.yAt(i);
                noisy.append(sk.xAt(i), (counts + std::sqrt(counts) * unit(rng)) / 1.5e5);
            }
            const XafsSpectrum s(noisy, "block", 1, 0, SuggestElm());
            refused += s.noisy || s.outOfRange;
            off += !s.noisy && std::fabs(s.midx - truth.midx) > 0.5;
        }
        QVERIFY2(refused == 0 && off == 0, qPrintable(QString("%1 refused, %2 off").arg(refused).arg(off)));
    }

    // Rises that stay up are edges, however coarse the grid: steps of 5 eV
    // through the edge, a white line standing above both neighbours, scans
    // ending soon after the edge, thin noisy samples, and the clean spectra
    // of the other tests. Their E0 and lines stay what every point as
    // measured gives, to the last bit.
    void edgesKeptAsMeasured_data()
    {
        QTest::addColumn<Spectrum>("raw");
        QTest::addColumn<SuggestElm>("window");
        const SuggestElm none;
        for (bool oxide : {false, true})
            for (double E0 : {7112.0, 7113.3, 7114.5, 7116.2})
                for (double counts : {0.0, 2e5}) {
                    edges::FeScan coarse;
                    coarse.oxide = oxide;
                    coarse.E0 = E0;
                    coarse.step = 5;
                    coarse.counts = counts;
                    QTest::addRow("%s, 5 eV steps, E0 %g%s", oxide ? "oxide" : "metal", E0, counts > 0 ? ", noisy" : "")
                        << coarse.scan() << none;
                }
        QTest::newRow("whole rise in one 5 eV step") << edges::Edge{9002.5, 0.3}.sample(8800, 9200, 5) << none;
        // A white line three times the jump on one point of a 5 eV grid.
        QTest::newRow("tall white line on one point") << synth::sample(8800, 9200, 5, [](double E) {
            return edges::Edge{9000, 0.5}.mu(E) + 2 * std::exp(-std::pow((E - 9005) / 1.5, 2));
        }) << none;
        // The whole rise in the step before a white line's point.
        QTest::newRow("rise and white line in one step") << synth::sample(8800, 9200, 5, [](double E) {
            return edges::Edge{9002.5, 0.3}.mu(E) + 0.6 * std::exp(-std::pow((E - 9005) / 1.5, 2));
        }) << none;
        // A narrow peak a third of the jump 30 eV above the edge, on one point
        // of a 4 eV grid: the curve's own, nearer its neighbours than its spread.
        QTest::newRow("narrow peak 30 eV above, 4 eV steps") << synth::sample(8802, 9302, 4, [](double E) {
            return edges::Edge{9000, 1.5}.mu(E) + 0.3 * std::exp(-std::pow((E - 9030) / 1.5, 2))
                   + (E > 9000 ? 0.08 * std::sin((E - 9000) / 6) : 0.0);
        }) << none;
        for (double last : {8.0, 12.0, 20.0, 40.0}) {
            edges::FeScan shortScan;
            shortScan.oxide = last > 10;
            shortScan.last = last;
            shortScan.counts = 2e5;
            QTest::addRow("scan ends %g eV above the edge", last) << shortScan.scan() << none;
        }
        for (unsigned seed : {1u, 2u, 3u}) {
            edges::FeScan thin;
            thin.jump = 0.05;
            thin.counts = 2e5;
            thin.seed = seed;
            QTest::addRow("thin noisy sample, seed %u", seed) << thin.scan() << none;
            thin.oxide = true;
            QTest::addRow("thin noisy oxide, seed %u", seed) << thin.scan() << windowAt(7120);
        }
        QTest::newRow("Fe foil") << Foil{7112, 7119, 4.3, 2.48, 11}.scan() << none;
        QTest::newRow("Cu foil, window") << Foil{8979, 8986, 2.45, 2.55, 12}.scan() << windowAt(8979);
        QTest::newRow("foil step scan") << stepScan(Foil{7112, 7119, 0.96, 2.48, 0}, 31) << none;
        QTest::newRow("foil step scan, extra point") << stepScan(Foil{7112, 7119, 0.96, 2.48, 0}, 31, 60, 0.05) << none;
        QTest::newRow("irregular") << static_cast<const Spectrum&>(irregular(9000, 3)) << none;
        QTest::newRow("analytic edge") << edges::Edge{}.sample(8800, 9200, 0.5) << windowAt(9000);
    }
    void edgesKeptAsMeasured()
    {
        QFETCH(Spectrum, raw);
        QFETCH(SuggestElm, window);
        for (int type : {1, 0}) {
            const XafsSpectrum s(raw, "edge", type, 0, window);
            XafsSpectrum measured = s;
            measured.calcAsMeasured(type);
            QVERIFY2(sameResult(s, measured), qPrintable(QString("line type %1: E0 %2 / %3, jump %4 / %5")
                                                             .arg(type).arg(s.midx, 0, 'f', 4).arg(measured.midx, 0, 'f', 4)
                                                             .arg(s.dMut).arg(measured.dMut)));
        }
    }

    // Noise alone rarely makes a point stand apart; where it does, E0 and the
    // jump come no further from the noiseless scan's than with every point
    // as measured, beyond the noise's own share.
    void noiseRarelyPassedOver_data()
    {
        QTest::addColumn<edges::FeScan>("scan");
        edges::FeScan s;
        for (bool oxide : {false, true})
            for (double counts : {5e4, 2e3})
                for (double jump : {0.02, 0.1, 1.0}) {
                    s.oxide = oxide;
                    s.jump = jump;
                    s.counts = counts;
                    QTest::addRow("%s, jump %g, %g counts", oxide ? "oxide" : "metal", jump, counts) << s;
                }
    }
    void noiseRarelyPassedOver()
    {
        QFETCH(edges::FeScan, scan);
        edges::FeScan noiseless = scan;
        noiseless.counts = 0;
        const XafsSpectrum truth(noiseless.scan(), "truth", 1, 0, SuggestElm());
        int changed = 0, worse = 0;
        const int seeds = 100;
        for (unsigned seed = 1; seed <= unsigned(seeds); ++seed) {
            scan.seed = seed;
            const XafsSpectrum s(scan.scan(), "noisy", 1, 0, SuggestElm());
            XafsSpectrum measured = s;
            measured.calcAsMeasured(1);
            if (sameResult(s, measured))
                continue;
            ++changed;
            const double tolE = 0.1, tolJ = 0.02 * truth.dMut;
            worse += std::fabs(s.midx - truth.midx) > std::fabs(measured.midx - truth.midx) + tolE
                     || std::fabs(s.dMut - truth.dMut) > std::fabs(measured.dMut - truth.dMut) + tolJ;
        }
        glitchMisses().noisyRuns += seeds;
        glitchMisses().noisyChanged += changed;
        QVERIFY2(changed <= seeds / 20 && worse == 0, qPrintable(QString("%1 changed, %2 worse").arg(changed).arg(worse)));
    }

    // Points no reader lets through but a stack can give (log of a zero
    // count, a pixel of no value) and the shortest spectra: the search for
    // points standing apart must not trip on them; short spectra still end
    // with a jump or a flag.
    void oddInputToGlitchSearch_data()
    {
        QTest::addColumn<Spectrum>("raw");
        QTest::addColumn<bool>("finite");  // E0 and the jump must be numbers
        const edges::Edge e;
        auto with = [&](double at, double v) {
            Spectrum s = e.sample(8900, 9100, 1);
            for (QPointF& p : s.points)
                if (p.x() == at) p.setY(v);
            return s;
        };
        QTest::newRow("not a number 50 eV above") << with(9050, std::nan("")) << false;
        QTest::newRow("infinite 50 eV above") << with(9050, HUGE_VAL) << false;
        QTest::newRow("minus infinite 50 eV below") << with(8950, -HUGE_VAL) << false;
        QTest::newRow("spike in five points") << synth::sample(0, 4, 1, [](double E) { return E == 2 ? 10.0 : 1.0; }) << true;
        QTest::newRow("four points") << synth::sample(0, 3, 1, [](double E) { return E; }) << true;
        QTest::newRow("all zero") << edges::constant(8800, 9200, 0.5, 0) << true;
    }
    void oddInputToGlitchSearch()
    {
        QFETCH(Spectrum, raw);
        QFETCH(bool, finite);
        for (int type : {1, 0}) {
            const XafsSpectrum s(raw, "odd", type, 0, SuggestElm());
            XafsSpectrum measured = s;
            measured.calcAsMeasured(type);
            QCOMPARE(s.normalizedCurve.size(), raw.size());
            if (finite) QVERIFY(std::isfinite(s.midx) && std::isfinite(s.dMut) && (s.noisy || s.dMut != 0));
        }
    }

    // E0 found outside the suggested window on a spectrum that is not noisy:
    // saved, the file says it was refused and its normalised column is 0.
    void outOfRangeSaved()
    {
        const XafsSpectrum s(bumpAndStep(1.0), "outside", 1, 0, windowAt(9000));
        QVERIFY(s.outOfRange && !s.noisy && s.refused());
        QBuffer file;
        file.open(QIODevice::WriteOnly);
        QVERIFY(s.write(file, false));
        const QList<QByteArray> lines = file.data().split('\n');
        QCOMPARE(lines[5], QByteArray("# refused : no mid-line crossing inside the suggested edge window"));
        for (int i = 7; i < 7 + s.size(); ++i)
            QCOMPARE(lines[i].split('\t')[1], QByteArray("0"));
    }

    // A post-edge line below the pre-edge line (an edge that falls back below
    // its start): the lines are moved apart until the post line lies a tenth
    // of the gap above, so the jump is a tenth of the gap, neither 0 nor
    // negative. Level lines at 1 and 0.8, so the gap is 0.2 everywhere.
    void postBelowPre()
    {
        const Spectrum raw = synth::sample(8800, 9200, 0.5, [](double E) {
            return E < 8995 ? 1.0 : E < 9000 ? 0.0 : E < 9005 ? 1.5 : 0.8;
        });
        for (int type : {1, 0}) {
            const XafsSpectrum s(raw, "falls back", type, 0, SuggestElm());
            QVERIFY2(!s.noisy && std::fabs(s.dMut - 0.02) < 1e-9 && s.midx > 8999 && s.midx < 9000.5,
                     qPrintable(QString("line type %1: E0 %2, jump %3").arg(type).arg(s.midx).arg(s.dMut, 0, 'g', 17)));
        }
    }

    // Relative energies (E - E0) or a pixel axis from 0: straight lines work as
    // anywhere; Victoreen lines need a wavelength and refuse, flagged with no
    // jump and E0 at the first guess, never a NaN or an absurd jump.
    void nonPositiveEnergies_data()
    {
        QTest::addColumn<Spectrum>("raw");
        QTest::addColumn<double>("E0");
        QTest::addColumn<double>("jump");
        auto row = [](const char* name, const edges::Edge& e, double from, double to, double step) {
            QTest::newRow(name) << e.sample(from, to, step) << e.E0 << e.jump();
        };
        row("relative energies", {0, 1.5, 0.2, -2e-4, 1.3, -3e-4}, -200, 800, 0.5);
        row("relative, edge above 0", {35, 1.5, 0.2, -2e-4, 1.3, -3e-4}, -150, 600, 0.5);
        row("pixel axis from 0", {150, 3, 0.5, 0, 2, 0}, 0, 399, 1);
        QTest::newRow("foil scan, relative energies") << Foil{-7, 0, 2.45, 2.55, 3}.scan() << 0.0 << 2.45;
    }
    void nonPositiveEnergies()
    {
        QFETCH(Spectrum, raw);
        QFETCH(double, E0);
        QFETCH(double, jump);
        const XafsSpectrum straight(raw, "rel", 1, 0, SuggestElm()), vic(raw, "rel", 0, 0, SuggestElm());
        QVERIFY2(!straight.noisy && std::fabs(straight.midx - E0) < 0.3 && std::fabs(straight.dMut / jump - 1) < 0.03,
                 qPrintable(QString("E0 %1, jump %2").arg(straight.midx).arg(straight.dMut)));
        QVERIFY2(!vic.pre.fitted && vic.noisy && vic.dMut == 0 && std::fabs(vic.midx - E0) < 1.5,
                 qPrintable(QString("E0 %1, jump %2").arg(vic.midx).arg(vic.dMut)));
        QBuffer file;
        file.open(QIODevice::WriteOnly);
        QVERIFY(vic.write(file, false));
        const QByteArray head = file.data().split('\n').mid(1, 4).join('\n').toLower();
        QVERIFY2(!head.contains("nan") && !head.contains("inf"), head.constData());
    }

    // A flat pre line at 0.3 and a post line rising 0.001 per eV through 2.3
    // at the edge: every curve is known below, above and at the edge (the gap
    // is 1.905 at 8905 eV, about 2 = the jump at E0, which is found to within
    // 0.02 eV).
    void derivedCurves()
    {
        const Spectrum raw = edges::Edge{9000, 1, 0.3, 0, 2.3 - 9, 0.001}.sample(8900, 9100, 1);
        const XafsSpectrum s(raw, "lines", 1, 0, SuggestElm());
        // Each curve below, at and above the edge.
        const struct { const Spectrum* c; double want[3]; } curves[] = {
            {&s.normalizedCurve, {1 - 1.905 / 2, 0.5, 1}}, {&s.doubleNormalizedPreBaseCurve, {0, 0.5, 1}},
            {&s.postBaseCurve, {-1.905 / 2, -0.5, 0}}, {&s.doubleNormalizedPostBaseCurve, {-1, -0.5, 0}}};
        for (const auto& k : curves)
            for (int j = 0; j < 3; ++j)
                QVERIFY(qAbs(k.c->yAt(5 + 95 * j) - k.want[j]) < 1e-5);

        XafsSpectrum empty;
        empty.recalc(1);
        empty.calc(1);  // an empty spectrum must not trip the normalisation
        QCOMPARE(empty.normalizedCurve.points.size(), 0);
    }

    // The search reads smoothed values at the points' own energies without
    // bisecting, and the pre line along its correction curve without
    // bisecting either; it must agree with the definition.
    void energyAtFractionMatchesDefinition()
    {
        // A post line falling fast enough that the pre line is bent towards it.
        const edges::Edge e{9003.3, 2, -0.7, 1e-4, 46.1, -5e-3};
        auto noisy = [&](double E) { return e.mu(E) + 0.004 * std::sin(E * 3.3); };
        const XafsSpectrum s(synth::sample(8900, 9100, 0.7, noisy), "corrected", 1, 0, SuggestElm());
        QVERIFY(s.pre.correctionOn);
        for (double f = 0.05; f < 1; f += 0.05)
            QCOMPARE(s.energyAtFraction(f) == energyByDefinition(s, f), true);
    }

    // A second calc on new data must not measure the gap against the first
    // calc's correction curve (the first pre line is steep enough to be bent).
    void recalcIgnoresStaleCorrection()
    {
        XafsSpectrum reused(edges::Edge{9000, 1.5, -439.5, 0.05, 20, 0}.sample(8800, 9200, 0.5), "a", 1, 0, SuggestElm());
        QVERIFY(reused.pre.correctionOn);
        static_cast<Spectrum&>(reused) = edges::Edge{9000, 1.5, 0, 0, 1, 0}.sample(8800, 9200, 0.5);
        reused.calc(1);
        QVERIFY(qAbs(reused.dMut - 1) < 1e-6);
        QVERIFY(qAbs(reused.midx - 9000) < 0.02);
        QVERIFY(!reused.pre.correctionOn);
    }

    // Files come in every order; the normalisation sees ascending energies,
    // the values of one energy averaged (an angle file's intensities too).
    void fileOrder_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Points>("expected");
        QTest::addColumn<Points>("intensities");  // I0, I
        QTest::newRow("one energy twice, out of order")
            << QByteArray("9000 1\n9001 2\n9001 3\n8999 0.5\n") << Points{{8999, 0.5}, {9000, 1}, {9001, 2.5}} << Points();
        // A monochromator scan recorded with the angle rising: energies fall.
        auto energy = [](double deg) { return hc / (2 * 3.13553 * std::sin(deg * 3.1415926535 / 180)); };
        QTest::newRow("angle file, one angle twice")
            << QByteArray("9809 scan\nD= 3.13553\nOffset\n1 20 x 1000 500\n1 20.1 x 1100 400\n"
                          "1 20.2 x 1200 300\n1 20.2 x 1300 350\n1 20.3 x 1400 200\n")
            << Points{{energy(20.3), std::log(1400.0 / 200)},
                      {energy(20.2), (std::log(1200.0 / 300) + std::log(1300.0 / 350)) / 2},
                      {energy(20.1), std::log(1100.0 / 400)},
                      {energy(20.0), std::log(1000.0 / 500)}}
            << Points{{1400, 200}, {1250, 325}, {1100, 400}, {1000, 500}};
    }
    void fileOrder()
    {
        QFETCH(QByteArray, text);
        QFETCH(Points, expected);
        QFETCH(Points, intensities);
        QTemporaryDir dir;
        XafsSpectrum read;
        QVERIFY(read.loadAndCalc(ts::writeIn(dir, "mu.dat", text)));
        QCOMPARE(read.points, expected);
        QCOMPARE(read.minX, expected.first().x());
        QCOMPARE(read.maxX, expected.last().x());
        for (int i = 0; i < intensities.size(); ++i)
            QCOMPARE(QPointF(read.i0Curve.yAt(i), read.iCurve.yAt(i)), intensities[i]);
    }

    void shiftSearch_data()
    {
        QTest::addColumn<Search>("search");
        // Finer passes stay within range / 10 of the centre.
        QTest::newRow("on the coarse grid, away from the centre") << Search{9000, 9003, 7, 10, 1, 0.01, 3};
        QTest::newRow("only the fine pass has it") << Search{9000, 9003.5, 3.2, 10, 1, 0.1, 3.5};
        QTest::newRow("the fine band stays around the centre") << Search{9000, 9003.5, 5.2, 10, 1, 0.1, 3.2};
        QTest::newRow("equal step and smallest step") << Search{9000, 9003, 0, 10, 1, 1, 3};
        QTest::newRow("range 0 scores the centre only") << Search{9000, 9003, 1.25, 0, 1, 0.001, 1.25};
        // No overlap at any shift: every score is 0, the first shift scanned wins.
        QTest::newRow("ties keep the earliest") << Search{20000, 9000, 0, 10, 1, 0.01, -10};
        QTest::newRow("step lost against the range") << Search{9000, 9003, 0, 1e300, 1, 0.5, -1e300};
        // Refused: 0. Empty form fields read 0; none may hang the search.
        QTest::newRow("step below the smallest") << Search{9000, 9003, 0, 10, 0.01, 0.1, 0};
        QTest::newRow("steps 0") << Search{9000, 9003, 0, 10, 0, 0, 0};
        QTest::newRow("smallest step 0") << Search{9000, 9003, 0, 10, 1, 0, 0};
        QTest::newRow("infinite step") << Search{9000, 9003, 0, 10, qInf(), 1, 0};
        QTest::newRow("step not a number") << Search{9000, 9003, 0, 10, qQNaN(), 0.1, 0};
        QTest::newRow("infinite range") << Search{9000, 9003, 0, qInf(), 1, 0.5, 0};
    }
    void shiftSearch()
    {
        QFETCH(Search, search);
        const XafsSpectrum ref = shiftEdgeAt(search.refE0);
        XafsSpectrum s = shiftEdgeAt(search.E0);
        s.midx = ref.midx + search.centre;
        const double found = s.findEnergyShift(ref, search.range, search.step, search.minStep);
        QVERIFY2(qAbs(found - search.expected) <= 1e-9 * (1 + qAbs(search.expected)),
                 qPrintable(QString::number(found, 'g', 17)));
    }

    // The score reads the reference in one sweep; it must give the very values
    // of point-by-point lookups, also on references whose energies repeat,
    // and with x shifts switched on.
    void shiftScores()
    {
        const XafsSpectrum ref = shiftEdgeAt(9000);
        QVERIFY(qAbs(shiftEdgeAt(9003).correlation(3, ref) - 1) < 1e-12);
        QCOMPARE(XafsSpectrum().correlation(0, ref), 0.0);
        QCOMPARE(ref.correlation(0, XafsSpectrum()), 0.0);

        const XafsSpectrum a = irregular(9000, 1), s = irregular(9002, 2);
        XafsSpectrum repeated = a, shiftedOwn = s;
        repeated.doubleNormalizedPreBaseCurve.points[40].rx() = repeated.doubleNormalizedPreBaseCurve.points[41].x();
        shiftedOwn.xShiftOn = true;
        shiftedOwn.xShift = -0.9;
        const struct { const XafsSpectrum* own; const XafsSpectrum* ref; } pairs[] = {
            {&s, &a}, {&s, &repeated}, {&shiftedOwn, &a}};
        // Far enough out on both sides that some shifts leave no overlap.
        for (double shift = -160; shift <= 160; shift += 0.37)
            for (const auto& p : pairs)
                QCOMPARE(p.own->correlation(shift, *p.ref) == scoreByDefinition(*p.own, shift, *p.ref), true);
    }

    // The post-edge line counts the scan's last point: on a sparse list with
    // two points above the edge the block is normalised, not refused. A last
    // point far off the line through those before it (a beam dump as the
    // scan ends) is left out, as it always was: E0 and the jump are those of
    // the scan without it, and a reference channel's tiny jump is not
    // refused for the residual it would add.
    void lastPointOfScan_data()
    {
        QTest::addColumn<Spectrum>("raw");
        QTest::addColumn<SuggestElm>("window");
        QTest::addColumn<QVector<int>>("types");
        QTest::addColumn<bool>("counted");
        QTest::addColumn<double>("E0");    // 0: as the scan without its last point
        QTest::addColumn<double>("jump");
        const QVector<int> both{1, 0}, straight{1};
        // Two points keep the pre-edge line's slope: here the post-edge has
        // it too, so the line is the one through both.
        const edges::Edge e{9000, 1.5, 0.2, 1e-5, 1.2, 1e-5};
        Spectrum sparse;
        for (double E : {8940.0, 8960.0, 8975.0, 8985.0, 8991.0, 8994.0, 8996.5, 8998.5, 9000.2, 9002.0, 9004.0, 9007.0, 9045.0, 9060.0})
            sparse.append(E, e.mu(E));
        // Two points make a straight line (a Victoreen line needs three).
        QTest::newRow("two post-edge points") << sparse << SuggestElm() << straight << true << e.E0 << e.jump();
        auto dumped = [](Spectrum s, double to) {
            s.points.last().ry() = to;
            return s;
        };
        for (bool oxide : {false, true}) {
            const edges::FeScan fe{oxide, 7120, 1.0, 2e6, 5};
            const char* name = oxide ? "oxide" : "metal";
            QTest::addRow("%s, photon noise", name) << fe.scan() << SuggestElm() << both << true << 0.0 << 0.0;
            QTest::addRow("%s, beam dump at the end", name) << dumped(fe.scan(), 0) << SuggestElm() << both << false << 0.0 << 0.0;
            // Over 60 eV the straight line leaves the near-edge structure (a
            // white line above the oxide's edge) a scatter of up to a sixth of
            // the jump: a spike as tall as the jump is beyond it.
            Spectrum xanes = edges::FeScan{oxide, 7120, 1.0, 2e6, 6, 0.5, 60}.scan();
            QTest::addRow("%s to 60 eV", name) << xanes << SuggestElm() << both << true << 0.0 << 0.0;
            QTest::addRow("%s to 60 eV, last point high", name) << dumped(xanes, xanes.points.last().y() + 1.0) << SuggestElm() << both << false << 0.0 << 0.0;
        }
        // A reference channel: a jump of 0.0017 on a level of 1, read to 1.5e-4
        // below the edge and 2e-5 above it, judged with noise factor 20: the
        // post-edge line's residual keeps it; one far-off point would refuse
        // it. (A Victoreen line's residual always took in its range's end.)
        std::mt19937 rng(3);
        std::normal_distribution<double> unit(0, 1);
        const edges::Edge ref{9000, 1.5, 1.0, 0, 1.0017, 0};
        const Spectrum channel = synth::sample(8800, 9300, 2, [&](double E) { return ref.mu(E) + (E < 9000 ? 1.5e-4 : 2e-5) * unit(rng); });
        QTest::newRow("reference channel") << channel << windowAt(9000, 20) << straight << true << 0.0 << 0.0;
        QTest::newRow("reference channel, last point off") << dumped(channel, channel.points.last().y() + 0.003) << windowAt(9000, 20) << straight << false << 0.0 << 0.0;
    }
    void lastPointOfScan()
    {
        QFETCH(Spectrum, raw);
        QFETCH(SuggestElm, window);
        QFETCH(QVector<int>, types);
        QFETCH(bool, counted);
        QFETCH(double, E0);
        QFETCH(double, jump);
        Spectrum without = raw;
        without.points.removeLast();
        for (int type : types) {
            const XafsSpectrum s(raw, "s", type, 0, window), before(without, "before", type, 0, window);
            // The line the points up to the last one, it included, make.
            VictLine through;
            through.fit(raw, s.post.fitFrom, raw.xAt(raw.size() - 1), type, true);
            // Read at the range's ends: through two points the line is the
            // same whichever way the points are weighed, to rounding.
            const double a = s.post.fitFrom, b = raw.xAt(raw.size() - 1);
            const double tol = 1e-9 * (std::fabs(through.baseValue(a)) + std::fabs(through.baseValue(b)));
            const bool in = std::fabs(through.baseValue(a) - s.post.baseValue(a)) <= tol
                            && std::fabs(through.baseValue(b) - s.post.baseValue(b)) <= tol;
            const QByteArray got = QString("line type %1: E0 %2 / %3, jump %4 / %5, last point %6")
                                       .arg(type).arg(s.midx, 0, 'f', 3).arg(before.midx, 0, 'f', 3).arg(s.dMut)
                                       .arg(before.dMut).arg(in ? "counted" : "left out").toLatin1();
            QVERIFY2(!s.refused(), got);
            QCOMPARE(in, counted);
            if (E0 > 0)
                QVERIFY2(std::fabs(s.midx - E0) < 0.3 && std::fabs(s.dMut / jump - 1) < 1e-3, got);
            else if (!counted)
                QVERIFY2(!before.refused() && std::fabs(s.midx - before.midx) < 0.02 && std::fabs(s.dMut / before.dMut - 1) < 2e-3, got);
        }
        // Victoreen lines need three points: two are refused, not fitted.
        if (E0 > 0) QVERIFY(XafsSpectrum(raw, "s", 0, 0, window).noisy);
    }

    // Over noisy scans a last point that belongs to the line is counted: the
    // limit stands well outside the scatter of measured post-edge points.
    void lastPointRarelyLeftOut()
    {
        int left = 0, scans = 0;
        for (unsigned seed = 1; seed <= 100; ++seed) {
            for (bool oxide : {false, true}) {
                const Spectrum raw = edges::FeScan{oxide, 7120, 1.0, 1e5, seed, 0.5, seed % 2 ? 300.0 : 60.0}.scan();
                const XafsSpectrum s(raw, "noisy", 1, 0, SuggestElm());
                int inRange = 0;
                for (int i = 0; i < s.size(); ++i) inRange += s.xAt(i) >= s.post.fitFrom;
                left += s.post.fitCount != inRange;
                ++scans;
            }
        }
        QVERIFY2(left <= scans / 100, qPrintable(QString("%1 of %2 left out").arg(left).arg(scans)));
    }

    // Two post-edge points, 15 eV apart on a short list, give whatever slope
    // the oscillations between them have: the line keeps the pre-edge line's
    // slope and passes through the two points' mean. Three points keep a
    // slope of their own.
    void twoPostEdgePoints_data()
    {
        QTest::addColumn<Spectrum>("raw");
        QTest::addColumn<int>("points");    // in the post-edge range
        QTest::addColumn<double>("E0");
        QTest::addColumn<double>("jump");   // 0: the fine scan's figures
        QTest::addColumn<Spectrum>("fine");
        const edges::Edge e{9000, 1.5, 0.2, 1e-5, 1.4, -2e-5};
        QVector<double> list{8940, 8960, 8975, 8985, 8991, 8994, 8996.5, 8998.5, 9000.2, 9002, 9004, 9007, 9045, 9060};
        Spectrum two, three;
        for (double E : list) two.append(E, e.mu(E));
        list.insert(list.size() - 2, 9030);
        for (double E : list) three.append(E, e.mu(E));
        // The level at 9052.5 eV carried to the edge with the pre-edge slope.
        const double held = e.post(9052.5) - 52.5 * e.preK - e.pre(9000);
        QTest::newRow("sloped post-edge, two points") << two << 2 << e.E0 << held << Spectrum();
        QTest::newRow("sloped post-edge, three points") << three << 3 << e.E0 << e.jump() << Spectrum();
        // A Cu foil on a 14-energy list: its line through 9024 and 9039 eV
        // alone read the jump a third low and E0 3.5 eV high.
        const grids::Scan foil{"cu_foil_rt.dat", "Cu", 8979, false};
        const Spectrum raw = grids::load(foil);
        const QVector<double> g = grids::within(grids::sparse(foil.edge, 14), raw);
        QTest::newRow("Cu foil, 14 energies") << edges::resampled(raw, g) << 2 << 0.0 << 0.0 << grids::fineOver(raw, g);
    }
    void twoPostEdgePoints()
    {
        QFETCH(Spectrum, raw);
        QFETCH(int, points);
        QFETCH(double, E0);
        QFETCH(double, jump);
        QFETCH(Spectrum, fine);
        const XafsSpectrum s(raw, "s", 1, 0, SuggestElm());
        QVERIFY(!s.refused());
        QCOMPARE(s.post.fitCount, points);
        double sumE = 0, sumMu = 0;
        for (int i = 0; i < raw.size(); ++i) {
            if (raw.xAt(i) < s.post.fitFrom) continue;
            sumE += raw.xAt(i);
            sumMu += raw.yAt(i);
        }
        const double meanE = sumE / points, meanMu = sumMu / points;
        if (points == 2) {
            QCOMPARE(s.post.k, s.pre.k);
            QVERIFY2(std::fabs(s.post.baseValue(meanE) - meanMu) < 1e-9, qPrintable(QString::number(s.post.baseValue(meanE) - meanMu)));
        }
        if (fine.size() == 0) {
            const QByteArray got = QString("E0 %1, jump %2 for %3").arg(s.midx, 0, 'f', 3).arg(s.dMut, 0, 'f', 5).arg(jump, 0, 'f', 5).toLatin1();
            QVERIFY2(std::fabs(s.midx - E0) < 0.1 && std::fabs(s.dMut / jump - 1) < 1e-4, got);
            return;
        }
        const XafsSpectrum f(fine, "fine", 1, 0, SuggestElm());
        const QByteArray got = QString("E0 %1 against %2, jump %3 against %4").arg(s.midx, 0, 'f', 3).arg(f.midx, 0, 'f', 3).arg(s.dMut).arg(f.dMut).toLatin1();
        QVERIFY2(std::fabs(s.midx - f.midx) <= 0.25 && std::fabs(s.dMut / f.dMut - 1) <= 0.02, got);
    }

    // Exact lines come back exactly. The range end is left out of the sums (the
    // Victoreen residual counts it), and so is a point whose energy is not a
    // number. Too few points leave the previous line whole; nothing in range
    // (or a range that is not a number) gives sigma 1; three points make a line.
    void lineFits_data()
    {
        QTest::addColumn<Spectrum>("s");
        QTest::addColumn<Fit>("want");
        auto line = [](double E) { return 0.3 + 2e-4 * E; };
        Spectrum straightNaN = synth::sample(5000, 15000, 50, line);
        straightNaN.points.insert(20, QPointF(qQNaN(), 1e6));
        const Spectrum ramp = synth::sample(0, 10, 1, [](double E) { return E; });
        const Spectrum three = synth::sample(1, 3, 1, [](double E) { return E; });
        QTest::newRow("straight") << synth::sample(5000, 15000, 50, line) << Fit{5000, 10000, 1, 100, true, 0.3, 2e-4, 0};
        QTest::newRow("straight, energy not a number") << straightNaN << Fit{5000, 10000, 1, 100, true, 0.3, 2e-4, 0};
        QTest::newRow("Victoreen") << synth::sample(5000, 15000, 50, [](double E) { return victoreen(E, 0.3, 0.05, -0.004); }) << Fit{5000, 10000, 0, 101, true, 0.3, 0.5, 0};
        QTest::newRow("two points, straight") << synth::sample(1, 2, 1, [](double E) { return E; })
                                              << Fit{0, 10, 1, 9, false, 7, 0.5, 0.25};
        QTest::newRow("three points, Victoreen") << three << Fit{0, 10, 0, 9, false, 7, 0.5, 0.25};
        QTest::newRow("three points, straight") << three << Fit{0, 10, 1, 3, true, 0, 1, 0};
        QTest::newRow("nothing in range, straight") << ramp << Fit{100, 200, 1, 0, false, 0, 0, 1};
        QTest::newRow("start not a number, Victoreen") << ramp << Fit{qQNaN(), 8, 0, 0, false, 0, 0.5, 1};
        // No wavelength at 0 eV or below: Victoreen refuses as a fit on no point.
        const Spectrum negative = synth::sample(-10, -1, 1, [](double E) { return 2 - E; });
        QTest::newRow("Victoreen from 0 eV") << ramp << Fit{0, 8, 0, 0, false, 0, 0.5, 1};
        QTest::newRow("Victoreen below 0 eV") << negative << Fit{-20, 0, 0, 0, false, 0, 0.5, 1};
        QTest::newRow("straight below 0 eV") << negative << Fit{-20, 0, 1, 10, true, 2, -1, 0};
        // A single point: no slope, the constant is that point.
        QTest::newRow("one point in range") << ramp << Fit{4, 5, 1, 1, false, 4, 0, 0};
        // The range end counted: two points make the line, and the residual
        // takes in the end it was fitted to.
        QTest::newRow("end counted, straight") << ramp << Fit{4, 5, 1, 2, true, 0, 1, 0, true};
        Spectrum bent = ramp;
        bent.points[10].ry() = 11;  // 1 above the line through the others
        QTest::newRow("end counted, residual") << bent << Fit{7, 10, 1, 4, true, -2.3, 1.3, std::sqrt(0.3 / 4), true};
        QTest::newRow("end counted, Victoreen") << synth::sample(5000, 15000, 50, [](double E) { return victoreen(E, 0.3, 0.05, -0.004); }) << Fit{5000, 10000, 0, 101, true, 0.3, 0.5, 0, true};
    }
    void lineFits()
    {
        QFETCH(Spectrum, s);
        QFETCH(Fit, want);
        VictLine l;
        l.k = 0.5;
        l.c0 = 7;
        l.fitted = true;
        l.sigma = 0.25;
        l.fitCount = 9;
        const bool keeps = want.count == 9;
        QCOMPARE(l.fit(s, want.from, want.to, want.type, want.withTo), want.ok);
        QCOMPARE(l.fitted, want.ok || keeps);
        QCOMPARE(l.lineType, keeps ? 1 : want.type);
        QCOMPARE(l.fitCount, want.count);
        QVERIFY2(qAbs(l.c0 - want.c0) < 1e-6, qPrintable(QString::number(l.c0, 'g', 17)));
        QVERIFY(qAbs(l.k - want.k) < 1e-9);
        QVERIFY(qAbs(l.sigma - want.sigma) < 1e-8);
        // Beyond the fitted range the line carries on as the data does.
        QVERIFY(want.count < 100 || qAbs(l.value(14000.0) - s.y(14000.0)) < 1e-8);
    }
};

QTEST_GUILESS_MAIN(TestXafsSpectrum)
#include "tst_xafsspectrum.moc"
