#ifndef COLORBAR_H
#define COLORBAR_H

#include "DispA.h"
#include "DrawText.h"

#include "core/ColorScale.h"

#include <QColor>
#include <QPixmap>

// The value-to-colour scale shown as a narrow bar with two draggable limits.
// The mapping itself (limits, value range, format) is the ColorScale part, so
// core code renders through the main bar without knowing this widget.
class ColorBar : public DispA, public ColorScale
{
    Q_OBJECT

public:
    explicit ColorBar(QWidget* parent = nullptr);

    DrawText drawText;
    QPixmap barPixmap;
    bool dragging = false;
    double* dragTarget = &lowerLimit;

    static constexpr int pixmapWidth = 20;
    static constexpr int pixmapHeight = 600;

    // The bar as paintCBar draws it, for the value range vMin .. vMax; the
    // bar itself is left as it is. Savers take the bar of the data they save
    // from it rather than the pixmap, which follows the view's last repaint.
    QPixmap renderBar(double vMin, double vMax);

signals:
    void cBarUpdated();
    void cBarUpdating();

public slots:
    // Redraws the pixmap from the limits and the value range; owners call it
    // after changing valueMin / valueMax.
    void paintCBar() override;

private slots:
    void draw1(QPainter* p);
    void onMouseMoved();
    void onMousePressed();
    void onMouseReleased();
    QColor colorOfH(int h);

protected:
    // The bar samples the scale once per widget row: drawn at the size the
    // widget had at construction it would show a few coarse bands.
    void resizeEvent(QResizeEvent* e) override;

private:
    double fractionAtMouse() const;
};

#endif
