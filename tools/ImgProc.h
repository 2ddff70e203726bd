#ifndef IMGPROC_H
#define IMGPROC_H

#include "BinImage.h"
#include "ui_ImgProc.h"

#include <QFrame>
#include <QImage>

#include <memory>

class TiffData;

// Lines the I1 images up by their edges: the edge image of the frame it is
// given, its binary image at a threshold, and the overlap of that binary image,
// moved by (ShiftX, ShiftY), with a reference frozen from an earlier one. The
// chosen shift goes to the owner through imgShift(); the owner hands frames in
// through newImage() (also when askGiveData() asks for one).
class ImgProc : public QFrame, public Ui_ImgProc
{
    Q_OBJECT

public:
    explicit ImgProc(QWidget* parent = nullptr);
    ~ImgProc() override;

    // Taken only while EdgeDetect is checked. The frame is not owned; the
    // owner passes none before deleting the frame it last gave.
    void newImage(TiffData* image);
    // Score of the binary image at the fields' shift against the reference.
    double compareBinImg() const;

    std::unique_ptr<QImage> dispImage;
    int width = 0;
    int height = 0;
    TiffData* image = nullptr;
    std::unique_ptr<BinImage> edge;
    std::unique_ptr<BinImage> binary;
    std::unique_ptr<BinImage> refBinary;
    double lastScore = 0;

signals:
    void askGiveData();
    void askClearAllShifts();
    void updateImg();
    void imgShift(int sx, int sy);
    // Why nothing is drawn or taken, for the user.
    void refused(const QString& why);

public slots:
    void movedBinThVSlider(int);
    void newBinThV();
    void setBinThV();
    void setRefBin();
    void toggledEdgeDetect(bool f);
    void edgeDetect();
    void binarize();
    void drawOnImage();
    void autoShiftBinImg0();
    void shiftBinImg();
    void autoShiftBinImg();
    void setShift();
    void clearAllShifts();

private:
    // The checks shared by the climb and the comparison drawing; says why
    // not when they fail.
    bool canCompare();
    int shiftXValue() const;
    int shiftYValue() const;
    void setShiftFields(int sx, int sy);
    void thresholdFromSlider();
    void showPicture(QImage picture);
};

#endif
