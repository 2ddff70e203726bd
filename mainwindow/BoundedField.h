#ifndef BOUNDEDFIELD_H
#define BOUNDEDFIELD_H

#include <QMetaObject>
#include <QString>

class Body;
class QLineEdit;

// Gives an integer field the range bottom .. top (ClampingIntValidator): a
// number typed past an end is brought to it and the main window's status
// bar says so, naming the field by label. The connection is returned for
// panels that cut theirs at teardown.
QMetaObject::Connection boundField(Body& body, QLineEdit* field, const QString& label, int bottom, int top);

#endif
