#include "FFT.h"

#include "Spectrum.h"

#include <cmath>

FFT::~FFT()
{
    release();
}

void FFT::setSize(int n)
{
    if (n == size) return;
    release();
    // A plan for no points cannot be executed: stay empty instead.
    if (n <= 0) return;
    size = n;
    const size_t bytes = sizeof(fftw_complex) * size_t(n);
    forwardIn = static_cast<fftw_complex*>(fftw_malloc(bytes));
    forwardOut = static_cast<fftw_complex*>(fftw_malloc(bytes));
    backwardIn = static_cast<fftw_complex*>(fftw_malloc(bytes));
    backwardOut = static_cast<fftw_complex*>(fftw_malloc(bytes));
    magnitude = new double[n];
    forwardPlan = fftw_plan_dft_1d(n, forwardIn, forwardOut, FFTW_FORWARD, FFTW_ESTIMATE);
    backwardPlan = fftw_plan_dft_1d(n, backwardIn, backwardOut, FFTW_BACKWARD, FFTW_ESTIMATE);
}

void FFT::release()
{
    // Superseded plans would otherwise pile up with every change of length.
    if (forwardPlan) fftw_destroy_plan(forwardPlan);
    if (backwardPlan) fftw_destroy_plan(backwardPlan);
    forwardPlan = backwardPlan = nullptr;
    for (fftw_complex** a : {&forwardIn, &forwardOut, &backwardIn, &backwardOut}) {
        if (*a) fftw_free(*a);
        *a = nullptr;
    }
    delete[] magnitude;
    magnitude = nullptr;
    size = 0;
}

void FFT::forwardOfY(const Spectrum& s)
{
    forwardOfY(s.points);
}

void FFT::forwardOfY(const QVector<QPointF>& points)
{
    if (!forwardIn || !forwardPlan) return;
    const int m = points.size();
    for (int i = 0; i < size; ++i) {
        forwardIn[i][0] = i < m ? points.at(i).y() : 0.0;
        forwardIn[i][1] = 0.0;
    }
    fftw_execute(forwardPlan);
}

void FFT::forward(const double* values)
{
    if (!forwardIn || !forwardPlan) return;
    for (int i = 0; i < size; ++i) {
        forwardIn[i][0] = values[i];
        forwardIn[i][1] = 0.0;
    }
    fftw_execute(forwardPlan);
}

double* FFT::magnitudes()
{
    if (!forwardOut) return nullptr;
    for (int i = 0; i < size; ++i)
        magnitude[i] = std::sqrt(forwardOut[i][0] * forwardOut[i][0] + forwardOut[i][1] * forwardOut[i][1]);
    return magnitude;
}

void FFT::backward(const fftw_complex* values)
{
    if (!forwardIn || !backwardPlan) return;
    for (int i = 0; i < size; ++i) {
        backwardIn[i][0] = values[i][0];
        backwardIn[i][1] = values[i][1];
    }
    fftw_execute(backwardPlan);
}
