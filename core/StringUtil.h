#ifndef STRINGUTIL_H
#define STRINGUTIL_H

#include <QChar>
#include <QString>
#include <QStringList>

// Line syntax shared by every line-oriented reader: items are separated by
// white space, an item starting with a double quote runs to the next double
// quote, and a "#" outside quotes starts a comment. White space is what "\s"
// matches in QRegularExpression (ASCII HT, LF, VT, FF, CR and blank).

// Takes the first item of line into item and returns the rest of the line.
QString nextItem(const QString& line, QString& item);
// The same from position from on, without copying the rest: returns the
// position just after the item (the line's length when nothing follows).
int nextItemAt(const QString& line, int from, QString& item);

// The line up to its first "#" outside quotes; the text after that "#" goes to
// comment. Without such a "#" the line comes back whole and comment is kept.
QString splitComment(const QString& line, QString& comment);
QString stripComment(const QString& line);
// Cuts the comment off line and returns it (empty when there is none).
QString takeComment(QString& line);
bool isBlankOrComment(const QString& line);

// True when the last non-blank character is a backslash; line is then cut
// just before it.
bool endsWithContinuation(QString& line);
QString withoutContinuation(const QString& line);

bool startsWithKey(const QString& line, const QString& key);
QStringList itemsAfterKey(const QString& line, const QString& key);
// False (items untouched) when line does not start with key; otherwise items
// gets the items after the key and the result is whether there are >= n.
bool keyWithItems(const QString& line, QStringList& items, int n, const QString& key);
bool keyWithItems(const QString& line, const QString& key, int n, QStringList& items);

// "1234567.89" -> "1,234,567.89"; a leading sign is not counted as a digit.
QString withThousandsSeparators(QString text);

QString trimBlanks(const QString& text);
QString joinQuoted(const QStringList& texts);

QString nextCsvField(const QString& line, QString& field);
QString nextCsvFieldLoose(const QString& line, QString& field);
QString csvQuote(const QString& text);
QString escapeQuotes(const QString& text);
QString quoted(const QString& text);
QString commaQuoted(const QString& text);

bool isNumberText(const QString& text);
bool isIntegerText(const QString& text);
bool isDigitsText(const QString& text);

// After the first occurrence of key: skips separators, takes the text up to
// the next separator into field and returns the text from that separator on.
// When the key does not occur, field and the result are empty.
QString fieldAfterKey(const QString& line, const QString& key, QString& field, QChar separator);

// n blanks, at most 101; none for a negative n.
QString blanks(int n);
QString padRight(const QString& text, int width);

#endif
