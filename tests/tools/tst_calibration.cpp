#include "core/Analyzed2DRes.h"
#include "core/Globals.h"
#include "core/XafsSpectrum.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibMath.h"
#include "tools/EnergyCalibration.h"
#include "widgets/EShiftMapDialog.h"

#include <QButtonGroup>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTranslator>

#include <cmath>
#include <functional>

namespace {

const double stdE0 = 9000;

// mu of an edge at E0 with some structure above it, so that inner products
// depend on the position.
double edgeMu(double E, double E0)
{
    const double f = 0.5 * (1 + std::tanh((E - E0) / 3));
    const double wiggle = E > E0 ? 0.05 * std::sin((E - E0) / 7) : 0;
    return (1 - f) * 0.2 + f * (1.2 + wiggle);
}

// The standard's scan moved by s: every point is the standard's point s eV
// further, so the block is the standard translated exactly.
Spectrum shiftedEdge(double s)
{
    Spectrum sp;
    for (int i = 0; i <= 800; ++i) {
        const double E = 8800 + 0.5 * i;
        sp.append(E + s, edgeMu(E, stdE0));
    }
    return sp;
}

QString writeStandard(const QTemporaryDir& dir)
{
    const QString name = dir.filePath("std.dat");
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text)) return QString();
    QTextStream out(&f);
    out.setRealNumberPrecision(12);
    out << "# energy mu\n";
    const Spectrum sp = shiftedEdge(0);
    for (const QPointF& p : sp.points) out << p.x() << " " << p.y() << "\n";
    return name;
}

// Messages written while it lives.
struct MessageLog
{
    static QStringList* lines;
    QStringList own;
    QtMessageHandler previous;
    MessageLog()
    {
        lines = &own;
        previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
            lines->append(m);
        });
    }
    ~MessageLog()
    {
        qInstallMessageHandler(previous);
        lines = nullptr;
    }
    bool has(const QString& part) const
    {
        for (const QString& l : own)
            if (l.contains(part)) return true;
        return false;
    }
};
QStringList* MessageLog::lines = nullptr;

// A window, a map and a calibration wired to a synthetic stack whose block at
// (x, y) is the standard moved by shift(x, y).
struct Rig
{
    CalibCtrl ctrl;
    Analyzed2DRes map{"a2d esm"};
    EnergyCalibration cal;
    CalibRunInput input;
    std::function<double(int, int)> shift = [](int x, int y) { return 1.0 + 0.1 * x - 0.05 * y; };
    std::function<void(int)> onBlock;  // called with the count after each block
    bool fitted = false;
    int blocks = 0;
    QString log;  // "B" per block, "T" per turn of the event loop posted by a block
    QTemporaryDir dir;

    Rig()
    {
        map.clear();
        cal.setCtrl(&ctrl);
        cal.setMap(&map);
        input.imageCount = 3;
        input.imageWidth = 40;
        input.imageHeight = 30;
        input.xOffset = 5;
        input.yOffset = 7;
        input.area = QRectF(3, 4, 30, 20);  // blocks at x 5..30, y 6..21
        input.xw = 2;
        input.yw = 2;
        cal.runInput = [this] { return input; };
        cal.blockSpectrum = [this](int x, int y, int, int) {
            ++blocks;
            log += 'B';
            QMetaObject::invokeMethod(&cal, [this] { log += 'T'; }, Qt::QueuedConnection);
            if (onBlock) onBlock(blocks);
            return shiftedEdge(shift(x, y));
        };
        cal.suggestElm = [] { return SuggestElm(); };
        cal.quadSurfaceFitted = [this] { return fitted; };
    }

    bool loadStandard()
    {
        const QString f = writeStandard(dir);
        if (f.isEmpty()) return false;
        ctrl.loadStd(f);
        return !cal.standard.points.isEmpty();
    }

    // Block centres of the run over input.
    QVector<QPoint> centres() const
    {
        QVector<QPoint> c;
        AnalyzeCond g;
        g.set(input.imageWidth, input.imageHeight, input.xw, input.yw, input.area, -1, -1);
        do c.append(QPoint(g.curX, g.curY));
        while (g.next());
        return c;
    }

