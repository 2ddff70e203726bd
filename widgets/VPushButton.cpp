#include "VPushButton.h"

#include <QPainter>

VPushButton::VPushButton(QWidget* parent) : QPushButton(parent)
{
    setText(QString());
}

QSize VPushButton::sizeHint() const
{
    return labelButton.sizeHint().transposed();
}

QSize VPushButton::minimumSizeHint() const
{
    return labelButton.minimumSizeHint().transposed();
}

void VPushButton::paintEvent(QPaintEvent* e)
{
    QPushButton::paintEvent(e);
    QPainter p(this);
    p.setPen(Qt::black);
    p.rotate(90);
    p.drawText(QRect(0, -width(), height(), width()), Qt::AlignHCenter | Qt::AlignVCenter,
               labelButton.text());
}
