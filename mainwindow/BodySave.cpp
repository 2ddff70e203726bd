// Saving what the user sees: the viewed image with its colour bar, result
// maps as 16-bit TIFF or text, the constant masks and per-point spectra.
// Every saver writes a whole file or none and returns whether it did.

#include "Body.h"
#include "BodyHooks.h"

#include "PerPointSpectra.h"
#include "SafeSave.h"
#include "SaveDataCfg.h"

#include "core/Globals.h"
#include "core/TiffData.h"
#include "widgets/ColorBar.h"
#include "widgets/ImgDispA.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <vector>

int Body::referenceIndex() const
{
    // The first reference row shown in the analysis panel; 0 without it.
    const BodyHooks& h = hooks();
    return h.referenceIndex ? h.referenceIndex(*this) : 0;
}

namespace {

using Saved = SafeWrite::Outcome;

// The status bar names the files written, or the file that failed and why.
// A failed file was counted in the failure log by the safe save already, so
// it is reported, not counted again.
bool finish(Body& b, const Saved& s)
{
    const QString text = s.text();
    if (!text.isEmpty()) b.report(text);
    return s.ok();
}

// The colour bar of a value range, drawn now: the bar widget's own pixmap
// shows the range of the view's last repaint, which may be another map's.
QImage barFor(Body& b, double lo, double hi)
{
    return b.CBar->renderBar(lo, hi).toImage();
}

QImage barOfMap(Body& b, const Analyzed2DRes& map)
{
    return barFor(b, map.activeMin(), map.activeMax());
}

// The bar of what the view shows, with the range its next repaint gives it.
QImage barOfView(Body& b)
{
    const ImgDispA* v = b.dispA;
    if (v->showOverlay && v->overlayMap) return barOfMap(b, *v->overlayMap);
    if (!v->showOverlay && v->image) return barFor(b, v->image->min, v->image->max);
    return b.CBar->barPixmap.toImage();
}

bool writeMapTiff(Body& b, Analyzed2DRes& map, const QString& fname, int ext, Saved& s)
{
    const QString path = SafeSave::numberedName(fname, ext, "tif");
    QString why;
    SafeSave::mapAsTiff(map, path, b.saveDataCfg->TiffFixedScale->isChecked(),
                        b.saveDataCfg->TiffScaleMin->text().toDouble(), b.saveDataCfg->TiffScaleMax->text().toDouble(),
                        b.saveDataCfg->TiffAsAnalyzed->isChecked(), &why);
    return s.add(path, why);
}

bool writeMapText(Body& b, Analyzed2DRes& map, const QString& fname, int ext, Saved& s)
{
    const QString path = SafeSave::numberedName(fname, ext, "dat");
    QString why;
    SafeSave::mapAsText(map, path, b.saveDataCfg->TiffAsAnalyzed->isChecked(),
                        b.saveDataCfg->DataCommaSeparated->isChecked(), b.saveDataCfg->DataXYVal->isChecked(), &why);
    return s.add(path, why);
}

}  // namespace

bool Body::saveImage(QString fname)
{
    Saved s;
    QString why;
    const QString bar = fileNameWithTag(fname, "cBar", SafeWrite::imageSuffixes());
    SafeSave::image(dispA->viewedImage(), fname, &why);
    if (s.add(fname, why)) {
        SafeSave::image(barOfView(*this), bar, &why);
        s.add(bar, why);
    }
    return finish(*this, s);
}

// The number goes before the suffix: a name without an image suffix would
// have the number taken for one ("all_0.5" gave "5-0-0").
static bool hasImageSuffix(Body& b, const QString& fname)
{
    if (!knownSuffix(fname, SafeWrite::imageSuffixes()).isEmpty()) return true;
    b.reportFailure(Body::tr("%1 has no image suffix (.png, .tif, …): nothing saved")
                        .arg(QDir::toNativeSeparators(QFileInfo(fname).absoluteFilePath())));
    return false;
}

