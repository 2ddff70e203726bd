// Choosing data files: frame energies from file names, calculated steps or a
// reference file, refused edits, and the selector's bad-pixel lists.
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "core/Cfg.h"
#include "mainwindow/EOFSetup.h"
#include "mainwindow/EnergyOfFiles.h"
#include "mainwindow/SelectDataFiles.h"
#include "support/Files.h"

namespace {

const double HC = 12398.424360387684;
const double D = 3.13553;
const double PI10 = 3.1415926535;  // the pi of the program's degree conversions

// Bragg's law.
double energyAtDegrees(double deg) { return HC / (2 * D * std::sin(deg / 180 * PI10)); }
double degreesAt(double e) { return std::asin(HC / (2 * D * e)) / PI10 * 180; }

void commit(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

}  // namespace

class TstSelectDataFiles : public QObject
{
    Q_OBJECT

private slots:
    void energiesFromFileNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<double>("factor");
        QTest::addColumn<int>("fileNo");
        QTest::addColumn<double>("energy");
        const QString p0 = "(\\d|)\\d\\d\\d\\d_\\d\\d\\d\\d";
        QTest::newRow("no match") << "/data/run/img.tif" << p0 << 1.0 << 7 << 7.0;
        QTest::newRow("name before dated folder") << "/data/2024_0530/x_08333_2500.tif" << p0 << 1.0 << 0 << 8333.25;
        QTest::newRow("keV") << "/d/a_08_333250KeV.tif" << "\\d\\d_\\d\\d\\d\\d\\d\\dKeV" << 1000.0 << 0 << 8333.25;
        QTest::newRow("dot") << "/d/a_8333.2.tif" << "\\d\\d\\d\\d\\.\\d" << 1.0 << 0 << 8333.2;
        QTest::newRow("case matters") << "/d/a_8333_25EV.tif" << "\\d\\d\\d\\d_\\d\\deV" << 1.0 << 4 << 4.0;
        QTest::newRow("bad pattern") << "/d/8333_2500.tif" << "(\\d" << 2.0 << 5 << 10.0;
        QTest::newRow("zero factor ignored") << "/d/8333_2500.tif" << "\\d\\d\\d\\d_\\d\\d\\d\\d" << 0.0 << 0 << 8333.25;
    }
    void energiesFromFileNames()
    {
        QFETCH(QString, path);
        QFETCH(QString, pattern);
        QFETCH(double, factor);
        QFETCH(int, fileNo);
        QFETCH(double, energy);
        QVERIFY(qAbs(EnergyOfFiles::energyByName(path, pattern, factor, fileNo) - energy) < 1e-9);
    }

    // Steps even in angle run between the Bragg angles of Start and End;
    // below the crystal's reach they fall back to steps even in energy.
    void calculatedEnergies_data()
    {
        // Start, Delta, End, number of points, unit (eV, keV, degrees), even in energy, file.
        QTest::addColumn<QVector<double>>("fields");
        QTest::addColumn<double>("energy");
        QTest::addColumn<bool>("usable");
        const double t8 = degreesAt(8000), t9 = degreesAt(9000);
        QTest::newRow("last") << QVector<double>{8000, 1, 9000, 1000, 0, 0, 1000} << 9000.0 << true;
        QTest::newRow("delta takes no part") << QVector<double>{8000, 55, 9000, 1000, 0, 0, 300} << energyAtDegrees(t8 + (t9 - t8) * 0.3) << true;
        QTest::newRow("keV") << QVector<double>{8, 0.001, 9, 1000, 1, 0, 250} << energyAtDegrees(t8 + (t9 - t8) / 4) << true;
        QTest::newRow("degrees") << QVector<double>{14, 0.01, 15, 100, 2, 0, 37} << energyAtDegrees(14.37) << true;
        QTest::newRow("even in energy") << QVector<double>{1000, 2, 9000, 1000, 0, 1, 10} << 1020.0 << true;
        QTest::newRow("below the reach") << QVector<double>{1000, 2, 9000, 1000, 0, 0, 10} << 1020.0 << false;
        QTest::newRow("no points") << QVector<double>{8000, 1, 9000, 0, 0, 0, 10} << 8010.0 << false;
    }
    void calculatedEnergies()
    {
        QFETCH(QVector<double>, fields);
        QFETCH(double, energy);
        QFETCH(bool, usable);
        const EnergyOfFiles::CalcFields f{fields[0], fields[1], fields[2], int(fields[3])};
        const int unit = int(fields[4]);
        QString why;
        QCOMPARE(EnergyOfFiles::calcFieldsUsable(f, unit, fields[5] > 0, D, &why), usable);
        if (!usable) QTest::ignoreMessage(QtDebugMsg, QRegularExpression("even in angle"));
        QVERIFY(qAbs(EnergyOfFiles::energyByCalc(f, unit, fields[5] > 0, D, int(fields[6])) - energy) < 1e-9);
    }

