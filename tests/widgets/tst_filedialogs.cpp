// Shared file dialogs, the dialog group and the spectrum-file selector.
#include "widgets/EShiftMapDialog.h"
#include "widgets/FDGroup.h"
#include "widgets/SelectImgDialog.h"
#include "widgets/XafsFileSelect.h"
#include "widgets/_FileDialog.h"

#include "core/Globals.h"

#include <QFile>
#include <QGridLayout>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TstFileDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dialogsStartInDataRoot();
    void fixedFilters();
    void groupAddsOnce();
    void enteringMovesTheOthers();
    void highlightingMovesToTheFilesFolder();
    void groupSurvivesDestroyedDialogs();
    void selectorForm();
    void selectorLoad();
    void selectorDialogChoice();
    void selectorClearAndUse();

private:
    QTemporaryDir tmp;
    QString dirA, dirB, fileInB;
};

static QString canon(const QString& p)
{
    return QFileInfo(p).canonicalFilePath();
}

void TstFileDialogs::initTestCase()
{
    initGlobals();
    QVERIFY(tmp.isValid());
    QDir(tmp.path()).mkpath("a");
    QDir(tmp.path()).mkpath("b");
    dirA = canon(tmp.filePath("a"));
    dirB = canon(tmp.filePath("b"));
    fileInB = dirB + "/spec.dat";
    QFile f(fileInB);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("1 2\n");
}

