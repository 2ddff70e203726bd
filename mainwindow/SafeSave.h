#ifndef SAFESAVE_H
#define SAFESAVE_H

#include <QString>

#include <cstdint>
#include <functional>

class Analyzed2DRes;
class QImage;

// Writers that either produce the whole file or leave the target as it was:
// the data go to a temporary file beside the target, which replaces the
// target only when everything was written. Each failure writes a debug line.
namespace SafeSave {

// write is given the temporary file's name and returns whether it succeeded.
bool viaTempFile(const QString& path, const std::function<bool(const QString& tmpPath)>& write);

// The image in the format named by the file's suffix.
bool image(const QImage& img, const QString& path);

// A 16-bit grey TIFF of width x height samples, row 0 first.
bool tiff16(const QString& path, uint32_t width, int32_t height, const uint16_t* samples);

// A result map as 16-bit TIFF: one sample per pixel, or one per block of its
// grid when asAnalyzed. False when the map has no values or the file cannot
// be written.
bool mapAsTiff(Analyzed2DRes& map, const QString& path, bool fixedScale, double scaleMin,
               double scaleMax, bool asAnalyzed);
// A result map as text (its own format, one value per block).
bool mapAsText(Analyzed2DRes& map, const QString& path, bool asAnalyzed, bool csv, bool xyz);

// "%1-%2.%3": fname's complete base name, n and suffix, in fname's folder.
QString numberedName(const QString& fname, int n, const QString& suffix);

}  // namespace SafeSave

#endif
