#include "StyleSheetColor.h"

#include <QRegularExpression>
#include <QWidget>

static const QString bgStart = QStringLiteral("background-color: rgb(");

bool hasBgColor(const QString& styleSheet)
{
    return styleSheet.contains(bgStart);
}

QString bgColorStyle(const QList<int>& rgb)
{
    QString s = bgStart;
    for (int i = 0; i < 3; i++) {
        const int v = i < rgb.size() ? rgb[i] : 0;
        s += (i < 2 ? QStringLiteral("%1, ") : QStringLiteral("%1);")).arg(v);
    }
    return s;
}

QString bgColorStyle(const QColor& color)
{
    return bgColorStyle(QList<int>{color.red(), color.green(), color.blue()});
}

int clampColor(int v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

void setStyleSheetOf(QWidget* w, const QString& styleSheet)
{
    if (w) w->setStyleSheet(styleSheet);
}

QList<int> bgColorOf(const QString& styleSheet)
{
    QList<int> rgb{0, 0, 0};
    const int at = styleSheet.indexOf(bgStart);
    if (at < 0) return rgb;
    const int start = at + bgStart.size();
    const int end = styleSheet.indexOf(')', start);
    QString inner = end < 0 ? styleSheet.mid(start) : styleSheet.mid(start, end - start);
    inner.replace(',', ' ');
    const QStringList parts = inner.split(QRegularExpression(QStringLiteral("\\s+")));
    for (int i = 0; i < 3 && i < parts.size(); i++) rgb[i] = parts[i].toInt();
    return rgb;
}

QString scaledBgColorStyle(const QString& styleSheet, double factor)
{
    if (!hasBgColor(styleSheet)) return styleSheet;
    QList<int> rgb = bgColorOf(styleSheet);
    for (int& v : rgb) {
        // Clamped in double: a huge or NaN factor must not reach the int conversion.
        const double s = v * factor;
        v = !(s > 0) ? 0 : (s >= 255 ? 255 : clampColor(static_cast<int>(s)));
    }
    return bgColorStyle(rgb);
}

QColor bgQColorOf(const QString& styleSheet)
{
    if (!hasBgColor(styleSheet)) return QColor();
    const QList<int> rgb = bgColorOf(styleSheet);
    for (int v : rgb)
        if (v < 0 || v > 255) return QColor();
    return QColor(rgb[0], rgb[1], rgb[2]);
}
