#ifndef FFT_H
#define FFT_H

#include <QPointF>
#include <QVector>

#include <fftw3.h>

class Spectrum;

// One-dimensional unnormalised complex transforms of length size. Buffers and
// plans are kept while the length stays the same; transforms before a
// successful setSize do nothing.
class FFT
{
public:
    FFT() = default;
    ~FFT();
    FFT(const FFT&) = delete;
    FFT& operator=(const FFT&) = delete;

    qint32 size = 0;
    fftw_complex* forwardIn = nullptr;
    fftw_complex* forwardOut = nullptr;
    fftw_complex* backwardIn = nullptr;
    fftw_complex* backwardOut = nullptr;
    fftw_plan forwardPlan = nullptr;
    fftw_plan backwardPlan = nullptr;
    double* magnitude = nullptr;

    // n <= 0 leaves the object empty.
    void setSize(int n);
    void release();

    // y values as real input, zero-padded or cut to size.
    void forwardOfY(const Spectrum& s);
    void forwardOfY(const QVector<QPointF>& points);
    // size real values.
    void forward(const double* values);
    // |forwardOut| per bin, owned here until the next setSize or release;
    // null when empty.
    double* magnitudes();
    // size complex values; the result stays in backwardOut.
    void backward(const fftw_complex* values);
};

#endif
