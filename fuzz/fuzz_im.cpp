// The IM raw image: the input follows the two letters that select it.
#include "FuzzSupport.h"

#include "core/TiffData.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes{'I', 'M'};
    bytes.insert(bytes.end(), data, data + size);
    const QString path = fuzz::inputFile(bytes.data(), bytes.size(), "input.im");
    ErrPoints repair;
    repair.use = true;
    repair.points = {QPoint(1, 1), QPoint(0, 2)};
    TiffData d;
    d.load(path, repair);
    return 0;
}