    // Largest difference between the map and the known shifts over every
    // pixel of every block.
    double worstBlockError() const
    {
        double worst = 0;
        for (const QPoint& c : centres())
            for (int dy = -input.yw; dy <= input.yw; ++dy)
                for (int dx = -input.xw; dx <= input.xw; ++dx)
                    worst = std::max(worst, std::abs(map.valueAt(c.x() + dx, c.y() + dy) -
                                                     shift(c.x(), c.y())));
        return worst;
    }
};

double fieldValue(QLineEdit* e)
{
    return e->text().toDouble();
}

}  // namespace

class TestCalibration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initColorTables(); }
    void formContract();
    void japaneseTexts();
    void windowSignalsAndFields();
    void standardLoading();
    void midPointRecoversQuadraticShifts();
    void innerProductRecoversPlane();
    void oneBlockPerTurn();
    void pressingStartAgainStops();
    void stopAndRestartKeepOneChain();
    void badInputStartsNothing();
    void blocksWithoutSpectrumStayOut();
    void clearAndDeglitch();
    void pureArithmetic();
};

void TestCalibration::formContract()
{
    CalibCtrl c;
    QCOMPARE(c.windowTitle(), QString("Calibration"));
    QCOMPARE(c.SelCrystal->count(), 5);
    const char* names[] = {"Si(111)", "Si(311)", "Si(333)", "Ge(111)", "Ge(333)"};
    const double ds[] = {3.1355316, 1.637478, 1.0451772, 3.2663822, 1.0887941};
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(c.SelCrystal->itemText(i), QString(names[i]));
        QCOMPARE(c.SelCrystal->itemData(i).toDouble(), ds[i]);
    }
    QCOMPARE(c.SelCrystal->currentIndex(), 0);
    QCOMPARE(c.crystalName(), QString("Si(111)"));
    QCOMPARE(c.crystalD(), 3.1355316);
    c.SelCrystal->setCurrentIndex(3);
    QCOMPARE(c.crystalD(), 3.2663822);
    QCOMPARE(c.crystalName(), QString("Ge(111)"));

    QVERIFY(c.CalibTypeDMidX->isChecked());
    QVERIFY(!c.CalibTypeInnerP->isChecked());
    QCOMPARE(c.CalibTypeDMidX->text(), QString("dMidx"));
    QCOMPARE(c.CalibTypeInnerP->text(), QString("inner P."));
    QVERIFY(c.CalibTypeDMidX->toolTip().contains("difference of dMidx"));
    QVERIFY(c.CalibTypeInnerP->toolTip().contains("normalized inner products"));
    QVERIFY(c.calibTypes->exclusive());
    QCOMPARE(c.calibTypes->buttons().size(), 2);
    c.CalibTypeInnerP->setChecked(true);
    QVERIFY(!c.CalibTypeDMidX->isChecked());
    QVERIFY(c.InnerPCtrl->isVisibleTo(&c));
    c.setInnerPCtrlVisible(false);
    QVERIFY(!c.InnerPCtrl->isVisibleTo(&c));

    QCOMPARE(c.DEw->text(), QString("20"));
    QCOMPARE(c.DEs->text(), QString("1"));
    QCOMPARE(c.MinDEs->text(), QString("0.1"));
    QVERIFY(c.EdgeEeV->text().isEmpty());
    QCOMPARE(c.SelectStd->Select->text(), QString("Select Std."));
    QVERIFY(c.TargetBGSimple->isChecked());
    QVERIFY(c.StdBGSimple->isChecked());
    QVERIFY(!c.TargetBGVictreen->isEnabled());
    QVERIFY(!c.StdBGVictreen->isEnabled());
    QCOMPARE(c.targetLineType(), 1);
    QCOMPARE(c.stdLineType(), 1);
    // The two line-type pairs are independent choices.
    c.TargetBGVictreen->setEnabled(true);
    c.TargetBGVictreen->setChecked(true);
    QVERIFY(c.StdBGSimple->isChecked());
    QCOMPARE(c.targetLineType(), 0);
    QCOMPARE(c.stdLineType(), 1);

    QCOMPARE(c.ExecCalib->text(), QString("Exec Calib."));
    QCOMPARE(c.ClearMap->text(), QString("Clear Map"));
    QCOMPARE(c.SaveMap->text(), QString("Save"));
    QCOMPARE(c.LoadMap->text(), QString("Load"));
    QCOMPARE(c.CheckSize->text(), QString("Chk. Size"));
    QVERIFY(!c.CheckSize->isChecked());
    QCOMPARE(c.Progress->text(), QString("0"));
    for (QLineEdit* e : {c.DEMax, c.DEMin, c.DEAvr, c.DESigma, c.Width, c.Height, c.XOffset, c.YOffset}) {
        QCOMPARE(e->text(), QString("0"));
        QVERIFY(e->isReadOnly());
        QCOMPARE(e->styleSheet(), QString("background-color: rgb(255, 255, 231);"));
    }
    QVERIFY(c.EMPFileName->isReadOnly());
    QVERIFY(c.EMPFileName->text().isEmpty());

    QCOMPARE(c.loadDialog->fileMode(), QFileDialog::ExistingFile);
    QCOMPARE(c.loadDialog->acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(c.saveDialog->fileMode(), QFileDialog::AnyFile);
    QCOMPARE(c.saveDialog->acceptMode(), QFileDialog::AcceptSave);
    const QStringList filters = {"Energy Shift Map File (*.emp)", "Any Files (* *.*)"};
    QCOMPARE(c.loadDialog->nameFilters(), filters);
    QCOMPARE(c.saveDialog->nameFilters(), filters);
}

