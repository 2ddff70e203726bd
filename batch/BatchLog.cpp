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
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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
// Written at most at once: a pipe takes this much whole or not at all, so a
// write waits for nothing once the pipe says it has room, and the writer
// stays free to give up on a reader between two pieces.
constexpr int pieceBytes = 4096;
// How often a writer waiting for room looks whether it should give up.
constexpr int pollMs = 20;
// A pipe is filled to half at most but for the last words: a reader that
// stalled and is cut off finds the left-out note and the closing count when
// it reads again. Half: a page of the pipe may hold as little as half a page
// of text, and the last words need a free one.
constexpr int smallestPipe = 16 * pieceBytes;

#ifdef Q_OS_UNIX
// The size of the pipe on fd, 0 when fd is no pipe or its fill cannot be read.
int pipeSize(int fd)
{
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) return 0;
#ifdef F_GETPIPE_SZ
    const int size = ::fcntl(fd, F_GETPIPE_SZ);
    int unread = 0;
    if (size > 0 && ::ioctl(fd, FIONREAD, &unread) == 0) return size;
#endif
    return 0;
}

// How the bytes written to fd and not yet taken by its reader are counted.
enum class Unsent { unknown, unread, outQueue };

Unsent unsentKind(int fd)
{
    struct stat st = {};
    if (::fstat(fd, &st) != 0) return Unsent::unknown;
    if (S_ISFIFO(st.st_mode)) return Unsent::unread;
    if (S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode)) return Unsent::outQueue;
    return Unsent::unknown;
}

// Bytes written to fd that its reader has not taken, -1 when unknown.
int unsentBytes(int fd, Unsent kind)
{
    int n = 0;
    if (kind == Unsent::unread) return ::ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
#ifdef TIOCOUTQ
    if (kind == Unsent::outQueue) return ::ioctl(fd, TIOCOUTQ, &n) == 0 ? n : -1;
#endif
    return -1;
}
#endif

class Writer {
public:
    void start()
    {
#ifdef Q_OS_UNIX
        pipeBytes = pipeSize(STDERR_FILENO);
        // A pipe too small to spare half keeps no room.
        if (pipeBytes < smallestPipe) pipeBytes = 0;
        unsent = unsentKind(STDERR_FILENO);
#endif
        progress = nowMs();
        thread = QThread::create([this] { run(); });
        thread->start();
    }

    void put(QByteArray bytes)
    {
        std::unique_lock<std::mutex> lock(m);
        // The closing line is the last; whatever comes after it is dropped.
        if (stopping) return;
        const qint64 cost = bytes.size() + entryCost;
        while (queued + cost > BatchLog::maxQueuedBytes && !queue.empty()) {
            if (!readerGone())
                hasRoom.wait_for(lock, std::chrono::milliseconds(20));
            else
                dropOldest();
        }
        noteDropped();
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
        // A reader that keeps taking, however slowly, gets every line and
        // the last; one that took nothing for as long as the run would wait,
        // or any reader once a signal asked for the end, no longer holds up
        // the program.
        while (!done() && !broken) {
            if ((hurried && nowMs() - start >= ms) || stalled()) break;
            idle.wait_for(lock, std::chrono::milliseconds(10));
        }
        // The writer may hold the last text already; then there is nothing
        // to drop, and it has had its time.
        if (!queue.empty() && !broken) {
            // The last text (the closing count) stays; what stood before it
            // and was not taken goes, and the note says how much.
            const QByteArray last = queue.back();
            queue.pop_back();
            queued -= last.size() + entryCost;
            while (!queue.empty()) dropOldest();
            // The piece under way is given up at its next line end.
            giveUp = true;
            idle.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !writing || broken; });
            noteDropped();
            queued += last.size() + entryCost;
            queue.push_back(last);
            giveUp = false;
            hasText.notify_all();
            // Written if the reader takes anything at all now.
            const qint64 cut = nowMs();
            while (!done() && !broken && nowMs() - cut < ms) idle.wait_for(lock, std::chrono::milliseconds(10));
        }
        // Nothing of the writer's may still wait for the reader: a piece it
        // holds would keep the program from ending.
        drained = done();
        finished = true;
        lock.unlock();
        if (drained) thread->wait();
        return drained;
    }

