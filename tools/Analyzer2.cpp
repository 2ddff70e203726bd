#include "Analyzer2.h"

#include "DarkCheck.h"

#include "core/Cfg.h"
#include "core/ErrPoints.h"

#include <QDebug>
#include <QDir>

Analyzer2::Analyzer2(QWidget* parent) : QFrame(parent), errPoints(&globalErrPoints)
{
    setupUi(this);
    connect(CollectQInfo, &QPushButton::clicked, this, &Analyzer2::startCollectQInfo);
    connect(DarkCheck, &QPushButton::clicked, this, &Analyzer2::askedDarkCheck);
    connect(UseErrPMask, &QCheckBox::toggled, this, &Analyzer2::useErrPMaskToggled);
}

void Analyzer2::setI1Images(const QVector<TiffData*>* images)
{
    i1Images = images;
}

void Analyzer2::setErrPoints(ErrPoints* errPs)
{
    errPoints = errPs;
}

bool Analyzer2::setupErrPoints(const Cfg& cfg)
{
    connect(this, &Analyzer2::useErrPMaskToggled, this, &Analyzer2::applyUseErrPMask,
            Qt::UniqueConnection);
    // The box starts checked; the switch follows it from here on, whatever
    // becomes of the program-wide list.
    errPointsMaskOn = UseErrPMask->isChecked();
    const int at = cfg.upKeys.indexOf(QStringLiteral("ERRPOINTS"));
    if (at < 0 || !errPoints) return false;
    if (!errPoints->read(cfg.upValues.at(at), false)) {
        setUseErrPMaskEnabled(false);
        return false;
    }
    errPoints->use = true;
    setUseErrPMaskEnabled(true);
    setErrPMaskFileName(errPoints->file);
    return true;
}

void Analyzer2::doCollectQInfo(AnalyzeCond)
{
    qDebug() << "do collect Q Info";
}

void Analyzer2::setUseErrPMaskEnabled(bool f)
{
    UseErrPMask->setEnabled(f);
}

void Analyzer2::setUseErrPMaskChecked(bool f)
{
    UseErrPMask->setChecked(f);
}

bool Analyzer2::useErrPMask()
{
    return UseErrPMask->isChecked() && UseErrPMask->isEnabled();
}

void Analyzer2::setErrPMaskFileName(QString fname)
{
    ErrPMaskFileName->setText(fname);
}

bool Analyzer2::darkCheck(QStringList* written, QString* why)
{
    if (!i1Images || i1Images->isEmpty()) {
        qDebug() << "Dark check: no I1 image";
        if (why) *why = tr("no I1 image");
        return false;
    }
    static const ErrPoints noList;
    return ::DarkCheck::run(*i1Images, errPoints ? *errPoints : noList, DarkTh->text().toDouble(),
                            HistgMax->text().toDouble(), HistgBins->text().toInt(), QDir::currentPath(),
                            written, why);
}

void Analyzer2::applyUseErrPMask(bool f)
{
    if (errPoints) errPoints->use = f;
    errPointsMaskOn = f;
}
