#include <QtTest>
#include <cmath>

#include "support/Spectra.h"
#include "analysis/LcfFit.h"

using namespace synth;

Q_DECLARE_METATYPE(LcfFit::Kind)
Q_DECLARE_METATYPE(LcfResult::Status)

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
        QTest::addColumn<LcfFit::Kind>("kind");
        QTest::addColumn<double>("f");
        QTest::addColumn<double>("jump");
        QTest::addColumn<double>("dE");
        QTest::addColumn<double>("offset");
        QTest::addColumn<bool>("wide");  // target past the references, with points that are not numbers
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        const LcfFit::Kind lcf = LcfFit::LCF, old = LcfFit::LCFOld;
        QTest::newRow("jump 2, inner range") << lcf << 0.3 << 2.0 << 0.0 << 0.0 << false << 8950.0 << 9300.0;
        QTest::newRow("range past the references") << lcf << 0.3 << 1.0 << 0.0 << 0.0 << false << 0.0 << 3e4;
        QTest::newRow("target wider, not-a-number points") << lcf << 0.3 << 1.0 << 0.0 << 0.0 << true << 0.0 << 3e4;
        // Whole eV: read on the sampled points.
        QTest::newRow("row shifted, block offset") << lcf << 0.5 << 1.0 << 2.0 << 4.0 << false << 0.0 << 3e4;
        // The old variant fits a jump that is not positive; only the amounts vanish.
        QTest::newRow("old variant, zero jump") << old << 0.4 << 0.0 << 0.0 << 0.0 << false << 0.0 << 3e4;
        QTest::newRow("old variant, negative jump") << old << 0.4 << -1.0 << 0.0 << 0.0 << false << 0.0 << 3e4;
    }
    void recoversFractions()
    {
        QFETCH(LcfFit::Kind, kind);
        QFETCH(double, f);
        QFETCH(double, jump);
        QFETCH(double, dE);
        QFETCH(double, offset);
        QFETCH(bool, wide);
        QFETCH(double, from);
        QFETCH(double, to);
        auto mix = [=](double e) { return f * shape1(e + dE) + (1 - f) * shape2(e); };
        Spectrum D = sample(wide ? 8800 : 8920, wide ? 9500 : 9380, 1, [=](double x) {
            const double e = x - offset;
            return e < 8900 || e > 9400 ? 100.0 : mix(e);
        });
        if (wide) D.points[300].setY(std::nan(""));
        XafsSpectrum s = target(D, D, jump);
        if (wide) s.points[301].setX(std::nan(""));
        s.energyOffset = offset;
        const QVector<LcfRefSnapshot> rows{ref(R1, R1, true, dE, 1.0), ref(R3, R3, false), ref(R2, R2)};
        const LcfResult r = LcfFit::fit(kind, s, rows, from, to, SuggestElm());
        QCOMPARE(r.status, LcfResult::Fitted);
        QCOMPARE(r.rows, (QVector<int>{0, 2}));
        QCOMPARE(r.sE0, std::max(from, 8900.0));
        QCOMPARE(r.eE0, std::min(to, 9400.0 - dE));
        QVERIFY2(std::fabs(r.fractions[0] - f) < 1e-9, qPrintable(QString::number(r.fractions[0])));
        QVERIFY(std::fabs(r.fractions[1] - (1 - f)) < 1e-9);
        QVERIFY(std::fabs(r.amounts[0] - f * std::max(jump, 0.0)) < 1e-9);
        QVERIFY(std::fabs(r.amounts[1] - (1 - f) * std::max(jump, 0.0)) < 1e-9);
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
        QTest::addColumn<LcfFit::Kind>("kind");
        QTest::addColumn<QString>("refs");  // per row: 1 R1, 2 R2, 3 R3, - not in use
        QTest::addColumn<int>("target");    // 0 mixture, 1 only negative shares, 2 empty
        QTest::addColumn<double>("jump");
        QTest::addColumn<double>("from");
        QTest::addColumn<LcfResult::Status>("status");
        QTest::addColumn<int>("zeros");
        const LcfFit::Kind lcf = LcfFit::LCF, mlcf = LcfFit::MLCF;
        QTest::newRow("one reference") << lcf << "1" << 0 << 1.0 << 8900.0 << LcfResult::Skipped << 0;
        QTest::newRow("empty target") << mlcf << "12" << 2 << 1.0 << 8900.0 << LcfResult::Skipped << 0;
        QTest::newRow("zero jump") << lcf << "1-3" << 0 << 0.0 << 8900.0 << LcfResult::ZeroJump << 3;
        QTest::newRow("negative jump") << lcf << "1-3" << 0 << -1.0 << 8900.0 << LcfResult::ZeroJump << 3;
        QTest::newRow("jump not a number") << lcf << "1-3" << 0 << qQNaN() << 8900.0 << LcfResult::ZeroJump << 3;
        for (LcfFit::Kind k : {lcf, mlcf}) {
            const char* tag = k == lcf ? "LCF" : "MLCF";
            QTest::addRow("%s, identical references", tag) << k << "11" << 0 << 1.0 << 8900.0 << LcfResult::Failed << 2;
            QTest::addRow("%s, range outside the references", tag)
                << k << "12" << 0 << 1.0 << 9500.0 << LcfResult::Failed << 2;
            QTest::addRow("%s, no reference in use", tag) << k << "--" << 0 << 1.0 << 8900.0 << LcfResult::Failed << 0;
        }
        // Zero fractions, not 0 / 0.
        QTest::newRow("MLCF, nothing positive") << mlcf << "12" << 1 << 1.0 << 8900.0 << LcfResult::Fitted << 2;
    }
    void noFit()
    {
        QFETCH(LcfFit::Kind, kind);
        QFETCH(QString, refs);
        QFETCH(int, target);
        QFETCH(double, jump);
        QFETCH(double, from);
        QFETCH(LcfResult::Status, status);
        QFETCH(int, zeros);
        const Spectrum D = sample(8900, 9400, 1, [target](double E) {
            return target == 1 ? 1.0 - 0.5 * shape1(E) - 0.3 * shape2(E) : 0.4 * shape1(E) + 0.6 * shape2(E);
        });
        const Spectrum* R[] = {&R1, &R2, &R3};
        QVector<LcfRefSnapshot> rows;
        for (const QChar c : refs)
            rows << (c == '-' ? ref(R2, R2, false) : ref(*R[c.digitValue() - 1], *R[c.digitValue() - 1]));
        const XafsSpectrum s = target == 2 ? XafsSpectrum() : synth::target(D, D, jump);
        const LcfResult r = LcfFit::fit(kind, s, rows, from, from + 300, SuggestElm());
        QCOMPARE(r.status, status);
        QCOMPARE(r.fractions, QVector<double>(zeros, 0.0));
        QCOMPARE(r.amounts, QVector<double>(zeros, 0.0));
        QCOMPARE(r.failure.isEmpty(), status != LcfResult::Failed);
        if (status != LcfResult::Fitted) QCOMPARE(r.z, 0.0);
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
