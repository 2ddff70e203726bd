#include "EShiftMapFile.h"

#include "core/AnalyzeCond.h"
#include "core/FailureLog.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/StringUtil.h"
#include "core/TiffData.h"
#include "core/Units.h"
#include "mainwindow/SafeSave.h"

#include <QCoreApplication>
#include <QDebug>
#include <QBitArray>
#include <QFile>
#include <QTextStream>
#include <QVector>

#include <algorithm>
#include <climits>
#include <cmath>

namespace EShiftMapFile {

const char* const magic = "###Corvenlith::KWOP";
const char* const shortMagic = "###KWOP";
const char* const separator = "##-----------------";
const char* const noValueKey = "No Shift Angle [deg]    : ";
const char* const noValueItem = "-0";

namespace {

// The prefixes of the key lines, padded to 24 characters and followed by ": ".
const QString keyRecordDate = QStringLiteral("Record Date             : ");
const QString keyStdEdge = QStringLiteral("Std Edge Energy [eV]    : ");
const QString keySpacing = QStringLiteral("Spacing [nm]            : ");
const QString keyXOffset = QStringLiteral("X Offset [pix]          : ");
const QString keyYOffset = QStringLiteral("Y Offset [pix]          : ");
const QString keyWidth = QStringLiteral("Width [pix]             : ");
const QString keyHeight = QStringLiteral("Height [pix]            : ");
const QString keyBinHalfWidth = QStringLiteral("Bin Half Width [pix]    : ");
const QString keyBinHalfHeight = QStringLiteral("Bin Half Height [pix]   : ");
const QString keyAreaX0 = QStringLiteral("Area X0                 : ");
const QString keyAreaX1 = QStringLiteral("Area X1                 : ");
const QString keyAreaY0 = QStringLiteral("Area Y0                 : ");
const QString keyAreaY1 = QStringLiteral("Area Y1                 : ");
const QString keyStdFileName = QStringLiteral("Std File Name           : ");
const QString keyMapHeight = QStringLiteral("Map Height              : ");
const QString keyMapWidth = QStringLiteral("Map Width               : ");

using PhysConst::pi;

// The first item after key when line starts with it; false without one.
bool valueOf(const QString& line, const QString& key, QString& value)
{
    if (!startsWithKey(line, key)) return false;
    const QStringList items = itemsAfterKey(line, key);
    if (items.isEmpty() || items.first().isEmpty()) return false;
    value = items.first();
    return true;
}

void invalidFile(const QString& fname)
{
    qDebug().noquote() << "Invalid Energy Map Data File : " + fname;
}

// The whitespace-separated numbers of text, at most n of them. False, with a
// debug line, at the first item that is no number. With marked, an item
// that is noValueItem reads 0 and sets its bit in marked (sized n).
bool readNumbers(const QString& text, qint64 n, QVector<double>& values, QBitArray* marked = nullptr)
{
    values.clear();
    values.reserve(int(std::min<qint64>(n, text.size() / 2 + 1)));
    const QChar* c = text.constData();
    const int size = text.size();
    int i = 0;
    while (values.size() < n) {
        while (i < size && c[i].isSpace()) ++i;
        if (i >= size) break;
        const int start = i;
        while (i < size && !c[i].isSpace()) ++i;
        bool ok = false;
        const QStringRef item = text.midRef(start, i - start);
        if (marked && item == QLatin1String(noValueItem)) {
            marked->setBit(values.size());
            values.append(0.0);
            continue;
        }
        const double v = item.toDouble(&ok);
        if (!ok) {
            qDebug().noquote() << "Not a number in the energy map:" << item.left(40).toString();
            return false;
        }
        values.append(v);
    }
    return true;
}

// Numbers no calibration grid can have are damage, not geometry: they would
// overflow the grid's arithmetic or allocate maps of any size.
bool headerInRange(const EMPHeader& h)
{
    const auto inside = [](qint64 v, qint64 lo, qint64 hi) { return v >= lo && v <= hi; };
    const qint64 coord = TiffData::maxSide * 4;
    const char* what = nullptr;
    if (!TiffData::sizeAllowed(h.width, h.height))
        what = "size";
    else if (!inside(h.binHalfWidth, 0, TiffData::maxSide)
             || !inside(h.binHalfHeight, 0, TiffData::maxSide))
        what = "bin half size";
    else if (!inside(h.areaX0, -coord, coord) || !inside(h.areaX1, -coord, coord)
             || !inside(h.areaY0, -coord, coord) || !inside(h.areaY1, -coord, coord))
        what = "area";
    else if (!inside(h.xOffset, -coord, coord) || !inside(h.yOffset, -coord, coord))
        what = "offset";
    else if (!std::isfinite(h.stdEdgeEnergy) || !std::isfinite(h.spacing))
        what = "edge energy or spacing";
    if (!what) return true;
    qDebug().noquote() << "emp header" << what << "out of range: damaged file";
    return false;
}

}  // namespace

double angleOf(double E, double d)
{
    const double r = hc / E / (2 * d);
    if (std::fabs(r) > 1) return -1.0;  // a shift that is not a number stays one
    return std::asin(r) / pi * 180.0;
}

bool hasAngle(double E, double d)
{
    if (!(E > 0 && d > 0)) return false;
    const double r = hc / E / (2 * d);
    return std::isfinite(r) && r <= 1;
}

EMPHeader headerOf(const AnalyzeCond& grid, int xOffset, int yOffset, double stdEdgeEnergy,
                   double spacing)
{
    EMPHeader h;
    h.xOffset = xOffset;
    h.yOffset = yOffset;
    h.width = grid.width;
    h.height = grid.height;
    h.binHalfWidth = grid.xw;
    h.binHalfHeight = grid.yw;
    h.areaX0 = grid.x0;
    h.areaX1 = grid.x1;
    h.areaY0 = grid.y0;
    h.areaY1 = grid.y1;
    h.stdEdgeEnergy = stdEdgeEnergy;
    h.spacing = spacing;
    h.valid = true;
    return h;
}

namespace {

// A map refused before writing counts as a failed save.
void refused(const QString& reason, const QString& fname, QString* why)
{
    FailureLog::note(QStringLiteral("Not written: %1: %2").arg(fname, reason));
    if (why) *why = reason;
}

}  // namespace

QString pathOf(const QString& fname)
{
    static const QStringList emp{QStringLiteral("emp")};
    return nameLessSuffix(fname, emp) + QStringLiteral(".") + (knownSuffix(fname, emp).isEmpty() ? QStringLiteral("emp") : knownSuffix(fname, emp));
}

bool write(const QString& fname, const Analyzed2DRes& map, const EMPHeader& header,
           const QString& stdFileName, int imageWidth, int imageHeight, const QDateTime& recordDate,
           QString* why)
{
    Units units;
    units.setD(header.spacing);
    const double d = units.D;
    const double e0 = header.stdEdgeEnergy;
    if (!hasAngle(e0, d)) {
        qDebug().noquote() << "No angle at the edge energy" << e0 << "with spacing" << d
                           << ": energy map not written to" << fname;
        refused(QCoreApplication::translate("EShiftMapFile", "the edge energy %1 eV gives no angle with the spacing %2")
                    .arg(e0)
                    .arg(d),
                fname, why);
        return false;
    }
    const double theta0 = angleOf(e0, d);
    // A pixel whose energy the crystal cannot reflect has no angle: written
    // anyway it would read back as some other shift.
    const int mapW = map.width(), mapH = map.height();
    qint64 noAngle = 0;
    int firstX = 0, firstY = 0;
    for (int y = 0; y < std::min(mapH, imageHeight); y++) {
        for (int x = 0; x < std::min(mapW, imageWidth); x++) {
            const double s = map.valueAt(x, y);
            if (!map.holdsValue(x, y) || (std::isfinite(s) && hasAngle(e0 - s, d))) continue;
            if (noAngle++ == 0) {
                firstX = x;
                firstY = y;
            }
        }
    }
    if (noAngle > 0) {
        qDebug().noquote() << noAngle << "energy shifts have no angle at the edge energy" << e0
                           << "(first at pixel" << firstX << firstY << "):"
                           << "energy map not written to" << fname;
        refused(QCoreApplication::translate("EShiftMapFile", "%1 energy shifts have no angle at the edge energy %2 eV")
                    .arg(noAngle)
                    .arg(e0),
                fname, why);
        return false;
    }
    const QString path = pathOf(fname);

    return SafeSave::viaDevice(path, [&](QIODevice& f) {
        QTextStream out(&f);
        out << magic << "\n";
        out << keyRecordDate << recordDate.toString(QStringLiteral("yy/MM/dd hh:mm:ss.zzz")) << "\n";
        out << keyStdEdge << e0 << "\n";
        out << keySpacing << d << "\n";
        out << keyXOffset << header.xOffset << "\n";
        out << keyYOffset << header.yOffset << "\n";
        out << keyWidth << header.width << "\n";
        out << keyHeight << header.height << "\n";
        out << keyBinHalfWidth << header.binHalfWidth << "\n";
        out << keyBinHalfHeight << header.binHalfHeight << "\n";
        out << keyAreaX0 << header.areaX0 << "\n";
        out << keyAreaX1 << header.areaX1 << "\n";
        out << keyAreaY0 << header.areaY0 << "\n";
        out << keyAreaY1 << header.areaY1 << "\n";
        out << keyStdFileName << stdFileName << "\n";
        out << keyMapHeight << mapH << "\n";
        for (int i = 0; i < mapH; i++) out << keyMapWidth << i << " " << mapW << "\n";
        out << noValueKey << noValueItem << "\n";
        out << separator << "\n";

        logWithTime(QStringLiteral("EMap Write Start : "));
        for (int y = 0; y < imageHeight; y++) {
            for (int x = 0; x < imageWidth; x++) {
                if (x < mapW && y < mapH && !map.holdsValue(x, y)) {
                    out << noValueItem << ' ';
                    continue;
                }
                const double s = (x < mapW && y < mapH) ? map.valueAt(x, y) : 0.0;
                // An exact 0 is written "0", never the marker "-0".
                const double a = angleOf(e0 - s, d) - theta0;
                out << QStringLiteral("%1 ").arg(a == 0 ? 0.0 : a, 0, 'g');
            }
            out << "\n";
        }
        logWithTime(QStringLiteral("EMap Write End   : "));
        out.flush();
        return out.status() == QTextStream::Ok;
    }, why, true);
}

namespace {

// The header, and whether it has the line of the no-value marker.
EMPHeader readHeaderMarks(QTextStream& in, bool& marks)
{
    marks = false;
    EMPHeader h;
    const QString first = in.atEnd() ? QString() : in.readLine();
    if (!first.startsWith(QLatin1String(shortMagic)) && !first.startsWith(QLatin1String(magic))) {
        qDebug().noquote() << "Not a emp file.";
        return h;
    }
    bool sawWidth = false, sawHeight = false, sawEdge = false, sawSpacing = false;
    QString v;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.startsWith(QLatin1String(separator))) {
            h.valid = sawWidth && sawHeight && sawEdge && sawSpacing;
            if (h.valid && (h.width < 0 || h.height < 0)) {
                qDebug().noquote() << "emp size" << h.width << "x" << h.height << "is negative";
                h.valid = false;
            }
            if (h.valid && !headerInRange(h)) h.valid = false;
            return h;
        }
        if (valueOf(line, QLatin1String(noValueKey), v)) {
            marks = v == QLatin1String(noValueItem);
        } else if (valueOf(line, keyXOffset, v)) {
            h.xOffset = v.toInt();
        } else if (valueOf(line, keyYOffset, v)) {
            h.yOffset = v.toInt();
        } else if (valueOf(line, keyWidth, v)) {
            h.width = v.toInt();
            sawWidth = true;
            qDebug().noquote() << "emp W" << h.width;
        } else if (valueOf(line, keyHeight, v)) {
            h.height = v.toInt();
            sawHeight = true;
            qDebug().noquote() << "emp H" << h.height;
        } else if (valueOf(line, keyBinHalfWidth, v)) {
            h.binHalfWidth = v.toInt();
        } else if (valueOf(line, keyBinHalfHeight, v)) {
            h.binHalfHeight = v.toInt();
        } else if (valueOf(line, keyAreaX0, v)) {
            h.areaX0 = v.toInt();
        } else if (valueOf(line, keyAreaX1, v)) {
            h.areaX1 = v.toInt();
        } else if (valueOf(line, keyAreaY0, v)) {
            h.areaY0 = v.toInt();
        } else if (valueOf(line, keyAreaY1, v)) {
            h.areaY1 = v.toInt();
        } else if (valueOf(line, keyStdEdge, v)) {
            h.stdEdgeEnergy = v.toDouble();
            sawEdge = true;
        } else if (valueOf(line, keySpacing, v)) {
            h.spacing = v.toDouble();
            sawSpacing = true;
        }
    }
    return h;  // no separator: not valid, whatever was found
}

