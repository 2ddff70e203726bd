#ifndef IMAGEALIGN_H
#define IMAGEALIGN_H

#include "BinImage.h"

#include <QImage>
#include <QPoint>
#include <QVector>

class ColorScale;
class TiffData;

// The numerics of the image-alignment panel, free of widgets: edge and binary
// images, the overlap score of a shifted binary image against a reference and
// the hill climb over integer shifts.
namespace ImageAlign
{
// 3 x 3 Prewitt magnitude max(|Gx|, |Gy|) over the frame's shifted pixel
// access, which also supplies the neighbours just outside the width x height
// area (0 outside the stored image); the centre takes no part. min and max
// are found. Empty when the size is not positive or too large.
BinImage edgeImage(const TiffData& image, int width, int height);
// The same as if the frame's shift were (sx, sy).
BinImage edgeImage(const TiffData& image, int width, int height, int sx, int sy);

// 1 where threshold < edge value (strictly), else 0; min and max are found.
// A NaN edge value or threshold gives 0.
BinImage binarize(const BinImage& edge, double threshold);

// Threshold at slider position s (per mille of the range).
double thresholdFromSlider(double min, double max, int s);
// Slider position (0 .. 999) of a threshold, truncated; a position that is
// not a number (empty range, NaN input) is 0.
int sliderFromThreshold(double threshold, double min, double max);

struct ScoreSums
{
    double bb = 0;
    double rr = 0;
    double br = 0;
    // Normalised inner product; 0 when either image has no weight.
    double score() const;
};

// Over x < width, y < height: b = bin at (x - sx, y - sy), r = ref at (x, y),
// taken where both lie inside their images and off their outermost ring of
// pixels, whose edges are the frame's border, not the scene's.
ScoreSums compareSums(const BinImage& bin, const BinImage& ref, int width, int height, int sx,
                      int sy);
double compareScore(const BinImage& bin, const BinImage& ref, int width, int height, int sx,
                    int sy);

// The overlap drawn in colour: red reference only, green binary only, yellow
// both, black neither; blue where the shifted binary image does not reach.
// sums, when given, receives the score sums of the same shift.
QImage comparisonImage(const BinImage& bin, const BinImage& ref, int width, int height, int sx,
                       int sy, ScoreSums* sums = nullptr);

// The picture coloured by scale at the fraction (v - min) / (max - min); an
// empty range draws every pixel at fraction 0.
QImage scaledImage(const BinImage& src, int width, int height, const ColorScale& scale);

// v + d, held within the range of int.
int addClamped(int v, int d);

// The eight neighbours in the order the climb tries them.
extern const QPoint climbOffsets[8];

// From start, moves to the neighbour with the highest score strictly above
// best (the earlier one on a tie) until none beats it; returns the final shift.
// best is the score the climb must beat at the start.
QPoint hillClimb(const BinImage& bin, const BinImage& ref, int width, int height, QPoint start,
                 double best);

// The main window's side of the panel, over its I1 stack.
// The frame at index, or null when index is outside the stack.
TiffData* imageAt(const QVector<TiffData*>& stack, int index);
// Gives the frame at index the shift (dx, dy); false (nothing stored) when
// index is outside the stack.
bool setShiftAt(const QVector<TiffData*>& stack, int index, int dx, int dy);
void clearShifts(const QVector<TiffData*>& stack);
}

#endif
