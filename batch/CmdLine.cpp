#include "CmdLine.h"

#include "core/StringUtil.h"

void CmdLine::clear()
{
    isLabel = false;
    text.clear();
    word.clear();
    args.clear();
}

void CmdLine::setLine(QString raw)
{
    clear();
    text = raw.simplified();
    const int hash = text.indexOf(QLatin1Char('#'));
    if (hash >= 0)
        text.truncate(hash);
    if (text.isEmpty())
        return;

    // Items come from the raw line, not from `text`, so blanks inside quoted
    // items survive and a "#" after the word stays an argument.
    // By position: copying the rest for every item made long lines quadratic.
    int pos = nextItemAt(raw, 0, word);
    if (word.isEmpty())
        return;
    while (pos < raw.size()) {
        QString item;
        pos = nextItemAt(raw, pos, item);
        if (!item.isEmpty())
            args << item;
    }
    isLabel = word.startsWith(QLatin1Char(':'));
    valid = true;
}

QString CmdLine::arg(int i) const
{
    return (i >= 0 && i < args.size()) ? args.at(i) : QString();
}

QString joinContinuedLines(const QStringList& lines, int& curLine, int end)
{
    if (end < 0 || end > lines.size())
        end = lines.size();
    QString text = lines.value(curLine);
    while (endsWithContinuation(text)) {
        if (curLine + 1 < 0 || curLine + 1 >= end)
            break;
        ++curLine;
        text += lines.at(curLine);
    }
    return text;
}
