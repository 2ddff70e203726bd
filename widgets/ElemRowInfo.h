#ifndef ELEMROWINFO_H
#define ELEMROWINFO_H

#include <QString>
#include <QVector>

#include <functional>

// What the spectrum view marks of one element row: the energy as the row's
// field shows it and the row's name. The rows themselves belong to a later
// library; their owner hands the view a provider that reads them at paint time.
struct ElemRowInfo
{
    QString energyText;
    QString name;

    // The energy in eV; 0 when the text is not a number.
    double energy() const
    {
        bool ok = false;
        const double e = energyText.toDouble(&ok);
        return ok ? e : 0.0;
    }
};

using ElemRowsProvider = std::function<QVector<ElemRowInfo>()>;

#endif