// Adds to map's surface the value at each block centre of grid that holds
// one; a centre off the map reads the block's nearest pixel on it. Only
// blocks reaching into the map are visited.
void fitBlockCentres(Analyzed2DRes& map, const AnalyzeCond& grid)
{
    map.fit.clear();
    const int w = map.width(), h = map.height();
    if (w <= 0 || h <= 0) return;
    const qint64 sx = std::max(1, grid.stepX), sy = std::max(1, grid.stepY);
    const qint64 fx = qint64(grid.x0) + grid.xw, fy = qint64(grid.y0) + grid.yw;
    // The walk always visits its first block; later ones while their centres
    // lie before the area's far side.
    auto count = [](qint64 first, qint64 end, qint64 step) {
        return first >= end ? qint64(1) : (end - first + step - 1) / step;
    };
    const qint64 nx = count(fx, grid.x1, sx), ny = count(fy, grid.y1, sy);
    // First and last block index whose extent meets [0, size).
    auto span = [](qint64 first, qint64 step, qint64 half, qint64 n, qint64 size, qint64& lo, qint64& hi) {
        lo = first + half >= 0 ? 0 : (-(first + half) + step - 1) / step;
        hi = first - half > size - 1 ? -1 : std::min(n - 1, (size - 1 - (first - half)) / step);
    };
    qint64 ix0, ix1, iy0, iy1;
    span(fx, sx, grid.xw, nx, w, ix0, ix1);
    span(fy, sy, grid.yw, ny, h, iy0, iy1);
    for (qint64 j = iy0; j <= iy1; ++j) {
        const qint64 cy = fy + j * sy;
        const int py = int(std::max<qint64>(0, std::min<qint64>(h - 1, cy)));
        for (qint64 i = ix0; i <= ix1; ++i) {
            const qint64 cx = fx + i * sx;
            const int px = int(std::max<qint64>(0, std::min<qint64>(w - 1, cx)));
            if (map.holdsValue(px, py)) map.fit.addPoint(double(cx), double(cy), map.valueAt(px, py));
        }
    }
}

}  // namespace