void TestCalibration::japaneseTexts()
{
    QTranslator t;
    QVERIFY(t.load(":Corvenlith_ja_JP"));
    QCoreApplication::installTranslator(&t);
    CalibCtrl c;
    QCoreApplication::removeTranslator(&t);
    QCOMPARE(c.windowTitle(), QString::fromUtf8("校正"));
    QCOMPARE(c.ExecCalib->text(), QString::fromUtf8("校正実行"));
    QCOMPARE(c.SelectStd->Select->text(), QString::fromUtf8("標準選択"));
    // Values and names of the batch interface stay as they are.
    QCOMPARE(c.DEw->text(), QString("20"));
    QCOMPARE(c.SelCrystal->itemText(0), QString("Si(111)"));
}

void TestCalibration::windowSignalsAndFields()
{
    CalibCtrl c;
    QSignalSpy exec(&c, &CalibCtrl::execCalibration);
    QSignalSpy clear(&c, &CalibCtrl::clearMap);
    QSignalSpy load(&c, &CalibCtrl::loadEMap);
    QSignalSpy save(&c, &CalibCtrl::saveEMap);
    QTest::mouseClick(c.ExecCalib, Qt::LeftButton);
    QTest::mouseClick(c.ClearMap, Qt::LeftButton);
    QCOMPARE(exec.count(), 1);
    QCOMPARE(clear.count(), 1);
    c.loadEShiftMap("a.emp");
    emit c.loadDialog->fileSelected("b.emp");
    emit c.saveDialog->fileSelected("c.emp");
    QCOMPARE(load.count(), 2);
    QCOMPARE(load[0][0].toString(), QString("a.emp"));
    QCOMPARE(load[1][0].toString(), QString("b.emp"));
    QCOMPARE(save.count(), 1);
    QCOMPARE(save[0][0].toString(), QString("c.emp"));

    c.progress(3.14159);
    QCOMPARE(c.Progress->text(), QString("  3.1"));
    c.progress(100.0);
    QCOMPARE(c.Progress->text(), QString("100.0"));
    c.setEdgeEV("8979");
    QCOMPARE(c.edgeEV(), 8979.0);
    c.setEdgeEV("abc");
    QCOMPARE(c.edgeEV(), 0.0);
}

void TestCalibration::standardLoading()
{
    Rig r;
    QSignalSpy loaded(&r.ctrl, &CalibCtrl::newStdFileLoaded);
    QSignalSpy taken(&r.cal, &EnergyCalibration::standardChanged);
    QVERIFY(r.loadStandard());
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(taken.count(), 1);
    QVERIFY(std::abs(r.cal.standard.midx - stdE0) < 0.5);
    QCOMPARE(r.ctrl.EdgeEeV->text(), QString::number(r.ctrl.standard->midx, 'g', 6));
    QCOMPARE(r.cal.standard.midx, r.ctrl.standard->midx);
    const double kept = r.cal.standard.midx;

    // A file that does not load: the window keeps an empty standard, the
    // selector is cleared, and the calibration keeps its copy.
    QSignalSpy cleared(r.ctrl.SelectStd, &XafsFileSelect::cleared);
    r.ctrl.loadStd(r.dir.filePath("missing.dat"));
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(cleared.count(), 1);
    QVERIFY(r.ctrl.SelectStd->Selected->text().isEmpty());
    QVERIFY(r.ctrl.standard);
    QVERIFY(r.ctrl.standard->points.isEmpty());
    QCOMPARE(r.cal.standard.midx, kept);
}

