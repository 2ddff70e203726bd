#include "SafeWrite.h"

#include "FailureLog.h"
#include "LogNote.h"

#include <QBuffer>
#include <QDebug>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QMutex>
#include <QMutexLocker>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace SafeWrite {

namespace {

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QMutex stepFailureMutex;
StepFailure stepFailure;

// A failure the stand-in file system reports at this step, if the step
// itself passed.
void injectedFailure(const QString& path, Step step, bool* passed, QString* why)
{
    if (!*passed) return;
    QMutexLocker lock(&stepFailureMutex);
    if (!stepFailure) return;
    if (const int err = stepFailure(path, step)) {
        *passed = false;
        *why = systemError(err);
    }
}

}  // namespace

void setStepFailure(const StepFailure& hook)
{
    QMutexLocker lock(&stepFailureMutex);
    stepFailure = hook;
}

CheckedFile::CheckedFile(const QString& path) : file(path) {}

CheckedFile::~CheckedFile()
{
    close();
}

bool CheckedFile::open(OpenMode mode)
{
    reason.clear();
    // Unbuffered: a failing write shows at the write that failed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        fail(file.errorString());
        return false;
    }
    return QIODevice::open((mode & QIODevice::Text) | QIODevice::WriteOnly);
}

void CheckedFile::fail(const QString& why)
{
    if (reason.isEmpty()) reason = why.isEmpty() ? QCoreApplication::translate("SafeWrite", "write error") : why;
}

qint64 CheckedFile::writeData(const char* data, qint64 len)
{
    if (!reason.isEmpty()) return -1;
    // A short count carries no reason; writing the rest again gives it.
    qint64 done = 0;
    while (done < len) {
        const qint64 n = file.write(data + done, len - done);
        if (n <= 0) {
            fail(n < 0 ? file.errorString() : systemError(ENOSPC));
            return -1;
        }
        done += n;
    }
    return len;
}

bool CheckedFile::finish()
{
    if (file.isOpen()) {
        bool flushed = file.flush();
        QString why = file.errorString();
        injectedFailure(file.fileName(), Step::Flush, &flushed, &why);
        if (!flushed) fail(why);
        file.close();
        bool closed = file.error() == QFileDevice::NoError;
        why = file.errorString();
        injectedFailure(file.fileName(), Step::Close, &closed, &why);
        if (!closed) fail(why);
    }
    if (isOpen()) QIODevice::close();
    return reason.isEmpty();
}

void CheckedFile::close()
{
    finish();
}

QString folderProblem(const QString& path)
{
    const QFileInfo f(path);
    if (!f.absoluteDir().exists())
        return QCoreApplication::translate("SafeWrite", "the folder %1 does not exist")
            .arg(QDir::toNativeSeparators(f.absolutePath()));
    return QString();
}

QString prepare(const QString& path, const Writer& write, Prepared* out, bool text)
{
    *out = Prepared();
    const QFileInfo target(path);
    if (path.isEmpty()) return QCoreApplication::translate("SafeWrite", "no file name");
    const QString missing = folderProblem(path);
    if (!missing.isEmpty()) return missing;
    // Found now rather than at the rename, after the data were written.
    if (target.isDir()) return systemError(EISDIR);

    QTemporaryFile tmp(target.absoluteFilePath() + QStringLiteral(".XXXXXX"));
    tmp.setAutoRemove(false);
    if (!tmp.open()) return tmp.errorString();
    const QString tmpPath = tmp.fileName();
    tmp.close();

    CheckedFile f(tmpPath);
    QString why;
    if (!f.open(text ? QIODevice::WriteOnly | QIODevice::Text : QIODevice::WriteOnly)) {
        why = f.failure();
    } else {
        const bool written = write(f);
        const bool finished = f.finish();
        if (!finished) why = f.failure();
        else if (!written) why = QCoreApplication::translate("SafeWrite", "the data could not be written");
    }
    if (!why.isEmpty()) {
        QFile::remove(tmpPath);
        return why;
    }
    out->target = target.absoluteFilePath();
    out->temp = tmpPath;
    return QString();
}

