#include <QtTest>
#include <cmath>

#include "core/XafsSpectrum.h"
#include "support/Files.h"

namespace {

const double hc = 12398.424360387684;

double energyOf(double thetaDeg, double d)
{
    return hc / (2 * d * std::sin(thetaDeg * 3.1415926535 / 180));
}

using ts::writeFile;

bool near(double a, double b, double rel = 1e-12)
{
    return qAbs(a - b) <= rel * qMax(1.0, qAbs(b));
}

// A calculated spectrum to save: straight lines with a tanh edge.
XafsSpectrum calculated()
{
    Spectrum raw;
    for (int i = 0; i <= 200; ++i) {
        const double E = 8900 + i;
        const double f = 0.5 * (1 + std::tanh((E - 9000) / 2));
        raw.append(E, (1 - f) * (0.1 + 1e-5 * E) + f * (1.6 + 5e-6 * E));
    }
    return XafsSpectrum(raw, "saved", 1, 0, SuggestElm());
}

}  // namespace

class TestSpectrumFiles : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir.isValid()); }

    void recognises9809_data();
    void recognises9809();
    void reads9809();
    void crystalSpacingRules_data();
    void crystalSpacingRules();
    void anglesWithoutEnergy();
    void readsTwoColumns();
    void failedLoadKeepsSpectrum();
    void twoColumnReadDropsIntensities();
    void angleFileWithoutData();
    void saveFormat();
    void saveReadsBack();
    void saveWithOffset();
    void saveToBadPath();

private:
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

void TestSpectrumFiles::recognises9809_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("angles");
    QTest::newRow("padded") << QByteArray("   9809   scan\n") << true;
    QTest::newRow("tab") << QByteArray("\t9809\n") << true;
    QTest::newRow("split") << QByteArray("98 09 scan\n") << false;
    QTest::newRow("short") << QByteArray("980\n") << false;
}

void TestSpectrumFiles::recognises9809()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, angles);
    writeFile(path("a.dat"), text);
    QCOMPARE(XafsSpectrum::isFile9809(path("a.dat")), angles);
    QVERIFY(!XafsSpectrum::isFile9809(path("missing.dat")));
    // The stream is rewound before its first line is read.
    QString t = QString::fromLatin1(text) + "more\n";
    QTextStream in(&t);
    in.readLine();
    QCOMPARE(XafsSpectrum::startsWith9809(in), angles);
}

void TestSpectrumFiles::reads9809()
{
    writeFile(path("scan.dat"),
              "9809     KEK-PF  BL-xx\n"
              "sample  D= 3.1356 more\n"
              "  Angle   Time   I0   I   \n"
              "Offset   0 0 0 0 \n"
              "1 20.5 x 1000 500\n"
              "2  20.4  1  2000\t 400  extra\n"
              "3 20.3 1 700\n"           // four items: skipped
              "4 20.2 1 900 0\n"          // I = 0: mu 1
              "5 20.1 1 -100 -50\n");     // both negative: ln 2 again
    XafsSpectrum s;
    QVERIFY(s.load(path("scan.dat")));
    QCOMPARE(s.fileKind, 0);
    QCOMPARE(s.size(), 4);
    const double d = 3.1356;
    const double th[4] = {20.5, 20.4, 20.2, 20.1};
    const double mu[4] = {std::log(2.0), std::log(5.0), 1.0, std::log(2.0)};
    const double i0[4] = {1000, 2000, 900, -100};
    const double i1[4] = {500, 400, 0, -50};
    for (int i = 0; i < 4; ++i) {
        QVERIFY(near(s.xAt(i), energyOf(th[i], d)));
        QVERIFY(near(s.yAt(i), mu[i]));
        QVERIFY(near(s.i0Curve.xAt(i), energyOf(th[i], d)));
        QCOMPARE(s.i0Curve.yAt(i), i0[i]);
        QCOMPARE(s.iCurve.yAt(i), i1[i]);
    }
    QCOMPARE(s.maxX, s.xAt(3));
}

