#include "EnergyCalibration.h"

#include "CalibCtrl.h"

#include "core/Analyzed2DRes.h"
#include "core/Globals.h"

#include <QDebug>

#include <cmath>

EnergyCalibration::EnergyCalibration(QObject* parent) : QObject(parent)
{
    // Queued: each block runs on its own turn of the event loop, so painting,
    // buttons and batch commands get through between blocks.
    connect(this, &EnergyCalibration::doCalibNextPoint, this, &EnergyCalibration::calibNextPoint,
            Qt::QueuedConnection);
    connect(this, &EnergyCalibration::doFinishCalib, this, &EnergyCalibration::finishCalib,
            Qt::DirectConnection);
}

void EnergyCalibration::setCtrl(CalibCtrl* c)
{
    if (ctrl) {
        disconnect(ctrl, nullptr, this, nullptr);
        disconnect(this, nullptr, ctrl, nullptr);
    }
    ctrl = c;
    if (!ctrl) return;
    // Queued: a press during a run arrives between two blocks.
    connect(ctrl, &CalibCtrl::execCalibration, this, &EnergyCalibration::execCalibration,
            Qt::QueuedConnection);
    connect(ctrl, &CalibCtrl::newStdFileLoaded, this, &EnergyCalibration::newStdFile);
    connect(ctrl, &CalibCtrl::stdCleared, this, &EnergyCalibration::stdCleared);
    connect(ctrl, &CalibCtrl::clearMap, this, &EnergyCalibration::clearShiftMap);
    connect(this, &EnergyCalibration::calibProgress, ctrl, &CalibCtrl::progress);
}

QString EnergyCalibration::startProblem(const CalibRunInput& in) const
{
    if (!ctrl || !map || !blockSpectrum) return tr("the calibration window, map or block spectra are not set up");
    if (in.imageCount <= 0) return tr("no I1 image is loaded");
    if (standard.points.isEmpty())
        return tr("it needs a standard spectrum and none is loaded (press \"Select Std.\")");
    const QString area = CalibMath::areaProblem(in.area, in.imageWidth, in.imageHeight);
    if (!area.isEmpty()) return area;
    if (ctrl->CalibTypeInnerP->isChecked()) {
        CalibMath::Search p;
        p.range = ctrl->DEw->text().toDouble();
        p.step = ctrl->DEs->text().toDouble();
        p.minStep = ctrl->MinDEs->text().toDouble();
        return CalibMath::searchProblem(p);
    }
    return QString();
}

void EnergyCalibration::say(const QString& text, bool failed)
{
    if (tell)
        tell(text, failed);
    else
        qDebug().noquote() << text;
}

void EnergyCalibration::requestNext()
{
    if (nextPending) return;
    nextPending = true;
    emit doCalibNextPoint();
}

void EnergyCalibration::execCalibration()
{
    if (running) {
        running = false;
        emit runEnded();
        return;
    }
    const CalibRunInput in = runInput ? runInput() : CalibRunInput();
    const QString why = startProblem(in);
    if (!why.isEmpty()) {
        say(tr("Calibration not started: %1").arg(why), true);
        return;
    }

    running = true;
    logWithTime(QStringLiteral("Start Calibration"));

    method = ctrl->CalibTypeInnerP->isChecked() ? CalibMath::Method::InnerProduct
                                                : CalibMath::Method::MidPoint;
    search.range = ctrl->DEw->text().toDouble();
    search.step = ctrl->DEs->text().toDouble();
    search.minStep = ctrl->MinDEs->text().toDouble();
    lineType = ctrl->targetLineType();

    grid.set(in.imageWidth, in.imageHeight, in.xw, in.yw, in.area, -1, -1);
    map->setCond(grid);
    // Until a block is measured its pixels hold no shift; a map file keeps
    // them out of the surface when read back.
    map->markAllWithoutValue();

    ctrl->Width->setText(QString::number(in.imageWidth));
    ctrl->Height->setText(QString::number(in.imageHeight));
    ctrl->XOffset->setText(QString::number(in.xOffset));
    ctrl->YOffset->setText(QString::number(in.yOffset));
    emit mapOffsetsChanged(in.xOffset, in.yOffset);

    stats = CalibMath::ShiftStats();
    blocksWithoutEdge = 0;
    blocksVisited = 0;
    blocksUnresolved = 0;
    blocksUnplaced = 0;
    measured.clear();
    measured.reserve(int(qMin<qint64>(grid.blockCount(), 1 << 20)));
    requestNext();
}

