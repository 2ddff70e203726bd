#include "core/AnalyzeCond.h"
#include "core/BPFit.h"
#include "core/FFT.h"
#include "core/Globals.h"
#include "core/InputBounds.h"
#include "core/MatrixUtil.h"
#include "core/Spectrum.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <vector>

using Xs = QVector<double>;

namespace {

// Independent evaluation: a linear scan for the last point at or below x.
double scanY(const Spectrum& s, double x)
{
    const int n = s.size();
    if (n < 2)
        return n == 0 ? 0.0 : s.yAt(0);
    int seg = 0;
    for (int i = 0; i < n; ++i)
        if (s.xAt(i) <= x)
            seg = i;
    seg = std::min(seg, n - 2);
    const double x1 = s.xAt(seg), x2 = s.xAt(seg + 1), y1 = s.yAt(seg), y2 = s.yAt(seg + 1);
    return x1 == x2 ? (y1 + y2) / 2 : y1 + (y2 - y1) * (x - x1) / (x2 - x1);
}

bool same(double a, double b, double tol = 0)
{
    return std::abs(a - b) <= tol * (1 + std::abs(b)) || (std::isnan(a) && std::isnan(b));
}

struct Walk {
    int halfX, halfY, askX, askY, firstX, firstY, stepX, stepY, perRow, rows;
};

struct Visit {
    int x, y;
    bool rowStart;
};

// Walks the grid the way every client does, with a cap so that a broken walk
// fails instead of hanging.
std::vector<Visit> walk(AnalyzeCond& c, int cap = 100000)
{
    std::vector<Visit> v;
    c.reset();
    do {
        v.push_back({c.curX, c.curY, c.rowStart});
        if (int(v.size()) > cap) break;
    } while (c.next());
    return v;
}

}  // namespace

Q_DECLARE_METATYPE(Walk)

class TestNumerics : public QObject
{
    Q_OBJECT

private slots:
    // Random systems solve to their known solution; a tiny first pivot taken
    // as it stands loses x0 entirely; a singular system is refused, not solved
    // into huge numbers; a value that is not a number must not crash and shows
    // in the answer.
    void lu_data()
    {
        QTest::addColumn<Xs>("matrix");
        QTest::addColumn<Xs>("b");
        QTest::addColumn<Xs>("x");  // empty: refused
        QRandomGenerator rng(1105);
        for (int trial = 0; trial < 36; ++trial) {
            const int n = 1 + trial % 12;
            Xs a(n * n), b(n, 0.0), x(n);
            for (double& v : a)
                v = rng.generateDouble() * 2 - 1;
            for (double& v : x)
                v = rng.generateDouble() * 20 - 10;
            for (int i = 0; i < n * n; ++i)
                b[i / n] += a[i] * x[i % n];
            QTest::addRow("random %d", trial) << a << b << x;
        }
        QTest::newRow("tiny first pivot") << Xs{1e-20, 1, -1, 1} << Xs{1, 0} << Xs{1, 1};
        QTest::newRow("equal rows") << Xs{1, 2, 3, 2, 1, 0, 1, 2, 3} << Xs{1, 1, 1} << Xs{};
        QTest::newRow("zero column") << Xs{0, 1, 0, 2} << Xs{1, 1} << Xs{};
        QTest::newRow("not a number") << Xs{qQNaN(), 1, 2, 3} << Xs{1, 1} << Xs{qQNaN(), qQNaN()};
    }
    void lu()
    {
        QFETCH(Xs, matrix);
        QFETCH(Xs, b);
        QFETCH(Xs, x);
        const int n = b.size();
        double** a = MatrixUtil::newMatrix(n);
        for (int i = 0; i < n * n; ++i)
            a[i / n][i % n] = matrix[i];
        const bool solved = MatrixUtil::solve(n, a, b.data());
        MatrixUtil::deleteMatrix(n, a);
        QCOMPARE(solved, !x.isEmpty());
        for (int i = 0; i < x.size(); ++i)
            QVERIFY2(same(b[i], x[i], 1e-10), qPrintable(QString::number(b[i], 'g', 17)));
    }

