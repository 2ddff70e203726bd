// The I1 and I0 stacks: load requests to the loader threads, images as they
// arrive, completion, and clearing.
#include "Body.h"

#include "core/TiffData.h"
#include "LoadTiff.h"
#include "SelectDataFiles.h"
#include "SelectDataFilesAdditionalSetup.h"

// Text that does not parse reads as 0; skip is at least 1, cuts at least 0.
LoadTiff::Request Body::loadRequest(SelectDataFiles* s, const QStringList& files, EX_CMD_ID id,
                                    int generation) const
{
    LoadTiff::Request r;
    r.files = files;
    r.cutLast = qMax(0, s->CutLast->text().toInt(nullptr, 10));
    r.cutFirst = qMax(0, s->CutFirst->text().toInt(nullptr, 10));
    r.skip = qMax(1, s->Skip->text().toInt(nullptr, 10));
    r.ignoreLive = s->additionalSetup().IgnoreLiveFiles->isChecked();
    r.errPs = s->additionalSetup().errPoints();
    r.id = id;
    r.generation = generation;
    return r;
}

// The view must not keep pointers into a stack that is about to be freed.
void Body::forgetViewImages()
{
    dispA->image = nullptr;
    dispA->baseImage = nullptr;
    dispA->overlayMap = nullptr;
    dispA->update();
    emit shownImageChanged(nullptr);
}

void Body::clearI1Files()
{
    emit i1StackChanging();
    forgetViewImages();
    SelectI1Files->clearFiles();
    i1Loader->dropOlderThan(++i1Generation);
    deleteTiffDataList(i1Images);
    // Dark-area values belong to the images just freed.
    i1DarkAreaValues.clear();
}

void Body::clearI0Files()
{
    forgetViewImages();
    SelectI0Files->clearFiles();
    i0Loader->dropOlderThan(++i0Generation);
    deleteTiffDataList(i0Images);
    i0DarkAreaValues.clear();
}

void Body::readI1Files(QStringList files, bool newFile, EX_CMD_ID answer)
{
    emit i1StackChanging();
    if (newFile) {
        clearI1Files();
        // The first spectrum of the new stack sets the energy range.
        specWindow->autoRange = true;
    }
    emit loadI1Files(loadRequest(SelectI1Files, files, answer, i1Generation));
}

void Body::readI0Files(QStringList files, bool newFile, EX_CMD_ID answer)
{
    if (newFile)
        clearI0Files();
    emit loadI0Files(loadRequest(SelectI0Files, files, answer, i0Generation));
}

void Body::loadedI1(TiffData* data, int fNo, int totalFiles, int generation)
{
    if (!data)
        return;
    if (generation != i1Generation) {
        delete data;
        return;
    }
    data->cBar = mainColorBar;
    data->energy = SelectI1Files->addFile(data->file, fNo, totalFiles);
    i1Images.append(data);
    if (i1Loader->busy && !SelectI1Files->additionalSetup().ShowLatest->isChecked())
        return;
    refreshI1Stack();
    showXafsSpectrum();
}

void Body::loadedI0(TiffData* data, int fNo, int totalFiles, int generation)
{
    if (!data)
        return;
    if (generation != i0Generation) {
        delete data;
        return;
    }
    data->cBar = mainColorBar;
    data->energy = SelectI0Files->addFile(data->file, fNo, totalFiles);
    i0Images.append(data);
    if (i0Loader->busy && !SelectI0Files->additionalSetup().ShowLatest->isChecked())
        return;
    showXafsSpectrum();
}

// Image size and origin come from the first image; the slider and the file
// list follow the newest one.
void Body::refreshI1Stack()
{
    if (i1Images.isEmpty())
        return;
    const TiffData* first = i1Images.first();
    imageWidth = int(first->width);
    imageHeight = int(first->height);
    imageOffsetX = first->hdrX;
    imageOffsetY = first->hdrY;
    SeekBar->setMaximum(i1Images.size() - 1);
    SelectI1Files->Selected->setCurrentIndex(SelectI1Files->Selected->count() - 1);
}

void Body::showExposure(SelectDataFiles* selector, const QVector<TiffData*>& images)
{
    if (images.isEmpty())
        return;
    const double first = images.first()->exposureMs;
    bool same = true;
    for (const TiffData* t : images)
        same = same && t->exposureMs == first;
    selector->setExpTimeMS(first, same);
}

void Body::finishedLoadI1Files()
{
    cursorX = cursorY = 0;
    // The busy flag may still have been set when the last image arrived.
    refreshI1Stack();
    showExposure(SelectI1Files, i1Images);
    updateI1DarkArea();
    // The first spectrum of the finished stack still sets the energy range.
    showXafsSpectrum();
    specWindow->autoRange = false;
}

void Body::finishedLoadI0Files()
{
    cursorX = cursorY = 0;
    showExposure(SelectI0Files, i0Images);
    updateI0DarkArea();
    showXafsSpectrum();
}
