// Writes well-formed starting inputs for every harness into <folder>/<harness>/,
// made by the program's own writers where it has one.
#include "core/AnalyzeCond.h"
#include "core/Analyzed2DRes.h"
#include "core/TiffWriter.h"
#include "core/XafsSpectrum.h"
#include "tools/EShiftMapFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

QDir root;

QString place(const char* harness, const char* name)
{
    root.mkpath(QLatin1String(harness));
    return root.filePath(QStringLiteral("%1/%2").arg(QLatin1String(harness), QLatin1String(name)));
}

void text(const char* harness, const char* name, const QByteArray& bytes)
{
    QFile f(place(harness, name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

void images()
{
    std::vector<uint16_t> v(6 * 4);
    for (size_t i = 0; i < v.size(); ++i) v[i] = uint16_t(100 * i + 7);
    TiffWriter().write16(place("image", "ramp.tif"), 6, 4, v.data());
    TiffWriter().write16(place("image", "one.tif"), 1, 1, v.data());

    // IM: 64-byte header, comment, little-endian samples.
    auto im = [](int w, int h, const QByteArray& comment, int bytes) {
        QByteArray b(64, '\0');
        b[0] = 'I';
        b[1] = 'M';
        qToLittleEndian<quint16>(quint16(comment.size()), b.data() + 2);
        qToLittleEndian<quint16>(quint16(w), b.data() + 4);
        qToLittleEndian<quint16>(quint16(h), b.data() + 6);
        qToLittleEndian<quint16>(3, b.data() + 8);
        qToLittleEndian<quint16>(5, b.data() + 10);
        b += comment;
        for (int i = 0; i < w * h; ++i) {
            char s[4];
            qToLittleEndian<quint32>(quint32(1000 + 17 * i), s);
            b.append(s, bytes);
        }
        return b;
    };
    const QByteArray im16 = im(5, 3, "BytesPerPixel=2,ExposureTime=250 ms", 2);
    const QByteArray im32 = im(4, 4, "BytesPerPixel=4,ExposureTime=0.5", 4);
    text("image", "a.im", im16);
    text("image", "b.im", im32);
    text("im", "a.im", im16.mid(2));
    text("im", "b.im", im32.mid(2));

    QByteArray t = "# RANGE_X0 = 2\n# RANGE_X1 = 5\n# RANGE_Y0 = 0\n# RANGE_Y1 = 2\n";
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) t += QByteArray::number(x) + " " + QByteArray::number(y) + " 0.0" + QByteArray::number(x + 3 * y + 1) + "\n";
    text("textimage", "a.txt", t);
    text("image", "c.txt", "#QDRN-CTImg\n" + t);
}

void spectra()
{
    XafsSpectrum s;
    for (int i = 0; i < 60; ++i) {
        const double e = 8900 + 5 * i;
        s.append(e, 0.2 + 0.001 * i + (e > 8980 ? 1.0 : 0.0));
    }
    s.calc(s.lineType);
    s.save(place("spectrum", "mu.dat"), false);
    QByteArray a = "9809 angle file\nD= 3.13553\nOffset 0 0\n";
    for (int i = 0; i < 40; ++i)
        a += "0 " + QByteArray::number(20.0 - 0.05 * i) + " 1 " + QByteArray::number(100000) + " "
             + QByteArray::number(int(40000 - (i > 20 ? 15000 : 0) - 10 * i)) + "\n";
    text("spectrum", "angles.dat", a);
    text("refenergies", "angles.dat", a);
    text("refenergies", "plain.dat", "20.1\n20.05\n# note\n20.0\n");
}

void lists()
{
    text("errpoints", "a.lst", "# Size 64 64\n1 2\n3 4 # hot\n10 10\n");
    text("bytemap", "a.map", "# Size 8 8\n1 1 1\n2 3 0\n4 4 x\n");
    text("cfg", "a.cfg",
         "# configuration\nDataRoot /tmp\nErrPoints bad.lst\nbatch :echo hi\n"
         "include fuzz.cfg\nINCLUDE other.cfg\n\"quoted key\" v rest\n");
    text("batch", "a.bat",
         ":let X 5\n:let Y $X$$X$\n:for i %i 1 3 1\n:echo a%i$X$$Y$\nload_I1_files NEW a$X$.tif\n"
         ":next i\n:rem_start\n:end\n:rem_end\n:end\n");
    QFile vict(QStringLiteral(":Victoreen1.txt"));
    if (vict.open(QIODevice::ReadOnly)) text("victoreen", "table.txt", vict.readAll());
    text("victoreen", "short.txt", "# Z edge\n1 1 0.0136 0 1 2 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n");
}

void shiftMap()
{
    AnalyzeCond grid;
    grid.set(4, 3, 0, 0, 0, 0, 4, 3, -1, -1);
    Analyzed2DRes map;
    map.setCond(grid);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) map.setData(x, y, 0, 0, 0.5 * x - 0.25 * y);
    const EMPHeader h = EShiftMapFile::headerOf(grid, 1, 2, 8979.0, 3.13553);
    EShiftMapFile::write(place("emp", "map.emp"), map, h, QStringLiteral("std.dat"), 4, 3);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s folder\n", argv[0]);
        return 2;
    }
    QDir().mkpath(QString::fromLocal8Bit(argv[1]));
    root = QDir(QString::fromLocal8Bit(argv[1]));
    images();
    spectra();
    lists();
    shiftMap();
    return 0;
}
