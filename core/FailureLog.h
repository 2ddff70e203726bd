#ifndef FAILURELOG_H
#define FAILURELOG_H

#include <QString>

// What failed or was refused during this run of the program (a load, a save,
// a 2-D run, a calibration, a script line): a script run ends with a non-zero
// status when anything did. Safe to call from any thread.
namespace FailureLog {

// Counts one failure; the first one's text is kept.
void note(const QString& what);
int count();
QString first();
void reset();

}  // namespace FailureLog

#endif
