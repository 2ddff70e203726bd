// The I1 and I0 stacks: load requests to the loader threads, images as they
// arrive, completion, and clearing.
#include "Body.h"

#include "core/FailureLog.h"
#include "core/LogNote.h"

#include "core/TiffData.h"
#include "EOFSetup.h"
#include "LoadTiff.h"
#include "SelectDataFiles.h"
#include "SelectDataFilesAdditionalSetup.h"
#include "StackChecks.h"

#include <QDebug>
#include <QFileInfo>
#include <QStatusBar>

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

// Nothing may keep pointers into a stack about to be freed; what shows the
// other stack, and the view's frame, stay as they are.
void Body::forgetFramesOf(const QVector<TiffData*>& stack)
{
    emit framesFreeing(stack);
    if (dispA->image && stack.contains(dispA->image)) {
        dispA->setImage(nullptr);
        emit shownImageChanged(nullptr);
    }
}

void Body::clearI1Files()
{
    emit i1StackChanging();
    forgetFramesOf(i1Images);
    SelectI1Files->clearFiles();
    i1Loader->dropOlderThan(++i1Generation);
    deleteTiffDataList(i1Images);
    // Dark-area values belong to the images just freed.
    i1DarkAreaValues.clear();
}

void Body::clearI0Files()
{
    forgetFramesOf(i0Images);
    SelectI0Files->clearFiles();
    i0Loader->dropOlderThan(++i0Generation);
    deleteTiffDataList(i0Images);
    i0DarkAreaValues.clear();
}

// Checked before anything is cleared or queued: every energy source (names,
// calculation, reference list) passes here, and a refused load keeps the
// stack it would have replaced. A frame past either end of a reference list
// would take the end's energy: merged with the frame that has it, and every
// frame after it labelled with another's.
QString Body::refuseImpossibleEnergies(SelectDataFiles* selector, const QStringList& files, const QString& stackName,
                                       EX_CMD_ID answer)
{
    const EOFSetup* eof = selector->eofSetup();
    const QVector<int> read = LoadTiff::indexesRead(loadRequest(selector, files, not_ex_cmd, 0));
    QString text;
    const QString without = eof->framesWithoutRefLine(files, read);
    if (!without.isEmpty()) {
        text = tr("No frames loaded into the %1 stack: %2").arg(stackName, without);
    } else {
        const QString which = eof->impossibleEnergy(files, read);
        if (which.isEmpty()) return which;
        text = tr("No frames loaded into the %1 stack: %2; a frame's energy must be above 0 and at most %3 eV")
                   .arg(stackName, which, QString::number(EnergyOfFiles::maxEnergy, 'f', 0));
    }
    // A script's refusal is counted by its "Err:" line.
    if (answer == not_ex_cmd)
        reportFailure(text);
    else
        statusBar()->showMessage(text);
    return text;
}

QString Body::readI1Files(QStringList files, bool newFile, EX_CMD_ID answer)
{
    const QString refused = refuseImpossibleEnergies(SelectI1Files, files, QStringLiteral("I1"), answer);
    if (!refused.isEmpty()) return refused;
    emit i1StackChanging();
    if (newFile) {
        clearI1Files();
        // The first spectrum of the new stack sets the energy range.
        specWindow->autoRange = true;
        emit spectrumAutoRange(true);
    }
    emit loadI1Files(loadRequest(SelectI1Files, files, answer, i1Generation));
    return QString();
}

QString Body::readI0Files(QStringList files, bool newFile, EX_CMD_ID answer)
{
    const QString refused = refuseImpossibleEnergies(SelectI0Files, files, QStringLiteral("I0"), answer);
    if (!refused.isEmpty()) return refused;
    if (newFile)
        clearI0Files();
    emit loadI0Files(loadRequest(SelectI0Files, files, answer, i0Generation));
    return QString();
}

void Body::report(const QString& text)
{
    LogNote::say(text);
    statusBar()->showMessage(text);
}

