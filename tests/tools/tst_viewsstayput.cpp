// Views that must stay as the user left them: the image view's frame when a
// stack is cleared, the analysis panel's energy range.
#include "support/BodyStack.h"
#include "support/StackFiles.h"

#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "core/Globals.h"
#include "widgets/SpecPane.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

class TstViewsStayPut : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initGlobals();
        initColorTables();
        installAnalysisOnBody();
    }

    // What shows the other stack stays, and so does a result view without a
    // map; a view without a picture still maps positions top-down, as the
    // batch word move_position relies on.
    void imageViewKeepsItsFrame()
    {
        Body b;
        ts::StackSpec s;
        s.w = 40;
        s.h = 30;
        s.n = 4;
        ts::loadStack(b, s, false);
        b.showData(2);
        b.resize(1200, 900);
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        TiffData* shown = b.i1Images[2];
        const QRectF window = b.dispA->viewWindow;

        b.clearI0Files();
        QCOMPARE(b.dispA->image, shown);
        QCOMPARE(b.dispA->viewWindow, window);
        b.ShowResAnalysis->setChecked(true);
        QCOMPARE(b.dispA->image, shown);
        QCOMPARE(b.dispA->viewWindow, window);
        b.ShowData->setChecked(true);
        b.clearI1Files();
        QCOMPARE(b.dispA->viewWindow, window);
        b.dispA->repaint();
        b.dispA->setRealMousePos(25.5, 7.5);
        QCOMPARE(QPoint(b.cursorX, b.cursorY), QPoint(25, 7));
    }

    // Zoomed by the user, the panel's spectrum view keeps its range while the
    // cursor moves; a new stack sets it afresh.
    void analysisSpectrumKeepsItsRange()
    {
        QTemporaryDir tmp;
        auto stack = [&](double e0) {
            QStringList files;
            for (int k = 0; k < 8; ++k) {
                const QString f = tmp.filePath(ts::energyName(e0 > 8000 ? "a" : "b", e0 + 5 * k));
                ts::writeTiff(f, 16, 12, [&](int c, int) { return 1000.0 + 100 * k + c; });
                files << f;
            }
            return files;
        };
        Body b;
        SpecPane* pane = AnalysisOnBody::of(b)->analyzer()->specPane;
        QVERIFY(ts::loadFiles(b, stack(8950), true));
        QVERIFY(std::abs(pane->xMin - 8950) < 1 && std::abs(pane->xMax - 8985) < 1);
        pane->xMin = 8960;
        pane->xMax = 8970;
        b.showXafsSpectrum(3, 4);
        b.showXafsSpectrum(9, 2);
        QCOMPARE(QPointF(pane->xMin, pane->xMax), QPointF(8960, 8970));

        QVERIFY(ts::loadFiles(b, stack(7100), true));
        QVERIFY2(std::abs(pane->xMin - 7100) < 1 && std::abs(pane->xMax - 7135) < 1,
                 qPrintable(QString("%1 - %2").arg(pane->xMin).arg(pane->xMax)));
    }
};

QTEST_MAIN(TstViewsStayPut)
#include "tst_viewsstayput.moc"
