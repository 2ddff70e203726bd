// The analyses of one spectrum against answers worked out apart (element
// steps and their correlation, linear-combination fits, edge positions, the
// residual absorption, the Fourier sums of blocks against a direct
// transform), and the panel's rows that feed them: a fit reference row (the
// file it reads and how it is normalised), the edge-comparison
// reference and search, the element rows rebuilt from their list. Files
// that give no spectrum and values that cannot be used are refused.
#include "analysis/Analyzer.h"
#include "analysis/BlockFourier.h"
#include "analysis/EdgeShift.h"
#include "analysis/ElemCtrl.h"
#include "analysis/ElemList.h"
#include "analysis/ElementAnalysis.h"
#include "analysis/LCFReference.h"
#include "analysis/LcfFit.h"
#include "analysis/ResidualAbsorption.h"

#include "core/AnalyzeCond.h"
#include "core/Elements.h"
#include "core/FFT.h"
#include "support/EdgeSpectra.h"
#include "support/Files.h"
#include "support/Frames.h"
#include "support/Spectra.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <complex>

using namespace synth;

// A row as e0, step half-width, ROI start and end, threshold, no negative
// ROI; expected: step, mu above, mu below, edge offset, ROI, normalised ROI.
struct ElemCase
{
    QString shape;
    ElemRowSnapshot row;
    ElemBackground bg;  // step, edge offset, ROI, normalised ROI
    QVector<double> expected;
};

struct Correlation
{
    QVector<double> a, b;
    QVector<bool> use;
    double c;  // 42: none given
};

// A target of f R1 (read dE eV higher) and 1 - f R2, on energies offset by
// the block's own shift; wide: past the references, with points that are not
// numbers.
struct Mix
{
    LcfFit::Kind kind;
    double f, jump, dE, offset;
    bool wide;
    double from, to;
};

// A case without a fit: rows per character (1 R1, 2 R2, 3 R3, - not in
// use), the target (a mixture, or only negative shares), and what comes
// back: a status and that many zeros.
struct NoFit
{
    LcfFit::Kind kind;
    QString refs;
    bool negative;
    double jump, from;
    LcfResult::Status status;
    int zeros;
};

// The spectrum's edge lies `shift` after the reference's, found within the
// tolerance; searches that cannot end, or have nothing to compare with,
// give 0 at once (tolerance 0).
struct Comparison
{
    QString ref;  // "edge", "step" or "none"
    double shift, range, tolerance;
};

// Straight lines pre = 1 + 0.001 E, post = 2 + 0.001 E, or Victoreen lines.
struct Residual
{
    double factor, E, xShift;  // xShift 0: off
    bool victoreen;
    double jump, rest;
};

struct Step
{
    double at, width, spacing;
    int count;
};

Q_DECLARE_METATYPE(ElemCase)
Q_DECLARE_METATYPE(Correlation)
Q_DECLARE_METATYPE(Mix)
Q_DECLARE_METATYPE(NoFit)
Q_DECLARE_METATYPE(Comparison)
Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(Residual)

namespace {

// Spectra 1 eV apart from 6900 to 7300 eV, by name.
Spectrum elemSpectrum(const QString& name)
{
    Spectrum s;
    if (name == "one point") s.append(7000, 1);
    if (name == "one point" || name == "empty") return s;
    return sample(6900, 7300, 1, [&name](double E) {
        if (name == "step") return E >= 7112 ? 1.0 : 0.0;
        if (name == "two crossings") return (E >= 7105 && E < 7108) || E >= 7112 ? 1.0 : 0.0;
        if (name == "slope") return 0.01 * (E - 6900) + (E >= 7000 ? 1.0 : 0.0);
        if (name == "dip") return E >= 7200 && E <= 7210 ? -0.5 : (E >= 7112 ? 1.0 : 0.0);
        if (name == "two steps") return (E >= 7000 ? 2.0 : 0.0) + (E >= 7200 ? 1.0 : 0.0);
        return 0.3;
    });
}

const double CuK = 8984.36029;

SuggestElm copperK()
{
    SuggestElm e;
    e.useWindow = false;
    e.Z = 29;
    e.edgeEnergy = CuK;
    return e;
}

// A symmetric edge on a sloping background, normalised.
XafsSpectrum edgeAt(double E0)
{
    return XafsSpectrum(sample(8800, 9300, 0.5, [&](double E) { return 0.2 + 1e-4 * (E - 8800) + sigmoid(E, E0, 2); }),
                        "edge", 1, 0, copperK());
}

// Frames of 13 energies, 7 x 5 pixels, stored as float.
const int W = 7, H = 5, N = 13;

double pixel(int k, int c, int r)
{
    return 1000.0 + 37.0 * c - 11.0 * r + 90.0 * std::sin(0.7 * k + 0.3 * c * r) + 5.0 * k * (c % 3);
}

// Pixels outside the image count 0, as in a box sum.
double boxSum(int k, int x, int y, int xw, int yw)
{
    double s = 0;
    for (int r = std::max(0, y - yw); r <= std::min(H - 1, y + yw); ++r)
        for (int c = std::max(0, x - xw); c <= std::min(W - 1, x + xw); ++c) s += double(float(pixel(k, c, r)));
    return s;
}

}  // namespace

