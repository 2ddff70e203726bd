#include <QtTest>
#include <cmath>

#include "support/Spectra.h"
#include "analysis/LcfFit.h"

using namespace synth;

namespace {

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
// use), the target (0 a mixture, 1 only negative shares, 2 empty), and what
// comes back: a status and that many zeros.
struct NoFit
{
    LcfFit::Kind kind;
    QString refs;
    int target;
    double jump, from;
    LcfResult::Status status;
    int zeros;
};

}  // namespace

Q_DECLARE_METATYPE(Mix)
Q_DECLARE_METATYPE(NoFit)

class TestLcfFit : public QObject
{
    Q_OBJECT

    Spectrum R1 = sample(8900, 9400, 1, shape1);
    Spectrum R2 = sample(8900, 9400, 1, shape2);
    Spectrum R3 = sample(8900, 9400, 1, shape3);

private slots:
    // A target mixing the first two shapes: f of R1 read dE eV higher, and
    // the rest of R2, on energies offset by the block's own shift; a third
    // row between them is not in use. The fit recovers f, narrows its range
    // to the references' energies, and its curve and residual are of this
    // fit, not of the fractions the rows held before.
    void recoversFractions_data()
    {
        QTest::addColumn<Mix>("m");
        const LcfFit::Kind lcf = LcfFit::LCF, old = LcfFit::LCFOld;
        QTest::newRow("jump 2, inner range") << Mix{lcf, 0.3, 2.0, 0, 0, false, 8950, 9300};
        QTest::newRow("range past the references") << Mix{lcf, 0.3, 1.0, 0, 0, false, 0, 3e4};
        QTest::newRow("target wider, not-a-number points") << Mix{lcf, 0.3, 1.0, 0, 0, true, 0, 3e4};
        // Whole eV: read on the sampled points.
        QTest::newRow("row shifted, block offset") << Mix{lcf, 0.5, 1.0, 2, 4, false, 0, 3e4};
        // The old variant fits a jump that is not positive; only the amounts vanish.
        QTest::newRow("old variant, zero jump") << Mix{old, 0.4, 0.0, 0, 0, false, 0, 3e4};
        QTest::newRow("old variant, negative jump") << Mix{old, 0.4, -1.0, 0, 0, false, 0, 3e4};
    }
    void recoversFractions()
    {
        QFETCH(Mix, m);
        const double f = m.f, dE = m.dE, offset = m.offset;
        const bool wide = m.wide;
        auto mix = [=](double e) { return f * shape1(e + dE) + (1 - f) * shape2(e); };
        Spectrum D = sample(wide ? 8800 : 8920, wide ? 9500 : 9380, 1, [=](double x) {
            const double e = x - offset;
            return e < 8900 || e > 9400 ? 100.0 : mix(e);
        });
        if (wide) D.points[300].setY(std::nan(""));
        XafsSpectrum s = target(D, D, m.jump);
        if (wide) s.points[301].setX(std::nan(""));
        s.energyOffset = offset;
        const QVector<LcfRefSnapshot> rows{ref(R1, R1, true, dE, 1.0), ref(R3, R3, false), ref(R2, R2)};
        const LcfResult r = LcfFit::fit(m.kind, s, rows, m.from, m.to, SuggestElm());
        QCOMPARE(r.status, LcfResult::Fitted);
        QCOMPARE(r.rows, (QVector<int>{0, 2}));
        QCOMPARE(r.sE0, std::max(m.from, 8900.0));
        QCOMPARE(r.eE0, std::min(m.to, 9400.0 - dE));
        QVERIFY2(std::fabs(r.fractions[0] - f) < 1e-9, qPrintable(QString::number(r.fractions[0])));
        QVERIFY(std::fabs(r.fractions[1] - (1 - f)) < 1e-9);
        QVERIFY(std::fabs(r.amounts[0] - f * std::max(m.jump, 0.0)) < 1e-9);
        QVERIFY(std::fabs(r.amounts[1] - (1 - f) * std::max(m.jump, 0.0)) < 1e-9);
        QVERIFY2(wide ? std::isfinite(r.z) : r.z < 1e-20, qPrintable(QString::number(r.z)));
        QCOMPARE(r.fitted.name, QStringLiteral("anal-LCF"));
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
        const Spectrum D = sample(8900, 9400, 1, [](double) { return 1.0; });
        const LcfResult r =
            LcfFit::fit(LcfFit::MLCF, target(mu, D, -5), {ref(R3, R1), ref(R3, R2), ref(R3, R3)}, 0, 3e4, SuggestElm());
        QCOMPARE(r.fitted.name, QStringLiteral("anal-MLCF"));
        const double want[3] = {0.6, 0.6, 0.0};
        for (int j = 0; j < 3; ++j) {
            QVERIFY2(std::fabs(r.amounts[j] - want[j]) < 1e-6, qPrintable(QString::number(r.amounts[j])));
            QVERIFY(std::fabs(r.fractions[j] - want[j]) < 1e-6);
        }
    }

