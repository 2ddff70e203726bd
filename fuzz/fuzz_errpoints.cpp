// Bad-pixel lists, then a repair of a small frame with the list read.
#include "FuzzSupport.h"

#include "core/ErrPoints.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::inputFile(data, size, "input.lst");
    ErrPoints list;
    list.read(path, false);
    list.read(path, true);
    for (int y = -1; y < 3; ++y)
        for (int x = -1; x < 3; ++x) list.contains(x, y);
    return 0;
}
