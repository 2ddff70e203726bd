#include <QDeadlineTimer>
#include <QThread>
#include <QtTest>
#include <cmath>

#include "support/Spectra.h"
#include "analysis/AnalyzeProc.h"

using namespace synth;

// The worker on a thread of its own, reached only through queued calls, as
// the panel reaches it.
class TestAnalyzeProc : public QObject
{
    Q_OBJECT

    QThread thread;
    AnalyzeProc* proc = nullptr;
    QStringList order;  // answers in arrival order on this thread

    Spectrum R1 = sample(8900, 9400, 1, shape1);
    Spectrum R2 = sample(8900, 9400, 1, shape2);
    Spectrum D = sample(8900, 9400, 1, [](double E) { return 0.3 * shape1(E) + 0.7 * shape2(E); });

    QVector<LcfRefSnapshot> refs(double f1 = 0, double f2 = 0) const
    {
        return {ref(R1, R1, true, 0, f1), ref(R2, R2, true, 0, f2)};
    }

    void requestFit(const XafsSpectrum& s, const QVector<LcfRefSnapshot>& r, bool isMLCF)
    {
        QVERIFY(QMetaObject::invokeMethod(proc, "analyzeSpectrum0", Qt::QueuedConnection,
                                          Q_ARG(XafsSpectrum, s), Q_ARG(QVector<LcfRefSnapshot>, r),
                                          Q_ARG(bool, isMLCF), Q_ARG(double, 8900.0),
                                          Q_ARG(double, 9400.0), Q_ARG(SuggestElm, SuggestElm())));
    }

    // The spy counts on the worker's thread; the answers emitted before it
    // are queued here by then and delivered by one more pass of events.
    static bool settled(QSignalSpy& spy, int n)
    {
        QDeadlineTimer deadline(30000);
        while (spy.count() < n && !deadline.hasExpired())
            QTest::qWait(2);
        QCoreApplication::processEvents();
        return spy.count() == n;
    }

private slots:
    void initTestCase()
    {
        proc = new AnalyzeProc();
        proc->moveToThread(&thread);
        thread.start(QThread::InheritPriority);
        connect(proc, &AnalyzeProc::finished, this, [this] { order << "finished"; });
        connect(proc, &AnalyzeProc::finishedAElems, this, [this] { order << "finishedAElems"; });
        connect(proc, &AnalyzeProc::newZ, this, [this](double) { order << "newZ"; });
        connect(proc, &AnalyzeProc::newDEdge, this, [this](double) { order << "newDEdge"; });
        connect(proc, &AnalyzeProc::newLcfResult, this,
                [this](const LcfResult&, bool) { order << "lcf"; });
        connect(proc, &AnalyzeProc::newElemsResult, this,
                [this](const ElemsResult&) { order << "elems"; });
        connect(proc, &AnalyzeProc::newRaResult, this, [this](const RaResult&) { order << "ra"; });
    }

    void cleanupTestCase()
    {
        thread.quit();
        thread.wait();
        delete proc;
    }

    void init() { order.clear(); }

    void fitAnswersByValueFromItsThread()
    {
        QThread* answeredOn = nullptr;
        auto c = connect(proc, &AnalyzeProc::newLcfResult, proc,
                         [&answeredOn] { answeredOn = QThread::currentThread(); },
                         Qt::DirectConnection);
        QSignalSpy result(proc, &AnalyzeProc::newLcfResult);
        QSignalSpy z(proc, &AnalyzeProc::newZ);
        QSignalSpy done(proc, &AnalyzeProc::finished);
        requestFit(target(D, D, 2.0), refs(), false);
        QVERIFY(settled(done, 1));
        disconnect(c);
        QCOMPARE(answeredOn, &thread);
        QCOMPARE(order, (QStringList{"lcf", "newZ", "finished"}));
        const LcfResult r = result.at(0).at(0).value<LcfResult>();
        QCOMPARE(result.at(0).at(1).toBool(), true);
        QCOMPARE(r.status, LcfResult::Fitted);
        QVERIFY(std::fabs(r.fractions[0] - 0.3) < 1e-9);
        QVERIFY(std::fabs(r.amounts[1] - 1.4) < 1e-9);
        QCOMPARE(r.fitted.name, QStringLiteral("anal-LCF"));
        QCOMPARE(z.at(0).at(0).toDouble(), r.z);
    }

    void continuousAccessKeepsTheRows()
    {
        proc->setContAccess(true);  // a plain store from this thread, as the run does
        QSignalSpy result(proc, &AnalyzeProc::newLcfResult);
        QSignalSpy done(proc, &AnalyzeProc::finished);
        requestFit(target(D, D, 2.0), refs(1.0, 0.0), false);
        QVERIFY(settled(done, 1));
        proc->setContAccess(false);
        QCOMPARE(result.at(0).at(1).toBool(), false);
        const LcfResult r = result.at(0).at(0).value<LcfResult>();
        QVERIFY(std::fabs(r.fractions[0] - 0.3) < 1e-9);
        // Drawn with the fit's fractions, not the rows' 1 and 0.
        QVERIFY(std::fabs(r.fitted.points[100].y() - D.points[100].y()) < 1e-12);
    }

