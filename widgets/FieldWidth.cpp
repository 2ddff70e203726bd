#include "FieldWidth.h"

#include <QLineEdit>

#include "XafsFileSelect.h"

void widenFields(QWidget* root)
{
    for (QLineEdit* e : root->findChildren<QLineEdit*>()) {
        const bool file = qobject_cast<XafsFileSelect*>(e->parentWidget()) != nullptr;
        // The frame and the text margins of a line edit take about 10 px.
        const int need = e->fontMetrics().horizontalAdvance(file ? "Cu_foil_ref.dat" : "-888888") + 10;
        if (e->minimumWidth() < need) e->setMinimumWidth(need);
        if (e->maximumWidth() < need) e->setMaximumWidth(need);
    }
}
