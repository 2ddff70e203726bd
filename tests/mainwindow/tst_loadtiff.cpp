#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "core/Globals.h"
#include "core/TiffData.h"
#include "mainwindow/LoadTiff.h"
#include "support/Files.h"

namespace {

struct Delivered {
    QString file;
    int fNo;
    int total;
    int generation;
    double max;
};

// Receives the loader's signals on the test thread, as the main window does.
class Collector : public QObject {
    Q_OBJECT
public:
    QVector<Delivered> images;
    QVector<EX_CMD_ID> finished;
    QVector<int> orderMarks;  // images.size() at each completion
    QVector<double> centres;

    void onLoaded(TiffData* d, int fNo, int total, int generation)
    {
        images.append({d->file, fNo, total, generation, d->max});
        centres.append(d->pixelValue(1, 1));
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
        centres.clear();
    }
};

}  // namespace

class TstLoadTiff : public QObject {
    Q_OBJECT

signals:
    void send(LoadTiff::Request r);

private:
    QTemporaryDir dir;
    QStringList tenFiles;
    QThread thread;
    LoadTiff* loader = nullptr;
    Collector col;

    LoadTiff::Request request(const QStringList& files, int skip, int cutFirst, int cutLast,
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

    QList<int> deliveredNumbers() const
    {
        QList<int> out;
        for (const Delivered& d : col.images)
            out << d.fNo;
        return out;
    }

    bool waitFinished(int n, int ms = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (col.finished.size() < n && t.elapsed() < ms)
            QTest::qWait(5);
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
        QTest::addColumn<int>("skip");
        QTest::addColumn<int>("cutFirst");
        QTest::addColumn<int>("cutLast");
        QTest::addColumn<QList<int>>("read");
        QTest::newRow("skip 3 cut first 1") << 3 << 1 << 0 << QList<int>{1, 4, 7};
        QTest::newRow("all") << 1 << 0 << 0 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        QTest::newRow("cut last 10 reads the first") << 1 << 0 << 10 << QList<int>{0};
        QTest::newRow("cut last 3") << 2 << 0 << 3 << QList<int>{0, 2, 4, 6};
        QTest::newRow("cut first at end") << 1 << 10 << 0 << QList<int>{};
        QTest::newRow("cut first past end") << 1 << 11 << 0 << QList<int>{};
        QTest::newRow("skip 0 reads as 1") << 0 << 7 << 0 << QList<int>{7, 8, 9};
        QTest::newRow("negative cuts read as 0") << 4 << -2 << -5 << QList<int>{0, 4, 8};
        QTest::newRow("huge skip") << INT_MAX << 9 << 0 << QList<int>{9};
    }

    void skipAndCuts()
    {
        QFETCH(int, skip);
        QFETCH(int, cutFirst);
        QFETCH(int, cutLast);
        QFETCH(QList<int>, read);
        emit send(request(tenFiles, skip, cutFirst, cutLast, load_I0_files));
        QVERIFY(waitFinished(1));
        QCOMPARE(deliveredNumbers(), read);
        QCOMPARE(col.finished, QVector<EX_CMD_ID>{load_I0_files});
        QCOMPARE(col.orderMarks.at(0), read.size());  // completion after the last image
        for (const Delivered& d : col.images) {
            QCOMPARE(d.total, 10);
            QCOMPARE(d.file, tenFiles.at(d.fNo));
            QCOMPARE(d.max, 100.0 + d.fNo);
        }
        QVERIFY(!loader->busy);
    }

    void emptyListCompletes()
    {
        emit send(request({}, 1, 0, 0));
        QVERIFY(waitFinished(1));
        QVERIFY(col.images.isEmpty());
        QCOMPARE(col.finished.at(0), load_I1_files);
    }

    void liveFilesAreSkippedButCounted()
    {
        QStringList files = tenFiles.mid(0, 4);
        files[1] = dir.filePath("Live_1.img");
        QVERIFY(ts::writeIm(files[1], 4, 3, [](int, int) { return 7; }));
        LoadTiff::Request r = request(files, 1, 0, 0);
        r.ignoreLive = true;
        emit send(r);
        r.ignoreLive = false;
        emit send(r);
        QVERIFY(waitFinished(2));
        QCOMPARE(col.orderMarks, QVector<int>({3, 7}));
        QCOMPARE(deliveredNumbers(), QList<int>({0, 2, 3, 0, 1, 2, 3}));
    }

    void failedFilesSendNothingButCompletion()
    {
        QStringList files = tenFiles.mid(0, 3);
        files.insert(1, dir.filePath("missing.img"));
        const QString junk = dir.filePath("junk.img");
        QVERIFY(ts::writeFile(junk, "this is not any image format at all"));
        files.insert(3, junk);
        emit send(request(files, 1, 0, 0));
        QVERIFY(waitFinished(1));
        QCOMPARE(deliveredNumbers(), QList<int>({0, 2, 4}));
        QCOMPARE(col.images.at(2).total, 5);
    }

    void everyRequestCompletesOnceInOrder()
    {
        emit send(request(tenFiles, 1, 12, 0, load_I1_files));
        emit send(request(tenFiles, 5, 0, 0, load_I0_files));
        emit send(request({}, 1, 0, 0, load_I1_files));
        QVERIFY(waitFinished(3));
        QTest::qWait(50);
        QCOMPARE(col.finished, QVector<EX_CMD_ID>({load_I1_files, load_I0_files, load_I1_files}));
        QCOMPARE(col.orderMarks, QVector<int>({0, 2, 2}));
    }

    void staleRequestsStop()
    {
        // A request older than the drop mark reads nothing, yet completes.
        loader->dropOlderThan(3);
        LoadTiff::Request r = request(tenFiles, 1, 0, 0);
        r.generation = 2;
        emit send(r);
        r.generation = 3;
        r.cutFirst = 8;
        emit send(r);
        QVERIFY(waitFinished(2));
        QCOMPARE(deliveredNumbers(), QList<int>({8, 9}));
        for (const Delivered& d : col.images)
            QCOMPARE(d.generation, 3);

        // Dropping while a request is read stops it at the next file.
        col.clear();
        const QMetaObject::Connection c = connect(
            loader, &LoadTiff::loaded, loader, [this](TiffData*, int, int, int) { loader->dropOlderThan(4); },
            Qt::DirectConnection);
        r.cutFirst = 0;
        emit send(r);
        QVERIFY(waitFinished(1));
        disconnect(c);
        QCOMPARE(deliveredNumbers(), QList<int>({0}));
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
        LoadTiff::Request r = request({path}, 1, 0, 0);
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
        QCOMPARE(col.centres, QVector<double>({40.0, 9000.0}));
    }
};

QTEST_MAIN(TstLoadTiff)
#include "tst_loadtiff.moc"
