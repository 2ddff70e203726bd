#include "Analyzer2OnBody.h"

#include "core/Cfg.h"
#include "mainwindow/Body.h"
#include "mainwindow/BodyHooks.h"
#include "mainwindow/BoundedField.h"
#include "DarkCheck.h"

#include <QDir>
#include <QFileInfo>

namespace {

Analyzer2OnBody* analyzer2Of(Body& body)
{
    if (Analyzer2OnBody* a = Analyzer2OnBody::of(body)) return a;
    return new Analyzer2OnBody(body);
}

}  // namespace

void installAnalyzer2OnBody()
{
    BodyHooks& h = Body::hooks();
    h.setupAnalyzer2 = [](Body& body) { analyzer2Of(body)->setupAnalyzer2(); };
    h.setupErrPoints = [](Body& body) { analyzer2Of(body)->setupErrPoints(); };
    h.beforeTeardown.insert(QStringLiteral("analyzer2"), [](Body& body) {
        if (Analyzer2OnBody* a = Analyzer2OnBody::of(body)) a->teardown();
    });
}

Analyzer2OnBody::Analyzer2OnBody(Body& b) : QObject(&b), body(b)
{
    setObjectName(QStringLiteral("Analyzer2OnBody"));
}

Analyzer2OnBody::~Analyzer2OnBody()
{
    teardown();
}

Analyzer2OnBody* Analyzer2OnBody::of(const Body& body)
{
    return body.findChild<Analyzer2OnBody*>(QStringLiteral("Analyzer2OnBody"), Qt::FindDirectChildrenOnly);
}

bool Analyzer2OnBody::allConnected() const
{
    for (const QMetaObject::Connection& c : connections)
        if (!c) return false;
    return !connections.isEmpty();
}

void Analyzer2OnBody::setupAnalyzer2()
{
    analyzer2.setI1Images(&body.i1Images);
    connections << connect(body.ShowAnalyzer2, &QPushButton::clicked, &analyzer2, &QWidget::show);
    connections << boundField(body, analyzer2.HistgBins, tr("Dark Check Bins"), 0, DarkCheck::maxBins);
    connections << connect(&analyzer2, &Analyzer2::askedDarkCheck, this, &Analyzer2OnBody::darkCheck);
}

void Analyzer2OnBody::darkCheck()
{
    QStringList written;
    QString why;
    if (!analyzer2.darkCheck(&written, &why)) {
        body.reportFailure(tr("Dark check: nothing written: %1").arg(why));
        return;
    }
    QStringList names;
    for (const QString& f : written) names << QFileInfo(f).fileName();
    body.report(tr("Dark check: saved %1 in %2")
                    .arg(names.join(QStringLiteral(", ")),
                         QDir::toNativeSeparators(QFileInfo(written.first()).absolutePath())));
}

void Analyzer2OnBody::setupErrPoints()
{
    analyzer2.setupErrPoints(globalCfg);
}

void Analyzer2OnBody::teardown()
{
    BodyHooks::cut(connections);
    analyzer2.blockSignals(true);
    analyzer2.setI1Images(nullptr);
}
