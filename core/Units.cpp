#include "Units.h"

Units::Units(QObject* parent) : QObject(parent) {}

void Units::setD(double D)
{
    this->D = D;
}
