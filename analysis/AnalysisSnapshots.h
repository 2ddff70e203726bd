#ifndef ANALYSISSNAPSHOTS_H
#define ANALYSISSNAPSHOTS_H

#include <QMetaType>
#include <QVector>

#include <cmath>

#include "core/Spectrum.h"
#include "core/XafsSpectrum.h"

// What the analyses read of the panel's rows and forms, copied on the GUI
// thread when a request is sent. The worker computes on these copies only, so
// it never touches a widget or a row that the GUI thread may change or delete
// meanwhile. The curves are implicitly shared, so a copy costs little.

// One reference row of the linear-combination fits.
struct LcfRefSnapshot
{
    bool use = false;      // its Use box is checked and it holds a file
    double minX = 1e300;   // energy range of the reference's own points
    double maxX = -1e300;
    double dE = 0;         // the row's energy shift; 0 while its shift is off
    double curveShift = 0; // the shift already in the curves' energies (built at x - shift)
    Spectrum preBase;      // double-normalised pre-base curve (mu - pre) / (post - pre)
    Spectrum postBase;     // post-base normalised curve (mu - post) / (post - pre)
    double fraction = 0;   // the fraction the row holds now
    // The reference as measured (its own energies, no shift) and its edge
    // jump over its own scan: the LCF normalises it again at a block's
    // energies and ranges and compares the two jumps. ownJump 0: refused.
    Spectrum mu;
    double ownJump = 0;

    // The row's numbers taken from its spectrum (an LCFReference is one).
    static LcfRefSnapshot of(const XafsSpectrum& s, bool use, double fraction,
                             double curveShift = 0)
    {
        LcfRefSnapshot r;
        r.use = use && !s.points.isEmpty();
        r.minX = s.minX;
        r.maxX = s.maxX;
        r.dE = s.xShiftOn ? s.xShift : 0.0;
        r.preBase = s.doubleNormalizedPreBaseCurve;
        r.postBase = s.doubleNormalizedPostBaseCurve;
        r.fraction = fraction;
        r.curveShift = curveShift;
        r.mu.points = s.points;
        r.mu.minX = s.minX;
        r.mu.maxX = s.maxX;
        r.ownJump = !s.refused() && s.dMut > 0 && std::isfinite(s.dMut) ? s.dMut : 0.0;
        return r;
    }
};

// The conditions of one element row, read from its fields as numbers (text
// that does not parse reads as 0).
struct ElemRowSnapshot
{
    double e0 = 0;          // Eng: expected edge energy (eV)
    double dE = 20;         // PrePostDE: half-width of the edge step (eV)
    double roiStart = 7000; // ROIs
    double roiEnd = 7005;   // ROIe
    double thDMut = 0.1;    // ThDMut
    bool noNeg = true;      // NoNeg checked
};

// The background values of the element form, written where a row's edge
// step does not exceed its threshold.
struct ElemBackground
{
    double dmut = 0;   // BGVDMut; also mu above and below the edge
    double dE = 0;     // BGVDE
    double roi = -1;   // BGVROI
    double nroi = -1;  // BGVNROI
};

Q_DECLARE_METATYPE(LcfRefSnapshot)
Q_DECLARE_METATYPE(ElemRowSnapshot)
Q_DECLARE_METATYPE(ElemBackground)

#endif