class TestSpectrumAnalysis : public QObject
{
    Q_OBJECT

    Spectrum R1 = sample(8900, 9400, 1, shape1);
    Spectrum R2 = sample(8900, 9400, 1, shape2);
    Spectrum R3 = sample(8900, 9400, 1, shape3);
    QTemporaryDir dir;
    // An edge of jump 1 at 7112 eV.
    const Spectrum src = edgeSpectrum(6900, 7500, 2);
    QString good = dir.filePath("ref.dat");

private slots:
    void initTestCase()
    {
        loadVictoreenTable();
        QVERIFY(ts::writeSpectrum(good, src));
    }

    void elementStep_data()
    {
        QTest::addColumn<ElemCase>("r");
        const ElemBackground bg{0, 0, -1, -1};
        // Rising crossings midway between 7104 and 7105, and 7111 and 7112.
        QTest::newRow("two crossings")
            << ElemCase{"two crossings", {7112, 20, 7200.2, 7204.7, 0.1, true}, bg, {1, 1, 0, -4, 1, 1}};
        // Midpoints above 7100.2 start at 7100, the first above 7104.7 is at
        // 7105: the ROI is the mean of mu - 0.8 at 7100 .. 7104.
        QTest::newRow("slope")
            << ElemCase{"slope", {7000, 20, 7100.2, 7104.7, 0.1, true}, bg, {1.4, 2.2, 0.8, -0.5, 2.22, 2.22 / 1.4}};
        QTest::newRow("ROI below every midpoint")
            << ElemCase{"slope", {7000, 20, 6000, 6100, 0.1, false}, bg, {1.4, 2.2, 0.8, -0.5, 0, 0}};
        QTest::newRow("below threshold: background")
            << ElemCase{"step", {7112, 20, 7200, 7210, 5, true}, {0.25, 3, -7, -8}, {0.25, 0.25, 0.25, 3, -7, -8}};
        QTest::newRow("negative ROI kept")
            << ElemCase{"dip", {7112, 20, 7201, 7205, 0.1, false}, bg, {1, 1, 0, -0.5, -0.5, -0.5}};
        QTest::newRow("negative ROI to background")
            << ElemCase{"dip", {7112, 20, 7201, 7205, 0.1, true}, {0, 0, -7, -8}, {1, 1, 0, -0.5, -7, -8}};
        // A negative threshold lets a zero step through: no infinite ratio.
        QTest::newRow("zero step")
            << ElemCase{"flat", {7100, 20, 7150, 7160, -1, false}, {0, 0, -1, -3}, {0, 0.3, 0.3, 0, 0, -3}};
        QTest::newRow("one point") << ElemCase{"one point", {7000, 20, 0, 1e4, -1, true}, bg, {0, 1, 1, 0, 0, 0}};
        QTest::newRow("empty") << ElemCase{"empty", {7000, 20, 0, 1e4, -1, true}, bg, {0, 0, 0, 0, 0, 0}};
    }
    void elementStep()
    {
        QFETCH(ElemCase, r);
        const ElemsResult res = ElementAnalysis::analyze(elemSpectrum(r.shape), {r.row}, 0, r.bg);
        QCOMPARE(res.rowCount(), 1);
        const int kinds[6] = {ElemKind0, ElemKindMP, ElemKindMM, ElemKindDE, ElemKindROI, ElemKindNROI};
        for (int i = 0; i < 6; ++i)
            QVERIFY2(std::fabs(res.value(kinds[i], 0) - r.expected[i]) < 1e-12, qPrintable(QString::number(i)));
        // The raw step, whatever the threshold.
        QCOMPARE(res.dmut[0], r.row.thDMut > 1 ? 1.0 : r.expected[0]);
    }

    // Steps of 2 at 7000 and 1 at 7200, each divided by the main target's.
    void elementRatios_data()
    {
        QTest::addColumn<int>("mainT");
        QTest::addColumn<double>("firstThreshold");
        QTest::addColumn<QVector<double>>("ratios");
        QTest::newRow("second") << 1 << 0.1 << QVector<double>{2.0, 1.0};
        QTest::newRow("none checked: by 1") << -1 << 0.1 << QVector<double>{2.0, 1.0};
        QTest::newRow("beyond the rows: by 1") << 2 << 0.1 << QVector<double>{2.0, 1.0};
        QTest::newRow("main below threshold: by 1") << 0 << 5.0 << QVector<double>{0.0, 1.0};
    }
    void elementRatios()
    {
        QFETCH(int, mainT);
        QFETCH(double, firstThreshold);
        QFETCH(QVector<double>, ratios);
        const Spectrum s = elemSpectrum("two steps");
        const ElemRowSnapshot first{7000, 20, 7000, 7005, firstThreshold};
        const ElemsResult res = ElementAnalysis::analyze(s, {first, ElemRowSnapshot{7200}}, mainT, {});
        QCOMPARE(res.kinds[ElemKindN], ratios);
        QVERIFY(res.value(ElemKindN, 5) == 0 && res.value(9, 0) == 0);
    }

