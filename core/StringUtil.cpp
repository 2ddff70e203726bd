#include "StringUtil.h"

#include <QDebug>

namespace {

// Same set as "\s" of QRegularExpression without Unicode properties; checked
// by hand because readers call this for every character of every line.
inline bool isBlank(QChar c)
{
    const ushort u = c.unicode();
    return u == ' ' || (u >= 9 && u <= 13);
}

int firstNonBlank(const QString& s, int from = 0)
{
    for (int i = from; i < s.size(); ++i)
        if (!isBlank(s.at(i))) return i;
    return -1;
}

int lastNonBlank(const QString& s)
{
    for (int i = s.size() - 1; i >= 0; --i)
        if (!isBlank(s.at(i))) return i;
    return -1;
}

bool isDigitChar(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) return true;
    return c.unicode() > 127 && c.isNumber();
}

const QChar Quote = QLatin1Char('"');

const QString& blankText()
{
    static const QString text(101, QLatin1Char(' '));
    return text;
}

// A debug line quotes at most this much of a line: a line of many items can
// ask for one debug line per item.
QString shownLine(const QString& line, int from)
{
    const int shown = 200;
    if (line.size() - from <= shown) return line.mid(from);
    return line.mid(from, shown) + QStringLiteral("... (%1 more characters)").arg(line.size() - from - shown);
}

}  // namespace

int nextItemAt(const QString& line, int from, QString& item)
{
    from = qBound(0, from, line.size());
    const int s = firstNonBlank(line, from);
    if (s < 0) {
        item.clear();
        return line.size();
    }
    if (line.at(s) == Quote) {
        const int e = line.indexOf(Quote, s + 1);
        if (e >= 0) {
            item = line.mid(s + 1, e - s - 1);
            return e + 1;
        }
        qDebug().noquote() << QString("In a line [%1] item is started from quote but not ended by quote")
                                  .arg(shownLine(line, from));
        item = line.mid(s + 1);
        return line.size();
    }
    int e = s + 1;
    while (e < line.size() && !isBlank(line.at(e))) ++e;
    if (line.at(e - 1) == Quote)
        qDebug().noquote() << QString("In a line [%1] item is started from not quote but ended by quote")
                                  .arg(shownLine(line, from));
    item = line.mid(s, e - s);
    return e;
}

QString nextItem(const QString& line, QString& item)
{
    QString taken;
    const int end = nextItemAt(line, 0, taken);
    const QString rest = line.mid(end);
    item = taken;  // item may be line itself
    return rest;
}

QString splitComment(const QString& line, QString& comment)
{
    bool inQuotes = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == Quote || c == QLatin1Char('\'')) {
            inQuotes = !inQuotes;
        } else if (c == QLatin1Char('#') && !inQuotes) {
            QString text = line.left(i);
            comment = line.mid(i + 1);
            return text;
        }
    }
    return line;
}

QString stripComment(const QString& line)
{
    QString comment;
    return splitComment(line, comment);
}

QString takeComment(QString& line)
{
    QString comment;
    line = splitComment(line, comment);
    return comment;
}

bool isBlankOrComment(const QString& line)
{
    return stripComment(line).simplified().isEmpty();
}

bool endsWithContinuation(QString& line)
{
    const int e = lastNonBlank(line);
    if (e < 0 || line.at(e) != QLatin1Char('\\')) return false;
    line.truncate(e);
    return true;
}

QString withoutContinuation(const QString& line)
{
    QString s = line;
    if (endsWithContinuation(s)) endsWithContinuation(s);
    return s;
}

bool startsWithKey(const QString& line, const QString& key)
{
    return line.startsWith(key);
}

QStringList itemsAfterKey(const QString& line, const QString& key)
{
    QStringList items;
    const QString rest = line.mid(key.size());
    QString item;
    for (int pos = 0; pos < rest.size();) {
        pos = nextItemAt(rest, pos, item);
        items << item;
    }
    return items;
}

bool keyWithItems(const QString& line, QStringList& items, int n, const QString& key)
{
    if (!startsWithKey(line, key)) return false;
    items = itemsAfterKey(line, key);
    return items.size() >= n;
}

bool keyWithItems(const QString& line, const QString& key, int n, QStringList& items)
{
    return keyWithItems(line, items, n, key);
}

