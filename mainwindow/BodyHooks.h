#ifndef BODYHOOKS_H
#define BODYHOOKS_H

#include <QMap>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

class Analyzed2DRes;
class Body;
struct EMPHeader;

// The main window's set-up steps of panels that live in later libraries. Each
// later library fills its steps with its installer before the main window is
// built; a step left empty builds nothing. The steps run at their places in
// the construction order.
struct BodyHooks
{
    using Step = std::function<void(Body&)>;

    Step setupBatch;
    Step setupCalib;
    Step setupAnalyzer;
    Step setupAnalyzer2;
    Step setupImgProc;
    Step setupFourier;
    Step setupSumUp;
    Step setupErrPoints;
    Step setupStats;
    // The last construction step: the configuration's script lines.
    Step execBatchsInCfg;

    // The background line type of block spectra the calibration window
    // chooses (0 Victoreen, 1 straight lines); straight lines when unset.
    std::function<int(const Body&)> bgLineType;

    // Run first in the destructor, per library in key order, while every
    // member still exists: worker threads are stopped and pointers into the
    // stacks dropped before the images are freed. Keyed so that installing
    // twice replaces rather than runs twice.
    QMap<QString, Step> beforeTeardown;

    // Queries answered by the analysis panel of a main window; left empty,
    // the window has no selected map and reference row 0.
    std::function<Analyzed2DRes*(const Body&)> selectedMap;
    std::function<int(const Body&)> referenceIndex;
    // Two maps per reference row in panel order, null for a row not in use.
    std::function<QVector<Analyzed2DRes*>(const Body&)> referenceMaps;

    // Reads an energy-shift map file into a map that is not the window's own
    // shift map: the window's offsets, grid and image size stay as they are.
    // False, with a debug line, when the file is refused; the map is then
    // untouched. Left empty, no map file can be read.
    std::function<bool(Body&, const QString&, Analyzed2DRes&, EMPHeader&)> readMapFile;

    static void run(const Step& step, Body& body)
    {
        if (step) step(body);
    }

    // A panel's connections cut as the window goes: the panels outlive its
    // own parts, and a last signal of theirs (a field losing focus as its
    // window closes) must reach nothing of it.
    static void cut(QVector<QMetaObject::Connection>& connections)
    {
        for (const QMetaObject::Connection& c : qAsConst(connections)) QObject::disconnect(c);
        connections.clear();
    }
};

#endif
