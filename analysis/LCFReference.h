#ifndef LCFREFERENCE_H
#define LCFREFERENCE_H

#include "analysis/AnalysisSnapshots.h"
#include "core/Analyzed2DRes.h"
#include "core/XafsSpectrum.h"
#include "widgets/XafsFileSelect.h"

#include "ui_LCFReference.h"

#include <QFrame>
#include <QString>
#include <QVector>

// One reference row of the linear-combination fits; the row is itself the
// reference spectrum, shifted in energy by its dE. GUI thread only: the
// worker gets the row's numbers as a snapshot.
//
// QWidget and Spectrum both have size() and y(): reach the spectrum through
// spectrum() (or XafsSpectrum::) to keep the names apart.
class LCFReference : public QFrame, public Ui_LCFReference, public XafsSpectrum
{
    Q_OBJECT

public:
    explicit LCFReference(QWidget* parent = nullptr);
    ~LCFReference() override;

    bool use = true;      // mirror of XFS's Use box
    double fraction = 0;  // last fitted fraction
    // "LCF Ref 1" (amount per block) and "LCF Ref 2" (fraction per block); owned.
    QVector<Analyzed2DRes*> maps;

    XafsSpectrum& spectrum() { return *this; }
    const XafsSpectrum& spectrum() const { return *this; }

    // Takes part in the fits and the 2-D run: Use checked and a spectrum
    // actually loaded.
    bool inUse() const;
    // The numbers a fit reads of this row, normalised as the row's own box says.
    LcfRefSnapshot snapshot() const;
    // The numbers a fit of a spectrum normalised under sElm and lineType
    // reads: the row's spectrum normalised under the same conditions, or a
    // reference would not fit its own material as a whole. Kept until the
    // conditions, the file, the line box or the shift change.
    LcfRefSnapshot snapshotFor(const SuggestElm& sElm, int lineType);
    // The file whose spectrum the row holds; empty when none was loaded.
    QString loadedFile() const { return loaded; }

signals:
    void newFileSelected();
    void newDeltaE();
    // The row holds no spectrum any more: cleared, or a file could not be read.
    void fileDropped();
    // fname gave no spectrum; the row was left without a file.
    void loadFailed(const QString& fname);

public slots:
    // False when the file could not be read; the row is then left without a
    // file, so no fit goes on silently with the one it held before.
    bool newFile(QString fname);
    // Clear: no file, no spectrum, no fitted values; out of every fit.
    void clearFile();
    void changedUse(bool f);
    void editedDeltaE();
    void toggledIsVictreen(bool f);
    // False when fname could not be read. An empty name with use off only
    // clears the row.
    bool setStd(bool use, double dE, QString fname, QString isVic);
    void setRatio(double f);
    void setAmount(double a);

private:
    QString loaded;
    // The shift in force when the derived curves were last built: they sit at
    // x - shift already, so a fit adds only what changed since.
    double curveShift = 0;
    // Bumped whenever the row's own curves are built anew.
    quint64 curvesGen = 0;
    // The row's spectrum as the fits see it when their conditions differ
    // from the row's own; valid for fitGen == curvesGen and the rest.
    XafsSpectrum fitCopy;
    quint64 fitGen = ~quint64(0);
    SuggestElm fitSElm;
    int fitLineType = 1;
    double fitShift = 0;
    bool lineTypeNoted = false;
    int ownLineType() const;
    void setShift(double dE);
    void rebuildCurves();
    void dropFile();
};

#endif
