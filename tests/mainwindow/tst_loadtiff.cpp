// The stack loader on its own thread, driven by requests as the main window
// sends them.
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "core/Globals.h"
#include "core/TiffData.h"
#include "mainwindow/LoadTiff.h"
#include "support/Files.h"

namespace {

struct Delivered
{
    int fNo;
    int total;
    int generation;
    double centre;
};

// Receives the loader's signals on the test thread, as the main window does.
class Collector : public QObject
{
    Q_OBJECT
public:
    QVector<Delivered> images;
    QVector<EX_CMD_ID> finished;
    QVector<int> orderMarks;  // images.size() at each completion

    void onLoaded(TiffData* d, int fNo, int total, int generation)
    {
        images.append({fNo, total, generation, d->pixelValue(1, 1)});
        delete d;
    }
    void onFinished(EX_CMD_ID id)
    {
        finished.append(id);
        orderMarks.append(images.size());
    }
    void clear()
    {
        images.clear();
        finished.clear();
        orderMarks.clear();
    }
    QList<int> numbers() const
    {
        QList<int> out;
        for (const Delivered& d : images) out << d.fNo;
        return out;
    }
};

}  // namespace

class TstLoadTiff : public QObject
{
    Q_OBJECT

signals:
    void send(LoadTiff::Request r);

private:
    QTemporaryDir dir;
    QStringList tenFiles;  // frame i holds 100 + i everywhere
    QThread thread;
    LoadTiff* loader = nullptr;
    Collector col;

    LoadTiff::Request request(const QStringList& files, int skip = 1, int cutFirst = 0, int cutLast = 0,
                              EX_CMD_ID id = load_I1_files)
    {
        LoadTiff::Request r;
        r.files = files;
        r.skip = skip;
        r.cutFirst = cutFirst;
        r.cutLast = cutLast;
        r.id = id;
        return r;
    }

    bool waitFinished(int n)
    {
        QElapsedTimer t;
        t.start();
        while (col.finished.size() < n && t.elapsed() < 10000) QTest::qWait(5);
        return col.finished.size() >= n;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        initColorTables();  // images build their display image through the grey table
        for (int i = 0; i < 10; ++i) {
            tenFiles << dir.filePath(QString("img_%1.img").arg(i));
            QVERIFY(ts::writeIm(tenFiles.last(), 4, 3, [i](int, int) { return 100 + i; }));
        }
        loader = new LoadTiff;
        loader->moveToThread(&thread);
        connect(this, &TstLoadTiff::send, loader, &LoadTiff::loadTiffs);
        connect(loader, &LoadTiff::loaded, &col, &Collector::onLoaded);
        connect(loader, &LoadTiff::finishLoadFiles, &col, &Collector::onFinished);
        thread.start();
    }

    void cleanupTestCase()
    {
        thread.quit();
        thread.wait();
        delete loader;
    }

    void init() { col.clear(); }

