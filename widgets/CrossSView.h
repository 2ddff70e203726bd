#ifndef CROSSSVIEW_H
#define CROSSSVIEW_H

#include "DispA.h"

#include "core/Spectrum.h"

// A cross-section profile of the shown image with a marker at the cursor.
// Orientation 0 runs positions along the screen x, any other value down the
// view, as image rows run. Position p (a pixel index) is drawn at the middle
// of its pixel, p + 0.5.
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

    // Lines the positions up with the image beside the view: image
    // coordinates from..to (the image view's window) lie between the view's
    // own screen coordinates screenFrom..screenTo along the position axis.
    // Without it the profile's pixels fill the view.
    void alignPositions(double from, double to, double screenFrom, double screenTo);
    void unalignPositions();
    // Screen coordinate along the position axis of position p, as last drawn.
    double screenOfPosition(double p) const;

private slots:
    void draw(QPainter* p);

private:
    void setFrame();

    bool aligned = false;
    double alignFrom = 0, alignTo = 1;
    double alignScreenFrom = 0, alignScreenTo = 1;
};

#endif
