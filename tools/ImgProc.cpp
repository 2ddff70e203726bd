#include "ImgProc.h"

#include "ImageAlign.h"

#include "core/TiffData.h"
#include "widgets/FieldWidth.h"

#include <QDebug>

static QString numberText(double v)
{
    return QString::number(v, 'g', 6);
}

ImgProc::ImgProc(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
    showNumberStarts(this);
    lastScore = NormScolarP->text().toDouble();
    // Edge and binary pictures are drawn in colour.
    CBar->imageFormat = QImage::Format_RGB888;
    CBar->paintCBar();

    connect(CBar, &ColorBar::cBarUpdating, this, &ImgProc::drawOnImage);
    connect(BinThVSlider, &QSlider::sliderMoved, this, &ImgProc::movedBinThVSlider);
    connect(BinThV, &QLineEdit::editingFinished, this, &ImgProc::setBinThV);
    connect(SetRef, &QPushButton::clicked, this, &ImgProc::setRefBin);
    connect(EdgeDetect, &QCheckBox::toggled, this, &ImgProc::toggledEdgeDetect);
    connect(BinaryImage, &QCheckBox::toggled, this, &ImgProc::toggledEdgeDetect);
    connect(Compare, &QCheckBox::toggled, this, &ImgProc::toggledEdgeDetect);
    connect(ShiftX, &QLineEdit::editingFinished, this, &ImgProc::drawOnImage);
    connect(ShiftY, &QLineEdit::editingFinished, this, &ImgProc::drawOnImage);
    connect(ShiftU, &QToolButton::clicked, this, &ImgProc::shiftBinImg);
    connect(ShiftD, &QToolButton::clicked, this, &ImgProc::shiftBinImg);
    connect(ShiftL, &QToolButton::clicked, this, &ImgProc::shiftBinImg);
    connect(ShiftR, &QToolButton::clicked, this, &ImgProc::shiftBinImg);
    connect(ShiftAuto, &QPushButton::clicked, this, &ImgProc::autoShiftBinImg);
    connect(AAutoShift, &QCheckBox::toggled, this, &ImgProc::drawOnImage);
    connect(this, &ImgProc::updateImg, this, &ImgProc::drawOnImage);
    connect(SetShift, &QPushButton::clicked, this, &ImgProc::setShift);
    connect(ClearAllShifts, &QPushButton::clicked, this, &ImgProc::clearAllShifts);
}

ImgProc::~ImgProc()
{
    // Hidden while still whole: hiding moves the focus, and a line edit's
    // editingFinished on losing it must not reach a half-destroyed panel.
    hide();
    // The view keeps a plain pointer to the picture.
    DispA->setImage(nullptr);
}

void ImgProc::newImage(TiffData* image)
{
    if (!EdgeDetect->isChecked()) {
        // A frame the owner is about to delete must not be kept even now.
        if (!image) this->image = nullptr;
        return;
    }
    this->image = image;
    if (!image) {
        width = height = 0;
        return;
    }
    width = int(image->width);
    height = int(image->height);
    edgeDetect();
}

int ImgProc::shiftXValue() const
{
    return ShiftX->text().toInt();
}

int ImgProc::shiftYValue() const
{
    return ShiftY->text().toInt();
}

void ImgProc::setShiftFields(int sx, int sy)
{
    ShiftX->setText(QString::number(sx));
    ShiftY->setText(QString::number(sy));
}

void ImgProc::thresholdFromSlider()
{
    const double t = ImageAlign::thresholdFromSlider(MinEdgeV->text().toDouble(),
                                                     MaxEdgeV->text().toDouble(), BinThVSlider->value());
    BinThV->setText(numberText(t));
}

void ImgProc::movedBinThVSlider(int)
{
    thresholdFromSlider();
    binarize();
    drawOnImage();
}

void ImgProc::newBinThV()
{
    movedBinThVSlider(BinThVSlider->value());
}

void ImgProc::setBinThV()
{
    BinThVSlider->setValue(ImageAlign::sliderFromThreshold(
        BinThV->text().toDouble(), MinEdgeV->text().toDouble(), MaxEdgeV->text().toDouble()));
    binarize();
    drawOnImage();
}

void ImgProc::setRefBin()
{
    if (!binary) {
        emit refused(tr("No reference image taken: the image processor has no image yet "
                        "(check \"Edge Detect\" with I1 images loaded)"));
        return;
    }
    refBinary = std::make_unique<BinImage>(*binary);
    refBinary->findMinMax();
    drawOnImage();
}

