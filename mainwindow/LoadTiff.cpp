#include "LoadTiff.h"

#include "core/TiffData.h"

LoadTiff::LoadTiff()
{
    qRegisterMetaType<LoadTiff::Request>("LoadTiff::Request");
    qRegisterMetaType<EX_CMD_ID>("EX_CMD_ID");
    qRegisterMetaType<TiffData*>("TiffData*");
    connect(this, &LoadTiff::loadNext, this, &LoadTiff::treatQues);
}

void LoadTiff::dropOlderThan(int generation)
{
    int cur = dropBelow.load();
    while (cur < generation && !dropBelow.compare_exchange_weak(cur, generation)) {
    }
}

bool LoadTiff::stale(const Request& r) const
{
    return r.generation < dropBelow.load();
}

void LoadTiff::loadTiffs(LoadTiff::Request request)
{
    // A request that reads nothing still completes, so a script waiting on it goes on.
    queue.append(request);
    if (!busy) {
        busy = true;
        emit loadNext();
    }
}

void LoadTiff::treatQues()
{
    // One loop over the whole queue: a step never calls the next, so the
    // stack stays flat however long the file list is.
    if (treating)
        return;
    treating = true;
    while (!queue.isEmpty()) {
        const Request r = queue.first();
        readRequest(r);
        queue.removeFirst();
        if (queue.isEmpty())
            busy = false;
        emit finishLoadFiles(r.id);
    }
    treating = false;
}

QVector<int> LoadTiff::indexesRead(const Request& r)
{
    QVector<int> read;
    const qint64 n = r.files.size();
    const qint64 skip = qMax(1, r.skip);
    const qint64 end = n - qMax(0, r.cutLast);
    for (qint64 index = qMax(0, r.cutFirst); index < n; index += skip) {
        if (!(r.ignoreLive && r.files.at(int(index)).contains(QLatin1String("Live")))) read << int(index);
        if (index + skip >= end)
            break;
    }
    return read;
}

void LoadTiff::readRequest(const Request& r)
{
    const int n = r.files.size();
    QStringList unread;
    for (int index : indexesRead(r)) {
        if (stale(r))
            return;
        const QString& path = r.files.at(index);
        TiffData* data = new TiffData;
        const bool ok = data->load(path, r.errPs);
        if (ok && !stale(r))
            emit loaded(data, index, n, r.generation);
        else
            delete data;
        if (!ok) unread << path;
    }
    if (!unread.isEmpty() && !stale(r))
        emit unreadable(unread, n, r.generation);
}
