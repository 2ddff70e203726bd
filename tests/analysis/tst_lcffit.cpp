#include <QtTest>
#include <cmath>

#include "support/Spectra.h"
#include "analysis/LcfFit.h"

using namespace synth;

class TestLcfFit : public QObject
{
    Q_OBJECT

    Spectrum R1 = sample(8900, 9400, 1, shape1);
    Spectrum R2 = sample(8900, 9400, 1, shape2);
    Spectrum R3 = sample(8900, 9400, 1, shape3);

private slots:
    // A target mixing the first two shapes: f of R1 read dE eV higher, and
    // the rest of R2, on energies offset by the block's own shift. The fit
    // recovers f, uses only the references' energies, and its curve and
    // residual are of this fit whatever fractions the rows held before.
    void lcfRecoversFractions_data()
    {
        QTest::addColumn<double>("f");
        QTest::addColumn<double>("jump");
        QTest::addColumn<double>("dE");
        QTest::addColumn<double>("offset");
        QTest::addColumn<double>("gridFrom");
        QTest::addColumn<double>("gridTo");
        QTest::addColumn<double>("stale");  // fraction row 0 holds before the fit
        QTest::addColumn<bool>("nan");
        QTest::addColumn<double>("sE0");
        QTest::addColumn<double>("eE0");
        QTest::newRow("plain, jump 2") << 0.3 << 2.0 << 0.0 << 0.0 << 8900.0 << 9400.0 << 0.0 << false
                                       << 8950.0 << 9300.0;
        QTest::newRow("rows hold stale fractions") << 0.3 << 1.0 << 0.0 << 0.0 << 8900.0 << 9400.0 << 1.0
                                                   << false << 8900.0 << 9400.0;
        QTest::newRow("target wider than the references, not-a-number points")
            << 0.3 << 1.0 << 0.0 << 0.0 << 8800.0 << 9500.0 << 0.0 << true << 8900.0 << 9400.0;
        // Whole eV: read on the sampled points.
        QTest::newRow("row shifted, block offset") << 0.5 << 1.0 << 2.0 << 4.0 << 8920.0 << 9380.0 << 0.0
                                                   << false << 8900.0 << 9398.0;
    }
    void lcfRecoversFractions()
    {
        QFETCH(double, f);
        QFETCH(double, jump);
        QFETCH(double, dE);
        QFETCH(double, offset);
        QFETCH(double, gridFrom);
        QFETCH(double, gridTo);
        QFETCH(double, stale);
        QFETCH(bool, nan);
        QFETCH(double, sE0);
        QFETCH(double, eE0);
        auto mix = [=](double e) { return f * shape1(e + dE) + (1 - f) * shape2(e); };
        Spectrum D = sample(gridFrom, gridTo, 1, [=](double x) {
            const double e = x - offset;
            return e < 8900 || e > 9400 ? 100.0 : mix(e);
        });
        if (nan) D.points[300].setY(std::nan(""));
        XafsSpectrum s = target(D, D, jump);
        if (nan) s.points[301].setX(std::nan(""));
        s.energyOffset = offset;
        const double range = sE0 == 8950.0 ? 1 : 0;  // a range inside the references, or all
        const LcfResult r = LcfFit::fit(LcfFit::LCF, s, {ref(R1, R1, true, dE, stale), ref(R2, R2)},
                                        range ? 8950 : 0, range ? 9300 : 30000, SuggestElm());
        QCOMPARE(r.status, LcfResult::Fitted);
        QCOMPARE(r.rows, (QVector<int>{0, 1}));
        QCOMPARE(r.sE0, sE0);
        QCOMPARE(r.eE0, eE0);
        QVERIFY2(std::fabs(r.fractions[0] - f) < 1e-9, qPrintable(QString::number(r.fractions[0])));
        QVERIFY(std::fabs(r.fractions[1] - (1 - f)) < 1e-9);
        QVERIFY(std::fabs(r.amounts[0] - f * jump) < 1e-9);
        QVERIFY(std::fabs(r.amounts[1] - (1 - f) * jump) < 1e-9);
        QVERIFY2(nan ? std::isfinite(r.z) : r.z < 1e-20, qPrintable(QString::number(r.z)));
        QCOMPARE(r.fitted.name, QStringLiteral("anal-LCF"));
        QVERIFY(!r.fitted.points.isEmpty());
        for (const QPointF& p : r.fitted.points) {
            QVERIFY(std::isfinite(p.x()) && std::isfinite(p.y()));
            QVERIFY2(std::fabs(p.y() - mix(p.x())) < 1e-9, qPrintable(QString::number(p.x())));
        }
    }