void EnergyCalibration::calibNextPoint()
{
    nextPending = false;
    if (!running) return;

    if (grid.rowStart) emit calibProgress(CalibMath::rowProgress(grid));

    const int x = grid.curX, y = grid.curY;
    const Spectrum mu = blockSpectrum(x, y, grid.xw, grid.yw);
    ++blocksVisited;
    // A block without a spectrum (outside the images, or the stack gone) or
    // without the standard's edge has no shift: it keeps 0 and stays out of
    // the figures and the surface.
    bool edge = false;
    // The standard may have been cleared while this block was being built.
    if (!mu.points.isEmpty() && !standard.points.isEmpty()) {
        const SuggestElm sElm = suggestElm ? suggestElm() : SuggestElm();
        const XafsSpectrum block(mu, QStringLiteral("Body-Calib"), lineType, 0, sElm);
        const CalibMath::Shift s = CalibMath::measureShift(block, standard, method, search);
        const CalibMath::BlockEdge e = CalibMath::edgeOf(block, standard, s, method, search);
        edge = CalibMath::hasEdge(e, sElm.noiseFactor);
        if (e.unresolved) ++blocksUnresolved;
        else if (s.unplaced) ++blocksUnplaced;
        if (edge) {
            map->setData(x, y, grid.xw, grid.yw, s.value);
            stats.add(s.value);
            measured.append(QPoint(x, y));
        }
    }
    if (!edge) ++blocksWithoutEdge;

    if (grid.next())
        requestNext();
    else
        emit doFinishCalib();
}

void EnergyCalibration::finishCalib()
{
    running = false;
    emit calibProgress(100.0);
    if (!map || !ctrl) {
        emit runEnded();
        return;
    }

    // A grid whose steps straddle the edge's rise cannot place it: those
    // blocks are told apart from blocks without the element.
    const QString unresolved =
        blocksUnresolved > 0
            ? tr(" (%1 of them: the stack's energies put no point on the edge's rise, so its place is unknown)")
                  .arg(blocksUnresolved)
            : QString();
    // On a coarse grid the standard's E0 may meet the block's at two shifts,
    // or leap past it: the mid-point cannot place those edges.
    const QString unplaced =
        blocksUnplaced > 0
            ? tr(" (%1 of them: the standard's E0 on the stack's energies meets the block's at no single shift, so the mid-point cannot place the edge)")
                  .arg(blocksUnplaced)
            : QString();
    if (stats.count == 0) {
        say(tr("Calibration measured no block: none of the %1 blocks shows the standard's edge; "
               "the map holds no shift, the figures are kept")
                    .arg(blocksVisited)
                + unresolved + unplaced,
            true);
    } else {
        if (blocksWithoutEdge > 0)
            say(tr("Calibration done: %1 of %2 blocks show no edge and got no shift")
                        .arg(blocksWithoutEdge)
                        .arg(blocksVisited)
                    + unresolved + unplaced,
                false);
        const double mean = stats.mean();
        ctrl->DEMin->setText(QString::number(stats.min, 'g', 6));
        ctrl->DEMax->setText(QString::number(stats.max, 'g', 6));
        ctrl->DEAvr->setText(QString::number(mean, 'g', 6));

        // The surface is solved here, before the spread is taken over it;
        // the start of the run left it with no coefficients.
        bool fitted = quadSurfaceFitted && quadSurfaceFitted();
        if (fitted && !map->fit.solve()) {
            qDebug() << "Quadratic surface of the map not solvable: spread of the values";
            fitted = false;
        }
        QVector<double> values;
        values.reserve(measured.size());
        for (const QPoint& c : measured) {
            if (fitted) {
                const double v = map->inside(c.x(), c.y()) ? map->fit.valueAt(c.x(), c.y()) : 0.0;
                qDebug() << "val20" << v;
                values.append(v);
            } else {
                values.append(map->valueAt(c.x(), c.y()));
            }
        }
        sigma = CalibMath::sigmaAbout(values, mean);
        ctrl->DESigma->setText(QString::number(sigma, 'g', 6));
    }

    map->genImg();
    emit mapImageChanged();
    logWithTime(QStringLiteral("End Calibration   "));
    emit runEnded();
}

void EnergyCalibration::normalizeEShift()
{
    if (!map) return;
    logWithTime(QStringLiteral("Start Normalize E Shift"));
    map->deglitch2(40.0);
    map->copyProc2Data();
    map->genImg();
    emit mapImageChanged();
    logWithTime(QStringLiteral("End Normalize E Shift  "));
}

void EnergyCalibration::newStdFile()
{
    if (!ctrl || !ctrl->standard) return;
    standard = *ctrl->standard;
    emit standardChanged(standard);
}

void EnergyCalibration::stdCleared()
{
    // The blocks still to come would be measured against no standard.
    stopRun(tr("the standard was cleared"));
    standard = XafsSpectrum();
    emit standardChanged(standard);
}

void EnergyCalibration::clearShiftMap()
{
    // Blocks still to come would be written into a map that no longer
    // belongs to the run.
    stopRun(tr("the map was cleared"));
    if (map) map->clear();
    if (ctrl) {
        ctrl->Width->setText(QStringLiteral("0"));
        ctrl->Height->setText(QStringLiteral("0"));
        ctrl->XOffset->setText(QStringLiteral("0"));
        ctrl->YOffset->setText(QStringLiteral("0"));
    }
    emit mapOffsetsChanged(0, 0);
}

void EnergyCalibration::stopRun(const QString& why)
{
    if (!running) return;
    say(tr("Calibration stopped: %1").arg(why), false);
    running = false;
    emit runEnded();
}
