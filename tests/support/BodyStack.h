#ifndef SUPPORT_BODYSTACK_H
#define SUPPORT_BODYSTACK_H

#include "mainwindow/Body.h"
#include "mainwindow/SelectDataFiles.h"
#include "support/Frames.h"

#include <QListWidget>
#include <QSlider>

#include <functional>

// A synthetic I1 / I0 stack put into the main window as loading leaves it.
namespace ts {

struct StackSpec
{
    int w = 12;
    int h = 9;
    int n = 30;
    std::function<double(int k)> energy = [](int k) { return 8900 + 4.0 * k; };
    std::function<double(int k, int c, int r)> i1 = [](int, int, int) { return 10000.0; };
    // Empty: no I0 stack.
    std::function<double(int k, int c, int r)> i0 = [](int, int, int) { return 20000.0; };
    int type = TiffData::Float32;
};

inline void loadStack(Body& b, const StackSpec& s, bool show = true)
{
    for (int k = 0; k < s.n; ++k) {
        const double E = s.energy(k);
        b.i1Images.append(frame(s.type, s.w, s.h, [&](int c, int r) { return s.i1(k, c, r); }, E,
                                QString("i1-%1.tif").arg(k)));
        b.SelectI1Files->Selected->addItem(b.i1Images.last()->file);
        if (s.i0) {
            b.i0Images.append(frame(s.type, s.w, s.h, [&](int c, int r) { return s.i0(k, c, r); }, E,
                                    QString("i0-%1.tif").arg(k)));
            b.SelectI0Files->Selected->addItem(b.i0Images.last()->file);
        }
    }
    b.imageWidth = s.w;
    b.imageHeight = s.h;
    b.SeekBar->setMaximum(s.n - 1);
    if (show) b.showData(0);
}

}  // namespace ts

#endif
