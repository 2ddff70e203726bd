// Views that must stay as the user left them, and panels that must not hold
// on to what the window frees: the image view's frame when a stack is
// cleared, the analysis panel's energy range, the statistics window and the
// alignment shift.
#include "support/BodyStack.h"
#include "support/StackFiles.h"

#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/SelectDataFiles.h"
#include "tools/StatsMath.h"
#include "tools/ToolsOnBody.h"
#include "widgets/SpecPane.h"

#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

// Fills a map of w x h one-pixel blocks and returns its grid.
AnalyzeCond fill(Analyzed2DRes& map, int w, int h, const std::function<double(int, int)>& f)
{
    AnalyzeCond g;
    g.set(w, h, 0, 0, 0, 0, w, h, -1, -1);
    map.setCond(g);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) map.data[y * w + x] = f(x, y);
    return g;
}

}  // namespace

class TstViewsStayPut : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initGlobals();
        initColorTables();
        installAnalysisOnBody();
        installToolsOnBody();
    }

    // What shows the other stack stays; a view without a picture still maps
    // positions top-down, as the batch word move_position relies on.
    void imageViewKeepsItsFrame_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("keepsFrame");
        QTest::newRow("I0 cleared while I1 shows") << "clear I0" << true;
        QTest::newRow("I1 cleared while it shows") << "clear I1" << false;
        QTest::newRow("result view without a map") << "show map" << true;
    }

    void imageViewKeepsItsFrame()
    {
        QFETCH(QString, action);
        QFETCH(bool, keepsFrame);
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

        if (action == "clear I0") b.clearI0Files();
        if (action == "clear I1") b.clearI1Files();
        if (action == "show map") b.ShowResAnalysis->setChecked(true);
        if (action != "clear I1") QCOMPARE(b.dispA->image, keepsFrame ? shown : nullptr);
        QCOMPARE(b.dispA->viewWindow, window);

        b.dispA->repaint();
        b.dispA->setRealMousePos(25.5, 7.5);
        QCOMPARE(b.cursorX, 25);
        QCOMPARE(b.cursorY, 7);
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
        QVERIFY2(std::abs(pane->xMin - 8950) < 1 && std::abs(pane->xMax - 8985) < 1,
                 qPrintable(QString("%1 - %2").arg(pane->xMin).arg(pane->xMax)));
        pane->xMin = 8960;
        pane->xMax = 8970;
        b.showXafsSpectrum(3, 4);
        b.showXafsSpectrum(9, 2);
        QCOMPARE(pane->xMin, 8960.0);
        QCOMPARE(pane->xMax, 8970.0);

        QVERIFY(ts::loadFiles(b, stack(7100), true));
        QVERIFY2(std::abs(pane->xMin - 7100) < 1 && std::abs(pane->xMax - 7135) < 1,
                 qPrintable(QString("%1 - %2").arg(pane->xMin).arg(pane->xMax)));
    }

    // The map the window sampled is freed (element rows rebuilt): the next
    // pointer move over the image must not read it.
    void statisticsLetGoOfAFreedMap()
    {
        Body b;
        Stats& st = ToolsOnBody::of(b)->stats;
        auto* map = new Analyzed2DRes("m");
        st.calc(map, fill(*map, 10, 8, [](int x, int y) { return x + 10.0 * y; }));
        emit b.dispA->mouseMoved(3.2, 2.7);
        QCOMPARE(st.pointedValue, 23.0);
        delete map;
        emit b.dispA->mouseMoved(4.2, 1.7);
        QVERIFY(!st.map);
        st.DA->repaint();
    }

    // A repaint computes the statistics of the designated map once, not
    // again for the repaint their own range report asks for; "Show Over
    // Image" outlines the blocks whose value lies in the range.
    void statisticsOverTheImage()
    {
        Analyzed2DRes map("m");
        fill(map, 12, 9, [](int x, int y) { return x + 10.0 * y; });
        BodyHooks& h = Body::hooks();
        const auto designated = h.selectedMap;
        h.selectedMap = [&map](const Body&) { return &map; };
        Body b;
        ts::StackSpec s;
        s.n = 3;
        ts::loadStack(b, s);
        b.HWidth->setText("1");
        b.VWidth->setText("1");
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        Stats& st = ToolsOnBody::of(b)->stats;
        b.dispA->repaint();
        QCOMPARE(st.map.data(), &map);
        // Block centres at x 1, 4, 7, 10 and y 1, 4, 7.
        QCOMPARE(st.mean, (1 + 4 + 7 + 10) / 4.0 + 10 * (1 + 4 + 7) / 3.0);
        QSignalSpy ranges(&st, &Stats::rangeSelected);
        b.dispA->repaint();
        QTest::qWait(100);
        QCOMPARE(ranges.count(), 0);
        map.data[1 * 12 + 1] = 990;  // a new block value: computed again, once
        b.dispA->repaint();
        QTest::qWait(100);
        QCOMPARE(ranges.count(), 1);

        auto outlined = [&b] {
            const QImage shot = b.dispA->grab().toImage();
            int n = 0;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x) n += QColor(shot.pixel(x, y)) == QColor(255, 200, 200);
            return n;
        };
        st.ShowOverImage->setChecked(true);
        b.statsRangeSet = true;
        b.statsRangeLow = 40;
        b.statsRangeHigh = 50;
        QVERIFY(outlined() > 0);
        b.statsRangeLow = 500;
        b.statsRangeHigh = 600;
        QCOMPARE(outlined(), 0);
        h.selectedMap = designated;
    }

    void statisticsBinsCapped_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("used");
        QTest::newRow("batch word, huge") << "setter" << 2000000000 << 200 << 200;
        QTest::newRow("typed, huge") << "field" << 50000000 << 30000 << StatsMath::maxBins;
        QTest::newRow("typed, more than samples") << "field" << 5000 << 1200 << 1200;
        QTest::newRow("small map keeps the default") << "field" << 100 << 30 << 100;
        QTest::newRow("ordinary") << "setter" << 64 << 1200 << 64;
    }

    void statisticsBinsCapped()
    {
        QFETCH(QString, how);
        QFETCH(int, asked);
        QFETCH(int, samples);
        QFETCH(int, used);
        Stats st;
        if (how == "setter")
            st.setBins(asked);
        else
            st.Bins->setText(QString::number(asked));
        Analyzed2DRes map;
        st.calc(&map, fill(map, samples, 1, [](int x, int) { return std::sin(x * 0.37); }));
        QCOMPARE(st.n, samples);
        QCOMPARE(st.bins, used);
        QCOMPARE(st.counts.size(), used);
        int total = 0;
        for (int c : st.counts) total += c;
        QCOMPARE(total, samples);
    }

    // Every block whose centre value lies in the range, and no other.
    void blocksInRangeOutlined()
    {
        Analyzed2DRes map;
        fill(map, 9, 6, [](int x, int y) { return x + 10.0 * y; });
        AnalyzeCond g;
        g.set(9, 6, 1, 1, 0, 0, 9, 6, -1, -1);  // 3 x 3 blocks centred on x 1, 4, 7 and y 1, 4
        const QVector<QRect> r = StatsMath::blocksInRange(map, g, 12, 41);
        QCOMPARE(r, (QVector<QRect>{QRect(3, 0, 2, 2), QRect(6, 0, 2, 2), QRect(0, 3, 2, 2)}));
    }

    // The alignment shift goes to the frame the panel analysed; with an I0
    // frame there it goes nowhere, and the user is told.
    void alignmentShiftOnTheAnalysedFrame_data()
    {
        QTest::addColumn<bool>("i0Analysed");
        QTest::newRow("I1 frame analysed, another chosen") << false;
        QTest::newRow("I0 frame analysed") << true;
    }

    void alignmentShiftOnTheAnalysedFrame()
    {
        QFETCH(bool, i0Analysed);
        Body b;
        ts::StackSpec s;
        s.n = 5;
        ts::loadStack(b, s, false);
        ImgProc& p = ToolsOnBody::of(b)->imgProc;
        p.EdgeDetect->setChecked(true);
        if (i0Analysed) {
            b.ShowI0->setChecked(true);
            b.showData(1);
        } else {
            b.showData(3);
        }
        // Chosen in the list without being shown.
        b.SelectI1Files->setShowLatest(false);
        b.SelectI1Files->Selected->setCurrentIndex(1);
        emit p.imgShift(4, -2);
        for (int i = 0; i < 5; ++i) {
            const bool moved = !i0Analysed && i == 3;
            QCOMPARE(b.i1Images[i]->shiftX, moved ? 4 : 0);
            QCOMPARE(b.i0Images[i]->shiftX, 0);
        }
        QCOMPARE(b.statusBar()->currentMessage().contains("not stored"), i0Analysed);
    }
};

QTEST_MAIN(TstViewsStayPut)
#include "tst_viewsstayput.moc"
