#include "ToolsOnBody.h"

#include <QDebug>

#include "CalibCtrl.h"
#include "CalibOnBody.h"
#include "EShiftMapFile.h"
#include "ImageAlign.h"
#include "StatsMath.h"
#include "core/Analyzed2DRes.h"
#include "core/ExCmdId.h"
#include "core/Globals.h"
#include "core/SafeWrite.h"
#include "core/TiffData.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/BoundedField.h"
#include "mainwindow/SelectDataFiles.h"
#include "widgets/ChCoord.h"

#include <QDateTime>
#include <QPainter>

namespace {

ToolsOnBody* toolsOf(Body& body)
{
    if (ToolsOnBody* t = ToolsOnBody::of(body)) return t;
    return new ToolsOnBody(body);
}

// Why a map file was not taken; empty when it was.
QString whyNotRead(EShiftMapFile::LoadResult r, const QString& fname, const EMPHeader& empH,
                   const EShiftMapFile::LoadSettings& settings)
{
    using R = EShiftMapFile::LoadResult;
    switch (r) {
    case R::CannotOpen: return ToolsOnBody::tr("Energy-shift map not read: %1 cannot be opened").arg(fname);
    case R::InvalidHeader:
        return ToolsOnBody::tr("Energy-shift map not read: %1 is not an energy-shift map file").arg(fname);
    case R::SizeMismatch:
        return ToolsOnBody::tr("Energy-shift map not read: %1 is %2 x %3 pixels, the images %4 x %5")
            .arg(fname, QString::number(empH.width), QString::number(empH.height), QString::number(settings.imageWidth),
                 QString::number(settings.imageHeight));
    case R::DamagedData:
        return ToolsOnBody::tr("Energy-shift map not read: values in %1 are missing or damaged").arg(fname);
    case R::Loaded: break;
    }
    return QString();
}

}  // namespace

void installToolsOnBody()
{
    BodyHooks& h = Body::hooks();
    h.setupImgProc = [](Body& body) { toolsOf(body)->setupImgProc(); };
    h.setupStats = [](Body& body) { toolsOf(body)->setupStats(); };
    h.readMapFile = [](Body& body, const QString& fname, Analyzed2DRes& map, EMPHeader& empH) {
        return toolsOf(body)->readMap(fname, map, empH);
    };
    h.beforeTeardown.insert(QStringLiteral("tools"), [](Body& body) {
        if (ToolsOnBody* t = ToolsOnBody::of(body)) t->teardown();
    });
}

ToolsOnBody::ToolsOnBody(Body& b) : QObject(&b), body(b)
{
    setObjectName(QStringLiteral("ToolsOnBody"));
}

ToolsOnBody::~ToolsOnBody() = default;

ToolsOnBody* ToolsOnBody::of(const Body& body)
{
    return body.findChild<ToolsOnBody*>(QStringLiteral("ToolsOnBody"), Qt::FindDirectChildrenOnly);
}

bool ToolsOnBody::allConnected() const
{
    for (const QMetaObject::Connection& c : connections)
        if (!c) return false;
    return !connections.isEmpty();
}

void ToolsOnBody::setupImgProc()
{
    connections << connect(body.ShowImgProc, &QPushButton::clicked, &imgProc, &QWidget::show);
    // A shift past a frame's side leaves nothing of it to compare.
    const int side = int(TiffData::maxSide) - 1;
    connections << boundField(body, imgProc.ShiftX, tr("Shift X"), -side, side);
    connections << boundField(body, imgProc.ShiftY, tr("Shift Y"), -side, side);
    connections << connect(&imgProc, &ImgProc::askGiveData, this, &ToolsOnBody::giveProcData);
    connections << connect(&imgProc, &ImgProc::imgShift, this, &ToolsOnBody::setImgShift);
    connections << connect(&imgProc, &ImgProc::askClearAllShifts, this, &ToolsOnBody::clearAllShifts);
    connections << connect(&imgProc, &ImgProc::refused, &body, &Body::report);
    connections << connect(&body, &Body::shownImageChanged, this, &ToolsOnBody::shownImageChanged);
    connections << connect(&body, &Body::framesFreeing, this, [this](const QVector<TiffData*>& frames) {
        if (imgProc.image && frames.contains(imgProc.image)) imgProc.newImage(nullptr);
    });
}

