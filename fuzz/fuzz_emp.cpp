// Energy-shift map files, read with and without the size check.
#include "FuzzSupport.h"

#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "tools/EShiftMapFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::inputFile(data, size, "input.emp");
    for (bool check : {false, true}) {
        Analyzed2DRes map;
        EMPHeader header;
        AnalyzeCond grid;
        EShiftMapFile::LoadSettings settings;
        settings.checkSize = check;
        if (EShiftMapFile::load(path, map, header, grid, settings) == EShiftMapFile::LoadResult::Loaded) {
            // Walking the grid the file set up must end.
            grid.reset();
            for (qint64 n = 0; n < (qint64(1) << 20) && grid.next(); ++n) {
            }
        }
    }
    return 0;
}
