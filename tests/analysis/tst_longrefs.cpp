// References measured over longer scans than the stack fitted to them, and
// when a reference is judged against the range of a run.

#include <QtTest>

#include <memory>
#include <random>

#include "analysis/Analysis2DDriver.h"
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "analysis/LcfFit.h"
#include "core/FailureLog.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "support/BodyStack.h"
#include "support/Files.h"
#include "support/Headless.h"
#include "support/LongRefs.h"
#include "support/Maps.h"
#include "support/MixedStack.h"
#include "support/Spectra.h"

#include <QCheckBox>
#include <QDir>
#include <QRegularExpression>

namespace {

// A spectrum of the stack's energies with photon noise of about `counts`
// photons behind the sample, normalised as the program normalises blocks.
XafsSpectrum measured(double fa, const QVector<double>& energies, double counts = 1e5, unsigned seed = 1,
                      double offset = 0)
{
    std::mt19937 g(seed);
    std::normal_distribution<double> n(0, 1);
    Spectrum s;
    for (double E : energies) {
        const double m = longref::mu(fa, E - offset);
        const double i = counts * std::exp(-m);
        s.append(E, std::log(counts / (i + std::sqrt(i) * n(g))));
    }
    return XafsSpectrum(s, "block", 1, offset, SuggestElm());
}

// A reference read from its file and normalised as a reference row does.
XafsSpectrum loaded(const QString& file, double dE = 0)
{
    XafsSpectrum r;
    if (!r.load(file)) return r;
    r.xShiftOn = true;
    r.xShift = dE;
    r.energyOffset = dE;
    r.recalc(1);
    return r;
}

LcfRefSnapshot snap(const XafsSpectrum& r, bool cut)
{
    return LcfRefSnapshot::of(r, true, 0, r.xShift, cut ? std::make_shared<LcfRefOnGrid>(r, 1) : nullptr);
}

// The reference sides past the stack: below, above or both.
struct Span
{
    double below, above;
};
Span spanOf(const QString& side)
{
    return {side == "above" ? 50.0 : 180.0, side == "below" ? 290.0 : 1060.0};
}

bool runToEnd(Analyzer* a, Analysis2DDriver* run)
{
    QSignalSpy ended(run, &Analysis2DDriver::ended);
    emit a->askAnalyze();
    return ended.wait(60000);
}

// Share of phase a per column: 0-1 pure a, 2-3 pure b, 4-5 half and half.
double shareOf(int c) { return c < 2 ? 1.0 : c < 4 ? 0.0 : 0.5; }
// The energy shift of column c where the stack is shifted.
double shiftOf(int c) { return 0.9 * c - 2.0; }

// Six pixels of the phases on the stack's energies, photon noise behind the
// sample; shifted by column when `shifted`, with the energy-shift map saying so.
void loadPhases(Body& b, bool shifted)
{
    const QVector<double> e = longref::stackEnergies();
    auto i1 = [=](int k, int c, int r) {
        const double counts = 1e6 * std::exp(-longref::mu(shareOf(c), e[k] - (shifted ? shiftOf(c) : 0)));
        std::mt19937 g(11 + 7919 * k + 131 * c + r);
        return counts + std::sqrt(counts) * std::normal_distribution<double>()(g);
    };
    ts::loadStack(b, {6, 1, int(e.size()), [e](int k) { return e[k]; }, i1, [](int, int, int) { return 1e6; }});
    b.HWidth->setText(QStringLiteral("0"));
    b.VWidth->setText(QStringLiteral("0"));
    b.UseSuggestElm->setChecked(false);
    if (shifted) ts::fillMap(b.shiftMap, 6, 1, [](int x, int) { return shiftOf(x); });
}

}  // namespace

