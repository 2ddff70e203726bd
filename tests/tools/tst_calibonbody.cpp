#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <cmath>

#include "core/Analyzed2DRes.h"
#include "core/Cfg.h"
#include "core/ErrPoints.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/SelectDataFiles.h"
#include "tools/Analyzer2OnBody.h"
#include "tools/CalibCtrl.h"
#include "tools/CalibOnBody.h"
#include "tools/ToolsOnBody.h"
#include "support/BodyStack.h"
#include "support/Files.h"
#include "support/Messages.h"
#include "support/Spectra.h"
#include "widgets/SpecPane.h"

namespace {

const int W = 8;
const int H = 6;
const double stdE0 = 9000;
const double shift = 2.0;  // eV the sample's edge lies above the standard's

double edgeMu(double E, double E0)
{
    const double f = 0.5 * (1 + std::tanh((E - E0) / 3));
    const double wiggle = E > E0 ? 0.05 * std::sin((E - E0) / 7) : 0;
    return (1 - f) * 0.2 + f * (1.2 + wiggle);
}

// I1 transmits exp(-mu) of an I0 of 1000 everywhere, mu being the standard's
// edge moved up by shift; the frames sit at (5, 7) on the detector.
void loadStack(Body& b)
{
    ts::StackSpec s;
    s.w = W;
    s.h = H;
    s.n = 251;
    s.energy = [](int k) { return 8900.0 + k; };
    s.i1 = [](int k, int, int) { return 1000 * std::exp(-edgeMu(8900.0 + k - shift, stdE0)); };
    s.i0 = [](int, int, int) { return 1000.0; };
    ts::loadStack(b, s, false);
    for (TiffData* f : b.i1Images + b.i0Images) {
        f->hdrX = 5;
        f->hdrY = 7;
    }
}

QString writeStandard(const QTemporaryDir& dir)
{
    const QString name = dir.filePath("std.dat");
    const Spectrum sp = synth::sample(8800, 9200, 0.5, [](double E) { return edgeMu(E, stdE0); });
    return ts::writeSpectrum(name, sp) ? name : QString();
}

}  // namespace

