#include "ErrPoints.h"

#include "StringUtil.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

ErrPoints globalErrPoints;
std::atomic<bool> errPointsMaskOn{true};

bool ErrPoints::read(const QString& fileName, bool append)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug() << "Can't Open" << fileName;
        file.clear();
        points.clear();
        use = false;
        return false;
    }
    use = true;
    file = QFileInfo(fileName).canonicalFilePath();
    if (!append) {
        points.clear();
        use = false;
    }

    static const QString sizeKey = QStringLiteral("# Size");
    QTextStream in(&f);
    QString line;
    while (in.readLineInto(&line)) {
        QStringList items;
        if (keyWithItems(line, items, 2, sizeKey)) {
            width = items.at(0).toInt();
            height = items.at(1).toInt();
            points.clear();
            use = false;
            continue;
        }
        QString x, y;
        const QString rest = nextItem(stripComment(line).simplified(), x);
        nextItem(rest, y);
        if (y.isEmpty()) continue;
        points.append(QPoint(x.toInt(), y.toInt()));
    }
    return true;
}

bool ErrPoints::contains(int x, int y) const
{
    for (const QPoint& p : points)
        if (p.x() == x && p.y() == y) return true;
    return false;
}
