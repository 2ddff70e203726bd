// Byte maps in each of the three modes.
#include "FuzzSupport.h"

#include "tools/ByteMap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::inputFile(data, size, "input.map");
    ByteMap map;
    map.reallocate(4, 4);
    for (int mode : {0, 1, 2, 3}) readByteMap(map, path, mode);
    return 0;
}
