#include "BatchLog.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

std::atomic<bool> copyOn{false};
std::atomic<bool> hurried{false};
static_assert(ATOMIC_BOOL_LOCK_FREE == 2, "hurry() runs in a signal handler");

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// What a queued text costs besides its bytes.
constexpr qint64 entryCost = 64;
// The writer takes at most this much at a time and writes it in pieces, so
// that a reader's progress is seen piece by piece.
constexpr int takeBytes = 64 * 1024;
constexpr int pieceBytes = 4096;

class Writer {
public:
    void start()
    {
        progress = nowMs();
        thread = QThread::create([this] { run(); });
        thread->start();
    }

    void put(QByteArray bytes)
    {
        std::unique_lock<std::mutex> lock(m);
        if (finished) {
            lock.unlock();
            // The reader took all before; it gets the program's last words.
            if (drained) writeOut(bytes);
            return;
        }
        const qint64 cost = bytes.size() + entryCost;
        while (queued + cost > BatchLog::maxQueuedBytes && !queue.empty()) {
            if (!readerGone())
                hasRoom.wait_for(lock, std::chrono::milliseconds(20));
            else
                dropOldest();
        }
        // Worded here, on a thread of the program's own: the writer may
        // outlive the application and its translator.
        if (dropped > 0) {
            const int leftOut = int(std::min<qint64>(dropped, INT_MAX));
            leftOutNote = (QCoreApplication::translate("BatchDispatcher", "(%n line(s) of the log left out)", "", leftOut)
                           + QLatin1Char('\n'))
                              .toUtf8();
        }
        queued += cost;
        queue.push_back(std::move(bytes));
        lock.unlock();
        hasText.notify_one();
    }

    bool finish(int ms)
    {
        std::unique_lock<std::mutex> lock(m);
        if (finished) return drained;
        stopping = true;
        hasText.notify_all();
        const qint64 start = nowMs();
        // A reader that keeps up gets every line; for one that took nothing
        // for ms, or a program ending on a signal, nobody waits beyond ms.
        while (!(queue.empty() && !writing)) {
            if (nowMs() - start >= ms && (hurried || broken || nowMs() - progress >= ms)) break;
            idle.wait_for(lock, std::chrono::milliseconds(10));
        }
        drained = queue.empty() && !writing;
        finished = true;
        lock.unlock();
        if (drained) thread->wait();
        return drained;
    }

private:
    bool readerGone() const { return hurried || broken || nowMs() - progress >= BatchLog::stallMs; }

    void dropOldest()
    {
        dropped += queue.front().count('\n');
        queued -= queue.front().size() + entryCost;
        queue.pop_front();
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(m);
        for (;;) {
            hasText.wait(lock, [this] { return !queue.empty() || stopping; });
            if (queue.empty()) break;
            const QByteArray note = dropped > 0 ? leftOutNote : QByteArray();
            dropped = 0;
            QByteArray chunk;
            while (!queue.empty() && chunk.size() < takeBytes) {
                chunk += queue.front();
                queued -= queue.front().size() + entryCost;
                queue.pop_front();
            }
            writing = true;
            progress = nowMs();
            lock.unlock();
            hasRoom.notify_all();
            // Dropped lines stood right before what is now written.
            chunk.prepend(note);
            writeOut(chunk);
            lock.lock();
            writing = false;
            idle.notify_all();
        }
        writing = false;
        idle.notify_all();
    }

    void writeOut(const QByteArray& bytes)
    {
        for (int at = 0; at < bytes.size() && !broken;) {
            const int n = std::min(pieceBytes, bytes.size() - at);
#ifdef Q_OS_UNIX
            // Not through stdio: a write stuck on the reader would hold the
            // stream's lock against every other thread's stderr.
            const ssize_t put = ::write(STDERR_FILENO, bytes.constData() + at, size_t(n));
            if (put < 0 && errno == EINTR) continue;
#else
            const qint64 put = qint64(fwrite(bytes.constData() + at, 1, size_t(n), stderr));
            fflush(stderr);
#endif
            // A closed or failing standard error takes nothing more; the
            // program must not wait for it.
            if (put <= 0) {
                broken = true;
                break;
            }
            at += int(put);
            progress = nowMs();
        }
    }

    std::mutex m;
    std::condition_variable hasText, hasRoom, idle;
    std::deque<QByteArray> queue;
    qint64 queued = 0;
    qint64 dropped = 0;  // lines dropped just before the queue's first
    QByteArray leftOutNote;  // what says so
    bool writing = false, stopping = false, finished = false, drained = false;
    std::atomic<bool> broken{false};
    std::atomic<qint64> progress{0};  // ms of the reader's last progress
    QThread* thread = nullptr;
};

// Made once and never freed: a writer stuck on a stalled reader outlives main.
Writer* writer = nullptr;
QtMessageHandler previousHandler = nullptr;

void routed(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        writer->finish(BatchLog::stallMs);
        previousHandler(type, context, text);
        return;
    }
    writer->put((qFormatLogMessage(type, context, text) + QLatin1Char('\n')).toUtf8());
}

}  // namespace

namespace BatchLog {

QString shown(const QString& text)
{
    if (text.size() <= maxShownLine)
        return text;
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.size() > maxShownLine)
            line = QCoreApplication::translate("BatchCtrl", "%1… (%2 more characters not shown)")
                       .arg(line.left(maxShownLine), QString::number(line.size() - maxShownLine));
    }
    return lines.join(QLatin1Char('\n'));
}

void setToStandardError(bool on)
{
    if (on && !writer) {
        writer = new Writer;
        writer->start();
    }
    copyOn = on && writer;
}

bool toStandardError()
{
    return copyOn;
}

void write(const QString& text)
{
    if (!copyOn || text.isEmpty())
        return;
    QByteArray bytes = text.toUtf8();
    if (!bytes.endsWith('\n'))
        bytes += '\n';
    // One text at a time: lines of the two threads do not interleave.
    writer->put(std::move(bytes));
}

void routeMessages()
{
    if (writer && !previousHandler)
        previousHandler = qInstallMessageHandler(routed);
}

void hurry()
{
    hurried.store(true, std::memory_order_relaxed);
}

bool finish(int ms)
{
    return writer ? writer->finish(ms) : true;
}

}  // namespace BatchLog
