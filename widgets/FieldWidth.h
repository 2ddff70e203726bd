#ifndef FIELDWIDTH_H
#define FIELDWIDTH_H

#include <QComboBox>

class QString;
class QWidget;

// Gives every line edit under root room for a typical value in its own font:
// a six-digit number with its sign, or the end of a file name in a file
// selector's field. A form's maximum width below that is lifted. The fields
// then show the beginning of their numbers (showNumberStarts).
void widenFields(QWidget* root);

// Keeps room in w for the widest text it is meant to show, in its own font, so
// that the window's width does not follow what it shows; a smaller maximum
// width is lifted.
void reserveWidth(QWidget* w, const QString& widest);

// Every line edit under root shows the beginning of a number written into it,
// as a label would: a line edit scrolls to the end of a new text, and a number
// cut at the front reads as another number. A field being edited keeps its
// cursor; other texts (file names) keep showing their end.
void showNumberStarts(QWidget* root);

// A list of file paths that shows the end of the current one (the file name),
// cut at the front, as a file-name field does; a combo box shows a text's
// beginning and would cut the name off. The whole path is its tool tip.
class FileNameCombo : public QComboBox
{
public:
    explicit FileNameCombo(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;
};

#endif
