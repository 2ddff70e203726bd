#ifndef GLOBALS_H
#define GLOBALS_H

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

class QWidget;

// Program-wide state shared by every window. mainColorBar lives in
// ColorScale.h, globalErrPoints in ErrPoints.h.
extern QString DataRoot;
extern QString BatchRoot;
extern bool showAnalyzer2Button;
extern const int displayImageFormat;  // QImage::Format_Grayscale8
extern QVector<QColor> lineColors;
extern unsigned char* greyLUT;        // 256 entries
extern unsigned char* colorLUT;       // 768 RGB triples, 767 used

// The batch vocabulary lives in a later library; main installs its table
// builder here so initGlobals can run it without a dependency on it.
extern void (*initBatchCmdTablesHook)();

void initGlobals();
void initColorTables();

const unsigned char* grayPixel(double v);
const unsigned char* colorPixel(double v);
const unsigned char* grayPixelOf(int i);
const unsigned char* colorPixelOf(int i);
using PixelFunc = const unsigned char* (*)(double);
PixelFunc pixelFuncOfFormat(int format);
QColor colorByIndex(int n);

double lerp(double x, double x0, double y0, double x1, double y1);
void logWithTime(const QString& text);
QString fileNameWithSuffix(const QString& name, const QString& defaultSuffix);
QString fileNameWithTag(const QString& name, const QString& tag);
// The part of name after its last dot when it is one of known (any case),
// else empty: "ratio0.3" saved as data has no suffix, its dot is the name's.
QString knownSuffix(const QString& name, const QStringList& known);
// name's absolute path less its known suffix and the dot before it.
QString nameLessSuffix(const QString& name, const QStringList& known);
// fileNameWithTag for a saver that writes the formats known: the tag goes
// before a known suffix, else after the whole name.
QString fileNameWithTag(const QString& name, const QString& tag, const QStringList& known);
QString findKeyInHeader(const QByteArray& bytes, const QString& key, char separator,
                        const QString& def);

int bytesPerLine(int width);
int bytesPerPixelOfFormat(int format);
int bytesPerLineOfFormat(int format, int width);
unsigned char* newImageBuffer(int format, int width, int height);
// The same without clearing, for callers that write every byte themselves.
unsigned char* newUnclearedImageBuffer(int format, int width, int height);
QImage* newQImage(int format, unsigned char* buffer, int width, int height);

void saveWindowGeometry(QWidget* w, const QString& group, bool popUp);
void restoreWindowGeometry(QWidget* w, const QString& group, bool* popUp);

#endif