bool Body::saveImageWNum(QString fname, QString num)
{
    if (!hasImageSuffix(*this, fname)) return false;
    return saveImage(fileNameWithTag(fname, num, SafeWrite::imageSuffixes()));
}

bool Body::saveAllImages(QString fname)
{
    if (!hasImageSuffix(*this, fname)) return false;
    Saved s;
    const BodyHooks& h = hooks();
    if (h.referenceMaps) referenceMaps = h.referenceMaps(*this);
    const int rows = referenceMaps.size() / 2;
    for (int k = 0; k < 2; ++k) {
        for (int r = 0; r < rows; ++r) {
            Analyzed2DRes* map = referenceMaps[2 * r + k];
            if (!map || !map->hasImage || !map->image) continue;
            const QString path = fileNameWithTag(fname, QString("%1-%2").arg(r).arg(k), SafeWrite::imageSuffixes());
            QString why;
            SafeSave::image(*map->image, path, &why);
            s.add(path, why);
        }
    }
    // Nothing written is no save: a script must not go on as if the maps were there.
    if (s.files.isEmpty() && s.failedFile.isEmpty()) {
        reportFailure(tr("No reference map has an image (no reference row in use, or no 2-D run since): %1 not saved")
                          .arg(QDir::toNativeSeparators(QFileInfo(fname).absoluteFilePath())));
        return false;
    }
    return finish(*this, s);
}

void Body::showSaveDataDialog()
{
    if (saveDataCfg->SaveAsTiff->isChecked())
        dataSaveDialog->setNameFilters({tr("Tiff File (*.tif)"), tr("Any Files (* *.*)")});
    else
        dataSaveDialog->setNameFilters({tr("Data File (*.dat)"), tr("Any Files (* *.*)")});
    dataSaveDialog->show();
}

bool Body::saveData(QString fname)
{
    const int ext = referenceIndex();
    const bool tiff = saveDataCfg->SaveAsTiff->isChecked();
    qDebug() << (tiff ? "selected tiff" : "selected text");
    if (tiff) qDebug() << "saveDataAsTiff";
    Analyzed2DRes* map = selectedMap();
    if (!map) {
        reportFailure(tr("No map selected: %1 not saved").arg(QDir::toNativeSeparators(QFileInfo(fname).absoluteFilePath())));
        return false;
    }
    Saved s;
    if (!tiff) {
        writeMapText(*this, *map, fname, ext, s);
        return finish(*this, s);
    }
    // The bar beside the map is the map's own, whatever the view showed last.
    if (writeMapTiff(*this, *map, fname, ext, s)) {
        // The map is a .tif whatever the name; a bar named without a suffix
        // would have no image format.
        const QString suffix = knownSuffix(fname, SafeSave::mapSuffixes());
        const QString bar = QString("%1-%2--cBar.%3")
                                .arg(nameLessSuffix(fname, SafeSave::mapSuffixes()), QString::number(ext),
                                     suffix.isEmpty() ? QStringLiteral("tif") : suffix);
        QString why;
        SafeSave::image(barOfMap(*this, *map), bar, &why);
        s.add(bar, why);
    }
    return finish(*this, s);
}

bool Body::saveDataAsText(QString fname, int ext)
{
    Analyzed2DRes* map = selectedMap();
    if (!map) {
        reportFailure(tr("No map selected: %1 not saved").arg(QDir::toNativeSeparators(QFileInfo(fname).absoluteFilePath())));
        return false;
    }
    Saved s;
    writeMapText(*this, *map, fname, ext, s);
    return finish(*this, s);
}

bool Body::saveDataAsTiff(QString fname, int ext)
{
    qDebug() << "saveDataAsTiff";
    Analyzed2DRes* map = selectedMap();
    if (!map) {
        reportFailure(tr("No map selected: %1 not saved").arg(QDir::toNativeSeparators(QFileInfo(fname).absoluteFilePath())));
        return false;
    }
    Saved s;
    writeMapTiff(*this, *map, fname, ext, s);
    return finish(*this, s);
}

