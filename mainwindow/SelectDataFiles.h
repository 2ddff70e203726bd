#ifndef SELECTDATAFILES_H
#define SELECTDATAFILES_H

#include <QButtonGroup>
#include <QFrame>
#include <QRectF>
#include <QStringList>

#include "SelectDataFilesAdditionalSetup.h"
#include "ui_SelectDataFiles.h"

class EOFSetup;
class LazyFileDialog;

// One row through which the user picks the image files of one stack. It
// announces choices by signals, keeps the skip / cut settings the loads use,
// and lists each loaded file with its energy.
class SelectDataFiles : public QFrame, public Ui_SelectDataFiles {
    Q_OBJECT

public:
    explicit SelectDataFiles(QWidget* parent = nullptr);
    ~SelectDataFiles() override;

    // Energy of a delivered image (from the energy set-up); lists the file.
    double addFile(const QString& fileName, int fNo, int totalFiles);

    LazyFileDialog* dataFileDialog() const { return dialog; }
    EOFSetup* eofSetup() const { return eof; }
    SelectDataFilesAdditionalSetup& additionalSetup() { return addSetup; }

signals:
    void currentIndexChanged(int idx);
    void filesSelected(QStringList files, bool newFile);
    void clear();
    void setDarkArea();
    void updateDarkArea();
    void clearDarkArea();

public slots:
    void clearFiles();
    void prev();
    void next();
    void select(int idx);

    void setSkip(int n);
    void setCutF(int n);
    void setCutL(int n);
    void setShowLatest(bool f);
    void setEngByName(bool f);
    void setEngByCalc(bool f);
    // Each false, with the reason in why, when the energy calculation refused
    // the value and kept its fields.
    bool setEngCalcStart(double v, QString* why = nullptr);
    bool setEngCalcDelta(double v, QString* why = nullptr);
    bool setEngCalcEnd(double v, QString* why = nullptr);
    bool setEngCalcNum(int n, QString* why = nullptr);
    void setEvenInEng(bool f);
    void setEvenInDeg(bool f);
    void setDispUnit(int idx);
    // As typed into the panel: a pattern naming keV sets the factor 1000,
    // any other 1.
    void setEngByNameRegExp(QString pattern);
    void setEngByNameFactor(double factor);
    void setExpTimeMS(double ms, bool ok);
    QString setEngByRef(QString fname);
    void darkArea(QRectF darkArea);

    void emitFilesSelected(const QStringList& files);

private slots:
    void newImageSelected(int i);

private:
    SelectDataFilesAdditionalSetup addSetup;
    LazyFileDialog* dialog = nullptr;
    EOFSetup* eof = nullptr;
    QButtonGroup newOrAdd;
};

#endif