    // Target and references normalised from raw mu on the same background:
    // the target's mu mixes the references' mu, so its D mixes their D.
    void lcfOnNormalisedSpectra()
    {
        auto pre = [](double E) { return 0.5 - 2e-4 * (E - 8800); };
        auto mu1 = [&](double E) { return pre(E) + sigmoid(E, 9000, 0.4); };
        auto mu2 = [&](double E) { return pre(E) + sigmoid(E, 9006, 0.4); };
        SuggestElm none;
        none.useWindow = false;
        const XafsSpectrum a(sample(8800, 9400, 1, mu1), "a", 1, 0, none);
        const XafsSpectrum b(sample(8800, 9400, 1, mu2), "b", 1, 0, none);
        const XafsSpectrum s(sample(8800, 9400, 1, [&](double E) {
                                 return 0.25 * mu1(E) + 0.75 * mu2(E);
                             }),
                             "t", 1, 0, none);
        const QVector<LcfRefSnapshot> refs = {LcfRefSnapshot::of(a, true, 0),
                                              LcfRefSnapshot::of(b, true, 0)};
        const LcfResult r = LcfFit::fit(LcfFit::LCF, s, refs, 8900, 9300, none);
        QCOMPARE(r.status, LcfResult::Fitted);
        QVERIFY2(std::fabs(r.fractions[0] - 0.25) < 2e-3, qPrintable(QString::number(r.fractions[0])));
        QVERIFY2(std::fabs(r.fractions[1] - 0.75) < 2e-3, qPrintable(QString::number(r.fractions[1])));
        QVERIFY(std::fabs(r.amounts[1] - 0.75 * s.dMut) < 1e-12);
    }

    void oneRowInUseIsAOneUnknownFit()
    {
        const Spectrum D = sample(8900, 9400, 1, [](double E) { return shape2(E) + 0.1; });
        const XafsSpectrum s = target(D, D, 1.0);
        const QVector<LcfRefSnapshot> refs = {ref(R1, R1), ref(R2, R2, false)};
        const LcfResult r = LcfFit::fit(LcfFit::LCF, s, refs, 9000, 9200, SuggestElm());
        double srt = 0, srr = 0;
        for (int k = 0; k < D.points.size(); ++k) {
            const double E = D.points[k].x();
            if (E < 9000 || E > 9200)
                continue;
            srt += R1.points[k].y() * D.points[k].y();
            srr += R1.points[k].y() * R1.points[k].y();
        }
        QCOMPARE(r.rows, QVector<int>{0});
        QVERIFY(std::fabs(r.fractions[0] - srt / srr) < 1e-12);
    }

    void tooLittleToFitIsSkipped()
    {
        const Spectrum D = sample(8900, 9400, 1, shape1);
        LcfResult r = LcfFit::fit(LcfFit::LCF, target(D, D, 1), {ref(R1, R1)}, 0, 1e5,
                                  SuggestElm());
        QCOMPARE(r.status, LcfResult::Skipped);
        r = LcfFit::fit(LcfFit::MLCF, XafsSpectrum(), {ref(R1, R1), ref(R2, R2)}, 0, 1e5,
                        SuggestElm());
        QCOMPARE(r.status, LcfResult::Skipped);
    }

    void jumpThatIsNotPositive()
    {
        const Spectrum D = sample(8900, 9400, 1, [](double E) {
            return 0.4 * shape1(E) + 0.6 * shape3(E);
        });
        const QVector<LcfRefSnapshot> refs = {ref(R1, R1), ref(R2, R2, false), ref(R3, R3)};
        for (double jump : {0.0, -1.0, std::nan("")}) {
            LcfResult r = LcfFit::fit(LcfFit::LCF, target(D, D, jump), refs, 8900, 9400,
                                      SuggestElm());
            QCOMPARE(r.status, LcfResult::ZeroJump);
            QCOMPARE(r.fractions, QVector<double>(3, 0.0));  // one per row, not per row in use
            QCOMPARE(r.amounts, QVector<double>(3, 0.0));
            // The old variant still fits; only the amounts vanish.
            r = LcfFit::fit(LcfFit::LCFOld, target(D, D, jump), refs, 8900, 9400, SuggestElm());
            QCOMPARE(r.status, LcfResult::Fitted);
            QVERIFY(std::fabs(r.fractions[0] - 0.4) < 1e-9);
            QVERIFY(std::fabs(r.fractions[1] - 0.6) < 1e-9);
            QCOMPARE(r.amounts, QVector<double>(2, 0.0));
        }
    }