void ToolsOnBody::setupStats()
{
    connections << connect(body.ShowStatistics, &QPushButton::clicked, this, &ToolsOnBody::showStatistics);
    // 0 (or nothing) asks for the default 100.
    connections << boundField(body, stats.Bins, tr("Statistics Bins"), 0, StatsMath::maxBins);
    connections << connect(body.ShowStatistics, &QPushButton::clicked, &stats, &QWidget::show);
    connections << connect(&stats, &Stats::rangeSelected, this, &ToolsOnBody::selectedRangeInStats);
    connections << connect(body.dispA, &ImgDispA::mouseMoved, &stats, &Stats::pointedAt);
    connections << connect(body.dispA, &DispA::drawImage2, this, &ToolsOnBody::drawOverImage);
    body.statsRangeSet = false;
    body.statsRangeLow = 0.0;
    body.statsRangeHigh = 1.0;
}

void ToolsOnBody::teardown()
{
    BodyHooks::cut(connections);
    imgProc.blockSignals(true);
    // The panel takes a null frame even while edge detection is off.
    imgProc.newImage(nullptr);
    stats.map = nullptr;
}

void ToolsOnBody::giveProcData()
{
    if (body.i1Images.isEmpty()) {
        if (imgProc.EdgeDetect->isChecked())
            body.report(tr("The image processor shows nothing: no I1 image is loaded"));
        return;
    }
    const int idx = body.SelectI1Files->Selected->currentIndex();
    imgProc.newImage(ImageAlign::imageAt(body.i1Images, idx));
}

// The shift belongs to the frame the panel analysed, which need not be the
// one chosen in the I1 list; an I0 frame takes no shift.
void ToolsOnBody::setImgShift(int dx, int dy)
{
    const int idx = imgProc.image ? body.i1Images.indexOf(imgProc.image) : -1;
    if (idx < 0) {
        body.report(tr("The shift was not stored: the image-alignment panel has no I1 frame"));
        return;
    }
    ImageAlign::setShiftAt(body.i1Images, idx, dx, dy);
}

void ToolsOnBody::clearAllShifts()
{
    ImageAlign::clearShifts(body.i1Images);
}

void ToolsOnBody::shownImageChanged(TiffData* image)
{
    imgProc.newImage(image);
}

void ToolsOnBody::showStatistics()
{
    Analyzed2DRes* map = body.selectedMap();
    if (!map) return;
    AnalyzeCond grid;
    body.fillAnalyzeCond(grid);
    stats.calc(map, grid);
}

// With "Show Over Image" the blocks inside the chosen range are outlined;
// otherwise the statistics follow the map, recomputed only when it or the
// grid changed, since their range report repaints this view.
void ToolsOnBody::drawOverImage(QPainter* p)
{
    Analyzed2DRes* map = body.selectedMap();
    AnalyzeCond grid;
    if (!map || !body.fillAnalyzeCond(grid)) return;
    if (body.statsRangeSet && stats.ShowOverImage->isChecked()) {
        const ChCoord& cc = body.dispA->coord;
        p->setPen(QColor(255, 200, 200));
        for (const QRect& r : StatsMath::blocksInRange(*map, grid, body.statsRangeLow, body.statsRangeHigh))
            p->drawRect(QRectF(cc.r2sx(r.x()), cc.r2sy(r.y()), cc.r2sdx(r.width()), cc.r2sdy(r.height())));
    } else if (!body.analysis2DRunning) {
        stats.calcIfChanged(map, grid);
    }
}

void ToolsOnBody::selectedRangeInStats()
{
    // The window also reports after each calc, and a repaint of the image
    // view recomputes the statistics: repainting an unchanged range would
    // keep the two going round.
    const bool changed = !body.statsRangeSet || body.statsRangeLow != stats.rangeLow
                         || body.statsRangeHigh != stats.rangeHigh;
    body.statsRangeLow = stats.rangeLow;
    body.statsRangeHigh = stats.rangeHigh;
    body.statsRangeSet = true;
    if (!changed) return;
    body.update();
    body.dispA->update();
}

