#ifndef SAFESAVE_H
#define SAFESAVE_H

#include "core/SafeWrite.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class Analyzed2DRes;
class QImage;

// Writers that either produce the whole file or leave the target as it was:
// the data go to a temporary file beside the target, every write, the flush
// and the close are checked, and the file replaces the target only when all
// of them succeeded (core/SafeWrite.h). Each failure writes a debug line
// naming the file and the reason and is counted in the failure log; why, when
// given, receives the reason alone.
namespace SafeSave {

// write is given the checked temporary file (text: opened in text mode).
bool viaDevice(const QString& path, const SafeWrite::Writer& write, QString* why = nullptr, bool text = false);

// The image in the format named by the file's suffix.
bool image(const QImage& img, const QString& path, QString* why = nullptr);

// A 16-bit grey TIFF of width x height samples, row 0 first.
bool tiff16(const QString& path, uint32_t width, int32_t height, const uint16_t* samples, QString* why = nullptr);

// A result map as 16-bit TIFF: one sample per pixel, or one per block of its
// grid when asAnalyzed. False when the map has no values or the file cannot
// be written.
bool mapAsTiff(Analyzed2DRes& map, const QString& path, bool fixedScale, double scaleMin,
               double scaleMax, bool asAnalyzed, QString* why = nullptr);
// A result map as text (its own format, one value per block).
bool mapAsText(Analyzed2DRes& map, const QString& path, bool asAnalyzed, bool csv, bool xyz,
               QString* why = nullptr);

// The suffixes a result map's saver takes as the name's own: the text and
// TIFF files and the image formats of the colour bar beside them. Any other
// part after a dot is part of the name.
QStringList mapSuffixes();

// "%1-%2.%3": fname less a suffix of mapSuffixes, n and suffix, in fname's
// folder ("ratio0.3" and 0 give "ratio0.3-0.dat", "m.tif" "m-0.dat").
QString numberedName(const QString& fname, int n, const QString& suffix);

// The debug line and the count of a save that did not happen; returns false.
bool failed(const QString& path, const QString& reason, QString* why = nullptr);

}  // namespace SafeSave

#endif
