#include <QtTest>
#include <cmath>

#include "core/XafsSpectrum.h"
#include "support/Files.h"
#include "support/Spectra.h"

class TestSpectrumFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    // Angle files: recognised by "9809" opening their first line, the
    // crystal spacing from the last valid "D=" before the "Offset" line, mu
    // as ln(I0 / I) (1 when I0 I <= 0), lines without five items or a finite
    // energy skipped.
    void angleFiles_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<double>("d");
        QTest::newRow("padded, no spacing given") << QByteArray("   9809   scan\nOffset\n") << 3.13553;
        QTest::newRow("tab, the last one wins") << QByteArray("\t9809 D= 3.2\nOffset D= 3.1356\n") << 3.1356;
        QTest::newRow("no value") << QByteArray("9809 D= 3.2\nx D=\nOffset\n") << 3.2;
        QTest::newRow("zero") << QByteArray("9809 D= 3.2\nOffset D= 0\n") << 3.2;  // E would be infinite
        QTest::newRow("negative") << QByteArray("9809 D= 3.2\nOffset D= -1\n") << 3.2;
        QTest::newRow("after the header") << QByteArray("9809\nOffset\nD= 5\n") << 3.13553;
    }
    void angleFiles()
    {
        QFETCH(QByteArray, header);
        QFETCH(double, d);
        ts::writeFile(path("scan.dat"), header + "1 20.5 x 1000 500\n2  20.4  1  2000\t 400  extra\n3 20.3 1 700\n"
                                                 "4 0 1 10 5\n5 abc 1 10 5\n6 20.2 1 900 0\n7 20.1 1 -100 -50\n");
        XafsSpectrum s;
        QVERIFY(s.load(path("scan.dat")));
        QCOMPARE(s.fileKind, 0);
        QCOMPARE(s.size(), 4);
        const double th[4] = {20.5, 20.4, 20.2, 20.1};
        const double mu[4] = {std::log(2.0), std::log(5.0), 1.0, std::log(2.0)};
        const double i0[4] = {1000, 2000, 900, -100};
        const double i1[4] = {500, 400, 0, -50};
        for (int i = 0; i < 4; ++i) {
            // Bragg's law with hc and pi written out here, not taken from the program.
            QCOMPARE(s.xAt(i), 12398.424360387684 / (2 * d * std::sin(th[i] * 3.1415926535 / 180)));
            QCOMPARE(s.yAt(i), mu[i]);
            QCOMPARE(s.i0Curve.yAt(i), i0[i]);
            QCOMPARE(s.iCurve.yAt(i), i1[i]);
        }
    }

    // Two-column files: comments, short lines and column titles skipped (not
    // read as 0), non-finite values skipped; a first line starting "980"
    // opens no angle file. What a read leaves behind: a failed one keeps the
    // spectrum, its kind and intensities; a two-column file (here one
    // opening "98 09") drops an angle file's intensities.
    void readsTwoColumns()
    {
        ts::writeFile(path("mu.dat"),
                      "Energy mu\n980 0.5\n#9000 7\n9000\n  9005\t0.75   12\n\n9010 abc\n9020 nan\n9030 1.25\n");
        XafsSpectrum s;
        QVERIFY(s.load(path("mu.dat")));
        QCOMPARE(s.fileKind, 1);
        QCOMPARE(s.points, (QVector<QPointF>{{980, 0.5}, {9005, 0.75}, {9030, 1.25}}));
        QCOMPARE(s.minYIndex, 0);

        ts::writeFile(path("scan.dat"), "9809\nOffset\n1 20.5 x 1000 500\n2 20.4 x 1000 400\n");
        ts::writeFile(path("useless.dat"), "# only a comment\nsingle\n");
        ts::writeFile(path("mu.dat"), "98 09\n9001 2\n");
        QVERIFY(s.load(path("scan.dat")));
        const QVector<QPointF> before = s.points;
        QVERIFY(!s.load(path("missing.dat")));
        QVERIFY(!s.loadAndCalc(path("useless.dat")));
        QVERIFY(!s.read9809(path("missing.dat")));
        QCOMPARE(s.points, before);
        QCOMPARE(s.fileKind, 0);
        QCOMPARE(s.i0Curve.size(), 2);
        QVERIFY(s.load(path("mu.dat")));
        QCOMPARE(s.fileKind, 1);
        QVERIFY(s.i0Curve.isEmpty() && s.iCurve.isEmpty());

        // An angle file that never ends its header holds no points.
        ts::writeFile(path("empty.dat"), "9809\nno offset line, so all header\n1 20.5 x 1000 500\n");
        QVERIFY(s.loadAndCalc(path("empty.dat")));
        QCOMPARE(s.size(), 0);
    }

    // Saved with energies as they are and with the offset subtracted: only
    // the first column moves, the lines are taken at the stored energy.
    void saveFormat()
    {
        XafsSpectrum s(synth::edgeSpectrum(8900, 9100, 1, 9000), "saved", 1, 2.5, SuggestElm());
        s.midx = 9000.123456;
        s.dMut = 1.5;
        s.pre.c0 = 0.1;
        s.pre.k = 1e-5;
        s.pre.c1 = 0;
        s.pre.c2 = -2.5;
        for (const bool subtractOffset : {false, true}) {
            QVERIFY(s.save(path("out.dat"), subtractOffset));
            const QList<QByteArray> lines = ts::readAll(path("out.dat")).split('\n');
            QCOMPARE(lines.size(), 7 + s.size() + 1);  // the last line break leaves an empty tail
            QCOMPARE(lines.mid(0, 7),
                     (QList<QByteArray>{"###Corvenlith::XafsSpectrum", "# midx    : 9000.12", "# dMut    : 1.5",
                                        "# pre   vic : 0.1 1e-05 0 -2.5",
                                        "# poste vic : " + QByteArray::number(s.post.c0) + " "
                                            + QByteArray::number(s.post.k) + " 0 0",
                                        "#", "# x  double-normalized-pre-base y pre post"}));
            for (int i = 0; i < s.size(); ++i) {
                const double E = s.xAt(i);
                const double want[5] = {subtractOffset ? E - 2.5 : E, s.doubleNormalizedPreBaseCurve.yAt(i),
                                        s.yAt(i), s.pre.value(E), s.post.value(E)};
                QByteArrayList fields;
                for (const double v : want) fields << QByteArray::number(v, 'g', 6);
                QCOMPARE(lines[7 + i], fields.join('\t'));
            }
        }

        // Saved before any calc: 0 for the missing curve.
        XafsSpectrum bare;
        bare.append(1, 2);
        QVERIFY(bare.save(path("bare.dat"), false));
        QVERIFY(ts::readAll(path("bare.dat")).endsWith("\n1\t0\t2\t0\t0\n"));
        QVERIFY(!s.save(path("no/such/folder/out.dat"), false));
        QVERIFY(!QFile::exists(path("no/such/folder/out.dat")));
    }
};

QTEST_GUILESS_MAIN(TestSpectrumFiles)
#include "tst_spectrumfiles.moc"
