#ifndef STATS_H
#define STATS_H

#include "StatsMath.h"
#include "ui_Stats.h"

#include "core/AnalyzeCond.h"
#include "widgets/DrawText.h"

#include <QFrame>
#include <QPen>
#include <QPointer>
#include <QVector>

class Analyzed2DRes;
class ChCoord;
class MouseC;
class QPainter;

// Statistics of a result map sampled once per block of a grid, with their
// histogram. Two markers dragged over the histogram pick a range of values,
// whose statistics are shown and handed on through rangeSelected(). The
// owner passes the map and grid to calc() and the image-view cursor to
// pointedAt(); the window needs nothing else of it.
class Stats : public QFrame, public Ui_Stats
{
    Q_OBJECT

public:
    explicit Stats(QWidget* parent = nullptr);
    ~Stats() override;

    // map is not owned; when it is deleted the window lets go of it.
    void calc(Analyzed2DRes* map, const AnalyzeCond& grid);
    // calc only when the map, its block values, the grid or the bin count
    // differ from the last calc; whether it ran.
    bool calcIfChanged(Analyzed2DRes* map, const AnalyzeCond& grid);
    // samples < 0: not known yet.
    void initHistogram(double min, double max, int samples = -1);
    void updateRange();

    ChCoord* coord = nullptr;
    MouseC* mouse = nullptr;
    QPen pen;
    QPointer<Analyzed2DRes> map;
    AnalyzeCond cond;
    double pointedValue = 0;
    int bins = 0;
    double binWidth = 0;
    QVector<int> counts;
    int maxCount = 0;
    int n = 0;
    double min = 0, max = 0, mean = 0, variance = 0, sigma = 0;
    double low = 1e300, high = -1e300;
    double* grabbed = nullptr;
    int rangeN = 0;
    double rangeLow = 0, rangeHigh = 0;
    double rangeMean = 0, rangeVariance = 0, rangeSigma = 0;

signals:
    void rangeSelected();

public slots:
    void draw(QPainter* p);
    void mouseMoved();
    void mousePressed();
    void mouseReleased();
    void toggledShowOverImage(bool f);
    void pointedAt(double rx, double ry);
    // Capped at StatsMath::maxBins.
    void setBins(int bins);
    void setOverImage(bool f);
    void setCalcInSelectedRegion(bool f);

private:
    StatsMath::Histogram histogram() const;
    void vLine(QPainter* p, double x, double y0, double y1);

    DrawText textFitter;
    QVector<double> lastSamples;
    int lastBins = -1;
};

#endif
