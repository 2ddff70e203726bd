#ifndef DARKFRAMES_H
#define DARKFRAMES_H

#include "core/TiffData.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// A w x h frame of the given pixel type whose stored sample at column c, row
// r is stored(c, r), rows allocated as the readers do.
inline std::unique_ptr<TiffData> makeDarkFrame(int type, int w, int h,
                                               const std::function<double(int, int)>& stored,
                                               int shiftX = 0, int shiftY = 0)
{
    auto d = std::make_unique<TiffData>();
    d->width = uint32_t(w);
    d->height = uint32_t(h);
    d->pixelType = type;
    d->shiftX = shiftX;
    d->shiftY = shiftY;
    for (int r = 0; r < h; ++r) {
        void* row = nullptr;
        switch (type) {
        case TiffData::UInt16: row = new uint16_t[size_t(w)]; break;
        case TiffData::UInt32: row = new uint32_t[size_t(w)]; break;
        default: row = new float[size_t(w)]; break;
        }
        for (int c = 0; c < w; ++c) {
            const double x = stored(c, r);
            switch (type) {
            case TiffData::UInt16: static_cast<uint16_t*>(row)[c] = uint16_t(x); break;
            case TiffData::UInt32: static_cast<uint32_t*>(row)[c] = uint32_t(x); break;
            default: static_cast<float*>(row)[c] = float(x); break;
            }
        }
        d->rows.append(row);
    }
    return d;
}

// Owns frames and hands out the stack as the main window keeps it.
struct DarkStack
{
    std::vector<std::unique_ptr<TiffData>> frames;
    QVector<TiffData*> stack;

    void add(std::unique_ptr<TiffData> f)
    {
        stack.append(f.get());
        frames.push_back(std::move(f));
    }
};

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
    return f.readAll();
}

#endif
