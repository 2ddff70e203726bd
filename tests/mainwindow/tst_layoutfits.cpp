// The main window and the analysis panel fit a 1366 x 768 screen, in English
// and in Japanese, with no text of a button or check box cut off.
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "widgets/SpecPane.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QSet>
#include <QToolBox>
#include <QTranslator>
#include <QtTest>

namespace {

// What a window may take of a 1366 x 768 screen: the title bar is not counted.
const QSize screen(1366, 740);

// Said of a window larger than the screen, and of every button whose text
// does not fit in the room the layout gave it (the style's padding of push
// buttons beyond their text is not counted).
QString misfits(QWidget* w, const QSize& size)
{
    QStringList bad;
    if (size.width() > screen.width() || size.height() > screen.height())
        bad << QString("%1 is %2 x %3").arg(w->objectName()).arg(size.width()).arg(size.height());
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        if (!b->isVisibleTo(w) || b->text().isEmpty()) continue;
        const bool box = qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b);
        const int need = box ? b->minimumSizeHint().width() : b->fontMetrics().horizontalAdvance(b->text()) + 6;
        if (b->width() < need) bad << QString("%1 \"%2\" %3 < %4").arg(b->objectName(), b->text()).arg(b->width()).arg(need);
    }
    return bad.join("; ");
}

}  // namespace

class TstLayoutFits : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The program's style and a desktop's usual font.
        QApplication::setStyle("Fusion");
        QApplication::setFont(QFont("Sans Serif", 9));
        initGlobals();
        initColorTables();
        installAnalysisOnBody();
    }

    void fitsTheScreen_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::newRow("English") << false;
        QTest::newRow("Japanese") << true;
    }
    void fitsTheScreen()
    {
        QFETCH(bool, japanese);
        QTranslator t;
        if (japanese) {
            QVERIFY(t.load(":Corvenlith_ja_JP"));
            QCoreApplication::installTranslator(&t);
        }
        {
            // As it opens, and as small as it can be made.
            Body b;
            b.show();
            QVERIFY(QTest::qWaitForWindowExposed(&b));
            QCOMPARE(misfits(&b, b.size()), QString());
            b.resize(b.minimumSizeHint());
            QCOMPARE(misfits(&b, b.minimumSizeHint()), QString());
            for (int i = 0; i < b.ToolBox->count(); ++i) {
                b.ToolBox->setCurrentIndex(i);
                QTest::qWait(20);
                QCOMPARE(misfits(b.ToolBox->widget(i), QSize()), QString());
            }
            // Before any image the colour bar shows a smooth scale at its
            // real height, not the few bands of the size it was built at.
            const QImage bar = b.CBar->barPixmap.toImage();
            QSet<QRgb> shades;
            for (int y = 0; y < bar.height(); ++y) shades.insert(bar.pixel(0, y));
            QVERIFY2(shades.size() > 200, qPrintable(QString("%1 shades").arg(shades.size())));

            Analyzer* a = AnalysisOnBody::of(b)->analyzer();
            a->show();
            QVERIFY(QTest::qWaitForWindowExposed(a));
            QTest::qWait(50);
            QCOMPARE(misfits(a, a->size().expandedTo(a->minimumSizeHint())), QString());
            b.specWindow->show();
            QVERIFY(QTest::qWaitForWindowExposed(b.specWindow));
            b.specWindow->resize(b.specWindow->minimumSizeHint());
            QTest::qWait(20);
            QCOMPARE(misfits(b.specWindow, QSize()), QString());
        }
        if (japanese) QCoreApplication::removeTranslator(&t);
    }
};

QTEST_MAIN(TstLayoutFits)
#include "tst_layoutfits.moc"
