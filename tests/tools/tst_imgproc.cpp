#include "core/Globals.h"
#include "tools/ByteMap.h"
#include "tools/ImageAlign.h"
#include "tools/ImgProc.h"
#include "support/Files.h"
#include "support/Frames.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>

namespace {

std::unique_ptr<TiffData> makeFrame(int type, int w, int h, const ts::PixelFn& v)
{
    return std::unique_ptr<TiffData>(ts::frame(type, w, h, v));
}

// The Prewitt magnitude written as column and row sums over the raw samples,
// with the frame's shift applied by hand.
double directEdge(const ts::PixelFn& raw, int w, int h, int sx, int sy, int x, int y)
{
    auto P = [&](int px, int py) {
        const int c = px - sx, r = py - sy;
        return c < 0 || r < 0 || c >= w || r >= h ? 0.0 : raw(c, r);
    };
    double right = 0, left = 0, lower = 0, upper = 0;
    for (int k = -1; k <= 1; ++k) {
        right += P(x + 1, y + k);
        left += P(x - 1, y + k);
        lower += P(x + k, y + 1);
        upper += P(x + k, y - 1);
    }
    return std::max(std::fabs(right - left), std::fabs(lower - upper));
}

BinImage pixels(int w, int h, const std::vector<QPoint>& ones)
{
    BinImage b(w, h);
    for (const QPoint& p : ones) b.data[p.y() * w + p.x()] = 1.0;
    b.findMinMax();
    return b;
}

}  // namespace

