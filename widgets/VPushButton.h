#ifndef VPUSHBUTTON_H
#define VPUSHBUTTON_H

#include <QPushButton>

// A push button whose caption reads from top to bottom. The caption lives in
// labelButton, which is never shown and answers the (transposed) size hints.
class VPushButton : public QPushButton
{
    Q_OBJECT

public:
    explicit VPushButton(QWidget* parent = nullptr);

    QPushButton labelButton;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
};

#endif
