#ifndef CFG_H
#define CFG_H

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

// The exact table's value list. It also answers the lookup "every value whose
// key equals this one" over any pair of parallel lists, so that both
// cfg.values[i] and cfg.values(key, cfg.histUpKeys, cfg.histRests) read as
// written.
class CfgValueList : public QStringList
{
public:
    using QStringList::QStringList;
    CfgValueList() = default;
    CfgValueList(const QStringList& l) : QStringList(l) {}

    QStringList operator()(const QString& key, const QStringList& keyList,
                           const QStringList& valueList) const;
};

// Key / value / rest-of-line table filled from the command line and from
// configuration files. Every entry lands in three parallel tables: exact-case
// keys, upper-cased keys (the later of two spellings wins) and a history of
// every entry in order.
class Cfg
{
public:
    // exact table: unique keys as written
    QStringList keys;
    CfgValueList values;
    QStringList rests;
    QStringList extras;
    // any-case table: unique upper-cased keys
    QStringList upKeys;
    QStringList upValues;
    QStringList upRests;
    // every entry ever added
    QStringList histKeys;
    QStringList histUpKeys;
    QStringList histValues;
    QStringList histRests;

    void add(const QString& key, const QString& value, const QString& rest,
             const QString& extra = QString());
    QString value(const QString& key, const QString& def = QString()) const;
    QString valueAnyCase(const QString& key, const QString& def = QString()) const;
    // Position of key in the exact table, -1 when absent.
    int indexOf(const QString& key) const;

    // Option words ("-x") become keys; the plain words after one are its
    // value (the first) and rest (all, blank-joined). Other words are skipped.
    void parseArgs(int argc, const char* const* argv);
    // Reads key / value / rest lines, following "INCLUDE" (any case). A file
    // that is already being read is not opened again, so include cycles stop;
    // nesting depth and the total of lines read are bounded too.
    void readFile(const QString& fileName);
    // Each file named (a configuration given, an INCLUDE, a list the
    // configuration points to) that could not be read, and why; an empty
    // name is no file.
    struct Unread
    {
        enum Why { CannotOpen, NotPlainFile, ZeroInName, BadPixelList };
        QString file;
        Why why = CannotOpen;
        QString detail;  // the system's reason, when it gave one
    };
    QVector<Unread> unreadFiles;
    // Parses the command line, then reads defaultFile, or the value of the
    // last of fileOptions present (any case), when that is not empty.
    void init(int argc, const char* const* argv, const QString& defaultFile,
              const QStringList& fileOptions);

private:
    // Positions in keys and upKeys: a script of many ":let" lines would
    // otherwise search the whole table for each. Rebuilt when the lists were
    // changed from outside.
    mutable QHash<QString, int> keyAt;
    mutable QHash<QString, int> upKeyAt;
    static int find(const QStringList& list, QHash<QString, int>& at, const QString& key);
    void readFile(const QString& fileName, QStringList& openFiles, int& linesLeft);
};

// The program's configuration: command line and configuration file.
extern Cfg globalCfg;

#endif
