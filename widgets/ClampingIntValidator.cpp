#include "ClampingIntValidator.h"

#include "core/InputBounds.h"

#include <QLineEdit>

ClampingIntValidator::ClampingIntValidator(int bottom, int top, QObject* parent)
    : QIntValidator(bottom, top, parent)
{
}

ClampingIntValidator* ClampingIntValidator::attach(QLineEdit* field, int bottom, int top)
{
    auto* v = new ClampingIntValidator(bottom, top, field);
    field->setValidator(v);
    return v;
}

void ClampingIntValidator::fixup(QString& input) const
{
    // Only a whole number is brought into range; a lone sign stays for the
    // user to finish.
    if (!InputBounds::isInteger(input)) return;
    const InputBounds::Bounded b = InputBounds::bound(InputBounds::integerOf(input), bottom(), top());
    if (!b.clipped) return;
    const QString asked = input.trimmed();
    input = QString::number(b.value);
    // fixup() is const by its base class; the signal only reports.
    emit const_cast<ClampingIntValidator*>(this)->clipped(asked, b.value);
}