void TstFileDialogs::dialogsStartInDataRoot()
{
    const QString root = DataRoot;
    DataRoot = dirA;
    _FileDialog d("Title");
    QVERIFY(d.testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(d.windowTitle(), QString("Title"));
    QCOMPARE(canon(d.directory().absolutePath()), dirA);
    // Built after the root changes: the new root.
    DataRoot = dirB;
    SelectImgDialog later;
    QCOMPARE(canon(later.directory().absolutePath()), dirB);
    QCOMPARE(canon(d.directory().absolutePath()), dirA);
    DataRoot = root;
}

void TstFileDialogs::fixedFilters()
{
    EShiftMapDialog e;
    QCOMPARE(e.nameFilters(), QStringList({"Energy Shift Map File (*.emp)", "Any Files (* *.*)"}));
    QCOMPARE(e.fileMode(), QFileDialog::ExistingFile);
    QCOMPARE(e.acceptMode(), QFileDialog::AcceptOpen);
    QVERIFY(e.testOption(QFileDialog::DontUseNativeDialog));
    SelectImgDialog s;
    QCOMPARE(s.nameFilters(),
             QStringList({"QDRN Files, IMG Files, Tiff Files (*.dat *.img *.tif *.tiff)", "Any Files (* *.*)"}));
    QCOMPARE(s.fileMode(), QFileDialog::ExistingFiles);
    QCOMPARE(s.acceptMode(), QFileDialog::AcceptOpen);
}

namespace {
struct CountedDialog : _FileDialog {
    int listeners(const char* signal) const { return receivers(signal); }
};
}  // namespace

void TstFileDialogs::groupAddsOnce()
{
    FDGroup g;
    CountedDialog a, b;
    g.addDialog(&a);
    g.addDialog(&a);
    g.addDialog(&b);
    g.addDialog(nullptr);
    QCOMPARE(g.dialogs.size(), 2);
    QCOMPARE(a.listeners(SIGNAL(directoryEntered(QString))), 1);
    QCOMPARE(a.listeners(SIGNAL(currentChanged(QString))), 1);
    b.setDirectory(dirA);
    emit a.directoryEntered(dirB);
    QCOMPARE(canon(b.directory().absolutePath()), dirB);
}

void TstFileDialogs::enteringMovesTheOthers()
{
    FDGroup g;
    _FileDialog a, b, c;
    for (QFileDialog* d : {&a, &b, &c}) {
        d->setDirectory(dirA);
        g.addDialog(d);
    }
    a.setDirectory(dirB);  // where the user ends up in a
    QSignalSpy bMoved(&b, SIGNAL(directoryEntered(QString)));
    emit a.directoryEntered(dirB);
    QCOMPARE(canon(b.directory().absolutePath()), dirB);
    QCOMPARE(canon(c.directory().absolutePath()), dirB);
    QCOMPARE(bMoved.count(), 0);  // no echo between the dialogs

    // The sender itself is not reset even when it shows another folder.
    a.setDirectory(dirA);
    emit a.directoryEntered(dirB);
    QCOMPARE(canon(a.directory().absolutePath()), dirA);

    // An empty directory does not send the others to the working directory.
    emit c.directoryEntered(QString());
    QCOMPARE(canon(a.directory().absolutePath()), dirA);
    QCOMPARE(canon(b.directory().absolutePath()), dirB);
}

void TstFileDialogs::highlightingMovesToTheFilesFolder()
{
    FDGroup g;
    _FileDialog a, b;
    a.setDirectory(dirA);
    b.setDirectory(dirA);
    g.addDialog(&a);
    g.addDialog(&b);
    emit a.currentChanged(fileInB);
    QCOMPARE(canon(b.directory().absolutePath()), dirB);
    QCOMPARE(canon(a.directory().absolutePath()), dirA);
    // Through a link-free but roundabout path: still the real folder.
    b.setDirectory(dirA);
    emit a.currentChanged(dirA + "/../b/spec.dat");
    QCOMPARE(b.directory().absolutePath(), dirB);
    // Nothing resolvable: nobody moves.
    emit a.currentChanged(tmp.filePath("missing/x.dat"));
    emit a.currentChanged(QString());
    QCOMPARE(b.directory().absolutePath(), dirB);
}

void TstFileDialogs::groupSurvivesDestroyedDialogs()
{
    FDGroup g;
    _FileDialog a;
    auto* gone = new _FileDialog;
    _FileDialog c;
    g.addDialog(&a);
    g.addDialog(gone);
    g.addDialog(&c);
    delete gone;
    emit a.directoryEntered(dirB);
    QCOMPARE(canon(c.directory().absolutePath()), dirB);
    QCOMPARE(g.dialogs.size(), 2);
}

void TstFileDialogs::selectorForm()
{
    XafsFileSelect s;
    QCOMPARE(s.objectName(), QString("XafsFileSelect"));
    QCOMPARE(s.windowTitle(), QString("XAFS File Select"));
    QVERIFY(s.Use->isChecked());
    QVERIFY(s.Use->isHidden());
    QVERIFY(s.Selected->isReadOnly());
    QCOMPARE(s.Selected->styleSheet(), QString("background-color: rgb(253, 255, 225);"));
    QCOMPARE(s.Select->text(), QString("Select"));
    QCOMPARE(s.Clear->text(), QString("Clear"));
    QCOMPARE(static_cast<QGridLayout*>(s.layout())->spacing(), 3);
    QVERIFY(s.dialog);
    QVERIFY(!s.dialog->parent());
    QVERIFY(s.dialog->testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(s.dialog->nameFilters(), QStringList({"XAFS Data File (*.dat)", "Any Files (* *.*)"}));
    QCOMPARE(s.dialog->fileMode(), QFileDialog::ExistingFile);
    s.setMaxSelectBW(50);
    s.setMaxClearBW(40);
    QCOMPARE(s.Select->maximumWidth(), 50);
    QCOMPARE(s.Clear->maximumWidth(), 40);
    s.fileNameValid(false);
    QCOMPARE(s.Selected->styleSheet(), QString("background-color: rgb(255, 240, 240);"));
    s.fileNameValid(true);
    QCOMPARE(s.Selected->styleSheet(), QString("background-color: rgb(255, 255, 224);"));
    // Select shows the dialog without blocking.
    QTest::mouseClick(s.Select, Qt::LeftButton);
    QVERIFY(s.dialog->isVisible());
    s.dialog->hide();
}

void TstFileDialogs::selectorLoad()
{
    XafsFileSelect s;
    QSignalSpy files(&s, SIGNAL(newFile(QString)));
    const QString roundabout = dirA + "/../b/spec.dat";
    s.load(roundabout);
    QCOMPARE(files.count(), 1);
    QCOMPARE(files[0][0].toString(), roundabout);
    QCOMPARE(s.Selected->text(), roundabout);
    QVERIFY(s.fileChosen);
    QCOMPARE(s.dialog->directory().absolutePath(), dirB);
    // A name whose folder is not there is passed on as given; the dialog
    // stays where it was instead of falling back to the working directory.
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^XafsFileSelect: no folder for .*none\\.dat"));
    s.load(tmp.filePath("nowhere/none.dat"));
    QCOMPARE(files.count(), 2);
    QCOMPARE(files[1][0].toString(), tmp.filePath("nowhere/none.dat"));
    QCOMPARE(s.Selected->text(), tmp.filePath("nowhere/none.dat"));
    QCOMPARE(s.dialog->directory().absolutePath(), dirB);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^XafsFileSelect: no folder for"));
    s.load(QString());
    QCOMPARE(files.count(), 3);
    QCOMPARE(s.Selected->text(), QString());
    QCOMPARE(s.dialog->directory().absolutePath(), dirB);
}

void TstFileDialogs::selectorDialogChoice()
{
    XafsFileSelect s;
    QSignalSpy files(&s, SIGNAL(newFile(QString)));
    s.dialog->setDirectory(dirB);
    s.dialog->show();
    s.dialog->selectFile(fileInB);
    static_cast<QDialog*>(s.dialog)->accept();  // as the Open button does
    QCOMPARE(files.count(), 1);
    QCOMPARE(canon(files[0][0].toString()), fileInB);
    QCOMPARE(canon(s.Selected->text()), fileInB);
}

void TstFileDialogs::selectorClearAndUse()
{
    XafsFileSelect s;
    QSignalSpy cleared(&s, SIGNAL(cleared()));
    QSignalSpy use(&s, SIGNAL(changedUse(bool)));
    s.load(fileInB);
    s.fileNameValid(false);
    s.clear();
    s.clear();
    QCOMPARE(cleared.count(), 2);
    QCOMPARE(s.Selected->text(), QString());
    QCOMPARE(s.Selected->styleSheet(), QString("background-color: rgb(255, 240, 240);"));
    QCOMPARE(s.dialog->directory().absolutePath(), dirB);
    s.setUse(true);
    QCOMPARE(use.count(), 0);
    s.setUse(false);
    QCOMPARE(use.count(), 1);
    QCOMPARE(use[0][0].toBool(), false);
    s.show();
    QVERIFY(!s.Use->isVisible());
    s.showUse(true);
    QVERIFY(s.Use->isVisible());
    QTest::mouseClick(s.Use, Qt::LeftButton);
    QCOMPARE(use.count(), 2);
    QCOMPARE(use[1][0].toBool(), true);
}

QTEST_MAIN(TstFileDialogs)
#include "tst_filedialogs.moc"