    void refusedEditsKeepTheFields()
    {
        EOFSetup w;
        w.show();
        for (const char* refused : {"0", "many"}) {
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("refused"));
            commit(w.NumOfPoints, refused);
        }
        QCOMPARE(w.NumOfPoints->text(), QString("1000"));
        // Angle steps (the default) cannot start below the crystal's reach;
        // even in energy the same start is fine.
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("refused"));
        commit(w.Start, "1000");
        QCOMPARE(w.Start->text(), QString("8000"));
        w.EvenInEnergy->setChecked(true);
        commit(w.Start, "1000");
        QCOMPARE(w.End->text(), QString("2000"));

        // A pattern from the list brings its factor; the suffix keeps its case.
        w.PatternList->setCurrentIndex(9);
        QCOMPARE(w.energyOf("/x/Fe_7_112000KeV_3.tif", 2, 9), 7112.0);
        w.PatternList->setCurrentIndex(6);
        QCOMPARE(w.energyOf("/x/Fe_7112.50eV.tif", 2, 9), 7112.5);
        QCOMPARE(w.energyOf("/x/Fe_7112.50EV.tif", 2, 9), 2.0);
    }

    void referenceFiles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVector<double>>("angles");
        QTest::newRow("one angle a line") << "angles\n14.0\n13.9\n13.8\n" << QVector<double>{14.0, 13.9, 13.8};
        QTest::newRow("lines that are no angle") << "first line is no data\n14.5\n# comment\n\nabc\n0\n  13.25  extra\n"
                                                 << QVector<double>{14.5, 13.25};
        QTest::newRow("scan file") << "  9809   header\nOffset skipped\n1 14.2\nlonely\n2 14.1 x\n"
                                   << QVector<double>{14.2, 14.1};
    }
    void referenceFiles()
    {
        QFETCH(QString, text);
        QFETCH(QVector<double>, angles);
        QTemporaryDir dir;
        const QString path = ts::writeIn(dir, "ref.dat", text);
        EOFSetup w;
        QMetaObject::invokeMethod(&w, "refFileSelected", Q_ARG(QString, path));
        QCOMPARE(w.refEnergies().size(), angles.size());
        for (int i = 0; i < angles.size(); ++i) QVERIFY(qAbs(w.refEnergies()[i] - energyAtDegrees(angles[i])) < 1e-4);
        w.FromRefFile->setChecked(true);
        // The last of five files takes the last reference energy.
        QCOMPARE(w.energyOf("/a.tif", 4, 5), w.refEnergies().last());
        // A file that cannot be read keeps the energies in use, and the name.
        QMetaObject::invokeMethod(&w, "refFileSelected", Q_ARG(QString, dir.filePath("missing.dat")));
        QCOMPARE(w.RefFilePath->text(), path);
        QCOMPARE(w.refEnergies().size(), angles.size());
    }

    void badPixelLists()
    {
        QTemporaryDir dir;
        const QString good = ts::writeIn(dir, "err.dat", "# Size 64 64\n10 20\n11 20\n");
        const QString other = ts::writeIn(dir, "err2.dat", "5 5\n");
        globalCfg.add("errpoints", good, good);
        SelectDataFilesAdditionalSetup a;
        QCOMPARE(a.errPoints().points.size(), 2);
        QVERIFY(a.errPoints().use);
        // A file that cannot be read keeps the list in use and its name.
        QMetaObject::invokeMethod(&a, "errPsDefSelected", Q_ARG(QString, dir.filePath("missing.dat")));
        QCOMPARE(a.ErrPsFile->text(), good);
        QCOMPARE(a.errPoints().points.size(), 2);
        // A new list keeps the use switch as it is.
        a.UseErrPs->setChecked(false);
        QMetaObject::invokeMethod(&a, "errPsDefSelected", Q_ARG(QString, other));
        QCOMPARE(a.ErrPsFile->text(), other);
        QCOMPARE(a.errPoints().points, QVector<QPoint>({QPoint(5, 5)}));
        QVERIFY(!a.errPoints().use);
    }
};

QTEST_MAIN(TstSelectDataFiles)
#include "tst_selectdatafiles.moc"