    void mlcfDropsNegativeCoefficients()
    {
        const Spectrum mu = sample(8900, 9400, 1, [](double E) {
            return 3.0 - 1e-4 * E + 0.6 * shape1(E) + 0.6 * shape2(E) - 0.2 * shape3(E);
        });
        const Spectrum D = sample(8900, 9400, 1, [](double) { return 1.0; });
        const QVector<LcfRefSnapshot> refs = {ref(R3, R1), ref(R3, R2), ref(R3, R3)};
        const LcfResult r = LcfFit::fit(LcfFit::MLCF, target(mu, D, -5), refs, 0, 30000,
                                        SuggestElm());
        QCOMPARE(r.status, LcfResult::Fitted);
        QCOMPARE(r.fitted.name, QStringLiteral("anal-MLCF"));
        const double want[3] = {0.6, 0.6, 0.0};
        for (int j = 0; j < 3; ++j) {
            QVERIFY2(std::fabs(r.amounts[j] - want[j]) < 1e-6, qPrintable(QString::number(r.amounts[j])));
            // S = 0.6 + 0.6 - 0.2 = 1 was summed before the correction.
            QVERIFY(std::fabs(r.fractions[j] - want[j]) < 1e-6);
        }
    }

    void mlcfWithNothingPositiveGivesZeroFractions()
    {
        const Spectrum mu = sample(8900, 9400, 1, [](double E) {
            return 1.0 - 0.5 * shape1(E) - 0.3 * shape2(E);
        });
        const LcfResult r = LcfFit::fit(LcfFit::MLCF, target(mu, mu, 1),
                                        {ref(R1, R1), ref(R2, R2)}, 0, 30000, SuggestElm());
        for (int j = 0; j < 2; ++j) {
            QCOMPARE(r.amounts[j], 0.0);
            QCOMPARE(r.fractions[j], 0.0);  // not 0 / 0
        }
    }

    void failedFits_data()
    {
        QTest::addColumn<int>("second");  // 0 R1 again, 1 R2, 2 R2 not in use
        QTest::addColumn<bool>("firstUsed");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::newRow("identical references") << 0 << true << 8900.0 << 9400.0;
        QTest::newRow("range outside every reference") << 1 << true << 9500.0 << 9800.0;
        QTest::newRow("no reference in use") << 2 << false << 8900.0 << 9400.0;
    }

    // No unique fit: its own status, zeros that a map can take, no z that
    // reads as a perfect fit.
    void failedFits()
    {
        QFETCH(int, second);
        QFETCH(bool, firstUsed);
        QFETCH(double, from);
        QFETCH(double, to);
        const Spectrum D = sample(8900, 9400, 1, [](double E) {
            return 0.4 * shape1(E) + 0.6 * shape2(E);
        });
        const QVector<LcfRefSnapshot> refs = {
            ref(R1, R1, firstUsed), second == 0 ? ref(R1, R1) : ref(R2, R2, second == 1)};
        for (LcfFit::Kind kind : {LcfFit::LCF, LcfFit::MLCF}) {
            const LcfResult r = LcfFit::fit(kind, target(D, D, 1.0), refs, from, to, SuggestElm());
            QCOMPARE(r.status, LcfResult::Failed);
            QVERIFY(!r.failure.isEmpty());
            QCOMPARE(r.fractions, QVector<double>(r.rows.size(), 0.0));
            QCOMPARE(r.amounts, QVector<double>(r.rows.size(), 0.0));
            QCOMPARE(r.z, 0.0);
        }
    }

    void residualTerms()
    {
        // Fewer than three points: nothing to compare.
        Spectrum two;
        two.append(1, 1);
        two.append(2, 2);
        QCOMPARE(LcfFit::residual(two, two, 0, 10, 2), 0.0);

        // Inner points 2, 3, 4 in range; the fit is 1.0 everywhere.
        Spectrum D, fit;
        const double w[6] = {5, 2, 0, 0.5, 1, 9};
        for (int i = 0; i < 6; ++i) {
            D.append(i, w[i]);
            fit.append(i, 1.0);
        }
        // (1-2)/2 -> 0.25; w = 0 -> 1.0; (1-0.5)/0.5 -> 1; (1-1)/1 -> 0; point 1 out of range.
        const double z = LcfFit::residual(D, fit, 1.5, 10, 10);
        QVERIFY(std::fabs(z - (1.0 + 1.0 + 0.0) / 3 / 10) < 1e-15);
        const double all = LcfFit::residual(D, fit, 0, 10, 4);
        QVERIFY(std::fabs(all - (0.25 + 1.0 + 1.0 + 0.0) / 4 / 4) < 1e-15);
    }
};

QTEST_GUILESS_MAIN(TestLcfFit)
#include "tst_lcffit.moc"
