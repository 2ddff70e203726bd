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

int Cfg::find(const QStringList& list, QHash<QString, int>& at, const QString& key)
{
    if (at.size() != list.size()) {
        at.clear();
        at.reserve(list.size());
        for (int i = list.size() - 1; i >= 0; --i) at.insert(list.at(i), i);
    }
    const int i = at.value(key, -1);
    if (i >= 0 && i < list.size() && list.at(i) == key) return i;
    if (i < 0 && at.size() == list.size()) return -1;
    // The list was changed in place: search it and start the index afresh.
    at.clear();
    return list.indexOf(key);
}

int Cfg::indexOf(const QString& key) const
{
    return find(keys, keyAt, key);
}

void Cfg::add(const QString& key, const QString& value, const QString& rest, const QString& extra)
{
    const int at = find(keys, keyAt, key);
    if (at >= 0) {
        values[at] = value;
        rests[at] = rest;
    } else {
        keyAt.insert(key, keys.size());
        keys << key;
        values << value;
        rests << rest;
        extras << extra;
    }

    const QString upKey = key.toUpper();
    const int upAt = find(upKeys, upKeyAt, upKey);
    if (upAt >= 0) {
        upValues[upAt] = value;
        upRests[upAt] = rest;
    } else {
        upKeyAt.insert(upKey, upKeys.size());
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
    const int at = find(keys, keyAt, key);
    return at >= 0 && at < values.size() ? values[at] : def;
}

QString Cfg::valueAnyCase(const QString& key, const QString& def) const
{
    const int at = find(upKeys, upKeyAt, key.toUpper());
    return at >= 0 && at < upValues.size() ? upValues[at] : def;
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

namespace {

// Real configurations are a few hundred lines in a few files; an include
// fan-out multiplies without any cycle, so depth and total lines are bounded.
const int maxIncludeDepth = 16;
const int maxConfigLines = 20000;

}  // namespace

void Cfg::readFile(const QString& fileName)
{
    QStringList openFiles;
    int linesLeft = maxConfigLines;
    readFile(fileName, openFiles, linesLeft);
}

void Cfg::readFile(const QString& fileName, QStringList& openFiles, int& linesLeft)
{
    // The file system sees a name only up to a zero character, so a name
    // holding one would open another file than the cycle guard compares.
    if (fileName.contains(QChar(0))) {
        qDebug().noquote() << "Can't open config file : " + fileName.left(fileName.indexOf(QChar(0)))
                                  + " (the name holds a zero character)";
        unreadFiles.append({fileName.left(fileName.indexOf(QChar(0))), Unread::ZeroInName, QString()});
        return;
    }
    if (openFiles.size() >= maxIncludeDepth) {
        qDebug().noquote() << QStringLiteral("Config INCLUDE nested deeper than %1, not read : %2")
                                  .arg(QString::number(maxIncludeDepth), fileName);
        return;
    }
    if (linesLeft <= 0) return;
    // A device or a folder never ends or is no text ("INCLUDE /dev/zero").
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile()) {
        qDebug().noquote() << "Can't open config file : " + fileName + " (not a plain file)";
        unreadFiles.append({fileName, Unread::NotPlainFile, QString()});
        return;
    }
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug().noquote() << "Can't open config file : " + fileName;
        if (!fileName.isEmpty())
            unreadFiles.append({fileName, Unread::CannotOpen, f.errorString()});
        return;
    }
    const QString canonical = QFileInfo(f).canonicalFilePath();
    if (openFiles.contains(canonical)) {
        qDebug().noquote() << "Config file includes itself, not read again : " + fileName;
        return;
    }
    openFiles << canonical;

    QTextStream in(&f);
    in.setCodec("UTF-8");
    while (!in.atEnd()) {
        if (linesLeft <= 0) {
            if (linesLeft == 0)
                qDebug().noquote() << QStringLiteral("Config files longer than %1 lines: the "
                                                     "rest is not read, from %2")
                                          .arg(QString::number(maxConfigLines), fileName);
            linesLeft = -1;
            break;
        }
        --linesLeft;
        const QString line = stripComment(in.readLine());
        if (isBlankOrComment(line)) continue;
        QString key;
        const QString rest = nextItem(line, key);
        QString value;
        nextItem(rest, value);
        if (key.toUpper() == QLatin1String("INCLUDE"))
            readFile(value, openFiles, linesLeft);
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
