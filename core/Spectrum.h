#ifndef SPECTRUM_H
#define SPECTRUM_H

#include <QPointF>
#include <QVector>

// A curve as (x, y) points appended in ascending x, with running extremes, a
// smoothed copy of y and an optional x shift. Copied by value everywhere.
class Spectrum
{
public:
    static constexpr qint32 EmptyMinYIndex = -1879048193;  // 0x8FFFFFFF
    static constexpr qint32 EmptyMaxYIndex = 1879048193;   // 0x70000001

    Spectrum() = default;
    Spectrum(const Spectrum&) = default;
    Spectrum& operator=(const Spectrum&) = default;
    ~Spectrum() = default;

    bool kind = true;  // false: the spectrum view skips this curve among the others
    QVector<QPointF> points;
    double minX = 1e300;
    double minY = 1e300;
    double maxX = -1e300;
    double maxY = -1e300;
    qint32 minYIndex = EmptyMinYIndex;
    qint32 maxYIndex = EmptyMaxYIndex;
    QVector<double> smoothed;
    bool xShiftOn = false;
    double xShift = 0;
    double spare = 0;

    // Appends and keeps the extremes; the first point reaching an extreme
    // keeps its index.
    void append(double x, double y);
    void append(const QPointF& p) { append(p.x(), p.y()); }
    // Empties the points and resets the extremes; smoothed is left alone.
    void clear();
    void resetMinMax();

    int size() const { return points.size(); }
    bool isEmpty() const { return points.isEmpty(); }

    // Point i with the shift rule applied; 0 outside the list. Inline: the
    // curve lookups of every fit go through them.
    double xAt(int i) const
    {
        if (i < 0 || i >= points.size()) return 0.0;
        const double x = points.at(i).x();
        return xShiftOn ? x - xShift : x;
    }
    double yAt(int i) const
    {
        if (i < 0 || i >= points.size()) return 0.0;
        return points.at(i).y();
    }

    // The polyline's value at x; the end segments are extended beyond the ends.
    double y(double x) const;
    // Guards against y(i) meant as point access: use yAt.
    double y(int) const = delete;
    // The same over smoothed; values missing from smoothed read as 0.
    double smoothedY(double x) const;
    // Centred moving average of half-width n (n < 0 counts as 0).
    void smooth(int n);

private:
    double smoothedAt(int i) const;
};

// Reads a curve at rising x by sweeping forward instead of searching afresh
// for every x: for points in ascending x, the same values as Spectrum::y.
// The curve must outlive the sweep and stay unchanged meanwhile.
class SpectrumSweep
{
public:
    explicit SpectrumSweep(const Spectrum& s) : s(s) {}
    double y(double x);

private:
    const Spectrum& s;
    int lo = -1;
};

#endif
