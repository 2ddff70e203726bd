#ifndef SUPPORT_SHOWNTEXT_H
#define SUPPORT_SHOWNTEXT_H

// What a field or list shows of its text, read from what is drawn.
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace ts {

// The characters of a line edit drawn wholly within its text area, placed
// from its cursor rectangle (5 px before the cursor; 2 px kept clear either side).
inline QString shownText(QLineEdit* e)
{
    e->repaint();  // the line edit scrolls its text as it paints
    const QString t = e->displayText();
    const QFontMetrics fm = e->fontMetrics();
    const int frame = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, e) : 0;
    const int left = frame + e->textMargins().left() + 2, right = e->width() - frame - e->textMargins().right() - 2;
    const int x0 = e->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() + 5 - fm.horizontalAdvance(t.left(e->cursorPosition()));
    QString seen;
    for (int i = 0; i < t.size(); ++i)
        if (x0 + fm.horizontalAdvance(t.left(i)) >= left && x0 + fm.horizontalAdvance(t.left(i + 1)) <= right) seen += t[i];
    return seen;
}

// The label a combo box asks its style to draw, and the room it is given
// (the edit field less 1 px either side).
class ComboLabelSpy : public QProxyStyle
{
public:
    mutable QString text;
    mutable int room = -1;
    void drawControl(ControlElement e, const QStyleOption* o, QPainter* p, const QWidget* w) const override
    {
        if (const auto* c = qstyleoption_cast<const QStyleOptionComboBox*>(o); c && e == CE_ComboBoxLabel) {
            text = c->currentText;
            room = subControlRect(CC_ComboBox, c, SC_ComboBoxEditField, w).width() - 2;
        }
        QProxyStyle::drawControl(e, o, p, w);
    }
};

// The label c draws now; fits: whether it fits its room.
inline QString shownText(QComboBox* c, ComboLabelSpy& spy, bool* fits)
{
    c->setStyle(&spy);
    spy.text.clear();
    c->repaint();
    *fits = c->fontMetrics().horizontalAdvance(spy.text) <= spy.room;
    return spy.text;
}

}  // namespace ts

#endif
