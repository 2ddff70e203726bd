// File dialogs that start in the data folder and follow each other, and the
// spectrum-file selector whose dialog follows the file chosen.
#include "widgets/FDGroup.h"
#include "widgets/SelectImgDialog.h"
#include "widgets/XafsFileSelect.h"
#include "widgets/_FileDialog.h"

#include "core/Globals.h"
#include "support/Files.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QString canon(const QString& p) { return QFileInfo(p).canonicalFilePath(); }
QString dirOf(const QFileDialog* d) { return canon(d->directory().absolutePath()); }
}  // namespace

class TstFileDialogs : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    QString dirA, dirB, fileInB;

private slots:
    void initTestCase()
    {
        initGlobals();
        for (const char* d : {"a", "b"}) QDir(tmp.path()).mkpath(d);
        dirA = canon(tmp.filePath("a"));
        dirB = canon(tmp.filePath("b"));
        fileInB = dirB + "/mu.dat";
        QVERIFY(ts::writeFile(fileInB, "1 2\n"));
    }

    // Each dialog opens where the data root is when it is made.
    void dialogsStartInDataRoot()
    {
        const QString root = DataRoot;
        DataRoot = dirA;
        _FileDialog d("Title");
        DataRoot = dirB;
        SelectImgDialog later;
        DataRoot = root;
        QCOMPARE(dirOf(&d), dirA);
        QCOMPARE(dirOf(&later), dirB);
    }

    void groupMovesTheOthers()
    {
        FDGroup g;
        _FileDialog a, b;
        auto* gone = new _FileDialog;
        for (QFileDialog* d : {static_cast<QFileDialog*>(&a), static_cast<QFileDialog*>(gone),
                               static_cast<QFileDialog*>(&b)}) {
            d->setDirectory(dirA);
            g.addDialog(d);
        }
        g.addDialog(&a);  // twice: once only
        delete gone;      // a dialog closed for good
        QSignalSpy bMoved(&b, SIGNAL(directoryEntered(QString)));
        emit a.directoryEntered(dirB);
        QCOMPARE(dirOf(&b), dirB);
        QCOMPARE(dirOf(&a), dirA);     // the sender is left alone
        QCOMPARE(bMoved.count(), 0);  // no echo between the dialogs
        QCOMPARE(g.dialogs.size(), 2);
        // An empty directory does not send them to the working directory.
        emit b.directoryEntered(QString());
        QCOMPARE(dirOf(&a), dirA);
        // A highlighted file moves the others to its real folder; one that
        // does not exist moves nothing.
        b.setDirectory(dirA);
        emit a.currentChanged(dirA + "/../b/mu.dat");
        QCOMPARE(b.directory().absolutePath(), dirB);
        emit b.currentChanged(tmp.filePath("missing/x.dat"));
        QCOMPARE(dirOf(&a), dirA);
    }

    void selectorFollowsTheFile()
    {
        XafsFileSelect s;
        QSignalSpy files(&s, SIGNAL(newFile(QString)));
        const QString roundabout = dirA + "/../b/mu.dat";
        s.dialog->setDirectory(dirA);
        s.load(roundabout);
        QCOMPARE(files[0][0].toString(), roundabout);
        QCOMPARE(s.dialog->directory().absolutePath(), dirB);
        // A name without a folder is passed on as given; the dialog stays.
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^XafsFileSelect: no folder for .*none\\.dat"));
        s.load(tmp.filePath("nowhere/none.dat"));
        QCOMPARE(files[1][0].toString(), tmp.filePath("nowhere/none.dat"));
        QCOMPARE(s.dialog->directory().absolutePath(), dirB);
        // Chosen in the dialog, as its Open button does.
        s.dialog->show();
        s.dialog->selectFile(fileInB);
        static_cast<QDialog*>(s.dialog)->accept();
        QCOMPARE(files.count(), 3);
        QCOMPARE(canon(s.Selected->text()), fileInB);
    }
};

QTEST_MAIN(TstFileDialogs)
#include "tst_filedialogs.moc"