    void correlation_data()
    {
        QTest::addColumn<Correlation>("c");
        QTest::newRow("opposite") << Correlation{{-2}, {3}, {true}, -1};
        QTest::newRow("unused row left out") << Correlation{{1, 0}, {1, 5}, {true, false}, 1};
        QTest::newRow("45 degrees") << Correlation{{1, 1}, {1, 0}, {true, true}, 1 / std::sqrt(2.0)};
        QTest::newRow("common rows only") << Correlation{{1, 2}, {1}, {true, true, true}, 1};
        QTest::newRow("zero vector") << Correlation{{0, 0}, {1, 2}, {true, true}, 42};
    }
    void correlation()
    {
        QFETCH(Correlation, c);
        double got = 42;
        QCOMPARE(ElementAnalysis::correlation(c.a, c.b, c.use, got), c.c != 42);
        QCOMPARE(got, c.c);
    }

    // Each entry as name:Z:edge index; K when no edge is named; symbols not
    // in the table (small letters, a leading dash, nothing) are left out.
    void parseElementList()
    {
        QStringList got;
        for (const ElemListEntry& e : ElemList::parse(" Fe \t,, fe -Fe Cu-L3 Ni-LII Zn-l1 Mn-Q Cu-L2-x ,"))
            got << QString("%1:%2:%3").arg(e.name).arg(e.Z).arg(e.edgeIndex);
        QCOMPARE(got.join(' '), QString("Fe-K:26:0 Cu-L3:29:3 Ni-LII:28:2 Zn-l1:30:1 Mn-Q:25:0 Cu-L2-x:29:0"));
    }

    // A target mixing the first two shapes: f of R1 read dE eV higher, and
    // the rest of R2, on energies offset by the block's own shift; a third
    // row between them is not in use. The fit recovers f, narrows its range
    // to the references' energies, and its curve and residual are of this
    // fit, not of the fractions the rows held before.
    void lcfRecoversFractions_data()
    {
        QTest::addColumn<Mix>("m");
        const LcfFit::Kind lcf = LcfFit::LCF, old = LcfFit::LCFOld;
        QTest::newRow("jump 2, inner range") << Mix{lcf, 0.3, 2.0, 0, 0, false, 8950, 9300};
        QTest::newRow("target wider, not-a-number points") << Mix{lcf, 0.3, 1.0, 0, 0, true, 0, 3e4};
        // Whole eV: read on the sampled points.
        QTest::newRow("row shifted, block offset") << Mix{lcf, 0.5, 1.0, 2, 4, false, 0, 3e4};
        // The old variant fits a jump that is not positive; only the amounts vanish.
        QTest::newRow("old variant, zero jump") << Mix{old, 0.4, 0.0, 0, 0, false, 0, 3e4};
    }
    void lcfRecoversFractions()
    {
        QFETCH(Mix, m);
        auto mix = [&m](double e) { return m.f * shape1(e + m.dE) + (1 - m.f) * shape2(e); };
        Spectrum D = sample(m.wide ? 8800 : 8920, m.wide ? 9500 : 9380, 1, [&](double x) {
            const double e = x - m.offset;
            return e < 8900 || e > 9400 ? 100.0 : mix(e);
        });
        if (m.wide) D.points[300].setY(std::nan(""));
        XafsSpectrum s = target(D, D, m.jump);
        if (m.wide) s.points[301].setX(std::nan(""));
        s.energyOffset = m.offset;
        const QVector<LcfRefSnapshot> rows{ref(R1, R1, true, m.dE, 1.0), ref(R3, R3, false), ref(R2, R2)};
        const LcfResult r = LcfFit::fit(m.kind, s, rows, m.from, m.to, SuggestElm());
        QCOMPARE(r.status, LcfResult::Fitted);
        QCOMPARE(r.rows, (QVector<int>{0, 2}));
        QCOMPARE(r.sE0, std::max(m.from, 8900.0));
        QCOMPARE(r.eE0, std::min(m.to, 9400.0 - m.dE));
        QVERIFY2(std::fabs(r.fractions[0] - m.f) < 1e-9, qPrintable(QString::number(r.fractions[0])));
        QVERIFY(std::fabs(r.fractions[1] - (1 - m.f)) < 1e-9);
        QVERIFY(std::fabs(r.amounts[0] - m.f * std::max(m.jump, 0.0)) < 1e-9);
        QVERIFY(std::fabs(r.amounts[1] - (1 - m.f) * std::max(m.jump, 0.0)) < 1e-9);
        QVERIFY2(m.wide ? std::isfinite(r.z) : r.z < 1e-20, qPrintable(QString::number(r.z)));
        QVERIFY(!r.fitted.points.isEmpty());
        for (const QPointF& p : r.fitted.points)
            QVERIFY2(std::fabs(p.y() - mix(p.x())) < 1e-9, qPrintable(QString::number(p.x())));
    }