void TestSpectrumFiles::crystalSpacingRules_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<double>("d");
    QTest::newRow("none given") << QByteArray("9809\nOffset\n") << 3.13553;
    QTest::newRow("the last one wins") << QByteArray("9809 D= 3.2\nOffset D= 3.1356\n") << 3.1356;
    QTest::newRow("no value") << QByteArray("9809 D= 3.2\nx D=\nOffset\n") << 3.2;
    QTest::newRow("zero") << QByteArray("9809 D= 3.2\nOffset D= 0\n") << 3.2;  // E would be infinite
    QTest::newRow("text") << QByteArray("9809 D= 3.2\nOffset D= abc\n") << 3.2;
    QTest::newRow("negative") << QByteArray("9809 D= 3.2\nOffset D= -1\n") << 3.2;
    QTest::newRow("after the header") << QByteArray("9809\nOffset\nD= 5\n") << 3.13553;
}

void TestSpectrumFiles::crystalSpacingRules()
{
    QFETCH(QByteArray, header);
    QFETCH(double, d);
    writeFile(path("d.dat"), header + "1 20.5 x 1000 500\n");
    XafsSpectrum s;
    QVERIFY(s.read9809(path("d.dat")));
    QCOMPARE(s.size(), 1);
    QVERIFY(near(s.xAt(0), energyOf(20.5, d)));
}

void TestSpectrumFiles::anglesWithoutEnergy()
{
    // An angle of 0 (or text) has no finite energy: the point is skipped.
    writeFile(path("zero.dat"), "9809\nOffset\n1 0 x 10 5\n2 abc x 10 5\n3 20 x 10 5\n");
    XafsSpectrum z;
    QVERIFY(z.read9809(path("zero.dat")));
    QCOMPARE(z.size(), 1);
    QVERIFY(near(z.xAt(0), energyOf(20, 3.13553)));
    QCOMPARE(z.i0Curve.size(), 1);
}

void TestSpectrumFiles::readsTwoColumns()
{
    writeFile(path("mu.dat"),
              "# energy mu\n"
              "8990 0.5\n"
              "#9000 7\n"
              "9000\n"
              "  9005\t0.75   12\n"
              "\n"
              "9010 abc\n"
              "9020 nan\n"
              "9030 1.25\n");
    XafsSpectrum s;
    QVERIFY(s.load(path("mu.dat")));
    QCOMPARE(s.fileKind, 1);
    QCOMPARE(s.size(), 4);
    const double x[4] = {8990, 9005, 9010, 9030};
    const double y[4] = {0.5, 0.75, 0, 1.25};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(s.xAt(i), x[i]);
        QCOMPARE(s.yAt(i), y[i]);
    }
    QCOMPARE(s.minY, 0.0);
    QCOMPARE(s.minYIndex, 2);
}

void TestSpectrumFiles::failedLoadKeepsSpectrum()
{
    writeFile(path("good.dat"), "1 2\n3 4\n5 8\n");
    writeFile(path("useless.dat"), "# only a comment\nsingle\n");
    XafsSpectrum s;
    QVERIFY(s.load(path("good.dat")));
    s.calc(1);
    const QVector<QPointF> before = s.points;
    const double minX = s.minX;

    QVERIFY(!s.load(path("missing.dat")));
    QCOMPARE(s.points, before);
    QCOMPARE(s.minX, minX);
    QVERIFY(!s.loadAndCalc(path("useless.dat")));
    QCOMPARE(s.points, before);
    QVERIFY(!s.readMuT(path("missing.dat")));
    QVERIFY(!s.read9809(path("missing.dat")));
    QCOMPARE(s.points, before);
    QCOMPARE(s.fileKind, 1);

    // A failed read after an angle file keeps its kind and intensities too.
    writeFile(path("scan.dat"), "9809\nOffset\n1 20.5 x 1000 500\n2 20.4 x 1000 400\n");
    QVERIFY(s.load(path("scan.dat")));
    QCOMPARE(s.fileKind, 0);
    QVERIFY(!s.load(path("useless.dat")));
    QCOMPARE(s.fileKind, 0);
    QCOMPARE(s.size(), 2);
    QCOMPARE(s.i0Curve.size(), 2);
}

void TestSpectrumFiles::twoColumnReadDropsIntensities()
{
    writeFile(path("scan.dat"), "9809\nOffset\n1 20.5 x 1000 500\n");
    writeFile(path("mu.dat"), "9000 1\n9001 2\n");
    XafsSpectrum s;
    QVERIFY(s.load(path("scan.dat")));
    QCOMPARE(s.iCurve.size(), 1);
    QVERIFY(s.load(path("mu.dat")));
    QVERIFY(s.i0Curve.isEmpty() && s.iCurve.isEmpty());
}