QString withThousandsSeparators(QString text)
{
    int p = text.indexOf(QLatin1Char('.'));
    if (p < 0) p = text.size();
    // A sign is no digit: "-123456" must not become "-,123,456".
    const int start =
        (!text.isEmpty() && (text.at(0) == QLatin1Char('-') || text.at(0) == QLatin1Char('+'))) ? 1 : 0;
    while (p - start > 3) {
        p -= 3;
        text.insert(p, QLatin1Char(','));
    }
    return text;
}

QString trimBlanks(const QString& text)
{
    const int s = firstNonBlank(text);
    if (s < 0) return text;
    return text.mid(s, lastNonBlank(text) - s + 1);
}

QString joinQuoted(const QStringList& texts)
{
    QString s;
    for (const QString& t : texts) s += Quote + t + Quote + QLatin1Char(' ');
    return s.simplified();
}

QString nextCsvField(const QString& line, QString& field)
{
    if (line.startsWith(QLatin1Char(','))) {
        field.clear();
        return line.mid(1);
    }
    if (!line.startsWith(Quote)) {
        const int c = line.indexOf(QLatin1Char(','));
        if (c < 0) {
            field = line;
            return QString();
        }
        QString rest = line.mid(c + 1);
        field = line.left(c);
        return rest;
    }
    QString f;
    int i = 1;
    int close = -1;
    while (i < line.size()) {
        const QChar c = line.at(i);
        if (c == Quote) {
            if (i + 1 < line.size() && line.at(i + 1) == Quote) {
                f += Quote;
                i += 2;
                continue;
            }
            close = i;
            break;
        }
        f += c;
        ++i;
    }
    QString rest;
    if (close >= 0) {
        const int c = line.indexOf(QLatin1Char(','), close + 1);
        if (c >= 0) rest = line.mid(c + 1);
    }
    field = f;
    return rest;
}

QString nextCsvFieldLoose(const QString& line, QString& field)
{
    QString f;
    bool inQuotes = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == Quote) {
            inQuotes = !inQuotes;
        } else if (c == QLatin1Char(',') && !inQuotes) {
            QString rest = line.mid(i + 1);
            field = f;
            return rest;
        } else {
            f += c;
        }
    }
    field = f;
    return QString();
}

QString csvQuote(const QString& text)
{
    if (!text.contains(Quote) && !text.contains(QLatin1Char(','))) return text;
    QString s = text;
    s.replace(Quote, QLatin1String("\"\""));
    return Quote + s + Quote;
}

QString escapeQuotes(const QString& text)
{
    QString s = text;
    return s.replace(Quote, QLatin1String("\\\""));
}

QString quoted(const QString& text)
{
    return Quote + escapeQuotes(text) + Quote;
}

QString commaQuoted(const QString& text)
{
    return QLatin1Char(',') + quoted(text);
}

bool isNumberText(const QString& text)
{
    const QString s = text.simplified();
    if (s.isEmpty()) return false;
    const QChar c0 = s.at(0);
    if (!(c0 == QLatin1Char('-') || c0 == QLatin1Char('+') || c0 == QLatin1Char('.') || isDigitChar(c0)))
        return false;
    int dots = c0 == QLatin1Char('.') ? 1 : 0;
    for (int i = 1; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == QLatin1Char('.')) {
            if (++dots > 1) return false;
        } else if (!isDigitChar(c)) {
            return false;
        }
    }
    return true;
}

bool isIntegerText(const QString& text)
{
    const QString s = text.simplified();
    if (s.isEmpty()) return false;
    const QChar c0 = s.at(0);
    if (!(c0 == QLatin1Char('-') || c0 == QLatin1Char('+') || isDigitChar(c0))) return false;
    for (int i = 1; i < s.size(); ++i)
        if (!isDigitChar(s.at(i))) return false;
    return true;
}

bool isDigitsText(const QString& text)
{
    const QString s = text.simplified();
    if (s.isEmpty()) return false;
    for (const QChar c : s)
        if (!isDigitChar(c)) return false;
    return true;
}

QString fieldAfterKey(const QString& line, const QString& key, QString& field, QChar separator)
{
    const int k = line.indexOf(key);
    if (k < 0) {
        field.clear();
        return QString();
    }
    int s = k + key.size();
    while (s < line.size() && line.at(s) == separator) ++s;
    int e = line.indexOf(separator, s);
    if (e < 0) e = line.size();
    QString rest = line.mid(e);
    field = line.mid(s, e - s);
    return rest;
}

QString blanks(int n)
{
    if (n <= 0) return QString();
    return blankText().left(n);
}

QString padRight(const QString& text, int width)
{
    if (text.size() < width) return text + blanks(width - text.size());
    return text;
}
