#include "CalibOnBody.h"

#include "CalibCtrl.h"
#include "core/EMPHeader.h"
#include "ToolsOnBody.h"
#include "core/TiffData.h"

#include <QDebug>
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"

namespace {

CalibOnBody* calibOf(Body& body)
{
    if (CalibOnBody* c = CalibOnBody::of(body)) return c;
    return new CalibOnBody(body);
}

}  // namespace

void installCalibOnBody()
{
    BodyHooks& h = Body::hooks();
    h.setupCalib = [](Body& body) { calibOf(body)->setupCalib(); };
    h.bgLineType = [](const Body& body) {
        const CalibOnBody* c = CalibOnBody::of(body);
        return c ? c->targetLineType() : 1;
    };
    h.beforeTeardown.insert(QStringLiteral("calib"), [](Body& body) {
        if (CalibOnBody* c = CalibOnBody::of(body)) c->teardown();
    });
}

CalibOnBody::CalibOnBody(Body& b) : QObject(&b), body(b)
{
    setObjectName(QStringLiteral("CalibOnBody"));
}

CalibOnBody::~CalibOnBody()
{
    teardown();
}

CalibOnBody* CalibOnBody::of(const Body& body)
{
    return body.findChild<CalibOnBody*>(QStringLiteral("CalibOnBody"), Qt::FindDirectChildrenOnly);
}

bool CalibOnBody::allConnected() const
{
    for (const QMetaObject::Connection& c : connections)
        if (!c) return false;
    return !connections.isEmpty();
}

int CalibOnBody::targetLineType() const
{
    return calibCtrl ? calibCtrl->targetLineType() : 1;
}

CalibRunInput CalibOnBody::runInput() const
{
    CalibRunInput in;
    in.imageCount = body.i1Images.size();
    in.imageWidth = body.imageWidth;
    in.imageHeight = body.imageHeight;
    if (!body.i1Images.isEmpty() && body.i1Images.first()) {
        in.xOffset = body.i1Images.first()->hdrX;
        in.yOffset = body.i1Images.first()->hdrY;
    }
    in.area = body.dispA->areaValid ? body.dispA->selectedArea : body.dispA->viewWindow;
    in.xw = body.boxHalfWidth();
    in.yw = body.boxHalfHeight();
    return in;
}

void CalibOnBody::setupCalib()
{
    if (calibCtrl) return;
    calibCtrl = new CalibCtrl(nullptr);
    calibration.setCtrl(calibCtrl);
    calibration.setMap(&body.shiftMap);
    calibration.runInput = [this] { return runInput(); };
    calibration.blockSpectrum = [this](int x, int y, int xw, int yw) {
        return body.makeXafsSpectrum(x, y, xw, yw);
    };
    calibration.suggestElm = [this] { return body.suggestElmFromUi(); };
    calibration.quadSurfaceFitted = [this] { return body.QuadSurfFittedEShift->isChecked(); };
    calibration.tell = [this](const QString& text, bool failed) {
        if (failed)
            body.reportFailure(text);
        else
            body.report(text);
    };
    connections << connect(calibCtrl, &CalibCtrl::stdNotLoaded, this, [this](const QString& fname) {
        body.reportFailure(tr("Standard spectrum not loaded: no spectrum in %1").arg(fname));
    });
    connections << connect(calibCtrl, &CalibCtrl::stdRefused, this, [this](const QString& fname, const QString& why) {
        body.reportFailure(tr("Standard spectrum not used: %1 was refused: %2").arg(fname, why));
    });

    connections << connect(body.OpenCalibCtrl, &QPushButton::clicked, calibCtrl, &QWidget::show);
    // Blocks measured on a replaced stack would sit in one map beside blocks of
    // the old one, placed with the old stack's offsets.
    connections << connect(&body, &Body::i1StackChanging, &calibration,
                           [this] { calibration.stopRun(tr("the I1 stack changed")); });
    connections << connect(calibCtrl, &CalibCtrl::saveEMap, this, &CalibOnBody::saveEMap);
    connections << connect(calibCtrl, &CalibCtrl::loadEMap, this, &CalibOnBody::loadEMap);
    connections << connect(body.NormalizeEShift, &QPushButton::clicked, &calibration,
                           &EnergyCalibration::normalizeEShift);
    connections << connect(&calibration, &EnergyCalibration::mapOffsetsChanged, this, [this](int x, int y) {
        body.shiftMapOriginX = x;
        body.shiftMapOriginY = y;
    });
    connections << connect(&calibration, &EnergyCalibration::mapImageChanged, body.dispA,
                           QOverload<>::of(&QWidget::update));
    // The spectrum window may be replaced; the one of the moment takes it.
    connections << connect(&calibration, &EnergyCalibration::standardChanged, this,
                           [this](const XafsSpectrum& s) {
                               if (!body.specWindow) return;
                               body.specWindow->reference = s;
                               body.specWindow->update();
                           });
}

void CalibOnBody::teardown()
{
    BodyHooks::cut(connections);
    // A second start request stops a run; the block in flight is the last.
    if (calibration.isRunning()) calibration.execCalibration();
    calibration.setCtrl(nullptr);
    // Nothing may reach into the window's stacks once they are being freed.
    calibration.runInput = nullptr;
    calibration.blockSpectrum = nullptr;
    calibration.suggestElm = nullptr;
    calibration.quadSurfaceFitted = nullptr;
    calibration.tell = nullptr;
    delete calibCtrl;
    calibCtrl = nullptr;
}

bool CalibOnBody::saveEMap(QString fname)
{
    // The detector tools are set up after the calibration: looked up now.
    ToolsOnBody* tools = ToolsOnBody::of(body);
    if (!tools || !calibCtrl) {
        body.reportFailure(tr("The energy-shift map was not saved: this window has no map files"));
        return false;
    }
    // Half a map would be written as if it were the whole.
    if (calibration.isRunning()) {
        body.reportFailure(tr("The energy-shift map was not saved: a calibration is still running"));
        return false;
    }
    tools->calibGrid = calibration.grid;
    tools->stdEdgeEnergy = calibration.standard.midx;
    tools->stdFileName = calibCtrl->SelectStd->Selected->text();
    tools->crystalD = calibCtrl->crystalD();
    if (!tools->saveEMap(fname)) return false;
    calibCtrl->EMPFileName->setText(tools->empFileName);
    return true;
}

bool CalibOnBody::loadEMap(QString fname)
{
    ToolsOnBody* tools = ToolsOnBody::of(body);
    if (!tools || !calibCtrl) {
        body.reportFailure(tr("Energy-shift map not read: this window has no map files"));
        return false;
    }
    // A run would go on writing its blocks over the map read in.
    calibration.stopRun(tr("an energy map file is read"));
    tools->checkSize = calibCtrl->CheckSize->isChecked();
    tools->edgeEV = calibCtrl->edgeEV();
    qDebug() << "loading emap" << fname;
    EMPHeader empH;
    if (!tools->loadMap(fname, body.shiftMap, empH)) return false;
    calibCtrl->Width->setText(QString::number(empH.width));
    calibCtrl->Height->setText(QString::number(empH.height));
    calibCtrl->XOffset->setText(QString::number(empH.xOffset));
    calibCtrl->YOffset->setText(QString::number(empH.yOffset));
    // A later save records the grid the map was read on.
    calibration.grid = tools->calibGrid;
    calibCtrl->EMPFileName->setText(tools->empFileName);
    return true;
}