void TestSpectrumFiles::angleFileWithoutData()
{
    writeFile(path("empty.dat"), "9809\nno offset line, so all header\n1 20.5 x 1000 500\n");
    XafsSpectrum s;
    s.append(1, 1);
    QVERIFY(s.loadAndCalc(path("empty.dat")));
    QCOMPARE(s.size(), 0);
    QCOMPARE(s.fileKind, 0);
    QCOMPARE(s.minX, 1e300);
}

void TestSpectrumFiles::saveFormat()
{
    XafsSpectrum s = calculated();
    s.midx = 9000.123456;
    s.dMut = 1.5;
    s.pre.c0 = 0.1;
    s.pre.k = 1e-5;
    s.pre.c1 = 0;
    s.pre.c2 = -2.5;
    QVERIFY(s.save(path("out.dat"), false));
    const QList<QByteArray> lines = ts::readAll(path("out.dat")).split('\n');
    QCOMPARE(lines.size(), 7 + s.size() + 1);  // the last line break leaves an empty tail
    QCOMPARE(lines[0], QByteArray("###Corvenlith::XafsSpectrum"));
    QCOMPARE(lines[1], QByteArray("# midx    : 9000.12"));
    QCOMPARE(lines[2], QByteArray("# dMut    : 1.5"));
    QCOMPARE(lines[3], QByteArray("# pre   vic : 0.1 1e-05 0 -2.5"));
    QCOMPARE(lines[4], "# poste vic : " + QByteArray::number(s.post.c0) + " "
                           + QByteArray::number(s.post.k) + " 0 0");
    QCOMPARE(lines[5], QByteArray("#"));
    QCOMPARE(lines[6], QByteArray("# x  double-normalized-pre-base y pre post"));
    QVERIFY(lines.last().isEmpty());
    for (int i = 0; i < s.size(); ++i) {
        const QList<QByteArray> fields = lines[7 + i].split('\t');
        QCOMPARE(fields.size(), 5);
        const double E = s.xAt(i);
        const double want[5] = {E, s.doubleNormalizedPreBaseCurve.yAt(i), s.yAt(i), s.pre.value(E),
                                s.post.value(E)};
        for (int j = 0; j < 5; ++j)
            QCOMPARE(fields[j], QByteArray::number(want[j], 'g', 6));
    }
}

void TestSpectrumFiles::saveReadsBack()
{
    const XafsSpectrum s = calculated();
    QVERIFY(s.save(path("out.dat"), false));
    XafsSpectrum back;
    QVERIFY(back.load(path("out.dat")));
    QCOMPARE(back.fileKind, 1);
    QCOMPARE(back.size(), s.size());
    for (int i = 0; i < s.size(); ++i) {
        QVERIFY(near(back.xAt(i), s.xAt(i), 1e-5));
        QVERIFY(qAbs(back.yAt(i) - s.doubleNormalizedPreBaseCurve.yAt(i)) < 1e-5);
    }

    // A spectrum saved before any calc writes 0 for the missing curve.
    XafsSpectrum raw;
    raw.append(1, 2);
    QVERIFY(raw.save(path("raw.dat"), false));
    QVERIFY(ts::readAll(path("raw.dat")).endsWith("\n1\t0\t2\t0\t0\n"));
}

void TestSpectrumFiles::saveWithOffset()
{
    XafsSpectrum s = calculated();
    s.energyOffset = 2.5;
    QVERIFY(s.save(path("plain.dat"), false));
    QVERIFY(s.save(path("shifted.dat"), true));
    const QList<QByteArray> la = ts::readAll(path("plain.dat")).split('\n');
    const QList<QByteArray> lb = ts::readAll(path("shifted.dat")).split('\n');
    QCOMPARE(la.size(), lb.size());
    for (int i = 7; i < la.size() - 1; ++i) {
        QCOMPARE(lb[i].left(lb[i].indexOf('\t')), QByteArray::number(s.xAt(i - 7) - 2.5, 'g', 6));
        QCOMPARE(la[i].mid(la[i].indexOf('\t')), lb[i].mid(lb[i].indexOf('\t')));
    }
}

void TestSpectrumFiles::saveToBadPath()
{
    const XafsSpectrum s = calculated();
    QVERIFY(!s.save(path("no/such/folder/out.dat"), false));
    QVERIFY(!QFile::exists(path("no/such/folder/out.dat")));
}

QTEST_GUILESS_MAIN(TestSpectrumFiles)
#include "tst_spectrumfiles.moc"