    // An exact quadratic surface comes back exactly, with points that are not
    // numbers offered among the others. Points that cannot fix a quadratic
    // surface are refused and every coefficient reads 0, not what was there.
    void surface_data()
    {
        QTest::addColumn<Xs>("points");  // x, y, z in turn
        QTest::addColumn<Xs>("want");    // a .. f; empty: refused
        auto quad = [](double x, double y) { return 2 * x * x - y * y + 0.5 * x * y + 3 * x - 4 * y + 7; };
        Xs grid, row;
        for (int i = 0; i < 600; ++i) {
            const double x = 100 + i % 30, y = 50 + i / 30;
            grid << x << y << quad(x, y);
            if (i % 30 == 3)
                grid << x << y << qQNaN();
        }
        grid << qInf() << 5 << 1 << 5 << -qInf() << 1 << 50 << 50 << qInf();
        for (int i = 0; i < 300; ++i)
            row << 2 + 5 * i << 1234 << 0.01 * i + 3;  // one row of blocks: y never varies
        QTest::newRow("exact surface") << grid << Xs{2, -1, 0.5, 3, -4, 7};
        QTest::newRow("no points") << Xs() << Xs();
        QTest::newRow("one row") << row << Xs();
        QTest::newRow("five points") << Xs{1000, 1000, 1, 1001, 1000, 1, 1000, 1001, 1, 1001, 1001, 1, 1002, 1003, 1}
                                     << Xs();
    }
    void surface()
    {
        QFETCH(Xs, points);
        QFETCH(Xs, want);
        BPFit fit;
        for (int i = 0; i + 2 < points.size(); i += 3)
            fit.addPoint(points[i], points[i + 1], points[i + 2]);
        fit.a = fit.b = fit.c = fit.d = fit.e = fit.f = 1;
        QCOMPARE(fit.solve(), !want.isEmpty());
        const Xs got{fit.a, fit.b, fit.c, fit.d, fit.e, fit.f};
        for (int i = 0; i < 6; ++i)
            QVERIFY2(same(got[i], want.value(i), 1e-8), qPrintable(QString("coefficient %1: %2").arg(i).arg(got[i])));
    }