EMPHeader readHeader(QTextStream& in)
{
    bool marks = false;
    return readHeaderMarks(in, marks);
}

LoadResult load(const QString& fname, Analyzed2DRes& map, EMPHeader& empH, AnalyzeCond& calibGrid,
                LoadSettings& settings)
{
    QFile f(fname);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug().noquote() << "Can not open" << fname;
        return LoadResult::CannotOpen;
    }
    QTextStream in(&f);
    bool marks = false;
    empH = readHeaderMarks(in, marks);
    if (!empH.valid) {
        invalidFile(fname);
        return LoadResult::InvalidHeader;
    }

    if (settings.checkSize
        && (empH.height != settings.imageHeight || empH.width != settings.imageWidth)) {
        if (settings.imageWidth < 0 && settings.imageHeight < 0) {
            settings.imageWidth = empH.width;
            settings.imageHeight = empH.height;
        } else {
            qDebug().noquote() << QStringLiteral(
                                      "Loading Energy Map size : %1 x %2 : is not matched to the "
                                      "current image size : %3 x %4")
                                      .arg(empH.width)
                                      .arg(empH.height)
                                      .arg(settings.imageWidth)
                                      .arg(settings.imageHeight);
            empH.valid = false;
            return LoadResult::SizeMismatch;
        }
    }

    Units units;
    units.setD(empH.spacing);
    const double d = units.D;
    const double e0 = settings.edgeEV > 0 ? settings.edgeEV : empH.stdEdgeEnergy;
    if (!hasAngle(e0, d)) {
        qDebug().noquote() << "No angle at the edge energy" << e0 << "with spacing" << d;
        invalidFile(fname);
        empH.valid = false;
        return LoadResult::DamagedData;
    }
    const double theta0 = angleOf(e0, d);

    logWithTime(QStringLiteral("Start Reading EMP file "));
    const int w = empH.width, h = empH.height;
    const qint64 n = qint64(w) * h;
    // Everything is read and converted before the map is touched, so a
    // damaged file leaves the previous map in place.
    QVector<double> values;
    QBitArray marked;
    if (marks && n <= INT_MAX) marked = QBitArray(int(n));
    if (!readNumbers(in.readAll(), n, values, marks ? &marked : nullptr)) {
        invalidFile(fname);
        empH.valid = false;
        return LoadResult::DamagedData;
    }
    if (values.size() < n) {
        qDebug().noquote() << "run out!" << n - values.size() << "of" << n << "values missing";
        invalidFile(fname);
        empH.valid = false;
        return LoadResult::DamagedData;
    }
    for (int i = 0; i < values.size(); ++i) {
        if (!marked.isEmpty() && marked.testBit(i)) continue;
        double& v = values[i];
        // An angle that is no number, or one no crystal reflects at, is damage.
        const double sine = std::isfinite(v) ? std::sin((v + theta0) / 180.0 * pi) : 0.0;
        if (!(sine > 0.0)) {
            qDebug().noquote() << "No energy at the angle" << v << "in the energy map";
            invalidFile(fname);
            empH.valid = false;
            return LoadResult::DamagedData;
        }
        v = e0 - hc / (2 * sine * d);
    }

    calibGrid.set(empH.width, empH.height, empH.binHalfWidth, empH.binHalfHeight, double(empH.areaX0),
                  double(empH.areaY0), double(empH.areaX1) - double(empH.areaX0),
                  double(empH.areaY1) - double(empH.areaY0), -1, -1);
    map.setCond(calibGrid);
    if (!marked.isEmpty()) map.markAllWithoutValue();
    int i = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++, i++)
            if (marked.isEmpty() || !marked.testBit(i)) map.setData(x, y, 0, 0, values[i]);
    if (marks) fitBlockCentres(map, calibGrid);
    map.genImg();
    logWithTime(QStringLiteral("End Reading EMP file   "));
    return LoadResult::Loaded;
}

}  // namespace EShiftMapFile
