#include "EdgeShift.h"

#include <QDebug>
#include <cmath>

double EdgeShift::midPoint(const XafsSpectrum& s, const SuggestElm& sElm, double midRatio)
{
    // The normalisation already found the edge at its own fraction.
    const double E = (midRatio == s.fraction) ? s.midx : s.energyAtFraction(midRatio);
    const double d = E - s.energyOffset - sElm.edgeEnergy;
    if (!std::isfinite(d)) {
        qDebug() << "EdgeShift: edge position is not a number, taken as 0";
        return 0.0;
    }
    return d;
}

double EdgeShift::compared(const XafsSpectrum& s, const XafsSpectrum& ref, double range,
                           double step, double minStep)
{
    // Compared with nothing, the search would end at the far end of its range.
    if (ref.points.isEmpty()) {
        qDebug() << "EdgeShift: no reference spectrum to compare with, taken as 0";
        return 0.0;
    }
    if (step > 0 && std::isfinite(step) && std::fabs(range) / step > MaxTrialsPerPass / 2) {
        qDebug() << "EdgeShift: comparison range" << range << "too wide for the step" << step;
        return 0.0;
    }
    const double d = s.findEnergyShift(ref, range, step, minStep) - s.energyOffset;
    if (!std::isfinite(d)) {
        qDebug() << "EdgeShift: energy shift is not a number, taken as 0";
        return 0.0;
    }
    return d;
}

double EdgeShift::dEdge(const XafsSpectrum& s, const SuggestElm& sElm, bool isMidPoint,
                        double midRatio, const XafsSpectrum& ref, double range, double step,
                        double minStep)
{
    if (isMidPoint)
        return midPoint(s, sElm, midRatio);
    return compared(s, ref, range, step, minStep);
}

Spectrum EdgeShift::stepSpectrum(double at, double width, double spacing)
{
    Spectrum sp;
    if (!(spacing > 0) || !std::isfinite(spacing) || !std::isfinite(at)
        || !std::isfinite(width)) {
        qDebug() << "EdgeShift: no step reference for spacing" << spacing;
        return sp;
    }
    if (width / spacing > MaxStepPoints) {
        qDebug() << "EdgeShift: step reference of" << width / spacing << "points refused";
        return sp;
    }
    const double end = at + width / 2;
    for (double x = at - width / 2; x < end;) {
        sp.append(x, x >= at ? 1.0 : 0.0);
        const double next = x + spacing;
        if (next == x)  // the spacing is lost against the energy
            break;
        x = next;
    }
    return sp;
}

XafsSpectrum EdgeShift::stepReference(double at, double width, double spacing)
{
    SuggestElm e;
    e.useWindow = false;
    e.Z = 29;
    e.edge = 0;
    e.edgeEnergy = 8984.36029;
    e.preOffset = -20;
    e.postOffset = 20;
    e.noiseFactor = 1.0;
    return XafsSpectrum(stepSpectrum(at, width, spacing), QStringLiteral("DEdge Step"), 1, 0.0, e);
}
