#ifndef RESIDUALABSORPTION_H
#define RESIDUALABSORPTION_H

#include <QMetaType>

#include "core/XafsSpectrum.h"

// What remains of the absorption at one energy once a multiple of the edge
// jump is taken away: jump = post - pre, scaledJump = factor x jump,
// rest = pre - scaledJump, with the background lines evaluated there.
struct RaResult
{
    double jump = 0;
    double scaledJump = 0;
    double rest = 0;
};

Q_DECLARE_METATYPE(RaResult)

class ResidualAbsorption
{
public:
    // atEV is a measured energy; the lines are functions of the spectrum's
    // shifted energy, so with its x shift on they are read at atEV - shift.
    // Lines that give no number there (a Victoreen line at 0 eV) give zeros.
    static RaResult compute(const XafsSpectrum& s, double raFactor, double atEV);
};

#endif
