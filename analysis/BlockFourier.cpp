#include "BlockFourier.h"

#include "core/AnalyzeCond.h"
#include "core/FFT.h"
#include "core/Globals.h"
#include "core/Spectrum.h"
#include "core/TiffData.h"
#include "mainwindow/Body.h"

#include <QDebug>

#include <cmath>

double FourierBinRes::similarity() const
{
    const double d = std::sqrt(std::fabs(saa * sbb));
    return d > 0 ? sab / d : 0.0;
}

FourierBinRes fourierBin(const AnalyzeCond& grid, const TiffData& first,
                         const std::function<Spectrum(int, int, int, int)>& raw, FFT& fft, int n,
                         int k)
{
    FourierBinRes res;
    if (n < 1 || k < 0 || k >= n) return res;
    fft.setSize(n);
    if (fft.size != n) return res;
    AnalyzeCond ac = grid;
    do {
        const double a = first.sumBox(ac.curX, ac.curY, ac.xw, ac.yw);
        fft.forwardOfY(raw(ac.curX, ac.curY, ac.xw, ac.yw));
        const double* mag = fft.magnitudes();
        const double b = mag ? mag[k] : 0.0;
        res.saa += a * a;
        res.sbb += b * b;
        res.sab += a * b;
    } while (ac.next());
    return res;
}

void execFourierA(Body& body)
{
    const int n = body.i1Images.size();
    if (n < 1) return;
    logWithTime(QStringLiteral("2da FA 1:"));
    Body* b = &body;
    const auto raw = [b](int x, int y, int dx, int dy) { return b->makeRawSpectrum(x, y, dx, dy); };
    for (int k = 0; k < n; ++k) {
        AnalyzeCond ac;
        if (!body.fillAnalyzeCond(ac)) continue;
        const FourierBinRes r = fourierBin(ac, *body.i1Images[0], raw, body.fft, n, k);
        qDebug() << "Res" << k << r.saa << r.sbb << r.sab << r.similarity();
    }
}
