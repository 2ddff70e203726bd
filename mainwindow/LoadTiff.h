#ifndef LOADTIFF_H
#define LOADTIFF_H

#include <QMetaType>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <atomic>

#include "core/ErrPoints.h"
#include "core/ExCmdId.h"

class TiffData;

// Reads the image files of one stack on its own thread. Requests arrive by
// queued calls of loadTiffs; each request is read from start to end in one
// loop and then reported once with finishLoadFiles(its id).
class LoadTiff : public QObject {
    Q_OBJECT

public:
    struct Request {
        QStringList files;       // in load order
        bool ignoreLive = false; // skip paths containing "Live"
        int skip = 1;            // step between files read
        int cutFirst = 0;        // index of the first file read
        int cutLast = 0;         // files left out at the end
        ErrPoints errPs;         // the stack's bad-pixel list, copied when the request is made
        EX_CMD_ID id = not_ex_cmd;
        int generation = 0;      // see dropOlderThan
    };

    LoadTiff();

    // The positions in r.files of the files a request reads, in order.
    static QVector<int> indexesRead(const Request& r);

    // Thread-safe, called directly from the GUI thread when a stack is cleared
    // or a new load replaces it: requests of an older generation stop at the
    // next file and send no more images. They still report completion.
    void dropOlderThan(int generation);

    // Written on the loader thread, read by the GUI thread.
    std::atomic<bool> busy{false};

public slots:
    void loadTiffs(LoadTiff::Request request);
    void treatQues();

signals:
    void loadNext();
    void loaded(TiffData* data, int fNo, int totalFiles, int generation);
    void finishLoadFiles(EX_CMD_ID id);
    // The files of a request that could not be read, before its completion.
    void unreadable(QStringList files, int totalFiles, int generation);

private:
    void readRequest(const Request& r);
    bool stale(const Request& r) const;

    QVector<Request> queue;
    bool treating = false;
    std::atomic<int> dropBelow{0};
};

Q_DECLARE_METATYPE(LoadTiff::Request)

#endif
