#include "Body.h"
#include "BodyHooks.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QStatusBar>
#include <QStyle>
#include <QThread>

#include <algorithm>

#include <climits>

#include "core/Elements.h"
#include "core/Globals.h"
#include "core/InputBounds.h"
#include "core/TiffData.h"
#include "BoundedField.h"
#include "LoadTiff.h"
#include "EOFSetup.h"
#include "SaveDataCfg.h"
#include "SelectDataFiles.h"
#include "SpecPane.h"
#include "widgets/FieldWidth.h"
#include "widgets/SelectImgDialog.h"
#include "widgets/_FileDialog.h"

Body::Body(QWidget* parent)
    : QMainWindow(parent),
      darkFileDialog(LazyFileDialog::Step(), [] { return new SelectImgDialog(QString(), nullptr); }),
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
    // The window's width does not follow what the bars show: each number's
    // widest form fits, and a region's corners take four digits each.
    reserveWidth(BoxSize, QString::asprintf("(% 4d, % 4d)-(% 4d, % 4d)", 8888, 8888, 8888, 8888));
    reserveWidth(Position, QString::asprintf("(% 4d, % 4d)", 8888, 8888));
    reserveWidth(Value, "-8.888e+08");
    reserveWidth(Value2, "-8.888e+08");
    reserveWidth(DarkValue, "-8.88888e+08");
    reserveWidth(EShiftFromStd, "-8888.88");
    reserveWidth(EShiftOnTbl, "-8888.888");
    reserveWidth(ImgNo, "8888");
    for (QLineEdit* e : {HWidth, VWidth, DarkExpTime, DPreE, DPostS, ThJumpSigma, DeGlitchFactor, DeGlitchRatio})
        reserveWidth(e, "-8888");
    reserveWidth(SuggestingEeV, "88888.8");
    DarkFileName->setMaximumWidth(DarkFileName->fontMetrics().horizontalAdvance("Cu_K_dark_100ms_0001.tif"));
    showNumberStarts(this);
    // A tool box sizes itself by none of its pages: without this its column
    // clips the buttons of the longer (translated) pages.
    int pageWidth = 0;
    for (int i = 0; i < ToolBox->count(); ++i)
        pageWidth = std::max(pageWidth, ToolBox->widget(i)->minimumSizeHint().width());
    // Each page scrolls: room for its vertical scroll bar too.
    ToolBox->setMinimumWidth(pageWidth + ToolBox->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4);
    // Made now, so the first message does not change the window's height.
    statusBar();
    mainColorBar = CBar;
    CBarAll->labelButton.setText(tr("Set All"));
    CBarAll->setText(QString());
    connect(CBar, &ColorBar::cBarUpdating, this, &Body::cBarUpdating);
    connect(CBarAll, &QPushButton::clicked, this, &Body::cBarUpdated);

    dispSelect.addButton(ShowData, 0);
    dispSelect.addButton(ShowI0, 1);
    dispSelect.addButton(ShowShiftMap, 2);
    dispSelect.addButton(ShowResAnalysis, 3);
    for (QAbstractButton* b : dispSelect.buttons())
        connect(b, &QAbstractButton::toggled, this, &Body::dispImgSelected);

    imageWidth = imageHeight = -1;
    imageOffsetX = imageOffsetY = 0;
    shiftMapOriginX = shiftMapOriginY = 0;
    cursorX = cursorY = 0;
    HCross->orientation = 0;
    VCross->orientation = 1;

    // A negative half width stands for its magnitude.
    boundField(*this, HWidth, tr("xw"), -InputBounds::maxHalfWidth(), InputBounds::maxHalfWidth());
    boundField(*this, VWidth, tr("yw"), -InputBounds::maxHalfWidth(), InputBounds::maxHalfWidth());

    newElmSuggested();
    connect(SuggestingElm, &QLineEdit::editingFinished, this, &Body::newElmSuggested);
    // Stacks loaded before I0 is put in use are judged then.
    connect(UseI0, &QCheckBox::toggled, this, [this](bool on) {
        if (on) checkI0Coverage();
    });
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
    connect(CheckVals, &QPushButton::clicked, this, &Body::showAnalyzedVals);

    bgSelect.setWindowTitle(tr("BG File"));
    bgPane.setWindowTitle(tr("BG Specturm"));
    bgPane.autoRange = true;
    bgPane.ui.Normalized->setChecked(false);
    bgOn = false;
    connect(SelectBG, &QPushButton::clicked, &bgSelect, &QWidget::show);
    connect(ShowBG, &QPushButton::clicked, &bgPane, &QWidget::show);
    connect(&bgSelect, &XafsFileSelect::newFile, this, &Body::selectedBG);
    connect(&bgSelect, &XafsFileSelect::cleared, this, &Body::clearedBG);
    connect(bgSelect.Clear, &QPushButton::clicked, &bgSelect, &XafsFileSelect::clear);

    BodyHooks::run(hooks().execBatchsInCfg, *this);
}

