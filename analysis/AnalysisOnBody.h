#ifndef ANALYSISONBODY_H
#define ANALYSISONBODY_H

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class Analysis2DDriver;
class AnalyzeCond;
class Analyzed2DRes;
class Analyzer;
class Body;
struct EMPHeader;

// Fills the main window's steps of the analysis panel and the sum-up, its
// queries for the selected map and reference row, and the panel's removal
// before teardown.
void installAnalysisOnBody();

// The analysis side of one main window, a child of it: owns the analysis
// panel (a window of its own) and the glue between the two.
class AnalysisOnBody : public QObject
{
    Q_OBJECT

public:
    explicit AnalysisOnBody(Body& body);
    ~AnalysisOnBody() override;

    // The extension of body, null when the analysis steps were not installed.
    static AnalysisOnBody* of(const Body& body);

    void setupAnalyzer();
    void setupSumUp();
    // Deletes the panel, which stops its worker, and lets go of every map
    // of it the main window holds.
    void teardown();
    // Every connection made for the main window was made.
    bool allConnected() const;

    // Null before setupAnalyzer and after teardown.
    Analyzer* analyzer() const { return panel; }
    // The block-by-block run over the current view; null when panel is.
    Analysis2DDriver* driver() const { return run; }
    Analyzed2DRes* selectedMap() const;
    // The reference row whose Show button is checked, 0 when none is.
    int referenceIndex() const;
    // The two maps of every reference row in panel order; null for a row
    // not in use or holding no spectrum.
    QVector<Analyzed2DRes*> referenceMaps() const;

public slots:
    // Both answer the panel before its emit returns.
    void askAnalyzeCond(AnalyzeCond& ac);
    void loadMap(QString fname, Analyzed2DRes& map, EMPHeader& empH);

private:
    Body& body;
    Analyzer* panel = nullptr;
    Analysis2DDriver* run = nullptr;
    QVector<QMetaObject::Connection> connections;
};

#endif
