#ifndef CALIBMATH_H
#define CALIBMATH_H

#include <QPoint>
#include <QRectF>
#include <QString>
#include <QVector>

#include <functional>

class AnalyzeCond;
class XafsSpectrum;

// The arithmetic of the energy calibration, free of widgets: the shift of one
// block against the standard, the checks that keep a run finite, the progress
// of the block walk and the run's statistics.
namespace CalibMath {

enum class Method {
    MidPoint,     // E0 of the block less E0 of the standard
    InnerProduct  // best normalised inner product against the standard
};

struct Search
{
    double range = 0;    // half width of the first window, eV
    double step = 0;     // step of the first pass, eV
    double minStep = 0;  // the passes stop below this step, eV
};

// Most scores one search pass may take; beyond it a run would stall the
// program for minutes per block.
constexpr double maxScoresPerPass = 100000;

// Empty when a search with p ends and measures something; otherwise why not.
QString searchProblem(const Search& p);

// Empty when blocks can be cut from area of a width x height image;
// otherwise why not.
QString areaProblem(const QRectF& area, int width, int height);

// A block's shift and what it was measured against. The standard is read
// at the block's own energies less the shift and normalised there as the
// block is, so that both E0s carry the same bias of the grid; the shift is
// the difference of the two, repeated until it settles. The inner product
// searches about that shift against the standard with the lines so found.
struct Shift
{
    // How the mid-point rounds ended: the shift at which the standard's E0
    // on the block's energies meets the block's E0.
    enum class Root {
        Found,       // one, to shiftSettled
        Jump,        // E0 leaps across the block's between two shifts closer than shiftSettled
        None,        // none within shiftReach
        Several,     // more than one, further apart than rootsApart: the grid cannot choose
        RanOut       // not settled in refineRounds
    };

    double value = 0;      // eV, where the block's edge lies above the standard's; NaN when unplaced
    double centre = 0;     // the mid-point shift the inner product searched about
    bool onGrid = false;   // measured on the block's energies; else E0 less E0
    int risePoints = -1;   // the block's energies on the standard's rise; -1 not counted
    int rounds = 0;        // readings of the standard beyond those a stack shares
    Root root = Root::Found;
    // A mid-point shift whose rounds found no single root: flagged, no value.
    bool unplaced = false;

