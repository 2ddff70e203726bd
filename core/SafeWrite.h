#ifndef SAFEWRITE_H
#define SAFEWRITE_H

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <functional>

class QImage;

// Files written whole or not at all. The data go to a temporary file in the
// target's folder through a device that checks every write, the flush and
// the close itself (QSaveFile::commit passes after a failed last flush); the
// target is replaced by a rename only when all of that succeeded. On failure
// the target is as it was and no temporary file is left. The functions
// return why a write failed (empty on success) and write no debug line:
// naming the file and counting the failure is the caller's part.
namespace SafeWrite {

// A file opened for writing that remembers its first failure: once a write
// failed, every later one fails too, so a stream cannot write past a gap.
class CheckedFile : public QIODevice
{
public:
    explicit CheckedFile(const QString& path);
    ~CheckedFile() override;

    // WriteOnly (Text allowed); the file is created or truncated.
    bool open(OpenMode mode) override;
    // Flushes and closes; false when this or any earlier step failed.
    bool finish();
    void close() override;
    bool isSequential() const override { return true; }
    // Why the first failure happened; empty while none did.
    QString failure() const { return reason; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override;

private:
    QFile file;
    QString reason;

    void fail(const QString& why);
};

// The steps after the last write at which a file system may still refuse
// the data (a quota, a network share report it only there).
enum class Step { Flush, Close };
// Stands in for such a file system in tests: asked at each step of every
// checked file, it returns the errno to report there, 0 for none. An empty
// hook (the default) reports nothing.
using StepFailure = std::function<int(const QString& path, Step step)>;
void setStepFailure(const StepFailure& hook);

// Writes the whole content to the device; false when it could not (the
// device's own failure, if any, is the reason given).
using Writer = std::function<bool(QIODevice& out)>;

// A temporary file written and checked beside its target, not yet in place.
struct Prepared
{
    QString target;
    QString temp;
};

// Writes into a new temporary file beside path. On failure the temporary
// file is removed and *out is left empty.
QString prepare(const QString& path, const Writer& write, Prepared* out, bool text = false);
// Renames the temporary file over its target; on failure it is removed.
QString commit(const Prepared& p);
// Removes a temporary file that is not to be used.
void discard(const Prepared& p);

// prepare and commit.
QString toFile(const QString& path, const Writer& write, bool text = false);
QString bytes(const QString& path, const QByteArray& data);
// The image encoded in the format named by path's suffix; empty with the
// reason when the suffix names no format Qt can write or the image is null.
QByteArray encodeImage(const QImage& img, const QString& path, QString* why);
QString image(const QImage& img, const QString& path);
// The suffixes an image is written in (lower case).
QStringList imageSuffixes();

// The reason a folder gives for not taking a file: that it does not exist,
// or the system's own text.
QString folderProblem(const QString& path);

// The debug line and the failure-log entry of a file not written; returns
// the line.
QString noteFailure(const QString& path, const QString& reason);

// What one save of one or more files wrote, and where it stopped, said as
// the status bar says it: the savers add numbers, tags and suffixes to the
// name typed, so the files actually written are named.
struct Outcome
{
    QStringList files;  // absolute paths, in the order written
    QString failedFile;
    QString reason;

    // Takes one file's result (why empty: written); returns whether it was.
    bool add(const QString& file, const QString& why);
    bool ok() const { return failedFile.isEmpty(); }
    // "Saved NAMES in FOLDER", or the first failed file and why; empty when
    // nothing was written and nothing failed.
    QString text() const;
};

}  // namespace SafeWrite

#endif