    // Against the direct O(n^2) sum (FFTW's sign, no normalisation): the
    // spectrum's values padded with zeros or cut to the transform size. No
    // transform at all: nothing to read and nothing to crash.
    void fft_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("length");
        for (int n : {1, 2, 3, 7, 12, 31, 100})
            QTest::addRow("size %d", n) << n << n;
        QTest::newRow("padded") << 8 << 3;
        QTest::newRow("cut") << 8 << 20;
        QTest::newRow("size 0") << 0 << 2;
        QTest::newRow("negative size") << -4 << 2;
    }
    void fft()
    {
        QFETCH(int, size);
        QFETCH(int, length);
        QRandomGenerator rng(106);
        Spectrum s;
        for (int i = 0; i < length; ++i)
            s.append(8000 + i, rng.generateDouble() * 2 - 1);
        FFT f;
        f.setSize(8);
        f.setSize(size);
        f.forwardOfY(s);
        const double* m = f.magnitudes();
        QCOMPARE(m == nullptr, size <= 0);
        for (int k = 0; k < size; ++k) {
            std::complex<double> want = 0;
            for (int j = 0; j < std::min(size, length); ++j)
                want += s.yAt(j) * std::polar(1.0, -2 * M_PI * double(j) * k / size);
            QVERIFY(std::abs(std::complex<double>(f.forwardOut[k][0], f.forwardOut[k][1]) - want) < 1e-9);
            QVERIFY(std::abs(m[k] - std::abs(want)) < 1e-9);
        }
        f.release();
        f.release();
    }

    // Spectrum::y against a scan for the segment, and the forward sweep
    // against Spectrum::y to the bit: at knots, between them, on repeated
    // energies, past the ends, shifted, and reading backwards.
    void interpolation_data()
    {
        QTest::addColumn<Xs>("xs");
        QTest::addColumn<double>("shift");
        QTest::addColumn<Xs>("reads");
        Xs rising;
        for (double x = 8890; x < 9120; x += 0.37)
            rising << x;
        const Xs grid{8900, 8905, 8910, 8915, 8920};
        QTest::newRow("repeated energies") << Xs{8900, 8905, 8905, 8905, 8910, 8920, 8920} << 0.0
                                           << Xs{8899, 8900, 8904.9, 8905, 8905, 8906, 8910, 8919.99, 8920, 8921};
        QTest::newRow("shifted") << Xs{8900, 8902.5, 8910, 8930} << 1.25 << rising;
        QTest::newRow("backwards and not a number")
            << grid << 0.0 << Xs{8912, 8917, 8903, 8901, qQNaN(), 8904, 8919, 8906};
        QTest::newRow("two points") << Xs{8900, 8910} << 0.0 << Xs{8890, 8900, 8905, 8910, 8911};
        QTest::newRow("one point") << Xs{8900} << 0.0 << Xs{8890, 8900, 8911, qQNaN()};
        QTest::newRow("no point") << Xs{} << 0.0 << Xs{8890, 8911};
        QTest::newRow("equal x") << Xs{8900, 8900} << 0.0 << Xs{8000, 9000};
        QRandomGenerator rng(2026);
        for (int trial = 0; trial < 40; ++trial) {
            Xs xs{7000 + rng.generateDouble() * 100}, reads;
            for (int i = int(rng.bounded(60)); i >= 0; --i)
                xs << xs.last() + 0.1 + rng.generateDouble() * 5;
            for (int k = 0; k < 50; ++k)
                reads << xs.first() - 30 + (xs.last() - xs.first() + 60) * rng.generateDouble();
            std::sort(reads.begin(), reads.end());
            QTest::addRow("random %d", trial) << xs << 0.0 << reads + xs;
        }
    }
    void interpolation()
    {
        QFETCH(Xs, xs);
        QFETCH(double, shift);
        QFETCH(Xs, reads);
        Spectrum s;
        for (int i = 0; i < xs.size(); ++i)
            s.append(xs[i], std::sin(0.3 * i) + 0.01 * i * i);
        s.xShiftOn = shift != 0;
        s.xShift = shift;
        SpectrumSweep sweep(s);
        for (double x : reads) {
            const double got = s.y(x), swept = sweep.y(x);
            QVERIFY2(same(got, scanY(s, x), 1e-9), qPrintable(QString("at %1: %2").arg(x).arg(got, 0, 'g', 17)));
            QVERIFY2(same(swept, got), qPrintable(QString("at %1: %2").arg(x).arg(swept, 0, 'g', 17)));
        }
        // Point access outside the list reads 0.
        QCOMPARE(s.xAt(-1), 0.0);
        QCOMPARE(s.yAt(xs.size()), 0.0);
    }

    // The moving average against its definition, over several widths.
    void smoothing()
    {
        QRandomGenerator rng(11);
        Spectrum r;
        for (int i = 0; i < 40; ++i)
            r.append(i, rng.generateDouble() * 10);
        for (int n : {-1, 0, 1, 2, 5, 39, 100}) {
            r.smooth(n);
            QCOMPARE(r.smoothed.size(), 40);
            for (int j = 0; j < 40; ++j) {
                const int from = std::max(0, j - std::max(n, 0)), to = std::min(39, j + std::max(n, 0));
                double sum = 0;
                for (int i = from; i <= to; ++i)
                    sum += r.yAt(i);
                QVERIFY(std::abs(r.smoothed[j] - sum / (to - from + 1)) < 1e-12);
            }
        }
    }

    // Image values run 0 .. 1 over 256 grey and 766 colour entries; anything
    // outside, or not a number, lands on an end of the table, never past it.
    void pixelTables_data()
    {
        QTest::addColumn<double>("v");
        QTest::addColumn<int>("grey");
        QTest::addColumn<int>("colour");
        QTest::newRow("half") << 0.5 << 128 << 383;
        QTest::newRow("not a number") << qQNaN() << 0 << 0;
        QTest::newRow("-inf") << -qInf() << 0 << 0;
        QTest::newRow("1e300") << 1e300 << 255 << 766;
    }
    void pixelTables()
    {
        QFETCH(double, v);
        QFETCH(int, grey);
        QFETCH(int, colour);
        initColorTables();
        QCOMPARE(grayPixel(v), greyLUT + grey);
        QCOMPARE(colorPixel(v), colorLUT + 3 * colour);
    }

    // Every block centre in order: half widths, asked steps (-1: whole blocks),
    // first centre, steps taken, blocks per row and rows.
    void walks_data()
    {
        QTest::addColumn<QRectF>("area");
        QTest::addColumn<Walk>("w");
        QTest::newRow("even split") << QRectF(0, 10, 100, 30) << Walk{2, 1, -1, -1, 2, 11, 5, 3, 20, 10};
        // The second block reaches column 9; 12 is not below y1 = 12.
        QTest::newRow("uneven split") << QRectF(0, 0, 8, 12) << Walk{2, 2, -1, -1, 2, 2, 5, 5, 2, 2};
        QTest::newRow("steps given") << QRectF(3, 0, 10, 1) << Walk{1, 0, 4, 1, 4, 0, 4, 1, 3, 1};
        QTest::newRow("narrower than a block") << QRectF(10, 10, 3, 2) << Walk{5, 5, -1, -1, 15, 15, 11, 11, 1, 1};
        QTest::newRow("empty area") << QRectF(4, 4, 0, 0) << Walk{0, 0, -1, -1, 4, 4, 1, 1, 1, 1};
        QTest::newRow("zero steps") << QRectF(0, 0, 20, 9) << Walk{2, 1, 0, 0, 2, 1, 5, 3, 4, 3};
        QTest::newRow("negative half widths") << QRectF(0, 0, 20, 9) << Walk{-2, -1, -1, -1, 2, 1, 5, 3, 4, 3};
        QTest::newRow("area drawn backwards") << QRectF(20, 0, -10, 5) << Walk{1, 1, -1, -1, 11, 1, 3, 3, 3, 2};
        // Corners truncated towards zero; a corner that is not a number reads 0.
        QTest::newRow("fractional area") << QRectF(10.9, 3.2, 5.5, 4.9) << Walk{0, 0, -1, -1, 10, 3, 1, 1, 6, 5};
        QTest::newRow("negative corners") << QRectF(-0.5, -1.7, 3, -1) << Walk{0, 0, -1, -1, 0, -2, 1, 1, 2, 1};
        QTest::newRow("corner not a number") << QRectF(qQNaN(), 0, 5, 1) << Walk{0, 0, -1, -1, 0, 0, 1, 1, 1, 1};
    }
    void walks()
    {
        QFETCH(QRectF, area);
        QFETCH(Walk, w);
        AnalyzeCond c;
        c.set(200, 200, w.halfX, w.halfY, area, w.askX, w.askY);
        QCOMPARE(QPoint(c.stepX, c.stepY), QPoint(w.stepX, w.stepY));
        const auto v = walk(c);
        QCOMPARE(QPoint(c.blocksPerRow(), c.blockRows()), QPoint(w.perRow, w.rows));
        QCOMPARE(int(v.size()), w.perRow * w.rows);
        QCOMPARE(c.blockCount(), qint64(v.size()));
        for (int i = 0; i < int(v.size()); ++i) {
            QCOMPARE(v[i].x, w.firstX + w.stepX * (i % w.perRow));
            QCOMPARE(v[i].y, w.firstY + w.stepY * (i / w.perRow));
            QCOMPARE(v[i].rowStart, i % w.perRow == 0);
        }
        // Steps written directly as 0 or below: the walk still ends.
        c.stepX = 0;
        c.stepY = -3;
        QVERIFY(walk(c).size() <= 100000);
    }

    void hugeAreaEndsQuickly()
    {
        AnalyzeCond c;
        c.set(10, 10, 1000, 0, QRectF(0, 0, 1e30, 1), 1000000000, -1);
        QVERIFY(c.x1 > 0);
        QVERIFY(walk(c, 10).size() <= 3);  // no overflow
    }

    // A 3 x 3 block around the centre, clipped to the 6 x 5 image; one spare
    // row each side must stay untouched.
    void fillBlockClips_data()
    {
        QTest::addColumn<QPoint>("centre");
        QTest::addColumn<QRect>("filled");
        QTest::newRow("bottom right corner") << QPoint(5, 4) << QRect(QPoint(4, 3), QPoint(5, 4));
        QTest::newRow("top left corner") << QPoint(0, 0) << QRect(QPoint(0, 0), QPoint(1, 1));
        QTest::newRow("right of the image") << QPoint(100, 0) << QRect();
        QTest::newRow("left of the image") << QPoint(-5, 0) << QRect();
    }
    void fillBlockClips()
    {
        QFETCH(QPoint, centre);
        QFETCH(QRect, filled);
        const int w = 6, h = 5;
        std::vector<double> img(w * h + 2 * w, -1.0);
        double* base = img.data() + w;
        AnalyzeCond c;
        c.set(w, h, 1, 1, QRectF(0, 0, w, h), -1, -1);
        c.curX = centre.x();
        c.curY = centre.y();
        c.fillBlock(base, 7.0);
        for (int r = -1; r <= h; ++r)
            for (int col = 0; col < w; ++col)
                QCOMPARE(base[r * w + col], filled.contains(col, r) ? 7.0 : -1.0);
        c.fillBlock(nullptr, 1.0);
    }

    // Integers as typed, read without wrapping and brought into a 40 x 30 image (or the largest frame).
    // Given: int, half width, pos x y, region x0 y0 x1 y1, bound value lo hi; want "values [clipped] [outside]".
    void inputBounds_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("given");
        QTest::addColumn<bool>("image");
        QTest::addColumn<QString>("want");
        const QString max64 = QString::number(std::numeric_limits<qint64>::max());
        QTest::newRow("int plain") << "int" << " -7 " << true << "-7";
        QTest::newRow("int plus") << "int" << "+3" << true << "3";
        QTest::newRow("int past 32 bits") << "int" << "2147483648" << true << "2147483648";
        QTest::newRow("int past 64 bits") << "int" << "99999999999999999999" << true << max64;
        QTest::newRow("int past 64 bits below") << "int" << "-99999999999999999999" << true << QString::number(std::numeric_limits<qint64>::min());
        QTest::newRow("int decimal reads 0") << "int" << "2.7" << true << "0";
        QTest::newRow("int hex reads 0") << "int" << "0x10" << true << "0";
        QTest::newRow("int empty reads 0") << "int" << "" << true << "0";
        QTest::newRow("bound ends kept") << "bound" << "65535 0 65535" << true << "65535";
        QTest::newRow("bound below") << "bound" << "-2147483648 0 65535" << true << "0 clipped";
        QTest::newRow("bound past int") << "bound" << max64 + " 1 2147483647" << true << "2147483647 clipped";
        QTest::newRow("half width of int min") << "half" << "-2147483648" << true << "65535";
        QTest::newRow("half width negative") << "half" << "-3" << true << "3";
        QTest::newRow("half width too wide") << "half" << "70000" << true << "65535";
        QTest::newRow("half width not a number") << "half" << "wide" << true << "0";
        QTest::newRow("pos inside") << "pos" << "39 29" << true << "39 29";
        QTest::newRow("pos far below") << "pos" << "3 2147483647" << true << "3 29 clipped";
        QTest::newRow("pos one past the edge") << "pos" << "40 -1" << true << "39 0 clipped";
        QTest::newRow("pos without image") << "pos" << "70000 -1" << false << "65535 0 clipped";
        QTest::newRow("region inside, backwards") << "region" << "6 5 2 1" << true << "6 5 2 1";
        QTest::newRow("region of all ints") << "region" << "-2147483648 -2147483648 2147483647 2147483647" << true << "0 0 40 30 clipped";
        QTest::newRow("region reaching the far edge") << "region" << "0 0 40 30" << true << "0 0 40 30";
        QTest::newRow("region half outside") << "region" << "30 -5 50 10" << true << "30 0 40 10 clipped";
        QTest::newRow("region outside") << "region" << "100 100 200 200" << true << "40 30 40 30 clipped outside empty";
        QTest::newRow("region left of the image") << "region" << "-10 0 0 5" << true << "0 0 0 5 clipped outside empty";
        QTest::newRow("region below the image") << "region" << "2 31 6 40" << true << "2 30 6 30 clipped outside empty";
        // Given without area it stays as given: nothing was taken away, but it has no pixel.
        QTest::newRow("region given empty") << "region" << "5 5 5 9" << true << "5 5 5 9 empty";
        QTest::newRow("region given without a row") << "region" << "1 7 6 7" << true << "1 7 6 7 empty";
        QTest::newRow("region without image") << "region" << "-5 0 70000 10" << false << "0 0 65536 10 clipped";
    }
    void inputBounds()
    {
        QFETCH(QString, what);
        QFETCH(QString, given);
        QFETCH(bool, image);
        QFETCH(QString, want);
        using namespace InputBounds;
        QVector<qint64> v;
        for (const QString& t : given.split(' ', Qt::SkipEmptyParts)) v << integerOf(t);
        const Extent e = image ? extentOf(40, 30) : extentOf(-1, -1);
        QStringList got;
        if (what == "int" || what == "half") {
            got << QString::number(what == "int" ? integerOf(given) : halfWidthOf(given));
        } else if (what == "bound") {
            const Bounded b = bound(v[0], int(v[1]), int(v[2]));
            QCOMPARE(b.asked, v[0]);
            got << QString::number(b.value) << (b.clipped ? "clipped" : "");
        } else if (what == "pos") {
            const Position p = position(v[0], v[1], e);
            got << QString::number(p.x) << QString::number(p.y) << (p.clipped ? "clipped" : "");
        } else {
            const Region r = region(v[0], v[1], v[2], v[3], e);
            for (int c : {r.x0, r.y0, r.x1, r.y1}) got << QString::number(c);
            got << (r.clipped ? "clipped" : "") << (r.outside ? "outside" : "") << (r.empty ? "empty" : "");
        }
        got.removeAll(QString());
        QCOMPARE(got.join(' '), want);
    }
};

QTEST_GUILESS_MAIN(TestNumerics)
#include "tst_numerics.moc"
