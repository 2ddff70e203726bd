// Spectrum files, angle ("9809") and energy / mu kinds, then normalised.
#include "FuzzSupport.h"

#include "core/XafsSpectrum.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::inputFile(data, size, "input.dat");
    XafsSpectrum s;
    s.loadAndCalc(path);
    return 0;
}
