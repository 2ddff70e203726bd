#include "EnergyOfFiles.h"

#include <QCoreApplication>
#include <QDebug>
#include <QRegularExpression>
#include <QTextStream>

#include "core/TextLine.h"

#include <algorithm>
#include <cmath>

namespace EnergyOfFiles {

bool possibleEnergy(double eV)
{
    return std::isfinite(eV) && eV > 0 && eV <= maxEnergy;
}

bool angleOfEnergy(double energy, double D, double* degrees)
{
    const double x = hc / energy / (2 * D);
    if (!(x > 0 && x <= 1))
        return false;
    *degrees = std::asin(x) / pi * 180;
    return true;
}

double energyOfAngle(double degrees, double D)
{
    return hc / (2 * D * std::sin(degrees / 180 * pi));
}

double energyByCalc(const CalcFields& f, int unit, bool evenInEnergy, double D, int n)
{
    const double L = f.delta * n + f.start;
    double scale = 1;
    switch (unit) {
    case UnitEV:
        break;
    case UnitKeV:
        scale = 1000;
        break;
    case UnitDeg:
        return energyOfAngle(L, D);
    default:
        return L;
    }
    if (evenInEnergy)
        return L * scale;

    double ta = 0, tb = 0;
    if (f.num < 1 || !angleOfEnergy(f.start * scale, D, &ta) || !angleOfEnergy(f.end * scale, D, &tb)) {
        qDebug() << "Energies even in angle need Start and End above" << hc / (2 * D)
                 << "eV and at least one point; file" << n << "is given" << L * scale << "eV";
        return L * scale;
    }
    const double t = (tb - ta) / f.num * n + ta;
    return hc / (D * 2 * std::sin(t / 180 * pi));
}

namespace {

// Whether a start or end field gives an energy a scan can have. In degrees
// only angles inside 0 to 180 count: between two of them the lowest sine is
// at an end, so the ends bound every energy between (in eV and keV the
// energies run monotonically anyway).
bool possibleField(double v, int unit, double D)
{
    if (unit == UnitDeg) return v > 0 && v < 180 && possibleEnergy(energyOfAngle(v, D));
    return possibleEnergy(v * (unit == UnitKeV ? 1000 : 1));
}

bool usable(const CalcFields& f, int unit, bool evenInEnergy, double D, QString* why, bool startMayStayOut,
            bool endMayStayOut)
{
    auto refuse = [why](const QString& text) {
        *why = text;
        return false;
    };
    if (f.num < 1) return refuse(QCoreApplication::translate("EnergyOfFiles", "the number of points must be at least 1"));
    if (!std::isfinite(f.start) || !std::isfinite(f.delta) || !std::isfinite(f.end))
        return refuse(QCoreApplication::translate("EnergyOfFiles", "Start, Delta and End must be finite"));
    if (!(startMayStayOut || possibleField(f.start, unit, D)) || !(endMayStayOut || possibleField(f.end, unit, D))) {
        const QString max = QString::number(maxEnergy, 'f', 0);
        return refuse(unit == UnitDeg ? QCoreApplication::translate(
                                            "EnergyOfFiles", "Start and End must be angles between 0 and 180 degrees giving at most %1 eV")
                                            .arg(max)
                                      : QCoreApplication::translate("EnergyOfFiles",
                                                                    "Start and End must be energies above 0 and at most %1 eV")
                                            .arg(max));
    }
    if (evenInEnergy || (unit != UnitEV && unit != UnitKeV))
        return true;
    const double scale = unit == UnitKeV ? 1000 : 1;
    double t = 0;
    if (!angleOfEnergy(f.start * scale, D, &t) || !angleOfEnergy(f.end * scale, D, &t))
        return refuse(QCoreApplication::translate("EnergyOfFiles", "in angle steps Start and End must be at least %1 eV")
                          .arg(hc / (2 * D)));
    return true;
}

}  // namespace

bool calcFieldsUsable(const CalcFields& f, int unit, bool evenInEnergy, double D, QString* why)
{
    return usable(f, unit, evenInEnergy, D, why, false, false);
}

bool calcEditUsable(const CalcFields& before, const CalcFields& f, CalcField typed, int unit, bool evenInEnergy,
                    double D, QString* why)
{
    return usable(f, unit, evenInEnergy, D, why, typed != FieldStart && !possibleField(before.start, unit, D),
                  typed != FieldEnd && !possibleField(before.end, unit, D));
}

double energyByName(const QString& path, const QString& pattern, double factor, int n, bool* matched)
{
    double value = n;
    const QRegularExpression re(pattern);
    QRegularExpressionMatch m;
    if (re.isValid()) {
        // A dated folder name would otherwise give every file of the stack
        // the same energy: the file name comes first.
        const int slash = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
        m = re.match(path.mid(slash + 1));
        if (!m.hasMatch() && slash >= 0) m = re.match(path);
    }
    if (m.hasMatch()) {
        QString t = m.captured(0).toUpper();
        t.replace(QLatin1Char('_'), QLatin1Char('.'));
        t.remove(QStringLiteral("KEV"));
        t.remove(QStringLiteral("EV"));
        value = t.toDouble();
    }
    if (matched) *matched = m.hasMatch();
    if (factor > 0)
        value *= factor;
    return value;
}

QString factorOfPattern(const QString& pattern)
{
    return pattern.toUpper().contains(QStringLiteral("KEV")) ? QStringLiteral("1000")
                                                             : QStringLiteral("1");
}

double energyByRef(const QVector<double>& refs, int n, int m, bool fromEnd)
{
    const int R = refs.size();
    if (R == 0)
        return 8000 + n;
    int i = n;
    if (fromEnd)
        i += R - m;
    if (i < 0)
        return refs.first();
    if (i >= R)
        return refs.last();
    return refs.at(i);
}

int refIndexOf(int R, int n, int m, bool fromEnd)
{
    const qint64 i = qint64(n) + (fromEnd ? qint64(R) - m : 0);
    return i >= 0 && i < R ? int(i) : -1;
}

QVector<RefLine> readRefLines(QTextStream& in, const QString& key, int column, double D, int firstLine, bool* whole)
{
    qDebug() << "reading simple";
    QVector<RefLine> lines;
    bool started = key.isEmpty();
    if (whole) *whole = true;
    QString line;
    for (int no = firstLine; !in.atEnd(); ++no) {
        if (!readTextLine(in, line)) {
            if (whole) *whole = false;
            return {};
        }
        if (!started) {
            started = line.simplified().startsWith(key);
            continue;
        }
        if (line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList words = line.simplified().split(QLatin1Char(' '));
        if (words.size() <= column)
            continue;
        bool ok = false;
        const double angle = words.at(column).toDouble(&ok);
        if (!ok) {
            qDebug() << "Reference line" << no << "skipped, no monochromator angle:" << line;
            continue;
        }
        lines.append({no, angle, energyOfAngle(angle, D)});
    }
    // A closing 0 marks where the list ends; counted as a line it would move
    // every frame matched from the end by one.
    while (!lines.isEmpty() && lines.last().angle == 0) lines.removeLast();
    return lines;
}

QVector<double> readRefEnergies(QTextStream& in, const QString& key, int column, double D)
{
    QVector<double> energies;
    for (const RefLine& l : readRefLines(in, key, column, D))
        if (std::isfinite(l.energy) && l.energy > 0) energies << l.energy;
    return energies;
}

}  // namespace EnergyOfFiles
