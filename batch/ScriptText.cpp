#include "ScriptText.h"

#include <QCoreApplication>

namespace {

struct LineScan
{
    int ends = 0;          // line ends, a CRLF counting once
    int longest = 0;       // bytes of the longest line, its end not counted
    int longestLine = 0;   // its number, from 1
};

LineScan scanLines(const char* p, int n)
{
    LineScan s;
    int start = 0;
    for (int i = 0; i <= n; ++i) {
        const bool end = i == n || p[i] == '\n' || (p[i] == '\r' && (i + 1 >= n || p[i + 1] != '\n'));
        if (!end) continue;
        const int len = i - start - (i > start && p[i - 1] == '\r' ? 1 : 0);
        if (len > s.longest) {
            s.longest = len;
            s.longestLine = s.ends + 1;
        }
        if (i < n) ++s.ends;
        start = i + 1;
    }
    return s;
}

}  // namespace

int ScriptText::lineAt(const QByteArray& bytes, int offset)
{
    return scanLines(bytes.constData(), qBound(0, offset, bytes.size())).ends + 1;
}

ScriptText ScriptText::fromBytes(const QByteArray& bytes, const QString& name)
{
    ScriptText s;
    if (bytes.size() > maxBytes) {
        s.why = QCoreApplication::translate("BatchCtrl", "the batch file %1 is longer than %2 MB").arg(name, QString::number(maxBytes >> 20));
        return s;
    }
    // A NUL is no character of any script: the file is binary or damaged,
    // and the text a decoder would stop at is not all the user wrote.
    const int nul = bytes.indexOf('\0');
    if (nul >= 0) {
        s.why = QCoreApplication::translate("BatchCtrl", "the batch file %1 is no text: it holds a NUL byte at byte %2 (line %3)")
                    .arg(name, QString::number(nul), QString::number(lineAt(bytes, nul)));
        return s;
    }
    // The editor lays out a line in some forty bytes a character, and holds
    // some hundred bytes a line: both are bounded so that every script it
    // takes fits in a small multiple of its size.
    const LineScan scan = scanLines(bytes.constData(), bytes.size());
    const bool open = !bytes.isEmpty() && !bytes.endsWith('\n') && !bytes.endsWith('\r');
    const int lines = scan.ends + (open ? 1 : 0);
    if (lines > maxLines) {
        s.why = QCoreApplication::translate("BatchCtrl", "the batch file %1 has %2 lines, more than the %3 a script may have")
                    .arg(name, QString::number(lines), QString::number(maxLines));
        return s;
    }
    if (scan.longest > maxLineBytes) {
        s.why = QCoreApplication::translate("BatchCtrl", "the batch file %1 has a line of %2 bytes (line %3), longer than the %4 a line may have")
                    .arg(name, QString::number(scan.longest), QString::number(scan.longestLine),
                         QString::number(maxLineBytes));
        return s;
    }
    QString text = QString::fromUtf8(bytes.constData(), bytes.size());
    if (text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    if (open) text += QLatin1Char('\n');
    s.text = text;
    s.lines = lines;
    return s;
}
