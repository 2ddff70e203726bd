#ifndef UNITS_H
#define UNITS_H

#include <QObject>

#include "PhysConst.h"

// The monochromator crystal's lattice spacing, in angstrom.
class Units : public QObject
{
    Q_OBJECT

public:
    explicit Units(QObject* parent = nullptr);

    double D = PhysConst::defaultD;

public slots:
    void setD(double D);
};

#endif
