#ifndef CHCOORD_H
#define CHCOORD_H

#include <QObject>
#include <QVector>

// The coordinate frame of one plot: the widget's screen area, the plot area
// inside it and the real ranges that the plot area shows.
class ChCoord : public QObject
{
    Q_OBJECT

public:
    explicit ChCoord(QObject* parent = nullptr);

    double screenX0 = 0, screenX1 = 1;
    double screenY0 = 0, screenY1 = 1;
    double plotX0 = 0, plotX1 = 1;
    double plotY0 = 0, plotY1 = 1;
    double realX0 = 0, realX1 = 1;
    double realY0 = 0, realY1 = 1;
    double marginX0 = 0.1;
    double marginX1 = 0.05;
    double marginY1 = 0.05;
    double marginY0 = 0.1;
    int tickLabelRows = 20;
    int tickLabelCols = 25;
    double tickLabelFill = 0.85;

    void setScreenArea(double x0, double y0, double x1, double y1);
    void calcPlotArea();
    void setRealCoord(double x0, double y0, double x1, double y1);
    void setRealXRange(double x0, double x1);
    void setRealYRange(double y0, double y1);

    double r2sx(double v) const;
    double r2sy(double v) const;
    double r2sdx(double d) const;
    double r2sdy(double d) const;
    double s2rx(double s) const;
    double s2ry(double s) const;

    // Tick step and the first and last tick inside [min, max].
    static void autoTicks(double min, double max, double& step, double& first, double& last);
    // The tick values themselves, counted by index (adding the step to a
    // large value may not move it) and never more than maxTicks of them.
    static QVector<double> tickValues(double min, double max, int maxTicks = 1000);

    // num / den, or 0 when that is not a finite number (empty ranges).
    static double fraction(double num, double den);
    // A screen coordinate truncated to whole pixels, safe for any double.
    static int pix(double v);

private:
    static double linear(double v, double from0, double from1, double to0, double to1);
};

#endif
