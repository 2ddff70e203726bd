#include "InputBounds.h"

#include "TiffData.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace InputBounds {

namespace {

QRegularExpressionMatch integerMatch(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^\\s*([+-]?)[0-9]+\\s*$"));
    return digits.match(text);
}

}  // namespace

bool isInteger(const QString& text)
{
    return integerMatch(text).hasMatch();
}

qint64 integerOf(const QString& text)
{
    const QRegularExpressionMatch m = integerMatch(text);
    if (!m.hasMatch()) return 0;
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok, 10);
    if (ok) return v;
    // Too many digits: still an integer, and far outside any bound.
    return m.captured(1) == QLatin1String("-") ? std::numeric_limits<qint64>::min()
                                               : std::numeric_limits<qint64>::max();
}

Bounded bound(qint64 asked, int lo, int hi)
{
    Bounded b;
    b.asked = asked;
    b.value = int(std::clamp<qint64>(asked, lo, hi));
    b.clipped = b.value != asked;
    return b;
}

int maxHalfWidth()
{
    return int(TiffData::maxSide) - 1;
}

int halfWidthOf(const QString& text)
{
    const int v = bound(integerOf(text), -maxHalfWidth(), maxHalfWidth()).value;
    return v < 0 ? -v : v;
}

Extent extentOf(int imageWidth, int imageHeight)
{
    Extent e;
    e.image = imageWidth > 0 && imageHeight > 0;
    e.width = e.image ? imageWidth : int(TiffData::maxSide);
    e.height = e.image ? imageHeight : int(TiffData::maxSide);
    return e;
}

Position position(qint64 x, qint64 y, const Extent& e)
{
    Position p;
    const Bounded bx = bound(x, 0, std::max(0, e.width - 1));
    const Bounded by = bound(y, 0, std::max(0, e.height - 1));
    p.x = bx.value;
    p.y = by.value;
    p.clipped = bx.clipped || by.clipped;
    return p;
}

Region region(qint64 x0, qint64 y0, qint64 x1, qint64 y1, const Extent& e)
{
    Region r;
    const Bounded a = bound(x0, 0, e.width), b = bound(y0, 0, e.height);
    const Bounded c = bound(x1, 0, e.width), d = bound(y1, 0, e.height);
    r.x0 = a.value;
    r.y0 = b.value;
    r.x1 = c.value;
    r.y1 = d.value;
    r.clipped = a.clipped || b.clipped || c.clipped || d.clipped;
    // An area given empty stays as given; one that clipping emptied had no
    // pixel inside.
    r.outside = (x0 != x1 && r.x0 == r.x1) || (y0 != y1 && r.y0 == r.y1);
    r.empty = r.x0 == r.x1 || r.y0 == r.y1;
    return r;
}

}  // namespace InputBounds
