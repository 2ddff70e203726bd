#ifndef SPECTRUM_H
#define SPECTRUM_H

#include <QPointF>
#include <QVector>

// The straight line through (x1, y1) and (x2, y2) at x; where the two share
// x, their mean. Inline: every curve read of every fit goes through it.
inline double lineAt(double x1, double y1, double x2, double y2, double x)
{
    if (x2 == x1) return 0.5 * (y1 + y2);
    return (y2 - y1) / (x2 - x1) * (x - x1) + y1;
}

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
    // Inline: every curve of every block is built through it.
    void append(double x, double y)
    {
        points.append(QPointF(x, y));
        const int last = points.size() - 1;
        if (x < minX) minX = x;
        if (y < minY) {
            minY = y;
            minYIndex = last;
        }
        if (x > maxX) maxX = x;
        if (y > maxY) {
            maxY = y;
            maxYIndex = last;
        }
    }
    void append(const QPointF& p) { append(p.x(), p.y()); }
    // Empties the points and resets the extremes; smoothed is left alone.
    void clear();
    void resetMinMax();
    // Takes over from's points and their extremes only; the display flag, the
    // x shift and the smoothed values stay this spectrum's own.
    void takePoints(const Spectrum& from);

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
    explicit SpectrumSweep(const Spectrum& s)
        : s(s), p(s.points.constData()), n(s.points.size()), shiftOn(s.xShiftOn), shift(s.xShift)
    {
    }
    // Inline: the fits read their reference curves through it at every point.
    double y(double x)
    {
        // Ends, single points and x that are not numbers: as the search does.
        if (n < 2 || !(xAt(0) < x) || !(x < xAt(n - 1))) return s.y(x);
        // First read, or backwards: found by halving, as the search does.
        if (lo < 0 || xAt(lo) > x) lo = find(x);
        // Ends before n - 1: x lies below the last point.
        while (xAt(lo + 1) <= x) ++lo;
        return lineAt(xAt(lo), p[lo].y(), xAt(lo + 1), p[lo + 1].y(), x);
    }

private:
    double xAt(int i) const
    {
        const double v = p[i].x();
        return shiftOn ? v - shift : v;
    }
    int find(double x) const;

    const Spectrum& s;
    const QPointF* p;
    int n;
    bool shiftOn;
    double shift;
    int lo = -1;
};

#endif
