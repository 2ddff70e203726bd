// Which blocks of an Fe stack the energy calibration gives a shift.
#include <QtTest>

#include <cmath>

#include "core/Globals.h"
#include "core/XafsSpectrum.h"
#include "support/FeStack.h"
#include "tools/CalibMath.h"

namespace {

// The block's spectrum as the main window sums it: counts over the block.
Spectrum blockOf(const fe::Stack& s, int cx, int cy, int hw)
{
    Spectrum mu;
    for (int k = 0; k < s.energies.size(); ++k) {
        double a = 0, b = 0;
        for (int y = cy - hw; y <= cy + hw; ++y)
            for (int x = cx - hw; x <= cx + hw; ++x) {
                a += s.i0(k, x, y);
                b += s.i1(k, x, y);
            }
        mu.append(s.energies[k], std::log(a / b));
    }
    return mu;
}

}  // namespace

class TstCalibEdge : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initGlobals(); }

    void explore_data()
    {
        QTest::addColumn<int>("hw");
        QTest::addColumn<bool>("innerP");
        QTest::newRow("1x1 mid") << 0 << false;
        QTest::newRow("1x1 ip") << 0 << true;
        QTest::newRow("5x5 mid") << 2 << false;
        QTest::newRow("5x5 ip") << 2 << true;
    }
    void explore()
    {
        QFETCH(int, hw);
        QFETCH(bool, innerP);
        fe::Stack s;
        s.w = hw ? 100 : 60;
        s.h = hw ? 60 : 40;
        const SuggestElm sElm;
        const XafsSpectrum standard(s.standard(), "std", 1, 0, sElm);
        const CalibMath::Search p{20, 1, 0.1};
        const auto m = innerP ? CalibMath::Method::InnerProduct : CalibMath::Method::MidPoint;
        int iron = 0, kept = 0, bare = 0, falseShift = 0, oldFalse = 0;
        QVector<double> sigIron, sigBare, rIron, rBare;
        const int step = 2 * hw + 1;
        for (int cy = hw; cy + hw < s.h; cy += step)
            for (int cx = hw; cx + hw < s.w; cx += step) {
                const XafsSpectrum b(blockOf(s, cx, cy, hw), "b", 1, 0, sElm);
                const double sh = CalibMath::blockShift(b, standard, m, p);
                const CalibMath::BlockEdge e = CalibMath::edgeOf(b, standard, sh, m, p);
                const bool edge = CalibMath::hasEdge(e, 1.0);
                const bool old = !e.flagged && e.linesFitted && !e.searchAtLimit
                                 && e.jump > e.preResidual && e.jump > e.postResidual;
                if (!s.hasIron(cx, cy)) oldFalse += old;
                const double ratio = e.fit.residual > 0 ? e.fit.step / e.fit.residual : 0;
                if (s.hasIron(cx, cy) && !edge && hw)
                    qDebug() << (s.area(cx, cy) == fe::Area::Metal ? "metal" : "oxide") << cx << cy << "shift" << sh
                             << "truth" << s.shift(cx, cy) << "sig" << e.fit.significance() << "step" << e.fit.step
                             << "res" << e.fit.residual << "jump" << e.jump << e.preResidual << e.postResidual
                             << e.flagged << e.linesFitted << e.searchAtLimit << b.midx;
                if (s.hasIron(cx, cy)) {
                    ++iron;
                    kept += edge;
                    sigIron << e.fit.significance();
                    rIron << ratio;
                } else {
                    ++bare;
                    falseShift += edge;
                    sigBare << e.fit.significance();
                    rBare << ratio;
                }
            }
        std::sort(sigIron.begin(), sigIron.end());
        std::sort(sigBare.begin(), sigBare.end());
        std::sort(rIron.begin(), rIron.end());
        std::sort(rBare.begin(), rBare.end());
        qDebug() << "iron" << iron << "kept" << kept << "bare" << bare << "false" << falseShift << "old rule" << oldFalse;
        qDebug() << "sig iron min/5%" << sigIron.first() << sigIron[sigIron.size() / 20] << "bare max/99%"
                 << sigBare.last() << sigBare[sigBare.size() * 99 / 100];
        qDebug() << "ratio iron min/5%" << rIron.first() << rIron[rIron.size() / 20] << "bare max/99%"
                 << rBare.last() << rBare[rBare.size() * 99 / 100];
    }
};

QTEST_MAIN(TstCalibEdge)
#include "tst_calibedge.moc"
