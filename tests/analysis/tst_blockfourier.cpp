// Fourier analysis of blocks: the sums of every bin, gathered in one walk,
// against a direct discrete transform of each block's box sums.

#include "analysis/BlockFourier.h"
#include "core/AnalyzeCond.h"
#include "core/FFT.h"
#include "core/TiffData.h"
#include "support/Frames.h"

#include <QtTest>

#include <cmath>

namespace {

const int W = 7, H = 5, N = 13;

double pixel(int k, int c, int r)
{
    return 1000.0 + 37.0 * c - 11.0 * r + 90.0 * std::sin(0.7 * k + 0.3 * c * r) + 5.0 * k * (c % 3);
}

// Pixels outside the image count 0, as in a box sum.
double boxSum(int k, int x, int y, int xw, int yw)
{
    double s = 0;
    for (int r = y - yw; r <= y + yw; ++r)
        for (int c = x - xw; c <= x + xw; ++c)
            if (c >= 0 && c < W && r >= 0 && r < H) s += double(float(pixel(k, c, r)));
    return s;
}

// The frames of N energies, stored as float.
void fill(ts::Stack& s)
{
    for (int k = 0; k < N; ++k) s.add(ts::floatFrame(W, H, [k](int c, int r) { return pixel(k, c, r); }, 9000 + k));
}

}  // namespace

class TestBlockFourier : public QObject
{
    Q_OBJECT

private slots:
    void everyBinAgainstDirectTransform_data()
    {
        QTest::addColumn<int>("xw");
        QTest::addColumn<int>("yw");
        QTest::addColumn<QRectF>("area");
        QTest::newRow("pixels") << 0 << 0 << QRectF(0, 0, W, H);
        QTest::newRow("3x3 blocks, edges cut") << 1 << 1 << QRectF(0, 0, W, H);
        QTest::newRow("5x1 blocks, part of the view") << 2 << 0 << QRectF(1, 1, 5, 3);
        // Centres past the image: their series is all zeros.
        QTest::newRow("view wider than the image") << 0 << 1 << QRectF(-2, 0, W + 3, H + 2);
    }
    void everyBinAgainstDirectTransform()
    {
        QFETCH(int, xw);
        QFETCH(int, yw);
        QFETCH(QRectF, area);
        ts::Stack s;
        fill(s);
        AnalyzeCond grid;
        grid.set(W, H, xw, yw, area, -1, -1);

        QVector<double> saa(N), sbb(N), sab(N);
        AnalyzeCond ac = grid;
        do {
            const bool inside = ac.curX >= 0 && ac.curX < W && ac.curY >= 0 && ac.curY < H;
            const double a = boxSum(0, ac.curX, ac.curY, ac.xw, ac.yw);
            for (int k = 0; k < N; ++k) {
                double re = 0, im = 0;
                for (int j = 0; j < N && inside; ++j) {
                    const double v = boxSum(j, ac.curX, ac.curY, ac.xw, ac.yw);
                    re += v * std::cos(2 * M_PI * j * k / N);
                    im -= v * std::sin(2 * M_PI * j * k / N);
                }
                const double m = std::hypot(re, im);
                saa[k] += a * a;
                sbb[k] += m * m;
                sab[k] += a * m;
            }
        } while (ac.next());

        FFT fft;
        QVector<double> seen;
        const QVector<FourierBinRes> got = fourierBins(grid, *s[0], s.frames, W, H, fft, [&seen](double p) {
            seen.append(p);
            return true;
        });
        QCOMPARE(got.size(), N);
        for (int k = 0; k < N; ++k) {
            QVERIFY2(std::abs(got[k].saa - saa[k]) <= 1e-12 * saa[k], qPrintable(QString::number(k)));
            QVERIFY2(std::abs(got[k].sbb - sbb[k]) <= 1e-9 * sbb[k], qPrintable(QString::number(k)));
            QVERIFY2(std::abs(got[k].sab - sab[k]) <= 1e-9 * std::abs(sab[k]) + 1e-9, qPrintable(QString::number(k)));
            const double sim = saa[k] * sbb[k] > 0 ? sab[k] / std::sqrt(saa[k] * sbb[k]) : 0.0;
            QVERIFY(std::abs(got[k].similarity() - sim) < 1e-9);
        }
        // The walk ends with the whole grid reported done.
        QCOMPARE(seen.value(seen.size() - 1), 100.0);
    }

    void stoppedOrEmptyGivesNothing()
    {
        ts::Stack s;
        fill(s);
        AnalyzeCond grid;
        grid.set(W, H, 0, 0, QRectF(0, 0, W, H), -1, -1);
        FFT fft;
        QVERIFY(fourierBins(grid, *s[0], s.frames, W, H, fft, [](double) { return false; }).isEmpty());
        QVERIFY(fourierBins(grid, *s[0], {}, W, H, fft).isEmpty());
        // No image size known yet: every series is empty, the sums stay finite.
        const QVector<FourierBinRes> none = fourierBins(grid, *s[0], s.frames, -1, -1, fft);
        QCOMPARE(none.size(), N);
        for (const FourierBinRes& r : none) QCOMPARE(r.similarity(), 0.0);
    }
};

QTEST_MAIN(TestBlockFourier)
#include "tst_blockfourier.moc"
