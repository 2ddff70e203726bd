#ifndef INPUTBOUNDS_H
#define INPUTBOUNDS_H

#include <QString>
#include <QtGlobal>

// Integers a user types or a script gives (half widths, positions, regions,
// frame numbers, counts) brought within what the image and the stack allow,
// so that no later sum, walk or drawing sees a value it cannot handle.
namespace InputBounds {

// The integer a text is read as: 0 when it is no integer (a decimal point
// included), the nearest 64-bit value when it is too long for one.
qint64 integerOf(const QString& text);
// Whether text is a whole number, signed or not, blanks around it allowed.
bool isInteger(const QString& text);

struct Bounded
{
    qint64 asked = 0;
    int value = 0;
    bool clipped = false;  // value differs from what was asked
};

// asked brought into lo .. hi (lo <= hi).
Bounded bound(qint64 asked, int lo, int hi);

// The largest half width or half height of the spectrum box: a box as wide
// as the largest frame the loader takes from any pixel of it.
int maxHalfWidth();

// A half width as the box and the blocks use it: the magnitude of the
// number (a negative half width stands for its magnitude), at most
// maxHalfWidth().
int halfWidthOf(const QString& text);

// What positions and region corners may take: the image's size when one is
// loaded, the largest frame the loader takes otherwise.
struct Extent
{
    int width = 0;
    int height = 0;
    bool image = false;  // the size of a loaded image
};
Extent extentOf(int imageWidth, int imageHeight);

struct Position
{
    int x = 0, y = 0;
    bool clipped = false;
};

// A pixel inside the extent: 0 .. width - 1, 0 .. height - 1.
Position position(qint64 x, qint64 y, const Extent& e);

struct Region
{
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool clipped = false;
    // Clipping took every pixel the corners enclosed: the region lies
    // outside the extent and is refused.
    bool outside = false;
    // No pixel between the corners (equal in x or in y, as given or after
    // clipping): refused too.
    bool empty = false;
};

// Corners on the pixel edges of the extent: 0 .. width, 0 .. height. The
// corners keep their order.
Region region(qint64 x0, qint64 y0, qint64 x1, qint64 y1, const Extent& e);

}  // namespace InputBounds

#endif
