#include "core/FFT.h"
#include "core/Spectrum.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <complex>

class TestFFT : public QObject
{
    Q_OBJECT

private slots:
    // Against the direct O(n^2) sum (FFTW's sign, no normalisation): the
    // spectrum's values padded with zeros or cut to the transform size.
    void againstDirectTransform_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("length");
        for (int n : {1, 2, 3, 7, 12, 31, 100})
            QTest::addRow("size %d", n) << n << n;
        QTest::newRow("padded") << 8 << 3;
        QTest::newRow("cut") << 8 << 20;
    }
    void againstDirectTransform()
    {
        QFETCH(int, size);
        QFETCH(int, length);
        QRandomGenerator rng(106);
        Spectrum s;
        QVector<double> y(size, 0.0);
        for (int i = 0; i < length; ++i) {
            s.append(8000 + i, rng.generateDouble() * 2 - 1);
            if (i < size) y[i] = s.yAt(i);
        }
        FFT f;
        f.setSize(size);
        f.forwardOfY(s);
        const double* m = f.magnitudes();
        for (int k = 0; k < size; ++k) {
            std::complex<double> want = 0;
            for (int j = 0; j < size; ++j) want += y[j] * std::polar(1.0, -2 * M_PI * double(j) * k / size);
            QVERIFY(std::abs(f.forwardOut[k][0] - want.real()) < 1e-9);
            QVERIFY(std::abs(f.forwardOut[k][1] - want.imag()) < 1e-9);
            QVERIFY(std::abs(m[k] - std::abs(want)) < 1e-9);
        }
        // The backward transform of the forward one: size times the input.
        f.backward(f.forwardOut);
        for (int i = 0; i < size; ++i) {
            QVERIFY(std::abs(f.backwardOut[i][0] - size * y[i]) < 1e-10);
            QVERIFY(std::abs(f.backwardOut[i][1]) < 1e-10);
        }
        // Plain values give the same transform.
        const QVector<double> before(m, m + size);
        f.forward(y.constData());
        for (int k = 0; k < size; ++k) QCOMPARE(f.magnitudes()[k], before[k]);
    }

    void nonPositiveSizeEmpties()
    {
        FFT f;
        Spectrum two;
        two.append(1, 1);
        two.append(2, 2);
        for (int n : {0, -4}) {
            f.setSize(8);
            f.setSize(n);
            QCOMPARE(f.size, 0);
            QVERIFY(f.forwardIn == nullptr && f.forwardOut == nullptr);
            QVERIFY(f.backwardIn == nullptr && f.backwardOut == nullptr);
            QVERIFY(f.forwardPlan == nullptr && f.backwardPlan == nullptr);
            f.forwardOfY(two);
            QVERIFY(f.magnitudes() == nullptr);
        }
        f.release();
        QVERIFY(f.magnitude == nullptr);
        f.release();
    }
};

QTEST_GUILESS_MAIN(TestFFT)
#include "tst_fft.moc"
