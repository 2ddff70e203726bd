#ifndef TOOLSONBODY_H
#define TOOLSONBODY_H

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QVector>

#include "core/EMPHeader.h"
#include "ImgProc.h"
#include "Stats.h"
#include "core/AnalyzeCond.h"

class Analyzed2DRes;
class Body;
class QPainter;
class TiffData;

// Fills the main window's steps of the image-alignment panel and the
// statistics window, and the stop of both before teardown.
void installToolsOnBody();

// The detector tools of one main window, a child of it: the image-alignment
// panel, the statistics window and the energy-shift map files, with the slots
// that tie them to the main window's stacks, view and map.
class ToolsOnBody : public QObject
{
    Q_OBJECT

public:
    explicit ToolsOnBody(Body& body);
    ~ToolsOnBody() override;

    // The extension of body, null when the tool steps were not installed.
    static ToolsOnBody* of(const Body& body);

    void setupImgProc();
    void setupStats();
    // Lets go of every frame and map of the main window.
    void teardown();
    bool allConnected() const;

    ImgProc imgProc;
    Stats stats;

    // What the energy calibration supplies to the map files: the grid the
    // map was made on, the standard's edge energy and file, the crystal
    // spacing (angstrom), the size check and an edge energy that overrides
    // the file's when positive. The name of the last map file read or written.
    AnalyzeCond calibGrid;
    double stdEdgeEnergy = 0;
    QString stdFileName;
    double crystalD = 0;
    bool checkSize = false;
    double edgeEV = 0;
    QString empFileName;

public slots:
    // Image alignment
    void giveProcData();
    void setImgShift(int dx, int dy);
    void clearAllShifts();
    void shownImageChanged(TiffData* image);

    // Statistics
    void showStatistics();
    void drawOverImage(QPainter* p);
    void selectedRangeInStats();

    // Energy-shift map files; each returns whether the file was written / read.
    bool saveEMap(QString fname);
    bool saveEMap(QString fname, const Analyzed2DRes& map);
    bool loadEMap(QString fname);
    bool loadMap(QString fname, Analyzed2DRes& map, EMPHeader& empH);
    // A map of its own (not the window's shift map): the file must match the
    // image size when there is one, and nothing of the window changes.
    bool readMap(const QString& fname, Analyzed2DRes& map, EMPHeader& empH);

private:
    Body& body;
    QVector<QMetaObject::Connection> connections;
};

#endif
