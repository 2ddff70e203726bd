#include "FailureLog.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex mutex;
int failures = 0;
QString firstText;
}  // namespace

namespace FailureLog {

void note(const QString& what)
{
    QMutexLocker lock(&mutex);
    if (failures++ == 0) firstText = what;
}

int count()
{
    QMutexLocker lock(&mutex);
    return failures;
}

QString first()
{
    QMutexLocker lock(&mutex);
    return firstText;
}

void reset()
{
    QMutexLocker lock(&mutex);
    failures = 0;
    firstText.clear();
}

}  // namespace FailureLog
