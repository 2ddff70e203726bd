#ifndef FIELDTEXT_H
#define FIELDTEXT_H

#include <QString>

// Numbers held as text in the analysis forms.
namespace FieldText
{
// The text as a number, independent of the locale; text that does not parse,
// or reads as infinity or not-a-number, gives 0.
double number(const QString& text);
// The value as the forms write it back: 6 significant digits.
QString text(double v);
// The value in at most five characters where the 'g' form allows it: the
// most significant digits that fit, keeping any exponent, so a short field
// never shows a cut mantissa in place of the value.
QString shortText(double v);
}  // namespace FieldText

#endif