    // raw mu = background + 0.6 R1 + 0.6 R2 - 0.2 R3: MLCF keeps the two
    // positive coefficients and shares them by the sum taken before the cut.
    void mlcfDropsNegativeCoefficients()
    {
        const Spectrum mu = sample(8900, 9400, 1, [](double E) {
            return 3.0 - 1e-4 * E + 0.6 * shape1(E) + 0.6 * shape2(E) - 0.2 * shape3(E);
        });
        const LcfResult r = LcfFit::fit(LcfFit::MLCF, target(mu, mu, -5), {ref(R3, R1), ref(R3, R2), ref(R3, R3)}, 0, 3e4,
                                        SuggestElm());
        const double want[3] = {0.6, 0.6, 0.0};
        for (int j = 0; j < 3; ++j) {
            QVERIFY2(std::fabs(r.amounts[j] - want[j]) < 1e-6, qPrintable(QString::number(r.amounts[j])));
            QVERIFY(std::fabs(r.fractions[j] - want[j]) < 1e-6);
        }
    }

    // Nothing a fit can stand on: its own status, zeros a map can take (one
    // per row for a bad jump, one per row in use otherwise), and no z that
    // reads as a perfect fit.
    void lcfNoFit_data()
    {
        QTest::addColumn<NoFit>("c");
        const LcfFit::Kind lcf = LcfFit::LCF, mlcf = LcfFit::MLCF;
        QTest::newRow("one reference") << NoFit{lcf, "1", false, 1.0, 8900, LcfResult::Skipped, 0};
        QTest::newRow("negative jump") << NoFit{lcf, "1-3", false, -1.0, 8900, LcfResult::ZeroJump, 3};
        for (LcfFit::Kind k : {lcf, mlcf}) {
            const char* tag = k == lcf ? "LCF" : "MLCF";
            QTest::addRow("%s, identical references", tag) << NoFit{k, "11", false, 1.0, 8900, LcfResult::Failed, 2};
            QTest::addRow("%s, range outside the references", tag)
                << NoFit{k, "12", false, 1.0, 9500, LcfResult::Failed, 2};
            QTest::addRow("%s, no reference in use", tag) << NoFit{k, "--", false, 1.0, 8900, LcfResult::Failed, 0};
        }
        // Zero fractions, not 0 / 0.
        QTest::newRow("MLCF, nothing positive") << NoFit{mlcf, "12", true, 1.0, 8900, LcfResult::Fitted, 2};
    }
    void lcfNoFit()
    {
        QFETCH(NoFit, c);
        const Spectrum D = sample(8900, 9400, 1, [&c](double E) {
            return c.negative ? 1.0 - 0.5 * shape1(E) - 0.3 * shape2(E) : 0.4 * shape1(E) + 0.6 * shape2(E);
        });
        const Spectrum* R[] = {&R1, &R2, &R3};
        QVector<LcfRefSnapshot> rows;
        for (const QChar k : c.refs)
            rows << (k == '-' ? ref(R2, R2, false) : ref(*R[k.digitValue() - 1], *R[k.digitValue() - 1]));
        const LcfResult r = LcfFit::fit(c.kind, target(D, D, c.jump), rows, c.from, c.from + 300, SuggestElm());
        QCOMPARE(r.status, c.status);
        QCOMPARE(r.fractions, QVector<double>(c.zeros, 0.0));
        QCOMPARE(r.amounts, QVector<double>(c.zeros, 0.0));
        QCOMPARE(r.failure.isEmpty(), c.status != LcfResult::Failed);
        if (c.status != LcfResult::Fitted) QCOMPARE(r.z, 0.0);
    }

    // Whether a reference reaches over the stack's energies in the fit range: a stack of 7000 to 7400 eV, fine
    // steps (0.5 eV) at 7100 to 7140 and 5 eV elsewhere, with a near-duplicate energy and frames out of order.
    void lcfCoverage_data()
    {
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::addColumn<double>("from");  // the fit range
        QTest::addColumn<double>("to");
        QTest::addColumn<bool>("known");
        QTest::addColumn<bool>("covers");
        const double nan = std::nan("");
        QTest::newRow("wider than the stack") << 6900.0 << 7600.0 << 0.0 << 30000.0 << true << true;
        QTest::newRow("exactly the stack") << 7000.0 << 7400.0 << 0.0 << 30000.0 << true << true;
        QTest::newRow("in keV") << 6.9 << 9.0 << 0.0 << 30000.0 << true << false;
        QTest::newRow("short by most of a step at the top") << 7000.0 << 7395.5 << 0.0 << 30000.0 << true << true;
        QTest::newRow("short by more than a step at the top") << 7000.0 << 7394.5 << 0.0 << 30000.0 << true << false;
        QTest::newRow("short by more than a step at the foot") << 7005.5 << 7400.0 << 0.0 << 30000.0 << true << false;
        QTest::newRow("covering the fit range only") << 7090.0 << 7210.0 << 7095.0 << 7205.0 << true << true;
        QTest::newRow("the fit range's fine steps bind") << 7100.6 << 7300.0 << 7100.0 << 7120.0 << true << false;
        QTest::newRow("fit range outside the stack") << 6.9 << 9.0 << 8000.0 << 9000.0 << false << true;
        QTest::newRow("reference not a number") << nan << nan << 0.0 << 30000.0 << true << false;
    }
    void lcfCoverage()
    {
        QFETCH(double, lo);
        QFETCH(double, hi);
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(bool, known);
        QFETCH(bool, covers);
        QVector<double> e{7100.01, 7400, std::nan("")};
        for (double E = 7400; E >= 7140; E -= 5) e << E;
        for (double E = 7000; E < 7140; E += E < 7100 ? 5 : 0.5) e << E;
        const LcfFit::Coverage c = LcfFit::coverage(lo, hi, from, to, e);
        QCOMPARE(QVector<bool>({c.known, c.covers}), QVector<bool>({known, covers}));
        if (known && from == 0) QCOMPARE(QVector<double>({c.needLo, c.needHi}), QVector<double>({7000, 7400}));
    }

