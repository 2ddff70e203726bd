#include "Body.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QThread>

#include <climits>

#include "core/Elements.h"
#include "core/Globals.h"
#include "core/TiffData.h"
#include "LoadTiff.h"
#include "EOFSetup.h"
#include "SaveDataCfg.h"
#include "SelectDataFiles.h"

Body::Body(QWidget* parent)
    : QMainWindow(parent),
      darkFileDialog(QString(), nullptr),
      dispSelect(nullptr),
      shiftMap("a2d esm"),
      bgSelect(nullptr),
      bgPane(nullptr)
{
    shiftMap.init("a2d esm");
    shiftMap.clear();

    loadVictoreenTable();

    qRegisterMetaType<EX_CMD_ID>("EX_CMD_ID");
    qRegisterMetaType<LoadTiff::Request>("LoadTiff::Request");

    setupUi(this);
    mainColorBar = CBar;
    CBarAll->labelButton.setText(tr("Set All"));
    CBarAll->setText(QString());

    dispSelect.addButton(ShowData, 0);
    dispSelect.addButton(ShowI0, 1);
    dispSelect.addButton(ShowShiftMap, 2);
    dispSelect.addButton(ShowResAnalysis, 3);

    imageWidth = imageHeight = -1;
    imageOffsetX = imageOffsetY = 0;
    shiftMapOriginX = shiftMapOriginY = 0;
    cursorX = cursorY = 0;
    HCross->orientation = 0;
    VCross->orientation = 1;

    newElmSuggested();
    connect(SuggestingElm, &QLineEdit::editingFinished, this, &Body::newElmSuggested);
    connect(SuggestingEdge, QOverload<int>::of(&QComboBox::currentIndexChanged),
            this, &Body::newEdgeSuggested);

    setupBatch();
    setupDataFiles();
    setupImageView();
    setupCalib();
    setupSpectrumWindow();
    setupAnalyzer();
    setupAnalyzer2();
    setupSaveImgData();
    setupSaveProcData();
    setupDeglitch();
    setupImgProc();
    setupFourier();
    setupSumUp();
    setupErrPoints();
    setupStats();

    bgSelect.setWindowTitle(tr("BG File"));
    bgPane.setWindowTitle(tr("BG Specturm"));
    bgPane.autoRange = true;
    bgPane.ui.Normalized->setChecked(false);
    bgOn = false;
    connect(SelectBG, &QPushButton::clicked, &bgSelect, &QWidget::show);
    connect(ShowBG, &QPushButton::clicked, &bgPane, &QWidget::show);
}

Body::~Body()
{
    // A loader may still be reading: stop its thread before the images and
    // the loader go away, so nothing is delivered into a dying window.
    stopLoader(i1LoaderThread, i1Loader);
    stopLoader(i0LoaderThread, i0Loader);
    // Images already posted to this window are now stale: take them in, so
    // they are freed rather than lost with the event queue.
    ++i1Generation;
    ++i0Generation;
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);

    deleteTiffDataList(i1Images);
    deleteTiffDataList(i0Images);
    delete darkImage;
    darkImage = nullptr;
    qDeleteAll(specWindows);
    specWindows.clear();
    specWindow = nullptr;

    delete imageSaveDialog;
    delete saveDataCfg;
    delete dataSaveDialog;
    delete spectraSaveDialog;
    if (mainColorBar == CBar)
        mainColorBar = nullptr;
}

void Body::closeEvent(QCloseEvent* event)
{
    emit finishing();
    event->accept();
}

void Body::newEdgeSuggested(int)
{
    newElmSuggested();
}

void Body::newElmSuggested()
{
    const int z = atomicNumberOf(SuggestingElm->text());
    const int edge = SuggestingEdge->currentIndex();
    // Elements past the Victoreen table and "no edge chosen" have no energy:
    // the field keeps what it shows.
    if (z < 1 || z >= victoreenTableSize || edge < 0 || edge > 3)
        return;
    SuggestingEeV->setText(QString::number(edgeEnergyOf(z, edge), 'g', 6));
}

void Body::setupBatch()
{
}

void Body::startLoader(QThread*& thread, LoadTiff*& loader)
{
    thread = new QThread;
    loader = new LoadTiff;
    loader->moveToThread(thread);
}

void Body::stopLoader(QThread*& thread, LoadTiff*& loader)
{
    if (loader)
        loader->dropOlderThan(INT_MAX);
    if (thread) {
        thread->quit();
        thread->wait();
    }
    delete loader;
    loader = nullptr;
    delete thread;
    thread = nullptr;
}

