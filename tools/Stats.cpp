#include "Stats.h"

#include "core/Analyzed2DRes.h"
#include "widgets/ChCoord.h"
#include "widgets/DispA.h"
#include "widgets/FieldWidth.h"
#include "widgets/MouseC.h"

#include <QDebug>
#include <QPainter>

#include <algorithm>
#include <cmath>

Stats::Stats(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
    showNumberStarts(this);
    coord = &DA->coord;
    mouse = &DA->mouse;
    // Room under the plot for the rotated tick values.
    coord->marginY0 = 0.2;
    pen.setDashPattern({8.0, 2.0});
    initHistogram(0.0, 1.0);
    low = 1e300;
    high = -1e300;

    connect(DA, &DispA::drawImage2, this, &Stats::draw);
    connect(DA, &DispA::mouseMoved0, this, &Stats::mouseMoved);
    connect(DA, &DispA::mousePressed0, this, &Stats::mousePressed);
    connect(DA, &DispA::mouseReleased0, this, &Stats::mouseReleased);
    connect(ShowOverImage, &QCheckBox::toggled, this, &Stats::toggledShowOverImage);
    connect(ShowStatsInSelectedArea, &QCheckBox::toggled, DA, QOverload<>::of(&QWidget::update));
}

Stats::~Stats() = default;

void Stats::initHistogram(double min, double max, int samples)
{
    const int asked = StatsMath::binsOf(Bins->text());
    const int b = StatsMath::cappedBins(asked, samples);
    if (b != asked) qDebug() << "Statistics:" << asked << "bins asked," << b << "used";
    const StatsMath::Histogram h = StatsMath::emptyHistogram(b, min, max);
    bins = h.bins;
    binWidth = h.binWidth;
    counts = h.counts;
    maxCount = h.maxCount;
}

StatsMath::Histogram Stats::histogram() const
{
    StatsMath::Histogram h;
    h.bins = bins;
    h.min = min;
    h.binWidth = binWidth;
    h.counts = counts;
    h.maxCount = maxCount;
    return h;
}

bool Stats::calcIfChanged(Analyzed2DRes* map, const AnalyzeCond& grid)
{
    if (!map) return false;
    const QVector<double> samples = StatsMath::blockSamples(*map, grid);
    const bool same = map == this->map && samples.size() == lastSamples.size()
                      && std::equal(samples.begin(), samples.end(), lastSamples.begin(),
                                    [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); })
                      && StatsMath::binsOf(Bins->text()) == lastBins;
    if (same) return false;
    calc(map, grid);
    return true;
}

void Stats::calc(Analyzed2DRes* map, const AnalyzeCond& grid)
{
    if (!map) return;
    this->map = map;
    cond = grid;

    const QVector<double> samples = StatsMath::blockSamples(*map, cond);
    lastSamples = samples;
    lastBins = StatsMath::binsOf(Bins->text());
    const StatsMath::Summary s = StatsMath::summarize(samples);
    n = s.n;
    min = s.min;
    max = s.max;
    mean = s.mean;
    variance = s.variance;
    sigma = s.sigma;

    initHistogram(min, max, samples.size());
    StatsMath::clampMarkers(low, high, min, max);
    StatsMath::Histogram h = histogram();
    StatsMath::fill(h, samples);
    counts = h.counts;
    maxCount = h.maxCount;
    updateRange();
}

void Stats::updateRange()
{
    const StatsMath::Range r = StatsMath::rangeOf(histogram(), low, high);
    rangeN = r.n;
    rangeLow = r.low;
    rangeHigh = r.high;
    rangeMean = r.mean;
    rangeVariance = r.variance;
    rangeSigma = r.sigma;
    emit rangeSelected();
    DA->update();
}

void Stats::mousePressed()
{
    const double mx = mouse->currentPos.x();
    if (std::fabs(coord->r2sx(low) - mx) < 20) grabbed = &low;
    if (std::fabs(coord->r2sx(high) - mx) < 20) grabbed = &high;
}

void Stats::mouseMoved()
{
    if (!grabbed) return;
    *grabbed = coord->s2rx(mouse->currentPos.x());
    updateRange();
}

void Stats::mouseReleased()
{
    const bool wasDragging = grabbed != nullptr;
    grabbed = nullptr;
    if (low > high) {
        std::swap(low, high);
        // The range handed on was taken with the markers crossed, when no
        // bin lies inside it; the swapped markers have one to hand on.
        if (wasDragging) updateRange();
    }
}

void Stats::toggledShowOverImage(bool)
{
    emit rangeSelected();
}

