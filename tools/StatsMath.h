#ifndef STATSMATH_H
#define STATSMATH_H

#include <QRect>
#include <QString>
#include <QVector>

class AnalyzeCond;
class Analyzed2DRes;

// The arithmetic of the statistics window: block samples of a map, their
// statistics, a histogram of them and the statistics of a range of bins.
// Values that are not finite (failed fits leave NaN in maps) have no place on
// the value axis and are left out of every count and sum.
namespace StatsMath {

struct Summary
{
    int n = 0;  // finite samples
    double min = 0, max = 0, mean = 0, variance = 0, sigma = 0;
};

struct Histogram
{
    int bins = 0;
    double min = 0;
    double binWidth = 0;  // (max - min) / bins; 0 when every sample is equal
    QVector<int> counts;
    int maxCount = 0;
};

struct Range
{
    int n = 0;
    double low = 0, high = 0, mean = 0, variance = 0, sigma = 0;
};

// The map's value at the centre of every block of grid, walked from its
// current block; 0 where the centre lies outside the map.
QVector<double> blockSamples(const Analyzed2DRes& map, AnalyzeCond grid);

// The blocks of grid (x - xw, y - yw, 2 xw, 2 yw around each centre) whose
// centre value lies in [low, high]; 0 where the centre lies outside the map.
QVector<QRect> blocksInRange(const Analyzed2DRes& map, AnalyzeCond grid, double low, double high);

// Count, range, mean and population variance / sigma of the finite samples;
// all 0 when there is none.
Summary summarize(const QVector<double>& samples);

// The number of bins the Bins field asks for: 100 unless it is a positive integer.
int binsOf(const QString& text);

// More bins than a histogram can draw, or than there are samples (when
// samples >= 0; 100 bins are always allowed), only cost memory and time.
constexpr int maxBins = 10000;
int cappedBins(int bins, int samples);

// Bin of v in bins of binWidth from min, clamped into 0 .. bins - 1; 0 when
// binWidth is not positive or v is not a number.
int binOf(double v, double min, double binWidth, int bins);

// Empty histogram of bins bins over [min, max] with maxCount 1.
Histogram emptyHistogram(int bins, double min, double max);
// Counts the finite samples into h and sets its maxCount (0 when empty).
void fill(Histogram& h, const QVector<double>& samples);

// Brings the range markers inside [min, max] after a new calculation.
void clampMarkers(double& low, double& high, double min, double max);

// Statistics of the bins whose lower edge lies in [low, high], each bin
// counted at its lower edge.
Range rangeOf(const Histogram& h, double low, double high);

}  // namespace StatsMath

#endif