    // Nothing a fit can stand on: its own status, zeros a map can take (one
    // per row for a bad jump, one per row in use otherwise), and no z that
    // reads as a perfect fit.
    void noFit_data()
    {
        QTest::addColumn<NoFit>("c");
        const LcfFit::Kind lcf = LcfFit::LCF, mlcf = LcfFit::MLCF;
        QTest::newRow("one reference") << NoFit{lcf, "1", 0, 1.0, 8900, LcfResult::Skipped, 0};
        QTest::newRow("empty target") << NoFit{mlcf, "12", 2, 1.0, 8900, LcfResult::Skipped, 0};
        QTest::newRow("zero jump") << NoFit{lcf, "1-3", 0, 0.0, 8900, LcfResult::ZeroJump, 3};
        QTest::newRow("negative jump") << NoFit{lcf, "1-3", 0, -1.0, 8900, LcfResult::ZeroJump, 3};
        QTest::newRow("jump not a number") << NoFit{lcf, "1-3", 0, qQNaN(), 8900, LcfResult::ZeroJump, 3};
        for (LcfFit::Kind k : {lcf, mlcf}) {
            const char* tag = k == lcf ? "LCF" : "MLCF";
            QTest::addRow("%s, identical references", tag) << NoFit{k, "11", 0, 1.0, 8900, LcfResult::Failed, 2};
            QTest::addRow("%s, range outside the references", tag)
                << NoFit{k, "12", 0, 1.0, 9500, LcfResult::Failed, 2};
            QTest::addRow("%s, no reference in use", tag) << NoFit{k, "--", 0, 1.0, 8900, LcfResult::Failed, 0};
        }
        // Zero fractions, not 0 / 0.
        QTest::newRow("MLCF, nothing positive") << NoFit{mlcf, "12", 1, 1.0, 8900, LcfResult::Fitted, 2};
    }
    void noFit()
    {
        QFETCH(NoFit, c);
        const Spectrum D = sample(8900, 9400, 1, [&c](double E) {
            return c.target == 1 ? 1.0 - 0.5 * shape1(E) - 0.3 * shape2(E) : 0.4 * shape1(E) + 0.6 * shape2(E);
        });
        const Spectrum* R[] = {&R1, &R2, &R3};
        QVector<LcfRefSnapshot> rows;
        for (const QChar k : c.refs)
            rows << (k == '-' ? ref(R2, R2, false) : ref(*R[k.digitValue() - 1], *R[k.digitValue() - 1]));
        const XafsSpectrum s = c.target == 2 ? XafsSpectrum() : target(D, D, c.jump);
        const LcfResult r = LcfFit::fit(c.kind, s, rows, c.from, c.from + 300, SuggestElm());
        QCOMPARE(r.status, c.status);
        QCOMPARE(r.fractions, QVector<double>(c.zeros, 0.0));
        QCOMPARE(r.amounts, QVector<double>(c.zeros, 0.0));
        QCOMPARE(r.failure.isEmpty(), c.status != LcfResult::Failed);
        if (c.status != LcfResult::Fitted) QCOMPARE(r.z, 0.0);
    }

    void residualTerms()
    {
        // Fewer than three points: nothing to compare.
        Spectrum D, fit;
        D.append(1, 1);
        D.append(2, 2);
        QCOMPARE(LcfFit::residual(D, D, 0, 10, 2), 0.0);
        // The fit is 1.0 everywhere; the end points take no part.
        D = Spectrum();
        const double w[6] = {5, 2, 0, 0.5, 1, 9};
        for (int i = 0; i < 6; ++i) {
            D.append(i, w[i]);
            fit.append(i, 1.0);
        }
        // (1-2)/2 -> 0.25; w = 0 -> 1.0; (1-0.5)/0.5 -> 1; (1-1)/1 -> 0; point 1 out of range.
        QVERIFY(std::fabs(LcfFit::residual(D, fit, 1.5, 10, 10) - (1.0 + 1.0 + 0.0) / 3 / 10) < 1e-15);
        QVERIFY(std::fabs(LcfFit::residual(D, fit, 0, 10, 4) - (0.25 + 1.0 + 1.0 + 0.0) / 4 / 4) < 1e-15);
    }
};

QTEST_GUILESS_MAIN(TestLcfFit)
#include "tst_lcffit.moc"
