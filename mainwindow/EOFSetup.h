#ifndef EOFSETUP_H
#define EOFSETUP_H

#include <QButtonGroup>
#include <QFrame>
#include <QVector>

#include "EnergyOfFiles.h"
#include "core/Units.h"
#include "ui_EOFSetup.h"
#include "widgets/LazyFileDialog.h"

class QTextStream;
class SelectDataFiles;

// Gives each loaded image file its photon energy (eV): from the file name, by
// calculation from its place in the selected list, or from a reference file of
// monochromator angles.
class EOFSetup : public QFrame, public Ui_EngOfFilesSetup {
    Q_OBJECT
    friend class SelectDataFiles;  // its setters run the same recomputations as an edit

public:
    explicit EOFSetup(QWidget* parent = nullptr);

    double energyOf(const QString& fileName, int fileNo, int totalFiles);
    double energyByName(const QString& fileName, int fileNo);
    double energyByCalc(int fileNo);
    double energyByRef(int fileNo, int totalFiles);

    // `in` stands after the file's first line, which is never data.
    bool readRefValues(QTextStream& in, const QString& startKey, int column);
    bool readRefOffsets(QTextStream& in);
    // Reads the reference list fname; empty when read, else why not (the
    // list in use and its name then stay).
    QString readRefFile(const QString& fname);
    // No list: energies from a reference list are refused until one is read.
    void forgetRefList();

    // The finite positive energies of the reference list, in its order.
    QVector<double> refEnergies() const;

    // The first of the files `indexes` of `files` (numbered as the loader
    // numbers them) that would get an energy no scan can have, as "NAME would
    // have the energy E eV, SOURCE"; empty when every one is possible. Counts
    // no name misses.
    QString impossibleEnergy(const QStringList& files, const QVector<int>& indexes) const;

    // With energies from the reference list, which of the files `indexes` of
    // `files` have no line of their own in it (their energy would be the
    // first's or the last's), as a reason to refuse the load; empty when each
    // has one, or the energies come from elsewhere.
    QString framesWithoutRefLine(const QStringList& files, const QVector<int>& indexes) const;

    // Files given their number as energy because the pattern found none in
    // their name, since the last call: how many, of how many named, and the
    // first such file. Counting starts afresh.
    struct NameMisses {
        int missed = 0;
        int named = 0;
        QString first;
    };
    NameMisses takeNameMisses();

private slots:
    void newStart();
    void newDelta();
    void newEnd();
    void newNumOfPoints();
    void newPattern();
    void newPatternSelected(const QString& pattern);
    void refFileSelected(const QString& fname);

private:
    bool byRef() const;
    QString refName() const;
    EnergyOfFiles::CalcFields calcFields() const;
    // After an edit of `typed`; false, with the reason in why, when the
    // fields were put back.
    bool recompute(EnergyOfFiles::CalcField typed, QString* why = nullptr);
    void keepCalcTexts();

    Units units;
    // The reference list's lines, and their energies in the same places.
    QVector<EnergyOfFiles::RefLine> refLines;
    QVector<double> refs;
    LazyFileDialog refDialog;
    QButtonGroup modeGroup;
    QButtonGroup stepGroup;
    // The calculation fields as last accepted, restored when an edit is refused.
    QStringList acceptedCalc;
    NameMisses nameMisses;
};

#endif
