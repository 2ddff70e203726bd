#ifndef XAFSSPECTRUM_H
#define XAFSSPECTRUM_H

#include <QMetaType>
#include <QString>

#include "Spectrum.h"
#include "SuggestElm.h"
#include "VictLine.h"

class QIODevice;
class QTextStream;

// One absorption spectrum mu(E) in ascending energy with its normalisation:
// pre-edge and post-edge lines, the edge position E0 (midx), the edge jump
// (dMut) and the derived curves. A plain value: copies are independent and
// travel through queued signals.
class XafsSpectrum : public Spectrum
{
public:
    XafsSpectrum();
    XafsSpectrum(const Spectrum& spectrum, const QString& name, int lineType,
                 double energyOffset, const SuggestElm& sElm);

    void setParams(const QString& name, const SuggestElm& sElm);
    // Takes the points and extremes held now as a new spectrum: afterwards
    // the same as XafsSpectrum(s, name, lineType, energyOffset, sElm) for a
    // spectrum s of those points, but the storage of the points, lines and
    // curves is kept, so a spectrum renewed for every block of a run
    // allocates nothing once it has grown.
    void renew(const QString& name, int lineType, double energyOffset, const SuggestElm& sElm);
    // As renew, but only as far as E0, the lines, the jump and the verdicts,
    // all as renew finds them; the derived curves are left empty.
    void renewEdge(const QString& name, int lineType, double energyOffset, const SuggestElm& sElm);

    // A run of points standing apart from both neighbours (a dropout, a
    // zinger) takes no part in finding E0 and the lines when it is narrower
    // than any absorption feature, or wider but further apart than the curve
    // bends and, above its neighbours, away from the edge's white line and
    // pre-edge peaks. The derived curves keep the points as measured.
    void calc(int lineType);
    // As calc, every point taking part as measured.
    void calcAsMeasured(int lineType);
    void recalc(int lineType);
    // Normalised anew as a spectrum made with sElm and lineType would be:
    // the suggestion's E0 window and pre-/post-edge gaps, and the line type.
    void normaliseUnder(const SuggestElm& sElm, int lineType);
    // Spectra normalised under a with line type lineA and under b with lineB
    // get their E0 and lines found alike.
    static bool sameNormalisation(const SuggestElm& a, int lineA, const SuggestElm& b, int lineB);
    bool fitPrePost(double E0, int lineType);
    double setFraction(double f);
    double energyAtFraction(double f) const;
    double doubleNormalizedPreBase(double E) const;

    // Energy correction against a reference (both spectra calculated).
    double correlation(double shift, const XafsSpectrum& reference) const;
    double findEnergyShift(const XafsSpectrum& reference, double range, double step,
                           double minStep) const;

    // Spectrum files. A failed read keeps the spectrum held before. Points
    // come out in ascending energy, those of equal energy averaged.
    bool load(const QString& file);
    // Loaded and normalised; a refused normalisation is noted with the file.
    bool loadAndCalc(const QString& file);
    // Flagged noisy or out of range by calc: no edge, no jump.
    bool refused() const;
    // Why, for files and messages; empty when not refused.
    QString refusalText() const;
    // For a spectrum just read from file and calculated: a debug line naming
    // the file when it was refused (the per-run line of calc says it once
    // only). True when refused.
    bool noteIfRefused(const QString& file) const;
    static bool isFile9809(const QString& file);
    static bool startsWith9809(QTextStream& in);
    bool read9809(const QString& file);
    bool readMuT(const QString& file);
    // Written whole beside the file and put in its place, or not at all
    // (the earlier file then stays as it was). Never inf or nan: a refused
    // spectrum's normalised column is 0 and its sixth line says "# refused".
    bool save(const QString& file, bool subtractOffset) const;
    // The saved file's content; false when a write failed.
    bool write(QIODevice& device, bool subtractOffset) const;

    int fileKind = 1;  // 1 two-column mu(E) file, 0 monochromator-angle file
    QString name;
    SuggestElm suggest;
    VictLine pre;
    VictLine post;
    int lineType = 1;  // 0 Victoreen lines, anything else straight
    double preStart = -1000;
    double preEnd = -10;
    double postStart = 10;
    double postEnd = 1000;
    Spectrum i0Curve;
    Spectrum iCurve;
    Spectrum postBaseCurve;                  // (mu - post) / dMut
    Spectrum doubleNormalizedPostBaseCurve;  // (mu - post) / (post - pre)
    Spectrum normalizedCurve;                // (mu - post) / dMut + 1
    Spectrum doubleNormalizedPreBaseCurve;   // (mu - pre) / (post - pre)
    double energyOffset = 0;
    bool outOfRange = false;
    bool noisy = false;   // also set when a background line could not be fitted
    double midx = 0;      // E0 (eV)
    double dMut = 0;      // post(E0) - pre(E0)
    double fraction = 0.5;  // fraction between the lines at which midx was found
    // Why the last calc flagged the spectrum (noisy or out of range); null
    // when it did not.
    const char* refusal = nullptr;

private:
    void normalise(int lineType, bool passOverIsolated, bool curves = true);
    void renewWith(const QString& name, int lineType, double energyOffset, const SuggestElm& sElm,
                   bool curves);
    // The steps of calc up to E0 and the jump: the first guess, whether the
    // lines were fitted and whether the mid-line was crossed.
    void locateEdge(int lineType, double& guess, bool& fitted, bool& crossed);
    // The same with points standing apart passed over, given the sum and
    // the largest of the steps from point to point; false, and nothing done,
    // when there are none.
    bool locateEdgeMended(int lineType, double travel, double steep, double& guess,
                          bool& fitted, bool& crossed);
    // The derived curves, and the sum and largest of the steps.
    void fillCurves(double& travel, double& steep);
    // The verdicts of calc on the edge found.
    void judge(double guess, bool fitted, bool crossed);
    // The suggestion and the edge gaps it sets.
    void takeSuggestion(const SuggestElm& sElm);
    // The refined crossing at fraction f, always between two neighbouring
    // points; false when no point qualifies.
    bool crossingAt(double f, double& E) const;
    double correlationWith(double shift, const XafsSpectrum& reference,
                           bool referenceRising) const;
};

Q_DECLARE_METATYPE(XafsSpectrum)

#endif
