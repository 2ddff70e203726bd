#ifndef SUPPORT_RUNSTACK_H
#define SUPPORT_RUNSTACK_H

// A stack whose every pixel has a known mu(E), on a main window ready for a
// 2-D run with one-pixel blocks, and the mu of a pixel as the run reads it.

#include "support/BodyStack.h"

#include <QCheckBox>
#include <QLineEdit>

#include <algorithm>
#include <cmath>

namespace ts {

struct MuStack
{
    int w = 4;
    int h = 3;
    double from = 8850;  // frame energies from, by step (eV)
    double step = 2;
    int n = 151;
    std::function<double(double E, int c, int r)> mu;

    static constexpr double i0 = 20000.0;

    double energy(int k) const { return from + k * step; }
    // mu after the trip through 32-bit float frames.
    double stored(double E, int c, int r) const
    {
        return std::log(double(float(i0)) / double(float(i0 * std::exp(-mu(E, c, r)))));
    }
    // Between frame energies the program reads mu linearly; past the ends the
    // end segments go on.
    double muOnGrid(double E, int c, int r) const
    {
        const int k = std::max(0, std::min(n - 2, int(std::floor((E - from) / step))));
        const double e0 = energy(k), m0 = stored(e0, c, r), m1 = stored(e0 + step, c, r);
        return m0 + (m1 - m0) * (E - e0) / step;
    }
};

inline void loadMuStack(Body& b, const MuStack& m)
{
    StackSpec s;
    s.w = m.w;
    s.h = m.h;
    s.n = m.n;
    s.energy = [m](int k) { return m.energy(k); };
    s.i1 = [m](int k, int c, int r) { return MuStack::i0 * std::exp(-m.mu(m.energy(k), c, r)); };
    s.i0 = [](int, int, int) { return MuStack::i0; };
    loadStack(b, s);
    b.HWidth->setText(QStringLiteral("0"));
    b.VWidth->setText(QStringLiteral("0"));
    b.UseSuggestElm->setChecked(false);
}

}  // namespace ts

#endif
