#ifndef BOXSPECTRUM_H
#define BOXSPECTRUM_H

#include "core/Spectrum.h"

#include <QRect>
#include <QRectF>
#include <QVector>

#include <vector>

class Analyzed2DRes;
class TiffData;

// What a box spectrum depends on besides the stacks: the main window fills it
// from its fields each time, so the arithmetic runs without any widget.
struct BoxSpectrumConds
{
    int imageWidth = -1;
    int imageHeight = -1;
    const TiffData* dark = nullptr;  // null: no dark subtraction
    double darkExpTime = 0;          // ms; the dark level is scaled by exposure
    double i1ExpTime = 0;            // ms of the I1 images
    double i0ExpTime = 0;            // ms of the I0 images
    const QVector<double>* i1DarkAreaValues = nullptr;  // null: no I1 dark area
    const QVector<double>* i0DarkAreaValues = nullptr;  // null: no I0 dark area
    bool useI0 = true;
    const Spectrum* totalI0 = nullptr;  // I0 column of a total-I0 file, by I1 index
    bool fluorescence = false;
};

namespace BoxSpectrum {

// The stack in ascending energy (stable for equal energies); the same list
// when it already is.
QVector<TiffData*> sortedByEnergy(const QVector<TiffData*>& stack);

// One point (energy, mu) per I1 image over columns x-|dx| .. x+|dx| and rows
// y-|dy| .. y+|dy|: ln(I0 / I1), or I1 / I0 in fluorescence mode, after the
// dark level, in ascending energy (inEnergyOrder). Empty when (x, y) lies
// outside the image.
Spectrum xafs(const QVector<TiffData*>& i1, const QVector<TiffData*>& i0, int x, int y, int dx,
              int dy, const BoxSpectrumConds& c);

// The box spectra of a pair of stacks at many positions, with what depends
// only on the stacks worked out once when it is made: the energy order, the
// I0 frames every point reads and the frames' alignment shifts. Gives what
// xafs() gives for the stacks as they were then, whatever shifts the frames
// take meanwhile. The frames and what the conditions point to are not owned
// and must outlive it.
class StackPlan
{
public:
    StackPlan() = default;
    StackPlan(const QVector<TiffData*>& i1, const QVector<TiffData*>& i0,
              const BoxSpectrumConds& c);

    // xafs(i1, i0, x, y, dx, dy, c) into s: its points and their extremes,
    // in the storage s already has.
    void xafs(int x, int y, int dx, int dy, Spectrum& s) const;

private:
    struct Read
    {
        const TiffData* f = nullptr;
        int sx = 0, sy = 0;
    };
    // How the I0 value of a point comes about: not read (n stands), the
    // empty stack's 1, one frame, or a line between two.
    enum I0Mode { I0Unread, I0Empty, I0Frame, I0Line };
    struct Point
    {
        Read i1, a, b;
        double energy = 0;          // of the I1 frame
        double e = 0, ea = 0, eb = 0;  // I0 line: at e between ea and eb
        int mode = I0Unread;
    };
    std::vector<Point> pts;
    BoxSpectrumConds conds;
    bool useTotalI0 = false;
    bool useDark = false;
    bool ascending = true;
};

// (energy, box sum) per I1 image, no correction, in ascending energy; empty
// outside the image.
Spectrum raw(const QVector<TiffData*>& i1, int x, int y, int dx, int dy, int imageWidth,
             int imageHeight);

// The points in ascending energy, those of equal energy averaged into one;
// the same spectrum when it already is strictly ascending.
Spectrum inEnergyOrder(const Spectrum& s);

// Centre and half widths of the box of a rectangle given by two corners.
void rectToBox(int x1, int y1, int x2, int y2, int& x, int& y, int& dx, int& dy);

// The pixels of a selected area inside an image of width x height: columns
// trunc(x) up to, not including, trunc(x + width), rows alike, as every other
// use of a region takes them. Empty when none lies inside or the area is
// not finite.
QRect areaPixels(const QRectF& area, int width, int height);

// Mean of the frame over the pixels, with its alignment shift as box sums
// take it; 0 for no pixel.
double pixelMean(const TiffData& f, const QRect& pixels);

// Appends, for every image past the values already there, the mean of the
// image over the pixels less the mean of dark over them (when there is a dark
// image). False, and nothing appended, when values are due but there is no
// pixel to take them over.
bool appendDarkAreaValues(QVector<double>& values, const QVector<TiffData*>& stack,
                          const QRect& pixels, const TiffData* dark);

// Energy shift at map position (mx, my): the map's value there, or its fitted
// quadratic surface when fitted; 0 outside the map or without one.
double energyShift(const Analyzed2DRes& map, int mx, int my, bool fitted);

}  // namespace BoxSpectrum

#endif