class TestLongRefs : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString refFile(bool a, const QString& side, double shift = 0)
    {
        const Span s = spanOf(side);
        Spectrum r = longref::reference(a, s.below, s.above, a ? 7 : 11);
        for (QPointF& p : r.points) p.setX(p.x() + shift);
        const QString f = dir.filePath(QString("%1-%2-%3.dat").arg(a ? "oxide" : "metal", side).arg(shift));
        return ts::writeSpectrum(f, r) ? f : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        initGlobals();
        initColorTables();
        installAnalysisOnBody();
    }

    // A pure phase reads 1 and a half-and-half mixture 0.5 within noise, in
    // LCF and MLCF, whichever side the references reach past the stack; a
    // block with an energy shift and references with a dE read the same.
    // Normalised over their whole scans the references read a pure phase
    // 2 % low (LCF).
    void pureAndMixed_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("side");
        QTest::addColumn<double>("offset");  // the block's energy shift
        QTest::addColumn<double>("dE");      // the references' shift
        for (int kind : {int(LcfFit::LCF), int(LcfFit::MLCF)})
            for (const char* side : {"both", "below", "above"}) {
                const char* k = kind == LcfFit::LCF ? "LCF" : "MLCF";
                QTest::addRow("%s, references past the stack %s", k, side) << kind << side << 0.0 << 0.0;
            }
        QTest::newRow("LCF, block shifted 2.5 eV, references by -3 eV") << int(LcfFit::LCF) << "both" << 2.5 << -3.0;
        QTest::newRow("MLCF, block shifted -1.7 eV") << int(LcfFit::MLCF) << "both" << -1.7 << 0.0;
    }
    void pureAndMixed()
    {
        QFETCH(int, kind);
        QFETCH(QString, side);
        QFETCH(double, offset);
        QFETCH(double, dE);
        const QVector<double> e = longref::stackEnergies();
        const XafsSpectrum a = loaded(refFile(true, side, dE), dE), b = loaded(refFile(false, side, dE), dE);
        QVERIFY(!a.isEmpty() && !b.isEmpty() && !a.refused() && !b.refused());
        const LcfFit::Kind k = LcfFit::Kind(kind);
        for (double fa : {1.0, 0.0, 0.5}) {
            const XafsSpectrum t = measured(fa, e, 1e5, 3 + unsigned(10 * fa), offset);
            const LcfResult r = LcfFit::fit(k, t, {snap(a, true), snap(b, true)}, 0, 30000, SuggestElm());
            QCOMPARE(r.status, LcfResult::Fitted);
            const QString got = QString("share %1: %2 %3").arg(fa).arg(r.fractions[0]).arg(r.fractions[1]);
            // MLCF's straight background cannot follow the jump's fall with energy: a pure phase reads
            // 1 % off with references measured at the stack's energies too.
            const double tol = fa == 0.5 ? 0.02 : k == LcfFit::MLCF ? 0.015 : 0.01;
            QVERIFY2(std::fabs(r.fractions[0] - fa) < tol && std::fabs(r.fractions[1] - (1 - fa)) < tol, qPrintable(got));
            if (k != LcfFit::LCF || fa != 0.0 || side == "below") continue;
            const LcfResult old = LcfFit::fit(k, t, {snap(a, false), snap(b, false)}, 0, 30000, SuggestElm());
            QVERIFY2(old.fractions[1] < 0.985, qPrintable(QString::number(old.fractions[1])));
        }
    }

    // A reference inside the stack's energies on the side that matters is
    // used as it always was: every number of the fit is the same, bit for bit.
    void insideUnchanged_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("below");
        QTest::addColumn<double>("above");
        QTest::newRow("LCF, inside") << int(LcfFit::LCF) << 50.0 << 290.0;
        QTest::newRow("MLCF, inside") << int(LcfFit::MLCF) << 50.0 << 290.0;
        QTest::newRow("LCF, the stack's own ends") << int(LcfFit::LCF) << 60.0 << 300.0;
        QTest::newRow("old LCF, inside") << int(LcfFit::LCFOld) << 57.0 << 299.0;
    }
    void insideUnchanged()
    {
        QFETCH(int, kind);
        QFETCH(double, below);
        QFETCH(double, above);
        XafsSpectrum refs[2];
        for (int i = 0; i < 2; ++i) {
            const QString f = dir.filePath(QString("inside-%1-%2-%3.dat").arg(i).arg(below).arg(above));
            QVERIFY(ts::writeSpectrum(f, longref::reference(i == 0, below, above)));
            refs[i] = loaded(f);
        }
        const XafsSpectrum t = measured(0.3, longref::stackEnergies());
        const LcfResult now = LcfFit::fit(LcfFit::Kind(kind), t, {snap(refs[0], true), snap(refs[1], true)}, 6500, 6700, SuggestElm());
        const LcfResult was = LcfFit::fit(LcfFit::Kind(kind), t, {snap(refs[0], false), snap(refs[1], false)}, 6500, 6700, SuggestElm());
        QCOMPARE(now.status, LcfResult::Fitted);
        QVERIFY(now.fractions == was.fractions && now.amounts == was.amounts);
        QVERIFY(now.z == was.z && now.sE0 == was.sE0 && now.eE0 == was.eE0);
        QVERIFY(now.fitted.points == was.fitted.points);
    }

    // Through the panel's reference rows: the cursor's fits and a 2-D run's
    // fraction maps read the pure phases and the mixture right, in LCF and
    // MLCF, with and without an energy-shift map, and with the references
    // normalised under the edge suggestion of the spectra fitted to them.
    void panelReads_data()
    {
        QTest::addColumn<bool>("mlcf");
        QTest::addColumn<bool>("run");
        QTest::addColumn<bool>("shifted");
        QTest::addColumn<bool>("window");  // the edge suggestion's window in use
        for (bool mlcf : {false, true})
            for (bool run : {false, true}) {
                const char* k = mlcf ? "MLCF" : "LCF";
                const char* how = run ? "2-D run" : "cursor spectrum";
                QTest::addRow("%s, %s", k, how) << mlcf << run << false << false;
                QTest::addRow("%s, %s, energy-shift map", k, how) << mlcf << run << true << false;
                if (!mlcf) QTest::addRow("%s, %s, edge suggestion", k, how) << mlcf << run << false << true;
            }
    }
    void panelReads()
    {
        QFETCH(bool, mlcf);
        QFETCH(bool, run);
        QFETCH(bool, shifted);
        QFETCH(bool, window);
        Body b;
        loadPhases(b, shifted);
        b.UseSuggestElm->setChecked(window);
        b.SuggestingEeV->setText(QString::number(longref::E0 + 1));
        b.DPreE->setText(QStringLiteral("-15"));
        b.DPostS->setText(QStringLiteral("15"));
        Analyzer* a = AnalysisOnBody::of(b)->analyzer();
        Analysis2DDriver* driver = AnalysisOnBody::of(b)->driver();
        a->Sel2DA->setChecked(true);
        a->Sel2DAMLCFA->setChecked(true);
        a->MLCF->setChecked(mlcf);
        const int failures = FailureLog::count();
        QVERIFY(a->setLCFStd(0, true, 0, refFile(true, "both"), "0"));
        QVERIFY(a->setLCFStd(1, true, 0, refFile(false, "both"), "0"));
        QVector<QPointF> f;
        if (run) {
            QVERIFY(runToEnd(a, driver));
            const int n = driver->lcfRefMaps.size() / 2;
            for (int c = 0; c < 6; ++c)
                f << QPointF(driver->lcfRefMaps[n]->valueAt(c, 0), driver->lcfRefMaps[n + 1]->valueAt(c, 0));
        } else {
            const LcfResult& r = a->lastLcf;
            for (int c = 0; c < 6; ++c) {
                b.showXafsSpectrum(c, 0);
                QVERIFY(QTest::qWaitFor([a] { return a->pending == 0; }, 10000));
                QCOMPARE(r.status, LcfResult::Fitted);
                f << QPointF(r.fractions.value(r.rows.indexOf(0)), r.fractions.value(r.rows.indexOf(1)));
            }
        }
        QCOMPARE(FailureLog::count(), failures);
        for (int c = 0; c < 6; ++c) {
            const double want = shareOf(c), tol = want == 0.5 ? 0.02 : mlcf ? 0.015 : 0.01;
            QVERIFY2(std::fabs(f[c].x() - want) < tol && std::fabs(f[c].y() - (1 - want)) < tol,
                     qPrintable(QString("column %1: %2 %3").arg(c).arg(f[c].x()).arg(f[c].y())));
        }
    }

    // A reference is taken at the target's energies within its own, at
    // e + dE, when it reaches past either end by half a step or more; not
    // for fewer than 8 points or a shift that is not a number.
    void atEnergies_data()
    {
        QTest::addColumn<double>("from");  // the reference's points: from, from + 2, ..., to
        QTest::addColumn<double>("to");
        QTest::addColumn<double>("dE");
        QTest::addColumn<int>("taken");    // points of the copy, 0 none
        QTest::addColumn<double>("first"); // the copy's first energy
        // Target energies 120, 121, ..., 150.
        QTest::newRow("inside") << 122.0 << 148.0 << 0.0 << 0 << 0.0;
        QTest::newRow("within half a step") << 119.6 << 150.4 << 0.0 << 0 << 0.0;
        QTest::newRow("past both ends") << 100.0 << 200.0 << 0.0 << 31 << 120.0;
        QTest::newRow("past the top only") << 124.0 << 200.0 << 0.0 << 27 << 124.0;
        QTest::newRow("read at e + dE") << 100.0 << 170.0 << 15.0 << 31 << 135.0;
        QTest::newRow("shifted out but for a few points") << 100.0 << 126.0 << 0.0 << 0 << 0.0;
        QTest::newRow("shift not a number") << 100.0 << 200.0 << qQNaN() << 0 << 0.0;
    }
    void atEnergies()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(double, dE);
        QFETCH(int, taken);
        QFETCH(double, first);
        const Spectrum r = synth::sample(from, to, 2, [](double E) { return 0.1 * E + synth::sigmoid(E, 140, 3); });
        QVector<double> e;
        for (int k = 120; k <= 150; ++k) e << k;
        const Spectrum c = LcfRefOnGrid::atEnergies(r, e, dE);
        QCOMPARE(c.points.size(), taken);
        if (!taken) return;
        QCOMPARE(c.points.first().x(), first);
        // Linear between the reference's points: exact for the straight part.
        for (const QPointF& p : c.points) {
            const double want = 0.1 * p.x() + synth::sigmoid(p.x(), 140, 3);
            const double between = std::fmod(p.x() - from, 2.0) == 0 ? 1e-12 : 0.05;
            QVERIFY2(std::fabs(p.y() - want) < between, qPrintable(QString("%1: %2").arg(p.x()).arg(p.y())));
        }
    }

