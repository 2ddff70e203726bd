#ifndef SUPPORT_FRAMES_H
#define SUPPORT_FRAMES_H

#include "core/TiffData.h"

#include <QVector>

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// Image frames and stacks built in memory, rows allocated as the readers do.
namespace ts {

using PixelFn = std::function<double(int c, int r)>;

inline TiffData* frame(int type, int w, int h, const PixelFn& stored, double energy = 0,
                       const QString& file = QString(), int shiftX = 0, int shiftY = 0)
{
    auto* d = new TiffData;
    d->width = uint32_t(w);
    d->height = uint32_t(h);
    d->pixelType = type;
    d->bytesPerPixel = type == TiffData::UInt32 || type == TiffData::Float32 ? 4 : 2;
    d->energy = energy;
    d->file = file;
    d->shiftX = shiftX;
    d->shiftY = shiftY;
    for (int r = 0; r < h; ++r) {
        void* row = nullptr;
        switch (type) {
        // TiffData frees these rows with libtiff, as the TIFF reader allocates them.
        case TiffData::TiffUInt16: row = _TIFFmalloc(tmsize_t(w) * 2); break;
        case TiffData::UInt16: row = new uint16_t[size_t(w)]; break;
        case TiffData::UInt32: row = new uint32_t[size_t(w)]; break;
        default: row = new float[size_t(w)]; break;
        }
        for (int c = 0; c < w; ++c) {
            const double x = stored(c, r);
            d->min = std::min(d->min, x);
            d->max = std::max(d->max, x);
            switch (type) {
            case TiffData::TiffUInt16:
            case TiffData::UInt16: static_cast<uint16_t*>(row)[c] = uint16_t(x); break;
            case TiffData::UInt32: static_cast<uint32_t*>(row)[c] = uint32_t(x); break;
            default: static_cast<float*>(row)[c] = float(x); break;
            }
        }
        d->rows.append(row);
    }
    return d;
}

inline TiffData* floatFrame(int w, int h, const PixelFn& stored, double energy = 0,
                            const QString& file = QString())
{
    return frame(TiffData::Float32, w, h, stored, energy, file);
}

// Owns its frames and hands them out as the main window keeps a stack.
struct Stack
{
    QVector<TiffData*> frames;

    Stack() = default;
    Stack(const Stack&) = delete;
    Stack& operator=(const Stack&) = delete;
    ~Stack() { deleteTiffDataList(frames); }

    TiffData* add(TiffData* f)
    {
        frames.append(f);
        return f;
    }
    TiffData* operator[](int i) const { return frames[i]; }
    int size() const { return frames.size(); }
};

}  // namespace ts

#endif