QString commit(const Prepared& p)
{
    if (p.temp.isEmpty()) return QCoreApplication::translate("SafeWrite", "nothing was prepared");
    // A temporary file is private to its owner; the result should carry the
    // permissions an ordinary new file (or the replaced one) has.
    const QFileInfo target(p.target);
    const QFileDevice::Permissions perms =
        target.exists() && target.isFile()
            ? QFile::permissions(p.target)
            : (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser
               | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    QFile::setPermissions(p.temp, perms);
    // rename() replaces the target in one step.
    if (std::rename(QFile::encodeName(p.temp).constData(), QFile::encodeName(p.target).constData()) != 0) {
        const int err = errno;
        QFile::remove(p.temp);
        return systemError(err);
    }
    return QString();
}

void discard(const Prepared& p)
{
    if (!p.temp.isEmpty()) QFile::remove(p.temp);
}

QString toFile(const QString& path, const Writer& write, bool text)
{
    Prepared p;
    const QString why = prepare(path, write, &p, text);
    return why.isEmpty() ? commit(p) : why;
}

QString bytes(const QString& path, const QByteArray& data)
{
    return toFile(path, [&data](QIODevice& out) { return out.write(data) == data.size(); });
}

QByteArray encodeImage(const QImage& img, const QString& path, QString* why)
{
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format)) {
        *why = QCoreApplication::translate("SafeWrite", "no image format for the suffix \"%1\"")
                   .arg(QFileInfo(path).suffix());
        return QByteArray();
    }
    if (img.isNull()) {
        *why = QCoreApplication::translate("SafeWrite", "no image to save");
        return QByteArray();
    }
    // Encoded in memory: the image writers do not look at the device's
    // answers, so a failing disk would pass unseen.
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(img)) {
        *why = writer.errorString();
        return QByteArray();
    }
    return encoded;
}

QStringList imageSuffixes()
{
    QStringList out;
    for (const QByteArray& f : QImageWriter::supportedImageFormats()) out << QString::fromLatin1(f).toLower();
    return out;
}

QString image(const QImage& img, const QString& path)
{
    QString why;
    const QByteArray encoded = encodeImage(img, path, &why);
    if (!why.isEmpty()) return why;
    return bytes(path, encoded);
}

QString noteFailure(const QString& path, const QString& reason)
{
    const QString text = QStringLiteral("Can't write %1: %2").arg(QDir::toNativeSeparators(path), reason);
    LogNote::say(text);
    FailureLog::note(text);
    return text;
}

bool Outcome::add(const QString& file, const QString& why)
{
    if (why.isEmpty())
        files << QFileInfo(file).absoluteFilePath();
    else if (failedFile.isEmpty()) {
        failedFile = QFileInfo(file).absoluteFilePath();
        reason = why;
    }
    return why.isEmpty();
}

QString Outcome::text() const
{
    if (!failedFile.isEmpty()) {
        const QFileInfo f(failedFile);
        if (!f.absoluteDir().exists())
            return QCoreApplication::translate("SafeWrite", "Not saved: the folder %1 does not exist")
                .arg(QDir::toNativeSeparators(f.absolutePath()));
        return QCoreApplication::translate("SafeWrite", "%1 could not be saved: %2")
            .arg(QDir::toNativeSeparators(failedFile), reason);
    }
    if (files.isEmpty()) return QString();
    QStringList names;
    for (const QString& f : files) names << QFileInfo(f).fileName();
    return QCoreApplication::translate("SafeWrite", "Saved %1 in %2")
        .arg(names.join(QStringLiteral(", ")), QDir::toNativeSeparators(QFileInfo(files.first()).absolutePath()));
}

}  // namespace SafeWrite
