#include "StartupOptions.h"

#include "core/Cfg.h"

static bool has(const Cfg& cfg, const QString& key)
{
    return cfg.keys.contains(key);
}

QString configFileName(const Cfg& cfg, const QString& defaultFile)
{
    QString name = defaultFile;
    if (has(cfg, "-c"))
        name = cfg.value("-c", name);
    if (has(cfg, "-config"))
        name = cfg.value("-config", name);
    return name;
}

StartupOptions resolveStartupOptions(const Cfg& cfg, const QString& dataRoot,
                                     const QString& batchRoot, bool showAnalyzer2Button)
{
    StartupOptions o;
    o.dataRoot = cfg.value("DataRoot", dataRoot);
    if (has(cfg, "-d"))
        o.dataRoot = cfg.value("-d", o.dataRoot);
    o.batchRoot = cfg.value("BatchRoot", batchRoot);
    if (has(cfg, "-br"))
        o.batchRoot = cfg.value("-br", o.batchRoot);

    o.showAnalyzer2Button =
        cfg.value("ShowAnalyzer2Button", showAnalyzer2Button ? "1" : "0").toInt(nullptr, 10) == 1;
    if (has(cfg, "-showA2B"))
        o.showAnalyzer2Button = cfg.value("-showA2B", "").toInt(nullptr, 10) == 1;

    o.english = has(cfg, "-e");
    if (has(cfg, "-b"))
        o.batchFile = cfg.value("-b", "");
    o.execBatch = has(cfg, "-x");
    return o;
}