// Every block of the mid-point method holds its own shift over the whole
// block; statistics and the fitted surface match the shifts put in.
void TestCalibration::midPointRecoversQuadraticShifts()
{
    Rig r;
    r.shift = [](int x, int y) { return 2.0 + 0.002 * x * x - 0.003 * y * y + 0.001 * x * y - 0.05 * x; };
    QVERIFY(r.loadStandard());
    r.ctrl.DEMax->setText("123");
    r.fitted = true;
    QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
    QSignalSpy progress(&r.cal, &EnergyCalibration::calibProgress);
    QSignalSpy offsets(&r.cal, &EnergyCalibration::mapOffsetsChanged);
    QSignalSpy image(&r.cal, &EnergyCalibration::mapImageChanged);

    QTest::mouseClick(r.ctrl.ExecCalib, Qt::LeftButton);
    QVERIFY(!r.cal.isRunning());  // the press arrives queued
    QVERIFY(finish.wait(30000));
    QVERIFY(!r.cal.isRunning());
    QCOMPARE(r.blocks, 24);
    QCOMPARE(image.count(), 1);
    QVERIFY(r.map.hasImage);
    QVERIFY(r.worstBlockError() < 1e-3);
    // Pixels outside the area are not touched.
    QCOMPARE(r.map.valueAt(0, 0), 0.0);
    QCOMPARE(r.map.valueAt(33, 10), 0.0);
    QCOMPARE(r.map.valueAt(10, 24), 0.0);

    QCOMPARE(offsets.count(), 1);
    QCOMPARE(offsets[0][0].toInt(), 5);
    QCOMPARE(offsets[0][1].toInt(), 7);
    QCOMPARE(r.ctrl.Width->text(), QString("40"));
    QCOMPARE(r.ctrl.Height->text(), QString("30"));
    QCOMPARE(r.ctrl.XOffset->text(), QString("5"));
    QCOMPARE(r.ctrl.YOffset->text(), QString("7"));

    // Progress: one value per block row at its centre, then 100.
    QCOMPARE(progress.count(), 5);
    QCOMPARE(progress[0][0].toDouble(), 2.0 / 20 * 100);
    QCOMPARE(progress[3][0].toDouble(), 17.0 / 20 * 100);
    QCOMPARE(progress[4][0].toDouble(), 100.0);
    QCOMPARE(r.ctrl.Progress->text(), QString("100.0"));

    double lo = 1e300, hi = -1e300, sum = 0;
    const QVector<QPoint> cs = r.centres();
    for (const QPoint& c : cs) {
        const double s = r.shift(c.x(), c.y());
        lo = std::min(lo, s);
        hi = std::max(hi, s);
        sum += s;
    }
    const double mean = sum / cs.size();
    double sq = 0;
    for (const QPoint& c : cs) sq += std::pow(r.shift(c.x(), c.y()) - mean, 2);
    QVERIFY(std::abs(fieldValue(r.ctrl.DEMin) - lo) < 1e-3);
    QVERIFY(std::abs(fieldValue(r.ctrl.DEMax) - hi) < 1e-3);
    QVERIFY(std::abs(fieldValue(r.ctrl.DEAvr) - mean) < 1e-3);
    // With the fitted surface asked for, the spread is that of the surface,
    // which here is the shifts' own, not the size of the mean.
    QVERIFY(std::abs(fieldValue(r.ctrl.DESigma) - std::sqrt(sq / cs.size())) < 1e-3);

    const BPFit& f = r.map.fit;
    QVERIFY(std::abs(f.a - 0.002) < 1e-5);
    QVERIFY(std::abs(f.b + 0.003) < 1e-5);
    QVERIFY(std::abs(f.c - 0.001) < 1e-5);
    QVERIFY(std::abs(f.d + 0.05) < 1e-4);
    QVERIFY(std::abs(f.e) < 1e-4);
    QVERIFY(std::abs(f.f - 2.0) < 1e-3);
}

