#include "Globals.h"

#include "ColorScale.h"
#include "Spectrum.h"

#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QPoint>
#include <QSettings>
#include <QSize>
#include <QWidget>

#include <climits>
#include <new>

QString DataRoot;
QString BatchRoot;
bool showAnalyzer2Button = false;
const int displayImageFormat = QImage::Format_Grayscale8;
QVector<QColor> lineColors;
unsigned char* greyLUT = nullptr;
unsigned char* colorLUT = nullptr;
void (*initBatchCmdTablesHook)() = nullptr;

static const int greyEntries = 256;
static const int colorEntriesUsed = 767;
static const int colorEntriesAllocated = 768;

void initGlobals()
{
    BatchRoot = QStringLiteral("C:/Data");
    DataRoot = QStringLiteral("C:/Data");
    showAnalyzer2Button = false;
    initColorTables();
    if (initBatchCmdTablesHook) initBatchCmdTablesHook();
}

void initColorTables()
{
    // Rebuilt from scratch so a second call cannot double the list.
    lineColors.clear();
    lineColors << QColor(255, 0, 0) << QColor(0, 255, 0) << QColor(0, 0, 255)
               << QColor(255, 200, 0) << QColor(255, 0, 200) << QColor(200, 255, 0)
               << QColor(200, 0, 255) << QColor(0, 255, 200) << QColor(0, 200, 255);

    mainColorBar = nullptr;

    if (!greyLUT) greyLUT = new unsigned char[greyEntries];
    for (int i = 0; i < greyEntries; i++) greyLUT[i] = static_cast<unsigned char>(i);

    // black -> red -> yellow -> white
    if (!colorLUT) colorLUT = new unsigned char[colorEntriesAllocated * 3]();
    for (int i = 0; i < colorEntriesUsed; i++) {
        int r = 255, g = 255, b = 255;
        if (i <= 255) {
            r = i; g = 0; b = 0;
        } else if (i <= 510) {
            g = i - 255; b = 0;
        } else if (i <= 765) {
            b = i - 510;
        }
        colorLUT[3 * i] = static_cast<unsigned char>(r);
        colorLUT[3 * i + 1] = static_cast<unsigned char>(g);
        colorLUT[3 * i + 2] = static_cast<unsigned char>(b);
    }
}

// Scales v to a table index in double so NaN and huge values never reach an
// int conversion; NaN goes to the bottom of the table.
static int tableIndex(double v, double scale, int last)
{
    const double t = v * scale;
    if (!(t > 0)) return 0;
    if (t >= last) return last;
    return static_cast<int>(t);
}

static int clampIndex(int i, int last)
{
    return i < 0 ? 0 : (i > last ? last : i);
}

const unsigned char* grayPixel(double v)
{
    return greyLUT + tableIndex(v, 256, greyEntries - 1);
}

const unsigned char* colorPixel(double v)
{
    return colorLUT + 3 * tableIndex(v, 766, colorEntriesUsed - 1);
}

const unsigned char* grayPixelOf(int i)
{
    return greyLUT + clampIndex(i, greyEntries - 1);
}

const unsigned char* colorPixelOf(int i)
{
    return colorLUT + 3 * clampIndex(i, colorEntriesUsed - 1);
}

PixelFunc pixelFuncOfFormat(int format)
{
    if (format == QImage::Format_RGB888) return colorPixel;
    if (format == QImage::Format_Grayscale8) return grayPixel;
    return nullptr;
}

QColor colorByIndex(int n)
{
    const int size = lineColors.size();
    if (size == 0) return QColor(0, 0, 0);
    int i = n % size;
    if (i < 0) i += size;  // negative indices wrap instead of reading before the list
    return lineColors[i];
}

double lerp(double x, double x0, double y0, double x1, double y1)
{
    return lineAt(x0, y0, x1, y1, x);
}

void logWithTime(const QString& text)
{
    qDebug().noquote() << text
                       << QDateTime::currentDateTime().toString(QStringLiteral("yyMMdd hh:mm:ss.zzz"));
}

QString fileNameWithSuffix(const QString& name, const QString& defaultSuffix)
{
    const QFileInfo fi(name);
    QString suffix = fi.suffix();
    if (suffix.isEmpty()) suffix = defaultSuffix;
    return QFileInfo(fi.absolutePath() + "/" + fi.completeBaseName() + "." + suffix)
        .absoluteFilePath();
}

QString fileNameWithTag(const QString& name, const QString& tag)
{
    const QFileInfo fi(name);
    return QFileInfo(fi.absolutePath() + "/" + fi.completeBaseName() + "-" + tag + "."
                     + fi.suffix())
        .absoluteFilePath();
}

