#include "EOFSetup.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

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
    : QFrame(parent), refDialog(QString(), nullptr)
{
    units.D = 3.13553;
    setupUi(this);
    showNumberStarts(this);

    refDialog.setFileMode(QFileDialog::AnyFile);
    refDialog.setAcceptMode(QFileDialog::AcceptOpen);
    refDialog.setNameFilters({tr("XAFS Data File (*.dat)"), tr("Any Files (* *.*)")});

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
    connect(SelRefFile, &QPushButton::clicked, &refDialog, &QWidget::show);
    connect(&refDialog, &QFileDialog::fileSelected, this, &EOFSetup::refFileSelected);
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

QString EOFSetup::impossibleEnergy(const QStringList& files, const QVector<int>& indexes) const
{
    const bool byName = FromFileName->isChecked();
    const bool byCalc = !byName && (FromFileNum->isChecked() || !FromRefFile->isChecked());
    const QString refName = QFileInfo(RefFilePath->text()).fileName();
    // A line left out of the list would move every later frame to the next energy.
    if (!byName && !byCalc && !refsImpossible.isEmpty() && !indexes.isEmpty()) {
        const double angle = refsImpossible.first();
        return tr("%1 would have an energy of %2 eV, from the angle %3 degrees in the reference list %4")
            .arg(QFileInfo(files.value(indexes.first())).fileName(), QString::number(energyOfAngle(angle, units.D), 'g', 10),
                 QString::number(angle, 'g', 10), refName);
    }
    const CalcFields f = calcFields();
    const double factor = Factor->text().toDouble();
    for (int n : indexes) {
        const QString file = files.value(n);
        bool matched = true;
        const double e = byName ? EnergyOfFiles::energyByName(file, Pattern->text(), factor, n, &matched)
                         : byCalc ? EnergyOfFiles::energyByCalc(f, DisplayUnit->currentIndex(), EvenInEnergy->isChecked(),
                                                                units.D, n)
                                  : EnergyOfFiles::energyByRef(refs, n, files.size(), CorrespondFromEnd->isChecked());
        // A name without energy gets its number, which the load reports as
        // a failure of its own.
        if (possibleEnergy(e) || !matched) continue;
        const QString source =
            byName ? tr("from its name by the pattern %1 and the factor %2").arg(Pattern->text(), Factor->text())
            : byCalc ? tr("calculated as file %1 of the list from Start %2, Delta %3, End %4 and %5 points in %6")
                           .arg(QString::number(n), Start->text(), Delta->text(), End->text(), NumOfPoints->text(),
                                DisplayUnit->currentText())
                     : tr("from the reference list %1").arg(refName);
        return tr("%1 would have an energy of %2 eV, %3")
            .arg(QFileInfo(file).fileName(), QString::number(e, 'g', 10), source);
    }
    return QString();
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
    QFile f(fname);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug() << "Can't open ref file" << fname;
        return;
    }
    RefFilePath->setText(fname);
    QTextStream in(&f);
    const QString first = in.readLine().simplified().split(QLatin1Char(' ')).first();
    if (first == QLatin1String("9809"))
        readRefOffsets(in);
    else
        readRefValues(in, QString(), 0);
}

void EOFSetup::readRefValues(QTextStream& in, const QString& startKey, int column)
{
    refsImpossible.clear();
    refs = readRefEnergies(in, startKey, column, units.D, &refsImpossible);
}

void EOFSetup::readRefOffsets(QTextStream& in)
{
    refs.clear();
    readRefValues(in, QStringLiteral("Offset"), 1);
}
