// Energy-shift map files read into the analysis panel's two operand maps
// through its "Select Map" dialogs: a sound file fills the operand; a refused
// one leaves it as it was; neither ever moves the window's own shift map.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>

#include "support/BodyStack.h"
#include "support/Files.h"

#include "analysis/AnalysisOnBody.h"
#include "analysis/Analyzer.h"
#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "mainwindow/Body.h"
#include "mainwindow/SelectDataFiles.h"
#include "tools/CalibOnBody.h"
#include "tools/EShiftMapFile.h"
#include "tools/ToolsOnBody.h"

namespace {

const int W = 10;
const int H = 7;
const double E0 = 8979;
const double Si111 = 3.13553;

double shiftAt(int x, int y) { return 0.3 * x - 0.2 * y + 0.5; }

// Fills a map of w x h one-pixel blocks and returns its grid.
AnalyzeCond fill(Analyzed2DRes& map, int w, int h, const std::function<double(int, int)>& f)
{
    AnalyzeCond g;
    g.set(w, h, 0, 0, 0, 0, w, h, -1, -1);
    map.setCond(g);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) map.setData(x, y, 0, 0, f(x, y));
    return g;
}

AnalyzeCond fill(Analyzed2DRes& map, int w, int h, double base)
{
    return fill(map, w, h, [base](int x, int y) { return base + x + 10.0 * y; });
}

// A map file of w x h pixels with shiftAt over it, offsets (4, 6).
QString writeMap(const QString& path, int w, int h)
{
    Analyzed2DRes m("written");
    const AnalyzeCond g = fill(m, w, h, shiftAt);
    const EMPHeader header = EShiftMapFile::headerOf(g, 4, 6, E0, Si111);
    return EShiftMapFile::write(path, m, header, "std.dat", w, h) ? path : QString();
}

}  // namespace

class TstOperandMaps : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        initGlobals();
        initColorTables();
        installAnalysisOnBody();
        installToolsOnBody();
        installCalibOnBody();
        QVERIFY(dir.isValid());
        QVERIFY(!writeMap(dir.filePath("good.emp"), W, H).isEmpty());
        QVERIFY(!writeMap(dir.filePath("wide.emp"), W + 3, H).isEmpty());
        const QByteArray good = ts::readAll(dir.filePath("good.emp"));
        const int data = good.indexOf("##-----------------");
        QVERIFY(data > 0);
        QByteArray text = good;
        const int at = text.indexOf(' ', data + 40);
        text.insert(at, "x7");  // one value that is no number
        QVERIFY(ts::writeFile(dir.filePath("text.emp"), text));
        QVERIFY(ts::writeFile(dir.filePath("short.emp"), good.left(data + (good.size() - data) / 2)));
        QVERIFY(ts::writeFile(dir.filePath("header.emp"), good.left(data)));
    }

    void selectMap_data()
    {
        QTest::addColumn<int>("operand");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("taken");
        QTest::newRow("map 1, sound file") << 1 << "good.emp" << true;
        QTest::newRow("map 2, sound file") << 2 << "good.emp" << true;
        QTest::newRow("map 1, another image size") << 1 << "wide.emp" << false;
        QTest::newRow("map 2, a value not a number") << 2 << "text.emp" << false;
        QTest::newRow("map 1, data cut short") << 1 << "short.emp" << false;
        QTest::newRow("map 2, no separator") << 2 << "header.emp" << false;
        QTest::newRow("map 1, missing file") << 1 << "missing.emp" << false;
    }

    void selectMap()
    {
        QFETCH(int, operand);
        QFETCH(QString, file);
        QFETCH(bool, taken);
        Body b;
        Analyzer* p = AnalysisOnBody::of(b)->analyzer();
        ts::StackSpec s;
        s.w = W;
        s.h = H;
        s.n = 3;
        s.energy = [](int k) { return 8970.0 + k; };
        s.i1 = [](int, int c, int) { return 1000.0 + c; };
        s.i0 = nullptr;
        ts::loadStack(b, s, false);
        fill(b.shiftMap, W, H, 100);
        b.shiftMapOriginX = 1;
        b.shiftMapOriginY = 2;
        ToolsOnBody* tools = ToolsOnBody::of(b);
        tools->calibGrid.set(W, H, 1, 1, 0, 0, W, H, -1, -1);
        Analyzed2DRes& target = operand == 1 ? p->map1 : p->map2;
        Analyzed2DRes& other = operand == 1 ? p->map2 : p->map1;
        QLineEdit* name = operand == 1 ? p->Map1Name : p->Map2Name;
        fill(target, 3, 2, 50);
        fill(other, 4, 4, 70);
        name->setText("before");

        QSignalSpy answers(&b, &Body::finishBatchExec);
        const QString path = dir.filePath(file);
        emit(operand == 1 ? p->eShiftMapDialog1 : p->eShiftMapDialog2).fileSelected(path);

        // The window's own map, its offsets, grid and size never move.
        QCOMPARE(b.shiftMapOriginX, 1);
        QCOMPARE(b.shiftMapOriginY, 2);
        QCOMPARE(b.imageWidth, W);
        QCOMPARE(b.imageHeight, H);
        QCOMPARE(tools->calibGrid.xw, 1);
        QCOMPARE(b.shiftMap.width(), W);
        QCOMPARE(b.shiftMap.valueAt(3, 4), 143.0);
        QCOMPARE(other.width(), 4);
        QCOMPARE(other.valueAt(3, 3), 103.0);
        // Only a map command waits for a map answer.
        QCOMPARE(answers.size(), 0);

        if (taken) {
            QCOMPARE(name->text(), path);
            QCOMPARE(target.width(), W);
            QCOMPARE(target.height(), H);
            QVERIFY(target.hasImage);
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    QVERIFY2(std::fabs(target.valueAt(x, y) - shiftAt(x, y)) < 1e-3,
                             qPrintable(QString("%1,%2: %3").arg(x).arg(y).arg(target.valueAt(x, y))));
        } else {
            QCOMPARE(name->text(), QString("before"));
            QCOMPARE(target.width(), 3);
            QCOMPARE(target.height(), 2);
            QCOMPARE(target.valueAt(2, 1), 62.0);
        }
    }
};

QTEST_MAIN(TstOperandMaps)
#include "tst_operandmaps.moc"
