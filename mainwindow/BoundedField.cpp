#include "BoundedField.h"

#include "Body.h"

#include "widgets/ClampingIntValidator.h"

#include <QCoreApplication>
#include <QLineEdit>

QMetaObject::Connection boundField(Body& body, QLineEdit* field, const QString& label, int bottom, int top)
{
    ClampingIntValidator* v = ClampingIntValidator::attach(field, bottom, top);
    Body* b = &body;
    return QObject::connect(v, &ClampingIntValidator::clipped, b, [b, label, bottom, top](const QString& asked, int value) {
        b->report(QCoreApplication::translate("BoundedField", "%1: %2 clipped to %3 (%4 to %5)")
                      .arg(label, asked, QString::number(value), QString::number(bottom), QString::number(top)));
    });
}