void Body::reportFailure(const QString& text)
{
    FailureLog::note(text);
    report(text);
}

void Body::reportUnreadable(const QString& stackName, const QStringList& files, int total)
{
    reportFailure(tr("%1 of %2 files could not be read and are not in the %3 stack (first: %4)")
                      .arg(QString::number(files.size()), QString::number(total), stackName,
                           QFileInfo(files.first()).fileName()));
}

// A frame of another size would be read outside its pixels wherever the
// stack's first is larger, and give wrong spectra there. The same holds
// between the stacks: I0 is read at the I1 pixels, and where it has none
// the absorption would be taken against 0.
bool Body::acceptFrame(TiffData* data, const QVector<TiffData*>& stack, const QString& stackName,
                       const QVector<TiffData*>& other, const QString& otherName)
{
    const bool ownStack = !StackChecks::fitsStack(*data, stack);
    if (!ownStack && (other.isEmpty() || StackChecks::fitsStack(*data, other))) return true;
    const TiffData* first = ownStack ? stack.first() : other.first();
    const QString file = QFileInfo(data->file).fileName();
    const QString w = QString::number(data->width), h = QString::number(data->height);
    const QString firstW = QString::number(first->width), firstH = QString::number(first->height);
    reportFailure(ownStack ? tr("%1 is %2 x %3 pixels, the first frame of the %4 stack %5 x %6: not loaded")
                                 .arg(file, w, h, stackName, firstW, firstH)
                           : tr("%1 is %2 x %3 pixels, the frames of the %4 stack %5 x %6: not loaded into the %7 stack")
                                 .arg(file, w, h, otherName, firstW, firstH, stackName));
    delete data;
    return false;
}

// Once per load: frames whose energy is their number in the list. The
// energies were to come from the names, so every spectrum of the stack is
// against wrong energies: a failure of the load.
void Body::reportNameMisses(SelectDataFiles* selector, const QString& stackName)
{
    const EOFSetup::NameMisses m = selector->eofSetup()->takeNameMisses();
    if (m.missed == 0) return;
    reportFailure(tr("%1 of %2 files of the %3 stack have no energy in their name (pattern %4): their numbers in the list are taken as energies (first: %5)")
                      .arg(QString::number(m.missed), QString::number(m.named), stackName,
                           selector->eofSetup()->Pattern->text(), QFileInfo(m.first).fileName()));
}

void Body::checkEnergies(const QVector<TiffData*>& stack, const QString& stackName)
{
    switch (StackChecks::energies(stack)) {
    case StackChecks::Energies::Ascending:
        break;
    case StackChecks::Energies::Unordered:
        qDebug().noquote() << "Frames of the" << stackName
                           << "stack are not in energy order: spectra are built in ascending energy";
        break;
    case StackChecks::Energies::Repeated:
        report(tr("Some frames of the %1 stack share an energy: their points are averaged").arg(stackName));
        break;
    // As for names without an energy: the stack holds no spectrum, whatever
    // gave its frames the one energy (a dated folder, most often).
    case StackChecks::Energies::AllEqual:
        reportFailure(tr("All %1 frames of the %2 stack have the energy %3 eV: check how the energies of the files are given")
                   .arg(QString::number(stack.size()), stackName, QString::number(stack.first()->energy, 'g', 8)));
        break;
    case StackChecks::Energies::NotFinite:
        report(tr("Some frames of the %1 stack have no usable energy").arg(stackName));
        break;
    }
}

