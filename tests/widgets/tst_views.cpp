// Profile view, processed-map view, text fitting and the vertical button.
#include "widgets/WidgetEvents.h"

#include "widgets/CrossSView.h"
#include "widgets/DrawText.h"
#include "widgets/ProcDispA.h"
#include "widgets/VPushButton.h"

#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

using namespace WidgetEvents;

class TstViews : public QObject
{
    Q_OBJECT

private slots:
    void emptyProfileStaysWhite();
    void profileOrientations();
    void flatProfileLiesInTheMiddle();
    void procViewWindowAndZoom();
    void procMouseInImagePixels();
    void textFitsItsBox();
    void textRectIsNormalised();
    void rotatedTextReadsDownwards();
    void verticalButtonHints();
};

static int darkPixels(const QImage& img, const QRect& r)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(img.pixel(x, y)) < 100) ++n;
    return n;
}

static bool isMarker(QRgb c)
{
    return qRed(c) > 150 && qGreen(c) > 150 && qBlue(c) < 60;
}

void TstViews::emptyProfileStaysWhite()
{
    CrossSView v;
    v.setFrameShape(QFrame::NoFrame);
    v.resize(100, 60);
    QVERIFY(!v.zoomEnabled && !v.panEnabled);
    const QImage img = v.grab().toImage();
    QCOMPARE(darkPixels(img, img.rect()), 0);
    for (int x = 0; x < 100; ++x) QVERIFY(!isMarker(img.pixel(x, 30)));
}

void TstViews::profileOrientations()
{
    CrossSView v;
    v.setFrameShape(QFrame::NoFrame);
    v.resize(101, 201);
    for (int i = 0; i <= 10; ++i) v.profile.append(i, i * i);
    v.markerPos = 5;

    // Vertical section: the lowest position at the bottom of the view.
    v.orientation = 1;
    QImage img = v.grab().toImage();
    QCOMPARE(v.profileCoord.r2sy(0), 201.0);
    QCOMPARE(v.profileCoord.r2sy(10), 0.0);
    QVERIFY(darkPixels(img, QRect(0, 190, 6, 11)) > 0);   // (value 0, position 0): bottom left
    QVERIFY(darkPixels(img, QRect(95, 0, 6, 6)) > 0);     // (value 100, position 10): top right
    QVERIFY(isMarker(img.pixel(50, 100)));                // marker across at position 5
    QVERIFY(!isMarker(img.pixel(50, 60)));

    // Horizontal section: positions along x, the marker a vertical line.
    v.orientation = 0;
    img = v.grab().toImage();
    QVERIFY(darkPixels(img, QRect(0, 195, 4, 6)) > 0);
    QVERIFY(darkPixels(img, QRect(97, 0, 4, 4)) > 0);
    QVERIFY(isMarker(img.pixel(50, 20)));
    QVERIFY(!isMarker(img.pixel(20, 20)));

    // With its shift on, positions move by the shift; the marker does not.
    v.profile.xShiftOn = true;
    v.profile.xShift = 2;
    v.grab();
    QCOMPARE(v.profileCoord.realX0, -2.0);
    QCOMPARE(v.profileCoord.realX1, 8.0);
}

void TstViews::flatProfileLiesInTheMiddle()
{
    CrossSView v;
    v.setFrameShape(QFrame::NoFrame);
    v.resize(100, 100);
    for (int i = 0; i < 20; ++i) v.profile.append(i, 7.0);
    const QImage img = v.grab().toImage();
    QVERIFY(darkPixels(img, QRect(10, 48, 80, 5)) > 40);
    // One point: no range either way, still nothing non-finite.
    v.profile.clear();
    v.profile.append(3, 3);
    v.grab();
    QVERIFY(std::isfinite(v.profileCoord.r2sx(3)));
}

void TstViews::procViewWindowAndZoom()
{
    ProcDispA v;
    v.resize(200, 100);
    QImage first(40, 20, QImage::Format_RGB32), second(80, 80, QImage::Format_RGB32);
    first.fill(Qt::red);
    second.fill(Qt::blue);
    v.setImage(&first);
    QCOMPARE(v.viewWindow, QRectF(0, 0, 40, 20));
    move(&v, QPointF(100, 50));
    wheel(&v, QPointF(100, 50), QPoint(0, 120));
    const double f = 1 / 1.1;
    QVERIFY(qAbs(v.viewWindow.width() - 40 * f) < 1e-9);
    QVERIFY(qAbs(v.viewWindow.center().x() - 20) < 1e-9);
    QVERIFY(qAbs(v.viewWindow.center().y() - 10) < 1e-9);
    const QRectF zoomed = v.viewWindow;
    v.setImage(&second);
    QCOMPARE(v.viewWindow, zoomed);
    // A sideways wheel does nothing; nor does any wheel when zoom is off.
    wheel(&v, QPointF(20, 20), QPoint(120, 0));
    QCOMPARE(v.viewWindow, zoomed);
    v.zoomEnabled = false;
    wheel(&v, QPointF(20, 20), QPoint(0, -120));
    QCOMPARE(v.viewWindow, zoomed);
    const QImage img = v.grab().toImage();
    QCOMPARE(QColor(img.pixel(100, 50)), QColor(Qt::blue));
    QCOMPARE(v.coord.realX0, zoomed.x());
    QCOMPARE(v.coord.plotY0, 0.0);  // not flipped
}

