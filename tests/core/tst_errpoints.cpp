#include "core/ErrPoints.h"

#include <QtTest>

class TstErrPoints : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString write(const QString& name, const QByteArray& text)
    {
        const QString p = dir.filePath(name);
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly)) return QString();
        f.write(text);
        return p;
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void readsPointsAndSize()
    {
        const QString p = write("a.txt",
                                "# Size 2048 2048\r\n"
                                "10 20\n"
                                "# a comment\n"
                                "11 20 hot\n"
                                "12 34 # near the edge\n"
                                "12\n"
                                "\n"
                                "a b\n"
                                "10 20\n"
                                "\"7\" 8 9 10\n");
        ErrPoints e;
        e.width = 5;
        QVERIFY(e.read(p, false));
        QCOMPARE(e.width, 2048);
        QCOMPARE(e.height, 2048);
        const QVector<QPoint> want{{10, 20}, {11, 20}, {12, 34}, {0, 0}, {10, 20}, {7, 8}};
        QCOMPARE(e.points, want);
        QVERIFY(!e.use);
        QCOMPARE(e.file, QFileInfo(p).canonicalFilePath());
        QVERIFY(e.contains(10, 20));
        QVERIFY(e.contains(0, 0));
        QVERIFY(!e.contains(20, 10));
        QVERIFY(!e.contains(12, 35));
    }

    void sizeLineRules()
    {
        QByteArray ten;
        for (int i = 0; i < 10; ++i) ten += QByteArray::number(i) + " 1\n";
        ErrPoints e;
        QVERIFY(e.read(write("b.txt", ten + "# Size 640 480\n5 6\n"), false));
        QCOMPARE(e.points, QVector<QPoint>{QPoint(5, 6)});
        QCOMPARE(e.width, 640);
        QCOMPARE(e.height, 480);

        // Not size lines: no blank after the hash, or one number only.
        QVERIFY(e.read(write("c.txt", "#Size 10 10\n1 2\n# Size 7\n3 4\n"), false));
        QCOMPARE(e.width, 640);
        QCOMPARE(e.height, 480);
        QCOMPARE(e.points, (QVector<QPoint>{{1, 2}, {3, 4}}));

        // Blanks after the one number make an empty second item.
        QVERIFY(e.read(write("d.txt", "1 2\n# Size 7  \n"), false));
        QCOMPARE(e.width, 7);
        QCOMPARE(e.height, 0);
        QVERIFY(e.points.isEmpty());

        // Appending keeps earlier points until a size line.
        QVERIFY(e.read(write("e.txt", "1 1\n"), false));
        QVERIFY(e.read(write("f.txt", "2 2\n"), true));
        QCOMPARE(e.points, (QVector<QPoint>{{1, 1}, {2, 2}}));
        QVERIFY(e.use);
        QVERIFY(e.read(write("g.txt", "3 3\n# Size 1 1\n4 4\n"), true));
        QCOMPARE(e.points, QVector<QPoint>{QPoint(4, 4)});
        QVERIFY(!e.use);
    }

    void emptyAndMissingFiles()
    {
        ErrPoints e;
        e.width = 3;
        e.height = 4;
        QVERIFY(e.read(write("empty.txt", ""), false));
        QVERIFY(e.points.isEmpty());
        QCOMPARE(e.width, 3);
        QCOMPARE(e.height, 4);
        QVERIFY(!e.use);

        e.points = {QPoint(1, 1)};
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