class TstCalibOnBody : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString errListPath;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        initGlobals();
        initColorTables();
        installToolsOnBody();
        installCalibOnBody();
        installAnalyzer2OnBody();
        showAnalyzer2Button = true;
        errListPath = dir.filePath("bad.dat");
        QVERIFY(ts::writeFile(errListPath, "# Size 8 6\n1 1\n2 3\n"));
        globalCfg.add("ErrPoints", errListPath, errListPath);
    }

    void wiringAndPanels()
    {
        Body b(nullptr);
        CalibOnBody* calib = CalibOnBody::of(b);
        Analyzer2OnBody* a2 = Analyzer2OnBody::of(b);
        QVERIFY(calib && a2 && calib->calibCtrl);
        QVERIFY(calib->allConnected() && a2->allConnected());
        b.show();

        QVERIFY(!calib->calibCtrl->isVisible());
        QTest::mouseClick(b.OpenCalibCtrl, Qt::LeftButton);
        QVERIFY(calib->calibCtrl->isVisible());

        QVERIFY(!a2->analyzer2.isVisible());
        QTest::mouseClick(b.ShowAnalyzer2, Qt::LeftButton);
        QVERIFY(a2->analyzer2.isVisible());

        // The configuration's bad-pixel list reached the panel and the list.
        QCOMPARE(a2->analyzer2.ErrPMaskFileName->text(), QFileInfo(errListPath).canonicalFilePath());
        QVERIFY(a2->analyzer2.UseErrPMask->isEnabled());
        QVERIFY(globalErrPoints.use);
        QCOMPARE(globalErrPoints.points, (QVector<QPoint>{{1, 1}, {2, 3}}));

        // The window's choice of background line is the main window's.
        const auto& lineType = Body::hooks().bgLineType;
        QVERIFY(bool(lineType));
        calib->calibCtrl->TargetBGVictreen->setChecked(true);
        QCOMPARE(lineType(b), 0);
        calib->calibCtrl->TargetBGSimple->setChecked(true);
        QCOMPARE(lineType(b), 1);
    }

    void calibratesIntoTheMap()
    {
        Body b(nullptr);
        loadStack(b);
        CalibOnBody* calib = CalibOnBody::of(b);
        QVERIFY(calib);
        CalibCtrl* ctrl = calib->calibCtrl;
        b.HWidth->setText("1");
        b.VWidth->setText("1");
        b.dispA->setSelectedArea(0, 0, W - 1, H - 1);
        QVERIFY(b.dispA->areaValid);

        // Without a standard nothing runs and the map keeps its place.
        b.shiftMapOriginX = 11;
        {
            ts::MessageLog log;
            QTest::mouseClick(ctrl->ExecCalib, Qt::LeftButton);
            QCoreApplication::processEvents();
            QVERIFY(!calib->calibration.isRunning());
            QVERIFY2(log.has("standard"), qPrintable(log.lines.join('\n')));
        }
        QCOMPARE(b.shiftMapOriginX, 11);

        // Loading the standard hands it to the spectrum window too.
        const QString stdFile = writeStandard(dir);
        QVERIFY(!stdFile.isEmpty());
        ctrl->loadStd(stdFile);
        QVERIFY(!calib->calibration.standard.points.isEmpty());
        QVERIFY(b.specWindow);
        QCOMPARE(b.specWindow->reference.points.size(), calib->calibration.standard.points.size());

        QSignalSpy finished(&calib->calibration, &EnergyCalibration::doFinishCalib);
        QTest::mouseClick(ctrl->ExecCalib, Qt::LeftButton);
        QVERIFY(finished.count() > 0 || finished.wait(20000));
        QVERIFY(!calib->calibration.isRunning());
        QCOMPARE(b.shiftMapOriginX, 5);
        QCOMPARE(b.shiftMapOriginY, 7);
        const QRect area = b.dispA->selectedArea.toRect();
        const int x = area.center().x(), y = area.center().y();
        QVERIFY2(std::abs(b.shiftMap.valueAt(x, y) - shift) < 0.5,
                 qPrintable(QString::number(b.shiftMap.valueAt(x, y))));

        // The window's map file buttons go through the detector tools with
        // this run's grid, standard and crystal, and back.
        const double before = b.shiftMap.valueAt(x, y);
        const QString mapFile = dir.filePath("shift.emp");
        emit ctrl->saveEMap(mapFile);
        QVERIFY(QFileInfo::exists(mapFile));
        QCOMPARE(ctrl->EMPFileName->text(), mapFile);
        b.shiftMap.clear();
        b.shiftMapOriginX = b.shiftMapOriginY = 0;
        ctrl->Width->clear();
        ctrl->EMPFileName->clear();
        emit ctrl->loadEMap(mapFile);
        QCOMPARE(b.shiftMapOriginX, 5);
        QCOMPARE(b.shiftMapOriginY, 7);
        QCOMPARE(ctrl->Width->text(), QString::number(W));
        QCOMPARE(ctrl->YOffset->text(), QString("7"));
        QCOMPARE(ctrl->EMPFileName->text(), mapFile);
        QVERIFY2(std::abs(b.shiftMap.valueAt(x, y) - before) < 1e-3,
                 qPrintable(QString::number(b.shiftMap.valueAt(x, y))));
        // A file that is not there leaves the map and the window as they were.
        emit ctrl->loadEMap(dir.filePath("none.emp"));
        QCOMPARE(ctrl->EMPFileName->text(), mapFile);
        QVERIFY(std::abs(b.shiftMap.valueAt(x, y) - before) < 1e-3);

        // Normalising a smooth map keeps it and repaints the view.
        QSignalSpy repainted(&calib->calibration, &EnergyCalibration::mapImageChanged);
        QTest::mouseClick(b.NormalizeEShift, Qt::LeftButton);
        QCOMPARE(repainted.count(), 1);
        QVERIFY(std::abs(b.shiftMap.valueAt(x, y) - before) < 1e-3);
    }

    void teardownDuringRun()
    {
        QPointer<CalibCtrl> ctrl;
        {
            Body b(nullptr);
            loadStack(b);
            CalibOnBody* calib = CalibOnBody::of(b);
            ctrl = calib->calibCtrl;
            ctrl->loadStd(writeStandard(dir));
            b.HWidth->setText("0");
            b.VWidth->setText("0");
            b.dispA->setSelectedArea(0, 0, W - 1, H - 1);
            QTest::mouseClick(ctrl->ExecCalib, Qt::LeftButton);
            QCoreApplication::processEvents();
            QVERIFY(calib->calibration.isRunning());
        }
        // The window went with the main window; blocks still queued find nothing.
        QVERIFY(ctrl.isNull());
        QCoreApplication::processEvents();
    }
};

QTEST_MAIN(TstCalibOnBody)
#include "tst_calibonbody.moc"