    void lcfResidualTerms()
    {
        const double w[6] = {5, 2, 0, 0.5, 1, 9};
        const Spectrum D = sample(0, 5, 1, [&w](double x) { return w[int(x)]; });
        const Spectrum fit = sample(0, 5, 1, [](double) { return 1.0; });
        // The end points take no part: (1-2)/2 -> 0.25; w = 0 -> 1.0;
        // (1-0.5)/0.5 -> 1; (1-1)/1 -> 0; point 1 out of range.
        QVERIFY(std::fabs(LcfFit::residual(D, fit, 1.5, 10, 10) - (1.0 + 1.0 + 0.0) / 3 / 10) < 1e-15);
        QVERIFY(std::fabs(LcfFit::residual(D, fit, 0, 10, 4) - (0.25 + 1.0 + 1.0 + 0.0) / 4 / 4) < 1e-15);
        // Fewer than three points: nothing to compare.
        QCOMPARE(LcfFit::residual(sample(1, 2, 1, [](double E) { return E; }), fit, 0, 10, 2), 0.0);
    }

    void edgeComparisonFindsTheShift_data()
    {
        QTest::addColumn<Comparison>("c");
        QTest::newRow("later") << Comparison{"edge", 3.3, 10, 0.11};
        QTest::newRow("against the generated step") << Comparison{"step", 4, 10, 0.3};
        QTest::newRow("no reference") << Comparison{"none", 3, 10, 0};
        // Would search for ever.
        QTest::newRow("range far too wide") << Comparison{"edge", 3, 1e9, 0};
    }
    void edgeComparisonFindsTheShift()
    {
        QFETCH(Comparison, c);
        XafsSpectrum ref;
        if (c.ref == "edge") ref = edgeAt(CuK);
        if (c.ref == "step") ref = EdgeShift::stepReference(9000, 300, 0.01);
        const double d = EdgeShift::compared(edgeAt((c.ref == "step" ? 9000 : CuK) + c.shift), ref, c.range, 1, 0.1);
        QVERIFY2(std::fabs(d - (c.tolerance > 0 ? c.shift : 0)) <= c.tolerance, qPrintable(QString::number(d)));
    }

    // Spacings that give no grid or far too many points: no step at all;
    // one lost against the energy stops after the first point.
    void edgeStepReferenceRefused_data()
    {
        QTest::addColumn<Step>("s");
        QTest::newRow("NaN spacing") << Step{9000, 300, std::nan(""), 0};
        QTest::newRow("far too many points") << Step{9000, 1e12, 1e-3, 0};
        QTest::newRow("spacing lost") << Step{1e20, 1e5, 1, 1};
    }
    void edgeStepReferenceRefused()
    {
        QFETCH(Step, s);
        QCOMPARE(EdgeShift::stepReference(s.at, s.width, s.spacing).points.size(), s.count);
    }

    // The lines are read at E less the spectrum's own x shift when that is
    // on (never its energy offset); Victoreen lines have no value at 0 eV:
    // zeros, not infinities.
    void residualAbsorption_data()
    {
        QTest::addColumn<Residual>("c");
        QTest::newRow("own x shift") << Residual{0, 8200, 100, false, 1, 1 + 8.1};
        QTest::newRow("Victoreen at 0 eV") << Residual{1, 0, 0, true, 0, 0};
    }
    void residualAbsorption()
    {
        QFETCH(Residual, c);
        XafsSpectrum s;
        s.pre.lineType = s.post.lineType = c.victoreen ? 0 : 1;
        s.pre.c0 = s.pre.c1 = 1;
        s.post.c0 = s.post.c1 = 2;
        s.pre.k = s.post.k = 0.001;
        s.energyOffset = 50;
        s.xShiftOn = c.xShift != 0;
        s.xShift = c.xShift;
        const RaResult r = ResidualAbsorption::compute(s, c.factor, c.E);
        QCOMPARE(r.jump, c.jump);
        QVERIFY(std::fabs(r.rest - c.rest) < 1e-9);
    }

