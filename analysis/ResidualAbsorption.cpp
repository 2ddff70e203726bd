#include "ResidualAbsorption.h"

#include <QDebug>
#include <cmath>

RaResult ResidualAbsorption::compute(const XafsSpectrum& s, double raFactor, double atEV)
{
    const double E = s.xShiftOn ? atEV - s.xShift : atEV;
    const double post = s.post.value(E);
    const double pre = s.pre.value(E);
    RaResult r;
    r.jump = post - pre;
    r.scaledJump = raFactor * r.jump;
    r.rest = pre - r.scaledJump;
    if (!std::isfinite(r.jump) || !std::isfinite(r.scaledJump) || !std::isfinite(r.rest)) {
        qDebug() << "ResidualAbsorption: background lines give no number at" << atEV << "eV";
        return RaResult();
    }
    return r;
}
