// Reference-energy lists: plain angle lists and angle files after "Offset".
#include "FuzzSupport.h"

#include "mainwindow/EnergyOfFiles.h"

#include <QTextStream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::folder();
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    for (int column : {0, 1}) {
        QTextStream in(bytes);
        EnergyOfFiles::readRefEnergies(in, column ? QStringLiteral("Offset") : QString(), column,
                                       3.13553);
    }
    return 0;
}
