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

// Set once before the batch side is built; read from both threads. On, a
// writer thread of its own carries the copy to standard error: no thread of
// the program waits for a reader that stopped reading.
void setToStandardError(bool on);
bool toStandardError();
// Queues text (already shown) for standard error, each line whole, ending in
// a line break, when the copy is on. Waits while the reader is behind but
// still reading; a reader that took nothing for stallMs (or a program
// ending on a signal) has the oldest queued lines dropped instead, and the
// next line it gets says how many.
void write(const QString& text);
// The program's debug and warning output goes through the same queue, in
// order with the log. Only while the copy is on.
void routeMessages();
// Nobody waits for the reader any more. Async-signal-safe.
void hurry();
// The program ends, the text written last being its last line: a reader
// that keeps taking gets everything, however slowly it reads. One that took
// nothing for stallMs, or any reader ms after finish when the program ends
// on a signal, has what it did not take dropped but the last text, after
// the note saying how much, and gets ms more to take them. True when all
// was written. Later texts are dropped.
bool finish(int ms);

// Bytes the queue holds at most while the reader is behind.
constexpr int maxQueuedBytes = 1 << 20;
// A reader that took nothing at all for this long counts as stalled.
constexpr int stallMs = 10000;

}  // namespace BatchLog

#endif
