#include "AnalyzeProc.h"

#include <QDebug>

#include "analysis/EdgeShift.h"

AnalyzeProc::AnalyzeProc(QObject* parent) : QObject(parent)
{
    registerTypes();
}

void AnalyzeProc::registerTypes()
{
    qRegisterMetaType<XafsSpectrum>("XafsSpectrum");
    qRegisterMetaType<SuggestElm>("SuggestElm");
    qRegisterMetaType<LcfRefSnapshot>("LcfRefSnapshot");
    qRegisterMetaType<QVector<LcfRefSnapshot>>("QVector<LcfRefSnapshot>");
    qRegisterMetaType<ElemRowSnapshot>("ElemRowSnapshot");
    qRegisterMetaType<QVector<ElemRowSnapshot>>("QVector<ElemRowSnapshot>");
    qRegisterMetaType<ElemBackground>("ElemBackground");
    qRegisterMetaType<LcfResult>("LcfResult");
    qRegisterMetaType<ElemsResult>("ElemsResult");
    qRegisterMetaType<RaResult>("RaResult");
}

void AnalyzeProc::setContAccess(bool f)
{
    contAccess = f;
}

void AnalyzeProc::analyzeSpectrum0(XafsSpectrum s, QVector<LcfRefSnapshot> refs, bool isMLCF,
                                   double sE0, double eE0, SuggestElm sElm)
{
    if (isMLCF)
        analyzeSpectrumByMLCF(s, refs, sE0, eE0, sElm);
    else if (lcfOld)
        analyzeSpectrumByLCF_Old(s, refs, sE0, eE0, sElm);
    else
        analyzeSpectrumByLCF(s, refs, sE0, eE0, sElm);
}

void AnalyzeProc::analyzeSpectrumByLCF(XafsSpectrum s, QVector<LcfRefSnapshot> refs, double sE0,
                                       double eE0, SuggestElm sElm)
{
    runFit(LcfFit::LCF, s, refs, sE0, eE0, sElm);
}

void AnalyzeProc::analyzeSpectrumByLCF_Old(XafsSpectrum s, QVector<LcfRefSnapshot> refs,
                                           double sE0, double eE0, SuggestElm sElm)
{
    runFit(LcfFit::LCFOld, s, refs, sE0, eE0, sElm);
}

void AnalyzeProc::analyzeSpectrumByMLCF(XafsSpectrum s, QVector<LcfRefSnapshot> refs,
                                        double sE0, double eE0, SuggestElm sElm)
{
    runFit(LcfFit::MLCF, s, refs, sE0, eE0, sElm);
}

void AnalyzeProc::runFit(LcfFit::Kind kind, const XafsSpectrum& s,
                         const QVector<LcfRefSnapshot>& refs, double sE0, double eE0,
                         const SuggestElm& sElm)
{
    const bool report = !contAccess;
    LcfResult r = LcfFit::fit(kind, s, refs, sE0, eE0, sElm);
    switch (r.status) {
    case LcfResult::Skipped:
        // Nothing to fit; still answered, so a 2-D run does not wait forever.
        r.fractions = fractions;
        r.amounts = amounts;
        r.z = z;
        emit newLcfResult(r, false);
        emit finished();
        return;
    case LcfResult::ZeroJump:
        fractions = r.fractions;
        amounts = r.amounts;
        r.z = z;
        emit newLcfResult(r, false);
        emit finished();
        return;
    case LcfResult::Failed:
        // A run counts its failures and says so once at its end.
        if (report) qDebug().noquote() << "LCF failed:" << r.failure;
        fractions = r.fractions;
        amounts = r.amounts;
        emit newLcfResult(r, false);
        emit finished();
        return;
    case LcfResult::Fitted:
        break;
    }
    fractions = r.fractions;
    amounts = r.amounts;
    z = r.z;
    emit newLcfResult(r, report);
    emit newZ(z);
    emit finished();
}

void AnalyzeProc::analyzeSpectrumDEdge0(XafsSpectrum s, SuggestElm sElm, bool isMidPoint,
                                        double midRatio, XafsSpectrum ref, double cwRangeEV,
                                        double cwInitDEeV, double cwMinDEeV)
{
    dEdge = EdgeShift::dEdge(s, sElm, isMidPoint, midRatio, ref, cwRangeEV, cwInitDEeV,
                             cwMinDEeV);
    emit newDEdge(dEdge);
    emit finished();
}

void AnalyzeProc::analyzeSpectrumElems0(XafsSpectrum s, QVector<ElemRowSnapshot> rows, int mainT,
                                        ElemBackground bg)
{
    elems = ElementAnalysis::analyze(s, rows, mainT, bg);
    emit newElemsResult(elems);
    emit finishedAElems();
}

void AnalyzeProc::analyzeSpectrumRA(XafsSpectrum s, double raFactor, double atEV)
{
    const RaResult r = ResidualAbsorption::compute(s, raFactor, atEV);
    raJump = r.jump;
    raScaledJump = r.scaledJump;
    raRest = r.rest;
    emit newRaResult(r);
    emit finished();
}

void AnalyzeProc::setLcfOld(bool f)
{
    lcfOld = f;
    qDebug() << "lcf old flg" << (f ? "true" : "false");
}
