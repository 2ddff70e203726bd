#include "FieldWidth.h"

#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>

#include "XafsFileSelect.h"

namespace {

// The frame and the text margins of a line edit take about 10 px.
const int lineEditMargins = 10;

bool readsAsNumber(const QString& text)
{
    bool ok = false;
    QString(text).remove(QLatin1Char(',')).trimmed().toDouble(&ok);
    return ok;
}

// Only a text the program wrote (setText clears the modified flag that typing
// sets); a selection, and a field being edited, are left as they are.
void showStart(QLineEdit* e)
{
    if (e->cursorPosition() == 0 || e->isModified() || e->hasSelectedText() || (e->hasFocus() && !e->isReadOnly()))
        return;
    if (readsAsNumber(e->text())) e->setCursorPosition(0);
}

}  // namespace

void widenFields(QWidget* root)
{
    for (QLineEdit* e : root->findChildren<QLineEdit*>()) {
        const bool file = qobject_cast<XafsFileSelect*>(e->parentWidget()) != nullptr;
        const int need = e->fontMetrics().horizontalAdvance(file ? "Cu_foil_ref.dat" : "-888888") + lineEditMargins;
        if (e->minimumWidth() < need) e->setMinimumWidth(need);
        if (e->maximumWidth() < need) e->setMaximumWidth(need);
    }
    showNumberStarts(root);
}

void reserveWidth(QWidget* w, const QString& widest)
{
    int need = w->fontMetrics().horizontalAdvance(widest);
    if (qobject_cast<QLineEdit*>(w)) {
        need += lineEditMargins;
    } else {
        const QMargins m = w->contentsMargins();
        need += m.left() + m.right() + 2;
        if (auto* l = qobject_cast<QLabel*>(w)) need += 2 * std::max(0, l->margin()) + std::max(0, l->indent());
    }
    if (w->minimumWidth() < need) w->setMinimumWidth(need);
    if (w->maximumWidth() < need) w->setMaximumWidth(need);
}

void showNumberStarts(QWidget* root)
{
    static const char* const kept = "corvenlithNumberStart";
    for (QLineEdit* e : root->findChildren<QLineEdit*>()) {
        if (e->property(kept).toBool()) continue;
        e->setProperty(kept, true);
        // setText leaves the cursor at the end, and the field scrolls to it.
        QObject::connect(e, &QLineEdit::cursorPositionChanged, e, [e] { showStart(e); });
        showStart(e);
    }
}

FileNameCombo::FileNameCombo(QWidget* parent) : QComboBox(parent)
{
    connect(this, &QComboBox::currentTextChanged, this, [this](const QString& t) { setToolTip(t); });
}

void FileNameCombo::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    p.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    p.drawComplexControl(QStyle::CC_ComboBox, opt);
    if (currentIndex() < 0 && !placeholderText().isEmpty()) {
        opt.palette.setBrush(QPalette::ButtonText, opt.palette.placeholderText());
        opt.currentText = placeholderText();
    } else if (!isEditable()) {
        // The label is drawn 1 px in from either side of the field, after the icon.
        int room = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this).width() - 2;
        if (!opt.currentIcon.isNull()) room -= opt.iconSize.width() + 4;
        opt.currentText = fontMetrics().elidedText(opt.currentText, Qt::ElideLeft, std::max(room, 0));
    }
    p.drawControl(QStyle::CE_ComboBoxLabel, opt);
}
