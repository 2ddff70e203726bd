// Writes that fail after the file is open (the disk fills up half way): the
// writer says so, the user's earlier file is left as it was and no temporary
// file is left behind.
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

#include <functional>
#include <vector>

#include "core/Analyzed2DRes.h"
#include "core/TiffWriter.h"
#include "core/XafsSpectrum.h"
#include "mainwindow/SafeSave.h"

#include "support/Files.h"

using Writer = std::function<bool(const QString& path)>;
Q_DECLARE_METATYPE(Writer)

namespace {

// Files larger than this many bytes cannot be written while it holds.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit l = saved;
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }

private:
    rlimit saved{};
};

Analyzed2DRes* bigMap()
{
    static Analyzed2DRes map("big");
    AnalyzeCond g;
    g.set(200, 150, 0, 0, QRectF(0, 0, 200, 150), -1, -1);
    map.setCond(g);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x) map.setData(x, y, 0, 0, x * 0.37 + y);
    return &map;
}

}  // namespace

class TstFailedWrites : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheOldFile_data()
    {
        QTest::addColumn<Writer>("write");
        QTest::addColumn<QString>("name");
        static std::vector<uint16_t> samples(300 * 200, 1234);
        QTest::newRow("16-bit TIFF") << Writer([](const QString& p) {
            return SafeSave::tiff16(p, 300, 200, samples.data());
        }) << QString("result.tif");
        QTest::newRow("map as TIFF") << Writer([](const QString& p) {
            return SafeSave::mapAsTiff(*bigMap(), p, false, 0, 1, false);
        }) << QString("result.tif");
        QTest::newRow("map as text") << Writer([](const QString& p) {
            return SafeSave::mapAsText(*bigMap(), p, false, true, true);
        }) << QString("result.dat");
        QTest::newRow("image") << Writer([](const QString& p) {
            QImage img(400, 300, QImage::Format_RGB32);  // noise: no compression saves it
            quint32 r = 12345;
            for (int y = 0; y < 300; ++y)
                for (int x = 0; x < 400; ++x) img.setPixel(x, y, (r = r * 1664525u + 1013904223u) >> 8);
            return SafeSave::image(img, p);
        }) << QString("result.png");
    }
    void keepsTheOldFile()
    {
        QFETCH(Writer, write);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString target = dir.filePath(name);
        QVERIFY(ts::writeText(target, "the user's earlier result\n"));
        {
            FileSizeLimit limit(4096);
            QVERIFY(!write(target));
        }
        QCOMPARE(ts::readAll(target), QByteArray("the user's earlier result\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({name}));
        // With room again the same writer succeeds.
        QVERIFY(write(target));
        QVERIFY(QFileInfo(target).size() > 4096);
    }

    // The plain writers report the failure (their partial file may stay).
    void plainWritersReportFailure()
    {
        QTemporaryDir dir;
        std::vector<uint16_t> samples(300 * 200, 7);
        XafsSpectrum s;
        for (int i = 0; i < 2000; ++i) s.append(7000 + i, 0.001 * i);
        FileSizeLimit limit(4096);
        QVERIFY(!TiffWriter().write16(dir.filePath("a.tif"), 300, 200, samples.data()));
        QVERIFY(!s.save(dir.filePath("s.dat"), false));
    }
};

QTEST_MAIN(TstFailedWrites)
#include "tst_failedwrites.moc"
