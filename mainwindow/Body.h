#ifndef BODY_H
#define BODY_H

#include <QButtonGroup>
#include <QMainWindow>
#include <QRectF>
#include <QStringList>
#include <QVector>

#include "ui_Body.h"

#include "LoadTiff.h"
#include "LazyFileDialog.h"
#include "SpecPane.h"
#include "XafsFileSelect.h"
#include "BoxSpectrum.h"
#include "core/Analyzed2DRes.h"
#include "core/ExCmdId.h"
#include "core/FFT.h"
#include "core/XafsSpectrum.h"

class QCloseEvent;
struct BodyHooks;
class QPainter;
class QThread;
class SelectDataFiles;
class SaveDataCfg;
class TiffData;

// The main window: owns the image stacks and the worker threads, builds every
// panel and wires them. Features live in their own source files (BodyLoad.cpp
// for the stacks); this file holds construction, set-up and teardown.
class Body : public QMainWindow, public Ui::Body
{
    Q_OBJECT

public:
    explicit Body(QWidget* parent = nullptr);
    ~Body() override;

    // Set-up steps of the panels of later libraries (BodyHooks.h).
    static BodyHooks& hooks();

    QThread* i1LoaderThread = nullptr;
    QThread* i0LoaderThread = nullptr;
    LoadTiff* i1Loader = nullptr;
    LoadTiff* i0Loader = nullptr;
    QVector<TiffData*> i1Images;
    QVector<TiffData*> i0Images;
    TiffData* darkImage = nullptr;
    LazyFileDialog darkFileDialog;
    SpecPane* specWindow = nullptr;
    QVector<SpecPane*> specWindows;
    QButtonGroup dispSelect;
    Analyzed2DRes shiftMap;

    int imageWidth = -1;
    int imageHeight = -1;
    int imageOffsetX = 0;
    int imageOffsetY = 0;
    int shiftMapOriginX = 0;
    int shiftMapOriginY = 0;
    int cursorX = 0;
    int cursorY = 0;

    LazyFileDialog* imageSaveDialog = nullptr;
    LazyFileDialog* dataSaveDialog = nullptr;
    SaveDataCfg* saveDataCfg = nullptr;
    LazyFileDialog* spectraSaveDialog = nullptr;

    FFT fft;
    bool bgOn = false;
    XafsFileSelect bgSelect;
    XafsSpectrum bgSpectrum;
    SpecPane bgPane;
    bool i0DarkAreaSet = false;
    bool i1DarkAreaSet = false;
    QRectF i0DarkArea;
    QRectF i1DarkArea;
    QVector<double> i0DarkAreaValues;
    QVector<double> i1DarkAreaValues;
    XafsSpectrum totalI0OfI1;
    XafsSpectrum totalI0OfI0;
    // A total-I0 spectrum is used only when its file had an I0 column.
    bool totalI0OfI1Supplied = false;
    bool totalI0OfI0Supplied = false;
    QVector<Analyzed2DRes*> referenceMaps;  // two per reference row; not owned
    bool unusableDarkExpTimeSaid = false;  // the dark exposure text was reported unusable
    QString unusableDarkExpTimeReported;

    bool statsRangeSet = false;
    double statsRangeLow = 0.0;
    double statsRangeHigh = 1.0;

    // Raised whenever a stack is emptied; images of older requests that are
    // still on their way are dropped on arrival.
    int i1Generation = 0;
    int i0Generation = 0;

    // A block-by-block analysis is under way: the cursor spectrum is not
    // handed on for analysis.
    bool analysis2DRunning = false;

signals:
    // The request carries the files, the skip / cut settings, the "Live"
    // filter, a copy of the stack's bad-pixel list and the command id.
    void loadI1Files(LoadTiff::Request request);
    void loadI0Files(LoadTiff::Request request);
    void finishing();
    void finishBatchExec(int id);
    // The I1 stack is about to be emptied or to take more images; work that
    // reads it block by block must not go on over a mix of two stacks.
    void i1StackChanging();
    // The frame the image view now shows; null when the view has let go of
    // its frame because a stack is about to be freed.
    void shownImageChanged(TiffData* image);
    // Emitted just before the frames are deleted; holders let go of them.
    void framesFreeing(const QVector<TiffData*>& frames);
    // The spectrum under the cursor, for the analysis panel; not emitted
    // while a block-by-block analysis runs.
    void cursorSpectrumMade(const XafsSpectrum& s, const SuggestElm& sElm);
    // On while a new I1 stack loads, so its first spectra set the energy
    // range of the spectrum views; off when the load completes.
    void spectrumAutoRange(bool on);

public slots:
    // Stacks (BodyLoad.cpp)
    void clearI1Files();
    void clearI0Files();
    // answer: the batch command the load answers when it is through;
    // not_ex_cmd for a user's load, which answers none. A load that would give
    // a frame an energy no scan can have, or a frame no line of its own in the
    // reference list the energies come from, is refused whole, nothing queued and
    // the stack left as it was; a user's refusal is counted as a failure, a
    // script's by its caller. The reason is returned (empty when queued).
    QString readI1Files(QStringList files, bool newFile, EX_CMD_ID answer = load_I1_files);
    QString readI0Files(QStringList files, bool newFile, EX_CMD_ID answer = load_I0_files);
    void loadedI1(TiffData* data, int fNo, int totalFiles, int generation);
    void loadedI0(TiffData* data, int fNo, int totalFiles, int generation);
    void finishedLoadI1Files();
    void finishedLoadI0Files();