    // The grid puts too few energies on the edge's rise to tell where it lies.
    bool unresolved() const { return onGrid && risePoints < minRisePoints; }
    static constexpr int minRisePoints = 1;
};

// The mid-point shift on the block's energies. The standard's E0 read there
// follows the shift only in part on coarse steps, turns back on a shoulder
// and leaps where the crossing moves between points or from a shoulder to
// the rise, so the shift is sought as a root: the standard's E0 on a lattice
// of shifts shiftLattice apart within a reach of E0 less E0 (shiftReachSteps
// of the widest step about the block's E0, within minShiftReach and
// maxShiftReach: a shoulder at half height moves E0 by some 4 eV), then the
// one bracket refined until the shift changes by less than shiftSettled, in
// at most refineRounds readings. Roots no further than rootsApart apart
// count as one: E0 on the grid wavers about the block's by a few hundredths
// of an eV over such shifts on a sample of another compound (chosen on Cu2S,
// ZnSO4 and Fe2O3 against their standards: of 1,728 blocks with an edge the
// rounds before kept 1,587, 0.1 keeps 1,576, 0.2 1,582, 0.3 1,585). Where E0 leaps across the
// block's (moving more than leapSlope times the shift), the leap is the root
// when one side misses the block's E0 by no more than jumpAcross (eV), or
// when E0 rises across it by less than that step (the crossing moving on to
// the next pair of points); else there is none.
constexpr double shiftLattice = 0.05;
constexpr double shiftReachSteps = 3;
constexpr double minShiftReach = 5;
constexpr double maxShiftReach = 12;
constexpr double rootsApart = 0.3;
constexpr int refineRounds = 8;
constexpr double shiftSettled = 1e-4;
constexpr double leapSlope = 20;
constexpr double jumpAcross = 0.1;
// The standard's rise: from this fraction of its jump to one less it.
constexpr double riseFraction = 0.1;
// Searches of the inner product about its own best, where the best lay
// beyond what the finer passes about the mid-point shift could reach.
constexpr int recentredSearches = 4;

Shift measureShift(const XafsSpectrum& block, const XafsSpectrum& standard, Method m,
                   const Search& p);

// The mid-point's root: the shift about c0 at which E0 on the grid meets e0,
// the block's. onLattice(k) gives E0 at the shift k x shiftLattice, at(s)
// at any shift; both infinite where the standard cannot be read. step is the
// block's widest step about its E0.
struct ShiftRoot
{
    double shift = 0;     // the root; else the best guess, for the inner product to search about
    Shift::Root root = Shift::Root::Found;
    int rounds = 0;       // readings by at
    bool readable = false;  // E0 read at some lattice shift within reach
};
ShiftRoot findShiftRoot(const std::function<double(int)>& onLattice, const std::function<double(double)>& at,
                        double e0, double c0, double step);

// The shift (eV) of block against standard: where block's edge lies above
// the standard's (measureShift's value).
double blockShift(const XafsSpectrum& block, const XafsSpectrum& standard, Method m,
                  const Search& p);

// True when a search with p that settled offset (eV) from its centre stopped
// on the first or last score of its first pass: the best match may lie
// beyond the range. Never for a search of no range, which only scores the
// centre.
bool atSearchLimit(double offset, const Search& p);

// The standard's edge sought in a block's spectrum at a shift: mu(E) within
// the window around the moved edge fitted by least squares as a smooth
// background (quadratic in E, plus the slow wiggles a flat field leaves,
// each paying for its size) plus the standard's pre-edge-based curve moved
// by the shift, scaled by a step. One fit for both sides of the edge, so a
// curved or wiggling background without an edge gives no step, as two
// separate lines extrapolated to the edge would. The step's standard error
// is that of this fit under point noise and wiggles of a flat field's size:
// its significance is the root of what the standard's edge takes off the
// squared residuals of the best such background without it, over the noise.
struct EdgeFit
{
    bool fitted = false;    // enough points on both sides, a solvable fit
    int below = 0;          // points in the window below the moved edge
    int above = 0;          // and above it
    double step = 0;        // scale of the standard's curve, units of mu
    double stepError = 0;   // its standard error, from the noise of mu (at most the fit's residuals) and the wiggles
    double residual = 0;    // rms of the fit's residuals
    double noise = -1;      // per-point noise of mu in the window (pointNoise); -1 too few points
    double belowResidual = 0;  // rms of the residuals wiggleBelowGap eV and more below the edge
    int belowCount = 0;        // and the points it was taken over

