#ifndef ESHIFTMAPFILE_H
#define ESHIFTMAPFILE_H

#include "core/EMPHeader.h"

#include "core/PhysConst.h"

#include <QDateTime>
#include <QString>

class AnalyzeCond;
class Analyzed2DRes;
class QTextStream;

// Energy-shift map files (".emp"): a text header with the map's geometry,
// then one line per image row of monochromator-angle differences (degrees),
// from which the energy shifts are rebuilt at any edge energy.
//
// The main window's map slots are thin over these functions:
//  - saving: headerOf(calibration grid, XOffset, YOffset, standard's E0,
//    crystal spacing), then write(); EMPFileName := fname when it returns true;
//  - loading: load() with the settings below; when headerWasRead(result), the
//    calibration window's Width / Height / XOffset / YOffset and the map
//    offsets take empH's; on Loaded the map has its image and the image view
//    wants a repaint. A script's read is answered by the batch executor.
namespace EShiftMapFile {

using PhysConst::hc;

extern const char* const magic;       // written first line
extern const char* const shortMagic;  // also accepted
extern const char* const separator;   // ends the header
// Key line telling that the data item noValueItem marks a pixel without a
// shift, and that the fitted surface is taken over block centres. Readers
// that do not know it skip the line and read the item as an angle of 0,
// a shift of 0, as every pixel without a shift was written before.
extern const char* const noValueKey;
extern const char* const noValueItem;

// Bragg angle (degrees) at energy E (eV) on a crystal of spacing d
// (angstrom); -1.0 when no angle reflects that energy.
double angleOf(double E, double d);
// True when angleOf(E, d) is a real angle: E and d positive, in range.
bool hasAngle(double E, double d);

// The header the writer records for a map made on grid.
EMPHeader headerOf(const AnalyzeCond& grid, int xOffset, int yOffset, double stdEdgeEnergy,
                   double spacing);

// The file a map saved as fname goes to: fname given ".emp" unless it ends
// so; "map0.5" is a name, not "map0" in a format "5".
QString pathOf(const QString& fname);

// Writes map over an imageWidth x imageHeight image (pixels outside the map
// are 0; pixels of the map holding no value are noValueItem) to pathOf(fname). The file is complete
// or not written at all. False, with a debug line, when the file cannot be
// written or the header's edge energy and spacing give no angle (the angles
// could never be turned back into shifts); why then receives the reason.
bool write(const QString& fname, const Analyzed2DRes& map, const EMPHeader& header,
           const QString& stdFileName, int imageWidth, int imageHeight,
           const QDateTime& recordDate = QDateTime::currentDateTime(), QString* why = nullptr);

// Reads the header up to and including the separator line. Valid only when
// the first line is a magic line, the separator was reached and the width,
// height, edge energy and spacing keys were all given a value, and neither
// size is negative.
EMPHeader readHeader(QTextStream& in);

enum class LoadResult {
    CannotOpen,     // nothing read
    InvalidHeader,  // empH holds what was read, invalid
    SizeMismatch,   // header read; size check failed
    DamagedData,    // header read; data missing, not numbers or not convertible
    Loaded
};

// True when the header was read whole, so the map's offsets and size are
// known even though the map may not have been taken.
inline bool headerWasRead(LoadResult r)
{
    return r == LoadResult::SizeMismatch || r == LoadResult::DamagedData || r == LoadResult::Loaded;
}

struct LoadSettings
{
    bool checkSize = false;  // the calibration window's CheckSize
    int imageWidth = -1;     // the main window's image size; adopted from
    int imageHeight = -1;    // the file when checking and both are negative
    double edgeEV = 0;       // overrides the file's edge energy when > 0
};

// Reads fname into map and fills empH. Only on Loaded do map (its values and
// image) and calibGrid change; on any other result they keep what they had
// and empH is not valid. A file with the noValueKey line leaves its marked
// pixels without a value, and fits the map's surface to the value at each
// block centre of the header's grid that holds one, as the calibration
// fitted it; a file without the line gives every pixel its value and a
// point of the surface.
LoadResult load(const QString& fname, Analyzed2DRes& map, EMPHeader& empH, AnalyzeCond& calibGrid,
                LoadSettings& settings);

}  // namespace EShiftMapFile

#endif
