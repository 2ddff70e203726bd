#ifndef POLYFIT_H
#define POLYFIT_H

#include <QVector>

// Least-squares polynomial y = c0 + c1 x + ... + c(n-1) x^(n-1) from running
// power sums, with its root-mean-square residual.
class PolyFit
{
public:
    explicit PolyFit(int n = 2);

    void clear();
    // Points with a non-finite coordinate are ignored. With solveEachPoint set
    // the fit is solved after each point and its residual (or -1.0 when the
    // solve fails) appended to residuals.
    void addPoint(double x, double y);
    // Coefficients stay unchanged when the normal equations are (nearly)
    // singular; the result is then false.
    bool solve();
    // RMS residual of the current coefficients, from the sums alone.
    double value();

    int n;
    QVector<double> coef;   // n coefficients, constant term first
    QVector<double> sumX;   // sum of x^k, k = 0 .. 2n - 1
    QVector<double> sumYX;  // sum of y x^k, k = 0 .. n - 1
    double sumY2 = 0;
    int count = 0;
    bool solveEachPoint = false;
    QVector<double> residuals;
    double lastRms = 0;
};

#endif
