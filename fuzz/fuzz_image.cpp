// Image files of any format, chosen by their first bytes.
#include "FuzzSupport.h"

#include "core/TiffData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::inputFile(data, size, "input.img");
    TiffData d;
    d.load(path, ErrPoints());
    return 0;
}