void TestCalibration::innerProductRecoversPlane()
{
    Rig r;
    QVERIFY(r.loadStandard());
    r.ctrl.CalibTypeInnerP->setChecked(true);
    r.ctrl.DEw->setText("10");
    r.ctrl.DEs->setText("1");
    r.ctrl.MinDEs->setText("0.1");
    QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
    r.cal.execCalibration();
    QVERIFY(finish.wait(10000));
    QCOMPARE(r.blocks, 24);
    QVERIFY(r.worstBlockError() <= 0.1 + 1e-9);

    const BPFit& f = r.map.fit;
    QVERIFY(std::abs(f.d - 0.1) < 0.01);
    QVERIFY(std::abs(f.e + 0.05) < 0.01);
    QVERIFY(std::abs(f.f - 1.0) < 0.2);
    QVERIFY(std::abs(f.a) < 1e-3 && std::abs(f.b) < 1e-3 && std::abs(f.c) < 1e-3);
    // Without the fitted surface the spread is over the map's values.
    const double mean = fieldValue(r.ctrl.DEAvr);
    double sq = 0;
    for (const QPoint& c : r.centres()) sq += std::pow(r.map.valueAt(c.x(), c.y()) - mean, 2);
    QVERIFY(std::abs(fieldValue(r.ctrl.DESigma) - std::sqrt(sq / 24)) < 1e-4);
}

// A turn of the event loop posted by a block runs before the next block.
void TestCalibration::oneBlockPerTurn()
{
    Rig r;
    QVERIFY(r.loadStandard());
    QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
    r.cal.execCalibration();
    QVERIFY(r.cal.isRunning());
    QCOMPARE(r.blocks, 0);
    QVERIFY(finish.wait(30000));
    QCOMPARE(r.blocks, 24);
    QTRY_COMPARE(r.log.count('T'), 24);
    QVERIFY2(!r.log.contains("BB"), qPrintable(r.log));
}

void TestCalibration::pressingStartAgainStops()
{
    Rig r;
    QVERIFY(r.loadStandard());
    for (QLineEdit* e : {r.ctrl.DEMax, r.ctrl.DEMin, r.ctrl.DEAvr, r.ctrl.DESigma}) e->setText("7");
    r.onBlock = [&r](int n) {
        if (n == 3) QTest::mouseClick(r.ctrl.ExecCalib, Qt::LeftButton);
    };
    QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
    QTest::mouseClick(r.ctrl.ExecCalib, Qt::LeftButton);
    QTRY_VERIFY(r.blocks >= 3 && !r.cal.isRunning());
    QTest::qWait(100);
    QCOMPARE(r.blocks, 3);
    QCOMPARE(finish.count(), 0);
    for (QLineEdit* e : {r.ctrl.DEMax, r.ctrl.DEMin, r.ctrl.DEAvr, r.ctrl.DESigma})
        QCOMPARE(e->text(), QString("7"));
    QCOMPARE(r.ctrl.Progress->text(), QString(" 10.0"));
    // The blocks done so far stay in the map.
    const QVector<QPoint> cs = r.centres();
    for (int i = 0; i < cs.size(); ++i) {
        const double v = r.map.valueAt(cs[i].x(), cs[i].y());
        if (i < 3)
            QVERIFY(std::abs(v - r.shift(cs[i].x(), cs[i].y())) < 1e-3);
        else
            QCOMPARE(v, 0.0);
    }

    // The next press starts a fresh run to its end.
    r.onBlock = nullptr;
    QTest::mouseClick(r.ctrl.ExecCalib, Qt::LeftButton);
    QVERIFY(finish.wait(30000));
    QCOMPARE(r.blocks, 3 + 24);
    QVERIFY(r.worstBlockError() < 1e-3);
    QVERIFY(fieldValue(r.ctrl.DEMax) != 7.0);
}

// Stop and start again before the pending block is taken: that block serves
// the new run, which still goes one block per turn.
void TestCalibration::stopAndRestartKeepOneChain()
{
    Rig r;
    QVERIFY(r.loadStandard());
    QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
    r.cal.execCalibration();
    r.cal.execCalibration();
    QVERIFY(!r.cal.isRunning());
    r.cal.execCalibration();
    QVERIFY(r.cal.isRunning());
    QVERIFY(finish.wait(30000));
    QCOMPARE(r.blocks, 24);
    QTRY_COMPARE(r.log.count('T'), 24);
    QVERIFY2(!r.log.contains("BB"), qPrintable(r.log));
    QTest::qWait(50);
    QCOMPARE(finish.count(), 1);
}

