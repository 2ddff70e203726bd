#include "SuggestElm.h"

// Copper K edge with a +-20 eV window, switched off.
SuggestElm::SuggestElm()
    : useWindow(false),
      Z(29),
      edge(0),
      edgeEnergy(8984.36029),
      preOffset(-20),
      postOffset(20),
      noiseFactor(1.0)
{
}
