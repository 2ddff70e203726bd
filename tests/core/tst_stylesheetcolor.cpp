#include "StyleSheetColor.h"

#include <QWidget>
#include <QtTest>

#include <cmath>

class TstStyleSheetColor : public QObject
{
    Q_OBJECT

private slots:
    void writing()
    {
        QCOMPARE(bgColorStyle(QList<int>{10, 20}), QString("background-color: rgb(10, 20, 0);"));
        QCOMPARE(bgColorStyle(QList<int>{}), QString("background-color: rgb(0, 0, 0);"));
        QCOMPARE(bgColorStyle(QList<int>{1, 2, 3, 4}), QString("background-color: rgb(1, 2, 3);"));
        QCOMPARE(bgColorStyle(QColor(255, 128, 7)), QString("background-color: rgb(255, 128, 7);"));
        QCOMPARE(clampColor(-4), 0);
        QCOMPARE(clampColor(300), 255);
        QCOMPARE(clampColor(77), 77);
    }

    void reading()
    {
        const QString red = "QLabel { background-color: rgb(255, 0, 0); color: blue; }";
        QVERIFY(hasBgColor(red));
        QVERIFY(!hasBgColor("Background-color: rgb(1, 2, 3);"));
        QCOMPARE(bgColorOf(red), (QList<int>{255, 0, 0}));
        QCOMPARE(bgColorOf("background-color: rgb(1,2,3);"), (QList<int>{1, 2, 3}));
        // A blank after the parenthesis gives an empty first part.
        QCOMPARE(bgColorOf("background-color: rgb( 1, 2, 3);"), (QList<int>{0, 1, 2}));
        QCOMPARE(bgColorOf("background-color: rgb(x, 9"), (QList<int>{0, 9, 0}));
        QCOMPARE(bgColorOf("color: red;"), (QList<int>{0, 0, 0}));

        QCOMPARE(bgQColorOf(red), QColor(255, 0, 0));
        QVERIFY(!bgQColorOf("background-color: rgb(10, 300, 0);").isValid());
        QVERIFY(!bgQColorOf("background-color: rgb(-1, 0, 0);").isValid());
        QVERIFY(!bgQColorOf("color: red;").isValid());
    }

    void scaling()
    {
        const QString red = "background-color: rgb(255, 0, 0);";
        QCOMPARE(scaledBgColorStyle(red, 0.5), QString("background-color: rgb(127, 0, 0);"));
        QCOMPARE(scaledBgColorStyle(red, 2), QString("background-color: rgb(255, 0, 0);"));
        QCOMPARE(scaledBgColorStyle("a { background-color: rgb(100, 50, 3); color: red; }", -1),
                 QString("background-color: rgb(0, 0, 0);"));
        QCOMPARE(scaledBgColorStyle("background-color: rgb(100, 50, 3);", 0.999),
                 QString("background-color: rgb(99, 49, 2);"));
        QCOMPARE(scaledBgColorStyle(red, std::nan("")), QString("background-color: rgb(0, 0, 0);"));
        QCOMPARE(scaledBgColorStyle(red, 1e300), QString("background-color: rgb(255, 0, 0);"));
        QCOMPARE(scaledBgColorStyle("color: red;", 0.5), QString("color: red;"));
    }

    void applying()
    {
        QWidget w;
        setStyleSheetOf(&w, bgColorStyle(QColor(1, 2, 3)));
        QCOMPARE(w.styleSheet(), QString("background-color: rgb(1, 2, 3);"));
        QCOMPARE(bgQColorOf(w.styleSheet()), QColor(1, 2, 3));
        setStyleSheetOf(nullptr, "x");
    }
};

QTEST_MAIN(TstStyleSheetColor)
#include "tst_stylesheetcolor.moc"
