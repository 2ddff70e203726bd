#include "EOFSetup.h"
#include "widgets/_FileDialog.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include "core/TextLine.h"

#include <cmath>

#include "widgets/FieldWidth.h"

using namespace EnergyOfFiles;

namespace {

const char* const knownPatterns[] = {
    "(\\d|)\\d\\d\\d\\d_\\d\\d\\d\\d",
    "\\d\\d\\d\\d_\\d\\d\\d\\d",
    "\\d\\d\\d\\d_\\d\\d",
    "\\d\\d\\d\\d_\\d\\deV",
    "\\d\\d\\d\\d\\.\\d\\d\\d\\d",
    "\\d\\d\\d\\d\\.\\d\\d",
    "\\d\\d\\d\\d\\.\\d\\deV",
    "\\d\\d\\d\\d\\.\\d",
    "\\d\\d_\\d\\d\\d\\d\\d\\dKeV",
    "\\d_\\d\\d\\d\\d\\d\\dKeV",
};

QString numText(double v)
{
    return QString::number(v, 'g', 6);
}

}  // namespace

EOFSetup::EOFSetup(QWidget* parent)
    : QFrame(parent)
{
    units.D = 3.13553;
    setupUi(this);
    showNumberStarts(this);

    const QStringList filters{tr("XAFS Data File (*.dat)"), tr("Any Files (* *.*)")};
    refDialog.apply([filters](_FileDialog& d) {
        d.setFileMode(QFileDialog::AnyFile);
        d.setAcceptMode(QFileDialog::AcceptOpen);
        d.setNameFilters(filters);
    });

    modeGroup.addButton(FromFileName);
    modeGroup.addButton(FromFileNum);
    modeGroup.addButton(FromRefFile);
    FromFileName->setChecked(true);
    stepGroup.addButton(EvenInEnergy);
    stepGroup.addButton(EvenInAngle);
    EvenInAngle->setChecked(true);

    for (const char* p : knownPatterns) {
        PatternList->addItem(QString::fromLatin1(p));
        PatternList->setCurrentIndex(PatternList->count() - 1);
    }
    Pattern->setText(PatternList->itemText(0));
    newPattern();
    keepCalcTexts();

    connect(Start, &QLineEdit::editingFinished, this, &EOFSetup::newStart);
    connect(Delta, &QLineEdit::editingFinished, this, &EOFSetup::newDelta);
    connect(End, &QLineEdit::editingFinished, this, &EOFSetup::newEnd);
    connect(NumOfPoints, &QLineEdit::editingFinished, this, &EOFSetup::newNumOfPoints);
    connect(Pattern, &QLineEdit::editingFinished, this, &EOFSetup::newPattern);
    connect(PatternList, &QComboBox::currentTextChanged, this, &EOFSetup::newPatternSelected);
    connect(SelRefFile, &QPushButton::clicked, &refDialog, &LazyFileDialog::show);
    connect(&refDialog, &LazyFileDialog::fileSelected, this, &EOFSetup::refFileSelected);
}

double EOFSetup::energyOf(const QString& fileName, int fileNo, int totalFiles)
{
    if (FromFileName->isChecked())
        return energyByName(fileName, fileNo);
    if (FromFileNum->isChecked() || !FromRefFile->isChecked())
        return energyByCalc(fileNo);
    return energyByRef(fileNo, totalFiles);
}

double EOFSetup::energyByName(const QString& fileName, int fileNo)
{
    bool matched = false;
    const double e = EnergyOfFiles::energyByName(fileName, Pattern->text(), Factor->text().toDouble(),
                                                 fileNo, &matched);
    ++nameMisses.named;
    if (!matched && nameMisses.missed++ == 0) nameMisses.first = fileName;
    return e;
}

bool EOFSetup::byRef() const
{
    return !FromFileName->isChecked() && !FromFileNum->isChecked() && FromRefFile->isChecked();
}

