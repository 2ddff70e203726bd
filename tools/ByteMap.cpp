#include "ByteMap.h"

#include "core/StringUtil.h"
#include "core/TiffData.h"

#include <QDebug>
#include <QFile>
#include <QTextStream>

#include <algorithm>

void ByteMap::reallocate(int w, int h)
{
    bytes.clear();
    if (w < 1 || h < 1 || qint64(w) * h > TiffData::maxPixels) {
        if (w != 0 || h != 0) qDebug() << "byte map size refused" << w << h;
        width = height = 0;
        return;
    }
    width = w;
    height = h;
    bytes.fill(0, w * h);
}

namespace {

const qint64 smallMapPixels = qint64(4096) * 4096;

}  // namespace

bool readByteMap(ByteMap& map, const QString& fileName, int mode)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug() << "Can't Open" << fileName;
        return false;
    }
    // A map whose bytes do not match its size is made consistent first.
    if (mode == 0 || map.bytes.size() != qint64(map.width) * map.height)
        map.reallocate(map.width, map.height);
    QTextStream in(&f);
    QString line;
    while (in.readLineInto(&line)) {
        if (line.startsWith("# Size")) {
            QString w, h;
            QString rest = nextItem(line.mid(6), w);
            nextItem(rest, h);
            if (w.isEmpty() || h.isEmpty()) continue;
            // A map a file this small cannot describe is a damaged size line:
            // small maps are always taken, larger ones need a file to match.
            const qint64 pixels = qint64(w.toInt()) * h.toInt();
            const qint64 allowed = std::max<qint64>(smallMapPixels, 64 * f.size());
            if (pixels > allowed) {
                qDebug() << "byte map size" << w << h << "refused: more than a file of"
                         << f.size() << "bytes describes";
                continue;
            }
            map.reallocate(w.toInt(), h.toInt());
            continue;
        }
        QString x, y, v;
        QString rest = nextItem(trimBlanks(stripComment(line)), x);
        rest = nextItem(rest, y);
        nextItem(rest, v);
        if (y.isEmpty()) continue;
        const int px = x.toInt();
        const int py = y.toInt();
        if (px < 0 || py < 0 || px >= map.width || py >= map.height) continue;
        bool isNumber = true;
        const double value = v.isEmpty() ? 0.0 : v.toDouble(&isNumber);
        const bool set = !isNumber || value != 0;
        unsigned char& b = map.bytes[px + py * map.width];
        switch (mode) {
        case 0: b = set ? 1 : 0; break;
        case 1: if (!set) b = 0; break;
        case 2: if (set) b = 1; break;
        default: break;
        }
    }
    return true;
}
