#ifndef COLORSCALE_H
#define COLORSCALE_H

#include <QColor>
#include <QImage>

// The value-to-colour mapping of a colour bar, without the widget. The main
// window's ColorBar derives from this and registers itself as mainColorBar, so
// image frames and result maps render through it without depending on widgets.
class ColorScale
{
public:
    virtual ~ColorScale() = default;

    int imageFormat = QImage::Format_Grayscale8;  // or QImage::Format_RGB888
    double lowerLimit = 0;  // fractions of the value range
    double upperLimit = 1;
    double valueMin = 0;    // the data range written at the bar's ends
    double valueMax = 1;

    // f is the value as a fraction of the data range; writes one grey byte or
    // three RGB bytes and returns the position after them.
    unsigned char* valueToPixel(double f, unsigned char* dst) const;
    QColor colorOfV(double f) const;
    int bytesPerPixel() const { return imageFormat == QImage::Format_RGB888 ? 3 : 1; }

    // Owners call this after changing valueMin / valueMax; the widget repaints.
    virtual void paintCBar() {}
};

// The program-wide main bar (set by the main window); null until then.
extern ColorScale* mainColorBar;

// mainColorBar, or a fixed default scale when no bar exists (tests, batch).
ColorScale& currentColorScale();

#endif
