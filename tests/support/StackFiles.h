#ifndef SUPPORT_STACKFILES_H
#define SUPPORT_STACKFILES_H

#include "mainwindow/Body.h"
#include "support/Files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>


// Stack files (written through Files.h) loaded into a main window the way
// the file selectors and the batch commands load them.
namespace ts {

// Loads files as a new stack and waits until the window has handled the
// completion; false on time-out.
inline bool loadFiles(Body& b, const QStringList& files, bool i1)
{
    QSignalSpy done(&b, &Body::finishBatchExec);
    if (i1)
        b.readI1Files(files, true);
    else
        b.readI0Files(files, true);
    QElapsedTimer t;
    t.start();
    while (done.isEmpty() && t.elapsed() < 20000) done.wait(100);
    // Anything the window queued after the completion runs too.
    QTest::qWait(20);
    QCoreApplication::processEvents();
    return !done.isEmpty();
}

}  // namespace ts

#endif
