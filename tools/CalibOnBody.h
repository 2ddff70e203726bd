#ifndef CALIBONBODY_H
#define CALIBONBODY_H

#include <QMetaObject>
#include <QObject>
#include <QVector>

#include "EnergyCalibration.h"

class Body;
class CalibCtrl;

// Fills the main window's calibration step, its background line type and the
// stop of a running calibration before teardown.
void installCalibOnBody();

// The energy calibration of one main window, a child of it: the calibration
// window, the calibration into the window's energy-shift map, and the glue to
// the window's stack, view and spectrum window.
class CalibOnBody : public QObject
{
    Q_OBJECT

public:
    explicit CalibOnBody(Body& body);
    ~CalibOnBody() override;

    // The extension of body, null when the calibration step was not installed.
    static CalibOnBody* of(const Body& body);

    void setupCalib();
    // Stops a running calibration and closes its window for good.
    void teardown();
    bool allConnected() const;
    // The background line type the window chooses for block spectra.
    int targetLineType() const;

    CalibCtrl* calibCtrl = nullptr;  // owned, no parent: a top-level window
    EnergyCalibration calibration;

public slots:
    // The window's map-file requests, carried out by the detector tools with
    // this calibration's grid, standard and crystal; false without them.
    bool saveEMap(QString fname);
    bool loadEMap(QString fname);

private:
    CalibRunInput runInput() const;

    Body& body;
    QVector<QMetaObject::Connection> connections;
};

#endif