void ImgProc::toggledEdgeDetect(bool)
{
    emit askGiveData();
}

void ImgProc::edgeDetect()
{
    if (!image) return;
    // The frame as stored, not as its shift moves it: the fields hold the
    // whole shift, which is what "Set Shift" stores. Through the shift, a frame
    // aligned before would climb to no further move and lose its shift when
    // shown again.
    edge = std::make_unique<BinImage>(ImageAlign::edgeImage(*image, width, height, 0, 0));
    MinEdgeV->setText(numberText(edge->min));
    MaxEdgeV->setText(numberText(edge->max));
    thresholdFromSlider();
    binarize();
    drawOnImage();
}

void ImgProc::binarize()
{
    if (!image || !edge) return;
    binary = std::make_unique<BinImage>(ImageAlign::binarize(*edge, BinThV->text().toDouble()));
}

bool ImgProc::canCompare()
{
    if (!binary) {
        qDebug() << "no bin image";
        emit refused(tr("The image processor shows nothing: it has no image yet "
                        "(check \"Edge Detect\" with I1 images loaded)"));
        return false;
    }
    if (!refBinary) {
        qDebug() << "no ref bin image";
        emit refused(tr("The image processor shows nothing: it has no reference image; "
                        "press \"Set Ref.\" to take this one"));
        return false;
    }
    if (!binary->sameSize(*refBinary)) {
        qDebug() << "size mis-match";
        emit refused(tr("The image processor shows nothing: the reference image is %1 x %2 pixels, "
                        "this one %3 x %4; press \"Set Ref.\" to take this one")
                         .arg(refBinary->width)
                         .arg(refBinary->height)
                         .arg(binary->width)
                         .arg(binary->height));
        return false;
    }
    return true;
}

double ImgProc::compareBinImg() const
{
    if (!binary || !refBinary) return 0;
    return ImageAlign::compareScore(*binary, *refBinary, width, height, shiftXValue(), shiftYValue());
}

void ImgProc::autoShiftBinImg0()
{
    if (!canCompare()) return;
    // From this image's own score at the fields' shift: the last drawing's
    // may be another image's, as the perfect 1 of the reference just taken,
    // which no shift of the next frame could beat.
    const QPoint s = ImageAlign::hillClimb(*binary, *refBinary, width, height,
                                           QPoint(shiftXValue(), shiftYValue()), compareBinImg());
    setShiftFields(s.x(), s.y());
    if (ASetShift->isChecked()) setShift();
}

void ImgProc::showPicture(QImage picture)
{
    auto next = std::make_unique<QImage>(std::move(picture));
    DispA->setImage(next.get());
    dispImage = std::move(next);
    DispA->update();
    update();
}

void ImgProc::drawOnImage()
{
    if (Compare->isChecked()) {
        if (!canCompare()) return;
        if (AAutoShift->isChecked()) autoShiftBinImg0();
        ImageAlign::ScoreSums sums;
        QImage picture = ImageAlign::comparisonImage(*binary, *refBinary, width, height,
                                                     shiftXValue(), shiftYValue(), &sums);
        lastScore = sums.score();
        NormScolarP->setText(numberText(lastScore).left(6));
        showPicture(std::move(picture));
        return;
    }
    const BinImage* src = BinaryImage->isChecked() ? binary.get() : edge.get();
    if (!src) return;
    CBar->valueMin = src->min;
    CBar->valueMax = src->max;
    CBar->paintCBar();
    showPicture(ImageAlign::scaledImage(*src, width, height, *CBar));
}

void ImgProc::shiftBinImg()
{
    const QObject* s = sender();
    int sx = shiftXValue();
    int sy = shiftYValue();
    // Rows grow downwards, so up lowers y.
    if (s == ShiftU) sy = ImageAlign::addClamped(sy, -1);
    else if (s == ShiftD) sy = ImageAlign::addClamped(sy, 1);
    else if (s == ShiftR) sx = ImageAlign::addClamped(sx, 1);
    else if (s == ShiftL) sx = ImageAlign::addClamped(sx, -1);
    if (s == ShiftU || s == ShiftD) ShiftY->setText(QString::number(sy));
    if (s == ShiftL || s == ShiftR) ShiftX->setText(QString::number(sx));
    drawOnImage();
}

void ImgProc::autoShiftBinImg()
{
    autoShiftBinImg0();
    drawOnImage();
}

void ImgProc::setShift()
{
    emit imgShift(shiftXValue(), shiftYValue());
}

void ImgProc::clearAllShifts()
{
    emit askClearAllShifts();
}