void TstViews::procMouseInImagePixels()
{
    ProcDispA v;
    v.resize(200, 100);
    QImage q(40, 20, QImage::Format_RGB32);
    v.setImage(&q);
    QSignalSpy moved(&v, SIGNAL(mouseMoved(double, double)));
    move(&v, QPointF(50, 25));
    move(&v, QPointF(150, 75), Qt::LeftButton);
    QCOMPARE(moved.count(), 2);
    QCOMPARE(moved[0][0].toDouble(), 10.0);
    QCOMPARE(moved[0][1].toDouble(), 5.0);
    QCOMPARE(moved[1][0].toDouble(), 30.0);
    // No image yet: the view draws nothing and reports the window's origin.
    ProcDispA empty;
    empty.resize(0, 0);
    QSignalSpy e(&empty, SIGNAL(mouseMoved(double, double)));
    move(&empty, QPointF(5, 5));
    QCOMPARE(e[0][0].toDouble(), 0.0);
}

void TstViews::textFitsItsBox()
{
    QImage img(400, 200, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    DrawText dt;
    QFont font;
    font.setPointSizeF(31);
    QFont probeFont(font);
    probeFont.setPointSizeF(10);
    p.setFont(probeFont);
    const QRectF probe = p.boundingRect(QRectF(0, 0, 5000, 5000), Qt::AlignLeft | Qt::AlignTop, "Fit me");

    QRectF box(10, 10, 300, 40);
    p.setFont(font);
    const QRectF got = dt.putTextInRect(&p, box, font, Qt::AlignLeft | Qt::AlignTop, 1, "Fit me", 0);
    QCOMPARE(got.size(), probe.size());
    QCOMPARE(p.font(), font);  // restored
    // What was drawn lies inside the box.
    QCOMPARE(darkPixels(img, QRect(0, 0, 400, 10)), 0);
    QCOMPARE(darkPixels(img, QRect(0, 52, 400, 148)), 0);
    QVERIFY(darkPixels(img, QRect(10, 10, 300, 40)) > 20);

    // The expected size, and a cap.
    const double s = DrawText::fitPointSize(probe.width(), probe.height(), 300, 40, 0);
    QVERIFY(s > 10);
    QCOMPARE(DrawText::fitPointSize(probe.width(), probe.height(), 300, 40, 8), 8.0);

    // fit 0 measures nothing and uses the font as it is.
    QRectF box2(0, 100, 50, 50);
    QVERIFY(dt.putTextInRect(&p, box2, font, 0, 0, "x", 0).isNull());

    // A box with no room draws nothing.
    const QImage before = img;
    QRectF flat(10, 150, 0, 30);
    dt.putTextInRect(&p, flat, font, 0, 1, "never", 0);
    p.end();
    QCOMPARE(img, before);
}

void TstViews::textRectIsNormalised()
{
    QImage a(200, 100, QImage::Format_RGB32), b(200, 100, QImage::Format_RGB32);
    a.fill(Qt::white);
    b.fill(Qt::white);
    DrawText dt;
    QPainter pa(&a), pb(&b);
    QRectF r1(10, 10, 150, 60), r2(160, 70, -150, -60);
    dt.putTextInRect(&pa, r1, QFont(), Qt::AlignCenter, 1, "Same", 0);
    dt.putTextInRect(&pb, r2, QFont(), Qt::AlignCenter, 1, "Same", 0);
    pa.end();
    pb.end();
    QCOMPARE(r2, r1);
    QCOMPARE(a, b);
}

void TstViews::rotatedTextReadsDownwards()
{
    QImage img(200, 200, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    DrawText dt;
    dt.putRotatedText(&p, 90, QRectF(100, 100, 150, 30), QFont(), Qt::AlignCenter, 1, "Downwards", 0, true,
                      QColor(Qt::yellow));
    QCOMPARE(p.transform(), QTransform());
    p.end();
    // The filled box stands upright, centred on (100, 100): 30 wide, 150 high.
    auto yellow = [&](int x, int y) {
        const QRgb c = img.pixel(x, y);
        return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) < 80;
    };
    QVERIFY(yellow(88, 30));
    QVERIFY(yellow(112, 170));
    QVERIFY(!yellow(80, 100));
    QVERIFY(!yellow(120, 100));
    QVERIFY(!yellow(100, 20));
    QVERIFY(darkPixels(img, QRect(85, 25, 30, 150)) > 20);
}

void TstViews::verticalButtonHints()
{
    VPushButton b;
    b.labelButton.setText("Set All");
    QPushButton normal("Set All");
    QCOMPARE(b.text(), QString());
    QCOMPARE(b.sizeHint(), normal.sizeHint().transposed());
    QCOMPARE(b.minimumSizeHint(), normal.minimumSizeHint().transposed());
    b.resize(b.sizeHint());
    const QImage img = b.grab().toImage();
    // Some caption ink, taller than wide.
    int top = img.height(), bottom = -1, left = img.width(), right = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 60) {
                top = qMin(top, y);
                bottom = qMax(bottom, y);
                left = qMin(left, x);
                right = qMax(right, x);
            }
    QVERIFY(bottom > top);
    QVERIFY(bottom - top > right - left);
}

QTEST_MAIN(TstViews)
#include "tst_views.moc"