    void newEdgeSuggested(int);
    void newElmSuggested();

    // Spectrum under the cursor (BodySpectrum.cpp)
    void showXafsSpectrum(double x, double y);
    void showXafsSpectrum();
    void selectedDark(QString fname);
    void clearDark();
    // The selected region becomes the stack's dark area; otherwise why it did
    // not (and the area stays as it was).
    QString setI0DarkArea();
    QString setI1DarkArea();
    void clearUpdateI0DarkArea();
    void clearUpdateI1DarkArea();
    void updateI0DarkArea();
    void updateI1DarkArea();
    void clearI0DarkArea();
    void clearI1DarkArea();
    void clearedBG();
    void selectedBG(QString fnaem);
    void newTotalI0ofI1File(QString fname);
    void newTotalI0ofI0File(QString fname);
    void clearedTotalI0ofI1();
    void clearedTotalI0ofI0();

    // Display and navigation (BodyDisplay.cpp)
    void showData(int no);
    void seekImage(int imgNo);
    void prev();
    void next();
    void sliderMoved(int idx);
    void draw(QPainter* p);
    void cBarUpdating();
    void cBarUpdated();
    void onMouseMovedInDispA();
    void dispImgSelected(bool);
    void selectedNewRef();
    void deglitch();
    void showAnalyzedVals();

    // Saving (BodySave.cpp); each returns whether everything was written
    bool saveImage(QString fname);
    bool saveImageWNum(QString fname, QString num);
    bool saveAllImages(QString fname);
    void showSaveDataDialog();
    bool saveData(QString fname);
    bool saveDataAsTiff(QString fname, int ext);
    bool saveDataAsText(QString fname, int ext);
    bool saveFlatDark();
    bool saveEachSpectrum(QString fname);
    bool saveEachNormalizedXafsSpectrum(QString fname);
    bool saveEachRawXafsSpectrum(QString fname);
    bool saveEachRawSpectrum(QString fname);

public:
    Spectrum makeXafsSpectrum(int x, int y, int dx, int dy);
    // What block spectra are built with now, read from the fields.
    BoxSpectrumConds boxSpectrumConds();
    // The half width and height of the spectrum box and of the blocks, from
    // their fields: the magnitude, 0 .. InputBounds::maxHalfWidth().
    int boxHalfWidth() const;
    int boxHalfHeight() const;
    Spectrum makeXafsSpectrumInRect(int x1, int y1, int x2, int y2);
    Spectrum makeRawSpectrum(int x, int y, int dx, int dy);
    Spectrum makeCrossSection(bool alongX, int at, int dx, int dy, bool mu);
    Spectrum makeXCrossSection(int y, int dx, int dy, bool mu);
    Spectrum makeYCrossSection(int x, int dx, int dy, bool mu);
    // Energy shift of image pixel (x, y) from the energy-shift map.
    double energyShiftAt(int x, int y);
    SuggestElm suggestElmFromUi() const;
    bool fillAnalyzeCond(AnalyzeCond& ac);
    // The result map the analysis panel designates, null when none.
    Analyzed2DRes* selectedMap() const;
    // A fault the user must see: the debug line and the status bar.
    void report(const QString& text);
    // A step that failed or was refused (a load, a save, a run): reported as
    // above and counted, so that a script run ends with a failing status.
    void reportFailure(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setupBatch();
    void setupDataFiles();
    void setupImageView();
    void setupCalib();
    void setupSpectrumWindow();
    void setupAnalyzer();
    void setupAnalyzer2();
    void setupSaveImgData();
    void setupSaveProcData();
    void setupDeglitch();
    void setupImgProc();
    void setupFourier();
    void setupSumUp();
    void setupErrPoints();
    void setupStats();

    LoadTiff::Request loadRequest(SelectDataFiles* selector, const QStringList& files,
                                  EX_CMD_ID id, int generation) const;
    void startLoader(QThread*& thread, LoadTiff*& loader);
    void stopLoader(QThread*& thread, LoadTiff*& loader);
    void refreshI1Stack();
    void forgetFramesOf(const QVector<TiffData*>& stack);
    static void showExposure(SelectDataFiles* selector, const QVector<TiffData*>& images);
    void reportUnreadable(const QString& stackName, const QStringList& files, int total);
    bool acceptFrame(TiffData* data, const QVector<TiffData*>& stack, const QString& stackName,
                     const QVector<TiffData*>& other, const QString& otherName);
    void reportNameMisses(SelectDataFiles* selector, const QString& stackName);
    void checkEnergies(const QVector<TiffData*>& stack, const QString& stackName);
    QString refuseImpossibleEnergies(SelectDataFiles* selector, const QStringList& files, const QString& stackName,
                                     EX_CMD_ID answer);
    void checkI0Coverage();

    int bgLineType() const;
    QString setDarkAreaOf(SelectDataFiles* selector, const QVector<TiffData*>& stack, const QString& stackName,
                          bool& set, QRectF& area, QVector<double>& values);
    void updateDarkArea(const QVector<TiffData*>& stack, const QString& stackName, bool& set, const QRectF& area,
                        QVector<double>& values);
    bool loadTotalI0(const QString& fname, XafsSpectrum& total, bool& supplied);
    SelectDataFiles* displayedSelector() const;
    const QVector<TiffData*>& displayedStack() const;
    TiffData* displayedImage() const;
    void rerenderDisplayed(bool wholeStack);
    void alignProfiles();
    int referenceIndex() const;
    bool saveEachSpectrumAs(int kind, const QString& fname);
};

#endif
