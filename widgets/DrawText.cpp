#include "DrawText.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

DrawText::DrawText(QObject* parent) : QObject(parent) {}

double DrawText::fitPointSize(double bw, double bh, double bwid, double bhgt, double maxSize)
{
    double s;
    if (bw == 0 && bh == 0)
        s = 10;
    else if (bw == 0)
        s = 10 * std::min(1.0, bhgt / bh);
    else if (bh == 0)
        s = 10 * std::min(bwid / bw, 1.0);
    else
        s = 10 * std::min(bwid / bw, bhgt / bh);
    if (maxSize > 0) s = std::min(s, maxSize);
    return s;
}

QRectF DrawText::rotatedBox(double angle, const QRectF& rect)
{
    const double x0 = std::min(rect.x(), rect.x() + rect.width());
    const double x1 = std::max(rect.x(), rect.x() + rect.width());
    const double y0 = std::min(rect.y(), rect.y() + rect.height());
    const double y1 = std::max(rect.y(), rect.y() + rect.height());
    const double len = x1 - x0;
    const double thick = y1 - y0;
    const double a = angle / 180 * 3.141592653;
    return QRectF(std::cos(a) * x0 + std::sin(a) * y0 - len / 2, -std::sin(a) * x0 + std::cos(a) * y0 - thick / 2,
                  len, thick);
}

QRectF DrawText::drawFitted(QPainter* p, const QRectF& box, const QFont& font, int flags, int fit,
                            const QString& text, double maxSize, bool fillBackground,
                            const QColor& background)
{
    QRectF probe;
    bool drawable = true;
    if (fit == 1) {
        QFont f(font);
        f.setPointSizeF(10);
        p->setFont(f);
        probe = p->boundingRect(QRectF(0, 0, 5000, 5000), flags, text);
        const double s = fitPointSize(probe.width(), probe.height(), box.width(), box.height(), maxSize);
        // A box with no room (or a size that is not a number) draws nothing
        // rather than handing the font a size it rejects.
        drawable = s > 0 && std::isfinite(s);
        if (drawable) {
            f.setPointSizeF(s);
            p->setFont(f);
        }
    } else {
        p->setFont(font);
    }
    if (fillBackground) p->fillRect(box, background);
    if (drawable) p->drawText(box, flags, text);
    p->setFont(font);
    return probe;
}

QRectF DrawText::putTextInRect(QPainter* p, QRectF& rect, const QFont& font, int flags, int fit,
                               const QString& text, double maxSize)
{
    rect = rect.normalized();
    return drawFitted(p, rect, font, flags, fit, text, maxSize, false, QColor());
}

QRectF DrawText::putRotatedText(QPainter* p, double angle, const QRectF& rect, const QFont& font, int flags,
                                int fit, const QString& text, double maxSize, bool fillBackground,
                                const QColor& background)
{
    const QRectF box = rotatedBox(angle, rect);
    p->rotate(angle);
    const QRectF probe = drawFitted(p, box, font, flags, fit, text, maxSize, fillBackground, background);
    p->rotate(-angle);
    return probe;
}