QString EOFSetup::refName() const
{
    return RefFilePath->text().isEmpty() ? tr("(none read)") : QFileInfo(RefFilePath->text()).fileName();
}

QVector<double> EOFSetup::refEnergies() const
{
    QVector<double> e;
    for (double v : refs)
        if (std::isfinite(v) && v > 0) e << v;
    return e;
}

QString EOFSetup::impossibleEnergy(const QStringList& files, const QVector<int>& indexes) const
{
    const bool byName = FromFileName->isChecked();
    // Only the lines the frames read count: a list may hold a bad line no frame is matched with.
    if (byRef()) {
        for (int n : indexes) {
            const int i = refIndexOf(refLines.size(), n, files.size(), CorrespondFromEnd->isChecked());
            if (i < 0 || possibleEnergy(refLines.at(i).energy)) continue;
            const RefLine& l = refLines.at(i);
            return tr("%1 would have an energy of %2 eV, from the angle %3 degrees in the reference list %4, line %5")
                .arg(QFileInfo(files.value(n)).fileName(), QString::number(l.energy, 'g', 10),
                     QString::number(l.angle, 'g', 10), refName(), QString::number(l.line));
        }
        return QString();
    }
    const CalcFields f = calcFields();
    const double factor = Factor->text().toDouble();
    for (int n : indexes) {
        const QString file = files.value(n);
        bool matched = true;
        const double e = byName ? EnergyOfFiles::energyByName(file, Pattern->text(), factor, n, &matched)
                                : EnergyOfFiles::energyByCalc(f, DisplayUnit->currentIndex(), EvenInEnergy->isChecked(),
                                                              units.D, n);
        // A name without energy gets its number, which the load reports as
        // a failure of its own.
        if (possibleEnergy(e) || !matched) continue;
        const QString source =
            byName ? tr("from its name by the pattern %1 and the factor %2").arg(Pattern->text(), Factor->text())
                   : tr("calculated as file %1 of the list from Start %2, Delta %3, End %4 and %5 points in %6")
                         .arg(QString::number(n), Start->text(), Delta->text(), End->text(), NumOfPoints->text(),
                              DisplayUnit->currentText());
        return tr("%1 would have an energy of %2 eV, %3")
            .arg(QFileInfo(file).fileName(), QString::number(e, 'g', 10), source);
    }
    return QString();
}

QString EOFSetup::framesWithoutRefLine(const QStringList& files, const QVector<int>& indexes) const
{
    if (!byRef()) return QString();
    int without = 0;
    QString first;
    for (int n : indexes) {
        if (refIndexOf(refLines.size(), n, files.size(), CorrespondFromEnd->isChecked()) >= 0) continue;
        if (without++ == 0) first = QFileInfo(files.value(n)).fileName();
    }
    if (without == 0) return QString();
    return tr("the reference list %1 has %2 angle lines for %3 files, so %4 of the frames have no line of their own "
              "(first: %5)")
        .arg(refName(), QString::number(refLines.size()), QString::number(files.size()), QString::number(without),
             first);
}

EOFSetup::NameMisses EOFSetup::takeNameMisses()
{
    const NameMisses m = nameMisses;
    nameMisses = NameMisses();
    return m;
}

double EOFSetup::energyByCalc(int fileNo)
{
    return EnergyOfFiles::energyByCalc(calcFields(), DisplayUnit->currentIndex(),
                                       EvenInEnergy->isChecked(), units.D, fileNo);
}

double EOFSetup::energyByRef(int fileNo, int totalFiles)
{
    return EnergyOfFiles::energyByRef(refs, fileNo, totalFiles, CorrespondFromEnd->isChecked());
}

EnergyOfFiles::CalcFields EOFSetup::calcFields() const
{
    CalcFields f;
    f.start = Start->text().toDouble();
    f.delta = Delta->text().toDouble();
    f.end = End->text().toDouble();
    f.num = NumOfPoints->text().toInt(nullptr, 10);
    return f;
}

