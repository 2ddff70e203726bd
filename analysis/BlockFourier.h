#ifndef BLOCKFOURIER_H
#define BLOCKFOURIER_H

#include <QVector>

#include <functional>

class AnalyzeCond;
class Body;
class FFT;
class TiffData;

// How closely the magnitude of one Fourier bin of the blocks' raw intensity
// series follows the blocks' intensity in the first image, over a grid.
struct FourierBinRes
{
    double saa = 0, sbb = 0, sab = 0;
    // Sab / sqrt(|Saa Sbb|); 0 when either sum is 0 rather than NaN.
    double similarity() const;
};

// Walks a copy of grid once: a = first.sumBox of every block, b = magnitude
// of each bin of the size-n transform (n = stack size) of the block's box
// sums through the stack; a block whose centre lies outside the
// imageWidth x imageHeight image has an all-zero series. One entry per bin;
// empty when the stack is. progress gets the share done in per cent now and
// then; returning false from it stops the walk and empties the result.
QVector<FourierBinRes> fourierBins(const AnalyzeCond& grid, const TiffData& first,
                                   const QVector<TiffData*>& stack, int imageWidth,
                                   int imageHeight, FFT& fft,
                                   const std::function<bool(double)>& progress = {});

// The main window's ExecFourierA: one debug line "Res" per bin over the
// current view's grid. progress as for fourierBins.
void execFourierA(Body& body, const std::function<bool(double)>& progress = {});

#endif
