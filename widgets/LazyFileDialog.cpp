#include "LazyFileDialog.h"

#include "_FileDialog.h"

LazyFileDialog::LazyFileDialog(Step setup, Make make, QObject* parent) : QObject(parent), make(std::move(make))
{
    if (setup) pending.push_back(std::move(setup));
}

LazyFileDialog::~LazyFileDialog()
{
    delete built.data();
}

_FileDialog* LazyFileDialog::dialog()
{
    if (built) return built;
    built = make ? make() : new _FileDialog(QString(), nullptr);
    std::vector<Step> steps;
    steps.swap(pending);
    for (const Step& s : steps) s(*built);
    if (!pendingDir.isEmpty()) built->setDirectory(pendingDir);
    connect(built, &QFileDialog::fileSelected, this, &LazyFileDialog::fileSelected);
    connect(built, &QFileDialog::filesSelected, this, &LazyFileDialog::filesSelected);
    emit dialogBuilt(built);
    return built;
}

void LazyFileDialog::apply(const Step& step)
{
    if (built)
        step(*built);
    else
        pending.push_back(step);
}

void LazyFileDialog::setDirectory(const QString& dir)
{
    // Only the last one counts: a group moving the folder does so often.
    if (built)
        built->setDirectory(dir);
    else
        pendingDir = dir;
}

void LazyFileDialog::setNameFilters(const QStringList& filters)
{
    apply([filters](_FileDialog& d) { d.setNameFilters(filters); });
}

void LazyFileDialog::setWindowTitle(const QString& title)
{
    apply([title](_FileDialog& d) { d.setWindowTitle(title); });
}

void LazyFileDialog::show()
{
    dialog()->show();
}
