// The text image: the input follows the header word that selects it.
#include "FuzzSupport.h"

#include "core/TiffData.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char head[] = "#QDRN-CTImg\n";
    std::vector<uint8_t> bytes(head, head + std::strlen(head));
    bytes.insert(bytes.end(), data, data + size);
    const QString path = fuzz::inputFile(bytes.data(), bytes.size(), "input.txt");
    TiffData d;
    d.load(path, ErrPoints());
    return 0;
}
