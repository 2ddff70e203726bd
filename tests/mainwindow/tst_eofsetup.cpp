#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <cmath>

#include "mainwindow/EOFSetup.h"
#include "mainwindow/EnergyOfFiles.h"
#include "support/Files.h"

namespace {

const double HC = 12398.424360387684;
const double D = 3.13553;

// Bragg's law worked in radians with the full pi, apart from the degree
// arithmetic of the code under test.
double braggEnergy(double theta)
{
    return HC / (2 * D * std::sin(theta));
}

double braggAngle(double energy)
{
    return std::asin(HC / (2 * D * energy));
}

void commit(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

void selectRef(EOFSetup& w, const QString& path)
{
    QMetaObject::invokeMethod(&w, "refFileSelected", Q_ARG(QString, path));
}

}  // namespace

class TstEOFSetup : public QObject {
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
        QTest::newRow("five digits") << "/data/run/Cu_08333_2500.tif" << p0 << 1.0 << 3 << 8333.25;
        QTest::newRow("four digits") << "/data/run/s9000_0125.tif" << p0 << 1.0 << 3 << 9000.0125;
        QTest::newRow("no match") << "/data/run/img.tif" << p0 << 1.0 << 7 << 7.0;
        QTest::newRow("name before dated folder") << "/data/2024_0530/x_08333_2500.tif" << p0 << 1.0 << 0 << 8333.25;
        QTest::newRow("folder when name has none") << "/data/2024_0530/x.tif" << p0 << 1.0 << 0 << 2024.053;
        QTest::newRow("keV") << "/d/a_08_333250KeV.tif" << "\\d\\d_\\d\\d\\d\\d\\d\\dKeV" << 1000.0 << 0
                             << 8333.25;
        QTest::newRow("eV suffix") << "/d/a_8333_25eV.tif" << "\\d\\d\\d\\d_\\d\\deV" << 1.0 << 0 << 8333.25;
        QTest::newRow("dot") << "/d/a_8333.2.tif" << "\\d\\d\\d\\d\\.\\d" << 1.0 << 0 << 8333.2;
        QTest::newRow("case matters") << "/d/a_8333_25EV.tif" << "\\d\\d\\d\\d_\\d\\deV" << 1.0 << 4 << 4.0;
        QTest::newRow("bad pattern") << "/d/8333_2500.tif" << "(\\d" << 2.0 << 5 << 10.0;
        QTest::newRow("zero factor ignored") << "/d/8333_2500.tif" << "\\d\\d\\d\\d_\\d\\d\\d\\d" << 0.0 << 0
                                             << 8333.25;
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

    void evenStepsInAngle()
    {
        EnergyOfFiles::CalcFields f{8000, 1, 9000, 1000};
        QVERIFY(qAbs(EnergyOfFiles::energyByCalc(f, 0, false, D, 0) - 8000) < 1e-6);
        QVERIFY(qAbs(EnergyOfFiles::energyByCalc(f, 0, false, D, 1000) - 9000) < 1e-6);
        const double mid = braggEnergy((braggAngle(8000) + braggAngle(9000)) / 2);
        const double e500 = EnergyOfFiles::energyByCalc(f, 0, false, D, 500);
        QVERIFY(qAbs(e500 - mid) < 1e-6);
        QVERIFY(qAbs(e500 - 8469.74) < 0.01);
        // Delta takes no part in angle steps.
        f.delta = 55;
        QCOMPARE(EnergyOfFiles::energyByCalc(f, 0, false, D, 500), e500);
        // keV fields are the same energies.
        EnergyOfFiles::CalcFields k{8, 0.001, 9, 1000};
        QVERIFY(qAbs(EnergyOfFiles::energyByCalc(k, 1, false, D, 250) -
                     braggEnergy(braggAngle(8000) + (braggAngle(9000) - braggAngle(8000)) / 4)) < 1e-6);
    }

    void anglesUseTenDecimalPi()
    {
        // The degree conversions take pi as 3.1415926535; at 8 keV that differs
        // from the full value by about 2e-7 eV, far above the rounding here.
        const double pi10 = 3.1415926535;
        const double e14 = HC / (2 * D * std::sin(14.0 / 180 * pi10));
        QVERIFY(qAbs(EnergyOfFiles::energyOfAngle(14.0, D) - e14) < 1e-9);
        QVERIFY(qAbs(braggEnergy(14.0 * M_PI / 180) - e14) > 1e-8);

        EnergyOfFiles::CalcFields deg{14, 0.01, 15, 100};
        const double e37 = HC / (2 * D * std::sin((0.01 * 37 + 14) / 180 * pi10));
        QVERIFY(qAbs(EnergyOfFiles::energyByCalc(deg, 2, false, D, 37) - e37) < 1e-9);

        EnergyOfFiles::CalcFields f{8000, 1, 9000, 1000};
        const double ta = std::asin(HC / 8000 / (2 * D)) / pi10 * 180;
        const double tb = std::asin(HC / 9000 / (2 * D)) / pi10 * 180;
        const double t = (tb - ta) / 1000 * 300 + ta;
        const double e300 = HC / (D * 2 * std::sin(t / 180 * pi10));
        QVERIFY(qAbs(EnergyOfFiles::energyByCalc(f, 0, false, D, 300) - e300) < 1e-9);
    }

