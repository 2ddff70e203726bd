#ifndef EMPHEADER_H
#define EMPHEADER_H

// The header of an energy-shift map file: the geometry of the calibration
// grid the map was made on, the detector offsets of its images, and the edge
// energy and crystal spacing its stored angles were converted with. Plain
// value; a fresh one has every field 0 and is not valid.
struct EMPHeader
{
    bool valid = false;
    int xOffset = 0;
    int yOffset = 0;
    int width = 0;
    int height = 0;
    int binHalfWidth = 0;
    int binHalfHeight = 0;
    int areaX0 = 0;
    int areaX1 = 0;
    int areaY0 = 0;
    int areaY1 = 0;
    double stdEdgeEnergy = 0;  // eV
    double spacing = 0;        // angstrom
};

#endif