    // The step over its standard error; 0 when not fitted.
    double significance() const;
};

// Window of the fit, eV below and above the moved edge.
constexpr double edgeWindowBelow = 60;
constexpr double edgeWindowAbove = 80;
// Fewest points on each side of the edge for a fit.
constexpr int edgeMinPointsPerSide = 3;
// A block's step of the standard's curve over a quadratic alone must stand
// this many standard errors above 0 (times Th. Jmp.): blocks without the
// element on curved backgrounds or in a hole reach about 4; a sample of
// another compound keeps it, as its shape is no background's. Flat-field
// wiggles do reach it: the rise test holds them back.
constexpr double minEdgeSignificance = 6;
// ... and this many times the fit's residual rms (times Th. Jmp.): a smooth
// background the quadratic does not follow gives a step of about its own rms.
constexpr double minStepOverResidual = 3;

// Per-point noise (standard deviation) of mu at the n points (E ascending):
// the median deviation of each point from the line through its neighbours,
// so neither a smooth curve nor a few dips count. -1 for too few points.
double pointNoise(const double* E, const double* mu, int n);

// Slow wiggles a flat field that does not quite cancel leaves on mu, which
// the edge fit counts as error beside the noise: this many sines of periods
// in this range (eV), each of this amplitude in mu. An edge's rise stays up
// over the window; a sine of these periods falls back within it. A wiggle
// is a relative error of the counts, so its size in mu is the same on any
// sample. The amplitude is the largest that leaves a thin edge 5 times its
// per-point noise 6 standard errors; wiggles three times it reach about 9.
constexpr double shortestWigglePeriod = 25;
constexpr double longestWigglePeriod = 80;
constexpr int wiggleSines = 3;
constexpr double flatFieldWiggle = 0.0045;
// Frequencies of the wiggles the fit spans over a window width eV wide.
int wiggleFrequencies(double width);

EdgeFit fitEdge(const XafsSpectrum& block, const XafsSpectrum& standard, double shift);
// The same with wiggles of amplitude `wiggle` (0: a quadratic alone).
EdgeFit fitEdge(const XafsSpectrum& block, const XafsSpectrum& standard, double shift, double wiggle);

// A rise at the block's own edge whatever the compound's fine structure: a
// generic step (an error function riseWidth eV wide) at the block's E0,
// fitted over the same window with the quadratic and wiggles of amplitude
// `wiggle`.
EdgeFit fitRise(const XafsSpectrum& block, double wiggle);
constexpr double riseWidth = 2;
// The rise must stand this many standard errors (times Th. Jmp.). Chosen on
// Cu2S, ZnSO4 and Fe2O3 against their standards: 2 lets 4-6 of 288 blocks
// on wiggles of 0.003 through (2.5: 3-5), 3 loses 1 of 144 edges of 0.04.
constexpr double minRiseSignificance = 2.5;
// The rise is tested only on steps of the standard's curve below this (in
// mu): three sines of maxRiseWiggle rise 0.036 from trough to crest, and on
// a nearly noiseless block the wiggles, held by the noise, would be free to
// model a thick sample's edge.
constexpr double riseTestedBelow = 0.1;
// The rise's wiggles grow by what the standard's fit left of mu beyond the
// noise, up to this amplitude: a flat field that leaves more is rare, and an
// edge of another compound than the standard's leaves its own shape there.
constexpr double maxRiseWiggle = 0.006;
// ... or up to this amplitude by what it left well below the edge, where a
// thin sample of any compound is smooth, when that stands this many standard
// errors of the noise's variance above the noise: in a single pixel the
// noise hides what a flat field leaving 0.01 adds to the whole window's
// residual, and a thin edge unlike the standard leaves its shape above.
// Chosen on the tuning pairs: 2.5 loses 1-2 edges of 0.04 of 144, 3 none,
// 4 holds back fewer wiggles; the cap (0.01-0.02) matters little.
constexpr double wiggleBelowGap = 15;  // eV below the edge: pre-edge peaks lie closer
constexpr int wiggleBelowMinPoints = 8;
constexpr double wiggleBelowExcess = 3;
constexpr double maxBelowWiggle = 0.015;
// The rise's wiggle amplitude after an edge fit f without wiggles.
double riseWiggle(const EdgeFit& f);

// What a block's normalisation and shift tell about its edge.
struct BlockEdge
{
    bool flagged = false;        // noisy or out of range
    bool linesFitted = false;    // both background lines fitted
    double jump = 0;             // post(E0) - pre(E0)
    double preResidual = 0;      // rms of the pre-edge line's fit
    double postResidual = 0;     // rms of the post-edge line's fit
    bool searchAtLimit = false;  // the inner-product search ended on its range's limit
    double shift = 0;
    EdgeFit fit;                 // the standard's edge at the shift, over a quadratic
    EdgeFit rise;                // a generic rise at the block's E0, over quadratic and wiggles
    bool unresolved = false;     // the grid cannot tell where the edge lies
};

// The facts of block, normalised, whose shift against standard is shift by
// method m with p.
BlockEdge edgeOf(const XafsSpectrum& block, const XafsSpectrum& standard, double shift, Method m,
                 const Search& p);
// The same for a shift measureShift gave.
BlockEdge edgeOf(const XafsSpectrum& block, const XafsSpectrum& standard, const Shift& shift, Method m,
                 const Search& p);

// True when the block shows the standard's edge: not flagged, lines fitted,
// no search ending at its limit, a grid that resolves the edge, a finite
// shift, a jump above each line's residual times noiseFactor (Th. Jmp.; not
// above 0 counts as 0), the standard's edge fitted at the shift over a
// quadratic with a rising step of at least noiseFactor x minEdgeSignificance
// standard errors and noiseFactor x minStepOverResidual residuals (a sample
// of another compound keeps these: its shape is not a background's), and a
// generic rise at the block's E0 of at least noiseFactor x
// minRiseSignificance standard errors over the wiggles (which a flat field's
// wiggles do not reach however many counts there are).
// A block without an edge (a flat, noisy area with no sample) would give a
// shift made of noise.
bool hasEdge(const BlockEdge& b, double noiseFactor);

// Percent of the walk's rows done at its current block; 0 for an area
// without height.
double rowProgress(const AnalyzeCond& g);

struct ShiftStats
{
    double min = 1e300;
    double max = -1e300;
    double sum = 0;
    int count = 0;

    void add(double s);
    double mean() const { return count > 0 ? sum / count : 0.0; }
};

// Root mean square of values about mean; 0 for no values.
double sigmaAbout(const QVector<double>& values, double mean);

}  // namespace CalibMath

#endif