#ifdef CORVENLITH_BIN
    // The program itself, headless, in the README's order (references, then the LCF range) and the other way
    // round. A reference that starts 20 eV after the stack's first frame but covers the LCF range: status 0 and
    // the same maps either way, the load saying only that it does not cover the range then in force. A range it
    // does lack: the run's "Err:" line and status 1, in either order.
    void headlessOrder_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<int>("failures");
        QTest::newRow("range covered") << 8965.0 << 0;
        QTest::newRow("range reaching below the reference") << 8945.0 << 1;
    }
    void headlessOrder()
    {
        QFETCH(double, from);
        QFETCH(int, failures);
        QTemporaryDir tmp;
        mixed::Stack st;
        st.regions = {{0, 8, 0.3, 0.9, 1.0, 0.0}, {9, 17, 0.5, 0.6, 0.3, 0.0}};
        QVERIFY(st.write(tmp.path()) && st.writeRef(tmp.filePath("ref2.dat"), false));
        QVERIFY(ts::writeSpectrum(tmp.filePath("late.dat"), synth::sample(st.from + 20, st.to + 40, 0.5, [&](double E) {
                                      return 0.2 + 1.1 * st.ref1(E);
                                  })));
        const QString late = tmp.filePath("late.dat");
        const QString load = "load_I1_files_of_pattern NEW TMP/i1/ *.tif\nload_I0_files_of_pattern NEW TMP/i0/ *.tif\n"
                             "Use_I0 1\nselect_region 0 0 18 12\nset_band_w 1\nset_band_h 1\n";
        const QString refs = "analyzer_set_LCF_std 0 1 0 TMP/late.dat 0\nanalyzer_set_LCF_std 1 1 0 TMP/ref2.dat 0\n";
        const QString range = QString("analyzer_set_LCF_range %1 9010\n").arg(from);
        QVector<QVector<ts::MapRow>> maps;
        for (bool readmeOrder : {true, false}) {
            const QString out = readmeOrder ? "readme" : "other";
            QVERIFY(QDir(tmp.path()).mkpath("out/" + out));
            QString script = load + (readmeOrder ? refs + range : range + refs)
                             + "analyzer_sub_mode 0 0 1 0 0\nanalyzer_exec_2da\nsaveDataCfg_save_as_text\nsaveDataCfg_text_as_xyz\n"
                               "analyzer_select_image_type 0\nanalyzer_select_image 0\nsave_data TMP/out/" + out + "/f\n"
                               "analyzer_select_image 1\nsave_data TMP/out/" + out + "/f\nquit\n";
            script.replace("TMP", tmp.path());
            const ts::ProgramRun r = ts::runHeadless(tmp.path(), script, 120000);
            const QString err = QString::fromUtf8(r.err);
            QVERIFY2(r.endedWith(failures), qPrintable(err.right(3000)));
            const QString notCovered = QString("analyzer_exec_2da: The LCF reference \"%1\" of row 0 does not cover the fit").arg(late);
            const auto lines = [&err](const QString& re) {
                return err.count(QRegularExpression("^" + re, QRegularExpression::MultilineOption));
            };
            QCOMPARE(lines("Err: line \\d+: " + QRegularExpression::escape(notCovered)), failures);
            QCOMPARE(lines("Err: "), failures);
            // Said at the load, never counted, where the range then in force (the whole spectrum at start) is not covered.
            QCOMPARE(err.contains(QString("The LCF reference \"%1\" of row 0 does not cover the LCF range set now").arg(late)),
                     readmeOrder || failures > 0);
            for (int row : {0, 1}) {
                const QVector<ts::MapRow> m = ts::readMapRows(tmp.filePath(QString("out/%1/f-%2.dat").arg(out).arg(row)));
                QCOMPARE(m.size(), 6 * 4);
                maps << m;
            }
        }
        // Value for value the same maps, and the truth of each region: 1 and 0.3 of the first reference.
        for (int k = 0; k < 2; ++k)
            for (int i = 0; i < maps[k].size(); ++i) {
                const ts::MapRow &a = maps[k][i], &b = maps[k + 2][i];
                QVERIFY2(a.ok && b.ok && a.x == b.x && a.y == b.y && a.v == b.v, qPrintable(a.line + " / " + b.line));
                const double f1 = a.x < 9 ? 1.0 : 0.3;
                QVERIFY2(std::fabs(a.v - (k == 0 ? f1 : 1 - f1)) < 0.03, qPrintable(a.line));
            }
    }
#endif
};

QTEST_MAIN(TestLongRefs)
#include "tst_longrefs.moc"
