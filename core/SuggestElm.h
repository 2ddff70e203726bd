#ifndef SUGGESTELM_H
#define SUGGESTELM_H

#include <QMetaType>

// The element and edge a spectrum is analysed against, with the window around
// the suggested edge energy that limits the first E0 guess and judges the
// result. A plain value: it travels whole through queued signals.
class SuggestElm
{
public:
    SuggestElm();

    bool useWindow;
    int Z;
    int edge;            // 0 K, 1 LI, 2 LII, 3 LIII
    double edgeEnergy;   // eV
    double preOffset;    // window start relative to edgeEnergy (eV)
    double postOffset;   // window end relative to edgeEnergy (eV)
    double noiseFactor;  // scales the line residuals in the noise test
};

Q_DECLARE_METATYPE(SuggestElm)

#endif
