#ifndef CLAMPINGINTVALIDATOR_H
#define CLAMPINGINTVALIDATOR_H

#include <QIntValidator>

class QLineEdit;

// An integer field's range. Keys that cannot lead into it are refused while
// typing; a number of the right length but past an end (what a plain
// QIntValidator lets stand) is brought to that end when the field is left or
// Enter is pressed, and clipped() says so.
class ClampingIntValidator : public QIntValidator
{
    Q_OBJECT

public:
    ClampingIntValidator(int bottom, int top, QObject* parent = nullptr);

    // Gives the field a validator of bottom .. top, owned by the field.
    static ClampingIntValidator* attach(QLineEdit* field, int bottom, int top);

    void fixup(QString& input) const override;

signals:
    void clipped(const QString& asked, int value);
};

#endif
