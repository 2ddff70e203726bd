#include "CfgBatchLines.h"

#include <QDebug>

#include "core/Cfg.h"

QStringList batchLinesOfCfg(const Cfg& cfg)
{
    const QString banner = QStringLiteral(" =========== Batchs in Config ==============");
    const QStringList found =
        cfg.values(QStringLiteral("BATCH"), cfg.histUpKeys, cfg.histRests);
    qDebug().noquote() << banner;
    for (const QString& line : found)
        qDebug().noquote() << line;
    qDebug().noquote() << banner;
    return found;
}
