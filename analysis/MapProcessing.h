#ifndef MAPPROCESSING_H
#define MAPPROCESSING_H

#include "core/AnalyzeCond.h"

class Analyzed2DRes;

// Two maps combined block by block on a grid: each block of the result holds
// the combination of the two maps' sums over that block. The maps need not
// share a size; cells outside a map count 0.
class MapProcessing
{
public:
    enum Op { Subtract, Divide, Mask };

    // a - b; a / b (1.0 when b is exactly 0); a where b > 0, else 0.
    static double combine(double a, double b, Op op);
    // out takes the grid (zeroed) and one value per block.
    static void process(const Analyzed2DRes& m1, const Analyzed2DRes& m2, AnalyzeCond grid, Op op,
                        Analyzed2DRes& out);
};

#endif