// Nothing starts, nothing is left queued, and the map keeps what it had.
void TestCalibration::badInputStartsNothing()
{
    Rig r;
    QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
    AnalyzeCond g;
    g.set(8, 8, 0, 0, 0, 0, 8, 8, -1, -1);
    r.map.setCond(g);
    r.map.setData(3, 3, 0, 0, 42.0);

    auto refused = [&](const QString& said) {
        MessageLog m;
        r.cal.execCalibration();
        const bool quiet = !r.cal.isRunning() && !m.has("Start Calibration") && m.has(said);
        QTest::qWait(20);
        return quiet && r.blocks == 0 && finish.isEmpty() && r.map.valueAt(3, 3) == 42.0 &&
               r.map.width() == 8;
    };

    QVERIFY(refused("needs a standard spectrum"));
    QVERIFY(r.loadStandard());

    r.input.imageCount = 0;
    {
        MessageLog m;
        r.cal.execCalibration();
        QVERIFY(m.own.isEmpty());
        QVERIFY(!r.cal.isRunning());
    }
    QTest::qWait(20);
    QCOMPARE(r.blocks, 0);
    r.input.imageCount = 3;

    r.input.area = QRectF(5, 5, 0, 10);
    QVERIFY(refused("empty area"));
    r.input.area = QRectF(5, 5, 10, 0.5);
    QVERIFY(refused("empty area"));
    r.input.area = QRectF(100, 100, 10, 10);
    QVERIFY(refused("outside the image"));
    r.input.area = QRectF(0, 0, 10, 10);
    r.input.imageWidth = -1;
    QVERIFY(refused("no image size"));
    r.input.imageWidth = 40;

    r.ctrl.CalibTypeInnerP->setChecked(true);
    r.ctrl.DEs->setText("");
    QVERIFY(refused("E-step must not be below"));
    r.ctrl.DEs->setText("0");
    r.ctrl.MinDEs->setText("0");
    QVERIFY(refused("Min. E-step must be above 0"));
    r.ctrl.MinDEs->setText("");
    QVERIFY(refused("Min. E-step must be above 0"));
    r.ctrl.DEs->setText("0.05");
    r.ctrl.MinDEs->setText("0.1");
    QVERIFY(refused("E-step must not be below"));
    r.ctrl.DEs->setText("1e-6");
    r.ctrl.MinDEs->setText("1e-7");
    QVERIFY(refused("too wide"));
    r.ctrl.DEw->setText("-1");
    r.ctrl.DEs->setText("1");
    QVERIFY(refused("negative"));
    r.ctrl.DEw->setText("nan");
    QVERIFY(refused("numbers"));

    // Without providers or map nothing runs either.
    EnergyCalibration bare;
    MessageLog m;
    bare.execCalibration();
    QVERIFY(!bare.isRunning());
    bare.calibNextPoint();
    bare.finishCalib();
    bare.normalizeEShift();
    bare.clearShiftMap();
}

// Blocks beyond the images have no spectrum: they keep 0 and stay out of the
// figures, and a run where no block has one leaves the figures alone.
void TestCalibration::blocksWithoutSpectrumStayOut()
{
    Rig r;
    QVERIFY(r.loadStandard());
    auto inner = r.cal.blockSpectrum;
    r.cal.blockSpectrum = [inner](int x, int y, int xw, int yw) {
        const Spectrum s = inner(x, y, xw, yw);
        return x > 20 ? Spectrum() : s;
    };
    QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
    r.cal.execCalibration();
    QVERIFY(finish.wait(30000));
    QCOMPARE(r.blocks, 24);
    QCOMPARE(r.cal.stats.count, 16);
    QCOMPARE(r.map.valueAt(25, 6), 0.0);
    QVERIFY(std::abs(r.map.valueAt(20, 6) - r.shift(20, 6)) < 1e-3);
    QVERIFY(std::abs(fieldValue(r.ctrl.DEMax) - r.shift(20, 6)) < 1e-3);

    r.ctrl.DEAvr->setText("5");
    r.cal.blockSpectrum = [](int, int, int, int) { return Spectrum(); };
    MessageLog m;
    r.cal.execCalibration();
    QVERIFY(finish.wait(30000));
    QVERIFY(m.has("measured no block"));
    QCOMPARE(r.ctrl.DEAvr->text(), QString("5"));
    QCOMPARE(r.ctrl.Progress->text(), QString("100.0"));
}

