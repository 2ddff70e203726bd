#include "core/FFT.h"
#include "core/Spectrum.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <complex>

namespace {

const double Pi = 3.14159265358979323846;

// Direct O(n^2) transform, FFTW's sign convention and no normalisation.
QVector<std::complex<double>> naiveDft(const QVector<double>& in, int sign)
{
    const int n = in.size();
    QVector<std::complex<double>> out(n);
    for (int k = 0; k < n; ++k) {
        std::complex<double> s = 0;
        for (int j = 0; j < n; ++j) s += in[j] * std::polar(1.0, sign * 2 * Pi * double(j) * k / n);
        out[k] = s;
    }
    return out;
}

Spectrum spectrumOf(const QVector<double>& ys)
{
    Spectrum s;
    for (int i = 0; i < ys.size(); ++i) s.append(8000 + i, ys[i]);
    return s;
}

}  // namespace

class TestFFT : public QObject
{
    Q_OBJECT

private slots:
    void againstDirectTransform();
    void padAndCut();
    void nonPositiveSizeEmpties();
    void backwardInvertsForward();
};

void TestFFT::againstDirectTransform()
{
    QRandomGenerator rng(106);
    FFT f;
    for (int n : {1, 2, 3, 7, 12, 31, 100}) {
        QVector<double> y(n);
        for (double& v : y) v = rng.generateDouble() * 2 - 1;
        f.setSize(n);
        f.forward(y.constData());
        const auto want = naiveDft(y, -1);
        const double* m = f.magnitudes();
        for (int k = 0; k < n; ++k) {
            QVERIFY(std::abs(f.forwardOut[k][0] - want[k].real()) < 1e-9);
            QVERIFY(std::abs(f.forwardOut[k][1] - want[k].imag()) < 1e-9);
            QVERIFY(std::abs(m[k] - std::abs(want[k])) < 1e-9);
        }
    }
}

void TestFFT::padAndCut()
{
    FFT f;
    f.setSize(8);
    const QVector<double> shortY{1, -2, 3};
    f.forwardOfY(spectrumOf(shortY));
    const auto padded = naiveDft({1, -2, 3, 0, 0, 0, 0, 0}, -1);
    for (int k = 0; k < 8; ++k) QVERIFY(std::abs(f.magnitudes()[k] - std::abs(padded[k])) < 1e-12);

    QVector<double> longY(20);
    for (int i = 0; i < 20; ++i) longY[i] = i * i;
    f.forwardOfY(spectrumOf(longY).points);
    const auto cut = naiveDft(longY.mid(0, 8), -1);
    for (int k = 0; k < 8; ++k) QVERIFY(std::abs(f.magnitudes()[k] - std::abs(cut[k])) < 1e-9);
}

void TestFFT::nonPositiveSizeEmpties()
{
    FFT f;
    f.setSize(8);
    for (int n : {0, -4}) {
        f.setSize(n);
        QCOMPARE(f.size, 0);
        QVERIFY(f.forwardIn == nullptr && f.forwardOut == nullptr);
        QVERIFY(f.backwardIn == nullptr && f.backwardOut == nullptr);
        QVERIFY(f.forwardPlan == nullptr && f.backwardPlan == nullptr);
        f.forwardOfY(spectrumOf({1, 2}));
        QVERIFY(f.magnitudes() == nullptr);
        f.setSize(8);
        QCOMPARE(f.size, 8);
    }
    f.release();
    QVERIFY(f.magnitude == nullptr);
    f.release();
}

void TestFFT::backwardInvertsForward()
{
    QRandomGenerator rng(3);
    const int n = 24;
    FFT f;
    f.setSize(n);
    QVector<double> y(n);
    for (double& v : y) v = rng.generateDouble();
    f.forward(y.constData());
    f.backward(f.forwardOut);
    for (int i = 0; i < n; ++i) {
        QVERIFY(std::abs(f.backwardOut[i][0] - n * y[i]) < 1e-10);
        QVERIFY(std::abs(f.backwardOut[i][1]) < 1e-10);
    }
}

QTEST_GUILESS_MAIN(TestFFT)
#include "tst_fft.moc"