    void keVAndeVPatternsFromTheList()
    {
        EOFSetup w;
        w.PatternList->setCurrentIndex(9);
        QCOMPARE(w.Factor->text(), QString("1000"));
        QCOMPARE(w.energyOf("/x/Fe_7_112000KeV_3.tif", 2, 9), 7112.0);
        w.PatternList->setCurrentIndex(6);
        QCOMPARE(w.Factor->text(), QString("1"));
        QCOMPARE(w.energyOf("/x/Fe_7112.50eV.tif", 2, 9), 7112.5);
        // The suffix is matched in its own letter case.
        QCOMPARE(w.energyOf("/x/Fe_7112.50EV.tif", 2, 9), 2.0);
        w.PatternList->setCurrentIndex(3);
        QCOMPARE(w.energyOf("/x/Fe_7112_50eV.tif", 2, 9), 7112.5);
    }

    void angleStepsBelowReachFallBack()
    {
        const double reach = HC / (2 * D);
        QVERIFY(qAbs(reach - 1977.09) < 0.01);
        double t = 0;
        QVERIFY(!EnergyOfFiles::angleOfEnergy(reach * 0.999, D, &t));
        QVERIFY(!EnergyOfFiles::angleOfEnergy(-9000, D, &t));
        QVERIFY(EnergyOfFiles::angleOfEnergy(reach * 1.000001, D, &t));
        // No -1 degree angles: the file keeps an even-in-energy value.
        EnergyOfFiles::CalcFields f{1000, 2, 9000, 1000};
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("even in angle"));
        QCOMPARE(EnergyOfFiles::energyByCalc(f, 0, false, D, 10), 1020.0);
        EnergyOfFiles::CalcFields z{8000, 1, 9000, 0};
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("even in angle"));
        QCOMPARE(EnergyOfFiles::energyByCalc(z, 0, false, D, 10), 8010.0);

        QString why;
        QVERIFY(!EnergyOfFiles::calcFieldsUsable(z, 0, true, D, &why));
        QVERIFY(!EnergyOfFiles::calcFieldsUsable(f, 0, false, D, &why));
        QVERIFY(EnergyOfFiles::calcFieldsUsable(f, 0, true, D, &why));
        QVERIFY(EnergyOfFiles::calcFieldsUsable(f, 2, false, D, &why));
    }

    void referenceAngles()
    {
        QString text = "first line is no data\n"
                       "14.5\n"
                       "# comment\n"
                       "\n"
                       "abc\n"
                       "0\n"
                       "  13.25  extra\n";
        QTextStream in(&text);
        QTest::ignoreMessage(QtDebugMsg, "reading simple");
        for (int i = 0; i < 3; ++i)
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Reference line skipped"));
        in.readLine();
        const QVector<double> e = EnergyOfFiles::readRefEnergies(in, QString(), 0, D);
        QCOMPARE(e.size(), 2);
        QVERIFY(qAbs(e[0] - braggEnergy(14.5 * M_PI / 180)) < 1e-4);
        QVERIFY(qAbs(e[1] - braggEnergy(13.25 * M_PI / 180)) < 1e-4);
    }

    void refusedEditsKeepTheFields()
    {
        EOFSetup w;
        w.show();
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("refused"));
        commit(w.NumOfPoints, "0");
        QCOMPARE(w.NumOfPoints->text(), QString("1000"));
        QCOMPARE(w.Delta->text(), QString("1"));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("refused"));
        commit(w.NumOfPoints, "many");
        QCOMPARE(w.NumOfPoints->text(), QString("1000"));

        // Angle steps (the default) cannot start below the crystal's reach.
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("refused"));
        commit(w.Start, "1000");
        QCOMPARE(w.Start->text(), QString("8000"));
        QCOMPARE(w.End->text(), QString("9000"));
        // Even in energy the same start is fine.
        w.EvenInEnergy->setChecked(true);
        commit(w.Start, "1000");
        QCOMPARE(w.End->text(), QString("2000"));
    }

    void referenceFiles()
    {
        QTemporaryDir dir;
        EOFSetup w;
        const QString plain = ts::writeIn(dir, "ref.dat", "angles\n14.0\n13.9\n13.8\n");
        QTest::ignoreMessage(QtDebugMsg, "reading simple");
        selectRef(w, plain);
        QCOMPARE(w.RefFilePath->text(), plain);
        QCOMPARE(w.refEnergies().size(), 3);
        QVERIFY(qAbs(w.refEnergies()[1] - braggEnergy(13.9 * M_PI / 180)) < 1e-4);

        w.FromRefFile->setChecked(true);
        QCOMPARE(w.energyOf("/a.tif", 4, 5), w.refEnergies()[2]);
        QCOMPARE(w.energyOf("/a.tif", 0, 5), w.refEnergies()[0]);

        const QString spec9809 = ts::writeIn(dir, "s.dat",
                                           "  9809   header\nOffset skipped\n"
                                           "1 14.2\nlonely\n2 14.1 x\n");
        QTest::ignoreMessage(QtDebugMsg, "reading simple");
        selectRef(w, spec9809);
        QCOMPARE(w.refEnergies().size(), 2);
        QVERIFY(qAbs(w.refEnergies()[0] - braggEnergy(14.2 * M_PI / 180)) < 1e-4);
        QVERIFY(qAbs(w.refEnergies()[1] - braggEnergy(14.1 * M_PI / 180)) < 1e-4);

        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Can't open ref file"));
        selectRef(w, dir.filePath("missing.dat"));
        QCOMPARE(w.RefFilePath->text(), spec9809);
        QCOMPARE(w.refEnergies().size(), 2);
    }
};

QTEST_MAIN(TstEOFSetup)
#include "tst_eofsetup.moc"