QString knownSuffix(const QString& name, const QStringList& known)
{
    const QString suffix = QFileInfo(name).suffix();
    return !suffix.isEmpty() && known.contains(suffix, Qt::CaseInsensitive) ? suffix : QString();
}

QString nameLessSuffix(const QString& name, const QStringList& known)
{
    const QString whole = QFileInfo(name).absoluteFilePath();
    const QString suffix = knownSuffix(name, known);
    return suffix.isEmpty() ? whole : whole.left(whole.size() - suffix.size() - 1);
}

QString fileNameWithTag(const QString& name, const QString& tag, const QStringList& known)
{
    const QString suffix = knownSuffix(name, known);
    return nameLessSuffix(name, known) + "-" + tag + (suffix.isEmpty() ? QString() : "." + suffix);
}

QString findKeyInHeader(const QByteArray& bytes, const QString& key, char separator,
                        const QString& def)
{
    const QByteArray k = key.toLatin1();
    const int at = bytes.indexOf(k);
    if (at < 0) return def;
    const int start = at + k.size();
    // Searching from the key's end keeps a separator inside the key itself from
    // giving a negative length.
    const int sep = bytes.indexOf(separator, start);
    QByteArray value = sep < 0 ? bytes.mid(start) : bytes.mid(start, sep - start);
    const int nul = value.indexOf('\0');
    if (nul >= 0) value.truncate(nul);
    return QString::fromLatin1(value);
}

int bytesPerLine(int width)
{
    return (width + 3) / 4 * 4;
}

int bytesPerPixelOfFormat(int format)
{
    return format == QImage::Format_RGB888 ? 3 : 1;
}

int bytesPerLineOfFormat(int format, int width)
{
    return bytesPerLine(format == QImage::Format_RGB888 ? 3 * width : width);
}

static bool isBufferFormat(int format)
{
    return format == QImage::Format_RGB888 || format == QImage::Format_Grayscale8;
}

static qint64 imageBufferSize(int format, int width, int height)
{
    if (!isBufferFormat(format) || width <= 0 || height <= 0) return 0;
    if (width > (INT_MAX - 3) / 3) return 0;
    const qint64 size = qint64(bytesPerLineOfFormat(format, width)) * height;
    if (size < 1 || size > qint64(INT_MAX)) {
        qDebug() << "Image buffer too large:" << width << "x" << height;
        return 0;
    }
    return size;
}

static unsigned char* allocImageBuffer(int format, int width, int height, bool clear)
{
    const qint64 size = imageBufferSize(format, width, height);
    if (size < 1) return nullptr;
    unsigned char* buffer = clear ? new (std::nothrow) unsigned char[size_t(size)]()
                                  : new (std::nothrow) unsigned char[size_t(size)];
    if (!buffer) qDebug() << "Can't allocate an image buffer of" << size << "bytes";
    return buffer;
}

unsigned char* newImageBuffer(int format, int width, int height)
{
    return allocImageBuffer(format, width, height, true);
}

unsigned char* newUnclearedImageBuffer(int format, int width, int height)
{
    return allocImageBuffer(format, width, height, false);
}

QImage* newQImage(int format, unsigned char* buffer, int width, int height)
{
    if (!isBufferFormat(format) || !buffer || width <= 0 || height <= 0) return nullptr;
    return new QImage(buffer, width, height, bytesPerLineOfFormat(format, width),
                      static_cast<QImage::Format>(format));
}

static const char* const settingsOrganization = "Velmora Quon";
static const char* const settingsApplication = "Corvenlith";

void saveWindowGeometry(QWidget* w, const QString& group, bool popUp)
{
    if (!w) return;
    QSettings settings(settingsOrganization, settingsApplication);
    settings.beginGroup(group);
    settings.setValue("size", w->size());
    settings.setValue("pos", w->pos());
    settings.setValue("visible", w->isVisible());
    settings.setValue("popUp", popUp);
    settings.endGroup();
}

void restoreWindowGeometry(QWidget* w, const QString& group, bool* popUp)
{
    if (!w) return;
    QSettings settings(settingsOrganization, settingsApplication);
    settings.beginGroup(group);
    w->resize(settings.value("size", QSize(400, 400)).toSize());
    w->move(settings.value("pos", QPoint(200, 200)).toPoint());
    w->setVisible(settings.value("visible", true).toBool());
    if (popUp) *popUp = settings.value("popUp", true).toBool();
    settings.endGroup();
}
