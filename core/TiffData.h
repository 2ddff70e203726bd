#ifndef TIFFDATA_H
#define TIFFDATA_H

#include "ErrPoints.h"

#include <QImage>
#include <QRectF>
#include <QSet>
#include <QString>
#include <QVector>

#include <cfloat>
#include <cstdint>

class ColorScale;

// One detector image of a stack. Rows keep the file's sample type. Every pixel
// read goes through pixelValue(): the alignment shift is subtracted and
// positions outside the image read 0, so display, box sums, dark areas and the
// bad-pixel repair all see the same shifted image.
class TiffData
{
public:
    // Sample type of rows.
    enum PixelType {
        TiffUInt16 = 0,  // 16-bit TIFF samples
        UInt16 = 1,      // IM, 2 bytes a pixel
        UInt32 = 2,      // IM, 4 bytes a pixel
        Float32 = 3,     // text image
        NoPixels = 4
    };

    // Larger images than any detector gives are refused by the readers
    // before anything is allocated: at most maxPixels pixels, and neither
    // side longer than maxSide, which also bounds the row table.
    static constexpr qint64 maxPixels = qint64(1) << 26;
    static constexpr qint64 maxSide = qint64(1) << 16;
    static bool sizeAllowed(qint64 w, qint64 h)
    {
        return w >= 0 && h >= 0 && w <= maxSide && h <= maxSide && w * h <= maxPixels;
    }

    int format = QImage::Format_Grayscale8;  // of the display image
    QString file;
    short bytesPerPixel = 2;
    uint32_t width = 0;
    uint32_t height = 0;
    int hdrX = 0;  // offset of the image on the detector (IM header)
    int hdrY = 0;
    const ErrPoints* errPs = &globalErrPoints;  // list used by the repair, not owned
    int scanlineSize = 0;
    double min = DBL_MAX;
    double max = DBL_MIN;  // smallest positive double: an all-zero image keeps it
    QVector<void*> rows;
    double energy = 0;
    ColorScale* cBar = nullptr;  // the bar showing this frame's range, not owned
    unsigned char* buffer = nullptr;
    QImage* image = nullptr;
    double exposureMs = 100.0;
    // Pages of the TIFF it came from; only the first is read.
    int pages = 1;
    int shiftX = 0;
    int shiftY = 0;
    int pixelType = NoPixels;

    TiffData() = default;
    ~TiffData();
    TiffData(const TiffData&) = delete;
    TiffData& operator=(const TiffData&) = delete;

    // Reads a TIFF, IM or text image, chosen by the first bytes of the file,
    // repairs the pixels of errList when errList.repairs() (TIFF and IM) and
    // builds the display image. The frame keeps its own copy of the list, so
    // the caller's may change or go away afterwards. On failure writes a debug
    // line, returns false and leaves the frame as it was.
    bool load(const QString& fileName, const ErrPoints& errList);
    // The same with the frame's current list (globalErrPoints at first).
    bool load(const QString& fileName);

    double pixelValue(int x, int y) const { return pixelValue(x, y, shiftX, shiftY); }
    // As if the frame's alignment shift were (sx, sy): a run reads with the
    // shifts it took at its start, whatever the frame holds meanwhile.
    double pixelValue(int x, int y, int sx, int sy) const
    {
        const int64_t c = int64_t(x) - sx;
        const int64_t r = int64_t(y) - sy;
        if (c < 0 || r < 0 || c >= int64_t(width) || r >= int64_t(height) || r >= rows.size())
            return 0.0;
        return sample(r, c);
    }

    void makeQImage();
    void applyRangeToColorBar();

    // Sum over columns x-|dx| .. x+|dx| and rows y-|dy| .. y+|dy|.
    double sumBox(int x, int y, int dx, int dy) const { return sumBox(x, y, dx, dy, shiftX, shiftY); }
    // With the alignment shift (sx, sy), as pixelValue.
    double sumBox(int x, int y, int dx, int dy, int sx, int sy) const
    {
        // A one-pixel box is the pixel; + 0.0 as the sum starts from 0.
        if (dx == 0 && dy == 0) return pixelValue(x, y, sx, sy) + 0.0;
        return sumWideBox(x, y, dx, dy, sx, sy);
    }
    // Box sum interpolated to energy over a stack sorted by ascending energy;
    // outside its range, that of the nearest frame.
    static double areaValue(const QVector<TiffData*>& stack, double energy, int x, int y,
                            int dx, int dy);
    // For a stack of at least two frames sorted by ascending energy: energy
    // held within the stack's range, and the frames a < b whose energies
    // enclose it.
    static void bracket(const QVector<TiffData*>& stack, double& energy, int& a, int& b);
    // Mean over columns x .. x+w and rows y .. y+h (integer parts); 0 when empty.
    double rectMean(const QRectF& r) const;
    // Mean of the good neighbours of pixel (x, y); 0 when there is none.
    double fixErrPoint(int x, int y) const;
    void fixErrPoints();

private:
    double sample(int64_t r, int64_t c) const
    {
        const void* row = rows[int(r)];
        switch (pixelType) {
        case TiffUInt16:
        case UInt16: return static_cast<const uint16_t*>(row)[c];
        case UInt32: return static_cast<const uint32_t*>(row)[c];
        case Float32: return static_cast<const float*>(row)[c];
        default: return 0.0;
        }
    }
    void setSample(int64_t r, int64_t c, double v);
    double sumWideBox(int x, int y, int dx, int dy, int sx, int sy) const;
    // fixErrPoint with the list's points looked up in listed, when given.
    double neighbourMean(int x, int y, const QSet<qint64>* listed) const;
    // Sum over display columns x0 .. x1 and rows y0 .. y1, both ends included.
    double sumArea(int64_t x0, int64_t x1, int64_t y0, int64_t y1, int sx, int sy) const;
    void resetRange();
    void freeRows();
    void adopt(TiffData& loaded);
    // One block for every row of `h` rows of `rowBytes` bytes; false (rows
    // empty) when memory is short.
    bool allocateRows(qint64 rowBytes, qint64 h);

    bool readTiff(const QString& fileName);
    int readImgHeader(const QString& fileName);
    bool readImg(const QString& fileName);
    int readTextHeader(const QString& fileName);
    bool readText(const QString& fileName);

    ErrPoints loadedErrPoints;  // the list that came with the last load
    // The readers' pixels: rows point into it. Rows put in by hand, without
    // a block, are each freed by pixel type.
    unsigned char* pixelBlock = nullptr;
};

// Deletes every frame of the list and empties it.
void deleteTiffDataList(QVector<TiffData*>& list);

#endif
