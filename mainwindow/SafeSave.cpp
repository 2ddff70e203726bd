#include "SafeSave.h"

#include "core/Analyzed2DRes.h"
#include "core/FailureLog.h"
#include "core/TiffWriter.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>

namespace SafeSave {

bool viaTempFile(const QString& path, const std::function<bool(const QString& tmpPath)>& write)
{
    const QFileInfo target(path);
    QTemporaryFile tmp(target.absoluteFilePath() + QStringLiteral(".XXXXXX"));
    tmp.setAutoRemove(false);
    if (!tmp.open()) {
        qDebug().noquote() << "Can't open" << path;
        FailureLog::note(QStringLiteral("Can't open ") + path);
        return false;
    }
    const QString tmpPath = tmp.fileName();
    tmp.close();

    bool ok = write(tmpPath);
    if (ok) {
        // A temporary file is private to its owner; the result should carry
        // the permissions an ordinary new file (or the replaced one) has.
        const QFileDevice::Permissions perms =
            target.exists() ? QFile::permissions(path)
                            : (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
                               | QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        QFile::setPermissions(tmpPath, perms);
        // rename() replaces the target in one step.
        ok = std::rename(QFile::encodeName(tmpPath).constData(),
                         QFile::encodeName(target.absoluteFilePath()).constData())
             == 0;
    }
    if (!ok) {
        QFile::remove(tmpPath);
        qDebug().noquote() << "Can't write" << path;
        FailureLog::note(QStringLiteral("Can't write ") + path);
    }
    return ok;
}

bool image(const QImage& img, const QString& path)
{
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format)) {
        qDebug().noquote() << "No image format for" << path;
        return false;
    }
    if (img.isNull()) {
        qDebug().noquote() << "No image to save in" << path;
        return false;
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        qDebug().noquote() << "Can't open" << path;
        FailureLog::note(QStringLiteral("Can't open ") + path);
        return false;
    }
    if (!img.save(&f, format.constData())) {
        f.cancelWriting();
        f.commit();
        qDebug().noquote() << "Can't write" << path;
        FailureLog::note(QStringLiteral("Can't write ") + path);
        return false;
    }
    if (!f.commit()) {
        qDebug().noquote() << "Can't write" << path;
        FailureLog::note(QStringLiteral("Can't write ") + path);
        return false;
    }
    return true;
}

bool tiff16(const QString& path, uint32_t width, int32_t height, const uint16_t* samples)
{
    return viaTempFile(path, [&](const QString& tmp) {
        TiffWriter w;
        return w.write16(tmp, width, height, samples);
    });
}

bool mapAsTiff(Analyzed2DRes& map, const QString& path, bool fixedScale, double scaleMin,
               double scaleMax, bool asAnalyzed)
{
    quint16* samples = map.tiffDataForSave(fixedScale, scaleMin, scaleMax, asAnalyzed);
    if (!samples) {
        qDebug().noquote() << "No values in" << map.name << ": nothing written to" << path;
        return false;
    }
    const int w = asAnalyzed ? map.grid.blocksPerRow() : map.width();
    const int h = asAnalyzed ? map.grid.blockRows() : map.height();
    const bool ok = tiff16(path, uint32_t(std::max(w, 0)), h, samples);
    delete[] samples;
    return ok;
}

bool mapAsText(Analyzed2DRes& map, const QString& path, bool asAnalyzed, bool csv, bool xyz)
{
    return viaTempFile(path, [&](const QString& tmp) {
        return map.saveAsText(QFileInfo(tmp), asAnalyzed, csv, xyz);
    });
}

QString numberedName(const QString& fname, int n, const QString& suffix)
{
    const QFileInfo fi(fname);
    return QFileInfo(fi.absolutePath() + "/" + QString("%1-%2.%3").arg(fi.completeBaseName()).arg(n).arg(suffix))
        .absoluteFilePath();
}

}  // namespace SafeSave