    // The sums of every bin, gathered in one walk, against a direct discrete
    // transform of each block's box sums.
    void fourierBinsAgainstDirectTransform_data()
    {
        QTest::addColumn<int>("xw");
        QTest::addColumn<int>("yw");
        QTest::addColumn<QRectF>("area");
        QTest::newRow("5x3 blocks, part of the view, edges cut") << 2 << 1 << QRectF(1, 1, 5, 3);
        // Centres past the image: their series is all zeros.
        QTest::newRow("view wider than the image") << 0 << 1 << QRectF(-2, 0, W + 3, H + 2);
    }
    void fourierBinsAgainstDirectTransform()
    {
        QFETCH(int, xw);
        QFETCH(int, yw);
        QFETCH(QRectF, area);
        ts::Stack s;
        for (int k = 0; k < N; ++k) s.add(ts::floatFrame(W, H, [k](int c, int r) { return pixel(k, c, r); }, 9000 + k));
        AnalyzeCond grid;
        grid.set(W, H, xw, yw, area, -1, -1);
        QVector<FourierBinRes> want(N);
        AnalyzeCond ac = grid;
        do {
            const bool inside = ac.curX >= 0 && ac.curX < W && ac.curY >= 0 && ac.curY < H;
            const double a = boxSum(0, ac.curX, ac.curY, xw, yw);
            for (int k = 0; k < N; ++k) {
                std::complex<double> bin;
                for (int j = 0; j < N && inside; ++j)
                    bin += boxSum(j, ac.curX, ac.curY, xw, yw) * std::polar(1.0, -2 * M_PI * j * k / N);
                want[k].saa += a * a;
                want[k].sbb += std::norm(bin);
                want[k].sab += a * std::abs(bin);
            }
        } while (ac.next());

        FFT fft;
        const QVector<FourierBinRes> got = fourierBins(grid, *s[0], s.frames, W, H, fft);
        QCOMPARE(got.size(), N);
        auto near = [](double v, double truth) { return std::abs(v - truth) <= 1e-9 * std::abs(truth) + 1e-9; };
        for (int k = 0; k < N; ++k) {
            const FourierBinRes &g = got[k], &w = want[k];
            QVERIFY2(near(g.saa, w.saa) && near(g.sbb, w.sbb) && near(g.sab, w.sab), qPrintable(QString::number(k)));
            QVERIFY(near(g.similarity(), w.sab / std::sqrt(w.saa * w.sbb)));
        }
        // Stopped, or nothing to walk: nothing. No image size known yet:
        // every series is empty, the sums stay finite.
        QVERIFY(fourierBins(grid, *s[0], s.frames, W, H, fft, [](double) { return false; }).isEmpty());
        QVERIFY(fourierBins(grid, *s[0], {}, W, H, fft).isEmpty());
        const QVector<FourierBinRes> none = fourierBins(grid, *s[0], s.frames, -1, -1, fft);
        QCOMPARE(none.size(), N);
        for (const FourierBinRes& r : none) QCOMPARE(r.similarity(), 0.0);
    }

    // What a fit reads is the file's points normalised as the row's box
    // says, worked out apart from any row.
    void referenceLoadsAndNormalises()
    {
        LCFReference row;
        row.XFS->load(good);
        row.IsVictreen->setChecked(true);
        XafsSpectrum vic;
        QVERIFY(vic.load(good));
        vic.calc(0);
        const LcfRefSnapshot snap = row.snapshot();
        QCOMPARE(QPointF(snap.minX, snap.maxX), QPointF(6900, 7500));
        QCOMPARE(snap.preBase.points, vic.doubleNormalizedPreBaseCurve.points);
        QCOMPARE(snap.postBase.points, vic.doubleNormalizedPostBaseCurve.points);
    }

    // A reference fitted under other conditions than its own is normalised
    // under them afresh when they, its shift or its file change.
    void referenceNormalisedLikeTheTarget()
    {
        LCFReference row;
        row.XFS->load(good);
        SuggestElm a, b;
        a.useWindow = b.useWindow = true;
        a.edgeEnergy = b.edgeEnergy = 7112;
        b.preOffset = -30;
        auto fitsAs = [&row](const SuggestElm& s, int type, double shift, const QString& file) {
            XafsSpectrum x;
            x.load(file);
            x.xShiftOn = true;
            x.xShift = shift;
            x.normaliseUnder(s, type);
            const LcfRefSnapshot got = row.snapshotFor(s, type);
            return got.preBase.points == x.doubleNormalizedPreBaseCurve.points && got.dE == shift
                   && got.curveShift == shift;
        };
        QVERIFY(fitsAs(a, 1, 0, good));
        QVERIFY(fitsAs(b, 1, 0, good));
        QVERIFY(fitsAs(b, 0, 0, good));
        row.DeltaE->setText("1.5");
        emit row.DeltaE->editingFinished();
        QVERIFY(fitsAs(b, 0, 1.5, good));
        const QString later = dir.filePath("later.dat");
        QVERIFY(ts::writeSpectrum(later, edgeSpectrum(6900, 7500, 2, 7115)));
        row.XFS->load(later);
        QVERIFY(fitsAs(b, 0, 1.5, later));
    }