    void variantChoice()
    {
        QSignalSpy result(proc, &AnalyzeProc::newLcfResult);
        QSignalSpy done(proc, &AnalyzeProc::finished);
        // A zero jump: the LCF answers zeros without newZ.
        requestFit(target(D, D, 0.0), refs(), false);
        QVERIFY(settled(done, 1));
        QCOMPARE(order, (QStringList{"lcf", "finished"}));
        QCOMPARE(result.at(0).at(0).value<LcfResult>().status, LcfResult::ZeroJump);
        QCOMPARE(proc->fractions, QVector<double>(2, 0.0));

        // The old LCF fits it.
        order.clear();
        QVERIFY(QMetaObject::invokeMethod(proc, "setLcfOld", Qt::QueuedConnection, Q_ARG(bool, true)));
        requestFit(target(D, D, 0.0), refs(), false);
        QVERIFY(settled(done, 2));
        QCOMPARE(order, (QStringList{"lcf", "newZ", "finished"}));
        LcfResult r = result.at(1).at(0).value<LcfResult>();
        QCOMPARE(r.status, LcfResult::Fitted);
        QVERIFY(std::fabs(r.fractions[1] - 0.7) < 1e-9);
        QCOMPARE(r.amounts, QVector<double>(2, 0.0));

        // MLCF wins over the old LCF.
        requestFit(target(D, D, 0.0), refs(), true);
        QVERIFY(settled(done, 3));
        QCOMPARE(result.at(2).at(0).value<LcfResult>().fitted.name, QStringLiteral("anal-MLCF"));
        QVERIFY(QMetaObject::invokeMethod(proc, "setLcfOld", Qt::QueuedConnection, Q_ARG(bool, false)));
    }

    // Nothing to fit still answers, so a 2-D run goes on; the results stand.
    void skippedFitStillAnswers()
    {
        QSignalSpy result(proc, &AnalyzeProc::newLcfResult);
        QSignalSpy done(proc, &AnalyzeProc::finished);
        requestFit(target(D, D, 2.0), refs(), false);
        QVERIFY(settled(done, 1));
        order.clear();
        const double z0 = proc->z;
        requestFit(XafsSpectrum(), refs(), false);
        QVERIFY(settled(done, 2));
        QCOMPARE(order, (QStringList{"lcf", "finished"}));
        const LcfResult r = result.at(1).at(0).value<LcfResult>();
        QCOMPARE(r.status, LcfResult::Skipped);
        QVERIFY(std::fabs(r.fractions[0] - 0.3) < 1e-9);
        QCOMPARE(r.z, z0);
        requestFit(target(D, D, 2.0), {ref(R1, R1)}, false);
        QVERIFY(settled(done, 3));
        QCOMPARE(result.at(2).at(0).value<LcfResult>().status, LcfResult::Skipped);
    }

    void fourRequestsInOrder()
    {
        SuggestElm none;
        none.useWindow = false;
        const XafsSpectrum s(sample(8800, 9300, 1, [](double E) {
                                 return 0.2 + 1e-4 * (E - 8800) + sigmoid(E, 9005, 2);
                             }),
                             "block", 1, 0, none);
        SuggestElm sElm = none;
        sElm.edgeEnergy = 9000;
        ElemRowSnapshot row;
        row.e0 = 9005;
        QSignalSpy dEdge(proc, &AnalyzeProc::newDEdge);
        QSignalSpy elems(proc, &AnalyzeProc::newElemsResult);
        QSignalSpy ra(proc, &AnalyzeProc::newRaResult);
        QSignalSpy aelems(proc, &AnalyzeProc::finishedAElems);
        QSignalSpy done(proc, &AnalyzeProc::finished);

        requestFit(s, refs(), false);
        QVERIFY(QMetaObject::invokeMethod(
            proc, "analyzeSpectrumDEdge0", Qt::QueuedConnection, Q_ARG(XafsSpectrum, s),
            Q_ARG(SuggestElm, sElm), Q_ARG(bool, true), Q_ARG(double, 0.5),
            Q_ARG(XafsSpectrum, XafsSpectrum()), Q_ARG(double, 10.0), Q_ARG(double, 1.0),
            Q_ARG(double, 0.1)));
        const QVector<ElemRowSnapshot> rows = {row, row};
        QVERIFY(QMetaObject::invokeMethod(proc, "analyzeSpectrumElems0", Qt::QueuedConnection,
                                          Q_ARG(XafsSpectrum, s),
                                          Q_ARG(QVector<ElemRowSnapshot>, rows),
                                          Q_ARG(int, 0), Q_ARG(ElemBackground, ElemBackground())));
        QVERIFY(QMetaObject::invokeMethod(proc, "analyzeSpectrumRA", Qt::QueuedConnection,
                                          Q_ARG(XafsSpectrum, s), Q_ARG(double, 1.0),
                                          Q_ARG(double, 8200.0)));
        QVERIFY(settled(done, 3));
        QVERIFY(settled(aelems, 1));
        QCOMPARE(order, (QStringList{"lcf", "newZ", "finished", "newDEdge", "finished", "elems",
                                     "finishedAElems", "ra", "finished"}));

        QVERIFY(std::fabs(dEdge.at(0).at(0).toDouble() - 5) < 0.1);
        const ElemsResult e = elems.at(0).at(0).value<ElemsResult>();
        QCOMPARE(e.rowCount(), 2);
        QVERIFY(std::fabs(e.value(ElemKind0, 1) - e.dmut[1]) < 1e-15);
        QVERIFY(e.dmut[0] > 0.9);
        QCOMPARE(e.value(ElemKindN, 1), 1.0);
        const RaResult r = ra.at(0).at(0).value<RaResult>();
        QVERIFY(std::fabs(r.jump - 1) < 0.02);
        QVERIFY(std::fabs(r.rest - (0.2 + 1e-4 * (8200 - 8800) - r.jump)) < 0.02);
        QCOMPARE(r.scaledJump, r.jump);
    }
};

QTEST_GUILESS_MAIN(TestAnalyzeProc)
#include "tst_analyzeproc.moc"
