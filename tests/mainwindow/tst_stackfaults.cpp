// Stacks that would give wrong maps, loaded from files into the main window:
// each spectrum is checked against the truth the files were written from,
// and each fault against the message the user sees.
#include "support/StackFiles.h"

#include "mainwindow/Body.h"
#include "mainwindow/SelectDataFiles.h"

#include "core/Globals.h"

#include <QFile>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

const int W = 16;
const int H = 12;

double mu(double e) { return 0.3 + 0.8 * (0.5 + std::atan((e - 8975.0) / 3.0) / M_PI); }
// Not linear in energy, so holding and extrapolating differ.
double beam(double e) { return 20000.0 + 3000.0 * std::sin((e - 8950.0) / 20.0); }

QVector<double> steps(int n) {
    QVector<double> e;
    for (int k = 0; k < n; ++k) e << 8950.0 + 5.0 * k;
    return e;
}

}  // namespace

class TstStackFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initGlobals(); }

    void spectraAgainstTruth_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("energyNames");   // energies in the file names
        QTest::addColumn<QVector<double>>("i1");  // energies in load order
        QTest::addColumn<QVector<double>>("i0");
        QTest::addColumn<int>("oddSize");         // I1 frame written at another size
        QTest::addColumn<int>("damaged");         // I1 file that is no image
        QTest::addColumn<QString>("status");      // part of the status-bar message

        const QVector<double> e = steps(12);
        QVector<double> shuffled = e;
        std::swap(shuffled[3], shuffled[9]);
        std::swap(shuffled[5], shuffled[6]);
        QVector<double> twice = e;
        twice.insert(6, e[5]);
        QTest::newRow("dated folder, names without energy")
            << "beamtime_2024_0612" << false << e << e << -1 << -1 << "frames of the I0 stack have the energy 2024.0612";
        QTest::newRow("out of energy order") << "run" << true << shuffled << e << -1 << -1 << QString();
        QTest::newRow("repeated energy") << "run" << true << twice << e << -1 << -1 << "share an energy";
        QTest::newRow("frame of another size") << "run" << true << e << e << 4 << -1 << "i1_08970_0000.tif is 20 x 12 pixels";
        QTest::newRow("I0 short of the I1 range")
            << "run" << true << e << e.mid(0, 8) << -1 << -1 << "I0 stack (8950.00 - 8985.00 eV) does not cover";
        QTest::newRow("damaged file") << "run" << true << e << e << -1 << 7 << "1 of 12 files could not be read";
    }

    void spectraAgainstTruth()
    {
        QFETCH(QString, folder);
        QFETCH(bool, energyNames);
        QFETCH(QVector<double>, i1);
        QFETCH(QVector<double>, i0);
        QFETCH(int, oddSize);
        QFETCH(int, damaged);
        QFETCH(QString, status);

        QTemporaryDir tmp;
        const QString dir = tmp.filePath(folder);
        QStringList i1Files, i0Files;
        QMap<double, QVector<double>> kept;  // energy -> mu of each frame kept
        int seen = 0;
        for (int k = 0; k < i1.size(); ++k) {
            const double E = i1[k];
            // Frames of one energy differ by +-2 %, which their mean cancels.
            const double f = seen++ % 2 ? 1.02 : 1 / 1.02;
            const bool repeated = i1.count(E) > 1;
            const double gain = repeated ? f : 1.0;
            const QString path = dir + "/" + (energyNames ? ts::energyName("i1", E) : QString("i1_%1.tif").arg(k));
            const QString file = repeated && i1.indexOf(E) != k ? path + "f" : path;
            if (k == damaged) {
                QVERIFY(ts::writeFile(file, "not an image at all"));
            } else {
                QVERIFY(ts::writeTiff(file, k == oddSize ? 20 : W, H,
                                        [&](int, int) { return beam(E) * std::exp(-mu(E)) * gain; }));
                if (k != oddSize) kept[E] << mu(E) - std::log(gain);
            }
            i1Files << file;
        }
        for (double E : i0) {
            const QString path = dir + "/" + (energyNames ? ts::energyName("i0", E) : QString("i0_%1.tif").arg(i0Files.size()));
            QVERIFY(ts::writeTiff(path, W, H, [&](int, int) { return beam(E); }));
            i0Files << path;
        }

        Body b;
        QVERIFY(ts::loadFiles(b, i1Files, true));
        QVERIFY(ts::loadFiles(b, i0Files, false));

        const QString shown = b.statusBar()->currentMessage();
        if (status.isEmpty())
            QVERIFY2(shown.isEmpty(), qPrintable(shown));
        else
            QVERIFY2(shown.contains(status), qPrintable(shown));

        const Spectrum s = b.makeXafsSpectrum(8, 6, 1, 1);
        if (!energyNames) {
            // One energy for every frame: one point, and no number pretends otherwise.
            QCOMPARE(s.size(), 1);
            return;
        }
        const double i0Lo = *std::min_element(i0.begin(), i0.end());
        const double i0Hi = *std::max_element(i0.begin(), i0.end());
        QCOMPARE(s.size(), kept.size());
        int i = 0;
        for (auto it = kept.cbegin(); it != kept.cend(); ++it, ++i) {
            const double E = it.key();
            double m = 0;
            for (double v : it.value()) m += v;
            m /= it.value().size();
            // Outside the I0 range the nearest I0 frame holds.
            const double want = m + std::log(beam(qBound(i0Lo, E, i0Hi)) / beam(E));
            QCOMPARE(s.xAt(i), E);
            QVERIFY2(std::abs(s.yAt(i) - want) < 1e-3,
                     qPrintable(QString("%1 eV: %2, want %3").arg(E).arg(s.yAt(i)).arg(want)));
        }
    }
};

QTEST_MAIN(TstStackFaults)
#include "tst_stackfaults.moc"