private:
    bool done() const { return queue.empty() && !writing; }
    // Only while there is something to write: a writer idle for minutes
    // has a reader that waited for nothing.
    bool stalled() const { return writing && nowMs() - progress >= BatchLog::stallMs; }
    bool readerGone() const { return hurried || broken || stalled(); }

    void dropOldest()
    {
        dropped += queue.front().count('\n');
        queued -= queue.front().size() + entryCost;
        queue.pop_front();
    }

    // Worded here, on a thread of the program's own: the writer may outlive
    // the application and its translator.
    void noteDropped()
    {
        if (dropped == 0) return;
        const int leftOut = int(std::min<qint64>(dropped, INT_MAX));
        leftOutNote = (QCoreApplication::translate("BatchDispatcher", "(%n line(s) of the log left out)", "", leftOut)
                       + QLatin1Char('\n'))
                          .toUtf8();
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(m);
        for (;;) {
            hasText.wait(lock, [this] { return !giveUp && (!queue.empty() || stopping); });
            if (queue.empty()) break;
            // Dropped lines stood right before what is now written.
            QByteArray chunk = dropped > 0 ? leftOutNote : QByteArray();
            const qint64 noted = dropped;
            dropped = 0;
            do {
                chunk += queue.front();
                queued -= queue.front().size() + entryCost;
                queue.pop_front();
            } while (!queue.empty() && chunk.size() + queue.front().size() <= pieceBytes);
            writing = true;
            progress = nowMs();
            // The last words may take the room kept for them.
            const bool last = stopping && queue.empty();
            lock.unlock();
            hasRoom.notify_all();
            const int stop = writeOut(chunk, last);
            lock.lock();
            // Given up before its end: the lines not written are dropped,
            // and so are those the note would have told of.
            if (stop < chunk.size()) dropped += chunk.mid(stop).count('\n') + (stop == 0 && noted > 0 ? noted - 1 : 0);
            writing = false;
            idle.notify_all();
        }
        writing = false;
        idle.notify_all();
    }

    // Where the writer stopped in bytes, told to give up: at a line's start.
    int writeOut(const QByteArray& bytes, bool last)
    {
        int at = 0;
        while (at < bytes.size() && !broken) {
            // Never in the middle of a line.
            if (giveUp && (at == 0 || bytes.at(at - 1) == '\n'))
                return at;
            int n = std::min(pieceBytes, bytes.size() - at);
            if (at + n < bytes.size()) {
                const int lineEnd = bytes.lastIndexOf('\n', at + n - 1);
                if (lineEnd >= at) n = lineEnd + 1 - at;
            }
#ifdef Q_OS_UNIX
            // The reader's progress is what it takes, however little: a
            // reader of a few bytes a second is no stalled one.
            const int held = unsentBytes(STDERR_FILENO, unsent);
            if (held >= 0) {
                if (lastHeld >= 0 && held < lastHeld) progress = nowMs();
                lastHeld = held;
            }
            // Not through stdio: a write stuck on the reader would hold the
            // stream's lock against every other thread's stderr.
            pollfd p{STDERR_FILENO, POLLOUT, 0};
            const int ready = ::poll(&p, 1, pollMs);
            if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
            if (ready < 0 || (p.revents & (POLLERR | POLLNVAL))) {
                broken = true;
                break;
            }
            if (pipeBytes > 0 && !last && held >= 0 && held + n > pipeBytes / 2) {
                ::usleep(pollMs * 1000);
                continue;
            }
            const ssize_t put = ::write(STDERR_FILENO, bytes.constData() + at, size_t(n));
            if (put < 0 && errno == EINTR) continue;
            if (put > 0 && lastHeld >= 0) lastHeld += int(put);
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
        return bytes.size();
    }

    std::mutex m;
    std::condition_variable hasText, hasRoom, idle;
    std::deque<QByteArray> queue;
    qint64 queued = 0;
    qint64 dropped = 0;  // lines dropped just before the queue's first
    QByteArray leftOutNote;  // what says so
    bool writing = false, stopping = false, finished = false, drained = false;
    std::atomic<bool> giveUp{false};  // the program ends without this reader
    std::atomic<bool> broken{false};
    std::atomic<qint64> progress{0};  // ms of the reader's last progress
    int pipeBytes = 0;  // of the pipe that keeps room for the last words
#ifdef Q_OS_UNIX
    Unsent unsent = Unsent::unknown;
#endif
    int lastHeld = -1;  // bytes the reader had not taken when last looked at
    QThread* thread = nullptr;
};

// Made once and never freed: a writer waiting on a stalled reader outlives main.
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