BodyHooks& Body::hooks()
{
    static BodyHooks h;
    return h;
}

Body::~Body()
{
    const QMap<QString, BodyHooks::Step> teardown = hooks().beforeTeardown;
    for (const BodyHooks::Step& step : teardown)
        BodyHooks::run(step, *this);
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
    BodyHooks::run(hooks().setupBatch, *this);
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
    for (SelectDataFiles* s : {SelectI1Files, SelectI0Files}) {
        const QString name = s->Select->text();
        boundField(*this, s->CutFirst, tr("%1 Cut F.").arg(name), 0, INT_MAX);
        boundField(*this, s->CutLast, tr("%1 Cut L.").arg(name), 0, INT_MAX);
        boundField(*this, s->Skip, tr("%1 Skip").arg(name), 1, INT_MAX);
    }

    startLoader(i1LoaderThread, i1Loader);
    connect(this, &Body::loadI1Files, i1Loader, &LoadTiff::loadTiffs);
    connect(i1Loader, &LoadTiff::loaded, this, &Body::loadedI1);
    // A user's load answers no batch command: a waiting script must not take it for its own.
    // The answer lets the script's next line start: it goes after the load's own messages,
    // those of the coverage check queued by the finished load included.
    const auto answerLoad = [this](EX_CMD_ID id) {
        if (id != not_ex_cmd)
            QMetaObject::invokeMethod(this, [this, id] { emit finishBatchExec(id); }, Qt::QueuedConnection);
    };
    connect(i1Loader, &LoadTiff::finishLoadFiles, this, &Body::finishedLoadI1Files);
    connect(i1Loader, &LoadTiff::finishLoadFiles, this, answerLoad);
    connect(i1Loader, &LoadTiff::unreadable, this, [this](QStringList files, int total, int generation) {
        if (generation == i1Generation) reportUnreadable(QStringLiteral("I1"), files, total);
    });
    i1LoaderThread->start(QThread::InheritPriority);

    startLoader(i0LoaderThread, i0Loader);
    connect(this, &Body::loadI0Files, i0Loader, &LoadTiff::loadTiffs);
    connect(i0Loader, &LoadTiff::loaded, this, &Body::loadedI0);
    connect(i0Loader, &LoadTiff::finishLoadFiles, this, &Body::finishedLoadI0Files);
    connect(i0Loader, &LoadTiff::finishLoadFiles, this, answerLoad);
    connect(i0Loader, &LoadTiff::unreadable, this, [this](QStringList files, int total, int generation) {
        if (generation == i0Generation) reportUnreadable(QStringLiteral("I0"), files, total);
    });
    i0LoaderThread->start(QThread::InheritPriority);

    connect(SelectI1Files, &SelectDataFiles::filesSelected, this,
            [this](const QStringList& files, bool newFile) { readI1Files(files, newFile, not_ex_cmd); });
    connect(SelectI0Files, &SelectDataFiles::filesSelected, this,
            [this](const QStringList& files, bool newFile) { readI0Files(files, newFile, not_ex_cmd); });
    connect(SelectI1Files, &SelectDataFiles::clear, this, &Body::clearI1Files);
    connect(SelectI0Files, &SelectDataFiles::clear, this, &Body::clearI0Files);

    darkImage = nullptr;
    connect(SelectDark, &QPushButton::clicked, &darkFileDialog, &LazyFileDialog::show);
    connect(ClearDark, &QPushButton::clicked, this, &Body::clearDark);
    connect(&darkFileDialog, &LazyFileDialog::fileSelected, this, &Body::selectedDark);
    connect(SelectI1Files, &SelectDataFiles::currentIndexChanged, this, &Body::showData);
    connect(SelectI1Files, &SelectDataFiles::setDarkArea, this, &Body::setI1DarkArea);
    connect(SelectI1Files, &SelectDataFiles::updateDarkArea, this, &Body::clearUpdateI1DarkArea);
    connect(SelectI1Files, &SelectDataFiles::clearDarkArea, this, &Body::clearI1DarkArea);
    connect(SelectI0Files, &SelectDataFiles::setDarkArea, this, &Body::setI0DarkArea);
    connect(SelectI0Files, &SelectDataFiles::updateDarkArea, this, &Body::clearUpdateI0DarkArea);
    connect(SelectI0Files, &SelectDataFiles::clearDarkArea, this, &Body::clearI0DarkArea);

    i0DarkAreaSet = i1DarkAreaSet = false;
    TotalI0ofI1XAFS->setMaxSelectBW(50);
    TotalI0ofI1XAFS->setMaxClearBW(50);
    TotalI0ofI0XAFS->setMaxSelectBW(50);
    TotalI0ofI0XAFS->setMaxClearBW(50);
    connect(TotalI0ofI1XAFS, &XafsFileSelect::newFile, this, &Body::newTotalI0ofI1File);
    connect(TotalI0ofI0XAFS, &XafsFileSelect::newFile, this, &Body::newTotalI0ofI0File);
    connect(TotalI0ofI1XAFS, &XafsFileSelect::cleared, this, &Body::clearedTotalI0ofI1);
    connect(TotalI0ofI0XAFS, &XafsFileSelect::cleared, this, &Body::clearedTotalI0ofI0);
    connect(TotalI0ofI1XAFS->Clear, &QPushButton::clicked, TotalI0ofI1XAFS, &XafsFileSelect::clear);
    connect(TotalI0ofI0XAFS->Clear, &QPushButton::clicked, TotalI0ofI0XAFS, &XafsFileSelect::clear);
}

