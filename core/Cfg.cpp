#include "Cfg.h"

#include "StringUtil.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

Cfg globalCfg;

QStringList CfgValueList::operator()(const QString& key, const QStringList& keyList,
                                     const QStringList& valueList) const
{
    QStringList found;
    const int n = qMin(keyList.size(), valueList.size());
    for (int i = 0; i < n; i++)
        if (keyList[i] == key) found << valueList[i];
    return found;
}

void Cfg::add(const QString& key, const QString& value, const QString& rest, const QString& extra)
{
    const int at = keys.indexOf(key);
    if (at >= 0) {
        values[at] = value;
        rests[at] = rest;
    } else {
        keys << key;
        values << value;
        rests << rest;
        extras << extra;
    }

    const QString upKey = key.toUpper();
    const int upAt = upKeys.indexOf(upKey);
    if (upAt >= 0) {
        upValues[upAt] = value;
        upRests[upAt] = rest;
    } else {
        upKeys << upKey;
        upValues << value;
        upRests << rest;
    }

    histKeys << key;
    histUpKeys << upKey;
    histValues << value;
    histRests << rest;
}

QString Cfg::value(const QString& key, const QString& def) const
{
    const int at = keys.indexOf(key);
    return at >= 0 ? values[at] : def;
}

QString Cfg::valueAnyCase(const QString& key, const QString& def) const
{
    const int at = upKeys.indexOf(key.toUpper());
    return at >= 0 ? upValues[at] : def;
}

static bool isOptionWord(const char* arg)
{
    return arg && arg[0] == '-';
}

void Cfg::parseArgs(int argc, const char* const* argv)
{
    if (!argv) return;
    int i = 0;
    while (i < argc) {
        if (!isOptionWord(argv[i])) {
            i++;
            continue;
        }
        const QString key = QString::fromUtf8(argv[i]);
        QStringList collected;
        int j = i + 1;
        for (; j < argc && argv[j] && !isOptionWord(argv[j]); j++)
            collected << QString::fromUtf8(argv[j]);
        add(key, collected.value(0), collected.join(' '));
        i = j;
    }
}

void Cfg::readFile(const QString& fileName)
{
    QStringList openFiles;
    readFile(fileName, openFiles);
}

void Cfg::readFile(const QString& fileName, QStringList& openFiles)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug().noquote() << "Can't open config file : " + fileName;
        return;
    }
    const QString canonical = QFileInfo(fileName).canonicalFilePath();
    if (openFiles.contains(canonical)) {
        qDebug().noquote() << "Config file includes itself, not read again : " + fileName;
        return;
    }
    openFiles << canonical;

    QTextStream in(&f);
    in.setCodec("UTF-8");
    while (!in.atEnd()) {
        const QString line = stripComment(in.readLine());
        if (isBlankOrComment(line)) continue;
        QString key;
        const QString rest = nextItem(line, key);
        QString value;
        nextItem(rest, value);
        if (key.toUpper() == QLatin1String("INCLUDE"))
            readFile(value, openFiles);
        else
            add(key, value, rest);
    }
    f.close();
    openFiles.removeLast();
}

void Cfg::init(int argc, const char* const* argv, const QString& defaultFile,
               const QStringList& fileOptions)
{
    parseArgs(argc, argv);
    QString file = defaultFile;
    for (const QString& option : fileOptions)
        if (upKeys.contains(option.toUpper())) file = valueAnyCase(option);
    if (!file.isEmpty()) readFile(file);
}
