#ifndef VICTLINE_H
#define VICTLINE_H

#include <QPointF>
#include <QVector>

#include "PhysConst.h"
#include "Spectrum.h"

// One background line of an absorption spectrum (pre-edge or post-edge):
// either the Victoreen form c0 + (c1 + c2 L) L^3 with L the wavelength in
// angstrom, or a straight line c0 + k E. The inherited points hold the
// sampled correction curve that bends a straight line towards the other line
// beyond its fit range.
class VictLine : public Spectrum
{
public:
    VictLine() = default;

    // The line's value at E (eV), correction included where it is in force.
    double value(double E) const
    {
        if (correctionOn && (correctionSide ? E > fitTo : E < fitFrom)) {
            if (correctionType == 2)
                return Spectrum::y(E);
            return ((a * E + b) * E + c) * E + d;
        }
        return baseValue(E);
    }
    // The fitted form alone, without the correction.
    double baseValue(double E) const
    {
        if (lineType == 0) {
            const double L = PhysConst::hc / E;
            return (c2 * L + c1) * (L * L * L) + c0;
        }
        return k * E + c0;
    }

    // The points from `from` up to `to`, `to` itself left out unless
    // withTo; sigma is the rms residual of the points fitted. With bySpan
    // each point weighs the energy it stands for (half the way to each
    // neighbour in the range) instead of all alike; sigma and the spread of
    // energies stay those of the points.
    bool fit(const Spectrum& source, double from, double to, int type, bool withTo = false,
             bool bySpan = false);
    bool fitVictoreen(const Spectrum& source, double from, double to, bool withTo = false,
                      bool bySpan = false);
    bool fitLinear(const Spectrum& source, double from, double to, bool withTo = false,
                   bool bySpan = false);

    // A straight line of the given slope through the mean of the points from
    // `from` up to `to` (`to` itself only if withTo): k is the slope, c0
    // makes the line pass through the points' mean energy and value. False
    // without a point in range.
    bool fitLevel(const Spectrum& source, double from, double to, double slope, bool withTo = false);

    // Called on the pre-edge line with the post-edge line, and the reverse.
    void correctWithPost(const VictLine& post);
    void correctWithPre(const VictLine& pre);
    void genInterpolatedInPost(const VictLine& post);
    void genInterpolatedInPre(const VictLine& pre);

    bool fitted = false;
    int lineType = 1;          // 0 Victoreen, anything else straight
    double c0 = 0;
    double c1 = 0;
    double c2 = 0;
    double k = 0;
    double sigma = 0;
    int fitCount = 0;
    // The energies fitted: their mean and the sum of their squared
    // distances from it (what a point's leverage on the fit comes from).
    double fitMeanE = 0;
    double fitSpreadE = 0;
    double fitFrom = 0;
    double fitTo = 0;
    int correctionType = 2;    // 2: sampled Bezier curve; else the cubic a..d
    bool correctionOn = false;
    bool correctionSide = true;  // true: above fitTo; false: below fitFrom
    double a = 0;
    double b = 0;
    double c = 0;
    double d = 0;
    QVector<QPointF> controlPoints;

private:
    void spreadOfEnergies(double n, double sum, double sumSquares);
    double residual(const Spectrum& source, double from, double to, bool includeTo);
    void sampleBezier();
};

#endif
