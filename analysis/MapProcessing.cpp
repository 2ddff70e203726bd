#include "MapProcessing.h"

#include "core/Analyzed2DRes.h"

double MapProcessing::combine(double a, double b, Op op)
{
    switch (op) {
    case Divide: return b == 0 ? 1.0 : a / b;
    case Mask: return b > 0 ? a : 0.0;
    case Subtract: break;
    }
    return a - b;
}

void MapProcessing::process(const Analyzed2DRes& m1, const Analyzed2DRes& m2, AnalyzeCond grid,
                            Op op, Analyzed2DRes& out)
{
    out.setCond(grid);
    if (!out.data) return;  // an empty grid has no block
    grid.reset();
    do {
        const int x = grid.curX, y = grid.curY;
        const double a = m1.blockSum(x, y, grid.xw, grid.yw);
        const double b = m2.blockSum(x, y, grid.xw, grid.yw);
        const double v = combine(a, b, op);
        out.setData(x, y, grid.xw, grid.yw, v);
    } while (grid.next());
}
