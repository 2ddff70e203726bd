#ifndef LCFFIT_H
#define LCFFIT_H

#include <QMetaType>
#include <QString>
#include <QVector>

#include <functional>
#include <vector>

#include "analysis/AnalysisSnapshots.h"
#include "core/Spectrum.h"
#include "core/SuggestElm.h"
#include "core/XafsSpectrum.h"

// Outcome of one linear-combination fit of a target spectrum by reference
// spectra. A plain value: it goes back from the worker by a queued signal.
struct LcfResult
{
    enum Status {
        Skipped,   // no target points or fewer than two rows: nothing computed
        ZeroJump,  // LCF with a non-positive edge jump: zeros per row, no fit
        Fitted,
        Failed     // no unique fit: dependent references, references that the
                   // stack's energies cannot tell apart, a reference whose edge
                   // the block's ranges do not measure, no point in range, no
                   // row in use; zeros per row in use, z 0, reason in failure
    };
    Status status = Skipped;
    QVector<int> rows;           // indices of the rows in use, in row order (not Skipped)
    QVector<double> fractions;   // per row in use (ZeroJump: per row, all 0)
    QVector<double> amounts;
    double z = 0;                // residual (Fitted)
    XafsSpectrum fitted;         // the fitted curve, "anal-LCF" / "anal-MLCF" (Fitted, drawn)
    double sE0 = 0;              // the fit range after narrowing to the references
    double eE0 = 0;
    QString failure;             // why the fit failed (Failed)
    // LCF, per row in use: the reference's edge jump normalised at the
    // block's energies and ranges, at the block's E0, over its jump on its
    // own scan (empty when not reached).
    QVector<double> jumpRatios;
    // Per row in use: sin^2 of the angle between its curve and the span of
    // the other columns over the fit's points (1: unlike them all, 0: a
    // combination of them); empty when not reached.
    QVector<double> apart;
    // LCF, per row in use: the standard error of its fraction, from the
    // scatter of the block about the fit, misfit included.
    QVector<double> errors;
};

Q_DECLARE_METATYPE(LcfResult)

// The three fits: LCF and the old LCF fit the double-normalised pre-base
// curve D of the target with the references' curves R_j; MLCF fits the raw mu
// with a linear background and the references' post-base curves P_j. The
// LCF's R_j are the references normalised as the target was, at its
// energies, each counted in its jump at the target's E0 over the shape of
// the mixture's jump; the old LCF's those of their own scans.
class LcfFit
{
public:
    enum Kind { LCF, LCFOld, MLCF };

    // The references' values at the energies of the last target fitted with
    // it: targets on the same energies (the blocks of a run without a shift
    // map) read them from here instead of from the curves. Only for fits
    // against the same, unchanged references.
    class Workspace
    {
    private:
        friend class LcfFit;
        QVector<double> energies;  // of the target the values belong to
        const LcfRefSnapshot* refs = nullptr;
        int refCount = 0;
        int kind = -1;
        double sE0 = 0, eE0 = 0;   // the fit range asked for
        bool fitFilled = false, curveFilled = false;
        std::vector<double> fitValues;    // in use per point of the fit range, in order
        std::vector<double> curveValues;  // in use per point of the drawn curve
        // LCF: each reference at the target's energies, normalised as the
        // last target was; its points stay while the energies do.
        std::vector<XafsSpectrum> asBlock;
        bool asBlockFilled = false;
        // The references' lines and curves for each set of line ranges met
        // at these energies: the ranges follow from where the lines were
        // fitted about (a point of the target), so a run meets few of them.
        struct RangeSet
        {
            double at = 0;
            int lineType = 1;
            double preEnd = 0, postStart = 0;
            std::vector<VictLine> pre, post;
            std::vector<bool> fitted;
            std::vector<std::vector<double>> values;  // per reference, per target point
            std::vector<std::vector<double>> jumps;   // the lines' gap there, likewise
        };
        std::vector<RangeSet> rangeSets;
        size_t nextSet = 0;  // replaced next once the store is full
    };
    // Range sets kept per workspace.
    static constexpr int maxRangeSets = 32;

