#ifndef DRAWTEXT_H
#define DRAWTEXT_H

#include <QColor>
#include <QFont>
#include <QObject>
#include <QRectF>
#include <QString>

class QPainter;

// Draws a text at the largest point size that fits a box, optionally rotated.
class DrawText : public QObject
{
    Q_OBJECT

public:
    explicit DrawText(QObject* parent = nullptr);

    // fit == 1 fits the text into the box; rect comes back normalised.
    QRectF putTextInRect(QPainter* p, QRectF& rect, const QFont& font, int flags, int fit,
                         const QString& text, double maxSize);
    // rect's top-left corner is the centre of the text box on screen, its
    // width the box length along the text and its height the box thickness.
    QRectF putRotatedText(QPainter* p, double angle, const QRectF& rect, const QFont& font, int flags,
                          int fit, const QString& text, double maxSize, bool fillBackground,
                          const QColor& background);

    // Point size fitting a box of bwid x bhgt, given the extent bw x bh that
    // the text measures at 10 points; capped by maxSize when that is positive.
    static double fitPointSize(double bw, double bh, double bwid, double bhgt, double maxSize);
    // The box of putRotatedText in the painter's frame rotated by angle.
    static QRectF rotatedBox(double angle, const QRectF& rect);

private:
    QRectF drawFitted(QPainter* p, const QRectF& box, const QFont& font, int flags, int fit,
                      const QString& text, double maxSize, bool fillBackground, const QColor& background);
};

#endif
