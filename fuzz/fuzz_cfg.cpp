// Configuration files; the input may INCLUDE itself by its own name.
#include "FuzzSupport.h"

#include "core/Cfg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::enterFolder();
    const QString path = fuzz::inputFile(data, size, "fuzz.cfg");
    Cfg cfg;
    cfg.readFile(path);
    cfg.valueAnyCase(QStringLiteral("ErrPoints"));
    cfg.values(QStringLiteral("BATCH"), cfg.histUpKeys, cfg.histRests);
    return 0;
}