    // The LCF's limits. A reference whose jump over a block's ranges is
    // outside [minJumpRatio, maxJumpRatio] times its own has an edge that
    // the block's energies do not measure: no fraction is given for it.
    static constexpr double minJumpRatio = 0.3;
    static constexpr double maxJumpRatio = 3.0;
    // A fraction whose standard error exceeds this is not told apart from
    // a mixture of the other references at the stack's energies: the fit
    // is not given. Chosen on half the stacks made from the measured
    // spectra, noise-free: it withheld 28 of the 30 fits there off by more
    // than 0.05 and none of the 91 within; on the other half 16 of 16 and
    // none of 80.
    static constexpr double maxFractionError = 0.015;
    // The scatter the residuals' point noise accounts for, in squares of
    // it: photon noise leaves the residuals' scatter at 0.6-1.7 times their
    // point noise, a smooth misfit at under 0.05 on 1 eV steps. Chosen on
    // half the stacks under noise of 3,000 to 10^6 photons on the full,
    // XANES and short grids: with 3 squares allowed it withheld 0-2 of 315
    // fits a noise level, against 14-248 with none (the fits within 0.05
    // of the truth kept alike noise-free); on the other half 0 of 255
    // against 15-205.
    static constexpr double noiseAllowance = 3.0;
    // The error of a fraction per unit of the residuals' scatter beyond
    // which its reference is not told apart from the others even by noise:
    // references of distinct compounds reach at most 4.1 (copper foil,
    // CuO and Cu2S on 12 energies), two scans of one metal 2.4-170 (median
    // 9-61 on every grid but the full scan).
    static constexpr double maxNoiseGain = 6.0;
    // The residuals' point noise is read only where each point's neighbours
    // lie within maxNoiseSpan eV, and only from minNoisePoints such points:
    // on lists of 12-18 energies a misfit leaves as much point noise as
    // photon noise does (a block 1 eV off its references kept fractions
    // 0.6 off), so there the whole scatter counts as misfit.
    static constexpr double maxNoiseSpan = 4.0;
    static constexpr int minNoisePoints = 12;

    // A reference at the energies of spectrum s (those it reaches, less the
    // target's energy offset, plus the reference's shift), normalised as s
    // was: s's E0, pre- and post-edge gaps and line type. out holds the
    // points and lines; false when a line could not be fitted.
    static bool normaliseAsBlock(const XafsSpectrum& s, const LcfRefSnapshot& ref, XafsSpectrum& out,
                                 bool keepPoints = false);

    // The fitted curve is drawn with the fit's own fractions.
    // drawCurve false: `fitted` stays empty (z is the same either way).
    // With a workspace the numbers are the same, only found faster.
    static LcfResult fit(Kind kind, const XafsSpectrum& s, const QVector<LcfRefSnapshot>& refs,
                         double sE0, double eE0, const SuggestElm& sElm, bool drawCurve = true,
                         Workspace* ws = nullptr);

    // A curve at energy e; its own x shift, when on, is added to e.
    static double curveAt(const Spectrum& c, double e);

    // The residual of a fitted curve against D over [sE0, eE0], divided by
    // the target's number of points n. D's energies less offset are the
    // corrected ones the fit and the fitted curve use.
    static double residual(const Spectrum& D, const Spectrum& fitted, double sE0, double eE0,
                           int n, double offset = 0.0);

    // Whether a reference's energies [refLo, refHi] (its own, less its shift)
    // reach over the energies of a stack that a fit over [sE0, eE0] takes.
    // Short by up to one step of the stack at either end still covers: the
    // fit then leaves out only that end's point.
    struct Coverage
    {
        bool known = false;   // some stack energy lies in the fit range
        bool covers = true;
        double needLo = 0, needHi = 0;  // the first and last of those energies
    };
    static Coverage coverage(double refLo, double refHi, double sE0, double eE0,
                             QVector<double> energies);

private:
    static LcfResult fitAsBlock(const XafsSpectrum& s, const QVector<LcfRefSnapshot>& refs,
                                const QVector<int>& used, double sE0, double eE0, double loAll,
                                double hiAll, const SuggestElm& sElm, bool drawCurve, Workspace* ws,
                                LcfResult& res, const std::function<LcfResult(const QString&)>& failed);
};

#endif
