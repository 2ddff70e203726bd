#ifndef CROSSSVIEW_H
#define CROSSSVIEW_H

#include "DispA.h"

#include "core/Spectrum.h"

// A cross-section profile of the shown image with a marker at the cursor.
// Orientation 0 runs positions along the screen x, any other value up the view.
class CrossSView : public DispA
{
    Q_OBJECT

public:
    explicit CrossSView(QWidget* parent = nullptr);

    ChCoord profileCoord;
    Spectrum profile;
    int orientation = 0;
    int markerPos = 0;

    // A range to plot [lo, hi] in: an empty one is widened so that a flat
    // profile lies across the middle of the view.
    static void plotRange(double lo, double hi, double& r0, double& r1);

private slots:
    void draw(QPainter* p);
};

#endif
