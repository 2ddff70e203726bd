#ifndef ANALYZED2DRES_H
#define ANALYZED2DRES_H

#include "AnalyzeCond.h"
#include "BPFit.h"

#include <QBitArray>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QString>

class QFileInfo;
class QIODevice;
class QTextStream;

// One named 2-D result map: a double per pixel of the analysed image, written
// block by block along its grid, with its range, a processed copy filled by
// the deglitch filters, a display image drawn through the shared colour scale,
// 16-bit and text exports, and a quadratic surface fitted to its block values.
// GUI thread only.
class Analyzed2DRes : public QObject
{
    Q_OBJECT
public:
    explicit Analyzed2DRes(QString name = QString());
    ~Analyzed2DRes() override;

    void init(const QString& name);
    void setCond(const AnalyzeCond& c);
    void allocData();
    // Sum of the values of the block |xw|, |yw| around (ix, iy); pixels
    // outside the map count 0.
    double blockSum(int ix, int iy, int xw, int yw) const;
    // Pushes the active scale into the shared colour bar and repaints it.
    void setCBarRange();
    // Deep copy of src (nothing for null or this).
    void copyFrom(const Analyzed2DRes* src);

    // Text export, one value per block of the grid. asAnalyzed is unused: the
    // file always holds one value per block. False when nothing was written.
    bool saveAsText(const QFileInfo& file, bool asAnalyzed, bool csv, bool xyz);
    // The text file's content into out; false when a write failed.
    bool writeText(QIODevice& out, bool csv, bool xyz);
    bool hasValues() const { return data != nullptr; }
    void writeHeader(QTextStream& out, bool csv, bool xyz);

    int width() const { return grid.width; }
    int height() const { return grid.height; }
    bool inside(int x, int y) const { return x >= 0 && x < grid.width && y >= 0 && y < grid.height; }
    // The value at (x, y), 0 outside the map or without data.
    double valueAt(int x, int y) const;
    // False where the map is known to hold no value (see noValue).
    bool holdsValue(int x, int y) const
    {
        return inside(x, y) && (noValue.isEmpty() || !noValue.testBit(int(qint64(y) * grid.width + x)));
    }
    // Marks every pixel as holding no value until setData writes it.
    void markAllWithoutValue();
    // The display scale in force: the fixed one when fixedScale, else the
    // processed range when showProc, else the data range.
    double activeMin() const;
    double activeMax() const;

public slots:
    void clear();
    void setNo(int no);
    void setData(int ix, int iy, int xw, int yw, double t);
    void genImg();
    QImage* img();
    // Samples scaled to 0 .. 65535; the caller frees them with delete[]. Pixel
    // mode gives width x height samples, block mode one per block of the grid
    // (blocksPerRow x blockRows). Null when the chosen array does not exist.
    quint16* tiffDataForSave(bool fixedScale, double scaleMin, double scaleMax, bool asAnalyzed);
    void deglitch();
    void setDeglitchConds(double f, double r);
    void selectProcImg(bool f);
    void deglitch2(double limit);
    void copyProc2Data();
    void setFixedScale(bool f);
    void setScale(double min, double max);

public:
    int no = 0;
    QString name;
    // How messages name the map to the user, as scripts number it; the
    // owner sets it, the name stands in while it is empty. Not copied: it
    // names the place, not the values.
    QString title;
    AnalyzeCond grid;  // its width and height are the map's size
    bool hasImage = false;
    QImage* image = nullptr;         // over buffer; owned
    unsigned char* buffer = nullptr;  // padded scan lines; owned
    double* data = nullptr;          // width x height, row by row; owned
    double dataMin = 1e300, dataMax = -1e300;
    QPoint minPos, maxPos;
    double fixedMin = 1e300, fixedMax = -1e300;
    bool fixedScale = false;
    int format = QImage::Format_Grayscale8;
    int exportCount = 0;
    double procMin = 0, procMax = 1;
    double* proc = nullptr;  // width x height; owned
    double deglitchFactor = 2.0;
    double deglitchRatio = 0.9;
    bool showProc = false;
    BPFit fit;
    // Set bits: pixels no value was written to (0 in data, out of the fit),
    // as blocks of a calibration without a shift. Empty (the usual case):
    // every pixel holds its value. Reallocation empties it.
    QBitArray noValue;

private:
    void freeArrays();
    // Value at a block centre, or false when the centre lies outside the map.
    bool centreValue(const double* a, int x, int y, double* v) const;
};

#endif