void Body::setupImageView()
{
    connect(ZoomIn, &QPushButton::clicked, dispA, &ImgDispA::setViewWAsSelectedArea);
    connect(ResetScale, &QPushButton::clicked, dispA, &ImgDispA::resetImageViewWindow);
    connect(Prev, &QToolButton::clicked, this, &Body::prev);
    connect(Next, &QToolButton::clicked, this, &Body::next);
    connect(SeekBar, &QSlider::sliderMoved, this, &Body::sliderMoved);
    connect(dispA, &ImgDispA::mouseMoved, this, QOverload<double, double>::of(&Body::showXafsSpectrum));
    connect(dispA, &DispA::drawImage2, this, &Body::draw);
    connect(dispA, &DispA::mouseMoved0, this, &Body::onMouseMovedInDispA);
}

void Body::setupCalib()
{
    dispA->setShowOverLayer(!ShowData->isChecked() && !ShowI0->isChecked());
    BodyHooks::run(hooks().setupCalib, *this);
}

void Body::setupSpectrumWindow()
{
    specWindow = new SpecPane(nullptr);
    specWindow->setWindowTitle(tr("Spectrum at the position"));
    specWindow->show();
    specWindows.append(specWindow);
    connect(ShowSpecPane, &QPushButton::clicked, specWindow, &QWidget::show);
    connect(specWindow, &SpecPane::reported, this, &Body::report);
}

void Body::setupAnalyzer()
{
    BodyHooks::run(hooks().setupAnalyzer, *this);
}

void Body::setupAnalyzer2()
{
    ShowAnalyzer2->setVisible(showAnalyzer2Button);
    BodyHooks::run(hooks().setupAnalyzer2, *this);
}

void Body::setupSaveImgData()
{
    const auto saving = [](_FileDialog& d) {
        d.setFileMode(QFileDialog::AnyFile);
        d.setAcceptMode(QFileDialog::AcceptSave);
    };
    imageSaveDialog = new LazyFileDialog(saving);
    imageSaveDialog->setNameFilters({tr("Image File (*.png)"), tr("Any Files (* *.*)")});
    connect(SaveImage, &QPushButton::clicked, imageSaveDialog, &LazyFileDialog::show);
    connect(imageSaveDialog, &LazyFileDialog::fileSelected, this, &Body::saveImage);

    dataSaveDialog = new LazyFileDialog(saving);
    connect(dataSaveDialog, &LazyFileDialog::fileSelected, this, &Body::saveData);
    connect(SaveData, &QPushButton::clicked, this, &Body::showSaveDataDialog);
    connect(SaveFlatDark, &QPushButton::clicked, this, &Body::saveFlatDark);

    saveDataCfg = new SaveDataCfg;
    connect(SaveDataCfgB, &QPushButton::clicked, saveDataCfg, &QWidget::show);
}

void Body::setupSaveProcData()
{
    spectraSaveDialog = new LazyFileDialog([](_FileDialog& d) {
        d.setFileMode(QFileDialog::AnyFile);
        d.setAcceptMode(QFileDialog::AcceptSave);
    });
    spectraSaveDialog->setNameFilters({tr("XAFS Spectra (*.dat)"), tr("Any Files (* *.*)")});
    connect(SaveEachSpectrum, &QPushButton::clicked, spectraSaveDialog, &LazyFileDialog::show);
    connect(spectraSaveDialog, &LazyFileDialog::fileSelected, this, &Body::saveEachSpectrum);
}

void Body::setupDeglitch()
{
    connect(DeGlitch, &QPushButton::clicked, this, &Body::deglitch);
}

void Body::setupImgProc()
{
    BodyHooks::run(hooks().setupImgProc, *this);
}

void Body::setupFourier()
{
    BodyHooks::run(hooks().setupFourier, *this);
}

void Body::setupSumUp()
{
    BodyHooks::run(hooks().setupSumUp, *this);
}

void Body::setupErrPoints()
{
    BodyHooks::run(hooks().setupErrPoints, *this);
}

void Body::setupStats()
{
    BodyHooks::run(hooks().setupStats, *this);
}
