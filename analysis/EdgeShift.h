#ifndef EDGESHIFT_H
#define EDGESHIFT_H

#include "core/Spectrum.h"
#include "core/SuggestElm.h"
#include "core/XafsSpectrum.h"

// How far, in eV, the absorption edge of a spectrum lies from a reference
// position: either where the spectrum crosses a fraction between its
// background lines, less the suggested edge energy, or the energy shift that
// matches it best to a reference spectrum.
class EdgeShift
{
public:
    // The largest number of trial shifts in one pass of the comparison; a
    // wider range or a finer step would stall the worker for minutes.
    static constexpr double MaxTrialsPerPass = 100000;
    // The largest number of points of a generated step reference.
    static constexpr int MaxStepPoints = 2000000;

    static double midPoint(const XafsSpectrum& s, const SuggestElm& sElm, double midRatio);
    static double compared(const XafsSpectrum& s, const XafsSpectrum& ref, double range,
                           double step, double minStep);
    static double dEdge(const XafsSpectrum& s, const SuggestElm& sElm, bool isMidPoint,
                        double midRatio, const XafsSpectrum& ref, double range, double step,
                        double minStep);

    // A unit step at `at`: points from at - width / 2 by `spacing` while below
    // at + width / 2, 1.0 from `at` on, else 0. Empty when the spacing is not
    // positive or would give more than MaxStepPoints points.
    static Spectrum stepSpectrum(double at, double width, double spacing);
    // The step normalised as the comparison reference "DEdge Step".
    static XafsSpectrum stepReference(double at, double width, double spacing);
};

#endif
