// The Victoreen table of edges and absorption coefficients.
#include "FuzzSupport.h"

#include "core/Elements.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::inputFile(data, size, "input.tbl");
    loadVictoreenTable(path);
    return 0;
}
