#ifndef DARKCHECK_H
#define DARKCHECK_H

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

class ErrPoints;
class TiffData;

// The detector's dark check over an I1 stack: a histogram of every pixel
// value, the pixels that stay above a threshold in every image, and their
// comparison with a bad-pixel list. Frames are read through their shifted
// pixel access, so a pixel outside a frame's stored area reads 0 there.
namespace DarkCheck {

extern const char* const histogramFile;        // "dark-hg-all.dat"
extern const char* const pointsFile;           // "dark-allDarkPoints.dat"
extern const char* const pointNumsFile;        // "dark-allDarkPointNums.dat"
extern const char* const onlyInPointsFile;     // "dark-allDarkPoints-onlyInPs1.dat"
extern const char* const onlyInErrPointsFile;  // "dark-allDarkPoints-onlyInErrPs.dat"

// A histogram this wide would not fit in memory; such a bin count is refused.
constexpr int maxBins = 1 << 24;

struct DarkPoint
{
    int x = 0;  // column of the first image
    int y = 0;  // row
    double value = 0;  // sum of the pixel over the images seen so far
};

struct Histogram
{
    double min = 0;
    double max = 0;
    QVector<qint64> counts;  // bins + 1 counters, the last one from max upwards
};

struct DarkPoints
{
    int width = 0;  // of the first image
    int height = 0;
    QVector<DarkPoint> points;  // in scan order of the first image
    QVector<int> left;  // candidates left after each image
};

// Whether the stack can be checked: at least one image and no missing frame.
// Writes a debug line when not, and one when the images differ in size.
bool stackUsable(const QVector<TiffData*>& images);
// Whether bins lies in 0 .. maxBins (debug line when not).
bool binsUsable(int bins);

// Counter of v among bins + 1 counters over [min, max]: counter i holds
// [min + i w, min + (i + 1) w) with w = (max - min) / bins, the last one
// every value from max upwards. Values below min, values that are not a
// number and everything below max of a range with max <= min go to counter 0.
int histogramIndex(double v, double min, double max, int bins);

// Every pixel of every image, each image over its own size. bins must be usable.
Histogram histogram(const QVector<TiffData*>& images, double max, int bins);

// The pixels above th in the first image whose value stays above th in every
// later one, with the count left after each image.
DarkPoints findDarkPoints(const QVector<TiffData*>& images, double th);

// File contents.
QByteArray histogramText(const Histogram& h);
QByteArray pointsText(const DarkPoints& d);
QByteArray pointNumsText(const DarkPoints& d);
// Dark points whose pixel is not in the bad-pixel list, in their order.
QByteArray onlyInPointsText(const DarkPoints& d, const ErrPoints& errPs);
// Listed bad pixels that are no dark point, in the list's order.
QByteArray onlyInErrPointsText(const DarkPoints& d, const ErrPoints& errPs);

// Writes every (name, contents) pair into dir, each file created or
// replaced. All files are prepared beside their targets first and replace
// them only when every one of them was written, so a failure leaves all
// targets as they were. Writes a debug line naming the file and the reason
// on failure; why then receives both.
bool writeFiles(const QString& dir, const QVector<QPair<QString, QByteArray>>& files, QString* why = nullptr);

// The whole check into dir: the histogram file always, the four point files
// only when a dark point is left (earlier point files stay otherwise), all
// in one writeFiles. Unusable input writes nothing; returns false then and
// when the files could not be written, with the reason in why. written
// receives the paths of the files written.
bool run(const QVector<TiffData*>& images, const ErrPoints& errPs, double th, double histgMax,
         int bins, const QString& dir, QStringList* written = nullptr, QString* why = nullptr);

}  // namespace DarkCheck

#endif
