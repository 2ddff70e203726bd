#ifndef STYLESHEETCOLOR_H
#define STYLESHEETCOLOR_H

#include <QColor>
#include <QList>
#include <QString>

class QWidget;

// Read and write the one background declaration used to tint widgets:
// "background-color: rgb(r, g, b);".
bool hasBgColor(const QString& styleSheet);
QString bgColorStyle(const QList<int>& rgb);
QString bgColorStyle(const QColor& color);
int clampColor(int v);
void setStyleSheetOf(QWidget* w, const QString& styleSheet);
// Three values; (0, 0, 0) when the declaration is absent.
QList<int> bgColorOf(const QString& styleSheet);
QString scaledBgColorStyle(const QString& styleSheet, double factor);
// Invalid when the declaration is absent or a value lies outside 0 .. 255.
QColor bgQColorOf(const QString& styleSheet);

#endif
