#ifndef SUPPORT_MAPS_H
#define SUPPORT_MAPS_H

#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"

#include <functional>

// Result maps of one-pixel blocks, every pixel's value given by a function.
namespace ts {

inline AnalyzeCond pixelGrid(int w, int h)
{
    AnalyzeCond g;
    g.set(w, h, 0, 0, 0, 0, w, h, -1, -1);
    return g;
}

// Fills map with f(x, y) over w x h pixels and returns its grid.
inline AnalyzeCond fillMap(Analyzed2DRes& map, int w, int h, const std::function<double(int, int)>& f)
{
    const AnalyzeCond g = pixelGrid(w, h);
    map.setCond(g);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) map.setData(x, y, 0, 0, f(x, y));
    return g;
}

}  // namespace ts

#endif
