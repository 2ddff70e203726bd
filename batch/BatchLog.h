#ifndef BATCHLOG_H
#define BATCHLOG_H

#include <QString>

// What the batch log shows of a text, and the copy of the log that a script
// run without a screen writes on standard error for the pipeline that reads
// it. Safe to call from any thread.
namespace BatchLog {

// Longest line the log keeps; a longer one is cut and says how much was cut.
constexpr int maxShownLine = 1000;
// Each line of text cut to maxShownLine characters.
QString shown(const QString& text);

// Set once before the batch side is built; read from both threads.
void setToStandardError(bool on);
bool toStandardError();
// Writes text (already shown) on standard error, each line whole, ending in
// a line break, when the copy is on.
void write(const QString& text);

}  // namespace BatchLog

#endif
