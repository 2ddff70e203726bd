#ifndef BLOCKFOURIER_H
#define BLOCKFOURIER_H

#include <functional>

class AnalyzeCond;
class Body;
class FFT;
class Spectrum;
class TiffData;

// How closely the magnitude of one Fourier bin of the blocks' raw intensity
// series follows the blocks' intensity in the first image, over a grid.
struct FourierBinRes
{
    double saa = 0, sbb = 0, sab = 0;
    // Sab / sqrt(|Saa Sbb|); 0 when either sum is 0 rather than NaN.
    double similarity() const;
};

// Walks a copy of grid: a = first.sumBox of every block, b = magnitude of
// bin k of the size-n transform of raw(block). Zeros when the transform
// cannot be sized or k is out of range.
FourierBinRes fourierBin(const AnalyzeCond& grid, const TiffData& first,
                         const std::function<Spectrum(int, int, int, int)>& raw, FFT& fft, int n,
                         int k);

// The main window's ExecFourierA: one debug line "Res" per bin over the
// current view's grid.
void execFourierA(Body& body);

#endif