    void skipAndCuts_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("skip");
        QTest::addColumn<int>("cutFirst");
        QTest::addColumn<int>("cutLast");
        QTest::addColumn<QList<int>>("read");
        QTest::newRow("skip 3 cut first 1") << 10 << 3 << 1 << 0 << QList<int>{1, 4, 7};
        QTest::newRow("all") << 10 << 1 << 0 << 0 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        QTest::newRow("cut last 10 reads the first") << 10 << 1 << 0 << 10 << QList<int>{0};
        QTest::newRow("cut last 3") << 10 << 2 << 0 << 3 << QList<int>{0, 2, 4, 6};
        QTest::newRow("cut last 3, every file") << 10 << 1 << 0 << 3 << QList<int>{0, 1, 2, 3, 4, 5, 6};
        QTest::newRow("cut first at end") << 10 << 1 << 10 << 0 << QList<int>{};
        QTest::newRow("cut first past end") << 10 << 1 << 11 << 0 << QList<int>{};
        QTest::newRow("skip 0 reads as 1") << 10 << 0 << 7 << 0 << QList<int>{7, 8, 9};
        QTest::newRow("negative cuts read as 0") << 10 << 4 << -2 << -5 << QList<int>{0, 4, 8};
        QTest::newRow("huge skip") << 10 << INT_MAX << 9 << 0 << QList<int>{9};
        QTest::newRow("empty list") << 0 << 1 << 0 << 0 << QList<int>{};
    }
    void skipAndCuts()
    {
        QFETCH(int, files);
        QFETCH(int, skip);
        QFETCH(int, cutFirst);
        QFETCH(int, cutLast);
        QFETCH(QList<int>, read);
        emit send(request(tenFiles.mid(0, files), skip, cutFirst, cutLast, load_I0_files));
        QVERIFY(waitFinished(1));
        QCOMPARE(col.numbers(), read);
        QCOMPARE(col.finished, QVector<EX_CMD_ID>{load_I0_files});
        QCOMPARE(col.orderMarks.at(0), read.size());  // completion after the last image
        for (const Delivered& d : col.images) {
            QCOMPARE(d.total, files);
            QCOMPARE(d.centre, 100.0 + d.fNo);
        }
        QVERIFY(!loader->busy);
    }

    // Live views are skipped when asked, unreadable files always; both still
    // count. Every request completes once, in order, after its images.
    void liveAndUnreadableFiles()
    {
        QStringList files = tenFiles.mid(0, 2);
        files.insert(1, dir.filePath("Live_1.img"));
        QVERIFY(ts::writeIm(files[1], 4, 3, [](int, int) { return 7; }));
        files.insert(2, dir.filePath("missing.img"));
        files.insert(3, dir.filePath("junk.img"));
        QVERIFY(ts::writeFile(files[3], "this is not any image format at all"));
        LoadTiff::Request r = request(files);
        r.ignoreLive = true;
        emit send(r);
        r.ignoreLive = false;
        r.id = load_I0_files;
        emit send(r);
        emit send(request({}));
        QVERIFY(waitFinished(3));
        QTest::qWait(50);
        QCOMPARE(col.finished, QVector<EX_CMD_ID>({load_I1_files, load_I0_files, load_I1_files}));
        QCOMPARE(col.orderMarks, QVector<int>({2, 5, 5}));
        QCOMPARE(col.numbers(), QList<int>({0, 4, 0, 1, 4}));
        QCOMPARE(col.images.at(1).total, 5);
    }

    void staleRequestsStop()
    {
        // A request older than the drop mark reads nothing, yet completes.
        loader->dropOlderThan(3);
        LoadTiff::Request r = request(tenFiles);
        r.generation = 2;
        emit send(r);
        r.generation = 3;
        r.cutFirst = 8;
        emit send(r);
        QVERIFY(waitFinished(2));
        QCOMPARE(col.numbers(), QList<int>({8, 9}));
        for (const Delivered& d : col.images) QCOMPARE(d.generation, 3);

        // Dropping while a request is read stops it at the next file.
        col.clear();
        const QMetaObject::Connection c = connect(
            loader, &LoadTiff::loaded, loader, [this](TiffData*, int, int, int) { loader->dropOlderThan(4); },
            Qt::DirectConnection);
        r.cutFirst = 0;
        emit send(r);
        QVERIFY(waitFinished(1));
        disconnect(c);
        QCOMPARE(col.numbers(), QList<int>({0}));
        // A lower mark never lowers the one in force.
        loader->dropOlderThan(1);
        col.clear();
        emit send(r);
        QVERIFY(waitFinished(1));
        QVERIFY(col.images.isEmpty());
    }

    void requestCarriesItsOwnBadPixelList()
    {
        const QString path = dir.filePath("bad.img");
        QVERIFY(ts::writeIm(path, 3, 3, [](int x, int y) { return x == 1 && y == 1 ? 9000 : 40; }));
        LoadTiff::Request r = request({path});
        r.generation = 10;
        loader->dropOlderThan(10);
        r.errPs.use = true;
        r.errPs.points = {QPoint(1, 1)};
        emit send(r);
        // The list the request was made from may change at once; the request
        // keeps what it held when it was sent.
        r.errPs.points.clear();
        r.errPs.use = false;
        emit send(r);
        QVERIFY(waitFinished(2));
        QCOMPARE(col.images.at(0).centre, 40.0);
        QCOMPARE(col.images.at(1).centre, 9000.0);
    }
};

QTEST_MAIN(TstLoadTiff)
#include "tst_loadtiff.moc"