void Body::checkI0Coverage()
{
    const QString text = tr("The I0 stack (%1 - %2 eV) does not cover the I1 energies (%3 - %4 eV): outside its range the nearest I0 frame is used");
    double r[4];
    if ((i1Loader && i1Loader->busy) || (i0Loader && i0Loader->busy)) return;
    if (!UseI0->isChecked() || StackChecks::i0Covers(i0Images, i1Images, r)) {
        // Images of one stack may still have been on their way when the other
        // completed: a verdict on the half-loaded stack is withdrawn.
        if (statusBar()->currentMessage().startsWith(text.left(text.indexOf(QLatin1String("%1")))))
            statusBar()->clearMessage();
        return;
    }
    // Stacks of different scans: every spectrum would be divided by one I0
    // frame, which no later step can undo.
    if (StackChecks::i0Apart(i0Images, i1Images, r)) {
        reportFailure(tr("The I0 stack (%1 - %2 eV) does not overlap the I1 energies (%3 - %4 eV): the spectra "
                         "cannot be normalised by it")
                          .arg(r[0], 0, 'f', 2)
                          .arg(r[1], 0, 'f', 2)
                          .arg(r[2], 0, 'f', 2)
                          .arg(r[3], 0, 'f', 2));
        return;
    }
    // Counted where spectra are made of the two (a 2-D run, a save): a
    // script may still load the stack that matches.
    report(text.arg(r[0], 0, 'f', 2).arg(r[1], 0, 'f', 2).arg(r[2], 0, 'f', 2).arg(r[3], 0, 'f', 2));
}

void Body::loadedI1(TiffData* data, int fNo, int totalFiles, int generation)
{
    if (!data)
        return;
    if (generation != i1Generation) {
        delete data;
        return;
    }
    if (!acceptFrame(data, i1Images, QStringLiteral("I1"), i0Images, QStringLiteral("I0")))
        return;
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
    if (!acceptFrame(data, i0Images, QStringLiteral("I0"), i1Images, QStringLiteral("I1")))
        return;
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

// A stack of multi-page files looks whole but holds one page of each.
static QString multiPageNote(const QVector<TiffData*>& stack, const QString& stackName)
{
    const StackChecks::MultiPage m = StackChecks::multiPage(stack);
    if (m.frames == 0) return QString();
    return Body::tr("%1 of %2 files of the %3 stack hold several pages (first: %4, %5 pages): only the first page of each is read")
        .arg(QString::number(m.frames), QString::number(stack.size()), stackName,
             QFileInfo(m.first->file).fileName(), QString::number(m.first->pages));
}

void Body::finishedLoadI1Files()
{
    cursorX = cursorY = 0;
    // The busy flag may still have been set when the last image arrived.
    refreshI1Stack();
    showExposure(SelectI1Files, i1Images);
    updateI1DarkArea();
    checkEnergies(i1Images, QStringLiteral("I1"));
    const QString pagesNote = multiPageNote(i1Images, QStringLiteral("I1"));
    if (!pagesNote.isEmpty()) report(pagesNote);
    reportNameMisses(SelectI1Files, QStringLiteral("I1"));
    // Queued: images of the other stack that are still on their way, all sent
    // before its loader went idle, arrive first.
    if (!(i1Loader && i1Loader->busy) && !(i0Loader && i0Loader->busy))
        QMetaObject::invokeMethod(this, &Body::checkI0Coverage, Qt::QueuedConnection);
    // The first spectrum of the finished stack still sets the energy range.
    showXafsSpectrum();
    specWindow->autoRange = false;
    emit spectrumAutoRange(false);
}

void Body::finishedLoadI0Files()
{
    cursorX = cursorY = 0;
    showExposure(SelectI0Files, i0Images);
    updateI0DarkArea();
    checkEnergies(i0Images, QStringLiteral("I0"));
    const QString pagesNote = multiPageNote(i0Images, QStringLiteral("I0"));
    if (!pagesNote.isEmpty()) report(pagesNote);
    reportNameMisses(SelectI0Files, QStringLiteral("I0"));
    // Queued: images of the other stack that are still on their way, all sent
    // before its loader went idle, arrive first.
    if (!(i1Loader && i1Loader->busy) && !(i0Loader && i0Loader->busy))
        QMetaObject::invokeMethod(this, &Body::checkI0Coverage, Qt::QueuedConnection);
    showXafsSpectrum();
}
