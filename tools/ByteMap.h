#ifndef BYTEMAP_H
#define BYTEMAP_H

#include <QString>
#include <QVector>

// One byte per pixel, row-major: pixel (x, y) is bytes[x + y * width].
struct ByteMap
{
    int width = 0;
    int height = 0;
    QVector<unsigned char> bytes;

    // width x height zero bytes; a size that is not positive or too large
    // gives an empty map of size 0 x 0.
    void reallocate(int w, int h);
};

// Fills map from a text file of "x y value" lines. A line "# Size w h" sets
// the size and zeroes the bytes; mode 0 also zeroes them before reading. A
// value that is not 0 (or not a number) sets the pixel: mode 0 to 1, mode 1
// leaves it; a value 0 clears it in modes 0 and 1 and leaves it in mode 2,
// where other values set it to 1. Points outside the map are skipped. A size
// beyond 4096 x 4096 pixels that the file is far too small to describe (more
// than 64 pixels a byte) is refused with a debug line, keeping the map.
// false ("Can't Open" debug line) when the file cannot be opened.
bool readByteMap(ByteMap& map, const QString& fileName, int mode);

#endif
