#include "BlockFourier.h"

#include "core/AnalyzeCond.h"
#include "core/FFT.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "mainwindow/Body.h"

#include <QDebug>
#include <QElapsedTimer>

#include <cmath>
#include <vector>

double FourierBinRes::similarity() const
{
    const double d = std::sqrt(std::fabs(saa * sbb));
    return d > 0 ? sab / d : 0.0;
}

QVector<FourierBinRes> fourierBins(const AnalyzeCond& grid, const TiffData& first,
                                   const QVector<TiffData*>& stack, int imageWidth,
                                   int imageHeight, FFT& fft,
                                   const std::function<bool(double)>& progress)
{
    const int n = stack.size();
    if (n < 1) return {};
    fft.setSize(n);
    if (fft.size != n) return {};
    QVector<FourierBinRes> res(n);

    AnalyzeCond ac = grid;
    const int perRow = ac.blocksPerRow();
    const qint64 total = ac.blockCount();
    // One block row at a time, image by image: each frame is read along its
    // rows instead of jumping through every frame for every block.
    std::vector<int> xs;
    xs.reserve(size_t(perRow));
    std::vector<double> series;
    qint64 done = 0;
    QElapsedTimer sinceReport;
    sinceReport.start();
    bool more = true;
    while (more) {
        xs.clear();
        const int y = ac.curY;
        do {
            xs.push_back(ac.curX);
            more = ac.next();
        } while (more && !ac.rowStart);

        const size_t m = xs.size();
        series.assign(m * size_t(n), 0.0);
        const bool rowInside = y >= 0 && y < imageHeight;
        for (int i = 0; i < n && rowInside; ++i) {
            const TiffData* img = stack[i];
            for (size_t b = 0; b < m; ++b)
                if (xs[b] >= 0 && xs[b] < imageWidth)
                    series[b * size_t(n) + size_t(i)] = img->sumBox(xs[b], y, ac.xw, ac.yw);
        }
        for (size_t b = 0; b < m; ++b) {
            const double a = first.sumBox(xs[b], y, ac.xw, ac.yw);
            fft.forward(series.data() + b * size_t(n));
            const double* mag = fft.magnitudes();
            for (int k = 0; k < n; ++k) {
                const double v = mag[k];
                FourierBinRes& r = res[k];
                r.saa += a * a;
                r.sbb += v * v;
                r.sab += a * v;
            }
        }
        done += qint64(m);
        if (progress && (sinceReport.elapsed() >= 100 || !more)) {
            sinceReport.restart();
            if (!progress(total > 0 ? 100.0 * double(done) / double(total) : 100.0)) return {};
        }
    }
    return res;
}

void execFourierA(Body& body, const std::function<bool(double)>& progress)
{
    const int n = body.i1Images.size();
    if (n < 1) return;
    logWithTime(QStringLiteral("2da FA 1:"));
    AnalyzeCond ac;
    if (!body.fillAnalyzeCond(ac)) return;
    const QVector<FourierBinRes> res = fourierBins(ac, *body.i1Images[0], body.i1Images,
                                                   body.imageWidth, body.imageHeight, body.fft,
                                                   progress);
    for (int k = 0; k < res.size(); ++k) {
        const FourierBinRes& r = res[k];
        qDebug() << "Res" << k << r.saa << r.sbb << r.sab << r.similarity();
    }
}