void TestCalibration::clearAndDeglitch()
{
    Rig r;
    QVERIFY(r.loadStandard());
    r.shift = [](int, int) { return 1.0; };
    QSignalSpy finish(&r.cal, &EnergyCalibration::doFinishCalib);
    r.cal.execCalibration();
    QVERIFY(finish.wait(30000));

    // A glitch block far from the others is replaced by its neighbours' mean.
    r.map.setData(15, 11, 2, 2, 100.0);
    QSignalSpy image(&r.cal, &EnergyCalibration::mapImageChanged);
    r.cal.normalizeEShift();
    QCOMPARE(image.count(), 1);
    QVERIFY(std::abs(r.map.valueAt(15, 11) - 1.0) < 1e-3);
    QVERIFY(std::abs(r.map.valueAt(5, 6) - 1.0) < 1e-3);

    QSignalSpy offsets(&r.cal, &EnergyCalibration::mapOffsetsChanged);
    QTest::mouseClick(r.ctrl.ClearMap, Qt::LeftButton);
    QCOMPARE(r.map.width(), 0);
    QCOMPARE(r.map.height(), 0);
    for (QLineEdit* e : {r.ctrl.Width, r.ctrl.Height, r.ctrl.XOffset, r.ctrl.YOffset})
        QCOMPARE(e->text(), QString("0"));
    QCOMPARE(offsets.count(), 1);
    QCOMPARE(offsets[0][0].toInt(), 0);
    QCOMPARE(offsets[0][1].toInt(), 0);

    // Clearing during a run ends it: no block is written into the cleared map.
    r.onBlock = [&r](int n) {
        if (n == 24 + 2) r.ctrl.ClearMap->click();
    };
    r.cal.execCalibration();
    QTRY_VERIFY(!r.cal.isRunning());
    QTest::qWait(50);
    QCOMPARE(r.blocks, 24 + 2);
    QCOMPARE(r.map.width(), 0);
    QCOMPARE(finish.count(), 1);
}

void TestCalibration::pureArithmetic()
{
    using namespace CalibMath;
    AnalyzeCond g;
    g.set(100, 100, 1, 2, 10, 20, 30, 40, -1, -1);
    QCOMPARE(rowProgress(g), 2.0 / 40 * 100);
    g.set(100, 100, 1, 2, 10, 20, 30, 0, -1, -1);
    QCOMPARE(rowProgress(g), 0.0);

    ShiftStats s;
    QCOMPARE(s.mean(), 0.0);
    for (double v : {3.0, -1.0, 4.0}) s.add(v);
    QCOMPARE(s.count, 3);
    QCOMPARE(s.min, -1.0);
    QCOMPARE(s.max, 4.0);
    QCOMPARE(s.mean(), 2.0);
    QCOMPARE(sigmaAbout({3.0, -1.0, 4.0}, 2.0), std::sqrt(14.0 / 3));
    QCOMPARE(sigmaAbout({}, 2.0), 0.0);

    Search p;
    p.range = 20;
    p.step = 1;
    p.minStep = 0.1;
    QVERIFY(searchProblem(p).isEmpty());
    p.range = 0;
    QVERIFY(searchProblem(p).isEmpty());

    const XafsSpectrum ref(shiftedEdge(0), "ref", 1, 0, SuggestElm());
    const XafsSpectrum blk(shiftedEdge(2.5), "blk", 1, 0, SuggestElm());
    QVERIFY(std::abs(blockShift(blk, ref, Method::MidPoint, p) - 2.5) < 1e-6);
    p.range = 5;
    QVERIFY(std::abs(blockShift(blk, ref, Method::InnerProduct, p) - 2.5) <= 0.1);
    QCOMPARE(blockShift(blk, ref, Method::MidPoint, p), blk.midx - ref.midx);
}

QTEST_MAIN(TestCalibration)
#include "tst_calibration.moc"