void Stats::pointedAt(double rx, double ry)
{
    if (!map) return;
    // Checked in doubles: truncating a far-off position to int is undefined.
    const bool in = rx > -1 && ry > -1 && rx < map->width() && ry < map->height();
    pointedValue = in ? map->valueAt(int(std::trunc(rx)), int(std::trunc(ry))) : 0.0;
    DA->update();
}

void Stats::setBins(int bins)
{
    if (bins > StatsMath::maxBins) {
        qDebug() << "Statistics:" << bins << "bins asked, at most" << StatsMath::maxBins << "used";
        bins = StatsMath::maxBins;
    }
    Bins->setText(QString::number(bins));
}

void Stats::setOverImage(bool f)
{
    ShowOverImage->setChecked(f);
}

void Stats::setCalcInSelectedRegion(bool f)
{
    ShowStatsInSelectedArea->setChecked(f);
}

void Stats::vLine(QPainter* p, double x, double y0, double y1)
{
    const int sx = ChCoord::pix(coord->r2sx(x));
    p->drawLine(sx, ChCoord::pix(coord->r2sy(y0)), sx, ChCoord::pix(coord->r2sy(y1)));
}

void Stats::draw(QPainter* p)
{
    coord->calcPlotArea();
    coord->setRealCoord(min, 0, max, maxCount);
    const double dw = binWidth > 0 ? binWidth : 1.0;
    const double top = maxCount;

    QPen line(Qt::black);
    line.setWidth(3);
    p->setPen(line);
    for (int i = 0; i < bins; i++) vLine(p, min + (i + 0.5) * dw, 0, counts[i]);

    line.setWidth(1);
    p->setPen(line);
    const int tickStep = std::max(bins / 10, 1);
    const int py0 = ChCoord::pix(coord->plotY0);
    const double labelLength = std::max(coord->screenY0 - coord->plotY0 - 12, 1.0);
    const double labelThickness = std::max((coord->plotX1 - coord->plotX0) / 12, 1.0);
    for (int i = 0; i <= bins; i += tickStep) {
        const double x = min + i * dw;
        const int sx = ChCoord::pix(coord->r2sx(x));
        p->drawLine(sx, py0, sx, py0 + 10);
        textFitter.putRotatedText(p, 90, QRectF(sx, py0 + 11 + labelLength / 2, labelLength, labelThickness),
                                  font(), Qt::AlignRight | Qt::AlignVCenter, 1,
                                  QString::number(x, 'g', 4), 10, false, QColor());
    }

    p->setPen(QPen(Qt::red));
    vLine(p, mean, 0, top);
    p->setPen(QPen(QColor(200, 200, 0)));
    vLine(p, mean - sigma, 0, top);
    vLine(p, mean + sigma, 0, top);
    Num->setText(QString::number(n));
    Mean->setText(QString::number(mean, 'g', 6));
    Sigma->setText(QString::number(sigma, 'g', 6));

    if (ShowStatsInSelectedArea->isChecked()) {
        QPen dashed = pen;
        dashed.setColor(Qt::red);
        p->setPen(dashed);
        vLine(p, rangeMean, 0, top);
        dashed.setColor(QColor(200, 200, 0));
        p->setPen(dashed);
        vLine(p, rangeMean - rangeSigma, 0, top);
        vLine(p, rangeMean + rangeSigma, 0, top);
    }
    SelMean->setText(QString::number(rangeMean, 'g', 6));
    SelSigma->setText(QString::number(rangeSigma, 'g', 6));

    const int mx = mouse->currentPos.x();
    p->setPen(QPen(QColor(0, 200, 200)));
    p->drawLine(mx, ChCoord::pix(coord->plotY0), mx, ChCoord::pix(coord->plotY1));
    const double rx = coord->s2rx(mx);
    X->setText(QString::number(rx, 'g', 6));
    if (bins > 0 && maxCount >= 1) {
        const int b = StatsMath::binOf(rx, min, binWidth, bins);
        Val->setText(QString::number(double(counts[b]) / maxCount, 'g', 4));
    } else {
        Val->setText(QStringLiteral("0"));
    }

    p->setPen(QPen(Qt::blue));
    vLine(p, low, 0, top);
    vLine(p, high, 0, top);
    SelMin->setText(QString::number(low, 'g', 6));
    SelMax->setText(QString::number(high, 'g', 6));

    if (bins > 0) {
        const int b = StatsMath::binOf(pointedValue, min, binWidth, bins);
        QPen green(QColor(0, 200, 0));
        green.setWidth(5);
        p->setPen(green);
        vLine(p, min + (b + 0.5) * dw, 0, counts[b]);
    }
}
