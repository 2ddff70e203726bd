#ifndef ANALYZER2_H
#define ANALYZER2_H

#include "ui_Analyzer2.h"

#include "core/AnalyzeCond.h"

#include <QFrame>
#include <QString>
#include <QVector>

class Cfg;
class ErrPoints;
class TiffData;

// Detector tools: the dark check of the I1 stack and the switch of the
// bad-pixel repair. The owner hands over its I1 stack and bad-pixel list by
// pointer and connects askedDarkCheck() to darkCheck(); the panel needs
// nothing else of it.
class Analyzer2 : public QFrame, public Ui_Analyzer2
{
    Q_OBJECT

public:
    explicit Analyzer2(QWidget* parent = nullptr);

    // Not owned; must outlive the panel (or be replaced before it goes).
    void setI1Images(const QVector<TiffData*>* images);
    // Not owned; the program-wide list unless replaced.
    void setErrPoints(ErrPoints* errPs);
    // Reads the list named by the key "ErrPoints" (any case) of cfg into the
    // bad-pixel list and makes the mask switch follow it; the switch sets the
    // list's use flag from then on. False when the key is absent (the form
    // stays as it is) or the list cannot be read (the switch is disabled).
    bool setupErrPoints(const Cfg& cfg);

signals:
    void startCollectQInfo();
    void askedDarkCheck();
    void useErrPMaskToggled(bool f);

public slots:
    void doCollectQInfo(AnalyzeCond ac);
    void setUseErrPMaskEnabled(bool f);
    void setUseErrPMaskChecked(bool f);
    bool useErrPMask();
    void setErrPMaskFileName(QString fname);
    // The dark check of the I1 stack into the current working directory;
    // written receives the files' paths, why the reason when none was written.
    bool darkCheck(QStringList* written = nullptr, QString* why = nullptr);
    // Sets the bad-pixel list's use flag.
    void applyUseErrPMask(bool f);

private:
    const QVector<TiffData*>* i1Images = nullptr;
    ErrPoints* errPoints;
};

#endif
