#ifndef ANALYZER2ONBODY_H
#define ANALYZER2ONBODY_H

#include <QMetaObject>
#include <QObject>
#include <QVector>

#include "Analyzer2.h"

class Body;

// Fills the main window's steps of the detector-tool panel and its letting go
// of the I1 stack before teardown.
void installAnalyzer2OnBody();

// The detector-tool panel of one main window, a child of it.
class Analyzer2OnBody : public QObject
{
    Q_OBJECT

public:
    explicit Analyzer2OnBody(Body& body);
    ~Analyzer2OnBody() override;

    // The extension of body, null when the panel's steps were not installed.
    static Analyzer2OnBody* of(const Body& body);

    void setupAnalyzer2();
    void setupErrPoints();
    // The panel's dark check, its files or its failure in the status bar.
    void darkCheck();
    void teardown();
    bool allConnected() const;

    Analyzer2 analyzer2;  // no parent: a top-level panel

private:
    Body& body;
    QVector<QMetaObject::Connection> connections;
};

#endif
