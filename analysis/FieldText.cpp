#include "FieldText.h"

#include <cmath>

namespace FieldText
{
double number(const QString& text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

QString text(double v)
{
    return QString::number(v, 'g', 6);
}

QString shortText(double v)
{
    for (int digits = 6; digits > 1; --digits) {
        const QString s = QString::number(v, 'g', digits);
        if (s.size() <= 5) return s;
    }
    const QString g = QString::number(v, 'g', 1);
    const QString e = QString::number(v, 'e', 0);
    return e.size() < g.size() ? e : g;
}
}  // namespace FieldText