bool ToolsOnBody::saveEMap(QString fname)
{
    return saveEMap(fname, body.shiftMap);
}

bool ToolsOnBody::saveEMap(QString fname, const Analyzed2DRes& map)
{
    // A file of zeros would read back as a map that corrects nothing.
    if (map.width() <= 0 || map.height() <= 0 || !map.data) {
        body.reportFailure(tr("The energy-shift map was not saved: there is nothing to save "
                              "(run \"Exec Calib.\" or load a map first)"));
        return false;
    }
    // The header's size comes from the grid and the rows from the image; a
    // file where they differ would read back shifted row by row.
    if (body.imageHeight > 0 && (calibGrid.width != body.imageWidth || calibGrid.height != body.imageHeight)) {
        body.reportFailure(tr("The energy-shift map was not saved: its grid is %1 x %2 pixels, the images %3 x %4")
                               .arg(calibGrid.width)
                               .arg(calibGrid.height)
                               .arg(body.imageWidth)
                               .arg(body.imageHeight));
        return false;
    }
    const EMPHeader header = EShiftMapFile::headerOf(calibGrid, body.shiftMapOriginX, body.shiftMapOriginY,
                                                     stdEdgeEnergy, crystalD);
    QString why;
    EShiftMapFile::write(fname, map, header, stdFileName, body.imageWidth, body.imageHeight,
                         QDateTime::currentDateTime(), &why);
    // The suffix may have been added to the name typed. A failure was
    // counted where it happened; the user reads which file and why.
    SafeWrite::Outcome saved;
    saved.add(EShiftMapFile::pathOf(fname), why);
    body.report(saved.text());
    if (saved.ok()) empFileName = fname;
    return saved.ok();
}

bool ToolsOnBody::loadEMap(QString fname)
{
    qDebug() << "loading emap" << fname;
    EMPHeader empH;
    return loadMap(fname, body.shiftMap, empH);
}

bool ToolsOnBody::readMap(const QString& fname, Analyzed2DRes& map, EMPHeader& empH)
{
    EShiftMapFile::LoadSettings settings;
    // Operand maps are combined block by block with the window's maps: one
    // of another size could only give a wrong result.
    settings.checkSize = true;
    settings.imageWidth = body.imageWidth;
    settings.imageHeight = body.imageHeight;
    const CalibOnBody* calib = CalibOnBody::of(body);
    settings.edgeEV = calib && calib->calibCtrl ? calib->calibCtrl->edgeEV() : edgeEV;
    AnalyzeCond grid;
    const EShiftMapFile::LoadResult r = EShiftMapFile::load(fname, map, empH, grid, settings);
    if (r != EShiftMapFile::LoadResult::Loaded) {
        body.reportFailure(whyNotRead(r, fname, empH, settings));
        return false;
    }
    return true;
}

bool ToolsOnBody::loadMap(QString fname, Analyzed2DRes& map, EMPHeader& empH)
{
    EShiftMapFile::LoadSettings settings;
    settings.checkSize = checkSize;
    settings.imageWidth = body.imageWidth;
    settings.imageHeight = body.imageHeight;
    settings.edgeEV = edgeEV;
    const EShiftMapFile::LoadResult r = EShiftMapFile::load(fname, map, empH, calibGrid, settings);
    const bool loaded = r == EShiftMapFile::LoadResult::Loaded;
    // A refused file must not move the map kept in memory: every later shift
    // would be read from the wrong pixel.
    if (loaded) {
        body.shiftMapOriginX = empH.xOffset;
        body.shiftMapOriginY = empH.yOffset;
        // A size check before any image adopts the file's size.
        body.imageWidth = settings.imageWidth;
        body.imageHeight = settings.imageHeight;
        body.dispA->update();
        empFileName = fname;
    } else {
        body.reportFailure(whyNotRead(r, fname, empH, settings));
    }
    return loaded;
}