    // A file that gives no spectrum, first and after a good one: the reference row is left without a file, says which
    // file failed and keeps its shift; the edge comparison keeps the reference it holds and names it.
    void unreadableFileLeavesNoReference_data()
    {
        QTest::addColumn<QByteArray>("bytes");  // empty: no file at all
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("words only") << QByteArray("Energy mu\nnone yet\n");
        QTest::newRow("angle file without data") << QByteArray("9809 scan\nD= 3.1355\nOffset\n");
    }
    void unreadableFileLeavesNoReference()
    {
        QFETCH(QByteArray, bytes);
        const QString bad = dir.filePath("bad.dat"), edge = dir.filePath("edge.dat");
        QFile::remove(bad);
        if (!bytes.isEmpty()) QVERIFY(ts::writeFile(bad, bytes));
        LCFReference row;
        QSignalSpy loaded(&row, &LCFReference::newFileSelected);
        QSignalSpy failed(&row, &LCFReference::loadFailed);
        row.XFS->load(bad);
        QVERIFY(row.spectrum().isEmpty() && !row.XFS->fileChosen && !row.inUse());
        QCOMPARE(row.XFS->Selected->text(), QString());
        row.DeltaE->setText("1.5");
        emit row.DeltaE->editingFinished();
        row.XFS->load(good);
        row.setRatio(0.25);
        row.setAmount(0.5);
        QVERIFY(row.XFS->fileChosen && row.inUse() && !row.MidE->text().isEmpty());
        row.XFS->load(bad);
        QCOMPARE(loaded.count(), 1);
        QVERIFY(failed.count() == 2 && failed.at(1).at(0).toString() == bad);
        QVERIFY(row.points.isEmpty() && row.loadedFile().isEmpty() && !row.inUse() && row.fraction == 0);
        QVERIFY(!row.snapshotFor(SuggestElm(), 0).use);
        for (QLineEdit* e : {row.XFS->Selected, row.DMut, row.MidE, row.R, row.T}) QCOMPARE(e->text(), QString());
        row.XFS->load(good);
        QVERIFY(row.inUse() && row.snapshot().dE == 1.5);  // read at the row's shift

        Analyzer a;
        QVERIFY(ts::writeSpectrum(edge, edges::Edge{9000}.sample(8800, 9200, 1)));
        a.DEdgeCWFileSelect->fileSelected(edge);
        a.DEdgeCWFileSelect->fileSelected(bad);
        QCOMPARE(a.DEdgeCWFileSelect->Selected->text(), edge);
        QVERIFY(std::fabs(a.dEdgeRef.midx - 9000) < 0.05);
    }

    // The comparison uses what the user chose: the file again after a run with the step, nothing once the file is
    // cleared, the step still when that is chosen.
    void edgeComparisonReference()
    {
        const QString edge = dir.filePath("edge.dat");
        QVERIFY(ts::writeSpectrum(edge, edges::Edge{9000}.sample(8800, 9200, 1)));
        Analyzer a;
        a.DEdgeCWFileSelect->fileSelected(edge);
        a.DEdgeCWStepAt->setText("9030");
        QTest::mouseClick(a.DEdgeCWStep, Qt::LeftButton);
        QVERIFY(a.prepareDEdgeRef());  // as a run with "Step at" starts
        QVERIFY(std::fabs(a.dEdgeRef.midx - 9030) < 0.05);
        QTest::mouseClick(a.DEdgeCWFile, Qt::LeftButton);
        QVERIFY(std::fabs(a.dEdgeRef.midx - 9000) < 0.05);
        QTest::mouseClick(a.DEdgeCWFileSelect->Clear, Qt::LeftButton);
        QVERIFY(a.dEdgeRef.points.isEmpty() && a.DEdgeCWFileSelect->Selected->text().isEmpty());
        QTest::mouseClick(a.DEdgeCWStep, Qt::LeftButton);
        QVERIFY(a.dEdgeRef.points.isEmpty() && a.prepareDEdgeRef());
        QTest::mouseClick(a.DEdgeCWFileSelect->Clear, Qt::LeftButton);
        QVERIFY(std::fabs(a.dEdgeRef.midx - 9030) < 0.05);
    }

