// The main window and the analysis panel fit a 1366 x 768 screen, in English
// and in Japanese, with no text of a button or check box cut off.
#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "widgets/SpecPane.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QRadioButton>
#include <QApplication>
#include <QSet>
#include <QToolBox>
#include <QTranslator>
#include <QtTest>

namespace {

// What a window may take of a 1366 x 768 screen: the title bar is not counted.
const QSize screen(1366, 740);

// Buttons whose text does not fit in the room the layout gave them (the
// style's padding of push buttons beyond their text is not counted).
QStringList cutOff(QWidget* w)
{
    QStringList cut;
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        if (!b->isVisibleTo(w) || b->text().isEmpty()) continue;
        const bool box = qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b);
        const int need = box ? b->minimumSizeHint().width()
                             : b->fontMetrics().horizontalAdvance(b->text()) + 6;
        if (b->width() < need)
            cut << QString("%1 \"%2\" %3 < %4").arg(b->objectName(), b->text()).arg(b->width()).arg(need);
    }
    return cut;
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
            Body b;
            b.show();
            QVERIFY(QTest::qWaitForWindowExposed(&b));
            // As it opens, and as small as it can be made.
            QVERIFY2(b.width() <= screen.width() && b.height() <= screen.height(),
                     qPrintable(QString("main window opens at %1 x %2").arg(b.width()).arg(b.height())));
            const QSize bodyMin = b.minimumSizeHint();
            QVERIFY2(bodyMin.width() <= screen.width() && bodyMin.height() <= screen.height(),
                     qPrintable(QString("main window at least %1 x %2").arg(bodyMin.width()).arg(bodyMin.height())));
            b.resize(bodyMin);
            for (int i = 0; i < b.ToolBox->count(); ++i) {
                b.ToolBox->setCurrentIndex(i);
                QTest::qWait(20);
                const QStringList cut = cutOff(b.ToolBox->widget(i));
                QVERIFY2(cut.isEmpty(), qPrintable(cut.join("; ")));
            }
            QVERIFY2(cutOff(b.centralWidget()).isEmpty(), qPrintable(cutOff(b.centralWidget()).join("; ")));
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
            const QSize panel = a->size().expandedTo(a->minimumSizeHint());
            QVERIFY2(panel.width() <= screen.width() && panel.height() <= screen.height(),
                     qPrintable(QString("analysis panel %1 x %2").arg(panel.width()).arg(panel.height())));
            QVERIFY2(cutOff(a).isEmpty(), qPrintable(cutOff(a).join("; ")));

            b.specWindow->show();
            QVERIFY(QTest::qWaitForWindowExposed(b.specWindow));
            b.specWindow->resize(b.specWindow->minimumSizeHint());
            QTest::qWait(20);
            QVERIFY2(cutOff(b.specWindow).isEmpty(), qPrintable(cutOff(b.specWindow).join("; ")));
        }
        if (japanese) QCoreApplication::removeTranslator(&t);
    }
};

QTEST_MAIN(TstLayoutFits)
#include "tst_layoutfits.moc"
