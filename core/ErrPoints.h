#ifndef ERRPOINTS_H
#define ERRPOINTS_H

#include <QPoint>
#include <QString>
#include <QVector>
#include <atomic>

// The program-wide "Use Err Points Mask" switch (the detector panel's check
// box, on at start). An image is repaired only when this is on and the list
// it was loaded with is in use. Read by the loader threads.
extern std::atomic<bool> errPointsMaskOn;

// Detector pixels known to be bad, with the image size the list was made for.
// Points are in detector coordinates (x = column, y = row), in file order.
class ErrPoints
{
public:
    bool use = false;  // whether image loads repair the listed pixels
    QString file;      // canonical path of the last file read
    QVector<QPoint> points;
    int width = 0;     // from the last "# Size" line
    int height = 0;

    // Reads a list file. A "# Size" line drops the points before it. Leaves
    // use false whenever the list was emptied: callers switch it on themselves.
    bool read(const QString& file, bool append);
    bool contains(int x, int y) const;
    // Whether an image loaded with this list gets its listed pixels repaired.
    bool repairs() const { return use && errPointsMaskOn.load(std::memory_order_relaxed); }
};

// The program-wide list, applied by image loads that bring no list of their own.
extern ErrPoints globalErrPoints;


#endif
