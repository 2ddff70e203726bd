#include "Cfg.h"
#include "core/StringUtil.h"
#include "core/XafsSpectrum.h"
#include "support/Files.h"
#include "support/Spectra.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

// Every entry in reading order as "key=value|rest".
static QStringList history(const Cfg& c)
{
    QStringList h;
    for (int i = 0; i < c.histKeys.size(); ++i)
        h << c.histKeys[i] + "=" + c.histValues[i] + "|" + c.histRests[i];
    return h;
}

// The text files read and written: the configuration, the line syntax it
// shares with the other line readers, and spectrum files.
class TstTextFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    // The command line: every word starting "-" opens an entry, the words up
    // to the next one its value and rest, stray words before skipped. A
    // configuration chosen there: the last option word of the list present,
    // in any case, names it; without one, the default.
    void configurationFile()
    {
        const QString other = ts::writeIn(dir, "other.cfg", "From other\n");
        const QString inc = ts::writeIn(dir, "inc.cfg", "ErrPoints  bad.dat\nbatch   second line\n");
        const QString main = ts::writeIn(
            dir, "main.cfg",
            "# a comment line\n"
            "   \t\n"
            "DataRoot /first   # keep me out\n"
            "batch  load \"a b.tif\"  now   # trailing comment\n"
            "KeyOnly\n"
            "\"Quoted Key\" \"value with blanks\" tail\n"
            "include " + inc + "\n"
            "INCLUDE " + dir.filePath("missing.cfg") + "\n"
            "dataroot /second\n"
            "DataRoot /third\n"
            "BATCH third \"#not a comment\" # comment\n");
        const QByteArray mainArg = main.toUtf8(), otherArg = other.toUtf8();
        const char* argv[] = {"prog", "stray", "-CONFIG", mainArg.constData(), "-", "-c", otherArg.constData(),
                              "m\xc3\xa4re", "words", nullptr};
        Cfg c;
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Can't open config file : " + dir.filePath("missing.cfg")));
        c.init(9, argv, other, {"-c", "-config"});

        // The later of two spellings wins in the any-case table only.
        QCOMPARE(c.value("DataRoot"), QString("/third"));
        QCOMPARE(c.value("dataroot"), QString("/second"));
        QCOMPARE(c.valueAnyCase("dAtArOoT"), QString("/third"));

        // The rest keeps its blanks up to the comment; included lines come in
        // at their INCLUDE, which is no entry itself.
        QCOMPARE(history(c),
                 (QStringList{"-CONFIG=" + main + "|" + main, "-=|",
                              "-c=" + other + "|" + other + QString::fromUtf8(" m\xc3\xa4re words"),
                              "DataRoot=/first| /first   ", "batch=load|  load \"a b.tif\"  now   ", "KeyOnly=|",
                              "Quoted Key=value with blanks| \"value with blanks\" tail",
                              "ErrPoints=bad.dat|  bad.dat", "batch=second|   second line",
                              "dataroot=/second| /second", "DataRoot=/third| /third",
                              "BATCH=third| third \"#not a comment\" "}));

        Cfg plain;
        plain.init(0, argv, other, {"-c", "-config"});
        QCOMPARE(history(plain), QStringList{"From=other| other"});
    }

    // INCLUDE cycles stop at a file already being read, also one named
    // relative to the current directory; a file included twice in sequence
    // is read twice.
    void includeCycles()
    {
        const QString a = dir.filePath("a.cfg"), b = dir.filePath("b.cfg");
        ts::writeText(a, "A 1\nInclude " + b + "\nAfterB 1\ninclude " + b + "\n");
        ts::writeText(b, "B 1\nINCLUDE " + a + "\nINCLUDE b.cfg\nEndB 1\n");
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        Cfg c;
        c.readFile(a);
        QDir::setCurrent(cwd);
        QCOMPARE(c.histKeys, (QStringList{"A", "B", "EndB", "AfterB", "B", "EndB"}));
    }

    // The line helpers: what each returns, what it hands back through its
    // argument ("kept": nothing) and the warning it gives.
    void lineHelpers_data()
    {
        QTest::addColumn<QString>("helper");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("returned");
        QTest::addColumn<QString>("handed");
        QTest::addColumn<QString>("warning");
        QTest::newRow("item, blanks of all kinds") << "item" << " \t alpha\r\fbeta  " << "\r\fbeta  " << "alpha" << "";
        QTest::newRow("item, quote never closed")
            << "item" << " \"open ended" << "" << "open ended"
            << "In a line [ \"open ended] item is started from quote but not ended by quote";
        // Single and double quotes flip the same flag.
        QTest::newRow("mixed quotes") << "comment" << "'x\" # y" << "'x\" " << " y" << "";
        QTest::newRow("quote open") << "comment" << "k \"open # not" << "k \"open # not" << "kept" << "";
        QTest::newRow("thousands, decimals") << "thousands" << "1234567.891234" << "1,234,567.891234" << "kept" << "";
        QTest::newRow("thousands, sign") << "thousands" << "-123456" << "-123,456" << "kept" << "";
    }
    void lineHelpers()
    {
        QFETCH(QString, helper);
        QFETCH(QString, line);
        QFETCH(QString, returned);
        QFETCH(QString, handed);
        QFETCH(QString, warning);
        if (!warning.isEmpty()) QTest::ignoreMessage(QtDebugMsg, qPrintable(warning));
        QString got = "kept";
        if (helper == "item") {
            QCOMPARE(nextItem(line, got), returned);
        } else if (helper == "comment") {
            QCOMPARE(splitComment(line, got), returned);
        } else {
            QCOMPARE(withThousandsSeparators(line), returned);
        }
        QCOMPARE(got, handed);
    }

    // Angle files: recognised by "9809" opening their first line, the
    // crystal spacing from the last valid "D=" before the "Offset" line
    // (missing, zero, negative or text ones are passed over), mu as
    // ln(I0 / I) (1 when I0 I <= 0), lines without five items or a finite
    // energy skipped.
    void angleFiles_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<double>("d");
        QTest::newRow("padded, spacing after the header") << QByteArray("   9809   scan\nOffset\nD= 5\n") << 3.13553;
        QTest::newRow("tab, the last valid one")
            << QByteArray("\t9809 D= 3.2\nx D= 3.1356 D=\nOffset D= 0 D= -1 D= abc\n") << 3.1356;
    }
    void angleFiles()
    {
        QFETCH(QByteArray, header);
        QFETCH(double, d);
        ts::writeFile(path("scan.dat"), header + "1 20.5 x 1000 500\n2  20.4  1  2000\t 400  extra\n3 20.3 1 700\n"
                                                 "4 0 1 10 5\n5 abc 1 10 5\n6 20.2 1 900 0\n7 20.1 1 -100 -50\n");
        XafsSpectrum s;
        QVERIFY(s.load(path("scan.dat")));
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

        ts::writeFile(path("scan.dat"), "9809\nOffset\n1 20.5 x 1000 500\n2 20.4 x 1000 400\n");
        ts::writeFile(path("useless.dat"), "# only a comment\nsingle\n");
        ts::writeFile(path("mu.dat"), "98 09\n9001 2\n");
        QVERIFY(s.load(path("scan.dat")));
        const QVector<QPointF> before = s.points;
        QVERIFY(!s.load(path("missing.dat")));
        QVERIFY(!s.loadAndCalc(path("useless.dat")));
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
    }
};

QTEST_GUILESS_MAIN(TstTextFiles)
#include "tst_textfiles.moc"