    // The script's set-up of a row: no name with use off only clears it; with use on, or an unread file, it fails.
    void scriptedRowSetUp_data()
    {
        QTest::addColumn<bool>("use");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("read");
        QTest::newRow("readable") << true << good << true;
        QTest::newRow("no name, not used") << false << QString() << true;
        QTest::newRow("no name, used") << true << QString() << false;
        QTest::newRow("missing file, not used") << false << dir.filePath("missing.dat") << false;
    }
    void scriptedRowSetUp()
    {
        QFETCH(bool, use);
        QFETCH(QString, file);
        QFETCH(bool, read);
        LCFReference row;
        QVERIFY(row.setStd(true, 0, good, "0"));
        QSignalSpy failed(&row, &LCFReference::loadFailed);
        QCOMPARE(row.setStd(use, 2.5, file, "0"), read);
        QCOMPARE(failed.count(), read ? 0 : 1);
        QCOMPARE(row.loadedFile(), file == good ? good : QString());
        QCOMPARE(row.inUse(), use && file == good);
        QCOMPARE(row.DeltaE->text(), QString("2.5"));
    }

    // Typed search values: steps that cannot scan are refused.
    void comparisonSearch_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QVector<double>>("search");  // range, step, minimum step
        const QVector<double> kept{20, 1, 0.1};
        QTest::newRow("step 0.5 (control)") << "DEdgeCWInitDEeV" << "0.5" << QVector<double>{20, 0.5, 0.1};
        QTest::newRow("range 40 (control)") << "DEdgeCWFullRangeEV" << "40" << QVector<double>{40, 1, 0.1};
        QTest::newRow("step 0") << "DEdgeCWInitDEeV" << "0" << kept;
        QTest::newRow("minimum step 0") << "DEdgeCWMinDEeV" << "0" << kept;
        QTest::newRow("minimum above step") << "DEdgeCWMinDEeV" << "2" << kept;
        QTest::newRow("negative range") << "DEdgeCWFullRangeEV" << "-5" << kept;
    }
    void comparisonSearch()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QVector<double>, search);
        Analyzer a;  // 20, 1 and 0.1 on the form
        a.show();
        QLineEdit* e = a.findChild<QLineEdit*>(field);
        QVERIFY(e);
        e->selectAll();
        QTest::keyClicks(e, typed);
        QTest::keyClick(e, Qt::Key_Return);
        a.initAnalyzeSpectrum();
        QCOMPARE((QVector<double>{a.cwRangeEV, a.cwInitDEeV, a.cwMinDEeV}), search);
    }

    // Element rows from their list: edge energies from the table; answers
    // reach the rows only when every kind covers every row; the standard
    // takes the ratio shown. The old rows and groups go only when the event
    // loop runs, and a shown map is chosen again while they still exist; the
    // view may ask after the panel has gone.
    void elementRows()
    {
        ElemRowsProvider provider;
        QWidget panel;
        {
            ElemList list;
            list.baseLayout = new QGridLayout(&panel);
            list.newElems("Fe, Cu-L3", false);
            provider = list.rowInfoProvider();
            QCOMPARE(list.elemCtrls.size(), 2);
            // Fe K near 7112 eV, Cu L3 near 933 eV (tables differ by a few eV).
            QVERIFY(std::fabs(list.elemCtrls[0]->Eng->text().toDouble() - 7112) < 1);
            QVERIFY(std::fabs(list.elemCtrls[1]->Eng->text().toDouble() - 933) < 3);
            ElemsResult r;
            for (int k = 0; k < ElemKindCount; ++k) r.kinds[k] = {1.0 + k};  // one row's worth
            QVERIFY(!list.showResults(r));
            QCOMPARE(list.elemCtrls[0]->ratio, 2.0);
            QCOMPARE(list.elemCtrls[0]->NROI->text(), QString("7"));
            r.kinds[ElemKindMM].append(0.5);
            QVERIFY(!list.showResults(r));  // one kind longer is not enough
            for (int k = 0; k < ElemKindCount; ++k) r.kinds[k].resize(2);
            QVERIFY(list.showResults(r));
            QCOMPARE(list.elemCtrls[1]->muMinus, 0.5);
            list.elemCtrls[0]->ratio = 0.75;
            list.setElemsStd();
            QCOMPARE(list.elemCtrls[0]->stdRatio, 0.75);

            QPointer<ElemCtrl> oldRow(list.elemCtrls[0]);
            QPointer<QButtonGroup> oldGroup(list.mainTargetGroup);
            bool oldAliveAtSelection = false;
            connect(&list, &ElemList::changedSelection, this, [&] {
                oldAliveAtSelection = oldRow && list.elemCtrls.size() == 1 && list.elemCtrls[0]->Name->text() == "Zn-K";
            });
            list.newElems("Zn", false);
            QVERIFY(oldAliveAtSelection);
            disconnect(&list, &ElemList::changedSelection, this, nullptr);
            QVERIFY(oldRow && oldGroup && !oldRow->isVisibleTo(&panel));
            // Posted deletions run here, as the event loop would run them.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!oldRow && !oldGroup);
            // No rows: no main target beyond the first; beyond the edge table:
            // the row is made and shows no energy.
            list.newElems("", false);
            QCOMPARE(list.mainTarget(), 0);
            list.newElems("D", false);
            QCOMPARE(list.elemCtrls[0]->Eng->text(), QString("0"));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        QVERIFY(provider().isEmpty());
    }
};

QTEST_MAIN(TestSpectrumAnalysis)
#include "tst_spectrumanalysis.moc"
