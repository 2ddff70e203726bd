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

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <vector>

int Body::referenceIndex() const
{
    // The first reference row shown in the analysis panel; 0 without it.
    const BodyHooks& h = hooks();
    return h.referenceIndex ? h.referenceIndex(*this) : 0;
}

bool Body::reportUnsaved(bool ok, const QString& fname)
{
    if (ok) return true;
    const QFileInfo f(fname);
    if (!f.absoluteDir().exists())
        report(tr("Not saved: the folder %1 does not exist").arg(QDir::toNativeSeparators(f.absolutePath())));
    else
        report(tr("%1 could not be saved").arg(QDir::toNativeSeparators(f.absoluteFilePath())));
    return false;
}

bool Body::saveImage(QString fname)
{
    const bool ok = SafeSave::image(dispA->viewedImage(), fname)
                    && SafeSave::image(CBar->barPixmap.toImage(), fileNameWithTag(fname, "cBar"));
    return reportUnsaved(ok, fname);
}

bool Body::saveImageWNum(QString fname, QString num)
{
    return saveImage(fileNameWithTag(fname, num));
}

bool Body::saveAllImages(QString fname)
{
    bool ok = true;
    const BodyHooks& h = hooks();
    if (h.referenceMaps) referenceMaps = h.referenceMaps(*this);
    const int rows = referenceMaps.size() / 2;
    for (int k = 0; k < 2; ++k) {
        for (int r = 0; r < rows; ++r) {
            Analyzed2DRes* map = referenceMaps[2 * r + k];
            if (!map || !map->hasImage || !map->image) continue;
            ok = SafeSave::image(*map->image, fileNameWithTag(fname, QString("%1-%2").arg(r).arg(k))) && ok;
        }
    }
    return reportUnsaved(ok, fname);
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
    if (saveDataCfg->SaveAsTiff->isChecked()) {
        qDebug() << "selected tiff";
        const bool ok = saveDataAsTiff(fname, ext)
                        && SafeSave::image(CBar->barPixmap.toImage(),
                                           fileNameWithTag(fileNameWithTag(fname, QString::number(ext)), "-cBar"));
        return selectedMap() ? reportUnsaved(ok, fname) : ok;
    }
    qDebug() << "selected text";
    const bool ok = saveDataAsText(fname, ext);
    return selectedMap() ? reportUnsaved(ok, fname) : ok;
}

bool Body::saveDataAsText(QString fname, int ext)
{
    Analyzed2DRes* map = selectedMap();
    if (!map) {
        qDebug() << "No map selected: nothing saved";
        return false;
    }
    return SafeSave::mapAsText(*map, SafeSave::numberedName(fname, ext, "dat"),
                               saveDataCfg->TiffAsAnalyzed->isChecked(),
                               saveDataCfg->DataCommaSeparated->isChecked(),
                               saveDataCfg->DataXYVal->isChecked());
}

bool Body::saveDataAsTiff(QString fname, int ext)
{
    qDebug() << "saveDataAsTiff";
    Analyzed2DRes* map = selectedMap();
    if (!map) {
        qDebug() << "No map selected: nothing saved";
        return false;
    }
    return SafeSave::mapAsTiff(*map, SafeSave::numberedName(fname, ext, "tif"),
                               saveDataCfg->TiffFixedScale->isChecked(),
                               saveDataCfg->TiffScaleMin->text().toDouble(),
                               saveDataCfg->TiffScaleMax->text().toDouble(),
                               saveDataCfg->TiffAsAnalyzed->isChecked());
}

bool Body::saveFlatDark()
{
    if (i1Images.isEmpty() || imageWidth < 1 || imageHeight < 1) {
        qDebug() << "No image loaded: flat.dat and dark.dat not written";
        return false;
    }
    std::vector<uint16_t> samples(size_t(imageWidth) * size_t(imageHeight), 1);
    const bool flat = SafeSave::tiff16("flat.dat", uint32_t(imageWidth), imageHeight, samples.data());
    std::fill(samples.begin(), samples.end(), 0);
    const bool dark = SafeSave::tiff16("dark.dat", uint32_t(imageWidth), imageHeight, samples.data());
    return flat && dark;
}

bool Body::fillAnalyzeCond(AnalyzeCond& ac)
{
    if (i1Images.isEmpty()) return false;
    const QRectF area = dispA->areaValid ? dispA->selectedArea : dispA->viewWindow;
    ac.set(int(i1Images[0]->width), int(i1Images[0]->height), HWidth->text().toInt(),
           VWidth->text().toInt(), area, -1, -1);
    return true;
}

bool Body::saveEachSpectrum(QString fname)
{
    bool ok = true;
    if (SaveAsNormalizedXAFS->isChecked()) ok = saveEachNormalizedXafsSpectrum(fname) && ok;
    if (SaveAsRawXAFS->isChecked()) ok = saveEachRawXafsSpectrum(fname) && ok;
    if (SaveAsRaw->isChecked()) ok = saveEachRawSpectrum(fname) && ok;
    return i1Images.isEmpty() ? ok : reportUnsaved(ok, fname);
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
    return PerPointSpectra::write(
        fileNameWithSuffix(fname, "dat"), PerPointSpectra::Kind(kind), grid, [&](int x, int y) {
            PerPointSpectra::Block b;
            const int dx = HWidth->text().toInt();
            const int dy = VWidth->text().toInt();
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
        });
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
