#include "SelectDataFilesAdditionalSetup.h"
#include "widgets/_FileDialog.h"

#include <QDebug>

#include "core/Cfg.h"

SelectDataFilesAdditionalSetup::SelectDataFilesAdditionalSetup(QWidget* parent)
    : QFrame(parent)
{
    setupUi(this);
    connect(SetDA, &QPushButton::clicked, this, &SelectDataFilesAdditionalSetup::setDarkArea);
    connect(UpDateDA, &QPushButton::clicked, this, &SelectDataFilesAdditionalSetup::updateDarkArea);
    connect(ClearDA, &QPushButton::clicked, this, &SelectDataFilesAdditionalSetup::clearDarkArea);

    // A list named and missing leaves the bad pixels unrepaired: a script
    // run counts it (the I1 and the I0 selector both read it, once said).
    const QString errPsFile = globalCfg.valueAnyCase(QStringLiteral("ErrPoints"), QString());
    if (!errPsDefSelected(errPsFile) && !errPsFile.isEmpty()) {
        bool said = false;
        for (const Cfg::Unread& u : qAsConst(globalCfg.unreadFiles))
            said = said || (u.why == Cfg::Unread::BadPixelList && u.file == errPsFile);
        if (!said) globalCfg.unreadFiles.append({errPsFile, Cfg::Unread::BadPixelList, QString()});
    }

    connect(SelectErrPsDef, &QPushButton::clicked, &errPsDialog, &LazyFileDialog::show);
    connect(&errPsDialog, &LazyFileDialog::fileSelected, this, &SelectDataFilesAdditionalSetup::errPsDefSelected);
    connect(UseErrPs, &QCheckBox::toggled, this, &SelectDataFilesAdditionalSetup::toggledUseErrPs);
}

bool SelectDataFilesAdditionalSetup::errPsDefSelected(const QString& fname)
{
    // Read into a fresh list so a file that cannot be read leaves the list in
    // use, and the label naming it, as they were. No name (no "ErrPoints"
    // key) reads nothing.
    if (fname.isEmpty())
        return false;
    ErrPoints fresh;
    if (!fresh.read(fname, false)) {
        qDebug() << "Bad-pixel list kept:" << (errPs.file.isEmpty() ? QStringLiteral("(none)") : errPs.file);
        return false;
    }
    fresh.use = UseErrPs->isChecked();
    errPs = fresh;
    ErrPsFile->setText(fname);
    return true;
}

void SelectDataFilesAdditionalSetup::toggledUseErrPs(bool f)
{
    errPs.use = f;
}

void SelectDataFilesAdditionalSetup::darkArea(QRectF area)
{
    DarkArea->setText(darkAreaText(area));
}

QString darkAreaText(const QRectF& area)
{
    return QStringLiteral("(%1,%2)-(%3,%4)")
        .arg(int(area.x()))
        .arg(int(area.y()))
        .arg(int(area.x() + area.width()))
        .arg(int(area.y() + area.height()));
}