class TestImgProc : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initGlobals(); }

    void edgeImageMatchesDirectSumsForEveryPixelType()
    {
        const int w = 9, h = 7;
        auto raw = [](int x, int y) { return double((x * 37 + y * 91 + x * y * 13) % 200); };
        for (int type : {0, 1, 2, 3}) {
            auto f = makeFrame(type, w, h, raw);
            f->shiftX = 2;
            f->shiftY = -1;
            const BinImage e = ImageAlign::edgeImage(*f, w, h);
            double mn = DBL_MAX, mx = -DBL_MAX;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const double d = directEdge(raw, w, h, 2, -1, x, y);
                    QVERIFY2(e.at(x, y) == d, qPrintable(QString("type %1 at %2 %3").arg(type).arg(x).arg(y)));
                    mn = std::min(mn, d);
                    mx = std::max(mx, d);
                }
            QCOMPARE(e.min, mn);
            QCOMPARE(e.max, mx);
        }
        // Sizes that are not positive or too large give nothing; a frame
        // without pixels reads 0 everywhere.
        auto f = makeFrame(3, 4, 4, [](int, int) { return 5.0; });
        QCOMPARE(ImageAlign::edgeImage(*f, 0, 5).width, 0);
        QCOMPARE(ImageAlign::edgeImage(*f, INT_MAX, INT_MAX).width, 0);
        f->pixelType = TiffData::NoPixels;
        const BinImage none = ImageAlign::edgeImage(*f, 4, 4);
        f->pixelType = TiffData::Float32;  // so the rows are freed as floats
        QCOMPARE(none.max, DBL_MIN);
    }

    void notANumberPixelsDoNotPoisonTheImages()
    {
        auto f = makeFrame(3, 8, 8, [](int x, int y) {
            return x == 4 && y == 4 ? std::numeric_limits<double>::quiet_NaN() : double(x * 10);
        });
        const BinImage e = ImageAlign::edgeImage(*f, 8, 8);
        QVERIFY(std::isfinite(e.min) && std::isfinite(e.max));
        QVERIFY(!std::isnan(e.at(4, 4)));  // the centre takes no part
        QVERIFY(std::isnan(e.at(3, 4)));
        const BinImage b = ImageAlign::binarize(e, 1.0);
        QCOMPARE(b.at(3, 4), 0.0);  // a NaN edge is no edge
        QCOMPARE(b.at(1, 1), 1.0);  // the gradient 30 elsewhere is
        QCOMPARE(ImageAlign::binarize(e, std::nan("")).max, DBL_MIN);  // a NaN threshold marks nothing
    }

    // Against an independent sum over the overlap, for every shift that
    // overlaps and a few to the ends of int.
    void scoreAgainstDirectSums()
    {
        const BinImage a = pixels(6, 5, {{1, 1}, {2, 3}, {4, 2}});
        const BinImage b = pixels(6, 5, {{0, 0}, {1, 2}, {3, 1}, {5, 4}});
        QCOMPARE(ImageAlign::compareScore(a, a, 6, 5, 0, 0), 1.0);
        QCOMPARE(ImageAlign::compareScore(BinImage(6, 5), a, 6, 5, 0, 0), 0.0);
        for (int sx = -7; sx <= 7; ++sx)
            for (int sy = -6; sy <= 6; ++sy) {
                double bb = 0, rr = 0, br = 0;
                for (int y = 0; y < 5; ++y)
                    for (int x = 0; x < 6; ++x) {
                        if (x - sx < 0 || x - sx >= 6 || y - sy < 0 || y - sy >= 5) continue;
                        const double bv = b.at(x - sx, y - sy), rv = a.at(x, y);
                        bb += bv * bv;
                        rr += rv * rv;
                        br += bv * rv;
                    }
                QCOMPARE(ImageAlign::compareScore(b, a, 6, 5, sx, sy), rr * bb > 0 ? br / std::sqrt(rr * bb) : 0.0);
            }
        for (int s : {INT_MAX, INT_MIN}) {
            QCOMPARE(ImageAlign::compareScore(a, a, 6, 5, s, 0), 0.0);
            QCOMPARE(ImageAlign::compareScore(a, a, 6, 5, 0, s), 0.0);
        }
        // A reference of another size is read only inside itself.
        QCOMPARE(ImageAlign::compareScore(a, pixels(2, 2, {{1, 1}}), 6, 5, 0, 0), 1.0 / std::sqrt(3.0));
    }

    // Blobs with smooth flanks, so that their edge rings are a few pixels
    // wide; the moved frame shows the scene displaced by (-3, 2), so the
    // shift that lines it up with the reference is (3, -2).
    void climbRecoversAKnownShiftThroughEdges()
    {
        const int w = 48, h = 44;
        auto blobs = [](int x, int y) {
            auto g = [](double dx, double dy, double s) { return std::exp(-(dx * dx + dy * dy) / (2 * s * s)); };
            return 1000 * g(x - 14, y - 16, 4) + 700 * g(x - 32, y - 30, 5) + 500 * g(x - 34, y - 12, 3);
        };
        auto ref = makeFrame(1, w, h, blobs);
        auto moved = makeFrame(1, w, h, blobs);
        moved->shiftX = -3;
        moved->shiftY = 2;
        auto binOf = [&](const TiffData& f) {
            const BinImage e = ImageAlign::edgeImage(f, w, h);
            return ImageAlign::binarize(e, ImageAlign::thresholdFromSlider(e.min, e.max, 100));
        };
        const BinImage r = binOf(*ref), b = binOf(*moved);
        QVERIFY(ImageAlign::compareScore(b, r, w, h, 3, -2) > 0.99);
        QCOMPARE(ImageAlign::hillClimb(b, r, w, h, QPoint(0, 0), 0.0), QPoint(3, -2));
        QCOMPARE(ImageAlign::hillClimb(b, r, w, h, QPoint(5, 1), 0.0), QPoint(3, -2));
    }

    // Indexes outside the stack, as an empty file list gives, reach no frame.
    void shiftsOnTheStack()
    {
        auto a = makeFrame(1, 2, 2, [](int, int) { return 1.0; });
        auto b = makeFrame(1, 2, 2, [](int, int) { return 1.0; });
        const QVector<TiffData*> stack{a.get(), b.get()};
        QCOMPARE(ImageAlign::imageAt(stack, 2), nullptr);
        QCOMPARE(ImageAlign::imageAt(stack, -1), nullptr);
        QVERIFY(!ImageAlign::setShiftAt(stack, 5, 7, 7));
        QVERIFY(ImageAlign::setShiftAt(stack, 1, 3, -4));
        QCOMPARE(QPoint(b->shiftX, b->shiftY), QPoint(3, -4));
        QCOMPARE(QPoint(a->shiftX, a->shiftY), QPoint(0, 0));
        ImageAlign::clearShifts(stack);
        QCOMPARE(QPoint(b->shiftX, b->shiftY), QPoint(0, 0));
    }

    // A shown panel destroyed while a field has the focus: the edit ends as
    // the window closes, after the panel's own part is gone.
    void destroyedWhileEditing()
    {
        auto* p = new ImgProc;
        p->show();
        QVERIFY(QTest::qWaitForWindowExposed(p));
        p->activateWindow();
        p->ShiftX->setFocus();
        QTRY_VERIFY(p->ShiftX->hasFocus());
        QSignalSpy shifts(p, &ImgProc::imgShift);
        delete p;
        QCOMPARE(shifts.size(), 0);
    }

    void byteMapsAreReadInEveryMode()
    {
        QTemporaryDir dir;
        const QString fn = dir.filePath("map.dat");
        QVERIFY(ts::writeFile(fn, "# Size 4 3\n1 0 1   # comment\n2 1 0\n3 2 abc\n0 2\n9 9 1\n-1 0 1\n5\n\n"));
        ByteMap m;
        QVERIFY(readByteMap(m, fn, 0));
        QCOMPARE(m.width, 4);
        QCOMPARE(m.height, 3);
        QVector<unsigned char> want(12, 0);
        want[1] = 1;
        want[3 + 2 * 4] = 1;  // not a number counts as not 0
        QCOMPARE(m.bytes, want);

        // Mode 1 keeps what is set where the value is not 0 and clears at 0;
        // mode 2 sets where it is not 0 and keeps at 0.
        const QString pts = dir.filePath("pts.dat");
        QVERIFY(ts::writeFile(pts, "0 0 0\n1 0 5\n2 0 0\n"));
        m.bytes.fill(1);
        QVERIFY(readByteMap(m, pts, 1));
        QCOMPARE(m.bytes.mid(0, 4), (QVector<unsigned char>{0, 1, 0, 1}));
        m.bytes.fill(0);
        m.bytes[2] = 1;
        QVERIFY(readByteMap(m, pts, 2));
        QCOMPARE(m.bytes.mid(0, 4), (QVector<unsigned char>{0, 1, 1, 0}));

        // A size refused takes no points; a file not there says so.
        QVERIFY(ts::writeFile(dir.filePath("bad.dat"), "# Size -4 100000000\n0 0 1\n"));
        QVERIFY(readByteMap(m, dir.filePath("bad.dat"), 0));
        QCOMPARE(m.width, 0);
        QVERIFY(m.bytes.isEmpty());
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Can't Open"));
        QVERIFY(!readByteMap(m, dir.filePath("missing.dat"), 0));
    }
};

QTEST_MAIN(TestImgProc)
#include "tst_imgproc.moc"