bool Body::saveFlatDark()
{
    if (i1Images.isEmpty() || imageWidth < 1 || imageHeight < 1) {
        qDebug() << "No image loaded: flat.dat and dark.dat not written";
        return false;
    }
    Saved s;
    QString why;
    std::vector<uint16_t> samples(size_t(imageWidth) * size_t(imageHeight), 1);
    SafeSave::tiff16("flat.dat", uint32_t(imageWidth), imageHeight, samples.data(), &why);
    s.add("flat.dat", why);
    std::fill(samples.begin(), samples.end(), 0);
    QString darkWhy;
    SafeSave::tiff16("dark.dat", uint32_t(imageWidth), imageHeight, samples.data(), &darkWhy);
    s.add("dark.dat", darkWhy);
    return finish(*this, s);
}

bool Body::fillAnalyzeCond(AnalyzeCond& ac)
{
    if (i1Images.isEmpty()) return false;
    const QRectF area = dispA->areaValid ? dispA->selectedArea : dispA->viewWindow;
    ac.set(int(i1Images[0]->width), int(i1Images[0]->height), boxHalfWidth(), boxHalfHeight(), area, -1, -1);
    return true;
}

bool Body::saveEachSpectrum(QString fname)
{
    bool ok = true;
    if (SaveAsNormalizedXAFS->isChecked()) ok = saveEachNormalizedXafsSpectrum(fname) && ok;
    if (SaveAsRawXAFS->isChecked()) ok = saveEachRawXafsSpectrum(fname) && ok;
    if (SaveAsRaw->isChecked()) ok = saveEachRawSpectrum(fname) && ok;
    return ok;
}

bool Body::saveEachSpectrumAs(int kind, const QString& fname)
{
    AnalyzeCond grid;
    if (!fillAnalyzeCond(grid)) {
        qDebug() << "No images: no spectra written";
        return false;
    }
    const SuggestElm sElm = suggestElmFromUi();
    const int lineType = bgLineType();
    const QString path = fileNameWithSuffix(fname, "dat");
    Saved s;
    QString why;
    const bool ok = PerPointSpectra::write(
        path, PerPointSpectra::Kind(kind), grid, [&](int x, int y) {
            PerPointSpectra::Block b;
            const int dx = boxHalfWidth();
            const int dy = boxHalfHeight();
            if (kind == PerPointSpectra::Raw) {
                const Spectrum s = makeRawSpectrum(x, y, dx, dy);
                for (int i = 0; i < s.size(); ++i) b.points.append(QPointF(s.xAt(i), s.yAt(i)));
                return b;
            }
            b.shift = energyShiftAt(x, y);
            const Spectrum s = makeXafsSpectrum(x, y, dx, dy);
            if (kind == PerPointSpectra::RawXafs) {
                for (int i = 0; i < s.size(); ++i) b.points.append(QPointF(s.xAt(i), s.yAt(i)));
                return b;
            }
            const XafsSpectrum xs(s, QStringLiteral("Body-SaveEach"), lineType, b.shift, sElm);
            for (int i = 0; i < xs.size(); ++i)
                b.points.append(QPointF(xs.xAt(i), xs.doubleNormalizedPostBaseCurve.yAt(i)));
            return b;
        },
        &why);
    s.add(path, ok ? QString() : why);
    return finish(*this, s);
}

bool Body::saveEachNormalizedXafsSpectrum(QString fname)
{
    return saveEachSpectrumAs(PerPointSpectra::NormalizedXafs, fname);
}

bool Body::saveEachRawXafsSpectrum(QString fname)
{
    return saveEachSpectrumAs(PerPointSpectra::RawXafs, fname);
}

bool Body::saveEachRawSpectrum(QString fname)
{
    return saveEachSpectrumAs(PerPointSpectra::Raw, fname);
}
