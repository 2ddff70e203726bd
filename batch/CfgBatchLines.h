#ifndef CFGBATCHLINES_H
#define CFGBATCHLINES_H

#include <QStringList>

class Cfg;

// The script lines of the configuration: the text after every "batch" key
// (any case), in the order read, each occurrence. Also listed on the debug
// output between two banner lines.
QStringList batchLinesOfCfg(const Cfg& cfg);

#endif
