#ifndef CALIBCTRL_H
#define CALIBCTRL_H

#include "ui_CalibCtrl.h"

#include <QFrame>
#include <QString>

class LazyFileDialog;
class QButtonGroup;
class XafsSpectrum;

// The calibration window: the standard spectrum, the method and its search
// parameters, the crystal, the figures of the last run and the map-file
// buttons. The calibration itself (EnergyCalibration) reads and writes the
// form; the window only loads the standard and passes the user's requests on.
class CalibCtrl : public QFrame, public Ui_CalibCtrl
{
    Q_OBJECT

public:
    explicit CalibCtrl(QWidget* parent = nullptr);
    ~CalibCtrl() override;

    double crystalD() const;
    QString crystalName() const;
    // EdgeEeV as a number, 0 when it is not one.
    double edgeEV() const;
    void setInnerPCtrlVisible(bool f);
    // Background line types chosen for the block spectra and the standard:
    // 0 Victoreen, 1 straight lines.
    int targetLineType() const;
    int stdLineType() const;

    XafsSpectrum* standard = nullptr;  // owned; null until a file is chosen
    LazyFileDialog* saveDialog = nullptr;  // owned; built when first shown
    LazyFileDialog* loadDialog = nullptr;  // owned; built when first shown
    QButtonGroup* calibTypes = nullptr;     // owned, no parent

signals:
    void newStdFileLoaded();
    void execCalibration();
    void saveEMap(QString fname);
    void loadEMap(QString fname);
    void clearMap();
    // The file chosen for the standard holds no spectrum; the window keeps
    // an empty standard.
    void stdNotLoaded(QString fname);
    // Read, but no edge can be placed in it: not taken as the standard.
    void stdRefused(const QString& fname, const QString& why);
    // The user cleared the standard: no standard is in use any more.
    void stdCleared();

public slots:
    void loadStd(QString fname);
    void setEdgeEV(QString eV);
    void loadEShiftMap(QString fname);
    void progress(double p);

private slots:
    void newFile(QString fname);
    void clearStd();
    void stdBGToggled(bool f);
};

#endif
