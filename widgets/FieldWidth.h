#ifndef FIELDWIDTH_H
#define FIELDWIDTH_H

class QWidget;

// Gives every line edit under root room for a typical value in its own font:
// a six-digit number with its sign, or the end of a file name in a file
// selector's field. A form's maximum width below that is lifted.
void widenFields(QWidget* root);

#endif
