#include "core/ErrPoints.h"
#include "support/Files.h"

#include <QtTest>

class TstErrPoints : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // Read into a list that held a 5 x 6 size and no points.
    void reads_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVector<QPoint>>("points");
        QTest::addColumn<QSize>("size");
        QTest::newRow("points, comments, short and bad lines")
            << "# Size 2048 2048\r\n10 20\n# a comment\n11 20 hot\n12 34 # near the edge\n12\n\na b\n10 20\n\"7\" 8 9\n"
            << QVector<QPoint>{{10, 20}, {11, 20}, {12, 34}, {0, 0}, {10, 20}, {7, 8}} << QSize(2048, 2048);
        QTest::newRow("a size line drops earlier points")
            << "0 1\n1 1\n2 1\n# Size 640 480\n5 6\n" << QVector<QPoint>{{5, 6}} << QSize(640, 480);
        // No blank after the hash, or one number only: not size lines.
        QTest::newRow("not size lines") << "#Size 10 10\n1 2\n# Size 7\n3 4\n" << QVector<QPoint>{{1, 2}, {3, 4}}
                                        << QSize(5, 6);
        // Blanks after the one number make an empty second item.
        QTest::newRow("size with one number") << "1 2\n# Size 7  \n" << QVector<QPoint>() << QSize(7, 0);
        QTest::newRow("empty file") << "" << QVector<QPoint>() << QSize(5, 6);
    }
    void reads()
    {
        QFETCH(QString, text);
        QFETCH(QVector<QPoint>, points);
        QFETCH(QSize, size);
        const QString path = ts::writeIn(dir, "e.txt", text);
        ErrPoints e;
        e.width = 5;
        e.height = 6;
        e.use = true;
        QVERIFY(e.read(path, false));
        QCOMPARE(e.points, points);
        QCOMPARE(QSize(e.width, e.height), size);
        QVERIFY(!e.use);
        QCOMPARE(e.file, QFileInfo(path).canonicalFilePath());
        for (const QPoint& p : points) QVERIFY(e.contains(p.x(), p.y()));
        QVERIFY(!e.contains(20, 10));
    }

    // Appending keeps earlier points until a size line; a missing file
    // clears the list.
    void appendAndMissing()
    {
        ErrPoints e;
        QVERIFY(e.read(ts::writeIn(dir, "e.txt", "1 1\n"), false));
        QVERIFY(e.read(ts::writeIn(dir, "f.txt", "2 2\n"), true));
        QCOMPARE(e.points, (QVector<QPoint>{{1, 1}, {2, 2}}));
        QVERIFY(e.use);
        QVERIFY(e.read(ts::writeIn(dir, "g.txt", "3 3\n# Size 1 1\n4 4\n"), true));
        QCOMPARE(e.points, QVector<QPoint>{QPoint(4, 4)});
        QVERIFY(!e.use);

        e.use = true;
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Can't Open"));
        QVERIFY(!e.read(dir.filePath("missing.txt"), false));
        QVERIFY(e.points.isEmpty());
        QVERIFY(!e.use);
        QVERIFY(e.file.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstErrPoints)
#include "tst_errpoints.moc"