void EOFSetup::keepCalcTexts()
{
    acceptedCalc = QStringList{Start->text(), Delta->text(), End->text(), NumOfPoints->text()};
}

bool EOFSetup::recompute(CalcField typed, QString* refusal)
{
    const bool endFromDelta = typed == FieldStart || typed == FieldDelta;
    CalcFields before;
    before.start = acceptedCalc.at(0).toDouble();
    before.delta = acceptedCalc.at(1).toDouble();
    before.end = acceptedCalc.at(2).toDouble();
    before.num = acceptedCalc.at(3).toInt(nullptr, 10);
    CalcFields f = calcFields();
    if (endFromDelta)
        f.end = f.start + f.num * f.delta;
    else if (f.num != 0)
        f.delta = (f.end - f.start) / f.num;

    QString why;
    if (!calcEditUsable(before, f, typed, DisplayUnit->currentIndex(), EvenInEnergy->isChecked(), units.D, &why)) {
        // A caller given the reason reports it itself.
        if (!refusal) qDebug() << "Energy calculation refused:" << why << "- the previous values are kept";
        Start->setText(acceptedCalc.at(0));
        Delta->setText(acceptedCalc.at(1));
        End->setText(acceptedCalc.at(2));
        NumOfPoints->setText(acceptedCalc.at(3));
        if (refusal) *refusal = why;
        return false;
    }
    if (endFromDelta)
        End->setText(numText(f.end));
    else
        Delta->setText(numText(f.delta));
    keepCalcTexts();
    return true;
}

void EOFSetup::newStart()
{
    recompute(FieldStart);
}

void EOFSetup::newDelta()
{
    recompute(FieldDelta);
}

void EOFSetup::newEnd()
{
    recompute(FieldEnd);
}

void EOFSetup::newNumOfPoints()
{
    recompute(FieldNum);
}

void EOFSetup::newPattern()
{
    const QString pattern = Pattern->text();
    Factor->setText(factorOfPattern(pattern));
    int i = PatternList->findText(pattern, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (i < 0) {
        PatternList->addItem(pattern);
        i = PatternList->count() - 1;
    }
    PatternList->setCurrentIndex(i);
}

void EOFSetup::newPatternSelected(const QString& pattern)
{
    Pattern->setText(pattern);
    newPattern();
}

void EOFSetup::refFileSelected(const QString& fname)
{
    const QString why = readRefFile(fname);
    if (!why.isEmpty()) qDebug().noquote() << why;
}

QString EOFSetup::readRefFile(const QString& fname)
{
    const QVector<RefLine> oldLines = refLines;
    const QVector<double> oldRefs = refs;
    QFile f(fname);
    QString why;
    if (QFileInfo(fname).isDir() || !f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        why = tr("cannot read the reference list %1").arg(fname);
    } else {
        QTextStream in(&f);
        QString first;
        const bool read = readTextLine(in, first)
                          && (first.simplified().split(QLatin1Char(' ')).first() == QLatin1String("9809")
                                  ? readRefOffsets(in)
                                  : readRefValues(in, QString(), 0));
        if (!read) why = tr("the reference list %1 has a line longer than %2 characters: no list").arg(fname).arg(maxTextLineChars);
    }
    if (why.isEmpty()) {
        RefFilePath->setText(fname);
        return why;
    }
    // The list in use stays, and its name with it.
    refLines = oldLines;
    refs = oldRefs;
    return why;
}

void EOFSetup::forgetRefList()
{
    refLines.clear();
    refs.clear();
    RefFilePath->clear();
}

bool EOFSetup::readRefValues(QTextStream& in, const QString& startKey, int column)
{
    // The stream starts after the file's first line.
    bool whole = true;
    refLines = readRefLines(in, startKey, column, units.D, 2, &whole);
    refs.clear();
    for (const RefLine& l : refLines) refs << l.energy;
    return whole;
}

bool EOFSetup::readRefOffsets(QTextStream& in)
{
    return readRefValues(in, QStringLiteral("Offset"), 1);
}
