#include "StyleSheetColor.h"

#include <QWidget>
#include <QtTest>

#include <cmath>

class TstStyleSheetColor : public QObject
{
    Q_OBJECT

private slots:
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

};

QTEST_MAIN(TstStyleSheetColor)
#include "tst_stylesheetcolor.moc"
