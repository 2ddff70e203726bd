#ifndef BPFIT_H
#define BPFIT_H

// Least-squares quadratic surface z = a x^2 + b y^2 + c x y + d x + e y + f,
// built from running sums so that adding a point costs constant work. Plain
// value type. Coefficients are in raw pixel coordinates.
class BPFit
{
public:
    BPFit() = default;

    void clear();
    // Points with a non-finite coordinate or value are ignored.
    void addPoint(double x, double y, double z);
    // Solves the normal equations from the sums (which stay unchanged). On a
    // singular or nearly singular system every coefficient becomes 0 and the
    // result is false.
    bool solve();
    // solve() with timing and result debug lines.
    bool calc();

    double valueAt(double x, double y) const
    {
        return a * x * x + b * y * y + c * x * y + d * x + e * y + f;
    }

    // Coefficients of x^2, y^2, xy, x, y, 1.
    double a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;

    // The sums are taken about the first point added (ox, oy), which keeps
    // them small and well conditioned at image coordinates; they are
    // re-centred on the points' mean when solving.
    double ox = 0, oy = 0;
    // Moment sums over the points so far.
    double sx4 = 0, sx3y = 0, sx2y2 = 0, sxy3 = 0, sy4 = 0;
    double sx3 = 0, sx2y = 0, sxy2 = 0, sy3 = 0;
    double sx2 = 0, sxy = 0, sy2 = 0;
    double sx = 0, sy = 0, n = 0;
    // Right-hand sums.
    double sx2z = 0, sy2z = 0, sxyz = 0, sxz = 0, syz = 0, sz = 0;
};

#endif
