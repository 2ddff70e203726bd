// The batch editor window: script files saved and loaded, and the lines it
// dispatches.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "batch/BatchCtrl.h"
#include "widgets/_FileDialog.h"

#include "support/Batch.h"
#include "support/Files.h"

class TstBatchCtrl : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

private slots:
    void initTestCase() { QVERIFY(ts::initBatchRun(tmp)); }

    void saveLoadRoundTrip()
    {
        const QString script = QString::fromUtf8(":let X 5\nload_I1_files NEW \"a b.tif\" # c\n\n"
                                                 ":for i %i 01 12\n  seek_image %i \\\nμ\n:end");
        const QString path = tmp.filePath("round.bat");
        BatchCtrl w;
        w.ui.BatchCmds->setPlainText(script);
        emit w.saveFileDialog()->fileSelected(path);
        QCOMPARE(ts::readAll(path), script.toUtf8());
        w.ui.BatchCmds->setPlainText("old text");
        emit w.loadFileDialog()->fileSelected(path);
        QCOMPARE(w.ui.BatchCmds->toPlainText(), script + "\n");
        // Saving again replaces the file; the loaded text ends in a line break.
        w.save(path);
        QCOMPARE(ts::readAll(path), (script + "\n").toUtf8());

        // Unreadable and unwritable files change nothing.
        w.ui.BatchCmds->setPlainText("keep me");
        w.load(tmp.filePath("missing.bat"));
        w.setBatchFile(QString());
        w.save(tmp.filePath("no/such/dir/x.bat"));
        QVERIFY(!QFileInfo::exists(tmp.filePath("no/such/dir/x.bat")));
        QCOMPARE(w.ui.BatchCmds->toPlainText(), QString("keep me"));
    }

    void dispatchedLines()
    {
        const QString path = tmp.filePath("three.bat");
        QVERIFY(ts::writeFile(path, "seek_image 1\r\n:echo two\r\nsave_image x.png"));
        BatchCtrl w;
        w.setBatchFile(path);
        QCOMPARE(w.ui.BatchCmds->toPlainText(), QString("seek_image 1\n:echo two\nsave_image x.png\n"));
        QSignalSpy spy(&w, &BatchCtrl::doDispatchCmds);
        QTest::mouseClick(w.ui.Exec, Qt::LeftButton);
        const QStringList expected{"seek_image 1", ":echo two", "save_image x.png", "", ":end"};
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toStringList(), expected);
        QCOMPARE(w.lastLines(), expected);
        w.ui.BatchCmds->clear();
        w.execBatchSlot();
        QCOMPARE(spy[1][0].toStringList(), QStringList({"", ":end"}));
        w.dispatchCmds({"a", "b"});
        QCOMPARE(spy[2][0].toStringList(), QStringList({"a", "b"}));
        QCOMPARE(w.lastLines(), QStringList({"", ":end"}));
    }
};

QTEST_MAIN(TstBatchCtrl)
#include "tst_batchctrl.moc"