// The selector's button and its three windows carry the stack's name.
static void labelSelector(SelectDataFiles* s, const QString& name)
{
    s->Select->setText(name);
    s->dataFileDialog()->setWindowTitle(name);
    s->eofSetup()->setWindowTitle(name);
    s->additionalSetup().setWindowTitle(name);
}

void Body::setupDataFiles()
{
    labelSelector(SelectI1Files, tr("I1 Data"));
    labelSelector(SelectI0Files, tr("I0 Data"));

    startLoader(i1LoaderThread, i1Loader);
    connect(this, &Body::loadI1Files, i1Loader, &LoadTiff::loadTiffs);
    connect(i1Loader, &LoadTiff::loaded, this, &Body::loadedI1);
    connect(i1Loader, &LoadTiff::finishLoadFiles, this, &Body::finishBatchExec);
    connect(i1Loader, &LoadTiff::finishLoadFiles, this, &Body::finishedLoadI1Files);
    i1LoaderThread->start(QThread::InheritPriority);

    startLoader(i0LoaderThread, i0Loader);
    connect(this, &Body::loadI0Files, i0Loader, &LoadTiff::loadTiffs);
    connect(i0Loader, &LoadTiff::loaded, this, &Body::loadedI0);
    connect(i0Loader, &LoadTiff::finishLoadFiles, this, &Body::finishBatchExec);
    connect(i0Loader, &LoadTiff::finishLoadFiles, this, &Body::finishedLoadI0Files);
    i0LoaderThread->start(QThread::InheritPriority);

    connect(SelectI1Files, &SelectDataFiles::filesSelected, this, &Body::readI1Files);
    connect(SelectI0Files, &SelectDataFiles::filesSelected, this, &Body::readI0Files);
    connect(SelectI1Files, &SelectDataFiles::clear, this, &Body::clearI1Files);
    connect(SelectI0Files, &SelectDataFiles::clear, this, &Body::clearI0Files);

    darkImage = nullptr;
    connect(SelectDark, &QPushButton::clicked, &darkFileDialog, &QWidget::show);

    i0DarkAreaSet = i1DarkAreaSet = false;
    TotalI0ofI1XAFS->setMaxSelectBW(50);
    TotalI0ofI1XAFS->setMaxClearBW(50);
    TotalI0ofI0XAFS->setMaxSelectBW(50);
    TotalI0ofI0XAFS->setMaxClearBW(50);
}

void Body::setupImageView()
{
    connect(ZoomIn, &QPushButton::clicked, dispA, &ImgDispA::setViewWAsSelectedArea);
    connect(ResetScale, &QPushButton::clicked, dispA, &ImgDispA::resetImageViewWindow);
}

void Body::setupCalib()
{
    dispA->setShowOverLayer(!ShowData->isChecked() && !ShowI0->isChecked());
}

void Body::setupSpectrumWindow()
{
    specWindow = new SpecPane(nullptr);
    specWindow->setWindowTitle(tr("Spectrum at the position"));
    specWindow->show();
    specWindows.append(specWindow);
    connect(ShowSpecPane, &QPushButton::clicked, specWindow, &QWidget::show);
}

void Body::setupAnalyzer()
{
}

void Body::setupAnalyzer2()
{
    ShowAnalyzer2->setVisible(showAnalyzer2Button);
}

void Body::setupSaveImgData()
{
    imageSaveDialog = new _FileDialog(QString(), nullptr);
    imageSaveDialog->setFileMode(QFileDialog::AnyFile);
    imageSaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    imageSaveDialog->setNameFilters({tr("Image File (*.png)"), tr("Any Files (* *.*)")});
    connect(SaveImage, &QPushButton::clicked, imageSaveDialog, &QWidget::show);

    dataSaveDialog = new _FileDialog(QString(), nullptr);
    dataSaveDialog->setFileMode(QFileDialog::AnyFile);
    dataSaveDialog->setAcceptMode(QFileDialog::AcceptSave);

    saveDataCfg = new SaveDataCfg;
    connect(SaveDataCfgB, &QPushButton::clicked, saveDataCfg, &QWidget::show);
}

void Body::setupSaveProcData()
{
    spectraSaveDialog = new _FileDialog(QString(), nullptr);
    spectraSaveDialog->setFileMode(QFileDialog::AnyFile);
    spectraSaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    spectraSaveDialog->setNameFilters({tr("XAFS Spectra (*.dat)"), tr("Any Files (* *.*)")});
    connect(SaveEachSpectrum, &QPushButton::clicked, spectraSaveDialog, &QWidget::show);
}

void Body::setupDeglitch()
{
}

void Body::setupImgProc()
{
}

void Body::setupFourier()
{
}

void Body::setupSumUp()
{
}

void Body::setupErrPoints()
{
}

void Body::setupStats()
{
}
