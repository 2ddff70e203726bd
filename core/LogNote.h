#ifndef LOGNOTE_H
#define LOGNOTE_H

#include <QString>

// What the program tells the user of a run (a load's verdict, how many blocks
// of a 2-D run got no result, a save that failed): in a script run these are
// lines of the batch log, kept whatever the debug rules say; otherwise they
// go to the debug output. Safe to call from any thread.
namespace LogNote {

// Takes the text and answers whether it carried it; false sends it to the
// debug output.
using Sink = bool (*)(const QString& text);

// Set once, before threads that say things run.
void setSink(Sink sink);
void say(const QString& text);

}  // namespace LogNote

#endif
